// IndexUpdate: one generation of a dictionary's files, put in place at once.
//
// A run that changes the dictionary never writes a file in place. Each new
// version is written under the file's temporary name beside it (the name
// with its last character replaced by "~": d.ent -> d.en~) and the versions
// are put in place together by commit():
//   1. every staged file has been written whole and closed (each write,
//      flush and close checked); a run that failed abandons its update
//      instead, removing the temporary files: nothing else has changed;
//   2. the commit record BASE.upd is written under its own temporary name
//      and renamed into place; it lists the steps below, one a line;
//   3. the steps run in order: the dictionary file first (keeping the
//      original as BASE.xml.orig when asked, taking in BASE.new), then the
//      structure file, the entries, the word index, the word list and, last
//      of all, the entry index;
//   4. the record is removed.
// A run killed during step 3 leaves the record behind; recover() finishes
// the steps (every staged file was complete before the record existed), and
// a read-only open refuses to read while it is there. A run killed before
// step 2 leaves only temporary files, which recover() removes: the previous
// files are untouched. Either way a reader never sees two generations mixed
// as one.
//
// Every commit replaces the entry index, whose rename is the last step. A
// reader that opens the entry index first and, once it has opened the other
// files, still finds no record and the same entry index under its name,
// has read one generation.
//
// The record's lines: "file SUFFIX" renames the temporary file of BASE+SUFFIX
// (of its target, for a symbolic link) over it when the temporary file is
// still there; "orig SUFFIX" links BASE+SUFFIX to BASE.xml.orig while the
// dictionary file's temporary file is still there; "new" renames BASE.new
// over the dictionary file when it is there; "drop-new" removes BASE.new.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "base/passfile.h"

class IndexUpdate {
 public:
  // `base` is the dictionary's base name (its files are base + suffix).
  explicit IndexUpdate(std::string base);
  // Abandons whatever was not committed.
  ~IndexUpdate();
  IndexUpdate(const IndexUpdate&) = delete;
  IndexUpdate& operator=(const IndexUpdate&) = delete;

  // Creates the temporary file of base + `suffix` (".xml", ".def", ".ent",
  // ".eid", ".wrd" or ".wid") open for writing (and reading with
  // `readable`; unbuffered unless `buffered`), and stages it: a file staged
  // again is started afresh.
  // Empty after "Error: Could not open TEMP for writing." (the update is
  // then failed).
  PassFile create(const char* suffix, bool readable = false, bool buffered = true);
  // create() that neither reports nor fails the update when the file
  // cannot be created: the caller has another way.
  PassFile tryCreate(const char* suffix, bool readable = false, bool buffered = true);
  // Closes a file from create; false after "Error: Could not write FILE
  // (why); nothing is changed." when a write, the flush or the close failed,
  // or `written` says an earlier write did (the update is then failed).
  bool close(PassFile& f, const char* suffix, bool written = true);

  // Opens current(suffix) for reading; empty after "Error: Could not open
  // NAME." (the update is then failed).
  PassFile read(const char* suffix);

  // The name base + `suffix` is read from within this update: its staged
  // version when there is one, else the file itself (BASE.new for ".xml"
  // while a replacement is being taken in).
  std::string current(const char* suffix) const;
  bool staged(const char* suffix) const;
  bool empty() const { return staged_.empty() && !takeNew_; }

  // Asks commit to keep the original dictionary file (BASE+`from`, ".xml"
  // or ".new") as BASE.xml.orig before its rewritten version replaces it.
  void keepOriginal(const char* from);
  // Takes BASE.new in as the dictionary file: it is read in its place
  // until commit renames it (or, when a rewritten version is staged,
  // removes it).
  void takeNew();

  // Marks the update failed: commit then abandons it.
  void fail() { failed_ = true; }
  bool failed() const { return failed_; }

  // Puts every staged file in place. False (after an "Error: ..." line)
  // when the update had failed, or a step could not be done; in the first
  // case nothing changed, in the second the record stays for recover().
  bool commit();
  // Removes the temporary files; the dictionary's files stay as they were.
  void abandon();

  // A commit record of `base` is there: an update is being put in place,
  // or a run was killed while it was.
  static bool pending(const std::string& base);
  // Finishes the steps of a record left behind and removes it. False after
  // an "Error: ..." line when a step cannot be done (the record stays).
  static bool finish(const std::string& base);
  // Removes the temporary files a killed run left (there must be no record).
  static void removeStrays(const std::string& base);
  // The name of the commit record of `base`.
  static std::string recordName(const std::string& base);

 private:
  std::string file(const char* suffix) const { return base_ + suffix; }
  std::string temp(const char* suffix) const;
  std::vector<std::string> steps() const;
  bool writeRecord(const std::vector<std::string>& steps) const;
  bool targetsReplaceable() const;

  std::string base_;
  std::vector<std::string> staged_;  // suffixes with a temporary file
  std::string origFrom_;             // ".xml" or ".new": keep it as .xml.orig
  bool takeNew_ = false;
  bool failed_ = false;
  bool done_ = false;
};
