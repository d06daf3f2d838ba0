#include "imagerows.h"

#include "encode.h"
#include "runtime_error.h"

#include <algorithm>

namespace zentraq::core {

void SurfacePixels::read(int y, int x, int count, QRgb* out) {
    // What Surface::pixel reads, for a run at once: the colour of a point on
    // the surface, NoPixel for one outside it.
    const QImage& image = m_surface.image();
    const bool rowInside = y >= 0 && y < image.height();
    const QRgb* row = rowInside ? reinterpret_cast<const QRgb*>(image.constScanLine(y)) : nullptr;
    for (int i = 0; i < count; ++i) {
        const int px = x + i;
        out[i] = rowInside && px >= 0 && px < image.width() ? row[px] | 0xFF000000u : NoPixel;
    }
}

ImageRows::ImageRows(const QImage& picture, QRgb background, qsizetype stripBytes)
    : m_picture(picture), m_background(background | 0xFF000000u),
      m_stripRows(int(std::clamp<qsizetype>(stripBytes / 4 / std::max(picture.width(), 1), 1,
                                            std::max(picture.height(), 1)))) {}

void ImageRows::read(int y, int x, int count, QRgb* out) {
    const QImage::Format format = m_picture.format();
    if (format == QImage::Format_RGB32 || format == QImage::Format_ARGB32) {
        // Opaque by its format (the fourth byte carries nothing), or
        // unpremultiplied: read in place.
        const QRgb* row = reinterpret_cast<const QRgb*>(m_picture.constScanLine(y)) + x;
        if (format == QImage::Format_RGB32)
            for (int i = 0; i < count; ++i)
                out[i] = row[i] | 0xFF000000u;
        else
            for (int i = 0; i < count; ++i)
                out[i] = paintedOn(row[i], m_background);
        return;
    }
    if (m_stripTop < 0 || y < m_stripTop || y >= m_stripTop + m_stripRows) {
        // Any other format: the strip's rows premultiplied as the painter
        // reads them, then painted over the background.
        const int rows = std::min(m_stripRows, m_picture.height() - y);
        m_strip = QImage();
        m_strip = m_picture.copy(0, y, m_picture.width(), rows)
                      .convertToFormat(QImage::Format_ARGB32_Premultiplied);
        if (m_strip.isNull())
            throw RuntimeError::outOfMemory();
        m_stripTop = y;
    }
    const QRgb* row = reinterpret_cast<const QRgb*>(m_strip.constScanLine(y - m_stripTop)) + x;
    for (int i = 0; i < count; ++i)
        out[i] = paintedOver(row[i], m_background);
}

AlphaRows::AlphaRows(const QImage& picture, qsizetype stripBytes)
    : m_picture(picture),
      m_stripRows(int(std::clamp<qsizetype>(stripBytes / 4 / std::max(picture.width(), 1), 1,
                                            std::max(picture.height(), 1)))) {
    if (picture.format() == QImage::Format_Indexed8) {
        // An index past the table's end reads as opaque black, as Qt draws it.
        m_table = picture.colorTable();
        m_table.resize(256, qRgb(0, 0, 0));
    }
}

void AlphaRows::read(int y, int x, int count, QRgb* out) {
    switch (m_picture.format()) {
    case QImage::Format_ARGB32: {
        const QRgb* row = reinterpret_cast<const QRgb*>(m_picture.constScanLine(y)) + x;
        std::copy(row, row + count, out);
        return;
    }
    case QImage::Format_RGB32: {
        const QRgb* row = reinterpret_cast<const QRgb*>(m_picture.constScanLine(y)) + x;
        for (int i = 0; i < count; ++i)
            out[i] = row[i] | 0xFF000000u;
        return;
    }
    case QImage::Format_Indexed8: {
        const uchar* row = m_picture.constScanLine(y) + x;
        for (int i = 0; i < count; ++i)
            out[i] = m_table[row[i]];
        return;
    }
    case QImage::Format_Grayscale8: {
        const uchar* row = m_picture.constScanLine(y) + x;
        for (int i = 0; i < count; ++i)
            out[i] = qRgb(row[i], row[i], row[i]);
        return;
    }
    default:
        break;
    }
    if (m_stripTop < 0 || y < m_stripTop || y >= m_stripTop + m_stripRows) {
        const int rows = std::min(m_stripRows, m_picture.height() - y);
        m_strip =
            m_picture.copy(0, y, m_picture.width(), rows).convertToFormat(QImage::Format_ARGB32);
        if (m_strip.isNull())
            throw RuntimeError::outOfMemory();
        m_stripTop = y;
    }
    const QRgb* row = reinterpret_cast<const QRgb*>(m_strip.constScanLine(y - m_stripTop)) + x;
    std::copy(row, row + count, out);
}

QImage opaquePicture(QImage picture, QRgb background) {
    const QImage::Format format = picture.format();
    if (format == QImage::Format_RGB32 || format == QImage::Format_Grayscale8 || picture.isNull())
        return picture;
    if (format == QImage::Format_Indexed8) {
        // Each colour of the table composited as the picture's pixels are:
        // a picture of one pixel per colour, read as ImageRows reads it.
        QImage colours(std::max<int>(int(picture.colorTable().size()), 1), 1,
                       QImage::Format_Indexed8);
        colours.setColorTable(picture.colorTable());
        for (int i = 0; i < colours.width(); ++i)
            colours.setPixel(i, 0, uint(i));
        QList<QRgb> table(colours.width());
        ImageRows(colours, background).read(0, 0, colours.width(), table.data());
        table.resize(picture.colorTable().size());
        picture.setColorTable(table);
        return picture;
    }
    const int width = picture.width(), height = picture.height();
    const bool inPlace = picture.depth() >= 32;
    QImage out = inPlace ? QImage() : QImage(picture.size(), QImage::Format_RGB32);
    if (!inPlace && out.isNull())
        throw RuntimeError::outOfMemory();
    // In place, the opaque rows are packed at 4 bytes a pixel from the start
    // of the picture's memory: row y ends where the picture's row y ends or
    // before, so it only ever covers rows already read. ImageRows keeps its
    // own copy of the strip it reads from.
    uchar* bits = inPlace ? picture.bits() : out.bits();
    const qsizetype stride = inPlace ? qsizetype(width) * 4 : out.bytesPerLine();
    {
        ImageRows rows(picture, background);
        for (int y = 0; y < height; ++y)
            rows.read(y, 0, width, reinterpret_cast<QRgb*>(bits + y * stride));
    }
    if (!inPlace)
        return out;
    // The new picture lives in the old one's memory, which it keeps.
    auto* owner = new QImage(std::move(picture));
    return QImage(
        bits, width, height, stride, QImage::Format_RGB32,
        [](void* image) { delete static_cast<QImage*>(image); }, owner);
}

} // namespace zentraq::core
