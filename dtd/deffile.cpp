// The ".def" file: one line per tag record, and the tree's text form.

#include <climits>
#include <cstdio>
#include <ostream>

#include "base/error.h"
#include "base/files.h"
#include "dtd/dtd.h"

namespace {

// Decimal value the way atol reads it (sign, leading digits), saturated to
// the int range instead of overflowing.
int fieldNumber(const std::string& s) {
  size_t i = 0;
  bool neg = false;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) neg = s[i++] == '-';
  long long v = 0;
  for (; i < s.size() && s[i] >= '0' && s[i] <= '9'; i++) {
    v = v * 10 + (s[i] - '0');
    if (v > INT_MAX) v = static_cast<long long>(INT_MAX) + 1;
  }
  if (neg) v = -v;
  if (v > INT_MAX) return INT_MAX;
  if (v < INT_MIN) return INT_MIN;
  return static_cast<int>(v);
}

// Reads the ".def" byte stream into a DTD's table and tree. Any run of bytes
// of 32 or less separates fields; a line ends at a line feed or carriage
// return once it has a field.
class DefReader {
 public:
  explicit DefReader(DTD* d) : d_(d) {}

  // False (after an error message) when the file breaks a limit that would
  // change the meaning of the lines after it.
  bool byte(unsigned char c) {
    bool ok = true;
    if (c > 32) {
      ok = field_.size() < DTD::kMaxField;
      if (ok) field_.push_back(static_cast<char>(c));
      else fail(strprintf("a field longer than %d bytes", DTD::kMaxField));
    } else {
      if (!field_.empty()) storeField();
      if ((c == '\n' || c == '\r') && fields_ > 0) ok = endLine();
    }
    if (c == '\n') line_++;
    return ok;
  }

  // Lines beyond the table's capacity were read (and ignored).
  bool overflowed() const { return overflowed_; }

 private:
  DTD* d_;
  std::string field_;
  int fields_ = 0;  // fields of the current line so far
  int line_ = 1;    // for messages
  bool overflowed_ = false;
  DTDTag spare_;    // takes the fields of lines beyond the table
  std::string ancestors_[DTD::kMaxLevels];

  bool full() const { return d_->count >= DTD::kMaxTags; }
  DTDTag& record() { return full() ? spare_ : d_->tags[d_->count]; }

  void fail(const std::string& why) {
    errorf("Error: %s line %d: %s; the file is not loaded.\n", d_->dtdName.c_str(), line_,
           why.c_str());
  }

  void storeField() {
    DTDTag& t = record();
    switch (++fields_) {
      case 1: t.level = fieldNumber(field_); break;
      case 2: t.name = field_; break;
      case 3: t.min = fieldNumber(field_); break;
      case 4: t.max = fieldNumber(field_); break;
      case 5: t.type = field_[0]; break;
      case 6: t.tpar = field_; break;
      case 7: t.tpar2 = field_; break;
      default: break;  // fields after the seventh carry nothing
    }
    field_.clear();
  }

  bool endLine() {
    fields_ = 0;
    if (full()) {
      overflowed_ = true;
      return true;
    }
    DTDTag& t = record();
    if (t.level < 0 || t.level >= DTD::kMaxLevels) {
      fail(strprintf("level %d outside 0-%d", t.level, DTD::kMaxLevels - 1));
      return false;
    }
    ancestors_[t.level] = t.name;
    t.path.clear();
    // The tree splits paths at dots and skips empty parts, so it can place
    // a record only when every part of its path is one line's name: an
    // ancestor level without a line, a line without a name, or a name
    // holding a dot would put the record under the wrong node.
    auto part = [](const std::string& name) {
      return !name.empty() && name.find('.') == std::string::npos;
    };
    bool whole = part(t.name);
    for (int i = 0; i < t.level; i++) {
      t.path += ancestors_[i] + ".";
      whole = whole && part(ancestors_[i]);
    }
    t.path += t.name;
    // A record left out of the tree keeps its number all the same.
    if (whole) d_->addtag(&t);
    if (t.type == 'K') d_->key = t.path;
    d_->count++;
    return true;
  }
};

}  // namespace

bool DTD::loadDTD() {
  FILE* f = fopen(dtdName.c_str(), "rb");
  if (!f) {
    errorf("Error: Could not open %s.\n", dtdName.c_str());
    return false;
  }
  // The lines rebuild the tree from a fresh root; the old nodes stay listed
  // (copies of this DTD may still reach them) until the next clean-up.
  count = 0;
  key.clear();
  root = garb_add();
  for (DTDTag& t : tags) {
    t.tpar.clear();
    t.tpar2.clear();
  }
  DefReader reader(this);
  bool ok = true;
  for (int c; ok && (c = fgetc(f)) != EOF;) ok = reader.byte(static_cast<unsigned char>(c));
  fclose(f);
  if (!ok) {
    // Nothing half-read stays: an empty table and a fresh, unnamed root.
    count = 0;
    key.clear();
    root = garb_add();
    return false;
  }
  if (reader.overflowed())
    errorf("Error: %s has more than %d tags; the lines after tag %d are ignored.\n",
           dtdName.c_str(), kMaxTags, kMaxTags);
  checkPackable();
  return true;
}

bool DTD::writeDef(FILE* f) const {
  for (int i = 0; i < count; i++) {
    const DTDTag& t = tags[i];
    for (int l = 0; l < t.level; l++) fputs("  ", f);
    fprintf(f, "%d %s\t%d\t%d\t%c\n", t.level, t.name.c_str(), t.min, t.max, t.type);
  }
  return ferror(f) == 0;
}

bool DTD::saveDTD() {
  std::string why;
  auto write = [](FILE* f, const void* self) { return static_cast<const DTD*>(self)->writeDef(f); };
  if (fil_write_whole(dtdName, write, this, &why)) return true;
  if (why.rfind("create", 0) == 0)
    errorf("Error: Could not open %s for writing.\n", fil_tempname(fil_real(dtdName)).c_str());
  else
    errorf("Error: Could not write %s (%s).\n", dtdName.c_str(), why.c_str());
  return false;
}

std::string DTD::printEntry(DTDEntry* node) {
  std::string out;
  if (!node) return out;
  // Iterative pre-order: the text is the same, the stack depth is not.
  std::vector<const DTDEntry*> stack{node};
  while (!stack.empty()) {
    const DTDEntry* e = stack.back();
    stack.pop_back();
    if (e->level > 0) out.append(static_cast<size_t>(e->level) * 2, ' ');
    out += std::to_string(e->level) + " " + e->name + " " + std::to_string(e->min) + " " +
           std::to_string(e->max) + "\n";
    for (int i = e->count() - 1; i >= 0; i--) stack.push_back(e->children[i]);
  }
  return out;
}

std::string DTD::getString() { return printEntry(root); }

std::ostream& operator<<(std::ostream& os, DTD dtd) { return os << dtd.getString(); }
