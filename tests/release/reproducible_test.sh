#!/usr/bin/env bash
# Pelmora.dll is the same file whoever builds it where: the source tree is
# copied to another folder (a path of another length), Pelmora.dll built
# there afresh with the same toolchain file and build type, and the two DLLs,
# and their debug files, must be equal byte for byte. Both builds take their
# time stamps from the same commit time.
#   reproducible_test.sh SOURCE_DIR TOOLCHAIN_FILE BUILD_TYPE DLL WORK
# TOOLCHAIN_FILE is named relative to SOURCE_DIR; DLL is the first build's
# Pelmora.dll, with Pelmora.dll.debug beside it.
set -euo pipefail
SRC=$1 TOOLCHAIN=$2 BUILD_TYPE=$3 DLL=$4 WORK=$5

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

# The time the first build took from its commit (cmake/source-date-epoch.sh),
# as its PE header holds it: the second build takes the same, even when a
# commit has come since the first one was linked.
pe_header=$(od -An -tu4 -j60 -N4 "$DLL" | tr -d ' ')
SOURCE_DATE_EPOCH=$(od -An -tu4 -j$((pe_header + 8)) -N4 "$DLL" | tr -d ' ')
[ -n "$SOURCE_DATE_EPOCH" ] || fail "no PE time stamp in $DLL"
export SOURCE_DATE_EPOCH

rm -rf "$WORK"
other=$WORK/another/source-tree
mkdir -p "$other"
# The files of the source tree as they are now, committed or not (build
# trees and other ignored files left out); outside a git work tree, all but
# build/.
if git -C "$SRC" rev-parse --is-inside-work-tree >/dev/null 2>&1; then
  (cd "$SRC" && git ls-files -z --cached --others --exclude-standard |
    while IFS= read -r -d '' f; do [ -e "$f" ] && printf '%s\0' "$f"; done |
    xargs -0 cp --parents -t "$other") || fail "cannot copy the source tree $SRC"
else
  (cd "$SRC" && find . -mindepth 1 -maxdepth 1 ! -name build -exec cp -a -t "$other" {} +) ||
    fail "cannot copy the source tree $SRC"
fi
[ -f "$other/CMakeLists.txt" ] || fail "the copy of $SRC holds no CMakeLists.txt"

echo "building Pelmora.dll again in $other/build"
cmake -S "$other" -B "$other/build" -DCMAKE_TOOLCHAIN_FILE="$other/$TOOLCHAIN" \
  -DCMAKE_BUILD_TYPE="$BUILD_TYPE" >"$WORK/configure.log" 2>&1 ||
  { cat "$WORK/configure.log"; fail "configuring the second build"; }
cmake --build "$other/build" --target Pelmora -j2 >"$WORK/build.log" 2>&1 ||
  { tail -40 "$WORK/build.log"; fail "building the second Pelmora.dll"; }
again=$(find "$other/build" -name Pelmora.dll -path '*/bin-*' | head -n 1)
[ -n "$again" ] || fail "the second build made no Pelmora.dll"

status=0
for file in "$DLL" "$DLL.debug"; do
  name=$(basename "$file")
  if cmp -s "$file" "$again${file#"$DLL"}"; then
    echo "ok: $name is the same, $(stat -c %s "$file") bytes"
  else
    echo "FAIL: $name differs in $(cmp -l "$file" "$again${file#"$DLL"}" 2>/dev/null | wc -l) bytes" \
      "($(stat -c %s "$file") and $(stat -c %s "$again${file#"$DLL"}") bytes)" >&2
    status=1
  fi
done
[ "$status" = 0 ] || exit 1
rm -rf "$WORK"
echo PASS
