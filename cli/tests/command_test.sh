#!/usr/bin/env bash
# The pelmora command as a user runs it: each subcommand's output, its
# messages and exit status, --help and --version.
#   command_test.sh PELMORA WORK_DIR
set -uo pipefail
pelmora=$1 work=$2
mkdir -p "$work"
failed=0
# expect STATUS STDOUT STDERR ARGS...: runs pelmora ARGS and compares.
expect() {
  local status=$1 out=$2 err=$3
  shift 3
  local got_out got_err got_status
  got_out=$("$pelmora" "$@" 2>"$work/err")
  got_status=$?
  got_err=$(head -n 1 "$work/err")
  if [ "$got_status" != "$status" ] || [ "$got_out" != "$out" ] || [ "$got_err" != "$err" ]; then
    echo "pelmora $*: got $got_status '$got_out' '$got_err', expected $status '$out' '$err'"
    failed=1
  fi
}
expect 0 JO62qm "" locator 52.5 13.4
expect 0 JO62qm "" locator 52.5,13.4
expect 0 QF56od "" locator -33.86 151.2
expect 0 JF96ec "" locator --slocator -33.9,18.4
# Every text the command prints as a locator reads back; a position off
# the grid has none.
expect 0 JS00aa "" locator 90 0
expect 0 4167.4385 "" distance JS00aa JO62qm
expect 0 6383.4517 "" distance 'JO62qm ' ' FN20xq'
# Locators of every precision, never shortened.
expect 0 7.094641 "" distance JO62qm00 JO62qm99
expect 0 7.451362 "" distance JO62qm00ax JO62qm99xx22
expect 0 5499.1973 "" distance JO FN
expect 1 "" "pelmora: 52.5,-1480 lies outside the grid (latitude -90 to 90, longitude -180 to 180)" \
  locator 52.5 -1480
expect 0 52.520832,13.375 "" centre JO62qm
expect 0 52.5,13 "" centre JO62
expect 0 52.522915,13.370833 "" centre JO62qm45
expect 0 296 "" bearing JO62qm FN20xq
expect 0 6383.4517 "" distance JO62qm FN20xq
expect 0 6383.4517 "" distance 52.520832,13.375 40.6875,-74.041664
expect 0 1e-08 "" arccos 1
expect 1 "" "pelmora: DistanceFrom: Floating-point error (error 513)" distance nan,0 1,1
expect 1 "" "pelmora: 'inf,0': Overflow (a number beyond single precision)" distance inf,0 1,1
expect 1 "" "pelmora: GridFromLatLong: Overflow (error 6)" locator 0 1e9
expect 2 "" "pelmora: 'XX' is neither LAT,LON nor a locator" bearing XX JO62
expect 2 "" "pelmora: unknown command 'nowhere'" nowhere
expect 2 "" "pelmora: batch: unknown result 'speed'" batch --add=speed
# Exit statuses: 2 a bad command line, 3 a file that cannot be opened, read
# or written (a directory included), each with its message.
expect 2 "" "pelmora: batch: unknown option '--nothing'" batch --nothing
expect 2 "" "pelmora: batch: --format needs a value" batch --format
expect 2 "" "pelmora: batch: --my-grid: 'XX' is not a locator" batch --my-grid XX
expect 2 "" "pelmora: batch: the bearing cannot be written to DISTANCE" batch --bearing-field=distance
expect 3 "" "pelmora: $work/none.csv: No such file or directory" batch "$work/none.csv"
expect 3 "" "pelmora: $work: Is a directory" batch "$work"
for args in --help --version "batch --help" "locator 1 2" "distance JO62 JO62"; do
  # shellcheck disable=SC2086
  "$pelmora" $args >/dev/full 2>"$work/err"
  status=$?
  [ $status = 3 ] && grep -q '^pelmora: write error: No space left on device$' "$work/err" ||
    { echo "pelmora $args >/dev/full: status $status, $(cat "$work/err")"; failed=1; }
done
expect 2 "" "pelmora: batch: 'A B' cannot be an ADIF field name" batch --bearing-field='A B'
expect 0 "pelmora 1.0.0" "" --version
# The options of the loggers' calls (their figures: cli_cases.py).
expect 2 "" "pelmora: locator: --characters takes 2, 4, 6, 8, 10 or 12, not '14'" locator --characters 14 1 2
expect 2 "" "pelmora: locator: --slocator and --characters exclude each other" locator -s -c 6 1 2
expect 0 JO62qm80aa "" locator -c 10 52.5,13.4
for command in locator centre bearing distance is-locator arccos batch; do
  "$pelmora" "$command" --help | grep -q "^Usage: pelmora $command" ||
    { echo "pelmora $command --help: no usage"; failed=1; }
