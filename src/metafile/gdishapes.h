#pragma once

// Where Windows' drawing puts the pixels of a shape, shared by the WMF and
// the EMF route so that both draw a shape alike. Corners are mapped to whole
// device pixels before anything is drawn; a rectangle or ellipse covers its
// box without the right and bottom edge, and without an outline its fill is
// one pixel smaller still; pens of less than 1.5 pixels draw one pixel wide.

#include <QPainter>
#include <QPainterPath>
#include <QPen>
#include <QPointF>
#include <QPolygonF>
#include <QRect>
#include <QRectF>

#include <algorithm>
#include <cmath>

namespace zentraq::metafile::gdi {

// Pens narrower than this, in device pixels, draw one pixel wide.
constexpr double ThinPen = 1.5;

// A coordinate in whole pixels: a mapping that lands a hair beside a pixel
// draws what it would on it.
inline double whole(double v) {
    return std::floor(v + 0.5);
}
inline QPointF whole(const QPointF& p) {
    return QPointF(whole(p.x()), whole(p.y()));
}

// The pixels a shape with the corners `a` and `b` (whole pixels) covers:
// right and bottom edges excluded.
inline QRect pixelRect(const QPointF& a, const QPointF& b) {
    const int l = int(std::min(a.x(), b.x())), t = int(std::min(a.y(), b.y()));
    const int r = int(std::max(a.x(), b.x())), bt = int(std::max(a.y(), b.y()));
    return QRect(QPoint(l, t), QPoint(r - 1, bt - 1));
}

// The rectangle to hand QPainter for a shape whose pixels are `r`: an
// aliased one-pixel outline of QRectF(x, y, w, h) covers x to x + w
// inclusive, and a fill without outline x to x + w - 1.
inline QRectF shapeRect(const QRect& r) {
    return QRectF(r.x(), r.y(), r.width() - 1, r.height() - 1);
}

// `pen` as drawn at `width` device pixels: one pixel wide (cosmetic) when
// thin, else that wide.
inline QPen devicePen(QPen pen, double width) {
    if (pen.style() == Qt::NoPen)
        return pen;
    pen.setCosmetic(false);
    pen.setWidthF(width < ThinPen ? 0.0 : width);
    return pen;
}

// An ellipse in the box whose pixels are `box`, with the painter's pen and
// brush. Without a pen it is one pixel smaller, like a rectangle; a plain
// colour then fills it as a one-pixel outline of its colour would, so that
// it reaches every side of that box (QPainter's fill would leave out the
// rows and columns its curve only grazes).
inline void drawEllipse(QPainter& p, const QRect& box) {
    const QBrush brush = p.brush();
    if (p.pen().style() != Qt::NoPen || brush.style() != Qt::SolidPattern) {
        p.drawEllipse(shapeRect(box));
        return;
    }
    const QRectF inner = shapeRect(box.adjusted(0, 0, -1, -1));
    if (inner.width() < 0 || inner.height() < 0)
        return;
    const QPen pen = p.pen();
    p.setPen(QPen(brush.color(), 0));
    p.drawEllipse(inner);
    p.setPen(pen);
}

// Polygons with corners at whole pixels, with the painter's pen and brush.
// Windows fills the pixels whose top-left corner lies inside (on a left or
// top edge counts, on a right or bottom one does not); QPainter the pixels
// whose centre does, and on an edge the other way round. So the fill goes
// right and down by half a pixel less 1/64, the step of QPainter's
// coordinates: a corner on an edge then lies inside a left or top edge and
// outside a right or bottom one. (A corner closer than 1/64 pixel to a long
// slanting edge may come out on the other side.) The outline runs through
// the corner pixels as QPainter draws it.
inline void drawPolygons(QPainter& p, const QList<QPolygonF>& figures, Qt::FillRule rule) {
    constexpr double Shift = 0.5 - 1.0 / 64;
    if (p.brush().style() != Qt::NoBrush) {
        const QPen pen = p.pen();
        p.setPen(Qt::NoPen);
        if (figures.size() == 1) {
            p.drawPolygon(figures.first().translated(Shift, Shift), rule);
        } else {
            QPainterPath fill;
            fill.setFillRule(rule);
            for (const QPolygonF& figure : figures)
                fill.addPolygon(figure.translated(Shift, Shift));
            p.drawPath(fill);
        }
        p.setPen(pen);
    }
    if (p.pen().style() == Qt::NoPen)
        return;
    const QBrush brush = p.brush();
    p.setBrush(Qt::NoBrush);
    for (QPolygonF figure : figures) {
        if (!figure.isClosed())
            figure << figure.first();
        p.drawPolyline(figure);
    }
    p.setBrush(brush);
}

} // namespace zentraq::metafile::gdi
