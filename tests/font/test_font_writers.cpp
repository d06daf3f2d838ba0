// The font writers without the libraries: LVGL's C fonts against values
// lv_font_conv wrote, GFX's names, and samples drawn from what the files hold
// (vlw's as a port of TFT_eSPI draws the file). (Every byte of the tool's
// fonts and GFX's refusals are pinned by tests/identity; LVGL and fontconvert
// judge the fonts in tests/font/lvgl.)
#include "bytearraysink.h"
#include "fonterror.h"
#include "gfxfont.h"
#include "glyphsource.h"
#include "kerning.h"
#include "lvglfont.h"
#include "sample.h"
#include "support/faces.h"
#include "support/vlw_reader.h"
#include "vlwfont.h"

#include <QImageReader>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QTest>

using namespace zentraq::font;
using zentraq::core::ByteArraySink;
using zentraq::testing::codesIn;

class TestFontWriters : public QObject {
    Q_OBJECT

private slots:
    // Values lv_font_conv 1.5.3 wrote for the same faces, sizes and
    // characters (bpp 4): the advances in 1/16 pixel, rounded, and the kern
    // pairs (left id, right id, 4.4 value) with their count. (The binary
    // font's kern table is pinned by tests/identity.)
    void lvglReference_data() {
        QTest::addColumn<QString>("family");
        QTest::addColumn<QString>("chars");
        QTest::addColumn<QString>("advances");
        QTest::addColumn<QString>("pairs");
        QTest::newRow("DejaVu Serif, kerned") << "DejaVu Serif"
                                              << "AVy"
                                              << "185 185 145"
                                              << "1 2 -13 1 3 -10 2 1 -17 2 3 -10";
        QTest::newRow("DejaVu Sans, kerned under latn only") << "DejaVu Sans"
                                                             << "ATVWaio"
                                                             << "175 156 175 253 157 71 157"
                                                             << "";
    }
    void lvglReference() {
        QFETCH(QString, family);
        QFETCH(QString, chars);
        QFETCH(QString, advances);
        QFETCH(QString, pairs);
        const std::unique_ptr<FontFace> face = zentraq::testing::openFace(family);
        if (!face)
            QSKIP("the face is not installed");
        RenderSettings s;
        s.pixelSize = 16;
        s.bits = 4;
        CharacterSet cs;
        cs.addText(chars);
        const GlyphSet set = renderGlyphs(*face, s, cs.characters());
        LvglOptions o;
        o.name = "f";
        const LvglFont font(set, kerningOf(*face, set, KerningRule::LvglCompatible), o);
        ByteArraySink c;
        font.writeC(c);
        const auto numbers = [](const QString& text, const QString& pattern) {
            QStringList found;
            auto it = QRegularExpression(pattern).globalMatch(text);
            while (it.hasNext())
                found +=
                    it.next().captured(1).split(QRegularExpression("[^-0-9]+"), Qt::SkipEmptyParts);
            return found;
        };
        const QString source = QString::fromUtf8(c.bytes);
        // After the reserved glyph 0.
        QCOMPARE(numbers(source, R"(\.adv_w = (\d+), \.box_w)").mid(1).join(u' '), advances);
        const QStringList ids = numbers(source, R"(f_kern_pair_glyph_ids\[\] = \{([^}]*)\})");
        const QStringList values = numbers(source, R"(f_kern_pair_values\[\] = \{([^}]*)\})");
        QStringList got;
        for (qsizetype i = 0; i < values.size(); ++i)
            got << ids.value(2 * i) << ids.value(2 * i + 1) << values[i];
        const QStringList want = pairs.split(u' ', Qt::SkipEmptyParts);
        QCOMPARE(got, want);
        const qsizetype count = want.size() / 3;
        QCOMPARE(numbers(source, R"(\.pair_cnt = (\d+))"),
                 count ? QStringList{QString::number(count)} : QStringList{});
        QCOMPARE(source.contains("    .kern_dsc = NULL,"), count == 0);
    }

    // Glyphs too large for the small descriptions ask for
    // LV_FONT_FMT_TXT_LARGE, and a comment cannot end the C comment early.
    // (Each version's source is pinned by tests/identity and compiled
    // against LVGL in tests/font/lvgl.)
    void lvglSource() {
        REQUIRE_FACE(face, "DejaVu Sans");
        RenderSettings s;
        s.pixelSize = 300;
        const GlyphSet set = renderGlyphs(*face, s, {U'W', U'i'});
        LvglOptions o;
        o.name = "my_font";
        o.comment = {QStringLiteral("a comment */ that /* cannot end early")};
        ByteArraySink sink;
        LvglFont(set, {}, o).writeC(sink);
        const QByteArray& c = sink.bytes;
        QVERIFY(c.contains("#if LV_FONT_FMT_TXT_LARGE == 0\n#error"));
        QCOMPARE(c.count("*/"), c.count("/*"));
    }

