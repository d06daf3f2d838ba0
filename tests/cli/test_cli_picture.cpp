// zentraq-cli picture and preview of picture data as a process: C that
// compiles to the binary form from hostile names, and every refused command
// line of picture and preview with its exit code and message. (What each
// option makes is pinned byte for byte by tests/identity.)
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

// A 3 x 3 picture of nine colours.
QImage picture3x3() {
    QImage image(3, 3, QImage::Format_RGB32);
    const QRgb colours[9] = {qRgb(255, 0, 0),     qRgb(0, 255, 0), qRgb(0, 0, 255),
                             qRgb(255, 255, 255), qRgb(0, 0, 0),   qRgb(128, 128, 128),
                             qRgb(86, 52, 18),    qRgb(7, 3, 7),   qRgb(255, 255, 0)};
    for (int i = 0; i < 9; ++i)
        image.setPixel(i % 3, i / 3, colours[i]);
    return image;
}

} // namespace

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
        QVERIFY(writeFile(path(QStringLiteral("odd.txt")), "0x01,0x02,0x03,"));
        QVERIFY(writeFile(path(QStringLiteral("six.txt")), "0x01,0x02,0x03,0x04,0x05,0x06,"));
        QVERIFY(writeFile(path(QStringLiteral("four.txt")), "0x01,0x02,0x03,0x04,"));
        QVERIFY(writeFile(path(QStringLiteral("odd%2.txt")), "0x01,0x02,0x03,"));
        // Over the 256 MiB the tool reads, without taking the disk space.
        QFile huge(path(QStringLiteral("huge.txt")));
        QVERIFY(huge.open(QIODevice::WriteOnly) && huge.resize((qint64(256) << 20) + 1));
        QVERIFY(writeFile(path(QStringLiteral("read-only.txt")), "protected"));
        QVERIFY(
            QFile::setPermissions(path(QStringLiteral("read-only.txt")), QFileDevice::ReadOwner));
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
        usage("name a C11 keyword", {"picture", "a.png", "--format=c", "--name", "_Bool"}, "not the C keyword '_Bool'");
        usage("picture without file", {"picture"}, "picture needs the picture file");
        usage("byte order", {"picture", "a.png", "--byte-order", "middle"}, "--byte-order wants");
        usage("preview without output", {"preview", "d", s, "8x16"}, "needs -o");
        usage("preview without shape", {"preview", "d", "-o", "p.png"}, "either --size");
        usage("preview with both shapes", {"preview", "d", s, "8x16", "--width", "3", "-o", "p.png"}, "either --size");
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
        usage("unknown dither", {p, pic, "--dither", "random", "-o", out}, "--dither wants none, floyd-steinberg or bayer4, not 'random'");
        usage("resize 0x10", {p, pic, "--resize", "0x10", "-o", out}, "--resize wants each side from 1 to 32767 pixels, not '0x10'");
        usage("resize not a size", {p, pic, "--resize", "240", "-o", out}, "--resize wants a size WIDTHxHEIGHT such as 16x16, not '240'");
        usage("fit without resize", {p, pic, "--fit", "cover", "-o", out}, "--fit says how --resize fits the picture");
        usage("unknown fit", {p, pic, "--resize", "8x8", "--fit", "fill", "-o", out}, "--fit wants contain, cover or stretch, not 'fill'");
        usage("unknown rotation", {p, pic, "--rotate", "45", "-o", out}, "--rotate wants 90, 180 or 270 (degrees clockwise), not '45'");
        usage("unknown flip", {p, pic, "--flip", "both", "-o", out}, "--flip wants horizontal or vertical, not 'both'");
        usage("two flips", {p, pic, "--flip", "horizontal", "--flip", "vertical", "-o", out}, "option '--flip' is given more than once");
        usage("preview format of glyph data", {"preview", "d", s, "8x16", "--pixel", "mono", "-o", "p.png"}, "--pixel is for picture data (--width)");
        usage("preview scan of RGB565", {"preview", "d", "--width", "3", "--scan", "page", "-o", "p.png"}, "--scan is for the packed formats");
        usage("preview unknown format", {"preview", "d", "--width", "3", "--pixel", "rgb", "-o", "p.png"}, "--pixel wants");
        fails("missing picture", {"picture", dir + "/nothere.png"}, QStringLiteral("cannot read picture '%1/nothere.png'").arg(dir));
        fails("folder as picture", {"picture", dir}, "cannot read picture '" + dir + "': it is a folder");
        fails("device as picture", {"picture", "/dev/null"}, "cannot read picture '/dev/null': it is not a file");
        fails("output folder missing", {"picture", m_pic3, "-o", dir + "/no/such/out.txt"}, QStringLiteral("cannot write '%1/no/such/out.txt'").arg(dir));
        fails("output read-only", {"picture", m_pic3, "-o", dir + "/read-only.txt"}, "it is read-only");
        fails("data not whole pages", {"preview", dir + "/six.txt", s, "5x9", "--scan", "page", "-o", dir + "/w.png"}, "holds 6 bytes, not a whole number of 10-byte 5x9 glyphs");
        fails("data not whole pixels", {"preview", dir + "/odd.txt", "--width", "2", "-o", dir + "/w.png"}, "holds 3 bytes, not a whole number of 2-byte pixels");
        fails("glyphs in a name with %", {"preview", dir + "/odd%2.txt", s, "8x16", "-o", dir + "/w.png"}, dir + "/odd%2.txt holds 3 bytes, not a whole number of 16-byte 8x16 glyphs");
        fails("endless data", {"preview", "/dev/zero", s, "8x16", "-o", dir + "/w.png"}, "cannot read '/dev/zero': it holds more than 256 MiB, the most the tool reads");
        fails("data file too large", {"preview", dir + "/huge.txt", s, "8x16", "-o", dir + "/w.png"}, "huge.txt': it holds more than 256 MiB");
        usage("height of glyph data", {"preview", "d", s, "8x16", "--height", "4", "-o", "p.png"}, "--height is for picture data (--width)");
        fails("data not whole rows", {"preview", dir + "/six.txt", "--width", "2", "-o", dir + "/w.png"}, "holds 3 pixels, not a whole number of rows of 2 pixels");
        fails("data not whole rows of 3-byte pixels", {"preview", dir + "/six.txt", "--width", "4", "--pixel", "rgb666", "-o", dir + "/w.png"}, "holds 2 pixels, not a whole number of rows of 4 pixels");
        // Pixels narrower than a byte in columns that run on: where a pixel
        // lies depends on the height, so several heights that fit are refused.
        fails("columns of several heights", {"preview", dir + "/four.txt", "--width", "5", "--pixel", "mono", "--scan", "column", "-o", dir + "/w.png"}, "columns of 5 to 6 pixels fill alike; give --height");
        fails("columns of another height", {"preview", dir + "/four.txt", "--width", "5", "--pixel", "mono", "--scan", "column", "--height", "8", "-o", dir + "/w.png"}, "not the 5 bytes of 5 x 8 mono pixels in this layout");
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
