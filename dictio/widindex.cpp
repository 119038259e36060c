// The word-to-entry pass: occurrence codes of every word, written to ".wid"
// as chains of chunks in batches of maxEnt codes (dictio/widwriter.h), read
// back from ".ent" or, in a forced build, fed by the entry pass
// (dictio/widfeed.h).


#include <climits>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "base/binio.h"
#include "base/error.h"
#include "base/files.h"
#include "base/map.h"
#include "base/passfile.h"
#include "base/progress.h"
#include "base/readahead.h"
#include "dictio/dictio.h"
#include "dictio/scope.h"
#include "dictio/update.h"
#include "dictio/widfeed.h"
#include "dictio/widwriter.h"
#include "xml/packed.h"

namespace {

int forall_no_chain(void*, void* val, void*) {
  auto* rec = static_cast<wrdrec_t*>(val);
  rec->chunk = -1;
  rec->tailLink = -1;
  return 1;
}

// The word records by number, for the pass's many lookups by number. Word
// numbers are dense, so a number nearly always sits in its own start slot
// of the table by number: one look there, and a probe only when it does not.
class RecordsByNumber {
 public:
  explicit RecordsByNumber(map_t* idMap) : ids_(idMap) {}
  wrdrec_t* operator()(uint32_t word) const {
    void* key = map_ikey(static_cast<long>(word));
    if (ids_->cap > 0 && ids_->els != nullptr) {
      const mapel_t& el = ids_->els[ids_->gpos(ids_->cap, key)];
      if (el.key == key) return static_cast<wrdrec_t*>(el.val);
    }
    return static_cast<wrdrec_t*>(map_get(ids_, key));
  }

 private:
  map_t* ids_;
};

// Entries read back from ".ent" on a thread of their own (base/readahead.h),
// a run of them at a time: their occurrence cells, as (word << 32 | code),
// and where each entry ends, in cells and in bytes of the file.
struct EntryCodes {
  struct End {
    size_t cells;     // cells of this run up to the entry's end
    long position;    // bytes of ".ent" read by then
    bool readFailed;  // the file had failed by then
  };
  std::vector<uint64_t> cells;
  std::vector<End> ends;
};

// Cells of entries a run gathers before it is handed over.
constexpr size_t kCellsPerRun = 1 << 13;

// Reads entries into `run` until it holds kCellsPerRun cells or the file
// ends; false when there was nothing left to read.
bool readEntryCodes(FILE* ent, const EntryIndex& entries, EntryCodes* run) {
  while (run->cells.size() < kCellsPerRun && !feof(ent) && !ferror(ent)) {
    uint32_t e = static_cast<uint32_t>(entries.ownerOf(XMLpackPtrBytes()));
    long word = 0, tag = 0, cells = 0;
    while (XMLgetPackPtr(&ent, &word, &tag, &cells)) {
      uint32_t code = (static_cast<uint32_t>(tag) << 24) | (e & 0xFFFFFF);
      run->cells.push_back((static_cast<uint64_t>(word) << 32) | code);
    }
    run->ends.push_back({run->cells.size(), XMLpackPtrBytes(), ferror(ent) != 0});
  }
  return !run->ends.empty();
}

}  // namespace

