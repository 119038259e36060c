#include "dictio/widwriter.h"

#include <algorithm>
#include <climits>
#include <string>
#include <utility>
#include <vector>

#include "base/binio.h"
#include "base/fdio.h"

namespace {

// Least significant digit first, a byte a pass, from byte `first` of the
// keys up; a byte that every key shares costs no pass. The sort is stable:
// keys equal in the bytes sorted keep their order.
void radixSort(std::vector<uint64_t>* keys, std::vector<uint64_t>* scratch, int first = 0) {
  size_t n = keys->size();
  if (n < 1024) {
    std::sort(keys->begin(), keys->end());
    return;
  }
  std::vector<size_t> counts(8 * 256);
  for (uint64_t k : *keys)
    for (int d = first; d < 8; ++d) ++counts[d * 256 + ((k >> (8 * d)) & 0xFF)];
  scratch->resize(n);
  uint64_t* from = keys->data();
  uint64_t* to = scratch->data();
  for (int d = first; d < 8; ++d) {
    size_t* c = &counts[d * 256];
    if (c[(from[0] >> (8 * d)) & 0xFF] == n) continue;
    size_t sum = 0;
    for (int i = 0; i < 256; ++i) {
      size_t here = c[i];
      c[i] = sum;
      sum += here;
    }
    for (size_t i = 0; i < n; ++i) to[c[(from[i] >> (8 * d)) & 0xFF]++] = from[i];
    std::swap(from, to);
  }
  if (from != keys->data()) std::copy(from, from + n, keys->data());
}

// Chunks go through a memory buffer that is handed to the file in large
// pieces. A link that belongs to a chunk still in the buffer is patched
// there; links in the file are collected and patched together after each
// batch (applyPatches), block by block where they lie close together.
class ChunkWriter {
 public:
  // `f` is unbuffered: links are patched at offsets through its descriptor.
  explicit ChunkWriter(FILE* f) : f_(f) {}

  long end() const { return written_ + static_cast<long>(buf_.size()); }
  bool failed() const { return failed_; }
  bool tooLarge() const { return tooLarge_; }

  // Appends one chunk for `rec` with the codes in the low halves of
  // `cells`, and links it to the word's chain.
  void chunk(wrdrec_t* rec, const uint64_t* cells, size_t n, bool append) {
    long here = end();
    long link = here + 4 + 4 * static_cast<long>(n);
    if (link + 4 > INT32_MAX) {
      tooLarge_ = true;
      return;
    }
    if (append)
      patch(rec->tailLink, static_cast<int32_t>(here));
    else
      rec->chunk = static_cast<int32_t>(here);
    size_t at = buf_.size();
    buf_.resize(at + 4 * (n + 2));
    auto* p = reinterpret_cast<unsigned char*>(buf_.data() + at);
    store_i32(p, static_cast<int32_t>(n));
    for (size_t i = 0; i < n; ++i)
      store_i32(p + 4 * (i + 1), static_cast<int32_t>(static_cast<uint32_t>(cells[i])));
    store_i32(p + 4 * (n + 1), 0);
    rec->tailLink = static_cast<int32_t>(link);
    if (buf_.size() >= kFlushAt) flush();
  }

  // Gives back the room of the buffer and of the links; nothing is pending.
  void releaseRoom() {
    std::string().swap(buf_);
    std::vector<uint64_t>().swap(patches_);
    std::vector<uint64_t>().swap(scratch_);
  }

  void flush() {
    if (buf_.empty() || failed_) return;
    if (fwrite(buf_.data(), 1, buf_.size(), f_) != buf_.size()) failed_ = true;
    written_ += static_cast<long>(buf_.size());
    buf_.clear();
  }

  // Writes the links collected for chunks already in the file. Every field
  // of the file is 4 bytes at a multiple of 4, so no link straddles a block.
  void applyPatches() {
    // By offset: each link is written once, so the offsets are distinct.
    radixSort(&patches_, &scratch_, 4);
    auto at = [this](size_t k) { return static_cast<long>(patches_[k] >> 32); };
    auto value = [this](size_t k) {
      return static_cast<int32_t>(static_cast<uint32_t>(patches_[k]));
    };
    std::vector<unsigned char> block(kBlock);
    for (size_t i = 0; i < patches_.size() && !failed_;) {
      long start = at(i) / kBlock * kBlock;
      long stop = std::min(start + kBlock, written_);
      size_t j = i;
      while (j < patches_.size() && at(j) < stop) ++j;
      if (j - i >= kDense) {
        size_t len = static_cast<size_t>(stop - start);
        failed_ = !readAt(block.data(), len, start);
        for (size_t k = i; k < j && !failed_; ++k)
          store_i32(block.data() + (at(k) - start), value(k));
        if (!failed_) failed_ = !writeAt(block.data(), len, start);
      } else {
        for (size_t k = i; k < j && !failed_; ++k) {
          unsigned char b[4];
          store_i32(b, value(k));
          failed_ = !writeAt(b, 4, at(k));
        }
      }
      i = j;
    }
    patches_.clear();
  }

