#include "base/error.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {
HeldMessages* g_held = nullptr;
long g_count = 0;
}  // namespace

long errout_count() { return g_count; }

HeldMessages::HeldMessages() : outer_(g_held) { g_held = this; }

HeldMessages::~HeldMessages() { g_held = outer_; }

void HeldMessages::release() {
  HeldMessages* self = g_held;
  g_held = outer_;
  errout(text_.c_str());
  text_.clear();
  g_held = self;
}

void errout(const char* text) {
  if (!text) return;
  ++g_count;
  if (g_held) {
    g_held->text_ += text;
    return;
  }
  fputs(text, stderr);
}

std::string vstrprintf(const char* fmt, va_list ap) {
  va_list probe;
  va_copy(probe, ap);
  const int n = vsnprintf(nullptr, 0, fmt, probe);
  va_end(probe);
  if (n <= 0) return std::string();
  std::string out(static_cast<size_t>(n), '\0');
  vsnprintf(out.data(), out.size() + 1, fmt, ap);
  return out;
}

std::string strprintf(const char* fmt, ...) {
  va_list ap;
  va_start(ap, fmt);
  std::string out = vstrprintf(fmt, ap);
  va_end(ap);
  return out;
}

void errorf(const char* fmt, ...) {
  va_list ap;
  va_start(ap, fmt);
  const std::string text = vstrprintf(fmt, ap);
  va_end(ap);
  errout(text.c_str());
}

void* emalloc(unsigned size) { return malloc(size); }
void* ecalloc(unsigned n, unsigned size) { return calloc(n, size); }
void efree(void* p) { free(p); }
char* estrdup(const char* s) { return strdup(s); }

namespace {
void count(int* counter) {
  if (counter) ++*counter;
}
}  // namespace

void* exmalloc(unsigned size, int* counter) {
  count(counter);
  return emalloc(size);
}

void* excalloc(unsigned n, unsigned size, int* counter) {
  count(counter);
  return ecalloc(n, size);
}

void exfree(void* p, int* counter) {
  count(counter);
  efree(p);
}

char* exstrdup(const char* s, int* counter) {
  count(counter);
  return estrdup(s);
}
