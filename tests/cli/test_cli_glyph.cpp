// zentraq-cli glyph and library as a process: cell sizes; where known
// characters lie in the GB2312, GBK and file charsets (each slot compared
// with the glyph command's bytes for the character), all-zero unassigned
// codes, file sizes, C that compiles to the binary file with its code-point
// table; and every refused command line of glyph and library with its exit
// code and message. (What each layout makes is pinned by tests/identity.)
#include "cli_runner.h"

#include <QImage>
#include <QTemporaryDir>
#include <QTest>

using zentraq::testing::CliRun;
using zentraq::testing::compileAndRun;
using zentraq::testing::dumpArray;
using zentraq::testing::readFile;
using zentraq::testing::runCli;
using zentraq::testing::writeFile;

namespace {

QByteArray glyphBytes(const QString& size, const QString& ch, const QStringList& layout = {}) {
    const CliRun r = runCli(QStringList{"glyph", "--size", size, ch, "--binary", "-q"} + layout);
    return r.exitCode == 0 ? r.out : QByteArray("<failed>");
}

} // namespace

class TestCliGlyph : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_pic3;

    QString path(const QString& name) const { return m_dir.filePath(name); }

private slots:
    void initTestCase() {
        QVERIFY(m_dir.isValid());
        m_pic3 = path(QStringLiteral("pic%1%2.png")); // a name that a later arg() would garble
        QImage picture(3, 3, QImage::Format_RGB32);
        picture.fill(Qt::red);
        QVERIFY(picture.save(m_pic3));
        QVERIFY(writeFile(path(QStringLiteral("bad-utf8.txt")), "A\xC3("));
        QVERIFY(writeFile(path(QStringLiteral("controls.txt")), "\r\n\t\r\n"));
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
    // Slot ((row - 1) * 94 + (cell - 1)) of 32 bytes: 啊 is row 16 cell 1,
    // 齄 row 87 cell 94 (the last slot); row 10 and the end of row 55 are
    // unassigned.
    void gb2312() {
        const QString lib = path(QStringLiteral("gb16.bin"));
        const CliRun r = runCli({"library", "--charset", "gb2312", "--size", "16x16", "-o", lib});
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(r.err, QStringLiteral(
                            "8178 slots, 7445 of them characters, 32 bytes each: 261696 bytes\n"));
        const QByteArray data = readFile(lib);
        QCOMPARE(data.size(), 87 * 94 * 32);
        QCOMPARE(data.mid(15 * 94 * 32, 32), glyphBytes("16x16", QStringLiteral("啊")));
        QCOMPARE(data.mid(86 * 94 * 32 + 93 * 32, 32), glyphBytes("16x16", QStringLiteral("齄")));
        QCOMPARE(data.mid(0 * 94 * 32 + 0 * 32, 32), glyphBytes("16x16", QStringLiteral("\u3000")));
        QCOMPARE(data.mid(9 * 94 * 32, 94 * 32), QByteArray(94 * 32, '\0'));
        QCOMPARE(data.mid(54 * 94 * 32 + 89 * 32, 5 * 32), QByteArray(5 * 32, '\0'));
        QVERIFY(data.mid(54 * 94 * 32 + 88 * 32, 32).count('\0') < 32); // 55-89 is a character

        // The C form compiles to the same bytes.
        const CliRun c =
            runCli({"library", "--charset", "gb2312", "--size", "16x16", "--format", "c", "-q"});
        QCOMPARE(c.exitCode, 0);
        for (const char* recorded :
             {"charset: gb2312, 87 x 94 slots", "cell: 16x16 (16*16汉字), 32 bytes each",
              "((row - 1) * 94 + (cell - 1)) * B, B = 32", "unassigned codes are all zero",
              "/* 0xB0A1 U+554A '啊' */", "/* 0xAAA1 unassigned */"})
            QVERIFY2(c.out.contains(recorded), recorded);
        QTemporaryDir build;
        QString error;
        const QByteArray compiled =
            compileAndRun(build.path(), c.out, dumpArray("font_data"), &error);
        if (error == QLatin1String("no cc"))
            QSKIP("no C compiler");
        QVERIFY2(error.isEmpty(), qPrintable(error));
        QCOMPARE(compiled, data);
    }

    // GBK at 8x8 and page scan: 啊 (0xB0A1) in slot (0xB0 - 0x81) * 190 +
    // 0xA1 - 0x40 - 1 = 9026, 丂 (0x8140) in slot 0, the unassigned 0xAAA1 in
    // slot 7886.
    void gbk() {
        const QStringList page{"--scan", "page"};
        const CliRun r = runCli(QStringList{"library", "--charset", "gbk", "--size", "8x8", "-q"} +
                                page + QStringList{"-o", path(QStringLiteral("gbk.bin"))});
        QCOMPARE(r.exitCode, 0);
        const QByteArray data = readFile(path(QStringLiteral("gbk.bin")));
        QCOMPARE(data.size(), 126 * 190 * 8);
        QCOMPARE(data.mid(9026 * 8, 8), glyphBytes("8x8", QStringLiteral("啊"), page));
        QCOMPARE(data.mid(0, 8), glyphBytes("8x8", QStringLiteral("丂"), page));
        QCOMPARE(data.mid(7886 * 8, 8), QByteArray(8, '\0'));
    }

    // A charset file: its distinct characters in code-point order, control
    // characters left out; the C form adds the sorted code-point table.
    // --chars-from: the characters of a C source's literals make the same
    // library as a charset file of them, and the same glyph data as the
    // text of them in code order; --list-chars shows them.
    void charsFromSources() {
        QVERIFY(writeFile(path("menu.c"),
                          "#include \"menu.h\" // \"注释\"\n"
                          "const char* m[] = {\"设置\", u8\"BA\", \"\\u4E2D\"};\n"));
        QVERIFY(writeFile(path("menu.txt"), "AB中置设"));
        const QStringList cell{"--size", "16x16", "-q"};
        const CliRun viaSources =
            runCli(QStringList{"library", "--chars-from", path("menu.c")} + cell);
        const CliRun viaCharset =
            runCli(QStringList{"library", "--charset", path("menu.txt")} + cell);
        QCOMPARE(viaSources.exitCode, 0);
        QCOMPARE(viaSources.out.size(), 5 * 32);
        QCOMPARE(viaSources.out, viaCharset.out);
        const CliRun glyphs = runCli(QStringList{"glyph", "--chars-from", path("menu.c")} + cell);
        QCOMPARE(glyphs.exitCode, 0);
        QCOMPARE(glyphs.out, runCli(QStringList{"glyph", "AB中置设"} + cell).out);
        for (const char* command : {"library", "glyph"}) {
            const CliRun listed =
                runCli(QStringList{command, "--chars-from", path("menu.c"), "--list-chars"} + cell);
            QCOMPARE(listed.exitCode, 0);
            QCOMPARE(QString::fromUtf8(listed.out), QStringLiteral("AB中置设\n"));
        }
        const CliRun both = runCli(
            QStringList{"library", "--chars-from", path("menu.c"), "--charset", "gb2312"} + cell);
        QCOMPARE(both.exitCode, 2);
        QCOMPARE(both.err,
                 QStringLiteral("zentraq-cli: give --charset or --chars-from, not both\n"));
    }

    void fromFile() {
        const QString chars = path(QStringLiteral("menu.txt"));
        QVERIFY(writeFile(chars, QStringLiteral("\uFEFF中A中\r\nb\tA").toUtf8()));
        const CliRun bin =
            runCli({"library", "--charset", chars, "--size", "16x16", "-q", "--binary"});
        QCOMPARE(bin.exitCode, 0);
        QCOMPARE(bin.out, glyphBytes("16x16", "A") + glyphBytes("16x16", "b") +
                              glyphBytes("16x16", QStringLiteral("中")));

        const CliRun c = runCli({"library", "--charset", chars, "--size", "16x16", "-q", "--format",
                                 "c", "--name", "menu"});
        QCOMPARE(c.exitCode, 0);
        QVERIFY(c.out.contains("index i of menu_codes"));
        QTemporaryDir build;
        QString error;
        const QByteArray compiled = compileAndRun(
            build.path(), c.out,
            dumpArray("menu") +
                "\n    for (unsigned i = 0; i < sizeof menu_codes / sizeof *menu_codes; ++i)"
                " printf(\" %lX\", (unsigned long)menu_codes[i]);",
            &error);
        if (error == QLatin1String("no cc"))
            QSKIP("no C compiler");
        QVERIFY2(error.isEmpty(), qPrintable(error));
        QCOMPARE(compiled, bin.out + " 41 62 4E2D");
    }

    // Every refused command line (exit 2) and every failure (exit 1) of
    // glyph and library: one line naming the problem, no output, no file.
    void errors_data() {
        zentraq::testing::refusalColumns();
        const QString dir = m_dir.path(), out = dir + "/out.bin", s = "--size", g = "glyph",
                      l = "library";
        auto usage = [](const char* name, const QStringList& args, const QString& message) {
            zentraq::testing::refusal(name, args, 2, message);
        };
        auto fails = [](const char* name, const QStringList& args, const QString& message) {
            zentraq::testing::refusal(name, args, 1, message);
        };
        // clang-format off
        usage("unknown option", {g, s, "8x16", "--colour", "red", "A"}, "unknown option '--colour'");
        usage("option of another command", {g, s, "8x16", "A", "--byte-order", "high-first"}, "'--byte-order' is not an option of glyph");
        usage("value missing", {g, "A", s}, "option '--size' needs a value");
        usage("switch with a value", {g, s, "8x16", "--ascii=yes"}, "option '--ascii' takes no value");
        usage("given twice", {g, s, "8x16", "--size=6x12", "A"}, "option '--size' is given more than once");
        usage("no size", {g, "A"}, "glyph needs --size");
        usage("zero size", {g, s, "0x8", "A", "-o", out}, "--size wants each side from 1 to 256 pixels, not '0x8'");
        usage("too large a size", {l, "--charset", "ascii", s, "257x16", "-o", out}, "not '257x16'");
        usage("not a size", {g, s, "16", "A"}, "not '16'");
        usage("pixel size 0", {g, s, "8x16", "--pixel-size", "0", "A"}, "--pixel-size wants a whole number from 1 to 2048");
        usage("unknown scan", {g, s, "8x16", "--scan", "diagonal", "A", "-o", out}, "--scan wants row, column, page or band, not 'diagonal'");
        usage("pad with page", {l, "--charset", "ascii", s, "8x16", "--scan", "page", "--pad", "-o", out}, "--pad is for the row and column scans");
        usage("unknown charset", {l, "--charset", "big5", s, "16x16", "-o", out}, "'big5' is neither a charset name nor a file");
        usage("no charset", {l, s, "16x16", "-o", out}, "library needs --charset");
        usage("no text", {g, s, "8x16"}, "glyph needs a TEXT");
        usage("font and font file", {g, s, "8x16", "A", "--font", "x", "--font-file", "y"}, "exclude each other");
        usage("binary and C", {g, s, "8x16", "A", "--binary", "--format", "c"}, "exclude each other");
        usage("name without C", {g, s, "8x16", "A", "--name", "x"}, "--name names the array");
        usage("name not an identifier", {g, s, "8x16", "A", "--format=c", "--name", "9lives"}, "C identifier");
        usage("name a keyword", {g, s, "8x16", "A", "--format=c", "--name", "int"}, "not the C keyword 'int'");
        usage("name a C23 keyword", {l, "--charset", "ascii", s, "8x16", "--format=c", "--name", "true", "-o", out}, "not the C keyword 'true'");
        usage("missing with output", {g, s, "8x16", "A", "--missing", "-o", "x"}, "--missing only lists");
        usage("missing with a layout", {l, "--charset", "ascii", s, "8x16", "--missing", "--scan", "page"}, "--missing only lists");
        fails("device as font file", {g, s, "8x16", "A", "--font-file", "/dev/null"}, "cannot read font file '/dev/null': it is not a file");
        fails("unreadable text file", {g, s, "8x16", "--input", dir + "/nothere.txt"}, QStringLiteral("cannot read '%1/nothere.txt'").arg(dir));
        fails("text not UTF-8", {g, s, "8x16", "--input", dir + "/bad-utf8.txt", "-o", out}, "is not UTF-8 text");
        fails("charset not UTF-8", {l, "--charset", dir + "/bad-utf8.txt", s, "16x16", "-o", out}, "charset file '" + dir + "/bad-utf8.txt' is not UTF-8 text");
        fails("charset without characters", {l, "--charset", dir + "/controls.txt", s, "16x16", "-o", out}, "holds no characters");
        fails("output is a folder", {g, s, "8x16", "A", "-o", dir}, "it is a folder");
        fails("output under a file", {g, s, "8x16", "A", "-o", m_pic3 + "/x.txt"}, "cannot write '" + m_pic3 + "/x.txt': '" + m_pic3 + "' is not a folder");
        fails("font not installed", {g, s, "8x16", "--font", "No Such Family 42", "A"}, "font family 'No Such Family 42' is not installed");
        fails("not a font file", {l, "--charset", "ascii", s, "8x16", "--font-file", m_pic3, "-o", out}, "is not a font file");
        fails("empty text as C", {g, s, "8x16", "--format", "c", "\r\n", "-o", out}, "no characters");
        fails("endless text", {g, s, "8x16", "--input", "/dev/zero", "-o", out}, "cannot read '/dev/zero': it holds more than 256 MiB");
        fails("endless charset", {l, "--charset", "/dev/zero", s, "8x16", "-o", out}, "cannot read '/dev/zero': it holds more than 256 MiB");
        // clang-format on
    }
    void errors() { zentraq::testing::expectRefusal(m_dir.path()); }
};

QTEST_GUILESS_MAIN(TestCliGlyph)
#include "test_cli_glyph.moc"
