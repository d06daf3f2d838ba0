#pragma once

// Monochrome text drawing for the glyph canvas: characters rendered one bit
// per pixel with FreeType from faces that fontconfig reports as installed.
// No Qt Widgets and no window system: the headless tool and the tests draw
// exactly what the window draws.

#include <QString>

#include <cstdint>
#include <memory>
#include <vector>

namespace zentraq::text {

// One installed face: a font file and the face index inside it (collections
// hold several faces).
struct FaceChoice {
    QString file;
    int index = 0;
    QString family; // as fontconfig names it; informational
};

// The faces the canvas draws with, in the order they are asked for a
// character: the canvas face first, then the faces a character it lacks is
// taken from.
struct FaceChain {
    FaceChoice primary;
    std::vector<FaceChoice> fallbacks;
    bool empty() const { return primary.file.isEmpty(); }
};

// Asks fontconfig once for the faces the canvas font resolves to:
// "宋体" (SimSun, NSimSun, 新宋体) when such a face is really installed, else
// "AR PL UMing CN"; when neither is there, the first installed face that
// covers Simplified Chinese. Fallbacks are the other installed faces, those
// covering Chinese, Japanese or Korean first; bitmap-only faces among them
// draw only at the sizes of their strikes.
FaceChain resolveCanvasFaces();

// A character rendered into the cell: ink pixels relative to the cell's
// top-left corner (the drawing position).
struct RasterGlyph {
    int left = 0;  // column of the ink box's left edge in the cell
    int top = 0;   // row of the ink box's top edge in the cell
    int width = 0; // ink box size in pixels
    int height = 0;
    int advance = 0;               // pen movement to the next character, pixels
    std::vector<std::uint8_t> ink; // width * height, row-major, 1 = ink
    int face = -1;                 // 0 = primary, 1.. = fallbacks, -1 = nothing drawn
    bool fromStrike = false;       // taken from the face's bitmap strike

    bool isInk(int x, int y) const { return ink[static_cast<std::size_t>(y) * width + x] != 0; }
};

// Font size in points to pixels at 96 dots per inch (9 pt = 12 px, 12 pt =
// 16 px, 24 pt = 32 px), rounded to nearest with halves to even; sizes that
// are not numbers or not positive give 0 (nothing is drawn).
int pointsToPixels(double points);

// The largest pixel size the renderer draws; larger sizes are drawn at it.
inline constexpr int MaxPixelSize = 2048;

// Renders characters of a face chain: fontconfig is asked only when the
// renderer is built, FreeType when a character is drawn at a size that is
// not in the cache. The cache keeps the glyphs used last, up to a number of
// bytes (ink masks and bookkeeping), so memory stays flat however many
// different characters a job draws; a glyph left out is rendered again, the
// same. Not thread-safe: one thread uses it.
class TextRenderer {
public:
    // Enough for every GB2312 and GBK character at the window's sizes.
    static constexpr std::size_t DefaultCacheBytes = std::size_t(32) << 20;

    explicit TextRenderer(FaceChain faces, std::size_t cacheBytes = DefaultCacheBytes);
    ~TextRenderer();
    TextRenderer(const TextRenderer&) = delete;
    TextRenderer& operator=(const TextRenderer&) = delete;

    // The renderer over resolveCanvasFaces(), built on first use.
    static TextRenderer& shared();

    // The character `cp` at `pixelSize` pixels, its cell `pixelSize` rows
    // high with the baseline at baseline(). It comes from the first face of
    // the chain that has it and draws at that size: a face that scales, or a
    // bitmap-only face (PCF, BDF) with a strike of exactly that size. A
    // fallback face whose glyph is taller than the cell, or wider than both
    // the cell and its advance, is passed over for the next face whose glyph
    // fits; when none fits, the first is taken. The canvas face's own glyphs
    // are always taken. The face's strike of exactly that size is used when
    // it has one, else the outline is rendered one bit deep. Ink that would
    // overhang the top, the bottom or the left edge of the cell by a pixel or
    // two is moved in. Control characters draw nothing; a character no face
    // has draws the canvas face's missing-glyph shape. The reference stays
    // valid until the next call of glyph().
    const RasterGlyph& glyph(char32_t cp, int pixelSize);

    // Bytes the cache holds now; at most its limit, or one glyph when that
    // glyph alone is larger.
    std::size_t cacheBytes() const;

    // Row of the baseline in a cell of `pixelSize` for face `face` of the
    // chain: the face's em box (typographic ascender over ascender minus
    // descender) scaled to the pixel size and rounded.
    int baseline(int face, int pixelSize);

    const FaceChain& faces() const;
    // Whether a face of the chain has the character `cp` at `pixelSize`,
    // found the way glyph() finds the face to draw it from; false for a
    // character glyph() draws as the canvas face's missing-glyph shape and
    // for values that are not characters. Control characters are looked up
    // like any other, although glyph() draws nothing for them.
    bool hasCharacter(char32_t cp, int pixelSize);
    // Whether face `face` has a bitmap strike of exactly `pixelSize` pixels.
    bool hasStrike(int face, int pixelSize);
    // Faces that could be opened (a missing or broken file is skipped).
    bool faceUsable(int face);

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

} // namespace zentraq::text
