// The reading side of DictIO: sequential and by-number retrieval of packed
// entries, word search through the word-to-entry index, queries by element
// type and key generation.

#include <regex.h>

#include <array>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/czech.h"
#include "base/error.h"
#include "base/files.h"
#include "base/text.h"
#include "dictio/dictio.h"
#include "dictio/readindex.h"
#include "dictio/runsearch.h"
#include "dictio/widchain.h"
#include "dtd/dtd.h"
#include "xml/entry.h"
#include "xml/packed.h"
#include "xml/query.h"
#include "xml/reader.h"

namespace {

struct FileCloser {
  void operator()(FILE* f) const { fclose(f); }
};
using File = std::unique_ptr<FILE, FileCloser>;

struct FreeDeleter {
  void operator()(char* p) const { free(p); }
};
using Buffer = std::unique_ptr<char, FreeDeleter>;


// A compiled search pattern, released when it goes out of scope.
class Pattern {
 public:
  Pattern() = default;
  Pattern(const Pattern&) = delete;
  Pattern& operator=(const Pattern&) = delete;
  ~Pattern() {
    if (ok_) regfree(&re_);
  }

  // The word must match as a whole: basic syntax, case-sensitive.
  bool compile(const char* word) {
    std::string whole = "^" + std::string(word) + "$";
    ok_ = regcomp(&re_, whole.c_str(), REG_NOSUB) == 0;
    return ok_;
  }
  regex_t* get() { return ok_ ? &re_ : nullptr; }

 private:
  regex_t re_;
  bool ok_ = false;
};

// Entry numbers are 24-bit; anything else names no entry.
bool validNumber(long num) { return num >= 1 && num <= kMaxNumber; }

int32_t clampToInt32(long n) {
  if (n > INT32_MAX) return INT32_MAX;
  if (n < INT32_MIN) return INT32_MIN;
  return static_cast<int32_t>(n);
}

// The texts of word numbers: from the word table, or from the mapped list.
XMLWordText wordTexts(DictIO* d) {
  if (const ReadIndex* ri = d->readIndex())
    return [ri](uint32_t num) {
      ReadIndex::Word w;
      return ri->word(num, &w) ? w.text : std::string_view();
    };
  map_t* ids = &d->idMap;
  return [ids](uint32_t num) {
    auto* rec = static_cast<wrdrec_t*>(map_get(ids, map_ikey(num)));
    return rec != nullptr && rec->word != nullptr ? std::string_view(rec->word) : std::string_view();
  };
}

// A packed entry's bytes: where they lie in the mapped entry file, or read
// into `copy`.
struct PackedBytes {
  std::string copy;
  const unsigned char* data = nullptr;
  size_t size = 0;
};

// Reads the entry at `off` of the entry file; false when it is not whole.
bool readPacked(DictIO* d, FILE* f, int32_t off, PackedBytes* out) {
  if (fseek(f, off, SEEK_SET) != 0 || !XMLcopyPackEntry(f, &d->idMap, &out->copy)) return false;
  out->data = reinterpret_cast<const unsigned char*>(out->copy.data());
  out->size = out->copy.size();
  return true;
}

// The same in the mapping: a view of the bytes, measured.
bool viewPacked(const ReadIndex& ri, int32_t off, PackedBytes* out) {
  out->data = ri.ent().data() + off;
  out->size = XMLpackedLength(out->data, ri.ent().size() - static_cast<size_t>(off));
  return out->size > 0;
}

// The packed bytes of live entry `num`, whole and checked: false when the
// entry file does not open or the bytes are damaged (both reported), and
// silently when the entry is not live or has no bytes of its own (its
// packed form is empty: the entry stored at its offset is another one).
bool fetchPacked(DictIO* d, long num, PackedBytes* out) {
  const ReadIndex* ri = d->readIndex();
  File f(ri ? nullptr : d->openIndexFile(d->entFile));
  if (!ri && !f) return false;
  d->lastID = clampToInt32(num);
  if (!d->dtd || !validNumber(num) || d->is_eid_del(num)) return false;
  int32_t off = ri ? ri->offsetOf(num) : d->entries.offsetOf(num);
  if (!(ri ? ri->ownsItsOffset(num) : d->entries.ownsItsOffset(num))) return false;
  long size = ri ? static_cast<long>(ri->ent().size())
                 : (fseek(f.get(), 0, SEEK_END) == 0 ? ftell(f.get()) : -1);
  if (off == size) return false;
  bool whole = ri ? viewPacked(*ri, off, out) : readPacked(d, f.get(), off, out);
  // Every entry is packed from an upmost element; bytes that begin with
  // any other element are not where an entry starts.
  int root = whole ? out->data[0] - 0x80 : 0;
  if (whole && d->dtd->getTag(root).find('.') == std::string::npos && root <= d->dtd->count) return true;
  errorf("Error: %s is damaged: entry %ld at offset %d is not a whole packed entry.\n", d->entFile,
         num, off);
  return false;
}

// Loads entry `num` into e (level 0) from its checked bytes.
bool loadEntry(DictIO* d, long num, XMLEntry* e) {
  PackedBytes bytes;
  return fetchPacked(d, num, &bytes) &&
         XMLloadPackEntry(e, bytes.data, bytes.size, wordTexts(d), d->dtd, 0);
}

// Loads the entry at the current position of the walk's stream.
bool loadNext(DictIO* d, XMLEntry* e) {
  if (d->readIndex()) return XMLloadPackEntry(e, &d->curFile, wordTexts(d), d->dtd, 0);
  return XMLloadPackEntry(e, &d->curFile, &d->idMap, d->dtd, 0);
}

// Ordered containers keyed by entry number: entPos and hit sets.
int32_t keyOf(const OrdMap::value_type& p) { return p.first; }
int32_t keyOf(const twident& h) { return h.eid; }
auto lowerBound(const OrdMap& m, int32_t k) { return m.lower_bound(k); }
auto lowerBound(const twset& s, int32_t k) { return s.lower_bound(twident{k, 0}); }

// A search position for entry numbers that mostly come in ascending order,
// as the codes of a chunk do: the next number is usually a step or two from
// the last one, which on a large index saves a cache miss per tree level.
template <typename Container>
class Finger {
 public:
  using Value = typename Container::value_type;
  explicit Finger(const Container& c) : c_(c), it_(c.begin()) {}

