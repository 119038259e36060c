#include "xml/packed.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <vector>

#include "base/binio.h"
#include "base/error.h"
#include "base/hash.h"
#include "base/map.h"
#include "base/text.h"
#include "base/word.h"
#include "xml/tagtable.h"
#include "xml/entry.h"
#include "xml/reader.h"
#include "xml/packtags.h"

namespace {

constexpr int kOpenByte = 0x80;

// Tags along one branch belong to distinct paths, so no valid entry nests
// deeper than there are tag indexes.
constexpr int kMaxPackedLevel = DTDStruct::kMaxPackedTag;

int packedTag(const DTDStruct* dtd, const std::string& path) {
  int i = dtd->getIndex(path);
  return (i >= 1 && i <= DTDStruct::kMaxPackedTag) ? i : 0;
}

void appendWordCells(const std::string& value, map_t* words, std::string* out) {
  std::string key;  // the table's keys are C strings
  forEachWord(value.c_str(), [&](std::string_view w) {
    key.assign(w);
    auto* rec = static_cast<wrdrec_t*>(map_get(words, key.data()));
    if (rec != nullptr && rec->num >= 1 && rec->num <= kMaxNumber)
      XMLappendCell(out, static_cast<uint32_t>(rec->num));
  });
}

// Reads a 3-byte cell; false on a short read.
bool readCell(FILE* f, long* n) {
  unsigned char b[3];
  if (fread(b, 1, 3, f) != 3) return false;
  *n = static_cast<long>(b[0]) | (static_cast<long>(b[1]) << 8) | (static_cast<long>(b[2]) << 16);
  return true;
}

std::string tagPath(const DTDStruct* dtd, int tag) {
  if (dtd == nullptr || tag < 1 || tag > dtd->count) return std::string();
  return dtd->getTag(tag);
}

// Where the loader takes its bytes from: a stream, or bytes in memory.
struct StreamBytes {
  FILE* f;
  int get() { return getc(f); }
  int peek() {
    int c = getc(f);
    if (c != EOF) ungetc(c, f);
    return c;
  }
  bool read3(unsigned char* b) { return fread(b, 1, 3, f) == 3; }
};

struct MemoryBytes {
  const unsigned char* p;
  size_t size, at = 0;
  int get() { return at < size ? p[at++] : EOF; }
  int peek() const { return at < size ? p[at] : EOF; }
  bool read3(unsigned char* b) {
    if (size - at < 3) {
      at = size;
      return false;
    }
    memcpy(b, p + at, 3);
    at += 3;
    return true;
  }
};

template <typename Bytes>
struct PackLoader {
  Bytes& in;
  const XMLWordText& words;
  const DTDStruct* dtd;
};

enum LoadResult { kLoaded, kAtEnd, kDamaged };

// The words of an element's cells, joined with makeString. False when the
// input ends inside the cells.
template <typename Bytes>
bool loadWords(const PackLoader<Bytes>& ld, std::string* value) {
  std::string cells;
  for (;;) {
    unsigned char b[3];
    if (!ld.in.read3(b)) return false;
    if ((b[0] | b[1] | b[2]) == 0) break;
    cells.append(reinterpret_cast<char*>(b), 3);
  }
  *value = XMLcellText(cells, ld.words);
  return true;
}

template <typename Bytes>
LoadResult loadElement(const PackLoader<Bytes>& ld, XMLEntry* e, int level);

// Children follow while the next byte is an open byte.
template <typename Bytes>
LoadResult loadChildren(const PackLoader<Bytes>& ld, XMLEntry* e, int level) {
  for (;;) {
    int c = ld.in.peek();
    if (c == EOF || c < kOpenByte) return kLoaded;  // a missing close byte is the caller's to tell
    if (level + 1 > kMaxPackedLevel) {
      errorf("Error: Packed entry nested deeper than %d levels.\n", kMaxPackedLevel);
      return kDamaged;
    }
    auto* child = new XMLEntry();
    LoadResult r = loadElement(ld, child, level + 1);
    if (r != kLoaded) {
      delete child;
      if (r == kAtEnd) errorf("Error: Packed entry ends before its close byte.\n");
      return kDamaged;
    }
    if (!e->addEntry(child)) {
      delete child;
      errorf("Error: Packed element %s holds more than %d children.\n", e->path.c_str(),
             XMLEntry::kMaxChildren);
      return kDamaged;
    }
  }
}

template <typename Bytes>
LoadResult loadElement(const PackLoader<Bytes>& ld, XMLEntry* e, int level) {
  int b = ld.in.get();
  if (b == EOF) return kAtEnd;
  if (b < kOpenByte) fprintf(stderr, "%d is not open tag.\n", b);
  int tag = b - kOpenByte;
  // A tag the structure description does not have cannot be rendered:
  // the entry does not belong to this description, or is damaged.
  if (ld.dtd != nullptr && (tag < 1 || tag > ld.dtd->count)) {
    errorf("Error: Packed entry holds tag %d, which the structure description does not have.\n", tag);
    return kDamaged;
  }
  e->path = tagPath(ld.dtd, tag);
  e->name = fnExt(e->path);
  if (!loadWords(ld, &e->value)) {
    errorf("Error: Packed entry ends inside the words of %s.\n", e->path.c_str());
    return kDamaged;
  }
  e->level = level;
  e->clear();
  if (loadChildren(ld, e, level) == kDamaged) return kDamaged;
  int c = ld.in.get();
  if (c == EOF) {
    errorf("Error: Packed entry ends before its close byte.\n");
    return kDamaged;
  }
  if (c >= kOpenByte) fprintf(stderr, "%d is not close tag.\n", c);
  if (c != tag) fprintf(stderr, "Open and close tags don't match (%d!=%d).\n", c, tag);
  return kLoaded;
}

XMLWordText wordsOf(map_t* ids) {
  return [ids](uint32_t num) -> std::string_view {
    auto* rec = static_cast<wrdrec_t*>(map_get(ids, map_ikey(num)));
    return rec != nullptr && rec->word != nullptr ? std::string_view(rec->word) : std::string_view();
  };
}

// The stepper's state between calls. One walk at a time in the process.
struct PackWalk {
  int cur = 0;         // open byte of the element whose cells are being read; 0 outside
  int entryTag = 0;    // tag index of the entry's upmost element; 0 until known
  bool atStart = true; // no byte of the entry has been read yet
  long cells = 0;      // cells read by calls that continued inside an element
};

PackWalk g_walk;
long g_walkBytes = 0;  // bytes the stepper read since XMLresetPackPtr

int stepByte(FILE* in) {
  int c = getc_unlocked(in);
  if (c != EOF) ++g_walkBytes;
  return c;
}

// A cell read by the stepper; false on a short read.
bool stepCell(FILE* in, long* n) {
  int b0 = stepByte(in);
  if (b0 == EOF) return false;
  int b1 = stepByte(in);
  if (b1 == EOF) return false;
  int b2 = stepByte(in);
  if (b2 == EOF) return false;
  *n = static_cast<long>(b0) | (static_cast<long>(b1) << 8) | (static_cast<long>(b2) << 16);
  return true;
}

// Copies the cells of one element up to and including their terminator.
bool copyCells(FILE* in, map_t* ids, std::string* out) {
  for (;;) {
    long n = 0;
    if (!readCell(in, &n)) return false;
    if (n == 0) break;
    if (map_exist(ids, map_ikey(n))) XMLappendCell(out, static_cast<uint32_t>(n));
  }
  out->append(3, '\0');
  return true;
}

bool copyElements(FILE* in, map_t* ids, std::string* out) {
  int b = getc(in);
  if (b == EOF || b < kOpenByte) return false;
  std::vector<int> open{b - kOpenByte};
  out->push_back(static_cast<char>(b));
  if (!copyCells(in, ids, out)) return false;
  while (!open.empty()) {
    int c = getc(in);
    if (c == EOF) return false;
    out->push_back(static_cast<char>(c));
    if (c < kOpenByte) {
      if (c != open.back()) return false;
      open.pop_back();
      continue;
    }
    if (static_cast<int>(open.size()) > kMaxPackedLevel) return false;
    open.push_back(c - kOpenByte);
    if (!copyCells(in, ids, out)) return false;
  }
  return true;
}

}  // namespace

