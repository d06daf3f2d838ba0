// The tool's command line, in process: arguments as bytes and sizes. (What
// accepted command lines make is pinned by tests/identity; refused ones are
// checked on the tool itself, in test_cli_glyph and test_cli_picture.)
#include "cli.h"
#include "error.h"
#include "process.h"

#include <QTest>

using namespace zentraq::cli;

namespace {

QString ucs4(char32_t cp) {
    return QStringView(QChar::fromUcs4(cp)).toString();
}

// Text of these UTF-16 code units, lone surrogates included.
QString units(std::initializer_list<char16_t> us) {
    QString s;
    for (char16_t u : us)
        s += QChar(u);
    return s;
}

} // namespace

class TestCliCommandLine : public QObject {
    Q_OBJECT

private slots:
    // Arguments as bytes: UTF-8 characters become text, every other byte
    // b a code unit U+DC00 + b of its own, and the bytes come back whole.
    void argumentBytes_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("shown");
        QTest::newRow("ASCII") << QByteArray("a%1.png") << QStringLiteral("a%1.png")
                               << QStringLiteral("a%1.png");
        QTest::newRow("four bytes")
            << QByteArray("\xf0\x9f\x98\x80") << ucs4(0x1F600) << ucs4(0x1F600);
        QTest::newRow("stray bytes") << QByteArray("bad\xff\xfe.png")
                                     << QStringLiteral("bad") + units({0xDCFF, 0xDCFE}) + ".png"
                                     << QStringLiteral("bad\\xFF\\xFE.png");
        QTest::newRow("overlong slash")
            << QByteArray("\xc0\xaf") << units({0xDCC0, 0xDCAF}) << QStringLiteral("\\xC0\\xAF");
        QTest::newRow("encoded surrogate")
            << QByteArray("\xed\xa0\x80") << units({0xDCED, 0xDCA0, 0xDC80})
            << QStringLiteral("\\xED\\xA0\\x80");
        QTest::newRow("above U+10FFFF")
            << QByteArray("\xf4\x90\x80\x80") << units({0xDCF4, 0xDC90, 0xDC80, 0xDC80})
            << QStringLiteral("\\xF4\\x90\\x80\\x80");
        QTest::newRow("cut short") << QByteArray("\xe4\xb8x") << units({0xDCE4, 0xDCB8}) + "x"
                                   << QStringLiteral("\\xE4\\xB8x");
        QTest::newRow("a byte order mark after a kept byte, and first")
            << QByteArray("\xef\xbb\xbf\xbf\xef\xbb\xbfp")
            << ucs4(0xFEFF) + units({0xDCBF}) + ucs4(0xFEFF) + "p"
            << ucs4(0xFEFF) + QStringLiteral("\\xBF") + ucs4(0xFEFF) + "p";
        QTest::newRow("a kept byte after a pair")
            << QByteArray("\xf0\x9f\x98\x80\xbf") << ucs4(0x1F600) + units({0xDCBF})
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

    // A failure's message built as text holds the bytes of the names in it:
    // printed, it reads as the text did, and text without kept bytes gives
    // Qt's own UTF-8, a surrogate without its partner as '?'.
    void messageBytes_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("kept bytes") << "cannot read 'bad" + units({0xDCFF, 0xDCFE}) + "'"
                                    << QByteArray("cannot read 'bad\xff\xfe'");
        QTest::newRow("characters")
            << ucs4(0x1F600) + QStringLiteral("中") << QByteArray("\xf0\x9f\x98\x80\xe4\xb8\xad");
        QTest::newRow("lone high surrogate") << units({0xD800, u'a'}) << QByteArray("?a");
        QTest::newRow("high surrogate at the end") << units({u'a', 0xDBFF}) << QByteArray("a?");
        QTest::newRow("lone low surrogate") << units({0xDC7F, 0xDD00}) << QByteArray("??");
        QTest::newRow("a pair ending in a kept unit")
            << units({0xD800, 0xDC80}) << QByteArray("\xf0\x90\x82\x80");
        QTest::newRow("NUL") << QString(QLatin1String("a\0b", 3)) << QByteArray("a\0b", 3);
    }

    void messageBytes() {
        QFETCH(QString, text);
        QFETCH(QByteArray, bytes);
        const CliError e(CliError::Failure, text);
        QCOMPARE(QByteArray::fromStdString(e.message()), bytes);
        QCOMPARE(nativeName(text), bytes);
        if (!bytes.contains('\xff'))
            QCOMPARE(text.toUtf8(), bytes);
        QCOMPARE(readable(argumentText(e.message())).toUtf8(), readable(text).toUtf8());
    }

    // The one reader of "WxH": the window's spelling, the limits, and the
    // rule a refused size breaks.
    void sizes_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("maxSide");
        QTest::addColumn<qint64>("maxPixels");
        QTest::addColumn<QSize>("size");       // invalid: refused
        QTest::addColumn<QString>("expected"); // words of the refusal
        const qint64 any = qint64(1) << 40;
        // clang-format off
        QTest::newRow("240x240") << "240x240" << 32767 << any << QSize(240, 240) << "";
        QTest::newRow("128*64") << "128*64" << 32767 << any << QSize(128, 64) << "";
        QTest::newRow("largest") << "32767X32767" << 32767 << any << QSize(32767, 32767) << "";
        QTest::newRow("zero width") << "0x10" << 32767 << any << QSize() << "each side from 1 to 32767";
        QTest::newRow("too wide") << "32768x1" << 32767 << any << QSize() << "each side from 1";
        QTest::newRow("far too wide") << "999999999x1" << 32767 << any << QSize() << "each side";
        QTest::newRow("too many digits") << "9999999999x1" << 32767 << any << QSize() << "a size WIDTHxHEIGHT";
        QTest::newRow("negative") << "-1x5" << 32767 << any << QSize() << "a size WIDTHxHEIGHT";
        QTest::newRow("one side") << "240" << 32767 << any << QSize() << "a size WIDTHxHEIGHT";
        QTest::newRow("two separators") << "2x3x4" << 32767 << any << QSize() << "a size WIDTHxHEIGHT";
        QTest::newRow("plus sign") << "+2x3" << 32767 << any << QSize() << "a size WIDTHxHEIGHT";
        QTest::newRow("too many pixels") << "300x300" << 65536 << qint64(65536) << QSize() << "at most 65536 pixels";
        QTest::newRow("just enough pixels") << "1x65536" << 65536 << qint64(65536) << QSize(1, 65536) << "";
        // clang-format on
    }

    void sizes() {
        QFETCH(QString, text);
        QFETCH(int, maxSide);
        QFETCH(qint64, maxPixels);
        QFETCH(QSize, size);
        QFETCH(QString, expected);
        try {
            QCOMPARE(parseSize("resize", text, maxSide, maxPixels), size);
            QVERIFY(expected.isEmpty());
        } catch (const CliError& e) {
            QCOMPARE(e.exitCode(), 2);
            const QString message = argumentText(e.message());
            QVERIFY2(!expected.isEmpty() && message.startsWith("--resize wants " + expected) &&
                         message.endsWith(", not '" + text + "'"),
                     e.what());
        }
    }
};

QTEST_GUILESS_MAIN(TestCliCommandLine)
#include "test_cli_commandline.moc"
