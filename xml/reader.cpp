// The entry reader: a byte-driven state machine and its two drivers.
//
// The stream driver holds one look-ahead byte that it has already taken from
// the stream and gives it back with a single ungetc when the entry ends, so
// the stream position callers see afterwards is exactly the one a reader that
// peeks at every byte would leave. Bytes are read with getc_unlocked, which
// takes them from the stdio buffer without a call or a lock per byte.
#include "xml/reader.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "base/czech.h"
#include "base/text.h"
#include "base/word.h"
#include "xml/entrypool.h"
#include "xml/writer.h"

namespace {

// An entry may hold at most as many nodes as the value lists can take.
constexpr int kMaxNodes = strings::kCapacity;


// Appends `s` without its leading and trailing spaces (0x20 only).
void appendTrimmed(std::string* out, const std::string& s) {
  size_t b = 0;
  size_t e = s.size();
  while (b < e && s[b] == ' ') ++b;
  while (e > b && s[e - 1] == ' ') --e;
  out->append(s, b, e - b);
}

std::string compact(const XMLEntry* e) { return XMLprintEntry(e, true, false); }

// Bytes that the character step appends unchanged whatever follows them:
// everything but control bytes and the five bytes with a meaning of their
// own. The drivers pass runs of them on without a step each.
struct PlainTable {
  bool plain[256];
  PlainTable() {
    for (int c = 0; c < 256; ++c) plain[c] = c >= 0x20;
    for (unsigned char c : {'<', '&', '/', '>', '\\'}) plain[c] = false;
  }
};
const PlainTable kPlain;

inline bool isPlain(int c) { return kPlain.plain[static_cast<unsigned char>(c)]; }

// Appends to `dst` the plain bytes waiting in the stream's buffer up to the
// first other one, and passes over them. getc_unlocked under the GNU C
// library takes bytes through the same two pointers one at a time; a word
// of text is taken here in one append. Elsewhere nothing is taken, and the
// caller's byte loop does it all.
void takePlainRun(FILE* in, std::string* dst) {
#ifdef __GLIBC__
  const char* from = in->_IO_read_ptr;
  const char* end = in->_IO_read_end;
  if (from >= end) return;
  const char* to = from;
  while (to < end && isPlain(*to)) ++to;
  dst->append(from, static_cast<size_t>(to - from));
  in->_IO_read_ptr += to - from;
#else
  (void)in;
  (void)dst;
#endif
}

// Reads one line without its line feed; false when the input was already at
// its end (a last line without a line feed still counts).
bool readLine(FILE* f, std::string* line) {
  line->clear();
  flockfile(f);
  int c = getc_unlocked(f);
  bool any = c != EOF;
  while (c != EOF && c != '\n') {
    line->push_back(static_cast<char>(c));
    c = getc_unlocked(f);
  }
  funlockfile(f);
  return any;
}

}  // namespace

XML::XML() : root(new XMLEntry) {}

XML::~XML() {
  discardPartial();
  delete root;
}

void XML::report(const std::string& message) {
  if (heldMessages != nullptr)
    heldMessages->append(message);
  else
    std::fwrite(message.data(), 1, message.size(), stderr);
  ++errors;
}

// --- the character step -----------------------------------------------

void XML::appendChar(char c) {
  if (isIn_) {
    t_.push_back(c);
  } else {
    v_.push_back(c);
  }
}

XMLEntry* XML::newNode() { return nodePool != nullptr ? nodePool->take() : new XMLEntry; }

void XML::dropNode(XMLEntry* node) {
  if (nodePool != nullptr)
    nodePool->give(node);
  else
    delete node;
}

void XML::discardPartial() {
  // Every open element is still unattached; each owns what closed inside it.
  for (int i = 0; i < actl_; ++i) dropNode(levels_[i]);
  actl_ = 0;
}

void XML::resetState() {
  discardPartial();
  t_.clear();
  v_.clear();
  isOpen_ = false;
  isIn_ = false;
  finish_ = false;
  overflow_ = false;
  nodes_ = 0;
}

