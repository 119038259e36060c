// Entry lookup and word search over small dictionaries built by the lexorn
// binary: sequential and by-number reading, neighbour moves, word search
// with its flags, limit and restriction, queries by element type, the word
// list of an element, key generation, and damaged or deleted material.

#include <gtest/gtest.h>
#include <regex.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
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
using indextest::show;
using indextest::wordOf;
using testutil::CaptureFd;

namespace {

// Tag numbers follow the lines of kDef.
enum { kE = 1, kHW = 2, kTR = 3, kEX = 4, kLNK = 5, kREF = 6 };

const char kDef[] =
    "0 E\t1\t1\tN\n  1 HW\t1\t1\tK\n  1 TR\t0\t-1\tN\n  1 EX\t0\t-1\tN\n  1 LNK\t0\t-1\tL\n"
    "  1 REF\t0\t-1\tR\tE.HW\n";

// ZZZ is not described, so its word is numbered but never indexed.
const char kXml[] =
    "<?xml version=\"1.0\" encoding=\"ISO-8859-2\"?>\n"
    "<E><HW>cat</HW><TR>kocka cat</TR><EX>the cat sat</EX></E>\n"
    "<E><HW>car</HW><LNK>cat</LNK><TR>cat auto</TR></E>\n"
    "<E><HW>dog</HW><TR>pes</TR><EX>a dog and a cat</EX><REF>cat</REF></E>\n"
    "<E><HW>cab</HW><TR>taxi cat</TR><TR>cab</TR></E>\n"
    "<E><HW>bird</HW><TR>ptak</TR><EX></EX><ZZZ>ghost</ZZZ></E>\n"
    "<E><HW>eel</HW><LNK>cat</LNK><TR>fish</TR></E>\n"
    "<E><HW>num</HW><TR>1 2 3 4 5 6 7 8</TR></E>\n";

struct Lookup {
  Built built;
  std::unique_ptr<DictIO> db;
  explicit Lookup(const std::vector<std::string>& flags = {}, const std::string& xml = kXml,
                  const std::string& def = kDef)
      : built(xml, def, flags), db(built.open()) {}
  DictIO* operator->() { return db.get(); }
};

std::string compact(const XMLEntry& e) { return XMLprintEntry(&e, true, false); }

// Marks entry n deleted the way the editing side leaves it.
void markDeleted(DictIO* d, int32_t n) {
  d->posEnt.erase(d->entPos[n]);
  d->entPos[n] = -1;
}

}  // namespace

// ---------------------------------------------------------------------------
// Word search on a plain build, after -s, and with one code per chunk (-n1).

class Search : public ::testing::TestWithParam<const char*> {
 protected:
  void SetUp() override {
    std::string flag = GetParam();
    dict = std::make_unique<Lookup>(flag.empty() ? std::vector<std::string>{} : std::vector<std::string>{flag});
  }
  std::unique_ptr<Lookup> dict;
};

INSTANTIATE_TEST_SUITE_P(Builds, Search, ::testing::Values("", "-s", "-n1"));

