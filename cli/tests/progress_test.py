#!/usr/bin/python3
"""The progress line of `pelmora batch` through a pseudo-terminal.

On a terminal standard error gets one line rewritten in place (bytes read,
records done, their rate), erased at the end before the --stats summary;
with --quiet, or when standard error is no terminal, nothing; standard
output is the same byte for byte in every case.

    progress_test.py PELMORA
"""
import os
import pty
import subprocess
import sys
import threading
import time

pelmora = sys.argv[1]
ROWS = 200000
table = b"from,to\n" + b"JO62qm,FN20xq\n" * ROWS


def run(args, terminal):
    """Runs pelmora batch ARGS with the table coming through a pipe in two
    halves 0.8 s apart (so that the line is drawn); returns its output, what
    its standard error got, and its status."""
    if terminal:
        master, slave = pty.openpty()
        err = slave
    else:
        master, err = os.pipe()
    process = subprocess.Popen([pelmora, "batch", "--format=csv"] + args, stdin=subprocess.PIPE,
                               stdout=subprocess.PIPE, stderr=err)
    os.close(err)

    def feed():
        half = len(table) // 2
        process.stdin.write(table[:half])
        process.stdin.flush()
        time.sleep(0.8)
        process.stdin.write(table[half:])
        process.stdin.close()

    feeder = threading.Thread(target=feed)
    feeder.start()
    got = []

    def drain():
        while True:
            try:
                chunk = os.read(master, 65536)
            except OSError:  # the terminal's other end closed
                break
            if not chunk:
                break
            got.append(chunk)

    drainer = threading.Thread(target=drain)
    drainer.start()
    out = process.stdout.read()
    status = process.wait()
    feeder.join()
    drainer.join()
    os.close(master)
    return out, b"".join(got), status


failed = False


def check(ok, what):
    global failed
    if not ok:
        print("progress: " + what)
        failed = True


plain_out, plain_err, plain_status = run(["--stats"], terminal=False)
check(plain_status == 0, "status %d without a terminal" % plain_status)
summary = b"pelmora: %d read, %d annotated, 0 kept, 0 skipped for want of a locator, 0 failed" % (
    ROWS, ROWS)
check(plain_err == summary + b"\n", "without a terminal standard error got %r" % plain_err[:200])

out, err, status = run(["--stats"], terminal=True)
check(out == plain_out and status == 0, "the output differs on a terminal")
lines = err.split(b"\r")
drawn = [line for line in lines if line.startswith(b"pelmora: ") and b" records, " in line]
check(len(drawn) >= 1, "no progress line on a terminal: %r" % err[:300])
for line in drawn:
    fields = line.rstrip(b" ").split(b", ")
    check(fields[0].endswith(b" MiB") and fields[1].endswith(b" records") and
          fields[2].endswith(b"/s"), "a line without its fields: %r" % line)
# Erased (spaces over the longest line, then back to its start) before the
# summary, which stands alone on its line.
check(err.endswith(b"\r" + summary + b"\r\n"), "not erased before the summary: %r" % err[-300:])
width = max(len(line) for line in drawn)
check(b"\r" + b" " * width + b"\r" + summary in err, "the line not erased whole: %r" % err[-300:])

out, err, status = run(["--quiet"], terminal=True)
check(out == plain_out and err == b"", "--quiet on a terminal: %r" % err[:200])

out, err, status = run(["--progress"], terminal=False)
check(out == plain_out and b" records, " in err, "--progress without a terminal: %r" % err[:200])

if not failed:
    print("the progress line is drawn and erased as documented")
sys.exit(1 if failed else 0)
