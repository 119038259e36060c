// DictIO: one dictionary database.
//
// A base name from which every file of the dictionary is named, its structure
// description, the word list (WordTable) and the entry index (EntryIndex)
// held in memory, and the switches for console progress, journal and undo.
// The build side (rebuild, makeFid and the index passes) turns DICT.xml into
// the index files; the lookup side reads them; the editing side changes them
// in place. doc/formats.md gives every file's bytes; doc/architecture.md
// how a build and a lookup run through the code.
//
// Files, all named base + suffix:
//   .xml      the dictionary (entries as XML)
//   .def      structure description (dtd/)
//   .ent      packed entries back to back (xml/packed.h)
//   .eid      entry index: int32 n, then n x (u24 number, int32 offset)
//   .wrd      word list: int32 n, then n x (u24 num, u8 len, text, int32
//             chunk, int32 tailLink), in the slot order of wordMap
//   .wid      word-to-entry index: chains of chunks (int32 n, n x int32 code,
//             int32 link to the next chunk or 0)
//   .new      a replacement .xml: taken in by the next build
//   .journal  dated journal lines of the editing side
//   .war      marker of a transaction in progress
//   .upd      commit record of an update being put in place (update.h)
// All integers little-endian. An occurrence code holds the entry number in
// bits 0-23 and the tag number of the holding element in bits 24-31.
//
// Failures are reported, never thrown: one "Error: ..." line on standard
// error, then the operation returns its failure value. Writing operations
// work through updates (update.h): a failed one leaves every file as it was.
//
// A DictIO is used from one thread at a time; the packed-entry stepper and
// the registry are shared by the whole process.
#pragma once

#include <cstdint>
#include <cstdio>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "base/files.h"
#include "base/map.h"
#include "base/mem.h"
#include "base/word.h"
#include "dictio/entryindex.h"
#include "dictio/wordtable.h"

class DTD;
class IndexUpdate;
class ReadIndex;
class WidFeed;
class XML;
class XMLEntry;

// One search hit. Sets of hits are ordered by entry number alone, so a set
// keeps the first hit that arrives for an entry.
struct twident {
  int32_t eid;  // entry number
  int32_t tid;  // tag number of the element holding the word
};
struct twident_less {
  bool operator()(const twident& a, const twident& b) const { return a.eid < b.eid; }
};
using twset = std::set<twident, twident_less>;

// Search flags of findWordEnt and query.
enum { FWE_LINK = 1, FWE_PATTERN = 4 };

// Result codes of findWordEnt, findWordsByTag and query.
enum {
  FWE_DONE = 1,        // the search ran; the result may be empty
  FWE_UNUSABLE = 2,    // the word index does not open or is damaged
                       // (reported), or the tag cannot be searched
  FWE_UNKNOWN = 3,     // the text is empty, or one of its words is not in
                       // the word list
  FWE_BADPATTERN = 4,  // a pattern does not compile
};

// Open-mode bits. DIO_READONLY opens a built dictionary for lookups only:
// nothing is built, repaired or written (no journal lines either), and a
// missing, damaged or stale index file is reported instead. The index files
// are then mapped (dictio/readindex.h) rather than loaded into the tables
// below, which stay empty: lookups give the same answers either way, from
// the generation of files that was in place when the object was opened.
enum { DIO_JOURNAL = 1, DIO_UNDO = 2, DIO_TRACE = 4, DIO_READONLY = 8 };

// Journal kinds: the first word of an editing operation's journal line.
enum {
  JOURNAL_NONE = 0,     // no line
  JOURNAL_ADD_NEW = 1,  // "ADD_NEW entry"
  JOURNAL_ADD_EXP = 2,  // "ADD_EXP entry"
  JOURNAL_UPD_ENT = 3,  // "UPD_ENT entry"
  JOURNAL_UPD_KEY = 4,  // "UPD_KEY old key => new key"; the links follow
  JOURNAL_DEL_ENT = 5,  // "DEL_ENT entry"
};

// Undo kinds: what an undo record tells of (infoAdd's first argument).
enum {
  UNDO_LEVEL = 0,    // not a record: opens a new undo level
  UNDO_ADDED = 1,    // an entry was added: undo deletes it
  UNDO_DELETED = 5,  // an entry was deleted: undo stores it again
};

// An undo record; a level's list runs from the newest record to the oldest.
struct uinf_t {
  int kind;        // UNDO_ADDED or UNDO_DELETED
  int id;          // entry number
  XMLEntry* entry; // owned copy, or null
  char* text1;     // owned, or null
  char* text2;     // owned, or null
  uinf_t* next;
  // UNDO_DELETED: the entry's packed bytes, so that undo stores the entry
  // again exactly as it was (a tree packed again would re-split its text).
  std::string packed = {};
};

