#include "base/readahead.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "testutil.h"

namespace {

using testutil::PinToOneCore;

// Makes "item 0" … "item N-1", each into an item it expects to find empty,
// and records on which thread it ran.
struct Maker {
  explicit Maker(int n) : count(n) {}
  int count;
  std::atomic<int> made{0};
  std::atomic<int> reusedItems{0};
  std::thread::id thread;
  bool operator()(std::vector<std::string>& item) {
    thread = std::this_thread::get_id();
    if (!item.empty()) ++reusedItems;
    if (made >= count) return false;
    item.push_back("item " + std::to_string(made++));
    return true;
  }
};

std::vector<std::string> takeAll(ReadAhead<std::vector<std::string>>& ahead) {
  std::vector<std::string> got;
  std::vector<std::string> item;
  while (ahead.next(item)) {
    EXPECT_EQ(item.size(), 1u);
    got.push_back(item.empty() ? "" : item.back());
  }
  EXPECT_FALSE(ahead.next(item)) << "the end stays the end";
  return got;
}

std::vector<std::string> expected(int n) {
  std::vector<std::string> v;
  for (int i = 0; i < n; ++i) v.push_back("item " + std::to_string(i));
  return v;
}

TEST(ReadAhead, ItemsArriveInOrderWhateverTheDepth) {
  for (size_t depth : {0, 1, 3, 64}) {
    Maker maker(1000);
    ReadAhead<std::vector<std::string>> ahead(std::ref(maker), depth);
    EXPECT_EQ(takeAll(ahead), expected(1000)) << "depth " << depth;
    EXPECT_EQ(maker.reusedItems, 0);
  }
}

TEST(ReadAhead, EmptyInputGivesNoItem) {
  Maker maker(0);
  ReadAhead<std::vector<std::string>> ahead(std::ref(maker), 4);
  EXPECT_TRUE(takeAll(ahead).empty());
}

TEST(ReadAhead, StoppingEarlyEndsTheThreadAndMakesNoMoreThanItRunsAhead) {
  Maker maker(100000);
  {
    ReadAhead<std::vector<std::string>> ahead(std::ref(maker), 2, 3);
    std::vector<std::string> item;
    ASSERT_TRUE(ahead.next(item));
    ASSERT_TRUE(ahead.next(item));
    EXPECT_EQ(item.back(), "item 1");
    ASSERT_TRUE(ahead.next(item));
    EXPECT_EQ(item.back(), "item 2");
  }  // must return, not wait for the rest
  // Two batches taken, at most three waiting, one being made when asked to
  // stop: batches of two.
  EXPECT_LE(maker.made, 2 * (2 + 3 + 1));
}

// An item that tells its weight.
struct Heavy {
  int n = -1;
  size_t w = 0;
  size_t weight() const { return w; }
};

TEST(ReadAhead, HeavyItemsTravelInSmallerBatches) {
  // Items weighing a whole batch's weight each go one a batch; light ones
  // fill their batches. Either way every item arrives, in order.
  for (size_t each : {ReadAhead<Heavy>::kBatchWeight, size_t{1}}) {
    SCOPED_TRACE(each);
    std::atomic<int> made{0};
    {
      ReadAhead<Heavy> ahead(
          [&](Heavy& item) {
            if (made >= 1000) return false;
            item = {made++, each};
            return true;
          },
          32, 2);
      Heavy item;
      ASSERT_TRUE(ahead.next(item));
      EXPECT_EQ(item.n, 0);
      // The thread runs ahead as far as it may.
      for (int i = 0; i < 200 && made < (each == 1 ? 96 : 3); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
      // Taken, two ahead, one being made: batches of one item, or of 32.
      if (each == 1) {
        EXPECT_GE(made, 96);
      } else {
        EXPECT_LE(made, 4);
      }
      for (int k = 1; k < 1000; ++k) {
        ASSERT_TRUE(ahead.next(item));
        ASSERT_EQ(item.n, k);
      }
      EXPECT_FALSE(ahead.next(item));
    }
  }
}

TEST(ReadAhead, ABatchLongerThanTheInputEndsWithTheInput) {
  for (int n : {1, 255, 256, 257, 1000}) {
    Maker maker(n);
    ReadAhead<std::vector<std::string>> ahead(std::ref(maker), 256, 2);
    EXPECT_EQ(takeAll(ahead), expected(n)) << n << " items";
  }
}

TEST(ReadAhead, OnOneCoreItemsAreMadeOnTheCallersThreadAndFresh) {
  PinToOneCore pin;
  ASSERT_EQ(availableCores(), 1);
  Maker maker(50);
  ReadAhead<std::vector<std::string>> ahead(std::ref(maker), 8);
  EXPECT_EQ(maker.made, 0) << "nothing is made before it is asked for";
  EXPECT_EQ(takeAll(ahead), expected(50));
  EXPECT_EQ(maker.thread, std::this_thread::get_id());
  EXPECT_EQ(maker.reusedItems, 0) << "a stale item would carry the last entry";
}

// Spends on the thread that makes, each item once, and only items the pass
// is done with: item k comes back once the pass has asked for item k + 1.
struct Spender {
  std::thread::id maker;
  std::atomic<int>* asked = nullptr;  // calls of next so far
  std::vector<int> spent;  // item numbers, in the order they came back
  bool wrongThread = false, tooEarly = false;
  void operator()(std::vector<std::string>& item) {
    if (item.empty()) return;  // the empty item the pass started with
    if (std::this_thread::get_id() != maker) wrongThread = true;
    int k = std::stoi(item.back().substr(5));
    if (*asked < k + 2) tooEarly = true;
    spent.push_back(k);
  }
};

void expectSpentProperly(bool oneCore) {
  std::atomic<int> asked{0};
  Maker maker(1000);
  Spender spender;
  spender.asked = &asked;
  {
    ReadAhead<std::vector<std::string>> ahead(
        [&](std::vector<std::string>& item) {
          spender.maker = std::this_thread::get_id();
          return maker(item);
        },
        std::ref(spender), 8, 2);
    std::vector<std::string> item;
    while (++asked, ahead.next(item)) ASSERT_EQ(item.back(), "item " + std::to_string(asked - 1));
  }
  EXPECT_FALSE(spender.wrongThread);
  EXPECT_FALSE(spender.tooEarly);
  std::set<int> once(spender.spent.begin(), spender.spent.end());
  EXPECT_EQ(once.size(), spender.spent.size()) << "an item spent twice";
  // Only the last item, or the batches taken after the thread's last
  // round, may be dropped unspent.
  EXPECT_GE(spender.spent.size(), oneCore ? 999u : 1000u - 4 * 8);
  if (oneCore) {
    EXPECT_EQ(spender.maker, std::this_thread::get_id());
  }
}

// Items spent to be made again: `make` gets them as `spend` left them
// (empty, with their room), on the making thread, and the pass still sees
// every item once, in order. Made again, an item's room is reused: far fewer
// items are new than are made.
void expectMadeAgain(bool oneCore) {
  Maker maker(1000);
  std::atomic<int> fresh{0};
  std::thread::id spender;
  {
    ReadAhead<std::vector<std::string>> ahead(
        [&](std::vector<std::string>& item) {
          if (item.capacity() == 0) ++fresh;
          return maker(item);
        },
        [&](std::vector<std::string>& item) {
          spender = std::this_thread::get_id();
          item.clear();
        },
        8, 2, ReadAhead<std::vector<std::string>>::Spent::kMadeAgain);
    EXPECT_EQ(takeAll(ahead), expected(1000));
  }
  EXPECT_EQ(maker.reusedItems, 0) << "an item made again must come as spend left it";
  EXPECT_EQ(spender, maker.thread);
  EXPECT_LT(fresh, 100);
  if (oneCore) {
    EXPECT_EQ(spender, std::this_thread::get_id());
  }
}

TEST(ReadAhead, SpentItemsComeBackOnceOnTheMakingThread) { expectSpentProperly(false); }

TEST(ReadAhead, SpentItemsAreMadeAgainOnTheMakingThread) { expectMadeAgain(false); }

TEST(ReadAhead, OnOneCoreSpentItemsAreMadeAgainOnTheCallersThread) {
  PinToOneCore pin;
  ASSERT_EQ(availableCores(), 1);
  expectMadeAgain(true);
}

TEST(ReadAhead, OnOneCoreSpentItemsComeBackOnTheCallersThread) {
  PinToOneCore pin;
  ASSERT_EQ(availableCores(), 1);
  expectSpentProperly(true);
}

}  // namespace
