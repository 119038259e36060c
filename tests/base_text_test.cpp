#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "base/text.h"
#include "testutil.h"

namespace {

using Words = std::vector<std::string>;

// The strings of a string list, closing empty string excluded.
Words listWords(const char* list) {
  Words out;
  for (const char* p = list; *p; p += strlen(p) + 1) out.emplace_back(p);
  return out;
}

// A string list built from words, in a buffer with room to spare.
std::vector<char> makeList(const Words& words) {
  std::vector<char> buf;
  for (const std::string& w : words) {
    buf.insert(buf.end(), w.begin(), w.end());
    buf.push_back('\0');
  }
  buf.push_back('\0');
  return buf;
}

struct Split {
  std::unique_ptr<char, decltype(&free)> buf{nullptr, &free};
  int count = -1;
};

Split getWords(const char* text, bool reg = false) {
  Split s;
  s.buf.reset(reg ? str_get_words_reg(text, &s.count) : str_get_words(text, &s.count));
  return s;
}

TEST(WordSplit, NormalisesWhitespaceAndKeepsPunctuation) {
  Split s = getWords("  \t a \n b  ");
  EXPECT_EQ(s.count, 2);
  // 2 * 11 + 1 zero-filled bytes; the words then the closing NULs.
  EXPECT_EQ(std::string(s.buf.get(), 5), std::string("a\0b\0\0", 5));
  EXPECT_EQ(listWords(s.buf.get()), (Words{"a", "b"}));

  s = getWords("Hello, world");
  EXPECT_EQ(s.count, 2);
  EXPECT_EQ(listWords(s.buf.get()), (Words{"Hello,", "world"}));

  s = getWords("\v\f\r\n\t ");
  EXPECT_EQ(s.count, 0);
  EXPECT_EQ(s.buf.get()[0], '\0');
}

TEST(WordSplit, EmptyTextGivesAnEmptyList) {
  Split s = getWords("");
  EXPECT_EQ(s.count, 0);
  EXPECT_EQ(s.buf.get()[0], '\0');
}

TEST(WordSplit, Latin2BytesAreLettersNotSpaces) {
  // 0xA0 (no-break space) and the accented letters are kept inside words.
  Split s = getWords("k\xF9\xF2 \xA0x");
  EXPECT_EQ(s.count, 2);
  EXPECT_EQ(listWords(s.buf.get()), (Words{"k\xF9\xF2", "\xA0x"}));
}

TEST(WordSplit, PreprocessCollapsesRunsAndLeavesOneTrailingSpace) {
  char out[32] = {};
  str_get_words_preprocess(out, "\t\tx \r\n y\t");
  EXPECT_STREQ(out, "x y ");
  char untouched[8];
  memset(untouched, '#', sizeof untouched);
  str_get_words_preprocess(untouched, "ab");
  EXPECT_EQ(std::string(untouched, 3), "ab#");  // writes no NUL
}

TEST(WordSplit, PatternSplitKeepsEveryGap) {
  Split s = getWords("a b ", true);
  EXPECT_EQ(s.count, 2);
  EXPECT_EQ(listWords(s.buf.get()), (Words{"a", "b"}));

  s = getWords(" ", true);
  EXPECT_EQ(s.count, 1);
  EXPECT_EQ(std::string(s.buf.get(), 3), std::string("\0\0\0", 3));

  s = getWords("a  b", true);
  EXPECT_EQ(s.count, 3);
  EXPECT_EQ(std::string(s.buf.get(), 6), std::string("a\0\0b\0\0", 6));

  s = getWords("a\tb", true);  // only the space separates
  EXPECT_EQ(s.count, 1);
  EXPECT_STREQ(s.buf.get(), "a\tb");
}

std::string joined(const Words& words) {
  std::vector<char> buf = makeList(words);
  makeString(buf.data());
  return buf.data();
}

TEST(Join, SpacingFollowsPunctuation) {
  EXPECT_EQ(joined({"Hello", ",", "world", "(", "test", ")", "a", "+", "b"}),
            "Hello, world (test) a+b");
  EXPECT_EQ(joined({"a", "-", "b"}), "a - b");
  EXPECT_EQ(joined({"x", "(", "y", ")", "."}), "x (y).");
  EXPECT_EQ(joined({"a", "/", "b", "|", "c", "\\", "d", "&", "e", "*", "f"}), "a/b|c\\d&e*f");
  EXPECT_EQ(joined({"[", "a", "]", "{", "b", "}"}), "[a] {b}");
  EXPECT_EQ(joined({"one"}), "one");
  EXPECT_EQ(joined({}), "");
}

TEST(Join, LongTextsAreNotCut) {
  Words words;
  for (int i = 0; i < 3000; i++) words.push_back("word" + std::to_string(i));
  std::string expected;
  for (const std::string& w : words) expected += (expected.empty() ? "" : " ") + w;
  ASSERT_GT(expected.size(), 8192u);
  EXPECT_EQ(joined(words), expected);
}

TEST(Join, SpaceTests) {
  EXPECT_EQ(spaceAfter(""), 0);
  EXPECT_EQ(spaceAfter("+"), 0);
  EXPECT_EQ(spaceAfter("("), 0);
  EXPECT_EQ(spaceAfter(")"), 1);
  EXPECT_EQ(spaceAfter(","), 1);
  EXPECT_EQ(spaceAfter("++"), 1);
  EXPECT_EQ(spaceBefore(""), 0);
  EXPECT_EQ(spaceBefore(","), 0);
  EXPECT_EQ(spaceBefore("("), 1);
  EXPECT_EQ(spaceBefore("-"), 1);
  EXPECT_EQ(spaceBefore("_"), 1);
  EXPECT_EQ(spaceBefore(".."), 1);
}

TEST(CharClasses, Members) {
  std::string punct;
  for (int c = 0; c < 256; c++)
    if (ispuncx(static_cast<char>(c))) punct += static_cast<char>(c);
  EXPECT_EQ(punct, "!\"#$%&'()*+,./:;<=>?@[\\]^`{|}~");
  std::string inp, open, close, br;
  for (int c = 0; c < 256; c++) {
    const char ch = static_cast<char>(c);
    if (isinpnc(ch)) inp += ch;
    if (isopenbracket(ch)) open += ch;
    if (isclosebracket(ch)) close += ch;
    if (isbracket(ch)) br += ch;
  }
  EXPECT_EQ(inp, "&*+/\\|");
  EXPECT_EQ(open, "([{");
  EXPECT_EQ(close, ")]}");
  EXPECT_EQ(br, "()[]{}");
}

TEST(Parts, SplitAtSeparatorWithAndWithoutTrim) {
  strings p;
  EXPECT_TRUE(getParts(",a,,b ,", &p, ',', true));
  EXPECT_EQ(p.count, 2);
  EXPECT_EQ(p[0], "a");
  EXPECT_EQ(p[1], "b");
  EXPECT_EQ(p[2], "");

  EXPECT_TRUE(getParts(",a,,b ,", &p, ',', false));
  EXPECT_EQ(p.count, 2);
  EXPECT_EQ(p[1], "b ");

  EXPECT_TRUE(getParts("x.  .y", &p, '.', false));
  EXPECT_EQ(p.count, 3);
  EXPECT_EQ(p[1], "  ");
  EXPECT_TRUE(getParts("x.  .y", &p, '.', true));
  EXPECT_EQ(p.count, 2);
  EXPECT_EQ(p[1], "y");

  EXPECT_TRUE(getParts("", &p, '.', true));
  EXPECT_EQ(p.count, 0);
  EXPECT_EQ(p[0], "");
  EXPECT_TRUE(getParts("entry.sense", &p, '.', false));
  EXPECT_EQ(p.count, 2);
  EXPECT_EQ(p[0], "entry");
}

TEST(Parts, MoreThan4095PartsKeepsTheFirstAndReportsIt) {
  std::string s;
  for (int i = 0; i < 5000; i++) s += std::to_string(i) + ",";
  strings p;
  EXPECT_FALSE(getParts(s, &p, ',', false));
  EXPECT_EQ(p.count, 4095);
  EXPECT_EQ(p[4094], "4094");
  EXPECT_EQ(p[4095], "");

  s.clear();
  for (int i = 0; i < 4095; i++) s += "x,";
  EXPECT_TRUE(getParts(s, &p, ',', false));
  EXPECT_EQ(p.count, 4095);
}

TEST(Parts, PushRefusesBeyondCapacity) {
  strings p;
  for (int i = 0; i < strings::kCapacity; i++) ASSERT_TRUE(p.push(std::to_string(i)));
  EXPECT_FALSE(p.push("more"));
  EXPECT_EQ(p.count, strings::kCapacity);
  EXPECT_EQ(p[4095], "4095");
  EXPECT_EQ(p[4096], "");
  p.reset();
  EXPECT_EQ(p.count, 0);
  EXPECT_EQ(p[0], "");
  EXPECT_EQ(p[-1], "");
  EXPECT_TRUE(p.push("a"));
  // Pushing after a split appends after its parts.
  getParts("x,y", &p, ',', false);
  EXPECT_TRUE(p.push("z"));
  EXPECT_EQ(p.count, 3);
  EXPECT_EQ(p[2], "z");
}

TEST(Names, DottedNamesAndExtensions) {
  EXPECT_EQ(fnNoExt("entry.sense.def"), "entry.sense");
  EXPECT_EQ(fnNoExt("entry"), "");
  EXPECT_EQ(fnExt("entry.sense.def"), "def");
  EXPECT_EQ(fnExt("entry"), "entry");
  EXPECT_EQ(fnExt(".def"), ".def");
  EXPECT_EQ(fnExt("a."), "");

  char dst[32];
  EXPECT_STREQ(str_noext(dst, "dict.xml"), "dict");
  EXPECT_STREQ(str_noext(dst, "dict"), "dict");
  EXPECT_STREQ(str_noext(dst, "a.b.c"), "a.b");
  char self[] = "same.txt";
  EXPECT_STREQ(str_noext(self, self), "same");

  char s[] = "dict.xml";
  EXPECT_EQ(str_cutext(s, "ent"), 0);
  EXPECT_STREQ(s, "dict.xml");
  EXPECT_EQ(str_cutext(s, "xml"), 1);
  EXPECT_STREQ(s, "dict");
  EXPECT_EQ(str_cutext(s, ""), 0);
}

TEST(Strings, FirstReplaceMatchNumbers) {
  EXPECT_EQ(first("abc", 5, 2), "c");
  EXPECT_EQ(first("abcdef", 1, 3), "bcd");
  EXPECT_EQ(first("abc", -1, 2), "c");  // compared unsigned: past the end
  EXPECT_EQ(first("", 0, 2), "");
  EXPECT_EQ(replace("a.b.c", '.', '/'), "a/b/c");

  EXPECT_FALSE(match("ab", "abab", 2));
  EXPECT_TRUE(match("ab", "abab", 1));
  EXPECT_TRUE(match("ba", "abab", 0));
  EXPECT_TRUE(match("b", "ab", 2));
  EXPECT_TRUE(match("ab", "ab", 3));
  EXPECT_FALSE(match("ab", "abc", 3));
  EXPECT_TRUE(match("", "xyz", 0));
  EXPECT_TRUE(match("", "xyz", 1));
  EXPECT_FALSE(match("a", "a", 4));

  EXPECT_EQ(strl("  -42x"), -42);
  EXPECT_EQ(strl("+7"), 7);
  EXPECT_EQ(strl("x"), 0);
  EXPECT_EQ(lstr(-5), "-5");
  EXPECT_EQ(lstr(0), "0");
}

TEST(Strings, TrimmingTouchesOnlySpaces) {
  EXPECT_EQ(lrscut("\tx "), "\tx");
  EXPECT_EQ(lrscut("   "), "");
  EXPECT_EQ(lrscut("  a b  "), "a b");

  char s[] = "  a\tb  ";
  str_scut(s);
  EXPECT_STREQ(s, "a\tb");
  char blank[] = "    ";
  str_scut(blank);
  EXPECT_STREQ(blank, "");

  std::string big(10000, 'x');
  std::string padded = "  " + big + "  ";
  str_scut(padded.data());
  EXPECT_EQ(strlen(padded.c_str()), big.size());
}

TEST(Strings, InPlaceEdits) {
  char s[] = "a-b_c-d";
  str_dele(s, "-_");
  EXPECT_STREQ(s, "abcd");
  std::string big(9000, 'a');
  for (size_t i = 0; i < big.size(); i += 3) big[i] = '.';
  str_dele(big.data(), ".");
  EXPECT_EQ(strlen(big.c_str()), 6000u);

  char c[8] = "ab";
  strcatc(c, 'c');
  EXPECT_STREQ(c, "abc");

  char buf[8];
  spaces(buf, 3);
  EXPECT_STREQ(buf, "   ");
  tabs(buf, 2);
  EXPECT_STREQ(buf, "\t\t");
  spaces(buf, 0);
  EXPECT_STREQ(buf, "");

  char l1[] = "line\r\n";
  str_crlf(l1);
  EXPECT_STREQ(l1, "line");
  char l2[] = "line\n\n\n";
  str_crlf(l2);
  EXPECT_STREQ(l2, "line\n");
  char l3[] = "\n";
  str_crlf(l3);
  EXPECT_STREQ(l3, "");

  char w[] = "p\xF8\xEDli\xB9-k\xF9\xF2";
  str_getfirst_alpha(w);
  EXPECT_STREQ(w, "p\xF8\xEDli\xB9");
  char d[] = "9a";
  str_getfirst_alpha(d);
  EXPECT_STREQ(d, "");
}

TEST(Quotes, DoubleQuotedText) {
  char dst[64];
  EXPECT_STREQ(getDQCare(dst, "x=\"abc\" y"), "abc");
  EXPECT_STREQ(getDQCare(dst, "\"a\\\"b\" c"), "a\\\"b");  // keeps the backslash
  EXPECT_STREQ(getDQCare(dst, "\\\"no\" \"yes\""), " ");
  EXPECT_STREQ(getDQCare(dst, "x=\"open"), "open");
  EXPECT_STREQ(getDQCare(dst, "none"), "");

  EXPECT_EQ(findEndStr("a\\\"b\"", 0), 4);
  EXPECT_EQ(findEndStr("\"", 0), 0);
  EXPECT_EQ(findEndStr("abc", 0), -1);
  EXPECT_EQ(findEndStr("\"a\"", 1), 2);
  EXPECT_EQ(unescape("say \\\"hi\\\" \\n"), "say \"hi\" \\n");
}

TEST(Quotes, CarefulSplitOutsideQuotesAndParentheses) {
  char dst[128];
  EXPECT_EQ(getPartsCare("a, 'b,c' , f(x,y), \"d,e\",,", dst, ',', 1), 4);
  EXPECT_EQ(listWords(dst), (Words{"a", "'b,c'", "f(x,y)", "\"d,e\""}));
  EXPECT_EQ(getPartsCare(" a , b ", dst, ',', 0), 2);
  EXPECT_EQ(listWords(dst), (Words{" a ", " b "}));
  // The unmatched ")" ends the scan.
  EXPECT_EQ(getPartsCare("a,b),c", dst, ',', 1), 2);
  EXPECT_EQ(listWords(dst), (Words{"a", "b"}));
  EXPECT_EQ(getPartsCare("", dst, ',', 1), 0);
  EXPECT_EQ(dst[0], '\0');
}

TEST(Quotes, DivideCallLikeText) {
  char name[64], args[64];
  divideFunc("f(a, g(b), \")\")tail", name, args);
  EXPECT_STREQ(name, "f");
  EXPECT_STREQ(args, "a, g(b), \")\"");
  divideFunc("'x(y)'(z)", name, args);
  EXPECT_STREQ(name, "'x(y)'");
  EXPECT_STREQ(args, "z");
  divideFunc("plain", name, args);
  EXPECT_STREQ(name, "plain");
  EXPECT_STREQ(args, "");
  divideFunc("(a)", name, args);
  EXPECT_STREQ(name, "");
  EXPECT_STREQ(args, "a");
  divideFunc("f(open", name, args);
  EXPECT_STREQ(name, "f");
  EXPECT_STREQ(args, "open");
}

std::string listBytes(const char* list) { return std::string(list, str_mlen(list)); }

TEST(Lists, DivideWithFlags) {
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
}

TEST(Lists, CleaningSplitLowercases) {
  char dst[64];
  str_divi2(dst, "(K\xD9\xD2), ;;  Pes! .", ' ');
  EXPECT_EQ(listWords(dst), (Words{"k\xF9\xF2", "pes"}));
  str_divi2(dst, "", ' ');
  EXPECT_EQ(dst[0], '\0');
  str_divi2(dst, "a.-b", '-');
  EXPECT_EQ(listWords(dst), (Words{"a", "b"}));
}

TEST(Lists, CopyReverseIndexDuplicates) {
  std::vector<char> list = makeList({"a", "bb", "a", "c", "bb", "a"});
  EXPECT_EQ(str_mlen(list.data()), 15u);
  EXPECT_EQ(str_mlen(""), 1u);

  char dst[32];
  str_mcpy(dst, list.data());
  EXPECT_EQ(listBytes(dst), std::string(list.data(), list.size()));
  str_mrev(dst, list.data());
  EXPECT_EQ(listWords(dst), (Words{"a", "bb", "c", "a", "bb", "a"}));
  EXPECT_EQ(dst[14], '\0');

  char* idx[8];
  EXPECT_EQ(str_midx(idx, list.data()), 6);
  EXPECT_STREQ(idx[3], "c");
  EXPECT_EQ(idx[6], nullptr);

  EXPECT_EQ(str_fdup(list.data()), 3);  // a, bb, a occur again later
}

TEST(Lists, Locate) {
  int pos = 0;
  const std::string s = "a.bc.d";
  EXPECT_EQ(locate(s, '.', &pos), "a");
  EXPECT_EQ(pos, 1);
  pos++;
  EXPECT_EQ(locate(s, '.', &pos), "bc");
  EXPECT_EQ(pos, 4);
  pos++;
  EXPECT_EQ(locate(s, '.', &pos), "d");
  EXPECT_EQ(pos, 6);
  pos = 99;
  EXPECT_EQ(locate(s, '.', &pos), "");
  EXPECT_EQ(pos, 6);
}

TEST(Print, LinesToStandardOutput) {
  testutil::CaptureFd out(STDOUT_FILENO);
  pint(-12);
  pstr("tex%t");
  pchr('x');
  EXPECT_EQ(out.text(), "-12\ntex%t\nx\n");
}

}  // namespace
