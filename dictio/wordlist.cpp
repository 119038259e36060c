// The entry pass (words, packed entries, entry offsets) and the word list
// (".wrd").

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <vector>

#include "base/binio.h"
#include "base/error.h"
#include "base/files.h"
#include "base/map.h"
#include "base/mem.h"
#include "base/progress.h"
#include "base/text.h"
#include "dictio/dictio.h"
#include "dictio/scope.h"
#include "dictio/update.h"
#include "dtd/dtd.h"
#include "xml/packed.h"
#include "xml/entry.h"
#include "xml/reader.h"

namespace {

inline bool isWordSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// Smallest ".wrd" record: number, length byte, one byte of text, chunk, tail.
constexpr long kMinWordRecord = 3 + 1 + 1 + 4 + 4;

int forall_wordr(void*, void* val, void* arg) {
  auto* d = static_cast<DictIO*>(arg);
  auto* rec = static_cast<wrdrec_t*>(val);
  map_assn(&d->idMap, map_ikey(rec->num), rec);
  return 1;
}

int forall_words(void*, void* val, void* arg) {
  auto* d = static_cast<DictIO*>(arg);
  auto* rec = static_cast<wrdrec_t*>(val);
  map_assn(&d->wordMap, rec->word, rec);
  return 1;
}

int forall_save_word(void*, void* val, void* arg) {
  auto* f = static_cast<FILE*>(arg);
  auto* rec = static_cast<wrdrec_t*>(val);
  size_t len = strnlen(rec->word, kMaxWordLength);
  unsigned char b[4 + kMaxWordLength + 8];
  store_u24(b, static_cast<uint32_t>(rec->num));
  b[3] = static_cast<unsigned char>(len);
  memcpy(b + 4, rec->word, len);
  store_i32(b + 4 + len, rec->chunk);
  store_i32(b + 8 + len, rec->tailLink);
  fwrite(b, 1, 12 + len, f);
  return 1;
}

wrdrec_t* newRecord(DictIO* d, const char* text, size_t len, int32_t num) {
  auto* rec = static_cast<wrdrec_t*>(mem_alloc(&d->recPool, sizeof(wrdrec_t)));
  auto* copy = static_cast<char*>(mem_alloc(&d->textPool, static_cast<int>(len + 1)));
  memcpy(copy, text, len);
  copy[len] = '\0';
  rec->word = copy;
  rec->num = num;
  rec->chunk = -1;
  rec->tailLink = -1;
  return rec;
}

void clearWordTables(DictIO* d) {
  map_clear(&d->wordMap);
  map_clear(&d->idMap);
  mem_clear(&d->recPool);
  mem_clear(&d->textPool);
}

// Word text -> record for the entry pass: open addressing over a
// power-of-two table of (hash, record) pairs. wordMap's own hash clusters
// badly on short words, so the pass finds words here and only adds new ones
// to wordMap, whose slot order depends on the insertions alone.
class WordIndex {
 public:
  wrdrec_t* find(std::string_view w, uint64_t h) const {
    if (slots_.empty()) return nullptr;
    for (size_t i = h & mask(); slots_[i].rec != nullptr; i = (i + 1) & mask())
      if (slots_[i].hash == h && sameText(slots_[i].rec->word, w)) return slots_[i].rec;
    return nullptr;
  }
  // Sizes the table for about `words` words up front, sparing the
  // regrowth passes while it fills.
  void reserve(size_t words) {
    size_t n = 1024;
    while (n < words * 2) n *= 2;
    if (n > slots_.size() && used_ == 0) slots_.assign(n, Slot{0, nullptr});
  }
  void insert(wrdrec_t* rec, uint64_t h) {
    if ((used_ + 1) * 2 > slots_.size()) grow();
    size_t i = h & mask();
    while (slots_[i].rec != nullptr) i = (i + 1) & mask();
    slots_[i] = {h, rec};
    ++used_;
  }
  static uint64_t hash(std::string_view w) { return std::hash<std::string_view>()(w); }
  static bool sameText(const char* stored, std::string_view w) {
    return memcmp(stored, w.data(), w.size()) == 0 && stored[w.size()] == '\0';
  }

 private:
  struct Slot {
    uint64_t hash;
    wrdrec_t* rec;
  };
  size_t mask() const { return slots_.size() - 1; }
  void grow() {
    std::vector<Slot> old(std::max<size_t>(1024, slots_.size() * 2));
    old.swap(slots_);
    used_ = 0;
    for (const Slot& s : old)
      if (s.rec != nullptr) insert(s.rec, s.hash);
  }
  std::vector<Slot> slots_;
  size_t used_ = 0;
};

// One entry's word cells, gathered before the entry is packed: every word
// is numbered first (children before their parent, as the values come),
// then the packer takes each element's cells from here.
struct EntryCells {
  struct Span {
    const XMLEntry* node;
    uint32_t begin, end;
    bool operator<(const Span& o) const { return node < o.node; }
  };
  std::string cells;  // 3-byte cells of every element, in numbering order
  std::vector<Span> spans;

