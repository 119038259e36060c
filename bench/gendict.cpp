// lexorn-gendict: writes a deterministic synthetic Czech-like dictionary.
//
//   lexorn-gendict [--utf8] SIZE_MB OUT.xml [SEED]
//
// The file starts with an ISO-8859-2 declaration line and holds one entry a
// line until it reaches about SIZE_MB megabytes (10^6 bytes). Words come from
// a vocabulary of 200,000 distinct Latin-2 words drawn with a Zipf-like law;
// entries use 22 distinct element paths nested up to four levels, with 1-4
// senses, mixed text and an occasional entity. The same size and seed give
// the same bytes on every machine: the generator has its own PRNG and makes
// every choice in integer arithmetic.
//
// With --utf8 it writes the same entries the way general XML dictionaries
// come (the input of lexorn-import): UTF-8, a DOCTYPE, a comment and a
// document element around the entries, and attributes: each entry has its
// number as id, each sense its number as n, each cross-reference a type
// in a namespace. The attributes take no random draws, so both forms hold
// the same words.
#include <iconv.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace gendict {

// splitmix64: small, fast and the same everywhere.
class Rng {
 public:
  explicit Rng(uint64_t seed) : state_(seed) {}
  uint64_t next() {
    uint64_t z = (state_ += 0x9E3779B97F4A7C15ULL);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
  }
  // Uniform in [0, n).
  uint32_t below(uint32_t n) { return static_cast<uint32_t>((next() >> 32) * n >> 32); }
  // Uniform in [lo, hi].
  int range(int lo, int hi) { return lo + static_cast<int>(below(static_cast<uint32_t>(hi - lo + 1))); }
  bool chance(int percent) { return below(100) < static_cast<uint32_t>(percent); }

 private:
  uint64_t state_;
};

constexpr uint32_t kVocabulary = 200000;
constexpr uint32_t kBands = 18;  // 2^17 - 1 < kVocabulary < 2^18 - 1

// Every syllable is an onset followed by exactly one vowel, so a word splits
// back into its syllables in one way only: distinct ranks give distinct words.
const char* const kOnsets[] = {"b", "\xe8", "d", "h", "j", "k", "l", "m", "n", "p",
                               "\xf8", "s", "\xb9", "t", "v", "z", "\xbe", "ch", "st", "pr"};
const char* const kVowels[] = {"a", "\xe1", "e", "\xe9", "\xec", "i",
                               "\xed", "o", "u", "\xf9", "y", "\xfd"};
constexpr uint32_t kOnsetCount = sizeof kOnsets / sizeof kOnsets[0];
constexpr uint32_t kVowelCount = sizeof kVowels / sizeof kVowels[0];
constexpr uint32_t kSyllables = kOnsetCount * kVowelCount;

// The word of a given frequency rank: frequent words are short. Within one
// length, ranks are spread over the syllable combinations by a bijection
// (multiplication by a prime coprime to the count), so that words of the
// same length do not all share their last syllables.
std::string word(uint32_t rank) {
  uint64_t combos = kSyllables;
  uint64_t index = rank;
  int length = 1;
  while (index >= combos) {
    index -= combos;
    combos *= kSyllables;
    ++length;
  }
  index = (index * 7919 + 101) % combos;
  std::string w;
  for (; length > 0; --length) {
    uint64_t s = index % kSyllables;
    w += kOnsets[s / kVowelCount];
    w += kVowels[s % kVowelCount];
    index /= kSyllables;
  }
  return w;
}

class Generator {
 public:
  // With `attributes`, entries, senses and cross-references carry them.
  Generator(uint64_t seed, bool attributes) : rng_(seed), attributes_(attributes) {
    vocab_.reserve(kVocabulary);
    for (uint32_t i = 0; i < kVocabulary; ++i) vocab_.push_back(word(i));
  }

