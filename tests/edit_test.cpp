// Editing a built dictionary in place: the bytes added to ".ent" and ".wid",
// cancelled occurrences, journal lines, transactions and undo, the stamp,
// the trace file, and the refusals that leave everything unchanged.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "base/binio.h"
#include "dictio/dictio.h"
#include "dtd/dtd.h"
#include "testutil.h"
#include "xml/entry.h"
#include "xml/query.h"
#include "xml/reader.h"
#include "xml/writer.h"

using testutil::CaptureFd;
using testutil::hex;
using testutil::readFile;
using testutil::run;
using testutil::TempDir;
using testutil::tohex;
using testutil::writeFile;

namespace {

// Tags: E 1, HW 2 (the key), DEF 3, LINK 4 (links to other entries by key).
const char kDef[] =
    "0 E\t1\t1\tN\n"
    "  1 HW\t1\t1\tK\n"
    "  1 DEF\t0\t-1\tN\n"
    "  1 LINK\t0\t-1\tL\n";
// Words: cat 1, a 2, small 3, animal 4, dog 5, loyal 6, fish 7, lives 8,
// in 9, water 10.
const char kXml[] =
    "<E><HW>cat</HW><DEF>a small animal</DEF></E>\n"
    "<E><HW>dog</HW><DEF>a loyal animal</DEF><LINK>cat</LINK></E>\n"
    "<E><HW>fish</HW><DEF>lives in water</DEF></E>\n";
const char kCow[] = "<E><HW>cow</HW><DEF>a big animal</DEF></E>";
const char kFish[] = "<E><HW>fish</HW><DEF>lives in water</DEF></E>";

using Hits = std::set<std::pair<int, int>>;

std::unique_ptr<XMLEntry> parse(const std::string& text) {
  XML x;
  EXPECT_TRUE(x.getEntry(text)) << text;
  return std::unique_ptr<XMLEntry>(XMLcopyEntry(x.root, nullptr));
}

std::string compact(const XMLEntry* e) { return XMLprintEntry(e, true, false); }

std::string userText() {
  char who[256];
  return get_name(who);
}

std::string dateText() {
  char when[11];
  return get_date(when);
}

// True when `s` is a date-time text: "9999/99/99 99:99:99" with any digits.
bool isDateTime(const std::string& s) {
  const std::string form = "9999/99/99 99:99:99";
  if (s.size() != form.size()) return false;
  for (size_t i = 0; i < s.size(); i++)
    if (form[i] == '9' ? !isdigit(static_cast<unsigned char>(s[i])) : s[i] != form[i]) return false;
  return true;
}

// The kind texts of the journal's lines, after checking that every line is
// "date time user text".
std::vector<std::string> journalTexts(const std::string& journal) {
  std::string who = userText();
  std::vector<std::string> texts;
  size_t at = 0;
  while (at < journal.size()) {
    size_t end = journal.find('\n', at);
    EXPECT_NE(end, std::string::npos) << "unterminated journal line";
    if (end == std::string::npos) break;
    std::string line = journal.substr(at, end - at);
    at = end + 1;
    EXPECT_TRUE(line.size() > 21 + who.size() && isDateTime(line.substr(0, 19)) &&
                line.compare(19, who.size() + 2, " " + who + " ") == 0)
        << line;
    texts.push_back(line.substr(std::min(line.size(), 21 + who.size())));
  }
  return texts;
}

class EditTest : public ::testing::Test {
 protected:
  TempDir dir;

  std::string base() const { return dir.file("d"); }
  std::string path(const char* suffix) const { return base() + suffix; }
  std::string bytes(const char* suffix) const { return readFile(path(suffix)); }

  void build(const std::string& def, const std::string& xml) {
    if (!def.empty()) writeFile(path(".def"), def);
    writeFile(path(".xml"), xml);
    auto r = run({LEXORN_BIN, "d"}, dir.path());
    ASSERT_EQ(r.status, 0) << r.err;
  }

  std::unique_ptr<DictIO> open(int mode) {
    return std::make_unique<DictIO>(base().c_str(), 0, mode);
  }

  static Hits hits(DictIO& d, int tag, const char* words, int flags = 0) {
    twset found;
    d.findWordEnt(tag, words, &found, nullptr, 0, flags);
    Hits out;
    for (const twident& h : found) out.insert({h.eid, h.tid});
    return out;
  }

