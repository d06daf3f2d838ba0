// zentraq-cli as a process: each option on small inputs with answers worked
// out by hand, C that compiles to the binary form, reading data back into
// pictures in every layout, every refused command line and failure with its
// exit code and message, and results that appear whole or not at all.
#include "cli_runner.h"

#include "glyphcanvas.h"
#include "qumo.h"
#include "textrenderer.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <csignal>
#include <sys/stat.h>

using zentraq::testing::CliRun;
using zentraq::testing::compileAndRun;
using zentraq::testing::dumpArray;
using zentraq::testing::listing;
using zentraq::testing::readFile;
using zentraq::testing::runCli;
using zentraq::testing::writeFile;

namespace {

// One data line from bytes written as "00 10 28": "0x00,0x10,0x28," CR LF.
QByteArray line(const char* hex) {
    QByteArray out;
    for (const QByteArray& b : QByteArray(hex).split(' '))
        out += "0x" + b + ",";
    return out + "\r\n";
}

// "A" and "|" at 8x16 in the canvas face, read off its pixel pictures:
// "A" has ink at x = 4 in rows 1-2 (0x10), x = 3,5 in rows 3-5 (0x28), ...
const char* const A = "00 10 10 28 28 28 44 44 44 7C 82 82 82 C6 00 00";
const char* const Bar = "02 02 02 02 02 02 02 02 02 02 02 02 02 02 02 02"; // x = 1 in every row
// With the first pixel in the most significant bit: each byte reversed.
const char* const AMsb = "00 08 08 14 14 14 22 22 22 3E 41 41 41 63 00 00";
const char* const BarMsb = "40 40 40 40 40 40 40 40 40 40 40 40 40 40 40 40";
// Inverted: each byte complemented.
const char* const AInv = "FF EF EF D7 D7 D7 BB BB BB 83 7D 7D 7D 39 FF FF";
const char* const BarInv = "FD FD FD FD FD FD FD FD FD FD FD FD FD FD FD FD";
const char* const AMsbInv = "FF F7 F7 EB EB EB DD DD DD C1 BE BE BE 9C FF FF";
const char* const BarMsbInv = "BF BF BF BF BF BF BF BF BF BF BF BF BF BF BF BF";
// Vertical bytes, read off the same pictures: "A" by columns (column x in
// bytes 2x and 2x + 1, the top row in bit 0) and in pages (rows 0-7 for
// each column, then rows 8-15).
const char* const AColumn = "00 00 00 3C C0 23 38 02 06 02 38 02 C0 23 00 3C";
const char* const BarColumn = "00 00 FF FF 00 00 00 00 00 00 00 00 00 00 00 00";
const char* const APage = "00 00 C0 38 06 38 C0 00 00 3C 23 02 02 02 23 3C";
const char* const BarPage = "00 FF 00 00 00 00 00 00 00 FF 00 00 00 00 00 00";

QByteArray bytes(const char* hex) {
    return QByteArray::fromHex(QByteArray(hex).replace(' ', ""));
}

// The 3 x 3 picture: red, green, blue / white, black, grey 128 /
// (86,52,18), (7,3,7), yellow, with their RGB565 bytes (high, low):
// F8 00, 07 E0, 00 1F / FF FF, 00 00, 84 10 / 51 A2, 00 00, FF E0.
QImage picture3x3() {
    QImage image(3, 3, QImage::Format_RGB32);
    const QRgb colours[9] = {qRgb(255, 0, 0),     qRgb(0, 255, 0), qRgb(0, 0, 255),
                             qRgb(255, 255, 255), qRgb(0, 0, 0),   qRgb(128, 128, 128),
                             qRgb(86, 52, 18),    qRgb(7, 3, 7),   qRgb(255, 255, 0)};
    for (int i = 0; i < 9; ++i)
        image.setPixel(i % 3, i / 3, colours[i]);
    return image;
}
// Low byte first, CR LF after the 8th item, no line end after the 9th.
const QByteArray Picture3x3Text =
    "0x00,0xF8,0xE0,0x07,0x1F,0x00,0xFF,0xFF,0x00,0x00,0x10,0x84,0xA2,0x51,0x00,0x00,\r\n"
    "0xE0,0xFF,";
const QByteArray Picture3x3HighFirst =
    "0xF8,0x00,0x07,0xE0,0x00,0x1F,0xFF,0xFF,0x00,0x00,0x84,0x10,0x51,0xA2,0x00,0x00,\r\n"
    "0xFF,0xE0,";

// `bytes` as data text with CR LF after every `perLine` bytes.
QByteArray dataText(const QByteArray& bytes, int perLine) {
    QByteArray out;
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        out += "0x" + bytes.mid(i, 1).toHex().toUpper() + ",";
        if ((i + 1) % perLine == 0)
            out += "\r\n";
    }
    return out;
}

// The 8 x 4 gradients of the dithering reference (dither_reference.py): grey
// min(255, 12 + 33x + 8y); colour (min(255, 36x + 3y), 90 + 20y + x, 250 - 31x).
QImage gradient(bool colour) {
    QImage image(8, 4, QImage::Format_RGB32);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 8; ++x) {
            const int v = std::min(255, 12 + 33 * x + 8 * y);
            image.setPixel(x, y,
                           colour
                               ? qRgb(std::min(255, 36 * x + 3 * y), 90 + 20 * y + x, 250 - 31 * x)
                               : qRgb(v, v, v));
        }
    return image;
}

// Red, green, blue, white / black, yellow, cyan, magenta: every corner
// different, so every turn and mirror shows.
QImage picture4x2() {
    QImage image(4, 2, QImage::Format_RGB32);
    const QRgb colours[8] = {qRgb(255, 0, 0),     qRgb(0, 255, 0),  qRgb(0, 0, 255),
                             qRgb(255, 255, 255), qRgb(0, 0, 0),    qRgb(255, 255, 0),
                             qRgb(0, 255, 255),   qRgb(255, 0, 255)};
    for (int i = 0; i < 8; ++i)
        image.setPixel(i % 4, i / 4, colours[i]);
    return image;
}

struct Probe {
    int x, y;
    QRgb colour;
};

int luma(QRgb p) {
    return (299 * qRed(p) + 587 * qGreen(p) + 114 * qBlue(p) + 500) / 1000;
}

bool canvasFaceIsPinned() {
    return zentraq::text::TextRenderer::shared().faces().primary.family ==
           QLatin1String("AR PL UMing CN");
}

} // namespace

Q_DECLARE_METATYPE(std::vector<Probe>)

class TestCliTool : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_pic3;
    QImage m_windowLayout; // glyphs in the window's layout, read back

    QString path(const QString& name) const { return m_dir.filePath(name); }

