// The lexorn command line: option parsing in-process, and the program's
// streams and exit status end to end.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "builder/builder.h"
#include "testutil.h"

using testutil::TempDir;

namespace {

// "ok force speed maxEnt name" after parsing `args`.
std::string parse(std::vector<std::string> args) {
  cmdLineReset();
  args.insert(args.begin(), "lexorn");
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  bool ok = cmdLine(static_cast<int>(args.size()), argv.data());
  std::string p = std::to_string(ok) + " " + std::to_string(force) + " " + std::to_string(speed) + " " +
                  std::to_string(maxEnt) + " " + fileName;
  cmdLineReset();
  return p;
}

std::string lexorn(std::vector<std::string> args, const TempDir& dir) {
  args.insert(args.begin(), LEXORN_BIN);
  testutil::RunResult r = testutil::run(args, dir.path());
  std::string files;
  for (const std::string& n : testutil::listDir(dir.path())) files += n + " ";
  return std::to_string(r.status) + "|" + r.out + "|" + r.err + "|" + files;
}

}  // namespace

TEST(CmdLine, Options) {
  const std::pair<std::vector<std::string>, std::string> cases[] = {
      {{}, "1 0 0 1000000 "},
      {{"-n", "dict.xml"}, "1 0 0 0 dict.xml"},  // no digits: 0
      {{"-n0", "dict.xml"}, "1 0 0 0 dict.xml"},
      {{"-n", "500"}, "1 0 0 0 500"},  // detached: a name
      {{"-n-12"}, "1 0 0 -12 "},
      {{"-n 42x"}, "1 0 0 42 "},  // read as atol reads it
      {{"-fs", "dict"}, "1 1 0 1000000 dict"},  // only the second character counts
      {{"-sf"}, "1 0 1 1000000 "},
      {{"dict.xml", "-x"}, "1 0 0 1000000 -x"},  // an unknown option is a name
      {{"-"}, "1 0 0 1000000 -"},
      {{"a.xml", "-f", "b.xml"}, "1 1 0 1000000 b.xml"},
      {{std::string(255, 'd')}, "1 0 0 1000000 " + std::string(255, 'd')},
  };
  for (const auto& [args, want] : cases) EXPECT_EQ(parse(args), want);
  // An overlong name is refused, not cut.
  testutil::CaptureFd err(2);
  EXPECT_EQ(parse({"keep.xml", std::string(256, 'd')}), "0 0 0 1000000 keep.xml");
  EXPECT_EQ(err.text(), "Error: Dictionary name is too long (256 characters, at most 255).\n");
}

TEST(Program, NoArgumentPrintsUsage) {
  TempDir dir;
  EXPECT_EQ(lexorn({}, dir),
            "255|Dictionary builder v. 1.3.35\n"
            "----------------------------\n"
            "Usage: lexorn [OPTIONS] DICT\n\n"
            "DICT is a filename of XML structured dictionary\n"
            "OPTIONS can be\n"
            "  -f force to build dictionary even if it exists\n"
            "  -s speed up dictionary\n"
            "  -n number of process entries (def. 1000000)\n||");
}

TEST(Program, MissingOrUnnameableDictionary) {
  TempDir dir;
  std::string b251(251, 'd'), b255(255, 'd');
  const std::pair<std::vector<std::string>, std::string> cases[] = {
      {{"-f"}, "Error: Dictionary  does not exist.\n"},
      {{"-n5", "nothing.xml"}, "Error: Dictionary nothing does not exist.\n"},
      {{"data/2003.10/dict"}, "Error: Dictionary data/2003 does not exist.\n"},
      {{b251 + ".xml"}, "Error: Dictionary " + b251 + " does not exist.\n"},
      {{b255}, "Error: Dictionary base name " + b255 + " is longer than 251 characters.\n"},
      {{b255 + "d"}, "Error: Dictionary name is too long (256 characters, at most 255).\n"},
  };
  for (const auto& [args, err] : cases) EXPECT_EQ(lexorn(args, dir), "255||" + err + "|");
}

TEST(Program, BuildsOnlyTheLastNamedDictionary) {
  TempDir dir;
  testutil::writeFile(dir.file("a.xml"), "<E><A>x</A></E>\n<E><A>y z</A></E>\n");
  testutil::writeFile(dir.file("b.xml"), "<E><A>x</A></E>\n<E><A>y z</A></E>\n");
  std::string r = lexorn({"a.xml", "b.xml"}, dir);
  EXPECT_EQ(r.substr(0, 2), "0|");
  EXPECT_EQ(r.substr(r.rfind('|')), "|a.xml b.def b.eid b.ent b.wid b.wrd b.xml ");
}
