// zentraq-cli library as a process: where known characters lie in the GB2312,
// GBK, ASCII and file charsets (each slot compared with the glyph command's
// bytes for the character), all-zero unassigned codes, file sizes, and C that
// compiles to the binary file with its code-point table.
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

class TestCliLibrary : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QString path(const QString& name) const { return m_dir.filePath(name); }

private slots:
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

    // ASCII: slot c - 0x20; the layout options apply.
    void ascii() {
        const QStringList layout{"--scan", "band", "--msb-first", "--invert"};
        const CliRun r = runCli(QStringList{"library", "--charset", "ascii", "--size", "12x12",
                                            "--format", "hex", "-q"} +
                                layout);
        QCOMPARE(r.exitCode, 0);
        const QList<QByteArray> lines = r.out.split('\n');
        QCOMPARE(lines.size(), 96); // 95 lines and the empty rest
        QByteArray bytes;
        for (const QByteArray& item : lines[0x41 - 0x20].trimmed().split(','))
            if (!item.isEmpty())
                bytes += char(item.mid(2).toInt(nullptr, 16));
        QCOMPARE(bytes, glyphBytes("12x12", "A", layout));
        QCOMPARE(bytes.size(), 24); // two bands of 12 rows
        QCOMPARE(runCli({"library", "--charset", "ascii", "--size", "12x12", "--missing"}).exitCode,
                 0);
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

        // Read back, the code table is no data: the C form shows the same
        // three glyphs as the binary file.
        const QString fromC = path(QStringLiteral("menu-c.png"));
        const QString fromBinary = path(QStringLiteral("menu-bin.png"));
        QCOMPARE(runCli({"preview", "-", "--size", "16x16", "-o", fromC}, c.out).exitCode, 0);
        QCOMPARE(runCli({"preview", "-", "--binary", "--size", "16x16", "-o", fromBinary}, bin.out)
                     .exitCode,
                 0);
        QCOMPARE(QImage(fromC).size(), QSize(48, 16));
        QCOMPARE(QImage(fromC), QImage(fromBinary));
    }
};

QTEST_GUILESS_MAIN(TestCliLibrary)
#include "test_cli_library.moc"
