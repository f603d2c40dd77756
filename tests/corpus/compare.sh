#!/usr/bin/env bash
# Runs the corpus dump of a native build and of a Windows build (under Wine)
# and requires identical results, bit for bit:
#   compare.sh NATIVE_DUMP WORK_DIR WINE_RUNNER... WINDOWS_DUMP
# WINE_RUNNER is the command that runs a Windows program (cmake/wine-run.sh
# with its prefix, or the 64-bit runner).
set -euo pipefail
native=$1
work=$2
shift 2
mkdir -p "$work"
"$native" "$work/native.txt"
# The Windows program writes through Wine's drive Z:, the root folder.
windows_path="Z:$(realpath "$work")/windows.txt"
"$@" "${windows_path//\//\\}"
lines=$(wc -l <"$work/native.txt")
if ! cmp -s "$work/native.txt" "$work/windows.txt"; then
  echo "results differ between the native and the Windows build:"
  diff "$work/native.txt" "$work/windows.txt" | head -20
  exit 1
fi
echo "$lines results identical"
