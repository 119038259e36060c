#include "base/map.h"

#include "base/hash.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace {

// The tombstone is the address of this object: no string key can live there,
// and integer keys equal to it are refused on insertion.
char tomb_marker;
void* const kTomb = &tomb_marker;

inline bool live(const mapel_t& el) { return el.key != nullptr && el.key != kTomb; }

inline uint32_t strHash(const void* key) {
  uint32_t h = 0;
  for (const unsigned char* p = static_cast<const unsigned char*>(key); *p; p++) h = h * 9 + *p;
  return h;
}

// The accelerator's own hash: spreads keys that the string hash crowds
// together. Any function works as long as equal keys hash alike.
inline uint64_t mix64(uint64_t x) {
  x ^= x >> 33;
  x *= 0xff51afd7ed558ccdULL;
  x ^= x >> 33;
  x *= 0xc4ceb9fe1a85ec53ULL;
  return x ^ (x >> 33);
}

// The same hash of a key given by its bytes.
inline uint64_t strongViewHash(std::string_view key) { return hashBytes(key); }

inline uint64_t strongStrHash(const void* key) {
  return strongViewHash(std::string_view(static_cast<const char*>(key)));
}

// Start slot of a key whose string hash (when the table keeps them) is h.
inline int startSlot(const map_t* map, void* key, uint32_t h) {
  if (map->hashes && map->gpos == map_str_gpos) {
    return static_cast<int>(h % static_cast<uint32_t>(map->cap));
  }
  return map->gpos(map->cap, key);
}

int capacityFor(int n) {
  if (n < 1) n = 1;
  while (n < INT_MAX && !isprime(n)) n++;
  return n;
}

bool overloaded(const map_t* map) { return map->cap * 0.8 < map->size; }

void remakeShedAccel(map_t* map);

// Growth before a keyed access; both kinds wait while a walk is under way.
// A shed accelerator is made again first.
void maintain(map_t* map) {
  if (map->accelShed) remakeShedAccel(map);
  if (map->walks > 0) return;
  if (map->grow && overloaded(map) && map->cap <= INT_MAX / 2) {
    map_rehash(map, 2 * map->cap);
  } else if (map->tombs > 0 && map->size + map->tombs >= map->cap) {
    map_rehash(map, map->cap);
  }
}

// The first free slot at or after a given one, cyclically, while slots are
// being filled: each filled slot points on to a later slot, every slot in
// between being filled too, and lookups shorten the chains they pass (path
// halving). Lookups need at least one free slot, or a chain never ends.
// The links are made at the first use: a table that ends up needing no
// accelerator never holds them.
class FreeSlots {
 public:
  explicit FreeSlots(int cap) : cap_(cap) {}
  int find(int from) {
    made();
    int j = from;
    while (next_[j] != j) {
      next_[j] = next_[next_[j]];
      j = next_[j];
    }
    return j;
  }
  void fill(int slot) {
    made();
    next_[slot] = slot + 1 == cap_ ? 0 : slot + 1;
  }
  void prefetch(int from) {
    made();
    __builtin_prefetch(&next_[static_cast<size_t>(from)]);
  }
  int take(int from) {
    const int j = find(from);
    fill(j);
    return j;
  }

 private:
  void made() {
    if (!next_.empty() || cap_ <= 0) return;
    next_.resize(static_cast<size_t>(cap_));
    for (int i = 0; i < cap_; i++) next_[i] = i;
  }

  int cap_;
  std::vector<int> next_;
};

}  // namespace

// Kept only while the table has no tombstone: then a missing key goes to
// the first empty slot from its start, which `freeSlots` finds directly.
// `index` finds present keys by their strong hash: open addressing over a
// power of two larger than cap, each entry holding slot + 1 in the bits
// under `mask` and the strong hash's high bits above it (0: unused entry).
struct map_accel_t {
  FreeSlots freeSlots;
  std::vector<uint32_t> index;
  uint32_t mask;

  map_accel_t(int cap, FreeSlots slots) : freeSlots(std::move(slots)) {
    size_t n = 2;
    while (n <= static_cast<size_t>(cap)) n *= 2;
    index.assign(n, 0);
    mask = static_cast<uint32_t>(n - 1);
  }
  uint32_t tag(uint64_t strong) const { return static_cast<uint32_t>(strong >> 32) & ~mask; }

