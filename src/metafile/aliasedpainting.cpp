#include "aliasedpainting.h"

#include "gdishapes.h"

#include <QPainterPath>
#include <QTextItem>

#include <array>
#include <cmath>
#include <optional>

namespace zentraq::metafile {
namespace {

// Passes every drawing on to a painter of the target image whose render
// hints stay off. The painter in front keeps the state; the target painter
// takes transform and clip afresh from it whenever either changed, so that a
// clip set under one transform stays where it was set.
class AliasedEngine : public QPaintEngine {
public:
    AliasedEngine(QImage& target, bool windowsShapes)
        : QPaintEngine(AllFeatures), m_target(target), m_windowsShapes(windowsShapes) {}

    bool begin(QPaintDevice*) override {
        if (!m_painter.begin(&m_target))
            return false;
        m_painter.setRenderHints(QPainter::RenderHints());
        return true;
    }
    bool end() override {
        flush();
        return m_painter.end();
    }

    void updateState(const QPaintEngineState& state) override {
        const DirtyFlags dirty = state.state();
        // A fill waits for its outline only across a change of pen and brush.
        if (dirty & ~(DirtyPen | DirtyBrush))
            flush();
        if (dirty & DirtyPen)
            m_painter.setPen(state.pen());
        if (dirty & DirtyBrush)
            m_painter.setBrush(state.brush());
        if (dirty & DirtyBrushOrigin)
            m_painter.setBrushOrigin(state.brushOrigin());
        if (dirty & DirtyFont)
            m_painter.setFont(aliased(state.font()));
        if (dirty & DirtyBackground)
            m_painter.setBackground(state.backgroundBrush());
        if (dirty & DirtyBackgroundMode)
            m_painter.setBackgroundMode(state.backgroundMode());
        if (dirty & DirtyOpacity)
            m_painter.setOpacity(state.opacity());
        if (dirty & DirtyCompositionMode)
            m_painter.setCompositionMode(state.compositionMode());
        if (dirty & (DirtyTransform | DirtyClipPath | DirtyClipRegion | DirtyClipEnabled)) {
            QPainter* front = painter();
            m_painter.setTransform(front->transform());
            if (front->hasClipping())
                m_painter.setClipPath(front->clipPath());
            else
                m_painter.setClipping(false);
        }
        // Render hints are what this engine exists to ignore.
        m_painter.setRenderHints(QPainter::RenderHints());
    }

    void drawRects(const QRectF* rects, int count) override {
        for (int i = 0; i < count; ++i)
            if (!windowsShape({Shape::Rectangle, rects[i], {}, {}}))
                m_painter.drawRect(rects[i]);
    }
    void drawRects(const QRect* rects, int count) override {
        for (int i = 0; i < count; ++i)
            drawRects(std::array{QRectF(rects[i])}.data(), 1);
    }

    void drawEllipse(const QRectF& r) override {
        if (!windowsShape({Shape::Ellipse, r, {}, {}}))
            m_painter.drawEllipse(r);
    }
    void drawEllipse(const QRect& r) override { drawEllipse(QRectF(r)); }

    void drawPath(const QPainterPath& path) override {
        if (!lines(path) || !windowsShape({Shape::Lines, {}, path, {}})) {
            flush();
            m_painter.drawPath(path);
        }
    }

    void drawPolygon(const QPointF* points, int count, PolygonDrawMode mode) override {
        if (count >= 2) {
            QPainterPath path;
            path.setFillRule(mode == WindingMode ? Qt::WindingFill : Qt::OddEvenFill);
            path.addPolygon(QPolygonF(QList<QPointF>(points, points + count)));
            if (windowsShape({Shape::Lines, {}, path, mode != PolylineMode}))
                return;
        }
        flush();
        switch (mode) {
        case PolylineMode:
            m_painter.drawPolyline(points, count);
            break;
        case WindingMode:
            m_painter.drawPolygon(points, count, Qt::WindingFill);
            break;
        case ConvexMode:
            m_painter.drawConvexPolygon(points, count);
            break;
        default:
            m_painter.drawPolygon(points, count, Qt::OddEvenFill);
            break;
        }
    }

