// A handful of glyphs in the pinned default face against the reviewed golden
// file. Other faces (or another version of it) have no golden file: skipped.
#include "support/golden.h"

#include "textrenderer.h"

#include <QFile>
#include <QTest>

class TestGlyphGolden : public QObject {
    Q_OBJECT

private slots:
    void matchesGolden() {
        QFile file(QStringLiteral(ZENTRAQ_GLYPH_GOLDEN));
        QVERIFY2(file.open(QIODevice::ReadOnly), qPrintable(file.fileName()));
        const QString golden = QString::fromUtf8(file.readAll());
        const QString header = golden.section(u'\n', 0, 0);

        const zentraq::text::FaceSpec& face = zentraq::text::TextRenderer::shared().faces().primary;
        if (face.family != QLatin1String("AR PL UMing CN"))
            QSKIP("the canvas face is not AR PL UMing CN");
        const QString actual = zentraq::testing::glyphGolden();
        if (actual.section(u'\n', 0, 0) != header)
            QSKIP(qPrintable(QStringLiteral("golden file made for another face version: ") + header));

        const QStringList want = golden.split(u'\n');
        const QStringList got = actual.split(u'\n');
        for (int i = 0; i < std::min(want.size(), got.size()); ++i) {
            if (want[i] != got[i]) {
                // Name the glyph the first difference is in.
                QString glyph;
                for (int j = i; j >= 0 && glyph.isEmpty(); --j)
                    if (want[j].startsWith(QLatin1String("==")))
                        glyph = want[j];
                QFAIL(qPrintable(QStringLiteral("line %1 (%2): expected %3, got %4; run "
                                                "scripts/regen-glyph-golden.sh and review the diff")
                                     .arg(i + 1)
                                     .arg(glyph, want[i], got[i])));
            }
        }
        QCOMPARE(got.size(), want.size());
    }
};

QTEST_GUILESS_MAIN(TestGlyphGolden)
#include "test_glyph_golden.moc"
