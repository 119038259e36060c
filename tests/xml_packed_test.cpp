// The packed entry form: writer bytes, the loader and its messages, the
// stepper, and the filtering copy.

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <deque>
#include <string>
#include <vector>

#include "base/map.h"
#include "dictio/dictio.h"
#include "dtd/dtd.h"
#include "testutil.h"
#include "treeutil.h"
#include "xml/packed.h"
#include "xml/packtags.h"
#include "xml/reader.h"
#include "xml/writer.h"

using testutil::CaptureFd;
using testutil::hex;
using testutil::tohex;
using treeutil::build;
using treeutil::Tree;

namespace {

const char* kTwoElements = "81 05 00 00 02 01 00 00 00 00 82 00 00 00 02 01";

// A stream holding `bytes`, positioned at its start; closed with the object.
struct Stream {
  FILE* f = tmpfile();
  explicit Stream(const std::string& bytes) {
    fwrite(bytes.data(), 1, bytes.size(), f);
    rewind(f);
  }
  ~Stream() { fclose(f); }
};

// Tag table E=1, E.A=2, E.B=3; words known by text and by number.
class PackedTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* p : {"E", "E.A", "E.B"}) dtd_.tags[dtd_.count++].path = p;
    map_init(&words_, MAP_STR, MAP_BORROW);
    map_init(&ids_, MAP_INT, 2);
    for (auto [w, n] : {std::pair{"five", 5}, {"big", 258}, {"Hello", 1}, {",", 2}, {"world", 3}})
      addWord(w, n);
  }
  void TearDown() override {
    map_done(&words_);
    map_done(&ids_);
  }
  void addWord(const std::string& text, int32_t num) {
    texts_.push_back(text);
    recs_.push_back(wrdrec_t{texts_.back().data(), num, -1, -1});
    map_assn(&words_, recs_.back().word, &recs_.back());
    map_assn(&ids_, map_ikey(num), &recs_.back());
  }
  std::string pack(const treeutil::T& t) {
    Tree e(build(t));
    std::string out;
    XMLpackEntry(e.get(), &words_, &dtd_, &out);
    return tohex(out);
  }
  // One load: its result, the tree read (when any), the stream position
  // and standard error.
  std::string load(Stream& s) {
    XMLEntry e;
    CaptureFd err(2);
    bool ok = XMLloadPackEntry(&e, &s.f, &ids_, &dtd_, 0);
    return std::to_string(ok) + (ok ? " " + XMLprintEntry(&e, true, false) : "") + " @" +
           std::to_string(ftell(s.f)) + " " + err.text();
  }

  DTD dtd_;
  map_t words_, ids_;
  std::deque<std::string> texts_;
  std::deque<wrdrec_t> recs_;
};

TEST_F(PackedTest, WriterBytes) {
  EXPECT_EQ(pack({"E", "five big", {{"A", ""}}}), tohex(hex(kTwoElements)));
  // Unknown paths go with their subtree, unknown words are left out.
  EXPECT_EQ(pack({"E", "unknown five", {{"Z", "big", {{"A", "big"}}}, {"B", "world  ,\tHello"}}}),
            tohex(hex("81 05 00 00 00 00 00 83 03 00 00 02 00 00 01 00 00 00 00 00 03 01")));
  EXPECT_EQ(pack({"Q", "five"}), "");  // an upmost element without index
  // Long words are looked up by their first 255 bytes.
  addWord(std::string(255, 'x'), 9);
  EXPECT_EQ(pack({"E", std::string(300, 'x') + " " + std::string(256, 'x')}),
            tohex(hex("81 09 00 00 09 00 00 00 00 00 01")));
  char w[300];
  memcpy(w, std::string(299, 'y').c_str(), 300);
  EXPECT_TRUE(XMLclipWord(w));
  EXPECT_EQ(strlen(w), 255u);
  EXPECT_FALSE(XMLclipWord(w));

  // The stream form appends at the current position.
  Tree e(build({"E", "five big", {{"A", ""}}}));
  Stream s("xy");
  fseek(s.f, 0, SEEK_END);
  EXPECT_TRUE(XMLsavePackEntry(e.get(), &s.f, &words_, &dtd_));
  EXPECT_EQ(ftell(s.f), 2 + 16);
}

