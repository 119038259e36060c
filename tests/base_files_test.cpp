#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "base/binio.h"
#include "base/error.h"
#include "base/fdio.h"
#include "base/files.h"
#include "base/mem.h"
#include "testutil.h"

namespace {

using testutil::readFile;
using testutil::TempDir;
using testutil::writeFile;

TEST(Files, ExistSizeAndEofTest) {
  TempDir dir;
  const std::string empty = dir.file("empty"), full = dir.file("full"), missing = dir.file("missing");
  writeFile(empty, "");
  writeFile(full, "abc");
  std::string got;
  for (const std::string& p : {full, empty, missing, dir.path()})  // a directory is not a file
    got += std::to_string(fil_exist(p.c_str())) + "/" + std::to_string(fil_size(p.c_str())) + " ";
  EXPECT_EQ(got, "1/3 1/0 0/0 0/0 ");

  // The end-of-file test restores the position, or leaves it at the end.
  FILE* f = fopen(full.c_str(), "rb");
  ASSERT_NE(f, nullptr);
  fgetc(f);
  EXPECT_EQ(fil_eofx(f), 0);
  EXPECT_EQ(fgetc(f), 'b');
  fgetc(f);
  EXPECT_EQ(fil_eofx(f), 1);
  EXPECT_EQ(ftell(f), 3);
  fseek(f, 10, SEEK_SET);  // beyond the end
  EXPECT_EQ(fil_eofx(f), 1);
  EXPECT_EQ(ftell(f), 3);
  fclose(f);
}

TEST(Files, CopyAndReplace) {
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

  // Failures leave the files alone: a missing source creates no
  // destination; copying a file onto itself would truncate it first.
  writeFile(dir.file("src"), "data");
  EXPECT_EQ(fil_copy(dir.file("missing").c_str(), dir.file("none").c_str()), 0);
  EXPECT_FALSE(testutil::fileExists(dir.file("none")));
  EXPECT_EQ(fil_copy(dir.file("src").c_str(), dir.file("no/dst").c_str()), 0);
  if (access("/dev/full", W_OK) == 0) {  // a destination that takes no bytes
    EXPECT_EQ(fil_copy(dir.file("src").c_str(), "/dev/full"), 0);
  }
  EXPECT_EQ(fil_copy(dir.file("src").c_str(), dir.file("src").c_str()), 0);
  EXPECT_EQ(fil_copy(dir.file("src").c_str(), (dir.path() + "/./src").c_str()), 0);
  EXPECT_EQ(readFile(dir.file("src")), "data");

  EXPECT_TRUE(fil_replace(dir.file("src").c_str(), dir.file("dst").c_str()));
  EXPECT_EQ(readFile(dir.file("dst")), "data");
  EXPECT_FALSE(testutil::fileExists(dir.file("src")));
  EXPECT_FALSE(fil_replace(dir.file("src").c_str(), dir.file("dst").c_str()));
  EXPECT_EQ(readFile(dir.file("dst")), "data");
}

struct Arena {
  mem_t m;
  Arena() { mem_init(&m); }
  ~Arena() { mem_done(&m); }
  std::string sizes() const {
    std::string s;
    for (int i = 0; i < m.nblocks; i++) s += std::to_string(m.blocks[i].size) + " ";
    return s;
  }
};

TEST(Arena, BlockSizes) {
  Arena a;
  EXPECT_EQ(a.m.blocks, nullptr);
  char* firstRec = static_cast<char*>(mem_alloc(&a.m, 16));
  for (int i = 1; i < 64; i++) ASSERT_EQ(mem_alloc(&a.m, 16), firstRec + 16 * i);  // contiguous
  EXPECT_EQ(a.sizes(), "1024 ");
  EXPECT_EQ(a.m.blocks[0].next - a.m.blocks[0].base, 1024);
  char* p = static_cast<char*>(mem_alloc(&a.m, 16));
  EXPECT_EQ(a.sizes(), "1024 2048 ");  // blocks grow linearly
  EXPECT_EQ(p, a.m.blocks[1].base);
  EXPECT_EQ(a.m.blocks[0].base, firstRec);  // older blocks keep their records

  // A large request opens a block of its own size.
  Arena b;
  for (int n : {1000, 2000, 5000, 1}) mem_alloc(&b.m, n);
  EXPECT_EQ(b.sizes(), "1024 2048 5000 4096 ");
  // Odd lengths are not aligned; 0 gives the next free byte, -1 nothing.
  Arena c;
  char* t = static_cast<char*>(mem_alloc(&c.m, 3));
  char* r = static_cast<char*>(mem_alloc(&c.m, 16));
  EXPECT_EQ(r, t + 3);
  char* z = static_cast<char*>(mem_alloc(&c.m, 0));
  EXPECT_EQ(z, r + 16);
  EXPECT_EQ(mem_alloc(&c.m, 0), z);
  EXPECT_EQ(mem_alloc(&c.m, -1), nullptr);
  // Clearing drops every block; counting starts again.
  EXPECT_EQ(mem_clear(&b.m), 1);
  EXPECT_EQ(b.m.blocks, nullptr);
  EXPECT_EQ(mem_clear(&b.m), 1);
  mem_alloc(&b.m, 10);
  EXPECT_EQ(b.sizes(), "1024 ");
}

TEST(ErrorOutput, MessagesAndCountingWrappers) {
  const std::string longName(5000, 'n');
  {
    testutil::CaptureFd err(STDERR_FILENO);
    errout("Error: 100% done %s\n");  // written unchanged
    errout(nullptr);
    errorf("Error: Could not open %s.\n", longName.c_str());  // any length
    EXPECT_EQ(err.text(), "Error: 100% done %s\nError: Could not open " + longName + ".\n");
  }
  EXPECT_EQ(strprintf("%s=%d", "n", 42) + strprintf("%s", ""), "n=42");
  EXPECT_EQ(strprintf("%s", longName.c_str()), longName);

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
  efree(estrdup("x"));
  efree(ecalloc(1, 1));
  efree(emalloc(1));
}

TEST(BinIo, LittleEndianInFilesAndInMemory) {
  TempDir dir;
  const std::string p = dir.file("bin");
  FILE* f = fopen(p.c_str(), "wb");
  put_u8(f, 0x1FF);
  put_u24(f, 0xAABBCCDD);
  put_i32(f, -2);
  put_i32(f, 0x01020304);
  fclose(f);
  EXPECT_EQ(testutil::tohex(readFile(p)), "FF DD CC BB FE FF FF FF 04 03 02 01");
  f = fopen(p.c_str(), "rb");
  uint32_t u8 = 0, u24 = 0;
  int32_t i1 = 0, i2 = 0;
  EXPECT_TRUE(get_u8(f, &u8) && get_u24(f, &u24) && get_i32(f, &i1) && get_i32(f, &i2));
  EXPECT_EQ(std::to_string(u8) + " " + std::to_string(u24) + " " + std::to_string(i1) + " " + std::to_string(i2),
            "255 12307677 -2 16909060");
  EXPECT_FALSE(get_u8(f, &u8));
  fclose(f);

  // Short reads leave the value alone.
  writeFile(p, testutil::hex("01 02"));
  f = fopen(p.c_str(), "rb");
  uint32_t u = 77;
  int32_t i = 5;
  EXPECT_FALSE(get_u24(f, &u));
  fseek(f, 0, SEEK_SET);
  EXPECT_FALSE(get_i32(f, &i));
  EXPECT_EQ(u * 10 + static_cast<uint32_t>(i), 775u);
  fclose(f);

  unsigned char b[4] = {};
  store_u24(b, 0x123456);
  EXPECT_EQ(testutil::tohex(std::string(reinterpret_cast<char*>(b), 4)), "56 34 12 00");
  EXPECT_EQ(load_u24(b), 0x123456u);
  store_i32(b, -1000);
  EXPECT_EQ(testutil::tohex(std::string(reinterpret_cast<char*>(b), 4)), "18 FC FF FF");
  EXPECT_EQ(load_i32(b), -1000);
}

// Writes land at their offsets without moving the descriptor; a read that
// meets the end of the file fails and says how far it got.
TEST(FdIO, WholeReadsAndWritesAtOffsets) {
  TempDir dir;
  const std::string path = dir.file("f");
  testutil::writeFile(path, "0123456789");
  int fd = open(path.c_str(), O_RDWR);
  ASSERT_GE(fd, 0);
  ASSERT_TRUE(fd_write_at(fd, "ab", 2, 3));
  ASSERT_TRUE(fd_write_at(fd, "XY", 2, 12));  // past the end: the gap reads as zeros
  EXPECT_EQ(lseek(fd, 0, SEEK_CUR), 0);
  char got[14] = {};
  size_t done = 99;
  EXPECT_TRUE(fd_read_at(fd, got, 14, 0, &done));
  EXPECT_EQ(done, 14u);
  EXPECT_EQ(std::string(got, 14), std::string("012ab56789\0\0XY", 14));
  EXPECT_FALSE(fd_read_at(fd, got, 6, 10, &done));
  EXPECT_EQ(done, 4u);
  EXPECT_TRUE(fd_read_at(fd, got, 0, 100));
  close(fd);
  EXPECT_FALSE(fd_read_at(fd, got, 1, 0)) << "a closed descriptor";
}

}  // namespace
