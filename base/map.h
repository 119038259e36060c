// map_t: an open-addressing hash table with linear probing.
//
// Keys are NUL-terminated byte strings (MAP_STR) or pointer-sized integers
// (MAP_INT); values are untyped pointer-sized words. The slot order is part
// of the contract: it decides the record order of stored word lists, so the
// hash, the capacity rule and the growth rule below must not change.
//
//  - String hash: h = h * 9 + byte (unsigned 32-bit), slot = h % cap.
//    Integer keys: slot = (uint32_t)key % cap.
//  - Capacity rule: a requested n becomes the smallest m >= n for which
//    isprime(m) holds; isprime tests divisors d with 2 <= d < floor(sqrt(n)),
//    so 0..9, 15, 25, 35, 49, 121, 143, 169 pass as well as the primes.
//    A new table gets 67 slots; growth doubles: 137, 277, 557, 1117, ...
//  - Growth: before every keyed access (lookups too), when cap * 0.8 < size
//    the table is rehashed to 2 * cap. Rehash re-places keys in old slot order.
//  - A null key marks an empty slot: the integer 0 and a null string are not
//    keys. Deletion leaves a tombstone so that keys never move: a key stored
//    beyond a deleted slot stays reachable, and a map_forall walk that deletes
//    the current key still visits every other key once, in slot order. A new
//    key takes the first tombstone of its probe run, which is where it would
//    land had the deleted slot simply been emptied. Rehash drops tombstones.
//    When keys and tombstones would leave no empty slot, the table is
//    rehashed at its own capacity before the next keyed access.
//  - While a map_forall walk is under way, growth and that clean-up wait
//    until the walk ends, so the walk sees one slot array from start to end.
//  - map_rehash never leaves fewer than one slot, and a request too small
//    for the keys held (n * 0.8 < size) is doubled first, as growth would.
//  - `full`, when set, is called with the key when an insertion finds no
//    slot (possible only with growth off or during a walk); the insertion
//    then fails and returns 0. Lookups of a missing key never call it.
//  - A new key, even one taking a tombstone, starts with a null value.
//
// Speed: short keys of the string hash crowd into long probe runs. While a
// string table holds no tombstone, a private accelerator (`accel`) answers
// "where is this key?" through a second, well-mixed hash and "where is the
// first empty slot of this run?" without walking the run; the answers are the
// slots the plain probe would give. It is built by map_init, map_clear and
// map_rehash, dropped by the first deletion of a present key (the plain
// probe then serves until the next rehash or clear), never shared by a
// map_dup copy, and released by map_done and map_dup_free. map_shed_accel
// lets it go while the table is not searched; the next keyed access makes
// it again. It stays exact
// only while the slot array changes through these functions alone: a
// map_forkey callback may change the slot's value, never its key.
#pragma once

#include <cstdint>
#include <string_view>

struct map_accel_t;

enum { MAP_INT = 0, MAP_STR = 1 };
enum { MAP_BORROW = 0, MAP_ADOPT = 1, MAP_COPY = 2 };

struct mapel_t {
  void* key;  // null: empty slot; map_tombstone(): deleted slot
  void* val;
};

struct map_t {
  int size;   // keys stored
  int cap;    // slots in els
  int type;   // MAP_STR, or anything else for integer keys
  int grow;   // automatic growth switch
  int own;    // MAP_BORROW, MAP_ADOPT or MAP_COPY (string keys only)
  void* data; // user argument handed to vfree; set by the owner
  mapel_t* els;
  void (*assn)(void** slotKey, void* key);
  int (*comp)(void* stored, void* key);
  int (*gpos)(int cap, void* key);
  void (*full)(void* key);
  void (*vfree)(void* val, void* data);
  int tombs;  // deleted slots not yet reclaimed
  int walks;  // map_forall walks under way; growth waits until they end
  // String tables only: the 32-bit string hash of each slot's key, so that a
  // probe passes keys of other hashes without reading them. Null otherwise.
  uint32_t* hashes;
  map_accel_t* accel;  // null: every keyed access walks its probe run
  int accelShed;       // set by map_shed_accel: remade at the next keyed access
};

