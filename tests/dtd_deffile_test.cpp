// The ".def" file: exact bytes written, the reader's tolerance and limits.

#include <gtest/gtest.h>

#include "dtd/dtd.h"
#include "testutil.h"

using testutil::CaptureFd;
using testutil::readFile;
using testutil::TempDir;

namespace {

const char kExample[] = "0 e\t1\t1\tN\n  1 a\t0\t-1\tN\n  1 b\t1\t1\tN\n  1 c\t0\t-1\tN\n";
const char kExampleTable[] = "e 0 1 1 N|e.a 1 0 -1 N|e.b 1 1 1 N|e.c 1 0 -1 N|";
const char kExampleTree[] = "0 e 1 1\n  1 a 0 -1\n  1 b 1 1\n  1 c 0 -1\n";

// Loads `bytes` as DIR/d.def; returns standard error with the file's name
// written as "@".
std::string load(const TempDir& dir, const std::string& bytes, DTD* d) {
  d->setDTDName(dir.file("d.def"));
  testutil::writeFile(d->dtdName, bytes);
  CaptureFd err(2);
  d->loadDTD();
  std::string text = err.text();
  for (size_t at; (at = text.find(d->dtdName)) != std::string::npos;) text.replace(at, d->dtdName.size(), "@");
  return text;
}

// "path level min max type|" per record.
std::string records(const DTD& d) {
  std::string out;
  for (int i = 0; i < d.count; i++) {
    const DTDTag& t = d.tags[i];
    out += t.path + " " + std::to_string(t.level) + " " + std::to_string(t.min) + " " +
           std::to_string(t.max) + " " + t.type + "|";
  }
  return out;
}

std::string lines(int from, int to, const std::string& prefix) {
  std::string s;
  for (int i = from; i < to; i++) s += "1 " + prefix + std::to_string(i) + " 0 -1 N\n";
  return s;
}

TEST(DefFile, LoadsTheExampleAndWritesItBackByteForByte) {
  TempDir dir;
  DTD d;
  EXPECT_EQ(load(dir, kExample, &d), "");
  EXPECT_EQ(records(d), kExampleTable);
  EXPECT_EQ(d.getString(), kExampleTree);
  EXPECT_EQ(d.key, "");
  std::remove(d.dtdName.c_str());
  d.saveDTD();
  EXPECT_EQ(readFile(d.dtdName), kExample);
}

TEST(DefFile, ReaderTolerance) {
  struct Case {
    std::string def, table, tree;
  } cases[] = {
      // Separators, CR LF line ends and blank lines are cosmetic.
      {"\r\n0\te 1 1 N\r\n\r\n   \t\r\n1  a\t\t0  -1\tN\r\n1 b 1 1 N\r1\x01" "c\x1f" "0 -1 N\r\n",
       kExampleTable, kExampleTree},
      // A last line without its line break is not loaded.
      {"0 e 1 1 N\n1 a 0 -1 N", "e 0 1 1 N|", "0 e 1 1\n"},
      // Counts read as atol reads them; unknown letters are kept.
      {"0 e 1 1 N\n1 a x -1 Q\n1 b -3 +4 N\n", "e 0 1 1 N|e.a 1 0 -1 Q|e.b 1 -3 4 N|",
       "0 e 1 1\n  1 a 0 -1\n  1 b -3 4\n"},
      // Short lines keep the defaults; a missing parent keeps its place in
      // the path, and the record gets no tree node.
      {"0 e\n2 z 1 2 N\n1 a 0 -1 N\n", "e 0 0 -1 N|e..z 2 1 2 N|e.a 1 0 -1 N|", "0 e 0 -1\n  1 a 0 -1\n"},
      // The path goes through the latest ancestor line; a later 'K' wins.
      {"0 E 1 1 K\n1 K 1 1 K\n1 S 0 -1 N\n1 T 0 -1 N\n2 U 0 -1 N\n",
       "E 0 1 1 K|E.K 1 1 1 K|E.S 1 0 -1 N|E.T 1 0 -1 N|E.T.U 2 0 -1 N|",
       "0 E 1 1\n  1 K 1 1\n  1 S 0 -1\n  1 T 0 -1\n    2 U 0 -1\n"},
  };
  TempDir dir;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.def);
    DTD d;
    EXPECT_EQ(load(dir, c.def, &d), "");
    EXPECT_EQ(records(d), c.table);
    EXPECT_EQ(d.getString(), c.tree);
    EXPECT_EQ(d.key, c.table[0] == 'E' ? "E.K" : "");
  }
}

