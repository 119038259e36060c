#include "import/importer.h"

#include <cstdint>
#include <cstdio>

namespace {

// Progress is worth showing from a few megabytes on.
constexpr long kProgressThreshold = 4L << 20;

// Entries go to the writer thread in batches of this size.
constexpr size_t kWriteChunk = 1 << 20;

constexpr char kDeclaration[] = "<?xml version=\"1.0\" encoding=\"ISO-8859-2\"?>\n";

bool isAscii(std::string_view s) {
  for (char c : s)
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  return true;
}

bool isBlank(std::string_view s) {
  for (char c : s)
    if (static_cast<unsigned char>(c) > 0x20) return false;
  return true;
}

std::string_view localPart(std::string_view name) {
  size_t colon = name.rfind(':');
  return colon == std::string_view::npos ? name : name.substr(colon + 1);
}

LeftOut reasonOf(EntryBuilder::Fault f) {
  switch (f) {
    case EntryBuilder::Fault::kTooDeep:
      return LeftOut::kTooDeep;
    case EntryBuilder::Fault::kTooManyChildren:
      return LeftOut::kTooManyChildren;
    case EntryBuilder::Fault::kTooManyElements:
      return LeftOut::kTooManyElements;
    default:
      return LeftOut::kNoChild;
  }
}

std::string noteText(const NameMapper::Note& n) {
  if (!n.other.empty())
    return "Warning: the names '" + n.other + "' and '" + n.source + "' are both written as " +
           n.mapped + ".";
  return "Note: the name '" + n.source + "' is written as " + n.mapped + ".";
}

std::string where(long line, long column) {
  std::string at = ":" + std::to_string(line);
  return column > 0 ? at + ":" + std::to_string(column) : at;
}

}  // namespace

Importer::Importer(const ImportOptions& opts, Console* console) : opts_(opts), console_(console) {}

Importer::Outcome Importer::run(XmlSource* src, AtomicFile* out) {
  src_ = src;
  out_ = out;
  if (!latin2_.ok() || !checker_.ok()) {
    error_ = "The C library cannot convert text to ISO-8859-2.";
    return Outcome::kFailed;
  }
  if (!out_->write(kDeclaration)) {
    error_ = out_->error();
    return Outcome::kFailed;
  }
  ConvertingWriter writer(out_, &latin2_);
  writer_ = &writer;
  int rc = readAll();
  writePending();
  if (!writer.finish()) failed_ = true;
  writer_ = nullptr;
  flushNotes();
  console_->endProgress();
  collectCounts();
  return outcome(rc);
}

int Importer::readAll() {
  console_->startProgress(src_->size(), kProgressThreshold);
  int rc = 1;
  unsigned nodes = 0;
  while (rc == 1 && !refused_ && !failed_) {
    rc = skipNext_ ? src_->skipSubtree() : src_->next();
    skipNext_ = false;
    if (rc == 1) onNode();
    if ((++nodes & 0xFF) == 0) console_->progress(src_->bytesRead());
  }
  return rc;
}

Importer::Outcome Importer::outcome(int rc) {
  if (rc < 0) error_ = src_->error();
  if (failed_) error_ = out_->error();
  if (rc < 0 || failed_) return Outcome::kFailed;
  if (refused_) return Outcome::kRefused;
  return found_ == 0 ? Outcome::kNoEntries : Outcome::kDone;
}

void Importer::collectCounts() {
  stats_.namesChanged = names_.changed();
  stats_.nameCollisions = names_.collisions();
  stats_.transliterated = latin2_.transliterated();
  stats_.unknown = latin2_.unknown();
}

void Importer::onNode() {
  switch (src_->type()) {
    case XML_READER_TYPE_ELEMENT:
      onElement();
      break;
    case XML_READER_TYPE_END_ELEMENT:
      onEndElement();
      break;
    case XML_READER_TYPE_TEXT:
    case XML_READER_TYPE_CDATA:
    case XML_READER_TYPE_WHITESPACE:
    case XML_READER_TYPE_SIGNIFICANT_WHITESPACE:
      onText();
      break;
    case XML_READER_TYPE_ENTITY_REFERENCE:
      onEntityReference();
      break;
    default:  // comments, processing instructions, the DOCTYPE: left out
      break;
  }
  if (names_.hasNotes() || src_->hasWarnings()) flushNotes();
}

void Importer::onElement() {
  std::string_view name = src_->name();
  if (inEntry_) return openElement(nameId(name));
  int depth = src_->depth();
  if (isEntryStart(name, depth)) return startEntry(nameId(name));
  if (!opts_.entry.empty() || depth != 1) return;
  leaveOut(LeftOut::kOtherName, src_->position().line,
           lexornName(name) + " is not " + names_.name(entryName_) +
               ", the name of the entries (--entry NAME chooses the entries)");
  skipNext_ = true;
}

bool Importer::isEntryStart(std::string_view name, int depth) const {
  if (!opts_.entry.empty()) {
    bool qualified = opts_.entry.find(':') != std::string::npos;
    return (qualified ? name : localPart(name)) == opts_.entry;
  }
  if (depth != 1) return false;
  return entryName_ < 0 || lexornName(name) == names_.name(entryName_);
}

