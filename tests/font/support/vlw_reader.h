#pragma once

// A reader of TFT_eSPI smooth fonts (vlw), written from the format's
// description: six big-endian 32-bit words (glyph count, version, size,
// unused, ascent, descent), seven words a glyph (code, height, width,
// advance, dY from the base line up to the bitmap's top, dX from the cursor
// to its left, padding), then the 8-bit alpha bitmaps in glyph order; the
// reader keeps the glyphs. And a port of TFT_eSPI's own drawing of such a
// font, to judge the tool's samples by.

#include <QByteArray>
#include <QImage>
#include <QString>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <optional>
#include <vector>

namespace zentraq::testing {

struct VlwGlyph {
    std::uint32_t code;
    int height, width, advance, dY, dX;
    qsizetype bitmap; // offset in the file
};

struct VlwFont {
    std::vector<VlwGlyph> glyphs;

    const VlwGlyph* find(std::uint32_t code) const {
        for (const VlwGlyph& g : glyphs)
            if (g.code == code)
                return &g;
        return nullptr;
    }
};

inline std::optional<VlwFont> readVlw(const QByteArray& bytes) {
    const auto word = [&](qsizetype at) {
        const auto* b = reinterpret_cast<const unsigned char*>(bytes.constData()) + at;
        return std::int32_t(std::uint32_t(b[0]) << 24 | std::uint32_t(b[1]) << 16 |
                            std::uint32_t(b[2]) << 8 | b[3]);
    };
    if (bytes.size() < 24)
        return std::nullopt;
    VlwFont f;
    const int count = word(0);
    qsizetype bitmap = 24 + 28 * qsizetype(count);
    if (count < 0 || bitmap > bytes.size())
        return std::nullopt;
    for (int i = 0; i < count; ++i) {
        const qsizetype at = 24 + 28 * qsizetype(i);
        VlwGlyph g{std::uint32_t(word(at)), word(at + 4),  word(at + 8), word(at + 12),
                   word(at + 16),           word(at + 20), bitmap};
        bitmap += qsizetype(g.width) * g.height;
        if (bitmap > bytes.size())
            return std::nullopt;
        f.glyphs.push_back(g);
    }
    return f;
}

// A port of TFT_eSPI's drawing of smooth fonts (from its public source,
// Extensions/Smooth_font.cpp: loadFont, loadMetrics, drawGlyph; TFT_eSPI.cpp:
// drawString with the top-left datum, decodeUTF8, drawRect), the pen and the
// pixels as the library has them, onto a white grayscale screen with black
// ink: a coverage of 255 is black, a smaller one 255 - alpha, 0 is not
// drawn. Text wrapping (textwrapX) is off, as on a screen wide enough. The
// screen's (0, 0) is at (originX, originY) of the picture, so that ink left
// of or above it is kept.
class TftScreen {
public:
    TftScreen(int width, int height, int originX = 0, int originY = 0)
        : m_screen(width, height, QImage::Format_Grayscale8), m_originX(originX),
          m_originY(originY) {
        m_screen.fill(255);
    }

