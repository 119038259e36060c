// The ".def" file: exact bytes written, the reader's tolerance and limits.

#include <gtest/gtest.h>

#include "dtd/dtd.h"
#include "testutil.h"

using testutil::CaptureFd;
using testutil::readFile;
using testutil::TempDir;
using testutil::writeFile;

namespace {

const char kExample[] =
    "0 e\t1\t1\tN\n"
    "  1 a\t0\t-1\tN\n"
    "  1 b\t1\t1\tN\n"
    "  1 c\t0\t-1\tN\n";

// Loads `bytes` as a ".def" file; returns what went to standard error.
std::string load(const TempDir& dir, const std::string& bytes, DTD* d) {
  d->setDTDName(dir.file("d.def"));
  writeFile(d->dtdName, bytes);
  CaptureFd err(2);
  d->loadDTD();
  return err.text();
}

struct Rec {
  std::string path;
  int level, min, max;
  char type;
  bool operator==(const Rec&) const = default;
};

std::vector<Rec> records(const DTD& d) {
  std::vector<Rec> out;
  for (int i = 0; i < d.count; i++) {
    const DTDTag& t = d.tags[i];
    out.push_back({t.path, t.level, t.min, t.max, t.type});
  }
  return out;
}

TEST(DefFile, LoadsTheWrittenExampleAndWritesItBackByteForByte) {
  TempDir dir;
  DTD d;
  EXPECT_EQ(load(dir, kExample, &d), "");
  std::vector<Rec> want = {{"e", 0, 1, 1, 'N'},
                           {"e.a", 1, 0, -1, 'N'},
                           {"e.b", 1, 1, 1, 'N'},
                           {"e.c", 1, 0, -1, 'N'}};
  EXPECT_EQ(records(d), want);
  EXPECT_EQ(d.getString(), "0 e 1 1\n  1 a 0 -1\n  1 b 1 1\n  1 c 0 -1\n");
  EXPECT_EQ(d.key, "");
  std::remove(d.dtdName.c_str());
  d.saveDTD();
  EXPECT_EQ(readFile(d.dtdName), kExample);
}

TEST(DefFile, SeparatorsLineEndsAndBlankLinesAreCosmetic) {
  TempDir dir;
  DTD d;
  EXPECT_EQ(load(dir, "\r\n0\te 1 1 N\r\n\r\n   \t\r\n1  a\t\t0  -1\tN\r\n1 b 1 1 N\r1\x01"
                      "c\x1f" "0 -1 N\r\n",
                &d),
            "");
  DTD w;
  load(dir, kExample, &w);
  EXPECT_EQ(records(d), records(w));
  EXPECT_EQ(d.getString(), w.getString());
}

TEST(DefFile, SevenFieldsSetTheTypeParametersAndSavingDropsThem) {
  TempDir dir;
  DTD d;
  load(dir, "0 e 1 1 N\n1 r 0 -1 Rx back other ignored\n", &d);
  ASSERT_EQ(d.count, 2);
  EXPECT_EQ(d.getType(2), 'R');  // the first byte of the field
  EXPECT_EQ(d.getTpar(2), "back");
  EXPECT_EQ(d.getTpar2(2), "other");
  d.saveDTD();
  EXPECT_EQ(readFile(d.dtdName), "0 e\t1\t1\tN\n  1 r\t0\t-1\tR\n");
}

TEST(DefFile, KeyTagAndPathsThroughTheLatestAncestor) {
  TempDir dir;
  DTD d;
  load(dir, "0 E 1 1 K\n1 K 1 1 K\n1 S 0 -1 N\n1 T 0 -1 N\n2 U 0 -1 N\n", &d);
  EXPECT_EQ(d.key, "E.K");  // the later 'K' line wins
  EXPECT_EQ(d.getType("E.K"), 'K');
  EXPECT_EQ(d.getTag(5), "E.T.U");
  ASSERT_NE(d.gettree("E.T.U"), nullptr);
  EXPECT_EQ(d.gettree("E.S.U"), nullptr);
}

TEST(DefFile, LastLineWithoutLineBreakIsNotLoaded) {
  TempDir dir;
  DTD d;
  load(dir, "0 e 1 1 N\n1 a 0 -1 N", &d);
  EXPECT_EQ(d.count, 1);
  EXPECT_EQ(d.getIndex("e.a"), 0);
  EXPECT_EQ(d.root->count(), 0);
}

TEST(DefFile, CountsAndUnknownLetters) {
  TempDir dir;
  DTD d;
  load(dir, "0 e 1 1 N\n1 a x -1 Q\n1 b -3 +4 N\n", &d);
  EXPECT_EQ(d.getMax("e.a"), 10000);
  EXPECT_EQ(d.getMin("e.a"), 0);  // a field without digits reads as 0
  EXPECT_EQ(d.getType("e.a"), 'Q');
  EXPECT_EQ(d.tags[2].min, -3);
  EXPECT_EQ(d.getMin("e.b"), 0);
  EXPECT_EQ(d.getMax("e.b"), 4);
}

TEST(DefFile, ShortLinesKeepDefaultsAndMissingParentsKeepTheirNumber) {
  TempDir dir;
  DTD d;
  load(dir, "0 e\n2 z 1 2 N\n1 a 0 -1 N\n", &d);
  ASSERT_EQ(d.count, 3);
  EXPECT_EQ(d.tags[0].min, 0);
  EXPECT_EQ(d.tags[0].max, -1);
  EXPECT_EQ(d.tags[0].type, 'N');
  EXPECT_EQ(d.getTag(2), "e..z");  // no level-1 line before it
  EXPECT_EQ(d.getIndex("e.a"), 3);
  EXPECT_EQ(d.root->count(), 1);   // z has no node
}

TEST(DefFile, SaveIndentsTwoBlanksPerLevel) {
  TempDir dir;
  DTD d;
  d.setDTDName(dir.file("x.def"));
  d.tags[0].name = "top";
  d.tags[0].level = 0;
  d.tags[1].name = "deep";
  d.tags[1].level = 3;
  d.tags[1].min = 2;
  d.tags[1].max = 9;
  d.tags[1].type = 'L';
  d.count = 2;
  d.saveDTD();
  EXPECT_EQ(readFile(d.dtdName), "0 top\t0\t-1\tN\n      3 deep\t2\t9\tL\n");
}

TEST(DefFile, UnreadableAndUnwritableFiles) {
  TempDir dir;
  DTD d;
  load(dir, kExample, &d);
  d.dtdName = dir.file("missing.def");
  {
    CaptureFd err(2);
    d.loadDTD();
    EXPECT_EQ(err.text(), "Error: Could not open " + d.dtdName + ".\n");
  }
  EXPECT_EQ(d.count, 4);  // what was loaded stays
  d.dtdName = dir.file("no/such/dir.def");
  CaptureFd err(2);
  d.saveDTD();
  EXPECT_EQ(err.text(), "Error: Could not open " + d.dtdName + " for writing.\n");
}

TEST(DefFileLimits, LevelOutsideTheRangeRefusesTheFile) {
  TempDir dir;
  DTD d;
  std::string err = load(dir, "0 e 1 1 K\n1 a 0 -1 N\n10 b 0 -1 N\n1 c 0 -1 N\n", &d);
  EXPECT_EQ(err, "Error: " + d.dtdName + " line 3: level 10 outside 0-9; the file is not loaded.\n");
  EXPECT_EQ(d.count, 0);
  EXPECT_EQ(d.key, "");
  EXPECT_EQ(d.root->name, "");
  EXPECT_EQ(d.root->count(), 0);
  DTD n;
  err = load(dir, "0 e 1 1 N\n-1 b 0 -1 N\n", &n);
  EXPECT_EQ(err, "Error: " + n.dtdName + " line 2: level -1 outside 0-9; the file is not loaded.\n");
  EXPECT_EQ(n.count, 0);
  DTD ten;
  std::string text;
  for (int l = 0; l <= 9; l++) text += std::to_string(l) + " t" + std::to_string(l) + " 1 1 N\n";
  EXPECT_EQ(load(dir, text, &ten), "");
  EXPECT_EQ(ten.getTag(10), "t0.t1.t2.t3.t4.t5.t6.t7.t8.t9");
}

TEST(DefFileLimits, OverlongFieldRefusesTheFile) {
  TempDir dir;
  DTD d;
  std::string ok(127, 'x'), bad(128, 'y');
  EXPECT_EQ(load(dir, "0 e 1 1 N\n1 " + ok + " 0 -1 N\n", &d), "");
  EXPECT_EQ(d.getTag(2), "e." + ok);
  DTD n;
  std::string err = load(dir, "0 e 1 1 N\n\n1 " + bad + " 0 -1 N\n", &n);
  EXPECT_EQ(err, "Error: " + n.dtdName +
                     " line 3: a field longer than 127 bytes; the file is not loaded.\n");
  EXPECT_EQ(n.count, 0);
}

TEST(DefFileLimits, LinesBeyondTheTableAreIgnoredWithAMessage) {
  TempDir dir;
  DTD d;
  std::string text = "0 e 1 1 N\n";
  for (int i = 1; i < 258; i++) text += "1 c" + std::to_string(i) + " 0 -1 N\n";
  std::string err = load(dir, text, &d);
  EXPECT_EQ(err, "Error: " + d.dtdName +
                     " has more than 256 tags; the lines after tag 256 are ignored.\n"
                     "Error: " + d.dtdName +
                     " describes 256 tags; packed entries can number only 127.\n");
  EXPECT_EQ(d.count, 256);
  EXPECT_EQ(d.getTag(256), "e.c255");
  EXPECT_EQ(d.root->count(), 255);
}

TEST(DefFileLimits, MoreTagsThanPackedEntriesCanNumberIsReported) {
  TempDir dir;
  DTD d;
  std::string text = "0 e 1 1 N\n";
  for (int i = 1; i < 127; i++) text += "1 c" + std::to_string(i) + " 0 -1 N\n";
  EXPECT_EQ(load(dir, text, &d), "");
  EXPECT_EQ(d.count, 127);
  DTD n;
  std::string err = load(dir, text + "1 one-more 0 -1 N\n", &n);
  EXPECT_EQ(err, "Error: " + n.dtdName + " describes 128 tags; packed entries can number only 127.\n");
  EXPECT_EQ(n.count, 128);
}

}  // namespace
