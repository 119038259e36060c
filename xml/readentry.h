// ReadEntry: one read of the dictionary file's reader, taken whole, so that
// a pass can read on one thread (base/readahead.h) and work on another.
#pragma once

#include <cstdio>
#include <memory>
#include <string>

#include "xml/entry.h"
#include "xml/entrypool.h"
#include "xml/reader.h"

// Entries handed from the reading thread to its pass at a time, and the
// batches the reading runs ahead. Small batches are taken while their
// entries are still in the cache, and bound the memory of the entries on
// their way (a large build's word tables are near their peak meanwhile);
// fewer entries a batch cost more in waking threads than they save.
constexpr size_t kReadAheadEntries = 32;
constexpr size_t kReadAheadBatches = 3;

struct ReadEntry {
  std::unique_ptr<XMLEntry> tree;  // the entry; none when the read gave no entry
  std::string messages;            // what the reader reported on the way
  long position = 0;               // where the input stood after the read
  long bytes = 0;                  // input the read took
  bool readFailed = false;         // the input had failed by then

  // What the item holds, roughly, in bytes of input: a batch of large
  // entries ends early (base/readahead.h).
  size_t weight() const { return static_cast<size_t>(bytes > 0 ? bytes : 0); }
};

// Reads the next entry of `in` with `reader` into `item`, which takes the
// tree; false, and nothing read, at the end of the input (or after it
// failed). The reader's messages are held in the item, not written.
inline bool readEntry(XML* reader, FILE* in, ReadEntry* item) {
  if (feof(in) || ferror(in)) return false;
  const long start = ftell(in);
  reader->heldMessages = &item->messages;
  const bool got = reader->getEntry(&in);
  reader->heldMessages = nullptr;
  if (got) {
    item->tree.reset(reader->root);
    reader->root = reader->nodePool != nullptr ? reader->nodePool->take() : new XMLEntry;
  }
  item->position = ftell(in);
  item->bytes = item->position - start;
  item->readFailed = ferror(in) != 0;
  return true;
}

// Gives a spent item's tree to `pool`, on the thread that reads into it,
// and leaves the item as a new one is (its messages keep their room).
inline void recycleEntry(XMLEntryPool* pool, ReadEntry* item) {
  pool->give(item->tree.release());
  item->messages.clear();
  item->position = 0;
  item->bytes = 0;
  item->readFailed = false;
}

// Writes the messages the read held, as the reader would have written them.
inline void releaseMessages(const ReadEntry& item) {
  fwrite(item.messages.data(), 1, item.messages.size(), stderr);
}