  // The slot of the entry for which `same(slot)` holds, or -1.
  template <class Same>
  int find(uint64_t strong, Same same) const {
    const uint32_t t = tag(strong);
    for (uint32_t i = static_cast<uint32_t>(strong) & mask;; i = (i + 1) & mask) {
      const uint32_t e = index[i];
      if (e == 0) return -1;
      const int slot = static_cast<int>((e & mask) - 1);
      if ((e & ~mask) == t && same(slot)) return slot;
    }
  }
  // Keys never outnumber slots, and there are more entries than slots.
  void add(uint64_t strong, int slot) {
    uint32_t i = static_cast<uint32_t>(strong) & mask;
    while (index[i] != 0) i = (i + 1) & mask;
    index[i] = tag(strong) | static_cast<uint32_t>(slot + 1);
  }
};

namespace {

// The strong hash agrees with key equality only for the table's own comparisons.
bool accelerable(const map_t* map) {
  return map->type == MAP_STR ? map->comp == map_str_comp : map->comp == map_int_comp;
}

// A large integer table whose keys all sit in their own start slots (word
// or entry numbers, which are dense), or that is still empty, finds each
// key at its first probe and cannot hold one twice: an accelerator would
// only take memory, a tenth of a large build's. Small tables keep theirs;
// it costs little.
bool needsNoAccel(const map_t* map) {
  constexpr int kLargeTable = 1 << 16;
  if (map->type == MAP_STR || map->cap < kLargeTable) return false;
  for (int i = 0; i < map->cap; i++)
    if (live(map->els[i]) && startSlot(map, map->els[i].key, 0) != i) return false;
  return true;
}

uint64_t strongHash(const map_t* map, void* key) {
  if (map->type == MAP_STR) return strongStrHash(key);
  return mix64(static_cast<uint64_t>(reinterpret_cast<uintptr_t>(key)));
}

void dropAccel(map_t* map) {
  delete map->accel;
  map->accel = nullptr;
}

// Enters every key of the slot array in `a`; with `check`, stops (false)
// at a key already there. The keys of a large table lie all over memory and
// so do their index entries: each block of slots asks for them all before
// using any, so that the memory fetches overlap.
bool addAllKeys(const map_t* map, map_accel_t* a, bool check) {
  constexpr int kBlock = 64;
  uint64_t strong[kBlock];
  const mapel_t* els = map->els;
  for (int from = 0; from < map->cap; from += kBlock) {
    const int to = std::min(from + kBlock, map->cap);
    if (map->type == MAP_STR)
      for (int i = from; i < to; i++)
        if (live(els[i])) __builtin_prefetch(els[i].key);
    for (int i = from; i < to; i++) {
      if (!live(els[i])) continue;
      strong[i - from] = strongHash(map, els[i].key);
      __builtin_prefetch(&a->index[static_cast<uint32_t>(strong[i - from]) & a->mask]);
    }
    for (int i = from; i < to; i++) {
      if (!live(els[i])) continue;
      void* key = els[i].key;
      if (check && a->find(strong[i - from], [&](int j) { return map->comp(els[j].key, key) != 0; }) >= 0)
        return false;
      a->add(strong[i - from], i);
    }
  }
  return true;
}

// Replaces the accelerator by one for the current slot array, whose filled
// slots `slots` already knows.
void rebuildAccel(map_t* map, FreeSlots slots) {
  dropAccel(map);
  map->accelShed = 0;
  if (map->els == nullptr || map->cap <= 0 || map->tombs > 0 || !accelerable(map)) return;
  if (needsNoAccel(map)) return;
  map->accel = new map_accel_t(map->cap, std::move(slots));
  addAllKeys(map, map->accel, false);
}

// The accelerator map_shed_accel let go, for the slots as they are now; a
// table that has had a deletion since walks its runs until it is rehashed,
// as it would have anyway.
void remakeShedAccel(map_t* map) {
  map->accelShed = 0;
  if (map->accel != nullptr || map->els == nullptr || map->tombs > 0) return;
  FreeSlots slots(map->cap);
  for (int i = 0; i < map->cap; i++)
    if (map->els[i].key != nullptr) slots.fill(i);
  rebuildAccel(map, std::move(slots));
}

struct Probe {
  int slot;         // the key's slot, or where it would go; -1 when neither
  bool found;       // the slot holds the key
  uint32_t hash;    // string hash of the key, when the table keeps them
  bool fast;        // answered by the accelerator
  uint64_t strong;  // the accelerator's hash of the key, when fast
};

// Linear probe. A missing key is placed at the first tombstone of its run,
// else at the empty slot that ends the run.
Probe walkRun(map_t* map, void* key) {
  const uint32_t h = map->hashes ? strHash(key) : 0;
  // Equal strings have equal hashes: a differing hash settles a comparison.
  const uint32_t* hashes = map->comp == map_str_comp ? map->hashes : nullptr;
  const int start = startSlot(map, key, h);
  int firstTomb = -1;
  int i = start;
  do {
    mapel_t& el = map->els[i];
    if (el.key == nullptr) return {firstTomb >= 0 ? firstTomb : i, false, h, false, 0};
    if (el.key == kTomb) {
      if (firstTomb < 0) firstTomb = i;
    } else if ((!hashes || hashes[i] == h) && map->comp(el.key, key)) {
      return {i, true, h, false, 0};
    }
    if (++i == map->cap) i = 0;
  } while (i != start);
  return {firstTomb, false, h, false, 0};
}

// The same answer as walkRun on a table without tombstones. The string
// hash, which only places keys, is computed for a missing key alone.
Probe fastProbe(map_t* map, void* key) {
  map_accel_t* a = map->accel;
  const uint64_t strong = strongHash(map, key);
  const int slot = a->find(strong, [&](int i) { return map->comp(map->els[i].key, key) != 0; });
  if (slot >= 0) return {slot, true, 0, true, strong};
  const uint32_t h = map->hashes ? strHash(key) : 0;
  if (map->size >= map->cap) return {-1, false, h, true, strong};  // no empty slot
  return {a->freeSlots.find(startSlot(map, key, h)), false, h, true, strong};
}

// Probe without the growth check.
Probe probe(map_t* map, void* key) {
  if (map->cap <= 0 || map->els == nullptr || key == nullptr || key == kTomb) {
    return {-1, false, 0, false, 0};
  }
  if (map->accel && (map->tombs > 0 || !accelerable(map))) dropAccel(map);
  return map->accel ? fastProbe(map, key) : walkRun(map, key);
}

Probe keyedProbe(map_t* map, void* key) {
  maintain(map);
  return probe(map, key);
}

bool ownsKeys(const map_t* map) { return map->type == MAP_STR && map->own != MAP_BORROW; }

// Claims the probed slot for a missing key; false when there is no slot.
bool claim(map_t* map, void* key, const Probe& p) {
  if (p.slot < 0) {
    if (map->full) map->full(key);
    return false;
  }
  if (p.found) return true;
  mapel_t& el = map->els[p.slot];
  if (el.key == kTomb) map->tombs--;
  el.key = nullptr;
  el.val = nullptr;
  map->assn(&el.key, key);
  if (map->hashes) map->hashes[p.slot] = p.hash;
  if (p.fast) {
    map->accel->freeSlots.fill(p.slot);
    map->accel->add(p.strong, p.slot);
  }
  map->size++;
  return true;
}

}  // namespace

