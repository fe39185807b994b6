#!/usr/bin/env python3
"""Draws the copy window's animation and writes it as resources/filecopy.avi: a sheet of
paper flies in an arc out of an open folder on the left into a disc on the right.

17 frames of 260 x 40 pixels, 100 ms each, 8-bit palette, RLE8-compressed, no sound: the
kind of clip the animation control plays by itself. No dependencies.

Usage: make_copy_animation.py [output.avi]"""
import math
import struct
import sys

WIDTH, HEIGHT = 260, 40
FRAMES = 17
FRAME_MICROSECONDS = 100000

# Palette index -> (r, g, b). Index 0 is the background: the control's transparent style
# takes the first pixel's colour as see-through.
PALETTE = [
    (240, 240, 240),  # 0 background
    (40, 40, 40),     # 1 outline
    (236, 196, 80),   # 2 folder front
    (196, 150, 50),   # 3 folder back and tab
    (255, 255, 255),  # 4 paper
    (150, 160, 175),  # 5 paper lines
    (70, 120, 200),   # 6 disc
    (150, 190, 240),  # 7 disc highlight
    (225, 230, 240),  # 8 disc hub
    (200, 200, 205),  # 9 shadow
]

FOLDER = (14, 10, 62, 36)   # left, top, right, bottom of the folder body
DISC = (228, 22, 15)        # centre x, centre y, radius
PAPER_W, PAPER_H = 16, 20


def blank():
    return [[0] * WIDTH for _ in range(HEIGHT)]


def rect(img, x0, y0, x1, y1, colour):
    for y in range(max(0, y0), min(HEIGHT, y1)):
        for x in range(max(0, x0), min(WIDTH, x1)):
            img[y][x] = colour


def framed(img, x0, y0, x1, y1, fill):
    rect(img, x0, y0, x1, y1, 1)
    rect(img, x0 + 1, y0 + 1, x1 - 1, y1 - 1, fill)


def folder_back(img):
    l, t, r, b = FOLDER
    framed(img, l, t - 4, l + 18, t + 2, 3)  # tab
    framed(img, l, t, r, b, 3)


def folder_front(img):
    l, t, r, b = FOLDER
    # The front flap, slanted open: each row starts a little further right.
    for y in range(t + 8, b):
        shift = (b - y) // 3
        for x in range(l + shift, r + shift // 2):
            if 0 <= x < WIDTH:
                edge = y in (t + 8, b - 1) or x in (l + shift, r + shift // 2 - 1)
                img[y][x] = 1 if edge else 2


def disc(img):
    cx, cy, radius = DISC
    for y in range(HEIGHT):
        for x in range(cx - radius - 2, cx + radius + 3):
            d = math.hypot(x - cx, y - cy)
            if d <= radius + 0.5:
                if d > radius - 0.8:
                    img[y][x] = 1
                elif d < 3.2:
                    img[y][x] = 1 if d > 2.2 else 0
                elif d < 5.5:
                    img[y][x] = 8
                else:
                    # a fixed gleam on the upper left
                    angle = math.atan2(y - cy, x - cx)
                    img[y][x] = 7 if -2.6 < angle < -1.7 else 6


def paper(img, x, y, tilt):
    """A sheet with its top-left corner at (x, y), sheared by tilt pixels over its height."""
    for row in range(PAPER_H):
        dx = int(round(tilt * (row / PAPER_H - 0.5)))
        for col in range(PAPER_W):
            px, py = x + col + dx, y + row
            if not (0 <= px < WIDTH and 0 <= py < HEIGHT):
                continue
            edge = row in (0, PAPER_H - 1) or col in (0, PAPER_W - 1)
            line = row % 4 == 0 and 3 <= col < PAPER_W - 3 and 3 <= row < PAPER_H - 3
            img[py][px] = 1 if edge else (5 if line else 4)


def frame(n):
    img = blank()
    # shadow line under both icons
    rect(img, 10, 37, 70, 39, 9)
    rect(img, 208, 37, 248, 39, 9)
    folder_back(img)
    t = n / (FRAMES - 1)
    start_x, end_x = FOLDER[0] + 16, DISC[0] - PAPER_W // 2
    x = int(round(start_x + (end_x - start_x) * t))
    # an arc that rises out of the folder, peaks in the middle and drops onto the disc
    base = 16 + (12 - 16) * t
    y = int(round(base - 13 * math.sin(math.pi * t)))
    tilt = 8 * math.sin(2 * math.pi * t)
    disc(img)
    if n < FRAMES - 1:  # in the last frame the sheet has gone into the disc
        paper(img, x, y, tilt)
    folder_front(img)
    return img


def rle8(img):
    """RLE8 of a bottom-up bitmap: runs of at most 255 pixels, an end of line after each
    row and an end of bitmap after the last."""
    out = bytearray()
    for y in range(HEIGHT - 1, -1, -1):
        row = img[y]
        x = 0
        while x < WIDTH:
            run = 1
            while x + run < WIDTH and run < 255 and row[x + run] == row[x]:
                run += 1
            out += bytes((run, row[x]))
            x += run
        out += b"\x00\x00"
    out[-2:] = b"\x00\x01"
    return bytes(out)


def chunk(fourcc, data):
    pad = b"\x00" if len(data) % 2 else b""
    return fourcc + struct.pack("<I", len(data)) + data + pad


def riff_list(kind, fourcc, data):
    return kind + struct.pack("<I", len(data) + 4) + fourcc + data


def avi(frames):
    biggest = max(len(f) for f in frames)
    avih = struct.pack(
        "<14I",
        FRAME_MICROSECONDS,                                   # microseconds per frame
        biggest * 1000000 // FRAME_MICROSECONDS,              # max bytes per second
        0,                                                    # padding granularity
        0x10,                                                 # has an index
        len(frames), 0, 1,                                    # frames, initial frames, streams
        biggest,                                              # suggested buffer size
        WIDTH, HEIGHT, 0, 0, 0, 0)
    strh = (b"vids" + b"RLE " + struct.pack(
        "<IHHIIIIIIiI4h",
        0, 0, 0, 0,                       # flags, priority, language, initial frames
        1, 1000000 // FRAME_MICROSECONDS,  # scale, rate: 10 frames per second
        0, len(frames), biggest,          # start, length, suggested buffer size
        -1, 0,                            # quality, sample size
        0, 0, WIDTH, HEIGHT))
    bih = struct.pack("<IiiHHIIiiII", 40, WIDTH, HEIGHT, 1, 8, 1, biggest, 0, 0,
                      len(PALETTE), len(PALETTE))
    palette = b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in PALETTE)
    strl = riff_list(b"LIST", b"strl", chunk(b"strh", strh) + chunk(b"strf", bih + palette))
    hdrl = riff_list(b"LIST", b"hdrl", chunk(b"avih", avih) + strl)
    movi_data = b""
    index = b""
    for f in frames:
        # index offsets count from the 'movi' type code
        index += b"00dc" + struct.pack("<III", 0x10, 4 + len(movi_data), len(f))
        movi_data += chunk(b"00dc", f)
    movi = riff_list(b"LIST", b"movi", movi_data)
    return riff_list(b"RIFF", b"AVI ", hdrl + movi + chunk(b"idx1", index))


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else "filecopy.avi"
    data = avi([rle8(frame(n)) for n in range(FRAMES)])
    with open(out, "wb") as f:
        f.write(data)


if __name__ == "__main__":
    main()
