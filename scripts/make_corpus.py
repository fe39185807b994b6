#!/usr/bin/env python3
"""Writes a game-shaped folder for the benchmarks, the same bytes for the same arguments.

    make_corpus.py <folder> [--mb N] [--seed S] [--media-only | --files N]

About N MB (default 300) in a few hundred files from a few bytes to tens of MB, by bytes:
40 % already-compressed media (random bytes), 30 % raw images and audio (structured but
noisy samples), 30 % text and scripts. Top-level files include the settings, the menu
picture and a readme, so the folder packs as a real game does.

--media-only writes N MB of already-compressed media in files of up to 64 MB at the top
level, where the installer's preview has to pass over them, for the start-up benchmark.

--files N writes N small files instead (64 bytes to 32 KiB, log-uniform; text, raw and
media in the same shares), 100 to a folder in two levels, as a game of many scripts and
sprites: the per-entry costs of installing and uninstalling. --mb is then ignored.
"""
import argparse
import math
import os
import random
import shutil
import struct
import sys

WORDS = ("the of and to in is you that it he was for on are as with his they at be this "
         "from have or by one had not but what all were when we there can an your which "
         "their said if do will each about how up out them then she many some so these "
         "would other into has more her two like him see time could no make than first "
         "sword shield potion dragon castle village quest battle magic level score enemy "
         "player health mana gold item inventory dialog scene map tile sprite sound").split()


def sizes_for(total, rng, smallest, largest):
    """File sizes drawn log-uniformly until they add up to total."""
    out = []
    left = total
    while left > 0:
        size = int(math.exp(rng.uniform(math.log(smallest), math.log(largest))))
        size = min(size, left)
        out.append(size)
        left -= size
    return out


def media_bytes(rng, size):
    return rng.randbytes(size)


def raw_bytes(rng, size):
    """16-bit audio or 24-bit pixels: smooth signals with a few bits of noise."""
    if rng.random() < 0.5:
        # Stereo 16-bit audio: two sines of drifting pitch plus noise.
        frames = size // 4 + 1
        out = bytearray()
        phase_a = phase_b = 0.0
        step_a, step_b = rng.uniform(0.01, 0.08), rng.uniform(0.002, 0.03)
        noise = rng.randint(64, 900)
        chunk = []
        for i in range(frames):
            phase_a += step_a
            phase_b += step_b
            if i % 4096 == 0:
                step_a = max(0.005, step_a + rng.uniform(-0.004, 0.004))
            v = int(9000 * math.sin(phase_a) + 5000 * math.sin(phase_b))
            left = v + rng.randint(-noise, noise)
            right = v // 2 + rng.randint(-noise, noise)
            chunk.append(struct.pack("<hh", max(-32768, min(32767, left)),
                                     max(-32768, min(32767, right))))
            if len(chunk) == 8192:
                out += b"".join(chunk)
                chunk = []
        out += b"".join(chunk)
        return bytes(out[:size])
    # 24-bit pixels: gradients, flat areas and noise, a row at a time.
    width = rng.choice((256, 512, 640, 800, 1024))
    row_bytes = width * 3
    out = bytearray()
    y = 0
    noise = rng.randint(1, 12)
    base = [rng.randint(0, 255) for _ in range(3)]
    while len(out) < size:
        row = bytearray(row_bytes)
        flat = (y // 32) % 3 == 0
        for x in range(width):
            for c in range(3):
                v = base[c] if flat else (base[c] + x // (c + 2) + y // 3)
                row[x * 3 + c] = (v + rng.randint(0, noise)) & 0xFF
        out += row
        y += 1
    return bytes(out[:size])


def text_bytes(rng, size):
    """Scripts and dialogue: lines of words, some numbers and keywords."""
    parts = []
    length = 0
    line_no = 0
    while length < size:
        kind = rng.random()
        if kind < 0.3:
            line = "%s = %d;" % (rng.choice(WORDS) + "_" + rng.choice(WORDS), rng.randint(0, 99999))
        elif kind < 0.5:
            line = "if (%s > %d) { call %s(%d); }" % (rng.choice(WORDS), rng.randint(0, 999),
                                                       rng.choice(WORDS), line_no)
        else:
            line = " ".join(rng.choice(WORDS) for _ in range(rng.randint(3, 16))).capitalize() + "."
        parts.append(line + "\r\n")
        length += len(line) + 2
        line_no += 1
    return "".join(parts).encode("ascii")[:size]


def write(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("folder")
    parser.add_argument("--mb", type=float, default=300)
    parser.add_argument("--seed", type=int, default=20261209)
    parser.add_argument("--media-only", action="store_true")
    parser.add_argument("--files", type=int, default=0)
    args = parser.parse_args()
    total = int(args.mb * 1e6)
    rng = random.Random(args.seed)
    here = os.path.dirname(os.path.abspath(__file__))
    sample = os.path.join(here, "..", "sample", "game")

    if os.path.exists(args.folder):
        shutil.rmtree(args.folder)
    os.makedirs(args.folder)
    for name in ("install.env", "insttscr.png", "readme.txt"):
        shutil.copy(os.path.join(sample, name), os.path.join(args.folder, name))

    if args.media_only:
        left, i = total, 0
        while left > 0:
            size = min(left, 64 << 20)
            write(os.path.join(args.folder, "movie%03d.mpg" % i), rng.randbytes(size))
            left -= size
            i += 1
        print("make_corpus: %d files, %.1f MB in %s" % (i + 3, total / 1e6, args.folder))
        return 0

    if args.files:
        makers = ((0.3, text_bytes, ".txt"), (0.3, raw_bytes, ".bmp"), (0.4, media_bytes, ".ogg"))
        written = 0
        for i in range(args.files):
            size = int(math.exp(rng.uniform(math.log(64), math.log(32 << 10))))
            pick, share_sum = rng.random(), 0.0
            for share, maker, extension in makers:
                share_sum += share
                if pick < share_sum:
                    break
            folder = os.path.join("data%02d" % (i // 1000), "set%02d" % (i // 100 % 10))
            write(os.path.join(args.folder, folder, "f%05d%s" % (i, extension)), maker(rng, size))
            written += size
        print("make_corpus: %d files, %.1f MB in %s" % (args.files + 3, written / 1e6, args.folder))
        return 0

    # Largest files scale with the corpus, so a small one keeps the same shape.
    largest = max(64 << 10, total // 12)
    kinds = (
        ("media", 0.40, media_bytes, ("bgm", "movie", "voice"), (".ogg", ".mpg", ".pak")),
        ("raw", 0.30, raw_bytes, ("se", "cg", "textures"), (".wav", ".bmp", ".tga")),
        ("text", 0.30, text_bytes, ("script", "scenario", "data"), (".txt", ".ks", ".csv")),
    )
    count = 0
    for kind, share, maker, folders, extensions in kinds:
        # Text files stay smaller: scripts are many and short.
        top = largest // 4 if kind == "text" else largest
        for i, size in enumerate(sizes_for(int(total * share), rng, 8, top)):
            folder = rng.choice(folders)
            sub = "part%d" % rng.randint(0, 2)
            name = "%s_%04d%s" % (kind, i, rng.choice(extensions))
            write(os.path.join(args.folder, folder, sub, name), maker(rng, size))
            count += 1
    print("make_corpus: %d files, %.1f MB in %s" % (count + 3, total / 1e6, args.folder))


if __name__ == "__main__":
    sys.exit(main())
