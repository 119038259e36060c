// Editing a built dictionary in place: the bytes added to ".ent" and ".wid",
// cancelled occurrences, journal lines, transactions and undo, the stamp,
// the trace file, and the refusals that leave everything unchanged.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "base/binio.h"
#include "dictio/dictio.h"
#include "index_fixture.h"
#include "testutil.h"
#include "xml/entry.h"
#include "xml/query.h"
#include "xml/reader.h"
#include "xml/writer.h"

using indextest::Built;
using indextest::wordOf;
using testutil::CaptureFd;
using testutil::hex;
using testutil::tohex;

namespace {

// Tags: E 1, HW 2 (the key), DEF 3, LINK 4 (links to other entries by key).
const char kDef[] = "0 E\t1\t1\tN\n  1 HW\t1\t1\tK\n  1 DEF\t0\t-1\tN\n  1 LINK\t0\t-1\tL\n";
// Words: cat 1, a 2, small 3, animal 4, dog 5, loyal 6, fish 7, lives 8,
// in 9, water 10.
const char kXml[] =
    "<E><HW>cat</HW><DEF>a small animal</DEF></E>\n"
    "<E><HW>dog</HW><DEF>a loyal animal</DEF><LINK>cat</LINK></E>\n"
    "<E><HW>fish</HW><DEF>lives in water</DEF></E>\n";
const char kCat[] = "<E><HW>cat</HW><DEF>a small animal</DEF></E>";
const char kCow[] = "<E><HW>cow</HW><DEF>a big animal</DEF></E>";
const char kFish[] = "<E><HW>fish</HW><DEF>lives in water</DEF></E>";
const std::string kCancelled = "00FFFFFF";

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

// The texts of the journal's lines, after checking that every line is
// "YYYY/MM/DD HH:MM:SS user text".
std::vector<std::string> journalTexts(const std::string& journal) {
  const std::string who = userText(), form = "9999/99/99 99:99:99 " + who + " ";
  std::vector<std::string> texts;
  for (size_t at = 0, end; at < journal.size(); at = end + 1) {
    end = journal.find('\n', at);
    if (end == std::string::npos) {
      ADD_FAILURE() << "unterminated journal line";
      break;
    }
    std::string line = journal.substr(at, end - at);
    bool shaped = line.size() > form.size();
    for (size_t i = 0; shaped && i < form.size(); i++)
      shaped = form[i] == '9' && i < 19 ? isdigit(static_cast<unsigned char>(line[i])) != 0 : line[i] == form[i];
    EXPECT_TRUE(shaped) << line;
    texts.push_back(line.substr(std::min(line.size(), form.size())));
  }
  return texts;
}
using Lines = std::vector<std::string>;

std::string hits(DictIO& d, int tag, const char* words, int flags = 0) {
  twset found;
  d.findWordEnt(tag, words, &found, nullptr, 0, flags);
  return indextest::show(found);
}

class EditTest : public ::testing::Test {
 protected:
  Built b{kXml, kDef};

  std::string bytes(const char* suffix) const { return b.read(suffix); }
  std::unique_ptr<DictIO> open(int mode) const { return b.open(mode); }
  Lines journal() const { return journalTexts(bytes(".journal")); }

  // The codes of a word's chain, read straight from the ".wid" bytes.
  std::string chain(DictIO& d, const char* w) const {
    std::string wid = bytes(".wid"), codes;
    auto at = [&](long o) { return static_cast<uint32_t>(load_i32(reinterpret_cast<const unsigned char*>(wid.data()) + o)); };
    for (long c = wordOf(d, w)->chunk; c >= 0;) {
      uint32_t n = at(c);
      for (uint32_t i = 0; i < n; i++) {
        char hexCode[9];
        snprintf(hexCode, sizeof hexCode, "%08X", at(c + 4 + 4 * i));
        codes += (codes.empty() ? "" : " ") + std::string(hexCode);
      }
      long link = at(c + 4 + 4 * n);
      c = link ? link : -1;
    }
    return codes;
  }
  static std::string stored(DictIO& d, long id) {
    XMLEntry e;
    return d.getXMLEntry(&e, id) == 1 ? compact(&e) : "(none)";
  }
};

}  // namespace

