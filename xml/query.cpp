#include "xml/query.h"

#include <algorithm>
#include <functional>
#include <memory>
#include <vector>

#include "xml/tagtable.h"
#include "xml/reader.h"
#include "xml/writer.h"

namespace {

// Pre-order visit of the nodes with path P, not looking below a match.
// `visit` returns false to stop the walk; so does this function.
template <typename Node, typename Visit>
bool forEachMatch(Node* e, const std::string& P, Visit&& visit) {
  return XMLpreorder(e, [&](Node* n) {
    if (n->path != P) return XMLWalk::Descend;
    return visit(n) ? XMLWalk::Skip : XMLWalk::Stop;
  });
}

// e's own result when e has path P; otherwise the first non-empty result of
// `get` over the nodes with path P.
template <typename Get>
std::string firstValue(const std::string& P, const XMLEntry* e, Get&& get) {
  if (e == nullptr) return std::string();
  if (e->path == P) return get(e);
  std::string v;
  forEachMatch(e, P, [&](const XMLEntry* n) {
    v = get(n);
    return v.empty();
  });
  return v;
}

std::string compact(const XMLEntry* e, bool withTags) {
  return XMLprintEntry(e, withTags, false);
}

// First node with path P accepted by `ok`; a rejected node ends the search
// of its subtree.
template <typename Ok>
XMLEntry* findQualified(XMLEntry* e, const std::string& P, Ok&& ok) {
  XMLEntry* found = nullptr;
  forEachMatch(e, P, [&](XMLEntry* n) {
    if (ok(n)) found = n;
    return found == nullptr;
  });
  return found;
}

// Removes and destroys, below e, every node for which `hit` holds (not
// looking below them); e itself is only reported.
template <typename Hit>
bool delWhere(XMLEntry* e, Hit&& hit) {
  if (e == nullptr) return false;
  if (hit(e)) return true;
  XMLpreorder(e, [&](XMLEntry* n) {
    for (int i = 0; i < n->count();) {
      if (hit(n->children[i])) {
        n->delEntry(i, 1);
      } else {
        ++i;
      }
    }
    return XMLWalk::Descend;
  });
  return false;
}

bool contains(const XMLEntry* tree, const XMLEntry* node) {
  return !XMLpreorder(tree, [node](const XMLEntry* n) {
    return n == node ? XMLWalk::Stop : XMLWalk::Descend;
  });
}

// False when P holds no name or more than a split can hold: a chain cut
// short would lead to a shallower node.
bool splitPath(const std::string& P, strings* parts) {
  return getParts(P, parts, '.', true) && parts->count > 0;
}

}  // namespace

// --- lookups by path -------------------------------------------------------

std::string XMLgetValue(const std::string& P, const XMLEntry* e, int) {
  return firstValue(P, e, [](const XMLEntry* n) { return n->value; });
}

void XMLgetAllValues(const std::string& P, std::set<std::string>* out, const XMLEntry* e) {
  forEachMatch(e, P, [out](const XMLEntry* n) {
    out->insert(n->value);
    return true;
  });
}

bool XMLgetAllValues(const std::string& P, strings* out, const XMLEntry* e) {
  return forEachMatch(e, P, [out](const XMLEntry* n) { return out->push(n->value); });
}

std::string XMLgetValueTree(const std::string& P, const XMLEntry* e, bool withTags) {
  return firstValue(P, e, [withTags](const XMLEntry* n) { return compact(n, withTags); });
}

void XMLgetAllValuesTree(const std::string& P, std::set<std::string>* out, const XMLEntry* e,
                         bool withTags) {
  forEachMatch(e, P, [out, withTags](const XMLEntry* n) {
    out->insert(compact(n, withTags));
    return true;
  });
}

bool XMLgetAllValuesTree(const std::string& P, strings* out, const XMLEntry* e, bool withTags) {
  return forEachMatch(e, P,
                      [out, withTags](const XMLEntry* n) { return out->push(compact(n, withTags)); });
}

XMLEntry* XMLfindTag(XMLEntry* e, const std::string& P) {
  return findQualified(e, P, [](const XMLEntry*) { return true; });
}

XMLEntry* XMLfindTag(XMLEntry* e, const std::string& P, const std::string& V) {
  return findQualified(e, P, [&V](const XMLEntry* n) { return n->value == V; });
}

void XMLfindTag(XMLEntry* e, const std::string& P, std::set<XMLEntry*>* out) {
  forEachMatch(e, P, [out](XMLEntry* n) {
    out->insert(n);
    return true;
  });
}

