#!/usr/bin/env bash
# The installer packages under Wine's msiexec.
# The packages: the File table gives both DLLs the package's version and
# language, which is also the version in each DLL's version information; the
# installed README is a text for Notepad (UTF-8 with its mark, CRLF).
# 64-bit Windows (a fresh 64-bit prefix of this test): Pelmora.msi writes the
# same registry as regsvr32 of both editions at the same paths (each
# difference explained by a rule below); it installs both editions with the
# README, the license, the examples and the assembly manifests, and names
# its folder as the product's install location; both cscripts run the
# examples; msiexec /x removes every file and leaves the registry as before.
# Pelmora-x86.msi (of this version or a newer one) is refused there, naming
# Pelmora.msi, and changes nothing, whether Pelmora.msi is installed or not;
# its removal finds nothing to remove. A newer Pelmora.msi replaces an
# installed older one, which leaves one installed product. After every step
# each host (the 64-bit and the 32-bit cscript) creates the object while
# Pelmora.msi is installed.
# 32-bit Windows (a 32-bit prefix): regsvr32 cannot load the 64-bit DLL and
# writes nothing; Pelmora.msi is refused with the platform's status and
# changes nothing; Pelmora-x86.msi writes the same registry as regsvr32 of
# the 32-bit edition, installs it, the example runs, a newer Pelmora-x86.msi
# replaces it, and removal leaves the prefix as before.
#   installer_test.sh WINE_RUN64 PREFIX64 WINE_RUN32 PREFIX32 MSI MSI_X86 MSI_NEWER
#                     MSI_X86_NEWER DLL32 DLL64 EXAMPLES EXPECTED WORK DESKTOP_USER
# DESKTOP_USER is the program cmake/wine-run.sh --start-server takes, for the
# 64-bit prefix.
set -euo pipefail
WINE_RUN64=$1 PREFIX64=$2 WINE_RUN32=$3 PREFIX32=$4 MSI=$5 MSI_X86=$6 MSI_NEWER=$7
MSI_X86_NEWER=$8 DLL32=$9 DLL64=${10} EXAMPLES=${11} EXPECTED=${12} WORK=${13} DESKTOP_USER=${14}
WINE_RUN=$WINE_RUN64 PREFIX=$PREFIX64
source "$(dirname "$0")/wine_env.sh"
mkdir -p "$WORK"

# Switches the helpers of wine_env.sh to the 64-bit or the 32-bit prefix.
use64() { WINE_RUN=$WINE_RUN64 PREFIX=$PREFIX64; }
use32() { WINE_RUN=$WINE_RUN32 PREFIX=$PREFIX32; }

msi=$(winpath "$MSI") msi_x86=$(winpath "$MSI_X86") msi_newer=$(winpath "$MSI_NEWER")
msi_x86_newer=$(winpath "$MSI_X86_NEWER")
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

# The install location of the installed product named Pelmora.
install_location() {
  w reg query "$uninstall_key" /s | tr -d '\r' |
    awk '/^HKEY/ { if (name == "Pelmora") print location; name = location = "" }
         $1 == "DisplayName" { name = $3 }
         $1 == "InstallLocation" { location = $0; sub(/^ *InstallLocation +REG_SZ +/, "", location) }
         END { if (name == "Pelmora") print location }'
}

# The fixed part's file version of a DLL's version information, as
# MAJOR.MINOR.BUILD.REVISION.
dll_version() {
  python3 - "$1" <<'PY'
import struct, sys
data = open(sys.argv[1], "rb").read()
at = data.index(struct.pack("<I", 0xFEEF04BD))
ms, ls = struct.unpack_from("<II", data, at + 8)
print("%d.%d.%d.%d" % (ms >> 16, ms & 0xFFFF, ls >> 16, ls & 0xFFFF))
PY
}

# hosts_create BITS...: the cscript of each BITS creates the object and calls
# it; the edition of that bitness is installed and registered.
create_vbs=$WORK/create.vbs
printf '%s\r\n' 'Set calc = CreateObject("Tevaro.CalcDistClass")' \
  'WScript.Echo calc.GridFromLatLong(52.5, 13.4)' >"$create_vbs"
