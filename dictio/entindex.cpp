// Build-or-load decision and the entry index (".eid").

#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <memory>
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
#include "xml/packed.h"
#include "dictio/dictio.h"
#include "dictio/scope.h"
#include "dictio/update.h"

// Back to the state of a fresh object, so that a rebuild after a failed load
// writes the same bytes as a forced build in a new process.
void DictIO::clearTables() {
  map_done(&wordMap);
  map_init(&wordMap, MAP_STR, MAP_BORROW);
  wordMap.data = this;
  map_done(&idMap);
  map_init(&idMap, MAP_INT, 2);
  idMap.data = this;
  mem_clear(&recPool);
  mem_clear(&textPool);
  entPos.clear();
  posEnt.clear();
}

namespace {

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
  UpdateScope scope(this);
  // Steps run in order while nothing has failed: a failed step has marked
  // the update failed, and later steps would build on a broken file.
  auto steps = [&scope](auto... step) { ((scope.failed() ? void() : step()), ...); };
  auto wrd = [this] { makeWrd(); };
  auto wid = [this] { makeWid(); };
  auto saves = [this] {
    saveWrd();
    saveEid();
  };
  if (takeNewFile()) force = 1;
  if (force) {
    steps(wrd, wid, saves);
    return;
  }
  if (!fil_exist(entFile) || !fil_exist(wrdFile)) {
    // A ".wid" file left from before is unreachable from the new word list.
    steps(wrd, saves, wid, saves);
    return;
  }
  if (!(loadWrd() && loadEid())) {
    damagedIndexes();
    return;
  }
  if (!fil_exist(widFile)) {
    steps(wid, saves);
  } else if (!widReachesWords(this)) {
    damagedWid();
  }
}

void DictIO::damagedIndexes() {
  clearTables();
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
  makeFid(1);
}

void DictIO::damagedWid() {
  if (!mayRepair_) {
    clearTables();
    damaged = 1;
    errorf("Error: %s does not match %s; the dictionary is opened without its indexes. Run "
           "lexorn %s to keep the file aside and rebuild it.\n",
           widFile, wrdFile, getName().c_str());
    return;
  }
  std::string kept;
  if (!keepAside({widFile}, &kept)) {
    clearTables();
    return;
  }
  errorf("Error: %s does not match %s; it is kept as %s and rebuilt.\n", widFile, wrdFile,
         kept.c_str());
  UpdateScope scope(this);
  makeWid();
  if (scope.failed()) return;
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
  std::vector<std::string> made;
  for (const std::string& f : present) {
    // A second name for the same file: the rebuild then replaces the file
    // by a rename and this name keeps the damaged version, and a rebuild
    // that fails leaves both.
    std::string to = f + suffix;
    if (link(f.c_str(), to.c_str()) == 0 || fil_copy(f.c_str(), to.c_str())) {
      made.push_back(to);
      continue;
    }
    errorf("Error: Could not keep the damaged file %s as %s (%s); nothing is rebuilt.\n",
           f.c_str(), to.c_str(), strerror(errno));
    for (const std::string& m : made) unlink(m.c_str());
    damaged = 1;
    if (update_) update_->fail();
    return false;
  }
  *kept = listed(made);
  return true;
}

void DictIO::openFailed(const std::string& message) {
  errorf("%s\n", message.c_str());
  errText = message;
  damaged = 1;
  clearTables();
}

// Only loads: every problem is reported once and leaves the object damaged.
// Nothing is created, renamed or written, not even a journal line. A build
// putting a new generation in place meanwhile is waited out.
void DictIO::openReadOnly(const char* name) {
  if (!fil_exist(xmlFile) && !fil_exist(entFile) && !fil_exist(newFile)) {
    openFailed(strprintf("Error: Dictionary %s does not exist.", name));
    return;
  }
  if (fil_exist(newFile)) {
    openFailed(strprintf("Error: Dictionary %s has a pending %s (run lexorn first).", name, newFile));
    return;
  }
  // An update is put in place in a few renames: a short wait outlasts it.
  constexpr int kAttempts = 50;
  for (int attempt = 1;; ++attempt) {
    HeldMessages messages;
    Attempt a = loadGeneration(name);
    if (a != Attempt::Changed) {
      messages.release();
      return;
    }
    clearTables();
    delete dtd;
    dtd = nullptr;
    if (attempt == kAttempts) break;
    usleep(20000);
  }
  openFailed(strprintf("Error: Dictionary %s is being updated (or an update was interrupted: run "
                       "lexorn %s to finish it).",
                       name, name));
}

