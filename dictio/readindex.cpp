#include "dictio/readindex.h"

#include <algorithm>
#include <cstring>
#include <functional>

#include "base/binio.h"
#include "base/error.h"
#include "base/hash.h"
#include "base/word.h"
#include "dictio/wordtable.h"
#include "xml/packed.h"

namespace {

// Smallest ".wrd" record: number, length byte, one byte of text, chunk, tail.
constexpr long kMinWordRecord = 3 + 1 + 1 + 4 + 4;

bool damaged(const std::string& name, const char* what, long value) {
  errorf("Error: %s is damaged: %s (%ld).\n", name.c_str(), what, value);
  return false;
}

uint64_t textHash(std::string_view text) { return hashBytes(text); }

// A text table entry: the hash's top byte above the word number.
constexpr uint32_t kNumBits = 0xFFFFFF;
uint32_t textTag(uint64_t hash) { return static_cast<uint32_t>(hash >> 56) << 24; }

}  // namespace

// One pass over the list: every record checked, found by number, its chain
// checked against the word index, its text entered in the text table.
bool ReadIndex::checkWords(const std::string& name) {
  const unsigned char* p = wrd_.data();
  const size_t size = wrd_.size();
  if (size < 4) return damaged(name, "too short for its word count", static_cast<long>(size));
  const int32_t n = load_i32(p);
  if (n < 0 || n > kMaxNumber || n > static_cast<long>((size - 4) / kMinWordRecord))
    return damaged(name, "the word count is larger than the file can hold", n);
  const long widSize = static_cast<long>(wid_.size());
  bool fits = true;
  // Numbers are dense in any list lexorn writes; a list whose numbers are
  // not is found by number through sorted pairs instead (made below).
  const size_t denseLimit = 4 * static_cast<size_t>(n) + 1024;
  wordAt_.assign(static_cast<size_t>(n) + 1, 0);
  // Numbers come in no order: which were seen is asked of a bitmap small
  // enough to stay in the cache, while the offsets are only stored.
  std::vector<uint64_t> seen(denseLimit / 64 + 1);
  bool dense = true;
  size_t cap = 4;
  while (cap < 2 * static_cast<size_t>(n) + 2) cap *= 2;
  textTable_.assign(cap, 0);
  // Records are checked a block at a time and their table slots asked for
  // before any is entered: the table is large and the slots scattered.
  constexpr int kBlock = 32;
  size_t blockAt[kBlock];
  uint64_t blockHash[kBlock];
  uint32_t repeated = 0;  // the first record whose text an earlier one has
  size_t at = 4;
  for (int32_t i = 0; i < n;) {
    int k = 0;
    for (; k < kBlock && i < n; ++k, ++i) {
      const size_t len = at + 4 <= size ? p[at + 3] : 0;
      if (at + 12 + len > size) return damaged(name, "a record runs past the end of the file", i);
      Word w = recordAt(at);
      if (dense && w.num >= wordAt_.size()) {
        dense = w.num < denseLimit;
        if (dense) wordAt_.resize(std::min(denseLimit, std::max<size_t>(w.num + 1, 2 * wordAt_.size())), 0);
      }
      if (w.num == 0 || (dense && (seen[w.num >> 6] >> (w.num & 63) & 1) != 0))
        return damaged(name, "a word number is zero or repeated", w.num);
      if (dense) seen[w.num >> 6] |= uint64_t{1} << (w.num & 63);
      if (len == 0 || memchr(w.text.data(), '\0', w.text.size()) != nullptr)
        return damaged(name, "a word text is empty or holds a NUL byte", w.num);
      bool noChain = w.chunk == -1 && w.tailLink == -1;
      if (!noChain && (w.chunk < 0 || w.tailLink < 0 ||
                       static_cast<long>(w.tailLink) < static_cast<long>(w.chunk) + 8))
        return damaged(name, "a word's chain offsets are impossible", w.num);
      fits = fits && (noChain || static_cast<long>(w.tailLink) + 4 <= widSize);
      if (dense) wordAt_[w.num] = at;
      blockAt[k] = at;
      blockHash[k] = textHash(w.text);
      __builtin_prefetch(&textTable_[blockHash[k] & (cap - 1)], 1);
      at += 12 + len;
    }
    for (int j = 0; dense && j < k && repeated == 0; ++j) repeated = enterText(blockAt[j], blockHash[j]);
  }
  if (at != size) return damaged(name, "bytes follow the last record", static_cast<long>(size - at));
  words_ = n;
  if (!dense) {
    // Texts are compared through numbers: entered again once they are sorted.
    if (!sortWordsByNumber(name)) return false;
    std::fill(textTable_.begin(), textTable_.end(), 0);
    forEachWord([&](const Word& w) {
      repeated = enterText(reinterpret_cast<const unsigned char*>(w.text.data()) - 4 - wrd_.data(), textHash(w.text));
      return repeated == 0;
    });
  }
  // The full open names the same record: the first whose text came before.
  if (repeated != 0) return damaged(name, "a word text is repeated", repeated);
  if (!fits) {
    errorf("Error: %s does not match %s.\n", widName_.c_str(), name.c_str());
    return false;
  }
  return true;
}

