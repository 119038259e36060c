// DictIO editing side: adding, updating and deleting single entries in place.
// The journal lines, undo levels and trace file they leave are journal.cpp's.
//
// Every change first opens the ".ent" and ".wid" files it needs; when either
// cannot be opened the change is refused before any table, file, journal
// line or undo record is touched, so an edit is either applied whole or not
// at all.
//
// Entry number 0xFFFFFF is never given to an entry: a cancelled occurrence
// code carries that number, and an entry holding it would inherit every
// cancelled occurrence of the index.

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "base/binio.h"
#include "base/error.h"
#include "base/files.h"
#include "base/text.h"
#include "dictio/dictio.h"
#include "dictio/widchain.h"
#include "dtd/dtd.h"
#include "xml/entry.h"
#include "xml/packed.h"
#include "xml/query.h"
#include "xml/rewrite.h"
#include "xml/writer.h"

namespace {

// The code that replaces a cancelled occurrence: entry 0xFFFFFF, tag 0.
constexpr uint32_t kCancelled = 0xFFFFFF;
// The highest number an edit gives to an entry (see the file comment).
constexpr long kMaxEntryNumber = kMaxNumber - 1;
// Offsets are stored as signed 32-bit values.
constexpr long kMaxOffset = INT32_MAX;
// Limit of the key-update re-linking search.
constexpr int kRelinkLimit = 10000;

void mark(DictIO& d, const char* text) {
  if (d.trace) d.trac_save(text);
}

// The ".ent" and ".wid" files of one change, closed on every way out.
class EditFiles {
 public:
  EditFiles() = default;
  EditFiles(const EditFiles&) = delete;
  EditFiles& operator=(const EditFiles&) = delete;
  ~EditFiles() {
    if (ent) fclose(ent);
    if (wid) fclose(wid);
  }

  // Opens ".ent" for reading (and writing with entWrite) and ".wid" for
  // update; false, with the message, when either does not open.
  bool open(const DictIO& d, bool entWrite) {
    ent = fopen(d.entFile, entWrite ? "rb+" : "rb");
    if (!ent) {
      if (entWrite)
        errorf("Error: Could not open %s for updating.\n", d.entFile);
      else
        errorf("Error: Could not open %s.\n", d.entFile);
      return false;
    }
    wid = fopen(d.widFile, "rb+");
    if (!wid) {
      fclose(ent);
      ent = nullptr;
      errorf("Error: Could not open %s for updating.\n", d.widFile);
      return false;
    }
    return true;
  }

  // Lets other readers of the same files see what was written so far.
  void flush() {
    if (ent) fflush(ent);
    if (wid) fflush(wid);
  }

