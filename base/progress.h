// The console progress convention of the long passes.
//
// A pass over a total T (bytes of a file, or records) reports at position c
// whenever c - last > T / 100, last starting at -2 * (T / 100): it prints
// the clearing string and "Progress: N%" to standard output (when printing
// is on) and hands the pass's fraction to the callback (when one is set).
// With T below 100 every new position reports.
#pragma once

// A carriage return, 53 spaces and a carriage return: blanks the line.
extern const char kClearLine[];

class ProgressMeter {
 public:
  using Callback = void (*)(void* handle, double fraction);

  // The callback receives base + scale * c / T.
  ProgressMeter(long total, bool print, Callback cb, void* handle, double base, double scale);

  // Also flush standard output after each printed report.
  void setFlush(bool flush) { flush_ = flush; }

  // Reports when the position has moved more than a step since the last
  // report. Returns true when it reported.
  bool at(long c);

  // The printed percentage for position c: c / T * 100 in floating point,
  // truncated toward zero.
  int percent(long c) const;

 private:
  long total_, step_, last_;
  bool print_, flush_ = false;
  Callback cb_;
  void* handle_;
  double base_, scale_;
};