    void drawPixmap(const QRectF& r, const QPixmap& pixmap, const QRectF& source) override {
        flush();
        m_painter.drawPixmap(r, pixmap, source);
    }

    void drawImage(const QRectF& r, const QImage& image, const QRectF& source,
                   Qt::ImageConversionFlags flags) override {
        flush();
        m_painter.drawImage(r, image, source, flags);
    }

    void drawTiledPixmap(const QRectF& r, const QPixmap& pixmap, const QPointF& offset) override {
        flush();
        m_painter.drawTiledPixmap(r, pixmap, offset);
    }

    // The text again, in the item's font without smoothing: glyphs of a font
    // that is not anti-aliased are whole pixels.
    void drawTextItem(const QPointF& p, const QTextItem& item) override {
        flush();
        const QFont before = m_painter.font();
        m_painter.setFont(aliased(item.font()));
        m_painter.drawText(p, item.text());
        m_painter.setFont(before);
    }

    Type type() const override { return User; }

private:
    struct Shape {
        enum Kind { Rectangle, Ellipse, Lines } kind;
        QRectF box;                 // Rectangle, Ellipse
        QPainterPath path;          // Lines
        std::optional<bool> closed; // Lines: a polygon, or a polyline; unset: as the path ends

        bool operator==(const Shape& o) const {
            return kind == o.kind && box == o.box && path == o.path && closed == o.closed;
        }
    };
    struct Fill {
        Shape shape;
        QBrush brush;
        QTransform transform;
    };

    // Draws `shape` as Windows draws it, when it can be; false, and nothing
    // drawn, otherwise. Qt's SVG renderer draws a shape's fill and its
    // outline as two calls: a fill without pen waits for the outline of the
    // same shape, and the two are drawn as one shape; a fill that no outline
    // follows is a shape drawn without pen (see flush()).
    bool windowsShape(const Shape& shape) {
        const QPen pen = m_painter.pen();
        const bool brushless = m_painter.brush().style() == Qt::NoBrush;
        if (m_fill && pen.style() != Qt::NoPen && brushless && m_fill->shape == shape &&
            m_fill->transform == m_painter.transform()) {
            m_painter.setBrush(m_fill->brush);
            m_fill.reset();
            const bool drawn = inWindowsPixels([&] { draw(shape); });
            m_painter.setBrush(Qt::NoBrush);
            return drawn;
        }
        flush();
        if (!inWindowsPixels([] {}))
            return false;
        if (pen.style() == Qt::NoPen && !brushless) {
            m_fill = Fill{shape, m_painter.brush(), m_painter.transform()};
            return true;
        }
        return inWindowsPixels([&] { draw(shape); });
    }

    // Draws the fill that waits for an outline, as a shape without pen.
    void flush() {
        if (!m_fill)
            return;
        const Fill fill = *m_fill;
        m_fill.reset();
        const QPen pen = m_painter.pen();
        const QBrush brush = m_painter.brush();
        const QTransform transform = m_painter.transform();
        m_painter.setPen(Qt::NoPen);
        m_painter.setBrush(fill.brush);
        m_painter.setTransform(fill.transform);
        inWindowsPixels([&] { draw(fill.shape); });
        m_painter.setTransform(transform);
        m_painter.setBrush(brush);
        m_painter.setPen(pen);
    }

    // Within inWindowsPixels.
    void draw(const Shape& shape) {
        switch (shape.kind) {
        case Shape::Rectangle:
            m_painter.drawRect(gdi::shapeRect(windowsPixels(shape.box)));
            break;
        case Shape::Ellipse:
            gdi::drawEllipse(m_painter, windowsPixels(shape.box));
            break;
        case Shape::Lines:
            drawStraight(shape.path, shape.closed);
            break;
        }
    }

