#!/usr/bin/env bash
# The example clients run by Wine's cscript against the registered
# Pelmora.dll, their output compared line for line with the expected texts;
# and the same clients once the server is unregistered.
#   scripts_test.sh WINE_RUN PREFIX DLL EXAMPLES EXPECTED WORK
set -euo pipefail
WINE_RUN=$1 PREFIX=$2 DLL=$3 EXAMPLES=$4 EXPECTED=$5 WORK=$6
source "$(dirname "$0")/wine_env.sh"
mkdir -p "$WORK"

js=$(winpath "$EXAMPLES/pelmora.js")
vbs=$(winpath "$EXAMPLES/pelmora.vbs")
dll=$(install_copy 'Pelmora scripts')
trap 'w regsvr32 /u /s "$dll" || true' EXIT
[ "$(regsvr "$dll")" = 0 ] || fail "regsvr32 $dll"

failures=0
# check NAME STATUS SCRIPT [ARGS...]: the script's output must equal
# EXPECTED/NAME.txt (with @LAST@ standing for the last argument) and its exit
# status STATUS.
check() {
  local name=$1 want_status=$2 got=$WORK/$1.txt status=0
  shift 2
  w cscript //nologo "$@" >"$got.raw" 2>&1 || status=$?
  tr -d '\r' <"$got.raw" >"$got"
  if ! diff -u <(LAST=${!#} awk '{ gsub("@LAST@", ENVIRON["LAST"]); print }' "$EXPECTED/$name.txt") \
    "$got"; then
    echo "FAIL: $name: output differs (- expected, + got)"
    failures=$((failures + 1))
  elif [ "$status" != "$want_status" ]; then
    echo "FAIL: $name: exit status $status, expected $want_status"
    failures=$((failures + 1))
  else
    echo "ok: $name"
  fi
}

# The sample client: its default places; positions and locators with a round
# trip of a six- and a four-character locator, a failing call; a malformed
# position and texts that are no locator, each named; help.
check js-defaults 0 "$js"
check js-places 0 "$js" 52.5,13.4 JO62qm IO91 0,3640 '-33.8688,151.2093'
check js-bad-place 2 "$js" 52.5,13.4 52.5x,13.4
for bad in foo J JO62q JO62qmz SO62qm JO62qy; do
  check js-bad-locator 2 "$js" JO62qm "$bad"
done
check js-help 0 "$js" --help
# Every method, a round trip and a failing call with its number and text.
check vbs 0 "$vbs"

[ "$(regsvr /u "$dll")" = 0 ] || fail "regsvr32 /u $dll"
trap - EXIT
check js-unregistered 1 "$js"
check vbs-unregistered 1 "$vbs"

[ "$failures" = 0 ] || fail "$failures script runs differ"
echo PASS
