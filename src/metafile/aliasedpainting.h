#pragma once

// A paint device that draws into an image with every smoothing turned off,
// whatever the code that paints on it asks for: no anti-aliased edges, text
// in whole pixels, pictures scaled by their nearest pixel. Qt's SVG renderer
// turns anti-aliasing on for itself; painting through this device keeps the
// colours of thin lines and text as they were drawn.
//
// With `windowsShapes`, rectangles, ellipses and shapes of straight lines
// are drawn as Windows draws them (gdishapes.h): corners at whole pixels,
// right and bottom edges excluded, thin pens one pixel wide.

#include <QImage>
#include <QPaintDevice>
#include <QPaintEngine>
#include <QPainter>

#include <memory>

namespace zentraq::metafile {

class AliasedPaintDevice : public QPaintDevice {
public:
    // Paints into `target`, which must outlive the device.
    explicit AliasedPaintDevice(QImage& target, bool windowsShapes = false);
    ~AliasedPaintDevice() override;

    QPaintEngine* paintEngine() const override;

protected:
    int metric(PaintDeviceMetric metric) const override;

private:
    QImage& m_target;
    std::unique_ptr<QPaintEngine> m_engine;
};

} // namespace zentraq::metafile
