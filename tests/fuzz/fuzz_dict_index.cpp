// A built dictionary whose stored files come from the fuzzer.
//
// Once per process a small dictionary is built in a temporary directory (with
// several chunks per word, a deleted entry and an entry added afterwards, so
// that every kind of record is on disk). Each input replaces some of its
// files: the first byte says which (bit 0 ".ent", 1 ".eid", 2 ".wrd",
// 3 ".wid", 4 ".def"), and the rest holds their new contents in that order,
// separated by kSeparator; a file whose bit is clear keeps its built bytes.
//
// The dictionary is then opened read-only and fully, looked up in every way
// and sped up. Besides the sanitizers' own checks:
//  - an open that finds the files damaged says so with an "Error: " line;
//  - an undamaged full open holds consistent tables, and the read-only and
//    the full open judge the same files alike and answer every lookup alike;
//  - a read-only open, lookups, and anything tried on a damaged dictionary
//    leave every file as it was;
//  - a speed-up that reports nothing changes no search result, and leaves
//    files that a read-only open loads with the same results.
//
// With LEXORN_FUZZ_WRITE_SEEDS=DIR in the environment the harness writes its
// seed inputs (made from the built files) into DIR and exits.
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "base/map.h"
#include "dictio/dictio.h"
#include "dtd/dtd.h"
#include "fuzz_check.h"
#include "xml/entry.h"
#include "xml/reader.h"
#include "xml/writer.h"

namespace {

const std::string kSeparator = "\n=#=\n";
const char* const kSuffixes[] = {".ent", ".eid", ".wrd", ".wid", ".def"};
constexpr int kFiles = 5;

const char kDef[] =
    "0 E\t1\t1\tN\n"
    "  1 HW\t1\t1\tK\n"
    "  1 POS\t0\t1\tL\n"
    "  1 DEF\t0\t-1\tN\n"
    "  1 SEE\t0\t-1\tR\tE.HW\n"
    "  1 EX\t0\t1\tN\n"
    "    2 T\t0\t-1\tI\n";
const char kXml[] =
    "<E><HW>cat</HW><POS>noun</POS><DEF>a small animal, (see dog)</DEF><SEE>dog</SEE></E>\n"
    "<E><HW>dog</HW><POS>noun</POS><DEF>a loyal animal</DEF><SEE>cat</SEE></E>\n"
    "<E><HW>run</HW><POS>verb</POS><DEF>to move fast</DEF><EX><T>cats run</T><T>dogs "
    "run</T></EX></E>\n"
    "<E><HW>cats</HW><POS>noun</POS><DEF>more than one cat</DEF></E>\n";

std::string g_dir;
std::string g_base;
std::string g_xml;            // the dictionary text as the build left it
std::string g_built[kFiles];  // the built bytes of each file

std::string readAll(const std::string& path) {
  std::string out;
  FILE* f = fopen(path.c_str(), "rb");
  if (f == nullptr) return out;
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, f)) > 0) out.append(buf, n);
  fclose(f);
  return out;
}

void writeAll(const std::string& path, const std::string& bytes) {
  FILE* f = fopen(path.c_str(), "wb");
  FUZZ_CHECK(f != nullptr);
  if (!bytes.empty()) FUZZ_CHECK(fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size());
  FUZZ_CHECK(fclose(f) == 0);
}

std::vector<std::string> listDir() {
  std::vector<std::string> names;
  DIR* d = opendir(g_dir.c_str());
  if (d == nullptr) return names;
  while (const dirent* e = readdir(d)) {
    std::string n = e->d_name;
    if (n != "." && n != "..") names.push_back(n);
  }
  closedir(d);
  std::sort(names.begin(), names.end());
  return names;
}

void removeDir() {
  if (g_dir.empty()) return;
  for (const std::string& n : listDir()) unlink((g_dir + "/" + n).c_str());
  rmdir(g_dir.c_str());
}

// Every file of the directory with its bytes.
using Snapshot = std::vector<std::pair<std::string, std::string>>;
Snapshot snapshot() {
  Snapshot s;
  for (const std::string& n : listDir()) s.emplace_back(n, readAll(g_dir + "/" + n));
  return s;
}

// The files that differ between two snapshots, for the failure message.
const std::string* bytesOf(const Snapshot& s, const std::string& name) {
  for (const auto& file : s)
    if (file.first == name) return &file.second;
  return nullptr;
}

std::string changes(const Snapshot& a, const Snapshot& b) {
  std::string out;
  for (const auto& file : a) {
    const std::string* now = bytesOf(b, file.first);
    if (now == nullptr) {
      out += file.first + " removed\n";
    } else if (*now != file.second) {
      out += file.first + " changed (" + std::to_string(file.second.size()) + " -> " +
             std::to_string(now->size()) + " bytes)\n";
    }
  }
  for (const auto& file : b)
    if (bytesOf(a, file.first) == nullptr) out += file.first + " created\n";
  return out;
}

