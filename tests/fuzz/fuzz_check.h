// What the harnesses share: a check that stops the run on a broken
// invariant, and a channel for its message that survives the harness (or
// libFuzzer's -close_fd_mask) pointing standard error elsewhere.
#pragma once

#include <sanitizer/common_interface_defs.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace fuzzcheck {

// The standard error the process started with; set by init().
inline int& reportFd() {
  static int fd = 2;
  return fd;
}

// Call from LLVMFuzzerInitialize, before anything redirects standard error.
// Sanitizer reports go to the same place as the check messages.
inline void init() {
  int fd = dup(2);
  if (fd < 0) return;
  reportFd() = fd;
  __sanitizer_set_report_fd(reinterpret_cast<void*>(static_cast<intptr_t>(fd)));
}

[[noreturn]] inline void fail(const char* what, const char* file, int line,
                              const std::string& detail) {
  std::string text = std::string("fuzz check failed: ") + what + " (" + file + ":" +
                     std::to_string(line) + ")\n";
  if (!detail.empty()) text += detail + "\n";
  ssize_t ignored = write(reportFd(), text.data(), text.size());
  (void)ignored;
  __builtin_trap();
}

// A readable form of bytes for failure messages.
inline std::string printable(const std::string& s, size_t max = 400) {
  std::string out;
  for (size_t i = 0; i < s.size() && i < max; ++i) {
    unsigned char c = static_cast<unsigned char>(s[i]);
    if (c >= 0x20 && c < 0x7F && c != '\\') {
      out.push_back(static_cast<char>(c));
    } else {
      char buf[8];
      snprintf(buf, sizeof buf, "\\x%02X", c);
      out += buf;
    }
  }
  if (s.size() > max) out += "...";
  return out;
}

}  // namespace fuzzcheck

#define FUZZ_CHECK(cond)                                                 \
  do {                                                                   \
    if (!(cond)) fuzzcheck::fail(#cond, __FILE__, __LINE__, std::string()); \
  } while (0)

#define FUZZ_CHECK_MSG(cond, detail)                                 \
  do {                                                               \
    if (!(cond)) fuzzcheck::fail(#cond, __FILE__, __LINE__, (detail)); \
  } while (0)