void Importer::startEntry(int nameId) {
  inEntry_ = true;
  ++found_;
  entryLine_ = src_->position().line;
  entryNameId_ = nameId;
  entryAttributes_ = 0;
  bool empty = src_->isEmptyElement();
  entry_.begin(nameId);
  addAttributes();
  if (empty) finishEntry();
}

void Importer::openElement(int nameId) {
  bool empty = src_->isEmptyElement();
  entry_.open(nameId);
  addAttributes();
  if (empty) entry_.close();
}

void Importer::addAttributes() {
  if (opts_.dropAttributes || !src_->hasAttributes()) return;
  while (src_->nextAttribute()) {
    std::string_view name = src_->name();
    std::string_view value = src_->value();
    if (!acceptText(value, name)) break;
    entry_.open(nameId(name));
    entry_.text(value);
    entry_.close();
    ++entryAttributes_;
  }
  src_->endAttributes();
}

void Importer::onEndElement() {
  if (!inEntry_) return;
  if (entry_.depth() == 1) return finishEntry();
  entry_.close();
}

void Importer::onText() {
  std::string_view text = src_->value();
  if (inEntry_) {
    if (acceptText(text, {})) entry_.text(text);
  } else if (opts_.entry.empty() && src_->depth() == 1 && !isBlank(text)) {
    ++stats_.strayText;
  }
}

void Importer::onEntityReference() {
  if (!inEntry_) return;
  ++stats_.unresolved;
  entry_.text("&" + std::string(src_->name()) + ";");
}

void Importer::finishEntry() {
  entry_.close();
  inEntry_ = false;
  EntryBuilder::Fault fault = entry_.fault();
  if (fault != EntryBuilder::Fault::kNone) return leaveOut(reasonOf(fault), entryLine_, faultDetail());
  if (opts_.entry.empty() && entryName_ < 0) entryName_ = entryNameId_;
  entry_.render(&pending_);
  pending_ += '\n';
  if (pending_.size() >= kWriteChunk) writePending();
  ++stats_.written;
  stats_.attributes += entryAttributes_;
}

std::string Importer::faultDetail() const {
  const std::string& path = entry_.faultPath();
  switch (entry_.fault()) {
    case EntryBuilder::Fault::kTooDeep:
      return path + " lies deeper than " + std::to_string(EntryBuilder::kMaxLevels) +
             " levels, the most lexorn reads";
    case EntryBuilder::Fault::kTooManyChildren:
      return path + " would be child " + std::to_string(EntryBuilder::kMaxChildren + 1) +
             " of its parent; lexorn reads at most " + std::to_string(EntryBuilder::kMaxChildren);
    case EntryBuilder::Fault::kTooManyElements:
      return path + " would be element " + std::to_string(EntryBuilder::kMaxElements + 1) +
             " of the entry; lexorn reads at most " + std::to_string(EntryBuilder::kMaxElements);
    default:
      return names_.name(entryNameId_) +
             " holds no element; lexorn reads an entry only when its upmost element holds one";
  }
}

void Importer::leaveOut(LeftOut why, long line, const std::string& detail) {
  ++stats_.leftOut[static_cast<int>(why)];
  console_->line("Left out " + opts_.input + ":" + std::to_string(line) + ": " + detail + ".");
}

bool Importer::acceptText(std::string_view text, std::string_view attribute) {
  if (!opts_.strict || isAscii(text)) return true;
  size_t at = checker_.firstUnconvertible(text);
  if (at == text.size()) return true;
  refuse(text, at, attribute);
  return false;
}

void Importer::refuse(std::string_view text, size_t at, std::string_view attribute) {
  refused_ = true;
  std::string_view ch = text.substr(at, utf8Length(static_cast<unsigned char>(text[at])));
  char code[16];
  snprintf(code, sizeof code, "U+%04X", utf8CodePoint(ch.data(), ch.size()));
  Position p = attribute.empty() ? positionIn(src_->position(), text, at) : src_->position();
  std::string what = "the character " + std::string(code) + " (" + std::string(ch) + ")";
  if (!attribute.empty())
    what += " in the value of the attribute " + std::string(attribute) + " of the start tag ending here";
  error_ = opts_.input + where(p.line, p.column) + ": " + what + " has no ISO-8859-2 form.";
}

void Importer::writePending() {
  if (!failed_ && !pending_.empty()) failed_ = !writer_->hand(&pending_);
  pending_.clear();
}

int Importer::nameId(std::string_view name) {
  // Interned names lie a few bytes apart: mix the address before using it.
  uint64_t at = reinterpret_cast<uintptr_t>(name.data()) * 0x9E3779B97F4A7C15ull;
  CachedName& slot = nameCache_[(at >> 58) % nameCache_.size()];
  if (slot.at == name.data() && slot.name == name) return slot.id;
  slot.at = name.data();
  slot.name = name;
  slot.id = names_.map(name);
  return slot.id;
}

void Importer::flushNotes() {
  for (const NameMapper::Note& n : names_.takeNotes()) console_->line(noteText(n));
  std::string warnings = src_->takeWarnings();
  size_t start = 0;
  for (size_t nl; (nl = warnings.find('\n', start)) != std::string::npos; start = nl + 1)
    console_->line("Warning: " + warnings.substr(start, nl - start));
}