bool XMLcopyPackEntry(FILE* in, map_t* ids, std::string* out) {
  size_t start = out->size();
  if (copyElements(in, ids, out)) return true;
  out->resize(start);
  return false;
}

std::string XMLcellText(const std::string& cells, const XMLWordText& words) {
  std::string list;
  for (size_t i = 0; i + 3 <= cells.size(); i += 3) {
    std::string_view w = words(load_u24(reinterpret_cast<const unsigned char*>(cells.data()) + i));
    if (w.empty()) continue;
    list.append(w);
    list.push_back('\0');
  }
  list.append(2, '\0');
  makeString(list.data());
  return std::string(list.c_str());
}

std::string XMLcellText(const std::string& cells, map_t* ids) { return XMLcellText(cells, wordsOf(ids)); }

size_t XMLpackedLength(const unsigned char* p, size_t size) {
  if (size == 0 || p[0] < kOpenByte) return 0;
  std::vector<int> open;
  size_t at = 0;
  for (;;) {
    int b = p[at++];
    open.push_back(b - kOpenByte);
    for (;;) {  // the element's cells and their terminator
      if (size - at < 3) return 0;
      bool end = (p[at] | p[at + 1] | p[at + 2]) == 0;
      at += 3;
      if (end) break;
    }
    for (;;) {  // close bytes, up to the next open byte
      if (at >= size) return 0;
      int c = p[at];
      if (c >= kOpenByte) break;
      if (c != open.back()) return 0;
      open.pop_back();
      ++at;
      if (open.empty()) return at;
    }
    if (static_cast<int>(open.size()) > kMaxPackedLevel) return 0;
  }
}

