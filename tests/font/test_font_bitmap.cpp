// Bitmap faces and the one-bit font formats: a BDF file checked before
// FreeType reads it, a face's strikes, its glyphs copied exactly at every
// depth, BDF files of ours read back, the names otf2bdf gives an outline
// face, and u8g2 fonts against bdfconv's. data/test12.bdf is a face made for
// these tests; data/test12_*.c are bdfconv's fonts of it, made once with
// `bdfconv -f 1 -b MODE -m 32-65535 -n test_font test12.bdf` (and -m
// 19968-20197 for the ideographs alone).
#include "bdfcheck.h"
#include "bdffont.h"
#include "bdfnames.h"
#include "bytearraysink.h"
#include "fonterror.h"
#include "fontface.h"
#include "glyphsource.h"
#include "support/bdf_text.h"
#include "support/faces.h"
#include "u8g2font.h"

#include <QFile>
#include <QRandomGenerator>
#include <QTest>

using namespace zentraq::font;
using zentraq::core::ByteArraySink;

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
    // with where it is; the file as it is passes, with what it says of
    // itself.
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
    }
    void bdfHeader() {
        const BdfHeader h = checkBdf(m_bdf, QStringLiteral("t.bdf"));
        QCOMPARE(h.glyphCount, 242);
        QCOMPARE(*h.font,
                 QByteArray("-Zentraq-Test-Medium-R-Normal--12-120-72-72-P-60-ISO10646-1"));
        QCOMPARE(*h.copyright,
                 QByteArray("Made for the tests; \"quoted\" words end bdfconv's reading"));
        QVERIFY(isBdf(m_bdf));
        QVERIFY(!isBdf("STARTFONTS 2.1\n"));
    }

    // A bitmap face draws at its strikes only; any other size is refused
    // with the sizes it has.
    void strikes() {
        const FontFace face(m_bdf, 0, QStringLiteral("t.bdf"));
        QVERIFY(!face.scalable());
        QCOMPARE(face.strikes(), std::vector<int>{12});
        FontError::Kind kind = FontError::Failure;
        const QString m = failureOf(
            [&] { renderGlyphs(face, oneBit(Rendering::Autohinted, 13), {U'A'}); }, &kind);
        QCOMPARE(kind, FontError::Request);
        QVERIFY2(m.endsWith("is a bitmap font with a strike of 12 px; it has no 13 px"),
                 qPrintable(m));
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

    // The u8g2 font of the face is bdfconv's, in every build mode.
    void u8g2AsBdfconv_data() {
        QTest::addColumn<int>("mode"); // data/test12_MODE.c
        for (int mode = 0; mode < 4; ++mode)
            QTest::addRow("%c", "thm8"[mode]) << mode;
    }
    void u8g2AsBdfconv() {
        QFETCH(int, mode);
        const QByteArray golden = QByteArray("test12_") + "thm8"[mode] + ".c";
        const FontFace face(m_bdf, 0, QStringLiteral("t.bdf"));
        const RenderSettings s = oneBit(Rendering::Otf2bdf, 12);
        const GlyphSet set = renderGlyphs(face, s, span(0x20, 0xFFFF));
        const U8g2Font font(set, GlyphSet(), bdfNames(face, s), {U8g2Mode(mode), "test_font"});
        ByteArraySink c, bin;
        font.writeC(c);
        font.writeBinary(bin);
        QCOMPARE(c.bytes, dataFile(golden.constData()));
        QVERIFY(c.bytes.contains("[" + QByteArray::number(bin.bytes.size()) + "]"));
    }

    // Without 'A', 'g' and '(' the header takes them from the face as it
    // has them, not cut to their ink: the 'A' with its blank border is 10
    // rows high, where its ink is 9.
    void u8g2HeaderFromFace() {
        const FontFace face(m_bdf, 0, QStringLiteral("t.bdf"));
        const RenderSettings s = oneBit(Rendering::Otf2bdf, 12);
        const GlyphSet set = renderGlyphs(face, s, span(0x4E00, 0x4EE5));
        const GlyphSet references = renderGlyphs(face, s, {U'(', U'1', U'A', U'g'});
        const U8g2Font font(set, references, bdfNames(face, s),
                            {U8g2Mode::Proportional, "test_font"});
        ByteArraySink c;
        font.writeC(c);
        QCOMPARE(c.bytes, dataFile("test12_ideographs_t.c"));
    }

    // What u8g2 cannot hold is refused, naming the glyph.
    void u8g2Refusals() {
        FontError::Kind kind = FontError::Failure;
        QString m = failureOf([] { checkU8g2Codes({U'A', char32_t(0x1F600)}); }, &kind);
        QCOMPARE(kind, FontError::Request);
        QCOMPARE(m, "u8g2 fonts hold codes up to U+FFFF, and U+1F600 is above it");

        // Noise takes a pair of runs for nearly every pixel.
        QRandomGenerator random(27);
        const GlyphSet noise =
            oneGlyph(U'N', 40, 40, [&](int, int) { return random.bounded(2) == 1; });
        try {
            U8g2Font(noise, GlyphSet(), BdfNames(), {U8g2Mode::Proportional, "f"});
            QFAIL("a glyph of over 254 bytes was taken");
        } catch (const U8g2TooLarge& e) {
            QCOMPARE(e.code(), U'N');
            QVERIFY2(e.message().startsWith("the glyph of U+004E would take ") &&
                         e.message().endsWith(" bytes in the u8g2 font, which holds at most "
                                              "254 a glyph"),
                     qPrintable(e.message()));
        }
        const GlyphSet wide = oneGlyph(U'W', 300, 1, [](int, int) { return true; });
        try {
            U8g2Font(wide, GlyphSet(), BdfNames(), {U8g2Mode::Proportional, "f"});
            QFAIL("a glyph 300 pixels wide was taken");
        } catch (const U8g2TooLarge& e) {
            QCOMPARE(e.message(), "the glyph of U+0057 is 300 x 1 pixels; u8g2 fonts hold glyphs "
                                  "of at most 255 x 255");
        }
    }

    // Our BDF file reads back to the same glyphs and names, quotes in the
    // copyright included.
    void bdfRoundTrip() {
        const FontFace face(m_bdf, 0, QStringLiteral("t.bdf"));
        const RenderSettings s = oneBit(Rendering::Otf2bdf, 12);
        const GlyphSet set = renderGlyphs(face, s, span(0x20, 0xFFFF));
        const BdfNames names = bdfNames(face, s);
        ByteArraySink out;
        writeBdf(set, names, {QStringLiteral("a comment")}, out);
        const FontFace again(out.bytes, 0, QStringLiteral("again.bdf"));
        const GlyphSet back = renderGlyphs(again, s, span(0x20, 0xFFFF));
        QCOMPARE(back.glyphs.size(), set.glyphs.size());
        for (std::size_t i = 0; i < set.glyphs.size(); ++i) {
            const Glyph &a = set.glyphs[i], &b = back.glyphs[i];
            QVERIFY2(a.code == b.code && a.left == b.left && a.top == b.top && a.width == b.width &&
                         a.height == b.height && a.advance == b.advance,
                     qPrintable(codeName(a.code)));
            QVERIFY(std::equal(set.samplesOf(a), set.samplesOf(a) + a.width * a.height,
                               back.samplesOf(b)));
        }
        const BdfNames read = bdfNames(again, s);
        QCOMPARE(read.font, names.font);
        QCOMPARE(read.copyright, names.copyright);
        QCOMPARE(read.glyphCount, 242);
        QCOMPARE(read.ascent, 10);
        QCOMPARE(read.descent, 3);
    }

    // An outline face named as otf2bdf -a -r 72 -p 12 names it (the values
    // of its BDF file, taken once).
    void otf2bdfNames() {
        REQUIRE_FACE(face, "DejaVu Sans");
        const BdfNames n = bdfNames(*face, oneBit(Rendering::Otf2bdf, 12));
        QCOMPARE(*n.font, QByteArray("-FreeType-DejaVu Sans-Medium-R-Normal--12-120-72-72-P-70-"
                                     "ISO10646-1"));
        QCOMPARE(*n.copyright,
                 QByteArray("Copyright (c) 2003 by Bitstream, Inc. All Rights Reserved.  "
                            "Copyright (c) 2006 by Tavmjong Bah. All Rights Reserved.  DejaVu "
                            "changes are in public domain  "));
        QCOMPARE(n.glyphCount, 5370);
        QCOMPARE(n.ascent, 11);
        QCOMPARE(n.descent, 2);
    }
};

QTEST_GUILESS_MAIN(TestFontBitmap)
#include "test_font_bitmap.moc"
