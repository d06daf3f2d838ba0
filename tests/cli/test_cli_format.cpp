// The tool's own pieces, in process: comment escaping and the C arrays (proved
// by compiling them), reading data text back, the in-place reshaping of data
// text, and the command line.
#include "cformat.h"
#include "datatext.h"
#include "options.h"

#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

using namespace zentraq::cli;

namespace {

QString ucs4(char32_t cp) {
    return QStringView(QChar::fromUcs4(cp)).toString();
}

// Compiles `source` with a main() that prints sizeof and every byte of
// `array`, runs it and returns what it printed; empty with `error` set when
// the compiler complained.
QByteArray compileAndDump(const QString& compiler, const QByteArray& source, const QByteArray& array,
                          QString* error) {
    QTemporaryDir dir;
    const bool cpp = compiler.endsWith(QLatin1String("++"));
    const QString file = dir.filePath(cpp ? QStringLiteral("data.cpp") : QStringLiteral("data.c"));
    QFile out(file);
    if (!out.open(QIODevice::WriteOnly)) {
        *error = out.errorString();
        return {};
    }
    out.write(source);
    out.write("\n#include <stdio.h>\nint main(void) {\n"
              "    printf(\"%u:\", (unsigned)sizeof " + array + ");\n"
              "    for (unsigned i = 0; i < sizeof " + array + "; ++i) printf(\"%02X,\", " + array + "[i]);\n"
              "    return 0;\n}\n");
    out.close();

    QProcess cc;
    const QString exe = dir.filePath(QStringLiteral("dump"));
    cc.start(compiler, {QStringLiteral("-Wall"), QStringLiteral("-Wextra"), QStringLiteral("-Werror"),
                        QStringLiteral("-Wcomment"), QStringLiteral("-pedantic"), file, QStringLiteral("-o"), exe});
    cc.waitForFinished(60000);
    if (cc.exitCode() != 0) {
        *error = QString::fromUtf8(cc.readAllStandardError());
        return {};
    }
    QProcess run;
    run.start(exe, {});
    run.waitForFinished(10000);
    return run.readAllStandardOutput();
}

// "N:HH,HH,..." as compileAndDump prints it.
QByteArray dumpOf(const QByteArray& bytes) {
    QByteArray s = QByteArray::number(bytes.size()) + ':';
    for (char b : bytes)
        s += QByteArray::number(static_cast<unsigned char>(b), 16).toUpper().rightJustified(2, '0') + ',';
    return s;
}

} // namespace

class TestCliFormat : public QObject {
    Q_OBJECT

private slots:
    void commentText_data() {
        QTest::addColumn<QString>("input");
        QTest::addColumn<QString>("expected");
        QTest::newRow("plain") << QStringLiteral("AR PL UMing CN") << QStringLiteral("AR PL UMing CN");
        QTest::newRow("Chinese") << QStringLiteral("宋体") << QStringLiteral("宋体");
        QTest::newRow("end of comment") << QStringLiteral("a*/b") << QStringLiteral("a*\\/b");
        QTest::newRow("start of comment") << QStringLiteral("a/*b") << QStringLiteral("a/\\*b");
        QTest::newRow("stars and slashes") << QStringLiteral("**//**/") << QStringLiteral("**\\//\\**\\/");
        QTest::newRow("trailing backslash") << QStringLiteral("C:\\fonts\\") << QStringLiteral("C:\\\\fonts\\\\");
        QTest::newRow("CR LF tab") << QStringLiteral("a\r\n\tb") << QStringLiteral("a\\r\\n\\tb");
        QTest::newRow("NUL ESC DEL") << (QStringLiteral("a") + QChar(0) + QChar(0x1B) + QChar(0x7F))
                                     << QStringLiteral("a\\x00\\x1B\\x7F");
        QTest::newRow("next line") << ucs4(0x85) << QStringLiteral("\\x85");
        QTest::newRow("line separator") << ucs4(0x2028) << QStringLiteral("\\u2028");
        QTest::newRow("paragraph separator") << ucs4(0x2029) << QStringLiteral("\\u2029");
        QTest::newRow("right-to-left override") << ucs4(0x202E) << QStringLiteral("\\u202E");
        QTest::newRow("byte-order mark") << ucs4(0xFEFF) << QStringLiteral("\\uFEFF");
        QTest::newRow("private use") << ucs4(0xE000) << QStringLiteral("\\uE000");
        QTest::newRow("unpaired surrogate") << QString(QChar(0xD800)) << QStringLiteral("\\uD800");
        QTest::newRow("tag character") << ucs4(0xE0041) << QStringLiteral("\\U000E0041");
        QTest::newRow("emoji stays") << ucs4(0x1F600) << ucs4(0x1F600);
    }

