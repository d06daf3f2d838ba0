// Which heights of a picture a length of a display's data fits.
#include "picturedata.h"

#include <QTest>

using namespace zentraq;
using namespace zentraq::rgbqumo;

class TestPictureData : public QObject {
    Q_OBJECT

private slots:
    void heightsHeld_data() {
        QTest::addColumn<int>("bits");
        QTest::addColumn<int>("scan");
        QTest::addColumn<bool>("pad");
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("bytes");
        QTest::addColumn<int>("lowest");
        QTest::addColumn<int>("highest");
        const int row = int(core::Scan::Row), column = int(core::Scan::Column),
                  page = int(core::Scan::Page);
        QTest::newRow("mono columns of 5: 25 or 30 bits")
            << 1 << column << false << 5 << 4 << 5 << 6;
        QTest::newRow("mono columns of 8: one height") << 1 << column << false << 8 << 5 << 5 << 5;
        QTest::newRow("gray2 rows of 3: 42 or 48 bits") << 2 << row << false << 3 << 6 << 7 << 8;
        QTest::newRow("mono pages: a band of 8") << 1 << page << false << 3 << 3 << 1 << 8;
        QTest::newRow("padded gray4 columns") << 4 << column << true << 3 << 6 << 3 << 4;
        QTest::newRow("rgb565: 2 bytes a pixel") << 16 << row << false << 3 << 12 << 2 << 2;
        QTest::newRow("no height") << 16 << row << false << 3 << 10 << 0 << 0;
        QTest::newRow("less than a row") << 1 << row << true << 20 << 2 << 0 << 0;
    }
    void heightsHeld() {
        QFETCH(int, bits);
        QFETCH(int, scan);
        QFETCH(bool, pad);
        QFETCH(int, width);
        QFETCH(int, bytes);
        core::Layout layout;
        layout.bits = bits;
        layout.scan = core::Scan(scan);
        layout.pad = pad;
        const HeightsHeld held = rgbqumo::heightsHeld(layout, width, bytes);
        QTEST(held.lowest, "lowest");
        QTEST(held.highest, "highest");
    }
};

QTEST_GUILESS_MAIN(TestPictureData)
#include "test_picturedata.moc"
