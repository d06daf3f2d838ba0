// LVGL as the real client of our images: LVGL 9.5.0 and 8.3.11 (at colour
// depths 32, 16 and 16 with LV_COLOR_16_SWAP) decode each image and draw it
// on a black and on a white screen (the harness's compare-images), for
// pictures with no, partial and full transparency, every format and every
// compression:
//  - LVGL 9: drawn like the same picture made by LVGLImage.py, up to the
//    flattening difference (LVGLImage.py's (c * a + bg * (255 - a)) >> 8
//    against our exact compositing: 9 levels where a 5-bit channel moves by
//    one, 2 for 8-bit channels, 3 for l8, whose luma LVGLImage.py also
//    truncates; 2 for argb8888-premultiplied, which it truncates);
//  - LVGL 8: drawn like LVGLImage.py's data of the format with the same
//    layout (rgb565 for true-color at 16 bits, xrgb8888 at 32, argb8565
//    and argb8888 for true-color-alpha, a1-a8 alike; 16-swap its bytes
//    swapped), given a version 8 header;
//  - indexed formats: drawn like an argb8888 (version 8: true-color-alpha)
//    image of the colours that the palette and indices in our file give;
//  - the C sources compiled into the clients draw like the image files of
//    the same picture.
#include "bytearraysink.h"
#include "imagerows.h"
#include "lvgl_pictures.h"
#include "lvglimage.h"
#include "pictureloader.h"

#include <QtTest>

using namespace zentraq;
using namespace zentraq::lvgl;

Q_DECLARE_METATYPE(ImageOptions)

namespace {

QString client(ColourDepth depth, Version v) {
    if (v == Version::V9)
        return QStringLiteral(CLIENT_V9);
    return depth == ColourDepth::Depth16          ? QStringLiteral(CLIENT_V8_16)
           : depth == ColourDepth::Depth16Swapped ? QStringLiteral(CLIENT_V8_16SWAP)
                                                  : QStringLiteral(CLIENT_V8_32);
}

QString baseName(const ImageOptions& o) {
    return QStringLiteral("v%1_%2_%3_%4")
        .arg(int(o.version))
        .arg(depthName(o.depth).remove(u'-'), formatName(o.format).replace(u'-', u'_'),
             compressionName(o.compression));
}

// How far LVGLImage.py's pictures may be drawn from ours (see above).
int tolerance(ColourFormat f, Version v, ColourDepth d) {
    if (keepsAlpha(f) && f != ColourFormat::Argb8888Premultiplied)
        return 0;
    if (f == ColourFormat::Rgb565 || f == ColourFormat::Rgb565Swapped ||
        (v == Version::V8 && d != ColourDepth::Depth32))
        return 9;
    return f == ColourFormat::L8 ? 3 : 2;
}

// The version 9 format whose data has the layout of a version 8 format.
ColourFormat v9Twin(ColourFormat f, ColourDepth d) {
    if (f == ColourFormat::TrueColor)
        return d == ColourDepth::Depth32   ? ColourFormat::Xrgb8888
               : d == ColourDepth::Depth16 ? ColourFormat::Rgb565
                                           : ColourFormat::Rgb565Swapped;
    if (f == ColourFormat::TrueColorAlpha)
        return d == ColourDepth::Depth32 ? ColourFormat::Argb8888 : ColourFormat::Argb8565;
    return f;
}

// Image files that LVGL 9.5 does not open when it loads files into RAM
// (LV_BIN_DECODER_RAM_LOAD): uncompressed l8 and argb8888-premultiplied.
bool unopenedFile(const ImageOptions& o) {
    return o.version == Version::V9 && o.compression == Compression::None &&
           (o.format == ColourFormat::L8 || o.format == ColourFormat::Al88 ||
            o.format == ColourFormat::Argb8888Premultiplied);
}

// Formats the software renderer of LVGL 9.5 does not draw on the clients'
// 32-bit screens (it draws argb8565 on none, rgb565-swapped only on a 16-bit
// one). Their bytes are LVGLImage.py's (test_lvgl_reference), and LVGL 8
// draws the same bytes as true-color-alpha and true-color at 16 bits.
bool undrawable(ColourFormat f, Version v) {
    return v == Version::V9 && (f == ColourFormat::Argb8565 || f == ColourFormat::Rgb565Swapped);
}
constexpr const char* Undrawable =
    "LVGL 9.5's software renderer draws argb8565 nowhere and rgb565-swapped only on 16-bit "
    "screens; LVGL 8 draws the same bytes (true-color-alpha, true-color at 16 and 16-swap)";

bool save(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

} // namespace

class TestLvglDraw : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;

