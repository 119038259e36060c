// The lexorn-find console tool, run as a program on dictionaries that the
// lexorn binary has built: exact output bytes, exit statuses and messages,
// in the C locale and in a UTF-8 one, as text and as JSON lines.

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <clocale>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "index_fixture.h"
#include "testutil.h"

using testutil::fileExists;
using testutil::readFile;
using testutil::RunResult;
using testutil::TempDir;
using testutil::writeFile;
using Lines = std::vector<std::string>;

namespace {

// The tool is built beside lexorn.
std::string toolPath() {
  std::string bin = LEXORN_BIN;
  return bin.substr(0, bin.rfind('/') + 1) + "lexorn-find";
}

const char kDef[] =
    "0 HESLO\t1\t1\tN\n  1 HW\t1\t1\tK\n  1 TR\t1\t-1\tN\n  1 ODKAZ\t0\t-1\tL\n  1 REF\t0\t-1\tR\tHESLO.HW\n";

// Latin-2 throughout: k\xf9\xf2 is the Czech word for horse.
const char kXml[] =
    "<?xml version=\"1.0\" encoding=\"ISO-8859-2\"?>\n"
    "<HESLO><HW>k\xf9\xf2</HW><TR>horse</TR><TR>knight</TR></HESLO>\n"
    "<HESLO><HW>pes</HW><TR>dog</TR><ODKAZ>k\xf9\xf2</ODKAZ></HESLO>\n"
    "<HESLO><HW>kobyla</HW><TR>mare</TR><TR>horse</TR></HESLO>\n";

const std::string kEntry1 = "<HESLO>\n  <HW>k\xf9\xf2</HW>\n  <TR>horse</TR>\n  <TR>knight</TR>\n</HESLO>\n\n";
const std::string kEntry2 = "<HESLO>\n  <HW>pes</HW>\n  <TR>dog</TR>\n  <ODKAZ>k\xf9\xf2</ODKAZ>\n</HESLO>\n\n";
const std::string kEntry3 = "<HESLO>\n  <HW>kobyla</HW>\n  <TR>mare</TR>\n  <TR>horse</TR>\n</HESLO>\n\n";
const std::string kHint = "Run lexorn-find --help for the usage.\n";

// "status|out|err" of the tool run in `dir` with `args`, by default in the
// C locale, where bytes pass unchanged.
std::string runTool(const std::string& dir, Lines args, const Lines& env = {"LC_ALL=C"}) {
  args.insert(args.begin(), toolPath());
  RunResult r = testutil::run(args, dir, env);
  return std::to_string(r.status) + "|" + r.out + "|" + r.err;
}

class FindTool : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(fileExists(toolPath())) << "build the lexorn-find target first"; }
  std::string find(const Lines& args, const Lines& env = {"LC_ALL=C"}) {
    return runTool(dict.dir.path(), args, env);
  }
  indextest::Built dict{kXml, kDef};
};

}  // namespace

