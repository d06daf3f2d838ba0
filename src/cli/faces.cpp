#include "faces.h"

#include "fontfaces.h"
#include "options.h"

#include <QFile>
#include <QFileInfo>

#include <ft2build.h>
#include FT_FREETYPE_H

#include <optional>

namespace zentraq::cli {
namespace {

struct FreeTypeLibrary {
    FT_Library lib = nullptr;
    FreeTypeLibrary() {
        if (FT_Init_FreeType(&lib) != 0)
            lib = nullptr;
    }
    ~FreeTypeLibrary() {
        if (lib)
            FT_Done_FreeType(lib);
    }
    FreeTypeLibrary(const FreeTypeLibrary&) = delete;
    FreeTypeLibrary& operator=(const FreeTypeLibrary&) = delete;
};

} // namespace

text::FaceSpec installedFace(const QString& family) {
    if (!text::fontconfigReady())
        failure(QStringLiteral("cannot ask fontconfig for the installed fonts"));
    const std::optional<text::FaceSpec> face = text::installedFace(family, text::FacePreference::OwnNameFirst);
    if (!face)
        failure(QStringLiteral("font family '%1' is not installed (fc-list : family shows the installed ones)")
                    .arg(family));
    return *face;
}

text::FaceSpec fontFileFace(const QString& path) {
    const QFileInfo info(path);
    if (!info.exists())
        failure(QStringLiteral("cannot read font file '%1': it does not exist").arg(path));
    if (!info.isFile())
        failure(QStringLiteral("cannot read font file '%1': it is not a file").arg(path));
    QFile probe(path);
    if (!probe.open(QIODevice::ReadOnly))
        failure(QStringLiteral("cannot read font file '%1': %2").arg(path, probe.errorString()));
    probe.close();

    FreeTypeLibrary ft;
    FT_Face ftFace = nullptr;
    const QByteArray native = QFile::encodeName(info.absoluteFilePath());
    if (!ft.lib || FT_New_Face(ft.lib, native.constData(), 0, &ftFace) != 0)
        failure(QStringLiteral("'%1' is not a font file that can be read").arg(path));
    text::FaceSpec face;
    face.file = info.absoluteFilePath();
    face.index = 0;
    face.family = ftFace->family_name ? QString::fromUtf8(ftFace->family_name) : QString();
    // Of use only when it scales or has bitmap strikes, as the renderer
    // requires.
    const bool ok = FT_IS_SCALABLE(ftFace) || ftFace->num_fixed_sizes > 0;
    FT_Done_Face(ftFace);
    if (!ok)
        failure(QStringLiteral("'%1' has neither outlines nor bitmaps to draw with").arg(path));
    return face;
}

text::FaceChain chainWith(const text::FaceSpec& primary, const text::FaceChain& canvas) {
    text::FaceChain chain;
    chain.primary = primary;
    const auto same = [&primary](const text::FaceSpec& s) { return s.file == primary.file && s.index == primary.index; };
    if (!canvas.empty() && !same(canvas.primary))
        chain.fallbacks.push_back(canvas.primary);
    for (const text::FaceSpec& s : canvas.fallbacks) {
        if (!same(s))
            chain.fallbacks.push_back(s);
    }
    return chain;
}

} // namespace zentraq::cli
