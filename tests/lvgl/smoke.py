#!/usr/bin/env python3
"""Checks that each link of the LVGL harness works, by running clients.

    smoke.py label CLIENT FONT TEXT       the label's pixels are the glyphs of the
                                          dump, placed by their advances and kerning
    smoke.py converter-metrics CLIENT FONT INFO.json
                                          glyphs equal lv_font_conv's own account (--format dump)
    smoke.py same-dump FONT CLIENT...     every client dumps FONT alike
    smoke.py make-png OUT.png             writes the test picture of the image checks, pixel()
    smoke.py image CLIENT IMAGE           the drawn picture is pixel() on black and white
    smoke.py v8-image-file CLIENT         the same, from a v8 binary image (32-bit colour, alpha)
    smoke.py indexed CLIENT IMAGE BITS    an indexed picture draws in at most 2^BITS colours near the picture's
"""
import json
import math
import struct
import subprocess
import sys
import tempfile
import zlib

WIDTH, HEIGHT = 40, 24


def pixel(x, y):
    """(r, g, b, a) of the test picture at x, y: colour bars on top, an alpha
    ramp in the middle rows, a transparent band at the bottom."""
    r = (x * 255) // (WIDTH - 1)
    g = (y * 255) // (HEIGHT - 1)
    if y < 8:
        a = 255
    elif y < 16:
        a = (x * 255) // (WIDTH - 1)
    else:
        a = 0 if x % 2 else 128
    return r, g, 255 - r, a


def make_png(path):
    raw = b"".join(b"\0" + bytes(c for x in range(WIDTH) for c in pixel(x, y)) for y in range(HEIGHT))

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))

    header = struct.pack(">IIBBBBB", WIDTH, HEIGHT, 8, 6, 0, 0, 0)
    with open(path, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(raw)) +
                chunk(b"IEND", b""))


