#!/usr/bin/python3
"""The loggers' cases (tests/cases/loggers.tsv) through the pelmora command.

Each case becomes the command a user types: `locator --characters=N`,
`distance` and `bearing` with and without `--long-path` between two
locators or two positions, `is-locator`. A float result must be printed as
the shortest decimal that reads back (through C's correctly rounding
strtof) as the table's bits; a failure must print nothing, exit with 1 (a
failed calculation, its error number on standard error) or 2 (a locator
that is none, a count of characters the option refuses). The decoding and
long-path-only cases have no command of their own and are counted apart.

    cli_cases.py PELMORA LOGGERS_TSV
"""
import ctypes
import struct
import subprocess
import sys

libc = ctypes.CDLL(None)
libc.strtof.restype = ctypes.c_float
libc.strtof.argtypes = [ctypes.c_char_p, ctypes.c_void_p]


def bits_of(text):
    return struct.unpack("<I", struct.pack("<f", libc.strtof(text.encode(), None)))[0]


def shortest_digits(bits):
    """The fewest significant digits of a decimal that reads back as `bits`."""
    value = struct.unpack("<f", struct.pack("<I", bits))[0]
    for digits in range(1, 10):
        if bits_of("%.*e" % (digits - 1, value)) == bits:
            return digits
    raise AssertionError("no decimal for %08X" % bits)


def significant(text):
    mantissa = text.lower().split("e")[0].lstrip("+-").replace(".", "")
    return max(len(mantissa.strip("0")), 1)


def main():
    pelmora, table = sys.argv[1], sys.argv[2]
    failures, replayed, apart = [], 0, 0

    def expect(args, exit, out, note, said=b"pelmora: "):
        nonlocal replayed
        replayed += 1
        got = subprocess.run([pelmora] + args, capture_output=True)
        text = got.stdout.decode("utf-8", "replace").rstrip("\n")
        if isinstance(out, int):  # a float's bits
            good = got.returncode == 0 and bits_of(text) == out and \
                significant(text) == shortest_digits(out)
        else:
            good = got.returncode == exit and text == out
        if good and exit != 0 and said not in got.stderr:
            good = False
        if not good:
            failures.append("pelmora %s (%s): exit %d, printed %r, said %r; expected exit %d, %s"
                            % (" ".join(repr(a) for a in args), note, got.returncode, text,
                               got.stderr.decode(errors="replace").strip(), exit,
                               "%08X" % out if isinstance(out, int) else repr(out)))

    def path(places, status, results, note):
        distance, bearing, long_distance, long_bearing = (int(r, 16) for r in results)
        # A part failed when its long counterpart is 0 too: a successful
        # distance has a long one of 20002 km or more, a bearing of 0 one of 180.
        distance_failed = status != 0 and long_distance == 0
        bearing_failed = status != 0 and long_bearing == 0 and bearing == 0
        failed_exit = 2 if status == -3 else 1
        for command, short, long_, failed in (("distance", distance, long_distance, distance_failed),
                                              ("bearing", bearing, long_bearing, bearing_failed)):
            for option, value in (([], short), (["--long-path"], long_)):
                if failed:
                    expect([command] + option + ["--"] + places, failed_exit, "", note,
                           b"(error %d)" % status if status > 0 else b"pelmora: ")
                else:
                    expect([command] + option + ["--"] + places, 0, value, note)

    with open(table, encoding="utf-8") as f:
        for line in f:
            line = line.rstrip("\n")
            if not line or line.startswith("#"):
                continue
            fields = line.split("\t")
            call, note = fields[0], fields[-1]
            if call == "locator":
                lat, lon, characters, status, result = fields[1:6]
                exit = 0 if status == "0" else 1 if characters in ("2", "4", "6", "8", "10", "12") \
                    else 2
                if status == "0" or exit == 1:
                    expect(["locator", "--characters=" + characters, "--", lat, lon], exit,
                           result, note)
                else:
                    expect(["locator", "--characters=" + characters, "--", lat, lon], 2, "", note)
            elif call == "is_locator":
                text, status, characters = fields[1:4]
                expect(["is-locator", "--", text], 0 if status == "0" else 1, characters, note, b"")
            elif call == "grid_path":
                path(fields[1:3], int(fields[3]), fields[4:8], note)
            elif call == "position_path":
                places = [fields[1] + "," + fields[2], fields[3] + "," + fields[4]]
                path(places, int(fields[5]), fields[6:10], note)
            elif call in ("cell", "long_path_distance", "long_path_bearing"):
                apart += 1
            else:
                failures.append("unknown call " + call)
    for failure in failures:
        print(failure)
    print("%d commands replayed, %d failed; %d decoding or long-path-only cases have no command"
          % (replayed, len(failures), apart))
    if replayed == 0:
        failures.append("no case")
    sys.exit(1 if failures else 0)


if __name__ == "__main__":
    main()
