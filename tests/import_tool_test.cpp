// lexorn-import run as a program: the DICT.xml bytes it writes (ISO-8859-2),
// its messages and summary on standard error, its exit status, what it
// leaves in the directory; and the imported file built by lexorn and
// searched with lexorn-find.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <thread>
#include <string>
#include <vector>

#include "testutil.h"

using testutil::readFile;
using testutil::TempDir;
using testutil::writeFile;
using Lines = std::vector<std::string>;

namespace {

const std::string kDecl = "<?xml version=\"1.0\" encoding=\"ISO-8859-2\"?>\n";
const std::string kHint = "Run lexorn-import --help for the usage.\n";

std::string summary(int written, const std::string& leftOut, int attributes,
                    const std::string& names = "0", const std::string& chars = "0") {
  return "Entries written: " + std::to_string(written) + " (to d.xml)\nEntries left out: " + leftOut +
         "\nAttributes turned into elements: " + std::to_string(attributes) + "\nNames changed: " + names +
         "\nCharacters transliterated: " + chars + "\n";
}

// A Czech sample with the markup lexorn's reader does not know: a DOCTYPE
// with an entity, a comment, a processing instruction, CDATA, namespaces
// and attributes on the entry element and deeper.
const char kCzech[] =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
    "<!DOCTYPE slovnik [\n"
    "  <!ENTITY cz \"\xC4\x8D\x65sky\">\n"
    "]>\n"
    "<!-- Czech-English sample -->\n"
    "<slovnik xmlns=\"urn:example:dict\" xmlns:g=\"urn:example:gram\" verze=\"1\">\n"
    "  <?editor keep?>\n"
    "  <heslo id=\"h1\" g:druh=\"subst\">\n"
    "    <hw>k\xC5\xAF\xC5\x88</hw>\n"
    "    <sense n=\"1\">horse <![CDATA[<equus>]]> &amp; &cz; <g:note>zool.</g:note></sense>\n"
    "  </heslo>\n"
    "  <heslo id=\"h2\"><hw>\xC5\xBElu\xC5\xA5ou\xC4\x8Dk\xC3\xBD</hw><sense n=\"1\">yellowish</sense></heslo>\n"
    "</slovnik>\n";

const std::string kCzechOut =
    kDecl +
    "<HESLO><ID>h1</ID><DRUH>subst</DRUH><HW>k\xF9\xF2</HW><SENSE>horse &lt;equus&gt; &amp; \xE8"
    "esky<N>1</N><NOTE>zool.</NOTE></SENSE></HESLO>\n"
    "<HESLO><ID>h2</ID><HW>\xBElu\xBBou\xE8k\xFD</HW><SENSE>yellowish<N>1</N></SENSE></HESLO>\n";

// UTF-16 little-endian with a byte order mark.
std::string utf16(const std::u16string& text) {
  std::string out = "\xFF\xFE";
  for (char16_t c : text) {
    out += static_cast<char>(c & 0xFF);
    out += static_cast<char>(c >> 8);
  }
  return out;
}

class ImportTool : public ::testing::Test {
 protected:
  // Runs lexorn-import in the scratch directory: "status|stdout|stderr".
  std::string run(const Lines& args) {
    Lines argv{LEXORN_IMPORT_BIN};
    argv.insert(argv.end(), args.begin(), args.end());
    testutil::RunResult r = testutil::run(argv, dir.path());
    return std::to_string(r.status) + "|" + r.out + "|" + r.err;
  }
  // Writes `input` as in.xml and imports it into d.
  std::string import(const std::string& input, Lines options = {}) {
    writeFile(dir.file("in.xml"), input);
    options.insert(options.end(), {"in.xml", "d"});
    return run(options);
  }
  std::string dict() { return readFile(dir.file("d.xml")); }
  Lines files() { return testutil::listDir(dir.path()); }

  TempDir dir;
};

}  // namespace

