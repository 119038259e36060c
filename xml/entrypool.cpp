#include "xml/entrypool.h"

#include <string>


XMLEntryPool::~XMLEntryPool() {
  for (XMLEntry* node : free_) delete node;
}

XMLEntry* XMLEntryPool::take() {
  if (free_.empty()) return new XMLEntry;
  XMLEntry* node = free_.back();
  free_.pop_back();
  return node;
}

void XMLEntryPool::give(XMLEntry* tree) {
  if (tree == nullptr) return;
  pending_.push_back(tree);
  while (!pending_.empty()) {
    XMLEntry* node = pending_.back();
    pending_.pop_back();
    pending_.insert(pending_.end(), node->children.begin(), node->children.end());
    node->children.clear();  // taken apart here: the destructor must not recurse
    if (free_.size() >= kMaxKept) {
      delete node;
      continue;
    }
    clearKeepingRoom(&node->name, kMaxRoom);
    clearKeepingRoom(&node->path, kMaxRoom);
    clearKeepingRoom(&node->value, kMaxRoom);
    if (node->children.capacity() > XMLEntry::kMaxChildren / 8)
      std::vector<XMLEntry*>().swap(node->children);
    node->level = 0;
    node->parent = nullptr;
    node->mark = nullptr;
    free_.push_back(node);
  }
}
