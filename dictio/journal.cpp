// The records the editing side leaves: journal lines, undo levels and
// transactions, and the trace file of operation markers.

#include <unistd.h>

#include <cstdio>
#include <string>

#include "base/error.h"
#include "base/files.h"
#include "dictio/dictio.h"
#include "xml/entry.h"
#include "xml/writer.h"

namespace {

const char kTraceFile[] = "pelmar.tra";

void mark(DictIO& d, const char* text) {
  if (d.trace) d.trac_save(text);
}

// The kind's text of a journal line, built whole however long the entry;
// empty for a kind that writes no line.
std::string journalText(DictIO& d, int kind, XMLEntry* e, const std::string& text) {
  static const char* const kPrefix[] = {nullptr,    "ADD_NEW ", "ADD_EXP ",
                                        "UPD_ENT ", nullptr,    "DEL_ENT "};
  if (kind == JOURNAL_UPD_KEY)
    return "UPD_KEY " + text + " => " + (e ? d.getKeyValue(e) : std::string());
  if (kind < JOURNAL_ADD_NEW || kind > JOURNAL_DEL_ENT) return std::string();
  return kPrefix[kind] + (e ? XMLprintEntry(e, true, false) : std::string());
}

}  // namespace

void DictIO::JournalAdd(int kind, XMLEntry* e, const std::string& text) {
  if (!(mode & DIO_JOURNAL) || !journalFile || readOnly()) return;
  std::string what = journalText(*this, kind, e, text);
  if (what.empty()) return;
  FILE* f = fopen(journalFile, "a");
  if (!f) return;  // a journal that cannot be opened is passed over
  char when[20];
  char who[256];
  std::string line = std::string(get_datetime(when)) + " " + get_name(who) + " " + what + "\n";
  fwrite(line.data(), 1, line.size(), f);
  fclose(f);
}

void DictIO::infoAdd(int kind, int id, XMLEntry* e, const char* text1, const char* text2) {
  if (!(mode & DIO_UNDO) || undoing) return;
  if (kind != UNDO_LEVEL && uinfCount == 0) {
    // A change outside any transaction gets a level of its own, so that it
    // can still be undone and undo never reads a level that was not opened.
    infoAdd(UNDO_LEVEL, 0, nullptr, nullptr, nullptr);
  }
  if (kind == UNDO_LEVEL) {
    if (uinfCount >= kUndoLevels) {
      del_uinf(0);
      for (int i = 1; i < kUndoLevels; i++) {
        uinf[i - 1] = uinf[i];
        uinfID[i - 1] = uinfID[i];
      }
      uinf[kUndoLevels - 1] = nullptr;
      uinfID[kUndoLevels - 1] = -1;
      uinfCount = kUndoLevels;
    } else {
      uinfCount++;
    }
    uinfID[uinfCount - 1] = static_cast<int>(journalFile ? fil_size(journalFile) : 0);
    return;
  }
  auto* rec = new uinf_t{};
  rec->kind = kind;
  rec->id = id;
  rec->entry = e ? XMLcopyEntry(e, nullptr) : nullptr;
  rec->text1 = text1 ? estrdup(text1) : nullptr;
  rec->text2 = text2 ? estrdup(text2) : nullptr;
  rec->next = uinf[uinfCount - 1];
  uinf[uinfCount - 1] = rec;
}

void DictIO::beginTransaction() {
  if (!editable()) return;
  if (warFile) {
    FILE* f = fopen(warFile, "w");
    if (f) fclose(f);
  }
  infoAdd(UNDO_LEVEL, 0, nullptr, nullptr, nullptr);
}

void DictIO::endTransaction() {
  if (warFile) remove(warFile);
}

int DictIO::undo() {
  mark(*this, ">undo");
  if (uinfCount <= 0 || uinfCount > kUndoLevels) return 0;
  int level = uinfCount - 1;
  undoing = 1;
  for (uinf_t* r = uinf[level]; r; r = r->next) undoRecord(*r);
  if (uinfID[level] != -1 && journalFile && writable()) {
    // A journal that cannot be cut back is passed over, like one that
    // cannot be written.
    int cut = truncate(journalFile, uinfID[level]);
    (void)cut;
  }
  del_uinf(level);
  uinfCount--;
  undoing = 0;
  mark(*this, "<undo");
  return 1;
}

void DictIO::trac_save(const char* text) {
  FILE* f = fopen(kTraceFile, "a");
  if (!f) return;
  fprintf(f, "%s\n", text ? text : "");
  fclose(f);
}
