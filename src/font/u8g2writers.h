#pragma once

// The font writers of u8g2 fonts (u8g2: the C string literal as bdfconv
// writes it; u8g2-bin: its bytes) and of BDF files (bdf), for the table of
// fontwriters.cpp. All three draw one bit a pixel as otf2bdf -a -r 72 -p PT
// draws u8g2's own fonts (Rendering::Otf2bdf), at --size or --points, the
// same at 72 dpi; a bitmap face at its strike of the size.

#include "fontwriter.h"

namespace zentraq::font {

const FontWriter* u8g2Writer(bool binary);
const FontWriter* bdfWriter();

} // namespace zentraq::font
