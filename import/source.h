// XmlSource: an XML file read node by node through libxml2's streaming
// reader (xmlTextReader), with the positions and messages that reports need.
//
// The document is never held whole: the reader keeps the open elements and
// the node at hand. Entities are replaced by their text (a DTD in a local
// file is read for their declarations; nothing is fetched from the network),
// CDATA sections come as plain text, and text is handed over in UTF-8
// whatever the file's encoding.
//
// Positions: libxml2 keeps only a 16-bit line per node, and its own parser
// position runs ahead of the node at hand. So while a source reads, every
// node is stamped as libxml2 creates it with the parser's position at that
// moment. For an element the start tag has just been read, and the stamp is
// the line and column of its closing ">" (of the "/" of "/>"). For a text
// node it is where the text begins: libxml2 creates the node once it has
// read the first piece of the text, and the piece tells how far back the
// start lies. When that piece runs over a line feed the start column cannot
// be told and is 0; positions after the line feed are exact again (see
// positionIn). Columns count characters from 1. Text nodes and columns are
// stamped only when asked for (open's `textPositions`).
//
// Only one XmlSource may read at a time in a thread: node stamping goes
// through libxml2's node-creation hook, which the newest open source holds
// until it is destroyed (sources are to be destroyed newest first).
#pragma once

#include <libxml/xmlreader.h>

#include <string>
#include <string_view>

struct Position {
  long line = 0;
  long column = 0;  // 0: unknown
};

// The position of byte `offset` of `text`, when the text begins at `start`.
// Line feeds start new lines; columns count UTF-8 characters. Positions on
// the first line stay unknown when the start column is.
Position positionIn(Position start, std::string_view text, size_t offset);

class XmlSource {
 public:
  XmlSource() = default;
  ~XmlSource();
  XmlSource(const XmlSource&) = delete;
  XmlSource& operator=(const XmlSource&) = delete;

  // Opens `path`; false with error() set when it cannot be read. With
  // `textPositions` text nodes are stamped too (it costs a scan per node).
  bool open(const std::string& path, bool textPositions);

  // Moves to the next node: 1, 0 at the end, -1 on an error (error() says).
  int next();
  // Moves past the current element's subtree without reading it into nodes
  // one by one (the parser still reads the bytes): 1, 0 or -1 as next().
  int skipSubtree();

  int type() const { return xmlTextReaderNodeType(reader_); }
  int depth() const { return xmlTextReaderDepth(reader_); }
  bool isEmptyElement() const { return xmlTextReaderIsEmptyElement(reader_) == 1; }
  bool hasAttributes() const { return xmlTextReaderHasAttributes(reader_) == 1; }
  std::string_view name() const { return view(xmlTextReaderConstName(reader_)); }
  std::string_view value() const { return view(xmlTextReaderConstValue(reader_)); }

  // Walks the current element's attributes, namespace declarations left
  // out: true while positioned on one (read it with name() and value()).
  bool nextAttribute();
  // Back from the attributes to their element.
  void endAttributes() { xmlTextReaderMoveToElement(reader_); }

  // The current node's stamp (see above); on an attribute, its element's.
  Position position() const;

  long bytesRead() const { return bytesRead_; }
  long size() const { return size_; }  // 0 when unknown (not a regular file)
  // "FILE:LINE:COLUMN: message" for the error that stopped reading, or
  // "FILE: message" for one of input or output.
  const std::string& error() const { return error_; }
  // Recoverable problems libxml2 reported since the last call, one a line.
  std::string takeWarnings();
  bool hasWarnings() const { return !warnings_.empty(); }

 private:
  static std::string_view view(const xmlChar* s) {
    return s == nullptr ? std::string_view() : std::string_view(reinterpret_cast<const char*>(s));
  }
  static int readInput(void* self, char* buf, int len);
  static int closeInput(void* self);
  static void onError(void* self, xmlErrorPtr e);
  static void stamp(xmlNodePtr node);
  int step(int rc);

  std::string path_;
  xmlTextReaderPtr reader_ = nullptr;
  xmlRegisterNodeFunc savedHook_ = nullptr;
  struct Holder {  // whoever held the hook before this source
    XmlSource* active;
    xmlTextReaderPtr reader;
    bool textPositions;
  } saved_{};
  bool hooked_ = false;
  int fd_ = -1;
  long bytesRead_ = 0;
  long size_ = 0;
  int readErrno_ = 0;
  std::string error_;
  std::string warnings_;
};
