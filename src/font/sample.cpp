#include "sample.h"

#include "fonterror.h"
#include "vlwfont.h"

#include <QChar>
#include <QImageReader>

#include <algorithm>
#include <climits>

namespace zentraq::font {
namespace {

// What is drawn where: a glyph of the set with the top left of its ink box at
// (x, y), or the outline of a box; positions from the first pen position at
// the top of the first line.
struct Mark {
    const Glyph* glyph = nullptr; // nullptr: a box outline
    qint64 x = 0, y = 0;
    qint64 width = 0, height = 0;
};

struct Layout {
    std::vector<Mark> marks;
    qint64 left = 0, top = 0, right = 0, bottom = 0;

    void ink(qint64 x, qint64 y, qint64 w, qint64 h) {
        if (w <= 0 || h <= 0)
            return;
        left = std::min(left, x);
        top = std::min(top, y);
        right = std::max(right, x + w);
        bottom = std::max(bottom, y + h);
    }
};

// The picture of `layout`, after the limit is checked. `cover`: a mark's ink
// replaces what is under it (TFT_eSPI); otherwise the darker one shows.
QImage paint(const GlyphSet& set, const Layout& layout, bool cover) {
    const qint64 width = std::max<qint64>(1, layout.right - layout.left);
    const qint64 height = std::max<qint64>(1, layout.bottom - layout.top);
    const qint64 limit = sampleLimit();
    if (width > INT_MAX || height > INT_MAX || width * height > limit)
        requestError(QStringLiteral("the sample would be %1 x %2 pixels, more than the %3 pixels "
                                    "(%4 MiB) the picture reader takes; give a shorter --sample "
                                    "or a smaller size")
                         .arg(width)
                         .arg(height)
                         .arg(limit)
                         .arg(QImageReader::allocationLimit()));
    QImage picture(int(width), int(height), QImage::Format_Grayscale8);
    if (picture.isNull())
        fontFailure(QStringLiteral("there is not enough memory for a sample of %1 x %2 pixels")
                        .arg(width)
                        .arg(height));
    picture.fill(255);
    const int max = set.maxLevel();
    for (const Mark& m : layout.marks) {
        const qint64 x0 = m.x - layout.left, y0 = m.y - layout.top;
        if (!m.glyph) {
            for (qint64 y = 0; y < m.height; ++y) {
                uchar* row = picture.scanLine(int(y0 + y));
                const bool edge = y == 0 || y == m.height - 1;
                for (qint64 x = 0; x < m.width; ++x)
                    if (edge || x == 0 || x == m.width - 1)
                        row[x0 + x] = 0;
            }
            continue;
        }
        const Glyph& g = *m.glyph;
        const std::uint8_t* s = set.samplesOf(g);
        for (int y = 0; y < g.height; ++y) {
            uchar* row = picture.scanLine(int(y0 + y));
            for (int x = 0; x < g.width; ++x) {
                const int alpha = s[y * g.width + x] * 255 / max;
                uchar& px = row[x0 + x];
                if (cover)
                    px = alpha ? uchar(255 - alpha) : px;
                else
                    px = uchar(std::min(int(px), 255 - alpha));
            }
        }
    }
    return picture;
}

// The codes TFT_eSPI's decodeUTF8 reads from `text`'s UTF-8: sequences of
// two and three bytes, and any other byte as itself.
std::vector<char32_t> tftCodes(QStringView text) {
    const QByteArray b = text.toUtf8();
    std::vector<char32_t> out;
    for (qsizetype i = 0; i < b.size();) {
        const unsigned c = uchar(b[i++]);
        const qsizetype remaining = b.size() - i + 1;
        if ((c & 0xE0) == 0xC0 && remaining > 1) {
            out.push_back(char32_t((c & 0x1F) << 6 | (uchar(b[i++]) & 0x3F)));
        } else if ((c & 0xF0) == 0xE0 && remaining > 2) {
            const unsigned v = (c & 0x0F) << 12 | (uchar(b[i]) & 0x3F) << 6;
            out.push_back(char32_t((v | (uchar(b[i + 1]) & 0x3F)) & 0xFFFF));
            i += 2;
        } else {
            out.push_back(c);
        }
    }
    return out;
}

} // namespace

qint64 sampleLimit() {
    const int mb = QImageReader::allocationLimit();
    return mb > 0 ? (qint64(mb) << 20) / 4 : qint64(INT_MAX);
}

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

    const qint64 lineRows = std::max(1, ascent - descent);
    Layout layout;
    layout.bottom = lineRows * qint64(lines.size());
    for (std::size_t l = 0; l < lines.size(); ++l) {
        qint64 pen = 0;
        const std::vector<std::size_t>& line = lines[l];
        for (std::size_t k = 0; k < line.size(); ++k) {
            const Glyph& g = set.glyphs[line[k]];
            const Mark m{&g, pen + g.left, qint64(l) * lineRows + ascent - g.top, g.width,
                         g.height};
            layout.ink(m.x, 0, m.width, m.height > 0 ? 1 : 0);
            layout.marks.push_back(m);
            pen += advance(line[k], k + 1 < line.size() ? long(line[k + 1]) : -1);
        }
        layout.right = std::max(layout.right, pen);
    }
    result.picture = paint(set, layout, false);
    return result;
}

Sample drawVlwSample(const GlyphSet& set, int ascent, int descent, QStringView text) {
    Sample result;
    // TFT_eSPI's loadFont: the line from the header and the glyphs' depth.
    qint64 maxDescent = descent;
    for (const Glyph& g : set.glyphs) {
        const bool counted = (g.code > 0x20 && g.code < 0xA0 && g.code != 0x7F) || g.code > 0xFF;
        if (counted)
            maxDescent = std::max<qint64>(maxDescent, g.height - g.top);
    }
    const qint64 lineRows = ascent + maxDescent;
    const qint64 spaceWidth = qint64(ascent + descent) * 2 / 7;

    Layout layout;
    qint64 x = 0, y = 0;
    for (const char32_t code : tftCodes(text)) {
        if (code == 0x20) {
            x += spaceWidth;
            layout.right = std::max(layout.right, x);
        } else if (code == U'\n') {
            x = 0;
            y += lineRows;
        } else if (const Glyph* g = set.find(code)) {
            if (x == 0)
                x -= g->left;
            const Mark m{g, x + g->left, y + ascent - g->top, g->width, g->height};
            layout.ink(m.x, m.y, m.width, m.height);
            layout.marks.push_back(m);
            x += vlwAdvance(*g);
        } else {
            const Mark m{nullptr, x, y, spaceWidth, ascent};
            layout.ink(m.x, m.y, m.width, m.height);
            layout.marks.push_back(m);
            x += spaceWidth + 1;
            layout.right = std::max(layout.right, x);
            ++result.missing;
        }
    }
    layout.bottom = std::max(layout.bottom, y + lineRows);
    result.picture = paint(set, layout, true);
    return result;
}

} // namespace zentraq::font
