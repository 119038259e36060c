// Path-driven rewriting of the reader's current entry, element insertion
// and the structural comparisons.
#include "xml/rewrite.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "treeutil.h"
#include "xml/query.h"
#include "xml/writer.h"

using namespace treeutil;

TEST(RewritePaths, RentreeShiftlevelAndRentag) {
  Doc d({"E", "", {{"SENSE", "", {{"DEF", "a", {{"C", ""}}}}}, {"X", ""}, {"SENSE", "", {{"DEF", "b"}}}}});
  XMLEntry* def = d.at(0)->children[0];
  d.x.rentree(def, "X.Y");
  EXPECT_EQ(paths(def), "X.Y.DEF:2 X.Y.DEF.C:3");
  d.x.rentree(def, "");
  d.x.shiftlevel(def, -1);
  EXPECT_EQ(paths(def), "DEF:1 DEF.C:2");
  d.x.rentree(def, "E.SENSE");
  d.x.shiftlevel(def, 1);

  EXPECT_TRUE(d.x.rentag("E.SENSE", "MEANING"));
  EXPECT_EQ(paths(d.root()),
            "E:0 E.MEANING:1 E.MEANING.DEF:2 E.MEANING.DEF.C:3 E.X:1 E.MEANING:1 E.MEANING.DEF:2");
  EXPECT_TRUE(d.x.rentag("E", "ROOT"));
  EXPECT_EQ(d.at(2)->children[0]->path, "ROOT.MEANING.DEF");
  EXPECT_TRUE(d.x.rentag("ROOT.NONE", "Z"));
  // Names that would break paths or markup are refused.
  for (const char* bad : {"", "A.B", "A B", "<A>", "A/", "A&B", "A\tB"})
    EXPECT_FALSE(d.x.rentag("ROOT.X", bad)) << bad;
  EXPECT_EQ(d.shape(), "ROOT{MEANING{DEF=a{C}},X,MEANING{DEF=b}}");
  EXPECT_EQ(d.consistency(), "");
}

// Elements are found by trimmed name chain; what a rewrite creates takes its
// path from the node found, never from the padded text.
TEST(RewritePaths, PaddedChainsGiveNewPathsFromTheNodesFound) {
  Doc r({"E", "", {{"S", "", {{"D", ""}}}}});
  EXPECT_TRUE(r.x.rentag("E .S", "M"));
  EXPECT_EQ(paths(r.root()), "E:0 E.M:1 E.M.D:2");

  Doc m({"E", "", {{"A", "", {{"B", "b", {{"D", ""}}}}}, {"C", ""}, {"C", ""}}});
  EXPECT_TRUE(m.x.movtree("E.A.B", "E .C"));
  EXPECT_EQ(m.shape(), "E{A,C{B=b{D}},C{B=b{D}}}");
  EXPECT_EQ(paths(m.at(1)) + " " + paths(m.at(2)), "E.C:1 E.C.B:2 E.C.B.D:3 E.C:1 E.C.B:2 E.C.B.D:3");
  EXPECT_EQ(m.consistency(), "");

  Doc a({"E", "", {{"S", ""}}});
  EXPECT_TRUE(a.x.addtag("E. S.N", "v"));
  EXPECT_TRUE(a.x.addtag(" E . S . N2 ", "w"));
  EXPECT_TRUE(a.x.addtag("E..S.N3", "x"));
  EXPECT_EQ(paths(a.root()), "E:0 E.S:1 E.S.N:2 E.S.N2:2 E.S.N3:2");
  EXPECT_EQ(a.shape(), "E{S{N=v,N2=w,N3=x}}");
  EXPECT_EQ(a.consistency(), "");
  // A blank last name makes no element.
  for (const char* blank : {"E.S.", "E.S. ", "E. ", " ", ""})
    EXPECT_FALSE(a.x.addtag(blank, "y")) << "[" << blank << "]";
  EXPECT_EQ(a.shape(), "E{S{N=v,N2=w,N3=x}}");
  EXPECT_TRUE(a.x.addtag(" NEW ", "v"));
  EXPECT_EQ(paths(a.root()) + " " + a.shape(), "NEW:0 NEW=v");
}