  // The element with entry number k, or null.
  const Value* find(int32_t k) {
    constexpr int kSteps = 4;
    for (int i = 0; i < kSteps && it_ != c_.end() && keyOf(*it_) < k; ++i) ++it_;
    if (it_ == c_.end() || keyOf(*it_) != k) it_ = lowerBound(c_, k);
    return it_ != c_.end() && keyOf(*it_) == k ? &*it_ : nullptr;
  }

 private:
  const Container& c_;
  typename Container::const_iterator it_;
};

// The answer of is_eid_del, negated, for numbers that mostly ascend: the
// entry is in the index with an offset.
class LiveEntries {
 public:
  explicit LiveEntries(const DictIO& d) : index_(d.readIndex()), finger_(d.entPos) {}
  bool operator()(int32_t eid) {
    if (index_) return index_->isLive(static_cast<uint32_t>(eid));
    const auto* p = finger_.find(eid);
    return p && p->second >= 0;
  }

 private:
  const ReadIndex* index_;
  Finger<OrdMap> finger_;
};

// The word index a lookup walks: the read-only object's mapping, or the
// file opened for this lookup.
class ChainSource {
 public:
  explicit ChainSource(DictIO* d) {
    if (const ReadIndex* ri = d->readIndex()) {
      chain_.emplace(ri->wid().data(), ri->wid().size(), d->widFile);
      return;
    }
    file_.reset(d->openIndexFile(d->widFile));
    if (file_) chain_.emplace(file_.get(), d->widFile);
  }
  bool ok() const { return chain_.has_value(); }
  WidChain& chain() { return *chain_; }