    void loadFont(const QByteArray& vlw) {
        m_file = vlw;
        m_at = 0;
        gCount = std::uint16_t(readInt32());
        readInt32();
        yAdvance = std::uint16_t(readInt32());
        readInt32();
        ascent = std::int16_t(std::uint16_t(readInt32()));
        descent = std::int16_t(std::uint16_t(readInt32()));
        maxAscent = std::uint16_t(ascent);
        maxDescent = std::uint16_t(descent);
        yAdvance = std::uint16_t(ascent + descent);
        spaceWidth = yAdvance / 4;
        std::uint32_t bitmapPtr = 24 + std::uint32_t(gCount) * 28;
        for (std::uint16_t n = 0; n < gCount; ++n) {
            gUnicode.push_back(std::uint16_t(readInt32()));
            gHeight.push_back(std::uint8_t(readInt32()));
            gWidth.push_back(std::uint8_t(readInt32()));
            gxAdvance.push_back(std::uint8_t(readInt32()));
            gdY.push_back(std::int16_t(readInt32()));
            gdX.push_back(std::int8_t(readInt32()));
            readInt32();
            if ((std::int16_t(gHeight[n]) - std::int16_t(gdY[n])) > maxDescent) {
                if ((gUnicode[n] > 0x20 && gUnicode[n] < 0xA0 && gUnicode[n] != 0x7F) ||
                    gUnicode[n] > 0xFF)
                    maxDescent = std::uint16_t(gHeight[n] - gdY[n]);
            }
            gBitmap.push_back(bitmapPtr);
            bitmapPtr += std::uint32_t(gWidth[n]) * gHeight[n];
        }
        yAdvance = std::uint16_t(maxAscent + maxDescent);
        spaceWidth = std::uint16_t((ascent + descent) * 2 / 7);
    }

    void drawString(const QByteArray& string, std::int32_t poX, std::int32_t poY) {
        cursor_x = poX;
        cursor_y = poY;
        const std::uint16_t len = std::uint16_t(string.size());
        std::uint16_t n = 0;
        while (n < len)
            drawGlyph(decodeUTF8(reinterpret_cast<const std::uint8_t*>(string.constData()), &n,
                                 std::uint16_t(len - n)));
    }

    const QImage& screen() const { return m_screen; }
    // The drawn pixels' extent, and the furthest the pen went.
    int inkLeft = INT_MAX, inkTop = INT_MAX, inkRight = INT_MIN, inkBottom = INT_MIN;
    std::int32_t penRight = INT_MIN;
    std::int32_t cursor_x = 0, cursor_y = 0;
    std::uint16_t yAdvance = 0, spaceWidth = 0;

private:
    std::uint32_t readInt32() {
        std::uint32_t val = 0;
        for (int i = 0; i < 4; ++i)
            val = val << 8 | (m_at < m_file.size() ? std::uint8_t(m_file[m_at++]) : 0u);
        return val;
    }

    std::uint16_t decodeUTF8(const std::uint8_t* buf, std::uint16_t* index,
                             std::uint16_t remaining) {
        std::uint16_t c = buf[(*index)++];
        if ((c & 0x80) == 0x00)
            return c;
        if (((c & 0xE0) == 0xC0) && (remaining > 1))
            return std::uint16_t(((c & 0x1F) << 6) | (buf[(*index)++] & 0x3F));
        if (((c & 0xF0) == 0xE0) && (remaining > 2)) {
            c = std::uint16_t(((c & 0x0F) << 12) | ((buf[(*index)++] & 0x3F) << 6));
            return std::uint16_t(c | (buf[(*index)++] & 0x3F));
        }
        return c;
    }

    bool getUnicodeIndex(std::uint16_t unicode, std::uint16_t* index) const {
        for (std::uint16_t i = 0; i < gCount; i++) {
            if (gUnicode[i] == unicode) {
                *index = i;
                return true;
            }
        }
        return false;
    }

    void drawPixel(std::int32_t x, std::int32_t y, std::uint8_t grey) {
        const std::int32_t px = x + m_originX, py = y + m_originY;
        if (px < 0 || py < 0 || px >= m_screen.width() || py >= m_screen.height())
            return;
        m_screen.scanLine(py)[px] = grey;
        inkLeft = std::min(inkLeft, int(x));
        inkRight = std::max(inkRight, int(x) + 1);
        inkTop = std::min(inkTop, int(y));
        inkBottom = std::max(inkBottom, int(y) + 1);
    }
    void drawFastHLine(std::int32_t x, std::int32_t y, std::int32_t w, std::uint8_t grey) {
        for (std::int32_t i = 0; i < w; ++i)
            drawPixel(x + i, y, grey);
    }
    void drawFastVLine(std::int32_t x, std::int32_t y, std::int32_t h, std::uint8_t grey) {
        for (std::int32_t i = 0; i < h; ++i)
            drawPixel(x, y + i, grey);
    }
    void drawRect(std::int32_t x, std::int32_t y, std::int32_t w, std::int32_t h,
                  std::uint8_t grey) {
        drawFastHLine(x, y, w, grey);
        drawFastHLine(x, y + h - 1, w, grey);
        drawFastVLine(x, y + 1, h - 2, grey);
        drawFastVLine(x + w - 1, y + 1, h - 2, grey);
    }

