// Bit layout of scanned glyphs and the pixel limit. (The hex text of a byte
// is in every glyph output that tests/identity pins.)
#include "runtime_error.h"
#include "scanglyph.h"

#include <QTest>

using namespace zentraq;
using rgbqumo::GlyphBytes;
using rgbqumo::ScanGlyph;

static constexpr Colour Red = rgbColour(255, 0, 0);
static constexpr Colour Black = rgbColour(0, 0, 0);

class TestScanGlyph : public QObject {
    Q_OBJECT

private slots:
    // A red canvas with the pixel `ink` in `colour`, or all of it when `ink`
    // is (-1, -1): byte `index` reads `value`, every other byte 0 (or `value`
    // too for a canvas of one colour).
    void bitLayout_data() {
        QTest::addColumn<QSize>("size");
        QTest::addColumn<QPoint>("ink");
        QTest::addColumn<int>("colour");
        QTest::addColumn<int>("index");
        QTest::addColumn<int>("value");
        // Pixel numbers run on across rows: no row alignment. (Every cell
        // size's bytes are in the window's outputs that tests/identity pins.)
        QTest::newRow("6x12 (2,1) is pixel 8") << QSize(6, 12) << QPoint(2, 1) << Black << 1 << 1;
        QTest::newRow("16x32 (15,31)") << QSize(16, 32) << QPoint(15, 31) << Black << 63 << 128;
        // Ink is any colour that is not exactly the background.
        QTest::newRow("red 254") << QSize(8, 16) << QPoint(3, 0) << rgbColour(254, 0, 0) << 0 << 8;
        QTest::newRow("all ink 8x16") << QSize(8, 16) << QPoint(-1, -1) << Black << 0 << 255;
    }
    void bitLayout() {
        QFETCH(QSize, size);
        QFETCH(QPoint, ink);
        QFETCH(int, colour);
        QFETCH(int, index);
        QFETCH(int, value);
        Surface s(size.width(), size.height(), Red);
        if (ink.x() < 0)
            s.image().fill(Surface::toQRgb(colour));
        else
            s.setPixel(ink.x(), ink.y(), colour);
        ScanGlyph(s, static_cast<qint16>(size.width()), static_cast<qint16>(size.height()));
        QCOMPARE(GlyphBytes.size(), static_cast<std::size_t>(size.width() * size.height() / 8));
        for (std::size_t i = 0; i < GlyphBytes.size(); ++i)
            QCOMPARE(int(GlyphBytes[i]), ink.x() < 0 || int(i) == index ? value : 0);
    }

    // width * height is a 16-bit signed count; a refused scan raises the
    // overflow error and leaves the previous glyph in GlyphBytes.
    void pixelLimit_data() {
        QTest::addColumn<QSize>("size");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("195x168 = 32760") << QSize(195, 168) << true;
        QTest::newRow("32767x1, last byte partly filled") << QSize(32767, 1) << true;
        QTest::newRow("128x256 = 32768") << QSize(128, 256) << false;
        QTest::newRow("32767x32767, 1 when wrapped") << QSize(32767, 32767) << false;
        QTest::newRow("negative side") << QSize(-8, 16) << false;
    }
    void pixelLimit() {
        QFETCH(QSize, size);
        QFETCH(bool, accepted);
        GlyphBytes = {1, 2, 3};
        const Surface s =
            accepted ? Surface(size.width(), size.height(), Red) : Surface(8, 16, Red);
        try {
            ScanGlyph(s, static_cast<qint16>(size.width()), static_cast<qint16>(size.height()));
            QVERIFY2(accepted, "the scan was not refused");
            QCOMPARE(GlyphBytes.size(),
                     static_cast<std::size_t>((size.width() * size.height() + 7) / 8));
        } catch (const RuntimeError& e) {
            QVERIFY2(!accepted, qPrintable(QString::fromUtf8(e.what())));
            QCOMPARE(e.code(), RuntimeError::Overflow);
            QCOMPARE(GlyphBytes, (std::vector<std::uint8_t>{1, 2, 3}));
        }
    }
};

QTEST_GUILESS_MAIN(TestScanGlyph)
#include "test_scanglyph.moc"