TEST_F(EditTest, AddedEntryIsAppendedWithOneChunkPerCell) {
  auto d = open(0);
  long entEnd = static_cast<long>(bytes(".ent").size()), widEnd = static_cast<long>(bytes(".wid").size());
  int32_t aTail = wordOf(*d, "a")->tailLink;
  d->addEntry(parse(kCow).get(), 100, 0, nullptr);
  // New words are numbered on: cow 11 (in HW, met first), big 12.
  ASSERT_NE(wordOf(*d, "cow"), nullptr);
  EXPECT_EQ(wordOf(*d, "cow")->num * 100 + wordOf(*d, "big")->num, 1112);
  EXPECT_EQ(tohex(bytes(".ent").substr(entEnd)),
            "81 00 00 00 82 0B 00 00 00 00 00 02 83 02 00 00 0C 00 00 04 00 00 00 00 00 03 01");
  EXPECT_EQ(d->entPos[100], entEnd);
  EXPECT_EQ(d->posEnt[entEnd], 100);
  // One 12-byte chunk per cell, in cell order: cow, a, big, animal. A new
  // word's chain is its one chunk; a known word's chain is extended through
  // its old tail link.
  std::string wid = bytes(".wid");
  ASSERT_EQ(static_cast<long>(wid.size()), widEnd + 48);
  EXPECT_EQ(tohex(wid.substr(widEnd, 24)),
            "01 00 00 00 64 00 00 02 00 00 00 00 01 00 00 00 64 00 00 03 00 00 00 00");
  EXPECT_EQ(wordOf(*d, "cow")->chunk, widEnd);
  EXPECT_EQ(wordOf(*d, "cow")->chunk, wordOf(*d, "cow")->tailLink - 8);
  EXPECT_EQ(load_i32(reinterpret_cast<const unsigned char*>(wid.data()) + aTail), widEnd + 12);
  EXPECT_EQ(wordOf(*d, "a")->tailLink, widEnd + 20);
  EXPECT_EQ(chain(*d, "a"), "03000001 03000002 03000064");
  EXPECT_EQ(hits(*d, 3, "animal"), "1:3 2:3 100:3");
  EXPECT_EQ(stored(*d, 100), kCow);
  EXPECT_EQ(d->dirty, 1);

  // Numbers chosen for the caller are unused and storable.
  srand(7);
  std::set<long> seen = {1, 2, 3, 100};
  for (int i = 0; i < 20; i++) {
    long id = d->addEntry(parse("<E><HW>n" + std::to_string(i) + "</HW></E>").get(), 0, nullptr);
    EXPECT_TRUE(id >= 1 && id < 0xFFFFFF && seen.insert(id).second) << id;
    EXPECT_EQ(d->is_eid_del(id), 0);
  }
}

TEST_F(EditTest, DeletionCancelsTheCodesAndADeletedEntryIsNotDeletedAgain) {
  auto d = open(DIO_JOURNAL | DIO_UNDO);
  int32_t offset = d->entPos[3];
  std::string ent = bytes(".ent");
  d->beginTransaction();
  auto fish = parse(kFish);
  d->delEntry(3, fish.get(), 5);
  EXPECT_EQ(d->entPos.at(3), -1);
  EXPECT_EQ(d->posEnt.count(offset), 0u);
  EXPECT_EQ(chain(*d, "fish") + "|" + chain(*d, "water"), kCancelled + "|" + kCancelled);
  EXPECT_EQ(chain(*d, "a"), "03000001 03000002");
  EXPECT_EQ(hits(*d, 3, "water"), "");
  EXPECT_EQ(bytes(".ent"), ent);  // the packed entry stays, unreferenced

  std::string wid = bytes(".wid"), journal = bytes(".journal");
  uinf_t* newest = d->uinf[0];
  ASSERT_NE(newest, nullptr);
  d->delEntry(3, fish.get(), 5);
  d->delEntry(999, fish.get(), 5);
  EXPECT_EQ(bytes(".ent") + bytes(".wid") + bytes(".journal"), ent + wid + journal);
  EXPECT_EQ(d->uinf[0], newest);
  EXPECT_EQ(newest->next, nullptr);
  EXPECT_EQ(d->entPos.count(999), 0u);
}

