#pragma once

// Colour values and pixel words, in plain C++ for every layer.

#include <cstdint>

namespace zentraq {

// A colour value as a pixel read reports it: 0x00BBGGRR, red in the lowest
// byte. -1 is the answer for a point outside the drawing surface.
using Colour = std::int32_t;
inline constexpr Colour InvalidColour = -1;

constexpr Colour rgbColour(int r, int g, int b) {
    return static_cast<Colour>((r & 0xFF) | ((g & 0xFF) << 8) | ((b & 0xFF) << 16));
}

// A pixel as a 32-bit word 0xAARRGGBB, alpha not premultiplied: the same word
// as Qt's QRgb, so pixels of Qt's pictures are read as they are.
using Argb = std::uint32_t;

constexpr int argbAlpha(Argb p) {
    return int(p >> 24);
}
constexpr int argbRed(Argb p) {
    return int((p >> 16) & 0xFF);
}
constexpr int argbGreen(Argb p) {
    return int((p >> 8) & 0xFF);
}
constexpr int argbBlue(Argb p) {
    return int(p & 0xFF);
}
constexpr Argb argb(int r, int g, int b, int a = 255) {
    return Argb(a & 0xFF) << 24 | Argb(r & 0xFF) << 16 | Argb(g & 0xFF) << 8 | Argb(b & 0xFF);
}

} // namespace zentraq
