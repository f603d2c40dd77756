#!/usr/bin/env bash
# The main job, on a fresh Debian machine: installs what is missing, builds
# Pelmora.dll for 32-bit Windows, registers it with regsvr32 in a private
# 32-bit Wine prefix and runs the sample JScript client there with the places
# given (positions LAT,LON or locators; without any, a few well-known places):
#   tools/main.sh [LAT,LON | LOCATOR] ...
#   tools/main.sh 52.5,13.4 JO62qm 40.7,-74.0
# Build output goes to a log; only the client's output is shown.
# Build trees go to build/ under the repository (override with BUILD_ROOT).
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${BUILD_ROOT:-$root/build}
jobs=${JOBS:-$(nproc)}
mkdir -p "$build"
log=$build/main.log
: >"$log"

# Runs a step with its output in the log; on failure shows the log.
quietly() {
  local what=$1
  shift
  if ! "$@" >>"$log" 2>&1; then
    tail -n 40 "$log" >&2
    echo "main: $what failed (full log: $log)" >&2
    exit 1
  fi
}

echo "main: installing what is missing, building Pelmora.dll (log: $log)" >&2
quietly "set-up" "$root/tools/setup.sh"
quietly "configuring" cmake -S "$root" -B "$build/win32" \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake" -DCMAKE_BUILD_TYPE=Release
quietly "building" cmake --build "$build/win32" -j"$jobs" --target Pelmora
dll=$build/win32/bin-win32/Pelmora.dll
[ -f "$dll" ] || { echo "main: no $dll after the build" >&2; exit 1; }

# Wine gets its texts (paths, arguments) as UTF-8; drive Z: is the Unix root.
export LC_ALL=C.UTF-8
prefix=$build/main-wineprefix
wine_run() { "$root/cmake/wine-run.sh" "$prefix" "$@"; }
winpath() { local p=$1; printf 'Z:%s' "${p//\//\\}"; }

echo "main: registering Pelmora.dll in the Wine prefix $prefix" >&2
quietly "registering (regsvr32)" wine_run regsvr32 /s "$(winpath "$dll")"

status=0
wine_run cscript //nologo "$(winpath "$root/examples/pelmora.js")" "$@" | tr -d '\r' ||
  status=${PIPESTATUS[0]}
exit "$status"