TEST_F(EditTest, JournalLines) {
  auto d = open(DIO_JOURNAL);
  auto e = parse(kCow);
  d->addEntry(e.get(), 1, nullptr);
  for (int kind = 0; kind <= 6; kind++) d->JournalAdd(kind, e.get(), "calf");
  std::string c = compact(e.get());
  EXPECT_EQ(journal(), (Lines{"BEGIN", std::string("ADD_NEW ") + kCow, "ADD_NEW " + c, "ADD_EXP " + c,
                              "UPD_ENT " + c, "UPD_KEY calf => cow", "DEL_ENT " + c}));
  std::string before = bytes(".journal");
  open(0)->JournalAdd(1, e.get(), "");  // without the journal bit: nothing
  EXPECT_EQ(bytes(".journal"), before);
  d.reset();

  // A long line is written whole.
  std::string def;
  for (int i = 0; i < 3000; i++) def += (i ? " w" : "w") + std::to_string(i);
  auto big = open(DIO_JOURNAL);
  big->addEntry(parse("<E><HW>long</HW><DEF>" + def + "</DEF></E>").get(), 50, 1, nullptr);
  std::string want = "ADD_NEW <E><HW>long</HW><DEF>" + def + "</DEF></E>";
  ASSERT_GT(want.size(), 16384u);
  EXPECT_EQ(journal().back(), want);
  EXPECT_EQ(hits(*big, 3, "w2999"), "50:3");
}

TEST_F(EditTest, UpdatesKeepTheNumberAndWriteOneLine) {
  auto d = open(DIO_JOURNAL);
  const char furry[] = "<E><HW>cat</HW><DEF>a furry animal</DEF></E>";
  EXPECT_EQ(d->updEntry(parse(furry).get(), 1, 3, "", nullptr), 1);
  EXPECT_EQ(journal(), (Lines{"BEGIN", std::string("UPD_ENT ") + furry}));
  EXPECT_EQ(stored(*d, 1), furry);
  EXPECT_EQ(hits(*d, 3, "furry") + "|" + hits(*d, 3, "small"), "1:3|");
  EXPECT_EQ(chain(*d, "small"), kCancelled);

  // A new key re-links the linking entries and cancels their old codes.
  d->updEntry(parse("<E><HW>kitten</HW><DEF>a small animal</DEF></E>").get(), 1, 4, "cat", nullptr);
  EXPECT_EQ(journal(), (Lines{"BEGIN", std::string("UPD_ENT ") + furry, "UPD_KEY cat => kitten"}));
  EXPECT_EQ(stored(*d, 2), "<E><HW>dog</HW><DEF>a loyal animal</DEF><LINK>kitten</LINK></E>");
  EXPECT_EQ(hits(*d, 0, "kitten", FWE_LINK) + "|" + hits(*d, 0, "cat", FWE_LINK), "2:4|");
  EXPECT_EQ(chain(*d, "loyal"), kCancelled + " 03000002");
  EXPECT_EQ(hits(*d, 3, "loyal"), "2:3");
  XMLEntry found;
  EXPECT_EQ(d->getXMLEntryByKey(&found, "kitten"), 1);
}

TEST_F(EditTest, RefusalsChangeNothing) {
  auto d = open(DIO_JOURNAL | DIO_UNDO);
  std::string files = bytes(".ent") + bytes(".wid") + bytes(".journal");
  auto e = parse(kCow);
  CaptureFd err(2);
  for (long n : {0L, 0xFFFFFFL, 0x1000000L, 1L}) d->addEntry(e.get(), n, 1, nullptr);
  d->addEntry(parse("<X><HW>cow</HW></X>").get(), 9, 1, nullptr);
  d->updEntry(e.get(), -4, 3, "", nullptr);
  EXPECT_EQ(err.text(),
            "Error: Entry number 0 is out of range (1..16777214).\n"
            "Error: Entry number 16777215 is out of range (1..16777214).\n"
            "Error: Entry number 16777216 is out of range (1..16777214).\n"
            "Error: Entry 1 already exists.\n"
            "Error: Element X is not in the structure description.\n"
            "Error: Entry number -4 is out of range (1..16777214).\n");
  EXPECT_EQ(bytes(".ent") + bytes(".wid") + bytes(".journal"), files);
  EXPECT_EQ(d->size(), 3);
  EXPECT_EQ(wordOf(*d, "cow"), nullptr);
  EXPECT_EQ(d->uinfCount + d->dirty, 0);
}

