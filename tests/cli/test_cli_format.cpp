// The tool's own pieces, in process: comment escaping, reading data text
// back, and what the command line sets. (Refused command lines are checked on
// the tool itself, in test_cli_tool.)
#include "cformat.h"
#include "datatext.h"
#include "files.h"
#include "options.h"

#include <QTest>

using namespace zentraq::cli;

namespace {

QString ucs4(char32_t cp) {
    return QStringView(QChar::fromUcs4(cp)).toString();
}

} // namespace

class TestCliFormat : public QObject {
    Q_OBJECT

private slots:
    void commentText_data() {
        QTest::addColumn<QString>("input");
        QTest::addColumn<QString>("expected");
        QTest::newRow("plain") << QStringLiteral("AR PL UMing CN")
                               << QStringLiteral("AR PL UMing CN");
        QTest::newRow("Chinese") << QStringLiteral("宋体") << QStringLiteral("宋体");
        QTest::newRow("end of comment") << QStringLiteral("a*/b") << QStringLiteral("a*\\/b");
        QTest::newRow("start of comment") << QStringLiteral("a/*b") << QStringLiteral("a/\\*b");
        QTest::newRow("stars and slashes")
            << QStringLiteral("**//**/") << QStringLiteral("**\\//\\**\\/");
        QTest::newRow("trailing backslash")
            << QStringLiteral("C:\\fonts\\") << QStringLiteral("C:\\\\fonts\\\\");
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
        QTest::newRow("byte of a name") << QString(QChar(0xDCFE)) << QStringLiteral("\\xFE");
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
            QVERIFY2(c.unicode() >= 0x20 && c.unicode() != 0x7F && c.unicode() != 0x85 &&
                         c.unicode() != 0x2028 && c.unicode() != 0x2029,
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

    // Arguments as bytes: UTF-8 characters become text, every other byte
    // b a code unit U+DC00 + b of its own, and the bytes come back whole.
    void argumentBytes_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("shown");
        const auto kept = [](std::initializer_list<char16_t> units) {
            QString s;
            for (char16_t u : units)
                s += QChar(u);
            return s;
        };
        QTest::newRow("ASCII") << QByteArray("a%1.png") << QStringLiteral("a%1.png")
                               << QStringLiteral("a%1.png");
        QTest::newRow("Chinese") << QByteArray("\xe4\xb8\xad.png") << QStringLiteral("中.png")
                                 << QStringLiteral("中.png");
        QTest::newRow("four bytes")
            << QByteArray("\xf0\x9f\x98\x80") << ucs4(0x1F600) << ucs4(0x1F600);
        QTest::newRow("stray bytes") << QByteArray("bad\xff\xfe.png")
                                     << QStringLiteral("bad") + kept({0xDCFF, 0xDCFE}) + ".png"
                                     << QStringLiteral("bad\\xFF\\xFE.png");
        QTest::newRow("overlong slash")
            << QByteArray("\xc0\xaf") << kept({0xDCC0, 0xDCAF}) << QStringLiteral("\\xC0\\xAF");
        QTest::newRow("encoded surrogate")
            << QByteArray("\xed\xa0\x80") << kept({0xDCED, 0xDCA0, 0xDC80})
            << QStringLiteral("\\xED\\xA0\\x80");
        QTest::newRow("above U+10FFFF")
            << QByteArray("\xf4\x90\x80\x80") << kept({0xDCF4, 0xDC90, 0xDC80, 0xDC80})
            << QStringLiteral("\\xF4\\x90\\x80\\x80");
        QTest::newRow("cut short") << QByteArray("\xe4\xb8x") << kept({0xDCE4, 0xDCB8}) + "x"
                                   << QStringLiteral("\\xE4\\xB8x");
        QTest::newRow("a kept byte after a pair")
            << QByteArray("\xf0\x9f\x98\x80\xbf") << ucs4(0x1F600) + kept({0xDCBF})
            << ucs4(0x1F600) + QStringLiteral("\\xBF");
    }

    void argumentBytes() {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, text);
        QFETCH(QString, shown);
        QCOMPARE(argumentText(bytes.constData()), text);
        QCOMPARE(nativeName(text), bytes);
        QCOMPARE(readable(text), shown);
    }

