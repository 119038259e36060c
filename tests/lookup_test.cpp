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
#include "base/files.h"
#include "dictio/dictio.h"
#include "dtd/dtd.h"
#include "testutil.h"
#include "xml/entry.h"
#include "xml/query.h"
#include "xml/reader.h"
#include "xml/writer.h"

using testutil::CaptureFd;
using testutil::run;
using testutil::TempDir;
using testutil::writeFile;

namespace {

// Tag numbers follow the lines of kDef.
enum { kE = 1, kHW = 2, kTR = 3, kEX = 4, kLNK = 5, kREF = 6 };

const char kDef[] =
    "0 E\t1\t1\tN\n"
    "  1 HW\t1\t1\tK\n"
    "  1 TR\t0\t-1\tN\n"
    "  1 EX\t0\t-1\tN\n"
    "  1 LNK\t0\t-1\tL\n"
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

// A dictionary built by the lexorn binary in its own directory, then opened
// quietly through the named constructor.
struct Dict {
  TempDir dir;
  std::unique_ptr<DictIO> db;

  explicit Dict(const std::vector<std::string>& flags, const std::string& xml = kXml,
                const std::string& def = kDef, const std::string& name = "d") {
    writeFile(dir.file(name + ".xml"), xml);
    if (!def.empty()) writeFile(dir.file(name + ".def"), def);
    std::vector<std::string> argv{LEXORN_BIN};
    argv.insert(argv.end(), flags.begin(), flags.end());
    argv.push_back(name);
    testutil::RunResult r = run(argv, dir.path());
    EXPECT_EQ(r.status, 0) << r.err;
    db = std::make_unique<DictIO>(dir.file(name).c_str(), 0, 0);
  }
  std::string file(const std::string& suffix) const { return dir.file("d" + suffix); }
};

// "eid:tid" of every hit, in set order.
std::string show(const twset& s) {
  std::string out;
  for (const twident& h : s)
    out += (out.empty() ? "" : " ") + std::to_string(h.eid) + ":" + std::to_string(h.tid);
  return out;
}

std::string compact(const XMLEntry& e) { return XMLprintEntry(&e, true, false); }

// Marks entry n deleted the way the editing side leaves it.
void markDeleted(DictIO* d, int32_t n) {
  int32_t offset = d->entPos[n];
  d->posEnt.erase(offset);
  d->entPos[n] = -1;
}

}  // namespace

// ---------------------------------------------------------------------------
// Word search on a plain build, after -s, and with one code per chunk (-n1).

class Search : public ::testing::TestWithParam<const char*> {
 protected:
  void SetUp() override {
    std::string flag = GetParam();
    dict = std::make_unique<Dict>(flag.empty() ? std::vector<std::string>{}
                                               : std::vector<std::string>{flag});
    d = dict->db.get();
  }
  bool oneCodePerChunk() const { return std::string(GetParam()) == "-n1"; }
  int find(int tag, const char* text, twset* out, int flags = 0, int limit = 0,
           twset* only = nullptr) {
    return d->findWordEnt(tag, text, out, only, limit, flags);
  }

  std::unique_ptr<Dict> dict;
  DictIO* d = nullptr;
};

INSTANTIATE_TEST_SUITE_P(Builds, Search, ::testing::Values("", "-s", "-n1"));

TEST_P(Search, OneHitPerEntryInTheGivenElement) {
  twset r;
  EXPECT_EQ(find(kTR, "cat", &r), 1);
  EXPECT_EQ(show(r), "1:3 2:3 4:3");
  EXPECT_EQ(find(kHW, "cat", &r), 1);
  EXPECT_EQ(show(r), "1:2");
  EXPECT_EQ(find(kEX, "cat", &r), 1);
  EXPECT_EQ(show(r), "1:4 3:4");
}

TEST_P(Search, LinkFlagKeepsTheTagMetFirstInTheChain) {
  // Entry 2 holds cat under LNK before TR. A single chunk is sorted by tag
  // (TR first); one chunk per code keeps the order of the entry (LNK first).
  twset r;
  EXPECT_EQ(find(kTR, "cat", &r, FWE_LINK), 1);
  EXPECT_EQ(show(r), oneCodePerChunk() ? "1:3 2:5 4:3 6:5" : "1:3 2:3 4:3 6:5");
  EXPECT_EQ(find(0, "cat", &r, FWE_LINK), 1);  // tag 0: link elements only
  EXPECT_EQ(show(r), "2:5 6:5");
}