TEST_F(EditTest, IndexThatCannotBeUpdatedLeavesNoHalfAppliedEdit) {
  auto d = open(DIO_JOURNAL | DIO_UNDO);
  std::string files = bytes(".ent") + bytes(".journal");
  ASSERT_EQ(remove(b.path(".wid").c_str()), 0);
  ASSERT_EQ(mkdir(b.path(".wid").c_str(), 0700), 0);
  auto e = parse(kCow);
  std::string msg = "Error: Could not open " + b.path(".wid") + " for updating.\n";
  CaptureFd err(2);
  EXPECT_EQ(d->addEntry(e.get(), 1, nullptr), -1);
  d->delEntry(1, nullptr, 5);
  d->updEntry(e.get(), 2, 3, "", nullptr);
  EXPECT_EQ(err.text(), msg + msg + msg);
  EXPECT_EQ(bytes(".ent") + bytes(".journal"), files);
  EXPECT_EQ(d->size(), 3);
  EXPECT_EQ(d->is_eid_del(1) + d->is_eid_del(2), 0);
  EXPECT_EQ(wordOf(*d, "cow"), nullptr);
  EXPECT_EQ(d->uinfCount + d->dirty, 0);
}

TEST_F(EditTest, UnopenableMarkerIsPassedOverUnopenableEntriesReported) {
  auto d = open(DIO_UNDO);
  ASSERT_EQ(mkdir(b.path(".war").c_str(), 0700), 0);
  ASSERT_EQ(remove(b.path(".ent").c_str()), 0);
  ASSERT_EQ(mkdir(b.path(".ent").c_str(), 0700), 0);
  CaptureFd err(2);
  d->beginTransaction();
  EXPECT_EQ(d->uinfCount, 1);
  EXPECT_EQ(d->addXMLPack(parse(kCow).get(), 5), -1);
  EXPECT_EQ(err.text(), "Error: Could not open " + b.path(".ent") + " for updating.\n");
  EXPECT_EQ(d->entPos.count(5), 0u);
}

TEST_F(EditTest, WordNumbersDoNotPassTheLimit) {
  auto d = open(0);
  wrdrec_t last = {const_cast<char*>("last"), 0xFFFFFF, -1, -1};  // the highest storable number
  map_assn(&d->idMap, map_ikey(last.num), &last);
  std::string ent = bytes(".ent");
  CaptureFd err(2);
  d->addEntry(parse(kCow).get(), 9, 0, nullptr);
  EXPECT_EQ(err.text(), "Error: No word numbers left for 2 new words (the highest is 16777215).\n");
  EXPECT_EQ(d->is_eid_del(9), 1);
  EXPECT_EQ(wordOf(*d, "cow"), nullptr);
  EXPECT_EQ(bytes(".ent"), ent);
  map_dele(&d->idMap, map_ikey(last.num));
}