  static wrdrec_t* word(DictIO& d, const char* w) {
    return static_cast<wrdrec_t*>(map_get(&d.wordMap, const_cast<char*>(w)));
  }

  // The codes of a word's chain, read straight from the ".wid" bytes.
  std::vector<uint32_t> chain(DictIO& d, const char* w) const {
    std::string wid = bytes(".wid");
    auto at = [&](long o) {
      return static_cast<uint32_t>(
          load_i32(reinterpret_cast<const unsigned char*>(wid.data()) + o));
    };
    std::vector<uint32_t> codes;
    for (long chunk = word(d, w)->chunk; chunk >= 0;) {
      uint32_t n = at(chunk);
      for (uint32_t i = 0; i < n; i++) codes.push_back(at(chunk + 4 + 4 * i));
      long link = at(chunk + 4 + 4 * n);
      chunk = link ? link : -1;
    }
    return codes;
  }

  static std::string stored(DictIO& d, long id) {
    XMLEntry e;
    if (d.getXMLEntry(&e, id) != 1) return "(none)";
    return compact(&e);
  }
};

constexpr uint32_t kCancelled = 0x00FFFFFF;

// Changes the working directory for the life of the object.
class InDir {
 public:
  explicit InDir(const std::string& dir) {
    char buf[4096];
    old_ = getcwd(buf, sizeof buf) ? buf : ".";
    EXPECT_EQ(chdir(dir.c_str()), 0);
  }
  ~InDir() { EXPECT_EQ(chdir(old_.c_str()), 0); }

 private:
  std::string old_;
};

}  // namespace

TEST_F(EditTest, AddedEntryIsAppendedWithOneChunkPerCell) {
  build(kDef, kXml);
  auto d = open(0);
  long entEnd = static_cast<long>(bytes(".ent").size());
  long widEnd = static_cast<long>(bytes(".wid").size());
  int32_t aTail = word(*d, "a")->tailLink;
  auto e = parse(kCow);
  d->addEntry(e.get(), 100, 0, nullptr);

  // New words are numbered on: cow 11 (in HW, met first), big 12.
  ASSERT_NE(word(*d, "cow"), nullptr);
  EXPECT_EQ(word(*d, "cow")->num, 11);
  EXPECT_EQ(word(*d, "big")->num, 12);
  EXPECT_EQ(
      bytes(".ent").substr(entEnd),
      hex("81 00 00 00 82 0B 00 00 00 00 00 02 83 02 00 00 0C 00 00 04 00 00 00 00 00 03 01"));
  EXPECT_EQ(d->entPos[100], entEnd);
  EXPECT_EQ(d->posEnt[entEnd], 100);

  // One 12-byte chunk per cell, in cell order: cow, a, big, animal.
  std::string wid = bytes(".wid");
  ASSERT_EQ(static_cast<long>(wid.size()), widEnd + 48);
  EXPECT_EQ(tohex(wid.substr(widEnd, 12)), tohex(hex("01 00 00 00 64 00 00 02 00 00 00 00")));
  EXPECT_EQ(word(*d, "cow")->chunk, widEnd);
  EXPECT_EQ(word(*d, "cow")->chunk, word(*d, "cow")->tailLink - 8);
  // A known word's chain is extended through its old tail link.
  EXPECT_EQ(load_i32(reinterpret_cast<const unsigned char*>(wid.data()) + aTail), widEnd + 12);
  EXPECT_EQ(tohex(wid.substr(widEnd + 12, 12)), tohex(hex("01 00 00 00 64 00 00 03 00 00 00 00")));
  EXPECT_EQ(word(*d, "a")->tailLink, widEnd + 20);
  EXPECT_EQ(chain(*d, "a"), (std::vector<uint32_t>{0x03000001, 0x03000002, 0x03000064}));

  EXPECT_EQ(hits(*d, 3, "animal"), (Hits{{1, 3}, {2, 3}, {100, 3}}));
  EXPECT_EQ(stored(*d, 100), kCow);
  EXPECT_EQ(d->dirty, 1);
}