TEST_P(Search, SeveralWordsMustShareTheElementTag) {
  twset r;
  EXPECT_EQ(find(kTR, "taxi cat", &r), 1);
  EXPECT_EQ(show(r), "4:3");
  // Entry 6: cat only under LNK, fish under TR; they do not meet.
  EXPECT_EQ(find(kTR, "cat fish", &r, FWE_LINK), 1);
  EXPECT_EQ(show(r), "");
  EXPECT_EQ(find(kTR, "cat auto", &r, FWE_LINK), 1);
  EXPECT_EQ(show(r), oneCodePerChunk() ? "" : "2:3");
  EXPECT_EQ(find(kTR, "  cat \t auto ", &r), 1);  // white space runs separate words
  EXPECT_EQ(show(r), "2:3");
}

TEST_P(Search, ResultCodes) {
  twset r{{99, 1}};
  EXPECT_EQ(find(0, "cat", &r), 2);  // tag 0 needs the link flag
  EXPECT_EQ(find(7, "cat", &r), 2);  // beyond the tag table
  EXPECT_EQ(find(-1, "cat", &r), 2);
  EXPECT_EQ(find(kTR, "", &r), 3);
  EXPECT_EQ(find(kTR, " \t ", &r), 3);  // no word in it
  EXPECT_EQ(find(kTR, "zebra", &r), 3);
  EXPECT_EQ(show(r), "99:1");  // untouched so far
  // A missing later word leaves the result of the words before it.
  EXPECT_EQ(find(kTR, "cat zebra", &r), 3);
  EXPECT_EQ(show(r), "1:3 2:3 4:3");
  // A word that never reached the index has no hits and no message; the
  // speed-up drops it from the word list altogether.
  CaptureFd err(2);
  if (std::string(GetParam()) == "-s") {
    EXPECT_EQ(find(kTR, "ghost", &r), 3);
  } else {
    EXPECT_EQ(find(kTR, "ghost", &r), 1);
    EXPECT_EQ(show(r), "");
  }
  EXPECT_EQ(err.text(), "");
}

TEST_P(Search, Patterns) {
  twset r;
  EXPECT_EQ(find(kHW, "ca.*", &r, FWE_PATTERN), 1);
  EXPECT_EQ(show(r), "1:2 2:2 4:2");
  EXPECT_EQ(find(kTR, "ca. ta.*", &r, FWE_PATTERN), 1);
  EXPECT_EQ(show(r), "4:3");
  EXPECT_EQ(find(kHW, "at", &r, FWE_PATTERN), 3);  // whole words only
  EXPECT_EQ(find(kHW, "c.\\{2\\}", &r, FWE_PATTERN), 1);  // basic syntax
  EXPECT_EQ(show(r), "1:2 2:2 4:2");
  EXPECT_EQ(find(kHW, "c.{2}", &r, FWE_PATTERN), 3);  // braces are literal there
  EXPECT_EQ(find(kHW, "Ca.*", &r, FWE_PATTERN), 3);   // case-sensitive
  twset kept{{42, 2}};
  EXPECT_EQ(find(kHW, "ca[", &kept, FWE_PATTERN), 4);
  EXPECT_EQ(show(kept), "42:2");
  // Without the flag the text is a word like any other.
  EXPECT_EQ(find(kHW, "ca.*", &kept), 3);
}

TEST_P(Search, LimitStopsASingleWordSearch) {
  twset r;
  EXPECT_EQ(find(kTR, "cat", &r, 0, 1), 1);
  EXPECT_EQ(show(r), "1:3");
  EXPECT_EQ(find(kTR, "cat", &r, 0, 2), 1);
  EXPECT_EQ(show(r), "1:3 2:3");
  EXPECT_EQ(find(kTR, "cat", &r, 0, -5), 1);
  EXPECT_EQ(show(r), "1:3 2:3 4:3");
  EXPECT_EQ(find(kTR, "cat taxi", &r, 0, 1), 1);  // not for two words
  EXPECT_EQ(show(r), "4:3");
}

