#!/usr/bin/env python3
"""Draws the program's 16-colour artwork and writes it as BMP and ICO files.

    resources/make_artwork.py [OUTPUT_DIR]   (default: this folder)

tree_images.bmp  bitmap 2: six 16x16 frames (closed folder, open folder,
                 computer with a hand twice, notepad twice)
tree_states.bmp  bitmap 400: four 16x16 frames (nothing, empty box, blue tick,
                 grey tick)
installzelm.ico  icon 1001: 16, 32 and 48 pixel images

Magenta (255, 0, 255) is the transparent colour of the bitmap strips; in the
icon it becomes the AND mask. The small pictures are drawn pixel by pixel
below; the larger icon images are drawn from shapes so they scale cleanly.
"""
import os
import struct
import sys

# The standard 16-colour palette; the letters are what the pictures use.
PALETTE = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0),
    (0, 0, 128), (128, 0, 128), (0, 128, 128), (192, 192, 192),
    (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0),
    (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]
LETTERS = {
    'k': 0, 'm': 1, 'g': 2, 'o': 3, 'n': 4, 'p': 5, 't': 6, 's': 7,
    'K': 8, 'r': 9, 'G': 10, 'y': 11, 'b': 12, '.': 13, 'c': 14, 'w': 15,
}
TRANSPARENT = 13

CLOSED_FOLDER = """
................
................
................
.ooooo..........
oyyyyyo.........
oywwwwyooooooo..
oywyyyyyyyyyyyo.
oywyyyyyyyyyyyok
oyyyyyyyyyyyyyok
oyyyyyyyyyyyyyok
oyyyyyyyyyyyyyok
oyyyyyyyyyyyyyok
oyyyyyyyyyyyyyok
oooooooooooooook
.kkkkkkkkkkkkkkk
................
"""

OPEN_FOLDER = """
................
................
................
.ooooo..........
oyyyyyo.........
oywwwwyooooooo..
oywyyyyyyyyyyo..
oyyyoooooooooooo
oyyowwwwwwwwwwwo
oyowyyyyyyyyyyok
oyowyyyyyyyyyok.
oowyyyyyyyyyyok.
oowyyyyyyyyyok..
ooooooooooooook.
.kkkkkkkkkkkkk..
................
"""

COMPUTER_WITH_HAND = """
..kkkkkkkkkkkk..
..kwwwwwwwwwwsk.
..kwnnnnnnnnwsk.
..kwnttttttnwsk.
..kwnttttttnwsk.
..kwnttttttnwsk.
..kwwwwwwwwwwsk.
..kssssssssssKk.
...kkkkkkkkkkk..
......ksKKk.....
....kkkkkkkkkk..
....kssssssssk..
..kkkkkkkkkkkkk.
nnkwwwwwwwwwwwk.
nnkwwkkkkkkkkk..
nnnkk...........
"""

NOTEPAD = """
................
..k.k.k.k.k.....
.kkkkkkkkkkkk...
.kwwwwwwwwwwkK..
.kwwwwwwwwwwkK..
.kwnnnnnnnnwkK..
.kwwwwwwwwwwkK..
.kwnnnnnnnnwkK..
.kwwwwwwwwwwkK..
.kwnnnnnnnnwkK..
.kwwwwwwwwwwkK..
.kwnnnnnwwwwkK..
.kwwwwwwwwwwkK..
.kkkkkkkkkkkkK..
..KKKKKKKKKKKK..
................
"""

EMPTY = "\n".join(["." * 16] * 16)


def check_box(tick):
    """A sunken 13x13 box; tick is a palette letter or None."""
    mark = ["wwwwwww", "wwwwwwx", "wwwwwxx", "xwwwxxx",
            "xxwxxxw", "xxxxxww", "wxxxwww", "wwxwwww", "wwwwwww"]
    rows = ["." * 16, ".KKKKKKKKKKKKw..", ".Kkkkkkkkkkksw.."]
    for r in range(9):
        inner = "w" + mark[r] + "w"
        rows.append(".Kk" + inner.replace("x", tick or "w") + "sw..")
    rows += [".Ksssssssssssw..", ".wwwwwwwwwwwww..", "." * 16, "." * 16]
    return "\n".join(rows)


def parse(picture):
    rows = [r for r in picture.strip("\n").split("\n")]
    assert len(rows) == 16, len(rows)
    for r in rows:
        assert len(r) == 16, repr(r)
    return [[LETTERS[ch] for ch in r] for r in rows]


def strip(frames):
    """Joins 16x16 frames side by side."""
    return [sum((f[y] for f in frames), []) for y in range(16)]


class Canvas:
    def __init__(self, size):
        self.size = size
        self.px = [[TRANSPARENT] * size for _ in range(size)]

    def rect(self, x0, y0, x1, y1, colour):
        """Fills [x0, x1) x [y0, y1)."""
        for y in range(max(0, y0), min(self.size, y1)):
            for x in range(max(0, x0), min(self.size, x1)):
                self.px[y][x] = colour

    def frame(self, x0, y0, x1, y1, colour):
        self.rect(x0, y0, x1, y0 + 1, colour)
        self.rect(x0, y1 - 1, x1, y1, colour)
        self.rect(x0, y0, x0 + 1, y1, colour)
        self.rect(x1 - 1, y0, x1, y1, colour)