bool XMLclipWord(char* w) {
  if (strnlen(w, kMaxWordLength + 1) <= static_cast<size_t>(kMaxWordLength)) return false;
  w[kMaxWordLength] = '\0';
  return true;
}

void XMLappendCell(std::string* out, uint32_t num) {
  unsigned char b[3];
  store_u24(b, num);
  out->append(reinterpret_cast<const char*>(b), 3);
}

namespace {

template <class TagOf>
void packElement(const XMLEntry* e, const XMLCellWriter& cells, const TagOf& tagOf,
                 std::string* out) {
  int tag = tagOf(e->path);
  if (tag == 0) return;
  out->push_back(static_cast<char>(kOpenByte + tag));
  cells(e, out);
  out->append(3, '\0');
  for (const XMLEntry* child : e->children) packElement(child, cells, tagOf, out);
  out->push_back(static_cast<char>(tag));
}

}  // namespace

void XMLpackEntry(const XMLEntry* e, const XMLCellWriter& cells, const DTDStruct* dtd,
                  std::string* out) {
  packElement(e, cells, [dtd](const std::string& path) { return packedTag(dtd, path); }, out);
}

PackTags::PackTags(const DTDStruct* dtd) {
  const int n = std::min(dtd->count, static_cast<int>(dtd->tags.size()));
  size_t size = 4;
  while (size < 2 * static_cast<size_t>(std::max(n, 0))) size *= 2;
  slots_.resize(size);
  mask_ = size - 1;
  for (int i = 0; i < n; ++i) {
    const std::string& path = dtd->tags[i].path;
    size_t at = hashBytes(path) & mask_;
    while (slots_[at].tag >= 0 && slots_[at].path != path) at = (at + 1) & mask_;
    if (slots_[at].tag >= 0) continue;  // the first record of a path gives its tag
    slots_[at] = {path, packedTag(dtd, path)};
  }
}