TEST_P(Search, RestrictingSet) {
  twset r;
  twset only{{4, 0}};
  EXPECT_EQ(find(kTR, "cat", &r, 0, 0, &only), 1);
  EXPECT_EQ(show(r), "4:3");
  twset none;
  EXPECT_EQ(find(kTR, "cat", &r, 0, 0, &none), 1);  // empty: no restriction
  EXPECT_EQ(show(r), "1:3 2:3 4:3");
  // The result set may restrict itself.
  twset same{{2, 9}, {4, 9}, {5, 9}};
  EXPECT_EQ(find(kTR, "cat", &same, 0, 0, &same), 1);
  EXPECT_EQ(show(same), "2:3 4:3");
}

TEST_P(Search, QueryByElementType) {
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
  r = {{77, 1}};
  EXPECT_EQ(d->query("E.REF", "ignored", refs.get(), &r, nullptr, 0, 0), 1);
  EXPECT_EQ(show(r), "1:2 5:2");
  std::unique_ptr<XMLEntry> bare(XML::makeXMLEntry("<E><TR>cat</TR></E>"));
  EXPECT_EQ(d->query("E.REF", "x", bare.get(), &r, nullptr, 0, 0), 0);
  EXPECT_EQ(show(r), "");
}

TEST_P(Search, WordsOfAnElement) {
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

TEST(Sequential, WalksEveryEntryAndSeeks) {
  Dict dict({});
  DictIO* d = dict.db.get();
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

  // An unknown number moves nothing and adds nothing.
  ASSERT_TRUE(d->seek(2));
  EXPECT_FALSE(d->seek(99));
  EXPECT_FALSE(d->seek(0));
  EXPECT_FALSE(d->seek(-1));
  EXPECT_EQ(d->entPos.count(99), 0u);
  EXPECT_EQ(d->size(), 7);
  ASSERT_EQ(d->getXMLEntry(&e), 1);
  EXPECT_EQ(d->getActID(), 2);
  d->close();
  EXPECT_EQ(d->getXMLEntry(&e), 0);
}

TEST(ByNumber, LoadsAndDropsEmptyElements) {
  Dict dict({});
  DictIO* d = dict.db.get();
  XMLEntry e;
  ASSERT_TRUE(d->getXML(&e, 5));
  EXPECT_EQ(compact(e), "<E><HW>bird</HW><TR>ptak</TR><EX></EX></E>");
  EXPECT_EQ(e.level, 0);
  ASSERT_EQ(d->getXMLEntry(&e, 5), 1);
  EXPECT_EQ(compact(e), "<E><HW>bird</HW><TR>ptak</TR></E>");
  XML x;
  ASSERT_TRUE(d->getXML(&x, 1));
  EXPECT_EQ(x.getValue("E.EX"), "the cat sat");
  EXPECT_EQ(d->lastID, 1);

  CaptureFd err(2);
  EXPECT_EQ(d->getXMLEntry(&e, 0), 0);
  EXPECT_EQ(d->getXMLEntry(&e, 8), 0);
  EXPECT_FALSE(d->getXML(&x, -3));
  EXPECT_FALSE(d->getXML(&e, 0x7FFFFFFFL + 5));
  EXPECT_EQ(d->lastID, 0x7FFFFFFF);
  EXPECT_EQ(err.text(), "");  // absent numbers are no error
  EXPECT_EQ(d->size(), 7);
  EXPECT_EQ(d->entPos.count(8), 0u);
}

TEST(ByNumber, NeighbourMoves) {
  Dict dict({});
  DictIO* d = dict.db.get();
  for (int dir = 0; dir < 5; ++dir) EXPECT_EQ(d->getIDMove(dir), -1) << dir;
  XMLEntry e;
  ASSERT_EQ(d->getXMLEntry(&e, 7), 1);
  EXPECT_EQ(d->getIDMove(0), 0);
  EXPECT_EQ(d->getIDMove(1), 6);
  EXPECT_EQ(d->getIDMove(2), 1);
  EXPECT_EQ(d->getIDMove(3), 0);
  ASSERT_EQ(d->getXMLEntry(&e, 1), 1);
  EXPECT_EQ(d->getIDMove(0), 2);
  EXPECT_EQ(d->getIDMove(1), 0);
  EXPECT_EQ(d->getIDMove(2), 0);
  EXPECT_EQ(d->getIDMove(3), 7);
  EXPECT_EQ(d->getIDMove(9), 1);
  // A number asked for counts even when it holds no entry.
  EXPECT_EQ(d->getXMLEntry(&e, 4000), 0);
  EXPECT_EQ(d->getIDMove(0), 0);
  EXPECT_EQ(d->getIDMove(3), 7);

  EXPECT_EQ(d->idCorrect(0), 1);
  EXPECT_EQ(d->idCorrect(-3), 1);
  EXPECT_EQ(d->idCorrect(4), 4);
  EXPECT_EQ(d->idCorrect(d->size() + 5), 7);
}

TEST(ByNumber, KeysAndValues) {
  Dict dict({"-s"});
  DictIO* d = dict.db.get();
  XMLEntry e;
  EXPECT_EQ(d->getXMLEntryByKey(&e, "dog"), 3);
  EXPECT_EQ(d->getKeyValue(&e), "dog");
  EXPECT_EQ(d->getValue("E.REF", &e, 0), "cat");
  EXPECT_EQ(d->getValue("E.REF", &e, 1), "cat");  // references stay plain values
  EXPECT_EQ(d->getValue("E.TR", &e, 1), "pes");
  // The key search also accepts link elements; the lowest entry wins.
  EXPECT_EQ(d->getXMLEntryByKey(&e, "cat"), 1);
  EXPECT_EQ(d->getXMLEntryByKey(&e, "zebra"), -1);
  EXPECT_EQ(d->getXMLEntryByKey(&e, "pes"), -1);  // in TR only

  // Without a key tag there is no key value.
  Dict plain({}, "<E><A>x</A></E>\n", "");
  XMLEntry p;
  ASSERT_EQ(plain.db->getXMLEntry(&p, 1), 1);
  EXPECT_EQ(plain.db->getKeyValue(&p), "");
}

TEST(ByNumber, LongFileNamesAreUsedWhole) {
  TempDir outer;
  // A base name of the longest allowed length makes ".ent" names of 255
  // characters.
  long room = static_cast<long>(DictIO::kMaxBaseName) - static_cast<long>(outer.path().size()) - 1;
  if (room < 1 || room > 250) GTEST_SKIP() << "temporary directory path too long";
  std::string name(static_cast<size_t>(room), 'n');
  writeFile(outer.file(name + ".xml"), kXml);
  writeFile(outer.file(name + ".def"), kDef);
  ASSERT_EQ(run({LEXORN_BIN, name}, outer.path()).status, 0);
  DictIO d(outer.file(name).c_str(), 0, 0);
  ASSERT_EQ(strlen(d.entFile), 255u);
  XML x;
  CaptureFd err(2);
  EXPECT_TRUE(d.getXML(&x, 3));
  EXPECT_EQ(x.getValue("E.HW"), "dog");
  EXPECT_EQ(err.text(), "");
}

// ---------------------------------------------------------------------------
// Deleted entries

TEST(Deleted, MarkedEntriesAreInvisible) {
  for (const char* flag : {"", "-s"}) {
    Dict dict(*flag ? std::vector<std::string>{flag} : std::vector<std::string>{});
    DictIO* d = dict.db.get();
    markDeleted(d, 4);
    twset r;
    EXPECT_EQ(d->findWordEnt(kTR, "cat", &r, nullptr, 0, 0), 1);
    EXPECT_EQ(show(r), "1:3 2:3");
    EXPECT_EQ(d->findWordEnt(kHW, "cab", &r, nullptr, 0, 0), 1);  // a word, but no live hit
    EXPECT_EQ(show(r), "");
    std::vector<std::string> words;
    EXPECT_EQ(d->findWordsByTag("E.HW", &words), 1);
    EXPECT_EQ(std::count(words.begin(), words.end(), "cab"), 0);
    EXPECT_EQ(words.size(), 6u);

    XMLEntry e;
    EXPECT_EQ(d->getXMLEntry(&e, 4), 0);
    EXPECT_FALSE(d->seek(4));
    ASSERT_TRUE(d->reset());
    std::string seen;
    while (d->getXMLEntry(&e)) seen += std::to_string(d->getActID()) + " ";
    EXPECT_EQ(seen, "1 2 3 5 6 7 ");  // the bytes of entry 4 are passed over
  }
}

TEST(Deleted, ThroughTheEditingSideAndSpeedUp) {
  Dict dict({});
  DictIO* d = dict.db.get();
  d->delEntry(2, nullptr, 0);
  twset r;
  EXPECT_EQ(d->findWordEnt(kTR, "cat", &r, nullptr, 0, 0), 1);
  EXPECT_EQ(show(r), "1:3 4:3");
  d->speedup();
  EXPECT_EQ(d->size(), 6);
  EXPECT_EQ(d->findWordEnt(kTR, "cat", &r, nullptr, 0, FWE_LINK), 1);
  EXPECT_EQ(show(r), "1:3 4:3 6:5");
  EXPECT_EQ(d->findWordEnt(kTR, "auto", &r, nullptr, 0, 0), 3);  // dropped with its entry
  XMLEntry e;
  ASSERT_EQ(d->getXMLEntry(&e, 3), 1);
  EXPECT_EQ(XMLgetValue("E.HW", &e, 0), "dog");
}

// ---------------------------------------------------------------------------
// Damage and missing files

TEST(Damage, ChainsOutsideTheFileOrLoopingEndWithAMessage) {
  Dict dict({"-n1"});
  DictIO* d = dict.db.get();
  auto* cat = static_cast<wrdrec_t*>(map_get(&d->wordMap, const_cast<char*>("cat")));
  ASSERT_NE(cat, nullptr);
  const std::string damaged = "Error: " + dict.file(".wid") + " is damaged";

  // The last chunk's link points back at the second: the chain would loop.
  std::string wid = testutil::readFile(dict.file(".wid"));
  auto at = [&](long offset) { return reinterpret_cast<unsigned char*>(&wid[offset]); };
  int32_t firstCount = load_i32(at(cat->chunk));
  int32_t second = load_i32(at(cat->chunk + 4 + 4 * firstCount));
  ASSERT_GT(second, 0);
  ASSERT_GT(cat->tailLink, second);
  store_i32(at(cat->tailLink), second);
  writeFile(dict.file(".wid"), wid);
  twset r;
  {
    CaptureFd err(2);
    EXPECT_EQ(d->findWordEnt(kTR, "cat", &r, nullptr, 0, 0), 1);
    std::string text = err.text();
    EXPECT_EQ(text.rfind(damaged, 0), 0u) << text;
  }
  EXPECT_EQ(show(r), "1:3 2:3 4:3");  // what was read before the bad link

  cat->chunk = static_cast<int32_t>(wid.size()) + 100;
  {
    CaptureFd err(2);
    EXPECT_EQ(d->findWordEnt(kTR, "cat", &r, nullptr, 0, 0), 1);
    EXPECT_EQ(show(r), "");
    std::vector<std::string> words;
    EXPECT_EQ(d->findWordsByTag("E.LNK", &words), 1);
    EXPECT_TRUE(words.empty());
    std::string text = err.text();
    EXPECT_EQ(text.rfind(damaged, 0), 0u) << text;
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 2);
  }
}

