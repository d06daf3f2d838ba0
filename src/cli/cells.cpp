#include "cells.h"

#include "cformat.h"
#include "cli.h"
#include "faces.h"
#include "files.h"
#include "options.h"
#include "qumo.h"

#include <QFileInfo>

#include <set>

namespace zentraq::cli {
namespace {

// The renderer for --font or --font-file; nullptr for the window's faces.
std::unique_ptr<text::TextRenderer> chosenRenderer(const Options& o) {
    if (o.fontFamily.isEmpty() && o.fontFile.isEmpty())
        return nullptr;
    const text::FaceSpec face =
        o.fontFile.isEmpty() ? installedFace(o.fontFamily) : fontFileFace(o.fontFile);
    return std::make_unique<text::TextRenderer>(chainWith(face, text::resolveCanvasFaces()));
}

bool isControl(char32_t cp) {
    return cp < 0x20 || (cp >= 0x7F && cp < 0xA0);
}

} // namespace

CellDrawer::CellDrawer(const Options& o)
    : m_options(o), m_own(chosenRenderer(o)), m_canvas(m_own.get()),
      m_scanner(o.layout, o.width, o.height, o.invert) {
    // A window size at the face size of the window: what its size button
    // does. Any other cell at its height in pixels, or at --pixel-size.
    if (o.preset && o.pixelSize == 0) {
        glyph::prepareCanvas(m_canvas, qint16(o.width), qint16(o.height), o.square);
    } else {
        m_canvas.setWidth(o.width);
        m_canvas.setHeight(o.height);
        m_canvas.setFontSize(static_cast<float>(o.pixelSize > 0 ? o.pixelSize : o.height) * 3.0f /
                             4.0f);
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

QStringList CellDrawer::describe() const {
    const text::FaceSpec& face = m_canvas.renderer().faces().primary;
    // A --font-file as the user named it (the renderer may know it by its
    // descriptor).
    const QString file =
        m_options.fontFile.isEmpty() ? face.file : QFileInfo(m_options.fontFile).absoluteFilePath();
    QString caption;
    for (const glyph::SizePreset& p : glyph::SizePresets) {
        if (p.width == m_options.width && p.height == m_options.height)
            caption = QStringLiteral(" (%1)").arg(QString::fromUtf16(p.caption));
    }
    QStringList lines{QStringLiteral("cell: %1x%2%3, %4 bytes each")
                          .arg(QString::number(m_options.width), QString::number(m_options.height),
                               caption, QString::number(bytesPerGlyph())),
                      QStringLiteral("font: %1 (%2), %3 pt = %4 px")
                          .arg(face.family.isEmpty() ? QStringLiteral("-") : face.family,
                               file.isEmpty() ? QStringLiteral("no file") : file,
                               QString::number(static_cast<double>(m_canvas.fontSize()), 'g', 7),
                               QString::number(m_canvas.pixelSize()))};
    return lines + layoutLines(m_options.layout, m_options.invert);
}

int listMissing(const std::vector<char32_t>& chars, text::TextRenderer& renderer, bool quiet) {
    // Control characters are never drawn from a face (they draw nothing), so
    // they are not missing from one.
    std::set<char32_t> seen;
    QByteArray listing;
    int missing = 0;
    int checked = 0;
    for (const char32_t c : chars) {
        if (isControl(c) || !seen.insert(c).second)
            continue;
        ++checked;
        if (!renderer.hasCharacter(c)) {
            ++missing;
            listing += characterLabel(c).toUtf8() + '\n';
        }
    }
    StdoutSink().write(listing);
    if (!quiet) {
        note(missing == 0
                 ? QStringLiteral("all %1 different characters have a face").arg(checked)
                 : QStringLiteral("%1 of %2 different characters have no face and would be drawn "
                                  "as the missing-character shape")
                       .arg(missing)
                       .arg(checked));
    }
    return missing == 0 ? 0 : 1;
}

} // namespace zentraq::cli
