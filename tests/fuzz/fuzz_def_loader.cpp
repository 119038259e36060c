// The ".def" loader over arbitrary file contents. Whatever it accepts must
// be a consistent structure description:
//  - a refused file leaves an empty table and no key;
//  - at most 256 records, levels 0 to 9, every path ending with its name
//    (the whole path for level 0);
//  - the lookups by number and by path agree with the table, and the key is
//    the path of the last 'K' record;
//  - every node of the structure tree stands for a record of the table, and
//    its path is its parent's path + "." + its name;
//  - saving the table and loading it again gives the same table and tree
//    (when every record has a name, the only way the written form can say
//    what was read).
#include <dirent.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "dtd/dtd.h"
#include "fuzz_check.h"

namespace {

std::string g_dir;

void removeDir() {
  if (g_dir.empty()) return;
  for (const char* name : {"d.def", "saved.def"}) unlink((g_dir + "/" + name).c_str());
  rmdir(g_dir.c_str());
}

bool endsWith(const std::string& s, const std::string& tail) {
  return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

void checkNode(const DTD& d, const DTDEntry* node, const DTDEntry* parent, int* nodes) {
  FUZZ_CHECK(++*nodes <= DTD::kMaxTags + 1);
  if (parent != nullptr) {
    FUZZ_CHECK_MSG(node->path == parent->path + "." + node->name,
                   fuzzcheck::printable(node->path) + " under " +
                       fuzzcheck::printable(parent->path));
  } else if (!node->name.empty()) {
    FUZZ_CHECK(node->path == node->name);
  }
  // (The first record of that path may be another one with a dotted name:
  // the table keeps records the tree has no place for.)
  if (parent != nullptr || !node->name.empty())
    FUZZ_CHECK_MSG(d.getIndex(node->path) > 0, fuzzcheck::printable(node->path));
  FUZZ_CHECK(node->count() <= DTDEntry::kMaxChildren);
  for (const DTDEntry* child : node->children) checkNode(d, child, node, nodes);
}

void checkTable(DTD& d) {
  FUZZ_CHECK(d.count >= 0 && d.count <= DTD::kMaxTags);
  int lastKey = -1;
  for (int i = 0; i < d.count; ++i) {
    const DTDTag& t = d.tags[static_cast<size_t>(i)];
    FUZZ_CHECK(t.level >= 0 && t.level < DTD::kMaxLevels);
    FUZZ_CHECK(t.name.size() <= static_cast<size_t>(DTD::kMaxField));
    FUZZ_CHECK_MSG(endsWith(t.path, t.name),
                   fuzzcheck::printable(t.path) + " / " + fuzzcheck::printable(t.name));
    if (t.level == 0) FUZZ_CHECK(t.path == t.name);
    for (char c : t.name) FUZZ_CHECK(static_cast<unsigned char>(c) > 32);

    const int n = i + 1;
    const int found = d.getIndex(t.path);
    FUZZ_CHECK(found >= 1 && found <= n);
    FUZZ_CHECK(d.tags[static_cast<size_t>(found - 1)].path == t.path);
    FUZZ_CHECK(d.tagExist(t.path));
    FUZZ_CHECK(d.getTag(n) == t.path);
    FUZZ_CHECK(d.getType(n) == t.type);
    FUZZ_CHECK(d.getTpar(n) == t.tpar && d.getTpar2(n) == t.tpar2);
    FUZZ_CHECK(d.getMin(n) == (t.min < 0 ? 0 : t.min));
    FUZZ_CHECK(d.getMax(n) == (t.max < 0 ? 10000 : t.max));
    FUZZ_CHECK(d.getType(t.path) == d.tags[static_cast<size_t>(found - 1)].type);
    // Tag codes carry numbers the packed form can hold, and read back.
    bool flag = false;
    const int code = d.tag2Int(t.path, true);
    FUZZ_CHECK(d.int2Tag(code, &flag) == (found <= DTD::kMaxPackedTag ? t.path : ""));
    if (t.type == 'K') lastKey = i;
  }
  FUZZ_CHECK(d.getTag(0).empty() && d.getTag(d.count + 1).empty());
  FUZZ_CHECK(d.getType(0) == '0' && d.getType(d.count + 1) == '0');
  if (lastKey >= 0) {
    FUZZ_CHECK(d.key == d.tags[static_cast<size_t>(lastKey)].path);
  } else {
    FUZZ_CHECK(d.key.empty());
  }
  FUZZ_CHECK(d.root != nullptr);
  int nodes = 0;
  checkNode(d, d.root, nullptr, &nodes);
  // A node found by its path is the node of that path. (The lookup skips
  // empty parts, so a path with one, from a line whose ancestor line is
  // missing, may find the node of the path without it.)
  for (int i = 0; i < d.count; ++i) {
    const std::string& path = d.tags[static_cast<size_t>(i)].path;
    const bool whole = !path.empty() && path.front() != '.' && path.back() != '.' &&
                       path.find("..") == std::string::npos;
    const DTDEntry* node = d.gettree(path);
    if (node != nullptr && whole) FUZZ_CHECK(node->path == path);
  }
}

bool sameTable(const DTD& a, const DTD& b) {
  if (a.count != b.count || a.key != b.key) return false;
  for (int i = 0; i < a.count; ++i) {
    const DTDTag& x = a.tags[static_cast<size_t>(i)];
    const DTDTag& y = b.tags[static_cast<size_t>(i)];
    if (x.name != y.name || x.path != y.path || x.level != y.level || x.min != y.min ||
        x.max != y.max || x.type != y.type)
      return false;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzzcheck::init();
  const char* tmp = getenv("TMPDIR");
  std::string pattern = std::string(tmp && *tmp ? tmp : P_tmpdir) + "/lexorn-fuzz-def-XXXXXX";
  if (mkdtemp(pattern.data()) == nullptr) {
    perror("mkdtemp");
    abort();
  }
  g_dir = pattern;
  atexit(removeDir);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string file = g_dir + "/d.def";
  FILE* f = fopen(file.c_str(), "wb");
  FUZZ_CHECK(f != nullptr);
  if (size > 0) FUZZ_CHECK(fwrite(data, 1, size, f) == size);
  FUZZ_CHECK(fclose(f) == 0);

  DTD d;
  d.setDTDName(file);
  const bool loaded = d.loadDTD();
  if (!loaded) {
    FUZZ_CHECK(d.count == 0 && d.key.empty());
    FUZZ_CHECK(d.root != nullptr && d.root->name.empty() && d.root->count() == 0);
  }
  checkTable(d);

  // Loading again into the same object gives the same table.
  DTD twice = d;
  FUZZ_CHECK(twice.loadDTD() == loaded);
  FUZZ_CHECK(sameTable(d, twice));

  bool named = true;
  for (int i = 0; i < d.count; ++i) named = named && !d.tags[static_cast<size_t>(i)].name.empty();
  if (loaded && named) {
    DTD out = d;
    out.dtdName = g_dir + "/saved.def";
    out.saveDTD();
    DTD back;
    back.setDTDName(out.dtdName);
    FUZZ_CHECK(back.loadDTD());
    checkTable(back);
    FUZZ_CHECK(sameTable(d, back));
    FUZZ_CHECK(d.getString() == back.getString());
  }
  return 0;
}
