// The packed entry form: writer bytes, the loader and its messages, the
// stepper, and the filtering copy.

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <deque>
#include <string>

#include "base/map.h"
#include "dictio/dictio.h"
#include "dtd/dtd.h"
#include "testutil.h"
#include "xml/entry.h"
#include "xml/packed.h"
#include "xml/reader.h"

using testutil::CaptureFd;
using testutil::hex;
using testutil::tohex;

namespace {

// Tag table E=1, E.A=2, E.B=3; words known by text and by number.
class PackedTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* paths[] = {"E", "E.A", "E.B"};
    for (const char* p : paths) dtd_.tags[dtd_.count++].path = p;
    map_init(&words_, MAP_STR, MAP_BORROW);
    map_init(&ids_, MAP_INT, 2);
    addWord("five", 5);
    addWord("big", 258);
    addWord("Hello", 1);
    addWord(",", 2);
    addWord("world", 3);
  }
  void TearDown() override {
    map_done(&words_);
    map_done(&ids_);
  }

  void addWord(const std::string& text, int32_t num) {
    texts_.push_back(text);
    recs_.push_back(wrdrec_t{texts_.back().data(), num, -1, -1});
    map_assn(&words_, recs_.back().word, &recs_.back());
    map_assn(&ids_, map_ikey(num), &recs_.back());
  }

  static XMLEntry* node(XMLEntry* parent, const std::string& name, const std::string& value) {
    auto* e = new XMLEntry();
    e->name = name;
    e->path = parent ? parent->path + "." + name : name;
    e->value = value;
    if (parent) parent->addEntry(e);
    return e;
  }

  std::string pack(const XMLEntry* e) {
    std::string out;
    XMLpackEntry(e, &words_, &dtd_, &out);
    return out;
  }

  // A stream holding `bytes`, positioned at its start.
  static FILE* stream(const std::string& bytes) {
    FILE* f = tmpfile();
    fwrite(bytes.data(), 1, bytes.size(), f);
    rewind(f);
    return f;
  }

  DTD dtd_;
  map_t words_, ids_;
  std::deque<std::string> texts_;
  std::deque<wrdrec_t> recs_;
};

const char* kTwoElements = "81 05 00 00 02 01 00 00 00 00 82 00 00 00 02 01";

TEST_F(PackedTest, WriterBytes) {
  XMLEntry* e = node(nullptr, "E", "five big");
  node(e, "A", "");
  EXPECT_EQ(tohex(pack(e)), tohex(hex(kTwoElements)));

  // The stream form appends at the current position.
  FILE* f = tmpfile();
  fputs("xy", f);
  EXPECT_TRUE(XMLsavePackEntry(e, &f, &words_, &dtd_));
  EXPECT_EQ(ftell(f), 2 + 16);
  fclose(f);
  delete e;
}

TEST_F(PackedTest, WriterLeavesOutUnknownPathsAndWords) {
  XMLEntry* e = node(nullptr, "E", "unknown five");
  XMLEntry* z = node(e, "Z", "big");      // path E.Z has no index
  node(z, "A", "big");                    // E.Z.A: gone with its parent
  node(e, "B", "world  ,\tHello");
  EXPECT_EQ(tohex(pack(e)), tohex(hex("81 05 00 00 00 00 00"
                                      " 83 03 00 00 02 00 00 01 00 00 00 00 00 03"
                                      " 01")));
  delete e;
  // An upmost element without index packs to nothing.
  XMLEntry* q = node(nullptr, "Q", "five");
  EXPECT_EQ(pack(q), "");
  delete q;
}

