#pragma once

#include "surface.h"

#include <QColor>
#include <QFrame>

namespace zentraq {

// A picture box: a framed area with a background colour and a persistent
// drawing surface. Drawing goes into the surface; the widget shows it. With
// autoSize on, the box takes the size of the surface (plus its border) each
// time the surface changes, as a box does when a picture is assigned to it.
// Child controls are clipped to the inner area, so they never paint over the
// border, however large they are.
class PictureBox : public QFrame {
    Q_OBJECT
    Q_PROPERTY(QColor backColor READ backColor WRITE setBackColor)
    Q_PROPERTY(bool autoSize READ autoSize WRITE setAutoSize)

public:
    explicit PictureBox(QWidget* parent = nullptr);

    QColor backColor() const;
    void setBackColor(const QColor& c);

    bool autoSize() const { return m_autoSize; }
    void setAutoSize(bool on);

    // The drawing surface; its size is the box's drawable area (inside the
    // border), whether or not the box has been shown. Throws std::bad_alloc
    // when there is no memory for the surface to follow the box's size.
    Surface& surface() {
        syncSurface();
        return m_surface;
    }
    const Surface& surface() const {
        const_cast<PictureBox*>(this)->syncSurface();
        return m_surface;
    }

    // Call after drawing into the surface or replacing its contents:
    // repaints, and with autoSize on resizes the box to the surface, as a box
    // does when a picture is assigned to it.
    void surfaceChanged();

    // Assigns a picture: the surface holds it whole (transparent parts on the
    // background colour), and with autoSize on the box takes its size. Throws
    // std::bad_alloc, the box unchanged, when there is no memory for it.
    // `extent` is the picture's own size where it is not whole pixels (a
    // metafile's size at 96 dots per inch); the picture has its rounded size.
    void setPicture(const QImage& picture, const QSizeF& extent = QSizeF());

    // The box's size as its width and height properties give it, single-
    // precision numbers in its container's pixels: with autoSize on and a
    // picture of a fractional extent, that extent (plus the border); else
    // the whole pixels of width() and height().
    QSizeF extent() const;

    // Sets the drawable area (inside the border) to w x h pixels; the surface
    // follows.
    void setClientSize(int w, int h);

protected:
    void paintEvent(QPaintEvent* e) override;
    bool event(QEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    void clipChild(QWidget* child) const;
    void fitToSurface();
    void syncSurface();

    Surface m_surface;
    bool m_autoSize = false;
    bool m_hasPicture = false; // with autoSize, the surface leads the box size
    QSizeF m_pictureExtent;    // the picture's own size, when given
};

} // namespace zentraq
