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
# user + system time) and the median peak resident memory. Then the time
# of each pass of lexorn -f -s (medians over RUNS runs, told apart by the
# lines each pass begins with; with batches this large the word-to-entry
# index is written while the entry pass runs, so its own line only marks
# the pass that reports it), and, when xmllint is installed,
# xmllint --stream --noout on the same bytes (inside one document element)
# with the ratio of the force+speed time to it.
set -eu
[ $# -ge 2 ] || { sed -n '2,20p' "$0"; exit 2; }
lexorn=$(realpath "$1")
gendict=$(realpath "$2")
size=${3:-100}
runs=${4:-3}
bench=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=bench/measure.sh
. "$bench/measure.sh"
need_time build_bench
enter_scratch_dir
"$gendict" "$size" d.xml >/dev/null
# The first build infers the structure and rewrites d.xml in normal form;
# every later run starts from that form.
"$lexorn" -f d >/dev/null 2>&1


echo "dictionary: $size MB, $runs runs each, medians"
measure "force" "$size" "$runs" "$lexorn" -f d
speed_line=$(measure "force+speed" "$size" "$runs" "$lexorn" -f -s d)
echo "$speed_line"
measure "load" "$size" "$runs" "$lexorn" d
measure "force n1e5" "$size" "$runs" "$lexorn" -f -n100000 d

# Per pass: lexorn -f -s with its streams unbuffered, each line stamped as
# it arrives. A pass runs from the line it begins with to the next pass's.
passes() {
  local start=$EPOCHREALTIME
  stdbuf -o0 -e0 "$lexorn" -f -s d 2>&1 | stdbuf -o0 tr '\r' '\n' |
    while IFS= read -r line; do
      case $line in
        "Building d.def..."*) echo "structure $EPOCHREALTIME" ;;
        "Building d.wrd..."*) echo "entry $EPOCHREALTIME" ;;
        "Building d.wid..."*) echo "word-index $EPOCHREALTIME" ;;
        "Saving d.wrd..."*) echo "saves $EPOCHREALTIME" ;;
        "Speeding up d.wid..."*) echo "speed-up $EPOCHREALTIME" ;;
      esac
    done
  echo "end $EPOCHREALTIME"
}
times=$(mktemp)
for _ in $(seq "$runs"); do
  passes | awk '
    { t[NR] = $2; name[NR] = $1 }
    END { for (i = 1; i < NR; i++) if (name[i] != "saves" || !seen[name[i]]++) d[name[i]] += t[i + 1] - t[i]
          printf "%.3f %.3f %.3f %.3f\n", d["structure"], d["entry"], d["word-index"], d["speed-up"] }' >>"$times"
done
echo "passes of lexorn -f -s (median seconds; the entry pass writes the word index as it goes):"
for col in 1 2 3 4; do
  name=$(echo "structure entry word-index speed-up" | cut -d' ' -f$col)
  printf "  %-11s %6.2f s\n" "$name" "$(awk -v c=$col '{ print $c }' "$times" | median)"
done
rm -f "$times"

if command -v xmllint >/dev/null; then
  # The dictionary is a sequence of entries, not one document: xmllint reads
  # the same bytes inside one document element.
  { head -n 1 d.xml; echo '<dictionary>'; tail -n +2 d.xml; echo '</dictionary>'; } >doc.xml
  xml_line=$(measure "xmllint" "$size" "$runs" xmllint --stream --noout doc.xml)
  echo "$xml_line"
  build_e=$(echo "$speed_line" | awk '{ print $5 }')
  xml_e=$(echo "$xml_line" | awk '{ print $5 }')
  awk -v b="$build_e" -v x="$xml_e" 'BEGIN { printf "lexorn -f -s takes %.1f times as long as xmllint --stream\n", b / x }'
else
  echo "xmllint is not installed: no parsing baseline"
fi
