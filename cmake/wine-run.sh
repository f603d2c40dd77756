#!/usr/bin/env bash
# Runs a cross-built Windows program under Wine in a private 32-bit prefix:
#   wine-run.sh PREFIX PROGRAM [ARGS...]
# The prefix is created on first use; concurrent first uses wait for it.
set -euo pipefail
prefix=$1
shift
export WINEPREFIX=$prefix WINEARCH=win32 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
mkdir -p "$(dirname "$prefix")"
(
  flock 9
  if [ ! -f "$prefix/system.reg" ]; then
    wineboot -i >/dev/null 2>&1
    wineserver -w
  fi
) 9>"$prefix.lock"
exec wine "$@"
