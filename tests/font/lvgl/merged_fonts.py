#!/usr/bin/env python3
"""Fonts of several face groups against lv_font_conv 1.5.3.

    merged_fonts.py ZENTRAQ_CLI WORKDIR [LV_FONT_CONV]

For each case below, zentraq-cli makes the LVGL C font for LVGL 9 and 8;
its data apart from comments and names (lvgl_c_data.py) must equal
lv_font_conv's for the same faces and options. With LV_FONT_CONV the two
are compared directly; the digests of lv_font_conv's data, recorded below
from its output once, check ours everywhere else (a run with LV_FONT_CONV
prints the digest of a case whose data are equal and not recorded). Exit 77
(skipped) without the faces.
"""
import os
import subprocess
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import lvgl_c_data  # noqa: E402

SANS = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf"
SERIF = "/usr/share/fonts/truetype/dejavu/DejaVuSerif.ttf"
AWESOME = "/usr/share/fonts/opentype/font-awesome/FontAwesome.otf"


def groups_icons(bpp):
    # DejaVu Sans ASCII, DejaVu Serif Latin-1 and the digits (the later group
    # gives them), three FontAwesome icons moved to U+E000, a fallback font.
    return (["--font", SANS, "-r", "0x20-0x7E", "--font", SERIF, "-r", "0x30-0x39,0xA0-0xFF",
             "--font", AWESOME, "-r", "0xF001-0xF003=>0xE000", "--size", "16", "--bpp", bpp,
             "--lv-fallback", "font_cjk_16"])


CASES = {
    # name: (lv_font_conv's arguments; zentraq-cli takes them too, as
    # --font-file, --range and --name)
    "icons_1": groups_icons("1"),
    "icons_4": groups_icons("4"),
    # Per-face autohinting: strong for Sans, off (the face's own hinting)
    # for Serif.
    "autohint_4": ["--font", SANS, "-r", "0x20-0x7E", "--autohint-strong", "--font", SERIF,
                   "-r", "0xA0-0xFF", "--autohint-off", "--size", "16", "--bpp", "4"],
    "autohint_1": ["--font", SANS, "-r", "0x20-0x7E", "--autohint-strong", "--font", SERIF,
                   "-r", "0xA0-0xFF", "--autohint-off", "--size", "16", "--bpp", "1"],
    # One file in two groups: its glyphs kern together.
    "twice_4": ["--font", SERIF, "-r", "0x20-0x7E", "--font", SANS, "-r", "0x41-0x4D",
                "--font", SERIF, "-r", "0xC0-0xFF", "--size", "20", "--bpp", "4"],
}

# sha256 of lvgl_c_data.py's dump of lv_font_conv 1.5.3's font, for LVGL 9
# and 8.
GOLDEN = {
    "icons_1": (
        'a075f2eb795747629de40c79750146302a6eed11666f2c09f4b2e0f755bd5b2c',
        '17805343f1496697b9af100fe6899db6b5f88a692432f35a122f763db94ad1f2'),
    "icons_4": (
        'a6efaef5b38008d40458b757cdabcca37a63df7d747d8c65a2aa6a326c2c93a4',
        '5f124c09cfc153f4d8781542dbd5afeb21c016f3469a52b855953fe91386c0a0'),
    "autohint_4": (
        '7ef13356dfd133b6bb26401801456b0fda0ab610b01a24096d01844a90203a92',
        '996bfe1672e6863a0bed59be7aa962fd6fc8302ac3c8371d1b6d3a20c83ac11c'),
    "autohint_1": (
        '4de9d91e84389c96f271c2e4f5a1c85ed32a9399dd5d96189d102e9faf622e43',
        '22fcb2334a862f75bebfcce7eebe743517a17dffc6621109dbf21cb722650c74'),
    "twice_4": (
        '9721cc087591ddf568e265948a007f5c2c718176cee1a05d19ab4dd96dc82841',
        '4c02049e1046c8f4824dd26a3bae045836befd29ab73f975f932d9b7dcaeb953'),
}


def ours_args(args, name):
    out = []
    for a in args:
        out.append({"--font": "--font-file", "-r": "--range"}.get(a, a))
    # DejaVu Sans keeps its Latin kerning under latn, which lv_font_conv
    # does not read.
    return out + ["--kerning", "lvgl-compatible", "--name", name]


def make_ref(lv_font_conv, args, path):
    subprocess.run([lv_font_conv] + args + ["--format", "lvgl", "--lv-font-name", "ref",
                                            "-o", path], check=True, capture_output=True)


def main(argv):
    for face in (SANS, SERIF, AWESOME):
        if not os.path.exists(face):
            print("skipped: %s not found (scripts/install-deps.sh)" % face)
            return 77
    if len(argv) not in (3, 4):
        print(__doc__, file=sys.stderr)
        return 2
    cli, work = argv[1], argv[2]
    lv_font_conv = argv[3] if len(argv) == 4 and argv[3] else None
    os.makedirs(work, exist_ok=True)
    failed = 0
    for case, args in CASES.items():
        ref = None
        if lv_font_conv:
            ref = os.path.join(work, "ref_%s.c" % case)
            make_ref(lv_font_conv, args, ref)
        for i, v in enumerate((9, 8)):
            ours = os.path.join(work, "ours%d_%s.c" % (v, case))
            subprocess.run([cli, "font"] + ours_args(args, "ours_" + case) +
                           ["--lvgl", str(v), "-q", "-o", ours], check=True)
            what = "%s, LVGL %d" % (case, v)
            if ref:
                same, why = lvgl_c_data.compare(ref, ours, v)
                print("%s: %s against lv_font_conv: %s" % (what, "equal" if same else "DIFFER", why))
                failed += not same
            digest = lvgl_c_data.digest(ours, v)
            recorded = GOLDEN.get(case, (None, None))[i]
            if digest != recorded:
                print("%s: digest %s, lv_font_conv's recorded %s" % (what, digest, recorded))
                failed += 1
    if not lv_font_conv:
        print("lv_font_conv not given: checked against its recorded digests only")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