TEST_F(PackedTest, WriterLooksLongWordsUpByTheirFirst255Bytes) {
  std::string longWord(300, 'x');
  addWord(std::string(255, 'x'), 9);
  XMLEntry* e = node(nullptr, "E", longWord + " " + longWord.substr(0, 256));
  EXPECT_EQ(tohex(pack(e)), tohex(hex("81 09 00 00 09 00 00 00 00 00 01")));
  delete e;

  char w[300];
  std::string text(299, 'y');
  memcpy(w, text.c_str(), 300);
  EXPECT_TRUE(XMLclipWord(w));
  EXPECT_EQ(strlen(w), 255u);
  EXPECT_FALSE(XMLclipWord(w));
}

TEST_F(PackedTest, StepperWalksCellsOfOneEntry) {
  // Two entries back to back; the second has a child with words only.
  std::string bytes = hex(kTwoElements) + hex("81 00 00 00 83 03 00 00 01 00 00 00 00 00 03 01");
  FILE* f = stream(bytes);
  long word = 0, tag = 0, pos = -7;
  ASSERT_TRUE(XMLgetPackPtr(&f, &word, &tag, &pos));
  EXPECT_EQ(word, 5);
  EXPECT_EQ(tag, 1);
  EXPECT_EQ(pos, -7);  // a call that begins an element leaves it alone
  ASSERT_TRUE(XMLgetPackPtr(&f, &word, &tag, &pos));
  EXPECT_EQ(word, 258);
  EXPECT_EQ(tag, 1);
  EXPECT_EQ(pos, 1);
  EXPECT_FALSE(XMLgetPackPtr(&f, &word, &tag, &pos));
  EXPECT_EQ(ftell(f), 16);

  ASSERT_TRUE(XMLgetPackPtr(&f, &word, &tag, &pos));
  EXPECT_EQ(word, 3);
  EXPECT_EQ(tag, 3);
  ASSERT_TRUE(XMLgetPackPtr(&f, &word, &tag, &pos));
  EXPECT_EQ(word, 1);
  EXPECT_EQ(tag, 3);
  EXPECT_FALSE(XMLgetPackPtr(&f, &word, &tag, &pos));
  EXPECT_EQ(ftell(f), static_cast<long>(bytes.size()));
  EXPECT_FALSE(XMLgetPackPtr(&f, &word, &tag, &pos));  // at the end
  fclose(f);
}

TEST_F(PackedTest, StepperEndsTruncatedEntries) {
  const char* cuts[] = {"81 05 00", "81 05 00 00 02", "81 00 00 00 82 07 00 00", "81 00 00 00 82"};
  for (const char* cut : cuts) {
    FILE* f = stream(hex(cut));
    long word = 0, tag = 0, pos = 0;
    int cells = 0;
    while (XMLgetPackPtr(&f, &word, &tag, &pos)) ASSERT_LT(++cells, 10) << cut;
    EXPECT_TRUE(feof(f)) << cut;
    fclose(f);
    // The next walk starts clean.
    f = stream(hex(kTwoElements));
    ASSERT_TRUE(XMLgetPackPtr(&f, &word, &tag, &pos)) << cut;
    EXPECT_EQ(word, 5) << cut;
    XMLresetPackPtr();
    fclose(f);
  }
}

TEST_F(PackedTest, LoaderRebuildsTheTree) {
  FILE* f = stream(hex(kTwoElements) + hex("81 01 00 00 02 00 00 03 00 00 63 00 00 00 00 00 01"));
  XMLEntry e;
  e.addEntry(new XMLEntry());  // a previous child is dropped
  ASSERT_TRUE(XMLloadPackEntry(&e, &f, &ids_, &dtd_, 0));
  EXPECT_EQ(e.path, "E");
  EXPECT_EQ(e.name, "E");
  EXPECT_EQ(e.value, "five big");
  EXPECT_EQ(e.level, 0);
  ASSERT_EQ(e.count(), 1);
  EXPECT_EQ(e.children[0]->path, "E.A");
  EXPECT_EQ(e.children[0]->name, "A");
  EXPECT_EQ(e.children[0]->level, 1);
  EXPECT_EQ(e.children[0]->value, "");
  EXPECT_EQ(ftell(f), 16);

  // Words are joined by their punctuation; unknown numbers (0x63) pass.
  XML x;
  ASSERT_TRUE(x.loadPackEntry(&f, &ids_, &dtd_));
  EXPECT_EQ(x.getXMLEntry()->value, "Hello, world");
  EXPECT_FALSE(x.loadPackEntry(&f, &ids_, &dtd_));  // end of input
  fclose(f);
}

