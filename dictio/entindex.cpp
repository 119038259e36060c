// Build-or-load decision and the entry index (".eid").

#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "base/binio.h"
#include "base/error.h"
#include "base/files.h"
#include "base/map.h"
#include "base/mem.h"
#include "base/progress.h"
#include "base/text.h"
#include "dtd/dtd.h"
#include "dictio/dictio.h"

namespace {

// Back to the state of a fresh object, so that a rebuild after a failed load
// writes the same bytes as a forced build in a new process.
void resetTables(DictIO* d) {
  map_done(&d->wordMap);
  map_init(&d->wordMap, MAP_STR, MAP_BORROW);
  d->wordMap.data = d;
  map_done(&d->idMap);
  map_init(&d->idMap, MAP_INT, 2);
  d->idMap.data = d;
  mem_clear(&d->recPool);
  mem_clear(&d->textPool);
  d->entPos.clear();
  d->posEnt.clear();
}

void buildAll(DictIO* d) {
  d->makeWrd();
  d->makeWid();
  d->saveWrd();
  d->saveEid();
}

struct TailCheck {
  long widSize;
  bool ok;
};

int forall_tail_check(void*, void* val, void* arg) {
  auto* rec = static_cast<wrdrec_t*>(val);
  auto* check = static_cast<TailCheck*>(arg);
  if (rec->chunk >= 0 && static_cast<long>(rec->tailLink) + 4 > check->widSize) {
    check->ok = false;
    return 0;
  }
  return 1;
}

// Every chain the word list names must end inside the ".wid" file.
bool widReachesWords(DictIO* d) {
  TailCheck check{fil_size(d->widFile), true};
  map_forall(&d->wordMap, forall_tail_check, &check);
  return check.ok;
}

bool eidDamaged(FILE* f, DictIO* d, const char* what, long value) {
  errorf("Error: %s is damaged: %s (%ld).\n", d->eidFile, what, value);
  fclose(f);
  d->entPos.clear();
  d->posEnt.clear();
  return false;
}

}  // namespace

void DictIO::makeFid(int force) {
  if (takeNewFile()) force = 1;
  if (force) {
    buildAll(this);
    return;
  }
  if (!fil_exist(entFile) || !fil_exist(wrdFile)) {
    makeWrd();
    saveWrd();
    saveEid();
    // A ".wid" file left from before is unreachable from the new word list.
    makeWid();
    saveWrd();
    saveEid();
    return;
  }
  if (!(loadWrd() && loadEid())) {
    damagedIndexes();
    return;
  }
  if (!fil_exist(widFile)) {
    makeWid();
    saveWrd();
    saveEid();
  } else if (!widReachesWords(this)) {
    damagedWid();
  }
}

void DictIO::damagedIndexes() {
  resetTables(this);
  if (!mayRepair_) {
    damaged = 1;
    errorf("Error: Dictionary %s is damaged; it is opened without its indexes. Run lexorn %s to "
           "keep the damaged files aside and rebuild them.\n",
           getName().c_str(), getName().c_str());
    return;
  }
  if (!fil_exist(xmlFile)) {
    damaged = 1;
    errorf("Error: The indexes of %s are damaged and %s is missing; nothing is rebuilt.\n",
           getName().c_str(), xmlFile);
    return;
  }
  std::string kept;
  if (!keepAside({entFile, eidFile, wrdFile, widFile}, &kept)) return;
  errorf("Error: Could not load the indexes of %s; the files are kept as %s, and the indexes "
         "are rebuilt from %s.\n",
         getName().c_str(), kept.c_str(), xmlFile);
  buildAll(this);
}

void DictIO::damagedWid() {
  if (!mayRepair_) {
    resetTables(this);
    damaged = 1;
    errorf("Error: %s does not match %s; the dictionary is opened without its indexes. Run "
           "lexorn %s to keep the file aside and rebuild it.\n",
           widFile, wrdFile, getName().c_str());
    return;
  }
  std::string kept;
  if (!keepAside({widFile}, &kept)) {
    resetTables(this);
    return;
  }
  errorf("Error: %s does not match %s; it is kept as %s and rebuilt.\n", widFile, wrdFile,
         kept.c_str());
  makeWid();
  saveWrd();
  saveEid();
}

namespace {

// "a", "a and b", "a, b and c".
std::string listed(const std::vector<std::string>& names) {
  std::string out;
  for (size_t i = 0; i < names.size(); ++i) {
    if (i > 0) out += i + 1 == names.size() ? " and " : ", ";
    out += names[i];
  }
  return out;
}

// NAME.damaged, then NAME.damaged.2, .3, ...: the first suffix free for
// every file, so a set kept aside earlier is never replaced.
std::string freeSuffix(const std::vector<std::string>& files) {
  for (int n = 1;; ++n) {
    std::string suffix = n == 1 ? ".damaged" : ".damaged." + std::to_string(n);
    bool free = true;
    for (const std::string& f : files) free = free && access((f + suffix).c_str(), F_OK) != 0;
    if (free) return suffix;
  }
}

}  // namespace