    QString path(const QString& name) const { return m_dir.filePath(name); }
    QString ours(const QString& picture, const ImageOptions& o) const {
        return path(QStringLiteral("ours_%1_%2.bin").arg(picture, baseName(o)));
    }
    QString theirs(const QString& picture, ColourFormat f, Compression c) const {
        return path(QStringLiteral("theirs_%1_%2_%3.bin")
                        .arg(picture, formatName(f).replace(u'-', u'_'), compressionName(c)));
    }
    QString reference(const QString& picture, const ImageOptions& o) const {
        return path(QStringLiteral("reference_%1_%2.bin").arg(picture, baseName(o)));
    }

    static QList<ImageOptions> allOptions() {
        QList<ImageOptions> all;
        for (ColourFormat f : formatsOf(Version::V9))
            for (Compression c : {Compression::None, Compression::Rle, Compression::Lz4}) {
                if (isRaw(f))
                    continue; // lvgl_animations.c draws those
                ImageOptions o;
                o.format = f;
                o.compression = c;
                o.background = qRgb(0, 0, 0); // LVGLImage.py's
                all << o;
            }
        for (ColourDepth d :
             {ColourDepth::Depth16, ColourDepth::Depth16Swapped, ColourDepth::Depth32})
            for (ColourFormat f : formatsOf(Version::V8)) {
                if (isRaw(f))
                    continue;
                ImageOptions o;
                o.version = Version::V8;
                o.format = f;
                o.depth = d;
                o.background = qRgb(0, 0, 0);
                all << o;
            }
        return all;
    }

    // Runs a client's compare-images; the failure says what differs.
    static void compare(const QString& program, const QString& a, const QString& b, int maxLevel) {
        QProcess p;
        p.start(program, {QStringLiteral("compare-images"), a, b, QStringLiteral("--max-level"),
                          QString::number(maxLevel)});
        QVERIFY2(p.waitForFinished(60000), qPrintable(program));
        const QByteArray said = p.readAllStandardOutput() + p.readAllStandardError();
        QVERIFY2(p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0, said.constData());
        // Two images LVGL cannot open draw alike: the background.
        QVERIFY2(!said.contains("[Error]") && !said.contains("[Warn]"), said.constData());
    }

private slots:
    void initTestCase() {
        QVERIFY(m_dir.isValid());
        QStringList jobs;
        for (const QString& kind : testing::lvglPictureKinds()) {
            const QString png = path(kind + QStringLiteral(".png"));
            QVERIFY(testing::lvglPicture(kind).save(png));
            const QImage picture = rgbqumo::LoadPicture(png);
            for (const ImageOptions& o : allOptions()) {
                core::AlphaRows rows(picture);
                core::ByteArraySink file;
                writeImageFile(rows, o, file);
                QVERIFY(save(ours(kind, o), file.bytes));
                if (isIndexed(o.format)) {
                    // The colours our palette and indices give, unindexed.
                    const ReadImage read = readImageFile(file.bytes, o.depth);
                    core::AlphaRows expanded(read.picture);
                    ImageOptions e = o;
                    e.format = o.version == Version::V9 ? ColourFormat::Argb8888
                                                        : ColourFormat::TrueColorAlpha;
                    e.compression = Compression::None;
                    core::ByteArraySink flat;
                    writeImageFile(expanded, e, flat);
                    QVERIFY(save(reference(kind, o), flat.bytes));
                } else if (o.version == Version::V9) {
                    jobs << QStringLiteral("%1\t%2\t%3\t1\t0x000000\t%4")
                                .arg(png, formatName(o.format).toUpper().replace(u'-', u'_'),
                                     compressionName(o.compression).toUpper(),
                                     theirs(kind, o.format, o.compression));
                }
            }
        }
        QVERIFY(save(path(QStringLiteral("jobs.txt")), jobs.join(u'\n').toUtf8()));
        QProcess python;
        python.start(QStringLiteral(LVGLIMAGE_PYTHON),
                     {QStringLiteral(JOBS_SCRIPT), QStringLiteral(LVGLIMAGE_PY),
                      path(QStringLiteral("jobs.txt"))});
        QVERIFY(python.waitForFinished(300000));
        QVERIFY2(python.exitCode() == 0, python.readAllStandardError().constData());

        // LVGLImage.py's data under a version 8 header, for the version 8
        // formats of the same layout.
        for (const QString& kind : testing::lvglPictureKinds())
            for (const ImageOptions& o : allOptions()) {
                if (o.version != Version::V8 || isIndexed(o.format))
                    continue;
                QFile f(theirs(kind, v9Twin(o.format, o.depth), Compression::None));
                QVERIFY(f.open(QIODevice::ReadOnly));
                const QByteArray v9 = f.readAll();
                QByteArray data = v9.mid(12);
                if (o.format == ColourFormat::TrueColorAlpha &&
                    o.depth == ColourDepth::Depth16Swapped)
                    for (qsizetype i = 0; i + 2 < data.size(); i += 3)
                        std::swap(data[i], data[i + 1]);
                const quint32 w = qFromLittleEndian<quint16>(v9.constData() + 4);
                const quint32 h = qFromLittleEndian<quint16>(v9.constData() + 6);
                const quint32 header = quint32(formatId(o.format, Version::V8)) | w << 10 | h << 21;
                QByteArray file(4, '\0');
                qToLittleEndian(header, file.data());
                QVERIFY(save(reference(kind, o), file + data));
            }
    }

