// zentraq-cli as a process: each option on small inputs with answers worked
// out by hand, reading data back into pictures, errors with their exit codes
// and messages, and results that appear whole or not at all.
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

QByteArray bytes(const char* hex) {
    return QByteArray::fromHex(QByteArray(hex).replace(' ', ""));
}

// The 3 x 3 picture: red, green, blue / white, black, grey 128 /
// (86,52,18), (7,3,7), yellow, with their RGB565 bytes (high, low):
// F8 00, 07 E0, 00 1F / FF FF, 00 00, 84 10 / 51 A2, 00 00, FF E0.
QImage picture3x3() {
    QImage image(3, 3, QImage::Format_RGB32);
    const QRgb colours[9] = {qRgb(255, 0, 0),   qRgb(0, 255, 0),   qRgb(0, 0, 255),
                             qRgb(255, 255, 255), qRgb(0, 0, 0),   qRgb(128, 128, 128),
                             qRgb(86, 52, 18),  qRgb(7, 3, 7),     qRgb(255, 255, 0)};
    for (int i = 0; i < 9; ++i)
        image.setPixel(i % 3, i / 3, colours[i]);
    return image;
}
// Low byte first, CR LF after the 8th item, no line end after the 9th.
const QByteArray Picture3x3Text = "0x00,0xF8,0xE0,0x07,0x1F,0x00,0xFF,0xFF,0x00,0x00,0x10,0x84,0xA2,0x51,0x00,0x00,\r\n"
                                  "0xE0,0xFF,";
const QByteArray Picture3x3HighFirst = "0xF8,0x00,0x07,0xE0,0x00,0x1F,0xFF,0xFF,0x00,0x00,0x84,0x10,0x51,0xA2,0x00,0x00,\r\n"
                                       "0xFF,0xE0,";

QStringList listing(const QString& dir) {
    return QDir(dir).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

bool canvasFaceIsPinned() {
    return zentraq::text::TextRenderer::shared().faces().primary.family == QLatin1String("AR PL UMing CN");
}

} // namespace

class TestCliTool : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_pic3;

    QString path(const QString& name) const { return m_dir.filePath(name); }

