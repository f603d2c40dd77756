#!/usr/bin/env bash
# The installer packages under Wine's msiexec.
# 64-bit Windows (a fresh 64-bit prefix of this test): Pelmora.msi writes the
# same registry as regsvr32 of both editions at the same paths (each
# difference explained by a rule below); it installs both editions with the
# README, the license, the examples and the assembly manifests;
# both cscripts run the examples; msiexec /x removes every file and leaves the
# registry as before; a newer package replaces an installed older one, which
# leaves one installed product.
# 32-bit Windows (a 32-bit prefix): regsvr32 cannot load the 64-bit DLL and
# writes nothing; Pelmora.msi is refused with the platform's status and
# changes nothing; Pelmora-x86.msi writes the same registry as regsvr32 of
# the 32-bit edition, installs it, the example runs, and removal leaves the
# prefix as before.
#   installer_test.sh WINE_RUN64 PREFIX64 WINE_RUN32 PREFIX32 MSI MSI_X86 MSI_NEWER
#                     DLL32 DLL64 EXAMPLES EXPECTED WORK DESKTOP_USER
# DESKTOP_USER is the program cmake/wine-run.sh --start-server takes, for the
# 64-bit prefix.
set -euo pipefail
WINE_RUN64=$1 PREFIX64=$2 WINE_RUN32=$3 PREFIX32=$4 MSI=$5 MSI_X86=$6 MSI_NEWER=$7
DLL32=$8 DLL64=$9 EXAMPLES=${10} EXPECTED=${11} WORK=${12} DESKTOP_USER=${13}
WINE_RUN=$WINE_RUN64 PREFIX=$PREFIX64
source "$(dirname "$0")/wine_env.sh"
mkdir -p "$WORK"

# Switches the helpers of wine_env.sh to the 64-bit or the 32-bit prefix.
use64() { WINE_RUN=$WINE_RUN64 PREFIX=$PREFIX64; }
use32() { WINE_RUN=$WINE_RUN32 PREFIX=$PREFIX32; }

msi=$(winpath "$MSI") msi_x86=$(winpath "$MSI_X86") msi_newer=$(winpath "$MSI_NEWER")
uninstall_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall'

# The files of drive C: outside Wine's own folders, as sorted relative paths.
files() { (cd "$PREFIX/drive_c" && find . -path ./windows -prune -o -path ./users -prune -o -print | sort); }

# The versions of the installed products named Pelmora, one line each.
products() {
  w reg query "$uninstall_key" /s | tr -d '\r' |
    awk '/^HKEY/ { if (name == "Pelmora") print version; name = version = "" }
         $1 == "DisplayName" { name = $3 } $1 == "DisplayVersion" { version = $3 }
         END { if (name == "Pelmora") print version }'
}

# The ProductVersion of a package.
version_of() { msiinfo export "$1" Property | tr -d '\r' | awk '$1 == "ProductVersion" { print $2 }'; }

# regsvr32_lines OUT BITS|FOLDER|DLL...: each DLL copied to C:\FOLDER and
# registered by the regsvr32 of BITS, in the order given; the lines that adds
# to the snapshot $WORK/base.txt go to OUT. Then each is unregistered and its
# folder removed, which leaves the prefix as in the snapshot.
regsvr32_lines() {
  local out=$1 entry bits folder dll path
  shift
  for entry in "$@"; do
    IFS='|' read -r bits folder dll <<<"$entry"
    path=$(DLL=$dll install_copy "$folder")
    if [ "$bits" = 32 ]; then w32 regsvr32 /s "$path"; else w regsvr32 /s "$path"; fi ||
      fail "regsvr32 $path"
  done
  snapshot "$WORK/regsvr32.txt"
  changes "$WORK/base.txt" "$WORK/regsvr32.txt" >"$out"
  for entry in "$@"; do
    IFS='|' read -r bits folder dll <<<"$entry"
    path="C:\\$folder\\Pelmora.dll"
    if [ "$bits" = 32 ]; then w32 regsvr32 /u /s "$path"; else w regsvr32 /u /s "$path"; fi ||
      fail "regsvr32 /u $path"
    rm -rf "$(drive_c "$folder")"
  done
  expect_state "after regsvr32 /u of what regsvr32 registered"
}

