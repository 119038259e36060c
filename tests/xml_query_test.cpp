// Queries, comparisons and edits over hand-built entry trees.
#include "xml/query.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "treeutil.h"
#include "xml/writer.h"

using namespace treeutil;

namespace {

std::string joined(const strings& l) {
  std::string s;
  for (const std::string& v : l.items) s += "|" + v;
  return s;
}

// E{S{D=one},X{S{D=deep}},S{D=two,D=three}}: S appears at two depths.
T sample() {
  return {"E", "top",
          {{"S", "", {{"D", "one"}}},
           {"X", "", {{"S", "", {{"D", "deep"}}}}},
           {"S", "", {{"D", "two"}, {"D", "three"}}}}};
}

}  // namespace

// --- lookups by path -------------------------------------------------------

TEST(QueryValue, FirstNonEmptyValueOrTheUpmostNodesOwn) {
  Tree e = tree({"E", "", {{"A", "", {{"P", ""}}}, {"B", "", {{"P", "x"}}}, {"P", ""}, {"P", "y"}}});
  EXPECT_EQ(XMLgetValue("E.B.P", e.get(), 0), "x");
  EXPECT_EQ(XMLgetValue("E.P", e.get(), 0), "y");
  EXPECT_EQ(XMLgetValue("E.Q", e.get(), 0), "");
  EXPECT_EQ(XMLgetValue("E", e.get(), 0), "");  // its own value, even empty
  e->value = "v";
  EXPECT_EQ(XMLgetValue("E", e.get(), 7), "v");
}

TEST(QueryValue, AllValuesAsSetAndAsListWithinTheListBounds) {
  Tree e = tree({"E", "", {{"A", "x"}, {"B", "", {{"A", "y"}}}, {"A", "x"}, {"A", ""}}});
  std::set<std::string> set;
  XMLgetAllValues("E.A", &set, e.get());
  EXPECT_EQ(set, (std::set<std::string>{"", "x"}));
  strings list;
  EXPECT_TRUE(XMLgetAllValues("E.A", &list, e.get()));
  EXPECT_EQ(joined(list), "|x|x|");

  // A full list stops the search instead of overrunning.
  strings full;
  for (int i = 0; i < strings::kCapacity - 2; ++i) ASSERT_TRUE(full.push("f"));
  Tree three = tree({"E", "", {{"A", "1"}, {"A", "2"}, {"A", "3"}}});
  EXPECT_FALSE(XMLgetAllValues("E.A", &full, three.get()));
  EXPECT_EQ(full.count, strings::kCapacity);
  EXPECT_EQ(full[strings::kCapacity - 1], "2");
  EXPECT_FALSE(XMLgetAllValuesTree("E.A", &full, three.get(), true));
  EXPECT_EQ(full.count, strings::kCapacity);
}

TEST(QueryValue, TreeFormsRenderTheMatchedNodeCompactly) {
  Tree e = tree({"E", "", {{"A", ""}, {"A", "a<b", {{"C", "y"}}}, {"A", "z"}}});
  EXPECT_EQ(XMLgetValueTree("E.A", e.get(), true) + XMLgetValueTree("E.Q", e.get(), true), "<A></A>");
  std::set<std::string> set;
  XMLgetAllValuesTree("E.A", &set, e.get(), false);
  EXPECT_EQ(set, (std::set<std::string>{"", "a&lt;b<C>y</C>", "z"}));
  strings list;
  EXPECT_TRUE(XMLgetAllValuesTree("E.A", &list, e.get(), true));
  EXPECT_EQ(joined(list), "|<A></A>|<A>a&lt;b<C>y</C></A>|<A>z</A>");
}

