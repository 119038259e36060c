// The build: the builder's way in (rebuild), the build-or-load decision,
// the structure pass into the update, damaged files kept aside before a
// rebuild, and the update every writing operation works through.

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "base/changedfile.h"
#include "base/error.h"
#include "base/files.h"
#include "base/passfile.h"
#include "dictio/dictio.h"
#include "dictio/readindex.h"
#include "dictio/scope.h"
#include "dictio/update.h"
#include "dictio/widfeed.h"
#include "dtd/dtd.h"

int DictIO::rebuild(int force) {
  if (!xmlFile) {
    errorf("Error: Dictionary has no name.\n");
    return 0;
  }
  // A ".new" file alone does not make a dictionary for the builder.
  if (!fil_exist(xmlFile) && !fil_exist(entFile)) {
    errorf("Error: Dictionary %s does not exist.\n", getName().c_str());
    return 0;
  }
  if (!finishLeftover(true)) {
    if (update_) update_->fail();
    updateFailed_ = true;
    return 1;
  }
  UpdateScope scope(this);
  bool taken = takeNewFile();
  mayRepair_ = true;
  if (loadStructure(force != 0, 1, nullptr)) makeFid(taken ? 1 : force);
  mayRepair_ = false;
  return 1;
}

// A waiting replacement is read in place of the XML file, from the
// structure pass on, so that a structure inferred now describes the entries
// about to be indexed; it becomes the XML file when the update is put in
// place, and stays waiting when the update fails. It forces the index build.
bool DictIO::takeNewFile() {
  if (!update_ || !fil_exist(newFile)) return false;
  update_->takeNew();
  return true;
}

bool DictIO::finishLeftover(bool removeStrays) {
  std::string base = getName();
  if (IndexUpdate::pending(base) && !IndexUpdate::finish(base)) {
    damaged = 1;
    errText = strprintf("Error: An interrupted update of %s could not be finished.", base.c_str());
    return false;
  }
  if (removeStrays) IndexUpdate::removeStrays(base);
  return true;
}

void DictIO::beginUpdate() {
  update_ = std::make_unique<IndexUpdate>(getName());
  updateFailed_ = false;
  keptOriginal_ = false;
}

bool DictIO::updateFailed() const { return updateFailed_ || (update_ && update_->failed()); }

bool DictIO::commitUpdate() {
  if (!update_) return !updateFailed_;
  // Every generation replaces the entry index last: readers take its
  // replacement as the sign that other files may have changed.
  if (!update_->failed() && !update_->empty() && !update_->staged(".eid")) stageEid();
  std::unique_ptr<IndexUpdate> done = std::move(update_);
  bool ok = done->commit();
  if (!ok) updateFailed_ = true;
  if (ok && keptOriginal_)
    errorf("Warning: Entries that could not be read were left out of %s; "
           "the original is kept as %s.orig.\n",
           xmlFile, xmlFile);
  return ok;
}

bool DictIO::loadStructure(bool force, int io, void (*progress)(void*, double)) {
  delete dtd;
  dtd = new DTD();
  dtd->xmlName = xmlFile;
  dtd->dtdName = getName() + ".def";
  dtd->io = io;
  dtd->progress = progress;
  if (!force && fil_exist(dtd->dtdName.c_str())) {
    if (dtd->loadDTD()) return true;
    update_->fail();
    return false;
  }
  return inferStructure();
}

// Infers the structure from the dictionary file (or the replacement being
// taken in) and stages both the file's rewritten form and the new ".def".
bool DictIO::inferStructure() {
  std::string from = update_->current(".xml");
  PassFile in = update_->read(".xml");
  if (!in) return false;
  // The rewritten dictionary is staged only if it differs from the file it
  // was read from: a dictionary already in normal form stays as it is.
  PassFile out;
  ChangedFile rewritten(from, [this, &out] {
    out = update_->create(".xml");
    return out.get();
  });
  if (rewritten.stream() == nullptr) return false;
  DTD::Inferred r = dtd->infer(in.get(), in.size(), rewritten.stream());
  bool same = rewritten.finish(!r.dropped);
  if ((!same && (!out || !update_->close(out, ".xml", !rewritten.failed()))) || !r.read ||
      !r.written) {
    update_->fail();
    return false;
  }
  if (r.dropped) {
    update_->keepOriginal(from == xmlFile ? ".xml" : ".new");
    keptOriginal_ = true;
  }
  PassFile def = update_->create(".def");
  if (!def) return false;
  bool written = dtd->writeDef(def.get());
  if (!update_->close(def, ".def") || !written) {
    update_->fail();
    return false;
  }
  return true;
}


namespace {

// A feed for a forced build (dictio/widfeed.h), or null when the
// word-to-entry pass is to run on its own: small batches ask for the least
// memory, which that pass takes after the entry pass. Should the index file
// not be made now, the pass reports that when it tries.
std::unique_ptr<WidFeed> startWidFeed(IndexUpdate* update, long maxEnt) {
  constexpr long kFeedFromBatch = 500000;
  if (maxEnt > 0 && maxEnt < kFeedFromBatch) return nullptr;
  PassFile wid = update->tryCreate(".wid", true, false);
  if (!wid) return nullptr;
  long expected = fil_size(update->current(".xml").c_str()) / 3 + 1;
  return std::make_unique<WidFeed>(std::move(wid), maxEnt,
                                   static_cast<size_t>(std::max(expected, 1L)));
}

}  // namespace