// Every rewrite finds its elements by name chain: one too long to split
// whole acts on nothing rather than on a shallower element.
TEST(RewritePaths, AChainTooLongToSplitWholeActsOnNothing) {
  Doc d({"E", ""});
  const std::vector<XMLEntry*> line = deepChain(d.root(), 4999);
  const int most = strings::kCapacity - 1;
  const std::string tooLong = chainPath(5000);
  EXPECT_TRUE(d.x.chgval(tooLong, "deep"));
  EXPECT_TRUE(d.x.rentag(tooLong, "R"));
  EXPECT_TRUE(d.x.addtag(tooLong + ".N", "v"));
  for (const XMLEntry* n : line) {
    ASSERT_EQ(n->name + n->value, n == d.root() ? "E" : "A") << n->level;
    ASSERT_EQ(n->count(), n == line.back() ? 0 : 1) << n->level;
  }
  // The longest chain a split holds still reaches its element.
  EXPECT_TRUE(d.x.chgval(chainPath(most), "v"));
  EXPECT_EQ(line[most - 1]->value, "v");
  EXPECT_EQ(d.consistency(), "");
}

TEST(RewriteValues, ChgvalAndTagval) {
  Doc d({"E", "", {{"A", "1", {{"B", "b"}}}, {"A", "2"}}});
  EXPECT_TRUE(d.x.chgval("E.A", "v"));
  EXPECT_TRUE(d.x.chgval("E.Q", "v"));
  EXPECT_EQ(d.shape(), "E{A=v{B=b},A=v}");

  // An empty value keeps its name; Czech letters are upper-cased; values
  // that make no name are refused and left as they are.
  Doc t({"E", "", {{"S", "", {{"G", "noun phrase", {{"X", ""}}}, {"G", ""}}},
                   {"G", "\xF8\xEDzen\xED"}, {"G", "adj."}, {"G", "a<b"}}});
  EXPECT_TRUE(t.x.tagval("E.S.G"));
  EXPECT_EQ(paths(t.at(0)), "E.S:1 E.S.NOUN_PHRASE:2 E.S.NOUN_PHRASE.X:3 E.S.G:2");
  EXPECT_FALSE(t.x.tagval("E.G"));
  EXPECT_EQ(t.shape(), "E{S{NOUN_PHRASE{X},G},\xD8\xCDZEN\xCD,G=adj.,G=a<b}");
  EXPECT_EQ(t.consistency(), "");
}

TEST(RewriteDelete, DeltreeAndDeltag) {
  Doc d({"E", "", {{"A", "", {{"B", ""}}}, {"A", ""}, {"X", "", {{"A", ""}}}, {"A", ""}}});
  EXPECT_TRUE(d.x.deltree("E"));
  EXPECT_TRUE(d.x.deltree("E.A"));
  EXPECT_EQ(d.shape(), "E{X{A}}");
  EXPECT_TRUE(d.x.deltree("E.X.A"));
  EXPECT_EQ(d.shape(), "E{X}");

  // deltag moves the grandchildren to the end, in order.
  Doc g({"E", "", {{"A", "gone", {{"B", "b", {{"D", ""}}}, {"C", "c"}}}, {"X", ""}}});
  EXPECT_FALSE(g.x.deltag("E"));  // not the upmost element
  EXPECT_TRUE(g.x.deltag("OTHER"));
  EXPECT_TRUE(g.x.deltag("E.A"));
  EXPECT_EQ(paths(g.root()), "E:0 E.X:1 E.B:1 E.B.D:2 E.C:1");
  EXPECT_EQ(g.shape(), "E{X,B=b{D},C=c}");
  EXPECT_EQ(g.consistency(), "");
}

