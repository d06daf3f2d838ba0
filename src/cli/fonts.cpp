#include "fonts.h"

#include "csource.h"
#include "error.h"
#include "fonterror.h"
#include "fontface.h"
#include "fontfaces.h"
#include "input.h"
#include "output.h"
#include "process.h"

#include <QFileInfo>

#include <optional>

namespace zentraq::cli {
namespace {

// `primary` first, then the faces of `canvas` (the canvas face and its
// fallbacks) for the characters `primary` does not have.
text::FaceChain chainWith(const text::FaceChoice& primary, const text::FaceChain& canvas) {
    text::FaceChain chain;
    chain.primary = primary;
    const auto same = [&primary](const text::FaceChoice& s) {
        return s.file == primary.file && s.index == primary.index;
    };
    if (!canvas.empty() && !same(canvas.primary))
        chain.fallbacks.push_back(canvas.primary);
    for (const text::FaceChoice& s : canvas.fallbacks) {
        if (!same(s))
            chain.fallbacks.push_back(s);
    }
    return chain;
}

[[noreturn]] void fontFailed(const font::FontError& e) {
    throw CliError(e.kind() == font::FontError::Request ? CliError::Usage : CliError::Failure,
                   e.message());
}

// The font file as the font command reads it: a BDF file checked as text
// (bdfcheck.h), also what FreeType would have drawn from.
std::unique_ptr<font::FontFace> checkedFace(const QString& path) {
    try {
        return std::make_unique<font::FontFace>(readWhole(path), 0, readable(path));
    } catch (const font::FontError& e) {
        fontFailed(e);
    }
}

// The font file's face for the renderer; when FreeType refuses a BDF file,
// the check says what is wrong with it.
text::FaceChoice fontFileFaceOrWhy(const QString& path) {
    try {
        return fontFileFace(path);
    } catch (const CliError&) {
        QByteArray data;
        try {
            data = readWhole(path);
        } catch (const CliError&) {
        }
        try {
            if (font::isBdf(data))
                font::checkBdf(data, readable(path));
        } catch (const font::FontError& e) {
            fontFailed(e);
        }
        throw;
    }
}

} // namespace

text::FaceChoice installedFace(const QString& family) {
    if (!text::fontconfigReady())
        failure(QStringLiteral("cannot ask fontconfig for the installed fonts"));
    const std::optional<text::FaceChoice> face =
        text::installedFace(family, text::FacePreference::OwnNameFirst);
    if (!face)
        failure(QStringLiteral(
                    "font family '%1' is not installed (fc-list : family shows the installed ones)")
                    .arg(family));
    recordInput(face->file);
    return *face;
}

std::unique_ptr<glyph::CellDrawer> cellDrawer(const CellOptions& o) {
    std::unique_ptr<text::TextRenderer> renderer;
    if (!o.fontFamily.isEmpty() || !o.fontFile.isEmpty()) {
        const text::FaceChoice face =
            o.fontFile.isEmpty() ? installedFace(o.fontFamily) : fontFileFaceOrWhy(o.fontFile);
        renderer =
            std::make_unique<text::TextRenderer>(chainWith(face, text::resolveCanvasFaces()));
    }
    auto drawer = std::make_unique<glyph::CellDrawer>(o.shape, std::move(renderer));
    const std::unique_ptr<font::FontFace> file =
        o.fontFile.isEmpty() ? nullptr : checkedFace(o.fontFile);
    // A bitmap font (BDF, PCF) draws only at the sizes of its strikes.
    if (file && !file->scalable() && file->strikeIndex(drawer->pixelSize()) < 0)
        usageError(QStringLiteral("'%1' is a bitmap font with %2; it has no %3 px (the cell's "
                                  "height, or --pixel-size)")
                       .arg(readable(o.fontFile), file->strikeList())
                       .arg(drawer->pixelSize()));
    return drawer;
}

void recordFacesDrawn(glyph::CellDrawer& cells, const std::vector<char32_t>& chars,
                      const CellOptions& o) {
    text::TextRenderer& renderer = cells.renderer();
    const text::FaceChain& faces = renderer.faces();
    if (faces.empty())
        return;
    // The first face draws the missing-character shape; a --font-file is
    // recorded as it was named.
    if (o.fontFile.isEmpty())
        recordInput(faces.primary.file);
    std::vector<bool> used(faces.fallbacks.size(), false);
    for (const char32_t c : chars) {
        const int face = renderer.glyph(c, cells.pixelSize()).face;
        if (face > 0 && std::size_t(face) <= used.size())
            used[std::size_t(face - 1)] = true;
    }
    for (std::size_t i = 0; i < used.size(); ++i) {
        if (used[i])
            recordInput(faces.fallbacks[i].file);
    }
}

QStringList describeCells(const glyph::CellDrawer& cells, const CellOptions& o) {
    // The renderer may know a --font-file by its descriptor.
    return cells.describe(o.fontFile.isEmpty() ? QString()
                                               : QFileInfo(o.fontFile).absoluteFilePath());
}

GroupFaces readGroupFaces(const std::vector<FontFaceOptions>& groups,
                          const font::RenderSettings& render,
                          std::vector<std::vector<font::PlacedCode>> placed) {
    GroupFaces l;
    std::vector<text::FaceChoice> chosen;
    for (std::size_t g = 0; g < groups.size(); ++g) {
        const FontFaceOptions& f = groups[g];
        const text::FaceChoice c =
            f.file.isEmpty() ? installedFace(f.family) : text::FaceChoice{f.file, f.faceIndex, {}};
        std::size_t at = 0;
        while (at < chosen.size() && !(chosen[at].file == c.file && chosen[at].index == c.index))
            ++at;
        if (at == chosen.size()) {
            l.read.push_back(std::make_unique<font::FontFace>(
                readWhole(c.file), c.index, readable(c.file), font::interpreterFor(render)));
            l.faces.push_back({l.read.back().get(), c.file, readable(c.file), {}});
            chosen.push_back(c);
        }
        l.groups.push_back({at, f.autohint, std::move(placed[g])});
    }
    return l;
}

int reportMissing(const std::vector<char32_t>& chars, glyph::CellDrawer& cells, bool quiet) {
    int checked = 0;
    const std::vector<char32_t> missing =
        glyph::missingCharacters(chars, cells.renderer(), cells.pixelSize(), &checked);
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
