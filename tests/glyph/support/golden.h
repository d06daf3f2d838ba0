#pragma once

// Pixel pictures of a handful of characters at the six cell sizes, decoded
// from the glyph data text that the conversion writes ("#" ink, "." empty),
// headed by the canvas face and its version, for the reviewed golden file.

#include "qumo.h"

#include <fontconfig/fontconfig.h>

#include <QFileInfo>

namespace zentraq::testing {

inline QString glyphGolden() {
    const text::FaceSpec& face = text::TextRenderer::shared().faces().primary;
    int faces = 0, version = 0;
    if (FcPattern* q =
            FcFreeTypeQuery(reinterpret_cast<const FcChar8*>(face.file.toUtf8().constData()),
                            static_cast<unsigned>(face.index), nullptr, &faces)) {
        FcPatternGetInteger(q, FC_FONTVERSION, 0, &version);
        FcPatternDestroy(q);
    }
    QString out = QStringLiteral("# face: %1 (%2:%3) version %4\n")
                      .arg(face.family, QFileInfo(face.file).fileName())
                      .arg(face.index)
                      .arg(version / 65536.0, 0, 'f', 3); // 16.16 fixed point
    out += QStringLiteral("# made by scripts/regen-glyph-golden.sh; review changes as a diff\n");

    for (const glyph::SizePreset& p : glyph::SizePresets) {
        GlyphCanvas canvas;
        glyph::prepareCanvas(canvas, p.width, p.height, p.square);
        const QString text = p.square ? QStringLiteral("中国电子") : QStringLiteral("Agy|0@");
        const QStringList lines = glyph::qumo(text, canvas, p.width, p.height)
                                      .text.split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
        for (int c = 0; c < lines.size(); ++c) {
            out +=
                QStringLiteral("\n== %1 U+%2 %3x%4 ==\n")
                    .arg(text[c])
                    .arg(QString::number(text[c].unicode(), 16).toUpper().rightJustified(4, u'0'))
                    .arg(p.width)
                    .arg(p.height);
            const QStringList items = lines[c].split(u',', Qt::SkipEmptyParts);
            for (int i = 0; i < p.width * p.height; ++i) {
                out += (items.value(i / 8).mid(2).toInt(nullptr, 16) >> (i % 8)) & 1 ? u'#' : u'.';
                if ((i + 1) % p.width == 0)
                    out += u'\n';
            }
        }
    }
    return out;
}

} // namespace zentraq::testing
