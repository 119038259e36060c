// The renderer walks the tree with an explicit stack and appends everything
// to one string, so its cost is linear in the output and its stack use does
// not grow with the depth of the tree.
#include "xml/writer.h"

#include <vector>

#include "xml/entry.h"
#include "xml/reader.h"

void parseStringTo(std::string* out, const std::string& s, bool escBackslash) {
  // Most text needs no escape: runs between the bytes that do are appended
  // whole.
  size_t from = 0;
  for (size_t i = 0; i < s.size(); ++i) {
    const char c = s[i];
    if (c != '<' && c != '>' && c != '&' && c != '\\') continue;
    out->append(s, from, i - from);
    from = i + 1;
    switch (c) {
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

// Asks for the children's nodes ahead of their turn: a tree is usually
// built on another core, and its nodes would otherwise arrive one cache
// miss after another.
void prefetchChildren(const XMLEntry* e) {
  for (const XMLEntry* c : e->children) {
    __builtin_prefetch(c);
    __builtin_prefetch(reinterpret_cast<const char*>(c) + 64);
  }
}

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
  prefetchChildren(e);
  openNode(out, e, ind, lineEnd, withTags, escBackslash);
  stack.push_back({e, 0, withTags});
  while (!stack.empty()) {
    Frame& top = stack.back();
    const auto& kids = top.node->children;
    while (top.next < kids.size() && kids[top.next] == nullptr) ++top.next;
    if (top.next < kids.size()) {
      const XMLEntry* child = kids[top.next++];
      ind.append(step);
      prefetchChildren(child);
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
  return XMLprintEntry(e, 0, withTags, escBackslash);
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
