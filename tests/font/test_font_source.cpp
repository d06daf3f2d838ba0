// The font core without any GUI library: character sets, LVGL's
// character-map split, the bounds checked before glyphs are drawn. (The
// glyphs at every depth and from many threads, the compressed bitmaps, a
// collection's faces and the --range refusals are pinned by tests/identity;
// the fonts are judged against lv_font_conv and decoded by LVGL in
// tests/font/lvgl; kerning by HarfBuzz in test_font_kerning.)
#include "fonterror.h"
#include "glyphsource.h"
#include "lvglfont.h"
#include "support/faces.h"
#include "support/font_builder.h"

#include <QRandomGenerator>
#include <QTest>

#include <limits>

using namespace zentraq::font;
using zentraq::testing::codesIn;

namespace {

// A font of `count` glyphs from U+4E00 on, each a box of `units` units a side
// at 16 units an em; `ascii`: one glyph for all of printable ASCII.
QByteArray boxFont(int count, int units, bool ascii = false) {
    zentraq::testing::TestFont f;
    f.unitsPerEm = 16;
    f.ascender = 14;
    f.descender = -2;
    f.glyphs = {zentraq::testing::TestGlyph{1, 0, 7, 10, 8}};
    for (int i = 0; i < count; ++i) {
        f.glyphs.push_back({0, 0, units, units, units});
        f.cmap.emplace_back(0x4E00 + i, unsigned(i + 1));
    }
    if (ascii)
        for (char32_t c = 0x20; c <= 0x7E; ++c)
            f.cmap.emplace_back(c, 1);
    return f.build();
}

// The converter's own split: for every code, every start, each kind, the
// first of the cheapest.
std::vector<CmapTable> quadraticSplit(const std::vector<char32_t>& cp, bool lvgl8) {
    struct Best {
        long dist;
        std::size_t start;
        CmapKind kind;
    };
    std::vector<Best> best(cp.size());
    for (std::size_t i = 0; i < cp.size(); ++i) {
        Best b{std::numeric_limits<long>::max(), 0, CmapKind::Format0Full};
        const bool adjacent = i + 1 < cp.size() && cp[i + 1] == cp[i] + 1;
        for (std::size_t j = 0; j <= i; ++j) {
            const long prev = j ? best[j - 1].dist : 0;
            if (!lvgl8 && cp[i] - cp[j] < 256 && prev + 16 + long(cp[i] - cp[j] + 1) < b.dist)
                b = {prev + 16 + long(cp[i] - cp[j] + 1), j, CmapKind::Format0Full};
            if ((!lvgl8 || adjacent) && cp[i] - cp[j] < 256 && cp[i] - i == cp[j] - j &&
                prev + 16 < b.dist)
                b = {prev + 16, j, CmapKind::Format0Tiny};
            if ((!lvgl8 || !adjacent) && cp[i] - cp[j] < 65536 &&
                prev + 16 + 2 * long(i - j + 1) < b.dist)
                b = {prev + 16 + 2 * long(i - j + 1), j, CmapKind::SparseTiny};
        }
        best[i] = b;
    }
    std::vector<CmapTable> out;
    for (std::size_t i = cp.size(); i > 0; i = best[i - 1].start)
        out.insert(out.begin(), {best[i - 1].kind, std::uint32_t(best[i - 1].start),
                                 std::uint32_t(i - best[i - 1].start)});
    return out;
}

} // namespace

class TestFontSource : public QObject {
    Q_OBJECT

private slots:
    // Ranges, codes and texts overlap: each character once, in code order;
    // surrogates and control characters never join.
    void characterUnion() {
        CharacterSet set;
        set.addRange({0x41, 0x44});
        set.addRange({0x43, 0x46});
        set.addText(QStringLiteral("BZ\n\t中😀"));
        set.addCodes({0x41, 0x20});
        set.addRange({0xD7FE, 0xE001});
        const std::vector<char32_t> expected{0x20, 0x41,   0x42,   0x43,   0x44,   0x45,   0x46,
                                             0x5A, 0x4E2D, 0xD7FE, 0xD7FF, 0xE000, 0xE001, 0x1F600};
        QCOMPARE(set.characters(), expected);
        CharacterSet empty;
        empty.addText(QStringLiteral("\r\n"));
        QVERIFY(empty.empty());
    }