TEST(Damage, MissingFilesAreReported) {
  Dict dict({});
  DictIO* d = dict.db.get();
  ASSERT_EQ(remove(dict.file(".wid").c_str()), 0);
  ASSERT_EQ(remove(dict.file(".ent").c_str()), 0);
  twset r{{5, 5}};
  std::vector<std::string> words;
  XMLEntry e;
  CaptureFd err(2);
  EXPECT_EQ(d->findWordEnt(kTR, "cat", &r, nullptr, 0, 0), 2);
  EXPECT_EQ(d->findWordsByTag("E.HW", &words), 2);
  EXPECT_EQ(d->getXMLEntry(&e, 1), 0);
  EXPECT_FALSE(d->reset());
  EXPECT_EQ(d->getXMLEntryByKey(&e, "cat"), -1);
  std::string wid = "Error: Could not open " + dict.file(".wid") + ".\n";
  std::string ent = "Error: Could not open " + dict.file(".ent") + ".\n";
  EXPECT_EQ(err.text(), wid + wid + ent + ent + wid);
  EXPECT_EQ(show(r), "5:5");
  EXPECT_EQ(d->lastID, -1);  // nothing was asked of the index
}

// ---------------------------------------------------------------------------
// The string-list form of the word list never writes past its buffer.

TEST(WordList, StringListFormRespectsItsSize) {
  Dict dict({});
  DictIO* d = dict.db.get();
  std::string buf(8, '#');
  EXPECT_EQ(d->findWordsByTag("E.LNK", buf.data(), 5), 1);
  EXPECT_EQ(buf, std::string("cat\0\0###", 8));
  buf.assign(8, '#');
  CaptureFd err(2);
  EXPECT_EQ(d->findWordsByTag("E.LNK", buf.data(), 4), 2);
  EXPECT_EQ(buf, std::string("\0#######", 8));
  EXPECT_EQ(d->findWordsByTag("E.NOPE", buf.data(), 8), 2);
  EXPECT_EQ(buf[0], '\0');
  EXPECT_EQ(err.text(), "Error: The words of E.LNK need 5 bytes; the buffer holds 4.\n");
}

