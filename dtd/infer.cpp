// Inference of the structure description from the dictionary's entries.

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <vector>

#include "base/error.h"
#include "base/files.h"
#include "base/progress.h"
#include "base/readahead.h"
#include "base/text.h"
#include "dtd/dtd.h"
#include "xml/entry.h"
#include "xml/readentry.h"
#include "xml/reader.h"
#include "xml/writer.h"

namespace {

// Inference keeps its counts in `required` and `occurs`; min and max mirror
// them so that the tree text shows what the table will hold.
void setCounts(DTDEntry* e, bool required, int occurs) {
  e->required = required;
  e->occurs = occurs;
  e->type = 'N';
  e->min = required ? 1 : 0;
  e->max = required ? occurs : -1;
}

DTDEntry* childNamed(const DTDEntry* e, const std::string& name) {
  for (DTDEntry* c : e->children)
    if (sameBytes(c->name, name)) return c;
  return nullptr;
}

void attach(DTDEntry* parent, DTDEntry* child, DTD* dtd) {
  if (parent->addEntry(child) || dtd->childLimitNoted) return;
  dtd->childLimitNoted = true;
  errorf("Error: %s has more than %d kinds of children; %s and later ones are left out.\n",
         parent->path.c_str(), DTDEntry::kMaxChildren, child->name.c_str());
}

void repath(DTDEntry* e, const std::string& path) {
  e->path = path;
  for (DTDEntry* c : e->children) repath(c, path + "." + c->name);
}

// A name the ".def" line cannot carry unchanged: its fields are separated by
// bytes of 32 or less and hold at most DTD::kMaxField bytes.
bool storableName(const std::string& name) {
  if (name.empty() || name.size() > static_cast<size_t>(DTD::kMaxField)) return false;
  for (unsigned char c : name)
    if (c <= 32) return false;
  return true;
}

const XMLEntry* unstorable(const XMLEntry* e) {
  if (!storableName(e->name)) return e;
  for (const XMLEntry* c : e->children)
    if (const XMLEntry* bad = unstorable(c)) return bad;
  return nullptr;
}

// An entry as the structure pass takes it: read, and its tag names checked.
struct InferItem : ReadEntry {
  const XMLEntry* unfit = nullptr;  // a node whose name the ".def" file cannot hold
};

// Whether setCounts(e, required, occurs) would leave e as it is.
bool countsAre(const DTDEntry* e, bool required, int occurs) {
  return e->required == required && e->occurs == occurs && e->type == 'N' &&
         e->min == (required ? 1 : 0) && e->max == (required ? occurs : -1);
}

// Whether merging an entry into the structure tree would give a tree equal
// to it in every field, so that the merge can be left out. The merge
// (addDTDR) copies a structure node, counts kept; a child the entry also
// has is merged on (the entry's side always counts once and as required),
// one it lacks becomes optional; a child only the entry has is added.
// The entry's side of a structure node is a group: its elements of that
// name under the group above (same-named siblings make one node). The
// answer has no side effects, so the checks may come in any order.
class MergeCheck {
 public:
  bool keeps(const DTDEntry* root, const XMLEntry* entry) {
    groups_.assign(1, entry);
    return keeps(root, 0, 1);
  }

 private:
  // groups_[from, to) is the group standing for `a`.
  bool keeps(const DTDEntry* a, size_t from, size_t to) {
    if (!a->tpar.empty() || a->min != (a->required ? 1 : 0) ||
        a->max != (a->required ? a->occurs : -1))
      return false;
    size_t children = 0;  // of the group
    for (size_t k = from; k < to; ++k) children += groups_[k]->children.size();
    size_t named = 0;  // of those, named as a child of `a`
    for (const DTDEntry* ca : a->children) {
      const size_t start = groups_.size();
      for (size_t k = from; k < to; ++k)
        for (const XMLEntry* c : groups_[k]->children)
          if (sameBytes(c->name, ca->name)) groups_.push_back(c);
      const size_t end = groups_.size();
      named += end - start;
      const bool same = end == start ? countsAre(ca, false, 1)
                                     : ca->occurs >= 1 && countsAre(ca, ca->required, ca->occurs) &&
                                           keeps(ca, start, end);
      groups_.resize(start);
      if (!same) return false;
    }
    // The names of a structure node's children differ, so each child of
    // the group was counted once at most: all were, or one would be added.
    return named == children;
  }

