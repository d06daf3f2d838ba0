// Pixel formats: hand-worked samples at the edges of inversion and the
// threshold, reading samples back, dithering of small gradients against
// expected samples worked out separately from the written rules
// (dither_reference.py, exact fractions), determinism. Every format's names,
// plain samples and samples read back, and the formats refusing dither, are
// pinned by tests/identity.
#include "pixelformat.h"

#include <QtTest>

#include <stdexcept>
#include <vector>

using namespace zentraq;
using namespace zentraq::rgbqumo;

Q_DECLARE_METATYPE(PixelFormat)
Q_DECLARE_METATYPE(DitherMode)

namespace {

using Samples = std::vector<std::uint32_t>;
using Picture = std::vector<std::vector<QRgb>>;

// 8 x 4 gradients: grey rising to the right and down (clipped at white), and
// colour with red rising, green rising down and blue falling to the right.
Picture greyGradient() {
    Picture p(4, std::vector<QRgb>(8));
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 8; ++x) {
            const int v = std::min(255, 12 + 33 * x + 8 * y);
            p[y][x] = qRgb(v, v, v);
        }
    return p;
}
Picture colourGradient() {
    Picture p(4, std::vector<QRgb>(8));
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 8; ++x)
            p[y][x] = qRgb(std::min(255, 36 * x + 3 * y), 90 + 20 * y + x, 250 - 31 * x);
    return p;
}

Samples encodeAll(RowQuantiser& q, const Picture& picture) {
    Samples all;
    for (const std::vector<QRgb>& row : picture) {
        Samples s(row.size());
        q.encodeRow(row.data(), int(row.size()), s.data());
        all.insert(all.end(), s.begin(), s.end());
    }
    return all;
}

std::uint32_t encodeOne(PixelFormat f, QRgb p, bool invert = false, int threshold = 128) {
    RowQuantiser q(f, DitherMode::None, 1, invert, threshold);
    std::uint32_t s = 0;
    q.encodeRow(&p, 1, &s);
    return s;
}

} // namespace

class TestPixelFormat : public QObject {
    Q_OBJECT

private slots:
    // Hand-worked: (86, 52, 18) has luma (25714 + 30524 + 2052 + 500) / 1000
    // = 58; (200, 100, 50) has 124.
    void encodes_data() {
        QTest::addColumn<PixelFormat>("format");
        QTest::addColumn<int>("bits");
        QTest::addColumn<bool>("invert");
        QTest::addColumn<int>("threshold");
        QTest::addColumn<QRgb>("pixel");
        QTest::addColumn<uint>("sample");
        QTest::addColumn<QRgb>("shown"); // the sample read back

        using F = PixelFormat;
        const QRgb a = qRgb(86, 52, 18), b = qRgb(200, 100, 50);
        QTest::newRow("rgb565 a") << F::Rgb565 << 16 << false << 128 << a << 0x51A2u
                                  << qRgb(82, 52, 16);
        QTest::newRow("bgr888 a") << F::Bgr888 << 24 << false << 128 << a << 0x123456u << a;
        QTest::newRow("rgb565 ignores invert")
            << F::Rgb565 << 16 << true << 128 << a << 0x51A2u << qRgb(82, 52, 16);
        QTest::newRow("gray8 a") << F::Gray8 << 8 << false << 128 << a << 58u << qRgb(58, 58, 58);
        QTest::newRow("gray8 a inverted")
            << F::Gray8 << 8 << true << 128 << a << 197u << qRgb(58, 58, 58);
        QTest::newRow("gray4 a") << F::Gray4 << 4 << false << 128 << a << 3u << qRgb(51, 51, 51);
        QTest::newRow("gray4 a inverted")
            << F::Gray4 << 4 << true << 128 << a << 12u << qRgb(51, 51, 51);
        QTest::newRow("gray2 b inverted")
            << F::Gray2 << 2 << true << 128 << b << 2u << qRgb(85, 85, 85);
        QTest::newRow("mono b is ink") << F::Mono << 1 << false << 128 << b << 1u << qRgb(0, 0, 0);
        QTest::newRow("mono b at threshold 124")
            << F::Mono << 1 << false << 124 << b << 0u << qRgb(255, 255, 255);
        QTest::newRow("mono grey 127")
            << F::Mono << 1 << false << 128 << qRgb(127, 127, 127) << 1u << qRgb(0, 0, 0);
        QTest::newRow("mono threshold 0: no ink")
            << F::Mono << 1 << false << 0 << qRgb(0, 0, 0) << 0u << qRgb(255, 255, 255);
    }
    void encodes() {
        QFETCH(PixelFormat, format);
        QFETCH(bool, invert);
        QFETCH(int, threshold);
        QFETCH(QRgb, pixel);
        QFETCH(uint, sample);
        QTEST(bitsPerSample(format), "bits");
        QTEST(RowQuantiser(format, DitherMode::None, 1, invert, threshold).bits(), "bits");
        QCOMPARE(encodeOne(format, pixel, invert, threshold), std::uint32_t(sample));
        QTEST(sampleToRgb(format, sample, invert), "shown");
    }