TEST_F(EditTest, RandomNumbersAreUnusedAndStorable) {
  build(kDef, kXml);
  auto d = open(0);
  srand(7);
  std::set<long> seen = {1, 2, 3};
  for (int i = 0; i < 20; i++) {
    auto e = parse("<E><HW>n" + std::to_string(i) + "</HW></E>");
    long id = d->addEntry(e.get(), 0, nullptr);
    EXPECT_GE(id, 1);
    EXPECT_LT(id, 0xFFFFFF);
    EXPECT_TRUE(seen.insert(id).second) << id;
    EXPECT_EQ(d->is_eid_del(id), 0);
  }
}

TEST_F(EditTest, DeletionCancelsTheEntrysCodes) {
  build(kDef, kXml);
  auto d = open(0);
  int32_t offset = d->entPos[3];
  std::string ent = bytes(".ent");
  d->delEntry(3, nullptr, 0);
  EXPECT_EQ(d->entPos.at(3), -1);
  EXPECT_EQ(d->posEnt.count(offset), 0u);
  EXPECT_EQ(chain(*d, "fish"), std::vector<uint32_t>{kCancelled});
  EXPECT_EQ(chain(*d, "water"), std::vector<uint32_t>{kCancelled});
  EXPECT_EQ(chain(*d, "a"), (std::vector<uint32_t>{0x03000001, 0x03000002}));
  EXPECT_EQ(hits(*d, 3, "water"), Hits{});
  EXPECT_EQ(bytes(".ent"), ent);  // the packed entry stays, unreferenced
}

TEST_F(EditTest, DeletingADeletedEntryChangesNothing) {
  build(kDef, kXml);
  auto d = open(DIO_JOURNAL | DIO_UNDO);
  d->beginTransaction();
  auto fish = parse(kFish);
  d->delEntry(3, fish.get(), 5);
  std::string ent = bytes(".ent"), wid = bytes(".wid"), journal = bytes(".journal");
  uinf_t* newest = d->uinf[0];
  ASSERT_NE(newest, nullptr);
  d->delEntry(3, fish.get(), 5);
  d->delEntry(999, fish.get(), 5);
  EXPECT_EQ(bytes(".ent"), ent);
  EXPECT_EQ(bytes(".wid"), wid);
  EXPECT_EQ(bytes(".journal"), journal);
  EXPECT_EQ(d->uinf[0], newest);
  EXPECT_EQ(newest->next, nullptr);
  EXPECT_EQ(d->entPos.count(999), 0u);
}

TEST_F(EditTest, JournalLinesOfEveryKind) {
  build(kDef, kXml);
  auto d = open(DIO_JOURNAL);
  auto e = parse(kCow);
  d->addEntry(e.get(), 1, nullptr);
  for (int kind = 0; kind <= 6; kind++) d->JournalAdd(kind, e.get(), "calf");
  std::string c = compact(e.get());
  EXPECT_EQ(journalTexts(bytes(".journal")),
            (std::vector<std::string>{"BEGIN", std::string("ADD_NEW ") + kCow, "ADD_NEW " + c,
                                      "ADD_EXP " + c, "UPD_ENT " + c, "UPD_KEY calf => cow",
                                      "DEL_ENT " + c}));
  // Without the journal bit nothing is written.
  auto quiet = open(0);
  std::string before = bytes(".journal");
  quiet->JournalAdd(1, e.get(), "");
  EXPECT_EQ(bytes(".journal"), before);
}

TEST_F(EditTest, LongJournalTextIsWrittenWhole) {
  build(kDef, kXml);
  auto d = open(DIO_JOURNAL);
  std::string def;
  for (int i = 0; i < 3000; i++) def += (i ? " w" : "w") + std::to_string(i);
  auto e = parse("<E><HW>long</HW><DEF>" + def + "</DEF></E>");
  d->addEntry(e.get(), 50, 1, nullptr);
  std::string want = "ADD_NEW <E><HW>long</HW><DEF>" + def + "</DEF></E>";
  ASSERT_GT(want.size(), 16384u);
  EXPECT_EQ(journalTexts(bytes(".journal")), (std::vector<std::string>{"BEGIN", want}));
  EXPECT_EQ(hits(*d, 3, "w2999"), (Hits{{50, 3}}));
}

