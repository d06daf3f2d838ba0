#include "sample.h"

#include <QChar>

#include <algorithm>
#include <climits>

namespace zentraq::font {

Sample drawSample(const GlyphSet& set, QStringView text, const PenAdvance& advance) {
    return drawSample(set, text, advance, set.ascent(), set.descent());
}

Sample drawSample(const GlyphSet& set, QStringView text, const PenAdvance& advance, int ascent,
                  int descent) {
    Sample result;
    // The text as lines of glyph positions.
    std::vector<std::vector<std::size_t>> lines(1);
    for (qsizetype i = 0; i < text.size(); ++i) {
        char32_t cp = text[i].unicode();
        if (QChar::isHighSurrogate(cp) && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
            cp = QChar::surrogateToUcs4(text[i].unicode(), text[i + 1].unicode());
            ++i;
        }
        if (cp == U'\n') {
            lines.emplace_back();
            continue;
        }
        const Glyph* g = set.find(cp);
        if (!g) {
            ++result.missing;
            continue;
        }
        lines.back().push_back(std::size_t(g - set.glyphs.data()));
    }

    struct Placed {
        std::size_t glyph;
        int x; // the ink box's left column
        int line;
    };
    std::vector<Placed> placed;
    int left = 0, right = 0;
    for (std::size_t l = 0; l < lines.size(); ++l) {
        int pen = 0;
        const std::vector<std::size_t>& line = lines[l];
        for (std::size_t k = 0; k < line.size(); ++k) {
            const Glyph& g = set.glyphs[line[k]];
            const int x = pen + g.left;
            if (g.width > 0 && g.height > 0) {
                left = std::min(left, x);
                right = std::max(right, x + g.width);
            }
            placed.push_back({line[k], x, int(l)});
            pen += advance(line[k], k + 1 < line.size() ? long(line[k + 1]) : -1);
        }
        right = std::max(right, pen);
    }

    const int lineRows = std::max(1, ascent - descent);
    const int width = std::max(1, right - left);
    QImage picture(width, lineRows * int(lines.size()), QImage::Format_Grayscale8);
    picture.fill(255);
    const int max = set.maxLevel();
    for (const Placed& p : placed) {
        const Glyph& g = set.glyphs[p.glyph];
        const std::uint8_t* s = set.samplesOf(g);
        const int top = p.line * lineRows + ascent - g.top;
        for (int y = 0; y < g.height; ++y) {
            if (top + y < 0 || top + y >= picture.height())
                continue;
            uchar* row = picture.scanLine(top + y);
            for (int x = 0; x < g.width; ++x) {
                const int alpha = s[y * g.width + x] * 255 / max;
                uchar& px = row[p.x - left + x];
                px = uchar(std::min<int>(px, 255 - alpha));
            }
        }
    }
    result.picture = std::move(picture);
    return result;
}

} // namespace zentraq::font