TEST_F(ImportTool, Utf8AndUtf16CzechWithEveryKindOfMarkup) {
  EXPECT_EQ(import(kCzech), "0||" + summary(2, "0", 5));
  EXPECT_EQ(testutil::tohex(dict()), testutil::tohex(kCzechOut));

  std::u16string sample =
      u"<?xml version=\"1.0\" encoding=\"UTF-16\"?>\n<!DOCTYPE s [<!ENTITY cz \"\u010Desky\">]>\n"
      u"<s xmlns:g=\"urn:g\"><!-- c --><heslo id=\"h1\" g:druh=\"subst\"><hw>k\u016F\u0148</hw>"
      u"<sense n=\"1\">horse <![CDATA[<equus>]]> &amp; &cz; <g:note>zool.</g:note></sense></heslo>"
      u"<heslo id=\"h2\"><hw>\u017Elu\u0165ou\u010Dk\u00FD</hw><sense n=\"1\">yellowish</sense></heslo></s>";
  EXPECT_EQ(import(utf16(sample), {"--force"}), "0||" + summary(2, "0", 5));
  EXPECT_EQ(testutil::tohex(dict()), testutil::tohex(kCzechOut));
  EXPECT_EQ(files(), (Lines{"d.xml", "in.xml"}));
}

TEST_F(ImportTool, AttributesComeFirstOrNotAtAll) {
  const std::string input =
      "<d><e key=\"k&amp;1\" n=\"2\"><hw lang=\"cs\">a</hw><s n=\"1\"/></e>"
      "<e><hw>b</hw><x xmlns:q=\"urn:q\" q:t=\"&lt;v&gt;\">y</x></e></d>";
  EXPECT_EQ(import(input), "0||" + summary(2, "0", 5));
  EXPECT_EQ(dict(), kDecl +
                        "<E><KEY>k&amp;1</KEY><N>2</N><HW>a<LANG>cs</LANG></HW><S><N>1</N></S></E>\n"
                        "<E><HW>b</HW><X>y<T>&lt;v&gt;</T></X></E>\n");
  EXPECT_EQ(import(input, {"--force", "--drop-attributes"}), "0||" + summary(2, "0", 0));
  EXPECT_EQ(dict(), kDecl + "<E><HW>a</HW><S></S></E>\n<E><HW>b</HW><X>y</X></E>\n");
}

TEST_F(ImportTool, UnresolvedEntitiesStayAsTextAndAreCounted) {
  // The DTD that would declare nbsp is not there: libxml2 warns and hands
  // the reference over unresolved.
  const std::string input =
      "<!DOCTYPE d SYSTEM \"gone.dtd\">\n<d><e><hw>a&nbsp;b</hw></e></d>\n";
  EXPECT_EQ(import(input), "0||Warning: in.xml:1:31: failed to load external entity \"gone.dtd\"\n"
                           "Warning: in.xml:2:18: Entity 'nbsp' not defined\n" +
                               summary(1, "0", 0) + "Entity references left unresolved: 1\n");
  EXPECT_EQ(dict(), kDecl + "<E><HW>a&amp;nbsp;b</HW></E>\n");
}