TEST_F(EditTest, UndoRestoresNumbersEntriesAndTheJournalSize) {
  auto d = open(DIO_JOURNAL | DIO_UNDO);
  long journalSize = static_cast<long>(bytes(".journal").size());
  d->beginTransaction();
  EXPECT_TRUE(testutil::fileExists(b.path(".war")));
  long a = d->addEntry(parse(kCow).get(), 1, nullptr);
  d->delEntry(3, parse(kFish).get(), 5);
  d->endTransaction();
  EXPECT_FALSE(testutil::fileExists(b.path(".war")));
  EXPECT_EQ(journal().size(), 3u);
  EXPECT_EQ(d->undo(), 1);
  EXPECT_EQ(d->entPos.at(a), -1);
  EXPECT_EQ(stored(*d, 3), kFish);
  EXPECT_EQ(hits(*d, 3, "water") + "|" + hits(*d, 3, "big"), "3:3|");
  EXPECT_EQ(static_cast<long>(bytes(".journal").size()), journalSize);
  EXPECT_EQ(d->uinfCount + d->undoing, 0);
  EXPECT_EQ(d->undo(), 0);

  // Six transactions keep five undo levels.
  std::vector<long> journalAt;
  for (int i = 0; i < 6; i++) {
    journalAt.push_back(static_cast<long>(bytes(".journal").size()));
    d->beginTransaction();
    d->addEntry(parse("<E><HW>new" + std::to_string(i) + "</HW></E>").get(), 100 + i, 1, nullptr);
    d->endTransaction();
  }
  EXPECT_EQ(d->uinfCount, 5);
  for (int i = 0; i < 5; i++) EXPECT_EQ(d->undo(), 1) << i;
  EXPECT_EQ(d->undo(), 0);
  EXPECT_EQ(d->is_eid_del(100), 0);  // its level was dropped
  for (int i = 1; i < 6; i++) EXPECT_EQ(d->entPos.at(100 + i), -1);
  EXPECT_EQ(static_cast<long>(bytes(".journal").size()), journalAt[1]);
  for (int i = 0; i < DictIO::kUndoLevels; i++) EXPECT_TRUE(d->uinf[i] == nullptr && d->uinfID[i] == -1);
}

TEST_F(EditTest, ChangesOutsideATransactionAndUpdatesAreUndone) {
  auto d = open(DIO_UNDO);
  EXPECT_EQ(d->undo(), 0);
  d->delEntry(3, nullptr, 0);  // the undo copy is fetched from the file
  d->delEntry(1, nullptr, 0);
  EXPECT_EQ(d->uinfCount, 1);  // one level opened for both
  EXPECT_EQ(d->undo(), 1);
  EXPECT_EQ(stored(*d, 3) + stored(*d, 1), std::string(kFish) + kCat);
  EXPECT_EQ(d->uinfCount, 0);

  d->beginTransaction();
  d->updEntry(parse("<E><HW>fish</HW><DEF>swims</DEF></E>").get(), 3, 3, "", nullptr);
  EXPECT_EQ(hits(*d, 3, "swims"), "3:3");
  EXPECT_EQ(d->undo(), 1);  // as its deletion and addition
  EXPECT_EQ(stored(*d, 3), kFish);
  EXPECT_EQ(hits(*d, 3, "swims") + "|" + hits(*d, 3, "water"), "|3:3");
}

TEST_F(EditTest, TraceMarksEveryStep) {
  char old[4096];
  ASSERT_NE(getcwd(old, sizeof old), nullptr);
  ASSERT_EQ(chdir(b.dir.path().c_str()), 0);
  {
    auto d = open(DIO_TRACE);
    d->delEntry(3, nullptr, 0);
    d->addEntry(parse("<E><HW>eel</HW></E>").get(), 7, 0, nullptr);
  }
  ASSERT_EQ(chdir(old), 0);
  EXPECT_EQ(testutil::readFile(b.dir.file("pelmar.tra")),
            ">delEntry\n>delWords\n"
            ">delWord\nfish\n<delWord\n>delWord\nlives\n<delWord\n"
            ">delWord\nin\n<delWord\n>delWord\nwater\n<delWord\n"
            "<delWords\n<delEntry\n"
            ">addEntry_id\n>addXMLPack\n<addXMLPack\n>addWords\n>addWord\neel\n<addWord\n"
            "<addWords\n<addEntry_id\n");
}

TEST_F(EditTest, RemlinksDropsOnlyLinksWithoutTarget) {
  auto d = open(0);
  auto e = parse("<E><HW>pet</HW><LINK>cat</LINK><LINK>unicorn</LINK><LINK>unicorn</LINK></E>");
  EXPECT_EQ(d->remlinks_entr(e.get(), e.get()), 1);
  EXPECT_EQ(compact(e.get()), "<E><HW>pet</HW><LINK>cat</LINK></E>");
  EXPECT_EQ(d->remlinks_entr(e.get(), e.get()), 0);
}

