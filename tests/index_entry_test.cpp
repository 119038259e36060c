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
// The record of "cat": number 1, length 3, the text, chunk 0, tail link 12.
const char* kCat = "01 00 00 03 63 61 74 00 00 00 00 0C 00 00 00";

std::string eidOf(const std::vector<std::pair<uint32_t, int32_t>>& recs) {
  std::string s = le32(static_cast<uint32_t>(recs.size()));
  for (auto [num, off] : recs) s += le24(num) + le32(static_cast<uint32_t>(off));
  return s;
}

std::string pairs(const OrdMap& m) {
  std::string s;
  for (auto [k, v] : m) s += std::to_string(k) + ">" + std::to_string(v) + " ";
  return s;
}

TEST(EntryIndex, ThreeEntriesGiveA25ByteFileThatSavesAndLoads) {
  Dict d(kThree);
  DictIO* io = d.build();
  // Each entry packs to 81 000000 82 <word> 000000 02 01: 13 bytes.
  EXPECT_EQ(tohex(d.read(".ent")), "81 00 00 00 82 01 00 00 00 00 00 02 01 81 00 00 00 82 02 00 00 00 00 00 02 01"
                                   " 81 00 00 00 82 03 00 00 00 00 00 02 01");
  EXPECT_EQ(d.read(".eid").size(), 25u);
  EXPECT_EQ(tohex(d.read(".eid")), tohex(eidOf({{1, 0}, {2, 13}, {3, 26}})));

  io->output = 1;
  io->entPos[2] = -1;
  {
    CaptureFd out(1);
    io->saveEid();
    io->entPos.clear();
    EXPECT_TRUE(io->loadEid());
    EXPECT_EQ(out.text(), "Saving " + d.path(".eid") + "...\nLoading " + d.path(".eid") + "...\n");
  }
  EXPECT_EQ(pairs(io->entPos), "1>0 2>-1 3>26 ");
  EXPECT_EQ(pairs(io->posEnt), "-1>2 0>1 26>3 ");
  // Asking never adds numbers.
  EXPECT_EQ(std::to_string(io->is_eid_del(99)) + std::to_string(io->is_eid_del(0)) +
                std::to_string(io->is_eid_del(2)) + std::to_string(io->is_eid_del(1)) +
                std::to_string(io->is_eid_del(3)),
            "11100");
  EXPECT_EQ(io->size(), 3);

  // The reverse map keeps the highest number per offset; stale pairs go.
  DictIO r;
  r.entPos = {{1, 0}, {2, 0}, {3, 13}, {4, -1}, {5, -1}};
  r.posEnt = {{99, 9}};
  r.makeREid();
  EXPECT_EQ(pairs(r.posEnt), "-1>5 0>2 13>3 ");
}

