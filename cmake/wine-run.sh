#!/usr/bin/env bash
# Runs a Windows program under Wine in a private prefix:
#   wine-run.sh [--win64] PREFIX PROGRAM [ARGS...]
# Without --win64 the prefix is a 32-bit one (WINEARCH=win32). With --win64
# it is a 64-bit one (WINEARCH=win64): C:\windows\system32 holds the 64-bit
# tools, C:\windows\syswow64 the 32-bit ones. /usr/bin/wine always starts the
# 32-bit loader, and a 32-bit process naming system32 is sent to syswow64, so
# in a 64-bit prefix the loader is chosen here:
#   - a program given as a file (by its Unix path, or a Windows path on drive
#     Z: or C:) runs with the loader of its own bitness, read from its PE
#     header;
#   - a program given by name (regsvr32, cscript, reg, msiexec, ...) runs as
#     the 64-bit tool from system32, or as the 32-bit one from syswow64 when
#     PELMORA_WINE_BITS=32.
# The prefix is created on first use; concurrent first uses wait for it.
set -euo pipefail
arch=win32
if [ "${1:-}" = "--win64" ]; then
  arch=win64
  shift
fi
prefix=$1
shift
export WINEPREFIX=$prefix WINEARCH=$arch WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
mkdir -p "$(dirname "$prefix")"
(
  flock 9
  if [ ! -f "$prefix/system.reg" ]; then
    wineboot -i >/dev/null 2>&1
    wineserver -w
  fi
) 9>"$prefix.lock"
[ "$arch" = win32 ] && exec wine "$@"

wine64=/usr/lib/wine/wine64
# The machine field of a PE file's header: 8664 for x86_64, 014c for i386.
pe_machine() {
  local offset
  offset=$(od -An -tu4 -j60 -N4 "$1" | tr -d ' ')
  od -An -tx2 -j$((offset + 4)) -N2 "$1" | tr -d ' '
}
# The Unix file of a program named by a Windows path on drive Z: (the Unix
# root) or C: (the prefix's drive_c).
program=$1
case $program in
  [Zz]:\\*) program=${program:2} program=${program//\\//} ;;
  [Cc]:\\*) program=${program:3} program=$prefix/drive_c/${program//\\//} ;;
esac
if [ -f "$program" ]; then
  case $(pe_machine "$program") in
    8664) exec "$wine64" "$@" ;;
    *) exec wine "$@" ;;
  esac
fi
if [ "${PELMORA_WINE_BITS:-64}" = 32 ]; then
  exec wine "$@"
fi
exec "$wine64" "$@"
