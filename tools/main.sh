#!/usr/bin/env bash
# The main job, on a fresh Debian machine: installs what is missing, builds
# both editions of Pelmora.dll (32-bit and 64-bit) and the installer package
# Pelmora.msi, installs the package with msiexec in a private 64-bit Wine
# prefix and runs the sample JScript client there from the 64-bit and from the
# 32-bit script host, with the places given (positions LAT,LON or locators;
# without any, a few well-known places):
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

echo "main: installing what is missing, building both editions and Pelmora.msi (log: $log)" >&2
quietly "set-up" "$root/tools/setup.sh"
cd "$root"
quietly "configuring the 32-bit edition" cmake --preset win32 -B "$build/win32"
quietly "building the 32-bit edition" cmake --build "$build/win32" -j"$jobs" --target pelmora_edition
quietly "configuring the 64-bit edition" cmake --preset win64 -B "$build/win64" \
  -DPELMORA_WIN32_EDITION="$build/win32/edition-win32"
quietly "building the 64-bit edition and the installer" \
  cmake --build "$build/win64" -j"$jobs" --target pelmora_installer
msi=$build/win64/installer/Pelmora.msi
[ -f "$msi" ] || { echo "main: no $msi after the build" >&2; exit 1; }

# Wine gets its texts (paths, arguments) as UTF-8; drive Z: is the Unix root.
export LC_ALL=C.UTF-8
prefix=$build/main-wineprefix-win64
wine_run() { "$root/cmake/wine-run.sh" --win64 "$prefix" "$@"; }
winpath() { local p=$1; printf 'Z:%s' "${p//\//\\}"; }

# The package installed by an earlier run is removed first: a package of the
# same version is no upgrade, and the earlier one may hold other files.
installed=$build/main-installed.msi
echo "main: installing Pelmora.msi in the 64-bit Wine prefix $prefix" >&2
if [ -f "$installed" ]; then
  quietly "removing the earlier installation (msiexec /x)" wine_run msiexec /x "$(winpath "$installed")" /qn
  rm -f "$installed"
fi
quietly "installing (msiexec /i)" wine_run msiexec /i "$(winpath "$msi")" /qn
cp "$msi" "$installed"

# The example as installed, from both script hosts: system32's cscript runs
# as a 64-bit process and uses the 64-bit DLL, syswow64's as a 32-bit one
# with the 32-bit DLL.
script='C:\Program Files\Pelmora\examples\pelmora.js'
for bits in 64 32; do
  echo "main: the sample client from the $bits-bit script host" >&2
  status=0
  PELMORA_WINE_BITS=$bits wine_run cscript //nologo "$script" "$@" | tr -d '\r' ||
    status=${PIPESTATUS[0]}
  [ "$status" = 0 ] || exit "$status"
done

# The same places through the pelmora command, natively: the first two as
# a distance and a bearing (after the Windows client, which shows all).
echo "main: the pelmora command (native) on the first two places" >&2
quietly "configuring the native build" cmake --preset native -B "$build/native"
quietly "building the pelmora command" cmake --build "$build/native" -j"$jobs" --target pelmora
places=("$@")
[ ${#places[@]} -ge 2 ] || places=(52.52,13.405 IO91wm)
distance=$("$build/native/cli/pelmora" distance "${places[0]}" "${places[1]}")
bearing=$("$build/native/cli/pelmora" bearing "${places[0]}" "${places[1]}")
echo "pelmora distance ${places[0]} ${places[1]}: $distance km"
echo "pelmora bearing ${places[0]} ${places[1]}: $bearing degrees"