 private:
  File file_;
  std::optional<WidChain> chain_;
};

// A word of the list as the searches meet it.
struct ListedWord {
  const char* text;  // NUL-terminated
  int32_t chunk;
};

// The word `text`: false when the list does not hold it.
bool findWord(DictIO* d, const char* text, ListedWord* out) {
  if (ReadIndex* ri = d->readIndex()) {
    ReadIndex::Word w;
    if (!ri->find(text, &w)) return false;
    *out = {text, w.chunk};
    return true;
  }
  auto* rec = static_cast<wrdrec_t*>(map_get(&d->wordMap, const_cast<char*>(text)));
  if (rec) *out = {rec->word, rec->chunk};
  return rec != nullptr;
}

// Calls fn(word) for every word in the word table's slot order, until fn
// returns false.
template <typename Fn>
void forEachListedWord(DictIO* d, Fn fn) {
  if (ReadIndex* ri = d->readIndex()) {
    std::string text;
    for (uint32_t at : ri->slotOrder()) {
      ReadIndex::Word w = ri->recordAt(at);
      text.assign(w.text);
      if (!fn(ListedWord{text.c_str(), w.chunk})) return;
    }
    return;
  }
  int pos = 0;
  for (void* p; (p = map_get_nth(&d->wordMap, &pos)) != nullptr; ++pos) {
    auto* rec = static_cast<wrdrec_t*>(p);
    if (!fn(ListedWord{rec->word, rec->chunk})) return;
  }
}

bool searchableType(char type) {
  return type == 'I' || type == 'K' || type == 'L' || type == 'N';
}

// Several words through a read-only index: from the sorted runs of their
// chains when every word is in the list and every chain is one chunk.
bool searchSorted(ReadIndex* index, const char* words, int nwords, const std::array<bool, 256>& accepted,
                  const twset* only, twset* result) {
  std::vector<ReadIndex::Word> found(static_cast<size_t>(nwords));
  for (int i = 0; i < nwords; ++i, words += strlen(words) + 1)
    if (!index->find(words, &found[static_cast<size_t>(i)])) return false;
  return searchRuns(index, found, accepted, only, result);
}

}  // namespace

// ---------------------------------------------------------------------------
// Sequential reading

FILE* DictIO::openIndexFile(const char* name) const {
  FILE* f = name ? fopen(name, "rb") : nullptr;
  if (f == nullptr) {
    errorf("Error: Could not open %s.\n", name ? name : "");
    return nullptr;
  }
  return f;
}

bool DictIO::reset() {
  // A stream left open by an earlier walk would otherwise be lost.
  close();
  if (index_) {
    // The walk reads the generation this object mapped, as every lookup does.
    const MappedFile& ent = index_->ent();
    curFile = fmemopen(const_cast<unsigned char*>(ent.data()), ent.size(), "rb");
    if (!curFile) errorf("Error: Could not open %s.\n", entFile);
    return curFile != nullptr;
  }
  File f(openIndexFile(entFile));
  if (!f) return false;
  curFile = f.release();
  return true;
}

bool DictIO::seek(long num) {
  if (!curFile || !validNumber(num)) return false;
  int32_t off = index_ ? index_->offsetOf(num) : entries.offsetOf(num);
  return off >= 0 && fseek(curFile, off, SEEK_SET) == 0;
}

bool DictIO::getXML(XML* x) {
  if (!curFile || !x || !dtd || fil_eofx(curFile)) return false;
  x->clear();
  return loadNext(this, x->getXMLEntry());
}

int DictIO::getXMLEntry(XMLEntry* e) {
  if (!curFile || !e || !dtd) return 0;
  while (!fil_eofx(curFile)) {
    long pos = ftell(curFile);
    int32_t owner = index_ ? index_->ownerOf(pos) : entries.ownerOf(pos);
    bool known = owner != 0;
    if (known) actID = owner;
    // The loader always consumes input or fails, so this loop ends.
    if (!loadNext(this, e)) return 0;
    if (known) return 1;
  }
  return 0;
}

