#!/usr/bin/env bash
# Registration and unregistration of Pelmora.dll by regsvr32, judged by the
# registry: the machine-wide classes and the user's software hive are read
# before registration, after it and after unregistration, and compared.
#   registry_test.sh WINE_RUN PREFIX DLL EXPECTED_ADDED WORK
# EXPECTED_ADDED lists the lines registration adds to the export, with @DLL@
# for the registered path and @DIR@ for its folder (backslashes doubled, as
# the export writes them).
set -euo pipefail
WINE_RUN=$1 PREFIX=$2 DLL=$3 EXPECTED=$4 WORK=$5
source "$(dirname "$0")/wine_env.sh"
mkdir -p "$WORK"

LIBID='{AD57A250-6795-43D8-9A3A-8FEEE1DBF6BC}'
CLSID='{E5C3831C-0F27-4322-B00F-3DFCC9ABCE3C}'
IID='{34DA1F23-1B3A-42A8-AC6C-14CC022E6027}'
CLASSES='HKLM\Software\Classes'

plain='Pelmora'
spaced='Program Files\Pelmora Ünïcødé 東京 ü'
other='Other copy\Pelmora'

# A run killed half-way may have left a registration behind.
for folder in "$plain" "$spaced" "$other"; do
  [ -f "$(drive_c "$folder")/Pelmora.dll" ] && w regsvr32 /u /s "C:\\$folder\\Pelmora.dll" || true
done
w reg delete "$CLASSES\\TypeLib\\$LIBID\\2.0" /f >/dev/null 2>&1 || true

base=$WORK/base.txt
snapshot "$base"
if grep -qiE "${LIBID:1:36}|${CLSID:1:36}|${IID:1:36}|Tevaro\.CalcDistClass" "$base"; then
  fail "the prefix holds a registration of Pelmora that unregistration does not remove; delete $PREFIX"
fi

# Fails with message $2 unless the registry is now as in snapshot $1.
expect_registry() {
  local want=$1 now=$WORK/now.txt
  snapshot "$now"
  diff "$want" "$now" || fail "$2"
}

# The lines registration of the copy at Windows path $1 must add.
expected_for() {
  local dll=$1
  DLL_E=$(printf '%s' "$dll" | sed 's/\\/\\\\/g') \
  DIR_E=$(printf '%s' "${dll%\\*}" | sed 's/\\/\\\\/g') \
    awk 'function put(s, name, value,   i) {
           while ((i = index(s, name)) > 0) s = substr(s, 1, i - 1) value substr(s, i + length(name))
           return s
         }
         { print put(put($0, "@DLL@", ENVIRON["DLL_E"]), "@DIR@", ENVIRON["DIR_E"]) }' "$EXPECTED"
}

# Registers the copy at Windows path $1, checks exactly the expected lines
# appear, registers again (nothing changes), unregisters (the registry is
# back to $2) and unregisters again (still nothing changes).
round() {
  local dll=$1 before=$2 after=$WORK/after.txt
  [ "$(regsvr "$dll")" = 0 ] || fail "regsvr32 $dll"
  snapshot "$after"
  diff <(expected_for "$dll") <(changes "$before" "$after") ||
    fail "registration of $dll: the lines added differ from the expected ones (< expected, > got)"

  [ "$(regsvr "$dll")" = 0 ] || fail "second regsvr32 $dll"
  expect_registry "$after" "registering $dll twice changed the registry"

  [ "$(regsvr /u "$dll")" = 0 ] || fail "regsvr32 /u $dll"
  expect_registry "$before" "unregistration of $dll left the registry changed"

  [ "$(regsvr /u "$dll")" = 0 ] || fail "second regsvr32 /u $dll"
  expect_registry "$before" "unregistering $dll twice changed the registry"
}

echo "unregistration of a server never registered"
dll=$(install_copy "$plain")
[ "$(regsvr /u "$dll")" = 0 ] || fail "regsvr32 /u of a server never registered"
expect_registry "$base" "unregistration of a server never registered changed the registry"

echo "registration and unregistration at $dll"
round "$dll" "$base"

dll=$(install_copy "$spaced")
echo "registration and unregistration at $dll"
round "$dll" "$base"

# The loader reports a module by the path it was loaded from, so the same file
# can come with its long or its short name, or through another drive (Z: is
# the Unix root): either way it is the registered one.
short=$(w winepath -s "$dll")
[ -n "$short" ] && [ "$short" != "$dll" ] || fail "no short form of $dll"
other_drive=$(winpath "$(drive_c "$spaced")/Pelmora.dll")
for pair in "$dll|$short" "$short|$dll" "$dll|$other_drive"; do
  by=${pair%%|*} then=${pair#*|}
  echo "registration at $by, unregistration at $then"
  [ "$(regsvr "$by")" = 0 ] || fail "regsvr32 $by"
  [ "$(regsvr /u "$then")" = 0 ] || fail "regsvr32 /u $then"
  expect_registry "$base" "unregistration at $then left the registration made at $by"
done

echo "unregistration leaves other servers' keys and values"
# Another version of the type library, a value someone else added to the
# class key, and a value in the ProgID key.
w reg add "$CLASSES\\TypeLib\\$LIBID\\2.0\\0\\win32" /ve /d 'C:\Other\Pelmora2.dll' /f >/dev/null
w reg add "$CLASSES\\CLSID\\$CLSID" /v AppID /d '{00000000-0000-0000-0000-000000000001}' /f >/dev/null
w reg add "$CLASSES\\Tevaro.CalcDistClass" /v EditFlags /t REG_DWORD /d 0 /f >/dev/null
others=$WORK/others.txt
snapshot "$others"
dll=$(install_copy "$plain")
[ "$(regsvr "$dll")" = 0 ] || fail "regsvr32 $dll beside other keys"
[ "$(regsvr /u "$dll")" = 0 ] || fail "regsvr32 /u $dll beside other keys"
expect_registry "$others" "unregistration removed or left keys beside other servers' keys"
w reg delete "$CLASSES\\TypeLib\\$LIBID" /f >/dev/null
w reg delete "$CLASSES\\CLSID\\$CLSID" /f >/dev/null
w reg delete "$CLASSES\\Tevaro.CalcDistClass" /f >/dev/null
expect_registry "$base" "clean-up of the other servers' keys"

echo "unregistration of one copy leaves the registration of another copy"
copy=$(install_copy "$other")
[ "$(regsvr "$copy")" = 0 ] || fail "regsvr32 $copy"
snapshot "$others"
[ "$(regsvr /u "$dll")" = 0 ] || fail "regsvr32 /u $dll while $copy is registered"
expect_registry "$others" "unregistering $dll changed the registration of $copy"
[ "$(regsvr /u "$copy")" = 0 ] || fail "regsvr32 /u $copy"
expect_registry "$base" "unregistration of $copy left the registry changed"

echo "PASS"
