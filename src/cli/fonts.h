#pragma once

// The faces the glyph commands draw with (the window's, --font or
// --font-file), and the report of --missing.

#include "glyphcells.h"
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

// --missing: each character of `chars` that no face has, once, as a line
// "U+0378 '\u0378'" on standard output, and a count on standard error unless
// `quiet`. Returns the exit code: 1 when any character is missing.
int reportMissing(const std::vector<char32_t>& chars, glyph::CellDrawer& cells, bool quiet);

} // namespace zentraq::cli