// The walk over a parent's children goes on into the children moved up to
// its end, so a moved-up child with the deleted path is deleted in turn.
TEST(RewriteDelete, DeltagReachesMovedUpChildrenWithTheSamePath) {
  Doc d({"E", "", {{"X", "", {{"X", "", {{"Y", "y"}}}}}, {"Z", ""}}});
  EXPECT_TRUE(d.x.deltag("E.X"));
  EXPECT_EQ(d.shape(), "E{Z,Y=y}");
  EXPECT_EQ(d.consistency(), "");

  Doc n({"E", "", {{"X", "1", {{"A", ""}, {"X", "2", {{"X", "3", {{"B", ""}}}, {"C", ""}}}}}, {"Z", ""}}});
  EXPECT_TRUE(n.x.deltag("E.X"));
  EXPECT_EQ(n.shape(), "E{Z,A,C,B}");
  EXPECT_EQ(n.consistency(), "");

  // Each parent is walked on its own.
  Doc p({"E", "", {{"P", "", {{"X", "", {{"X", "", {{"K", ""}}}}}}}, {"P", "", {{"X", "", {{"L", ""}}}}}}});
  EXPECT_TRUE(p.x.deltag("E.P.X"));
  EXPECT_EQ(p.shape(), "E{P{K},P{L}}");
  EXPECT_EQ(p.consistency(), "");
}

TEST(RewriteDelete, DeltagAndGrptreeLeaveAnElementWhoseChildrenWouldNotFit) {
  Doc d({"E", "", {{"A", "", {{"B", ""}, {"C", ""}}}, {"A", "", {{"K", ""}}}}});
  fill(d.root(), XMLEntry::kMaxChildren - 2);
  // The first A frees one slot but needs two; the second then fits.
  EXPECT_FALSE(d.x.deltag("E.A"));
  ASSERT_EQ(d.root()->count(), XMLEntry::kMaxChildren);
  EXPECT_EQ(shape(d.at(0)), "A{B,C}");
  EXPECT_EQ(shape(d.root()->children.back()), "K");
  EXPECT_EQ(d.consistency(), "");

  Doc g({"E", "", {{"S", "1"}, {"S", "2", {{"A", ""}, {"B", ""}}}, {"S", "3", {{"C", ""}}}}});
  XMLEntry* first = g.at(0);
  fill(first, XMLEntry::kMaxChildren - 1);
  EXPECT_FALSE(g.x.grptree("E.S"));
  ASSERT_EQ(g.root()->count(), 2);
  EXPECT_EQ(shape(g.at(1)), "S=2{A,B}");
  EXPECT_EQ(first->count(), XMLEntry::kMaxChildren);
  EXPECT_EQ(shape(first->children.back()), "C");
}

TEST(RewriteGroup, GrptreeGroupsPerParent) {
  Doc d({"E", "", {{"P", "", {{"S", "1", {{"A", "a"}}}, {"X", ""}, {"S", "2", {{"B", "b"}, {"C", "c"}}}}},
                   {"P", "", {{"S", "3"}, {"S", "4", {{"D", "d"}}}}}}});
  EXPECT_TRUE(d.x.grptree("E.P.S"));
  EXPECT_TRUE(d.x.grptree("E"));
  EXPECT_EQ(d.shape(), "E{P{S=1{A=a,B=b,C=c},X},P{S=3{D=d}}}");
  EXPECT_EQ(d.consistency(), "");
}

