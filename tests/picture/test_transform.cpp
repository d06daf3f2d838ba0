// Fitting pictures: borders and cuts of each fit and smooth scaling worked
// out by hand, alpha kept, sizes that are refused. Turns and flips are pinned
// by tests/identity.
#include "runtime_error.h"
#include "transform.h"

#include <QImageReader>
#include <QtTest>

#include <map>
#include <stdexcept>

using namespace zentraq;
using namespace zentraq::rgbqumo;

Q_DECLARE_METATYPE(Rotation)
Q_DECLARE_METATYPE(Fit)

namespace {

// Letters for the colours of the test pictures.
QRgb colourOf(QChar c) {
    static const std::map<char, QRgb> colours = {
        {'A', qRgb(255, 0, 0)},     {'B', qRgb(0, 255, 0)},   {'C', qRgb(0, 0, 255)},
        {'D', qRgb(255, 255, 0)},   {'E', qRgb(0, 255, 255)}, {'F', qRgb(255, 0, 255)},
        {'W', qRgb(255, 255, 255)}, {'K', qRgb(0, 0, 0)},
    };
    return colours.at(c.toLatin1());
}

// A picture from rows of letters, e.g. "ABC DEF".
QImage pictureOf(const QString& rows) {
    const QStringList lines = rows.split(u' ');
    QImage img(int(lines[0].size()), int(lines.size()), QImage::Format_RGB32);
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            img.setPixel(x, y, colourOf(lines[y][x]));
    return img;
}

// The 8 x 4 quadrant picture: A (red) top left, C (blue) top right, B
// (green) bottom left, K (black) bottom right, each 4 x 2.
QImage quadrants() {
    return pictureOf(QStringLiteral("AAAACCCC AAAACCCC BBBBKKKK BBBBKKKK"));
}

// Compares with rows of letters; '?' is any colour.
void compareWith(const QImage& result, const QString& expected) {
    const QStringList rows = expected.split(u' ');
    QCOMPARE(result.size(), QSize(int(rows[0].size()), int(rows.size())));
    for (int y = 0; y < result.height(); ++y)
        for (int x = 0; x < result.width(); ++x)
            if (rows[y][x] != u'?' && result.pixel(x, y) != colourOf(rows[y][x]))
                QFAIL(qPrintable(QStringLiteral("pixel %1,%2 is %3, expected %4")
                                     .arg(x)
                                     .arg(y)
                                     .arg(result.pixel(x, y), 8, 16)
                                     .arg(rows[y][x])));
}

// A one-row picture of greys, scaled across to `width`.
QList<int> scaledGreys(const QList<int>& greys, int width) {
    QImage img(int(greys.size()), 1, QImage::Format_RGB32);
    for (int x = 0; x < img.width(); ++x)
        img.setPixel(x, 0, qRgb(greys[x], greys[x], greys[x]));
    Fitting f;
    f.resize = QSize(width, 1);
    f.fit = Fit::Stretch;
    const QImage out = fitPicture(img, f);
    QList<int> result;
    for (int x = 0; x < out.width(); ++x)
        result << qRed(out.pixel(x, 0));
    return result;
}

} // namespace