void* map_tombstone() { return kTomb; }

int isprime(int n) {
  if (n < 4) return 1;
  const int s = static_cast<int>(std::sqrt(static_cast<double>(n)));
  for (int d = 2; d < s; d++) {
    if (n % d == 0) return 0;
  }
  return 1;
}

void map_str_assn(void** slotKey, void* key) {
  *slotKey = strdup(static_cast<const char*>(key));
}

void map_str_assn2(void** slotKey, void* key) { *slotKey = key; }

void map_int_assn(void** slotKey, void* key) { *slotKey = key; }

int map_str_comp(void* stored, void* key) {
  return strcmp(static_cast<const char*>(stored), static_cast<const char*>(key)) == 0;
}

int map_int_comp(void* stored, void* key) { return stored == key; }

int map_str_gpos(int cap, void* key) {
  return static_cast<int>(strHash(key) % static_cast<uint32_t>(cap));
}

int map_int_gpos(int cap, void* key) {
  const uint32_t k = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(key));
  return static_cast<int>(k % static_cast<uint32_t>(cap));
}

int map_init(map_t* map, int type, int own) {
  map->size = 0;
  map->cap = capacityFor(64);
  map->type = type;
  map->grow = 1;
  map->own = own;
  map->els = static_cast<mapel_t*>(calloc(map->cap, sizeof(mapel_t)));
  map->full = nullptr;
  map->vfree = nullptr;
  map->tombs = 0;
  map->walks = 0;
  map->hashes = nullptr;
  map->accel = nullptr;
  map->accelShed = 0;
  if (type == MAP_STR) {
    map->hashes = static_cast<uint32_t*>(calloc(map->cap, sizeof(uint32_t)));
    map->assn = own == MAP_COPY ? map_str_assn : map_str_assn2;
    map->comp = map_str_comp;
    map->gpos = map_str_gpos;
  } else {
    map->assn = map_int_assn;
    map->comp = map_int_comp;
    map->gpos = map_int_gpos;
  }
  map_clear(map);
  return 1;
}

