#pragma once

// A TFT_eSPI smooth font (the vlw format): a big-endian header of six 32-bit
// words (glyph count, version 11, size, 0, ascent, descent), a record of
// seven 32-bit words a glyph (code, height, width, advance, top above the
// base line, left offset, 0), then every glyph's 8-bit alpha bitmap, then
// the face's name, PostScript name and whether it is smoothed. As a C array
// for TFT_eSPI's loadFont(const uint8_t[]) too.

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

// Throws FontError (Request) for codes above 0xFFFF or glyphs larger than
// TFT_eSPI's 8-bit sizes.
QByteArray vlwBytes(const GlyphSet& set, const QString& postscriptName);

// `bytes` as "const uint8_t NAME[] PROGMEM = { ... };" with `comment` lines.
void writeVlwC(const QByteArray& bytes, const QByteArray& name, const QStringList& comment,
               core::ByteSink& sink);

} // namespace zentraq::font
