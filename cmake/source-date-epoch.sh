#!/bin/sh
# Runs a command (the linker, wixl) with SOURCE_DATE_EPOCH set, so that the
# time stamps it writes are those of the source rather than of the build:
# the value given in the environment, else the time of the source tree's
# last commit, else 0 (a tree without its history).
#   source-date-epoch.sh SOURCE_DIR COMMAND [ARGS...]
#   source-date-epoch.sh SOURCE_DIR --touch FILE...   (gives the files that time)
src=$1
shift
if [ -z "${SOURCE_DATE_EPOCH:-}" ]; then
  SOURCE_DATE_EPOCH=$(git -C "$src" log -1 --format=%ct 2>/dev/null) || SOURCE_DATE_EPOCH=
  [ -n "$SOURCE_DATE_EPOCH" ] || SOURCE_DATE_EPOCH=0
fi
export SOURCE_DATE_EPOCH
if [ "$1" = --touch ]; then
  shift
  exec touch -h -d "@$SOURCE_DATE_EPOCH" "$@"
fi
exec "$@"