TEST_F(EditTest, UpdateKeepsTheNumberAndWritesOneLine) {
  build(kDef, kXml);
  auto d = open(DIO_JOURNAL);
  const char furry[] = "<E><HW>cat</HW><DEF>a furry animal</DEF></E>";
  auto e = parse(furry);
  EXPECT_EQ(d->updEntry(e.get(), 1, 3, "", nullptr), 1);
  EXPECT_EQ(journalTexts(bytes(".journal")),
            (std::vector<std::string>{"BEGIN", std::string("UPD_ENT ") + furry}));
  EXPECT_EQ(stored(*d, 1), furry);
  EXPECT_EQ(hits(*d, 3, "furry"), (Hits{{1, 3}}));
  EXPECT_EQ(hits(*d, 3, "small"), Hits{});
  EXPECT_EQ(chain(*d, "small"), std::vector<uint32_t>{kCancelled});
}

TEST_F(EditTest, KeyUpdateRelinksAndCancelsTheOldLinkCodes) {
  build(kDef, kXml);
  auto d = open(DIO_JOURNAL);
  auto e = parse("<E><HW>kitten</HW><DEF>a small animal</DEF></E>");
  d->updEntry(e.get(), 1, 4, "cat", nullptr);
  EXPECT_EQ(journalTexts(bytes(".journal")),
            (std::vector<std::string>{"BEGIN", "UPD_KEY cat => kitten"}));
  EXPECT_EQ(stored(*d, 2), "<E><HW>dog</HW><DEF>a loyal animal</DEF><LINK>kitten</LINK></E>");
  EXPECT_EQ(hits(*d, 0, "kitten", FWE_LINK), (Hits{{2, 4}}));
  // The re-linked entry's old occurrences are cancelled, not left live.
  EXPECT_EQ(hits(*d, 0, "cat", FWE_LINK), Hits{});
  EXPECT_EQ(chain(*d, "loyal"), (std::vector<uint32_t>{kCancelled, 0x03000002}));
  EXPECT_EQ(hits(*d, 3, "loyal"), (Hits{{2, 3}}));
  XMLEntry found;
  EXPECT_EQ(d->getXMLEntryByKey(&found, "kitten"), 1);
}

TEST_F(EditTest, RefusalsChangeNothing) {
  build(kDef, kXml);
  auto d = open(DIO_JOURNAL | DIO_UNDO);
  std::string ent = bytes(".ent"), wid = bytes(".wid"), journal = bytes(".journal");
  auto e = parse(kCow);
  auto stray = parse("<X><HW>cow</HW></X>");
  CaptureFd err(2);
  d->addEntry(e.get(), 0, 1, nullptr);
  d->addEntry(e.get(), 0xFFFFFF, 1, nullptr);
  d->addEntry(e.get(), 0x1000000, 1, nullptr);
  d->addEntry(e.get(), 1, 1, nullptr);
  d->addEntry(stray.get(), 9, 1, nullptr);
  d->updEntry(e.get(), -4, 3, "", nullptr);
  EXPECT_EQ(err.text(),
            "Error: Entry number 0 is out of range (1..16777214).\n"
            "Error: Entry number 16777215 is out of range (1..16777214).\n"
            "Error: Entry number 16777216 is out of range (1..16777214).\n"
            "Error: Entry 1 already exists.\n"
            "Error: Element X is not in the structure description.\n"
            "Error: Entry number -4 is out of range (1..16777214).\n");
  EXPECT_EQ(bytes(".ent"), ent);
  EXPECT_EQ(bytes(".wid"), wid);
  EXPECT_EQ(bytes(".journal"), journal);
  EXPECT_EQ(d->size(), 3);
  EXPECT_EQ(word(*d, "cow"), nullptr);
  EXPECT_EQ(d->uinfCount, 0);
  EXPECT_EQ(d->dirty, 0);
}

