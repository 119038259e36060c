# Sourced by the benchmark scripts: times one command over repeated runs.
#
#   measure LABEL MB RUNS COMMAND...
#
# Runs COMMAND RUNS times under /usr/bin/time (its output discarded) and
# prints one line: the medians of elapsed, user and system seconds, MB over
# the median elapsed time and over the median user + system time, and the
# median peak resident memory. A run that fails ends the script.

# Every script runs in a scratch directory of its own, removed on exit.
enter_scratch_dir() {
  work=$(mktemp -d)
  trap 'rm -rf "$work"' EXIT
  cd "$work"
}

# measure needs /usr/bin/time (GNU time), not the shell's keyword.
need_time() {
  [ -x /usr/bin/time ] || { echo "$1: /usr/bin/time is needed" >&2; exit 2; }
}

median() { sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

measure() {
  local label=$1 mb=$2 runs=$3; shift 3
  local times one
  times=$(mktemp); one=$(mktemp)
  for _ in $(seq "$runs"); do
    /usr/bin/time -f '%e %U %S %M' -o "$one" "$@" >/dev/null 2>&1 ||
      { echo "$label: failed" >&2; rm -f "$times" "$one"; exit 1; }
    cat "$one" >>"$times"
  done
  local e u s m
  e=$(awk '{ print $1 }' "$times" | median)
  u=$(awk '{ print $2 }' "$times" | median)
  s=$(awk '{ print $3 }' "$times" | median)
  m=$(awk '{ print $4 }' "$times" | median)
  rm -f "$times" "$one"
  awk -v l="$label" -v e="$e" -v u="$u" -v s="$s" -v m="$m" -v mb="$mb" 'BEGIN {
    printf "%-12s %6.1f MB  elapsed %6.2f s  user %6.2f s  sys %5.2f s  %6.1f MB/s (%6.1f MB/s of CPU)  peak %7.1f MB\n",
      l, mb, e, u, s, mb / e, (u + s > 0 ? mb / (u + s) : 0), m / 1024 }'
}