bool ReadIndex::sortWordsByNumber(const std::string& name) {
  wordAt_.clear();
  sparseWords_.reserve(static_cast<size_t>(words_));
  forEachWord([&](const Word& w) {
    sparseWords_.emplace_back(w.num, reinterpret_cast<const unsigned char*>(w.text.data()) - 4 - wrd_.data());
    return true;
  });
  std::sort(sparseWords_.begin(), sparseWords_.end());
  for (size_t i = 1; i < sparseWords_.size(); ++i)
    if (sparseWords_[i].first == sparseWords_[i - 1].first)
      return damaged(name, "a word number is zero or repeated", sparseWords_[i].first);
  return true;
}

size_t ReadIndex::wordOffset(uint32_t num) const {
  if (!sparseWords_.empty()) {
    auto it = std::lower_bound(sparseWords_.begin(), sparseWords_.end(), std::make_pair(num, size_t{0}));
    return it != sparseWords_.end() && it->first == num ? it->second : 0;
  }
  return num < wordAt_.size() ? wordAt_[num] : 0;
}

// Enters the record at `at` in the text table: 0, or the record's number
// when an earlier record has its text (the record is then not entered).
uint32_t ReadIndex::enterText(size_t at, uint64_t hash) {
  const Word w = recordAt(at);
  const size_t mask = textTable_.size() - 1;
  const uint32_t tag = textTag(hash);
  for (size_t slot = hash & mask;; slot = (slot + 1) & mask) {
    const uint32_t e = textTable_[slot];
    if (e == 0) {
      textTable_[slot] = tag | w.num;
      return 0;
    }
    if ((e & ~kNumBits) == tag && recordAt(wordOffset(e & kNumBits)).text == w.text) return w.num;
  }
}

long ReadIndex::eidRecord(long i, uint32_t* num) const {
  const unsigned char* p = eid_.data() + 4 + 7 * i;
  *num = load_u24(p);
  return load_i32(p + 3);
}

