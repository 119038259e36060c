#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "base/text.h"
#include "testutil.h"

namespace {

using Words = std::vector<std::string>;

// The strings of a string list up to its closing empty string, "|"-joined.
std::string listed(const char* list) {
  std::string out;
  for (const char* p = list; *p; p += strlen(p) + 1) out += (out.empty() ? "" : "|") + std::string(p);
  return out;
}
// Exactly n strings of a buffer, empty ones included: "n:a||b".
std::string items(const char* buf, int n) {
  std::string out = std::to_string(n) + ":";
  for (int i = 0; i < n; buf += strlen(buf) + 1) out += (i++ ? "|" : "") + std::string(buf);
  return out;
}
std::string listBytes(const char* list) { return std::string(list, str_mlen(list)); }

std::vector<char> makeList(const Words& words) {
  std::vector<char> buf;
  for (const std::string& w : words) buf.insert(buf.end(), w.c_str(), w.c_str() + w.size() + 1);
  buf.push_back('\0');
  return buf;
}

// The words of a split, and the zero-filled bytes of its buffer up to `n`.
std::string split(const char* text, bool reg, size_t n = 0) {
  int count = -1;
  std::unique_ptr<char, decltype(&free)> buf(reg ? str_get_words_reg(text, &count) : str_get_words(text, &count), &free);
  return items(buf.get(), count) + (n ? "#" + std::string(buf.get(), n) : "");
}

TEST(WordSplit, WhitespaceSeparatesPunctuationStaysLatin2IsLetters) {
  EXPECT_EQ(split("  \t a \n b  ", false, 5), std::string("2:a|b#a\0b\0\0", 11));  // 2 * 11 + 1 zero-filled
  EXPECT_EQ(split("Hello, world", false), "2:Hello,|world");
  EXPECT_EQ(split("\v\f\r\n\t ", false, 1), std::string("0:#\0", 4));
  EXPECT_EQ(split("", false, 1), std::string("0:#\0", 4));
  EXPECT_EQ(split("k\xF9\xF2 \xA0x", false), "2:k\xF9\xF2|\xA0x");  // 0xA0 is no space
  // The pattern split keeps every gap; only the space separates.
  EXPECT_EQ(split("a b ", true), "2:a|b");
  EXPECT_EQ(split(" ", true, 3), std::string("1:#\0\0\0", 6));
  EXPECT_EQ(split("a  b", true), "3:a||b");
  EXPECT_EQ(split("a\tb", true), "1:a\tb");

  char out[32] = {};
  str_get_words_preprocess(out, "\t\tx \r\n y\t");
  EXPECT_STREQ(out, "x y ");
  char untouched[8];
  memset(untouched, '#', sizeof untouched);
  str_get_words_preprocess(untouched, "ab");
  EXPECT_EQ(std::string(untouched, 3), "ab#");  // writes no NUL
}

std::string joined(const Words& words) {
  std::vector<char> buf = makeList(words);
  makeString(buf.data());
  return buf.data();
}

TEST(Join, SpacingFollowsPunctuation) {
  EXPECT_EQ(joined({"Hello", ",", "world", "(", "test", ")", "a", "+", "b"}), "Hello, world (test) a+b");
  EXPECT_EQ(joined({"a", "-", "b", "x", "(", "y", ")", "."}), "a - b x (y).");
  EXPECT_EQ(joined({"a", "/", "b", "|", "c", "\\", "d", "&", "e", "*", "f"}), "a/b|c\\d&e*f");
  EXPECT_EQ(joined({"[", "a", "]", "{", "b", "}"}), "[a] {b}");
  EXPECT_EQ(joined({"one"}) + joined({}), "one");
  Words many;
  std::string expected;
  for (int i = 0; i < 3000; i++) {
    many.push_back("word" + std::to_string(i));
    expected += (i ? " " : "") + many.back();
  }
  EXPECT_EQ(joined(many), expected);  // long texts are not cut

  std::string after, before;
  for (const char* w : {"", "+", "(", ")", ",", "++"}) after += std::to_string(spaceAfter(w));
  for (const char* w : {"", ",", "(", "-", "_", ".."}) before += std::to_string(spaceBefore(w));
  EXPECT_EQ(after + " " + before, "000111 001111");
}

TEST(CharClasses, Members) {
  std::string punct, inp, open, close, br;
  for (int c = 0; c < 256; c++) {
    const char ch = static_cast<char>(c);
    if (ispuncx(ch)) punct += ch;
    if (isinpnc(ch)) inp += ch;
    if (isopenbracket(ch)) open += ch;
    if (isclosebracket(ch)) close += ch;
    if (isbracket(ch)) br += ch;
  }
  EXPECT_EQ(punct, "!\"#$%&'()*+,./:;<=>?@[\\]^`{|}~");
  EXPECT_EQ(inp + " " + open + " " + close + " " + br, "&*+/\\| ([{ )]} ()[]{}");
}

TEST(Parts, SplitAtSeparatorWithAndWithoutTrim) {
  struct Case {
    const char* s;
    char sep;
    bool trim;
    std::string want;
  } cases[] = {
      {",a,,b ,", ',', true, "a|b"},     {",a,,b ,", ',', false, "a|b "},
      {"x.  .y", '.', false, "x|  |y"},  {"x.  .y", '.', true, "x|y"},
      {"", '.', true, ""},               {"entry.sense", '.', false, "entry|sense"},
  };
  for (const Case& c : cases) {
    strings p;
    EXPECT_TRUE(getParts(c.s, &p, c.sep, c.trim));
    std::string got;
    for (int i = 0; i < p.count; i++) got += (i ? "|" : "") + p[i];
    EXPECT_EQ(got, c.want) << c.s;
    EXPECT_EQ(p[p.count], "");
  }
}

TEST(Parts, CapacityIsHonoured) {
  std::string s;
  for (int i = 0; i < 5000; i++) s += std::to_string(i) + ",";
  strings p;
  EXPECT_FALSE(getParts(s, &p, ',', false));  // the first 4095 kept, the loss reported
  EXPECT_EQ(p.count, 4095);
  EXPECT_EQ(p[4094] + "|" + p[4095], "4094|");
  s.clear();
  for (int i = 0; i < 4095; i++) s += "x,";
  EXPECT_TRUE(getParts(s, &p, ',', false));
  EXPECT_EQ(p.count, 4095);

  p.reset();
  for (int i = 0; i < strings::kCapacity; i++) ASSERT_TRUE(p.push(std::to_string(i)));
  EXPECT_FALSE(p.push("more"));
  EXPECT_EQ(p.count, strings::kCapacity);
  EXPECT_EQ(p[4095] + "|" + p[4096] + "|" + p[-1], "4095||");
  p.reset();
  EXPECT_EQ(p.count, 0);
  getParts("x,y", &p, ',', false);
  EXPECT_TRUE(p.push("z"));  // appends after the parts
  EXPECT_EQ(p.count, 3);
  EXPECT_EQ(p[2], "z");
}

TEST(Strings, ValueFunctions) {
  EXPECT_EQ(fnNoExt("entry.sense.def") + "," + fnNoExt("entry"), "entry.sense,");
  EXPECT_EQ(fnExt("entry.sense.def") + "," + fnExt("entry") + "," + fnExt(".def") + "," + fnExt("a."),
            "def,entry,.def,");
  EXPECT_EQ(first("abc", 5, 2) + "," + first("abcdef", 1, 3) + "," + first("", 0, 2), "c,bcd,");
  EXPECT_EQ(first("abc", -1, 2), "c");  // compared unsigned: past the end
  EXPECT_EQ(replace("a.b.c", '.', '/'), "a/b/c");
  // match: 0 contains, 1 begins, 2 ends, 3 equals; anything else fails.
  std::string m;
  for (auto [a, b, mode] : {std::tuple{"ab", "abab", 2}, {"ab", "abab", 1}, {"ba", "abab", 0}, {"b", "ab", 2},
                            {"ab", "ab", 3}, {"ab", "abc", 3}, {"", "xyz", 0}, {"", "xyz", 1}, {"a", "a", 4}})
    m += std::to_string(match(a, b, mode));
  EXPECT_EQ(m, "011110110");
  EXPECT_EQ(strl("  -42x") + strl("+7") + strl("x"), -35);
  EXPECT_EQ(lstr(-5) + lstr(0), "-50");
  EXPECT_EQ(lrscut("\tx ") + "|" + lrscut("   ") + "|" + lrscut("  a b  "), "\tx||a b");  // spaces only
  int pos = 0;
  std::string parts;
  for (int i = 0; i < 4; i++, pos++) {
    if (i == 3) pos = 99;
    std::string part = locate("a.bc.d", '.', &pos);
    parts += part + std::to_string(pos) + " ";
  }
  EXPECT_EQ(parts, "a1 bc4 d6 6 ");
}

TEST(Strings, InPlaceEdits) {
  char dst[32];
  EXPECT_STREQ(str_noext(dst, "dict.xml"), "dict");
  EXPECT_STREQ(str_noext(dst, "a.b.c"), "a.b");
  EXPECT_STREQ(str_noext(dst, "dict"), "dict");
  char self[] = "same.txt";
  EXPECT_STREQ(str_noext(self, self), "same");
  char s[] = "dict.xml";
  EXPECT_EQ(str_cutext(s, "ent"), 0);
  EXPECT_EQ(str_cutext(s, "xml"), 1);
  EXPECT_STREQ(s, "dict");
  EXPECT_EQ(str_cutext(s, ""), 0);

  char t[] = "  a\tb  ", blank[] = "    ", d[] = "a-b_c-d", c[8] = "ab", buf[8];
  str_scut(t);
  str_scut(blank);
  str_dele(d, "-_");
  strcatc(c, 'c');
  EXPECT_EQ(std::string(t) + "|" + blank + "|" + d + "|" + c, "a\tb||abcd|abc");
  std::string big = "  " + std::string(10000, 'x') + "  ";
  str_scut(big.data());
  EXPECT_EQ(strlen(big.c_str()), 10000u);
  std::string dots(9000, 'a');
  for (size_t i = 0; i < dots.size(); i += 3) dots[i] = '.';
  str_dele(dots.data(), ".");
  EXPECT_EQ(strlen(dots.c_str()), 6000u);
  spaces(buf, 3);
  EXPECT_STREQ(buf, "   ");
  tabs(buf, 2);
  EXPECT_STREQ(buf, "\t\t");
  spaces(buf, 0);
  EXPECT_STREQ(buf, "");

  char l1[] = "line\r\n", l2[] = "line\n\n\n", l3[] = "\n", w[] = "p\xF8\xEDli\xB9-k\xF9\xF2", n[] = "9a";
  str_crlf(l1);
  str_crlf(l2);
  str_crlf(l3);
  str_getfirst_alpha(w);
  str_getfirst_alpha(n);
  EXPECT_EQ(std::string(l1) + "|" + l2 + "|" + l3 + "|" + w + "|" + n, "line|line\n||p\xF8\xEDli\xB9|");
}

TEST(Quotes, QuotedTextCarefulSplitAndCallLikeText) {
  char dst[128];
  EXPECT_STREQ(getDQCare(dst, "x=\"abc\" y"), "abc");
  EXPECT_STREQ(getDQCare(dst, "\"a\\\"b\" c"), "a\\\"b");  // keeps the backslash
  EXPECT_STREQ(getDQCare(dst, "\\\"no\" \"yes\""), " ");
  EXPECT_STREQ(getDQCare(dst, "x=\"open"), "open");
  EXPECT_STREQ(getDQCare(dst, "none"), "");
  EXPECT_EQ(std::to_string(findEndStr("a\\\"b\"", 0)) + std::to_string(findEndStr("\"", 0)) +
                std::to_string(findEndStr("abc", 0)) + std::to_string(findEndStr("\"a\"", 1)),
            "40-12");
  EXPECT_EQ(unescape("say \\\"hi\\\" \\n"), "say \"hi\" \\n");

  // Splits outside quotes and parentheses; an unmatched ")" ends the scan.
  EXPECT_EQ(getPartsCare("a, 'b,c' , f(x,y), \"d,e\",,", dst, ',', 1), 4);
  EXPECT_EQ(listed(dst), "a|'b,c'|f(x,y)|\"d,e\"");
  EXPECT_EQ(getPartsCare(" a , b ", dst, ',', 0), 2);
  EXPECT_EQ(listed(dst), " a | b ");
  EXPECT_EQ(getPartsCare("a,b),c", dst, ',', 1), 2);
  EXPECT_EQ(listed(dst), "a|b");
  EXPECT_EQ(getPartsCare("", dst, ',', 1), 0);
  EXPECT_EQ(dst[0], '\0');

  char name[64], args[64];
  std::string calls;
  for (const char* text : {"f(a, g(b), \")\")tail", "'x(y)'(z)", "plain", "(a)", "f(open"}) {
    divideFunc(text, name, args);
    calls += std::string(name) + "(" + args + ") ";
  }
  EXPECT_EQ(calls, "f(a, g(b), \")\") 'x(y)'(z) plain() (a) f(open) ");
}

TEST(Lists, DivideCopyReverseIndexDuplicates) {
  char dst[64];
  EXPECT_EQ(str_divi(dst, ",a,,b", ',', 0), 4);
  EXPECT_EQ(listBytes(dst), std::string("a\0b\0\0", 5));
  EXPECT_EQ(str_divi(dst, ",a,,b", ',', 1), 4);
  EXPECT_EQ(std::string(dst, 7), std::string("\0a\0\0b\0\0", 7));
  EXPECT_EQ(str_divi(dst, ",a,,b", ',', 2), 4);
  EXPECT_EQ(listBytes(dst), std::string(",\0a\0,\0b\0\0", 9));
  EXPECT_EQ(str_divi(dst, "a,", ',', 0), 2);  // the empty tail is written
  EXPECT_EQ(std::string(dst, 4), std::string("a\0\0\0", 4));
  EXPECT_EQ(str_divi(dst, "", ',', 1), 0);
  EXPECT_EQ(dst[0], '\0');
  // The cleaning split lower-cases and drops punctuation.
  str_divi2(dst, "(K\xD9\xD2), ;;  Pes! .", ' ');
  EXPECT_EQ(listed(dst), "k\xF9\xF2|pes");
  str_divi2(dst, "a.-b", '-');
  EXPECT_EQ(listed(dst), "a|b");
  str_divi2(dst, "", ' ');
  EXPECT_EQ(dst[0], '\0');

  std::vector<char> list = makeList({"a", "bb", "a", "c", "bb", "a"});
  EXPECT_EQ(str_mlen(list.data()), 15u);
  EXPECT_EQ(str_mlen(""), 1u);
  str_mcpy(dst, list.data());
  EXPECT_EQ(listBytes(dst), std::string(list.data(), list.size()));
  str_mrev(dst, list.data());
  EXPECT_EQ(listBytes(dst), std::string("a\0bb\0c\0a\0bb\0a\0\0", 15));
  char* idx[8];
  EXPECT_EQ(str_midx(idx, list.data()), 6);
  EXPECT_STREQ(idx[3], "c");
  EXPECT_EQ(idx[6], nullptr);
  EXPECT_EQ(str_fdup(list.data()), 3);  // a, bb, a occur again later
}

TEST(Print, LinesToStandardOutput) {
  testutil::CaptureFd out(STDOUT_FILENO);
  pint(-12);
  pstr("tex%t");
  pchr('x');
  EXPECT_EQ(out.text(), "-12\ntex%t\nx\n");
}

}  // namespace
