# Shared by the server test scripts (sourced): Wine in a private prefix of the
# server tests (32-bit, or 64-bit with the 32-bit tools beside), Windows
# paths, registry snapshots, the example clients through cscript.
#   WINE_RUN  cmake/wine-run.sh (creates the prefix on first use)
#   PREFIX    the prefix folder
# Texts pass through Wine as UTF-8 (paths with non-ASCII characters).
export LC_ALL=C.UTF-8

w() { "$WINE_RUN" "$PREFIX" "$@"; }
# In a 64-bit prefix: the 32-bit tools (syswow64).
w32() { PELMORA_WINE_BITS=32 w "$@"; }

# The Windows form of a Unix path (drive Z: is the Unix root).
winpath() { local p=$1; printf 'Z:%s' "${p//\//\\}"; }

# A folder of drive C: of the prefix, as a Unix path.
drive_c() { printf '%s/drive_c/%s' "$PREFIX" "${1//\\//}"; }

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

# A copy of the DLL at C:\<folder>\Pelmora.dll; prints the Windows path.
install_copy() {
  local folder=$1 unix
  unix=$(drive_c "$folder")
  mkdir -p "$unix"
  cp "$DLL" "$unix/Pelmora.dll"
  printf 'C:\\%s\\Pelmora.dll' "$folder"
}

# regsvr32 silently; prints its exit status.
regsvr() {
  local status=0
  w regsvr32 /s "$@" || status=$?
  echo "$status"
}

# The machine-wide classes and the user's whole software hive as UTF-8
# lines, without blank lines, written to $1.
snapshot() {
  local out=$1 hive tmp
  : >"$out"
  for hive in 'HKLM\Software\Classes' 'HKCU\Software'; do
    tmp=$(mktemp "$WORK/export.XXXXXX")
    w reg export "$hive" "$(winpath "$tmp")" /y >/dev/null
    iconv -f UTF-16 -t UTF-8 "$tmp" | tr -d '\r' | grep -v '^$' >>"$out"
    rm -f "$tmp"
  done
}

# Lines removed (-) and added (+) from snapshot $1 to snapshot $2.
changes() {
  diff --old-line-format='-%L' --new-line-format='+%L' --unchanged-line-format='' "$1" "$2" || true
}

# cscript_check BITS NAME STATUS SCRIPT [ARGS...]: SCRIPT through the cscript
# of BITS (in a 64-bit prefix) prints $EXPECTED/NAME.txt and ends with STATUS.
cscript_check() {
  local bits=$1 name=$2 want=$3 got=$WORK/$1-$2.txt status=0
  shift 3
  if [ "$bits" = 32 ]; then
    w32 cscript //nologo "$@" >"$got.raw" 2>&1 || status=$?
  else
    w cscript //nologo "$@" >"$got.raw" 2>&1 || status=$?
  fi
  tr -d '\r' <"$got.raw" >"$got"
  diff -u "$EXPECTED/$name.txt" "$got" || fail "$bits-bit cscript: output differs from $name"
  [ "$status" = "$want" ] || fail "$bits-bit cscript: exit status $status, expected $want"
}
