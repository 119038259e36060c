#include "xml/rewrite.h"

#include <algorithm>
#include <memory>
#include <set>
#include <utility>
#include <vector>

#include "base/czech.h"
#include "base/text.h"
#include "xml/tagtable.h"
#include "xml/entry.h"
#include "xml/query.h"
#include "xml/reader.h"

namespace {

using Pairs = std::vector<std::pair<XMLEntry*, XMLEntry*>>;

// The nodes that the name chain P reaches from e, in document order.
std::vector<XMLEntry*> nodesAt(XMLEntry* e, const std::string& P) {
  std::vector<XMLEntry*> nodes;
  std::set<XMLEntry*> found;
  if (e == nullptr || P.empty() || !XMLgetTrees(&found, P, e)) return nodes;
  XMLpreorder(e, [&](XMLEntry* n) {
    if (found.count(n) != 0) nodes.push_back(n);
    return XMLWalk::Descend;
  });
  return nodes;
}

// (parent, child) for every child with path P of the given parents, taken
// before anything changes.
Pairs childrenWithPath(const std::vector<XMLEntry*>& parents, const std::string& P) {
  Pairs pairs;
  for (XMLEntry* q : parents) {
    for (XMLEntry* c : q->children) {
      if (c->path == P) pairs.emplace_back(q, c);
    }
  }
  return pairs;
}

// Unlinks c from q's children (not destroyed); its former position, or -1.
int detach(XMLEntry* q, XMLEntry* c) {
  auto it = std::find(q->children.begin(), q->children.end(), c);
  if (it == q->children.end()) return -1;
  int i = static_cast<int>(it - q->children.begin());
  q->delEntry(i, 0);
  return i;
}

bool usableName(const std::string& n) {
  if (n.empty()) return false;
  for (unsigned char ch : n) {
    if (ch <= 0x20 || ch == '.' || ch == '<' || ch == '>' || ch == '/' || ch == '&') return false;
  }
  return true;
}

int childrenWithPathCount(const XMLEntry* q, const std::string& P) {
  return static_cast<int>(std::count_if(q->children.begin(), q->children.end(),
                                        [&P](const XMLEntry* c) { return c->path == P; }));
}

// The prefix that n's own path extends: its parent's path, none at the top.
// The parent link is the one the chain lookup just set.
std::string prefixOf(const XMLEntry* n, const XMLEntry* root) {
  return n != root && n->parent != nullptr ? n->parent->path : std::string();
}

// The last name of P, trimmed as a chain lookup trims it; empty when blank.
std::string lastName(const std::string& P) {
  return lrscut(P.substr(P.rfind('.') + 1));
}

XMLEntry* newElement(const std::string& prefix, const std::string& name, const std::string& value,
                     int level) {
  XMLEntry* n = new XMLEntry;
  n->name = name;
  n->path = prefix.empty() ? name : prefix + "." + name;
  n->value = value;
  n->level = level;
  return n;
}

// Attaches c to the first target and deep copies to the others; false when
// a target was full. When no target takes c it is left to the caller.
bool attachToTargets(XMLEntry* c, const std::vector<XMLEntry*>& targets, bool* placed) {
  bool ok = true;
  *placed = false;
  for (XMLEntry* t : targets) {
    if (t->count() >= XMLEntry::kMaxChildren) {
      ok = false;
      continue;
    }
    XMLEntry* node = *placed ? XMLcopyEntry(c, t) : c;
    t->addEntry(node);
    XMLChangePrefix(node, t->path, "", 0);
    XMLsetLevels(node, t->level + 1);
    *placed = true;
  }
  return ok;
}

// The nodes whose children may have path P: those of P's parent path, or
// the upmost element for a one-name P.
std::vector<XMLEntry*> parentsOf(XMLEntry* root, const std::string& P) {
  std::string p = fnNoExt(P);
  if (!p.empty()) return nodesAt(root, p);
  if (root == nullptr) return {};
  return {root};
}

// True when a target is one of the moving children or lies below one:
// moving there would make the element its own ancestor.
bool anyInside(const std::vector<XMLEntry*>& targets, const Pairs& moving) {
  if (targets.empty()) return false;
  std::set<const XMLEntry*> wanted(targets.begin(), targets.end());
  return std::any_of(moving.begin(), moving.end(), [&wanted](const auto& qc) {
    return !XMLpreorder(qc.second, [&wanted](const XMLEntry* n) {
      return wanted.count(n) != 0 ? XMLWalk::Stop : XMLWalk::Descend;
    });
  });
}

// Destroys q's child i after handing its children, in order, to the end of
// q; the caller has checked that they fit.
void dissolveAt(XMLEntry* q, int i) {
  XMLEntry* c = q->children[i];
  q->delEntry(i, 0);
  for (XMLEntry* g : c->children) {
    q->addEntry(g);
    XMLChangePrefix(g, q->path, "", 0);
    XMLsetLevels(g, q->level + 1);
  }
  c->releaseChildren();
  delete c;
}

// Walks q's children from the first, dissolving each with path P and then
// examining the same position again. The walk reaches the handed-over
// children too, so one that now has path P goes the same way; each step
// removes a node, which bounds the walk. A child whose children would not
// fit is passed over and the result is false.
bool dissolveChildren(XMLEntry* q, const std::string& P) {
  bool ok = true;
  for (int i = 0; i < q->count();) {
    XMLEntry* c = q->children[i];
    bool fits = q->count() - 1 + c->count() <= XMLEntry::kMaxChildren;
    if (c->path == P && fits) {
      dissolveAt(q, i);
      continue;
    }
    if (c->path == P) ok = false;
    ++i;
  }
  return ok;
}

}  // namespace