hosts_create() {
  local bits out status
  for bits in "$@"; do
    status=0
    if [ "$bits" = 32 ]; then
      out=$(w32 cscript //nologo "$(winpath "$create_vbs")" 2>&1) || status=$?
    else
      out=$(w cscript //nologo "$(winpath "$create_vbs")" 2>&1) || status=$?
    fi
    [ "$status" = 0 ] && [ "$(tr -d '\r' <<<"$out")" = JO62qm ] ||
      fail "$step: the $bits-bit cscript cannot create the object (status $status): $out"
  done
}

# refused STATUS MSIEXEC-ARGS...: msiexec fails with STATUS (as an 8-bit
# exit status), and the registry and the files stay as they were. (Wine's
# msiexec logs no launch condition's message: what Pelmora-x86.msi says is
# read from its table below.)
refused() {
  local want=$1 status
  shift
  snapshot "$WORK/before.txt"
  files >"$WORK/before-files.txt"
  status=$(msiexec_status "$@")
  [ "$status" = $((want % 256)) ] || fail "$step: status $status, not $want"
  snapshot "$WORK/now.txt"
  diff "$WORK/before.txt" "$WORK/now.txt" || fail "$step: the registry differs"
  diff "$WORK/before-files.txt" <(files) || fail "$step: the files differ"
}

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

# The packages: each DLL's row of the File table has the package's version
# and the language of the version information, and the DLL says the same.
for entry in "$MSI|Pelmora64|$DLL64" "$MSI|Pelmora32|$DLL32" "$MSI_X86|Pelmora32|$DLL32"; do
  IFS='|' read -r package file dll <<<"$entry"
  want="$(version_of "$package").0"
  row=$(msiinfo export "$package" File | tr -d '\r' | awk -F'\t' -v f="$file" '$1 == f { print $5 "|" $6 }')
  [ "$row" = "$want|1033" ] || fail "$(basename "$package"): $file has version and language '$row', not $want|1033"
  [ "$(dll_version "$dll")" = "$want" ] || fail "$dll: version $(dll_version "$dll"), the package's is $want"
done
# Pelmora-x86.msi refuses 64-bit Windows, unless it is installed (so that it
# can always be removed), and its message names the package to use there.
for package in "$MSI_X86" "$MSI_X86_NEWER"; do
  msiinfo export "$package" LaunchCondition | tr -d '\r' |
    grep -q $'^Installed OR NOT VersionNT64\t.*On 64-bit Windows install Pelmora.msi' ||
    fail "$(basename "$package") has no launch condition naming Pelmora.msi for 64-bit Windows"
done

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
for doc in README.txt LICENSE.txt examples/pelmora.js examples/pelmora.vbs; do
  [ -f "$(drive_c "Program Files/Pelmora/$doc")" ] || fail "C:\\Program Files\\Pelmora\\$doc not installed"
done
python3 -c 'import sys; d = open(sys.argv[1], "rb").read()
sys.exit(not (d.startswith(b"\xef\xbb\xbf") and b"\r\n" in d and d.count(b"\n") == d.count(b"\r\n")))' \
  "$(drive_c 'Program Files/Pelmora/README.txt')" || fail "README.txt is not UTF-8 with its mark and CRLF"
[ "$(install_location)" = 'C:\Program Files\Pelmora\' ] || fail "install location: $(install_location)"
# The README gives administrators both packages' product codes.
for package in "$MSI" "$MSI_X86"; do
  code=$(msiinfo export "$package" Property | tr -d '\r' | awk '$1 == "ProductCode" { print $2 }')
  grep -qF "$code" "$(drive_c 'Program Files/Pelmora/README.txt')" ||
    fail "README.txt does not give $(basename "$package")'s product code $code"
done
for bits in 32 64; do
  cscript_check "$bits" js-defaults 0 "$js"
  cscript_check "$bits" vbs 0 "$vbs"
done

echo "Pelmora-x86.msi, this version and a newer one, refused beside Pelmora.msi"
step="Pelmora-x86.msi over Pelmora.msi"
refused 1603 /i "$msi_x86"
hosts_create 64 32
step="a newer Pelmora-x86.msi over Pelmora.msi"
refused 1603 /i "$msi_x86_newer"
hosts_create 64 32
step="msiexec /x Pelmora-x86.msi beside Pelmora.msi"
# Pelmora-x86.msi is another product, not installed: Windows answers
# ERROR_UNKNOWN_PRODUCT (1605); Wine's msiexec runs the package's removal,
# which its launch condition stops (1603). Either way nothing changes.
refused 1603 /x "$msi_x86"
hosts_create 64 32

echo "msiexec /x Pelmora.msi"
[ "$(msiexec_status /x "$msi")" = 0 ] || fail "msiexec /x $msi"
expect_removed "after msiexec /x"

echo "Pelmora-x86.msi refused alone"
step="Pelmora-x86.msi on 64-bit Windows"
refused 1603 /i "$msi_x86"

echo "a newer package over the installed one"
[ "$(msiexec_status /i "$msi")" = 0 ] || fail "msiexec /i $msi"
[ "$(products)" = "$(version_of "$MSI")" ] || fail "installed after one package: $(products)"
step="Pelmora.msi installed again"
hosts_create 64 32
[ "$(msiexec_status /i "$msi_newer")" = 0 ] || fail "msiexec /i $msi_newer"
[ "$(products)" = "$(version_of "$MSI_NEWER")" ] || fail "installed after the newer package: $(products)"
cscript_check 64 js-defaults 0 "$js"
cscript_check 32 js-defaults 0 "$js"
step="a newer Pelmora-x86.msi over the newer Pelmora.msi"
refused 1603 /i "$msi_x86_newer"
hosts_create 64 32
[ "$(msiexec_status /x "$msi_newer")" = 0 ] || fail "msiexec /x $msi_newer"
expect_removed "after removing the newer package"

echo "== 32-bit Windows"
use32
# A run stopped half-way may leave Pelmora-x86.msi installed: remove it.
for package in "$msi_x86" "$msi_x86_newer"; do
  msiexec_status /x "$package" >/dev/null
done
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
# ERROR_INSTALL_PLATFORM_UNSUPPORTED (1633), before the package's own
# conditions are read.
step="Pelmora.msi on 32-bit Windows"
refused 1633 /i "$msi"

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
[ "$(install_location)" = 'C:\Program Files\Pelmora\' ] || fail "install location: $(install_location)"
cscript_check 32 js-defaults 0 "$js"
step="Pelmora.msi beside Pelmora-x86.msi"
refused 1633 /i "$msi"
hosts_create 32
echo "a newer Pelmora-x86.msi over the installed one"
[ "$(msiexec_status /i "$msi_x86_newer")" = 0 ] || fail "msiexec /i $msi_x86_newer"
[ "$(products)" = "$(version_of "$MSI_X86_NEWER")" ] || fail "installed after the newer package: $(products)"
step="the newer Pelmora-x86.msi"
hosts_create 32
[ "$(msiexec_status /x "$msi_x86_newer")" = 0 ] || fail "msiexec /x $msi_x86_newer"
expect_removed "after msiexec /x on 32-bit Windows"
echo PASS
