// Picture loading and the conversion into the data file, checked byte for
// byte against data computed here from the pixels with plain arithmetic.
#include "pictureconvert.h"
#include "pictureloader.h"
#include "runtime_error.h"
#include "surface.h"

#include <QtTest>

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QImageWriter>
#include <QTemporaryDir>

#include <chrono>

using namespace zentraq;
using namespace zentraq::rgbqumo;

namespace {

const QRgb White = qRgb(255, 255, 255);

// The data file expected for opaque pixels: "0xLL,0xHH," per pixel, CR LF
// after every 8th.
QByteArray expectedData(const QImage& opaque, int pixels = -1) {
    QByteArray out;
    int n = 0;
    for (int y = 0; y < opaque.height(); ++y)
        for (int x = 0; x < opaque.width(); ++x) {
            if (pixels >= 0 && n == pixels)
                return out;
            const QRgb p = opaque.pixel(x, y);
            const int word = ((qRed(p) >> 3) << 11) | ((qGreen(p) >> 2) << 5) | (qBlue(p) >> 3);
            out += QString::asprintf("0x%02X,0x%02X,", word & 0xFF, word >> 8).toLatin1();
            if (++n % 8 == 0)
                out += "\r\n";
        }
    return out;
}

// A picture whose neighbouring pixels all differ, so a swapped or skipped
// pixel shows.
QImage patterned(int w, int h) {
    QImage img(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            img.setPixel(x, y, qRgb((x * 37 + y * 11) & 255, (x * 5 + y * 71) & 255, (x * y + 3 * x) & 255));
    return img;
}

Surface surfaceOf(const QImage& picture) {
    Surface s(0, 0, rgbColour(255, 255, 255));
    s.assign(picture);
    return s;
}

QByteArray readAll(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return "<unreadable>";
    return f.readAll();
}

bool writeFile(const QString& path, const QByteArray& data) {
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(data) == data.size();
}

// A GIF with a four-colour palette, written here because Qt reads GIF but
// does not write it. Every pixel is a literal LZW code, with a clear code
// after each pair so the codes stay 3 bits wide.
QByteArray makeGif(int w, int h, const QList<QRgb>& palette, const QList<int>& pixels,
                   int transparentIndex) {
    QByteArray gif("GIF89a");
    auto le16 = [&gif](int v) { gif += char(v & 255); gif += char(v >> 8); };
    le16(w);
    le16(h);
    gif += char(0x91); // global colour table of 4 entries
    gif += char(0);
    gif += char(0);
    for (QRgb c : palette) {
        gif += char(qRed(c));
        gif += char(qGreen(c));
        gif += char(qBlue(c));
    }
    gif += QByteArray("\x21\xF9\x04\x01\x00\x00", 6);
    gif += char(transparentIndex);
    gif += char(0);
    gif += char(0x2C);
    le16(0);
    le16(0);
    le16(w);
    le16(h);
    gif += char(0);
    gif += char(2); // minimum code size

    QList<int> codes{4};
    for (int i = 0; i < pixels.size(); ++i) {
        codes << pixels[i];
        if (i % 2 == 1)
            codes << 4;
    }
    codes << 5;
    QByteArray stream;
    quint32 bits = 0;
    int count = 0;
    for (int code : codes) {
        bits |= quint32(code) << count;
        count += 3;
        while (count >= 8) {
            stream += char(bits & 255);
            bits >>= 8;
            count -= 8;
        }
    }
    if (count > 0)
        stream += char(bits & 255);
    for (int at = 0; at < stream.size(); at += 255) {
        const QByteArray block = stream.mid(at, 255);
        gif += char(block.size());
        gif += block;
    }
    gif += char(0);
    gif += char(0x3B);
    return gif;
}

} // namespace

class TestPictureFile : public QObject {
    Q_OBJECT

private slots:
    void init();

    void dataFile_data();
    void dataFile();
    void replacesOldFile();
    void progress_data();
    void progress();
    void pumpSeesWrittenPixels();
    void stopRequestEndsAtNextPixel();
    void pacedPumpRunsFromFirstPixel();
    void refusesToReplace_data();
    void refusesToReplace();
    void cannotCreate();
    void sizeOverflowLeavesEmptyFile();
    void pixelOutsidePictureKeepsEarlierItems();
    void readDataText();