// ---------------------------------------------------------------------------
// By number

bool DictIO::getXML(XML* x, long num) {
  if (!x) return false;
  x->clear();
  return loadEntry(this, num, x->getXMLEntry());
}

bool DictIO::getXML(XMLEntry* e, long num) { return e && loadEntry(this, num, e); }

int DictIO::getXMLEntry(XMLEntry* e, long num) {
  if (!getXML(e, num)) return 0;
  XMLdelEmpty(e, dtd);
  return 1;
}

long DictIO::getIDMove(int dir) {
  long last = lastID;
  long n = size();
  if (last < 0) return -1;
  switch (dir) {
    case 0:
      return last < n ? last + 1 : 0;
    case 1:
      return last > 1 ? last - 1 : 0;
    case 2:
      return last != 1 ? 1 : 0;
    case 3:
      return last != n ? n : 0;
    default:
      return 1;
  }
}

long DictIO::idCorrect(long n) {
  if (n < 1) return 1;
  if (n > size()) return size();
  return n;
}

long DictIO::getXMLEntryByKey(XMLEntry* e, const std::string& key) {
  if (!dtd) return -1;
  twset hits;
  findWordEnt(dtd->getIndex(dtd->key), key.c_str(), &hits, nullptr, 0, FWE_LINK);
  if (hits.empty()) return -1;
  long num = hits.begin()->eid;
  // A hit whose entry cannot be loaded is no entry to hand out.
  if (!getXMLEntry(e, num)) return -1;
  return num;
}

// ---------------------------------------------------------------------------
// Word search

wrdrec_t* get_next_fwe_word(map_t* words, const char* w, int* pos, int pattern, void* re,
                            int* match) {
  if (!pattern) {
    if (*pos != 0 || !w) return nullptr;
    auto* rec = static_cast<wrdrec_t*>(map_get(words, const_cast<char*>(w)));
    if (rec) *match = 1;
    return rec;
  }
  auto* rec = static_cast<wrdrec_t*>(map_get_nth(words, pos));
  if (rec) *match = re && regexec(static_cast<regex_t*>(re), rec->word, 0, nullptr, 0) == 0;
  return rec;
}

int fent_in(const twset* s, const twident* t) {
  // Sets are ordered by entry number, so a lookup finds the one hit an
  // entry can have.
  return s && t && s->count(*t) ? 1 : 0;
}

int intersection(const twset* a, const twset* b, twset* out) {
  if (!a || !b || !out) return 0;
  twset kept;
  for (const twident& h : *a) {
    auto it = b->find(h);
    if (it != b->end() && it->tid == h.tid) kept.insert(h);
  }
  *out = std::move(kept);
  return 1;
}

int intersection_notag(const twset* a, const twset* b, twset* out) {
  if (!a || !b || !out) return 0;
  twset kept;
  for (const twident& h : *a)
    if (b->count(h)) kept.insert(h);
  *out = std::move(kept);
  return 1;
}

