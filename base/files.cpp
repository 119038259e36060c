#include "base/files.h"

#include <sys/stat.h>

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
