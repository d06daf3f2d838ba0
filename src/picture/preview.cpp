#include "preview.h"

#include "datatext.h"
#include "glyphcells.h"
#include "lvglimage.h"
#include "runtime_error.h"

namespace zentraq::rgbqumo {
namespace {

// Pictures larger than this are refused rather than half-made.
constexpr qint64 MaxSide = 32767;
constexpr qint64 MaxPixels = qint64(1) << 28;

void checkSize(qint64 width, qint64 height, int scale) {
    const qint64 w = width * scale;
    const qint64 h = height * scale;
    if (w > MaxSide || h > MaxSide || w * h > MaxPixels)
        throw PreviewError(
            QStringLiteral("the preview would be %1 x %2 pixels, too large for one picture; "
                           "use fewer --columns or a smaller --scale")
                .arg(QString::number(w), QString::number(h)));
}

[[noreturn]] void noMemoryFor(qint64 width, qint64 height) {
    throw PreviewError(QStringLiteral("there is not enough memory for a preview of %1 x %2 pixels")
                           .arg(QString::number(width), QString::number(height)));
}

// `image`, unless it could not get its memory.
QImage made(QImage image, qint64 width, qint64 height) {
    if (image.isNull())
        noMemoryFor(width, height);
    return image;
}

QImage glyphPicture(const QByteArray& bytes, const Preview& o, const QString& source) {
    const int width = o.cell.width(), height = o.cell.height();
    const qint64 perGlyph = core::frameBytes(o.layout, width, height);
    if (bytes.size() % perGlyph != 0)
        throw PreviewError(
            QStringLiteral("%1 holds %2 bytes, not a whole number of %3-byte %4x%5 glyphs")
                .arg(source, QString::number(bytes.size()), QString::number(perGlyph),
                     QString::number(width), QString::number(height)));
    const qint64 count = bytes.size() / perGlyph;
    const qint64 columns = std::min<qint64>(o.columns, count);
    const qint64 rows = (count + columns - 1) / columns;
    checkSize(columns * width, rows * height, o.scale);
    return made(glyph::glyphSheet(bytes, o.layout, o.cell, o.invert, o.columns), columns * width,
                rows * height);
}

QImage pictureData(const QByteArray& bytes, const Preview& o, const QString& source) {
    const core::Layout layout = rgbqumo::dataLayout(o.picture);
    const QString format = rgbqumo::pixelFormatName(o.picture.pixel);
    const int width = o.pictureWidth;
    if (layout.bits >= 8) {
        const int perPixel = layout.bits / 8;
        if (bytes.size() % perPixel != 0)
            throw PreviewError(
                QStringLiteral("%1 holds %2 bytes, not a whole number of %3-byte pixels")
                    .arg(source, QString::number(bytes.size()), QString::number(perPixel)));
        if (bytes.size() / perPixel % width != 0)
            throw PreviewError(
                QStringLiteral("%1 holds %2 pixels, not a whole number of rows of %3 pixels")
                    .arg(source, QString::number(bytes.size() / perPixel), QString::number(width)));
    }
    checkSize(width, 1, o.scale);
    int height = o.pictureHeight;
    if (height > 0 && core::frameBytes(layout, width, height) != bytes.size())
        throw PreviewError(
            QStringLiteral("%1 holds %2 bytes, not the %3 bytes of %4 x %5 %6 pixels in this "
                           "layout")
                .arg(source, QString::number(bytes.size()),
                     QString::number(core::frameBytes(layout, width, height)),
                     QString::number(width), QString::number(height), format));
    if (height == 0) {
        const rgbqumo::HeightsHeld held = rgbqumo::heightsHeld(layout, width, bytes.size());
        if (held.highest == 0)
            throw PreviewError(
                QStringLiteral("%1 holds %2 bytes, which no number of rows of %3 %4 pixels "
                               "in this layout takes")
                    .arg(source, QString::number(bytes.size()), QString::number(width), format));
        // Unpadded columns run on from one into the next: where a pixel
        // lies depends on the height. Elsewhere the unused rows just show.
        if (layout.scan == core::Scan::Column && !layout.pad && held.lowest < held.highest)
            throw PreviewError(
                QStringLiteral("%1 holds %2 bytes, which columns of %3 to %4 pixels fill "
                               "alike; give --height")
                    .arg(source, QString::number(bytes.size()), QString::number(held.lowest),
                         QString::number(held.highest)));
        height = held.highest;
    }
    checkSize(width, height, o.scale);
    return made(rgbqumo::dataPicture(bytes, o.picture, QSize(width, height)), width, height);
}

// The bytes of data text, or a failure naming the line that is not.
QByteArray dataOf(const QByteArray& text, const QString& source) {
    using Problem = core::DataTextProblem;
    const core::DataText data = core::readDataText(text);
    const Problem& p = data.problem;
    const QString token = QString::fromUtf8(p.token);
    QString why;
    switch (p.kind) {
    case Problem::None:
        return data.bytes;
    case Problem::NotUtf8:
        why = QStringLiteral("the text is not UTF-8");
        break;
    case Problem::OpenComment:
        why = QStringLiteral("a comment opened here does not end");
        break;
    case Problem::NotHexadecimal:
        why = QStringLiteral("'%1' is not a hexadecimal number").arg(token);
        break;
    case Problem::LargerThanByte:
        why = QStringLiteral("%1 is larger than a byte").arg(token);
        break;
    case Problem::NotHexByte:
        why = QStringLiteral("'%1' is not a byte written as 0xHH").arg(token);
        break;
    case Problem::NotData:
        why =
            token.startsWith(u'#')
                ? QStringLiteral("'%1' is not data (only #include lines are read past)").arg(token)
                : QStringLiteral("'%1' is not data").arg(token);
        break;
    }
    throw PreviewError(QStringLiteral("%1, line %2: %3").arg(source, QString::number(p.line), why));
}

// An LVGL image's pixels laid exactly onto a checkerboard of 4-pixel squares,
// light grey and white, so that its transparent parts show.
QImage lvglPicture(const QByteArray& raw, const Preview& o, const QString& source) {
    lvgl::ReadImage read;
    try {
        read = o.lvgl == u"lvgl" ? lvgl::readImageSource(raw, o.depth)
                                 : lvgl::readImageFile(raw, o.depth);
    } catch (const RuntimeError& e) {
        if (e.code() != RuntimeError::InvalidPicture)
            throw;
        throw PreviewError(source + QStringLiteral(": ") + QString::fromUtf8(e.what()));
    }
    checkSize(read.picture.width(), read.picture.height(), o.scale);
    const int width = read.picture.width(), height = read.picture.height();
    QImage image = made(QImage(width, height, QImage::Format_RGB32), width, height);
    for (int y = 0; y < image.height(); ++y) {
        const auto* in = reinterpret_cast<const QRgb*>(read.picture.constScanLine(y));
        auto* out = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            const QRgb square = (x / 4 + y / 4) % 2 ? qRgb(204, 204, 204) : qRgb(255, 255, 255);
            out[x] = core::compositePixel(in[x], square);
        }
    }
    return image;
}

} // namespace

QImage previewPicture(const QByteArray& raw, const Preview& o, const QString& source) {
    const QByteArray bytes = o.binary || !o.lvgl.isEmpty() ? raw : dataOf(raw, source);
    if (bytes.isEmpty())
        throw PreviewError(QStringLiteral("%1 holds no data").arg(source));

    QImage image = !o.lvgl.isEmpty()    ? lvglPicture(bytes, o, source)
                   : o.pictureWidth > 0 ? pictureData(bytes, o, source)
                                        : glyphPicture(bytes, o, source);
    if (o.scale > 1) {
        const QImage scaled = image.scaled(image.width() * o.scale, image.height() * o.scale,
                                           Qt::IgnoreAspectRatio, Qt::FastTransformation);
        if (scaled.isNull())
            noMemoryFor(qint64(image.width()) * o.scale, qint64(image.height()) * o.scale);
        image = scaled;
    }

    return image;
}

} // namespace zentraq::rgbqumo
