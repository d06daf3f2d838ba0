#pragma once

// Kerning: one face and the glyphs of a set in, the kerning between those
// glyphs out, read from the face's own tables (see pairtables.h), never by
// trying every pair. Two rules say which of the face's tables count:
//
// - KerningRule::Script, what HarfBuzz gives text in the characters' script:
//   a pair is kerned in the script of its first character that has one
//   (digits, punctuation and spaces have none; a pair of those takes the
//   face's default script, DFLT, else latn), by the lookups of the kern
//   feature (and of any required feature) of that script's default language
//   system: pair adjustments of format 1 and 2, also behind Extension
//   lookups, summed over the lookups in lookup order, the first subtable
//   that applies in each, lookup flags respected (GDEF's glyph classes, or
//   nonspacing marks by their category where it has none). Where that
//   language system has no kern feature, the legacy kern table counts (its
//   horizontal format 0 subtables, summed). A pair's value is how far the
//   second glyph moves: the first glyph's advance change plus the second's
//   placement. Characters that shaping hides (default ignorables such as
//   U+00AD) are not kerned.
// - KerningRule::LvglCompatible, what lv_font_conv 1.5.3 reads: one script
//   for every pair, DFLT if the face has it, else latn; the kern feature's
//   lookups of type 2 in the feature's order, and the first subtable of them
//   that has the pair gives its first glyph's advance change; the legacy
//   kern table (its first subtable) only when the face has no GPOS table.
//
// The result is in classes: glyphs that kern alike on one side share a
// class, and a value is kept for each pair of classes that kerns. A class
// rule of the face's (all glyphs against all, say) costs its classes, not
// the pairs it makes; memory and time stay within fixed bounds, past which
// the kerning is refused (FontError, Request).

#include "fontface.h"
#include "glyphsource.h"

#include <cstdint>
#include <vector>

namespace zentraq::font {

enum class KerningRule { Script, LvglCompatible };

struct Kerning {
    // The class of each glyph of the set, by its position in GlyphSet::glyphs,
    // as the first (left) and as the second (right) of a pair: 1 .. count, 0
    // for a glyph that kerns with nothing on that side.
    std::vector<std::uint32_t> leftClass, rightClass;
    std::uint32_t leftClasses = 0, rightClasses = 0;
    struct Cell {
        std::uint32_t left = 0, right = 0; // classes
        int value = 0;                     // font units; never 0
    };
    std::vector<Cell> cells; // sorted by left, then right

    bool empty() const { return cells.empty(); }
    // The value of glyph `left` followed by glyph `right` (positions in the
    // set), 0 for none.
    int value(std::size_t left, std::size_t right) const;
    // How many glyph pairs kern: the sum over the cells of the sizes of their
    // two classes.
    std::uint64_t pairCount() const;
};

// Throws FontError (Request) when the face's tables would take more work or
// memory than the bounds allow; --no-kerning is then the way on.
Kerning kerningOf(const FontFace& face, const GlyphSet& set, KerningRule rule);

struct KernPair {
    std::uint32_t left = 0; // positions in GlyphSet::glyphs
    std::uint32_t right = 0;
    int value = 0; // font units; never 0
};

// The kerning as glyph pairs, sorted by left, then right.
std::vector<KernPair> kernPairs(const Kerning& kerning);

} // namespace zentraq::font
