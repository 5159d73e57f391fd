#!/usr/bin/env python3
"""Writes the installer wizard's pictures: wizard_header.bmp (137, the
header picture, 70 x 47), wizard.ico (138, a box with an arrow into it,
32 x 32 and 16 x 16 in 16 colours) and the two run-length encoded
animations installing.avi (150: 26 frames of 272 x 60) and uninstalling.avi
(151: 24 frames of 304 x 60), 8 bits per pixel, 10 frames a second, no
sound. Run it again after changing it."""
import math
import struct

# Shared palette (index: colour). Index 0 is the animations' background,
# which the animation control treats as transparent.
PALETTE = [
    (255, 255, 255),  # 0 white
    (0, 0, 0),        # 1 black
    (40, 70, 150),    # 2 dark blue
    (110, 150, 220),  # 3 light blue
    (230, 180, 60),   # 4 box yellow
    (170, 120, 30),   # 5 box brown
    (200, 200, 200),  # 6 light grey
    (120, 120, 120),  # 7 grey
    (60, 160, 80),    # 8 green
    (200, 60, 50),    # 9 red
]
PALETTE += [(0, 0, 0)] * (16 - len(PALETTE))


def box(grid, x0, y0, w, h, fill, edge=1):
    for y in range(y0, y0 + h):
        for x in range(x0, x0 + w):
            if 0 <= y < len(grid) and 0 <= x < len(grid[0]):
                on_edge = x in (x0, x0 + w - 1) or y in (y0, y0 + h - 1)
                grid[y][x] = edge if on_edge else fill


def disc(grid, cx, cy, r, fill=3, edge=2):
    for y in range(len(grid)):
        for x in range(len(grid[0])):
            d = math.hypot(x - cx, y - cy)
            if d < r * 0.25:
                continue
            if d < r - 1:
                grid[y][x] = fill
            elif d < r:
                grid[y][x] = edge


