// Build-or-load decision and the entry index (".eid").

#include <cstdint>
#include <cstdio>

#include "base/binio.h"
#include "base/error.h"
#include "base/files.h"
#include "base/map.h"
#include "base/mem.h"
#include "base/progress.h"
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
  if (fil_exist(newFile)) {
    if (!fil_replace(newFile, xmlFile)) errorf("Error: Could not rename %s to %s.\n", newFile, xmlFile);
    force = 1;
  }
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
  bool loaded = loadWrd() && loadEid();
  if (!loaded) {
    if (!fil_exist(xmlFile)) return;
    errorf("Error: Could not load the indexes of %s; rebuilding them from %s.\n",
           getName().c_str(), xmlFile);
    resetTables(this);
    buildAll(this);
    return;
  }
  bool widOk = fil_exist(widFile);
  if (widOk && !widReachesWords(this)) {
    errorf("Error: %s does not match %s; rebuilding it.\n", widFile, wrdFile);
    widOk = false;
  }
  if (!widOk) {
    makeWid();
    saveWrd();
    saveEid();
  }
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
