// Opening a dictionary: the host's open, which builds what is missing as
// one update, and the read-only open, which only loads one whole generation.

#include <unistd.h>

#include <cstdio>
#include <iterator>
#include <memory>
#include <string>

#include "base/error.h"
#include "base/files.h"
#include "dictio/dictio.h"
#include "dictio/readindex.h"
#include "dictio/update.h"
#include "dtd/dtd.h"
#include "xml/packed.h"

// The host's open: builds what is missing, as one update; a build that
// fails leaves the files as they were and the object damaged.
void DictIO::openFull() {
  if (!finishLeftover(false)) return;
  beginUpdate();
  int force = takeNewFile() ? 1 : 0;
  std::string def = getName() + ".def";
  bool stored = fil_exist(def.c_str()) != 0;
  bool loaded = loadStructure(false, output, on_prog);
  // A stored description that was refused, or names no element while the
  // entry index holds entries, numbers no tag: indexes built or edited
  // with it would hold every entry empty.
  if (stored && (!loaded || (dtd->count == 0 && fil_size(eidFile) > 4))) {
    errText = strprintf("Error: %s is damaged: it describes no element.", def.c_str());
    errorf("%s\n", errText.c_str());
    update_->fail();
  } else if (loaded) {
    makeFid(force);
  }
  if (!commitUpdate() && !damaged) {
    damaged = 1;
    clearTables();
  }
  // The files in place now hold whole entries, as the read-only open asks.
  std::string cut = damaged ? std::string() : lastEntryCut();
  if (!cut.empty()) {
    errorf("%s\n", cut.c_str());
    errText = cut;
    damaged = 1;
    clearTables();
  }
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

// One try at mapping a whole generation (dictio/update.h): the entry index
// is opened first and kept open, so that its name still standing for it at
// the end, with no update under way, and the one mapped being that very
// file, shows every other file mapped belongs to the same generation.
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
  // The description and the index report damage themselves; one line is enough.
  auto index = std::make_unique<ReadIndex>();
  if (!dtd->loadDTD() || !index->open(wrdFile, eidFile, entFile, widFile)) return failed("");
  if (dtd->count == 0 && index->entryCount() > 0)
    return failed(strprintf("Error: %s is damaged: it describes no element.", def.c_str()));
  if (changed() || !(index->eidId() == eidId)) return Attempt::Changed;
  index_ = std::move(index);
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

