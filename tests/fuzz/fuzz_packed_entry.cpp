// The packed-entry readers over arbitrary bytes: the loader, the filtering
// copier and the stepper, with a small structure description (tags 1-5) and
// a small word table. At each entry start they are held to:
//  - the loader builds a well-formed tree (levels follow the parent, paths
//    and names come from the tag table) and always consumes input;
//  - what the copier takes as a whole entry the loader reads too, ending at
//    the same byte, and the copy loads as the same tree and copies to itself;
//  - on such an entry the stepper yields exactly its word cells in stream
//    order with the tags of their elements, and stops at the entry's end
//    (when no inner element carries the entry's own tag, which the stepper
//    cannot tell from its close byte);
//  - the stepper always ends its walk and counts the bytes it read.
#include <cstdint>
#include <cstdio>
#include <deque>
#include <string>
#include <utility>
#include <vector>

#include "base/map.h"
#include "base/text.h"
#include "dictio/dictio.h"
#include "dtd/dtd.h"
#include "fuzz_check.h"
#include "xml/entry.h"
#include "xml/packed.h"

namespace {

// An element of the whole packed entry `bytes` carries a tag number outside
// 1..count.
bool hasForeignTag(const std::string& bytes, int count) {
  for (size_t i = 0; i < bytes.size();) {
    int b = static_cast<unsigned char>(bytes[i++]);
    if (b < 0x80) continue;  // a close byte
    if (b - 0x80 < 1 || b - 0x80 > count) return true;
    while (i + 3 <= bytes.size() && (bytes[i] | bytes[i + 1] | bytes[i + 2]) != 0) i += 3;
    i += 3;  // the cells' terminator
  }
  return false;
}

struct Tables {
  DTD dtd;
  map_t ids;
  std::deque<std::string> texts;
  std::deque<wrdrec_t> recs;

