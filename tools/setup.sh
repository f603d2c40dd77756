#!/usr/bin/env bash
# Installs what Pelmora's build and tests need on a Debian machine, when it is
# missing: the native toolchain with GoogleTest and Google Benchmark, the
# MinGW-w64 cross compilers for i686 and x86_64, 32-bit and 64-bit Wine, wixl
# with msitools for the installer packages, clang with libFuzzer, GNU MPFR (the
# reference of the accuracy test) and Hamlib,
# the peer of the benchmarks; Python's headers, setuptools, pip, pytest and
# NumPy for the Python module, and pyhamtools, its peer in the benchmarks.
set -euo pipefail

missing=()
need() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed' || missing+=("$1"); }

for pkg in g++ cmake make googletest libbenchmark-dev libhamlib-dev libmpfr-dev clang-format clang-14 libclang-rt-14-dev \
           mingw-w64 mingw-w64-tools libwine-dev wine wine64 wine32:i386 wixl msitools \
           python3-dev python3-setuptools python3-pip python3-pytest python3-numpy python3-pyhamtools; do
  need "$pkg"
done

if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    $sudo dpkg --add-architecture i386
  fi
  $sudo apt-get update -q
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
fi