TEST(DefFile, RecordsWithoutAWholePathGetNoTreeNode) {
  // Line 4 has no name: its path "e.b.x." ends in an empty part and names
  // the x of line 2, which is no child of b. Line 6 has a dot in its name:
  // its path reads like a child c of a. Both keep their numbers.
  TempDir dir;
  DTD d;
  EXPECT_EQ(load(dir, "0 e 1 1 N\n2 x 0 1 N\n1 b 1 1 N\n3\n1 a 0 1 N\n1 a.c 0 1 N\n", &d), "");
  EXPECT_EQ(records(d), "e 0 1 1 N|e..x 2 0 1 N|e.b 1 1 1 N|e.b.x. 3 0 -1 N|e.a 1 0 1 N|e.a.c 1 0 1 N|");
  EXPECT_EQ(d.getString(), "0 e 1 1\n  1 b 1 1\n  1 a 0 1\n");
  EXPECT_EQ(d.gettree("e.b.x"), nullptr);
  EXPECT_EQ(d.gettree("e.a.c"), nullptr);
  EXPECT_EQ(d.getIndex("e.b.x.") * 10 + d.getIndex("e.a.c"), 46);
}

TEST(DefFile, SevenFieldsSetTheTypeParametersAndSavingDropsThem) {
  TempDir dir;
  DTD d;
  load(dir, "0 e 1 1 N\n1 r 0 -1 Rx back other ignored\n", &d);
  EXPECT_EQ(std::string(1, d.getType(2)) + " " + d.getTpar(2) + " " + d.getTpar2(2), "R back other");
  d.saveDTD();
  EXPECT_EQ(readFile(d.dtdName), "0 e\t1\t1\tN\n  1 r\t0\t-1\tR\n");

  // Two blanks of indent per level.
  d.tags[1] = DTDTag{"deep", "", 3, 2, 9, 'L', "", ""};
  d.saveDTD();
  EXPECT_EQ(readFile(d.dtdName), "0 e\t1\t1\tN\n      3 deep\t2\t9\tL\n");
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
  // The new file is written under its temporary name first.
  d.dtdName = dir.file("no/such/dir.def");
  CaptureFd err(2);
  EXPECT_FALSE(d.saveDTD());
  EXPECT_EQ(err.text(), "Error: Could not open " + dir.file("no/such/dir.de~") + " for writing.\n");
}

TEST(DefFile, Limits) {
  std::string ten, longest = "0 e 1 1 N\n1 " + std::string(127, 'x') + " 0 -1 N\n";
  for (int l = 0; l <= 9; l++) ten += std::to_string(l) + " t" + std::to_string(l) + " 1 1 N\n";
  struct Case {
    std::string def, err;
    int count;
    std::string last;
  } cases[] = {
      // A level outside 0-9 or an overlong field refuses the whole file.
      {"0 e 1 1 K\n1 a 0 -1 N\n10 b 0 -1 N\n1 c 0 -1 N\n",
       "Error: @ line 3: level 10 outside 0-9; the file is not loaded.\n", 0, ""},
      {"0 e 1 1 N\n-1 b 0 -1 N\n", "Error: @ line 2: level -1 outside 0-9; the file is not loaded.\n", 0, ""},
      {ten, "", 10, "t0.t1.t2.t3.t4.t5.t6.t7.t8.t9"},
      {longest, "", 2, "e." + std::string(127, 'x')},
      {"0 e 1 1 N\n\n1 " + std::string(128, 'y') + " 0 -1 N\n",
       "Error: @ line 3: a field longer than 127 bytes; the file is not loaded.\n", 0, ""},
      // Lines beyond the table are ignored; more than 127 tags are reported.
      {"0 e 1 1 N\n" + lines(1, 258, "c"),
       "Error: @ has more than 256 tags; the lines after tag 256 are ignored.\n"
       "Error: @ describes 256 tags; packed entries can number only 127.\n",
       256, "e.c255"},
      {"0 e 1 1 N\n" + lines(1, 127, "c"), "", 127, "e.c126"},
      {"0 e 1 1 N\n" + lines(1, 128, "c"), "Error: @ describes 128 tags; packed entries can number only 127.\n",
       128, "e.c127"},
  };
  TempDir dir;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.err);
    DTD d;
    EXPECT_EQ(load(dir, c.def, &d), c.err);
    EXPECT_EQ(d.count, c.count);
    EXPECT_EQ(d.getTag(c.count), c.last);
    if (c.count == 0 || c.count == 256) {  // nothing kept, or no node past the table
      EXPECT_EQ(d.key + d.root->name + std::to_string(d.root->count()), c.count ? "e255" : "0");
    }
  }
}

}  // namespace
