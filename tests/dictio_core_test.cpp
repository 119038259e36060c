// The dictionary object's file set, construction, rebuild and persistence,
// the registry, journal BEGIN/END lines and the user text.

#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "base/error.h"
#include "dictio/dictio.h"
#include "dtd/dtd.h"
#include "testutil.h"
#include "xml/entry.h"

using testutil::CaptureFd;
using testutil::readFile;
using testutil::TempDir;
using testutil::writeFile;

namespace {
const char kDict[] = "<E><A>x</A><STAMP>me</STAMP></E>\n<E><A>y z</A></E>\n";

// True when `text` has the shape of `pattern`, where '9' stands for any digit.
bool shaped(const std::string& text, const std::string& pattern) {
  if (text.size() != pattern.size()) return false;
  for (size_t i = 0; i < text.size(); i++)
    if (pattern[i] == '9' ? !isdigit(static_cast<unsigned char>(text[i])) : text[i] != pattern[i]) return false;
  return true;
}

std::string files(const TempDir& dir) {
  std::string s;
  for (const std::string& n : testutil::listDir(dir.path())) s += n + " ";
  return s;
}
}  // namespace

TEST(FileSet, NamesFromTheBaseName) {
  DictIO d;
  ASSERT_TRUE(d.setXMLName("data/2003.10/dict"));  // cut at the last "."
  std::string names;
  for (const char* n : {d.xmlFile, d.wrdFile, d.entFile, d.eidFile, d.widFile, d.newFile, d.journalFile, d.warFile})
    names += std::string(n) + " ";
  EXPECT_EQ(names, "data/2003.xml data/2003.wrd data/2003.ent data/2003.eid data/2003.wid data/2003.new "
                   "data/2003.journal data/2003.war ");
  EXPECT_EQ(d.getName() + " " + d.getXMLName(), "data/2003 data/2003.xml");
  ASSERT_TRUE(d.setName("a.b"));  // taken whole
  EXPECT_STREQ(d.xmlFile, "a.b.xml");
}

TEST(FileSet, RenameMovesEveryFileButTheNewOneAndRefusesAnOverlongName) {
  TempDir dir;
  for (const char* s : {".xml", ".wrd", ".ent", ".eid", ".wid", ".new", ".journal", ".war"})
    writeFile(dir.file(std::string("old") + s), s);
  DictIO d;
  ASSERT_TRUE(d.setName(dir.file("old").c_str()));
  std::string tooLong = dir.file(std::string(DictIO::kMaxBaseName, 'n'));
  std::string msg = "Error: Dictionary base name " + tooLong + " is longer than 251 characters.\n";
  {
    CaptureFd err(2);
    d.renFiles(tooLong.c_str());  // refused before anything moves
    EXPECT_EQ(err.text(), msg);
  }
  EXPECT_EQ(d.getName(), dir.file("old"));
  d.renFiles(dir.file("new").c_str());
  EXPECT_EQ(files(dir), "new.eid new.ent new.journal new.war new.wid new.wrd new.xml old.new ");
  EXPECT_EQ(readFile(dir.file("new.journal")), ".journal");
  EXPECT_EQ(d.getXMLName(), dir.file("new.xml"));
  CaptureFd err(2);
  EXPECT_FALSE(d.asocFiles(tooLong.c_str()));
  EXPECT_EQ(d.xmlFile, nullptr);
  EXPECT_EQ(err.text(), msg);
  EXPECT_TRUE(d.asocFiles(std::string(DictIO::kMaxBaseName, 'b').c_str()));
}

TEST(Construct, MissingDictionaryIsRecorded) {
  TempDir dir;
  std::string base = dir.file("none");
  CaptureFd err(2);
  DictIO d(base.c_str(), 1, DIO_TRACE);
  EXPECT_EQ(d.errText, "Error: Dictionary " + base + " does not exist.");
  EXPECT_EQ(err.text(), d.errText + "\n");
  EXPECT_EQ(d.dtd, nullptr);
  EXPECT_EQ(d.trace, 1);
  EXPECT_EQ(files(dir), "");
}

TEST(Construct, NewFileAloneCountsForTheObjectButNotForRebuild) {
  TempDir dir;
  std::string base = dir.file("dict");
  writeFile(base + ".new", kDict);
  CaptureFd out(1), err(2);
  DictIO builder;
  builder.setName(base.c_str());
  EXPECT_EQ(builder.rebuild(0), 0);
  EXPECT_EQ(files(dir), "dict.new ");
  {
    DictIO d(base.c_str(), 0, 0);
    EXPECT_EQ(d.errText, "");
    ASSERT_NE(d.dtd, nullptr);
    EXPECT_EQ(d.dtd->getTag(1), "E");  // the structure of the replacement
    ASSERT_NE(d.stampPath, nullptr);
    EXPECT_STREQ(d.stampPath, "E.STAMP");
    EXPECT_EQ(d.size(), 2);
  }
  EXPECT_EQ(out.text() + err.text(), "Error: Dictionary " + base + " does not exist.\n");
  EXPECT_EQ(files(dir), "dict.def dict.eid dict.ent dict.wid dict.wrd dict.xml ");
}