private slots:
    void initTestCase() {
        ::umask(022);
        QVERIFY(m_dir.isValid());
        m_pic3 = path(QStringLiteral("pic3.png"));
        QVERIFY(picture3x3().save(m_pic3));
        QVERIFY(writeFile(path(QStringLiteral("notpicture.png")), "just text, not a picture\n"));
        QVERIFY(writeFile(path(QStringLiteral("bad-utf8.txt")), "A\xC3("));
        QVERIFY(writeFile(path(QStringLiteral("wide.txt")), "0x01,0x100,\r\n"));
        QVERIFY(writeFile(path(QStringLiteral("odd.txt")), "0x01,0x02,0x03,"));
        QVERIFY(writeFile(path(QStringLiteral("six.txt")), "0x01,0x02,0x03,0x04,0x05,0x06,"));
        QVERIFY(writeFile(path(QStringLiteral("read-only.txt")), "protected"));
        QVERIFY(QFile::setPermissions(path(QStringLiteral("read-only.txt")), QFileDevice::ReadOwner));
    }

    void glyphOptions_data() {
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("default") << QStringList{} << line(A) + line(Bar);
        QTest::newRow("window's size name") << QStringList{"--size", "8*16"} << line(A) + line(Bar);
        QTest::newRow("msb first") << QStringList{"--msb-first"} << line(AMsb) + line(BarMsb);
        QTest::newRow("invert") << QStringList{"--invert"} << line(AInv) + line(BarInv);
        QTest::newRow("msb first, inverted") << QStringList{"--msb-first", "--invert"} << line(AMsbInv) + line(BarMsbInv);
        QTest::newRow("binary") << QStringList{"--binary"} << bytes(A) + bytes(Bar);
        QTest::newRow("binary, msb first") << QStringList{"--binary", "--msb-first"} << bytes(AMsb) + bytes(BarMsb);
        QTest::newRow("explicit hex") << QStringList{"--format", "hex", "--invert"} << line(AInv) + line(BarInv);
    }

    void glyphOptions() {
        QFETCH(QStringList, options);
        QFETCH(QByteArray, expected);
        if (!canvasFaceIsPinned())
            QSKIP("the canvas face is not AR PL UMing CN; the answers are worked out for it");
        QStringList args{"glyph"};
        if (!options.contains(QStringLiteral("--size")))
            args << "--size" << "8x16";
        args << options << "A|";
        const CliRun r = runCli(args);
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(r.out, expected);
        QCOMPARE(r.err, QStringLiteral("数据大小:32\n"));
    }

    void glyphCArray() {
        if (!canvasFaceIsPinned())
            QSKIP("the canvas face is not AR PL UMing CN; the answers are worked out for it");
        const CliRun r = runCli({"glyph", "--size", "8x16", "A|", "--format", "c", "--name", "letters", "--msb-first"});
        QCOMPARE(r.exitCode, 0);
        const QByteArray body = "const unsigned char letters[32] = {\r\n" + line(AMsb).chopped(2) +
                                " /* U+0041 'A' */\r\n" + line(BarMsb).chopped(2) + " /* U+007C '|' */\r\n};\r\n";
        QVERIFY2(r.out.endsWith(body), r.out.constData());
        const QString header = QString::fromUtf8(r.out.left(r.out.size() - body.size()));
        QVERIFY(header.startsWith(QStringLiteral("/*\r\n")));
        QVERIFY(header.endsWith(QStringLiteral(" */\r\n")));
        for (const char* recorded : {"2 characters at 8x16 (8*16字母), 16 bytes each, 32 bytes", "AR PL UMing CN",
                                     "12 pt = 16 px", "most significant bit; ink 1, background 0"})
            QVERIFY2(header.contains(QString::fromUtf8(recorded)), recorded);
    }

    void pictureOptions_data() {
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("default") << QStringList{} << Picture3x3Text;
        QTest::newRow("low first named") << QStringList{"--byte-order", "low-first"} << Picture3x3Text;
        QTest::newRow("high first") << QStringList{"--byte-order", "high-first"} << Picture3x3HighFirst;
        QTest::newRow("binary") << QStringList{"--binary"} << QByteArray::fromHex("00F8E0071F00FFFF00001084A2510000E0FF");
        QTest::newRow("binary, high first") << QStringList{"--binary", "--byte-order=high-first"}
                                            << QByteArray::fromHex("F80007E0001FFFFF0000841051A20000FFE0");
        QTest::newRow("C") << QStringList{"--format", "c", "--name", "pic"}
                           << "const unsigned char pic[18] = {\r\n" + Picture3x3Text + "\r\n};\r\n";
        QTest::newRow("C, high first") << QStringList{"--format", "c", "--byte-order", "high-first"}
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
            QVERIFY(r.out.startsWith("/*\r\n * Picture data made by zentraq-cli: " + m_pic3.toUtf8() + ", 3*3 pixels, 18 bytes\r\n"));
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

    // The tool's C from the worst characters and a font path that holds
    // comment markers compiles cleanly and holds exactly the bytes of
    // --binary: no comment swallowed a line.
    void glyphCArrayCompiles() {
        const QString cc = QStandardPaths::findExecutable(QStringLiteral("cc"));
        const QString fontFile = QStringLiteral("/usr/share/fonts/truetype/arphic/uming.ttc");
        if (cc.isEmpty() || !QFileInfo::exists(fontFile))
            QSKIP("needs cc and the AR PL UMing font file");
        // A font path with "*/" and "/*" in it, through links.
        QVERIFY(QDir(m_dir.path()).mkpath(QStringLiteral("x*/y/*z")));
        const QString link = path(QStringLiteral("x*/y/*z/font\\.ttc"));
        QFile::remove(link);
        QVERIFY(QFile::link(fontFile, link));

        const QString text = QStringLiteral("\\*/\r\t'") + QChar(0x2028) + QChar(0x202E) + QChar(0x1B) +
                             QStringLiteral("\n中/*");
        const QString input = path(QStringLiteral("nasty.txt"));
        QVERIFY(writeFile(input, text.toUtf8()));

        const CliRun bin = runCli({"glyph", "--size", "12x12", "--font-file", link, "--input", input, "--binary"});
        QCOMPARE(bin.exitCode, 0);
        QCOMPARE(bin.out.size(), 18 * text.size());
        const CliRun c = runCli({"glyph", "--size", "12x12", "--font-file", link, "--input", input, "--format", "c",
                                 "--name", "nasty"});
        QCOMPARE(c.exitCode, 0);
        QVERIFY(c.out.contains("x*\\/y/\\*z/font\\\\.ttc"));

        const QString source = path(QStringLiteral("nasty.c"));
        QVERIFY(writeFile(source, c.out + "\n#include <stdio.h>\nint main(void) {\n"
                                          "    fwrite(nasty, 1, sizeof nasty, stdout);\n    return 0;\n}\n"));
        QProcess compile;
        compile.start(cc, {"-Wall", "-Wextra", "-Werror", "-pedantic", source, "-o", path(QStringLiteral("nasty"))});
        QVERIFY(compile.waitForFinished(60000));
        QVERIFY2(compile.exitCode() == 0, compile.readAllStandardError().constData());
        QProcess dump;
        dump.start(path(QStringLiteral("nasty")), {});
        QVERIFY(dump.waitForFinished(10000));
        QCOMPARE(dump.readAllStandardOutput(), bin.out);
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
        QCOMPARE(runCli({"glyph", "--size", "16x16", text, "-q", "--format", "c", "--msb-first", "--invert", "-o", shaped}).exitCode, 0);
        const QString png2 = path(QStringLiteral("glyphs2.png"));
        QCOMPARE(runCli({"preview", shaped, "--size", "16x16", "--columns", "4", "--msb-first", "--invert", "-o", png2}).exitCode, 0);
        QCOMPARE(QImage(png2), image);

        const CliRun bin = runCli({"glyph", "--size", "16x16", text, "-q", "--binary", "-o", "-"});
        QCOMPARE(bin.exitCode, 0);
        const QString png3 = path(QStringLiteral("glyphs3.png"));
        QCOMPARE(runCli({"preview", "-", "--binary", "--size", "16x16", "--columns", "4", "-o", png3}, bin.out).exitCode, 0);
        QCOMPARE(QImage(png3), image);

        const QString png4 = path(QStringLiteral("glyphs4.png"));
        QCOMPARE(runCli({"preview", data, "--size", "16x16", "--columns", "4", "--scale", "3", "-o", png4}).exitCode, 0);
        QCOMPARE(QImage(png4), image.scaled(192, 96));
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
        const QRgb colours[8] = {qRgb(255, 0, 0), qRgb(0, 255, 0), qRgb(0, 0, 255), qRgb(255, 255, 255),
                                 qRgb(0, 0, 0),   qRgb(255, 255, 0), qRgb(0, 255, 255), qRgb(132, 130, 132)};
        for (int i = 0; i < 8; ++i)
            original.setPixel(i % 4, i / 4, colours[i]);
        const QString in = path(QStringLiteral("exact.png"));
        QVERIFY(original.save(in));
        const CliRun data = runCli({"picture", in, "-q", "--byte-order", byteOrder});
        QCOMPARE(data.exitCode, 0);
        const QString png = path(QStringLiteral("exact-back.png"));
        QCOMPARE(runCli({"preview", "-", "--width", "4", "--byte-order", byteOrder, "-o", png}, data.out).exitCode, 0);
        QCOMPARE(QImage(png).convertToFormat(QImage::Format_RGB32), original);
    }

    void missingCharacters() {
        const CliRun none = runCli({"glyph", "--size", "16x16", "--missing", "A中 \r\n"});
        QCOMPARE(none.exitCode, 0);
        QCOMPARE(none.out, QByteArray());

        // U+0378 is not assigned, so no face has it; it is listed once.
        const QString text = QStringLiteral("A") + QChar(0x378) + QStringLiteral("中") + QChar(0x378);
        const CliRun some = runCli({"glyph", "--size", "16x16", "--missing", text});
        QCOMPARE(some.exitCode, 1);
        QCOMPARE(some.out, QByteArray("U+0378 '\\u0378'\n"));
        QVERIFY2(some.err.startsWith(QStringLiteral("1 of 3 different characters have no face")), qPrintable(some.err));
    }

    void errors_data() {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("message");
        const QString dir = m_dir.path();
        QTest::newRow("unknown option") << QStringList{"glyph", "--size", "8x16", "--colour", "red", "A"} << 2
                                        << QStringLiteral("unknown option '--colour'");
        QTest::newRow("size not in the list") << QStringList{"glyph", "--size", "7x14", "A"} << 2
                                              << QStringLiteral("size '7x14' is not one of");
        QTest::newRow("no command") << QStringList{} << 2 << QStringLiteral("no command given");
        QTest::newRow("non-picture file") << QStringList{"picture", dir + "/notpicture.png"} << 1
                                          << QStringLiteral("cannot read picture '%1/notpicture.png'").arg(dir);
        QTest::newRow("missing picture") << QStringList{"picture", dir + "/nothere.png"} << 1
                                         << QStringLiteral("cannot read picture '%1/nothere.png'").arg(dir);
        QTest::newRow("folder as picture") << QStringList{"picture", dir} << 1 << QStringLiteral("cannot read picture");
        QTest::newRow("unreadable text file") << QStringList{"glyph", "--size", "8x16", "--input", dir + "/nothere.txt"} << 1
                                              << QStringLiteral("cannot read '%1/nothere.txt'").arg(dir);
        QTest::newRow("text not UTF-8") << QStringList{"glyph", "--size", "8x16", "--input", dir + "/bad-utf8.txt"} << 1
                                        << QStringLiteral("is not UTF-8 text");
        QTest::newRow("output folder missing") << QStringList{"picture", m_pic3, "-o", dir + "/no/such/out.txt"} << 1
                                               << QStringLiteral("cannot write '%1/no/such/out.txt'").arg(dir);
        QTest::newRow("output is a folder") << QStringList{"glyph", "--size", "8x16", "A", "-o", dir} << 1
                                            << QStringLiteral("it is a folder");
        QTest::newRow("output read-only") << QStringList{"picture", m_pic3, "-o", dir + "/read-only.txt"} << 1
                                          << QStringLiteral("it is read-only");
        QTest::newRow("output under a file") << QStringList{"glyph", "--size", "8x16", "A", "-o", m_pic3 + "/x.txt"} << 1
                                             << QStringLiteral("cannot write");
        QTest::newRow("font not installed") << QStringList{"glyph", "--size", "8x16", "--font", "No Such Family 42", "A"} << 1
                                            << QStringLiteral("font family 'No Such Family 42' is not installed");
        QTest::newRow("not a font file") << QStringList{"glyph", "--size", "8x16", "--font-file", m_pic3, "A"} << 1
                                         << QStringLiteral("is not a font file");
        QTest::newRow("empty text as C") << QStringList{"glyph", "--size", "8x16", "--format", "c", "\r\n"} << 1
                                         << QStringLiteral("no characters");
        QTest::newRow("data wider than a byte") << QStringList{"preview", dir + "/wide.txt", "--size", "8x16", "-o", dir + "/w.png"} << 1
                                                << QStringLiteral("line 1: 0x100 is larger than a byte");
        QTest::newRow("data not whole glyphs") << QStringList{"preview", dir + "/odd.txt", "--size", "8x16", "-o", dir + "/w.png"} << 1
                                               << QStringLiteral("holds 3 bytes, not a whole number of 16-byte 8x16 glyphs");
        QTest::newRow("data not whole pixels") << QStringList{"preview", dir + "/odd.txt", "--width", "2", "-o", dir + "/w.png"} << 1
                                               << QStringLiteral("holds 3 bytes, not a whole number of 2-byte pixels");
        QTest::newRow("data not whole rows") << QStringList{"preview", dir + "/six.txt", "--width", "2", "-o", dir + "/w.png"} << 1
                                             << QStringLiteral("holds 3 pixels, not a whole number of rows of 2 pixels");
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
    // a link stays a link, and a device is written, not replaced.
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

        QCOMPARE(runCli({"picture", m_pic3, "-q", "-o", "/dev/null"}).exitCode, 0);
        QCOMPARE(::stat("/dev/null", &st), 0);
        QVERIFY(S_ISCHR(st.st_mode));

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
        QCOMPARE(listing(dir.path()), before);
    }

    void help() {
        const CliRun r = runCli({"--help"});
        QCOMPARE(r.exitCode, 0);
        const QString text = QString::fromUtf8(r.out);
        for (const char* option : {"--size", "--font ", "--font-file", "--input", "--ascii", "--format", "--name",
                                   "--binary", "--msb-first", "--invert", "--missing", "--byte-order", "--width",
                                   "--columns", "--scale", "--output", "--quiet", "12x12, 16x16, 32x32"})
            QVERIFY2(text.contains(QLatin1String(option)), option);
        for (const char* command : {"glyph", "picture", "preview"}) {
            const CliRun one = runCli({"help", command});
            QCOMPARE(one.exitCode, 0);
            QVERIFY(QString::fromUtf8(one.out).contains(QStringLiteral("zentraq-cli %1 ").arg(command)));
            QVERIFY2(one.out.contains("Example"), command);
            QVERIFY(text.contains(QString::fromUtf8(one.out)));
        }
        QCOMPARE(runCli({"picture", "--help"}).out, runCli({"help", "picture"}).out);
    }
};

QTEST_GUILESS_MAIN(TestCliTool)
#include "test_cli_tool.moc"
