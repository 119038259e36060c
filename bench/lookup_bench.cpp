// Lookups on a built dictionary: the time of the read-only open and of the
// full open (medians of several), then single-word searches, two-word
// searches and fetches by entry number through the read-only open (with
// --full, through the full open), each timed over several rounds and
// reported as the median rate.
//
//   lookup_bench [--full] DICT [ROUNDS [QUERIES]]
//
// DICT is the base name of a dictionary already built by lexorn (speed it
// up with -s first for one chunk per word). The queries are drawn
// deterministically from the dictionary itself, so runs are comparable.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "base/files.h"
#include "base/text.h"
#include "dictio/dictio.h"
#include "dictio/widchain.h"
#include "dtd/dtd.h"
#include "xml/entry.h"
#include "xml/query.h"

namespace {

using Clock = std::chrono::steady_clock;

struct Query {
  int tag;
  std::string text;
};

// A small deterministic generator (the C library's rand is left alone).
struct Lcg {
  uint64_t s;
  uint32_t next() {
    s = s * 6364136223846793005ULL + 1442695040888963407ULL;
    return static_cast<uint32_t>(s >> 33);
  }
};

// Every k-th word of the list, searched under the tag of its first code.
std::vector<Query> singleWords(DictIO* d, size_t want) {
  std::vector<Query> out;
  FILE* wid = fopen(d->widFile, "rb");
  if (!wid) return out;
  WidChain chain(wid, d->widFile);
  int total = map_size(&d->wordMap);
  int step = std::max(1, total / static_cast<int>(want));
  int seen = 0;
  int pos = 0;
  for (wrdrec_t* rec; out.size() < want &&
                      (rec = static_cast<wrdrec_t*>(map_get_nth(&d->wordMap, &pos))) != nullptr;
       ++pos) {
    if (seen++ % step != 0) continue;
    int tag = 0;
    chain.walk(rec->chunk, [&](int32_t code, long) {
      tag = static_cast<int>(static_cast<uint32_t>(code) >> 24);
      return false;
    });
    if (tag > 0) out.push_back({tag, rec->word});
  }
  fclose(wid);
  return out;
}

// Two words that stand together in one element of a sampled entry.
std::vector<Query> wordPairs(DictIO* d, size_t want) {
  std::vector<Query> out;
  Lcg rng{7};
  long n = d->size();
  XMLEntry e;
  for (size_t tries = 0; out.size() < want && tries < want * 20 && n > 0; ++tries) {
    long num = 1 + static_cast<long>(rng.next() % static_cast<uint32_t>(n));
    if (!d->getXML(&e, num)) continue;
    XMLpreorder(&e, [&](XMLEntry* node) {
      int count = 0;
      char* words = str_get_words(node->value.c_str(), &count);
      if (count >= 2) {
        std::string first = words;
        std::string second = words + first.size() + 1;
        out.push_back({d->dtd->getIndex(node->path), first + " " + second});
      }
      free(words);
      return count >= 2 ? XMLWalk::Stop : XMLWalk::Descend;
    });
  }
  return out;
}

template <typename Body>
double rate(size_t count, Body body) {
  auto start = Clock::now();
  body();
  double secs = std::chrono::duration<double>(Clock::now() - start).count();
  return secs > 0 ? static_cast<double>(count) / secs : 0;
}

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.empty() ? 0 : v[v.size() / 2];
}

void report(const char* what, const std::vector<double>& rates, size_t per, long hits) {
  printf("%-22s median %10.0f per second  (%zu rounds of %zu; %ld hits in the last)\n", what,
         median(rates), rates.size(), per, hits);
}

void searchRounds(DictIO* d, const char* what, const std::vector<Query>& qs, int rounds) {
  std::vector<double> rates;
  long hits = 0;
  for (int r = 0; r < rounds; ++r) {
    hits = 0;
    rates.push_back(rate(qs.size(), [&] {
      for (const Query& q : qs) {
        twset result;
        d->findWordEnt(q.tag, q.text.c_str(), &result, nullptr, 0, 0);
        hits += static_cast<long>(result.size());
      }
    }));
  }
  report(what, rates, qs.size(), hits);
}

void fetchRounds(DictIO* d, size_t count, int rounds) {
  std::vector<double> rates;
  long loaded = 0;
  Lcg rng{11};
  std::vector<long> nums;
  for (size_t i = 0; i < count && d->size() > 0; ++i)
    nums.push_back(1 + static_cast<long>(rng.next() % static_cast<uint32_t>(d->size())));
  for (int r = 0; r < rounds; ++r) {
    loaded = 0;
    rates.push_back(rate(nums.size(), [&] {
      XMLEntry e;
      for (long n : nums) loaded += d->getXMLEntry(&e, n);
    }));
  }
  report("fetch by number", rates, nums.size(), loaded);
}

// Median seconds of `runs` opens of `base` in `mode`; the last one is kept.
double timeOpens(const std::string& base, int mode, int runs, std::unique_ptr<DictIO>* kept) {
  std::vector<double> secs;
  for (int i = 0; i < runs; ++i) {
    kept->reset();
    auto start = Clock::now();
    *kept = std::make_unique<DictIO>(base.c_str(), 0, mode);
    secs.push_back(std::chrono::duration<double>(Clock::now() - start).count());
    if (!(*kept)->errText.empty()) return -1;
  }
  return median(secs);
}

}  // namespace

int main(int argc, char** argv) {
  bool full = argc > 1 && strcmp(argv[1], "--full") == 0;
  if (full) --argc, ++argv;
  if (argc < 2) {
    fprintf(stderr, "Usage: lookup_bench [--full] DICT [ROUNDS [QUERIES]]\n");
    return 2;
  }
  std::string base = argv[1];
  int rounds = argc > 2 ? std::max(1, atoi(argv[2])) : 5;
  size_t queries = argc > 3 ? static_cast<size_t>(std::max(1, atoi(argv[3]))) : 2000;
  for (const char* suffix : {".def", ".ent", ".eid", ".wrd", ".wid"}) {
    if (!fil_exist((base + suffix).c_str())) {
      fprintf(stderr, "Error: %s%s is missing; build the dictionary with lexorn first.\n",
              base.c_str(), suffix);
      return 2;
    }
  }
  std::unique_ptr<DictIO> ro, whole;
  double roSecs = timeOpens(base, DIO_READONLY, std::max(rounds, 5), &ro);
  double fullSecs = timeOpens(base, 0, rounds, &whole);
  if (roSecs < 0 || fullSecs < 0) return 2;
  printf("%s: %ld entries, %d words\n", base.c_str(), whole->size(), whole->wordListSize());
  printf("%-22s median %10.4f s\n", "read-only open", roSecs);
  printf("%-22s median %10.4f s\n", "full open", fullSecs);

  // The queries are drawn through the full open's tables, then put to the
  // open under test.
  std::vector<Query> single = singleWords(whole.get(), queries);
  std::vector<Query> pairs = wordPairs(whole.get(), queries);
  DictIO* d = full ? whole.get() : ro.get();
  if (!full) whole.reset();
  printf("queries through the %s open\n", full ? "full" : "read-only");
  searchRounds(d, "single-word search", single, rounds);
  searchRounds(d, "two-word search", pairs, rounds);
  fetchRounds(d, queries, rounds);
  return 0;
}