TEST_P(Search, WordSearches) {
  const std::string build = GetParam();
  struct Row {
    int tag;
    const char* text;
    int flags, limit;
    std::string want, n1 = "", s = "";  // "code: hits"; n1 and s when those builds differ
  } rows[] = {
      // One hit per entry, in the given element.
      {kTR, "cat", 0, 0, "1: 1:3 2:3 4:3"},
      {kHW, "cat", 0, 0, "1: 1:2"},
      {kEX, "cat", 0, 0, "1: 1:4 3:4"},
      // Links too: the hit carries the tag met first in the chain. A single
      // chunk is sorted by tag (TR before LNK), one chunk per code keeps the
      // order of the entry. Tag 0: link elements only.
      {kTR, "cat", FWE_LINK, 0, "1: 1:3 2:3 4:3 6:5", "1: 1:3 2:5 4:3 6:5"},
      {0, "cat", FWE_LINK, 0, "1: 2:5 6:5"},
      // Several words must share the element tag.
      {kTR, "taxi cat", 0, 0, "1: 4:3"},
      {kTR, "cat fish", FWE_LINK, 0, "1: "},
      {kTR, "cat auto", FWE_LINK, 0, "1: 2:3", "1: "},
      {kTR, "  cat \t auto ", 0, 0, "1: 2:3"},
      // Refusals leave the result untouched; a missing later word leaves the
      // result of the words before it.
      {0, "cat", 0, 0, "2: 99:1"},
      {7, "cat", 0, 0, "2: 99:1"},
      {-1, "cat", 0, 0, "2: 99:1"},
      {kTR, "", 0, 0, "3: 99:1"},
      {kTR, " \t ", 0, 0, "3: 99:1"},
      {kTR, "zebra", 0, 0, "3: 99:1"},
      {kTR, "cat zebra", 0, 0, "3: 1:3 2:3 4:3"},
      // A word that never reached the index has no chain; the speed-up drops
      // it from the word list altogether.
      {kTR, "ghost", 0, 0, "1: ", "", "3: 99:1"},
      // Patterns: whole words, basic syntax, case-sensitive; a bad one is 4.
      {kHW, "ca.*", FWE_PATTERN, 0, "1: 1:2 2:2 4:2"},
      {kTR, "ca. ta.*", FWE_PATTERN, 0, "1: 4:3"},
      {kHW, "at", FWE_PATTERN, 0, "3: 99:1"},
      {kHW, "c.\\{2\\}", FWE_PATTERN, 0, "1: 1:2 2:2 4:2"},
      {kHW, "c.{2}", FWE_PATTERN, 0, "3: 99:1"},
      {kHW, "Ca.*", FWE_PATTERN, 0, "3: 99:1"},
      {kHW, "ca[", FWE_PATTERN, 0, "4: 99:1"},
      {kHW, "ca.*", 0, 0, "3: 99:1"},
      // The limit stops a single-word search only.
      {kTR, "cat", 0, 1, "1: 1:3"},
      {kTR, "cat", 0, 2, "1: 1:3 2:3"},
      {kTR, "cat", 0, -5, "1: 1:3 2:3 4:3"},
      {kTR, "cat taxi", 0, 1, "1: 4:3"},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(std::string(r.text) + " " + std::to_string(r.tag));
    twset result{{99, 1}};
    CaptureFd err(2);
    int code = (*dict)->findWordEnt(r.tag, r.text, &result, nullptr, r.limit, r.flags);
    std::string want = build == "-n1" && !r.n1.empty() ? r.n1 : build == "-s" && !r.s.empty() ? r.s : r.want;
    EXPECT_EQ(std::to_string(code) + ": " + show(result), want);
    EXPECT_EQ(err.text(), "");
  }

  // A restricting set; an empty one restricts nothing; the result set may
  // restrict itself.
  twset r, only{{4, 0}}, none, same{{2, 9}, {4, 9}, {5, 9}};
  EXPECT_EQ((*dict)->findWordEnt(kTR, "cat", &r, &only, 0, 0), 1);
  EXPECT_EQ(show(r), "4:3");
  EXPECT_EQ((*dict)->findWordEnt(kTR, "cat", &r, &none, 0, 0), 1);
  EXPECT_EQ(show(r), "1:3 2:3 4:3");
  EXPECT_EQ((*dict)->findWordEnt(kTR, "cat", &same, &same, 0, 0), 1);
  EXPECT_EQ(show(same), "2:3 4:3");
}

