// The index build end to end through the lexorn program: every row of the
// build-or-load decision, ".new", -f, -s, -n1, and damaged index files.

#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "base/progress.h"
#include "index_fixture.h"
#include "testutil.h"

using indextest::le32;
using indextest::progressText;
using testutil::listDir;
using testutil::readFile;
using testutil::RunResult;
using testutil::TempDir;
using testutil::writeFile;

namespace {

const char* kXml =
    "<E><A>cat dog</A><B>bird</B></E>\n<E><A>dog</A></E>\n<E><B>cat fish</B><A>fish</A></E>\n";
const std::string kClear = kClearLine;

using Files = std::map<std::string, std::string>;

RunResult lexorn(const TempDir& dir, std::vector<std::string> args) {
  args.insert(args.begin(), LEXORN_BIN);
  return testutil::run(args, dir.path());
}

Files files(const TempDir& dir) {
  Files f;
  for (const std::string& n : listDir(dir.path())) f[n] = readFile(dir.file(n));
  return f;
}

std::vector<long> entryEnds(const std::string& xml) {
  std::vector<long> ends;
  for (size_t at = xml.find("</E>"); at != std::string::npos; at = xml.find("</E>", at + 1))
    ends.push_back(static_cast<long>(at + 4));
  return ends;
}

// Where each packed entry ends, from the entry index.
std::vector<long> packedEnds(const Files& f) {
  const std::string& eid = f.at("d.eid");
  std::vector<long> ends;
  for (size_t i = 14; i + 4 <= eid.size(); i += 7) {  // offsets of entries 2, 3, ...
    int32_t off = 0;
    memcpy(&off, eid.data() + i, 4);
    ends.push_back(off);
  }
  ends.push_back(static_cast<long>(f.at("d.ent").size()));
  return ends;
}

// What the entry pass and the word-to-entry pass print, with the saves that
// follow each, for the dictionary whose built files are `f`.
std::string entryPassOut(const Files& f, int words, int entries) {
  const std::string& xml = f.at("d.xml");
  return progressText(static_cast<long>(xml.size()), entryEnds(xml)) + kClear +
         std::to_string(words) + " words.\n" + kClear + std::to_string(entries) + " entries.\n";
}
std::string widPassOut(const Files& f) {
  return progressText(static_cast<long>(f.at("d.ent").size()), packedEnds(f)) + kClear;
}
const std::string kSaves = "Saving d.wrd...\nSaving d.eid...\n";
const std::string kLoads = "Loading d.wrd...\nLoading d.eid...\n";

// A dictionary built once from kXml; each test starts from its files.
class BuildRun : public ::testing::Test {
 protected:
  void SetUp() override {
    writeFile(dir_.file("d.xml"), kXml);
    first_ = lexorn(dir_, {"d"});
    built_ = files(dir_);
  }
  // Back to the built state.
  void restore() {
    for (const auto& [name, bytes] : built_) writeFile(dir_.file(name), bytes);
  }

