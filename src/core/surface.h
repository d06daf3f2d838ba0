#pragma once

#include "colour.h"

#include <QImage>

#include <cstdint>

namespace zentraq {

// The persistent pixel store of a picture box: what is drawn stays here, and
// pixels read back from it whether or not the box is on screen. Pixels are
// opaque RGB; the store has no alpha.
//
// Creating, resizing and assigning throw std::bad_alloc when the memory for
// the pixels cannot be had; the surface is then unchanged.
class Surface {
public:
    explicit Surface(int width = 0, int height = 0, Colour backColour = rgbColour(255, 255, 255));

    int width() const { return m_image.width(); }
    int height() const { return m_image.height(); }

    // Changes the size; the kept part keeps its pixels, new area gets the
    // background colour.
    void resize(int width, int height);

    Colour backColour() const { return m_back; }
    void setBackColour(Colour c) { m_back = c; }

    // Fills the whole surface with the background colour.
    void clear();

    // The colour at (x, y), or InvalidColour outside 0..width-1, 0..height-1.
    Colour pixel(int x, int y) const {
        if (x < 0 || y < 0 || x >= m_image.width() || y >= m_image.height())
            return InvalidColour;
        const QRgb p = reinterpret_cast<const QRgb*>(m_image.constScanLine(y))[x];
        return rgbColour(qRed(p), qGreen(p), qBlue(p));
    }
    void setPixel(int x, int y, Colour c);

    // Replaces the contents with `picture`, resizing to its size; transparent
    // parts are composited onto the background colour.
    void assign(const QImage& picture);

    // The pixels, as 32-bit RGB, for showing on screen or bulk reading.
    const QImage& image() const { return m_image; }
    QImage& image() { return m_image; }

    static QRgb toQRgb(Colour c) { return qRgb(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF); }

private:
    QImage m_image;
    Colour m_back;
};

} // namespace zentraq