TEST_F(EditTest, NewWordsNumberOnFromTheHighestAfterSpeedUp) {
  open(0)->delEntry(1, nullptr, 0);  // "small" occurs nowhere else
  b.run({"-s"});
  auto d = open(0);
  ASSERT_EQ(wordOf(*d, "small"), nullptr);
  EXPECT_EQ(map_size(&d->wordMap), 9);
  d->addEntry(parse("<E><HW>cow</HW></E>").get(), 50, 0, nullptr);
  EXPECT_EQ(wordOf(*d, "cow")->num, 11);
  EXPECT_EQ(wordOf(*d, "water")->num, 10);
  EXPECT_EQ(hits(*d, 3, "water") + "|" + hits(*d, 2, "cow"), "3:3|50:2");
}

TEST_F(EditTest, DamagedIndexesAreReported) {
  auto d = open(0);
  // The tail link of "a" no longer ends its chain.
  std::string wid = bytes(".wid");
  store_i32(reinterpret_cast<unsigned char*>(&wid[wordOf(*d, "a")->tailLink]), 5);
  testutil::writeFile(b.path(".wid"), wid);
  {
    CaptureFd err(2);
    d->addEntry(parse("<E><HW>eel</HW><DEF>a</DEF></E>").get(), 8, 0, nullptr);
    EXPECT_EQ(err.text(), "Error: Damaged chain of the word a in " + b.path(".wid") + ".\n");
  }
  // An entry whose offset lies past the end of the entry file.
  d->entPos[2] = 100000;
  d->posEnt[100000] = 2;
  CaptureFd err(2);
  d->delEntry(2, nullptr, 0);
  EXPECT_EQ(err.text(), "Error: Entry 2 lies beyond the end of " + b.path(".ent") + ".\n");
  EXPECT_EQ(d->entPos[2], 100000);
}

TEST(EditLongWords, AreKnownByTheirFirst255Bytes) {
  std::string longWord(300, 'q'), clipped(255, 'q');
  Built b("<E><HW>" + longWord + "</HW></E>\n", kDef);
  auto d = b.open(0);
  int words = map_size(&d->wordMap);
  CaptureFd err(2);
  d->addEntry(parse("<E><HW>x</HW><DEF>" + longWord + "</DEF></E>").get(), 9, 0, nullptr);
  EXPECT_EQ(err.text(), "Error: 1 words longer than 255 bytes were cut to their first 255 bytes.\n");
  EXPECT_EQ(map_size(&d->wordMap), words + 1);  // only "x" is new
  EXPECT_EQ(hits(*d, 3, clipped.c_str()) + "|" + hits(*d, 2, clipped.c_str()), "9:3|1:2");
}

// A structure with a stamp element: additions carry the user and the date,
// or the text given; an undone deletion gets no new stamp.
TEST(EditStamp, AddedEntryCarriesUserAndDate) {
  Built b("<E><HW>cat</HW></E>\n", "0 E\t1\t1\tN\n  1 HW\t1\t1\tN\n  1 STAMP\t0\t-1\tN\n");
  auto d = b.open(DIO_JOURNAL | DIO_UNDO);
  ASSERT_STREQ(d->stampPath, "E.STAMP");
  d->addEntry(parse("<E><HW>cow</HW></E>").get(), 5, 1, nullptr);
  char when[11];
  std::string want = "<E><HW>cow</HW><STAMP>" + userText() + " " + get_date(when) + "</STAMP></E>";
  XMLEntry e;
  ASSERT_EQ(d->getXMLEntry(&e, 5), 1);
  EXPECT_EQ(compact(&e), want);
  EXPECT_EQ(journalTexts(b.read(".journal")), (Lines{"BEGIN", "ADD_NEW " + want}));
  d->addEntry(parse("<E><HW>ox</HW></E>").get(), 6, 0, "ed 2001");
  d->beginTransaction();
  d->delEntry(6, nullptr, 0);
  EXPECT_EQ(d->undo(), 1);
  ASSERT_EQ(d->getXMLEntry(&e, 6), 1);
  EXPECT_EQ(compact(&e), "<E><HW>ox</HW><STAMP>ed 2001</STAMP></E>");
}