class TestTransform : public QObject {
    Q_OBJECT

private slots:
    // Borders and cuts of each fit, worked by hand. Sides kept from the
    // shape round to the nearest pixel (4x3 in 5x5 is 5 x 3.75, so 4 rows;
    // the part of 4x3 with the shape of 3x5 is 1.8 wide, so 2 columns),
    // never to less than one; an odd border or cut falls below or right.
    // '?' is a blended colour.
    void fits_data() {
        QTest::addColumn<QString>("picture");
        QTest::addColumn<Rotation>("rotation");
        QTest::addColumn<QSize>("size");
        QTest::addColumn<Fit>("fit");
        QTest::addColumn<QString>("expected");
        const QString quads = QStringLiteral("AAAACCCC AAAACCCC BBBBKKKK BBBBKKKK");
        const QString abcd = QStringLiteral("ABCD ABCD ABCD");
        const auto none = Rotation::None;
        QTest::newRow("contain 4x3: odd row below")
            << quads << none << QSize(4, 3) << Fit::Contain << "AACC BBKK WWWW";
        QTest::newRow("contain 5x2: odd column right")
            << quads << none << QSize(5, 2) << Fit::Contain << "AACCW BBKKW";
        QTest::newRow("90 then cover 2x2")
            << quads << Rotation::Clockwise90 << QSize(2, 2) << Fit::Cover << "BA KC";
        QTest::newRow("contain 4x3 in 5x5") << "KKKK KKKK KKKK" << none << QSize(5, 5)
                                            << Fit::Contain << "KKKKK KKKKK KKKKK KKKKK WWWWW";
        QTest::newRow("cover 4x3 with 3x5")
            << abcd << none << QSize(3, 5) << Fit::Cover << "B?C B?C B?C B?C B?C";
        QTest::newRow("contain 1x12 in 5x5: one column")
            << QStringList(12, QStringLiteral("K")).join(u' ') << none << QSize(5, 5)
            << Fit::Contain << "WWKWW WWKWW WWKWW WWKWW WWKWW";
        QTest::newRow("contain 2x40 in 5x5: one column, not the picture unscaled")
            << QStringList(40, QStringLiteral("KK")).join(u' ') << none << QSize(5, 5)
            << Fit::Contain << "WWKWW WWKWW WWKWW WWKWW WWKWW";
        QTest::newRow("cover 1x2 with 5x1: one row, the odd one cut below")
            << "A B" << none << QSize(5, 1) << Fit::Cover << "AAAAA";
        QTest::newRow("cover 4x3 with 3x3: the odd column cut on the right")
            << abcd << none << QSize(3, 3) << Fit::Cover << "ABC ABC ABC";
    }
    void fits() {
        QFETCH(QString, picture);
        QFETCH(Rotation, rotation);
        QFETCH(QSize, size);
        QFETCH(Fit, fit);
        QFETCH(QString, expected);
        Fitting f;
        f.rotation = rotation;
        f.resize = size;
        f.fit = fit;
        compareWith(fitPicture(pictureOf(picture), f), expected);
    }

    // A fitted picture above the reader's allocation limit is refused before
    // it is made; 512x512 takes exactly 1 MiB.
    void fitKeepsToTheAllocationLimit_data() {
        QTest::addColumn<QSize>("size");
        QTest::addColumn<bool>("made");
        QTest::newRow("1 MiB") << QSize(512, 512) << true;
        QTest::newRow("1 MiB and a row") << QSize(512, 513) << false;
    }
    void fitKeepsToTheAllocationLimit() {
        QFETCH(QSize, size);
        QFETCH(bool, made);
        const int limit = QImageReader::allocationLimit();
        QImageReader::setAllocationLimit(1);
        const auto restore = qScopeGuard([limit] { QImageReader::setAllocationLimit(limit); });
        Fitting f;
        f.resize = size;
        if (made)
            QCOMPARE(fitPicture(pictureOf(QStringLiteral("K")), f).size(), size);
        else
            QVERIFY_THROWS_EXCEPTION(RuntimeError, fitPicture(pictureOf(QStringLiteral("K")), f));
    }

    // Worked by hand: shrinking averages the covered areas, enlarging
    // interpolates between the two nearest pixel centres.
    void scalesSmoothly_data() {
        QTest::addColumn<QList<int>>("greys");
        QTest::addColumn<int>("width");
        QTest::addColumn<QList<int>>("expected");
        QTest::newRow("3 to 1: the mean") << QList<int>{30, 60, 90} << 1 << QList<int>{60};
        QTest::newRow("3 to 2: 2/3 and 1/3 of the middle")
            << QList<int>{30, 90, 150} << 2 << QList<int>{50, 130};
        QTest::newRow("4 to 2: pairs, halves up")
            << QList<int>{0, 1, 100, 200} << 2 << QList<int>{1, 150};
        QTest::newRow("2 to 5: fifths")
            << QList<int>{0, 250} << 5 << QList<int>{0, 25, 125, 225, 250};
        // Sixths of 65536 rounded as a running total: 10923, 10922, 10923,
        // 10923, 10922, 10923. The mean is 109.5; these weights give
        // 109.4998 (truncated ones would give 109.5038, so 110).
        QTest::newRow("6 to 1: weights of the rounded running total")
            << QList<int>{62, 106, 121, 26, 244, 98} << 1 << QList<int>{109};
    }
    void scalesSmoothly() {
        QFETCH(QList<int>, greys);
        QFETCH(int, width);
        QTEST(scaledGreys(greys, width), "expected");
    }