TEST_F(PackedTest, TagsFoundByHashPackTheSameBytesAsTheTable) {
  // A path held twice (the first record counts), one beyond the packed
  // tags' range, and paths no record holds.
  dtd_.tags[dtd_.count++].path = "E.A";
  for (int i = dtd_.count + 1; i <= DTDStruct::kMaxPackedTag; ++i)
    dtd_.tags[dtd_.count++].path = "E.F" + std::to_string(i);
  dtd_.tags[dtd_.count++].path = "E.LATE";
  ASSERT_EQ(dtd_.getIndex("E.LATE"), DTDStruct::kMaxPackedTag + 1);
  const PackTags tags(&dtd_);
  XMLCellWriter cells = [this](const XMLEntry* e, std::string* out) {
    for (const char* w : {"five", "big"})
      if (e->value.find(w) != std::string::npos) XMLappendCell(out, static_cast<uint32_t>(strlen(w)));
  };
  for (const treeutil::T& t :
       {treeutil::T{"E", "five", {{"A", "big", {{"Q", "five"}}}, {"B", ""}, {"F7", "big five"}}},
        treeutil::T{"E", "", {{"LATE", "five", {{"A", "big"}}}, {"A", "five"}, {"Z", "big"}}},
        treeutil::T{"X", "five"}}) {
    Tree e(build(t));
    std::string byTable, byHash;
    XMLpackEntry(e.get(), cells, &dtd_, &byTable);
    tags.pack(e.get(), cells, &byHash);
    EXPECT_EQ(tohex(byHash), tohex(byTable)) << XMLprintEntry(e.get(), true, false);
  }
  EXPECT_EQ(tags("E.A"), 2);
  EXPECT_EQ(tags("E.LATE"), 0);
  EXPECT_EQ(tags("E.F7"), 7);
  EXPECT_EQ(tags("e.a"), 0);
  EXPECT_EQ(tags(""), 0);
}

TEST_F(PackedTest, TagsFoundByHashTellApartPathsThatDifferOnlyInTheMiddle) {
  // Same length, same first and last eight bytes: the same slot, told apart
  // by their texts; and a path that is a prefix of another.
  const std::vector<std::string> paths = {"E.abcdefgh1ijklmnop", "E.abcdefgh2ijklmnop",
                                          "E.abcdefgh3ijklmnop", "E.abcdefgh", "E.abcdefgh1"};
  for (const std::string& p : paths) dtd_.tags[dtd_.count++].path = p;
  const PackTags tags(&dtd_);
  for (size_t i = 0; i < paths.size(); ++i) EXPECT_EQ(tags(paths[i]), static_cast<int>(4 + i)) << paths[i];
  EXPECT_EQ(tags("E.abcdefgh4ijklmnop"), 0);
  EXPECT_EQ(tags("E.B"), 3);
}

TEST_F(PackedTest, StepperWalksCellsOfOneEntryAtATime) {
  // Two entries back to back; the second has a child with words only.
  Stream s(hex(kTwoElements) + hex("81 00 00 00 83 03 00 00 01 00 00 00 00 00 03 01"));
  long word = 0, tag = 0, pos = -7;
  std::string walk;
  for (int entry = 0; entry < 3; ++entry) {
    while (XMLgetPackPtr(&s.f, &word, &tag, &pos))
      walk += std::to_string(word) + "/" + std::to_string(tag) +
              (entry ? "" : "/" + std::to_string(pos)) + " ";
    walk += "@" + std::to_string(ftell(s.f)) + " ";
  }
  // A call that begins an element leaves the position alone.
  EXPECT_EQ(walk, "5/1/-7 258/1/1 @16 3/3 1/3 @32 @32 ");
}

TEST_F(PackedTest, StepperEndsTruncatedEntriesAndStartsCleanAfterwards) {
  for (const char* cut : {"81 05 00", "81 05 00 00 02", "81 00 00 00 82 07 00 00", "81 00 00 00 82"}) {
    SCOPED_TRACE(cut);
    Stream s(hex(cut));
    long word = 0, tag = 0, pos = 0;
    for (int cells = 0; XMLgetPackPtr(&s.f, &word, &tag, &pos);) ASSERT_LT(++cells, 10);
    EXPECT_TRUE(feof(s.f));
    Stream next(hex(kTwoElements));
    ASSERT_TRUE(XMLgetPackPtr(&next.f, &word, &tag, &pos));
    EXPECT_EQ(word, 5);
    XMLresetPackPtr();
  }
}

