// The C source around the data and data text read back: comments that no
// character can break out of, character labels, and the byte values of every
// text form, with the line of the first thing that is no data.
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
        QTest::newRow("larger than a byte")
            << QByteArray("0x01,\n0x02,\n0x100,") << DataTextProblem::LargerThanByte << 3
            << QByteArray("0x100");
        QTest::newRow("not hexadecimal")
            << QByteArray("0x1G,") << DataTextProblem::NotHexadecimal << 1 << QByteArray("0x1G");
        QTest::newRow("no digits")
            << QByteArray("/*\n*/ 0x,") << DataTextProblem::NotHexadecimal << 2 << QByteArray("0x");
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