TEST_F(EditTest, IndexThatCannotBeUpdatedLeavesTablesUnchanged) {
  build(kDef, kXml);
  auto d = open(DIO_JOURNAL | DIO_UNDO);
  std::string ent = bytes(".ent"), journal = bytes(".journal");
  ASSERT_EQ(remove(path(".wid").c_str()), 0);
  ASSERT_EQ(mkdir(path(".wid").c_str(), 0700), 0);
  auto e = parse(kCow);
  std::string msg = "Error: Could not open " + path(".wid") + " for updating.\n";
  CaptureFd err(2);
  EXPECT_EQ(d->addEntry(e.get(), 1, nullptr), -1);
  d->delEntry(1, nullptr, 5);
  d->updEntry(e.get(), 2, 3, "", nullptr);
  EXPECT_EQ(err.text(), msg + msg + msg);
  EXPECT_EQ(bytes(".ent"), ent);
  EXPECT_EQ(bytes(".journal"), journal);
  EXPECT_EQ(d->size(), 3);
  EXPECT_EQ(d->is_eid_del(1) + d->is_eid_del(2), 0);
  EXPECT_EQ(word(*d, "cow"), nullptr);
  EXPECT_EQ(d->uinfCount, 0);
  EXPECT_EQ(d->dirty, 0);
}

TEST_F(EditTest, UnopenableMarkerIsPassedOverUnopenableEntriesReported) {
  build(kDef, kXml);
  auto d = open(DIO_UNDO);
  ASSERT_EQ(mkdir(path(".war").c_str(), 0700), 0);
  ASSERT_EQ(remove(path(".ent").c_str()), 0);
  ASSERT_EQ(mkdir(path(".ent").c_str(), 0700), 0);
  auto e = parse(kCow);
  CaptureFd err(2);
  d->beginTransaction();
  EXPECT_EQ(d->uinfCount, 1);
  EXPECT_EQ(d->addXMLPack(e.get(), 5), -1);
  EXPECT_EQ(err.text(), "Error: Could not open " + path(".ent") + " for updating.\n");
  EXPECT_EQ(d->entPos.count(5), 0u);
}

TEST_F(EditTest, WordNumbersDoNotPassTheLimit) {
  build(kDef, kXml);
  auto d = open(0);
  // A word already holding the highest storable number.
  wrdrec_t last = {const_cast<char*>("last"), 0xFFFFFF, -1, -1};
  map_assn(&d->idMap, map_ikey(last.num), &last);
  std::string ent = bytes(".ent");
  auto e = parse(kCow);
  CaptureFd err(2);
  d->addEntry(e.get(), 9, 0, nullptr);
  EXPECT_EQ(err.text(), "Error: No word numbers left for 2 new words (the highest is 16777215).\n");
  EXPECT_EQ(d->is_eid_del(9), 1);
  EXPECT_EQ(word(*d, "cow"), nullptr);
  EXPECT_EQ(bytes(".ent"), ent);
  map_dele(&d->idMap, map_ikey(last.num));
}

TEST_F(EditTest, UndoRestoresADeletedEntryAndCutsTheJournal) {
  build(kDef, kXml);
  auto d = open(DIO_JOURNAL | DIO_UNDO);
  long journal = static_cast<long>(bytes(".journal").size());
  d->beginTransaction();
  EXPECT_TRUE(testutil::fileExists(path(".war")));
  EXPECT_EQ(d->uinfCount, 1);
  auto cow = parse(kCow);
  long a = d->addEntry(cow.get(), 1, nullptr);
  auto fish = parse(kFish);
  d->delEntry(3, fish.get(), 5);
  d->endTransaction();
  EXPECT_FALSE(testutil::fileExists(path(".war")));
  EXPECT_EQ(journalTexts(bytes(".journal")).size(), 3u);

  EXPECT_EQ(d->undo(), 1);
  EXPECT_EQ(d->entPos.at(a), -1);
  EXPECT_EQ(stored(*d, 3), kFish);
  EXPECT_EQ(hits(*d, 3, "water"), (Hits{{3, 3}}));
  EXPECT_EQ(hits(*d, 3, "big"), Hits{});
  EXPECT_EQ(static_cast<long>(bytes(".journal").size()), journal);
  EXPECT_EQ(d->uinfCount, 0);
  EXPECT_EQ(d->undoing, 0);
  EXPECT_EQ(d->undo(), 0);
}

