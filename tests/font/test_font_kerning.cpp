// Kerning read from the faces' tables, judged by HarfBuzz's shaping of every
// printable-ASCII pair of DejaVu Sans, DejaVu Serif and FreeSerif (as
// hb-shape shapes them) and of every pair of fonts made here with one rule
// each (pair sets, class rules, Extension lookups, lookups that add up,
// scripts, lookup flags, the legacy kern table, alone and where a script
// has no kern feature). The LVGL-compatible rule against the values
// lv_font_conv 1.5.3 takes by its rules, and a class rule over every GB2312
// glyph held as one class.
#include "fonterror.h"
#include "glyphsource.h"
#include "kerning.h"
#include "lvglfont.h"
#include "support/faces.h"
#include "support/font_builder.h"
#include "support/gb2312.h"

#include "bytearraysink.h"

#include <QTest>

#include <hb-ot.h>
#include <hb.h>

#include <cmath>
#include <memory>

using namespace zentraq::font;
using zentraq::testing::GlyphRanges;
using zentraq::testing::TestFont;
using zentraq::testing::TestGlyph;
using zentraq::testing::TestLookup;

namespace {

std::vector<char32_t> sorted(const QString& text) {
    CharacterSet set;
    set.addText(text);
    return set.characters();
}

// A font whose glyphs 1 .. n are the characters of `chars`, in order.
TestFont fontOf(const QString& chars) {
    TestFont f;
    const QList<uint> codes = chars.toUcs4();
    for (qsizetype i = 0; i < codes.size(); ++i) {
        f.glyphs.push_back(codes[i] == ' ' ? TestGlyph{0, 0, 0, 0, 300}
                                           : TestGlyph{50, 0, 450, 700, 500});
        f.cmap.emplace_back(codes[i], unsigned(i + 1));
    }
    return f;
}

// The glyph of a character of `chars` in fontOf(chars).
unsigned g(const QString& chars, char32_t c) {
    return unsigned(chars.toUcs4().indexOf(uint(c)) + 1);
}

std::unique_ptr<FontFace> faceOf(const QByteArray& bytes) {
    return std::make_unique<FontFace>(bytes, 0, QStringLiteral("test.ttf"));
}

GlyphSet glyphsOf(const FontFace& face, const std::vector<char32_t>& chars, int size = 16) {
    RenderSettings s;
    s.pixelSize = size;
    return renderGlyphs(face, s, chars);
}

template <class T, void (*Destroy)(T*)> struct Hb {
    T* p;
    explicit Hb(T* v) : p(v) {}
    ~Hb() { Destroy(p); }
    Hb(const Hb&) = delete;
    Hb& operator=(const Hb&) = delete;
};

// HarfBuzz shaping text as hb-shape does in the C locale, in the default
// language system, with `features` ("-liga,-clig") as hb-shape's
// --features: where the second glyph of a pair lands, less the first
// glyph's own advance. Unset when shaping does not keep the two glyphs.
class HbShaper {
public:
    explicit HbShaper(const QByteArray& font, const QByteArray& features = {})
        : m_blob(hb_blob_create(font.constData(), unsigned(font.size()), HB_MEMORY_MODE_READONLY,
                                nullptr, nullptr)),
          m_face(hb_face_create(m_blob.p, 0)), m_font(hb_font_create(m_face.p)) {
        hb_font_set_scale(m_font.p, int(hb_face_get_upem(m_face.p)),
                          int(hb_face_get_upem(m_face.p)));
        for (const QByteArray& f : features.split(',')) {
            hb_feature_t feature;
            if (hb_feature_from_string(f.constData(), int(f.size()), &feature))
                m_features.push_back(feature);
        }
    }
    std::optional<int> kern(char32_t a, char32_t b) {
        const std::vector<hb_glyph_position_t> pair = shape({a, b});
        const std::vector<hb_glyph_position_t> alone = shape({a});
        if (pair.size() != 2 || alone.size() != 1)
            return std::nullopt;
        return pair[0].x_advance + pair[1].x_offset - alone[0].x_advance;
    }

private:
    std::vector<hb_glyph_position_t> shape(std::vector<hb_codepoint_t> text) {
        Hb<hb_buffer_t, hb_buffer_destroy> b(hb_buffer_create());
        hb_buffer_add_codepoints(b.p, text.data(), int(text.size()), 0, int(text.size()));
        hb_buffer_set_language(b.p, hb_language_from_string("c", -1));
        hb_buffer_guess_segment_properties(b.p);
        hb_shape(m_font.p, b.p, m_features.data(), unsigned(m_features.size()));
        unsigned n = 0;
        const hb_glyph_position_t* p = hb_buffer_get_glyph_positions(b.p, &n);
        return {p, p + n};
    }
    Hb<hb_blob_t, hb_blob_destroy> m_blob;
    Hb<hb_face_t, hb_face_destroy> m_face;
    Hb<hb_font_t, hb_font_destroy> m_font;
    std::vector<hb_feature_t> m_features;
};

// One kern feature over `lookups` under each script of `scripts`.
QByteArray kernGpos(const std::vector<const char*>& scripts,
                    const std::vector<std::vector<unsigned>>& features,
                    const std::vector<TestLookup>& lookups) {
    std::vector<zentraq::testing::TestScript> s;
    std::vector<zentraq::testing::TestFeature> f;
    for (std::size_t i = 0; i < scripts.size(); ++i) {
        s.push_back({scripts[i], {unsigned(i)}});
        f.push_back({"kern", features[i]});
    }
    return zentraq::testing::gposTable(s, f, lookups);
}

const QString Latin = QStringLiteral("AVTo12, ");

// The fonts of the rule cases, by name.
QByteArray ruleFont(const QString& name) {
    const QString& c = Latin;
    TestFont f = fontOf(c);
    const auto pairs = [&](std::vector<std::tuple<char32_t, char32_t, int>> list) {
        std::vector<std::tuple<unsigned, unsigned, int>> out;
        for (const auto& [a, b, v] : list)
            out.emplace_back(g(c, a), g(c, b), v);
        return zentraq::testing::pairPosFormat1(out);
    };
    const unsigned n = unsigned(f.glyphs.size() - 1);
    // A class rule: A and T kern -20 before V and o, -7 before anything else.
    const QByteArray classes = zentraq::testing::pairPosFormat2(
        zentraq::testing::coverageTable({g(c, 'A'), g(c, 'T')}),
        GlyphRanges{{g(c, 'A'), g(c, 'A'), 1}, {g(c, 'T'), g(c, 'T'), 1}},
        GlyphRanges{{g(c, 'V'), g(c, 'V'), 1}, {g(c, 'o'), g(c, 'o'), 1}}, {{0, 0}, {-7, -20}});
    const QByteArray placement = zentraq::testing::pairPosFormat2(
        zentraq::testing::rangeCoverage(1, n), GlyphRanges{{1, n, 1}}, GlyphRanges{{1, n, 1}},
        {{0, 0}, {0, -15}}, true);
    const TestLookup format1{{pairs(
        {{'A', 'V', -80}, {'T', 'o', -120}, {'1', '1', -30}, {'V', 'A', -70}, {',', ' ', 25}})}};
    if (name == "pair sets")
        f.gpos = kernGpos({"DFLT"}, {{0}}, {format1});
    else if (name == "class rule")
        f.gpos = kernGpos({"DFLT"}, {{0}}, {TestLookup{{classes}}});
    else if (name == "Extension lookup")
        f.gpos = kernGpos({"DFLT"}, {{0}}, {TestLookup{format1.subtables, 0, true}});
    else if (name == "lookups add up")
        f.gpos = kernGpos({"DFLT"}, {{1, 0}}, {format1, TestLookup{{classes}}});
    else if (name == "first subtable that applies")
        // A before T: the pair set names it. A before V: the pair set does
        // not, the class rule does. A before o: the class rule applies with
        // -20 first, so the pair set after it does not count.
        f.gpos = kernGpos({"DFLT"}, {{0}},
                          {TestLookup{{pairs({{'A', 'T', -40}}), classes,
                                       pairs({{'A', 'o', -99}, {'A', '1', -11}})}}});
    else if (name == "scripts")
        // Latin letters take latn, a pair of digits or punctuation DFLT; a
        // pair with one letter takes the letter's script.
        f.gpos = kernGpos(
            {"DFLT", "latn"}, {{0}, {1}},
            {TestLookup{{pairs({{'1', '2', -10}, {'A', 'V', -5}})}},
             TestLookup{
                 {pairs({{'A', 'V', -90}, {'A', '1', -30}, {'1', 'A', -40}, {'1', '2', -60}})}}});
    else if (name == "second glyph placed")
        f.gpos = kernGpos({"DFLT"}, {{0}}, {TestLookup{{placement}}});
    else if (name == "kern table, no kern feature")
        // GPOS with no kern feature in its scripts: HarfBuzz takes the kern
        // table, every horizontal subtable added.
        f.gpos = zentraq::testing::gposTable({{"DFLT", {0}}}, {{"mark", {0}}}, {TestLookup{}});
    else if (name == "kern table under latn")
        // latn has no kern feature, DFLT one: HarfBuzz takes the kern table
        // for a pair with a Latin letter, DFLT's lookup for one without.
        f.gpos = zentraq::testing::gposTable(
            {{"DFLT", {0}}, {"latn", {1}}}, {{"kern", {0}}, {"mark", {1}}},
            {TestLookup{{pairs({{'1', 'A', -40}})}}, TestLookup{}});
    if (name == "kern table under latn")
        f.kern =
            zentraq::testing::kernTable({{{g(c, 'A'), g(c, 'V'), -40}, {g(c, '1'), g(c, '2'), 5}}});
    if (name == "kern table, no kern feature" || name == "kern table alone")
        f.kern =
            zentraq::testing::kernTable({{{g(c, 'A'), g(c, 'V'), -40}, {g(c, 'T'), g(c, 'o'), -10}},
                                         {{g(c, 'A'), g(c, 'V'), -15}, {g(c, '1'), g(c, '2'), 5}}});
    return f.build();
}

const QString Marked = QStringLiteral("AV\u0301\u0300");

// Lookup flags: the acute is a mark that IgnoreMarks passes over; a mark
// filtering set of the acute alone passes over the grave only.
QByteArray markFont(const QString& name) {
    const QString& c = Marked;
    TestFont f = fontOf(c);
    std::vector<std::tuple<unsigned, unsigned, int>> list;
    for (const char32_t a : c.toUcs4())
        for (const char32_t b : c.toUcs4())
            list.emplace_back(g(c, a), g(c, b), -10 * int(g(c, a)) - int(g(c, b)));
    const QByteArray all = zentraq::testing::pairPosFormat1(list);
    const unsigned acute = g(c, 0x301), grave = g(c, 0x300);
    if (name == "IgnoreMarks") {
        f.gdef = zentraq::testing::gdefTable({{1, 2, 1}, {acute, grave, 3}});
        f.gpos = kernGpos({"DFLT"}, {{0}}, {TestLookup{{all}, 0x8}});
    } else if (name == "mark filtering set") {
        f.gdef = zentraq::testing::gdefTable({{1, 2, 1}, {acute, grave, 3}}, {{acute}});
        f.gpos = kernGpos({"DFLT"}, {{0}}, {TestLookup{{all}, 0x10, false, 0}});
    } else if (name == "marks by category") {
        // No GDEF: nonspacing marks are marks by their character.
        f.gpos = kernGpos({"DFLT"}, {{0}}, {TestLookup{{all}, 0x8}});
    }
    return f.build();
}

} // namespace

