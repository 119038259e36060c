// MappedFile: the bytes of a file in memory, read-only.
//
// The file is mapped where the system allows it, else read whole. The bytes
// stay as they were when the file was opened for as long as the object
// lives: a build that replaces the file (by a rename) leaves this one
// alone. A file shortened in place under a mapping is not provided for;
// this library never does that.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "base/files.h"

class MappedFile {
 public:
  MappedFile() = default;
  ~MappedFile();
  MappedFile(const MappedFile&) = delete;
  MappedFile& operator=(const MappedFile&) = delete;

  // Maps `path` (or, with `copy`, reads it whole into memory: what is read
  // once is safest copied); false after "Error: Could not open PATH." or
  // "Error: Could not read PATH." (the object is then empty).
  bool open(const std::string& path, bool copy = false);
  void close();

  const unsigned char* data() const { return data_; }
  size_t size() const { return size_; }
  // Which file was opened, to know it again under its name.
  const fil_id& id() const { return id_; }

 private:
  const unsigned char* data_ = nullptr;
  size_t size_ = 0;
  bool mapped_ = false;
  std::vector<unsigned char> copy_;  // the bytes, where mapping failed
  fil_id id_;
};
