// zentraq-cli picture and preview of picture data as a process: each pixel
// format, dither and fitting on small pictures with answers worked out by
// hand, C that compiles to the binary form, picture data read back in every
// layout, and every refused command line of picture and preview with its
// exit code and message. (Glyph data and the library: test_cli_glyph.)
#include "cli_runner.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

using zentraq::testing::CliRun;
using zentraq::testing::compileAndRun;
using zentraq::testing::dumpArray;
using zentraq::testing::readFile;
using zentraq::testing::runCli;
using zentraq::testing::writeFile;

namespace {

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

} // namespace

Q_DECLARE_METATYPE(std::vector<Probe>)

class TestCliPicture : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_pic3;

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
        QVERIFY(writeFile(path(QStringLiteral("wide%1%2.txt")), "0x01,0x100,\r\n"));
        QVERIFY(writeFile(path(QStringLiteral("odd%2.txt")), "0x01,0x02,0x03,"));
        QVERIFY(writeFile(path(QStringLiteral("decimal.txt")), "0x01,12,0x02,"));
        QVERIFY(writeFile(path(QStringLiteral("minus.txt")), "0x01,\r\n-0x02,"));
        QVERIFY(writeFile(path(QStringLiteral("define.txt")), "#define A 0x01\r\n"));
        // Over the 256 MiB the tool reads, without taking the disk space.
        QFile huge(path(QStringLiteral("huge.txt")));
        QVERIFY(huge.open(QIODevice::WriteOnly) && huge.resize((qint64(256) << 20) + 1));
        QFile vast(path(QStringLiteral("vast.txt")));
        QVERIFY(vast.open(QIODevice::WriteOnly) && vast.resize(qint64(64) << 30));
        QVERIFY(writeFile(path(QStringLiteral("read-only.txt")), "protected"));
        QVERIFY(
            QFile::setPermissions(path(QStringLiteral("read-only.txt")), QFileDevice::ReadOwner));
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
        QTest::newRow("rgb565") << QStringList{} << bytes("00F8 E007 1F00 FFFF 0000 1084 A251 0000 E0FF") << 16;
        QTest::newRow("rgb565 low first named") << QStringList{"--byte-order", "low-first"} << bytes("00F8 E007 1F00 FFFF 0000 1084 A251 0000 E0FF") << 16;
        QTest::newRow("rgb565 high first") << QStringList{"--byte-order=high-first"} << bytes("F800 07E0 001F FFFF 0000 8410 51A2 0000 FFE0") << 16;
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
            // Columns that run on need the height; the others take it from
            // the length.
            const QStringList height = options.contains(QStringLiteral("column"))
                                           ? QStringList{"--height", "8"}
                                           : QStringList{};
            const CliRun back = runCli(QStringList{"preview", "-", "--width", "7", "-o", png} +
                                           height + form + options,
                                       data.out);
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

    // Pixels narrower than a byte in columns that run on: where a pixel
    // lies depends on the height, so it is given, or the data refused when
    // several heights fit its length.
    void previewColumnsNeedTheirHeight_data() {
        QTest::addColumn<QString>("pixel");
        QTest::addColumn<QSize>("size");
        QTest::addColumn<bool>("heightFromLength");
        QTest::newRow("mono 5x5: 25 bits in 4 bytes, 5 or 6 rows")
            << "mono" << QSize(5, 5) << false;
        QTest::newRow("gray2 3x7: 42 bits in 6 bytes, 7 or 8 rows")
            << "gray2" << QSize(3, 7) << false;
        QTest::newRow("mono 8x5: 8 pixels a byte in each column's band")
            << "mono" << QSize(8, 5) << true;
    }
    void previewColumnsNeedTheirHeight() {
        QFETCH(QString, pixel);
        QFETCH(QSize, size);
        QFETCH(bool, heightFromLength);
        // A diagonal of black on white, and a black bottom row.
        QImage picture(size, QImage::Format_RGB32);
        picture.fill(Qt::white);
        for (int i = 0; i < std::min(size.width(), size.height()); ++i)
            picture.setPixel(i, i, qRgb(0, 0, 0));
        for (int x = 0; x < size.width(); ++x)
            picture.setPixel(x, size.height() - 1, qRgb(0, 0, 0));
        const QString in = path(QStringLiteral("columns.png"));
        QVERIFY(picture.save(in));
        const QStringList layout{"--pixel", pixel, "--scan", "column"};
        const CliRun data = runCli(QStringList{"picture", in, "-q"} + layout);
        QCOMPARE(data.exitCode, 0);

        const QString png = path(QStringLiteral("columns-back.png"));
        const QStringList preview =
            QStringList{"preview", "-", "--width", QString::number(size.width()), "-o", png} +
            layout;
        const CliRun guessed = runCli(preview, data.out);
        QCOMPARE(guessed.exitCode, heightFromLength ? 0 : 1);
        if (!heightFromLength)
            QVERIFY2(guessed.err.contains(QStringLiteral("give --height")),
                     qPrintable(guessed.err));
        const CliRun given =
            runCli(preview + QStringList{"--height", QString::number(size.height())}, data.out);
        QCOMPARE(given.exitCode, 0);
        QCOMPARE(QImage(png).convertToFormat(QImage::Format_RGB32), picture);
        const CliRun wrong =
            runCli(preview + QStringList{"--height", QString::number(size.height() + 3)}, data.out);
        QCOMPARE(wrong.exitCode, 1);
        QVERIFY2(wrong.err.contains(QStringLiteral("pixels in this layout")),
                 qPrintable(wrong.err));
    }

    // Every refused command line (exit 2) and every failure (exit 1): one
    // line naming the problem, no output, no file left behind.
    void errors_data() {
        zentraq::testing::refusalColumns();
        const QString dir = m_dir.path(), out = dir + "/out.bin", s = "--size";
        auto usage = [](const char* name, const QStringList& args, const QString& message) {
            zentraq::testing::refusal(name, args, 2, message);
        };
        auto fails = [](const char* name, const QStringList& args, const QString& message) {
            zentraq::testing::refusal(name, args, 1, message);
        };
        // clang-format off
        usage("no command", {}, "no command given");
        usage("unknown command", {"convert"}, "unknown command 'convert'");
        usage("short and long form", {"picture", "a.png", "-o", "x", "--output", "y"}, "option '--output' is given more than once");
        usage("huge preview size", {"preview", "d", s, "50000x50000", "-o", "p.png"}, "at most 65536 pixels, not '50000x50000'");
        usage("pad with band", {"preview", "d", s, "8x16", "--scan", "band", "--pad", "-o", "p.png"}, "--pad is for the row and column scans");
        usage("unknown format", {"picture", "a.png", "--format", "asm"}, "--format wants");
        usage("name a C11 keyword", {"picture", "a.png", "--format=c", "--name", "_Bool"}, "not the C keyword '_Bool'");
        usage("picture without file", {"picture"}, "picture needs the picture file");
        usage("picture file named ''", {"picture", "", "-o", out}, "the picture file's name is empty");
        usage("data file named ''", {"preview", "", s, "8x16", "-o", "p.png"}, "the data file's name is empty");
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
        fails("folder as picture", {"picture", dir}, "cannot read picture '" + dir + "': it is a folder");
        fails("device as picture", {"picture", "/dev/null"}, "cannot read picture '/dev/null': it is not a file");
        fails("output folder missing", {"picture", m_pic3, "-o", dir + "/no/such/out.txt"}, QStringLiteral("cannot write '%1/no/such/out.txt'").arg(dir));
        fails("output read-only", {"picture", m_pic3, "-o", dir + "/read-only.txt"}, "it is read-only");
        fails("data wider than a byte", {"preview", dir + "/wide.txt", s, "8x16", "-o", dir + "/w.png"}, "line 1: 0x100 is larger than a byte");
        fails("data not whole glyphs", {"preview", dir + "/odd.txt", s, "8x16", "-o", dir + "/w.png"}, "holds 3 bytes, not a whole number of 16-byte 8x16 glyphs");
        fails("data not whole pages", {"preview", dir + "/six.txt", s, "5x9", "--scan", "page", "-o", dir + "/w.png"}, "holds 6 bytes, not a whole number of 10-byte 5x9 glyphs");
        fails("data not whole pixels", {"preview", dir + "/odd.txt", "--width", "2", "-o", dir + "/w.png"}, "holds 3 bytes, not a whole number of 2-byte pixels");
        fails("data in a name with %", {"preview", dir + "/wide%1%2.txt", s, "8x16", "-o", dir + "/w.png"}, dir + "/wide%1%2.txt, line 1: 0x100 is larger than a byte");
        fails("glyphs in a name with %", {"preview", dir + "/odd%2.txt", s, "8x16", "-o", dir + "/w.png"}, dir + "/odd%2.txt holds 3 bytes, not a whole number of 16-byte 8x16 glyphs");
        fails("endless data", {"preview", "/dev/zero", s, "8x16", "-o", dir + "/w.png"}, "cannot read '/dev/zero': it holds more than 256 MiB, the most the tool reads");
        fails("data file too large", {"preview", dir + "/huge.txt", s, "8x16", "-o", dir + "/w.png"}, "huge.txt': it holds more than 256 MiB");
        fails("data file far too large", {"preview", dir + "/vast.txt", s, "8x16", "-o", dir + "/w.png"}, "vast.txt': it holds more than 256 MiB");
        fails("a decimal number in data", {"preview", dir + "/decimal.txt", s, "8x16", "-o", dir + "/w.png"}, "decimal.txt, line 1: '12' is not a byte written as 0xHH");
        fails("a minus sign in data", {"preview", dir + "/minus.txt", s, "8x16", "-o", dir + "/w.png"}, "minus.txt, line 2: '-' is not data");
        fails("data not UTF-8", {"preview", dir + "/bad-utf8.txt", s, "8x16", "-o", dir + "/w.png"}, "bad-utf8.txt, line 1: the text is not UTF-8");
        fails("a definition in data", {"preview", dir + "/define.txt", s, "8x16", "-o", dir + "/w.png"}, "define.txt, line 1: '#define' is not data (only #include lines are read past)");
        usage("height of glyph data", {"preview", "d", s, "8x16", "--height", "4", "-o", "p.png"}, "--height is for picture data (--width)");
        fails("data not whole rows", {"preview", dir + "/six.txt", "--width", "2", "-o", dir + "/w.png"}, "holds 3 pixels, not a whole number of rows of 2 pixels");
        fails("data not whole rows of 3-byte pixels", {"preview", dir + "/six.txt", "--width", "4", "--pixel", "rgb666", "-o", dir + "/w.png"}, "holds 2 pixels, not a whole number of rows of 4 pixels");
        fails("data not whole packed rows", {"preview", dir + "/odd.txt", "--width", "16", "--pixel", "mono", "-o", dir + "/w.png"}, "holds 3 bytes, which no number of rows of 16 mono pixels in this layout takes");
        // clang-format on
    }

    void errors() {
        zentraq::testing::expectRefusal(m_dir.path());
        QCOMPARE(readFile(path(QStringLiteral("read-only.txt"))), QByteArray("protected"));
    }
};

QTEST_GUILESS_MAIN(TestCliPicture)
#include "test_cli_picture.moc"