void XML::rentree(XMLEntry* e, const std::string& prefix) {
  e->path = prefix.empty() ? e->name : prefix + "." + e->name;
  XMLpreorder(e, [](XMLEntry* n) {
    for (XMLEntry* c : n->children) {
      c->level = n->level + 1;
      c->path = n->path + "." + c->name;
    }
    return XMLWalk::Descend;
  });
}

void XML::shiftlevel(XMLEntry* e, int d) {
  XMLpreorder(e, [d](XMLEntry* n) {
    n->level += d;
    return XMLWalk::Descend;
  });
}

bool XML::rentag(const std::string& path, const std::string& name) {
  if (!usableName(name)) return false;
  for (XMLEntry* n : nodesAt(root, path)) {
    n->name = name;
    rentree(n, prefixOf(n, root));
  }
  return true;
}

bool XML::chgval(const std::string& path, const std::string& value) {
  for (XMLEntry* n : nodesAt(root, path)) n->value = value;
  return true;
}

bool XML::tagval(const std::string& path) {
  bool ok = true;
  for (XMLEntry* n : nodesAt(root, path)) {
    std::string v = replace(n->value, ' ', '_');
    if (v.empty()) continue;
    std::string name = ucase(v);
    if (!usableName(name)) {
      ok = false;
      continue;
    }
    n->name = name;
    n->value.clear();
    rentree(n, prefixOf(n, root));
  }
  return ok;
}

bool XML::deltree(const std::string& path) {
  for (auto [q, c] : childrenWithPath(nodesAt(root, fnNoExt(path)), path)) {
    if (detach(q, c) >= 0) delete c;
  }
  return true;
}

bool XML::deltag(const std::string& path) {
  if (root != nullptr && path == root->name) return false;
  bool ok = true;
  for (XMLEntry* q : nodesAt(root, fnNoExt(path))) ok = dissolveChildren(q, path) && ok;
  return ok;
}

bool XML::grptree(const std::string& path) {
  bool ok = true;
  XMLEntry* parent = nullptr;
  XMLEntry* first = nullptr;
  for (auto [q, c] : childrenWithPath(nodesAt(root, fnNoExt(path)), path)) {
    if (q != parent) {
      parent = q;
      first = c;
      continue;
    }
    if (first->count() + c->count() > XMLEntry::kMaxChildren) {
      ok = false;
      continue;
    }
    for (XMLEntry* g : c->children) first->addEntry(g);
    c->releaseChildren();
    detach(q, c);
    delete c;
  }
  return ok;
}