int DictIO::findWordEnt(int tag, const char* text, twset* result, twset* restrictTo, int limit,
                        int flags) {
  ChainSource source(this);
  if (!source.ok()) return FWE_UNUSABLE;
  const bool link = (flags & FWE_LINK) != 0;
  const bool pattern = (flags & FWE_PATTERN) != 0;
  if (!dtd || !result || tag < 0 || tag > dtd->count) return FWE_UNUSABLE;
  if (tag == 0 && !link) return FWE_UNUSABLE;
  if (!text || !*text) return FWE_UNKNOWN;

  int nwords = 0;
  Buffer words(pattern ? str_get_words_reg(text, &nwords) : str_get_words(text, &nwords));
  // Text of white space alone holds no word to look for.
  if (nwords == 0) return FWE_UNKNOWN;

  // The restriction is fixed before the search changes the result set,
  // which may be the very same set.
  twset restrictCopy;
  const twset* only = nullptr;
  if (restrictTo && !restrictTo->empty()) {
    if (restrictTo == result) {
      restrictCopy = *restrictTo;
      only = &restrictCopy;
    } else {
      only = restrictTo;
    }
  }

  // Which tags a code may carry, decided once for the whole search.
  std::array<bool, 256> accepted{};
  for (int t = 1; t < 256; ++t)
    accepted[t] = t == tag || (link && t <= dtd->count && dtd->getType(t) == 'L');
  if (index_ && !pattern && nwords > 1 && searchSorted(index_.get(), words.get(), nwords, accepted, only, result))
    return FWE_DONE;
  WidChain& chain = source.chain();
  const char* q = words.get();
  for (int i = 0; i < nwords; ++i, q += strlen(q) + 1) {
    twset hits;
    Pattern re;
    if (pattern && !re.compile(q)) return FWE_BADPATTERN;

    // The tests below answer as is_eid_del and fent_in would, by steps.
    LiveEntries live(*this);
    Finger<twset> earlier(*result);
    std::unique_ptr<Finger<twset>> within(only ? new Finger<twset>(*only) : nullptr);
    long count = 0;
    bool stop = false;
    auto visit = [&](int32_t code, long) {
      uint32_t u = static_cast<uint32_t>(code);
      twident hit{static_cast<int32_t>(u & 0xFFFFFF), static_cast<int32_t>(u >> 24)};
      // Cheapest tests first; the order does not change what is accepted.
      if (!accepted[hit.tid]) return true;
      // A later word only keeps entries the result already holds, and the
      // first hit an entry gets is the same whether or not the others are
      // gathered too.
      if (i > 0 && !earlier.find(hit.eid)) return true;
      if (within && !within->find(hit.eid)) return true;
      if (!live(hit.eid)) return true;
      // Codes mostly come in ascending entry order: the hint makes that cheap.
      hits.insert(hits.end(), hit);
      ++count;
      if (nwords == 1 && count == limit) {
        stop = true;
        return false;
      }
      return true;
    };
    // A damaged chain is reported by the walk; the search then fails with
    // 2 rather than answer from part of the index.
    bool visited = false, whole = true;
    if (pattern) {
      forEachListedWord(this, [&](const ListedWord& w) {
        if (regexec(re.get(), w.text, 0, nullptr, 0) != 0) return true;
        visited = true;
        whole = chain.walk(w.chunk, visit);
        return whole && !stop;
      });
    } else {
      ListedWord w;
      visited = findWord(this, q, &w);
      whole = !visited || chain.walk(w.chunk, visit);
    }
    if (!whole) return FWE_UNUSABLE;
    if (!visited) return FWE_UNKNOWN;
    if (i == 0)
      *result = std::move(hits);
    else
      intersection(result, &hits, result);
    if (result->empty()) break;
  }
  return FWE_DONE;
}

int DictIO::findWordsByTag(const std::string& path, std::vector<std::string>* out) {
  int tag = dtd ? dtd->getIndex(path) : 0;
  ChainSource source(this);
  if (!source.ok()) return FWE_UNUSABLE;
  if (out) out->clear();
  if (tag == 0 || !out) return FWE_UNUSABLE;
  bool whole = true;
  forEachListedWord(this, [&](const ListedWord& w) {
    bool found = false;
    whole = source.chain().walk(w.chunk, [&](int32_t code, long) {
      uint32_t u = static_cast<uint32_t>(code);
      found = static_cast<int>(u >> 24) == tag && !is_eid_del(u & 0xFFFFFF);
      return !found;
    });
    if (found) out->push_back(w.text);
    return whole;
  });
  return whole ? FWE_DONE : FWE_UNUSABLE;  // damage is reported by the walk
}

