// Opening a dictionary whose index files are damaged, stale or pending:
// the host's open and the read-only open build nothing and leave every file
// as it was (edits live only in the index files); lexorn keeps the damaged
// files aside before it rebuilds.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "base/binio.h"
#include "dictio/dictio.h"
#include "index_fixture.h"
#include "testutil.h"
#include "xml/entry.h"
#include "xml/reader.h"

using indextest::Built;
using testutil::CaptureFd;
using testutil::readFile;
using testutil::RunResult;
using testutil::snapshot;
using testutil::writeFile;

namespace {

const char kDef[] = "0 E\t1\t1\tN\n  1 HW\t1\t1\tK\n  1 DEF\t0\t-1\tN\n";
const char kXml[] =
    "<E><HW>cat</HW><DEF>a small animal</DEF></E>\n"
    "<E><HW>dog</HW><DEF>a loyal animal</DEF></E>\n";

std::string findTool() {
  std::string bin = LEXORN_BIN;
  return bin.substr(0, bin.rfind('/') + 1) + "lexorn-find";
}

// "status|out|err" of a program run in `dir`.
std::string runIn(const std::string& dir, const std::vector<std::string>& argv) {
  RunResult r = testutil::run(argv, dir);
  return std::to_string(r.status) + "|" + r.out + "|" + r.err;
}

std::string hits(DictIO& d, int tag, const char* words) {
  twset found;
  d.findWordEnt(tag, words, &found, nullptr, 0, 0);
  return indextest::show(found);
}

// A built dictionary holding one edit, entry 50 "pig", which lives only in
// the index files.
class DamagedOpen : public ::testing::Test {
 protected:
  void SetUp() override {
    auto d = b.open(0);
    XML x;
    ASSERT_TRUE(x.getEntry(std::string("<E><HW>pig</HW><DEF>a pink animal</DEF></E>")));
    d->addEntry(x.root, 50, 0, nullptr);
    ASSERT_EQ(hits(*d, 2, "pig"), "50:2");
  }
  std::string find(const std::vector<std::string>& args) {
    std::vector<std::string> argv{findTool()};
    argv.insert(argv.end(), args.begin(), args.end());
    return runIn(b.dir.path(), argv);
  }
  Built b{kXml, kDef};
};

}  // namespace