bool XML::movtree(const std::string& path, const std::string& dest) {
  std::vector<XMLEntry*> targets;
  if (!dest.empty()) {
    if (dest == path || dest.compare(0, path.size() + 1, path + ".") == 0) return false;
    targets = nodesAt(root, dest);
    if (targets.empty()) return true;
  }
  Pairs moving = childrenWithPath(parentsOf(root, path), path);
  if (anyInside(targets, moving)) return false;
  bool ok = true;
  for (auto [q, c] : moving) {
    int at = detach(q, c);
    if (at < 0) continue;
    if (dest.empty()) {
      delete c;
      continue;
    }
    bool placed = false;
    ok = attachToTargets(c, targets, &placed) && ok;
    if (!placed) q->children.insert(q->children.begin() + at, c);  // back where it was
  }
  return ok;
}

bool XML::addtag(const std::string& path, const std::string& value) {
  return XMLaddTag(&root, path, value);
}

bool XMLaddTag(XMLEntry** e, const std::string& P, const std::string& V) {
  const std::string name = lastName(P);
  if (e == nullptr || name.empty()) return false;
  std::string p = fnNoExt(P);
  if (p.empty()) {
    XMLEntry* n = newElement(std::string(), name, V, 0);
    delete *e;
    *e = n;
    return true;
  }
  if (*e == nullptr) return false;
  bool ok = true;
  for (XMLEntry* q : nodesAt(*e, p)) {
    std::unique_ptr<XMLEntry> n(newElement(q->path, name, V, q->level + 1));
    if (q->addEntry(n.get())) {
      n.release();
    } else {
      ok = false;
    }
  }
  return ok;
}

namespace {

// Room for one more child with path P under q, by count and by d's maximum.
bool roomFor(const XMLEntry* q, const std::string& P, const DTDStruct* d) {
  return q->count() < XMLEntry::kMaxChildren && childrenWithPathCount(q, P) < d->getMax(P);
}

}  // namespace

bool XMLaddTagDTD(XMLEntry** e, const std::string& P, const std::string& V, const DTDStruct* d) {
  if (e == nullptr || *e == nullptr || d == nullptr || d->getIndex(P) == 0) return false;
  // chain: the paths to create, nearest the existing anchor first.
  std::vector<std::string> chain{P};
  XMLEntry* anchor = nullptr;
  for (std::string a = fnNoExt(P); !a.empty() && anchor == nullptr; a = fnNoExt(a)) {
    anchor = XMLfindTag(*e, a);
    if (anchor != nullptr) break;
    if (d->getIndex(a) == 0) return false;
    chain.insert(chain.begin(), a);
  }
  if (anchor == nullptr || !roomFor(anchor, chain.front(), d)) return false;
  for (size_t i = 1; i < chain.size(); ++i) {
    if (d->getMax(chain[i]) < 1) return false;
  }
  XMLEntry* parent = anchor;
  for (const std::string& path : chain) {
    XMLEntry* n = newElement(parent->path, fnExt(path), std::string(), parent->level + 1);
    parent->addEntry(n);
    parent = n;
  }
  parent->value = V;
  return true;
}

bool eqtrees(const XMLEntry* a, const XMLEntry* b, int mode) {
  if (a == nullptr || b == nullptr) return false;
  std::vector<std::pair<const XMLEntry*, const XMLEntry*>> pending{{a, b}};
  while (!pending.empty()) {
    auto [x, y] = pending.back();
    pending.pop_back();
    if (x->name != y->name || !match(x->value, y->value, mode)) return false;
    if (x->count() != y->count()) return false;
    for (int i = 0; i < x->count(); ++i) pending.emplace_back(x->children[i], y->children[i]);
  }
  return true;
}

bool subtree(const XMLEntry* a, const XMLEntry* b, int mode) {
  // Partners need not be distinct: the first fitting child of b is as good
  // as any, since a fitting partner is all the test asks for.
  return XMLcomparePaired(a, b, false, [mode](const XMLEntry* x, const XMLEntry* y) {
    return x->name == y->name && match(x->value, y->value, mode) && x->count() <= y->count();
  });
}
