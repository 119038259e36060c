#!/usr/bin/env bash
# Every lookup figure on one generated dictionary, in one run.
#
#   lookup_bench.sh BUILD_DIR [SIZE_MB [RUNS]]
#
# BUILD_DIR is a build configured with -DLEXORN_BENCH=ON. In a scratch
# directory (removed at the end) lexorn-gendict writes a SIZE_MB (default
# 100) dictionary, lexorn -f -s builds it, then:
#   - bench/lookup_bench times the read-only and the full open (medians)
#     and, through the read-only open, single-word searches, two-word
#     searches and fetches by number (median rates over RUNS rounds);
#   - lexorn-find looks up the middle entry's headword end to end, RUNS
#     times (default 5, after one untimed run): median wall time and peak
#     resident memory.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
. "$here/measure.sh"
[ $# -ge 1 ] || { sed -n '2,13p' "$0"; exit 2; }
build=$(realpath "$1")
size=${2:-100}
runs=${3:-5}
for tool in lexorn lexorn-find bench/lexorn-gendict bench/lookup_bench; do
  [ -x "$build/$tool" ] || { echo "lookup_bench: $build/$tool is missing (configure with -DLEXORN_BENCH=ON)" >&2; exit 2; }
done

enter_scratch_dir
export LC_ALL=C
"$build/bench/lexorn-gendict" "$size" d.xml >/dev/null
"$build/lexorn" -f -s d >/dev/null 2>&1 || { echo "lookup_bench: lexorn -f -s failed" >&2; exit 1; }
echo "dictionary: ${size} MB generated, built with lexorn -f -s"
"$build/bench/lookup_bench" d "$runs" 2000

# A headword a user might look up: the middle entry's.
word=$("$build/lexorn-find" --raw d entry "$(( $(od -An -tu4 -N4 d.eid) / 2 ))" |
       sed -n 's:.*<HW>\([^ <]*\)</HW>.*:\1:p' | head -1)
[ -n "$word" ] || { echo "lookup_bench: no word to look up" >&2; exit 1; }
"$build/lexorn-find" --raw d word E.HW "$word" >/dev/null
echo "one-word query: lexorn-find d word E.HW WORD ($("$build/lexorn-find" --raw d word E.HW "$word" | grep -c '^[0-9]') hits)"
times=$(mktemp)
for _ in $(seq "$runs"); do
  # /usr/bin/time gives the peak memory; its clock counts in hundredths.
  start=$EPOCHREALTIME
  /usr/bin/time -o "$times.one" -f '%M' "$build/lexorn-find" --raw d word E.HW "$word" >/dev/null
  echo "$(awk -v a="$start" -v b="$EPOCHREALTIME" 'BEGIN { print b - a }') $(cat "$times.one")" >>"$times"
done
wall=$(awk '{ print $1 }' "$times" | median)
peak=$(awk '{ print $2 }' "$times" | median)
rm -f "$times" "$times.one"
awk -v w="$wall" -v p="$peak" -v r="$runs" \
  'BEGIN { printf "%-22s median %10.4f s wall, peak %.1f MB  (%d runs)\n", "lexorn-find", w, p / 1024, r }'