// One try at loading a whole generation (dictio/update.h): the entry index
// is opened first and kept open, so that its name still standing for it at
// the end, with no update under way, shows every other file read belongs
// to the same generation.
DictIO::Attempt DictIO::loadGeneration(const char* name) {
  std::string base = getName();
  if (IndexUpdate::pending(base)) return Attempt::Changed;
  std::unique_ptr<FILE, int (*)(FILE*)> eid(fopen(eidFile, "rb"), fclose);
  fil_id eidId;
  bool hadEid = eid && fil_identify(eid.get(), &eidId);
  auto changed = [&] {
    fil_id now;
    bool hasEid = fil_identify(eidFile, &now);
    return IndexUpdate::pending(base) || hasEid != hadEid || (hasEid && !(now == eidId));
  };
  auto failed = [&](const std::string& message) {
    if (changed()) return Attempt::Changed;
    if (!message.empty()) errorf("%s\n", message.c_str());
    damaged = 1;
    errText = message.empty() ? strprintf("Error: Dictionary %s is damaged.", name) : message;
    clearTables();
    return Attempt::Failed;
  };
  std::string def = base + ".def";
  const char* files[] = {def.c_str(), entFile, eidFile, wrdFile, widFile};
  for (const char* file : files)
    if (!fil_exist(file))
      return failed(strprintf("Error: Dictionary %s is not built: %s is missing (run lexorn first).", name, file));
  dtd = new DTD();
  dtd->xmlName = xmlFile;
  dtd->dtdName = def;
  // The loaders report damage themselves; one line is enough.
  if (!dtd->loadDTD() || !loadWrd() || !loadEid()) return failed("");
  if (dtd->count == 0 && !entPos.empty())
    return failed(strprintf("Error: %s is damaged: it describes no element.", def.c_str()));
  if (!widReachesWords(this)) return failed(strprintf("Error: %s does not match %s.", widFile, wrdFile));
  if (!fil_identify(entFile, &entId_) || !fil_identify(widFile, &widId_))
    return failed(strprintf("Error: Dictionary %s is not built (run lexorn first).", name));
  std::string cut = lastEntryCut();
  if (!cut.empty()) return failed(cut);
  if (changed()) return Attempt::Changed;
  pinned_ = true;
  return Attempt::Loaded;
}

std::string DictIO::lastEntryCut() const {
  auto last = posEnt.empty() ? posEnt.end() : std::prev(posEnt.end());
  if (last == posEnt.end() || last->first < 0) return std::string();
  std::unique_ptr<FILE, int (*)(FILE*)> ent(fopen(entFile, "rb"), fclose);
  if (!ent) return strprintf("Error: Could not open %s.", entFile);
  long size = fseek(ent.get(), 0, SEEK_END) == 0 ? ftell(ent.get()) : -1;
  // An entry whose packed form is empty may stand at the very end.
  if (last->first == size) return std::string();
  std::string bytes;
  if (fseek(ent.get(), last->first, SEEK_SET) == 0 &&
      XMLcopyPackEntry(ent.get(), const_cast<map_t*>(&idMap), &bytes))
    return std::string();
  return strprintf("Error: %s is damaged: entry %d at offset %d is cut short.", entFile,
                   last->second, last->first);
}

namespace {

bool writeEid(FILE* f, const std::map<int32_t, int32_t>& entPos) {
  put_i32(f, static_cast<int32_t>(entPos.size()));
  for (const auto& [num, off] : entPos) {
    put_u24(f, static_cast<uint32_t>(num));
    put_i32(f, off);
  }
  return ferror(f) == 0;
}

}  // namespace

void DictIO::saveEid() {
  UpdateScope scope(this);
  FILE* f = scope->create(".eid");
  if (f == nullptr) return;
  if (output) printf("Saving %s...\n", eidFile);
  writeEid(f, entPos);
  scope->close(f, ".eid");
}

void DictIO::stageEid() {
  FILE* f = update_->create(".eid");
  if (f != nullptr) {
    writeEid(f, entPos);
    update_->close(f, ".eid");
  }
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