TEST_F(ImportTool, EntryOptionFindsEntriesWhereverTheyStand) {
  const std::string tei =
      "<TEI xmlns=\"http://www.tei-c.org/ns/1.0\">\n"
      "<teiHeader><fileDesc><title>Sample</title></fileDesc></teiHeader>\n"
      "<text><body>\n"
      "<div type=\"a\"><entry xml:id=\"a1\"><form><orth>auto</orth></form>"
      "<sense><def>car</def></sense></entry></div>\n"
      "<entry xml:id=\"b1\"><form><orth>bod</orth></form>"
      "<re><entry><form><orth>nested</orth></form></entry></re></entry>\n"
      "</body></text></TEI>\n";
  EXPECT_EQ(import(tei, {"--entry", "entry"}), "0||" + summary(2, "0", 2));
  EXPECT_EQ(dict(), kDecl +
                        "<ENTRY><ID>a1</ID><FORM><ORTH>auto</ORTH></FORM><SENSE><DEF>car</DEF></SENSE></ENTRY>\n"
                        "<ENTRY><ID>b1</ID><FORM><ORTH>bod</ORTH></FORM><RE><ENTRY><FORM><ORTH>nested</ORTH>"
                        "</FORM></ENTRY></RE></ENTRY>\n");
  // Without --entry the header and the text are the "entries".
  EXPECT_EQ(import(tei, {"--force"}).substr(0, 2), "1|");

  // A NAME with a prefix is compared with the whole element name.
  const std::string prefixed = "<d xmlns:x=\"urn:x\"><x:entry><a>1</a></x:entry><entry><a>2</a></entry></d>";
  EXPECT_EQ(import(prefixed, {"--force", "--entry=x:entry"}), "0||" + summary(1, "0", 0));
  EXPECT_EQ(dict(), kDecl + "<ENTRY><A>1</A></ENTRY>\n");
  EXPECT_EQ(import(prefixed, {"--force", "--entry", "entry"}),
            "0||Warning: the names 'x:entry' and 'entry' are both written as ENTRY.\n" +
                summary(2, "0", 0, "0 (1 made the same as another)"));
  EXPECT_EQ(import(prefixed, {"--force", "--entry", "none"}),
            "2||Error: in.xml holds no element named none.\n");
}

TEST_F(ImportTool, EntriesThatDoNotFitAreReportedWithTheirLine) {
  const std::string input =
      "<d>\n"
      "<title>My dictionary</title>\n"
      "<e><hw>ok</hw></e>\n"
      "<e><a><b><c><d><e><f><g><h><i>x</i></h></g></f></e></d></c></b></a></e>\n"
      "<e><a><b><c><d><e><f><g><h>nine</h></g></f></e></d></c></b></a></e>\n"
      "<e><a><b><c><d><e><f><g><h n=\"1\">nine</h></g></f></e></d></c></b></a></e>\n"
      "loose text\n"
      "<e id=\"7\"/>\n"
      "<e>text only</e>\n"
      "<note><p>x</p></note>\n"
      "</d>\n";
  const std::string deep = "E.A.B.C.D.E.F.G.H";
  EXPECT_EQ(import(input),
            "1||Left out in.xml:2: TITLE holds no element; lexorn reads an entry only when its upmost "
            "element holds one.\n"
            "Left out in.xml:4: " + deep + ".I lies deeper than 9 levels, the most lexorn reads.\n"
            "Left out in.xml:6: " + deep + ".N lies deeper than 9 levels, the most lexorn reads.\n"
            "Left out in.xml:9: E holds no element; lexorn reads an entry only when its upmost element "
            "holds one.\n"
            "Left out in.xml:10: NOTE is not E, the name of the entries (--entry NAME chooses the "
            "entries).\n" +
                summary(3, "5 (2 nested too deep, 2 with no child element, 1 not named like the entries)", 1) +
                "Text pieces between entries left out: 1\n");
  EXPECT_EQ(dict(), kDecl + "<E><HW>ok</HW></E>\n<E><A><B><C><D><E><F><G><H>nine</H></G></F></E></D></C></B></A></E>\n"
                            "<E><ID>7</ID></E>\n");
  // Without attributes the sixth line's entry fits and the eighth's is empty.
  EXPECT_EQ(import(input, {"--force", "--drop-attributes"}).substr(0, 2), "1|");
  std::string written = dict();
  EXPECT_EQ(std::count(written.begin(), written.end(), '\n'), 4);  // the declaration and three entries
  EXPECT_NE(written.find("<H>nine</H></G></F></E></D></C></B></A></E>\n<E><A>"), std::string::npos);
}

TEST_F(ImportTool, LinesPastSixtyFiveThousandAreExact) {
  std::string input = "<d>\n";
  for (int i = 0; i < 70000; ++i) input += "<e><hw>w</hw></e>\n";
  input += "<e>no child</e>\n</d>\n";
  std::string r = import(input);
  EXPECT_EQ(r.substr(0, r.find('\n') + 1), "1||Left out in.xml:70002: E holds no element; lexorn reads an entry "
                                           "only when its upmost element holds one.\n");
}