TEST(RewriteMove, MovtreeMovesDeletesAndRefuses) {
  Doc d({"E", "", {{"A", "", {{"B", "1", {{"D", ""}}}, {"K", ""}}}, {"C", "c"}, {"A", "", {{"B", "2"}}}}});
  EXPECT_TRUE(d.x.movtree("E.A.B", "E.C"));
  EXPECT_EQ(d.shape(), "E{A{K},C=c{B=1{D},B=2},A}");
  EXPECT_EQ(paths(d.at(1)), "E.C:1 E.C.B:2 E.C.B.D:3 E.C.B:2");
  EXPECT_EQ(d.consistency(), "");

  Doc r({"E", "", {{"A", "", {{"X", ""}}}, {"AB", ""}, {"Z", ""}}});
  EXPECT_FALSE(r.x.movtree("E.A", "E.A.X"));  // into itself
  EXPECT_FALSE(r.x.movtree("E.A", "E.A"));
  EXPECT_TRUE(r.x.movtree("E.A", "E.NONE"));  // no target: nothing moves
  EXPECT_EQ(r.shape(), "E{A{X},AB,Z}");
  // A destination that merely shares the leading bytes is not inside.
  EXPECT_TRUE(r.x.movtree("E.A", "E.AB"));
  EXPECT_EQ(r.shape(), "E{AB{A{X}},Z}");
  EXPECT_TRUE(r.x.movtree("E.Z", ""));  // no destination: deleted
  EXPECT_TRUE(r.x.movtree("E", ""));
  EXPECT_EQ(r.shape(), "E{AB{A{X}}}");
  EXPECT_EQ(r.consistency(), "");

  // Moving into its own parent path terminates.
  Doc p({"E", "", {{"A", "", {{"B", "1"}, {"K", ""}, {"B", "2"}}}}});
  EXPECT_TRUE(p.x.movtree("E.A.B", "E.A"));
  EXPECT_EQ(p.shape(), "E{A{K,B=1,B=2}}");
  EXPECT_EQ(p.consistency(), "");
}

// However D is spelled, an element is never moved into itself or below
// itself: the call is refused and nothing changes.
TEST(RewriteMove, MovtreeRefusesTargetsInsideTheMovedElements) {
  Doc one({"E", "", {{"A", "1", {{"X", ""}}}, {"B", ""}}});
  for (const char* dest : {"E.A ", " E.A", "E..A", "E.A.X ", "E . A . X"})
    EXPECT_FALSE(one.x.movtree("E.A", dest)) << "[" << dest << "]";
  EXPECT_EQ(one.shape(), "E{A=1{X},B}");

  Doc two({"E", "", {{"A", "1", {{"X", ""}}}, {"A", "2", {{"X", ""}}}, {"B", ""}}});
  for (const char* dest : {"E..A", "E.A ", "E. A.X", " E.A.X"})
    EXPECT_FALSE(two.x.movtree("E.A", dest)) << "[" << dest << "]";
  EXPECT_EQ(two.shape(), "E{A=1{X},A=2{X},B}");

  // One target inside one of the moved elements is enough to refuse.
  Doc some({"E", "", {{"A", "1"}, {"A", "2", {{"Y", ""}}}}});
  EXPECT_FALSE(some.x.movtree("E.A", "E.A .Y"));
  EXPECT_EQ(some.shape(), "E{A=1,A=2{Y}}");

  // A padded destination outside the moved elements is taken.
  EXPECT_TRUE(two.x.movtree("E.A", " E . B "));
  EXPECT_EQ(two.shape(), "E{B{A=1{X},A=2{X}}}");
  EXPECT_EQ(two.consistency(), "");
}

TEST(RewriteMove, SeveralTargetsGetDeepCopies) {
  Doc d({"E", "", {{"T", "1"}, {"S", "", {{"M", "m", {{"N", "n"}}}}}, {"T", "2"}}});
  EXPECT_TRUE(d.x.movtree("E.S.M", "E.T"));
  EXPECT_EQ(d.shape(), "E{T=1{M=m{N=n}},S,T=2{M=m{N=n}}}");
  XMLEntry* m1 = d.at(0)->children[0];
  XMLEntry* m2 = d.at(2)->children[0];
  EXPECT_NE(m1, m2);
  EXPECT_NE(m1->children[0], m2->children[0]);
  EXPECT_EQ(d.consistency(), "");
  // Each copy is owned once: deleting them frees each once.
  EXPECT_TRUE(d.x.deltree("E.T.M"));
  EXPECT_EQ(d.shape(), "E{T=1,S,T=2}");
}