TEST_P(Search, QueriesByElementTypeAndWordsOfAnElement) {
  DictIO* d = dict->db.get();
  twset r;
  EXPECT_EQ(d->query("e.hw", "dog", nullptr, &r, nullptr, 0, 0), 1);  // path upper-cased
  EXPECT_EQ(show(r), "3:2");
  EXPECT_EQ(d->query("E.NOPE", "dog", nullptr, &r, nullptr, 0, 0), 2);
  EXPECT_EQ(d->query("E", "dog", nullptr, &r, nullptr, 0, 0), 1);  // a word, not of E itself
  EXPECT_EQ(show(r), "");
  // The second form searches the tree's own value.
  std::unique_ptr<XMLEntry> hw(XML::makeXMLEntry("E.HW", "dog"));
  EXPECT_EQ(d->query("E.HW", hw.get(), &r, nullptr, 0, 0), 1);
  EXPECT_EQ(show(r), "3:2");
  // A reference searches every value the tree holds at its target path.
  std::unique_ptr<XMLEntry> refs(XML::makeXMLEntry("<E><HW>cat</HW><HW>bird</HW></E>"));
  EXPECT_EQ(d->query("E.REF", "ignored", refs.get(), &r, nullptr, 0, 0), 1);
  EXPECT_EQ(show(r), "1:2 5:2");
  std::unique_ptr<XMLEntry> bare(XML::makeXMLEntry("<E><TR>cat</TR></E>"));
  EXPECT_EQ(d->query("E.REF", "x", bare.get(), &r, nullptr, 0, 0), 0);
  EXPECT_EQ(show(r), "");

  std::vector<std::string> words{"stale"};
  EXPECT_EQ(d->findWordsByTag("E.LNK", &words), 1);
  EXPECT_EQ(words, std::vector<std::string>{"cat"});
  EXPECT_EQ(d->findWordsByTag("E.HW", &words), 1);
  std::sort(words.begin(), words.end());
  EXPECT_EQ(words, (std::vector<std::string>{"bird", "cab", "car", "cat", "dog", "eel", "num"}));
  EXPECT_EQ(d->findWordsByTag("E.NOPE", &words), 2);
  EXPECT_TRUE(words.empty());
  EXPECT_EQ(d->findWordsByTag("e.lnk", &words), 2);  // taken as given
}

// ---------------------------------------------------------------------------
// Reading entries

TEST(Reading, SequentialWalkAndSeek) {
  Lookup d;
  XMLEntry e;
  XML x;
  EXPECT_EQ(d->getXMLEntry(&e), 0);  // before reset
  EXPECT_FALSE(d->getXML(&x));
  ASSERT_TRUE(d->reset());
  ASSERT_TRUE(d->reset());  // a second reset replaces the stream
  std::string seen;
  while (d->getXMLEntry(&e)) seen += std::to_string(d->getActID()) + XMLgetValue("E.HW", &e, 0) + " ";
  EXPECT_EQ(seen, "1cat 2car 3dog 4cab 5bird 6eel 7num ");
  ASSERT_TRUE(d->seek(3));
  ASSERT_EQ(d->getXMLEntry(&e), 1);
  EXPECT_EQ(d->getActID(), 3);
  EXPECT_EQ(compact(e), "<E><HW>dog</HW><TR>pes</TR><EX>a dog and a cat</EX><REF>cat</REF></E>");
  ASSERT_TRUE(d->seek(7));
  ASSERT_TRUE(d->getXML(&x));
  EXPECT_EQ(x.getValue("E.TR"), "1 2 3 4 5 6 7 8");
  EXPECT_FALSE(d->getXML(&x));  // at the end
  // An unknown number is refused: it moves nothing and adds nothing.
  ASSERT_TRUE(d->seek(2));
  for (long n : {99, 0, -1}) EXPECT_FALSE(d->seek(n)) << n;
  EXPECT_EQ(d->entPos.count(99), 0u);
  EXPECT_EQ(d->size(), 7);
  ASSERT_EQ(d->getXMLEntry(&e), 1);
  EXPECT_EQ(d->getActID(), 2);
  d->close();
  EXPECT_EQ(d->getXMLEntry(&e), 0);
}

