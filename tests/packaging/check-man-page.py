#!/usr/bin/env python3
"""Reads the man pages as a terminal shows them and checks what a reader meets.

    check-man-page.py zentraq-cli.1[.gz] zentraq.1[.gz]

zentraq-cli's page is made from the README: each option of its OPTIONS section
must read as plain text, so an entry that still carries Markdown or roff
escapes fails: a backtick anywhere in an entry, a backslash in the line that
names the option. The options with alternatives (`--dither none|...`) must
show them joined by "|". The window's page must name every picture format the
window loads, the metafiles too.
"""

import os
import re
import subprocess
import sys


def render(page):
    env = dict(os.environ, LC_ALL="C.UTF-8", MANWIDTH="80", MAN_KEEP_FORMATTING="")
    result = subprocess.run(["man", "-P", "cat", "-l", page], env=env, capture_output=True, text=True)
    if result.returncode != 0:
        sys.exit("check-man-page: man -l %s failed: %s" % (page, result.stderr.strip()))
    # Bold and underline as overstrikes, where a man build still writes them.
    return re.sub(r".\x08", "", result.stdout)


def option_entries(text):
    """The entries of the OPTIONS section: (the lines that name the option,
    the lines that describe it). An entry is a block whose names stand at the
    section's indent of 7 and whose description is indented deeper; a block
    without deeper lines is a paragraph of the section."""
    lines = text.splitlines()
    try:
        start = lines.index("OPTIONS") + 1
    except ValueError:
        sys.exit("check-man-page: the page has no OPTIONS section")
    blocks, block = [], []
    for line in lines[start:] + [""]:
        if line and not line.startswith(" "):
            break  # the next section
        if line.strip():
            block.append(line)
        elif block:
            blocks.append(block)
            block = []
    if block:
        blocks.append(block)
    entries = []
    for block in blocks:
        deep = [i for i, line in enumerate(block) if len(line) - len(line.lstrip()) > 7]
        if deep and deep[0] > 0:
            entries.append(([l.strip() for l in block[: deep[0]]], [l.strip() for l in block[deep[0]:]]))
    return entries


def check_cli(page):
    failures = []
    entries = option_entries(render(page))
    if len(entries) < 30:
        failures.append("only %d option entries found" % len(entries))
    for names, description in entries:
        name = " ".join(names)
        if "\\" in name or "`" in name:
            failures.append("option entry '%s' carries markup" % name)
        for line in description:
            if "`" in line:
                failures.append("option entry '%s' carries a backtick: %s" % (name, line))
    # A name that fills its line is spread to the margin: its words count.
    named = {" ".join(" ".join(n).split()) for n, _ in entries}
    # One of each form the alternatives take: a word list, numbers, a
    # command list with a second group.
    for want in [
        "--dither none|floyd-steinberg|bayer4 (picture)",
        "--color-depth 16|16-swap|32 (picture, preview)",
        "--scan row|column|page|band (glyph, library, preview; picture)",
        "--format lvgl|lvgl-bin|lvgl-flash|gfx|vlw|vlw-c|u8g2|u8g2-bin|bdf (font)",
    ]:
        if want not in named:
            failures.append("no option entry reads '%s'" % want)
    return failures


def check_window(page):
    text = " ".join(render(page).split())
    match = re.search(r"loads a picture \(([^)]*)\)", text)
    if not match:
        return ["the window's page does not say which pictures it loads"]
    listed = {f.strip() for f in match.group(1).replace(" and ", ", ").split(",")}
    return ["the window's page does not list %s among the pictures it loads" % f
            for f in ["BMP", "GIF", "JPEG", "PNG", "ICO", "CUR", "TIFF", "WebP", "WMF", "EMF"]
            if f not in listed]


def main():
    if len(sys.argv) != 3:
        sys.exit("usage: check-man-page.py zentraq-cli.1[.gz] zentraq.1[.gz]")
    failures = check_cli(sys.argv[1]) + check_window(sys.argv[2])
    for f in failures:
        print("FAIL: " + f)
    if failures:
        sys.exit(1)
    print("man pages: every option entry is plain text; the window's page lists every format")


if __name__ == "__main__":
    main()
