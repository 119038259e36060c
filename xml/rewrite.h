// Path-driven rewriting of entry trees.
//
// The XML methods below (declared in xml/reader.h) rewrite the reader's
// current entry. Element sets are the nodes that XML::gettrees finds for a
// path (name chains from the upmost element); they are processed in
// document order. Except for deltag, the children that an operation acts on
// are collected before it changes anything, so nodes it moves or creates
// are not acted on again by the same call. Every rewrite leaves each node's
// path equal to its parent's path + "." + its name and its level one more
// than its parent's: new paths are built from the nodes found, never from
// the path text, so a padded path (" E . S ") acts as the plain one does.
//
//   rentree(e, prefix)  e's path := prefix + "." + name (name alone when
//                       prefix is empty); descendants' paths and levels
//                       follow e.
//   shiftlevel(e, d)    adds d to the level of e and of every node below it.
//   rentag(P, N)        renames the elements with path P to N (paths below
//                       follow, under each element's own parent). False, with
//                       nothing changed, when N is not a usable name (empty,
//                       or holding a space, control byte, ".", "<", ">", "/"
//                       or "&").
//   chgval(P, V)        sets the value of every element with path P; true.
//   tagval(P)           an element with path P whose value v is non-empty is
//                       renamed to ucase(v) with spaces as "_", and its value
//                       emptied; an empty value leaves it alone. An element
//                       whose value would not make a usable name is left
//                       alone and the result is false; otherwise true.
//   deltree(P)          deletes every element with path P (under the
//                       elements with P's parent path) with its content;
//                       a one-name P deletes nothing; true.
//   deltag(P)           deletes the elements with path P but moves their
//                       children, in order, to the end of their grandparent.
//                       Each grandparent's children are walked from the
//                       first, the walk going on into the children moved to
//                       the end: a moved child that now has path P (it had
//                       the deleted element's name) is deleted the same way,
//                       so E{X{X{Y}},Z} becomes E{Z,Y}. False when P is the
//                       upmost element's name. An element whose children
//                       would not fit into the grandparent is left as it was
//                       and the result is false.
//   grptree(P)          per parent, the first child with path P receives the
//                       children of the later ones, which are deleted with
//                       their values. A later element whose children would
//                       not fit is left as it was and the result is false.
//   movtree(P, D)       D empty: deletes every element with path P.
//                       Otherwise moves every element with path P under the
//                       elements with path D (the first in document order
//                       gets the element, every other one a deep copy).
//                       False, with nothing changed, when D is P or lies
//                       inside P (begins with P + "."), or when any element
//                       found for D is, or lies inside, an element to be
//                       moved (however D is spelled: "E.A ", "E..A").
//                       Targets that are full are skipped and the result
//                       is false; an element that no target can take stays
//                       where it was.
//   addtag(P, V)        XMLaddTag(&root, P, V).
#pragma once

#include <string>

class DTDStruct;
class XMLEntry;

// Adds an element with value V (stored as given, not parsed), named by P's
// last name with its spaces trimmed:
// - P a single name: *e is destroyed and replaced by a lone element of that
//   name (its path).
// - Otherwise one new element is appended to every node q of *e that
//   XMLgetTrees finds for P's parent path, with the path q's path + "." +
//   the name (existing elements of that path stay; the new one is an extra
//   sibling). No such node: nothing changes.
// False, with nothing changed, when the last name is blank ("E.S.", "") or
// *e is null (with a longer P); false when a parent was full (that parent
// gets nothing); otherwise true.
bool XMLaddTag(XMLEntry** e, const std::string& P, const std::string& V);

// Adds one element with path P and value V to the entry *e, guided by the
// structure description d. Refused (false, the entry unchanged) when:
// - e, *e or d is null, P is unknown to d, or P is a single name (an entry
//   has one upmost element);
// - P's parent path is not in the entry and cannot be built: its missing
//   ancestors are created (empty) only when d knows their paths, down from
//   the nearest existing one; the upmost element must be P's first name;
// - the new element (or its first missing ancestor) would give its parent
//   more same-path children than d's maximum, or the parent is full.
// The parent is the first node (pre-order) with P's parent path. New nodes
// get consistent paths and levels.
bool XMLaddTagDTD(XMLEntry** e, const std::string& P, const std::string& V, const DTDStruct* d);

// Same names, match(a's value, b's value, mode), as many children, and the
// children equal position by position.
bool eqtrees(const XMLEntry* a, const XMLEntry* b, int mode);

// Same names, match(a's value, b's value, mode), no more children than b,
// and every child of a is a subtree of some child of b (one child of b may
// serve several children of a).
bool subtree(const XMLEntry* a, const XMLEntry* b, int mode);
