// WidWriter: the word-to-entry index written in batches.
//
// Occurrence cells, each word << 32 | code with code = tag << 24 | entry,
// come in the order of the entry file. After every maxEnt of them (never,
// when maxEnt <= 0) the batch gathered is sorted by word, then code, rid of
// repeats and written: one chunk per word, linked to the end of the word's
// chain (dictio/widchain.h tells the chunk format), whose start and end the
// word's record keeps. Links to chunks already in the file are patched in
// place after each batch; the file must be open for reading and writing,
// unbuffered.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>

#include "base/word.h"

class WidWriter {
 public:
  // The record of a word number; null for a number the list lacks.
  using RecordOf = std::function<wrdrec_t*(uint32_t word)>;

  // `expectedCells` only sizes the first batch.
  WidWriter(FILE* f, long maxEnt, RecordOf recordOf, size_t expectedCells);
  ~WidWriter();
  WidWriter(const WidWriter&) = delete;
  WidWriter& operator=(const WidWriter&) = delete;

  void add(uint64_t cell);
  // Writes the last batch and everything still buffered.
  void finish();

  bool failed() const;    // a write, read or link patch failed
  bool tooLarge() const;  // the file would grow beyond INT32_MAX bytes: no chunk was written since
  // The entry of the cell that completed the batch that found the file too
  // large (a pass over the entry file stops after that entry).
  uint32_t tooLargeAt() const;
  long unknown() const;  // cells of word numbers the list lacks, left out

 private:
  struct State;
  std::unique_ptr<State> s_;
};
