#pragma once

// A text drawn with a font's glyphs exactly as a file holds them: the
// samples at their bit depth (widened to 8 bits, 0 transparent, the top
// level opaque), the boxes and offsets, and the pen moved as the library
// moves it, kerning included. Ink is black on white; where glyphs overlap,
// the stronger coverage shows.
//
// Each line is as high as the set's tallest ink above the base line plus its
// deepest ink below it, the base line that far from the line's top; lines
// follow each other at "\n". The picture reaches from the leftmost ink (or
// the pen's start) to the rightmost ink (or the pen's end), whichever is
// further out.

#include "glyphsource.h"

#include <QImage>
#include <QStringView>

#include <functional>

namespace zentraq::font {

// The pixels the pen moves after glyph `glyph` of the set, when glyph `next`
// follows on the line (-1: none).
using PenAdvance = std::function<int(std::size_t glyph, long next)>;

struct Sample {
    QImage picture;  // Format_Grayscale8
    int missing = 0; // characters of the text the set does not have (left out)
};

Sample drawSample(const GlyphSet& set, QStringView text, const PenAdvance& advance);
// The same with the line given: `ascent` rows above the base line and down
// to `descent` (negative below it), for a set that holds only some glyphs
// of its font.
Sample drawSample(const GlyphSet& set, QStringView text, const PenAdvance& advance, int ascent,
                  int descent);

} // namespace zentraq::font
