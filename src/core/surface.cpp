#include "surface.h"

#include <QPainter>

namespace zentraq {

Surface::Surface(int width, int height, Colour backColour)
    : m_image(qMax(width, 0), qMax(height, 0), QImage::Format_RGB32), m_back(backColour) {
    clear();
}

void Surface::resize(int width, int height) {
    width = qMax(width, 0);
    height = qMax(height, 0);
    if (width == m_image.width() && height == m_image.height())
        return;
    QImage next(width, height, QImage::Format_RGB32);
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
    QImage next(picture.width(), picture.height(), QImage::Format_RGB32);
    next.fill(toQRgb(m_back));
    if (!next.isNull()) {
        QPainter p(&next);
        p.drawImage(0, 0, picture);
    }
    m_image = std::move(next);
}

} // namespace zentraq