TEST_F(PackedTest, LoaderRebuildsTheTree) {
  Stream s(hex(kTwoElements) + hex("81 01 00 00 02 00 00 03 00 00 63 00 00 00 00 00 01"));
  XMLEntry e;
  e.addEntry(new XMLEntry());  // a previous child is dropped
  ASSERT_TRUE(XMLloadPackEntry(&e, &s.f, &ids_, &dtd_, 0));
  EXPECT_EQ(treeutil::paths(&e) + " " + treeutil::shape(&e), "E:0 E.A:1 E=five big{A}");
  EXPECT_EQ(ftell(s.f), 16);
  // Words are joined by their punctuation; unknown numbers (0x63) pass.
  XML x;
  ASSERT_TRUE(x.loadPackEntry(&s.f, &ids_, &dtd_));
  EXPECT_EQ(x.getXMLEntry()->value, "Hello, world");
  EXPECT_FALSE(x.loadPackEntry(&s.f, &ids_, &dtd_));  // end of input
}

TEST_F(PackedTest, LoaderReportsWrongOrTruncatedBytes) {
  const std::pair<const char*, std::string> cases[] = {
      // Wrong bytes are reported and reading goes on.
      {"81 00 00 00 02", "1 <E></E> @5 Open and close tags don't match (2!=1).\n"},
      // A tag the structure description does not have is damage: an element
      // without a name is never rendered.
      {"03 00 00 00 03",
       "0 @1 3 is not open tag.\nError: Packed entry holds tag -125, which the structure description does not have.\n"},
      {"88 00 00 00 08",
       "0 @1 Error: Packed entry holds tag 8, which the structure description does not have.\n"},
      // A truncated entry stops at its end.
      {"", "0 @0 "},
      {"81 05 00", "0 @3 Error: Packed entry ends inside the words of E.\n"},
      {"81 00 00 00", "0 @4 Error: Packed entry ends before its close byte.\n"},
      {"81 00 00 00 82 00 00 00", "0 @8 Error: Packed entry ends before its close byte.\n"},
      {"81 00 00 00 82 00 00 00 02", "0 @9 Error: Packed entry ends before its close byte.\n"},
  };
  for (const auto& [bytes, want] : cases) {
    Stream s(hex(bytes));
    EXPECT_EQ(load(s), want) << bytes;
  }
  std::string deep;
  for (int i = 0; i < 200; ++i) deep += hex("82 00 00 00");
  Stream s(deep);
  std::string got = load(s);
  EXPECT_EQ(got.substr(0, 2) + got.substr(got.find(' ', 2)),
            "0  Error: Packed entry nested deeper than 127 levels.\n");
}

TEST_F(PackedTest, CopyDropsCellsOfWordsNotInTheTable) {
  map_dele(&ids_, map_ikey(258));
  Stream s(hex(kTwoElements) + hex("81 00 00 00 02"));
  std::string out = "x";
  ASSERT_TRUE(XMLcopyPackEntry(s.f, &ids_, &out));
  EXPECT_EQ(tohex(out), tohex("x" + hex("81 05 00 00 00 00 00 82 00 00 00 02 01")));
  EXPECT_EQ(ftell(s.f), 16);
  EXPECT_FALSE(XMLcopyPackEntry(s.f, &ids_, &out));  // mismatched close byte
  EXPECT_FALSE(XMLcopyPackEntry(s.f, &ids_, &out));  // end of input
  EXPECT_EQ(out.size(), 14u);                         // nothing appended
  for (const char* d : {"05 00 00 00 05", "81 05 00", "81 00 00 00 82 00 00 00 02"}) {
    Stream g(hex(d));
    std::string o;
    EXPECT_FALSE(XMLcopyPackEntry(g.f, &ids_, &o)) << d;
    EXPECT_EQ(o, "") << d;
  }
}

}  // namespace
