#include "textrenderer.h"

#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_BITMAP_H
#include FT_SIZES_H
#include FT_TRUETYPE_TABLES_H

#include <algorithm>
#include <cmath>
#include <list>
#include <unordered_map>

namespace zentraq::text {

int pointsToPixels(double points) {
    if (!(points > 0.0)) // also false for NaN
        return 0;
    const double px = std::nearbyint(points * 96.0 / 72.0);
    return static_cast<int>(std::min(px, static_cast<double>(MaxPixelSize)));
}

namespace {

struct LibraryDeleter {
    void operator()(FT_Library lib) const { FT_Done_FreeType(lib); }
};
struct FaceDeleter {
    void operator()(FT_Face face) const { FT_Done_Face(face); }
};
struct SizeDeleter {
    void operator()(FT_Size size) const { FT_Done_Size(size); }
};
using LibraryPtr = std::unique_ptr<std::remove_pointer_t<FT_Library>, LibraryDeleter>;
using FacePtr = std::unique_ptr<std::remove_pointer_t<FT_Face>, FaceDeleter>;

bool isControl(char32_t cp) {
    return cp < 0x20 || (cp >= 0x7F && cp < 0xA0);
}

std::uint64_t cacheKey(char32_t cp, int px) {
    return (static_cast<std::uint64_t>(static_cast<std::uint32_t>(px)) << 32) | cp;
}

// Copies a rendered bitmap into the glyph's ink mask. Bitmap strikes may be
// grey or colour; a pixel is ink from half coverage on, so the canvas never
// receives anything but the ink colour.
void takeBitmap(FT_Library lib, const FT_Bitmap& bm, RasterGlyph& g) {
    g.width = static_cast<int>(bm.width);
    g.height = static_cast<int>(bm.rows);
    g.ink.assign(static_cast<std::size_t>(g.width) * g.height, 0);
    if (g.width == 0 || g.height == 0)
        return;

    const auto rowOf = [](const FT_Bitmap& b, int y) -> const unsigned char* {
        return b.pitch >= 0 ? b.buffer + static_cast<std::ptrdiff_t>(y) * b.pitch
                            : b.buffer + static_cast<std::ptrdiff_t>(b.rows - 1 - y) * -b.pitch;
    };

    if (bm.pixel_mode == FT_PIXEL_MODE_MONO) {
        for (int y = 0; y < g.height; ++y) {
            const unsigned char* row = rowOf(bm, y);
            for (int x = 0; x < g.width; ++x)
                g.ink[static_cast<std::size_t>(y) * g.width + x] =
                    (row[x >> 3] >> (7 - (x & 7))) & 1;
        }
        return;
    }

    FT_Bitmap grey;
    FT_Bitmap_Init(&grey);
    if (FT_Bitmap_Convert(lib, &bm, &grey, 1) == 0) {
        const int levels = std::max<int>(grey.num_grays, 2);
        for (int y = 0; y < g.height && y < static_cast<int>(grey.rows); ++y) {
            const unsigned char* row = rowOf(grey, y);
            for (int x = 0; x < g.width && x < static_cast<int>(grey.width); ++x)
                g.ink[static_cast<std::size_t>(y) * g.width + x] = row[x] * 2 >= levels ? 1 : 0;
        }
    }
    FT_Bitmap_Done(lib, &grey);
}

} // namespace

struct TextRenderer::Impl {
    struct Face {
        FaceChoice source;
        FacePtr face;
        bool tried = false;
        // Em box in font units, for the baseline.
        long emAscender = 0;
        long emDescender = 0;
    };

    // A cached glyph and its place in the order of use.
    struct Cached {
        RasterGlyph glyph;
        std::list<std::uint64_t>::iterator use;
    };

    FaceChain chain;
    LibraryPtr lib;
    std::vector<Face> faces;                       // 0 = primary
    std::unordered_map<std::uint64_t, int> faceOf; // (character, size) -> face, -1 none
    std::unordered_map<std::uint64_t, Cached> cache;
    std::list<std::uint64_t> uses; // cache keys, the one used last first
    std::size_t cacheLimit = 0;
    std::size_t cacheBytes = 0;