  std::vector<const XMLEntry*> groups_;  // the groups on the way down, one after another
};

// Keeps the dictionary file at every moment: with a backup the original is
// linked (or, where links fail, copied) to the backup name first, and the
// rewritten file then replaces the name in one rename. `real` is the file
// the name stands for (a link's target), `tmp` beside it.
bool replaceDictionary(const std::string& tmp, const std::string& real, const std::string& xml,
                       bool backup) {
  std::string orig = xml + ".orig";
  if (backup) {
    remove(orig.c_str());
    if (!fil_keep_as(real.c_str(), orig.c_str())) {
      errorf("Error: Could not keep %s as %s; the file is left as it was.\n", xml.c_str(),
             orig.c_str());
      remove(tmp.c_str());
      return false;
    }
  }
  if (!fil_replace(tmp.c_str(), real.c_str())) {
    errorf("Error: Could not rename %s to %s.\n", tmp.c_str(), real.c_str());
    remove(tmp.c_str());
    return false;
  }
  if (backup)
    errorf("Warning: Entries that could not be read were left out of %s; "
           "the original is kept as %s.\n",
           xml.c_str(), orig.c_str());
  return true;
}

}  // namespace

// ---------------------------------------------------------------------------
// The trees of one entry and their merge.

DTDEntry* XML::getEntDTD(DTD* dtd) {
  if (!root) return dtd->garb_add();  // no entry: an unnamed tree merges as nothing
  return getEntDTDR(root, "", dtd);
}

DTDEntry* XML::getEntDTDR(XMLEntry* x, const std::string& prefix, DTD* dtd) {
  DTDEntry* e = dtd->garb_add();
  e->name = x->name;
  e->path = prefix.empty() ? x->name : prefix + "." + x->name;
  e->level = x->level;
  setCounts(e, true, 1);
  for (XMLEntry* c : x->children) {
    if (DTDEntry* same = childNamed(e, c->name))
      getEntDTDRSame(c, same, dtd);
    else
      attach(e, getEntDTDR(c, e->path, dtd), dtd);
  }
  return e;
}

void XML::getEntDTDRSame(XMLEntry* x, DTDEntry* d, DTD* dtd) {
  for (XMLEntry* c : x->children) {
    if (DTDEntry* same = childNamed(d, c->name))
      getEntDTDRSame(c, same, dtd);
    else
      attach(d, getEntDTDR(c, d->path, dtd), dtd);
  }
}

DTDEntry* XML::addDTD(DTDEntry* a, DTDEntry* b, DTD* dtd) {
  if (!a->name.empty() && !b->name.empty() && a->name != b->name) {
    errorf("The upmost tag is different (%s!=%s).\n", a->name.c_str(), b->name.c_str());
    // The foreign entry joins under the first upmost name, with paths that
    // say so; otherwise its children would carry paths no ".def" line gives.
    b->name = a->name;
    repath(b, a->path);
  }
  if (a->name.empty()) return b;
  if (b->name.empty()) return a;
  return addDTDR(a, b, dtd);
}

DTDEntry* XML::addDTDR(DTDEntry* a, DTDEntry* b, DTD* dtd) {
  DTDEntry* n = dtd->garb_add();
  n->name = a->name;
  n->path = a->path;
  n->level = a->level;
  setCounts(n, a->required, a->occurs);
  n->type = a->type;
  for (DTDEntry* ca : a->children) {
    if (DTDEntry* cb = childNamed(b, ca->name)) {
      DTDEntry* m = addDTDR(ca, cb, dtd);
      setCounts(m, ca->required && cb->required, std::max(ca->occurs, cb->occurs));
      attach(n, m, dtd);
    } else {
      setCounts(ca, false, 1);
      attach(n, ca, dtd);
    }
  }
  for (DTDEntry* cb : b->children) {
    if (childNamed(a, cb->name)) continue;
    setCounts(cb, false, 1);
    attach(n, cb, dtd);
  }
  return n;
}

// ---------------------------------------------------------------------------
// The driver.

void DTD::init(const std::string& name, bool force, int ioFlag, Progress callback) {
  garb = std::make_shared<DTDNodeList>();
  count = 0;
  io = ioFlag;
  progress = callback;
  root = garb_add();
  xmlName = name;
  dtdName = fnNoExt(xmlName) + ".def";
  key.clear();
  failed = false;
  if (force || !fil_exist(dtdName.c_str())) {
    loadXML();
    if (!failed) saveDTD();
  } else {
    loadDTD();
  }
}

