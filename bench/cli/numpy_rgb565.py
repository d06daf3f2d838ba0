#!/usr/bin/python3
"""A picture to RGB565 data text, written the way a NumPy user would.

    numpy_rgb565.py PICTURE [OUT]

Writes what zentraq-cli picture writes by default (the window's temp.txt):
one "0xLL,0xHH," item per pixel, low byte first, rows from the top, CR LF
after every 8th item. Transparent parts become white (half-transparent
pixels may land one step away from the tool's, which composites with Qt's
rounding). Without OUT the text goes to standard output.

The benchmark times it against zentraq-cli; it needs the Debian packages
python3-numpy and python3-pil.
"""
import sys

import numpy as np
from PIL import Image


def picture_rgb(path):
    img = Image.open(path)
    if img.mode in ("RGBA", "LA", "PA") or "transparency" in img.info:
        img = img.convert("RGBA")
        white = Image.new("RGBA", img.size, (255, 255, 255, 255))
        img = Image.alpha_composite(white, img)
    return np.asarray(img.convert("RGB"))


def rgb565_text(rgb):
    """The data text as two arrays of bytes: the full lines, then the rest."""
    r = rgb[..., 0].astype(np.uint16)
    g = rgb[..., 1].astype(np.uint16)
    b = rgb[..., 2].astype(np.uint16)
    word = ((r >> 3) << 11) | ((g >> 2) << 5) | (b >> 3)
    word = word.ravel()

    # The item text of every word, "0xLL,0xHH,", looked up for each pixel.
    table = np.array(
        [b"0x%02X,0x%02X," % (w & 0xFF, w >> 8) for w in range(65536)], dtype="S10"
    )
    items = table[word].view(np.uint8).reshape(-1, 10)

    full = word.size // 8
    lines = np.empty((full, 82), dtype=np.uint8)
    lines[:, :80] = items[: full * 8].reshape(full, 80)
    lines[:, 80:] = np.frombuffer(b"\r\n", dtype=np.uint8)
    return lines, items[full * 8 :]


def main():
    if len(sys.argv) not in (2, 3):
        sys.exit("usage: numpy_rgb565.py PICTURE [OUT]")
    pieces = rgb565_text(picture_rgb(sys.argv[1]))
    if len(sys.argv) == 3:
        with open(sys.argv[2], "wb") as out:
            for piece in pieces:
                out.write(piece.data)
    else:
        for piece in pieces:
            sys.stdout.buffer.write(piece.data)


if __name__ == "__main__":
    main()
