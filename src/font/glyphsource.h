#pragma once

// Proportional glyphs: each character of a set rendered alone by FreeType,
// with its metrics (advance, ink box, offsets from the pen on the baseline)
// and its coverage samples, quantised to the bit depth of the target. This is
// the source the font writers (LVGL, GFX, vlw) and the sample picture read.
//
// Each target renders as its library's own converter does, so glyphs match:
//
//   Autohinted   LVGL and vlw: FreeType's autohinter forced, the mono target
//                at one bit a pixel and the light target otherwise, at a size
//                in pixels; a sample is the 8-bit coverage shifted right by
//                8 - bits (truncated).
//   Bytecode     GFX: the face's own TrueType hinting in interpreter v35, the
//                mono target, at a size in points and a resolution in dots
//                per inch. A character the face lacks is drawn as its
//                .notdef glyph (fontconvert writes that), kept apart.
//   Otf2bdf      u8g2 and BDF: as u8g2's own fonts are made from outline
//                faces, with otf2bdf -a -r 72 -p N: the autohinter fitting
//                for the normal target (a strike where the face has one of
//                the size), at N points and 72 dpi, drawn one bit deep; each
//                glyph's box cut to its ink the way otf2bdf cuts it (see
//                renderGlyphs).
//
// A bitmap face (BDF, PCF) is drawn from its strike of the size, whatever
// the rendering: its glyphs as they are, box and blank margins included,
// each pixel 0 or the top level.
//
// Bounds, checked before anything is drawn: each glyph's box, from its
// outline, must be within four em (at least 64 pixels) a side and within
// what the target's fields hold (GlyphBound); and the set must not need
// more than MaxSampleBytes of samples, one byte a pixel: estimated first
// as one em square a character, then counted as the glyphs are drawn (a
// caller may set a smaller budget).

#include "fontface.h"

#include <QString>

#include <cstddef>
#include <cstdint>
#include <vector>

namespace zentraq::font {

enum class Rendering { Autohinted, Bytecode, Otf2bdf };

// The largest glyph box a target holds, in pixels a side, and what to say of
// a glyph past it ("%1": the character, as codeName gives it). A glyph within
// two pixels of it is drawn, so that the writer can say exactly.
struct GlyphBound {
    int side = 65535;
    QString refusal; // empty: a message that names the side
};

inline constexpr std::uint64_t MaxSampleBytes = std::uint64_t(256) << 20;

struct RenderSettings {
    Rendering rendering = Rendering::Autohinted;
    int pixelSize = 16;  // Autohinted
    int points = 0;      // Bytecode, Otf2bdf: the size in points ...
    int dpi = 141;       // ... at this resolution (Otf2bdf: always 72)
    int bits = 4;        // 1, 2, 4 or 8 bits a sample (Bytecode: 1)
    bool hinting = true; // Autohinted: false renders the outlines as they are
    GlyphBound bound;
    std::uint64_t sampleBudget = MaxSampleBytes; // samples the set may take
};

// The pixels of one em at the settings' size.
int emPixels(const RenderSettings& settings);

// The size in pixels `settings` ask of a face: its strike (Bytecode: the
// points at the resolution, rounded; Otf2bdf: the points at 72 dpi).
int pixelsFor(const RenderSettings& settings);

// The face's interpreter for `settings`.
Interpreter interpreterFor(const RenderSettings& settings);

struct Glyph {
    char32_t code = 0;
    unsigned index = 0;             // in the face
    std::int32_t linearAdvance = 0; // 16.16 pixels, as designed (not hinted)
    std::int32_t advance = 0;       // 26.6 pixels, as hinted (a strike's: whole)
    int left = 0;                   // ink box: columns right of the pen
    int top = 0;                    // rows above the baseline of its top row
    int width = 0;
    int height = 0;
    std::size_t offset = 0; // its first sample in GlyphSet::samples
};

// What the face says about itself at the size, in its own units unless
// noted.
struct FaceMetrics {
    int unitsPerEm = 0;
    int underlinePosition = 0; // the top of the underline, as the post table has it
    int underlineThickness = 0;
    int typoAscender = 0; // OS/2
    int typoDescender = 0;
    int typoLineGap = 0;
    long lineHeight = 0; // 26.6 pixels: the size's line spacing (ascender - descender + gap)
};

struct GlyphSet {
    RenderSettings settings;
    QString faceName;
    FaceMetrics metrics;
    std::vector<Glyph> glyphs;         // in code order
    std::vector<std::uint8_t> samples; // one per pixel, 0 .. 2^bits - 1, rows from the top
    std::vector<char32_t> missing;     // characters of the set the face does not have
    // Bytecode: the face's .notdef glyph drawn for each missing character,
    // in code order, its code the character's; samples in `samples` too.
    std::vector<Glyph> notdefs;

    const std::uint8_t* samplesOf(const Glyph& g) const { return samples.data() + g.offset; }
    int maxLevel() const { return (1 << settings.bits) - 1; }
    // The glyph of `cp`, or nullptr.
    const Glyph* find(char32_t cp) const;
    // Over all glyphs: the highest top, and the lowest bottom (top - height,
    // negative below the baseline); LVGL's line runs from one to the other.
    int ascent() const;
    int descent() const;
};

// Renders every character of `characters` (sorted, each once) that the face
// has, in code order. Throws FontError when the face cannot be set to the
// size or a glyph cannot be drawn (Failure), when a bitmap face has no
// strike of the size (Request), or when a glyph or the whole set is past the
// bounds above (Request; a glyph past four em: Failure).
//
// Otf2bdf cuts a glyph to the columns and rows that hold ink and places the
// cut box as otf2bdf does: its bottom as high above the bitmap's bottom as
// the blank rows cut from the bitmap's top, rather than those cut from its
// bottom. The two differ only for a bitmap with more blank rows at one end
// than at the other, and the u8g2 fonts made with otf2bdf carry the
// difference.
GlyphSet renderGlyphs(const FontFace& face, const RenderSettings& settings,
                      const std::vector<char32_t>& characters);

} // namespace zentraq::font