TEST_F(FindTool, HelpAndSearches) {
  for (const char* flag : {"--help", "-h"}) {
    std::string r = find({flag});
    EXPECT_EQ(r.rfind("0|Usage: lexorn-find DICT word [-l] [-p] [-m LIMIT] PATH WORD...\n", 0), 0u);
    EXPECT_NE(r.find("Exit status: 0 when something was found"), std::string::npos);
    EXPECT_EQ(r.back(), '|');  // nothing on standard error
  }
  const std::pair<Lines, std::string> cases[] = {
      // Every hit with its entry; bytes pass through; all words in one element.
      {{"d", "word", "heslo.tr", "horse"}, "0|1 HESLO.TR\n" + kEntry1 + "3 HESLO.TR\n" + kEntry3 + "|"},
      {{"d.xml", "word", "HESLO.HW", "k\xf9\xf2"}, "0|1 HESLO.HW\n" + kEntry1 + "|"},
      {{"d", "word", "heslo.tr", "mare", "horse"}, "0|3 HESLO.TR\n" + kEntry3 + "|"},
      {{"d", "word", "heslo.tr", "mare horse"}, "0|3 HESLO.TR\n" + kEntry3 + "|"},
      // Links, patterns and the limit.
      {{"d", "word", "-l", "heslo.hw", "k\xf9\xf2"}, "0|1 HESLO.HW\n" + kEntry1 + "2 HESLO.ODKAZ\n" + kEntry2 + "|"},
      {{"d", "word", "-p", "heslo.tr", "[dk].*"}, "0|1 HESLO.TR\n" + kEntry1 + "2 HESLO.TR\n" + kEntry2 + "|"},
      {{"d", "word", "-p", "-m", "1", "heslo.tr", "h.*"}, "0|1 HESLO.TR\n" + kEntry1 + "|"},
      {{"d", "word", "-m2", "heslo.tr", "horse"}, "0|1 HESLO.TR\n" + kEntry1 + "3 HESLO.TR\n" + kEntry3 + "|"},
      {{"d", "entry", "2"}, "0|" + kEntry2 + "|"},
      {{"d", "words", "HESLO.ODKAZ"}, "0|k\xf9\xf2\n|"},
      // Nothing found: status 1, no output, and a note for a word that is
      // not in the dictionary at all.
      {{"d", "word", "--", "heslo.tr", "-p"}, "1||Note: '-p' is not a word of dictionary d.\n"},  // after --, words only
      {{"d", "word", "heslo.tr", "zebra"}, "1||Note: 'zebra' is not a word of dictionary d.\n"},
      {{"d", "word", "heslo.hw", "horse"}, "1||"},
      {{"d", "word", "heslo.tr", "horse", "dog"}, "1||"},
      {{"d", "word", "-p", "heslo.tr", "z.*"}, "1||Note: No word of dictionary d matches 'z.*'.\n"},
      {{"d", "entry", "4"}, "1||"},
      {{"d", "entry", "0"}, "1||"},
      // Errors: status 2, the message, nothing on standard output.
      {{}, "2||Error: a dictionary and a command are needed.\n" + kHint},
      {{"d", "grep"}, "2||Error: unknown command grep.\n" + kHint},
      {{"d", "word", "heslo.tr"}, "2||Error: word needs a PATH and at least one WORD.\n" + kHint},
      {{"d", "word", "-x", "heslo.tr", "a"}, "2||Error: unknown option -x.\n" + kHint},
      {{"d", "word", "-m", "lots", "heslo.tr", "a"}, "2||Error: bad limit 'lots'.\n" + kHint},
      {{"d", "entry", "two"}, "2||Error: bad entry number 'two'.\n" + kHint},
      {{"d", "entry"}, "2||Error: entry needs exactly one NUMBER.\n" + kHint},
      {{"d", "words"}, "2||Error: words needs exactly one PATH.\n" + kHint},
      {{"d", "word", "heslo.xx", "a"}, "2||Error: Dictionary d has no element HESLO.XX.\n"},
      {{"d", "words", "heslo.xx"}, "2||Error: Dictionary d has no element HESLO.XX.\n"},
      {{"d", "word", "heslo.ref", "pes"}, "2||Error: Element HESLO.REF is of type R, which holds no searchable words.\n"},
      {{"d", "words", "HESLO.REF"}, "2||Error: Element HESLO.REF is of type R, which holds no searchable words.\n"},
      {{"d", "word", "-p", "heslo.tr", "ho[rse"}, "2||Error: Invalid pattern in 'ho[rse'.\n"},
  };
  Lines built = testutil::listDir(dict.dir.path());
  for (const auto& [args, want] : cases) EXPECT_EQ(find(args), want) << (args.empty() ? "" : args.back());
  EXPECT_EQ(testutil::listDir(dict.dir.path()), built);  // nothing written

  std::string words = find({"d", "words", "heslo.tr"});
  Lines sorted;
  for (size_t at = 2, nl; (nl = words.find('\n', at)) != std::string::npos; at = nl + 1)
    sorted.push_back(words.substr(at, nl - at));
  std::sort(sorted.begin(), sorted.end());
  EXPECT_EQ(sorted, (Lines{"dog", "horse", "knight", "mare"}));
}

TEST_F(FindTool, RefusesToBuildOrTakeInANewFile) {
  std::string xml = dict.read(".xml");
  ASSERT_EQ(remove(dict.path(".wid").c_str()), 0);
  EXPECT_EQ(find({"d", "entry", "1"}), "2||Error: Dictionary d is not built: d.wid is missing (run lexorn first).\n");
  EXPECT_FALSE(fileExists(dict.path(".wid")));

  TempDir fresh;
  writeFile(fresh.file("n.xml"), kXml);
  EXPECT_EQ(runTool(fresh.path(), {"n", "words", "heslo.hw"}),
            "2||Error: Dictionary n is not built: n.def is missing (run lexorn first).\n");
  EXPECT_EQ(testutil::listDir(fresh.path()), Lines{"n.xml"});

  dict.run({});
  writeFile(dict.path(".new"), "<HESLO><HW>x</HW></HESLO>\n");
  EXPECT_EQ(find({"d", "entry", "1"}), "2||Error: Dictionary d has a pending d.new (run lexorn first).\n");
  EXPECT_TRUE(fileExists(dict.path(".new")));
  EXPECT_EQ(dict.read(".xml"), xml);
}

