#pragma once

// A picture as a display's pixel data: fitted to the display, each pixel
// encoded in the display's format and the samples laid out as bytes, in one
// pass of the conversion pipeline. Without settings it is the window's
// temp.txt: RGB565, low byte first, rows from the top.

#include "pipeline.h"
#include "pixelformat.h"
#include "transform.h"

#include <QImage>
#include <QSize>
#include <QStringList>

#include <memory>

namespace zentraq::rgbqumo {

struct DataSettings {
    PixelFormat pixel = PixelFormat::Rgb565;
    DitherMode dither = DitherMode::None;
    int threshold = DefaultThreshold;
    bool invert = false;        // grey formats: 0 is white; mono: ink is light
    bool highByteFirst = false; // 16-bit formats
    core::Layout layout;        // scan, padding and bit order of the packed formats
    Fitting fitting;
    // What transparent parts, and the canvas around a contained picture,
    // are laid onto; the window's white by default.
    QRgb background = 0xFFFFFFFF;
};

// The layout of the data: `settings.layout` with the format's bits and byte
// order (a 3-byte sample, 0xB1B2B3, always has its first byte high).
core::Layout dataLayout(const DataSettings& settings);

// Whether the settings turn, mirror or resize the picture.
bool isFitted(const Fitting& fitting);

// Header comment lines: "dither: ...", and "fitting: ..." for a picture of
// `original` pixels.
QString ditherLine(DitherMode mode);
QString fittingLine(const Fitting& fitting, QSize original);
// "#RRGGBB", or "white" and "black".
QString colourName(QRgb colour);

class PictureData {
public:
    // Takes the decoded picture; fitting makes it opaque in place first.
    // Throws RuntimeError when there is no memory for that.
    PictureData(QImage picture, const DataSettings& settings);
    ~PictureData();
    PictureData(const PictureData&) = delete;
    PictureData& operator=(const PictureData&) = delete;

    QSize originalSize() const { return m_original; }
    QSize size() const { return QSize(m_source->width(), m_source->height()); }
    const core::Layout& layout() const { return m_layout; }
    qint64 bytes() const;

    // The lines of a C header comment that record the settings: the pixel
    // format, dithering, fitting, layout and byte order.
    QStringList describe() const;

    // Every byte of the data through `out`, as one frame.
    void write(core::Formatter& out);

private:
    DataSettings m_settings;
    QImage m_picture;
    QSize m_original;
    std::unique_ptr<core::PixelSource> m_source;
    std::unique_ptr<core::SampleEncoder> m_encoder;
    core::Layout m_layout;
};

// The heights of pictures `width` pixels wide whose data in `layout` is
// exactly `bytes` bytes, from `lowest` to `highest`; both 0 when none is.
// Several fit where the last byte, page or band is not full.
struct HeightsHeld {
    int lowest = 0;
    int highest = 0;
};
HeightsHeld heightsHeld(const core::Layout& layout, int width, qint64 bytes);

// Pixel data read back: the picture of `size` it shows in the format and
// layout of `settings`, each level widened to 8 bits. `bytes` holds exactly
// that picture's data; a null picture when there is no memory for it.
QImage dataPicture(const QByteArray& bytes, const DataSettings& settings, QSize size);

} // namespace zentraq::rgbqumo
