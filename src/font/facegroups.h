#pragma once

// A font made of several faces: each face group chooses the characters its
// face gives (code ranges, moved or not, texts and character sets), every
// character of the font comes from one group, and the glyphs each group's
// face draws are put together into one set in code order.
//
// Which group gives a character chosen by more than one: the last group on
// the command line that chooses it, whether or not its face has the
// character (lv_font_conv 1.5.3 does the same: a later selection replaces an
// earlier one, and a character the replacing face lacks is left out). A
// moved code that meets another chosen character, or another moved code, is
// refused: a user who moves a glyph onto a code means that glyph, and no
// order of options should decide it silently.

#include "charset.h"
#include "glyphsource.h"

#include <QString>

#include <cstdint>
#include <vector>

namespace zentraq::font {

// One group as the command line gives it: what it chooses, and how messages
// name its face.
struct GroupRequest {
    CharacterRequest characters; // its ranges may move codes (parseCodeChoices)
    QString face;
};

// A character of the font: the face's `code`, at `to` in the font.
struct PlacedCode {
    char32_t code = 0;
    char32_t to = 0;
};

// The characters each group gives the font, sorted by code then place (a
// code may go to two places). Throws FontError: Request for a range that
// cannot be read, a charset that is neither a name nor a file, a group that
// chooses nothing (`allowEmpty`: unless it reads --chars-from files, which
// may hold no characters), or a moved code that meets another chosen one
// (naming both); Failure for a charset file that is not UTF-8 and a
// --chars-from file that cannot be read (sourceCharacters).
std::vector<std::vector<PlacedCode>> placeCharacters(const std::vector<GroupRequest>& groups,
                                                     const SourceFiles& files,
                                                     bool allowEmpty = false);

// The distinct codes of `placed`, in order: what the group's face draws.
std::vector<char32_t> facesCodes(const std::vector<PlacedCode>& placed);

// Each group's glyph set (drawn from facesCodes() of its places) with the
// places of its characters.
struct DrawnGroup {
    GlyphSet set;
    std::vector<PlacedCode> placed;
};

// One set of every group's glyphs at their places, in code order, with the
// first group's settings, face name and metrics; `positions` gets, for each
// group, the positions of its glyphs in the result (ascending). The sets'
// samples are moved into the result.
GlyphSet mergeGroups(std::vector<DrawnGroup>& groups,
                     std::vector<std::vector<std::uint32_t>>* positions);

} // namespace zentraq::font
