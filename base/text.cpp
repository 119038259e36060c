#include "base/text.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <unordered_set>

#include "base/czech.h"
#include "base/word.h"

namespace {

inline bool isWhite(unsigned char c) { return isWordBlank(static_cast<char>(c)); }

inline bool isQuote(char c) { return c == '"' || c == '\''; }

// Appends `s` with its NUL to a string list under construction.
char* putItem(char* dst, const char* s, size_t n) {
  memcpy(dst, s, n);
  dst[n] = '\0';
  return dst + n + 1;
}

// Splits `buf` (already holding the text) at its spaces; the words stay in place.
int cutAtSpaces(char* buf) {
  int count = 0;
  char* last = buf;
  for (char* p = buf; *p; p++) {
    if (*p == ' ') {
      *p = '\0';
      count++;
      last = p + 1;
    }
  }
  if (*last) count++;
  return count;
}

// Removes the spaces (0x20 only) on both ends of [*b, *e).
void trimSpaces(const char** b, const char** e) {
  while (*b < *e && **b == ' ') ++*b;
  while (*e > *b && (*e)[-1] == ' ') --*e;
}

}  // namespace

bool strings::push(const std::string& s) {
  if (count >= kCapacity) return false;
  items.resize(count);
  items.push_back(s);
  count++;
  return true;
}

void str_get_words_preprocess(char* out, const char* in) {
  unsigned char last = ' ';
  for (const unsigned char* p = reinterpret_cast<const unsigned char*>(in); *p; p++) {
    if (!isWhite(*p)) {
      *out++ = static_cast<char>(*p);
      last = *p;
    } else if (!isWhite(last)) {
      *out++ = ' ';
      last = ' ';
    }
  }
}

char* str_get_words(const char* text, int* count) {
  const size_t len = strlen(text);
  char* buf = static_cast<char*>(calloc(2 * len + 1, 1));
  str_get_words_preprocess(buf, text);
  *count = cutAtSpaces(buf);
  return buf;
}

char* str_get_words_reg(const char* text, int* count) {
  const size_t len = strlen(text);
  char* buf = static_cast<char*>(calloc(2 * len + 1, 1));
  memcpy(buf, text, len);
  *count = cutAtSpaces(buf);
  return buf;
}

int isopenbracket(char c) { return c == '(' || c == '[' || c == '{'; }
int isclosebracket(char c) { return c == ')' || c == ']' || c == '}'; }
int isbracket(char c) { return isopenbracket(c) || isclosebracket(c); }

int ispuncx(char c) {
  const unsigned char u = static_cast<unsigned char>(c);
  if (u < 0x21 || u > 0x7e) return 0;
  if ((u >= '0' && u <= '9') || (u >= 'A' && u <= 'Z') || (u >= 'a' && u <= 'z')) return 0;
  return c != '-' && c != '_';
}

int isinpnc(char c) {
  return c == '|' || c == '&' || c == '/' || c == '\\' || c == '+' || c == '*';
}

int spaceAfter(const char* w) {
  if (w[0] == '\0') return 0;
  if (w[1] != '\0') return 1;
  return !(isinpnc(w[0]) || isopenbracket(w[0]));
}

int spaceBefore(const char* w) {
  if (w[0] == '\0') return 0;
  if (w[1] != '\0') return 1;
  return !(ispuncx(w[0]) && !isopenbracket(w[0]));
}

void makeString(char* list) {
  std::string out = list;
  const char* prev = list;
  for (const char* w = list + strlen(list) + 1; prev[0] != '\0' && w[0] != '\0';
       w += strlen(w) + 1) {
    if (spaceAfter(prev) && spaceBefore(w)) out += ' ';
    out += w;
    prev = w;
  }
  memcpy(list, out.c_str(), out.size() + 1);
}

std::string lrscut(const std::string& s) {
  const size_t b = s.find_first_not_of(' ');
  if (b == std::string::npos) return std::string();
  const size_t e = s.find_last_not_of(' ');
  return s.substr(b, e - b + 1);
}

bool getParts(const std::string& s, strings* out, char sep, bool trim) {
  out->items.clear();
  int n = 0;
  bool complete = true;
  size_t pos = 0;
  while (pos < s.size()) {
    size_t f = s.find(sep, pos);
    if (f == std::string::npos) f = s.size();
    std::string part = s.substr(pos, f - pos);
    if (trim) part = lrscut(part);
    if (!part.empty()) {
      if (n >= strings::kCapacity - 1) {
        complete = false;
        break;
      }
      out->items.push_back(std::move(part));
      n++;
    }
    pos = s.find_first_not_of(sep, f);
    if (pos == std::string::npos) break;
  }
  out->items.emplace_back();
  out->count = n;
  return complete;
}

