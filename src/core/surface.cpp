#include "surface.h"

#include "imagerows.h"
#include "runtime_error.h"

#include <QPainter>

#include <new>

namespace zentraq {
namespace {

// Pixel memory for a surface. QImage answers a failed allocation with a null
// image, which would pass for an empty surface: that is a failure here.
QImage allocate(int width, int height) {
    QImage image(width, height, QImage::Format_RGB32);
    if (image.isNull() && width > 0 && height > 0)
        throw std::bad_alloc();
    return image;
}

} // namespace

Surface::Surface(int width, int height, Colour backColour)
    : m_image(allocate(qMax(width, 0), qMax(height, 0))), m_back(backColour) {
    clear();
}

void Surface::resize(int width, int height) {
    width = qMax(width, 0);
    height = qMax(height, 0);
    if (width == m_image.width() && height == m_image.height())
        return;
    QImage next = allocate(width, height);
    next.fill(toQRgb(m_back));
    if (!m_image.isNull() && !next.isNull()) {
        QPainter p(&next);
        p.drawImage(0, 0, m_image);
    }
    m_image = std::move(next);
}

void Surface::clear() {
    if (!m_image.isNull())
        m_image.fill(toQRgb(m_back));
}

void Surface::setPixel(int x, int y, Colour c) {
    if (x < 0 || y < 0 || x >= m_image.width() || y >= m_image.height())
        return;
    reinterpret_cast<QRgb*>(m_image.scanLine(y))[x] = toQRgb(c);
}

void Surface::assign(const QImage& picture) {
    QImage next = allocate(picture.width(), picture.height());
    // The picture painted onto the background by the conversions' own rule,
    // so the box shows what the data is made of.
    try {
        core::ImageRows rows(picture, toQRgb(m_back));
        for (int y = 0; y < next.height(); ++y)
            rows.read(y, 0, next.width(), reinterpret_cast<QRgb*>(next.scanLine(y)));
    } catch (const RuntimeError& e) {
        if (e.code() == RuntimeError::OutOfMemory)
            throw std::bad_alloc();
        throw;
    }
    m_image = std::move(next);
}

} // namespace zentraq