#define CHECK_UNCHANGED(before)                           \
  do {                                                    \
    const Snapshot now = snapshot();                      \
    FUZZ_CHECK_MSG(now == (before), changes(before, now)); \
  } while (0)

// What the library writes to standard error while it is being watched.
class ErrCapture {
 public:
  ErrCapture() : file_(tmpfile()) { FUZZ_CHECK(file_ != nullptr); }
  void start() {
    fflush(stderr);
    const int fd = fileno(file_);
    FUZZ_CHECK(ftruncate(fd, 0) == 0);
    lseek(fd, 0, SEEK_SET);
    saved_ = dup(2);
    FUZZ_CHECK(saved_ >= 0 && dup2(fd, 2) == 2);
  }
  std::string stop() {
    fflush(stderr);
    FUZZ_CHECK(dup2(saved_, 2) == 2);
    close(saved_);
    const int fd = fileno(file_);
    struct stat st;
    FUZZ_CHECK(fstat(fd, &st) == 0);
    std::string text(static_cast<size_t>(st.st_size), '\0');
    if (!text.empty()) FUZZ_CHECK(pread(fd, text.data(), text.size(), 0) == st.st_size);
    return text;
  }

 private:
  FILE* file_;
  int saved_ = -1;
};

ErrCapture* g_err = nullptr;

bool reported(const std::string& err) { return err.find("Error: ") != std::string::npos; }

std::string show(const twset& s, bool withTag) {
  std::string out;
  for (const twident& h : s) {
    out += std::to_string(h.eid);
    if (withTag) out += ":" + std::to_string(h.tid);
    out += " ";
  }
  return out;
}

std::string render(const XMLEntry* e) { return XMLprintEntry(e, true, false); }

struct Results {
  std::string hits;  // what a speed-up must not change
  std::string all;   // everything else seen, kept for the record
};

// Every kind of lookup, over the first tags and a few words of the built
// dictionary (and numbers around its entries).
Results lookups(DictIO& d) {
  Results r;
  const int tags = d.dtd != nullptr ? std::min(d.dtd->count, 6) : 0;
  const char* words[] = {"cat", "dog", "animal", "a", "nowhere"};
  for (int t = 0; t <= tags + 1; ++t) {
    for (const char* w : words) {
      for (int flags : {0, static_cast<int>(FWE_LINK)}) {
        twset s;
        const int rc = d.findWordEnt(t, w, &s, nullptr, 0, flags);
        FUZZ_CHECK(rc >= 1 && rc <= 3);
        for (const twident& h : s) FUZZ_CHECK(!d.is_eid_del(h.eid));
        r.hits += std::to_string(t) + w + std::to_string(flags) + ":" + (rc == 1 ? show(s, true) : "") + "\n";
        if (flags != 0) continue;
        // The same word limited and restricted to what it found. (A limited
        // walk may stop before a damaged part of the chain that made the
        // whole search fail.)
        twset limited = s;
        d.findWordEnt(t, w, &limited, &limited, 1, flags);
        if (rc == FWE_DONE) FUZZ_CHECK(limited.size() <= s.size());
      }
    }
    for (const char* p : {"ca.*", "["}) {
      twset s;
      const int rc = d.findWordEnt(t, p, &s, nullptr, 0, FWE_PATTERN | FWE_LINK);
      FUZZ_CHECK(rc >= 1 && rc <= 4);
      r.hits += std::to_string(t) + p + ":" + (rc == 1 ? show(s, false) : "") + "\n";
    }
    twset two;
    const int rc = d.findWordEnt(t, "a animal", &two, nullptr, 0, FWE_LINK);
    r.all += std::to_string(rc) + ":" + show(two, true) + "\n";
  }
  for (int t = 0; t <= tags + 1; ++t) {
    const std::string path = d.dtd != nullptr ? d.dtd->getTag(t) : std::string();
    std::vector<std::string> found;
    d.findWordsByTag(path, &found);
    std::sort(found.begin(), found.end());
    r.hits += path + ":";
    for (const std::string& w : found) r.hits += w + " ";
    r.hits += "\n";
    char small[16];
    d.findWordsByTag(path, small, sizeof small);
  }

  // Numbers around the entries, and the first and last the entry index stores.
  std::vector<long> numbers = {-1, 0, 1, 2, 3, 4, 5, 6, 7, 8, kMaxNumber, kMaxNumber + 1};
  const std::string eid = readAll(d.eidFile);
  if (eid.size() >= 11) {
    auto number = [&](size_t at) {
      const auto* p = reinterpret_cast<const unsigned char*>(eid.data()) + at;
      return static_cast<long>(p[0] | p[1] << 8 | p[2] << 16);
    };
    numbers.push_back(number(4));
    numbers.push_back(number(eid.size() - 7));
  }
  XMLEntry* first = nullptr;
  for (long n : numbers) {
    auto* e = new XMLEntry;
    const int ok = d.getXMLEntry(e, n);
    r.all += std::to_string(n) + ":" + std::to_string(ok) + ":" + render(e) + "\n";
    XML x;
    d.getXML(&x, n);
    if (ok && first == nullptr) {
      first = e;
    } else {
      delete e;
    }
  }
  // The key and reference lookups, from the first entry that loaded.
  if (first != nullptr) {
    twset s;
    d.query("e.see", first, &s, nullptr, 0, 0);
    d.query("E.HW", "cat", first, &s, &s, 0, FWE_LINK);
    r.all += d.getKeyValue(first) + ":" + d.getValue("E.DEF", first, 1) + "\n";
    delete first;
  }
  XMLEntry byKey;
  r.all += std::to_string(d.getXMLEntryByKey(&byKey, "cat")) + "\n";

  // Sequential reading ends: every load consumes input or fails.
  if (d.reset()) {
    const long size = static_cast<long>(readAll(d.entFile).size());
    XMLEntry e;
    long loads = 0;
    while (d.getXMLEntry(&e) != 0) {
      FUZZ_CHECK(++loads <= size + 1);
      r.all += std::to_string(d.getActID()) + ":" + render(&e) + "\n";
    }
    d.seek(1);
    XML x;
    r.all += std::to_string(d.getXML(&x)) + ":" + render(x.getXMLEntry()) + "\n";
    d.close();
  }
  for (int dir = 0; dir < 5; ++dir) r.all += std::to_string(d.getIDMove(dir)) + " ";
  return r;
}