namespace {

void clearSlots(map_t* map) {
  for (int i = 0; i < map->cap; i++) {
    mapel_t& el = map->els[i];
    if (!live(el)) continue;
    if (ownsKeys(map)) free(el.key);
    if (map->vfree && el.val) map->vfree(el.val, map->data);
  }
  memset(map->els, 0, sizeof(mapel_t) * map->cap);
  map->size = 0;
  map->tombs = 0;
}

}  // namespace

int map_clear(map_t* map) {
  if (map->els == nullptr) return 1;
  clearSlots(map);
  rebuildAccel(map, FreeSlots(map->cap));
  return 1;
}

int map_done(map_t* map) {
  // The slots are freed, not emptied: only what they own is released.
  if (map->els != nullptr && (ownsKeys(map) || map->vfree)) clearSlots(map);
  dropAccel(map);
  free(map->els);
  free(map->hashes);
  map->els = nullptr;
  map->hashes = nullptr;
  map->cap = 0;
  map->size = 0;
  map->tombs = 0;
  return 1;
}

int map_size(map_t* map) { return map->size; }

int map_pos(map_t* map, void* key) { return keyedProbe(map, key).slot; }

namespace {

// map_rehash without the accelerator: returns the finder of free slots for
// the new array.
FreeSlots replaceAll(map_t* map, int n) {
  mapel_t* old = map->els;
  uint32_t* oldHashes = map->hashes;
  const int oldCap = map->cap;
  int cap = capacityFor(n);
  while (cap * 0.8 < map->size && cap <= INT_MAX / 2) cap = capacityFor(2 * cap);
  map->els = static_cast<mapel_t*>(calloc(cap, sizeof(mapel_t)));
  map->hashes = oldHashes ? static_cast<uint32_t*>(calloc(cap, sizeof(uint32_t))) : nullptr;
  map->cap = cap;
  map->tombs = 0;
  // Keys are distinct and the new array has no tombstones: each lands on the
  // first empty slot from its start, taken in old slot order. `freeFrom`
  // finds that slot without walking the filled run slot by slot.
  FreeSlots freeFrom(cap);
  constexpr int kBlock = 32;
  int start[kBlock];
  for (int from = 0; from < oldCap; from += kBlock) {
    const int to = std::min(from + kBlock, oldCap);
    // Start slots are scattered: a block asks for all of its before using any.
    for (int i = from; i < to; i++) {
      if (!live(old[i])) continue;
      start[i - from] = startSlot(map, old[i].key, oldHashes ? oldHashes[i] : 0);
      freeFrom.prefetch(start[i - from]);
      __builtin_prefetch(&map->els[start[i - from]], 1);
    }
    for (int i = from; i < to; i++) {
      if (!live(old[i])) continue;
      const int j = freeFrom.take(start[i - from]);
      map->els[j] = old[i];
      if (map->hashes) map->hashes[j] = oldHashes[i];
    }
  }
  free(old);
  free(oldHashes);
  return freeFrom;
}

// rebuildAccel for a table whose keys may repeat: false, and no
// accelerator, when one does.
bool rebuildAccelChecked(map_t* map, FreeSlots slots) {
  dropAccel(map);
  map->accelShed = 0;
  if (needsNoAccel(map)) return true;
  auto* a = new map_accel_t(map->cap, std::move(slots));
  if (!addAllKeys(map, a, true)) {
    delete a;
    return false;
  }
  map->accel = a;
  return true;
}

}  // namespace

int map_grown_cap(const map_t* map, int n) {
  if (map->size != 0 || !map->grow) return map->cap;
  int cap = capacityFor(n);  // map_rehash(map, n) of the empty table
  for (int size = 0; size < n; ++size) {  // growth before each insertion
    if (!(cap * 0.8 < size) || cap > INT_MAX / 2) continue;
    cap = capacityFor(2 * cap);
    while (cap * 0.8 < size && cap <= INT_MAX / 2) cap = capacityFor(2 * cap);
  }
  return cap;
}

void map_shed_accel(map_t* map) {
  if (map->accel == nullptr) return;
  dropAccel(map);
  map->accelShed = 1;
}

