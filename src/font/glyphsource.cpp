#include "glyphsource.h"

#include "fonterror.h"

#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_BITMAP_H
#include FT_OUTLINE_H
#include FT_BBOX_H
#include FT_TRUETYPE_TABLES_H

#include <algorithm>
#include <atomic>
#include <climits>
#include <cstdlib>
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

int emPixels(const RenderSettings& settings) {
    switch (settings.rendering) {
    case Rendering::Bytecode:
        return int((std::int64_t(settings.points) * settings.dpi + 71) / 72);
    case Rendering::Otf2bdf:
        return settings.points;
    case Rendering::Autohinted:
        break;
    }
    return settings.pixelSize;
}

int pixelsFor(const RenderSettings& settings) {
    switch (settings.rendering) {
    case Rendering::Bytecode:
        return int((std::int64_t(settings.points) * settings.dpi + 36) / 72);
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

// How glyphs are loaded, then drawn: FreeType's FT_LOAD_RENDER in two steps,
// so that the outline's box can be checked between them.
struct Loading {
    FT_Int32 flags = 0;
    FT_Render_Mode mode = FT_RENDER_MODE_MONO;
};

// Sets the face to the size and gives the load flags, or fails.
Loading prepare(const FontFace& face, const RenderSettings& settings, const QString& faceName) {
    FT_Face f = face.ft();
    FT_Error error = 0;
    Loading l;
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
        l.flags = FT_LOAD_DEFAULT;
        return l;
    }
    if (settings.rendering == Rendering::Otf2bdf) {
        error = FT_Set_Char_Size(f, 0, FT_F26Dot6(settings.points) << 6, 72, 72);
        l.flags = FT_LOAD_DEFAULT | FT_LOAD_FORCE_AUTOHINT;
    } else if (settings.rendering == Rendering::Bytecode) {
        error = FT_Set_Char_Size(f, FT_F26Dot6(settings.points) << 6, 0, FT_UInt(settings.dpi), 0);
        l.flags = FT_LOAD_TARGET_MONO;
    } else {
        error = FT_Set_Pixel_Sizes(f, 0, FT_UInt(settings.pixelSize));
        const bool strong = settings.autohint == Autohint::Strong;
        l.flags = (!settings.hinting                    ? FT_LOAD_NO_HINTING
                   : settings.autohint == Autohint::Off ? FT_LOAD_NO_AUTOHINT
                                                        : FT_LOAD_FORCE_AUTOHINT) |
                  (settings.bits == 1 ? FT_LOAD_TARGET_MONO
                   : strong           ? FT_LOAD_TARGET_NORMAL
                                      : FT_LOAD_TARGET_LIGHT);
        l.mode = settings.bits == 1 ? FT_RENDER_MODE_MONO
                 : strong           ? FT_RENDER_MODE_NORMAL
                                    : FT_RENDER_MODE_LIGHT;
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
    return l;
}

QString sizeName(const RenderSettings& settings) {
    return settings.rendering == Rendering::Autohinted
               ? QStringLiteral("%1 px").arg(settings.pixelSize)
               : QStringLiteral("%1 pt at %2 dpi").arg(settings.points).arg(settings.dpi);
}

// "7.3 GiB", "256 MiB", "2.1 MiB".
QString bytesName(std::uint64_t bytes) {
    if (bytes >= (std::uint64_t(1) << 30))
        return QStringLiteral("%1 GiB").arg(double(bytes) / double(1 << 30), 0, 'f', 1);
    if (bytes % (1 << 20) == 0)
        return QStringLiteral("%1 MiB").arg(bytes >> 20);
    return QStringLiteral("%1 MiB").arg(double(bytes) / double(1 << 20), 0, 'f', 1);
}

// The loaded glyph's box against the bounds, before it is drawn.
void checkBox(FT_GlyphSlot slot, char32_t cp, const RenderSettings& settings,
              const QString& faceName) {
    long width = slot->bitmap.width, height = slot->bitmap.rows;
    if (slot->format == FT_GLYPH_FORMAT_OUTLINE) {
        FT_BBox box{};
        FT_Outline_Get_BBox(&slot->outline, &box);
        width = long((((box.xMax + 63) & -64) - (box.xMin & -64)) >> 6);
        height = long((((box.yMax + 63) & -64) - (box.yMin & -64)) >> 6);
    }
    const long sane = std::max(64L, 4L * emPixels(settings));
    if (width > sane || height > sane)
        fontFailure(QStringLiteral("the glyph of %1 in %2 would be %3 x %4 pixels at %5, more "
                                   "than the %6 a side (four em) a glyph may take")
                        .arg(codeName(cp), faceName)
                        .arg(width)
                        .arg(height)
                        .arg(sizeName(settings))
                        .arg(sane));
    // A pen step no field holds (a damaged DWIDTH, a hostile hmtx): 16.16
    // pixels end at 32767.
    const long advance = std::labs(slot->advance.x) >> 6;
    if (advance > 32767)
        fontFailure(QStringLiteral("the advance of %1 in %2 would be %3 pixels at %4, more than "
                                   "the 32767 a glyph may take")
                        .arg(codeName(cp), faceName)
                        .arg(advance)
                        .arg(sizeName(settings)));
    const long side = settings.bound.side;
    if (width > side + 2 || height > side + 2)
        requestError(!settings.bound.refusal.isEmpty()
                         ? settings.bound.refusal.arg(codeName(cp))
                         : QStringLiteral("the glyph of %1 would be %2 x %3 pixels, more than the "
                                          "%4 a side the format holds")
                               .arg(codeName(cp))
                               .arg(width)
                               .arg(height)
                               .arg(side));
}

[[noreturn]] void tooManySamples(const QString& faceName, const RenderSettings& settings) {
    requestError(QStringLiteral("the glyphs of %1 at %2 take more than the %3 of glyph data a "
                                "font may take; give a smaller size or fewer characters")
                     .arg(faceName, sizeName(settings), bytesName(settings.sampleBudget)));
}

// Renders characters [first, last) of `characters` into `set` (its glyphs,
// samples and missing characters); `total` counts the samples of all parts,
// `stop` says that another part failed.
void renderRange(FT_Face f, Loading loading, const RenderSettings& settings,
                 const std::vector<char32_t>& characters, std::size_t first, std::size_t last,
                 std::atomic<std::uint64_t>& total, const std::atomic<bool>& stop, GlyphSet& set) {
    set.glyphs.reserve(last - first);
    const bool notdefs = settings.rendering == Rendering::Bytecode;
    for (std::size_t i = first; i < last && !stop; ++i) {
        const char32_t cp = characters[i];
        const FT_UInt index = FT_Get_Char_Index(f, cp);
        if (index == 0) {
            set.missing.push_back(cp);
            if (!notdefs)
                continue;
        }
        FT_Error error = FT_Load_Glyph(f, index, loading.flags);
        if (error == 0)
            checkBox(f->glyph, cp, settings, set.faceName);
        if (error == 0 && f->glyph->format != FT_GLYPH_FORMAT_BITMAP)
            error = FT_Render_Glyph(f->glyph, loading.mode);
        if (error != 0)
            fontFailure(QStringLiteral("%1 cannot draw %2: FreeType error %3")
                            .arg(set.faceName, index ? codeName(cp) : QStringLiteral(".notdef"))
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
        const std::uint64_t pixels = std::uint64_t(slot->bitmap.width) * slot->bitmap.rows;
        if (total.fetch_add(pixels) + pixels > settings.sampleBudget)
            tooManySamples(set.faceName, settings);
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
        (index ? set.glyphs : set.notdefs).push_back(g);
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
    const Loading loading = prepare(face, settings, set.faceName);
    set.metrics = metricsOf(f);

    // Before anything is drawn: an em square of samples for each character
    // the face has.
    std::uint64_t present = 0;
    for (const char32_t c : characters)
        present += FT_Get_Char_Index(f, c) != 0;
    const std::uint64_t em = std::uint64_t(emPixels(settings));
    if (present * em * em > settings.sampleBudget)
        requestError(QStringLiteral("%1 characters of %2 at %3 would take about %4 of glyph data "
                                    "(a %5 x %5 pixel em each), more than the %6 a font may "
                                    "take; give a smaller size or fewer characters")
                         .arg(present)
                         .arg(set.faceName, sizeName(settings), bytesName(present * em * em))
                         .arg(em)
                         .arg(bytesName(settings.sampleBudget)));
    std::atomic<std::uint64_t> total{0};
    std::atomic<bool> stop{false};

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
                const Loading ownLoading = prepare(own, settings, set.faceName);
                renderRange(own.ft(), ownLoading, settings, characters, bound(p), bound(p + 1),
                            total, stop, more[p - 1]);
            } catch (...) {
                failures[p - 1] = std::current_exception();
                stop = true;
            }
        });
    }
    std::exception_ptr failure;
    try {
        renderRange(f, loading, settings, characters, 0, bound(1), total, stop, set);
    } catch (...) {
        failure = std::current_exception();
        stop = true;
    }
    for (std::thread& t : threads)
        t.join();
    if (failure)
        std::rethrow_exception(failure);
    for (std::size_t p = 0; p + 1 < parts; ++p)
        if (failures[p])
            std::rethrow_exception(failures[p]);
    if (parts == 1)
        return set;
    // The parts' samples into one block of the exact size, each part freed
    // as soon as it is in: at most one part more than the whole at a time.
    std::size_t size = set.samples.size();
    for (const GlyphSet& m : more)
        size += m.samples.size();
    std::vector<std::uint8_t> samples;
    samples.reserve(size);
    samples.insert(samples.end(), set.samples.begin(), set.samples.end());
    std::vector<std::uint8_t>().swap(set.samples);
    for (GlyphSet& m : more) {
        const std::size_t base = samples.size();
        for (Glyph& g : m.glyphs) {
            g.offset += base;
            set.glyphs.push_back(g);
        }
        samples.insert(samples.end(), m.samples.begin(), m.samples.end());
        std::vector<std::uint8_t>().swap(m.samples);
        set.missing.insert(set.missing.end(), m.missing.begin(), m.missing.end());
    }
    set.samples = std::move(samples);
    return set;
}

} // namespace zentraq::font
