// WordTable: the word list in memory.
//
// One set of word records (base/word.h) reached through two tables: by text
// (`wordMap`, whose keys are the records' own texts) and by number
// (`idMap`). Records and texts are carved from two arenas and released
// together. The slot order of `wordMap` is the record order of the ".wrd"
// file (base/map.h says why it is part of the format), so records enter it
// only here, in the order the passes meet them.
//
// Invariant: once rebuildIds() (or rebuildTexts()) has run, every record is
// the value of its own text in `wordMap` and of its number in `idMap`.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "base/map.h"
#include "base/mem.h"
#include "base/word.h"

struct WordTable {
  map_t wordMap;  // word text -> wrdrec_t*
  map_t idMap;    // word number -> wrdrec_t*
  mem_t textPool;
  mem_t recPool;

  // `owner` is handed to the tables as their user argument.
  explicit WordTable(void* owner);
  ~WordTable();
  WordTable(const WordTable&) = delete;
  WordTable& operator=(const WordTable&) = delete;

  // A new record for the text `text` numbered `num`, without a chain,
  // entered in `wordMap` and, with `byNumber`, in `idMap` too.
  wrdrec_t* add(std::string_view text, int32_t num, bool byNumber);
  // add() to `wordMap` alone for a text not yet there; null (nothing
  // entered) when the table already holds it.
  wrdrec_t* addNew(std::string_view text, int32_t num);
  // A record for `text` numbered `num`, without a chain, in no table yet.
  wrdrec_t* record(std::string_view text, int32_t num);
  // Enters the records in `wordMap` in order, as addNew() one by one would,
  // for less work: how a stored list is loaded. False when a text repeats;
  // the tables are then to be cleared.
  bool enterNew(const std::vector<wrdrec_t*>& records);
  wrdrec_t* find(std::string_view text);
  wrdrec_t* find(long num);
  int size() { return map_size(&wordMap); }

  // Empties both tables and both arenas; the tables keep their capacity,
  // as a pass that starts over from the beginning does.
  void clear();
  // Empties them back to a new object's state (fresh 67-slot tables), so
  // whatever is built next lands where a new process would put it.
  void renew();
  // `idMap` from `wordMap`, sized to it first; the other way round.
  void rebuildIds();
  void rebuildTexts();

 private:
  bool madeInNumberOrder(int n) const;

  void* owner_;
};
