// Latin2Converter: UTF-8 text to ISO-8859-2 through the C library's iconv.
//
// Characters that ISO-8859-2 has are converted exactly. Any other character
// is transliterated on its own with "ISO-8859-2//TRANSLIT" ("ø" -> "o",
// "€" -> "EUR") and counted; where the C library knows no transliteration
// it writes "?", which is counted as well. How rich the transliteration is
// depends on the LC_CTYPE locale in force (a UTF-8 locale knows far more
// than "C"), so the program chooses one before converting.
//
// The input must be valid UTF-8 (libxml2 hands nothing else over); a byte
// sequence that is not is written as "?" and counted as unknown.
#pragma once

#include <iconv.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

class Latin2Converter {
 public:
  Latin2Converter();
  ~Latin2Converter();
  Latin2Converter(const Latin2Converter&) = delete;
  Latin2Converter& operator=(const Latin2Converter&) = delete;

  // False when the C library cannot convert to ISO-8859-2 at all.
  bool ok() const { return exact_ != kNone && translit_ != kNone; }

  // Appends the ISO-8859-2 form of `utf8` to *out.
  void convert(std::string_view utf8, std::string* out);

  // The byte offset in `utf8` of the first character with no ISO-8859-2
  // form, or utf8.size() when every character has one. Counts nothing.
  size_t firstUnconvertible(std::string_view utf8);

  long transliterated() const { return transliterated_; }  // all of them
  long unknown() const { return unknown_; }                // those written as "?"

 private:
  static inline const iconv_t kNone = reinterpret_cast<iconv_t>(-1);

  // Converts as much as converts exactly; returns the bytes consumed.
  size_t convertExact(const char* in, size_t n, std::string* out);
  // Writes the stand-in for the character at `in`; returns its length.
  size_t transliterateOne(const char* in, size_t n, std::string* out);

  iconv_t exact_;
  iconv_t translit_;
  std::string scratch_;
  long transliterated_ = 0;
  long unknown_ = 0;
};

// The length of the UTF-8 sequence that starts with `lead` (1 for a stray
// continuation byte, so that a scan always moves on).
size_t utf8Length(unsigned char lead);

// The code point of the UTF-8 character at `s` (n bytes available).
uint32_t utf8CodePoint(const char* s, size_t n);
