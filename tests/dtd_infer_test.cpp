// Inference of the structure description from a dictionary file.

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <memory>
#include <random>
#include <vector>

#include "base/progress.h"
#include "dtd/dtd.h"
#include "testutil.h"
#include "xml/reader.h"

using testutil::CaptureFd;
using testutil::fileExists;
using testutil::readFile;
using testutil::TempDir;
using testutil::writeFile;

namespace {

const char kHeader[] = "<?xml version=\"1.0\"?>\n";
const char kTwoEntries[] = "<e><a>x</a><b>y</b></e>\n<e><b>z</b><c>w</c></e>\n";

// "path min max type|" per record.
std::string records(const DTD& d) {
  std::string out;
  for (int i = 0; i < d.count; i++) {
    const DTDTag& t = d.tags[i];
    out += t.path + " " + std::to_string(t.min) + " " + std::to_string(t.max) + " " + t.type + "|";
  }
  return out;
}

// Runs an inference over `xml` written as d.xml; collects both streams (the
// directory's path written as "@") and the directory's file names.
struct Build {
  std::string out, err, files;
  std::unique_ptr<DTD> dtd;
  Build(const TempDir& dir, const std::string& xml, int io = 0, DTD::Progress cb = nullptr,
        bool force = true) {
    if (!xml.empty()) writeFile(dir.file("d.xml"), xml);
    CaptureFd o(1), e(2);
    dtd = std::make_unique<DTD>(dir.file("d.xml"), force, io, cb);
    out = o.text();
    err = e.text();
    for (size_t at; (at = err.find(dir.path())) != std::string::npos;) err.replace(at, dir.path().size(), "@");
    for (const std::string& n : testutil::listDir(dir.path())) files += n + " ";
  }
};

int countNodes(const DTDEntry* e) {
  int n = 1;
  for (const DTDEntry* c : e->children) n += countNodes(c);
  return n;
}

std::string children(int n) {
  std::string s = "<e>";
  for (int i = 0; i < n; i++) s += "<c" + std::to_string(i) + ">x</c" + std::to_string(i) + ">";
  return s + "</e>\n";
}

TEST(Inference, TwoEntryExample) {
  TempDir dir;
  Build b(dir, kTwoEntries);
  EXPECT_EQ(records(*b.dtd), "E 1 1 N|E.A 0 -1 N|E.B 1 1 N|E.C 0 -1 N|");
  EXPECT_EQ(readFile(dir.file("d.def")), "0 E\t1\t1\tN\n  1 A\t0\t-1\tN\n  1 B\t1\t1\tN\n  1 C\t0\t-1\tN\n");
  EXPECT_EQ(readFile(dir.file("d.xml")),
            std::string(kHeader) + "<E><A>x</A><B>y</B></E>\n<E><B>z</B><C>w</C></E>\n");
  EXPECT_EQ(b.out + b.err, "");
  EXPECT_EQ(b.files, "d.def d.xml ");
  EXPECT_EQ(b.dtd->ngarb(), countNodes(b.dtd->root));  // nothing unreachable stays
}

TEST(Inference, Runs) {
  const std::string kept = "Warning: Entries that could not be read were left out of @/d.xml; "
                           "the original is kept as @/d.xml.orig.\n";
  struct Case {
    std::string in, table, out, err, files;
  } cases[] = {
      // A repeated element keeps max 1; min under optional parents.
      {"<e><s>1</s><s>2</s><s>3</s></e><e><s>4</s><s>5</s><s>6</s></e>", "E 1 1 N|E.S 1 1 N|",
       "", "", "d.def d.xml "},
      {"<e><h>1</h></e>\n<e><h>2</h><p><q>x</q></p></e>\n<e><h>3</h><p><r>y</r></p><p><q>z</q></p></e>\n",
       "E 1 1 N|E.H 1 1 N|E.P 0 -1 N|E.P.Q 1 1 N|E.P.R 0 -1 N|", "", "", "d.def d.xml "},
      // Paths in order of first appearance.
      {"<e><b>1</b><a><y>2</y></a><b><z>3</z></b><a><x>4</x><y>5</y></a></e>",
       "E 1 1 N|E.B 1 1 N|E.B.Z 1 1 N|E.A 1 1 N|E.A.Y 1 1 N|E.A.X 1 1 N|", "", "", "d.def d.xml "},
      // The declaration is written back with its encoding.
      {"<?xml version=\"1.0\" encoding=\"ISO-8859-2\"?>\n<e><a>\\x</a></e>\n", "E 1 1 N|E.A 1 1 N|",
       "<?xml version=\"1.0\" encoding=\"ISO-8859-2\"?>\n<E><A>\\x</A></E>\n", "", "d.def d.xml "},
      // No entries: an empty table and file.
      {"<?xml version=\"1.0\"?>\njust text, no entries\n", "", kHeader, "", "d.def d.xml "},
      // Whatever the pass lost keeps the original beside, with one line.
      {"<e><a>x</a></e>\n<e><a>y</ax><b>z</b></e>\n", "E 1 1 N|E.A 1 1 N|E.B 0 -1 N|",
       std::string(kHeader) + "<E><A>x</A></E>\n<E><A>y</A><B>z</B></E>\n",
       "Parse error: (open/close tag) A!=AX in <A>y</A>\n" + kept, "d.def d.xml d.xml.orig "},
      {"<e><a>x</a></e>\n<e>only text</e>\n<e><b>z</b></e>\n", "E 1 1 N|E.A 0 -1 N|E.B 0 -1 N|",
       std::string(kHeader) + "<E><A>x</A></E>\n<E><B>z</B></E>\n", kept, "d.def d.xml d.xml.orig "},
      // Tag names the ".def" file cannot hold leave their entry out.
      {"<e><a>1</a></e>\n<e><a href=\"x\">t</a><b>y</b></e>\n<e><b>z</b></e>\n",
       "E 1 1 N|E.A 0 -1 N|E.B 0 -1 N|", std::string(kHeader) + "<E><A>1</A></E>\n<E><B>z</B></E>\n",
       "Parse error: (open/close tag) A HREF=\"X\"!=A in <A HREF=\"X\">t</A HREF=\"X\">\n"
       "Parse error: Tag name unfit for the structure file (A HREF=\"X\"), entry left out: "
       "<E><A HREF=\"X\">t</A HREF=\"X\"><B>y</B></E>\n" + kept,
       "d.def d.xml d.xml.orig "},
      // Limits: 127 numbered tags, 512 children, 256 records.
      {children(127), "", "",
       "Error: @/d.def describes 128 tags; packed entries can number only 127.\n", "d.def d.xml "},
      {children(520) + children(520), "", "",
       "Error: E has more than 512 kinds of children; C512 and later ones are left out.\n"
       "Error: The structure of @/d.def has 513 paths; only the first 256 are kept.\n"
       "Error: @/d.def describes 256 tags; packed entries can number only 127.\n",
       "d.def d.xml "},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.in.substr(0, 70));
    TempDir dir;
    Build b(dir, c.in);
    EXPECT_EQ(b.err, c.err);
    EXPECT_EQ(b.files, c.files);
    EXPECT_EQ(c.table.empty() ? "" : records(*b.dtd), c.table);
    EXPECT_EQ(c.out.empty() ? "" : readFile(dir.file("d.xml")), c.out);
    EXPECT_EQ(readFile(dir.file("d.xml.orig")), c.files.find("orig") != std::string::npos ? c.in : "");
    // The saved file loads back to the same records.
    CaptureFd quiet(2);
    DTD reloaded(dir.file("d.xml"), false, 0, nullptr);
    EXPECT_EQ(records(reloaded), records(*b.dtd));
  }
}

