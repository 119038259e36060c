#!/usr/bin/env bash
# Checks that the layers base -> xml -> dtd -> dictio -> builder are used one
# way only: no object file of a layer uses a symbol that only a higher layer
# defines, and no source or header of a layer includes a header of a higher
# layer.
#
#   check-layers.sh SOURCE_DIR BUILD_DIR
#
# Prints each use that goes up a layer; exit status 0 when there is none.
set -u
[ $# -eq 2 ] || { sed -n '2,9p' "$0"; exit 2; }
src=$1; build=$2
layers=(base xml dtd dictio builder)
declare -A rank
for i in "${!layers[@]}"; do rank[${layers[$i]}]=$i; done
work=$(mktemp -d); trap 'rm -rf "$work"' EXIT
problems=0

objects() {  # the object files of a layer
  case $1 in
    builder) find "$build/CMakeFiles/lexorn_builder.dir" "$build/CMakeFiles/lexorn.dir" \
                  "$build/CMakeFiles/lexorn-find.dir" -name '*.o' 2>/dev/null ;;
    *) find "$build/CMakeFiles/lexorn_$1.dir" -name '*.o' 2>/dev/null ;;
  esac
}

for layer in "${layers[@]}"; do
  objs=$(objects "$layer")
  [ -n "$objs" ] || { echo "no object files of $layer under $build"; exit 2; }
  # shellcheck disable=SC2086
  nm -g --defined-only $objs 2>/dev/null | awk 'NF >= 3 { print $3 }' | sort -u >"$work/$layer.defined"
done

for layer in "${layers[@]}"; do
  r=${rank[$layer]}
  # Everything this layer and the ones below it define.
  : >"$work/below"
  for other in "${layers[@]}"; do
    [ "${rank[$other]}" -le "$r" ] && cat "$work/$other.defined" >>"$work/below"
  done
  sort -u -o "$work/below" "$work/below"
  for obj in $(objects "$layer"); do
    nm -u "$obj" | awk '{ print $2 }' | sort -u | comm -23 - "$work/below" >"$work/missing"
    for higher in "${layers[@]}"; do
      [ "${rank[$higher]}" -gt "$r" ] || continue
      comm -12 "$work/missing" "$work/$higher.defined" | while read -r sym; do
        echo "$layer: $(basename "$obj") uses $(echo "$sym" | c++filt) from $higher"
      done
    done
  done
done >"$work/symbols"

for layer in "${layers[@]}"; do
  r=${rank[$layer]}
  for file in "$src/$layer"/*.h "$src/$layer"/*.cpp; do
    [ -f "$file" ] || continue
    grep -o '#include "[a-z]*/' "$file" | sed 's/#include "//; s|/||' | sort -u | while read -r inc; do
      [ -n "${rank[$inc]+x}" ] && [ "${rank[$inc]}" -gt "$r" ] &&
        echo "$layer: $(basename "$file") includes a header of $inc"
    done
  done
done >"$work/includes"

cat "$work/symbols" "$work/includes"
problems=$(cat "$work/symbols" "$work/includes" | wc -l)
if [ "$problems" -eq 0 ]; then echo "layers used one way only"; exit 0; fi
echo "$problems uses go up a layer"; exit 1
