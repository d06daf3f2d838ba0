// zentraq-cli preview: data back into a picture. Glyph data shows each
// character's cell, ink black on white, side by side; picture data shows
// the colours of its pixel format, each level widened to 8 bits.
#include "cli.h"
#include "datatext.h"
#include "files.h"
#include "options.h"

#include <QBuffer>
#include <QImage>
#include <QImageWriter>

#include <climits>

namespace zentraq::cli {
namespace {

// Pictures larger than this are refused rather than half-made.
constexpr qint64 MaxSide = 32767;
constexpr qint64 MaxPixels = qint64(1) << 28;

void checkSize(qint64 width, qint64 height, int scale) {
    const qint64 w = width * scale;
    const qint64 h = height * scale;
    if (w > MaxSide || h > MaxSide || w * h > MaxPixels)
        failure(QStringLiteral("the preview would be %1 x %2 pixels, too large for one picture; "
                               "use fewer --columns or a smaller --scale")
                    .arg(QString::number(w), QString::number(h)));
}

[[noreturn]] void noMemoryFor(qint64 width, qint64 height) {
    failure(QStringLiteral("there is not enough memory for a preview of %1 x %2 pixels")
                .arg(QString::number(width), QString::number(height)));
}

// A picture to draw into; a QImage that cannot get its memory is null.
QImage newPicture(qint64 width, qint64 height) {
    QImage image(int(width), int(height), QImage::Format_RGB32);
    if (image.isNull())
        noMemoryFor(width, height);
    return image;
}

QImage glyphPicture(const QByteArray& bytes, const Options& o, const QString& source) {
    const qint64 perGlyph = core::frameBytes(o.layout, o.width, o.height);
    if (bytes.size() % perGlyph != 0)
        failure(QStringLiteral("%1 holds %2 bytes, not a whole number of %3-byte %4x%5 glyphs")
                    .arg(source, QString::number(bytes.size()), QString::number(perGlyph),
                         QString::number(o.width), QString::number(o.height)));
    const qint64 count = bytes.size() / perGlyph;
    const qint64 columns = std::min<qint64>(o.columns, count);
    const qint64 rows = (count + columns - 1) / columns;
    checkSize(columns * o.width, rows * o.height, o.scale);

    QImage image = newPicture(columns * o.width, rows * o.height);
    image.fill(Qt::white);
    const auto* data = reinterpret_cast<const std::uint8_t*>(bytes.constData());
    const std::uint32_t ink = o.invert ? 0 : 1;
    std::vector<std::uint32_t> samples;
    for (qint64 g = 0; g < count; ++g) {
        const int x0 = int((g % columns) * o.width);
        const int y0 = int((g / columns) * o.height);
        core::unpackFrame(o.layout, o.width, o.height, data + g * perGlyph, samples);
        for (int y = 0; y < o.height; ++y) {
            auto* row = reinterpret_cast<QRgb*>(image.scanLine(y0 + y)) + x0;
            for (int x = 0; x < o.width; ++x) {
                if (samples[std::size_t(y) * std::size_t(o.width) + std::size_t(x)] == ink)
                    row[x] = qRgb(0, 0, 0);
            }
        }
    }
    return image;
}

// The most rows of `width` pixels whose data in `layout` is `size` bytes;
// 0 when no number of rows is.
int rowsHeld(const core::Layout& layout, int width, qint64 size) {
    // frameBytes grows with the height, and never by less than a byte for
    // every 8 / bits rows.
    qint64 low = 1, high = std::min<qint64>(size * 8 / layout.bits + 1, INT_MAX);
    if (core::frameBytes(layout, width, 1) > size)
        return 0;
    while (low < high) {
        const qint64 mid = (low + high + 1) / 2;
        if (core::frameBytes(layout, width, int(mid)) <= size)
            low = mid;
        else
            high = mid - 1;
    }
    return core::frameBytes(layout, width, int(low)) == size ? int(low) : 0;
}

QImage pictureData(const QByteArray& bytes, const Options& o, const QString& source) {
    core::Layout layout = o.layout;
    layout.bits = rgbqumo::bitsPerSample(o.pixel);
    layout.byteOrder = pictureByteOrder(o);
    const QString format = rgbqumo::pixelFormatName(o.pixel);
    if (layout.bits >= 8) {
        const int perPixel = layout.bits / 8;
        if (bytes.size() % perPixel != 0)
            failure(QStringLiteral("%1 holds %2 bytes, not a whole number of %3-byte pixels")
                        .arg(source, QString::number(bytes.size()), QString::number(perPixel)));
        if (bytes.size() / perPixel % o.pictureWidth != 0)
            failure(QStringLiteral("%1 holds %2 pixels, not a whole number of rows of %3 pixels")
                        .arg(source, QString::number(bytes.size() / perPixel),
                             QString::number(o.pictureWidth)));
    }
    checkSize(o.pictureWidth, 1, o.scale);
    const int height = rowsHeld(layout, o.pictureWidth, bytes.size());
    if (height == 0)
        failure(QStringLiteral("%1 holds %2 bytes, which no number of rows of %3 %4 pixels in "
                               "this layout takes")
                    .arg(source, QString::number(bytes.size()), QString::number(o.pictureWidth),
                         format));
    checkSize(o.pictureWidth, height, o.scale);

    QImage image = newPicture(o.pictureWidth, height);
    std::vector<std::uint32_t> samples;
    core::unpackFrame(layout, image.width(), height,
                      reinterpret_cast<const std::uint8_t*>(bytes.constData()), samples);
    const std::uint32_t* s = samples.data();
    for (int y = 0; y < height; ++y) {
        auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x)
            row[x] = rgbqumo::sampleToRgb(o.pixel, *s++, o.invert);
    }
    return image;
}

} // namespace

void runPreview(const Options& o) {
    Destination destination(o.output, true);
    const QString source = o.data == QLatin1String("-") ? QStringLiteral("standard input") : o.data;
    const QByteArray raw = readWhole(o.data);
    const QByteArray bytes = o.dataBinary ? raw : parseDataText(raw, source);
    if (bytes.isEmpty())
        failure(QStringLiteral("%1 holds no data").arg(source));

    QImage image =
        o.pictureWidth > 0 ? pictureData(bytes, o, source) : glyphPicture(bytes, o, source);
    if (o.scale > 1) {
        const QImage scaled = image.scaled(image.width() * o.scale, image.height() * o.scale,
                                           Qt::IgnoreAspectRatio, Qt::FastTransformation);
        if (scaled.isNull())
            noMemoryFor(qint64(image.width()) * o.scale, qint64(image.height()) * o.scale);
        image = scaled;
    }

    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "png");
    if (!writer.write(image))
        failure(QStringLiteral("cannot make the PNG picture: %1").arg(writer.errorString()));
    destination.sink().write(png);
    destination.commit();
}

} // namespace zentraq::cli