struct TableCheck {
  DictIO* d;
  long widSize;
};

int checkWord(void* key, void* val, void* arg) {
  auto* rec = static_cast<wrdrec_t*>(val);
  auto* c = static_cast<TableCheck*>(arg);
  FUZZ_CHECK(rec != nullptr && rec->word != nullptr && rec->word[0] != '\0');
  FUZZ_CHECK(map_ikey(rec->num) == key && rec->num >= 1 && rec->num <= kMaxNumber);
  FUZZ_CHECK(map_get(&c->d->wordMap, rec->word) == rec);
  if (rec->chunk != -1) FUZZ_CHECK(rec->chunk >= 0 && rec->tailLink + 4L <= c->widSize);
  return 1;
}

// What an undamaged open holds: the two word tables agree, every chain
// ends inside the ".wid" file, every entry offset lies in the ".ent" file.
void checkTables(DictIO& d) {
  FUZZ_CHECK(d.dtd != nullptr);
  FUZZ_CHECK(map_size(&d.wordMap) == map_size(&d.idMap));
  TableCheck c{&d, static_cast<long>(readAll(d.widFile).size())};
  map_forall(&d.idMap, checkWord, &c);
  const long entSize = static_cast<long>(readAll(d.entFile).size());
  for (const auto& entry : d.entPos) {
    FUZZ_CHECK(entry.first >= 1 && entry.first <= kMaxNumber);
    FUZZ_CHECK(entry.second == -1 || (entry.second >= 0 && entry.second <= entSize));
  }
  for (const auto& at : d.posEnt) FUZZ_CHECK(d.entPos.at(at.second) == at.first);
}

// Splits an input into the contents of the files it replaces.
void prepare(const uint8_t* data, size_t size) {
  for (const std::string& n : listDir()) unlink((g_dir + "/" + n).c_str());
  const int mask = size > 0 ? data[0] : 0;
  std::string rest = size > 0 ? std::string(reinterpret_cast<const char*>(data) + 1, size - 1) : "";
  size_t at = 0;
  bool more = size > 0;
  writeAll(g_base + ".xml", g_xml);
  for (int i = 0; i < kFiles; ++i) {
    std::string bytes = g_built[i];
    if ((mask >> i) & 1) {
      bytes.clear();
      if (more) {
        const size_t sep = rest.find(kSeparator, at);
        bytes = rest.substr(at, sep == std::string::npos ? std::string::npos : sep - at);
        if (sep == std::string::npos) {
          more = false;
        } else {
          at = sep + kSeparator.size();
        }
      }
    }
    writeAll(g_base + kSuffixes[i], bytes);
  }
}

