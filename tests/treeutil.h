// Hand-built entry trees for the query and rewrite tests: a short notation
// to build them, one-line descriptions to compare them, and a structure
// table to go with them.
#pragma once

#include <algorithm>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "dtd/dtd.h"
#include "xml/entry.h"
#include "xml/reader.h"

namespace treeutil {

// A tree description: name, value, children.
struct T {
  T(std::string n, std::string v, std::vector<T> k = {})
      : name(std::move(n)), value(std::move(v)), kids(std::move(k)) {}
  std::string name, value;
  std::vector<T> kids;
};

// Paths and levels follow the parent; the caller owns a parentless result.
inline XMLEntry* build(const T& t, XMLEntry* parent = nullptr) {
  XMLEntry* e = new XMLEntry;
  e->name = t.name;
  e->value = t.value;
  e->path = parent ? parent->path + "." + t.name : t.name;
  e->level = parent ? parent->level + 1 : 0;
  if (parent) parent->addEntry(e);
  for (const T& k : t.kids) build(k, e);
  return e;
}

using Tree = std::unique_ptr<XMLEntry>;
inline Tree tree(const T& t) { return Tree(build(t)); }

// n children named F under e.
inline void fill(XMLEntry* e, int n) {
  for (int i = 0; i < n; ++i) build({"F", ""}, e);
}

// A line of n nodes named A below e, paths and levels following; the
// result holds e and then each new node, so result[k] is k levels below e.
inline std::vector<XMLEntry*> deepChain(XMLEntry* e, int n) {
  std::vector<XMLEntry*> line{e};
  for (int i = 0; i < n; ++i) line.push_back(build({"A", ""}, line.back()));
  return line;
}

// A line of n elements A below e, each the only child of the one above,
// with the short path "E.A" (a real path would grow by a name per level);
// returns the lowest.
inline XMLEntry* deepLine(XMLEntry* e, int n) {
  for (int i = 0; i < n; ++i) {
    XMLEntry* c = new XMLEntry;
    c->name = "A";
    c->path = "E.A";
    c->level = i + 1;
    e->addEntry(c);
    e = c;
  }
  return e;
}

// "E.A.A...": the name chain of `names` names that deepChain below E follows.
inline std::string chainPath(int names) {
  std::string p = "E";
  for (int i = 1; i < names; ++i) p += ".A";
  return p;
}

// "E{A=x,B{C=y}}": names, non-empty values, children in order.
inline std::string shape(const XMLEntry* e) {
  std::string s = e->name;
  if (!e->value.empty()) s += "=" + e->value;
  if (e->children.empty()) return s;
  for (size_t i = 0; i < e->children.size(); ++i) s += (i ? "," : "{") + shape(e->children[i]);
  return s + "}";
}

// Every node's path and level in pre-order: "E:0 E.A:1 ...".
inline std::string paths(const XMLEntry* e) {
  std::string s = e->path + ":" + std::to_string(e->level);
  for (const XMLEntry* c : e->children) s += " " + paths(c);
  return s;
}

// Empty when paths, levels and parent links agree with the tree's shape.
inline std::string consistency(const XMLEntry* e) {
  for (const XMLEntry* c : e->children) {
    if (c == nullptr) return "null child under " + e->path;
    if (c->parent != e) return "parent link of " + c->path;
    if (c->path != e->path + "." + c->name) return "path " + c->path + " under " + e->path;
    if (c->level != e->level + 1) return "level of " + c->path;
    std::string bad = consistency(c);
    if (!bad.empty()) return bad;
  }
  return "";
}

// A reader whose current entry is the given tree.
struct Doc {
  XML x;
  explicit Doc(const T& t) {
    delete x.getXMLEntry();
    x.setXMLEntry(build(t));
  }
  XMLEntry* root() { return x.getXMLEntry(); }
  XMLEntry* at(int i) { return root()->children[static_cast<size_t>(i)]; }
  std::string shape() { return treeutil::shape(root()); }
  std::string consistency() { return treeutil::consistency(root()); }
};

inline DTDTag tag(const std::string& path, int min, int max, char type = 'N') {
  DTDTag t;
  t.path = path;
  t.name = path.substr(path.rfind('.') + 1);
  t.level = static_cast<int>(std::count(path.begin(), path.end(), '.'));
  t.min = min;
  t.max = max;
  t.type = type;
  return t;
}

inline DTD table(const std::vector<DTDTag>& tags) {
  DTD d;
  d.count = static_cast<int>(tags.size());
  for (size_t i = 0; i < tags.size(); ++i) d.tags[i] = tags[i];
  return d;
}

}  // namespace treeutil
