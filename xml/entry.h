// XMLEntry: one element of an entry tree.
//
// A node owns its children (destroying a node destroys its subtree); `parent`
// is a back link only. `path` is the names from the entry's upmost element
// down to this one joined by "." (the upmost element's path is its name);
// `level` is 0 for the upmost element and one more per nesting step.
// A node holds at most kMaxChildren children: addEntry refuses one more.
#pragma once

#include <string>
#include <vector>

class XMLEntry {
 public:
  static constexpr int kMaxChildren = 2048;

  std::string name;
  std::string path;
  std::string value;
  int level = 0;
  XMLEntry* parent = nullptr;
  std::vector<XMLEntry*> children;  // document order; owned; never null
  void* mark = nullptr;             // caller's mark; skipped by XMLincFind

  XMLEntry() = default;
  ~XMLEntry();

  // Shallow: copies every field, the child pointers included. Afterwards
  // both nodes point at the same children; the caller decides which one owns
  // them (release the other with releaseChildren()).
  XMLEntry& operator=(const XMLEntry& other);
  XMLEntry(const XMLEntry&) = delete;

  int count() const { return static_cast<int>(children.size()); }

  // Appends `child` and sets its parent. Returns false, changing nothing,
  // when the node already holds kMaxChildren children (or child is null).
  bool addEntry(XMLEntry* child);

  // Removes the child at position i (0 <= i < count()); destroys it with its
  // subtree when `del` is non-zero, otherwise the caller keeps it (its
  // parent link is left as it was). Later children move down one place.
  void delEntry(int i, int del);

  // Destroys every descendant; the node's own fields are kept.
  void clear();

  // Forgets the children without destroying them (they now belong to
  // whoever holds them elsewhere).
  void releaseChildren() { children.clear(); }
};

// Deep copy of `src` with `parent` as the new node's parent. Caller owns it.
XMLEntry* XMLcopyEntry(const XMLEntry* src, XMLEntry* parent);

// Clears `mark` in `e` and in every node below it.
void XMLNullTag(XMLEntry* e);

// Pre-order search for a node whose path equals `path`. A matching node ends
// the search of its subtree: it is the result when unmarked; when marked the
// search goes on with its next sibling. Null when nothing is found.
XMLEntry* XMLincFind(XMLEntry* e, const std::string& path);
