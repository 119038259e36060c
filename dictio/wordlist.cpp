// The entry pass (words, packed entries, entry offsets) and the word list
// (".wrd").

#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "base/binio.h"
#include "base/error.h"
#include "base/files.h"
#include "base/map.h"
#include "base/mem.h"
#include "base/progress.h"
#include "base/text.h"
#include "dictio/dictio.h"
#include "dtd/dtd.h"
#include "xml/packed.h"
#include "xml/reader.h"

namespace {

// Smallest ".wrd" record: number, length byte, one byte of text, chunk, tail.
constexpr long kMinWordRecord = 3 + 1 + 1 + 4 + 4;

int forall_wordr(void*, void* val, void* arg) {
  auto* d = static_cast<DictIO*>(arg);
  auto* rec = static_cast<wrdrec_t*>(val);
  map_assn(&d->idMap, map_ikey(rec->num), rec);
  return 1;
}

int forall_words(void*, void* val, void* arg) {
  auto* d = static_cast<DictIO*>(arg);
  auto* rec = static_cast<wrdrec_t*>(val);
  map_assn(&d->wordMap, rec->word, rec);
  return 1;
}

int forall_save_word(void*, void* val, void* arg) {
  auto* f = static_cast<FILE*>(arg);
  auto* rec = static_cast<wrdrec_t*>(val);
  size_t len = strnlen(rec->word, kMaxWordLength);
  put_u24(f, static_cast<uint32_t>(rec->num));
  put_u8(f, static_cast<uint32_t>(len));
  fwrite(rec->word, 1, len, f);
  put_i32(f, rec->chunk);
  put_i32(f, rec->tailLink);
  return 1;
}

wrdrec_t* newRecord(DictIO* d, const char* text, size_t len, int32_t num) {
  auto* rec = static_cast<wrdrec_t*>(mem_alloc(&d->recPool, sizeof(wrdrec_t)));
  auto* copy = static_cast<char*>(mem_alloc(&d->textPool, static_cast<int>(len + 1)));
  memcpy(copy, text, len);
  copy[len] = '\0';
  rec->word = copy;
  rec->num = num;
  rec->chunk = -1;
  rec->tailLink = -1;
  return rec;
}

void clearWordTables(DictIO* d) {
  map_clear(&d->wordMap);
  map_clear(&d->idMap);
  mem_clear(&d->recPool);
  mem_clear(&d->textPool);
}

// State of one entry pass.
struct EntryPass {
  DictIO* d;
  int32_t words = 0;    // numbers given so far
  long clipped = 0;     // words cut to kMaxWordLength bytes
  bool full = false;    // the word numbers ran out
};

// Numbers the new words of one text. False when a word needs a number
// beyond the representable range.
bool numberWords(EntryPass* pass, const std::string& value) {
  if (value.empty()) return true;
  int count = 0;
  char* list = str_get_words(value.c_str(), &count);
  bool ok = true;
  for (char* w = list; *w != '\0';) {
    size_t len = strlen(w);
    if (XMLclipWord(w)) ++pass->clipped;
    if (!map_exist(&pass->d->wordMap, w)) {
      if (pass->words >= kMaxNumber) {
        ok = false;
        break;
      }
      wrdrec_t* rec = newRecord(pass->d, w, strlen(w), ++pass->words);
      map_assn(&pass->d->wordMap, rec->word, rec);
    }
    w += len + 1;
  }
  free(list);
  return ok;
}

bool wrdDamaged(FILE* f, DictIO* d, const char* what, long value) {
  errorf("Error: %s is damaged: %s (%ld).\n", d->wrdFile, what, value);
  fclose(f);
  clearWordTables(d);
  return false;
}

}  // namespace

void DictIO::makeWrd() {
  FILE* xml = fopen(xmlFile, "rb");
  if (xml == nullptr) {
    errorf("Error: Could not open %s.\n", xmlFile);
    return;
  }
  FILE* ent = fopen(entFile, "wb");
  if (ent == nullptr) {
    fclose(xml);
    errorf("Error: Could not open %s for writing.\n", entFile);
    return;
  }
  if (dtd == nullptr) {
    fclose(ent);
    fclose(xml);
    errorf("Error: No structure description for %s.\n", xmlFile);
    return;
  }
  long total = fil_size(xmlFile);
  ProgressMeter progress(total, output != 0, on_prog, on_prog_bar, 0.0, 0.5);
  XML reader;
  map_clear(&wordMap);
  map_clear(&idMap);
  mem_clear(&recPool);
  mem_clear(&textPool);
  entPos.clear();
  posEnt.clear();
  if (output) fprintf(stderr, "Building %s...\n", wrdFile);
  reader.readHeader(xml);
  EntryPass pass{this};
  int32_t entries = 0;
  bool writeFailed = false;
  while (!feof(xml)) {
    if (!reader.getEntry(&xml)) continue;
    if (entries >= kMaxNumber) {
      errorf("Error: %s holds more than %ld entries; the rest is left out.\n", xmlFile, kMaxNumber);
      break;
    }
    reader.getEntStr();
    bool numbered = true;
    for (int i = 0; i < reader.values.count && numbered; ++i)
      numbered = numberWords(&pass, reader.values[i]);
    if (!numbered) {
      errorf("Error: %s holds more than %ld distinct words; entry %d and the rest are left out.\n",
             xmlFile, kMaxNumber, entries + 1);
      break;
    }
    long at = ftell(ent);
    if (at < 0 || at > INT32_MAX) {
      errorf("Error: %s would grow beyond %d bytes; entry %d and the rest are left out.\n",
             entFile, INT32_MAX, entries + 1);
      break;
    }
    entPos[++entries] = static_cast<int32_t>(at);
    if (!XMLsavePackEntry(reader.getXMLEntry(), &ent, &wordMap, dtd)) {
      writeFailed = true;
      break;
    }
    progress.at(ftell(xml));
  }
  if (fclose(ent) != 0) writeFailed = true;
  fclose(xml);
  if (writeFailed) errorf("Error: Could not write %s.\n", entFile);
  if (pass.clipped > 0)
    errorf("Error: %ld words longer than %d bytes were cut to their first %d bytes.\n",
           pass.clipped, kMaxWordLength, kMaxWordLength);
  makeRWrd();
  makeREid();
  if (output) {
    printf("%s%d words.\n", kClearLine, map_size(&wordMap));
    printf("%s%d entries.\n", kClearLine, static_cast<int>(entPos.size()));
  }
}