TEST(Reading, ByNumberDropsEmptyElementsAndAbsentNumbersAreNoError) {
  Lookup d;
  XMLEntry e;
  ASSERT_TRUE(d->getXML(&e, 5));
  EXPECT_EQ(compact(e), "<E><HW>bird</HW><TR>ptak</TR><EX></EX></E>");
  ASSERT_EQ(d->getXMLEntry(&e, 5), 1);
  EXPECT_EQ(compact(e), "<E><HW>bird</HW><TR>ptak</TR></E>");
  XML x;
  ASSERT_TRUE(d->getXML(&x, 1));
  EXPECT_EQ(x.getValue("E.EX"), "the cat sat");
  EXPECT_EQ(d->lastID, 1);
  CaptureFd err(2);
  EXPECT_EQ(d->getXMLEntry(&e, 0) + d->getXMLEntry(&e, 8), 0);
  EXPECT_FALSE(d->getXML(&x, -3));
  EXPECT_FALSE(d->getXML(&e, 0x7FFFFFFFL + 5));
  EXPECT_EQ(d->lastID, 0x7FFFFFFF);
  EXPECT_EQ(err.text(), "");
  EXPECT_EQ(d->size(), 7);
  EXPECT_EQ(d->entPos.count(8), 0u);
}

TEST(Reading, NeighbourMovesAndIdCorrect) {
  Lookup d;
  auto moves = [&] {
    std::string s;
    for (int dir : {0, 1, 2, 3}) s += std::to_string(d->getIDMove(dir)) + " ";
    return s;
  };
  EXPECT_EQ(moves(), "-1 -1 -1 -1 ");  // before any fetch
  EXPECT_EQ(d->getIDMove(4), -1);
  XMLEntry e;
  ASSERT_EQ(d->getXMLEntry(&e, 7), 1);
  EXPECT_EQ(moves(), "0 6 1 0 ");  // next, previous, first, last
  ASSERT_EQ(d->getXMLEntry(&e, 1), 1);
  EXPECT_EQ(moves(), "2 0 0 7 ");
  EXPECT_EQ(d->getIDMove(9), 1);
  // A number asked for counts even when it holds no entry.
  EXPECT_EQ(d->getXMLEntry(&e, 4000), 0);
  EXPECT_EQ(moves(), "0 3999 1 7 ");
  EXPECT_EQ(std::to_string(d->idCorrect(0)) + std::to_string(d->idCorrect(-3)) +
                std::to_string(d->idCorrect(4)) + std::to_string(d->idCorrect(d->size() + 5)),
            "1147");
}

TEST(Reading, KeysAndValues) {
  Lookup d({"-s"});
  XMLEntry e;
  EXPECT_EQ(d->getXMLEntryByKey(&e, "dog"), 3);
  EXPECT_EQ(d->getKeyValue(&e), "dog");
  EXPECT_EQ(d->getValue("E.REF", &e, 1), "cat");  // references stay plain values
  EXPECT_EQ(d->getValue("E.TR", &e, 1), "pes");
  // The key search also accepts link elements; the lowest entry wins.
  EXPECT_EQ(d->getXMLEntryByKey(&e, "cat"), 1);
  EXPECT_EQ(d->getXMLEntryByKey(&e, "zebra"), -1);
  EXPECT_EQ(d->getXMLEntryByKey(&e, "pes"), -1);  // in TR only
  Lookup plain({}, "<E><A>x</A></E>\n", "");  // no key tag: no key value
  ASSERT_EQ(plain->getXMLEntry(&e, 1), 1);
  EXPECT_EQ(plain->getKeyValue(&e), "");
}

