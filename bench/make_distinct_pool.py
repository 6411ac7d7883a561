#!/usr/bin/env python3
"""Writes COUNT distinct PNG tiles for the tile-set benchmarks.

usage: make_distinct_pool.py SOURCE_FOLDER DEST_FOLDER COUNT
The pyramid holds a few dozen distinct images; a PMTiles writer stores
repeated bytes once, so tiles that repeat would flatter it. Each tile here
is one of the source images with a text chunk naming its number before the
end, so every file's bytes differ and every file is still a whole PNG.
"""
import os
import struct
import sys
import zlib


def main():
    source, dest, count = sys.argv[1], sys.argv[2], int(sys.argv[3])
    images = []
    for folder, _, files in os.walk(source):
        for name in sorted(files):
            if name.endswith(".png"):
                with open(os.path.join(folder, name), "rb") as f:
                    data = f.read()
                if data not in images:
                    images.append(data)
    os.makedirs(dest, exist_ok=True)
    for i in range(count):
        image = images[i % len(images)]
        text = b"Comment\0tile " + str(i).encode()
        chunk = struct.pack(">I", len(text)) + b"tEXt" + text + struct.pack(">I", zlib.crc32(b"tEXt" + text))
        with open(os.path.join(dest, f"{i}.png"), "wb") as f:
            f.write(image[:-12] + chunk + image[-12:])


if __name__ == "__main__":
    main()
