// The conversion pipeline's stages: packing samples of every width by every
// scan (bytes worked out by hand), unpacking, pictures composited strip by
// strip or in place, and where a failing pixel stops the output. (The
// data-text, C and binary forms are in every output tests/identity pins.)
#include "bytearraysink.h"
#include "formatter.h"
#include "imagerows.h"
#include "packer.h"
#include "pipeline.h"
#include "runtime_error.h"

#include <QPainter>
#include <QTest>

using namespace zentraq;
using namespace zentraq::core;

Q_DECLARE_METATYPE(zentraq::core::Layout)
Q_DECLARE_METATYPE(zentraq::core::LayoutProblem)

namespace {

QByteArray hex(const char* text) {
    return QByteArray::fromHex(QByteArray(text).replace(' ', ""));
}

Layout layout(int bits, Scan scan, bool msb = false, bool pad = false,
              ByteOrder order = ByteOrder::LowFirst) {
    return Layout{bits, scan, msb, pad, order};
}

// All passes the packer needs (one per window of `window` bytes).
QByteArray pack(const Layout& l, int w, int h, const std::vector<std::uint32_t>& samples,
                qint64 window = Packer::DefaultWindow) {
    Packer p(l, w, h, window);
    QByteArray out;
    for (int pass = 0; pass < p.passes(); ++pass) {
        // In two pieces that split a row, as runs of a conversion do.
        const int first = int(samples.size()) / 2 + 1;
        p.add(samples.data(), first);
        p.add(samples.data() + first, int(samples.size()) - first);
        p.endFrame();
        out.append(reinterpret_cast<const char*>(p.ready().data()), qsizetype(p.ready().size()));
        p.clearReady();
    }
    return out;
}

// Fails on NoPixel, like the picture encoder; 8-bit samples of the red
// component otherwise.
struct RedOrFail : SampleEncoder {
    int bits() const override { return 8; }
    void encodeRow(const QRgb* pixels, int width, std::uint32_t* samples) override {
        for (int i = 0; i < width; ++i) {
            if (pixels[i] == NoPixel)
                throw RuntimeError::overflow();
            samples[i] = std::uint32_t(qRed(pixels[i]));
        }
    }
};

} // namespace