bool ReadIndex::checkEntries(const std::string& name) {
  const long size = static_cast<long>(eid_.size());
  if (size < 4) return damaged(name, "too short for its record count", size);
  const int32_t n = load_i32(eid_.data());
  if (n < 0 || (size - 4) % 7 != 0 || (size - 4) / 7 != n)
    return damaged(name, "the record count does not match the file size", n);
  const long entSize = static_cast<long>(ent_.size());
  uint32_t prev = 0, top = 0;
  bool ascending = true;  // live offsets rise with the number
  long lastOffset = -1;
  for (long i = 0; i < n; ++i) {
    uint32_t num = 0;
    long off = eidRecord(i, &num);
    if (num == 0 || num <= prev)
      return damaged(name, "an entry number is zero, repeated or out of order", num);
    if (off < -1 || off > entSize) return damaged(name, "an offset lies outside the entry file", off);
    prev = top = num;
    if (off < 0) continue;
    if (off < lastOffset) ascending = false;
    if (off == lastOffset) shared_.emplace_back(static_cast<int32_t>(off), static_cast<int32_t>(num));
    lastOffset = off;
  }
  entries_ = n;
  liveBits_.assign(top / 64 + 1, 0);
  bool dense = top <= 4 * static_cast<uint32_t>(n) + 1024;
  if (dense) offsetByNum_.assign(top + 1, -1);
  std::vector<std::pair<int32_t, int32_t>> byOffset;
  for (long i = 0; i < n; ++i) {
    uint32_t num = 0;
    long off = eidRecord(i, &num);
    if (off < 0) continue;
    liveBits_[num >> 6] |= uint64_t{1} << (num & 63);
    if (dense) offsetByNum_[num] = static_cast<int32_t>(off);
    if (!ascending) byOffset.emplace_back(static_cast<int32_t>(off), static_cast<int32_t>(num));
  }
  if (!ascending) {
    // Edited since the last speed-up: find the shared offsets by sorting.
    shared_.clear();
    std::stable_sort(byOffset.begin(), byOffset.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    for (size_t i = 1; i < byOffset.size(); ++i)
      if (byOffset[i].first == byOffset[i - 1].first) shared_.push_back(byOffset[i]);
  }
  // The owner of a shared offset is its highest number: the last one kept.
  std::sort(shared_.begin(), shared_.end());
  std::vector<std::pair<int32_t, int32_t>> owners;
  for (size_t i = 0; i < shared_.size(); ++i)
    if (i + 1 == shared_.size() || shared_[i + 1].first != shared_[i].first) owners.push_back(shared_[i]);
  shared_.swap(owners);
  return true;
}

bool ReadIndex::open(const std::string& wrd, const std::string& eid, const std::string& ent,
                     const std::string& wid) {
  wrdName_ = wrd;
  widName_ = wid;
  // The word index is mapped first: the pass over the list checks chains against it.
  if (!wrd_.open(wrd) || !wid_.open(wid) || !checkWords(wrd)) return false;
  if (!ent_.open(ent) || !eid_.open(eid) || !checkEntries(eid)) return false;
  // The entry stored last must be whole: a cut file loses its tail.
  long last = -1;
  int32_t lastNum = 0;
  for (long i = 0; i < entries_; ++i) {
    uint32_t num = 0;
    long off = eidRecord(i, &num);
    if (off > last) last = off, lastNum = static_cast<int32_t>(num);
  }
  if (last >= 0 && last < static_cast<long>(ent_.size()) &&
      XMLpackedLength(ent_.data() + last, ent_.size() - static_cast<size_t>(last)) == 0) {
    errorf("Error: %s is damaged: entry %d at offset %ld is cut short.\n", ent.c_str(), lastNum, last);
    return false;
  }
  return true;
}

bool ReadIndex::word(uint32_t num, Word* w) const {
  const size_t at = wordOffset(num);
  if (at == 0) return false;
  *w = recordAt(at);
  return true;
}

bool ReadIndex::find(std::string_view text, Word* w) const {
  if (textTable_.empty()) return false;
  const size_t mask = textTable_.size() - 1;
  const uint64_t h = textHash(text);
  const uint32_t tag = textTag(h);
  for (size_t i = h & mask;; i = (i + 1) & mask) {
    const uint32_t e = textTable_[i];
    if (e == 0) return false;
    if ((e & ~kNumBits) != tag) continue;
    Word x = recordAt(wordOffset(e & kNumBits));
    if (x.text == text) {
      *w = x;
      return true;
    }
  }
}

const std::vector<size_t>& ReadIndex::slotOrder() {
  if (!slotOrder_.empty() || words_ == 0) return slotOrder_;
  // The order is the one a word table filled from this list would walk:
  // such a table is made once, read, and let go.
  WordTable table(nullptr);
  forEachWord([&](const Word& w) {
    table.addNew(w.text, static_cast<int32_t>(w.num));
    return true;
  });
  slotOrder_.reserve(static_cast<size_t>(words_));
  int pos = 0;
  for (void* rec; (rec = map_get_nth(&table.wordMap, &pos)) != nullptr; ++pos)
    slotOrder_.push_back(wordOffset(static_cast<uint32_t>(static_cast<wrdrec_t*>(rec)->num)));
  return slotOrder_;
}

int32_t ReadIndex::offsetOf(long num) const {
  if (num < 1 || num > kMaxNumber || !isLive(static_cast<uint32_t>(num))) return -1;
  if (!offsetByNum_.empty()) return offsetByNum_[static_cast<size_t>(num)];
  long lo = 0, hi = entries_;
  while (lo < hi) {
    long mid = (lo + hi) / 2;
    uint32_t at = 0;
    long off = eidRecord(mid, &at);
    if (at == num) return static_cast<int32_t>(off);
    if (at < num) lo = mid + 1; else hi = mid;
  }
  return -1;
}

bool ReadIndex::ownsItsOffset(long num) const {
  int32_t off = offsetOf(num);
  if (off < 0) return false;
  auto it = std::lower_bound(shared_.begin(), shared_.end(), std::make_pair(off, INT32_MIN));
  return it == shared_.end() || it->first != off || it->second == num;
}

int32_t ReadIndex::ownerOf(long offset) {
  if (owners_.empty() && entries_ > 0) {
    for (long i = 0; i < entries_; ++i) {
      uint32_t num = 0;
      long off = eidRecord(i, &num);
      if (off >= 0) owners_.emplace_back(static_cast<int32_t>(off), static_cast<int32_t>(num));
    }
    std::stable_sort(owners_.begin(), owners_.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
  }
  auto it = std::upper_bound(owners_.begin(), owners_.end(), std::make_pair(static_cast<int32_t>(offset), INT32_MAX));
  if (it == owners_.begin() || (it - 1)->first != offset) return 0;
  return (it - 1)->second;  // the last of equal offsets: the highest number
}

bool ReadIndex::oneChunk(const Word& w, const unsigned char** codes, long* n) const {
  *codes = nullptr;
  *n = 0;
  if (w.chunk == -1) return w.tailLink == -1;
  const long size = static_cast<long>(wid_.size()), at = w.chunk;
  if (at < 0 || at > size - 12) return false;
  const long count = load_i32(wid_.data() + at);
  if (count < 1 || count > (size - at - 8) / 4) return false;
  const long link = at + 4 + 4 * count;
  if (w.tailLink != link || load_i32(wid_.data() + link) != 0) return false;
  *codes = wid_.data() + at + 4;
  *n = count;
  return true;
}

const std::vector<uint32_t>& ReadIndex::runStarts(const Word& w, const unsigned char* codes, long n) {
  auto [it, fresh] = runStarts_.try_emplace(w.num);
  if (!fresh) return it->second;
  std::vector<uint32_t>& starts = it->second;
  starts.push_back(0);
  uint32_t prev = 0;
  for (long i = 0; i < n; ++i) {
    uint32_t code = load_u32(codes + 4 * i);
    if (i > 0 && code < prev) starts.push_back(static_cast<uint32_t>(i));
    prev = code;
  }
  return starts;
}
