#!/usr/bin/env bash
# Both editions of Pelmora.dll registered side by side in a 64-bit prefix:
# the 64-bit one by system32's regsvr32 into the native view, the 32-bit one
# by syswow64's into the 32-bit view.
#   - A 32-bit and a 64-bit host create the class by its ProgID and print what
#     all eight methods answer on one sample (edition_probe): identical lines.
#   - Both cscripts run the example clients against their own edition.
#   - Unregistering either edition first leaves the other fully working
#     (creation by ProgID, IDispatch through its type library, a call from
#     another apartment, its cscript); unregistering both leaves the registry
#     (both views) exactly as before.
#   - A DLL of the other bitness does not load (ERROR_BAD_EXE_FORMAT, 193).
#   - Each regsvr32 given the DLL of the other bitness: Wine's hands it over
#     to its counterpart, so the DLL lands in its own view and nothing in the
#     other.
#   editions_test.sh WINE_RUN PREFIX DLL32 DLL64 PROBE32 PROBE64 ACTIVATION32 ACTIVATION64
#                    EXAMPLES EXPECTED WORK
set -euo pipefail
WINE_RUN=$1 PREFIX=$2 DLL32=$3 DLL64=$4 PROBE32=$5 PROBE64=$6 ACT32=$7 ACT64=$8
EXAMPLES=$9 EXPECTED=${10} WORK=${11}
source "$(dirname "$0")/wine_env.sh"
mkdir -p "$WORK"

# regsvr32 of the 32-bit tools of the prefix (syswow64); `regsvr` runs the
# 64-bit one.
regsvr_wow() {
  local status=0
  w32 regsvr32 /s "$@" || status=$?
  echo "$status"
}

folder64='Program Files\Pelmora Ünïcødé'
folder32='Program Files (x86)\Pelmora Ünïcødé'
DLL=$DLL64 dll64=$(install_copy "$folder64")
DLL=$DLL32 dll32=$(install_copy "$folder32")
js=$(winpath "$EXAMPLES/pelmora.js")

# A run killed half-way may have left a registration behind.
w regsvr32 /u /s "$dll64" || true
w32 regsvr32 /u /s "$dll32" || true
trap 'w regsvr32 /u /s "$dll64" || true; w32 regsvr32 /u /s "$dll32" || true' EXIT


register_both() {
  [ "$(regsvr "$dll64")" = 0 ] || fail "64-bit regsvr32 $dll64"
  [ "$(regsvr_wow "$dll32")" = 0 ] || fail "32-bit regsvr32 $dll32"
}

# The registered edition of BITS works in full from its own kind of host.
works() {
  local bits=$1 dll program
  if [ "$bits" = 32 ]; then dll=$dll32 program=$ACT32; else dll=$dll64 program=$ACT64; fi
  for suite in 'Registered.*' 'RegisteredAcrossApartments.*'; do
    w "$(winpath "$program")" --gtest_brief=1 "--gtest_filter=$suite" "$dll" ||
      fail "the $bits-bit edition, $suite"
  done
  cscript_check "$bits" js-defaults 0 "$js"
}

expect_registry() {
  snapshot "$WORK/now.txt"
  diff "$1" "$WORK/now.txt" || fail "$2"
}

# Before registration neither cscript finds the class. (Wine's cscript
# registers its own type library when it first runs: before the snapshot.)
cscript_check 32 js-unregistered 1 "$js"
cscript_check 64 js-unregistered 1 "$js"
base=$WORK/base.txt
snapshot "$base"

echo "both editions registered"
register_both
both=$WORK/both.txt
snapshot "$both"
for sys in win32 win64; do
  grep -qF "\\1.0\\409\\$sys]" "$both" || fail "no $sys filing of the type library"
done

