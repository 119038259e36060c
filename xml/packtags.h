// PackTags: the packed tag of each path of a tag table, found by hash.
//
// The packer looks every element's path up in the tag table, which is a
// scan comparing paths; a pass that packs a whole dictionary by one table
// finds them here instead. The answers are the table's: the first record
// holding the path gives its number, and a number the packed form cannot
// store (beyond DTDStruct::kMaxPackedTag) or an unknown path gives 0.
// The table must outlive the object and not change while it is in use.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "xml/packed.h"

class PackTags {
 public:
  explicit PackTags(const DTDStruct* dtd);
  int operator()(const std::string& path) const;

  // XMLpackEntry with the tags found here: the same bytes.
  void pack(const XMLEntry* e, const XMLCellWriter& cells, std::string* out) const;

 private:
  // Open addressing, at most half full: a path is found at its hash's slot
  // or a few after it, before the first empty one.
  struct Slot {
    std::string_view path;
    int tag = -1;  // -1: empty
  };
  std::vector<Slot> slots_;
  size_t mask_ = 0;
};