void DictIO::makeFid(int force) {
  UpdateScope scope(this);
  // Steps run in order while nothing has failed: a failed step has marked
  // the update failed, and later steps would build on a broken file.
  auto steps = [&scope](auto... step) { ((scope.failed() ? void() : step()), ...); };
  auto wrd = [this] { makeWrd(); };
  auto wid = [this] { makeWid(); };
  auto saves = [this] {
    saveWrd();
    saveEid();
  };
  if (takeNewFile()) force = 1;
  if (force) {
    // The entry pass feeds the word-to-entry index as it goes, when it can.
    std::unique_ptr<WidFeed> feed = startWidFeed(update_.get(), maxEnt);
    struct InUse {
      WidFeed*& feed;
      ~InUse() { feed = nullptr; }
    } inUse{widFeed_ = feed.get()};
    steps(wrd, wid, saves);
    return;
  }
  if (!fil_exist(entFile) || !fil_exist(wrdFile)) {
    // A ".wid" file left from before is unreachable from the new word list.
    steps(wrd, saves, wid, saves);
    return;
  }
  if (!(loadWrd() && loadEid())) {
    damagedIndexes();
    return;
  }
  if (!fil_exist(widFile)) {
    steps(wid, saves);
  } else if (wrdChainsEnd_ > fil_size(widFile)) {
    damagedWid();
  }
}

void DictIO::damagedIndexes() {
  clearTables();
  if (!mayRepair_) {
    damaged = 1;
    errorf("Error: Dictionary %s is damaged; it is opened without its indexes. Run lexorn %s to "
           "keep the damaged files aside and rebuild them.\n",
           getName().c_str(), getName().c_str());
    return;
  }
  if (!fil_exist(xmlFile)) {
    damaged = 1;
    errorf("Error: The indexes of %s are damaged and %s is missing; nothing is rebuilt.\n",
           getName().c_str(), xmlFile);
    return;
  }
  std::string kept;
  if (!keepAside({entFile, eidFile, wrdFile, widFile}, &kept)) return;
  errorf("Error: Could not load the indexes of %s; the files are kept as %s, and the indexes "
         "are rebuilt from %s.\n",
         getName().c_str(), kept.c_str(), xmlFile);
  makeFid(1);
}

void DictIO::damagedWid() {
  if (!mayRepair_) {
    clearTables();
    damaged = 1;
    errorf("Error: %s does not match %s; the dictionary is opened without its indexes. Run "
           "lexorn %s to keep the file aside and rebuild it.\n",
           widFile, wrdFile, getName().c_str());
    return;
  }
  std::string kept;
  if (!keepAside({widFile}, &kept)) {
    clearTables();
    return;
  }
  errorf("Error: %s does not match %s; it is kept as %s and rebuilt.\n", widFile, wrdFile,
         kept.c_str());
  UpdateScope scope(this);
  makeWid();
  if (scope.failed()) return;
  saveWrd();
  saveEid();
}

namespace {

// "a", "a and b", "a, b and c".
std::string listed(const std::vector<std::string>& names) {
  std::string out;
  for (size_t i = 0; i < names.size(); ++i) {
    if (i > 0) out += i + 1 == names.size() ? " and " : ", ";
    out += names[i];
  }
  return out;
}

// NAME.damaged, then NAME.damaged.2, .3, ...: the first suffix free for
// every file, so a set kept aside earlier is never replaced.
std::string freeSuffix(const std::vector<std::string>& files) {
  for (int n = 1;; ++n) {
    std::string suffix = n == 1 ? ".damaged" : ".damaged." + std::to_string(n);
    bool free = true;
    for (const std::string& f : files) free = free && access((f + suffix).c_str(), F_OK) != 0;
    if (free) return suffix;
  }
}

}  // namespace

bool DictIO::keepAside(const std::vector<const char*>& files, std::string* kept) {
  std::vector<std::string> present;
  for (const char* f : files)
    if (access(f, F_OK) == 0) present.push_back(f);
  std::string suffix = freeSuffix(present);
  std::vector<std::string> made;
  for (const std::string& f : present) {
    // A second name for the same file: the rebuild then replaces the file
    // by a rename and this name keeps the damaged version, and a rebuild
    // that fails leaves both.
    std::string to = f + suffix;
    if (fil_keep_as(f.c_str(), to.c_str())) {
      made.push_back(to);
      continue;
    }
    errorf("Error: Could not keep the damaged file %s as %s (%s); nothing is rebuilt.\n",
           f.c_str(), to.c_str(), strerror(errno));
    for (const std::string& m : made) unlink(m.c_str());
    damaged = 1;
    if (update_) update_->fail();
    return false;
  }
  *kept = listed(made);
  return true;
}


bool DictIO::failPass(const std::string& why) {
  errorf("Error: %s; nothing is changed.\n", why.c_str());
  if (update_) update_->fail();
  return false;
}

void DictIO::clearTables() {
  words.renew();
  entries.clear();
  index_.reset();
}
