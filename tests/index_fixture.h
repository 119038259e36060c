// Shared by the tests of the whole library: small dictionaries in temporary
// directories (opened in-process, or built by the lexorn program), the
// expected text of a pass's progress lines and expected index bytes.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

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
    io_ = std::make_unique<DictIO>();
    io_->setXMLName(path(".xml").c_str());
    io_->setMaxEnt(maxEnt);
    io_->output = 0;
    io_->dtd = new DTD(path(".xml"), false, 0, nullptr);
    return io_.get();
  }
  // open() and the full build: entry pass, word-to-entry pass, saves.
  DictIO* build(int maxEnt = 1000000) {
    open(maxEnt);
    io_->makeFid(1);
    return io_.get();
  }

  wrdrec_t* word(const char* w) { return static_cast<wrdrec_t*>(map_get(&io_->wordMap, const_cast<char*>(w))); }
  wrdrec_t* wordNum(long n) { return static_cast<wrdrec_t*>(map_get(&io_->idMap, map_ikey(n))); }

 private:
  testutil::TempDir dir_;
  std::unique_ptr<DictIO> io_;
};

// A dictionary d built by the lexorn program, with `flags`, from d.xml and
// (when not empty) d.def in a fresh directory.
struct Built {
  testutil::TempDir dir;
  Built(const std::string& xml, const std::string& def = "", const std::vector<std::string>& flags = {}) {
    testutil::writeFile(dir.file("d.xml"), xml);
    if (!def.empty()) testutil::writeFile(dir.file("d.def"), def);
    run(flags);
  }
  void run(const std::vector<std::string>& flags) const {
    std::vector<std::string> argv{LEXORN_BIN};
    argv.insert(argv.end(), flags.begin(), flags.end());
    argv.push_back("d");
    testutil::RunResult r = testutil::run(argv, dir.path());
    EXPECT_EQ(r.status, 0) << r.err;
  }
  std::string path(const std::string& suffix) const { return dir.file("d" + suffix); }
  std::string read(const std::string& suffix) const { return testutil::readFile(path(suffix)); }
  std::unique_ptr<DictIO> open(int mode = 0) const {
    return std::make_unique<DictIO>(path("").c_str(), 0, mode);
  }
};

inline wrdrec_t* wordOf(DictIO& d, const char* w) {
  return static_cast<wrdrec_t*>(map_get(&d.wordMap, const_cast<char*>(w)));
}

// "eid:tid" of every hit, in set order.
inline std::string show(const twset& s) {
  std::string out;
  for (const twident& h : s) out += (out.empty() ? "" : " ") + std::to_string(h.eid) + ":" + std::to_string(h.tid);
  return out;
}

// Little-endian helpers for expected bytes.
inline std::string le32(uint32_t v) {
  std::string s(4, '\0');
  for (int i = 0; i < 4; ++i) s[i] = static_cast<char>((v >> (8 * i)) & 0xFF);
  return s;
}
inline std::string le24(uint32_t v) { return le32(v).substr(0, 3); }
inline uint32_t code(uint32_t tag, uint32_t entry) { return (tag << 24) | entry; }
// A ".wid" chunk: its count, its codes and its link.
inline std::string chunk(const std::vector<uint32_t>& codes, uint32_t link) {
  std::string s = le32(static_cast<uint32_t>(codes.size()));
  for (uint32_t c : codes) s += le32(c);
  return s + le32(link);
}

}  // namespace indextest
