// Throughput of structure inference: a forced DTD construction over a copy
// of a dictionary file (the pass rewrites the file it reads).
//
//   infer_bench DICT.xml [RUNS]
//
// Prints the MB/s of each run and their median, by the wall clock and by the
// process's CPU time (which a loaded machine does not distort).

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <cstdlib>
#include <string>
#include <vector>

#include "base/files.h"
#include "dtd/dtd.h"

int main(int argc, char** argv) {
  if (argc < 2) {
    fprintf(stderr, "usage: infer_bench DICT.xml [RUNS]\n");
    return 2;
  }
  std::string src = argv[1];
  int runs = argc > 2 ? atoi(argv[2]) : 5;
  if (runs < 1) runs = 1;
  long size = fil_size(src.c_str());
  if (size <= 0) {
    fprintf(stderr, "infer_bench: %s is missing or empty\n", src.c_str());
    return 1;
  }
  std::string copy = src + ".bench.xml";
  std::string def = src + ".bench.def";
  double mb = static_cast<double>(size) / 1e6;
  std::vector<double> rates, cpuRates;
  for (int r = 0; r < runs; r++) {
    if (!fil_copy(src.c_str(), copy.c_str())) {
      fprintf(stderr, "infer_bench: cannot copy %s\n", src.c_str());
      return 1;
    }
    auto t0 = std::chrono::steady_clock::now();
    std::clock_t c0 = std::clock();
    int tags;
    {
      DTD dtd(copy, true, 0, nullptr);
      tags = dtd.count;
    }
    double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    double cpu = static_cast<double>(std::clock() - c0) / CLOCKS_PER_SEC;
    rates.push_back(mb / s);
    cpuRates.push_back(mb / cpu);
    printf("run %d: %.2f s wall, %.2f s cpu, %.1f MB/s wall, %.1f MB/s cpu, %d tags\n", r + 1, s,
           cpu, mb / s, mb / cpu, tags);
  }
  remove(copy.c_str());
  remove(def.c_str());
  remove((copy + ".orig").c_str());
  std::sort(rates.begin(), rates.end());
  std::sort(cpuRates.begin(), cpuRates.end());
  printf("median: %.1f MB/s wall, %.1f MB/s cpu, over %d runs of %.1f MB\n",
         rates[rates.size() / 2], cpuRates[cpuRates.size() / 2], runs, mb);
  return 0;
}