XMLEntry* XMLfindTagRegexp(XMLEntry* e, const std::string& P, const std::string& R) {
  regex_t r;
  if (regcomp(&r, R.c_str(), REG_EXTENDED | REG_NOSUB | REG_NEWLINE) != 0) return nullptr;
  XMLEntry* found = XMLfindTagRegcomp(e, P, &r);
  regfree(&r);
  return found;
}

XMLEntry* XMLfindTagRegcomp(XMLEntry* e, const std::string& P, const regex_t* r) {
  if (r == nullptr) return nullptr;
  return findQualified(e, P, [r](const XMLEntry* n) {
    return regexec(r, n->value.c_str(), 0, nullptr, 0) == 0;
  });
}

int XMLnoOfName(const XMLEntry* e, const std::string& N) {
  return static_cast<int>(std::count_if(e->children.begin(), e->children.end(),
                                        [&N](const XMLEntry* c) { return c->name == N; }));
}

// --- lookups by name chain -------------------------------------------------
// These recurse once per part of the path, not per level of the tree.

bool XMLtagExist(const XMLEntry* e, const strings* p, int k) {
  if (k + 1 == p->count) return true;
  if (k >= p->count || e->name != (*p)[k]) return false;
  return std::any_of(e->children.begin(), e->children.end(),
                     [p, k](const XMLEntry* c) { return XMLtagExist(c, p, k + 1); });
}

bool XMLgetTrees(std::set<XMLEntry*>* out, const std::string& P, XMLEntry* e) {
  strings parts;
  if (e == nullptr || !splitPath(P, &parts) || !XMLtagExist(e, &parts, 0)) return false;
  if (parts.count == 1) {
    if (e->name == parts[0]) out->insert(e);
  } else if (e->name == parts[0]) {
    XMLgetTreesR(out, e, nullptr, &parts, 1);
  }
  return true;
}

void XMLgetTreesR(std::set<XMLEntry*>* out, XMLEntry* e, XMLEntry* parent, const strings* p,
                  int k) {
  if (k == p->count) {
    e->parent = parent;
    out->insert(e);
    return;
  }
  for (XMLEntry* c : e->children) {
    if (c->name == (*p)[k]) XMLgetTreesR(out, c, e, p, k + 1);
  }
}

// --- comparisons -----------------------------------------------------------

// Explicit stack: one frame per pair under test.
bool XMLcomparePaired(const XMLEntry* a, const XMLEntry* b, bool distinct,
                      const std::function<bool(const XMLEntry*, const XMLEntry*)>& local) {
  struct Frame {
    const XMLEntry* a;
    const XMLEntry* b;
    int i;  // child of a being paired
    int j;  // candidate child of b
    std::vector<bool> used;
  };
  if (a == nullptr || b == nullptr || !local(a, b)) return false;
  std::vector<Frame> stack;
  stack.push_back({a, b, 0, 0, std::vector<bool>(b->children.size())});
  bool result = true;
  bool returned = false;  // `result` holds the answer of the frame just popped
  while (!stack.empty()) {
    Frame& f = stack.back();
    if (returned) {
      returned = false;
      if (result) {
        if (distinct) f.used[f.j] = true;
        ++f.i;
        f.j = 0;
      } else {
        ++f.j;
      }
    }
    if (f.i < f.a->count()) {
      const XMLEntry* ca = f.a->children[f.i];
      while (f.j < f.b->count() && ((distinct && f.used[f.j]) || !local(ca, f.b->children[f.j]))) {
        ++f.j;
      }
      if (f.j < f.b->count()) {
        const XMLEntry* cb = f.b->children[f.j];
        stack.push_back({ca, cb, 0, 0, std::vector<bool>(cb->children.size())});
        continue;
      }
    }
    result = f.i >= f.a->count();
    returned = true;
    stack.pop_back();
  }
  return result;
}


bool XMLequal(const XMLEntry* a, const XMLEntry* b, int mode) {
  return XMLcomparePaired(a, b, true, [mode](const XMLEntry* x, const XMLEntry* y) {
    return x->name == y->name && match(x->value, y->value, mode) && x->count() == y->count();
  });
}

bool XMLsubtree(const XMLEntry* a, const XMLEntry* b, int mode, int checkValue) {
  return XMLcomparePaired(a, b, true, [mode, checkValue](const XMLEntry* x, const XMLEntry* y) {
    return x->name == y->name && (checkValue == 0 || match(x->value, y->value, mode)) &&
           x->count() <= y->count();
  });
}

// --- edits -----------------------------------------------------------------

bool XMLdelTrees(XMLEntry* e, const std::string& P) {
  return delWhere(e, [&P](const XMLEntry* n) { return n->path == P; });
}

