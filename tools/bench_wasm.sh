#!/usr/bin/env bash
# The WebAssembly build's benchmarks (not tests): in Node, what a call from
# JavaScript costs beyond its calculation and the array form of 10^6
# elements against the native C library's scalar loop; in headless
# Chromium, the page annotating and drawing a log of 10^5 contacts.
#   tools/bench_wasm.sh
# Needs the native tree (build/native, libpelmora.a), the WebAssembly build
# (tools/build-wasm.sh) and the page's test tools (npm ci in web/); BUILD_ROOT
# as for tools/test.sh.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${BUILD_ROOT:-$root/build}
[ -f "$build/native/capi/libpelmora.a" ] || cmake --build "$build/native" -j2 --target pelmora_static
[ -f "$build/wasm/package/index.js" ] || "$root/tools/build-wasm.sh" "$build/wasm"
[ -d "$root/web/node_modules/playwright-core" ] || (cd "$root/web" && npm ci --no-audit --no-fund --loglevel=error)
gcc -O2 -std=c99 -Wall -Wextra -Werror -I"$root/capi/include" -I"$build/native/capi/include" \
  "$root/wasm/bench/native_loop.c" "$build/native/capi/libpelmora.a" -lstdc++ -lm -o "$build/wasm/native_loop"
node "$root/wasm/bench/bench.mjs" "$build/wasm/package" "$build/wasm/native_loop"
node "$root/web/bench/page.mjs" "$build/wasm/package" 100000
