#!/usr/bin/env bash
# Builds a release of Pelmora from this source tree, in fresh build trees:
#   dist/Pelmora-<version>/        both editions of Pelmora.dll with their
#                                  assembly manifests (win32/, win64/), both
#                                  installer packages, README.md, LICENSE,
#                                  linux/ (the Debian packages and the
#                                  Python wheel, tools/linux-packages.sh)
#                                  and SHA256SUMS (sha256sum -c SHA256SUMS)
#   dist/Pelmora-<version>.zip     that folder
#   dist/Pelmora-<version>-debug.zip  the debug information of both DLLs
#                                  (win32/ and win64/Pelmora.dll.debug),
#                                  for debuggers; not for users
# Everything is reproducible: every time stamp is that of the last commit
# (SOURCE_DATE_EPOCH, when not given), and the archives list their files in
# one order with fixed times and modes. tools/reproduce.sh rebuilds a release
# and compares it with a given one.
#   tools/release.sh [DIST]        (DIST defaults to dist/ in the repository)
# Build trees go to build/release-win32 and build/release-win64 under the
# repository (override the folder with BUILD_ROOT).
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${BUILD_ROOT:-$root/build}
dist=$(mkdir -p "${1:-$root/dist}" && cd "${1:-$root/dist}" && pwd)
jobs=${JOBS:-2}

"$root/tools/setup.sh"

if [ -z "${SOURCE_DATE_EPOCH:-}" ]; then
  SOURCE_DATE_EPOCH=$(git -C "$root" log -1 --format=%ct)
fi
export SOURCE_DATE_EPOCH
if [ -n "$(git -C "$root" status --porcelain 2>/dev/null)" ]; then
  echo "release: warning: the work tree has changes that are not committed" >&2
fi

step() { printf 'release: %s\n' "$*" >&2; }
log=$build/release.log
mkdir -p "$build"
: >"$log"
run() {
  if ! "$@" >>"$log" 2>&1; then
    tail -n 40 "$log" >&2
    echo "release: failed: $* (log: $log)" >&2
    exit 1
  fi
}

step "building the 32-bit edition in $build/release-win32"
rm -rf "$build/release-win32" "$build/release-win64"
run cmake -S "$root" -B "$build/release-win32" -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake"
# The packages take the 32-bit DLL and its manifest from the folder of the
# 32-bit tree's DLL.
run cmake --build "$build/release-win32" -j"$jobs" --target Pelmora
step "building the 64-bit edition and the installer packages in $build/release-win64"
run cmake -S "$root" -B "$build/release-win64" -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-x86_64.cmake" -DPELMORA_WIN32_EDITION="$build/release-win32/bin-win32"
run cmake --build "$build/release-win64" -j"$jobs" --target pelmora_installer

version=$(sed -n 's/^CMAKE_PROJECT_VERSION:[A-Z]*=//p' "$build/release-win64/CMakeCache.txt")
[ -n "$version" ] || { echo "release: no project version in the build tree" >&2; exit 1; }
name=Pelmora-$version
folder=$dist/$name
debug=$dist/$name-debug
rm -rf "$folder" "$debug" "$folder.zip" "$debug.zip"
mkdir -p "$folder/win32" "$folder/win64" "$debug/win32" "$debug/win64"
for edition in win32 win64; do
  bin=$build/release-$edition/bin-$edition
  cp "$bin/Pelmora.dll" "$bin/Tevaro.Pelmora.manifest" "$folder/$edition/"
  cp "$bin/Pelmora.dll.debug" "$debug/$edition/"
done
cp "$build/release-win64/installer/Pelmora.msi" "$build/release-win64/installer/Pelmora-x86.msi" \
  "$root/README.md" "$root/LICENSE" "$folder/"
step "building the Debian packages and the Python wheel in $build/linux-packages"
run env BUILD_ROOT="$build" "$root/tools/linux-packages.sh" "$folder/linux"
(cd "$folder" && find . -type f ! -name SHA256SUMS | sed 's|^\./||' | LC_ALL=C sort |
  xargs sha256sum >SHA256SUMS)

# zip_folder DIR: DIR.zip holding DIR/ and everything in it, in sorted order,
# every entry with the commit's time (UTC) and mode 644 (755 for folders),
# without the extra fields that record owners and exact times (-X).
zip_folder() {
  local dir=$1 parent base
  parent=$(dirname "$dir") base=$(basename "$dir")
  find "$dir" -type d -exec chmod 755 {} + -o -type f -exec chmod 644 {} +
  find "$dir" -exec touch -h -d "@$SOURCE_DATE_EPOCH" {} +
  (cd "$parent" && find "$base" | LC_ALL=C sort | TZ=UTC zip -X -q -9 -@ "$base.zip")
}
zip_folder "$folder"
zip_folder "$debug"
rm -rf "$debug"

step "made $folder/, $folder.zip and $debug.zip:"
(cd "$folder" && cat SHA256SUMS) >&2
ls -l "$folder.zip" "$debug.zip" >&2
