// The renderer walks the tree with an explicit stack and appends everything
// to one string, so its cost is linear in the output and its stack use does
// not grow with the depth of the tree.
#include "xml/writer.h"

#include <bit>
#include <cstdint>
#include <cstring>
#include <vector>

#include "xml/entry.h"
#include "xml/reader.h"

namespace {

bool escaped(char c) { return c == '<' || c == '>' || c == '&' || c == '\\'; }

// The set high bit of each byte of `w` that equals `b`. Only the lowest set
// bit is sure to be right (a borrow may mark a byte above a true one), and
// that is the only one used.
uint64_t bytesEqual(uint64_t w, unsigned char b) {
  constexpr uint64_t kOnes = 0x0101010101010101u, kHighs = 0x8080808080808080u;
  const uint64_t x = w ^ (kOnes * b);
  return (x - kOnes) & ~x & kHighs;
}

// The place of the first byte at or after `i` that is escaped, or s.size().
// Text is looked at eight bytes at a time: most of it holds none.
size_t nextEscaped(const std::string& s, size_t i) {
  const char* p = s.data();
  const size_t n = s.size();
  if constexpr (std::endian::native == std::endian::little) {
    for (; i + 8 <= n; i += 8) {
      uint64_t w;
      memcpy(&w, p + i, 8);
      const uint64_t hits =
          bytesEqual(w, '<') | bytesEqual(w, '>') | bytesEqual(w, '&') | bytesEqual(w, '\\');
      if (hits != 0) return i + static_cast<size_t>(std::countr_zero(hits) / 8);
    }
  }
  while (i < n && !escaped(p[i])) ++i;
  return i;
}

}  // namespace

void parseStringTo(std::string* out, const std::string& s, bool escBackslash) {
  // Runs between the bytes that need an escape are appended whole.
  size_t from = 0;
  for (size_t i = nextEscaped(s, 0); i < s.size(); i = nextEscaped(s, from)) {
    out->append(s, from, i - from);
    from = i + 1;
    switch (s[i]) {
      case '<':
        out->append("&lt;");
        break;
      case '>':
        out->append("&gt;");
        break;
      case '&':
        out->append("&amp;");
        break;
      default:  // a backslash
        out->push_back('\\');
        if (escBackslash) out->push_back('\\');
    }
  }
  out->append(s, from, s.size() - from);
}

std::string parseString(const std::string& s, bool escBackslash) {
  std::string out;
  out.reserve(s.size());
  parseStringTo(&out, s, escBackslash);
  return out;
}

namespace {

struct Frame {
  const XMLEntry* node;
  size_t next;  // index of the next child to render
  bool tags;
};

// Open tag and text; the line end when children follow.
void openNode(std::string* out, const XMLEntry* e, const std::string& indent,
              const std::string& lineEnd, bool tags, bool esc) {
  if (tags) {
    out->append(indent);
    out->push_back('<');
    parseStringTo(out, e->name, esc);
    out->push_back('>');
  }
  if (!e->value.empty()) parseStringTo(out, e->value, esc);
  if (!e->children.empty()) out->append(lineEnd);
}

void closeNode(std::string* out, const XMLEntry* e, const std::string& indent,
               const std::string& lineEnd, bool tags, bool esc) {
  if (!tags) return;
  if (!e->children.empty()) out->append(indent);
  out->append("</");
  parseStringTo(out, e->name, esc);
  out->push_back('>');
  out->append(lineEnd);
}

}  // namespace

void XMLprintEntryTo(std::string* out, const XMLEntry* e, const std::string& indent,
                     const std::string& step, const std::string& lineEnd,
                     const std::string& after, bool withTags, bool escBackslash) {
  if (e == nullptr) return;
  // `ind` is always the indentation of the node on top of the stack.
  std::string ind = indent;
  std::vector<Frame> stack;
  openNode(out, e, ind, lineEnd, withTags, escBackslash);
  stack.push_back({e, 0, withTags});
  while (!stack.empty()) {
    Frame& top = stack.back();
    const auto& kids = top.node->children;
    while (top.next < kids.size() && kids[top.next] == nullptr) ++top.next;
    if (top.next < kids.size()) {
      const XMLEntry* child = kids[top.next++];
      ind.append(step);
      openNode(out, child, ind, lineEnd, true, escBackslash);
      stack.push_back({child, 0, true});
      continue;
    }
    closeNode(out, top.node, ind, lineEnd, top.tags, escBackslash);
    stack.pop_back();
    if (!stack.empty()) ind.resize(ind.size() - step.size());
  }
  out->append(after);
}

std::string XMLprintEntry(const XMLEntry* e, const std::string& indent, const std::string& step,
                          const std::string& lineEnd, const std::string& after, bool withTags,
                          bool escBackslash) {
  std::string out;
  XMLprintEntryTo(&out, e, indent, step, lineEnd, after, withTags, escBackslash);
  return out;
}

std::string XMLprintEntry(const XMLEntry* e, bool withTags, bool escBackslash) {
  static const std::string kNone;
  return XMLprintEntry(e, kNone, kNone, kNone, kNone, withTags, escBackslash);
}

std::string XMLprintEntry(const XMLEntry* e, int props, bool withTags, bool escBackslash) {
  std::string out;
  XMLprintEntryTo(&out, e, props, withTags, escBackslash);
  return out;
}

void XMLprintEntryTo(std::string* out, const XMLEntry* e, int props, bool withTags,
                     bool escBackslash) {
  static const std::string kNone, kStep = "  ", kLine = "\n";
  const std::string& step = (props & XML_INDENT) ? kStep : kNone;
  const std::string& lineEnd = (props & XML_LINES) ? kLine : kNone;
  const std::string& after = (props & XML_AFTER) ? kLine : kNone;
  XMLprintEntryTo(out, e, kNone, step, lineEnd, after, withTags, escBackslash);
}

std::string XML::getString(bool escBackslash) {
  return XMLprintEntry(root, outProps, true, escBackslash);
}
