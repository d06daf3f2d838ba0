#pragma once

// A text drawn with a font's glyphs exactly as a file holds them: the
// samples at their bit depth (widened to 8 bits, 0 transparent, the top
// level opaque), the boxes and offsets, and the pen moved as the library
// moves it, kerning included. Ink is black on white.
//
// The picture reaches from the leftmost ink (or the pen's start) to the
// rightmost ink (or the pen's furthest point; TFT_eSPI: after a space or a
// missing character's box, as its textWidth counts), and from the first
// line's top (or higher ink) to the last line's bottom (or lower ink). It is
// never
// larger than the program's own picture reader takes (sampleLimit()): a
// text that would make it larger is refused (FontError, Request) before
// anything is drawn.

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
    int missing = 0; // characters of the text the set does not have
};

// The most pixels a sample may have: as many as the picture reader's
// allocation limit holds at 4 bytes a pixel (QImageReader::allocationLimit).
qint64 sampleLimit();

// LVGL and GFX: lines as high as the set's tallest ink above the base line
// plus its deepest ink below it, the base line that far from the line's top;
// characters the set lacks are left out. Where glyphs overlap, the stronger
// coverage shows.
Sample drawSample(const GlyphSet& set, QStringView text, const PenAdvance& advance);
// The same with the line given: `ascent` rows above the base line and down
// to `descent` (negative below it), for a set that holds only some glyphs
// of its font.
Sample drawSample(const GlyphSet& set, QStringView text, const PenAdvance& advance, int ascent,
                  int descent);

// TFT_eSPI's drawString with the vlw file loaded, at the screen's corner:
// `ascent` and `descent` as its header holds them. A line is ascent rows
// plus the deeper of `descent` and the glyphs' own depth (those of U+0021 to
// U+009F but U+007F, and above U+00FF) high; the text is read as TFT_eSPI
// reads UTF-8 (up to three bytes a character, any other byte as a code of its
// own); a line's first glyph starts at its ink; a space moves the pen by
// (ascent + descent) * 2 / 7 whatever the space glyph says; a character the
// font lacks is drawn as the outline of a box that wide and ascent high, and
// moves the pen one pixel more. A later glyph's ink covers an earlier one's.
Sample drawVlwSample(const GlyphSet& set, int ascent, int descent, QStringView text);

} // namespace zentraq::font
