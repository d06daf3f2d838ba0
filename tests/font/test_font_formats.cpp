// The font formats as writers: which options each takes and the words of
// the refusals, and the defaults each gives. (Kerning kept within each face
// of a font of several faces, and C names made from file names, are pinned
// by tests/identity.)
#include "fontwriter.h"

#include "../core/support/given_options.h"

#include <QTest>

using namespace zentraq;
using namespace zentraq::font;

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
};

QTEST_MAIN(FontFormatsTest)
#include "test_font_formats.moc"
