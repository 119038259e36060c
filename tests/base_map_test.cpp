#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "base/map.h"

namespace {

// An integer-keyed table, released at the end of the test.
struct IntMap {
  map_t m;
  IntMap() { map_init(&m, MAP_INT, MAP_BORROW); }
  ~IntMap() { map_done(&m); }
};

struct StrMap {
  map_t m;
  explicit StrMap(int own = MAP_BORROW) { map_init(&m, MAP_STR, own); }
  ~StrMap() { map_done(&m); }
};

int collectKey(void* key, void*, void* arg) {
  static_cast<std::vector<long>*>(arg)->push_back(map_ival(key));
  return 1;
}

std::vector<long> intKeysInOrder(map_t* m) {
  std::vector<long> keys;
  map_forall(m, collectKey, &keys);
  return keys;
}

TEST(MapHash, StringStartSlotsFollowTheNineTimesHash) {
  EXPECT_EQ(map_str_gpos(67, const_cast<char*>("ab")), 33);  // 971 % 67
  EXPECT_EQ(map_str_gpos(67, const_cast<char*>("ba")), 41);  // 979 % 67
  EXPECT_EQ(map_str_gpos(67, const_cast<char*>("")), 0);
  // Bytes count unsigned: 0xFF is 255, not -1.
  EXPECT_EQ(map_str_gpos(67, const_cast<char*>("\xff")), 255 % 67);
  // The hash wraps at 32 bits: 20 bytes of 'z' overflow it many times.
  uint32_t h = 0;
  for (int i = 0; i < 20; i++) h = h * 9 + 'z';
  EXPECT_EQ(map_str_gpos(1117, const_cast<char*>("zzzzzzzzzzzzzzzzzzzz")),
            static_cast<int>(h % 1117));
  EXPECT_EQ(map_int_gpos(67, map_ikey(70)), 3);
  EXPECT_EQ(map_int_gpos(67, map_ikey(-1)), static_cast<int>(0xFFFFFFFFu % 67));
}

TEST(MapHash, KeysLandOnTheirSlotsAndWalkInSlotOrder) {
  StrMap t;
  char ba[] = "ba", ab[] = "ab";
  map_assn(&t.m, ba, map_ikey(2));
  map_assn(&t.m, ab, map_ikey(1));
  EXPECT_EQ(t.m.cap, 67);
  EXPECT_EQ(t.m.els[33].key, ab);
  EXPECT_EQ(t.m.els[41].key, ba);
  std::vector<std::string> order;
  map_forall(
      &t.m,
      [](void* key, void*, void* arg) {
        static_cast<std::vector<std::string>*>(arg)->push_back(static_cast<char*>(key));
        return 1;
      },
      &order);
  EXPECT_EQ(order, (std::vector<std::string>{"ab", "ba"}));
}

TEST(MapHash, CollidingKeysTakeTheNextSlotsWrappingAtTheEnd) {
  IntMap t;
  map_assn(&t.m, map_ikey(66), map_ikey(1));
  map_assn(&t.m, map_ikey(133), map_ikey(2));  // also slot 66: wraps to 0
  map_assn(&t.m, map_ikey(67), map_ikey(3));   // slot 0 taken: goes to 1
  EXPECT_EQ(map_pos(&t.m, map_ikey(133)), 0);
  EXPECT_EQ(map_pos(&t.m, map_ikey(67)), 1);
  EXPECT_EQ(intKeysInOrder(&t.m), (std::vector<long>{133, 67, 66}));
  EXPECT_EQ(map_pos(&t.m, map_ikey(200)), 2);  // absent: where it would go
}

TEST(MapHash, KeysOfEqualHashAreToldApartThroughGrowth) {
  StrMap t(MAP_COPY);
  // "19" and "20" both hash to 498 (9 * 49 + 57 = 9 * 50 + 48).
  EXPECT_EQ(map_str_gpos(1 << 30, const_cast<char*>("19")), 498);
  EXPECT_EQ(map_str_gpos(1 << 30, const_cast<char*>("20")), 498);
  std::vector<std::string> keys;
  for (int i = 0; i < 3000; i++) keys.push_back(std::to_string(i));
  for (int i = 0; i < 3000; i++) map_assn(&t.m, keys[i].data(), map_ikey(i + 1));
  EXPECT_EQ(map_size(&t.m), 3000);
  for (int i = 0; i < 3000; i++) ASSERT_EQ(map_ival(map_get(&t.m, keys[i].data())), i + 1);
  char twenty[] = "20";
  map_dele(&t.m, twenty);
  char nineteen[] = "19";
  EXPECT_EQ(map_ival(map_get(&t.m, nineteen)), 20);
  EXPECT_EQ(map_get(&t.m, twenty), nullptr);
}

TEST(MapCapacity, PrimeTestStopsBelowTheTruncatedRoot) {
  for (int n : {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 15, 25, 35, 49, 121, 143, 169, 67, 137})
    EXPECT_EQ(isprime(n), 1) << n;
  for (int n : {10, 12, 16, 27, 64, 65, 66, 100, 134, 144, 1000}) EXPECT_EQ(isprime(n), 0) << n;
}

TEST(MapCapacity, NewTableHas67SlotsAndGrowthDoubles) {
  IntMap t;
  EXPECT_EQ(t.m.cap, 67);
  EXPECT_EQ(t.m.grow, 1);
  std::vector<int> caps{t.m.cap};
  for (long k = 1; k <= 1000; k++) {
    map_assn(&t.m, map_ikey(k), map_ikey(k));
    if (t.m.cap != caps.back()) caps.push_back(t.m.cap);
  }
  map_get(&t.m, map_ikey(1));
  if (t.m.cap != caps.back()) caps.push_back(t.m.cap);
  EXPECT_EQ(caps, (std::vector<int>{67, 137, 277, 557, 1117, 2237}));
  for (long k = 1; k <= 1000; k++) ASSERT_EQ(map_ival(map_get(&t.m, map_ikey(k))), k);
}

TEST(MapCapacity, GrowthWaitsForTheNextKeyedAccessAfterThe54thKey) {
  IntMap t;
  for (long k = 1; k <= 53; k++) map_assn(&t.m, map_ikey(k), map_ikey(k));
  map_get(&t.m, map_ikey(1));
  EXPECT_EQ(t.m.cap, 67);  // 53 keys: 53.6 is not below 53
  map_assn(&t.m, map_ikey(54), map_ikey(54));
  EXPECT_EQ(t.m.cap, 67);  // the insertion itself does not grow
  EXPECT_EQ(t.m.size, 54);
  map_size(&t.m);
  int pos = 0;
  map_get_nth(&t.m, &pos);  // cursor walks are not keyed accesses
  EXPECT_EQ(t.m.cap, 67);
  EXPECT_EQ(map_exist(&t.m, map_ikey(999)), 0);  // a lookup is
  EXPECT_EQ(t.m.cap, 137);
  EXPECT_EQ(t.m.size, 54);
}

TEST(MapCapacity, GrowthCanBeSwitchedOff) {
  IntMap t;
  t.m.grow = 0;
  for (long k = 1; k <= 60; k++) map_assn(&t.m, map_ikey(k), map_ikey(k));
  map_get(&t.m, map_ikey(1));
  EXPECT_EQ(t.m.cap, 67);
}

TEST(MapRehash, KeysAreReplacedInOldSlotOrder) {
  IntMap t;
  // In 137 slots both keys start at slot 5; in 67 slots 142 sits at 8, 5 at 5.
  map_assn(&t.m, map_ikey(142), map_ikey(1));
  map_assn(&t.m, map_ikey(5), map_ikey(2));
  map_rehash(&t.m, 137);
  EXPECT_EQ(t.m.cap, 137);
  EXPECT_EQ(map_pos(&t.m, map_ikey(5)), 5);
  EXPECT_EQ(map_pos(&t.m, map_ikey(142)), 6);
  EXPECT_EQ(map_ival(map_get(&t.m, map_ikey(142))), 1);
  EXPECT_EQ(t.m.size, 2);
}

TEST(MapRehash, RequestedSizesFollowTheCapacityRule) {
  IntMap t;
  map_rehash(&t.m, 143);
  EXPECT_EQ(t.m.cap, 143);  // 11 x 13 passes the test
  map_rehash(&t.m, 1000);
  EXPECT_EQ(t.m.cap, 1009);
  map_rehash(&t.m, 9);
  EXPECT_EQ(t.m.cap, 9);
}

TEST(MapRehash, ToZeroLeavesAUsableTable) {
  IntMap t;
  map_rehash(&t.m, 0);
  EXPECT_GE(t.m.cap, 1);
  EXPECT_EQ(map_get(&t.m, map_ikey(7)), nullptr);
  for (long k = 1; k <= 200; k++) ASSERT_EQ(map_assn(&t.m, map_ikey(k), map_ikey(k * 2)), 1);
  for (long k = 1; k <= 200; k++) ASSERT_EQ(map_ival(map_get(&t.m, map_ikey(k))), k * 2);
  EXPECT_EQ(map_size(&t.m), 200);
}

TEST(MapRehash, TooSmallARequestGrowsFirst) {
  IntMap t;
  for (long k = 1; k <= 50; k++) map_assn(&t.m, map_ikey(k), map_ikey(k));
  map_rehash(&t.m, 10);
  EXPECT_GE(t.m.cap * 0.8, 50);
  EXPECT_EQ(t.m.size, 50);
  for (long k = 1; k <= 50; k++) ASSERT_EQ(map_ival(map_get(&t.m, map_ikey(k))), k);
}

TEST(MapAccess, AssignExistDeleteGet) {
  IntMap t;
  EXPECT_EQ(map_assn(&t.m, map_ikey(3), map_ikey(30)), 1);
  EXPECT_EQ(map_assn(&t.m, map_ikey(3), map_ikey(31)), 1);
  EXPECT_EQ(map_size(&t.m), 1);
  EXPECT_EQ(map_ival(map_get(&t.m, map_ikey(3))), 31);
  EXPECT_EQ(map_exist(&t.m, map_ikey(3)), 1);
  EXPECT_EQ(map_exist(&t.m, map_ikey(4)), 0);
  EXPECT_EQ(map_get(&t.m, map_ikey(4)), nullptr);

  EXPECT_EQ(map_dele(&t.m, map_ikey(4)), 0);  // absent: nothing changes
  EXPECT_EQ(map_size(&t.m), 1);
  EXPECT_EQ(map_ival(map_get(&t.m, map_ikey(3))), 31);

  EXPECT_EQ(map_dele(&t.m, map_ikey(3)), 0);
  EXPECT_EQ(map_size(&t.m), 0);
  EXPECT_EQ(map_exist(&t.m, map_ikey(3)), 0);
}

TEST(MapAccess, StringKeysCompareByteExact) {
  StrMap t;
  char a[] = "Kun", b[] = "kun";
  map_assn(&t.m, a, map_ikey(1));
  char probe[] = "Kun";
  EXPECT_EQ(map_ival(map_get(&t.m, probe)), 1);
  EXPECT_EQ(map_get(&t.m, b), nullptr);
}

TEST(MapAccess, ForkeyReportsWhetherTheKeyExisted) {
  IntMap t;
  static std::vector<int> seen;
  seen.clear();
  auto fn = [](mapel_t* el, int existed) {
    seen.push_back(existed);
    el->val = map_ikey(map_ival(el->val) + 5);
    return 0;
  };
  EXPECT_EQ(map_forkey(&t.m, map_ikey(9), fn), 1);
  EXPECT_EQ(map_forkey(&t.m, map_ikey(9), fn), 1);
  EXPECT_EQ(seen, (std::vector<int>{0, 1}));
  EXPECT_EQ(map_ival(map_get(&t.m, map_ikey(9))), 10);
  EXPECT_EQ(map_size(&t.m), 1);
  EXPECT_EQ(map_forkey(&t.m, map_ikey(10), nullptr), 0);
  EXPECT_EQ(map_size(&t.m), 1);
}

TEST(MapAccess, AddvalCountsAndRestartsFromZeroAfterDeletion) {
  IntMap t;
  EXPECT_EQ(map_addval(&t.m, map_ikey(4), 3), 1);
  EXPECT_EQ(map_addval(&t.m, map_ikey(4), -1), 1);
  EXPECT_EQ(map_ival(map_get(&t.m, map_ikey(4))), 2);
  map_dele(&t.m, map_ikey(4));
  map_addval(&t.m, map_ikey(4), 1);  // takes its old tombstone back
  EXPECT_EQ(map_pos(&t.m, map_ikey(4)), 4);
  EXPECT_EQ(map_ival(map_get(&t.m, map_ikey(4))), 1);
}

TEST(MapAccess, TheTombstoneIsNotAKey) {
  IntMap t;
  EXPECT_EQ(map_assn(&t.m, map_tombstone(), map_ikey(1)), 0);
  EXPECT_EQ(map_size(&t.m), 0);
  EXPECT_EQ(map_exist(&t.m, map_tombstone()), 0);
}

TEST(MapDelete, KeyBeyondADeletedSlotStaysReachable) {
  IntMap t;
  map_assn(&t.m, map_ikey(5), map_ikey(1));
  map_assn(&t.m, map_ikey(72), map_ikey(2));  // slot 5 taken: 6
  map_assn(&t.m, map_ikey(139), map_ikey(3));  // 7
  map_dele(&t.m, map_ikey(5));
  EXPECT_EQ(map_ival(map_get(&t.m, map_ikey(72))), 2);
  EXPECT_EQ(map_ival(map_get(&t.m, map_ikey(139))), 3);
  // Assigning a key beyond the gap overwrites it rather than adding a twin.
  map_assn(&t.m, map_ikey(139), map_ikey(4));
  EXPECT_EQ(map_size(&t.m), 2);
  EXPECT_EQ(map_pos(&t.m, map_ikey(139)), 7);
  // A new key of the run takes the deleted slot, as if it had been emptied.
  map_assn(&t.m, map_ikey(206), map_ikey(5));
  EXPECT_EQ(map_pos(&t.m, map_ikey(206)), 5);
  EXPECT_EQ(t.m.tombs, 0);
  EXPECT_EQ(intKeysInOrder(&t.m), (std::vector<long>{206, 72, 139}));
}

TEST(MapDelete, WalkThatDeletesTheCurrentKeyVisitsEveryOtherOnce) {
  IntMap t;
  // Long collision runs (keys congruent mod 67) make every deletion a gap.
  for (long k = 1; k <= 40; k++) map_assn(&t.m, map_ikey(k % 4 + 67 * k), map_ikey(k));
  const std::vector<long> before = intKeysInOrder(&t.m);
  struct Walk {
    map_t* m;
    std::vector<long> seen;
  } w{&t.m, {}};
  EXPECT_EQ(map_forall(
                &t.m,
                [](void* key, void*, void* arg) {
                  auto* w = static_cast<Walk*>(arg);
                  w->seen.push_back(map_ival(key));
                  if (w->seen.size() % 2 == 1) map_dele(w->m, key);
                  return 1;
                },
                &w),
            1);
  EXPECT_EQ(w.seen, before);
  EXPECT_EQ(map_size(&t.m), 20);
  for (size_t i = 0; i < before.size(); i++)
    EXPECT_EQ(map_exist(&t.m, map_ikey(before[i])), i % 2 == 1 ? 1 : 0) << before[i];
}

TEST(MapDelete, PendingGrowthWaitsUntilTheWalkEnds) {
  IntMap t;
  for (long k = 1; k <= 54; k++) map_assn(&t.m, map_ikey(k), map_ikey(k));
  const std::vector<long> before = intKeysInOrder(&t.m);
  struct Walk {
    map_t* m;
    std::vector<long> seen;
    int caps = 0;
  } w{&t.m, {}};
  map_forall(
      &t.m,
      [](void* key, void*, void* arg) {
        auto* w = static_cast<Walk*>(arg);
        w->seen.push_back(map_ival(key));
        if (map_ival(key) == 1) map_dele(w->m, key);  // a keyed access mid-walk
        if (w->m->cap != 67) w->caps++;
        return 1;
      },
      &w);
  EXPECT_EQ(w.seen, before);
  EXPECT_EQ(w.caps, 0);
  EXPECT_EQ(t.m.cap, 67);
  map_assn(&t.m, map_ikey(100), map_ikey(1));  // 53 keys: no growth due
  map_get(&t.m, map_ikey(2));                   // 54 again: grows now
  EXPECT_EQ(t.m.cap, 137);
}

TEST(MapDelete, TombstonesFillingTheTableAreClearedAtTheSameCapacity) {
  IntMap t;
  map_rehash(&t.m, 5);
  for (long k = 1; k <= 4; k++) map_assn(&t.m, map_ikey(k), map_ikey(k));
  map_dele(&t.m, map_ikey(2));
  map_assn(&t.m, map_ikey(10), map_ikey(10));  // slot 0: no empty slot left
  EXPECT_EQ(t.m.tombs, 1);
  EXPECT_EQ(map_get(&t.m, map_ikey(2)), nullptr);
  EXPECT_EQ(t.m.cap, 5);
  EXPECT_EQ(t.m.tombs, 0);
  EXPECT_EQ(intKeysInOrder(&t.m), (std::vector<long>{10, 1, 3, 4}));
}

TEST(MapWalk, ForallStopsAtTheFirstZeroResult) {
  IntMap t;
  for (long k = 1; k <= 5; k++) map_assn(&t.m, map_ikey(k), map_ikey(k));
  int calls = 0;
  EXPECT_EQ(map_forall(
                &t.m,
                [](void*, void*, void* arg) {
                  ++*static_cast<int*>(arg);
                  return 0;
                },
                &calls),
            0);
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(map_forall(&t.m, nullptr, nullptr), 0);
}

TEST(MapWalk, GetNthWalksUsedSlotsWithACursor) {
  IntMap t;
  map_assn(&t.m, map_ikey(3), map_ikey(30));
  map_assn(&t.m, map_ikey(10), map_ikey(100));
  map_assn(&t.m, map_ikey(12), map_ikey(120));
  map_dele(&t.m, map_ikey(10));
  int pos = 0;
  EXPECT_EQ(map_ival(map_get_nth(&t.m, &pos)), 30);
  EXPECT_EQ(pos, 3);
  pos++;
  EXPECT_EQ(map_ival(map_get_nth(&t.m, &pos)), 120);  // skips the deleted slot
  EXPECT_EQ(pos, 12);
  pos++;
  EXPECT_EQ(map_get_nth(&t.m, &pos), nullptr);
  EXPECT_EQ(pos, 67);
  pos = -1;
  EXPECT_EQ(map_get_nth(&t.m, &pos), nullptr);
}

TEST(MapOwnership, CopiedKeysAreDuplicatedAndFreed) {
  StrMap t(MAP_COPY);
  char buf[] = "slovo";
  map_assn(&t.m, buf, map_ikey(1));
  EXPECT_NE(t.m.els[map_pos(&t.m, buf)].key, static_cast<void*>(buf));
  buf[0] = 'S';
  char probe[] = "slovo";
  EXPECT_EQ(map_ival(map_get(&t.m, probe)), 1);
  map_dele(&t.m, probe);  // frees the copy (the leak checker would see it otherwise)
  map_assn(&t.m, probe, map_ikey(2));
}

TEST(MapOwnership, AdoptedKeysAreFreedOnDeleteAndClear) {
  StrMap t(MAP_ADOPT);
  map_assn(&t.m, strdup("jedna"), map_ikey(1));
  map_assn(&t.m, strdup("dva"), map_ikey(2));
  char one[] = "jedna";
  map_dele(&t.m, one);
  EXPECT_EQ(map_size(&t.m), 1);
  map_clear(&t.m);
  EXPECT_EQ(map_size(&t.m), 0);
  EXPECT_EQ(t.m.cap, 67);
}

TEST(MapOwnership, VfreeDisposesOfDroppedValuesWithTheUserArgument) {
  IntMap t;
  static std::vector<long> freed;
  freed.clear();
  int owner = 0;
  t.m.data = &owner;
  t.m.vfree = [](void* val, void* data) {
    EXPECT_EQ(*static_cast<int*>(data), 0);
    freed.push_back(map_ival(val));
  };
  map_assn(&t.m, map_ikey(1), map_ikey(11));
  map_assn(&t.m, map_ikey(2), map_ikey(22));
  map_assn(&t.m, map_ikey(3), nullptr);
  map_assn(&t.m, map_ikey(1), map_ikey(12));  // overwriting does not dispose
  EXPECT_TRUE(freed.empty());
  map_dele(&t.m, map_ikey(2));
  EXPECT_EQ(freed, (std::vector<long>{22}));
  map_clear(&t.m);  // null values are not handed over
  EXPECT_EQ(freed, (std::vector<long>{22, 12}));
}

TEST(MapOwnership, FullIsCalledAndTheInsertionFails) {
  IntMap t;
  static std::vector<long> full;
  full.clear();
  t.m.grow = 0;
  t.m.full = [](void* key) { full.push_back(map_ival(key)); };
  map_rehash(&t.m, 3);
  for (long k = 1; k <= 3; k++) EXPECT_EQ(map_assn(&t.m, map_ikey(k), map_ikey(k)), 1);
  EXPECT_EQ(map_assn(&t.m, map_ikey(4), map_ikey(4)), 0);
  EXPECT_EQ(map_addval(&t.m, map_ikey(5), 1), 0);
  EXPECT_EQ(map_pos(&t.m, map_ikey(6)), -1);
  EXPECT_EQ(map_get(&t.m, map_ikey(6)), nullptr);  // lookups do not call it
  EXPECT_EQ(full, (std::vector<long>{4, 5}));
  EXPECT_EQ(map_size(&t.m), 3);
  EXPECT_EQ(map_ival(map_get(&t.m, map_ikey(3))), 3);
}

TEST(MapDup, CopyHasItsOwnSlotsAndSharesKeys) {
  StrMap t(MAP_COPY);
  char a[] = "a", b[] = "b";
  map_assn(&t.m, a, map_ikey(1));
  map_t* d = map_dup(&t.m);
  EXPECT_EQ(d->cap, t.m.cap);
  EXPECT_EQ(d->size, 1);
  EXPECT_NE(d->els, t.m.els);
  EXPECT_EQ(d->els[map_pos(d, a)].key, t.m.els[map_pos(&t.m, a)].key);
  map_assn(&t.m, b, map_ikey(2));
  EXPECT_EQ(map_exist(d, b), 0);
  EXPECT_EQ(map_ival(map_get(d, a)), 1);
  map_dup_free(d);
  EXPECT_EQ(map_ival(map_get(&t.m, a)), 1);
}

TEST(MapLifecycle, DoneThenInitAgain) {
  map_t m;
  map_init(&m, MAP_STR, MAP_COPY);
  char k[] = "x";
  map_assn(&m, k, map_ikey(1));
  map_done(&m);
  EXPECT_EQ(m.els, nullptr);
  map_init(&m, MAP_STR, MAP_COPY);
  EXPECT_EQ(map_size(&m), 0);
  EXPECT_EQ(map_get(&m, k), nullptr);
  map_done(&m);
}

// --- the accelerated table against a plain model ---------------------------

// Linear probing as the table's contract states it, kept deliberately naive:
// tombstones, the growth and clean-up checks before every keyed access, and
// re-placement in old slot order.
template <class Key>
struct Model {
  enum State { kEmpty, kTomb, kLive };
  uint32_t (*hash)(const Key&);
  bool grow = true;
  int cap = 67, size = 0, tombs = 0;
  std::vector<State> state = std::vector<State>(67, kEmpty);
  std::vector<Key> keys = std::vector<Key>(67);
  std::vector<long> vals = std::vector<long>(67);

