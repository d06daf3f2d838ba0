#include "preview.h"

#include "contactsheet.h"
#include "datatext.h"
#include "glyphcells.h"
#include "lvglimage.h"
#include "runtime_error.h"

#include <algorithm>
#include <cstring>

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

// The frames of `bytes`, each `frameBytes` long and of `size`, drawn by
// `draw`, side by side.
template <class Draw>
QImage frameSheet(const QByteArray& bytes, qint64 frameBytes, QSize size, const Preview& o,
                  Draw draw) {
    const qint64 count = bytes.size() / frameBytes;
    const QSize sheet = rgbqumo::contactSheetSize(size, count, o.columns);
    checkSize(sheet.width(), sheet.height(), o.scale);
    QList<QImage> frames;
    for (qint64 i = 0; i < count; ++i)
        frames << made(draw(bytes.mid(i * frameBytes, frameBytes)), size.width(), size.height());
    return made(rgbqumo::contactSheet(frames, o.columns), sheet.width(), sheet.height());
}

// Panel data (--panel): packed indices or planes, in the panel's colours; as
// many rows as the data holds, or frames of --height rows side by side.
QImage panelData(const QByteArray& bytes, const Preview& o, const QString& source) {
    const epaper::PanelSettings panel{o.panel(), o.planes};
    const int width = o.pictureWidth;
    checkSize(width, 1, o.scale);
    const qint64 row = epaper::panelBytes(panel, width, 1);
    int height = o.pictureHeight;
    if (height == 0) {
        if (bytes.size() % row != 0 || bytes.size() / row > MaxSide)
            throw PreviewError(
                QStringLiteral("%1 holds %2 bytes, not a whole number of rows of %3 bytes "
                               "(%4 pixels of %5%6)")
                    .arg(source, QString::number(bytes.size()), QString::number(row),
                         QString::number(width), panel.panel.name,
                         o.planes ? QStringLiteral(", every plane") : QString()));
        height = int(bytes.size() / row);
    }
    const qint64 frame = epaper::panelBytes(panel, width, height);
    if (bytes.size() % frame != 0)
        throw PreviewError(
            QStringLiteral("%1 holds %2 bytes, not a whole number of the %3 bytes of %4 x %5 "
                           "pixels of %6")
                .arg(source, QString::number(bytes.size()), QString::number(frame),
                     QString::number(width), QString::number(height), panel.panel.name));
    return frameSheet(bytes, frame, QSize(width, height), o, [&](const QByteArray& one) {
        return epaper::panelPicture(one, panel, QSize(width, height));
    });
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
    // Several whole frames of W x H (picture --frames): a contact sheet.
    if (height > 0) {
        const qint64 frame = core::frameBytes(layout, width, height);
        if (bytes.size() > frame && bytes.size() % frame == 0)
            return frameSheet(bytes, frame, QSize(width, height), o, [&](const QByteArray& one) {
                return rgbqumo::dataPicture(one, o.picture, QSize(width, height));
            });
    }
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
// light grey and white, so that its transparent parts show, each row
// scaled as it comes: the preview is all the memory it takes.
class CheckerboardPreview : public lvgl::RowReceiver {
public:
    explicit CheckerboardPreview(int scale) : m_scale(scale) {}

    void begin(const lvgl::ImageHeader& header) override {
        checkSize(header.width, header.height, m_scale);
        const qint64 w = qint64(header.width) * m_scale, h = qint64(header.height) * m_scale;
        image = made(QImage(int(w), int(h), QImage::Format_RGB32), w, h);
    }

    void row(int y, const QRgb* in) override {
        const int s = m_scale;
        auto* out = reinterpret_cast<QRgb*>(image.scanLine(y * s));
        for (int x = 0; x < image.width() / s; ++x) {
            const QRgb square = (x / 4 + y / 4) % 2 ? qRgb(204, 204, 204) : qRgb(255, 255, 255);
            std::fill_n(out + qint64(x) * s, s, core::compositePixel(in[x], square));
        }
        for (int i = 1; i < s; ++i)
            std::memcpy(image.scanLine(y * s + i), out, std::size_t(image.bytesPerLine()));
    }

    QImage image;

private:
    int m_scale;
};

// Every image of a C source that declares several (a frame table), each on
// the checkerboard, side by side at the preview's scale.
QImage lvglFrames(const QList<lvgl::ReadImage>& images, const Preview& o, const QString& source) {
    const QSize size = images.front().picture.size();
    QList<QImage> frames;
    for (const lvgl::ReadImage& read : images) {
        if (read.picture.size() != size)
            throw PreviewError(
                QStringLiteral("%1: its images are not all of one size, %2 x %3 and %4 x %5")
                    .arg(source)
                    .arg(size.width())
                    .arg(size.height())
                    .arg(read.picture.width())
                    .arg(read.picture.height()));
        CheckerboardPreview frame(1);
        lvgl::ImageHeader header;
        header.width = size.width();
        header.height = size.height();
        frame.begin(header);
        for (int y = 0; y < size.height(); ++y)
            frame.row(y, reinterpret_cast<const QRgb*>(read.picture.constScanLine(y)));
        frames << frame.image;
    }
    const QSize sheet = rgbqumo::contactSheetSize(size, frames.size(), o.columns);
    checkSize(sheet.width(), sheet.height(), o.scale);
    QImage picture = made(rgbqumo::contactSheet(frames, o.columns), sheet.width(), sheet.height());
    if (o.scale == 1)
        return picture;
    return made(picture.scaled(picture.width() * o.scale, picture.height() * o.scale,
                               Qt::IgnoreAspectRatio, Qt::FastTransformation),
                qint64(picture.width()) * o.scale, qint64(picture.height()) * o.scale);
}

// The preview of an LVGL image, at its scale; a C source that declares
// several images shows them all.
QImage lvglPicture(const QByteArray& raw, const Preview& o, const QString& source) {
    CheckerboardPreview preview(o.scale);
    try {
        if (o.lvgl != u"lvgl")
            lvgl::readImageFile(raw, o.depth, preview);
        else if (lvgl::declaredImages(raw) > 1)
            return lvglFrames(lvgl::readImageSources(raw, o.depth), o, source);
        else
            lvgl::readImageSource(raw, o.depth, preview);
    } catch (const RuntimeError& e) {
        if (e.code() != RuntimeError::InvalidPicture)
            throw;
        throw PreviewError(source + QStringLiteral(": ") + QString::fromUtf8(e.what()));
    }
    return std::move(preview.image);
}

} // namespace

QImage previewPicture(const QByteArray& raw, const Preview& o, const QString& source) {
    const QByteArray bytes = o.binary || !o.lvgl.isEmpty() ? raw : dataOf(raw, source);
    if (bytes.isEmpty())
        throw PreviewError(QStringLiteral("%1 holds no data").arg(source));

    QImage image = !o.lvgl.isEmpty()    ? lvglPicture(bytes, o, source)
                   : o.panel            ? panelData(bytes, o, source)
                   : o.pictureWidth > 0 ? pictureData(bytes, o, source)
                                        : glyphPicture(bytes, o, source);
    if (o.scale > 1 && o.lvgl.isEmpty()) {
        const QImage scaled = image.scaled(image.width() * o.scale, image.height() * o.scale,
                                           Qt::IgnoreAspectRatio, Qt::FastTransformation);
        if (scaled.isNull())
            noMemoryFor(qint64(image.width()) * o.scale, qint64(image.height()) * o.scale);
        image = scaled;
    }

    return image;
}

} // namespace zentraq::rgbqumo
