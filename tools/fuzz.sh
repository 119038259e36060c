#!/usr/bin/env bash
# Builds the libFuzzer harnesses of tests/fuzz with clang in build-fuzz and
# runs each of them for SECONDS seconds (default 30) over a scratch copy of
# its seed corpus, so the committed corpus never changes. Fails when a
# harness crashes, hangs, leaks or breaks one of its checks; the input that
# did it is kept in build-fuzz/fuzz-out/NAME/ (crash-*, timeout-*, leak-*).
#
#   tools/fuzz.sh [SECONDS] [NAME...]
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-30}
shift || true
if ! [[ $seconds =~ ^[0-9]+$ ]] || [ "$seconds" -lt 1 ]; then
  echo "usage: tools/fuzz.sh [SECONDS] [NAME...]" >&2
  exit 2
fi
all=(fuzz_xml_reader fuzz_def_loader fuzz_packed_entry fuzz_dict_index)
if [ $# -gt 0 ]; then names=("$@"); else names=("${all[@]}"); fi

CC=${CC:-clang} CXX=${CXX:-clang++} cmake -S . -B build-fuzz -DLEXORN_FUZZ=ON \
  -DCMAKE_BUILD_TYPE=Debug >/dev/null
cmake --build build-fuzz -j"$(nproc 2>/dev/null || echo 2)" --target "${names[@]}"

# The harnesses keep their scratch dictionaries under TMPDIR: memory-backed
# when the system has it, since they rewrite files for every input.
if [ -z "${TMPDIR:-}" ] && [ -d /dev/shm ] && [ -w /dev/shm ]; then export TMPDIR=/dev/shm; fi
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
out=build-fuzz/fuzz-out
failed=()
for name in "${names[@]}"; do
  corpus=tests/fuzz/corpus/${name#fuzz_}
  if [ ! -d "$corpus" ]; then
    echo "no seed corpus $corpus" >&2
    exit 2
  fi
  work=$out/$name
  rm -rf "$work"
  mkdir -p "$work/corpus"
  cp "$corpus"/* "$work/corpus/"
  echo "== $name: ${seconds}s over $(ls "$work/corpus" | wc -l) seeds"
  # The library's own "Error:"/"Parse error:" lines are expected by the
  # thousand: standard error is closed to them (libFuzzer keeps its own
  # report and the sanitizers' on a copy of it).
  if ! "build-fuzz/tests/fuzz/$name" -max_total_time="$seconds" -timeout=10 \
      -rss_limit_mb=2048 -close_fd_mask=2 -print_final_stats=1 \
      -artifact_prefix="$work/" "$work/corpus" >"$work/log" 2>&1; then
    failed+=("$name")
  fi
  if ls "$work"/crash-* "$work"/timeout-* "$work"/leak-* "$work"/oom-* >/dev/null 2>&1; then
    [[ " ${failed[*]-} " == *" $name "* ]] || failed+=("$name")
  fi
  grep -E '^(#[0-9]+[[:space:]]+DONE|stat::number_of_executed_units)' "$work/log" || true
  grep -E "fuzz check failed|ERROR|SUMMARY" "$work/log" | head -n 5 || true
done
if [ ${#failed[@]} -gt 0 ]; then
  echo "fuzzing failed: ${failed[*]} (logs and inputs under $out/)" >&2
  exit 1
fi
echo "fuzzing passed: ${names[*]}"