// The base name a dictionary argument names: the argument cut at its last
// "." ("dict.xml" and "dict" name the same dictionary; so do "v1.2.dict"
// and "v1.2.xml"). Both command-line tools take names by this rule.
std::string dictBaseName(const std::string& arg);

class DictIO {
 public:
  static constexpr int kUndoLevels = 5;
  // Longest base name: room for ".journal" in a 260-byte name.
  static constexpr size_t kMaxBaseName = 251;

  DTD* dtd = nullptr;   // owned
  std::string errText;  // empty exactly when the named constructor opened it
  WordTable words{this};
  EntryIndex entries;
  // The tables under their own names, as the rest of the library and host
  // programs know them.
  map_t& wordMap = words.wordMap;                  // word text -> wrdrec_t*
  map_t& idMap = words.idMap;                      // word number -> wrdrec_t*
  OrdMap& entPos = entries.entPos;  // number -> offset; -1 deleted
  OrdMap& posEnt = entries.posEnt;  // offset -> number
  int output = 0;  // console progress switch
  char* xmlFile = nullptr;
  char* wrdFile = nullptr;
  char* entFile = nullptr;
  char* eidFile = nullptr;
  char* widFile = nullptr;
  char* journalFile = nullptr;
  char* newFile = nullptr;
  char* warFile = nullptr;
  char* stampPath = nullptr;
  mem_t& textPool = words.textPool;
  mem_t& recPool = words.recPool;
  uinf_t* uinf[kUndoLevels] = {};
  int uinfID[kUndoLevels] = {-1, -1, -1, -1, -1};
  int uinfCount = 0;
  FILE* curFile = nullptr;
  int32_t actID = 0;
  int32_t maxEnt = 1000000;
  int32_t lastID = -1;
  int dirty = 0;
  int mode = 0;
  int undoing = 0;
  int trace = 0;
  // The open met damaged or stale index files: the tables are left empty,
  // and nothing is edited or saved, so the files keep whatever edits they
  // hold until `lexorn` keeps them aside and rebuilds.
  int damaged = 0;

  DictIO();
  // Opens the dictionary `name` (a base name; no extension is cut). Without
  // DIO_READONLY it builds what is missing, as the build-or-load decision
  // does, but never rebuilds over damaged files (see `damaged`). With
  // DIO_READONLY it only loads; any problem leaves `damaged` set (or `dtd`
  // null when the dictionary does not exist) after one "Error: ..." line.
  DictIO(const char* name, int out, int mode);
  // Saves the word list and the entry index when `dirty`, then releases
  // everything.
  ~DictIO();
  DictIO(const DictIO&) = delete;
  DictIO& operator=(const DictIO&) = delete;

  // --- build (build.cpp) ---
  // The builder's way in: 1 when the dictionary exists and was built or
  // loaded, 0 (reported) when it does not. Unlike the named constructor it
  // repairs: damaged index files are first kept aside under a reported
  // name, then rebuilt. Whether the build itself failed: updateFailed().
  int rebuild(int force);
  // The build-or-load decision. It may build (missing files); it rebuilds
  // over damaged files only when called through rebuild().
  void makeFid(int force);

  // --- updates (build.cpp; see dictio/update.h) ---
  // Every operation that writes index files writes new versions beside
  // them and puts them in place together at its end, or leaves the files
  // as they were when anything failed. beginUpdate/commitUpdate group the
  // operations between them into one such update (the builder's whole
  // run). commitUpdate returns false, after an "Error: ..." line, when the
  // update failed; so does updateFailed() until the next update begins.
  void beginUpdate();
  bool commitUpdate();
  bool updateFailed() const;

  // --- persistence shortcuts (dictio.cpp) ---
  void sync();     // when dirty: saveWrd and saveEid as one update
  // Not on a read-only object, which keeps the generation it opened.
  void refresh();  // loadWrd, loadEid; dirty := 0
  void reload();   // loadWrd, loadEid

  // --- file set (dictio.cpp) ---
  // Set the eight names from `base`. False (with a message, names unset)
  // when the base name is longer than kMaxBaseName.
  bool asocFiles(const char* base);
  void freeFiles();
  void renFiles(const char* base);
  bool setName(const char* base);
  bool setXMLName(const char* name);
  std::string getName() const;
  std::string getXMLName() const;