bool XML::complete() {
  XMLEntry* entry = levels_[0];
  for (int i = 1; i < actl_; ++i) dropNode(levels_[i]);
  actl_ = 0;
  dropNode(root);
  root = entry;
  if (overflow_) root->clear();  // refused: the caller sees no entry
  t_.clear();
  v_.clear();
  finish_ = false;
  isIn_ = false;
  isOpen_ = false;
  overflow_ = false;
  nodes_ = 0;
  return true;
}

bool XML::openTag() {
  XMLEntry* node = newNode();
  levels_[actl_] = node;
  if (actl_ == 0) {
    if (upmost.empty()) {
      upmost = t_;
    } else if (t_ != upmost) {
      report("Parse error: Failed to match the upmost open tag " + upmost + " (" + t_ + ") in " +
             compact(node) + "\n");
      return complete();
    }
  }
  if (keepPaths) {
    if (actl_ == 0) {
      node->path = t_;
    } else {
      const std::string& above = levels_[actl_ - 1]->path;
      node->path.reserve(above.size() + 1 + t_.size());
      node->path.append(above).append(1, '.').append(t_);
    }
  }
  node->name = t_;
  node->level = actl_;
  ++actl_;
  if (++nodes_ > kMaxNodes && !overflow_) {
    report("Parse error: Too many elements (" + std::to_string(kMaxNodes) + ") in " +
           levels_[0]->name + "\n");
    overflow_ = true;
  }
  if (actl_ == kMaxDepth) {
    report("Parse error: Too much recurse (" + std::to_string(kMaxDepth) + ") in " +
           compact(levels_[0]) + "\n");
    return complete();
  }
  t_.clear();
  return false;
}

std::string XML::pathAt(int level) const {
  std::string path = levels_[0]->name;
  for (int i = 1; i <= level; ++i) path.append(1, '.').append(levels_[i]->name);
  return path;
}

bool XML::closeTag() {
  --actl_;
  if (actl_ < 0) {
    // Nothing is open, so there is no element to show: the empty one stands
    // for it. The read ends; the current entry keeps no children.
    actl_ = 0;
    report("Parse error: Close tag as the upmost tag (" + t_ + ") in <></>\n");
    resetState();
    return true;
  }
  XMLEntry* closed = levels_[actl_];
  XMLEntry* orphan = nullptr;  // a closed element that could not be attached
  if (actl_ > 0) {
    XMLEntry* parent = levels_[actl_ - 1];
    if (overflow_) {
      orphan = closed;  // the entry is refused anyway; keep memory bounded
    } else if (!parent->addEntry(closed)) {
      report("Parse error: Too many children (" + std::to_string(XMLEntry::kMaxChildren) +
             ") in " + pathAt(actl_ - 1) + "\n");
      overflow_ = true;
      orphan = closed;
    }
  }
  bool endNow = false;
  if (!sameBytes(closed->name, t_)) {
    report("Parse error: (open/close tag) " + closed->name + "!=" + t_ + " in " + compact(closed) +
           "\n");
    endNow = t_ == levels_[0]->name;
  }
  if (orphan != nullptr) dropNode(orphan);
  if (endNow) return complete();
  if (actl_ == 0) finish_ = true;
  t_.clear();
  return finish_ ? complete() : false;
}

bool XML::endOfTag() {
  isIn_ = false;
  ucaseInPlace(&t_);
  return isOpen_ ? openTag() : closeTag();
}