  explicit Model(uint32_t (*h)(const Key&)) : hash(h) {}

  // The key's slot, else its run's first tombstone, else the run's empty end.
  int find(const Key& k, bool* found) const {
    *found = false;
    int tomb = -1;
    int i = static_cast<int>(hash(k) % static_cast<uint32_t>(cap));
    for (int n = 0; n < cap; n++, i = (i + 1) % cap) {
      if (state[i] == kEmpty) return tomb >= 0 ? tomb : i;
      if (state[i] == kTomb) {
        if (tomb < 0) tomb = i;
      } else if (keys[i] == k) {
        *found = true;
        return i;
      }
    }
    return tomb;
  }
  void place(const Key& k, long v, int i) {
    if (state[i] == kTomb) tombs--;
    state[i] = kLive;
    keys[i] = k;
    vals[i] = v;
    size++;
  }
  static int capacity(int n) {
    if (n < 1) n = 1;
    while (!isprime(n)) n++;
    return n;
  }
  void rehash(int n) {
    int c = capacity(n);
    while (c * 0.8 < size) c = capacity(2 * c);
    const std::vector<State> oldState = state;
    const std::vector<Key> oldKeys = keys;
    const std::vector<long> oldVals = vals;
    cap = c;
    state.assign(c, kEmpty);
    keys.assign(c, Key());
    vals.assign(c, 0);
    size = tombs = 0;
    bool found;
    for (size_t i = 0; i < oldState.size(); i++)
      if (oldState[i] == kLive) place(oldKeys[i], oldVals[i], find(oldKeys[i], &found));
  }
  int keyed(const Key& k, bool* found) {
    if (grow && cap * 0.8 < size) {
      rehash(2 * cap);
    } else if (tombs > 0 && size + tombs >= cap) {
      rehash(cap);
    }
    return find(k, found);
  }
  // Mirrors of map_assn, map_addval, map_dele, map_get and map_pos.
  bool assign(const Key& k, long v) {
    bool found;
    const int i = keyed(k, &found);
    if (i < 0) return false;
    if (!found) place(k, 0, i);
    vals[i] = v;
    return true;
  }
  bool add(const Key& k, long d) {
    bool found;
    const int i = keyed(k, &found);
    if (i < 0) return false;
    if (!found) place(k, 0, i);
    vals[i] += d;
    return true;
  }
  void erase(const Key& k) {
    bool found;
    const int i = keyed(k, &found);
    if (!found) return;
    state[i] = kTomb;
    size--;
    tombs++;
  }
  long get(const Key& k) {
    bool found;
    const int i = keyed(k, &found);
    return found ? vals[i] : 0;
  }
  int pos(const Key& k) {
    bool found;
    return keyed(k, &found);
  }
};

uint32_t nineHash(const std::string& k) {
  uint32_t h = 0;
  for (unsigned char c : k) h = h * 9 + c;
  return h;
}
uint32_t intHash(const long& k) { return static_cast<uint32_t>(k); }

void* asKey(const std::string& k) { return const_cast<char*>(k.c_str()); }
void* asKey(long k) { return map_ikey(k); }
bool sameKey(void* stored, const std::string& k) { return k == static_cast<const char*>(stored); }
bool sameKey(void* stored, long k) { return map_ival(stored) == k; }

// Every slot, the counters and the capacity agree; a message names the first difference.
template <class Key>
std::string difference(map_t* m, const Model<Key>& model) {
  if (m->cap != model.cap) return "cap " + std::to_string(m->cap) + " vs " + std::to_string(model.cap);
  if (m->size != model.size) return "size";
  if (m->tombs != model.tombs) return "tombs";
  for (int i = 0; i < m->cap; i++) {
    const mapel_t& el = m->els[i];
    bool same = false;
    switch (model.state[i]) {
      case Model<Key>::kEmpty: same = el.key == nullptr; break;
      case Model<Key>::kTomb: same = el.key == map_tombstone(); break;
      case Model<Key>::kLive:
        same = map_live(el) && sameKey(el.key, model.keys[i]) && map_ival(el.val) == model.vals[i];
        break;
    }
    if (!same) return "slot " + std::to_string(i);
  }
  return "";
}

// Drives table and model through the same random operations. Deletions come
// in bursts so that long stretches run without tombstones, and explicit
// rehashes of assorted sizes bring those stretches back.
// With `shedEvery`, the accelerator is also let go every so many steps.
template <class Key>
void driveAlongside(map_t* m, Model<Key>& model, const std::vector<Key>& pool, int steps,
                    unsigned seed, int shedEvery = 0) {
  std::mt19937 rng(seed);
  auto pick = [&] { return pool[rng() % pool.size()]; };
  for (int step = 0; step < steps; step++) {
    if (shedEvery > 0 && step % shedEvery == 0) {
      map_shed_accel(m);
      ASSERT_EQ(m->accel, nullptr);
    }
    const bool deleting = (step / 1500) % 3 == 2;
    const unsigned op = rng() % 100;
    const Key k = pick();
    std::string what;
    if (op < 40) {
      const long v = static_cast<long>(rng() % 1000) + 1;
      what = "assign";
      ASSERT_EQ(map_assn(m, asKey(k), map_ikey(v)), model.assign(k, v) ? 1 : 0) << step;
    } else if (op < 50) {
      what = "add";
      ASSERT_EQ(map_addval(m, asKey(k), 3), model.add(k, 3) ? 1 : 0) << step;
    } else if (op < 70) {
      what = "get";
      ASSERT_EQ(map_ival(map_get(m, asKey(k))), model.get(k)) << step;
    } else if (op < 80) {
      what = "pos";
      ASSERT_EQ(map_pos(m, asKey(k)), model.pos(k)) << step;
    } else if (op < 99) {
      what = "delete";
      if (deleting) {
        map_dele(m, asKey(k));
        model.erase(k);
      } else {
        ASSERT_EQ(map_exist(m, asKey(k)), model.get(k) != 0 ? 1 : 0) << step;
      }
    } else {
      const int sizes[] = {0, model.size / 2, model.size, model.cap, 2 * model.cap,
                           static_cast<int>(rng() % 3000)};
      const int n = sizes[rng() % 6];
      what = "rehash to " + std::to_string(n);
      map_rehash(m, n);
      model.rehash(n);
    }
    const std::string diff = difference(m, model);
    ASSERT_EQ(diff, "") << "step " << step << " (" << what << ")";
  }
}

std::vector<long> clusteredNumbers() {
  std::vector<long> keys;
  for (long k = 1; k <= 900; k++) keys.push_back(k);                  // one solid run
  for (long k = 1; k <= 300; k++) keys.push_back(k * 1117 + k % 3);   // same start slots
  for (long k = 1; k <= 300; k++) keys.push_back(k * 4481 + 5000000);
  return keys;
}

std::vector<std::string> clusteredWords() {
  std::vector<std::string> keys;
  for (int n = 0; n < 1200; n++) keys.push_back(std::to_string(n));  // "19" and "20" collide
  for (char a = 'a'; a <= 'z'; a++)
    for (char b = 'a'; b <= 'z'; b++) keys.push_back(std::string{a, b});
  for (char a = 'a'; a <= 'f'; a++)
    for (char b = 'a'; b <= 'f'; b++)
      for (char c = 'a'; c <= 'f'; c++) keys.push_back(std::string{a, b, c});
  keys.push_back("\xe1\xe9");
  return keys;
}

TEST(MapAccel, ClusteredIntegerKeysLandWherePlainProbingPutsThem) {
  IntMap t;
  Model<long> model(intHash);
  driveAlongside(&t.m, model, clusteredNumbers(), 12000, 7);
}

TEST(MapAccel, NumericAndShortWordKeysLandWherePlainProbingPutsThem) {
  StrMap t(MAP_COPY);
  Model<std::string> model(nineHash);
  driveAlongside(&t.m, model, clusteredWords(), 12000, 11);
}

TEST(MapAccel, ATableThatShedsItsAcceleratorNowAndThenStillPlacesEveryKeyAlike) {
  StrMap words(MAP_COPY);
  Model<std::string> wordModel(nineHash);
  driveAlongside(&words.m, wordModel, clusteredWords(), 12000, 13, 37);
  IntMap numbers;
  Model<long> numberModel(intHash);
  driveAlongside(&numbers.m, numberModel, clusteredNumbers(), 12000, 17, 41);
}

TEST(MapAccel, ShedUntilTheNextKeyedAccessNotThroughWalks) {
  StrMap t(MAP_COPY);
  for (int i = 0; i < 500; i++)
    map_assn(&t.m, const_cast<char*>(std::to_string(i).c_str()), map_ikey(i + 1));
  map_shed_accel(&t.m);
  EXPECT_EQ(t.m.accel, nullptr);
  int pos = 0;
  EXPECT_NE(map_get_nth(&t.m, &pos), nullptr);
  EXPECT_EQ(map_size(&t.m), 500);
  EXPECT_EQ(t.m.accel, nullptr) << "walks and sizes need none";
  map_t* copy = map_dup(&t.m);
  EXPECT_EQ(copy->accelShed, 0) << "a copy never shares it";
  map_dup_free(copy);
  EXPECT_EQ(map_ival(map_get_view(&t.m, "123")), 124);
  EXPECT_NE(t.m.accel, nullptr) << "made again by the lookup";
  map_shed_accel(&t.m);
  std::string_view keys[] = {"7", "x", "499"};
  void* vals[3];
  map_get_views(&t.m, keys, vals, 3);
  EXPECT_EQ(map_ival(vals[0]) * 1000 + map_ival(vals[2]), 8 * 1000 + 500);
  EXPECT_EQ(vals[1], nullptr);
  EXPECT_NE(t.m.accel, nullptr);
  // A deletion while shed: the plain probe serves until the next rehash.
  map_shed_accel(&t.m);
  char seven[] = "7";
  map_dele(&t.m, seven);
  EXPECT_EQ(t.m.tombs, 1);
  EXPECT_EQ(t.m.accel, nullptr);
  EXPECT_EQ(map_get(&t.m, seven), nullptr);
  EXPECT_EQ(t.m.accel, nullptr);
  map_rehash(&t.m, t.m.cap);
  EXPECT_NE(t.m.accel, nullptr);
  map_shed_accel(&t.m);
  map_clear(&t.m);
  EXPECT_NE(t.m.accel, nullptr);
  EXPECT_EQ(t.m.accelShed, 0);
}

TEST(MapCapacity, GrownCapacityIsWhereOneByOneInsertionEnds) {
  for (int n : {0, 1, 53, 54, 55, 140, 1000, 4477, 50000}) {
    IntMap grown, direct;
    map_rehash(&grown.m, n);
    for (long k = 1; k <= n; k++) map_assn(&grown.m, map_ikey(k * 7), map_ikey(k));
    const int cap = map_grown_cap(&direct.m, n);
    EXPECT_EQ(cap, grown.m.cap) << n << " keys";
    map_rehash(&direct.m, cap);
    for (long k = 1; k <= n; k++) map_assn(&direct.m, map_ikey(k * 7), map_ikey(k));
    EXPECT_EQ(direct.m.cap, cap) << n << " keys: no growth on the way";
  }
  IntMap used;
  map_assn(&used.m, map_ikey(5), map_ikey(1));
  EXPECT_EQ(map_grown_cap(&used.m, 1000), used.m.cap);
}

TEST(MapAccel, WithGrowthOffTheTableFillsUpExactlyAsPlainProbingDoes) {
  IntMap t;
  static int fullCalls;
  fullCalls = 0;
  t.m.grow = 0;
  t.m.full = [](void*) { fullCalls++; };
  Model<long> model(intHash);
  model.grow = false;
  map_rehash(&t.m, 557);
  model.rehash(557);
  std::vector<long> pool;
  for (long k = 1; k <= 700; k++) pool.push_back(k * 557 + k % 5);  // more keys than slots
  driveAlongside(&t.m, model, pool, 6000, 3);
  EXPECT_GT(fullCalls, 0);
}

TEST(MapAccel, BuiltAndDroppedAtTheRightMoments) {
  StrMap t(MAP_COPY);
  EXPECT_NE(t.m.accel, nullptr);
  char one[] = "1", two[] = "2", absent[] = "x";
  map_assn(&t.m, one, map_ikey(1));
  map_assn(&t.m, two, map_ikey(2));
  map_dele(&t.m, absent);
  EXPECT_NE(t.m.accel, nullptr);  // nothing was deleted
  map_dele(&t.m, one);
  EXPECT_EQ(t.m.accel, nullptr);
  map_assn(&t.m, one, map_ikey(3));  // takes the tombstone back
  EXPECT_EQ(t.m.tombs, 0);
  EXPECT_EQ(map_pos(&t.m, one), 49);
  EXPECT_EQ(t.m.accel, nullptr);  // still off until the next rehash
  map_rehash(&t.m, 67);
  EXPECT_NE(t.m.accel, nullptr);
  EXPECT_EQ(map_ival(map_get(&t.m, one)), 3);
  map_dele(&t.m, two);
  map_clear(&t.m);
  EXPECT_NE(t.m.accel, nullptr);
  EXPECT_EQ(map_get(&t.m, one), nullptr);
}

TEST(MapAccel, ACopyWorksWithoutOneAndFreesTheOneItGrows) {
  IntMap t;
  for (long k = 1; k <= 50; k++) map_assn(&t.m, map_ikey(k * 67), map_ikey(k));
  map_t* d = map_dup(&t.m);
  EXPECT_EQ(d->accel, nullptr);
  EXPECT_NE(d->accel, t.m.accel);
  for (long k = 1; k <= 50; k++) ASSERT_EQ(map_ival(map_get(d, map_ikey(k * 67))), k);
  for (long k = 51; k <= 100; k++) map_assn(d, map_ikey(k * 67), map_ikey(k));
  EXPECT_NE(d->accel, nullptr);  // growth rebuilt the copy's slots
  for (long k = 1; k <= 100; k++) ASSERT_EQ(map_ival(map_get(d, map_ikey(k * 67))), k);
  EXPECT_EQ(map_size(&t.m), 50);
  EXPECT_EQ(map_get(&t.m, map_ikey(51 * 67)), nullptr);
  map_dup_free(d);  // the leak checker sees a copy's forgotten accelerator
}

// Word numbers fill a large table one slot each: it keeps no accelerator,
// yet finds, adds and refuses keys as one with an accelerator does. Large
// numbers that share start slots keep theirs.
TEST(MapAccel, ALargeTableOfDenseNumbersKeepsNone) {
  constexpr long kWords = 100000;
  IntMap dense, spread;
  map_rehash(&spread.m, 2 * kWords);  // no growth while loading
  const long cap = spread.m.cap;
  std::vector<void*> keys, vals, spreadKeys;
  for (long k = 1; k <= kWords; k++) {
    keys.push_back(map_ikey(k));
    vals.push_back(map_ikey(k + 7));
    spreadKeys.push_back(map_ikey(k / 2 + 1 + (k % 2) * cap));  // two keys a start slot
  }
  map_rehash(&dense.m, kWords);
  ASSERT_EQ(map_load(&dense.m, keys.data(), vals.data(), kWords), 1);
  EXPECT_EQ(dense.m.accel, nullptr);
  ASSERT_EQ(map_load(&spread.m, spreadKeys.data(), vals.data(), kWords), 1);
  ASSERT_EQ(spread.m.cap, cap);
  EXPECT_NE(spread.m.accel, nullptr);

  for (long k = 1; k <= kWords; k += 997) ASSERT_EQ(map_ival(map_get(&dense.m, map_ikey(k))), k + 7);
  EXPECT_EQ(map_get(&dense.m, map_ikey(kWords + 1)), nullptr);
  EXPECT_EQ(map_assn_new(&dense.m, map_ikey(5), map_ikey(1)), 0) << "a key held once stays once";
  EXPECT_EQ(map_assn_new(&dense.m, map_ikey(kWords + 1), map_ikey(1)), 1);
  EXPECT_EQ(map_pos(&dense.m, map_ikey(kWords + 1)), static_cast<int>((kWords + 1) % dense.m.cap));

  std::vector<void*> twice = keys;
  twice.push_back(map_ikey(17));
  IntMap repeated;
  map_rehash(&repeated.m, kWords + 1);
  EXPECT_EQ(map_load(&repeated.m, twice.data(), twice.data(), kWords + 1), 0)
      << "a repeated number is refused without an accelerator too";
}

// A caller's own equality (here: ignoring case) cannot be served by the
// accelerator's byte hash, so such a table always walks its runs.
TEST(MapAccel, ACustomComparisonIsHonoured) {
  StrMap t;
  t.m.comp = [](void* stored, void* key) {
    return strcasecmp(static_cast<char*>(stored), static_cast<char*>(key)) == 0 ? 1 : 0;
  };
  t.m.gpos = [](int cap, void* key) {
    unsigned h = 0;
    for (const char* p = static_cast<char*>(key); *p; p++)
      h = h * 9 + static_cast<unsigned char>(tolower(static_cast<unsigned char>(*p)));
    return static_cast<int>(h % static_cast<unsigned>(cap));
  };
  char upper[] = "Kun", lower[] = "kun";
  map_assn(&t.m, upper, map_ikey(1));
  map_assn(&t.m, lower, map_ikey(2));
  EXPECT_EQ(map_size(&t.m), 1);
  EXPECT_EQ(map_ival(map_get(&t.m, upper)), 2);
}

}  // namespace

