// The tag table: the element paths of a dictionary's entries, numbered.
//
// A record's 1-based position is its tag number, the number the packed form
// stores for an element in place of its name (0: a path the table does not
// hold). The table is the structure description's flat form (one ".def"
// line per record); the structure description (dtd/dtd.h) derives from it
// and keeps it in step with its structure tree. The entry code below the
// structure description needs the table alone: the numbers, the types and
// the counts of the paths.
//
// Lookups by path compare exactly and scan the table (at most kMaxTags
// records). A number outside 1..count reads like the unknown tag 0, so a
// stale number never reads a record that is not in use.
#pragma once

#include <string>
#include <vector>

// One tag record (one ".def" line).
class DTDTag {
 public:
  std::string name;   // last component of the path
  std::string path;   // dotted path from the upmost tag
  int level = 0;      // 0 for the upmost tag
  int min = 0;        // negative reads as 0
  int max = -1;       // negative reads as 10000 (unbounded)
  char type = 'N';    // type letter: N plain, K key, L link, R/E references, I
  std::string tpar;   // first type parameter (type 'R')
  std::string tpar2;  // second type parameter (type 'E')
};

// The tag table. Code outside the class scans count and tags directly.
class DTDStruct {
 public:
  static constexpr int kMaxTags = 256;
  // The packed entry form stores tag numbers 1..127 only.
  static constexpr int kMaxPackedTag = 127;

  int count = 0;
  std::vector<DTDTag> tags = std::vector<DTDTag>(kMaxTags);

  // The tag number of `path`: 1 + the position of the first record with it.
  int getIndex(const std::string& path) const;
  bool tagExist(const std::string& path) const { return getIndex(path) > 0; }
  // Record n's path, type ('0' for an unknown number), type parameters,
  // minimum (a negative one reads as 0) and maximum (a negative one reads as
  // 10000, unbounded); an unknown number gives "", '0', "", "", 0 and 0.
  std::string getTag(int n) const;
  char getType(int n) const;
  std::string getTpar(int n) const;
  std::string getTpar2(int n) const;
  int getMin(int n) const;
  int getMax(int n) const;
  // The same by path.
  char getType(const std::string& path) const;
  std::string getTpar(const std::string& path) const;
  std::string getTpar2(const std::string& path) const;
  int getMin(const std::string& path) const;
  int getMax(const std::string& path) const;
  // Tag code: tag number in bits 25-31, flag in bit 24. A tag number above
  // kMaxPackedTag has no code and gives 0, like an unknown path.
  int tag2Int(const std::string& path, bool flag) const;
  // Reads the low 32 bits of `code` as tag2Int wrote them.
  std::string int2Tag(long code, bool* flag) const;
};
