#pragma once

// Pixel formats of display controllers and the row quantiser that turns
// opaque RGB pixels into one sample per pixel of such a format, with or
// without dithering.
//
// Samples. One std::uint32_t per pixel holding the format's bitsPerSample()
// bits:
//  - 16-bit formats: the 16-bit word; whoever writes it decides which byte
//    goes first. rgb565's word is exactly HighByte << 8 | LowByte of Rgb565.
//  - 24-bit formats: 0xB1B2B3, B1 being the byte written first
//    (rgb888: R << 16 | G << 8 | B).
//  - 1-, 2-, 4- and 8-bit formats: the level itself.
//
// Quantisation, per channel of n bits (L = 2^n - 1 levels above 0):
//  - A level q shows as the 8-bit value widen(q): its bits repeated from the
//    top down (5 bits: q << 3 | q >> 2; 4 bits: q * 17; 1 bit: q * 255).
//  - Without dithering a channel keeps the top n bits of its 8-bit value
//    (v >> (8 - n)), the rule of the RGB565 encoder and of the 18-bit
//    convention (R & 0xFC). mono keeps whether the luma reaches the threshold.
//  - Floyd-Steinberg: v' = clamp(v + the error diffused to the pixel, 0, 255);
//    q = the level whose widened value is nearest to v' (exactly between two:
//    the upper one); the error v' - widen(q) goes right 7/16, below-left 3/16,
//    below 5/16, below-right 1/16, summed in sixteenths as integers. A pixel
//    adds round(sum / 16), halves rounded up. Error that would fall outside the
//    picture is dropped. Rows are scanned left to right, every one.
//  - Bayer 4x4: q = floor(v * L / 255 + (M + 1/2) / 16), computed as
//    floor((32 * v * L + (2 * M + 1) * 255) / (32 * 255)), with M the entry in
//    row y mod 4, column x mod 4 of the standard matrix
//        0  8  2 10 / 12  4 14  6 / 3 11  1  9 / 15  7 13  5,
//    x counted from the row's first pixel and y from the first row given to
//    the quantiser (or to it since restart()).
//  All arithmetic is integer, so the same pixels give the same samples on
//  every machine.
//
// Grey formats work on the luma Y = (299 R + 587 G + 114 B + 500) / 1000,
// dithered as one channel. Their level 0 is black, or white with `invert`.
// mono: level 1 is white, level 0 black, decided by the threshold t instead
// of by the nearest level: without dithering white when Y >= t; with
// Floyd-Steinberg white when v' >= t, the error being v' - 0 or v' - 255;
// with Bayer the luma is first moved by 128 - t (no clamping) and then
// dithered to one level as above. The sample is the ink bit: 1 for black
// unless `invert`, which makes 1 white. t = 128 gives every dither mode its
// plain one-level rule.
//
// RGB formats ignore `invert` and the threshold.

#include "pipeline.h"

#include <QRgb>
#include <QString>
#include <QStringList>
#include <QStringView>

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace zentraq::rgbqumo {

enum class PixelFormat {
    Rgb565, // the window's word: red 5 bits high, green 6, blue 5 low
    Bgr565, // blue in the high 5 bits
    Rgb888, // bytes R, G, B
    Bgr888, // bytes B, G, R
    Rgb666, // bytes R & 0xFC, G & 0xFC, B & 0xFC
    Rgb332, // one byte RRRGGGBB
    Gray8,
    Gray4,
    Gray2,
    Mono,
};

enum class DitherMode { None, FloydSteinberg, Bayer4 };

// What sets a pixel format apart: its name on the command line, its bits,
// and what a sample holds, in words for help texts and C header comments.
struct PixelFormatInfo {
    PixelFormat format;
    const char* name;
    int bits;        // per sample: 1, 2, 4, 8, 16 or 24
    int channelBits; // per channel: red, green and blue alike, or the luma
    bool grey;
    const char* description;
};

// Every pixel format, in the order the tool lists them.
std::span<const PixelFormatInfo> pixelFormats();
const PixelFormatInfo& pixelFormatInfo(PixelFormat format);

// The names on the command line: "rgb565", "bgr565", ..., "gray4", "mono";
// "none", "floyd-steinberg", "bayer4".
QString pixelFormatName(PixelFormat format);
std::optional<PixelFormat> parsePixelFormat(QStringView name);
QStringList pixelFormatNames();
QString ditherModeName(DitherMode mode);
std::optional<DitherMode> parseDitherMode(QStringView name);
QStringList ditherModeNames();

// 1, 2, 4, 8, 16 or 24.
int bitsPerSample(PixelFormat format);
// Formats whose samples are 16-bit words, written in either byte order.
bool hasByteOrder(PixelFormat format);
// gray8, gray4, gray2, mono: work on the luma; `invert` applies.
bool isGreyFormat(PixelFormat format);
// Formats with fewer than 8 bits per channel, the ones that can be dithered.
bool acceptsDither(PixelFormat format);

inline constexpr int DefaultThreshold = 128;
inline constexpr int MinThreshold = 0;
inline constexpr int MaxThreshold = 255;

// The luma of an opaque pixel, 0..255.
constexpr int lumaOf(int r, int g, int b) {
    return (299 * r + 587 * g + 114 * b + 500) / 1000;
}

// Turns rows of opaque pixels into samples. Holds the dithering state from
// one row to the next, so rows must come in order, top to bottom, all of the
// width given at construction: the sample encoder of every pixel format.
class RowQuantiser : public core::SampleEncoder {
public:
    // Throws std::invalid_argument for a negative width or a threshold
    // outside MinThreshold..MaxThreshold.
    RowQuantiser(PixelFormat format, DitherMode dither, int width, bool invert = false,
                 int threshold = DefaultThreshold);

    int bits() const override { return m_bits; }
    PixelFormat format() const { return m_format; }
    DitherMode dither() const { return m_dither; }

    // One sample per pixel into `samples`; alpha is ignored. Throws
    // std::invalid_argument when `width` is not the constructor's.
    void encodeRow(const QRgb* pixels, int width, std::uint32_t* samples) override;

    // Forgets the dithering state: the next row is the first again.
    void restart() override;

private:
    template <int Channels> void encodeLookedUp(const QRgb* pixels, std::uint32_t* samples);
    template <int Channels> void encodeDiffused(const QRgb* pixels, std::uint32_t* samples);

    PixelFormat m_format;
    DitherMode m_dither;
    int m_width;
    int m_bits;
    int m_channels; // 3 (red, green, blue) or 1 (the luma)
    // Each channel's part of the sample (its level in place; for grey formats
    // the whole sample) for each 8-bit value: one table of 256 without
    // dithering, one per matrix cell with Bayer4. Indexed [channel][cell][value].
    std::vector<std::uint32_t> m_part;
    // Floyd-Steinberg, for each value with the diffused error added
    // (-256..511, stored from index 0): the channel's part of the sample and
    // the error left over. Indexed [channel][value + 256].
    std::vector<std::uint32_t> m_diffusedPart;
    std::vector<std::int16_t> m_diffusedError;
    int m_row = 0;
    // Floyd-Steinberg: the error that the row above left to each pixel, in
    // sixteenths, for this row and the next; one slot per pixel and channel
    // plus one either side.
    std::vector<int> m_errThis;
    std::vector<int> m_errNext;
};

// The colour a sample shows, for reading data back: each level widened to 8
// bits as above; grey formats give grey; mono gives black for ink.
QRgb sampleToRgb(PixelFormat format, std::uint32_t sample, bool invert = false);

} // namespace zentraq::rgbqumo
