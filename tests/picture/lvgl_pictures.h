#pragma once

// The pictures the LVGL image checks convert: "opaque" (no transparency),
// "partial" (every alpha from 0 to 255) and "binary" (a disc, the rest fully
// transparent, its transparent pixels still carrying a colour). Odd sizes,
// so that sub-byte rows end inside a byte, and runs of equal pixels, so that
// RLE repeats as well as copies.

#include <QImage>
#include <QStringList>

namespace zentraq::testing {

inline QStringList lvglPictureKinds() {
    return {QStringLiteral("opaque"), QStringLiteral("partial"), QStringLiteral("binary")};
}

inline QImage lvglPicture(const QString& kind) {
    const bool opaque = kind == u"opaque";
    QImage p(opaque ? 23 : 29, opaque ? 11 : 9, QImage::Format_ARGB32);
    for (int y = 0; y < p.height(); ++y)
        for (int x = 0; x < p.width(); ++x) {
            const int r = (x * 255) / (p.width() - 1), g = (y * 255) / (p.height() - 1);
            const int b = (x * 37 + y * 91) % 256;
            int a = 255;
            if (kind == u"partial")
                a = (x + y * p.width()) * 255 / (p.width() * p.height() - 1);
            else if (kind == u"binary")
                a = (x - 14) * (x - 14) + (y - 4) * (y - 4) * 4 < 100 ? 255 : 0;
            if (y == 2 || x < 3)
                p.setPixel(x, y, qRgba(200, 30, 60, a == 0 ? 0 : 255));
            else
                p.setPixel(x, y, qRgba(r, g, b, a));
        }
    return p;
}

} // namespace zentraq::testing
