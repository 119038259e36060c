// Error output and thin allocation wrappers.
//
// Failures in this library are reported, not thrown: the failing operation
// writes one message that begins "Error: " to standard error and returns a
// failure value. Messages are formatted into a buffer sized to the message,
// so a long file name is never cut or written past a fixed buffer.
#pragma once

#include <cstdarg>
#include <cstddef>
#include <string>

// Writes `text` unchanged to standard error; adds nothing.
void errout(const char* text);

// How many texts errout has been given so far in the process: a caller
// compares two counts to learn whether an operation reported a failure.
long errout_count();

// Holds back what errout writes while it lives (one at a time in the
// process): release() writes it out, and what was not released is dropped.
// For work that may be retried, whose messages only count for the last try.
class HeldMessages {
 public:
  HeldMessages();
  ~HeldMessages();
  HeldMessages(const HeldMessages&) = delete;
  HeldMessages& operator=(const HeldMessages&) = delete;
  void release();

 private:
  friend void errout(const char* text);
  std::string text_;
  HeldMessages* outer_;
};

// Formats like printf and writes the whole result through errout.
void errorf(const char* fmt, ...) __attribute__((format(printf, 1, 2)));

// printf-style formatting into a std::string of any length.
std::string strprintf(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
std::string vstrprintf(const char* fmt, va_list ap);

// The C library's allocation functions, unchecked, under the library's names.
void* emalloc(unsigned size);
void* ecalloc(unsigned n, unsigned size);
void efree(void* p);
char* estrdup(const char* s);

// The same, each adding 1 to *counter first (counts calls, not bytes).
void* exmalloc(unsigned size, int* counter);
void* excalloc(unsigned n, unsigned size, int* counter);
void exfree(void* p, int* counter);
char* exstrdup(const char* s, int* counter);