TEST(FindToolExample, BundledDictionary) {
  ASSERT_TRUE(fileExists(toolPath()));
  std::string xml = readFile(std::string(LEXORN_EXAMPLES) + "/slovnik.xml");
  ASSERT_FALSE(xml.empty());
  indextest::Built dict(xml, "", {"-s"});
  std::string dir = dict.dir.path();
  std::string words = runTool(dir, {"d", "words", "heslo.hw"});
  ASSERT_EQ(words.substr(0, 2), "0|");
  std::string first = words.substr(2, words.find('\n') - 2);
  ASSERT_FALSE(first.empty());

  std::string hit = runTool(dir, {"d", "word", "heslo.hw", first});
  ASSERT_EQ(hit.substr(0, 2), "0|");
  EXPECT_EQ(hit.back(), '|');  // nothing on standard error
  size_t space = hit.find(' ');
  std::string num = hit.substr(2, space - 2);
  std::string head = " HESLO.HW\n<HESLO>\n  <HW>" + first + "</HW>\n";
  EXPECT_EQ(hit.substr(space, head.size()), head);
  std::string entry = runTool(dir, {"d", "entry", num});
  ASSERT_EQ(entry.substr(0, 2), "0|");
  EXPECT_EQ(hit.substr(hit.find('\n') + 1, entry.size() - 3), entry.substr(2, entry.size() - 3));
  EXPECT_EQ(runTool(dir, {"d", "word", "heslo.hw", "nonexistentword"}).substr(0, 2), "1|");
}

namespace {

const std::string kHorseUtf8 = "k\xc5\xaf\xc5\x88";  // the Latin-2 k\xf9\xf2 in UTF-8

// `text` with every Latin-2 k\xf9\xf2 spelled in UTF-8.
std::string inUtf8(std::string text) {
  for (size_t at; (at = text.find("k\xf9\xf2")) != std::string::npos;) text.replace(at, 3, kHorseUtf8);
  return text;
}

// The tests that run the tool in a UTF-8 locale need one installed.
bool haveUtf8Locale() {
  std::string saved = setlocale(LC_ALL, nullptr);
  bool have = setlocale(LC_ALL, "C.UTF-8") != nullptr;
  setlocale(LC_ALL, saved.c_str());
  return have;
}

const Lines kUtf8 = {"LC_ALL=C.UTF-8"};

}  // namespace

TEST_F(FindTool, OptionsStandAnywhereBeforeTheDoubleDash) {
  const std::string links = "0|1 HESLO.HW\n" + kEntry1 + "2 HESLO.ODKAZ\n" + kEntry2 + "|";
  EXPECT_EQ(find({"d", "word", "heslo.hw", "k\xf9\xf2", "-l"}), links);
  EXPECT_EQ(find({"-l", "d", "word", "heslo.hw", "k\xf9\xf2"}), links);
  EXPECT_EQ(find({"d", "word", "heslo.tr", "h.*", "-p", "-m", "1"}), "0|1 HESLO.TR\n" + kEntry1 + "|");
  EXPECT_EQ(find({"d", "word", "heslo.tr", "horse", "-m1"}), "0|1 HESLO.TR\n" + kEntry1 + "|");
  std::string help = find({"d", "word", "heslo.tr", "horse", "--help"});
  EXPECT_EQ(help.substr(0, 8), "0|Usage:");
  for (const char* told : {"\n  --raw ", "\n  --json ", "A pattern always matches a whole word",
                           "Options may stand anywhere before \"--\""})
    EXPECT_NE(help.find(told), std::string::npos) << told;
  // After "--" an option is a word; a lone "-" is always one.
  EXPECT_EQ(find({"d", "word", "heslo.hw", "--", "k\xf9\xf2", "-l"}),
            "1||Note: '-l' is not a word of dictionary d.\n");
  EXPECT_EQ(find({"d", "word", "heslo.tr", "-"}), "1||Note: '-' is not a word of dictionary d.\n");

  const std::pair<Lines, std::string> refused[] = {
      {{"d", "entry", "1", "-l"}, "option -l is for the word command only."},
      {{"d", "words", "-p", "heslo.tr"}, "option -p is for the word command only."},
      {{"d", "words", "heslo.tr", "-m", "3"}, "option -m is for the word command only."},
      {{"d", "word", "heslo.tr", "horse", "-m"}, "bad limit ''."},
      {{"d", "word", "heslo.tr", "horse", "-m", "4294967296"}, "bad limit '4294967296'."},
      {{"d", "word", "heslo.tr", "horse", "-lp"}, "unknown option -lp."},
      {{"d", "word", "heslo.tr", " \t "}, "word needs a PATH and at least one WORD."},
      // The line is checked before the dictionary is opened.
      {{"nothing", "entry", "x"}, "bad entry number 'x'."},
      {{"nothing", "words"}, "words needs exactly one PATH."},
  };
  for (const auto& [args, what] : refused) EXPECT_EQ(find(args), "2||Error: " + what + "\n" + kHint) << what;
}

