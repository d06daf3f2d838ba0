#pragma once

// A TFT_eSPI smooth font (the vlw format): a big-endian header of six 32-bit
// words (glyph count, version 11, size, 0, ascent, descent), a record of
// seven 32-bit words a glyph (code, height, width, advance, top above the
// base line, left offset, 0), then every glyph's 8-bit alpha bitmap, then
// the face's name, PostScript name and whether it is smoothed. As a C array
// for TFT_eSPI's loadFont(const uint8_t[]) too.

#include "fontface.h"
#include "formatter.h"
#include "glyphsource.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace zentraq::font {

// A glyph's advance in whole pixels, as the file stores it.
inline int vlwAdvance(const Glyph& g) {
    return (g.advance + 32) >> 6;
}

// The largest glyph TFT_eSPI's 8-bit fields hold, for RenderSettings::bound.
GlyphBound vlwGlyphBound();

// The header's ascent and descent, in pixels above and below the base line.
// TFT_eSPI takes its line height from them, and the width of a space and of
// the box it draws for a missing character.
struct VlwMetrics {
    int ascent = 0;
    int descent = 0;
};

enum class VlwConvention {
    Glyphs,     // the highest and the lowest ink of the set's glyphs
    Processing, // the top of "d" and the bottom of "p", as Processing's font
                // tool writes them (drawn at the set's settings whether or
                // not the set has them; the face's ascender and descender at
                // the size where the face lacks them)
};

VlwMetrics vlwMetrics(const FontFace& face, const GlyphSet& set, VlwConvention convention);

// Throws FontError (Request) for codes above 0xFFFF or glyphs larger than
// TFT_eSPI's 8-bit sizes.
QByteArray vlwBytes(const GlyphSet& set, const VlwMetrics& metrics, const QString& postscriptName);
// With the Glyphs convention.
QByteArray vlwBytes(const GlyphSet& set, const QString& postscriptName);

// `bytes` as "const uint8_t NAME[] PROGMEM = { ... };" with `comment` lines.
void writeVlwC(const QByteArray& bytes, const QByteArray& name, const QStringList& comment,
               core::ByteSink& sink);

} // namespace zentraq::font