TEST_F(ImportTool, CharactersOutsideLatin2AreTransliteratedOrRefused) {
  const std::string input =
      "<d>\n<e><hw>sm\xC3\xB8rrebr\xC3\xB8\x64</hw><p>5 \xE2\x82\xAC</p></e>\n"
      "<e><hw>\xE6\x97\xA5</hw></e>\n</d>\n";
  EXPECT_EQ(import(input), "0||" + summary(2, "0", 0, "0", "4 (1 written as \"?\")"));
  EXPECT_EQ(dict(), kDecl + "<E><HW>smorrebrod</HW><P>5 EUR</P></E>\n<E><HW>?</HW></E>\n");

  EXPECT_EQ(import(input, {"--strict", "--force"}),
            "1||Error: in.xml:2:10: the character U+00F8 (\xC3\xB8) has no ISO-8859-2 form.\n"
            "in.xml is refused (--strict); nothing is written.\n");
  EXPECT_EQ(dict(), kDecl + "<E><HW>smorrebrod</HW><P>5 EUR</P></E>\n<E><HW>?</HW></E>\n");  // untouched
  EXPECT_EQ(files(), (Lines{"d.xml", "in.xml"}));

  // A character reference is placed at its ";". Text that begins outside
  // ASCII and runs over a line feed has no known column.
  const std::string refused = "in.xml is refused (--strict); nothing is written.\n";
  EXPECT_EQ(import("<d>\n<e><hw>&#xF8;</hw></e></d>", {"--strict", "--force"}),
            "1||Error: in.xml:2:13: the character U+00F8 (\xC3\xB8) has no ISO-8859-2 form.\n" + refused);
  EXPECT_EQ(import("<d>\n<e><hw>\xC3\xA9\xC3\xB8\nx</hw></e></d>", {"--strict", "--force"}),
            "1||Error: in.xml:2: the character U+00F8 (\xC3\xB8) has no ISO-8859-2 form.\n" + refused);
  EXPECT_EQ(import("<d>\n<e><hw>\xC3\xA9\nx \xC3\xB8</hw></e></d>", {"--strict", "--force"}),
            "1||Error: in.xml:3:3: the character U+00F8 (\xC3\xB8) has no ISO-8859-2 form.\n" + refused);

  // In an attribute value the start tag is named; Czech letters pass.
  const std::string attr = "<d>\n<e k\xC5\x99=\"\xC5\x99\" t=\"\xE2\x84\xA2\"><hw>x</hw></e></d>\n";
  EXPECT_EQ(import(attr, {"--strict", "--force"}),
            "1||Note: the name 'k\xC5\x99' is written as K__.\n"
            "Error: in.xml:2:16: the character U+2122 (\xE2\x84\xA2) in the value of the attribute t of the "
            "start tag ending here has no ISO-8859-2 form.\n"
            "in.xml is refused (--strict); nothing is written.\n");
  EXPECT_EQ(import(attr, {"--strict", "--force", "--drop-attributes"}), "0||" + summary(1, "0", 0));
  EXPECT_EQ(dict(), kDecl + "<E><HW>x</HW></E>\n");
}

TEST_F(ImportTool, NamesAreMadeFitAndCollisionsReported) {
  const std::string input =
      "<d xmlns:a=\"urn:a\" xmlns:b=\"urn:b\"><e><a:title>1</a:title><b:title>2</b:title>"
      "<x.y>3</x.y><n\xC3\xA1zev>4</n\xC3\xA1zev></e></d>";
  EXPECT_EQ(import(input),
            "0||Warning: the names 'a:title' and 'b:title' are both written as TITLE.\n"
            "Note: the name 'x.y' is written as X_Y.\n"
            "Note: the name 'n\xC3\xA1zev' is written as N__ZEV.\n" +
                summary(1, "0", 0, "2 (1 made the same as another)"));
  EXPECT_EQ(dict(), kDecl + "<E><TITLE>1</TITLE><TITLE>2</TITLE><X_Y>3</X_Y><N__ZEV>4</N__ZEV></E>\n");
}

