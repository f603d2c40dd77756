#!/usr/bin/env bash
# Installs what Pelmora's build and tests need on a Debian machine, when it is
# missing: the native toolchain with GoogleTest (its library for the native
# builds, its sources for the Windows ones) and Google Benchmark, the
# MinGW-w64 cross compilers for i686 and x86_64, 32-bit and 64-bit Wine, wixl
# with msitools for the installer packages, Python (the package check and the
# build steps that make the type library and the packages reproducible), zip
# and unzip (the release archives), clang with libFuzzer, GNU MPFR (the
# reference of the accuracy test) and Hamlib, the peer of the benchmarks;
# Python's headers, setuptools, pip, pytest and NumPy for the Python module,
# and pyhamtools, its peer in the benchmarks; the WebAssembly build (clang's
# wasm32 target with lld, wasi-libc, libc++'s wasm32 headers, clang's wasm32
# builtins, binaryen's wasm-opt), Node.js with npm for the npm package and
# the page's tests, and Chromium for the page's browser test; debhelper,
# dh-python and lintian for the Debian packages, man-db for the test that
# finds their manual page.
#   tools/setup.sh           installs what is missing
#   tools/setup.sh --native  installs only what the native library, the
#                            command, the Python module and the SQL functions
#                            need to build without their tests
#                            (cmake -DPELMORA_TESTS=OFF -DPELMORA_BENCH=OFF)
#   tools/setup.sh --list    prints the packages, one a line
# The list is every package that the build, the tests, the fuzz targets, the
# benchmarks and tools/main.sh use; tools/check-packages.py checks after a
# build that nothing it used comes from elsewhere.
set -euo pipefail

packages=(
  g++ cmake make python3                     # native build, build steps, the package check
  googletest libgtest-dev libmpfr-dev        # unit tests (Windows, native), the accuracy test
  libbenchmark-dev libhamlib-dev             # benchmarks
  clang-format clang-14 libclang-rt-14-dev   # format check, fuzz targets (clang
  llvm-14                                    # archives with llvm-ar when it is there)
  mingw-w64 mingw-w64-tools libwine-dev      # the Windows builds (widl, Wine's IDL files)
  wine wine64 wine32:i386                    # the Windows tests
  wixl msitools                              # the installer packages
  git zip unzip                              # commit times of the build, the release archives
  python3-dev python3-setuptools python3-pip # the Python module
  python3-pytest python3-numpy python3-pyhamtools
  libsqlite3-dev sqlite3                     # the SQL functions and their tests
  lld-14 wasi-libc libc++-14-dev-wasm32      # the WebAssembly build
  libclang-rt-14-dev-wasm32 binaryen
  nodejs chromium                            # the npm package's and the page's tests
  build-essential debhelper dh-python        # the Debian packages, lintian's
  dpkg-dev lintian pkg-config                # judgement, a C program built
  python3-wheel python3-venv                 # through pkg-config; the wheel
  man-db                                     # the installed manual page found by man
)

# What a Linux user who builds the library, the command, the module and the
# SQL functions needs, and nothing of the Windows side or the tests.
native=(g++ cmake make python3 python3-dev python3-setuptools python3-pip libsqlite3-dev)
if [ "${1:-}" = --native ]; then
  packages=("${native[@]}")
fi

if [ "${1:-}" = --list ]; then
  printf '%s\n' "${packages[@]}"
  exit 0
fi

missing=()
for pkg in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed' || missing+=("$pkg")
done

# Debian's nodejs comes without npm, which is its own package there; other
# builds of nodejs bring npm along (and conflict with Debian's npm).
if [[ " ${packages[*]} " == *" nodejs "* ]] && ! command -v npm >/dev/null 2>&1 && ! dpkg-query -W -f='${Provides}' nodejs 2>/dev/null | grep -qw npm; then
  missing+=(npm)
fi

if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  if [[ " ${missing[*]} " == *:i386* ]] && ! dpkg --print-foreign-architectures | grep -qx i386; then
    $sudo dpkg --add-architecture i386
  fi
  $sudo apt-get update -q
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
fi
