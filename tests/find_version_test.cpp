// lexorn-find --version: taken apart like --help, printed from the version
// header, and the same version that lexorn's own banner carries.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "builder/find_args.h"
#include "lexorn/version.h"
#include "testutil.h"

namespace {

std::string toolPath() {
  std::string bin = LEXORN_BIN;
  return bin.substr(0, bin.rfind('/') + 1) + "lexorn-find";
}

// "status|out|err" of lexorn-find run with `args`.
std::string find(const std::vector<std::string>& args) {
  testutil::TempDir dir;
  std::vector<std::string> argv = {toolPath()};
  argv.insert(argv.end(), args.begin(), args.end());
  testutil::RunResult r = testutil::run(argv, dir.path(), {"LC_ALL=C"});
  return std::to_string(r.status) + "|" + r.out + "|" + r.err;
}

}  // namespace

TEST(FindVersion, ParsedLikeHelp) {
  FindArgs a;
  EXPECT_EQ(parseFindArgs({"--version"}, &a), "");
  EXPECT_TRUE(a.version);
  EXPECT_FALSE(a.help);
  // It stops the parse: what follows is not checked.
  EXPECT_EQ(parseFindArgs({"d", "word", "--version", "-x"}, &a), "");
  EXPECT_TRUE(a.version);
  // After "--" it is a word like any other.
  EXPECT_EQ(parseFindArgs({"d", "word", "E.HW", "--", "--version"}, &a), "");
  EXPECT_FALSE(a.version);
  EXPECT_EQ(a.operands, (std::vector<std::string>{"E.HW", "--version"}));
  EXPECT_EQ(parseFindArgs({"d", "word", "E.HW", "cat"}, &a), "");
  EXPECT_FALSE(a.version);
  EXPECT_EQ(parseFindArgs({"--versions"}, &a), "unknown option --versions.");
}

TEST(FindVersion, HeaderNumbersMakeTheVersionText) {
  EXPECT_EQ(std::string(LEXORN_VERSION), std::to_string(LEXORN_VERSION_MAJOR) + "." +
                                             std::to_string(LEXORN_VERSION_MINOR) + "." +
                                             std::to_string(LEXORN_VERSION_PATCH));
}

TEST(FindVersion, PrintsTheVersionLexornsBannerCarries) {
  ASSERT_TRUE(testutil::fileExists(toolPath())) << "build the lexorn-find target first";
  // lexorn without arguments prints its usage text, whose first line is
  // "Dictionary builder v. VERSION".
  testutil::TempDir dir;
  testutil::RunResult banner = testutil::run({LEXORN_BIN}, dir.path());
  const std::string prefix = "Dictionary builder v. ";
  ASSERT_EQ(banner.out.rfind(prefix, 0), 0u) << banner.out;
  std::string version = banner.out.substr(prefix.size(), banner.out.find('\n') - prefix.size());
  EXPECT_EQ(version, LEXORN_VERSION);

  EXPECT_EQ(find({"--version"}), "0|lexorn-find " + version + "\n|");
  EXPECT_EQ(find({"d", "word", "-l", "--version"}), "0|lexorn-find " + version + "\n|");
  // No dictionary is opened, and the first of --help and --version wins.
  EXPECT_EQ(find({"no-such-dict", "entry", "1", "--version"}), "0|lexorn-find " + version + "\n|");
  EXPECT_EQ(find({"--help", "--version"}).rfind("0|Usage: lexorn-find", 0), 0u);
  std::string help = find({"--help"});
  EXPECT_NE(help.find("\n       lexorn-find --version\n"), std::string::npos);
  EXPECT_NE(help.find("\n  --version "), std::string::npos);
}
