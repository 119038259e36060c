#include "builder/find_text.h"

#include <cerrno>
#include <cstdio>

namespace {

constexpr const char* kStored = "ISO-8859-2";
// What nl_langinfo(CODESET) says in the C and POSIX locales.
constexpr const char* kPortable = "ANSI_X3.4-1968";

const iconv_t kFailed = reinterpret_cast<iconv_t>(-1);

void appendUtf8(std::string* out, uint32_t c) {
  if (c < 0x80) {
    out->push_back(static_cast<char>(c));
  } else if (c < 0x800) {
    out->push_back(static_cast<char>(0xC0 | (c >> 6)));
    out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else if (c < 0x10000) {
    out->push_back(static_cast<char>(0xE0 | (c >> 12)));
    out->push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else {
    out->push_back(static_cast<char>(0xF0 | (c >> 18)));
    out->push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
  }
}

std::string codePointName(uint32_t c) {
  char buf[16];
  snprintf(buf, sizeof buf, "U+%04X", static_cast<unsigned>(c));
  return buf;
}

}  // namespace

bool latin2CodePoints(std::array<uint32_t, 256>* out) {
  iconv_t cd = iconv_open("UTF-32LE", kStored);
  if (cd == kFailed) return false;
  char bytes[256];
  for (int i = 0; i < 256; ++i) bytes[i] = static_cast<char>(i);
  unsigned char wide[256 * 4];
  char* in = bytes;
  size_t inLeft = sizeof bytes;
  char* dst = reinterpret_cast<char*>(wide);
  size_t room = sizeof wide;
  // Every byte of ISO-8859-2 is a character, so one call converts all 256.
  bool ok = iconv(cd, &in, &inLeft, &dst, &room) != static_cast<size_t>(-1) && inLeft == 0 && room == 0;
  iconv_close(cd);
  if (!ok) return false;
  for (int i = 0; i < 256; ++i) {
    const unsigned char* w = wide + 4 * i;
    (*out)[i] = w[0] | w[1] << 8 | w[2] << 16 | static_cast<uint32_t>(w[3]) << 24;
  }
  return true;
}

std::string latin2ToUtf8(const std::array<uint32_t, 256>& table, const std::string& text) {
  std::string out;
  out.reserve(text.size() + text.size() / 4);
  for (char c : text) appendUtf8(&out, table[static_cast<unsigned char>(c)]);
  return out;
}

std::string jsonQuote(const std::string& utf8) {
  std::string out = "\"";
  out.reserve(utf8.size() + 2);
  for (char ch : utf8) {
    unsigned char c = static_cast<unsigned char>(ch);
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      case '\b': out += "\\b"; break;
      case '\f': out += "\\f"; break;
      default:
        if (c < 0x20) {
          char buf[8];
          snprintf(buf, sizeof buf, "\\u%04x", c);
          out += buf;
        } else {
          out.push_back(ch);
        }
    }
  }
  out += '"';
  return out;
}

std::unique_ptr<TermText> TermText::open(const std::string& codeset, bool raw, std::string* error) {
  std::unique_ptr<TermText> t(new TermText());
  t->codeset_ = codeset;
  if (raw || codeset == kPortable || codeset == kStored) return t;
  t->passes_ = false;
  std::string translit = codeset + "//TRANSLIT";
  t->decode_ = iconv_open("UTF-32LE", codeset.c_str());
  t->encode_ = iconv_open(translit.c_str(), kStored);
  if (t->decode_ == kNone || t->encode_ == kNone || !latin2CodePoints(&t->codes_)) {
    *error = "Error: The C library cannot convert between the locale's character set " + codeset +
             " and ISO-8859-2, the dictionary's; --raw takes text as stored.";
    return nullptr;
  }
  return t;
}

TermText::~TermText() {
  if (decode_ != kNone) iconv_close(decode_);
  if (encode_ != kNone) iconv_close(encode_);
}

bool TermText::toStored(const std::string& text, std::string* out, std::string* error) const {
  if (passes_) {
    *out = text;
    return true;
  }
  // Decoding to code points first tells text that is not valid in the
  // locale's set from a character that ISO-8859-2 has not.
  std::string wide(4 * text.size() + 4, '\0');
  char* in = const_cast<char*>(text.data());
  size_t inLeft = text.size();
  char* dst = wide.data();
  size_t room = wide.size();
  iconv(decode_, nullptr, nullptr, nullptr, nullptr);
  if (iconv(decode_, &in, &inLeft, &dst, &room) == static_cast<size_t>(-1) ||
      iconv(decode_, nullptr, nullptr, &dst, &room) == static_cast<size_t>(-1)) {
    *error = "Error: '" + text + "' is not valid text in the locale's character set (" + codeset_ +
             "); --raw takes text as stored.";
    return false;
  }
  wide.resize(wide.size() - room);

  out->clear();
  for (size_t at = 0; at + 4 <= wide.size(); at += 4) {
    const unsigned char* w = reinterpret_cast<const unsigned char*>(wide.data() + at);
    uint32_t c = w[0] | w[1] << 8 | w[2] << 16 | static_cast<uint32_t>(w[3]) << 24;
    int byte = 0;
    while (byte < 256 && codes_[byte] != c) ++byte;
    if (byte == 256) {
      *error = "Error: '" + text + "' holds the character " + codePointName(c) +
               ", which ISO-8859-2, the dictionary's character set, has not.";
      return false;
    }
    out->push_back(static_cast<char>(byte));
  }
  return true;
}

std::string TermText::toTerminal(const std::string& stored) const {
  if (passes_ || stored.empty()) return stored;
  std::string out(4 * stored.size() + 16, '\0');
  char* in = const_cast<char*>(stored.data());
  size_t inLeft = stored.size();
  char* dst = out.data();
  size_t room = out.size();
  iconv(encode_, nullptr, nullptr, nullptr, nullptr);
  while (inLeft > 0) {
    if (iconv(encode_, &in, &inLeft, &dst, &room) != static_cast<size_t>(-1)) break;
    if (errno == E2BIG) {
      size_t used = out.size() - room;
      out.resize(2 * out.size());
      dst = out.data() + used;
      room = out.size() - used;
    } else {
      // A character that the locale's set has not and the C library cannot
      // transliterate: one byte of ISO-8859-2 is one character.
      if (room == 0) {
        size_t used = out.size();
        out.resize(2 * out.size());
        dst = out.data() + used;
        room = out.size() - used;
      }
      *dst++ = '?';
      --room;
      ++in;
      --inLeft;
    }
  }
  iconv(encode_, nullptr, nullptr, &dst, &room);
  out.resize(out.size() - room);
  return out;
}
