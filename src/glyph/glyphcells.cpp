#include "glyphcells.h"

#include "csource.h"
#include "qumo.h"

#include <algorithm>
#include <set>

namespace zentraq::glyph {
namespace {

const SizePreset* presetOf(const CellShape& s) {
    for (const SizePreset& p : SizePresets) {
        if (p.width == s.width && p.height == s.height)
            return &p;
    }
    return nullptr;
}

bool isControl(char32_t cp) {
    return cp < 0x20 || (cp >= 0x7F && cp < 0xA0);
}

} // namespace

CellDrawer::CellDrawer(const CellShape& shape, std::unique_ptr<text::TextRenderer> renderer)
    : m_shape(shape), m_own(std::move(renderer)), m_canvas(m_own.get()),
      m_scanner(shape.layout, shape.width, shape.height, shape.invert) {
    // A window size at the face size of the window: what its size button
    // does. Any other cell at its height in pixels, or at the pixel size.
    if (const SizePreset* p = presetOf(shape); p && shape.pixelSize == 0) {
        prepareCanvas(m_canvas, p->width, p->height, p->square);
    } else {
        m_canvas.setWidth(shape.width);
        m_canvas.setHeight(shape.height);
        m_canvas.setFontSize(
            static_cast<float>(shape.pixelSize > 0 ? shape.pixelSize : shape.height) * 3.0f / 4.0f);
    }
}

CellDrawer::~CellDrawer() = default;

const std::vector<std::uint8_t>& CellDrawer::glyph(char32_t cp) {
    m_canvas.clear();
    m_canvas.setCurrentX(0);
    m_canvas.setCurrentY(0);
    m_canvas.Print(cp);
    m_scanner.scan(m_canvas.surface(), m_bytes);
    return m_bytes;
}

void CellDrawer::write(const std::vector<char32_t>& chars, core::Formatter& out) {
    const bool c = out.form() == core::DataForm::C;
    for (const char32_t cp : chars) {
        out.bytes(glyph(cp));
        out.endFrame(c ? core::characterLabel(cp).toUtf8() : QByteArray());
    }
    out.finish();
}

QStringList CellDrawer::describe(const QString& fontFile) const {
    const text::FaceChoice& face = m_canvas.renderer().faces().primary;
    const QString file = fontFile.isEmpty() ? face.file : fontFile;
    const SizePreset* preset = presetOf(m_shape);
    const QString caption =
        preset ? QStringLiteral(" (%1)").arg(QString::fromUtf16(preset->caption)) : QString();
    const QStringList lines{
        QStringLiteral("cell: %1x%2%3, %4 bytes each")
            .arg(QString::number(m_shape.width), QString::number(m_shape.height), caption,
                 QString::number(bytesPerGlyph())),
        QStringLiteral("font: %1 (%2), %3 pt = %4 px")
            .arg(face.family.isEmpty() ? QStringLiteral("-") : face.family,
                 file.isEmpty() ? QStringLiteral("no file") : file,
                 QString::number(static_cast<double>(m_canvas.fontSize()), 'g', 7),
                 QString::number(m_canvas.pixelSize()))};
    return lines + core::layoutLines(m_shape.layout, m_shape.invert);
}

std::vector<char32_t> missingCharacters(const std::vector<char32_t>& chars,
                                        text::TextRenderer& renderer, int pixelSize, int* checked) {
    std::set<char32_t> seen;
    std::vector<char32_t> missing;
    for (const char32_t c : chars) {
        if (isControl(c) || !seen.insert(c).second)
            continue;
        if (!renderer.hasCharacter(c, pixelSize))
            missing.push_back(c);
    }
    if (checked)
        *checked = int(seen.size());
    return missing;
}

QImage glyphSheet(const QByteArray& bytes, const core::Layout& layout, QSize cell, bool invert,
                  int columnsWanted) {
    const int width = cell.width(), height = cell.height();
    const qint64 perGlyph = core::frameBytes(layout, width, height);
    const qint64 count = bytes.size() / perGlyph;
    const qint64 columns = std::min<qint64>(columnsWanted, count);
    const qint64 rows = (count + columns - 1) / columns;
    QImage image(int(columns * width), int(rows * height), QImage::Format_RGB32);
    if (image.isNull())
        return image;
    image.fill(Qt::white);
    const auto* data = reinterpret_cast<const std::uint8_t*>(bytes.constData());
    const std::uint32_t ink = invert ? 0 : 1;
    std::vector<std::uint32_t> samples;
    for (qint64 g = 0; g < count; ++g) {
        const int x0 = int((g % columns) * width);
        const int y0 = int((g / columns) * height);
        core::unpackFrame(layout, width, height, data + g * perGlyph, samples);
        for (int y = 0; y < height; ++y) {
            auto* row = reinterpret_cast<QRgb*>(image.scanLine(y0 + y)) + x0;
            for (int x = 0; x < width; ++x) {
                if (samples[std::size_t(y) * std::size_t(width) + std::size_t(x)] == ink)
                    row[x] = qRgb(0, 0, 0);
            }
        }
    }
    return image;
}

} // namespace zentraq::glyph
