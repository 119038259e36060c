#include "base/files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

// Opens `path` for reading unless it names a directory, which the C library
// would open but which reads as neither a file nor its content.
FILE* openForReading(const char* path, const char* mode) {
  if (path == nullptr) return nullptr;
  FILE* f = fopen(path, mode);
  if (f == nullptr) return nullptr;
  struct stat st;
  if (fstat(fileno(f), &st) != 0 || S_ISDIR(st.st_mode)) {
    fclose(f);
    return nullptr;
  }
  return f;
}

bool sameFile(FILE* a, const char* path) {
  struct stat sa, sb;
  if (fstat(fileno(a), &sa) != 0 || stat(path, &sb) != 0) return false;
  return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

}  // namespace

int fil_exist(const char* path) {
  FILE* f = openForReading(path, "r");
  if (f == nullptr) return 0;
  fclose(f);
  return 1;
}

long fil_size(const char* path) {
  FILE* f = openForReading(path, "r");
  if (f == nullptr) return 0;
  long size = 0;
  if (fseek(f, 0, SEEK_END) == 0) size = ftell(f);
  fclose(f);
  return size < 0 ? 0 : size;
}

int fil_eofx(FILE* f) {
  if (f == nullptr) return 1;
  const long pos = ftell(f);
  if (pos < 0 || fseek(f, 0, SEEK_END) != 0) return feof(f) ? 1 : 0;
  const long end = ftell(f);
  if (pos >= end) return 1;
  fseek(f, pos, SEEK_SET);
  return 0;
}

int fil_copy(const char* src, const char* dst) {
  FILE* in = openForReading(src, "rb");
  if (in == nullptr) return 0;
  // Opening the source itself for writing would truncate it before the copy.
  if (dst == nullptr || sameFile(in, dst)) {
    fclose(in);
    return 0;
  }
  FILE* out = fopen(dst, "wb");
  if (out == nullptr) {
    fclose(in);
    return 0;
  }
  std::vector<char> buf(0x8000);
  bool ok = true;
  size_t n;
  while (ok && (n = fread(buf.data(), 1, buf.size(), in)) > 0) {
    ok = fwrite(buf.data(), 1, n, out) == n;
  }
  if (ferror(in)) ok = false;
  fclose(in);
  if (fclose(out) != 0) ok = false;
  return ok ? 1 : 0;
}

bool fil_replace(const char* from, const char* to) {
  return from != nullptr && to != nullptr && rename(from, to) == 0;
}

std::string fil_tempname(const std::string& path) {
  if (path.empty()) return "~";
  std::string t = path;
  t.back() = '~';
  return t;
}

std::string fil_real(const std::string& path) {
  struct stat st;
  if (lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return path;
  char* real = realpath(path.c_str(), nullptr);
  if (real == nullptr) return path;  // a dangling link: the name itself
  std::string out = real;
  free(real);
  return out;
}

FILE* fil_create(const char* path, bool readable) {
  if (path == nullptr) return nullptr;
  if (unlink(path) != 0 && errno != ENOENT) return nullptr;
  int flags = (readable ? O_RDWR : O_WRONLY) | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC;
  int fd = open(path, flags, 0666);
  if (fd < 0) return nullptr;
  FILE* f = fdopen(fd, readable ? "w+b" : "wb");
  if (f == nullptr) {
    int saved = errno;
    close(fd);
    unlink(path);
    errno = saved;
  }
  return f;
}

void fil_same_mode(FILE* f, const char* like) {
  struct stat st;
  if (f != nullptr && like != nullptr && stat(like, &st) == 0)
    fchmod(fileno(f), st.st_mode & 07777);
}

bool fil_keep_as(const char* from, const char* as) {
  if (from == nullptr || as == nullptr) return false;
  if (linkat(AT_FDCWD, from, AT_FDCWD, as, AT_SYMLINK_FOLLOW) == 0) return true;
  return fil_copy(from, as) == 1;
}

bool fil_close(FILE* f) {
  if (f == nullptr) return false;
  bool ok = ferror(f) == 0;
  if (fflush(f) != 0) ok = false;
  if (fclose(f) != 0) ok = false;
  return ok;
}

bool fil_write_whole(const std::string& path, bool (*write)(FILE* f, const void* arg),
                     const void* arg, std::string* why) {
  std::string real = fil_real(path);
  std::string tmp = fil_tempname(real);
  FILE* f = fil_create(tmp.c_str(), false);
  if (f == nullptr) {
    *why = "create " + tmp + " (" + strerror(errno) + ")";
    return false;
  }
  fil_same_mode(f, real.c_str());
  bool written = write(f, arg);
  if (!fil_close(f) || !written) {
    *why = "write " + tmp;
    unlink(tmp.c_str());
    return false;
  }
  if (rename(tmp.c_str(), real.c_str()) != 0) {
    *why = "rename " + tmp + " to " + real + " (" + strerror(errno) + ")";
    unlink(tmp.c_str());
    return false;
  }
  return true;
}

namespace {
fil_id idOf(const struct stat& st) {
  fil_id id;
  id.dev = static_cast<unsigned long long>(st.st_dev);
  id.ino = static_cast<unsigned long long>(st.st_ino);
  return id;
}
}  // namespace

bool fil_identify(const char* path, fil_id* id) {
  struct stat st;
  if (path == nullptr || stat(path, &st) != 0) return false;
  *id = idOf(st);
  return true;
}

bool fil_identify(FILE* f, fil_id* id) {
  struct stat st;
  if (f == nullptr || fstat(fileno(f), &st) != 0) return false;
  *id = idOf(st);
  return true;
}
