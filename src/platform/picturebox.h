#pragma once

#include "surface.h"

#include <QColor>
#include <QFrame>

namespace zentraq {

// A picture box: a framed area with a background colour and a persistent
// drawing surface. Drawing goes into the surface; the widget shows it. With
// autoSize on, the box takes the size of the surface (plus its border) each
// time the surface changes, as a box does when a picture is assigned to it.
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

    Surface& surface() { return m_surface; }
    const Surface& surface() const { return m_surface; }

    // Call after drawing into the surface: repaints, and with autoSize on
    // resizes the box to the surface.
    void surfaceChanged();

    // Sets the drawable area (inside the border) to w x h pixels; the surface
    // follows.
    void setClientSize(int w, int h);

protected:
    void paintEvent(QPaintEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;

private:
    void fitToSurface();

    Surface m_surface;
    bool m_autoSize = false;
    bool m_fitting = false;
};

} // namespace zentraq
