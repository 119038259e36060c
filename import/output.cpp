#include "import/output.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {
constexpr size_t kBufferSize = 1 << 20;
}

AtomicFile::~AtomicFile() { discard(); }

bool AtomicFile::fail(const std::string& what) {
  if (error_.empty()) error_ = what + ": " + std::strerror(errno);
  return false;
}

bool AtomicFile::open(const std::string& finalPath) {
  final_ = finalPath;
  std::string pattern = finalPath + ".tmp.XXXXXX";
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back('\0');
  fd_ = mkstemp(name.data());
  if (fd_ < 0) return fail("Could not create a temporary file beside " + finalPath);
  temp_ = name.data();
  buffer_.reserve(kBufferSize);
  return true;
}

bool AtomicFile::writeAll(std::string_view bytes) {
  const char* p = bytes.data();
  size_t left = bytes.size();
  while (left > 0 && error_.empty()) {
    ssize_t n = ::write(fd_, p, left);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return fail("Could not write " + temp_);
    p += n;
    left -= static_cast<size_t>(n);
  }
  return error_.empty();
}

bool AtomicFile::flush() {
  bool ok = writeAll(buffer_);
  buffer_.clear();
  return ok;
}

bool AtomicFile::write(std::string_view bytes) {
  if (fd_ < 0 || !error_.empty()) return false;
  if (buffer_.empty() && bytes.size() >= kBufferSize) return writeAll(bytes);
  buffer_.append(bytes);
  return buffer_.size() < kBufferSize || flush();
}

bool AtomicFile::commit(bool replace) {
  if (fd_ < 0) return false;
  mode_t mask = umask(0);
  umask(mask);
  bool ok = flush();
  if (ok && fchmod(fd_, 0666 & ~mask) != 0) ok = fail("Could not set the permissions of " + temp_);
  if (ok && fsync(fd_) != 0) ok = fail("Could not write " + temp_);
  if (::close(fd_) != 0 && ok) ok = fail("Could not write " + temp_);
  fd_ = -1;
  if (ok && !replace && access(final_.c_str(), F_OK) == 0) {
    error_ = final_ + " appeared while importing; it is left as it is";
    ok = false;
  }
  if (ok && rename(temp_.c_str(), final_.c_str()) != 0) ok = fail("Could not rename " + temp_ + " to " + final_);
  if (!ok) {
    unlink(temp_.c_str());
    temp_.clear();
    return false;
  }
  temp_.clear();
  return true;
}

void AtomicFile::discard() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  if (!temp_.empty()) unlink(temp_.c_str());
  temp_.clear();
}
