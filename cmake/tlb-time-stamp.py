#!/usr/bin/env python3
"""Gives a type library written by widl the time of the source.

widl records when it ran in two custom data items of the library: the text
"Created by WIDL version V at <ctime>" and the same time as a 32-bit number
of seconds. Both are rewritten in place with SOURCE_DATE_EPOCH (the time of
the last commit, see source-date-epoch.sh), the text in UTC, so that the same
IDL gives the same type library wherever and whenever it is compiled.

    SOURCE_DATE_EPOCH=SECONDS tlb-time-stamp.py LIBRARY.tlb
"""
import calendar
import os
import re
import struct
import sys
import time


def main():
    epoch = os.environ.get("SOURCE_DATE_EPOCH", "")
    if len(sys.argv) != 2 or not epoch.isdigit():
        sys.exit("usage: SOURCE_DATE_EPOCH=SECONDS tlb-time-stamp.py LIBRARY.tlb")
    path, epoch = sys.argv[1], int(epoch)
    data = bytearray(open(path, "rb").read())
    texts = list(re.finditer(rb"Created by WIDL version [^ ]+ at ([A-Z][a-z]{2} [A-Z][a-z]{2} [ 0-9]\d "
                             rb"\d\d:\d\d:\d\d \d{4})", data))
    if len(texts) != 1:
        sys.exit("tlb-time-stamp.py: %s: %d texts of widl's time, expected one" % (path, len(texts)))
    text = texts[0]
    written = text.group(1).decode("ascii")
    # widl's ctime is local time; the number is the same instant.
    local = int(time.mktime(time.strptime(written, "%a %b %d %H:%M:%S %Y")))
    utc = calendar.timegm(time.strptime(written, "%a %b %d %H:%M:%S %Y"))
    numbers = [m.start() for t in {local, utc} for m in re.finditer(re.escape(struct.pack("<I", t)), data)]
    if len(numbers) != 1:
        sys.exit("tlb-time-stamp.py: %s: %d numbers of widl's time, expected one" % (path, len(numbers)))
    data[text.start(1):text.end(1)] = time.asctime(time.gmtime(epoch)).encode("ascii")
    data[numbers[0]:numbers[0] + 4] = struct.pack("<I", epoch)
    open(path, "wb").write(data)


if __name__ == "__main__":
    main()
