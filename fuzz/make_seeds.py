#!/usr/bin/env python3
"""Writes the seed corpora of the fuzz targets into fuzz/corpus/<target>/.

Small, valid (or nearly valid) inputs of every reader, so that fuzzing starts from inputs
that reach deep into each format. Run again after a format changes; the outputs are kept in
the repository.
"""
import os
import struct
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
TOP = os.path.dirname(HERE)


def put(target, name, data):
    folder = os.path.join(HERE, "corpus", target)
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, name), "wb") as f:
        f.write(data)


# --- archive entries -----------------------------------------------------------------
FILETIME = 0x01C8004F_6152D800


def entry_file(name, data, stream=None):
    n = name.encode("cp932") + b"\0"
    packed = zlib.compress(data, 9) if stream is None else stream
    return (struct.pack("<H", len(n)) + n + struct.pack("<II", len(data), len(packed)) +
            struct.pack("<Q", FILETIME) + packed)


def entry_folder(name):
    n = name.encode("cp932") + b"\0"
    return struct.pack("<H", len(n)) + n + struct.pack("<II", 0xFFFFFFFF, 0)


END = b"\0\0"
env = open(os.path.join(TOP, "sample/game/install.env"), "rb").read()
put("archive_walk_fuzz", "end-marker-only", END)
put("archive_walk_fuzz", "preview-files",
    entry_file("install.env", env) + entry_file("readme.txt", b"read me\r\n") +
    entry_file("game.exe", b"MZ" + b"\0" * 200) + END)
put("archive_walk_fuzz", "folders",
    entry_file("install.env", b"TITLEBAR T\r\n") + entry_folder("data\\") +
    entry_folder("data\\stage1\\") + entry_file("data\\stage1\\map.dat", bytes(range(256)) * 4) +
    entry_file("data\\\x83\x5c.txt".encode("latin1").decode("cp932"), b"sjis") + END)
put("archive_walk_fuzz", "block-edge",
    entry_file("big.bin", b"\0" * (131072 * 2 + 5)) + entry_file("empty.txt", b"") + END)
# Packed data over three 128 KiB blocks (stored, so that it stays as large as it is), a
# file after it, and a stream that ends in its first block though its packed size goes
# on into the next: the reader must refuse it rather than take the rest for headers.
noise = bytes((i * 2654435761 >> 13) & 0xFF for i in range(300000))
put("archive_walk_fuzz", "packed-blocks",
    entry_file("noise.bin", noise, zlib.compress(noise, 0)) + entry_file("after.txt", b"after") +
    END)
put("archive_walk_fuzz", "stream-ends-early",
    entry_file("short.bin", b"short", zlib.compress(b"short") + noise[:140000]) + END)
# Longest name: 255 bytes and its terminator.
put("archive_walk_fuzz", "longest-name", entry_file("a" * 251 + ".txt", b"x") + END)

# --- settings and lint ----------------------------------------------------------------
sections = (b"TITLEBAR\tGame\r\nINSTTO\tGame\r\nEXENAME\tgame.exe\r\nREG_GLOBAL\tVendor\r\n"
            b"REG_LOCAL\tGame\r\nINI_FILE\tgame.ini\r\nHELP_FILE\treadme.txt\r\n"
            b"[delfiles]\r\nsave\\*.sav\r\n-\r\n[delfiles_user]\r\nuser.dat\r\n-\r\n"
            b"[ini]\r\nPath=REP_INSTALL\r\nCd=REP_CDROMDRIVE\r\n-\r\n"
            b"[reg]\r\n\"Path\"=\"REP_INSTALL\\\\data\"\r\n-\r\n[EOF]\r\n")
for target in ("settings_fuzz", "lint_fuzz"):
    put(target, "sample", env)
    put(target, "sections", sections)
    put(target, "open-section", b"[reg]\r\n\"a\"=\"b\"\r\n")
    put(target, "long-line", b"TITLEBAR " + b"x" * 600 + b"\r\n[ini]\r\n" + b"k=" + b"v" * 520 + b"\n-\n")

