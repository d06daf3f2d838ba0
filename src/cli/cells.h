#pragma once

// Glyph cells as the glyph and library commands draw them: the window's
// canvas and faces (or the user's font), the cell size and face size, and
// the cell scanned in the chosen byte layout.

#include "glyphcanvas.h"
#include "scanglyph.h"

#include <QStringList>

#include <cstdint>
#include <memory>
#include <vector>

namespace zentraq::cli {

struct Options;

class CellDrawer {
public:
    // Throws CliError (Failure) for a font that is not installed or cannot
    // be read.
    explicit CellDrawer(const Options& options);
    ~CellDrawer();
    CellDrawer(const CellDrawer&) = delete;
    CellDrawer& operator=(const CellDrawer&) = delete;

    // The bytes of `cp` drawn alone at the cell's origin. Valid until the
    // next call.
    const std::vector<std::uint8_t>& glyph(char32_t cp);
    qint64 bytesPerGlyph() const { return m_scanner.bytesPerCell(); }

    text::TextRenderer& renderer() { return m_canvas.renderer(); }

    // The header lines of the C form that describe the cell, the face and
    // the layout.
    QStringList describe() const;

private:
    const Options& m_options;
    std::unique_ptr<text::TextRenderer> m_own;
    GlyphCanvas m_canvas;
    glyph::CellScanner m_scanner;
    std::vector<std::uint8_t> m_bytes;
};

// The characters of `chars` (each once) that no face of `renderer` has, as
// lines "U+0378 '\u0378'" on standard output, with a count on standard error
// unless `quiet`. Control characters are not listed: they are drawn as
// nothing. Returns the exit code: 1 when any character is missing.
int listMissing(const std::vector<char32_t>& chars, text::TextRenderer& renderer, bool quiet);

} // namespace zentraq::cli
