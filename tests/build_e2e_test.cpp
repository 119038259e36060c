// The index build end to end through the lexorn program: every row of the
// build-or-load decision, ".new", -f, -s, -n1, and damaged index files.

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "base/progress.h"
#include "index_fixture.h"
#include "testutil.h"

using indextest::le32;
using indextest::progressText;
using testutil::readFile;
using testutil::RunResult;
using testutil::TempDir;
using testutil::writeFile;

namespace {

const char* kXml = "<E><A>cat dog</A><B>bird</B></E>\n<E><A>dog</A></E>\n<E><B>cat fish</B><A>fish</A></E>\n";
const std::string kClear = kClearLine;
const std::string kSaves = "Saving d.wrd...\nSaving d.eid...\n";
const std::string kLoads = "Loading d.wrd...\nLoading d.eid...\n";
const std::string kBuilds = "Building d.wrd...\nBuilding d.wid...\n";
const std::string kRemove = "(removed)";

using Files = std::map<std::string, std::string>;

Files files(const TempDir& dir) {
  Files f;
  for (const std::string& n : testutil::listDir(dir.path())) f[n] = readFile(dir.file(n));
  return f;
}

// Where each entry ends in the XML text, and each packed entry in ".ent"
// (from the entry index).
std::vector<long> entryEnds(const std::string& xml) {
  std::vector<long> ends;
  for (size_t at = xml.find("</E>"); at != std::string::npos; at = xml.find("</E>", at + 1))
    ends.push_back(static_cast<long>(at + 4));
  return ends;
}
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

// What the passes print for the dictionary whose built files are `f`.
std::string dtdPassOut(const std::string& xml) {
  return "Building d.def...\n" + progressText(static_cast<long>(xml.size()), entryEnds(xml)) + kClear;
}
std::string entryPassOut(const Files& f, int words, int entries) {
  const std::string& xml = f.at("d.xml");
  return progressText(static_cast<long>(xml.size()), entryEnds(xml)) + kClear + std::to_string(words) +
         " words.\n" + kClear + std::to_string(entries) + " entries.\n";
}
std::string widPassOut(const Files& f) {
  return progressText(static_cast<long>(f.at("d.ent").size()), packedEnds(f)) + kClear;
}

// A dictionary built once from kXml; each test starts from its files.
class BuildRun : public ::testing::Test {
 protected:
  void SetUp() override {
    writeFile(dir_.file("d.xml"), kXml);
    first_ = lexorn({"d"});
    built_ = files(dir_);
  }
  RunResult lexorn(std::vector<std::string> args) {
    args.insert(args.begin(), LEXORN_BIN);
    return testutil::run(args, dir_.path());
  }
  // Back to the built state, then the given files replaced or removed.
  void prepare(const std::vector<std::pair<std::string, std::string>>& changes) {
    for (const auto& [name, bytes] : built_) writeFile(dir_.file(name), bytes);
    for (const auto& [name, bytes] : changes) {
      if (bytes == kRemove) {
        remove(dir_.file(name).c_str());
      } else {
        writeFile(dir_.file(name), bytes);
      }
    }
  }

