// Bit layout of scanned glyphs, the hex text of a byte and the pixel limit.
#include "hexbyte.h"
#include "runtime_error.h"
#include "scanglyph.h"

#include <QTest>

using namespace zentraq;
using rgbqumo::GlyphBytes;
using rgbqumo::ScanGlyph;

namespace {
constexpr Colour Red = rgbColour(255, 0, 0);
constexpr Colour Black = rgbColour(0, 0, 0);

Surface redCanvas(int w, int h) {
    return Surface(w, h, Red);
}
} // namespace

class TestScanGlyph : public QObject {
    Q_OBJECT

private slots:
    void singleInkPixel_data() {
        QTest::addColumn<int>("w");
        QTest::addColumn<int>("h");
        QTest::addColumn<int>("x");
        QTest::addColumn<int>("y");
        QTest::addColumn<int>("byteIndex");
        QTest::addColumn<int>("value");
        // Pixel numbers run on across rows: no row alignment.
        QTest::newRow("6x12 (0,1) is pixel 6") << 6 << 12 << 0 << 1 << 0 << 64;
        QTest::newRow("6x12 (5,0)") << 6 << 12 << 5 << 0 << 0 << 32;
        QTest::newRow("6x12 (2,1) is pixel 8") << 6 << 12 << 2 << 1 << 1 << 1;
        QTest::newRow("8x16 (7,0)") << 8 << 16 << 7 << 0 << 0 << 128;
        QTest::newRow("8x16 (0,1)") << 8 << 16 << 0 << 1 << 1 << 1;
        QTest::newRow("12x12 (0,1) is pixel 12") << 12 << 12 << 0 << 1 << 1 << 16;
        QTest::newRow("16x32 (8,0)") << 16 << 32 << 8 << 0 << 1 << 1;
        QTest::newRow("16x32 (15,31)") << 16 << 32 << 15 << 31 << 63 << 128;
        QTest::newRow("32x32 (31,31)") << 32 << 32 << 31 << 31 << 127 << 128;
    }
    void singleInkPixel() {
        QFETCH(int, w);
        QFETCH(int, h);
        QFETCH(int, x);
        QFETCH(int, y);
        QFETCH(int, byteIndex);
        QFETCH(int, value);
        Surface s = redCanvas(w, h);
        s.setPixel(x, y, Black);
        ScanGlyph(s, static_cast<qint16>(w), static_cast<qint16>(h));
        QCOMPARE(GlyphBytes.size(), static_cast<std::size_t>(w * h / 8));
        for (int i = 0; i < static_cast<int>(GlyphBytes.size()); ++i)
            QCOMPARE(int(GlyphBytes[i]), i == byteIndex ? value : 0);
    }

    void wholeCanvas_data() {
        QTest::addColumn<int>("w");
        QTest::addColumn<int>("h");
        QTest::addColumn<bool>("ink");
        QTest::addColumn<int>("expected");
        QTest::newRow("background 12x12") << 12 << 12 << false << 0;
        QTest::newRow("ink 8x16") << 8 << 16 << true << 255;
        QTest::newRow("ink 6x12") << 6 << 12 << true << 255;
    }
    void wholeCanvas() {
        QFETCH(int, w);
        QFETCH(int, h);
        QFETCH(bool, ink);
        QFETCH(int, expected);
        Surface s = redCanvas(w, h);
        if (ink)
            s.image().fill(Surface::toQRgb(Black));
        ScanGlyph(s, static_cast<qint16>(w), static_cast<qint16>(h));
        QCOMPARE(GlyphBytes.size(), static_cast<std::size_t>(w * h / 8));
        for (std::uint8_t b : GlyphBytes)
            QCOMPARE(int(b), expected);
    }