// Integer keys and values travel as pointer-sized words.
inline void* map_ikey(long n) { return reinterpret_cast<void*>(static_cast<intptr_t>(n)); }
inline long map_ival(void* v) { return static_cast<long>(reinterpret_cast<intptr_t>(v)); }

// The marker of a deleted slot; never a valid key.
void* map_tombstone();
inline bool map_live(const mapel_t& el) { return el.key != nullptr && el.key != map_tombstone(); }

int map_init(map_t* map, int type, int own);
int map_done(map_t* map);
int map_clear(map_t* map);
int map_size(map_t* map);
int map_pos(map_t* map, void* key);
void map_rehash(map_t* map, int n);
// The capacity an empty table would have after map_rehash(map, n) and n
// insertions of new keys one by one, growth included; the table's own
// capacity when it is not empty or does not grow. Rehashed to it at once,
// the table takes the n keys without growing.
int map_grown_cap(const map_t* map, int n);
// Frees the accelerator until the next keyed access, which makes it again
// (one pass over the slots): for a large table that is only walked for a
// while, as a build's word table is between its passes.
void map_shed_accel(map_t* map);
int map_assn(map_t* map, void* key, void* val);
// map_assn for a key not yet present: 1 when it was added, 0 (nothing
// changed) when the table already holds it or has no slot for it. One probe
// instead of a lookup and an insertion.
int map_assn_new(map_t* map, void* key, void* val);
// Enters n keys with their values in order, as n calls of map_assn_new
// would: the same slots, growth included. Into an empty table it does so
// for a fraction of the work (the accelerator is built once, at the end),
// which is how stored word lists are loaded. 1 when every key was new; 0
// when one repeats or has no slot: the table then holds some of the keys
// and is to be cleared.
int map_load(map_t* map, void* const* keys, void* const* vals, int n);
int map_dele(map_t* map, void* key);
int map_exist(map_t* map, void* key);
void* map_get(map_t* map, void* key);
// map_get of a string table for a key given by its bytes (no NUL needed):
// the entry pass looks each word up where it stands in the text.
void* map_get_view(map_t* map, std::string_view key);
// map_get_view of n keys at once, into vals[0..n-1]: the same answers, and
// on a large table much faster, since the keys' memory fetches overlap.
void map_get_views(map_t* map, const std::string_view* keys, void** vals, int n);
// The hash a string table finds a key by; computed ahead (on another
// thread, say), it spares map_get_hashed_views the work.
uint64_t map_view_hash(std::string_view key);
// map_get_views with hashes[i] == map_view_hash(keys[i]).
void map_get_hashed_views(map_t* map, const std::string_view* keys, const uint64_t* hashes,
                          void** vals, int n);
void* map_get_nth(map_t* map, int* pos);
int map_forall(map_t* map, int (*fn)(void* key, void* val, void* arg), void* arg);
int map_forkey(map_t* map, void* key, int (*fn)(mapel_t* el, int existed));
int map_addval(map_t* map, void* key, long delta);

// A shallow copy on the heap: keys and values are shared with `map`. Release
// it with map_dup_free, which frees the copy's slot array and the copy but
// no key or value (map_done on a copy would free keys the original owns).
map_t* map_dup(map_t* map);
void map_dup_free(map_t* dup);

int isprime(int n);
void map_str_assn(void** slotKey, void* key);
void map_str_assn2(void** slotKey, void* key);
void map_int_assn(void** slotKey, void* key);
int map_str_comp(void* stored, void* key);
int map_int_comp(void* stored, void* key);
int map_str_gpos(int cap, void* key);
int map_int_gpos(int cap, void* key);
