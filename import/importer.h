// Importer: walks an XML source and writes the entries lexorn can read.
//
// Which elements are entries:
// - by default, the children of the document element. The first of them
//   that lexorn can read (see EntryBuilder) fixes the entries' name, since
//   lexorn needs one upmost name for all; a later child of another name is
//   reported with its line and left out, naming --entry. Text standing
//   between entries is counted and left out.
// - with --entry NAME, every element NAME that is not inside another entry,
//   wherever it stands; everything outside them is passed over. A NAME with
//   a ":" is compared with the whole element name, otherwise with the name
//   after its namespace prefix.
//
// Inside an entry each element goes to the EntryBuilder, its attributes
// first (namespace declarations are not attributes), each as a child
// element holding the value. An entry that does not fit is reported with
// the line of its start tag and left out whole. Entity references libxml2
// cannot resolve are written as their literal text ("&name;") and counted.
//
// With --strict the first character inside an entry (text, or an attribute
// value that is written) with no ISO-8859-2 form stops the run; the output
// is then to be discarded.
//
// Entries are rendered on the calling thread and converted and written on
// a ConvertingWriter's thread, in batches.
#pragma once

#include <array>
#include <string>
#include <string_view>

#include "import/entry.h"
#include "import/latin2.h"
#include "import/names.h"
#include "import/options.h"
#include "import/output.h"
#include "import/report.h"
#include "import/source.h"
#include "import/writer.h"

class Importer {
 public:
  enum class Outcome {
    kDone,       // every node read; see stats() for what was written
    kNoEntries,  // no entry was found at all
    kRefused,    // --strict met a character with no ISO-8859-2 form
    kFailed,     // the input could not be read or the output written
  };

  Importer(const ImportOptions& opts, Console* console);

  // Reads `src` to its end, writing the declaration and entries to `out`.
  Outcome run(XmlSource* src, AtomicFile* out);

  const ImportStats& stats() const { return stats_; }
  // For kFailed and kRefused: what went wrong, ready for "Error: ".
  const std::string& error() const { return error_; }

 private:
  int readAll();
  Outcome outcome(int rc);
  void onNode();
  void collectCounts();
  void onElement();
  void onEndElement();
  void onText();
  void onEntityReference();

  bool isEntryStart(std::string_view name, int depth) const;
  void startEntry(int nameId);
  void openElement(int nameId);
  void addAttributes();
  void finishEntry();
  void leaveOut(LeftOut why, long line, const std::string& detail);
  bool acceptText(std::string_view text, std::string_view attribute);
  void refuse(std::string_view text, size_t at, std::string_view attribute);
  std::string faultDetail() const;
  void flushNotes();
  void writePending();
  int nameId(std::string_view name);

  const ImportOptions& opts_;
  Console* console_;
  XmlSource* src_ = nullptr;
  AtomicFile* out_ = nullptr;
  NameMapper names_;
  EntryBuilder entry_{names_};
  Latin2Converter latin2_;   // the writer thread's while it runs
  Latin2Converter checker_;  // --strict's look at text as it comes
  ConvertingWriter* writer_ = nullptr;
  ImportStats stats_;
  std::string error_;

  bool inEntry_ = false;
  bool skipNext_ = false;   // pass over the current element's subtree
  bool refused_ = false;
  long entryLine_ = 0;
  long entryAttributes_ = 0;
  long found_ = 0;          // entries met, written or not
  int entryName_ = -1;      // default mode: the entries' name, once fixed
  int entryNameId_ = -1;    // the name of the entry being read
  bool failed_ = false;     // the output could not be written
  std::string pending_;  // rendered entries not yet handed to the writer

  // libxml2 hands names out as interned strings, so a name comes back at
  // the same address; a small cache by address spares hashing each one.
  struct CachedName {
    const char* at = nullptr;
    std::string name;
    int id = -1;
  };
  std::array<CachedName, 64> nameCache_;
};
