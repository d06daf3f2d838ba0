#pragma once

#include "glyphcanvas.h"
#include "picturebox.h"

#include <QEvent>

namespace zentraq {

// The glyph canvas on screen: a borderless picture box whose surface the
// characters are drawn into and scanned from. The drawing itself is the
// GlyphCanvas model's; this widget only shows it and follows its size.
class GlyphCanvasBox : public PictureBox {
    Q_OBJECT
public:
    explicit GlyphCanvasBox(QWidget* parent = nullptr) : PictureBox(parent), m_canvas(surface()) {
        setFrameShape(QFrame::NoFrame);
        // An explicit colour value: every pixel the drawing leaves untouched
        // compares equal to it.
        setBackColor(QColor(255, 0, 0));
        takeForeColor();
        m_canvas.setResizeHandler([this](int w, int h) {
            setClientSize(w, h);
            update();
        });
        m_canvas.setWidth(GlyphCanvas::DefaultSize);
        m_canvas.setHeight(GlyphCanvas::DefaultSize);
        surface().clear();
    }

    GlyphCanvas& canvas() { return m_canvas; }
    const GlyphCanvas& canvas() const { return m_canvas; }

protected:
    void changeEvent(QEvent* e) override {
        if (e->type() == QEvent::PaletteChange)
            takeForeColor();
        PictureBox::changeEvent(e);
    }

private:
    // Ink is the system's window-text colour.
    void takeForeColor() {
        const QColor c = palette().color(QPalette::WindowText);
        m_canvas.setForeColor(rgbColour(c.red(), c.green(), c.blue()));
    }

    GlyphCanvas m_canvas;
};

} // namespace zentraq
