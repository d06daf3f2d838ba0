#pragma once

// An Adafruit GFX font (GFXfont): one contiguous span of 16-bit codes, a
// glyph record for every code of it, 1-bit bitmaps, byte for byte as the
// library's fontconvert writes its header. A character of the set that the
// face lacks gets the face's .notdef glyph (its box and advance), as
// fontconvert writes it; a code of the span not in the set, an empty glyph.

#include "formatter.h"
#include "glyphsource.h"

#include <QByteArray>

namespace zentraq::font {

// The span of the set's glyphs; throws FontError (Request) for codes above
// 0xFFFF, a span more than 8 times as long as the set, or glyphs too large
// for GFX's 8-bit fields and 16-bit bitmap offsets.
struct GfxSpan {
    char32_t first = 0;
    char32_t last = 0;
};
GfxSpan gfxSpan(const GlyphSet& set);

// The largest glyph GFX's 8-bit fields hold, for RenderSettings::bound.
GlyphBound gfxGlyphBound();

// A glyph's advance in whole pixels, as fontconvert takes it (truncated).
inline int gfxAdvance(const Glyph& g) {
    return g.advance >> 6;
}

// fontconvert's name for a font file `fileName` at `points`: the name
// without its extension, the size and "pt7b" (or "pt8b" when the span
// reaches past 0x7F), spaces and punctuation made underscores.
QByteArray gfxDefaultName(const QString& fileName, int points, char32_t last);

// The header's text. `name` prefixes NAMEBitmaps, NAMEGlyphs and is the
// GFXfont itself.
void writeGfx(const GlyphSet& set, const QByteArray& name, core::ByteSink& sink);

} // namespace zentraq::font
