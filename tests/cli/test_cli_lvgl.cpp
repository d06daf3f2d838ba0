// zentraq-cli's LVGL images and Arduino arrays as a process: previews of
// large images within bounded memory, the arrays compiled and run against the
// tool's own binary data, XBM files as ImageMagick and Pillow read them, and
// the refused command lines tests/identity does not run: exit 2, one line, no
// file. (What each option makes is pinned byte for byte by tests/identity.)
#include "cli_runner.h"

#include <QImage>
#include <QImageReader>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>

#include <sys/resource.h>

using namespace zentraq;
using zentraq::testing::CliRun;
using zentraq::testing::compileAndRun;
using zentraq::testing::readFile;
using zentraq::testing::runCli;

namespace {

// 6 x 5: opaque colours on the left, fading to fully transparent on the
// right, where the colour is still there.
QImage fading() {
    QImage p(6, 5, QImage::Format_ARGB32);
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 6; ++x)
            p.setPixel(x, y, qRgba(40 * x + 20, 200 - 30 * y, (x * y * 37) % 256, 255 - 51 * x));
    return p;
}

} // namespace

class TestCliLvgl : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_png;

    QString path(const QString& name) const { return m_dir.filePath(name); }

private slots:
    void initTestCase() {
        QVERIFY(m_dir.isValid());
        m_png = path(QStringLiteral("fading%1.png"));
        QVERIFY(fading().save(m_png));
    }

    // A preview holds the picture it shows and a row, not copies of the
    // image: a 0.5 MB LZ4 file of 8192 x 4096 ARGB pixels (128 MiB of them)
    // and a 23 MB C source of 2048 x 1024 rgb565 pixels are shown within
    // 300 MB of address space.
    void previewMemory_data() {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QString>("format");
        QTest::addColumn<QSize>("size");
        // One literal, a match at offset 1 over all but 12 bytes, 12 literals.
        const int w = 8192, h = 4096;
        const quint32 raw = quint32(w) * h * 4;
        QByteArray block = QByteArray::fromHex("1f000100");
        for (qint64 rest = qint64(raw) - 13 - 4 - 15; rest >= 0; rest -= 255)
            block += char(rest >= 255 ? 255 : rest);
        block += QByteArray(1, char(0xC0)) + QByteArray(12, '\0');
        QByteArray file = QByteArray::fromHex("19100800") + QByteArray(8, '\0');
        qToLittleEndian<quint16>(w, file.data() + 4);
        qToLittleEndian<quint16>(h, file.data() + 6);
        qToLittleEndian<quint16>(0, file.data() + 8); // the stride of whole bytes
        QByteArray words(12, '\0');
        qToLittleEndian<quint32>(2, words.data());
        qToLittleEndian<quint32>(quint32(block.size()), words.data() + 4);
        qToLittleEndian<quint32>(raw, words.data() + 8);
        QTest::newRow("LZ4 file") << file + words + block << "lvgl-bin" << QSize(w, h);
        QByteArray source = "const uint8_t a_map[] = {\n";
        source += QByteArray("0x00,0xF8,\n").repeated(2048 * 1024);
        source += "};\nconst lv_image_dsc_t a = { .header = { .cf = LV_COLOR_FORMAT_RGB565, "
                  ".w = 2048, .h = 1024 }, .data = a_map };\n";
        QTest::newRow("C source") << source << "lvgl" << QSize(2048, 1024);
    }
    void previewMemory() {
#if defined(__SANITIZE_ADDRESS__)
        QSKIP("AddressSanitizer needs more address space than the limit leaves");
#endif
        QFETCH(QByteArray, file);
        QFETCH(QString, format);
        QFETCH(QSize, size);
        const QString in = path(QStringLiteral("large.img")),
                      png = path(QStringLiteral("large.png"));
        QVERIFY(zentraq::testing::writeFile(in, file));
        const CliRun r = runCli({"preview", in, "--format", format, "-o", png}, {}, [] {
            const rlimit limit{300'000'000, 300'000'000};
            ::setrlimit(RLIMIT_AS, &limit);
        });
        QVERIFY2(r.exitCode == 0, qPrintable(r.err));
        QCOMPARE(QImageReader(png).size(), size);
        QFile::remove(png);
    }

    // The arrays: compiled with -Wall -Wextra -Werror and run, each prints
    // the bytes of the tool's binary data of the same settings.
    void arraysCompile_data() {
        QTest::addColumn<QStringList>("array");
        QTest::addColumn<QStringList>("binary");
        QTest::addColumn<QByteArray>("print");
        const QByteArray words = "fwrite(img, 2, sizeof img / 2, stdout);";
        const QByteArray bits = "fwrite(img_bits, 1, sizeof img_bits, stdout);"
                                "printf(\"%d %d\", img_width, img_height);";
        QTest::newRow("c16") << QStringList{"--format", "c16"} << QStringList{} << words;
        QTest::newRow("c16 bgr565 high first, dithered")
            << QStringList{"--format",     "c16",        "--pixel",  "bgr565",
                           "--byte-order", "high-first", "--dither", "floyd-steinberg"}
            << QStringList{"--pixel",    "bgr565",   "--byte-order",
                           "high-first", "--dither", "floyd-steinberg"}
            << words;
        QTest::newRow("xbm") << QStringList{"--format", "xbm"}
                             << QStringList{"--pixel", "mono", "--pad"} << bits;
    }
    void arraysCompile() {
        QFETCH(QStringList, array);
        QFETCH(QStringList, binary);
        QFETCH(QByteArray, print);
        const CliRun raw = runCli(QStringList{"picture", m_png, "--binary", "-q"} + binary);
        QCOMPARE(raw.exitCode, 0);
        const CliRun c = runCli(QStringList{"picture", m_png, "--name", "img", "--attribute",
                                            "__attribute__((aligned(4)))", "-q"} +
                                array);
        QCOMPARE(c.exitCode, 0);
        QTemporaryDir build;
        QString error;
        const QByteArray printed = compileAndRun(build.path(), c.out, "    " + print, &error);
        QVERIFY2(error.isEmpty(), qPrintable(error));
        const QByteArray size = print.contains("img_width") ? "6 5" : "";
        QCOMPARE(printed.toHex(' '), (raw.out + size).toHex(' '));
    }

    // An XBM is an image file too: ImageMagick and Pillow (Debian's
    // imagemagick, python3-pil) read ours, attribute or not, to the pixels of
    // its bits; the first line is a #define.
    void xbmReaders_data() {
        QTest::addColumn<QString>("reader");
        QTest::addColumn<QStringList>("args");
        for (const QString& reader : {u"imagemagick"_qs, u"pillow"_qs}) {
            QTest::addRow("%s", qPrintable(reader)) << reader << QStringList{};
            QTest::addRow("%s, PROGMEM", qPrintable(reader))
                << reader << QStringList{"--attribute", "PROGMEM"};
            QTest::addRow("%s, dithered", qPrintable(reader))
                << reader << QStringList{"--dither", "floyd-steinberg", "--resize", "13x7"};
        }
    }
    void xbmReaders() {
        QFETCH(QString, reader);
        QFETCH(QStringList, args);
        const QString xbm = path(QStringLiteral("read.xbm")),
                      png = path(QStringLiteral("read.png"));
        QFile::remove(png);
        const CliRun r = runCli(
            QStringList{"picture", m_png, "--format", "xbm", "--name", "pic", "-q", "-o", xbm} +
            args);
        QCOMPARE(r.exitCode, 0);
        QVERIFY(readFile(xbm).startsWith("#define pic_width "));
        CliRun read;
        if (reader == u"imagemagick") {
            if (QStandardPaths::findExecutable(QStringLiteral("convert")).isEmpty())
                QSKIP("ImageMagick's convert not found (Debian imagemagick)");
            read = testing::runProgram(QStringLiteral("convert"), {xbm, "PNG24:" + png}, {}, {});
        } else {
            if (testing::runProgram(QStringLiteral("/usr/bin/python3"), {"-c", "import PIL"}, {},
                                    {})
                    .exitCode != 0)
                QSKIP("Pillow not found (Debian python3-pil)");
            read = testing::runProgram(QStringLiteral("/usr/bin/python3"),
                                       {"-c",
                                        "import sys; from PIL import Image; "
                                        "Image.open(sys.argv[1]).convert('RGB').save(sys.argv[2])",
                                        xbm, png},
                                       {}, {});
        }
        QVERIFY2(read.exitCode == 0, qPrintable(read.err));
        const QImage seen(png);
        QVERIFY(!seen.isNull());
        // Our own reading of the bits: 1 is ink, the first pixel in bit 0.
        const CliRun bits =
            runCli(QStringList{"picture", m_png, "--binary", "-q", "--pixel", "mono", "--pad"} +
                   (args.contains("--dither") ? args : QStringList{}));
        QCOMPARE(bits.exitCode, 0);
        const int w = seen.width(), stride = (w + 7) / 8;
        QCOMPARE(qint64(stride) * seen.height(), bits.out.size());
        // ImageMagick draws a set bit as the foreground, black; Pillow keeps
        // it as the value of its 1-bit mode, which shows white.
        const QRgb set = reader == u"pillow" ? 0xFFFFFFu : 0u;
        for (int y = 0; y < seen.height(); ++y)
            for (int x = 0; x < w; ++x) {
                const bool ink = quint8(bits.out[y * stride + x / 8]) >> (x % 8) & 1;
                QCOMPARE(seen.pixel(x, y) & 0xFFFFFF, ink ? set : set ^ 0xFFFFFFu);
            }
    }

    // Every refusal: exit 2 (1 for a picture too large for the format), one
    // line naming the problem, nothing written.
    void errors_data() {
        zentraq::testing::refusalColumns();
        const QString out = path(QStringLiteral("out.c")), p = "picture", pic = m_png;
        auto usage = [&](const char* name, const QStringList& args, const QString& message) {
            QTest::newRow(name) << (QStringList{p, pic, "-o", out} + args) << 2 << message;
        };
        const QString lv = "--format=lvgl";
        // clang-format off
        usage("unknown compression", {lv, "--compress", "zip"}, "--compress wants none, rle or lz4, not 'zip'");
        usage("stride with LVGL 8", {lv, "--lvgl", "8", "--stride-align", "4"}, "--stride-align is for LVGL 9");
        usage("stride not a number", {lv, "--stride-align", "four"}, "--stride-align wants a whole number");
        usage("unknown colour depth", {lv, "--lvgl", "8", "--color-depth", "24"}, "--color-depth wants 16, 16-swap or 32, not '24'");
        usage("scan with lvgl", {lv, "--scan", "page"}, "--scan is for the raw pixel formats");
        usage("xbm msb first", {"--format", "xbm", "--msb-first"}, "--msb-first: an XBM's rows");
        usage("attribute with a comment", {"--format", "c16", "--attribute", "a /* b"}, "--attribute wants printable ASCII");
        usage("attribute with a line break", {"--format", "xbm", "--attribute", "A\nB"}, "--attribute wants printable ASCII");
        usage("attribute of blanks", {"--format", "c", "--attribute", "  "}, "--attribute wants printable ASCII");
        usage("unknown background", {"--background", "purple"}, "--background wants white, black, #RRGGBB or 0xRRGGBB, not 'purple'");
        usage("short background", {lv, "--background", "#FFF"}, "not '#FFF'");
        QTest::newRow("LVGL 8 too wide") << QStringList{p, pic, "-o", out, lv, "--lvgl", "8", "--resize", "2048x1"} << 1 << "an LVGL 8 image is 1 to 2047 pixels a side, not 2048*1";
        QTest::newRow("LVGL 9 stride too long") << QStringList{p, pic, "-o", out, lv, "--resize", "16384x1"} << 1 << "a row of 16384 pixels in argb8888 takes 65536 bytes";
        const QString png = path("check.png");
        auto preview = [&](const char* name, const QStringList& args, int code, const QString& message) {
            QTest::newRow(name) << (QStringList{"preview"} + args + QStringList{"-o", png}) << code << message;
        };
        preview("preview lvgl with a size", {m_png, "--format", "lvgl", "--size", "8x8"}, 2, "--size is for glyph and picture data; an LVGL image says its own size");
        preview("preview lvgl with a pixel", {m_png, "--format", "lvgl-bin", "--pixel", "mono"}, 2, "--pixel is for glyph and picture data");
        preview("preview unknown format", {m_png, "--format", "png"}, 2, "--format wants 'lvgl' or 'lvgl-bin', not 'png'");
        preview("preview depth without lvgl", {m_png, "--width", "4", "--color-depth", "32"}, 2, "--color-depth is for LVGL 8 images");
        preview("preview a picture as an image file", {m_png, "--format", "lvgl-bin"}, 1, "fading%1.png: not a readable LVGL image: the header is neither LVGL 9's nor LVGL 8's");
        preview("preview a picture as C", {m_png, "--format", "lvgl"}, 1, "not a readable LVGL image: no lv_image_dsc_t or lv_img_dsc_t is declared");
        // clang-format on
    }
    void errors() {
        zentraq::testing::expectRefusal(m_dir.path());
    }
};

QTEST_GUILESS_MAIN(TestCliLvgl)
#include "test_cli_lvgl.moc"
