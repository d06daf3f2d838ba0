#pragma once

// Picture data as the arrays that Arduino display libraries draw:
//  - a C array of 16-bit words (`const uint16_t NAME[]`), one RGB565 word
//    a pixel, rows from the top, for pushImage and drawRGBBitmap;
//  - an XBM (`NAME_width`, `NAME_height`, `NAME_bits[]`): one bit a pixel,
//    1 for ink, the first pixel of each byte in bit 0, every row starting on
//    a new byte, for drawXBitmap and drawXBM. It is an image file as well,
//    in the form X11's reader and ImageMagick take: the #defines first, then
//    "static unsigned char NAME_bits[] = {" (not const, which they refuse; an
//    attribute after the brackets), the comment after the data.

#include "pipeline.h"

#include <QByteArray>

namespace zentraq::rgbqumo {

// The name of the array (and of its size defines), text to put into every
// declaration (e.g. PROGMEM; empty for none) and a complete comment to put
// first (may be empty).
struct ArrayDeclaration {
    QByteArray name;
    QByteArray attribute;
    QByteArray comment;
};

// The 16-bit samples of `encoder` as words "0xHHHH", 16 a line; with
// `swapBytes` each word's two bytes trade places, so that a little-endian
// controller holds the high byte first in memory. Returns the data's bytes.
qint64 writeWordArray(core::PixelSource& source, core::SampleEncoder& encoder, bool swapBytes,
                      const ArrayDeclaration& declaration, core::ByteSink& sink);

// The 1-bit samples of `encoder` (1 for ink) as an XBM; the declaration's
// comment goes after the array. Returns the data's bytes.
qint64 writeXbm(core::PixelSource& source, core::SampleEncoder& encoder,
                const ArrayDeclaration& declaration, core::ByteSink& sink);

} // namespace zentraq::rgbqumo