  FILE* ent = nullptr;
  FILE* wid = nullptr;
};

bool hasFiles(const DictIO& d) { return d.editable(); }

long fileEnd(FILE* f) {
  if (fseek(f, 0, SEEK_END) != 0) return -1;
  return ftell(f);
}

bool entryNumberFits(long id) {
  if (id >= 1 && id <= kMaxEntryNumber) return true;
  errorf("Error: Entry number %ld is out of range (1..%ld).\n", id, kMaxEntryNumber);
  return false;
}

// The highest word number in use, computed from idMap: after a speed-up has
// dropped words the count of words is no longer the highest number.
long highestWordNumber(const DictIO& d) {
  long top = 0;
  for (int i = 0; i < d.idMap.cap; i++) {
    const mapel_t& el = d.idMap.els[i];
    if (map_live(el) && map_ival(el.key) > top) top = map_ival(el.key);
  }
  return top;
}

// The words an addition brings into the word list, and the highest word
// number in use when they were collected.
struct NewWords {
  std::vector<std::string> words;
  long top = 0;
  long clipped = 0;  // words cut to kMaxWordLength bytes
};

// The words of `text` not yet in the word list nor in *seen, in order.
void collectNewWords(DictIO& d, const std::string& text, NewWords* fresh, std::set<std::string>* seen) {
  fresh->clipped += forEachWord(text.c_str(), [&](std::string_view w) {
    if (!d.words.find(w) && seen->insert(std::string(w)).second) fresh->words.emplace_back(w);
  });
}

// The same over a tree, in the order the entry pass numbers words:
// children before their parent.
void collectNewWords(DictIO& d, const XMLEntry* e, NewWords* fresh, std::set<std::string>* seen) {
  for (const XMLEntry* c : e->children) collectNewWords(d, c, fresh, seen);
  collectNewWords(d, e->value, fresh, seen);
}

// Refuses (false, with a message) new words whose numbers would pass the
// highest storable word number.
bool checkNewWords(DictIO& d, NewWords* fresh) {
  if (fresh->clipped > 0)
    errorf("Error: %ld words longer than %d bytes were cut to their first %d bytes.\n",
           fresh->clipped, kMaxWordLength, kMaxWordLength);
  if (fresh->words.empty()) return true;
  fresh->top = highestWordNumber(d);
  if (fresh->top + static_cast<long>(fresh->words.size()) <= kMaxNumber) return true;
  errorf("Error: No word numbers left for %zu new words (the highest is %ld).\n",
         fresh->words.size(), kMaxNumber);
  return false;
}

// The new words of e, refused when they cannot be numbered.
bool prepareWords(DictIO& d, const XMLEntry* e, NewWords* fresh) {
  std::set<std::string> seen;
  collectNewWords(d, e, fresh, &seen);
  return checkNewWords(d, fresh);
}

// New words are numbered on from the highest number in use.
void registerWords(DictIO& d, const NewWords& fresh) {
  long n = fresh.top;
  for (const std::string& w : fresh.words) d.words.add(w, static_cast<int32_t>(++n), true);
}

// A tree that can be stored: its upmost element has a tag index, so its
// packed form is not empty and owns its offset.
bool packable(const DictIO& d, const XMLEntry* e) {
  if (d.dtd->getIndex(e->path) > 0) return true;
  errorf("Error: Element %s is not in the structure description.\n", e->path.c_str());
  return false;
}

// Appends the packed bytes of entry id to ".ent" and points the entry maps
// at them. A live entry's previous packed form stays in the file,
// unreferenced; on failure the maps keep pointing at it.
bool appendPacked(DictIO& d, long id, const std::string& bytes, FILE* ent) {
  long o = fileEnd(ent);
  if (o < 0 || o + static_cast<long>(bytes.size()) > kMaxOffset) {
    errorf("Error: %s is too large to grow.\n", d.entFile);
    return false;
  }
  if (fwrite(bytes.data(), 1, bytes.size(), ent) != bytes.size() || fflush(ent) != 0) {
    errorf("Error: Could not write %s.\n", d.entFile);
    return false;
  }
  d.entries.place(static_cast<int32_t>(id), static_cast<int32_t>(o));
  return true;
}

// Appends e packed under number id, its new words numbered first.
bool packEntry(DictIO& d, XMLEntry* e, long id, const NewWords& fresh, FILE* ent) {
  mark(d, ">addXMLPack");
  long o = fileEnd(ent);
  bool ok = o >= 0 && o <= kMaxOffset;
  if (!ok) errorf("Error: %s is too large to grow.\n", d.entFile);
  if (ok) {
    registerWords(d, fresh);
    std::string bytes;
    XMLpackEntry(e, &d.wordMap, d.dtd, &bytes);
    ok = appendPacked(d, id, bytes, ent);
  }
  mark(d, "<addXMLPack");
  return ok;
}

// Positions ent at the packed form of live entry id: 1 when there, 0 when
// the entry has no bytes of its own (an empty packed form shares its offset
// with the entry stored there, or ends the file), -1 when the entry is not
// live or its offset lies beyond the file (reported: a damaged index).
int seekEntry(const DictIO& d, long id, FILE* ent) {
  long o = d.entries.offsetOf(id);
  if (o < 0) return -1;
  if (!d.entries.ownsItsOffset(id)) return 0;
  long end = fileEnd(ent);
  if (o > end) {
    errorf("Error: Entry %ld lies beyond the end of %s.\n", id, d.entFile);
    return -1;
  }
  if (o == end) return 0;
  return fseek(ent, o, SEEK_SET) == 0 ? 1 : -1;
}

// Calls fn(word, code) for every word cell of live entry id; false when the
// entry cannot be found in the file.
template <typename Fn>
bool forEachCell(const DictIO& d, long id, FILE* ent, Fn fn) {
  int at = seekEntry(d, id, ent);
  if (at <= 0) return at == 0;
  long word = 0, tag = 0, pos = 0;
  XMLresetPackPtr();
  while (XMLgetPackPtr(&ent, &word, &tag, &pos)) fn(word, (tag << 24) + id);
  return true;
}

// Adds the occurrence codes of live entry id to the chains. A build stores
// a word once per element tag of an entry, so a repeat is not added again:
// it would count twice against a search limit and survive a speed-up.
void addEntryCells(DictIO& d, long id, EditFiles& f) {
  std::set<std::pair<long, long>> added;
  forEachCell(d, id, f.ent, [&](long word, long code) {
    if (added.insert({word, code}).second) d.addWord(word, code, &f.wid);
  });
}

// Cancels every occurrence code of live entry id; false when the entry
// cannot be found in the file.
bool delEntryCells(DictIO& d, long id, EditFiles& f) {
  return forEachCell(d, id, f.ent, [&](long word, long code) { d.delWord(word, code, &f.wid); });
}

void addCells(DictIO& d, long id, EditFiles& f) {
  mark(d, ">addWords");
  addEntryCells(d, id, f);
  mark(d, "<addWords");
}

bool delCells(DictIO& d, long id, EditFiles& f) {
  mark(d, ">delWords");
  bool ok = delEntryCells(d, id, f);
  mark(d, "<delWords");
  return ok;
}

// The packed bytes of live entry id; empty for an entry whose packed form
// is empty. False when they cannot be read.
bool storedBytes(const DictIO& d, long id, FILE* ent, std::string* bytes) {
  bytes->clear();
  int at = seekEntry(d, id, ent);
  if (at <= 0) return at == 0;
  auto* ids = const_cast<map_t*>(&d.idMap);
  if (XMLcopyPackEntry(ent, ids, bytes)) return true;
  errorf("Error: Entry %ld of %s cannot be read.\n", id, d.entFile);
  return false;
}

// Deletes live entry id with the files already open.
bool removeEntry(DictIO& d, long id, XMLEntry* e, int journalKind, EditFiles& f) {
  if (d.entries.isDeleted(id) || seekEntry(d, id, f.ent) < 0) return false;
  // Unreadable bytes are not kept; undo then stores the tree again.
  std::string packed;
  storedBytes(d, id, f.ent, &packed);
  // The undo copy and the journal need the entry; fetch it when not given.
  XMLEntry stored;
  if (!e) {
    f.flush();
    if (d.getXMLEntry(&stored, id) == 1) e = &stored;
  }
  bool recorded = (d.mode & DIO_UNDO) && !d.undoing;
  d.infoAdd(UNDO_DELETED, static_cast<int>(id), e, nullptr, nullptr);
  if (recorded) d.uinf[d.uinfCount - 1]->packed = packed;
  d.dirty = 1;
  d.JournalAdd(journalKind, e, std::string());
  delCells(d, id, f);
  d.entries.markDeleted(static_cast<int32_t>(id));
  return true;
}

// What an addition can check before opening a file: a tree to store, an
// open dictionary and a number that can be stored.
bool canAdd(const DictIO& d, const XMLEntry* e, long id) {
  return e && hasFiles(d) && entryNumberFits(id);
}

// The checks of an addition that run once its files are open and before
// anything changes; the stamp is added and the new words collected.
bool prepareAdd(DictIO& d, XMLEntry* e, long id, const char* stamp, bool mayExist,
                NewWords* fresh) {
  if (!mayExist && !d.is_eid_del(id)) {
    errorf("Error: Entry %ld already exists.\n", id);
    return false;
  }
  if (!packable(d, e)) return false;
  // An entry given back by undo is restored as it was, without a new stamp.
  if (!d.undoing) d.addStamp(e, stamp);
  return prepareWords(d, e, fresh);
}

void commitAdd(DictIO& d, XMLEntry* e, long id, int journalKind, const NewWords& fresh,
               EditFiles& f) {
  d.infoAdd(UNDO_ADDED, static_cast<int>(id), e, nullptr, nullptr);
  d.dirty = 1;
  d.JournalAdd(journalKind, e, std::string());
  if (packEntry(d, e, id, fresh, f.ent)) addCells(d, id, f);
}

void insertEntry(DictIO& d, XMLEntry* e, long id, int journalKind, const char* stamp) {
  if (!canAdd(d, e, id)) return;
  EditFiles f;
  NewWords fresh;
  if (f.open(d, true) && prepareAdd(d, e, id, stamp, false, &fresh))
    commitAdd(d, e, id, journalKind, fresh, f);
}

// Deletes live entry id and adds e under the same number; false when the
// update was refused before anything changed.
bool replaceEntry(DictIO& d, XMLEntry* e, long id, const char* stamp, EditFiles& f) {
  NewWords fresh;
  if (!f.open(d, true) || !prepareAdd(d, e, id, stamp, true, &fresh)) return false;
  if (!d.is_eid_del(id)) {
    XMLEntry stored;
    XMLEntry* old = d.getXMLEntry(&stored, id) == 1 ? &stored : nullptr;
    mark(d, ">delEntry");
    bool removed = removeEntry(d, id, old, JOURNAL_NONE, f);
    mark(d, "<delEntry");
    if (!removed) return false;
  }
  mark(d, ">addEntry_id");
  commitAdd(d, e, id, JOURNAL_NONE, fresh, f);
  mark(d, "<addEntry_id");
  return true;
}

// The word cells of `text`, its new words numbered first; false when no
// word numbers are left.
bool cellsOf(DictIO& d, const std::string& text, std::string* cells) {
  NewWords fresh;
  std::set<std::string> seen;
  collectNewWords(d, text, &fresh, &seen);
  if (!checkNewWords(d, &fresh)) return false;
  registerWords(d, fresh);
  forEachWord(text.c_str(), [&](std::string_view w) {
    if (wrdrec_t* rec = d.words.find(w)) XMLappendCell(cells, static_cast<uint32_t>(rec->num));
  });
  return true;
}

// Copies the packed entry `in` to *out with the word cells of every link
// element whose text is oldKey replaced by `cells`; below a replaced element
// nothing more is replaced. Every other byte is copied as it is, so the
// entry keeps its other words exactly. True when something was replaced.
bool relinkPacked(DictIO& d, const std::string& in, const std::string& oldKey,
                  const std::string& cells, std::string* out) {
  int depth = 0, replacedAt = -1;
  bool changed = false;
  for (size_t i = 0; i < in.size();) {
    unsigned char b = static_cast<unsigned char>(in[i++]);
    out->push_back(static_cast<char>(b));
    if (b < 0x80) {
      if (depth-- == replacedAt) replacedAt = -1;
      continue;
    }
    ++depth;
    size_t end = i;
    while (end + 3 <= in.size() && (in[end] | in[end + 1] | in[end + 2]) != 0) end += 3;
    std::string own = in.substr(i, end - i);
    bool link = replacedAt < 0 && d.dtd->getType(b - 0x80) == 'L' &&
                XMLcellText(own, &d.idMap) == oldKey;
    out->append(link ? cells : own);
    out->append(3, '\0');
    if (link) replacedAt = depth, changed = true;
    i = end + 3;
  }
  return changed;
}

// Points the links of every entry that named oldKey at newKey. The
// re-linked entry's previous occurrences are cancelled first, so its old
// packed form leaves no live codes behind.
void relink(DictIO& d, const std::string& oldKey, const std::string& newKey, EditFiles& f) {
  if (oldKey.empty()) return;
  f.flush();
  twset hits;
  d.findWordEnt(0, oldKey.c_str(), &hits, nullptr, kRelinkLimit, FWE_LINK);
  std::string cells;
  if (hits.empty() || !cellsOf(d, newKey, &cells)) return;
  for (const twident& h : hits) {
    std::string bytes, relinked;
    if (!storedBytes(d, h.eid, f.ent, &bytes) || !relinkPacked(d, bytes, oldKey, cells, &relinked))
      continue;
    delCells(d, h.eid, f);
    if (appendPacked(d, h.eid, relinked, f.ent)) addCells(d, h.eid, f);
    d.dirty = 1;
  }
}

// Stores the packed bytes an undone deletion kept, under the entry's own
// number; false (nothing changed) when they cannot be stored as they are,
// for instance after a speed-up dropped one of their words.
bool restorePacked(DictIO& d, long id, const std::string& bytes) {
  if (bytes.empty() || !hasFiles(d) || !d.is_eid_del(id)) return false;
  std::string known;
  FILE* in = fmemopen(const_cast<char*>(bytes.data()), bytes.size(), "rb");
  bool whole = in && XMLcopyPackEntry(in, &d.idMap, &known) && known == bytes;
  if (in) fclose(in);
  if (!whole) return false;
  EditFiles f;
  if (!f.open(d, true)) return false;
  mark(d, ">addEntry_id");
  d.dirty = 1;
  if (appendPacked(d, id, bytes, f.ent)) addCells(d, id, f);
  mark(d, "<addEntry_id");
  return true;
}

// Collects the (path, value) pairs of link elements below node whose target
// entry does not exist.
using LinkList = std::vector<std::pair<std::string, std::string>>;
void findDeadLinks(DictIO& d, const XMLEntry* node, LinkList* dead) {
  if (d.dtd->getType(node->path) == 'L') {
    XMLEntry target;
    if (d.getXMLEntryByKey(&target, node->value) < 0) {
      dead->emplace_back(node->path, node->value);
      return;
    }
  }
  for (const XMLEntry* c : node->children) findDeadLinks(d, c, dead);
}

}  // namespace

