#!/usr/bin/env bash
# Runs every test of Pelmora on a Debian machine, installing what is missing:
#   1. format check of our sources (clang-format), and that each folder
#      includes only headers of the folders it may reach
#      (tools/check-layers.py, which must also fail on a planted violation);
#   2. native build (GCC) and its unit tests;
#   3. the same with AddressSanitizer and UndefinedBehaviorSanitizer;
#   4. the i686 Windows cross build (MinGW-w64) and all its tests under Wine:
#      the unit tests, every result of a fixed corpus compared bit for bit
#      with the native build's, and the component, hostile-host, registration
#      and script-client tests against the real Pelmora.dll;
#   5. the x86_64 Windows cross build and the same tests of the 64-bit
#      Pelmora.dll in a 64-bit Wine prefix; then both editions together (the
#      same bits from a 32-bit and a 64-bit host, registration side by side,
#      registration-free use) and the installer packages under msiexec;
#   6. the Python module built with pip (Debian's setuptools) and its pytest
#      tests, the corpus through it included (libpelmora and the pelmora
#      command are built and tested in step 2);
#   7. the WebAssembly build (tools/build-wasm.sh; a second build from
#      another folder must give the same bytes), the npm package's tests
#      (the corpus through it included) and the page's: its log annotation
#      against the pelmora command, and the page in headless Chromium
#      (node --test; the test tools from web/package-lock.json, npm ci);
#   8. the Debian packages and the Python wheel (tools/linux-packages.sh):
#      built, judged by lintian, installed on this machine, used as a user
#      would (the command, the module, the SQL functions, a C program through
#      pkg-config), purged with nothing left; the wheel in a plain virtual
#      environment, offline (as root only: CI runs as root);
#   9. the fuzz targets of the calculations and of the command's readers,
#      20 seconds each (tools/fuzz.sh);
#  10. that every header, library and tool the builds used comes from a
#      package tools/setup.sh installs (tools/check-packages.py), and that
#      this check fails when a package is left out of setup's list.
# Each build is a preset of CMakePresets.json (native, sanitizers, win32,
# win64); its tree goes to build/ under the repository (override with
# BUILD_ROOT).
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${BUILD_ROOT:-$root/build}
jobs=${JOBS:-$(nproc)}

"$root/tools/setup.sh"

step() { printf '\n=== %s\n' "$*"; }

step "format check"
mapfile -t sources < <(cd "$root" && git ls-files '*.h' '*.cpp' '*.c' 2>/dev/null || true)
if [ ${#sources[@]} -gt 0 ]; then
  (cd "$root" && clang-format --dry-run --Werror "${sources[@]}")
fi

step "layers: each folder includes only headers of the folders it may reach"
/usr/bin/python3 "$root/tools/check-layers.py"
# The check must fail, naming the include, on a planted violation.
if out=$(/usr/bin/python3 "$root/tools/check-layers.py" --plant runtime/trig.cpp calc/encoding.h 2>&1) ||
    ! grep -q "runtime/trig.cpp: includes calc/encoding.h (calc/), which runtime/ may not reach" <<<"$out"; then
  printf '%s\n' "$out"
  echo "test: the layer check did not catch runtime/ including a header of calc/" >&2
  exit 1
fi
echo "the layer check fails as it should when runtime/ includes a header of calc/"

# configure_and_test PRESET DIR [CMAKE-ARGS...]
configure_and_test() {
  local preset=$1 dir=$2
  shift 2
  (cd "$root" && cmake --preset "$preset" -B "$dir" "$@" >/dev/null)
  cmake --build "$dir" -j"$jobs"
  ctest --test-dir "$dir" -j"$jobs" --output-on-failure --timeout 900
}

step "native build and tests"
configure_and_test native "$build/native"

step "native build and tests with AddressSanitizer and UndefinedBehaviorSanitizer"
configure_and_test sanitizers "$build/asan"

step "i686 Windows build and tests under Wine"
configure_and_test win32 "$build/win32" -DPELMORA_NATIVE_CORPUS_DUMP="$build/native/corpus_dump"

step "x86_64 Windows build and tests under Wine, both editions, the installer"
configure_and_test win64 "$build/win64" -DPELMORA_NATIVE_CORPUS_DUMP="$build/native/corpus_dump" \
  -DPELMORA_WIN32_EDITION="$build/win32/edition-win32"

step "Python module: pip build and pytest"
# Debian's Python, whose numpy and pytest are installed (a python3 earlier on
# PATH may be another); the module goes into the build tree, not the system.
rm -rf "$build/python"
PELMORA_BUILD_DIR="$build/python/cmake" JOBS=$jobs \
  /usr/bin/python3 -m pip install -q --no-build-isolation --no-deps --disable-pip-version-check \
  --root-user-action=ignore --target "$build/python/site" "$root/python"
(cd "$build/python" && PYTHONPATH="$build/python/site" PYTHONDONTWRITEBYTECODE=1 \
  PELMORA_CORPUS_DUMP="$build/native/corpus_dump" PELMORA_MODULES_USED="$build/python/modules.used" \
  /usr/bin/python3 -m pytest -p no:cacheprovider -q -rs "$root/python/tests")

step "WebAssembly build, the npm package and the page: node --test, headless Chromium"
"$root/tools/build-wasm.sh" "$build/wasm"
"$root/tools/build-wasm.sh" --reproduce "$build/wasm" "$build/wasm-elsewhere"
(cd "$root/web" && npm ci --no-audit --no-fund --loglevel=error)
PELMORA_CORPUS_DUMP="$build/native/corpus_dump" PELMORA_COMMAND="$build/native/cli/pelmora" \
  PELMORA_WASM_PACKAGE="$build/wasm/package" PELMORA_WEB_BUILD="$build/web" \
  node --test "$root/wasm/test/pelmora.test.js" "$root/web/test/adif.test.js" "$root/web/test/page.test.js"

step "Debian packages and the wheel: built, lintian, installed, used and purged"
if [ "$(id -u)" -eq 0 ]; then
  BUILD_ROOT=$build "$root/tools/linux-packages.sh" --test "$build/linux"
else
  echo "skipped: installing the packages on this machine needs root (CI runs as root)"
fi

step "fuzz targets of the calculations and of the command's readers, 20 seconds each"
BUILD_ROOT=$build "$root/tools/fuzz.sh" 20

step "packages: everything the builds used is installed by tools/setup.sh"
/usr/bin/python3 "$root/tools/check-packages.py" "$build"
# The check must fail, naming the package, when setup's list lacks one that
# the builds used.
if out=$(/usr/bin/python3 "$root/tools/check-packages.py" "$build" --drop libmpfr-dev 2>&1) ||
    ! grep -q "used libmpfr-dev, which tools/setup.sh does not install" <<<"$out"; then
  printf '%s\n' "$out"
  echo "test: the package check did not catch libmpfr-dev left out of setup's list" >&2
  exit 1
fi
echo "the package check fails as it should when libmpfr-dev is left out of setup's list"