TEST(EntryIndex, LoadRefusesDamagedFiles) {
  const std::pair<std::string, std::string> cases[] = {
      {hex("03 00"), "too short for its record count (2)"},
      {eidOf({{1, 0}, {2, 13}}).replace(0, 1, "\x03"), "the record count does not match the file size (3)"},
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
  for (const auto& [bytes, what] : cases) {
    d.write(".eid", bytes);
    CaptureFd err(2);
    EXPECT_FALSE(io->loadEid()) << what;
    EXPECT_EQ(err.text(), "Error: " + d.path(".eid") + " is damaged: " + what + ".\n");
    EXPECT_TRUE(io->entPos.empty() && io->posEnt.empty()) << what;
  }
  // A file that does not open leaves the maps as they were.
  io->entPos[7] = 0;
  remove(d.path(".eid").c_str());
  CaptureFd err(2);
  EXPECT_FALSE(io->loadEid());
  EXPECT_EQ(err.text(), "Error: Could not open " + d.path(".eid") + ".\n");
  EXPECT_EQ(io->entPos.size(), 1u);
}

TEST(WordList, RecordOfCatAndNumbering) {
  // Two occurrences: one chunk of two codes at 0, its link at 12.
  Dict d("<E><A>cat</A></E>\n<E><A>cat</A></E>\n");
  DictIO* io = d.build();
  EXPECT_EQ(tohex(d.read(".wrd")), tohex(le32(1) + hex(kCat)));
  EXPECT_EQ(io->wordCount("cat") * 10 + io->wordCount("Cat"), 10);

  // Words are numbered children first, in order of first occurrence.
  Dict n("<E><A>cat</A><B>a cat</B></E>\n<E><B>Hello, world</B><A>a dog</A></E>\n");
  n.build();
  std::string nums;
  for (const char* w : {"cat", "a", "Hello,", "world", "dog"}) nums += std::to_string(n.word(w)->num);
  EXPECT_EQ(nums, "12345");
  EXPECT_EQ(n.wordNum(4)->word, std::string("world"));
  EXPECT_EQ(n.word("Hello"), nullptr);
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
  CaptureFd out(1), err(2);
  io->makeWrd();
  EXPECT_EQ(out.text(), indextest::progressText(static_cast<long>(xml.size()), ends) + kClearLine +
                            "3 words.\n" + kClearLine + "3 entries.\n");
  EXPECT_EQ(err.text(), "Building " + d.path(".wrd") + "...\n");

  // An empty dictionary: no words and no entries, and an empty entry file.
  Dict e("");
  io = e.open();
  io->output = 1;
  CaptureFd out2(1), err2(2);
  io->makeWrd();
  EXPECT_EQ(out2.text(), std::string(kClearLine) + "0 words.\n" + kClearLine + "0 entries.\n");
  EXPECT_EQ(err2.text(), "Building " + e.path(".wrd") + "...\n");
  EXPECT_TRUE(testutil::fileExists(e.path(".ent")));
  EXPECT_EQ(e.read(".ent"), "");
}

TEST(WordList, SaveAndLoadKeepEveryRecord) {
  Dict d("<E><A>one two three</A><B>two four</B></E>\n<E><A>five one</A></E>\n");
  DictIO* io = d.build();
  auto records = [&] {
    std::string s;
    for (long n = 1; n <= 5; ++n) {
      wrdrec_t* r = d.wordNum(n);
      s += std::string(r->word) + " " + std::to_string(r->num) + " " + std::to_string(r->chunk) + " " +
           std::to_string(r->tailLink) + "|";
    }
    return s;
  };
  std::string before = records();
  io->output = 1;
  CaptureFd out(1);
  EXPECT_TRUE(io->loadWrd());
  EXPECT_EQ(out.text(), "Loading " + d.path(".wrd") + "...\n");
  EXPECT_EQ(map_size(&io->wordMap) * 10 + map_size(&io->idMap), 55);
  EXPECT_EQ(records(), before);
}

TEST(WordList, LoadRefusesDamagedFiles) {
  std::string cat = hex(kCat), dog = hex("02 00 00 03 64 6F 67 FF FF FF FF FF FF FF FF");
  const std::pair<std::string, std::string> cases[] = {
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
      {le32(1) + hex("01 00 00 03 63 00 74") + cat.substr(7), "a word text is empty or holds a NUL byte (1)"},
      {le32(1) + hex("01 00 00 00 00 00 00 00 0C 00 00 00 00 00 00 00 00 00 00"),
       "a word text is empty or holds a NUL byte (1)"},
      {le32(1) + cat.substr(0, 7) + le32(0) + le32(4), "a word's chain offsets are impossible (1)"},
      {le32(1) + cat.substr(0, 7) + le32(0xFFFFFFFF) + le32(8), "a word's chain offsets are impossible (1)"},
  };
  Dict d("<E><A>cat</A></E>\n");
  DictIO* io = d.build();
  for (const auto& [bytes, what] : cases) {
    d.write(".wrd", bytes);
    CaptureFd err(2);
    EXPECT_FALSE(io->loadWrd()) << what;
    EXPECT_EQ(err.text(), "Error: " + d.path(".wrd") + " is damaged: " + what + ".\n");
    EXPECT_EQ(map_size(&io->wordMap) + map_size(&io->idMap), 0) << what;
  }
  d.write(".wrd", le32(2) + cat + dog);  // a word without chain is sound
  EXPECT_TRUE(io->loadWrd());
  EXPECT_EQ(d.wordNum(2)->chunk, -1);
}

TEST(WordList, LongWordsAreCutOnceAndConsistently) {
  std::string longWord(300, 'q');
  Dict d("<E><A>" + longWord + "</A><B>" + longWord.substr(0, 255) + "r " + longWord + "</B></E>\n");
  CaptureFd err(2);
  DictIO* io = d.build();
  EXPECT_EQ(err.text(), "Error: 3 words longer than 255 bytes were cut to their first 255 bytes.\n");
  EXPECT_EQ(map_size(&io->wordMap), 1);
  ASSERT_NE(d.word(longWord.substr(0, 255).c_str()), nullptr);
  // The word list stores the cut word; every cell carries its number.
  std::string wrd = d.read(".wrd");
  EXPECT_EQ(tohex(wrd.substr(4, 4)), "01 00 00 FF");
  EXPECT_EQ(wrd.substr(8, 255), longWord.substr(0, 255));
  EXPECT_EQ(tohex(d.read(".ent")), "81 00 00 00 82 01 00 00 00 00 00 02 83 01 00 00 01 00 00 00 00 00 03 01");
  EXPECT_TRUE(io->loadWrd());
  EXPECT_EQ(map_size(&io->wordMap), 1);
}

}  // namespace