    void commentText() {
        QFETCH(QString, input);
        QFETCH(QString, expected);
        const QString out = zentraq::cli::commentText(input);
        QCOMPARE(out, expected);
        // Whatever the input, nothing in the result can end the comment, open
        // another or break the line.
        QVERIFY(!out.contains(QLatin1String("*/")));
        QVERIFY(!out.contains(QLatin1String("/*")));
        for (QChar c : out)
            QVERIFY2(c.unicode() >= 0x20 && c.unicode() != 0x7F && c.unicode() != 0x85 && c.unicode() != 0x2028 &&
                         c.unicode() != 0x2029,
                     qPrintable(QString::number(c.unicode(), 16)));
    }

    void characterLabel_data() {
        QTest::addColumn<uint>("cp");
        QTest::addColumn<QString>("expected");
        QTest::newRow("letter") << 0x41u << QStringLiteral("U+0041 'A'");
        QTest::newRow("quote") << 0x27u << QStringLiteral("U+0027 '\\''");
        QTest::newRow("backslash") << 0x5Cu << QStringLiteral("U+005C '\\\\'");
        QTest::newRow("CR") << 0x0Du << QStringLiteral("U+000D '\\r'");
        QTest::newRow("Chinese") << 0x4E2Du << QStringLiteral("U+4E2D '中'");
        QTest::newRow("emoji") << 0x1F600u << (QStringLiteral("U+1F600 '") + ucs4(0x1F600) + u'\'');
        QTest::newRow("unpaired surrogate") << 0xDC00u << QStringLiteral("U+DC00 '\\uDC00'");
    }

    void characterLabel() {
        QFETCH(uint, cp);
        QFETCH(QString, expected);
        QCOMPARE(zentraq::cli::characterLabel(cp), expected);
    }

    // The strongest check of the escaping: C made from the worst characters
    // and names compiles without a warning, and the array holds exactly the
    // data, so no comment swallowed a line or a brace.
    void glyphArrayCompiles_data() {
        QTest::addColumn<QString>("compiler");
        QTest::newRow("C") << QStringLiteral("cc");
        QTest::newRow("C++") << QStringLiteral("c++");
    }

    void glyphArrayCompiles() {
        QFETCH(QString, compiler);
        const QString path = QStandardPaths::findExecutable(compiler);
        if (path.isEmpty())
            QSKIP("no compiler");

        const std::vector<char32_t> chars{U'\\', U'*', U'/', U'\r', U'\n', U'\t', 0x1B, 0x2028, 0x202E, 0xD800, U'\''};
        QByteArray dataText;
        QByteArray expected;
        for (std::size_t i = 0; i < chars.size(); ++i) {
            // One byte per "glyph" (a 2 x 4 cell) with a value naming it.
            const auto b = static_cast<unsigned char>(0xA0 + i);
            dataText += "0x" + QByteArray::number(b, 16).toUpper() + ",\r\n";
            expected += static_cast<char>(b);
        }
        GlyphArrayInfo info;
        info.name = QStringLiteral("font_data");
        info.width = 2;
        info.height = 4;
        info.sizeCaption = QStringLiteral("2*4 */ x");
        info.fontFamily = QStringLiteral("Evil */ Family \\");
        info.fontFile = QStringLiteral("/tmp/a*/b/*c\\");
        info.points = 9;
        info.pixels = 12;
        const QByteArray source = glyphArray(info, dataText, chars);
        QVERIFY(source.endsWith("};\r\n"));

        QString error;
        const QByteArray dump = compileAndDump(path, source, "font_data", &error);
        QVERIFY2(error.isEmpty(), qPrintable(error + QString::fromUtf8(source)));
        QCOMPARE(dump, dumpOf(expected));
    }

