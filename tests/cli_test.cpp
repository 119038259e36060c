// The lexorn command line: option parsing in-process, and the program's
// streams and exit status end to end.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "builder/builder.h"
#include "testutil.h"

using testutil::listDir;
using testutil::run;
using testutil::TempDir;
using Names = std::vector<std::string>;

namespace {

struct Parsed {
  bool ok;
  int force, speed;
  long maxEnt;
  std::string name;
};

Parsed parse(std::vector<std::string> args) {
  cmdLineReset();
  args.insert(args.begin(), "lexorn");
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  bool ok = cmdLine(static_cast<int>(args.size()), argv.data());
  Parsed p{ok, force, speed, maxEnt, fileName};
  cmdLineReset();
  return p;
}

testutil::RunResult lexorn(std::vector<std::string> args, const TempDir& dir) {
  args.insert(args.begin(), LEXORN_BIN);
  return run(args, dir.path());
}

}  // namespace

TEST(CmdLine, Options) {
  struct Case {
    std::vector<std::string> args;
    int force, speed;
    long maxEnt;
    const char* name;
  } cases[] = {
      {{}, 0, 0, 1000000, ""},
      {{"-n", "dict.xml"}, 0, 0, 0, "dict.xml"},   // no digits: 0
      {{"-n0", "dict.xml"}, 0, 0, 0, "dict.xml"},
      {{"-n", "500"}, 0, 0, 0, "500"},             // detached: a name
      {{"-n-12"}, 0, 0, -12, ""},
      {{"-n 42x"}, 0, 0, 42, ""},                  // read as atol reads it
      {{"-fs", "dict"}, 1, 0, 1000000, "dict"},    // only the second character counts
      {{"-sf"}, 0, 1, 1000000, ""},
      {{"dict.xml", "-x"}, 0, 0, 1000000, "-x"},   // an unknown option is a name
      {{"-"}, 0, 0, 1000000, "-"},
      {{"a.xml", "-f", "b.xml"}, 1, 0, 1000000, "b.xml"},
      {{std::string(255, 'd')}, 0, 0, 1000000, nullptr},
  };
  for (const auto& c : cases) {
    Parsed p = parse(c.args);
    std::string want = c.name ? c.name : c.args[0];
    EXPECT_TRUE(p.ok);
    EXPECT_EQ(p.force, c.force) << want;
    EXPECT_EQ(p.speed, c.speed) << want;
    EXPECT_EQ(p.maxEnt, c.maxEnt) << want;
    EXPECT_EQ(p.name, want);
  }
}

TEST(CmdLine, OverlongNameIsRefusedNotCut) {
  testutil::CaptureFd err(2);
  Parsed p = parse({"keep.xml", std::string(256, 'd')});
  EXPECT_FALSE(p.ok);
  EXPECT_EQ(p.name, "keep.xml");
  EXPECT_EQ(err.text(), "Error: Dictionary name is too long (256 characters, at most 255).\n");
}

TEST(Program, NoArgumentPrintsUsage) {
  TempDir dir;
  auto r = lexorn({}, dir);
  EXPECT_EQ(r.status, 255);
  EXPECT_EQ(r.out,
            "Dictionary builder v. 1.3.35\n"
            "----------------------------\n"
            "Usage: lexorn [OPTIONS] DICT\n\n"
            "DICT is a filename of XML structured dictionary\n"
            "OPTIONS can be\n"
            "  -f force to build dictionary even if it exists\n"
            "  -s speed up dictionary\n"
            "  -n number of process entries (def. 1000000)\n");
  EXPECT_EQ(r.err, "");
}

TEST(Program, MissingOrUnnameableDictionary) {
  TempDir dir;
  std::string b251(251, 'd'), b255(255, 'd');
  struct Case {
    std::vector<std::string> args;
    std::string err;
  } cases[] = {
      {{"-f"}, "Error: Dictionary  does not exist.\n"},
      {{"-n5", "nothing.xml"}, "Error: Dictionary nothing does not exist.\n"},
      {{"data/2003.10/dict"}, "Error: Dictionary data/2003 does not exist.\n"},
      {{b251 + ".xml"}, "Error: Dictionary " + b251 + " does not exist.\n"},
      {{b255}, "Error: Dictionary base name " + b255 + " is longer than 251 characters.\n"},
      {{b255 + "d"}, "Error: Dictionary name is too long (256 characters, at most 255).\n"},
  };
  for (const auto& c : cases) {
    auto r = lexorn(c.args, dir);
    EXPECT_EQ(r.status, 255);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, c.err);
  }
  EXPECT_EQ(listDir(dir.path()), Names{});
}

TEST(Program, BuildsOnlyTheLastNamedDictionary) {
  TempDir dir;
  const char dict[] = "<E><A>x</A></E>\n<E><A>y z</A></E>\n";
  testutil::writeFile(dir.file("a.xml"), dict);
  testutil::writeFile(dir.file("b.xml"), dict);
  auto r = lexorn({"a.xml", "b.xml"}, dir);
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(listDir(dir.path()),
            (Names{"a.xml", "b.def", "b.eid", "b.ent", "b.wid", "b.wrd", "b.xml"}));
}