  TempDir dir_;
  RunResult first_;
  Files built_;
};

TEST_F(BuildRun, FirstBuildMakesEveryFile) {
  EXPECT_EQ(first_.status, 0);
  EXPECT_EQ(first_.out, dtdPassOut(kXml) + entryPassOut(built_, 4, 3) + kSaves + widPassOut(built_) + kSaves);
  EXPECT_EQ(first_.err, kBuilds);
  std::string names;
  for (const auto& [n, b] : built_) names += n + " ";
  EXPECT_EQ(names, "d.def d.eid d.ent d.wid d.wrd d.xml ");
  EXPECT_EQ(built_.at("d.eid").size(), 4u + 3u * 7u);
  EXPECT_EQ(built_.at("d.wrd").substr(0, 4), le32(4));  // cat dog bird fish
}

TEST_F(BuildRun, DecisionTableRowsRebuildWhatIsMissingOrDamaged) {
  const std::string eid10 = built_.at("d.eid").substr(0, 10), wrd60 = built_.at("d.wrd").substr(0, 60),
                    wrdCount = le32(0x10000000) + built_.at("d.wrd").substr(4),
                    wid20 = built_.at("d.wid").substr(0, 20);
  const std::string everything = entryPassOut(built_, 4, 3) + kSaves + widPassOut(built_) + kSaves;
  const std::string fromXml = entryPassOut(built_, 4, 3) + widPassOut(built_) + kSaves;
  auto rebuild = [](const std::string& kept) {
    return "Error: Could not load the indexes of d; the files are kept as " + kept +
           ", and the indexes are rebuilt from d.xml.\n" + kBuilds;
  };
  const std::string allKept = "d.ent.damaged, d.eid.damaged, d.wrd.damaged and d.wid.damaged";
  struct Row {
    std::vector<std::pair<std::string, std::string>> changes;
    std::vector<std::string> args;
    std::string out, err;
    std::vector<std::string> kept;  // files moved aside as NAME.damaged, with their bytes
  } rows[] = {
      {{}, {"d"}, kLoads, "", {}},  // all files present: only loads
      {{{"d.wid", kRemove}}, {"d"}, kLoads + widPassOut(built_) + kSaves, "Building d.wid...\n", {}},
      // A missing entry or word file rebuilds every index; a ".wid" left in
      // place is replaced, never kept.
      {{{"d.wid", "stale"}, {"d.ent", kRemove}}, {"d"}, everything, kBuilds, {}},
      {{{"d.wid", "stale"}, {"d.wrd", kRemove}}, {"d"}, everything, kBuilds, {}},
      {{{"d.ent", kRemove}, {"d.wid", kRemove}}, {"d"}, everything, kBuilds, {}},
      {{{"d.wrd", kRemove}, {"d.wid", kRemove}}, {"d"}, everything, kBuilds, {}},
      {{{"d.wid", "stale"}, {"d.ent", kRemove}, {"d.wrd", kRemove}}, {"d"}, everything, kBuilds, {}},
      {{{"d.wid", "stale"}}, {"-f", "d.xml"}, dtdPassOut(built_.at("d.xml")) + fromXml, kBuilds, {}},
      // Damaged lists: the files are kept aside (they may hold edits), then
      // every index is rebuilt from the XML file.
      {{{"d.eid", eid10}}, {"d"}, kLoads + fromXml,
       "Error: d.eid is damaged: the record count does not match the file size (3).\n" + rebuild(allKept),
       {"d.ent", "d.eid", "d.wrd", "d.wid"}},
      {{{"d.eid", kRemove}}, {"d"}, "Loading d.wrd...\n" + fromXml,
       "Error: Could not open d.eid.\n" + rebuild("d.ent.damaged, d.wrd.damaged and d.wid.damaged"),
       {"d.ent", "d.wrd", "d.wid"}},
      {{{"d.wrd", wrd60}}, {"d"}, "Loading d.wrd...\n" + fromXml,
       "Error: d.wrd is damaged: a record runs past the end of the file (3).\n" + rebuild(allKept),
       {"d.ent", "d.eid", "d.wrd", "d.wid"}},
      {{{"d.wrd", wrdCount}}, {"d"}, "Loading d.wrd...\n" + fromXml,
       "Error: d.wrd is damaged: the word count is larger than the file can hold (268435456).\n" +
           rebuild(allKept),
       {"d.ent", "d.eid", "d.wrd", "d.wid"}},
      // A word index that does not fit the word list is rebuilt from the
      // entries, which keep any edits.
      {{{"d.wid", wid20}}, {"d"}, kLoads + widPassOut(built_) + kSaves,
       "Error: d.wid does not match d.wrd; it is kept as d.wid.damaged and rebuilt.\nBuilding d.wid...\n",
       {"d.wid"}},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.err.empty() ? r.out.substr(0, 30) : r.err.substr(0, 60));
    prepare(r.changes);
    Files before = files(dir_);
    RunResult run = lexorn(r.args);
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, r.out);
    EXPECT_EQ(run.err, r.err);
    Files after = files(dir_);
    for (const std::string& name : r.kept) {
      EXPECT_EQ(after[name + ".damaged"], before.at(name)) << name;
      after.erase(name + ".damaged");
      remove(dir_.file(name + ".damaged").c_str());
    }
    EXPECT_EQ(after, built_);
  }
}

