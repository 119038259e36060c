// A dictionary edited in place and then compacted by the builder's speed-up
// answers every word search like a dictionary built from scratch with the
// same entries. Entry numbers differ between the two (the edited one keeps
// its numbers, the fresh build counts from 1), so hits are compared through
// the text of the entry they name.

#include <gtest/gtest.h>

#include <iterator>
#include <map>
#include <memory>
#include <random>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "dictio/dictio.h"
#include "index_fixture.h"
#include "testutil.h"
#include "xml/entry.h"
#include "xml/reader.h"
#include "xml/writer.h"

using indextest::Built;

namespace {

// Generated entries: a unique headword, a definition from a small
// vocabulary (so words are shared), sometimes a note.
class Generator {
 public:
  explicit Generator(unsigned seed) : rng_(seed) {}
  std::string entry(bool withNote) {
    std::string s = "<E><HW>hw" + std::to_string(next_++) + "</HW><DEF>" + words(2, 6) + "</DEF>";
    if (withNote || rng_() % 3 == 0) s += "<NOTE>" + words(1, 3) + "</NOTE>";
    return s + "</E>";
  }
  unsigned pick(unsigned n) { return rng_() % n; }

 private:
  std::string words(unsigned lo, unsigned hi) {
    std::string s;
    for (unsigned i = 0, n = lo + rng_() % (hi - lo + 1); i < n; i++) s += (i ? " v" : "v") + std::to_string(rng_() % 120);
    return s;
  }
  std::mt19937 rng_;
  int next_ = 1;
};

std::unique_ptr<XMLEntry> parse(const std::string& text) {
  XML x;
  EXPECT_TRUE(x.getEntry(text)) << text;
  return std::unique_ptr<XMLEntry>(XMLcopyEntry(x.root, nullptr));
}

std::set<std::string> allWords(DictIO& d) {
  std::set<std::string> out;
  for (int i = 0; i < d.wordMap.cap; i++)
    if (map_live(d.wordMap.els[i])) out.insert(static_cast<const char*>(d.wordMap.els[i].key));
  return out;
}

// (entry text, tag) of every hit of `word` under `tag`.
std::set<std::pair<std::string, int>> textHits(DictIO& d, const std::map<long, std::string>& text, int tag,
                                               const std::string& word) {
  twset found;
  d.findWordEnt(tag, word.c_str(), &found, nullptr, 0, 0);
  std::set<std::pair<std::string, int>> out;
  for (const twident& h : found) {
    auto it = text.find(h.eid);
    EXPECT_NE(it, text.end()) << "hit in entry " << h.eid << " for " << word;
    if (it != text.end()) out.insert({it->second, h.tid});
  }
  return out;
}

}  // namespace

TEST(EditSpeedUp, EditedAndCompactedMatchesAFreshBuild) {
  Generator gen(20240611);
  std::map<long, std::string> model;  // entry number -> compact text
  std::string xml;
  for (long id = 1; id <= 300; id++) {
    std::string e = gen.entry(id == 1);
    xml += e + "\n";
    model[id] = XMLprintEntry(parse(e).get(), true, false);
  }
  Built edited(xml);
  {
    auto d = edited.open(DIO_UNDO);
    srand(42);
    for (int i = 0; i < 40; i++) {
      auto it = std::next(model.begin(), gen.pick(static_cast<unsigned>(model.size())));
      unsigned what = gen.pick(3);
      std::string text = what == 1 ? "" : gen.entry(false);
      if (what == 0) {
        long id = d->addEntry(parse(text).get(), 0, nullptr);
        ASSERT_GT(id, 0);
        model[id] = XMLprintEntry(parse(text).get(), true, false);
      } else if (what == 1) {
        d->delEntry(it->first, nullptr, 0);
        model.erase(it);
      } else {
        EXPECT_EQ(d->updEntry(parse(text).get(), it->first, 3, "", nullptr), it->first);
        it->second = XMLprintEntry(parse(text).get(), true, false);
      }
    }
  }
  edited.run({"-s"});

  std::map<long, std::string> freshText;
  std::string freshXml;
  for (const auto& [id, text] : model) {
    freshXml += text + "\n";
    freshText[static_cast<long>(freshText.size()) + 1] = text;
  }
  Built fresh(freshXml, edited.read(".def"));

  auto a = edited.open(), b = fresh.open();
  EXPECT_EQ(a->size(), static_cast<long>(model.size()));  // deleted numbers dropped
  for (const auto& entry : model) EXPECT_EQ(a->is_eid_del(entry.first), 0) << entry.first;
  std::set<std::string> words = allWords(*a);
  ASSERT_EQ(words, allWords(*b));
  ASSERT_GE(a->dtd->count, 4);
  for (const std::string& w : words)
    for (int tag = 1; tag <= a->dtd->count; tag++)
      EXPECT_EQ(textHits(*a, model, tag, w), textHits(*b, freshText, tag, w)) << w << " " << tag;
}
