#include "base/passfile.h"

#include "base/error.h"
#include "base/files.h"

PassFile::~PassFile() { release(); }

PassFile::PassFile(PassFile&& other) noexcept : f_(other.f_), buf_(std::move(other.buf_)) {
  other.f_ = nullptr;
}

PassFile& PassFile::operator=(PassFile&& other) noexcept {
  if (this != &other) {
    release();
    f_ = other.f_;
    buf_ = std::move(other.buf_);
    other.f_ = nullptr;
  }
  return *this;
}

void PassFile::release() {
  // The stream goes before its buffer.
  if (f_ != nullptr) fclose(f_);
  f_ = nullptr;
  buf_.reset();
}

PassFile PassFile::adopt(FILE* f, bool buffered) {
  PassFile p;
  p.f_ = f;
  if (f != nullptr && buffered) {
    p.buf_ = std::make_unique<char[]>(kBuffer);
    setvbuf(f, p.buf_.get(), _IOFBF, kBuffer);
  }
  return p;
}

PassFile PassFile::read(const std::string& path) {
  FILE* f = fopen(path.c_str(), "rb");
  if (f == nullptr) errorf("Error: Could not open %s.\n", path.c_str());
  return adopt(f, true);
}

PassFile PassFile::create(const std::string& path, bool readable, bool buffered) {
  FILE* f = fil_create(path.c_str(), readable);
  if (f != nullptr && !buffered) setvbuf(f, nullptr, _IONBF, 0);
  return adopt(f, buffered);
}

long PassFile::size() const {
  if (f_ == nullptr) return -1;
  long here = ftell(f_);
  long end = fseek(f_, 0, SEEK_END) == 0 ? ftell(f_) : -1;
  if (here >= 0) fseek(f_, here, SEEK_SET);
  return end;
}

bool PassFile::close() {
  if (f_ == nullptr) return false;
  bool ok = fil_close(f_);
  f_ = nullptr;
  buf_.reset();
  return ok;
}
