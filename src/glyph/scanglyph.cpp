#include "scanglyph.h"

#include "imagerows.h"
#include "runtime_error.h"

namespace zentraq::rgbqumo {

std::vector<std::uint8_t> GlyphBytes;

int glyphByteCount(qint16 width, qint16 height) {
    qint16 n = 0;
    if (qMulOverflow(width, height, &n)) {
        throw RuntimeError::overflow(QStringLiteral("字模 %1×%2 共 %3 个像素，超过 %4 个像素的上限")
                                         .arg(width)
                                         .arg(height)
                                         .arg(static_cast<int>(width) * height)
                                         .arg(MaxGlyphPixels));
    }
    if (width < 0 || height < 0) {
        throw RuntimeError::overflow(
            QStringLiteral("字模大小 %1×%2 无效，宽和高不能为负").arg(width).arg(height));
    }
    return (n + 7) / 8;
}

void ScanGlyph(const Surface& canvas, qint16 width, qint16 height,
               std::vector<std::uint8_t>& bytes) {
    const int count = glyphByteCount(width, height); // throws before anything changes
    if (count == 0) {
        bytes.clear(); // a side of 0: no pixels, no bytes
        return;
    }
    glyph::CellScanner(core::Layout{}, width, height).scan(canvas, bytes);
}

void ScanGlyph(const Surface& canvas, qint16 width, qint16 height) {
    ScanGlyph(canvas, width, height, GlyphBytes);
}

} // namespace zentraq::rgbqumo

namespace zentraq::glyph {

CellScanner::CellScanner(const core::Layout& layout, int width, int height, bool invert)
    : m_width(width), m_height(height), m_ink(0, invert), m_pipeline(m_ink, layout, width, height) {
}

void CellScanner::scan(const Surface& canvas, std::vector<std::uint8_t>& bytes) {
    m_ink.setBackground(canvas.backColour());
    core::SurfacePixels cell(canvas, m_width, m_height);
    m_pipeline.packed().clear();
    m_pipeline.frame(cell);
    bytes.swap(m_pipeline.packed());
    m_pipeline.packed().clear();
}

} // namespace zentraq::glyph