TEST_F(DamagedOpen, ReadOnlyOpenReportsAndTouchesNothing) {
  EXPECT_EQ(find({"d", "word", "E.HW", "pig"}).substr(0, 2), "0|");
  const std::string eid = b.read(".eid"), wrd = b.read(".wrd"), wid = b.read(".wid"), ent = b.read(".ent");
  // "dog" made "cat": the record stored later repeats a text.
  const size_t cat = wrd.find("\x03" "cat"), dog = wrd.find("\x03" "dog");
  ASSERT_NE(cat, std::string::npos);
  ASSERT_NE(dog, std::string::npos);
  std::string twice = wrd;
  twice.replace(dog + 1, 3, "cat");
  const uint32_t later = load_u24(reinterpret_cast<const unsigned char*>(wrd.data()) + std::max(cat, dog) - 3);
  // The entry added last stands last in the entry file.
  int32_t last = 0;
  for (size_t at = 4; at + 7 <= eid.size(); at += 7)
    if (load_u24(reinterpret_cast<const unsigned char*>(eid.data()) + at) == 50)
      last = load_i32(reinterpret_cast<const unsigned char*>(eid.data()) + at + 3);
  ASSERT_GT(last, 0);
  struct Case {
    const char* suffix;
    std::string bytes;
    std::string err;
  } cases[] = {
      {".eid", eid.substr(0, eid.size() - 1),
       "Error: d.eid is damaged: the record count does not match the file size (3).\n"},
      {".wrd", wrd.substr(0, wrd.size() - 3), "Error: d.wrd is damaged: a record runs past the end of the file (7).\n"},
      {".wid", wid.substr(0, 16), "Error: d.wid does not match d.wrd.\n"},
      {".def", "", "Error: d.def is damaged: it describes no element.\n"},
      {".wrd", twice, "Error: d.wrd is damaged: a word text is repeated (" + std::to_string(later) + ").\n"},
      {".ent", ent.substr(0, ent.size() - 1),
       "Error: d.ent is damaged: entry 50 at offset " + std::to_string(last) + " is cut short.\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.suffix);
    std::string good = b.read(c.suffix);
    writeFile(b.path(c.suffix), c.bytes);
    std::string before = snapshot(b.dir.path());
    EXPECT_EQ(find({"d", "word", "E.HW", "pig"}), "2||" + c.err);
    EXPECT_EQ(find({"d", "entry", "50"}), "2||" + c.err);
    {
      CaptureFd err(2);
      DictIO d(b.path("").c_str(), 0, DIO_READONLY);
      std::string text = err.text();
      for (size_t at; (at = text.find(b.dir.path() + "/")) != std::string::npos;)
        text.erase(at, b.dir.path().size() + 1);
      EXPECT_EQ(text, c.err);
      EXPECT_EQ(d.damaged, 1);
      EXPECT_EQ(d.errText.empty(), false);
      EXPECT_EQ(d.size() + map_size(&d.wordMap), 0);
    }
    EXPECT_EQ(snapshot(b.dir.path()), before);
    writeFile(b.path(c.suffix), good);
  }
}

TEST_F(DamagedOpen, HostOpenBuildsNothingEditsNothingAndSavesNothing) {
  const std::string eid = b.read(".eid"), wid = b.read(".wid");
  for (const std::string& bad : {std::string("eid"), std::string("wid")}) {
    SCOPED_TRACE(bad);
    if (bad == "eid") writeFile(b.path(".eid"), eid.substr(0, eid.size() - 1));
    if (bad == "wid") writeFile(b.path(".wid"), wid.substr(0, 16));
    std::string before = snapshot(b.dir.path());
    {
      CaptureFd err(2);
      DictIO d(b.path("").c_str(), 0, DIO_UNDO);
      std::string text = err.text();
      EXPECT_NE(text.find("opened without its indexes. Run lexorn " + b.path("") + " to keep"),
                std::string::npos)
          << text;
      EXPECT_EQ(d.damaged, 1);
      EXPECT_FALSE(d.writable());
      EXPECT_EQ(d.size(), 0);
      CaptureFd refused(2);
      XML x;
      ASSERT_TRUE(x.getEntry(std::string("<E><HW>cow</HW></E>")));
      d.addEntry(x.root, 60, 0, nullptr);
      d.delEntry(50, nullptr, 0);  // not in the empty tables: nothing to say
      d.dirty = 1;                 // even so, the destructor saves nothing
      EXPECT_EQ(refused.text(), "Error: Dictionary " + b.path("") + " is damaged; it cannot be edited.\n");
    }
    EXPECT_EQ(snapshot(b.dir.path()), before);
    writeFile(b.path(".eid"), eid);
    writeFile(b.path(".wid"), wid);
  }

  // A read-only object refuses edits as well.
  DictIO d(b.path("").c_str(), 0, DIO_READONLY | DIO_JOURNAL);
  ASSERT_TRUE(d.errText.empty()) << d.errText;
  std::string before = snapshot(b.dir.path());
  CaptureFd err(2);
  d.delEntry(1, nullptr, 0);
  d.beginTransaction();
  EXPECT_EQ(err.text(), "Error: Dictionary " + b.path("") + " is open read-only.\n" + "Error: Dictionary " +
                            b.path("") + " is open read-only.\n");
  EXPECT_EQ(hits(d, 2, "pig"), "50:2");
  EXPECT_EQ(snapshot(b.dir.path()), before);
}

// A structure description that loads as no element at all leaves the host's
// open without indexes: nothing is built with it, edited or saved.
TEST_F(DamagedOpen, HostOpenRefusesAStructureThatDescribesNothing) {
  const std::string def = b.read(".def");
  const std::string tooLong = "0 E\t1\t1\tN\n  1 " + std::string(128, 'X') + "\t0\t1\tN\n";
  for (const std::string& bad : {tooLong, std::string("\n\r\n")}) {
    SCOPED_TRACE(bad);
    writeFile(b.path(".def"), bad);
    std::remove(b.path(".ent").c_str());  // would be rebuilt, every entry empty
    std::string before = snapshot(b.dir.path());
    {
      CaptureFd err(2);
      DictIO d(b.path("").c_str(), 0, 0);
      std::string text = err.text();
      const std::string damaged = "Error: " + b.path(".def") + " is damaged: it describes no element.";
      const size_t at = text.find(damaged);
      ASSERT_NE(at, std::string::npos) << text;
      EXPECT_EQ(text.substr(at), damaged + "\n");
      EXPECT_EQ(d.errText, damaged);
      EXPECT_EQ(d.damaged, 1);
      EXPECT_EQ(d.size() + map_size(&d.wordMap), 0);
      XML x;
      ASSERT_TRUE(x.getEntry(std::string("<E><HW>cow</HW></E>")));
      CaptureFd refused(2);
      d.addEntry(x.root, 60, 0, nullptr);
      d.dirty = 1;
      EXPECT_EQ(refused.text(), "Error: Dictionary " + b.path("") + " is damaged; it cannot be edited.\n");
    }
    EXPECT_EQ(snapshot(b.dir.path()), before);
  }
  writeFile(b.path(".def"), def);
}

// The damaged files lexorn keeps aside still hold the edit.
TEST_F(DamagedOpen, LexornKeepsTheEditInTheFilesItSetsAside) {
  const std::string eid = b.read(".eid");
  writeFile(b.path(".eid"), eid.substr(0, eid.size() - 1));
  EXPECT_EQ(find({"d", "word", "E.HW", "pig"}).substr(0, 2), "2|");
  RunResult r = testutil::run({LEXORN_BIN, "d"}, b.dir.path());
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.err.find("the files are kept as d.ent.damaged, d.eid.damaged, d.wrd.damaged and d.wid.damaged"),
            std::string::npos)
      << r.err;
  // The rebuilt index has no edit, and the tool says that pig is no word of it.
  EXPECT_EQ(find({"d", "word", "E.HW", "pig"}), "1||Note: 'pig' is not a word of dictionary d.\n");
  // Put back whole, the kept files give the edit back.
  for (const char* s : {".ent", ".wrd", ".wid"}) writeFile(b.path(s), readFile(b.path(s) + ".damaged"));
  writeFile(b.path(".eid"), eid);
  EXPECT_EQ(find({"d", "word", "E.HW", "pig"}).substr(0, 12), "0|50 E.HW\n<E");
}