    void dithers_data() {
        QTest::addColumn<PixelFormat>("format");
        QTest::addColumn<DitherMode>("dither");
        QTest::addColumn<bool>("invert");
        QTest::addColumn<int>("threshold");
        QTest::addColumn<bool>("colour"); // which gradient
        QTest::addColumn<Samples>("expected");

        using F = PixelFormat;
        using D = DitherMode;
        // One line per row of the 8 x 4 picture.
        // clang-format off
        QTest::newRow("gray2 floyd-steinberg inverted") << F::Gray2 << D::FloydSteinberg << true << 128 << false << Samples{
            3, 2, 2, 2, 1, 1, 1, 0,
            3, 2, 2, 2, 1, 1, 0, 0,
            3, 2, 2, 2, 1, 1, 0, 0,
            3, 2, 2, 1, 1, 1, 0, 0};
        QTest::newRow("gray4 bayer4") << F::Gray4 << D::Bayer4 << false << 128 << false << Samples{
            0x0, 0x3, 0x4, 0x7, 0x8, 0xA, 0xC, 0xE,
            0x1, 0x3, 0x5, 0x7, 0x9, 0xB, 0xD, 0xF,
            0x1, 0x4, 0x5, 0x8, 0x9, 0xC, 0xD, 0xF,
            0x3, 0x4, 0x6, 0x8, 0xA, 0xC, 0xE, 0xF};
        QTest::newRow("mono floyd-steinberg, threshold 100, inverted") << F::Mono << D::FloydSteinberg << true << 100 << false << Samples{
            0, 0, 1, 0, 1, 1, 1, 1,
            0, 0, 0, 1, 0, 1, 1, 1,
            0, 1, 0, 1, 0, 1, 1, 1,
            0, 0, 1, 0, 1, 1, 1, 1};
        // Threshold 0 moves light greys two levels up: still no ink.
        QTest::newRow("mono bayer4, threshold 0") << F::Mono << D::Bayer4 << false << 0 << false << Samples{
            1, 0, 1, 0, 0, 0, 0, 0,
            0, 1, 0, 0, 0, 0, 0, 0,
            1, 0, 1, 0, 0, 0, 0, 0,
            0, 0, 0, 0, 0, 0, 0, 0};
        QTest::newRow("rgb565 floyd-steinberg") << F::Rgb565 << D::FloydSteinberg << false << 128 << true << Samples{
            0x02DE, 0x22FB, 0x4AF7, 0x6AF3, 0x92EF, 0xB30C, 0xD308, 0xFB04,
            0x0B7F, 0x2B9A, 0x4B77, 0x7393, 0x938F, 0xB3AC, 0xDB87, 0xFBA4,
            0x0C1E, 0x2C1B, 0x4C37, 0x7433, 0x942F, 0xB42C, 0xDC48, 0xFC44,
            0x0CBE, 0x2CBB, 0x54D7, 0x74D3, 0x9CCF, 0xBCCC, 0xDCE8, 0xFCE4};
        QTest::newRow("rgb332 bayer4") << F::Rgb332 << D::Bayer4 << false << 128 << true << Samples{
            0x0A, 0x2F, 0x4A, 0x6E, 0x69, 0xAD, 0xC8, 0xED,
            0x0F, 0x2E, 0x4F, 0x6E, 0x8E, 0xAD, 0xD1, 0xEC,
            0x0F, 0x33, 0x4E, 0x72, 0x8D, 0xB1, 0xCC, 0xF0,
            0x37, 0x33, 0x77, 0x72, 0xB6, 0xB1, 0xF5, 0xF0};
        // clang-format on
    }
    void dithers() {
        QFETCH(PixelFormat, format);
        QFETCH(DitherMode, dither);
        QFETCH(bool, invert);
        QFETCH(int, threshold);
        QFETCH(bool, colour);
        QFETCH(Samples, expected);
        QVERIFY(acceptsDither(format));
        const Picture picture = colour ? colourGradient() : greyGradient();
        RowQuantiser q(format, dither, 8, invert, threshold);
        QCOMPARE(encodeAll(q, picture), expected);
        // The same bytes again: after a restart, and from a new quantiser.
        q.restart();
        QCOMPARE(encodeAll(q, picture), expected);
        RowQuantiser again(format, dither, 8, invert, threshold);
        QCOMPARE(encodeAll(again, picture), expected);
    }

