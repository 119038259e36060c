// Recycled entry nodes: a reader that takes its nodes from a pool reads
// every entry exactly as one that allocates them, messages included.
#include <gtest/gtest.h>

#include <cstdio>
#include <set>
#include <string>
#include <vector>

#include "testutil.h"
#include "xml/entry.h"
#include "xml/entrypool.h"
#include "xml/readentry.h"
#include "xml/reader.h"

namespace {

using testutil::TempDir;

// Everything a node holds, the whole tree down, one node a line: path,
// name, level, value, and whether the parent link is the node above.
void describe(const XMLEntry* e, const XMLEntry* above, std::string* out) {
  *out += e->path + " " + e->name + " " + std::to_string(e->level) + " [" + e->value + "]" +
          (e->parent == above ? "" : " wrong parent") + (e->mark ? " marked" : "") + "\n";
  for (const XMLEntry* c : e->children) describe(c, e, out);
}

// Every read of `bytes` through readEntry: each entry described, then the
// messages held with it. With `pool`, each tree is given back as soon as it
// has been described, so the next entries are built from its nodes.
std::string readAll(const std::string& bytes, XMLEntryPool* pool) {
  TempDir dir;
  testutil::writeFile(dir.file("d.xml"), bytes);
  FILE* f = std::fopen(dir.file("d.xml").c_str(), "rb");
  XML reader;
  reader.nodePool = pool;
  std::string out;
  ReadEntry item;
  while (readEntry(&reader, f, &item)) {
    if (item.tree) describe(item.tree.get(), item.tree->parent, &out);
    out += item.messages + "--\n";
    if (pool != nullptr) recycleEntry(pool, &item);
    item = ReadEntry();
  }
  std::fclose(f);
  return out;
}

std::string repeat(const std::string& s, int n) {
  std::string out;
  for (int i = 0; i < n; ++i) out += s;
  return out;
}

TEST(XMLEntryPool, ReadsWithRecycledNodesMatchReadsWithNewOnes) {
  const std::string longText(3000, 'q');
  const std::vector<std::string> inputs = {
      // Long texts, names and paths first, then short ones into the same nodes.
      "<E><SENSEGROUP><DEFINITION>" + longText + "</DEFINITION><X>a b</X></SENSEGROUP></E>\n"
      "<E><A>x</A></E>\n<E><A><B>y</B>z</A><C/></E>\n<E>text only</E>\n<E><Q>1</Q></E>\n",
      // Refused entries: open elements and orphans go back to the pool.
      "<E><S>" + repeat("<A>x</A>", 2049) + "</S></E><E><B>y</B></E>" +
          repeat("<E><G>" + repeat("<A>v</A>", 3000) + "</G></E>", 2) + "<E><C>w</C></E>",
      "<E><A><B>x</E><C>after</C></E><E><D>d</D></E><E><A>cut",
      "<E><L1><L2><L3><L4><L5><L6><L7><L8><L9>deep</L9></L8></L7></L6></L5></L4></L3></L2>"
      "</L1></E>\n<E><A>ok</A></E>\n",
  };
  for (const std::string& in : inputs) {
    SCOPED_TRACE(in.substr(0, 60));
    XMLEntryPool pool;
    std::string plain = readAll(in, nullptr);
    EXPECT_EQ(readAll(in, &pool), plain);
    EXPECT_EQ(readAll(in, &pool), plain) << "a pool already full of nodes";
  }
}

TEST(XMLEntryPool, HandsOutTheNodesOfAGivenTreeClearedAndNoMoreThanItHolds) {
  XML reader;
  ASSERT_TRUE(reader.getEntry(std::string("<E><A>one</A><A>two<B>three</B></A></E>")));
  XMLEntry* tree = reader.getXMLEntry();
  reader.setXMLEntry(new XMLEntry);
  tree->mark = tree;
  std::set<XMLEntry*> nodes;
  std::vector<XMLEntry*> todo{tree};
  while (!todo.empty()) {
    XMLEntry* n = todo.back();
    todo.pop_back();
    nodes.insert(n);
    todo.insert(todo.end(), n->children.begin(), n->children.end());
  }
  ASSERT_EQ(nodes.size(), 4u);

  XMLEntryPool pool;
  pool.give(tree);
  pool.give(nullptr);
  std::vector<XMLEntry*> taken;
  for (int i = 0; i < 4; ++i) {
    XMLEntry* n = pool.take();
    EXPECT_EQ(nodes.count(n), 1u) << "a node of the tree comes back";
    EXPECT_TRUE(n->name.empty() && n->path.empty() && n->value.empty());
    EXPECT_TRUE(n->children.empty());
    EXPECT_EQ(n->parent, nullptr);
    EXPECT_EQ(n->mark, nullptr);
    EXPECT_EQ(n->level, 0);
    taken.push_back(n);
  }
  XMLEntry* fresh = pool.take();
  EXPECT_EQ(nodes.count(fresh), 0u) << "an empty pool makes a new node";
  delete fresh;
  for (XMLEntry* n : taken) delete n;  // pool nodes are plain heap nodes
}

}  // namespace