bool XML::getEntrySwitch(char c, char next, int* skip, int init) {
  int ignored = 0;
  if (skip == nullptr) skip = &ignored;
  if (init != 0) {
    resetState();
    return false;
  }
  switch (c) {
    case '<':
      sawMarkup_ = true;
      isIn_ = true;
      isOpen_ = true;
      if (actl_ > 0) appendTrimmed(&levels_[actl_ - 1]->value, v_);
      v_.clear();
      return false;
    case '&':
      if (next == 'l') {
        c = '<';
        *skip = 3;
      } else if (next == 'g') {
        c = '>';
        *skip = 3;
      } else if (next == 'a') {
        *skip = 4;
      }
      appendChar(c);
      return false;
    case '/':
      if (isIn_) {
        isOpen_ = false;
      } else {
        v_.push_back(c);
      }
      return false;
    case '>':
      return isIn_ ? endOfTag() : false;
    case '\\':
      if (escapes != 0 && (next == '<' || next == '>' || next == '\\')) {
        c = next;
        *skip = 1;
      }
      appendChar(c);
      return false;
    default:
      if (static_cast<unsigned char>(c) < 0x20) c = ' ';
      appendChar(c);
      return false;
  }
}

// --- drivers ------------------------------------------------------------

void XML::beginRead() {
  int skip = 0;
  clear();
  getEntrySwitch(0, 0, &skip, 1);
  sawMarkup_ = false;
}

bool XML::endRead(bool completed) {
  if (!completed) discardPartial();  // the input ended inside an entry
  bool ok = false;
  if (root != nullptr && root->count() > 0) {
    if (!root->name.empty()) {
      ok = true;
    } else {
      report("Parse error: No upmost tag name\n");
    }
  }
  if (!ok && sawMarkup_) ++skipped;
  return ok;
}

bool XML::getEntry(FILE** f) {
  beginRead();
  if (f == nullptr || *f == nullptr) return endRead(false);
  FILE* in = *f;
  bool completed = false;
  int skip = 0;
  flockfile(in);
  int c = getc_unlocked(in);
  while (c != EOF) {
    if (isPlain(c)) {
      std::string& dst = isIn_ ? t_ : v_;
      do {
        dst.push_back(static_cast<char>(c));
        takePlainRun(in, &dst);
        c = getc_unlocked(in);
      } while (c != EOF && isPlain(c));
      continue;
    }
    int next = getc_unlocked(in);  // held, not yet given to the step
    if (getEntrySwitch(static_cast<char>(c), next == EOF ? '\0' : static_cast<char>(next), &skip,
                       0)) {
      completed = true;
      if (next != EOF) ungetc(next, in);
      break;
    }
    if (skip > 0) {
      // The held byte is the first one passed over.
      for (int i = 1; i < skip && next != EOF; ++i) next = getc_unlocked(in);
      skip = 0;
      c = next == EOF ? EOF : getc_unlocked(in);
    } else {
      c = next;
    }
  }
  funlockfile(in);
  return endRead(completed);
}

bool XML::getEntry(const std::string& text) {
  beginRead();
  bool completed = false;
  int skip = 0;
  const size_t n = text.size();
  for (size_t i = 0; i < n; ++i) {
    if (isPlain(text[i])) {
      size_t end = i + 1;
      while (end < n && isPlain(text[end])) ++end;
      (isIn_ ? t_ : v_).append(text, i, end - i);
      i = end - 1;
      continue;
    }
    char next = i + 1 < n ? text[i + 1] : '\0';
    if (getEntrySwitch(text[i], next, &skip, 0)) {
      completed = true;
      break;
    }
    i += skip;
    skip = 0;
  }
  return endRead(completed);
}

void XML::clear() {
  if (root != nullptr) root->clear();
}

void XML::findParents() {
  if (root == nullptr) return;
  std::vector<XMLEntry*> pending{root};
  while (!pending.empty()) {
    XMLEntry* node = pending.back();
    pending.pop_back();
    for (XMLEntry* child : node->children) {
      if (child == nullptr) continue;
      child->parent = node;
      pending.push_back(child);
    }
  }
}

// --- the declaration ------------------------------------------------------