def arrow_down(grid, cx, y0, size, colour):
    for i in range(size):
        for x in range(cx - 1, cx + 2):
            grid[y0 + i][x] = colour
    for i in range(size // 2 + 1):
        for x in range(cx - i, cx + i + 1):
            if 0 <= y0 + size + size // 2 - i < len(grid):
                grid[y0 + size + size // 2 - i][x] = colour


def blank(w, h, colour=0):
    return [[colour] * w for _ in range(h)]


def header():
    g = blank(70, 47)
    disc(g, 24, 23, 17)
    box(g, 42, 22, 22, 18, 4, 5)
    for x in range(42, 64):
        g[22][x] = 5
    arrow_down(g, 53, 4, 10, 8)
    return g


def icon_grid(size):
    g = blank(size, size, None)
    s = size / 32
    x0, y0, w, h = int(5 * s), int(14 * s), int(22 * s), int(16 * s)
    for y in range(y0, y0 + h):
        for x in range(x0, x0 + w):
            g[y][x] = 5 if x in (x0, x0 + w - 1) or y in (y0, y0 + h - 1) else 4
    cx = size // 2
    for y in range(int(2 * s), int(12 * s)):
        for x in range(cx - max(1, int(2 * s)), cx + max(1, int(2 * s)) + 1):
            g[y][x] = 8
    for i in range(int(6 * s)):
        y = int(12 * s) + i
        for x in range(cx - int(6 * s) + i, cx + int(6 * s) - i + 1):
            g[y][x] = 8
    return g


def write_bmp(path, g):
    h, w = len(g), len(g[0])
    stride = (w * 3 + 3) & ~3
    rows = b""
    for y in range(h - 1, -1, -1):
        row = b"".join(bytes((PALETTE[c][2], PALETTE[c][1], PALETTE[c][0])) for c in g[y])
        rows += row + b"\0" * (stride - len(row))
    info = struct.pack("<IiiHHIIiiII", 40, w, h, 1, 24, 0, len(rows), 2835, 2835, 0, 0)
    head = struct.pack("<2sIHHI", b"BM", 14 + len(info) + len(rows), 0, 0, 14 + len(info))
    with open(path, "wb") as f:
        f.write(head + info + rows)


def icon_image(g):
    size = len(g)
    xor_stride = ((size * 4 + 31) // 32) * 4
    and_stride = ((size + 31) // 32) * 4
    info = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 4, 0, 0, 0, 0, 16, 0)
    pal = b"".join(bytes((b, gg, r, 0)) for r, gg, b in PALETTE)
    xor = b""
    andm = b""
    for y in range(size - 1, -1, -1):
        nibbles = [c if c is not None else 0 for c in g[y]]
        row = bytes((nibbles[i] << 4) | nibbles[i + 1] for i in range(0, size, 2))
        xor += row + b"\0" * (xor_stride - len(row))
        bits = 0
        mask = b""
        for x in range(size):
            bits = (bits << 1) | (1 if g[y][x] is None else 0)
            if x % 8 == 7:
                mask += bytes((bits,))
                bits = 0
        andm += mask + b"\0" * (and_stride - len(mask))
    return info + pal + xor + andm


def write_ico(path, grids):
    images = [icon_image(g) for g in grids]
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for g, data in zip(grids, images):
        out += struct.pack("<BBBBHHII", len(g), len(g), 16, 0, 1, 4, len(data), offset)
        offset += len(data)
    with open(path, "wb") as f:
        f.write(out + b"".join(images))


def rle8(g):
    """Encoded runs only: (count, index) pairs, end of line, end of bitmap."""
    out = bytearray()
    for y in range(len(g) - 1, -1, -1):
        row = g[y]
        x = 0
        while x < len(row):
            n = 1
            while x + n < len(row) and row[x + n] == row[x] and n < 255:
                n += 1
            out += bytes((n, row[x]))
            x += n
        out += b"\0\0"
    out[-2:] = b"\0\1"
    return bytes(out)


def chunk(fourcc, data):
    pad = b"\0" if len(data) % 2 else b""
    return fourcc + struct.pack("<I", len(data)) + data + pad


def write_avi(path, frames, w, h):
    encoded = [rle8(f) for f in frames]
    biggest = max(len(e) for e in encoded)
    avih = struct.pack("<14I", 100000, biggest * 10, 0, 0x10, len(frames), 0, 1, biggest, w, h, 0, 0, 0, 0)
    strh = struct.pack("<4s4sIHHIIIIIIIIhhhh", b"vids", b"mrle", 0, 0, 0, 0, 1, 10, 0, len(frames), biggest,
                       0xFFFFFFFF, 0, 0, 0, w, h)
    pal = b"".join(bytes((b, gg, r, 0)) for r, gg, b in PALETTE) + b"\0\0\0\0" * (256 - len(PALETTE))
    strf = struct.pack("<IiiHHIIiiII", 40, w, h, 1, 8, 1, w * h, 0, 0, 256, 0) + pal
    strl = b"LIST" + struct.pack("<I", 4 + len(chunk(b"strh", strh)) + len(chunk(b"strf", strf))) + b"strl" + \
        chunk(b"strh", strh) + chunk(b"strf", strf)
    hdrl_body = b"hdrl" + chunk(b"avih", avih) + strl
    hdrl = b"LIST" + struct.pack("<I", len(hdrl_body)) + hdrl_body
    movi_body = b"movi"
    index = b""
    for e in encoded:
        index += b"00dc" + struct.pack("<III", 0x10, len(movi_body), len(e))
        movi_body += chunk(b"00dc", e)
    movi = b"LIST" + struct.pack("<I", len(movi_body)) + movi_body
    body = b"AVI " + hdrl + movi + chunk(b"idx1", index)
    with open(path, "wb") as f:
        f.write(b"RIFF" + struct.pack("<I", len(body)) + body)


def moving_file(w, h, frames, leaving):
    """A disc on one side, a box on the other, a page travelling between them."""
    out = []
    left, right = 30, w - 60
    for i in range(frames):
        g = blank(w, h)
        disc(g, left, 30, 24) if not leaving else box(g, left - 20, 14, 44, 34, 4, 5)
        box(g, right, 14, 44, 34, 4, 5) if not leaving else disc(g, right + 22, 30, 24)
        t = i / (frames - 1)
        x = int(left + 24 + t * (right - left - 44))
        y = int(30 - 18 * math.sin(t * math.pi))
        box(g, x, y - 8, 14, 18, 0, 2)
        for line in range(3):
            for xx in range(x + 3, x + 11):
                g[y - 4 + 4 * line][xx] = 7
        if leaving:
            for xx in range(x + 2, x + 12):
                g[y + 1][xx] = 9
        out.append(g)
    return out


if __name__ == "__main__":
    write_bmp("wizard_header.bmp", header())
    write_ico("wizard.ico", [icon_grid(32), icon_grid(16)])
    write_avi("installing.avi", moving_file(272, 60, 26, False), 272, 60)
    write_avi("uninstalling.avi", moving_file(304, 60, 24, True), 304, 60)
