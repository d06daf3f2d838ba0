#include "aliasedpainting.h"

#include <QPainterPath>
#include <QTextItem>

namespace zentraq::metafile {
namespace {

// Passes every drawing on to a painter of the target image whose render
// hints stay off. The painter in front keeps the state; the target painter
// takes transform and clip afresh from it whenever either changed, so that a
// clip set under one transform stays where it was set.
class AliasedEngine : public QPaintEngine {
public:
    explicit AliasedEngine(QImage& target) : QPaintEngine(AllFeatures), m_target(target) {}

    bool begin(QPaintDevice*) override {
        if (!m_painter.begin(&m_target))
            return false;
        m_painter.setRenderHints(QPainter::RenderHints());
        return true;
    }
    bool end() override { return m_painter.end(); }

    void updateState(const QPaintEngineState& state) override {
        const DirtyFlags dirty = state.state();
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

    void drawPath(const QPainterPath& path) override { m_painter.drawPath(path); }

    void drawPolygon(const QPointF* points, int count, PolygonDrawMode mode) override {
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
        m_painter.drawPixmap(r, pixmap, source);
    }

    void drawImage(const QRectF& r, const QImage& image, const QRectF& source,
                   Qt::ImageConversionFlags flags) override {
        m_painter.drawImage(r, image, source, flags);
    }

    void drawTiledPixmap(const QRectF& r, const QPixmap& pixmap, const QPointF& offset) override {
        m_painter.drawTiledPixmap(r, pixmap, offset);
    }

    // The text again, in the item's font without smoothing: glyphs of a font
    // that is not anti-aliased are whole pixels.
    void drawTextItem(const QPointF& p, const QTextItem& item) override {
        const QFont before = m_painter.font();
        m_painter.setFont(aliased(item.font()));
        m_painter.drawText(p, item.text());
        m_painter.setFont(before);
    }

    Type type() const override { return User; }

private:
    static QFont aliased(QFont font) {
        font.setStyleStrategy(QFont::StyleStrategy(font.styleStrategy() | QFont::NoAntialias |
                                                   QFont::NoSubpixelAntialias));
        return font;
    }

    QImage& m_target;
    QPainter m_painter;
};

} // namespace

AliasedPaintDevice::AliasedPaintDevice(QImage& target)
    : m_target(target), m_engine(std::make_unique<AliasedEngine>(target)) {}

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
