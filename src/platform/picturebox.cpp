#include "picturebox.h"

#include <QChildEvent>
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

void PictureBox::setPicture(const QImage& picture, const QSizeF& extent) {
    m_surface.assign(picture);
    m_hasPicture = true;
    m_pictureExtent = extent;
    surfaceChanged();
}

QSizeF PictureBox::extent() const {
    const QSize client = contentsRect().size();
    // The picture's extent while the box still shows it at its rounded size.
    if (m_autoSize && m_hasPicture && m_pictureExtent.isValid() &&
        client == QSize(m_surface.width(), m_surface.height())) {
        const int fw = 2 * frameWidth();
        return QSizeF(m_pictureExtent.width() + fw, m_pictureExtent.height() + fw);
    }
    return QSizeF(width(), height());
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

bool PictureBox::event(QEvent* e) {
    const bool handled = QFrame::event(e);
    if (e->type() == QEvent::ChildAdded) {
        // Children follow their own moves and resizes through this filter.
        if (auto* child = qobject_cast<QWidget*>(static_cast<QChildEvent*>(e)->child()))
            child->installEventFilter(this);
    } else if (e->type() == QEvent::Resize || e->type() == QEvent::ContentsRectChange) {
        for (QObject* o : children())
            if (auto* child = qobject_cast<QWidget*>(o))
                clipChild(child);
    }
    return handled;
}

bool PictureBox::eventFilter(QObject* watched, QEvent* e) {
    if (e->type() == QEvent::Move || e->type() == QEvent::Resize || e->type() == QEvent::Show) {
        auto* child = static_cast<QWidget*>(watched);
        if (child->parentWidget() == this)
            clipChild(child);
    }
    return QFrame::eventFilter(watched, e);
}

void PictureBox::clipChild(QWidget* child) const {
    if (child->isWindow())
        return;
    // The inner area in the child's own coordinates.
    const QRect inner = contentsRect().translated(-child->pos());
    if (inner.contains(child->rect())) {
        if (!child->mask().isEmpty())
            child->clearMask();
        return;
    }
    // An empty mask means no mask at all: a child that lies wholly on the
    // border gets one that covers none of its pixels.
    const QRect visible = inner & child->rect();
    const QRegion mask = visible.isEmpty() ? QRegion(-1, -1, 1, 1) : QRegion(visible);
    if (child->mask() != mask)
        child->setMask(mask);
}

} // namespace zentraq
