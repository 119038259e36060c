// DictIO: one dictionary database.
//
// A base name from which every file of the dictionary is named, its structure
// description, the word tables and the entry index held in memory, and the
// switches for console progress, journal and undo. The build side (rebuild,
// makeFid and the index passes) turns DICT.xml into the index files; the
// lookup side reads them; the editing side changes them in place.
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
//   .new      a replacement .xml: renamed over it at build time
//   .journal  dated journal lines of the editing side
//   .war      marker of a transaction in progress
// All integers little-endian. An occurrence code holds the entry number in
// bits 0-23 and the tag number of the holding element in bits 24-31.
//
// Failures are reported as one "Error: ..." line on standard error; the
// operation then returns its failure value and the build goes on.
#pragma once

#include <cstdint>
#include <cstdio>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "base/map.h"
#include "base/mem.h"

class DTD;
class XML;
class XMLEntry;

// Entry and word numbers are stored in 3 bytes.
constexpr long kMaxNumber = 0xFFFFFF;
// Word texts are stored with a one-byte length.
constexpr int kMaxWordLength = 255;

// A word record: lives in recPool, its text in textPool.
struct wrdrec_t {
  char* word;        // the text; also the record's key in wordMap
  int32_t num;       // word number, 1 upwards; key in idMap
  int32_t chunk;     // .wid offset of the first chunk; -1 when none
  int32_t tailLink;  // .wid offset of the last chunk's link field; -1 when none
};

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

// Open-mode bits. DIO_READONLY opens a built dictionary for lookups only:
// nothing is built, repaired or written (no journal lines either), and a
// missing, damaged or stale index file is reported instead.
enum { DIO_JOURNAL = 1, DIO_UNDO = 2, DIO_TRACE = 4, DIO_READONLY = 8 };

// An undo record; a level's list runs from the newest record to the oldest.
struct uinf_t {
  int kind;        // 1: an entry was added, 5: an entry was deleted
  int id;          // entry number
  XMLEntry* entry; // owned copy, or null
  char* text1;     // owned, or null
  char* text2;     // owned, or null
  uinf_t* next;
  // Kind 5: the deleted entry's packed bytes, so that undo stores the entry
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

  DTD* dtd = nullptr;                    // owned
  std::string errText;                   // error met by the named constructor
  map_t wordMap;                         // word text -> wrdrec_t*
  map_t idMap;                           // word number -> wrdrec_t*
  std::map<int32_t, int32_t> entPos;     // entry number -> .ent offset; -1 deleted
  std::map<int32_t, int32_t> posEnt;     // .ent offset -> entry number
  int output = 0;                        // console progress switch
  char* xmlFile = nullptr;
  char* wrdFile = nullptr;
  char* entFile = nullptr;
  char* eidFile = nullptr;
  char* widFile = nullptr;
  char* journalFile = nullptr;
  char* newFile = nullptr;
  char* warFile = nullptr;
  char* stampPath = nullptr;
  mem_t textPool;
  mem_t recPool;
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
  ~DictIO();
  DictIO(const DictIO&) = delete;
  DictIO& operator=(const DictIO&) = delete;

  // --- build and persistence (dictio.cpp) ---
  // The builder's way in. Unlike the named constructor it repairs: damaged
  // index files are first kept aside under a reported name, then rebuilt.
  int rebuild(int force);
  void sync();
  void refresh();
  void reload();

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
  long size() const { return static_cast<long>(entPos.size()); }
  void setMaxEnt(long n) { maxEnt = static_cast<int32_t>(n); }
  long getMaxEnt() const { return maxEnt; }
  void setDTD(DTD* d);
  long getActID() const { return actID; }
  bool readOnly() const { return (mode & DIO_READONLY) != 0; }
  // Edits and saves are allowed: a named, undamaged, not read-only object.
  bool writable() const { return xmlFile != nullptr && !readOnly() && damaged == 0; }
  void close();
  void del_uinf(int i);

  // --- journal lines (dictio.cpp) ---
  void JournalBegin();
  void JournalEnd();

  // --- build orchestration and entry index (entindex.cpp) ---
  // The build-or-load decision. It may build (missing files); it rebuilds
  // over damaged files only when called through rebuild().
  void makeFid(int force);
  void saveEid();
  bool loadEid();
  void makeREid();
  int is_eid_del(long num) const;

  // --- word list (wordlist.cpp) ---
  void makeWrd();
  void saveWrd();
  bool loadWrd();
  void makeRWrd();
  void makeNWrd();
  int wordCount(const char* w);

  // --- word-to-entry index (widindex.cpp) ---
  void makeWid();
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
  bool getXML(XML* x, long num);
  bool getXML(XMLEntry* e, long num);
  int getXMLEntry(XMLEntry* e, long num);
  long getIDMove(int dir);
  long idCorrect(long n);
  long getXMLEntryByKey(XMLEntry* e, const std::string& key);
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

  // --- editing, journal and undo (edit.cpp) ---
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
  void JournalAdd(int kind, XMLEntry* e, const std::string& text);
  void infoAdd(int kind, int id, XMLEntry* e, const char* text1, const char* text2);
  void beginTransaction();
  void endTransaction();
  int undo();
  void trac_save(const char* text);

 private:
  bool mayRepair_ = false;  // set by rebuild(): damaged files are rebuilt
  bool newRefused_ = false;  // a ".new" could not be taken (reported once)

  // Renames a waiting ".new" file over the XML file; true when it did. A
  // rename that fails is reported.
  bool takeNewFile();
  void openReadOnly(const char* name);
  void openFailed(const std::string& message);
  // Damaged index files: kept aside and rebuilt when repair is allowed,
  // otherwise reported and the tables left empty.
  void damagedIndexes();
  void damagedWid();
  bool keepAside(const std::vector<const char*>& files, std::string* kept);
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
