// WidChain: a defensive walk over one word's chain of chunks in a ".wid"
// file.
//
// A chunk is int32 n (at least 1), n int32 occurrence codes, and an int32
// link to the word's next chunk (0 ends the chain). A chunk is always
// written after the chunk that links to it, so the walk requires every link
// to point past the chunk holding it: a damaged file cannot make it loop.
// Every count and offset is checked against the file's size; damage is
// reported as one "Error: ..." line naming the file, and the walk then fails.
//
// The file is read through its descriptor (mapped into memory when it can
// be, else at absolute offsets), so the stream's own position is left
// alone. The size is measured when the object is made: call remeasure()
// after the file has grown, flush writes made through the stream before the
// next walk, and do not shorten the file while the object lives. A chain
// object can also walk bytes already in memory (a mapped file it borrows).
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

class WidChain {
 public:
  // Receives each code in chain order and the file offset where it is
  // stored; returns false to end the walk early.
  using Visit = std::function<bool(int32_t code, long offset)>;

  // `f` is open for reading; `name` names it in messages.
  WidChain(FILE* f, const char* name);
  // Walks the `size` bytes at `bytes`, which outlive the object.
  WidChain(const unsigned char* bytes, size_t size, const char* name);
  ~WidChain();
  WidChain(const WidChain&) = delete;
  WidChain& operator=(const WidChain&) = delete;

  // Walks the chain that starts at `chunk`; -1 means the word has no
  // occurrences (nothing is visited). True when the chain ended (link 0) or
  // `visit` stopped it; false after an "Error: ..." line.
  bool walk(int32_t chunk, const Visit& visit);

  // The same walk a chunk at a time: `visit` receives the n (at least 1)
  // codes of each chunk as stored (n little-endian int32s at `codes`, valid
  // during the call) and the offset of the first; false ends the walk.
  using ChunkVisit = std::function<bool(const unsigned char* codes, long n, long offset)>;
  bool walkChunks(int32_t chunk, const ChunkVisit& visit);

  // Offset of the link field of the last chunk the latest walk read; -1
  // when it read none.
  long lastLink() const { return lastLink_; }

  void remeasure();
  long fileSize() const { return size_; }

  // Lets go of the pages of its own mapping that walks have read so far:
  // the file stays mapped and later walks read them again. A pass that
  // walks every chain of a large file calls it now and then, so that its
  // memory does not grow by the whole file. Nothing for bytes it borrows.
  void releasePages();

 private:
  // The n bytes at `offset`: in the mapping, or read into buf_.
  const unsigned char* bytesAt(long offset, size_t n);
  bool readAt(long offset, size_t n, unsigned char* out);
  bool damaged(const char* what, long offset, long value);
  void unmap();

  FILE* f_;
  std::string name_;
  long size_ = 0;
  long lastLink_ = -1;
  std::vector<unsigned char> buf_;
  const unsigned char* map_ = nullptr;  // the whole file, when mapped
  bool borrowed_ = false;                // map_ belongs to the caller
};
