#include "glyphsource.h"

#include "fonterror.h"

#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_BITMAP_H
#include FT_TRUETYPE_TABLES_H

#include <algorithm>
#include <climits>
#include <exception>
#include <thread>

namespace zentraq::font {
namespace {

const unsigned char* rowOf(const FT_Bitmap& b, unsigned y) {
    return b.pitch >= 0 ? b.buffer + static_cast<std::ptrdiff_t>(y) * b.pitch
                        : b.buffer + static_cast<std::ptrdiff_t>(b.rows - 1 - y) * -b.pitch;
}

// Appends the bitmap's coverage as samples of `bits` bits: the 8-bit
// coverage (a one-bit bitmap as 0 or 255) shifted right by 8 - bits.
void appendSamples(FT_Library library, const FT_Bitmap& bitmap, int bits,
                   std::vector<std::uint8_t>& out) {
    const int shift = 8 - bits;
    const unsigned w = bitmap.width, h = bitmap.rows;
    if (w == 0 || h == 0)
        return;
    if (bitmap.pixel_mode == FT_PIXEL_MODE_MONO) {
        for (unsigned y = 0; y < h; ++y) {
            const unsigned char* row = rowOf(bitmap, y);
            for (unsigned x = 0; x < w; ++x)
                out.push_back(static_cast<std::uint8_t>(
                    ((row[x >> 3] >> (7 - (x & 7))) & 1 ? 255 : 0) >> shift));
        }
        return;
    }
    if (bitmap.pixel_mode == FT_PIXEL_MODE_GRAY && bitmap.num_grays == 256) {
        for (unsigned y = 0; y < h; ++y) {
            const unsigned char* row = rowOf(bitmap, y);
            for (unsigned x = 0; x < w; ++x)
                out.push_back(static_cast<std::uint8_t>(row[x] >> shift));
        }
        return;
    }
    // Strikes of 2 or 4 bits, or grey with fewer levels: widened to 8 bits.
    FT_Bitmap grey;
    FT_Bitmap_Init(&grey);
    if (FT_Bitmap_Convert(library, &bitmap, &grey, 1) != 0) {
        FT_Bitmap_Done(library, &grey);
        out.resize(out.size() + std::size_t(w) * h, 0);
        return;
    }
    const int levels = std::max<int>(grey.num_grays, 2) - 1;
    for (unsigned y = 0; y < h; ++y) {
        const unsigned char* row = rowOf(grey, y);
        for (unsigned x = 0; x < w; ++x)
            out.push_back(static_cast<std::uint8_t>(std::min(row[x] * 255 / levels, 255) >> shift));
    }
    FT_Bitmap_Done(library, &grey);
}

FaceMetrics metricsOf(FT_Face face) {
    FaceMetrics m;
    m.unitsPerEm = face->units_per_EM;
    if (const auto* post =
            static_cast<const TT_Postscript*>(FT_Get_Sfnt_Table(face, FT_SFNT_POST))) {
        m.underlinePosition = post->underlinePosition;
        m.underlineThickness = post->underlineThickness;
    } else {
        // FreeType moved the position to the stem's centre.
        m.underlinePosition = face->underline_position + face->underline_thickness / 2;
        m.underlineThickness = face->underline_thickness;
    }
    if (const auto* os2 = static_cast<const TT_OS2*>(FT_Get_Sfnt_Table(face, FT_SFNT_OS2));
        os2 && os2->version != 0xFFFF) {
        m.typoAscender = os2->sTypoAscender;
        m.typoDescender = os2->sTypoDescender;
        m.typoLineGap = os2->sTypoLineGap;
    }
    if (face->size)
        m.lineHeight = face->size->metrics.height;
    return m;
}

// Otf2bdf: the bitmap cut to its ink, otf2bdf's way (see renderGlyphs),
// as samples of one bit; the glyph's box and placement set to match.
void cutToInk(FT_Library library, const FT_GlyphSlot slot, Glyph& g,
              std::vector<std::uint8_t>& out) {
    const FT_Bitmap& b = slot->bitmap;
    std::vector<std::uint8_t> ink;
    appendSamples(library, b, 1, ink);
    const int w = int(b.width), h = int(b.rows);
    int sx = w, sy = h, ex = -1, ey = -1;
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            if (ink[std::size_t(y) * std::size_t(w) + std::size_t(x)]) {
                sx = std::min(sx, x);
                ex = std::max(ex, x);
                sy = std::min(sy, y);
                ey = std::max(ey, y);
            }
        }
    }
    if (ex < 0) {
        sx = sy = 0;
        ex = ey = -1;
    }
    g.left = slot->bitmap_left + sx;
    g.width = ex + 1 - sx;
    g.height = ey + 1 - sy;
    g.top = sy + slot->bitmap_top - h + g.height;
    for (int y = sy; y <= ey; ++y)
        for (int x = sx; x <= ex; ++x)
            out.push_back(ink[std::size_t(y) * std::size_t(w) + std::size_t(x)]);
}

} // namespace