class TestFontKerning : public QObject {
    Q_OBJECT

private slots:
    // Each rule of the face's tables, against HarfBuzz's own shaping of
    // every pair; and the LVGL-compatible rule's values, as lv_font_conv
    // 1.5.3 takes them: DFLT only, no Extension lookups, the first lookup
    // that has the pair, the legacy table's first subtable and only without
    // GPOS.
    void rules_data() {
        QTest::addColumn<QByteArray>("font");
        QTest::addColumn<QString>("chars");
        QTest::addColumn<QStringList>("compatible"); // "AV -80": pairs that are not 0
        // The class rule's cells: A and T before any glyph, -20 before V and o.
        QStringList classes, placed;
        for (const QChar a : Latin)
            for (const QChar b : Latin) {
                placed << QString(a) + b + " -15";
                if (a == u'A' || a == u'T')
                    classes << QString(a) + b + (b == u'V' || b == u'o' ? " -20" : " -7");
            }
        QTest::newRow("pair sets") << ruleFont("pair sets") << Latin
                                   << QStringList{"AV -80", "To -120", "11 -30", "VA -70", ",  25"};
        QTest::newRow("class rule") << ruleFont("class rule") << Latin << classes;
        QTest::newRow("Extension lookup") << ruleFont("Extension lookup") << Latin << QStringList{};
        // (In the feature's order the class rule comes first.)
        QTest::newRow("lookups add up") << ruleFont("lookups add up") << Latin
                                        << classes + QStringList{"VA -70", "11 -30", ",  25"};
        QStringList first = classes;
        first.replace(first.indexOf("AT -7"), "AT -40");
        QTest::newRow("first subtable that applies")
            << ruleFont("first subtable that applies") << Latin << first;
        QTest::newRow("scripts") << ruleFont("scripts") << Latin << QStringList{"12 -10", "AV -5"};
        QTest::newRow("second glyph placed") << ruleFont("second glyph placed") << Latin << placed;
        QTest::newRow("kern table, no kern feature")
            << ruleFont("kern table, no kern feature") << Latin << QStringList{};
        QTest::newRow("kern table alone")
            << ruleFont("kern table alone") << Latin << QStringList{"AV -40", "To -10"};
        QTest::newRow("kern table under latn")
            << ruleFont("kern table under latn") << Latin << QStringList{"1A -40"};
        for (const char* name : {"IgnoreMarks", "mark filtering set", "marks by category"}) {
            QStringList all;
            for (const char32_t a : Marked.toUcs4())
                for (const char32_t b : Marked.toUcs4())
                    all << QString::fromUcs4(&a, 1) + QString::fromUcs4(&b, 1) + u' ' +
                               QString::number(-10 * int(g(Marked, a)) - int(g(Marked, b)));
            QTest::newRow(name) << markFont(QString::fromLatin1(name)) << Marked << all;
        }
    }
    void rules() {
        QFETCH(QByteArray, font);
        QFETCH(QString, chars);
        QFETCH(QStringList, compatible);
        const std::unique_ptr<FontFace> face = faceOf(font);
        const GlyphSet set = glyphsOf(*face, sorted(chars));
        QCOMPARE(set.glyphs.size(), std::size_t(chars.toUcs4().size()));
        const Kerning script = kerningOf(*face, set, KerningRule::Script);
        const Kerning lvgl = kerningOf(*face, set, KerningRule::LvglCompatible);
        HbShaper hb(font);
        QStringList got;
        int kerned = 0;
        for (std::size_t i = 0; i < set.glyphs.size(); ++i) {
            for (std::size_t j = 0; j < set.glyphs.size(); ++j) {
                const char32_t a = set.glyphs[i].code, b = set.glyphs[j].code;
                const QString pair = QString::fromUcs4(&a, 1) + QString::fromUcs4(&b, 1);
                const std::optional<int> want = hb.kern(a, b);
                QVERIFY2(want, qPrintable(pair));
                QVERIFY2(script.value(i, j) == *want,
                         qPrintable(QStringLiteral("%1: %2, HarfBuzz %3")
                                        .arg(pair)
                                        .arg(script.value(i, j))
                                        .arg(*want)));
                kerned += *want != 0;
                if (const int v = lvgl.value(i, j))
                    got << pair + u' ' + QString::number(v);
            }
        }
        QVERIFY(kerned > 0);
        std::sort(got.begin(), got.end());
        std::sort(compatible.begin(), compatible.end());
        QCOMPARE(got, compatible);
        // The pairs are the classes' cells spelled out.
        for (const KernPair& p : kernPairs(script))
            QCOMPARE(p.value, script.value(p.left, p.right));
        QCOMPARE(std::uint64_t(kernPairs(script).size()), script.pairCount());
    }

