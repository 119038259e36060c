#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <string>

#include "base/binio.h"
#include "base/error.h"
#include "base/files.h"
#include "base/mem.h"
#include "testutil.h"

namespace {

using testutil::readFile;
using testutil::TempDir;
using testutil::writeFile;

TEST(Files, ExistAndSize) {
  TempDir dir;
  const std::string empty = dir.file("empty"), full = dir.file("full");
  writeFile(empty, "");
  writeFile(full, "12345");
  EXPECT_EQ(fil_exist(full.c_str()), 1);
  EXPECT_EQ(fil_exist(empty.c_str()), 1);
  EXPECT_EQ(fil_exist(dir.file("missing").c_str()), 0);
  EXPECT_EQ(fil_exist(dir.path().c_str()), 0);  // a directory is not a file
  EXPECT_EQ(fil_size(full.c_str()), 5);
  EXPECT_EQ(fil_size(empty.c_str()), 0);
  EXPECT_EQ(fil_size(dir.file("missing").c_str()), 0);
  EXPECT_EQ(fil_size(dir.path().c_str()), 0);
}

TEST(Files, EofTestRestoresOrLeavesThePosition) {
  TempDir dir;
  const std::string p = dir.file("f");
  writeFile(p, "abc");
  FILE* f = fopen(p.c_str(), "rb");
  ASSERT_NE(f, nullptr);
  fgetc(f);
  EXPECT_EQ(fil_eofx(f), 0);
  EXPECT_EQ(ftell(f), 1);
  EXPECT_EQ(fgetc(f), 'b');
  fgetc(f);
  EXPECT_EQ(fil_eofx(f), 1);
  EXPECT_EQ(ftell(f), 3);
  fseek(f, 10, SEEK_SET);  // beyond the end
  EXPECT_EQ(fil_eofx(f), 1);
  EXPECT_EQ(ftell(f), 3);
  fclose(f);
}

TEST(Files, CopyInChunks) {
  TempDir dir;
  std::string big;
  for (int i = 0; i < 100000; i++) big += static_cast<char>(i * 7);
  writeFile(dir.file("src"), big);
  writeFile(dir.file("dst"), "old content that is longer than nothing");
  EXPECT_EQ(fil_copy(dir.file("src").c_str(), dir.file("dst").c_str()), 1);
  EXPECT_EQ(readFile(dir.file("dst")), big);

  writeFile(dir.file("e"), "");
  EXPECT_EQ(fil_copy(dir.file("e").c_str(), dir.file("e2").c_str()), 1);
  EXPECT_TRUE(testutil::fileExists(dir.file("e2")));
  EXPECT_EQ(readFile(dir.file("e2")), "");
}

TEST(Files, CopyFailuresLeaveFilesAlone) {
  TempDir dir;
  writeFile(dir.file("src"), "data");
  // A missing source creates no destination.
  EXPECT_EQ(fil_copy(dir.file("missing").c_str(), dir.file("dst").c_str()), 0);
  EXPECT_FALSE(testutil::fileExists(dir.file("dst")));
  // An unwritable destination.
  EXPECT_EQ(fil_copy(dir.file("src").c_str(), dir.file("no/dst").c_str()), 0);
  // A destination that takes no bytes.
  if (access("/dev/full", W_OK) == 0) {
    EXPECT_EQ(fil_copy(dir.file("src").c_str(), "/dev/full"), 0);
  }
  // Copying a file onto itself would truncate it first: refused.
  EXPECT_EQ(fil_copy(dir.file("src").c_str(), dir.file("src").c_str()), 0);
  EXPECT_EQ(fil_copy(dir.file("src").c_str(), (dir.path() + "/./src").c_str()), 0);
  EXPECT_EQ(readFile(dir.file("src")), "data");
}

TEST(Files, ReplaceRenamesOverTheTarget) {
  TempDir dir;
  writeFile(dir.file("new"), "fresh");
  writeFile(dir.file("old"), "stale");
  EXPECT_TRUE(fil_replace(dir.file("new").c_str(), dir.file("old").c_str()));
  EXPECT_EQ(readFile(dir.file("old")), "fresh");
  EXPECT_FALSE(testutil::fileExists(dir.file("new")));
  EXPECT_FALSE(fil_replace(dir.file("new").c_str(), dir.file("old").c_str()));
  EXPECT_EQ(readFile(dir.file("old")), "fresh");
}

struct Arena {
  mem_t m;
  Arena() { mem_init(&m); }
  ~Arena() { mem_done(&m); }
};

TEST(Arena, BlocksGrowLinearly) {
  Arena a;
  EXPECT_EQ(a.m.nblocks, 0);
  EXPECT_EQ(a.m.blocks, nullptr);
  char* firstRec = static_cast<char*>(mem_alloc(&a.m, 16));
  for (int i = 1; i < 64; i++) {
    char* p = static_cast<char*>(mem_alloc(&a.m, 16));
    ASSERT_EQ(p, firstRec + 16 * i);  // contiguous, no rounding
  }
  EXPECT_EQ(a.m.nblocks, 1);
  EXPECT_EQ(a.m.blocks[0].size, 1024);
  EXPECT_EQ(a.m.blocks[0].next - a.m.blocks[0].base, 1024);
  char* p = static_cast<char*>(mem_alloc(&a.m, 16));
  EXPECT_EQ(a.m.nblocks, 2);
  EXPECT_EQ(a.m.blocks[1].size, 2048);
  EXPECT_EQ(p, a.m.blocks[1].base);
  EXPECT_EQ(a.m.blocks[0].base, firstRec);  // older blocks keep their records
}

TEST(Arena, LargeRequestOpensABlockOfItsOwnSize) {
  Arena a;
  mem_alloc(&a.m, 1000);
  mem_alloc(&a.m, 2000);
  EXPECT_EQ(a.m.nblocks, 2);
  mem_alloc(&a.m, 5000);
  EXPECT_EQ(a.m.nblocks, 3);
  EXPECT_EQ(a.m.blocks[2].size, 5000);
  mem_alloc(&a.m, 1);
  EXPECT_EQ(a.m.nblocks, 4);
  EXPECT_EQ(a.m.blocks[3].size, 4096);
}

TEST(Arena, OddLengthsAreNotAligned) {
  Arena a;
  char* t = static_cast<char*>(mem_alloc(&a.m, 3));
  char* r = static_cast<char*>(mem_alloc(&a.m, 16));
  EXPECT_EQ(r, t + 3);
  char* z = static_cast<char*>(mem_alloc(&a.m, 0));
  EXPECT_EQ(z, r + 16);
  EXPECT_EQ(mem_alloc(&a.m, 0), z);
  EXPECT_EQ(mem_alloc(&a.m, -1), nullptr);
}

TEST(Arena, ClearAndDone) {
  Arena a;
  EXPECT_EQ(mem_clear(&a.m), 1);
  EXPECT_EQ(a.m.nblocks, 0);
  mem_alloc(&a.m, 2000);
  mem_alloc(&a.m, 2000);
  EXPECT_EQ(mem_clear(&a.m), 1);
  EXPECT_EQ(a.m.nblocks, 0);
  EXPECT_EQ(a.m.blocks, nullptr);
  mem_alloc(&a.m, 10);
  EXPECT_EQ(a.m.blocks[0].size, 1024);  // counting starts again
}

TEST(ErrorOutput, ErroutWritesTheTextUnchanged) {
  testutil::CaptureFd err(STDERR_FILENO);
  errout("Error: 100% done %s\n");
  errout(nullptr);
  EXPECT_EQ(err.text(), "Error: 100% done %s\n");
}

TEST(ErrorOutput, ErrorfFormatsMessagesOfAnyLength) {
  const std::string longName(5000, 'n');
  testutil::CaptureFd err(STDERR_FILENO);
  errorf("Error: Could not open %s.\n", longName.c_str());
  EXPECT_EQ(err.text(), "Error: Could not open " + longName + ".\n");
}

TEST(ErrorOutput, Strprintf) {
  EXPECT_EQ(strprintf("%s=%d", "n", 42), "n=42");
  EXPECT_EQ(strprintf("%s", ""), "");
  EXPECT_EQ(strprintf("%s", std::string(10000, 'x').c_str()).size(), 10000u);
}

TEST(ErrorOutput, CountingWrappers) {
  int calls = 0;
  void* a = exmalloc(8, &calls);
  void* b = excalloc(2, 4, &calls);
  char* s = exstrdup("abc", &calls);
  EXPECT_STREQ(s, "abc");
  EXPECT_EQ(static_cast<char*>(b)[7], 0);
  exfree(a, &calls);
  exfree(b, &calls);
  exfree(s, &calls);
  EXPECT_EQ(calls, 6);
  char* t = estrdup("x");
  void* u = ecalloc(1, 1);
  efree(t);
  efree(u);
  efree(emalloc(1));
}

TEST(BinIo, LittleEndianRoundTrip) {
  TempDir dir;
  const std::string p = dir.file("bin");
  FILE* f = fopen(p.c_str(), "wb");
  put_u8(f, 0x1FF);
  put_u24(f, 0xAABBCCDD);
  put_i32(f, -2);
  put_i32(f, 0x01020304);
  fclose(f);
  EXPECT_EQ(testutil::tohex(readFile(p)), testutil::tohex(testutil::hex(
                                              "FF DD CC BB FE FF FF FF 04 03 02 01")));
  f = fopen(p.c_str(), "rb");
  uint32_t u = 0;
  int32_t i = 0;
  EXPECT_TRUE(get_u8(f, &u));
  EXPECT_EQ(u, 0xFFu);
  EXPECT_TRUE(get_u24(f, &u));
  EXPECT_EQ(u, 0xBBCCDDu);
  EXPECT_TRUE(get_i32(f, &i));
  EXPECT_EQ(i, -2);
  EXPECT_TRUE(get_i32(f, &i));
  EXPECT_EQ(i, 0x01020304);
  EXPECT_FALSE(get_u8(f, &u));
  fclose(f);
}

TEST(BinIo, ShortReadsLeaveTheValueAlone) {
  TempDir dir;
  const std::string p = dir.file("short");
  writeFile(p, testutil::hex("01 02"));
  FILE* f = fopen(p.c_str(), "rb");
  uint32_t u = 77;
  EXPECT_FALSE(get_u24(f, &u));
  EXPECT_EQ(u, 77u);
  fseek(f, 0, SEEK_SET);
  int32_t i = 5;
  EXPECT_FALSE(get_i32(f, &i));
  EXPECT_EQ(i, 5);
  fclose(f);
}

TEST(BinIo, MemoryForms) {
  unsigned char b[4] = {};
  store_u24(b, 0x123456);
  EXPECT_EQ(b[0], 0x56);
  EXPECT_EQ(b[2], 0x12);
  EXPECT_EQ(load_u24(b), 0x123456u);
  store_i32(b, -1000);
  EXPECT_EQ(load_i32(b), -1000);
  EXPECT_EQ(b[0], 0x18);
  EXPECT_EQ(b[3], 0xFF);
}

}  // namespace
