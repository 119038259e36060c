// Text of lexorn-find between the terminal and the dictionary.
//
// A dictionary stores its text in ISO-8859-2. The terminal speaks the
// character set of the locale (nl_langinfo(CODESET) after setlocale), most
// often UTF-8. TermText converts arguments into ISO-8859-2 and what the tool
// prints back into the locale's set. JSON output is UTF-8 whatever the
// locale, so it has its own conversion.
#pragma once

#include <iconv.h>

#include <array>
#include <cstdint>
#include <memory>
#include <string>

// The code points of the 256 ISO-8859-2 bytes, taken from the C library's
// iconv. False when iconv does not know ISO-8859-2.
bool latin2CodePoints(std::array<uint32_t, 256>* out);

// The UTF-8 form of ISO-8859-2 text, through a table from latin2CodePoints.
std::string latin2ToUtf8(const std::array<uint32_t, 256>& table, const std::string& text);

// `utf8` as a JSON string: in double quotes, with the quote, the backslash
// and every control character below U+0020 escaped. Other bytes are copied,
// so valid UTF-8 in gives valid UTF-8 out.
std::string jsonQuote(const std::string& utf8);

class TermText {
 public:
  // The conversions for the character set `codeset`, as nl_langinfo names
  // it. Bytes pass unchanged with `raw`, in the C/POSIX locale's set
  // (ANSI_X3.4-1968: the terminal's set is then unknown, so the tool does
  // what it always did) and in ISO-8859-2 itself. Null, with *error set to
  // a one-line message, when iconv cannot convert between the two sets.
  static std::unique_ptr<TermText> open(const std::string& codeset, bool raw, std::string* error);
  ~TermText();
  TermText(const TermText&) = delete;
  TermText& operator=(const TermText&) = delete;

  // True when bytes pass unchanged in both directions.
  bool passes() const { return passes_; }
  const std::string& codeset() const { return codeset_; }

  // Terminal text to ISO-8859-2. False, with *error set to a message that
  // quotes `text`, when `text` is not valid in the locale's set or holds a
  // character that ISO-8859-2 has not.
  bool toStored(const std::string& text, std::string* out, std::string* error) const;
  // ISO-8859-2 text for the terminal. A character the locale's set has not
  // is transliterated where the C library knows how, else shown as "?".
  std::string toTerminal(const std::string& stored) const;

 private:
  static inline const iconv_t kNone = reinterpret_cast<iconv_t>(-1);
  TermText() = default;
  std::string codeset_;
  bool passes_ = true;
  iconv_t decode_ = kNone;  // codeset -> UTF-32LE
  iconv_t encode_ = kNone;  // ISO-8859-2 -> codeset, transliterating
  std::array<uint32_t, 256> codes_{};
};
