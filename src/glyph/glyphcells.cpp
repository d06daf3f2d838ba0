#include "glyphcells.h"

#include "csource.h"
#include "qumo.h"

#include <set>

namespace zentraq::glyph {
namespace {

const SizePreset* presetOf(const CellSpec& s) {
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

CellDrawer::CellDrawer(const CellSpec& spec, std::unique_ptr<text::TextRenderer> renderer)
    : m_spec(spec), m_own(std::move(renderer)), m_canvas(m_own.get()),
      m_scanner(spec.layout, spec.width, spec.height, spec.invert) {
    // A window size at the face size of the window: what its size button
    // does. Any other cell at its height in pixels, or at the pixel size.
    if (const SizePreset* p = presetOf(spec); p && spec.pixelSize == 0) {
        prepareCanvas(m_canvas, p->width, p->height, p->square);
    } else {
        m_canvas.setWidth(spec.width);
        m_canvas.setHeight(spec.height);
        m_canvas.setFontSize(static_cast<float>(spec.pixelSize > 0 ? spec.pixelSize : spec.height) *
                             3.0f / 4.0f);
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
    const text::FaceSpec& face = m_canvas.renderer().faces().primary;
    const QString file = fontFile.isEmpty() ? face.file : fontFile;
    const SizePreset* preset = presetOf(m_spec);
    const QString caption =
        preset ? QStringLiteral(" (%1)").arg(QString::fromUtf16(preset->caption)) : QString();
    const QStringList lines{
        QStringLiteral("cell: %1x%2%3, %4 bytes each")
            .arg(QString::number(m_spec.width), QString::number(m_spec.height), caption,
                 QString::number(bytesPerGlyph())),
        QStringLiteral("font: %1 (%2), %3 pt = %4 px")
            .arg(face.family.isEmpty() ? QStringLiteral("-") : face.family,
                 file.isEmpty() ? QStringLiteral("no file") : file,
                 QString::number(static_cast<double>(m_canvas.fontSize()), 'g', 7),
                 QString::number(m_canvas.pixelSize()))};
    return lines + core::layoutLines(m_spec.layout, m_spec.invert);
}

std::vector<char32_t> missingCharacters(const std::vector<char32_t>& chars,
                                        text::TextRenderer& renderer, int* checked) {
    std::set<char32_t> seen;
    std::vector<char32_t> missing;
    for (const char32_t c : chars) {
        if (isControl(c) || !seen.insert(c).second)
            continue;
        if (!renderer.hasCharacter(c))
            missing.push_back(c);
    }
    if (checked)
        *checked = int(seen.size());
    return missing;
}

} // namespace zentraq::glyph
