#include "dictio/widchain.h"

#include <sys/mman.h>

#include <algorithm>

#include "base/binio.h"
#include "base/error.h"
#include "base/fdio.h"

namespace {

// Without a mapping, most chunks are short: one read of this many bytes
// usually takes in the count, every code and the link at once.
constexpr size_t kProbe = 256;

}  // namespace

WidChain::WidChain(FILE* f, const char* name) : f_(f), name_(name ? name : "") { remeasure(); }

WidChain::WidChain(const unsigned char* bytes, size_t size, const char* name)
    : f_(nullptr), name_(name ? name : ""), size_(static_cast<long>(size)), map_(bytes), borrowed_(true) {}

WidChain::~WidChain() { unmap(); }

void WidChain::releasePages() {
  if (map_ != nullptr && !borrowed_)
    madvise(const_cast<unsigned char*>(map_), static_cast<size_t>(size_), MADV_DONTNEED);
}

void WidChain::unmap() {
  if (map_ != nullptr && !borrowed_) munmap(const_cast<unsigned char*>(map_), static_cast<size_t>(size_));
  map_ = nullptr;
}

void WidChain::remeasure() {
  if (borrowed_) return;
  unmap();
  size_ = 0;
  if (f_ == nullptr) return;
  long here = ftell(f_);
  if (fseek(f_, 0, SEEK_END) == 0) size_ = ftell(f_);
  if (here >= 0) fseek(f_, here, SEEK_SET);
  if (size_ <= 0) {
    size_ = 0;
    return;
  }
  // Chains are read at scattered offsets: a mapping saves a system call per
  // chunk. Writes through the descriptor stay visible in a shared mapping.
  void* p = mmap(nullptr, static_cast<size_t>(size_), PROT_READ, MAP_SHARED, fileno(f_), 0);
  if (p != MAP_FAILED) map_ = static_cast<const unsigned char*>(p);
}

bool WidChain::readAt(long offset, size_t n, unsigned char* out) {
  size_t done = 0;
  if (fd_read_at(fileno(f_), out, n, static_cast<off_t>(offset), &done)) return true;
  errorf("Error: Could not read %s at offset %ld.\n", name_.c_str(), offset + static_cast<long>(done));
  return false;
}

const unsigned char* WidChain::bytesAt(long offset, size_t n) {
  if (map_ != nullptr) return map_ + offset;
  if (buf_.size() < n) buf_.resize(n);
  return readAt(offset, n, buf_.data()) ? buf_.data() : nullptr;
}

bool WidChain::damaged(const char* what, long offset, long value) {
  errorf("Error: %s is damaged: %s (offset %ld, value %ld).\n", name_.c_str(), what, offset,
         value);
  return false;
}

bool WidChain::walk(int32_t chunk, const Visit& visit) {
  return walkChunks(chunk, [&visit](const unsigned char* codes, long n, long offset) {
    for (long i = 0; i < n; ++i)
      if (!visit(load_i32(codes + 4 * i), offset + 4 * i)) return false;
    return true;
  });
}

bool WidChain::walkChunks(int32_t chunk, const ChunkVisit& visit) {
  lastLink_ = -1;
  if (chunk == -1) return true;
  if (f_ == nullptr && !borrowed_) return false;
  long at = chunk;
  if (at < 0) return damaged("a chain starts at a negative offset", at, at);
  for (;;) {
    // A chunk needs its count, one code and its link.
    if (at > size_ - 12) return damaged("a chunk lies outside the file", at, size_);
    size_t probe = static_cast<size_t>(std::min<long>(kProbe, size_ - at));
    const unsigned char* p = bytesAt(at, probe);
    if (p == nullptr) return false;
    long n = load_i32(p);
    long room = (size_ - at - 8) / 4;
    if (n < 1 || n > room) return damaged("a chunk holds an impossible count", at, n);
    size_t need = static_cast<size_t>(8 + 4 * n);
    if (need > probe && (p = bytesAt(at, need)) == nullptr) return false;
    lastLink_ = at + 4 + 4 * n;
    if (!visit(p + 4, n, at + 4)) return true;
    long link = load_i32(p + 4 + 4 * n);
    if (link == 0) return true;
    // The next chunk was written after this one was complete.
    if (link < lastLink_ + 4) return damaged("a link does not point forward", lastLink_, link);
    at = link;
  }
}
