#!/usr/bin/env python3
"""Writes the desktop icon, orven-<size>.png for each size, beside this script.

The icon is the program's own (icon 103 in resources.cpp): a blue six-armed star, three
bars through the centre, on a transparent ground. Drawn here with 4 x 4 samples per pixel
so that the larger sizes have smooth edges. Only the standard library is used, and the
output is deterministic: running the script again writes the same bytes.

Usage: python3 make_icons.py [output folder]   (default: the script's own folder)
"""
import math
import os
import struct
import sys
import zlib

SIZES = (48, 128)  # 48 x 48 is the size every icon theme must have
COLOUR = (0x1E, 0x5A, 0xC8)
SAMPLES = 4  # per pixel and axis


def covered(size, x, y):
    """True when the point (x, y) in pixels lies on one of the star's three bars."""
    centre = size / 2.0
    dx, dy = x - centre, y - centre
    for arm in range(3):
        angle = arm * math.pi / 3 + math.pi / 2
        along = dx * math.cos(angle) + dy * math.sin(angle)
        across = -dx * math.sin(angle) + dy * math.cos(angle)
        if abs(across) <= size / 18.0 and abs(along) <= size / 2.0 - size / 32.0:
            return True
    return False


def render(size):
    rows = []
    for y in range(size):
        row = bytearray([0])  # PNG filter type 0 for the row
        for x in range(size):
            hits = sum(covered(size, x + (i + 0.5) / SAMPLES, y + (j + 0.5) / SAMPLES)
                       for i in range(SAMPLES) for j in range(SAMPLES))
            alpha = round(255 * hits / (SAMPLES * SAMPLES))
            row.extend(COLOUR + (alpha,) if alpha else (0, 0, 0, 0))
        rows.append(bytes(row))
    return b"".join(rows)


def chunk(kind, data):
    return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))


def write_png(path, size, pixels):
    header = struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)  # 8-bit RGBA
    with open(path, "wb") as out:
        out.write(b"\x89PNG\r\n\x1a\n")
        out.write(chunk(b"IHDR", header))
        out.write(chunk(b"IDAT", zlib.compress(pixels, 9)))
        out.write(chunk(b"IEND", b""))


def main():
    folder = sys.argv[1] if len(sys.argv) > 1 else os.path.dirname(os.path.abspath(__file__))
    os.makedirs(folder, exist_ok=True)
    for size in SIZES:
        write_png(os.path.join(folder, "orven-%d.png" % size), size, render(size))


if __name__ == "__main__":
    main()
