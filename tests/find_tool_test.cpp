// The lexorn-find console tool, run as a program on dictionaries that the
// lexorn binary has built: exact output bytes, exit statuses and messages.

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "testutil.h"

using testutil::fileExists;
using testutil::listDir;
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
    "0 HESLO\t1\t1\tN\n"
    "  1 HW\t1\t1\tK\n"
    "  1 TR\t1\t-1\tN\n"
    "  1 ODKAZ\t0\t-1\tL\n"
    "  1 REF\t0\t-1\tR\tHESLO.HW\n";

// Latin-2 throughout: k\xf9\xf2 is the Czech word for horse.
const char kXml[] =
    "<?xml version=\"1.0\" encoding=\"ISO-8859-2\"?>\n"
    "<HESLO><HW>k\xf9\xf2</HW><TR>horse</TR><TR>knight</TR></HESLO>\n"
    "<HESLO><HW>pes</HW><TR>dog</TR><ODKAZ>k\xf9\xf2</ODKAZ></HESLO>\n"
    "<HESLO><HW>kobyla</HW><TR>mare</TR><TR>horse</TR></HESLO>\n";

const char kEntry1[] =
    "<HESLO>\n  <HW>k\xf9\xf2</HW>\n  <TR>horse</TR>\n  <TR>knight</TR>\n</HESLO>\n\n";
const char kEntry2[] =
    "<HESLO>\n  <HW>pes</HW>\n  <TR>dog</TR>\n  <ODKAZ>k\xf9\xf2</ODKAZ>\n</HESLO>\n\n";
const char kEntry3[] =
    "<HESLO>\n  <HW>kobyla</HW>\n  <TR>mare</TR>\n  <TR>horse</TR>\n</HESLO>\n\n";

class FindTool : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(fileExists(toolPath())) << "build the lexorn-find target first";
    writeFile(dir.file("d.xml"), kXml);
    writeFile(dir.file("d.def"), kDef);
    RunResult r = testutil::run({LEXORN_BIN, "d"}, dir.path());
    ASSERT_EQ(r.status, 0) << r.err;
    built = listDir(dir.path());
  }
  RunResult find(std::vector<std::string> args) {
    args.insert(args.begin(), toolPath());
    return testutil::run(args, dir.path());
  }
  // Expects an error run: status 2, nothing on standard output.
  void expectError(const std::vector<std::string>& args, const std::string& err) {
    RunResult r = find(args);
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, err);
  }

  TempDir dir;
  Lines built;
};

}  // namespace

TEST_F(FindTool, Help) {
  for (const char* flag : {"--help", "-h"}) {
    RunResult r = find({flag});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out.rfind("Usage: lexorn-find DICT word [-l] [-p] [-m LIMIT] PATH WORD...\n", 0),
              0u);
    EXPECT_NE(r.out.find("Exit status: 0 when something was found"), std::string::npos);
    EXPECT_EQ(r.err, "");
  }
}

TEST_F(FindTool, WordSearchPrintsEveryHitWithItsEntry) {
  RunResult r = find({"d", "word", "heslo.tr", "horse"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, std::string("1 HESLO.TR\n") + kEntry1 + "3 HESLO.TR\n" + kEntry3);
  EXPECT_EQ(r.err, "");

  r = find({"d.xml", "word", "HESLO.HW", "k\xf9\xf2"});  // bytes pass through
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, std::string("1 HESLO.HW\n") + kEntry1);

  r = find({"d", "word", "heslo.tr", "mare", "horse"});  // both words, same element
  EXPECT_EQ(r.out, std::string("3 HESLO.TR\n") + kEntry3);
  r = find({"d", "word", "heslo.tr", "mare horse"});
  EXPECT_EQ(r.out, std::string("3 HESLO.TR\n") + kEntry3);
}

TEST_F(FindTool, LinkPatternAndLimitOptions) {
  RunResult r = find({"d", "word", "-l", "heslo.hw", "k\xf9\xf2"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, std::string("1 HESLO.HW\n") + kEntry1 + "2 HESLO.ODKAZ\n" + kEntry2);

  r = find({"d", "word", "-p", "heslo.tr", "[dk].*"});
  EXPECT_EQ(r.out, std::string("1 HESLO.TR\n") + kEntry1 + "2 HESLO.TR\n" + kEntry2);
  r = find({"d", "word", "-p", "-m", "1", "heslo.tr", "h.*"});
  EXPECT_EQ(r.out, std::string("1 HESLO.TR\n") + kEntry1);
  r = find({"d", "word", "-m2", "heslo.tr", "horse"});
  EXPECT_EQ(r.out, std::string("1 HESLO.TR\n") + kEntry1 + "3 HESLO.TR\n" + kEntry3);
  r = find({"d", "word", "--", "heslo.tr", "-p"});  // after --, words only
  EXPECT_EQ(r.status, 1);
}

TEST_F(FindTool, NothingFoundExitsWithOne) {
  for (const Lines& args : {Lines{"d", "word", "heslo.tr", "zebra"},
                            Lines{"d", "word", "heslo.hw", "horse"},
                            Lines{"d", "word", "heslo.tr", "horse", "dog"},
                            Lines{"d", "word", "-p", "heslo.tr", "z.*"}, Lines{"d", "entry", "4"},
                            Lines{"d", "entry", "0"}}) {
    RunResult r = find(args);
    EXPECT_EQ(r.status, 1) << args.back();
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "");
  }
}

