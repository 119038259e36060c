// The importer's reading side: the ISO-8859-2 conversion with its counts,
// positions inside text, and the libxml2 source with its node stamps and
// messages.
#include <gtest/gtest.h>

#include <clocale>
#include <string>
#include <vector>

#include "import/latin2.h"
#include "import/source.h"
#include "testutil.h"

namespace {

using testutil::TempDir;

// Transliteration follows LC_CTYPE; lexorn-import runs under C.UTF-8.
class Utf8Locale {
 public:
  Utf8Locale() : saved_(setlocale(LC_CTYPE, nullptr)) { setlocale(LC_CTYPE, "C.UTF-8"); }
  ~Utf8Locale() { setlocale(LC_CTYPE, saved_.c_str()); }

 private:
  std::string saved_;
};

std::string show(Position p) { return std::to_string(p.line) + ":" + std::to_string(p.column); }

// Every node of `xml` as "type name @position", text nodes with their
// start, read through XmlSource with text positions on.
std::string walk(const std::string& xml) {
  TempDir dir;
  testutil::writeFile(dir.file("in.xml"), xml);
  XmlSource src;
  if (!src.open(dir.file("in.xml"), true)) return "cannot open";
  std::string out;
  while (src.next() == 1) {
    int t = src.type();
    if (t == XML_READER_TYPE_ELEMENT) out += std::string(src.name()) + "@" + show(src.position()) + " ";
    if (t == XML_READER_TYPE_TEXT) out += "'" + std::string(src.value()) + "'@" + show(src.position()) + " ";
  }
  return out;
}

}  // namespace

TEST(ImportLatin2, CzechLettersConvertExactly) {
  Latin2Converter c;
  ASSERT_TRUE(c.ok());
  std::string out;
  c.convert("P\xC5\x99\xC3\xADli\xC5\xA1 \xC5\xBElu\xC5\xA5ou\xC4\x8Dk\xC3\xBD k\xC5\xAF\xC5\x88 "
            "\xC3\xBAp\xC4\x9Bl \xC4\x8F\xC3\xA1\x62\x65lsk\xC3\xA9 \xC3\xB3\x64y",
            &out);
  EXPECT_EQ(testutil::tohex(out),
            testutil::tohex("P\xF8\xEDli\xB9 \xBElu\xBBou\xE8k\xFD k\xF9\xF2 \xFAp\xECl \xEF\xE1"
                            "belsk\xE9 \xF3\x64y"));
  EXPECT_EQ(c.transliterated(), 0);
  EXPECT_EQ(c.firstUnconvertible("\xC5\x99\xC3\xA9"), 4u);
}

TEST(ImportLatin2, OtherCharactersAreTransliteratedAndCounted) {
  Utf8Locale locale;
  Latin2Converter c;
  struct Case {
    std::string in, out;
    long transliterated, unknown;
  };
  const Case cases[] = {
      {"sm\xC3\xB8rrebr\xC3\xB8\x64", "smorrebrod", 2, 0},        // o with stroke
      {"5 \xE2\x82\xAC", "5 EUR", 1, 0},                         // euro sign
      {"\xE6\x97\xA5 \xC3\xA1", "? \xE1", 1, 1},                 // a CJK character has no stand-in
      {"\xC3\xB1 \xC5\x99 \xE2\x80\x94", "n \xF8 --", 2, 0},     // n tilde, r caron, em dash
      {"ok", "ok", 0, 0},
  };
  long seenT = 0, seenU = 0;
  for (const Case& k : cases) {
    std::string out;
    c.convert(k.in, &out);
    EXPECT_EQ(testutil::tohex(out), testutil::tohex(k.out)) << k.in;
    EXPECT_EQ(c.transliterated() - seenT, k.transliterated) << k.in;
    EXPECT_EQ(c.unknown() - seenU, k.unknown) << k.in;
    seenT = c.transliterated();
    seenU = c.unknown();
  }
  EXPECT_EQ(c.firstUnconvertible("ab\xC3\xA1\xC3\xB8z"), 4u);
  EXPECT_EQ(c.transliterated(), seenT);  // looking counts nothing
}

