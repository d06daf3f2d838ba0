#!/usr/bin/env python3
"""Draws the program's icon at the large sizes and as SVG.

    scripts/draw-icons.py

The icon is the character 字 as 12 x 12 glyph cells, yellow on a blue grid in
a dark frame: the hand-drawn 16, 32 and 48 px pictures in src/app/icons show
it, and this script draws the same design as zentraq.svg and, with
ImageMagick, as zentraq-64/128/256.png with every edge on whole pixels. Run it
after changing the design and commit the results; the build does not run it.
"""

import os
import subprocess

ICONS = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "src", "app", "icons")

FRAME, BORDER, GRID, CELL, INK = "#0A1432", "#182C5C", "#2C4E96", "#203C78", "#FFBE28"

# The 48 px design: a 1 px frame, a 3 px border, then 12 x 12 cells over 40 px.
DESIGN = 48
FRAME_W, BORDER_W, CELLS = 1, 3, 12
GRID_START, GRID_END = FRAME_W + BORDER_W, DESIGN - FRAME_W - BORDER_W
LINE = 0.75  # width of a grid line, in design pixels

# 字 as (column, row, columns, rows) runs of glyph cells.
GLYPH = [
    (5, 1, 2, 1),
    (2, 2, 8, 1), (2, 3, 1, 1), (9, 3, 1, 1),
    (4, 4, 4, 1), (7, 5, 1, 1),
    (6, 6, 1, 5), (2, 7, 8, 1),
    (5, 10, 1, 1),
]


def cell_edge(k, scale, snap):
    """Position of the k-th grid line at the given scale."""
    x = (GRID_START + k * (GRID_END - GRID_START) / CELLS) * scale
    return round(x) if snap else x


def rectangles(scale, snap):
    """(x0, y0, x1, y1, colour) in drawing order; x1 and y1 exclusive."""
    s = (lambda v: round(v * scale)) if snap else (lambda v: v * scale)
    line = max(1, round(LINE * scale)) if snap else LINE * scale
    end = s(DESIGN)
    rects = [
        (0, 0, end, end, FRAME),
        (s(FRAME_W), s(FRAME_W), end - s(FRAME_W), end - s(FRAME_W), BORDER),
        (s(GRID_START), s(GRID_START), s(GRID_END), s(GRID_END), CELL),
    ]
    for k in range(CELLS):
        e = cell_edge(k, scale, snap)
        rects.append((e, s(GRID_START), e + line, s(GRID_END), GRID))  # vertical line
        rects.append((s(GRID_START), e, s(GRID_END), e + line, GRID))  # horizontal line
    for col, row, cols, rows in GLYPH:
        rects.append((cell_edge(col, scale, snap), cell_edge(row, scale, snap),
                      cell_edge(col + cols, scale, snap), cell_edge(row + rows, scale, snap), INK))
    return rects


def svg():
    def n(v):
        return ("%.4f" % v).rstrip("0").rstrip(".")

    body = "\n".join(
        '  <rect x="%s" y="%s" width="%s" height="%s" fill="%s"/>' % (n(x0), n(y0), n(x1 - x0), n(y1 - y0), c)
        for x0, y0, x1, y1, c in rectangles(1.0, snap=False))
    return ('<svg xmlns="http://www.w3.org/2000/svg" version="1.1" width="%d" height="%d" viewBox="0 0 %d %d">\n'
            "%s\n</svg>\n" % (DESIGN, DESIGN, DESIGN, DESIGN, body))


def png(size, path):
    draw = []
    for x0, y0, x1, y1, colour in rectangles(size / DESIGN, snap=True):
        draw += ["-fill", colour, "-draw", "rectangle %d,%d %d,%d" % (x0, y0, x1 - 1, y1 - 1)]
    subprocess.run(["convert", "-size", "%dx%d" % (size, size), "xc:none", "+antialias", *draw,
                    "-strip", "-define", "png:exclude-chunks=date,time", "PNG32:" + path], check=True)


def main():
    with open(os.path.join(ICONS, "zentraq.svg"), "w", encoding="utf-8") as f:
        f.write(svg())
    for size in (64, 128, 256):
        png(size, os.path.join(ICONS, "zentraq-%d.png" % size))


if __name__ == "__main__":
    main()