    // Ink is any colour that is not exactly the background.
    void inkIsExactInequality_data() {
        QTest::addColumn<int>("colour");
        QTest::addColumn<bool>("ink");
        QTest::newRow("red 254") << int(rgbColour(254, 0, 0)) << true;
        QTest::newRow("blue 1") << int(rgbColour(255, 0, 1)) << true;
        QTest::newRow("white") << int(rgbColour(255, 255, 255)) << true;
        QTest::newRow("pure red") << int(Red) << false;
    }
    void inkIsExactInequality() {
        QFETCH(int, colour);
        QFETCH(bool, ink);
        Surface s = redCanvas(8, 16);
        s.setPixel(3, 0, colour);
        ScanGlyph(s, 8, 16);
        QCOMPARE(int(GlyphBytes[0]), ink ? 8 : 0);
    }

    // Pixels beyond the surface read as the invalid colour, which is ink.
    void outsideTheSurfaceIsInk() {
        Surface s = redCanvas(8, 8);
        ScanGlyph(s, 8, 16);
        QCOMPARE(GlyphBytes.size(), std::size_t(16));
        for (int i = 0; i < 16; ++i)
            QCOMPARE(int(GlyphBytes[i]), i < 8 ? 0 : 255);
    }

    // A cell whose pixel count is not a multiple of 8 keeps its last pixels
    // in a final partly filled byte.
    void partialLastByte() {
        Surface s = redCanvas(3, 3);
        s.setPixel(2, 2, Black); // pixel 8
        ScanGlyph(s, 3, 3);
        QCOMPARE(GlyphBytes, (std::vector<std::uint8_t>{0, 1}));
    }

    void pixelLimit_data() {
        QTest::addColumn<int>("w");
        QTest::addColumn<int>("h");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("195x168 = 32760") << 195 << 168 << true;
        QTest::newRow("32767x1") << 32767 << 1 << true;
        QTest::newRow("128x256 = 32768") << 128 << 256 << false;
        QTest::newRow("32767x32767") << 32767 << 32767 << false;
        QTest::newRow("negative side") << -8 << 16 << false;
        QTest::newRow("zero side") << 0 << 16 << true;
    }
    void pixelLimit() {
        QFETCH(int, w);
        QFETCH(int, h);
        QFETCH(bool, accepted);
        // A known glyph before: a refused scan must leave it untouched.
        Surface before = redCanvas(8, 16);
        before.setPixel(1, 0, Black);
        ScanGlyph(before, 8, 16);
        const std::vector<std::uint8_t> kept = GlyphBytes;

        Surface s = redCanvas(std::clamp(w, 0, 400), std::clamp(h, 0, 400));
        if (accepted) {
            ScanGlyph(s, static_cast<qint16>(w), static_cast<qint16>(h));
            QCOMPARE(GlyphBytes.size(), static_cast<std::size_t>((w * h + 7) / 8));
            return;
        }
        try {
            ScanGlyph(s, static_cast<qint16>(w), static_cast<qint16>(h));
            QFAIL("the scan was not refused");
        } catch (const RuntimeError& e) {
            QCOMPARE(e.code(), RuntimeError::Overflow);
            QVERIFY(!e.description().isEmpty());
        }
        QCOMPARE(GlyphBytes, kept);
    }

    void hexByte_data() {
        QTest::addColumn<int>("value");
        QTest::addColumn<QString>("text");
        QTest::newRow("0") << 0 << "0x00";
        QTest::newRow("9") << 9 << "0x09";
        QTest::newRow("15") << 15 << "0x0F";
        QTest::newRow("16") << 16 << "0x10";
        QTest::newRow("171") << 171 << "0xAB";
        QTest::newRow("255") << 255 << "0xFF";
    }
    void hexByte() {
        QFETCH(int, value);
        QFETCH(QString, text);
        QCOMPARE(rgbqumo::HexByte(static_cast<std::uint8_t>(value)), text);
        QCOMPARE(QString::fromLatin1(rgbqumo::HexByteAscii(static_cast<std::uint8_t>(value))), text);
    }

};

QTEST_GUILESS_MAIN(TestScanGlyph)
#include "test_scanglyph.moc"