TEST(RewriteMove, FullTargetsAreSkippedAndUnplacedElementsStay) {
  Doc d({"E", "", {{"T", ""}, {"A", "", {{"B", "b"}}}, {"T", ""}}});
  fill(d.at(0), XMLEntry::kMaxChildren);
  EXPECT_FALSE(d.x.movtree("E.A.B", "E.T"));  // reported, but B found room
  EXPECT_EQ(shape(d.at(1)) + " " + shape(d.at(2)), "A T{B=b}");
  EXPECT_EQ(d.consistency(), "");

  Doc full({"E", "", {{"T", ""}, {"A", "", {{"K", ""}, {"B", "b", {{"C", ""}}}, {"L", ""}}}}});
  fill(full.at(0), XMLEntry::kMaxChildren);
  EXPECT_FALSE(full.x.movtree("E.A.B", "E.T"));
  EXPECT_EQ(shape(full.at(1)), "A{K,B=b{C},L}");
  EXPECT_EQ(full.consistency(), "");
}

TEST(RewriteAdd, AddtagAndXMLaddTag) {
  Doc d({"E", "", {{"SENSE", "1", {{"NOTE", "old"}}}, {"SENSE", "2"}}});
  EXPECT_TRUE(d.x.addtag("E.SENSE.NOTE", "x<y>"));
  EXPECT_TRUE(d.x.addtag("E.NONE.NOTE", "x"));
  EXPECT_EQ(d.shape(), "E{SENSE=1{NOTE=old,NOTE=x<y>},SENSE=2{NOTE=x<y>}}");
  EXPECT_EQ(d.consistency(), "");
  EXPECT_TRUE(d.x.addtag("NEW", "v"));  // a single name replaces the entry
  EXPECT_EQ(paths(d.root()) + " " + d.shape(), "NEW:0 NEW=v");
  EXPECT_EQ(d.root()->parent, nullptr);

  // A full parent drops the new element; the next parent still gets one.
  Tree e = tree({"E", "", {{"S", ""}, {"S", ""}}});
  fill(e->children[0], XMLEntry::kMaxChildren);
  XMLEntry* p = e.get();
  EXPECT_FALSE(XMLaddTag(&p, "E.S.N", "v"));
  EXPECT_EQ(e->children[0]->count(), XMLEntry::kMaxChildren);
  EXPECT_EQ(shape(e->children[1]), "S{N=v}");
  XMLEntry* none = nullptr;
  EXPECT_FALSE(XMLaddTag(&none, "E.S", "v"));
  EXPECT_FALSE(XMLaddTag(nullptr, "E", "v"));
}

TEST(RewriteAddDTD, AddsWithinTheMaximumAndCreatesKnownAncestors) {
  DTD dtd = table({tag("E", 1, 1), tag("E.S", 0, -1), tag("E.S.STAMP", 0, 1), tag("E.H", 0, 1),
                   tag("E.H.I", 0, 1), tag("E.H.I.STAMP", 0, 1), tag("E.Q.STAMP", 0, 1)});
  Tree e = tree({"E", "", {{"S", "1"}, {"S", "2"}}});
  XMLEntry* p = e.get();
  EXPECT_TRUE(XMLaddTagDTD(&p, "E.S.STAMP", "me today", &dtd));
  EXPECT_EQ(shape(e.get()), "E{S=1{STAMP=me today},S=2}");
  // The first S holds the one STAMP allowed: refused, nothing changes.
  EXPECT_FALSE(XMLaddTagDTD(&p, "E.S.STAMP", "again", &dtd));
  EXPECT_EQ(p, e.get());
  EXPECT_TRUE(XMLaddTagDTD(&p, "E.H.I.STAMP", "s", &dtd));
  EXPECT_EQ(paths(e->children[2]), "E.H:1 E.H.I:2 E.H.I.STAMP:3");
  // E.Q is unknown to the description: refused without a trace.
  EXPECT_FALSE(XMLaddTagDTD(&p, "E.Q.STAMP", "s", &dtd));
  EXPECT_EQ(shape(e.get()), "E{S=1{STAMP=me today},S=2,H{I{STAMP=s}}}");
  EXPECT_EQ(consistency(e.get()), "");
}

