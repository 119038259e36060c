// The entry pass: reads the dictionary file entry by entry, numbers the
// words, writes each entry in packed form to ".ent" and records where.

#include <climits>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "base/binio.h"
#include "base/error.h"
#include "base/files.h"
#include "base/map.h"
#include "base/passfile.h"
#include "base/progress.h"
#include "base/readahead.h"
#include "base/word.h"
#include "dictio/dictio.h"
#include "dictio/scope.h"
#include "dictio/update.h"
#include "dictio/widfeed.h"
#include "dtd/dtd.h"
#include "xml/entry.h"
#include "xml/packed.h"
#include "xml/packtags.h"
#include "xml/readentry.h"
#include "xml/reader.h"

namespace {

// Room made at once for an entry's words: most entries have fewer.
constexpr size_t kWordsAtFirst = 64;

// An entry as the entry pass takes it from its reading thread: its words
// already cut out of its text, each node's words as a run, children before
// their parent, as the values come; and the entry already packed, with every
// word cell left zero for the pass to fill in once the words are numbered.
// A cell's bytes do not depend on its number, so packing need not wait.
// While the item is made, each node's mark holds the number of its run.
//
// The words are copied out of the tree, which then goes back to its pool on
// the reading thread at once: an item on its way holds a few hundred bytes
// of words rather than a tree several times that size, and the pass reads
// the words from one place instead of from every node.
struct EntryItem : ReadEntry {
  bool entry = false;                   // the read gave an entry
  std::string words;                    // the words, one after another
  std::vector<uint32_t> wordEnds;       // end of each word in `words`
  std::vector<uint64_t> hashes;         // of the words, for the word table
  std::vector<uint32_t> runEnds;        // end of each run in wordEnds
  long clipped = 0;                     // words cut to kMaxWordLength bytes
  std::string packed;
  std::vector<std::pair<uint32_t, uint32_t>> cellsAt;  // offset in packed, run

  // Offsets, not views: the item moves between threads, and a short
  // string's bytes move with it.
  void gather(XMLEntry* e) {
    for (XMLEntry* child : e->children) gather(child);
    clipped += forEachWord(e->value.c_str(), [&](std::string_view w) {
      words.append(w);
      wordEnds.push_back(static_cast<uint32_t>(words.size()));
      hashes.push_back(map_view_hash(w));
    });
    e->mark = reinterpret_cast<void*>(static_cast<uintptr_t>(runEnds.size()));
    runEnds.push_back(static_cast<uint32_t>(wordEnds.size()));
  }

  size_t wordCount() const { return wordEnds.size(); }

  std::string_view word(size_t k) const {
    const uint32_t begin = k == 0 ? 0 : wordEnds[k - 1];
    return std::string_view(words.data() + begin, wordEnds[k] - begin);
  }

  // Cuts the words out, packs the entry and gives its tree back to `pool`.
  void prepare(const PackTags& tags, XMLEntryPool* pool) {
    wordEnds.reserve(kWordsAtFirst);
    hashes.reserve(kWordsAtFirst);
    runEnds.reserve(kWordsAtFirst / 2);
    gather(tree.get());
    pack(tags);
    pool->give(tree.release());
  }

  void pack(const PackTags& tags) {
    XMLCellWriter cells = [this](const XMLEntry* e, std::string* out) {
      const auto r = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(e->mark));
      const uint32_t n = runEnds[r] - runBegin(r);
      if (n == 0) return;
      cellsAt.push_back({static_cast<uint32_t>(out->size()), r});
      out->append(3 * static_cast<size_t>(n), '\0');
    };
    tags.pack(tree.get(), cells, &packed);
  }

  uint32_t runBegin(uint32_t r) const { return r == 0 ? 0 : runEnds[r - 1]; }

  // Back to a new item's state once the tree has gone back to its pool. The
  // members keep their room, unless a large entry made it far larger than
  // most need: an item may be made again many times, and the room would
  // otherwise stay held for the rest of the pass.
  void renew() {
    entry = false;
    clearKeepingRoom(&words, 8 * kKeptWords);
    clearKeepingRoom(&wordEnds, kKeptWords);
    clearKeepingRoom(&hashes, kKeptWords);
    clearKeepingRoom(&runEnds, kKeptWords);
    clearKeepingRoom(&packed, 3 * kKeptWords);
    clearKeepingRoom(&cellsAt, kKeptWords);
    clipped = 0;
  }

