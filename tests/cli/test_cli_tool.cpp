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

bool canvasFaceIsPinned() {
    return zentraq::text::TextRenderer::shared().faces().primary.family ==
           QLatin1String("AR PL UMing CN");
}

} // namespace

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

    // Picture -> data -> PNG gives the picture back where its colours are
    // RGB565 colours, in both byte orders.
    void previewPictureRoundTrip_data() {
        QTest::addColumn<QString>("byteOrder");
        QTest::newRow("low first") << QStringLiteral("low-first");
        QTest::newRow("high first") << QStringLiteral("high-first");
    }

    void previewPictureRoundTrip() {
        QFETCH(QString, byteOrder);
        QImage original(4, 2, QImage::Format_RGB32);
        const QRgb colours[8] = {qRgb(255, 0, 0),     qRgb(0, 255, 0),    qRgb(0, 0, 255),
                                 qRgb(255, 255, 255), qRgb(0, 0, 0),      qRgb(255, 255, 0),
                                 qRgb(0, 255, 255),   qRgb(132, 130, 132)};
        for (int i = 0; i < 8; ++i)
            original.setPixel(i % 4, i / 4, colours[i]);
        const QString in = path(QStringLiteral("exact.png"));
        QVERIFY(original.save(in));
        const CliRun data = runCli({"picture", in, "-q", "--byte-order", byteOrder});
        QCOMPARE(data.exitCode, 0);
        const QString png = path(QStringLiteral("exact-back.png"));
        QCOMPARE(
            runCli({"preview", "-", "--width", "4", "--byte-order", byteOrder, "-o", png}, data.out)
                .exitCode,
            0);
        QCOMPARE(QImage(png).convertToFormat(QImage::Format_RGB32), original);
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
        usage("zero size", {g, s, "0x8", "A", "-o", out}, "--size wants a cell WIDTHxHEIGHT from 1x1 to 256x256, not '0x8'");
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
        usage("preview bits on pictures", {"preview", "d", "--width", "3", "--invert", "-o", "p.png"}, "--invert is for glyph data");
        usage("scale", {"preview", "d", s, "8x16", "--scale", "0", "-o", "p.png"}, "--scale wants a whole number from 1 to 64");
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
        for (const char* option : {"\n  --charset SET", "\n  --scan row|column|page|band",
                                   "\n  --pad", "\n  --pixel-size N", "\n  -o, --output OUT"})
            QVERIFY2(runCli({"help", "library"}).out.contains(option), option);
    }
};

QTEST_GUILESS_MAIN(TestCliTool)
#include "test_cli_tool.moc"
