// Shared by the index tests: a small dictionary in a temporary directory,
// opened in-process, and the expected text of a pass's progress lines.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "base/map.h"
#include "base/progress.h"
#include "dictio/dictio.h"
#include "dtd/dtd.h"
#include "testutil.h"

namespace indextest {

// The progress lines a pass over `total` prints when it reports at each of
// `positions` in turn.
inline std::string progressText(long total, const std::vector<long>& positions) {
  std::string out;
  long step = total / 100, last = -2 * step;
  for (long c : positions) {
    if (c - last <= step) continue;
    out += kClearLine;
    out += "Progress: " +
           std::to_string(static_cast<int>(static_cast<double>(c) / static_cast<double>(total) * 100.0)) +
           "%";
    last = c;
  }
  return out;
}

inline std::vector<long> upTo(long n) {
  std::vector<long> v;
  for (long i = 1; i <= n; ++i) v.push_back(i);
  return v;
}

// A dictionary d in a fresh directory. open() infers the structure from
// d.xml (which rewrites it) and leaves the index passes to the test.
class Dict {
 public:
  explicit Dict(const std::string& xml) { testutil::writeFile(path(".xml"), xml); }

  std::string path(const std::string& suffix) const { return dir_.file("d" + suffix); }
  std::string read(const std::string& suffix) const { return testutil::readFile(path(suffix)); }
  void write(const std::string& suffix, const std::string& bytes) const {
    testutil::writeFile(path(suffix), bytes);
  }
  const testutil::TempDir& dir() const { return dir_; }

  DictIO* open(int maxEnt = 1000000) {
    delete io_;
    io_ = new DictIO();
    io_->setXMLName(path(".xml").c_str());
    io_->setMaxEnt(maxEnt);
    io_->output = 0;
    io_->dtd = new DTD(path(".xml"), false, 0, nullptr);
    return io_;
  }
  // open() and the full build: entry pass, word-to-entry pass, saves.
  DictIO* build(int maxEnt = 1000000) {
    open(maxEnt);
    io_->makeFid(1);
    return io_;
  }
  void close() {
    delete io_;
    io_ = nullptr;
  }
  ~Dict() { close(); }

  wrdrec_t* word(const char* w) { return static_cast<wrdrec_t*>(map_get(&io_->wordMap, const_cast<char*>(w))); }
  wrdrec_t* wordNum(long n) { return static_cast<wrdrec_t*>(map_get(&io_->idMap, map_ikey(n))); }

 private:
  testutil::TempDir dir_;
  DictIO* io_ = nullptr;
};

// Little-endian helpers for expected bytes.
inline std::string le32(uint32_t v) {
  std::string s(4, '\0');
  for (int i = 0; i < 4; ++i) s[i] = static_cast<char>((v >> (8 * i)) & 0xFF);
  return s;
}
inline std::string le24(uint32_t v) { return le32(v).substr(0, 3); }
inline uint32_t code(uint32_t tag, uint32_t entry) { return (tag << 24) | entry; }

}  // namespace indextest