  void clear() {
    cells.clear();
    spans.clear();
  }
  void write(const XMLEntry* e, std::string* out) const {
    auto it = std::lower_bound(spans.begin(), spans.end(), Span{e, 0, 0});
    if (it != spans.end() && it->node == e) out->append(cells, it->begin, it->end - it->begin);
  }
};

// State of one entry pass.
struct EntryPass {
  DictIO* d;
  int32_t words = 0;    // numbers given so far
  long clipped = 0;     // words cut to kMaxWordLength bytes
  WordIndex index = {};
  EntryCells entry = {};

  // The word's number, given now when it is new; 0 when the numbers ran out.
  int32_t number(std::string_view v) {
    uint64_t h = WordIndex::hash(v);
    if (wrdrec_t* rec = index.find(v, h)) return rec->num;
    if (words >= kMaxNumber) return 0;
    wrdrec_t* rec = newRecord(d, v.data(), v.size(), ++words);
    map_assn(&d->wordMap, rec->word, rec);
    index.insert(rec, h);
    return rec->num;
  }

  // Numbers the words of `e`'s subtree, children first. False when a word
  // needs a number beyond the representable range.
  bool numberTree(const XMLEntry* e) {
    for (const XMLEntry* child : e->children)
      if (!numberTree(child)) return false;
    uint32_t begin = static_cast<uint32_t>(entry.cells.size());
    // Words are the runs between white space, up to the first NUL, as
    // str_get_words gives them; walked in place to spare a copy per value.
    const char* p = e->value.c_str();
    for (;;) {
      while (isWordSpace(*p)) ++p;
      if (*p == '\0') break;
      const char* start = p;
      while (*p != '\0' && !isWordSpace(*p)) ++p;
      size_t len = static_cast<size_t>(p - start);
      std::string_view word(start, std::min<size_t>(len, kMaxWordLength));
      if (word.size() < len) ++clipped;
      int32_t num = number(word);
      if (num == 0) return false;
      XMLappendCell(&entry.cells, static_cast<uint32_t>(num));
    }
    entry.spans.push_back({e, begin, static_cast<uint32_t>(entry.cells.size())});
    return true;
  }
};

bool wrdDamaged(FILE* f, DictIO* d, const char* what, long value) {
  errorf("Error: %s is damaged: %s (%ld).\n", d->wrdFile, what, value);
  fclose(f);
  clearWordTables(d);
  return false;
}

}  // namespace

void DictIO::makeWrd() {
  UpdateScope scope(this);
  const std::string from = scope->current(".xml");
  std::vector<char> inBuf(1 << 16), outBuf(1 << 16);
  FILE* xml = fopen(from.c_str(), "rb");
  if (xml == nullptr) {
    errorf("Error: Could not open %s.\n", from.c_str());
    scope->fail();
    return;
  }
  FILE* ent = scope->create(".ent");
  if (ent == nullptr) {
    fclose(xml);
    return;
  }
  // Large buffers: the whole text goes through here in small pieces. The
  // C library takes a size only along with a buffer; both files are closed
  // before these go out of scope.
  setvbuf(xml, inBuf.data(), _IOFBF, inBuf.size());
  setvbuf(ent, outBuf.data(), _IOFBF, outBuf.size());
  long total = fil_size(from.c_str());
  ProgressMeter progress(total, output != 0, on_prog, on_prog_bar, 0.0, 0.5);
  XML reader;
  map_clear(&wordMap);
  map_clear(&idMap);
  mem_clear(&recPool);
  mem_clear(&textPool);
  entPos.clear();
  posEnt.clear();
  if (output) fprintf(stderr, "Building %s...\n", wrdFile);
  reader.readHeader(xml);
  EntryPass pass{this};
  // Dictionaries run to about one distinct word per 128 bytes of text; the
  // guess only sizes the lookup table, capped to keep its memory modest.
  pass.index.reserve(static_cast<size_t>(std::clamp<long>(total / 128, 0, 1L << 22)));
  XMLCellWriter cells = [&pass](const XMLEntry* e, std::string* out) { pass.entry.write(e, out); };
  std::string packed;
  long at = 0;  // write offset in the entry file
  int32_t entries = 0;
  bool ok = true;
  while (ok && !feof(xml) && !ferror(xml)) {
    if (!reader.getEntry(&xml)) continue;
    pass.entry.clear();
    if (entries >= kMaxNumber) {
      ok = failPass(strprintf("%s holds more than %ld entries", from.c_str(), kMaxNumber));
    } else if (dtd->count == 0) {
      ok = failPass(strprintf("%s describes no element, so no entry of %s can be stored (lexorn -f "
                              "infers it again)", dtd->dtdName.c_str(), from.c_str()));
    } else if (!pass.numberTree(reader.getXMLEntry())) {
      ok = failPass(strprintf("%s holds more than %ld distinct words", from.c_str(), kMaxNumber));
    } else if (at > INT32_MAX) {
      ok = failPass(strprintf("%s would grow beyond %d bytes", entFile, INT32_MAX));
    }
    if (!ok) break;
    entPos[++entries] = static_cast<int32_t>(at);
    std::sort(pass.entry.spans.begin(), pass.entry.spans.end());
    packed.clear();
    XMLpackEntry(reader.getXMLEntry(), cells, dtd, &packed);
    if (fwrite(packed.data(), 1, packed.size(), ent) != packed.size()) break;  // told at close
    at += static_cast<long>(packed.size());
    progress.at(ftell(xml));
  }
  if (ok && ferror(xml)) ok = failPass(strprintf("Could not read %s", from.c_str()));
  scope->close(ent, ".ent");
  fclose(xml);
  if (pass.clipped > 0)
    errorf("Error: %ld words longer than %d bytes were cut to their first %d bytes.\n",
           pass.clipped, kMaxWordLength, kMaxWordLength);
  makeRWrd();
  makeREid();
  if (output) {
    printf("%s%d words.\n", kClearLine, map_size(&wordMap));
    printf("%s%d entries.\n", kClearLine, static_cast<int>(entPos.size()));
  }
}

