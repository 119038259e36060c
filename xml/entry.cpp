// Entry trees are walked with explicit stacks rather than recursion: the
// reader keeps trees shallow, but the packed loader and the editing side can
// build trees whose depth is set by file contents alone.
#include "xml/entry.h"

#include <utility>
#include <vector>

namespace {

// Destroys every node in `pending` and everything below them.
void destroyAll(std::vector<XMLEntry*> pending) {
  while (!pending.empty()) {
    XMLEntry* node = pending.back();
    pending.pop_back();
    if (node == nullptr) continue;
    for (XMLEntry* child : node->children) pending.push_back(child);
    node->releaseChildren();
    delete node;  // childless now: its destructor does not walk further
  }
}

}  // namespace

XMLEntry::~XMLEntry() { clear(); }

XMLEntry& XMLEntry::operator=(const XMLEntry& other) {
  if (this == &other) return *this;
  name = other.name;
  path = other.path;
  value = other.value;
  level = other.level;
  parent = other.parent;
  children = other.children;
  mark = other.mark;
  return *this;
}

bool XMLEntry::addEntry(XMLEntry* child) {
  if (child == nullptr || count() >= kMaxChildren) return false;
  // Room for a few at once: most elements have few children, and a small
  // block costs what the smallest does.
  if (children.empty()) children.reserve(4);
  children.push_back(child);
  child->parent = this;
  return true;
}

void XMLEntry::delEntry(int i, int del) {
  if (i < 0 || i >= count()) return;
  XMLEntry* child = children[i];
  children.erase(children.begin() + i);
  if (del != 0 && child != nullptr) destroyAll({child});
}

void XMLEntry::clear() {
  if (children.empty()) return;
  std::vector<XMLEntry*> pending;
  pending.swap(children);
  destroyAll(std::move(pending));
}

XMLEntry* XMLcopyEntry(const XMLEntry* src, XMLEntry* parent) {
  if (src == nullptr) return nullptr;
  struct Job {
    const XMLEntry* from;
    XMLEntry* into;  // the copy's parent; null for the top node
  };
  XMLEntry* top = nullptr;
  std::vector<Job> jobs{{src, nullptr}};
  // Pre-order: a node is copied before its children, siblings in order.
  while (!jobs.empty()) {
    Job job = jobs.back();
    jobs.pop_back();
    XMLEntry* copy = new XMLEntry;
    copy->name = job.from->name;
    copy->path = job.from->path;
    copy->value = job.from->value;
    copy->level = job.from->level;
    copy->mark = job.from->mark;
    if (job.into == nullptr) {
      top = copy;
      copy->parent = parent;
    } else {
      // Appended directly: the copy holds exactly what the source holds.
      job.into->children.push_back(copy);
      copy->parent = job.into;
    }
    const auto& kids = job.from->children;
    for (auto it = kids.rbegin(); it != kids.rend(); ++it) {
      if (*it != nullptr) jobs.push_back({*it, copy});
    }
  }
  return top;
}

void XMLNullTag(XMLEntry* e) {
  std::vector<XMLEntry*> pending{e};
  while (!pending.empty()) {
    XMLEntry* node = pending.back();
    pending.pop_back();
    if (node == nullptr) continue;
    node->mark = nullptr;
    for (XMLEntry* child : node->children) pending.push_back(child);
  }
}

XMLEntry* XMLincFind(XMLEntry* e, const std::string& path) {
  std::vector<XMLEntry*> pending{e};
  while (!pending.empty()) {
    XMLEntry* node = pending.back();
    pending.pop_back();
    if (node == nullptr) continue;
    if (node->path == path) {
      if (node->mark == nullptr) return node;
      continue;  // a marked match hides its subtree
    }
    const auto& kids = node->children;
    for (auto it = kids.rbegin(); it != kids.rend(); ++it) pending.push_back(*it);
  }
  return nullptr;
}
