// Small files whose headers claim more than they hold: the loader refuses
// them before a decoder allocates what they claim, and still loads the honest
// files they are made from.
#include "pictureloader.h"
#include "pngcases.h"
#include "runtime_error.h"

#include <QtTest>

#include <QBuffer>
#include <QImageWriter>
#include <QtEndian>

using namespace zentraq;
using zentraq::testing::pngChunk;

namespace {

QByteArray le(quint32 v, int bytes) {
    QByteArray b(4, '\0');
    qToLittleEndian(v, b.data());
    return b.left(bytes);
}

// A 2 x 2 PNG written by Qt, with `extra` put in after its header chunk.
QByteArray pngWith(const QByteArray& extra = {}) {
    QImage picture(2, 2, QImage::Format_RGB32);
    picture.fill(qRgb(10, 200, 30));
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    picture.save(&buffer, "PNG");
    return png.left(8 + 25) + extra + png.mid(8 + 25);
}

// An icon (type 1) or cursor (type 2) whose one image is `image`, stored as
// `length` bytes by its directory entry (its true length when -1).
QByteArray iconWith(quint16 type, const QByteArray& image, qint64 length = -1) {
    return le(0, 2) + le(type, 2) + le(1, 2) + char(2) + char(2) + QByteArray(2, '\0') + le(1, 2) +
           le(32, 2) + le(quint32(length < 0 ? image.size() : length), 4) + le(22, 4) + image;
}

// A JPEG written by Qt, progressive or not.
QByteArray jpeg(bool progressive) {
    QImage picture(24, 16, QImage::Format_RGB32);
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 24; ++x)
            picture.setPixel(x, y, qRgb(x * 10, y * 15, 99));
    QByteArray out;
    QBuffer buffer(&out);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "jpeg");
    writer.setProgressiveScanWrite(progressive);
    writer.write(picture);
    return out;
}

// The headers of a JPEG frame of `width` x `height` with three components
// sampled 1 x 1 (marker C0 baseline, C2 progressive), and its first scan
// with `scanned` of them. No pixel data.
QByteArray jpegHeaders(uchar frame, int width, int height, int scanned) {
    QByteArray sof = QByteArray("\xFF", 1) + char(frame) + char(0) + char(17) + char(8) +
                     char(height >> 8) + char(height) + char(width >> 8) + char(width) + char(3);
    for (int c = 1; c <= 3; ++c)
        sof += QByteArray() + char(c) + char(0x11) + char(0);
    QByteArray sos = QByteArray("\xFF\xDA", 2) + char(0) + char(6 + 2 * scanned) + char(scanned);
    for (int c = 1; c <= scanned; ++c)
        sos += QByteArray() + char(c) + char(0);
    return QByteArray("\xFF\xD8", 2) + sof + sos + QByteArray("\0\x3F\0", 3) +
           QByteArray(16, '\x55');
}

// A lossless WebP of 3 x 3 written by Qt; its first chunk after the RIFF
// header is at 12.
QByteArray webp() {
    QImage picture(3, 3, QImage::Format_RGB32);
    picture.fill(qRgb(1, 2, 3));
    QByteArray out;
    QBuffer buffer(&out);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "webp");
    writer.setQuality(100);
    writer.write(picture);
    return out;
}

} // namespace

class TestPictureBounds : public QObject {
    Q_OBJECT

private slots:
    // Each row: a file, and the words that must be in the refusal (empty:
    // the file loads).
    void claims_data() {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QString>("refusal");

        const QByteArray text("Comment\0hello", 13);
        const QByteArray lyingText = pngChunk("tEXt", text, 1'900'000'000);
        QTest::newRow("png") << pngWith(pngChunk("tEXt", text)) << QString();
        QTest::newRow("png, tEXt claims 1.9 GB") << pngWith(lyingText) << "不完整";
        QTest::newRow("png, chunk claims one byte more than the file has")
            << pngWith(pngChunk("tEXt", text, text.size() + 1)).left(8 + 25 + 12 + text.size())
            << "不完整";
        for (const quint16 type : {1, 2}) {
            const char* kind = type == 1 ? "icon" : "cursor";
            QTest::addRow("%s with a png", kind) << iconWith(type, pngWith()) << QString();
            QTest::addRow("%s with a png whose tEXt claims 1.9 GB", kind)
                << iconWith(type, pngWith(lyingText)) << "tEXt 声称有 1900000000 字节";
            // The entry gives the image fewer bytes than its chunks need:
            // the decoder sees only those.
            const QByteArray png = pngWith();
            QTest::addRow("%s whose entry cuts the png's image data", kind)
                << iconWith(type, png + "trailing bytes", png.size() - 20) << "IDAT";
        }

        QTest::newRow("jpeg") << jpeg(false) << QString();
        QTest::newRow("progressive jpeg") << jpeg(true) << QString();
        QByteArray app1 = jpeg(false);
        app1.insert(2, QByteArray::fromHex("FFE1FFF0") + "Exif");
        QTest::newRow("jpeg, a segment claims more than the file has") << app1 << "FFE1";
        // 5600 x 5600 pixels fit the default 128 MiB for their 4 bytes each,
        // but not the 6 bytes of coefficients each needs on the side.
        QTest::newRow("progressive jpeg, 5600x5600") << jpegHeaders(0xC2, 5600, 5600, 1) << "系数";
        QTest::newRow("baseline jpeg in separate scans, 5600x5600")
            << jpegHeaders(0xC0, 5600, 5600, 1) << "系数";

        const QByteArray honest = webp();
        QTest::newRow("webp") << honest << QString();
        QByteArray lyingWebp = honest;
        qToLittleEndian<quint32>(0x7FFFFFF0, lyingWebp.data() + 16);
        QTest::newRow("webp, its image chunk claims 2 GB") << lyingWebp << "声称有 2147483632 字节";
    }
    void claims() {
        QFETCH(QByteArray, file);
        QFETCH(QString, refusal);
        QString error;
        try {
            const QImage picture = rgbqumo::LoadPictureData(file, QStringLiteral("input"));
            QVERIFY(!picture.isNull());
        } catch (const RuntimeError& e) {
            QCOMPARE(e.code(), RuntimeError::InvalidPicture);
            error = QString::fromUtf8(e.what());
        }
        if (refusal.isEmpty())
            QVERIFY2(error.isEmpty(), qPrintable(error));
        else
            QVERIFY2(error.contains(refusal) && error.contains(QStringLiteral("input")),
                     qPrintable(error));
    }
};

QTEST_GUILESS_MAIN(TestPictureBounds)
#include "test_picture_bounds.moc"
