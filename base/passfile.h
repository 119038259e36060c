// PassFile: a stream that one pass reads or writes from end to end.
//
// It carries a real buffer of kBuffer bytes (the C library takes a buffer
// size only together with a buffer), reports a file it cannot open for
// reading with the standard message, and is closed when it goes. A written
// file is closed with close(), which checks that every byte reached it.
#pragma once

#include <cstdio>
#include <memory>
#include <string>

class PassFile {
 public:
  static constexpr size_t kBuffer = 1 << 16;

  PassFile() = default;
  ~PassFile();
  PassFile(PassFile&& other) noexcept;
  PassFile& operator=(PassFile&& other) noexcept;
  PassFile(const PassFile&) = delete;
  PassFile& operator=(const PassFile&) = delete;

  // Opens `path` for reading; after "Error: Could not open PATH." the
  // result is empty.
  static PassFile read(const std::string& path);
  // Creates `path` afresh for writing (and reading, with `readable`), as
  // fil_create does, buffered unless `buffered` is false (for a writer that
  // also reads and writes the file at offsets); empty, without a message,
  // when it cannot (errno says why).
  static PassFile create(const std::string& path, bool readable, bool buffered = true);
  // Takes over an open stream, giving it a buffer (`buffered`) or none.
  static PassFile adopt(FILE* f, bool buffered);

  explicit operator bool() const { return f_ != nullptr; }
  FILE* get() const { return f_; }
  // For the functions that take the stream by address.
  FILE** handle() { return &f_; }

  // The size of the file in bytes (-1 when it cannot be told); the
  // position is kept.
  long size() const;

  // Closes a written file: true when every byte reached it (no write
  // error, and the final flush and the close succeeded). Closing an empty
  // PassFile is false.
  bool close();

 private:
  void release();

  FILE* f_ = nullptr;
  std::unique_ptr<char[]> buf_;
};
