// NameMapper: turns XML element and attribute names into names that lexorn's
// structure file can carry.
//
// A lexorn name is upper case and holds only the ASCII letters, digits, "_"
// and "-": every other byte becomes "_" (so a two-byte UTF-8 letter becomes
// "__"), and the result is cut to DTD::kMaxField bytes. A namespace prefix
// (everything up to the last ":") is dropped before mapping.
//
// Each distinct source name (as written, prefix included) is mapped once and
// given a small id. A name whose mapping did more than fold letter case and
// drop the prefix (a byte replaced, the tail cut) is "changed"; two different
// source names that end up as the same lexorn name "collide" (so do "a:title"
// and "b:title"). Both are recorded for the caller to report.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

// The lexorn form of one name, without the bookkeeping.
std::string lexornName(std::string_view xmlName);

class NameMapper {
 public:
  // What mapping one new source name found worth telling.
  struct Note {
    std::string source;  // the name as the XML file has it
    std::string mapped;  // the lexorn name
    bool changed;        // mapping replaced bytes or cut the name
    std::string other;   // for a collision: the earlier source name; else empty
  };

  // The id of the lexorn name for `xmlName`. The first time a source name is
  // seen, a note is queued when it was changed or collides.
  int map(std::string_view xmlName);

  const std::string& name(int id) const { return mapped_[id]; }
  long changed() const { return changed_; }
  long collisions() const { return collisions_; }
  bool hasNotes() const { return !notes_.empty(); }

  // Notes queued since the last call, oldest first.
  std::vector<Note> takeNotes();

 private:
  struct Hash {
    using is_transparent = void;
    size_t operator()(std::string_view s) const { return std::hash<std::string_view>{}(s); }
  };
  std::unordered_map<std::string, int, Hash, std::equal_to<>> bySource_;
  std::unordered_map<std::string, std::string> firstSource_;  // lexorn name -> source
  std::vector<std::string> mapped_;                           // by id
  std::vector<Note> notes_;
  long changed_ = 0;
  long collisions_ = 0;
};
