#include "numbertext.h"

#include <QtTest>

#include <clocale>

using namespace zentraq;

class TestNumberText : public QObject {
    Q_OBJECT

private slots:
    void single_data();
    void single();
    void singleIgnoresLocale();
    void doubleText_data();
    void doubleText();
};

void TestNumberText::single_data() {
    QTest::addColumn<float>("value");
    QTest::addColumn<QString>("text");

    QTest::newRow("zero") << 0.0f << "0";
    QTest::newRow("negative zero") << -0.0f << "0";
    QTest::newRow("design width") << 113.0f << "113";
    QTest::newRow("design data size") << 21922.0f << "21922";
    QTest::newRow("largest plain") << 9999999.0f << "9999999";
    QTest::newRow("1E+07") << 1.0e7f << "1E+07";
    QTest::newRow("2.4E+07") << 24000000.0f << "2.4E+07";
    QTest::newRow("3.357082E+07") << 33570816.0f << "3.357082E+07";
    QTest::newRow("rounds to 7 digits") << 16777217.0f << "1.677722E+07";
    QTest::newRow("rounding carries into the exponent") << 99999998000.0f << "1E+11";
    QTest::newRow("rounding carries to a whole number") << 999999.96875f << "1000000";
    QTest::newRow("large") << 1.5e20f << "1.5E+20";
    QTest::newRow("fraction") << 0.5f << "0.5";
    QTest::newRow("float noise hidden") << 0.1f << "0.1";
    QTest::newRow("7 digits with fraction") << 123.4567f << "123.4567";
    QTest::newRow("fraction rounded") << 1.23456789f << "1.234568";
    QTest::newRow("negative") << -42.25f << "-42.25";
    QTest::newRow("smallest plain") << 0.0001f << "0.0001";
    QTest::newRow("small exponent") << 0.00001f << "1E-05";
    QTest::newRow("small mantissa") << 1.25e-6f << "1.25E-06";
}

void TestNumberText::single() {
    QFETCH(float, value);
    QTEST(SingleText(value), "text");
}

// The window application sets the C locale from the environment; the text
// must not pick up a decimal comma from it.
void TestNumberText::singleIgnoresLocale() {
    const char* old = std::setlocale(LC_NUMERIC, nullptr);
    const QByteArray saved = old ? QByteArray(old) : QByteArray("C");
    if (!std::setlocale(LC_NUMERIC, "de_DE.UTF-8") && !std::setlocale(LC_NUMERIC, "fr_FR.UTF-8"))
        QSKIP("no locale with a decimal comma installed");
    const QString text = SingleText(2.5f);
    std::setlocale(LC_NUMERIC, saved.constData());
    QCOMPARE(text, QStringLiteral("2.5"));
}

void TestNumberText::doubleText_data() {
    QTest::addColumn<double>("value");
    QTest::addColumn<QString>("text");

    QTest::newRow("byte count") << 19200.0 << "19200";
    QTest::newRow("two") << 2.0 << "2";
    QTest::newRow("past single precision") << 2147483646.0 << "2147483646";
    QTest::newRow("15 digits") << 999999999999999.0 << "999999999999999";
    QTest::newRow("1E+15") << 1e15 << "1E+15";
    QTest::newRow("fraction") << 0.1 << "0.1";
    QTest::newRow("three-digit exponent") << 1e100 << "1E+100";
}

void TestNumberText::doubleText() {
    QFETCH(double, value);
    QTEST(DoubleText(value), "text");
}

QTEST_APPLESS_MAIN(TestNumberText)
#include "test_numbertext.moc"