    // Runs `draw` with the painter in device pixels, the pen as wide as it
    // is there, when the shapes are drawn as Windows draws them and the
    // mapping keeps horizontal edges horizontal; false, and nothing drawn,
    // otherwise. Brushes other than plain colours keep the painter's mapping.
    template <class Draw> bool inWindowsPixels(Draw draw) {
        const QTransform t = m_painter.transform();
        const Qt::BrushStyle brush = m_painter.brush().style();
        if (!m_windowsShapes || t.type() > QTransform::TxScale ||
            (brush != Qt::NoBrush && brush != Qt::SolidPattern))
            return false;
        const QPen pen = m_painter.pen();
        const double scale = std::sqrt(std::abs(t.determinant()));
        m_toDevice = t;
        m_painter.setTransform(QTransform());
        m_painter.setPen(
            gdi::devicePen(pen, pen.isCosmetic() ? pen.widthF() : pen.widthF() * scale));
        draw();
        m_painter.setPen(pen);
        m_painter.setTransform(t);
        return true;
    }

    // The pixels of a rectangle or ellipse of the box `r` (within
    // inWindowsPixels).
    QRect windowsPixels(const QRectF& r) const {
        const QRectF box = m_toDevice.mapRect(r);
        return gdi::pixelRect(gdi::whole(box.topLeft()), gdi::whole(box.bottomRight()));
    }

    static bool lines(const QPainterPath& path) {
        for (int i = 0; i < path.elementCount(); ++i)
            if (!path.elementAt(i).isMoveTo() && !path.elementAt(i).isLineTo())
                return false;
        return path.elementCount() >= 2;
    }

    // A path of straight lines with its corners at whole device pixels: one
    // figure as a polygon (or a polyline, unfilled and open), several as
    // closed polygons of one path (within inWindowsPixels).
    void drawStraight(const QPainterPath& path, std::optional<bool> closed = std::nullopt) {
        QList<QPolygonF> figures;
        for (int i = 0; i < path.elementCount(); ++i) {
            const QPainterPath::Element e = path.elementAt(i);
            if (e.isMoveTo() || figures.isEmpty())
                figures.append(QPolygonF());
            figures.last() << gdi::whole(m_toDevice.map(QPointF(e.x, e.y)));
        }
        const bool filled = m_painter.brush().style() != Qt::NoBrush;
        if (figures.size() == 1 && !filled &&
            !closed.value_or(figures.first().size() > 2 && figures.first().isClosed())) {
            m_painter.drawPolyline(figures.first());
            return;
        }
        for (QPolygonF& figure : figures)
            if (figure.size() > 2 && figure.isClosed())
                figure.removeLast();
        gdi::drawPolygons(m_painter, figures, path.fillRule());
    }

    static QFont aliased(QFont font) {
        font.setStyleStrategy(QFont::StyleStrategy(font.styleStrategy() | QFont::NoAntialias |
                                                   QFont::NoSubpixelAntialias));
        return font;
    }

    QImage& m_target;
    QPainter m_painter;
    bool m_windowsShapes;
    QTransform m_toDevice;
    std::optional<Fill> m_fill;
};

} // namespace

AliasedPaintDevice::AliasedPaintDevice(QImage& target, bool windowsShapes)
    : m_target(target), m_engine(std::make_unique<AliasedEngine>(target, windowsShapes)) {}

AliasedPaintDevice::~AliasedPaintDevice() = default;

QPaintEngine* AliasedPaintDevice::paintEngine() const {
    return m_engine.get();
}

int AliasedPaintDevice::metric(PaintDeviceMetric metric) const {
    switch (metric) {
    case PdmWidth:
        return m_target.width();
    case PdmHeight:
        return m_target.height();
    case PdmWidthMM:
        return m_target.widthMM();
    case PdmHeightMM:
        return m_target.heightMM();
    case PdmNumColors:
        return m_target.colorCount();
    case PdmDepth:
        return m_target.depth();
    case PdmDpiX:
    case PdmPhysicalDpiX:
        return m_target.logicalDpiX();
    case PdmDpiY:
    case PdmPhysicalDpiY:
        return m_target.logicalDpiY();
    case PdmDevicePixelRatio:
        return 1;
    case PdmDevicePixelRatioScaled:
        return int(QPaintDevice::devicePixelRatioFScale());
    default:
        return QPaintDevice::metric(metric);
    }
}

} // namespace zentraq::metafile