TEST(QueryFind, ByPathByValueAndByName) {
  Tree e = tree({"E", "", {{"X", "", {{"P", "a"}}}, {"P", "b"}, {"P", "c"}}});
  XMLEntry *x = e->children[0], *b = e->children[1], *c = e->children[2];
  EXPECT_EQ(XMLfindTag(e.get(), "E.X.P"), x->children[0]);
  EXPECT_EQ(XMLfindTag(e.get(), "E.P"), b);
  EXPECT_EQ(XMLfindTag(e.get(), "E"), e.get());
  EXPECT_EQ(XMLfindTag(e.get(), "E.Q"), nullptr);
  EXPECT_EQ(XMLfindTag(e.get(), "E.P", "c"), c);
  EXPECT_EQ(XMLfindTag(e.get(), "E.P", "d"), nullptr);
  std::set<XMLEntry*> all;
  XMLfindTag(e.get(), "E.P", &all);
  EXPECT_EQ(all, (std::set<XMLEntry*>{b, c}));
  EXPECT_EQ(XMLnoOfName(e.get(), "P"), 2);
  EXPECT_EQ(XMLnoOfName(e.get(), "X"), 1);
  EXPECT_EQ(XMLnoOfName(e.get(), "Q"), 0);
}

TEST(QueryFind, RegularExpressionsAndBadOnes) {
  Tree e = tree({"E", "", {{"P", "dog"}, {"P", "cat\nmouse"}, {"P", "horse"}}});
  EXPECT_EQ(XMLfindTagRegexp(e.get(), "E.P", "^(cow|horse)$"), e->children[2]);
  EXPECT_EQ(XMLfindTagRegexp(e.get(), "E.P", "^mouse"), e->children[1]);  // newline-sensitive
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

// --- lookups by name chain -------------------------------------------------

TEST(QueryChain, GetTreesFollowsNamesFromTheUpmostElement) {
  Tree e = tree(sample());
  XMLEntry *s1 = e->children[0], *s2 = e->children[2];
  s2->children[1]->parent = nullptr;
  std::set<XMLEntry*> out;
  EXPECT_TRUE(XMLgetTrees(&out, "E.S.D", e.get()));
  EXPECT_EQ(out, (std::set<XMLEntry*>{s1->children[0], s2->children[0], s2->children[1]}));
  EXPECT_EQ(s2->children[1]->parent, s2);  // parent links of found nodes are set
  out.clear();
  EXPECT_TRUE(XMLgetTrees(&out, " E . S ", e.get()));  // parts are trimmed
  EXPECT_EQ(out, (std::set<XMLEntry*>{s1, s2}));

  out.clear();
  EXPECT_FALSE(XMLgetTrees(&out, "E.Q.D", e.get()));
  EXPECT_FALSE(XMLgetTrees(&out, "F.S.D", e.get()));
  EXPECT_FALSE(XMLgetTrees(&out, "", e.get()));
  EXPECT_TRUE(XMLgetTrees(&out, "E.S.Z", e.get()));  // the last part is only a depth
  EXPECT_TRUE(out.empty());
  EXPECT_TRUE(XMLgetTrees(&out, "E", e.get()));
  EXPECT_EQ(out, (std::set<XMLEntry*>{e.get()}));
  out.clear();
  XMLgetTrees(&out, "S", e.get());  // a one-name chain names the upmost element
  EXPECT_TRUE(out.empty());

  strings p, q;
  getParts("E.X.S.ANY", &p, '.', true);
  getParts("E.S.S.D", &q, '.', true);
  EXPECT_TRUE(XMLtagExist(e.get(), &p, 0));
  EXPECT_FALSE(XMLtagExist(e.get(), &q, 0));
}

TEST(QueryChain, ReaderMethodsOnTheCurrentEntry) {
  Doc d(sample());
  EXPECT_EQ(d.x.getValue("E.S.D"), "one");
  std::set<XMLEntry*> nodes;
  EXPECT_TRUE(d.x.gettrees(&nodes, "E.X.S"));
  EXPECT_EQ(nodes, (std::set<XMLEntry*>{d.at(1)->children[0]}));

  // gettree takes the first child of each name and does not backtrack.
  EXPECT_EQ(d.x.gettree("E.S.D"), d.at(0)->children[0]);
  EXPECT_EQ(d.x.gettree("E.X.S.D"), d.at(1)->children[0]->children[0]);
  EXPECT_EQ(d.x.gettree("E"), d.root());
  for (const char* none : {"S", "E.Q", ""}) EXPECT_EQ(d.x.gettree(none), nullptr) << none;
  d.at(0)->children[0]->name = "N";
  EXPECT_EQ(d.x.gettree("E.S.D"), nullptr);
}

// A split holds at most kCapacity - 1 names; a longer chain must not be cut
// short and then followed to a shallower node.
TEST(QueryChain, AChainTooLongToSplitWholeReachesNothing) {
  Doc d({"E", ""});
  const std::vector<XMLEntry*> line = deepChain(d.root(), 4999);
  const int most = strings::kCapacity - 1;
  const std::string longest = chainPath(most), tooLong = chainPath(5000);
  std::set<XMLEntry*> out;
  EXPECT_TRUE(XMLgetTrees(&out, longest, d.root()));
  EXPECT_EQ(out, (std::set<XMLEntry*>{line[most - 1]}));
  EXPECT_EQ(d.x.gettree(longest), line[most - 1]);

  out.clear();
  EXPECT_FALSE(XMLgetTrees(&out, tooLong, d.root()));
  EXPECT_FALSE(d.x.gettrees(&out, tooLong));
  EXPECT_TRUE(out.empty());
  EXPECT_EQ(d.x.gettree(tooLong), nullptr);
  EXPECT_EQ(d.x.gettree(chainPath(most + 1)), nullptr);
}

// --- comparisons -----------------------------------------------------------

TEST(QueryCompare, EqualIgnoresChildOrderAndUsesTheMatchMode) {
  Tree a = tree({"E", "v", {{"A", "1"}, {"B", "2", {{"C", "3"}}}}});
  Tree b = tree({"E", "v", {{"B", "2", {{"C", "3"}}}, {"A", "1"}}});
  EXPECT_TRUE(XMLequal(a.get(), b.get(), 3));
  b->children[0]->children[0]->value = "4";
  EXPECT_FALSE(XMLequal(a.get(), b.get(), 3));
  EXPECT_FALSE(XMLequal(a.get(), tree({"E", "v", {{"A", "1"}}}).get(), 3));
  EXPECT_FALSE(XMLequal(a.get(), nullptr, 3));

  Tree part = tree({"E", "og", {{"A", "ca"}}});
  Tree whole = tree({"E", "dog", {{"A", "cat"}}});
  for (int mode : {3, 2, 1}) EXPECT_FALSE(XMLequal(part.get(), whole.get(), mode)) << mode;
  EXPECT_TRUE(XMLequal(part.get(), whole.get(), 0));

  // Pairing is greedy with distinct partners: with "contains" the empty
  // value takes the first X and "a" is left with "b".
  Tree greedy = tree({"E", "", {{"X", ""}, {"X", "a"}}});
  Tree pairs = tree({"E", "", {{"X", "a"}, {"X", "b"}}});
  EXPECT_FALSE(XMLequal(greedy.get(), pairs.get(), 0));
  EXPECT_TRUE(XMLequal(tree({"E", "", {{"X", "a"}, {"X", ""}}}).get(), pairs.get(), 0));
}

TEST(QueryCompare, SubtreeIsInclusionWithDistinctPartners) {
  Tree a = tree({"E", "", {{"B", "2"}}});
  Tree b = tree({"E", "", {{"A", "1"}, {"B", "2", {{"C", "3"}}}}});
  EXPECT_TRUE(XMLsubtree(a.get(), b.get(), 3, 1));
  EXPECT_FALSE(XMLsubtree(b.get(), a.get(), 3, 1));
  Tree twice = tree({"E", "", {{"A", "1"}, {"A", "1"}}});
  EXPECT_FALSE(XMLsubtree(twice.get(), tree({"E", "", {{"A", "1"}, {"Z", ""}}}).get(), 3, 1));
  Tree other = tree({"E", "x", {{"B", "9"}}});
  EXPECT_FALSE(XMLsubtree(a.get(), other.get(), 3, 1));
  EXPECT_TRUE(XMLsubtree(a.get(), other.get(), 3, 0));
}

// --- edits -----------------------------------------------------------------

TEST(QueryEdit, DeletionsByPathValueAndName) {
  Tree e = tree({"E", "", {{"A", "1"}, {"A", "2"}, {"B", "", {{"A", "x"}}}, {"A", "3"}, {"C", ""}}});
  EXPECT_FALSE(XMLdelTrees(e.get(), "E.A"));  // consecutive matches too
  EXPECT_EQ(shape(e.get()), "E{B{A=x},C}");
  EXPECT_FALSE(XMLdelTrees(e.get(), "E.B.A"));
  EXPECT_EQ(shape(e.get()), "E{B,C}");
  // The caller's own matching node stays alive and untouched.
  Tree f = tree({"E", "", {{"A", "1"}}});
  EXPECT_TRUE(XMLdelTrees(f.get(), "E"));
  EXPECT_EQ(shape(f.get()), "E{A=1}");
  EXPECT_TRUE(XMLdelTrees(f->children[0], "E.A"));
  EXPECT_EQ(f->children[0]->value, "1");

  Tree g = tree({"E", "", {{"A", "1"}, {"A", "2"}, {"B", "", {{"A", "2"}, {"N", ""}}}, {"N", ""}}});
  EXPECT_FALSE(XMLdelTreeByValue(g.get(), "E.A", "2"));
  EXPECT_EQ(shape(g.get()), "E{A=1,B{A=2,N},N}");
  XMLdelName(g.get(), "N");
  EXPECT_EQ(shape(g.get()), "E{A=1,B{A=2}}");
  XMLdelName(g.get(), "A");
  EXPECT_EQ(shape(g.get()), "E{B}");
}

TEST(QueryEdit, AppendEntryUnderTheFirstParentOrLeaveItToTheCaller) {
  Tree e = tree({"E", "", {{"S", "1"}, {"S", "2"}}});
  XMLEntry* n = build({"D", "new"});
  n->path = "E.S.D";
  EXPECT_TRUE(XMLappendEntry(e.get(), n));
  EXPECT_EQ(shape(e.get()), "E{S=1{D=new},S=2}");
  EXPECT_EQ(n->parent, e->children[0]);
  Tree stray(build({"D", ""}));
  stray->path = "E.Q.D";
  EXPECT_FALSE(XMLappendEntry(e.get(), stray.get()));

  // A full parent: the node stays the caller's.
  Tree full = tree({"E", "", {{"S", ""}}});
  fill(full->children[0], XMLEntry::kMaxChildren);
  Tree extra(build({"D", "extra"}));
  extra->path = "E.S.D";
  EXPECT_FALSE(XMLappendEntry(full.get(), extra.get()));
  EXPECT_EQ(full->children[0]->count(), XMLEntry::kMaxChildren);
}

TEST(QueryEdit, ChangePrefixRewritesPathsBelow) {
  Tree e = tree({"X", "", {{"C", "", {{"D", ""}}}}});
  XMLChangePrefix(e.get(), "A", "B", 99);
  EXPECT_EQ(paths(e.get()), "A.B:0 A.B.C:1 A.B.C.D:2");
  EXPECT_EQ(e->name, "B");
  XMLChangePrefix(e.get(), "", "", 0);
  EXPECT_EQ(paths(e.get()), "B:0 B.C:1 B.C.D:2");
}

TEST(QueryEdit, FindAppendMovesAndBothTreesCopyAndRenderAfterwards) {
  Tree e = tree({"E", "", {{"A", "", {{"B", "1"}, {"K", ""}, {"B", "2"}}}, {"A", "", {{"B", "3"}}}}});
  Tree dst = tree({"N", ""});
  EXPECT_FALSE(XMLFindAppend(dst.get(), e.get(), "E.A.B", "N.M"));
  EXPECT_EQ(shape(e.get()), "E{A{K},A}");
  EXPECT_EQ(e->children[0]->count(), 1);  // no empty slots left behind
  EXPECT_EQ(shape(dst.get()), "N{M=1,M=2,M=3}");
  EXPECT_EQ(consistency(dst.get()), "");
  Tree copy(XMLcopyEntry(e.get(), nullptr));
  EXPECT_EQ(XMLprintEntry(copy.get(), true, false), "<E><A><K></K></A><A></A></E>");
  EXPECT_EQ(XMLprintEntry(dst.get(), true, false), "<N><M>1</M><M>2</M><M>3</M></N>");
  EXPECT_EQ(XMLfindTag(copy.get(), "E.A.B"), nullptr);

  XMLEntry* top = build({"E", "", {{"A", "x"}}});
  EXPECT_TRUE(XMLFindAppend(dst.get(), top, "E", "N.E2"));  // dst now owns it
  EXPECT_EQ(shape(dst.get()), "N{M=1,M=2,M=3,E2{A=x}}");
  EXPECT_EQ(consistency(dst.get()), "");
}

TEST(QueryEdit, FindAppendRefusalsAndAMoveIntoAnAncestorsPath) {
  // Not into its own subtree, nor into a full node.
  Tree f = tree({"E", "", {{"A", "", {{"B", ""}}}}});
  EXPECT_FALSE(XMLFindAppend(f->children[0]->children[0], f.get(), "E.A", "Z.A"));
  Tree full = tree({"F", ""});
  fill(full.get(), XMLEntry::kMaxChildren);
  EXPECT_FALSE(XMLFindAppend(full.get(), f.get(), "E.A", "F.A"));
  EXPECT_EQ(shape(f.get()), "E{A{B}}");
  // Into an ancestor with the same path: terminates.
  Tree e = tree({"E", "", {{"A", "", {{"B", "1"}}}, {"B", "2"}}});
  EXPECT_FALSE(XMLFindAppend(e.get(), e.get(), "E.A.B", "E.B"));
  EXPECT_EQ(shape(e.get()), "E{A,B=2,B=1}");
  EXPECT_EQ(consistency(e.get()), "");
}

// Each child's subtree is searched to its end before the next child: a
// moved subtree renamed so that its descendants have path P again is not
// searched once the walk has passed dst, and is when dst comes later.
TEST(QueryEdit, FindAppendFinishesEachChildBeforeTheNext) {
  Tree e = tree({"E", "", {{"A", "", {{"D", ""}}}, {"B", "b", {{"B", "inner"}}}}});
  XMLEntry* passed = e->children[0]->children[0];
  EXPECT_FALSE(XMLFindAppend(passed, e.get(), "E.B", "E"));
  EXPECT_EQ(shape(e.get()), "E{A{D{E=b{B=inner}}}}");
  EXPECT_EQ(paths(passed), "E.A.D:2 E:3 E.B:4");

  Tree f = tree({"E", "", {{"B", "b", {{"B", "inner"}}}, {"D", ""}}});
  XMLEntry* ahead = f->children[1];
  EXPECT_FALSE(XMLFindAppend(ahead, f.get(), "E.B", "E"));
  EXPECT_EQ(shape(f.get()), "E{D{E=b,E=inner}}");
  EXPECT_EQ(paths(ahead), "E.D:1 E:2 E:2");

  // dst searched itself: each matching child moves to its end once.
  Tree g = tree({"E", "", {{"B", "1"}, {"K", ""}, {"B", "2"}}});
  EXPECT_FALSE(XMLFindAppend(g.get(), g.get(), "E.B", "E.B"));
  EXPECT_EQ(shape(g.get()), "E{K,B=1,B=2}");
  EXPECT_EQ(consistency(g.get()), "");

  // The walk keeps its own stack: a deep line does not exhaust the call stack.
  Tree deep = tree({"E", ""});
  XMLEntry* n = deepLine(deep.get(), 100000);
  n->path = "BOTTOM";
  XMLEntry* above = n->parent;
  Tree to = tree({"N", ""});
  EXPECT_FALSE(XMLFindAppend(to.get(), deep.get(), "BOTTOM", "N.M"));
  EXPECT_EQ(paths(to.get()), "N:0 N.M:1");
  EXPECT_EQ(above->count(), 0);
}

TEST(QueryEdit, ReplaceValueAndLinksByStructureType) {
  Tree e = tree({"E", "", {{"A", "x"}, {"A", "x"}, {"A", "y"}, {"B", "", {{"A", "x"}}}, {"A", "x"}}});
  XMLreplaceValue(e.get(), "E.A", "x", "z");
  EXPECT_EQ(shape(e.get()), "E{A=z,A=z,A=y,B{A=x},A=z}");
  XMLreplaceValue(e.get(), "E.A", "z", "");  // an empty value deletes
  EXPECT_EQ(shape(e.get()), "E{A=y,B{A=x}}");

  DTD d = table({tag("E", 1, 1), tag("E.L", 0, -1, 'L'), tag("E.R", 0, -1, 'R'),
                 tag("E.S", 0, -1), tag("E.S.X", 0, -1, 'E'), tag("E.S.L", 0, -1, 'L')});
  Tree f = tree({"E", "", {{"L", "old"}, {"R", "r"}, {"S", "old", {{"X", "1"}, {"L", "old"}}}, {"L", "keep"}}});
  XMLreplaceLinkValue(f.get(), &d, "old", "new");
  EXPECT_EQ(shape(f.get()), "E{L=new,R=r,S=old{X=1,L=new},L=keep}");
  XMLnoLink(f.get(), &d);
  EXPECT_EQ(shape(f.get()), "E{L=new,S=old{L=new},L=keep}");
}

TEST(QueryEdit, DelEmptyKeepsTheMinimumNumberOfSiblings) {
  DTD d = table({tag("E", 1, 1), tag("E.A", 1, -1), tag("E.B", 0, -1), tag("E.B.C", 0, -1)});
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

  // From another path the children are merged.
  Tree other = tree({"Z", "", {{"A", "", {{"B", "b"}}}}});
  other->children[0]->path = "E.A";
  other->children[0]->children[0]->path = "E.A.B";
  EXPECT_TRUE(XMLmergeWithEmpty(dst->children[0], other.get()));
  EXPECT_EQ(shape(dst->children[0]), "A=1{B=b}");

  // Copies that do not fit are dropped.
  Tree full = tree({"E", ""});
  fill(full.get(), XMLEntry::kMaxChildren);
  EXPECT_FALSE(XMLmergeWithEmpty(full.get(), tree({"E", "", {{"N", "x"}}}).get()));
  EXPECT_EQ(full->count(), XMLEntry::kMaxChildren);
}

TEST(QueryEdit, MergeWithoutParent) {
  Tree a = tree({"E", "v", {{"A", "1"}, {"B", "2"}}});
  a->path = "E.S";
  XMLEntry* b = build({"X", "x"});
  XMLmergeWithoutParent(a.get(), b);
  EXPECT_EQ(shape(a.get()), "E{E=v{A=1,B=2},X=x}");
  EXPECT_EQ(paths(a.get()), "E:0 E.S:0 E.A:1 E.B:1 X:0");  // the pushed node keeps its own
  EXPECT_EQ(a->children[0]->parent, a.get());
  EXPECT_EQ(a->children[0]->children[0]->parent, a->children[0]);
  EXPECT_EQ(b->parent, a.get());
}

TEST(QueryDeep, SearchesAndComparisonsDoNotRecursePerLevel) {
  Tree e = tree({"E", ""});
  XMLEntry* n = deepLine(e.get(), 100000);
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
