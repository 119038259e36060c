// The entry pass, the entry index (".eid") and the word list (".wrd").

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/progress.h"
#include "dictio/dictio.h"
#include "index_fixture.h"
#include "testutil.h"

using indextest::Dict;
using indextest::le24;
using indextest::le32;
using testutil::CaptureFd;
using testutil::hex;
using testutil::tohex;

namespace {

const char* kThree = "<E><A>x</A></E>\n<E><A>y</A></E>\n<E><A>z</A></E>\n";
// Each entry packs to 81 000000 82 <word> 000000 02 01: 13 bytes.
const char* kCat = "01 00 00 03 63 61 74 00 00 00 00 0C 00 00 00";

std::string eidOf(const std::vector<std::pair<uint32_t, int32_t>>& recs) {
  std::string s = le32(static_cast<uint32_t>(recs.size()));
  for (auto [num, off] : recs) s += le24(num) + le32(static_cast<uint32_t>(off));
  return s;
}

TEST(EntryIndex, ThreeEntriesGiveA25ByteFile) {
  Dict d(kThree);
  d.build();
  EXPECT_EQ(tohex(d.read(".ent")), tohex(hex("81 00 00 00 82 01 00 00 00 00 00 02 01"
                                             " 81 00 00 00 82 02 00 00 00 00 00 02 01"
                                             " 81 00 00 00 82 03 00 00 00 00 00 02 01")));
  std::string eid = d.read(".eid");
  EXPECT_EQ(eid.size(), 25u);
  EXPECT_EQ(tohex(eid), tohex(eidOf({{1, 0}, {2, 13}, {3, 26}})));
}

TEST(EntryIndex, SaveAndLoadAnnounceThemselves) {
  Dict d(kThree);
  DictIO* io = d.build();
  io->output = 1;
  io->entPos[2] = -1;
  {
    CaptureFd out(1);
    io->saveEid();
    EXPECT_EQ(out.text(), "Saving " + d.path(".eid") + "...\n");
  }
  io->entPos.clear();
  {
    CaptureFd out(1);
    EXPECT_TRUE(io->loadEid());
    EXPECT_EQ(out.text(), "Loading " + d.path(".eid") + "...\n");
  }
  EXPECT_EQ(io->entPos, (std::map<int32_t, int32_t>{{1, 0}, {2, -1}, {3, 26}}));
  EXPECT_EQ(io->posEnt, (std::map<int32_t, int32_t>{{-1, 2}, {0, 1}, {26, 3}}));
}

TEST(EntryIndex, IsEidDelNeverAddsNumbers) {
  Dict d(kThree);
  DictIO* io = d.build();
  io->entPos[2] = -1;
  EXPECT_EQ(io->is_eid_del(99), 1);
  EXPECT_EQ(io->is_eid_del(0), 1);
  EXPECT_EQ(io->is_eid_del(2), 1);
  EXPECT_EQ(io->is_eid_del(1), 0);
  EXPECT_EQ(io->is_eid_del(3), 0);
  EXPECT_EQ(io->size(), 3);
}

TEST(EntryIndex, ReverseMapKeepsTheHighestNumberPerOffset) {
  DictIO io;
  io.entPos = {{1, 0}, {2, 0}, {3, 13}, {4, -1}, {5, -1}};
  io.posEnt = {{99, 9}};  // stale pairs go
  io.makeREid();
  EXPECT_EQ(io.posEnt, (std::map<int32_t, int32_t>{{-1, 5}, {0, 2}, {13, 3}}));
}

TEST(EntryIndex, LoadRefusesDamagedFiles) {
  struct Case {
    std::string bytes;
    std::string what;
  } cases[] = {
      {hex("03 00"), "too short for its record count (2)"},
      {eidOf({{1, 0}, {2, 13}}).replace(0, 1, "\x03"),
       "the record count does not match the file size (3)"},
      {eidOf({{1, 0}, {2, 13}}) + "x", "the record count does not match the file size (2)"},
      {le32(0xFFFFFFFF), "the record count does not match the file size (-1)"},
      {eidOf({{1, 0}, {3, 13}, {2, 26}}), "an entry number is zero, repeated or out of order (2)"},
      {eidOf({{1, 0}, {1, 13}}), "an entry number is zero, repeated or out of order (1)"},
      {eidOf({{0, 0}}), "an entry number is zero, repeated or out of order (0)"},
      {eidOf({{1, 0}, {2, 40}}), "an offset lies outside the entry file (40)"},
      {eidOf({{1, -2}}), "an offset lies outside the entry file (-2)"},
  };
  Dict d(kThree);
  DictIO* io = d.build();
  for (const Case& c : cases) {
    d.write(".eid", c.bytes);
    CaptureFd err(2);
    EXPECT_FALSE(io->loadEid()) << c.what;
    EXPECT_EQ(err.text(), "Error: " + d.path(".eid") + " is damaged: " + c.what + ".\n");
    EXPECT_TRUE(io->entPos.empty());
    EXPECT_TRUE(io->posEnt.empty());
  }
  // A file that does not open leaves the maps as they were.
  io->entPos[7] = 0;
  remove(d.path(".eid").c_str());
  CaptureFd err(2);
  EXPECT_FALSE(io->loadEid());
  EXPECT_EQ(err.text(), "Error: Could not open " + d.path(".eid") + ".\n");
  EXPECT_EQ(io->entPos.size(), 1u);
}

TEST(WordList, RecordOfCat) {
  // Two occurrences: one chunk of two codes at 0, its link at 12.
  Dict d("<E><A>cat</A></E>\n<E><A>cat</A></E>\n");
  DictIO* io = d.build();
  EXPECT_EQ(tohex(d.read(".wrd")), tohex(le32(1) + hex(kCat)));
  EXPECT_EQ(io->wordCount("cat"), 1);
  EXPECT_EQ(io->wordCount("Cat"), 0);
}

TEST(WordList, WordsAreNumberedChildrenFirstInFirstOccurrence) {
  Dict d("<E><A>cat</A><B>a cat</B></E>\n<E><B>Hello, world</B><A>a dog</A></E>\n");
  d.build();
  EXPECT_EQ(d.word("cat")->num, 1);
  EXPECT_EQ(d.word("a")->num, 2);
  EXPECT_EQ(d.word("Hello,")->num, 3);
  EXPECT_EQ(d.word("world")->num, 4);
  EXPECT_EQ(d.word("dog")->num, 5);
  EXPECT_EQ(d.wordNum(4)->word, std::string("world"));
  EXPECT_EQ(d.word("Hello"), nullptr);
}

TEST(WordList, EmptyDictionaryReportsNoWordsAndNoEntries) {
  Dict d("");
  DictIO* io = d.open();
  io->output = 1;
  CaptureFd out(1);
  CaptureFd err(2);
  io->makeWrd();
  EXPECT_EQ(out.text(), std::string(kClearLine) + "0 words.\n" + kClearLine + "0 entries.\n");
  EXPECT_EQ(err.text(), "Building " + d.path(".wrd") + "...\n");
  EXPECT_TRUE(testutil::fileExists(d.path(".ent")));
  EXPECT_EQ(d.read(".ent"), "");
}

TEST(WordList, EntryPassPrintsProgressAndCounts) {
  Dict d(kThree);
  DictIO* io = d.open();
  io->output = 1;
  // The rewritten file: a declaration line, then one entry a line.
  std::string xml = d.read(".xml");
  std::vector<long> ends;
  for (size_t at = xml.find("</E>"); at != std::string::npos; at = xml.find("</E>", at + 1))
    ends.push_back(static_cast<long>(at + 4));
  CaptureFd out(1);
  CaptureFd err(2);
  io->makeWrd();
  EXPECT_EQ(out.text(), indextest::progressText(static_cast<long>(xml.size()), ends) + kClearLine +
                            "3 words.\n" + kClearLine + "3 entries.\n");
  EXPECT_EQ(err.text(), "Building " + d.path(".wrd") + "...\n");
}

TEST(WordList, SaveAndLoadKeepEveryRecord) {
  Dict d("<E><A>one two three</A><B>two four</B></E>\n<E><A>five one</A></E>\n");
  DictIO* io = d.build();
  auto records = [&] {
    std::map<std::string, std::vector<int32_t>> m;
    for (long n = 1; n <= 5; ++n) {
      wrdrec_t* r = d.wordNum(n);
      m[r->word] = {r->num, r->chunk, r->tailLink};
    }
    return m;
  };
  auto before = records();
  io->output = 1;
  CaptureFd out(1);
  EXPECT_TRUE(io->loadWrd());
  EXPECT_EQ(out.text(), "Loading " + d.path(".wrd") + "...\n");
  EXPECT_EQ(map_size(&io->wordMap), 5);
  EXPECT_EQ(map_size(&io->idMap), 5);
  EXPECT_EQ(records(), before);
}

TEST(WordList, LoadRefusesDamagedFiles) {
  std::string cat = hex(kCat);
  std::string dog = hex("02 00 00 03 64 6F 67 FF FF FF FF FF FF FF FF");
  struct Case {
    std::string bytes;
    std::string what;
  } cases[] = {
      {hex("01 00"), "too short for its word count (2)"},
      {le32(2) + cat, "the word count is larger than the file can hold (2)"},
      {le32(0x7FFFFFFF) + cat, "the word count is larger than the file can hold (2147483647)"},
      {le32(0xFFFFFFFF) + cat, "the word count is larger than the file can hold (-1)"},
      {le32(1) + cat.substr(0, 14), "a record runs past the end of the file (0)"},
      {le32(2) + cat + dog.substr(0, 7) + "xxxxxx", "a record runs past the end of the file (1)"},
      {le32(1) + cat + "z", "bytes follow the last record (1)"},
      {le32(1) + hex("00 00 00") + cat.substr(3), "a word number is zero or repeated (0)"},
      {le32(2) + cat + hex("01 00 00") + dog.substr(3), "a word number is zero or repeated (1)"},
      {le32(2) + cat + dog.substr(0, 4) + "cat" + dog.substr(7), "a word text is repeated (2)"},
      {le32(1) + hex("01 00 00 03 63 00 74") + cat.substr(7),
       "a word text is empty or holds a NUL byte (1)"},
      {le32(1) + hex("01 00 00 00 00 00 00 00 0C 00 00 00 00 00 00 00 00 00 00"),
       "a word text is empty or holds a NUL byte (1)"},
      {le32(1) + cat.substr(0, 7) + le32(0) + le32(4), "a word's chain offsets are impossible (1)"},
      {le32(1) + cat.substr(0, 7) + le32(0xFFFFFFFF) + le32(8),
       "a word's chain offsets are impossible (1)"},
  };
  Dict d("<E><A>cat</A></E>\n");
  DictIO* io = d.build();
  for (const Case& c : cases) {
    d.write(".wrd", c.bytes);
    CaptureFd err(2);
    EXPECT_FALSE(io->loadWrd()) << c.what;
    EXPECT_EQ(err.text(), "Error: " + d.path(".wrd") + " is damaged: " + c.what + ".\n");
    EXPECT_EQ(map_size(&io->wordMap), 0);
    EXPECT_EQ(map_size(&io->idMap), 0);
  }
  d.write(".wrd", le32(2) + cat + dog);
  EXPECT_TRUE(io->loadWrd());
  EXPECT_EQ(d.wordNum(2)->chunk, -1);
}

TEST(WordList, LongWordsAreCutOnceAndConsistently) {
  std::string longWord(300, 'q');
  Dict d("<E><A>" + longWord + "</A><B>" + longWord.substr(0, 255) + "r " + longWord +
         "</B></E>\n");
  CaptureFd err(2);
  DictIO* io = d.build();
  EXPECT_EQ(err.text(), "Error: 3 words longer than 255 bytes were cut to their first 255 bytes.\n");
  EXPECT_EQ(map_size(&io->wordMap), 1);
  ASSERT_NE(d.word(longWord.substr(0, 255).c_str()), nullptr);
  // The word list stores the cut word; every cell carries its number.
  std::string wrd = d.read(".wrd");
  EXPECT_EQ(tohex(wrd.substr(4, 4)), "01 00 00 FF");
  EXPECT_EQ(wrd.substr(8, 255), longWord.substr(0, 255));
  EXPECT_EQ(tohex(d.read(".ent")),
            tohex(hex("81 00 00 00 82 01 00 00 00 00 00 02 83 01 00 00 01 00 00 00 00 00 03 01")));
  EXPECT_TRUE(io->loadWrd());
  EXPECT_EQ(map_size(&io->wordMap), 1);
}

}  // namespace
