#!/usr/bin/env python3
"""Writes a sea-heavy tile pyramid: nine tiles in ten are one sea image.

usage: make_sea.py ROOT ZOOM XMIN XMAX YMIN YMAX POOL_FOLDER
Files go to ROOT/ZOOM/X/Y.png. Every tenth tile (by a fixed scattering of
the addresses) is a distinct image from POOL_FOLDER (make_distinct_pool.py),
each used once; the others are hard links to one sea tile, so the server
answers the same bytes for them, as a real map's open sea does.
"""
import os
import struct
import sys
import zlib


def sea_png():
    rows = b"".join(b"\x00" + b"\xaa\xd3\xdf" * 256 for _ in range(256))

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))

    header = struct.pack(">IIBBBBB", 256, 256, 8, 2, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(rows, 9)) +
            chunk(b"IEND", b""))


def main():
    root, zoom = sys.argv[1], int(sys.argv[2])
    xmin, xmax, ymin, ymax = (int(v) for v in sys.argv[3:7])
    pool = sorted(os.path.join(sys.argv[7], name) for name in os.listdir(sys.argv[7]))
    sea = os.path.join(root, "sea.png")
    os.makedirs(root, exist_ok=True)
    with open(sea, "wb") as f:
        f.write(sea_png())
    used = 0
    for x in range(xmin, xmax + 1):
        os.makedirs(os.path.join(root, str(zoom), str(x)), exist_ok=True)
        for y in range(ymin, ymax + 1):
            target = os.path.join(root, str(zoom), str(x), f"{y}.png")
            if (x * 7919 + y * 104729) % 10 == 0:
                with open(pool[used % len(pool)], "rb") as src, open(target, "wb") as dst:
                    dst.write(src.read())
                used += 1
            else:
                os.link(sea, target)


main()
