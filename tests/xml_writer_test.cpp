// Rendering entry trees and escaping text.
#include <gtest/gtest.h>

#include <string>

#include "xml/entry.h"
#include "xml/reader.h"
#include "xml/writer.h"

namespace {

XMLEntry* node(const std::string& name, const std::string& value = "") {
  XMLEntry* e = new XMLEntry;
  e->name = name;
  e->path = name;
  e->value = value;
  return e;
}

// E with a value and two children: A with a value, B holding C with a value.
XMLEntry* example() {
  XMLEntry* e = node("E", "head");
  e->addEntry(node("A", "one"));
  XMLEntry* b = node("B");
  b->addEntry(node("C", "two"));
  e->addEntry(b);
  return e;
}

TEST(XMLWriterTest, DefaultPropertiesGiveOneTagPerLineAndAnEmptyLine) {
  XMLEntry* e = example();
  EXPECT_EQ(
      "<E>head\n"
      "  <A>one</A>\n"
      "  <B>\n"
      "    <C>two</C>\n"
      "  </B>\n"
      "</E>\n"
      "\n",
      XMLprintEntry(e, 7, true, false));
  delete e;
}

TEST(XMLWriterTest, PropertiesTwoGiveOneLinePerEntry) {
  XMLEntry* e = example();
  EXPECT_EQ("<E>head<A>one</A><B><C>two</C></B></E>\n", XMLprintEntry(e, 2, true, false));
  EXPECT_EQ("<E>head<A>one</A><B><C>two</C></B></E>", XMLprintEntry(e, true, false));
  EXPECT_EQ("<E>head<A>one</A><B><C>two</C></B></E>", XMLprintEntry(e, 0, true, false));
  delete e;
}

TEST(XMLWriterTest, SinglePropertyBits) {
  XMLEntry* e = example();
  // Indentation goes before the tags even when no line break precedes them.
  EXPECT_EQ("<E>head  <A>one</A>  <B>    <C>two</C>  </B></E>", XMLprintEntry(e, 1, true, false));
  EXPECT_EQ("<E>head\n<A>one</A>\n<B>\n<C>two</C>\n</B>\n</E>\n", XMLprintEntry(e, 4, true, false));
  delete e;
}

TEST(XMLWriterTest, ExplicitIndentStepLineEndAndTrailer) {
  XMLEntry* e = example();
  EXPECT_EQ("><E>head|>-<A>one</A>|>-<B>|>--<C>two</C>|>-</B>|></E>|END",
            XMLprintEntry(e, ">", "-", "|", "END", true, false));
  delete e;
}

TEST(XMLWriterTest, WithoutTagsTheOutermostTagsAreLeftOut) {
  XMLEntry* e = example();
  EXPECT_EQ("head<A>one</A><B><C>two</C></B>", XMLprintEntry(e, false, false));
  XMLEntry* leaf = node("A", "x<y");
  EXPECT_EQ("x&lt;y", XMLprintEntry(leaf, false, false));
  delete leaf;
  delete e;
}

TEST(XMLWriterTest, LeavesAndEmptyNodes) {
  XMLEntry* leaf = node("A", "word");
  EXPECT_EQ("<A>word</A>\n\n", XMLprintEntry(leaf, 7, true, false));
  XMLEntry* empty = node("A");
  EXPECT_EQ("<A></A>", XMLprintEntry(empty, true, false));
  EXPECT_EQ("<A></A>\n\n", XMLprintEntry(empty, 7, true, false));
  EXPECT_EQ("", XMLprintEntry(nullptr, 7, true, false));
  delete leaf;
  delete empty;
}

TEST(XMLWriterTest, NamesAndValuesAreEscaped) {
  XMLEntry* e = node("A&B", "<&> \\ \"q\" '");
  EXPECT_EQ("<A&amp;B>&lt;&amp;&gt; \\ \"q\" '</A&amp;B>", XMLprintEntry(e, true, false));
  EXPECT_EQ("<A&amp;B>&lt;&amp;&gt; \\\\ \"q\" '</A&amp;B>", XMLprintEntry(e, true, true));
  delete e;
}

TEST(XMLWriterTest, ParseStringEscapesAnyInput) {
  EXPECT_EQ("&lt;&amp;", parseString("<&", false));
  EXPECT_EQ("", parseString("", true));
  EXPECT_EQ("a\\b", parseString("a\\b", false));
  EXPECT_EQ("a\\\\b", parseString("a\\b", true));
  EXPECT_EQ(std::string("\x01\xe1\xff\t", 4), parseString(std::string("\x01\xe1\xff\t", 4), true));
  std::string lt(10000, '<');
  std::string amp(10000, '&');
  std::string expectLt;
  std::string expectAmp;
  for (int i = 0; i < 10000; ++i) {
    expectLt += "&lt;";
    expectAmp += "&amp;";
  }
  EXPECT_EQ(expectLt, parseString(lt, false));
  EXPECT_EQ(expectAmp, parseString(amp, true));
  std::string out = "keep:";
  parseStringTo(&out, ">", false);
  EXPECT_EQ("keep:&gt;", out);
}

TEST(XMLWriterTest, GetStringRendersTheCurrentEntryWithItsProperties) {
  XML x;
  delete x.getXMLEntry();
  x.setXMLEntry(example());
  x.getXMLEntry()->children[0]->value = "a\\b";
  EXPECT_EQ(7, x.outProps);
  EXPECT_EQ("<E>head\n  <A>a\\\\b</A>\n  <B>\n    <C>two</C>\n  </B>\n</E>\n\n", x.getString(true));
  x.setOutProps(2);
  EXPECT_EQ("<E>head<A>a\\b</A><B><C>two</C></B></E>\n", x.getString(false));
}

TEST(XMLWriterTest, RendersDeepTreesAndAppendsToTheGivenString) {
  XMLEntry* top = node("E");
  XMLEntry* at = top;
  const int depth = 100000;
  for (int i = 1; i < depth; ++i) {
    XMLEntry* n = node("X");
    at->addEntry(n);
    at = n;
  }
  at->value = "v";
  std::string out = "#";
  XMLprintEntryTo(&out, top, "", "", "", "\n", true, false);
  std::string expect = "#<E>";
  for (int i = 1; i < depth; ++i) expect += "<X>";
  expect += "v";
  for (int i = 1; i < depth; ++i) expect += "</X>";
  expect += "</E>\n";
  EXPECT_EQ(expect, out);
  delete top;
}

TEST(XMLWriterTest, WideEntriesRenderEveryNode) {
  XMLEntry* top = node("E");
  for (int i = 0; i < 300; ++i) {
    XMLEntry* s = node("S");
    for (int j = 0; j < 300; ++j) s->addEntry(node("T", "word"));
    top->addEntry(s);
  }
  std::string out = XMLprintEntry(top, 7, true, false);
  EXPECT_EQ(300u * 300u * std::string("    <T>word</T>\n").size() +
                300u * (std::string("  <S>\n").size() + std::string("  </S>\n").size()) +
                std::string("<E>\n</E>\n\n").size(),
            out.size());
  delete top;
}

}  // namespace
