// Text utilities over C strings, string lists and std::string.
//
// A "string list" is several C strings stored back to back, each with its
// NUL, closed by an empty string (two NULs in a row at the end).
#pragma once

#include <string>
#include <string_view>
#include <vector>

// Whether two texts hold the same bytes. For the short names of tags,
// compared in a reader's every step, a plain loop costs less than the
// library call std::string's == makes.
inline bool sameBytes(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (a[i] != b[i]) return false;
  return true;
}

// A bounded list of texts: at most kCapacity items. push() refuses an item
// beyond the bound instead of writing past it.
struct strings {
  static constexpr int kCapacity = 4096;
  std::vector<std::string> items;
  int count = 0;

  bool push(const std::string& s);       // false when full
  void reset() { items.clear(); count = 0; }
  // Items not (or no longer) held read as empty strings.
  const std::string& operator[](int i) const {
    static const std::string kEmpty;
    return i >= 0 && i < static_cast<int>(items.size()) ? items[i] : kEmpty;
  }
};

// Word splitting. The result is a new zero-filled heap buffer (release with
// free) of 2 * strlen(text) + 1 bytes holding the words as a string list.
char* str_get_words(const char* text, int* count);
char* str_get_words_reg(const char* text, int* count);
void str_get_words_preprocess(char* out, const char* in);

// Joins a string list in place into one line, spacing by punctuation.
void makeString(char* list);
int spaceAfter(const char* w);
int spaceBefore(const char* w);

// Splits at `sep`; runs of separators count as one; empty parts (and, with
// trim, parts of spaces only) are dropped. At most kCapacity - 1 parts are
// kept (item `count` is the empty string); returns false when parts were
// dropped for lack of room.
bool getParts(const std::string& s, strings* out, char sep, bool trim);

std::string lrscut(const std::string& s);
std::string fnNoExt(const std::string& s);
std::string fnExt(const std::string& s);
std::string first(const std::string& s, int start, int n);
std::string replace(const std::string& s, char from, char to);
bool match(const std::string& a, const std::string& b, int mode);
long strl(const std::string& s);
std::string lstr(int n);

// C strings edited in caller buffers. A `dst` must hold what is written:
// strlen(src) + 1 bytes for str_noext and getDQCare; strlen(src) + 2 for the
// string lists of getPartsCare, str_divi and str_divi2 (every byte of src,
// a NUL per part and the closing NUL); str_mlen(src) for str_mcpy and
// str_mrev; strlen(src) + 1 each for divideFunc's `name` and `args`. The
// in-place functions only ever shorten `s`, except strcatc (room for one
// more byte) and spaces/tabs (n + 1 bytes).

// `src` cut at its last "." (whole when it has none); returns dst.
char* str_noext(char* dst, const char* src);
// Cuts `s` at its last "." when the text after it is `ext`: 1, else 0.
int str_cutext(char* s, const char* ext);
void str_scut(char* s);                     // spaces (0x20) off both ends
void str_dele(char* s, const char* set);    // every byte that is in `set` out
void strcatc(char* s, char c);
void spaces(char* buf, int n);
void tabs(char* buf, int n);
void str_crlf(char* s);                     // up to two trailing CR/LF bytes off
void str_getfirst_alpha(char* s);           // cut after the leading letters
// The text between the first two unescaped double quotes; returns dst.
char* getDQCare(char* dst, const char* src);
// Splits at `sep` outside quotes and parentheses into a string list;
// returns the number of (non-empty) parts.
int getPartsCare(const char* src, char* dst, char sep, int trim);
void divideFunc(const char* src, char* name, char* args);
// Splits at `sep` into a string list; returns 1 + the number of separators
// (0 for an empty src). Flag 1 keeps empty parts, flag 2 writes them as sep.
int str_divi(char* dst, const char* src, char sep, int flags);
// str_divi, then each part cleaned of punctuation and lower-cased.
void str_divi2(char* dst, const char* src, char sep);
void str_mcpy(char* dst, const char* src);  // a string list, copied
void str_mrev(char* dst, const char* src);  // the same, strings in reverse
// Fills idx (room for the strings + 1) with a pointer to each string and a
// null; returns how many.
int str_midx(char** idx, char* list);
int str_fdup(char* list);                   // strings that occur again later
int isbracket(char c);
int isopenbracket(char c);
int isclosebracket(char c);
int ispuncx(char c);
int isinpnc(char c);
// The bytes from *pos to the next `c` (or the end); *pos is left on it.
std::string locate(const std::string& s, char c, int* pos);
// The first unescaped double quote at or after i, or -1.
int findEndStr(const std::string& s, int i);
std::string unescape(const std::string& s);  // \" becomes "
void pint(long n);
void pstr(const std::string& s);
void pchr(char c);

// Length in bytes of a string list, closing NUL included.
size_t str_mlen(const char* list);
