#include "rgb565.h"
#include "runtime_error.h"

#include <QtTest>

using namespace zentraq;
using namespace zentraq::rgbqumo;

class TestRgb565 : public QObject {
    Q_OBJECT

private slots:
    void encodes_data();
    void encodes();
    void matchesBitPacking();
    void components_data();
    void components();
};

void TestRgb565::encodes_data() {
    QTest::addColumn<int>("colour");
    QTest::addColumn<bool>("fails");
    QTest::addColumn<int>("high");
    QTest::addColumn<int>("low");

    auto rgb = [](int r, int g, int b) { return r + g * 256 + b * 65536; };
    QTest::newRow("black") << rgb(0, 0, 0) << false << 0x00 << 0x00;
    QTest::newRow("white") << rgb(255, 255, 255) << false << 0xFF << 0xFF;
    QTest::newRow("red") << rgb(255, 0, 0) << false << 0xF8 << 0x00;
    QTest::newRow("green") << rgb(0, 255, 0) << false << 0x07 << 0xE0;
    QTest::newRow("blue") << rgb(0, 0, 255) << false << 0x00 << 0x1F;
    QTest::newRow("grey") << rgb(128, 128, 128) << false << 0x84 << 0x10;
    QTest::newRow("86,52,18") << rgb(86, 52, 18) << false << 0x51 << 0xA2;
    QTest::newRow("below one step") << rgb(7, 3, 7) << false << 0x00 << 0x00;
    QTest::newRow("one step each") << rgb(8, 4, 8) << false << 0x08 << 0x21;

    // No result exists for a negative colour, nor for one whose top byte
    // pushes blue past the low byte.
    QTest::newRow("invalid colour -1") << -1 << true << 0 << 0;
    QTest::newRow("-2") << -2 << true << 0 << 0;
    QTest::newRow("-65536: high byte 0, low byte -1") << -65536 << true << 0 << 0;
    QTest::newRow("most negative") << int(0x80000000) << true << 0 << 0;
    QTest::newRow("0xFFFF00F8") << int(0xFFFF00F8) << true << 0 << 0;
    QTest::newRow("top byte not masked: spills into blue") << 0x01000000 << false << 0x00 << 0x20;
    QTest::newRow("top byte overflowing blue") << 0x08000000 << true << 0 << 0;
    QTest::newRow("largest") << 0x7FFFFFFF << true << 0 << 0;
}

void TestRgb565::encodes() {
    QFETCH(int, colour);
    QFETCH(bool, fails);
    QFETCH(int, high);
    QFETCH(int, low);

    if (fails) {
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
    QCOMPARE(int(c.LowByte), low);
}

// For every colour with a zero top byte the result is the usual bit packing.
void TestRgb565::matchesBitPacking() {
    QList<int> levels;
    for (int v = 0; v < 256; v += 3)
        levels << v;
    levels << 254 << 255;
    for (int r : levels)
        for (int g : levels)
            for (int b : levels) {
                const int word = ((r >> 3) << 11) | ((g >> 2) << 5) | (b >> 3);
                const ColorBytes c = Rgb565(r | g << 8 | b << 16);
                if (c.HighByte != word >> 8 || c.LowByte != (word & 0xFF))
                    QFAIL(qPrintable(QStringLiteral("r=%1 g=%2 b=%3").arg(r).arg(g).arg(b)));
            }
}

void TestRgb565::components_data() {
    QTest::addColumn<int>("colour");
    QTest::addColumn<int>("red");
    QTest::addColumn<int>("green");
    QTest::addColumn<int>("blue");

    QTest::newRow("86,52,18") << (86 + 52 * 256 + 18 * 65536) << 86 << 52 << 18;
    // Truncating remainders keep the sign; the divisions round down.
    QTest::newRow("-1") << -1 << -1 << -1 << -1;
    QTest::newRow("-256") << -256 << 0 << -1 << -1;
    QTest::newRow("-65537") << -65537 << -1 << -1 << -2;
    QTest::newRow("top byte kept") << 0x01020304 << 4 << 3 << 258;
}

void TestRgb565::components() {
    QFETCH(int, colour);
    QTEST(RedOf(colour), "red");
    QTEST(GreenOf(colour), "green");
    QTEST(BlueOf(colour), "blue");
}

QTEST_APPLESS_MAIN(TestRgb565)
#include "test_rgb565.moc"