# --- pictures -------------------------------------------------------------------------
def rct(kind, width, height, stream, name=b""):
    head = b"\x98\x5a\x92\x9a" + kind + struct.pack("<iiI", width, height, len(stream))
    if kind == b"TC01":
        head += struct.pack("<H", len(name)) + name
    return head + stream


P, Q, R = b"\x01\x02\x03", b"\x10\x20\x30", b"\xaa\xbb\xcc"
for pad in range(4):
    put("picture_fuzz", "four-by-one-%d" % pad,
        bytes([pad]) + rct(b"TC00", 4, 1, P + b"\x80\x01" + Q + R))
put("picture_fuzz", "one-pixel", b"\x01" + rct(b"TC00", 1, 1, P))
put("picture_fuzz", "copies-from-above",
    b"\x03" + rct(b"TC01", 5, 3, P + b"\x03" + Q + R + P + Q + b"\x83\x06\x00", b"name"))
put("picture_fuzz", "long-literal", b"\x02" + rct(b"TC00", 128, 1, P + b"\x7f\x00\x00" + P * 127))
put("picture_fuzz", "long-copy", b"\x01" + rct(b"TC00", 300, 30, P + b"\x83" + struct.pack("<H", 8995)))


def png(width, height, color_type, depth, rows):
    def chunk(kind, data):
        return (struct.pack(">I", len(data)) + kind + data +
                struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF))
    ihdr = struct.pack(">IIBBBBB", width, height, depth, color_type, 0, 0, 0)
    raw = b"".join(b"\0" + r for r in rows)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", ihdr) + chunk(b"IDAT", zlib.compress(raw)) +
            chunk(b"IEND", b""))


put("picture_input_fuzz", "rgb-2x2", png(2, 2, 2, 8, [P + Q, R + P]))
put("picture_input_fuzz", "rgba-opaque", png(1, 2, 6, 8, [P + b"\xff", Q + b"\xff"]))
put("picture_input_fuzz", "gray-16", png(2, 1, 0, 16, [b"\x12\x34\xff\xff"]))
put("picture_input_fuzz", "palette", png(2, 1, 3, 8, [b"\x00\x00"])[:33] +
    png(2, 1, 3, 8, [b"\x00\x00"])[33:])


def bmp(width, height, rows):
    stride = (width * 3 + 3) // 4 * 4
    pixels = b"".join(r + b"\0" * (stride - len(r)) for r in reversed(rows))
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, len(pixels), 2835, 2835, 0, 0)
    return b"BM" + struct.pack("<IHHI", 14 + 40 + len(pixels), 0, 0, 54) + info + pixels


put("picture_input_fuzz", "bmp-3x2", bmp(3, 2, [P + Q + R, R + Q + P]))

# --- names, folders, lines ------------------------------------------------------------
for i, name in enumerate([b"install.env", b"data\\stage1\\map.dat", b"data\\", b"\x83\x5c\\a.txt",
                          b"a/b.txt", b"..\\x", b"CON.txt", b"a:b", b"x" * 255]):
    put("entry_name_fuzz", "name-%d" % i, name)
for i, text in enumerate([b"C:\\Games\0Vendor\0App", b"D:/Games/\0\0App", b"\\\\server\\share\0\0App",
                          b"Games\\\x83\x5c\0Vendor\0\x83\x5c", b"C:\\\0\0A", b"E:" + b"\\d" * 140 + b"\0\0A"]):
    put("folder_rules_fuzz", "folder-%d" % i, text)
for i, line in enumerate([b"Path=REP_INSTALL\\data", b"Cd=REP_CDROMDRIVE", b"\"Path\"=\"REP_INSTALL\"",
                          b"\"Cd\"=\"REP_CDROM\\\\setup\"", b"\"a\\\"b\"=\"c\\\\d\"",
                          b"k=" + b"v" * 500 + b"\0C:\\" + b"x" * 200, b"\"\x83\x5c\"=\"\x83\x5c\""]):
    put("transfer_lines_fuzz", "line-%d" % i, line)
