#include <gtest/gtest.h>

#include <string>

#include "base/czech.h"

namespace {

std::string inPlace(void (*fn)(char*), std::string s) {
  fn(s.data());
  return s;
}

// The 16 accented letters: small then capital, in table order.
const std::string kSmallCz = "\xE1\xE8\xEF\xE9\xEC\xED\xB5\xF2\xF3\xF8\xB9\xBB\xFA\xF9\xFD\xBE";
const std::string kCapitalCz = "\xC1\xC8\xCF\xC9\xCC\xCD\xA5\xD2\xD3\xD8\xA9\xAB\xDA\xD9\xDD\xAE";

TEST(CzechCase, RingedUFoldsToPlainUOnlyInTheByValueFamily) {
  EXPECT_EQ(ucase("k\xF9\xF2"), "KU\xD2");               // kůň -> KUŇ
  EXPECT_EQ(inPlace(str_ucase, "k\xF9\xF2"), "K\xD9\xD2");  // kůň -> KŮŇ
  EXPECT_EQ(lcase("\xD9L"), "\xF9l");                    // ŮL -> ůl
  EXPECT_EQ(inPlace(str_lcase, "\xD9L"), "\xF9l");
}

TEST(CzechCase, WorkedExamples) {
  EXPECT_EQ(ucase("\xEF\xE1" "bel"), "\xCF\xC1" "BEL");                 // ďábel -> ĎÁBEL
  EXPECT_EQ(lcase("\xD8\xCDZEN\xCD"), "\xF8\xEDzen\xED");               // ŘÍZENÍ -> řízení
  EXPECT_EQ(lcase("USA"), "usa");
}

TEST(CzechCase, WholeTables) {
  std::string expectUpper = kCapitalCz;
  expectUpper[13] = 'U';
  EXPECT_EQ(ucase(kSmallCz), expectUpper);
  EXPECT_EQ(lcase(kCapitalCz), kSmallCz);
  EXPECT_EQ(inPlace(str_ucase, kSmallCz), kCapitalCz);
  EXPECT_EQ(inPlace(str_lcase, kCapitalCz), kSmallCz);
  EXPECT_EQ(ucase("abcdefghijklmnopqrstuvwxyz"), "ABCDEFGHIJKLMNOPQRSTUVWXYZ");
  EXPECT_EQ(inPlace(str_lcase, "ABCDEFGHIJKLMNOPQRSTUVWXYZ"), "abcdefghijklmnopqrstuvwxyz");
  // Capitals stay under ucase, smalls under lcase.
  EXPECT_EQ(ucase(kCapitalCz), kCapitalCz);
  EXPECT_EQ(lcase(kSmallCz), kSmallCz);
}

TEST(CzechCase, OtherBytesAreLeftAlone) {
  // Every byte that is neither an ASCII letter nor in the table.
  std::string others;
  for (int c = 1; c < 256; c++) {
    const char ch = static_cast<char>(c);
    const bool ascii = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
    if (!ascii && kSmallCz.find(ch) == std::string::npos &&
        kCapitalCz.find(ch) == std::string::npos)
      others += ch;
  }
  EXPECT_EQ(others.size(), 255u - 52u - 32u);
  EXPECT_EQ(ucase(others), others);
  EXPECT_EQ(lcase(others), others);
  EXPECT_EQ(inPlace(str_ucase, others), others);
  EXPECT_EQ(inPlace(str_lcase, others), others);
  EXPECT_EQ(ucase("\xF4" "0\xE4\xDF"), "\xF4" "0\xE4\xDF");  // ô 0 ä ß
}

TEST(CzechCase, EmbeddedNulIsCopiedByValue) {
  const std::string s("a\0b", 3);
  EXPECT_EQ(ucase(s), std::string("A\0B", 3));
}

TEST(CzechLetters, IsAlpha) {
  EXPECT_EQ(isalphaCZ('\xF8'), 1);  // ř
  EXPECT_EQ(isalphaCZ('\xD9'), 1);  // Ů
  EXPECT_EQ(isalphaCZ('a'), 1);
  EXPECT_EQ(isalphaCZ('Z'), 1);
  EXPECT_EQ(isalphaCZ('\xE4'), 0);  // ä
  EXPECT_EQ(isalphaCZ('\xDF'), 0);  // ß
  EXPECT_EQ(isalphaCZ('-'), 0);
  EXPECT_EQ(isalphaCZ('5'), 0);
  EXPECT_EQ(isalphaCZ('\0'), 0);
  int letters = 0;
  for (int c = 0; c < 256; c++) letters += isalphaCZ(static_cast<char>(c));
  EXPECT_EQ(letters, 52 + 32);
}

TEST(CzechLetters, CaseThroughGivenAlphabets) {
  std::string s = "abcab";
  str_case(s.data(), "aba", "xyz");  // the first occurrence of a byte decides
  EXPECT_EQ(s, "xycxy");
}

}  // namespace