    // HarfBuzz, the judge: every printable-ASCII pair of the faces kerns as
    // HarfBuzz shapes it (exactly, in font units), and the LVGL font made
    // from it within 1/16 pixel at 16 and 40 px. Pairs HarfBuzz joins into a
    // ligature are shaped again without ligatures. The counts of kerned
    // pairs are hb-shape 6.0.0's.
    void hbShape_data() {
        QTest::addColumn<QString>("family");
        QTest::addColumn<int>("kerned");
        QTest::newRow("DejaVu Sans") << "DejaVu Sans" << 220;
        QTest::newRow("DejaVu Serif") << "DejaVu Serif" << 171;
        QTest::newRow("FreeSerif") << "FreeSerif" << 638;
    }
    void hbShape() {
        QFETCH(QString, family);
        QFETCH(int, kerned);
        const QString file = zentraq::testing::faceFile(family);
        if (file.isEmpty())
            QSKIP("the face is not installed (scripts/install-deps.sh installs it)");
        const QByteArray bytes = zentraq::testing::fileBytes(file);
        const FontFace face(bytes, 0, file);
        std::vector<char32_t> ascii;
        for (char32_t c = 0x20; c <= 0x7E; ++c)
            ascii.push_back(c);
        const GlyphSet set = glyphsOf(face, ascii);
        QCOMPARE(set.glyphs.size(), ascii.size());
        const Kerning kerning = kerningOf(face, set, KerningRule::Script);
        const double upem = face.unitsPerEm();
        const std::vector<int> sizes{16, 40};
        std::vector<std::unique_ptr<LvglFont>> fonts;
        std::vector<GlyphSet> sets;
        for (const int size : sizes)
            sets.push_back(glyphsOf(face, ascii, size));
        for (std::size_t s = 0; s < sizes.size(); ++s) {
            LvglOptions o;
            o.name = "f";
            fonts.push_back(std::make_unique<LvglFont>(
                sets[s], kerningOf(face, sets[s], KerningRule::Script), o));
        }
        HbShaper plain(bytes), unjoined(bytes, "-liga,-clig,-dlig");
        int nonzero = 0, joined = 0;
        for (std::size_t i = 0; i < ascii.size(); ++i) {
            for (std::size_t j = 0; j < ascii.size(); ++j) {
                const QString name = QStringLiteral("'%1%2'").arg(QChar(ascii[i]), QChar(ascii[j]));
                std::optional<int> hb = plain.kern(ascii[i], ascii[j]);
                const bool ligature = !hb;
                if (ligature) {
                    ++joined;
                    hb = unjoined.kern(ascii[i], ascii[j]);
                }
                QVERIFY2(hb, qPrintable(name));
                nonzero += *hb != 0 && !ligature;
                QVERIFY2(
                    kerning.value(i, j) == *hb,
                    qPrintable(
                        name +
                        QStringLiteral(": %1, HarfBuzz %2").arg(kerning.value(i, j)).arg(*hb)));
                for (std::size_t s = 0; s < sizes.size(); ++s) {
                    const double ours = fonts[s]->kernValue(i, j) * fonts[s]->kernScale() / 256.0;
                    const double theirs = *hb * sizes[s] / upem;
                    QVERIFY2(std::fabs(ours - theirs) <= 1.0 / 16 + 1e-9,
                             qPrintable(name + QStringLiteral(" at %1 px: %2, HarfBuzz %3")
                                                   .arg(sizes[s])
                                                   .arg(ours)
                                                   .arg(theirs)));
                }
            }
        }
        QCOMPARE(nonzero, kerned);
        QCOMPARE(joined, 3); // ff, fi, fl
    }

