#!/usr/bin/env python3
"""Write quillon.ico, Quillon's program icon, and quillon_alert.ico, the same
icon with a warning sign, from the pixel maps below.

The icon is a grey floppy disk with a red pen standing along its right edge
(Quillon saves for you).  It holds two 16-colour images, 16 x 16 and 32 x 32,
each drawn by hand in this file so either can be edited pixel by pixel.  The
notification area shows the alert icon while saves keep failing: a yellow
warning triangle over the disk's lower left corner.

Usage:  python3 make_icon.py [FOLDER]      (default: the folder of this script)

Only the standard library is used and nothing in the output depends on the
time or the machine, so running it twice gives the same bytes.
"""

import os
import struct
import sys

# The standard VGA / Windows 16-colour palette, in palette-index order, as RGB.
PALETTE = [
    (0x00, 0x00, 0x00),  # 0  black
    (0x80, 0x00, 0x00),  # 1  dark red
    (0x00, 0x80, 0x00),  # 2  dark green
    (0x80, 0x80, 0x00),  # 3  dark yellow
    (0x00, 0x00, 0x80),  # 4  dark blue
    (0x80, 0x00, 0x80),  # 5  dark magenta
    (0x00, 0x80, 0x80),  # 6  dark cyan
    (0xC0, 0xC0, 0xC0),  # 7  light grey
    (0x80, 0x80, 0x80),  # 8  dark grey
    (0xFF, 0x00, 0x00),  # 9  red
    (0x00, 0xFF, 0x00),  # 10 green
    (0xFF, 0xFF, 0x00),  # 11 yellow
    (0x00, 0x00, 0xFF),  # 12 blue
    (0xFF, 0x00, 0xFF),  # 13 magenta
    (0x00, 0xFF, 0xFF),  # 14 cyan
    (0xFF, 0xFF, 0xFF),  # 15 white
]

# One character per pixel in the maps; "." is transparent.
COLOURS = {
    "K": 0,   # black: outlines, the shutter slot, the pen tip
    "r": 1,   # dark red: shaded side of the pen, the nib
    "L": 7,   # light grey: metal shutter, pen ferrule, label lines
    "D": 8,   # dark grey: the disk's body
    "R": 9,   # red: the pen's body
    "W": 15,  # white: the label
    "Y": 11,  # yellow: the warning sign
}
TRANSPARENT = "."

# 16 x 16: the disk fills columns 0-11, the pen stands in columns 11-15 and
# shares its left outline with the disk's right edge.
ICON_16 = [
    "............KKK.",
    "...........KRRrK",
    "KKKKKKKKKKKKRRrK",
    "KDDLLLLKKLDKRRrK",
    "KDDLLLLKKLDKRRrK",
    "KDDLLLLKKLDKRRrK",
    "KDDLLLLLLLDKRRrK",
    "KDDDDDDDDDDKRRrK",
    "KDDDDDDDDDDKRRrK",
    "KDWWWWWWWWDKRRrK",
    "KDWWWWWWWWDKLLDK",
    "KDWLLLLLLWDKrrrK",
    "KDWWWWWWWWDKKrK.",
    "KDWLLLLLLWDK.K..",
    "KKKKKKKKKKKK....",
    "................",
]

# 32 x 32, drawn on its own: the disk fills columns 1-24 and rows 5-29, the
# pen stands in columns 24-30 from row 1 down to its tip in row 30.
ICON_32 = [
    "................................",
    "..........................KKK...",
    ".........................KRRrK..",
    "........................KRRRRrK.",
    "........................KRRRRrK.",
    ".KKKKKKKKKKKKKKKKKKKKKKKKRRRRrK.",
    ".KDDDDDLLLLLLLLLLLLDDDDDKRRRRrK.",
    ".KDDDDDLLLLLLLKKKLLDDDDDKRRRRrK.",
    ".KDDDDDLLLLLLLKKKLLDDDDDKRRRRrK.",
    ".KDDDDDLLLLLLLKKKLLDDDDDKRRRRrK.",
    ".KDDDDDLLLLLLLKKKLLDDDDDKRRRRrK.",
    ".KDDDDDLLLLLLLKKKLLDDDDDKRRRRrK.",
    ".KDDDDDLLLLLLLKKKLLDDDDDKRRRRrK.",
    ".KDDDDDLLLLLLLLLLLLDDDDDKRRRRrK.",
    ".KDDDDDDDDDDDDDDDDDDDDDDKRRRRrK.",
    ".KDDDDDDDDDDDDDDDDDDDDDDKRRRRrK.",
    ".KDDWWWWWWWWWWWWWWWWWWDDKRRRRrK.",
    ".KDDWWWWWWWWWWWWWWWWWWDDKRRRRrK.",
    ".KDDWWWWWWWWWWWWWWWWWWDDKRRRRrK.",
    ".KDDWWLLLLLLLLLLLLLLWWDDKRRRRrK.",
    ".KDDWWWWWWWWWWWWWWWWWWDDKRRRRrK.",
    ".KDDWWWWWWWWWWWWWWWWWWDDKLLLLDK.",
    ".KDDWWLLLLLLLLLLLLLLWWDDKLLLLDK.",
    ".KDDWWWWWWWWWWWWWWWWWWDDKrrrrrK.",
    ".KDDWWWWWWWWWWWWWWWWWWDDKrrrrrK.",
    ".KDDWWLLLLLLLLLLLLLLWWDDKKrrrK..",
    ".KDDWWWWWWWWWWWWWWWWWWDDKKrrrK..",
    ".KDDWWWWWWWWWWWWWWWWWWDDK.KrK...",
    ".KDDWWWWWWWWWWWWWWWWWWDDK.KrK...",
    ".KKKKKKKKKKKKKKKKKKKKKKKK..K....",
    "...........................K....",
    "................................",
]


