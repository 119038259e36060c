#include "dictio/entryindex.h"

#include <climits>

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
  bool removed = false;
  for (auto it = entPos.begin(); it != entPos.end();) {
    if (it->second < 0) {
      it = entPos.erase(it);
      removed = true;
    } else {
      ++it;
    }
  }
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
  posEnt.clear();
  for (const auto& [num, off] : entPos) posEnt[off] = num;
}

void EntryIndex::clear() {
  entPos.clear();
  posEnt.clear();
}
