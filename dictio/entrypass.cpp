// The entry pass: reads the dictionary file entry by entry, numbers the
// words, writes each entry in packed form to ".ent" and records where.

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

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
#include "dtd/dtd.h"
#include "xml/entry.h"
#include "xml/packed.h"
#include "xml/readentry.h"
#include "xml/reader.h"

namespace {

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

// Room made at once for an entry's words: most entries have fewer.
constexpr size_t kWordsAtFirst = 64;

// An entry as the entry pass takes it from its reading thread, with its
// words already cut out of its text: each node's words as a run, children
// before their parent, as the values come.
struct EntryItem : ReadEntry {
  std::vector<std::string_view> views;                      // into the tree's values
  std::vector<std::pair<const XMLEntry*, uint32_t>> runs;   // node, end of its run
  long clipped = 0;                                         // words cut to kMaxWordLength bytes

  void gather(const XMLEntry* e) {
    for (const XMLEntry* child : e->children) gather(child);
    clipped += forEachWord(e->value.c_str(), [&](std::string_view w) { views.push_back(w); });
    runs.push_back({e, static_cast<uint32_t>(views.size())});
  }
};

// State of one entry pass.
struct EntryPass {
  WordTable* words;
  int32_t numbered = 0;  // numbers given so far
  long clipped = 0;      // words cut to kMaxWordLength bytes
  EntryCells entry = {};
  std::vector<void*> found = {};  // what the word table holds for an entry's words

  // Numbers the words of an entry, gathered in `item`. False when a word
  // needs a number beyond the representable range.
  bool numberTree(const EntryItem& item) {
    const auto& views = item.views;
    clipped += item.clipped;
    // Most words are known: they are looked up together, which lets their
    // memory fetches overlap; new ones are numbered in order below.
    found.resize(views.size());
    map_get_views(&words->wordMap, views.data(), found.data(), static_cast<int>(views.size()));
    size_t k = 0;
    for (const auto& [node, end] : item.runs) {
      uint32_t begin = static_cast<uint32_t>(entry.cells.size());
      for (; k < end; ++k) {
        auto* rec = static_cast<wrdrec_t*>(found[k]);
        int32_t num = rec != nullptr ? rec->num : number(views[k]);
        if (num == 0) return false;
        XMLappendCell(&entry.cells, static_cast<uint32_t>(num));
      }
      entry.spans.push_back({node, begin, static_cast<uint32_t>(entry.cells.size())});
    }
    return true;
  }

 private:
  // A word the table did not hold when the entry was looked up: it may have
  // been numbered since, earlier in the same entry. 0 when the numbers ran out.
  int32_t number(std::string_view w) {
    if (wrdrec_t* rec = words->find(w)) return rec->num;
    if (numbered >= kMaxNumber) return 0;
    return words->add(w, ++numbered, false)->num;
  }
};

}  // namespace

void DictIO::makeWrd() {
  UpdateScope scope(this);
  const std::string from = scope->current(".xml");
  PassFile xml = scope->read(".xml");
  PassFile ent = xml ? scope->create(".ent") : PassFile();
  if (!ent) return;
  long total = xml.size();
  ProgressMeter progress(total, output != 0, on_prog, on_prog_bar, 0.0, 0.5);
  XML reader;
  words.clear();
  entries.clear();
  if (output) fprintf(stderr, "Building %s...\n", wrdFile);
  reader.readHeader(xml.get());
  EntryPass pass{&words};
  XMLCellWriter cells = [&pass](const XMLEntry* e, std::string* out) { pass.entry.write(e, out); };
  std::string packed;
  long at = 0;  // write offset in the entry file
  int32_t count = 0;
  bool ok = true;
  // The reading runs ahead on a thread of its own (base/readahead.h), and
  // so does cutting each entry's words out of its text.
  FILE* in = xml.get();
  ReadAhead<EntryItem> ahead(
      [&reader, in](EntryItem& item) {
        if (!readEntry(&reader, in, &item)) return false;
        if (!item.tree) return true;
        item.views.reserve(kWordsAtFirst);
        item.runs.reserve(kWordsAtFirst / 2);
        item.gather(item.tree.get());
        return true;
      },
      kReadAheadEntries);
  EntryItem item;
  bool readFailed = false;
  while (ok && ahead.next(item)) {
    releaseMessages(item);
    readFailed = item.readFailed;
    if (!item.tree) continue;
    const XMLEntry* tree = item.tree.get();
    pass.entry.clear();
    if (count >= kMaxNumber) {
      ok = failPass(strprintf("%s holds more than %ld entries", from.c_str(), kMaxNumber));
    } else if (dtd->count == 0) {
      ok = failPass(strprintf("%s describes no element, so no entry of %s can be stored (lexorn -f "
                              "infers it again)", dtd->dtdName.c_str(), from.c_str()));
    } else if (!pass.numberTree(item)) {
      ok = failPass(strprintf("%s holds more than %ld distinct words", from.c_str(), kMaxNumber));
    } else if (at > INT32_MAX) {
      ok = failPass(strprintf("%s would grow beyond %d bytes", entFile, INT32_MAX));
    }
    if (!ok) break;
    entPos.emplace_hint(entPos.end(), ++count, static_cast<int32_t>(at));
    std::sort(pass.entry.spans.begin(), pass.entry.spans.end());
    packed.clear();
    XMLpackEntry(tree, cells, dtd, &packed);
    if (fwrite(packed.data(), 1, packed.size(), ent.get()) != packed.size()) break;  // told at close
    at += static_cast<long>(packed.size());
    progress.at(item.position);
  }
  if (ok && readFailed) ok = failPass(strprintf("Could not read %s", from.c_str()));
  scope->close(ent, ".ent");
  if (pass.clipped > 0)
    errorf("Error: %ld words longer than %d bytes were cut to their first %d bytes.\n",
           pass.clipped, kMaxWordLength, kMaxWordLength);
  makeRWrd();
  makeREid();
  if (output) {
    printf("%s%d words.\n", kClearLine, words.size());
    printf("%s%d entries.\n", kClearLine, static_cast<int>(entPos.size()));
  }
}