TEST_F(FindTool, EntriesAndWordLists) {
  RunResult r = find({"d", "entry", "2"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, kEntry2);

  r = find({"d", "words", "heslo.tr"});
  EXPECT_EQ(r.status, 0);
  Lines words;
  for (size_t at = 0, nl; (nl = r.out.find('\n', at)) != std::string::npos; at = nl + 1)
    words.push_back(r.out.substr(at, nl - at));
  std::sort(words.begin(), words.end());
  EXPECT_EQ(words, (Lines{"dog", "horse", "knight", "mare"}));
  r = find({"d", "words", "HESLO.ODKAZ"});
  EXPECT_EQ(r.out, "k\xf9\xf2\n");
  r = find({"d", "words", "HESLO.REF"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "");
}

TEST_F(FindTool, Errors) {
  const std::string hint = "Run lexorn-find --help for the usage.\n";
  expectError({}, "Error: a dictionary and a command are needed.\n" + hint);
  expectError({"d", "grep"}, "Error: unknown command grep.\n" + hint);
  expectError({"d", "word", "heslo.tr"}, "Error: word needs a PATH and at least one WORD.\n" + hint);
  expectError({"d", "word", "-x", "heslo.tr", "a"}, "Error: unknown option -x.\n" + hint);
  expectError({"d", "word", "-m", "lots", "heslo.tr", "a"}, "Error: bad limit 'lots'.\n" + hint);
  expectError({"d", "entry", "two"}, "Error: bad entry number 'two'.\n" + hint);
  expectError({"d", "entry"}, "Error: entry needs exactly one NUMBER.\n" + hint);
  expectError({"d", "words"}, "Error: words needs exactly one PATH.\n" + hint);
  expectError({"d", "word", "heslo.xx", "a"}, "Error: Dictionary d has no element HESLO.XX.\n");
}

TEST_F(FindTool, SearchErrors) {
  expectError({"d", "words", "heslo.xx"}, "Error: Dictionary d has no element HESLO.XX.\n");
  expectError({"d", "word", "heslo.ref", "pes"},
              "Error: Element HESLO.REF is of type R, which holds no searchable words.\n");
  expectError({"d", "word", "-p", "heslo.tr", "ho[rse"}, "Error: Invalid pattern in 'ho[rse'.\n");
  EXPECT_EQ(listDir(dir.path()), built);  // nothing written
}

TEST_F(FindTool, RefusesToBuildOrTakeInANewFile) {
  std::string xml = readFile(dir.file("d.xml"));
  ASSERT_EQ(remove(dir.file("d.wid").c_str()), 0);
  expectError({"d", "entry", "1"},
              "Error: Dictionary d is not built: d.wid is missing (run lexorn first).\n");
  EXPECT_FALSE(fileExists(dir.file("d.wid")));

  TempDir fresh;
  writeFile(fresh.file("n.xml"), kXml);
  RunResult r = testutil::run({toolPath(), "n", "words", "heslo.hw"}, fresh.path());
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.err, "Error: Dictionary n is not built: n.def is missing (run lexorn first).\n");
  EXPECT_EQ(listDir(fresh.path()), Lines{"n.xml"});

  ASSERT_EQ(testutil::run({LEXORN_BIN, "d"}, dir.path()).status, 0);
  writeFile(dir.file("d.new"), "<HESLO><HW>x</HW></HESLO>\n");
  expectError({"d", "entry", "1"}, "Error: Dictionary d has a pending d.new (run lexorn first).\n");
  EXPECT_TRUE(fileExists(dir.file("d.new")));
  EXPECT_EQ(readFile(dir.file("d.xml")), xml);
}

TEST(FindToolExample, BundledDictionary) {
  ASSERT_TRUE(fileExists(toolPath()));
  TempDir dir;
  std::string xml = readFile(std::string(LEXORN_EXAMPLES) + "/slovnik.xml");
  ASSERT_FALSE(xml.empty());
  writeFile(dir.file("slovnik.xml"), xml);
  ASSERT_EQ(testutil::run({LEXORN_BIN, "-s", "slovnik"}, dir.path()).status, 0);
  auto find = [&](const Lines& args) {
    Lines argv{toolPath(), "slovnik"};
    argv.insert(argv.end(), args.begin(), args.end());
    return testutil::run(argv, dir.path());
  };

  RunResult words = find({"words", "heslo.hw"});
  ASSERT_EQ(words.status, 0) << words.err;
  std::string first = words.out.substr(0, words.out.find('\n'));
  ASSERT_FALSE(first.empty());

  RunResult hit = find({"word", "heslo.hw", first});
  EXPECT_EQ(hit.status, 0);
  EXPECT_EQ(hit.err, "");
  size_t space = hit.out.find(' ');
  ASSERT_NE(space, std::string::npos);
  std::string num = hit.out.substr(0, space);
  std::string head = " HESLO.HW\n<HESLO>\n  <HW>" + first + "</HW>\n";
  EXPECT_EQ(hit.out.substr(space, head.size()), head);

  RunResult entry = find({"entry", num});
  EXPECT_EQ(entry.status, 0);
  std::string body = hit.out.substr(hit.out.find('\n') + 1);
  EXPECT_EQ(body.substr(0, entry.out.size()), entry.out);

  EXPECT_EQ(find({"word", "heslo.hw", "nonexistentword"}).status, 1);
}