TEST(RewriteAddDTD, Refusals) {
  DTD dtd = table({tag("E", 1, 1), tag("E.A", 0, 2), tag("E.Z", 0, 0), tag("E.Z.B", 0, 1),
                   tag("F", 1, 1), tag("F.A", 0, 1), tag("E.N", 0, -1)});
  Tree e = tree({"E", "", {{"A", ""}, {"A", ""}}});
  XMLEntry* p = e.get();
  EXPECT_FALSE(XMLaddTagDTD(&p, "E.UNKNOWN", "v", &dtd));  // path not described
  EXPECT_FALSE(XMLaddTagDTD(&p, "E", "v", &dtd));          // a second upmost
  EXPECT_FALSE(XMLaddTagDTD(&p, "E.A", "v", &dtd));        // max 2 reached
  EXPECT_FALSE(XMLaddTagDTD(&p, "E.Z.B", "v", &dtd));      // E.Z allowed 0 times
  EXPECT_FALSE(XMLaddTagDTD(&p, "F.A", "v", &dtd));        // another upmost name
  EXPECT_FALSE(XMLaddTagDTD(&p, "E.A", "v", nullptr));
  XMLEntry* none = nullptr;
  EXPECT_FALSE(XMLaddTagDTD(&none, "E.A", "v", &dtd));
  EXPECT_EQ(shape(e.get()), "E{A,A}");
  fill(e.get(), XMLEntry::kMaxChildren - 2);
  EXPECT_FALSE(XMLaddTagDTD(&p, "E.N", "v", &dtd));  // full
  EXPECT_EQ(e->count(), XMLEntry::kMaxChildren);
}

TEST(RewriteCompare, EqtreesAndSubtreeAgainstXMLequalAndXMLsubtree) {
  // eqtrees compares by position, XMLequal allows reordered children.
  Tree a = tree({"E", "v", {{"A", "1"}, {"B", "2"}}});
  Tree b = tree({"E", "v", {{"B", "2"}, {"A", "1"}}});
  EXPECT_FALSE(eqtrees(a.get(), b.get(), 3));
  EXPECT_TRUE(XMLequal(a.get(), b.get(), 3));
  Tree c(XMLcopyEntry(a.get(), nullptr));
  EXPECT_TRUE(eqtrees(a.get(), c.get(), 3));
  c->children[1]->value = "22";
  EXPECT_FALSE(eqtrees(a.get(), c.get(), 3));
  EXPECT_TRUE(eqtrees(a.get(), c.get(), 1));  // "2" begins "22"
  EXPECT_FALSE(eqtrees(a.get(), nullptr, 3));

  // subtree lets children share a partner, XMLsubtree does not.
  Tree one = tree({"E", "", {{"A", "1"}}});
  Tree many = tree({"E", "", {{"X", ""}, {"A", "1", {{"C", ""}}}, {"Y", ""}}});
  EXPECT_TRUE(subtree(one.get(), many.get(), 3));
  EXPECT_FALSE(subtree(many.get(), one.get(), 3));
  Tree twice = tree({"E", "", {{"A", "1"}, {"A", "1"}}});
  Tree shared = tree({"E", "", {{"A", "1"}, {"Z", ""}}});
  EXPECT_TRUE(subtree(twice.get(), shared.get(), 3));
  EXPECT_FALSE(XMLsubtree(twice.get(), shared.get(), 3, 1));
  EXPECT_FALSE(subtree(twice.get(), tree({"E", "", {{"A", "2"}, {"A", "3"}}}).get(), 3));
}

TEST(RewriteRoundTrip, ParsedEntryRewrittenRendersAsExpected) {
  XML x;
  ASSERT_TRUE(x.getEntry(std::string(
      "<e><hw>dog</hw><sense><gram>noun</gram><def>animal</def></sense><note>n</note></e>")));
  EXPECT_TRUE(x.tagval("E.SENSE.GRAM"));
  EXPECT_TRUE(x.movtree("E.NOTE", "E.SENSE"));
  EXPECT_TRUE(x.rentag("E.SENSE", "MEANING"));
  EXPECT_TRUE(x.deltag("E.MEANING.NOUN"));
  EXPECT_EQ(XMLprintEntry(x.getXMLEntry(), true, false),
            "<E><HW>dog</HW><MEANING><DEF>animal</DEF><NOTE>n</NOTE></MEANING></E>");
  EXPECT_EQ(consistency(x.getXMLEntry()), "");
}