    void loadsFormats_data();
    void loadsFormats();
    void transparentPictureOnWhite_data();
    void transparentPictureOnWhite();
    void transparentGif();
    void formatFromContent();
    void loadFailures_data();
    void loadFailures();

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_path;
};

void TestPictureFile::init() {
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_path = DataFilePath(m_dir->path());
}

void TestPictureFile::dataFile_data() {
    QTest::addColumn<int>("w");
    QTest::addColumn<int>("h");
    QTest::addColumn<int>("size");

    QTest::newRow("1x1: one item, no CR LF") << 1 << 1 << 10;
    QTest::newRow("3x3: 8 items, CR LF, 1 item") << 3 << 3 << 92;
    QTest::newRow("4x3: rows and lines independent") << 4 << 3 << 122;
    QTest::newRow("8 pixels: one full line") << 8 << 1 << 82;
    QTest::newRow("2x4 pixels: one full line") << 2 << 4 << 82;
    QTest::newRow("13x7") << 13 << 7 << 91 * 10 + 11 * 2;
    QTest::newRow("wider than the preview frame") << 345 << 3 << 1035 * 10 + 129 * 2;
    QTest::newRow("no width") << 0 << 5 << 0;
    QTest::newRow("no height") << 5 << 0 << 0;
}

void TestPictureFile::dataFile() {
    QFETCH(int, w);
    QFETCH(int, h);
    QFETCH(int, size);

    const QImage picture = patterned(w, h);
    const ConversionResult r = ConvertPictureData(surfaceOf(picture), w, h, m_path);
    const QByteArray data = readAll(m_path);
    QCOMPARE(data.size(), size);
    QCOMPARE(data, expectedData(picture));
    QCOMPARE(r.bytes, 2.0 * w * h);
    QCOMPARE(r.total, 2.0 * w * h);
    QVERIFY(!r.stopped);
}

void TestPictureFile::replacesOldFile() {
    QVERIFY(writeFile(m_path, QByteArray(5000, 'x')));
    const QImage picture = patterned(2, 1);
    ConvertPictureData(surfaceOf(picture), 2, 1, m_path);
    QCOMPARE(readAll(m_path), expectedData(picture));
}

void TestPictureFile::progress_data() {
    QTest::addColumn<int>("w");
    QTest::addColumn<int>("h");
    QTest::addColumn<QStringList>("captions");

    QTest::newRow("10,000 pixels: none") << 100 << 100 << QStringList();
    QTest::newRow("10,001 pixels: 100%") << 10001 << 1 << QStringList{"生成进度:100%"};
    QTest::newRow("100x101: 99%") << 100 << 101 << QStringList{"生成进度:99%"};
    QTest::newRow("every 10,001 pixels") << 201 << 100
                                         << QStringList{"生成进度:49%", "生成进度:99%"};
}

void TestPictureFile::progress() {
    QFETCH(int, w);
    QFETCH(int, h);
    QStringList seen;
    int startedAt = -1;
    ConversionHooks hooks;
    hooks.started = [&] { startedAt = int(seen.size()); };
    hooks.progress = [&](const QString& caption) { seen << caption; };
    ConvertPictureData(Surface(w, h), w, h, m_path, hooks);
    QCOMPARE(startedAt, 0);
    QTEST(seen, "captions");
}

// Whenever the window gets to run, every pixel done so far is in the file.
void TestPictureFile::pumpSeesWrittenPixels() {
    const QImage picture = patterned(7, 5);
    int pumps = 0;
    bool allThere = true;
    ConversionHooks hooks;
    hooks.pump = [&] {
        ++pumps;
        if (readAll(m_path) != expectedData(picture, pumps))
            allThere = false;
    };
    ConvertPictureData(surfaceOf(picture), 7, 5, m_path, hooks);
    QCOMPARE(pumps, 35);
    QVERIFY(allThere);
}

void TestPictureFile::stopRequestEndsAtNextPixel() {
    const QImage picture = patterned(6, 4);
    int pumps = 0;
    bool closing = false;
    ConversionHooks hooks;
    hooks.pump = [&] {
        if (++pumps == 10)
            closing = true; // the window was closed while its events ran
    };
    hooks.stopRequested = [&] { return closing; };
    const ConversionResult r = ConvertPictureData(surfaceOf(picture), 6, 4, m_path, hooks);
    QVERIFY(r.stopped);
    QCOMPARE(pumps, 10);
    QCOMPARE(r.bytes, 20.0);
    QCOMPARE(readAll(m_path), expectedData(picture, 10));
    // The file is closed: it can be replaced at once.
    QVERIFY(QFile::remove(m_path));
}

void TestPictureFile::pacedPumpRunsFromFirstPixel() {
    int pumps = 0;
    ConversionHooks hooks;
    hooks.pump = [&] { ++pumps; };
    hooks.pumpInterval = std::chrono::hours(1);
    ConvertPictureData(Surface(50, 50), 50, 50, m_path, hooks);
    QCOMPARE(pumps, 1);
}

void TestPictureFile::refusesToReplace_data() {
    QTest::addColumn<bool>("asFolder");
    QTest::newRow("read-only file") << false;
    QTest::newRow("a folder that cannot be deleted") << true;
}

void TestPictureFile::refusesToReplace() {
    QFETCH(bool, asFolder);
    const QByteArray old = "earlier data";
    if (asFolder) {
        QVERIFY(QDir().mkpath(m_path));
        QVERIFY(writeFile(m_path + "/keep.txt", old));
    } else {
        QVERIFY(writeFile(m_path, old));
        QVERIFY(QFile::setPermissions(m_path, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther));
    }
    bool started = false;
    ConversionHooks hooks;
    hooks.started = [&] { started = true; };
    try {
        ConvertPictureData(Surface(2, 2), 2, 2, m_path, hooks);
        QFAIL("no error raised");
    } catch (const RuntimeError& e) {
        QCOMPARE(e.code(), RuntimeError::PathFileAccessError);
        QVERIFY2(e.description().contains(m_path), qPrintable(e.description()));
    }
    QVERIFY(!started);
    QCOMPARE(readAll(asFolder ? m_path + "/keep.txt" : m_path), old);
    if (!asFolder)
        QFile::setPermissions(m_path, QFile::ReadOwner | QFile::WriteOwner);
}

void TestPictureFile::cannotCreate() {
    const QString path = DataFilePath(m_dir->path() + "/no such folder");
    try {
        ConvertPictureData(Surface(2, 2), 2, 2, path);
        QFAIL("no error raised");
    } catch (const RuntimeError& e) {
        QCOMPARE(e.code(), RuntimeError::PathFileAccessError);
    }
    QVERIFY(!QFile::exists(path));
}

void TestPictureFile::sizeOverflowLeavesEmptyFile() {
    // 2 * 32768 * 32768 does not fit 32 bits; found after the file was made.
    bool started = false;
    ConversionHooks hooks;
    hooks.started = [&] { started = true; };
    try {
        ConvertPictureData(Surface(1, 1), 32768, 32768, m_path, hooks);
        QFAIL("no overflow raised");
    } catch (const RuntimeError& e) {
        QCOMPARE(e.code(), RuntimeError::Overflow);
    }
    QVERIFY(!started);
    QVERIFY(QFile::exists(m_path));
    QCOMPARE(readAll(m_path), QByteArray());
}

// A pixel that is not on the picture reads as -1, which cannot be encoded;
// the items before it stay in the file.
void TestPictureFile::pixelOutsidePictureKeepsEarlierItems() {
    const QImage picture = patterned(3, 3);
    try {
        ConvertPictureData(surfaceOf(picture), 4, 3, m_path);
        QFAIL("no overflow raised");
    } catch (const RuntimeError& e) {
        QCOMPARE(e.code(), RuntimeError::Overflow);
    }
    QCOMPARE(readAll(m_path), expectedData(picture, 3));
}

void TestPictureFile::readDataText() {
    QVERIFY(writeFile(m_path, "0x00,0xF8,\r\n"));
    QCOMPARE(ReadDataText(m_path), QStringLiteral("0x00,0xF8,\r\n"));
    QVERIFY(writeFile(m_path, ""));
    QCOMPARE(ReadDataText(m_path), QString());
    QVERIFY_THROWS_EXCEPTION(RuntimeError, ReadDataText(m_path + ".missing"));
}

void TestPictureFile::loadsFormats_data() {
    QTest::addColumn<QString>("format");
    QTest::addColumn<bool>("exact");
    QTest::newRow("png") << "png" << true;
    QTest::newRow("bmp") << "bmp" << true;
    QTest::newRow("ico") << "ico" << true;
    QTest::newRow("jpeg") << "jpg" << false;
    QTest::newRow("tiff") << "tiff" << true;
}

void TestPictureFile::loadsFormats() {
    QFETCH(QString, format);
    QFETCH(bool, exact);
    if (!QImageWriter::supportedImageFormats().contains(format.toLatin1()))
        QSKIP("no writer for this format installed");

    // Few colours in large blocks: GIF keeps them, JPEG stays close.
    QImage picture(24, 16, QImage::Format_RGB32);
    picture.fill(qRgb(0, 0, 255));
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 12; ++x) {
            picture.setPixel(x, y, qRgb(255, 0, 0));
            picture.setPixel(x + 12, y + 8, qRgb(0, 255, 0));
        }
    const QString file = m_dir->filePath("picture." + format);
    QVERIFY(picture.save(file, format.toLatin1().constData()));