class TestPipeline : public QObject {
    Q_OBJECT

private slots:
    // 2-bit samples on 3x3:  1 2 3 / 0 3 1 / 2 0 1;  4-bit on 3x2: 1 2 3 / 4 5 6;
    // 16-bit on 2x2: 1234 ABCD / 0001 FF00;  24-bit on 1x2;  8-bit on 2x2.
    void packs_data() {
        QTest::addColumn<Layout>("layout");
        QTest::addColumn<QSize>("size");
        QTest::addColumn<std::vector<std::uint32_t>>("samples");
        QTest::addColumn<QByteArray>("bytes");
        const std::vector<std::uint32_t> two{1, 2, 3, 0, 3, 1, 2, 0, 1}, four{1, 2, 3, 4, 5, 6};
        const std::vector<std::uint32_t> words{0x1234, 0xABCD, 0x0001, 0xFF00},
            rgb{0x112233, 0xAABBCC};
        // clang-format off
        QTest::newRow("2-bit row") << layout(2, Scan::Row) << QSize(3, 3) << two << hex("39 27 01");
        QTest::newRow("2-bit row msb") << layout(2, Scan::Row, true) << QSize(3, 3) << two << hex("6C D8 40");
        QTest::newRow("2-bit column") << layout(2, Scan::Column) << QSize(3, 3) << two << hex("A1 73 01");
        QTest::newRow("2-bit column pad") << layout(2, Scan::Column, false, true) << QSize(3, 3) << two << hex("21 0E 17");
        QTest::newRow("2-bit page") << layout(2, Scan::Page) << QSize(3, 3) << two << hex("21 0E 17");
        QTest::newRow("2-bit band msb") << layout(2, Scan::Band, true) << QSize(3, 3) << two << hex("6C 34 84");
        QTest::newRow("4-bit row") << layout(4, Scan::Row) << QSize(3, 2) << four << hex("21 43 65");
        QTest::newRow("4-bit row msb") << layout(4, Scan::Row, true) << QSize(3, 2) << four << hex("12 34 56");
        QTest::newRow("4-bit row pad") << layout(4, Scan::Row, false, true) << QSize(3, 2) << four << hex("21 03 54 06");
        QTest::newRow("4-bit page") << layout(4, Scan::Page) << QSize(3, 2) << four << hex("41 52 63");
        QTest::newRow("4-bit band msb") << layout(4, Scan::Band, true) << QSize(3, 2) << four << hex("12 45 30 60");
        QTest::newRow("8-bit column") << layout(8, Scan::Column) << QSize(2, 2) << std::vector<std::uint32_t>{1, 2, 3, 4} << hex("01 03 02 04");
        QTest::newRow("16-bit low first") << layout(16, Scan::Row) << QSize(2, 2) << words << hex("34 12 CD AB 01 00 00 FF");
        QTest::newRow("16-bit high first") << layout(16, Scan::Row, false, false, ByteOrder::HighFirst) << QSize(2, 2) << words << hex("12 34 AB CD 00 01 FF 00");
        QTest::newRow("16-bit column") << layout(16, Scan::Column) << QSize(2, 2) << words << hex("34 12 01 00 CD AB 00 FF");
        QTest::newRow("24-bit low first") << layout(24, Scan::Row) << QSize(1, 2) << rgb << hex("33 22 11 CC BB AA");
        QTest::newRow("24-bit high first") << layout(24, Scan::Column, false, false, ByteOrder::HighFirst) << QSize(1, 2) << rgb << hex("11 22 33 AA BB CC");
        // clang-format on
    }
    void packs() {
        QFETCH(Layout, layout);
        QFETCH(QSize, size);
        QFETCH(std::vector<std::uint32_t>, samples);
        QFETCH(QByteArray, bytes);
        QCOMPARE(pack(layout, size.width(), size.height(), samples), bytes);
        // In windows of a byte (or a sample), one pass each.
        QCOMPARE(pack(layout, size.width(), size.height(), samples, 1), bytes);
        QCOMPARE(frameBytes(layout, size.width(), size.height()), bytes.size());
        std::vector<std::uint32_t> back;
        unpackFrame(layout, size.width(), size.height(),
                    reinterpret_cast<const std::uint8_t*>(bytes.constData()), back);
        QCOMPARE(back, samples);
    }

    // A frame needs a pixel at least, and all its samples before it ends;
    // bits above a sample's width are not looked at.
    void packerTakesWholeFrames_data() {
        QTest::addColumn<Layout>("layout");
        QTest::newRow("1-bit row") << layout(1, Scan::Row);
        QTest::newRow("1-bit page") << layout(1, Scan::Page);
        QTest::newRow("2-bit column, padded") << layout(2, Scan::Column, true, true);
        QTest::newRow("4-bit band") << layout(4, Scan::Band);
    }
    void packerTakesWholeFrames() {
        QFETCH(Layout, layout);
        QVERIFY_THROWS_EXCEPTION(RuntimeError, Packer(layout, 0, 4));
        QVERIFY_THROWS_EXCEPTION(RuntimeError, Packer(layout, 4, 0));

        Packer p(layout, 3, 3);
        const std::vector<std::uint32_t> samples{1, 0, 1, 1, 1, 0, 0, 0, 1};
        p.add(samples.data(), 8);
        QVERIFY_THROWS_EXCEPTION(RuntimeError, p.endFrame());

        std::vector<std::uint32_t> high = samples;
        for (std::uint32_t& s : high)
            s |= 0xFFFFFF00u | (0xFEu << (layout.bits - 1) & 0xFFu);
        QCOMPARE(pack(layout, 3, 3, high), pack(layout, 3, 3, samples));
    }

    // Windows not taken yet gather in the ready bytes, in frame order.
    void packerGathersWindowsUntilTaken() {
        Packer p(layout(8, Scan::Column), 3, 2, 2);
        QCOMPARE(p.passes(), 3);
        const std::vector<std::uint32_t> samples{1, 2, 3, 4, 5, 6};
        for (int pass = 0; pass < p.passes(); ++pass) {
            p.add(samples.data(), int(samples.size()));
            p.endFrame();
        }
        QCOMPARE(QByteArray(reinterpret_cast<const char*>(p.ready().data()),
                            qsizetype(p.ready().size())),
                 hex("01 04 02 05 03 06"));
    }

