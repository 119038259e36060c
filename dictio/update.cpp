#include "dictio/update.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "base/error.h"
#include "base/files.h"

namespace {

// The order in which staged index files are put in place: the entry index
// last, as the mark that the whole generation is there.
const char* const kOrder[] = {".def", ".ent", ".wid", ".wrd", ".eid"};

bool exists(const std::string& path) {
  struct stat st;
  return lstat(path.c_str(), &st) == 0;
}

bool isDirectory(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// The name a new version of `name` is written to: beside the file a link
// stands for, so that the rename replaces the target and the link stays.
std::string tempOf(const std::string& name) { return fil_tempname(fil_real(name)); }

bool renameOver(const std::string& from, const std::string& to) {
  if (rename(from.c_str(), to.c_str()) == 0) return true;
  errorf("Error: Could not rename %s to %s (%s).\n", from.c_str(), to.c_str(), strerror(errno));
  return false;
}

// Keeps `from` as `orig`, replacing an older backup.
bool keepAs(const std::string& from, const std::string& orig) {
  unlink(orig.c_str());
  if (fil_keep_as(from.c_str(), orig.c_str())) return true;
  errorf("Error: Could not keep %s as %s.\n", from.c_str(), orig.c_str());
  return false;
}

// One step of a commit record (see update.h). Steps are safe to run again:
// each acts only while what it moves is still there.
bool runStep(const std::string& base, const std::string& step) {
  std::string xml = fil_real(base + ".xml");
  if (step.rfind("file ", 0) == 0) {
    std::string target = fil_real(base + step.substr(5));
    std::string tmp = fil_tempname(target);
    return !exists(tmp) || renameOver(tmp, target);
  }
  if (step.rfind("orig ", 0) == 0) {
    if (!exists(fil_tempname(xml))) return true;
    return keepAs(fil_real(base + step.substr(5)), base + ".xml.orig");
  }
  if (step == "new") return !exists(base + ".new") || renameOver(base + ".new", xml);
  if (step == "drop-new") return unlink((base + ".new").c_str()) == 0 || errno == ENOENT;
  errorf("Error: %s holds an unknown step (%s).\n", IndexUpdate::recordName(base).c_str(), step.c_str());
  return false;
}

}  // namespace

IndexUpdate::IndexUpdate(std::string base) : base_(std::move(base)) {}

IndexUpdate::~IndexUpdate() {
  if (!done_) abandon();
}

std::string IndexUpdate::recordName(const std::string& base) { return base + ".upd"; }

std::string IndexUpdate::temp(const char* suffix) const { return tempOf(file(suffix)); }

bool IndexUpdate::staged(const char* suffix) const {
  for (const std::string& s : staged_)
    if (s == suffix) return true;
  return false;
}

std::string IndexUpdate::current(const char* suffix) const {
  if (staged(suffix)) return temp(suffix);
  if (takeNew_ && std::string(suffix) == ".xml") return file(".new");
  return file(suffix);
}

PassFile IndexUpdate::read(const char* suffix) {
  PassFile f = PassFile::read(current(suffix));
  if (!f) failed_ = true;
  return f;
}

PassFile IndexUpdate::create(const char* suffix, bool readable, bool buffered) {
  PassFile f = tryCreate(suffix, readable, buffered);
  if (!f) {
    errorf("Error: Could not open %s for writing.\n", temp(suffix).c_str());
    failed_ = true;
  }
  return f;
}

PassFile IndexUpdate::tryCreate(const char* suffix, bool readable, bool buffered) {
  PassFile f = PassFile::create(temp(suffix), readable, buffered);
  if (!f) return f;
  // A new version keeps the permissions of the file it replaces.
  fil_same_mode(f.get(), fil_real(file(suffix)).c_str());
  if (!staged(suffix)) staged_.push_back(suffix);
  return f;
}

bool IndexUpdate::close(PassFile& f, const char* suffix, bool written) {
  errno = 0;
  bool closed = f.close();
  if (closed && written) return true;
  const char* why = errno != 0 ? strerror(errno) : "a write failed";
  errorf("Error: Could not write %s (%s); nothing is changed.\n", file(suffix).c_str(), why);
  failed_ = true;
  return false;
}

void IndexUpdate::keepOriginal(const char* from) { origFrom_ = from; }

void IndexUpdate::takeNew() { takeNew_ = true; }

std::vector<std::string> IndexUpdate::steps() const {
  std::vector<std::string> out;
  if (staged(".xml")) {
    if (!origFrom_.empty()) out.push_back("orig " + origFrom_);
    out.push_back("file .xml");
    if (takeNew_) out.push_back("drop-new");
  } else if (takeNew_) {
    out.push_back("new");
  }
  for (const char* s : kOrder)
    if (staged(s)) out.push_back(std::string("file ") + s);
  return out;
}

bool IndexUpdate::writeRecord(const std::vector<std::string>& steps) const {
  std::string record = recordName(base_);
  std::string tmp = fil_tempname(record);
  FILE* f = fil_create(tmp.c_str(), false);
  bool ok = f != nullptr;
  for (const std::string& s : steps)
    if (ok) ok = fprintf(f, "%s\n", s.c_str()) > 0;
  if (f != nullptr && !fil_close(f)) ok = false;
  if (ok && rename(tmp.c_str(), record.c_str()) != 0) ok = false;
  if (ok) return true;
  unlink(tmp.c_str());
  errorf("Error: Could not write %s; nothing is changed.\n", record.c_str());
  return false;
}

// Every rename of the commit must be able to succeed: each staged file is
// there, and no name to be replaced is a directory.
bool IndexUpdate::targetsReplaceable() const {
  if (takeNew_ && isDirectory(fil_real(file(".xml")))) {
    errorf("Error: %s is a directory; nothing is changed.\n", fil_real(file(".xml")).c_str());
    return false;
  }
  for (const std::string& s : staged_) {
    std::string target = fil_real(file(s.c_str()));
    if (!exists(temp(s.c_str()))) {
      errorf("Error: %s has gone; nothing is changed.\n", temp(s.c_str()).c_str());
      return false;
    }
    if (isDirectory(target)) {
      errorf("Error: %s is a directory; nothing is changed.\n", target.c_str());
      return false;
    }
  }
  return true;
}

bool IndexUpdate::commit() {
  if (done_) return !failed_;
  if (failed_ || !targetsReplaceable()) {
    failed_ = true;
    abandon();
    return false;
  }
  std::vector<std::string> list = steps();
  done_ = true;
  if (list.empty()) return true;
  if (!writeRecord(list)) {
    failed_ = true;
    done_ = false;
    abandon();
    return false;
  }
  for (const std::string& s : list) {
    if (runStep(base_, s)) continue;
    failed_ = true;  // the record stays: the next writing run finishes it
    return false;
  }
  unlink(recordName(base_).c_str());
  return true;
}

void IndexUpdate::abandon() {
  for (const std::string& s : staged_) unlink(temp(s.c_str()).c_str());
  staged_.clear();
  done_ = true;
}

bool IndexUpdate::pending(const std::string& base) { return exists(recordName(base)); }

bool IndexUpdate::finish(const std::string& base) {
  std::string record = recordName(base);
  FILE* f = fopen(record.c_str(), "rb");
  if (f == nullptr) return !exists(record);
  std::vector<std::string> lines;
  char line[256];
  while (fgets(line, sizeof line, f) != nullptr) {
    std::string s = line;
    if (!s.empty() && s.back() == '\n') s.pop_back();
    if (!s.empty()) lines.push_back(s);
  }
  bool readOk = ferror(f) == 0;
  fclose(f);
  if (!readOk) {
    errorf("Error: Could not read %s.\n", record.c_str());
    return false;
  }
  for (const std::string& s : lines)
    if (!runStep(base, s)) {
      errorf("Error: Could not finish the interrupted update of %s.\n", base.c_str());
      return false;
    }
  unlink(record.c_str());
  return true;
}

void IndexUpdate::removeStrays(const std::string& base) {
  for (const char* s : {".xml", ".def", ".ent", ".eid", ".wrd", ".wid"}) {
    std::string tmp = tempOf(base + s);
    if (exists(tmp)) unlink(tmp.c_str());
  }
  std::string recordTmp = fil_tempname(recordName(base));
  if (exists(recordTmp)) unlink(recordTmp.c_str());
}
