#!/usr/bin/env bash
# Activation through COM: the test program's Registered suites run while
# Pelmora.dll is registered by regsvr32 (from an ordinary path and from paths
# with spaces and non-ASCII characters), its Unregistered suite after
# regsvr32 /u.
#   activation_test.sh WINE_RUN PREFIX DLL TEST_PROGRAM WORK
set -euo pipefail
WINE_RUN=$1 PREFIX=$2 DLL=$3 PROGRAM=$4 WORK=$5
source "$(dirname "$0")/wine_env.sh"
mkdir -p "$WORK"

program=$(winpath "$PROGRAM")
registered=
trap '[ -z "$registered" ] || w regsvr32 /u /s "$registered" || true' EXIT

# FOLDER|SUITES: where the copy is registered, and the suites run there.
# Wine 8's Automation marshaler reads the registered path of the type library
# through the ANSI code page, so from a path with characters outside it (東京)
# no proxy can be built; the object from another apartment is tried from
# paths within it only. Registration itself stores every path as it stands
# (see registry_test.sh), and everything else works from it.
rounds=(
  'Pelmora activation|Registered.*:RegisteredAcrossApartments.*'
  'Program Files\Pelmora Ünïcødé activation|Registered.*:RegisteredAcrossApartments.*'
  'Program Files\Pelmora 東京 activation|Registered.*'
)
for round in "${rounds[@]}"; do
  folder=${round%%|*} suites=${round#*|}
  dll=$(install_copy "$folder")
  echo "== registered at $dll"
  [ "$(regsvr "$dll")" = 0 ] || fail "regsvr32 $dll"
  registered=$dll
  # Each suite in a process of its own (see activation_test.cpp).
  IFS=: read -ra list <<<"$suites"
  for suite in "${list[@]}"; do
    w "$program" --gtest_brief=1 "--gtest_filter=$suite" "$dll"
  done
  echo "== unregistered"
  [ "$(regsvr /u "$dll")" = 0 ] || fail "regsvr32 /u $dll"
  registered=
  w "$program" --gtest_brief=1 '--gtest_filter=Unregistered.*'
done
echo PASS
