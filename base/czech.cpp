#include "base/czech.h"

#include <array>
#include <cstring>

namespace {

// The Czech alphabet, each accented letter right after its base letter; the
// byte at position k of one string is the case partner of the byte at k of the other.
constexpr char kSmall[] =
    "a\xE1" "bc\xE8" "d\xEF" "e\xE9\xEC" "fghi\xED" "jkl\xB5" "mn\xF2" "o\xF3" "pqr\xF8"
    "s\xB9" "t\xBB" "u\xFA\xF9" "vwxy\xFD" "z\xBE";
constexpr char kCapital[] =
    "A\xC1" "BC\xC8" "D\xCF" "E\xC9\xCC" "FGHI\xCD" "JKL\xA5" "MN\xD2" "O\xD3" "PQR\xD8"
    "S\xA9" "T\xAB" "U\xDA\xD9" "VWXY\xDD" "Z\xAE";
static_assert(sizeof(kSmall) == 43 && sizeof(kCapital) == 43);

// The accented letters: 16 small ones, then their 16 capitals, in table order.
constexpr unsigned char kAccented[32] = {
    0xE1, 0xE8, 0xEF, 0xE9, 0xEC, 0xED, 0xB5, 0xF2, 0xF3, 0xF8, 0xB9, 0xBB, 0xFA, 0xF9, 0xFD, 0xBE,
    0xC1, 0xC8, 0xCF, 0xC9, 0xCC, 0xCD, 0xA5, 0xD2, 0xD3, 0xD8, 0xA9, 0xAB, 0xDA, 0xD9, 0xDD, 0xAE};

using ByteMap = std::array<unsigned char, 256>;

constexpr ByteMap identity() {
  ByteMap m{};
  for (int i = 0; i < 256; i++) m[i] = static_cast<unsigned char>(i);
  return m;
}

// The per-byte mappings of the by-value family: ASCII by offset, the accented
// letters through their table partners, except that small u-ring folds to plain U.
constexpr ByteMap makeUpper() {
  ByteMap m = identity();
  for (int c = 'a'; c <= 'z'; c++) m[c] = static_cast<unsigned char>(c - 0x20);
  for (int k = 0; k < 16; k++) m[kAccented[k]] = kAccented[k + 16];
  m[0xF9] = 'U';
  return m;
}

constexpr ByteMap makeLower() {
  ByteMap m = identity();
  for (int c = 'A'; c <= 'Z'; c++) m[c] = static_cast<unsigned char>(c + 0x20);
  for (int k = 0; k < 16; k++) m[kAccented[k + 16]] = kAccented[k];
  return m;
}

// The in-place family, as str_case would map through the two alphabets.
constexpr ByteMap makeAlphabetMap(const char* from, const char* to) {
  ByteMap m = identity();
  int n = 0;
  while (from[n]) n++;
  for (int k = n - 1; k >= 0; k--) {
    m[static_cast<unsigned char>(from[k])] = static_cast<unsigned char>(to[k]);
  }
  return m;
}

// Built at compile time, so callers' static initialisers may use them.
constexpr ByteMap kUpper = makeUpper();
constexpr ByteMap kLower = makeLower();
constexpr ByteMap kAlphaUpper = makeAlphabetMap(kSmall, kCapital);
constexpr ByteMap kAlphaLower = makeAlphabetMap(kCapital, kSmall);

void mapInPlace(char* s, const ByteMap& m) {
  for (; *s; s++) *s = static_cast<char>(m[static_cast<unsigned char>(*s)]);
}

std::string mapCopy(const std::string& s, const ByteMap& m) {
  std::string r;
  r.reserve(s.size());
  for (char c : s) r += static_cast<char>(m[static_cast<unsigned char>(c)]);
  return r;
}

}  // namespace

int isalphaCZ(char c) {
  const unsigned char u = static_cast<unsigned char>(c);
  if ((u >= 'A' && u <= 'Z') || (u >= 'a' && u <= 'z')) return 1;
  return memchr(kAccented, u, sizeof(kAccented)) != nullptr ? 1 : 0;
}

void str_case(char* s, const char* from, const char* to) {
  for (; *s; s++) {
    const char* hit = strchr(from, *s);
    if (hit) *s = to[hit - from];
  }
}

void str_ucase(char* s) { mapInPlace(s, kAlphaUpper); }
void str_lcase(char* s) { mapInPlace(s, kAlphaLower); }
std::string ucase(const std::string& s) { return mapCopy(s, kUpper); }
void ucaseInPlace(std::string* s) {
  for (char& c : *s) c = static_cast<char>(kUpper[static_cast<unsigned char>(c)]);
}
std::string lcase(const std::string& s) { return mapCopy(s, kLower); }
