// BDF font files as the font command reads them: any bytes checked as BDF
// text, and what the check lets through drawn by FreeType's reader from
// every strike at one and eight bits a pixel, made a u8g2 font and written
// as a BDF file of ours. FreeType's reader is lenient and sizes its bitmaps
// by what the file claims, so the check in front of it is fed here with
// whatever a file may hold. Besides the sanitizers, checks that a glyph's
// pixels are none or full, and that our own BDF file passes the check.
#include "bdfcheck.h"
#include "bdffont.h"
#include "bdfnames.h"
#include "bytearraysink.h"
#include "fonterror.h"
#include "fontface.h"
#include "glyphsource.h"
#include "u8g2font.h"

#include <ft2build.h>
#include FT_FREETYPE_H

#include <cstddef>
#include <cstdint>
#include <memory>

using namespace zentraq::font;

namespace {

void drawAndWrite(const FontFace& face, int pixels, int bits) {
    std::vector<char32_t> codes;
    FT_UInt index = 0;
    for (FT_ULong c = FT_Get_First_Char(face.ft(), &index); index != 0 && codes.size() < 4096;
         c = FT_Get_Next_Char(face.ft(), c, &index))
        codes.push_back(char32_t(c));
    RenderSettings s;
    s.rendering = bits == 1 ? Rendering::Otf2bdf : Rendering::Autohinted;
    s.pixelSize = s.points = pixels;
    s.bits = bits;
    GlyphSet set;
    try {
        set = renderGlyphs(face, s, codes);
    } catch (const FontError&) {
        return; // a glyph FreeType will not draw: refused, fine
    }
    for (const std::uint8_t sample : set.samples)
        if (sample != 0 && sample != set.maxLevel())
            __builtin_trap();
    if (bits != 1 || set.glyphs.empty())
        return;
    const BdfNames names = bdfNames(face, s);
    zentraq::core::ByteArraySink out;
    writeBdf(set, names, {}, out);
    try {
        checkBdf(out.bytes, QStringLiteral("ours.bdf"));
    } catch (const FontError&) {
        __builtin_trap();
    }
    std::vector<char32_t> u8g2Codes;
    for (const Glyph& g : set.glyphs)
        if (g.code <= 0xFFFF)
            u8g2Codes.push_back(g.code);
    if (u8g2Codes.empty())
        return;
    try {
        const GlyphSet small = renderGlyphs(face, s, u8g2Codes);
        const U8g2Font font(small, GlyphSet(), names, {U8g2Mode::Proportional, "f"});
        zentraq::core::ByteArraySink c;
        font.writeC(c);
    } catch (const FontError&) {
        // too large for u8g2: refused, fine
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size > (std::size_t(1) << 20))
        return 0;
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    std::unique_ptr<FontFace> face;
    try {
        face = std::make_unique<FontFace>(bytes, 0, QStringLiteral("fuzz.bdf"));
    } catch (const FontError&) {
        return 0; // damaged or not a font: refused, fine
    }
    if (!face->bdfHeader())
        return 0;
    for (const int pixels : face->strikes()) {
        drawAndWrite(*face, pixels, 1);
        drawAndWrite(*face, pixels, 8);
    }
    return 0;
}