  // Appends one entry and its line feed to *out.
  void entry(std::string* out) {
    out_ = out;
    ++entries_;
    open("e", attributes_ ? " id=\"" + std::to_string(entries_) + "\"" : "");
    leaf("hw", vocab_[rng_.below(kVocabulary)]);
    if (rng_.chance(30)) leaf("pron", "[" + zipfWord() + "]");
    leaf("pos", kPos[rng_.below(8)]);
    if (rng_.chance(40)) {
      open("gram");
      leaf("gen", kGen[rng_.below(3)]);
      leaf("num", rng_.chance(80) ? "sg." : "pl.");
      close("gram");
    }
    int senses = rng_.range(1, 4);
    for (int i = 1; i <= senses; ++i) sense(i, senses);
    if (rng_.chance(15)) {
      open("idiom");
      leaf("phr", words(2, 4));
      leaf("def", words(3, 6) + ".");
      close("idiom");
    }
    for (int n = rng_.range(0, 2); n > 0; --n) {
      open("xref", attributes_ ? " g:type=\"see\"" : "");
      text(zipfWord());
      close("xref");
    }
    if (rng_.chance(10)) leaf("etym", "z lat. " + zipfWord());
    close("e");
    out->push_back('\n');
  }

 private:
  static constexpr const char* kPos[] = {"subst.", "adj.", "v.", "adv.",
                                         "prep.", "konj.", "num.", "z\xe1jm."};
  static constexpr const char* kGen[] = {"m.", "\xbe.", "s."};
  static constexpr const char* kUsage[] = {"hovor.", "kni\xbe.", "zast.", "expr."};

  void sense(int number, int senses) {
    open("sense", attributes_ ? " n=\"" + std::to_string(number) + "\"" : "");
    if (senses > 1) leaf("num", std::to_string(number) + ".");
    leaf("def", words(3, 12) + ".");
    if (rng_.chance(60)) {
      open("ex");
      text(words(4, 10));
      if (rng_.chance(25)) leaf("src", words(1, 2));
      close("ex");
    }
    if (rng_.chance(30)) leaf("syn", list(1, 3));
    if (rng_.chance(20)) {
      open("sub");
      leaf("def", words(2, 8) + ".");
      if (rng_.chance(50)) leaf("ex", words(3, 7));
      close("sub");
    }
    if (rng_.chance(15)) leaf("usage", kUsage[rng_.below(4)]);
    close("sense");
  }

  // Zipf-like rank, in integers only: a power-of-two band chosen uniformly,
  // then a rank uniformly inside it, so P(rank) falls off as 1 / rank.
  const std::string& zipfWord() {
    uint32_t band = rng_.below(kBands);
    uint32_t lo = (1u << band) - 1;
    uint32_t hi = (2u << band) - 1;
    if (hi > kVocabulary) hi = kVocabulary;
    return vocab_[lo + rng_.below(hi - lo)];
  }

  std::string words(int lo, int hi) {
    std::string s;
    for (int n = rng_.range(lo, hi); n > 0; --n) {
      if (!s.empty()) s += rng_.chance(8) ? ", " : " ";
      if (rng_.chance(1)) {
        s += rng_.chance(80) ? "&amp;" : "&lt;";
      } else {
        s += zipfWord();
      }
    }
    return s;
  }

  std::string list(int lo, int hi) {
    std::string s;
    for (int n = rng_.range(lo, hi); n > 0; --n) {
      if (!s.empty()) s += ", ";
      s += zipfWord();
    }
    return s;
  }

  void open(const char* name, const std::string& attributes = "") {
    out_->push_back('<');
    out_->append(name);
    out_->append(attributes);
    out_->push_back('>');
  }
  void close(const char* name) {
    out_->append("</");
    out_->append(name);
    out_->push_back('>');
  }
  void text(const std::string& s) { out_->append(s); }
  void leaf(const char* name, const std::string& s) {
    open(name);
    text(s);
    close(name);
  }

  Rng rng_;
  bool attributes_;
  long entries_ = 0;
  std::vector<std::string> vocab_;
  std::string* out_ = nullptr;
};

