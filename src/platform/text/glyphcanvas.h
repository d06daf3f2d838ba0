#pragma once

#include "surface.h"
#include "textrenderer.h"

#include <QStringView>

#include <functional>
#include <memory>

namespace zentraq {

// The glyph canvas: a persistent pixel store that characters are printed into
// one bit deep and read back pixel by pixel. Background pure red, ink in the
// foreground colour, no border (the drawable area is exactly width x height),
// pixel coordinates with the origin at the top-left corner.
//
// It either owns its surface (headless use) or draws into a surface that a
// widget shows (the window's Picture1).
class GlyphCanvas {
public:
    static constexpr Colour DefaultBackColor = rgbColour(255, 0, 0);
    static constexpr Colour DefaultForeColor = rgbColour(0, 0, 0);
    static constexpr int DefaultSize = 25;

    // A canvas with a surface of its own: 25 x 25, red, black ink.
    explicit GlyphCanvas(text::TextRenderer* renderer = nullptr);
    // A canvas drawing into `surface`, which the caller keeps alive; its size
    // and background colour are the surface's.
    explicit GlyphCanvas(Surface& surface, text::TextRenderer* renderer = nullptr);

    GlyphCanvas(const GlyphCanvas&) = delete;
    GlyphCanvas& operator=(const GlyphCanvas&) = delete;

    // Size in pixels. Setting a side keeps the drawing where it still fits;
    // new area shows the background. Negative sizes count as 0.
    void setWidth(int width);
    void setHeight(int height);
    int width() const { return m_surface->width(); }
    int height() const { return m_surface->height(); }

    // Font size in points; drawn at points * 96 / 72 pixels.
    void setFontSize(float points);
    float fontSize() const { return m_fontSize; }
    int pixelSize() const { return text::pointsToPixels(m_fontSize); }

    // Fills the canvas with the background colour and puts the drawing
    // position at the origin.
    void clear();

    // The drawing position: the top-left corner of the next character's cell.
    int CurrentX() const { return m_x; }
    int CurrentY() const { return m_y; }
    void setCurrentX(int x) { m_x = x; }
    void setCurrentY(int y) { m_y = y; }

    // Draws the character `cp` with its cell's top-left corner at the drawing
    // position, then moves the position right by the character's advance.
    // Only ink pixels change, to the foreground colour; what falls outside the
    // canvas is lost.
    void Print(char32_t cp);
    // Draws each character of `text` in turn; a surrogate pair is one
    // character.
    void Print(QStringView text);

    // The colour of pixel (x, y) as 0x00BBGGRR, or -1 outside the canvas.
    Colour GetPixel(int x, int y) const { return m_surface->pixel(x, y); }

    Colour BackColor() const { return m_surface->backColour(); }
    void setBackColor(Colour c) { m_surface->setBackColour(c); }
    Colour ForeColor() const { return m_fore; }
    void setForeColor(Colour c) { m_fore = c; }

    const Surface& surface() const { return *m_surface; }
    Surface& surface() { return *m_surface; }
    text::TextRenderer& renderer() const { return *m_renderer; }

    // Called after every size change with the new width and height, so a
    // widget showing the surface can follow.
    void setResizeHandler(std::function<void(int, int)> handler) {
        m_onResize = std::move(handler);
    }

private:
    void resized();

    std::unique_ptr<Surface> m_own;
    Surface* m_surface;
    text::TextRenderer* m_renderer;
    Colour m_fore = DefaultForeColor;
    float m_fontSize = 7.5f; // the window font's size until a size button sets it
    int m_x = 0;
    int m_y = 0;
    std::function<void(int, int)> m_onResize;
};

// Decodes the character starting at `text[i]`: a surrogate pair gives one
// code point and advances i by two; anything else, an unpaired surrogate
// included, is one code unit.
char32_t nextCharacter(QStringView text, qsizetype& i);

} // namespace zentraq
