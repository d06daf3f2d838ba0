#pragma once

// What a BDF file of a face says about the face: its FONT name, COPYRIGHT,
// how many glyphs the file holds, its size and the line's ascent and
// descent. u8g2's converter bdfconv copies the first three into the header
// comment of the fonts it makes, and a BDF file of ours carries all of them.
//
//   A BDF file: what it says (bdfcheck.h).
//   A PCF file: its FONT and COPYRIGHT properties; its encoded glyphs.
//   An outline face at a size, as otf2bdf -a -r 72 names the BDF file it
//   makes of it: an XLFD name with foundry "FreeType", the face's English
//   family name, weight and slant from its OS/2 flags, the average width of
//   its glyphs and the spacing otf2bdf concludes; the English copyright
//   notice (line breaks as two spaces); every glyph of a code below U+FFFF.
//   otf2bdf draws all of those to find the average width, and so does
//   bdfNames().

#include "fontface.h"
#include "glyphsource.h"

#include <QByteArray>

#include <optional>

namespace zentraq::font {

struct BdfNames {
    std::optional<QByteArray> font;      // FONT: an XLFD name, usually
    std::optional<QByteArray> copyright; // COPYRIGHT, as the notice reads
    long glyphCount = 0;                 // glyphs in the whole file
    int pointSize10 = 0;                 // POINT_SIZE: the size in tenths of a point
    int resolutionX = 72, resolutionY = 72;
    int pixelSize = 0;
    int ascent = 0, descent = 0; // FONT_ASCENT, FONT_DESCENT: pixels above, below the base line
};

// The names of `face` drawn with `settings` (Otf2bdf for an outline face; a
// bitmap face at its strike of the size). Throws FontError as
// renderGlyphs() does.
BdfNames bdfNames(const FontFace& face, const RenderSettings& settings);

} // namespace zentraq::font