TEST_F(EditTest, SixTransactionsKeepFiveUndoLevels) {
  build(kDef, kXml);
  auto d = open(DIO_JOURNAL | DIO_UNDO);
  std::vector<long> journalAt;
  for (int i = 0; i < 6; i++) {
    journalAt.push_back(static_cast<long>(bytes(".journal").size()));
    d->beginTransaction();
    auto e = parse("<E><HW>new" + std::to_string(i) + "</HW></E>");
    d->addEntry(e.get(), 100 + i, 1, nullptr);
    d->endTransaction();
  }
  EXPECT_EQ(d->uinfCount, 5);
  for (int i = 0; i < 5; i++) EXPECT_EQ(d->undo(), 1) << i;
  EXPECT_EQ(d->undo(), 0);
  EXPECT_EQ(d->is_eid_del(100), 0);  // its level was dropped
  for (int i = 1; i < 6; i++) EXPECT_EQ(d->entPos.at(100 + i), -1);
  EXPECT_EQ(static_cast<long>(bytes(".journal").size()), journalAt[1]);
  for (int i = 0; i < DictIO::kUndoLevels; i++) {
    EXPECT_EQ(d->uinf[i], nullptr);
    EXPECT_EQ(d->uinfID[i], -1);
  }
}

TEST_F(EditTest, ChangeOutsideATransactionOpensALevel) {
  build(kDef, kXml);
  auto d = open(DIO_UNDO);
  EXPECT_EQ(d->undo(), 0);
  d->delEntry(3, nullptr, 0);  // the undo copy is fetched from the file
  d->delEntry(1, nullptr, 0);
  EXPECT_EQ(d->uinfCount, 1);
  EXPECT_EQ(d->undo(), 1);
  EXPECT_EQ(stored(*d, 3), kFish);
  EXPECT_EQ(stored(*d, 1), "<E><HW>cat</HW><DEF>a small animal</DEF></E>");
  EXPECT_EQ(d->uinfCount, 0);
}

TEST_F(EditTest, UpdateIsUndoneAsItsDeletionAndAddition) {
  build(kDef, kXml);
  auto d = open(DIO_UNDO);
  d->beginTransaction();
  auto e = parse("<E><HW>fish</HW><DEF>swims</DEF></E>");
  d->updEntry(e.get(), 3, 3, "", nullptr);
  EXPECT_EQ(hits(*d, 3, "swims"), (Hits{{3, 3}}));
  EXPECT_EQ(d->undo(), 1);
  EXPECT_EQ(stored(*d, 3), kFish);
  EXPECT_EQ(hits(*d, 3, "swims"), Hits{});
  EXPECT_EQ(hits(*d, 3, "water"), (Hits{{3, 3}}));
}

TEST_F(EditTest, TraceMarksEveryStep) {
  build(kDef, kXml);
  InDir here(dir.path());
  auto d = open(DIO_TRACE);
  d->delEntry(3, nullptr, 0);
  auto e = parse("<E><HW>eel</HW></E>");
  d->addEntry(e.get(), 7, 0, nullptr);
  EXPECT_EQ(readFile(dir.file("pelmar.tra")),
            ">delEntry\n>delWords\n"
            ">delWord\nfish\n<delWord\n>delWord\nlives\n<delWord\n"
            ">delWord\nin\n<delWord\n>delWord\nwater\n<delWord\n"
            "<delWords\n<delEntry\n"
            ">addEntry_id\n>addXMLPack\n<addXMLPack\n>addWords\n>addWord\neel\n<addWord\n"
            "<addWords\n<addEntry_id\n");
}

TEST_F(EditTest, RemlinksDropsOnlyLinksWithoutTarget) {
  build(kDef, kXml);
  auto d = open(0);
  auto e = parse("<E><HW>pet</HW><LINK>cat</LINK><LINK>unicorn</LINK><LINK>unicorn</LINK></E>");
  EXPECT_EQ(d->remlinks_entr(e.get(), e.get()), 1);
  EXPECT_EQ(compact(e.get()), "<E><HW>pet</HW><LINK>cat</LINK></E>");
  EXPECT_EQ(d->remlinks_entr(e.get(), e.get()), 0);
}

TEST_F(EditTest, NewWordsNumberOnFromTheHighestAfterSpeedUp) {
  build(kDef, kXml);
  open(0)->delEntry(1, nullptr, 0);  // "small" occurs nowhere else
  auto r = run({LEXORN_BIN, "-s", "d"}, dir.path());
  ASSERT_EQ(r.status, 0) << r.err;
  auto d = open(0);
  ASSERT_EQ(word(*d, "small"), nullptr);
  EXPECT_EQ(map_size(&d->wordMap), 9);
  auto e = parse("<E><HW>cow</HW></E>");
  d->addEntry(e.get(), 50, 0, nullptr);
  EXPECT_EQ(word(*d, "cow")->num, 11);
  EXPECT_EQ(word(*d, "water")->num, 10);
  EXPECT_EQ(hits(*d, 3, "water"), (Hits{{3, 3}}));
  EXPECT_EQ(hits(*d, 2, "cow"), (Hits{{50, 2}}));
}