 private:
  static constexpr size_t kFlushAt = 1 << 20;
  static constexpr long kBlock = 16384;
  // From this many links in one block on, the block is read and rewritten
  // whole rather than written link by link.
  static constexpr size_t kDense = 4;

  void patch(long at, int32_t v) {
    if (at >= written_) {
      unsigned char b[4];
      store_i32(b, v);
      buf_.replace(static_cast<size_t>(at - written_), 4, reinterpret_cast<char*>(b), 4);
      return;
    }
    patches_.push_back(static_cast<uint64_t>(at) << 32 | static_cast<uint32_t>(v));
  }

  bool readAt(unsigned char* p, size_t n, long at) { return fd_read_at(fileno(f_), p, n, at); }
  bool writeAt(const unsigned char* p, size_t n, long at) { return fd_write_at(fileno(f_), p, n, at); }

  FILE* f_;
  std::string buf_;
  long written_ = 0;
  std::vector<uint64_t> patches_;  // offset << 32 | link, offsets below 2^31
  std::vector<uint64_t> scratch_;  // for sorting them
  bool failed_ = false;
  bool tooLarge_ = false;
};

// The codes gathered since the last flush, as (word << 32 | code); sorted,
// they come in ascending word number and, per word, ascending code.
struct Batch {
  std::vector<uint64_t> cells;
  std::vector<uint64_t> scratch;  // for sorting
  long unknown = 0;  // codes of word numbers missing from the word list
  // Entries are read in the order of their numbers unless edits appended
  // some: then the entry bytes of the codes must be sorted too.
  uint32_t lastEntry = 0;
  bool entriesInOrder = true;

  void add(uint64_t cell) {
    uint32_t e = static_cast<uint32_t>(cell) & 0xFFFFFF;
    if (e < lastEntry) entriesInOrder = false;
    lastEntry = e;
    cells.push_back(cell);
  }
};

}  // namespace

struct WidWriter::State {
  State(FILE* f, long maxEnt, RecordOf recordOf)
      : out(f), maxEnt(maxEnt), recordOf(std::move(recordOf)) {}

  // Sorts the batch and writes a chunk for each word in it.
  void flush() {
    auto& cells = batch.cells;
    // A code is tag << 24 | entry. Came the entries in ascending order, a
    // stable sort by word and tag leaves each word's codes of one tag in
    // entry order already: the three entry bytes need no pass.
    radixSort(&cells, &batch.scratch, batch.entriesInOrder ? 3 : 0);
    batch.lastEntry = 0;
    batch.entriesInOrder = true;
    cells.erase(std::unique(cells.begin(), cells.end()), cells.end());
    for (size_t i = 0; i < cells.size() && !out.tooLarge();) {
      uint32_t word = static_cast<uint32_t>(cells[i] >> 32);
      size_t j = i;
      while (j < cells.size() && static_cast<uint32_t>(cells[j] >> 32) == word) ++j;
      wrdrec_t* rec = recordOf(word);
      if (rec == nullptr)
        batch.unknown += static_cast<long>(j - i);
      else
        out.chunk(rec, cells.data() + i, j - i, rec->tailLink >= 0);
      i = j;
    }
    cells.clear();
    out.applyPatches();
  }

  ChunkWriter out;
  Batch batch;
  long maxEnt;
  RecordOf recordOf;
  long counter = 0;
  uint32_t tooLargeAt = 0;
};

WidWriter::WidWriter(FILE* f, long maxEnt, RecordOf recordOf, size_t expectedCells)
    : s_(std::make_unique<State>(f, maxEnt, std::move(recordOf))) {
  s_->batch.cells.reserve(maxEnt > 0 ? std::min<size_t>(static_cast<size_t>(maxEnt), expectedCells)
                                     : expectedCells);
}

WidWriter::~WidWriter() = default;

void WidWriter::add(uint64_t cell) {
  s_->batch.add(cell);
  if (++s_->counter != s_->maxEnt) return;
  const bool wasTooLarge = s_->out.tooLarge();
  s_->flush();
  s_->counter = 0;
  if (!wasTooLarge && s_->out.tooLarge()) s_->tooLargeAt = static_cast<uint32_t>(cell) & 0xFFFFFF;
}

void WidWriter::finish() {
  s_->flush();
  s_->out.flush();
  // What is left to do with the tables needs the room more.
  std::vector<uint64_t>().swap(s_->batch.cells);
  std::vector<uint64_t>().swap(s_->batch.scratch);
  s_->out.releaseRoom();
}

bool WidWriter::failed() const { return s_->out.failed(); }
bool WidWriter::tooLarge() const { return s_->out.tooLarge(); }
uint32_t WidWriter::tooLargeAt() const { return s_->tooLargeAt; }
long WidWriter::unknown() const { return s_->batch.unknown; }