# The warning sign, drawn over the lower left corner of the 16 x 16 image, and
# twice as large over the 32 x 32 one. Its "." pixels leave the icon showing.
WARNING_16 = [
    "....K....",
    "...KYK...",
    "...KYK...",
    "..KYKYK..",
    "..KYKYK..",
    ".KYYKYYK.",
    ".KYYYYYK.",
    "KYYYKYYYK",
    "KKKKKKKKK",
]


def doubled(rows):
    """The rows drawn twice as large: every pixel becomes two by two."""
    return ["".join(ch * 2 for ch in row) for row in rows for _ in (0, 1)]


def with_sign(rows, sign):
    """The icon's rows with the sign drawn over their lower left corner."""
    out = list(rows)
    top = len(rows) - len(sign)
    for y, sign_row in enumerate(sign):
        row = list(out[top + y])
        for x, ch in enumerate(sign_row):
            if ch != TRANSPARENT:
                row[x] = ch
        out[top + y] = "".join(row)
    return out


def check_map(name, rows, size):
    if len(rows) != size:
        raise ValueError(f"{name}: {len(rows)} rows, expected {size}")
    for y, row in enumerate(rows):
        if len(row) != size:
            raise ValueError(f"{name} row {y}: {len(row)} pixels, expected {size}")
        for x, ch in enumerate(row):
            if ch != TRANSPARENT and ch not in COLOURS:
                raise ValueError(f"{name} row {y} column {x}: unknown colour {ch!r}")


def pack_rows(rows, bits_per_pixel, pixel_value):
    """Pack bottom-up DIB rows, each padded to a multiple of 4 bytes."""
    out = bytearray()
    for row in reversed(rows):  # DIBs store the bottom row first
        bits = 0
        nbits = 0
        line = bytearray()
        for ch in row:
            bits = (bits << bits_per_pixel) | pixel_value(ch)
            nbits += bits_per_pixel
            if nbits == 8:
                line.append(bits)
                bits = 0
                nbits = 0
        if nbits:
            line.append(bits << (8 - nbits))
        while len(line) % 4:
            line.append(0)
        out += line
    return bytes(out)


def icon_image(rows):
    """One icon image: BITMAPINFOHEADER, palette, 4-bit colour bits, 1-bit AND mask.

    Transparent pixels are colour 0 in the colour bits and 1 in the AND mask,
    which makes Windows leave the background showing through them.
    """
    size = len(rows)
    xor_bits = pack_rows(rows, 4, lambda ch: 0 if ch == TRANSPARENT else COLOURS[ch])
    and_bits = pack_rows(rows, 1, lambda ch: 1 if ch == TRANSPARENT else 0)
    header = struct.pack(
        "<IiiHHIIiiII",
        40,  # biSize
        size,  # biWidth
        size * 2,  # biHeight: colour bits and mask stacked, as icons require
        1,  # biPlanes
        4,  # biBitCount
        0,  # biCompression = BI_RGB
        len(xor_bits) + len(and_bits),  # biSizeImage
        0,  # biXPelsPerMeter
        0,  # biYPelsPerMeter
        0,  # biClrUsed: 0 means the full 16 entries
        0,  # biClrImportant
    )
    palette = b"".join(struct.pack("<BBBB", b, g, r, 0) for (r, g, b) in PALETTE)
    return header + palette + xor_bits + and_bits


def build_ico(maps):
    images = [icon_image(rows) for rows in maps]
    out = bytearray(struct.pack("<HHH", 0, 1, len(images)))  # ICONDIR: reserved, type 1 = icon, count
    offset = 6 + 16 * len(images)
    for rows, image in zip(maps, images):
        size = len(rows)
        out += struct.pack(
            "<BBBBHHII",
            size,  # width
            size,  # height
            16,  # colours in the palette
            0,  # reserved
            1,  # planes
            4,  # bits per pixel
            len(image),
            offset,
        )
        offset += len(image)
    for image in images:
        out += image
    return bytes(out)


def main(argv):
    check_map("ICON_16", ICON_16, 16)
    check_map("ICON_32", ICON_32, 32)
    folder = argv[1] if len(argv) > 1 else os.path.dirname(os.path.abspath(__file__))
    icons = {
        "quillon.ico": [ICON_16, ICON_32],
        "quillon_alert.ico": [with_sign(ICON_16, WARNING_16), with_sign(ICON_32, doubled(WARNING_16))],
    }
    for name, maps in icons.items():
        target = os.path.join(folder, name)
        data = build_ico(maps)
        with open(target, "wb") as f:
            f.write(data)
        print(f"wrote {target} ({len(data)} bytes)")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
