// The entry reader over texts and files: trees, messages on standard error,
// stream positions, the declaration, value lists and the text export.
#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "testutil.h"
#include "xml/entry.h"
#include "xml/reader.h"
#include "xml/writer.h"

namespace {

using testutil::CaptureFd;
using testutil::TempDir;

std::string oneLine(const XMLEntry* e) { return XMLprintEntry(e, true, false); }

// What one read over a text gives: its result, the entry in one-line form
// and what went to standard error.
struct Read {
  bool ok;
  std::string entry;
  std::string err;
};

Read readText(XML* x, const std::string& text) {
  CaptureFd err(2);
  bool ok = x->getEntry(text);
  std::string e = oneLine(x->getXMLEntry());
  return {ok, e, err.text()};
}

// Every read of a file until its end: results, entries, messages.
struct FileReads {
  std::vector<bool> ok;
  std::vector<std::string> entries;  // one-line form of the entries read
  std::string err;
};

FileReads readFile(XML* x, const std::string& bytes, bool header) {
  TempDir dir;
  testutil::writeFile(dir.file("d.xml"), bytes);
  FILE* f = std::fopen(dir.file("d.xml").c_str(), "rb");
  FileReads out;
  CaptureFd err(2);
  if (header) x->readHeader(f);
  while (!std::feof(f) && out.ok.size() < 1000) {
    bool ok = x->getEntry(&f);
    out.ok.push_back(ok);
    if (ok) out.entries.push_back(oneLine(x->getXMLEntry()));
  }
  std::fclose(f);
  out.err = err.text();
  return out;
}

// ---------------------------------------------------------------------------

TEST(XMLReaderTest, ReadsAnEntryWithPathsLevelsAndParents) {
  XML x;
  Read r = readText(&x, "<E><A>x</A></E>");
  EXPECT_TRUE(r.ok);
  EXPECT_EQ("", r.err);
  const XMLEntry* e = x.getXMLEntry();
  EXPECT_EQ("E", e->name);
  EXPECT_EQ("E", e->path);
  EXPECT_EQ(0, e->level);
  EXPECT_EQ(nullptr, e->parent);
  ASSERT_EQ(1, e->count());
  const XMLEntry* a = e->children[0];
  EXPECT_EQ("A", a->name);
  EXPECT_EQ("E.A", a->path);
  EXPECT_EQ(1, a->level);
  EXPECT_EQ("x", a->value);
  EXPECT_EQ(e, a->parent);
  EXPECT_EQ("E", x.upmost);
}

TEST(XMLReaderTest, TagNamesAreUpperCased) {
  XML x;
  EXPECT_EQ("<HESLO><HW>x</HW><SENSE><TR>y</TR></SENSE></HESLO>",
            readText(&x, "<heslo><Hw>x</hW><sense><tr>y</TR></Sense></HESLO>").entry);
  EXPECT_EQ("HESLO.SENSE.TR", x.getXMLEntry()->children[1]->children[0]->path);
  // Latin-2 small letters in names fold too; u with ring folds to plain U.
  EXPECT_EQ("<HESLO><\xc8\xc1ST>x</\xc8\xc1ST><KU\xd2>y</KU\xd2></HESLO>",
            readText(&x, "<heslo><\xe8\xe1st>x</\xe8\xe1st><k\xf9\xf2>y</k\xf9\xf2></heslo>").entry);
}

TEST(XMLReaderTest, TextPiecesAreTrimmedAndJoinedOnTheirOwnElement) {
  XML x;
  ASSERT_TRUE(readText(&x, "<E> pre <A> one <B>b</B> two </A> mid <C>c</C> post </E>").ok);
  const XMLEntry* e = x.getXMLEntry();
  EXPECT_EQ("premidpost", e->value);
  EXPECT_EQ("onetwo", e->children[0]->value);
  EXPECT_EQ("b", e->children[0]->children[0]->value);
  EXPECT_EQ("c", e->children[1]->value);
  // Text outside any element is dropped.
  EXPECT_EQ("<E><A>x</A></E>", readText(&x, "outside <E><A>x</A></E> after").entry);
}

TEST(XMLReaderTest, ControlBytesBecomeSpacesAndHighBytesStay) {
  XML x;
  Read r = readText(&x, std::string("<E><A>\ta\nb\x01" "c\r\x1f" "d  \xe1\xe8\xec\xb9\xbe\x7f\xff\n</A></E>"));
  ASSERT_TRUE(r.ok);
  EXPECT_EQ("a b c  d  \xe1\xe8\xec\xb9\xbe\x7f\xff", x.getXMLEntry()->children[0]->value);
  // A NUL byte is a control byte like the others.
  static const char withNul[] = "<E><A>a\0b</A></E>";
  ASSERT_TRUE(readText(&x, std::string(withNul, sizeof withNul - 1)).ok);
  EXPECT_EQ("a b", x.getXMLEntry()->children[0]->value);
}

TEST(XMLReaderTest, EntitiesAreKnownByTheirFirstLetter) {
  XML x;
  ASSERT_TRUE(readText(&x, "<E><A>&lt;&gt;&amp;&quot;&lgx;|&apos;</A><B&amp;C>t</B&amp;C></E>").ok);
  const XMLEntry* e = x.getXMLEntry();
  // &quot; stays; &lgx; gives "<" and loses "lgx"; &apos; loses "apos".
  EXPECT_EQ("<>&&quot;<;|&;", e->children[0]->value);
  EXPECT_EQ("B&C", e->children[1]->name);
  // An ampersand as the very last byte has NUL as its look-ahead.
  EXPECT_EQ("<E><A>x</A></E>", readText(&x, "<E><A>x</A></E>&").entry);
}

TEST(XMLReaderTest, BackslashEscapesOnlyWithoutDeclaration) {
  XML on;
  ASSERT_EQ(1, on.escapes);
  ASSERT_TRUE(readText(&on, "<E><A>a\\<b\\>c\\\\d\\x\\&lt;</A></E>").ok);
  EXPECT_EQ("a<b>c\\d\\x\\<", on.getXMLEntry()->children[0]->value);

  XML off;
  off.escapes = 0;
  ASSERT_TRUE(readText(&off, "<E><A>c\\\\d\\x\\&lt;</A></E>").ok);
  EXPECT_EQ("c\\\\d\\x\\<", off.getXMLEntry()->children[0]->value);
}

TEST(XMLReaderTest, AttributeBecomesPartOfTheNameAndMismatches) {
  XML x;
  Read r = readText(&x, "<E><A x=\"1\">v</A></E>");
  EXPECT_TRUE(r.ok);
  EXPECT_EQ("Parse error: (open/close tag) A X=\"1\"!=A in <A X=\"1\">v</A X=\"1\">\n", r.err);
  EXPECT_EQ("A X=\"1\"", x.getXMLEntry()->children[0]->name);
  EXPECT_EQ("E.A X=\"1\"", x.getXMLEntry()->children[0]->path);
  EXPECT_EQ(1, x.errors);
}

TEST(XMLReaderTest, SelfClosingTagIsReadAsACloseTag) {
  XML x;
  FileReads r = readFile(&x, "<E><A>x</A><B/></E>\n<E><C>y</C></E>\n", false);
  EXPECT_EQ((std::vector<bool>{true, false, true, false}), r.ok);
  EXPECT_EQ((std::vector<std::string>{"<E><A>x</A></E>", "<E><C>y</C></E>"}), r.entries);
  EXPECT_EQ(
      "Parse error: (open/close tag) E!=B in <E><A>x</A></E>\n"
      "Parse error: Close tag as the upmost tag (E) in <></>\n",
      r.err);
  EXPECT_EQ(2, x.errors);
  EXPECT_EQ(1, x.skipped);
}

TEST(XMLReaderTest, MismatchedCloseTagClosesTheInnerElementAnyway) {
  XML x;
  Read r = readText(&x, "<E><S><T>error</TX><T>more</T></S></E>");
  EXPECT_TRUE(r.ok);
  EXPECT_EQ("<E><S><T>error</T><T>more</T></S></E>", r.entry);
  EXPECT_EQ("Parse error: (open/close tag) T!=TX in <T>error</T>\n", r.err);
}

TEST(XMLReaderTest, CloseTagOfTheUpmostElementEndsTheEntryAtOnce) {
  XML x;
  FileReads r = readFile(&x, "<E><H>h</H><A><B>x</E><C>after</C></E><E><D>d</D></E>", false);
  EXPECT_EQ((std::vector<bool>{true, false, false, false, true}), r.ok);
  EXPECT_EQ((std::vector<std::string>{"<E><H>h</H></E>", "<E><D>d</D></E>"}), r.entries);
  EXPECT_EQ(
      "Parse error: (open/close tag) B!=E in <B>x</B>\n"
      "Parse error: Failed to match the upmost open tag E (C) in <></>\n"
      "Parse error: Close tag as the upmost tag (C) in <></>\n"
      "Parse error: Close tag as the upmost tag (E) in <></>\n",
      r.err);
  EXPECT_EQ(4, x.errors);
  EXPECT_EQ(3, x.skipped);
}

TEST(XMLReaderTest, ForeignUpmostTagIsReportedAndTheNextEntryIsRead) {
  XML x;
  FileReads r = readFile(&x, "<E><A>1</A></E>\n<F><A>2</A></F>\n<E><A>3</A></E>\n", false);
  EXPECT_EQ((std::vector<bool>{true, false, false, false, false, true, false}), r.ok);
  EXPECT_EQ((std::vector<std::string>{"<E><A>1</A></E>", "<E><A>3</A></E>"}), r.entries);
  EXPECT_EQ(
      "Parse error: Failed to match the upmost open tag E (F) in <></>\n"
      "Parse error: Failed to match the upmost open tag E (A) in <></>\n"
      "Parse error: Close tag as the upmost tag (A) in <></>\n"
      "Parse error: Close tag as the upmost tag (F) in <></>\n",
      r.err);
  EXPECT_EQ(4, x.errors);
  EXPECT_EQ(4, x.skipped);
}

TEST(XMLReaderTest, WrongUpmostLeavesTheNamelessElementAsCurrentEntry) {
  XML x;
  ASSERT_TRUE(readText(&x, "<E><A>1</A></E>").ok);
  Read r = readText(&x, "<F><A>2</A></F>");
  EXPECT_FALSE(r.ok);
  EXPECT_EQ("<></>", r.entry);
}

TEST(XMLReaderTest, NineLevelsAreAcceptedTenAreNot) {
  const std::string nine =
      "<E><HW>x</HW><L1><L2><L3><L4><L5><L6><L7><L8>deep</L8></L7></L6></L5></L4></L3></L2>"
      "</L1></E>";
  XML x;
  Read r = readText(&x, nine);
  EXPECT_TRUE(r.ok);
  EXPECT_EQ("", r.err);
  EXPECT_EQ(nine, r.entry);
  EXPECT_EQ("E.L1.L2.L3.L4.L5.L6.L7.L8",
            x.getXMLEntry()->children[1]->children[0]->children[0]->children[0]->children[0]
                ->children[0]->children[0]->children[0]->path);

  const std::string ten =
      "<E><HW>x</HW><L1><L2><L3><L4><L5><L6><L7><L8><L9>deep</L9></L8></L7></L6></L5></L4>"
      "</L3></L2></L1></E>\n<E><A>ok</A></E>\n";
  XML y;
  FileReads f = readFile(&y, ten, false);
  std::vector<bool> expectOk{true};
  for (int i = 0; i < 10; ++i) expectOk.push_back(false);
  expectOk.push_back(true);
  expectOk.push_back(false);
  EXPECT_EQ(expectOk, f.ok);
  EXPECT_EQ((std::vector<std::string>{"<E><HW>x</HW></E>", "<E><A>ok</A></E>"}), f.entries);
  std::string err = "Parse error: Too much recurse (10) in <E><HW>x</HW></E>\n";
  for (const char* t : {"L9", "L8", "L7", "L6", "L5", "L4", "L3", "L2", "L1", "E"}) {
    err += std::string("Parse error: Close tag as the upmost tag (") + t + ") in <></>\n";
  }
  EXPECT_EQ(err, f.err);
  EXPECT_EQ(11, y.errors);
  EXPECT_EQ(10, y.skipped);
}

TEST(XMLReaderTest, TextOnlyEntryIsReadButNotReported) {
  XML x;
  FileReads r = readFile(&x, "<E>jen text</E>\n<E><A>x</A></E>", false);
  EXPECT_EQ((std::vector<bool>{false, true}), r.ok);
  EXPECT_EQ("", r.err);
  EXPECT_EQ(0, x.errors);
  EXPECT_EQ(1, x.skipped);
  Read t = readText(&x, "<E>only</E>");
  EXPECT_FALSE(t.ok);
  EXPECT_EQ("<E>only</E>", t.entry);  // completed, just without children
}

TEST(XMLReaderTest, EndOfInputInsideAnEntryGivesNothing) {
  XML x;
  FileReads r = readFile(&x, "<E><A>x</A><B>y", false);
  EXPECT_EQ((std::vector<bool>{false}), r.ok);
  EXPECT_EQ("", r.err);
  EXPECT_EQ(1, x.skipped);
  EXPECT_EQ(0, x.getXMLEntry()->count());
  // The next read starts clean.
  Read t = readText(&x, "<E><C>z</C></E>");
  EXPECT_TRUE(t.ok);
  EXPECT_EQ("<E><C>z</C></E>", t.entry);
  EXPECT_FALSE(readText(&x, "<E><A><B>").ok);
  EXPECT_FALSE(readText(&x, "").ok);
  EXPECT_EQ(2, x.skipped);  // the empty text met no markup
}

TEST(XMLReaderTest, EntryWithoutUpmostName) {
  XML x;
  Read r = readText(&x, "<><A>x</A></>");
  EXPECT_FALSE(r.ok);
  EXPECT_EQ("Parse error: No upmost tag name\n", r.err);
  EXPECT_EQ(1, x.errors);
  EXPECT_EQ(1, x.skipped);
  EXPECT_EQ(".A", x.getXMLEntry()->children[0]->path);
  EXPECT_TRUE(readText(&x, "<E><A>x</A></E>").ok);
  EXPECT_EQ("E", x.upmost);
}

TEST(XMLReaderTest, EntryWithTooManyChildrenIsRefused) {
  std::string fits = "<E>";
  for (int i = 0; i < 2048; ++i) fits += "<A>x</A>";
  fits += "</E>";
  XML x;
  Read r = readText(&x, fits);
  EXPECT_TRUE(r.ok);
  EXPECT_EQ(2048, x.getXMLEntry()->count());

  std::string over = "<E><S>";
  for (int i = 0; i < 2049; ++i) over += "<A>x</A>";
  over += "</S></E><E><B>y</B></E>";
  XML y;
  FileReads f = readFile(&y, over, false);
  EXPECT_EQ((std::vector<bool>{false, true}), f.ok);
  EXPECT_EQ((std::vector<std::string>{"<E><B>y</B></E>"}), f.entries);
  EXPECT_EQ("Parse error: Too many children (2048) in E.S\n", f.err);
  EXPECT_EQ(1, y.errors);
  EXPECT_EQ(1, y.skipped);
}

std::string groups(int a, int b) {
  std::string s = "<E><G>";
  for (int i = 0; i < a; ++i) s += "<A>x</A>";
  s += "</G><G>";
  for (int i = 0; i < b; ++i) s += "<A>y</A>";
  return s + "</G></E>";
}

TEST(XMLReaderTest, EntryWithTooManyElementsIsRefused) {
  XML x;
  // 1 + 2 + 2047 + 2046 = 4096 elements: every one fits the value lists.
  Read r = readText(&x, groups(2047, 2046));
  EXPECT_TRUE(r.ok);
  EXPECT_EQ("", r.err);
  EXPECT_TRUE(x.getEntStr());
  EXPECT_EQ(4096, x.values.count);
  EXPECT_EQ("E", x.names[4095]);

  Read over = readText(&x, groups(2047, 2047));
  EXPECT_FALSE(over.ok);
  EXPECT_EQ("Parse error: Too many elements (4096) in E\n", over.err);
  EXPECT_EQ("<E></E>", over.entry);
  EXPECT_EQ(1, x.errors);
  EXPECT_EQ(1, x.skipped);
}

// ---------------------------------------------------------------------------
// Stream positions: the reader must leave the stream exactly where a reader
// that takes one byte at a time and peeks at the next would leave it.

bool referenceGetEntry(XML* x, FILE* f) {
  int skip = 0;
  x->clear();
  x->getEntrySwitch(0, 0, &skip, 1);
  for (;;) {
    int c = std::fgetc(f);
    if (c == EOF) break;
    int next = std::fgetc(f);
    std::ungetc(next, f);
    if (x->getEntrySwitch(static_cast<char>(c), next == EOF ? '\0' : static_cast<char>(next),
                          &skip, 0)) {
      break;
    }
    for (; skip > 0; --skip) std::fgetc(f);
  }
  const XMLEntry* e = x->getXMLEntry();
  return e->count() > 0 && !e->name.empty();
}

void expectSamePositions(const std::string& bytes, bool header) {
  TempDir dir;
  testutil::writeFile(dir.file("d.xml"), bytes);
  FILE* fast = std::fopen(dir.file("d.xml").c_str(), "rb");
  FILE* slow = std::fopen(dir.file("d.xml").c_str(), "rb");
  XML a;
  XML b;
  CaptureFd err(2);
  if (header) {
    a.readHeader(fast);
    b.readHeader(slow);
  }
  int reads = 0;
  while (!std::feof(slow) && reads < 10000) {
    bool fastOk = a.getEntry(&fast);
    bool slowOk = referenceGetEntry(&b, slow);
    ++reads;
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
      "<E><A>x</B></E></E>\n<E><A>&amp;</A></E>";
  expectSamePositions(quirks, false);
  expectSamePositions(quirks + "\n", false);
  expectSamePositions("<?xml version=\"1.0\"?>\n" + quirks + "\n\n", true);
  expectSamePositions("<E><A>x</A></E><E><A>", false);
  expectSamePositions("<E><A>x</A></E>&l", false);
  expectSamePositions("<E><A>x</A></E>&amp", false);
  expectSamePositions("<E><A>x</A></E>\\", false);
  expectSamePositions("<E><A>x&gt;</A></E>&g", false);
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
  struct Case {
    std::string bytes;
    long pos;
    int escapes;
    std::string encoding;
  };
  const std::vector<Case> cases = {
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
  for (const Case& c : cases) {
    TempDir dir;
    testutil::writeFile(dir.file("d.xml"), c.bytes);
    FILE* f = std::fopen(dir.file("d.xml").c_str(), "rb");
    XML x;
    x.readHeader(f);
    EXPECT_EQ(c.pos, std::ftell(f)) << c.bytes;
    EXPECT_EQ(c.escapes, x.escapes) << c.bytes;
    EXPECT_EQ(c.encoding, x.encoding) << c.bytes;
    std::fclose(f);
  }
}

TEST(XMLReaderTest, DeclarationWithEncodingThenEntriesWithEscapesOff) {
  XML x;
  FileReads r = readFile(
      &x, "<?xml version=\"1.0\" encoding=\"ISO-8859-2\"?>\n<E><A>a\\\\b \xe1</A></E>\n", true);
  EXPECT_EQ("ISO-8859-2", x.encoding);
  EXPECT_EQ(0, x.escapes);
  EXPECT_EQ((std::vector<bool>{true, false}), r.ok);
  EXPECT_EQ((std::vector<std::string>{"<E><A>a\\\\b \xe1</A></E>"}), r.entries);
  EXPECT_EQ("", r.err);
  EXPECT_EQ(0, x.skipped);
}

TEST(XMLReaderTest, PrintHeaderWritesTheDeclaration) {
  TempDir dir;
  FILE* f = std::fopen(dir.file("h").c_str(), "wb");
  XML::printHeader(f, nullptr);
  XML::printHeader(f, "ISO-8859-2");
  XML x;
  x.printHeader(f);
  x.encoding = "UTF-8";
  x.printHeader(f);
  std::fclose(f);
  EXPECT_EQ(
      "<?xml version=\"1.0\"?>\n"
      "<?xml version=\"1.0\" encoding=\"ISO-8859-2\"?>\n"
      "<?xml version=\"1.0\"?>\n"
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n",
      testutil::readFile(dir.file("h")));
}

// ---------------------------------------------------------------------------

TEST(XMLReaderTest, ValueListsComeChildrenFirst) {
  XML x;
  ASSERT_TRUE(readText(&x, "<E>e<A>a</A><B><C>c</C></B></E>").ok);
  ASSERT_TRUE(x.getEntStr());
  ASSERT_EQ(4, x.values.count);
  ASSERT_EQ(4, x.names.count);
  EXPECT_EQ((std::vector<std::string>{"a", "c", "", "e"}), x.values.items);
  EXPECT_EQ((std::vector<std::string>{"A", "C", "B", "E"}), x.names.items);
  // A second call starts from empty lists.
  ASSERT_TRUE(x.getEntStr());
  EXPECT_EQ(4, x.values.count);
}

TEST(XMLReaderTest, ValueListsOfAForeignTreeKeepWhatFits) {
  XMLEntry* big = new XMLEntry;
  big->name = "E";
  for (int i = 0; i < 3; ++i) {
    XMLEntry* g = new XMLEntry;
    g->name = "G";
    for (int j = 0; j < 1500; ++j) {
      XMLEntry* a = new XMLEntry;
      a->name = "A";
      a->value = std::to_string(i * 1500 + j);
      g->addEntry(a);
    }
    big->addEntry(g);
  }
  XML x;
  delete x.getXMLEntry();
  x.setXMLEntry(big);
  CaptureFd err(2);
  EXPECT_FALSE(x.getEntStr());
  EXPECT_EQ("Parse error: Too many elements (4096) in E\n", err.text());
  EXPECT_EQ(4096, x.values.count);
  EXPECT_EQ(4096, x.names.count);
  EXPECT_EQ("0", x.values[0]);
  EXPECT_EQ("", x.values[1500]);  // the first G
  EXPECT_EQ("G", x.names[1500]);
  EXPECT_EQ(1, x.errors);

  strings values;
  strings names;
  EXPECT_FALSE(XMLgetEntStr(big, &values, &names));
  EXPECT_EQ(4096, values.count);
}

TEST(XMLReaderTest, ExportTextAndReadItBack) {
  TempDir dir;
  FILE* f = std::fopen(dir.file("t").c_str(), "wb");
  XML x;
  x.exportText(&f, 5);  // nothing collected yet: nothing written
  x.values.push("x");
  x.values.push("");
  x.values.push("y \xe1");
  x.exportText(&f, 7);
  x.values.reset();
  x.values.push("z");
  x.exportText(&f, -3);
  std::fclose(f);
  EXPECT_EQ("7\nx\ny \xe1\n\n-3\nz\n\n", testutil::readFile(dir.file("t")));

  f = std::fopen(dir.file("t").c_str(), "rb");
  XML y;
  long id = 0;
  ASSERT_TRUE(y.getTextEntry(&f, &id));
  EXPECT_EQ(7, id);
  EXPECT_EQ((std::vector<std::string>{"x", "y \xe1", ""}), y.values.items);
  ASSERT_TRUE(y.getTextEntry(&f, &id));
  EXPECT_EQ(-3, id);
  EXPECT_EQ((std::vector<std::string>{"z", ""}), y.values.items);
  EXPECT_FALSE(y.getTextEntry(&f, &id));
  EXPECT_EQ(0, y.values.count);
  std::fclose(f);
}

TEST(XMLReaderTest, TextEntryCutShortByTheEndOfInput) {
  TempDir dir;
  testutil::writeFile(dir.file("t"), "12\nfirst\nsecond");
  FILE* f = std::fopen(dir.file("t").c_str(), "rb");
  XML x;
  long id = 0;
  EXPECT_TRUE(x.getTextEntry(&f, &id));
  EXPECT_EQ(12, id);
  EXPECT_EQ((std::vector<std::string>{"first", "second"}), x.values.items);
  EXPECT_FALSE(x.getTextEntry(&f, &id));
  std::fclose(f);
}

TEST(XMLReaderTest, TextEntryWithMoreLinesThanTheListHolds) {
  std::string block = "9\n";
  for (int i = 0; i < 5000; ++i) block += "w" + std::to_string(i) + "\n";
  block += "\n10\n" + std::string(10000, 'L') + "\n\n";
  TempDir dir;
  testutil::writeFile(dir.file("t"), block);
  FILE* f = std::fopen(dir.file("t").c_str(), "rb");
  XML x;
  long id = 0;
  CaptureFd err(2);
  EXPECT_TRUE(x.getTextEntry(&f, &id));
  EXPECT_EQ(9, id);
  EXPECT_EQ(4096, x.values.count);
  EXPECT_EQ("w4095", x.values[4095]);
  // The reader stays in step with the blocks: the next one reads whole.
  EXPECT_TRUE(x.getTextEntry(&f, &id));
  EXPECT_EQ(10, id);
  EXPECT_EQ((std::vector<std::string>{std::string(10000, 'L'), ""}), x.values.items);
  EXPECT_EQ("Parse error: Too many lines (4096) in text entry 9\n", err.text());
  EXPECT_EQ(1, x.errors);
  std::fclose(f);
}

// ---------------------------------------------------------------------------

TEST(XMLReaderTest, MakeXMLEntryFromPathAndValue) {
  XMLEntry* e = XML::makeXMLEntry("HESLO.SENSE.TR", "\"big one\"");
  EXPECT_EQ("<TR>big one</TR>", oneLine(e));
  EXPECT_EQ(nullptr, e->parent);
  EXPECT_EQ("TR", e->path);
  delete e;
  e = XML::makeXMLEntry("TR", "'x<b>y</b>z'");
  EXPECT_EQ("<TR>xz<B>y</B></TR>", oneLine(e));
  EXPECT_EQ("TR.B", e->children[0]->path);
  EXPECT_EQ(e, e->children[0]->parent);
  delete e;
  e = XML::makeXMLEntry("a.", "plain");
  EXPECT_EQ("<A.>plain</A.>", oneLine(e));
  delete e;
  e = XML::makeXMLEntry("A", "\"");
  EXPECT_EQ("<A></A>", oneLine(e));
  delete e;
}

TEST(XMLReaderTest, MakeXMLEntryFromText) {
  XMLEntry* e = XML::makeXMLEntry("<e><a>x</a><b>y</b></e>");
  EXPECT_EQ("<E><A>x</A><B>y</B></E>", oneLine(e));
  EXPECT_EQ(e, e->children[1]->parent);
  delete e;
}

TEST(XMLReaderTest, ClearFindParentsAndReplacingTheEntry) {
  XML x;
  ASSERT_TRUE(readText(&x, "<E>v<A><B>b</B></A></E>").ok);
  XMLEntry* e = x.getXMLEntry();
  e->children[0]->parent = nullptr;
  e->children[0]->children[0]->parent = nullptr;
  x.findParents();
  EXPECT_EQ(e, e->children[0]->parent);
  EXPECT_EQ(e->children[0], e->children[0]->children[0]->parent);
  x.clear();
  EXPECT_EQ(0, e->count());
  EXPECT_EQ("v", e->value);

  XMLEntry* mine = x.getXMLEntry();
  x.setXMLEntry(XML::makeXMLEntry("<E><C>c</C></E>"));
  EXPECT_EQ("<E><C>c</C></E>", oneLine(x.getXMLEntry()));
  delete mine;  // the caller disposes of the entry it took back
}

// ---------------------------------------------------------------------------
// Reading the writer's one-line output gives the tree back.

void expectSameTree(const XMLEntry* a, const XMLEntry* b, const XMLEntry* parentB) {
  ASSERT_EQ(a->name, b->name);
  ASSERT_EQ(a->path, b->path);
  ASSERT_EQ(a->value, b->value);
  ASSERT_EQ(a->level, b->level);
  ASSERT_EQ(parentB, b->parent);
  ASSERT_EQ(a->count(), b->count());
  for (int i = 0; i < a->count(); ++i) expectSameTree(a->children[i], b->children[i], b);
}

std::string randomValue(std::mt19937* rng) {
  static const std::string alphabet =
      "abcxyz ABC  <>&&\\\\/;\"'lgamp.,\xe1\xe8\xec\xed\xf8\xb9\xbe\xf9\xfd\x7f\xff";
  std::uniform_int_distribution<int> len(0, 12);
  std::uniform_int_distribution<size_t> pick(0, alphabet.size() - 1);
  std::string v;
  for (int n = len(*rng); n > 0; --n) v.push_back(alphabet[pick(*rng)]);
  size_t b = v.find_first_not_of(' ');
  if (b == std::string::npos) return "";
  return v.substr(b, v.find_last_not_of(' ') - b + 1);
}

XMLEntry* randomTree(std::mt19937* rng, XMLEntry* parent, int level) {
  static const char* const kNames[] = {"A", "B", "SENSE", "TR", "\xc8\xc1ST", "X1"};
  XMLEntry* e = new XMLEntry;
  e->name = level == 0 ? "E" : kNames[(*rng)() % 6];
  e->path = parent == nullptr ? e->name : parent->path + "." + e->name;
  e->level = level;
  e->value = randomValue(rng);
  int kids = level == 0 ? 1 + (*rng)() % 4 : (level < 8 ? (*rng)() % 3 : 0);
  for (int i = 0; i < kids; ++i) e->addEntry(randomTree(rng, e, level + 1));
  return e;
}

TEST(XMLReaderTest, WriterOutputReadsBackToTheSameTree) {
  std::mt19937 rng(20240611);
  for (int round = 0; round < 300; ++round) {
    XMLEntry* tree = randomTree(&rng, nullptr, 0);
    // Escapes off (after a declaration): no backslash doubling.
    XML off;
    off.escapes = 0;
    Read r = readText(&off, XMLprintEntry(tree, 2, true, false));
    ASSERT_TRUE(r.ok) << XMLprintEntry(tree, true, false);
    ASSERT_EQ("", r.err);
    expectSameTree(tree, off.getXMLEntry(), nullptr);
    // Escapes on (no declaration): backslashes doubled.
    XML on;
    ASSERT_TRUE(on.getEntry(XMLprintEntry(tree, 7, true, true)));
    expectSameTree(tree, on.getXMLEntry(), nullptr);
    delete tree;
  }
}

// ---------------------------------------------------------------------------
// A small dictionary full of reader quirks, normalised the way the structure
// pass writes it back: the header, then each entry on its own line.

const char kQuirks[] =
    "text before the first entry\n"
    "<heslo><hw>Mal\xe1</hw><sense><tr>small</tr></sense></heslo>\n"
    "<Heslo>  <HW>  velk\xfd  </HW>\n"
    "\x09<SENSE>p\xf8" "ed<TR>big</TR>mezi<TR>large</TR>po</SENSE></HESLO>\n"
    "<HESLO><HW>a &lt;b&gt; &amp; c &quot;d&quot; &lgx; e</HW><SENSE><TR>entities</TR></SENSE></HESLO>\n"
    "<HESLO><HW>zp\xectn\xe9 \\< lom\xedtko \\\\ a \\x</HW><SENSE><TR>backslash</TR></SENSE></HESLO>\n"
    "<HESLO><HW>tab\x09here\x01" "ctl</HW><SENSE><TR>control</TR></SENSE></HESLO>\n"
    "<HESLO><HW>chyba</HW><SENSE><TR>error</TRX><TR>mistake</TR></SENSE></HESLO>\n"
    "<HESLO><HW>hloubka</HW><L1><L2><L3><L4><L5><L6><L7><L8>osm</L8></L7></L6></L5></L4></L3></L2></L1></HESLO>\n"
    "<HESLO>jen text</HESLO>\n"
    "<HESLO><HW>posledn\xed</HW><SENSE><TR>last</TR><TR></TR></SENSE></HESLO>\n";

const char kQuirksNormalised[] =
    "<?xml version=\"1.0\"?>\n"
    "<HESLO><HW>Mal\xe1</HW><SENSE><TR>small</TR></SENSE></HESLO>\n"
    "<HESLO><HW>velk\xfd</HW><SENSE>p\xf8" "edmezipo<TR>big</TR><TR>large</TR></SENSE></HESLO>\n"
    "<HESLO><HW>a &lt;b&gt; &amp; c &amp;quot;d&amp;quot; &lt;; e</HW><SENSE><TR>entities</TR></SENSE></HESLO>\n"
    "<HESLO><HW>zp\xectn\xe9 &lt; lom\xedtko \\ a \\x</HW><SENSE><TR>backslash</TR></SENSE></HESLO>\n"
    "<HESLO><HW>tab here ctl</HW><SENSE><TR>control</TR></SENSE></HESLO>\n"
    "<HESLO><HW>chyba</HW><SENSE><TR>error</TR><TR>mistake</TR></SENSE></HESLO>\n"
    "<HESLO><HW>hloubka</HW><L1><L2><L3><L4><L5><L6><L7><L8>osm</L8></L7></L6></L5></L4></L3></L2></L1></HESLO>\n"
    "<HESLO><HW>posledn\xed</HW><SENSE><TR>last</TR><TR></TR></SENSE></HESLO>\n";

TEST(XMLReaderTest, QuirkyDictionaryIsNormalisedEntryByEntry) {
  TempDir dir;
  testutil::writeFile(dir.file("d.xml"), kQuirks);
  FILE* in = std::fopen(dir.file("d.xml").c_str(), "rb");
  FILE* out = std::fopen(dir.file("d.xml.tmp").c_str(), "wb");
  XML x;
  x.setOutProps(2);
  CaptureFd err(2);
  x.readHeader(in);
  x.printHeader(out);
  while (!std::feof(in)) {
    if (x.getEntry(&in)) std::fputs(x.getString(false).c_str(), out);
  }
  std::fclose(in);
  std::fclose(out);
  EXPECT_EQ("Parse error: (open/close tag) TR!=TRX in <TR>error</TR>\n", err.text());
  EXPECT_EQ(kQuirksNormalised, testutil::readFile(dir.file("d.xml.tmp")));
  EXPECT_EQ(1, x.errors);
  EXPECT_EQ(1, x.skipped);
  EXPECT_EQ(1, x.escapes);
}

}  // namespace
