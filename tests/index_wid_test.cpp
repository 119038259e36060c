// The word-to-entry pass (".wid"), chunk writing and the chain walker.

#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "base/progress.h"
#include "dictio/dictio.h"
#include "dictio/widchain.h"
#include "index_fixture.h"
#include "xml/reader.h"
#include "testutil.h"

using indextest::chunk;
using indextest::code;
using indextest::Dict;
using indextest::le32;
using testutil::CaptureFd;
using testutil::tohex;

namespace {

// Word 7 ("seven") occurs once in each entry, in element A (tag 2).
const char* kSeven = "<E><A>w1 w2 w3 w4 w5 w6 seven</A></E>\n<E><A>seven</A></E>\n";

std::string ends(wrdrec_t* r) { return std::to_string(r->num) + ":" + std::to_string(r->chunk) + "-" + std::to_string(r->tailLink); }

TEST(WordIndex, OneChunkPerWordOrOnePerCodeWithBatchesOfOne) {
  Dict d(kSeven);
  d.build();
  std::string expect;
  for (int w = 1; w <= 6; ++w) expect += chunk({code(2, 1)}, 0);
  EXPECT_EQ(tohex(d.read(".wid")), tohex(expect + chunk({code(2, 1), code(2, 2)}, 0)));
  EXPECT_EQ(ends(d.word("seven")) + " " + ends(d.word("w3")), "7:72-84 3:24-32");

  Dict n1(kSeven);
  n1.build(1);
  std::string wid = n1.read(".wid");
  ASSERT_EQ(wid.size(), 96u);
  EXPECT_EQ(tohex(wid.substr(72)), tohex(chunk({code(2, 1)}, 84) + chunk({code(2, 2)}, 0)));
  EXPECT_EQ(ends(n1.word("seven")), "7:72-92");
  // The saved word list carries the chain ends.
  ASSERT_TRUE(n1.open(1)->loadWrd());
  EXPECT_EQ(ends(n1.word("seven")), "7:72-92");
}

TEST(WordIndex, CodesSortByTagThenEntryWithoutRepeatsWithinAChunk) {
  Dict d("<E><A>x</A><B>q</B></E>\n<E><A>q q</A><B>q</B></E>\n");
  d.build(0);  // no batches: one flush at the end
  EXPECT_EQ(tohex(d.read(".wid").substr(static_cast<size_t>(d.word("q")->chunk))),
            tohex(chunk({code(2, 2), code(3, 1), code(3, 2)}, 0)));
  // Three cells per entry; batches of two cut the first entry.
  // Batch 1: q@1, r@1. Batch 2: q@1 (again), q@2.
  Dict b("<E><A>q r q</A></E>\n<E><A>q</A></E>\n");
  b.build(2);
  EXPECT_EQ(tohex(b.read(".wid")),
            tohex(chunk({code(2, 1)}, 24) + chunk({code(2, 1)}, 0) + chunk({code(2, 1), code(2, 2)}, 0)));
  EXPECT_EQ(ends(b.word("q")), "1:0-36");
}

// Every word's chain after a build of `xml` in batches of maxEnt: the codes
// of all its chunks. *sorted tells whether each chunk was sorted and free
// of repeats.
std::map<std::string, std::set<int32_t>> chainsOf(const std::string& xml, int maxEnt,
                                                  bool* sorted) {
  Dict d(xml);
  DictIO* io = d.build(maxEnt);
  FILE* f = fopen(d.path(".wid").c_str(), "rb");
  WidChain chain(f, "d.wid");
  std::map<std::string, std::set<int32_t>> all;
  *sorted = true;
  for (long n = 1; n <= map_size(&io->idMap); ++n) {
    wrdrec_t* r = d.wordNum(n);
    std::set<int32_t>& codes = all[r->word];
    long last = -1;
    int32_t prev = -1;
    EXPECT_TRUE(chain.walk(r->chunk, [&](int32_t c, long off) {
      if (off != last + 4) prev = -1;  // a new chunk starts
      *sorted = *sorted && c > prev;
      prev = c;
      last = off;
      codes.insert(c);
      return true;
    }));
    EXPECT_EQ(chain.lastLink(), r->tailLink) << r->word;
  }
  fclose(f);
  return all;
}

// A pass that lets go of the mapping's pages now and then reads the same
// chains as one that keeps them.
TEST(WidChainPages, WalksAfterReleasingPagesReadTheSame) {
  std::string xml;
  for (int i = 0; i < 300; ++i)
    xml += "<E><A>w" + std::to_string(i % 37) + " v" + std::to_string(i % 11) + "</A><B>w" +
           std::to_string(i % 5) + "</B></E>\n";
  Dict d(xml);
  DictIO* io = d.build(50);
  FILE* f = fopen(d.path(".wid").c_str(), "rb");
  ASSERT_NE(f, nullptr);
  WidChain chain(f, "d.wid");
  auto walkAll = [&](bool release) {
    std::vector<int32_t> codes;
    for (long n = 1; n <= map_size(&io->idMap); ++n) {
      EXPECT_TRUE(chain.walk(d.wordNum(n)->chunk, [&](int32_t c, long) {
        codes.push_back(c);
        return true;
      }));
      if (release) chain.releasePages();
    }
    return codes;
  };
  const std::vector<int32_t> kept = walkAll(false);
  EXPECT_EQ(kept.size(), 300u * 3);
  EXPECT_EQ(walkAll(true), kept);
  EXPECT_EQ(walkAll(false), kept);
  fclose(f);
}

// Chains written in many small batches hold, chunk after chunk, exactly the
// codes that one batch holds in a single chunk.
TEST(WordIndex, ManyBatchesChainEveryChunk) {
  std::string xml;
  for (int e = 0; e < 400; ++e) {
    xml += "<E><A>common w" + std::to_string(e % 37) + "</A>";
    if (e % 3 == 0) xml += "<B>w" + std::to_string(e % 11) + " rare" + std::to_string(e) + "</B>";
    xml += "</E>\n";
  }
  bool sorted = false;
  auto whole = chainsOf(xml, 0, &sorted);
  EXPECT_TRUE(sorted);
  EXPECT_EQ(whole.size(), 37u + 134u + 1u);
  EXPECT_EQ(whole["common"].size(), 400u);
  for (int maxEnt : {1, 7, 50, 333}) {
    EXPECT_EQ(chainsOf(xml, maxEnt, &sorted), whole) << maxEnt;
    EXPECT_TRUE(sorted) << maxEnt;
  }
}

// An index of more than a megabyte: links of chunks that already went to
// the file are patched there, many to a block.
TEST(WordIndex, LinksArePatchedInTheFile) {
  std::string xml;
  for (int e = 0; e < 100000; ++e) xml += "<E><A>common w" + std::to_string(e % 500) + "</A></E>\n";
  bool sorted = false;
  auto whole = chainsOf(xml, 0, &sorted);
  auto batched = chainsOf(xml, 1000, &sorted);
  EXPECT_TRUE(sorted);
  EXPECT_EQ(batched.size(), 501u);
  EXPECT_TRUE(batched == whole);
}

// An edited dictionary's entries stand in ".ent" out of number order: the
// pass must still sort every chunk's codes by entry, also in batches large
// enough to be sorted by digits.
TEST(WordIndex, EntriesStoredOutOfNumberOrderStillGiveSortedChunks) {
  std::string xml;
  for (int e = 1; e <= 700; ++e) xml += "<E><A>common w" + std::to_string(e % 50) + "</A></E>\n";
  for (int maxEnt : {0, 1100}) {
    SCOPED_TRACE(maxEnt);
    Dict d(xml);
    DictIO* io = d.build(maxEnt);
    for (int id : {5, 300}) {
      io->delEntry(id, nullptr, 0);
      XML reader;
      ASSERT_TRUE(reader.getEntry(std::string("<E><A>common w7 again</A></E>")));
      io->addEntry(reader.getXMLEntry(), id, 0, nullptr);
    }
    ASSERT_GT(io->entPos[5], io->entPos[700]) << "entry 5 now stands last but one";
    io->makeWid();
    FILE* f = fopen(d.path(".wid").c_str(), "rb");
    ASSERT_NE(f, nullptr);
    WidChain chain(f, "d.wid");
    for (const char* w : {"common", "w7", "again"}) {
      wrdrec_t* r = d.word(w);
      ASSERT_NE(r, nullptr) << w;
      std::vector<int32_t> codes;
      long last = -1;
      bool sorted = true;
      EXPECT_TRUE(chain.walk(r->chunk, [&](int32_t c, long off) {
        if (off == last + 4) sorted = sorted && c > codes.back();
        codes.push_back(c);
        last = off;
        return true;
      }));
      EXPECT_TRUE(sorted) << w;
      if (std::string(w) == "again") {
        EXPECT_EQ(codes, (std::vector<int32_t>{static_cast<int32_t>(code(2, 5)),
                                               static_cast<int32_t>(code(2, 300))}));
      }
      if (std::string(w) == "common") {
        // The deleted entries' old bytes are still read; they belong to no entry.
        std::set<int32_t> live;
        for (int32_t c : codes)
          if ((c & 0xFFFFFF) != 0) live.insert(c);
        EXPECT_EQ(live.size(), 700u);
      }
    }
    fclose(f);
  }
}

// A forced build writes the index while its entry pass runs; the pass over
// the entry file must give the very same bytes and chain ends, on a thread
// of its own or, on one core, on the entry pass's.
void expectFedIndexAsReadBack() {
  std::string xml;
  for (int e = 0; e < 3000; ++e) {
    xml += "<E><A>common w" + std::to_string(e % 397) + " v" + std::to_string(e % 13) + "</A>";
    if (e % 4 == 0) xml += "<B>w" + std::to_string(e % 7) + " only" + std::to_string(e) + "</B>";
    xml += "</E>\n";
  }
  for (int maxEnt : {0, 500000, 1000000}) {
    SCOPED_TRACE(maxEnt);
    // Every word's number and chain ends.
    auto chainEnds = [](DictIO* io) {
      std::map<std::string, std::string> ends;
      int pos = 0;
      for (void* p; (p = map_get_nth(&io->wordMap, &pos)) != nullptr; ++pos) {
        auto* r = static_cast<wrdrec_t*>(p);
        ends[r->word] = std::to_string(r->num) + ":" + std::to_string(r->chunk) + "-" + std::to_string(r->tailLink);
      }
      return ends;
    };
    Dict d(xml);
    const auto fedEnds = chainEnds(d.build(maxEnt));
    const std::string fed = d.read(".wid");
    ASSERT_GT(fed.size(), 9000u * 4);
    ASSERT_EQ(remove(d.path(".wid").c_str()), 0);
    DictIO* io = d.open(maxEnt);
    io->makeFid(0);  // the word list stands: only the index is built, from ".ent"
    EXPECT_TRUE(d.read(".wid") == fed);
    EXPECT_TRUE(chainEnds(io) == fedEnds);
  }
}

TEST(WordIndex, TheIndexFedByTheEntryPassIsTheOneReadBackFromTheEntries) {
  expectFedIndexAsReadBack();
}

TEST(WordIndex, OnOneCoreTheFedIndexIsTheSame) {
  testutil::PinToOneCore pin;
  expectFedIndexAsReadBack();
}

TEST(WordIndex, PassAnnouncesItselfAndReportsProgress) {
  Dict d(kSeven);
  DictIO* io = d.build();
  io->output = 1;
  long entSize = static_cast<long>(d.read(".ent").size());
  CaptureFd out(1), err(2);
  io->makeWid();
  EXPECT_EQ(err.text(), "Building " + d.path(".wid") + "...\n");
  // Entry 1 is 31 bytes: 81 000000 82 <7 cells> 000000 02 01.
  EXPECT_EQ(out.text(), indextest::progressText(entSize, {31, entSize}) + kClearLine);
}

TEST(WordIndex, PassFailures) {
  // An empty entry file gives an empty index.
  Dict e("");
  DictIO* io = e.open();
  io->makeWrd();
  e.write(".wid", "old");
  io->makeWid();
  EXPECT_TRUE(testutil::fileExists(e.path(".wid")));
  EXPECT_EQ(e.read(".wid"), "");

  // Word numbers missing from the list are a damaged index: reported, and
  // the index is left as it was.
  Dict d(kSeven);
  io = d.build();
  std::string wid = d.read(".wid");
  map_dele(&io->idMap, map_ikey(7));
  {
    CaptureFd err(2);
    io->makeWid();
    EXPECT_EQ(err.text(), "Error: " + d.path(".ent") + " holds 2 occurrences of word numbers missing from " +
                              d.path(".wrd") + "; nothing is changed.\n");
  }
  EXPECT_EQ(d.read(".wid"), wid);

  // A missing entry file leaves the index alone.
  remove(d.path(".ent").c_str());
  CaptureFd err(2);
  io->makeWid();
  EXPECT_EQ(err.text(), "Error: Could not open " + d.path(".ent") + ".\n");
  EXPECT_EQ(d.read(".wid"), wid);
}

TEST(WordIndex, WriteWordsAppendsAndLinksChunks) {
  Dict d("<E><A>cat</A></E>\n");
  DictIO* io = d.build();
  FILE* f = tmpfile();
  EXPECT_EQ(io->widWriteWords(1, {}, 0, 0, &f), 0);
  EXPECT_EQ(io->widWriteWords(1, {5, 3}, 0, 0, &f), 12);
  EXPECT_EQ(ends(d.word("cat")), "1:0-12");
  EXPECT_EQ(io->widWriteWords(1, {7}, 12, 1, &f), 24);
  EXPECT_EQ(ends(d.word("cat")), "1:0-24");
  {
    CaptureFd err(2);
    EXPECT_EQ(io->widWriteWords(9, {7}, 0, 0, &f), 0);
    EXPECT_EQ(err.text(), "Error: Word number 9 is not in the word list.\n");
  }
  std::string bytes(28, '\0');
  rewind(f);
  ASSERT_EQ(fread(bytes.data(), 1, 28, f), 28u);
  EXPECT_EQ(tohex(bytes), tohex(chunk({3, 5}, 16) + chunk({7}, 0)));
  fclose(f);
}

// A walk over a file holding `bytes` from `start`: "code@offset" per code
// visited (at most stopAfter), the last link, the result and standard error.
std::string walk(const std::string& bytes, int32_t start, size_t stopAfter = 100000) {
  FILE* f = tmpfile();
  fwrite(bytes.data(), 1, bytes.size(), f);
  fflush(f);
  WidChain chain(f, "d.wid");
  std::string seen;
  size_t n = 0;
  CaptureFd err(2);
  bool ok = chain.walk(start, [&](int32_t c, long off) {
    seen += std::to_string(c) + "@" + std::to_string(off) + " ";
    return ++n < stopAfter;
  });
  seen += "last=" + std::to_string(chain.lastLink()) + (ok ? " ok" : " failed") + " " + err.text();
  fclose(f);
  return seen;
}

TEST(ChainWalk, FollowsLinksInOrder) {
  std::string two = chunk({11, 12}, 16) + chunk({13}, 0);
  EXPECT_EQ(walk(two, 0), "11@4 12@8 13@20 last=24 ok ");
  EXPECT_EQ(walk(two, 0, 2).substr(0, 10), "11@4 12@8 ");  // the visitor stops the walk
  EXPECT_EQ(walk(two, -1), "last=-1 ok ");                 // no occurrences
  std::vector<uint32_t> codes;
  std::string want;
  for (uint32_t i = 1; i <= 300; ++i) {
    codes.push_back(i);
    want += std::to_string(i) + "@" + std::to_string(4 * i) + " ";
  }
  EXPECT_EQ(walk(chunk(codes, 0), 0), want + "last=1204 ok ");  // a long chunk is read whole
}

TEST(ChainWalk, DamageIsReportedNeverFollowed) {
  const std::tuple<std::string, int32_t, std::string> cases[] = {
      {chunk({1}, 0), 100, "a chunk lies outside the file (offset 100, value 12)"},
      {chunk({1}, 0), 4, "a chunk lies outside the file (offset 4, value 12)"},
      {chunk({1}, 0), -5, "a chain starts at a negative offset (offset -5, value -5)"},
      {chunk({1}, 40), 0, "a chunk lies outside the file (offset 40, value 12)"},
      {chunk({1}, 12) + chunk({2}, 12), 0, "a link does not point forward (offset 20, value 12)"},
      {chunk({1, 2}, 8), 0, "a link does not point forward (offset 12, value 8)"},
      {chunk({1}, 4), 0, "a link does not point forward (offset 8, value 4)"},
      {le32(0) + le32(0) + le32(0), 0, "a chunk holds an impossible count (offset 0, value 0)"},
      {le32(3) + le32(0) + le32(0), 0, "a chunk holds an impossible count (offset 0, value 3)"},
      {le32(0x80000000) + le32(0) + le32(0), 0, "a chunk holds an impossible count (offset 0, value -2147483648)"},
  };
  for (const auto& [file, start, what] : cases) {
    std::string got = walk(file, start);
    EXPECT_EQ(got.substr(got.find("failed")), "failed Error: d.wid is damaged: " + what + ".\n");
  }
}

}  // namespace