bool XMLdelTreeByValue(XMLEntry* e, const std::string& P, const std::string& V) {
  return delWhere(e, [&P, &V](const XMLEntry* n) { return n->path == P && n->value == V; });
}

void XMLdelName(XMLEntry* e, const std::string& N) {
  XMLpreorder(e, [&N](XMLEntry* n) {
    for (int i = 0; i < n->count();) {
      if (n->children[i]->name == N) {
        n->delEntry(i, 1);
      } else {
        ++i;
      }
    }
    return XMLWalk::Descend;
  });
}

void XMLsetLevels(XMLEntry* e, int level) {
  e->level = level;
  XMLpreorder(e, [](XMLEntry* n) {
    for (XMLEntry* c : n->children) c->level = n->level + 1;
    return XMLWalk::Descend;
  });
}

bool XMLappendEntry(XMLEntry* dst, XMLEntry* n) {
  XMLEntry* target = XMLfindTag(dst, fnNoExt(n->path));
  if (target == nullptr || contains(n, target) || !target->addEntry(n)) return false;
  XMLsetLevels(n, target->level + 1);
  return true;
}

void XMLChangePrefix(XMLEntry* e, const std::string& prefix, const std::string& name, int) {
  if (!name.empty()) e->name = name;
  e->path = prefix.empty() ? e->name : prefix + "." + e->name;
  XMLpreorder(e, [](XMLEntry* n) {
    for (XMLEntry* c : n->children) c->path = n->path + "." + c->name;
    return XMLWalk::Descend;
  });
}

namespace {

// Whether dst can take e: room for one more child, and dst not inside e.
bool canTake(const XMLEntry* dst, const XMLEntry* e) {
  return dst->count() < XMLEntry::kMaxChildren && !contains(e, dst);
}

// Appends e (already out of its old parent's children) to dst and renames
// it as XMLFindAppend does with a matching node.
void appendRenamed(XMLEntry* dst, XMLEntry* e, const std::string& Q) {
  dst->addEntry(e);
  XMLChangePrefix(e, fnNoExt(Q), fnExt(Q), 0);
  XMLsetLevels(e, dst->level + 1);
}

}  // namespace

bool XMLFindAppend(XMLEntry* dst, XMLEntry* e, const std::string& P, const std::string& Q) {
  if (dst == nullptr || e == nullptr) return false;
  if (e->path == P) {
    if (!canTake(dst, e)) return false;
    appendRenamed(dst, e, Q);
    return true;
  }
  // One frame per node being searched: its next child and the end of the
  // children it held when the walk reached it. Children appended to it later
  // (it may be dst) lie beyond that end and are not searched.
  struct Frame {
    XMLEntry* n;
    int i;
    int end;
  };
  std::vector<Frame> stack{{e, 0, e->count()}};
  while (!stack.empty()) {
    Frame& f = stack.back();
    if (f.i >= f.end) {
      stack.pop_back();
      continue;
    }
    XMLEntry* c = f.n->children[f.i];
    if (c->path != P || !canTake(dst, c)) {
      ++f.i;
      if (c->path != P) stack.push_back({c, 0, c->count()});
      continue;
    }
    f.n->delEntry(f.i, 0);
    --f.end;
    appendRenamed(dst, c, Q);
  }
  return false;
}

void XMLreplaceValue(XMLEntry* e, const std::string& P, const std::string& V,
                     const std::string& W) {
  XMLpreorder(e, [&](XMLEntry* n) {
    for (int i = 0; i < n->count();) {
      XMLEntry* c = n->children[i];
      if (c->path == P && c->value == V && W.empty()) {
        n->delEntry(i, 1);
        continue;
      }
      if (c->path == P && c->value == V) c->value = W;
      ++i;
    }
    return XMLWalk::Descend;
  });
}

void XMLreplaceLinkValue(XMLEntry* e, const DTDStruct* d, const std::string& V, const std::string& W) {
  XMLpreorder(e, [&](XMLEntry* n) {
    if (n->value != V || d->getType(n->path) != 'L') return XMLWalk::Descend;
    n->value = W;
    return XMLWalk::Skip;
  });
}

void XMLnoLink(XMLEntry* e, const DTDStruct* d) {
  for (int i = 0; i < d->count; ++i) {
    char type = d->tags[i].type;
    if (type == 'R' || type == 'E') XMLdelTrees(e, d->tags[i].path);
  }
}

