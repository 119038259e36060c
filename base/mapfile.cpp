#include "base/mapfile.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>


#include "base/error.h"
#include "base/fdio.h"

MappedFile::~MappedFile() { close(); }

void MappedFile::close() {
  if (mapped_) munmap(const_cast<unsigned char*>(data_), size_);
  data_ = nullptr;
  size_ = 0;
  mapped_ = false;
  copy_.clear();
  id_ = fil_id();
}

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
      if (!fd_read_at(fd, copy_.data(), size_, 0)) {
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
