#pragma once

// The conversion pipeline: a pixel source gives rows of opaque pixels, a
// sample encoder turns each row into samples, the packer lays the samples
// out as bytes (scan order, bit order, padding, byte order), and a formatter
// streams the bytes to a sink as data text, a C array or binary.
//
// Work goes row by row (or in runs of a row): one call per stage and run,
// never one per pixel, and nothing holds a copy of a picture.

#include "formatter.h"
#include "packer.h"
#include "surface.h"

#include <QImage>
#include <QRgb>

#include <cstdint>
#include <vector>

namespace zentraq::core {

// A point the source does not have (outside its surface). It is not an
// opaque colour, so no encoder takes it for one.
inline constexpr QRgb NoPixel = 0;

// The colour value of a source pixel: 0x00BBGGRR for an opaque pixel,
// InvalidColour for NoPixel.
constexpr Colour colourOf(QRgb pixel) {
    return qAlpha(pixel) == 255 ? rgbColour(qRed(pixel), qGreen(pixel), qBlue(pixel))
                                : InvalidColour;
}

// Pixels in rows: opaque, unless the source says it keeps alpha (AlphaRows).
// A frame may be read more than once, each time from its first row (see
// Packer::passes).
class PixelSource {
public:
    virtual ~PixelSource() = default;
    virtual int width() const = 0;
    virtual int height() const = 0;
    // Pixels x .. x + count - 1 of row y into `out`.
    virtual void read(int y, int x, int count, QRgb* out) = 0;
};

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

// A decoded picture as a picture box shows it: transparent parts composited
// onto `background` exactly as Surface::assign does. Opaque 32-bit pictures
// are read in place; any other picture is composited a strip of rows at a
// time (about `stripBytes`), so no copy of the whole picture is made. The
// picture must stay alive and unchanged.
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
    bool m_direct;
    int m_stripRows;
    int m_stripTop = -1;
    QImage m_strip;
};

// One channel of a pixel with alpha `a` laid exactly onto a background
// channel: (c * a + bg * (255 - a) + 127) / 255, rounded to nearest, so an
// opaque pixel keeps its value and a transparent one shows the background.
constexpr int compositeChannel(int c, int a, int bg) {
    return (c * a + bg * (255 - a) + 127) / 255;
}

// An unpremultiplied pixel composited exactly onto an opaque background.
constexpr QRgb compositePixel(QRgb pixel, QRgb background) {
    const int a = qAlpha(pixel);
    return qRgb(compositeChannel(qRed(pixel), a, qRed(background)),
                compositeChannel(qGreen(pixel), a, qGreen(background)),
                compositeChannel(qBlue(pixel), a, qBlue(background)));
}

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

// Turns one run of pixels into one sample per pixel, each of bits() bits
// (1, 2, 4, 8, 16 or 24). An encoder that keeps state from row to row (error
// diffusion) is given whole rows, top to bottom.
class SampleEncoder {
public:
    virtual ~SampleEncoder() = default;
    virtual int bits() const = 0;
    virtual void encodeRow(const QRgb* pixels, int width, std::uint32_t* samples) = 0;
    // Forgets what earlier rows left: the next row is a frame's first again.
    virtual void restart() {}
};

// Source, encoder, packer and formatter joined for frames of width x height.
// Without a formatter the packed bytes stay in packed() for the caller.
class Pipeline {
public:
    // The layout's bit count is the encoder's. See Packer for `windowBytes`.
    Pipeline(SampleEncoder& encoder, Layout layout, int width, int height, Formatter* out = nullptr,
             qint64 windowBytes = Packer::DefaultWindow);

    // Pixels x .. x + count - 1 of row y of the current frame. When the
    // encoder fails on a pixel, everything before that pixel has still gone
    // through, as if the pixels had been converted one by one.
    void pixels(PixelSource& source, int y, int x, int count);

    // The whole frame from `source`, row by row, and its end: read as many
    // times as the packer needs passes, the encoder restarted for each.
    void frame(PixelSource& source, QByteArrayView label = {});

    // The end of the current frame, or of a pass over it (see
    // Packer::endFrame, Formatter::endFrame).
    void endFrame(QByteArrayView label = {});

    std::vector<std::uint8_t>& packed() { return m_packer.ready(); }
    const Packer& packer() const { return m_packer; }

private:
    void deliver();

    SampleEncoder& m_encoder;
    Packer m_packer;
    Formatter* m_out;
    // Whole-byte samples in a row scan into text: the formatter takes the
    // samples themselves, through its table of word items.
    bool m_sampleText;
    std::vector<QRgb> m_pixels;
    std::vector<std::uint32_t> m_samples;
};

} // namespace zentraq::core
