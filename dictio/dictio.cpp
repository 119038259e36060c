// DictIO: construction, the file set, the top of the build, persistence
// shortcuts, journal BEGIN/END lines and the date, time and user texts.

#include "dictio/dictio.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>

#include "base/error.h"
#include "base/files.h"
#include "base/text.h"
#include "dictio/scope.h"
#include "dictio/update.h"
#include "dtd/dtd.h"
#include "xml/entry.h"

namespace {

// The suffixes in the order asocFiles assigns them.
constexpr const char* kXml = ".xml";
constexpr const char* kWrd = ".wrd";
constexpr const char* kEnt = ".ent";
constexpr const char* kEid = ".eid";
constexpr const char* kWid = ".wid";
constexpr const char* kNew = ".new";
constexpr const char* kJournal = ".journal";
constexpr const char* kWar = ".war";

// Every name is base + suffix; the longest suffix decides the base limit.
bool baseNameFits(const char* base) {
  size_t n = strlen(base);
  if (n <= DictIO::kMaxBaseName) return true;
  errorf("Error: Dictionary base name %s is longer than %zu characters.\n", base,
         DictIO::kMaxBaseName);
  return false;
}

char* joinName(const char* base, const char* suffix) {
  std::string s = std::string(base) + suffix;
  return estrdup(s.c_str());
}

void releaseName(char** name) {
  if (*name) efree(*name);
  *name = nullptr;
}

void appendJournalLine(const char* path, const char* what) {
  if (!path) return;
  FILE* f = fopen(path, "a");
  if (!f) return;  // a journal that cannot be opened is passed over
  char when[20];
  char who[256];
  fprintf(f, "%s %s %s\n", get_datetime(when), get_name(who), what);
  fclose(f);
}

bool localNow(struct tm* out) {
  time_t now = time(nullptr);
  return localtime_r(&now, out) != nullptr;
}

// Copies `text` into a caller buffer of `size` bytes, cut to fit.
char* copyCut(char* buf, size_t size, const char* text) {
  size_t n = strnlen(text, size - 1);
  memcpy(buf, text, n);
  buf[n] = '\0';
  return buf;
}

}  // namespace

DictIO::DictIO() {
  map_init(&wordMap, MAP_STR, MAP_BORROW);
  wordMap.data = this;
  map_init(&idMap, MAP_INT, 2);
  idMap.data = this;
  mem_init(&textPool);
  mem_init(&recPool);
}

DictIO::DictIO(const char* name, int out, int mode) : DictIO() {
  this->mode = mode;
  trace = (mode & DIO_TRACE) ? 1 : 0;
  bool named = asocFiles(name ? name : "");
  output = (out && io_output) ? 1 : 0;
  if (!named) {
    // Reported by asocFiles; without names there is nothing to open or journal.
    errText = "Error: Dictionary base name is too long.";
    damaged = 1;
    return;
  }
  if (readOnly()) {
    openReadOnly(name);
    return;
  }
  if (!fil_exist(xmlFile) && !fil_exist(entFile) && !fil_exist(newFile)) {
    errText = strprintf("Error: Dictionary %s does not exist.", name);
    errorf("%s\n", errText.c_str());
  } else {
    openFull();
    if (damaged && errText.empty()) errText = strprintf("Error: Dictionary %s is damaged.", name);
    std::string stamp = dtd ? dtd->getTag(1) + ".STAMP" : std::string();
    if (dtd && dtd->getIndex(stamp)) stampPath = estrdup(stamp.c_str());
  }
  JournalBegin();
}

// The host's open: builds what is missing, as one update; a build that
// fails leaves the files as they were and the object damaged.
void DictIO::openFull() {
  if (!finishLeftover(false)) return;
  beginUpdate();
  int force = takeNewFile() ? 1 : 0;
  if (loadStructure(false, output, on_prog)) makeFid(force);
  if (!commitUpdate() && !damaged) {
    damaged = 1;
    clearTables();
  }
}

DictIO::~DictIO() {
  sync();
  JournalEnd();
  freeFiles();
  if (stampPath) efree(stampPath);
  stampPath = nullptr;
  // The tables go before the pools their keys and values point into.
  map_done(&idMap);
  map_done(&wordMap);
  mem_done(&recPool);
  mem_done(&textPool);
  for (int i = 0; i < kUndoLevels; i++)
    if (uinf[i]) del_uinf(i);
  posEnt.clear();
  entPos.clear();
  close();
  delete dtd;
  dtd = nullptr;
}