# The registry lines a package added ($1) against regsvr32's ($2), both
# exports of HKLM\Software\Classes (the 32-bit view under Wow6432Node) and
# HKCU\Software: they must be the same but for these rules.
#  - Windows Installer's own bookkeeping under Classes\Installer (the
#    product, its features and upgrade code) is the package's alone.
#  - A folder property of Windows Installer ends in a backslash: the
#    package's HELPDIR is the installation folder with one, regsvr32's the
#    folder of the DLL without.
compare_with_regsvr32() {
  local package=$1 reference=$2 what=$3
  awk '/^\+\[/ { skip = index($0, "\\Software\\Classes\\Installer") > 0 } !skip' "$package" |
    awk '/^\+\[.*\\HELPDIR\]$/ { helpdir = 1; print; next }
         helpdir && /^\+@=".*\\\\"$/ { sub(/\\\\"$/, "\""); helpdir = 0 }
         { helpdir = helpdir && !/^\+\[/; print }' >"$package.compared"
  diff "$reference" "$package.compared" ||
    fail "$what: the package's registry differs from regsvr32's (< regsvr32, > package)"
}

msiexec_status() {
  local status=0
  w msiexec "$@" /qn >/dev/null 2>&1 || status=$?
  echo "$status"
}

expect_state() {
  snapshot "$WORK/now.txt"
  diff "$WORK/base.txt" "$WORK/now.txt" || fail "$1: the registry differs"
  diff "$WORK/files.txt" <(files) || fail "$1: the files differ"
}

# After a removal: the files and the registry as in the snapshot, except that
# Windows Installer keeps its own (empty) bookkeeping keys from its first
# installation in a prefix on.
expect_removed() {
  local added
  snapshot "$WORK/now.txt"
  added=$(changes "$WORK/base.txt" "$WORK/now.txt")
  if [ -n "$added" ]; then
    diff <(printf '+[HKEY_LOCAL_MACHINE\\Software\\Classes\\Installer%s]\n' '' '\Features' \
      '\Products' '\UpgradeCodes') <(echo "$added") ||
      fail "$1: the registry differs in more than the installer's own empty keys"
  fi
  cp "$WORK/now.txt" "$WORK/base.txt"
  diff "$WORK/files.txt" <(files) || fail "$1: the files differ"
}

echo "== 64-bit Windows"
use64
# A run stopped half-way leaves an installation behind: start afresh. A server
# kept for the run (under CTest) stops while the files go and starts again.
if [ -e "$(drive_c 'Program Files/Pelmora')" ] || [ -e "$(drive_c 'Program Files (x86)/Pelmora')" ]; then
  if w --stop-server 2>/dev/null; then
    rm -rf "$PREFIX"
    w --start-server "$DESKTOP_USER"
  else
    rm -rf "$PREFIX"
  fi
fi
js='C:\Program Files\Pelmora\examples\pelmora.js'
vbs='C:\Program Files\Pelmora\examples\pelmora.vbs'
# Before installation neither cscript finds the class (and each has made its
# own first-run registrations before the snapshot).
cscript_check 32 js-unregistered 1 "$(winpath "$EXAMPLES/pelmora.js")"
cscript_check 64 js-unregistered 1 "$(winpath "$EXAMPLES/pelmora.js")"
snapshot "$WORK/base.txt"
files >"$WORK/files.txt"

echo "regsvr32 of both editions where Pelmora.msi installs them"
# The 64-bit one first: the type library's shared HELPDIR then names its
# folder, the installation folder the package names (registering the other
# edition afterwards leaves it as it is).
regsvr32_lines "$WORK/regsvr32-64.txt" "64|Program Files\\Pelmora|$DLL64" \
  "32|Program Files (x86)\\Pelmora|$DLL32"

echo "msiexec /i Pelmora.msi"
[ "$(msiexec_status /i "$msi")" = 0 ] || fail "msiexec /i $msi"
snapshot "$WORK/now.txt"
changes "$WORK/base.txt" "$WORK/now.txt" >"$WORK/package-64.txt"
compare_with_regsvr32 "$WORK/package-64.txt" "$WORK/regsvr32-64.txt" "Pelmora.msi"
for file in 'Program Files/Pelmora/Pelmora.dll|64' 'Program Files (x86)/Pelmora/Pelmora.dll|32'; do
  path=$(drive_c "${file%|*}") bits=${file#*|}
  built=$DLL64
  [ "$bits" = 64 ] || built=$DLL32
  where=${file%|*} where="C:\\${where//\//\\}"
  cmp -s "$path" "$built" || fail "$where is not the $bits-bit Pelmora.dll"
  [ -f "$(dirname "$path")/Tevaro.Pelmora.manifest" ] || fail "no assembly manifest beside $where"
done
for doc in README.md LICENSE.txt examples/pelmora.js examples/pelmora.vbs; do
  [ -f "$(drive_c "Program Files/Pelmora/$doc")" ] || fail "C:\\Program Files\\Pelmora\\$doc not installed"
done
for bits in 32 64; do
  cscript_check "$bits" js-defaults 0 "$js"
  cscript_check "$bits" vbs 0 "$vbs"
done

echo "msiexec /x Pelmora.msi"
[ "$(msiexec_status /x "$msi")" = 0 ] || fail "msiexec /x $msi"
expect_removed "after msiexec /x"

echo "a newer package over the installed one"
[ "$(msiexec_status /i "$msi")" = 0 ] || fail "msiexec /i $msi"
[ "$(products)" = "$(version_of "$MSI")" ] || fail "installed after one package: $(products)"
[ "$(msiexec_status /i "$msi_newer")" = 0 ] || fail "msiexec /i $msi_newer"
[ "$(products)" = "$(version_of "$MSI_NEWER")" ] || fail "installed after the newer package: $(products)"
cscript_check 64 js-defaults 0 "$js"
cscript_check 32 js-defaults 0 "$js"
[ "$(msiexec_status /x "$msi_newer")" = 0 ] || fail "msiexec /x $msi_newer"
expect_removed "after removing the newer package"

echo "== 32-bit Windows"
use32
# The Automation client's own first-run registrations, before the snapshot.
cscript_check 32 js-unregistered 1 "$(winpath "$EXAMPLES/pelmora.js")"
snapshot "$WORK/base.txt"
files >"$WORK/files.txt"
echo "regsvr32 refuses the 64-bit DLL"
# Without a 64-bit counterpart to hand it to, it fails to load it (exit 3).
copy=$(DLL=$DLL64 install_copy 'Pelmora 64 Ünïcødé')
status=0
w regsvr32 "$copy" >"$WORK/regsvr32.txt" 2>&1 || status=$?
[ "$status" = 3 ] || fail "32-bit regsvr32 of the 64-bit DLL: status $status"
grep -q "Failed to load DLL" "$WORK/regsvr32.txt" || fail "32-bit regsvr32 says: $(cat "$WORK/regsvr32.txt")"
rm -rf "$(drive_c 'Pelmora 64 Ünïcødé')"
expect_state "after regsvr32 of the 64-bit DLL"

echo "msiexec /i Pelmora.msi is refused"
# ERROR_INSTALL_PLATFORM_UNSUPPORTED (1633), as an 8-bit exit status.
status=$(msiexec_status /i "$msi")
[ "$status" = $((1633 % 256)) ] || fail "msiexec /i $msi on 32-bit Windows: status $status"
expect_state "after the refused package"

echo "regsvr32 of the 32-bit edition where Pelmora-x86.msi installs it"
regsvr32_lines "$WORK/regsvr32-32.txt" "32|Program Files\Pelmora|$DLL32"

echo "msiexec /i Pelmora-x86.msi"
[ "$(msiexec_status /i "$msi_x86")" = 0 ] || fail "msiexec /i $msi_x86"
snapshot "$WORK/now.txt"
changes "$WORK/base.txt" "$WORK/now.txt" >"$WORK/package-32.txt"
compare_with_regsvr32 "$WORK/package-32.txt" "$WORK/regsvr32-32.txt" "Pelmora-x86.msi"
cmp -s "$(drive_c 'Program Files/Pelmora/Pelmora.dll')" "$DLL32" ||
  fail "C:\\Program Files\\Pelmora\\Pelmora.dll is not the 32-bit Pelmora.dll"
[ -f "$(drive_c 'Program Files/Pelmora/LICENSE.txt')" ] || fail "C:\\Program Files\\Pelmora\\LICENSE.txt not installed"
cscript_check 32 js-defaults 0 "$js"
[ "$(msiexec_status /x "$msi_x86")" = 0 ] || fail "msiexec /x $msi_x86"
expect_removed "after msiexec /x on 32-bit Windows"
echo PASS
