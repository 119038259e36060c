// Packed entries: the binary form in which the ".ent" file stores entries.
//
// An element packs as
//   0x80 + tag        open byte; tag = the structure description's index of
//                     the element's path, 1..127
//   u24 word ...      one cell per word of the element's text that the word
//                     table knows: the word's number, least significant first
//   00 00 00          end of the cells
//   children          each packed the same way, in child order
//   tag               close byte
// An element whose path has no index (0) is left out with its subtree. An
// entry is its upmost element packed; entries stand back to back with no
// header, count or length between them.
//
// The writer looks words up in a table keyed by text (values wrdrec_t*); the
// loader looks numbers up in a table keyed by word number. Element names are
// not stored: the loader takes the path back from the tag index.
//
// Words are known by at most kMaxWordLength bytes (the word list stores the
// length in one byte): a longer word is cut to its first kMaxWordLength bytes
// wherever it is numbered or looked up (XMLclipWord).
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <string_view>

class DTDStruct;
class XMLEntry;
struct map_t;

// Appends the packed form of `e` to *out.
void XMLpackEntry(const XMLEntry* e, map_t* words, const DTDStruct* dtd, std::string* out);

// The same with the word cells of each element supplied by the caller:
// `cells` appends those of one element (XMLappendCell for each known word,
// in the order of the element's words), without the terminating zero cell.
using XMLCellWriter = std::function<void(const XMLEntry* e, std::string* out)>;
void XMLpackEntry(const XMLEntry* e, const XMLCellWriter& cells, const DTDStruct* dtd,
                  std::string* out);

// Appends one word cell: `num` (1..0xFFFFFF) in 3 bytes, least significant
// first.
void XMLappendCell(std::string* out, uint32_t num);

// Appends the packed form of `e` to *f at its current position. False when
// the stream reported a write error.
bool XMLsavePackEntry(XMLEntry* e, FILE** f, map_t* words, DTDStruct* dtd);

// Reads one packed element with its subtree from the current position of *f
// into `e` (whose level becomes `level`; its previous children are dropped).
// False when the stream ends before the open byte, and also, after an
// "Error: ..." line, when the entry is cut short by the end of the input,
// nests deeper than any valid entry can, holds more children than a node
// takes, or holds a tag that `dtd` does not have (such an entry is never
// rendered with empty names). Wrong open or close bytes are reported ("N is not open tag.",
// "N is not close tag.", "Open and close tags don't match (C!=O).") and
// loading goes on.
bool XMLloadPackEntry(XMLEntry* e, FILE** f, map_t* ids, DTDStruct* dtd, int level);

// How a loader turns a word number into its text: an empty text for a
// number it does not know (a word is never empty).
using XMLWordText = std::function<std::string_view(uint32_t num)>;

// The same loader with the word texts from `words`: reading *f, or `size`
// bytes in memory.
bool XMLloadPackEntry(XMLEntry* e, FILE** f, const XMLWordText& words, const DTDStruct* dtd, int level);
bool XMLloadPackEntry(XMLEntry* e, const unsigned char* bytes, size_t size, const XMLWordText& words,
                      const DTDStruct* dtd, int level);

// The length of the whole packed entry the bytes begin with (every close
// byte matching its open byte, nesting within bounds), or 0 when they do
// not begin one.
size_t XMLpackedLength(const unsigned char* bytes, size_t size);

// The stepper: delivers the next word cell of the packed entry at the
// current position of *f, with the tag index of the element that holds it.
// False once the entry's own close byte (or the end of the input) has been
// read; the stream then stands just after the entry. *pos receives a running
// count of cells read inside an element and is otherwise left alone.
//
// The stepper keeps its state between calls, once for the whole process:
// only one walk may be under way at a time, and an entry must be walked to
// its end (or the walk abandoned with XMLresetPackPtr) before another entry
// or stream is walked.
bool XMLgetPackPtr(FILE** f, long* word, long* tag, long* pos);

// Copies the packed entry at the current position of `in` to *out, leaving
// out the cells of word numbers that `ids` does not hold; everything else is
// copied byte for byte. False, with nothing appended, when the input is at
// its end or its bytes do not form a whole packed entry (a wrong open or
// close byte, nesting deeper than any valid entry, or the end of the input
// inside the entry).
bool XMLcopyPackEntry(FILE* in, map_t* ids, std::string* out);

// The text the loader gives an element whose word cells (3 bytes each,
// without the terminating zero cell) are `cells`: the words that `ids`
// (or `words`) knows, joined with makeString.
std::string XMLcellText(const std::string& cells, map_t* ids);
std::string XMLcellText(const std::string& cells, const std::function<std::string_view(uint32_t)>& words);

// Abandons the walk under way, if any; the next call starts a new entry.
// Also sets the stepper's byte count back to 0.
void XMLresetPackPtr();

// Bytes the stepper has read since XMLresetPackPtr: the stream's offset
// when the walks began at its start and nothing else read it.
long XMLpackPtrBytes();

// Cuts `w` in place to its first kMaxWordLength bytes. True when it was
// longer.
bool XMLclipWord(char* w);
