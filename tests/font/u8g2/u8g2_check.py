#!/usr/bin/env python3
"""Checks of u8g2 fonts and bitmap faces against their references.

    u8g2_check.py same REF OURS [--ignore-total]
        the files are equal byte for byte (--ignore-total: but for the count
        of the source file's glyphs in the header comment's "Glyphs: n/TOTAL")
    u8g2_check.py draw CLIENT OURS REF SAMPLE.png TEXT
        u8g2 draws TEXT with the fonts OURS and REF pixel for pixel alike, and
        as the tool's --sample-output SAMPLE.png shows it
    u8g2_check.py lvgl-bdf CLIENT FONT FACE.bdf
        every glyph LVGL decodes from FONT is the BDF glyph of its code:
        advance, box, offsets, and every pixel none or full
    u8g2_check.py library-bdf LIBRARY CHARS FACE.bdf SIZE
        each SIZE x SIZE cell of the library (rows run on, first pixel in the
        lowest bit) holds the BDF glyph of its character: the same ink, on
        the cell's common base line unless moved into the cell
"""
import os
import re
import subprocess
import sys
import tempfile
import zlib


def same(ref, ours, ignore_total):
    a, b = open(ref, "rb").read(), open(ours, "rb").read()
    if ignore_total:
        total = re.compile(rb"^(  Glyphs: \d+)/\d+$", re.M)
        a, b = total.sub(rb"\1/-", a, 1), total.sub(rb"\1/-", b, 1)
    if a == b:
        print(f"equal: {len(a)} bytes")
        return
    la, lb = a.split(b"\n"), b.split(b"\n")
    for i, (x, y) in enumerate(zip(la, lb)):
        if x != y:
            sys.exit(f"line {i + 1} differs:\n  {ref}: {x[:200]!r}\n  {ours}: {y[:200]!r}")
    sys.exit(f"{ref} has {len(la)} lines, {ours} {len(lb)}")


