// Path-driven rewriting of the reader's current entry, element insertion
// and the structural comparisons.
#include "xml/rewrite.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "dtd/dtd.h"
#include "xml/entry.h"
#include "xml/query.h"
#include "xml/reader.h"
#include "xml/writer.h"

namespace {

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

// Every node's path and level listed in pre-order: "E:0 E.A:1 ...".
std::string paths(const XMLEntry* e) {
  std::string s = e->path + ":" + std::to_string(e->level);
  for (const XMLEntry* c : e->children) s += " " + paths(c);
  return s;
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

// A reader whose current entry is the given tree.
struct Doc {
  XML x;
  explicit Doc(const T& t) {
    delete x.getXMLEntry();
    x.setXMLEntry(build(t));
  }
  XMLEntry* root() { return x.getXMLEntry(); }
  std::string shape() { return ::shape(root()); }
  std::string consistency() { return ::consistency(root()); }
};

void fill(XMLEntry* e, int n) {
  for (int i = 0; i < n; ++i) build({"F", ""}, e);
}

DTD table(const std::vector<std::pair<std::string, int>>& pathMax) {
  DTD d;
  d.count = static_cast<int>(pathMax.size());
  for (size_t i = 0; i < pathMax.size(); ++i) {
    d.tags[i].path = pathMax[i].first;
    d.tags[i].name = pathMax[i].first.substr(pathMax[i].first.rfind('.') + 1);
    d.tags[i].max = pathMax[i].second;
  }
  return d;
}

}  // namespace

// --- paths and levels ------------------------------------------------------

TEST(RewritePaths, RentreeAndShiftlevel) {
  Doc d({"E", "", {{"A", "", {{"B", "", {{"C", ""}}}}}}});
  XMLEntry* b = d.root()->children[0]->children[0];
  b->name = "Q";
  b->level = 5;
  d.x.rentree(b, "X.Y");
  EXPECT_EQ(paths(b), "X.Y.Q:5 X.Y.Q.C:6");
  d.x.rentree(b, "");
  EXPECT_EQ(paths(b), "Q:5 Q.C:6");
  d.x.shiftlevel(b, -3);
  EXPECT_EQ(paths(b), "Q:2 Q.C:3");
}

TEST(RewriteNames, RentagRenamesAndRepathsTheSubtrees) {
  Doc d({"E", "", {{"SENSE", "", {{"DEF", "a"}}}, {"X", ""}, {"SENSE", "", {{"DEF", "b"}}}}});
  EXPECT_TRUE(d.x.rentag("E.SENSE", "MEANING"));
  EXPECT_EQ(d.shape(), "E{MEANING{DEF=a},X,MEANING{DEF=b}}");
  EXPECT_EQ(paths(d.root()), "E:0 E.MEANING:1 E.MEANING.DEF:2 E.X:1 E.MEANING:1 E.MEANING.DEF:2");
  EXPECT_TRUE(d.x.rentag("E", "ROOT"));
  EXPECT_EQ(d.root()->children[0]->children[0]->path, "ROOT.MEANING.DEF");
  EXPECT_TRUE(d.x.rentag("ROOT.NONE", "Z"));
  EXPECT_EQ(d.consistency(), "");
}

TEST(RewriteNames, RentagRefusesNamesThatBreakPathsOrMarkup) {
  Doc d({"E", "", {{"A", ""}}});
  for (const char* bad : {"", "A.B", "A B", "<A>", "A/", "A&B", "A\tB"}) {
    EXPECT_FALSE(d.x.rentag("E.A", bad)) << bad;
  }
  EXPECT_EQ(paths(d.root()), "E:0 E.A:1");
}

TEST(RewriteValues, ChgvalSetsEveryValueAndKeepsChildren) {
  Doc d({"E", "", {{"A", "1", {{"B", "b"}}}, {"A", "2"}}});
  EXPECT_TRUE(d.x.chgval("E.A", "v"));
  EXPECT_EQ(d.shape(), "E{A=v{B=b},A=v}");
  EXPECT_TRUE(d.x.chgval("E.Q", "v"));
  EXPECT_EQ(d.shape(), "E{A=v{B=b},A=v}");
}

TEST(RewriteValues, TagvalTurnsValuesIntoNames) {
  Doc d({"E", "", {{"SENSE", "", {{"GRAM", "noun phrase", {{"X", ""}}}, {"GRAM", ""}}}}});
  EXPECT_TRUE(d.x.tagval("E.SENSE.GRAM"));
  EXPECT_EQ(d.shape(), "E{SENSE{NOUN_PHRASE{X},GRAM}}");
  EXPECT_EQ(paths(d.root()),
            "E:0 E.SENSE:1 E.SENSE.NOUN_PHRASE:2 E.SENSE.NOUN_PHRASE.X:3 E.SENSE.GRAM:2");
}

TEST(RewriteValues, TagvalUpperCasesCzechLettersAndRefusesUnusableNames) {
  Doc d({"E", "", {{"G", "\xF8\xEDzen\xED"}, {"G", "adj."}, {"G", "a<b"}}});
  EXPECT_FALSE(d.x.tagval("E.G"));
  EXPECT_EQ(d.shape(), "E{\xD8\xCDZEN\xCD,G=adj.,G=a<b}");
  EXPECT_EQ(d.consistency(), "");
}

// --- deleting ----------------------------------------------------------------

TEST(RewriteDelete, DeltreeRemovesEveryMatchWithItsContent) {
  Doc d({"E", "", {{"A", "", {{"B", ""}}}, {"A", ""}, {"X", "", {{"A", ""}}}, {"A", ""}}});
  EXPECT_TRUE(d.x.deltree("E"));
  EXPECT_EQ(d.shape(), "E{A{B},A,X{A},A}");
  EXPECT_TRUE(d.x.deltree("E.A"));
  EXPECT_EQ(d.shape(), "E{X{A}}");
  EXPECT_TRUE(d.x.deltree("E.X.A"));
  EXPECT_EQ(d.shape(), "E{X}");
}

TEST(RewriteDelete, DeltagMovesGrandchildrenToTheEndInOrder) {
  Doc d({"E", "", {{"A", "gone", {{"B", "b", {{"D", ""}}}, {"C", "c"}}}, {"X", ""}}});
  EXPECT_TRUE(d.x.deltag("E.A"));
  EXPECT_EQ(d.shape(), "E{X,B=b{D},C=c}");
  EXPECT_EQ(paths(d.root()), "E:0 E.X:1 E.B:1 E.B.D:2 E.C:1");
  EXPECT_EQ(d.consistency(), "");
}

TEST(RewriteDelete, DeltagOfTheUpmostElementIsRefused) {
  Doc d({"E", "", {{"A", ""}}});
  EXPECT_FALSE(d.x.deltag("E"));
  EXPECT_TRUE(d.x.deltag("OTHER"));
  EXPECT_EQ(d.shape(), "E{A}");
}

TEST(RewriteDelete, DeltagLeavesAnElementWhoseChildrenWouldNotFit) {
  Doc d({"E", "", {{"A", "", {{"B", ""}, {"C", ""}}}, {"A", "", {{"K", ""}}}}});
  fill(d.root(), XMLEntry::kMaxChildren - 2);
  // The first A frees one slot but needs two; the second then fits.
  EXPECT_FALSE(d.x.deltag("E.A"));
  XMLEntry* root = d.root();
  ASSERT_EQ(root->count(), XMLEntry::kMaxChildren);
  EXPECT_EQ(shape(root->children[0]), "A{B,C}");
  EXPECT_EQ(shape(root->children.back()), "K");
  EXPECT_EQ(d.consistency(), "");
}

// --- grouping ----------------------------------------------------------------

TEST(RewriteGroup, GrptreeGroupsPerParent) {
  Doc d({"E", "", {{"P", "", {{"S", "1", {{"A", "a"}}}, {"X", ""}, {"S", "2", {{"B", "b"}, {"C", "c"}}}}},
                   {"P", "", {{"S", "3"}, {"S", "4", {{"D", "d"}}}}}}});
  EXPECT_TRUE(d.x.grptree("E.P.S"));
  EXPECT_EQ(d.shape(), "E{P{S=1{A=a,B=b,C=c},X},P{S=3{D=d}}}");
  EXPECT_EQ(d.consistency(), "");
  EXPECT_TRUE(d.x.grptree("E"));
  EXPECT_EQ(d.shape(), "E{P{S=1{A=a,B=b,C=c},X},P{S=3{D=d}}}");
}

TEST(RewriteGroup, GrptreeLeavesAnElementWhoseChildrenWouldNotFit) {
  Doc d({"E", "", {{"S", "1"}, {"S", "2", {{"A", ""}, {"B", ""}}}, {"S", "3", {{"C", ""}}}}});
  XMLEntry* first = d.root()->children[0];
  fill(first, XMLEntry::kMaxChildren - 1);
  EXPECT_FALSE(d.x.grptree("E.S"));
  ASSERT_EQ(d.root()->count(), 2);
  EXPECT_EQ(shape(d.root()->children[1]), "S=2{A,B}");
  EXPECT_EQ(first->count(), XMLEntry::kMaxChildren);
  EXPECT_EQ(shape(first->children.back()), "C");
}

// --- moving ------------------------------------------------------------------

TEST(RewriteMove, MovtreeMovesUnderTheDestination) {
  Doc d({"E", "", {{"A", "", {{"B", "1", {{"D", ""}}}, {"K", ""}}}, {"C", "c"}, {"A", "", {{"B", "2"}}}}});
  EXPECT_TRUE(d.x.movtree("E.A.B", "E.C"));
  EXPECT_EQ(d.shape(), "E{A{K},C=c{B=1{D},B=2},A}");
  EXPECT_EQ(paths(d.root()->children[1]), "E.C:1 E.C.B:2 E.C.B.D:3 E.C.B:2");
  EXPECT_EQ(d.consistency(), "");
}

TEST(RewriteMove, MovtreeRefusalsAndNoTargets) {
  Doc d({"E", "", {{"A", "", {{"X", ""}}}, {"AB", ""}}});
  EXPECT_FALSE(d.x.movtree("E.A", "E.A.X"));
  EXPECT_FALSE(d.x.movtree("E.A", "E.A"));
  EXPECT_TRUE(d.x.movtree("E.A", "E.NONE"));
  EXPECT_EQ(d.shape(), "E{A{X},AB}");
  // A destination that merely shares the leading bytes is not inside.
  EXPECT_TRUE(d.x.movtree("E.A", "E.AB"));
  EXPECT_EQ(d.shape(), "E{AB{A{X}}}");
  EXPECT_EQ(d.consistency(), "");
}

TEST(RewriteMove, MovtreeWithoutDestinationDeletes) {
  Doc d({"E", "", {{"A", "", {{"X", ""}}}, {"B", ""}, {"A", ""}}});
  EXPECT_TRUE(d.x.movtree("E.A", ""));
  EXPECT_EQ(d.shape(), "E{B}");
  EXPECT_TRUE(d.x.movtree("E", ""));
  EXPECT_EQ(d.shape(), "E{B}");
}

TEST(RewriteMove, SeveralTargetsGetDeepCopies) {
  Doc d({"E", "", {{"T", "1"}, {"S", "", {{"M", "m", {{"N", "n"}}}}}, {"T", "2"}}});
  EXPECT_TRUE(d.x.movtree("E.S.M", "E.T"));
  EXPECT_EQ(d.shape(), "E{T=1{M=m{N=n}},S,T=2{M=m{N=n}}}");
  XMLEntry* m1 = d.root()->children[0]->children[0];
  XMLEntry* m2 = d.root()->children[2]->children[0];
  EXPECT_NE(m1, m2);
  EXPECT_NE(m1->children[0], m2->children[0]);
  EXPECT_EQ(d.consistency(), "");
  // Each copy is owned once: deleting one leaves the other intact.
  EXPECT_TRUE(d.x.deltree("E.T.M"));
  EXPECT_EQ(d.shape(), "E{T=1,S,T=2}");
}

TEST(RewriteMove, MovingIntoTheOwnParentPathTerminates) {
  Doc d({"E", "", {{"A", "", {{"B", "1"}, {"K", ""}, {"B", "2"}}}}});
  EXPECT_TRUE(d.x.movtree("E.A.B", "E.A"));
  EXPECT_EQ(d.shape(), "E{A{K,B=1,B=2}}");
  EXPECT_EQ(d.consistency(), "");
}

TEST(RewriteMove, FullTargetsAreSkippedAndUnplacedElementsStay) {
  Doc d({"E", "", {{"T", ""}, {"A", "", {{"B", "b"}}}, {"T", ""}}});
  fill(d.root()->children[0], XMLEntry::kMaxChildren);
  EXPECT_FALSE(d.x.movtree("E.A.B", "E.T"));  // reported, but B found room
  EXPECT_EQ(shape(d.root()->children[1]), "A");
  EXPECT_EQ(shape(d.root()->children[2]), "T{B=b}");
  EXPECT_EQ(d.consistency(), "");

  Doc full({"E", "", {{"T", ""}, {"A", "", {{"K", ""}, {"B", "b", {{"C", ""}}}, {"L", ""}}}}});
  fill(full.root()->children[0], XMLEntry::kMaxChildren);
  EXPECT_FALSE(full.x.movtree("E.A.B", "E.T"));
  EXPECT_EQ(shape(full.root()->children[1]), "A{K,B=b{C},L}");
  EXPECT_EQ(full.consistency(), "");
}

// --- adding ------------------------------------------------------------------

TEST(RewriteAdd, AddtagAppendsToEveryParent) {
  Doc d({"E", "", {{"SENSE", "1", {{"NOTE", "old"}}}, {"SENSE", "2"}}});
  EXPECT_TRUE(d.x.addtag("E.SENSE.NOTE", "x<y>"));
  EXPECT_EQ(d.shape(), "E{SENSE=1{NOTE=old,NOTE=x<y>},SENSE=2{NOTE=x<y>}}");
  EXPECT_EQ(d.consistency(), "");
  EXPECT_TRUE(d.x.addtag("E.NONE.NOTE", "x"));
  EXPECT_EQ(d.shape(), "E{SENSE=1{NOTE=old,NOTE=x<y>},SENSE=2{NOTE=x<y>}}");
}

TEST(RewriteAdd, AddtagOfASingleNameReplacesTheEntry) {
  Doc d({"E", "", {{"A", "a"}}});
  EXPECT_TRUE(d.x.addtag("NEW", "v"));
  EXPECT_EQ(d.shape(), "NEW=v");
  EXPECT_EQ(paths(d.root()), "NEW:0");
  EXPECT_EQ(d.root()->parent, nullptr);
}

TEST(RewriteAdd, XMLaddTagOnAFullParentDropsTheNewElement) {
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

TEST(RewriteAddDTD, AddsUnderTheFirstParentWithinTheMaximum) {
  DTD dtd = table({{"E", 1}, {"E.S", -1}, {"E.S.STAMP", 1}});
  Tree e = tree({"E", "", {{"S", "1"}, {"S", "2"}}});
  XMLEntry* p = e.get();
  EXPECT_TRUE(XMLaddTagDTD(&p, "E.S.STAMP", "me today", &dtd));
  EXPECT_EQ(shape(e.get()), "E{S=1{STAMP=me today},S=2}");
  EXPECT_EQ(consistency(e.get()), "");
  // The first S holds the one STAMP allowed: refused, nothing changes.
  EXPECT_FALSE(XMLaddTagDTD(&p, "E.S.STAMP", "again", &dtd));
  EXPECT_EQ(shape(e.get()), "E{S=1{STAMP=me today},S=2}");
  EXPECT_EQ(p, e.get());
}

TEST(RewriteAddDTD, CreatesMissingAncestorsTheDescriptionKnows) {
  DTD dtd = table({{"E", 1}, {"E.H", 1}, {"E.H.I", 1}, {"E.H.I.STAMP", 1}, {"E.Q.STAMP", 1}});
  Tree e = tree({"E", "", {{"A", "a"}}});
  XMLEntry* p = e.get();
  EXPECT_TRUE(XMLaddTagDTD(&p, "E.H.I.STAMP", "s", &dtd));
  EXPECT_EQ(shape(e.get()), "E{A=a,H{I{STAMP=s}}}");
  EXPECT_EQ(paths(e.get()), "E:0 E.A:1 E.H:1 E.H.I:2 E.H.I.STAMP:3");
  EXPECT_EQ(consistency(e.get()), "");
  // E.Q is unknown to the description: refused without a trace.
  EXPECT_FALSE(XMLaddTagDTD(&p, "E.Q.STAMP", "s", &dtd));
  EXPECT_EQ(shape(e.get()), "E{A=a,H{I{STAMP=s}}}");
}

TEST(RewriteAddDTD, Refusals) {
  DTD dtd = table({{"E", 1}, {"E.A", 2}, {"E.Z", 0}, {"E.Z.B", 1}, {"F", 1}, {"F.A", 1}});
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

  Tree full = tree({"E", ""});
  fill(full.get(), XMLEntry::kMaxChildren);
  DTD open = table({{"E", 1}, {"E.N", -1}});
  XMLEntry* q = full.get();
  EXPECT_FALSE(XMLaddTagDTD(&q, "E.N", "v", &open));
  EXPECT_EQ(full->count(), XMLEntry::kMaxChildren);
}

// --- comparisons -------------------------------------------------------------

TEST(RewriteCompare, EqtreesComparesByPositionUnlikeXMLequal) {
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
}

TEST(RewriteCompare, SubtreeAllowsSharedPartnersUnlikeXMLsubtree) {
  Tree one = tree({"E", "", {{"A", "1"}}});
  Tree many = tree({"E", "", {{"X", ""}, {"A", "1", {{"C", ""}}}, {"Y", ""}}});
  EXPECT_TRUE(subtree(one.get(), many.get(), 3));
  EXPECT_FALSE(subtree(many.get(), one.get(), 3));

  Tree twice = tree({"E", "", {{"A", "1"}, {"A", "1"}}});
  Tree shared = tree({"E", "", {{"A", "1"}, {"Z", ""}}});
  EXPECT_TRUE(subtree(twice.get(), shared.get(), 3));
  EXPECT_FALSE(XMLsubtree(twice.get(), shared.get(), 3, 1));

  Tree other = tree({"E", "", {{"A", "2"}, {"A", "3"}}});
  EXPECT_FALSE(subtree(twice.get(), other.get(), 3));
}

// --- a parsed entry, rewritten and written back -------------------------------

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
