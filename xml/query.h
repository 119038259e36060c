// Queries and edits over entry trees, by dotted path, by name or by value.
//
// Paths, names and values are compared exactly (byte for byte); the reader
// has already upper-cased the names. A "pre-order search" visits a node
// before its children, children in order, and does not look below a node
// that matches unless a function says otherwise.
//
// List results go to a bounded `strings` list: when it is full the search
// stops there and the function returns false. Children vectors never hold
// null pointers, before or after any of these edits.
#pragma once

#include <regex.h>

#include <functional>
#include <set>
#include <string>
#include <vector>

#include "base/text.h"
#include "xml/entry.h"

class DTDStruct;

// ---------------------------------------------------------------------------
// Pre-order walk (a node before its children, children in order) with an
// explicit stack, so deep trees cannot exhaust the call stack. `visit`
// returns Descend to go below the node, Skip to pass its subtree over, Stop
// to end the walk. Returns false when stopped; a null e visits nothing. The visitor may add or remove
// children of the node it visits (what remains is walked next); it must not
// destroy nodes that may still be waiting on the stack.
enum class XMLWalk { Descend, Skip, Stop };

template <typename Node, typename Visit>
bool XMLpreorder(Node* e, Visit&& visit) {
  if (e == nullptr) return true;
  std::vector<Node*> stack{e};
  while (!stack.empty()) {
    Node* n = stack.back();
    stack.pop_back();
    XMLWalk w = visit(n);
    if (w == XMLWalk::Stop) return false;
    if (w == XMLWalk::Skip) continue;
    for (auto it = n->children.rbegin(); it != n->children.rend(); ++it) stack.push_back(*it);
  }
  return true;
}

// ---------------------------------------------------------------------------
// Lookups by path

// The value of the first node with path P whose value is non-empty, where a
// node with path P ends the search of its subtree; e's own value when e
// itself has path P (even when empty). Empty when none. The int is unused.
std::string XMLgetValue(const std::string& P, const XMLEntry* e, int unused);

// The value of every node with path P (matched nodes not searched below).
void XMLgetAllValues(const std::string& P, std::set<std::string>* out, const XMLEntry* e);
// The same, appended in visiting order with duplicates; false when the list
// filled up before the search ended.
bool XMLgetAllValues(const std::string& P, strings* out, const XMLEntry* e);

// As XMLgetValue / XMLgetAllValues, with each matching node rendered in the
// compact form (XMLprintEntry with `withTags`, no backslash doubling).
std::string XMLgetValueTree(const std::string& P, const XMLEntry* e, bool withTags);
void XMLgetAllValuesTree(const std::string& P, std::set<std::string>* out, const XMLEntry* e,
                         bool withTags);
bool XMLgetAllValuesTree(const std::string& P, strings* out, const XMLEntry* e, bool withTags);

// The first node with path P, or null.
XMLEntry* XMLfindTag(XMLEntry* e, const std::string& P);
// The first node with path P and value V. A node with path P and another
// value is not searched below; the search goes on with its next sibling.
XMLEntry* XMLfindTag(XMLEntry* e, const std::string& P, const std::string& V);
// Every node with path P is inserted into *out.
void XMLfindTag(XMLEntry* e, const std::string& P, std::set<XMLEntry*>* out);

// As the value form of XMLfindTag, a node qualifying when its value matches
// the POSIX extended expression R (no sub-matches, newline-sensitive). An
// expression that does not compile matches nothing: the result is null.
XMLEntry* XMLfindTagRegexp(XMLEntry* e, const std::string& P, const std::string& R);
XMLEntry* XMLfindTagRegcomp(XMLEntry* e, const std::string& P, const regex_t* r);

// Number of e's direct children named N.
int XMLnoOfName(const XMLEntry* e, const std::string& N);

// ---------------------------------------------------------------------------
// Lookups by name chain: P is split at "." (parts trimmed, empty parts
// dropped) and node names are compared level by level from e down. A chain
// of more than strings::kCapacity - 1 names cannot be split whole and
// reaches nothing.

// True when the chain could exist: every part but the last names a node on
// one line of descent from e (the last part is satisfied by any node at its
// depth). Nothing is inserted when this is false.
bool XMLtagExist(const XMLEntry* e, const strings* p, int k);
// Inserts every node reached by the chain into *out and sets its parent
// link. A one-part P reaches e when e's name is that part. False only when
// XMLtagExist fails (or P has no parts, or too many); true does not promise
// a result.
bool XMLgetTrees(std::set<XMLEntry*>* out, const std::string& P, XMLEntry* e);
void XMLgetTreesR(std::set<XMLEntry*>* out, XMLEntry* e, XMLEntry* parent, const strings* p,
                  int k);

// ---------------------------------------------------------------------------
// Comparisons. `mode` is match()'s: 0 contains, 1 begins, 2 ends, 3 equals
// (a's value sought in b's).

