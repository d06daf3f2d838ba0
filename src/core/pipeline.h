#pragma once

// The conversion pipeline: a pixel source gives rows of opaque pixels, a
// sample encoder turns each row into samples, the packer lays the samples
// out as bytes (scan order, bit order, padding, byte order), and a formatter
// streams the bytes to a sink as data text, a C array or binary.
//
// Work goes row by row (or in runs of a row): one call per stage and run,
// never one per pixel, and nothing holds a copy of a picture.
//
// Plain C++: the sources of Qt's pictures and surfaces are in imagerows.h.

#include "colour.h"
#include "encode.h"
#include "formatter.h"
#include "packer.h"

#include <cstdint>
#include <string_view>
#include <vector>

namespace zentraq::core {

// A point the source does not have (outside its surface). It is not an
// opaque colour, so no encoder takes it for one.
inline constexpr Argb NoPixel = 0;

// The colour value of a source pixel: 0x00BBGGRR for an opaque pixel,
// InvalidColour for NoPixel.
constexpr Colour colourOf(Argb pixel) {
    return argbAlpha(pixel) == 255 ? rgbColour(argbRed(pixel), argbGreen(pixel), argbBlue(pixel))
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
    virtual void read(int y, int x, int count, Argb* out) = 0;
};

// Turns one run of pixels into one sample per pixel, each of bits() bits
// (1, 2, 4, 8, 16 or 24). An encoder that keeps state from row to row (error
// diffusion) is given whole rows, top to bottom.
class SampleEncoder {
public:
    virtual ~SampleEncoder() = default;
    virtual int bits() const = 0;
    virtual void encodeRow(const Argb* pixels, int width, std::uint32_t* samples) = 0;
    // Forgets what earlier rows left: the next row is a frame's first again.
    virtual void restart() {}
};

// Source, encoder, packer and formatter joined for frames of width x height.
// Without a formatter the packed bytes stay in packed() for the caller.
class Pipeline {
public:
    // The layout's bit count is the encoder's. See Packer for `windowBytes`.
    Pipeline(SampleEncoder& encoder, Layout layout, int width, int height, Formatter* out = nullptr,
             long long windowBytes = Packer::DefaultWindow);

    // Pixels x .. x + count - 1 of row y of the current frame. When the
    // encoder fails on a pixel, everything before that pixel has still gone
    // through, as if the pixels had been converted one by one.
    void pixels(PixelSource& source, int y, int x, int count);

    // The whole frame from `source`, row by row, and its end: read as many
    // times as the packer needs passes, the encoder restarted for each.
    void frame(PixelSource& source, std::string_view label = {});

    // The end of the current frame, or of a pass over it (see
    // Packer::endFrame, Formatter::endFrame).
    void endFrame(std::string_view label = {});

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
    std::vector<Argb> m_pixels;
    std::vector<std::uint32_t> m_samples;
};

} // namespace zentraq::core
