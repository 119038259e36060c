// The entry reader over arbitrary bytes, held to what its callers rely on:
//  - the text driver and the stream driver read the same first entry;
//  - every call on a stream consumes input until the input ends;
//  - every entry read is a well-formed tree: each path is the parent's
//    path + "." + name, each level the parent's + 1, names upper case, no
//    control bytes, values trimmed, within the depth, child and node limits;
//  - the writer's rendering of an entry reads back as the same tree, and
//    rendering that again gives the same text.
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "base/czech.h"
#include "base/text.h"
#include "fuzz_check.h"
#include "xml/entry.h"
#include "xml/reader.h"
#include "xml/writer.h"

namespace {

void checkText(const std::string& s) {
  for (char c : s) FUZZ_CHECK(static_cast<unsigned char>(c) >= 0x20);
}

void checkTree(const XMLEntry* e, const XMLEntry* parent, int* nodes) {
  FUZZ_CHECK(e != nullptr);
  FUZZ_CHECK(++*nodes <= strings::kCapacity);
  if (parent != nullptr) {
    FUZZ_CHECK(e->parent == parent);
    FUZZ_CHECK(e->level == parent->level + 1);
    FUZZ_CHECK_MSG(e->path == parent->path + "." + e->name,
                   fuzzcheck::printable(e->path) + " under " + fuzzcheck::printable(parent->path));
  } else {
    FUZZ_CHECK(e->level == 0);
    FUZZ_CHECK(e->path == e->name);
  }
  FUZZ_CHECK(e->level < XML::kMaxDepth);
  FUZZ_CHECK(e->count() <= XMLEntry::kMaxChildren);
  FUZZ_CHECK_MSG(ucase(e->name) == e->name, fuzzcheck::printable(e->name));
  checkText(e->name);
  checkText(e->value);
  if (!e->value.empty()) FUZZ_CHECK(e->value.front() != ' ' && e->value.back() != ' ');
  for (const XMLEntry* child : e->children) checkTree(child, e, nodes);
}

// Names, values and children, exactly.
bool sameTree(const XMLEntry* a, const XMLEntry* b) {
  if (a->name != b->name || a->path != b->path || a->value != b->value ||
      a->level != b->level || a->count() != b->count())
    return false;
  for (int i = 0; i < a->count(); ++i)
    if (!sameTree(a->children[static_cast<size_t>(i)], b->children[static_cast<size_t>(i)]))
      return false;
  return true;
}

// The writer's form as the structure pass writes the dictionary back.
std::string render(const XMLEntry* e, bool escBackslash) {
  return XMLprintEntry(e, XML_INDENT | XML_AFTER | XML_LINES, true, escBackslash);
}

// An entry read with `escapes` set as the reader had it.
void checkEntry(const XMLEntry* e, int escapes) {
  int nodes = 0;
  checkTree(e, nullptr, &nodes);
  FUZZ_CHECK(e->count() > 0 && !e->name.empty());

  const bool esc = escapes != 0;
  const std::string text = render(e, esc);
  XML again;
  again.escapes = escapes;
  FUZZ_CHECK_MSG(again.getEntry(text), fuzzcheck::printable(text));
  FUZZ_CHECK(again.errors == 0);
  nodes = 0;
  checkTree(again.root, nullptr, &nodes);
  FUZZ_CHECK_MSG(sameTree(e, again.root),
                 fuzzcheck::printable(text) + "\nread back as\n" +
                     fuzzcheck::printable(render(again.root, esc)));
  FUZZ_CHECK(render(again.root, esc) == text);

  // The compact forms agree with the rendering too.
  XML compact;
  compact.escapes = escapes;
  FUZZ_CHECK(compact.getEntry(XMLprintEntry(e, true, esc)));
  FUZZ_CHECK(sameTree(e, compact.root));

  // The value lists hold one item per node, the upmost element last.
  XML lists;
  delete lists.root;
  lists.setXMLEntry(XMLcopyEntry(e, nullptr));
  FUZZ_CHECK(lists.getEntStr());
  FUZZ_CHECK(lists.values.count == nodes && lists.names.count == nodes);
  FUZZ_CHECK(lists.names[nodes - 1] == e->name && lists.values[nodes - 1] == e->value);
}

struct MemStream {
  std::vector<char> bytes;
  FILE* f = nullptr;
  MemStream(const uint8_t* data, size_t size) : bytes(data, data + size) {
    if (size > 0) f = fmemopen(bytes.data(), size, "rb");
  }
  ~MemStream() {
    if (f != nullptr) fclose(f);
  }
};

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzzcheck::init();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);

  // The text driver.
  XML fromText;
  const bool textRead = fromText.getEntry(text);
  if (textRead) checkEntry(fromText.root, fromText.escapes);

  MemStream in(data, size);
  if (in.f == nullptr) return 0;

  // The stream driver reads the same first entry, with the same complaints.
  XML first;
  const bool streamRead = first.getEntry(&in.f);
  FUZZ_CHECK(streamRead == textRead);
  FUZZ_CHECK(first.errors == fromText.errors);
  if (streamRead) FUZZ_CHECK(sameTree(first.root, fromText.root));

  // The whole stream as the build passes read it: the declaration, then
  // entry after entry until the input ends.
  rewind(in.f);
  XML all;
  all.readHeader(in.f);
  if (all.escapes != 0) FUZZ_CHECK(ftell(in.f) == 0);  // nothing taken when not recognised
  for (size_t calls = 0;; ++calls) {
    FUZZ_CHECK(calls <= size + 1);
    const long before = ftell(in.f);
    FUZZ_CHECK(before >= 0 && static_cast<size_t>(before) <= size);
    if (static_cast<size_t>(before) == size) break;
    const bool read = all.getEntry(&in.f);
    const long after = ftell(in.f);
    // Each read either takes input or ends at the end of it.
    FUZZ_CHECK(after > before || feof(in.f));
    if (read) checkEntry(all.root, all.escapes);
    if (feof(in.f)) break;
  }
  return 0;
}
