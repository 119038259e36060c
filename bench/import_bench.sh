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
bench=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=bench/measure.sh
. "$bench/measure.sh"
need_time import_bench
enter_scratch_dir
"$gendict" --utf8 "$size" big.xml
"$gendict" --utf8 "$(awk -v s="$size" 'BEGIN { print s / 4 }')" quarter.xml

mb() { stat -c %s "$1" | awk '{ print $1 / 1e6 }'; }

echo "lexorn-import on generated UTF-8 input with attributes, $runs runs each, medians"
measure "import" "$(mb big.xml)" "$runs" "$import" --force big.xml out
measure "import 1/4" "$(mb quarter.xml)" "$runs" "$import" --force quarter.xml out
if command -v xmllint >/dev/null; then
  measure "xmllint" "$(mb big.xml)" "$runs" xmllint --stream --noout big.xml
fi
