// The structure description: tag table queries and the structure tree.

#include "dtd/dtd.h"

#include <cstdint>

#include "base/error.h"
#include "base/text.h"
#include "xml/reader.h"

bool DTDEntry::addEntry(DTDEntry* child) {
  if (count() >= kMaxChildren) return false;
  children.push_back(child);
  return true;
}

void DTDEntry::delEntry(int i) {
  if (i < 0 || i >= count()) return;
  children.erase(children.begin() + i);
}

DTDNodeList::~DTDNodeList() {
  for (DTDEntry* e : nodes) delete e;
  for (DTDEntry* e : spare) delete e;
}

DTD::DTD() : garb(std::make_shared<DTDNodeList>()) { root = garb_add(); }

DTD::DTD(const std::string& xmlName) : DTD(xmlName, false, 1, nullptr) {}

DTD::DTD(const std::string& xmlName, bool force, int io, Progress progress)
    : garb(std::make_shared<DTDNodeList>()) {
  init(xmlName, force, io, progress);
}

void DTD::setDTDName(const std::string& name) {
  dtdName = name;
  xmlName = fnNoExt(name) + ".xml";
}

// ---------------------------------------------------------------------------
// Structure tree.

DTDEntry* DTD::garb_add() {
  if (!garb) garb = std::make_shared<DTDNodeList>();
  DTDEntry* e;
  if (garb->spare.empty()) {
    e = new DTDEntry;
  } else {
    // A fresh node in all but the capacity of its strings and child list.
    e = garb->spare.back();
    garb->spare.pop_back();
    e->name.clear();
    e->path.clear();
    e->tpar.clear();
    e->children.clear();
    e->level = 0;
    e->min = 0;
    e->max = -1;
    e->type = 'N';
    e->required = true;
    e->occurs = 1;
    e->parent = nullptr;
    e->reached = false;
  }
  garb->nodes.push_back(e);
  return e;
}

bool DTD::garb_used(DTDEntry* from, DTDEntry* node) {
  if (!from) return false;
  std::vector<DTDEntry*> stack{from};
  while (!stack.empty()) {
    DTDEntry* e = stack.back();
    stack.pop_back();
    if (e == node) return true;
    for (int i = e->count() - 1; i >= 0; i--) stack.push_back(e->children[i]);
  }
  return false;
}

// One marking walk and one sweep instead of a reachability search per node.
void DTD::garb_clear(DTDEntry* from) {
  if (!garb || garb->nodes.empty()) return;
  std::vector<DTDEntry*> stack;
  if (from && !from->reached) {
    from->reached = true;
    stack.push_back(from);
  }
  while (!stack.empty()) {
    DTDEntry* e = stack.back();
    stack.pop_back();
    for (DTDEntry* c : e->children) {
      if (c->reached) continue;
      c->reached = true;
      stack.push_back(c);
    }
  }
  std::vector<DTDEntry*>& nodes = garb->nodes;
  size_t kept = 0;
  for (DTDEntry* e : nodes) {
    if (e->reached) {
      e->reached = false;
      nodes[kept++] = e;
    } else {
      garb->spare.push_back(e);
    }
  }
  nodes.resize(kept);
}

namespace {

DTDEntry* childNamed(const DTDEntry* e, const std::string& name) {
  for (DTDEntry* c : e->children)
    if (c->name == name) return c;
  return nullptr;
}

}  // namespace

// A node takes a record's name, path, level, counts and type.
static void takeRecord(DTDEntry* n, const DTDTag* t) {
  n->name = t->name;
  n->path = t->path;
  n->level = t->level;
  n->min = t->min;
  n->max = t->max;
  n->type = t->type;
}

bool DTD::addtag(const DTDTag* t) {
  if (!t || !root) return false;
  strings parts;
  if (!getParts(t->path, &parts, '.', false) || parts.count < 1) return false;
  if (parts.count == 1) {
    if (!root->name.empty()) return false;
    takeRecord(root, t);
    root->tpar = t->tpar;  // only the root keeps its type parameter
    return true;
  }
  if (parts[0] != root->name) return false;
  DTDEntry* at = root;
  int i = 1;
  while (i < parts.count) {
    DTDEntry* next = childNamed(at, parts[i]);
    if (!next) break;
    at = next;
    i++;
  }
  if (i != parts.count - 1) return false;  // existing path, or a missing ancestor
  if (at->count() >= DTDEntry::kMaxChildren) return false;
  DTDEntry* e = garb_add();
  takeRecord(e, t);
  at->addEntry(e);
  return true;
}

DTDEntry* DTD::gettree(const std::string& path) {
  if (!root) return nullptr;
  strings parts;
  if (!getParts(path, &parts, '.', true) || parts.count < 1) return nullptr;
  if (parts.count == 1) return (path == parts[0] && root->name == parts[0]) ? root : nullptr;
  DTDEntry* from = nullptr;
  DTDEntry* at = root;
  for (int i = 1;; i++) {
    if (at->name != parts[i - 1]) return nullptr;
    if (i == parts.count) {
      at->parent = from;
      return at;
    }
    DTDEntry* next = childNamed(at, parts[i]);
    if (!next) return nullptr;
    from = at;
    at = next;
  }
}

void DTD::ent2str() {
  count = 0;
  if (!root || root->name.empty()) return;
  int paths = 0;
  std::vector<const DTDEntry*> stack{root};
  while (!stack.empty()) {
    const DTDEntry* e = stack.back();
    stack.pop_back();
    paths++;
    if (count < kMaxTags) {
      DTDTag& t = tags[count++];
      t.name = e->name;
      t.path = e->path;
      t.level = e->level;
      t.type = e->type;
      t.min = e->required ? 1 : 0;
      t.max = e->required ? e->occurs : -1;
    }
    for (int i = e->count() - 1; i >= 0; i--) stack.push_back(e->children[i]);
  }
  if (paths > kMaxTags)
    errorf("Error: The structure of %s has %d paths; only the first %d are kept.\n",
           dtdName.c_str(), paths, kMaxTags);
}

void DTD::checkPackable() const {
  if (count > kMaxPackedTag)
    errorf("Error: %s describes %d tags; packed entries can number only %d.\n", dtdName.c_str(),
           count, kMaxPackedTag);
}

void DTD::update(XML* x) {
  if (!x) return;
  root = x->addDTD(root, x->getEntDTD(this), this);
  garb_clear(root);
}
