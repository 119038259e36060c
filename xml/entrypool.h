// XMLEntryPool: nodes of finished entry trees, kept for the next trees.
//
// A reader makes a node for every element of every entry, and a pass frees
// each tree soon after: four or five allocations a node (the node, its
// path, name and value, its list of children), which cost a reading thread
// more than the parsing. A pool takes finished trees apart and hands their
// nodes out again, cleared but with the room their strings and child lists
// had, so that a new tree is mostly built in memory already held.
//
// Not shared between threads: one thread gives and takes. Nodes are plain
// heap nodes, so a tree of pool nodes may also simply be deleted.
#pragma once

#include <cstddef>
#include <vector>

#include "xml/entry.h"

// Empties a string or vector kept for reuse. It keeps its room, unless the
// room is beyond `maxRoom` elements: what grew for one large item is given
// back rather than held by an object that mostly serves small ones.
template <class Container>
void clearKeepingRoom(Container* c, size_t maxRoom) {
  if (c->capacity() > maxRoom)
    Container().swap(*c);
  else
    c->clear();
}

class XMLEntryPool {
 public:
  XMLEntryPool() = default;
  ~XMLEntryPool();
  XMLEntryPool(const XMLEntryPool&) = delete;
  XMLEntryPool& operator=(const XMLEntryPool&) = delete;

  // A node as new: empty fields, no parent, no children, no mark.
  XMLEntry* take();

  // Takes `tree` (may be null) with every node below it; the caller no
  // longer holds any of them.
  void give(XMLEntry* tree);

 private:
  // Nodes kept at most; the rest of a larger tree is freed. A few batches
  // of entries on their way between threads hold about this many.
  static constexpr size_t kMaxKept = 1 << 11;
  // A string that grew beyond this gives its room back rather than keep it
  // in a node that may only ever hold short texts again.
  static constexpr size_t kMaxRoom = 1024;

  std::vector<XMLEntry*> free_;
  std::vector<XMLEntry*> pending_;  // scratch of give
};