bool XMLisEmpty(const XMLEntry* e, const DTDStruct* d, int n) {
  if (!e->value.empty() || d->getMin(e->path) >= n) return false;
  return XMLpreorder(e, [e, d](const XMLEntry* x) {
    if (x == e) return XMLWalk::Descend;
    bool empty = x->value.empty() && d->getMin(x->path) < 10000;
    return empty ? XMLWalk::Descend : XMLWalk::Stop;
  });
}

void XMLdelEmpty(XMLEntry* e, const DTDStruct* d) {
  XMLpreorder(e, [d](XMLEntry* n) {
    for (int i = 0; i < n->count();) {
      XMLEntry* c = n->children[i];
      if (XMLisEmpty(c, d, XMLnoOfName(n, c->name))) {
        n->delEntry(i, 1);
      } else {
        ++i;
      }
    }
    return XMLWalk::Descend;
  });
}

bool XMLmergeWithEmpty(XMLEntry* dst, XMLEntry* src) {
  // One frame per pending call, run in the order the calls are made.
  struct Frame {
    XMLEntry* dst;
    XMLEntry* src;
    int i;       // child of src being merged
    int j;       // child of dst being compared with it
    bool found;  // some child of dst had its path
  };
  bool ok = true;
  std::vector<Frame> stack{{dst, src, 0, 0, false}};
  while (!stack.empty()) {
    Frame f = stack.back();
    Frame& top = stack.back();
    if (f.i >= f.src->count()) {
      stack.pop_back();
      continue;
    }
    XMLEntry* s = f.src->children[f.i];
    if (f.dst->path != f.src->path) {
      ++top.i;
      stack.push_back({f.dst, s, 0, 0, false});
      continue;
    }
    if (f.j < f.dst->count()) {
      XMLEntry* d = f.dst->children[f.j];
      ++top.j;
      if (d->path == s->path) {
        top.found = true;
        stack.push_back({d, s, 0, 0, false});
      }
      continue;
    }
    ++top.i;
    top.j = 0;
    top.found = false;
    if (f.found) continue;
    std::unique_ptr<XMLEntry> copy(XMLcopyEntry(s, f.dst));
    if (f.dst->addEntry(copy.get())) {
      copy.release();
    } else {
      ok = false;
    }
  }
  return ok;
}

void XMLmergeWithoutParent(XMLEntry* a, XMLEntry* b) {
  XMLEntry* n = new XMLEntry;
  n->name = a->name;
  n->path = a->path;
  n->value = a->value;
  n->level = a->level;
  n->mark = a->mark;
  n->children.swap(a->children);
  for (XMLEntry* c : n->children) c->parent = n;
  n->parent = a;

  size_t dot = a->path.find('.');
  if (dot != std::string::npos) {
    a->path.resize(dot);
    a->name = a->path;
  }
  a->value.clear();
  a->level = std::max(a->level - 1, 0);
  a->parent = nullptr;
  a->mark = nullptr;
  a->addEntry(n);
  if (b != nullptr) a->addEntry(b);
}

// --- the reader's current entry -------------------------------------------

std::string XML::getValue(const std::string& path) { return XMLgetValue(path, root, 0); }

void XML::getAllValues(const std::string& path, std::set<std::string>* out) {
  XMLgetAllValues(path, out, root);
}

bool XML::gettrees(std::set<XMLEntry*>* out, const std::string& path) {
  return XMLgetTrees(out, path, root);
}

XMLEntry* XML::gettree(const std::string& path) {
  strings parts;
  if (root == nullptr || !splitPath(path, &parts)) return nullptr;
  if (parts.count == 1) return root->name == parts[0] ? root : nullptr;
  return gettreeR(root, nullptr, &parts, 1);
}

XMLEntry* XML::gettreeR(XMLEntry* e, XMLEntry* parent, strings* p, int k) {
  while (e != nullptr) {
    if (k < 1 || k > p->count || e->name != (*p)[k - 1]) return nullptr;
    if (k == p->count) {
      e->parent = parent;
      return e;
    }
    parent = e;
    const std::string& next = (*p)[k];
    auto it = std::find_if(e->children.begin(), e->children.end(),
                           [&next](const XMLEntry* c) { return c->name == next; });
    e = it == e->children.end() ? nullptr : *it;
    ++k;
  }
  return nullptr;
}

void XML::gettreesR(std::set<XMLEntry*>* out, XMLEntry* e, XMLEntry* parent, strings* p, int k) {
  if (e == nullptr || k < 1 || k > p->count || e->name != (*p)[k - 1]) return;
  if (k == p->count) {
    e->parent = parent;
    out->insert(e);
    return;
  }
  for (XMLEntry* c : e->children) {
    if (c->name == (*p)[k]) gettreesR(out, c, e, p, k + 1);
  }
}
