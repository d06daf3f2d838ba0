// The picture formats as writers: the table, which options each takes and
// in which order they are refused, the defaults each gives. Their outputs
// and the tool's refusals are pinned by tests/identity.
#include "picturewriter.h"

#include "../core/support/given_options.h"

#include <QTest>

using namespace zentraq;
using namespace zentraq::rgbqumo;

namespace {

using zentraq::testing::Refused;

// Checking `words` for `format` with `pixel`: the refusal, or nothing.
QString checked(const QString& format, const QString& words, PictureSettings* settings = nullptr,
                PixelFormat pixel = PixelFormat::Rgb565) {
    const PictureWriter* writer = pictureWriterNamed(format);
    if (!writer)
        return QStringLiteral("no writer");
    const zentraq::testing::GivenOptions given(words, 12);
    PictureSettings s;
    s.data.pixel = pixel;
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

class PictureFormatsTest : public QObject {
    Q_OBJECT

private slots:
    void table() {
        QStringList all, formats, c, binary;
        for (const PictureWriter* w : pictureWriters()) {
            all << QString::fromLatin1(w->name());
            if (w->takes("attribute"))
                c << QString::fromLatin1(w->name());
            if (w->binary())
                binary << QString::fromLatin1(w->name());
        }
        for (const PictureWriter* w : pictureFormats())
            formats << QString::fromLatin1(w->name());
        QCOMPARE(all, QStringList({"hex", "c", "lvgl", "lvgl-bin", "c16", "xbm", "binary"}));
        QCOMPARE(formats, all.mid(0, 6));
        QCOMPARE(c, QStringList({"c", "lvgl", "c16", "xbm"}));
        QCOMPARE(binary, QStringList({"lvgl-bin", "binary"}));
        QCOMPARE(pictureWriterNamed(u"xbm")->defaultPixel(), PixelFormat::Mono);
        QCOMPARE(pictureWriterNamed(u"c16")->defaultPixel(), PixelFormat::Rgb565);
        QVERIFY(!pictureWriterNamed(u"png"));
    }

    // Each writer's own table of options and the order of the checks; the
    // refusals' words for the tool's command lines are pinned by
    // tests/identity.
    void refusals_data() {
        QTest::addColumn<QString>("format");
        QTest::addColumn<QString>("given");
        QTest::addColumn<int>("pixel");
        QTest::addColumn<QString>("refusal");
        const int rgb565 = int(PixelFormat::Rgb565), mono = int(PixelFormat::Mono);
        QTest::newRow("lvgl for c16")
            << "c16"
            << "lvgl=8" << rgb565 << "--lvgl is for --format lvgl and lvgl-bin";
        QTest::newRow("compress for xbm")
            << "xbm"
            << "compress=rle" << mono << "--compress is for --format lvgl and lvgl-bin";
        QTest::newRow("the first in order") << "binary"
                                            << "compress=rle color-depth=32" << rgb565
                                            << "--color-depth is for --format lvgl and lvgl-bin";
        QTest::newRow("threshold for lvgl-bin")
            << "lvgl-bin"
            << "threshold=9" << rgb565
            << "--threshold is for the raw pixel formats; LVGL images take --cf";
        QTest::newRow("compress for lvgl-bin 8")
            << "lvgl-bin"
            << "lvgl=8 compress=lz4" << rgb565
            << "--compress is for LVGL 9: LVGL 8 images are not compressed";
        QTest::newRow("xbm pixel before scan") << "xbm"
                                               << "scan=page" << int(PixelFormat::Gray4)
                                               << "--format xbm is for mono pixels, not gray4";
        QTest::newRow("hex takes it all")
            << "hex"
            << "pixel=mono scan=band pad= msb-first= invert= threshold=5" << mono << "";
    }
    void refusals() {
        QFETCH(QString, format);
        QFETCH(QString, given);
        QFETCH(int, pixel);
        QFETCH(QString, refusal);
        QCOMPARE(checked(format, given, nullptr, PixelFormat(pixel)), refusal);
    }

    // LVGL's defaults by version, and the options read into the image's.
    void lvglSettings() {
        PictureSettings s;
        QCOMPARE(checked("lvgl", "", &s), QString());
        QCOMPARE(s.image.version, lvgl::Version::V9);
        QCOMPARE(s.image.format, lvgl::ColourFormat::Argb8888);
        QCOMPARE(checked("lvgl-bin", "lvgl=8 color-depth=16-swap", &s), QString());
        QCOMPARE(s.image.version, lvgl::Version::V8);
        QCOMPARE(s.image.format, lvgl::ColourFormat::TrueColorAlpha);
        QCOMPARE(s.image.depth, lvgl::ColourDepth::Depth16Swapped);
        QCOMPARE(checked("lvgl", "cf=i4 stride-align=64 compress=rle", &s), QString());
        QCOMPARE(s.image.format, lvgl::ColourFormat::I4);
        QCOMPARE(s.image.strideAlign, 64);
        QCOMPARE(s.image.compression, lvgl::Compression::Rle);
    }
};

QTEST_MAIN(PictureFormatsTest)
#include "test_picture_formats.moc"
