// The word list file (".wrd"): saving and loading the word tables.

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "base/binio.h"
#include "base/error.h"
#include "base/mapfile.h"
#include "base/passfile.h"
#include "base/progress.h"
#include "dictio/dictio.h"
#include "dictio/readindex.h"
#include "dictio/scope.h"
#include "dictio/update.h"

namespace {

// Smallest ".wrd" record: number, length byte, one byte of text, chunk, tail.
constexpr long kMinWordRecord = 3 + 1 + 1 + 4 + 4;

// Appends one record: number, length byte, text, chunk, tail.
void saveWord(std::string* out, const wrdrec_t* rec) {
  size_t len = strnlen(rec->word, kMaxWordLength);
  unsigned char b[4 + kMaxWordLength + 8];
  store_u24(b, static_cast<uint32_t>(rec->num));
  b[3] = static_cast<unsigned char>(len);
  memcpy(b + 4, rec->word, len);
  store_i32(b + 4 + len, rec->chunk);
  store_i32(b + 8 + len, rec->tailLink);
  out->append(reinterpret_cast<const char*>(b), 12 + len);
}

// Every record in the slot order of the table by text. The records and
// their texts lie all over memory in that order: each is asked for a few
// slots ahead, the record first and its text once the record has come.
// Records go to the file a large piece at a time.
void saveWords(FILE* f, const map_t& words) {
  constexpr int kRecordAhead = 16, kTextAhead = 8;
  constexpr size_t kPiece = 1 << 16;
  std::string piece;
  piece.reserve(kPiece + 12 + kMaxWordLength);
  const mapel_t* els = words.els;
  for (int i = 0; i < words.cap; ++i) {
    if (i + kRecordAhead < words.cap && map_live(els[i + kRecordAhead]))
      __builtin_prefetch(els[i + kRecordAhead].val);
    if (i + kTextAhead < words.cap && map_live(els[i + kTextAhead]))
      __builtin_prefetch(static_cast<const wrdrec_t*>(els[i + kTextAhead].val)->word);
    if (map_live(els[i])) saveWord(&piece, static_cast<const wrdrec_t*>(els[i].val));
    if (piece.size() >= kPiece) {
      fwrite(piece.data(), 1, piece.size(), f);  // a failure shows at close
      piece.clear();
    }
  }
  fwrite(piece.data(), 1, piece.size(), f);
}

bool wrdDamaged(DictIO* d, const char* what, long value) {
  errorf("Error: %s is damaged: %s (%ld).\n", d->wrdFile, what, value);
  d->words.clear();
  return false;
}

// The list stores a text twice: names the number of the second, as
// entering the records one by one would have.
bool repeatedWord(DictIO* d, const std::vector<wrdrec_t*>& records) {
  std::unordered_set<std::string_view> texts;
  long num = 0;
  for (wrdrec_t* rec : records) {
    if (texts.insert(rec->word).second) continue;
    num = rec->num;
    break;
  }
  return wrdDamaged(d, "a word text is repeated", num);
}

}  // namespace

void DictIO::saveWrd() {
  UpdateScope scope(this);
  PassFile f = scope->create(".wrd");
  if (!f) return;
  if (output) printf("Saving %s...\n", wrdFile);
  put_i32(f.get(), words.size());
  saveWords(f.get(), wordMap);
  scope->close(f, ".wrd");
}

bool DictIO::loadWrd() {
  MappedFile f;
  if (!f.open(wrdFile, true)) return false;
  words.clear();
  wrdChainsEnd_ = 0;
  if (output) printf("Loading %s...\n", wrdFile);
  const unsigned char* p = f.data();
  const long size = static_cast<long>(f.size());
  if (size < 4) return wrdDamaged(this, "too short for its word count", size);
  const int32_t n = load_i32(p);
  if (n < 0 || n > kMaxNumber || n > (size - 4) / kMinWordRecord)
    return wrdDamaged(this, "the word count is larger than the file can hold", n);
  ProgressMeter progress(n, false, on_prog, on_prog_bar, 0.0, 0.8);
  std::vector<bool> seen(static_cast<size_t>(kMaxNumber) + 1);
  std::vector<wrdrec_t*> records;
  records.reserve(static_cast<size_t>(n));
  long at = 4;
  for (int32_t i = 0; i < n; ++i) {
    // Number, length, text, chunk, tail: all there before any is read.
    const long len = at + 4 <= size ? p[at + 3] : 0;
    if (at + 12 + len > size) return wrdDamaged(this, "a record runs past the end of the file", i);
    const uint32_t num = load_u24(p + at);
    const char* text = reinterpret_cast<const char*>(p + at + 4);
    const int32_t chunk = load_i32(p + at + 4 + len), tail = load_i32(p + at + 8 + len);
    at += 12 + len;
    if (num == 0 || seen[num]) return wrdDamaged(this, "a word number is zero or repeated", num);
    if (len == 0 || memchr(text, '\0', static_cast<size_t>(len)) != nullptr)
      return wrdDamaged(this, "a word text is empty or holds a NUL byte", num);
    bool noChain = chunk == -1 && tail == -1;
    if (!noChain && (chunk < 0 || tail < 0 || static_cast<long>(tail) < static_cast<long>(chunk) + 8))
      return wrdDamaged(this, "a word's chain offsets are impossible", num);
    wrdrec_t* rec = words.record(std::string_view(text, static_cast<size_t>(len)), static_cast<int32_t>(num));
    seen[num] = true;
    rec->chunk = chunk;
    rec->tailLink = tail;
    if (!noChain) wrdChainsEnd_ = std::max(wrdChainsEnd_, static_cast<long>(tail) + 4);
    records.push_back(rec);
    progress.at(i);
  }
  if (at != size) return wrdDamaged(this, "bytes follow the last record", size - at);
  if (!words.enterNew(records)) return repeatedWord(this, records);
  makeRWrd();
  return true;
}

void DictIO::makeRWrd() { words.rebuildIds(); }

void DictIO::makeNWrd() { words.rebuildTexts(); }

int DictIO::wordCount(const char* w) {
  ReadIndex::Word found;
  if (index_) return w && index_->find(w, &found) ? 1 : 0;
  return map_exist(&wordMap, const_cast<char*>(w));
}

int DictIO::wordListSize() const { return index_ ? index_->wordCount() : map_size(const_cast<map_t*>(&wordMap)); }