    void pictureArrayCompiles_data() {
        QTest::addColumn<QByteArray>("lines");
        QTest::addColumn<bool>("lineOpen");
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("ends with a line end")
            << QByteArray("0x00,0xF8,0x00,0xF8,0x00,0xF8,0x00,0xF8,0x00,0xF8,0x00,0xF8,0x00,0xF8,0x00,0xF8,\r\n")
            << false << QByteArray::fromHex("00F800F800F800F800F800F800F800F8");
        QTest::newRow("ends within a line") << QByteArray("0xE0,0x07,0x1F,0x00,") << true
                                            << QByteArray::fromHex("E0071F00");
    }

    void pictureArrayCompiles() {
        QFETCH(QByteArray, lines);
        QFETCH(bool, lineOpen);
        QFETCH(QByteArray, bytes);
        const QString path = QStandardPaths::findExecutable(QStringLiteral("cc"));
        if (path.isEmpty())
            QSKIP("no compiler");
        PictureArrayInfo info;
        info.name = QStringLiteral("logo");
        info.source = QStringLiteral("pictures/*/logo*/x.png\\");
        info.width = static_cast<int>(bytes.size() / 2);
        info.height = 1;
        info.bytes = bytes.size();
        const QByteArray source = pictureArrayHead(info) + lines + pictureArrayTail(lineOpen);
        QString error;
        const QByteArray dump = compileAndDump(path, source, "logo", &error);
        QVERIFY2(error.isEmpty(), qPrintable(error + QString::fromUtf8(source)));
        QCOMPARE(dump, dumpOf(bytes));
    }

    void parseDataText_data() {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("data text") << QByteArray("0x00,0x1F,\r\n0xAB,0xff,\r\n") << QByteArray::fromHex("001FABFF");
        QTest::newRow("one digit, upper-case X") << QByteArray("0x5, 0X0a") << QByteArray::fromHex("050A");
        QTest::newRow("C array with comments")
            << QByteArray("/* made with 0x12 */\nconst unsigned char font0x34[2] = {\n"
                          "0x01, /* U+002A '*' 0x56 */\n0x02, // 0x78\n};\n")
            << QByteArray::fromHex("0102");
        QTest::newRow("escaped end of comment") << QByteArray("/* a*\\/ 0x99 */ 0x07,") << QByteArray::fromHex("07");
        QTest::newRow("decimal numbers and names") << QByteArray("int a[32] = {0x10, 7, b0x2};")
                                                   << QByteArray::fromHex("10");
        QTest::newRow("unterminated comment") << QByteArray("0x01, /* 0x02") << QByteArray::fromHex("01");
        QTest::newRow("nothing") << QByteArray("hello\r\n") << QByteArray();
    }

    void parseDataText() {
        QFETCH(QByteArray, text);
        QFETCH(QByteArray, bytes);
        QCOMPARE(zentraq::cli::parseDataText(text, QStringLiteral("data")), bytes);
    }

    void parseDataTextRefuses_data() {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QString>("message");
        QTest::newRow("larger than a byte") << QByteArray("0x01,\n0x02,\n0x100,") << QStringLiteral("line 3: 0x100");
        QTest::newRow("not hexadecimal") << QByteArray("0x1G,") << QStringLiteral("line 1: '0x1G'");
        QTest::newRow("no digits") << QByteArray("/*\n*/ 0x,") << QStringLiteral("line 2: '0x'");
    }