void DictIO::saveWrd() {
  int n = map_size(&wordMap);
  FILE* f = fopen(wrdFile, "wb");
  if (f == nullptr) {
    errorf("Error: Could not open %s for writing.\n", wrdFile);
    return;
  }
  if (output) printf("Saving %s...\n", wrdFile);
  setvbuf(f, nullptr, _IOFBF, 1 << 16);
  put_i32(f, n);
  map_forall(&wordMap, forall_save_word, f);
  bool failed = ferror(f) != 0;
  if (fclose(f) != 0) failed = true;
  if (failed) errorf("Error: Could not write %s.\n", wrdFile);
}

bool DictIO::loadWrd() {
  FILE* f = fopen(wrdFile, "rb");
  if (f == nullptr) {
    errorf("Error: Could not open %s.\n", wrdFile);
    return false;
  }
  map_clear(&wordMap);
  mem_clear(&textPool);
  mem_clear(&recPool);
  if (output) printf("Loading %s...\n", wrdFile);
  setvbuf(f, nullptr, _IOFBF, 1 << 16);
  long size = 0;
  if (fseek(f, 0, SEEK_END) == 0) size = ftell(f);
  fseek(f, 0, SEEK_SET);
  int32_t n = 0;
  if (!get_i32(f, &n)) return wrdDamaged(f, this, "too short for its word count", size);
  if (n < 0 || n > kMaxNumber || n > (size - 4) / kMinWordRecord)
    return wrdDamaged(f, this, "the word count is larger than the file can hold", n);
  ProgressMeter progress(n, false, on_prog, on_prog_bar, 0.0, 0.8);
  std::vector<bool> seen(static_cast<size_t>(kMaxNumber) + 1);
  char text[kMaxWordLength + 1];
  for (int32_t i = 0; i < n; ++i) {
    uint32_t num = 0, len = 0;
    int32_t chunk = 0, tail = 0;
    if (!get_u24(f, &num) || !get_u8(f, &len) || fread(text, 1, len, f) != len ||
        !get_i32(f, &chunk) || !get_i32(f, &tail))
      return wrdDamaged(f, this, "a record runs past the end of the file", i);
    if (num == 0 || seen[num])
      return wrdDamaged(f, this, "a word number is zero or repeated", num);
    if (len == 0 || memchr(text, '\0', len) != nullptr)
      return wrdDamaged(f, this, "a word text is empty or holds a NUL byte", num);
    bool noChain = chunk == -1 && tail == -1;
    if (!noChain && (chunk < 0 || tail < 0 || static_cast<long>(tail) < static_cast<long>(chunk) + 8))
      return wrdDamaged(f, this, "a word's chain offsets are impossible", num);
    text[len] = '\0';
    if (map_exist(&wordMap, text)) return wrdDamaged(f, this, "a word text is repeated", num);
    seen[num] = true;
    wrdrec_t* rec = newRecord(this, text, len, static_cast<int32_t>(num));
    rec->chunk = chunk;
    rec->tailLink = tail;
    map_assn(&wordMap, rec->word, rec);
    progress.at(i);
  }
  long end = ftell(f);
  if (end != size) return wrdDamaged(f, this, "bytes follow the last record", size - end);
  fclose(f);
  makeRWrd();
  return true;
}

void DictIO::makeRWrd() {
  map_clear(&idMap);
  map_rehash(&idMap, map_size(&wordMap));
  map_forall(&wordMap, forall_wordr, this);
}

void DictIO::makeNWrd() {
  map_clear(&wordMap);
  map_rehash(&wordMap, map_size(&idMap));
  map_forall(&idMap, forall_words, this);
}

int DictIO::wordCount(const char* w) { return map_exist(&wordMap, const_cast<char*>(w)); }
