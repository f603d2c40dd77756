#!/usr/bin/env bash
# Builds the WebAssembly module of libpelmora and the npm package around it,
# with Debian's clang 14 and wasm-ld for wasm32 (wasi-libc for malloc and
# the floating-point environment functions, libc++'s headers):
#   tools/build-wasm.sh [OUT]          (OUT defaults to build/wasm)
# writes OUT/pelmora.wasm, OUT/package/ (the package's files, version from
# the project's one source, CMakeLists.txt), and OUT/pelmora-VERSION.tgz
# (npm pack). It refuses a module over 64 KiB or one that imports anything.
# Each object's dependency file (OUT/obj/*.d) names the headers it read,
# and OUT/obj/link.d the libraries linked, for tools/check-packages.py.
#   tools/build-wasm.sh --reproduce OUT OTHER
# builds again into OTHER from a copy of the sources in another folder, and
# requires the same bytes as OUT's module and package archive.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

if [ "${1:-}" = --reproduce ]; then
  first=${2:?usage: tools/build-wasm.sh --reproduce OUT OTHER}
  other=${3:?usage: tools/build-wasm.sh --reproduce OUT OTHER}
  rm -rf "$other"
  mkdir -p "$other/sources"
  other=$(cd "$other" && pwd)
  (cd "$root" && tar cf - calc runtime capi wasm tools/build-wasm.sh CMakeLists.txt LICENSE) |
    (cd "$other/sources" && tar xf -)
  "$other/sources/tools/build-wasm.sh" "$other/build" >/dev/null
  version=$(sed -n 's/^project(Pelmora VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")
  for f in pelmora.wasm "pelmora-$version.tgz"; do
    if ! cmp "$first/$f" "$other/build/$f"; then
      echo "build-wasm: $f differs between two builds from two folders" >&2
      exit 1
    fi
  done
  echo "build-wasm: the same pelmora.wasm and package from a second build in another folder"
  exit 0
fi

out=${1:-$root/build/wasm}
mkdir -p "$out"
out=$(cd "$out" && pwd)
cxx=${PELMORA_WASM_CXX:-clang++-14}
ld=${PELMORA_WASM_LD:-wasm-ld-14}
builtins=$("$cxx" --target=wasm32-wasi --sysroot=/usr -print-libgcc-file-name)

for tool in "$cxx" "$ld" wasm-opt node npm; do
  command -v "$tool" >/dev/null || { echo "build-wasm: $tool is missing (tools/setup.sh)" >&2; exit 1; }
done
for file in /usr/lib/wasm32-wasi/libc.a /usr/include/wasm32-wasi/c++/v1/cstdint "$builtins"; do
  [ -e "$file" ] || { echo "build-wasm: $file is missing (tools/setup.sh)" >&2; exit 1; }
done

version=$(sed -n 's/^project(Pelmora VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")
IFS=. read -r major minor patch <<<"$version"
mkdir -p "$out/obj/include"
sed -e "s/@PELMORA_VERSION@/$version/" -e "s/@PELMORA_VERSION_MAJOR@/$major/" \
  -e "s/@PELMORA_VERSION_MINOR@/$minor/" -e "s/@PELMORA_VERSION_PATCH@/$patch/" \
  "$root/capi/include/pelmora_version.h.in" >"$out/obj/include/pelmora_version.h.new"
# Rewritten only when it changes, so that make-style rebuilds stay quiet.
if cmp -s "$out/obj/include/pelmora_version.h.new" "$out/obj/include/pelmora_version.h"; then
  rm "$out/obj/include/pelmora_version.h.new"
else
  mv "$out/obj/include/pelmora_version.h.new" "$out/obj/include/pelmora_version.h"
fi

# The flags of every build of our code (cmake/flags.cmake): no contraction,
# no errno, warnings as errors. wasm has IEEE 754 binary32 and binary64 with
# round to nearest and nothing else, so the float32 rounding points are the
# code's own. No exceptions: no calculation throws, and the module then
# needs no unwinder. Optimised for size (-Oz, then binaryen's wasm-opt
# -O2): the constant tables of the sine, cosine and arc tangent alone take
# 35 KiB of the 64, and -O2 code would take 36 more.
flags=(--target=wasm32-wasi --sysroot=/usr -std=c++20 -Oz -fno-exceptions -fno-rtti
  -ffp-contract=off -fno-math-errno -fvisibility=hidden
  -Wall -Wextra -Wpedantic -Werror -Wconversion -Wsign-conversion -Wfloat-conversion
  -Wdouble-promotion -Wshadow -Wnon-virtual-dtor
  "-ffile-prefix-map=$root/=" "-ffile-prefix-map=$out/="
  -I"$root" -I"$root/capi/include" -I"$out/obj/include"
  -DPELMORA_BUILDING)
sources=("$root/capi/pelmora.cpp" "$root"/calc/*.cpp "$root/runtime/code_page.cpp"
  "$root/runtime/errors.cpp" "$root/runtime/fp_status.cpp" "$root/runtime/trig.cpp"
  "$root/runtime/trig_accurate.cpp" "$root/runtime/trig_tables.cpp" "$root/wasm/pelmora_wasm.cpp")
objects=()
for src in "${sources[@]}"; do
  name=$(basename "$(dirname "$src")")_$(basename "$src" .cpp)
  obj="$out/obj/$name.o"
  objects+=("$obj")
  extra=()
  # Off x86-64 the arc tangent's fused multiply-add edition is an unused
  # stand-in for the plain one, which clang reports.
  [ "$name" != runtime_trig ] || extra=(-Wno-unneeded-internal-declaration)
  "$cxx" "${flags[@]}" "${extra[@]}" -MD -MF "$out/obj/$name.d" -c "$src" -o "$obj" &
  # Two compilers at once at most.
  [ "$(jobs -rp | wc -l)" -lt 2 ] || wait -n
done
wait

# Exported: the C functions, the batch functions and areas, the allocator
# (a text too long for the text area), the memory. Nothing is imported: the
# calculations make no system call, and the C library's parts linked
# (memcpy, the floating-point environment) make none either.
exports=(pelmora_strerror pelmora_version pelmora_s_locator16 pelmora_grid_from_lat_long16
  pelmora_lat_from_grid16 pelmora_long_from_grid16 pelmora_azimut pelmora_azimut_fields
  pelmora_distance_from pelmora_arc_cos pelmora_distanse pelmora_version_number
  pelmora_locator16 pelmora_locator_cell16 pelmora_is_locator16 pelmora_grid_path16
  pelmora_position_path pelmora_long_path_distance pelmora_long_path_bearing
  pelmora_wasm_chunk pelmora_wasm_text_units pelmora_wasm_area pelmora_wasm_narrow
  pelmora_wasm_numbers pelmora_wasm_locators pelmora_wasm_decode pelmora_wasm_alloc pelmora_wasm_free)
"$ld" --no-entry --gc-sections --strip-all -z stack-size=65536 \
  "${exports[@]/#/--export=}" "${objects[@]}" -L/usr/lib/wasm32-wasi -lc "$builtins" \
  -o "$out/pelmora.linked.wasm"
printf '%s: %s %s\n' "$out/pelmora.linked.wasm" /usr/lib/wasm32-wasi/libc.a "$builtins" >"$out/obj/link.d"
wasm-opt -O2 "$out/pelmora.linked.wasm" -o "$out/pelmora.wasm.new"
mv "$out/pelmora.wasm.new" "$out/pelmora.wasm"

size=$(stat -c %s "$out/pelmora.wasm")
if [ "$size" -gt 65536 ]; then
  echo "build-wasm: pelmora.wasm has $size bytes, more than 64 KiB" >&2
  exit 1
fi
node --input-type=module -e '
  import { readFileSync } from "node:fs";
  const m = new WebAssembly.Module(readFileSync(process.argv[1]));
  const imports = WebAssembly.Module.imports(m);
  if (imports.length) {
    console.error("build-wasm: pelmora.wasm imports", imports.map((i) => i.module + "." + i.name).join(", "));
    process.exit(1);
  }' "$out/pelmora.wasm"

# The package: its sources, the module, the version in package.json.
rm -rf "$out/package"
mkdir -p "$out/package"
cp "$root/wasm/package/index.js" "$root/wasm/package/index.d.ts" "$root/wasm/package/README.md" \
  "$root/LICENSE" "$out/pelmora.wasm" "$out/package/"
sed "s/\"version\": \"[^\"]*\"/\"version\": \"$version\"/" "$root/wasm/package/package.json" \
  >"$out/package/package.json"
# npm pack stamps every entry with a fixed time, so the archive is the same
# bytes from the same files.
(cd "$out" && npm pack --silent --pack-destination "$out" ./package >/dev/null)
echo "build-wasm: $out/pelmora.wasm ($size bytes), $out/pelmora-$version.tgz"