  Tables() {
    for (const char* p : {"E", "E.A", "E.B", "E.A.C", "E.D"}) dtd.tags[static_cast<size_t>(dtd.count++)].path = p;
    for (int i = 0; i < dtd.count; ++i) {
      DTDTag& t = dtd.tags[static_cast<size_t>(i)];
      t.name = fnExt(t.path);
    }
    map_init(&ids, MAP_INT, 2);
    const std::pair<const char*, int32_t> words[] = {
        {"cat", 1}, {"dog", 2}, {",", 3}, {"a", 4}, {"(see", 5}, {"x)", 6},
        {"big", 0x0102}, {"last", 0xFFFFFF}, {".", 0x800000}};
    for (const auto& [w, n] : words) {
      texts.emplace_back(w);
      recs.push_back(wrdrec_t{texts.back().data(), n, -1, -1});
      map_assn(&ids, map_ikey(n), &recs.back());
    }
  }
};

Tables* g_tables = nullptr;

struct MemStream {
  FILE* f = nullptr;
  MemStream(const char* data, size_t size) {
    if (size > 0) f = fmemopen(const_cast<char*>(data), size, "rb");
  }
  ~MemStream() {
    if (f != nullptr) fclose(f);
  }
};

void checkTree(const XMLEntry* e, const XMLEntry* parent, int level, int* nodes) {
  FUZZ_CHECK(++*nodes <= 1 << 16);
  FUZZ_CHECK(e->level == level);
  if (parent != nullptr) FUZZ_CHECK(e->parent == parent);
  FUZZ_CHECK(level <= DTD::kMaxPackedTag);
  FUZZ_CHECK(e->count() <= XMLEntry::kMaxChildren);
  FUZZ_CHECK(e->name == fnExt(e->path));
  FUZZ_CHECK(e->path.empty() || g_tables->dtd.getIndex(e->path) > 0);
  for (const XMLEntry* child : e->children) {
    FUZZ_CHECK(child != nullptr);
    checkTree(child, e, level + 1, nodes);
  }
}

std::string describe(const XMLEntry* e) {
  std::string s = e->path + ":" + std::to_string(e->level) + "=" + e->value;
  if (e->children.empty()) return s;
  s += "{";
  for (const XMLEntry* c : e->children) s += describe(c) + ",";
  return s + "}";
}

// The cells of the whole entry at `at` as (word, tag) in stream order, for
// bytes the copier has accepted; `sameTag` tells whether an inner element
// carries the entry's own tag.
std::vector<std::pair<long, long>> cellsOf(const std::string& bytes, size_t at, bool* sameTag,
                                           size_t* end) {
  std::vector<std::pair<long, long>> out;
  std::vector<int> open;
  *sameTag = false;
  const int entryTag = static_cast<unsigned char>(bytes[at]) & 0x7F;
  size_t i = at;
  auto cells = [&](int tag) {
    for (;;) {
      FUZZ_CHECK(i + 3 <= bytes.size());
      const long n = static_cast<unsigned char>(bytes[i]) |
                     (static_cast<unsigned char>(bytes[i + 1]) << 8) |
                     (static_cast<long>(static_cast<unsigned char>(bytes[i + 2])) << 16);
      i += 3;
      if (n == 0) return;
      out.emplace_back(n, tag);
    }
  };
  do {
    FUZZ_CHECK(i < bytes.size());
    const int b = static_cast<unsigned char>(bytes[i++]);
    if (b < 0x80) {
      FUZZ_CHECK(!open.empty() && open.back() == b);
      open.pop_back();
      continue;
    }
    if (!open.empty() && (b & 0x7F) == entryTag) *sameTag = true;
    open.push_back(b & 0x7F);
    cells(b & 0x7F);
  } while (!open.empty());
  *end = i;
  return out;
}

// One walk of the stepper from the stream's position; its cells.
std::vector<std::pair<long, long>> step(FILE* f, size_t limit) {
  std::vector<std::pair<long, long>> out;
  XMLresetPackPtr();
  const long start = ftell(f);
  long word = 0, tag = 0, pos = 0;
  while (XMLgetPackPtr(&f, &word, &tag, &pos)) {
    FUZZ_CHECK(out.size() <= limit);  // every cell takes three bytes
    FUZZ_CHECK(word > 0 && word <= kMaxNumber && tag >= 0 && tag <= 0x7F);
    out.emplace_back(word, tag);
  }
  FUZZ_CHECK(XMLpackPtrBytes() == ftell(f) - start);
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzzcheck::init();
  g_tables = new Tables();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  MemStream in(bytes.data(), size);
  FUZZ_CHECK(in.f != nullptr);
  map_t* ids = &g_tables->ids;
  DTD* dtd = &g_tables->dtd;

  // Entry starts as the loader finds them, and damaged bytes skipped one at a
  // time; a bounded number of starts keeps long inputs quick.
  size_t at = 0;
  for (int starts = 0; at < size && starts < 64; ++starts) {
    // The copier.
    FUZZ_CHECK(fseek(in.f, static_cast<long>(at), SEEK_SET) == 0);
    std::string copy = "kept";
    const bool copied = XMLcopyPackEntry(in.f, ids, &copy);
    const long copyEnd = ftell(in.f);
    FUZZ_CHECK(copy.compare(0, 4, "kept") == 0);
    copy.erase(0, 4);
    if (!copied) FUZZ_CHECK(copy.empty());

    // The loader.
    FUZZ_CHECK(fseek(in.f, static_cast<long>(at), SEEK_SET) == 0);
    XMLEntry e;
    e.value = "stale";
    const bool loaded = XMLloadPackEntry(&e, &in.f, ids, dtd, 0);
    const long loadEnd = ftell(in.f);
    FUZZ_CHECK(loadEnd > static_cast<long>(at));  // the open byte at least
    if (loaded) {
      int nodes = 0;
      checkTree(&e, nullptr, 0, &nodes);
    }

    if (copied) {
      // Only a node with more children than it takes, or a tag the
      // description does not have, can stop the loader where the copier
      // goes through; the first needs far longer input.
      FUZZ_CHECK(loaded || size > 5u * XMLEntry::kMaxChildren || hasForeignTag(copy, dtd->count));
      if (loaded) {
        FUZZ_CHECK(loadEnd == copyEnd);
        MemStream again(copy.data(), copy.size());
        FUZZ_CHECK(again.f != nullptr);
        XMLEntry e2;
        FUZZ_CHECK(XMLloadPackEntry(&e2, &again.f, ids, dtd, 0));
        FUZZ_CHECK(ftell(again.f) == static_cast<long>(copy.size()));
        FUZZ_CHECK(describe(&e) == describe(&e2));
        rewind(again.f);
        std::string twice;
        FUZZ_CHECK(XMLcopyPackEntry(again.f, ids, &twice));
        FUZZ_CHECK(twice == copy);
      }
      bool sameTag = false;
      size_t end = 0;
      const auto expected = cellsOf(bytes, at, &sameTag, &end);
      FUZZ_CHECK(static_cast<long>(end) == copyEnd);
      const int entryTag = static_cast<unsigned char>(bytes[at]) & 0x7F;
      if (entryTag != 0 && !sameTag) {
        FUZZ_CHECK(fseek(in.f, static_cast<long>(at), SEEK_SET) == 0);
        FUZZ_CHECK(step(in.f, size / 3) == expected);
        FUZZ_CHECK(ftell(in.f) == copyEnd);
      }
    }

    // The stepper ends its walk over any bytes, having read some.
    FUZZ_CHECK(fseek(in.f, static_cast<long>(at), SEEK_SET) == 0);
    step(in.f, size / 3);
    FUZZ_CHECK(ftell(in.f) > static_cast<long>(at));

    at = loaded ? static_cast<size_t>(loadEnd) : at + 1;
  }
  XMLresetPackPtr();
  return 0;
}