TEST(Reading, LongFileNamesAreUsedWhole) {
  testutil::TempDir outer;
  // A base name of the longest allowed length makes ".ent" names of 255.
  long room = static_cast<long>(DictIO::kMaxBaseName) - static_cast<long>(outer.path().size()) - 1;
  if (room < 1 || room > 250) GTEST_SKIP() << "temporary directory path too long";
  std::string name(static_cast<size_t>(room), 'n');
  testutil::writeFile(outer.file(name + ".xml"), kXml);
  testutil::writeFile(outer.file(name + ".def"), kDef);
  ASSERT_EQ(testutil::run({LEXORN_BIN, name}, outer.path()).status, 0);
  DictIO d(outer.file(name).c_str(), 0, 0);
  ASSERT_EQ(strlen(d.entFile), 255u);
  XML x;
  CaptureFd err(2);
  EXPECT_TRUE(d.getXML(&x, 3));
  EXPECT_EQ(x.getValue("E.HW"), "dog");
  EXPECT_EQ(err.text(), "");
}

// ---------------------------------------------------------------------------
// Deleted entries, damage and missing files

TEST(Deleted, MarkedEntriesAreInvisibleWithAndWithoutSpeedUp) {
  for (const char* flag : {"", "-s"}) {
    SCOPED_TRACE(flag);
    Lookup d(*flag ? std::vector<std::string>{flag} : std::vector<std::string>{});
    markDeleted(d.db.get(), 4);
    twset r;
    EXPECT_EQ(d->findWordEnt(kTR, "cat", &r, nullptr, 0, 0), 1);
    EXPECT_EQ(show(r), "1:3 2:3");
    EXPECT_EQ(d->findWordEnt(kHW, "cab", &r, nullptr, 0, 0), 1);  // a word, but no live hit
    EXPECT_EQ(show(r), "");
    std::vector<std::string> words;
    EXPECT_EQ(d->findWordsByTag("E.HW", &words), 1);
    EXPECT_EQ(words.size(), 6u);
    EXPECT_EQ(std::count(words.begin(), words.end(), "cab"), 0);
    XMLEntry e;
    EXPECT_EQ(d->getXMLEntry(&e, 4), 0);
    EXPECT_FALSE(d->seek(4));
    ASSERT_TRUE(d->reset());
    std::string seen;
    while (d->getXMLEntry(&e)) seen += std::to_string(d->getActID()) + " ";
    EXPECT_EQ(seen, "1 2 3 5 6 7 ");  // the bytes of entry 4 are passed over
  }
  // Through the editing side, then compacted.
  Lookup d;
  d->delEntry(2, nullptr, 0);
  twset r;
  EXPECT_EQ(d->findWordEnt(kTR, "cat", &r, nullptr, 0, 0), 1);
  EXPECT_EQ(show(r), "1:3 4:3");
  d->speedup();
  EXPECT_EQ(d->size(), 6);
  EXPECT_EQ(d->findWordEnt(kTR, "cat", &r, nullptr, 0, FWE_LINK), 1);
  EXPECT_EQ(show(r), "1:3 4:3 6:5");
  EXPECT_EQ(d->findWordEnt(kTR, "auto", &r, nullptr, 0, 0), 3);  // dropped with its entry
}

