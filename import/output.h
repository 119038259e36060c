// AtomicFile: writes a file under a temporary name in the directory of its
// final name and renames it into place only when it is complete, so that
// the final name never shows a half-written file, whatever happens to the
// writer (a kill leaves at most the temporary file behind).
//
// Writes are buffered; commit() flushes, syncs the data to disk, gives the
// file the permissions a newly created file would get (0666 less the umask)
// and renames it. Without `replace`, commit() refuses when the final name
// exists by then. Destroying an uncommitted AtomicFile removes the
// temporary file.
#pragma once

#include <string>
#include <string_view>

class AtomicFile {
 public:
  AtomicFile() = default;
  ~AtomicFile();
  AtomicFile(const AtomicFile&) = delete;
  AtomicFile& operator=(const AtomicFile&) = delete;

  // Creates the temporary file beside `finalPath`; false with error() set.
  bool open(const std::string& finalPath);
  // Buffers `bytes` (a megabyte or more at once goes straight to the file);
  // false with error() set once a write has failed.
  bool write(std::string_view bytes);
  // Moves the complete file to its final name; false with error() set (the
  // temporary file is then removed).
  bool commit(bool replace);
  // Drops the temporary file.
  void discard();

  const std::string& tempPath() const { return temp_; }
  const std::string& error() const { return error_; }

 private:
  bool flush();
  bool writeAll(std::string_view bytes);
  bool fail(const std::string& what);

  std::string final_;
  std::string temp_;
  std::string buffer_;
  std::string error_;
  int fd_ = -1;
};
