// The importer's entry assembly and name mapping. What EntryBuilder renders
// is read back with lexorn's own reader: the tree that comes back is what
// the dictionary will hold.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "import/entry.h"
#include "import/names.h"
#include "testutil.h"
#include "treeutil.h"
#include "xml/reader.h"

namespace {

using Fault = EntryBuilder::Fault;

// Reads one rendered entry the way lexorn reads DICT.xml after its
// declaration (backslashes literal): the tree's shape, or a note of what
// went wrong, with anything the reader said.
std::string readBack(const std::string& line) {
  XML x;
  x.escapes = 0;
  testutil::CaptureFd err(2);
  bool ok = x.getEntry(line);
  std::string said = err.text();
  if (!ok) return "not read: " + said;
  std::string bad = treeutil::consistency(x.getXMLEntry());
  return treeutil::shape(x.getXMLEntry()) + said + bad;
}

// Builds entries from a short script: "<NAME" opens, ">" closes, "'text'"
// adds text (quotes cannot occur inside).
class Script {
 public:
  explicit Script(NameMapper* names) : names_(names), entry_(*names) {}

  EntryBuilder& run(const std::vector<std::string>& steps) {
    bool first = true;
    for (const std::string& s : steps) {
      if (s[0] == '<') {
        int id = names_->map(s.substr(1));
        if (first) entry_.begin(id); else entry_.open(id);
        first = false;
      } else if (s == ">") {
        entry_.close();
      } else {
        entry_.text(s.substr(1, s.size() - 2));
      }
    }
    return entry_;
  }
  std::string rendered() {
    std::string out;
    return entry_.render(&out) ? out : "refused: " + std::string(describe(entry_.fault()));
  }

 private:
  NameMapper* names_;
  EntryBuilder entry_;
};

// An entry E whose child chain holds `levels` elements in all.
std::vector<std::string> chain(int levels) {
  std::vector<std::string> s{"<e"};
  for (int i = 1; i < levels; ++i) s.push_back("<l" + std::to_string(i));
  s.push_back("'deep'");
  for (int i = 0; i < levels; ++i) s.push_back(">");
  return s;
}

// An entry E with `children` leaves, the first `withGrandchild` of which
// hold one element each.
std::vector<std::string> wide(int children, int withGrandchild) {
  std::vector<std::string> s{"<e"};
  for (int i = 0; i < children; ++i) {
    s.push_back("<f");
    if (i < withGrandchild) s.insert(s.end(), {"<g", ">"});
    s.push_back(">");
  }
  s.push_back(">");
  return s;
}

}  // namespace

TEST(ImportEntry, TextIsOnePieceBeforeTheChildren) {
  struct Case {
    std::vector<std::string> script;
    std::string rendered, back;
  };
  const Case cases[] = {
      // Mixed content: the text around a child is joined, with the space
      // that stood between the words, and written before the child.
      {{"<e", "'  see '", "<xr", "'x'", ">", "' also\n'", ">"},
       "<E>see also<XR>x</XR></E>", "E=see also{XR=x}"},
      {{"<e", "'a'", "<b", ">", "'c'", "<hw", "'w'", ">", ">"}, "<E>ac<B></B><HW>w</HW></E>",
       "E=ac{B,HW=w}"},
      // White space: runs become one space, the ends are trimmed, control
      // bytes count as white space.
      {{"<e", "<d", "'a\t\n  b'", "'  c '", ">", ">"}, "<E><D>a b c</D></E>", "E{D=a b c}"},
      {{"<e", "<d", "'ctl\x01\x1fx \r\n'", ">", ">"}, "<E><D>ctl x</D></E>", "E{D=ctl x}"},
      {{"<e", "<d", "' \n '", ">", ">"}, "<E><D></D></E>", "E{D}"},
      // Markup characters are escaped and come back; so does literal
      // entity text and, after the declaration, a backslash.
      {{"<e", "<d", "'1 < 2 & 3 > 2'", ">", ">"}, "<E><D>1 &lt; 2 &amp; 3 &gt; 2</D></E>",
       "E{D=1 < 2 & 3 > 2}"},
      {{"<e", "<d", "'&lt;&gt;&amp;'", ">", ">"}, "<E><D>&amp;lt;&amp;gt;&amp;amp;</D></E>",
       "E{D=&lt;&gt;&amp;}"},
      {{"<e", "<d", "'a\\<b\\\\'", ">", ">"}, "<E><D>a\\&lt;b\\\\</D></E>", "E{D=a\\<b\\\\}"},
      {{"<e", "<d", "'x'", ">", "<d", "'y'", ">", ">"}, "<E><D>x</D><D>y</D></E>", "E{D=x,D=y}"},
  };
  for (const Case& c : cases) {
    NameMapper names;
    Script s(&names);
    s.run(c.script);
    std::string line = s.rendered();
    EXPECT_EQ(line, c.rendered);
    EXPECT_EQ(readBack(line), c.back) << line;
  }
}