TEST(Inference, LimitsAndOverlongNames) {
  TempDir dir;
  Build b(dir, children(520) + children(520));
  EXPECT_EQ(b.dtd->root->count(), 512);
  EXPECT_EQ(b.dtd->count, 256);
  EXPECT_EQ(b.dtd->getTag(256), "E.C254");
  EXPECT_EQ(b.dtd->ngarb(), 513);
  TempDir many;
  EXPECT_EQ(Build(many, children(127)).dtd->count, 128);
  // An overlong tag name is left out; the longest fitting one is kept.
  TempDir names;
  std::string ok(127, 'm'), over(128, 'n');
  Build n(names, "<e><" + ok + ">1</" + ok + "></e>\n<e><" + over + ">2</" + over + "></e>\n");
  EXPECT_EQ(records(*n.dtd), "E 1 1 N|E." + std::string(127, 'M') + " 1 1 N|");
  EXPECT_NE(n.err.find("Tag name unfit for the structure file (" + std::string(128, 'N') + ")"),
            std::string::npos);
  DTD reloaded(names.file("d.xml"), false, 0, nullptr);
  EXPECT_EQ(records(reloaded), records(*n.dtd));
}

// The pass reads without node paths; the reader's messages still name the
// element's place, and the refused entry leaves the structure untouched.
TEST(Inference, MessagesNameThePlaceOfAnElement) {
  TempDir dir;
  std::string wide = "<e><s><t>";
  for (int i = 0; i < 2049; ++i) wide += "<a>x</a>";
  wide += "</t></s></e>\n";
  Build b(dir, "<e><h>1</h></e>\n" + wide + "<e><s><u>2</u></s></e>\n");
  EXPECT_EQ(b.err.substr(0, b.err.find('\n') + 1), "Parse error: Too many children (2048) in E.S.T\n");
  EXPECT_EQ(records(*b.dtd), "E 1 1 N|E.H 0 -1 N|E.S 0 -1 N|E.S.U 1 1 N|");
  EXPECT_EQ(readFile(dir.file("d.xml")),
            "<?xml version=\"1.0\"?>\n<E><H>1</H></E>\n<E><S><U>2</U></S></E>\n");
}