    // `pos @ALL @ALL -50` over GB2312's 6763 glyphs: 45.7 million pairs,
    // held as one class on each side, in LVGL too.
    void classRuleOverEveryGlyph() {
        std::vector<char32_t> ideographs = zentraq::testing::gb2312Ideographs();
        std::sort(ideographs.begin(), ideographs.end());
        TestFont f;
        for (std::size_t i = 0; i < ideographs.size(); ++i) {
            f.glyphs.push_back({50, -100, 950, 800, 1000});
            f.cmap.emplace_back(ideographs[i], unsigned(i + 1));
        }
        const unsigned n = unsigned(ideographs.size());
        f.gpos = kernGpos({"DFLT"}, {{0}},
                          {TestLookup{{zentraq::testing::pairPosFormat2(
                              zentraq::testing::rangeCoverage(1, n), GlyphRanges{{1, n, 1}},
                              GlyphRanges{{1, n, 1}}, {{0, 0}, {0, -50}})}}});
        const std::unique_ptr<FontFace> face = faceOf(f.build());
        const GlyphSet set = glyphsOf(*face, ideographs);
        QCOMPARE(set.glyphs.size(), std::size_t(6763));
        const Kerning k = kerningOf(*face, set, KerningRule::Script);
        QCOMPARE(k.leftClasses, 1u);
        QCOMPARE(k.rightClasses, 1u);
        QCOMPARE(k.cells.size(), std::size_t(1));
        QCOMPARE(k.value(0, 6762), -50);
        QCOMPARE(k.pairCount(), std::uint64_t(6763) * 6763);
        LvglOptions o;
        o.name = "f";
        const LvglFont font(set, k, o);
        QVERIFY(font.kernClasses());
        QCOMPARE(font.kernPairCount(), std::uint64_t(6763) * 6763);
        QCOMPARE(font.kernValue(17, 4000), -13); // -0.8 px in 1/16 px
        zentraq::core::ByteArraySink sink;
        font.writeBinary(sink);
        QVERIFY(sink.bytes.size() < 7 * 6763 * 16);
    }