TEST_F(FindTool, SaysWhyNothingWasFound) {
  // Every word that is not in the dictionary is named, whether the search
  // stopped at it or earlier.
  EXPECT_EQ(find({"d", "word", "heslo.tr", "horse", "zebra", "quagga"}),
            "1||Note: 'zebra' is not a word of dictionary d.\nNote: 'quagga' is not a word of dictionary d.\n");
  EXPECT_EQ(find({"d", "word", "heslo.hw", "horse", "zebra"}), "1||Note: 'zebra' is not a word of dictionary d.\n");
  EXPECT_EQ(find({"d", "word", "heslo.tr", "dog horse"}), "1||");  // words of the dictionary, not together
  EXPECT_EQ(find({"d", "word", "-p", "heslo.tr", "ho.*", "q.*"}),
            "1||Note: No word of dictionary d matches 'q.*'.\n");

  // An anchor of one's own is noted and the search still runs.
  const std::string anchor = "Note: A pattern always matches a whole word: a ^ or $ in '";
  EXPECT_EQ(find({"d", "word", "-p", "heslo.tr", "^horse$"}),
            "1||" + anchor + "^horse$' stands for the character itself.\n"
            "Note: No word of dictionary d matches '^horse$'.\n");
  EXPECT_EQ(find({"d", "word", "-p", "heslo.tr", "horse", "kn.*\\\\$"}),
            "1||" + anchor + "kn.*\\\\$' stands for the character itself.\n"
            "Note: No word of dictionary d matches 'kn.*\\\\$'.\n");
  EXPECT_EQ(find({"d", "word", "-p", "heslo.tr", "h.*e", "horse\\$"}),
            "1||Note: No word of dictionary d matches 'horse\\$'.\n");  // an escaped $ is meant

  // A dictionary that does not exist is reported as such by the open.
  TempDir empty;
  EXPECT_EQ(runTool(empty.path(), {"nothing", "word", "heslo.hw", "pes"}),
            "2||Error: Dictionary nothing does not exist.\n");
  EXPECT_EQ(runTool(empty.path(), {"nothing.xml", "entry", "1"}), "2||Error: Dictionary nothing does not exist.\n");
  EXPECT_EQ(testutil::listDir(empty.path()), Lines{});

  // Listing the words of an element follows the rule of searching it.
  for (const char* path : {"heslo.ref", "HESLO.REF"}) {
    std::string word = find({"d", "word", path, "pes"}), words = find({"d", "words", path});
    EXPECT_EQ(word.substr(0, 3), "2||");
    EXPECT_EQ(words, word);
  }
}

