#include "numbertext.h"

#include <QtTest>

using namespace zentraq;

class TestNumberText : public QObject {
    Q_OBJECT

private slots:
    void text_data() {
        QTest::addColumn<double>("value");
        QTest::addColumn<bool>("single"); // SingleText of the value as float, else DoubleText
        QTest::addColumn<QString>("text");

        QTest::newRow("negative zero") << -0.0 << true << "0";
        QTest::newRow("design width") << 113.0 << true << "113";
        QTest::newRow("design data size") << 21922.0 << true << "21922";
        QTest::newRow("largest plain") << 9999999.0 << true << "9999999";
        QTest::newRow("2.4E+07") << 24000000.0 << true << "2.4E+07";
        QTest::newRow("3.357082E+07") << 33570816.0 << true << "3.357082E+07";
        QTest::newRow("rounding carries into the exponent") << 99999998000.0 << true << "1E+11";
        QTest::newRow("fraction rounded to 7 digits") << 1.23456789 << true << "1.234568";
        QTest::newRow("small exponent") << 1.25e-6 << true << "1.25E-06";
        QTest::newRow("byte count past single precision") << 2147483646.0 << false << "2147483646";
        QTest::newRow("double exponent form") << 1e15 << false << "1E+15";
    }
    void text() {
        QFETCH(double, value);
        QFETCH(bool, single);
        QTEST(single ? SingleText(static_cast<float>(value)) : DoubleText(value), "text");
    }
};

QTEST_APPLESS_MAIN(TestNumberText)
#include "test_numbertext.moc"