    void parseDataTextRefuses() {
        QFETCH(QByteArray, text);
        QFETCH(QString, message);
        try {
            zentraq::cli::parseDataText(text, QStringLiteral("d.txt"));
            QFAIL("accepted");
        } catch (const CliError& e) {
            QCOMPARE(e.exitCode(), 1);
            QVERIFY2(e.message().startsWith(QStringLiteral("d.txt, ") + message), qPrintable(e.message()));
        }
    }

    // Each map is its own inverse (so preview undoes an option with the same
    // map), and the bit options do what they say on single pixels.
    void glyphByteMaps() {
        for (bool msb : {false, true}) {
            for (bool invert : {false, true}) {
                const ByteMap map = glyphByteMap(msb, invert);
                for (int v = 0; v < 256; ++v)
                    QCOMPARE(int(map[map[static_cast<std::size_t>(v)]]), v);
            }
        }
        QCOMPARE(int(glyphByteMap(true, false)[0x01]), 0x80);
        QCOMPARE(int(glyphByteMap(true, false)[0xC6]), 0x63);
        QCOMPARE(int(glyphByteMap(false, true)[0x02]), 0xFD);
        QCOMPARE(int(glyphByteMap(true, true)[0x02]), 0xBF);
    }

    void mapItemsKeepsTheLayout() {
        QByteArray text("0x01,0x80,\r\n0xC6,0x00,\r\n");
        mapItems(text.data(), text.size(), glyphByteMap(true, false));
        QCOMPARE(text, QByteArray("0x80,0x01,\r\n0x63,0x00,\r\n"));
    }

    void swapPixelBytes_data() {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QByteArray>("swapped");
        QTest::newRow("one pixel") << QByteArray("0x00,0xF8,") << QByteArray("0xF8,0x00,");
        QTest::newRow("full line and more")
            << QByteArray("0x01,0x02,0x03,0x04,0x05,0x06,0x07,0x08,0x09,0x0A,0x0B,0x0C,0x0D,0x0E,0x0F,0x10,\r\n0xE0,0x07,")
            << QByteArray("0x02,0x01,0x04,0x03,0x06,0x05,0x08,0x07,0x0A,0x09,0x0C,0x0B,0x0E,0x0D,0x10,0x0F,\r\n0x07,0xE0,");
    }

    void swapPixelBytes() {
        QFETCH(QByteArray, text);
        QFETCH(QByteArray, swapped);
        zentraq::cli::swapPixelBytes(text.data(), text.size());
        QCOMPARE(text, swapped);
        QCOMPARE(itemBytes(text.constData(), text.size()).size(), text.count("0x"));
    }