 private:
  static constexpr size_t kKeptWords = 1024;
};

// Entries whose words are looked up together: one entry's few dozen words
// are too few for the table's memory fetches to overlap. A group ends
// early once it holds kLookupWords words, so that large entries are not
// copied many at a time.
constexpr size_t kLookupGroup = 16;
constexpr size_t kLookupWords = 4096;

// State of one entry pass.
struct EntryPass {
  WordTable* words;
  WidFeed* feed;         // takes the new words and the cells, when there is one
  int32_t numbered = 0;  // numbers given so far
  long clipped = 0;      // words cut to kMaxWordLength bytes
  std::vector<std::string_view> views = {};  // a group's words, entry after entry
  std::vector<uint64_t> hashes = {};
  std::vector<void*> found = {};       // what the word table held for them
  size_t foundAt = 0;                  // where the next entry's words begin in `found`
  std::vector<uint32_t> numbers = {};  // the numbers of an entry's words

  // Looks the words of n entries up at once; numberTree() then takes the
  // entries in the same order.
  void lookUp(const EntryItem* items, size_t n) {
    views.clear();
    hashes.clear();
    for (size_t i = 0; i < n; ++i) {
      for (size_t k = 0; k < items[i].wordCount(); ++k) views.push_back(items[i].word(k));
      hashes.insert(hashes.end(), items[i].hashes.begin(), items[i].hashes.end());
    }
    found.resize(views.size());
    map_get_hashed_views(&words->wordMap, views.data(), hashes.data(), found.data(),
                         static_cast<int>(views.size()));
    // The records lie all over the arena: all are asked for before any is read.
    for (void* rec : found) __builtin_prefetch(rec);
    foundAt = 0;
  }

  // Numbers the words of the next entry looked up, gathered in `item`, and
  // fills in its packed cells. False when a word needs a number beyond the
  // representable range.
  bool numberTree(EntryItem* item) {
    const size_t from = foundAt;
    const size_t n = item->wordCount();
    foundAt += n;
    clipped += item->clipped;
    numbers.resize(n);
    for (size_t k = 0; k < n; ++k) {
      auto* rec = static_cast<wrdrec_t*>(found[from + k]);
      int32_t num = rec != nullptr ? rec->num : number(views[from + k]);
      if (num == 0) return false;
      numbers[k] = static_cast<uint32_t>(num);
    }
    for (const auto& [at, r] : item->cellsAt) {
      auto* cell = reinterpret_cast<unsigned char*>(item->packed.data() + at);
      for (uint32_t k = item->runBegin(r); k < item->runEnds[r]; ++k, cell += 3)
        store_u24(cell, numbers[k]);
    }
    return true;
  }

  // Hands the cells of a packed entry, numbered `entry`, to the feed in the
  // order they stand in the packed bytes, each with its element's tag (the
  // open byte just before the element's cells).
  void feedCells(const EntryItem& item, int32_t entry) {
    if (feed == nullptr) return;
    for (const auto& [at, r] : item.cellsAt) {
      const uint32_t tag = static_cast<unsigned char>(item.packed[at - 1]) & 0x7F;
      const uint32_t code = tag << 24 | (static_cast<uint32_t>(entry) & 0xFFFFFF);
      for (uint32_t k = item.runBegin(r); k < item.runEnds[r]; ++k)
        feed->cell(static_cast<uint64_t>(numbers[k]) << 32 | code);
    }
  }

 private:
  // A word the table did not hold when the group was looked up: it may have
  // been numbered since, earlier in the group. 0 when the numbers ran out.
  int32_t number(std::string_view w) {
    if (wrdrec_t* rec = words->find(w)) return rec->num;
    if (numbered >= kMaxNumber) return 0;
    wrdrec_t* rec = words->add(w, ++numbered, false);
    if (feed != nullptr) feed->word(rec);
    return rec->num;
  }
};

}  // namespace

