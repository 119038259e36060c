// The structure description's tag table queries and structure tree.

#include <gtest/gtest.h>

#include <set>
#include <sstream>

#include "base/text.h"
#include "dtd/dtd.h"
#include "testutil.h"
#include "treeutil.h"
#include "xml/reader.h"

using treeutil::tag;

namespace {

// E, E.A (min -5, key), E.B (max -1, reference), E.B.X (link).
DTD sampleTable() {
  DTD d = treeutil::table({tag("E", 1, 1), tag("E.A", -5, 3, 'K'), tag("E.B", 0, -1, 'R'),
                           tag("E.B.X", 2, 7, 'L')});
  d.tags[2].tpar = "back";
  d.tags[2].tpar2 = "other";
  return d;
}

// A tree from paths added in turn.
void addAll(DTD* d, std::initializer_list<const char*> paths) {
  for (const char* p : paths) {
    DTDTag t = tag(p, 0, 1);
    ASSERT_TRUE(d->addtag(&t)) << p;
  }
}

std::string byNumber(DTD& d, int n) {
  return d.getTag(n) + " " + d.getType(n) + " " + std::to_string(d.getMin(n)) + " " +
         std::to_string(d.getMax(n)) + " " + d.getTpar(n) + "/" + d.getTpar2(n);
}
std::string byPath(DTD& d, const std::string& p) {
  return std::to_string(d.getIndex(p)) + " " + d.getType(p) + " " + std::to_string(d.getMin(p)) +
         " " + std::to_string(d.getMax(p)) + " " + d.getTpar(p) + "/" + d.getTpar2(p);
}

TEST(DtdQueries, RecordsByNumberAndByExactPath) {
  DTD d = sampleTable();
  // Negative minimums read as 0, negative maximums as unbounded (10000).
  EXPECT_EQ(byNumber(d, 0), " 0 0 0 /");
  EXPECT_EQ(byNumber(d, 2), "E.A K 0 3 /");
  EXPECT_EQ(byNumber(d, 3), "E.B R 0 10000 back/other");
  EXPECT_EQ(byNumber(d, 5), " 0 0 0 /");
  EXPECT_EQ(d.getTpar(-1), "");
  EXPECT_EQ(byPath(d, "E.B.X"), "4 L 2 7 /");
  EXPECT_EQ(byPath(d, "E.B"), "3 R 0 10000 back/other");
  for (const char* unknown : {"E.Q", "e", "E.b", "E.B.X.Y", "A"}) {
    EXPECT_EQ(byPath(d, unknown), "0 0 0 0 /") << unknown;
    EXPECT_FALSE(d.tagExist(unknown)) << unknown;
  }
  EXPECT_TRUE(d.tagExist("E.A"));

  DTD n;
  n.setDTDName("dir.x/slovnik.def");
  EXPECT_EQ(n.dtdName + " " + n.xmlName, "dir.x/slovnik.def dir.x/slovnik.xml");
}

TEST(DtdQueries, TagCodesUseAllSevenBitsOfTheNumber) {
  DTD d = sampleTable();
  EXPECT_EQ(d.tag2Int("E.B", true), 117440512);
  EXPECT_EQ(d.tag2Int("E.B", false), 100663296);
  EXPECT_EQ(d.tag2Int("nope", true), 1 << 24);
  bool flag = false;
  EXPECT_EQ(d.int2Tag(117440512, &flag), "E.B");
  EXPECT_TRUE(flag);
  EXPECT_EQ(d.int2Tag(100663296, &flag), "E.B");
  EXPECT_FALSE(flag);

  for (int i = 0; i < 130; i++) d.tags[i] = tag("T" + std::to_string(i), 0, 0);
  d.count = 130;
  EXPECT_EQ(d.int2Tag(d.tag2Int("T126", true), &flag), "T126");  // number 127: the top bit
  EXPECT_TRUE(flag);
  // Tag number 128 has no code: it would read back as another tag.
  EXPECT_EQ(d.tag2Int("T127", false), 0);
}

TEST(DtdTree, AddtagBuildsAndRefuses) {
  DTD d;
  DTDTag e = tag("E", 1, 1), f = tag("F", 1, 1), ea = tag("E.A", 0, 4, 'L');
  DTDTag deep = tag("E.B.C", 0, 1), other = tag("X.A", 0, 1);
  e.tpar = "root parameter";
  ea.tpar = "not copied";
  EXPECT_TRUE(d.addtag(&e));
  EXPECT_FALSE(d.addtag(&f));  // a second upmost tag
  EXPECT_TRUE(d.addtag(&ea));
  EXPECT_FALSE(d.addtag(&ea));     // the same path twice
  EXPECT_FALSE(d.addtag(&deep));   // E.B has no node
  EXPECT_FALSE(d.addtag(&other));  // another upmost name
  EXPECT_EQ(d.root->tpar, "root parameter");
  ASSERT_EQ(d.root->count(), 1);
  DTDEntry* a = d.root->children[0];
  EXPECT_EQ(a->path + " " + std::to_string(a->level) + " " + std::to_string(a->max) + " " + a->type +
                a->tpar,
            "E.A 1 4 L");
  EXPECT_EQ(d.ngarb(), 2);

  // The 513th child is refused.
  for (int i = 1; i < DTDEntry::kMaxChildren; i++) {
    DTDTag c = tag("E.C" + std::to_string(i), 0, 1);
    ASSERT_TRUE(d.addtag(&c));
  }
  DTDTag last = tag("E.LAST", 0, 1);
  EXPECT_FALSE(d.addtag(&last));
  EXPECT_EQ(d.root->count(), DTDEntry::kMaxChildren);
}

TEST(DtdTree, GettreeFollowsNamesAndSetsTheParent) {
  DTD d;
  addAll(&d, {"E", "E.A", "E.A.B"});
  DTDEntry* b = d.gettree("E.A.B");
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(b->path, "E.A.B");
  EXPECT_EQ(b->parent, d.root->children[0]);
  EXPECT_EQ(d.gettree(" E . A "), d.root->children[0]);  // parts are trimmed
  EXPECT_EQ(d.gettree("E"), d.root);
  // One part: the name must match too, and is compared untrimmed.
  for (const char* none : {"E.X", "F.A", "F", " E", ""}) EXPECT_EQ(d.gettree(none), nullptr) << none;
}

// A split holds at most 4095 names; a longer path cut short would name a
// shallower node.
TEST(DtdTree, APathTooLongToSplitWholeIsNeitherAddedNorFound) {
  DTD d;
  const int most = strings::kCapacity - 1;
  for (int names = 1; names < most; names++) {
    DTDTag t = tag(treeutil::chainPath(names), 0, 1);
    ASSERT_TRUE(d.addtag(&t)) << names;
  }
  DTDTag tooLong = tag(treeutil::chainPath(5000), 0, 1);
  EXPECT_FALSE(d.addtag(&tooLong));
  EXPECT_EQ(d.ngarb(), most - 1);

  DTDTag longest = tag(treeutil::chainPath(most), 0, 1);
  ASSERT_TRUE(d.addtag(&longest));
  DTDEntry* deepest = d.gettree(longest.path);
  ASSERT_NE(deepest, nullptr);
  EXPECT_EQ(deepest->path, longest.path);
  EXPECT_EQ(d.gettree(tooLong.path), nullptr);
  EXPECT_EQ(d.gettree(treeutil::chainPath(most + 1)), nullptr);
}

TEST(DtdTree, Ent2strListsTheTreeInPreOrderWithinTheTable) {
  DTD d;
  addAll(&d, {"E", "E.A", "E.B", "E.A.X"});
  d.root->children[1]->required = false;
  d.root->children[0]->occurs = 3;
  d.ent2str();
  std::string table;
  for (int i = 0; i < d.count; i++)
    table += d.tags[i].path + " " + std::to_string(d.tags[i].min) + " " + std::to_string(d.tags[i].max) + "|";
  EXPECT_EQ(table, "E 1 1|E.A 1 3|E.A.X 1 1|E.B 0 -1|");

  DTD unnamed;
  unnamed.count = 9;
  unnamed.ent2str();
  EXPECT_EQ(unnamed.count, 0);

  DTD big;
  big.dtdName = "big.def";
  addAll(&big, {"E"});
  for (int i = 0; i < 300; i++) {
    DTDTag c = tag("E.C" + std::to_string(i), 0, 1);
    ASSERT_TRUE(big.addtag(&c));
  }
  testutil::CaptureFd err(2);
  big.ent2str();
  EXPECT_EQ(err.text(), "Error: The structure of big.def has 301 paths; only the first 256 are kept.\n");
  EXPECT_EQ(big.count, 256);
  EXPECT_EQ(big.tags[255].path, "E.C254");
}

// After a merge, the clean-up keeps exactly what the merged root reaches.
TEST(DtdTree, GarbClearLeavesExactlyTheReachableNodes) {
  DTD d;
  XML x;
  ASSERT_TRUE(x.getEntry(std::string("<e><a><p>1</p></a><b>2</b></e>")));
  d.update(&x);
  ASSERT_TRUE(x.getEntry(std::string("<e><b>3</b><c><q>4</q></c></e>")));
  DTDEntry* before = d.root;
  DTDEntry* merged = x.addDTD(before, x.getEntDTD(&d), &d);
  std::set<DTDEntry*> keep;
  std::vector<DTDEntry*> stack{merged};
  while (!stack.empty()) {
    DTDEntry* e = stack.back();
    stack.pop_back();
    keep.insert(e);
    stack.insert(stack.end(), e->children.begin(), e->children.end());
  }
  EXPECT_GT(d.ngarb(), static_cast<int>(keep.size()));
  EXPECT_TRUE(d.garb_used(merged, merged->children[0]));
  EXPECT_FALSE(d.garb_used(merged, before));
  d.garb_clear(merged);
  EXPECT_EQ(std::set<DTDEntry*>(d.garb->nodes.begin(), d.garb->nodes.end()), keep);
  EXPECT_EQ(d.ngarb(), 6);  // e, a, a.p, b, c, c.q
  for (DTDEntry* n : d.garb->nodes) EXPECT_FALSE(n->reached);
}

TEST(DtdTree, GarbAddAfterAClearGivesAFreshNode) {
  DTD d;
  DTDTag e = tag("E", 1, 1), a = tag("E.A", 2, 3, 'L');
  d.addtag(&e);
  d.addtag(&a);
  DTDEntry* old = d.root->children[0];
  old->required = false;
  old->occurs = 4;
  old->tpar = "x";
  old->parent = d.root;
  d.root->delEntry(0);
  d.garb_clear(d.root);
  EXPECT_EQ(d.ngarb(), 1);
  DTDEntry* n = d.garb_add();
  EXPECT_EQ(d.ngarb(), 2);
  EXPECT_EQ(n->name + n->path + n->tpar + std::to_string(n->count()) + n->type, "0N");
  EXPECT_EQ(std::to_string(n->min) + " " + std::to_string(n->max) + " " + std::to_string(n->required) + " " +
                std::to_string(n->occurs),
            "0 -1 1 1");
  EXPECT_EQ(n->parent, nullptr);
}

TEST(DtdTree, CopiesShareTheNodesAndPrinting) {
  DTD d;
  addAll(&d, {"E", "E.A", "E.A.B"});
  d.root->children[0]->children[0]->min = 2;
  d.root->children[0]->children[0]->max = 5;
  {
    DTD copy;
    copy = d;
    EXPECT_EQ(copy.root, d.root);
    EXPECT_EQ(copy.ngarb(), 3);
  }
  EXPECT_EQ(d.root->children[0]->path, "E.A");  // still alive
  const std::string want = "0 E 0 1\n  1 A 0 1\n    2 B 2 5\n";
  EXPECT_EQ(d.getString(), want);
  EXPECT_EQ(d.printEntry(d.root->children[0]), "  1 A 0 1\n    2 B 2 5\n");
  std::ostringstream os;
  os << d;
  EXPECT_EQ(os.str(), want);
  EXPECT_EQ(d.root->name, "E");  // the stream's copy left the tree alone
}

}  // namespace