void map_rehash(map_t* map, int n) {
  // The old accelerator goes first: the new slot array, the old one and
  // both accelerators at once would be a large table's peak.
  dropAccel(map);
  rebuildAccel(map, replaceAll(map, n));
}

int map_load(map_t* map, void* const* keys, void* const* vals, int n) {
  if (map->size != 0 || map->tombs != 0 || map->walks != 0 || !map->grow || map->els == nullptr ||
      !accelerable(map)) {
    for (int i = 0; i < n; i++)
      if (!map_assn_new(map, keys[i], vals[i])) return 0;
    return 1;
  }
  // Each key goes where map_assn_new would put it, growth included: a new
  // key takes the first empty slot from its start. Only the accelerator's
  // work is left to the end.
  dropAccel(map);
  FreeSlots slots(map->cap);
  constexpr int kBlock = 32;
  uint32_t hash[kBlock];
  for (int from = 0; from < n; from += kBlock) {
    const int to = std::min(from + kBlock, n);
    // The start slots of a block are asked for before any is used, so that
    // their memory fetches overlap (growth within the block only wastes a
    // few of them).
    for (int i = from; i < to; i++) {
      if (keys[i] == nullptr || keys[i] == kTomb) return 0;
      hash[i - from] = map->hashes ? strHash(keys[i]) : 0;
      const int start = startSlot(map, keys[i], hash[i - from]);
      slots.prefetch(start);
      __builtin_prefetch(&map->els[start], 1);
    }
    for (int i = from; i < to; i++) {
      void* key = keys[i];
      if (overloaded(map) && map->cap <= INT_MAX / 2) slots = replaceAll(map, 2 * map->cap);
      if (map->size >= map->cap) return 0;
      const uint32_t h = hash[i - from];
      mapel_t& el = map->els[slots.take(startSlot(map, key, h))];
      if (map->hashes) map->hashes[&el - map->els] = h;
      map->assn(&el.key, key);
      el.val = vals[i];
      map->size++;
    }
  }
  return rebuildAccelChecked(map, std::move(slots)) ? 1 : 0;
}

int map_assn(map_t* map, void* key, void* val) {
  const Probe p = keyedProbe(map, key);
  if (!claim(map, key, p)) return 0;
  map->els[p.slot].val = val;
  return 1;
}

int map_assn_new(map_t* map, void* key, void* val) {
  const Probe p = keyedProbe(map, key);
  if (p.found || !claim(map, key, p)) return 0;
  map->els[p.slot].val = val;
  return 1;
}

int map_dele(map_t* map, void* key) {
  const Probe p = keyedProbe(map, key);
  if (!p.found) return 0;
  dropAccel(map);  // a tombstone ends the accelerated placement rule
  mapel_t& el = map->els[p.slot];
  if (map->vfree && el.val) map->vfree(el.val, map->data);
  if (ownsKeys(map)) free(el.key);
  el.key = kTomb;
  el.val = nullptr;
  map->size--;
  map->tombs++;
  return 0;
}

int map_exist(map_t* map, void* key) { return keyedProbe(map, key).found ? 1 : 0; }

void* map_get(map_t* map, void* key) {
  const Probe p = keyedProbe(map, key);
  return p.found ? map->els[p.slot].val : nullptr;
}

namespace {

// Whether the stored text is exactly `key`. It stops at the stored text's
// end, so a key holding a NUL is simply not there.
inline bool sameText(const char* stored, std::string_view key) {
  for (size_t k = 0; k < key.size(); ++k)
    if (stored[k] != key[k] || stored[k] == '\0') return false;
  return stored[key.size()] == '\0';
}

}  // namespace

void* map_get_view(map_t* map, std::string_view key) {
  maintain(map);
  if (map->accel == nullptr || map->type != MAP_STR || map->comp != map_str_comp ||
      map->tombs > 0 || key.find('\0') != std::string_view::npos) {
    std::string copy(key);
    return map_get(map, copy.data());
  }
  const int slot = map->accel->find(strongViewHash(key), [&](int i) {
    return sameText(static_cast<const char*>(map->els[i].key), key);
  });
  return slot >= 0 ? map->els[slot].val : nullptr;
}

uint64_t map_view_hash(std::string_view key) { return strongViewHash(key); }