namespace {

// Every slot's key (as text) and value, with the capacity: equal layouts
// give equal texts.
std::string layout(map_t* m) {
  std::string out = std::to_string(m->cap) + ":";
  for (int i = 0; i < m->cap; i++) {
    const mapel_t& el = m->els[i];
    if (!map_live(el)) continue;
    out += " " + std::to_string(i) + "=" +
           (m->type == MAP_STR ? std::string(static_cast<char*>(el.key)) : std::to_string(map_ival(el.key))) +
           "/" + std::to_string(map_ival(el.val));
  }
  return out;
}

// Loads `keys` both ways into fresh tables of `type` and compares them.
void expectLoadMatchesOneByOne(int type, const std::vector<void*>& keys) {
  map_t one, bulk;
  map_init(&one, type, MAP_BORROW);
  map_init(&bulk, type, MAP_BORROW);
  std::vector<void*> vals;
  for (size_t i = 0; i < keys.size(); i++) vals.push_back(map_ikey(static_cast<long>(i) + 1));
  for (size_t i = 0; i < keys.size(); i++) ASSERT_EQ(map_assn_new(&one, keys[i], vals[i]), 1) << i;
  ASSERT_EQ(map_load(&bulk, keys.data(), vals.data(), static_cast<int>(keys.size())), 1);
  EXPECT_EQ(layout(&bulk), layout(&one));
  EXPECT_NE(bulk.accel, nullptr);
  for (size_t i = 0; i < keys.size(); i++) ASSERT_EQ(map_get(&bulk, keys[i]), vals[i]) << i;
  char absent[] = "no such key";
  EXPECT_EQ(map_get(&bulk, type == MAP_STR ? static_cast<void*>(absent) : map_ikey(-5)), nullptr);
  map_done(&one);
  map_done(&bulk);
}

}  // namespace

