#!/usr/bin/env python3
"""Writes the menu's icon and cursors: menu.ico (128, a disc), hand.cur (129)
and arrow.cur (136) in 16 colours, and their monochrome counterparts
hand_mono.cur (159) and arrow_mono.cur (158). All 32 x 32. Run it again
after changing it."""
import math
import struct

S = 32
# The 16-colour palette: black, white, and the disc's tints (blue, green, red).
PALETTE = [(0, 0, 0), (255, 255, 255), (110, 40, 20), (200, 170, 150), (150, 220, 240), (240, 200, 160),
           (180, 240, 200), (128, 128, 128)] + [(0, 0, 0)] * 8

# Shapes as rows of text: '.' transparent, '#' black outline, 'o' white fill.
ARROW = [
    "#", "##", "#o#", "#oo#", "#ooo#", "#oooo#", "#ooooo#", "#oooooo#", "#ooooooo#", "#oooooooo#",
    "#ooooo#####", "#oo#oo#", "#o# #oo#", "##  #oo#", "#    #oo#", "     #oo#", "      ##",
]
HAND = [
    "     ##", "    #oo#", "    #oo#", "    #oo#", "    #oo###", "    #oo#oo###", "    #oo#oo#oo##",
    " ## #oo#oo#oo#o#", "#oo##oooooooo#o#", "#ooo#ooooooooooo#", " #oo#oooooooooooo#", "  #ooooooooooooo#",
    "  #oooooooooooooo#", "   #ooooooooooooo#", "   #oooooooooooo#", "    #ooooooooooo#", "    #oooooooooo#",
    "     #oooooooo#", "     ##########",
]


def shape_pixels(rows):
    """(colour index or None) per pixel, rows top to bottom."""
    grid = [[None] * S for _ in range(S)]
    for y, row in enumerate(rows):
        for x, c in enumerate(row):
            if c == "#":
                grid[y][x] = 0
            elif c == "o":
                grid[y][x] = 1
    return grid


def disc_pixels():
    grid = [[None] * S for _ in range(S)]
    for y in range(S):
        for x in range(S):
            r = math.hypot(x - 15.5, y - 15.5)
            if r < 3:
                grid[y][x] = None
            elif r < 4.5 or 14.5 <= r < 15.5:
                grid[y][x] = 7
            elif r < 14.5:
                a = math.atan2(y - 15.5, x - 15.5)
                grid[y][x] = 3 + int((math.sin(a * 2) + 1) * 1.99)
    return grid


def dib(grid, bits):
    """BITMAPINFOHEADER, palette, XOR bits (bottom-up) and AND mask."""
    colours = 16 if bits == 4 else 2
    info = struct.pack("<IiiHHIIiiII", 40, S, S * 2, 1, bits, 0, 0, 0, 0, 0, 0)
    table = b"".join(bytes((b, g, r, 0)) for b, g, r in PALETTE[:colours])
    xor = bytearray()
    mask = bytearray()
    for y in range(S - 1, -1, -1):
        row = grid[y]
        if bits == 4:
            for x in range(0, S, 2):
                hi, lo = row[x] or 0, row[x + 1] or 0
                xor.append((hi << 4) | lo)
        else:
            for x in range(0, S, 8):
                xor.append(sum((1 if row[x + k] == 1 else 0) << (7 - k) for k in range(8)))
        for x in range(0, S, 8):
            mask.append(sum((1 if row[x + k] is None else 0) << (7 - k) for k in range(8)))
    return info + table + bytes(xor) + bytes(mask)


def write(path, kind, grid, bits, hotspot=(0, 0)):
    image = dib(grid, bits)
    header = struct.pack("<HHH", 0, kind, 1)
    if kind == 1:  # icon: colour count, planes, bit count
        entry = struct.pack("<BBBBHHII", S, S, 16 if bits == 4 else 2, 0, 1, bits, len(image), 22)
    else:  # cursor: the hot spot in place of planes and bit count
        entry = struct.pack("<BBBBHHII", S, S, 16 if bits == 4 else 2, 0, hotspot[0], hotspot[1], len(image), 22)
    with open(path, "wb") as out:
        out.write(header + entry + image)


if __name__ == "__main__":
    write("menu.ico", 1, disc_pixels(), 4)
    write("hand.cur", 2, shape_pixels(HAND), 4, (5, 0))
    write("arrow.cur", 2, shape_pixels(ARROW), 4, (0, 0))
    write("hand_mono.cur", 2, shape_pixels(HAND), 1, (5, 0))
    write("arrow_mono.cur", 2, shape_pixels(ARROW), 1, (0, 0))
