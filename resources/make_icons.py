#!/usr/bin/env python3
"""Turn the text pictures in SRC_DIR (*.txt) into Windows icons OUT_DIR/<stem>.ico.

usage: make_icons.py SRC_DIR OUT_DIR

A picture is 32 lines of 32 characters, one character per pixel; lines that
begin with '#' are comments. The letters name the 16 colours of the standard
Windows palette:

    .  transparent
    K  black        R  dark red     G  dark green   Y  olive
    B  navy         M  purple       C  teal         S  silver
    D  grey         r  red          g  green        y  yellow
    b  blue         m  magenta      c  cyan         W  white

Each icon holds the 32 x 32 picture and a 16 x 16 reduction of it, both with
4 bits per pixel, so the tray and the window caption get a clean small icon
instead of one the shell shrinks on its own.
"""

import os
import struct
import sys

SIZE = 32

# (letter, (red, green, blue)) in palette index order.
PALETTE = [
    ("K", (0x00, 0x00, 0x00)),
    ("R", (0x80, 0x00, 0x00)),
    ("G", (0x00, 0x80, 0x00)),
    ("Y", (0x80, 0x80, 0x00)),
    ("B", (0x00, 0x00, 0x80)),
    ("M", (0x80, 0x00, 0x80)),
    ("C", (0x00, 0x80, 0x80)),
    ("S", (0xC0, 0xC0, 0xC0)),
    ("D", (0x80, 0x80, 0x80)),
    ("r", (0xFF, 0x00, 0x00)),
    ("g", (0x00, 0xFF, 0x00)),
    ("y", (0xFF, 0xFF, 0x00)),
    ("b", (0x00, 0x00, 0xFF)),
    ("m", (0xFF, 0x00, 0xFF)),
    ("c", (0x00, 0xFF, 0xFF)),
    ("W", (0xFF, 0xFF, 0xFF)),
]
INDEX = {letter: i for i, (letter, _) in enumerate(PALETTE)}
TRANSPARENT = None


class PictureError(Exception):
    pass


def read_picture(path):
    """Return rows of palette indexes (None = transparent)."""
    with open(path, encoding="ascii", errors="replace", newline="") as f:
        lines = f.read().split("\n")
    if lines[-1] == "":
        lines.pop()  # the final newline ends the last line, it does not start one
    rows = []
    for number, line in enumerate(lines, start=1):
        line = line.rstrip("\r")
        if line.startswith("#"):
            continue
        if len(rows) == SIZE:
            raise PictureError(f"{path}:{number}: more than {SIZE} picture lines")
        if len(line) != SIZE:
            raise PictureError(f"{path}:{number}: line has {len(line)} pixels, expected {SIZE}")
        row = []
        for column, ch in enumerate(line, start=1):
            if ch == ".":
                row.append(TRANSPARENT)
            elif ch in INDEX:
                row.append(INDEX[ch])
            else:
                raise PictureError(f"{path}:{number}:{column}: unknown colour letter {ch!r}")
        rows.append(row)
    if len(rows) != SIZE:
        raise PictureError(f"{path}:{max(len(lines), 1)}: file ends after {len(rows)} picture lines, expected {SIZE}")
    return rows


def halve(rows):
    """Reduce by 2 x 2 blocks, keeping thin outlines and strokes alive.

    A block stays transparent only when at most one of its pixels is drawn.
    Otherwise it takes the most frequent drawn colour; a tie goes to the colour
    that is rarer in the whole picture, since that is the detail (outline,
    letter, mark) rather than the fill it sits on.
    """
    frequency = {}
    for row in rows:
        for p in row:
            if p is not TRANSPARENT:
                frequency[p] = frequency.get(p, 0) + 1
    size = len(rows) // 2
    small = []
    for y in range(size):
        out = []
        for x in range(size):
            block = [rows[2 * y + dy][2 * x + dx] for dy in (0, 1) for dx in (0, 1)]
            drawn = [p for p in block if p is not TRANSPARENT]
            if len(drawn) < 2:
                out.append(TRANSPARENT)
                continue
            counts = {}
            for p in drawn:
                counts[p] = counts.get(p, 0) + 1
            out.append(max(counts, key=lambda p: (counts[p], -frequency[p], -p)))
        small.append(out)
    return small


def row_bytes(bits_per_row):
    return (bits_per_row + 31) // 32 * 4


def image_data(rows):
    """BITMAPINFOHEADER, palette, XOR bitmap and AND mask of one icon image."""
    size = len(rows)
    xor_stride = row_bytes(size * 4)
    and_stride = row_bytes(size)
    xor = bytearray()
    mask = bytearray()
    for row in reversed(rows):  # bitmaps run bottom-up
        line = bytearray(xor_stride)
        bits = bytearray(and_stride)
        for x, p in enumerate(row):
            if p is TRANSPARENT:
                bits[x // 8] |= 0x80 >> (x % 8)
                p = 0  # black under a transparent mask bit leaves the screen untouched
            line[x // 2] |= p << (4 if x % 2 == 0 else 0)
        xor += line
        mask += bits
    header = struct.pack(
        "<IiiHHIIiiII",
        40,                     # biSize
        size,                   # biWidth
        size * 2,               # biHeight: XOR and AND bitmaps together
        1,                      # biPlanes
        4,                      # biBitCount
        0,                      # biCompression: BI_RGB
        len(xor) + len(mask),   # biSizeImage
        0, 0,                   # resolution
        0, 0,                   # biClrUsed, biClrImportant: all 16
    )
    palette = b"".join(struct.pack("<BBBB", b, g, r, 0) for _, (r, g, b) in PALETTE)
    return header + palette + bytes(xor) + bytes(mask)


def make_ico(rows):
    images = [(SIZE, image_data(rows)), (SIZE // 2, image_data(halve(rows)))]
    out = bytearray(struct.pack("<HHH", 0, 1, len(images)))
    offset = 6 + 16 * len(images)
    for size, data in images:
        out += struct.pack("<BBBBHHII", size, size, 16, 0, 1, 4, len(data), offset)
        offset += len(data)
    for _, data in images:
        out += data
    return bytes(out)


def main(argv):
    if len(argv) != 3:
        print("usage: make_icons.py SRC_DIR OUT_DIR", file=sys.stderr)
        return 2
    src_dir, out_dir = argv[1], argv[2]
    names = sorted(n for n in os.listdir(src_dir) if n.endswith(".txt"))
    if not names:
        print(f"make_icons.py: no *.txt pictures in {src_dir}", file=sys.stderr)
        return 1
    try:
        icons = [(os.path.splitext(n)[0], make_ico(read_picture(os.path.join(src_dir, n))))
                 for n in names]
    except PictureError as e:
        print(f"make_icons.py: {e}", file=sys.stderr)
        return 1
    os.makedirs(out_dir, exist_ok=True)
    for stem, data in icons:
        with open(os.path.join(out_dir, stem + ".ico"), "wb") as f:
            f.write(data)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