    // What a cached glyph takes: its ink and, roughly, the map's and the
    // list's nodes.
    static std::size_t costOf(const RasterGlyph& g) {
        return g.ink.capacity() + sizeof(Cached) + 4 * sizeof(void*) + sizeof(std::uint64_t);
    }

    const RasterGlyph& cached(std::uint64_t key, char32_t cp, int px) {
        auto it = cache.find(key);
        if (it != cache.end()) {
            uses.splice(uses.begin(), uses, it->second.use);
            return it->second.glyph;
        }
        RasterGlyph g = render(cp, px);
        g.ink.shrink_to_fit();
        const std::size_t cost = costOf(g);
        // Room for the new glyph, which stays even when it alone is over
        // the limit: the caller holds a reference to it.
        while (!uses.empty() && cacheBytes + cost > cacheLimit) {
            const auto last = cache.find(uses.back());
            cacheBytes -= costOf(last->second.glyph);
            cache.erase(last);
            uses.pop_back();
        }
        uses.push_front(key);
        try {
            it = cache.emplace(key, Cached{std::move(g), uses.begin()}).first;
        } catch (...) {
            uses.pop_front();
            throw;
        }
        cacheBytes += cost;
        return it->second.glyph;
    }

    FT_Face open(int i) {
        if (i < 0 || i >= static_cast<int>(faces.size()) || !lib)
            return nullptr;
        Face& f = faces[i];
        if (!f.tried) {
            f.tried = true;
            FT_Face raw = nullptr;
            const QByteArray path = f.source.file.toLocal8Bit();
            if (!path.isEmpty() &&
                FT_New_Face(lib.get(), path.constData(), f.source.index, &raw) == 0) {
                f.face.reset(raw);
                const auto* os2 = static_cast<const TT_OS2*>(FT_Get_Sfnt_Table(raw, FT_SFNT_OS2));
                if (os2 && os2->version != 0xFFFF && os2->sTypoAscender - os2->sTypoDescender > 0) {
                    f.emAscender = os2->sTypoAscender;
                    f.emDescender = os2->sTypoDescender;
                } else if (raw->ascender - raw->descender > 0) {
                    f.emAscender = raw->ascender;
                    f.emDescender = raw->descender;
                }
                // A face that can neither scale nor has any strike is of no use.
                if (!FT_IS_SCALABLE(raw) && raw->num_fixed_sizes == 0)
                    f.face.reset();
            }
        }
        return f.face.get();
    }

    int strikeIndex(FT_Face face, int px) const {
        for (int i = 0; i < face->num_fixed_sizes; ++i) {
            const FT_Bitmap_Size& s = face->available_sizes[i];
            const bool exact =
                s.y_ppem != 0 ? s.y_ppem == static_cast<FT_Pos>(px) * 64 : s.height == px;
            if (exact)
                return i;
        }
        return -1;
    }

    // Sets the face's active size to `px` pixels: its strike of exactly that
    // size when it has one (`strike` true), else its outline scaled. False
    // when neither is possible.
    bool size(FT_Face face, int px, bool& strike) {
        const int index = strikeIndex(face, px);
        strike = index >= 0;
        if (strike)
            return FT_Select_Size(face, index) == 0;
        return FT_IS_SCALABLE(face) && FT_Set_Pixel_Sizes(face, 0, static_cast<FT_UInt>(px)) == 0;
    }

    int baseline(int i, int px) {
        if (!open(i))
            return static_cast<int>(std::nearbyint(px * 0.8));
        const Face& f = faces[i];
        if (f.emAscender - f.emDescender <= 0)
            return static_cast<int>(std::nearbyint(px * 0.8));
        return static_cast<int>(std::nearbyint(static_cast<double>(f.emAscender) * px /
                                               static_cast<double>(f.emAscender - f.emDescender)));
    }

