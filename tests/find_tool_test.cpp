// The lexorn-find console tool, run as a program on dictionaries that the
// lexorn binary has built: exact output bytes, exit statuses and messages.

#include <gtest/gtest.h>

#include <algorithm>
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

// "status|out|err" of the tool run in `dir` with `args`.
std::string runTool(const std::string& dir, Lines args) {
  args.insert(args.begin(), toolPath());
  RunResult r = testutil::run(args, dir);
  return std::to_string(r.status) + "|" + r.out + "|" + r.err;
}

class FindTool : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(fileExists(toolPath())) << "build the lexorn-find target first"; }
  std::string find(const Lines& args) { return runTool(dict.dir.path(), args); }
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
      // Nothing found: status 1 and no output.
      {{"d", "word", "--", "heslo.tr", "-p"}, "1||"},  // after --, words only
      {{"d", "word", "heslo.tr", "zebra"}, "1||"},
      {{"d", "word", "heslo.hw", "horse"}, "1||"},
      {{"d", "word", "heslo.tr", "horse", "dog"}, "1||"},
      {{"d", "word", "-p", "heslo.tr", "z.*"}, "1||"},
      {{"d", "entry", "4"}, "1||"},
      {{"d", "entry", "0"}, "1||"},
      {{"d", "words", "HESLO.REF"}, "1||"},
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