TEST_F(PackedTest, LoaderReportsWrongBytesAndGoesOn) {
  struct Case {
    const char* bytes;
    const char* err;
    const char* path;
  } cases[] = {
      {"81 00 00 00 02", "Open and close tags don't match (2!=1).\n", "E"},
      {"03 00 00 00 03", "3 is not open tag.\nOpen and close tags don't match (3!=-125).\n", ""},
  };
  for (const Case& c : cases) {
    FILE* f = stream(hex(c.bytes));
    XMLEntry e;
    CaptureFd err(2);
    EXPECT_TRUE(XMLloadPackEntry(&e, &f, &ids_, &dtd_, 0)) << c.bytes;
    EXPECT_EQ(err.text(), c.err);
    EXPECT_EQ(e.path, c.path);
    fclose(f);
  }
}

TEST_F(PackedTest, LoaderStopsAtTheEndOfATruncatedEntry) {
  struct Case {
    const char* bytes;
    const char* err;
  } cases[] = {
      {"", ""},
      {"81 05 00", "Error: Packed entry ends inside the words of E.\n"},
      {"81 00 00 00", "Error: Packed entry ends before its close byte.\n"},
      {"81 00 00 00 82 00 00 00", "Error: Packed entry ends before its close byte.\n"},
      {"81 00 00 00 82 00 00 00 02", "Error: Packed entry ends before its close byte.\n"},
  };
  for (const Case& c : cases) {
    FILE* f = stream(hex(c.bytes));
    XMLEntry e;
    CaptureFd err(2);
    EXPECT_FALSE(XMLloadPackEntry(&e, &f, &ids_, &dtd_, 0)) << c.bytes;
    EXPECT_EQ(err.text(), c.err) << c.bytes;
    fclose(f);
  }
}

TEST_F(PackedTest, LoaderRefusesImpossibleNesting) {
  std::string bytes;
  for (int i = 0; i < 200; ++i) bytes += hex("82 00 00 00");
  FILE* f = stream(bytes);
  XMLEntry e;
  CaptureFd err(2);
  EXPECT_FALSE(XMLloadPackEntry(&e, &f, &ids_, &dtd_, 0));
  EXPECT_EQ(err.text(), "Error: Packed entry nested deeper than 127 levels.\n");
  fclose(f);
}

TEST_F(PackedTest, CopyDropsCellsOfWordsNotInTheTable) {
  map_dele(&ids_, map_ikey(258));
  FILE* f = stream(hex(kTwoElements) + hex("81 00 00 00 02"));
  std::string out = "x";
  ASSERT_TRUE(XMLcopyPackEntry(f, &ids_, &out));
  EXPECT_EQ(tohex(out), tohex("x" + hex("81 05 00 00 00 00 00 82 00 00 00 02 01")));
  EXPECT_EQ(ftell(f), 16);
  // Mismatched close byte: refused, nothing appended.
  EXPECT_FALSE(XMLcopyPackEntry(f, &ids_, &out));
  EXPECT_EQ(out.size(), 14u);
  EXPECT_FALSE(XMLcopyPackEntry(f, &ids_, &out));  // end of input
  fclose(f);

  const char* damaged[] = {"05 00 00 00 05", "81 05 00", "81 00 00 00 82 00 00 00 02"};
  for (const char* d : damaged) {
    FILE* g = stream(hex(d));
    std::string o;
    EXPECT_FALSE(XMLcopyPackEntry(g, &ids_, &o)) << d;
    EXPECT_EQ(o, "") << d;
    fclose(g);
  }
}

}  // namespace
