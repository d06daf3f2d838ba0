#pragma once

// Glyph cells for fonts and font libraries: every character drawn alone in a
// cell of any size, with the window's canvas and faces or with other faces,
// and the cell scanned in a byte layout.

#include "formatter.h"
#include "glyphcanvas.h"
#include "packer.h"
#include "scanglyph.h"

#include <QImage>
#include <QStringList>

#include <cstdint>
#include <memory>
#include <vector>

namespace zentraq::glyph {

struct CellShape {
    int width = 0;
    int height = 0;
    // The face's size in pixels; 0: the cell height, and for one of the
    // window's six sizes the face size its size button sets.
    int pixelSize = 0;
    core::Layout layout; // one bit per sample
    bool invert = false; // ink 0, background 1
};

class CellDrawer {
public:
    // Draws with the faces of `renderer`, or with the window's when it is
    // null.
    explicit CellDrawer(const CellShape& shape, std::unique_ptr<text::TextRenderer> renderer = {});
    ~CellDrawer();
    CellDrawer(const CellDrawer&) = delete;
    CellDrawer& operator=(const CellDrawer&) = delete;

    // The bytes of `cp` drawn alone at the cell's origin. Valid until the
    // next call.
    const std::vector<std::uint8_t>& glyph(char32_t cp);
    qint64 bytesPerGlyph() const { return m_scanner.bytesPerCell(); }

    // Each character's glyph through `out`, a frame each, and the end; in
    // the C form each frame's comment names its character.
    void write(const std::vector<char32_t>& chars, core::Formatter& out);

    text::TextRenderer& renderer() { return m_canvas.renderer(); }
    // The pixel size the faces are drawn at.
    int pixelSize() const { return m_canvas.pixelSize(); }

    // The lines of a C header comment that describe the cell, the face and
    // the layout; `fontFile` names the face's file when the renderer knows
    // it by another name.
    QStringList describe(const QString& fontFile = {}) const;

private:
    CellShape m_shape;
    std::unique_ptr<text::TextRenderer> m_own;
    GlyphCanvas m_canvas;
    CellScanner m_scanner;
    std::vector<std::uint8_t> m_bytes;
};

// The characters of `chars`, each once, that no face of `renderer` has at
// `pixelSize`. Control characters are never drawn from a face (they draw
// nothing), so they are never missing; `checked` gets how many different
// characters were looked at.
std::vector<char32_t> missingCharacters(const std::vector<char32_t>& chars,
                                        text::TextRenderer& renderer, int pixelSize,
                                        int* checked = nullptr);

// Glyph data read back: its glyphs side by side, `columns` to a row, ink
// black on white. `bytes` holds a whole number of glyphs in `layout`; a null
// picture when there is no memory for it.
QImage glyphSheet(const QByteArray& bytes, const core::Layout& layout, QSize cell, bool invert,
                  int columns);

} // namespace zentraq::glyph