    void refusedLayouts_data() {
        QTest::addColumn<Layout>("layout");
        QTest::addColumn<LayoutProblem>("problem");
        QTest::newRow("3 bits") << layout(3, Scan::Row) << LayoutProblem::BitsNotPackable;
        QTest::newRow("page of 16-bit samples")
            << layout(16, Scan::Page) << LayoutProblem::WholeBytesInBands;
        QTest::newRow("band of bytes") << layout(8, Scan::Band) << LayoutProblem::WholeBytesInBands;
        QTest::newRow("pad with page")
            << layout(1, Scan::Page, false, true) << LayoutProblem::PadOutsideRowColumn;
        QTest::newRow("pad with band")
            << layout(1, Scan::Band, false, true) << LayoutProblem::PadOutsideRowColumn;
        QTest::newRow("pad of whole bytes")
            << layout(16, Scan::Row, false, true) << LayoutProblem::PadWholeBytes;
    }
    void refusedLayouts() {
        QFETCH(Layout, layout);
        QFETCH(LayoutProblem, problem);
        QCOMPARE(layoutProblem(layout), problem);
        QVERIFY_THROWS_EXCEPTION(RuntimeError, Packer(layout, 4, 4));
    }

    // Strips of a few rows give the pixels that Qt's painter shows of the
    // whole picture, and so does a surface given it, for pictures of every kind
    // of format with and without alpha, on white and on another background;
    // so does the opaque picture made of it, in place for 32-bit pictures.
    void imageRowsAsTheSurfaceShows_data() {
        QTest::addColumn<QImage>("picture");
        QTest::addColumn<QRgb>("background");
        QImage argb(37, 23, QImage::Format_ARGB32);
        for (int y = 0; y < argb.height(); ++y)
            for (int x = 0; x < argb.width(); ++x)
                argb.setPixel(x, y, qRgba(x * 7, y * 11, (x * y) & 255, (x * 13 + y * 29) & 255));
        QImage deep(37, 23, QImage::Format_RGBA64);
        for (int y = 0; y < deep.height(); ++y)
            for (int x = 0; x < deep.width(); ++x)
                deep.setPixelColor(x, y,
                                   QColor::fromRgba64(quint16(x * 1771 + y), quint16(y * 2851),
                                                      quint16(x * y * 77),
                                                      quint16(x * 1283 + y * 97)));
        QImage mono = argb.convertToFormat(QImage::Format_Mono);
        mono.setColorTable({qRgba(200, 30, 90, 100), qRgba(10, 250, 40, 255)});
        const struct {
            const char* name;
            QImage picture;
        } pictures[] = {
            {"ARGB32", argb},
            {"premultiplied", argb.convertToFormat(QImage::Format_ARGB32_Premultiplied)},
            {"64-bit, 16-bit alpha", deep},
            {"64-bit premultiplied", deep.convertToFormat(QImage::Format_RGBA64_Premultiplied)},
            {"RGB888", argb.convertToFormat(QImage::Format_RGB888)},
            {"indexed", argb.convertToFormat(QImage::Format_Indexed8)},
            {"mono with alpha", mono},
            {"grey", argb.convertToFormat(QImage::Format_Grayscale8)},
            {"RGB32", argb.convertToFormat(QImage::Format_RGB32)},
        };
        for (const auto& p : pictures) {
            QTest::addRow("%s on white", p.name) << p.picture << qRgb(255, 255, 255);
            QTest::addRow("%s on slate", p.name) << p.picture << qRgb(47, 79, 131);
        }
    }
    void imageRowsAsTheSurfaceShows() {
        QFETCH(QImage, picture);
        QFETCH(QRgb, background);
        // Qt's painter is the judge.
        QImage painted(picture.size(), QImage::Format_RGB32);
        painted.fill(background);
        QPainter(&painted).drawImage(0, 0, picture);
        // Qt's conversion of a 64-bit premultiplied picture leaves some
        // transparent pixels with colour, which the painter then shows in
        // colours that depend on their neighbours; the picture box shows the
        // background there.
        const QImage premultiplied = picture.convertToFormat(QImage::Format_ARGB32_Premultiplied);
        const auto shown = [&](int x, int y) {
            return qAlpha(premultiplied.pixel(x, y)) == 0
                       ? rgbColour(qRed(background), qGreen(background), qBlue(background))
                       : colourOf(painted.pixel(x, y));
        };
        ImageRows rows(picture, background, 37 * 4 * 3); // 3 rows a strip
        std::vector<QRgb> row(37);
        for (int y = 0; y < picture.height(); ++y) {
            rows.read(y, 0, 37, row.data());
            for (int x = 0; x < 37; ++x)
                QCOMPARE(colourOf(row[std::size_t(x)]), shown(x, y));
        }
        rows.read(5, 30, 7, row.data()); // a run inside a row, out of order
        QCOMPARE(colourOf(row[0]), shown(30, 5));

        // The picture box shows the same.
        Surface surface(0, 0, rgbColour(qRed(background), qGreen(background), qBlue(background)));
        surface.assign(picture);
        for (int y = 0; y < picture.height(); ++y)
            for (int x = 0; x < 37; ++x)
                QCOMPARE(surface.pixel(x, y), shown(x, y));

        QImage own = picture.copy();
        const uchar* bits = own.constBits();
        const QImage::Format format = own.format();
        const bool eightBit =
            format == QImage::Format_Indexed8 || format == QImage::Format_Grayscale8;
        const bool inPlace = own.depth() >= 32 || eightBit;
        const QImage opaque = opaquePicture(std::move(own), background);
        QCOMPARE(opaque.format(), eightBit ? format : QImage::Format_RGB32);
        QCOMPARE(opaque.constBits() == bits, inPlace);
        for (int y = 0; y < picture.height(); ++y)
            for (int x = 0; x < 37; ++x)
                QCOMPARE(colourOf(opaque.pixel(x, y)), shown(x, y));
    }

