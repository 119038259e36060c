// DictIO::UpdateScope: the update one operation of DictIO writes through.
//
// An operation that writes index files (a pass, a save, the speed-up, sync)
// joins the update under way (the builder's whole run), or, called on its
// own, runs an update of its own that is committed when the operation ends,
// or abandoned, leaving every file as it was, when anything failed.
#pragma once

#include "dictio/dictio.h"
#include "dictio/update.h"

class DictIO::UpdateScope {
 public:
  explicit UpdateScope(DictIO* d) : d_(d), own_(d->update_ == nullptr) {
    if (own_) d_->beginUpdate();
  }
  ~UpdateScope() {
    if (own_) d_->commitUpdate();
  }
  UpdateScope(const UpdateScope&) = delete;
  UpdateScope& operator=(const UpdateScope&) = delete;

  IndexUpdate* operator->() const { return d_->update_.get(); }
  // True once anything in the update failed: later steps are not run.
  bool failed() const { return d_->update_->failed(); }

 private:
  DictIO* d_;
  bool own_;
};
