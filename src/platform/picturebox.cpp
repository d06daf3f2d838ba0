#include "picturebox.h"

#include <QPainter>

#include <new>

namespace zentraq {

PictureBox::PictureBox(QWidget* parent) : QFrame(parent) {
    setAutoFillBackground(true);
    const QColor face = palette().color(QPalette::Button);
    setBackColor(face);
}

QColor PictureBox::backColor() const {
    const Colour c = m_surface.backColour();
    return QColor(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF);
}

void PictureBox::setBackColor(const QColor& c) {
    m_surface.setBackColour(rgbColour(c.red(), c.green(), c.blue()));
    QPalette pal = palette();
    pal.setColor(QPalette::Window, c);
    setPalette(pal);
    update();
}

void PictureBox::setAutoSize(bool on) {
    m_autoSize = on;
}

void PictureBox::surfaceChanged() {
    if (m_autoSize)
        fitToSurface();
    update();
}

void PictureBox::setClientSize(int w, int h) {
    const int fw = 2 * frameWidth();
    resize(w + fw, h + fw);
}

void PictureBox::fitToSurface() {
    setClientSize(m_surface.width(), m_surface.height());
}

void PictureBox::setPicture(const QImage& picture) {
    m_surface.assign(picture);
    m_hasPicture = true;
    surfaceChanged();
}

void PictureBox::syncSurface() {
    if (m_autoSize && m_hasPicture)
        return;
    // The drawable area follows the box: the surface keeps what fits and the
    // new area shows the background.
    const QSize s = contentsRect().size();
    if (s.width() != m_surface.width() || s.height() != m_surface.height())
        m_surface.resize(s.width(), s.height());
}

void PictureBox::paintEvent(QPaintEvent* e) {
    QFrame::paintEvent(e);
    QPainter p(this);
    const QRect r = contentsRect();
    p.setClipRect(r);
    // A surface that cannot follow the box for want of memory is not drawn
    // (a paint event has no one to tell); the handler that uses the surface
    // next meets the same failure and reports it.
    try {
        p.drawImage(r.topLeft(), surface().image());
    } catch (const std::bad_alloc&) {
    }
}

} // namespace zentraq
