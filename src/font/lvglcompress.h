#pragma once

// Glyph bitmaps as LVGL's text fonts store them (lv_font_fmt_txt):
//
//   plain         the samples, `bpp` bits each, most significant first, rows
//                 running on without padding;
//   compressed    each row XOR the row above it (the prefilter, optional),
//                 then run-length coded as LVGL's decoder reads it: a value,
//                 and once it repeats, a 1 bit for each further repeat up to
//                 ten, then a 6-bit count; a 0 bit ends a short run.

#include "bitwriter.h"

#include <cstdint>

namespace zentraq::font {

using core::BitWriter;
using core::signedBits;
using core::unsignedBits;

void writePlain(const std::uint8_t* samples, int count, int bpp, BitWriter& out);

// `samples` holds width x height values of `bpp` bits.
void writeCompressed(const std::uint8_t* samples, int width, int height, int bpp, bool prefilter,
                     BitWriter& out);

} // namespace zentraq::font