std::vector<double> fractions;
void record(void* handle, double f) {
  EXPECT_EQ(handle, nullptr);
  fractions.push_back(f);
}

TEST(Inference, BuildingLineAndProgress) {
  TempDir dir;
  fractions.clear();
  Build b(dir, kTwoEntries, 1, record);
  std::string clear = kClearLine;
  EXPECT_EQ(b.out, "Building " + dir.file("d.def") + "...\n" + clear + "Progress: 47%" + clear +
                       "Progress: 97%" + clear);
  EXPECT_EQ(fractions, (std::vector<double>{23.0 / 48, 47.0 / 48}));

  // The step is a hundredth of the file: 2000 bytes, step 20; entries of 16
  // bytes report every second time.
  std::string xml;
  for (int i = 0; i < 125; i++) xml += "<e><a>" + std::to_string(i % 10) + "</a></e>\n";
  TempDir big;
  fractions.clear();
  Build q(big, xml, 0, record);
  EXPECT_EQ(q.out, "");
  ASSERT_EQ(fractions.size(), 63u);
  EXPECT_EQ(fractions[0], 15.0 / 2000);
  EXPECT_EQ(fractions[1], 47.0 / 2000);
  EXPECT_EQ(fractions[62], 1999.0 / 2000);
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
  EXPECT_EQ(records(d), "E 1 1 N|E.A 1 1 N|E.B 0 -1 N|E.B.C 1 1 N|");
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
  EXPECT_EQ(records(*b.dtd), "E 1 1 N|E.A 0 -1 N|E.B 1 1 N|E.C 0 -1 N|");
  EXPECT_EQ(b.dtd->key, "");
}