  // --- accessors ---
  // Entries in the entry index, deleted ones included.
  long size() const;
  // Words in the word list.
  int wordListSize() const;
  void setMaxEnt(long n) { maxEnt = static_cast<int32_t>(n); }
  long getMaxEnt() const { return maxEnt; }
  void setDTD(DTD* d);
  long getActID() const { return actID; }
  bool readOnly() const { return (mode & DIO_READONLY) != 0; }
  // Edits and saves are allowed: a named, undamaged, not read-only object.
  bool writable() const { return xmlFile != nullptr && !readOnly() && damaged == 0; }
  // The same, told: false after an "Error: ..." line saying why not.
  bool editable() const;
  void close();
  void del_uinf(int i);

  // --- journal lines (dictio.cpp, journal.cpp) ---
  void JournalBegin();
  void JournalEnd();

  // --- entry index, ".eid" (entindex.cpp) ---
  void saveEid();
  // False (reported, tables empty) when the file does not open or is
  // damaged: a count that does not match the size, numbers not ascending,
  // offsets outside the entry file.
  bool loadEid();
  void makeREid();
  int is_eid_del(long num) const;

  // --- entry pass (entrypass.cpp) and word list, ".wrd" (wordlist.cpp) ---
  void makeWrd();
  void saveWrd();
  // False (reported, tables empty) when the file does not open or is
  // damaged: counts beyond the file, repeated or empty words, impossible
  // chain offsets, trailing bytes.
  bool loadWrd();
  void makeRWrd();
  void makeNWrd();
  int wordCount(const char* w);

  // --- word-to-entry index (widindex.cpp) ---
  void makeWid();
  // Appends a chunk of `codes` for word `num` to *f and returns the offset
  // of its link field; 0 when nothing was written.
  long widWriteWords(long num, const std::set<int32_t>& codes, long prevLink, int append,
                     FILE** f);

  // --- speed-up (speedup.cpp) ---
  // Each refuses, after an "Error: ..." line and without touching a file,
  // on a read-only or damaged dictionary.
  void speedup();
  void speedupWords(int resave);
  int deletedEnts();
  void speedupEnts();

  // --- lookup (lookup.cpp) ---
  bool reset();
  bool seek(long num);  // false, entPos unchanged, for an unknown number
  bool getXML(XML* x);
  int getXMLEntry(XMLEntry* e);
  // By number: false (0) for a deleted or unknown entry, or one without
  // bytes of its own; damaged bytes are reported and never loaded.
  bool getXML(XML* x, long num);
  bool getXML(XMLEntry* e, long num);
  int getXMLEntry(XMLEntry* e, long num);
  long getIDMove(int dir);
  long idCorrect(long n);
  long getXMLEntryByKey(XMLEntry* e, const std::string& key);
  // Returns one of the FWE_ result codes above.
  int findWordEnt(int tag, const char* text, twset* result, twset* restrictTo, int limit,
                  int flags);
  int findWordsByTag(const std::string& path, std::vector<std::string>* out);
  // The string-list form: fails with 2 and a message rather than write
  // more than `size` bytes into `out`.
  int findWordsByTag(const std::string& path, char* out, size_t size);
  int query(const std::string& path, const std::string& value, XMLEntry* e, twset* result,
            twset* restrictTo, int limit, int flags);
  int query(const std::string& path, XMLEntry* e, twset* result, twset* restrictTo, int limit,
            int flags);
  void genKey(char* buf, int lo, int hi);
  std::string getKeyValue(XMLEntry* e);
  std::string getValue(const std::string& path, XMLEntry* e, int follow);
  // Opens an index file (entFile or widFile) for reading a lookup; null
  // after an "Error: ..." line.
  FILE* openIndexFile(const char* name) const;
  // The mapped index files of a read-only object; null otherwise.
  ReadIndex* readIndex() const { return index_.get(); }

  // --- editing (edit.cpp) ---
  // Every change first opens the files it needs and checks what it can; a
  // refused change touches no table, file, journal line or undo record.
  long addEntry(XMLEntry* e, int journalKind, const char* stamp);
  void addEntry(XMLEntry* e, int id, int journalKind, const char* stamp);
  void delEntry(int id, XMLEntry* e, int journalKind);
  int updEntry(XMLEntry* e, int id, int journalKind, const std::string& oldKey,
               const char* stamp);
  int remlinks_entr(XMLEntry* node, XMLEntry* e);
  long addXMLPack(XMLEntry* e, long id);
  void addWords(int id);
  long addWord(long num, long code, FILE** wid);
  void delWords(int id);
  void delWord(long num, long code, FILE** wid);
  void addStamp(XMLEntry* e, const char* stamp);

