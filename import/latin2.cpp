#include "import/latin2.h"

#include <algorithm>
#include <cerrno>

namespace {
constexpr const char kTarget[] = "ISO-8859-2";
constexpr const char kTranslit[] = "ISO-8859-2//TRANSLIT";
constexpr const char kSource[] = "UTF-8";
}  // namespace

size_t utf8Length(unsigned char lead) {
  if (lead >= 0xF0 && lead < 0xF8) return 4;
  if (lead >= 0xE0) return lead < 0xF0 ? 3 : 1;
  if (lead >= 0xC0) return 2;
  return 1;
}

uint32_t utf8CodePoint(const char* s, size_t n) {
  auto lead = static_cast<unsigned char>(s[0]);
  size_t len = std::min(utf8Length(lead), n);
  if (len == 1) return lead;
  uint32_t cp = lead & (0x7F >> len);
  for (size_t i = 1; i < len; ++i) cp = (cp << 6) | (static_cast<unsigned char>(s[i]) & 0x3F);
  return cp;
}

Latin2Converter::Latin2Converter()
    : exact_(iconv_open(kTarget, kSource)), translit_(iconv_open(kTranslit, kSource)) {}

Latin2Converter::~Latin2Converter() {
  if (exact_ != kNone) iconv_close(exact_);
  if (translit_ != kNone) iconv_close(translit_);
}

size_t Latin2Converter::convertExact(const char* in, size_t n, std::string* out) {
  size_t at = out->size();
  out->resize(at + n);  // never more bytes out than in
  char* src = const_cast<char*>(in);
  size_t left = n;
  char* dst = out->data() + at;
  size_t room = n;
  iconv(exact_, &src, &left, &dst, &room);
  out->resize(out->size() - room);
  return n - left;
}

size_t Latin2Converter::transliterateOne(const char* in, size_t n, std::string* out) {
  size_t len = std::min(utf8Length(static_cast<unsigned char>(*in)), n);
  char buf[32];
  char* src = const_cast<char*>(in);
  size_t left = len;
  char* dst = buf;
  size_t room = sizeof buf;
  iconv(translit_, nullptr, nullptr, nullptr, nullptr);
  size_t rc = iconv(translit_, &src, &left, &dst, &room);
  bool failed = rc == static_cast<size_t>(-1) || dst == buf;
  if (failed || (dst - buf == 1 && buf[0] == '?')) {
    ++unknown_;
    out->push_back('?');
  } else {
    out->append(buf, static_cast<size_t>(dst - buf));
  }
  ++transliterated_;
  return len;
}

void Latin2Converter::convert(std::string_view utf8, std::string* out) {
  const char* p = utf8.data();
  size_t n = utf8.size();
  while (n > 0) {
    size_t done = convertExact(p, n, out);
    p += done;
    n -= done;
    if (n == 0) break;
    iconv(exact_, nullptr, nullptr, nullptr, nullptr);
    size_t used = transliterateOne(p, n, out);
    p += used;
    n -= used;
  }
}

size_t Latin2Converter::firstUnconvertible(std::string_view utf8) {
  scratch_.clear();
  size_t done = convertExact(utf8.data(), utf8.size(), &scratch_);
  if (done < utf8.size()) iconv(exact_, nullptr, nullptr, nullptr, nullptr);
  return done;
}