TEST(ImportPositions, CountedInCharactersFromTheStart) {
  const std::string text = "a\xC3\xB8\x62\nxy\n\xC3\xB8z";
  struct Case {
    Position start;
    size_t offset;
    std::string want;
  };
  const Case cases[] = {
      {{5, 10}, 0, "5:10"}, {{5, 10}, 3, "5:12"}, {{5, 10}, 6, "6:2"},
      {{5, 10}, 8, "7:1"},  {{5, 10}, 10, "7:2"}, {{5, 0}, 3, "5:0"},  // unknown until a line feed
      {{5, 0}, 7, "6:3"},
  };
  for (const Case& c : cases) EXPECT_EQ(show(positionIn(c.start, text, c.offset)), c.want) << c.offset;
}

TEST(ImportSource, NodesCarryWhereTheyStand) {
  const std::string xml =
      "<?xml version=\"1.0\"?>\n"
      "<d>\n"
      " <e a=\"1\"\n"
      "    b=\"2\">te&amp;xt\n"
      " more</e>\n"
      "<e><f>x</f>ab \xC3\xB8 tail\n"
      "next</e><g/><h>\xC3\xB8\xC3\xB8</h>\n"
      "<h>\xC3\xB8\n\xC3\xB8</h></d>\n";
  // Elements: the ">" of the start tag ("/" of "/>"). Text: where it
  // begins, the column unknown when the first piece libxml2 read of it ran
  // over a line feed. White space between elements is not text here.
  EXPECT_EQ(walk(xml),
            "d@2:3 e@4:10 'te&xt\n more'@4:11 e@6:3 f@6:6 'x'@6:7 'ab \xC3\xB8 tail\nnext'@6:12 "
            "g@7:11 h@7:15 '\xC3\xB8\xC3\xB8'@7:16 h@8:3 '\xC3\xB8\n\xC3\xB8'@8:0 ");
}

TEST(ImportSource, LinesStayExactPastLibxmlsSixteenBits) {
  TempDir dir;
  std::string xml = "<d>\n";
  const int entries = 70000;
  for (int i = 0; i < entries; ++i) xml += "<e n=\"" + std::to_string(i) + "\"><f>k</f></e>\n";
  xml += "</d>\n";
  testutil::writeFile(dir.file("big.xml"), xml);
  XmlSource src;
  ASSERT_TRUE(src.open(dir.file("big.xml"), false));
  long wrong = 0, seen = 0, firstWrong = 0;
  while (src.next() == 1) {
    if (src.type() != XML_READER_TYPE_ELEMENT || src.name() != "e") continue;
    long want = seen + 2;
    if (src.position().line != want && wrong++ == 0) firstWrong = want;
    ++seen;
  }
  EXPECT_EQ(seen, entries);
  EXPECT_EQ(wrong, 0) << "first at line " << firstWrong;
  EXPECT_EQ(src.bytesRead(), static_cast<long>(xml.size()));
  EXPECT_EQ(src.size(), static_cast<long>(xml.size()));
}

TEST(ImportSource, ErrorsAndWarningsCarryFileLineAndColumn) {
  TempDir dir;
  std::string bad = dir.file("bad.xml");
  testutil::writeFile(bad, "<d>\n<e>a</f></d>\n");
  XmlSource src;
  ASSERT_TRUE(src.open(bad, false));
  int rc;
  while ((rc = src.next()) == 1) {
  }
  EXPECT_EQ(rc, -1);
  EXPECT_EQ(src.error(), bad + ":2:9: Opening and ending tag mismatch: e line 2 and f");

  // An entity no declaration defines: reading goes on, with a warning.
  std::string undeclared = dir.file("undeclared.xml");
  testutil::writeFile(undeclared, "<!DOCTYPE d SYSTEM \"missing.dtd\">\n<d>&nbsp;</d>\n");
  XmlSource src2;
  ASSERT_TRUE(src2.open(undeclared, false));
  std::vector<int> types;
  while ((rc = src2.next()) == 1) types.push_back(src2.type());
  EXPECT_EQ(rc, 0);
  EXPECT_EQ(types, (std::vector<int>{XML_READER_TYPE_DOCUMENT_TYPE, XML_READER_TYPE_ELEMENT,
                                     XML_READER_TYPE_ENTITY_REFERENCE, XML_READER_TYPE_END_ELEMENT}));
  std::string warnings = src2.takeWarnings();
  EXPECT_EQ(warnings, undeclared + ":1:34: failed to load external entity \"" + dir.file("missing.dtd") +
                          "\"\n" + undeclared + ":2:10: Entity 'nbsp' not defined\n");
  EXPECT_FALSE(src2.hasWarnings());

  XmlSource missing;
  EXPECT_FALSE(missing.open(dir.file("none.xml"), false));
  EXPECT_EQ(missing.error(), dir.file("none.xml") + ": No such file or directory");
}