TEST_F(ImportTool, ErrorsLeaveNothingBehind) {
  EXPECT_EQ(import("<d>\n<e><a>x</a></e>\n<e><a>y</b></e>\n</d>\n"),
            "2||Error: in.xml:3:12: Opening and ending tag mismatch: a line 3 and b\n");
  EXPECT_EQ(import("<?xml version=\"1.0\" encoding=\"no-such-code\"?><d/>"),
            "2||Error: in.xml:1:44: Unsupported encoding no-such-code\n");
  EXPECT_EQ(import("<d>text only</d>"),
            "2||Error: in.xml holds no entries: its document element has no child element.\n");
  EXPECT_EQ(files(), Lines{"in.xml"});
  EXPECT_EQ(run({"missing.xml", "d"}), "2||Error: Could not read missing.xml: No such file or directory\n");
  EXPECT_EQ(run({".", "d"}), "2||Error: .: Is a directory\n");
  EXPECT_EQ(run({"in.xml", "no/such/dir/d"}).substr(0, 53),
            "2||Error: Could not create a temporary file beside no");
}

TEST_F(ImportTool, WriteFailureIsAnErrorAndLeavesNothing) {
  std::string input = "<d>\n";
  for (int i = 0; i < 20000; ++i) input += "<e><hw>word</hw></e>\n";
  writeFile(dir.file("in.xml"), input + "</d>\n");
  // The shell limits files to 8 KiB, with the signal that would kill the
  // writer ignored, so the write itself fails.
  testutil::RunResult r = testutil::run(
      {"/bin/sh", "-c", std::string("trap '' XFSZ; ulimit -f 16; exec '") + LEXORN_IMPORT_BIN + "' in.xml d"},
      dir.path());
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.err.rfind("Error: Could not write d.xml.tmp.", 0), 0u) << r.err;
  EXPECT_NE(r.err.find(": File too large\n"), std::string::npos) << r.err;
  EXPECT_EQ(files(), Lines{"in.xml"});
}

TEST_F(ImportTool, ExistingDictionaryIsReplacedOnlyWithForce) {
  writeFile(dir.file("d.xml"), "keep me");
  EXPECT_EQ(import("<d><e><a>1</a></e></d>"), "2||Error: d.xml exists; --force replaces it.\n");
  EXPECT_EQ(dict(), "keep me");
  EXPECT_EQ(run({"--force", "in.xml", "d.xml"}), "0||" + summary(1, "0", 0));
  EXPECT_EQ(dict(), kDecl + "<E><A>1</A></E>\n");
  EXPECT_EQ(files(), (Lines{"d.xml", "in.xml"}));
}

TEST_F(ImportTool, CommandLine) {
  std::string help = run({"--help"});
  EXPECT_EQ(help.rfind("0|Usage: lexorn-import [OPTIONS] INPUT DICT\n", 0), 0u);
  for (const char* option : {"--entry NAME", "--drop-attributes", "--strict", "--force", "Exit status"})
    EXPECT_NE(help.find(option), std::string::npos) << option;
  EXPECT_EQ(help.back(), '|');
  EXPECT_EQ(run({}), "2||Error: an INPUT file and a DICT name are needed.\n" + kHint);
  EXPECT_EQ(run({"a.xml"}), "2||Error: an INPUT file and a DICT name are needed.\n" + kHint);
  EXPECT_EQ(run({"a.xml", "b", "c"}), "2||Error: an INPUT file and a DICT name are needed.\n" + kHint);
  EXPECT_EQ(run({"--fast", "a.xml", "b"}), "2||Error: unknown option --fast.\n" + kHint);
  EXPECT_EQ(run({"a.xml", "b", "--entry"}), "2||Error: --entry needs a NAME.\n" + kHint);
  EXPECT_EQ(run({"--entry=", "a.xml", "b"}), "2||Error: --entry needs a NAME.\n" + kHint);
  EXPECT_EQ(files(), Lines{});
  // After "--" a name may begin with a dash.
  writeFile(dir.file("-in.xml"), "<d><e><a>1</a></e></d>");
  EXPECT_EQ(run({"--", "-in.xml", "d"}), "0||" + summary(1, "0", 0));
}

