#pragma once

// The font of several face groups (facegroups.h): each group's glyphs
// drawn from its face with its own hinting, the groups within one font's
// budget of samples, put together into one set, and the source a writer
// makes the font from.

#include "facegroups.h"
#include "fontwriter.h"

#include <QString>

#include <cstddef>
#include <functional>
#include <memory>
#include <vector>

namespace zentraq::font {

// One group as it is drawn: its face (a position in the faces it is drawn
// with, each face read once however many groups name it), how the
// autohinter fits it, and its characters' places.
struct GroupDrawing {
    std::size_t face = 0;
    Autohint autohint = Autohint::Light;
    std::vector<PlacedCode> placed;
};

// A font drawn from face groups: the merged set, and the source whose set
// it is.
struct GroupFont {
    std::unique_ptr<GlyphSet> set;
    FontSource source;
};

// Each group drawn from its face with `render` and its own autohinting, the
// groups in order and together within render.sampleBudget, then merged
// (mergeGroups). `note` gets, group after group, what `writer` says of the
// characters its face lacks (leftOut; a group that chooses nothing says
// nothing). The source has one face of `faces` for each that gives glyphs,
// with their positions in the set, drawn from it by any group; the first
// is kept even when it gives none (it names the font and gives its
// metrics); a source of one face has all glyphs. Its output and fallback
// are left to the caller. Throws FontError as renderGlyphs and leftOut do.
GroupFont drawGroups(std::vector<FaceGroup> faces, std::vector<GroupDrawing> groups,
                     const FontWriter& writer, const RenderSettings& render,
                     const std::function<void(const QString&)>& note);

// --missing: for each group, the characters its face lacks (missingList);
// when there are several groups, those that choose nothing are left out.
std::vector<MissingList> groupsMissing(const std::vector<FaceGroup>& faces,
                                       const std::vector<GroupDrawing>& groups);

// The characters of the font: every group's places, in code order.
std::vector<char32_t> fontCharacters(const std::vector<std::vector<PlacedCode>>& placed);

} // namespace zentraq::font
