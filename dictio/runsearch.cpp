#include "dictio/runsearch.h"

#include <algorithm>
#include <cstdint>

#include "base/binio.h"

namespace {

constexpr uint32_t kEntryBits = 0xFFFFFF;

// The codes of one run that carry one accepted tag: entry numbers ascend.
struct List {
  const unsigned char* codes;  // n little-endian codes
  long n;
  int32_t tag;
  long cursor = 0;  // candidates come in ascending order: searches move forward

  uint32_t entryAt(long i) const { return load_u32(codes + 4 * i) & kEntryBits; }
  uint32_t first() const { return entryAt(0); }
  uint32_t last() const { return entryAt(n - 1); }

  // Whether entry `e` is here; the cursor moves to the first entry >= e.
  bool seek(uint32_t e) {
    if (cursor >= n || entryAt(cursor) >= e) return cursor < n && entryAt(cursor) == e;
    long step = 1, lo = cursor;
    while (lo + step < n && entryAt(lo + step) < e) {
      lo += step;
      step *= 2;
    }
    long hi = std::min(lo + step, n);  // entryAt(lo) < e, and e <= entryAt(hi) when hi < n
    while (hi - lo > 1) {
      long mid = lo + (hi - lo) / 2;
      if (entryAt(mid) < e) lo = mid; else hi = mid;
    }
    cursor = hi;
    return cursor < n && entryAt(cursor) == e;
  }
};

// A word's lists in chain order: run by run, lower tags first.
struct WordLists {
  std::vector<List> lists;
  long total = 0;
};

// The first index in [lo, hi) whose code is at least `v`.
long lowerCode(const unsigned char* codes, long lo, long hi, uint64_t v) {
  while (lo < hi) {
    long mid = lo + (hi - lo) / 2;
    if (load_u32(codes + 4 * mid) < v) lo = mid + 1; else hi = mid;
  }
  return lo;
}

bool listsOf(ReadIndex* index, const ReadIndex::Word& w, const std::vector<int32_t>& tags,
             WordLists* out) {
  const unsigned char* codes = nullptr;
  long n = 0;
  if (!index->oneChunk(w, &codes, &n)) return false;
  if (n == 0) return true;
  const std::vector<uint32_t>& starts = index->runStarts(w, codes, n);
  for (size_t r = 0; r < starts.size(); ++r) {
    const long lo = starts[r], hi = r + 1 < starts.size() ? starts[r + 1] : n;
    for (int32_t tag : tags) {
      long a = lowerCode(codes, lo, hi, static_cast<uint64_t>(tag) << 24);
      long b = lowerCode(codes, a, hi, static_cast<uint64_t>(tag + 1) << 24);
      if (a == b) continue;
      out->lists.push_back(List{codes + 4 * a, b - a, tag});
      out->total += b - a;
    }
  }
  return true;
}

// Keeps the hits whose entry is live and, with `only`, in it.
void keepAllowed(const ReadIndex& index, const twset* only, std::vector<twident>* hits) {
  auto within = only ? only->begin() : twset::const_iterator();
  auto allowed = [&](const twident& h) {
    if (!index.isLive(static_cast<uint32_t>(h.eid))) return false;
    if (!only) return true;
    while (within != only->end() && within->eid < h.eid) ++within;
    return within != only->end() && within->eid == h.eid;
  };
  hits->erase(std::remove_if(hits->begin(), hits->end(), [&](const twident& h) { return !allowed(h); }),
              hits->end());
}

// Each entry of the word once, with the tag of its first code, by entry.
std::vector<twident> firstHits(const WordLists& w) {
  std::vector<twident> hits;
  hits.reserve(static_cast<size_t>(w.total));
  std::vector<const List*> order;
  for (const List& l : w.lists) order.push_back(&l);
  std::sort(order.begin(), order.end(), [](const List* a, const List* b) { return a->first() < b->first(); });
  bool apart = true;  // every entry in one list only: the usual case, one run per batch
  for (size_t i = 1; i < order.size(); ++i) apart = apart && order[i - 1]->last() < order[i]->first();
  if (apart) {
    for (const List* l : order) {
      for (long i = 0; i < l->n; ++i) {
        int32_t e = static_cast<int32_t>(l->entryAt(i));
        if (hits.empty() || hits.back().eid != e) hits.push_back({e, l->tag});
      }
    }
    return hits;
  }
  // Lists overlap: gather in chain order, then keep each entry's first.
  for (const List& l : w.lists)
    for (long i = 0; i < l.n; ++i) hits.push_back({static_cast<int32_t>(l.entryAt(i)), l.tag});
  std::stable_sort(hits.begin(), hits.end(), [](const twident& a, const twident& b) { return a.eid < b.eid; });
  hits.erase(std::unique(hits.begin(), hits.end(), [](const twident& a, const twident& b) { return a.eid == b.eid; }),
             hits.end());
  return hits;
}

// The tag of the word's first code for entry `e`; 0 when it has none.
int32_t firstTag(WordLists* w, uint32_t e) {
  for (List& l : w->lists)
    if (e >= l.first() && e <= l.last() && l.seek(e)) return l.tag;
  return 0;
}

}  // namespace

bool searchRuns(ReadIndex* index, const std::vector<ReadIndex::Word>& words,
                const std::array<bool, 256>& accepted, const twset* only, twset* result) {
  std::vector<int32_t> tags;
  for (int32_t t = 1; t < 256; ++t)
    if (accepted[t]) tags.push_back(t);
  std::vector<WordLists> lists(words.size());
  for (size_t i = 0; i < words.size(); ++i)
    if (!listsOf(index, words[i], tags, &lists[i])) return false;
  std::sort(lists.begin(), lists.end(), [](const WordLists& a, const WordLists& b) { return a.total < b.total; });
  std::vector<twident> hits = firstHits(lists[0]);
  keepAllowed(*index, only, &hits);
  for (size_t i = 1; i < lists.size() && !hits.empty(); ++i) {
    hits.erase(std::remove_if(hits.begin(), hits.end(),
                              [&](const twident& h) {
                                return firstTag(&lists[i], static_cast<uint32_t>(h.eid)) != h.tid;
                              }),
               hits.end());
  }
  result->clear();
  for (const twident& h : hits) result->insert(result->end(), h);
  return true;
}
