// The C source around the data and data text read back: comments that no
// character can break out of, character labels, and the byte values of every
// text form, with the line of the first thing that is no data. (The data
// texts of fuzz/corpus, a C array with a code table among them, are read by
// the previews tests/identity pins.)
#include "csource.h"
#include "datatext.h"

#include <QTest>

using namespace zentraq::core;

Q_DECLARE_METATYPE(DataTextProblem::Kind)

namespace {

QString ucs4(char32_t cp) {
    return QStringView(QChar::fromUcs4(cp)).toString();
}

} // namespace

class TestCSource : public QObject {
    Q_OBJECT

private slots:
    void commentText_data() {
        QTest::addColumn<QString>("input");
        QTest::addColumn<QString>("expected");
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
        const QString out = zentraq::core::commentText(input);
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
        QCOMPARE(zentraq::core::characterLabel(cp), expected);
    }

    void readDataText_data() {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("one digit, upper-case X, spaces between")
            << QByteArray("0x5, 0X0a 0x1") << QByteArray::fromHex("050A01");
        QTest::newRow("C array with comments")
            << QByteArray("/* made with 0x12 */\nconst unsigned char font0x34[2] = {\n"
                          "0x01, /* U+002A '*' 0x56 */\n0x02, // 0x78\n};\n")
            << QByteArray::fromHex("0102");
        // The C form of frames: two arrays, the table of them, durations.
        QTest::newRow("frames and their table")
            << QByteArray("const unsigned char anim_0[1] = {\r\n0x01,\r\n};\r\n"
                          "const unsigned char anim_1[1] = {\r\n0x02,\r\n};\r\n"
                          "const unsigned char * const anim_frames[2] = {\r\n    anim_0,\r\n"
                          "    anim_1,\r\n};\r\nconst unsigned int anim_durations[2] = {100, 0};"
                          "\r\nconst unsigned int anim_frame_count = 2;\r\n")
            << QByteArray::fromHex("0102");
        QTest::newRow("other declarations read past")
            << QByteArray("static const uint8_t map[] PROGMEM = {0x0A, 0x0B};\n"
                          "int n[2] = {7, -8};\nconst struct s d = {.name = \"}{\", .data = map};\n"
                          "extern int x;\n")
            << QByteArray::fromHex("0A0B");
    }

    void readDataText() {
        QFETCH(QByteArray, text);
        QFETCH(QByteArray, bytes);
        const DataText data = zentraq::core::readDataText(text);
        QCOMPARE(data.problem.kind, DataTextProblem::None);
        QCOMPARE(data.bytes, bytes);
    }

    void readDataTextRefuses_data() {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<DataTextProblem::Kind>("kind");
        QTest::addColumn<int>("line");
        QTest::addColumn<QByteArray>("token");
        const auto row = [](const char* name, const QByteArray& text, DataTextProblem::Kind kind,
                            int line, const QByteArray& token) {
            QTest::newRow(name) << text << kind << line << token;
        };
        using P = DataTextProblem;
        row("larger than a byte", "0x01,\n0x02,\n0x100,", P::LargerThanByte, 3, "0x100");
        row("not hexadecimal", "0x1G,", P::NotHexadecimal, 1, "0x1G");
        row("no digits", "/*\n*/ 0x,", P::NotHexadecimal, 2, "0x");
        row("a decimal number", "0x01,12,0x02,", P::NotHexByte, 1, "12");
        row("a decimal number in an array", "unsigned char a[] = {\n0x01, 7};", P::NotHexByte, 2,
            "7");
        row("a name in an array", "uint8_t a[] = {0x01, b0x2};", P::NotHexByte, 1, "b0x2");
        row("a minus sign", "0x01,\n-0x02,", P::NotData, 2, "-");
        row("not UTF-8", "0x01,\n0x02, /* \xC3( */", P::NotUtf8, 2, "");
        row("a definition", "#define A 0x01", P::NotData, 1, "#define");
        row("an open comment", "0x01,\n/* 0x02", P::OpenComment, 2, "/*");
        row("a word", "hello\r\n", P::NotData, 1, "hello");
        row("a stray brace", "0x01, }", P::NotData, 1, "}");
        row("a stray character", "0x01, 中", P::NotData, 1, "中");
        row("an array without its end", "const unsigned char a[] = {0x01,", P::NotData, 1, "{");
    }

    void readDataTextRefuses() {
        QFETCH(QByteArray, text);
        QFETCH(DataTextProblem::Kind, kind);
        QFETCH(int, line);
        QFETCH(QByteArray, token);
        const DataText data = zentraq::core::readDataText(text);
        QCOMPARE(data.problem.kind, kind);
        QCOMPARE(data.problem.line, line);
        QCOMPARE(data.problem.token, token);
        QVERIFY(data.bytes.isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestCSource)
#include "test_csource.moc"