bool DictIO::failPass(const std::string& why) {
  errorf("Error: %s; nothing is changed.\n", why.c_str());
  if (update_) update_->fail();
  return false;
}

void DictIO::saveWrd() {
  UpdateScope scope(this);
  int n = map_size(&wordMap);
  // The C library takes a size only along with a buffer; the file is
  // closed before this goes out of scope.
  std::vector<char> buf(1 << 16);
  FILE* f = scope->create(".wrd");
  if (f == nullptr) return;
  if (output) printf("Saving %s...\n", wrdFile);
  setvbuf(f, buf.data(), _IOFBF, buf.size());
  put_i32(f, n);
  map_forall(&wordMap, forall_save_word, f);
  scope->close(f, ".wrd");
}

bool DictIO::loadWrd() {
  std::vector<char> buf(1 << 16);  // closed on every way out before this goes
  FILE* f = fopen(wrdFile, "rb");
  if (f == nullptr) {
    errorf("Error: Could not open %s.\n", wrdFile);
    return false;
  }
  map_clear(&wordMap);
  mem_clear(&textPool);
  mem_clear(&recPool);
  if (output) printf("Loading %s...\n", wrdFile);
  setvbuf(f, buf.data(), _IOFBF, buf.size());
  long size = 0;
  if (fseek(f, 0, SEEK_END) == 0) size = ftell(f);
  fseek(f, 0, SEEK_SET);
  int32_t n = 0;
  if (!get_i32(f, &n)) return wrdDamaged(f, this, "too short for its word count", size);
  if (n < 0 || n > kMaxNumber || n > (size - 4) / kMinWordRecord)
    return wrdDamaged(f, this, "the word count is larger than the file can hold", n);
  ProgressMeter progress(n, false, on_prog, on_prog_bar, 0.0, 0.8);
  // Repeats are found here rather than in wordMap, whose probes are slow.
  std::vector<bool> seen(static_cast<size_t>(kMaxNumber) + 1);
  WordIndex texts;
  char text[kMaxWordLength + 1];
  for (int32_t i = 0; i < n; ++i) {
    uint32_t num = 0, len = 0;
    int32_t chunk = 0, tail = 0;
    if (!get_u24(f, &num) || !get_u8(f, &len) || fread(text, 1, len, f) != len ||
        !get_i32(f, &chunk) || !get_i32(f, &tail))
      return wrdDamaged(f, this, "a record runs past the end of the file", i);
    if (num == 0 || seen[num])
      return wrdDamaged(f, this, "a word number is zero or repeated", num);
    if (len == 0 || memchr(text, '\0', len) != nullptr)
      return wrdDamaged(f, this, "a word text is empty or holds a NUL byte", num);
    bool noChain = chunk == -1 && tail == -1;
    if (!noChain && (chunk < 0 || tail < 0 || static_cast<long>(tail) < static_cast<long>(chunk) + 8))
      return wrdDamaged(f, this, "a word's chain offsets are impossible", num);
    text[len] = '\0';
    std::string_view word(text, len);
    uint64_t h = WordIndex::hash(word);
    if (texts.find(word, h) != nullptr)
      return wrdDamaged(f, this, "a word text is repeated", num);
    seen[num] = true;
    wrdrec_t* rec = newRecord(this, text, len, static_cast<int32_t>(num));
    rec->chunk = chunk;
    rec->tailLink = tail;
    texts.insert(rec, h);
    map_assn(&wordMap, rec->word, rec);
    progress.at(i);
  }
  long end = ftell(f);
  if (end != size) return wrdDamaged(f, this, "bytes follow the last record", size - end);
  fclose(f);
  makeRWrd();
  return true;
}

void DictIO::makeRWrd() {
  map_clear(&idMap);
  map_rehash(&idMap, map_size(&wordMap));
  map_forall(&wordMap, forall_wordr, this);
}

void DictIO::makeNWrd() {
  map_clear(&wordMap);
  map_rehash(&wordMap, map_size(&idMap));
  map_forall(&idMap, forall_words, this);
}

int DictIO::wordCount(const char* w) { return map_exist(&wordMap, const_cast<char*>(w)); }
