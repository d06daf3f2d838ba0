// LVGL images against LVGL's own converter, LVGLImage.py (from the LVGL
// 9.5.0 archive, run with Debian's python3-png and python3-lz4), for pictures
// with full, partial and no transparency, every colour format it shares with
// us, each compression and two stride alignments: the header alike; the whole
// file and the C array byte for byte for the formats that keep alpha (and raw
// and raw-alpha's C array); the descriptor's fields alike. Formats flattened
// onto the background are compared as pictures: LVGLImage.py flattens with
// (c * a + bg * (255 - a)) >> 8 where we composite exactly, so 8-bit channels
// lie within two levels, 5- and 6-bit channels within one, l8 (whose luma it
// also truncates) within three, and opaque pixels keep their colour. Where
// LVGLImage.py's RLE overflows a control byte (a copy of more than 127 blocks
// at the very end) its stream does not unpack, and ours may differ (LVGL
// draws ours in test_lvgl_draw).
#include "bytearraysink.h"
#include "imagerows.h"
#include "lvgl_pictures.h"
#include "lvglimage.h"
#include "lvglraw.h"
#include "pictureloader.h"

#include <QtTest>

using namespace zentraq;
using namespace zentraq::lvgl;

namespace {

// The pictures of lvgl_pictures.h, and "spectrum": 256 x 64 pixels of 16384
// colours and every alpha, for the luma of al88, truncated from doubles.
QImage pictureOf(const QString& kind) {
    if (kind == u"spectrum") {
        QImage p(256, 64, QImage::Format_ARGB32);
        for (int y = 0; y < p.height(); ++y)
            for (int x = 0; x < p.width(); ++x)
                p.setPixel(x, y, qRgba(x, (y * 4 + x * 7) % 256, (x * y + 3 * y) % 256, x ^ y));
        return p;
    }
    return testing::lvglPicture(kind);
}

QByteArray readAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// The bytes of the first array in a C source.
QByteArray arrayBytes(const QByteArray& c) {
    const qsizetype open = c.indexOf("_map[] = {");
    const qsizetype close = c.indexOf("};", open);
    QByteArray out;
    QString body = QString::fromLatin1(c.mid(open + 10, close - open - 10));
    for (const QString& item : body.split(u',', Qt::SkipEmptyParts)) {
        const QString t = item.trimmed();
        if (!t.isEmpty())
            out.append(char(t.toUInt(nullptr, 16)));
    }
    return out;
}

QByteArray field(const QByteArray& c, const char* name) {
    const QRegularExpression re(QStringLiteral(R"(\.%1 = ([^,\r\n]+))").arg(QLatin1String(name)));
    return re.match(QString::fromLatin1(c)).captured(1).toLatin1();
}

} // namespace

class TestLvglReference : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_why;
    // Job line -> output file, all run by one LVGLImage.py process.
    QStringList m_jobs;

    struct Case {
        QString picture;
        ColourFormat format;
        Compression compression;
        int align;
        QRgb background;
        bool premultiply = false;
    };

    static QString cfName(ColourFormat f) { return formatName(f).toUpper().replace(u'-', u'_'); }
    QString pngOf(const QString& kind) const {
        return m_dir.filePath(kind + QStringLiteral(".png"));
    }
    QString outputOf(const Case& c, const QString& ext) const {
        return m_dir.filePath(QStringLiteral("ref_%1_%2_%3_%4_%5%6.%7")
                                  .arg(c.picture, formatName(c.format).replace(u'-', u'_'),
                                       compressionName(c.compression))
                                  .arg(c.align)
                                  .arg(c.background & 0xFFFFFF, 6, 16, QLatin1Char('0'))
                                  .arg(c.premultiply ? QStringLiteral("_pm") : QString())
                                  .arg(ext));
    }

    static QList<ColourFormat> sharedFormats() {
        QList<ColourFormat> list;
        for (ColourFormat f : formatsOf(Version::V9))
            if (!isIndexed(f) && !isRaw(f))
                list << f;
        return list;
    }
    static QList<Case> cases() {
        QList<Case> all;
        for (const QString& picture : {u"opaque"_qs, u"partial"_qs, u"binary"_qs})
            for (ColourFormat f : sharedFormats())
                for (Compression c : {Compression::None, Compression::Rle, Compression::Lz4})
                    for (int align : {1, 8})
                        for (QRgb bg : {qRgb(0, 0, 0), qRgb(255, 255, 255)}) {
                            if (keepsAlpha(f) && bg != qRgb(0, 0, 0))
                                continue;
                            all.append({picture, f, c, align, bg});
                            if (acceptsPremultiply(f))
                                all.append({picture, f, c, align, bg, true});
                        }
        for (ColourFormat f : {ColourFormat::Al88, ColourFormat::L8})
            all.append({QStringLiteral("spectrum"), f, Compression::None, 1, qRgb(0, 0, 0)});
        return all;
    }

    // Our image file of the case, or with `source` its C source.
    QByteArray ours(const Case& c, bool source = false) const {
        const QImage picture = rgbqumo::LoadPicture(pngOf(c.picture));
        core::AlphaRows rows(picture);
        ImageOptions o;
        o.format = c.format;
        o.compression = c.compression;
        o.strideAlign = c.align;
        o.background = c.background;
        o.premultiply = c.premultiply;
        core::ByteArraySink sink;
        if (source)
            writeImageSource(rows, o, {"img", {}, {}}, sink);
        else
            writeImageFile(rows, o, sink);
        return sink.bytes;
    }

    struct RawCase {
        QString file; // "partial.png" or "opaque.jpg"
        ColourFormat format;
    };
    static QList<RawCase> rawCases() {
        return {{QStringLiteral("partial.png"), ColourFormat::RawAlpha},
                {QStringLiteral("opaque.jpg"), ColourFormat::Raw},
                {QStringLiteral("partial.png"), ColourFormat::Raw}};
    }
    QString rawInput(const RawCase& r) const { return m_dir.filePath(r.file); }
    QString rawOutput(const RawCase& r) const {
        return m_dir.filePath(
            QStringLiteral("ref_raw_%1_%2.c")
                .arg(r.file.section(u'.', 0, 0), formatName(r.format).replace(u'-', u'_')));
    }

