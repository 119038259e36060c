#include "base/progress.h"

#include <cstdio>

const char kClearLine[] =
    "\r                                                     \r";

ProgressMeter::ProgressMeter(long total, bool print, Callback cb, void* handle, double base,
                             double scale)
    : total_(total),
      step_(total / 100),
      last_(-2 * (total / 100)),
      print_(print),
      cb_(cb),
      handle_(handle),
      base_(base),
      scale_(scale) {}

int ProgressMeter::percent(long c) const {
  if (total_ <= 0) return 100;
  return static_cast<int>(static_cast<double>(c) / static_cast<double>(total_) * 100.0);
}

bool ProgressMeter::at(long c) {
  if (c - last_ <= step_) return false;
  if (print_) {
    printf("%sProgress: %d%%", kClearLine, percent(c));
    if (flush_) fflush(stdout);
  }
  if (cb_) {
    double frac = total_ > 0 ? static_cast<double>(c) / static_cast<double>(total_) : 1.0;
    cb_(handle_, base_ + scale_ * frac);
  }
  last_ = c;
  return true;
}
