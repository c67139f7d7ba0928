#!/usr/bin/env python3
"""Turns the window's icon, kept as a 32x32 XPM in 16 colours, into the .ico that the
Windows build links. Run it after editing the XPM:  tools/xpm_to_ico.py app/icon/orvalis.xpm app/icon/orvalis.ico"""
import re
import struct
import sys


def read_xpm(path):
    strings = re.findall(r'"([^"]*)"', open(path, encoding="ascii").read())
    width, height, ncolors, cpp = map(int, strings[0].split()[:4])
    colors = {}
    for line in strings[1:1 + ncolors]:
        key, rest = line[:cpp], line[cpp:].split()
        value = rest[rest.index("c") + 1]
        colors[key] = None if value.lower() == "none" else tuple(int(value[i:i + 2], 16) for i in (1, 3, 5))
    rows = strings[1 + ncolors:1 + ncolors + height]
    pixels = [[colors[row[x * cpp:(x + 1) * cpp]] for x in range(width)] for row in rows]
    return width, height, pixels


def write_ico(path, width, height, pixels):
    palette = sorted({p for row in pixels for p in row if p is not None})
    if len(palette) > 16:
        sys.exit("more than 16 colours")
    palette += [(0, 0, 0)] * (16 - len(palette))
    xor = bytearray()
    for row in reversed(pixels):  # bottom-up
        for x in range(0, width, 2):
            hi = palette.index(row[x]) if row[x] is not None else 0
            lo = palette.index(row[x + 1]) if row[x + 1] is not None else 0
            xor.append(hi << 4 | lo)
    mask = bytearray()
    for row in reversed(pixels):
        bits = 0
        for x, p in enumerate(row):
            if p is None:
                bits |= 1 << (width - 1 - x)
        mask += bits.to_bytes(width // 8, "big")
    header = struct.pack("<IiiHHIIiiII", 40, width, height * 2, 1, 4, 0, len(xor) + len(mask), 0, 0, 16, 0)
    pal = b"".join(struct.pack("BBBB", b, g, r, 0) for (r, g, b) in palette)
    image = header + pal + bytes(xor) + bytes(mask)
    with open(path, "wb") as out:
        out.write(struct.pack("<HHH", 0, 1, 1))
        out.write(struct.pack("<BBBBHHII", width, height, 16, 0, 1, 4, len(image), 6 + 16))
        out.write(image)


if __name__ == "__main__":
    write_ico(sys.argv[2], *read_xpm(sys.argv[1]))
