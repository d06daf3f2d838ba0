#pragma once

// A reader of TFT_eSPI smooth fonts (vlw), written from the format's
// description: six big-endian 32-bit words (glyph count, version, size,
// unused, ascent, descent), seven words a glyph (code, height, width,
// advance, dY from the base line up to the bitmap's top, dX from the cursor
// to its left, padding), then the 8-bit alpha bitmaps in glyph order. It
// draws a text as the tool's samples are drawn: lines ascent + descent rows
// high, the base line `ascent` rows down, the cursor moved by each glyph's
// advance, black on white.

#include <QByteArray>
#include <QImage>
#include <QString>

#include <algorithm>
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
    int ascent = 0, descent = 0, size = 0, version = 0;
    std::vector<VlwGlyph> glyphs;
    QByteArray bytes;

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
    f.bytes = bytes;
    const int count = word(0);
    f.version = word(4);
    f.size = word(8);
    f.ascent = word(16);
    f.descent = word(20);
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

inline QImage drawVlw(const VlwFont& f, const QString& text) {
    struct Placed {
        const VlwGlyph* g;
        int x, line;
    };
    std::vector<Placed> placed;
    int left = 0, right = 0, line = 0, pen = 0;
    for (const uint cp : text.toUcs4()) {
        if (cp == '\n') {
            ++line;
            pen = 0;
            continue;
        }
        const VlwGlyph* g = f.find(cp);
        if (!g)
            continue;
        if (g->width > 0 && g->height > 0) {
            left = std::min(left, pen + g->dX);
            right = std::max(right, pen + g->dX + g->width);
        }
        placed.push_back({g, pen + g->dX, line});
        pen += g->advance;
        right = std::max(right, pen);
    }
    const int rows = std::max(1, f.ascent + f.descent);
    QImage picture(std::max(1, right - left), rows * (line + 1), QImage::Format_Grayscale8);
    picture.fill(255);
    for (const Placed& p : placed) {
        const auto* alpha =
            reinterpret_cast<const unsigned char*>(f.bytes.constData()) + p.g->bitmap;
        for (int y = 0; y < p.g->height; ++y) {
            uchar* row = picture.scanLine(p.line * rows + f.ascent - p.g->dY + y);
            for (int x = 0; x < p.g->width; ++x) {
                uchar& px = row[p.x - left + x];
                px = std::min<uchar>(px, uchar(255 - alpha[y * p.g->width + x]));
            }
        }
    }
    return picture;
}

} // namespace zentraq::testing
