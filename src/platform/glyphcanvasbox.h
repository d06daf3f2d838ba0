#pragma once

#include "picturebox.h"

namespace zentraq {

// The glyph canvas on screen: a picture box whose surface characters are
// drawn into and scanned from.
class GlyphCanvasBox : public PictureBox {
    Q_OBJECT
public:
    explicit GlyphCanvasBox(QWidget* parent = nullptr) : PictureBox(parent) {}
};

} // namespace zentraq
