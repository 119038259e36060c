// lexorn-find's parts that need no dictionary: the conversions between the
// locale's character set and ISO-8859-2, JSON strings, and the command line.

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "builder/find_args.h"
#include "builder/find_text.h"

namespace {

using Strings = std::vector<std::string>;

std::unique_ptr<TermText> open(const std::string& codeset, bool raw = false) {
  std::string error;
  std::unique_ptr<TermText> t = TermText::open(codeset, raw, &error);
  EXPECT_TRUE(t) << error;
  return t;
}

std::string byte(int b) { return std::string(1, static_cast<char>(b)); }

}  // namespace

TEST(Latin2, EveryByteIsItsOwnCharacter) {
  std::array<uint32_t, 256> table{};
  ASSERT_TRUE(latin2CodePoints(&table));
  std::set<uint32_t> distinct(table.begin(), table.end());
  EXPECT_EQ(distinct.size(), 256u);
  for (int b = 0; b < 0xA0; ++b) EXPECT_EQ(table[b], static_cast<uint32_t>(b)) << b;  // as in Latin-1
  // The Czech letters that differ from Latin-1: u ring, n and c caron.
  EXPECT_EQ(table[0xF9], 0x16Fu);
  EXPECT_EQ(table[0xF2], 0x148u);
  EXPECT_EQ(table[0xC8], 0x10Cu);
  EXPECT_EQ(latin2ToUtf8(table, "k\xf9\xf2 A\xe1"), "k\xc5\xaf\xc5\x88 A\xc3\xa1");
  EXPECT_EQ(latin2ToUtf8(table, ""), "");
}

TEST(TermText, Utf8RoundTripsEveryCharacter) {
  auto t = open("UTF-8");
  ASSERT_TRUE(t);
  EXPECT_FALSE(t->passes());
  std::array<uint32_t, 256> table{};
  ASSERT_TRUE(latin2CodePoints(&table));
  std::string all;
  for (int b = 1; b < 256; ++b) {
    std::string shown = t->toTerminal(byte(b));
    EXPECT_EQ(shown, latin2ToUtf8(table, byte(b))) << b;
    std::string back, error;
    EXPECT_TRUE(t->toStored(shown, &back, &error)) << b << error;
    EXPECT_EQ(back, byte(b)) << b;
    all += byte(b);
  }
  std::string back, error;
  ASSERT_TRUE(t->toStored(t->toTerminal(all), &back, &error)) << error;
  EXPECT_EQ(back, all);
  EXPECT_EQ(t->toTerminal(""), "");
  EXPECT_TRUE(t->toStored("", &back, &error));
  EXPECT_EQ(back, "");
}

TEST(TermText, RefusesWhatIsNotTextOrHasNoPlaceInLatin2) {
  auto t = open("UTF-8");
  ASSERT_TRUE(t);
  const std::pair<std::string, std::string> cases[] = {
      {"k\xf9\xf2", "Error: 'k\xf9\xf2' is not valid text in the locale's character set (UTF-8); --raw takes text "
                    "as stored."},
      {"k\xc5", "Error: 'k\xc5' is not valid text in the locale's character set (UTF-8); --raw takes text as "
                "stored."},
      {"\xe2\x82\xac", "Error: '\xe2\x82\xac' holds the character U+20AC, which ISO-8859-2, the dictionary's "
                       "character set, has not."},
      {"x\xf0\x9f\x90\xb4", "Error: 'x\xf0\x9f\x90\xb4' holds the character U+1F434, which ISO-8859-2, the "
                            "dictionary's character set, has not."},
  };
  for (const auto& [text, message] : cases) {
    std::string out = "untouched", error;
    EXPECT_FALSE(t->toStored(text, &out, &error)) << text;
    EXPECT_EQ(error, message);
  }
  // A failure leaves nothing behind in the converter's state.
  std::string out, error;
  EXPECT_TRUE(t->toStored("k\xc5\xaf\xc5\x88", &out, &error)) << error;
  EXPECT_EQ(out, "k\xf9\xf2");
}

TEST(TermText, PassesBytesWhereNoConversionIsMeant) {
  for (auto [codeset, raw] : {std::pair<const char*, bool>{"ANSI_X3.4-1968", false}, {"ISO-8859-2", false},
                              {"UTF-8", true}, {"NO-SUCH-SET", true}}) {
    auto t = open(codeset, raw);
    ASSERT_TRUE(t) << codeset;
    EXPECT_TRUE(t->passes()) << codeset;
    std::string all, out, error;
    for (int b = 1; b < 256; ++b) all += byte(b);
    EXPECT_TRUE(t->toStored(all, &out, &error));
    EXPECT_EQ(out, all) << codeset;
    EXPECT_EQ(t->toTerminal(all), all) << codeset;
  }
  std::string error;
  EXPECT_FALSE(TermText::open("NO-SUCH-SET", false, &error));
  EXPECT_EQ(error,
            "Error: The C library cannot convert between the locale's character set NO-SUCH-SET and ISO-8859-2, "
            "the dictionary's; --raw takes text as stored.");
}

