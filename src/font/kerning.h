#pragma once

// Kerning between the characters of a glyph set, as the face has it:
//
// - a face with a GPOS table: the pair adjustments of its "kern" feature, in
//   the default language of the DFLT script (else of latn), as HarfBuzz
//   applies them to the two characters alone; the advance change of the left
//   one counts. Only characters whose glyphs the feature's lookups name are
//   paired, so a face without kerning costs nothing;
// - a face without GPOS: its legacy "kern" table, through FreeType.

#include "fontface.h"
#include "glyphsource.h"

#include <cstdint>
#include <vector>

namespace zentraq::font {

struct KernPair {
    std::uint32_t left = 0; // positions in GlyphSet::glyphs
    std::uint32_t right = 0;
    int value = 0; // font units; never 0
};

// Sorted by left, then right.
std::vector<KernPair> kerningPairs(const FontFace& face, const GlyphSet& set);

} // namespace zentraq::font
