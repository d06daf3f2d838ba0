#pragma once

// The RGB565 colour encoder: one colour value, as a pixel read reports it,
// to the two bytes of the 16-bit word that colour TFT controllers take
// (5 bits red, 6 green, 5 blue).

// Plain C++, like the pipeline it feeds.

#include "checked.h"
#include "colour.h"
#include "pipeline.h"

#include <cstdint>

namespace zentraq::rgbqumo {

// The two bytes of one RGB565 word, high byte first in memory.
struct ColorBytes {
    std::uint8_t HighByte = 0; // red's 5 bits in 7..3, green's top 3 bits in 2..0
    std::uint8_t LowByte = 0;  // green's low 3 bits in 7..5, blue's 5 bits in 4..0
};

namespace detail {

// Division rounded toward minus infinity. The encoder is defined with
// floating-point divisions rounded down; for 32-bit dividends and these small
// positive divisors the quotient is exact in double precision, so the integer
// floor division gives the same result without going through floats.
constexpr std::int32_t floorDiv(std::int32_t a, std::int32_t b) {
    const std::int32_t q = a / b;
    return (a % b != 0 && a < 0) ? q - 1 : q;
}

} // namespace detail

// Red component: colour mod 256 with the remainder taking the dividend's sign.
constexpr std::int32_t RedOf(Colour colour) {
    return colour % 256;
}

// Green component: floor((colour mod 65536) / 256).
constexpr std::int32_t GreenOf(Colour colour) {
    return detail::floorDiv(colour % 65536, 256);
}

// Blue component: floor(colour / 65536). Nothing is masked off, so a colour
// with a non-zero top byte gives a blue above 255.
constexpr std::int32_t BlueOf(Colour colour) {
    return detail::floorDiv(colour, 65536);
}

// Packs a colour into RGB565. The components are truncated to their top bits.
// A result outside 0..255 in either byte raises the overflow failure instead
// of being wrapped: every negative colour fails (above all -1, the answer for
// a point outside the picture). Nothing is masked off, so a non-zero top byte
// adds to blue and fails once the low byte overflows.
inline ColorBytes Rgb565(Colour colour) {
    using detail::floorDiv;
    const std::int32_t r5 = floorDiv(RedOf(colour), 8);
    const std::int32_t g6 = floorDiv(GreenOf(colour), 4);
    const std::int32_t b5 = floorDiv(BlueOf(colour), 8);
    const std::int32_t high = checked::add(checked::mul(r5, 8), floorDiv(g6, 8));
    const std::int32_t low = checked::add(checked::mul(g6 % 8, 32), b5);
    ColorBytes result;
    result.HighByte = checked::toByte(high);
    result.LowByte = checked::toByte(low);
    return result;
}

// The sample encoder of picture data: one 16-bit RGB565 word per pixel,
// HighByte in bits 15..8 and LowByte in bits 7..0, as Rgb565 makes it with its
// checks (NoPixel, a point outside the picture, raises the overflow failure).
class Rgb565Words : public core::SampleEncoder {
public:
    int bits() const override { return 16; }
    void encodeRow(const Argb* pixels, int width, std::uint32_t* samples) override {
        for (int i = 0; i < width; ++i) {
            const Argb p = pixels[i];
            // For components of 0..255, which every opaque pixel has, Rgb565
            // is these shifts; anything else goes through its checks.
            if (__builtin_expect(argbAlpha(p) == 255, 1)) {
                samples[i] = std::uint32_t(argbRed(p) >> 3) << 11 |
                             std::uint32_t(argbGreen(p) >> 2) << 5 |
                             std::uint32_t(argbBlue(p) >> 3);
                continue;
            }
            const ColorBytes c = Rgb565(core::colourOf(p));
            samples[i] = std::uint32_t(c.HighByte) << 8 | c.LowByte;
        }
    }
};

} // namespace zentraq::rgbqumo