    void drawGlyph(std::uint16_t code) {
        const std::uint8_t fg = 0;
        if (code < 0x21) {
            if (code == 0x20) {
                cursor_x += spaceWidth;
                penRight = std::max(penRight, cursor_x); // what textWidth counts
                return;
            }
            if (code == '\n') {
                cursor_x = 0;
                cursor_y += yAdvance;
                return;
            }
        }
        std::uint16_t gNum = 0;
        if (getUnicodeIndex(code, &gNum)) {
            if (cursor_x == 0)
                cursor_x -= gdX[gNum];
            const std::int16_t cy = std::int16_t(cursor_y + maxAscent - gdY[gNum]);
            const std::int16_t cx = std::int16_t(cursor_x + gdX[gNum]);
            const auto* bitmap = reinterpret_cast<const std::uint8_t*>(m_file.constData());
            for (std::int32_t y = 0; y < gHeight[gNum]; y++) {
                for (std::int32_t x = 0; x < gWidth[gNum]; x++) {
                    const std::uint8_t pixel = bitmap[gBitmap[gNum] + x + gWidth[gNum] * y];
                    if (pixel)
                        drawPixel(x + cx, y + cy, pixel == 0xFF ? fg : std::uint8_t(255 - pixel));
                }
            }
            cursor_x += gxAdvance[gNum];
        } else {
            drawRect(cursor_x, cursor_y + maxAscent - ascent, spaceWidth, ascent, fg);
            cursor_x += spaceWidth + 1;
            penRight = std::max(penRight, cursor_x);
        }
    }

    QImage m_screen;
    int m_originX = 0, m_originY = 0;
    QByteArray m_file;
    qsizetype m_at = 0;
    std::uint16_t gCount = 0, maxAscent = 0, maxDescent = 0;
    std::int16_t ascent = 0, descent = 0;
    std::vector<std::uint16_t> gUnicode;
    std::vector<std::uint8_t> gHeight, gWidth, gxAdvance;
    std::vector<std::int16_t> gdY;
    std::vector<std::int8_t> gdX;
    std::vector<std::uint32_t> gBitmap;
};

// `text` drawn by the port at the screen's corner, on a screen with room on
// every side, cut to the pixels it drew, the pen's start and its furthest
// point after a space or a box (as textWidth counts the last glyph by its
// ink), and the lines' full height: the picture the tool's --sample-output
// gives for a vlw font.
inline QImage drawVlw(const QByteArray& vlw, const QString& text, int margin = 200) {
    TftScreen probe(1, 1);
    probe.loadFont(vlw);
    const int lines = int(text.count(u'\n')) + 1;
    TftScreen tft(2 * margin + 64 * int(text.size()), 2 * margin + lines * probe.yAdvance, margin,
                  margin);
    tft.loadFont(vlw);
    tft.drawString(text.toUtf8(), 0, 0);
    const int left = std::min(0, tft.inkLeft);
    const int top = std::min(0, tft.inkTop);
    const int right = std::max({0, tft.inkRight, int(tft.penRight)});
    const int bottom = std::max(lines * int(tft.yAdvance), tft.inkBottom);
    return tft.screen().copy(left + margin, top + margin, std::max(1, right - left),
                             std::max(1, bottom - top));
}

} // namespace zentraq::testing
