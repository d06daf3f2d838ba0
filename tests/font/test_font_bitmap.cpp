// Bitmap faces and the one-bit font formats: a BDF file checked before
// FreeType reads it, a face's glyphs copied exactly at every depth, and what
// u8g2 fonts cannot hold. data/test12.bdf is a face made for these tests;
// its u8g2 fonts in every build mode are bdfconv's, byte for byte, and the
// names otf2bdf gives an outline face are in the u8g2 and BDF fonts of
// tests/identity (bdfconv and otf2bdf judge them in tests/font/u8g2).
#include "bdfcheck.h"
#include "bdffont.h"
#include "bdfnames.h"
#include "fonterror.h"
#include "fontface.h"
#include "glyphsource.h"
#include "support/bdf_text.h"
#include "support/faces.h"
#include "u8g2font.h"

#include <QFile>
#include <QTest>

using namespace zentraq::font;

namespace {

QByteArray dataFile(const char* name) {
    QFile f(QStringLiteral(ZENTRAQ_FONT_TEST_DATA "/") + QLatin1String(name));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

std::vector<char32_t> span(char32_t first, char32_t last) {
    std::vector<char32_t> codes;
    for (char32_t c = first; c <= last; ++c)
        codes.push_back(c);
    return codes;
}

RenderSettings oneBit(Rendering rendering, int size) {
    RenderSettings s;
    s.rendering = rendering;
    s.pixelSize = s.points = size;
    s.dpi = 72;
    s.bits = 1;
    return s;
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

// A glyph set of one glyph of `w` x `h` whose pixels `ink` gives.
GlyphSet oneGlyph(char32_t code, int w, int h, const std::function<bool(int, int)>& ink) {
    GlyphSet set;
    set.settings.bits = 1;
    Glyph g;
    g.code = code;
    g.width = w;
    g.height = h;
    g.top = h;
    g.advance = (w + 1) * 64;
    set.glyphs.push_back(g);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            set.samples.push_back(ink(x, y) ? 1 : 0);
    return set;
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

    // Every glyph as the BDF text has it, whatever the rendering and depth:
    // box and blank margins, advance, and each pixel none or full.
    void glyphsExact_data() {
        QTest::addColumn<int>("rendering");
        QTest::addColumn<int>("bits");
        for (const int bits : {1, 2, 4, 8})
            QTest::addRow("autohinted, %d bits", bits) << int(Rendering::Autohinted) << bits;
        QTest::newRow("otf2bdf") << int(Rendering::Otf2bdf) << 1;
        QTest::newRow("bytecode") << int(Rendering::Bytecode) << 1;
    }
    void glyphsExact() {
        QFETCH(int, rendering);
        QFETCH(int, bits);
        const FontFace face(m_bdf, 0, QStringLiteral("t.bdf"));
        RenderSettings s = oneBit(Rendering(rendering), 12);
        s.bits = bits;
        const GlyphSet set = renderGlyphs(face, s, span(0x20, 0xFFFF));
        const auto expected = zentraq::testing::readBdfText(m_bdf);
        QCOMPARE(set.glyphs.size(), expected.size());
        for (const Glyph& g : set.glyphs) {
            const auto& e = expected.at(g.code);
            const QString at = codeName(g.code);
            QVERIFY2(g.width == e.w && g.height == e.h && g.left == e.x && g.top - g.height == e.y,
                     qPrintable(at));
            QCOMPARE(g.advance, e.dwidth * 64);
            QCOMPARE(g.linearAdvance, e.dwidth * 65536);
            for (int y = 0; y < g.height; ++y)
                for (int x = 0; x < g.width; ++x)
                    QVERIFY2(set.samplesOf(g)[y * g.width + x] ==
                                 (e.ink.count({x, y}) ? set.maxLevel() : 0),
                             qPrintable(at));
        }
    }

    // What u8g2 cannot hold is refused, naming the glyph. (tests/identity
    // holds the tool's refusals of codes above U+FFFF, of glyphs over 254
    // bytes and of offsets past a byte.)
    void u8g2Refusals() {
        const GlyphSet wide = oneGlyph(U'W', 300, 1, [](int, int) { return true; });
        try {
            U8g2Font(wide, GlyphSet(), BdfNames(), {U8g2Mode::Proportional, "f"});
            QFAIL("a glyph 300 pixels wide was taken");
        } catch (const U8g2TooLarge& e) {
            QCOMPARE(e.message(), "the glyph of U+0057 is 300 x 1 pixels; u8g2 fonts hold glyphs "
                                  "of at most 255 x 255");
        }
    }
};

QTEST_GUILESS_MAIN(TestFontBitmap)
#include "test_font_bitmap.moc"
