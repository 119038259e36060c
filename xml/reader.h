// XML: the dictionary file's reader, one entry at a time.
//
// Not a general XML parser: it knows tags, the entities &lt; &gt; &amp;
// (recognised by their first letter), optional backslash escapes and the XML
// declaration. Tag names are upper-cased with ucase, control bytes become
// spaces, text pieces are trimmed and joined without separator, children are
// attached when they close. Malformed input is reported on standard error
// with "Parse error: ..." and reading goes on.
//
// Size limits: an entry holds at most strings::kCapacity (4096) elements and
// an element at most XMLEntry::kMaxChildren children. An entry that breaks
// either limit is reported once ("Parse error: Too many elements (4096) in
// NAME" / "Parse error: Too many children (2048) in PATH"), read to its end
// and refused: getEntry returns false and the current entry is left empty.
// A close tag while nothing is open ends the read without an entry; its
// message shows the empty element "<></>".
//
// The object also carries the writer's output properties, and the operations
// that other subsystems apply to its current entry (packed form, queries,
// rewriting, structure inference); those are implemented beside their
// subsystem (xml/packed.cpp, xml/query.cpp, xml/rewrite.cpp, dtd/infer.cpp).
#pragma once

#include <cstdio>
#include <set>
#include <string>

#include "base/text.h"
#include "xml/entry.h"

class DTD;
class DTDEntry;
class XMLEntryPool;
class DTDStruct;
struct map_t;

class XML {
 public:
  // Nesting limit: the tenth nested element is refused.
  static constexpr int kMaxDepth = 10;

  strings values;         // texts of the current entry's nodes (getEntStr)
  strings names;          // names of the current entry's nodes (getEntStr)
  std::string upmost;     // name of the upmost tag, fixed by the first entry
  std::string encoding;   // from the XML declaration; empty when none
  int escapes = 1;        // backslash escapes; 0 after a recognised declaration
  XMLEntry* root;         // the current entry; owned
  int outProps = 7;       // writer properties (xml/writer.h)
  int errors = 0;         // "Parse error" messages reported through this object
  int skipped = 0;        // reads that consumed markup ("<") but gave no entry
  // When set, "Parse error" messages are appended here instead of written
  // to standard error: a reader running ahead on a thread hands them over
  // with the entry they belong to.
  std::string* heldMessages = nullptr;
  // When set, new nodes come from here and nodes the reader drops go back
  // (xml/entrypool.h); the pool must outlive the reads that use it.
  XMLEntryPool* nodePool = nullptr;
  // When false, nodes are read without their paths (XMLEntry::path stays
  // empty): a pass that never looks a node up by path saves building one
  // string per node. Messages name the place all the same.
  bool keepPaths = true;

  XML();
  ~XML();
  XML(const XML&) = delete;
  XML& operator=(const XML&) = delete;

  // --- reading ---
  // Reads the next entry from *f. True when an entry was read (it is then
  // root). Afterwards the stream stands just after the last byte the entry
  // consumed, exactly as if it had been read byte by byte.
  bool getEntry(FILE** f);
  bool getEntry(const std::string& text);
  // One parser step: c the current byte, next the look-ahead; *skip gets
  // the count of further bytes to pass over; init resets the parse state.
  // True when the read ends: an entry was completed (it is then root), or a
  // close tag came while nothing was open (root is left as it was).
  bool getEntrySwitch(char c, char next, int* skip, int init);
  void clear();
  XMLEntry* getXMLEntry() { return root; }
  void setXMLEntry(XMLEntry* e) { root = e; }
  void findParents();
  void readHeader(FILE* f);

  // --- writing ---
  void setOutProps(int props) { outProps = props; }
  void printHeader(FILE* f);
  static void printHeader(FILE* f, const char* encoding);
  std::string getString(bool escBackslash);

