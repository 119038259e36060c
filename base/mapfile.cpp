#include "base/mapfile.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "base/error.h"

MappedFile::~MappedFile() { close(); }

void MappedFile::close() {
  if (mapped_) munmap(const_cast<unsigned char*>(data_), size_);
  data_ = nullptr;
  size_ = 0;
  mapped_ = false;
  copy_.clear();
  id_ = fil_id();
}

namespace {

bool readWhole(int fd, std::vector<unsigned char>* out) {
  size_t done = 0;
  while (done < out->size()) {
    ssize_t r = read(fd, out->data() + done, out->size() - done);
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) return false;
    done += static_cast<size_t>(r);
  }
  return true;
}

}  // namespace

bool MappedFile::open(const std::string& path, bool copy) {
  close();
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  struct stat st;
  if (fd < 0 || fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
    if (fd >= 0) ::close(fd);
    errorf("Error: Could not open %s.\n", path.c_str());
    return false;
  }
  id_.dev = static_cast<unsigned long long>(st.st_dev);
  id_.ino = static_cast<unsigned long long>(st.st_ino);
  size_ = static_cast<size_t>(st.st_size);
  if (size_ > 0) {
    void* p = copy ? MAP_FAILED : mmap(nullptr, size_, PROT_READ, MAP_SHARED, fd, 0);
    if (p != MAP_FAILED) {
      data_ = static_cast<const unsigned char*>(p);
      mapped_ = true;
    } else {
      copy_.resize(size_);
      if (!readWhole(fd, &copy_)) {
        ::close(fd);
        close();
        errorf("Error: Could not read %s.\n", path.c_str());
        return false;
      }
      data_ = copy_.data();
    }
  }
  ::close(fd);
  return true;
}