    void gfxNames_data() {
        QTest::addColumn<QString>("file");
        QTest::addColumn<int>("points");
        QTest::addColumn<int>("last");
        QTest::addColumn<QString>("name");
        QTest::newRow("punctuation")
            << "My Font-Bold.v2.otf" << 9 << 0xFF << "My_Font_Bold_v29pt8b";
        QTest::newRow("no extension") << "mono" << 24 << 0x7E << "mono24pt7b";
    }
    void gfxNames() {
        QFETCH(QString, file);
        QFETCH(int, points);
        QFETCH(int, last);
        QFETCH(QString, name);
        QCOMPARE(gfxDefaultName(file, points, char32_t(last)), name.toUtf8());
    }

    // The sample of a vlw font is what TFT_eSPI draws: a port of its
    // loadFont, drawGlyph and drawString draws the same pixels from the file.
    // Spaces move the pen by (ascent + descent) * 2 / 7, a missing character
    // is a box; with Processing's ascent and descent (the top of "d", the
    // bottom of "p") taller glyphs reach above the line.
    void vlwSample_data() {
        QTest::addColumn<QString>("family");
        QTest::addColumn<int>("size");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("processing");
        QTest::addColumn<int>("missing");
        QTest::addColumn<int>("width"); // -1: not checked
        QTest::newRow("A B C") << "DejaVu Sans Mono" << 20 << "A B C" << false << 0 << 47;
        QTest::newRow("missing") << "DejaVu Sans Mono" << 20 << "A\u4E2DB" << false << 1 << -1;
        QTest::newRow("Processing's ascent")
            << "DejaVu Serif" << 20 << "Åpfel dp\nÉcole" << true << 0 << -1;
        // F0 9F 98 80: TFT_eSPI reads four codes, and U+00F0 is in the font.
        QTest::newRow("beyond three bytes")
            << "DejaVu Sans" << 16 << "a\U0001F600b" << false << 3 << -1;
    }
    void vlwSample() {
        QFETCH(QString, family);
        QFETCH(int, size);
        QFETCH(QString, text);
        QFETCH(bool, processing);
        QFETCH(int, missing);
        QFETCH(int, width);
        const std::unique_ptr<FontFace> face = zentraq::testing::openFace(family);
        if (!face)
            QSKIP("the face is not installed");
        RenderSettings s;
        s.pixelSize = size;
        s.bits = 8;
        const GlyphSet set = renderGlyphs(*face, s, codesIn({{0x20, 0x7E}, {0xA0, 0xFF}}));
        const VlwMetrics m =
            vlwMetrics(*face, set, processing ? VlwConvention::Processing : VlwConvention::Glyphs);
        if (processing) {
            QCOMPARE(m.ascent, set.find(U'd')->top);
            QCOMPARE(m.descent, set.find(U'p')->height - set.find(U'p')->top);
            QVERIFY(m.ascent < set.ascent());
        }
        const Sample sample = drawVlwSample(set, m.ascent, m.descent, text);
        QCOMPARE(sample.missing, missing);
        QCOMPARE(sample.picture,
                 zentraq::testing::drawVlw(vlwBytes(set, m, face->postscriptName()), text));
        if (width >= 0)
            QCOMPARE(sample.picture.width(), width);
    }

    // No sample is larger than the picture reader takes (its allocation
    // limit, 1 MiB here: 262144 pixels): refused before it is drawn, for
    // either pen.
    void sampleLimit_data() {
        QTest::addColumn<bool>("vlw");
        QTest::addColumn<int>("repeat");
        QTest::addColumn<int>("lines");
        QTest::addColumn<bool>("refused");
        QTest::newRow("LVGL, fits") << false << 600 << 1 << false;
        QTest::newRow("LVGL, too wide") << false << 2000 << 1 << true;
        QTest::newRow("LVGL, too many lines") << false << 300 << 6 << true;
        QTest::newRow("vlw, fits") << true << 600 << 1 << false;
        QTest::newRow("vlw, too wide") << true << 2000 << 1 << true;
    }
    void sampleLimit() {
        QFETCH(bool, vlw);
        QFETCH(int, repeat);
        QFETCH(int, lines);
        QFETCH(bool, refused);
        REQUIRE_FACE(face, "DejaVu Sans");
        RenderSettings s;
        s.pixelSize = 16;
        const GlyphSet set = renderGlyphs(*face, s, {U'\n', U'W'});
        const int limit = QImageReader::allocationLimit();
        QImageReader::setAllocationLimit(1);
        const auto restore = qScopeGuard([limit] { QImageReader::setAllocationLimit(limit); });
        QCOMPARE(zentraq::font::sampleLimit(), qint64(262144));
        QStringList text(lines, QString(repeat, u'W'));
        try {
            const Sample sample =
                vlw ? drawVlwSample(set, set.ascent(), -set.descent(), text.join(u'\n'))
                    : drawSample(set, text.join(u'\n'),
                                 [&](std::size_t i, long) { return vlwAdvance(set.glyphs[i]); });
            QVERIFY(!refused);
            QVERIFY(qint64(sample.picture.width()) * sample.picture.height() <= 262144);
        } catch (const FontError& e) {
            QVERIFY2(refused, e.what());
            QCOMPARE(e.kind(), FontError::Request);
            QVERIFY2(e.message().contains(QStringLiteral("pixels, more than the 262144 pixels (1 "
                                                         "MiB) the picture reader takes")),
                     e.what());
        }
    }
};

QTEST_GUILESS_MAIN(TestFontWriters)
#include "test_font_writers.moc"