// Loading a stored list must put every key where entering them one by one
// does: the slot order is the order of the files written afterwards.
TEST(MapLoad, KeysLandWhereOneByOneEntryPutsThem) {
  std::vector<std::string> words = clusteredWords();
  for (int n = 0; n < 60000; n += 7) words.push_back("w" + std::to_string(n * 31 % 99991));
  std::shuffle(words.begin(), words.end(), std::mt19937(3));
  std::vector<void*> keys;
  for (std::string& w : words) keys.push_back(w.data());
  expectLoadMatchesOneByOne(MAP_STR, keys);

  std::vector<void*> numbers;
  for (long k : clusteredNumbers()) numbers.push_back(map_ikey(k));
  for (long k = 1; k <= 40000; k++) numbers.push_back(map_ikey(k * 7919 % 100003 + 9000000));
  expectLoadMatchesOneByOne(MAP_INT, numbers);
}

TEST(MapLoad, ARepeatedKeyFailsAndATableInUseLoadsOneByOne) {
  std::string a = "alpha", b = "beta", again = "alpha";
  std::vector<void*> keys{a.data(), b.data(), again.data()};
  std::vector<void*> vals{map_ikey(1), map_ikey(2), map_ikey(3)};
  StrMap fresh;
  EXPECT_EQ(map_load(&fresh.m, keys.data(), vals.data(), 3), 0);
  EXPECT_EQ(fresh.m.accel, nullptr);

  // Not empty: the keys go in one by one, and the repeat stops the load.
  StrMap used;
  std::string first = "first";
  map_assn(&used.m, first.data(), map_ikey(9));
  EXPECT_EQ(map_load(&used.m, keys.data(), vals.data(), 3), 0);
  EXPECT_EQ(map_ival(map_get(&used.m, again.data())), 1);
  EXPECT_EQ(map_size(&used.m), 3);
  EXPECT_EQ(map_load(&used.m, keys.data() + 1, vals.data() + 1, 0), 1);
}