TEST(Persistence, RebuildTakesTheReplacementAndKeepsTheStructureFile) {
  TempDir dir;
  std::string base = dir.file("dict");
  writeFile(base + ".xml", "<E><A>old</A></E>\n");
  writeFile(base + ".def", "0 E\t1\t1\tN\n  1 A\t0\t-1\tK\n");
  writeFile(base + ".new", "<E><A>new</A></E>\n");
  CaptureFd out(1), err(2);
  DictIO d;
  d.setName(base.c_str());
  ASSERT_EQ(d.rebuild(0), 1);
  EXPECT_EQ(d.dtd->key, "E.A");
  EXPECT_EQ(readFile(base + ".def"), "0 E\t1\t1\tN\n  1 A\t0\t-1\tK\n");
  EXPECT_EQ(readFile(base + ".xml"), "<E><A>new</A></E>\n");
  EXPECT_EQ(d.wordCount("new") * 10 + d.wordCount("old"), 10);
}

TEST(Persistence, RebuildAndSync) {
  TempDir dir;
  std::string base = dir.file("dict");
  DictIO d;
  ASSERT_TRUE(d.setName(base.c_str()));
  d.output = 1;
  {
    CaptureFd out(1), err(2);
    d.sync();  // clean: writes nothing
    EXPECT_EQ(out.text() + err.text() + files(dir), "");
  }
  writeFile(base + ".xml", kDict);
  CaptureFd out(1), err(2);
  ASSERT_EQ(d.rebuild(0), 1);
  ASSERT_EQ(d.rebuild(1), 1);  // the previous structure is released
  EXPECT_EQ(d.size(), 2);
  std::remove((base + ".eid").c_str());
  d.dirty = 1;
  d.sync();
  EXPECT_EQ(d.dirty, 0);
  EXPECT_EQ(readFile(base + ".eid").size(), 4u + 7 * 2);
}

TEST(Undo, DelUinfReleasesTheWholeList) {
  DictIO d;
  for (int level : {1, 3})
    for (int k = 0; k < 2; k++) {
      d.uinf[level] = new uinf_t{1, k, new XMLEntry(), estrdup("a"), nullptr, d.uinf[level]};
      d.uinfID[level] = 40;
    }
  d.del_uinf(1);
  EXPECT_EQ(d.uinf[1], nullptr);
  EXPECT_EQ(d.uinfID[1], -1);
  EXPECT_EQ(d.uinfID[3], 40);  // level 3 is left to the destructor
}

class Registry : public ::testing::Test {
 protected:
  static inline int loads = 0;
  static void onLoad(void*, char* text) { loads += std::string(text) == "Opening" ? 1 : 100; }
  void SetUp() override {
    dictios_init(0);
    dictios_set_on_load(&Registry::onLoad);
    loads = 0;
  }
  void TearDown() override {
    dictios_set_on_load(nullptr);
    dictios_init(1);
  }
  TempDir dir;
  CaptureFd err{2};
};

TEST_F(Registry, OneObjectPerNameAndOneLoad) {
  std::string base = dir.file("dict");
  DictIO* a = dictios_get(base.c_str(), 0);  // empty display text: no on_load
  EXPECT_EQ(loads, 0);
  EXPECT_EQ(dictios_get(base.c_str(), 0), a);
  dictios_delete();  // clears the slots too
  dictios_set_name("Opening");
  DictIO* b = dictios_get(base.c_str(), 0);
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(dictios_get(base.c_str(), 0), b);
  EXPECT_EQ(loads, 1);
}

TEST_F(Registry, EleventhNameIsRefused) {
  for (int i = 0; i < kRegistrySlots; i++) ASSERT_NE(dictios_get(dir.file(std::to_string(i)).c_str(), 0), nullptr);
  EXPECT_EQ(dictios_get(dir.file("x").c_str(), 0), nullptr);
  EXPECT_NE(dictios_get(dir.file("9").c_str(), 0), nullptr);
  EXPECT_NE(err.text().find("Error: Cannot open dictionary " + dir.file("x") + ": all 10 dictionary slots are in use.\n"),
            std::string::npos);
}

TEST(Journal, BeginAndEndLinesAndTheUserText) {
  TempDir dir;
  std::string base = dir.file("dict");
  CaptureFd err(2);
  { DictIO d(base.c_str(), 0, DIO_JOURNAL); }
  { DictIO d(base.c_str(), 0, DIO_UNDO); }  // no journal bit: no lines
  char user[256], day[11];
  std::string u = get_name(user), time = "9999/99/99 99:99:99 ";
  EXPECT_TRUE(shaped(readFile(base + ".journal"), time + u + " BEGIN\n" + time + u + " END\n"))
      << readFile(base + ".journal");
  EXPECT_TRUE(shaped(get_date(day), "9999/99/99")) << day;

  EXPECT_STREQ(get_name_from(user, "John Smith"), "John_Smith");
  EXPECT_STREQ(get_name_from(user, " a  b "), "_a__b_");
  EXPECT_EQ(strlen(get_name_from(user, std::string(300, 'x').c_str())), 255u);
}
