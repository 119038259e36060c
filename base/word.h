// Words: how the text of an element is cut into words, and the record a word
// gets in the word list.
//
// A word is a maximal run of bytes other than the blanks (space, tab, line
// feed, vertical tab, form feed, carriage return) in a text read as a C
// string (up to its first NUL); punctuation stays part of its word and
// nothing is case-folded. The word list stores a word's length in one byte,
// so a word is known by its first kMaxWordLength bytes wherever it is
// numbered or looked up: every pass cuts words here, and so cuts them alike.
#pragma once

#include <cstdint>
#include <string_view>

// Word and entry numbers are stored in 3 bytes: 1 .. kMaxNumber.
constexpr long kMaxNumber = 0xFFFFFF;
// The longest word text the word list stores.
constexpr int kMaxWordLength = 255;

// A word record of the word list: it lives in the list's record arena, its
// text in the text arena.
struct wrdrec_t {
  char* word;        // the text; also the record's key in the table by text
  int32_t num;       // word number, 1 upwards; the key in the table by number
  int32_t chunk;     // .wid offset of the first chunk; -1 when none
  int32_t tailLink;  // .wid offset of the last chunk's link field; -1 when none
};

inline bool isWordBlank(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// Calls fn(word) for every word of the C string `text`, in order, each cut
// to kMaxWordLength bytes. Returns how many words were cut.
template <typename Fn>
long forEachWord(const char* text, Fn&& fn) {
  long cut = 0;
  for (const char* p = text;;) {
    while (isWordBlank(*p)) ++p;
    if (*p == '\0') return cut;
    const char* start = p;
    while (*p != '\0' && !isWordBlank(*p)) ++p;
    size_t len = static_cast<size_t>(p - start);
    if (len > static_cast<size_t>(kMaxWordLength)) {
      len = kMaxWordLength;
      ++cut;
    }
    fn(std::string_view(start, len));
  }
}
