#include "bdfnames.h"

#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_BDF_H
#include FT_SFNT_NAMES_H
#include FT_TRUETYPE_TABLES_H

#include <algorithm>
#include <cstdio>

namespace zentraq::font {
namespace {

std::optional<QByteArray> atom(FT_Face face, const char* name) {
    BDF_PropertyRec p;
    if (FT_Get_BDF_Property(face, name, &p) != 0 || p.type != BDF_PROPERTY_TYPE_ATOM || !p.u.atom)
        return std::nullopt;
    return QByteArray(p.u.atom);
}

std::optional<long> integer(FT_Face face, const char* name) {
    BDF_PropertyRec p;
    if (FT_Get_BDF_Property(face, name, &p) != 0)
        return std::nullopt;
    if (p.type == BDF_PROPERTY_TYPE_INTEGER)
        return long(p.u.integer);
    if (p.type == BDF_PROPERTY_TYPE_CARDINAL)
        return long(p.u.cardinal);
    return std::nullopt;
}

// A name of the face's name table in English as otf2bdf takes it: a
// Microsoft Unicode (then Microsoft symbol) record in one of the English
// languages, else an Apple Unicode one; the low byte of each UTF-16 unit.
// `dash` replaces '-' (a family name in an XLFD name); without it, line
// breaks become two spaces.
std::optional<QByteArray> englishName(FT_Face face, FT_UShort nameId, char dash) {
    const FT_UInt count = FT_Get_Sfnt_Name_Count(face);
    const auto take = [&](const FT_SfntName& n) {
        QByteArray out;
        for (FT_UInt i = 1; i < n.string_len; i += 2) {
            const char c = char(n.string[i]);
            if (dash) {
                out += c == '-' ? dash : c;
            } else if (c == '\r' || c == '\n') {
                if (c == '\r' && i + 2 < n.string_len && n.string[i + 2] == '\n')
                    i += 2;
                out += "  ";
            } else {
                out += c;
            }
        }
        return out;
    };
    for (const FT_UShort encoding : {FT_UShort(1), FT_UShort(0)}) {
        for (FT_UInt i = 0; i < count; ++i) {
            FT_SfntName n;
            if (FT_Get_Sfnt_Name(face, i, &n) != 0)
                continue;
            const bool english = n.language_id == 0x0409 || n.language_id == 0x0809 ||
                                 n.language_id == 0x0c09 || n.language_id == 0x1009 ||
                                 n.language_id == 0x1409 || n.language_id == 0x1809;
            if (n.platform_id == 3 && n.encoding_id == encoding && n.name_id == nameId && english)
                return take(n);
        }
    }
    for (FT_UInt i = 0; i < count; ++i) {
        FT_SfntName n;
        if (FT_Get_Sfnt_Name(face, i, &n) == 0 && n.platform_id == 0 && n.language_id == 0 &&
            n.name_id == nameId)
            return take(n);
    }
    return std::nullopt;
}

// Every character of the face below U+FFFF, as otf2bdf goes through them.
std::vector<char32_t> charactersBelowFFFF(FT_Face face) {
    std::vector<char32_t> codes;
    FT_UInt index = 0;
    for (FT_ULong c = FT_Get_First_Char(face, &index); index != 0 && c < 0xFFFF;
         c = FT_Get_Next_Char(face, c, &index))
        codes.push_back(char32_t(c));
    return codes;
}

BdfNames outlineNames(const FontFace& face, const RenderSettings& settings) {
    FT_Face f = face.ft();
    BdfNames n;
    const int points = settings.points;
    n.pointSize10 = points * 10;
    n.pixelSize = int(double(points * 10) * 72.0 / 722.7 + 0.5);

    // otf2bdf draws them all: the count, the average width of their ink and
    // whether it takes the face for monospaced (its test compares each
    // width plus one with the width before, so it rarely does).
    long count = 0, widths = 0, previous = -1;
    bool mono = true;
    const std::vector<char32_t> all = charactersBelowFFFF(f);
    // Glyphs drawn at a time: a few thousand, fewer at large sizes, so that
    // a part stays well within the samples a set may take.
    const std::uint64_t em = std::uint64_t(std::max(1, emPixels(settings)));
    const std::size_t Chunk =
        std::size_t(std::clamp<std::uint64_t>(settings.sampleBudget / 4 / (em * em), 16, 4096));
    for (std::size_t at = 0; at < all.size(); at += Chunk) {
        const std::vector<char32_t> part(all.begin() + std::ptrdiff_t(at),
                                         all.begin() +
                                             std::ptrdiff_t(std::min(all.size(), at + Chunk)));
        const GlyphSet drawn = renderGlyphs(face, settings, part);
        for (const Glyph& g : drawn.glyphs) {
            if (previous >= 0 && g.width + 1 != previous)
                mono = false;
            previous = g.width;
            widths += g.width;
            ++count;
        }
    }
    n.glyphCount = count;
    const long average = count ? long((double(widths) / double(count) + 0.5) * 10.0) : 0;

    const auto* os2 = static_cast<const TT_OS2*>(FT_Get_Sfnt_Table(f, FT_SFNT_OS2));
    const bool bold = os2 && (os2->fsSelection & 0x20);
    const bool italic = os2 && (os2->fsSelection & 0x01);
    bool unicode = false;
    for (int i = 0; i < f->num_charmaps; ++i)
        unicode =
            unicode || (f->charmaps[i]->platform_id == 3 &&
                        (f->charmaps[i]->encoding_id == 1 || f->charmaps[i]->encoding_id == 0));
    char tail[96];
    std::snprintf(tail, sizeof tail, "-%s-%c-Normal--%d-%d-72-72-%c-%ld%s",
                  bold ? "Bold" : "Medium", italic ? 'I' : 'R', n.pixelSize, points * 10,
                  mono && count ? 'M' : 'P', average, unicode ? "-ISO10646-1" : "-FontSpecific-0");
    const QByteArray family = englishName(f, 1, ' ').value_or("Unknown");
    n.font = "-FreeType-" + family + tail;
    // Without a notice otf2bdf writes the buffer it last held: the name.
    n.copyright = englishName(f, 0, 0).value_or(*n.font);

    if (const auto* hhea = static_cast<const TT_HoriHeader*>(FT_Get_Sfnt_Table(f, FT_SFNT_HHEA));
        hhea && f->units_per_EM) {
        // At 72 dpi a point is a pixel: otf2bdf's ppem is the size.
        n.ascent = hhea->Ascender * points / f->units_per_EM;
        n.descent = -(hhea->Descender * points / f->units_per_EM);
    }
    return n;
}

BdfNames bitmapNames(const FontFace& face, const RenderSettings& settings) {
    FT_Face f = face.ft();
    BdfNames n;
    n.pixelSize = pixelsFor(settings);
    if (const BdfHeader* header = face.bdfHeader()) {
        n.font = header->font;
        n.copyright = header->copyright;
        n.glyphCount = header->glyphCount;
    } else {
        n.font = atom(f, "FONT");
        n.copyright = atom(f, "COPYRIGHT");
        FT_UInt index = 0;
        for (FT_ULong c = FT_Get_First_Char(f, &index); index != 0;
             c = FT_Get_Next_Char(f, c, &index))
            ++n.glyphCount;
    }
    n.resolutionX = int(integer(f, "RESOLUTION_X").value_or(72));
    n.resolutionY = int(integer(f, "RESOLUTION_Y").value_or(72));
    n.pointSize10 = int(integer(f, "POINT_SIZE").value_or(n.pixelSize * 10 * 72 / n.resolutionY));
    const int index = face.strikeIndex(n.pixelSize);
    if (index >= 0 && FT_Select_Size(f, index) == 0) {
        n.ascent = int((f->size->metrics.ascender + 32) >> 6);
        n.descent = int((32 - f->size->metrics.descender) >> 6);
    }
    n.ascent = int(integer(f, "FONT_ASCENT").value_or(n.ascent));
    n.descent = int(integer(f, "FONT_DESCENT").value_or(n.descent));
    return n;
}

} // namespace

BdfNames bdfNames(const FontFace& face, const RenderSettings& settings) {
    return face.scalable() ? outlineNames(face, settings) : bitmapNames(face, settings);
}

} // namespace zentraq::font
