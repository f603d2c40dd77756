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
#
#   wine-run.sh [--win64] PREFIX --start-server
#   wine-run.sh [--win64] PREFIX --stop-server
# start and stop the prefix's Wine server around a run of tests. Left to
# itself, Debian's loader starts the server with no idle time (-p0): it closes
# its socket the moment the last program of the prefix ends, and a program
# whose connection is waiting at that moment is dropped before it runs ("wine
# client error:0: recvmsg: Connection reset by peer"). Tests run in parallel
# start programs just as others end, so a test run keeps one server per prefix
# from its first program to its last. Stopping fails if that server has
# already gone.
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
case ${1:-} in
  --start-server)
    # A server left by an interrupted run may be the idle-less kind: end it.
    wineserver -k >/dev/null 2>&1 || true
    # Started in the background with no idle time limit (the last -p given
    # counts); its output goes to a file beside the prefix, so that it holds
    # none of the caller's.
    wineserver -p </dev/null >"$prefix.server.log" 2>&1 || {
      cat "$prefix.server.log" >&2
      exit 1
    }
    # The first program of a session starts Wine's services, and the first
    # window the desktop (explorer.exe); each holds on to the standard error
    # of the program that started it for as long as the server runs, and
    # CTest reads a test's output to its end. rundll32 without arguments makes
    # a window and ends: both start here, writing to the log.
    runner=("$0")
    [ "$arch" = win64 ] && runner+=(--win64)
    "${runner[@]}" "$prefix" rundll32 </dev/null >>"$prefix.server.log" 2>&1
    exit 0
    ;;
  --stop-server)
    # Ends the server and whatever still runs in the prefix, and waits for it;
    # the registry is saved to the prefix's files on the way.
    wineserver -k && exit 0
    echo "the Wine server of $prefix had already ended" >&2
    exit 1
    ;;
esac
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
