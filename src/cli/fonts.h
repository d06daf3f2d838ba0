#pragma once

// The faces the glyph commands draw with (the window's, --font or
// --font-file), the report of --missing, and the faces of the font
// command's groups.

#include "commands.h"
#include "glyphcells.h"
#include "groupfont.h"
#include "options.h"
#include "textrenderer.h"

#include <memory>
#include <vector>

namespace zentraq::cli {

// The installed face of exactly the family `family` (as fontconfig lists
// families, without substituting another one), the upright regular face when
// there is one; its file is recorded as read. Throws CliError (Failure) when
// no such family is installed.
text::FaceChoice installedFace(const QString& family);

// A drawer of the cells the options ask for. Throws CliError (Failure) for a
// font that is not installed or cannot be read.
std::unique_ptr<glyph::CellDrawer> cellDrawer(const CellOptions& options);

// Records the font files the glyphs of `chars` were drawn from: the first
// face of the chain (it draws the missing-character shape) and each other
// face that drew one of them.
void recordFacesDrawn(glyph::CellDrawer& cells, const std::vector<char32_t>& chars,
                      const CellOptions& options);

// The header lines of the C form for the cells, naming a --font-file as
// the user named it.
QStringList describeCells(const glyph::CellDrawer& cells, const CellOptions& options);

// The faces of a font's groups, each file's face read once, and each
// group's face (its position in `faces`), autohinting and characters.
struct GroupFaces {
    std::vector<std::unique_ptr<font::FontFace>> read;
    std::vector<font::FaceGroup> faces;
    std::vector<font::GroupDrawing> groups;
};
// Throws CliError (Failure) for a family that is not installed or a file
// that cannot be read, FontError for one that is no font.
GroupFaces readGroupFaces(const std::vector<FontFaceOptions>& groups,
                          const font::RenderSettings& render,
                          std::vector<std::vector<font::PlacedCode>> placed);

// --missing: each character of `chars` that no face has, once, as a line
// "U+0378 '\u0378'" on standard output, and a count on standard error unless
// `quiet`. Returns the exit code: 1 when any character is missing.
int reportMissing(const std::vector<char32_t>& chars, glyph::CellDrawer& cells, bool quiet);

} // namespace zentraq::cli
