#pragma once

// Fitting a picture to a display: rotate (clockwise), then flip, then resize
// to W x H, in that order.
//
// Resizing. `contain` scales the picture to fit inside W x H, keeping its
// shape, and centres it on a canvas of W x H (white unless Fitting::canvas
// says otherwise); `cover` cuts the centre
// of the picture to the shape of W x H and scales that to fill it; `stretch`
// scales the picture to W x H whatever its shape. Sizes kept from the shape
// round to the nearest pixel (halves up) and are at least 1. Where margins or
// cut parts cannot be equal, the right or bottom one is a pixel larger.
//
// Scaling works on each axis separately. Shrinking an axis averages areas:
// each result pixel is the mean of the source pixels it covers, each weighed
// by the part of it that is covered. Enlarging an axis interpolates linearly
// between the two source pixels nearest to the result pixel's centre (edges
// repeat). Weights are integers that add up to 65536 per result pixel, and
// the result rounds to nearest, so the same picture gives the same pixels on
// every machine.
//
// The result is produced a row at a time: a picture need not be held twice,
// and a large canvas costs only a few rows of memory.

#include "pipeline.h"

#include <QImage>
#include <QRect>
#include <QSize>
#include <QString>
#include <QStringView>

#include <cstdint>
#include <optional>
#include <vector>

namespace zentraq::rgbqumo {

// The largest width or height a resize may ask for.
inline constexpr int MaxFitSide = 32767;

enum class Rotation { None, Clockwise90, Clockwise180, Clockwise270 };
enum class Flip { Horizontal, Vertical };
enum class Fit { Contain, Cover, Stretch };

// Names on the command line: "90", "180", "270"; "horizontal", "vertical";
// "contain", "cover", "stretch".
std::optional<Rotation> parseRotation(QStringView text);
std::optional<Flip> parseFlip(QStringView text);
std::optional<Fit> parseFit(QStringView text);

// 1..MaxFitSide.
constexpr bool isValidFitSide(long long side) {
    return side >= 1 && side <= MaxFitSide;
}

struct Fitting {
    Rotation rotation = Rotation::None;
    bool flipHorizontal = false;
    bool flipVertical = false;
    QSize resize; // not valid (the default): keep the size
    Fit fit = Fit::Contain;
    QRgb canvas = 0xFFFFFFFF; // around a contained picture, when alpha is not kept
};

// The fitted picture, row by row. The picture's pixels are read as opaque RGB
// (alpha is ignored: composite transparency first); 32-bit pictures and 8-bit
// ones (indexed, grey) are read where they are, pictures in other formats are
// converted once.
//
// With `keepAlpha` the pixels keep their alpha instead (unpremultiplied ARGB
// out; premultiplied pictures and those of other formats are converted to
// Format_ARGB32 once): the canvas around a contained picture is transparent,
// and scaling weighs each pixel's colour by its alpha (the colours are
// premultiplied to 8 bits, summed, and divided by the summed alpha, rounded),
// so that transparent pixels lend no colour to their neighbours.
class FittedRows {
public:
    // Throws std::invalid_argument for a resize with a side outside
    // 1..MaxFitSide.
    FittedRows(const QImage& picture, const Fitting& fitting, bool keepAlpha = false);

    QSize size() const { return m_canvas; }
    int width() const { return m_canvas.width(); }
    int height() const { return m_canvas.height(); }

    // Writes the next row, top to bottom, into `out` (width() pixels, opaque).
    // False, and nothing written, after the last row.
    bool readRow(QRgb* out);

private:
    struct AxisMap {
        std::vector<int> first; // result pixel i: entries first[i] .. first[i + 1] - 1
        std::vector<int> index; // source pixel, from the start of the source rectangle
        std::vector<std::int32_t> weight;
    };
    struct CachedRow {
        long long row = -1;
        std::vector<std::int32_t> sums; // per result pixel: red, green, blue (, alpha)
    };

    static AxisMap mapAxis(long long in, int out);
    // Row y of the rotated and flipped picture, the source rectangle's part.
    void fetchSourceRow(long long y, QRgb* out);
    const std::vector<std::int32_t>& scaledRow(long long sourceRow);

    // Source pixel i: m_bits[i], or m_palette[m_bytes[i]] for 8-bit pictures.
    QRgb pixelAt(long long i) const { return m_bytes ? m_palette[m_bytes[i]] : m_bits[i]; }

    QImage m_picture;
    bool m_alpha = false;
    QRgb m_canvasColour = 0xFFFFFFFF;
    int m_channels = 3; // summed per pixel: 4 with alpha
    const QRgb* m_bits = nullptr;
    bool m_opaqueBits = false; // Format_RGB32: the fourth byte carries nothing
    const uchar* m_bytes = nullptr;
    std::vector<QRgb> m_palette;
    // Pixel (x, y) of the rotated and flipped picture is
    // m_bits[m_origin + x * m_stepX + y * m_stepY].
    long long m_origin = 0;
    long long m_stepX = 0;
    long long m_stepY = 0;

    QSize m_canvas;
    QRect m_source; // in the rotated and flipped picture
    QRect m_placed; // where it goes on the canvas
    bool m_scaled = false;
    AxisMap m_mapX;
    AxisMap m_mapY;
    CachedRow m_cache[2];
    int m_nextCache = 0;
    std::vector<QRgb> m_fetched;
    // Rows m_stripFirst .. + StripRows - 1 of a picture turned a quarter.
    static constexpr int StripRows = 16;
    std::vector<QRgb> m_strip;
    long long m_stripFirst = -1;
    std::vector<std::int64_t> m_sums;
    int m_row = 0;
};

// Fitted rows as the pipeline's pixel source. The pipeline reads whole rows
// from the top, which is all FittedRows can give; reading the first row again
// starts the picture over.
class FittedPixels : public core::PixelSource {
public:
    FittedPixels(const QImage& picture, const Fitting& fitting, bool keepAlpha = false)
        : m_picture(picture), m_fitting(fitting), m_alpha(keepAlpha),
          m_rows(picture, fitting, keepAlpha) {}
    int width() const override { return m_rows.width(); }
    int height() const override { return m_rows.height(); }
    // Throws std::logic_error unless this is the next whole row or the first.
    void read(int y, int x, int count, QRgb* out) override;

private:
    QImage m_picture;
    Fitting m_fitting;
    bool m_alpha;
    FittedRows m_rows;
    int m_next = 0;
};

// The whole fitted picture as a Format_RGB32 image. Throws RuntimeError when
// it would be larger than the picture reader's allocation limit or the memory
// cannot be had.
QImage fitPicture(const QImage& picture, const Fitting& fitting);

} // namespace zentraq::rgbqumo
