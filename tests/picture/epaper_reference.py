#!/usr/bin/python3
"""What Pillow's quantize(palette=..., dither=NONE) makes of a picture: the
nearest-colour reference of the e-paper panels (Debian's python3-pil).

    epaper_reference.py IN.png OUT RRGGBB,RRGGBB,...

OUT gets one byte a pixel, the palette index, rows from the top. The palette
is given to Pillow exactly as listed, without padding.
"""
import sys

from PIL import Image


def main():
    src, out, colours = sys.argv[1], sys.argv[2], sys.argv[3].split(",")
    flat = []
    for c in colours:
        flat += [int(c[0:2], 16), int(c[2:4], 16), int(c[4:6], 16)]
    palette = Image.new("P", (1, 1))
    palette.putpalette(flat)
    picture = Image.open(src).convert("RGB")
    indices = picture.quantize(palette=palette, dither=Image.Dither.NONE)
    with open(out, "wb") as f:
        f.write(indices.tobytes())
    return 0


if __name__ == "__main__":
    sys.exit(main())
