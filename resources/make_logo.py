#!/usr/bin/env python3
"""Writes logo.bmp, the picture of the language and about boxes: a 24-bit
bitmap of a disc on a dark blue field. Run it again after changing it."""
import math
import struct
import sys

W, H = 96, 60


def pixel(x, y):
    cx, cy = W / 2, H / 2
    r = math.hypot(x - cx, y - cy)
    if r < 5:
        return (40, 30, 20)
    if r < 26:
        # A rainbow sheen that turns with the angle, as on a real disc.
        a = math.atan2(y - cy, x - cx)
        return tuple(int(150 + 90 * math.sin(a * 2 + k * 2.1)) for k in range(3))
    return (110, 40, 20)  # blue, green, red


def main(path):
    row = (W * 3 + 3) & ~3
    pixels = bytearray()
    for y in range(H - 1, -1, -1):  # bottom-up rows
        line = bytearray()
        for x in range(W):
            line += bytes(pixel(x, y))
        pixels += line + bytes(row - len(line))
    header = struct.pack("<IiiHHIIiiII", 40, W, H, 1, 24, 0, len(pixels), 2835, 2835, 0, 0)
    offset = 14 + len(header)
    with open(path, "wb") as f:
        f.write(b"BM" + struct.pack("<IHHI", offset + len(pixels), 0, 0, offset))
        f.write(header)
        f.write(pixels)


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else "logo.bmp")
