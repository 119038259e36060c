// ChangedFile: a new version of a file, made only if it differs.
//
// What is written is compared with the old version as it comes; while it
// matches, nothing is written anywhere. At the first difference (or when
// the new version ends short of the old one) the new file is made by
// `create`, given the part of the old version that matched, and written
// from then on. A pass that rewrites a file which is usually in the form it
// writes already thus neither writes nor replaces it. Under the GNU C
// library the stream is an ordinary FILE* (fopencookie); elsewhere the new
// file is made at once.
#pragma once

#include <sys/types.h>

#include <cstdio>
#include <functional>
#include <memory>
#include <string>

class ChangedFile {
 public:
  // `oldPath` is read to compare and must not change meanwhile. `create`
  // makes the new file and returns its stream, or null (having reported).
  ChangedFile(const std::string& oldPath, std::function<FILE*()> create);
  ~ChangedFile();
  ChangedFile(const ChangedFile&) = delete;
  ChangedFile& operator=(const ChangedFile&) = delete;

  // Where to write; null when not even the new file could be made.
  FILE* stream() const { return stream_; }
  // Ends the writing. True when everything written matched the whole old
  // version and `mayKeepOld`: no new file was made. Otherwise the new file
  // has been made and holds everything written (see failed()).
  bool finish(bool mayKeepOld);
  // Making the new file, or a write to it, failed.
  bool failed() const;

 private:
  struct State;
  static ssize_t writeCookie(void* state, const char* p, size_t n);

  std::unique_ptr<State> s_;
  FILE* stream_ = nullptr;
};
