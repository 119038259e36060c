// Helpers shared by the tests: temporary directories, whole-file I/O,
// running a program with its streams captured, capturing stderr in-process.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace testutil {

// A fresh directory under $TMPDIR (or /tmp), removed with its content.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return path_; }
  std::string file(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

std::string readFile(const std::string& path);  // empty when missing
void writeFile(const std::string& path, const std::string& bytes);
bool fileExists(const std::string& path);
std::vector<std::string> listDir(const std::string& dir);  // sorted names
// Every file of `dir` as "name size mtime(ns) bytes-digest", one a line, in
// name order: equal snapshots mean nothing was created, removed, written or
// touched.
std::string snapshot(const std::string& dir);

struct RunResult {
  int status = -1;  // exit status 0..255, or -1 when it did not exit
  int signal = 0;   // the signal that ended it, when it did not exit
  std::string out;
  std::string err;
};
// Runs `argv` with `cwd` as working directory and no standard input, with
// the environment given as "NAME=value" settings added to the test's own.
RunResult run(const std::vector<std::string>& argv, const std::string& cwd,
              const std::vector<std::string>& env = {});

// Captures what the process writes to standard error (or output) while alive.
class CaptureFd {
 public:
  explicit CaptureFd(int fd);
  ~CaptureFd();
  std::string text();  // stops capturing on first call
 private:
  int fd_, saved_;
  std::string file_;
  bool done_ = false;
  std::string text_;
};

// Narrows the process to one of its cores while alive (work that would go to
// a thread of its own then runs on the caller's), and restores them after.
class PinToOneCore {
 public:
  PinToOneCore();
  ~PinToOneCore();
  PinToOneCore(const PinToOneCore&) = delete;
  PinToOneCore& operator=(const PinToOneCore&) = delete;

 private:
  std::vector<unsigned char> saved_;  // the cpu_set_t the process had
};

// Bytes from a hex text such as "81 05 00 00".
std::string hex(const std::string& spaced);
// Hex text of bytes, for readable failure messages.
std::string tohex(const std::string& bytes);

}  // namespace testutil
