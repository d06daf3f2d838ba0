#pragma once

// A BDF 2.1 font file of a glyph set, one bit a pixel: the FONT name, SIZE,
// the box of all glyphs, the properties readers need (the XLFD fields when
// the name is an XLFD name, PIXEL_SIZE, POINT_SIZE, the resolution,
// FONT_ASCENT, FONT_DESCENT, the character set, COPYRIGHT), then each glyph
// with its code, advance (SWIDTH, DWIDTH), box (BBX) and bitmap rows. Any BDF
// tool reads it; bdfconv makes of it the u8g2 font that U8g2Font makes of
// the set.

#include "bdfnames.h"
#include "formatter.h"
#include "glyphsource.h"

#include <QByteArray>
#include <QStringList>

namespace zentraq::font {

// `names` says what the file says about the face (bdfnames.h); a face with
// no FONT name gets one made of its name and size. `comment` lines go into
// COMMENT lines at the top.
void writeBdf(const GlyphSet& set, const BdfNames& names, const QStringList& comment,
              core::ByteSink& sink);

} // namespace zentraq::font
