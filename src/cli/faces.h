#pragma once

// The faces the tool draws glyphs with when the user names a font.

#include "textrenderer.h"

#include <QString>

namespace zentraq::cli {

// The installed face of exactly the family `family` (as fontconfig lists
// families, without substituting another one): the upright regular face when
// there is one. Throws CliError (Failure) when no such family is installed.
text::FaceSpec installedFace(const QString& family);

// `primary` first, then the faces of `canvas` (the canvas face and its
// fallbacks) for the characters `primary` does not have.
text::FaceChain chainWith(const text::FaceSpec& primary, const text::FaceChain& canvas);

} // namespace zentraq::cli