TEST_F(FindTool, TextInTheLocalesCharacterSet) {
  if (!haveUtf8Locale()) GTEST_SKIP() << "the C.UTF-8 locale is not installed";
  EXPECT_EQ(find({"d", "word", "heslo.hw", kHorseUtf8}, kUtf8), "0|1 HESLO.HW\n" + inUtf8(kEntry1) + "|");
  EXPECT_EQ(find({"d", "word", "-l", "heslo.hw", kHorseUtf8}, kUtf8),
            "0|1 HESLO.HW\n" + inUtf8(kEntry1) + "2 HESLO.ODKAZ\n" + inUtf8(kEntry2) + "|");
  EXPECT_EQ(find({"d", "word", "-p", "heslo.hw", "k\xc5\xaf."}, kUtf8), "0|1 HESLO.HW\n" + inUtf8(kEntry1) + "|");
  EXPECT_EQ(find({"d", "entry", "2"}, kUtf8), "0|" + inUtf8(kEntry2) + "|");
  EXPECT_EQ(find({"d", "words", "heslo.odkaz"}, kUtf8), "0|" + kHorseUtf8 + "\n|");
  // Text echoed in messages is converted back; a path is upper-cased
  // with its Czech letters (\xc4\x8d is c with a caron, \xc4\x8c its capital).
  EXPECT_EQ(find({"d", "word", "heslo.tr", kHorseUtf8 + "e"}, kUtf8),
            "1||Note: '" + kHorseUtf8 + "e' is not a word of dictionary d.\n");
  EXPECT_EQ(find({"d", "words", "heslo.\xc4\x8d"}, kUtf8), "2||Error: Dictionary d has no element HESLO.\xc4\x8c.\n");
  EXPECT_EQ(find({"d", "word", "-p", "heslo.tr", "\xc5\xaf["}, kUtf8), "2||Error: Invalid pattern in '\xc5\xaf['.\n");

  // What ISO-8859-2 cannot hold, and what is not UTF-8, is an error.
  EXPECT_EQ(find({"d", "word", "heslo.hw", "a\xc3\xb1o"}, kUtf8),
            "2||Error: 'a\xc3\xb1o' holds the character U+00F1, which ISO-8859-2, the dictionary's character set, "
            "has not.\n");
  EXPECT_EQ(find({"d", "word", "heslo.tr", "horse", "5\xe2\x82\xac"}, kUtf8),
            "2||Error: '5\xe2\x82\xac' holds the character U+20AC, which ISO-8859-2, the dictionary's character "
            "set, has not.\n");
  EXPECT_EQ(find({"d", "word", "heslo.hw", "k\xf9\xf2"}, kUtf8),
            "2||Error: 'k\xf9\xf2' is not valid text in the locale's character set (UTF-8); --raw takes text as "
            "stored.\n");

  // --raw: the stored bytes both ways, whatever the locale.
  EXPECT_EQ(find({"d", "word", "--raw", "heslo.hw", "k\xf9\xf2"}, kUtf8), "0|1 HESLO.HW\n" + kEntry1 + "|");
  EXPECT_EQ(find({"--raw", "d", "words", "heslo.odkaz"}, kUtf8), "0|k\xf9\xf2\n|");
  // The C locale passes bytes unchanged: UTF-8 is then no Latin-2 word.
  EXPECT_EQ(find({"d", "word", "heslo.hw", kHorseUtf8}), "1||Note: '" + kHorseUtf8 + "' is not a word of dictionary d.\n");
  // A locale that is not installed is said, and works as the C locale.
  EXPECT_EQ(find({"d", "words", "heslo.odkaz"}, {"LC_ALL=xx_NO.UTF-8"}),
            "0|k\xf9\xf2\n|Note: The locale that the environment names is not installed; text passes unchanged, "
            "as in the C locale.\n");
}

namespace {

// A strict reader of one JSON value, enough to tell whether a line is valid
// JSON in valid UTF-8. Top-level members of an object are kept: strings
// decoded, other values as their text.
class JsonLine {
 public:
  explicit JsonLine(const std::string& text) : s_(text) {
    ok_ = utf8(text) && value(0) && (skip(), at_ == s_.size());
  }
  bool ok() const { return ok_; }
  const std::map<std::string, std::string>& members() const { return members_; }

