// The entry index file (".eid"): saving and loading the entry maps.

#include <cstdint>
#include <cstdio>

#include "base/binio.h"
#include "base/error.h"
#include "base/files.h"
#include "base/mapfile.h"
#include "base/passfile.h"
#include "base/progress.h"
#include "dictio/dictio.h"
#include "dictio/readindex.h"
#include "dictio/scope.h"
#include "dictio/update.h"

namespace {

bool eidDamaged(DictIO* d, const char* what, long value) {
  errorf("Error: %s is damaged: %s (%ld).\n", d->eidFile, what, value);
  d->entries.clear();
  return false;
}

void writeEid(FILE* f, const OrdMap& entPos) {
  put_i32(f, static_cast<int32_t>(entPos.size()));
  for (const auto& [num, off] : entPos) {
    put_u24(f, static_cast<uint32_t>(num));
    put_i32(f, off);
  }
}

}  // namespace

void DictIO::saveEid() {
  UpdateScope scope(this);
  PassFile f = scope->create(".eid");
  if (!f) return;
  if (output) printf("Saving %s...\n", eidFile);
  writeEid(f.get(), entPos);
  scope->close(f, ".eid");
}

// The entry index every update ends with, written without a word.
void DictIO::stageEid() {
  PassFile f = update_->create(".eid");
  if (!f) return;
  writeEid(f.get(), entPos);
  update_->close(f, ".eid");
}

bool DictIO::loadEid() {
  MappedFile f;
  if (!f.open(eidFile, true)) return false;
  entries.clear();
  if (output) printf("Loading %s...\n", eidFile);
  const unsigned char* p = f.data();
  const long size = static_cast<long>(f.size());
  if (size < 4) return eidDamaged(this, "too short for its record count", size);
  const int32_t n = load_i32(p);
  if (n < 0 || (size - 4) % 7 != 0 || (size - 4) / 7 != n)
    return eidDamaged(this, "the record count does not match the file size", n);
  long entSize = fil_exist(entFile) ? fil_size(entFile) : -1;
  ProgressMeter progress(n, false, on_prog, on_prog_bar, 0.8, 0.2);
  entPos.reserve(static_cast<size_t>(n));
  uint32_t prev = 0;
  for (int32_t i = 0; i < n; ++i) {
    const uint32_t num = load_u24(p + 4 + 7 * i);
    const int32_t off = load_i32(p + 7 + 7 * i);
    if (num == 0 || num <= prev)
      return eidDamaged(this, "an entry number is zero, repeated or out of order", num);
    if (off < -1 || (entSize >= 0 && off > entSize))
      return eidDamaged(this, "an offset lies outside the entry file", off);
    entPos.emplace_hint(entPos.end(), static_cast<int32_t>(num), off);
    prev = num;
    progress.at(i);
  }
  makeREid();
  return true;
}

void DictIO::makeREid() { entries.rebuildReverse(); }

int DictIO::is_eid_del(long num) const {
  if (index_) return index_->offsetOf(num) < 0 ? 1 : 0;
  return entries.isDeleted(num) ? 1 : 0;
}

long DictIO::size() const { return index_ ? index_->entryCount() : static_cast<long>(entPos.size()); }
