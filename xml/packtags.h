// PackTags: the packed tag of each path of a tag table, found by hash.
//
// The packer looks every element's path up in the tag table, which is a
// scan comparing paths; a pass that packs a whole dictionary by one table
// finds them here instead. The answers are the table's: the first record
// holding the path gives its number, and a number the packed form cannot
// store (beyond DTDStruct::kMaxPackedTag) or an unknown path gives 0.
// The table must outlive the object and not change while it is in use.
#pragma once

#include <string>
#include <string_view>
#include <unordered_map>

#include "xml/packed.h"

class PackTags {
 public:
  explicit PackTags(const DTDStruct* dtd);
  int operator()(const std::string& path) const;

  // XMLpackEntry with the tags found here: the same bytes.
  void pack(const XMLEntry* e, const XMLCellWriter& cells, std::string* out) const;

 private:
  std::unordered_map<std::string_view, int> byPath_;
};
