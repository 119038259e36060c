// Inference of the structure description from a dictionary file.

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <memory>
#include <vector>

#include "base/progress.h"
#include "dtd/dtd.h"
#include "testutil.h"
#include "xml/reader.h"

using testutil::CaptureFd;
using testutil::fileExists;
using testutil::listDir;
using testutil::readFile;
using testutil::TempDir;
using testutil::writeFile;

namespace {

const char kHeader[] = "<?xml version=\"1.0\"?>\n";
const char kTwoEntries[] = "<e><a>x</a><b>y</b></e>\n<e><b>z</b><c>w</c></e>\n";

struct Rec {
  std::string path;
  int min, max;
  char type;
  bool operator==(const Rec&) const = default;
};

std::vector<Rec> records(const DTD& d) {
  std::vector<Rec> out;
  for (int i = 0; i < d.count; i++) out.push_back({d.tags[i].path, d.tags[i].min, d.tags[i].max, d.tags[i].type});
  return out;
}

// Runs a forced inference over `xml` written as d.xml; collects both streams.
struct Build {
  std::string out, err;
  std::unique_ptr<DTD> dtd;
  Build(const TempDir& dir, const std::string& xml, int io = 0, DTD::Progress cb = nullptr,
        bool force = true) {
    if (!xml.empty()) writeFile(dir.file("d.xml"), xml);
    CaptureFd o(1), e(2);
    dtd = std::make_unique<DTD>(dir.file("d.xml"), force, io, cb);
    out = o.text();
    err = e.text();
  }
};

int countNodes(const DTDEntry* e) {
  int n = 1;
  for (const DTDEntry* c : e->children) n += countNodes(c);
  return n;
}

TEST(Inference, TwoEntryExample) {
  TempDir dir;
  Build b(dir, kTwoEntries);
  std::vector<Rec> want = {{"E", 1, 1, 'N'}, {"E.A", 0, -1, 'N'}, {"E.B", 1, 1, 'N'}, {"E.C", 0, -1, 'N'}};
  EXPECT_EQ(records(*b.dtd), want);
  EXPECT_EQ(readFile(dir.file("d.def")),
            "0 E\t1\t1\tN\n  1 A\t0\t-1\tN\n  1 B\t1\t1\tN\n  1 C\t0\t-1\tN\n");
  EXPECT_EQ(readFile(dir.file("d.xml")),
            std::string(kHeader) + "<E><A>x</A><B>y</B></E>\n<E><B>z</B><C>w</C></E>\n");
  EXPECT_EQ(b.out, "");
  EXPECT_EQ(b.err, "");
  EXPECT_EQ(listDir(dir.path()), (std::vector<std::string>{"d.def", "d.xml"}));
  EXPECT_EQ(b.dtd->ngarb(), countNodes(b.dtd->root));  // nothing unreachable stays
  EXPECT_EQ(b.dtd->getString(), "0 E 1 1\n  1 A 0 -1\n  1 B 1 1\n  1 C 0 -1\n");
}

std::vector<double> fractions;
void record(void* handle, double f) {
  EXPECT_EQ(handle, nullptr);
  fractions.push_back(f);
}

TEST(Inference, BuildingLineAndProgressOnStandardOutput) {
  TempDir dir;
  fractions.clear();
  Build b(dir, kTwoEntries, 1, record);
  std::string clear = std::string("\r") + std::string(53, ' ') + "\r";
  EXPECT_EQ(b.out, "Building " + dir.file("d.def") + "...\n" + clear + "Progress: 47%" + clear +
                       "Progress: 97%" + clear);
  EXPECT_EQ(fractions, (std::vector<double>{23.0 / 48, 47.0 / 48}));
}

TEST(Inference, ProgressStepIsAHundredthOfTheFile) {
  // 2000 bytes: step 20; entries of 16 bytes report every second time.
  std::string xml;
  for (int i = 0; i < 125; i++) xml += "<e><a>" + std::to_string(i % 10) + "</a></e>\n";
  ASSERT_EQ(xml.size(), 2000u);
  TempDir dir;
  fractions.clear();
  Build b(dir, xml, 0, record);
  EXPECT_EQ(b.out, "");
  ASSERT_EQ(fractions.size(), 63u);
  EXPECT_EQ(fractions[0], 15.0 / 2000);
  EXPECT_EQ(fractions[1], 47.0 / 2000);
  EXPECT_EQ(fractions[62], 1999.0 / 2000);
}

TEST(Inference, RepeatedElementKeepsMaxOne) {
  TempDir dir;
  Build b(dir, "<e><s>1</s><s>2</s><s>3</s></e><e><s>4</s><s>5</s><s>6</s></e>");
  EXPECT_EQ(records(*b.dtd), (std::vector<Rec>{{"E", 1, 1, 'N'}, {"E.S", 1, 1, 'N'}}));
}

TEST(Inference, MinUnderOptionalParents) {
  TempDir dir;
  Build b(dir,
          "<e><h>1</h></e>\n"
          "<e><h>2</h><p><q>x</q></p></e>\n"
          "<e><h>3</h><p><r>y</r></p><p><q>z</q></p></e>\n");
  std::vector<Rec> want = {{"E", 1, 1, 'N'},     {"E.H", 1, 1, 'N'},    {"E.P", 0, -1, 'N'},
                           {"E.P.Q", 1, 1, 'N'}, {"E.P.R", 0, -1, 'N'}};
  EXPECT_EQ(records(*b.dtd), want);
}

TEST(Inference, OneEntryTreeHasOneNodePerPathInOrderOfFirstAppearance) {
  DTD d;
  XML x;
  ASSERT_TRUE(x.getEntry(std::string("<e><b>1</b><a><y>2</y></a><b><z>3</z></b><a><x>4</x><y>5</y></a></e>")));
  DTDEntry* t = x.getEntDTD(&d);
  d.root = t;
  d.ent2str();
  std::vector<std::string> paths;
  for (int i = 0; i < d.count; i++) paths.push_back(d.tags[i].path);
  EXPECT_EQ(paths, (std::vector<std::string>{"E", "E.B", "E.B.Z", "E.A", "E.A.Y", "E.A.X"}));
  for (int i = 0; i < d.count; i++) EXPECT_EQ(d.tags[i].min, 1) << d.tags[i].path;
}

TEST(Inference, ForeignUpmostTagJoinsUnderTheFirst) {
  DTD d;
  XML first, second;
  ASSERT_TRUE(first.getEntry(std::string("<e><a>1</a></e>")));
  ASSERT_TRUE(second.getEntry(std::string("<f><b><c>2</c></b><a>3</a></f>")));
  d.update(&first);
  CaptureFd err(2);
  d.update(&second);
  EXPECT_EQ(err.text(), "The upmost tag is different (E!=F).\n");
  d.ent2str();
  EXPECT_EQ(records(d), (std::vector<Rec>{{"E", 1, 1, 'N'}, {"E.A", 1, 1, 'N'}, {"E.B", 0, -1, 'N'},
                                         {"E.B.C", 1, 1, 'N'}}));
  EXPECT_EQ(d.ngarb(), 4);
}

TEST(Inference, ExistingDefIsLoadedUnlessForced) {
  TempDir dir;
  writeFile(dir.file("d.def"), "0 Q\t1\t1\tK\n");
  writeFile(dir.file("d.xml"), kTwoEntries);
  {
    Build b(dir, "", 1, nullptr, false);
    EXPECT_EQ(b.out, "");
    EXPECT_EQ(b.dtd->key, "Q");
    EXPECT_EQ(readFile(dir.file("d.xml")), kTwoEntries);
  }
  Build b(dir, "", 0, nullptr, true);
  EXPECT_EQ(b.dtd->count, 4);
  EXPECT_EQ(b.dtd->key, "");
  EXPECT_EQ(readFile(dir.file("d.def")).substr(0, 10), "0 E\t1\t1\tN\n");
}

TEST(Inference, DeclarationIsWrittenBackWithItsEncoding) {
  TempDir dir;
  Build b(dir, "<?xml version=\"1.0\" encoding=\"ISO-8859-2\"?>\n<e><a>\\x</a></e>\n");
  EXPECT_EQ(readFile(dir.file("d.xml")),
            "<?xml version=\"1.0\" encoding=\"ISO-8859-2\"?>\n<E><A>\\x</A></E>\n");
}

TEST(InferenceEmpty, NoEntriesGiveAnEmptyTableAndFile) {
  TempDir dir;
  Build b(dir, "<?xml version=\"1.0\"?>\njust text, no entries\n");
  EXPECT_EQ(b.dtd->count, 0);
  EXPECT_TRUE(fileExists(dir.file("d.def")));
  EXPECT_EQ(readFile(dir.file("d.def")), "");
  EXPECT_EQ(readFile(dir.file("d.xml")), kHeader);
  EXPECT_EQ(b.err, "");
  EXPECT_EQ(b.dtd->getString(), "0  0 -1\n");  // the unnamed root
}

TEST(InferenceEmpty, MissingDictionaryFile) {
  TempDir dir;
  Build b(dir, "", 1);
  EXPECT_EQ(b.err, "Error: Could not open " + dir.file("d.xml") + ".\n");
  EXPECT_EQ(b.out, "");
  EXPECT_EQ(b.dtd->count, 0);
  EXPECT_EQ(listDir(dir.path()), (std::vector<std::string>{"d.def"}));
  EXPECT_EQ(readFile(dir.file("d.def")), "");
}

TEST(InferenceEmpty, TemporaryFileThatCannotBeCreated) {
  TempDir dir;
  ASSERT_EQ(mkdir(dir.file("d.xml.tmp").c_str(), 0700), 0);
  Build b(dir, kTwoEntries, 1);
  EXPECT_EQ(b.err, "Error: Could not open " + dir.file("d.xml.tmp") + " for writing.\n");
  EXPECT_EQ(b.out, "");
  EXPECT_EQ(b.dtd->count, 0);
  EXPECT_EQ(readFile(dir.file("d.xml")), kTwoEntries);
  EXPECT_EQ(readFile(dir.file("d.def")), "");
}

TEST(InferenceEmpty, FailedWriteLeavesTheDictionaryAsItWas) {
  if (!fileExists("/dev/full")) GTEST_SKIP() << "no device that refuses writes";
  TempDir dir;
  ASSERT_EQ(symlink("/dev/full", dir.file("d.xml.tmp").c_str()), 0);
  Build b(dir, kTwoEntries);
  EXPECT_EQ(b.err, "Error: Could not write " + dir.file("d.xml.tmp") + "; " + dir.file("d.xml") +
                       " is left as it was.\n");
  EXPECT_EQ(readFile(dir.file("d.xml")), kTwoEntries);
  EXPECT_EQ(listDir(dir.path()), (std::vector<std::string>{"d.def", "d.xml"}));
  EXPECT_EQ(b.dtd->count, 4);  // the structure itself was read
}

// The original stays beside the rewritten file whenever the pass lost
// something the reader could not take, and one line says so.
std::string keptNote(const TempDir& dir) {
  return "Warning: Entries that could not be read were left out of " + dir.file("d.xml") +
         "; the original is kept as " + dir.file("d.xml.orig") + ".\n";
}

TEST(InferenceBackup, ParseErrorKeepsTheOriginal) {
  TempDir dir;
  const std::string xml = "<e><a>x</a></e>\n<e><a>y</ax><b>z</b></e>\n";
  writeFile(dir.file("d.xml.orig"), "an older backup");
  Build b(dir, xml);
  EXPECT_EQ(b.err, "Parse error: (open/close tag) A!=AX in <A>y</A>\n" + keptNote(dir));
  EXPECT_EQ(readFile(dir.file("d.xml.orig")), xml);
  EXPECT_EQ(readFile(dir.file("d.xml")),
            std::string(kHeader) + "<E><A>x</A></E>\n<E><A>y</A><B>z</B></E>\n");
  EXPECT_EQ(listDir(dir.path()), (std::vector<std::string>{"d.def", "d.xml", "d.xml.orig"}));
}

TEST(InferenceBackup, DroppedTextOnlyEntryKeepsTheOriginal) {
  TempDir dir;
  const std::string xml = "<e><a>x</a></e>\n<e>only text</e>\n<e><b>z</b></e>\n";
  Build b(dir, xml);
  EXPECT_EQ(b.err, keptNote(dir));
  EXPECT_EQ(readFile(dir.file("d.xml.orig")), xml);
  EXPECT_EQ(readFile(dir.file("d.xml")), std::string(kHeader) + "<E><A>x</A></E>\n<E><B>z</B></E>\n");
}

TEST(InferenceBackup, CleanPassWritesNoBackup) {
  TempDir dir;
  Build b(dir, kTwoEntries);
  EXPECT_FALSE(fileExists(dir.file("d.xml.orig")));
  EXPECT_FALSE(fileExists(dir.file("d.xml.tmp")));
}

TEST(InferenceBackup, TagNameTheDefFileCannotHold) {
  TempDir dir;
  const std::string xml =
      "<e><a>1</a></e>\n"
      "<e><a href=\"x\">t</a><b>y</b></e>\n"
      "<e><b>z</b></e>\n";
  Build b(dir, xml);
  EXPECT_EQ(b.err,
            "Parse error: (open/close tag) A HREF=\"X\"!=A in <A HREF=\"X\">t</A HREF=\"X\">\n"
            "Parse error: Tag name unfit for the structure file (A HREF=\"X\"), entry left out: "
            "<E><A HREF=\"X\">t</A HREF=\"X\"><B>y</B></E>\n" +
                keptNote(dir));
  std::vector<Rec> want = {{"E", 1, 1, 'N'}, {"E.A", 0, -1, 'N'}, {"E.B", 0, -1, 'N'}};
  EXPECT_EQ(records(*b.dtd), want);
  EXPECT_EQ(readFile(dir.file("d.xml")), std::string(kHeader) + "<E><A>1</A></E>\n<E><B>z</B></E>\n");
  EXPECT_EQ(readFile(dir.file("d.xml.orig")), xml);
  // The saved file loads back to the same numbers.
  DTD reloaded(dir.file("d.xml"), false, 0, nullptr);
  EXPECT_EQ(records(reloaded), want);
  EXPECT_EQ(reloaded.getString(), "0 E 1 1\n  1 A 0 -1\n  1 B 0 -1\n");
}

TEST(InferenceBackup, OverlongTagNameIsLeftOut) {
  TempDir dir;
  std::string longName(128, 'n'), okName(127, 'm');
  Build b(dir, "<e><" + okName + ">1</" + okName + "></e>\n<e><" + longName + ">2</" + longName +
                   "></e>\n");
  ASSERT_EQ(b.dtd->count, 2);
  EXPECT_EQ(b.dtd->tags[1].name, std::string(127, 'M'));
  EXPECT_NE(b.err.find("Tag name unfit for the structure file (" + std::string(128, 'N') + ")"),
            std::string::npos);
  DTD reloaded(dir.file("d.xml"), false, 0, nullptr);
  EXPECT_EQ(records(reloaded), records(*b.dtd));
}

TEST(InferenceLimits, MorePathsThanPackedEntriesCanNumber) {
  TempDir dir;
  std::string entry = "<e>";
  for (int i = 0; i < 127; i++) entry += "<c" + std::to_string(i) + ">x</c" + std::to_string(i) + ">";
  entry += "</e>\n";
  Build b(dir, entry);
  EXPECT_EQ(b.dtd->count, 128);
  EXPECT_EQ(b.err, "Error: " + dir.file("d.def") + " describes 128 tags; packed entries can number only 127.\n");
}

TEST(InferenceLimits, ChildrenAndTableBounds) {
  TempDir dir;
  std::string entry = "<e>";
  for (int i = 0; i < 520; i++) entry += "<c" + std::to_string(i) + ">x</c" + std::to_string(i) + ">";
  entry += "</e>\n";
  Build b(dir, entry + entry);
  const std::string def = dir.file("d.def");
  EXPECT_EQ(b.err,
            "Error: E has more than 512 kinds of children; C512 and later ones are left out.\n"
            "Error: The structure of " + def + " has 513 paths; only the first 256 are kept.\n"
            "Error: " + def + " describes 256 tags; packed entries can number only 127.\n");
  EXPECT_EQ(b.dtd->root->count(), 512);
  EXPECT_EQ(b.dtd->count, 256);
  EXPECT_EQ(b.dtd->getTag(256), "E.C254");
  EXPECT_EQ(b.dtd->ngarb(), 513);
}

}  // namespace