int pixelsFor(const RenderSettings& settings) {
    switch (settings.rendering) {
    case Rendering::Bytecode:
        return int((qint64(settings.points) * settings.dpi + 36) / 72);
    case Rendering::Otf2bdf:
        return settings.points;
    case Rendering::Autohinted:
        break;
    }
    return settings.pixelSize;
}

Interpreter interpreterFor(const RenderSettings& settings) {
    return settings.rendering == Rendering::Bytecode ? Interpreter::Version35
                                                     : Interpreter::Default;
}

const Glyph* GlyphSet::find(char32_t cp) const {
    const auto it = std::lower_bound(glyphs.begin(), glyphs.end(), cp,
                                     [](const Glyph& g, char32_t c) { return g.code < c; });
    return it != glyphs.end() && it->code == cp ? &*it : nullptr;
}

int GlyphSet::ascent() const {
    int v = INT_MIN;
    for (const Glyph& g : glyphs)
        v = std::max(v, g.top);
    return glyphs.empty() ? 0 : v;
}

int GlyphSet::descent() const {
    int v = INT_MAX;
    for (const Glyph& g : glyphs)
        v = std::min(v, g.top - g.height);
    return glyphs.empty() ? 0 : v;
}

namespace {

// Sets the face to the size and gives the load flags, or fails.
FT_Int32 prepare(const FontFace& face, const RenderSettings& settings, const QString& faceName) {
    FT_Face f = face.ft();
    FT_Error error = 0;
    FT_Int32 flags = 0;
    if (!face.scalable()) {
        // A bitmap font: its strike of the size, drawn as it is.
        const int index = face.strikeIndex(pixelsFor(settings));
        if (index < 0)
            requestError(QStringLiteral("%1 is a bitmap font with %2; it has no %3 px")
                             .arg(faceName, face.strikeList())
                             .arg(pixelsFor(settings)));
        if (FT_Select_Size(f, index) != 0)
            fontFailure(QStringLiteral("%1 cannot be drawn at %2 px")
                            .arg(faceName)
                            .arg(pixelsFor(settings)));
        return FT_LOAD_DEFAULT;
    }
    if (settings.rendering == Rendering::Otf2bdf) {
        error = FT_Set_Char_Size(f, 0, FT_F26Dot6(settings.points) << 6, 72, 72);
        flags = FT_LOAD_DEFAULT | FT_LOAD_FORCE_AUTOHINT;
    } else if (settings.rendering == Rendering::Bytecode) {
        error = FT_Set_Char_Size(f, FT_F26Dot6(settings.points) << 6, 0, FT_UInt(settings.dpi), 0);
        flags = FT_LOAD_TARGET_MONO;
    } else {
        error = FT_Set_Pixel_Sizes(f, 0, FT_UInt(settings.pixelSize));
        flags = FT_LOAD_RENDER | (settings.hinting ? FT_LOAD_FORCE_AUTOHINT : FT_LOAD_NO_HINTING) |
                (settings.bits == 1 ? FT_LOAD_TARGET_MONO : FT_LOAD_TARGET_LIGHT);
    }
    if (error != 0)
        fontFailure(settings.rendering != Rendering::Autohinted
                        ? QStringLiteral("%1 cannot be drawn at %2 pt and %3 dpi")
                              .arg(faceName)
                              .arg(settings.points)
                              .arg(settings.dpi)
                        : QStringLiteral("%1 cannot be drawn at %2 px")
                              .arg(faceName)
                              .arg(settings.pixelSize));
    return flags;
}

// Renders characters [first, last) of `characters` into `set` (its glyphs,
// samples and missing characters).
void renderRange(FT_Face f, FT_Int32 flags, const RenderSettings& settings,
                 const std::vector<char32_t>& characters, std::size_t first, std::size_t last,
                 GlyphSet& set) {
    set.glyphs.reserve(last - first);
    for (std::size_t i = first; i < last; ++i) {
        const char32_t cp = characters[i];
        const FT_UInt index = FT_Get_Char_Index(f, cp);
        if (index == 0) {
            set.missing.push_back(cp);
            continue;
        }
        FT_Error error = FT_Load_Glyph(f, index, flags);
        if (error == 0 && settings.rendering != Rendering::Autohinted)
            error = FT_Render_Glyph(f->glyph, FT_RENDER_MODE_MONO);
        if (error != 0)
            fontFailure(QStringLiteral("%1 cannot draw %2: FreeType error %3")
                            .arg(set.faceName, codeName(cp))
                            .arg(error));
        const FT_GlyphSlot slot = f->glyph;
        Glyph g;
        g.code = cp;
        g.index = index;
        g.linearAdvance = static_cast<std::int32_t>(slot->linearHoriAdvance);
        g.advance = static_cast<std::int32_t>(slot->advance.x);
        // A strike's glyph has no design advance: its advance is exact.
        if (!FT_IS_SCALABLE(f) && g.linearAdvance == 0)
            g.linearAdvance = g.advance * 1024;
        g.offset = set.samples.size();
        if (settings.rendering == Rendering::Otf2bdf && FT_IS_SCALABLE(f)) {
            // otf2bdf's DWIDTH: the advance in whole pixels, truncated.
            g.advance = static_cast<std::int32_t>(slot->metrics.horiAdvance >> 6) * 64;
            cutToInk(slot->library, slot, g, set.samples);
        } else {
            g.left = slot->bitmap_left;
            g.top = slot->bitmap_top;
            g.width = static_cast<int>(slot->bitmap.width);
            g.height = static_cast<int>(slot->bitmap.rows);
            appendSamples(slot->library, slot->bitmap, settings.bits, set.samples);
        }
        set.glyphs.push_back(g);
    }
}

// Characters a thread of its own is worth starting for.
constexpr std::size_t PerThread = 1024;

} // namespace