long DictIO::addEntry(XMLEntry* e, int journalKind, const char* stamp) {
  mark(*this, ">addEntry");
  if (entPos.size() >= static_cast<size_t>(kMaxEntryNumber)) {
    errorf("Error: No entry numbers left.\n");
    mark(*this, "<addEntry");
    return -1;
  }
  long id;
  do {
    id = rand() & 0xFFFFFF;
  } while (id == 0 || id > kMaxEntryNumber || entPos.count(static_cast<int32_t>(id)));
  addEntry(e, static_cast<int>(id), journalKind, stamp);
  mark(*this, "<addEntry");
  return is_eid_del(id) ? -1 : id;
}

void DictIO::addEntry(XMLEntry* e, int id, int journalKind, const char* stamp) {
  mark(*this, ">addEntry_id");
  insertEntry(*this, e, id, journalKind, stamp);
  mark(*this, "<addEntry_id");
}

void DictIO::delEntry(int id, XMLEntry* e, int journalKind) {
  mark(*this, ">delEntry");
  if (!is_eid_del(id) && hasFiles(*this)) {
    EditFiles f;
    if (f.open(*this, false)) removeEntry(*this, id, e, journalKind, f);
  }
  mark(*this, "<delEntry");
}

int DictIO::updEntry(XMLEntry* e, int id, int journalKind, const std::string& oldKey,
                     const char* stamp) {
  mark(*this, ">updEntry");
  EditFiles f;
  if (canAdd(*this, e, id) && replaceEntry(*this, e, id, stamp, f)) {
    JournalAdd(journalKind, e, oldKey);
    if (journalKind == JOURNAL_UPD_KEY) relink(*this, oldKey, getKeyValue(e), f);
  }
  mark(*this, "<updEntry");
  return id;
}