void DTD::loadXML() {
  std::string real = fil_real(xmlName);
  std::string tmpName = fil_tempname(real);
  // Large buffers: the whole text goes through here in small pieces. The
  // C library takes a size only along with a buffer; both files are closed
  // before these go out of scope.
  std::vector<char> inBuf(1 << 16), outBuf(1 << 16);
  FILE* in = fopen(xmlName.c_str(), "rb");
  if (!in) {
    errorf("Error: Could not open %s.\n", xmlName.c_str());
    failed = true;
    return;
  }
  FILE* out = fil_create(tmpName.c_str(), false);
  if (!out) {
    fclose(in);
    errorf("Error: Could not open %s for writing.\n", tmpName.c_str());
    failed = true;
    return;
  }
  fil_same_mode(out, real.c_str());
  setvbuf(in, inBuf.data(), _IOFBF, inBuf.size());
  setvbuf(out, outBuf.data(), _IOFBF, outBuf.size());
  Inferred r = infer(in, fil_size(xmlName.c_str()), out);
  fclose(in);
  bool written = fil_close(out) && r.written;
  if (!r.read || !written) {
    if (r.read) errorf("Error: Could not write %s; %s is left as it was.\n", tmpName.c_str(), xmlName.c_str());
    remove(tmpName.c_str());
    failed = true;
    return;
  }
  if (!replaceDictionary(tmpName, real, xmlName, r.dropped)) failed = true;
}

DTD::Inferred DTD::infer(FILE* in, long size, FILE* out) {
  ProgressMeter meter(size, io != 0, progress, nullptr, 0.0, 1.0);
  meter.setFlush(true);
  if (io) printf("Building %s...\n", dtdName.c_str());

  Inferred r;
  bool readFailed = false;
  bool readerDropped = false;  // the reader reported or skipped something
  int unfit = 0;  // entries left out for a tag name the ".def" file cannot hold
  // The reading objects are gone, the reading thread's memory with them,
  // before the pass goes on.
  auto readAll = [&] {
    XMLEntryPool pool;  // outlives the reader, which gives nodes back to it
    XML reader;
    reader.readHeader(in);
    reader.printHeader(out);
    // The reading runs ahead on a thread of its own (base/readahead.h); the
    // pass works on each entry through a reader object of its own.
    reader.nodePool = &pool;
    reader.keepPaths = false;  // the structure is built from the names alone
    // The check of its tag names too, while the entry is in that thread's cache.
    ReadAhead<InferItem> ahead(
        [&reader, in](InferItem& item) {
          if (!readEntry(&reader, in, &item)) return false;
          if (item.tree) item.unfit = unstorable(item.tree.get());
          return true;
        },
        [&pool](InferItem& item) { recycleEntry(&pool, &item); }, kReadAheadEntries,
        kReadAheadBatches);
    XML view;
    view.setOutProps(XML_AFTER);
    MergeCheck mergeCheck;
    std::string text;  // one entry's new form; its room serves every entry
    InferItem item;
    while (ahead.next(item)) {
      releaseMessages(item);
      readFailed = item.readFailed;
      if (!item.tree) continue;
      // The tree stays the item's, to be freed on the reading thread.
      XMLEntry* own = view.root;
      view.root = item.tree.get();
      if (const XMLEntry* bad = item.unfit) {
        unfit++;
        errorf("Parse error: Tag name unfit for the structure file (%s), entry left out: %s\n",
               bad->name.c_str(), XMLprintEntry(view.root, true, false).c_str());
      } else {
        text.clear();
        XMLprintEntryTo(&text, view.root, view.outProps, true, false);
        if (fwrite(text.data(), 1, text.size(), out) != text.size()) r.written = false;
        // Most entries bring nothing new once the first few are in.
        if (root->name.empty() || root->name != view.root->name ||
            !mergeCheck.keeps(root, view.root)) {
          root = view.addDTD(root, view.getEntDTD(this), this);
          garb_clear(root);
        }
      }
      view.root = own;
      meter.at(item.position);
    }
    readerDropped = reader.errors > 0 || reader.skipped > 0;
  };
  readAll();
  releaseThreadMemory();
  if (readFailed) {
    errorf("Error: Could not read %s; it is left as it was.\n", xmlName.c_str());
    r.read = false;
  }
  if (fflush(out) != 0 || ferror(out)) r.written = false;
  r.dropped = readerDropped || unfit > 0;
  ent2str();
  if (io) printf("%s", kClearLine);
  checkPackable();
  return r;
}
