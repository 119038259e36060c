#include "dictio/entryindex.h"

#include <algorithm>
#include <climits>
#include <vector>

void EntryIndex::place(int32_t num, int32_t offset) {
  auto old = entPos.find(num);
  if (old != entPos.end() && old->second >= 0) {
    auto back = posEnt.find(old->second);
    if (back != posEnt.end() && back->second == num) posEnt.erase(back);
  }
  entPos[num] = offset;
  posEnt[offset] = num;
}

void EntryIndex::markDeleted(int32_t num) {
  auto it = entPos.find(num);
  if (it == entPos.end() || it->second < 0) return;
  auto back = posEnt.find(it->second);
  if (back != posEnt.end() && back->second == num) posEnt.erase(back);
  it->second = -1;
}

bool EntryIndex::dropDeleted() {
  bool removed = entPos.retain([](const OrdMap::value_type& p) { return p.second >= 0; }) > 0;
  if (removed) rebuildReverse();
  return removed;
}

int32_t EntryIndex::offsetOf(long num) const {
  if (num < INT32_MIN || num > INT32_MAX) return -1;
  auto it = entPos.find(static_cast<int32_t>(num));
  return it == entPos.end() || it->second < 0 ? -1 : it->second;
}

int32_t EntryIndex::ownerOf(long offset) const {
  if (offset < 0 || offset > INT32_MAX) return 0;
  auto it = posEnt.find(static_cast<int32_t>(offset));
  return it == posEnt.end() ? 0 : it->second;
}

bool EntryIndex::ownsItsOffset(long num) const {
  int32_t off = offsetOf(num);
  if (off < 0) return false;
  int32_t owner = ownerOf(off);
  return owner == 0 || owner == num;
}

void EntryIndex::rebuildReverse() {
  std::vector<OrdMap::value_type> pairs;
  pairs.reserve(entPos.size());
  bool ascending = true;
  for (const auto& [num, off] : entPos) {
    if (!pairs.empty() && off < pairs.back().first) ascending = false;
    pairs.emplace_back(off, num);
  }
  // Offsets come in ascending number: sorting them stably keeps, within a
  // run of equal offsets, the numbers ascending, so the last one owns it.
  if (!ascending)
    std::stable_sort(pairs.begin(), pairs.end(),
                     [](const OrdMap::value_type& a, const OrdMap::value_type& b) { return a.first < b.first; });
  size_t kept = 0;
  for (size_t i = 0; i < pairs.size(); ++i) {
    if (i + 1 < pairs.size() && pairs[i + 1].first == pairs[i].first) continue;
    pairs[kept++] = pairs[i];
  }
  pairs.resize(kept);
  posEnt.assignSorted(std::move(pairs));
}

void EntryIndex::clear() {
  entPos.clear();
  posEnt.clear();
}
