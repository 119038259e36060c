// The entry reader over texts and files: trees, messages on standard error,
// stream positions, the declaration, value lists and the text export.
#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "testutil.h"
#include "treeutil.h"
#include "xml/entry.h"
#include "xml/reader.h"
#include "xml/writer.h"

namespace {

using testutil::CaptureFd;
using testutil::TempDir;

std::string oneLine(const XMLEntry* e) { return XMLprintEntry(e, true, false); }
std::string counters(const XML& x) {
  return "errors=" + std::to_string(x.errors) + " skipped=" + std::to_string(x.skipped) + "\n";
}

// One read of a text: "+" and the entry read, or "-" and the current entry
// left behind; then standard error and the counters.
std::string readText(XML* x, const std::string& text) {
  CaptureFd err(2);
  bool ok = x->getEntry(text);
  return (ok ? "+" : "-") + oneLine(x->getXMLEntry()) + "\n" + err.text() + counters(*x);
}

// Every read of a file until its end: "+entry" or "-" per read, then
// standard error and the counters.
std::string readAll(XML* x, const std::string& bytes, bool header = false) {
  TempDir dir;
  testutil::writeFile(dir.file("d.xml"), bytes);
  FILE* f = std::fopen(dir.file("d.xml").c_str(), "rb");
  std::string out;
  CaptureFd err(2);
  if (header) x->readHeader(f);
  for (int n = 0; !std::feof(f) && n < 1000; ++n)
    out += x->getEntry(&f) ? "+" + oneLine(x->getXMLEntry()) + "\n" : "-\n";
  std::fclose(f);
  return out + err.text() + counters(*x);
}

std::string repeat(const std::string& s, int n) {
  std::string out;
  for (int i = 0; i < n; ++i) out += s;
  return out;
}

struct Case {
  std::string in, want;
};

TEST(XMLReaderTest, TextReads) {
  const std::string nine = "<E><HW>x</HW><L1><L2><L3><L4><L5><L6><L7><L8>deep</L8></L7></L6>"
                           "</L5></L4></L3></L2></L1></E>";
  const std::vector<Case> cases = {
      // Tag names are upper-cased, Latin-2 letters too; u with ring folds to U.
      {"<heslo><Hw>x</hW><sense><tr>y</TR></Sense></HESLO>",
       "+<HESLO><HW>x</HW><SENSE><TR>y</TR></SENSE></HESLO>\n"},
      {"<heslo><\xe8\xe1st>x</\xe8\xe1st><k\xf9\xf2>y</k\xf9\xf2></heslo>",
       "+<HESLO><\xc8\xc1ST>x</\xc8\xc1ST><KU\xd2>y</KU\xd2></HESLO>\n"},
      // Text pieces are trimmed and joined on their own element; text outside
      // any element is dropped.
      {"<E> pre <A> one <B>b</B> two </A> mid <C>c</C> post </E>",
       "+<E>premidpost<A>onetwo<B>b</B></A><C>c</C></E>\n"},
      {"outside <E><A>x</A></E> after", "+<E><A>x</A></E>\n"},
      // Control bytes (NUL too) become spaces; high bytes stay.
      {"<E><A>\ta\nb\x01" "c\r\x1f" "d  \xe1\xe8\xec\xb9\xbe\x7f\xff\n</A></E>",
       "+<E><A>a b c  d  \xe1\xe8\xec\xb9\xbe\x7f\xff</A></E>\n"},
      {std::string("<E><A>a\0b</A></E>", 17), "+<E><A>a b</A></E>\n"},
      // Entities are known by their first letter: &quot; stays, &lgx; gives
      // "<" and loses "lgx", &apos; loses "apos". Escaped again on output.
      {"<E><A>&lt;&gt;&amp;&quot;&lgx;|&apos;</A><B&amp;C>t</B&amp;C></E>",
       "+<E><A>&lt;&gt;&amp;&amp;quot;&lt;;|&amp;;</A><B&amp;C>t</B&amp;C></E>\n"},
      {"<E><A>x</A></E>&", "+<E><A>x</A></E>\n"},  // NUL as the look-ahead
      // Backslash escapes (on without a declaration).
      {"<E><A>a\\<b\\>c\\\\d\\x\\&lt;</A></E>", "+<E><A>a&lt;b&gt;c\\d\\x\\&lt;</A></E>\n"},
      // An attribute becomes part of the name, and the close tag mismatches.
      {"<E><A x=\"1\">v</A></E>",
       "+<E><A X=\"1\">v</A X=\"1\"></E>\n"
       "Parse error: (open/close tag) A X=\"1\"!=A in <A X=\"1\">v</A X=\"1\">\n"
       "errors=1 skipped=0\n"},
      // A mismatched close tag closes the inner element anyway.
      {"<E><S><T>error</TX><T>more</T></S></E>",
       "+<E><S><T>error</T><T>more</T></S></E>\n"
       "Parse error: (open/close tag) T!=TX in <T>error</T>\nerrors=1 skipped=0\n"},
      {nine, "+" + nine + "\n"},
      // Completed but without children: no entry.
      {"<E>only</E>", "-<E>only</E>\nerrors=0 skipped=1\n"},
      {"<E><A><B>", "-<></>\nerrors=0 skipped=1\n"},
      {"", "-<></>\nerrors=0 skipped=0\n"},  // no markup met: not counted
      {"<><A>x</A></>", "-<><A>x</A></>\nParse error: No upmost tag name\nerrors=1 skipped=1\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.in);
    XML x;
    bool counted = c.want.find("errors=") != std::string::npos;
    EXPECT_EQ(readText(&x, c.in), c.want + (counted ? "" : "errors=0 skipped=0\n"));
  }
  XML off;
  off.escapes = 0;
  EXPECT_EQ(readText(&off, "<E><A>c\\\\d\\x\\&lt;</A></E>"),
            "+<E><A>c\\\\d\\x\\&lt;</A></E>\nerrors=0 skipped=0\n");
}

TEST(XMLReaderTest, WrongUpmostLeavesTheNamelessElementAndTheNextReadStartsClean) {
  XML x;
  ASSERT_TRUE(x.getEntry(std::string("<E><A>1</A></E>")));
  EXPECT_EQ(x.upmost, "E");  // fixed by the first entry
  EXPECT_EQ(readText(&x, "<F><A>2</A></F>").substr(0, 6), "-<></>");
  EXPECT_EQ(readText(&x, "<E><C>z</C></E>").substr(0, 17), "+<E><C>z</C></E>\n");
  EXPECT_FALSE(x.getEntry(std::string("<E><A>x</A><B>")));
  EXPECT_EQ(x.getXMLEntry()->count(), 0);
  EXPECT_EQ(readText(&x, "<E><C>z</C></E>").substr(0, 17), "+<E><C>z</C></E>\n");
}

TEST(XMLReaderTest, FileReads) {
  std::string tooDeep = "Parse error: Too much recurse (10) in <E><HW>x</HW></E>\n";
  for (const char* t : {"L9", "L8", "L7", "L6", "L5", "L4", "L3", "L2", "L1", "E"})
    tooDeep += std::string("Parse error: Close tag as the upmost tag (") + t + ") in <></>\n";
  const std::vector<Case> cases = {
      // A self-closing tag is read as a close tag.
      {"<E><A>x</A><B/></E>\n<E><C>y</C></E>\n",
       "+<E><A>x</A></E>\n-\n+<E><C>y</C></E>\n-\n"
       "Parse error: (open/close tag) E!=B in <E><A>x</A></E>\n"
       "Parse error: Close tag as the upmost tag (E) in <></>\nerrors=2 skipped=1\n"},
      // The close tag of the upmost element ends the entry at once.
      {"<E><H>h</H><A><B>x</E><C>after</C></E><E><D>d</D></E>",
       "+<E><H>h</H></E>\n-\n-\n-\n+<E><D>d</D></E>\n"
       "Parse error: (open/close tag) B!=E in <B>x</B>\n"
       "Parse error: Failed to match the upmost open tag E (C) in <></>\n"
       "Parse error: Close tag as the upmost tag (C) in <></>\n"
       "Parse error: Close tag as the upmost tag (E) in <></>\nerrors=4 skipped=3\n"},
      // A foreign upmost tag is reported and the next entry read.
      {"<E><A>1</A></E>\n<F><A>2</A></F>\n<E><A>3</A></E>\n",
       "+<E><A>1</A></E>\n-\n-\n-\n-\n+<E><A>3</A></E>\n-\n"
       "Parse error: Failed to match the upmost open tag E (F) in <></>\n"
       "Parse error: Failed to match the upmost open tag E (A) in <></>\n"
       "Parse error: Close tag as the upmost tag (A) in <></>\n"
       "Parse error: Close tag as the upmost tag (F) in <></>\nerrors=4 skipped=4\n"},
      // Ten levels are refused (nine are read, above).
      {"<E><HW>x</HW><L1><L2><L3><L4><L5><L6><L7><L8><L9>deep</L9></L8></L7></L6></L5></L4>"
       "</L3></L2></L1></E>\n<E><A>ok</A></E>\n",
       "+<E><HW>x</HW></E>\n" + repeat("-\n", 10) + "+<E><A>ok</A></E>\n-\n" + tooDeep +
           "errors=11 skipped=10\n"},
      // A text-only entry is read but not reported; so is a cut entry.
      {"<E>jen text</E>\n<E><A>x</A></E>", "-\n+<E><A>x</A></E>\nerrors=0 skipped=1\n"},
      {"<E><A>x</A><B>y", "-\nerrors=0 skipped=1\n"},
      // 2049 children refuse the entry; 2048 are read (below).
      {"<E><S>" + repeat("<A>x</A>", 2049) + "</S></E><E><B>y</B></E>",
       "-\n+<E><B>y</B></E>\nParse error: Too many children (2048) in E.S\nerrors=1 skipped=1\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.in.substr(0, 60));
    XML x;
    EXPECT_EQ(readAll(&x, c.in), c.want);
  }
  XML x;
  std::string fits = "<E>" + repeat("<A>x</A>", 2048) + "</E>";
  EXPECT_TRUE(x.getEntry(fits));
  EXPECT_EQ(x.getXMLEntry()->count(), 2048);
}

TEST(XMLReaderTest, EntryWithTooManyElementsIsRefused) {
  auto groups = [](int a, int b) {
    return "<E><G>" + repeat("<A>x</A>", a) + "</G><G>" + repeat("<A>y</A>", b) + "</G></E>";
  };
  XML x;
  // 1 + 2 + 2047 + 2046 = 4096 elements: every one fits the value lists.
  EXPECT_EQ(readText(&x, groups(2047, 2046)).substr(0, 1), "+");
  EXPECT_TRUE(x.getEntStr());
  EXPECT_EQ(x.values.count, 4096);
  EXPECT_EQ(x.names[4095], "E");
  EXPECT_EQ(readText(&x, groups(2047, 2047)),
            "-<E></E>\nParse error: Too many elements (4096) in E\nerrors=1 skipped=1\n");
}

// Every node of a tree, one a line: its path, name, level and value.
std::string describeTree(const XMLEntry* e) {
  std::string out = e->path + " " + e->name + " " + std::to_string(e->level) + " [" + e->value + "]\n";
  for (const XMLEntry* c : e->children) out += describeTree(c);
  return out;
}

TEST(XMLReaderTest, WithoutPathsTheTreesAndMessagesAreTheSameButForThePaths) {
  const std::string text = "<E><A>a<B>b<C>c</C></B></A><D>d</D></E>";
  XML with, without;
  without.keepPaths = false;
  ASSERT_TRUE(with.getEntry(text));
  ASSERT_TRUE(without.getEntry(text));
  std::string paths = describeTree(with.getXMLEntry());
  EXPECT_EQ(paths.substr(0, 8), "E E 0 []");
  std::string bare;
  for (size_t at = 0; at < paths.size();) {  // each line without its path
    size_t end = paths.find('\n', at);
    bare += paths.substr(paths.find(' ', at), end - paths.find(' ', at) + 1);
    at = end + 1;
  }
  EXPECT_EQ(describeTree(without.getXMLEntry()), bare);
  // A message that names an element's place names it from the names.
  const std::string wide = "<E><S><T>" + repeat("<A>x</A>", 2049) + "</T></S></E>";
  XML a, b;
  b.keepPaths = false;
  std::string withPaths = readText(&a, wide);
  EXPECT_NE(withPaths.find("Too many children (2048) in E.S.T\n"), std::string::npos);
  EXPECT_EQ(readText(&b, wide), withPaths);
}

// ---------------------------------------------------------------------------
// Stream positions: the reader must leave the stream exactly where a reader
// that takes one byte at a time and peeks at the next would leave it.

bool referenceGetEntry(XML* x, FILE* f) {
  int skip = 0;
  x->clear();
  x->getEntrySwitch(0, 0, &skip, 1);
  for (int c; (c = std::fgetc(f)) != EOF;) {
    int next = std::fgetc(f);
    std::ungetc(next, f);
    if (x->getEntrySwitch(static_cast<char>(c), next == EOF ? '\0' : static_cast<char>(next),
                          &skip, 0))
      break;
    for (; skip > 0; --skip) std::fgetc(f);
  }
  const XMLEntry* e = x->getXMLEntry();
  return e->count() > 0 && !e->name.empty();
}

void expectSamePositions(const std::string& bytes, bool header) {
  SCOPED_TRACE(bytes.substr(0, 60));
  TempDir dir;
  testutil::writeFile(dir.file("d.xml"), bytes);
  FILE* fast = std::fopen(dir.file("d.xml").c_str(), "rb");
  FILE* slow = std::fopen(dir.file("d.xml").c_str(), "rb");
  XML a, b;
  CaptureFd err(2);
  if (header) {
    a.readHeader(fast);
    b.readHeader(slow);
  }
  for (int reads = 1; !std::feof(slow) && reads < 10000; ++reads) {
    bool fastOk = a.getEntry(&fast);
    bool slowOk = referenceGetEntry(&b, slow);
    ASSERT_EQ(slowOk, fastOk) << "read " << reads;
    ASSERT_EQ(std::ftell(slow), std::ftell(fast)) << "read " << reads;
    ASSERT_EQ(std::feof(slow) != 0, std::feof(fast) != 0) << "read " << reads;
    if (slowOk) {
      ASSERT_EQ(oneLine(b.getXMLEntry()), oneLine(a.getXMLEntry()));
    }
  }
  EXPECT_TRUE(std::feof(fast));
  std::fclose(fast);
  std::fclose(slow);
}

TEST(XMLReaderTest, StreamPositionAfterEachEntryIsTheByteByBytePosition) {
  const std::string quirks =
      "text\n<E><A>1</A></E>\n<E><A>&lt;&gt;&amp;&quot;</A></E>"
      "<E><A>a\\<b\\\\c\\</A></E>\r\n  <F><A>2</A></F>\n<E>only</E>"
      "<E><A>x</B></E></E>\n<E><A>&amp;</A></E>"
      // Plain text straight after the byte given back at an entry's end.
      "<E><A>1</A></E>junk text<E><A>2</A></E>";
  expectSamePositions(quirks, false);
  expectSamePositions(quirks + "\n", false);
  expectSamePositions("<?xml version=\"1.0\"?>\n" + quirks + "\n\n", true);
  for (const char* tail : {"<E><A>", "&l", "&amp", "\\", "&g", ""})
    expectSamePositions(std::string("<E><A>x&gt;</A></E>") + tail, false);
  expectSamePositions("", false);
  // Entries across many stdio buffer boundaries, with entities, escapes and
  // errors falling anywhere in them.
  std::string many;
  for (int i = 0; i < 3000; ++i) {
    many += "<E><A>" + std::string(i % 97, 'w') + "&amp;\\</A>";
    if (i % 7 == 0) many += "<B>x</C>";
    if (i % 11 == 0) many += "</Z>";
    many += "</E>" + std::string(i % 3, '\n');
  }
  expectSamePositions(many, false);
}

// ---------------------------------------------------------------------------

TEST(XMLReaderTest, ReadHeaderRecognisesTheDeclaration) {
  struct Header {
    std::string bytes;
    long pos;
    int escapes;
    std::string encoding;
  };
  const std::vector<Header> cases = {
      {"<?xml version=\"1.0\" encoding=\"ISO-8859-2\"?>\n<E><A>x</A></E>\n", 44, 0, "ISO-8859-2"},
      {"<?xml version=\"1.0\"?>  <E><A>x</A></E>", 23, 0, ""},
      {"<?xml version=\"1.0\" ?>\r\n<E>", 24, 0, ""},
      {"  <?xml version=\"1.0\"  encoding=\"UTF-8\" standalone=\"yes\"?>\n<E>", 59, 0, "UTF-8"},
      {"<?xml version=\"1.0\" encoding=\"x\"?>\n\n<E>", 35, 0, "x"},
      {"<?xml version=\"1.1\"?>\n<E>", 0, 1, ""},
      {"<?xml version='1.0'?>\n<E>", 0, 1, ""},
      {"<?xml version=\"1.0\" encoding=\"\"?>\n<E>", 0, 1, ""},
      {"<?xml version=\"1.0\"\n?>\n<E>", 0, 1, ""},
      {"<E><A>x</A></E>\n", 0, 1, ""},
      {"", 0, 1, ""},
  };
  for (const Header& c : cases) {
    SCOPED_TRACE(c.bytes);
    TempDir dir;
    testutil::writeFile(dir.file("d.xml"), c.bytes);
    FILE* f = std::fopen(dir.file("d.xml").c_str(), "rb");
    XML x;
    x.readHeader(f);
    EXPECT_EQ(std::to_string(std::ftell(f)) + " " + std::to_string(x.escapes) + " " + x.encoding,
              std::to_string(c.pos) + " " + std::to_string(c.escapes) + " " + c.encoding);
    std::fclose(f);
  }
  // After the declaration, backslashes are plain bytes.
  XML x;
  EXPECT_EQ(readAll(&x, "<?xml version=\"1.0\" encoding=\"ISO-8859-2\"?>\n<E><A>a\\\\b \xe1</A></E>\n",
                    true),
            "+<E><A>a\\\\b \xe1</A></E>\n-\nerrors=0 skipped=0\n");
}

// ---------------------------------------------------------------------------

TEST(XMLReaderTest, ValueListsComeChildrenFirstAndKeepWhatFits) {
  XML x;
  ASSERT_TRUE(x.getEntry(std::string("<E>e<A>a</A><B><C>c</C></B></E>")));
  ASSERT_TRUE(x.getEntStr());
  ASSERT_TRUE(x.getEntStr());  // a second call starts from empty lists
  EXPECT_EQ(x.values.items, (std::vector<std::string>{"a", "c", "", "e"}));
  EXPECT_EQ(x.names.items, (std::vector<std::string>{"A", "C", "B", "E"}));

  // A tree not made by the reader may hold more nodes than the lists.
  XMLEntry* big = treeutil::build({"E", ""});
  for (int i = 0; i < 3; ++i) treeutil::fill(treeutil::build({"G", ""}, big), 1500);
  XML y;
  delete y.getXMLEntry();
  y.setXMLEntry(big);
  CaptureFd err(2);
  EXPECT_FALSE(y.getEntStr());
  EXPECT_EQ(err.text(), "Parse error: Too many elements (4096) in E\n");
  EXPECT_EQ(y.values.count + y.names.count, 2 * 4096);
  EXPECT_EQ(y.names[1499] + y.names[1500], "FG");
  strings values, names;
  EXPECT_FALSE(XMLgetEntStr(big, &values, &names));
  EXPECT_EQ(values.count, 4096);
}

TEST(XMLReaderTest, ExportTextAndReadItBackWithinTheListBounds) {
  TempDir dir;
  FILE* f = std::fopen(dir.file("t").c_str(), "wb");
  XML x;
  x.exportText(&f, 5);  // nothing collected yet: nothing written
  for (const char* v : {"x", "", "y \xe1"}) x.values.push(v);
  x.exportText(&f, 7);
  x.values.reset();
  x.values.push("z");
  x.exportText(&f, -3);
  std::fprintf(f, "9\n");
  for (int i = 0; i < 5000; ++i) std::fprintf(f, "w%d\n", i);
  std::fprintf(f, "\n10\n%s\n\n12\nfirst\nsecond", std::string(10000, 'L').c_str());
  std::fclose(f);
  EXPECT_EQ(testutil::readFile(dir.file("t")).substr(0, 17), "7\nx\ny \xe1\n\n-3\nz\n\n9\n");

  f = std::fopen(dir.file("t").c_str(), "rb");
  XML y;
  long id = 0;
  CaptureFd err(2);
  auto next = [&] {
    bool ok = y.getTextEntry(&f, &id);
    return std::to_string(ok) + " " + std::to_string(id) + " " + std::to_string(y.values.count) +
           " " + y.values[0] + "|" + y.values[y.values.count - 1];
  };
  EXPECT_EQ(next(), "1 7 3 x|");
  EXPECT_EQ(y.values[1], "y \xe1");
  EXPECT_EQ(next(), "1 -3 2 z|");
  // Lines beyond the list are passed over; the next block reads whole.
  EXPECT_EQ(next(), "1 9 4096 w0|w4095");
  EXPECT_EQ(next(), "1 10 2 " + std::string(10000, 'L') + "|");
  EXPECT_EQ(next(), "1 12 2 first|second");  // cut short by the end of input
  EXPECT_EQ(next().substr(0, 1), "0");
  EXPECT_EQ(y.values.count, 0);
  EXPECT_EQ(err.text(), "Parse error: Too many lines (4096) in text entry 9\n");
  EXPECT_EQ(y.errors, 1);
  std::fclose(f);
}

// ---------------------------------------------------------------------------

TEST(XMLReaderTest, MakeXMLEntryFromPathAndValueOrText) {
  const std::vector<std::pair<XMLEntry*, std::string>> made = {
      {XML::makeXMLEntry("HESLO.SENSE.TR", "\"big one\""), "TR:0|<TR>big one</TR>"},
      {XML::makeXMLEntry("TR", "'x<b>y</b>z'"), "TR:0 TR.B:1|<TR>xz<B>y</B></TR>"},
      {XML::makeXMLEntry("a.", "plain"), "A.:0|<A.>plain</A.>"},
      {XML::makeXMLEntry("A", "\""), "A:0|<A></A>"},
      {XML::makeXMLEntry("<e><a>x</a><b>y</b></e>"), "E:0 E.A:1 E.B:1|<E><A>x</A><B>y</B></E>"},
  };
  for (const auto& [e, want] : made) {
    EXPECT_EQ(treeutil::paths(e) + "|" + oneLine(e), want);
    EXPECT_EQ(treeutil::consistency(e), "") << want;
    EXPECT_EQ(e->parent, nullptr);
    delete e;
  }
}

TEST(XMLReaderTest, ClearFindParentsAndReplacingTheEntry) {
  XML x;
  ASSERT_TRUE(x.getEntry(std::string("<E>v<A><B>b</B></A></E>")));
  XMLEntry* e = x.getXMLEntry();
  e->children[0]->parent = nullptr;
  e->children[0]->children[0]->parent = nullptr;
  x.findParents();
  EXPECT_EQ(treeutil::consistency(e), "");
  x.clear();
  EXPECT_EQ(oneLine(e), "<E>v</E>");
  x.setXMLEntry(XML::makeXMLEntry("<E><C>c</C></E>"));
  EXPECT_EQ(oneLine(x.getXMLEntry()), "<E><C>c</C></E>");
  delete e;  // the caller disposes of the entry it took back
}

// ---------------------------------------------------------------------------
// Reading the writer's one-line output gives the tree back.

std::string randomValue(std::mt19937* rng) {
  static const std::string alphabet =
      "abcxyz ABC  <>&&\\\\/;\"'lgamp.,\xe1\xe8\xec\xed\xf8\xb9\xbe\xf9\xfd\x7f\xff";
  std::uniform_int_distribution<int> len(0, 12);
  std::uniform_int_distribution<size_t> pick(0, alphabet.size() - 1);
  std::string v;
  for (int n = len(*rng); n > 0; --n) v.push_back(alphabet[pick(*rng)]);
  size_t b = v.find_first_not_of(' ');
  return b == std::string::npos ? "" : v.substr(b, v.find_last_not_of(' ') - b + 1);
}

XMLEntry* randomTree(std::mt19937* rng, XMLEntry* parent, int level) {
  static const char* const kNames[] = {"A", "B", "SENSE", "TR", "\xc8\xc1ST", "X1"};
  XMLEntry* e = treeutil::build({level == 0 ? "E" : kNames[(*rng)() % 6], randomValue(rng)}, parent);
  int kids = level == 0 ? 1 + (*rng)() % 4 : (level < 8 ? (*rng)() % 3 : 0);
  for (int i = 0; i < kids; ++i) randomTree(rng, e, level + 1);
  return e;
}

// Everything the reader sets, node by node.
std::string full(const XMLEntry* e) {
  std::string s = treeutil::paths(e) + "|" + oneLine(e);
  return treeutil::consistency(e).empty() ? s : s + "|inconsistent";
}

TEST(XMLReaderTest, WriterOutputReadsBackToTheSameTree) {
  std::mt19937 rng(20240611);
  for (int round = 0; round < 300; ++round) {
    std::unique_ptr<XMLEntry> tree(randomTree(&rng, nullptr, 0));
    XML off;  // after a declaration: no backslash doubling
    off.escapes = 0;
    CaptureFd err(2);
    ASSERT_TRUE(off.getEntry(XMLprintEntry(tree.get(), 2, true, false))) << oneLine(tree.get());
    ASSERT_EQ(full(off.getXMLEntry()), full(tree.get()));
    XML on;  // no declaration: backslashes doubled
    ASSERT_TRUE(on.getEntry(XMLprintEntry(tree.get(), 7, true, true)));
    ASSERT_EQ(full(on.getXMLEntry()), full(tree.get()));
    ASSERT_EQ(err.text(), "");
  }
}

}  // namespace