    void refusedCommandLines_data() {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("message");
        const QString s = QStringLiteral("--size"), g = QStringLiteral("glyph");
        QTest::newRow("unknown command") << QStringList{"convert"} << QStringLiteral("unknown command 'convert'");
        QTest::newRow("no size") << QStringList{g, "A"} << QStringLiteral("glyph needs --size");
        QTest::newRow("twice") << QStringList{g, s, "8x16", "--size=6x12", "A"} << QStringLiteral("given more than once");
        QTest::newRow("no text") << QStringList{g, s, "8x16"} << QStringLiteral("glyph needs a TEXT");
        QTest::newRow("two texts") << QStringList{g, s, "8x16", "A", "--ascii"} << QStringLiteral("only one of");
        QTest::newRow("font and font file") << QStringList{g, s, "8x16", "A", "--font", "x", "--font-file", "y"} << QStringLiteral("exclude each other");
        QTest::newRow("option of another command") << QStringList{g, s, "8x16", "A", "--byte-order", "high-first"} << QStringLiteral("not an option of glyph");
        QTest::newRow("binary and C") << QStringList{g, s, "8x16", "A", "--binary", "--format", "c"} << QStringLiteral("exclude each other");
        QTest::newRow("unknown format") << QStringList{"picture", "a.png", "--format", "asm"} << QStringLiteral("--format wants");
        QTest::newRow("name without C") << QStringList{g, s, "8x16", "A", "--name", "x"} << QStringLiteral("--name names the array");
        QTest::newRow("name not an identifier") << QStringList{g, s, "8x16", "A", "--format=c", "--name", "9lives"} << QStringLiteral("C identifier");
        QTest::newRow("missing with output") << QStringList{g, s, "8x16", "A", "--missing", "-o", "x"} << QStringLiteral("--missing only lists");
        QTest::newRow("picture without file") << QStringList{"picture"} << QStringLiteral("picture needs the picture file");
        QTest::newRow("byte order") << QStringList{"picture", "a.png", "--byte-order", "middle"} << QStringLiteral("--byte-order wants");
        QTest::newRow("preview without output") << QStringList{"preview", "d", s, "8x16"} << QStringLiteral("needs -o");
        QTest::newRow("preview without shape") << QStringList{"preview", "d", "-o", "p.png"} << QStringLiteral("either --size");
        QTest::newRow("preview with both shapes") << QStringList{"preview", "d", s, "8x16", "--width", "3", "-o", "p.png"} << QStringLiteral("either --size");
        QTest::newRow("preview glyph too large") << QStringList{"preview", "d", s, "200x200", "-o", "p.png"} << QStringLiteral("at most 32767");
        QTest::newRow("preview bits on pictures") << QStringList{"preview", "d", "--width", "3", "--invert", "-o", "p.png"} << QStringLiteral("for glyph data");
        QTest::newRow("scale") << QStringList{"preview", "d", s, "8x16", "--scale", "0", "-o", "p.png"} << QStringLiteral("--scale wants a whole number from 1 to 64");
    }

    void refusedCommandLines() {
        QFETCH(QStringList, args);
        QFETCH(QString, message);
        try {
            parseArguments(args);
            QFAIL("accepted");
        } catch (const CliError& e) {
            QCOMPARE(e.exitCode(), 2);
            QVERIFY2(e.message().contains(message), qPrintable(e.message()));
        }
    }

    void acceptedCommandLines() {
        // The window's spelling of a size, a text after --, option=value.
        Options o = parseArguments({"glyph", "--size=16*32", "--format=c", "--", "-x"});
        QCOMPARE(o.command, Command::Glyph);
        QCOMPARE(o.width, 16);
        QCOMPARE(o.height, 32);
        QVERIFY(!o.square);
        QCOMPARE(o.source, TextSource::Argument);
        QCOMPARE(o.text, QStringLiteral("-x"));
        QCOMPARE(o.form, DataForm::C);
        QCOMPARE(o.name, QStringLiteral("glyph_data"));

        o = parseArguments({"picture", "in.png", "-o", "out.txt", "--binary", "--byte-order", "high-first"});
        QCOMPARE(o.picture, QStringLiteral("in.png"));
        QCOMPARE(o.output, QStringLiteral("out.txt"));
        QCOMPARE(o.form, DataForm::Binary);
        QVERIFY(o.highByteFirst);

        o = parseArguments({"preview", "-", "--width", "120", "--binary", "-o", "p.png"});
        QCOMPARE(o.data, QStringLiteral("-"));
        QVERIFY(o.dataBinary);
        QCOMPARE(o.pictureWidth, 120);

        o = parseArguments({"picture", "--help"});
        QCOMPARE(o.command, Command::Help);
        QCOMPARE(o.helpTopic, QStringLiteral("picture"));
    }
};

QTEST_GUILESS_MAIN(TestCliFormat)
#include "test_cli_format.moc"