    const Surface loaded = surfaceOf(LoadPicture(file));
    QCOMPARE(loaded.width(), 24);
    QCOMPARE(loaded.height(), 16);
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 24; ++x) {
            const QRgb want = picture.pixel(x, y);
            const Colour got = loaded.pixel(x, y);
            const int tolerance = exact ? 0 : 40;
            if (x % 12 > 0 && x % 12 < 11 && y % 8 > 0 && y % 8 < 7) // block interiors
                QVERIFY2(qAbs((got & 255) - qRed(want)) <= tolerance &&
                             qAbs(((got >> 8) & 255) - qGreen(want)) <= tolerance &&
                             qAbs(((got >> 16) & 255) - qBlue(want)) <= tolerance,
                         qPrintable(QString("pixel %1,%2 is %3").arg(x).arg(y).arg(got, 6, 16)));
            else if (exact)
                QCOMPARE(Surface::toQRgb(got), want);
        }
}

void TestPictureFile::transparentPictureOnWhite_data() {
    QTest::addColumn<QString>("format");
    QTest::newRow("png") << "png";
    QTest::newRow("ico") << "ico";
}

// Transparent parts take the white of the picture box and encode as 0xFF, 0xFF.
void TestPictureFile::transparentPictureOnWhite() {
    QFETCH(QString, format);
    QImage picture(5, 3, QImage::Format_ARGB32);
    picture.fill(Qt::transparent);
    picture.setPixel(1, 0, qRgba(255, 0, 0, 255));
    picture.setPixel(3, 1, qRgba(0, 0, 255, 255));
    picture.setPixel(4, 2, qRgba(86, 52, 18, 255));
    const QString file = m_dir->filePath("transparent." + format);
    QVERIFY(picture.save(file, format.toLatin1().constData()));

    QImage onWhite(5, 3, QImage::Format_RGB32);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x) {
            const QRgb p = picture.pixel(x, y);
            onWhite.setPixel(x, y, qAlpha(p) == 0 ? White : p);
        }

    ConvertPictureData(surfaceOf(LoadPicture(file)), 5, 3, m_path);
    const QByteArray data = readAll(m_path);
    QCOMPARE(data, expectedData(onWhite));
    QVERIFY(data.startsWith("0xFF,0xFF,0x00,0xF8,"));
}