  // --- value lists and text export ---
  // Fills values/names children-first; false (with a message) when the entry
  // has more nodes than the lists hold, keeping what fits.
  bool getEntStr();
  void exportText(FILE** f, long id);
  // Reads one block written by exportText: the number line into *id, then
  // each line (without its line feed) into values, up to and including the
  // empty line that ends the block. Lines may be of any length. When the
  // input ends before that empty line, what was read is kept. False only
  // when the input was already at its end. Lines beyond the capacity of
  // values are passed over with one message.
  bool getTextEntry(FILE** f, long* id);

  static XMLEntry* makeXMLEntry(const std::string& path, const std::string& value);
  static XMLEntry* makeXMLEntry(const std::string& text);

  // --- packed form (xml/packed.cpp) ---
  void savePackEntry(FILE** f, map_t* words, DTDStruct* dtd);
  bool loadPackEntry(FILE** f, map_t* ids, DTDStruct* dtd);
  bool getPackPtr(FILE** f, long* word, long* tag, long* pos);

  // --- queries (xml/query.cpp) ---
  std::string getValue(const std::string& path);
  void getAllValues(const std::string& path, std::set<std::string>* out);
  bool gettrees(std::set<XMLEntry*>* out, const std::string& path);
  // The node that path's name chain reaches taking the first child of each
  // name (no backtracking), or null; as in XMLgetTrees, a chain too long to
  // split whole reaches nothing.
  XMLEntry* gettree(const std::string& path);
  XMLEntry* gettreeR(XMLEntry* e, XMLEntry* parent, strings* p, int k);
  void gettreesR(std::set<XMLEntry*>* out, XMLEntry* e, XMLEntry* parent, strings* p, int k);

  // --- path-driven rewriting (xml/rewrite.cpp) ---
  void rentree(XMLEntry* e, const std::string& prefix);
  void shiftlevel(XMLEntry* e, int d);
  bool rentag(const std::string& path, const std::string& name);
  bool chgval(const std::string& path, const std::string& value);
  bool tagval(const std::string& path);
  bool deltree(const std::string& path);
  bool deltag(const std::string& path);
  bool grptree(const std::string& path);
  bool movtree(const std::string& path, const std::string& dest);
  bool addtag(const std::string& path, const std::string& value);

  // --- structure inference (dtd/infer.cpp) ---
  DTDEntry* getEntDTD(DTD* dtd);
  DTDEntry* getEntDTDR(XMLEntry* x, const std::string& prefix, DTD* dtd);
  void getEntDTDRSame(XMLEntry* x, DTDEntry* d, DTD* dtd);
  DTDEntry* addDTD(DTDEntry* a, DTDEntry* b, DTD* dtd);
  DTDEntry* addDTDR(DTDEntry* a, DTDEntry* b, DTD* dtd);

 private:
  // Parse state, per object (only one read runs at a time anyway).
  // levels_[0 .. actl_-1] are the open elements; none of them is attached to
  // its parent yet, so the reader owns them until the entry completes.
  std::string t_;           // tag text being read
  std::string v_;           // text being read outside tags
  bool isIn_ = false;
  bool isOpen_ = false;
  bool finish_ = false;
  bool overflow_ = false;   // the entry broke a size limit; it is refused
  bool sawMarkup_ = false;  // the current read met a "<"
  int actl_ = 0;
  int nodes_ = 0;           // nodes created for the current entry
  XMLEntry* levels_[16] = {};
  // The path of levels_[level], from the names: kept paths or not.
  std::string pathAt(int level) const;

  void appendChar(char c);
  bool endOfTag();
  bool openTag();
  bool closeTag();
  bool complete();
  void resetState();
  void discardPartial();
  XMLEntry* newNode();
  void dropNode(XMLEntry* node);
  void beginRead();
  bool endRead(bool completed);
  void report(const std::string& message);
};

// Collects, children before their parent, every node's value and name.
// Returns false when a list is full; what fits is kept.
bool XMLgetEntStr(const XMLEntry* e, strings* values, strings* names);
