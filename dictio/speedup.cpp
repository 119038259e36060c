// The speed-up pass: one chunk per word, no unused words, no deleted entries.
//
// Both rewrites are staged in the update under way (dictio/update.h); the
// word tables change only once the new word index is written whole. A
// failure on the way fails the update, which leaves every file as it was.

#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "base/binio.h"
#include "base/error.h"
#include "base/files.h"
#include "base/map.h"
#include "base/passfile.h"
#include "base/progress.h"
#include "dictio/dictio.h"
#include "dictio/scope.h"
#include "dictio/update.h"
#include "dictio/widchain.h"
#include "xml/packed.h"

namespace {

// The new ".wid" file, buffered. Each word's chunk is finished (its count
// patched) while it is still in the buffer, so the buffer is handed to the
// file only between words.
class SpeedWriter {
 public:
  explicit SpeedWriter(FILE* f) : f_(f) {}

  long end() const { return written_ + static_cast<long>(buf_.size()); }
  bool failed() const { return failed_; }

  void put(int32_t v) {
    unsigned char b[4];
    store_i32(b, v);
    buf_.append(reinterpret_cast<char*>(b), 4);
  }

  // Appends those of the n stored codes at `codes` whose entry `live`
  // marks; returns how many.
  long putLive(const unsigned char* codes, long n, const std::vector<char>& live) {
    size_t at = buf_.size();
    buf_.resize(at + 4 * static_cast<size_t>(n));
    char* out = buf_.data() + at;
    long kept = 0;
    for (long i = 0; i < n; ++i) {
      const unsigned char* c = codes + 4 * i;
      const uint32_t e = load_u24(c);  // a code's entry: its low three bytes
      if (e < live.size() && live[e]) memcpy(out + 4 * kept++, c, 4);
    }
    buf_.resize(at + 4 * static_cast<size_t>(kept));
    return kept;
  }

  void patch(long at, int32_t v) {
    unsigned char b[4];
    store_i32(b, v);
    buf_.replace(static_cast<size_t>(at - written_), 4, reinterpret_cast<char*>(b), 4);
  }

  // Goes back to `at`, as a seek would: the bytes written past it stay in
  // the file until something overwrites them.
  void rewind(long at) {
    if (end() > extent_) extent_ = end();
    buf_.resize(static_cast<size_t>(at - written_));
  }

  void betweenWords() {
    if (buf_.size() >= kFlushAt) flush();
  }

  void finish() {
    if (extent_ > end()) buf_.append(static_cast<size_t>(extent_ - end()), '\0');
    flush();
  }

 private:
  static constexpr size_t kFlushAt = 1 << 20;

  void flush() {
    if (buf_.empty() || failed_) return;
    if (fwrite(buf_.data(), 1, buf_.size(), f_) != buf_.size()) failed_ = true;
    written_ += static_cast<long>(buf_.size());
    buf_.clear();
  }

  FILE* f_;
  std::string buf_;
  long written_ = 0;
  long extent_ = 0;
  bool failed_ = false;
};

// A word's new place, applied to its record once the new file stands.
struct NewChain {
  wrdrec_t* rec;
  int32_t chunk;  // -1: the word has no live occurrence left
  int32_t tailLink;
};

constexpr long kWordsBetweenReleases = 1 << 12;

struct WordStep {
  DictIO* d;
  WidChain* chain;
  SpeedWriter* out;
  ProgressMeter* progress;
  std::vector<char> live;  // by entry number: is_eid_del gives 0
  std::vector<NewChain> chains;
  long count = 0;
  bool failed = false;
};

std::vector<char> liveEntries(const DictIO* d) {
  std::vector<char> live(d->entPos.empty() ? 0 : static_cast<size_t>(d->entPos.rbegin()->first) + 1);
  for (const auto& [num, off] : d->entPos)
    if (num >= 0 && off >= 0) live[static_cast<size_t>(num)] = true;
  return live;
}

int forall_speedup(void*, void* val, void* arg) {
  auto* s = static_cast<WordStep*>(arg);
  auto* rec = static_cast<wrdrec_t*>(val);
  s->progress->at(++s->count);
  // The old file is mapped: without this, the pass would hold all of it.
  if (s->count % kWordsBetweenReleases == 0) s->chain->releasePages();
  long chunk = s->out->end();
  s->out->put(0);
  int32_t kept = 0;
  bool ok = s->chain->walkChunks(rec->chunk, [s, &kept](const unsigned char* codes, long n, long) {
    kept += static_cast<int32_t>(s->out->putLive(codes, n, s->live));
    return true;
  });
  if (!ok) {
    s->failed = true;
    return 0;
  }
  long tail = s->out->end();
  if (kept == 0) {
    s->out->rewind(chunk);
    s->chains.push_back({rec, -1, -1});
  } else {
    s->out->patch(chunk, kept);
    s->out->put(0);
    s->chains.push_back({rec, static_cast<int32_t>(chunk), static_cast<int32_t>(tail)});
  }
  s->out->betweenWords();
  return 1;
}

void applyChains(DictIO* d, const std::vector<NewChain>& chains) {
  for (const NewChain& c : chains) {
    if (c.chunk < 0) {
      map_dele(&d->idMap, map_ikey(c.rec->num));
      continue;
    }
    c.rec->chunk = c.chunk;
    c.rec->tailLink = c.tailLink;
  }
}

// The pass rewrites the index files in place of the old ones: a dictionary
// opened read-only, or found damaged, keeps its files exactly as they are.
bool mayRewrite(const DictIO& d) {
  if (!d.xmlFile) {
    errorf("Error: Dictionary is not open.\n");
    return false;
  }
  if (d.readOnly()) {
    errorf("Error: Dictionary %s is open read-only; it cannot be sped up.\n", d.getName().c_str());
    return false;
  }
  if (d.damaged) {
    errorf("Error: Dictionary %s is damaged; it cannot be sped up.\n", d.getName().c_str());
    return false;
  }
  return true;
}

}  // namespace

