// zentraq-cli font as a process: face groups against lv_font_conv's
// advances, the refusals tests/identity does not run (one line, exit 2 or 1,
// no file left), the vlw font read back by a reader written from the
// format's description, whose sample equals the tool's --sample-output, the
// u8g2 font's C literal against its bytes; the flash image's sample, drawn
// from the image, equals the C font's.
#include "cli_runner.h"
#include "support/font_builder.h"
#include "support/vlw_reader.h"

#include <QHash>
#include <QImage>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

using zentraq::testing::CliRun;
using zentraq::testing::readFile;
using zentraq::testing::runCli;

namespace {

const QString Sans = QStringLiteral("/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf");
const QString UMing = QStringLiteral("/usr/share/fonts/truetype/arphic/uming.ttc");
const QString Awesome = QStringLiteral("/usr/share/fonts/opentype/font-awesome/FontAwesome.otf");
const QString Bitmap = QStringLiteral(ZENTRAQ_FONT_TEST_DATA "/test12.bdf");

} // namespace

class TestCliFont : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QString path(const QString& name) const { return m_dir.filePath(name); }

private slots:
    void initTestCase() {
        if (!QFile::exists(Sans) || !QFile::exists(UMing) || !QFile::exists(Awesome))
            QSKIP("needs fonts-dejavu-core, fonts-arphic-uming and fonts-font-awesome "
                  "(scripts/install-deps.sh)");
        QVERIFY(m_dir.isValid());
        // The test face cut short.
        const QByteArray bdf = readFile(Bitmap);
        QVERIFY(zentraq::testing::writeFile(
            path("short.bdf"), bdf.left(bdf.indexOf("ENDCHAR", bdf.indexOf("uni4E10")))));
        // "A" stepping 65535 pixels: past every advance field (found by fuzzing).
        QByteArray far = bdf;
        far.replace("ENCODING 65\nSWIDTH 666 0\nDWIDTH 8 0",
                    "ENCODING 65\nSWIDTH 666 0\nDWIDTH 65535 0");
        QVERIFY(zentraq::testing::writeFile(path("far.bdf"), far));
        // One glyph of 32000 x 32000 units at 16 units an em, as "A" and as
        // every ASCII character.
        zentraq::testing::TestFont huge;
        huge.unitsPerEm = 16;
        huge.ascender = 14;
        huge.descender = -2;
        huge.glyphs = {{1, 0, 7, 10, 8}, {0, 0, 32000, 32000, 32000}};
        huge.cmap = {{U'A', 1}};
        QVERIFY(zentraq::testing::writeFile(path("huge.ttf"), huge.build()));
        for (char32_t c = 0x20; c <= 0x7E; ++c)
            if (c != U'A')
                huge.cmap.emplace_back(c, 1);
        QVERIFY(zentraq::testing::writeFile(path("huge_ascii.ttf"), huge.build()));
    }

    // Each refusal is one line, exit 2 for the command line and 1 for the
    // work, and leaves nothing behind; past the bounds, the tool refuses
    // before anything is drawn or written, the font included when it is the
    // sample that cannot be made.
    void refusals_data() {
        zentraq::testing::refusalColumns();
        const QString four = QStringLiteral(
            "would be 32000 x 32000 pixels at 16 px, more than the 64 a side (four em)");
        QTest::newRow("a glyph past four em")
            << QStringList{"--font-file", path("huge.ttf"), "--size", "16", "--symbols", "A"} << 1
            << "the glyph of U+0041 in Zentraq Test " + four;
        QTest::newRow("the same glyph for all of ASCII, vlw")
            << QStringList{"--font-file", path("huge_ascii.ttf"),
                           "--size",      "16",
                           "--range",     "0x20-0x7E",
                           "--format",    "vlw"}
            << 1 << "the glyph of U+0020 in Zentraq Test " + four;
        const QString w(3900, u'W');
        QTest::newRow("a sample past the picture reader's limit")
            << QStringList{"--font-file",     Sans,
                           "--size",          "250",
                           "--symbols",       "W",
                           "--sample",        QStringList(4, w).join(u'\n'),
                           "--sample-output", path("s.png")}
            << 2 << "the sample would be 963300 x 728 pixels, more than the";
        // Codes moved onto a chosen one. (The refusals that need no face but
        // DejaVu and AR PL UMing are in tests/identity.)
        const QStringList sans{"--font-file", Sans, "--size", "16"};
        const QStringList awesome{"--font-file", Awesome};
        QTest::newRow("a move onto a chosen code")
            << sans + QStringList{"--range", "0x41-0x43"} + awesome +
                   QStringList{"--range", "0xF001=>0x42"}
            << 2
            << "U+0042 is chosen twice: --range 0xF001=>0x42 (" + Awesome +
                   ") moves U+F001 there, and --range 0x41-0x43 (" + Sans + ") chooses it";
        QTest::newRow("two moves in one group")
            << awesome + QStringList{"--size",  "16",
                                     "--range", "0xF000-0xF002=>0xE000",
                                     "--range", "0xF005=>0xE001"}
            << 2
            << "U+E001 is chosen twice: --range 0xF000-0xF002=>0xE000 (" + Awesome +
                   ") moves U+F001 there, and --range 0xF005=>0xE001 (" + Awesome +
                   ") moves U+F005 there";
        QTest::newRow("BDF cut short")
            << QStringList{"--font-file", path("short.bdf"), "--size", "12", "--range", "65"} << 1
            << "short.bdf' is cut short: it ends inside the bitmap of the glyph of U+4E10";
        QTest::newRow("an advance past 16.16 pixels")
            << QStringList{"--font-file", path("far.bdf"), "--size", "12", "--range", "65"} << 1
            << "far.bdf would be 65535 pixels at 12 px, more than the 32767 a glyph may take";
    }
    void refusals() {
        zentraq::testing::expectRefusal(m_dir.path(), {}, {"font"}, {"-o", path("f.c")});
    }

    // Which group gives a character several choose, and moved codes: each
    // glyph's advance (in 1/16 px) in the LVGL font against lv_font_conv
    // 1.5.3's for the same groups at 16 px, 1 bit a pixel. "-" for a
    // character the font lacks.
    void faceGroups_data() {
        QTest::addColumn<QStringList>("groups");
        QTest::addColumn<QString>("expected"); // CODE:ADVANCE ...
        const QString serif = QStringLiteral("/usr/share/fonts/truetype/dejavu/DejaVuSerif.ttf");
        QTest::newRow("the later group gives B and C")
            << QStringList{"--font-file", Sans,  "--range", "0x41-0x43",
                           "--font-file", serif, "--range", "0x42-0x44"}
            << "41:175 42:188 43:196 44:205";
        QTest::newRow("a later face that lacks them leaves them out")
            << QStringList{"--font-file", Sans,    "--range", "0x41-0x42",
                           "--font-file", Awesome, "--range", "0x41-0xF000"}
            << "41:- 42:- F000:256";
        QTest::newRow("options before the first face are its own")
            << QStringList{"--range",     "0x41", "--font-file", serif,
                           "--font-file", Sans,   "--range",     "0x42"}
            << "41:185 42:176";
        QTest::newRow("an icon moved next to the letters")
            << QStringList{"--font-file", Sans,    "--range", "0x41-0x43",
                           "--font-file", Awesome, "--range", "0xF001=>0x44"}
            << "41:175 43:179 44:219 F001:-";
        QTest::newRow("one icon at its code and moved")
            << QStringList{"--font-file", Awesome,   "--range",
                           "0xF001",      "--range", "0xF001-0xF002=>0xE000"}
            << "E000:219 E001:238 F001:219";
    }
    void faceGroups() {
        QFETCH(QStringList, groups);
        QFETCH(QString, expected);
        const CliRun r = runCli(QStringList{"font", "--size", "16", "--bpp", "1", "-q"} + groups);
        QCOMPARE(r.exitCode, 0);
        QHash<QString, QString> advances;
        static const QRegularExpression line(
            QStringLiteral(R"(\.adv_w = (\d+),.*/\* U\+([0-9A-F]+))"));
        for (auto m = line.globalMatch(QString::fromUtf8(r.out)); m.hasNext();) {
            const QRegularExpressionMatch one = m.next();
            advances.insert(one.captured(2).rightJustified(4, u'0'), one.captured(1));
        }
        for (const QString& pair : expected.split(u' ')) {
            const QString code = pair.section(u':', 0, 0).rightJustified(4, u'0');
            QCOMPARE(advances.value(code, QStringLiteral("-")), pair.section(u':', 1));
        }
    }

    // A reader written from the vlw format's description draws the tool's
    // own sample; the C array holds the same bytes.
    void vlwSample() {
        const QString text = QStringLiteral("Wolf jagt Äpfel,\nqüyz ©");
        const CliRun r = runCli({"font", "--font-file", Sans, "--size", "24", "--format", "vlw",
                                 "--range", "0x20-0x7E,0xA0-0xFF", "--sample", text,
                                 "--sample-output", path("vlw.png"), "-o", path("f.vlw"), "-q"});
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(r.err, QString());
        const auto f = zentraq::testing::readVlw(readFile(path("f.vlw")));
        QVERIFY(f);
        const QImage sample(path("vlw.png"));
        QVERIFY(!sample.isNull());
        QCOMPARE(sample.convertToFormat(QImage::Format_Grayscale8),
                 zentraq::testing::drawVlw(readFile(path("f.vlw")), text));

        const CliRun c = runCli({"font", "--font-file", Sans, "--size", "24", "--format", "vlw-c",
                                 "--range", "0x20-0x7E,0xA0-0xFF", "--name", "dejavu24", "-q"});
        QCOMPARE(c.exitCode, 0);
        QString error;
        const QByteArray bytes = zentraq::testing::compileAndRun(
            m_dir.path(), c.out, zentraq::testing::dumpArray("dejavu24"), &error);
        QVERIFY2(error.isEmpty(), qPrintable(error));
        QCOMPARE(bytes, readFile(path("f.vlw")));
    }

    // The flash image's sample is drawn from the image as the runtime reads
    // it, and equals the sample of the C font of the same glyphs. (The image
    // itself, also with --lvgl 9, is pinned by tests/identity.)
    void flashImage() {
        const QString text = QStringLiteral("AVATAR Wolf,\nTür 12 °C ☃");
        const QStringList common{"font",    "--font-file",         Sans,       "--size", "20",
                                 "--range", "0x20-0x7E,0xA0-0xFF", "--sample", text,     "-q"};
        const CliRun flash =
            runCli(common + QStringList{"--format", "lvgl-flash", "--sample-output",
                                        path("flash.png"), "-o", path("f.bin")});
        QCOMPARE(flash.exitCode, 0);
        const CliRun c =
            runCli(common + QStringList{"--sample-output", path("c.png"), "-o", path("f.c")});
        QCOMPARE(c.exitCode, 0);
        const QImage fromImage(path("flash.png")), fromC(path("c.png"));
        QVERIFY(!fromC.isNull());
        QCOMPARE(fromImage, fromC);
    }

    // The C literal holds the font's bytes, escapes and line breaks as
    // bdfconv writes them, in every declaration it takes: a small font, a
    // font of build mode 8 (U8X8_FONT_SECTION), and one over 32760 bytes
    // (inside #ifdef U8G2_USE_LARGE_FONTS).
    void u8g2Literal_data() {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QByteArray>("declaration");
        const QStringList bitmap{"--font-file", Bitmap, "--size", "12", "--range", "0x20-0xFFFF"};
        QTest::newRow("t") << bitmap << QByteArray("U8G2_FONT_SECTION(\"f\")");
        QTest::newRow("large") << QStringList{"--font-file", Sans,      "--points",
                                              "24",          "--range", "0x20-0x52F"}
                               << QByteArray("#ifdef U8G2_USE_LARGE_FONTS\nconst uint8_t f[");
    }
    void u8g2Literal() {
        QFETCH(QStringList, args);
        QFETCH(QByteArray, declaration);
        const QStringList font = QStringList{"font", "-q"} + args;
        const CliRun c = runCli(font + QStringList{"--format", "u8g2", "--name", "f"});
        const CliRun bin = runCli(font + QStringList{"--format", "u8g2-bin", "-o", path("f.bin")});
        QCOMPARE(c.exitCode, 0);
        QCOMPARE(bin.exitCode, 0);
        QVERIFY2(c.out.contains(declaration), c.out.left(400).constData());
        QString error;
        const QByteArray bytes = zentraq::testing::compileAndRun(
            m_dir.path(),
            "#include <stdint.h>\n#pragma GCC diagnostic ignored \"-Woverlength-strings\"\n"
            "#define U8G2_USE_LARGE_FONTS\n#define "
            "U8G2_FONT_SECTION(name)\n#define U8X8_FONT_SECTION(name)\n" +
                c.out,
            zentraq::testing::dumpArray("f"), &error);
        QVERIFY2(error.isEmpty(), qPrintable(error));
        QCOMPARE(bytes, readFile(path("f.bin")));
    }
};

QTEST_GUILESS_MAIN(TestCliFont)
#include "test_cli_font.moc"
