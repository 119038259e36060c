// DictIO: construction, the file set, persistence shortcuts, journal
// BEGIN/END lines and the date, time and user texts.

#include "dictio/dictio.h"
#include "dictio/readindex.h"

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

DictIO::DictIO() = default;

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

DictIO::~DictIO() {
  sync();
  JournalEnd();
  freeFiles();
  if (stampPath) efree(stampPath);
  stampPath = nullptr;
  for (int i = 0; i < kUndoLevels; i++)
    if (uinf[i]) del_uinf(i);
  close();
  delete dtd;
  dtd = nullptr;
}

void DictIO::sync() {
  if (!dirty || !writable()) return;
  UpdateScope scope(this);
  saveWrd();
  saveEid();
  dirty = 0;
}

void DictIO::refresh() {
  if (!xmlFile || readOnly()) return;
  loadWrd();
  loadEid();
  dirty = 0;
}

void DictIO::reload() {
  if (!xmlFile || readOnly()) return;
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
