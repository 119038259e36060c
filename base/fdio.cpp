#include "base/fdio.h"

#include <unistd.h>

#include <cerrno>

bool fd_read_at(int fd, void* to, size_t n, off_t at, size_t* done) {
  auto* p = static_cast<unsigned char*>(to);
  size_t got = 0;
  while (got < n) {
    ssize_t r = pread(fd, p + got, n - got, at + static_cast<off_t>(got));
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) break;
    got += static_cast<size_t>(r);
  }
  if (done != nullptr) *done = got;
  return got == n;
}

bool fd_write_at(int fd, const void* from, size_t n, off_t at) {
  auto* p = static_cast<const unsigned char*>(from);
  while (n > 0) {
    ssize_t r = pwrite(fd, p, n, at);
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) return false;
    p += r;
    n -= static_cast<size_t>(r);
    at += r;
  }
  return true;
}