std::string fnNoExt(const std::string& s) {
  const size_t p = s.rfind('.');
  return p == std::string::npos ? std::string() : s.substr(0, p);
}

std::string fnExt(const std::string& s) {
  const size_t p = s.rfind('.');
  return p == std::string::npos || p == 0 ? s : s.substr(p + 1);
}

std::string first(const std::string& s, int start, int n) {
  if (s.empty()) return std::string();
  size_t st = static_cast<size_t>(static_cast<unsigned>(start));
  if (st > s.size() - 1) st = s.size() - 1;
  return s.substr(st, static_cast<size_t>(static_cast<unsigned>(n)));
}

std::string replace(const std::string& s, char from, char to) {
  std::string r = s;
  for (char& c : r) {
    if (c == from) c = to;
  }
  return r;
}

bool match(const std::string& a, const std::string& b, int mode) {
  const char* pa = a.c_str();
  const char* pb = b.c_str();
  switch (mode) {
    case 0:
      return strstr(pb, pa) != nullptr;
    case 1:
      return strncmp(pb, pa, strlen(pa)) == 0;
    case 2: {
      const char* f = strstr(pb, pa);
      return f != nullptr && f + strlen(pa) == pb + strlen(pb);
    }
    case 3:
      return strcmp(pa, pb) == 0;
    default:
      return false;
  }
}

// strtol reads what atol reads, and clamps where atol is undefined.
long strl(const std::string& s) { return strtol(s.c_str(), nullptr, 10); }

std::string lstr(int n) { return std::to_string(n); }

char* str_noext(char* dst, const char* src) {
  if (dst != src) memmove(dst, src, strlen(src) + 1);
  char* dot = strrchr(dst, '.');
  if (dot) *dot = '\0';
  return dst;
}

int str_cutext(char* s, const char* ext) {
  char* dot = strrchr(s, '.');
  if (dot == nullptr || strcmp(dot + 1, ext) != 0) return 0;
  *dot = '\0';
  return 1;
}

void str_scut(char* s) {
  const char* b = s;
  const char* e = s + strlen(s);
  trimSpaces(&b, &e);
  const size_t n = static_cast<size_t>(e - b);
  memmove(s, b, n);
  s[n] = '\0';
}

void str_dele(char* s, const char* set) {
  char* out = s;
  for (const char* p = s; *p; p++) {
    if (strchr(set, *p) == nullptr) *out++ = *p;
  }
  *out = '\0';
}

void strcatc(char* s, char c) {
  const size_t n = strlen(s);
  s[n] = c;
  s[n + 1] = '\0';
}

void spaces(char* buf, int n) {
  if (n < 0) n = 0;
  memset(buf, ' ', static_cast<size_t>(n));
  buf[n] = '\0';
}

void tabs(char* buf, int n) {
  if (n < 0) n = 0;
  memset(buf, '\t', static_cast<size_t>(n));
  buf[n] = '\0';
}

void str_crlf(char* s) {
  size_t n = strlen(s);
  for (int k = 0; k < 2 && n > 0 && (s[n - 1] == '\n' || s[n - 1] == '\r'); k++) {
    s[--n] = '\0';
  }
}

void str_getfirst_alpha(char* s) {
  char* p = s;
  while (*p && isalphaCZ(*p)) p++;
  *p = '\0';
}

char* getDQCare(char* dst, const char* src) {
  const std::string s = src;
  const int open = findEndStr(s, 0);
  if (open < 0) {
    dst[0] = '\0';
    return dst;
  }
  const int close = findEndStr(s, open + 1);
  const size_t end = close < 0 ? s.size() : static_cast<size_t>(close);
  const size_t n = end - static_cast<size_t>(open) - 1;
  memcpy(dst, src + open + 1, n);
  dst[n] = '\0';
  return dst;
}

int getPartsCare(const char* src, char* dst, char sep, int trim) {
  int count = 0;
  bool sq = false;
  bool dq = false;
  int depth = 0;
  const char* start = src;
  const char* p = src;
  for (;; p++) {
    const char c = *p;
    bool cut = c == '\0';
    if (c == '\'') sq = !sq;
    if (c == '"') dq = !dq;
    if (c == '(') depth++;
    if (c == ')' && --depth < 0) cut = true;
    if (c == sep && c != '\0' && !sq && !dq && depth == 0) cut = true;
    if (!cut) continue;
    const char* b = start;
    const char* e = p;
    if (trim) trimSpaces(&b, &e);
    if (e > b) {
      dst = putItem(dst, b, static_cast<size_t>(e - b));
      count++;
    }
    if (c == '\0' || depth < 0) break;
    start = p + 1;
  }
  *dst = '\0';
  return count;
}

