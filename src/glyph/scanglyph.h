#pragma once

#include "pipeline.h"
#include "surface.h"

#include <QtGlobal>

#include <cstdint>
#include <vector>

namespace zentraq::rgbqumo {

// The glyph of the most recently scanned character, one bit per pixel: pixels
// numbered row by row (i = y * width + x, not restarting at a new row), pixel i
// in bit i mod 8 of byte i div 8, the first pixel of each group of eight in
// the least significant bit. Rows are not aligned to bytes.
extern std::vector<std::uint8_t> GlyphBytes;

// The largest glyph in pixels: width * height is a 16-bit signed count.
inline constexpr int MaxGlyphPixels = 32767;

// Reads pixels (0..width-1, 0..height-1) of `canvas` into GlyphBytes: a pixel
// is ink when its colour differs in any way from the canvas's background
// colour (a point outside the surface reads as -1, so it is ink too).
// GlyphBytes gets width * height / 8 bytes, rounded up when the size is not a
// multiple of 8 so the last pixels are kept. A size above 32767 pixels, or a
// negative side, raises the overflow error and leaves GlyphBytes as it was.
void ScanGlyph(const Surface& canvas, qint16 width, qint16 height);

// The same into `bytes`, for callers that keep their own buffer.
void ScanGlyph(const Surface& canvas, qint16 width, qint16 height,
               std::vector<std::uint8_t>& bytes);

// Bytes of a width x height glyph, with the same checks as ScanGlyph.
int glyphByteCount(qint16 width, qint16 height);

} // namespace zentraq::rgbqumo

namespace zentraq::glyph {

// The sample encoder of glyph cells: one bit per pixel, 1 for ink (a pixel
// whose colour differs from the cell's background colour, NoPixel included)
// and 0 for background, or the other way round with `invert`.
class GlyphInk : public core::SampleEncoder {
public:
    explicit GlyphInk(Colour background, bool invert = false)
        : m_background(background), m_invert(invert) {}
    void setBackground(Colour background) { m_background = background; }
    int bits() const override { return 1; }
    void encodeRow(const QRgb* pixels, int width, std::uint32_t* samples) override {
        for (int i = 0; i < width; ++i)
            samples[i] = (core::colourOf(pixels[i]) != m_background) != m_invert ? 1u : 0u;
    }

private:
    Colour m_background;
    bool m_invert;
};

// Scans width x height glyph cells at the origin of a canvas into bytes laid
// out by `layout` (ScanGlyph's layout is the default one). Any size from 1x1
// up; the pipeline's buffers are kept from one cell to the next.
class CellScanner {
public:
    CellScanner(const core::Layout& layout, int width, int height, bool invert = false);
    // The cell's bytes, replacing what `bytes` held.
    void scan(const Surface& canvas, std::vector<std::uint8_t>& bytes);
    qint64 bytesPerCell() const { return m_pipeline.packer().bytesPerFrame(); }

private:
    int m_width;
    int m_height;
    GlyphInk m_ink;
    core::Pipeline m_pipeline;
};

} // namespace zentraq::glyph