def read_png(path):
    """An 8-bit grey or RGB(A) PNG as rows of grey values (the first channel)."""
    data = open(path, "rb").read()
    assert data[:8] == b"\x89PNG\r\n\x1a\n", path
    at, idat, w = 8, b"", 0
    while at < len(data):
        n = int.from_bytes(data[at:at + 4], "big")
        kind, body = data[at + 4:at + 8], data[at + 8:at + 8 + n]
        if kind == b"IHDR":
            w, h, depth, colour = int.from_bytes(body[:4], "big"), int.from_bytes(body[4:8], "big"), body[8], body[9]
            assert depth == 8 and body[12] == 0, f"{path}: only 8-bit PNGs without interlace"
            channels = {0: 1, 2: 3, 4: 2, 6: 4}[colour]
        elif kind == b"IDAT":
            idat += body
        at += 12 + n
    raw, rows, prev = zlib.decompress(idat), [], bytearray(w * channels)
    stride = w * channels
    for y in range(h):
        f, line = raw[y * (stride + 1)], bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        for i in range(stride):
            a = line[i - channels] if i >= channels else 0
            b, c = prev[i], prev[i - channels] if i >= channels else 0
            if f == 1:
                line[i] = (line[i] + a) & 255
            elif f == 2:
                line[i] = (line[i] + b) & 255
            elif f == 3:
                line[i] = (line[i] + (a + b) // 2) & 255
            elif f == 4:
                p = a + b - c
                pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
                line[i] = (line[i] + (a if pa <= pb and pa <= pc else b if pb <= pc else c)) & 255
        rows.append([line[x * channels] for x in range(w)])
        prev = line
    return w, h, rows


def read_pbm(path):
    words = open(path).read().split()
    assert words[0] == "P1", path
    w, h = int(words[1]), int(words[2])
    bits = [int(v) for v in words[3:]]
    return w, h, [bits[y * w:(y + 1) * w] for y in range(h)]


def draw(client, ours, ref, png, text):
    w, h, sample = read_png(png)
    with tempfile.TemporaryDirectory() as tmp:
        drawn = {}
        for font in (ours, ref):
            out = os.path.join(tmp, font + ".pbm")
            subprocess.run([client, font, text, str(w), str(h), "-o", out], check=True)
            drawn[font] = read_pbm(out)
    if drawn[ours] != drawn[ref]:
        sys.exit(f"u8g2 draws '{text}' with {ours} and with {ref} differently")
    dw, dh, pixels = drawn[ours]
    ink = 0
    for y in range(dh):
        for x in range(dw):
            want = 1 if x < w and y < h and sample[y][x] < 128 else 0
            if pixels[y][x] != want:
                sys.exit(f"pixel {x},{y}: u8g2 draws {pixels[y][x]}, the sample shows {want}")
            ink += want
    if ink == 0:
        sys.exit("nothing was drawn")
    print(f"equal: {w} x {h} pixels, {ink} of them ink")


def read_bdf(path):
    """Glyphs by code: dwidth, (w, h, x, y) and the set of ink pixels (column, row from the top)."""
    glyphs, g, rows = {}, None, None
    for line in open(path, encoding="latin-1"):
        words = line.split()
        if not words:
            continue
        if rows is not None:
            if words[0] == "ENDCHAR":
                glyphs[g["code"]] = g
                g, rows = None, None
                continue
            bits = int(words[0], 16)
            n = len(words[0]) * 4
            for x in range(n):
                if bits >> (n - 1 - x) & 1:
                    g["ink"].add((x, rows))
            rows += 1
        elif words[0] == "STARTCHAR":
            g = {"ink": set()}
        elif g is not None and words[0] == "ENCODING":
            g["code"] = int(words[1])
        elif g is not None and words[0] == "DWIDTH":
            g["dwidth"] = int(words[1])
        elif g is not None and words[0] == "BBX":
            g["box"] = tuple(int(v) for v in words[1:5])
        elif g is not None and words[0] == "BITMAP":
            rows = 0
    return glyphs


def lvgl_bdf(client, font, bdf):
    glyphs = read_bdf(bdf)
    with tempfile.TemporaryDirectory() as tmp:
        dump = os.path.join(tmp, "dump.txt")
        subprocess.run([client, "dump", font, "-o", dump], check=True)
        lines = [line.split() for line in open(dump) if line.startswith("glyph ")]
    if not lines:
        sys.exit(f"{font} has no glyphs")
    for words in lines:
        code = int(words[1][2:], 16)
        d = dict(w.split("=") for w in words[2:])
        g = glyphs.get(code)
        if g is None:
            sys.exit(f"U+{code:04X} is in {font} but not in {bdf}")
        bw, bh, bx, by = g["box"]
        w, h = map(int, d["box"].split("x"))
        ox, oy = map(int, d["ofs"].split(","))
        if (w, h, ox, oy, int(d["adv"])) != (bw, bh, bx, by, g["dwidth"]):
            sys.exit(f"U+{code:04X}: LVGL box {w}x{h} at {ox},{oy}, advance {d['adv']}; "
                 f"BDF BBX {bw} {bh} {bx} {by}, DWIDTH {g['dwidth']}")
        px = bytes.fromhex(d["px"])
        for y in range(h):
            for x in range(w):
                want = 255 if (x, y) in g["ink"] else 0
                if px[y * w + x] != want:
                    sys.exit(f"U+{code:04X}: pixel {x},{y} is {px[y * w + x]}, the BDF says {want}")
    print(f"equal: {len(lines)} glyphs")


def trimmed(ink):
    if not ink:
        return None, set()
    x0, y0 = min(x for x, _ in ink), min(y for _, y in ink)
    return (x0, y0), {(x - x0, y - y0) for x, y in ink}


def library_bdf(library, chars, bdf, size):
    glyphs = read_bdf(bdf)
    codes = sorted(set(ord(c) for c in open(chars, encoding="utf-8").read() if ord(c) >= 32))
    data = open(library, "rb").read()
    cell = (size * size + 7) // 8
    if len(data) != cell * len(codes):
        sys.exit(f"{library} holds {len(data)} bytes, {len(codes)} cells of {cell} expected")
    baselines, placed = {}, []
    for i, code in enumerate(codes):
        bits = data[i * cell:(i + 1) * cell]
        ink = {(p % size, p // size) for p in range(size * size) if bits[p // 8] >> (p % 8) & 1}
        at, shape = trimmed(ink)
        g = glyphs[code]
        bw, bh, bx, by = g["box"]
        gat, gshape = trimmed(g["ink"])
        if shape != gshape:
            sys.exit(f"U+{code:04X}: the cell's ink is not the BDF glyph's")
        if at is None:
            continue
        top = by + bh - gat[1]  # ink rows above the base line
        height = 1 + max(y for _, y in gshape)
        placed.append((code, at, top, height, bx + gat[0]))
        if 0 < at[1] < size - height:  # not moved into the cell
            baselines[at[1] + top] = baselines.get(at[1] + top, 0) + 1
    if len(baselines) != 1:
        sys.exit(f"the glyphs that are not moved into the cell stand on base lines {sorted(baselines)}")
    base = next(iter(baselines))
    for code, at, top, height, left in placed:
        row = base - top  # moved up into the cell, then down
        if row + height > size:
            row = size - height
        row = max(row, 0)
        if at != (max(left, 0), row):
            sys.exit(f"U+{code:04X}: ink at {at}, expected at {(max(left, 0), row)} (base line {base})")
    print(f"equal: {len(codes)} cells, base line at row {base}")


def main(argv):
    if len(argv) >= 3 and argv[0] == "same":
        return same(argv[1], argv[2], "--ignore-total" in argv[3:])
    if len(argv) == 6 and argv[0] == "draw":
        return draw(*argv[1:])
    if len(argv) == 4 and argv[0] == "lvgl-bdf":
        return lvgl_bdf(*argv[1:])
    if len(argv) == 5 and argv[0] == "library-bdf":
        return library_bdf(argv[1], argv[2], argv[3], int(argv[4]))
    sys.exit(__doc__)


if __name__ == "__main__":
    main(sys.argv[1:])
