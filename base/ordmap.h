// OrdMap: an ordered map from 32-bit keys to 32-bit values in one sorted
// array.
//
// It answers as an ordered map does (find, lower_bound, ascending
// iteration, operator[] inserting a missing key with value 0) with a
// fraction of the memory and without an allocation per key. Appending keys
// in ascending order (emplace_hint at end(), or operator[] past the last
// key) costs O(1); inserting or erasing in the middle moves the keys after
// it, which suits an index loaded or built in order and edited now and then.
// Iterators are invalidated by every insertion and erasure.
#pragma once

#include <algorithm>
#include <cstdint>
#include <initializer_list>
#include <stdexcept>
#include <utility>
#include <vector>

class OrdMap {
 public:
  using value_type = std::pair<int32_t, int32_t>;
  using iterator = std::vector<value_type>::iterator;
  using const_iterator = std::vector<value_type>::const_iterator;
  using const_reverse_iterator = std::vector<value_type>::const_reverse_iterator;

  OrdMap() = default;
  // As a map built from these pairs: the first of a repeated key stays.
  OrdMap(std::initializer_list<value_type> pairs) { *this = pairs; }
  OrdMap& operator=(std::initializer_list<value_type> pairs) {
    v_.assign(pairs.begin(), pairs.end());
    std::stable_sort(v_.begin(), v_.end(),
                     [](const value_type& a, const value_type& b) { return a.first < b.first; });
    v_.erase(std::unique(v_.begin(), v_.end(),
                         [](const value_type& a, const value_type& b) { return a.first == b.first; }),
             v_.end());
    return *this;
  }

  iterator begin() { return v_.begin(); }
  iterator end() { return v_.end(); }
  const_iterator begin() const { return v_.begin(); }
  const_iterator end() const { return v_.end(); }
  const_reverse_iterator rbegin() const { return v_.rbegin(); }
  const_reverse_iterator rend() const { return v_.rend(); }
  size_t size() const { return v_.size(); }
  bool empty() const { return v_.empty(); }
  void clear() { v_.clear(); }
  void reserve(size_t n) { v_.reserve(n); }
  void swap(OrdMap& other) noexcept { v_.swap(other.v_); }

  iterator lower_bound(int32_t k) {
    return std::lower_bound(v_.begin(), v_.end(), k, keyLess);
  }
  const_iterator lower_bound(int32_t k) const {
    return std::lower_bound(v_.begin(), v_.end(), k, keyLess);
  }
  iterator find(int32_t k) {
    auto it = lower_bound(k);
    return it != v_.end() && it->first == k ? it : v_.end();
  }
  const_iterator find(int32_t k) const {
    auto it = lower_bound(k);
    return it != v_.end() && it->first == k ? it : v_.end();
  }
  size_t count(int32_t k) const { return find(k) != v_.end() ? 1 : 0; }
  int32_t at(int32_t k) const {
    auto it = find(k);
    if (it == v_.end()) throw std::out_of_range("OrdMap::at");
    return it->second;
  }
  int32_t& operator[](int32_t k) {
    if (v_.empty() || v_.back().first < k) return v_.emplace_back(k, 0).second;
    auto it = lower_bound(k);
    if (it == v_.end() || it->first != k) it = v_.insert(it, {k, 0});
    return it->second;
  }
  // Inserts (k, value) unless k is there; the hint is where it would go.
  // A hint at end() with a key above the last one appends at once.
  iterator emplace_hint(const_iterator hint, int32_t k, int32_t value) {
    if (hint == v_.end() && (v_.empty() || v_.back().first < k)) {
      v_.emplace_back(k, value);
      return v_.end() - 1;
    }
    auto it = lower_bound(k);
    if (it != v_.end() && it->first == k) return it;
    return v_.insert(it, {k, value});
  }
  iterator erase(const_iterator it) { return v_.erase(it); }
  size_t erase(int32_t k) {
    auto it = find(k);
    if (it == v_.end()) return 0;
    v_.erase(it);
    return 1;
  }
  // Keeps the pairs for which keep(pair) holds, in order.
  template <typename Keep>
  size_t retain(Keep keep) {
    size_t before = v_.size();
    v_.erase(std::remove_if(v_.begin(), v_.end(), [&](const value_type& p) { return !keep(p); }),
             v_.end());
    return before - v_.size();
  }
  // Replaces the contents by `pairs`, which the caller has sorted by key
  // with no key twice.
  void assignSorted(std::vector<value_type>&& pairs) { v_ = std::move(pairs); }

 private:
  static bool keyLess(const value_type& p, int32_t k) { return p.first < k; }
  std::vector<value_type> v_;
};
