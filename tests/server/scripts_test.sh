#!/usr/bin/env bash
# The example clients run by Wine's cscript against the registered
# Pelmora.dll, their output compared line for line with the expected texts;
# the VBScript and JScript examples of the README (beside EXAMPLES), each
# line's output compared with the comment that says what it prints; and the
# example clients once the server is unregistered.
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

# The VBScript and JScript examples of the README, each run as written: every
# line that prints ends with a comment giving what it prints.
readme=$(dirname "$EXAMPLES")/README.md
# readme_block LANGUAGE N FILE: the Nth fenced block of LANGUAGE to FILE;
# false when there is none.
readme_block() {
  awk -v lang="$1" -v want="$2" '
    $0 == "```" lang { n++; inside = (n == want); next }
    /^```/ { inside = 0; next }
    inside { print }
    END { exit (n >= want) ? 0 : 1 }' "$readme" >"$3" && [ -s "$3" ]
}
# The comment of each printing line: text after the last "' " (VBScript) or
# "// " (JScript).
readme_expected() {
  if [ "$1" = vbscript ]; then
    grep 'WScript.Echo' "$2" | sed -n "s/.*' \\([^']*\\)\$/\\1/p"
  else
    grep 'WScript.Echo' "$2" | sed -n 's|.*// \(.*\)$|\1|p'
  fi
}
for pair in vbscript:vbs js:js; do
  lang=${pair%%:*} ext=${pair#*:} n=1
  while readme_block "$lang" "$n" "$WORK/readme-$n.$ext"; do
    script=$WORK/readme-$n.$ext
    printing=$(grep -c 'WScript.Echo' "$script" || true)
    [ "$(readme_expected "$lang" "$script" | wc -l)" = "$printing" ] ||
      fail "README $lang example $n: a printing line without the comment of what it prints"
    status=0
    w cscript //nologo "$(winpath "$script")" >"$script.out.raw" 2>&1 || status=$?
    tr -d '\r' <"$script.out.raw" >"$script.out"
    if ! diff -u <(readme_expected "$lang" "$script") "$script.out"; then
      echo "FAIL: README $lang example $n prints otherwise than its comments say (- README, + printed)"
      failures=$((failures + 1))
    elif [ "$status" != 0 ]; then
      echo "FAIL: README $lang example $n: exit status $status"
      failures=$((failures + 1))
    else
      echo "ok: README $lang example $n"
    fi
    n=$((n + 1))
  done
  [ "$n" -gt 1 ] || fail "README: no $lang example"
done

[ "$(regsvr /u "$dll")" = 0 ] || fail "regsvr32 /u $dll"
trap - EXIT
check js-unregistered 1 "$js"
check vbs-unregistered 1 "$vbs"

[ "$failures" = 0 ] || fail "$failures script runs differ"
echo PASS
