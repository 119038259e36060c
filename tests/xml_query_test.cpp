// Queries, comparisons and edits over hand-built entry trees.
#include "xml/query.h"

#include <gtest/gtest.h>

#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "dtd/dtd.h"
#include "xml/entry.h"
#include "xml/reader.h"
#include "xml/writer.h"

namespace {

// A tree description: name, value, children.
struct T {
  T(std::string n, std::string v, std::vector<T> k = {})
      : name(std::move(n)), value(std::move(v)), kids(std::move(k)) {}
  std::string name;
  std::string value;
  std::vector<T> kids;
};

XMLEntry* build(const T& t, XMLEntry* parent = nullptr) {
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
Tree tree(const T& t) { return Tree(build(t)); }

// "E{A=x,B{C=y}}": names, non-empty values, children in order.
std::string shape(const XMLEntry* e) {
  std::string s = e->name;
  if (!e->value.empty()) s += "=" + e->value;
  if (e->children.empty()) return s;
  s += "{";
  for (size_t i = 0; i < e->children.size(); ++i) {
    if (i) s += ",";
    s += shape(e->children[i]);
  }
  return s + "}";
}

// Paths, levels and parent links agree with the shape of the tree.
std::string consistency(const XMLEntry* e) {
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

DTD table(const std::vector<DTDTag>& tags) {
  DTD d;
  d.count = static_cast<int>(tags.size());
  for (size_t i = 0; i < tags.size(); ++i) d.tags[i] = tags[i];
  return d;
}

DTDTag tag(const std::string& path, char type, int min, int max) {
  DTDTag t;
  t.path = path;
  t.name = path.substr(path.rfind('.') + 1);
  t.type = type;
  t.min = min;
  t.max = max;
  return t;
}

// E{S{D=one},X{S{D=deep}},S{D=two,D=three}} — S appears at two depths.
T sample() {
  return {"E", "top",
          {{"S", "", {{"D", "one"}}},
           {"X", "", {{"S", "", {{"D", "deep"}}}}},
           {"S", "", {{"D", "two"}, {"D", "three"}}}}};
}

}  // namespace

// --- lookups by path -------------------------------------------------------

TEST(QueryValue, FirstNonEmptyValueInPreOrder) {
  Tree e = tree({"E", "", {{"A", "", {{"P", ""}}}, {"B", "", {{"P", "x"}}}}});
  EXPECT_EQ(XMLgetValue("E.B.P", e.get(), 0), "x");
  Tree f = tree({"E", "", {{"P", ""}, {"P", "x"}}});
  EXPECT_EQ(XMLgetValue("E.P", f.get(), 0), "x");
  EXPECT_EQ(XMLgetValue("E.Q", f.get(), 0), "");
}

TEST(QueryValue, UpmostNodeWithThePathGivesItsOwnValueEvenEmpty) {
  Tree e = tree({"E", "", {{"A", "x"}}});
  EXPECT_EQ(XMLgetValue("E", e.get(), 0), "");
  e->value = "v";
  EXPECT_EQ(XMLgetValue("E", e.get(), 7), "v");
}

TEST(QueryValue, AllValuesAsSetAndAsList) {
  Tree e = tree({"E", "", {{"A", "x"}, {"B", "", {{"A", "y"}}}, {"A", "x"}, {"A", ""}}});
  std::set<std::string> set;
  XMLgetAllValues("E.A", &set, e.get());
  EXPECT_EQ(set, (std::set<std::string>{"", "x"}));

  strings list;
  EXPECT_TRUE(XMLgetAllValues("E.A", &list, e.get()));
  ASSERT_EQ(list.count, 3);
  EXPECT_EQ(list[0], "x");
  EXPECT_EQ(list[1], "x");
  EXPECT_EQ(list[2], "");
}

TEST(QueryValue, FullListStopsTheSearchInsteadOfOverrunning) {
  Tree e = tree({"E", "", {{"A", "1"}, {"A", "2"}, {"A", "3"}}});
  strings list;
  for (int i = 0; i < strings::kCapacity - 2; ++i) ASSERT_TRUE(list.push("f"));
  EXPECT_FALSE(XMLgetAllValues("E.A", &list, e.get()));
  EXPECT_EQ(list.count, strings::kCapacity);
  EXPECT_EQ(list[strings::kCapacity - 2], "1");
  EXPECT_EQ(list[strings::kCapacity - 1], "2");
  EXPECT_FALSE(XMLgetAllValuesTree("E.A", &list, e.get(), true));
  EXPECT_EQ(list.count, strings::kCapacity);
}

TEST(QueryValue, TreeFormsRenderTheMatchedNodeCompactly) {
  Tree e = tree({"E", "", {{"A", ""}, {"A", "a<b", {{"C", "y"}}}, {"A", "z"}}});
  EXPECT_EQ(XMLgetValueTree("E.A", e.get(), true), "<A></A>");
  EXPECT_EQ(XMLgetValueTree("E.A.C", e.get(), false), "y");
  EXPECT_EQ(XMLgetValueTree("E.Q", e.get(), true), "");

  std::set<std::string> set;
  XMLgetAllValuesTree("E.A", &set, e.get(), false);
  EXPECT_EQ(set, (std::set<std::string>{"", "a&lt;b<C>y</C>", "z"}));

  strings list;
  EXPECT_TRUE(XMLgetAllValuesTree("E.A", &list, e.get(), true));
  ASSERT_EQ(list.count, 3);
  EXPECT_EQ(list[1], "<A>a&lt;b<C>y</C></A>");
}

TEST(QueryFind, FirstMatchByPathAndByValue) {
  Tree e = tree({"E", "", {{"X", "", {{"P", "a"}}}, {"P", "b"}, {"P", "c"}}});
  XMLEntry* x = e->children[0];
  EXPECT_EQ(XMLfindTag(e.get(), "E.X.P"), x->children[0]);
  EXPECT_EQ(XMLfindTag(e.get(), "E.P"), e->children[1]);
  EXPECT_EQ(XMLfindTag(e.get(), "E"), e.get());
  EXPECT_EQ(XMLfindTag(e.get(), "E.Q"), nullptr);

  EXPECT_EQ(XMLfindTag(e.get(), "E.P", "c"), e->children[2]);
  EXPECT_EQ(XMLfindTag(e.get(), "E.P", "b"), e->children[1]);
  EXPECT_EQ(XMLfindTag(e.get(), "E.P", "d"), nullptr);

  std::set<XMLEntry*> all;
  XMLfindTag(e.get(), "E.P", &all);
  EXPECT_EQ(all, (std::set<XMLEntry*>{e->children[1], e->children[2]}));
}

TEST(QueryFind, RegularExpressions) {
  Tree e = tree({"E", "", {{"P", "dog"}, {"P", "cat\nmouse"}, {"P", "horse"}}});
  EXPECT_EQ(XMLfindTagRegexp(e.get(), "E.P", "^(cow|horse)$"), e->children[2]);
  // Newline-sensitive: "^" also matches after a line feed.
  EXPECT_EQ(XMLfindTagRegexp(e.get(), "E.P", "^mouse"), e->children[1]);
  EXPECT_EQ(XMLfindTagRegexp(e.get(), "E.P", "o+"), e->children[0]);
  EXPECT_EQ(XMLfindTagRegexp(e.get(), "E.P", "^z"), nullptr);
  // An expression that does not compile matches nothing.
  EXPECT_EQ(XMLfindTagRegexp(e.get(), "E.P", "(unclosed"), nullptr);
  EXPECT_EQ(XMLfindTagRegexp(e.get(), "E.P", "a**["), nullptr);

  regex_t r;
  ASSERT_EQ(regcomp(&r, "at", REG_EXTENDED | REG_NOSUB), 0);
  EXPECT_EQ(XMLfindTagRegcomp(e.get(), "E.P", &r), e->children[1]);
  regfree(&r);
}

TEST(QueryFind, NumberOfChildrenByName) {
  Tree e = tree({"E", "", {{"A", ""}, {"B", "", {{"A", ""}}}, {"A", ""}}});
  EXPECT_EQ(XMLnoOfName(e.get(), "A"), 2);
  EXPECT_EQ(XMLnoOfName(e.get(), "B"), 1);
  EXPECT_EQ(XMLnoOfName(e.get(), "C"), 0);
}

// --- lookups by name chain -------------------------------------------------

TEST(QueryChain, GetTreesFollowsNamesFromTheUpmostElement) {
  Tree e = tree(sample());
  std::set<XMLEntry*> out;
  EXPECT_TRUE(XMLgetTrees(&out, "E.S.D", e.get()));
  XMLEntry* s1 = e->children[0];
  XMLEntry* s2 = e->children[2];
  EXPECT_EQ(out, (std::set<XMLEntry*>{s1->children[0], s2->children[0], s2->children[1]}));

  out.clear();
  EXPECT_TRUE(XMLgetTrees(&out, " E . S ", e.get()));  // parts are trimmed
  EXPECT_EQ(out, (std::set<XMLEntry*>{s1, s2}));
}

TEST(QueryChain, GetTreesSetsParentLinksOfFoundNodes) {
  Tree e = tree(sample());
  XMLEntry* d = e->children[2]->children[1];
  d->parent = nullptr;
  std::set<XMLEntry*> out;
  XMLgetTrees(&out, "E.S.D", e.get());
  EXPECT_EQ(d->parent, e->children[2]);
}

TEST(QueryChain, GetTreesOnImpossibleAndOneNameChains) {
  Tree e = tree(sample());
  std::set<XMLEntry*> out;
  EXPECT_FALSE(XMLgetTrees(&out, "E.Q.D", e.get()));
  EXPECT_FALSE(XMLgetTrees(&out, "F.S.D", e.get()));
  EXPECT_FALSE(XMLgetTrees(&out, "", e.get()));
  // The last part is only checked for depth by the existence test.
  EXPECT_TRUE(XMLgetTrees(&out, "E.S.Z", e.get()));
  EXPECT_TRUE(out.empty());

  EXPECT_TRUE(XMLgetTrees(&out, "E", e.get()));
  EXPECT_EQ(out, (std::set<XMLEntry*>{e.get()}));
  out.clear();
  // A one-name chain must name the upmost element too.
  XMLgetTrees(&out, "S", e.get());
  EXPECT_TRUE(out.empty());
}

TEST(QueryChain, TagExist) {
  Tree e = tree(sample());
  strings p;
  getParts("E.X.S.D", &p, '.', true);
  EXPECT_TRUE(XMLtagExist(e.get(), &p, 0));
  getParts("E.S.S.D", &p, '.', true);
  EXPECT_FALSE(XMLtagExist(e.get(), &p, 0));
  getParts("E.X.S.ANY", &p, '.', true);
  EXPECT_TRUE(XMLtagExist(e.get(), &p, 0));
}

TEST(QueryChain, ReaderMethodsOnTheCurrentEntry) {
  XML x;
  delete x.getXMLEntry();
  x.setXMLEntry(build(sample()));
  XMLEntry* root = x.getXMLEntry();

  EXPECT_EQ(x.getValue("E.S.D"), "one");
  std::set<std::string> values;
  x.getAllValues("E.S.D", &values);
  EXPECT_EQ(values, (std::set<std::string>{"one", "two", "three"}));

  std::set<XMLEntry*> nodes;
  EXPECT_TRUE(x.gettrees(&nodes, "E.X.S"));
  EXPECT_EQ(nodes, (std::set<XMLEntry*>{root->children[1]->children[0]}));

  // gettree takes the first child of each name and does not backtrack.
  EXPECT_EQ(x.gettree("E.S.D"), root->children[0]->children[0]);
  EXPECT_EQ(x.gettree("E.X.S.D"), root->children[1]->children[0]->children[0]);
  EXPECT_EQ(x.gettree("E"), root);
  EXPECT_EQ(x.gettree("S"), nullptr);
  EXPECT_EQ(x.gettree("E.Q"), nullptr);
  EXPECT_EQ(x.gettree(""), nullptr);
  root->children[0]->children[0]->name = "N";
  EXPECT_EQ(x.gettree("E.S.D"), nullptr);

  strings p;
  getParts("E.S.D", &p, '.', true);
  std::set<XMLEntry*> found;
  x.gettreesR(&found, root, nullptr, &p, 1);
  EXPECT_EQ(found, (std::set<XMLEntry*>{root->children[2]->children[0],
                                        root->children[2]->children[1]}));
  EXPECT_EQ(x.gettreeR(root, nullptr, &p, 1), nullptr);
}

// --- comparisons -----------------------------------------------------------

TEST(QueryCompare, EqualIgnoresChildOrder) {
  Tree a = tree({"E", "v", {{"A", "1"}, {"B", "2", {{"C", "3"}}}}});
  Tree b = tree({"E", "v", {{"B", "2", {{"C", "3"}}}, {"A", "1"}}});
  EXPECT_TRUE(XMLequal(a.get(), b.get(), 3));
  b->children[0]->children[0]->value = "4";
  EXPECT_FALSE(XMLequal(a.get(), b.get(), 3));
  Tree c = tree({"E", "v", {{"A", "1"}}});
  EXPECT_FALSE(XMLequal(a.get(), c.get(), 3));
  EXPECT_FALSE(XMLequal(a.get(), nullptr, 3));
}

TEST(QueryCompare, EqualUsesTheMatchModeOnValues) {
  Tree a = tree({"E", "og", {{"A", "ca"}}});
  Tree b = tree({"E", "dog", {{"A", "cat"}}});
  EXPECT_FALSE(XMLequal(a.get(), b.get(), 3));
  EXPECT_FALSE(XMLequal(a.get(), b.get(), 2));  // "ca" does not end "cat"
  EXPECT_FALSE(XMLequal(a.get(), b.get(), 1));  // "og" does not begin "dog"
  EXPECT_TRUE(XMLequal(a.get(), b.get(), 0));
}

TEST(QueryCompare, PairingIsGreedyWithDistinctPartners) {
  // With "contains": the empty value takes the first X, and "a" is left
  // with "b" although the other pairing would fit.
  Tree a = tree({"E", "", {{"X", ""}, {"X", "a"}}});
  Tree b = tree({"E", "", {{"X", "a"}, {"X", "b"}}});
  EXPECT_FALSE(XMLequal(a.get(), b.get(), 0));
  Tree c = tree({"E", "", {{"X", "a"}, {"X", ""}}});
  EXPECT_TRUE(XMLequal(c.get(), b.get(), 0));
}

TEST(QueryCompare, SubtreeIsInclusionWithDistinctPartners) {
  Tree a = tree({"E", "", {{"B", "2"}}});
  Tree b = tree({"E", "", {{"A", "1"}, {"B", "2", {{"C", "3"}}}}});
  EXPECT_TRUE(XMLsubtree(a.get(), b.get(), 3, 1));
  EXPECT_FALSE(XMLsubtree(b.get(), a.get(), 3, 1));

  Tree twice = tree({"E", "", {{"A", "1"}, {"A", "1"}}});
  Tree once = tree({"E", "", {{"A", "1"}, {"Z", ""}}});
  EXPECT_FALSE(XMLsubtree(twice.get(), once.get(), 3, 1));

  Tree other = tree({"E", "x", {{"B", "9"}}});
  EXPECT_FALSE(XMLsubtree(a.get(), other.get(), 3, 1));
  EXPECT_TRUE(XMLsubtree(a.get(), other.get(), 3, 0));
}

// --- edits -----------------------------------------------------------------

TEST(QueryEdit, DelTreesRemovesEveryMatchIncludingConsecutiveOnes) {
  Tree e = tree({"E", "", {{"A", "1"}, {"A", "2"}, {"B", "", {{"A", "x"}}}, {"A", "3"}, {"C", ""}}});
  EXPECT_FALSE(XMLdelTrees(e.get(), "E.A"));
  EXPECT_EQ(shape(e.get()), "E{B{A=x},C}");
  EXPECT_FALSE(XMLdelTrees(e.get(), "E.B.A"));
  EXPECT_EQ(shape(e.get()), "E{B,C}");
}

TEST(QueryEdit, DelTreesLeavesTheCallersMatchingNodeAlive) {
  Tree e = tree({"E", "", {{"A", "1"}}});
  EXPECT_TRUE(XMLdelTrees(e.get(), "E"));
  EXPECT_EQ(shape(e.get()), "E{A=1}");  // still ours, untouched
  XMLEntry* a = e->children[0];
  EXPECT_TRUE(XMLdelTrees(a, "E.A"));
  EXPECT_EQ(a->value, "1");
}

TEST(QueryEdit, DelTreeByValueAndDelName) {
  Tree e = tree({"E", "", {{"A", "1"}, {"A", "2"}, {"B", "", {{"A", "2"}, {"N", ""}}}, {"N", ""}}});
  EXPECT_FALSE(XMLdelTreeByValue(e.get(), "E.A", "2"));
  EXPECT_EQ(shape(e.get()), "E{A=1,B{A=2,N},N}");
  XMLdelName(e.get(), "N");
  EXPECT_EQ(shape(e.get()), "E{A=1,B{A=2}}");
  XMLdelName(e.get(), "A");
  EXPECT_EQ(shape(e.get()), "E{B}");
}

TEST(QueryEdit, AppendEntryUnderTheFirstParentPath) {
  Tree e = tree({"E", "", {{"S", "1"}, {"S", "2"}}});
  XMLEntry* n = build({"D", "new"});
  n->path = "E.S.D";
  EXPECT_TRUE(XMLappendEntry(e.get(), n));
  EXPECT_EQ(shape(e.get()), "E{S=1{D=new},S=2}");
  EXPECT_EQ(n->parent, e->children[0]);

  Tree stray(build({"D", ""}));
  stray->path = "E.Q.D";
  EXPECT_FALSE(XMLappendEntry(e.get(), stray.get()));
}

TEST(QueryEdit, AppendEntryToAFullNodeLeavesTheNodeToTheCaller) {
  Tree e = tree({"E", "", {{"S", ""}}});
  XMLEntry* s = e->children[0];
  for (int i = 0; i < XMLEntry::kMaxChildren; ++i) build({"D", ""}, s);
  Tree n(build({"D", "extra"}));
  n->path = "E.S.D";
  EXPECT_FALSE(XMLappendEntry(e.get(), n.get()));
  EXPECT_EQ(s->count(), XMLEntry::kMaxChildren);
}

TEST(QueryEdit, ChangePrefixRewritesPathsBelow) {
  Tree e = tree({"X", "", {{"C", "", {{"D", ""}}}}});
  XMLChangePrefix(e.get(), "A", "B", 99);
  EXPECT_EQ(e->name, "B");
  EXPECT_EQ(e->path, "A.B");
  EXPECT_EQ(e->children[0]->path, "A.B.C");
  EXPECT_EQ(e->children[0]->children[0]->path, "A.B.C.D");
  XMLChangePrefix(e.get(), "", "", 0);
  EXPECT_EQ(e->path, "B");
  EXPECT_EQ(e->children[0]->children[0]->path, "B.C.D");
}

TEST(QueryEdit, FindAppendMovesWithoutLeavingEmptySlots) {
  Tree e = tree({"E", "", {{"A", "", {{"B", "1"}, {"K", ""}, {"B", "2"}}}, {"A", "", {{"B", "3"}}}}});
  Tree dst = tree({"N", ""});
  EXPECT_FALSE(XMLFindAppend(dst.get(), e.get(), "E.A.B", "N.M"));
  EXPECT_EQ(shape(e.get()), "E{A{K},A}");
  EXPECT_EQ(e->children[0]->count(), 1);
  EXPECT_EQ(e->children[1]->count(), 0);
  EXPECT_EQ(shape(dst.get()), "N{M=1,M=2,M=3}");
  EXPECT_EQ(dst->children[2]->path, "N.M");
  EXPECT_EQ(dst->children[2]->parent, dst.get());

  // Both trees copy and render cleanly afterwards.
  Tree copy(XMLcopyEntry(e.get(), nullptr));
  EXPECT_EQ(XMLprintEntry(copy.get(), true, false), "<E><A><K></K></A><A></A></E>");
  EXPECT_EQ(XMLprintEntry(dst.get(), true, false), "<N><M>1</M><M>2</M><M>3</M></N>");
  EXPECT_EQ(XMLgetValue("E.A.K", copy.get(), 0), "");
  EXPECT_EQ(XMLfindTag(copy.get(), "E.A.B"), nullptr);
}

TEST(QueryEdit, FindAppendOfTheTopNodeAndRefusedMoves) {
  Tree dst = tree({"N", ""});
  XMLEntry* e = build({"E", "", {{"A", "x"}}});
  EXPECT_TRUE(XMLFindAppend(dst.get(), e, "E", "N.E2"));  // dst now owns e
  EXPECT_EQ(shape(dst.get()), "N{E2{A=x}}");
  EXPECT_EQ(dst->children[0]->children[0]->path, "N.E2.A");

  // A node cannot move into its own subtree, nor into a full node.
  Tree f = tree({"E", "", {{"A", "", {{"B", ""}}}}});
  EXPECT_FALSE(XMLFindAppend(f->children[0]->children[0], f.get(), "E.A", "Z.A"));
  EXPECT_EQ(shape(f.get()), "E{A{B}}");
  Tree full = tree({"F", ""});
  for (int i = 0; i < XMLEntry::kMaxChildren; ++i) build({"G", ""}, full.get());
  EXPECT_FALSE(XMLFindAppend(full.get(), f.get(), "E.A", "F.A"));
  EXPECT_EQ(shape(f.get()), "E{A{B}}");
}

TEST(QueryEdit, FindAppendIntoAnAncestorWithTheSamePathTerminates) {
  Tree e = tree({"E", "", {{"A", "", {{"B", "1"}}}, {"B", "2"}}});
  EXPECT_FALSE(XMLFindAppend(e.get(), e.get(), "E.A.B", "E.B"));
  EXPECT_EQ(shape(e.get()), "E{A,B=2,B=1}");
  EXPECT_EQ(consistency(e.get()), "");
}

TEST(QueryEdit, ReplaceValue) {
  Tree e = tree({"E", "", {{"A", "x"}, {"A", "x"}, {"A", "y"}, {"B", "", {{"A", "x"}}}, {"A", "x"}}});
  XMLreplaceValue(e.get(), "E.A", "x", "z");
  EXPECT_EQ(shape(e.get()), "E{A=z,A=z,A=y,B{A=x},A=z}");
  XMLreplaceValue(e.get(), "E.A", "z", "");
  EXPECT_EQ(shape(e.get()), "E{A=y,B{A=x}}");
  XMLreplaceValue(e.get(), "E.B.A", "x", "");
  EXPECT_EQ(shape(e.get()), "E{A=y,B}");
}

TEST(QueryEdit, LinksByStructureType) {
  DTD d = table({tag("E", 'N', 1, 1), tag("E.L", 'L', 0, -1), tag("E.R", 'R', 0, -1),
                 tag("E.S", 'N', 0, -1), tag("E.S.X", 'E', 0, -1), tag("E.S.L", 'L', 0, -1)});
  Tree e = tree({"E", "", {{"L", "old"}, {"R", "r"}, {"S", "old", {{"X", "1"}, {"L", "old"}}}, {"L", "keep"}}});
  XMLreplaceLinkValue(e.get(), &d, "old", "new");
  EXPECT_EQ(shape(e.get()), "E{L=new,R=r,S=old{X=1,L=new},L=keep}");
  XMLnoLink(e.get(), &d);
  EXPECT_EQ(shape(e.get()), "E{L=new,S=old{L=new},L=keep}");
}

TEST(QueryEdit, DelEmptyKeepsTheMinimumNumberOfSiblings) {
  DTD d = table({tag("E", 'N', 1, 1), tag("E.A", 'N', 1, -1), tag("E.B", 'N', 0, -1),
                 tag("E.B.C", 'N', 0, -1)});
  Tree e = tree({"E", "", {{"A", ""}, {"A", ""}, {"B", ""}, {"B", "", {{"C", "x"}}}, {"B", "", {{"C", ""}}}}});
  EXPECT_TRUE(XMLisEmpty(e->children[0], &d, 2));
  EXPECT_FALSE(XMLisEmpty(e->children[0], &d, 1));
  EXPECT_FALSE(XMLisEmpty(e->children[3], &d, 5));
  EXPECT_TRUE(XMLisEmpty(e->children[4], &d, 5));
  XMLdelEmpty(e.get(), &d);
  EXPECT_EQ(shape(e.get()), "E{A,B{C=x}}");
}

TEST(QueryEdit, MergeWithEmptyCopiesWhatIsMissing) {
  Tree dst = tree({"E", "", {{"A", "1"}, {"S", "", {{"D", "d"}}}}});
  Tree src = tree({"E", "", {{"S", "", {{"D", "x"}, {"G", "g"}}}, {"B", "b", {{"C", "c"}}}}});
  EXPECT_TRUE(XMLmergeWithEmpty(dst.get(), src.get()));
  EXPECT_EQ(shape(dst.get()), "E{A=1,S{D=d,G=g},B=b{C=c}}");
  EXPECT_EQ(consistency(dst.get()), "");
  EXPECT_EQ(shape(src.get()), "E{S{D=x,G=g},B=b{C=c}}");  // source untouched
}

TEST(QueryEdit, MergeWithEmptyFromAnotherPathMergesTheChildren) {
  Tree dst = tree({"E", "", {{"A", "1"}}});
  XMLEntry* a = dst->children[0];
  Tree src = tree({"Z", "", {{"A", "", {{"B", "b"}}}}});
  src->children[0]->path = "E.A";
  src->children[0]->children[0]->path = "E.A.B";
  EXPECT_TRUE(XMLmergeWithEmpty(a, src.get()));
  EXPECT_EQ(shape(dst.get()), "E{A=1{B=b}}");
}

TEST(QueryEdit, MergeWithEmptyDropsCopiesThatDoNotFit) {
  Tree dst = tree({"E", ""});
  for (int i = 0; i < XMLEntry::kMaxChildren; ++i) build({"F", ""}, dst.get());
  Tree src = tree({"E", "", {{"N", "x"}}});
  EXPECT_FALSE(XMLmergeWithEmpty(dst.get(), src.get()));
  EXPECT_EQ(dst->count(), XMLEntry::kMaxChildren);
}

TEST(QueryEdit, MergeWithoutParent) {
  Tree a = tree({"E", "v", {{"A", "1"}, {"B", "2"}}});
  a->path = "E.S";
  XMLEntry* b = build({"X", "x"});
  XMLmergeWithoutParent(a.get(), b);
  EXPECT_EQ(a->name, "E");
  EXPECT_EQ(a->path, "E");
  EXPECT_EQ(a->value, "");
  EXPECT_EQ(a->level, 0);
  EXPECT_EQ(shape(a.get()), "E{E=v{A=1,B=2},X=x}");
  XMLEntry* n = a->children[0];
  EXPECT_EQ(n->path, "E.S");
  EXPECT_EQ(n->parent, a.get());
  EXPECT_EQ(n->children[0]->parent, n);
  EXPECT_EQ(b->parent, a.get());
}

// --- deep trees ------------------------------------------------------------

TEST(QueryDeep, SearchesAndComparisonsDoNotRecursePerLevel) {
  const int depth = 100000;
  Tree e = tree({"E", ""});
  XMLEntry* n = e.get();
  for (int i = 0; i < depth; ++i) {
    XMLEntry* c = new XMLEntry;  // paths kept short: they would grow per level
    c->name = "A";
    c->path = "E.A";
    c->level = i + 1;
    n->addEntry(c);
    n = c;
  }
  n->value = "bottom";
  n->path = "BOTTOM";
  EXPECT_EQ(XMLgetValue("BOTTOM", e.get(), 0), "bottom");
  EXPECT_EQ(XMLfindTag(e.get(), "BOTTOM", "bottom"), n);
  Tree copy(XMLcopyEntry(e.get(), nullptr));
  EXPECT_TRUE(XMLequal(e.get(), copy.get(), 3));
  EXPECT_TRUE(XMLsubtree(e.get(), copy.get(), 3, 1));
  XMLdelTrees(copy.get(), "BOTTOM");
  EXPECT_FALSE(XMLequal(e.get(), copy.get(), 3));
  XMLdelName(e.get(), "A");
  EXPECT_EQ(e->count(), 0);
}