echo "the same bits from a 32-bit and a 64-bit host"
w "$(winpath "$PROBE32")" --bitness >"$WORK/probe32.raw" || fail "32-bit probe"
w "$(winpath "$PROBE64")" --bitness >"$WORK/probe64.raw" || fail "64-bit probe"
tr -d '\r' <"$WORK/probe32.raw" >"$WORK/probe32.txt"
tr -d '\r' <"$WORK/probe64.raw" >"$WORK/probe64.txt"
[ "$(head -n1 "$WORK/probe32.txt")" = "32-bit host" ] || fail "the 32-bit probe: $(head -n1 "$WORK/probe32.txt")"
[ "$(head -n1 "$WORK/probe64.txt")" = "64-bit host" ] || fail "the 64-bit probe: $(head -n1 "$WORK/probe64.txt")"
[ "$(wc -l <"$WORK/probe32.txt")" -gt 8000 ] || fail "the probe printed too little"
diff <(tail -n +2 "$WORK/probe32.txt") <(tail -n +2 "$WORK/probe64.txt") >"$WORK/probe.diff" || {
  head -n 20 "$WORK/probe.diff"
  fail "the editions differ on $(grep -c '^<' "$WORK/probe.diff") sample lines (< 32-bit, > 64-bit)"
}

echo "the example clients through both cscripts"
cscript_check 32 js-defaults 0 "$js"
cscript_check 64 js-defaults 0 "$js"

# Either order: the first one unregistered leaves the other working, then
# the registry is as before.
for order in '32 64' '64 32'; do
  read -r first second <<<"$order"
  echo "unregistering the $first-bit edition first"
  [ "$order" = '32 64' ] || register_both
  expect_registry "$both" "registering both again gave another registry"
  if [ "$first" = 32 ]; then
    [ "$(regsvr_wow /u "$dll32")" = 0 ] || fail "32-bit regsvr32 /u"
  else
    [ "$(regsvr /u "$dll64")" = 0 ] || fail "64-bit regsvr32 /u"
  fi
  works "$second"
  cscript_check "$first" js-unregistered 1 "$js"
  if [ "$second" = 32 ]; then
    [ "$(regsvr_wow /u "$dll32")" = 0 ] || fail "32-bit regsvr32 /u"
  else
    [ "$(regsvr /u "$dll64")" = 0 ] || fail "64-bit regsvr32 /u"
  fi
  expect_registry "$base" "unregistering the $first-bit edition, then the $second-bit one, left the registry changed"
done

echo "a DLL of the other bitness is refused by the loader"
for pair in "$PROBE32|$dll64" "$PROBE64|$dll32"; do
  got=$(w "$(winpath "${pair%|*}")" --load "${pair#*|}" | tr -d '\r' || true)
  [ "$got" = "error 193" ] || fail "loading ${pair#*|} into $(basename "$(dirname "${pair%|*}")"): $got"
done
echo "each regsvr32 given the DLL of the other bitness"
[ "$(regsvr "$dll64")" = 0 ] || fail "64-bit regsvr32 $dll64"
snapshot "$WORK/only64.txt"
[ "$(regsvr /u "$dll64")" = 0 ] || fail "64-bit regsvr32 /u $dll64"
[ "$(regsvr_wow "$dll64")" = 0 ] || fail "32-bit regsvr32 $dll64"
expect_registry "$WORK/only64.txt" "the 32-bit regsvr32 registered the 64-bit DLL otherwise"
[ "$(regsvr_wow /u "$dll64")" = 0 ] || fail "32-bit regsvr32 /u $dll64"
expect_registry "$base" "the 32-bit regsvr32 left the 64-bit DLL's registration"

[ "$(regsvr_wow "$dll32")" = 0 ] || fail "32-bit regsvr32 $dll32"
snapshot "$WORK/only32.txt"
[ "$(regsvr_wow /u "$dll32")" = 0 ] || fail "32-bit regsvr32 /u $dll32"
[ "$(regsvr "$dll32")" = 0 ] || fail "64-bit regsvr32 $dll32"
expect_registry "$WORK/only32.txt" "the 64-bit regsvr32 registered the 32-bit DLL otherwise"
[ "$(regsvr /u "$dll32")" = 0 ] || fail "64-bit regsvr32 /u $dll32"
expect_registry "$base" "the 64-bit regsvr32 left the 32-bit DLL's registration"

trap - EXIT
echo PASS
