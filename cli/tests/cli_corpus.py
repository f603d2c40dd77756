#!/usr/bin/python3
"""The corpus through the pelmora command's batch mode.

Runs corpus_dump, turns its calls into CSV tables (one per kind of call),
runs `pelmora batch` over each and requires, row by row, the corpus's
result: a float written as the shortest decimal that reads back (through a
correctly rounding float reader) as the corpus's bits, any NaN for a NaN, a
text as its characters, and a failure as an empty cell with the failure's
error number on standard error.

The command reads numbers as Automation converts them, so calls with an
infinite input (an overflow there) or a signalling NaN (which no decimal
text gives) cannot be made through it; they are counted and left out.

    cli_corpus.py CORPUS_DUMP PELMORA WORK_DIR
"""
import csv
import ctypes
import io
import os
import re
import struct
import subprocess
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tests", "corpus"))
from corpus_text import text_units  # noqa: E402

ERROR_INDEX = {"6": 1, "513": 2, "5": 3}  # corpus_dump's numbers of the errors
libc = ctypes.CDLL(None)
libc.strtof.restype = ctypes.c_float
libc.strtof.argtypes = [ctypes.c_char_p, ctypes.c_void_p]


def bits_of(text):
    """A written float as its bits, read with C's correctly rounding strtof."""
    return struct.unpack("<I", struct.pack("<f", libc.strtof(text.encode(), None)))[0]


def exact(bits):
    """The decimal of a float's value exactly as a double (read back exactly)."""
    if bits == 0x7FC00000:
        return "nan"
    return repr(struct.unpack("<f", struct.pack("<I", bits))[0])


def passable(bits):
    """Whether a text can hand the command these bits."""
    magnitude = bits & 0x7FFFFFFF
    return magnitude < 0x7F800000 or bits == 0x7FC00000


def show(units):
    out = '"'
    for u in units:
        out += chr(u) if 0x20 <= u < 0x7F else "\\u%04X" % u
    return out + '"'


def parse_show(text):
    return text_units(text)


def run(pelmora, work, name, header, rows, options):
    """Runs the batch over a table; returns its rows and {line: {column: error}}."""
    path = os.path.join(work, name + ".csv")
    with open(path, "w", newline="", encoding="utf-8", errors="surrogatepass") as f:
        writer = csv.writer(f, lineterminator="\n")
        writer.writerow(header)
        writer.writerows(rows)
    result = subprocess.run([pelmora, "batch", "--format=csv"] + options + [path],
                            capture_output=True)
    if result.returncode not in (0, 1):
        sys.exit("pelmora batch failed: %s" % result.stderr.decode(errors="replace"))
    table = list(csv.reader(io.StringIO(result.stdout.decode("utf-8"), newline="")))
    errors = {}
    for line in result.stderr.decode().splitlines():
        m = re.fullmatch(r"pelmora: .*:(\d+): (\w+): .*\(error (\d+)\)", line)
        if not m:
            sys.exit("unexpected message: " + line)
        errors.setdefault(int(m.group(1)), {})[m.group(2)] = ERROR_INDEX[m.group(3)]
    return table[1:], errors


def number(cell, error, expected_error, expected_bits):
    """Whether a number cell and its error agree with the corpus."""
    if expected_error != 0:
        return cell == "" and error == expected_error
    if cell == "" or error is not None:
        return False
    if cell in ("nan", "-nan"):
        return (expected_bits & 0x7FFFFFFF) > 0x7F800000
    return bits_of(cell) == expected_bits


def main():
    dump, pelmora, work = sys.argv[1:4]
    os.makedirs(work, exist_ok=True)
    corpus = os.path.join(work, "native.txt")
    subprocess.run([dump, corpus], check=True)
    pairs, arcs, codes, grids = [], [], [], []
    skipped = 0
    with open(corpus) as f:
        for line in f:
            head, _, tail = line.rstrip("\n").rpartition(" -> ")
            words = head.split(" ")
            if words[0] in ("azimut", "distance", "arccos", "sLocator", "GridFromLatLong"):
                inputs = [int(w, 16) for w in words[1:]]
                if not all(passable(b) for b in inputs):
                    skipped += 1
                    continue
            results = tail.split(" ")
            if words[0] == "azimut":
                pairs.append((inputs, "bearing", int(results[0]), int(results[1], 16)))
            elif words[0] == "distance":
                pairs.append((inputs, "distance", int(results[0]), int(results[1], 16)))
            elif words[0] == "arccos":
                arcs.append((inputs, int(results[0]), int(results[1], 16)))
            elif words[0] in ("sLocator", "GridFromLatLong"):
                kind = "slocator" if words[0] == "sLocator" else "locator"
                text = None if results[1] == "<null>" else parse_show(tail.split(" ", 1)[1])
                codes.append((inputs, kind, int(results[0]), text))
            elif words[0] == "decode":
                grids.append((parse_show(head[len("decode "):]), [int(r, 16) if len(r) == 8 else int(r)
                                                                   for r in results]))
    bad = []

    # Distances and bearings: each call of the corpus is one row with both.
    rows = [[exact(b) for b in inputs] for inputs, _, _, _ in pairs]
    table, errors = run(pelmora, work, "pairs", ["alat", "alon", "blat", "blon"], rows,
                        ["--from=alat,alon", "--to=blat,blon", "--add=distance,bearing"])
    for i, (inputs, kind, error, bits) in enumerate(pairs):
        cell = table[i][4 if kind == "distance" else 5]
        got = errors.get(i + 2, {}).get(kind)
        if not number(cell, got, error, bits):
            bad.append("%s %s: %s %s" % (kind, inputs, cell, got))

    table, errors = run(pelmora, work, "arccos", ["x"], [[exact(x[0][0])] for x in arcs],
                        ["--add=arccos"])
    for i, (inputs, error, bits) in enumerate(arcs):
        if not number(table[i][1], errors.get(i + 2, {}).get("arccos"), error, bits):
            bad.append("arccos %s: %s" % (inputs, table[i][1]))

    rows = [[exact(inputs[0]), exact(inputs[1])] for inputs, _, _, _ in codes]
    table, errors = run(pelmora, work, "codes", ["lat", "lon"], rows,
                        ["--from=lat,lon", "--add=locator,slocator"])
    for i, (inputs, kind, error, text) in enumerate(codes):
        cell = table[i][2 if kind == "locator" else 3]
        got = errors.get(i + 2, {}).get(kind)
        units = list(cell.encode("utf-16-le", "surrogatepass"))
        units = [units[k] | units[k + 1] << 8 for k in range(0, len(units), 2)]
        ok = (cell == "" and got == error) if error else (got is None and units == text)
        if not ok:
            bad.append("%s %s: %r %s" % (kind, inputs, cell, got))

    rows = [["".join(map(chr, units))] for units, _ in grids]
    table, errors = run(pelmora, work, "grids", ["grid"], rows, ["--from=grid", "--add=lat,lon"])
    for i, (units, r) in enumerate(grids):
        line = errors.get(i + 2, {})
        if not (number(table[i][1], line.get("lat"), r[0], r[1]) and
                number(table[i][2], line.get("lon"), r[2], r[3])):
            bad.append("decode %s: %s" % (show(units), table[i][1:]))

    total = len(pairs) + len(arcs) + len(codes) + len(grids)
    if bad:
        print("%d of %d results differ through the command:" % (len(bad), total))
        print("\n".join(bad[:20]))
        sys.exit(1)
    print("%d results identical through the command's batch mode (%d calls with an infinite "
          "input or a signalling NaN left out)" % (total, skipped))


main()
