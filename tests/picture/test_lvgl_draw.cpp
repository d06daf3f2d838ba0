// LVGL as the real client of our images: LVGL 9.5.0 and 8.3.11 (at colour
// depths 32, 16 and 16 with LV_COLOR_16_SWAP) decode each image and draw it
// on a black and on a white screen (the harness's compare-images), for
// pictures with no, partial and full transparency, every format and every
// compression:
//  - drawn like an argb8888 (version 8: true-color-alpha) image of the
//    pixels our reader gives for it: within a level where LVGL widens
//    5- and 6-bit channels its own way, two where it blends premultiplied
//    colours; that our bytes are LVGLImage.py's is test_lvgl_reference's;
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

// How far LVGL may draw an image from the argb8888 of its pixels (see above).
int tolerance(const ImageOptions& o) {
    if (o.format == ColourFormat::Argb8888Premultiplied)
        return 2;
    return o.version == Version::V9 && acceptsDither(o.format, o.depth) && !isIndexed(o.format) ? 1
                                                                                                : 0;
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
        for (const QString& kind : testing::lvglPictureKinds()) {
            const QString png = path(kind + QStringLiteral(".png"));
            QVERIFY(testing::lvglPicture(kind).save(png));
            const QImage picture = rgbqumo::LoadPicture(png);
            for (const ImageOptions& o : allOptions()) {
                core::AlphaRows rows(picture);
                core::ByteArraySink file;
                writeImageFile(rows, o, file);
                QVERIFY(save(ours(kind, o), file.bytes));
                // The pixels our reader gives, as an image LVGL draws as it is.
                const ReadImage read = readImageFile(file.bytes, o.depth);
                core::AlphaRows expanded(read.picture);
                ImageOptions e = o;
                e.format = o.version == Version::V9 ? ColourFormat::Argb8888
                                                    : ColourFormat::TrueColorAlpha;
                e.compression = Compression::None;
                core::ByteArraySink flat;
                writeImageFile(expanded, e, flat);
                QVERIFY(save(reference(kind, o), flat.bytes));
            }
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
            QSKIP("LVGL 9.5 opens files of l8, al88 and argb8888-premultiplied only compressed "
                  "(LV_BIN_DECODER_RAM_LOAD); their C sources are drawn below");
        compare(client(o.depth, o.version), QStringLiteral("file:") + ours(picture, o),
                QStringLiteral("file:") + reference(picture, o), tolerance(o));
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
