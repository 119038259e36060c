// Entry tree nodes: ownership, removal, copying, marks and search.
#include <gtest/gtest.h>

#include <string>

#include "xml/entry.h"

namespace {

XMLEntry* node(const std::string& name, const std::string& path, int level,
               const std::string& value = "") {
  XMLEntry* e = new XMLEntry;
  e->name = name;
  e->path = path;
  e->level = level;
  e->value = value;
  return e;
}

// E holding A, B, C.
XMLEntry* threeChildren() {
  XMLEntry* e = node("E", "E", 0);
  e->addEntry(node("A", "E.A", 1, "a"));
  e->addEntry(node("B", "E.B", 1, "b"));
  e->addEntry(node("C", "E.C", 1, "c"));
  return e;
}

std::string names(const XMLEntry* e) {
  std::string out;
  for (const XMLEntry* c : e->children) out += c->name;
  return out;
}

TEST(XMLEntryTest, ConstructionIsEmpty) {
  XMLEntry e;
  EXPECT_EQ("", e.name);
  EXPECT_EQ("", e.path);
  EXPECT_EQ("", e.value);
  EXPECT_EQ(nullptr, e.parent);
  EXPECT_EQ(0, e.count());
  EXPECT_EQ(nullptr, e.mark);
}

TEST(XMLEntryTest, AddEntrySetsParentAndRefusesTheChildBeyondCapacity) {
  XMLEntry e;
  for (int i = 0; i < XMLEntry::kMaxChildren; ++i) ASSERT_TRUE(e.addEntry(new XMLEntry));
  EXPECT_EQ(2048, e.count());
  EXPECT_EQ(&e, e.children[2047]->parent);
  XMLEntry* extra = new XMLEntry;
  EXPECT_FALSE(e.addEntry(extra));
  EXPECT_EQ(2048, e.count());
  EXPECT_EQ(nullptr, extra->parent);
  delete extra;
  EXPECT_FALSE(e.addEntry(nullptr));
}

TEST(XMLEntryTest, DelEntryWithoutDeleteKeepsTheChildAlive) {
  XMLEntry* e = threeChildren();
  XMLEntry* a = e->children[0];
  e->delEntry(0, 0);
  EXPECT_EQ("BC", names(e));
  EXPECT_EQ(2, e->count());
  EXPECT_EQ("a", a->value);
  EXPECT_EQ(e, a->parent);  // left as it was
  delete a;
  delete e;
}

TEST(XMLEntryTest, DelEntryWithDeleteDestroysTheChild) {
  XMLEntry* e = threeChildren();
  e->children[2]->addEntry(node("D", "E.C.D", 2));
  e->delEntry(2, 1);
  EXPECT_EQ("AB", names(e));
  e->delEntry(1, 1);
  EXPECT_EQ("A", names(e));
  e->delEntry(5, 1);  // out of range: nothing happens
  e->delEntry(-1, 1);
  EXPECT_EQ("A", names(e));
  delete e;
}

TEST(XMLEntryTest, ClearDropsDescendantsAndKeepsOwnFields) {
  XMLEntry* e = threeChildren();
  e->value = "v";
  e->children[1]->addEntry(node("D", "E.B.D", 2));
  e->clear();
  EXPECT_EQ(0, e->count());
  EXPECT_EQ("E", e->name);
  EXPECT_EQ("E", e->path);
  EXPECT_EQ("v", e->value);
  e->clear();  // a leaf: nothing changes
  EXPECT_EQ(0, e->count());
  EXPECT_EQ("v", e->value);
  delete e;
}

TEST(XMLEntryTest, AssignmentIsShallow) {
  XMLEntry* e = threeChildren();
  e->delEntry(2, 1);
  e->mark = e;
  XMLEntry other;
  other = *e;
  EXPECT_EQ(2, other.count());
  EXPECT_EQ(e->children[0], other.children[0]);
  EXPECT_EQ(e->children[1], other.children[1]);
  EXPECT_EQ("E", other.name);
  EXPECT_EQ(e, other.mark);
  other.releaseChildren();  // e keeps ownership
  EXPECT_EQ(0, other.count());
  EXPECT_EQ(2, e->count());
  delete e;
}

TEST(XMLEntryTest, CopyIsDeepWithLinksIntoTheCopy) {
  XMLEntry* e = threeChildren();
  e->children[1]->addEntry(node("D", "E.B.D", 2, "deep"));
  e->children[0]->mark = e;
  XMLEntry holder;
  XMLEntry* copy = XMLcopyEntry(e, &holder);
  ASSERT_NE(nullptr, copy);
  EXPECT_EQ(&holder, copy->parent);
  EXPECT_EQ("ABC", names(copy));
  ASSERT_EQ(1, copy->children[1]->count());
  const XMLEntry* d = copy->children[1]->children[0];
  EXPECT_NE(e->children[1]->children[0], d);
  EXPECT_EQ("E.B.D", d->path);
  EXPECT_EQ("deep", d->value);
  EXPECT_EQ(2, d->level);
  EXPECT_EQ(copy->children[1], d->parent);
  EXPECT_EQ(copy, copy->children[0]->parent);
  EXPECT_EQ(e, copy->children[0]->mark);
  delete e;  // the copy does not depend on the original
  EXPECT_EQ("deep", d->value);
  delete copy;
  EXPECT_EQ(nullptr, XMLcopyEntry(nullptr, nullptr));
}

TEST(XMLEntryTest, NullTagClearsEveryMark) {
  XMLEntry* e = threeChildren();
  e->mark = e;
  e->children[2]->mark = e;
  e->children[2]->addEntry(node("D", "E.C.D", 2));
  e->children[2]->children[0]->mark = e;
  XMLNullTag(e);
  EXPECT_EQ(nullptr, e->mark);
  EXPECT_EQ(nullptr, e->children[2]->mark);
  EXPECT_EQ(nullptr, e->children[2]->children[0]->mark);
  delete e;
}

TEST(XMLEntryTest, IncFindPassesOverMarkedMatchesAndTheirSubtrees) {
  // E holding three S, each holding a T.
  XMLEntry* e = node("E", "E", 0);
  for (const char* v : {"1", "2", "3"}) {
    XMLEntry* s = node("S", "E.S", 1, v);
    s->addEntry(node("T", "E.S.T", 2, v));
    e->addEntry(s);
  }
  XMLEntry* s1 = e->children[0];
  XMLEntry* s2 = e->children[1];
  XMLEntry* s3 = e->children[2];
  EXPECT_EQ(s1, XMLincFind(e, "E.S"));
  s1->mark = e;
  EXPECT_EQ(s2, XMLincFind(e, "E.S"));
  // A mark only counts on a node that matches.
  EXPECT_EQ(s1->children[0], XMLincFind(e, "E.S.T"));
  s1->children[0]->mark = e;
  EXPECT_EQ(s2->children[0], XMLincFind(e, "E.S.T"));
  // A marked match hides its subtree, even a node there with the same path.
  s2->children[0]->path = "E.S";
  s2->mark = e;
  EXPECT_EQ(s3, XMLincFind(e, "E.S"));
  s3->mark = e;
  EXPECT_EQ(nullptr, XMLincFind(e, "E.S"));
  EXPECT_EQ(nullptr, XMLincFind(e, "e.s.t"));  // case-sensitive
  EXPECT_EQ(s3->children[0], XMLincFind(e, "E.S.T"));
  e->mark = e;
  EXPECT_EQ(nullptr, XMLincFind(e, "E"));
  EXPECT_EQ(nullptr, XMLincFind(nullptr, "E"));
  delete e;
}

TEST(XMLEntryTest, VeryDeepTreesAreCopiedAndDestroyedWithoutRecursion) {
  XMLEntry* top = node("E", "E", 0);
  XMLEntry* at = top;
  for (int i = 1; i < 200000; ++i) {
    XMLEntry* n = node("X", "E.X", i);
    at->addEntry(n);
    at = n;
  }
  at->mark = top;
  XMLEntry* copy = XMLcopyEntry(top, nullptr);
  XMLEntry* found = XMLincFind(copy, "E.X");
  ASSERT_NE(nullptr, found);
  EXPECT_EQ(1, found->level);
  XMLNullTag(copy);
  delete top;
  delete copy;
}

}  // namespace
