// The font formats as writers: which options each takes and the words of
// the refusals, the defaults each gives, kerning kept within each face of a
// font of several faces, and C names made from file names.
#include "bytearraysink.h"
#include "fontwriter.h"
#include "support/faces.h"

#include "../core/support/given_options.h"

#include <QTest>

#include <algorithm>

using namespace zentraq;
using namespace zentraq::font;
using zentraq::core::ByteArraySink;

namespace {

using zentraq::testing::Refused;

// What checking `words` for `format` gives: the refusal, or the settings.
QString checked(const QString& format, const QString& words, FontSettings* settings = nullptr) {
    const FontWriter* writer = fontWriterNamed(format);
    if (!writer)
        return QStringLiteral("no writer");
    const zentraq::testing::GivenOptions given(words);
    FontSettings s;
    try {
        refuseOtherFormatsOptions(*writer, given);
        writer->check(s, given);
    } catch (const Refused& r) {
        return r.message;
    }
    if (settings)
        *settings = s;
    return {};
}

GlyphSet render(const FontFace& face, const std::vector<char32_t>& chars) {
    RenderSettings r;
    r.pixelSize = 20;
    return renderGlyphs(face, r, chars);
}

} // namespace

class FontFormatsTest : public QObject {
    Q_OBJECT

private slots:
    // An option of other formats is refused with the formats that take it,
    // the first of them in the order the options are checked; each format's
    // defaults, and its own refusals. (tests/identity holds the tool's
    // refusals of most of them.)
    void settings_data() {
        QTest::addColumn<QString>("format");
        QTest::addColumn<QString>("given");
        QTest::addColumn<QString>("refusal");
        QTest::addColumn<QList<int>>("expected"); // bits, pixel size, points, dpi, bytecode, lvgl
        const auto row = [](const char* name, const char* format, const char* given,
                            const char* refusal, QList<int> expected = {}) {
            QTest::newRow(name) << QString::fromUtf8(format) << QString::fromUtf8(given)
                                << QString::fromUtf8(refusal) << expected;
        };
        row("include for lvgl-flash", "lvgl-flash", "size=9 lv-include=a.h",
            "--lv-include is for lvgl fonts");
        row("first in order", "vlw", "name=x points=3 lvgl=9",
            "--points is for gfx, u8g2, u8g2-bin and bdf fonts");
        row("u8g2-mode for lvgl", "lvgl", "size=9 u8g2-mode=m",
            "--u8g2-mode is for u8g2 and u8g2-bin fonts");
        row("name for bdf", "bdf", "size=9 name=x",
            "--name is for lvgl, gfx, vlw-c and u8g2 fonts");
        row("bpp for u8g2-bin", "u8g2-bin", "size=9 bpp=1",
            "--bpp is for lvgl, lvgl-bin, lvgl-flash, vlw and vlw-c (u8g2-bin is 1) fonts");
        row("all u8g2's", "u8g2", "points=9 u8g2-mode=h name=f", "", {1, 9, 9, 72, 0, 9});
        row("all lvgl's", "lvgl",
            "size=9 bpp=2 no-hinting= lvgl=8 no-compress= no-prefilter= no-kerning= "
            "lv-include=a.h name=f",
            "", {2, 9, 0, 141, 0, 8});
        row("all lvgl-flash's", "lvgl-flash",
            "size=9 bpp=2 no-hinting= lvgl=9 no-compress= no-prefilter= kerning=lvgl-compatible",
            "", {2, 9, 0, 141, 0, 9});
        row("all gfx's", "gfx", "points=9 dpi=72 name=f", "", {1, 0, 9, 72, 1, 9});
        row("lvgl 8 at 2 bits", "lvgl-bin", "size=30 bpp=2 lvgl=8", "", {2, 30, 0, 141, 0, 8});
        row("gfx at 72 dpi", "gfx", "points=1024 dpi=72", "", {1, 0, 1024, 72, 1, 9});
        row("lvgl without size", "lvgl", "bpp=2", "font needs --size PX (gfx: --points PT)");
        row("u8g2 with two sizes", "u8g2-bin", "size=16 points=12",
            "u8g2, u8g2-bin and bdf fonts need one size: --size PX or --points PT (the same at "
            "72 dpi)");
        row("u8g2 mode x", "u8g2", "size=16 u8g2-mode=x", "--u8g2-mode wants t, h, m or 8");
    }
    void settings() {
        QFETCH(QString, format);
        QFETCH(QString, given);
        QFETCH(QString, refusal);
        QFETCH(QList<int>, expected);
        FontSettings s;
        QCOMPARE(checked(format, given, &s), refusal);
        if (!refusal.isEmpty())
            return;
        const RenderSettings& r = s.render;
        QCOMPARE((QList<int>{r.bits, r.pixelSize, r.points, r.dpi,
                             r.rendering == Rendering::Bytecode ? 1 : 0, s.lvglVersion}),
                 expected);
    }

