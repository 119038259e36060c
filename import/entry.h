// EntryBuilder: one dictionary entry, assembled as lexorn's reader will read
// it back.
//
// Elements arrive in document order (open, text, close) and are kept in
// pre-order with their level. When the entry is complete it is rendered in
// lexorn's one-line form: each element's open tag, its text, its children,
// its close tag. lexorn's reader joins the text pieces of an element without
// a separator and trims each piece, so an element's text is always written
// as one piece before its children: "see <xr>x</xr> also" gives the element
// the text "see also" and the child XR.
//
// White space: each run of white space (or of other control characters,
// which the reader would turn into spaces anyway) becomes one space, and an
// element's text is trimmed at both ends; an entry thus fits on one line.
// "<", ">" and "&" are written as "&lt;", "&gt;" and "&amp;", the only forms
// the reader decodes. Text is kept as given (UTF-8); conversion is the
// caller's business.
//
// Limits, those of lexorn's reader: at most kMaxLevels nested levels, the
// upmost element included; at most kMaxChildren children per element; at
// most kMaxElements elements per entry; and the upmost element must hold at
// least one element, or the reader never returns the entry. An entry that
// breaks one is refused whole: the first fault is kept (with the lexorn path
// of the element where it happened) and render() writes nothing.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "base/text.h"
#include "import/names.h"
#include "xml/entry.h"
#include "xml/reader.h"

class EntryBuilder {
 public:
  static constexpr int kMaxLevels = XML::kMaxDepth - 1;
  static constexpr int kMaxChildren = XMLEntry::kMaxChildren;
  static constexpr int kMaxElements = strings::kCapacity;

  enum class Fault { kNone, kTooDeep, kTooManyChildren, kTooManyElements, kNoChild };

  explicit EntryBuilder(const NameMapper& names) : names_(names) {}

  // Starts a new entry whose upmost element is named `nameId`.
  void begin(int nameId);
  // Opens an element inside the innermost open one.
  void open(int nameId);
  // Text standing directly inside the innermost open element.
  void text(std::string_view s);
  // Closes the innermost open element.
  void close();

  // Elements open now (0 once the upmost element has closed).
  int depth() const { return static_cast<int>(open_.size()); }
  // The first fault found so far; kNoChild only shows once the entry is done.
  Fault fault() const;
  // Where the fault happened: the lexorn path of the offending element.
  const std::string& faultPath() const { return faultPath_; }

  // Appends the complete entry (no line feed) to *out; false, writing
  // nothing, when the entry is refused.
  bool render(std::string* out) const;

 private:
  struct Node {
    int nameId = 0;
    int level = 0;
    int children = 0;
    bool space = false;  // white space seen since the last text byte
    std::string text;
  };

  void refuse(Fault f, int nameId);
  std::string openPath(int nameId) const;

  const NameMapper& names_;
  std::vector<Node> nodes_;  // reused from entry to entry
  size_t used_ = 0;
  std::vector<int> open_;    // node indexes of the open elements; -1 once refused
  Fault fault_ = Fault::kNone;
  std::string faultPath_;
  mutable std::vector<int> renderStack_;  // render's scratch, kept for reuse
};

// A short English description of a fault, for messages.
const char* describe(EntryBuilder::Fault f);