// A damaged chain is reported and fails the search with 2: an answer from
// part of the index would be silently wrong.
TEST(Damage, ChainsOutsideTheFileOrLoopingFailTheSearch) {
  Lookup d({"-n1"});
  wrdrec_t* cat = wordOf(*d.db, "cat");
  ASSERT_NE(cat, nullptr);
  const std::string damaged = "Error: " + d.built.path(".wid") + " is damaged";
  // The last chunk's link points back at the second: the chain would loop.
  std::string wid = d.built.read(".wid");
  auto at = [&](long offset) { return reinterpret_cast<unsigned char*>(&wid[offset]); };
  int32_t second = load_i32(at(cat->chunk + 4 + 4 * load_i32(at(cat->chunk))));
  ASSERT_GT(second, 0);
  ASSERT_GT(cat->tailLink, second);
  store_i32(at(cat->tailLink), second);
  testutil::writeFile(d.built.path(".wid"), wid);
  twset r;
  {
    CaptureFd err(2);
    EXPECT_EQ(d->findWordEnt(kTR, "cat", &r, nullptr, 0, 0), 2);
    EXPECT_EQ(err.text().rfind(damaged, 0), 0u) << err.text();
  }
  EXPECT_EQ(show(r), "");
  cat->chunk = static_cast<int32_t>(wid.size()) + 100;
  CaptureFd err(2);
  EXPECT_EQ(d->findWordEnt(kTR, "cat", &r, nullptr, 0, 0), 2);
  EXPECT_EQ(show(r), "");
  std::vector<std::string> words;
  EXPECT_EQ(d->findWordsByTag("E.LNK", &words), 2);
  EXPECT_TRUE(words.empty());
  std::string text = err.text();
  EXPECT_EQ(text.rfind(damaged, 0), 0u) << text;
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 2);
}

TEST(Damage, MissingFilesAreReported) {
  Lookup d;
  ASSERT_EQ(remove(d.built.path(".wid").c_str()) + remove(d.built.path(".ent").c_str()), 0);
  twset r{{5, 5}};
  std::vector<std::string> words;
  XMLEntry e;
  CaptureFd err(2);
  EXPECT_EQ(d->findWordEnt(kTR, "cat", &r, nullptr, 0, 0), 2);
  EXPECT_EQ(d->findWordsByTag("E.HW", &words), 2);
  EXPECT_EQ(d->getXMLEntry(&e, 1), 0);
  EXPECT_FALSE(d->reset());
  EXPECT_EQ(d->getXMLEntryByKey(&e, "cat"), -1);
  std::string wid = "Error: Could not open " + d.built.path(".wid") + ".\n";
  std::string ent = "Error: Could not open " + d.built.path(".ent") + ".\n";
  EXPECT_EQ(err.text(), wid + wid + ent + ent + wid);
  EXPECT_EQ(show(r), "5:5");
  EXPECT_EQ(d->lastID, -1);  // nothing was asked of the index
}

// ---------------------------------------------------------------------------
// The string-list form of the word list never writes past its buffer.

TEST(WordList, StringListFormRespectsItsSizeForALargeList) {
  Lookup d;
  std::string buf(8, '#');
  EXPECT_EQ(d->findWordsByTag("E.LNK", buf.data(), 5), 1);
  EXPECT_EQ(buf, std::string("cat\0\0###", 8));
  buf.assign(8, '#');
  {
    CaptureFd err(2);
    EXPECT_EQ(d->findWordsByTag("E.LNK", buf.data(), 4), 2);
    EXPECT_EQ(buf, std::string("\0#######", 8));
    EXPECT_EQ(d->findWordsByTag("E.NOPE", buf.data(), 8), 2);
    EXPECT_EQ(err.text(), "Error: The words of E.LNK need 5 bytes; the buffer holds 4.\n");
  }

  // 3000 distinct words in one element: far beyond a 4096-byte list.
  std::string xml;
  for (int entry = 0, n = 0; entry < 60; ++entry) {
    xml += "<E><HW>";
    for (int k = 0; k < 50; ++k) xml += "w" + std::to_string(10000 + n++) + " ";
    xml += "</HW><TR>same</TR></E>\n";
  }
  Lookup big({"-s"}, xml, "");
  std::vector<std::string> words;
  ASSERT_EQ(big->findWordsByTag("E.HW", &words), 1);
  ASSERT_EQ(words.size(), 3000u);
  size_t need = 1 + 3000 * 7;
  std::vector<char> small(4096 + 16, '#');
  {
    CaptureFd err(2);
    EXPECT_EQ(big->findWordsByTag("E.HW", small.data(), 4096), 2);
    EXPECT_EQ(err.text(), "Error: The words of E.HW need " + std::to_string(need) +
                              " bytes; the buffer holds 4096.\n");
  }
  EXPECT_EQ(small[0], '\0');
  EXPECT_EQ(std::count(small.begin() + 1, small.end(), '#'), 4096 + 15);
  std::vector<char> list(need, '#');
  ASSERT_EQ(big->findWordsByTag("E.HW", list.data(), list.size()), 1);
  std::vector<std::string> listed;
  for (const char* p = list.data(); *p; p += strlen(p) + 1) listed.push_back(p);
  EXPECT_EQ(listed, words);
  EXPECT_EQ(list.back(), '\0');
}

