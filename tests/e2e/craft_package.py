#!/usr/bin/env python3
"""Writes installer packages byte by byte, including deliberately broken ones that
fernpack refuses to make: unsafe names, truncated archives, impossible archive starts.

usage: craft_package.py STUB OUT ENTRY... [--truncate N] [--start N]
  ENTRY is file:NAME=TEXT (stored as one zlib stream), folder:NAME, or
  rawfile:NAME=TEXT:PACKED (the stream followed by PACKED extra bytes counted in its size).
  NAME is UTF-8 and stored as Shift-JIS; write backslashes as \\.
"""
import struct
import sys
import zlib

FILETIME_2007 = 0x01C80052614FD800  # 2007-09-26 15:32:00 UTC


def entry(kind, description):
    if kind == "folder":
        name = description.encode("cp932") + b"\0"
        return struct.pack("<H", len(name)) + name + struct.pack("<II", 0xFFFFFFFF, 0)
    name, _, text = description.partition("=")
    extra = b""
    if kind == "rawfile":
        text, _, packed_extra = text.rpartition(":")
        extra = b"\0" * int(packed_extra)
    data = text.encode("cp932")
    stream = zlib.compress(data, 9) + extra
    raw = name.encode("cp932") + b"\0"
    return (struct.pack("<H", len(raw)) + raw + struct.pack("<II", len(data), len(stream)) +
            struct.pack("<Q", FILETIME_2007) + stream)


def main(argv):
    stub_path, out_path = argv[0], argv[1]
    truncate, start_override = 0, None
    body = b""
    args = argv[2:]
    i = 0
    while i < len(args):
        a = args[i]
        if a == "--truncate":
            truncate = int(args[i + 1]); i += 2; continue
        if a == "--start":
            start_override = int(args[i + 1]); i += 2; continue
        kind, _, description = a.partition(":")
        body += entry(kind, description)
        i += 1
    stub = open(stub_path, "rb").read()
    archive = body + b"\0\0" + b"\0\0"
    if truncate:
        archive = archive[:-truncate]
    start = len(stub) if start_override is None else start_override
    open(out_path, "wb").write(stub + archive + struct.pack("<I", start))


if __name__ == "__main__":
    main(sys.argv[1:])
