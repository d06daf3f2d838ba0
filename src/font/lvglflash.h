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

#include "formatter.h"
#include "glyphsource.h"
#include "lvglfont.h"
#include "sample.h"

#include <QByteArray>
#include <QString>
#include <QStringView>

namespace zentraq::font {

class LvglFlashWriter {
public:
    // The image serves LVGL 9 and 8.3 alike, with bitmaps encoded as for
    // LVGL 9; throws FontError (Request) for options it cannot honour.
    static void checkOptions(const LvglOptions& options);

    // The image of `set`, its glyphs encoded, measured and kerned as `font`
    // has them. Throws FontError (Request) for a set the image cannot hold.
    void write(const GlyphSet& set, const LvglFont& font, core::ByteSink& sink);

    // `text` drawn from the image of `set` and `font` as the runtime reads
    // it (the glyphs the image's own look-up finds, its bitmaps decoded, its
    // advances and kerning), as drawSample draws a set; before or after
    // write(), which then lays the image out once.
    Sample sample(const GlyphSet& set, const LvglFont& font, QStringView text);

    // After write() or sample(): the layout and the RAM the runtime needs.
    QString describe() const;

    const QByteArray& image() const { return m_image; }

private:
    void layOut(const GlyphSet& set, const LvglFont& font);

    const GlyphSet* m_set = nullptr; // what m_image was laid out for
    const LvglFont* m_font = nullptr;
    QByteArray m_image;
    int m_spans = 0;
    int m_ranked = 0;
    int m_leftClasses = 0;
    std::size_t m_glyphs = 0;
    std::uint32_t m_maxDecoded = 0;
    std::uint32_t m_maxStored = 0;
    int m_format = 0;
};

} // namespace zentraq::font
