#include "base/changedfile.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <utility>
#include <vector>

#include "base/fdio.h"

struct ChangedFile::State {
  int old = -1;          // the old version, read to compare
  long same = 0;         // bytes written so far, all equal to the old version's
  std::function<FILE*()> create;
  FILE* out = nullptr;   // the new file, once made
  bool made = false;
  bool failed = false;
  std::vector<unsigned char> scratch = std::vector<unsigned char>(1 << 16);

  // Whether the n bytes at `p` are the old version's next ones.
  bool matches(const char* p, size_t n) {
    while (n > 0) {
      const size_t piece = std::min(n, scratch.size());
      if (old < 0 || !fd_read_at(old, scratch.data(), piece, same)) return false;
      if (memcmp(scratch.data(), p, piece) != 0) return false;
      same += static_cast<long>(piece);
      p += piece;
      n -= piece;
    }
    return true;
  }

  // Makes the new file and gives it the old version's matching part.
  bool make() {
    made = true;
    out = create();
    if (out == nullptr) return !(failed = true);
    for (long at = 0; at < same && !failed;) {
      const size_t piece =
          static_cast<size_t>(std::min<long>(same - at, static_cast<long>(scratch.size())));
      failed = !fd_read_at(old, scratch.data(), piece, at) ||
               fwrite(scratch.data(), 1, piece, out) != piece;
      at += static_cast<long>(piece);
    }
    return !failed;
  }

  bool write(const char* p, size_t n) {
    if (!made) {
      const long before = same;
      if (matches(p, n)) return true;
      // Part of this piece may have matched: it is written with the rest.
      same = before;
      if (!make()) return false;
    }
    if (out == nullptr || fwrite(p, 1, n, out) != n) failed = true;
    return !failed;
  }

  long oldSize() const {
    const off_t end = old < 0 ? -1 : lseek(old, 0, SEEK_END);
    return static_cast<long>(end);
  }
};

ssize_t ChangedFile::writeCookie(void* state, const char* p, size_t n) {
  return static_cast<State*>(state)->write(p, n) ? static_cast<ssize_t>(n) : 0;
}

ChangedFile::ChangedFile(const std::string& oldPath, std::function<FILE*()> create)
    : s_(std::make_unique<State>()) {
  s_->create = std::move(create);
  s_->old = open(oldPath.c_str(), O_RDONLY | O_CLOEXEC);
#ifdef __GLIBC__
  cookie_io_functions_t io{};
  io.write = writeCookie;
  stream_ = fopencookie(s_.get(), "w", io);
  if (stream_ != nullptr) {
    setvbuf(stream_, nullptr, _IOFBF, 1 << 16);
    return;
  }
#endif
  if (s_->make()) stream_ = s_->out;
}

ChangedFile::~ChangedFile() {
  if (stream_ != nullptr && stream_ != s_->out) fclose(stream_);
  if (s_->old >= 0) ::close(s_->old);
}

bool ChangedFile::finish(bool mayKeepOld) {
  if (stream_ != nullptr && stream_ != s_->out) {
    if (fclose(stream_) != 0) s_->failed = true;
    stream_ = nullptr;
  }
  if (s_->made) return false;
  if (mayKeepOld && !s_->failed && s_->same == s_->oldSize()) return true;
  s_->make();
  return false;
}

bool ChangedFile::failed() const { return s_->failed; }