  TempDir dir_;
  RunResult first_;
  Files built_;
};

TEST_F(BuildRun, FirstBuildMakesEveryFile) {
  EXPECT_EQ(first_.status, 0);
  std::string dtd = "Building d.def...\n" + progressText(static_cast<long>(strlen(kXml)), entryEnds(kXml)) + kClear;
  EXPECT_EQ(first_.out, dtd + entryPassOut(built_, 4, 3) + kSaves + widPassOut(built_) + kSaves);
  EXPECT_EQ(first_.err, "Building d.wrd...\nBuilding d.wid...\n");
  std::vector<std::string> names;
  for (const auto& [n, b] : built_) names.push_back(n);
  EXPECT_EQ(names, (std::vector<std::string>{"d.def", "d.eid", "d.ent", "d.wid", "d.wrd", "d.xml"}));
  // Words: cat dog bird fish, each with its chunk.
  EXPECT_EQ(built_.at("d.eid").size(), 4u + 3u * 7u);
  EXPECT_EQ(built_.at("d.wrd").substr(0, 4), le32(4));
}

TEST_F(BuildRun, AllFilesPresentOnlyLoads) {
  RunResult r = lexorn(dir_, {"d"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, kLoads);
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(files(dir_), built_);
}

TEST_F(BuildRun, MissingWordIndexIsBuiltFromTheLoadedLists) {
  remove(dir_.file("d.wid").c_str());
  RunResult r = lexorn(dir_, {"d"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, kLoads + widPassOut(built_) + kSaves);
  EXPECT_EQ(r.err, "Building d.wid...\n");
  EXPECT_EQ(files(dir_), built_);
}

TEST_F(BuildRun, MissingEntryOrWordFileRebuildsEveryIndex) {
  const char* missing[][2] = {{"d.ent", nullptr}, {"d.wrd", nullptr}, {"d.ent", "d.wid"},
                              {"d.wrd", "d.wid"}, {"d.ent", "d.wrd"}};
  for (const auto& m : missing) {
    restore();
    // A ".wid" left in place is replaced, never kept.
    writeFile(dir_.file("d.wid"), "stale");
    for (const char* n : m)
      if (n) remove(dir_.file(n).c_str());
    RunResult r = lexorn(dir_, {"d"});
    EXPECT_EQ(r.status, 0) << m[0];
    EXPECT_EQ(r.out, entryPassOut(built_, 4, 3) + kSaves + widPassOut(built_) + kSaves) << m[0];
    EXPECT_EQ(r.err, "Building d.wrd...\nBuilding d.wid...\n") << m[0];
    EXPECT_EQ(files(dir_), built_) << m[0];
  }
}

TEST_F(BuildRun, ForceRebuildsEverything) {
  writeFile(dir_.file("d.wid"), "stale");
  RunResult r = lexorn(dir_, {"-f", "d.xml"});
  EXPECT_EQ(r.status, 0);
  const std::string& xml = built_.at("d.xml");
  std::string dtd = "Building d.def...\n" + progressText(static_cast<long>(xml.size()), entryEnds(xml)) + kClear;
  EXPECT_EQ(r.out, dtd + entryPassOut(built_, 4, 3) + widPassOut(built_) + kSaves);
  EXPECT_EQ(r.err, "Building d.wrd...\nBuilding d.wid...\n");
  EXPECT_EQ(files(dir_), built_);
}

TEST_F(BuildRun, ReplacementFileIsTakenAndBuilt) {
  const std::string next = "<E><A>one two</A></E>\n<E><A>two</A></E>\n";
  writeFile(dir_.file("d.new"), next);
  RunResult r = lexorn(dir_, {"d"});
  EXPECT_EQ(r.status, 0);
  EXPECT_FALSE(testutil::fileExists(dir_.file("d.new")));
  // The structure is kept; every index is built again from the new text.
  Files now = files(dir_);
  EXPECT_EQ(now.at("d.def"), built_.at("d.def"));
  EXPECT_EQ(now.at("d.xml"), next);
  EXPECT_EQ(testutil::tohex(now.at("d.ent")),
            testutil::tohex(testutil::hex("81 00 00 00 82 01 00 00 02 00 00 00 00 00 02 01"
                                          " 81 00 00 00 82 02 00 00 00 00 00 02 01")));
  EXPECT_EQ(r.out, entryPassOut(now, 2, 2) + widPassOut(now) + kSaves);
  EXPECT_EQ(r.err, "Building d.wrd...\nBuilding d.wid...\n");
  // What was built loads again without a rebuild.
  r = lexorn(dir_, {"d"});
  EXPECT_EQ(r.out, kLoads);
  EXPECT_EQ(files(dir_), now);
}

TEST_F(BuildRun, SpeedUpAfterLoading) {
  RunResult r = lexorn(dir_, {"-s", "d"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, kLoads + "Speeding up d.wid...\n" + progressText(4, indextest::upTo(4)) + kClear +
                       "Saving d.wrd...\n");
  EXPECT_EQ(r.err, "");
  Files now = files(dir_);
  // Nothing deleted: entries untouched, one chunk per word as before.
  EXPECT_EQ(now.at("d.ent"), built_.at("d.ent"));
  EXPECT_EQ(now.at("d.eid"), built_.at("d.eid"));
  EXPECT_EQ(now.at("d.wid").size(), built_.at("d.wid").size());
}

TEST_F(BuildRun, BatchesOfOneThenSpeedUp) {
  RunResult r = lexorn(dir_, {"-f", "-n1", "d"});
  EXPECT_EQ(r.status, 0);
  // One chunk of one code per cell: cat dog bird / dog / cat fish fish.
  EXPECT_EQ(readFile(dir_.file("d.wid")).size(), 7u * 12u);
  EXPECT_EQ(readFile(dir_.file("d.ent")), built_.at("d.ent"));
  r = lexorn(dir_, {"-s", "d"});
  EXPECT_EQ(r.status, 0);
  // Merged: one chunk per word, 7 codes in all (fish under two tags in entry 3).
  EXPECT_EQ(readFile(dir_.file("d.wid")).size(), 4u * 8u + 7u * 4u);
  EXPECT_EQ(listDir(dir_.path()).size(), 6u);
}

TEST_F(BuildRun, DamagedListsAreRebuiltFromTheXmlFile) {
  struct Case {
    const char* file;
    std::string bytes;  // empty: the file is removed
    std::string err;
  } cases[] = {
      {"d.eid", built_.at("d.eid").substr(0, 10),
       "Error: d.eid is damaged: the record count does not match the file size (3).\n"},
      {"d.eid", "", "Error: Could not open d.eid.\n"},
      {"d.wrd", built_.at("d.wrd").substr(0, 60),
       "Error: d.wrd is damaged: a record runs past the end of the file (3).\n"},
      {"d.wrd", le32(0x10000000) + built_.at("d.wrd").substr(4),
       "Error: d.wrd is damaged: the word count is larger than the file can hold (268435456).\n"},
  };
  for (const Case& c : cases) {
    restore();
    if (c.bytes.empty())
      remove(dir_.file(c.file).c_str());
    else
      writeFile(dir_.file(c.file), c.bytes);
    RunResult r = lexorn(dir_, {"d"});
    std::string loads = std::string(c.file) == "d.eid" ? kLoads : "Loading d.wrd...\n";
    if (c.bytes.empty()) loads = "Loading d.wrd...\n";
    EXPECT_EQ(r.status, 0) << c.err;
    EXPECT_EQ(r.out, loads + entryPassOut(built_, 4, 3) + widPassOut(built_) + kSaves) << c.err;
    EXPECT_EQ(r.err, c.err + "Error: Could not load the indexes of d; rebuilding them from d.xml.\n" +
                         "Building d.wrd...\nBuilding d.wid...\n");
    EXPECT_EQ(files(dir_), built_) << c.err;
  }
}

TEST_F(BuildRun, ShortWordIndexIsRebuilt) {
  writeFile(dir_.file("d.wid"), built_.at("d.wid").substr(0, 20));
  RunResult r = lexorn(dir_, {"d"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, kLoads + widPassOut(built_) + kSaves);
  EXPECT_EQ(r.err, "Error: d.wid does not match d.wrd; rebuilding it.\nBuilding d.wid...\n");
  EXPECT_EQ(files(dir_), built_);
}

TEST_F(BuildRun, SpeedUpOverADamagedIndexKeepsTheFiles) {
  // Every chunk's link now points at itself.
  std::string wid = built_.at("d.wid");
  for (size_t at = 0; at + 8 <= wid.size();) {
    int32_t n = 0;
    memcpy(&n, wid.data() + at, 4);
    size_t link = at + 4 + 4 * static_cast<size_t>(n);
    wid.replace(link, 4, le32(static_cast<uint32_t>(at)));
    at = link + 4;
  }
  writeFile(dir_.file("d.wid"), wid);
  RunResult r = lexorn(dir_, {"-s", "d"});
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.err.find("Error: d.wid is damaged: a link does not point forward"), std::string::npos);
  EXPECT_NE(r.err.find("Error: Speeding up d.wid failed; the file is left as it was.\n"),
            std::string::npos);
  Files now = files(dir_);
  EXPECT_EQ(now.at("d.wid"), wid);
  EXPECT_EQ(now.at("d.wrd"), built_.at("d.wrd"));
  EXPECT_EQ(now.size(), built_.size());
}

}  // namespace