TEST(WordList, LargeElementVocabulary) {
  // 3000 distinct words in one element: far beyond a 4096-byte list.
  std::string xml;
  int n = 0;
  for (int entry = 0; entry < 60; ++entry) {
    xml += "<E><HW>";
    for (int k = 0; k < 50; ++k) xml += "w" + std::to_string(10000 + n++) + " ";
    xml += "</HW><TR>same</TR></E>\n";
  }
  Dict dict({"-s"}, xml, "");
  DictIO* d = dict.db.get();
  std::vector<std::string> words;
  ASSERT_EQ(d->findWordsByTag("E.HW", &words), 1);
  ASSERT_EQ(words.size(), 3000u);
  size_t need = 1 + 3000 * 7;
  std::vector<char> small(4096 + 16, '#');
  {
    CaptureFd err(2);
    EXPECT_EQ(d->findWordsByTag("E.HW", small.data(), 4096), 2);
    EXPECT_EQ(err.text(), "Error: The words of E.HW need " + std::to_string(need) +
                              " bytes; the buffer holds 4096.\n");
  }
  EXPECT_EQ(small[0], '\0');
  EXPECT_EQ(std::count(small.begin() + 1, small.end(), '#'), 4096 + 15);
  std::vector<char> big(need, '#');
  ASSERT_EQ(d->findWordsByTag("E.HW", big.data(), big.size()), 1);
  std::vector<std::string> listed;
  for (const char* p = big.data(); *p; p += strlen(p) + 1) listed.push_back(p);
  EXPECT_EQ(listed, words);
  EXPECT_EQ(big.back(), '\0');
}

