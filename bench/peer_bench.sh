#!/usr/bin/env bash
# Compares lexorn with SQLite's FTS5 on the same generated dictionary.
#
#   peer_bench.sh LEXORN LEXORN_FIND LEXORN_GENDICT [SIZE_MB [RUNS]]
#
# In a scratch directory (removed at the end), lexorn-gendict writes a
# SIZE_MB (default 100) dictionary and lexorn builds it. The same entries go
# into an FTS5 table, one row per entry (rowid = entry number): a column per
# searchable element path of d.def (types I, K, L, N; the texts of the
# element in the entry, in UTF-8) and the entry's XML, unindexed. The
# tokenizer splits at white space only and keeps letter case and accents,
# as lexorn's word list does, so both find the same entries (checked).
#
# Printed, as medians of wall time:
#   - per query (RUNS runs, default 5, after one untimed run): lexorn-find
#     DICT word E.SENSE.DEF W and the same two-word query, against the
#     sqlite3 command line selecting rowid and XML of the matching rows;
#     each is a whole process that opens the dictionary, as a user runs it;
#     then the same for fetching the middle entry by number, which is
#     mostly the open;
#   - lexorn -f -s (build and speed-up) against creating the table and
#     importing the rows (3 runs, or RUNS when fewer; turning the XML into
#     rows is preparation and not timed);
# with the ratio lexorn / SQLite for each. The words are drawn from the data:
# W1 is the word of E.SENSE.DEF whose entry count is nearest 100, W2 the most
# common other word of that element in the entries that hold W1.
#
# Needs the sqlite3 command, or python3 with its sqlite3 module (whose start
# is then part of every SQLite query's time); with neither it says so and
# stops with status 0. Either SQLite must have FTS5.
set -eu
[ $# -ge 3 ] || { sed -n '2,30p' "$0"; exit 2; }
lexorn=$(realpath "$1")
find=$(realpath "$2")
gendict=$(realpath "$3")
size=${4:-100}
runs=${5:-5}
builds=$((runs < 3 ? runs : 3))
element=E.SENSE.DEF

client=
if command -v sqlite3 >/dev/null 2>&1 &&
   sqlite3 :memory: 'CREATE VIRTUAL TABLE t USING fts5(a);' >/dev/null 2>&1; then
  client=sqlite3
elif command -v python3 >/dev/null 2>&1 &&
     python3 -c 'import sqlite3; sqlite3.connect(":memory:").execute("CREATE VIRTUAL TABLE t USING fts5(a)")' \
       >/dev/null 2>&1; then
  client=python3
fi
if [ -z "$client" ]; then
  echo "peer_bench: neither the sqlite3 command nor python3's sqlite3 module with FTS5 is here; skipped"
  exit 0
fi
command -v iconv >/dev/null || { echo "peer_bench: the iconv command is needed" >&2; exit 2; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
export LC_ALL=C

# The SQL of the python3 client: python3 sql DB < STATEMENTS, or with
# IMPORT the rows file (fields split by 0x1F, rows ended by 0x1E).
cat >sql.py <<'EOF'
import sqlite3, sys
db = sqlite3.connect(sys.argv[1])
if len(sys.argv) > 3 and sys.argv[2] == "import":
    create, rows = sys.argv[3], sys.argv[4]
    db.execute(create)
    with open(rows, encoding="utf-8", newline="") as f:
        data = [r.split("\x1f") for r in f.read().split("\x1e") if r]
    marks = ",".join("?" * len(data[0]))
    db.executemany("INSERT INTO d VALUES (" + marks + ")", data)
    db.commit()
else:
    for row in db.execute(sys.argv[2]):
        sys.stdout.write("|".join(str(v) for v in row) + "\n")
EOF
sql() {  # sql DB STATEMENT: the rows, one a line
  if [ "$client" = sqlite3 ]; then sqlite3 -batch "$1" "$2"; else python3 sql.py "$1" "$2"; fi
}

echo "peer_bench: $size MB generated dictionary, SQLite client: $client $(sql :memory: 'SELECT sqlite_version();')"
"$gendict" "$size" d.xml
# The first build infers the structure and rewrites d.xml in normal form.
"$lexorn" -f -s d >/dev/null 2>&1

# The searchable paths of d.def: "LEVEL NAME<TAB>min<TAB>max<TAB>TYPE...".
awk -F '\t' '{
  split($1, head, " "); level = head[1]; name = head[2]; type = $4
  path[level] = name; full = path[0]
  for (i = 1; i <= level; i++) full = full "." path[i]
  if (type ~ /^[IKLN]$/) print full
}' d.def >paths

# One row per entry: the entry's XML, then the own text of each path's
# elements, joined by spaces, with the XML entities resolved.
awk -v paths=paths '
BEGIN {
  n = 0
  while ((getline p <paths) > 0) { n++; col[p] = n }
}
NR == 1 && /^<\?xml/ { next }
{
  delete text
  line = $0
  depth = 0
  k = split(line, part, "<")
  for (i = 2; i <= k; i++) {
    gt = index(part[i], ">")
    tag = substr(part[i], 1, gt - 1)
    rest = substr(part[i], gt + 1)
    if (substr(tag, 1, 1) == "/") depth--
    else { stack[++depth] = tag }
    if (depth == 0 || rest == "") continue
    p = stack[1]
    for (j = 2; j <= depth; j++) p = p "." stack[j]
    if (!(p in col)) continue
    gsub(/&lt;/, "<", rest); gsub(/&gt;/, ">", rest); gsub(/&amp;/, "\\&", rest)
    text[col[p]] = (col[p] in text) ? text[col[p]] " " rest : rest
  }
  printf "%s", line
  for (c = 1; c <= n; c++) printf "\037%s", text[c]
  printf "\036"
}' d.xml >rows.latin2
iconv -f ISO-8859-2 -t UTF-8 rows.latin2 >rows
entries=$(tr -cd '\036' <rows | wc -c)

columns=$(tr '.' '_' <paths | paste -sd, -)
create="CREATE VIRTUAL TABLE d USING fts5(xml UNINDEXED, $columns, tokenize = \"unicode61 remove_diacritics 0 separators ' ' tokenchars '.,&<>[]'\");"
import() {
  rm -f fts.db
  if [ "$client" = sqlite3 ]; then
    printf '%s\n.import --ascii rows d\n' "$create" | sqlite3 -batch fts.db
  else
    python3 sql.py fts.db import "$create" rows
  fi
}
import

# The words, from the Latin-2 rows: W1 nearest 100 entries, W2 the most
# common other word in those entries.
col=$(grep -nx "$element" paths | cut -d: -f1)
[ -n "$col" ] || { echo "peer_bench: $element is not a searchable path of the dictionary" >&2; exit 1; }
field=$((col + 1))
words=$(awk -v RS='\036' -F '\037' -v f="$field" '
function plain(x) { return x !~ /[.,&<>]/ && index(x, "[") == 0 && index(x, "]") == 0 }
# First pass: in how many entries each word occurs; W1 at its end.
NR == FNR {
  delete seen
  m = split($f, w, " ")
  for (i = 1; i <= m; i++) if (!(w[i] in seen)) { seen[w[i]] = 1; df[w[i]]++ }
  next
}
FNR == 1 {
  best = ""; gap = -1
  for (x in df) {
    d = df[x] - 100; if (d < 0) d = -d
    if (plain(x) && (gap < 0 || d < gap || (d == gap && x < best))) { best = x; gap = d }
  }
}
# Second pass: the words of the entries that hold W1.
{
  m = split($f, w, " ")
  has = 0
  for (i = 1; i <= m; i++) if (w[i] == best) has = 1
  if (!has) next
  delete seen
  for (i = 1; i <= m; i++) if (w[i] != best && !(w[i] in seen)) { seen[w[i]] = 1; with[w[i]]++ }
}
END {
  second = ""; top = 0
  for (x in with) if (plain(x) && (with[x] > top || (with[x] == top && x < second))) { second = x; top = with[x] }
  print best; print second
}' rows.latin2 rows.latin2)
w1=$(sed -n 1p <<<"$words")
w2=$(sed -n 2p <<<"$words")
u1=$(printf '%s' "$w1" | iconv -f ISO-8859-2 -t UTF-8)
u2=$(printf '%s' "$w2" | iconv -f ISO-8859-2 -t UTF-8)
fcol=$(tr '.' '_' <<<"$element")
q1="SELECT rowid, xml FROM d WHERE d MATCH '$fcol : \"$u1\"';"
q2="SELECT rowid, xml FROM d WHERE d MATCH '$fcol : (\"$u1\" AND \"$u2\")';"

# Both must find the same entries.
lexornHits() { "$find" --raw --json d word "$element" "$@" | sed 's/^{"entry":\([0-9]*\),.*/\1/' | sort -n; }
sqlHits() { sql fts.db "$1" | cut -d'|' -f1 | sort -n; }
check() {
  local label=$1 query=$2; shift 2
  if ! diff <(lexornHits "$@") <(sqlHits "$query") >/dev/null; then
    echo "peer_bench: lexorn-find and SQLite find different entries for $label" >&2
    exit 1
  fi
  lexornHits "$@" | wc -l
}
hits1=$(check "$u1" "$q1" "$w1")
hits2=$(check "$u1 $u2" "$q2" "$w1" "$w2")

median() { sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
# wall WARM N COMMAND...: the median wall time in milliseconds of N runs,
# after one untimed run when WARM is 1. Status 0 or 1 counts as success.
wall() {
  local warm=$1 n=$2 times=() start end status i; shift 2
  for ((i = 1 - warm; i <= n; i++)); do
    start=$(date +%s%N)
    status=0
    "$@" >/dev/null 2>&1 || status=$?
    end=$(date +%s%N)
    [ "$status" -le 1 ] || { echo "peer_bench: '$*' failed with status $status" >&2; exit 1; }
    [ "$i" -ge 1 ] && times+=("$(( (end - start) / 1000 ))")
  done
  printf '%s\n' "${times[@]}" | median | awk '{ printf "%.1f", $1 / 1000 }'
}
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b > 0) printf "%.2fx", a / b; else print "-" }'; }

f1=$(wall 1 "$runs" "$find" --raw d word "$element" "$w1")
s1=$(wall 1 "$runs" sql fts.db "$q1")
f2=$(wall 1 "$runs" "$find" --raw d word "$element" "$w1" "$w2")
s2=$(wall 1 "$runs" sql fts.db "$q2")
# A fetch by number is mostly the open: what a query costs besides it.
n=$(( (entries + 1) / 2 ))
fe=$(wall 1 "$runs" "$find" --raw d entry "$n")
se=$(wall 1 "$runs" sql fts.db "SELECT rowid, xml FROM d WHERE rowid = $n;")
b=$(wall 0 "$builds" "$lexorn" -f -s d)
i=$(wall 0 "$builds" import)

mb() { du -k "$@" | awk '{ s += $1 } END { printf "%.1f", s / 1024 }'; }
echo "entries: $entries; searchable paths: $(wc -l <paths); element searched: $element"
echo "words (UTF-8): W1 = $u1 ($hits1 entries), W1 W2 = $u1 $u2 ($hits2 entries); both tools agree"
echo "indexes: lexorn $(mb d.def d.ent d.eid d.wrd d.wid) MB, SQLite $(mb fts.db) MB"
echo
printf '%-26s %14s %14s %10s\n' "median wall time (ms)" lexorn SQLite "lexorn/SQL"
printf '%-26s %14s %14s %10s\n' "query W1 ($runs runs)" "$f1" "$s1" "$(ratio "$f1" "$s1")"
printf '%-26s %14s %14s %10s\n' "query W1 W2 ($runs runs)" "$f2" "$s2" "$(ratio "$f2" "$s2")"
printf '%-26s %14s %14s %10s\n' "entry $n ($runs runs)" "$fe" "$se" "$(ratio "$fe" "$se")"
printf '%-26s %14s %14s %10s\n' "build / import ($builds runs)" "$b" "$i" "$(ratio "$b" "$i")"
