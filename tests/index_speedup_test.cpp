// The speed-up pass: chain merging, dropped words, the entry rewrite, and
// failures that leave the old files in place.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/map.h"
#include "base/progress.h"
#include "dictio/dictio.h"
#include "index_fixture.h"
#include "testutil.h"

using indextest::chunk;
using indextest::code;
using indextest::Dict;
using indextest::le24;
using indextest::le32;
using indextest::progressText;
using indextest::upTo;
using testutil::CaptureFd;
using testutil::tohex;

namespace {

// Five entries of 16 packed bytes each; beta and delta occur only in 2 and 4.
const char* kFive =
    "<E><A>alpha common</A></E>\n<E><A>beta common</A></E>\n<E><A>gamma common</A></E>\n"
    "<E><A>beta delta</A></E>\n<E><A>eps common</A></E>\n";
const std::string kFiles = "d.def d.eid d.ent d.wid d.wrd d.xml ";

std::string files(const Dict& d) {
  std::string s;
  for (const std::string& n : testutil::listDir(d.dir().path())) s += n + " ";
  return s;
}

TEST(SpeedUp, MergesAChainIntoOneChunk) {
  Dict d("<E><A>q</A></E>\n<E><A>q</A></E>\n<E><A>q</A></E>\n");
  DictIO* io = d.build(1);
  EXPECT_EQ(tohex(d.read(".wid")),
            tohex(chunk({code(2, 1)}, 12) + chunk({code(2, 2)}, 24) + chunk({code(2, 3)}, 0)));
  io->speedup();
  EXPECT_EQ(tohex(d.read(".wid")), tohex(chunk({code(2, 1), code(2, 2), code(2, 3)}, 0)));
  EXPECT_EQ(d.word("q")->chunk, 0);
  EXPECT_EQ(d.word("q")->tailLink, d.word("q")->chunk + 16);
  EXPECT_EQ(tohex(d.read(".wrd")), tohex(le32(1) + le24(1) + "\x01q" + le32(0) + le32(16)));
  EXPECT_EQ(files(d), kFiles);  // no temporary file left
}

TEST(SpeedUp, FreshBuildKeepsEveryWordAndEntry) {
  Dict d(kFive);
  DictIO* io = d.build();
  std::string ent = d.read(".ent"), eid = d.read(".eid"), wid = d.read(".wid");
  io->output = 1;
  CaptureFd out(1);
  io->speedup();
  EXPECT_EQ(out.text(), "Speeding up " + d.path(".wid") + "...\n" + progressText(6, upTo(6)) + kClearLine +
                            "Saving " + d.path(".wrd") + "...\n");
  EXPECT_EQ(d.read(".ent") + d.read(".eid"), ent + eid);
  EXPECT_EQ(d.read(".wid").size(), wid.size());
  EXPECT_EQ(map_size(&io->idMap) * 10 + map_size(&io->wordMap), 66);
}

TEST(SpeedUp, DropsDeletedEntriesAndWordsLeftWithoutOccurrences) {
  Dict d(kFive);
  DictIO* io = d.build();
  std::string ent = d.read(".ent");
  ASSERT_EQ(ent.size(), 80u);
  io->entPos[2] = io->entPos[4] = -1;
  io->makeREid();
  io->output = 1;
  CaptureFd out(1);
  io->speedup();
  EXPECT_EQ(out.text(), "Speeding up " + d.path(".wid") + "...\n" + progressText(6, upTo(6)) + kClearLine +
                            "Saving " + d.path(".wrd") + "...\n" + "Speeding up " + d.path(".ent") + "...\n" +
                            progressText(3, upTo(3)) + kClearLine + "3 entries\n" + "Saving " +
                            d.path(".eid") + "...\n" + kClearLine);
  // Entries 1, 3 and 5 back to back from 0, their numbers unchanged.
  EXPECT_EQ(tohex(d.read(".ent")), tohex(ent.substr(0, 16) + ent.substr(32, 16) + ent.substr(64, 16)));
  EXPECT_EQ(tohex(d.read(".eid")), tohex(le32(3) + le24(1) + le32(0) + le24(3) + le32(16) + le24(5) + le32(32)));
  EXPECT_EQ(io->size(), 3);
  EXPECT_EQ(std::vector<OrdMap::value_type>(io->posEnt.begin(), io->posEnt.end()),
            (std::vector<OrdMap::value_type>{{0, 1}, {16, 3}, {32, 5}}));
  // beta and delta are gone from both tables and from the saved list.
  EXPECT_TRUE(d.word("beta") == nullptr && d.word("delta") == nullptr);
  EXPECT_TRUE(d.wordNum(3) == nullptr && d.wordNum(5) == nullptr);
  EXPECT_EQ(map_size(&io->wordMap), 4);
  EXPECT_EQ(d.read(".wrd").substr(0, 4), le32(4));
  EXPECT_EQ(d.read(".wrd").find("beta"), std::string::npos);
  wrdrec_t* common = d.word("common");
  EXPECT_EQ(d.read(".wid").size(), 4u * 12u + 8u);
  EXPECT_EQ(tohex(d.read(".wid").substr(static_cast<size_t>(common->chunk), 20)),
            tohex(chunk({code(2, 1), code(2, 3), code(2, 5)}, 0)));
  EXPECT_EQ(common->tailLink, common->chunk + 16);
  EXPECT_EQ(files(d), kFiles);
  // What was saved loads back to the same state.
  int32_t commonChunk = common->chunk;
  io->output = 0;
  ASSERT_TRUE(io->loadWrd());
  ASSERT_TRUE(io->loadEid());
  EXPECT_EQ(d.word("common")->chunk, commonChunk);
  EXPECT_EQ(io->size(), 3);
}

TEST(SpeedUp, CancelledCodesAreDroppedWithTheirWord) {
  Dict d(kFive);
  DictIO* io = d.build();
  // The editing side cancels an occurrence by writing entry 0xFFFFFF over it.
  std::string wid = d.read(".wid");
  wid.replace(static_cast<size_t>(d.word("alpha")->chunk) + 4, 4, le32(0xFFFFFF));
  d.write(".wid", wid);
  io->speedupWords(1);
  EXPECT_EQ(d.word("alpha"), nullptr);
  EXPECT_EQ(map_size(&io->idMap), 5);
}

int forall_last(void*, void* val, void* arg) {
  *static_cast<wrdrec_t**>(arg) = static_cast<wrdrec_t*>(val);
  return 1;
}

TEST(SpeedUp, WordWithoutChainIsDropped) {
  Dict d(kFive);
  DictIO* io = d.build();
  // The last word of the walk has no chunk: its place holder stays behind
  // the last chunk, as four zero bytes, since nothing overwrites it.
  wrdrec_t* last = nullptr;
  map_forall(&io->idMap, forall_last, &last);
  ASSERT_NE(last, nullptr);
  std::string lastWord = last->word;
  last->chunk = last->tailLink = -1;
  io->speedupWords(1);
  EXPECT_EQ(d.word(lastWord.c_str()), nullptr);
  EXPECT_EQ(map_size(&io->idMap), 5);
  std::string wid = d.read(".wid");
  long chunks = 0;
  for (long n = 1; n <= 6; ++n)
    if (wrdrec_t* r = d.wordNum(n)) chunks += r->tailLink + 4 - r->chunk;
  EXPECT_EQ(static_cast<long>(wid.size()), chunks + 4);
  EXPECT_EQ(wid.substr(wid.size() - 4), le32(0));
}

TEST(SpeedUp, FailuresLeaveEverythingAsItWas) {
  Dict d(kFive);
  DictIO* io = d.build(1);
  std::string wid = d.read(".wid"), wrd = d.read(".wrd");
  // The last chunk's link field now points back to the start of the file.
  std::string bad = wid;
  bad.replace(bad.size() - 4, 4, le32(4));
  d.write(".wid", bad);
  wrdrec_t* eps = d.word("eps");
  std::string before = std::to_string(eps->chunk) + "-" + std::to_string(eps->tailLink);
  {
    CaptureFd err(2);
    io->speedup();
    EXPECT_EQ(err.text(), "Error: " + d.path(".wid") + " is damaged: a link does not point forward (offset " +
                              std::to_string(wid.size() - 4) + ", value 4).\n" + "Error: Speeding up " +
                              d.path(".wid") + " failed; the file is left as it was.\n");
  }
  EXPECT_EQ(d.read(".wid") + d.read(".wrd"), bad + wrd);
  EXPECT_EQ(std::to_string(d.word("eps")->chunk) + "-" + std::to_string(d.word("eps")->tailLink), before);
  EXPECT_EQ(map_size(&io->idMap), 6);
  EXPECT_EQ(files(d), kFiles);

  remove(d.path(".wid").c_str());
  CaptureFd err(2);
  io->speedupWords(1);
  EXPECT_EQ(err.text(), "Error: Could not open " + d.path(".wid") + ".\n");
  EXPECT_EQ(map_size(&io->idMap), 6);
}

TEST(SpeedUp, UnreadableEntryIsDroppedFromTheIndex) {
  Dict d(kFive);
  DictIO* io = d.build();
  io->entPos[2] = -1;
  io->makeREid();
  std::string ent = d.read(".ent");
  d.write(".ent", ent.substr(0, ent.size() - 3));  // entry 5 loses its last bytes
  CaptureFd err(2);
  io->speedup();
  EXPECT_EQ(err.text(), "Error: Entry 5 of " + d.path(".ent") + " cannot be read; it is dropped.\n");
  EXPECT_EQ(tohex(d.read(".ent")), tohex(ent.substr(0, 16) + ent.substr(32, 32)));
  EXPECT_EQ(tohex(d.read(".eid")), tohex(le32(3) + le24(1) + le32(0) + le24(3) + le32(16) + le24(4) + le32(32)));
  EXPECT_EQ(io->is_eid_del(5), 1);
  EXPECT_EQ(files(d), kFiles);
}

TEST(SpeedUp, ReadOnlyOrDamagedDictionaryKeepsItsFiles) {
  Dict d(kFive);
  d.build(1);  // one chunk per occurrence: a speed-up would rewrite .wid and .wrd
  const std::string base = d.path("");
  const std::string built = testutil::snapshot(d.dir().path());
  {
    DictIO ro(base.c_str(), 0, DIO_READONLY);
    ASSERT_EQ(ro.damaged, 0);
    CaptureFd err(2);
    ro.speedup();
    ro.speedupWords(1);
    ro.speedupEnts();
    const std::string refused = "Error: Dictionary " + base + " is open read-only; it cannot be sped up.\n";
    EXPECT_EQ(err.text(), refused + refused + refused);
  }
  EXPECT_EQ(testutil::snapshot(d.dir().path()), built);

  // An entry index that promises two records and holds one.
  d.write(".eid", le32(2) + le24(1) + le32(0));
  const std::string damaged = testutil::snapshot(d.dir().path());
  CaptureFd err(2);
  {
    DictIO full(base.c_str(), 0, 0);
    ASSERT_EQ(full.damaged, 1);
    full.speedup();
  }
  const std::string text = err.text();
  const std::string refused = "Error: Dictionary " + base + " is damaged; it cannot be sped up.\n";
  ASSERT_GE(text.size(), refused.size());
  EXPECT_EQ(text.substr(text.size() - refused.size()), refused);
  EXPECT_EQ(testutil::snapshot(d.dir().path()), damaged);
}

}  // namespace