    // The split is the converter's (the same tables, so the same size) on
    // sets of every shape, at a fraction of its work; for LVGL 8 with the
    // tables its look-up reads rightly: every code found, no other.
    void cmapSplit_data() {
        QTest::addColumn<std::vector<char32_t>>("set");
        QTest::newRow("ASCII and Latin-1") << codesIn({{0x20, 0x7E}, {0xA0, 0xFF}});
        QTest::newRow("one code") << codesIn({{0x4E2D, 0x4E2D}});
        QTest::newRow("runs past 256") << codesIn({{0x4E00, 0x51FF}, {0x5201, 0x5202}});
        QTest::newRow("gaps near 256") << codesIn({{0x100, 0x101}, {0x200, 0x201}, {0x2FF, 0x300}});
        QTest::newRow("spans near 65536")
            << codesIn({{0x20, 0x21}, {0x10020, 0x10021}, {0x1001F, 0x1001F}, {0x2001F, 0x20020}});
        std::vector<char32_t> sparse;
        QRandomGenerator random(17);
        for (char32_t cp = 0x4E00; cp < 0x9FA5; cp += 1 + random.bounded(9))
            sparse.push_back(cp);
        QTest::newRow("scattered ideographs") << sparse;
        std::vector<char32_t> clusters;
        for (char32_t base = 0x400; base < 0x30000; base += 700 + random.bounded(3000))
            for (char32_t cp = base; cp < base + random.bounded(40); cp += 1 + random.bounded(3))
                clusters.push_back(cp);
        QTest::newRow("clusters") << clusters;
    }
    void cmapSplit() {
        QFETCH(std::vector<char32_t>, set);
        for (const bool lvgl8 : {false, true}) {
            const std::vector<CmapTable> got = splitCmap(set, lvgl8),
                                         want = quadraticSplit(set, lvgl8);
            QCOMPARE(got.size(), want.size());
            for (std::size_t i = 0; i < got.size(); ++i) {
                QCOMPARE(int(got[i].kind), int(want[i].kind));
                QCOMPARE(got[i].first, want[i].first);
                QCOMPARE(got[i].count, want[i].count);
            }
            if (!lvgl8)
                continue;
            // LVGL 8.3's look-up, `rcp > range_length`, over the tables: each
            // code finds its own glyph, the code after each table none.
            const auto lookUp = [&](char32_t cp) -> long {
                for (const CmapTable& t : got) {
                    const char32_t start = set[t.first];
                    const char32_t length = set[t.first + t.count - 1] - start + 1;
                    if (cp < start || cp - start > length)
                        continue;
                    if (t.kind == CmapKind::Format0Tiny)
                        return long(t.first + (cp - start));
                    if (t.kind != CmapKind::SparseTiny)
                        return -2; // format 0 (full) is read wrongly
                    const auto it =
                        std::find(set.begin() + t.first, set.begin() + t.first + t.count, cp);
                    return it == set.begin() + t.first + t.count ? -1 : long(it - set.begin());
                }
                return -1;
            };
            for (std::size_t i = 0; i < set.size(); ++i) {
                QCOMPARE(lookUp(set[i]), long(i));
                if (i + 1 == set.size() || set[i + 1] != set[i] + 1)
                    QCOMPARE(lookUp(set[i] + 1), -1L);
            }
        }
    }

    // Bounds checked before anything is drawn: a glyph of 32000 x 32000
    // units at 16 units an em (alone, and as every ASCII character), one past
    // the format's fields, a set whose em squares alone pass the sample
    // budget, and one whose glyphs pass it as they are drawn.
    void bounds_data() {
        QTest::addColumn<QByteArray>("font");
        QTest::addColumn<QString>("chars");
        QTest::addColumn<int>("size");
        QTest::addColumn<int>("side");       // the format's bound
        QTest::addColumn<quint64>("budget"); // of samples, bytes
        QTest::addColumn<int>("kind");       // FontError::Kind, -1: drawn
        QTest::addColumn<QString>("message");
        const quint64 mib = 1 << 20;
        QString ascii;
        for (char32_t c = 0x20; c <= 0x7E; ++c)
            ascii += QChar(c);
        QString hundred;
        for (int i = 0; i < 100; ++i)
            hundred += QChar(0x4E00 + i);
        QTest::newRow("32000 units at 16 an em")
            << boxFont(1, 32000) << "\u4E00" << 16 << 65535 << 256 * mib << int(FontError::Failure)
            << "the glyph of U+4E00 in Zentraq Test would be 32000 x 32000 pixels at 16 px, more "
               "than the 64 a side (four em) a glyph may take";
        QTest::newRow("the same glyph as every ASCII character")
            << boxFont(1, 32000, true) << ascii << 16 << 65535 << 256 * mib
            << int(FontError::Failure)
            << "the glyph of U+0020 in Zentraq Test would be 32000 x 32000 pixels at 16 px, more "
               "than the 64 a side (four em) a glyph may take";
        QTest::newRow("four em less a little, drawn")
            << boxFont(1, 62) << "\u4E00" << 16 << 65535 << 256 * mib << -1 << "";
        QTest::newRow("past the format's fields")
            << boxFont(1, 44) << "\u4E00" << 100 << 255 << 256 * mib << int(FontError::Request)
            << "too large: U+4E00";
        QTest::newRow("em squares past the budget")
            << boxFont(100, 16) << hundred << 150 << 65535 << mib << int(FontError::Request)
            << "100 characters of Zentraq Test at 150 px would take about 2.1 MiB of glyph data "
               "(a 150 x 150 pixel em each), more than the 1 MiB a font may take; give a smaller "
               "size or fewer characters";
        QTest::newRow("glyphs past the budget as drawn")
            << boxFont(100, 56) << hundred << 40 << 65535 << mib << int(FontError::Request)
            << "the glyphs of Zentraq Test at 40 px take more than the 1 MiB of glyph data a font "
               "may take; give a smaller size or fewer characters";
    }
    void bounds() {
        QFETCH(QByteArray, font);
        QFETCH(QString, chars);
        QFETCH(int, size);
        QFETCH(int, side);
        QFETCH(quint64, budget);
        QFETCH(int, kind);
        QFETCH(QString, message);
        const FontFace face(font, 0, QStringLiteral("box.ttf"));
        RenderSettings s;
        s.pixelSize = size;
        s.bound = {side, QStringLiteral("too large: %1")};
        s.sampleBudget = budget;
        CharacterSet set;
        set.addText(chars);
        try {
            const GlyphSet glyphs = renderGlyphs(face, s, set.characters());
            QCOMPARE(kind, -1);
            QCOMPARE(glyphs.glyphs.size(), std::size_t(chars.size()));
        } catch (const FontError& e) {
            QVERIFY2(kind >= 0, e.what());
            QCOMPARE(int(e.kind()), kind);
            QCOMPARE(e.message(), message);
        }
    }
};

QTEST_GUILESS_MAIN(TestFontSource)
#include "test_font_source.moc"
