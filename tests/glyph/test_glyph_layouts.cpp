// Glyph cells packed in every byte layout, against bytes worked out by hand
// from the ink pixels; cells whose sides are not multiples of 8 (cells wider
// than a byte are in the layouts of the glyph outputs tests/identity pins).
#include "scanglyph.h"

#include <QTest>

using namespace zentraq;
using core::Scan;

namespace {

constexpr Colour Red = rgbColour(255, 0, 0);

// The test cells: ink pixels on a red cell.
const QList<QPoint> Cell5x7{{0, 0}, {4, 0}, {1, 1}, {2, 3}, {4, 6}};
const QList<QPoint> Cell6x12{{5, 0}, {0, 1}, {2, 1}, {0, 8}, {3, 11}};

QByteArray hex(const char* text) {
    return QByteArray::fromHex(QByteArray(text).replace(' ', ""));
}

} // namespace

class TestGlyphLayouts : public QObject {
    Q_OBJECT

private slots:
    void layouts_data() {
        QTest::addColumn<QSize>("size");
        QTest::addColumn<QList<QPoint>>("ink");
        QTest::addColumn<int>("scan");
        QTest::addColumn<bool>("msb");
        QTest::addColumn<bool>("pad");
        QTest::addColumn<bool>("invert");
        QTest::addColumn<QByteArray>("bytes");
        const int row = int(Scan::Row), column = int(Scan::Column), page = int(Scan::Page),
                  band = int(Scan::Band);
        const QSize s5(5, 7), s6(6, 12);
        // clang-format off
        // 5x7: pixel numbers 0, 4, 6, 17, 34 by rows; 0, 28, 8, 17, 34 by columns.
        QTest::newRow("5x7 row") << s5 << Cell5x7 << row << false << false << false << hex("51 00 02 00 04");
        QTest::newRow("5x7 row msb") << s5 << Cell5x7 << row << true << false << false << hex("8A 00 40 00 20");
        QTest::newRow("5x7 row pad") << s5 << Cell5x7 << row << false << true << false << hex("11 02 00 04 00 00 10");
        QTest::newRow("5x7 column") << s5 << Cell5x7 << column << false << false << false << hex("01 01 02 10 04");
        QTest::newRow("5x7 column pad msb") << s5 << Cell5x7 << column << true << true << false << hex("80 40 10 00 82");
        QTest::newRow("5x7 page") << s5 << Cell5x7 << page << false << false << false << hex("01 02 08 00 41");
        QTest::newRow("5x7 band msb") << s5 << Cell5x7 << band << true << false << false << hex("88 40 00 20 00 00 08");
        // Inverted: ink 0, background 1, the bits past the cell stay 0.
        QTest::newRow("5x7 row inverted") << s5 << Cell5x7 << row << false << false << true << hex("AE FF FD FF 03");
        QTest::newRow("5x7 row pad inverted") << s5 << Cell5x7 << row << false << true << true << hex("0E 1D 1F 1B 1F 1F 0F");
        QTest::newRow("5x7 column msb inverted") << s5 << Cell5x7 << column << true << false << true << hex("7F 7F BF F7 C0");
        QTest::newRow("5x7 page msb inverted") << s5 << Cell5x7 << page << true << false << true << hex("7E BE EE FE 7C");
        QTest::newRow("5x7 band msb inverted") << s5 << Cell5x7 << band << true << false << true << hex("70 B8 F8 D8 F8 F8 F0");
        // 6x12: pixel numbers 5, 6, 8, 48, 69 by rows; 60, 1, 25, 8, 47 by columns.
        QTest::newRow("6x12 row pad") << s6 << Cell6x12 << row << false << true << false << hex("20 05 00 00 00 00 00 00 01 00 00 08");
        QTest::newRow("6x12 column pad") << s6 << Cell6x12 << column << false << true << false << hex("02 01 00 00 02 00 00 08 00 00 01 00");
        QTest::newRow("6x12 page") << s6 << Cell6x12 << page << false << false << false << hex("02 00 02 00 00 01 01 00 00 08 00 00");
        QTest::newRow("6x12 page inverted") << s6 << Cell6x12 << page << false << false << true << hex("FD FF FD FF FF FE 0E 0F 0F 07 0F 0F");
        QTest::newRow("6x12 band") << s6 << Cell6x12 << band << false << false << false << hex("20 05 00 00 00 00 00 00 01 00 00 08");
        // clang-format on
    }
    void layouts() {
        QFETCH(QSize, size);
        QFETCH(QList<QPoint>, ink);
        QFETCH(int, scan);
        QFETCH(bool, msb);
        QFETCH(bool, pad);
        QFETCH(bool, invert);
        QFETCH(QByteArray, bytes);
        Surface canvas(size.width(), size.height(), Red);
        for (const QPoint& p : ink)
            canvas.setPixel(p.x(), p.y(), rgbColour(0, 0, 0));
        glyph::CellScanner scanner(core::Layout{1, Scan(scan), msb, pad}, size.width(),
                                   size.height(), invert);
        std::vector<std::uint8_t> out{0xEE}; // replaced, not appended to
        scanner.scan(canvas, out);
        QCOMPARE(QByteArray(reinterpret_cast<const char*>(out.data()), qsizetype(out.size())),
                 bytes);
        QCOMPARE(scanner.bytesPerCell(), bytes.size());

        // The window's layout is ScanGlyph's.
        if (Scan(scan) == Scan::Row && !msb && !pad && !invert) {
            rgbqumo::ScanGlyph(canvas, qint16(size.width()), qint16(size.height()));
            QCOMPARE(rgbqumo::GlyphBytes, out);
        }
    }
};

QTEST_GUILESS_MAIN(TestGlyphLayouts)
#include "test_glyph_layouts.moc"