TEST_F(EditTest, LongWordsAreKnownByTheirFirst255Bytes) {
  std::string longWord(300, 'q');
  build(kDef, "<E><HW>" + longWord + "</HW></E>\n");
  auto d = open(0);
  int words = map_size(&d->wordMap);
  auto e = parse("<E><HW>x</HW><DEF>" + longWord + "</DEF></E>");
  CaptureFd err(2);
  d->addEntry(e.get(), 9, 0, nullptr);
  EXPECT_EQ(err.text(),
            "Error: 1 words longer than 255 bytes were cut to their first 255 bytes.\n");
  EXPECT_EQ(map_size(&d->wordMap), words + 1);  // only "x" is new
  std::string clipped(255, 'q');
  EXPECT_EQ(hits(*d, 3, clipped.c_str()), (Hits{{9, 3}}));
  EXPECT_EQ(hits(*d, 2, clipped.c_str()), (Hits{{1, 2}}));
}

TEST_F(EditTest, DamagedIndexesAreReported) {
  build(kDef, kXml);
  auto d = open(0);
  // The tail link of "a" no longer ends its chain.
  std::string wid = bytes(".wid");
  store_i32(reinterpret_cast<unsigned char*>(&wid[word(*d, "a")->tailLink]), 5);
  writeFile(path(".wid"), wid);
  auto e = parse("<E><HW>eel</HW><DEF>a</DEF></E>");
  {
    CaptureFd err(2);
    d->addEntry(e.get(), 8, 0, nullptr);
    EXPECT_EQ(err.text(), "Error: Damaged chain of the word a in " + path(".wid") + ".\n");
  }
  // An entry whose offset lies past the end of the entry file.
  d->entPos[2] = 100000;
  d->posEnt[100000] = 2;
  CaptureFd err(2);
  d->delEntry(2, nullptr, 0);
  EXPECT_EQ(err.text(), "Error: Entry 2 lies beyond the end of " + path(".ent") + ".\n");
  EXPECT_EQ(d->entPos[2], 100000);
}

// A structure description with a stamp element: additions carry the user
// and the date, or the text given.
class StampTest : public EditTest {
 protected:
  void SetUp() override {
    build("0 E\t1\t1\tN\n  1 HW\t1\t1\tN\n  1 STAMP\t0\t-1\tN\n", "<E><HW>cat</HW></E>\n");
  }
};

TEST_F(StampTest, AddedEntryCarriesUserAndDate) {
  auto d = open(DIO_JOURNAL);
  ASSERT_STREQ(d->stampPath, "E.STAMP");
  auto e = parse("<E><HW>cow</HW></E>");
  d->addEntry(e.get(), 5, 1, nullptr);
  std::string want = "<E><HW>cow</HW><STAMP>" + userText() + " " + dateText() + "</STAMP></E>";
  EXPECT_EQ(stored(*d, 5), want);
  EXPECT_EQ(journalTexts(bytes(".journal")),
            (std::vector<std::string>{"BEGIN", "ADD_NEW " + want}));
  auto f = parse("<E><HW>ox</HW></E>");
  d->addEntry(f.get(), 6, 0, "ed 2001");
  EXPECT_EQ(stored(*d, 6), "<E><HW>ox</HW><STAMP>ed 2001</STAMP></E>");
}

TEST_F(StampTest, UndoRestoresTheEntryWithoutANewStamp) {
  auto d = open(DIO_UNDO);
  auto e = parse("<E><HW>cow</HW></E>");
  d->addEntry(e.get(), 5, 0, "ed");
  d->beginTransaction();
  d->delEntry(5, nullptr, 0);
  EXPECT_EQ(d->undo(), 1);
  EXPECT_EQ(stored(*d, 5), "<E><HW>cow</HW><STAMP>ed</STAMP></E>");
}
