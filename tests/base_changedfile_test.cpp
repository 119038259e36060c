// A new version of a file made only when it differs from the old one.
#include "base/changedfile.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "testutil.h"

namespace {

using testutil::readFile;
using testutil::TempDir;
using testutil::writeFile;

// Writes `pieces` through a ChangedFile over `old` (written first unless
// null); returns whether the old version was kept, and in *made the new
// file's bytes ("-" when none was made).
bool rewrite(const TempDir& dir, const std::string* old, const std::vector<std::string>& pieces,
             std::string* made, bool mayKeepOld = true) {
  if (old != nullptr) writeFile(dir.file("old"), *old);
  FILE* out = nullptr;
  bool same = false;
  {
    ChangedFile f(dir.file("old"), [&] { return out = fopen(dir.file("new").c_str(), "wb"); });
    EXPECT_NE(f.stream(), nullptr);
    for (const std::string& p : pieces) fwrite(p.data(), 1, p.size(), f.stream());
    same = f.finish(mayKeepOld);
    EXPECT_FALSE(f.failed());
  }
  if (out != nullptr) fclose(out);
  *made = out != nullptr ? readFile(dir.file("new")) : "-";
  remove(dir.file("new").c_str());
  return same;
}

std::string text(size_t n, unsigned seed) {
  std::string s(n, '\0');
  for (size_t i = 0; i < n; ++i) s[i] = static_cast<char>('a' + (i * 7 + seed + i / 97) % 26);
  return s;
}

TEST(ChangedFile, TheSameBytesMakeNoFile) {
  TempDir dir;
  const std::string old = text(300000, 1);  // several buffers' worth
  std::string made;
  EXPECT_TRUE(rewrite(dir, &old, {old.substr(0, 10), old.substr(10, 200000), old.substr(200010)}, &made));
  EXPECT_EQ(made, "-");
  const std::string empty;
  EXPECT_TRUE(rewrite(dir, &empty, {}, &made));
  EXPECT_EQ(made, "-");
  // Asked to, it makes the file even so.
  EXPECT_FALSE(rewrite(dir, &old, {old}, &made, false));
  EXPECT_TRUE(made == old);
}

TEST(ChangedFile, AnyDifferenceMakesTheWholeNewVersion) {
  TempDir dir;
  const std::string old = text(200000, 2);
  auto changedAt = [&](size_t at) {
    std::string s = old;
    s[at] = static_cast<char>(s[at] ^ 1);
    return s;
  };
  std::string made;
  for (size_t at : {size_t{0}, size_t{65535}, size_t{65536}, size_t{123457}, old.size() - 1}) {
    SCOPED_TRACE(at);
    const std::string want = changedAt(at);
    EXPECT_FALSE(rewrite(dir, &old, {want.substr(0, 70000), want.substr(70000)}, &made));
    EXPECT_TRUE(made == want);
  }
  for (const std::string& want : {old.substr(0, old.size() - 1), old + "x", std::string()}) {
    SCOPED_TRACE(want.size());
    EXPECT_FALSE(rewrite(dir, &old, {want}, &made));
    EXPECT_TRUE(made == want);
  }
  // No old version: everything is new.
  remove(dir.file("old").c_str());
  EXPECT_FALSE(rewrite(dir, nullptr, {"abc"}, &made));
  EXPECT_EQ(made, "abc");
}

TEST(ChangedFile, ANewFileThatCannotBeMadeFailsTheWrites) {
  TempDir dir;
  writeFile(dir.file("old"), "abc");
  ChangedFile f(dir.file("old"), [] { return static_cast<FILE*>(nullptr); });
  ASSERT_NE(f.stream(), nullptr);
  fputs("abd", f.stream());
  EXPECT_FALSE(f.finish(true));
  EXPECT_TRUE(f.failed());
}

}  // namespace
