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

bench=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
"$gendict" "$size" d.xml >/dev/null
# The first build infers the structure and rewrites d.xml in normal form;
# every later run starts from that form.
"$lexorn" -f d >/dev/null 2>&1

# shellcheck source=bench/measure.sh
. "$bench/measure.sh"

echo "dictionary: $size MB, $runs runs each, medians"
measure "force" "$size" "$runs" "$lexorn" -f d
measure "force+speed" "$size" "$runs" "$lexorn" -f -s d
measure "load" "$size" "$runs" "$lexorn" d
measure "force n1e5" "$size" "$runs" "$lexorn" -f -n100000 d
