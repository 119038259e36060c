#include "import/report.h"

namespace {

const char* reasonText(LeftOut why) {
  switch (why) {
    case LeftOut::kTooDeep:
      return "nested too deep";
    case LeftOut::kTooManyChildren:
      return "with too many children in one element";
    case LeftOut::kTooManyElements:
      return "with too many elements";
    case LeftOut::kNoChild:
      return "with no child element";
    case LeftOut::kOtherName:
      return "not named like the entries";
    case LeftOut::kCount:
      break;
  }
  return "";
}

std::string reasons(const ImportStats& s) {
  std::string out;
  for (int i = 0; i < static_cast<int>(LeftOut::kCount); ++i) {
    if (s.leftOut[i] == 0) continue;
    out += out.empty() ? " (" : ", ";
    out += std::to_string(s.leftOut[i]) + " " + reasonText(static_cast<LeftOut>(i));
  }
  return out.empty() ? out : out + ")";
}

}  // namespace

long ImportStats::leftOutTotal() const {
  long n = 0;
  for (long k : leftOut) n += k;
  return n;
}

void Console::startProgress(long total, long threshold) {
  if (total <= threshold) return;
  meter_ = std::make_unique<ProgressMeter>(total, false, show, this, 0.0, 1.0);
}

void Console::show(void* self, double fraction) {
  auto* c = static_cast<Console*>(self);
  fprintf(c->err_, "%sProgress: %d%%", kClearLine, static_cast<int>(fraction * 100.0));
  fflush(c->err_);
  c->lineShown_ = true;
}

void Console::endProgress() {
  if (lineShown_) fputs(kClearLine, err_);
  lineShown_ = false;
  meter_.reset();
}

void Console::line(const std::string& text) {
  if (lineShown_) fputs(kClearLine, err_);
  lineShown_ = false;
  fprintf(err_, "%s\n", text.c_str());
}

void Console::summary(const ImportStats& s, const std::string& output) {
  line("Entries written: " + std::to_string(s.written) + " (to " + output + ")");
  line("Entries left out: " + std::to_string(s.leftOutTotal()) + reasons(s));
  line("Attributes turned into elements: " + std::to_string(s.attributes));
  std::string names = "Names changed: " + std::to_string(s.namesChanged);
  if (s.nameCollisions > 0) names += " (" + std::to_string(s.nameCollisions) + " made the same as another)";
  line(names);
  std::string chars = "Characters transliterated: " + std::to_string(s.transliterated);
  if (s.unknown > 0) chars += " (" + std::to_string(s.unknown) + " written as \"?\")";
  line(chars);
  if (s.unresolved > 0) line("Entity references left unresolved: " + std::to_string(s.unresolved));
  if (s.strayText > 0) line("Text pieces between entries left out: " + std::to_string(s.strayText));
}