void TestPictureFile::transparentGif() {
    const QList<QRgb> palette{qRgb(255, 0, 0), qRgb(0, 255, 0), qRgb(0, 0, 255), qRgb(1, 2, 3)};
    const QList<int> pixels{0, 3, 1, 2, 3, 3, 2, 1, 0, 0, 3, 1, 1, 2, 0};
    const QString file = m_dir->filePath("picture.gif");
    QVERIFY(writeFile(file, makeGif(5, 3, palette, pixels, 3)));

    QImage onWhite(5, 3, QImage::Format_RGB32);
    for (int i = 0; i < pixels.size(); ++i)
        onWhite.setPixel(i % 5, i / 5, pixels[i] == 3 ? White : palette[pixels[i]]);

    ConvertPictureData(surfaceOf(LoadPicture(file)), 5, 3, m_path);
    QCOMPARE(readAll(m_path), expectedData(onWhite));
}

void TestPictureFile::formatFromContent() {
    const QImage picture = patterned(4, 4);
    const QString file = m_dir->filePath("really-a-png.bmp");
    QVERIFY(picture.save(file, "PNG"));
    QCOMPARE(LoadPicture(file).convertToFormat(QImage::Format_RGB32), picture);
}

void TestPictureFile::loadFailures_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<int>("code");

    QByteArray png;
    {
        QBuffer buffer(&png);
        buffer.open(QIODevice::WriteOnly);
        patterned(40, 40).save(&buffer, "PNG");
    }
    QTest::newRow("text named .png") << "fake.png" << QByteArray("not a picture") << int(RuntimeError::InvalidPicture);
    QTest::newRow("empty file") << "empty.bmp" << QByteArray() << int(RuntimeError::InvalidPicture);
    QTest::newRow("truncated png") << "cut.png" << png.left(png.size() / 2) << int(RuntimeError::InvalidPicture);
    QTest::newRow("missing") << "missing.png" << QByteArray() << int(RuntimeError::FileNotFound);
    QTest::newRow("folder") << "folder.png" << QByteArray() << int(RuntimeError::PathFileAccessError);
}

void TestPictureFile::loadFailures() {
    QFETCH(QString, name);
    QFETCH(QByteArray, content);
    QFETCH(int, code);
    const QString file = m_dir->filePath(name);
    if (code == RuntimeError::PathFileAccessError)
        QVERIFY(QDir().mkpath(file));
    else if (code != RuntimeError::FileNotFound)
        QVERIFY(writeFile(file, content));
    try {
        LoadPicture(file);
        QFAIL("no error raised");
    } catch (const RuntimeError& e) {
        QCOMPARE(int(e.code()), code);
        QVERIFY2(e.description().contains(file), qPrintable(e.description()));
    }
}

QTEST_GUILESS_MAIN(TestPictureFile)
#include "test_picture_file.moc"
