// The reader of the version file's first field.
#include "first_field.h"
#include "runtime_error.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using zentraq::RuntimeError;
using zentraq::update::firstField;
using zentraq::update::readFirstField;

namespace {
constexpr int kNoError = -1; // the error column: a RuntimeError code, or none
}

class TestFirstField : public QObject {
    Q_OBJECT

private slots:
    void fields_data();
    void fields();
    void readsFromFile_data();
    void readsFromFile();
};

void TestFirstField::fields_data() {
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<int>("error");

    const auto ok = [](const char* name, const QByteArray& content, const QString& expected) {
        QTest::newRow(name) << content << expected << kNoError;
    };
    const auto fails = [](const char* name, const QByteArray& content, RuntimeError::Code code) {
        QTest::newRow(name) << content << QString() << int(code);
    };

    ok("bare version", "V1.3", "V1.3");
    ok("CR LF after", "V1.3\r\nV9.9\r\n", "V1.3");
    ok("LF only", "V1.3\nV9.9", "V1.3");
    ok("CR only", "V1.3\rV9.9", "V1.3");
    ok("spaces and line end", "   V1.3  \r\n", "V1.3");
    ok("comma and more", "V1.3,extra", "V1.3");
    ok("spaces before comma", " V1.3 ,2024", "V1.3");
    ok("comma before line end", "V1.3\r\n,x", "V1.3");
    ok("quoted", "\"V1.3\"", "V1.3");
    ok("quoted holds a comma", "\"V1,3\",x", "V1,3");
    ok("quoted after spaces", "  \"V1.3\" , x", "V1.3");
    ok("quoted, text after quote ignored", "\"V1.3\"beta", "V1.3");
    ok("quoted, spaces inside trimmed", "\" V1.3 \"", "V1.3");
    ok("quote never closed ends at line end", "\"V1.3\r\nx\"", "V1.3");
    ok("quote in the middle is text", "V1\"3,x", "V1\"3");
    ok("case kept", "v1.3", "v1.3");
    ok("tabs kept", "\tV1.3\t", "\tV1.3\t");
    ok("first line empty", "\r\nV1.3", "");
    ok("only spaces", "    ", "");
    ok("only a comma", ",V1.3", "");
    ok("empty quotes", "\"\",V1.3", "");
    ok("Chinese two-byte", "V1.3\xb2\xe2\xca\xd4\xb0\xe6,x", QStringLiteral("V1.3测试版"));
    ok("GB18030 four-byte", "\x95\x32\x82\x36", QString::fromUcs4(U"\U00020000", 1));
    ok("UTF-8 byte-order mark skipped", "\xEF\xBB\xBFV1.3\r\n", "V1.3");
    ok("bad bytes after the field ignored", "V1.3,\xff\xff\xff", "V1.3");
    ok("NUL after the field ignored", QByteArray("V1.3\n\0\0", 7), "V1.3");

    fails("empty file", "", RuntimeError::InputPastEndOfFile);
    fails("byte-order mark only", "\xEF\xBB\xBF", RuntimeError::InputPastEndOfFile);
    fails("undecodable byte in the field", "V1.\xff", RuntimeError::Other);
    fails("truncated two-byte character", "V1.3\xb2", RuntimeError::Other);
    fails("truncated character before comma", "V1.3\xb2,x", RuntimeError::Other);
}

void TestFirstField::fields() {
    QFETCH(QByteArray, content);
    QFETCH(QString, expected);
    QFETCH(int, error);
    try {
        const QString got = firstField(content);
        QCOMPARE(kNoError, error);
        QCOMPARE(got, expected);
    } catch (const RuntimeError& e) {
        QCOMPARE(int(e.code()), error);
        QVERIFY(!e.description().isEmpty());
    }
}

void TestFirstField::readsFromFile_data() {
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<bool>("create");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<int>("error");

    QTest::newRow("ordinary") << QByteArray("V1.3\r\n") << true << QStringLiteral("V1.3")
                              << kNoError;
    QTest::newRow("huge file, first line read")
        << QByteArray("V1.3,") + QByteArray(8 * 1024 * 1024, 'x') << true << QStringLiteral("V1.3")
        << kNoError;
    QTest::newRow("huge first line cut at the reading limit")
        << QByteArray(1024 * 1024, 'x') << true
        << QString(zentraq::update::kMaxVersionFileBytes, QLatin1Char('x')) << kNoError;
    QTest::newRow("empty") << QByteArray() << true << QString()
                           << int(RuntimeError::InputPastEndOfFile);
    QTest::newRow("missing") << QByteArray() << false << QString()
                             << int(RuntimeError::FileNotFound);
}

void TestFirstField::readsFromFile() {
    QFETCH(QByteArray, content);
    QFETCH(bool, create);
    QFETCH(QString, expected);
    QFETCH(int, error);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("v.txt"));
    if (create) {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        QCOMPARE(f.write(content), content.size());
    }
    try {
        const QString got = readFirstField(path);
        QCOMPARE(kNoError, error);
        QCOMPARE(got, expected);
    } catch (const RuntimeError& e) {
        QCOMPARE(int(e.code()), error);
        if (error == RuntimeError::FileNotFound)
            QVERIFY2(e.description().contains(path), qPrintable(e.description()));
    }
}

QTEST_GUILESS_MAIN(TestFirstField)
#include "test_first_field.moc"