int DictIO::remlinks_entr(XMLEntry* node, XMLEntry* e) {
  if (!node || !e || !dtd) return 0;
  LinkList dead;
  findDeadLinks(*this, node, &dead);
  // Removal waits until the walk is over: node may lie inside e.
  for (const auto& [path, value] : dead)
    if (path != e->path) XMLdelTreeByValue(e, path, value);
  return dead.empty() ? 0 : 1;
}

long DictIO::addXMLPack(XMLEntry* e, long id) {
  mark(*this, ">addXMLPack");
  long result = -1;
  NewWords fresh;
  if (e && hasFiles(*this) && entryNumberFits(id)) {
    FILE* ent = fopen(entFile, "rb+");
    if (!ent) {
      errorf("Error: Could not open %s for updating.\n", entFile);
    } else {
      if (packable(*this, e) && prepareWords(*this, e, &fresh)) {
        // packEntry writes its own markers; this call's come from here.
        int saved = trace;
        trace = 0;
        if (packEntry(*this, e, id, fresh, ent)) result = id;
        trace = saved;
      }
      fclose(ent);
    }
  }
  mark(*this, "<addXMLPack");
  return result;
}

void DictIO::addWords(int id) {
  mark(*this, ">addWords");
  if (!hasFiles(*this)) return;
  EditFiles f;
  if (!f.open(*this, false) || id == -1) return;
  addEntryCells(*this, id, f);
  mark(*this, "<addWords");
}

