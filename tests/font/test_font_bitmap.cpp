// A BDF file checked before FreeType reads it. data/test12.bdf is a face
// made for these tests; its u8g2 fonts in every build mode are bdfconv's,
// byte for byte, and its LVGL fonts at every depth are pinned by
// tests/identity, as are what u8g2 fonts cannot hold and the names otf2bdf
// gives an outline face (bdfconv and otf2bdf judge them, and LVGL a bitmap
// face's glyphs at every depth, in tests/font/u8g2).
#include "bdfcheck.h"
#include "fonterror.h"
#include "fontface.h"

#include <QFile>
#include <QTest>

using namespace zentraq::font;

namespace {

QByteArray dataFile(const char* name) {
    QFile f(QStringLiteral(ZENTRAQ_FONT_TEST_DATA "/") + QLatin1String(name));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QString failureOf(const std::function<void()>& work, FontError::Kind* kind = nullptr) {
    try {
        work();
    } catch (const FontError& e) {
        if (kind)
            *kind = e.kind();
        return e.message();
    }
    return QString();
}

} // namespace

class TestFontBitmap : public QObject {
    Q_OBJECT

    QByteArray m_bdf;

private slots:
    void initTestCase() {
        m_bdf = dataFile("test12.bdf");
        QVERIFY(!m_bdf.isEmpty());
    }

    // Damage that FreeType's lenient reader would let through, each named
    // with where it is.
    void bdfChecks_data() {
        QTest::addColumn<QByteArray>("from");
        QTest::addColumn<QByteArray>("to");
        QTest::addColumn<QString>("message");
        const char* const rows[][4] = {
            {"no ENDFONT", "ENDFONT\n", "",
             "is cut short: it ends after 242 glyphs without ENDFONT"},
            {"fewer glyphs than CHARS", "CHARS 242", "CHARS 243",
             "is cut short: it holds 242 glyphs, CHARS says 243"},
            {"more glyphs than CHARS", "CHARS 242", "CHARS 241",
             "holds 242 glyphs, CHARS says 241"},
            {"a row short", "4100\n0000\nENDCHAR\nSTARTCHAR uni0061",
             "4100\nENDCHAR\nSTARTCHAR uni0061",
             "is cut short: the glyph of U+0041 has 10 of its 11 bitmap rows"},
            {"a row cut short", "BBX 3 12 1 -2\nBITMAP\n20", "BBX 3 12 1 -2\nBITMAP\n2",
             "is cut short: a bitmap row of the glyph of U+0028 holds 1 of the 2 hexadecimal "
             "digits its BBX width of 3 needs"},
            {"a row too many", "0000\nENDCHAR\nSTARTCHAR uni0061",
             "0000\n0000\nENDCHAR\nSTARTCHAR uni0061",
             "gives the glyph of U+0041 more bitmap rows than its BBX height of 11; the glyph is "
             "larger than its box"},
            {"ink past the width", "BBX 3 12 1 -2\nBITMAP\n20", "BBX 3 12 1 -2\nBITMAP\n30",
             "has ink in column 4 of the glyph of U+0028, whose BBX is 3 wide"},
            {"outside the font's box", "FONTBOUNDINGBOX 70 14 -2 -4", "FONTBOUNDINGBOX 60 14 -2 -4",
             "has ink of the glyph of U+2588 outside its FONTBOUNDINGBOX 60 14 -2 -4"},
            {"not hexadecimal", "BBX 3 12 1 -2\nBITMAP\n20", "BBX 3 12 1 -2\nBITMAP\n2G",
             "has a bitmap row of the glyph of U+0028 that is not hexadecimal"},
            {"no BBX", "BBX 5 6 0 0\n", "", "gives the glyph of U+0061 no BBX"},
            {"negative width", "BBX 5 6 0 0\n", "BBX -5 6 0 0\n",
             "gives the glyph of U+0061 a BBX that is not"}};
        for (const auto& [name, from, to, message] : rows)
            QTest::newRow(name) << QByteArray(from) << QByteArray(to) << QString(message);
    }
    void bdfChecks() {
        QFETCH(QByteArray, from);
        QFETCH(QByteArray, to);
        QFETCH(QString, message);
        QByteArray damaged = m_bdf;
        const qsizetype at = damaged.indexOf(from);
        QVERIFY(at >= 0);
        damaged.replace(at, from.size(), to);
        FontError::Kind kind = FontError::Request;
        const QString m = failureOf([&] { checkBdf(damaged, QStringLiteral("t.bdf")); }, &kind);
        QVERIFY2(m.startsWith(QStringLiteral("'t.bdf' ")) && m.contains(message), qPrintable(m));
        QCOMPARE(kind, FontError::Failure);
        // The face refuses it the same way, before FreeType sees it.
        QCOMPARE(failureOf([&] { FontFace(damaged, 0, QStringLiteral("t.bdf")); }), m);
        QVERIFY(isBdf(m_bdf));
        QVERIFY(!isBdf("STARTFONTS 2.1\n"));
    }
};

QTEST_GUILESS_MAIN(TestFontBitmap)
#include "test_font_bitmap.moc"
