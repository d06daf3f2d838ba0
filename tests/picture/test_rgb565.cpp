#include "rgb565.h"
#include "runtime_error.h"

#include <QtTest>

using namespace zentraq;
using namespace zentraq::rgbqumo;

class TestRgb565 : public QObject {
    Q_OBJECT

private slots:
    void encodes_data() {
        QTest::addColumn<int>("colour");
        QTest::addColumn<int>("high"); // -1: no result, the overflow error
        QTest::addColumn<int>("low");

        auto rgb = [](int r, int g, int b) { return r + g * 256 + b * 65536; };
        QTest::newRow("black") << rgb(0, 0, 0) << 0x00 << 0x00;
        QTest::newRow("white") << rgb(255, 255, 255) << 0xFF << 0xFF;
        QTest::newRow("red") << rgb(255, 0, 0) << 0xF8 << 0x00;
        QTest::newRow("green") << rgb(0, 255, 0) << 0x07 << 0xE0;
        QTest::newRow("blue") << rgb(0, 0, 255) << 0x00 << 0x1F;
        QTest::newRow("grey") << rgb(128, 128, 128) << 0x84 << 0x10;
        QTest::newRow("86,52,18") << rgb(86, 52, 18) << 0x51 << 0xA2;
        QTest::newRow("below one step") << rgb(7, 3, 7) << 0x00 << 0x00;
        QTest::newRow("top byte not masked: spills into blue") << 0x01000000 << 0x00 << 0x20;

        // Floor divisions make every negative colour fail; truncating ones
        // would turn -1 into black.
        QTest::newRow("invalid colour -1") << -1 << -1 << -1;
        QTest::newRow("-65536: only the low byte out of range") << -65536 << -1 << -1;
    }
    void encodes() {
        QFETCH(int, colour);
        QFETCH(int, high);
        if (high < 0) {
            try {
                Rgb565(colour);
                QFAIL("no overflow raised");
            } catch (const RuntimeError& e) {
                QCOMPARE(e.code(), RuntimeError::Overflow);
            }
            return;
        }
        const ColorBytes c = Rgb565(colour);
        QCOMPARE(int(c.HighByte), high);
        QTEST(int(c.LowByte), "low");
    }
};

QTEST_APPLESS_MAIN(TestRgb565)
#include "test_rgb565.moc"