    void parseDataText_data() {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("data text")
            << QByteArray("0x00,0x1F,\r\n0xAB,0xff,\r\n") << QByteArray::fromHex("001FABFF");
        QTest::newRow("one digit, upper-case X")
            << QByteArray("0x5, 0X0a") << QByteArray::fromHex("050A");
        QTest::newRow("C array with comments")
            << QByteArray("/* made with 0x12 */\nconst unsigned char font0x34[2] = {\n"
                          "0x01, /* U+002A '*' 0x56 */\n0x02, // 0x78\n};\n")
            << QByteArray::fromHex("0102");
        QTest::newRow("escaped end of comment")
            << QByteArray("/* a*\\/ 0x99 */ 0x07,") << QByteArray::fromHex("07");
        QTest::newRow("decimal numbers and names")
            << QByteArray("int a[32] = {0x10, 7, b0x2};") << QByteArray::fromHex("10");
        QTest::newRow("unterminated comment")
            << QByteArray("0x01, /* 0x02") << QByteArray::fromHex("01");
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
        QTest::newRow("larger than a byte")
            << QByteArray("0x01,\n0x02,\n0x100,") << QStringLiteral("line 3: 0x100");
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
            QVERIFY2(e.message().startsWith(QStringLiteral("d.txt, ") + message),
                     qPrintable(e.message()));
        }
    }

    void acceptedCommandLines() {
        // The window's spelling of a size, a text after --, option=value.
        Options o = parseArguments({"glyph", "--size=16*32", "--format=c", "--", "-x"});
        QCOMPARE(o.command, Command::Glyph);
        QCOMPARE(o.width, 16);
        QCOMPARE(o.height, 32);
        QVERIFY(o.preset && !o.square);
        QCOMPARE(o.source, TextSource::Argument);
        QCOMPARE(o.text, QStringLiteral("-x"));
        QCOMPARE(o.form, zentraq::core::DataForm::C);
        QCOMPARE(o.name, QStringLiteral("glyph_data"));
        QCOMPARE(o.layout.scan, zentraq::core::Scan::Row);

        // Any cell, its face size, a layout.
        o = parseArguments({"glyph", "--size", "5x7", "--pixel-size", "8", "--scan", "column",
                            "--pad", "--msb-first", "--invert", "--ascii"});
        QVERIFY(!o.preset);
        QCOMPARE(o.pixelSize, 8);
        QCOMPARE(o.layout.scan, zentraq::core::Scan::Column);
        QVERIFY(o.layout.pad && o.layout.msbFirst && o.invert);
        QCOMPARE(o.source, TextSource::Ascii);
        QCOMPARE(parseArguments({"glyph", "--size", "256x256", "A"}).width, 256);

        o = parseArguments(
            {"picture", "in.png", "-o", "out.txt", "--binary", "--byte-order", "high-first"});
        QCOMPARE(o.picture, QStringLiteral("in.png"));
        QCOMPARE(o.output, QStringLiteral("out.txt"));
        QCOMPARE(o.form, zentraq::core::DataForm::Binary);
        QVERIFY(o.highByteFirst);

        o = parseArguments({"preview", "-", "--width", "120", "--binary", "-o", "p.png"});
        QCOMPARE(o.data, QStringLiteral("-"));
        QVERIFY(o.dataBinary);
        QCOMPARE(o.pictureWidth, 120);
        QCOMPARE(
            parseArguments({"preview", "d", "--size", "256x256", "--scan", "band", "-o", "p.png"})
                .layout.scan,
            zentraq::core::Scan::Band);

        // A library is binary unless a text form is asked for.
        o = parseArguments({"library", "--charset", "gb2312", "--size", "16x16", "-o", "f.bin"});
        QCOMPARE(o.command, Command::Library);
        QCOMPARE(o.charset, QStringLiteral("gb2312"));
        QCOMPARE(o.form, zentraq::core::DataForm::Binary);
        o = parseArguments(
            {"library", "--charset", "chars.txt", "--size", "12x12", "--format", "c"});
        QCOMPARE(o.form, zentraq::core::DataForm::C);
        QCOMPARE(o.name, QStringLiteral("font_data"));

        o = parseArguments({"picture", "--help"});
        QCOMPARE(o.command, Command::Help);
        QCOMPARE(o.helpTopic, QStringLiteral("picture"));
    }
};

QTEST_GUILESS_MAIN(TestCliFormat)
#include "test_cli_format.moc"
