#!/usr/bin/env bash
# Speed of libpelmora, the pelmora command and the Python module against
# their goals, from one run (after tools/test.sh has built build/native and
# build/python):
#   - a C call costs at most its calculation plus 10 ns;
#   - the command annotates >= 2 million CSV rows (two positions, distance
#     and bearing) per second per core, and a 1-million-contact ADIF log in
#     under a second;
#   - a Python call <= 5x an empty C-extension call, >= 20x faster than
#     pyhamtools; a NumPy batch <= 1.2x the C library's cost per element.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${BUILD_ROOT:-$root/build}
work=$build/bench-interfaces
mkdir -p "$work"
pin=(taskset -c 1)

echo "== libpelmora"
"${pin[@]}" "$build/native/capi/capi_bench" | tee "$work/capi.txt"
c_ns=$(awk '/^per-element distance_from/ {print $3}' "$work/capi.txt")

echo "== the pelmora command"
/usr/bin/python3 - "$work" <<'PY'
import random, sys
work = sys.argv[1]
r = random.Random(1)
with open(work + "/rows.csv", "w") as f:
    f.write("alat,alon,blat,blon\n")
    for _ in range(2000000):
        f.write("%.4f,%.4f,%.4f,%.4f\n" % (r.uniform(-85, 85), r.uniform(-179, 179),
                                          r.uniform(-85, 85), r.uniform(-179, 179)))
letters = "ABCDEFGHIJKLMNOPQR"
sub = "abcdefghijklmnopqrstuvwx"
def grid():
    return (r.choice(letters) + r.choice(letters) + str(r.randrange(10)) + str(r.randrange(10)) +
            r.choice(sub) + r.choice(sub))
with open(work + "/log.adi", "w") as f:
    f.write("Generated log\n<ADIF_VER:5>3.1.4\n<EOH>\n")
    for i in range(1000000):
        f.write("<CALL:6>DL%04d <QSO_DATE:8>20240101 <BAND:3>20m <MODE:3>FT8\n"
                "<GRIDSQUARE:6>%s <MY_GRIDSQUARE:6>%s <eor>\n" % (i % 10000, grid(), grid()))
PY
cpu() { # seconds of CPU (user + system) and of wall time of a command
  local start end
  start=$(date +%s.%N)
  /usr/bin/time -f "%U %S" -o "$work/time" "$@" >/dev/null
  end=$(date +%s.%N)
  read -r user system <"$work/time"
  echo "$(echo "$user + $system" | bc -l) $(echo "$end - $start" | bc -l)"
}
read -r csv_cpu csv_wall < <(cpu "${pin[@]}" "$build/native/cli/pelmora" batch \
  --from=alat,alon --to=blat,blon "$work/rows.csv")
read -r adif_cpu adif_wall < <(cpu "${pin[@]}" "$build/native/cli/pelmora" batch "$work/log.adi")
awk -v cpu="$csv_cpu" -v wall="$csv_wall" 'BEGIN {
  rate = 2000000 / cpu / 1e6
  printf "CSV rows per CPU second (millions)                      %10.2f   goal >= 2     %s  (%.2f s CPU, %.2f s wall)\n",
    rate, rate >= 2 ? "met" : "MISSED", cpu, wall }'
awk -v cpu="$adif_cpu" -v wall="$adif_wall" 'BEGIN {
  printf "1M-contact ADIF log, wall seconds                       %10.2f   goal < 1      %s  (%.2f s CPU)\n",
    wall, wall < 1 ? "met" : "MISSED", cpu }'

echo "== the Python module"
cc -shared -fPIC -O2 $(/usr/bin/python3-config --includes) "$root/python/bench/empty.c" \
  -o "$work/pelmora_empty$(/usr/bin/python3-config --extension-suffix)"
PYTHONPATH="$build/python/site:$work" "${pin[@]}" /usr/bin/python3 "$root/python/bench/bench.py" "$c_ns"
