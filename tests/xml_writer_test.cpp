// Rendering entry trees and escaping text.
#include <gtest/gtest.h>

#include <string>

#include "treeutil.h"
#include "xml/entry.h"
#include "xml/reader.h"
#include "xml/writer.h"

using treeutil::build;
using treeutil::Tree;

namespace {

// E with a value and two children: A with a value, B holding C with a value.
XMLEntry* example() { return build({"E", "head", {{"A", "one"}, {"B", "", {{"C", "two"}}}}}); }

std::string repeat(const std::string& s, int n) {
  std::string out;
  for (int i = 0; i < n; ++i) out += s;
  return out;
}

TEST(XMLWriterTest, OutputProperties) {
  Tree e(example());
  // The seven-line default: one tag a line, indented, an empty line after.
  EXPECT_EQ(XMLprintEntry(e.get(), 7, true, false),
            "<E>head\n  <A>one</A>\n  <B>\n    <C>two</C>\n  </B>\n</E>\n\n");
  EXPECT_EQ(XMLprintEntry(e.get(), 2, true, false), "<E>head<A>one</A><B><C>two</C></B></E>\n");
  EXPECT_EQ(XMLprintEntry(e.get(), 0, true, false), "<E>head<A>one</A><B><C>two</C></B></E>");
  EXPECT_EQ(XMLprintEntry(e.get(), true, false), "<E>head<A>one</A><B><C>two</C></B></E>");
  // Indentation goes before the tags even when no line break precedes them.
  EXPECT_EQ(XMLprintEntry(e.get(), 1, true, false), "<E>head  <A>one</A>  <B>    <C>two</C>  </B></E>");
  EXPECT_EQ(XMLprintEntry(e.get(), 4, true, false), "<E>head\n<A>one</A>\n<B>\n<C>two</C>\n</B>\n</E>\n");
  EXPECT_EQ(XMLprintEntry(e.get(), ">", "-", "|", "END", true, false),
            "><E>head|>-<A>one</A>|>-<B>|>--<C>two</C>|>-</B>|></E>|END");
  // Without tags the outermost tags are left out.
  EXPECT_EQ(XMLprintEntry(e.get(), false, false), "head<A>one</A><B><C>two</C></B>");
}

TEST(XMLWriterTest, LeavesEmptyNodesAndEscapes) {
  Tree leaf(build({"A", "x<y"})), empty(build({"A", ""})), odd(build({"A&B", "<&> \\ \"q\" '"}));
  EXPECT_EQ(XMLprintEntry(leaf.get(), 7, true, false), "<A>x&lt;y</A>\n\n");
  EXPECT_EQ(XMLprintEntry(leaf.get(), false, false), "x&lt;y");
  EXPECT_EQ(XMLprintEntry(empty.get(), true, false), "<A></A>");
  EXPECT_EQ(XMLprintEntry(empty.get(), 7, true, false), "<A></A>\n\n");
  EXPECT_EQ(XMLprintEntry(nullptr, 7, true, false), "");
  EXPECT_EQ(XMLprintEntry(odd.get(), true, false), "<A&amp;B>&lt;&amp;&gt; \\ \"q\" '</A&amp;B>");
  EXPECT_EQ(XMLprintEntry(odd.get(), true, true), "<A&amp;B>&lt;&amp;&gt; \\\\ \"q\" '</A&amp;B>");
}

TEST(XMLWriterTest, ParseStringEscapesAnyInput) {
  EXPECT_EQ(parseString("<&", false), "&lt;&amp;");
  EXPECT_EQ(parseString("", true), "");
  EXPECT_EQ(parseString("a\\b", false), "a\\b");
  EXPECT_EQ(parseString("a\\b", true), "a\\\\b");
  EXPECT_EQ(parseString(std::string("\x01\xe1\xff\t", 4), true), std::string("\x01\xe1\xff\t", 4));
  // Plain runs between escapes, at either end and between adjacent escapes.
  EXPECT_EQ(parseString(">x<<y&\\z\\", true), "&gt;x&lt;&lt;y&amp;\\\\z\\\\");
  EXPECT_EQ(parseString("ab>cd", false), "ab&gt;cd");
  EXPECT_EQ(parseString(std::string(10000, '<'), false), repeat("&lt;", 10000));
  EXPECT_EQ(parseString(std::string(10000, '&'), true), repeat("&amp;", 10000));
  std::string out = "keep:";
  parseStringTo(&out, ">", false);
  EXPECT_EQ(out, "keep:&gt;");
}

// Text is passed over a word at a time: an escaped byte must be found at
// every place in a word and in the bytes after the last whole word, next to
// bytes that differ from it in one bit and to bytes of every other value.
TEST(XMLWriterTest, ParseStringFindsEscapedBytesWhereverTheyStand) {
  auto oneByOne = [](const std::string& in, bool esc) {
    std::string out;
    for (char c : in) {
      if (c == '<') out += "&lt;";
      else if (c == '>') out += "&gt;";
      else if (c == '&') out += "&amp;";
      else if (c == '\\') out += esc ? "\\\\" : "\\";
      else out += c;
    }
    return out;
  };
  for (char special : {'<', '>', '&', '\\'})
    for (size_t len = 1; len <= 27; ++len)
      for (size_t at = 0; at < len; ++at)
        for (char fill : {'a', static_cast<char>(special ^ 1), '\x80', '\xff', '\0'}) {
          std::string in(len, fill);
          in[at] = special;
          ASSERT_EQ(parseString(in, true), oneByOne(in, true)) << len << " " << at;
        }
  std::string every;
  for (int i = 0; i < 256; ++i) every += static_cast<char>(i);
  for (size_t from = 0; from < 16; ++from)
    EXPECT_EQ(parseString(every.substr(from), false), oneByOne(every.substr(from), false));
}

TEST(XMLWriterTest, GetStringRendersTheCurrentEntryWithItsProperties) {
  XML x;
  delete x.getXMLEntry();
  x.setXMLEntry(example());
  x.getXMLEntry()->children[0]->value = "a\\b";
  EXPECT_EQ(x.outProps, 7);
  EXPECT_EQ(x.getString(true), "<E>head\n  <A>a\\\\b</A>\n  <B>\n    <C>two</C>\n  </B>\n</E>\n\n");
  x.setOutProps(2);
  EXPECT_EQ(x.getString(false), "<E>head<A>a\\b</A><B><C>two</C></B></E>\n");
}

TEST(XMLWriterTest, DeepAndWideTreesRenderEveryNode) {
  Tree top(build({"E", ""}));
  XMLEntry* at = top.get();
  for (int i = 1; i < 100000; ++i) {
    XMLEntry* n = new XMLEntry;  // paths kept short: they would grow per level
    n->name = "X";
    at->addEntry(n);
    at = n;
  }
  at->value = "v";
  std::string out = "#";
  XMLprintEntryTo(&out, top.get(), "", "", "", "\n", true, false);
  EXPECT_EQ(out, "#<E>" + repeat("<X>", 99999) + "v" + repeat("</X>", 99999) + "</E>\n");

  Tree wide(build({"E", ""}));
  for (int i = 0; i < 300; ++i) {
    XMLEntry* s = build({"S", ""}, wide.get());
    for (int j = 0; j < 300; ++j) build({"T", "word"}, s);
  }
  EXPECT_EQ(XMLprintEntry(wide.get(), 7, true, false),
            "<E>\n" + repeat("  <S>\n" + repeat("    <T>word</T>\n", 300) + "  </S>\n", 300) + "</E>\n\n");
}

}  // namespace
