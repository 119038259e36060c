// DTD: the structure description of a dictionary's entries.
//
// Held twice: as the tag table it derives from (xml/tagtable.h: the ".def"
// file's lines in order, with the queries by tag number and path) and as a
// structure tree of DTDEntry nodes rooted at the upmost tag, which inference
// builds and merges and from which the table is regenerated (ent2str).
//
// Every tree node is created by garb_add and owned through the node list;
// copies of a DTD share the list (and so the nodes). garb_clear deletes the
// listed nodes the given root no longer reaches; the nodes still listed are
// deleted when the last DTD sharing the list goes.
#pragma once

#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "xml/tagtable.h"

class XML;

// A node of the structure tree.
class DTDEntry {
 public:
  static constexpr int kMaxChildren = 512;

  std::string name;
  std::string path;
  int level = 0;
  int min = 0;
  int max = -1;
  char type = 'N';
  std::string tpar;
  bool required = true;  // occurred in every merged entry holding its parent
  int occurs = 1;        // carried into the table's max
  DTDEntry* parent = nullptr;  // set only by DTD::gettree
  std::vector<DTDEntry*> children;
  bool reached = false;  // scratch mark of garb_clear

  int count() const { return static_cast<int>(children.size()); }
  // False, changing nothing, when the node already has kMaxChildren children.
  bool addEntry(DTDEntry* child);
  // Drops (does not destroy) the child at position i.
  void delEntry(int i);
};

// The node list: every live node made by garb_add. Deletes what it still
// holds when the last DTD sharing it is destroyed. Nodes that garb_clear
// takes off the list wait in `spare` for reuse, which spares inference an
// allocation per node and entry.
struct DTDNodeList {
  std::vector<DTDEntry*> nodes;
  std::vector<DTDEntry*> spare;
  DTDNodeList() = default;
  DTDNodeList(const DTDNodeList&) = delete;
  DTDNodeList& operator=(const DTDNodeList&) = delete;
  ~DTDNodeList();
};

class DTD : public DTDStruct {
 public:
  using Progress = void (*)(void*, double);

  // The ".def" reader's limits.
  static constexpr int kMaxLevels = 10;
  static constexpr int kMaxField = 127;

  std::string key;      // path of the last 'K' tag of the ".def" file
  std::string xmlName;  // the dictionary's XML file
  std::string dtdName;  // the ".def" file
  DTDEntry* root = nullptr;
  std::shared_ptr<DTDNodeList> garb;  // node list, shared by copies
  int io = 0;                   // console output switch
  Progress progress = nullptr;  // progress callback, may be null
  bool childLimitNoted = false;  // the 512-children refusal was reported
  // The inference could not read the dictionary file or write its new form;
  // the files were left as they were.
  bool failed = false;

  DTD();
  explicit DTD(const std::string& xmlName);
  DTD(const std::string& xmlName, bool force, int io, Progress progress);
  DTD(const DTD&) = default;             // shares the tree nodes
  DTD& operator=(const DTD&) = default;  // shares the tree nodes
  ~DTD() = default;

  int ngarb() const { return garb ? static_cast<int>(garb->nodes.size()) : 0; }
  void setDTDName(const std::string& dtdName);

  // --- structure tree ---
  DTDEntry* garb_add();
  // True when `node` is `root` or lies below it.
  bool garb_used(DTDEntry* root, DTDEntry* node);
  // Deletes exactly the listed nodes `root` does not reach; linear in the
  // size of the node list.
  void garb_clear(DTDEntry* root);
  // Inserts a record into the tree under its parent path. False for a second
  // upmost tag, a missing ancestor, an existing path, a full parent or a
  // path of more names than a split holds (strings::kCapacity - 1).
  bool addtag(const DTDTag* t);
  // The node at `path` (its parent link set), or null. The upmost name must
  // match for a one-part path too. A path of more names than a split holds
  // finds nothing.
  DTDEntry* gettree(const std::string& path);
  // The table from the tree in pre-order; an unnamed root gives count 0.
  // Paths beyond kMaxTags are left out with an error message.
  void ent2str();
  void update(XML* x);

  // --- inference (dtd/infer.cpp) ---
  // Loads the ".def" file, or infers the structure (with `force`, or when
  // there is none) and saves it. A failed inference saves nothing.
  void init(const std::string& xmlName, bool force, int io, Progress progress);
  // Infers the tree from xmlName and rewrites that file in the writer's form
  // through xmlName + ".tmp" and an atomic rename. When the pass dropped
  // anything the reader could not take, the old file stays as
  // xmlName + ".orig".
  void loadXML();

  // What infer() met.
  struct Inferred {
    bool read = true;      // the input was read to its end without an error
    bool written = true;   // every entry reached the output stream
    bool dropped = false;  // entries were left out (parse errors, unfit names)
  };
  // The inference pass proper: reads the entries of `in` (of `size` bytes,
  // for progress), writes the declaration and each entry read, in the
  // writer's one-line form, to `out`, merges the entries' structure and
  // regenerates the tag table. `in` is named xmlName in messages.
  Inferred infer(FILE* in, long size, FILE* out);

  // --- ".def" file (dtd/deffile.cpp) ---
  // A file beyond the limits (a level outside 0-9, a field over kMaxField
  // bytes) is refused as a whole with an error message: the table is then
  // empty. Lines beyond kMaxTags are ignored with an error message. False
  // when the file could not be opened or was refused (after the message).
  bool loadDTD();
  // Writes the ".def" file whole: under a temporary name, then renamed
  // over dtdName. False after an "Error: ..." line (the old file stays).
  bool saveDTD();
  // The ".def" lines of the tag table; false on a write error.
  bool writeDef(FILE* f) const;
  // Reports a table that the packed entry form cannot number.
  void checkPackable() const;
  std::string printEntry(DTDEntry* node);
  std::string getString();
};

std::ostream& operator<<(std::ostream& os, DTD dtd);
