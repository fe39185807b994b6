#!/usr/bin/env python3
"""Draws the installer's icon (a green leaf on a round dark-green disc) and writes it as
resources/fernstall.ico with 16x16 and 32x32 images, 32-bit with alpha. No dependencies."""
import math
import struct
import sys


def pixel(x, y, size):
    cx = cy = (size - 1) / 2.0
    r = size / 2.0 - 0.5
    d = math.hypot(x - cx, y - cy)
    if d > r:
        return (0, 0, 0, 0)
    # Leaf: an ellipse rotated by 45 degrees, with a lighter vein along its axis.
    u = ((x - cx) + (y - cy)) / math.sqrt(2)
    v = ((x - cx) - (y - cy)) / math.sqrt(2)
    a, b = r * 0.8, r * 0.38
    if (u / a) ** 2 + (v / b) ** 2 <= 1.0:
        if abs(v) < max(0.6, size / 32.0):
            return (190, 235, 170, 255)
        shade = int(40 * (1 - abs(u) / a))
        return (90 + shade, 190 + shade // 2, 80, 255)
    edge = 255 if d < r - 1 else int(255 * (r - d + 1) / 2)
    return (25, 80, 40, max(0, min(255, edge)))


def image(size):
    rows = []
    for y in range(size - 1, -1, -1):  # bottom-up rows
        row = b""
        for x in range(size):
            r, g, b, a = pixel(x, y, size)
            row += bytes((b, g, r, a))
        rows.append(row)
    xor = b"".join(rows)
    and_stride = ((size + 31) // 32) * 4
    mask = bytes(and_stride * size)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, len(xor) + len(mask),
                         0, 0, 0, 0)
    return header + xor + mask


def main(path):
    sizes = [16, 32]
    images = [image(s) for s in sizes]
    out = struct.pack("<HHH", 0, 1, len(sizes))
    offset = 6 + 16 * len(sizes)
    for s, data in zip(sizes, images):
        out += struct.pack("<BBBBHHII", s, s, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    with open(path, "wb") as f:
        f.write(out + b"".join(images))


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else "resources/fernstall.ico")