// The shape shared by the comparisons: a corresponds to b when local(a, b)
// holds and every child of a, in order, pairs with a child of b that
// corresponds — the first fitting one, without backtracking; with
// `distinct` each child of b serves at most once. Null gives false.
bool XMLcomparePaired(const XMLEntry* a, const XMLEntry* b, bool distinct,
                      const std::function<bool(const XMLEntry*, const XMLEntry*)>& local);

// Same names, matching values, as many children, and each child of a pairs
// with a distinct child of b (greedy: the first unpaired one that fits), so
// children may come in another order.
bool XMLequal(const XMLEntry* a, const XMLEntry* b, int mode);
// Same names, matching values (only when checkValue is non-zero), no more
// children than b, and each child of a pairs greedily with a distinct child
// of b for which XMLsubtree holds.
bool XMLsubtree(const XMLEntry* a, const XMLEntry* b, int mode, int checkValue);

// ---------------------------------------------------------------------------
// Edits

// Removes and destroys every node below e with path P (matched nodes not
// searched below). e itself is never destroyed: when e has path P the result
// is true and nothing changes — the caller owns e and discards it (or
// removes it from its parent). Otherwise false.
bool XMLdelTrees(XMLEntry* e, const std::string& P);
// The same for nodes with path P and value V.
bool XMLdelTreeByValue(XMLEntry* e, const std::string& P, const std::string& V);
// Removes and destroys every descendant named N with its subtree.
void XMLdelName(XMLEntry* e, const std::string& N);

// Appends n to the first node (pre-order) of dst whose path is n's path
// without its last part; n's level becomes that node's + 1 (levels below
// follow). On success dst's tree owns n. False, with n left to the caller,
// when there is no such node, it is full, or it lies inside n.
bool XMLappendEntry(XMLEntry* dst, XMLEntry* n);

// e's level := level; every node below gets its parent's level + 1.
void XMLsetLevels(XMLEntry* e, int level);

// Sets e's name (when `name` is non-empty) and its path to prefix + "." +
// name (just the name when prefix is empty), and re-prefixes every
// descendant's path accordingly. Levels are not touched. The int is unused.
void XMLChangePrefix(XMLEntry* e, const std::string& prefix, const std::string& name, int unused);

// Moves every node with path P (matched nodes not searched below) to the end
// of dst's children and renames it with XMLChangePrefix(node, fnNoExt(Q),
// fnExt(Q)) and its level becomes dst's + 1 (levels below follow). The
// moved node leaves its old parent's children (no empty slot remains) and
// belongs to dst. True when e itself was moved: e then belongs
// to dst. A node that dst cannot take (dst full, or dst inside the node)
// stays where it was.
// The search takes e's children in order and finishes each child's subtree
// before the next child, so a node moved into dst is searched (and, if its
// new path or a descendant's is P, moved again) only when the walk has yet
// to reach dst: E{A{D},B{B}} with dst = D, P = "E.B", Q = "E" gives
// D{E{B}}, the inner B (now E.B) being left where it is. A node searches
// only the children it held when the walk reached it, so children appended
// to it later (it may be dst) are not searched: the call ends.
// When e itself is moved (result true), a caller holding e in another
// node's children must drop it from there.
bool XMLFindAppend(XMLEntry* dst, XMLEntry* e, const std::string& P, const std::string& Q);

// For each child c of e: when c has path P and value V, c is removed and
// destroyed when W is empty, else c's value becomes W; other children are
// searched recursively.
void XMLreplaceValue(XMLEntry* e, const std::string& P, const std::string& V,
                     const std::string& W);
// The first node on each line of descent whose type in d is 'L' and whose
// value is V gets the value W (not searched below).
void XMLreplaceLinkValue(XMLEntry* e, const DTDStruct* d, const std::string& V, const std::string& W);
// XMLdelTrees of every path that d types 'R' or 'E', in table order.
void XMLnoLink(XMLEntry* e, const DTDStruct* d);
// True when e has no value, d's minimum occurrence for e's path is below n,
// and every child is empty with n = 10000.
bool XMLisEmpty(const XMLEntry* e, const DTDStruct* d, int n);
// Removes empty children (XMLisEmpty with n = the number of same-named
// siblings at that moment), so never fewer than d's minimum remain;
// searches the kept children recursively.
void XMLdelEmpty(XMLEntry* e, const DTDStruct* d);

// When dst and src have the same path: each child s of src is merged into
// every child of dst with s's path, or a deep copy of s is appended to dst
// when dst has none. Otherwise each child of src is merged into dst. False
// when a copy did not fit into a full node (the copy is then dropped).
bool XMLmergeWithEmpty(XMLEntry* dst, XMLEntry* src);

// Pushes a one level down: a new node takes a's name, path, value, level,
// mark and children (whose parent links follow it); a becomes the parent of
// that node and of b (b's parent link is set; a now owns b). a's name and
// path become the part of its path before the first "." when there is one,
// its value is emptied, its level drops by one (not below 0) and its parent
// and mark are cleared. b may be null.
void XMLmergeWithoutParent(XMLEntry* a, XMLEntry* b);
