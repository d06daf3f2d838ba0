// zentraq-cli font as a process: the character set as the union of its
// options, faces of collections, the refusals (one line, exit 2 or 1, no
// file left), characters the face lacks, the vlw font read back by a
// reader written from the format's description, whose sample equals the
// tool's --sample-output, the u8g2 font's C literal against its bytes, a
// BDF file of ours made into the same u8g2 font as its face; the flash
// image's sample, drawn from the image, equals the C font's.
#include "cli_runner.h"
#include "support/font_builder.h"
#include "support/vlw_reader.h"

#include <QHash>
#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <cstdlib>

using zentraq::testing::CliRun;
using zentraq::testing::listing;
using zentraq::testing::readFile;
using zentraq::testing::runCli;

namespace {

const QString Sans = QStringLiteral("/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf");
const QString UMing = QStringLiteral("/usr/share/fonts/truetype/arphic/uming.ttc");
const QString Awesome = QStringLiteral("/usr/share/fonts/opentype/font-awesome/FontAwesome.otf");
const QString Bitmap = QStringLiteral(ZENTRAQ_FONT_TEST_DATA "/test12.bdf");

quint32 be32(const QByteArray& b, qsizetype at) {
    return quint32(uchar(b[at])) << 24 | quint32(uchar(b[at + 1])) << 16 |
           quint32(uchar(b[at + 2])) << 8 | uchar(b[at + 3]);
}

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
        QVERIFY(zentraq::testing::writeFile(path("notes.txt"), "plain text, no font\n"));
        // --chars-from sources that cannot be read.
        for (const auto& [name, bytes] : std::initializer_list<std::pair<const char*, QByteArray>>{
                 {"open.c", "a;\ns = \"open;\n"},
                 {"open.h", "/* open\n"},
                 {"bad.c", "a;\n\n\"\xC3\x28\";\n"},
                 {"bad.json", "{\"a\": \"b\",\n}"},
                 {"bad.yaml", "a: b\n  c: d\n"}})
            QVERIFY(zentraq::testing::writeFile(path(name), bytes));
        // The test face cut short, and with a glyph larger than its box.
        const QByteArray bdf = readFile(Bitmap);
        QVERIFY(zentraq::testing::writeFile(
            path("short.bdf"), bdf.left(bdf.indexOf("ENDCHAR", bdf.indexOf("uni4E10")))));
        QByteArray large = bdf;
        large.replace("BBX 3 12 1 -2\nBITMAP\n20", "BBX 3 12 1 -2\nBITMAP\n30");
        QVERIFY(zentraq::testing::writeFile(path("large.bdf"), large));
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
        QTest::newRow("GB2312 at 1024 px")
            << QStringList{"--font-file", UMing, "--size", "1024", "--charset", "gb2312"} << 2
            << "7444 characters of AR PL UMing CN Light at 1024 px would take about 7.3 GiB of "
               "glyph data";
        const QString w(3900, u'W');
        QTest::newRow("a sample past the picture reader's limit")
            << QStringList{"--font-file",     Sans,
                           "--size",          "250",
                           "--symbols",       "W",
                           "--sample",        QStringList(4, w).join(u'\n'),
                           "--sample-output", path("s.png")}
            << 2 << "the sample would be 963300 x 728 pixels, more than the";
        const QStringList sans{"--font-file", Sans, "--size", "16"};
        QTest::newRow("not a font")
            << QStringList{"--font-file", path("notes.txt"), "--size", "16", "--range", "65"} << 1
            << "is not a font FreeType can read";
        QTest::newRow("face past the end")
            << QStringList{"--font-file", UMing, "--face-index", "4",
                           "--size",      "16",  "--range",      "65"}
            << 2 << "holds 4 faces (0 to 3); face index 4 is past its end";
        QTest::newRow("size 0") << sans.mid(0, 3) + QStringList{"0", "--range", "65"} << 2
                                << "--size wants a whole number from 1 to 1024, not '0'";
        QTest::newRow("size 1025")
            << sans.mid(0, 3) + QStringList{"1025", "--range", "65"} << 2 << "not '1025'";
        QTest::newRow("no characters") << sans << 2 << "the character set is empty";
        QTest::newRow("only a line break")
            << sans + QStringList{"--symbols", "\n"} << 2 << "the character set is empty";
        QTest::newRow("none in the face") << sans + QStringList{"--range", "0x4E00-0x4E0F"} << 1
                                          << "none of the 16 characters is in DejaVu Sans Book";
        QTest::newRow("range backwards") << sans + QStringList{"--range", "0x7E-0x20"} << 2
                                         << "runs backwards (0x7E is above 0x20)";
        QTest::newRow("past U+10FFFF")
            << sans + QStringList{"--range", "0x20-0x110000"} << 2 << "reaches beyond U+10FFFF";
        QTest::newRow("LVGL 7") << sans + QStringList{"--range", "65", "--lvgl", "7"} << 2
                                << "--lvgl wants 9 or 8, not '7'";
        QTest::newRow("gfx span") << QStringList{"--font-file", Sans, "--format", "gfx",
                                                 "--points",    "12", "--range",  "0x20,0x2000"}
                                  << 2
                                  << "more than 8 times as many); the lvgl and vlw formats take it";
        QTest::newRow("gfx above U+FFFF")
            << QStringList{"--font-file", Sans, "--format", "gfx",
                           "--points",    "12", "--range",  "0x1D538-0x1D539"}
            << 2 << "GFX stores 16-bit codes and U+1D539 is above U+FFFF";
        QTest::newRow("gfx size") << QStringList{"--font-file", Sans, "--format", "gfx",
                                                 "--size",      "16", "--range",  "65"}
                                  << 2
                                  << "--size is for lvgl, lvgl-bin, lvgl-flash, vlw, vlw-c, u8g2, "
                                     "u8g2-bin and bdf fonts";
        QTest::newRow("sample alone") << sans + QStringList{"--range", "65", "--sample", "A"} << 2
                                      << "--sample TEXT and --sample-output PNG go together";
        // Face groups, moved codes and the fallback font.
        const QStringList awesome{"--font-file", Awesome};
        QTest::newRow("a move onto a chosen code")
            << sans + QStringList{"--range", "0x41-0x43"} + awesome +
                   QStringList{"--range", "0xF001=>0x42"}
            << 2
            << "U+0042 is chosen twice: --range 0xF001=>0x42 (" + Awesome +
                   ") moves U+F001 there, and --range 0x41-0x43 (" + Sans + ") chooses it";
        QTest::newRow("a move onto the surrogates")
            << sans + QStringList{"--range", "0x41=>0xE000"} + awesome +
                   QStringList{"--range", "0xF000-0xF002=>0xDFFF"}
            << 2 << "moves codes onto the surrogates";
        QTest::newRow("two moves in one group")
            << awesome + QStringList{"--size",  "16",
                                     "--range", "0xF000-0xF002=>0xE000",
                                     "--range", "0xF005=>0xE001"}
            << 2
            << "U+E001 is chosen twice: --range 0xF000-0xF002=>0xE000 (" + Awesome +
                   ") moves U+F001 there, and --range 0xF005=>0xE001 (" + Awesome +
                   ") moves U+F005 there";
        QTest::newRow("a move past U+10FFFF")
            << sans + QStringList{"--range", "0x41-0x43=>0x10FFFE"} << 2
            << "'0x41-0x43=>0x10FFFE' moves codes beyond U+10FFFF, the last code point (up to "
               "0x110000)";
        QTest::newRow("a move to nowhere")
            << sans + QStringList{"--range", "0x41=>"} << 2 << "moved to a code";
        QTest::newRow("a group without characters")
            << sans + QStringList{"--range", "65", "--font", "DejaVu Serif"} << 2
            << "DejaVu Serif has no characters: give --range, --symbols, --charset or --chars-from "
               "after it";
        QTest::newRow("a fallback that is no identifier")
            << sans + QStringList{"--range", "65", "--lv-fallback", "font-cjk"} << 2
            << "--lv-fallback wants a C identifier that is no C keyword, not 'font-cjk'";
        QTest::newRow("a keyword as fallback")
            << sans + QStringList{"--range", "65", "--lv-fallback", "static"} << 2
            << "not 'static'";
        QTest::newRow("the font as its own fallback")
            << sans + QStringList{"--range", "65", "--lv-fallback", "f"} << 2
            << "--lv-fallback names the font itself (f)";
        QTest::newRow("a fallback in a binary font")
            << sans + QStringList{"--range", "65", "--lv-fallback", "f2", "--format", "lvgl-bin"}
            << 2 << "--lv-fallback is for lvgl fonts";
        QTest::newRow("autohint off and strong")
            << sans + QStringList{"--range", "65", "--autohint-off", "--autohint-strong"} << 2
            << "--autohint-off and --autohint-strong contradict each other for " + Sans;
        QTest::newRow("autohint in gfx")
            << QStringList{"--font-file", Sans, "--format",         "gfx", "--points", "12",
                           "--range",     "65", "--autohint-strong"}
            << 2 << "--autohint-strong is for lvgl, lvgl-bin, lvgl-flash, vlw and vlw-c fonts";
        QTest::newRow("two face indexes for one face")
            << QStringList{"--font-file", UMing,    "--face-index", "1",       "--face-index",
                           "2",           "--size", "16",           "--range", "65"}
            << 2 << "--face-index is given twice for " + UMing;
        QTest::newRow("an encoding without sources")
            << sans + QStringList{"--range", "65", "--source-encoding", "gbk"} << 2
            << "--chars-from-kind and --source-encoding read --chars-from files; give one";
        QTest::newRow("an unknown encoding")
            << sans + QStringList{"--range", "65", "--source-encoding", "big5"} << 2
            << "--source-encoding wants utf-8, gbk or gb18030, not 'big5'";
        QTest::newRow("a face index of a family")
            << sans + QStringList{"--range",      "65", "--font",  "DejaVu Serif",
                                  "--face-index", "1",  "--range", "66"}
            << 2 << "--face-index picks a face of a --font-file";
        const QStringList flash = sans + QStringList{"--range", "65", "--format", "lvgl-flash"};
        QTest::newRow("flash for LVGL 8")
            << flash + QStringList{"--lvgl", "8"} << 2
            << "the flash image serves LVGL 9 and 8.3 alike; leave --lvgl out";
        QTest::newRow("flash named") << flash + QStringList{"--name", "f"} << 2
                                     << "--name is for lvgl, gfx, vlw-c and u8g2 fonts";
        QTest::newRow("flash with an include")
            << flash + QStringList{"--lv-include", "lvgl.h"} << 2 << "--lv-include is for lvgl";

