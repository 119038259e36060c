#!/usr/bin/env bash
# Times lexorn-import on a generated UTF-8 dictionary with attributes and
# reports medians.
#
#   import_bench.sh LEXORN_IMPORT LEXORN_GENDICT [SIZE_MB [RUNS]]
#
# In a scratch directory, lexorn-gendict --utf8 writes a SIZE_MB (default
# 100) dictionary and one of a quarter of that size; then each kind of run
# below is repeated RUNS (default 5) times under /usr/bin/time:
#   import       lexorn-import --force big.xml out
#   import 1/4   the same on the quarter-size file: peak memory must not
#                grow with the input
#   xmllint      xmllint --stream --noout big.xml (when installed): what
#                libxml2's streaming reader alone costs on the same bytes
# For each kind it prints the medians of elapsed, user and system seconds,
# the throughput (input MB over the median elapsed and over the median
# user + system time; MB = 10^6 bytes) and the median peak resident memory.
# The machine is shared and noisy: the CPU-time figure is the steadier one.
set -eu
[ $# -ge 2 ] || { sed -n '2,18p' "$0"; exit 2; }
import=$(realpath "$1")
gendict=$(realpath "$2")
size=${3:-100}
runs=${4:-5}
[ -x /usr/bin/time ] || { echo "import_bench: /usr/bin/time is needed" >&2; exit 2; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
"$gendict" --utf8 "$size" big.xml
"$gendict" --utf8 "$(awk -v s="$size" 'BEGIN { print s / 4 }')" quarter.xml

median() { sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

measure() {  # label, input file, command...
  local label=$1 input=$2; shift 2
  local mb
  mb=$(stat -c %s "$input" | awk '{ print $1 / 1e6 }')
  : >times
  for _ in $(seq "$runs"); do
    /usr/bin/time -f '%e %U %S %M' -o one "$@" >/dev/null 2>&1 || { echo "$label: failed" >&2; exit 1; }
    cat one >>times
  done
  local e u s m
  e=$(awk '{ print $1 }' times | median)
  u=$(awk '{ print $2 }' times | median)
  s=$(awk '{ print $3 }' times | median)
  m=$(awk '{ print $4 }' times | median)
  awk -v l="$label" -v e="$e" -v u="$u" -v s="$s" -v m="$m" -v mb="$mb" 'BEGIN {
    printf "%-11s %6.1f MB  elapsed %6.2f s  user %6.2f s  sys %5.2f s  %6.1f MB/s (%6.1f MB/s of CPU)  peak %6.1f MB\n",
      l, mb, e, u, s, mb / e, mb / (u + s), m / 1024 }'
}

echo "lexorn-import on generated UTF-8 input with attributes, $runs runs each, medians"
measure "import" big.xml "$import" --force big.xml out
measure "import 1/4" quarter.xml "$import" --force quarter.xml out
if command -v xmllint >/dev/null; then
  measure "xmllint" big.xml xmllint --stream --noout big.xml
fi