// Damaged files are never replaced by a later set kept aside, and a set
// that cannot be kept aside is not rebuilt over.
TEST_F(BuildRun, DamagedFilesKeptAsideAreNeverReplaced) {
  const std::string eid10 = built_.at("d.eid").substr(0, 10);
  writeFile(dir_.file("d.eid"), eid10);
  ASSERT_EQ(lexorn({"d"}).status, 0);
  writeFile(dir_.file("d.eid"), eid10 + "x");
  RunResult second = lexorn({"d"});
  EXPECT_NE(second.err.find("kept as d.ent.damaged.2, d.eid.damaged.2, d.wrd.damaged.2 and d.wid.damaged.2,"),
            std::string::npos)
      << second.err;
  EXPECT_EQ(readFile(dir_.file("d.eid.damaged")), eid10);
  EXPECT_EQ(readFile(dir_.file("d.eid.damaged.2")), eid10 + "x");
  EXPECT_EQ(readFile(dir_.file("d.eid")), built_.at("d.eid"));

  // Without d.xml there is nothing to rebuild from: the files stay.
  writeFile(dir_.file("d.eid"), eid10);
  remove(dir_.file("d.xml").c_str());
  RunResult third = lexorn({"d"});
  EXPECT_EQ(third.err.substr(third.err.find('\n') + 1),
            "Error: The indexes of d are damaged and d.xml is missing; nothing is rebuilt.\n");
  EXPECT_EQ(readFile(dir_.file("d.eid")), eid10);
  EXPECT_EQ(readFile(dir_.file("d.wrd")), built_.at("d.wrd"));
}

TEST_F(BuildRun, ReplacementFileIsTakenAndBuilt) {
  const std::string next = "<E><A>one two</A></E>\n<E><A>two</A></E>\n";
  writeFile(dir_.file("d.new"), next);
  RunResult r = lexorn({"d"});
  EXPECT_EQ(r.status, 0);
  // The structure is kept; every index is built again from the new text.
  Files now = files(dir_);
  EXPECT_EQ(now.count("d.new"), 0u);
  EXPECT_EQ(now.at("d.def"), built_.at("d.def"));
  EXPECT_EQ(now.at("d.xml"), next);
  EXPECT_EQ(testutil::tohex(now.at("d.ent")),
            "81 00 00 00 82 01 00 00 02 00 00 00 00 00 02 01 81 00 00 00 82 02 00 00 00 00 00 02 01");
  EXPECT_EQ(r.out, entryPassOut(now, 2, 2) + widPassOut(now) + kSaves);
  EXPECT_EQ(r.err, kBuilds);
  r = lexorn({"d"});  // what was built loads again without a rebuild
  EXPECT_EQ(r.out, kLoads);
  EXPECT_EQ(files(dir_), now);
}