done
"$pelmora" --help | grep -q "^Usage: pelmora COMMAND" || { echo "pelmora --help: no usage"; failed=1; }

# Batch from standard input, the format found from the content.
got=$(printf 'from\tto\nJO62qm\tFN20xq\n' | "$pelmora" batch --add=km,bearing)
[ "$got" = "$(printf 'from\tto\tkm\tbearing\nJO62qm\tFN20xq\t6383\t296')" ] ||
  { echo "TSV from standard input: $got"; failed=1; }
got=$(printf '<GRIDSQUARE:4>FN20<MY_GRIDSQUARE:4>JO62<EOR>\n' | "$pelmora" batch)
[ "$got" = "<GRIDSQUARE:4>FN20<MY_GRIDSQUARE:4>JO62<DISTANCE:4>6434 <APP_PELMORA_BEARING:3>296 <EOR>" ] ||
  { echo "ADIF from standard input: $got"; failed=1; }
# A log whose header reaches a pipe before the rest is still a log.
got=$({ printf 'Log\n'; sleep 0.2; printf '<EOH>\n<GRIDSQUARE:4>FN20<MY_GRIDSQUARE:4>JO62<EOR>\n'; } |
  "$pelmora" batch --add=km)
[ "$got" = "$(printf 'Log\n<EOH>\n<GRIDSQUARE:4>FN20<MY_GRIDSQUARE:4>JO62<DISTANCE:4>6434 <APP_PELMORA_BEARING:3>296 <EOR>')" ] ||
  { echo "ADIF through a pipe in pieces: $got"; failed=1; }
# Options as GNU programs take them: a value in the next word, and "--"
# before a file whose name begins with "-".
printf '<GRIDSQUARE:4>FN20<MY_GRIDSQUARE:4>JO62<EOR>\n' >"$work/--log"
got=$(cd "$work" && "$pelmora" batch --format adif --add km -- --log)
[ "$got" = "<GRIDSQUARE:4>FN20<MY_GRIDSQUARE:4>JO62<DISTANCE:4>6434 <APP_PELMORA_BEARING:3>296 <EOR>" ] ||
  { echo "--format adif -- --log: $got"; failed=1; }
# A summary on request; the output file being the input is refused, the
# file left as it was.
printf 'from,to\nJO62qm,FN20xq\nJO62qm,\n' >"$work/t.csv"
"$pelmora" batch --stats "$work/t.csv" 2>"$work/err" >/dev/null
[ "$(tail -n 1 "$work/err")" = "pelmora: 2 read, 1 annotated, 0 kept, 0 skipped for want of a locator, 1 failed" ] ||
  { echo "--stats: $(cat "$work/err")"; failed=1; }
cp "$work/t.csv" "$work/copy.csv"
"$pelmora" batch "$work/t.csv" >>"$work/t.csv" 2>"$work/err"
status=$?
[ $status = 3 ] && cmp -s "$work/t.csv" "$work/copy.csv" &&
  [ "$(cat "$work/err")" = "pelmora: $work/t.csv: the input file is the output file" ] ||
  { echo "batch f.csv >> f.csv: status $status, $(cat "$work/err")"; failed=1; }
# Out of memory (an unfinished quoted cell under a raised record limit):
# exit 1 with a message, the rows before it written. Skipped where the
# address space cannot be limited (a sanitizer's build).
if (ulimit -v 100000 && "$pelmora" --version >/dev/null 2>&1); then
  { printf 'from,to\nJO62qm,FN20xq\n"'; head -c 300000000 /dev/zero; } |
    (ulimit -v 100000 && "$pelmora" batch --max-record=1G >"$work/out" 2>"$work/err")
  status=$?
  [ $status = 1 ] && [ "$(cat "$work/out")" = "$(printf 'from,to,distance,bearing\nJO62qm,FN20xq,6383.4517,296')" ] &&
    grep -q '^pelmora: -: out of memory' "$work/err" ||
    { echo "out of memory: status $status, $(cat "$work/err")"; failed=1; }
fi
# The file's name decides the format before its content does: this table
# named as a log has no record to annotate.
printf 'from,to\nJO62qm,FN20xq\n' >"$work/table.adi"
got=$("$pelmora" batch "$work/table.adi")
[ "$got" = "$(printf 'from,to\nJO62qm,FN20xq')" ] || { echo "format from the name: $got"; failed=1; }
[ $failed = 0 ] && echo "the command behaves as documented"
exit $failed