void buildOnce() {
  const char* tmp = getenv("TMPDIR");
  std::string pattern = std::string(tmp && *tmp ? tmp : P_tmpdir) + "/lexorn-fuzz-dict-XXXXXX";
  if (mkdtemp(pattern.data()) == nullptr) {
    perror("mkdtemp");
    abort();
  }
  g_dir = pattern;
  g_base = g_dir + "/d";
  atexit(removeDir);
  writeAll(g_base + ".xml", kXml);
  writeAll(g_base + ".def", kDef);
  {
    DictIO d;
    d.setXMLName((g_base + ".xml").c_str());
    d.output = 0;
    d.setMaxEnt(3);  // small batches: several chunks per word
    d.dtd = new DTD(g_base + ".xml", false, 0, nullptr);
    d.makeFid(1);
    d.delEntry(2, nullptr, 0);
    XML x;
    FUZZ_CHECK(x.getEntry(std::string(
        "<E><HW>pig</HW><POS>noun</POS><DEF>a pink animal</DEF><SEE>cat</SEE></E>")));
    d.addEntry(x.root, 9, 0, nullptr);
    FUZZ_CHECK(!d.is_eid_del(9) && d.is_eid_del(2));
  }
  g_xml = readAll(g_base + ".xml");
  for (int i = 0; i < kFiles; ++i) g_built[i] = readAll(g_base + kSuffixes[i]);
  // The built dictionary opens undamaged.
  DictIO check(g_base.c_str(), 0, DIO_READONLY);
  FUZZ_CHECK(!check.damaged && check.size() == 5);
}

void writeSeeds(const std::string& dir) {
  auto seed = [&](const std::string& name, int mask) {
    std::string bytes(1, static_cast<char>(mask));
    bool firstFile = true;
    for (int i = 0; i < kFiles; ++i) {
      if (!((mask >> i) & 1)) continue;
      if (!firstFile) bytes += kSeparator;
      bytes += g_built[i];
      firstFile = false;
    }
    writeAll(dir + "/" + name, bytes);
  };
  seed("built", 0);
  seed("indexes", 0x0F);
  seed("all", 0x1F);
  for (int i = 0; i < kFiles; ++i) seed(std::string("only") + kSuffixes[i], 1 << i);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzzcheck::init();
  buildOnce();
  g_err = new ErrCapture();
  if (const char* seeds = getenv("LEXORN_FUZZ_WRITE_SEEDS")) {
    writeSeeds(seeds);
    exit(0);
  }
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  prepare(data, size);
  const Snapshot before = snapshot();

  // Read-only: loads, reports, and writes nothing whatever is asked of it.
  bool roDamaged = false;
  Results r0;
  {
    g_err->start();
    DictIO ro(g_base.c_str(), 0, DIO_READONLY);
    const std::string err = g_err->stop();
    roDamaged = ro.damaged != 0;
    if (ro.damaged) FUZZ_CHECK_MSG(reported(err), err);
    if (!ro.damaged) {
      // It maps the files instead of filling the tables; its answers are
      // held to the full open's below.
      FUZZ_CHECK(ro.dtd != nullptr && ro.dtd->count > 0);
      FUZZ_CHECK(map_size(&ro.wordMap) + map_size(&ro.idMap) == 0 && ro.entPos.empty());
    }
    g_err->start();
    r0 = lookups(ro);
    ro.speedup();
    g_err->stop();
  }
  CHECK_UNCHANGED(before);

  // The full open: all files are there, so it loads and builds nothing.
  g_err->start();
  auto* full = new DictIO(g_base.c_str(), 0, 0);
  std::string err = g_err->stop();
  if (full->damaged) {
    FUZZ_CHECK_MSG(reported(err), err);
  } else {
    checkTables(*full);
  }
  CHECK_UNCHANGED(before);
  g_err->start();
  const Results r1 = lookups(*full);
  g_err->stop();
  CHECK_UNCHANGED(before);
  // With every file present the two opens judge the files alike and, when
  // they load them, answer alike.
  FUZZ_CHECK_MSG((full->damaged != 0) == roDamaged, err);
  if (!roDamaged) {
    FUZZ_CHECK_MSG(r1.hits == r0.hits, "read-only:\n" + r0.hits + "full:\n" + r1.hits);
    FUZZ_CHECK_MSG(r1.all == r0.all, "read-only:\n" + r0.all + "full:\n" + r1.all);
  }

  g_err->start();
  full->speedup();
  err = g_err->stop();
  if (full->damaged) {
    delete full;
    CHECK_UNCHANGED(before);
    return 0;
  }
  if (!reported(err)) {
    g_err->start();
    const Results r2 = lookups(*full);
    err = g_err->stop();
    FUZZ_CHECK_MSG(r2.hits == r1.hits, "before:\n" + r1.hits + "after:\n" + r2.hits);
    delete full;
    full = nullptr;
    if (!reported(err)) {
      g_err->start();
      DictIO again(g_base.c_str(), 0, DIO_READONLY);
      const Results r3 = lookups(again);
      err = g_err->stop();
      FUZZ_CHECK_MSG(!again.damaged, err);
      FUZZ_CHECK_MSG(r3.hits == r1.hits, "before:\n" + r1.hits + "reopened:\n" + r3.hits);
    }
  }
  delete full;
  return 0;
}
