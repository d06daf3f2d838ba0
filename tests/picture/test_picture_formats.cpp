// The picture formats as writers: the table, which options each takes and
// the words of the refusals, the defaults each gives, and whole results of
// tiny pictures worked out by hand.
#include "bytearraysink.h"
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

// 3 x 2: black, white, black / white, red, blue.
QImage tiny() {
    QImage p(3, 2, QImage::Format_RGB32);
    p.setPixel(0, 0, qRgb(0, 0, 0));
    p.setPixel(1, 0, qRgb(255, 255, 255));
    p.setPixel(2, 0, qRgb(0, 0, 0));
    p.setPixel(0, 1, qRgb(255, 255, 255));
    p.setPixel(1, 1, qRgb(255, 0, 0));
    p.setPixel(2, 1, qRgb(0, 0, 255));
    return p;
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

    void refusals_data() {
        QTest::addColumn<QString>("format");
        QTest::addColumn<QString>("given");
        QTest::addColumn<int>("pixel");
        QTest::addColumn<QString>("refusal");
        const int rgb565 = int(PixelFormat::Rgb565), mono = int(PixelFormat::Mono);
        QTest::newRow("cf for hex")
            << "hex"
            << "cf=i4" << rgb565 << "--cf is for --format lvgl and lvgl-bin";
        QTest::newRow("lvgl for c16")
            << "c16"
            << "lvgl=8" << rgb565 << "--lvgl is for --format lvgl and lvgl-bin";
        QTest::newRow("compress for xbm")
            << "xbm"
            << "compress=rle" << mono << "--compress is for --format lvgl and lvgl-bin";
        QTest::newRow("the first in order") << "binary"
                                            << "compress=rle color-depth=32" << rgb565
                                            << "--color-depth is for --format lvgl and lvgl-bin";
        QTest::newRow("pixel for lvgl")
            << "lvgl"
            << "pixel=rgb565" << rgb565
            << "--pixel is for the raw pixel formats; LVGL images take --cf";
        QTest::newRow("threshold for lvgl-bin")
            << "lvgl-bin"
            << "threshold=9" << rgb565
            << "--threshold is for the raw pixel formats; LVGL images take --cf";
        QTest::newRow("lvgl 7") << "lvgl"
                                << "lvgl=7" << rgb565 << "--lvgl wants 9 or 8";
        QTest::newRow("unknown cf") << "lvgl"
                                    << "cf=rgb999" << rgb565 << "--cf wants LVGL 9: rgb5";
        QTest::newRow("depth for 9") << "lvgl"
                                     << "color-depth=32" << rgb565
                                     << "--color-depth is for LVGL 8 (--lvgl 8); LVGL 9 names its "
                                        "colour format with --cf";
        QTest::newRow("v8 format for 9")
            << "lvgl"
            << "cf=true-color" << rgb565
            << "--cf true-color is not a colour format of LVGL 9; it has rgb565, rgb565-swapped, "
               "rgb565a8, argb8565, rgb888, xrgb8888, argb8888, argb8888-premultiplied, l8, al88, "
               "a1, a2, a4, a8, i1, i2, i4, i8, raw, raw-alpha";
        QTest::newRow("compress for 8")
            << "lvgl-bin"
            << "lvgl=8 compress=lz4" << rgb565
            << "--compress is for LVGL 9: LVGL 8 images are not compressed";
        QTest::newRow("stride 3") << "lvgl"
                                  << "stride-align=3" << rgb565
                                  << "--stride-align must be a power of two from 1 to 256, not 3";
        QTest::newRow("c16 of gray8")
            << "c16"
            << "" << int(PixelFormat::Gray8)
            << "--format c16 is for the 16-bit formats rgb565 and bgr565, "
               "not gray8";
        QTest::newRow("xbm of rgb565")
            << "xbm"
            << "" << rgb565 << "--format xbm is for mono pixels, not rgb565";
        QTest::newRow("xbm pixel before scan") << "xbm"
                                               << "scan=page" << int(PixelFormat::Gray4)
                                               << "--format xbm is for mono pixels, not gray4";
        QTest::newRow("xbm in pages")
            << "xbm"
            << "scan=page" << mono
            << "--scan: an XBM's rows start on a new byte, the first pixel "
               "in bit 0";
        QTest::newRow("c16 of bgr565")
            << "c16"
            << "pixel=bgr565 byte-order=high-first" << int(PixelFormat::Bgr565) << "";
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

    // Whole results of the 3 x 2 picture, worked out by hand: mono ink where
    // the luma is below 128 (black, red, blue: 1), rows on new bytes, bit 0
    // first; RGB565 words of black, white, red (F800) and blue (001F).
    void results_data() {
        QTest::addColumn<QString>("format");
        QTest::addColumn<bool>("highFirst");
        QTest::addColumn<qint64>("bytes");
        QTest::addColumn<QByteArray>("text");
        const QByteArray comment = "/*\r\n * Picture made by zentraq-cli: t.png, 3*2 pixels, ";
        const QByteArray tail =
            " * dither: none\r\n * fitting: none, the picture's own size\r\n */\r\n";
        // An XBM is an image file too: the comment after the data.
        QTest::newRow("xbm")
            << "xbm" << false << qint64(2)
            << "#define pic_width 3\r\n#define pic_height 2\r\nstatic unsigned char pic_bits[] = "
               "{\r\n0x05,0x06,\r\n};\r\n\r\n" +
                   comment +
                   "2 bytes of data\r\n * XBM: 1 bit per pixel, 1 for ink (luma below 128), the "
                   "first pixel of each byte in bit 0, every row starting on a new byte\r\n" +
                   tail;
        QTest::newRow("c16") << "c16" << false << qint64(12)
                             << comment + "12 bytes of data\r\n * pixel: rgb565 words\r\n" + tail +
                                    "#include <stdint.h>\r\n\r\n#define pic_width 3\r\n#define "
                                    "pic_height 2\r\n\r\nconst uint16_t pic[6] = {\r\n"
                                    "0x0000,0xFFFF,0x0000,0xFFFF,0xF800,0x001F,\r\n};\r\n";
        QTest::newRow("c16 swapped")
            << "c16" << true << qint64(12)
            << comment +
                   "12 bytes of data\r\n * pixel: rgb565 words, each word's "
                   "bytes swapped (high byte first in a little-endian "
                   "controller's memory)\r\n" +
                   tail +
                   "#include <stdint.h>\r\n\r\n#define pic_width 3\r\n#define "
                   "pic_height 2\r\n\r\nconst uint16_t pic[6] = {\r\n"
                   "0x0000,0xFFFF,0x0000,0xFFFF,0x00F8,0x1F00,\r\n};\r\n";
    }
    void results() {
        QFETCH(QString, format);
        QFETCH(bool, highFirst);
        QFETCH(qint64, bytes);
        QFETCH(QByteArray, text);
        const PictureWriter* writer = pictureWriterNamed(format);
        PictureSettings s;
        s.data.pixel = writer->defaultPixel();
        s.data.highByteFirst = highFirst;
        s.name = "pic";
        const auto made = writer->make({tiny(), QStringLiteral("t.png"), {}}, s);
        QCOMPARE(made->size(), QSize(3, 2));
        QCOMPARE(made->bytes(), bytes);
        core::ByteArraySink sink;
        QCOMPARE(made->write(sink), bytes);
        QCOMPARE(sink.bytes, text);
    }
};

QTEST_MAIN(PictureFormatsTest)
#include "test_picture_formats.moc"
