#!/usr/bin/env bash
# libpelmora as a user gets it: `cmake --install` into a fresh prefix, then a
# C program built against it through pkg-config (shared and static) and
# through find_package(Pelmora); and the shared library exports nothing but
# its C functions.
#   install_test.sh BUILD_DIR WORK_DIR CONSUMER_C
set -euo pipefail
build=$1 work=$2 consumer=$3
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

others=$(nm -D --defined-only "$libdir"/libpelmora.so | awk '$3 !~ /^pelmora_/ && $3 != "PELMORA_1" {print $3}')
if [ -n "$others" ]; then
  echo "libpelmora.so exports more than its C functions:"
  echo "$others"
  exit 1
fi
echo "installed, found by pkg-config and find_package; exports only pelmora_*"