void DictIO::speedup() {
  if (!mayRewrite(*this)) return;
  UpdateScope scope(this);
  speedupWords(1);
  if (!scope.failed() && deletedEnts() == 1) speedupEnts();
}

void DictIO::speedupWords(int resave) {
  if (!mayRewrite(*this)) return;
  UpdateScope scope(this);
  // The new file is staged under the name the old one may have been read
  // from: `in` keeps the old one, which is all the walk needs.
  PassFile in = scope->read(".wid");
  PassFile outFile = in ? scope->create(".wid") : PassFile();
  if (!outFile) return;
  if (output) printf("Speeding up %s...\n", widFile);
  long total = map_size(&idMap);
  ProgressMeter progress(total, output != 0, on_prog, on_prog_bar, 0.0, 1.0);
  WidChain chain(in.get(), widFile);
  SpeedWriter out(outFile.get());
  WordStep step{this, &chain, &out, &progress, liveEntries(this), {}};
  step.chains.reserve(static_cast<size_t>(total));
  map_forall(&idMap, forall_speedup, &step);
  if (!step.failed) out.finish();
  bool written = scope->close(outFile, ".wid", !out.failed());
  if (output) printf("%s", kClearLine);
  if (step.failed || !written) {
    // The tables stay as the files on disk have them.
    if (step.failed) errorf("Error: Speeding up %s failed; the file is left as it was.\n", widFile);
    scope->fail();
    return;
  }
  applyChains(this, step.chains);
  if (resave != 0) {
    makeNWrd();
    saveWrd();
  }
}

int DictIO::deletedEnts() { return entries.dropDeleted() ? 1 : 0; }

void DictIO::speedupEnts() {
  if (!mayRewrite(*this)) return;
  UpdateScope scope(this);
  PassFile inFile = scope->read(".ent");
  PassFile out = inFile ? scope->create(".ent") : PassFile();
  if (!out) return;
  FILE* in = inFile.get();
  long total = static_cast<long>(entPos.size());
  ProgressMeter progress(total, output != 0, on_prog, on_prog_bar, 0.0, 1.0);
  if (output) printf("Speeding up %s...\n", entFile);
  long inSize = inFile.size();
  OrdMap newPos;
  newPos.reserve(entPos.size());
  std::string bytes;
  long written = 0, count = 0;
  bool ok = true;
  for (const auto& [num, off] : entPos) {
    ++count;
    // An empty packed entry shares its offset with the entry after it.
    bool empty = off == inSize || !entries.ownsItsOffset(num);
    bytes.clear();
    if (!empty && (fseek(in, off, SEEK_SET) != 0 || !XMLcopyPackEntry(in, &idMap, &bytes))) {
      errorf("Error: Entry %d of %s cannot be read; it is dropped.\n", num, entFile);
      continue;
    }
    if (written + static_cast<long>(bytes.size()) > INT32_MAX) {
      ok = failPass(strprintf("%s would grow beyond %d bytes", entFile, INT32_MAX));
      break;
    }
    newPos.emplace_hint(newPos.end(), num, static_cast<int32_t>(written));
    if (fwrite(bytes.data(), 1, bytes.size(), out.get()) != bytes.size()) break;  // told at close
    written += static_cast<long>(bytes.size());
    progress.at(count);
  }
  if (output) printf("%s%d entries\n", kClearLine, static_cast<int>(newPos.size()));
  if (!scope->close(out, ".ent")) ok = false;
  if (!ok) {
    if (output) printf("%s", kClearLine);
    return;
  }
  entPos.swap(newPos);
  makeREid();
  saveEid();
  if (output) printf("%s", kClearLine);
}
