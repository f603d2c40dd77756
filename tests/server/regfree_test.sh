#!/usr/bin/env bash
# Registration-free use of both editions in a 64-bit prefix where nothing is
# registered: a native client (edition_probe) with an application manifest
# naming the private assembly Tevaro.Pelmora, carried in its own folder with
# Pelmora.dll and the assembly manifest, creates the class by its ProgID and
# calls every method. Both editions print the same lines; without the
# application manifest the class is not found; the registry is unchanged.
#   regfree_test.sh WINE_RUN PREFIX EDITION32 EDITION64 WORK
# EDITION32 and EDITION64 are the edition folders of the two build trees
# (edition-win32, edition-win64; see tests/CMakeLists.txt).
set -euo pipefail
WINE_RUN=$1 PREFIX=$2 EDITION32=$3 EDITION64=$4 WORK=$5
source "$(dirname "$0")/wine_env.sh"
mkdir -p "$WORK"

base=$WORK/base.txt
snapshot "$base"
if grep -qiE 'E5C3831C-0F27-4322-B00F-3DFCC9ABCE3C|Tevaro\.CalcDistClass' "$base"; then
  fail "Pelmora is registered in $PREFIX"
fi

for bits in 32 64; do
  edition=$EDITION32
  [ "$bits" = 32 ] || edition=$EDITION64
  folder="Pelmora régfree $bits"
  app=$(drive_c "$folder")
  rm -rf "$app"
  mkdir -p "$app"
  cp "$edition/edition_probe.exe" "$edition/regfree/edition_probe.exe.manifest" \
    "$edition/Pelmora.dll" "$edition/Tevaro.Pelmora.manifest" "$app/"
  echo "the $bits-bit edition beside its client"
  w "C:\\$folder\\edition_probe.exe" --bitness >"$WORK/probe$bits.raw" || fail "$bits-bit client"
  tr -d '\r' <"$WORK/probe$bits.raw" >"$WORK/probe$bits.txt"
  [ "$(head -n1 "$WORK/probe$bits.txt")" = "$bits-bit host" ] ||
    fail "the $bits-bit client says: $(head -n1 "$WORK/probe$bits.txt")"
  [ "$(wc -l <"$WORK/probe$bits.txt")" -gt 8000 ] || fail "the $bits-bit client printed too little"

  echo "the $bits-bit client without its application manifest"
  rm "$app/edition_probe.exe.manifest"
  if w "C:\\$folder\\edition_probe.exe" >/dev/null 2>"$WORK/unmanifested.txt"; then
    fail "the $bits-bit client created the class without its manifest"
  fi
  grep -q 'cannot create Tevaro.CalcDistClass' "$WORK/unmanifested.txt" ||
    fail "the $bits-bit client without its manifest: $(cat "$WORK/unmanifested.txt")"
done

diff <(tail -n +2 "$WORK/probe32.txt") <(tail -n +2 "$WORK/probe64.txt") >/dev/null ||
  fail "the editions differ without registration"
snapshot "$WORK/after.txt"
diff "$base" "$WORK/after.txt" || fail "registration-free use changed the registry"
echo PASS
