#pragma once

// A glyph set as LVGL's text font (lv_font_fmt_txt): glyph ids 1..N in code
// order, the character map split into the sub-tables LVGL reads, every
// bitmap as LVGL stores it, kerning as pairs or as classes, whichever is
// smaller (classes where the pairs would be more than a font can sensibly
// hold), and the line's metrics. Written as C source for LVGL 9 or 8.3, or
// as the binary font LVGL loads at run time (lv_binfont_create, v8
// lv_font_load).

#include "formatter.h"
#include "glyphsource.h"
#include "kerning.h"
#include "textout.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <span>
#include <vector>

namespace zentraq::font {

struct LvglOptions {
    int version = 9;       // 9 or 8 (8.3)
    bool compress = true;  // bitmaps of 2 bits a sample or more run-length coded
    bool prefilter = true; // ... each row XOR the row above first
    QByteArray name;       // the lv_font_t's name, a C identifier
    QByteArray include;    // the LVGL header the C source includes; empty: "lvgl/lvgl.h"
    QStringList comment;   // lines for the C source's header comment
    QByteArray fallback;   // C: the lv_font_t LVGL asks for characters this one lacks; empty: none
};

// LVGL's cmap sub-table kinds, by their numbers.
enum class CmapKind { Format0Full = 0, SparseFull = 1, Format0Tiny = 2, SparseTiny = 3 };

struct CmapTable {
    CmapKind kind = CmapKind::Format0Tiny;
    std::uint32_t first = 0; // position in the glyph set of its first character
    std::uint32_t count = 0; // characters it maps
};

// The sub-tables for sorted `codes` that take the fewest bytes, the split
// LVGL's own converter makes: a run of consecutive codes costs a 16-byte
// header (format 0 tiny), a span of under 256 codes the header and a byte a
// code (format 0), any span of under 65536 codes the header and 2 bytes a
// character (sparse tiny). Ties go to the table that starts first.
//
// LVGL 8.3 reads two things wrongly: a code missing inside a format 0 table
// gets the table's first glyph, and the code just past any table counts as
// in it. For `lvgl8` the split has no format 0 tables, a tiny table only
// where the code after it starts the next table, and a sparse one only where
// it does not (its look-up then finds nothing, as it should).
std::vector<CmapTable> splitCmap(const std::vector<char32_t>& codes, bool lvgl8 = false);

class LvglFont {
public:
    // Throws FontError (Request) for a set LVGL cannot hold, or kerning that
    // neither LVGL's classes (254 a side) nor MaxKernPairs pairs hold.
    LvglFont(const GlyphSet& set, const Kerning& kerning, LvglOptions options);

    static constexpr std::uint64_t MaxKernPairs = std::uint64_t(1) << 20;

    void writeC(core::ByteSink& sink) const;
    void writeBinary(core::ByteSink& sink) const;

    // LVGL's bitmap_format: 0 plain, 1 prefiltered and compressed, 2
    // compressed.
    int bitmapFormat() const { return m_format; }
    // Whether the font needs LVGL built with LV_FONT_FMT_TXT_LARGE.
    bool needsLargeFormat() const { return m_large; }
    int lineHeight() const { return m_ascent - m_descent; }
    int baseLine() const { return -m_descent; }
    int underlinePosition() const { return m_underlinePosition; }
    int underlineThickness() const { return m_underlineThickness; }
    // Advance in 1/16 pixel (adv_w) of glyph `i` of the set.
    std::uint32_t advance16(std::size_t i) const { return m_advance[i]; }
    // The kern value LVGL stores for the pair (4.4 fixed point, scaled by
    // kernScale()/16), 0 for none.
    int kernValue(std::size_t left, std::size_t right) const;
    int kernScale() const { return m_kernScale; }
    // The pixels LVGL moves the pen after glyph `i` when glyph `next` (or
    // nothing, -1) follows: lv_font_get_glyph_dsc_fmt_txt's arithmetic.
    int penAdvance(std::size_t i, long next) const;
    bool kernClasses() const { return m_useClasses; }
    // The glyph pairs that kern (also when they are stored as classes).
    std::uint64_t kernPairCount() const { return m_pairCount; }
    const std::vector<CmapTable>& cmaps() const { return m_cmaps; }
    int bpp() const { return m_bpp; }
    // With kernClasses(): the class of glyph `i` of the set as the left
    // glyph of a pair (0: none), and how many there are; the glyphs of a
    // class kern alike.
    int leftKernClass(std::size_t i) const { return m_leftClass[i + 1]; }
    int leftKernClasses() const { return m_leftClasses; }
    // Without kernClasses(): the kerning pairs the font keeps, glyphs `left`
    // and `right` of the set and their kern value (as kernValue() gives it),
    // by left, then right.
    struct StoredPair {
        std::size_t left, right;
        int value;
    };
    std::vector<StoredPair> storedPairs() const;

    // The encoding itself, for formats built from it (a font LVGL reads from
    // external flash): glyph `i`'s bitmap from a whole byte and its bits; the
    // binary font's character-map table, its header included; and its
    // kerning data, the pairs or classes (4-byte aligned) without the
    // table's header and format.
    std::span<const std::uint8_t> bitmap(std::size_t i) const {
        return {m_bitmaps.data() + m_bitmapStart[i], m_bitmapStart[i + 1] - m_bitmapStart[i]};
    }
    std::size_t bitmapBits(std::size_t i) const { return m_bitmapBits[i]; }
    QByteArray cmapBinary() const;
    QByteArray kernBinaryData() const;

private:
    struct Pair {
        std::uint32_t left, right; // glyph ids
        std::int8_t value;
    };
    void encodeBitmaps();
    void buildKerning(const Kerning& kerning);
    void checkLimits();
    // The C source's parts, in their order; kerning() returns what the
    // font's kern_dsc points at.
    void writeCHead(TextOut& out) const;
    void writeCBitmaps(TextOut& out) const;
    void writeCGlyphs(TextOut& out) const;
    void writeCCmaps(TextOut& out) const;
    QByteArray writeCKerning(TextOut& out) const;
    void writeCFont(TextOut& out, const QByteArray& kernDsc) const;

    const GlyphSet& m_set;
    LvglOptions m_options;
    int m_bpp = 4;
    int m_format = 0;
    int m_ascent = 0;
    int m_descent = 0;
    int m_underlinePosition = 0;
    int m_underlineThickness = 0;
    int m_typoAscent = 0, m_typoDescent = 0, m_typoLineGap = 0;
    bool m_large = false;
    std::vector<CmapTable> m_cmaps;
    std::vector<std::uint32_t> m_advance;   // adv_w of each glyph
    std::vector<std::uint8_t> m_bitmaps;    // every glyph's bitmap, each from a whole byte
    std::vector<std::size_t> m_bitmapStart; // per glyph, and one past the last
    std::vector<std::size_t> m_bitmapBits;  // per glyph: bits of its bitmap
    // Kerning
    int m_kernScale = 0; // 12.4; 0 without kerning
    bool m_kerned = false;
    std::uint64_t m_pairCount = 0;
    std::vector<Pair> m_pairs; // only when stored as pairs
    bool m_useClasses = false;
    std::vector<std::uint8_t> m_leftClass, m_rightClass; // per glyph id (0 unused)
    int m_leftClasses = 0, m_rightClasses = 0;
    std::vector<std::int8_t> m_classValues;
};

} // namespace zentraq::font
