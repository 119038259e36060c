#include "import/source.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>

#include "import/latin2.h"

namespace {

// Entities replaced, CDATA as text, local DTDs read, no network.
constexpr int kParseOptions = XML_PARSE_NOENT | XML_PARSE_NOCDATA | XML_PARSE_DTDLOAD |
                              XML_PARSE_NONET | XML_PARSE_COMPACT;

thread_local XmlSource* gActive = nullptr;
thread_local xmlTextReaderPtr gReader = nullptr;
thread_local bool gTextPositions = false;

// A position kept in a node's _private field: line and column in 32 bits
// each where a pointer has 64 bits, the line alone where it has 32.
void* pack(Position p) {
  auto line = static_cast<uintptr_t>(static_cast<uint32_t>(p.line));
  if constexpr (sizeof(uintptr_t) >= 8)
    return reinterpret_cast<void*>((line << 32) | static_cast<uint32_t>(p.column));
  return reinterpret_cast<void*>(line);
}

Position unpack(const void* v) {
  auto bits = reinterpret_cast<uintptr_t>(v);
  if constexpr (sizeof(uintptr_t) >= 8)
    return {static_cast<long>(bits >> 32), static_cast<long>(bits & 0xFFFFFFFFu)};
  return {static_cast<long>(bits), 0};
}

// libxml2 creates a text node when it has read the first piece of its text,
// so the parser stands just after that piece.
Position firstPieceStart(const xmlChar* piece, Position after) {
  long chars = 0, lines = 0;
  for (const xmlChar* p = piece; p != nullptr && *p != 0; ++p) {
    if (*p == '\n') ++lines;
    if ((*p & 0xC0) != 0x80) ++chars;
  }
  if (lines > 0) return {after.line - lines, 0};
  return {after.line, after.column - chars};
}

std::string trimmed(const char* message) {
  std::string m = message == nullptr ? "" : message;
  while (!m.empty() && (m.back() == '\n' || m.back() == ' ')) m.pop_back();
  return m;
}

}  // namespace

Position positionIn(Position start, std::string_view text, size_t offset) {
  Position p = start;
  size_t i = 0;
  while (i < offset && i < text.size()) {
    if (text[i] == '\n') {
      ++p.line;
      p.column = 1;
      ++i;
      continue;
    }
    if (p.column > 0) ++p.column;
    i += utf8Length(static_cast<unsigned char>(text[i]));
  }
  return p;
}

// Runs for every node libxml2 creates, so it asks the parser only for what
// will be used: columns matter to --strict messages alone.
void XmlSource::stamp(xmlNodePtr node) {
  XmlSource* self = gActive;
  if (self == nullptr || gReader == nullptr) return;
  if (self->savedHook_ != nullptr && self->savedHook_ != stamp) self->savedHook_(node);
  if (node->type == XML_ELEMENT_NODE) {
    long column = gTextPositions ? xmlTextReaderGetParserColumnNumber(gReader) : 0;
    node->_private = pack({xmlTextReaderGetParserLineNumber(gReader), column});
  } else if (node->type == XML_TEXT_NODE && gTextPositions) {
    Position after{xmlTextReaderGetParserLineNumber(gReader), xmlTextReaderGetParserColumnNumber(gReader)};
    node->_private = pack(firstPieceStart(node->content, after));
  }
}

bool XmlSource::open(const std::string& path, bool textPositions) {
  path_ = path;
  fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd_ < 0) {
    error_ = path + ": " + std::strerror(errno);
    return false;
  }
  struct stat st;
  if (fstat(fd_, &st) == 0 && S_ISREG(st.st_mode)) size_ = static_cast<long>(st.st_size);
  saved_ = {gActive, gReader, gTextPositions};
  gActive = this;
  gReader = nullptr;
  gTextPositions = textPositions;
  savedHook_ = xmlRegisterNodeDefault(stamp);
  hooked_ = true;
  reader_ = xmlReaderForIO(readInput, closeInput, this, path.c_str(), nullptr, kParseOptions);
  if (reader_ == nullptr) {
    error_ = path + ": libxml2 could not set up a reader";
    return false;
  }
  gReader = reader_;
  xmlTextReaderSetStructuredErrorHandler(reader_, onError, this);
  return true;
}

XmlSource::~XmlSource() {
  if (reader_ != nullptr) xmlFreeTextReader(reader_);
  if (fd_ >= 0) ::close(fd_);
  if (hooked_) {
    xmlRegisterNodeDefault(savedHook_);
    gActive = saved_.active;
    gReader = saved_.reader;
    gTextPositions = saved_.textPositions;
  }
}

int XmlSource::readInput(void* self, char* buf, int len) {
  auto* s = static_cast<XmlSource*>(self);
  ssize_t n;
  do {
    n = ::read(s->fd_, buf, static_cast<size_t>(len));
  } while (n < 0 && errno == EINTR);
  if (n < 0) {
    s->readErrno_ = errno;
    return -1;
  }
  s->bytesRead_ += n;
  return static_cast<int>(n);
}

int XmlSource::closeInput(void* self) {
  auto* s = static_cast<XmlSource*>(self);
  int rc = s->fd_ >= 0 ? ::close(s->fd_) : 0;
  s->fd_ = -1;
  return rc;
}

void XmlSource::onError(void* self, xmlErrorPtr e) {
  auto* s = static_cast<XmlSource*>(self);
  std::string where = e->file != nullptr ? e->file : "";
  if (e->line > 0) where += ":" + std::to_string(e->line);
  if (e->line > 0 && e->int2 > 0) where += ":" + std::to_string(e->int2);
  std::string text = where + ": " + trimmed(e->message);
  if (e->level == XML_ERR_FATAL) {
    if (s->error_.empty()) s->error_ = text;
  } else {
    s->warnings_ += text + "\n";
  }
}

int XmlSource::step(int rc) {
  if (rc >= 0) return rc;
  if (readErrno_ != 0) {
    error_ = path_ + ": " + std::strerror(readErrno_);
  } else if (error_.empty()) {
    error_ = path_ + ": libxml2 could not read the document";
  }
  return -1;
}

int XmlSource::next() { return step(xmlTextReaderRead(reader_)); }

int XmlSource::skipSubtree() { return step(xmlTextReaderNext(reader_)); }

bool XmlSource::nextAttribute() {
  while (xmlTextReaderMoveToNextAttribute(reader_) == 1)
    if (xmlTextReaderIsNamespaceDecl(reader_) != 1) return true;
  return false;
}

Position XmlSource::position() const {
  xmlNodePtr n = xmlTextReaderCurrentNode(reader_);
  if (n != nullptr && n->type == XML_ATTRIBUTE_NODE) n = n->parent;
  return n == nullptr ? Position{} : unpack(n->_private);
}

std::string XmlSource::takeWarnings() {
  std::string out;
  out.swap(warnings_);
  return out;
}
