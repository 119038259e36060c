// The read-only open answers every lookup exactly as the full open does:
// the same hits and tags, result codes, limits, word orders, entries and
// walks, on generated dictionaries built in several batches, after a
// speed-up, after edits and after a speed-up of the edits.

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "base/map.h"
#include "base/text.h"
#include "dictio/dictio.h"
#include "dtd/dtd.h"
#include "testutil.h"
#include "xml/entry.h"
#include "xml/query.h"
#include "xml/reader.h"
#include "xml/writer.h"

namespace gendict {
bool generate(const std::string& path, long long bytes, uint64_t seed);
}

using testutil::TempDir;

namespace {

// The generated structure with a key and a link element, so that key
// lookups and link searches have something to find.
const char kDef[] =
    "0 E\t1\t1\tN\n  1 HW\t1\t1\tK\n  1 POS\t1\t1\tN\n  1 SENSE\t1\t1\tN\n    2 NUM\t0\t-1\tN\n"
    "    2 DEF\t1\t1\tN\n    2 SUB\t0\t-1\tN\n      3 DEF\t1\t1\tN\n      3 EX\t0\t-1\tN\n"
    "    2 EX\t0\t-1\tN\n      3 SRC\t0\t-1\tN\n    2 SYN\t0\t-1\tN\n    2 USAGE\t0\t-1\tN\n"
    "  1 PRON\t0\t-1\tN\n  1 XREF\t0\t-1\tL\n  1 GRAM\t0\t-1\tN\n    2 GEN\t1\t1\tN\n"
    "    2 NUM\t1\t1\tN\n  1 ETYM\t0\t-1\tN\n  1 IDIOM\t0\t-1\tN\n    2 PHR\t1\t1\tN\n"
    "    2 DEF\t1\t1\tN\n";

std::string hitsText(int rc, const twset& s) {
  std::string out = std::to_string(rc) + ":";
  for (const twident& h : s) out += " " + std::to_string(h.eid) + "/" + std::to_string(h.tid);
  return out;
}

std::string entryText(const XMLEntry& e) { return XMLprintEntry(&e, true, false); }

// What a full open of the dictionary holds, drawn once: the questions to
// put to both opens.
struct Questions {
  std::vector<std::string> words;   // the whole list, in slot order
  std::vector<std::pair<int, std::string>> phrases;  // tag, two or three words
  std::vector<std::string> keys;
  std::vector<std::string> paths;
  long entries = 0;
};

Questions draw(DictIO* d) {
  Questions q;
  int pos = 0;
  for (void* p; (p = map_get_nth(&d->wordMap, &pos)) != nullptr; ++pos)
    q.words.push_back(static_cast<wrdrec_t*>(p)->word);
  q.entries = d->size();
  for (int t = 1; t <= d->dtd->count; ++t) q.paths.push_back(d->dtd->getTag(t));
  XMLEntry e;
  for (long n = 1; n <= q.entries; n += 7) {
    if (!d->getXML(&e, n)) continue;
    q.keys.push_back(d->getKeyValue(&e));
    XMLpreorder(&e, [&](XMLEntry* node) {
      int count = 0;
      char* words = str_get_words(node->value.c_str(), &count);
      if (count >= 2) {
        std::string first = words, second = words + first.size() + 1;
        int tag = d->dtd->getIndex(node->path);
        q.phrases.push_back({tag, first + " " + second});
        q.phrases.push_back({tag, second + " " + first});
        if (count >= 3) q.phrases.push_back({tag, first + " " + second + " " + (words + first.size() + second.size() + 2)});
        q.phrases.push_back({tag, first + " zzzznotaword"});
      }
      free(words);
      return XMLWalk::Descend;
    });
  }
  return q;
}

// Every answer an open gives to the questions, one line each.
std::vector<std::string> answers(DictIO* d, const Questions& q) {
  std::vector<std::string> out;
  out.push_back("size " + std::to_string(d->size()) + " words " + std::to_string(d->wordListSize()));
  const int hw = d->dtd->getIndex("E.HW");
  twset kept;
  for (size_t i = 0; i < q.words.size(); ++i) {
    const char* w = q.words[i].c_str();
    twset r;
    int rc = d->findWordEnt(hw, w, &r, nullptr, 0, 0);
    out.push_back(q.words[i] + " hw " + hitsText(rc, r));
    rc = d->findWordEnt(0, w, &r, nullptr, 0, FWE_LINK);
    out.push_back(q.words[i] + " link " + hitsText(rc, r));
    if (i % 5 == 0) {
      for (int tag = 1; tag <= d->dtd->count; ++tag) {
        rc = d->findWordEnt(tag, w, &r, nullptr, 2, FWE_LINK);
        out.push_back(q.words[i] + " tag " + std::to_string(tag) + " " + hitsText(rc, r));
      }
    }
    if (i % 13 == 0) {
      // Restricted to the hits of an earlier word, into the same set.
      twset same = kept;
      rc = d->findWordEnt(d->dtd->getIndex("E.SENSE.DEF"), w, &same, &same, 0, 0);
      out.push_back(q.words[i] + " within " + hitsText(rc, same));
      d->findWordEnt(d->dtd->getIndex("E.SENSE.DEF"), w, &kept, nullptr, 0, 0);
    }
    out.push_back(q.words[i] + " count " + std::to_string(d->wordCount(w)));
  }
  for (const auto& [tag, text] : q.phrases) {
    twset r;
    int rc = d->findWordEnt(tag, text.c_str(), &r, nullptr, 0, 0);
    out.push_back(text + " phrase " + hitsText(rc, r));
    rc = d->findWordEnt(tag, text.c_str(), &r, nullptr, 0, FWE_LINK);
    out.push_back(text + " phrase link " + hitsText(rc, r));
  }
  for (const char* pattern : {"ka.*", "[bc]a", ".*ni", "mo.* ja.*", "(", "zzz.*"}) {
    for (int limit : {0, 1, 5}) {
      twset r;
      int rc = d->findWordEnt(hw, pattern, &r, nullptr, limit, FWE_PATTERN);
      out.push_back(std::string(pattern) + " pattern " + std::to_string(limit) + " " + hitsText(rc, r));
      rc = d->findWordEnt(0, pattern, &r, nullptr, limit, FWE_PATTERN | FWE_LINK);
      out.push_back(std::string(pattern) + " pattern link " + std::to_string(limit) + " " + hitsText(rc, r));
    }
  }
  for (const std::string& path : q.paths) {
    std::vector<std::string> words;
    int rc = d->findWordsByTag(path, &words);
    std::string line = path + " words " + std::to_string(rc);
    for (const std::string& w : words) line += " " + w;
    out.push_back(line);
    twset r;
    rc = d->query(path, "ka", nullptr, &r, nullptr, 0, 0);
    out.push_back(path + " query " + hitsText(rc, r));
  }
  XMLEntry e;
  for (const std::string& key : q.keys) {
    long n = d->getXMLEntryByKey(&e, key);
    out.push_back(key + " key " + std::to_string(n) + " " + (n > 0 ? entryText(e) : ""));
  }
  for (long n = -1; n <= q.entries + 2; ++n) {
    bool got = d->getXMLEntry(&e, n) != 0;
    std::string line = "entry " + std::to_string(n) + " " + (got ? entryText(e) : "-");
    for (int dir = 0; dir < 4; ++dir) line += " " + std::to_string(d->getIDMove(dir));
    out.push_back(line + " " + std::to_string(d->idCorrect(n)) + " " + std::to_string(d->is_eid_del(n)));
  }
  if (d->reset()) {
    while (d->getXMLEntry(&e)) out.push_back("walk " + std::to_string(d->getActID()) + " " + entryText(e));
    XML x;
    for (long n = 1; n <= q.entries; n += 9)
      out.push_back("seek " + std::to_string(n) + " " +
                    (d->seek(n) && d->getXML(&x) ? entryText(*x.getXMLEntry()) : "-"));
    d->close();
  }
  srand(5);
  char key[16];
  d->genKey(key, 1, 200);
  out.push_back(std::string("genKey ") + key);
  return out;
}

// Compares the two opens line by line, naming the first difference.
void expectSameAnswers(const std::string& base, const char* state) {
  SCOPED_TRACE(state);
  std::vector<std::string> full, ro;
  Questions q;
  {
    DictIO d(base.c_str(), 0, 0);
    ASSERT_TRUE(d.errText.empty()) << d.errText;
    q = draw(&d);
    full = answers(&d, q);
  }
  const std::string dir = base.substr(0, base.rfind('/'));
  const std::string before = testutil::snapshot(dir);
  {
    DictIO d(base.c_str(), 0, DIO_READONLY);
    ASSERT_TRUE(d.errText.empty()) << d.errText;
    EXPECT_EQ(d.wordMap.size + d.idMap.size + static_cast<int>(d.entPos.size()), 0);
    ro = answers(&d, q);
  }
  EXPECT_EQ(testutil::snapshot(dir), before);  // not a byte, not a time
  ASSERT_GT(q.words.size(), 1000u);
  ASSERT_GT(q.phrases.size(), 100u);
  ASSERT_EQ(full.size(), ro.size());
  for (size_t i = 0; i < full.size(); ++i) {
    if (ro[i] == full[i]) continue;
    // Lines run long: show where they part.
    size_t at = 0;
    while (at < ro[i].size() && at < full[i].size() && ro[i][at] == full[i][at]) ++at;
    size_t from = at > 60 ? at - 60 : 0;
    FAIL() << "answer " << i << " differs at byte " << at << "\n read-only: " << ro[i].substr(from, 160)
           << "\n full:      " << full[i].substr(from, 160);
  }
}

// Changes a few entries the way a host program does.
void edit(const std::string& base) {
  DictIO d(base.c_str(), 0, 0);
  ASSERT_TRUE(d.errText.empty()) << d.errText;
  XMLEntry e;
  for (long n : {3L, 40L, 41L, 200L}) d.delEntry(static_cast<int>(n), nullptr, 0);
  for (long n : {7L, 90L}) {
    ASSERT_TRUE(d.getXML(&e, n + 1));
    d.updEntry(&e, static_cast<int>(n), 0, "", nullptr);
  }
  for (long n : {12L, 13L, 500L}) {
    ASSERT_TRUE(d.getXML(&e, n));
    EXPECT_GT(d.addEntry(&e, 0, nullptr), 0);
  }
}

class ReadOnlyOpen : public ::testing::TestWithParam<int> {};

TEST_P(ReadOnlyOpen, AnswersAsTheFullOpenDoes) {
  TempDir dir;
  const std::string base = dir.file("d");
  ASSERT_TRUE(gendict::generate(base + ".xml", 250000, static_cast<uint64_t>(GetParam())));
  testutil::writeFile(base + ".def", kDef);
  // Small batches: every word's codes come in several sorted runs.
  const std::string batch = "-n" + std::to_string(150 + 200 * GetParam());
  ASSERT_EQ(testutil::run({LEXORN_BIN, batch, "d"}, dir.path()).status, 0);
  expectSameAnswers(base, "built");
  ASSERT_EQ(testutil::run({LEXORN_BIN, "-s", "d"}, dir.path()).status, 0);
  expectSameAnswers(base, "sped up");
  edit(base);
  expectSameAnswers(base, "edited");
  ASSERT_EQ(testutil::run({LEXORN_BIN, "-s", "d"}, dir.path()).status, 0);
  expectSameAnswers(base, "edited and sped up");
}

INSTANTIATE_TEST_SUITE_P(Seeds, ReadOnlyOpen, ::testing::Values(1, 2));

}  // namespace