TEST_F(ImportTool, KilledHalfwayLeavesNoFileBehind) {
  // The input comes through a pipe, so the import is surely under way (its
  // temporary file exists) when the signal comes.
  ASSERT_EQ(mkfifo(dir.file("in.xml").c_str(), 0600), 0);
  pid_t pid = fork();
  if (pid == 0) {
    if (chdir(dir.path().c_str()) != 0) _exit(127);
    int null = open("/dev/null", O_WRONLY);
    dup2(null, 2);
    execl(LEXORN_IMPORT_BIN, LEXORN_IMPORT_BIN, "in.xml", "d", static_cast<char*>(nullptr));
    _exit(127);
  }
  int fifo = open(dir.file("in.xml").c_str(), O_WRONLY);
  const std::string half = "<d><e><a>1</a></e><e><a>2</a></e>";
  ASSERT_EQ(write(fifo, half.data(), half.size()), static_cast<ssize_t>(half.size()));
  bool started = false;
  for (int i = 0; i < 500 && !started; ++i) {
    started = files().size() == 2;
    if (!started) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  EXPECT_TRUE(started);
  kill(pid, SIGTERM);
  int status = 0;
  waitpid(pid, &status, 0);
  close(fifo);
  EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM) << status;
  EXPECT_EQ(files(), Lines{"in.xml"});
}

TEST_F(ImportTool, BigInputsShowProgress) {
  std::string input = "<d>\n";
  while (input.size() < (5u << 20)) input += "<e n=\"1\"><hw>slovo</hw><def>a word of some length</def></e>\n";
  input += "</d>\n";
  std::string r = import(input);
  const std::string clear = "\r" + std::string(53, ' ') + "\r";
  EXPECT_EQ(r.rfind("0||" + clear + "Progress: 0%" + clear + "Progress: 1%", 0), 0u) << r.substr(0, 200);
  EXPECT_NE(r.find(clear + "Progress: 50%" + clear), std::string::npos);
  EXPECT_NE(r.find("Progress: 99%" + clear + "Entries written: "), std::string::npos);
}

TEST_F(ImportTool, ImportedDictionaryIsBuiltAndSearchedByLexorn) {
  ASSERT_EQ(import(kCzech).substr(0, 2), "0|");
  testutil::RunResult built = testutil::run({LEXORN_BIN, "d"}, dir.path());
  ASSERT_EQ(built.status, 0) << built.err;
  // lexorn's normalising rewrite leaves the imported file as it was.
  EXPECT_EQ(testutil::tohex(dict()), testutil::tohex(kCzechOut));
  EXPECT_FALSE(testutil::fileExists(dir.file("d.xml.orig")));

  testutil::RunResult found =
      testutil::run({LEXORN_FIND_BIN, "d", "word", "heslo.hw", "k\xF9\xF2"}, dir.path(), {"LC_ALL=C"});
  EXPECT_EQ(found.status, 0) << found.err;
  EXPECT_EQ(found.out.substr(0, found.out.find('\n')), "1 HESLO.HW");
  EXPECT_NE(found.out.find("<HW>k\xF9\xF2</HW>"), std::string::npos) << found.out;
  testutil::RunResult sense =
      testutil::run({LEXORN_FIND_BIN, "d", "word", "heslo.sense", "\xE8" "esky"}, dir.path(), {"LC_ALL=C"});
  EXPECT_EQ(sense.status, 0) << sense.err;
  EXPECT_EQ(sense.out.substr(0, sense.out.find('\n')), "1 HESLO.SENSE");

  // As a user types it in a UTF-8 terminal, and sees it back.
  testutil::RunResult typed = testutil::run(
      {LEXORN_FIND_BIN, "d", "word", "heslo.hw", "k\u016F\u0148"}, dir.path(), {"LC_ALL=C.UTF-8"});
  EXPECT_EQ(typed.status, 0) << typed.err;
  EXPECT_NE(typed.out.find("<HW>k\u016F\u0148</HW>"), std::string::npos) << typed.out;
}