TEST(ImportEntry, LimitsAreLexornReadersOwn) {
  struct Case {
    std::vector<std::string> script;
    Fault fault;
    std::string path;
  };
  const Case cases[] = {
      {chain(EntryBuilder::kMaxLevels), Fault::kNone, ""},
      {chain(EntryBuilder::kMaxLevels + 1), Fault::kTooDeep, "E.L1.L2.L3.L4.L5.L6.L7.L8.L9"},
      {wide(EntryBuilder::kMaxChildren, 0), Fault::kNone, ""},
      {wide(EntryBuilder::kMaxChildren + 1, 0), Fault::kTooManyChildren, "E.F"},
      {wide(EntryBuilder::kMaxChildren, EntryBuilder::kMaxElements - 1 - EntryBuilder::kMaxChildren),
       Fault::kNone, ""},
      {wide(EntryBuilder::kMaxChildren, EntryBuilder::kMaxElements - EntryBuilder::kMaxChildren),
       Fault::kTooManyElements, "E.F.G"},
      {{"<e", "'text only'", ">"}, Fault::kNoChild, ""},
  };
  for (const Case& c : cases) {
    NameMapper names;
    Script s(&names);
    EntryBuilder& e = s.run(c.script);
    EXPECT_EQ(describe(e.fault()), std::string(describe(c.fault))) << c.script.size();
    EXPECT_EQ(e.faultPath(), c.path);
    std::string line = s.rendered();
    if (c.fault != Fault::kNone) continue;
    // What fits the builder fits the reader: it comes back whole.
    XML x;
    x.escapes = 0;
    testutil::CaptureFd err(2);
    ASSERT_TRUE(x.getEntry(line)) << err.text();
    EXPECT_EQ(err.text(), "");
    EXPECT_TRUE(x.getEntStr());
    EXPECT_EQ(x.values.count, static_cast<int>(std::count(line.begin(), line.end(), '<') / 2));
  }
}

TEST(ImportEntry, RefusalIsWholeAndForgottenByTheNextEntry) {
  NameMapper names;
  Script s(&names);
  std::vector<std::string> deep = chain(EntryBuilder::kMaxLevels + 2);
  deep.insert(deep.end() - 1, {"<after", "'late'", ">"});
  EntryBuilder& e = s.run(deep);
  EXPECT_EQ(e.depth(), 0);  // every close was matched though nothing was kept
  EXPECT_EQ(s.rendered(), "refused: elements nested too deep");
  EXPECT_EQ(e.faultPath(), "E.L1.L2.L3.L4.L5.L6.L7.L8.L9");

  s.run({"<e", "<hw", "'ok'", ">", ">"});
  EXPECT_EQ(e.fault(), Fault::kNone);
  EXPECT_EQ(e.faultPath(), "");
  EXPECT_EQ(s.rendered(), "<E><HW>ok</HW></E>");
  // The no-child fault shows only once the entry is complete.
  s.run({"<e"});
  EXPECT_EQ(e.fault(), Fault::kNone);
  e.close();
  EXPECT_EQ(e.fault(), Fault::kNoChild);
}

TEST(ImportNames, MappedForTheStructureFile) {
  const std::pair<std::string, std::string> cases[] = {
      {"entry", "ENTRY"},
      {"tei:entry", "ENTRY"},
      {"a:b:c", "C"},
      {"x.y", "X_Y"},
      {"a-b_C9", "A-B_C9"},
      {"n\xC3\xA1zev", "N__ZEV"},
      {"\xC4\x8D", "__"},
      {std::string(200, 'q'), std::string(127, 'Q')},
  };
  for (const auto& [source, mapped] : cases) EXPECT_EQ(lexornName(source), mapped) << source;
}

TEST(ImportNames, ChangesAndCollisionsAreNotedOnce) {
  NameMapper names;
  std::vector<std::string> seen;
  auto map = [&](const std::string& n) {
    int id = names.map(n);
    for (const NameMapper::Note& note : names.takeNotes())
      seen.push_back(note.source + ">" + note.mapped + (note.changed ? " changed" : "") +
                     (note.other.empty() ? "" : " like " + note.other));
    return id;
  };
  int entry = map("entry");
  EXPECT_EQ(map("entry"), entry);
  EXPECT_EQ(map("tei:entry"), map("tei:entry"));
  EXPECT_NE(map("tei:entry"), entry);  // another source name, same lexorn name
  EXPECT_EQ(names.name(map("tei:entry")), "ENTRY");
  map("Entry");
  map("x.y");
  map("x.y");
  map("x_y");
  map(std::string(130, 'w'));
  EXPECT_EQ(seen, (std::vector<std::string>{"tei:entry>ENTRY like entry", "Entry>ENTRY like entry",
                                            "x.y>X_Y changed", "x_y>X_Y like x.y",
                                            std::string(130, 'w') + ">" + std::string(127, 'W') + " changed"}));
  EXPECT_EQ(names.changed(), 2);
  EXPECT_EQ(names.collisions(), 3);
  EXPECT_FALSE(names.hasNotes());
}