// Both tools cut a dictionary argument at its last ".".
TEST(DictionaryNames, BothToolsTakeTheBuildersRule) {
  testutil::TempDir dir;
  writeFile(dir.file("v1.2.xml"), kXml);
  RunResult built = testutil::run({LEXORN_BIN, "v1.2.dict"}, dir.path());
  ASSERT_EQ(built.status, 0) << built.err;
  EXPECT_TRUE(testutil::fileExists(dir.file("v1.2.eid")));
  EXPECT_EQ(runIn(dir.path(), {findTool(), "v1.2.dict", "entry", "2"}).substr(0, 10), "0|<E>\n  <H");
  EXPECT_EQ(runIn(dir.path(), {findTool(), "v1.2.xml", "words", "E.HW"}).substr(0, 2), "0|");
  EXPECT_EQ(dictBaseName("data/2003.10/dict"), "data/2003");
  EXPECT_EQ(runIn(dir.path(), {findTool(), "v1", "entry", "1"}),
            "2||Error: Dictionary v1 does not exist.\n");
}

// A ".new" that cannot be renamed over the XML file fails the run, which
// changes nothing: the replacement stays waiting.
TEST(Replacement, ThatCannotBeTakenChangesNothing) {
  Built b(kXml, kDef);
  ASSERT_EQ(rename(b.path(".xml").c_str(), b.path(".old").c_str()), 0);
  ASSERT_EQ(mkdir(b.path(".xml").c_str(), 0755), 0);
  writeFile(b.path(".xml") + "/keep", "x");  // a non-empty directory is never replaced
  writeFile(b.path(".new"), kXml);
  std::string before = snapshot(b.dir.path());
  RunResult r = testutil::run({LEXORN_BIN, "d"}, b.dir.path());
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "Building d.wrd...\nBuilding d.wid...\nError: d.xml is a directory; nothing is changed.\n");
  EXPECT_EQ(snapshot(b.dir.path()), before);
}
