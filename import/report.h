// What lexorn-import tells on standard error: messages between progress
// lines, the progress line itself, and the closing summary.
//
// Progress follows lexorn's console convention (base/progress.h): the
// clearing string, then "Progress: N%", about once per percent, but on
// standard error so that standard output stays clean. A message printed
// while a progress line stands clears it first.
#pragma once

#include <cstdio>
#include <memory>
#include <string>

#include "base/progress.h"

// Why an entry (or an element standing where entries stand) was left out.
enum class LeftOut { kTooDeep, kTooManyChildren, kTooManyElements, kNoChild, kOtherName, kCount };

struct ImportStats {
  long written = 0;
  long leftOut[static_cast<int>(LeftOut::kCount)] = {};
  long attributes = 0;       // attributes written as elements
  long namesChanged = 0;     // distinct names with bytes replaced or cut
  long nameCollisions = 0;   // distinct names that became an earlier one's
  long transliterated = 0;   // characters with no ISO-8859-2 form
  long unknown = 0;          // ... of which written as "?"
  long unresolved = 0;       // entity references libxml2 could not replace
  long strayText = 0;        // text pieces between entries, left out

  long leftOutTotal() const;
};

class Console {
 public:
  explicit Console(FILE* err) : err_(err) {}

  // Starts progress reports over `total` bytes when it is above `threshold`.
  void startProgress(long total, long threshold);
  void progress(long done) {
    if (meter_) meter_->at(done);
  }
  // Clears the progress line for good.
  void endProgress();

  // One line (a line feed is added).
  void line(const std::string& text);
  void summary(const ImportStats& s, const std::string& output);

 private:
  static void show(void* self, double fraction);

  FILE* err_;
  std::unique_ptr<ProgressMeter> meter_;
  bool lineShown_ = false;  // a progress line stands on the console
};
