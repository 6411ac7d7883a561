#!/usr/bin/env python3
"""Writes a tile pyramid of PNG files (5 to 25 KB each) for the benchmark.

usage: make_pyramid.py ROOT ZOOM XMIN XMAX YMIN YMAX [--palette]
Files go to ROOT/ZOOM/X/Y.png. A pool of distinct images is reused so that
writing tens of thousands of tiles stays quick. The tiles are RGB with
scattered noise, or with --palette like a map server's 8-bit tiles: flat
land, water, parks, roads and buildings, with anti-aliased edges and
labels, in a palette of up to 256 colours.
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


def chunk(kind, data):
    return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))


def map_png(rng, size=256):
    land = (242, 239, 233)
    flats = [(170, 211, 223), (205, 235, 176), (224, 223, 223), (217, 208, 201), (255, 255, 255),
             (248, 178, 156), (252, 214, 164), (247, 250, 191), (200, 250, 204), (222, 246, 192)]
    ink = [(0, 0, 0), (80, 80, 80), (102, 102, 102), (196, 180, 170), (153, 153, 153)]
    palette = [land] + flats + ink
    # Shades between neighbours, as anti-aliased edges give.
    while len(palette) < rng.randrange(120, 250):
        a, b = rng.choice(palette[:16]), rng.choice(palette[:16])
        t = rng.random()
        palette.append(tuple(int(a[i] * t + b[i] * (1 - t)) for i in range(3)))
    px = [bytearray(size) for _ in range(size)]
    def rect(x0, y0, x1, y1, c):
        x0, x1 = max(0, x0), min(size, x1)
        for y in range(max(0, y0), min(size, y1)):
            if x1 > x0:
                px[y][x0:x1] = bytes([c]) * (x1 - x0)
    if rng.random() < 0.4:  # water
        rect(rng.randrange(-64, 200), rng.randrange(-64, 200), rng.randrange(100, 320), rng.randrange(100, 320), 1)
    for _ in range(rng.randrange(2, 6)):  # landuse
        x, y = rng.randrange(-32, 256), rng.randrange(-32, 256)
        rect(x, y, x + rng.randrange(20, 120), y + rng.randrange(20, 120), rng.randrange(2, 11))
    for _ in range(rng.randrange(250, 600)):  # buildings, outlined
        x, y, w, h = rng.randrange(256), rng.randrange(256), rng.randrange(4, 16), rng.randrange(4, 16)
        rect(x - 1, y - 1, x + w + 1, y + h + 1, rng.randrange(16, len(palette)))
        rect(x, y, x + w, y + h, 4)
    for _ in range(rng.randrange(4, 12)):  # roads with soft edges
        c, w = rng.choice([5, 6, 7, 8]), rng.randrange(3, 9)
        if rng.random() < 0.5:
            y = rng.randrange(256)
            rect(0, y, 256, y + w, c)
            rect(0, y - 1, 256, y, rng.randrange(16, len(palette)))
        else:
            x = rng.randrange(256)
            rect(x, 0, x + w, 256, c)
            rect(x - 1, 0, x, 256, rng.randrange(16, len(palette)))
    for _ in range(rng.randrange(60, 130)):  # labels: glyph-like specks of ink and halo shades
        x, y = rng.randrange(240), rng.randrange(250)
        for _ in range(rng.randrange(60, 200)):
            gx, gy = x + rng.randrange(40), y + rng.randrange(8)
            if gx < size and gy < size:
                px[gy][gx] = rng.choice([11, 12, 13, rng.randrange(16, len(palette))])
    raw = b"".join(b"\x00" + bytes(row) for row in px)
    header = struct.pack(">IIBBBBB", size, size, 8, 3, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"PLTE", b"".join(bytes(c) for c in palette)) +
            chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def map_pool(count, rng):
    return [map_png(rng) for _ in range(count)]


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
    images = map_pool(48, rng) if "--palette" in sys.argv[7:] else pool(48, rng)
    for x in range(xmin, xmax + 1):
        folder = os.path.join(root, str(zoom), str(x))
        os.makedirs(folder, exist_ok=True)
        for y in range(ymin, ymax + 1):
            with open(os.path.join(folder, f"{y}.png"), "wb") as f:
                f.write(images[(x * 31 + y) % len(images)])


if __name__ == "__main__":
    main()
