#!/usr/bin/env bash
# Installs a built tree into an empty scratch prefix and uses it as a host
# program would: every installed header compiles on its own, the example in
# examples/host is configured apart with find_package(lexorn), built and
# run, and built and run once more from its Makefile with pkg-config. A
# shared library is also checked for its SONAME and exports
# (tools/check-exports.sh). Last, a project that adds the source tree with
# add_subdirectory is configured (not built): it gets lexorn::dict, and
# none of lexorn's options, tests or build type.
#
#   check-install.sh BUILD_DIR
#
# Exit status 0 when every step passed.
set -euo pipefail
[ $# -eq 1 ] || { sed -n '2,13p' "$0"; exit 2; }
build=$(cd "$1" && pwd)
src=$(cd "$(dirname "$0")/.." && pwd)
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
prefix=$tmp/prefix
cxx=${CXX:-c++}
jobs=$(nproc 2>/dev/null || echo 2)

step() { echo "== check-install: $*"; }
fail() { echo "check-install: $*" >&2; exit 1; }

step "install $build into an empty prefix"
cmake --install "$build" --prefix "$prefix" >"$tmp/install.log"
libdir=$(sed -n 's/^CMAKE_INSTALL_LIBDIR:[A-Z]*=//p' "$build/CMakeCache.txt")
[ -n "$libdir" ] || fail "no CMAKE_INSTALL_LIBDIR in $build/CMakeCache.txt"
for f in bin/lexorn bin/lexorn-find share/man/man1/lexorn.1 share/man/man1/lexorn-find.1 \
         include/lexorn/lexorn.h include/lexorn/version.h include/lexorn/dictio/dictio.h \
         "$libdir/cmake/lexorn/lexornConfig.cmake" "$libdir/cmake/lexorn/lexornConfigVersion.cmake" \
         "$libdir/pkgconfig/lexorn.pc"; do
  [ -e "$prefix/$f" ] || fail "not installed: $f"
done
if [ -e "$prefix/$libdir/liblexorn.so" ]; then shared=1; lib=liblexorn.so
elif [ -e "$prefix/$libdir/liblexorn.a" ]; then shared=0; lib=liblexorn.a
else fail "neither liblexorn.a nor liblexorn.so in $prefix/$libdir"; fi
echo "$lib in $libdir, $(find "$prefix/include/lexorn" -name '*.h' | wc -l) headers"
major=$(sed -n 's/^#define LEXORN_VERSION_MAJOR \([0-9]*\)$/\1/p' "$prefix/include/lexorn/version.h")
# Only the headers a host includes: none of the internal ones.
for internal in base/binio.h base/passfile.h dictio/update.h dictio/readindex.h; do
  [ ! -e "$prefix/include/lexorn/$internal" ] || fail "internal header installed: $internal"
done

step "each installed header compiles alone, with only PREFIX/include"
(cd "$prefix/include" && find lexorn -name '*.h' | sort) >"$tmp/headers"
while read -r h; do
  # Twice: the second include must be a no-op.
  printf '#include <%s>\n#include <%s>\n' "$h" "$h" |
    "$cxx" -std=c++20 -Wall -Wextra -Werror -fsyntax-only -I"$prefix/include" -x c++ - ||
    fail "$h does not compile alone"
done <"$tmp/headers"

run_host() {  # PROGRAM: runs the example over a copy it makes itself
  if [ "$shared" = 1 ]; then
    readelf -d "$1" | grep -q "NEEDED.*\[liblexorn\.so\.$major\]" || fail "$1 does not load liblexorn.so.$major"
  fi
  "$1" "$src/examples/slovnik.xml" >"$tmp/host.out" 2>&1 || { cat "$tmp/host.out" >&2; fail "$1 failed"; }
  tail -1 "$tmp/host.out"
}

step "find_package(lexorn) from a separate configure of examples/host"
cmake -S "$src/examples/host" -B "$tmp/host-cmake" -DCMAKE_PREFIX_PATH="$prefix" \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo >"$tmp/host-cmake.log" || { cat "$tmp/host-cmake.log" >&2; fail "configure"; }
cmake --build "$tmp/host-cmake" -j"$jobs" >>"$tmp/host-cmake.log" || { cat "$tmp/host-cmake.log" >&2; fail "build"; }
grep -q "lexorn_DIR:PATH=$prefix/$libdir/cmake/lexorn" "$tmp/host-cmake/CMakeCache.txt" ||
  fail "find_package found another lexorn: $(grep lexorn_DIR "$tmp/host-cmake/CMakeCache.txt")"
run_host "$tmp/host-cmake/lexorn-host-example"
# The version file turns down a major version the package is not.
mkdir -p "$tmp/v2"
printf 'cmake_minimum_required(VERSION 3.25)\nproject(v2 LANGUAGES NONE)\nfind_package(lexorn 2.0 REQUIRED)\n' \
  >"$tmp/v2/CMakeLists.txt"
if cmake -S "$tmp/v2" -B "$tmp/v2/build" -DCMAKE_PREFIX_PATH="$prefix" >"$tmp/v2.log" 2>&1; then
  fail "find_package(lexorn 2.0) accepted the installed version"
fi
grep -q 'with requested version "2.0"' "$tmp/v2.log" || { cat "$tmp/v2.log" >&2; fail "find_package(lexorn 2.0) failed for another reason"; }

if command -v pkg-config >/dev/null; then
  step "pkg-config lexorn, and the example from its Makefile"
  export PKG_CONFIG_PATH="$prefix/$libdir/pkgconfig"
  version=$(sed -n 's/^#define LEXORN_VERSION "\(.*\)"$/\1/p' "$prefix/include/lexorn/version.h")
  [ "$(pkg-config --modversion lexorn)" = "$version" ] || fail "pkg-config --modversion lexorn is not $version"
  flags=$(pkg-config --cflags --libs lexorn)
  echo "pkg-config --cflags --libs lexorn: $flags"
  pcinclude=$(pkg-config --variable=includedir lexorn)
  [ "$(cd "$pcinclude" && pwd)" = "$prefix/include" ] || fail "lexorn.pc's includedir $pcinclude is not $prefix/include"
  pclib=$(pkg-config --variable=libdir lexorn)
  [ "$(cd "$pclib" && pwd)" = "$prefix/$libdir" ] || fail "lexorn.pc's libdir $pclib is not $prefix/$libdir"
  rpath=
  [ "$shared" = 1 ] && rpath="-Wl,-rpath,$prefix/$libdir"
  mkdir -p "$tmp/host-pc"
  make -s -C "$src/examples/host" OUT="$tmp/host-pc/lexorn-host-example" CXX="$cxx" LDFLAGS="$rpath" ||
    fail "the example does not build with pkg-config"
  run_host "$tmp/host-pc/lexorn-host-example"
else
  step "pkg-config is not installed: the pkg-config build of the example is skipped"
fi

if [ "$shared" = 1 ]; then
  step "the shared library's SONAME and exports"
  bash "$src/tools/check-exports.sh" "$prefix/$libdir/liblexorn.so" "$src" "$prefix/include"
fi
step "add_subdirectory: lexorn::dict for the parent, lexorn's options for lexorn alone"
mkdir -p "$tmp/parent"
printf '%s\n' 'cmake_minimum_required(VERSION 3.25)' 'project(parent LANGUAGES CXX)' \
  "add_subdirectory(\"$src\" lexorn)" "add_executable(host \"$src/examples/host/host.cpp\")" \
  'target_link_libraries(host PRIVATE lexorn::dict)' >"$tmp/parent/CMakeLists.txt"
cmake -S "$tmp/parent" -B "$tmp/parent/build" -DLEXORN_WERROR=ON -DLEXORN_IMPORT=OFF \
  >"$tmp/parent.log" 2>&1 || { cat "$tmp/parent.log" >&2; fail "the parent project does not configure"; }
host_flags=$(cat "$tmp/parent/build/CMakeFiles/host.dir/flags.make")
lib_flags=$(cat "$tmp/parent/build/lexorn/CMakeFiles/lexorn_base.dir/flags.make")
case $host_flags in *-std=*++20*) ;; *) fail "the parent's target is not compiled as C++20" ;; esac
case $host_flags in *"$tmp/parent/build/lexorn/include"*) ;;
  *) fail "the parent's target lacks lexorn's include directory" ;; esac
case $host_flags in *-Wall*|*-Werror*|*-fvisibility*) fail "lexorn's options reach the parent's target" ;; esac
case $lib_flags in *"-Wall -Wextra -Werror"*) ;; *) fail "lexorn's own targets lack its options" ;; esac
for dir in tests examples; do
  [ ! -e "$tmp/parent/build/lexorn/$dir" ] || fail "lexorn's $dir are configured in a parent project"
done
grep -q '^CMAKE_BUILD_TYPE:STRING=$' "$tmp/parent/build/CMakeCache.txt" ||
  fail "lexorn set the parent's build type: $(grep '^CMAKE_BUILD_TYPE' "$tmp/parent/build/CMakeCache.txt")"

step "passed"