def run(*args):
    done = subprocess.run(args, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
    if done.returncode != 0:
        sys.exit(f"{' '.join(args)}: exit {done.returncode}\n{done.stdout}")
    return done.stdout


def read_ppm(path):
    with open(path, "rb") as f:
        data = f.read()
    magic, w, h, maxval, rest = data.split(maxsplit=4)
    assert magic == b"P6" and maxval == b"255", path
    w, h = int(w), int(h)
    assert len(rest) == w * h * 3, path
    return w, h, [tuple(rest[i:i + 3]) for i in range(0, len(rest), 3)]


def read_dump(path):
    """The dump's font line as a dict, glyphs by code, kerning by pair."""
    font, glyphs, kern = {}, {}, {}
    with open(path) as f:
        for line in f:
            kind, *fields = line.split()
            if kind == "font":
                font = {k: int(v) for k, v in (x.split("=") for x in fields)}
            elif kind == "glyph":
                g = dict(x.split("=") for x in fields[1:])
                w, h = map(int, g["box"].split("x"))
                ox, oy = map(int, g["ofs"].split(","))
                px = bytes.fromhex(g["px"])
                assert len(px) == w * h, line
                glyphs[int(fields[0][2:], 16)] = dict(adv=int(g["adv"]), adv16=int(g["adv16"]), w=w, h=h, ox=ox,
                                                     oy=oy, bpp=int(g["bpp"]), px=px)
            elif kind == "kern":
                kern[(int(fields[0][2:], 16), int(fields[1][2:], 16))] = int(fields[2])
    return font, glyphs, kern


def check_label(client, font, text):
    with tempfile.TemporaryDirectory() as tmp:
        codes = ",".join(str(ord(c)) for c in sorted(set(text)))
        run(client, "dump", font, "--codes", codes, "--kerning", codes, "-o", f"{tmp}/dump.txt")
        run(client, "label", font, text, "-o", f"{tmp}/label.ppm")
        info, glyphs, kern = read_dump(f"{tmp}/dump.txt")
        w, h, px = read_ppm(f"{tmp}/label.ppm")

    # White on black: LVGL blends each glyph's coverage over what is there.
    want = [0] * (w * h)
    x = 8
    for i, c in enumerate(text):
        g = glyphs[ord(c)]
        k = kern.get((ord(c), ord(text[i + 1])), 0) if i + 1 < len(text) else 0
        top = 8 + info["line_height"] - info["base_line"] - g["h"] - g["oy"]
        for gy in range(g["h"]):
            for gx in range(g["w"]):
                cov = g["px"][gy * g["w"] + gx]
                at = (top + gy) * w + x + g["ox"] + gx
                want[at] = want[at] + (255 - want[at]) * cov // 255
        x += (g["adv16"] + k + 8) >> 4
    assert any(want), f"no ink expected for {text!r}"
    bad = [(i % w, i // w, px[i], want[i]) for i in range(w * h)
           if max(abs(ch - want[i]) for ch in px[i]) > (0 if want[i] in (0, 255) else 2)]
    assert not bad, f"{len(bad)} pixels differ from the glyphs; first (x, y, drawn, expected): {bad[:5]}"
    kerned = {p: v for p, v in kern.items() if p[0] != p[1]}
    print(f"label {text!r}: {w}x{h}, ink where the glyphs say; kerning in it: {kerned}")


def check_converter_metrics(client, font, info_path):
    with open(info_path) as f:
        info = json.load(f)
    with tempfile.TemporaryDirectory() as tmp:
        codes = ",".join(str(g["code"]) for g in info["glyphs"])
        run(client, "dump", font, "--codes", codes, "-o", f"{tmp}/dump.txt")
        _, glyphs, _ = read_dump(f"{tmp}/dump.txt")
    for want in info["glyphs"]:
        g = glyphs[want["code"]]
        box = want["bbox"]
        # lv_font_conv rounds halves up (JavaScript's Math.round).
        expected = dict(adv16=math.floor(want["advanceWidth"] * 16 + 0.5), w=box["width"], h=box["height"], ox=box["x"],
                        oy=box["y"])
        got = {k: g[k] for k in expected}
        assert got == expected, f"U+{want['code']:04X}: LVGL decodes {got}, lv_font_conv wrote {expected}"
        assert any(g["px"]), f"U+{want['code']:04X} decodes without ink"
        print(f"U+{want['code']:04X}: {got}, as lv_font_conv wrote it")


def check_same_dump(font, clients):
    dumps = []
    with tempfile.TemporaryDirectory() as tmp:
        for i, client in enumerate(clients):
            run(client, "dump", font, "-o", f"{tmp}/{i}.txt")
            with open(f"{tmp}/{i}.txt") as f:
                dumps.append(f.read())
    for client, dump in zip(clients[1:], dumps[1:]):
        assert dump == dumps[0], f"{client} decodes {font} differently from {clients[0]}"
    print(f"{font}: {dumps[0].count('glyph ')} glyphs, {dumps[0].count('kern ')} kerning pairs, "
          f"alike in {len(clients)} clients")


def check_image(client, image, write=None):
    for bg in (0, 255):
        with tempfile.TemporaryDirectory() as tmp:
            if write:
                image = write(tmp)
            run(client, "image", image, "--bg", f"{bg:02X}" * 3, "-o", f"{tmp}/image.ppm")
            w, h, px = read_ppm(f"{tmp}/image.ppm")
        assert (w, h) == (WIDTH, HEIGHT), f"drawn {w}x{h}"
        bad = []
        for y in range(h):
            for x in range(w):
                *rgb, a = pixel(x, y)
                want = [(c * a + bg * (255 - a)) / 255 for c in rgb]
                slack = 0 if a in (0, 255) else 2
                if max(abs(d - e) for d, e in zip(px[y * w + x], want)) > slack:
                    bad.append((x, y, px[y * w + x], pixel(x, y)))
        assert not bad, f"on {bg}: {len(bad)} pixels differ from the picture; first: {bad[:5]}"
        print(f"{image} on {bg:02X}{bg:02X}{bg:02X}: {w}x{h}, the picture's pixels")


def check_indexed(client, image, bits):
    """The opaque rows of an indexed picture on black: few colours, each
    pixel near the picture's (a palette of 2^BITS colours for all of it)."""
    with tempfile.TemporaryDirectory() as tmp:
        run(client, "image", image, "-o", f"{tmp}/image.ppm")
        w, h, px = read_ppm(f"{tmp}/image.ppm")
    assert (w, h) == (WIDTH, HEIGHT), f"drawn {w}x{h}"
    opaque = [(x, y) for y in range(h) for x in range(w) if pixel(x, y)[3] == 255]
    colours = {px[y * w + x] for x, y in opaque}
    error = max(max(abs(a - b) for a, b in zip(px[y * w + x], pixel(x, y))) for x, y in opaque)
    assert 1 < len(colours) <= 2**int(bits), f"{len(colours)} colours in the opaque part"
    assert error <= 64, f"a pixel is {error} levels off the picture"
    print(f"{image}: {len(colours)} colours in the opaque part, at most {error} levels off")


def write_v8_image(folder):
    """The picture as an LVGL v8 file: a 32-bit header (colour format 5,
    true colour with alpha; 11 bits each of width and height), then B, G, R, A
    a pixel, as a build with 32-bit colour reads it."""
    w, h = WIDTH, HEIGHT
    data = bytearray((5 | w << 10 | h << 21).to_bytes(4, "little"))
    for y in range(h):
        for x in range(w):
            r, g, b, a = pixel(x, y)
            data += bytes((b, g, r, a))
    with open(f"{folder}/v8.bin", "wb") as f:
        f.write(data)
    return f"file:{folder}/v8.bin"


if __name__ == "__main__":
    what, *args = sys.argv[1:]
    {"make-png": make_png, "label": check_label, "converter-metrics": check_converter_metrics,
     "same-dump": lambda font, *clients: check_same_dump(font, clients), "image": check_image, "indexed": check_indexed,
     "v8-image-file": lambda client: check_image(client, None, write_v8_image)}[what](*args)
