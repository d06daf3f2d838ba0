#pragma once

// The encode layer's rules, each written once for every encoder: a pixel
// with alpha laid onto a background, how levels of fewer bits show as 8
// bits, the ordered dither's matrix and how Floyd-Steinberg spreads a
// pixel's error. The pixel formats, the palette quantiser, the e-paper
// panels, the PNG rows and the LVGL read-back all use these. Plain C++.

#include "colour.h"

namespace zentraq::core {

// One channel of a pixel with alpha `a` laid exactly onto a background
// channel: (c * a + bg * (255 - a) + 127) / 255, rounded to nearest, so an
// opaque pixel keeps its value and a transparent one shows the background.
constexpr int compositeChannel(int c, int a, int bg) {
    return (c * a + bg * (255 - a) + 127) / 255;
}

// An unpremultiplied pixel composited exactly onto an opaque background.
constexpr Argb compositePixel(Argb pixel, Argb background) {
    const int a = argbAlpha(pixel);
    return argb(compositeChannel(argbRed(pixel), a, argbRed(background)),
                compositeChannel(argbGreen(pixel), a, argbGreen(background)),
                compositeChannel(argbBlue(pixel), a, argbBlue(background)));
}

// x * a / 255 as the picture box's painter rounds it: (t + t / 256 + 128) /
// 256 for t = x * a. Exact for x or a of 0 or 255.
constexpr int painterMultiply(int x, int a) {
    const int t = x * a;
    return (t + (t >> 8) + 0x80) >> 8;
}

// An unpremultiplied pixel premultiplied as the painter does it.
constexpr Argb painterPremultiplied(Argb pixel) {
    const int a = argbAlpha(pixel);
    return argb(painterMultiply(argbRed(pixel), a), painterMultiply(argbGreen(pixel), a),
                painterMultiply(argbBlue(pixel), a), a);
}

// A premultiplied pixel painted over an opaque background as the picture
// box paints every picture, whichever reader decoded it: each channel c +
// bg * (255 - a) / 255, painter-rounded. An opaque pixel; a transparent one
// leaves the background as it is, whatever its colour channels hold.
constexpr Argb paintedOver(Argb premultiplied, Argb background) {
    if (argbAlpha(premultiplied) == 0)
        return background | 0xFF000000u;
    const int k = 255 - argbAlpha(premultiplied);
    return argb(argbRed(premultiplied) + painterMultiply(argbRed(background), k),
                argbGreen(premultiplied) + painterMultiply(argbGreen(background), k),
                argbBlue(premultiplied) + painterMultiply(argbBlue(background), k));
}

// An unpremultiplied pixel painted onto an opaque background.
constexpr Argb paintedOn(Argb pixel, Argb background) {
    if (argbAlpha(pixel) == 255)
        return pixel;
    return paintedOver(painterPremultiplied(pixel), background);
}

// An unpremultiplied pixel painted onto white: c * a / 255, painter-rounded,
// plus the white that shows through, 255 - a.
constexpr Argb paintedOnWhite(Argb pixel) {
    return paintedOn(pixel, argb(255, 255, 255));
}

// An n-bit level (n from 1 to 8) shown as 8 bits: its bits repeated from the
// top down (5 bits: q << 3 | q >> 2; 6 bits: q << 2 | q >> 4; 4 bits: q * 17;
// 1 bit: q * 255).
constexpr int widenLevel(int q, int n) {
    int v = 0;
    for (int pos = 8 - n; pos > -n; pos -= n)
        v |= pos >= 0 ? q << pos : q >> -pos;
    return v;
}

// The standard 4 x 4 ordered-dither matrix: the threshold rank, 0 to 15, of
// the pixel in row `y` and column `x`.
constexpr int bayer4(int y, int x) {
    constexpr int Matrix[4][4] = {
        {0, 8, 2, 10},
        {12, 4, 14, 6},
        {3, 11, 1, 9},
        {15, 7, 13, 5},
    };
    return Matrix[y & 3][x & 3];
}

// Floyd-Steinberg's error spreading over two rows of error slots, one slot a
// channel of a pixel, a pixel `step` slots apart, with a pixel's slots to
// spare either side. Errors are kept in sixteenths.
//
// What a pixel's channel at `slot` receives: from the row above (`here`) and
// from the pixel to its left (`right`), rounded to whole levels.
constexpr int receivedError(const int* here, int slot, int right) {
    return (here[slot] + right + 8) >> 4;
}

// The error `e` left by a pixel's channel at `slot`: 7/16 to the right (in
// `right`), 3/16 below-left, 5/16 below and 1/16 below-right. Below-right is
// the first error that slot of the next row receives, so it is stored, not
// added.
constexpr void spreadError(int e, int slot, int step, int& right, int* next) {
    right = 7 * e;
    next[slot - step] += 3 * e;
    next[slot] += 5 * e;
    next[slot + step] = e;
}

} // namespace zentraq::core