long DictIO::addWord(long num, long code, FILE** wid) {
  mark(*this, ">addWord");
  auto* r = static_cast<wrdrec_t*>(map_get(&idMap, map_ikey(num)));
  if (!r) return 0;
  mark(*this, r->word);
  long end = fileEnd(*wid);
  if (end < 0 || end > kMaxOffset - 12) {
    errorf("Error: %s is too large to grow.\n", widFile);
    return 0;
  }
  if (r->tailLink < 0) {
    r->chunk = static_cast<int32_t>(end);
  } else {
    // The last chunk's link must be there and still end the chain.
    int32_t link = -1;
    if (r->tailLink > end - 4 || fseek(*wid, r->tailLink, SEEK_SET) != 0 || !get_i32(*wid, &link) ||
        link != 0) {
      errorf("Error: Damaged chain of the word %s in %s.\n", r->word, widFile);
      return 0;
    }
    fseek(*wid, r->tailLink, SEEK_SET);
    put_i32(*wid, static_cast<int32_t>(end));
    fseek(*wid, end, SEEK_SET);
  }
  put_i32(*wid, 1);
  put_i32(*wid, static_cast<int32_t>(code));
  put_i32(*wid, 0);
  r->tailLink = static_cast<int32_t>(end + 8);
  mark(*this, "<addWord");
  return r->tailLink;
}

