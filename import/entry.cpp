#include "import/entry.h"

#include <array>

namespace {

enum ByteClass : unsigned char { kPlain, kSpace, kEscape };

constexpr std::array<ByteClass, 256> classes() {
  std::array<ByteClass, 256> t{};
  for (int c = 0; c <= 0x20; ++c) t[c] = kSpace;
  t['<'] = t['>'] = t['&'] = kEscape;
  return t;
}
constexpr std::array<ByteClass, 256> kClass = classes();

// The end of the run of bytes from i on that are copied as they are: any
// byte but white space and "<", ">", "&", and single spaces between them.
inline size_t plainRun(std::string_view s, size_t i) {
  const size_t size = s.size();
  size_t j = i;
  for (;;) {
    while (j < size && kClass[static_cast<unsigned char>(s[j])] == kPlain) ++j;
    bool singleSpace = j > i && j + 1 < size && s[j] == ' ' &&
                       kClass[static_cast<unsigned char>(s[j + 1])] == kPlain;
    if (!singleSpace) return j;
    j += 2;
  }
}

const char* escaped(char c) {
  if (c == '<') return "&lt;";
  if (c == '>') return "&gt;";
  return "&amp;";
}

}  // namespace

const char* describe(EntryBuilder::Fault f) {
  switch (f) {
    case EntryBuilder::Fault::kTooDeep:
      return "elements nested too deep";
    case EntryBuilder::Fault::kTooManyChildren:
      return "an element with too many children";
    case EntryBuilder::Fault::kTooManyElements:
      return "too many elements";
    case EntryBuilder::Fault::kNoChild:
      return "no child element";
    case EntryBuilder::Fault::kNone:
      break;
  }
  return "none";
}

void EntryBuilder::begin(int nameId) {
  used_ = 0;
  open_.clear();
  fault_ = Fault::kNone;
  faultPath_.clear();
  open(nameId);
}

void EntryBuilder::open(int nameId) {
  if (fault_ != Fault::kNone || (!open_.empty() && open_.back() < 0)) {
    open_.push_back(-1);
    return;
  }
  int level = depth();
  if (level >= kMaxLevels) return refuse(Fault::kTooDeep, nameId);
  if (used_ >= static_cast<size_t>(kMaxElements)) return refuse(Fault::kTooManyElements, nameId);
  if (level > 0 && nodes_[open_.back()].children >= kMaxChildren)
    return refuse(Fault::kTooManyChildren, nameId);
  if (level > 0) ++nodes_[open_.back()].children;
  if (used_ == nodes_.size()) nodes_.emplace_back();
  Node& n = nodes_[used_];
  n.nameId = nameId;
  n.level = level;
  n.children = 0;
  n.space = false;
  n.text.clear();
  open_.push_back(static_cast<int>(used_++));
}

void EntryBuilder::refuse(Fault f, int nameId) {
  fault_ = f;
  faultPath_ = openPath(nameId);
  open_.push_back(-1);
}

std::string EntryBuilder::openPath(int nameId) const {
  std::string path;
  for (int i : open_) {
    path += names_.name(nodes_[i].nameId);
    path += '.';
  }
  return path + names_.name(nameId);
}

// A single space between two words is copied with them; runs of white
// space and the bytes that need escaping go the slow way.
void EntryBuilder::text(std::string_view s) {
  if (open_.empty() || open_.back() < 0) return;
  Node& n = nodes_[open_.back()];
  const size_t size = s.size();
  size_t i = 0;
  while (i < size) {
    size_t j = plainRun(s, i);
    if (j == i && kClass[static_cast<unsigned char>(s[i])] == kSpace) {
      n.space = true;
      ++i;
      continue;
    }
    if (n.space && !n.text.empty()) n.text += ' ';
    n.space = false;
    if (j == i) {
      n.text += escaped(s[j++]);
    } else {
      n.text.append(s.data() + i, j - i);
    }
    i = j;
  }
}

void EntryBuilder::close() {
  if (!open_.empty()) open_.pop_back();
}

EntryBuilder::Fault EntryBuilder::fault() const {
  if (fault_ == Fault::kNone && open_.empty() && used_ < 2) return Fault::kNoChild;
  return fault_;
}

bool EntryBuilder::render(std::string* out) const {
  if (fault() != Fault::kNone) return false;
  std::vector<int>& stack = renderStack_;
  stack.clear();
  auto closeTag = [&]() {
    *out += "</";
    *out += names_.name(nodes_[stack.back()].nameId);
    *out += '>';
    stack.pop_back();
  };
  for (size_t i = 0; i < used_; ++i) {
    const Node& n = nodes_[i];
    while (!stack.empty() && nodes_[stack.back()].level >= n.level) closeTag();
    *out += '<';
    *out += names_.name(n.nameId);
    *out += '>';
    *out += n.text;
    stack.push_back(static_cast<int>(i));
  }
  while (!stack.empty()) closeTag();
  return true;
}