void divideFunc(const char* src, char* name, char* args) {
  bool sq = false;
  bool dq = false;
  const char* open = nullptr;
  for (const char* p = src; *p; p++) {
    if (*p == '\'') sq = !sq;
    if (*p == '"') dq = !dq;
    if (*p == '(' && !sq && !dq) {
      open = p;
      break;
    }
  }
  if (open == nullptr) {
    strcpy(name, src);
    args[0] = '\0';
    return;
  }
  putItem(name, src, static_cast<size_t>(open - src));
  int depth = 1;
  const char* p = open + 1;
  for (; *p; p++) {
    if (*p == '\'') sq = !sq;
    if (*p == '"') dq = !dq;
    if (sq || dq || isQuote(*p)) continue;
    if (*p == '(') depth++;
    if (*p == ')' && --depth == 0) break;
  }
  putItem(args, open + 1, static_cast<size_t>(p - open - 1));
}

int str_divi(char* dst, const char* src, char sep, int flags) {
  if (*src == '\0') {
    dst[0] = '\0';
    return 0;
  }
  int count = 1;
  const char* start = src;
  for (const char* p = src; *p; p++) {
    if (*p != sep) continue;
    count++;
    if (p > start) {
      dst = putItem(dst, start, static_cast<size_t>(p - start));
    } else if (flags & 1) {
      dst = putItem(dst, "", 0);
    } else if (flags & 2) {
      dst = putItem(dst, &sep, 1);
    }
    start = p + 1;
  }
  dst = putItem(dst, start, strlen(start));
  *dst = '\0';
  return count;
}

void str_divi2(char* dst, const char* src, char sep) {
  static const char kCleaning[] = ".,'\"-()[]{}?!:<>+*/\\;";
  const char* start = src;
  for (const char* p = src;; p++) {
    if (*p != sep && *p != '\0') continue;
    std::string piece(start, static_cast<size_t>(p - start));
    if (!piece.empty()) {
      str_dele(piece.data(), kCleaning);
      str_lcase(piece.data());
      const size_t n = strlen(piece.c_str());
      if (n > 0) dst = putItem(dst, piece.c_str(), n);
    }
    if (*p == '\0') break;
    start = p + 1;
  }
  *dst = '\0';
}

size_t str_mlen(const char* list) {
  const char* p = list;
  while (*p) p += strlen(p) + 1;
  return static_cast<size_t>(p - list) + 1;
}

void str_mcpy(char* dst, const char* src) { memmove(dst, src, str_mlen(src)); }

void str_mrev(char* dst, const char* src) {
  std::vector<std::string_view> words;
  for (const char* p = src; *p; p += strlen(p) + 1) words.emplace_back(p);
  std::string out;
  for (auto it = words.rbegin(); it != words.rend(); ++it) {
    out.append(it->data(), it->size());
    out += '\0';
  }
  out += '\0';
  memcpy(dst, out.data(), out.size());
}

int str_midx(char** idx, char* list) {
  int n = 0;
  for (char* p = list; *p; p += strlen(p) + 1) idx[n++] = p;
  idx[n] = nullptr;
  return n;
}

int str_fdup(char* list) {
  std::vector<std::string_view> words;
  for (const char* p = list; *p; p += strlen(p) + 1) words.emplace_back(p);
  std::unordered_set<std::string_view> later;
  int dups = 0;
  for (auto it = words.rbegin(); it != words.rend(); ++it) {
    if (!later.insert(*it).second) dups++;
  }
  return dups;
}

std::string locate(const std::string& s, char c, int* pos) {
  size_t start = *pos < 0 ? 0 : static_cast<size_t>(*pos);
  if (start > s.size()) start = s.size();
  size_t f = s.find(c, start);
  if (f == std::string::npos) f = s.size();
  *pos = static_cast<int>(f);
  return s.substr(start, f - start);
}

int findEndStr(const std::string& s, int i) {
  for (size_t j = i < 0 ? 0 : static_cast<size_t>(i); j < s.size(); j++) {
    if (s[j] == '"' && (j == 0 || s[j - 1] != '\\')) return static_cast<int>(j);
  }
  return -1;
}

std::string unescape(const std::string& s) {
  std::string r;
  r.reserve(s.size());
  for (size_t i = 0; i < s.size(); i++) {
    if (s[i] == '\\' && i + 1 < s.size() && s[i + 1] == '"') continue;
    r += s[i];
  }
  return r;
}

void pint(long n) { printf("%ld\n", n); }
void pstr(const std::string& s) { printf("%s\n", s.c_str()); }
void pchr(char c) { printf("%c\n", c); }
