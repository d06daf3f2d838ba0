#pragma once

// An LVGL font as an image for external flash, read glyph by glyph at run
// time by the C runtime in src/lvgl-flash (zt_flash_font_create). The image
// holds what the C font holds (bitmaps encoded alike, advances, boxes,
// kerning, the line's metrics) laid out so that finding and drawing a glyph
// takes at most three reads with at most 512 bytes of index in RAM; the
// README describes it byte by byte.
//
// Codes are grouped in spans, at most 32: a full span (every code a glyph)
// maps a code to its glyph by arithmetic, a ranked span through a table of
// presence bits for every 64 codes. Spans start as the runs of consecutive
// codes; neighbours are merged where that costs little flash for the RAM it
// saves (long runs stay full spans), then the cheapest merges until at most
// 32 are left. Kerning comes as classes of left
// glyphs: each glyph's entry ends with its value against every class, so
// the entry read for a glyph brings the kerning with the glyph before it.

#include "fontwriter.h"
#include "glyphsource.h"
#include "lvglfont.h"
#include "sample.h"

#include <QByteArray>
#include <QString>
#include <QStringView>

namespace zentraq::font {

// The image of a glyph set, its glyphs encoded, measured and kerned as the
// C font `font` has them (LVGL 9's encoding: the image serves 8.3 too).
class LvglFlashImage {
public:
    // Throws FontError (Request) for a set the image cannot hold.
    LvglFlashImage(const GlyphSet& set, const LvglFont& font);

    const QByteArray& bytes() const { return m_image; }
    // The layout and the RAM the runtime needs for it.
    QString describe() const;
    // `text` drawn from the image as the runtime reads it (the glyphs the
    // image's own look-up finds, its bitmaps decoded, its advances and
    // kerning), as drawSample draws a set.
    Sample sample(QStringView text) const;

private:
    QByteArray m_image;
    int m_spans = 0;
    int m_ranked = 0;
    int m_leftClasses = 0;
    std::uint32_t m_maxDecoded = 0;
};

// --format lvgl-flash: the writer of fontWriters().
const FontWriter* lvglFlashWriter();

} // namespace zentraq::font
