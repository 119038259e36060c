#!/usr/bin/env bash
# Times the index build on a generated dictionary and reports medians.
#
#   build_bench.sh LEXORN LEXORN_GENDICT [SIZE_MB [RUNS]]
#
# In a scratch directory, lexorn-gendict writes a SIZE_MB (default 100)
# dictionary; then each kind of run below is repeated RUNS (default 3) times
# under /usr/bin/time:
#   force        lexorn -f d            structure, entry pass, word index
#   force+speed  lexorn -f -s d         the same, then the speed-up pass
#   load         lexorn d               everything present: loads only
#   force n1e5   lexorn -f -n100000 d   word index in batches of 100,000
# For each kind it prints the medians of elapsed, user and system seconds,
# the throughput (SIZE_MB over the median elapsed and over the median
# user + system time) and the median peak resident memory.
set -eu
[ $# -ge 2 ] || { sed -n '2,16p' "$0"; exit 2; }
lexorn=$(realpath "$1")
gendict=$(realpath "$2")
size=${3:-100}
runs=${4:-3}
[ -x /usr/bin/time ] || { echo "build_bench: /usr/bin/time is needed" >&2; exit 2; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
"$gendict" "$size" d.xml >/dev/null
# The first build infers the structure and rewrites d.xml in normal form;
# every later run starts from that form.
"$lexorn" -f d >/dev/null 2>&1

median() { sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

measure() {  # label, lexorn arguments...
  local label=$1; shift
  : >times
  for _ in $(seq "$runs"); do
    /usr/bin/time -f '%e %U %S %M' -o one "$lexorn" "$@" >/dev/null 2>&1
    cat one >>times
  done
  local e u s m
  e=$(awk '{ print $1 }' times | median)
  u=$(awk '{ print $2 }' times | median)
  s=$(awk '{ print $3 }' times | median)
  m=$(awk '{ print $4 }' times | median)
  awk -v l="$label" -v e="$e" -v u="$u" -v s="$s" -v m="$m" -v mb="$size" 'BEGIN {
    printf "%-12s elapsed %6.2f s  user %6.2f s  sys %5.2f s  %6.1f MB/s (%6.1f MB/s of CPU)  peak %7.1f MB\n",
      l, e, u, s, mb / e, mb / (u + s), m / 1024 }'
}

echo "dictionary: $size MB, $runs runs each, medians"
measure "force" -f d
measure "force+speed" -f -s d
measure "load" d
measure "force n1e5" -f -n100000 d
