#!/usr/bin/env python3
"""Makes a Windows Installer package that wixl wrote reproducible.

wixl stamps the summary information with the build time (creation and last
save) and with a random package code (the revision number). This rewrites
those three values in place: both times become SOURCE_DATE_EPOCH (the time
of the last commit, given by the caller), and the package code a name-based
UUID of the package's bytes with the three values blanked, so that the same
content always gets the same code and any other content another one.

    SOURCE_DATE_EPOCH=SECONDS msi_summary.py PACKAGE NAMESPACE

NAMESPACE is the UUID whose name-based UUIDs the package codes are (the
packages' upgrade code).

A package is a compound file; the summary information is its stream
"\\x05SummaryInformation", a property set. Only its bytes change, never its
length, so the file's structure stays as wixl wrote it.
"""
import hashlib
import os
import struct
import sys
import uuid

PID_REVNUMBER, PID_CREATE_DTM, PID_LASTSAVE_DTM = 9, 12, 13
VT_LPSTR, VT_FILETIME = 30, 64
END_OF_CHAIN = 0xFFFFFFFE


def chain(table, first):
    sector = first
    while sector != END_OF_CHAIN:
        yield sector
        sector = table[sector]


def stream_offsets(data, name):
    """The file offset of every byte of the named stream, in order."""
    sector_size = 1 << struct.unpack_from("<H", data, 30)[0]
    mini_size = 1 << struct.unpack_from("<H", data, 32)[0]
    (dir_start, mini_cutoff, minifat_start) = struct.unpack_from("<I4xII", data, 48)
    difat = list(struct.unpack_from("<109I", data, 76))
    (difat_start,) = struct.unpack_from("<I", data, 68)
    at = lambda sector: (sector + 1) * sector_size
    per_sector = sector_size // 4
    for sector in chain_difat(data, difat_start, at, per_sector):
        difat.extend(struct.unpack_from("<%dI" % (per_sector - 1), data, at(sector)))
    fat = []
    for sector in difat:
        if sector >= 0xFFFFFFFA:
            continue
        fat.extend(struct.unpack_from("<%dI" % per_sector, data, at(sector)))
    entries = []
    for sector in chain(fat, dir_start):
        for i in range(sector_size // 128):
            entries.append(at(sector) + 128 * i)

    def entry(offset):
        length = struct.unpack_from("<H", data, offset + 64)[0]
        entry_name = data[offset:offset + max(length - 2, 0)].decode("utf-16-le")
        start, size = struct.unpack_from("<II", data, offset + 116)
        return entry_name, start, size

    root_name, root_start, _ = entry(entries[0])
    for offset in entries:
        entry_name, start, size = entry(offset)
        if entry_name != name:
            continue
        if size >= mini_cutoff:
            sectors = list(chain(fat, start))
            return [at(sectors[i // sector_size]) + i % sector_size for i in range(size)]
        minifat = []
        for sector in chain(fat, minifat_start):
            minifat.extend(struct.unpack_from("<%dI" % per_sector, data, at(sector)))
        root_sectors = list(chain(fat, root_start))
        offsets = []
        for mini in chain(minifat, start):
            for byte in range(mini_size):
                position = mini * mini_size + byte
                offsets.append(at(root_sectors[position // sector_size]) + position % sector_size)
        return offsets[:size]
    sys.exit("msi_summary.py: no stream %r" % name)


def chain_difat(data, first, at, per_sector):
    sector = first
    while sector < 0xFFFFFFFA:
        yield sector
        (sector,) = struct.unpack_from("<I", data, at(sector) + 4 * (per_sector - 1))


def properties(stream):
    """(id, type, value offset) of each property of the first section."""
    (section_offset,) = struct.unpack_from("<I", stream, 44)
    (_, count) = struct.unpack_from("<II", stream, section_offset)
    for i in range(count):
        pid, offset = struct.unpack_from("<II", stream, section_offset + 8 + 8 * i)
        (vtype,) = struct.unpack_from("<I", stream, section_offset + offset)
        yield pid, vtype, section_offset + offset + 4


def main():
    if len(sys.argv) != 3 or not os.environ.get("SOURCE_DATE_EPOCH", "").isdigit():
        sys.exit("usage: SOURCE_DATE_EPOCH=SECONDS msi_summary.py PACKAGE NAMESPACE")
    path, namespace = sys.argv[1], uuid.UUID(sys.argv[2])
    epoch = int(os.environ["SOURCE_DATE_EPOCH"])
    data = bytearray(open(path, "rb").read())
    offsets = stream_offsets(data, "\x05SummaryInformation")
    stream = bytearray(data[i] for i in offsets)
    found = {}
    for pid, vtype, at in properties(stream):
        if pid in (PID_CREATE_DTM, PID_LASTSAVE_DTM) and vtype == VT_FILETIME:
            found[pid] = (at, 8)
        elif pid == PID_REVNUMBER and vtype == VT_LPSTR:
            (length,) = struct.unpack_from("<I", stream, at)
            if length != 39:
                sys.exit("msi_summary.py: a package code of %d bytes" % length)
            found[pid] = (at + 4, 38)
    if len(found) != 3:
        sys.exit("msi_summary.py: %s lacks a time or the package code" % path)

    def put(at, value):
        stream[at:at + len(value)] = value
        for i, b in zip(offsets[at:at + len(value)], value):
            data[i] = b

    # FILETIME: 100 ns units since 1601-01-01.
    filetime = struct.pack("<Q", (epoch + 11644473600) * 10000000)
    put(found[PID_CREATE_DTM][0], filetime)
    put(found[PID_LASTSAVE_DTM][0], filetime)
    put(found[PID_REVNUMBER][0], b"{" + b"0" * 36 + b"}")
    code = uuid.uuid5(namespace, hashlib.sha256(bytes(data)).hexdigest())
    put(found[PID_REVNUMBER][0], ("{%s}" % str(code).upper()).encode("ascii"))
    open(path, "wb").write(data)


if __name__ == "__main__":
    main()