void DictIO::makeWrd() {
  WidFeed* feed = widFeed_;
  UpdateScope scope(this);
  const std::string from = scope->current(".xml");
  PassFile xml = scope->read(".xml");
  PassFile ent = xml ? scope->create(".ent") : PassFile();
  if (!ent) return;
  long total = xml.size();
  ProgressMeter progress(total, output != 0, on_prog, on_prog_bar, 0.0, 0.5);
  words.clear();
  entries.clear();
  if (output) fprintf(stderr, "Building %s...\n", wrdFile);
  EntryPass pass{&words, feed};
  long at = 0;  // write offset in the entry file
  int32_t count = 0;
  bool ok = true;
  bool readFailed = false;
  // The reading objects are gone, the reading thread's memory with them,
  // before the tables are remade below.
  auto readAll = [&] {
    XMLEntryPool pool;  // outlives the reader, which gives nodes back to it
    XML reader;
    reader.readHeader(xml.get());
    // The reading runs ahead on a thread of its own (base/readahead.h), and
    // so do cutting each entry's words out of its text and packing it.
    FILE* in = xml.get();
    const PackTags tags(dtd);
    reader.nodePool = &pool;
    ReadAhead<EntryItem> ahead(
        [&reader, in, &tags, &pool](EntryItem& item) {
          if (!readEntry(&reader, in, &item)) return false;
          item.entry = item.tree != nullptr;
          if (item.entry) item.prepare(tags, &pool);
          return true;
        },
        [&pool](EntryItem& item) {
          recycleEntry(&pool, &item);
          item.renew();
        },
        kReadAheadEntries, kReadAheadBatches, ReadAhead<EntryItem>::Spent::kMadeAgain);
    // Takes one entry; false to stop the pass.
    auto take = [&](EntryItem& item) {
      releaseMessages(item);
      readFailed = item.readFailed;
      if (!item.entry) return true;
      if (count >= kMaxNumber) {
        ok = failPass(strprintf("%s holds more than %ld entries", from.c_str(), kMaxNumber));
      } else if (dtd->count == 0) {
        ok = failPass(strprintf("%s describes no element, so no entry of %s can be stored (lexorn -f "
                                "infers it again)", dtd->dtdName.c_str(), from.c_str()));
      } else if (!pass.numberTree(&item)) {
        ok = failPass(strprintf("%s holds more than %ld distinct words", from.c_str(), kMaxNumber));
      } else if (at > INT32_MAX) {
        ok = failPass(strprintf("%s would grow beyond %d bytes", entFile, INT32_MAX));
      }
      if (!ok) return false;
      entPos.emplace_hint(entPos.end(), ++count, static_cast<int32_t>(at));
      const std::string& packed = item.packed;
      if (fwrite(packed.data(), 1, packed.size(), ent.get()) != packed.size()) return false;  // told at close
      at += static_cast<long>(packed.size());
      pass.feedCells(item, count);
      progress.at(item.position);
      return true;
    };
    // Entries are taken a group at a time, each group's words looked up at
    // once; each item goes back to the reading thread when the next group
    // takes its place.
    std::vector<EntryItem> group(kLookupGroup);
    for (bool more = true; more;) {
      size_t n = 0;
      size_t words = 0;
      while (n < group.size() && words < kLookupWords && (more = ahead.next(group[n])))
        words += group[n++].wordCount();
      pass.lookUp(group.data(), n);
      size_t taken = 0;
      while (taken < n && take(group[taken])) ++taken;
      if (taken < n) break;
    }
  };
  readAll();
  releaseThreadMemory();
  if (ok && readFailed) ok = failPass(strprintf("Could not read %s", from.c_str()));
  scope->close(ent, ".ent");
  if (pass.clipped > 0)
    errorf("Error: %ld words longer than %d bytes were cut to their first %d bytes.\n",
           pass.clipped, kMaxWordLength, kMaxWordLength);
  // The index fed meanwhile is written whole before the tables grow again.
  if (feed != nullptr && ok) feed->finish();
  // The passes after this one walk the table by text but search it no
  // more; its accelerator comes back with the first search, if one comes.
  map_shed_accel(&wordMap);
  makeRWrd();
  makeREid();
  if (output) {
    printf("%s%d words.\n", kClearLine, words.size());
    printf("%s%d entries.\n", kClearLine, static_cast<int>(entPos.size()));
  }
}