GlyphSet renderGlyphs(const FontFace& face, const RenderSettings& settings,
                      const std::vector<char32_t>& characters) {
    FT_Face f = face.ft();
    GlyphSet set;
    set.settings = settings;
    set.faceName = face.name();
    const FT_Int32 flags = prepare(face, settings, set.faceName);
    set.metrics = metricsOf(f);

    // The autohinter draws each glyph from its outline and the face's own
    // measures alone, whatever was drawn before: large sets are split among
    // threads, each with a face of its own. The bytecode interpreter keeps
    // state from glyph to glyph, so GFX fonts are drawn in order, in one. A
    // strike's glyphs take no drawing: opening the face again would cost
    // more than they do.
    const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
    const std::size_t parts =
        settings.rendering != Rendering::Bytecode && face.scalable()
            ? std::min<std::size_t>(
                  {cores, 4, std::max<std::size_t>(1, characters.size() / PerThread)})
            : 1;
    std::vector<GlyphSet> more(parts - 1);
    std::vector<std::exception_ptr> failures(parts - 1);
    std::vector<std::thread> threads;
    const auto bound = [&](std::size_t part) { return characters.size() * part / parts; };
    for (std::size_t p = 1; p < parts; ++p) {
        threads.emplace_back([&, p] {
            try {
                const FontFace own(face.data(), face.index(), face.label(),
                                   interpreterFor(settings));
                more[p - 1].faceName = set.faceName;
                const FT_Int32 ownFlags = prepare(own, settings, set.faceName);
                renderRange(own.ft(), ownFlags, settings, characters, bound(p), bound(p + 1),
                            more[p - 1]);
            } catch (...) {
                failures[p - 1] = std::current_exception();
            }
        });
    }
    std::exception_ptr failure;
    try {
        renderRange(f, flags, settings, characters, 0, bound(1), set);
    } catch (...) {
        failure = std::current_exception();
    }
    for (std::thread& t : threads)
        t.join();
    if (failure)
        std::rethrow_exception(failure);
    for (std::size_t p = 0; p + 1 < parts; ++p) {
        if (failures[p])
            std::rethrow_exception(failures[p]);
        const std::size_t base = set.samples.size();
        for (Glyph& g : more[p].glyphs) {
            g.offset += base;
            set.glyphs.push_back(g);
        }
        set.samples.insert(set.samples.end(), more[p].samples.begin(), more[p].samples.end());
        set.missing.insert(set.missing.end(), more[p].missing.begin(), more[p].missing.end());
    }
    return set;
}

} // namespace zentraq::font
