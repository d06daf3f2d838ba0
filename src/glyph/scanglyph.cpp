#include "scanglyph.h"

#include "runtime_error.h"

namespace zentraq::rgbqumo {

std::vector<std::uint8_t> GlyphBytes;

int glyphByteCount(qint16 width, qint16 height) {
    qint16 n = 0;
    if (qMulOverflow(width, height, &n)) {
        throw RuntimeError::overflow(
            QStringLiteral("字模 %1×%2 共 %3 个像素，超过 %4 个像素的上限")
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

void ScanGlyph(const Surface& canvas, qint16 width, qint16 height, std::vector<std::uint8_t>& bytes) {
    const int count = glyphByteCount(width, height); // throws before anything changes
    bytes.assign(static_cast<std::size_t>(count), 0);
    const Colour back = canvas.backColour();
    std::uint8_t* out = bytes.data();
    int i = 0;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x, ++i) {
            if (canvas.pixel(x, y) != back)
                out[i >> 3] = static_cast<std::uint8_t>(out[i >> 3] | (1u << (i & 7)));
        }
    }
}

void ScanGlyph(const Surface& canvas, qint16 width, qint16 height) {
    ScanGlyph(canvas, width, height, GlyphBytes);
}

} // namespace zentraq::rgbqumo
