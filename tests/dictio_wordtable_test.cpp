// The word tables remade one from the other: the slots must be the ones
// entering the records one by one gives, since they are the order of the
// stored word list.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/map.h"
#include "dictio/wordtable.h"

namespace {

// The table by text as rebuildTexts has always made it: records entered
// one by one in the slot order of the table by number.
std::vector<mapel_t> oneByOne(map_t* ids) {
  map_t texts;
  map_init(&texts, MAP_STR, MAP_BORROW);
  map_rehash(&texts, map_size(ids));
  int pos = 0;
  for (void* p; (p = map_get_nth(ids, &pos)) != nullptr; ++pos)
    map_assn(&texts, static_cast<wrdrec_t*>(p)->word, p);
  std::vector<mapel_t> slots(texts.els, texts.els + texts.cap);
  map_done(&texts);
  return slots;
}

std::vector<mapel_t> slotsOf(const map_t& m) { return {m.els, m.els + m.cap}; }

bool sameSlots(const std::vector<mapel_t>& a, const std::vector<mapel_t>& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (a[i].key != b[i].key || a[i].val != b[i].val) return false;
  return true;
}

// Short texts crowd into long runs of the text hash, and 6000 of them make
// the table grow while it is filled.
std::string text(int i) { return std::to_string(i % 97) + "a" + std::to_string(i); }

TEST(WordTable, TextsRemadeFromNumbersTakeTheSlotsOfOneByOneEntry) {
  WordTable words(nullptr);
  for (int i = 1; i <= 6000; ++i) words.add(text(i), i, true);
  // Words the speed-up drops leave the table by number first.
  for (int i = 5; i <= 6000; i += 7) map_dele(&words.idMap, map_ikey(i));
  const std::vector<mapel_t> want = oneByOne(&words.idMap);
  words.rebuildTexts();
  EXPECT_TRUE(sameSlots(slotsOf(words.wordMap), want));
  EXPECT_EQ(words.size(), map_size(&words.idMap));
  EXPECT_EQ(words.find("3a3")->num, 3);
  EXPECT_EQ(words.find("5a5"), nullptr);
}

TEST(WordTable, ATextHeldByTwoNumbersIsRemadeAsOneByOneEntryLeavesIt) {
  WordTable words(nullptr);
  for (int i = 1; i <= 300; ++i) words.add(text(i), i, true);
  // A damaged list may give two numbers one text: the later record in the
  // number table's order takes the text's slot.
  map_assn(&words.idMap, map_ikey(301), words.record(text(17), 301));
  const std::vector<mapel_t> want = oneByOne(&words.idMap);
  words.rebuildTexts();
  EXPECT_TRUE(sameSlots(slotsOf(words.wordMap), want));
  EXPECT_EQ(words.size(), 300);
}

// The table by number as rebuildIds has always made it: sized for the
// words, then grown on the way as the records come in the text order.
std::vector<mapel_t> idsOneByOne(map_t* texts) {
  map_t ids;
  map_init(&ids, MAP_INT, 2);
  map_rehash(&ids, map_size(texts));
  int pos = 0;
  for (void* p; (p = map_get_nth(texts, &pos)) != nullptr; ++pos)
    map_assn_new(&ids, map_ikey(static_cast<wrdrec_t*>(p)->num), p);
  std::vector<mapel_t> slots(ids.els, ids.els + ids.cap);
  map_done(&ids);
  return slots;
}

TEST(WordTable, NumbersRemadeFromTextsTakeTheSlotsOfOneByOneEntry) {
  // Dense numbers (a build's), numbers beyond the table's size, and numbers
  // that all share one start slot in the grown table (10007 slots): the
  // table must come out the same every way.
  for (long step : {1L, 3L, 10007L}) {
    SCOPED_TRACE(step);
    WordTable words(nullptr);
    for (int i = 1; i <= 5000; ++i) words.add(text(i), static_cast<int32_t>(i * step), false);
    const std::vector<mapel_t> want = idsOneByOne(&words.wordMap);
    words.rebuildIds();
    EXPECT_TRUE(sameSlots(slotsOf(words.idMap), want));
    EXPECT_EQ(words.find(77L * step)->num, 77 * step);
  }
}

TEST(WordTable, NumbersRemadeFromRecordsMadeInTheirOrderTakeTheSameSlots) {
  // Records made 1, 2, 3... (a build's), made out of that order, and made in
  // order but one of them refused by the table by text (which then holds
  // fewer than were made): each way the table one by one entry gives.
  for (int variant = 0; variant < 3; ++variant) {
    SCOPED_TRACE(variant);
    WordTable words(nullptr);
    for (int i = 1; i <= 5000; ++i) {
      const int num = variant == 1 ? (i % 2 == 1 ? i + 1 : i - 1) : i;  // 2, 1, 4, 3...
      words.add(text(num), num, false);
    }
    if (variant == 2) {
      EXPECT_EQ(words.addNew(text(17), 5001), nullptr);
    }
    const std::vector<mapel_t> want = idsOneByOne(&words.wordMap);
    words.rebuildIds();
    EXPECT_TRUE(sameSlots(slotsOf(words.idMap), want));
    EXPECT_EQ(map_size(&words.idMap), words.size());
    EXPECT_EQ(words.find(77L)->num, 77);
  }
}

}  // namespace