 private:
  static bool utf8(const std::string& t) {
    for (size_t i = 0; i < t.size();) {
      unsigned char c = static_cast<unsigned char>(t[i]);
      int more = c < 0x80 ? 0 : (c >> 5) == 6 ? 1 : (c >> 4) == 14 ? 2 : (c >> 3) == 30 ? 3 : -1;
      if (more < 0 || (more == 1 && c < 0xC2) || i + more >= t.size() + (more == 0)) return false;
      for (int k = 1; k <= more; ++k)
        if ((static_cast<unsigned char>(t[i + k]) & 0xC0) != 0x80) return false;
      i += more + 1;
    }
    return true;
  }
  void skip() {
    while (at_ < s_.size() && strchr(" \t\r\n", s_[at_])) ++at_;
  }
  bool eat(char c) {
    skip();
    if (at_ < s_.size() && s_[at_] == c) return ++at_, true;
    return false;
  }
  bool string(std::string* out) {
    if (!eat('"')) return false;
    for (; at_ < s_.size(); ++at_) {
      unsigned char c = static_cast<unsigned char>(s_[at_]);
      if (c == '"') return ++at_, true;
      if (c < 0x20) return false;
      if (c != '\\') {
        out->push_back(static_cast<char>(c));
        continue;
      }
      if (++at_ == s_.size()) return false;
      const char* simple = strchr("\"\\/bfnrt", s_[at_]);
      if (simple && *simple) {
        out->push_back("\"\\/\b\f\n\r\t"[simple - "\"\\/bfnrt"]);
      } else if (s_[at_] == 'u' && at_ + 4 < s_.size() &&
                 std::all_of(s_.begin() + at_ + 1, s_.begin() + at_ + 5,
                             [](char h) { return isxdigit(static_cast<unsigned char>(h)) != 0; })) {
        unsigned code = std::stoul(s_.substr(at_ + 1, 4), nullptr, 16);
        if (code >= 0x80) return false;  // the tool escapes control characters only
        out->push_back(static_cast<char>(code));
        at_ += 4;
      } else {
        return false;
      }
    }
    return false;
  }
  bool value(int depth, std::string* text = nullptr) {
    skip();
    size_t from = at_;
    if (at_ == s_.size()) return false;
    char c = s_[at_];
    if (c == '"') {
      std::string decoded;
      if (!string(&decoded)) return false;
      if (text) *text = decoded;
      return true;
    }
    bool ok;
    if (c == '{') {
      ++at_;
      ok = eat('}');
      while (!ok) {
        std::string name, v;
        skip();
        if (!string(&name) || !eat(':') || !value(depth + 1, &v)) return false;
        if (depth == 0 && !members_.emplace(name, v).second) return false;  // a name given twice
        if (eat('}')) break;
        if (!eat(',')) return false;
      }
      ok = true;
    } else if (c == '[') {
      ++at_;
      ok = eat(']');
      while (!ok) {
        if (!value(depth + 1)) return false;
        if (eat(']')) break;
        if (!eat(',')) return false;
      }
      ok = true;
    } else {
      for (const char* word : {"true", "false", "null"})
        if (s_.compare(at_, strlen(word), word) == 0) at_ += strlen(word);
      if (at_ == from) {
        if (s_[at_] == '-') ++at_;
        size_t digits = at_;
        while (at_ < s_.size() && isdigit(static_cast<unsigned char>(s_[at_]))) ++at_;
        if (at_ == digits || (s_[digits] == '0' && at_ > digits + 1)) return false;
      }
      ok = true;
    }
    if (text && ok) *text = s_.substr(from, at_ - from);
    return ok;
  }

  const std::string s_;
  size_t at_ = 0;
  bool ok_ = false;
  std::map<std::string, std::string> members_;
};

// The members of each line of `out`; a line that is not JSON fails the test.
std::vector<std::map<std::string, std::string>> jsonLines(const std::string& out) {
  std::vector<std::map<std::string, std::string>> lines;
  for (size_t at = 0, nl; (nl = out.find('\n', at)) != std::string::npos; at = nl + 1) {
    JsonLine line(out.substr(at, nl - at));
    EXPECT_TRUE(line.ok()) << out.substr(at, nl - at);
    lines.push_back(line.members());
  }
  EXPECT_EQ(out.empty() ? '\n' : out.back(), '\n');
  return lines;
}

using Members = std::map<std::string, std::string>;

TEST(JsonReader, TellsValidFromInvalid) {
  for (const char* good : {"{}", "{\"a\":1,\"b\":[true,null,\"\\u0001\"]}", "{\"x\":\"k\xc5\xaf\\\"\"}", "[-10,{}]"})
    EXPECT_TRUE(JsonLine(good).ok()) << good;
  for (const char* bad : {"", "{", "{\"a\":1,}", "{\"a\" 1}", "{\"a\":\"\t\"}", "{\"a\":\"\\x\"}", "{\"a\":01}",
                          "{\"a\":\"k\xf9\xf2\"}", "{\"a\":1,\"a\":2}", "{} {}", "{\"a\":\"\xc5\"}"})
    EXPECT_FALSE(JsonLine(bad).ok()) << bad;
}

// Text that JSON has to escape: quotes and a backslash (the reader keeps
// a backslash as it is in a file with a declaration), and markup escaped
// in the XML.
const char kJsonXml[] =
    "<?xml version=\"1.0\" encoding=\"ISO-8859-2\"?>\n"
    "<HESLO><HW>k\xf9\xf2</HW><TR>say \"hi\" a\\b</TR><TR>^caret</TR></HESLO>\n"
    "<HESLO><HW>pes</HW><TR>R&amp;D</TR><ODKAZ>k\xf9\xf2</ODKAZ></HESLO>\n";

const std::string kXml1 = "<HESLO><HW>k\xc5\xaf\xc5\x88</HW><TR>say \"hi\" a\\b</TR><TR>^caret</TR></HESLO>";
const std::string kXml2 = "<HESLO><HW>pes</HW><TR>R&amp;D</TR><ODKAZ>k\xc5\xaf\xc5\x88</ODKAZ></HESLO>";

class FindJson : public ::testing::Test {
 protected:
  std::string find(const Lines& args, const Lines& env = {"LC_ALL=C"}) {
    return runTool(dict.dir.path(), args, env);
  }
  indextest::Built dict{kJsonXml, kDef};
};

}  // namespace

