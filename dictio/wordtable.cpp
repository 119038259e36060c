#include "dictio/wordtable.h"

#include <cstring>

namespace {

int forall_words(void*, void* val, void* arg) {
  auto* rec = static_cast<wrdrec_t*>(val);
  map_assn(static_cast<map_t*>(arg), rec->word, rec);
  return 1;
}

void initTables(WordTable* w, void* owner) {
  map_init(&w->wordMap, MAP_STR, MAP_BORROW);
  w->wordMap.data = owner;
  map_init(&w->idMap, MAP_INT, 2);
  w->idMap.data = owner;
}

}  // namespace

WordTable::WordTable(void* owner) : owner_(owner) {
  initTables(this, owner);
  mem_init(&textPool);
  mem_init(&recPool);
}

WordTable::~WordTable() {
  // The tables go before the arenas their keys and values point into.
  map_done(&idMap);
  map_done(&wordMap);
  mem_done(&recPool);
  mem_done(&textPool);
}

namespace {

wrdrec_t* newRecord(WordTable* w, std::string_view text, int32_t num) {
  auto* rec = static_cast<wrdrec_t*>(mem_alloc(&w->recPool, sizeof(wrdrec_t)));
  auto* copy = static_cast<char*>(mem_alloc(&w->textPool, static_cast<int>(text.size() + 1)));
  memcpy(copy, text.data(), text.size());
  copy[text.size()] = '\0';
  rec->word = copy;
  rec->num = num;
  rec->chunk = -1;
  rec->tailLink = -1;
  return rec;
}

}  // namespace

wrdrec_t* WordTable::add(std::string_view text, int32_t num, bool byNumber) {
  wrdrec_t* rec = newRecord(this, text, num);
  map_assn(&wordMap, rec->word, rec);
  if (byNumber) map_assn(&idMap, map_ikey(num), rec);
  return rec;
}

wrdrec_t* WordTable::addNew(std::string_view text, int32_t num) {
  wrdrec_t* rec = newRecord(this, text, num);
  return map_assn_new(&wordMap, rec->word, rec) ? rec : nullptr;
}

wrdrec_t* WordTable::record(std::string_view text, int32_t num) { return newRecord(this, text, num); }

namespace {

// map_load of records by their texts or their numbers.
bool loadRecords(map_t* map, const std::vector<wrdrec_t*>& records, bool byText) {
  std::vector<void*> keys(records.size());
  constexpr size_t kAhead = 16;  // records taken in slot order lie all over the arena
  for (size_t i = 0; i < records.size(); ++i) {
    if (i + kAhead < records.size()) __builtin_prefetch(records[i + kAhead]);
    keys[i] = byText ? static_cast<void*>(records[i]->word) : map_ikey(records[i]->num);
  }
  return map_load(map, keys.data(), reinterpret_cast<void* const*>(records.data()),
                  static_cast<int>(records.size())) != 0;
}

}  // namespace

bool WordTable::enterNew(const std::vector<wrdrec_t*>& records) { return loadRecords(&wordMap, records, true); }

wrdrec_t* WordTable::find(std::string_view text) {
  return static_cast<wrdrec_t*>(map_get_view(&wordMap, text));
}

wrdrec_t* WordTable::find(long num) {
  return static_cast<wrdrec_t*>(map_get(&idMap, map_ikey(num)));
}

void WordTable::clear() {
  map_clear(&wordMap);
  map_clear(&idMap);
  mem_clear(&recPool);
  mem_clear(&textPool);
}

void WordTable::renew() {
  map_done(&wordMap);
  map_done(&idMap);
  initTables(this, owner_);
  mem_clear(&recPool);
  mem_clear(&textPool);
}

namespace {

// Distinct numbers all below `cap`: in a table of `cap` slots each has its
// start slot to itself, so where it lands cannot depend on the order the
// numbers came in or on the sizes the table grew through.
bool ownSlotsIn(map_t* texts, int cap) {
  std::vector<bool> seen(static_cast<size_t>(cap));
  int pos = 0;
  for (void* p; (p = map_get_nth(texts, &pos)) != nullptr; ++pos) {
    int32_t num = static_cast<wrdrec_t*>(p)->num;
    if (num < 1 || num >= cap || seen[static_cast<size_t>(num)]) return false;
    seen[static_cast<size_t>(num)] = true;
  }
  return true;
}

}  // namespace

// Whether the records, in the order they were made, are numbered 1 to n,
// n being all the table holds: the words of a build are.
bool WordTable::madeInNumberOrder(int n) const {
  int32_t next = 1;
  bool inOrder = true;
  mem_each(&recPool, sizeof(wrdrec_t), [&](char* p) {
    inOrder = inOrder && reinterpret_cast<const wrdrec_t*>(p)->num == next++;
  });
  return inOrder && next == n + 1;
}

void WordTable::rebuildIds() {
  map_clear(&idMap);
  // Sized for all the numbers at once when the slots come out the same as
  // growing on the way: the grown table beside the one it grows from would
  // be the build's fullest moment.
  const int n = map_size(&wordMap);
  const int grown = map_grown_cap(&idMap, n);
  if (n < grown && madeInNumberOrder(n)) {
    // Numbers 1..n below the capacity each have their start slot to
    // themselves (see ownSlotsIn), whatever order they come in; in the
    // order the records were made, records and slots are both met in the
    // order they lie in memory.
    map_rehash(&idMap, grown);
    mem_each(&recPool, sizeof(wrdrec_t), [this](char* p) {
      auto* rec = reinterpret_cast<wrdrec_t*>(p);
      map_assn_new(&idMap, map_ikey(rec->num), rec);
    });
    return;
  }
  map_rehash(&idMap, ownSlotsIn(&wordMap, grown) ? grown : n);
  // One by one, in the slot order of the table by text: numbers are dense
  // and unique, so each lands at its first probe, and no copy of the
  // records is made at the build's fullest moment.
  int pos = 0;
  for (void* p; (p = map_get_nth(&wordMap, &pos)) != nullptr; ++pos)
    map_assn_new(&idMap, map_ikey(static_cast<wrdrec_t*>(p)->num), p);
}

void WordTable::rebuildTexts() {
  // In the slot order of the table by number, entered all at once; the
  // same slots as one by one, which is also the way when a text repeats.
  std::vector<wrdrec_t*> records;
  records.reserve(static_cast<size_t>(map_size(&idMap)));
  int pos = 0;
  for (void* p; (p = map_get_nth(&idMap, &pos)) != nullptr; ++pos)
    records.push_back(static_cast<wrdrec_t*>(p));
  map_clear(&wordMap);
  map_rehash(&wordMap, map_size(&idMap));
  if (enterNew(records)) return;
  map_clear(&wordMap);
  map_rehash(&wordMap, map_size(&idMap));
  map_forall(&idMap, forall_words, &wordMap);
}