TEST_F(BuildRun, SpeedUpAfterLoadingAndAfterBatchesOfOne) {
  RunResult r = lexorn({"-s", "d"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, kLoads + "Speeding up d.wid...\n" + progressText(4, indextest::upTo(4)) + kClear +
                       "Saving d.wrd...\n");
  EXPECT_EQ(r.err, "");
  // Nothing deleted: entries untouched, one chunk per word as before.
  Files now = files(dir_);
  EXPECT_EQ(now.at("d.ent") + now.at("d.eid"), built_.at("d.ent") + built_.at("d.eid"));
  EXPECT_EQ(now.at("d.wid").size(), built_.at("d.wid").size());

  EXPECT_EQ(lexorn({"-f", "-n1", "d"}).status, 0);
  // One chunk of one code per cell: cat dog bird / dog / cat fish fish.
  EXPECT_EQ(readFile(dir_.file("d.wid")).size(), 7u * 12u);
  EXPECT_EQ(readFile(dir_.file("d.ent")), built_.at("d.ent"));
  EXPECT_EQ(lexorn({"-s", "d"}).status, 0);
  // Merged: one chunk per word, 7 codes in all (fish under two tags in entry 3).
  EXPECT_EQ(readFile(dir_.file("d.wid")).size(), 4u * 8u + 7u * 4u);
  EXPECT_EQ(files(dir_).size(), 6u);
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
  RunResult r = lexorn({"-s", "d"});
  EXPECT_EQ(r.status, 1);  // a pass failed: nothing is changed
  EXPECT_NE(r.err.find("Error: d.wid is damaged: a link does not point forward"), std::string::npos);
  EXPECT_NE(r.err.find("Error: Speeding up d.wid failed; the file is left as it was.\n"), std::string::npos);
  Files now = files(dir_);
  EXPECT_EQ(now.at("d.wid"), wid);
  EXPECT_EQ(now.at("d.wrd"), built_.at("d.wrd"));
  EXPECT_EQ(now.size(), built_.size());
}

}  // namespace

// The word list is written and read through a 64 KiB buffer: a few system
// calls for a list of some hundred kilobytes, not one per 4 KiB.
TEST(WordListFile, IsWrittenAndReadInLargeBlocks) {
  if (system("strace -V >/dev/null 2>&1") != 0) GTEST_SKIP() << "strace is not installed";
  TempDir dir;
  std::string xml;
  for (int i = 0; i < 3000; ++i) {
    xml += "<E><A>";
    for (int k = 0; k < 10; ++k) xml += "word" + std::to_string(i * 10 + k) + "x ";
    xml += "</A></E>\n";
  }
  writeFile(dir.file("d.xml"), xml);
  // Calls of `op` on d.wrd (while open) in a run of lexorn with `args`.
  auto calls = [&dir](const std::string& args, const std::string& op) {
    std::string log = dir.file("trace");
    // LeakSanitizer cannot run under a tracer; the leak checks run elsewhere.
    std::string cmd = "cd '" + dir.path() + "' && ASAN_OPTIONS=detect_leaks=0 strace -qq -e trace=openat,close,read,write -o '" + log +
                      "' '" + LEXORN_BIN + "' " + args + " >/dev/null 2>&1";
    EXPECT_EQ(system(cmd.c_str()), 0);
    std::string text = readFile(log), fd;
    int n = 0;
    for (size_t at = 0, nl; (nl = text.find('\n', at)) != std::string::npos; at = nl + 1) {
      std::string line = text.substr(at, nl - at);
      if (line.rfind("openat(", 0) == 0 && line.find("\"d.wrd\"") != std::string::npos)
        fd = line.substr(line.rfind("= ") + 2);
      else if (!fd.empty() && line.rfind("close(" + fd + ")", 0) == 0)
        fd.clear();
      else if (!fd.empty() && line.rfind(op + "(" + fd + ",", 0) == 0)
        ++n;
    }
    remove(log.c_str());
    return n;
  };
  int writes = calls("-f d", "write"), reads = calls("d", "read");
  long size = static_cast<long>(readFile(dir.file("d.wrd")).size());
  ASSERT_GT(size, 300000);
  EXPECT_LE(writes, 2 * (size / 65536 + 1)) << writes;  // saved twice by a build
  EXPECT_LE(reads, size / 65536 + 3) << reads;
}