int DictIO::findWordsByTag(const std::string& path, char* out, size_t size) {
  std::vector<std::string> words;
  int rc = findWordsByTag(path, &words);
  size_t need = 1;
  for (const std::string& w : words) need += w.size() + 1;
  if (out && size >= need) {
    char* p = out;
    for (const std::string& w : words) {
      memcpy(p, w.c_str(), w.size() + 1);
      p += w.size() + 1;
    }
    *p = '\0';
    return rc;
  }
  // Leave the caller an empty list where there is room for one.
  if (out && size > 0) out[0] = '\0';
  errorf("Error: The words of %s need %zu bytes; the buffer holds %zu.\n", path.c_str(), need,
         size);
  return FWE_UNUSABLE;
}

int DictIO::query(const std::string& path, const std::string& value, XMLEntry* e, twset* result,
                  twset* restrictTo, int limit, int flags) {
  if (!dtd || !result) return FWE_UNUSABLE;
  int tag = dtd->getIndex(ucase(path));
  char type = dtd->getType(tag);
  if (searchableType(type)) return findWordEnt(tag, value.c_str(), result, restrictTo, limit, flags);
  if (type != 'R') return FWE_UNUSABLE;

  std::string target = dtd->getTpar(tag);
  int rtag = dtd->getIndex(target);
  strings values;
  if (e) XMLgetAllValues(target, &values, e);
  // Emptying the result must not empty the restriction along with it.
  twset restrictCopy;
  if (restrictTo == result) {
    restrictCopy = *restrictTo;
    restrictTo = &restrictCopy;
  }
  result->clear();
  int rc = 0;
  for (int i = 0; i < values.count; ++i) {
    twset hits;
    int r = findWordEnt(rtag, values[i].c_str(), &hits, restrictTo, limit, flags);
    if (i == 0) rc = r;
    result->insert(hits.begin(), hits.end());
  }
  return rc;
}

int DictIO::query(const std::string& path, XMLEntry* e, twset* result, twset* restrictTo,
                  int limit, int flags) {
  return query(path, e ? e->value : std::string(), e, result, restrictTo, limit, flags);
}

void DictIO::genKey(char* buf, int lo, int hi) {
  if (!buf) return;
  const bool bounded = lo != -1 && hi != -1;
  if (bounded && hi < lo) {
    errorf("Error: No key can lie in the empty range %d..%d.\n", lo, hi);
    buf[0] = '\0';
    return;
  }
  // Keys stay within int plus RAND_MAX, so they take at most 11 characters.
  constexpr size_t kKeyText = 12;
  const long long span = bounded ? static_cast<long long>(hi) - lo + 1 : 0;
  auto draw = [&] {
    long long r = rand();
    if (lo != -1) {
      if (hi != -1) r %= span;
      r += lo;
    }
    return r;
  };
  if (!bounded) {
    // At most 16,777,215 words can stand in the way of 2^31 candidates.
    do snprintf(buf, kKeyText, "%lld", draw());
    while (wordCount(buf));
    return;
  }
  // Random tries first; a crowded range is then scanned, so a range with
  // every number taken ends with a message instead of looping for ever.
  for (int i = 0; i < 1000; ++i) {
    snprintf(buf, kKeyText, "%lld", draw());
    if (!wordCount(buf)) return;
  }
  for (long long r = lo; r <= hi; ++r) {
    snprintf(buf, kKeyText, "%lld", r);
    if (!wordCount(buf)) return;
  }
  errorf("Error: Every key in %d..%d is already a word of the dictionary.\n", lo, hi);
  buf[0] = '\0';
}

// ---------------------------------------------------------------------------
// Values of a loaded entry

std::string DictIO::getKeyValue(XMLEntry* e) {
  if (!dtd || !e || dtd->key.empty()) return std::string();
  return XMLgetValue(dtd->key, e, 0);
}

// References are not followed here: the followers that resolve them belong
// to host programs, so a reference element yields its own value.
std::string DictIO::getValue(const std::string& path, XMLEntry* e, int /*follow*/) {
  if (!e) return std::string();
  return XMLgetValue(path, e, 0);
}
