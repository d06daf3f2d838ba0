#pragma once

#include <QString>

namespace zentraq::testing {

// Pixel pictures of a handful of characters at the six cell sizes, decoded
// from the glyph data text that the conversion writes ("#" ink, "." empty),
// headed by the canvas face and its version.
QString glyphGolden();

// The canvas face's version as fontconfig reports it.
QString canvasFaceVersion();

} // namespace zentraq::testing
