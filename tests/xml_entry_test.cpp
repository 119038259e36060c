// Entry tree nodes: ownership, removal, copying, marks and search.
#include <gtest/gtest.h>

#include <string>

#include "treeutil.h"
#include "xml/entry.h"

using treeutil::build;
using treeutil::shape;
using treeutil::Tree;

namespace {

// E holding A, B{D}, C.
Tree sample() { return treeutil::tree({"E", "", {{"A", "a"}, {"B", "b", {{"D", "deep"}}}, {"C", "c"}}}); }

TEST(XMLEntryTest, AddEntryRefusesTheChildBeyondCapacity) {
  XMLEntry e;
  EXPECT_EQ(e.count() + e.level, 0);
  EXPECT_EQ(e.parent, nullptr);
  treeutil::fill(&e, XMLEntry::kMaxChildren);
  EXPECT_EQ(e.count(), 2048);
  EXPECT_EQ(e.children[2047]->parent, &e);
  Tree extra(new XMLEntry);
  EXPECT_FALSE(e.addEntry(extra.get()));
  EXPECT_EQ(e.count(), 2048);
  EXPECT_EQ(extra->parent, nullptr);
  EXPECT_FALSE(e.addEntry(nullptr));
}

TEST(XMLEntryTest, DelEntryClearAndAssignment) {
  Tree e = sample();
  Tree a(e->children[0]);
  e->delEntry(0, 0);  // kept alive for the caller, its parent link as it was
  EXPECT_EQ(shape(e.get()), "E{B=b{D=deep},C=c}");
  EXPECT_EQ(a->parent, e.get());
  e->delEntry(1, 1);
  e->delEntry(5, 1);  // out of range: nothing happens
  e->delEntry(-1, 1);
  EXPECT_EQ(shape(e.get()), "E{B=b{D=deep}}");

  // Assignment is shallow; the caller decides who owns the children.
  e->mark = e.get();
  XMLEntry other;
  other = *e;
  EXPECT_EQ(other.children, e->children);
  EXPECT_EQ(other.name + other.path, "EE");
  EXPECT_EQ(other.mark, e.get());
  other.releaseChildren();
  EXPECT_EQ(other.count(), 0);

  e->value = "v";
  e->clear();
  e->clear();  // a leaf: nothing changes
  EXPECT_EQ(shape(e.get()) + " " + e->path, "E=v E");
}

TEST(XMLEntryTest, CopyIsDeepWithLinksIntoTheCopy) {
  Tree e = sample();
  e->children[0]->mark = e.get();
  XMLEntry holder;
  XMLEntry* copy = XMLcopyEntry(e.get(), &holder);
  ASSERT_NE(copy, nullptr);
  EXPECT_EQ(copy->parent, &holder);
  EXPECT_EQ(shape(copy), shape(e.get()));
  EXPECT_EQ(treeutil::paths(copy), "E:0 E.A:1 E.B:1 E.B.D:2 E.C:1");
  EXPECT_EQ(treeutil::consistency(copy), "");
  EXPECT_NE(copy->children[1]->children[0], e->children[1]->children[0]);
  EXPECT_EQ(copy->children[0]->mark, e.get());
  e.reset();  // the copy does not depend on the original
  EXPECT_EQ(shape(copy), "E{A=a,B=b{D=deep},C=c}");
  delete copy;
  EXPECT_EQ(XMLcopyEntry(nullptr, nullptr), nullptr);
}

TEST(XMLEntryTest, NullTagClearsEveryMark) {
  Tree e = sample();
  XMLEntry* d = e->children[1]->children[0];
  e->mark = e->children[1]->mark = d->mark = e.get();
  XMLNullTag(e.get());
  EXPECT_EQ(e->mark, nullptr);
  EXPECT_EQ(e->children[1]->mark, nullptr);
  EXPECT_EQ(d->mark, nullptr);
}

TEST(XMLEntryTest, IncFindPassesOverMarkedMatchesAndTheirSubtrees) {
  Tree e = treeutil::tree({"E", "", {{"S", "1", {{"T", "1"}}}, {"S", "2", {{"T", "2"}}}, {"S", "3", {{"T", "3"}}}}});
  XMLEntry *s1 = e->children[0], *s2 = e->children[1], *s3 = e->children[2];
  EXPECT_EQ(XMLincFind(e.get(), "E.S"), s1);
  s1->mark = e.get();
  EXPECT_EQ(XMLincFind(e.get(), "E.S"), s2);
  // A mark only counts on a node that matches.
  EXPECT_EQ(XMLincFind(e.get(), "E.S.T"), s1->children[0]);
  s1->children[0]->mark = e.get();
  EXPECT_EQ(XMLincFind(e.get(), "E.S.T"), s2->children[0]);
  // A marked match hides its subtree, even a node there with the same path.
  s2->children[0]->path = "E.S";
  s2->mark = e.get();
  EXPECT_EQ(XMLincFind(e.get(), "E.S"), s3);
  s3->mark = e.get();
  EXPECT_EQ(XMLincFind(e.get(), "E.S"), nullptr);
  EXPECT_EQ(XMLincFind(e.get(), "e.s.t"), nullptr);  // case-sensitive
  EXPECT_EQ(XMLincFind(e.get(), "E.S.T"), s3->children[0]);
  e->mark = e.get();
  EXPECT_EQ(XMLincFind(e.get(), "E"), nullptr);
  EXPECT_EQ(XMLincFind(nullptr, "E"), nullptr);
}

TEST(XMLEntryTest, VeryDeepTreesAreCopiedAndDestroyedWithoutRecursion) {
  Tree top(build({"E", ""}));
  XMLEntry* at = top.get();
  for (int i = 1; i < 200000; ++i) {
    XMLEntry* n = new XMLEntry;  // paths kept short: they would grow per level
    n->path = "E.X";
    n->level = i;
    at->addEntry(n);
    at = n;
  }
  at->mark = top.get();
  Tree copy(XMLcopyEntry(top.get(), nullptr));
  XMLEntry* found = XMLincFind(copy.get(), "E.X");
  ASSERT_NE(found, nullptr);
  EXPECT_EQ(found->level, 1);
  XMLNullTag(copy.get());
}

}  // namespace