// Undo and re-linking store what was stored: an entry loaded and packed
// again would join stand-alone punctuation to its neighbours and lose words.
TEST(EditExactWords, UndoAndRelinkKeepEveryOtherWord) {
  Built b("<E><HW>cat</HW><DEF>small ( furry ) animal , pet</DEF></E>\n"
          "<E><HW>dog</HW><DEF>loyal ( furry ) animal</DEF><LINK>cat</LINK><LINK>cat food</LINK></E>\n",
          kDef);
  auto d = b.open(DIO_UNDO);
  const std::string ent = b.read(".ent");
  const size_t len1 = static_cast<size_t>(d->entPos.at(2));  // entry 1 stands first
  auto words = [&d] {
    return hits(*d, 3, "furry") + "|" + hits(*d, 3, ",") + "|" + hits(*d, 3, "(furry)") + "|" +
           hits(*d, 3, "animal,");
  };
  ASSERT_EQ(words(), "1:3 2:3|1:3||");
  d->beginTransaction();
  d->updEntry(parse("<E><HW>cat</HW><DEF>tiny</DEF></E>").get(), 1, 3, "", nullptr);
  EXPECT_EQ(d->undo(), 1);
  EXPECT_EQ(words(), "1:3 2:3|1:3||");
  // The undone deletion appended the very bytes entry 1 had.
  EXPECT_EQ(tohex(b.read(".ent").substr(static_cast<size_t>(d->entPos.at(1)), len1)),
            tohex(ent.substr(0, len1)));

  // A key update re-links entry 2; only the link equal to the old key
  // changes, every other word of the entry stays findable.
  d->updEntry(parse("<E><HW>kitty</HW><DEF>small ( furry ) animal , pet</DEF></E>").get(), 1, 4, "cat",
              nullptr);
  EXPECT_EQ(words(), "1:3 2:3|1:3||");
  EXPECT_EQ(hits(*d, 4, "kitty") + "|" + hits(*d, 4, "cat") + "|" + hits(*d, 4, "food"), "2:4|2:4|2:4");
  XMLEntry second;
  ASSERT_EQ(d->getXMLEntry(&second, 2), 1);
  EXPECT_EQ(compact(&second),
            "<E><HW>dog</HW><DEF>loyal (furry) animal</DEF><LINK>kitty</LINK><LINK>cat food</LINK></E>");
}

// A word repeated in one element is one occurrence, as a build stores it,
// so a limited search counts entries and a speed-up keeps no repeats.
TEST(EditExactWords, RepeatedWordsAddOneCodePerElement) {
  Built b("<E><HW>a</HW><DEF>zz</DEF></E>\n<E><HW>b</HW><DEF>zz</DEF></E>\n<E><HW>c</HW><DEF>zz</DEF></E>\n",
          kDef);
  auto limited = [](DictIO& d) {
    twset found;
    d.findWordEnt(3, "zz", &found, nullptr, 3, 0);
    return indextest::show(found);
  };
  {
    auto d = b.open(0);
    d->updEntry(parse("<E><HW>a</HW><DEF>zz zz</DEF></E>").get(), 1, 0, "", nullptr);
    d->updEntry(parse("<E><HW>b</HW><DEF>zz</DEF></E>").get(), 2, 0, "", nullptr);
    EXPECT_EQ(limited(*d), "1:3 2:3 3:3");
  }
  b.run({"-s"});
  auto d = b.open(0);
  EXPECT_EQ(limited(*d), "1:3 2:3 3:3");
  std::string wid = b.read(".wid");
  int32_t chunk = indextest::wordOf(*d, "zz")->chunk;
  EXPECT_EQ(load_i32(reinterpret_cast<const unsigned char*>(wid.data()) + chunk), 3);
}