TEST_F(FindJson, OneObjectALineInUtf8) {
  std::string r = find({"d", "word", "--json", "-l", "heslo.hw", "k\xf9\xf2"});
  ASSERT_EQ(r.substr(0, 2), "0|");
  EXPECT_EQ(r.back(), '|');
  EXPECT_EQ(jsonLines(r.substr(2, r.size() - 3)),
            (std::vector<Members>{{{"entry", "1"}, {"path", "HESLO.HW"}, {"xml", kXml1}},
                                  {{"entry", "2"}, {"path", "HESLO.ODKAZ"}, {"xml", kXml2}}}));

  r = find({"d", "--json", "entry", "2"});
  ASSERT_EQ(r.substr(0, 2), "0|");
  EXPECT_EQ(jsonLines(r.substr(2, r.size() - 3)), (std::vector<Members>{{{"entry", "2"}, {"xml", kXml2}}}));

  r = find({"d", "words", "heslo.tr", "--json"});
  ASSERT_EQ(r.substr(0, 2), "0|");
  std::vector<Members> words = jsonLines(r.substr(2, r.size() - 3));
  std::sort(words.begin(), words.end());
  EXPECT_EQ(words, (std::vector<Members>{{{"word", "\"hi\""}}, {{"word", "R&D"}},
                                         {{"word", "^caret"}}, {{"word", "a\\b"}}, {{"word", "say"}}}));

  // A pattern with an anchor of its own finds the word that has it.
  r = find({"d", "word", "--json", "-p", "heslo.tr", "^c.*"});
  EXPECT_EQ(r.substr(0, 2), "0|");
  EXPECT_NE(r.find("|Note: A pattern always matches a whole word: a ^ or $ in '^c.*' stands"), std::string::npos);
  EXPECT_EQ(jsonLines(r.substr(2, r.find('|', 2) - 2)).at(0).at("xml"), kXml1);

  // Nothing found: no line, and the usual statuses and notes.
  EXPECT_EQ(find({"d", "word", "--json", "heslo.hw", "R&D"}), "1||");
  EXPECT_EQ(find({"d", "--json", "entry", "9"}), "1||");
  EXPECT_EQ(find({"d", "--json", "words", "heslo"}), "1||");
}

TEST_F(FindJson, TheSameWhateverTheLocale) {
  if (!haveUtf8Locale()) GTEST_SKIP() << "the C.UTF-8 locale is not installed";
  std::string inC = find({"d", "word", "--json", "-l", "heslo.hw", "k\xf9\xf2"});
  ASSERT_EQ(inC.substr(0, 2), "0|");
  EXPECT_EQ(find({"d", "word", "--json", "-l", "heslo.hw", kHorseUtf8}, kUtf8), inC);
  // --raw still takes the arguments as stored.
  EXPECT_EQ(find({"d", "word", "--json", "--raw", "-l", "heslo.hw", "k\xf9\xf2"}, kUtf8), inC);
  EXPECT_EQ(find({"d", "entry", "2", "--json"}, kUtf8), find({"d", "entry", "2", "--json"}));
}