void XML::readHeader(FILE* f) {
  if (f == nullptr) return;
  long p = std::ftell(f);
  char line[1024];
  char enc[101] = "";
  bool haveEnc = false;
  if (std::fgets(line, sizeof line, f) != nullptr) {
    char* close = std::strstr(line, "?>");
    if (close != nullptr) {
      char* q = close + 2;
      while (*q != '\0' && isWordBlank(*q)) ++q;
      long after = p + static_cast<long>(q - line);
      close[2] = '\0';
      const char* decl = std::strstr(line, "<?xml");
      if (decl != nullptr) {
        char gt = 0;
        bool known = false;
        if (std::sscanf(decl, "<?xml version=\"1.0\" encoding=\"%100[^\"]\" ?>", enc) == 1) {
          known = true;
          haveEnc = true;
        } else if (std::sscanf(decl, "<?xml version=\"1.0\" ?%c", &gt) == 1 && gt == '>') {
          known = true;
        }
        if (known) {
          escapes = 0;
          p = after;
        }
      }
    }
  }
  std::fseek(f, p, SEEK_SET);
  if (haveEnc) encoding = enc;
}

void XML::printHeader(FILE* f) {
  printHeader(f, encoding.empty() ? nullptr : encoding.c_str());
}

void XML::printHeader(FILE* f, const char* encoding) {
  if (f == nullptr) return;
  if (encoding == nullptr) {
    std::fputs("<?xml version=\"1.0\"?>\n", f);
  } else {
    std::fprintf(f, "<?xml version=\"1.0\" encoding=\"%s\"?>\n", encoding);
  }
}

// --- value lists and text export -------------------------------------------

bool XMLgetEntStr(const XMLEntry* e, strings* values, strings* names) {
  if (e == nullptr) return true;
  struct Frame {
    const XMLEntry* node;
    size_t next;
  };
  std::vector<Frame> stack{{e, 0}};
  while (!stack.empty()) {
    Frame& top = stack.back();
    if (top.next < top.node->children.size()) {
      const XMLEntry* child = top.node->children[top.next++];
      if (child != nullptr) stack.push_back({child, 0});
      continue;
    }
    bool fitV = values->push(top.node->value);
    bool fitN = names->push(top.node->name);
    if (!fitV || !fitN) return false;
    stack.pop_back();
  }
  return true;
}

bool XML::getEntStr() {
  values.reset();
  names.reset();
  if (XMLgetEntStr(root, &values, &names)) return true;
  report("Parse error: Too many elements (" + std::to_string(strings::kCapacity) + ") in " +
         root->name + "\n");
  return false;
}

void XML::exportText(FILE** f, long id) {
  if (values.count == 0 || f == nullptr || *f == nullptr) return;
  FILE* out = *f;
  std::fprintf(out, "%ld\n", id);
  for (int i = 0; i < values.count; ++i) {
    const std::string& item = values[i];
    if (item.empty()) continue;
    std::fwrite(item.data(), 1, item.size(), out);
    std::fputc('\n', out);
  }
  std::fputc('\n', out);
}

bool XML::getTextEntry(FILE** f, long* id) {
  values.reset();
  if (f == nullptr || *f == nullptr) return false;
  std::string line;
  if (!readLine(*f, &line)) return false;
  long number = std::strtol(line.c_str(), nullptr, 10);
  if (id != nullptr) *id = number;
  bool full = false;
  while (readLine(*f, &line)) {
    if (!values.push(line) && !full) {
      full = true;
      report("Parse error: Too many lines (" + std::to_string(strings::kCapacity) +
             ") in text entry " + std::to_string(number) + "\n");
    }
    if (line.empty()) break;
  }
  return true;
}

// --- entries from text ------------------------------------------------------

XMLEntry* XML::makeXMLEntry(const std::string& path, const std::string& value) {
  std::string name = fnExt(path);
  if (name.empty()) name = path;
  std::string inner = value;
  if (!inner.empty() && (inner[0] == '"' || inner[0] == '\'')) {
    inner = inner.size() >= 2 ? inner.substr(1, inner.size() - 2) : std::string();
  }
  XML reader;
  reader.getEntry("<" + name + ">" + inner + "</" + name + ">");
  return XMLcopyEntry(reader.root, nullptr);
}

XMLEntry* XML::makeXMLEntry(const std::string& text) {
  XML reader;
  reader.getEntry(text);
  return XMLcopyEntry(reader.root, nullptr);
}