def big_icon(size):
    """A monitor with a green download arrow, drawn at 32 or 48 pixels."""
    s = size / 48.0
    c = Canvas(size)
    v = lambda n: int(round(n * s))
    k, K, S, W, N, T, G, g = 0, 8, 7, 15, 4, 6, 10, 2
    # Monitor case with a bevel, screen, stand and foot.
    c.rect(v(3), v(4), v(45), v(35), S)
    c.rect(v(3), v(4), v(45), v(4) + 1, W)
    c.rect(v(3), v(4), v(3) + 1, v(35), W)
    c.frame(v(3), v(4), v(45), v(35), k)
    c.rect(v(4) + 1, v(35) - 2, v(45) - 1, v(35) - 1, K)
    c.rect(v(8), v(8), v(40), v(30), N)
    c.frame(v(8) - 1, v(8) - 1, v(40) + 1, v(30) + 1, K)
    c.rect(v(10), v(10), v(38), v(28), T)
    c.rect(v(19), v(35), v(29), v(39), K)
    c.rect(v(12), v(39), v(36), v(44), S)
    c.frame(v(12), v(39), v(36), v(44), k)
    # The arrow: shaft and head, lime with a dark green outline.
    cx = size // 2
    shaft_w, shaft_top, head_top, tip = v(4), v(11), v(19), v(28)
    for y in range(shaft_top, head_top):
        c.rect(cx - shaft_w - 1, y, cx + shaft_w + 1, y + 1, g)
        c.rect(cx - shaft_w, y, cx + shaft_w, y + 1, G)
    c.rect(cx - shaft_w - 1, shaft_top - 1, cx + shaft_w + 1, shaft_top, g)
    half = tip - head_top
    for i, y in enumerate(range(head_top, tip + 1)):
        w = half - i
        c.rect(cx - w - 1, y, cx + w + 1, y + 1, g)
        if w > 0:
            c.rect(cx - w, y, cx + w, y + 1, G)
    return c.px


SMALL_ICON = """
................
.kkkkkkkkkkkkkk.
.kwwwwwwwwwwwsk.
.kwnnngggnnnwsk.
.kwntggGgttnwsk.
.kwntgGGgttnwsk.
.kwngggGgggnwsk.
.kwntgGGGgtnwsk.
.kwnttgGgttnwsk.
.kwnnnngnnnnwsk.
.kssssssssssssk.
.kkkkkkkkkkkkkk.
......kKKk......
....kkkkkkkk....
....kssssssk....
....kkkkkkkk....
"""


def bmp_bytes(px):
    height, width = len(px), len(px[0])
    row_bytes = ((width * 4 + 31) // 32) * 4
    data = bytearray()
    for y in range(height - 1, -1, -1):
        row = bytearray()
        for x in range(0, width, 2):
            hi = px[y][x]
            lo = px[y][x + 1] if x + 1 < width else 0
            row.append((hi << 4) | lo)
        row += b"\0" * (row_bytes - len(row))
        data += row
    return data


def palette_bytes():
    return b"".join(struct.pack("<BBBB", b, g, r, 0) for (r, g, b) in PALETTE)


def write_bmp(path, px):
    height, width = len(px), len(px[0])
    pixels = bmp_bytes(px)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 4, 0, len(pixels),
                       2835, 2835, 16, 16)
    offset = 14 + len(info) + 64
    header = struct.pack("<2sIHHI", b"BM", offset + len(pixels), 0, 0, offset)
    with open(path, "wb") as f:
        f.write(header + info + palette_bytes() + pixels)


def ico_image(px):
    size = len(px)
    opaque = [[TRANSPARENT if v == TRANSPARENT else v for v in row] for row in px]
    xor = bmp_bytes([[0 if v == TRANSPARENT else v for v in row] for row in opaque])
    mask_row = ((size + 31) // 32) * 4
    mask = bytearray()
    for y in range(size - 1, -1, -1):
        bits = bytearray(mask_row)
        for x in range(size):
            if px[y][x] == TRANSPARENT:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bits
    info = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 4, 0, len(xor) + len(mask),
                       0, 0, 16, 0)
    return info + palette_bytes() + xor + mask


def write_ico(path, images):
    blobs = [ico_image(px) for px in images]
    out = struct.pack("<HHH", 0, 1, len(blobs))
    offset = 6 + 16 * len(blobs)
    for px, blob in zip(images, blobs):
        size = len(px)
        out += struct.pack("<BBBBHHII", size % 256, size % 256, 16, 0, 1, 4, len(blob), offset)
        offset += len(blob)
    with open(path, "wb") as f:
        f.write(out + b"".join(blobs))


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.dirname(os.path.abspath(__file__))
    images = [parse(p) for p in (CLOSED_FOLDER, OPEN_FOLDER, COMPUTER_WITH_HAND,
                                 COMPUTER_WITH_HAND, NOTEPAD, NOTEPAD)]
    write_bmp(os.path.join(out, "tree_images.bmp"), strip(images))
    states = [parse(EMPTY), parse(check_box(None)), parse(check_box("b")),
              parse(check_box("K"))]
    write_bmp(os.path.join(out, "tree_states.bmp"), strip(states))
    write_ico(os.path.join(out, "installzelm.ico"),
              [parse(SMALL_ICON), big_icon(32), big_icon(48)])


if __name__ == "__main__":
    main()
