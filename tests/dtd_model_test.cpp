// The structure description's tag table queries and structure tree.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <set>
#include <sstream>

#include "dtd/dtd.h"
#include "testutil.h"
#include "xml/reader.h"

namespace {

DTDTag tag(const std::string& path, int level, int min, int max, char type) {
  DTDTag t;
  t.path = path;
  t.name = path.substr(path.rfind('.') == std::string::npos ? 0 : path.rfind('.') + 1);
  t.level = level;
  t.min = min;
  t.max = max;
  t.type = type;
  return t;
}

// e, e.a (min -5), e.b (max -1), e.b.x
void fillTable(DTD* d) {
  d->tags[0] = tag("E", 0, 1, 1, 'N');
  d->tags[1] = tag("E.A", 1, -5, 3, 'K');
  d->tags[2] = tag("E.B", 1, 0, -1, 'R');
  d->tags[2].tpar = "back";
  d->tags[2].tpar2 = "other";
  d->tags[3] = tag("E.B.X", 2, 2, 7, 'L');
  d->count = 4;
}

std::set<DTDEntry*> reachable(DTDEntry* root) {
  std::set<DTDEntry*> seen;
  std::vector<DTDEntry*> stack{root};
  while (!stack.empty()) {
    DTDEntry* e = stack.back();
    stack.pop_back();
    seen.insert(e);
    for (DTDEntry* c : e->children) stack.push_back(c);
  }
  return seen;
}

TEST(DtdQueries, IndexIsExactAndCaseSensitive) {
  DTD d;
  fillTable(&d);
  EXPECT_EQ(d.getIndex("E"), 1);
  EXPECT_EQ(d.getIndex("E.B.X"), 4);
  EXPECT_EQ(d.getIndex("e"), 0);
  EXPECT_EQ(d.getIndex("E.b"), 0);
  EXPECT_EQ(d.getIndex("E.B.X.Y"), 0);
  EXPECT_TRUE(d.tagExist("E.A"));
  EXPECT_FALSE(d.tagExist("A"));
}

TEST(DtdQueries, RecordValuesNegativeCountsAndUnknownNumbers) {
  DTD d;
  fillTable(&d);
  EXPECT_EQ(d.getTag(0), "");
  EXPECT_EQ(d.getTag(5), "");
  EXPECT_EQ(d.getType(0), '0');
  EXPECT_EQ(d.getType(5), '0');
  EXPECT_EQ(d.getMin(0), 0);
  EXPECT_EQ(d.getMax(0), 0);
  EXPECT_EQ(d.getTpar(-1), "");
  EXPECT_EQ(d.getMin(2), 0);  // -5 reads as 0
  EXPECT_EQ(d.getMax(2), 3);
  EXPECT_EQ(d.getMax(3), 10000);  // -1 reads as unbounded
  EXPECT_EQ(d.getMin(4), 2);
  EXPECT_EQ(d.getType(2), 'K');
  EXPECT_EQ(d.getTpar(3), "back");
  EXPECT_EQ(d.getTpar2(3), "other");
  EXPECT_EQ(d.getType("E.B.X"), 'L');
  EXPECT_EQ(d.getMax("E.B"), 10000);
  EXPECT_EQ(d.getMin("E.B.X"), 2);
  EXPECT_EQ(d.getTpar("E.B"), "back");
  EXPECT_EQ(d.getTpar2("E.B"), "other");
  EXPECT_EQ(d.getType("E.Q"), '0');
  EXPECT_EQ(d.getTpar("E.Q"), "");
  EXPECT_EQ(d.getTpar2("E.Q"), "");
  EXPECT_EQ(d.getMin("E.Q"), 0);
  EXPECT_EQ(d.getMax("E.Q"), 0);
}

TEST(DtdQueries, TagCodes) {
  DTD d;
  fillTable(&d);
  EXPECT_EQ(d.tag2Int("E.B", true), 117440512);
  EXPECT_EQ(d.tag2Int("E.B", false), 100663296);
  EXPECT_EQ(d.tag2Int("nope", true), 1 << 24);
  bool flag = false;
  EXPECT_EQ(d.int2Tag(117440512, &flag), "E.B");
  EXPECT_TRUE(flag);
  EXPECT_EQ(d.int2Tag(100663296, &flag), "E.B");
  EXPECT_FALSE(flag);
}

TEST(DtdQueries, TagCodesUseAllSevenBitsOfTheNumber) {
  DTD d;
  for (int i = 0; i < 130; i++) d.tags[i] = tag("T" + std::to_string(i), 0, 0, 0, 'N');
  d.count = 130;
  bool flag = false;
  int code = d.tag2Int("T126", true);  // tag number 127: the top bit of the int
  EXPECT_EQ(d.int2Tag(code, &flag), "T126");
  EXPECT_TRUE(flag);
  code = d.tag2Int("T99", false);
  EXPECT_EQ(d.int2Tag(code, &flag), "T99");
  EXPECT_FALSE(flag);
  // Tag number 128 has no code: it would read back as another tag.
  EXPECT_EQ(d.tag2Int("T127", false), 0);
}

TEST(DtdNames, SetDTDNameDerivesTheXmlName) {
  DTD d;
  d.setDTDName("dir.x/slovnik.def");
  EXPECT_EQ(d.dtdName, "dir.x/slovnik.def");
  EXPECT_EQ(d.xmlName, "dir.x/slovnik.xml");
}

TEST(DtdTree, AddtagBuildsAndRefuses) {
  DTD d;
  DTDTag e = tag("E", 0, 1, 1, 'N');
  e.tpar = "root parameter";
  EXPECT_TRUE(d.addtag(&e));
  EXPECT_EQ(d.root->name, "E");
  EXPECT_EQ(d.root->tpar, "root parameter");
  DTDTag f = tag("F", 0, 1, 1, 'N');
  EXPECT_FALSE(d.addtag(&f));  // a second upmost tag
  DTDTag ea = tag("E.A", 1, 0, 4, 'L');
  ea.tpar = "not copied";
  EXPECT_TRUE(d.addtag(&ea));
  EXPECT_FALSE(d.addtag(&ea));  // the same path twice
  DTDTag deep = tag("E.B.C", 2, 0, 1, 'N');
  EXPECT_FALSE(d.addtag(&deep));  // E.B has no node
  DTDTag other = tag("X.A", 1, 0, 1, 'N');
  EXPECT_FALSE(d.addtag(&other));  // another upmost name
  ASSERT_EQ(d.root->count(), 1);
  DTDEntry* a = d.root->children[0];
  EXPECT_EQ(a->path, "E.A");
  EXPECT_EQ(a->level, 1);
  EXPECT_EQ(a->max, 4);
  EXPECT_EQ(a->type, 'L');
  EXPECT_EQ(a->tpar, "");
  EXPECT_EQ(d.ngarb(), 2);
}

TEST(DtdTree, AddtagRefusesTheFiveHundredThirteenthChild) {
  DTD d;
  DTDTag e = tag("E", 0, 1, 1, 'N');
  ASSERT_TRUE(d.addtag(&e));
  for (int i = 0; i < DTDEntry::kMaxChildren; i++) {
    DTDTag c = tag("E.C" + std::to_string(i), 1, 0, 1, 'N');
    ASSERT_TRUE(d.addtag(&c));
  }
  DTDTag c = tag("E.LAST", 1, 0, 1, 'N');
  EXPECT_FALSE(d.addtag(&c));
  EXPECT_EQ(d.root->count(), DTDEntry::kMaxChildren);
}

TEST(DtdTree, GettreeFollowsNamesAndSetsTheParent) {
  DTD d;
  DTDTag e = tag("E", 0, 1, 1, 'N'), a = tag("E.A", 1, 0, 1, 'N'), b = tag("E.A.B", 2, 0, 1, 'N');
  d.addtag(&e);
  d.addtag(&a);
  d.addtag(&b);
  DTDEntry* nb = d.gettree("E.A.B");
  ASSERT_NE(nb, nullptr);
  EXPECT_EQ(nb->path, "E.A.B");
  EXPECT_EQ(nb->parent, d.root->children[0]);
  EXPECT_EQ(d.gettree(" E . A "), d.root->children[0]);  // parts are trimmed
  EXPECT_EQ(d.gettree("E.X"), nullptr);
  EXPECT_EQ(d.gettree("F.A"), nullptr);
  EXPECT_EQ(d.gettree("E"), d.root);
  EXPECT_EQ(d.gettree("F"), nullptr);   // one part: the name must match too
  EXPECT_EQ(d.gettree(" E"), nullptr);  // one part: compared untrimmed
  EXPECT_EQ(d.gettree(""), nullptr);
}

TEST(DtdTree, Ent2strListsTheTreeInPreOrder) {
  DTD d;
  for (const char* p : {"E", "E.A", "E.B", "E.A.X"}) {
    DTDTag t = tag(p, static_cast<int>(std::count(p, p + strlen(p), '.')), 0, 0, 'N');
    ASSERT_TRUE(d.addtag(&t));
  }
  d.root->children[1]->required = false;
  d.root->children[0]->occurs = 3;
  d.ent2str();
  ASSERT_EQ(d.count, 4);
  EXPECT_EQ(d.tags[0].path, "E");
  EXPECT_EQ(d.tags[1].path, "E.A");
  EXPECT_EQ(d.tags[1].max, 3);
  EXPECT_EQ(d.tags[2].path, "E.A.X");
  EXPECT_EQ(d.tags[3].path, "E.B");
  EXPECT_EQ(d.tags[3].min, 0);
  EXPECT_EQ(d.tags[3].max, -1);
  EXPECT_EQ(d.tags[0].min, 1);
}

TEST(DtdTree, Ent2strOfAnUnnamedRootIsEmpty) {
  DTD d;
  d.count = 9;
  d.ent2str();
  EXPECT_EQ(d.count, 0);
}

TEST(DtdTree, Ent2strKeepsTheFirst256Paths) {
  DTD d;
  d.dtdName = "big.def";
  DTDTag e = tag("E", 0, 1, 1, 'N');
  d.addtag(&e);
  for (int i = 0; i < 300; i++) {
    DTDTag c = tag("E.C" + std::to_string(i), 1, 0, 1, 'N');
    ASSERT_TRUE(d.addtag(&c));
  }
  testutil::CaptureFd err(2);
  d.ent2str();
  EXPECT_EQ(err.text(), "Error: The structure of big.def has 301 paths; only the first 256 are kept.\n");
  EXPECT_EQ(d.count, 256);
  EXPECT_EQ(d.tags[255].path, "E.C254");
}

// After a merge, the clean-up keeps exactly what the merged root reaches.
TEST(DtdTree, GarbClearLeavesExactlyTheReachableNodes) {
  DTD d;
  XML x;
  ASSERT_TRUE(x.getEntry(std::string("<e><a><p>1</p></a><b>2</b></e>")));
  d.update(&x);
  ASSERT_TRUE(x.getEntry(std::string("<e><b>3</b><c><q>4</q></c></e>")));
  DTDEntry* before = d.root;
  DTDEntry* entry = x.getEntDTD(&d);
  DTDEntry* merged = x.addDTD(before, entry, &d);
  int listed = d.ngarb();
  std::set<DTDEntry*> keep = reachable(merged);
  EXPECT_GT(listed, static_cast<int>(keep.size()));
  EXPECT_TRUE(d.garb_used(merged, merged->children[0]));
  EXPECT_FALSE(d.garb_used(merged, before));
  d.garb_clear(merged);
  std::set<DTDEntry*> listedAfter(d.garb->nodes.begin(), d.garb->nodes.end());
  EXPECT_EQ(listedAfter, keep);
  EXPECT_EQ(d.ngarb(), 6);  // e, a, a.p, b, c, c.q
  for (DTDEntry* n : d.garb->nodes) EXPECT_FALSE(n->reached);
}

TEST(DtdTree, GarbAddAfterAClearGivesAFreshNode) {
  DTD d;
  DTDTag e = tag("E", 0, 1, 1, 'N'), a = tag("E.A", 1, 2, 3, 'L');
  d.addtag(&e);
  d.addtag(&a);
  DTDEntry* old = d.root->children[0];
  old->required = false;
  old->occurs = 4;
  old->parent = d.root;
  d.root->delEntry(0);
  d.garb_clear(d.root);
  EXPECT_EQ(d.ngarb(), 1);
  DTDEntry* n = d.garb_add();
  EXPECT_EQ(d.ngarb(), 2);
  EXPECT_EQ(n->name, "");
  EXPECT_EQ(n->path, "");
  EXPECT_EQ(n->tpar, "");
  EXPECT_EQ(n->count(), 0);
  EXPECT_EQ(n->parent, nullptr);
  EXPECT_EQ(n->min, 0);
  EXPECT_EQ(n->max, -1);
  EXPECT_EQ(n->type, 'N');
  EXPECT_TRUE(n->required);
  EXPECT_EQ(n->occurs, 1);
}

TEST(DtdTree, CopiesShareTheNodes) {
  DTD d;
  DTDTag e = tag("E", 0, 1, 1, 'N'), a = tag("E.A", 1, 0, 1, 'N');
  d.addtag(&e);
  d.addtag(&a);
  {
    DTD copy;
    copy = d;
    EXPECT_EQ(copy.root, d.root);
    EXPECT_EQ(copy.ngarb(), 2);
  }
  EXPECT_EQ(d.root->name, "E");
  EXPECT_EQ(d.root->children[0]->path, "E.A");
}

TEST(DtdText, PrintEntryShowsLevelsNamesAndCounts) {
  DTD d;
  DTDTag e = tag("E", 0, 1, 1, 'N'), a = tag("E.A", 1, 0, -1, 'N'), b = tag("E.A.B", 2, 2, 5, 'N');
  d.addtag(&e);
  d.addtag(&a);
  d.addtag(&b);
  const std::string want = "0 E 1 1\n  1 A 0 -1\n    2 B 2 5\n";
  EXPECT_EQ(d.getString(), want);
  EXPECT_EQ(d.printEntry(d.root->children[0]), "  1 A 0 -1\n    2 B 2 5\n");
  std::ostringstream os;
  os << d;
  EXPECT_EQ(os.str(), want);
  EXPECT_EQ(d.root->name, "E");  // the stream's copy left the tree alone
}

}  // namespace
