#include "fonts.h"

#include "csource.h"
#include "error.h"
#include "fontfaces.h"
#include "input.h"
#include "output.h"
#include "process.h"

#include <QFileInfo>

#include <optional>

namespace zentraq::cli {
namespace {

// The installed face of exactly the family `family` (as fontconfig lists
// families, without substituting another one): the upright regular face when
// there is one.
text::FaceSpec installedFace(const QString& family) {
    if (!text::fontconfigReady())
        failure(QStringLiteral("cannot ask fontconfig for the installed fonts"));
    const std::optional<text::FaceSpec> face =
        text::installedFace(family, text::FacePreference::OwnNameFirst);
    if (!face)
        failure(QStringLiteral(
                    "font family '%1' is not installed (fc-list : family shows the installed ones)")
                    .arg(family));
    recordInput(face->file);
    return *face;
}

// `primary` first, then the faces of `canvas` (the canvas face and its
// fallbacks) for the characters `primary` does not have.
text::FaceChain chainWith(const text::FaceSpec& primary, const text::FaceChain& canvas) {
    text::FaceChain chain;
    chain.primary = primary;
    const auto same = [&primary](const text::FaceSpec& s) {
        return s.file == primary.file && s.index == primary.index;
    };
    if (!canvas.empty() && !same(canvas.primary))
        chain.fallbacks.push_back(canvas.primary);
    for (const text::FaceSpec& s : canvas.fallbacks) {
        if (!same(s))
            chain.fallbacks.push_back(s);
    }
    return chain;
}

} // namespace

std::unique_ptr<glyph::CellDrawer> cellDrawer(const CellOptions& o) {
    std::unique_ptr<text::TextRenderer> renderer;
    if (!o.fontFamily.isEmpty() || !o.fontFile.isEmpty()) {
        const text::FaceSpec face =
            o.fontFile.isEmpty() ? installedFace(o.fontFamily) : fontFileFace(o.fontFile);
        renderer =
            std::make_unique<text::TextRenderer>(chainWith(face, text::resolveCanvasFaces()));
    }
    return std::make_unique<glyph::CellDrawer>(o.spec, std::move(renderer));
}

QStringList describeCells(const glyph::CellDrawer& cells, const CellOptions& o) {
    // The renderer may know a --font-file by its descriptor.
    return cells.describe(o.fontFile.isEmpty() ? QString()
                                               : QFileInfo(o.fontFile).absoluteFilePath());
}

int reportMissing(const std::vector<char32_t>& chars, glyph::CellDrawer& cells, bool quiet) {
    int checked = 0;
    const std::vector<char32_t> missing =
        glyph::missingCharacters(chars, cells.renderer(), &checked);
    QByteArray listing;
    for (const char32_t c : missing)
        listing += core::characterLabel(c).toUtf8() + '\n';
    StdoutSink().write(listing);
    if (!quiet)
        note(missing.empty()
                 ? QStringLiteral("all %1 different characters have a face").arg(checked)
                 : QStringLiteral("%1 of %2 different characters have no face and would be drawn "
                                  "as the missing-character shape")
                       .arg(missing.size())
                       .arg(checked));
    return missing.empty() ? 0 : 1;
}

} // namespace zentraq::cli