    void drawsLikeTheReference_data() {
        QTest::addColumn<QString>("picture");
        QTest::addColumn<ImageOptions>("options");
        for (const QString& kind : testing::lvglPictureKinds())
            for (const ImageOptions& o : allOptions())
                QTest::addRow("%s %s", qPrintable(kind), qPrintable(baseName(o))) << kind << o;
    }
    void drawsLikeTheReference() {
        QFETCH(QString, picture);
        QFETCH(ImageOptions, options);
        const ImageOptions& o = options;
        if (undrawable(o.format, o.version))
            QSKIP(Undrawable);
        if (unopenedFile(o))
            QSKIP(
                "LVGL 9.5 opens image files of l8, al88 and argb8888-premultiplied only compressed "
                "(LV_BIN_DECODER_RAM_LOAD loads the RGB formats only); their C sources are drawn "
                "below");
        const bool own = isIndexed(o.format) || o.version == Version::V8;
        const QString other =
            own ? reference(picture, o) : theirs(picture, o.format, o.compression);
        compare(client(o.depth, o.version), QStringLiteral("file:") + ours(picture, o),
                QStringLiteral("file:") + other,
                isIndexed(o.format) ? 0 : tolerance(o.format, o.version, o.depth));
    }

    // The C sources (made at build time, compiled into the clients) draw as
    // their image files do.
    void sourcesDrawLikeFiles_data() {
        QTest::addColumn<QString>("program");
        QTest::addColumn<QString>("name");
        for (const ImageOptions& o : allOptions()) {
            if (undrawable(o.format, o.version))
                continue; // see Undrawable
            QString name = o.version == Version::V9
                               ? QStringLiteral("v9_%1_%2")
                                     .arg(formatName(o.format), compressionName(o.compression))
                               : QStringLiteral("v8_%1_%2")
                                     .arg(depthName(o.depth).remove(u'-'), formatName(o.format));
            name.replace(u'-', u'_');
            QTest::newRow(qPrintable(name)) << client(o.depth, o.version) << name;
        }
    }
    void sourcesDrawLikeFiles() {
        QFETCH(QString, program);
        QFETCH(QString, name);
        // The files LVGL does not open: the same picture compressed.
        QString file = name;
        if (file.endsWith(u"_none") &&
            (file.contains(u"_l8_") || file.contains(u"_al88_") || file.contains(u"premultiplied")))
            file.replace(QStringLiteral("_none"), QStringLiteral("_rle"));
        compare(program, name, QStringLiteral("file:" FIXTURES "/") + file + QStringLiteral(".bin"),
                0);
    }
};

QTEST_GUILESS_MAIN(TestLvglDraw)
#include "test_lvgl_draw.moc"
