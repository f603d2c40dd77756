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
#   wine-run.sh [--win64] PREFIX --start-server DESKTOP_USER
#   wine-run.sh [--win64] PREFIX --stop-server
# start and stop the prefix's Wine server around a run of tests. Left to
# itself, Debian's loader starts the server with no idle time (-p0): it closes
# its socket the moment the last program of the prefix ends, and a program
# whose connection is waiting at that moment is dropped before it runs ("wine
# client error:0: recvmsg: Connection reset by peer"). Tests run in parallel
# start programs just as others end, so a test run keeps one server per prefix
# from its first program to its last. Stopping fails if that server has
# already gone. A run cut short leaves the server and its processes running
# until the next start in the same prefix, or `WINEPREFIX=PREFIX wineserver
# -k`.
#
# Two kinds of Wine process live as long as the session, and each keeps the
# standard error of the program that started it open (CTest reads a test's
# output to its end): the services, started by the session's first program,
# and the desktop (explorer.exe), started by the first program that makes a
# window and ended one second after the last such program. DESKTOP_USER
# (tests/wine/desktop_user.cpp, of the prefix's bitness) is that first
# program: it makes a window and waits until the server's stop ends it, its
# standard error on a log beside the prefix. It prints "ready" once it has its
# window and the service control manager answers; if Wine failed to start the
# services it ends instead (else the next program would start them with its
# own output), and the session starts again, at most twice more. The stop
# test then still fails if all three attempts did.
#
# Every start prints how many attempts it took and adds that number to
# PREFIX.session-starts. A start fails, even when its session runs, once more
# than two of the last twenty starts in the prefix needed a second attempt:
# a rise in Wine's failures is then looked into, not retried away (remove
# that file to start the count afresh).
set -euo pipefail
arch=win32
if [ "${1:-}" = "--win64" ]; then
  arch=win64
  shift
fi
prefix=$1
shift
export WINEPREFIX=$prefix WINEARCH=$arch WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
if [ "${1:-}" = --stop-server ]; then
  # Ends the server and whatever still runs in the prefix, and waits for it;
  # the registry is saved to the prefix's files on the way.
  wineserver -k && exit 0
  echo "the Wine server of $prefix had already ended" >&2
  exit 1
fi
mkdir -p "$(dirname "$prefix")"
(
  flock 9
  if [ ! -f "$prefix/system.reg" ]; then
    wineboot -i >/dev/null 2>&1
    wineserver -w
  fi
) 9>"$prefix.lock"
if [ "${1:-}" = --start-server ]; then
  desktop_user=${2:?"--start-server needs the desktop user program"}
  log=$prefix.server.log
  ready=$prefix.desktop-user
  runner=("$0")
  [ "$arch" = win64 ] && runner+=(--win64)
  : >"$log"
  # A session: the server, then the desktop user.
  start_session() {
    # No second server can start beside a running one, which may be an
    # idle-less one, one left by a run cut short or a failed attempt: end it.
    wineserver -k >/dev/null 2>&1 || true
    rm -f "$ready"
    # Debian's wineserver script passes -p0 before our options, and the last
    # -p counts: no idle time limit. The server runs in the background.
    wineserver -p </dev/null >>"$log" 2>&1 || return 1
    setsid "${runner[@]}" "$prefix" "$desktop_user" </dev/null >"$ready" 2>>"$log" &
    local user=$! tick
    for tick in $(seq 600); do
      grep -q "^ready" "$ready" 2>/dev/null && return 0
      kill -0 "$user" 2>/dev/null || return 1
      [ "$tick" -lt 600 ] && sleep 0.1
    done
    return 1
  }
  # Each failed attempt shows what it wrote to the log.
  for attempt in 1 2 3; do
    shown=$(wc -c <"$log")
    if start_session; then
      history=$prefix.session-starts
      echo "$attempt" >>"$history"
      repeated=$(tail -n 20 "$history" | grep -cvx 1 || true)
      echo "the Wine session of $prefix started at attempt $attempt of 3;" \
        "$repeated of the last $(tail -n 20 "$history" | wc -l) starts needed more than one"
      [ "$repeated" -le 2 ] && exit 0
      echo "more than 2 of the last 20 session starts needed a second attempt:" \
        "find out why (then remove $history)" >&2
      exit 1
    fi
    echo "the Wine session of $prefix did not start (attempt $attempt of 3):" >&2
    tail -c +$((shown + 1)) "$log" >&2
  done
  echo 3 >>"$prefix.session-starts"
  wineserver -k >/dev/null 2>&1 || true
  exit 1
fi
wine64=/usr/lib/wine/wine64
# The system folder and loader of a tool given by name.
if [ "$arch" = win32 ]; then
  folder=system32 loader=wine
elif [ "${PELMORA_WINE_BITS:-64}" = 32 ]; then
  folder=syswow64 loader=wine
else
  folder=system32 loader=$wine64
fi
# A tool given by name runs from its full path: named alone, Wine's loader
# runs start.exe, which starts the tool as a second process.
case $1 in
  *[\\/:.]*) ;;
  *)
    if [ -f "$prefix/drive_c/windows/$folder/$1.exe" ]; then
      tool="C:\\windows\\$folder\\$1.exe"
      shift
      exec "$loader" "$tool" "$@"
    fi
    ;;
esac
[ "$arch" = win32 ] && exec wine "$@"

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
exec "$loader" "$@"