void DictIO::delWords(int id) {
  mark(*this, ">delWords");
  if (!hasFiles(*this)) return;
  EditFiles f;
  if (!f.open(*this, false) || is_eid_del(id)) return;
  delEntryCells(*this, id, f);
  mark(*this, "<delWords");
}

void DictIO::delWord(long num, long code, FILE** wid) {
  mark(*this, ">delWord");
  auto* r = static_cast<wrdrec_t*>(map_get(&idMap, map_ikey(num)));
  if (r) {
    mark(*this, r->word);
    // The walk reads the file directly: earlier writes must be out first.
    fflush(*wid);
    std::vector<long> found;
    WidChain chain(*wid, widFile);
    // A damaged chain is reported by the walk; the codes met before the
    // damage are still cancelled.
    chain.walk(r->chunk, [&](int32_t c, long offset) {
      if (c == static_cast<int32_t>(code)) found.push_back(offset);
      return true;
    });
    for (long offset : found) {
      fseek(*wid, offset, SEEK_SET);
      put_i32(*wid, static_cast<int32_t>(kCancelled));
    }
    fflush(*wid);
  }
  mark(*this, "<delWord");
}

void DictIO::addStamp(XMLEntry* e, const char* stamp) {
  if (!stampPath || !e || !dtd) return;
  std::string text;
  if (stamp) {
    text = stamp;
  } else {
    char who[256];
    char when[11];
    text = std::string(get_name(who)) + " " + get_date(when);
  }
  XMLaddTagDTD(&e, stampPath, text, dtd);
}

void DictIO::undoRecord(const uinf_t& r) {
  if (r.kind == UNDO_ADDED) {
    delEntry(r.id, r.entry, JOURNAL_NONE);
  } else if (r.kind == UNDO_DELETED && !restorePacked(*this, r.id, r.packed) && r.entry) {
    addEntry(r.entry, r.id, JOURNAL_NONE, nullptr);
  }
}

bool DictIO::editable() const {
  if (!dtd || !entFile || !widFile) {
    errorf("Error: Dictionary is not open.\n");
    return false;
  }
  if (readOnly()) {
    errorf("Error: Dictionary %s is open read-only.\n", getName().c_str());
    return false;
  }
  if (damaged) {
    errorf("Error: Dictionary %s is damaged; it cannot be edited.\n", getName().c_str());
    return false;
  }
  return true;
}