void map_get_views(map_t* map, const std::string_view* keys, void** vals, int n) {
  constexpr int kBlock = 256;
  uint64_t strong[kBlock];
  for (int from = 0; from < n; from += kBlock) {
    const int to = std::min(from + kBlock, n);
    for (int i = from; i < to; i++) strong[i - from] = strongViewHash(keys[i]);
    map_get_hashed_views(map, keys + from, strong, vals + from, to - from);
  }
}

void map_get_hashed_views(map_t* map, const std::string_view* keys, const uint64_t* hashes,
                          void** vals, int n) {
  maintain(map);
  map_accel_t* a = map->accel;
  if (a == nullptr || map->type != MAP_STR || map->comp != map_str_comp || map->tombs > 0) {
    for (int i = 0; i < n; i++) vals[i] = map_get_view(map, keys[i]);
    return;
  }
  // Each stage asks for what the next one reads, for a block of keys at a
  // time: the index entry, the slot, the stored text. A key whose first
  // candidate is not it (a tag shared by chance) is looked up alone.
  constexpr int kBlock = 128;
  int slot[kBlock];
  for (int from = 0; from < n; from += kBlock) {
    const int to = std::min(from + kBlock, n);
    for (int i = from; i < to; i++)
      __builtin_prefetch(&a->index[static_cast<uint32_t>(hashes[i]) & a->mask]);
    for (int i = from; i < to; i++) {
      slot[i - from] = a->find(hashes[i], [](int) { return true; });
      if (slot[i - from] >= 0) __builtin_prefetch(&map->els[slot[i - from]]);
    }
    for (int i = from; i < to; i++)
      if (slot[i - from] >= 0) __builtin_prefetch(map->els[slot[i - from]].key);
    for (int i = from; i < to; i++) {
      // A key holding a NUL stands for the text before it, as it does
      // for map_get_view.
      const int j = slot[i - from];
      if (j >= 0 && sameText(static_cast<const char*>(map->els[j].key), keys[i]))
        vals[i] = map->els[j].val;
      else if (j >= 0 || keys[i].find('\0') != std::string_view::npos)
        vals[i] = map_get_view(map, keys[i]);
      else
        vals[i] = nullptr;
    }
  }
}

void* map_get_nth(map_t* map, int* pos) {
  if (*pos < 0) return nullptr;
  for (; *pos < map->cap; ++*pos) {
    if (live(map->els[*pos])) return map->els[*pos].val;
  }
  return nullptr;
}

int map_forall(map_t* map, int (*fn)(void* key, void* val, void* arg), void* arg) {
  if (fn == nullptr) return 0;
  map->walks++;
  int result = 1;
  // cap and els are read afresh at every step: the callback may clear the table.
  for (int i = 0; i < map->cap; i++) {
    const mapel_t el = map->els[i];
    if (!live(el)) continue;
    if (!fn(el.key, el.val, arg)) {
      result = 0;
      break;
    }
  }
  map->walks--;
  return result;
}

int map_forkey(map_t* map, void* key, int (*fn)(mapel_t* el, int existed)) {
  if (fn == nullptr) return 0;
  const Probe p = keyedProbe(map, key);
  if (!claim(map, key, p)) return 0;
  fn(&map->els[p.slot], p.found ? 1 : 0);
  return 1;
}

int map_addval(map_t* map, void* key, long delta) {
  const Probe p = keyedProbe(map, key);
  if (!claim(map, key, p)) return 0;
  mapel_t& el = map->els[p.slot];
  // Unsigned arithmetic: a counter that overflows wraps instead of being undefined.
  el.val = map_ikey(static_cast<long>(static_cast<unsigned long>(map_ival(el.val)) +
                                      static_cast<unsigned long>(delta)));
  return 1;
}

map_t* map_dup(map_t* map) {
  map_t* dup = static_cast<map_t*>(malloc(sizeof(map_t)));
  *dup = *map;
  dup->walks = 0;
  dup->accel = nullptr;
  dup->accelShed = 0;
  dup->els = static_cast<mapel_t*>(calloc(map->cap > 0 ? map->cap : 1, sizeof(mapel_t)));
  if (map->els && map->cap > 0) memcpy(dup->els, map->els, sizeof(mapel_t) * map->cap);
  if (map->hashes) {
    dup->hashes = static_cast<uint32_t*>(calloc(map->cap, sizeof(uint32_t)));
    memcpy(dup->hashes, map->hashes, sizeof(uint32_t) * map->cap);
  }
  return dup;
}

void map_dup_free(map_t* dup) {
  if (dup == nullptr) return;
  dropAccel(dup);
  free(dup->els);
  free(dup->hashes);
  free(dup);
}
