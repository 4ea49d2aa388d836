#!/usr/bin/env python3
"""Reads a one-member stored RAR 2.9 archive field by field and checks it
against the member's bytes, computing every CRC with zlib on its own.
Usage: check-rar.py ARCHIVE MEMBER_NAME MEMBER_FILE
Prints one line per failed check; exits 1 when any failed."""
import struct
import sys
import zlib

archive_path, name, member_path = sys.argv[1], sys.argv[2].encode(), sys.argv[3]
arc = open(archive_path, "rb").read()
data = open(member_path, "rb").read()
failures = []


def check(what, got, want):
    if got != want:
        failures.append(f"{what}: got {got!r}, want {want!r}")


def header(off, what):
    """Common fields of the block at off, with its CRC checked."""
    if off + 7 > len(arc):
        failures.append(f"{what}: cut short at {off}")
        raise SystemExit(report())
    crc, typ, flags, size = struct.unpack_from("<HBHH", arc, off)
    check(f"{what} HEAD_CRC", crc, zlib.crc32(arc[off + 2:off + size]) & 0xFFFF)
    return typ, flags, size


def report():
    for f in failures:
        print("FAIL", f)
    return 1 if failures else 0


check("marker", arc[:7], b"Rar!\x1a\x07\x00")
off = 7
typ, flags, size = header(off, "archive header")
check("archive header type", typ, 0x73)
check("archive header size", size, 13)
check("archive header reserved", arc[off + 7:off + 13], bytes(6))
off += size
typ, flags, size = header(off, "file header")
check("file header type", typ, 0x74)
check("file header flags", flags, 0x8000)
(pack, unp, host, crc, ftime, ver, method, nlen, attr) = struct.unpack_from("<IIBIIBBHI", arc, off + 7)
check("file header size", size, 32 + len(name))
check("PACK_SIZE", pack, len(data))
check("UNP_SIZE", unp, len(data))
check("HOST_OS", host, 2)
check("FILE_CRC", crc, zlib.crc32(data))
check("DOS time month", 1 <= (ftime >> 21 & 15) <= 12, True)
check("UNP_VER", ver, 29)
check("METHOD", method, 0x30)
check("NAME", arc[off + 32:off + 32 + nlen], name)
check("ATTR", attr, 0x20)
off += size
check("member bytes", arc[off:off + pack] == data, True)
off += pack
typ, flags, size = header(off, "end block")
check("end block", arc[off:off + size], bytes([0xC4, 0x3D, 0x7B, 0x00, 0x40, 0x07, 0x00]))
check("archive length", len(arc), off + 7)
sys.exit(report())
