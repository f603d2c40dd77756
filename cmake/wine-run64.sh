#!/usr/bin/env bash
# cmake/wine-run.sh in a 64-bit prefix, as one command for the tests of the
# 64-bit edition:  wine-run64.sh PREFIX PROGRAM [ARGS...]
exec "$(dirname "${BASH_SOURCE[0]}")/wine-run.sh" --win64 "$@"