  // --- journal, undo and trace (journal.cpp) ---
  void JournalAdd(int kind, XMLEntry* e, const std::string& text);
  void infoAdd(int kind, int id, XMLEntry* e, const char* text1, const char* text2);
  void beginTransaction();
  void endTransaction();
  // 1 after undoing the current level, 0 when no level is in use.
  int undo();
  void trac_save(const char* text);

 private:
  class UpdateScope;

  std::unique_ptr<IndexUpdate> update_;  // the update under way, if any
  bool updateFailed_ = false;
  bool keptOriginal_ = false;  // the structure pass dropped entries: say so
  std::unique_ptr<ReadIndex> index_;  // read-only: the mapped index files
  bool mayRepair_ = false;  // set by rebuild(): damaged files are rebuilt
  // Where the furthest chain of the word list last loaded ends: a word index
  // shorter than this belongs to another list.
  long wrdChainsEnd_ = 0;

  // --- opening (open.cpp) ---
  void openFull();
  void openReadOnly(const char* name);
  enum class Attempt { Loaded, Failed, Changed };
  Attempt loadGeneration(const char* name);
  void openFailed(const std::string& message);
  // Empty when the entry stored last in the entry file is whole; otherwise
  // the message that the file is cut.
  std::string lastEntryCut() const;

  // --- build (build.cpp) ---
  // While a forced build runs with a feed, the entry pass also writes the
  // word-to-entry index through it (dictio/widfeed.h), and the
  // word-to-entry pass only reports and closes it (reportFedWid).
  WidFeed* widFeed_ = nullptr;
  void reportFedWid();
  // What ends the word-to-entry pass either way: its failures, then the
  // cleared progress line.
  void widPassEnds(bool readFailed, bool tooLarge, long unknown, const std::string& from);
  // A waiting ".new" joins the update under way: true when there is one.
  bool takeNewFile();
  // Loads the structure description, or infers it (with `force`, or when
  // there is none) from the dictionary file into the update: the file's
  // rewritten form and the new ".def" are staged. False after a failure.
  bool loadStructure(bool force, int io, void (*progress)(void*, double));
  bool inferStructure();
  // Finishes an update a killed run left behind; false (damaged) when it
  // cannot be finished.
  bool finishLeftover(bool removeStrays);
  // Reports why a pass cannot go on ("Error: WHY; nothing is changed.")
  // and marks the update failed. Returns false.
  bool failPass(const std::string& why);
  // Damaged index files: kept aside and rebuilt when repair is allowed,
  // otherwise reported and the tables left empty.
  void damagedIndexes();
  void damagedWid();
  bool keepAside(const std::vector<const char*>& files, std::string* kept);
  // Back to a fresh object's tables, so that what is rebuilt lands where a
  // build in a new process would put it.
  void clearTables();
  void stageEid();

  // --- editing (edit.cpp) ---
  // Reverts one undo record: an added entry is deleted, a deleted one
  // stored again (its very bytes when they can be).
  void undoRecord(const uinf_t& r);
};

// --- lookup helpers (lookup.cpp) ---
wrdrec_t* get_next_fwe_word(map_t* words, const char* w, int* pos, int pattern, void* re,
                            int* match);
int fent_in(const twset* s, const twident* t);
int intersection(const twset* a, const twset* b, twset* out);
int intersection_notag(const twset* a, const twset* b, twset* out);

// --- registry of open dictionaries (registry.cpp) ---
constexpr int kRegistrySlots = 10;
extern int io_output;
extern void (*on_load)(void* handle, char* text);
extern void (*on_prog)(void* handle, double fraction);
extern void* on_prog_bar;
void dictios_init(int out);
void dictios_set_on_load(void (*f)(void*, char*));
void dictios_set_on_prog(void (*f)(void*, double));
void dictios_set_on_prog_bar(void* h);
void dictios_set_name(const char* text);
// The dictionary registered under `name`, opened on first use; null when
// all kRegistrySlots slots hold other names.
DictIO* dictios_get(const char* name, int mode);
void dictios_delete();

// --- date, time and user texts (dictio.cpp) ---
// buf must hold 20 bytes for get_datetime, 11 for get_date, 256 for
// get_name (a longer login name is cut at 255 bytes).
char* get_datetime(char* buf);
char* get_date(char* buf);
char* get_name(char* buf);
// The user text of a login name: cut at 255 bytes, every space made "_".
char* get_name_from(char* buf, const char* login);
