#!/usr/bin/env bash
# Builds the libFuzzer targets of the calculations and of the pelmora
# command's table and log readers and options (fuzz/, cli/fuzz/; clang 14 with
# AddressSanitizer and UndefinedBehaviorSanitizer) and runs each for SECONDS
# (default 20), two at a time, from the checked-in seeds in fuzz/corpus.
# Inputs found on the way collect in build/fuzz/corpus (kept between runs);
# a broken promise stops its target with the failing input saved beside it.
#   tools/fuzz.sh [SECONDS] [TARGET...]     e.g. tools/fuzz.sh 3600 distance
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${BUILD_ROOT:-$root/build}/fuzz
seconds=${1:-20}
shift || true
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(encoding decoding bearing distance csv adif options)

command -v clang++-14 >/dev/null ||
  { echo "fuzz: clang++-14 is missing: install Debian's clang-14 (tools/setup.sh installs it)" >&2; exit 1; }
cmake -S "$root/fuzz" -B "$build" -DCMAKE_CXX_COMPILER=clang++-14 >/dev/null
cmake --build "$build" -j"${JOBS:-$(nproc)}"

run() {
  local name=$1
  mkdir -p "$build/corpus/$name" "$build/crashes/$name"
  # A calculation reads a few numbers or units; a table or a log needs room,
  # beyond the least record limit (4096 bytes) so that long records pass in
  # pieces.
  local max_len=64
  case $name in csv | adif) max_len=12288 ;; options) max_len=256 ;; esac
  if "$build/${name}_fuzz" -max_total_time="$seconds" -max_len=$max_len -print_final_stats=1 \
      -artifact_prefix="$build/crashes/$name/" "$build/corpus/$name" "$root/fuzz/corpus/$name" \
      >"$build/$name.log" 2>&1; then
    echo "$name: $(grep -o 'stat::number_of_executed_units: *[0-9]*' "$build/$name.log" |
      grep -o '[0-9]*$') inputs, no broken promise"
  else
    echo "$name: FAILED"; grep -A4 'broken\|ERROR' "$build/$name.log" | head -20
    return 1
  fi
}

status=0
pids=()
for name in "${targets[@]}"; do
  run "$name" & pids+=($!)
  # Two at a time.
  if [ ${#pids[@]} -ge 2 ]; then wait "${pids[0]}" || status=1; pids=("${pids[@]:1}"); fi
done
for pid in "${pids[@]}"; do wait "$pid" || status=1; done
exit $status