    // Whether face `face` draws at `px` pixels: it scales, or it has a
    // strike of exactly that size.
    bool drawsAt(FT_Face face, int px) const {
        return FT_IS_SCALABLE(face) || strikeIndex(face, px) >= 0;
    }

    // The first face of the chain after `after` that maps `cp` to a glyph and
    // draws at `px`, -1 if none.
    int nextFaceFor(char32_t cp, int px, int after) {
        if (cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
            return -1;
        for (int i = after + 1; i < static_cast<int>(faces.size()); ++i) {
            FT_Face face = open(i);
            if (face && FT_Get_Char_Index(face, cp) != 0 && drawsAt(face, px))
                return i;
        }
        return -1;
    }

    // The first face of the chain that has `cp` at `px`, -1 if none.
    int faceFor(char32_t cp, int px) {
        const std::uint64_t key = cacheKey(cp, px);
        const auto it = faceOf.find(key);
        if (it != faceOf.end())
            return it->second;
        const int found = nextFaceFor(cp, px, -1);
        faceOf.emplace(key, found);
        return found;
    }

    // Whether the ink of `g`, moved in as keepInCell() moves it, lies within a
    // cell `px` rows high and as wide as the larger of `px` and its advance.
    static bool fits(const RasterGlyph& g, int px) {
        return g.height <= px && g.width <= std::max(px, g.advance);
    }

    // `cp` at `px` from the first face that has it there. A fallback face
    // whose glyph does not fit the cell is passed over for the next face
    // that has the character and whose glyph fits; when none fits, the
    // first is taken, moved in. The canvas face's glyphs are always its own.
    RasterGlyph render(char32_t cp, int px) {
        if (px <= 0 || isControl(cp))
            return {};
        const int fi = faceFor(cp, px);
        FT_Face first = open(0);
        if (fi < 0 && !(first && drawsAt(first, px)))
            return {};
        // Without a face that has it: the canvas face's missing-glyph shape.
        RasterGlyph g = fi < 0 ? renderFrom(0, 0, px)
                               : renderFrom(fi, FT_Get_Char_Index(faces[fi].face.get(), cp), px);
        if (fi > 0 && !fits(g, px)) {
            for (int next = nextFaceFor(cp, px, fi); next >= 0; next = nextFaceFor(cp, px, next)) {
                RasterGlyph other =
                    renderFrom(next, FT_Get_Char_Index(faces[next].face.get(), cp), px);
                if (other.face >= 0 && fits(other, px)) {
                    g = std::move(other);
                    break;
                }
            }
        }
        keepInCell(g, px);
        return g;
    }

    // Glyph `index` of face `fi` at `px`, its ink box shrunk to the ink.
    RasterGlyph renderFrom(int fi, FT_UInt index, int px) {
        RasterGlyph g;
        FT_Face face = faces[fi].face.get();

        // Each glyph is loaded in a size object of its own: hinting keeps
        // state in the size (scaled control values, storage), and a glyph
        // must not depend on what was drawn before it, at this size or another.
        FT_Size scratch = nullptr;
        if (FT_New_Size(face, &scratch) != 0)
            return g;
        const std::unique_ptr<FT_SizeRec_, SizeDeleter> sizeGuard(scratch);
        bool strike = false;
        if (FT_Activate_Size(scratch) != 0 || !size(face, px, strike))
            return g;
        FT_Int32 flags = FT_LOAD_TARGET_MONO | FT_LOAD_MONOCHROME;
        if (!strike)
            flags |= FT_LOAD_NO_BITMAP;
        if (FT_Load_Glyph(face, index, flags) != 0)
            return g;
        FT_GlyphSlot slot = face->glyph;
        g.fromStrike = slot->format == FT_GLYPH_FORMAT_BITMAP;
        if (!g.fromStrike && FT_Render_Glyph(slot, FT_RENDER_MODE_MONO) != 0)
            return g;

        g.face = fi;
        g.advance = static_cast<int>((slot->advance.x + 32) >> 6);
        g.left = slot->bitmap_left;
        g.top = baseline(fi, px) - slot->bitmap_top;
        takeBitmap(lib.get(), slot->bitmap, g);
        trim(g);
        return g;
    }

    // Shrinks the ink box to the ink: strikes often carry whole blank cells.
    static void trim(RasterGlyph& g) {
        int x0 = g.width, y0 = g.height, x1 = -1, y1 = -1;
        for (int y = 0; y < g.height; ++y) {
            for (int x = 0; x < g.width; ++x) {
                if (g.isInk(x, y)) {
                    x0 = std::min(x0, x);
                    x1 = std::max(x1, x);
                    y0 = std::min(y0, y);
                    y1 = std::max(y1, y);
                }
            }
        }
        if (x1 < 0) {
            g.left = g.top = g.width = g.height = 0;
            g.ink.clear();
            return;
        }
        const int w = x1 - x0 + 1, h = y1 - y0 + 1;
        std::vector<std::uint8_t> ink(static_cast<std::size_t>(w) * h);
        for (int y = 0; y < h; ++y) {
            for (int x = 0; x < w; ++x)
                ink[static_cast<std::size_t>(y) * w + x] = g.isInk(x0 + x, y0 + y) ? 1 : 0;
        }
        g.left += x0;
        g.top += y0;
        g.width = w;
        g.height = h;
        g.ink = std::move(ink);
    }

    // The cell is `px` rows high and starts at the drawing position. A few
    // glyphs overhang it by a pixel (a negative left bearing, a stroke above
    // the em box); they are moved in by the overhang instead of losing it.
    static void keepInCell(RasterGlyph& g, int px) {
        if (g.left < 0)
            g.left = 0;
        if (g.top + g.height > px)
            g.top = px - g.height;
        if (g.top < 0)
            g.top = 0;
    }
};

TextRenderer::TextRenderer(FaceChain faces, std::size_t cacheBytes) : d(std::make_unique<Impl>()) {
    d->chain = std::move(faces);
    d->cacheLimit = cacheBytes;
    FT_Library raw = nullptr;
    if (FT_Init_FreeType(&raw) == 0)
        d->lib.reset(raw);
    if (!d->chain.empty()) {
        d->faces.push_back({});
        d->faces.back().source = d->chain.primary;
        for (const FaceChoice& s : d->chain.fallbacks) {
            d->faces.push_back({});
            d->faces.back().source = s;
        }
    }
}

TextRenderer::~TextRenderer() {
    // Faces go before the library that made them.
    if (d) {
        d->cache.clear();
        d->uses.clear();
        d->faces.clear();
    }
}

TextRenderer& TextRenderer::shared() {
    static TextRenderer renderer(resolveCanvasFaces());
    return renderer;
}

const RasterGlyph& TextRenderer::glyph(char32_t cp, int pixelSize) {
    pixelSize = std::clamp(pixelSize, 0, MaxPixelSize);
    return d->cached(cacheKey(cp, pixelSize), cp, pixelSize);
}

std::size_t TextRenderer::cacheBytes() const {
    return d->cacheBytes;
}

int TextRenderer::baseline(int face, int pixelSize) {
    return d->baseline(face, std::clamp(pixelSize, 0, MaxPixelSize));
}

const FaceChain& TextRenderer::faces() const {
    return d->chain;
}

bool TextRenderer::hasCharacter(char32_t cp, int pixelSize) {
    return d->faceFor(cp, std::clamp(pixelSize, 0, MaxPixelSize)) >= 0;
}

bool TextRenderer::hasStrike(int face, int pixelSize) {
    FT_Face f = d->open(face);
    return f && d->strikeIndex(f, pixelSize) >= 0;
}

bool TextRenderer::faceUsable(int face) {
    return d->open(face) != nullptr;
}

} // namespace zentraq::text
