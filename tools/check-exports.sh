#!/usr/bin/env bash
# Checks the dynamic symbol table of a shared liblexorn: its SONAME is
# liblexorn.so.MAJOR, it exports the interface (the DictIO class, the
# registry, the entry trees), and no class or function that only the
# library's internal headers declare is exported. The public headers are
# those of INCLUDE_DIR/lexorn (an installed tree, or the build tree's
# include/); every other header of the library's layers is internal.
#
#   check-exports.sh LIBRARY SOURCE_DIR INCLUDE_DIR
#
# Prints what is wrong; exit status 0 when nothing is.
set -u
[ $# -eq 3 ] || { sed -n '2,10p' "$0"; exit 2; }
lib=$1; src=$2; inc=$3
for tool in nm readelf c++filt; do
  command -v $tool >/dev/null || { echo "check-exports: $tool is not installed"; exit 2; }
done
work=$(mktemp -d); trap 'rm -rf "$work"' EXIT
problems=0
problem() { echo "$*"; problems=$((problems + 1)); }

major=$(sed -n 's/^#define LEXORN_VERSION_MAJOR \([0-9]*\)$/\1/p' "$inc/lexorn/version.h")
soname=$(readelf -d "$lib" | sed -n 's/.*Library soname: \[\(.*\)\]$/\1/p')
[ -n "$major" ] || problem "no LEXORN_VERSION_MAJOR in $inc/lexorn/version.h"
[ "$soname" = "liblexorn.so.$major" ] || problem "SONAME is '$soname', not liblexorn.so.$major"

nm -D --defined-only "$lib" | awk 'NF >= 3 { print $3 }' | c++filt >"$work/exported"
for wanted in 'DictIO::DictIO(char const*, int, int)' 'dictios_get(char const*, int)' \
              'XMLEntry::~XMLEntry()' 'XMLprintEntry('; do
  grep -qF -- "$wanted" "$work/exported" || problem "not exported: $wanted"
done

# The names the internal headers declare at file scope: classes and structs
# they define, and functions.
for h in "$src"/base/*.h "$src"/xml/*.h "$src"/dtd/*.h "$src"/dictio/*.h; do
  rel=${h#"$src"/}
  [ -f "$inc/lexorn/$rel" ] && continue
  grep -oE '^(class|struct) [A-Za-z_][A-Za-z0-9_]*( |\{|$)' "$h" | awk '{ print $2 }' | tr -d '{'
  grep -oE '^[A-Za-z_][A-Za-z0-9_:<>,*& ]*[ *&]([A-Za-z_][A-Za-z0-9_]*)\(' "$h" |
    grep -vE '^(return|if|while|for|switch) ' | sed -E 's/.*[ *&]([A-Za-z_][A-Za-z0-9_]*)\($/\1/'
done | sort -u >"$work/internal"
[ -s "$work/internal" ] || problem "no internal header found under $src"
while read -r name; do
  grep -E "(^|[^A-Za-z0-9_])$name([^A-Za-z0-9_]|$)" "$work/exported" | head -3 | while read -r sym; do
    echo "exported, though internal: $sym"
  done
done <"$work/internal" >"$work/leaks"
[ -s "$work/leaks" ] && { cat "$work/leaks"; problems=$((problems + $(wc -l <"$work/leaks"))); }

if [ "$problems" -eq 0 ]; then
  echo "$(wc -l <"$work/exported") symbols exported; SONAME $soname; none of $(wc -l <"$work/internal") internal names"
  exit 0
fi
echo "$problems problems in the exports of $lib"
exit 1