    // A frame larger than a window is read again for every window, the
    // encoder restarted each time: the same text as in one window, with the
    // frame's line end once.
    void passesReadTheFrameAgain() {
        // Samples that depend on the rows since the last restart.
        struct RowCounter : SampleEncoder {
            int row = 0;
            int bits() const override { return 4; }
            void encodeRow(const QRgb*, int width, std::uint32_t* samples) override {
                for (int i = 0; i < width; ++i)
                    samples[i] = std::uint32_t(row * 3 + i) & 15;
                ++row;
            }
            void restart() override { row = 0; }
        };
        Surface surface(5, 7);
        SurfacePixels pixels(surface, 5, 7);
        for (Scan scan : {Scan::Column, Scan::Page, Scan::Band}) {
            RowCounter a, b;
            ByteArraySink whole, windows;
            Formatter fa(whole, DataForm::Text, LinePolicy{0, true});
            Formatter fb(windows, DataForm::Text, LinePolicy{0, true});
            Pipeline(a, layout(4, scan), 5, 7, &fa).frame(pixels);
            Pipeline pb(b, layout(4, scan), 5, 7, &fb, 4);
            QCOMPARE(pb.packer().passes(), int(frameBytes(layout(4, scan), 5, 7) + 3) / 4);
            pb.frame(pixels);
            fa.finish();
            fb.finish();
            QCOMPARE(windows.bytes, whole.bytes);
            QCOMPARE(whole.bytes.count("\r\n"), 1);
        }
    }

    // A pixel that cannot be encoded ends the run there: the pixels before it
    // are in the output, nothing after it.
    void failureKeepsThePixelsBefore() {
        Surface surface(3, 1, rgbColour(10, 0, 0));
        surface.setPixel(1, 0, rgbColour(20, 0, 0));
        surface.setPixel(2, 0, rgbColour(30, 0, 0));
        SurfacePixels pixels(surface, 5, 1); // wider than the surface
        RedOrFail encoder;
        ByteArraySink sink;
        Formatter f(sink, DataForm::Binary);
        Pipeline pipeline(encoder, Layout{}, 5, 1, &f);
        QVERIFY_THROWS_EXCEPTION(RuntimeError, pipeline.pixels(pixels, 0, 0, 5));
        f.flush();
        QCOMPARE(sink.bytes, hex("0A 14 1E"));
    }
};

QTEST_GUILESS_MAIN(TestPipeline)
#include "test_pipeline.moc"