    // 8-bit pictures are read in place: a grey one through its levels, an
    // indexed one through its table, whose values past its end are black, as
    // Qt shows them, also turned and scaled.
    void eightBitPictures() {
        QImage grey(2, 1, QImage::Format_Grayscale8);
        grey.scanLine(0)[0] = 30;
        grey.scanLine(0)[1] = 200;
        QCOMPARE(fitPicture(grey, Fitting()), grey.convertToFormat(QImage::Format_RGB32));
        QImage img(3, 1, QImage::Format_Indexed8);
        img.setColorTable({qRgb(250, 10, 10), qRgb(10, 250, 10)});
        img.scanLine(0)[0] = 0;
        img.scanLine(0)[1] = 1;
        img.scanLine(0)[2] = 7;
        QCOMPARE(img.convertToFormat(QImage::Format_RGB32).pixel(2, 0), qRgb(0, 0, 0));
        Fitting f;
        QCOMPARE(fitPicture(img, f), img.convertToFormat(QImage::Format_RGB32));
        f.rotation = Rotation::Clockwise90;
        f.resize = QSize(2, 6);
        f.fit = Fit::Stretch;
        QCOMPARE(fitPicture(img, f).pixel(1, 5), qRgb(0, 0, 0));
    }

    // Alpha is not looked at: the rows are opaque whatever the picture holds.
    void rowsAreOpaque() {
        QImage img(2, 1, QImage::Format_ARGB32);
        img.setPixel(0, 0, qRgba(10, 20, 30, 0));
        img.setPixel(1, 0, qRgba(40, 50, 60, 128));
        for (const QSize size : {QSize(), QSize(3, 1)}) {
            Fitting f;
            f.resize = size;
            f.fit = Fit::Stretch;
            const QImage out = fitPicture(img, f);
            QCOMPARE(out.pixel(0, 0), qRgb(10, 20, 30));
            FittedRows rows(img, f);
            std::vector<QRgb> row(std::size_t(rows.width()));
            QVERIFY(rows.readRow(row.data()));
            QCOMPARE(row.front(), qRgb(10, 20, 30));
            QCOMPARE(qAlpha(row.back()), 255);
        }
    }

    // As a pixel source: whole rows from the top; the first row again
    // starts over.
    void pixelSourceStartsOver() {
        QImage img(3, 2, QImage::Format_RGB32);
        for (int i = 0; i < 6; ++i)
            img.setPixel(i % 3, i / 3, qRgb(i * 40, 0, 0));
        Fitting f;
        f.rotation = Rotation::Clockwise90;
        FittedPixels pixels(img, f);
        QCOMPARE(QSize(pixels.width(), pixels.height()), QSize(2, 3));
        QRgb row[2];
        for (int pass = 0; pass < 2; ++pass)
            for (int y = 0; y < 3; ++y) {
                pixels.read(y, 0, 2, row);
                QCOMPARE(row[0], qRgb((3 + y) * 40, 0, 0)); // the bottom row, turned
                QCOMPARE(row[1], qRgb(y * 40, 0, 0));
            }
        QVERIFY_THROWS_EXCEPTION(std::logic_error, pixels.read(2, 0, 2, row));
    }

    // A canvas at the size limit is produced a row at a time without being
    // held; asked for whole, it is refused instead of exhausting memory.
    void hugeCanvas() {
        Fitting f;
        f.resize = QSize(MaxFitSide, MaxFitSide);
        FittedRows rows(quadrants(), f);
        QCOMPARE(rows.size(), QSize(MaxFitSide, MaxFitSide));
        std::vector<QRgb> row(MaxFitSide);
        QVERIFY(rows.readRow(row.data()));
        QCOMPARE(row.front(), colourOf(u'W')); // contain: the picture starts lower down
        QVERIFY_THROWS_EXCEPTION(RuntimeError, fitPicture(quadrants(), f));

        f.resize = QSize(0, 10);
        QVERIFY_THROWS_EXCEPTION(std::invalid_argument, FittedRows(quadrants(), f));
        f.resize = QSize(10, MaxFitSide + 1);
        QVERIFY_THROWS_EXCEPTION(std::invalid_argument, FittedRows(quadrants(), f));
    }