// ---------------------------------------------------------------------------
// Keys, word steps and hit sets

TEST(GenKey, NewKeysAreNotWords) {
  Dict dict({});
  DictIO* d = dict.db.get();
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
  Dict dict({});
  DictIO* d = dict.db.get();
  int pos = 0, match = 0;
  wrdrec_t* rec = get_next_fwe_word(&d->wordMap, "cat", &pos, 0, nullptr, &match);
  ASSERT_NE(rec, nullptr);
  EXPECT_STREQ(rec->word, "cat");
  pos = 1;
  EXPECT_EQ(get_next_fwe_word(&d->wordMap, "cat", &pos, 0, nullptr, &match), nullptr);
  pos = 0;
  EXPECT_EQ(get_next_fwe_word(&d->wordMap, "zebra", &pos, 0, nullptr, &match), nullptr);

  regex_t re;
  ASSERT_EQ(regcomp(&re, "^ca.$", REG_NOSUB), 0);
  std::vector<std::string> matched;
  int visited = 0;
  int last = -1;
  pos = 0;
  for (; (rec = get_next_fwe_word(&d->wordMap, nullptr, &pos, 1, &re, &match)); ++pos) {
    EXPECT_GT(pos, last);  // slot order
    last = pos;
    ++visited;
    if (match) matched.push_back(rec->word);
  }
  regfree(&re);
  EXPECT_EQ(visited, map_size(&d->wordMap));
  std::sort(matched.begin(), matched.end());
  EXPECT_EQ(matched, (std::vector<std::string>{"cab", "car", "cat"}));
}

TEST(HitSets, MembershipAndIntersections) {
  twset a{{1, 3}, {2, 5}, {4, 3}};
  twset b{{1, 3}, {2, 3}, {7, 1}};
  twident four{4, 9}, five{5, 3};
  EXPECT_EQ(fent_in(&a, &four), 1);
  EXPECT_EQ(fent_in(&a, &five), 0);
  twset out;
  EXPECT_EQ(intersection(&a, &b, &out), 1);
  EXPECT_EQ(show(out), "1:3");
  EXPECT_EQ(intersection_notag(&a, &b, &out), 1);
  EXPECT_EQ(show(out), "1:3 2:5");  // a's hits, whatever b's tags
  EXPECT_EQ(intersection(&a, &b, &a), 1);  // in place
  EXPECT_EQ(show(a), "1:3");
  // A second hit for an entry is not inserted.
  twset s;
  s.insert({3, 4});
  s.insert({3, 2});
  EXPECT_EQ(show(s), "3:4");
}