// ---------------------------------------------------------------------------
// Keys, word steps and hit sets

TEST(GenKey, NewKeysAreNotWords) {
  Lookup d;
  char buf[12];
  srand(7);
  for (int i = 0; i < 20; ++i) {
    d->genKey(buf, 1, 9);
    EXPECT_STREQ(buf, "9");  // 1..8 are words of entry 7
  }
  d->genKey(buf, 100, -1);
  EXPECT_GE(atol(buf), 100);
  d->genKey(buf, -1, -1);
  EXPECT_EQ(std::to_string(atol(buf)), buf);
  EXPECT_EQ(d->wordCount(buf), 0);
  CaptureFd err(2);
  d->genKey(buf, 1, 8);
  EXPECT_STREQ(buf, "");
  d->genKey(buf, 5, 4);
  EXPECT_STREQ(buf, "");
  EXPECT_EQ(err.text(),
            "Error: Every key in 1..8 is already a word of the dictionary.\n"
            "Error: No key can lie in the empty range 5..4.\n");
}

TEST(WordStep, PlainAndPatternWalks) {
  Lookup d;
  int pos = 0, match = 0;
  wrdrec_t* rec = get_next_fwe_word(&d->wordMap, "cat", &pos, 0, nullptr, &match);
  ASSERT_NE(rec, nullptr);
  EXPECT_STREQ(rec->word, "cat");
  pos = 1;  // a plain word is one step only
  EXPECT_EQ(get_next_fwe_word(&d->wordMap, "cat", &pos, 0, nullptr, &match), nullptr);
  // A pattern walk visits every word in slot order and marks the matches.
  regex_t re;
  ASSERT_EQ(regcomp(&re, "^ca.$", REG_NOSUB), 0);
  std::vector<std::string> matched;
  int visited = 0, last = -1;
  for (pos = 0; (rec = get_next_fwe_word(&d->wordMap, nullptr, &pos, 1, &re, &match)); last = pos++, ++visited) {
    EXPECT_GT(pos, last);
    if (match) matched.push_back(rec->word);
  }
  regfree(&re);
  EXPECT_EQ(visited, map_size(&d->wordMap));
  std::sort(matched.begin(), matched.end());
  EXPECT_EQ(matched, (std::vector<std::string>{"cab", "car", "cat"}));
}

TEST(HitSets, MembershipAndIntersections) {
  twset a{{1, 3}, {2, 5}, {4, 3}}, b{{1, 3}, {2, 3}, {7, 1}}, out;
  twident four{4, 9}, five{5, 3};
  EXPECT_EQ(fent_in(&a, &four), 1);
  EXPECT_EQ(fent_in(&a, &five), 0);
  EXPECT_EQ(intersection(&a, &b, &out), 1);
  EXPECT_EQ(show(out), "1:3");
  EXPECT_EQ(intersection_notag(&a, &b, &out), 1);
  EXPECT_EQ(show(out), "1:3 2:5");  // a's hits, whatever b's tags
  EXPECT_EQ(intersection(&a, &b, &a), 1);  // in place
  EXPECT_EQ(show(a), "1:3");
  twset s{{3, 4}, {3, 2}};  // a second hit for an entry is not inserted
  EXPECT_EQ(show(s), "3:4");
}