// Looking keys up together answers as one at a time does: present keys,
// missing ones, keys whose hash tag another key shares, keys holding a NUL.
TEST(MapGetViews, AnswersAsOneAtATime) {
  std::vector<std::string> words = clusteredWords();
  StrMap t;
  for (size_t i = 0; i < words.size(); i += 2) map_assn(&t.m, words[i].data(), map_ikey(static_cast<long>(i) + 1));
  char a[] = "a";
  map_assn(&t.m, a, map_ikey(-1));
  std::vector<std::string> asked = words;
  asked.push_back(std::string("a\0b", 3));
  asked.push_back(std::string("never\0stored", 12));
  asked.push_back("never stored");
  std::vector<std::string_view> keys(asked.begin(), asked.end());
  std::vector<void*> vals(keys.size());
  map_get_views(&t.m, keys.data(), vals.data(), static_cast<int>(keys.size()));
  for (size_t i = 0; i < keys.size(); i++) ASSERT_EQ(vals[i], map_get_view(&t.m, keys[i])) << i;
  EXPECT_EQ(map_ival(vals[0]), 1);
  EXPECT_EQ(vals[1], nullptr);
  EXPECT_EQ(map_ival(vals[words.size()]), -1) << "a key holding a NUL stands for the text before it";

  // With the hashes given, the answers are the same.
  std::vector<uint64_t> hashes;
  for (std::string_view k : keys) hashes.push_back(map_view_hash(k));
  std::vector<void*> hashed(keys.size());
  map_get_hashed_views(&t.m, keys.data(), hashes.data(), hashed.data(), static_cast<int>(keys.size()));
  EXPECT_EQ(hashed, vals);

  // Without an accelerator (a table with a tombstone) the same holds.
  map_dele(&t.m, words[0].data());
  map_get_views(&t.m, keys.data(), vals.data(), static_cast<int>(keys.size()));
  for (size_t i = 0; i < keys.size(); i++) ASSERT_EQ(vals[i], map_get_view(&t.m, keys[i])) << i;
  EXPECT_EQ(vals[0], nullptr);
}