    // With alpha kept: turned and mirrored pixels keep it exactly, the canvas
    // of a contained picture is transparent, and scaling weighs colour by
    // alpha, so a transparent pixel lends its neighbour none of its colour.
    void keepsAlpha_data() {
        QTest::addColumn<int>("format");
        QTest::addColumn<int>("rotation");
        QTest::addColumn<QSize>("resize");
        QTest::addColumn<Fit>("fit");
        QTest::addColumn<QString>("want"); // pixels as 0xAARRGGBB, row by row
        const int argb = int(QImage::Format_ARGB32), pre = int(QImage::Format_ARGB32_Premultiplied);
        const int indexed = int(QImage::Format_Indexed8);
        for (int f : {argb, pre, indexed}) {
            QTest::addRow("%d as it is", f) << f << int(Rotation::None) << QSize() << Fit::Contain
                                            << "ffff0000 0000ff00 8000ff00 ff0000ff";
            QTest::addRow("%d turned 90", f)
                << f << int(Rotation::Clockwise90) << QSize() << Fit::Contain
                << "8000ff00 ffff0000 ff0000ff 0000ff00";
            QTest::addRow("%d shrunk to one", f)
                << f << int(Rotation::None) << QSize(1, 1) << Fit::Contain << "a0663366";
            QTest::addRow("%d contained", f)
                << f << int(Rotation::None) << QSize(4, 2) << Fit::Contain
                << "00000000 ffff0000 0000ff00 00000000 00000000 8000ff00 ff0000ff 00000000";
            // Interpolated between the centres; the right column is the
            // transparent green alone: transparent black.
            QTest::addRow("%d stretched", f)
                << f << int(Rotation::None) << QSize(4, 2) << Fit::Stretch
                << "ffff0000 bfff0000 40ff0000 00000000 8000ff00 a0009966 df0025da ff0000ff";
        }
    }
    void keepsAlpha() {
        QFETCH(int, format);
        QFETCH(int, rotation);
        QFETCH(QSize, resize);
        QFETCH(Fit, fit);
        QFETCH(QString, want);
        QImage p(2, 2, QImage::Format_ARGB32);
        p.setPixel(0, 0, 0xFFFF0000);
        p.setPixel(1, 0, 0x0000FF00); // transparent green
        p.setPixel(0, 1, 0x8000FF00);
        p.setPixel(1, 1, 0xFF0000FF);
        QImage picture = p.convertToFormat(QImage::Format(format));
        if (format == int(QImage::Format_Indexed8)) {
            picture = QImage(2, 2, QImage::Format_Indexed8);
            picture.setColorTable({p.pixel(0, 0), p.pixel(1, 0), p.pixel(0, 1), p.pixel(1, 1)});
            for (int i = 0; i < 4; ++i)
                picture.setPixel(i % 2, i / 2, uint(i));
        }
        Fitting f;
        f.rotation = Rotation(rotation);
        f.resize = resize;
        f.fit = fit;
        FittedPixels rows(picture, f, true);
        QStringList got;
        std::vector<QRgb> row(std::size_t(rows.width()));
        for (int y = 0; y < rows.height(); ++y) {
            rows.read(y, 0, rows.width(), row.data());
            for (QRgb px : row)
                got << QString::number(px, 16).rightJustified(8, u'0');
        }
        // Premultiplied storage keeps no colour where alpha is 0.
        if (format == int(QImage::Format_ARGB32_Premultiplied))
            want.replace(QStringLiteral("0000ff00"), QStringLiteral("00000000"));
        QCOMPARE(got.join(u' '), want);
    }

    void emptyPicture() {
        Fitting f;
        QCOMPARE(fitPicture(QImage(), f).size(), QSize(0, 0));
        f.resize = QSize(2, 1);
        compareWith(fitPicture(QImage(), f), QStringLiteral("WW"));
    }
};

QTEST_MAIN(TestTransform)
#include "test_transform.moc"
