#!/usr/bin/python3
# The expected samples of test_pixelformat's dithering cases, worked out from
# the rules written in pixelformat.h with exact fractions and brute-force
# searches, independently of the quantiser's integer tables. Run once by hand
# when a case is added: /usr/bin/python3 dither_reference.py
from fractions import Fraction as F
import math

BAYER = [[0, 8, 2, 10], [12, 4, 14, 6], [3, 11, 1, 9], [15, 7, 13, 5]]

def widen(q, n):
    # repeat the n-bit pattern as a bit string, take the first 8 bits
    bits = format(q, '0%db' % n) * 8
    return int(bits[:8], 2)

def luma(r, g, b):
    return (299 * r + 587 * g + 114 * b + 500) // 1000

def nearest(v, n):
    levels = [widen(q, n) for q in range(2 ** n)]
    best = None
    for q, w in enumerate(levels):
        d = abs(v - w)
        if best is None or d < best[0] or (d == best[0] and q > best[1]):
            best = (d, q)
    return best[1]

def fs(values, n, threshold=None):
    """values: rows of channel values; returns rows of levels"""
    h, w = len(values), len(values[0])
    err = [[F(0)] * w for _ in range(h)]
    out = [[0] * w for _ in range(h)]
    for y in range(h):
        for x in range(w):
            add = math.floor(err[y][x] + F(1, 2))  # round, halves up
            v = min(255, max(0, values[y][x] + add))
            if threshold is None:
                q = nearest(v, n)
                shown = widen(q, n)
            else:
                q = 1 if v >= threshold else 0
                shown = 255 * q
            e = v - shown
            out[y][x] = q
            for dx, dy, wt in ((1, 0, 7), (-1, 1, 3), (0, 1, 5), (1, 1, 1)):
                if 0 <= x + dx < w and y + dy < h:
                    err[y + dy][x + dx] += F(wt * e, 16)
    return out

def bayer(values, n, threshold=None):
    L = 2 ** n - 1
    out = []
    for y, row in enumerate(values):
        o = []
        for x, v in enumerate(row):
            if threshold is not None:
                v = v + 128 - threshold
            m = BAYER[y % 4][x % 4]
            q = math.floor(F(v * L, 255) + F(2 * m + 1, 32))
            o.append(min(L, max(0, q)))
        out.append(o)
    return out

# The test pictures
W, H = 8, 4
def grey_picture():
    return [[(min(255, 12 + 33 * x + 8 * y),) * 3 for x in range(W)] for y in range(H)]
def colour_picture():
    return [[(min(255, 36 * x + 3 * y), 90 + 20 * y + x, 250 - 31 * x) for x in range(W)] for y in range(H)]

def grey_case(kind, n, invert=False, threshold=None):
    lum = [[luma(*p) for p in row] for row in grey_picture()]
    lv = (fs if kind == 'fs' else bayer)(lum, n, threshold)
    L = 2 ** n - 1
    if threshold is not None:  # mono: ink bit
        return [[(q if invert else 1 - q) for q in row] for row in lv]
    return [[(L - q if invert else q) for q in row] for row in lv]

def colour_case(kind, bits, shifts):
    pic = colour_picture()
    chans = [[[p[c] for p in row] for row in pic] for c in range(3)]
    lv = [(fs if kind == 'fs' else bayer)(chans[c], bits[c]) for c in range(3)]
    return [[sum(lv[c][y][x] << shifts[c] for c in range(3)) for x in range(W)] for y in range(H)]

def show(name, rows, width=2):
    print(name)
    for r in rows:
        print('    {' + ', '.join('0x%0*X' % (width, v) for v in r) + '},')

show('gray2 fs invert', grey_case('fs', 2, invert=True), 1)
show('gray4 bayer', grey_case('bayer', 4), 1)
show('mono fs t100 invert', grey_case('fs', 1, invert=True, threshold=100), 1)
show('mono bayer t0', grey_case('bayer', 1, threshold=0), 1)
show('rgb565 fs', colour_case('fs', (5, 6, 5), (11, 5, 0)), 4)
show('rgb332 bayer', colour_case('bayer', (3, 3, 2), (5, 2, 0)), 2)