        // A --chars-from source that cannot be read: the file and line named.
        const auto source = [&](const char* name, const char* file, const QString& message) {
            QTest::newRow(name) << sans + QStringList{"--range", "65", "--chars-from", path(file)}
                                << 1 << path(file) + message;
        };
        source("unterminated literal", "open.c", ":2: a string literal is not closed");
        source("unterminated comment", "open.h", ":1: a comment /* is not closed");
        source("invalid UTF-8", "bad.c", ":3: bytes that are not UTF-8");
        source("JSON", "bad.json", ":2: not JSON: ");
        source("YAML", "bad.yaml", ":2: not YAML: illegal map value");
        const QStringList u8g2{"--font-file", Sans, "--format", "u8g2", "--points", "12"};
        QTest::newRow("BDF cut short")
            << QStringList{"--font-file", path("short.bdf"), "--size", "12", "--range", "65"} << 1
            << "short.bdf' is cut short: it ends inside the bitmap of the glyph of U+4E10";
        QTest::newRow("glyph larger than its box")
            << QStringList{"--font-file", path("large.bdf"), "--size", "12", "--range", "65"} << 1
            << "has ink in column 4 of the glyph of U+0028, whose BBX is 3 wide";
        QTest::newRow("an advance past 16.16 pixels")
            << QStringList{"--font-file", path("far.bdf"), "--size", "12", "--range", "65"} << 1
            << "far.bdf would be 65535 pixels at 12 px, more than the 32767 a glyph may take";
        QTest::newRow("size the bitmap face lacks")
            << QStringList{"--font-file", Bitmap, "--size", "16", "--range", "65"} << 2
            << "is a bitmap font with a strike of 12 px; it has no 16 px";
        QTest::newRow("u8g2 above U+FFFF") << u8g2 + QStringList{"--range", "0x41,0x1F600"} << 2
                                           << "u8g2 fonts hold codes up to U+FFFF, and U+1F600 "
                                              "is above it";
        QTest::newRow("u8g2 glyph over 254 bytes")
            << QStringList{"--font-file", Sans,  "--format",  "u8g2",
                           "--points",    "100", "--symbols", "@ "}
            << 2
            << "the glyph of U+0040 would take 374 bytes in the u8g2 font, which holds at most 254 "
               "a glyph; 72 px is the largest size at which every glyph fits";
        QTest::newRow("u8g2 glyph off the offsets")
            << QStringList{"--font-file", Sans,  "--format",  "u8g2",
                           "--points",    "160", "--symbols", "@ "}
            << 2
            << "the glyph of U+0040 lies or moves the pen further than u8g2's offsets of -128 to "
               "127 pixels reach; 72 px is the largest size";
        QTest::newRow("u8g2 two sizes") << u8g2 + QStringList{"--size", "12", "--range", "65"} << 2
                                        << "need one size: --size PX or --points PT";
        QTest::newRow("u8g2 dpi") << u8g2 + QStringList{"--dpi", "100", "--range", "65"} << 2
                                  << "--dpi is for gfx fonts";
        QTest::newRow("u8g2 mode") << u8g2 + QStringList{"--u8g2-mode", "x", "--range", "65"} << 2
                                   << "--u8g2-mode wants t, h, m or 8, not 'x'";
        QTest::newRow("u8g2 mode for lvgl")
            << sans + QStringList{"--u8g2-mode", "m", "--range", "65"} << 2
            << "--u8g2-mode is for u8g2 and u8g2-bin fonts";
        QTest::newRow("u8g2 depth") << u8g2 + QStringList{"--bpp", "1", "--range", "65"} << 2
                                    << "--bpp is for lvgl, lvgl-bin, lvgl-flash, vlw and vlw-c "
                                       "(u8g2 is 1) fonts";
        QTest::newRow("bdf name") << QStringList{"--font-file", Bitmap, "--format", "bdf",
                                                 "--size",      "12",   "--range",  "65",
                                                 "--name",      "x"}
                                  << 2 << "--name is for lvgl, gfx, vlw-c and u8g2 fonts";
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
        QTest::newRow("the groups the other way round")
            << QStringList{"--font-file", serif, "--range", "0x42-0x44",
                           "--font-file", Sans,  "--range", "0x41-0x43"}
            << "41:175 42:176 43:179 44:205";
        QTest::newRow("symbols of a later group")
            << QStringList{"--font-file", Sans,  "--range",   "0x41-0x43",
                           "--font-file", serif, "--symbols", "B"}
            << "41:175 42:188 43:179";
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
        // The vlw font of the same groups holds the same characters, each with
        // the whole-pixel advance of the same glyph (its 1/16 px advance,
        // hinted, is within a pixel of it).
        const CliRun vlw =
            runCli(QStringList{"font", "--size", "16", "--format", "vlw", "-q"} + groups);
        QCOMPARE(vlw.exitCode, 0);
        const auto font = zentraq::testing::readVlw(vlw.out);
        QVERIFY(font);
        for (const QString& pair : expected.split(u' ')) {
            const zentraq::testing::VlwGlyph* g =
                font->find(pair.section(u':', 0, 0).toUInt(nullptr, 16));
            const QString advance = pair.section(u':', 1);
            QCOMPARE(g != nullptr, advance != QLatin1String("-"));
            if (g)
                QVERIFY2(std::abs(g->advance * 16 - advance.toInt()) <= 16, qPrintable(pair));
        }
    }

    // A face's characters reported as missing name that face; --missing
    // lists those of each group.
    void groupsMissing() {
        const QStringList args{"font",        "--font-file", Sans,    "--range",
                               "0x41,0x4E2D", "--font-file", Awesome, "--range",
                               "0xF000,0x42", "--size",      "16"};
        const CliRun made = runCli(args + QStringList{"-o", path("g.c")});
        QCOMPARE(made.exitCode, 0);
        QVERIFY2(made.err.contains("1 of the 2 characters are not in DejaVu Sans Book and are "
                                   "left out: U+4E2D '中'\n"),
                 qPrintable(made.err));
        QVERIFY2(made.err.contains("1 of the 2 characters are not in FontAwesome Regular and are "
                                   "left out: U+0042 'B'\n"),
                 qPrintable(made.err));
        const CliRun listed = runCli(args + QStringList{"--missing", "-q"});
        QCOMPARE(listed.exitCode, 1);
        QCOMPARE(listed.out, QByteArray("U+4E2D '中'\nU+0042 'B'\n"));
    }

    // The fallback font: declared, and LVGL's field set (v9 and v8.3).
    void fallback() {
        for (const char* v : {"9", "8"}) {
            const CliRun r = runCli({"font", "--font-file", Sans, "--size", "16", "--range", "65",
                                     "--lvgl", v, "--lv-fallback", "font_cjk_16", "-q"});
            QCOMPARE(r.exitCode, 0);
            QVERIFY(r.out.contains("extern const lv_font_t font_cjk_16;\n"));
            QVERIFY(r.out.contains("    .fallback = &font_cjk_16,\n"));
        }
    }

    // --chars-from: the literals of C sources, the string values of tables,
    // a GBK copy read as GBK; --list-chars shows the set and writes nothing;
    // the depfile names every file read.
    void charsFrom() {
        QVERIFY(zentraq::testing::writeFile(
            path("menu.c"), "#include \"menu.h\"\n/* \"注释\" */\n"
                            "static const char* items[] = {\"设置\", u8\"网络\", \"\\u4E2D\"};\n"));
        QVERIFY(zentraq::testing::writeFile(path("zh.json"), "{\"title\": \"标题\", \"n\": 3}"));
        QVERIFY(zentraq::testing::writeFile(path("zh.yml"), "zh-CN:\n  ok: 确定\n"));
        const QStringList face{"font", "--font-file", UMing, "--size", "16"};
        const QStringList sources{"--chars-from",  path("menu.c"), "--chars-from",
                                  path("zh.json"), "--chars-from", path("zh.yml")};
        const CliRun listed = runCli(face + sources + QStringList{"--list-chars"});
        QCOMPARE(listed.exitCode, 0);
        QCOMPARE(QString::fromUtf8(listed.out), QStringLiteral("中定标确络网置设题\n"));
        QCOMPARE(listed.err, QString());

        // The same source in GBK, as a Windows IDE saves it.
        QProcess iconv;
        iconv.setStandardInputFile(path("menu.c"));
        iconv.setStandardOutputFile(path("menu_gbk.c"));
        iconv.start(QStringLiteral("iconv"), {"-f", "UTF-8", "-t", "GBK"});
        QVERIFY(iconv.waitForFinished(30000) && iconv.exitCode() == 0);
        const CliRun gbk = runCli(face + QStringList{"--chars-from", path("menu_gbk.c"),
                                                     "--source-encoding", "gbk", "--list-chars"});
        QCOMPARE(gbk.exitCode, 0);
        QCOMPARE(QString::fromUtf8(gbk.out), QStringLiteral("中络网置设\n"));
        const CliRun notUtf8 =
            runCli(face + QStringList{"--chars-from", path("menu_gbk.c"), "--list-chars"});
        QCOMPARE(notUtf8.exitCode, 1);
        QCOMPARE(notUtf8.err, "zentraq-cli: " + path("menu_gbk.c") +
                                  ":2: bytes that are not UTF-8 (give --source-encoding)\n");

        const CliRun made =
            runCli(face + sources +
                   QStringList{"-o", path("menu_font.c"), "--depfile", path("menu_font.d"), "-q"});
        QCOMPARE(made.exitCode, 0);
        const QByteArray dep = readFile(path("menu_font.d"));
        for (const QString& read : {path("menu.c"), path("zh.json"), path("zh.yml"), UMing})
            QVERIFY2(dep.contains(read.toUtf8()), dep.constData());
    }

    // The set is the union of every --range, --symbols and --charset, each
    // character once: ASCII's 95, "AB中" adds 中, the range two more, the
    // file 国 (its 中 is there already).
    void characterUnion() {
        QVERIFY(zentraq::testing::writeFile(path("chars.txt"), "中国\n"));
        const QString vlw = path("union.vlw");
        const CliRun r = runCli({"font", "--font-file", UMing, "--size", "16", "--format", "vlw",
                                 "--charset", "ascii", "--symbols", "AB中", "--range", "0x4E00",
                                 "--range", "0x4E01", "--charset", path("chars.txt"), "-o", vlw});
        QCOMPARE(r.exitCode, 0);
        const QByteArray b = readFile(vlw);
        QCOMPARE(be32(b, 0), 95u + 4u);
        const auto f = zentraq::testing::readVlw(b);
        QVERIFY(f);
        for (const uint cp : {0x20u, 0x7Eu, 0x4E00u, 0x4E01u, 0x4E2Du, 0x56FDu})
            QVERIFY2(f->find(cp), qPrintable(QString::number(cp, 16)));
    }

    // Characters the face lacks: one line naming how many and the first
    // few, the font made without them; --missing lists them and exits 1.
    void missingCharacters() {
        const QStringList args{"font",    "--font-file", Sans,        "--size",      "12",
                               "--range", "0x41-0x43",   "--symbols", "中文字体测试"};
        const CliRun made = runCli(args + QStringList{"-o", path("m.c")});
        QCOMPARE(made.exitCode, 0);
        QVERIFY2(
            made.err.startsWith(
                "6 of the 9 characters are not in DejaVu Sans Book and are left out: "
                "U+4E2D '中', U+4F53 '体', U+5B57 '字', U+6587 '文', U+6D4B '测' and 1 more\n"),
            qPrintable(made.err));
        QCOMPARE(made.err.count(u'\n'), 2); // and the summary
        const CliRun listed = runCli(args + QStringList{"--missing", "-q"});
        QCOMPARE(listed.exitCode, 1);
        QCOMPARE(listed.out.count('\n'), 6);
        QVERIFY(listed.out.startsWith("U+4E2D '中'\n"));
        QCOMPARE(runCli({"font", "--font-file", Sans, "--size", "12", "--range", "65", "--missing"})
                     .exitCode,
                 0);
    }

    // The faces of a collection by index.
    void collectionFaces() {
        QStringList names;
        for (const char* index : {"0", "1", "3"}) {
            const CliRun r = runCli({"font", "--font-file", UMing, "--face-index", index, "--size",
                                     "16", "--symbols", "中", "-o", path("u.c")});
            QCOMPARE(r.exitCode, 0);
            const QByteArray c = readFile(path("u.c"));
            names << QString::fromUtf8(
                c.mid(c.indexOf("from ") + 5, c.indexOf(" (") - c.indexOf("from ") - 5));
        }
        QVERIFY2(names[0] != names[1] && names[1] != names[2] && names[0] != names[2],
                 qPrintable(names.join(u'|')));
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

    // The flash image serves both LVGL versions: --lvgl 9 is taken and
    // changes nothing. Its sample is drawn from the image as the runtime
    // reads it, and equals the sample of the C font of the same glyphs.
    void flashImage() {
        const QString text = QStringLiteral("AVATAR Wolf,\nTür 12 °C ☃");
        const QStringList common{"font",    "--font-file",         Sans,       "--size", "20",
                                 "--range", "0x20-0x7E,0xA0-0xFF", "--sample", text};
        const CliRun flash =
            runCli(common + QStringList{"--format", "lvgl-flash", "--sample-output",
                                        path("flash.png"), "-o", path("f.bin")});
        QCOMPARE(flash.exitCode, 0);
        QVERIFY2(flash.err.contains(QStringLiteral("2 spans (0 ranked), a 32-byte index")),
                 qPrintable(flash.err));
        QCOMPARE(readFile(path("f.bin")).left(6), QByteArray("ZTFF\x01\0", 6));
        const CliRun again =
            runCli(common + QStringList{"--format", "lvgl-flash", "--lvgl", "9", "--sample-output",
                                        path("again.png"), "-q", "-o", path("again.bin")});
        QCOMPARE(again.exitCode, 0);
        QCOMPARE(readFile(path("again.bin")), readFile(path("f.bin")));
        const CliRun c =
            runCli(common + QStringList{"--sample-output", path("c.png"), "-q", "-o", path("f.c")});
        QCOMPARE(c.exitCode, 0);
        const QImage fromImage(path("flash.png")), fromC(path("c.png"));
        QVERIFY(!fromC.isNull());
        QCOMPARE(fromImage, fromC);
    }

    // The largest size the refusal names is the largest that works.
    void u8g2LargestSize() {
        const QStringList at{"font",      "--font-file", Sans, "--format", "u8g2",
                             "--symbols", "@ ",          "-q", "--points"};
        QCOMPARE(runCli(at + QStringList{"72", "-o", path("72.c")}).exitCode, 0);
        const CliRun r = runCli(at + QStringList{"73", "-o", path("73.c")});
        QCOMPARE(r.exitCode, 2);
        QVERIFY2(r.err.contains("72 px is the largest size"), qPrintable(r.err));
    }

    // A bitmap font draws glyph cells at its strikes only, and a damaged
    // BDF file is refused there too.
    void bitmapFaceCells_data() {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("message");
        QTest::newRow("glyph at 16 px")
            << QStringList{"glyph", "--size", "16x16", "--font-file", Bitmap, "A"} << 2
            << "is a bitmap font with a strike of 12 px; it has no 16 px (the cell's height, or "
               "--pixel-size)";
        QTest::newRow("library at 14 px")
            << QStringList{"library",      "--charset", "ascii",       "--size", "16x16",
                           "--pixel-size", "14",        "--font-file", Bitmap}
            << 2 << "it has no 14 px";
        QTest::newRow("glyph from a BDF cut short")
            << QStringList{"glyph", "--size", "12x12", "--font-file", path("short.bdf"), "A"} << 1
            << "is cut short";
        QTest::newRow("glyph at its strike")
            << QStringList{"glyph", "--size", "12x12", "--font-file", Bitmap, "A"} << 0
            << QString();
    }
    void bitmapFaceCells() {
        QFETCH(QStringList, args);
        QFETCH(int, code);
        QFETCH(QString, message);
        QTemporaryDir out;
        const CliRun r = runCli(args + QStringList{"-q", "-o", out.filePath("g.txt")});
        QCOMPARE(r.exitCode, code);
        if (code == 0) {
            QCOMPARE(listing(out.path()), QStringList{"g.txt"});
            return;
        }
        QVERIFY2(r.err.count(u'\n') == 1 && r.err.contains(message), qPrintable(r.err));
        QCOMPARE(listing(out.path()), QStringList());
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
        QTest::newRow("8") << bitmap + QStringList{"--u8g2-mode", "8"}
                           << QByteArray("U8X8_FONT_SECTION(\"f\")");
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

    // bdfconv makes of our BDF file the u8g2 font we make of the face
    // itself: here the tool stands in for it, reading the BDF file back
    // (tests/font/u8g2 holds the same with bdfconv). Only the count of the
    // face's glyphs in the header comment differs: the BDF file holds the
    // chosen ones.
    void bdfMakesTheSameU8g2Font() {
        const QStringList set{"--range", "0x20-0xFF"};
        QCOMPARE(runCli(QStringList{"font", "--font-file", Sans, "--points", "12", "--format",
                                    "bdf", "-q", "-o", path("sans.bdf")} +
                        set)
                     .exitCode,
                 0);
        const CliRun fromFace = runCli(QStringList{"font", "--font-file", Sans, "--points", "12",
                                                   "--format", "u8g2", "--name", "f", "-q"} +
                                       set);
        const CliRun fromBdf = runCli(QStringList{"font", "--font-file", path("sans.bdf"), "--size",
                                                  "12", "--format", "u8g2", "--name", "f", "-q"} +
                                      set);
        QCOMPARE(fromFace.exitCode, 0);
        QCOMPARE(fromBdf.exitCode, 0);
        QVERIFY(fromFace.out.contains("  Glyphs: 191/5370\n"));
        QVERIFY(fromBdf.out.contains("  Glyphs: 191/191\n"));
        QCOMPARE(QByteArray(fromBdf.out).replace("191/191", "191/5370"), fromFace.out);
    }
};

QTEST_GUILESS_MAIN(TestCliFont)
#include "test_cli_font.moc"
