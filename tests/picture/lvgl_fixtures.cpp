// Writes the LVGL images and Arduino arrays that the LVGL checks compile
// into LVGL clients and plain C programs, each as C and, for LVGL, as the
// image file of the same picture ("partial": every alpha from 0 to 255):
//   v9_FORMAT_COMPRESSION.c / .bin   every LVGL 9 format, none, rle and lz4
//   v8_DEPTH_FORMAT.c / .bin         every LVGL 8 format at colour depth
//                                    16, 16swap and 32
//   c16.h, xbm.h                     the rgb565 words and the mono XBM
// Names: the file's base name ('-' made '_'). Every declaration carries
// LV_ATTRIBUTE_LARGE_CONST (LVGL) or __attribute__((aligned(2))) (arrays).
//
// Run: lvgl_fixtures OUTDIR
#include "arrayforms.h"
#include "bytearraysink.h"
#include "imagerows.h"
#include "lvgl_pictures.h"
#include "lvglimage.h"
#include "pixelformat.h"

#include <QDir>
#include <QFile>

#include <cstdio>

using namespace zentraq;
using namespace zentraq::lvgl;

namespace {

QString dir;

bool save(const QString& name, const QByteArray& bytes) {
    QFile f(dir + u'/' + name);
    if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size()) {
        std::fprintf(stderr, "lvgl_fixtures: cannot write %s\n", qPrintable(f.fileName()));
        return false;
    }
    return true;
}

bool image(const QImage& picture, const ImageOptions& o, const QString& base) {
    const QByteArray name = QString(base).replace(u'-', u'_').toLatin1();
    core::AlphaRows rows(picture);
    core::ByteArraySink c, bin;
    writeImageSource(rows, o, {name, "LV_ATTRIBUTE_LARGE_CONST", {}}, c);
    writeImageFile(rows, o, bin);
    return save(QString::fromLatin1(name) + QStringLiteral(".c"), c.bytes) &&
           save(QString::fromLatin1(name) + QStringLiteral(".bin"), bin.bytes);
}

} // namespace

int main(int argc, char* argv[]) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: lvgl_fixtures OUTDIR\n");
        return 2;
    }
    dir = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(dir);
    const QImage picture = testing::lvglPicture(QStringLiteral("partial"));
    for (ColourFormat f : formatsOf(Version::V9))
        for (Compression c : {Compression::None, Compression::Rle, Compression::Lz4}) {
            if (isRaw(f))
                continue; // a picture file, not pixels: lvgl_animations.c draws those
            ImageOptions o;
            o.format = f;
            o.compression = c;
            if (!image(picture, o,
                       QStringLiteral("v9_%1_%2").arg(formatName(f), compressionName(c))))
                return 1;
        }
    for (ColourDepth d : {ColourDepth::Depth16, ColourDepth::Depth16Swapped, ColourDepth::Depth32})
        for (ColourFormat f : formatsOf(Version::V8)) {
            if (isRaw(f))
                continue;
            ImageOptions o;
            o.version = Version::V8;
            o.format = f;
            o.depth = d;
            if (!image(picture, o,
                       QStringLiteral("v8_%1_%2").arg(depthName(d).remove(u'-'), formatName(f))))
                return 1;
        }
    const QByteArray attribute = "__attribute__((aligned(2)))";
    core::ImageRows opaque(picture);
    rgbqumo::RowQuantiser words(rgbqumo::PixelFormat::Rgb565, rgbqumo::DitherMode::None,
                                picture.width());
    core::ByteArraySink c16;
    rgbqumo::writeWordArray(opaque, words, false, {"c16", attribute, {}}, c16);
    rgbqumo::RowQuantiser mono(rgbqumo::PixelFormat::Mono, rgbqumo::DitherMode::FloydSteinberg,
                               picture.width());
    core::ByteArraySink xbm;
    rgbqumo::writeXbm(opaque, mono, {"xbm", attribute, {}}, xbm);
    return save(QStringLiteral("c16.h"), c16.bytes) && save(QStringLiteral("xbm.h"), xbm.bytes) ? 0
                                                                                                : 1;
}
