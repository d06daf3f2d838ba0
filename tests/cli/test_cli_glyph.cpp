// zentraq-cli glyph and library as a process: C that compiles to the binary
// library, with the code-point table of a charset file; and every
// refused command line of glyph and library with its exit code and message.
// (What each layout and charset makes is pinned by tests/identity.)
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

    // The C form of GB2312 compiles to the bytes of the binary library.
    // (Where each character lies in the GB2312 and GBK libraries, and the
    // unassigned codes, are pinned by tests/identity.)
    void gb2312Compiles() {
        const QStringList library{"library", "--charset", "gb2312", "--size", "16x16", "-q"};
        const CliRun bin = runCli(library + QStringList{"--binary"});
        QCOMPARE(bin.out.size(), 87 * 94 * 32);
        const CliRun c = runCli(library + QStringList{"--format", "c"});
        QCOMPARE(c.exitCode, 0);
        QTemporaryDir build;
        QString error;
        const QByteArray compiled =
            compileAndRun(build.path(), c.out, dumpArray("font_data"), &error);
        if (error == QLatin1String("no cc"))
            QSKIP("no C compiler");
        QVERIFY2(error.isEmpty(), qPrintable(error));
        QCOMPARE(compiled, bin.out);
    }

    // A charset file: its distinct characters in code-point order, a byte
    // order mark and control characters left out, in the C form's sorted
    // code-point table.
    void fromFile() {
        const QString chars = path(QStringLiteral("menu.txt"));
        QVERIFY(writeFile(chars, QStringLiteral("\uFEFF中A中\r\nb\tA").toUtf8()));
        const CliRun bin =
            runCli({"library", "--charset", chars, "--size", "16x16", "-q", "--binary"});
        QCOMPARE(bin.out.size(), 3 * 32);

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
