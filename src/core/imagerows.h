#pragma once

// Pixel sources over Qt's pictures and over drawing surfaces, for the
// conversion pipeline.

#include "pipeline.h"
#include "surface.h"

#include <QImage>
#include <QList>
#include <QRgb>

namespace zentraq::core {

// The width x height pixels at the origin of a drawing surface, each read
// from it afresh; a point outside the surface is NoPixel.
class SurfacePixels : public PixelSource {
public:
    SurfacePixels(const Surface& surface, int width, int height)
        : m_surface(surface), m_width(width), m_height(height) {}
    int width() const override { return m_width; }
    int height() const override { return m_height; }
    void read(int y, int x, int count, QRgb* out) override;

private:
    const Surface& m_surface;
    int m_width;
    int m_height;
};

// A decoded picture as a picture box shows it: transparent parts painted
// onto `background` by core's rule (paintedOn in encode.h), the rule the
// PNG rows of the quick path follow too. 32-bit pictures are read in place;
// any other picture is premultiplied a strip of rows at a time (about
// `stripBytes`), so no copy of the whole picture is made. The picture must
// stay alive and unchanged.
class ImageRows : public PixelSource {
public:
    explicit ImageRows(const QImage& picture, QRgb background = qRgb(255, 255, 255),
                       qsizetype stripBytes = 1 << 20);
    int width() const override { return m_picture.width(); }
    int height() const override { return m_picture.height(); }
    void read(int y, int x, int count, QRgb* out) override;

private:
    const QImage& m_picture;
    QRgb m_background;
    int m_stripRows;
    int m_stripTop = -1;
    QImage m_strip;
};

// A decoded picture with its alpha kept: every pixel unpremultiplied ARGB
// (QRgb with its alpha). 32-bit, indexed and grey pictures are read in place;
// any other picture is converted a strip of rows at a time (about
// `stripBytes`). The picture must stay alive and unchanged.
class AlphaRows : public PixelSource {
public:
    explicit AlphaRows(const QImage& picture, qsizetype stripBytes = 1 << 20);
    int width() const override { return m_picture.width(); }
    int height() const override { return m_picture.height(); }
    void read(int y, int x, int count, QRgb* out) override;

private:
    const QImage& m_picture;
    QList<QRgb> m_table; // indexed pictures: the colour table, 256 entries
    int m_stripRows;
    int m_stripTop = -1;
    QImage m_strip;
};

// `picture` as ImageRows reads it, as an opaque picture without a second copy
// of its pixels: a picture of 32 bits a pixel or more composited in place
// into Format_RGB32 (pass it by moving, so its pixels are not shared), an
// indexed picture with its colour table composited, a grey one as it is.
// Pictures of 1, 16 or 24 bits a pixel become one converted Format_RGB32
// copy. Throws RuntimeError when the memory cannot be had.
QImage opaquePicture(QImage picture, QRgb background = qRgb(255, 255, 255));

} // namespace zentraq::core
