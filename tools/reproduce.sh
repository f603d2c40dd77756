#!/usr/bin/env bash
# Checks that a release comes from this source: rebuilds it with
# tools/release.sh (in build trees and a dist folder of its own) and compares
# it, file by file, with the one given: a release folder Pelmora-<version>/,
# its zip, or the debug zip. Check out the commit the release was made from
# first. Prints each file as "same" or "DIFFERS"; exit status 0 when all are
# the same, 1 when any differs, 2 for a usage error.
#   tools/reproduce.sh dist/Pelmora-1.0.0.zip
#   tools/reproduce.sh path/to/Pelmora-1.0.0/
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
if [ $# -ne 1 ] || [ ! -e "$1" ]; then
  echo "usage: tools/reproduce.sh RELEASE-FOLDER | RELEASE.zip" >&2
  exit 2
fi
given=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
work=${BUILD_ROOT:-$root/build}/reproduce
rm -rf "$work"
mkdir -p "$work"
BUILD_ROOT=$work/build "$root/tools/release.sh" "$work/dist"

status=0
compare() {
  local ours=$1 theirs=$2 what=$3
  if [ ! -f "$ours" ]; then
    echo "DIFFERS $what (not in the rebuilt release)"
    status=1
  elif cmp -s "$ours" "$theirs"; then
    echo "same    $what"
  else
    echo "DIFFERS $what"
    status=1
  fi
}

if [ -d "$given" ]; then
  ours=$work/dist/$(basename "$given")
  while IFS= read -r -d '' file; do
    compare "$ours/${file#./}" "$given/${file#./}" "${file#./}"
  done < <(cd "$given" && find . -type f -print0 | LC_ALL=C sort -z)
else
  compare "$work/dist/$(basename "$given")" "$given" "$(basename "$given")"
  # The files inside, to show which one differs.
  if [ "$status" != 0 ] && [ -f "$work/dist/$(basename "$given")" ]; then
    mkdir -p "$work/given" "$work/ours"
    (cd "$work/given" && unzip -q "$given")
    (cd "$work/ours" && unzip -q "$work/dist/$(basename "$given")")
    while IFS= read -r -d '' file; do
      compare "$work/ours/${file#./}" "$work/given/${file#./}" "  ${file#./}"
    done < <(cd "$work/given" && find . -type f -print0 | LC_ALL=C sort -z)
  fi
fi
[ "$status" = 0 ] && echo "reproduce: the release is the same as the one built from this source" ||
  echo "reproduce: the release differs from the one built from this source" >&2
exit "$status"