void DictIO::makeWid() {
  if (widFeed_ != nullptr) return reportFedWid();
  UpdateScope scope(this);
  const std::string from = scope->current(".ent");
  PassFile entIn = scope->read(".ent");
  // Read as well as written, unbuffered: links are patched block by block.
  PassFile wid = entIn ? scope->create(".wid", true, false) : PassFile();
  if (!wid) return;
  FILE* ent = entIn.get();
  long total = entIn.size();
  ProgressMeter progress(total, output != 0, on_prog, on_prog_bar, 0.5, 0.5);
  progress.setFlush(output != 0);
  if (output) fprintf(stderr, "Building %s...\n", widFile);
  // The file is written afresh: no chain of an earlier one stays reachable.
  map_forall(&idMap, forall_no_chain, nullptr);
  WidWriter out(wid.get(), maxEnt, RecordsByNumber(&idMap), static_cast<size_t>(total / 3 + 1));
  bool readFailed = false;
  XMLresetPackPtr();
  {
    // Reading and decoding run ahead on a thread; sorting and writing stay
    // here, each batch flushed after the same cell as ever.
    ReadAhead<EntryCodes> ahead(
        [ent, this](EntryCodes& run) { return readEntryCodes(ent, entries, &run); }, 4, 2);
    EntryCodes run;
    while (!out.tooLarge() && ahead.next(run)) {
      size_t k = 0;
      for (const EntryCodes::End& end : run.ends) {
        for (; k < end.cells; ++k) out.add(run.cells[k]);
        progress.at(end.position);
        readFailed = end.readFailed;
        if (out.tooLarge()) break;
      }
    }
  }
  out.finish();
  scope->close(wid, ".wid", !out.failed());
  widPassEnds(readFailed, out.tooLarge(), out.unknown(), from);
}

void DictIO::reportFedWid() {
  WidFeed* fed = widFeed_;
  UpdateScope scope(this);
  fed->finish();
  const WidWriter& out = fed->writer();
  const std::string from = scope->current(".ent");
  long total = fil_size(from.c_str());
  ProgressMeter progress(total, output != 0, on_prog, on_prog_bar, 0.5, 0.5);
  progress.setFlush(output != 0);
  if (output) fprintf(stderr, "Building %s...\n", widFile);
  // The progress a pass over the entry file reports: at the end of each
  // entry with bytes, up to the one whose batch found the file too large.
  long start = -1;
  int32_t num = 0;
  auto ended = [&](long end) {
    if (start < 0 || end <= start) return true;
    progress.at(end);
    return !(out.tooLarge() && static_cast<uint32_t>(num) == out.tooLargeAt());
  };
  bool more = true;
  for (auto it = entPos.begin(); more && it != entPos.end(); ++it) {
    more = ended(it->second);
    start = it->second;
    num = it->first;
  }
  if (more) ended(total);
  scope->close(fed->file(), ".wid", !out.failed());
  widPassEnds(false, out.tooLarge(), out.unknown(), from);
}

void DictIO::widPassEnds(bool readFailed, bool tooLarge, long unknown, const std::string& from) {
  if (readFailed)
    failPass(strprintf("Could not read %s", from.c_str()));
  else if (tooLarge)
    failPass(strprintf("%s would grow beyond %d bytes", widFile, INT32_MAX));
  else if (unknown > 0)
    failPass(strprintf("%s holds %ld occurrences of word numbers missing from %s", entFile,
                       unknown, wrdFile));
  if (output) printf("%s", kClearLine);
}

long DictIO::widWriteWords(long num, const std::set<int32_t>& codes, long prevLink, int append,
                           FILE** f) {
  if (codes.empty()) return 0;
  auto* rec = static_cast<wrdrec_t*>(map_get(&idMap, map_ikey(num)));
  if (rec == nullptr) {
    errorf("Error: Word number %ld is not in the word list.\n", num);
    return 0;
  }
  FILE* out = *f;
  fseek(out, 0, SEEK_END);
  long here = ftell(out);
  long link = here + 4 + 4 * static_cast<long>(codes.size());
  if (here < 0 || link + 4 > INT32_MAX) {
    errorf("Error: The word index would grow beyond %d bytes.\n", INT32_MAX);
    return 0;
  }
  if (append == 0) {
    rec->chunk = static_cast<int32_t>(here);
  } else {
    fseek(out, prevLink, SEEK_SET);
    put_i32(out, static_cast<int32_t>(here));
    fseek(out, here, SEEK_SET);
  }
  put_i32(out, static_cast<int32_t>(codes.size()));
  for (int32_t code : codes) put_i32(out, code);
  put_i32(out, 0);
  rec->tailLink = static_cast<int32_t>(link);
  return link;
}
