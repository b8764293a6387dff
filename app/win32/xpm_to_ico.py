#!/usr/bin/env python3
"""Writes a Windows icon file from XPM images of at most 16 colours: one
4-bit image with its transparency mask per XPM, as the program's icon
resource holds them (32 x 32 and 16 x 16, 16 colours each).

usage: xpm_to_ico.py OUTPUT.ico INPUT.xpm...
"""
import re
import struct
import sys


def read_xpm(path):
    rows = re.findall(r'"([^"]*)"', open(path, encoding="ascii").read())
    width, height, ncolors, cpp = (int(v) for v in rows[0].split()[:4])
    colours = {}
    for row in rows[1 : 1 + ncolors]:
        key, keys = row[:cpp], row[cpp:].split()
        value = keys[keys.index("c") + 1]
        colours[key] = None if value.lower() == "none" else int(value.lstrip("#"), 16)
    pixels = [
        [colours[row[x * cpp : (x + 1) * cpp]] for x in range(width)]
        for row in rows[1 + ncolors : 1 + ncolors + height]
    ]
    return width, height, pixels


def padded(bits_per_row):
    return (bits_per_row + 31) // 32 * 4


def icon_image(width, height, pixels):
    palette = [0x000000]  # index 0 also stands under transparent pixels
    for row in pixels:
        for rgb in row:
            if rgb is not None and rgb not in palette:
                palette.append(rgb)
    if len(palette) > 16:
        sys.exit("more than 16 colours")
    palette += [0] * (16 - len(palette))
    colour_rows, mask_rows = b"", b""
    for row in reversed(pixels):  # bottom-up, as bitmaps are stored
        nibbles = [0 if rgb is None else palette.index(rgb) for rgb in row]
        line = bytes((nibbles[i] << 4) | (nibbles[i + 1] if i + 1 < width else 0)
                     for i in range(0, width, 2))
        colour_rows += line.ljust(padded(width * 4), b"\0")
        mask = 0
        for rgb in row:
            mask = (mask << 1) | (rgb is None)
        mask <<= (8 - width % 8) % 8
        mask_rows += mask.to_bytes((width + 7) // 8, "big").ljust(padded(width), b"\0")
    header = struct.pack("<IiiHHIIiiII", 40, width, height * 2, 1, 4, 0,
                         len(colour_rows) + len(mask_rows), 0, 0, 16, 0)
    colours = b"".join(struct.pack("<BBBB", c & 0xFF, (c >> 8) & 0xFF, c >> 16, 0)
                       for c in palette)
    return header + colours + colour_rows + mask_rows


def main():
    images = [read_xpm(path) for path in sys.argv[2:]]
    data = [icon_image(*image) for image in images]
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = len(out) + 16 * len(images)
    for (width, height, _), blob in zip(images, data):
        out += struct.pack("<BBBBHHII", width % 256, height % 256, 16, 0, 1, 4, len(blob), offset)
        offset += len(blob)
    with open(sys.argv[1], "wb") as f:
        f.write(out + b"".join(data))


if __name__ == "__main__":
    main()
