// Reader throughput over a generated dictionary.
//
//   LEXORN_BENCH_MB=100 lexorn-reader-bench [--benchmark_repetitions=5 ...]
//
// Generates a dictionary of LEXORN_BENCH_MB megabytes (default 100) into a
// fresh temporary directory, then reads it entry by entry the way the build
// passes do (readHeader, getEntry until the end of the file). "MB/s" is
// 10^6 bytes of dictionary per second of the process's CPU time, which a
// loaded machine does not distort; the Time column gives the wall clock.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "xml/reader.h"

namespace gendict {
bool generate(const std::string& path, long long bytes, uint64_t seed);
}

namespace {

std::string gPath;
long long gSize = 0;

// What the bench does per entry beyond reading it.
enum class Work { kRead, kValues, kRender };

void readDictionary(benchmark::State& state, Work work) {
  long entries = 0;
  for (auto _ : state) {
    FILE* f = std::fopen(gPath.c_str(), "rb");
    if (f == nullptr) {
      state.SkipWithError("cannot open the dictionary");
      return;
    }
    XML x;
    x.setOutProps(2);
    x.readHeader(f);
    entries = 0;
    size_t sink = 0;
    while (!std::feof(f)) {
      if (!x.getEntry(&f)) continue;
      ++entries;
      if (work == Work::kValues) {
        x.getEntStr();
        sink += static_cast<size_t>(x.values.count);
      } else if (work == Work::kRender) {
        sink += x.getString(false).size();
      }
    }
    std::fclose(f);
    benchmark::DoNotOptimize(sink);
  }
  state.counters["MB/s"] =
      benchmark::Counter(static_cast<double>(gSize) / 1e6, benchmark::Counter::kIsIterationInvariantRate);
  state.counters["entries"] = static_cast<double>(entries);
}

long long sizeFromEnvironment() {
  const char* mb = std::getenv("LEXORN_BENCH_MB");
  double v = mb != nullptr ? std::atof(mb) : 100.0;
  if (!(v > 0)) v = 100.0;
  return static_cast<long long>(v * 1e6);
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;

  std::string tmpl = (std::filesystem::temp_directory_path() / "lexorn-bench-XXXXXX").string();
  if (mkdtemp(tmpl.data()) == nullptr) {
    std::fprintf(stderr, "Error: Could not create a temporary directory.\n");
    return 1;
  }
  gPath = tmpl + "/d.xml";
  if (!gendict::generate(gPath, sizeFromEnvironment(), 1)) {
    std::fprintf(stderr, "Error: Could not write %s.\n", gPath.c_str());
    std::filesystem::remove_all(tmpl);
    return 1;
  }
  gSize = static_cast<long long>(std::filesystem::file_size(gPath));

  benchmark::RegisterBenchmark("ReadEntries", readDictionary, Work::kRead)
      ->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("ReadEntriesAndValueLists", readDictionary, Work::kValues)
      ->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("ReadAndRenderEntries", readDictionary, Work::kRender)
      ->Unit(benchmark::kMillisecond);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  std::filesystem::remove_all(tmpl);
  return 0;
}
