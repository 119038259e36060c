// ReadIndex: a built dictionary's index files, mapped for lookups.
//
// The read-only open holds this in place of the build's tables: nothing is
// copied into hash tables or ordered maps. The word list is read where it
// lies in ".wrd" (in its stored order, which is the word table's slot
// order), the entry index where it lies in ".eid", the chains in ".wid" and
// the packed entries in ".ent". Beyond the mappings a lookup needs little:
// a table from word text to record, each word record's offset by number, a
// bitmap of live entries, and — made on first use — the word table's slot
// order and a table from offset to entry.
//
// open() checks every record of ".wrd" and ".eid" as the loaders do (counts
// against sizes, numbers in range and unique, texts unique, chains inside
// ".wid", offsets inside ".ent", the last entry whole).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "base/binio.h"
#include "base/mapfile.h"

class ReadIndex {
 public:
  struct Word {
    std::string_view text;
    uint32_t num = 0;
    int32_t chunk = -1;
    int32_t tailLink = -1;
  };

  // Maps and checks the four files; false after one "Error: ..." line.
  bool open(const std::string& wrd, const std::string& eid, const std::string& ent,
            const std::string& wid);

  // --- words ---
  int wordCount() const { return words_; }
  bool word(uint32_t num, Word* w) const;
  // The word whose text is `text`; false when there is none.
  bool find(std::string_view text, Word* w) const;
  // Offsets of the word records in the order a word table loaded from this
  // list walks its slots (base/map.h): the order in which pattern searches
  // and word listings meet words, made on first use.
  const std::vector<size_t>& slotOrder();
  // The record at byte `at` of the list, which must lie whole there.
  Word recordAt(size_t at) const {
    const unsigned char* p = wrd_.data() + at;
    const size_t len = p[3];
    return Word{std::string_view(reinterpret_cast<const char*>(p + 4), len), load_u24(p),
                load_i32(p + 4 + len), load_i32(p + 8 + len)};
  }
  // Calls fn(word) for every word in stored order until fn returns false.
  template <typename Fn>
  void forEachWord(Fn&& fn) const {
    for (size_t at = 4; at < wrd_.size();) {
      Word w = recordAt(at);
      at += 12 + w.text.size();
      if (!fn(w)) return;
    }
  }

  // The codes of a word whose chain is one whole chunk (as after a
  // speed-up): false, silently, for any other chain. A word without codes
  // has an empty chunk.
  bool oneChunk(const Word& w, const unsigned char** codes, long* n) const;
  // Where the runs of ascending codes of that chunk start (the first at 0):
  // a build writes each batch's codes sorted, so a sped-up chunk is a few
  // such runs. Found once per word and kept.
  const std::vector<uint32_t>& runStarts(const Word& w, const unsigned char* codes, long n);

  // --- entries ---
  long entryCount() const { return entries_; }  // records of ".eid", deleted ones too
  int32_t offsetOf(long num) const;              // -1: unknown or deleted
  bool isLive(uint32_t num) const {
    return num < liveBits_.size() * 64 && (liveBits_[num >> 6] >> (num & 63) & 1) != 0;
  }
  // Live entry `num` has bytes of its own: no higher number shares its
  // offset (an entry with an empty packed form shares the next one's).
  bool ownsItsOffset(long num) const;
  // The entry stored at `offset` (the highest number there), 0 when none.
  int32_t ownerOf(long offset);

  // --- files ---
  const MappedFile& ent() const { return ent_; }
  const MappedFile& wid() const { return wid_; }
  const std::string& widName() const { return widName_; }
  const fil_id& eidId() const { return eid_.id(); }

 private:
  bool checkWords(const std::string& name);
  bool checkEntries(const std::string& name);
  uint32_t enterText(size_t at, uint64_t hash);
  bool sortWordsByNumber(const std::string& name);
  size_t wordOffset(uint32_t num) const;  // 0: no such word
  long eidRecord(long i, uint32_t* num) const;  // the offset of record i

  MappedFile wrd_, eid_, ent_, wid_;
  std::string wrdName_, widName_;
  int words_ = 0;
  long entries_ = 0;
  std::vector<size_t> wordAt_;       // by word number: record offset in .wrd, 0 none
  std::vector<std::pair<uint32_t, size_t>> sparseWords_;  // instead, when numbers are sparse
  std::vector<uint64_t> liveBits_;   // by entry number
  std::vector<int32_t> offsetByNum_; // by entry number when numbers are dense; else empty
  // Open addressing by the text's hash; an entry holds the hash's top byte
  // above the word number (0: empty), so that a probe mostly reads a
  // record only when it is the one.
  std::vector<uint32_t> textTable_;
  std::vector<size_t> slotOrder_;
  std::unordered_map<uint32_t, std::vector<uint32_t>> runStarts_;  // by word number
  // Offsets that several entries share, with their owner (rare: empty
  // packed forms); and, made on first use, every offset with its owner.
  std::vector<std::pair<int32_t, int32_t>> shared_;
  std::vector<std::pair<int32_t, int32_t>> owners_;
};