private slots:
    void initTestCase() {
        ::umask(022);
        QVERIFY(m_dir.isValid());
        m_pic3 = path(QStringLiteral("pic%1%2.png")); // a name that a later arg() would garble
        QVERIFY(picture3x3().save(m_pic3));
        QVERIFY(writeFile(path(QStringLiteral("notpicture.png")), "just text, not a picture\n"));
        QVERIFY(writeFile(path(QStringLiteral("bad-utf8.txt")), "A\xC3("));
        QVERIFY(writeFile(path(QStringLiteral("wide.txt")), "0x01,0x100,\r\n"));
        QVERIFY(writeFile(path(QStringLiteral("odd.txt")), "0x01,0x02,0x03,"));
        QVERIFY(writeFile(path(QStringLiteral("six.txt")), "0x01,0x02,0x03,0x04,0x05,0x06,"));
        QVERIFY(writeFile(path(QStringLiteral("controls.txt")), "\r\n\t\r\n"));
        QVERIFY(writeFile(path(QStringLiteral("wide%1%2.txt")), "0x01,0x100,\r\n"));
        QVERIFY(writeFile(path(QStringLiteral("odd%2.txt")), "0x01,0x02,0x03,"));
        // Over the 256 MiB the tool reads, without taking the disk space.
        QFile huge(path(QStringLiteral("huge.txt")));
        QVERIFY(huge.open(QIODevice::WriteOnly) && huge.resize((qint64(256) << 20) + 1));
        QVERIFY(writeFile(path(QStringLiteral("read-only.txt")), "protected"));
        QVERIFY(
            QFile::setPermissions(path(QStringLiteral("read-only.txt")), QFileDevice::ReadOwner));
    }

    void glyphOptions_data() {
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("default") << QStringList{} << line(A) + line(Bar);
        QTest::newRow("window's size name") << QStringList{"--size", "8*16"} << line(A) + line(Bar);
        QTest::newRow("msb first") << QStringList{"--msb-first"} << line(AMsb) + line(BarMsb);
        QTest::newRow("invert") << QStringList{"--invert"} << line(AInv) + line(BarInv);
        QTest::newRow("msb first, inverted")
            << QStringList{"--msb-first", "--invert"} << line(AMsbInv) + line(BarMsbInv);
        QTest::newRow("binary") << QStringList{"--binary"} << bytes(A) + bytes(Bar);
        QTest::newRow("binary, msb first")
            << QStringList{"--binary", "--msb-first"} << bytes(AMsb) + bytes(BarMsb);
        QTest::newRow("explicit hex")
            << QStringList{"--format", "hex", "--invert"} << line(AInv) + line(BarInv);
        QTest::newRow("column") << QStringList{"--scan", "column"}
                                << line(AColumn) + line(BarColumn);
        QTest::newRow("column, padded")
            << QStringList{"--scan", "column", "--pad"} << line(AColumn) + line(BarColumn);
        QTest::newRow("page") << QStringList{"--scan", "page"} << line(APage) + line(BarPage);
        QTest::newRow("band: one band of 8 columns")
            << QStringList{"--scan=band"} << line(A) + line(Bar);
    }

    void glyphOptions() {
        QFETCH(QStringList, options);
        QFETCH(QByteArray, expected);
        if (!canvasFaceIsPinned())
            QSKIP("the canvas face is not AR PL UMing CN; the answers are worked out for it");
        QStringList args{"glyph"};
        if (!options.contains(QStringLiteral("--size")))
            args << "--size"
                 << "8x16";
        args << options << "A|";
        const CliRun r = runCli(args);
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(r.out, expected);
        QCOMPARE(r.err, QStringLiteral("数据大小:32\n"));
    }

    void glyphCArray() {
        if (!canvasFaceIsPinned())
            QSKIP("the canvas face is not AR PL UMing CN; the answers are worked out for it");
        const CliRun r = runCli(
            {"glyph", "--size", "8x16", "A|", "--format", "c", "--name", "letters", "--msb-first"});
        QCOMPARE(r.exitCode, 0);
        const QByteArray body = "const unsigned char letters[32] = {\r\n" + line(AMsb).chopped(2) +
                                " /* U+0041 'A' */\r\n" + line(BarMsb).chopped(2) +
                                " /* U+007C '|' */\r\n};\r\n";
        QVERIFY2(r.out.endsWith(body), r.out.constData());
        const QString header = QString::fromUtf8(r.out.left(r.out.size() - body.size()));
        QVERIFY(header.startsWith(QStringLiteral("/*\r\n")));
        QVERIFY(header.endsWith(QStringLiteral(" */\r\n")));
        for (const char* recorded :
             {"2 characters, 32 bytes", "cell: 8x16 (8*16字母), 16 bytes each", "AR PL UMing CN",
              "12 pt = 16 px", "scan: row: horizontal bytes",
              "the first pixel of each byte in the most significant bit; ink 1, background 0"})
            QVERIFY2(header.contains(QString::fromUtf8(recorded)), recorded);
    }

    void pictureOptions_data() {
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("default") << QStringList{} << Picture3x3Text;
        QTest::newRow("low first named")
            << QStringList{"--byte-order", "low-first"} << Picture3x3Text;
        QTest::newRow("high first")
            << QStringList{"--byte-order", "high-first"} << Picture3x3HighFirst;
        QTest::newRow("binary") << QStringList{"--binary"}
                                << QByteArray::fromHex("00F8E0071F00FFFF00001084A2510000E0FF");
        QTest::newRow("binary, high first")
            << QStringList{"--binary", "--byte-order=high-first"}
            << QByteArray::fromHex("F80007E0001FFFFF0000841051A20000FFE0");
        QTest::newRow("C") << QStringList{"--format", "c", "--name", "pic"}
                           << "const unsigned char pic[18] = {\r\n" + Picture3x3Text + "\r\n};\r\n";
        QTest::newRow("C, high first")
            << QStringList{"--format", "c", "--byte-order", "high-first"}
            << "const unsigned char picture_data[18] = {\r\n" + Picture3x3HighFirst + "\r\n};\r\n";
    }

    void pictureOptions() {
        QFETCH(QStringList, options);
        QFETCH(QByteArray, expected);
        const CliRun r = runCli(QStringList{"picture", m_pic3} + options);
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(r.err, QStringLiteral("数据大小:18字节\n"));
        if (options.contains(QStringLiteral("c"))) {
            QVERIFY2(r.out.endsWith(expected), r.out.constData());
            QVERIFY(r.out.startsWith("/*\r\n * Picture data made by zentraq-cli: " +
                                     m_pic3.toUtf8() + ", 3*3 pixels, 18 bytes\r\n"));
        } else {
            QCOMPARE(r.out, expected);
        }

        // The same into a file.
        const QString out = path(QStringLiteral("picture-out"));
        const CliRun f = runCli(QStringList{"picture", m_pic3, "-q", "-o", out} + options);
        QCOMPARE(f.exitCode, 0);
        QCOMPARE(f.err, QString());
        QCOMPARE(readFile(out), r.out);
    }

    // Every pixel format on the 3 x 3 picture, bytes worked out by hand from
    // the colours (luma: red 76, green 150, blue 29, white 255, black 0,
    // grey 128, (86,52,18) 58, (7,3,7) 5, yellow 226), binary and as data
    // text of 16 bytes a line (24 for the 3-byte formats).
    void pictureFormats_data() {
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<QByteArray>("expected");
        QTest::addColumn<int>("perLine");
        // clang-format off
        QTest::newRow("bgr565") << QStringList{"--pixel", "bgr565"} << bytes("1F00 E007 00F8 FFFF 0000 1084 AA11 0000 FF07") << 16;
        QTest::newRow("bgr565 high first") << QStringList{"--pixel", "bgr565", "--byte-order", "high-first"} << bytes("001F 07E0 F800 FFFF 0000 8410 11AA 0000 07FF") << 16;
        QTest::newRow("rgb888") << QStringList{"--pixel", "rgb888"} << bytes("FF0000 00FF00 0000FF FFFFFF 000000 808080 563412 070307 FFFF00") << 24;
        QTest::newRow("bgr888") << QStringList{"--pixel", "bgr888"} << bytes("0000FF 00FF00 FF0000 FFFFFF 000000 808080 123456 070307 00FFFF") << 24;
        QTest::newRow("rgb666") << QStringList{"--pixel", "rgb666"} << bytes("FC0000 00FC00 0000FC FCFCFC 000000 808080 543410 040004 FCFC00") << 24;
        QTest::newRow("rgb332") << QStringList{"--pixel", "rgb332"} << bytes("E0 1C 03 FF 00 92 44 00 FC") << 16;
        QTest::newRow("gray8") << QStringList{"--pixel", "gray8"} << bytes("4C 96 1D FF 00 80 3A 05 E2") << 16;
        QTest::newRow("gray8 inverted") << QStringList{"--pixel", "gray8", "--invert"} << bytes("B3 69 E2 00 FF 7F C5 FA 1D") << 16;
        // gray4 levels 4 9 1 F 0 8 3 0 E, two to a byte, the first low.
        QTest::newRow("gray4") << QStringList{"--pixel", "gray4"} << bytes("94 F1 80 03 0E") << 16;
        QTest::newRow("gray4 inverted") << QStringList{"--pixel", "gray4", "--invert"} << bytes("6B 0E 7F FC 01") << 16;
        QTest::newRow("gray4 msb first") << QStringList{"--pixel", "gray4", "--msb-first"} << bytes("49 1F 08 30 E0") << 16;
        QTest::newRow("gray4 bands of 2 columns") << QStringList{"--pixel", "gray4", "--scan", "band"} << bytes("94 0F 03 01 08 0E") << 16;
        // gray2 levels 1 2 0 3 0 2 0 0 3.
        QTest::newRow("gray2") << QStringList{"--pixel", "gray2"} << bytes("C9 08 03") << 16;
        QTest::newRow("gray2 rows padded") << QStringList{"--pixel", "gray2", "--pad"} << bytes("09 23 30") << 16;
        QTest::newRow("gray2 columns padded") << QStringList{"--pixel", "gray2", "--scan", "column", "--pad"} << bytes("0D 02 38") << 16;
        // mono ink (luma below 128): 1 0 1 0 1 0 1 1 0.
        QTest::newRow("mono") << QStringList{"--pixel", "mono"} << bytes("D5 00") << 16;
        QTest::newRow("mono inverted") << QStringList{"--pixel", "mono", "--invert"} << bytes("2A 01") << 16;
        QTest::newRow("mono threshold 60") << QStringList{"--pixel", "mono", "--threshold", "60"} << bytes("D4 00") << 16;
        QTest::newRow("mono pages") << QStringList{"--pixel", "mono", "--scan", "page"} << bytes("05 06 01") << 16;
        QTest::newRow("mono pages, msb first") << QStringList{"--pixel", "mono", "--scan", "page", "--msb-first"} << bytes("A0 60 80") << 16;
        // clang-format on
    }

    void pictureFormats() {
        QFETCH(QStringList, options);
        QFETCH(QByteArray, expected);
        QFETCH(int, perLine);
        const CliRun binary = runCli(QStringList{"picture", m_pic3, "--binary"} + options);
        QCOMPARE(binary.exitCode, 0);
        QCOMPARE(binary.out.toHex(' '), expected.toHex(' '));
        QCOMPARE(binary.err, QStringLiteral("数据大小:%1字节\n").arg(expected.size()));
        const CliRun text = runCli(QStringList{"picture", m_pic3, "-q"} + options);
        QCOMPARE(text.exitCode, 0);
        QCOMPARE(text.out, dataText(expected, perLine));
    }

    // Dithering through the command, on the gradients whose samples the
    // reference script worked out with exact fractions (the same cases as
    // the quantiser's own test), packed here by hand.
    void pictureDithers_data() {
        QTest::addColumn<bool>("colour");
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<QByteArray>("expected");
        // clang-format off
        // gray2 fs: 0 1 1 1 2 2 2 3 / 0 1 1 1 2 2 3 3 / 0 1 1 1 2 2 3 3 / 0 1 1 2 2 2 3 3.
        QTest::newRow("gray2 floyd-steinberg") << false << QStringList{"--pixel", "gray2", "--dither", "floyd-steinberg"}
                                               << bytes("54 EA 54 FA 54 FA 94 FA");
        // gray4 bayer4: 0 3 4 7 8 A C E / 1 3 5 7 9 B D F / 1 4 5 8 9 C D F / 3 4 6 8 A C E F.
        QTest::newRow("gray4 bayer4") << false << QStringList{"--pixel", "gray4", "--dither", "bayer4"}
                                      << bytes("30 74 A8 EC 31 75 B9 FD 41 85 C9 FD 43 86 CA FE");
        // mono bayer4: 1 1 1 0 1 0 1 0 / 1 1 0 1 0 0 0 0 / 1 1 1 0 1 0 1 0 / 0 1 0 1 0 0 0 0, in a page.
        QTest::newRow("mono bayer4 page") << false << QStringList{"--pixel", "mono", "--dither", "bayer4", "--scan", "page"}
                                          << bytes("07 0F 05 0A 05 00 05 00");
        // mono fs, threshold 100, inverted: 0 0 1 0 1 1 1 1 / 0 0 0 1 0 1 1 1 / 0 1 0 1 0 1 1 1 / 0 0 1 0 1 1 1 1.
        QTest::newRow("mono floyd-steinberg, threshold 100, inverted")
            << false << QStringList{"--pixel", "mono", "--dither", "floyd-steinberg", "--threshold", "100", "--invert", "--msb-first"}
            << bytes("2F 17 57 2F");
        QTest::newRow("rgb565 floyd-steinberg, high first")
            << true << QStringList{"--dither", "floyd-steinberg", "--byte-order", "high-first"}
            << bytes("02DE 22FB 4AF7 6AF3 92EF B30C D308 FB04  0B7F 2B9A 4B77 7393 938F B3AC DB87 FBA4"
                     "0C1E 2C1B 4C37 7433 942F B42C DC48 FC44  0CBE 2CBB 54D7 74D3 9CCF BCCC DCE8 FCE4");
        // clang-format on
    }

    void pictureDithers() {
        QFETCH(bool, colour);
        QFETCH(QStringList, options);
        QFETCH(QByteArray, expected);
        const QString in = path(colour ? QStringLiteral("colour-gradient.png")
                                       : QStringLiteral("grey-gradient.png"));
        QVERIFY(gradient(colour).save(in));
        const CliRun r = runCli(QStringList{"picture", in, "-q", "--binary"} + options);
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(r.out.toHex(' '), expected.toHex(' '));
    }

    // Turning, mirroring and resizing, in that order: the size and the
    // pixels at the corners (and where a canvas shows) of 3-byte data.
    void pictureFitting_data() {
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<QSize>("size");
        QTest::addColumn<std::vector<Probe>>("probes");
        const QRgb R = qRgb(255, 0, 0), G = qRgb(0, 255, 0), B = qRgb(0, 0, 255),
                   W = qRgb(255, 255, 255), K = qRgb(0, 0, 0), Y = qRgb(255, 255, 0),
                   C = qRgb(0, 255, 255), M = qRgb(255, 0, 255);
        auto corners = [](QSize s, QRgb tl, QRgb tr, QRgb bl, QRgb br) {
            return std::vector<Probe>{{0, 0, tl},
                                      {s.width() - 1, 0, tr},
                                      {0, s.height() - 1, bl},
                                      {s.width() - 1, s.height() - 1, br}};
        };
        // clang-format off
        QTest::newRow("as it is") << QStringList{} << QSize(4, 2) << corners({4, 2}, R, W, K, M);
        QTest::newRow("rotate 90") << QStringList{"--rotate", "90"} << QSize(2, 4) << corners({2, 4}, K, R, M, W);
        QTest::newRow("rotate 180") << QStringList{"--rotate", "180"} << QSize(4, 2) << corners({4, 2}, M, K, W, R);
        QTest::newRow("rotate 270") << QStringList{"--rotate", "270"} << QSize(2, 4) << corners({2, 4}, W, M, R, K);
        QTest::newRow("flip horizontal") << QStringList{"--flip", "horizontal"} << QSize(4, 2) << corners({4, 2}, W, R, M, K);
        QTest::newRow("flip vertical") << QStringList{"--flip", "vertical"} << QSize(4, 2) << corners({4, 2}, K, M, R, W);
        QTest::newRow("rotate 90, then flip horizontal") << QStringList{"--flip", "horizontal", "--rotate", "90"} << QSize(2, 4) << corners({2, 4}, R, K, W, M);
        QTest::newRow("rotate 90, then flip vertical") << QStringList{"--rotate", "90", "--flip", "vertical"} << QSize(2, 4) << corners({2, 4}, M, W, K, R);
        QTest::newRow("stretch, twice the size") << QStringList{"--resize", "8x4", "--fit", "stretch"} << QSize(8, 4) << corners({8, 4}, R, W, K, M);
        // Halved: each pixel the mean of two columns and two rows, halves rounded up.
        QTest::newRow("stretch, half the size") << QStringList{"--resize", "2x1", "--fit=stretch"} << QSize(2, 1)
                                                << std::vector<Probe>{{0, 0, qRgb(128, 128, 0)}, {1, 0, qRgb(128, 128, 255)}};
        std::vector<Probe> contain = corners({8, 8}, W, W, W, W);
        contain.insert(contain.end(), {{0, 1, W}, {0, 2, R}, {7, 2, W}, {0, 5, K}, {7, 5, M}, {7, 6, W}});
        QTest::newRow("contain, centred on white") << QStringList{"--resize", "8x8"} << QSize(8, 8) << contain;
        QTest::newRow("cover, the centre") << QStringList{"--resize", "2x2", "--fit", "cover"} << QSize(2, 2) << corners({2, 2}, G, B, Y, C);
        // Turned first (2 x 4), then fitted into 8 x 4: columns 3 and 4.
        std::vector<Probe> turned = corners({8, 4}, W, W, W, W);
        turned.insert(turned.end(), {{3, 0, K}, {4, 0, R}, {3, 3, M}, {4, 3, W}, {2, 0, W}, {5, 3, W}});
        QTest::newRow("rotate, then resize") << QStringList{"--resize", "8x4", "--rotate", "90"} << QSize(8, 4) << turned;
        // clang-format on
    }

    void pictureFitting() {
        QFETCH(QStringList, options);
        QFETCH(QSize, size);
        QFETCH(std::vector<Probe>, probes);
        const QString in = path(QStringLiteral("4x2.png"));
        QVERIFY(picture4x2().save(in));
        const CliRun r =
            runCli(QStringList{"picture", in, "-q", "--binary", "--pixel", "rgb888"} + options);
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(r.out.size(), size.width() * size.height() * 3);
        for (const Probe& p : probes) {
            const QByteArray px = r.out.mid((p.y * size.width() + p.x) * 3, 3);
            QCOMPARE(px.toHex(),
                     QByteArray::number(p.colour & 0xFFFFFF, 16).rightJustified(6, '0'));
        }
    }

    // The C form records everything that made the data.
    void pictureHeaderRecordsTheSettings() {
        const QString in = path(QStringLiteral("4x2.png"));
        QVERIFY(picture4x2().save(in));
        const CliRun r =
            runCli({"picture",     in,         "--pixel", "mono",  "--dither",    "floyd-steinberg",
                    "--threshold", "90",       "--scan",  "page",  "--msb-first", "--rotate",
                    "90",          "--resize", "16x10",   "--fit", "cover",       "--format",
                    "c",           "--name",   "logo"});
        QCOMPARE(r.exitCode, 0);
        const QString header = QString::fromUtf8(r.out.left(r.out.indexOf("const unsigned char")));
        for (const char* recorded :
             {"zentraq-cli: ", ", 16*10 pixels, 32 bytes",
              "pixel: mono, 1 bit per pixel: ink (dark) where the luma is below the threshold, "
              "background (light) elsewhere; threshold 90",
              "dither: floyd-steinberg",
              "fitting: from 4*2 pixels, turned 90 degrees clockwise, then scaled to 16*10 (cover",
              "scan: page: vertical bytes in bands of 8 rows",
              "bits: the band's top row in the most significant bit; ink 1, background 0"})
            QVERIFY2(header.contains(QString::fromUtf8(recorded)), recorded);
        QVERIFY(r.out.contains("const unsigned char logo[32] = {\r\n"));

        const CliRun grey = runCli(
            {"picture", in, "--pixel", "gray4", "--scan", "column", "--pad", "--format", "c"});
        QCOMPARE(grey.exitCode, 0);
        for (const char* recorded :
             {"pixel: gray4, 4 bits per pixel: the luma in 16 levels, 0 black", "dither: none",
              "fitting: none",
              "scan: column: vertical bytes, columns from the left, each column "
              "from the top, 4 bits per pixel, every column starting on a new byte",
              "bits: the first pixel of each byte in the least significant 4 bits"})
            QVERIFY2(grey.out.contains(recorded), recorded);
        const CliRun wide = runCli(
            {"picture", in, "--pixel", "bgr565", "--byte-order", "high-first", "--format", "c"});
        for (const char* recorded :
             {"pixel: bgr565, 2 bytes per pixel: a 16-bit word of blue (bits 15-11), green (10-5) "
              "and red (4-0), high byte first",
              "scan: rows from the top, each row from the left"})
            QVERIFY2(wide.out.contains(recorded), recorded);
    }

    // Any cell from 1x1 to 256x256; the face at the cell height or at
    // --pixel-size; a wide character keeps its left part in a narrow cell.
    void cellSizes() {
        const CliRun small = runCli({"glyph", "--size", "5x7", "AB", "-q"});
        QCOMPARE(small.exitCode, 0);
        QCOMPARE(small.out.size(), 2 * (5 * 5 + 2)); // 35 pixels: 5 bytes a line
        const CliRun large = runCli({"glyph", "--size", "256x256", "A", "--binary"});
        QCOMPARE(large.exitCode, 0);
        QCOMPARE(large.out.size(), 8192);
        QCOMPARE(large.err, QStringLiteral("数据大小:8192\n"));

        QCOMPARE(runCli({"glyph", "--size", "16x16", "--pixel-size", "16", "中", "-q"}).out,
                 runCli({"glyph", "--size", "16x16", "中", "-q"}).out);
        const CliRun face =
            runCli({"glyph", "--size", "16x16", "--pixel-size", "8", "A", "--format", "c"});
        QVERIFY2(face.out.contains("6 pt = 8 px"), face.out.constData());

        // 中 at 6x12 is the left 6 columns of 中 at 12x12 (both 12 pixels):
        // rows on bytes of their own, bit x for column x.
        const CliRun narrow = runCli({"glyph", "--size", "6x12", "--pad", "中", "--binary", "-q"});
        const CliRun wide = runCli({"glyph", "--size", "12x12", "--pad", "中", "--binary", "-q"});
        QCOMPARE(narrow.out.size(), 12);
        QCOMPARE(wide.out.size(), 24);
        bool cut = false;
        for (int y = 0; y < 12; ++y) {
            QCOMPARE(int(narrow.out[y] & 0xFF), wide.out[2 * y] & 0x3F);
            cut = cut || (wide.out[2 * y] & 0xC0) || wide.out[2 * y + 1];
        }
        QVERIFY(cut); // there was more to 中 than the narrow cell shows
    }

    // The tool's C compiles cleanly and holds exactly the bytes of --binary:
    // from the worst characters with a font path full of comment markers, and
    // from a picture whose name has them.
    void cArraysCompile() {
        const QString fontFile = QStringLiteral("/usr/share/fonts/truetype/arphic/uming.ttc");
        if (QStandardPaths::findExecutable(QStringLiteral("cc")).isEmpty() ||
            !QFileInfo::exists(fontFile))
            QSKIP("needs cc and the AR PL UMing font file");
        QVERIFY(QDir(m_dir.path()).mkpath(QStringLiteral("x*/y/*z")));
        const QString link = path(QStringLiteral("x*/y/*z/font\\.ttc"));
        QFile::remove(link);
        QVERIFY(QFile::link(fontFile, link));
        const QString text = QStringLiteral("\\*/\r\t'") + QChar(0x2028) + QChar(0x202E) +
                             QChar(0x1B) + QStringLiteral("\n中/*");
        const QString input = path(QStringLiteral("nasty.txt"));
        QVERIFY(writeFile(input, text.toUtf8()));
        const QString picture = path(QStringLiteral("x*/y/*z/logo*\\.png"));
        QVERIFY(picture3x3().save(picture, "PNG"));

        const QList<QStringList> commands{
            {"glyph", "--size", "12x12", "--font-file", link, "--input", input, "--scan", "page"},
            {"picture", picture, "--byte-order", "high-first"},
        };
        for (const QStringList& command : commands) {
            const CliRun bin = runCli(command + QStringList{"--binary", "-q"});
            QCOMPARE(bin.exitCode, 0);
            QVERIFY(!bin.out.isEmpty());
            const CliRun c =
                runCli(command + QStringList{"--format", "c", "--name", "nasty", "-q"});
            QCOMPARE(c.exitCode, 0);
            QVERIFY(c.out.contains("x*\\/y/\\*z/"));
            QTemporaryDir build;
            QString error;
            QCOMPARE(compileAndRun(build.path(), c.out, dumpArray("nasty"), &error), bin.out);
            QVERIFY2(error.isEmpty(), qPrintable(error));
        }
    }

    // Glyph text -> PNG: every cell shows exactly the canvas's ink for its
    // character; the bit options and the binary form read back to the same
    // picture.
    void previewGlyphRoundTrip() {
        const QString text = QStringLiteral("中国电子A|");
        const QString data = path(QStringLiteral("glyphs.txt"));
        const QString png = path(QStringLiteral("glyphs.png"));
        QCOMPARE(runCli({"glyph", "--size", "16x16", text, "-q", "-o", data}).exitCode, 0);
        const CliRun r = runCli({"preview", data, "--size", "16x16", "--columns", "4", "-o", png});
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(r.err, QString());

        const QImage image(png);
        QCOMPARE(image.size(), QSize(64, 32));
        zentraq::GlyphCanvas canvas;
        zentraq::glyph::prepareCanvas(canvas, 16, 16, true);
        int ink = 0;
        for (int k = 0; k < 8; ++k) {
            canvas.clear();
            if (k < text.size())
                canvas.Print(text[k].unicode());
            for (int y = 0; y < 16; ++y) {
                for (int x = 0; x < 16; ++x) {
                    const bool canvasInk = canvas.GetPixel(x, y) != canvas.BackColor();
                    const QRgb p = image.pixel((k % 4) * 16 + x, (k / 4) * 16 + y);
                    QVERIFY(p == qRgb(0, 0, 0) || p == qRgb(255, 255, 255));
                    QCOMPARE(p == qRgb(0, 0, 0), canvasInk);
                    ink += canvasInk;
                }
            }
        }
        QVERIFY(ink > 100); // the characters were drawn at all

        const QString shaped = path(QStringLiteral("glyphs-c.h"));
        QCOMPARE(runCli({"glyph", "--size", "16x16", text, "-q", "--format", "c", "--msb-first",
                         "--invert", "-o", shaped})
                     .exitCode,
                 0);
        const QString png2 = path(QStringLiteral("glyphs2.png"));
        QCOMPARE(runCli({"preview", shaped, "--size", "16x16", "--columns", "4", "--msb-first",
                         "--invert", "-o", png2})
                     .exitCode,
                 0);
        QCOMPARE(QImage(png2), image);

        const CliRun bin = runCli({"glyph", "--size", "16x16", text, "-q", "--binary", "-o", "-"});
        QCOMPARE(bin.exitCode, 0);
        const QString png3 = path(QStringLiteral("glyphs3.png"));
        QCOMPARE(
            runCli({"preview", "-", "--binary", "--size", "16x16", "--columns", "4", "-o", png3},
                   bin.out)
                .exitCode,
            0);
        QCOMPARE(QImage(png3), image);

        const QString png4 = path(QStringLiteral("glyphs4.png"));
        QCOMPARE(runCli({"preview", data, "--size", "16x16", "--columns", "4", "--scale", "3", "-o",
                         png4})
                     .exitCode,
                 0);
        QCOMPARE(QImage(png4), image.scaled(192, 96));
    }

    // Data in every layout reads back to the same picture as the window's
    // layout, text or binary, on a cell whose sides are not multiples of 8.
    void previewEveryLayout_data() {
        QTest::addColumn<QStringList>("layout");
        for (const char* scan : {"row", "column", "page", "band"})
            for (bool pad : {false, true})
                for (int bits = 0; bits < 4; ++bits) {
                    if (pad && (scan == QLatin1String("page") || scan == QLatin1String("band")))
                        continue;
                    QStringList l{"--scan", scan};
                    if (pad)
                        l << "--pad";
                    if (bits & 1)
                        l << "--msb-first";
                    if (bits & 2)
                        l << "--invert";
                    QTest::newRow(qPrintable(l.join(u' '))) << l;
                }
    }
    void previewEveryLayout() {
        QFETCH(QStringList, layout);
        const QString text = QStringLiteral("中A|g");
        if (m_windowLayout.isNull()) {
            const CliRun bin = runCli({"glyph", "--size", "11x13", text, "-q", "--binary"});
            const QString png = path(QStringLiteral("layout-window.png"));
            QCOMPARE(runCli({"preview", "-", "--binary", "--size", "11x13", "-o", png}, bin.out)
                         .exitCode,
                     0);
            m_windowLayout = QImage(png);
            QCOMPARE(m_windowLayout.size(), QSize(44, 13));
        }
        const bool binary = layout.contains(QStringLiteral("--invert"));
        const QString data = path(QStringLiteral("layout.dat"));
        QCOMPARE(runCli(QStringList{"glyph", "--size", "11x13", text, "-q", "-o", data} + layout +
                        (binary ? QStringList{"--binary"} : QStringList{}))
                     .exitCode,
                 0);
        const QString png = path(QStringLiteral("layout.png"));
        const CliRun r = runCli(QStringList{"preview", data, "--size", "11x13", "-o", png} +
                                layout + (binary ? QStringList{"--binary"} : QStringList{}));
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(QImage(png), m_windowLayout);
    }

    // Picture -> data -> PNG in every format and in layouts whose bytes hold
    // several pixels, on a 7 x 8 picture of colours that RGB565 keeps: the
    // picture itself where the format loses nothing (RGB565 on these
    // colours, 3-byte RGB), within the format's quantisation error where it
    // does; grey formats give the luma, mono black below 128 and white above.
    void previewPictureRoundTrip_data() {
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<int>("tolerance"); // per channel; -1: black or white
        QTest::addColumn<bool>("grey");
        // clang-format off
        QTest::newRow("rgb565") << QStringList{} << 0 << false;
        QTest::newRow("rgb565 high first") << QStringList{"--byte-order", "high-first"} << 0 << false;
        QTest::newRow("bgr565 high first") << QStringList{"--pixel", "bgr565", "--byte-order", "high-first"} << 0 << false;
        QTest::newRow("rgb888") << QStringList{"--pixel", "rgb888"} << 0 << false;
        QTest::newRow("bgr888") << QStringList{"--pixel", "bgr888"} << 0 << false;
        QTest::newRow("rgb666") << QStringList{"--pixel", "rgb666"} << 3 << false;
        QTest::newRow("rgb332") << QStringList{"--pixel", "rgb332"} << 63 << false;
        QTest::newRow("gray8") << QStringList{"--pixel", "gray8"} << 0 << true;
        QTest::newRow("gray8 inverted") << QStringList{"--pixel", "gray8", "--invert"} << 0 << true;
        QTest::newRow("gray4") << QStringList{"--pixel", "gray4"} << 15 << true;
        QTest::newRow("gray4 columns padded, msb first") << QStringList{"--pixel", "gray4", "--scan", "column", "--pad", "--msb-first"} << 15 << true;
        QTest::newRow("gray4 pages") << QStringList{"--pixel", "gray4", "--scan", "page"} << 15 << true;
        QTest::newRow("gray2 bands") << QStringList{"--pixel", "gray2", "--scan", "band"} << 63 << true;
        QTest::newRow("gray2 inverted") << QStringList{"--pixel", "gray2", "--invert"} << 63 << true;
        QTest::newRow("mono") << QStringList{"--pixel", "mono"} << -1 << true;
        QTest::newRow("mono pages") << QStringList{"--pixel", "mono", "--scan", "page"} << -1 << true;
        QTest::newRow("mono columns, inverted") << QStringList{"--pixel", "mono", "--scan", "column", "--invert"} << -1 << true;
        QTest::newRow("mono rows padded, msb first") << QStringList{"--pixel", "mono", "--pad", "--msb-first"} << -1 << true;
        // clang-format on
    }

    void previewPictureRoundTrip() {
        QFETCH(QStringList, options);
        QFETCH(int, tolerance);
        QFETCH(bool, grey);
        // 5- and 6-bit levels with their bits repeated below them.
        auto w5 = [](int q) { return (q & 31) << 3 | (q & 31) >> 2; };
        auto w6 = [](int q) { return (q & 63) << 2 | (q & 63) >> 4; };
        QImage original(7, 8, QImage::Format_RGB32);
        for (int y = 0; y < 8; ++y)
            for (int x = 0; x < 7; ++x)
                original.setPixel(x, y,
                                  qRgb(w5(x * 5 + y * 3), w6(x * 9 + y * 7), w5(x * 11 + y * 13)));
        original.setPixel(0, 0, qRgb(0, 0, 0));
        original.setPixel(6, 7, qRgb(255, 255, 255));
        const QString in = path(QStringLiteral("round-trip.png"));
        QVERIFY(original.save(in));
        for (bool binary : {false, true}) {
            const QStringList form = binary ? QStringList{"--binary"} : QStringList{};
            const CliRun data = runCli(QStringList{"picture", in, "-q"} + form + options);
            QCOMPARE(data.exitCode, 0);
            const QString png = path(QStringLiteral("round-trip-back.png"));
            const CliRun back = runCli(
                QStringList{"preview", "-", "--width", "7", "-o", png} + form + options, data.out);
            QCOMPARE(back.exitCode, 0);
            const QImage image = QImage(png).convertToFormat(QImage::Format_RGB32);
            QCOMPARE(image.size(), original.size());
            for (int y = 0; y < 8; ++y)
                for (int x = 0; x < 7; ++x) {
                    const QRgb was = original.pixel(x, y), now = image.pixel(x, y);
                    const int l = luma(was);
                    const int want[3] = {grey ? l : qRed(was), grey ? l : qGreen(was),
                                         grey ? l : qBlue(was)};
                    const int got[3] = {qRed(now), qGreen(now), qBlue(now)};
                    for (int c = 0; c < 3; ++c) {
                        const bool ok = tolerance < 0 ? got[c] == (l < 128 ? 0 : 255)
                                                      : std::abs(got[c] - want[c]) <= tolerance;
                        QVERIFY2(ok, qPrintable(QStringLiteral("(%1, %2): %3 read back as %4")
                                                    .arg(x)
                                                    .arg(y)
                                                    .arg(was & 0xFFFFFF, 6, 16)
                                                    .arg(now & 0xFFFFFF, 6, 16)));
                    }
                }
        }
    }

    void missingCharacters() {
        const CliRun none = runCli({"glyph", "--size", "16x16", "--missing", "A中 \r\n"});
        QCOMPARE(none.exitCode, 0);
        QCOMPARE(none.out, QByteArray());

        // U+0378 is not assigned, so no face has it; it is listed once.
        const QString text =
            QStringLiteral("A") + QChar(0x378) + QStringLiteral("中") + QChar(0x378);
        const CliRun some = runCli({"glyph", "--size", "16x16", "--missing", text});
        QCOMPARE(some.exitCode, 1);
        QCOMPARE(some.out, QByteArray("U+0378 '\\u0378'\n"));
        QVERIFY2(some.err.startsWith(QStringLiteral("1 of 3 different characters have no face")),
                 qPrintable(some.err));
    }

    // Every refused command line (exit 2) and every failure (exit 1): one
    // line naming the problem, no output, no file left behind.
    void errors_data() {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("message");
        const QString dir = m_dir.path(), out = dir + "/out.bin", s = "--size", g = "glyph",
                      l = "library";
        auto usage = [](const char* name, const QStringList& args, const QString& message) {
            QTest::newRow(name) << args << 2 << message;
        };
        auto fails = [](const char* name, const QStringList& args, const QString& message) {
            QTest::newRow(name) << args << 1 << message;
        };
        // clang-format off
        usage("no command", {}, "no command given");
        usage("unknown command", {"convert"}, "unknown command 'convert'");
        usage("unknown option", {g, s, "8x16", "--colour", "red", "A"}, "unknown option '--colour'");
        usage("option of another command", {g, s, "8x16", "A", "--byte-order", "high-first"}, "'--byte-order' is not an option of glyph");
        usage("value missing", {g, "A", s}, "option '--size' needs a value");
        usage("switch with a value", {g, s, "8x16", "--ascii=yes"}, "option '--ascii' takes no value");
        usage("given twice", {g, s, "8x16", "--size=6x12", "A"}, "option '--size' is given more than once");
        usage("short and long form", {"picture", "a.png", "-o", "x", "--output", "y"}, "option '--output' is given more than once");
        usage("no size", {g, "A"}, "glyph needs --size");
        usage("zero size", {g, s, "0x8", "A", "-o", out}, "--size wants each side from 1 to 256 pixels, not '0x8'");
        usage("too large a size", {l, "--charset", "ascii", s, "257x16", "-o", out}, "not '257x16'");
        usage("not a size", {g, s, "16", "A"}, "not '16'");
        usage("huge size", {g, s, "50000x50000", "A"}, "not '50000x50000'");
        usage("huge library size", {l, "--charset", "ascii", s, "999999*999999", "-o", out}, "not '999999*999999'");
        usage("huge preview size", {"preview", "d", s, "50000x50000", "-o", "p.png"}, "at most 65536 pixels, not '50000x50000'");
        usage("pixel size 0", {g, s, "8x16", "--pixel-size", "0", "A"}, "--pixel-size wants a whole number from 1 to 2048");
        usage("unknown scan", {g, s, "8x16", "--scan", "diagonal", "A", "-o", out}, "--scan wants row, column, page or band, not 'diagonal'");
        usage("pad with page", {l, "--charset", "ascii", s, "8x16", "--scan", "page", "--pad", "-o", out}, "--pad is for the row and column scans");
        usage("pad with band", {"preview", "d", s, "8x16", "--scan", "band", "--pad", "-o", "p.png"}, "--pad is for the row and column scans");
        usage("unknown charset", {l, "--charset", "big5", s, "16x16", "-o", out}, "'big5' is neither a charset name nor a file");
        usage("no charset", {l, s, "16x16", "-o", out}, "library needs --charset");
        usage("no text", {g, s, "8x16"}, "glyph needs a TEXT");
        usage("two texts", {g, s, "8x16", "A", "--ascii"}, "only one of");
        usage("font and font file", {g, s, "8x16", "A", "--font", "x", "--font-file", "y"}, "exclude each other");
        usage("binary and C", {g, s, "8x16", "A", "--binary", "--format", "c"}, "exclude each other");
        usage("unknown format", {"picture", "a.png", "--format", "asm"}, "--format wants");
        usage("name without C", {g, s, "8x16", "A", "--name", "x"}, "--name names the array");
        usage("name not an identifier", {g, s, "8x16", "A", "--format=c", "--name", "9lives"}, "C identifier");
        usage("name a keyword", {g, s, "8x16", "A", "--format=c", "--name", "int"}, "not the C keyword 'int'");
        usage("name a C11 keyword", {"picture", "a.png", "--format=c", "--name", "_Bool"}, "not the C keyword '_Bool'");
        usage("name a C23 keyword", {l, "--charset", "ascii", s, "8x16", "--format=c", "--name", "true", "-o", out}, "not the C keyword 'true'");
        usage("name with a dash", {g, s, "8x16", "A", "--format=c", "--name", "font-8"}, "C identifier");
        usage("missing with output", {g, s, "8x16", "A", "--missing", "-o", "x"}, "--missing only lists");
        usage("missing with a layout", {l, "--charset", "ascii", s, "8x16", "--missing", "--scan", "page"}, "--missing only lists");
        usage("picture without file", {"picture"}, "picture needs the picture file");
        usage("byte order", {"picture", "a.png", "--byte-order", "middle"}, "--byte-order wants");
        usage("preview without output", {"preview", "d", s, "8x16"}, "needs -o");
        usage("preview without shape", {"preview", "d", "-o", "p.png"}, "either --size");
        usage("preview with both shapes", {"preview", "d", s, "8x16", "--width", "3", "-o", "p.png"}, "either --size");
        usage("preview glyph too large", {"preview", "d", s, "300x300", "-o", "p.png"}, "at most 65536 pixels");
        usage("preview bits on pictures", {"preview", "d", "--width", "3", "--invert", "-o", "p.png"}, "--invert is for the grey formats gray8, gray4, gray2 and mono, not rgb565");
        usage("scale", {"preview", "d", s, "8x16", "--scale", "0", "-o", "p.png"}, "--scale wants a whole number from 1 to 64");
        const QString p = "picture", pic = m_pic3;
        usage("unknown pixel format", {p, pic, "--pixel", "rgb555", "-o", out}, "--pixel wants rgb565, bgr565, rgb888, bgr888, rgb666, rgb332, gray8, gray4, gray2, mono, not 'rgb555'");
        usage("scan with an RGB format", {p, pic, "--pixel", "rgb888", "--scan", "page", "-o", out}, "--scan is for the packed formats gray4, gray2 and mono; rgb888 takes whole bytes per pixel");
        usage("msb first with the default format", {p, pic, "--msb-first", "-o", out}, "--msb-first is for the packed formats gray4, gray2 and mono; rgb565 takes");
        usage("pad with gray8", {p, pic, "--pixel", "gray8", "--pad", "-o", out}, "--pad is for the packed formats");
        usage("pad with mono pages", {p, pic, "--pixel", "mono", "--scan", "page", "--pad", "-o", out}, "--pad is for the row and column scans");
        usage("threshold 300", {p, pic, "--pixel", "mono", "--threshold", "300", "-o", out}, "--threshold wants a whole number from 0 to 255, not '300'");
        usage("threshold without mono", {p, pic, "--pixel", "gray4", "--threshold", "100", "-o", out}, "--threshold is for --pixel mono, not gray4");
        usage("invert with RGB", {p, pic, "--invert", "-o", out}, "--invert is for the grey formats gray8, gray4, gray2 and mono, not rgb565");
        usage("byte order of 3-byte pixels", {p, pic, "--pixel", "rgb666", "--byte-order", "low-first", "-o", out}, "--byte-order is for the 16-bit formats rgb565 and bgr565, not rgb666");
        usage("dither with rgb888", {p, pic, "--pixel", "rgb888", "--dither", "floyd-steinberg", "-o", out}, "--dither is for the formats with fewer than 8 bits per channel; rgb888 has 8");
        usage("dither with gray8", {p, pic, "--dither=bayer4", "--pixel=gray8", "-o", out}, "gray8 has 8");
        usage("unknown dither", {p, pic, "--dither", "random", "-o", out}, "--dither wants none, floyd-steinberg or bayer4, not 'random'");
        usage("resize 0x10", {p, pic, "--resize", "0x10", "-o", out}, "--resize wants each side from 1 to 32767 pixels, not '0x10'");
        usage("resize above 32767", {p, pic, "--resize", "240x32768", "-o", out}, "--resize wants each side from 1 to 32767 pixels, not '240x32768'");
        usage("resize not a size", {p, pic, "--resize", "240", "-o", out}, "--resize wants a size WIDTHxHEIGHT such as 16x16, not '240'");
        usage("fit without resize", {p, pic, "--fit", "cover", "-o", out}, "--fit says how --resize fits the picture");
        usage("unknown fit", {p, pic, "--resize", "8x8", "--fit", "fill", "-o", out}, "--fit wants contain, cover or stretch, not 'fill'");
        usage("unknown rotation", {p, pic, "--rotate", "45", "-o", out}, "--rotate wants 90, 180 or 270 (degrees clockwise), not '45'");
        usage("unknown flip", {p, pic, "--flip", "both", "-o", out}, "--flip wants horizontal or vertical, not 'both'");
        usage("two flips", {p, pic, "--flip", "horizontal", "--flip", "vertical", "-o", out}, "option '--flip' is given more than once");
        usage("preview format of glyph data", {"preview", "d", s, "8x16", "--pixel", "mono", "-o", "p.png"}, "--pixel is for picture data (--width)");
        usage("preview scan of RGB565", {"preview", "d", "--width", "3", "--scan", "page", "-o", "p.png"}, "--scan is for the packed formats");
        usage("preview unknown format", {"preview", "d", "--width", "3", "--pixel", "rgb", "-o", "p.png"}, "--pixel wants");
        fails("non-picture file", {"picture", dir + "/notpicture.png", "-o", out}, QStringLiteral("cannot read picture '%1/notpicture.png'").arg(dir));
        fails("missing picture", {"picture", dir + "/nothere.png"}, QStringLiteral("cannot read picture '%1/nothere.png'").arg(dir));
        fails("folder as picture", {"picture", dir}, "cannot read picture");
        fails("unreadable text file", {g, s, "8x16", "--input", dir + "/nothere.txt"}, QStringLiteral("cannot read '%1/nothere.txt'").arg(dir));
        fails("text not UTF-8", {g, s, "8x16", "--input", dir + "/bad-utf8.txt", "-o", out}, "is not UTF-8 text");
        fails("charset not UTF-8", {l, "--charset", dir + "/bad-utf8.txt", s, "16x16", "-o", out}, "charset file '" + dir + "/bad-utf8.txt' is not UTF-8 text");
        fails("charset without characters", {l, "--charset", dir + "/controls.txt", s, "16x16", "-o", out}, "holds no characters");
        fails("output folder missing", {"picture", m_pic3, "-o", dir + "/no/such/out.txt"}, QStringLiteral("cannot write '%1/no/such/out.txt'").arg(dir));
        fails("output is a folder", {g, s, "8x16", "A", "-o", dir}, "it is a folder");
        fails("output read-only", {"picture", m_pic3, "-o", dir + "/read-only.txt"}, "it is read-only");
        fails("output under a file", {g, s, "8x16", "A", "-o", m_pic3 + "/x.txt"}, "cannot write");
        fails("font not installed", {g, s, "8x16", "--font", "No Such Family 42", "A"}, "font family 'No Such Family 42' is not installed");
        fails("not a font file", {l, "--charset", "ascii", s, "8x16", "--font-file", m_pic3, "-o", out}, "is not a font file");
        fails("empty text as C", {g, s, "8x16", "--format", "c", "\r\n", "-o", out}, "no characters");
        fails("data wider than a byte", {"preview", dir + "/wide.txt", s, "8x16", "-o", dir + "/w.png"}, "line 1: 0x100 is larger than a byte");
        fails("data not whole glyphs", {"preview", dir + "/odd.txt", s, "8x16", "-o", dir + "/w.png"}, "holds 3 bytes, not a whole number of 16-byte 8x16 glyphs");
        fails("data not whole pages", {"preview", dir + "/six.txt", s, "5x9", "--scan", "page", "-o", dir + "/w.png"}, "holds 6 bytes, not a whole number of 10-byte 5x9 glyphs");
        fails("data not whole pixels", {"preview", dir + "/odd.txt", "--width", "2", "-o", dir + "/w.png"}, "holds 3 bytes, not a whole number of 2-byte pixels");
        fails("data in a name with %", {"preview", dir + "/wide%1%2.txt", s, "8x16", "-o", dir + "/w.png"}, dir + "/wide%1%2.txt, line 1: 0x100 is larger than a byte");
        fails("glyphs in a name with %", {"preview", dir + "/odd%2.txt", s, "8x16", "-o", dir + "/w.png"}, dir + "/odd%2.txt holds 3 bytes, not a whole number of 16-byte 8x16 glyphs");
        fails("endless data", {"preview", "/dev/zero", s, "8x16", "-o", dir + "/w.png"}, "cannot read '/dev/zero': it holds more than 256 MiB, the most the tool reads");
        fails("endless text", {g, s, "8x16", "--input", "/dev/zero", "-o", out}, "cannot read '/dev/zero': it holds more than 256 MiB");
        fails("endless charset", {l, "--charset", "/dev/zero", s, "8x16", "-o", out}, "cannot read '/dev/zero': it holds more than 256 MiB");
        fails("data file too large", {"preview", dir + "/huge.txt", s, "8x16", "-o", dir + "/w.png"}, "huge.txt': it holds more than 256 MiB");
        fails("data not whole rows", {"preview", dir + "/six.txt", "--width", "2", "-o", dir + "/w.png"}, "holds 3 pixels, not a whole number of rows of 2 pixels");
        fails("data not whole rows of 3-byte pixels", {"preview", dir + "/six.txt", "--width", "4", "--pixel", "rgb666", "-o", dir + "/w.png"}, "holds 2 pixels, not a whole number of rows of 4 pixels");
        fails("data not whole packed rows", {"preview", dir + "/odd.txt", "--width", "16", "--pixel", "mono", "-o", dir + "/w.png"}, "holds 3 bytes, which no number of rows of 16 mono pixels in this layout takes");
        // clang-format on
    }

    void errors() {
        QFETCH(QStringList, args);
        QFETCH(int, exitCode);
        QFETCH(QString, message);
        const QStringList before = listing(m_dir.path());
        const CliRun r = runCli(args);
        QVERIFY(!r.crashed);
        QCOMPARE(r.exitCode, exitCode);
        QCOMPARE(r.out, QByteArray());
        // One line, naming the problem.
        QVERIFY2(r.err.startsWith(QStringLiteral("zentraq-cli: ")), qPrintable(r.err));
        QVERIFY2(r.err.contains(message), qPrintable(r.err));
        QCOMPARE(r.err.count(u'\n'), 1);
        // In English, each file it names named once.
        for (const QChar c : r.err)
            QVERIFY2(c.unicode() < 0x2E80, qPrintable(r.err));
        for (const QString& arg : args) {
            if (arg.startsWith(m_dir.path()) && r.err.contains(arg))
                QCOMPARE(r.err.count(arg), 1);
        }
        QVERIFY(r.err.endsWith(u'\n'));
        QCOMPARE(listing(m_dir.path()), before);
        QCOMPARE(readFile(path(QStringLiteral("read-only.txt"))), QByteArray("protected"));
    }

    // A failure after the output was opened keeps the old file as it was
    // and leaves nothing else behind; a success replaces it whole.
    void outputAppearsWhole() {
        QTemporaryDir dir;
        const QString out = dir.filePath(QStringLiteral("out.txt"));
        QVERIFY(writeFile(out, "keep"));
        const QStringList before = listing(dir.path());

        const QList<QStringList> failing{
            {"picture", path(QStringLiteral("notpicture.png")), "-o", out},
            {"glyph", "--size", "8x16", "--input", path(QStringLiteral("bad-utf8.txt")), "-o", out},
            {"glyph", "--size", "8x16", "--format", "c", "", "-o", out},
            {"preview", path(QStringLiteral("odd.txt")), "--size", "8x16", "-o", out},
        };
        for (const QStringList& args : failing) {
            const CliRun r = runCli(args);
            QCOMPARE(r.exitCode, 1);
            QCOMPARE(readFile(out), QByteArray("keep"));
            QCOMPARE(listing(dir.path()), before);
        }

        QCOMPARE(runCli({"picture", m_pic3, "-q", "-o", out}).exitCode, 0);
        QCOMPARE(readFile(out), Picture3x3Text);
        QCOMPARE(listing(dir.path()), before);
    }

    // A new file gets the usual permissions, an existing one keeps its own,
    // a link stays a link, and the tool's own standard output is written in
    // place. (Devices, pipes and sockets: test_cli_files.)
    void outputFileKinds() {
        QTemporaryDir dir;
        const QString fresh = dir.filePath(QStringLiteral("fresh.txt"));
        QCOMPARE(runCli({"picture", m_pic3, "-q", "-o", fresh}).exitCode, 0);
        struct stat st {};
        QCOMPARE(::stat(QFile::encodeName(fresh).constData(), &st), 0);
        QCOMPARE(st.st_mode & 07777, mode_t(0644));

        const QString kept = dir.filePath(QStringLiteral("kept.txt"));
        QVERIFY(writeFile(kept, "old"));
        QCOMPARE(::chmod(QFile::encodeName(kept).constData(), 0640), 0);
        QCOMPARE(runCli({"glyph", "--size", "8x16", "A", "-q", "-o", kept}).exitCode, 0);
        QCOMPARE(::stat(QFile::encodeName(kept).constData(), &st), 0);
        QCOMPARE(st.st_mode & 07777, mode_t(0640));
        QCOMPARE(readFile(kept).size(), 82);

        const QString target = dir.filePath(QStringLiteral("target.txt"));
        const QString link = dir.filePath(QStringLiteral("link.txt"));
        QVERIFY(writeFile(target, "old"));
        QVERIFY(QFile::link(target, link));
        QCOMPARE(runCli({"picture", m_pic3, "-q", "-o", link}).exitCode, 0);
        QVERIFY(QFileInfo(link).isSymLink());
        QCOMPARE(readFile(target), Picture3x3Text);

        // /dev/stdout while the standard output goes to a file.
        const QString redirected = dir.filePath(QStringLiteral("stdout.txt"));
        QProcess p;
        p.setStandardOutputFile(redirected);
        p.start(QStringLiteral(ZENTRAQ_CLI), {"picture", m_pic3, "-q", "-o", "/dev/stdout"});
        QVERIFY(p.waitForFinished(60000));
        QCOMPARE(p.exitCode(), 0);
        QCOMPARE(readFile(redirected), Picture3x3Text);
    }

    // Interrupted while converting: the temporary file goes with it.
    void interruptLeavesNothing() {
        QTemporaryDir dir;
        QImage big(2000, 2000, QImage::Format_RGB32);
        big.fill(qRgb(10, 200, 30));
        const QString in = dir.filePath(QStringLiteral("big.bmp"));
        QVERIFY(big.save(in));
        const QString out = dir.filePath(QStringLiteral("out.txt"));
        const QStringList before = listing(dir.path());

        QProcess p;
        p.start(QStringLiteral(ZENTRAQ_CLI), {"picture", in, "-q", "-o", out});
        QVERIFY(p.waitForStarted());
        // Wait for the temporary file, then interrupt.
        QElapsedTimer timer;
        timer.start();
        while (listing(dir.path()).size() == before.size() && p.state() == QProcess::Running &&
               timer.elapsed() < 30000)
            QThread::msleep(1);
        if (p.state() != QProcess::Running)
            QSKIP("the conversion ended before it could be interrupted");
        ::kill(static_cast<pid_t>(p.processId()), SIGTERM);
        QVERIFY(p.waitForFinished(30000));
        if (p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0)
            QSKIP("the conversion ended before the interrupt arrived");
        // Interrupted between the rename and the exit, the result is whole.
        if (QFileInfo::exists(out)) {
            QCOMPARE(QFileInfo(out).size(), 2000 * 2000 * 10 + 2000 * 2000 / 8 * 2);
            QCOMPARE(listing(dir.path()), (before + QStringList{"out.txt"}));
            return;
        }
        QCOMPARE(listing(dir.path()), before);
    }

    void help() {
        const CliRun all = runCli({"--help"});
        QCOMPARE(all.exitCode, 0);
        for (const char* command : {"glyph", "picture", "preview", "library"}) {
            const CliRun one = runCli({"help", command});
            QCOMPARE(one.exitCode, 0);
            QVERIFY(one.out.startsWith("zentraq-cli " + QByteArray(command) + " "));
            QVERIFY2(one.out.contains("Example"), command);
            QVERIFY(all.out.contains(one.out));
            QCOMPARE(runCli({command, "--help"}).out, one.out);
        }
        for (const char* option : {"\n  --pixel FORMAT", "\n  --dither none|floyd-steinberg|bayer4",
                                   "\n  --resize WxH", "\n  --fit contain|cover|stretch",
                                   "\n  --scan row|column|page|band", "\n  --threshold N"})
            QVERIFY2(runCli({"help", "picture"}).out.contains(option), option);
        for (const char* option : {"\n  --charset SET", "\n  --scan row|column|page|band",
                                   "\n  --pad", "\n  --pixel-size N", "\n  -o, --output OUT"})
            QVERIFY2(runCli({"help", "library"}).out.contains(option), option);
    }
};

QTEST_GUILESS_MAIN(TestCliTool)
#include "test_cli_tool.moc"
