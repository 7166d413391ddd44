#!/usr/bin/env python3
"""Draws tarvel-host's icons (two windows, the front one raised) at every size
the shell asks for and writes them as .ico files: tarvel.ico in colour and
tarvel-paused.ico in grey; and the setup program's picture, the same windows
on a blue band, as tarvel-setup.bmp (164 x 314, what its welcome and finish
pages show on the left).  Each size is drawn on its own pixel grid, so the
edges stay sharp at 16 px as at 256.  Standard library only:

    python3 make_icons.py [output folder]
"""
import struct
import sys
import zlib
from pathlib import Path

SIZES = (16, 20, 24, 32, 40, 48, 256)
# Larger images are stored as PNG, which every Windows since Vista reads.
PNG_FROM = 256

COLOURS = {
    "normal": {"back": (90, 90, 90), "frame": (0, 120, 215), "body": (255, 255, 255)},
    "paused": {"back": (120, 120, 120), "frame": (150, 150, 150), "body": (235, 235, 235)},
}


def draw(size, colours):
    """The icon as rows of (r, g, b, a), top row first."""
    pixels = [[(0, 0, 0, 0)] * size for _ in range(size)]

    def at(units):  # a position on the 32-unit design grid, in pixels
        return round(units * size / 32)

    def fill(left, top, right, bottom, colour):
        for y in range(at(top), at(bottom)):
            for x in range(at(left), at(right)):
                pixels[y][x] = colour + (255,)

    border = max(1, round(size / 32))
    fill(2, 2, 22, 20, colours["back"])      # the window behind
    fill(10, 12, 30, 30, colours["frame"])   # the front window, raised over it
    left, top, right, bottom = at(10) + border, at(18), at(30) - border, at(30) - border
    for y in range(top, bottom):
        for x in range(left, right):
            pixels[y][x] = colours["body"] + (255,)
    return pixels


def dib(pixels):
    """A 32-bit DIB with its AND mask, as .ico files hold small images."""
    size = len(pixels)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    colour = b"".join(bytes((b, g, r, a)) for row in reversed(pixels) for (r, g, b, a) in row)
    stride = ((size + 31) // 32) * 4
    mask = bytearray()
    for row in reversed(pixels):
        bits = bytearray(stride)
        for x, (_, _, _, a) in enumerate(row):
            if a == 0:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bits
    return header + colour + bytes(mask)


def png(pixels):
    size = len(pixels)

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))

    raw = b"".join(b"\0" + bytes(v for pixel in row for v in pixel) for row in pixels)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)) +
            chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def ico(colours):
    images = [png(draw(s, colours)) if s >= PNG_FROM else dib(draw(s, colours)) for s in SIZES]
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for s, image in zip(SIZES, images):
        out += struct.pack("<BBBBHHII", s % 256, s % 256, 0, 0, 1, 32, len(image), offset)
        offset += len(image)
    return out + b"".join(images)


def setup_picture(width=164, height=314):
    """A 24-bit bottom-up BMP: a band from deep to light blue, the icon on it."""
    rows = []
    for y in range(height):
        t = y / (height - 1)
        rows.append([(round(0 + 60 * t), round(84 + 80 * t), round(160 + 70 * t))] * width)
    size = 128
    icon = draw(size, COLOURS["normal"])
    left, top = (width - size) // 2, 64
    for y, row in enumerate(icon):
        for x, (r, g, b, a) in enumerate(row):
            if a:
                rows[top + y][left + x] = (r, g, b)
    stride = (width * 3 + 3) // 4 * 4
    data = b"".join(bytes(v for (r, g, b) in row for v in (b, g, r)).ljust(stride, b"\0") for row in reversed(rows))
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, len(data), 2835, 2835, 0, 0)
    return b"BM" + struct.pack("<IHHI", 14 + len(info) + len(data), 0, 0, 14 + len(info)) + info + data


def main():
    folder = Path(sys.argv[1] if len(sys.argv) > 1 else Path(__file__).parent)
    (folder / "tarvel.ico").write_bytes(ico(COLOURS["normal"]))
    (folder / "tarvel-paused.ico").write_bytes(ico(COLOURS["paused"]))
    (folder / "tarvel-setup.bmp").write_bytes(setup_picture())


if __name__ == "__main__":
    main()
