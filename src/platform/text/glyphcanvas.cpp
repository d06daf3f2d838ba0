#include "glyphcanvas.h"

#include <algorithm>
#include <climits>

namespace zentraq {

GlyphCanvas::GlyphCanvas(text::TextRenderer* renderer)
    : m_own(std::make_unique<Surface>(DefaultSize, DefaultSize, DefaultBackColor)),
      m_surface(m_own.get()), m_renderer(renderer ? renderer : &text::TextRenderer::shared()) {}

GlyphCanvas::GlyphCanvas(Surface& surface, text::TextRenderer* renderer)
    : m_surface(&surface), m_renderer(renderer ? renderer : &text::TextRenderer::shared()) {}

void GlyphCanvas::setWidth(int width) {
    m_surface->resize(width, m_surface->height());
    resized();
}

void GlyphCanvas::setHeight(int height) {
    m_surface->resize(m_surface->width(), height);
    resized();
}

void GlyphCanvas::resized() {
    if (m_onResize)
        m_onResize(m_surface->width(), m_surface->height());
}

void GlyphCanvas::setFontSize(float points) {
    m_fontSize = points;
}

void GlyphCanvas::clear() {
    m_surface->clear();
    m_x = 0;
    m_y = 0;
}

void GlyphCanvas::Print(char32_t cp) {
    const text::RasterGlyph& g = m_renderer->glyph(cp, pixelSize());
    QImage& image = m_surface->image();
    const int w = image.width();
    const int h = image.height();
    const QRgb ink = Surface::toQRgb(m_fore);
    // Clip the ink box to the canvas once, then paint only ink pixels.
    const long long ox = static_cast<long long>(m_x) + g.left;
    const long long oy = static_cast<long long>(m_y) + g.top;
    const long long x0 = std::max<long long>(0, -ox);
    const long long y0 = std::max<long long>(0, -oy);
    const long long x1 = std::min<long long>(g.width, w - ox);
    const long long y1 = std::min<long long>(g.height, h - oy);
    for (long long gy = y0; gy < y1; ++gy) {
        auto* row = reinterpret_cast<QRgb*>(image.scanLine(static_cast<int>(oy + gy)));
        const std::uint8_t* src = g.ink.data() + gy * g.width;
        for (long long gx = x0; gx < x1; ++gx) {
            if (src[gx])
                row[ox + gx] = ink;
        }
    }
    m_x = static_cast<int>(
        std::clamp<long long>(static_cast<long long>(m_x) + g.advance, INT_MIN, INT_MAX));
}

void GlyphCanvas::Print(QStringView text) {
    for (qsizetype i = 0; i < text.size();)
        Print(nextCharacter(text, i));
}

char32_t nextCharacter(QStringView text, qsizetype& i) {
    const char16_t c = text[i].unicode();
    if (QChar::isHighSurrogate(c) && i + 1 < text.size() &&
        QChar::isLowSurrogate(text[i + 1].unicode())) {
        const char32_t cp = QChar::surrogateToUcs4(c, text[i + 1].unicode());
        i += 2;
        return cp;
    }
    ++i;
    return c;
}

} // namespace zentraq