    // The value a pixel has with the error it receives is clamped to 0..255
    // before it is quantised: a white pixel after dark ones leaves no error
    // for the next, a black one after light ones neither.
    void diffusedValueIsClamped_data() {
        QTest::addColumn<PixelFormat>("format");
        QTest::addColumn<QList<int>>("greys"); // one row
        QTest::addColumn<Samples>("expected");
        QTest::newRow("mono, 250 after 120") << PixelFormat::Mono << QList<int>{120, 250, 110}
                                             << Samples{1, 0, 1}; // unclamped: 1, 0, 0
        QTest::newRow("mono, 5 after 135") << PixelFormat::Mono << QList<int>{135, 5, 140}
                                           << Samples{0, 1, 0}; // unclamped: 0, 1, 1
        QTest::newRow("gray2, 250 after 120") << PixelFormat::Gray2 << QList<int>{120, 250, 125}
                                              << Samples{1, 3, 1}; // unclamped: 1, 3, 2
    }
    void diffusedValueIsClamped() {
        QFETCH(PixelFormat, format);
        QFETCH(QList<int>, greys);
        Picture row(1);
        for (const int v : greys)
            row[0].push_back(qRgb(v, v, v));
        RowQuantiser q(format, DitherMode::FloydSteinberg, int(greys.size()));
        QTEST(encodeAll(q, row), "expected");
    }

    void refusesBadArguments() {
        QVERIFY_THROWS_EXCEPTION(std::invalid_argument,
                                 RowQuantiser(PixelFormat::Mono, DitherMode::None, 4, false, 256));
        QVERIFY_THROWS_EXCEPTION(std::invalid_argument,
                                 RowQuantiser(PixelFormat::Mono, DitherMode::None, 4, false, -1));
        QVERIFY_THROWS_EXCEPTION(std::invalid_argument,
                                 RowQuantiser(PixelFormat::Gray4, DitherMode::None, -1));
        RowQuantiser q(PixelFormat::Gray4, DitherMode::FloydSteinberg, 4);
        QRgb row[5] = {};
        std::uint32_t out[5] = {};
        QVERIFY_THROWS_EXCEPTION(std::invalid_argument, q.encodeRow(row, 5, out));
    }
};

QTEST_APPLESS_MAIN(TestPixelFormat)
#include "test_pixelformat.moc"