bool DictIO::keepAside(const std::vector<const char*>& files, std::string* kept) {
  std::vector<std::string> present;
  for (const char* f : files)
    if (access(f, F_OK) == 0) present.push_back(f);
  std::string suffix = freeSuffix(present);
  std::vector<std::string> moved;
  for (const std::string& f : present) {
    std::string to = f + suffix;
    if (rename(f.c_str(), to.c_str()) == 0) {
      moved.push_back(to);
      continue;
    }
    errorf("Error: Could not keep the damaged file %s as %s (%s); nothing is rebuilt.\n",
           f.c_str(), to.c_str(), strerror(errno));
    // Back as they were: a half-moved set would look like a missing file.
    for (size_t i = 0; i < moved.size(); ++i) rename(moved[i].c_str(), present[i].c_str());
    damaged = 1;
    return false;
  }
  *kept = listed(moved);
  return true;
}

void DictIO::openFailed(const std::string& message) {
  errorf("%s\n", message.c_str());
  errText = message;
  damaged = 1;
  resetTables(this);
}

// Only loads: every problem is reported once and leaves the object damaged.
// Nothing is created, renamed or written, not even a journal line.
void DictIO::openReadOnly(const char* name) {
  if (!fil_exist(xmlFile) && !fil_exist(entFile) && !fil_exist(newFile)) {
    openFailed(strprintf("Error: Dictionary %s does not exist.", name));
    return;
  }
  std::string def = fnNoExt(xmlFile) + ".def";
  const char* files[] = {def.c_str(), entFile, eidFile, wrdFile, widFile};
  for (const char* file : files) {
    if (fil_exist(file)) continue;
    openFailed(strprintf("Error: Dictionary %s is not built: %s is missing (run lexorn first).", name, file));
    return;
  }
  if (fil_exist(newFile)) {
    openFailed(strprintf("Error: Dictionary %s has a pending %s (run lexorn first).", name, newFile));
    return;
  }
  dtd = new DTD();
  dtd->xmlName = xmlFile;
  dtd->dtdName = def;
  if (!dtd->loadDTD()) {
    damaged = 1;
    errText = strprintf("Error: %s is damaged.", def.c_str());
    return;
  }
  if (dtd->count == 0) {
    openFailed(strprintf("Error: %s is damaged: it describes no element.", def.c_str()));
    return;
  }
  // The loaders report damage themselves; one line is enough.
  if (!loadWrd() || !loadEid()) {
    damaged = 1;
    errText = strprintf("Error: Dictionary %s is damaged.", name);
    resetTables(this);
    return;
  }
  if (!widReachesWords(this))
    openFailed(strprintf("Error: %s does not match %s.", widFile, wrdFile));
}

void DictIO::saveEid() {
  FILE* f = fopen(eidFile, "wb");
  if (f == nullptr) {
    errorf("Error: Could not open %s for writing.\n", eidFile);
    return;
  }
  if (output) printf("Saving %s...\n", eidFile);
  put_i32(f, static_cast<int32_t>(entPos.size()));
  for (const auto& [num, off] : entPos) {
    put_u24(f, static_cast<uint32_t>(num));
    put_i32(f, off);
  }
  bool failed = ferror(f) != 0;
  if (fclose(f) != 0) failed = true;
  if (failed) errorf("Error: Could not write %s.\n", eidFile);
}

bool DictIO::loadEid() {
  FILE* f = fopen(eidFile, "rb");
  if (f == nullptr) {
    errorf("Error: Could not open %s.\n", eidFile);
    return false;
  }
  entPos.clear();
  posEnt.clear();
  if (output) printf("Loading %s...\n", eidFile);
  long size = 0;
  if (fseek(f, 0, SEEK_END) == 0) size = ftell(f);
  fseek(f, 0, SEEK_SET);
  int32_t n = 0;
  if (!get_i32(f, &n)) return eidDamaged(f, this, "too short for its record count", size);
  if (n < 0 || (size - 4) % 7 != 0 || (size - 4) / 7 != n)
    return eidDamaged(f, this, "the record count does not match the file size", n);
  long entSize = fil_exist(entFile) ? fil_size(entFile) : -1;
  ProgressMeter progress(n, false, on_prog, on_prog_bar, 0.8, 0.2);
  uint32_t prev = 0;
  for (int32_t i = 0; i < n; ++i) {
    uint32_t num = 0;
    int32_t off = 0;
    if (!get_u24(f, &num) || !get_i32(f, &off))
      return eidDamaged(f, this, "a record runs past the end of the file", i);
    if (num == 0 || num <= prev)
      return eidDamaged(f, this, "an entry number is zero, repeated or out of order", num);
    if (off < -1 || (entSize >= 0 && off > entSize))
      return eidDamaged(f, this, "an offset lies outside the entry file", off);
    entPos.emplace_hint(entPos.end(), static_cast<int32_t>(num), off);
    prev = num;
    progress.at(i);
  }
  fclose(f);
  makeREid();
  return true;
}

void DictIO::makeREid() {
  posEnt.clear();
  // Ascending numbers: where several share an offset, the highest one wins.
  for (const auto& [num, off] : entPos) posEnt[off] = num;
}

int DictIO::is_eid_del(long num) const {
  auto it = entPos.find(static_cast<int32_t>(num));
  return (it == entPos.end() || it->second < 0) ? 1 : 0;
}
