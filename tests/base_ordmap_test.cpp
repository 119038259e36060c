// OrdMap answers as std::map<int32_t, int32_t> does, under a random mix of
// the operations the entry index uses.

#include "base/ordmap.h"

#include <gtest/gtest.h>

#include <map>
#include <random>
#include <string>

namespace {

std::string text(const OrdMap& m) {
  std::string s;
  for (const auto& [k, v] : m) s += std::to_string(k) + ">" + std::to_string(v) + " ";
  return s;
}

std::string text(const std::map<int32_t, int32_t>& m) {
  std::string s;
  for (const auto& [k, v] : m) s += std::to_string(k) + ">" + std::to_string(v) + " ";
  return s;
}

}  // namespace

TEST(OrdMap, AnswersAsAnOrderedMapDoes) {
  std::mt19937 rng(5);
  OrdMap m;
  std::map<int32_t, int32_t> want;
  for (int step = 0; step < 20000; ++step) {
    int32_t k = static_cast<int32_t>(rng() % 300) - 20;
    switch (rng() % 6) {
      case 0:
        m[k] = step;
        want[k] = step;
        break;
      case 1:
        m.emplace_hint(m.end(), k, step);
        want.emplace_hint(want.end(), k, step);
        break;
      case 2:
        ASSERT_EQ(m.erase(k), want.erase(k));
        break;
      case 3: {
        auto a = m.find(k);
        auto b = want.find(k);
        ASSERT_EQ(a == m.end(), b == want.end());
        if (a != m.end()) {
          ASSERT_EQ(a->second, b->second);
        }
        break;
      }
      case 4: {
        auto a = m.lower_bound(k);
        auto b = want.lower_bound(k);
        ASSERT_EQ(a == m.end(), b == want.end());
        if (a != m.end()) {
          ASSERT_EQ(a->first, b->first);
        }
        break;
      }
      default:
        ASSERT_EQ(m.count(k), want.count(k));
        if (want.count(k)) {
          ASSERT_EQ(m.at(k), want.at(k));
        }
        break;
    }
    ASSERT_EQ(m.size(), want.size());
  }
  EXPECT_EQ(text(m), text(want));
  EXPECT_THROW(m.at(100000), std::out_of_range);

  // Built from pairs, a repeated key keeps its first value, as a map does.
  m = {{3, 1}, {1, 2}, {3, 9}};
  EXPECT_EQ(text(m), "1>2 3>1 ");
  EXPECT_EQ(m.retain([](const OrdMap::value_type& p) { return p.first != 1; }), 1u);
  EXPECT_EQ(text(m), "3>1 ");
}