// Writes about `bytes` bytes of dictionary to `path`; false when the file
// cannot be written.
bool generate(const std::string& path, long long bytes, uint64_t seed) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) return false;
  Generator gen(seed, false);
  std::string buf = "<?xml version=\"1.0\" encoding=\"ISO-8859-2\"?>\n";
  long long written = 0;
  bool ok = true;
  while (ok && written + static_cast<long long>(buf.size()) < bytes) {
    gen.entry(&buf);
    if (buf.size() >= (1u << 20)) {
      ok = std::fwrite(buf.data(), 1, buf.size(), f) == buf.size();
      written += static_cast<long long>(buf.size());
      buf.clear();
    }
  }
  if (ok) ok = std::fwrite(buf.data(), 1, buf.size(), f) == buf.size();
  return std::fclose(f) == 0 && ok;
}

// Appends the UTF-8 form of the Latin-2 `text` to *out.
bool toUtf8(iconv_t cd, const std::string& text, std::string* out) {
  size_t at = out->size();
  out->resize(at + 2 * text.size());
  char* in = const_cast<char*>(text.data());
  size_t inLeft = text.size();
  char* dst = out->data() + at;
  size_t room = 2 * text.size();
  bool ok = iconv(cd, &in, &inLeft, &dst, &room) != static_cast<size_t>(-1);
  out->resize(out->size() - room);
  return ok;
}

// The --utf8 form: see the top of the file.
bool generateUtf8(const std::string& path, long long bytes, uint64_t seed) {
  iconv_t cd = iconv_open("UTF-8", "ISO-8859-2");
  if (cd == reinterpret_cast<iconv_t>(-1)) return false;
  FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) {
    iconv_close(cd);
    return false;
  }
  Generator gen(seed, true);
  std::string buf =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<!DOCTYPE dictionary>\n"
      "<!-- lexorn-gendict: a synthetic dictionary -->\n"
      "<dictionary xmlns:g=\"urn:lexorn:gendict\">\n";
  const std::string end = "</dictionary>\n";
  std::string entry;
  long long written = 0;
  bool ok = true;
  while (ok) {
    entry.clear();
    gen.entry(&entry);
    size_t before = buf.size();
    ok = toUtf8(cd, entry, &buf);
    if (written + static_cast<long long>(buf.size() + end.size()) >= bytes) {
      buf.resize(before);
      break;
    }
    if (buf.size() >= (1u << 20)) {
      ok = std::fwrite(buf.data(), 1, buf.size(), f) == buf.size();
      written += static_cast<long long>(buf.size());
      buf.clear();
    }
  }
  buf += end;
  if (ok) ok = std::fwrite(buf.data(), 1, buf.size(), f) == buf.size();
  iconv_close(cd);
  return std::fclose(f) == 0 && ok;
}

}  // namespace gendict

#ifndef LEXORN_GENDICT_NO_MAIN
int main(int argc, char** argv) {
  bool utf8 = argc > 1 && std::string(argv[1]) == "--utf8";
  if (utf8) {
    --argc;
    ++argv;
  }
  if (argc < 3 || argc > 4) {
    std::fprintf(stderr, "Usage: lexorn-gendict [--utf8] SIZE_MB OUT.xml [SEED]\n");
    return 2;
  }
  char* end = nullptr;
  double mb = std::strtod(argv[1], &end);
  if (end == argv[1] || *end != '\0' || !(mb > 0) || mb > 1e6) {
    std::fprintf(stderr, "Error: Bad size %s.\n", argv[1]);
    return 2;
  }
  uint64_t seed = 1;
  if (argc == 4) {
    errno = 0;
    seed = std::strtoull(argv[3], &end, 10);
    if (end == argv[3] || *end != '\0' || errno != 0) {
      std::fprintf(stderr, "Error: Bad seed %s.\n", argv[3]);
      return 2;
    }
  }
  long long bytes = static_cast<long long>(mb * 1e6);
  bool ok = utf8 ? gendict::generateUtf8(argv[2], bytes, seed) : gendict::generate(argv[2], bytes, seed);
  if (!ok) {
    std::fprintf(stderr, "Error: Could not write %s.\n", argv[2]);
    return 1;
  }
  return 0;
}
#endif