TEST(Inference, EmptyMissingAndUnwritableFiles) {
  TempDir empty;
  Build e(empty, "<?xml version=\"1.0\"?>\n");
  EXPECT_EQ(readFile(empty.file("d.def")) + e.err + std::to_string(e.dtd->count), "0");
  EXPECT_EQ(e.dtd->getString(), "0  0 -1\n");  // the unnamed root

  // A failed inference saves nothing: no structure file, no rewritten one.
  TempDir missing;
  Build m(missing, "", 1);
  EXPECT_EQ(m.err, "Error: Could not open @/d.xml.\n");
  EXPECT_EQ(m.out + readFile(missing.file("d.def")) + m.files, "");
  EXPECT_TRUE(m.dtd->failed);

  // The rewritten file goes to a temporary name beside the dictionary.
  TempDir blocked;
  ASSERT_EQ(mkdir(blocked.file("d.xm~").c_str(), 0700), 0);
  writeFile(blocked.file("d.xm~/x"), "");
  Build t(blocked, kTwoEntries, 1);
  EXPECT_EQ(t.err, "Error: Could not open @/d.xm~ for writing.\n");
  EXPECT_EQ(t.out + readFile(blocked.file("d.def")) + std::to_string(t.dtd->count), "0");
  EXPECT_EQ(readFile(blocked.file("d.xml")), kTwoEntries);

  // A failed write leaves the dictionary as it was: files may grow to 4 KiB
  // here, so the rewritten form of some 10 KiB cannot be written whole.
  TempDir full;
  std::string big;
  for (int i = 0; i < 200; i++) big += kTwoEntries;
  writeFile(full.file("d.xml"), big);
  struct rlimit old;
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
  struct rlimit small = {4096, old.rlim_max};
  auto oldHandler = signal(SIGXFSZ, SIG_IGN);
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  Build f(full, "");
  setrlimit(RLIMIT_FSIZE, &old);
  signal(SIGXFSZ, oldHandler);
  EXPECT_EQ(f.err, "Error: Could not write @/d.xm~; @/d.xml is left as it was.\n");
  EXPECT_EQ(readFile(full.file("d.xml")), big);
  EXPECT_EQ(f.files, "d.xml ");
  EXPECT_EQ(f.dtd->count, 4);  // the structure itself was read
}

// Random entries of a few names nested a few deep, with repeated siblings
// and elements that come and go: the inferred table must be the one that
// merging every entry's tree one after another gives.
std::string randomElement(std::mt19937& rng, const std::string& name, int depth) {
  std::string s = "<" + name + ">";
  if (rng() % 3 == 0) s += "t";
  const int kids = depth >= 3 ? 0 : static_cast<int>(rng() % 4);
  for (int i = 0; i < kids; ++i) {
    // Early names are common, late ones rare: most entries bring nothing new.
    const int pick = static_cast<int>(rng() % 6 == 0 ? rng() % 7 : rng() % 3);
    s += randomElement(rng, std::string(1, static_cast<char>('a' + pick)), depth + 1);
  }
  return s + "</" + name + ">";
}

TEST(Inference, MatchesMergingEveryEntry) {
  for (unsigned seed = 1; seed <= 40; ++seed) {
    SCOPED_TRACE(seed);
    std::mt19937 rng(seed);
    std::string xml;
    std::vector<std::string> entries;
    for (int i = 0; i < 60; ++i) {
      entries.push_back(randomElement(rng, "e", 0));
      xml += entries.back() + "\n";
    }
    TempDir dir;
    Build inferred(dir, xml);
    DTD merged;
    DTDEntry* root = merged.root;
    for (const std::string& text : entries) {
      XML x;
      if (!x.getEntry(text)) continue;  // text alone: the reader gives no entry
      root = x.addDTD(root, x.getEntDTD(&merged), &merged);
      merged.garb_clear(root);
    }
    merged.root = root;
    merged.ent2str();
    EXPECT_EQ(records(*inferred.dtd), records(merged));
  }
}

}  // namespace
