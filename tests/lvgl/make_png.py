#!/usr/bin/env python3
"""Writes the test picture of the image checks: an RGBA PNG whose pixels
pixel(x, y) gives, with opaque, half-transparent and transparent parts.

    make_png.py OUT.png
"""
import struct
import sys
import zlib

WIDTH, HEIGHT = 40, 24


def pixel(x, y):
    """(r, g, b, a) at x, y: colour bars on top, an alpha ramp in the middle
    rows, a transparent band at the bottom."""
    r = (x * 255) // (WIDTH - 1)
    g = (y * 255) // (HEIGHT - 1)
    b = 255 - r
    if y < 8:
        a = 255
    elif y < 16:
        a = (x * 255) // (WIDTH - 1)
    else:
        a = 0 if x % 2 else 128
    return r, g, b, a


def write_png(path):
    raw = b"".join(b"\0" + bytes(c for x in range(WIDTH) for c in pixel(x, y)) for y in range(HEIGHT))

    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))

    header = struct.pack(">IIBBBBB", WIDTH, HEIGHT, 8, 6, 0, 0, 0)
    with open(path, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(raw)) +
                chunk(b"IEND", b""))


if __name__ == "__main__":
    write_png(sys.argv[1])
