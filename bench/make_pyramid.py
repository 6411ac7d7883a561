#!/usr/bin/env python3
"""Writes a tile pyramid of PNG files (5 to 25 KB each) for the benchmark.

usage: make_pyramid.py ROOT ZOOM XMIN XMAX YMIN YMAX
Files go to ROOT/ZOOM/X/Y.png. A pool of distinct images is reused so that
writing tens of thousands of tiles stays quick.
"""
import os
import random
import struct
import sys
import zlib


def png(width, height, noise, rng):
    rows = []
    for _ in range(height):
        row = bytearray(b"\x00")
        for _ in range(width):
            if rng.random() < noise:
                row += bytes((rng.randrange(256), rng.randrange(256), rng.randrange(256)))
            else:
                row += b"\xf2\xef\xe9"
        rows.append(bytes(row))

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))

    header = struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) +
            chunk(b"IDAT", zlib.compress(b"".join(rows), 6)) + chunk(b"IEND", b""))


def pool(count, rng):
    images = []
    while len(images) < count:
        image = png(256, 256, rng.uniform(0.02, 0.12), rng)
        if 5 * 1024 <= len(image) <= 25 * 1024:
            images.append(image)
    return images


def main():
    root, zoom, xmin, xmax, ymin, ymax = sys.argv[1], *map(int, sys.argv[2:7])
    rng = random.Random(1234)
    images = pool(48, rng)
    for x in range(xmin, xmax + 1):
        folder = os.path.join(root, str(zoom), str(x))
        os.makedirs(folder, exist_ok=True)
        for y in range(ymin, ymax + 1):
            with open(os.path.join(folder, f"{y}.png"), "wb") as f:
                f.write(images[(x * 31 + y) % len(images)])


if __name__ == "__main__":
    main()