TEST(TermText, OtherSingleByteSets) {
  auto t = open("ISO-8859-1");
  ASSERT_TRUE(t);
  // a acute is in both sets, at the same byte; u ring only in ISO-8859-2:
  // it is shown as one plain character, never as a Latin-1 letter.
  EXPECT_EQ(t->toTerminal("\xe1"), "\xe1");
  std::string ring = t->toTerminal("k\xf9\xf2x");
  ASSERT_GE(ring.size(), 4u);
  EXPECT_EQ(ring.front(), 'k');
  EXPECT_EQ(ring.back(), 'x');
  for (char c : ring) EXPECT_LT(static_cast<unsigned char>(c), 0x80) << ring;
  std::string out, error;
  EXPECT_TRUE(t->toStored("\xe1", &out, &error));
  EXPECT_EQ(out, "\xe1");
  EXPECT_FALSE(t->toStored("a\xf1o", &out, &error));
  EXPECT_NE(error.find("U+00F1"), std::string::npos) << error;
  // A long text grows the output as it goes.
  std::string many(5000, '\xf9');
  std::string shown = t->toTerminal(many);
  EXPECT_GE(shown.size(), many.size());
}

TEST(JsonQuote, EscapesWhatJsonMust) {
  EXPECT_EQ(jsonQuote(""), "\"\"");
  EXPECT_EQ(jsonQuote("say \"hi\" a\\b"), "\"say \\\"hi\\\" a\\\\b\"");
  EXPECT_EQ(jsonQuote("a\nb\tc\rd\be\ff"), "\"a\\nb\\tc\\rd\\be\\ff\"");
  EXPECT_EQ(jsonQuote(std::string("\x01\x1f\x7f", 3)), "\"\\u0001\\u001f\x7f\"");
  EXPECT_EQ(jsonQuote("k\xc5\xaf\xc5\x88 </x>"), "\"k\xc5\xaf\xc5\x88 </x>\"");
}

TEST(FindArgs, OptionsAnywhereBeforeTheDoubleDash) {
  FindArgs a;
  EXPECT_EQ(parseFindArgs({"d", "word", "E.HW", "cat", "-l", "-m", "5", "dog", "-p"}, &a), "");
  EXPECT_TRUE(a.link);
  EXPECT_TRUE(a.pattern);
  EXPECT_EQ(a.limit, 5);
  EXPECT_EQ(a.dict, "d");
  EXPECT_EQ(a.command, "word");
  EXPECT_EQ(a.operands, (Strings{"E.HW", "cat", "dog"}));
  EXPECT_FALSE(a.raw || a.json || a.help);

  EXPECT_EQ(parseFindArgs({"--json", "d", "word", "-m7", "E.HW", "--", "-l", "--raw", "-"}, &a), "");
  EXPECT_TRUE(a.json);
  EXPECT_FALSE(a.raw || a.link);
  EXPECT_EQ(a.limit, 7);
  EXPECT_EQ(a.operands, (Strings{"E.HW", "-l", "--raw", "-"}));

  EXPECT_EQ(parseFindArgs({"d", "entry", "--raw", "3"}, &a), "");
  EXPECT_TRUE(a.raw);
  EXPECT_EQ(a.operands, Strings{"3"});

  // Help wins over anything after it, but not over "--".
  EXPECT_EQ(parseFindArgs({"d", "word", "-h", "-x"}, &a), "");
  EXPECT_TRUE(a.help);
  EXPECT_EQ(parseFindArgs({"d", "word", "E", "--", "--help"}, &a), "");
  EXPECT_FALSE(a.help);

  const std::pair<Strings, std::string> refused[] = {
      {{}, "a dictionary and a command are needed."},
      {{"d", "-l"}, "a dictionary and a command are needed."},
      {{"d", "find", "x"}, "unknown command find."},
      {{"d", "word", "E", "x", "--verbose"}, "unknown option --verbose."},
      {{"d", "word", "-m", "-1", "E", "x"}, "bad limit '-1'."},
      {{"d", "word", "-m2x", "E", "x"}, "bad limit '2x'."},
      {{"d", "word", "-m", "2147483648", "E", "x"}, "bad limit '2147483648'."},
      {{"d", "entry", "1", "-m", "3"}, "option -m is for the word command only."},
      {{"d", "words", "E", "-l", "-p"}, "option -l is for the word command only."},
  };
  for (const auto& [args, what] : refused) EXPECT_EQ(parseFindArgs(args, &a), what) << what;
  EXPECT_EQ(parseFindArgs({"d", "word", "-m", "2147483647", "E", "x"}, &a), "");
  EXPECT_EQ(a.limit, 2147483647);
}

TEST(FindArgs, AnchorsOfOnesOwn) {
  for (const char* p : {"^cat", "cat$", "^cat$", "^", "c.*\\\\$", "$"}) EXPECT_TRUE(patternHasAnchor(p)) << p;
  for (const char* p : {"", "cat", "c^at", "ca$t", "cat\\$", "c.*\\\\\\$", "[^c]at"})
    EXPECT_FALSE(patternHasAnchor(p)) << p;
}