    // A font of two faces: each face's kerning between its own glyphs, in
    // the positions of the merged set; none between glyphs of different
    // faces, although one face alone kerns those pairs (DejaVu Serif, in
    // units: A-T -112, A-V -102, T-A -112, T-T 38, T-o -159, V-A -139, V-o
    // -188; AR PL UMing none).
    void kerningPerFace() {
        REQUIRE_FACE(serif, "DejaVu Serif");
        REQUIRE_FACE(ming, "AR PL UMing CN");
        const GlyphSet serifAV = render(*serif, {U'A', U'V'});
        const GlyphSet mingTo = render(*ming, {U'T', U'o'});
        QCOMPARE(serifAV.glyphs.size(), std::size_t(2));
        QCOMPARE(mingTo.glyphs.size(), std::size_t(2));

        // Merged in code order: A (serif) T (ming) V (serif) o (ming).
        GlyphSet merged = serifAV;
        const std::size_t base = merged.samples.size();
        merged.samples.insert(merged.samples.end(), mingTo.samples.begin(), mingTo.samples.end());
        for (Glyph g : mingTo.glyphs) {
            g.offset += base;
            merged.glyphs.push_back(g);
        }
        std::sort(merged.glyphs.begin(), merged.glyphs.end(),
                  [](const Glyph& a, const Glyph& b) { return a.code < b.code; });
        const FontSource source{
            &merged, {{serif.get(), {}, {}, {0, 2}}, {ming.get(), {}, {}, {1, 3}}}, {}, {}};
        const std::vector<KernPair> pairs = kernPairs(sourceKerning(source, KerningRule::Script));
        QList<int> found;
        for (const KernPair& p : pairs)
            found << int(p.left) << int(p.right) << p.value;
        QCOMPARE(found, (QList<int>{0, 2, -102, 2, 0, -139}));

        // The same glyphs all from DejaVu Serif, as one group: all of its
        // pairs.
        const GlyphSet serifAll = render(*serif, {U'A', U'T', U'V', U'o'});
        const FontSource whole{&serifAll, {{serif.get(), {}, {}, {}}}, {}, {}};
        QList<int> all;
        for (const KernPair& p : kernPairs(sourceKerning(whole, KerningRule::Script)))
            all << int(p.left) << int(p.right) << p.value;
        QCOMPARE(all, (QList<int>{0,  1, -112, 0,    2, -102, 1,    0, -112, 1,   1,
                                  38, 1, 3,    -159, 2, 0,    -139, 2, 3,    -188}));
        // Split between the faces, A-V is no pair.
        const FontSource split{
            &serifAV, {{serif.get(), {}, {}, {0}}, {ming.get(), {}, {}, {1}}}, {}, {}};
        QVERIFY(sourceKerning(split, KerningRule::Script).empty());
    }

    // The C name without --name comes from the output's file name.
    void cNames_data() {
        QTest::addColumn<QString>("output");
        QTest::addColumn<QString>("name");
        const char* const rows[][3] = {{"file", "out/font_dejavu_16.c", "font_dejavu_16"},
                                       {"punctuation", "my-font 2.h", "my_font_2"},
                                       {"two dots", "f.16.c", "f_16"},
                                       {"digit first", "16px.c", "_16px"},
                                       {"keyword", "int.c", "int_"},
                                       {"not ASCII", "字体.c", "__"},
                                       {"standard output", "-", "font"},
                                       {"none", "", "font"}};
        for (const auto& [name, output, c] : rows)
            QTest::newRow(name) << QString::fromUtf8(output) << QString::fromUtf8(c);
    }
    void cNames() {
        QFETCH(QString, output);
        QFETCH(QString, name);
        REQUIRE_FACE(sans, "DejaVu Sans");
        const GlyphSet set = render(*sans, {U'A'});
        FontSettings s;
        s.render = set.settings;
        const FontSource source{
            &set, {{sans.get(), {}, QStringLiteral("DejaVuSans.ttf"), {}}}, output, {}};
        ByteArraySink sink;
        fontWriterNamed(u"vlw-c")->make(source, s)->write(sink);
        QVERIFY2(sink.bytes.contains("const uint8_t " + name.toUtf8() + "[] PROGMEM = {\n"),
                 sink.bytes.left(600).constData());
    }
};

QTEST_MAIN(FontFormatsTest)
#include "test_font_formats.moc"
