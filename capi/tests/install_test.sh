#!/usr/bin/env bash
# libpelmora as a user gets it: `cmake --install` into a fresh prefix, then a
# C program built against it through pkg-config (shared and static) and
# through find_package(Pelmora); and the held ABI: the functions the header
# declares, the names the version script lists and the symbols the shared
# library exports are the same (so that a function added without being
# listed, or a symbol slipping out, fails).
#   install_test.sh BUILD_DIR WORK_DIR CONSUMER_C PELMORA_H PELMORA_MAP
set -euo pipefail
build=$1 work=$2 consumer=$3 header=$4 map=$5
rm -rf "$work"
mkdir -p "$work"
prefix=$work/prefix
cmake --install "$build" --prefix "$prefix" >"$work/install.log"
expected="JO62qm 52.5208321 13.375 Floating-point error"
check() {
  local got
  got=$("$@")
  [ "$got" = "$expected" ] || { echo "$*: got '$got', expected '$expected'"; exit 1; }
}

libdir=$(dirname "$(find "$prefix" -name pelmora.pc)")/..
export PKG_CONFIG_PATH=$libdir/pkgconfig
cc -std=c99 -Wall -Werror "$consumer" $(pkg-config --cflags --libs pelmora) -o "$work/shared"
LD_LIBRARY_PATH=$libdir check "$work/shared"
cc -std=c99 -Wall -Werror "$consumer" $(pkg-config --cflags pelmora) \
  "$libdir/libpelmora.a" $(pkg-config --static --libs-only-l pelmora | sed 's/-lpelmora//') \
  -o "$work/static"
check "$work/static"

mkdir -p "$work/project"
cp "$consumer" "$work/project/consumer.c"
cat >"$work/project/CMakeLists.txt" <<'CMAKE'
cmake_minimum_required(VERSION 3.20)
project(Consumer C)
find_package(Pelmora 1 REQUIRED)
add_executable(consumer_static consumer.c)
target_link_libraries(consumer_static PRIVATE Pelmora::pelmora_static)
add_executable(consumer_shared consumer.c)
target_link_libraries(consumer_shared PRIVATE Pelmora::pelmora)
CMAKE
cmake -S "$work/project" -B "$work/project/build" -DCMAKE_PREFIX_PATH="$prefix" >"$work/cmake.log"
cmake --build "$work/project/build" >>"$work/cmake.log"
check "$work/project/build/consumer_static"
check "$work/project/build/consumer_shared"

# exports HEADER MAP LIBRARY: compares the three lists, prints what differs.
exports() {
  local declared listed exported
  # PELMORA_API [type] pelmora_name( ... in the header, one function each.
  declared=$(tr '\n' ' ' <"$1" | grep -o 'PELMORA_API[^;(]*(' |
    grep -o 'pelmora_[A-Za-z0-9_]*[[:space:]]*($' | tr -d ' (' | sort)
  # The global names of the version script, one a line; no pattern.
  listed=$(sed -n '/global:/,/local:/p' "$2" | grep -v 'global:\|local:' | tr -d ' ;' |
    grep -v '^$' | sort)
  # The defined dynamic symbols without their version (nm's "name@@NODE"),
  # not the version nodes themselves (type A).
  exported=$(nm -D --defined-only "$3" | awk '$2 != "A" { sub(/@.*/, "", $3); print $3 }' | sort)
  local status=0
  if grep -q '[*?[]' <<<"$listed"; then
    echo "$2 names a pattern: $(grep '[*?[]' <<<"$listed" | tr '\n' ' ')"; status=1
  fi
  if [ "$declared" != "$listed" ]; then
    echo "the header's functions and $2 differ (< header, > version script):"
    diff <(echo "$declared") <(echo "$listed") | grep '^[<>]'; status=1
  fi
  if [ "$exported" != "$listed" ]; then
    echo "the library's exports and $2 differ (< exported, > version script):"
    diff <(echo "$exported") <(echo "$listed") | grep '^[<>]'; status=1
  fi
  return $status
}
library=$(find "$libdir" -name 'libpelmora.so.*.*.*')
exports "$header" "$map" "$library" || exit 1
# The check fails, naming it, when the header declares a function the
# version script does not list.
sed 's/^PELMORA_API const char \*pelmora_version(void);/&\nPELMORA_API int pelmora_unlisted(int x);/' \
  "$header" >"$work/planted.h"
if out=$(exports "$work/planted.h" "$map" "$library") || ! grep -q '< pelmora_unlisted' <<<"$out"; then
  echo "the export check did not catch a function left out of the version script:"
  echo "$out"
  exit 1
fi
echo "installed, found by pkg-config and find_package; exports exactly the header's functions"