int DictIO::rebuild(int force) {
  if (!xmlFile) {
    errorf("Error: Dictionary has no name.\n");
    return 0;
  }
  // A ".new" file alone does not make a dictionary for the builder.
  if (!fil_exist(xmlFile) && !fil_exist(entFile)) {
    errorf("Error: Dictionary %s does not exist.\n", getName().c_str());
    return 0;
  }
  if (!finishLeftover(true)) {
    if (update_) update_->fail();
    updateFailed_ = true;
    return 1;
  }
  UpdateScope scope(this);
  bool taken = takeNewFile();
  mayRepair_ = true;
  if (loadStructure(force != 0, 1, nullptr)) makeFid(taken ? 1 : force);
  mayRepair_ = false;
  return 1;
}

// A waiting replacement is read in place of the XML file, from the
// structure pass on, so that a structure inferred now describes the entries
// about to be indexed; it becomes the XML file when the update is put in
// place, and stays waiting when the update fails. It forces the index build.
bool DictIO::takeNewFile() {
  if (!update_ || !fil_exist(newFile)) return false;
  update_->takeNew();
  return true;
}

bool DictIO::finishLeftover(bool removeStrays) {
  std::string base = getName();
  if (IndexUpdate::pending(base) && !IndexUpdate::finish(base)) {
    damaged = 1;
    errText = strprintf("Error: An interrupted update of %s could not be finished.", base.c_str());
    return false;
  }
  if (removeStrays) IndexUpdate::removeStrays(base);
  return true;
}

void DictIO::beginUpdate() {
  update_ = std::make_unique<IndexUpdate>(getName());
  updateFailed_ = false;
  keptOriginal_ = false;
}

bool DictIO::updateFailed() const { return updateFailed_ || (update_ && update_->failed()); }

bool DictIO::commitUpdate() {
  if (!update_) return !updateFailed_;
  // Every generation replaces the entry index last: readers take its
  // replacement as the sign that other files may have changed.
  if (!update_->failed() && !update_->empty() && !update_->staged(".eid")) stageEid();
  std::unique_ptr<IndexUpdate> done = std::move(update_);
  bool ok = done->commit();
  if (!ok) updateFailed_ = true;
  if (ok && keptOriginal_)
    errorf("Warning: Entries that could not be read were left out of %s; "
           "the original is kept as %s.orig.\n",
           xmlFile, xmlFile);
  return ok;
}

bool DictIO::loadStructure(bool force, int io, void (*progress)(void*, double)) {
  delete dtd;
  dtd = new DTD();
  dtd->xmlName = xmlFile;
  dtd->dtdName = getName() + ".def";
  dtd->io = io;
  dtd->progress = progress;
  if (!force && fil_exist(dtd->dtdName.c_str())) {
    if (dtd->loadDTD()) return true;
    update_->fail();
    return false;
  }
  return inferStructure();
}

// Infers the structure from the dictionary file (or the replacement being
// taken in) and stages both the file's rewritten form and the new ".def".
bool DictIO::inferStructure() {
  std::string from = update_->current(".xml");
  // The C library takes a buffer size only along with a buffer; both files
  // are closed before these go out of scope.
  std::vector<char> inBuf(1 << 16), outBuf(1 << 16);
  FILE* in = fopen(from.c_str(), "rb");
  if (in == nullptr) {
    errorf("Error: Could not open %s.\n", from.c_str());
    update_->fail();
    return false;
  }
  FILE* out = update_->create(".xml");
  if (out == nullptr) {
    fclose(in);
    return false;
  }
  setvbuf(in, inBuf.data(), _IOFBF, inBuf.size());
  setvbuf(out, outBuf.data(), _IOFBF, outBuf.size());
  DTD::Inferred r = dtd->infer(in, fil_size(from.c_str()), out);
  fclose(in);
  if (!update_->close(out, ".xml") || !r.read || !r.written) {
    update_->fail();
    return false;
  }
  if (r.dropped) {
    update_->keepOriginal(from == xmlFile ? ".xml" : ".new");
    keptOriginal_ = true;
  }
  FILE* def = update_->create(".def");
  if (def == nullptr) return false;
  bool written = dtd->writeDef(def);
  if (!update_->close(def, ".def") || !written) {
    update_->fail();
    return false;
  }
  return true;
}

void DictIO::sync() {
  if (!dirty || !writable()) return;
  UpdateScope scope(this);
  saveWrd();
  saveEid();
  dirty = 0;
}