    // More classes than LVGL's 254 a side: pairs while they are few, a
    // refusal naming the way out when they are not.
    void tooManyClasses_data() {
        QTest::addColumn<int>("glyphs");
        QTest::addColumn<bool>("refused");
        QTest::newRow("400 glyphs: 160000 pairs") << 400 << false;
        QTest::newRow("1100 glyphs: 1210000 pairs") << 1100 << true;
    }
    void tooManyClasses() {
        QFETCH(int, glyphs);
        QFETCH(bool, refused);
        QString chars;
        for (int i = 0; i < glyphs; ++i)
            chars += QChar(0x4E00 + i);
        TestFont f = fontOf(chars);
        // 300 classes of first glyphs (every glyph past 299 in class 0), each
        // with values of its own, before two classes of second glyphs.
        const unsigned n = unsigned(glyphs), classes = 300;
        GlyphRanges ranges;
        for (unsigned c = 1; c < classes; ++c)
            ranges.emplace_back(c, c, c);
        std::vector<std::vector<int>> values(classes, std::vector<int>(2));
        for (unsigned a = 0; a < classes; ++a) {
            values[a][0] = -int(a % 20) * 20 - 5;
            values[a][1] = -int(a / 20) * 20 - 45;
        }
        f.gpos = kernGpos({"DFLT"}, {{0}},
                          {TestLookup{{zentraq::testing::pairPosFormat2(
                              zentraq::testing::rangeCoverage(1, n), ranges,
                              GlyphRanges{{1, 200, 1}}, values)}}});
        const std::unique_ptr<FontFace> face = faceOf(f.build());
        const GlyphSet set = glyphsOf(*face, sorted(chars));
        const Kerning k = kerningOf(*face, set, KerningRule::Script);
        QCOMPARE(k.pairCount(), std::uint64_t(n) * n);
        LvglOptions o;
        o.name = "f";
        try {
            const LvglFont font(set, k, o);
            QVERIFY(!refused);
            QVERIFY(!font.kernClasses());
            QCOMPARE(font.kernPairCount(), std::uint64_t(n) * n);
            // Glyph 1 before glyph 100 (classes 1 and 1): -45 units, at 16 px
            // and 1000 units an em -0.72 px, -12 sixteenths; before glyph 350
            // (class 0) -25 units, -6.4 sixteenths.
            QCOMPARE(font.kernScale(), 16);
            QCOMPARE(font.kernValue(0, 99), -12);
            QCOMPARE(font.kernValue(0, 349), -6);
        } catch (const FontError& e) {
            QVERIFY2(refused, e.what());
            QCOMPARE(e.kind(), FontError::Request);
            QVERIFY2(e.message().endsWith(QStringLiteral("give --no-kerning")), e.what());
        }
    }
};

QTEST_GUILESS_MAIN(TestFontKerning)
#include "test_font_kerning.moc"
