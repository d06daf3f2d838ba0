#include "golden.h"

#include "qumo.h"

#include <fontconfig/fontconfig.h>

#include <QFileInfo>

namespace zentraq::testing {

QString canvasFaceVersion() {
    const text::FaceSpec& face = text::TextRenderer::shared().faces().primary;
    FcPattern* p = FcPatternCreate();
    FcPatternAddString(p, FC_FILE, reinterpret_cast<const FcChar8*>(face.file.toUtf8().constData()));
    FcPatternAddInteger(p, FC_INDEX, face.index);
    FcObjectSet* os = FcObjectSetBuild(FC_FONTVERSION, static_cast<char*>(nullptr));
    FcFontSet* set = FcFontList(nullptr, p, os);
    int version = 0;
    if (set && set->nfont > 0)
        FcPatternGetInteger(set->fonts[0], FC_FONTVERSION, 0, &version);
    if (set)
        FcFontSetDestroy(set);
    FcObjectSetDestroy(os);
    FcPatternDestroy(p);
    return QString::number(version / 65536.0, 'f', 3); // 16.16 fixed point
}

QString glyphGolden() {
    const text::FaceSpec& face = text::TextRenderer::shared().faces().primary;
    QString out;
    out += QStringLiteral("# face: %1 (%2:%3) version %4\n")
               .arg(face.family, QFileInfo(face.file).fileName())
               .arg(face.index)
               .arg(canvasFaceVersion());
    out += QStringLiteral("# made by scripts/regen-glyph-golden.sh; review changes as a diff\n");

    const QString ideographs = QStringLiteral("中国电子");
    const QString letters = QStringLiteral("Agy|0@");
    for (const glyph::SizePreset& p : glyph::SizePresets) {
        GlyphCanvas canvas;
        glyph::prepareCanvas(canvas, p.width, p.height, p.square);
        const QString text = p.square ? ideographs : letters;
        const glyph::GlyphData data = glyph::qumo(text, canvas, p.width, p.height);
        const QStringList lines = data.text.split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
        for (int c = 0; c < lines.size(); ++c) {
            out += QStringLiteral("\n== %1 U+%2 %3x%4 ==\n")
                       .arg(text[c])
                       .arg(QString::number(text[c].unicode(), 16).toUpper().rightJustified(4, u'0'))
                       .arg(p.width)
                       .arg(p.height);
            const QStringList items = lines[c].split(u',', Qt::SkipEmptyParts);
            for (int y = 0; y < p.height; ++y) {
                for (int x = 0; x < p.width; ++x) {
                    const int i = y * p.width + x;
                    const int byte = items.value(i / 8).mid(2).toInt(nullptr, 16);
                    out += (byte >> (i % 8)) & 1 ? u'#' : u'.';
                }
                out += u'\n';
            }
        }
    }
    return out;
}

} // namespace zentraq::testing
