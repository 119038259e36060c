#include <gtest/gtest.h>

#include <cctype>
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
  EXPECT_EQ(ucase("k\xF9\xF2"), "KU\xD2");                  // kůň -> KUŇ
  EXPECT_EQ(inPlace(str_ucase, "k\xF9\xF2"), "K\xD9\xD2");  // kůň -> KŮŇ
  EXPECT_EQ(lcase("\xD9L") + inPlace(str_lcase, "\xD9L"), "\xF9l\xF9l");  // ŮL -> ůl
  EXPECT_EQ(ucase("\xEF\xE1" "bel"), "\xCF\xC1" "BEL");    // ďábel -> ĎÁBEL
  EXPECT_EQ(lcase("\xD8\xCDZEN\xCD"), "\xF8\xEDzen\xED");  // ŘÍZENÍ -> řízení
  EXPECT_EQ(ucase(std::string("a\0b", 3)), std::string("A\0B", 3));  // NUL copied by value
}

TEST(CzechCase, InPlaceUpperCaseIsUcaseForEveryByte) {
  std::string all;
  for (int b = 0; b < 256; ++b) all.push_back(static_cast<char>(b));
  std::string folded = all;
  ucaseInPlace(&folded);
  EXPECT_EQ(folded, ucase(all));
  std::string empty;
  ucaseInPlace(&empty);
  EXPECT_EQ(empty, "");
}

TEST(CzechCase, WholeTablesAndEveryOtherByte) {
  std::string upperU = kCapitalCz;
  upperU[13] = 'U';
  EXPECT_EQ(ucase(kSmallCz), upperU);
  EXPECT_EQ(inPlace(str_ucase, kSmallCz), kCapitalCz);
  EXPECT_EQ(lcase(kCapitalCz), kSmallCz);
  EXPECT_EQ(inPlace(str_lcase, kCapitalCz), kSmallCz);
  EXPECT_EQ(ucase("abcdefghijklmnopqrstuvwxyz" + kCapitalCz), "ABCDEFGHIJKLMNOPQRSTUVWXYZ" + kCapitalCz);
  EXPECT_EQ(inPlace(str_lcase, "ABCDEFGHIJKLMNOPQRSTUVWXYZ" + kSmallCz), "abcdefghijklmnopqrstuvwxyz" + kSmallCz);
  // Every byte that is neither an ASCII letter nor in the table stays, and
  // is no letter.
  std::string others;
  int letters = 0;
  for (int c = 1; c < 256; c++) {
    const char ch = static_cast<char>(c);
    letters += isalphaCZ(ch);
    if (!isalpha(c) && kSmallCz.find(ch) == std::string::npos && kCapitalCz.find(ch) == std::string::npos)
      others += ch;
  }
  EXPECT_EQ(letters, 52 + 32);
  EXPECT_EQ(others.size(), 255u - 52u - 32u);
  for (const std::string& s : {ucase(others), lcase(others), inPlace(str_ucase, others), inPlace(str_lcase, others)})
    EXPECT_EQ(s, others);
  EXPECT_EQ(isalphaCZ('\xF8') + isalphaCZ('\xD9') + isalphaCZ('\xE4') + isalphaCZ('\0'), 2);  // ř Ů, not ä

  std::string s = "abcab";
  str_case(s.data(), "aba", "xyz");  // the first occurrence of a byte decides
  EXPECT_EQ(s, "xycxy");
}

}  // namespace