int PackTags::operator()(const std::string& path) const {
  for (size_t at = hashBytes(path) & mask_;; at = (at + 1) & mask_) {
    const Slot& s = slots_[at];
    if (s.tag < 0) return 0;
    if (s.path == path) return s.tag;
  }
}

void PackTags::pack(const XMLEntry* e, const XMLCellWriter& cells, std::string* out) const {
  packElement(e, cells, *this, out);
}

void XMLpackEntry(const XMLEntry* e, map_t* words, const DTDStruct* dtd, std::string* out) {
  XMLpackEntry(
      e, [words](const XMLEntry* node, std::string* o) { appendWordCells(node->value, words, o); },
      dtd, out);
}

bool XMLsavePackEntry(XMLEntry* e, FILE** f, map_t* words, DTDStruct* dtd) {
  std::string bytes;
  XMLpackEntry(e, words, dtd, &bytes);
  if (bytes.empty()) return true;
  return fwrite(bytes.data(), 1, bytes.size(), *f) == bytes.size();
}

bool XMLloadPackEntry(XMLEntry* e, FILE** f, map_t* ids, DTDStruct* dtd, int level) {
  return XMLloadPackEntry(e, f, wordsOf(ids), dtd, level);
}

bool XMLloadPackEntry(XMLEntry* e, FILE** f, const XMLWordText& words, const DTDStruct* dtd, int level) {
  StreamBytes in{*f};
  PackLoader<StreamBytes> ld{in, words, dtd};
  return loadElement(ld, e, level) == kLoaded;
}

bool XMLloadPackEntry(XMLEntry* e, const unsigned char* bytes, size_t size, const XMLWordText& words,
                      const DTDStruct* dtd, int level) {
  MemoryBytes in{bytes, size};
  PackLoader<MemoryBytes> ld{in, words, dtd};
  return loadElement(ld, e, level) == kLoaded;
}

void XMLresetPackPtr() {
  g_walk = PackWalk();
  g_walkBytes = 0;
}

long XMLpackPtrBytes() { return g_walkBytes; }

bool XMLgetPackPtr(FILE** f, long* word, long* tag, long* pos) {
  FILE* in = *f;
  PackWalk& w = g_walk;
  if (w.cur != 0) {
    long n = 0;
    bool read = stepCell(in, &n);
    if (read) {
      ++w.cells;
      if (pos != nullptr) *pos = w.cells;
    }
    if (read && n != 0) {
      *word = n;
      return true;
    }
    w.cur = 0;
  }
  for (;;) {
    bool ok = true;
    int b = 0;
    for (;;) {
      int c = stepByte(in);
      if (c == EOF) {
        ok = false;
        b = 0;
        break;
      }
      b = c;
      if (w.entryTag == 0) w.entryTag = b & 0x7F;
      ok = (b != w.entryTag) || w.atStart;
      w.atStart = false;
      if (!ok || b >= kOpenByte) break;
    }
    w.cur = b;
    *tag = b & 0x7F;
    if (!ok) {
      w = PackWalk();
      return false;
    }
    long n = 0;
    if (stepCell(in, &n) && n != 0) {
      *word = n;
      return true;
    }
  }
}

void XML::savePackEntry(FILE** f, map_t* words, DTDStruct* dtd) { XMLsavePackEntry(root, f, words, dtd); }

bool XML::loadPackEntry(FILE** f, map_t* ids, DTDStruct* dtd) {
  return XMLloadPackEntry(root, f, ids, dtd, 0);
}

bool XML::getPackPtr(FILE** f, long* word, long* tag, long* pos) {
  return XMLgetPackPtr(f, word, tag, pos);
}