private slots:
    void initTestCase() {
#ifdef LVGLIMAGE_MISSING
        m_why = QStringLiteral(LVGLIMAGE_MISSING);
#endif
        if (m_why.isEmpty() && (!QFile::exists(QStringLiteral(LVGLIMAGE_PY)) ||
                                !QFile::exists(QStringLiteral(LVGLIMAGE_PYTHON))))
            m_why = QStringLiteral("LVGLImage.py or its python3 not found");
        if (!m_why.isEmpty())
            return;
        QVERIFY(m_dir.isValid());
        for (const QString& kind : {u"opaque"_qs, u"partial"_qs, u"binary"_qs, u"spectrum"_qs})
            QVERIFY(pictureOf(kind).save(pngOf(kind)));
        QVERIFY(pictureOf(u"opaque"_qs).save(m_dir.filePath(QStringLiteral("opaque.jpg"))));
        QStringList lines;
        for (const Case& c : cases()) {
            const QString job = QStringLiteral("%1\t%2\t%3\t%4\t0x%5\t")
                                    .arg(pngOf(c.picture), cfName(c.format),
                                         compressionName(c.compression).toUpper())
                                    .arg(c.align)
                                    .arg(c.background & 0xFFFFFF, 6, 16, QLatin1Char('0'));
            const QString premultiply = c.premultiply ? QStringLiteral("\tpremultiply") : QString();
            lines << job + outputOf(c, QStringLiteral("bin")) + premultiply;
            if (c.align == 1 && c.compression != Compression::Lz4)
                lines << job + outputOf(c, QStringLiteral("c")) + premultiply;
        }
        for (const RawCase& r : rawCases())
            lines << QStringLiteral("%1\t%2\tNONE\t1\t0x000000\t%3")
                         .arg(rawInput(r), cfName(r.format), rawOutput(r));
        QFile jobs(m_dir.filePath(QStringLiteral("jobs.txt")));
        QVERIFY(jobs.open(QIODevice::WriteOnly));
        jobs.write(lines.join(u'\n').toUtf8());
        jobs.close();
        QProcess python;
        python.start(QStringLiteral(LVGLIMAGE_PYTHON),
                     {QStringLiteral(JOBS_SCRIPT), QStringLiteral(LVGLIMAGE_PY), jobs.fileName()});
        QVERIFY(python.waitForFinished(300000));
        QVERIFY2(python.exitCode() == 0, python.readAllStandardError().constData());
    }

    void sameImage_data() {
        QTest::addColumn<int>("index");
        if (!m_why.isEmpty()) {
            QTest::newRow("skipped") << -1;
            return;
        }
        const QList<Case> all = cases();
        for (int i = 0; i < all.size(); ++i) {
            const Case& c = all[i];
            QTest::addRow("%s %s%s %s align %d on %06x", qPrintable(c.picture),
                          qPrintable(formatName(c.format)), c.premultiply ? " premultiplied" : "",
                          qPrintable(compressionName(c.compression)), c.align,
                          c.background & 0xFFFFFF)
                << i;
        }
    }

    void sameImage() {
        if (!m_why.isEmpty())
            QSKIP(qPrintable(QStringLiteral("LVGLImage.py comparison skipped: ") + m_why));
        QFETCH(int, index);
        const Case c = cases()[index];
        const QByteArray file = ours(c);
        const ReadImage mine = readImageFile(file);
        const QByteArray theirs = readAll(outputOf(c, QStringLiteral("bin")));
        QVERIFY(theirs.size() >= 12);
        // Headers alike, whatever the data.
        QCOMPARE(file.left(12).toHex(' '), theirs.left(12).toHex(' '));

        if (keepsAlpha(c.format)) {
            if (c.compression == Compression::Rle && file != theirs) {
                // Only where LVGLImage.py's own stream does not unpack.
                ImageOptions o;
                o.format = c.format;
                const QByteArray stream = theirs.mid(24);
                const qint64 raw = qFromLittleEndian<quint32>(theirs.constData() + 20);
                QVERIFY2(!rleDecompress(stream, rleBlockBytes(o), raw),
                         "our RLE differs from a valid LVGLImage.py stream");
            } else {
                QCOMPARE(file.toHex(' '), theirs.toHex(' '));
            }
        } else {
            // The pictures as the formats hold them, channel by channel.
            const ReadImage ref = readImageFile(theirs);
            const int bits =
                c.format == ColourFormat::Rgb565 || c.format == ColourFormat::Rgb565Swapped ? 5 : 8;
            const int slack = c.format == ColourFormat::L8 ? 3 : bits == 8 ? 2 : 1;
            const QImage source = pictureOf(c.picture);
            for (int y = 0; y < source.height(); ++y)
                for (int x = 0; x < source.width(); ++x) {
                    const QRgb a = mine.picture.pixel(x, y), b = ref.picture.pixel(x, y);
                    const int channels[3][2] = {
                        {qRed(a), qRed(b)}, {qGreen(a), qGreen(b)}, {qBlue(a), qBlue(b)}};
                    for (int k = 0; k < 3; ++k) {
                        const int n = k == 1 && bits == 5 ? 6 : bits;
                        const int d =
                            std::abs((channels[k][0] >> (8 - n)) - (channels[k][1] >> (8 - n)));
                        if (d > slack)
                            QFAIL(qPrintable(QString::asprintf("(%d, %d) channel %d: %d against %d",
                                                               x, y, k, channels[k][0],
                                                               channels[k][1])));
                    }
                    const QRgb s = source.pixel(x, y);
                    if (qAlpha(s) == 255 &&
                        (c.format == ColourFormat::Rgb888 || c.format == ColourFormat::Xrgb8888))
                        QCOMPARE(a & 0xFFFFFF, s & 0xFFFFFF);
                }
        }

        // The C source: the same array and descriptor.
        if (c.align != 1 || c.compression == Compression::Lz4)
            return;
        const QByteArray theirC = readAll(outputOf(c, QStringLiteral("c")));
        const QByteArray ourC = ours(c, true);
        for (const char* name : {"cf", "flags", "w", "h", "stride"})
            QCOMPARE(field(ourC, name), field(theirC, name));
        if (keepsAlpha(c.format) && c.compression == Compression::None)
            QCOMPARE(arrayBytes(ourC).toHex(' '), arrayBytes(theirC).toHex(' '));
        // Both read back to the pictures of their image files.
        QCOMPARE(readImageSource(ourC).picture, mine.picture);
        QCOMPARE(readImageSource(theirC).picture, readImageFile(theirs).picture);
    }

    // The file as it is, in LVGLImage.py's descriptor (the image file, which
    // LVGLImage.py does not write, is pinned by tests/identity).
    void rawImage_data() {
        QTest::addColumn<int>("index");
        if (!m_why.isEmpty()) {
            QTest::newRow("skipped") << -1;
            return;
        }
        for (int i = 0; i < rawCases().size(); ++i)
            QTest::addRow("%s %s", qPrintable(rawCases()[i].file),
                          qPrintable(formatName(rawCases()[i].format)))
                << i;
    }

    void rawImage() {
        if (!m_why.isEmpty())
            QSKIP(qPrintable(QStringLiteral("LVGLImage.py comparison skipped: ") + m_why));
        QFETCH(int, index);
        const RawCase r = rawCases()[index];
        const QByteArray input = readAll(rawInput(r));
        QVERIFY(!input.isEmpty());
        ImageOptions o;
        o.format = r.format;
        core::ByteArraySink source;
        QCOMPARE(writeRawSource(input, o, {"img", {}, {}}, source), qint64(input.size()));
        const QByteArray theirC = readAll(rawOutput(r));
        for (const char* name : {"cf", "flags", "w", "h", "stride"})
            QCOMPARE(field(source.bytes, name), field(theirC, name));
        QCOMPARE(arrayBytes(source.bytes).toHex(' '), arrayBytes(theirC).toHex(' '));
        // Read back, the picture the file holds.
        QCOMPARE(readImageSource(source.bytes).picture,
                 rgbqumo::LoadPicture(rawInput(r)).convertToFormat(QImage::Format_ARGB32));
    }
};

QTEST_GUILESS_MAIN(TestLvglReference)
#include "test_lvgl_reference.moc"
