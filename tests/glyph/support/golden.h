#pragma once

// Pixel pictures of a handful of characters at the six cell sizes, decoded
// from the glyph data text that the conversion writes ("#" ink, "." empty),
// headed by the canvas face and its version, for the reviewed golden file:
// Chinese characters, letters with descenders and signs, and Latin letters
// with cedillas and a low quotation mark, which reach below the baseline.

#include "qumo.h"

#include <fontconfig/fontconfig.h>

#include <QFileInfo>

namespace zentraq::testing {

inline QString glyphGolden() {
    const text::FaceChoice& face = text::TextRenderer::shared().faces().primary;
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

    // Each text's glyphs side by side, a space between them, as they read.
    for (const glyph::SizePreset& p : glyph::SizePresets) {
        GlyphCanvas canvas;
        glyph::prepareCanvas(canvas, p.width, p.height, p.square);
        const QStringList texts =
            p.square ? QStringList{QStringLiteral("中国电子")}
                     : QStringList{QStringLiteral("Agy|0@"), QStringLiteral("ÇçŞşţ„")};
        for (const QString& text : texts) {
            out += QStringLiteral("\n== %1 %2x%3 ==\n").arg(text).arg(p.width).arg(p.height);
            QList<QStringList> glyphs;
            for (const QString& line : glyph::qumo(text, canvas, p.width, p.height)
                                           .text.split(QStringLiteral("\r\n"), Qt::SkipEmptyParts))
                glyphs << line.split(u',', Qt::SkipEmptyParts);
            for (int y = 0; y < p.height; ++y) {
                for (const QStringList& items : glyphs) {
                    for (int i = y * p.width; i < (y + 1) * p.width; ++i)
                        out += (items.value(i / 8).mid(2).toInt(nullptr, 16) >> (i % 8)) & 1 ? u'#'
                                                                                             : u'.';
                    out += &items == &glyphs.last() ? u'\n' : u' ';
                }
            }
        }
    }
    return out;
}

} // namespace zentraq::testing
