#!/usr/bin/env python3
"""Writes the first COUNT ideographs of GB2312 (rows 16 to 87, in code order)
as a UTF-8 text file, a charset for the font tests.

    gb2312_ideographs.py COUNT OUT
"""
import sys

count, out = int(sys.argv[1]), sys.argv[2]
chars = []
for row in range(0xB0, 0xF8):
    for cell in range(0xA1, 0xFF):
        try:
            ch = bytes([row, cell]).decode("gb2312")
        except UnicodeDecodeError:
            continue
        chars.append(ch)
with open(out, "w", encoding="utf-8") as f:
    f.write("".join(chars[:count]))