void DictIO::refresh() {
  if (!xmlFile) return;
  loadWrd();
  loadEid();
  dirty = 0;
}

void DictIO::reload() {
  if (!xmlFile) return;
  loadWrd();
  loadEid();
}

bool DictIO::asocFiles(const char* base) {
  freeFiles();
  if (!baseNameFits(base)) return false;
  xmlFile = joinName(base, kXml);
  wrdFile = joinName(base, kWrd);
  entFile = joinName(base, kEnt);
  eidFile = joinName(base, kEid);
  widFile = joinName(base, kWid);
  newFile = joinName(base, kNew);
  journalFile = joinName(base, kJournal);
  warFile = joinName(base, kWar);
  return true;
}

void DictIO::freeFiles() {
  releaseName(&xmlFile);
  releaseName(&wrdFile);
  releaseName(&entFile);
  releaseName(&eidFile);
  releaseName(&widFile);
  releaseName(&journalFile);
  releaseName(&newFile);
  releaseName(&warFile);
}

void DictIO::renFiles(const char* base) {
  // Refused before anything moves, so the set is never left half renamed.
  if (!baseNameFits(base)) return;
  const struct {
    const char* current;
    const char* suffix;
  } moves[] = {{xmlFile, kXml}, {wrdFile, kWrd},         {entFile, kEnt}, {eidFile, kEid},
               {widFile, kWid}, {journalFile, kJournal}, {warFile, kWar}};
  for (const auto& m : moves) {
    if (!m.current || !fil_exist(m.current)) continue;
    std::string to = std::string(base) + m.suffix;
    rename(m.current, to.c_str());  // a failed rename is not reported
  }
  asocFiles(base);
}

bool DictIO::setName(const char* base) { return asocFiles(base); }

std::string dictBaseName(const std::string& arg) {
  size_t dot = arg.rfind('.');
  return dot == std::string::npos ? arg : arg.substr(0, dot);
}

bool DictIO::setXMLName(const char* name) { return asocFiles(dictBaseName(name).c_str()); }

std::string DictIO::getName() const { return xmlFile ? fnNoExt(xmlFile) : std::string(); }

std::string DictIO::getXMLName() const { return xmlFile ? std::string(xmlFile) : std::string(); }

void DictIO::setDTD(DTD* d) {
  DTD* copy = new DTD();
  *copy = *d;
  copy->ent2str();
  delete dtd;  // after the copy: d may be the current dtd
  dtd = copy;
}

void DictIO::close() {
  if (curFile) fclose(curFile);
  curFile = nullptr;
}

void DictIO::del_uinf(int i) {
  if (i < 0 || i >= kUndoLevels) return;
  uinf_t* node = uinf[i];
  while (node) {
    uinf_t* next = node->next;
    delete node->entry;
    if (node->text1) efree(node->text1);
    if (node->text2) efree(node->text2);
    delete node;
    node = next;
  }
  uinf[i] = nullptr;
  uinfID[i] = -1;
}

void DictIO::JournalBegin() {
  if ((mode & DIO_JOURNAL) && !readOnly()) appendJournalLine(journalFile, "BEGIN");
}

void DictIO::JournalEnd() {
  if ((mode & DIO_JOURNAL) && !readOnly()) appendJournalLine(journalFile, "END");
}

char* get_datetime(char* buf) {
  struct tm t = {};
  localNow(&t);
  std::string s = strprintf("%02d/%02d/%02d %02d:%02d:%02d", t.tm_year + 1900, t.tm_mon + 1,
                            t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec);
  return copyCut(buf, 20, s.c_str());
}

char* get_date(char* buf) {
  struct tm t = {};
  localNow(&t);
  std::string s = strprintf("%02d/%02d/%02d", t.tm_year + 1900, t.tm_mon + 1, t.tm_mday);
  return copyCut(buf, 11, s.c_str());
}

char* get_name_from(char* buf, const char* login) {
  copyCut(buf, 256, login);
  for (char* p = buf; *p; p++)
    if (*p == ' ') *p = '_';
  return buf;
}

char* get_name(char* buf) {
  uid_t uid = getuid();
  const struct passwd* pw = getpwuid(uid);
  if (pw && pw->pw_name && *pw->pw_name) return get_name_from(buf, pw->pw_name);
  // No user database entry: the numeric id still tells the users apart.
  std::string id = std::to_string(static_cast<unsigned long>(uid));
  return get_name_from(buf, id.c_str());
}
