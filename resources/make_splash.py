#!/usr/bin/env python3
"""Writes splash.bmp, the picture shown while the menu loads: an 8-bit
bitmap of a disc over a blue gradient. Run it again after changing it."""
import math
import struct
import sys

W, H = 400, 300


def palette():
    # 0..127: the background gradient, dark to light blue; 128..255: the
    # disc's sheen, grey to white with a tint.
    colours = []
    for i in range(128):
        t = i / 127
        colours.append((int(90 + 120 * t), int(30 + 60 * t), int(10 + 30 * t)))  # blue, green, red
    for i in range(128):
        t = i / 127
        colours.append((int(150 + 100 * t), int(140 + 110 * t), int(130 + 120 * t)))
    return colours


def index(x, y):
    cx, cy = W / 2, H / 2 - 10
    r = math.hypot(x - cx, y - cy)
    if r < 14:
        return 10
    if r < 100:
        a = math.atan2(y - cy, x - cx)
        return 128 + int(63 + 63 * math.sin(a * 3 + r / 30))
    return int(127 * y / (H - 1))


def main(path):
    row = (W + 3) & ~3
    pixels = bytearray()
    for y in range(H - 1, -1, -1):  # bottom-up rows
        line = bytes(index(x, y) for x in range(W))
        pixels += line + bytes(row - len(line))
    table = b"".join(bytes((b, g, r, 0)) for b, g, r in palette())
    offset = 14 + 40 + len(table)
    header = struct.pack("<2sIHHI", b"BM", offset + len(pixels), 0, 0, offset)
    info = struct.pack("<IiiHHIIiiII", 40, W, H, 1, 8, 0, len(pixels), 2835, 2835, 256, 0)
    with open(path, "wb") as out:
        out.write(header + info + table + pixels)


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else "splash.bmp")
