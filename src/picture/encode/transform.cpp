#include "transform.h"

#include "runtime_error.h"

#include <QImageReader>

#include <algorithm>
#include <cstring>
#include <stdexcept>

namespace zentraq::rgbqumo {
namespace {

// Every result pixel's weights add up to this.
constexpr int WeightBits = 16;
constexpr std::int32_t WeightOne = 1 << WeightBits;

// a * b / c rounded to nearest, halves up; all non-negative.
long long scaleRounded(long long a, long long b, long long c) {
    return (2 * a * b + c) / (2 * c);
}

QSize orientedSize(QSize picture, Rotation rotation) {
    return rotation == Rotation::Clockwise90 || rotation == Rotation::Clockwise270
               ? picture.transposed()
               : picture;
}

// Where the picture goes on the canvas and which part of it.
struct Placement {
    QSize canvas;
    QRect source;
    QRect placed;
};

Placement place(QSize oriented, const Fitting& f) {
    const long long w = oriented.width(), h = oriented.height();
    if (!f.resize.isValid())
        return {oriented, QRect(QPoint(0, 0), oriented), QRect(QPoint(0, 0), oriented)};
    const long long W = f.resize.width(), H = f.resize.height();
    Placement p{f.resize, QRect(QPoint(0, 0), oriented), QRect(QPoint(0, 0), f.resize)};
    if (w == 0 || h == 0) {
        p.placed = QRect(); // nothing to show: a white canvas
        return p;
    }
    switch (f.fit) {
    case Fit::Stretch:
        break;
    case Fit::Contain: {
        long long pw = W, ph = H;
        if (w * H <= h * W) // taller than the canvas: full height
            pw = std::clamp(scaleRounded(w, H, h), 1LL, W);
        else
            ph = std::clamp(scaleRounded(h, W, w), 1LL, H);
        p.placed = QRect(int((W - pw) / 2), int((H - ph) / 2), int(pw), int(ph));
        break;
    }
    case Fit::Cover: {
        long long cw = w, ch = h;
        if (w * H > h * W) // wider than the canvas: cut left and right
            cw = std::clamp(scaleRounded(h, W, H), 1LL, w);
        else
            ch = std::clamp(scaleRounded(w, H, W), 1LL, h);
        p.source = QRect(int((w - cw) / 2), int((h - ch) / 2), int(cw), int(ch));
        break;
    }
    }
    return p;
}

} // namespace

std::optional<Rotation> parseRotation(QStringView text) {
    if (text == u"90")
        return Rotation::Clockwise90;
    if (text == u"180")
        return Rotation::Clockwise180;
    if (text == u"270")
        return Rotation::Clockwise270;
    return std::nullopt;
}

std::optional<Flip> parseFlip(QStringView text) {
    if (text == u"horizontal")
        return Flip::Horizontal;
    if (text == u"vertical")
        return Flip::Vertical;
    return std::nullopt;
}

std::optional<Fit> parseFit(QStringView text) {
    if (text == u"contain")
        return Fit::Contain;
    if (text == u"cover")
        return Fit::Cover;
    if (text == u"stretch")
        return Fit::Stretch;
    return std::nullopt;
}

FittedRows::FittedRows(const QImage& picture, const Fitting& fitting, bool keepAlpha)
    : m_alpha(keepAlpha), m_canvasColour(fitting.canvas | 0xFF000000),
      m_channels(keepAlpha ? 4 : 3) {
    if (fitting.resize.isValid() &&
        (!isValidFitSide(fitting.resize.width()) || !isValidFitSide(fitting.resize.height())))
        throw std::invalid_argument("resize side outside 1..32767");

    const QImage::Format f = picture.format();
    const bool eightBit = f == QImage::Format_Indexed8 || f == QImage::Format_Grayscale8;
    const bool direct = keepAlpha ? f == QImage::Format_RGB32 || f == QImage::Format_ARGB32
                                  : f == QImage::Format_RGB32 || f == QImage::Format_ARGB32 ||
                                        f == QImage::Format_ARGB32_Premultiplied;
    m_picture =
        direct || eightBit || picture.isNull()
            ? picture
            : picture.convertToFormat(keepAlpha ? QImage::Format_ARGB32 : QImage::Format_RGB32);
    if (!picture.isNull() && m_picture.isNull())
        throw RuntimeError::outOfMemory();
    if (eightBit) {
        // Every value's colour, opaque; values past an indexed picture's
        // table are black, as Qt shows them.
        m_bytes = m_picture.constBits();
        m_palette.assign(256, qRgb(0, 0, 0));
        const QList<QRgb> table = m_picture.colorTable();
        for (int i = 0; i < 256; ++i) {
            if (f == QImage::Format_Grayscale8)
                m_palette[std::size_t(i)] = qRgb(i, i, i);
            else if (i < table.size())
                m_palette[std::size_t(i)] = keepAlpha ? table[i] : table[i] | 0xFF000000;
        }
    } else {
        m_bits = reinterpret_cast<const QRgb*>(m_picture.constBits());
        m_opaqueBits = m_picture.format() == QImage::Format_RGB32;
    }

    // Pixel (x, y) of the rotated and flipped picture, as an index into the
    // source's pixels; linear in x and y.
    const long long w = m_picture.width(), h = m_picture.height();
    const long long stride = m_picture.isNull() ? 0 : m_picture.bytesPerLine() / (eightBit ? 1 : 4);
    const QSize oriented = orientedSize(m_picture.size(), fitting.rotation);
    const long long ow = oriented.width(), oh = oriented.height();
    auto indexOf = [&](long long x, long long y) {
        const long long u = fitting.flipHorizontal ? ow - 1 - x : x;
        const long long v = fitting.flipVertical ? oh - 1 - y : y;
        long long sx = u, sy = v;
        switch (fitting.rotation) {
        case Rotation::None:
            break;
        case Rotation::Clockwise90: // the left column becomes the top row
            sx = v;
            sy = h - 1 - u;
            break;
        case Rotation::Clockwise180:
            sx = w - 1 - u;
            sy = h - 1 - v;
            break;
        case Rotation::Clockwise270: // the right column becomes the top row
            sx = w - 1 - v;
            sy = u;
            break;
        }
        return sy * stride + sx;
    };
    m_origin = indexOf(0, 0);
    m_stepX = indexOf(1, 0) - m_origin;
    m_stepY = indexOf(0, 1) - m_origin;

    const Placement p = place(oriented, fitting);
    m_canvas = p.canvas;
    m_source = p.source;
    m_placed = p.placed;
    m_scaled = !m_placed.isEmpty() && m_placed.size() != m_source.size();
    if (m_scaled) {
        m_mapX = mapAxis(m_source.width(), m_placed.width());
        m_mapY = mapAxis(m_source.height(), m_placed.height());
        m_sums.resize(std::size_t(m_placed.width()) * std::size_t(m_channels));
        m_fetched.resize(std::size_t(m_source.width()));
    }
}

FittedRows::AxisMap FittedRows::mapAxis(long long in, int out) {
    AxisMap map;
    map.first.reserve(std::size_t(out) + 1);
    auto add = [&map](long long k, long long w) {
        if (w > 0) {
            map.index.push_back(int(k));
            map.weight.push_back(std::int32_t(w));
        }
    };
    for (long long i = 0; i < out; ++i) {
        map.first.push_back(int(map.index.size()));
        if (out <= in) {
            // Source pixel k spans [k * out, (k + 1) * out), result pixel i
            // spans [i * in, (i + 1) * in). Weights are the rounded running
            // total of the covered length, so they add up to WeightOne.
            const long long begin = i * in, end = (i + 1) * in;
            long long done = 0;
            for (long long k = begin / out; k * out < end; ++k) {
                const long long covered = std::min((k + 1) * out, end) - begin;
                const long long total = scaleRounded(covered, WeightOne, in);
                add(k, total - done);
                done = total;
            }
        } else {
            // The result pixel's centre in source pixels is
            // ((2i + 1) * in - out) / (2 * out), counted from the first
            // source pixel's centre.
            const long long num = (2 * i + 1) * in - out, den = 2 * out;
            const long long k = num <= 0 ? 0 : num / den;
            if (num <= 0 || k >= in - 1) {
                add(num <= 0 ? 0 : in - 1, WeightOne);
                continue;
            }
            const long long upper = scaleRounded(num - k * den, WeightOne, den);
            add(k, WeightOne - upper);
            add(k + 1, upper);
        }
    }
    map.first.push_back(int(map.index.size()));
    return map;
}

void FittedRows::fetchSourceRow(long long y, QRgb* out) {
    const int count = m_source.width();
    if (m_stepX == 1 || m_stepX == -1) {
        long long at = m_origin + m_source.x() * m_stepX + y * m_stepY;
        if (m_stepX == 1 && m_bits) {
            std::memcpy(out, m_bits + at, std::size_t(count) * sizeof(QRgb));
            return;
        }
        for (int i = 0; i < count; ++i, at += m_stepX)
            out[i] = pixelAt(at);
        return;
    }
    // Turned a quarter: a row is a column of the picture. Reading a strip of
    // rows at once reads each line of the picture's memory once per strip
    // instead of once per row.
    if (m_stripFirst < 0 || y < m_stripFirst || y >= m_stripFirst + StripRows) {
        m_stripFirst = y;
        const long long rows = std::min<long long>(StripRows, m_source.bottom() + 1 - y);
        m_strip.resize(std::size_t(StripRows) * std::size_t(count));
        for (int i = 0; i < count; ++i) {
            long long at = m_origin + (m_source.x() + i) * m_stepX + y * m_stepY;
            for (long long r = 0; r < rows; ++r, at += m_stepY)
                m_strip[std::size_t(r) * std::size_t(count) + std::size_t(i)] = pixelAt(at);
        }
    }
    std::memcpy(out, &m_strip[std::size_t(y - m_stripFirst) * std::size_t(count)],
                std::size_t(count) * sizeof(QRgb));
}

// Source row `sourceRow` of the source rectangle, scaled across: three sums
// per result pixel (four with alpha: the colours premultiplied), weighted by
// WeightOne in all.
const std::vector<std::int32_t>& FittedRows::scaledRow(long long sourceRow) {
    for (const CachedRow& c : m_cache)
        if (c.row == sourceRow)
            return c.sums;
    CachedRow& c = m_cache[m_nextCache];
    m_nextCache ^= 1;
    c.row = sourceRow;
    c.sums.resize(std::size_t(m_placed.width()) * std::size_t(m_channels));
    fetchSourceRow(m_source.y() + sourceRow, m_fetched.data());
    if (m_alpha) {
        for (int i = 0; i < m_placed.width(); ++i) {
            std::int32_t r = 0, g = 0, b = 0, a = 0;
            for (int e = m_mapX.first[i]; e < m_mapX.first[i + 1]; ++e) {
                QRgb p = m_fetched[std::size_t(m_mapX.index[e])];
                if (m_opaqueBits)
                    p |= 0xFF000000;
                const std::int32_t w = m_mapX.weight[e];
                const int alpha = qAlpha(p);
                r += w * ((qRed(p) * alpha + 127) / 255);
                g += w * ((qGreen(p) * alpha + 127) / 255);
                b += w * ((qBlue(p) * alpha + 127) / 255);
                a += w * alpha;
            }
            std::int32_t* s = &c.sums[std::size_t(i) * 4];
            s[0] = r;
            s[1] = g;
            s[2] = b;
            s[3] = a;
        }
        return c.sums;
    }
    for (int i = 0; i < m_placed.width(); ++i) {
        std::int32_t r = 0, g = 0, b = 0;
        for (int e = m_mapX.first[i]; e < m_mapX.first[i + 1]; ++e) {
            const QRgb p = m_fetched[std::size_t(m_mapX.index[e])];
            const std::int32_t w = m_mapX.weight[e];
            r += w * qRed(p);
            g += w * qGreen(p);
            b += w * qBlue(p);
        }
        c.sums[std::size_t(i) * 3] = r;
        c.sums[std::size_t(i) * 3 + 1] = g;
        c.sums[std::size_t(i) * 3 + 2] = b;
    }
    return c.sums;
}

bool FittedRows::readRow(QRgb* out) {
    if (m_row >= m_canvas.height())
        return false;
    const int y = m_row++;
    const QRgb canvas = m_alpha ? 0 : m_canvasColour;
    if (y < m_placed.top() || y > m_placed.bottom()) {
        std::fill(out, out + m_canvas.width(), canvas);
        return true;
    }
    std::fill(out, out + m_placed.left(), canvas);
    std::fill(out + m_placed.left() + m_placed.width(), out + m_canvas.width(), canvas);
    QRgb* placed = out + m_placed.left();
    const int row = y - m_placed.top();
    if (!m_scaled) {
        fetchSourceRow(m_source.y() + row, placed);
        if (!m_alpha || m_opaqueBits)
            for (int i = 0; i < m_source.width(); ++i)
                placed[i] |= 0xFF000000; // opaque, whatever alpha the picture had
        return true;
    }

    std::fill(m_sums.begin(), m_sums.end(), 0);
    for (int e = m_mapY.first[row]; e < m_mapY.first[row + 1]; ++e) {
        const std::vector<std::int32_t>& sums = scaledRow(m_mapY.index[e]);
        const std::int64_t w = m_mapY.weight[e];
        for (std::size_t k = 0; k < m_sums.size(); ++k)
            m_sums[k] += w * sums[k];
    }
    constexpr std::int64_t Half = std::int64_t(1) << (2 * WeightBits - 1);
    if (m_alpha) {
        for (int i = 0; i < m_placed.width(); ++i) {
            const std::int64_t* s = &m_sums[std::size_t(i) * 4];
            const int a = int((s[3] + Half) >> (2 * WeightBits));
            if (s[3] == 0) {
                placed[i] = 0;
                continue;
            }
            // Colour = premultiplied sum * 255 / alpha sum, rounded.
            auto channel = [&](std::int64_t v) {
                return int(std::min<std::int64_t>(255, (2 * v * 255 + s[3]) / (2 * s[3])));
            };
            placed[i] = qRgba(channel(s[0]), channel(s[1]), channel(s[2]), a);
        }
        return true;
    }
    for (int i = 0; i < m_placed.width(); ++i) {
        const std::int64_t* s = &m_sums[std::size_t(i) * 3];
        placed[i] =
            qRgb(int((s[0] + Half) >> (2 * WeightBits)), int((s[1] + Half) >> (2 * WeightBits)),
                 int((s[2] + Half) >> (2 * WeightBits)));
    }
    return true;
}

void FittedPixels::read(int y, int x, int count, QRgb* out) {
    if (y == 0 && m_next != 0) {
        m_rows = FittedRows(m_picture, m_fitting, m_alpha);
        m_next = 0;
    }
    if (y != m_next || x != 0 || count != width() || !m_rows.readRow(out))
        throw std::logic_error("fitted rows are read whole, from the top");
    ++m_next;
}

QImage fitPicture(const QImage& picture, const Fitting& fitting) {
    FittedRows rows(picture, fitting);
    const long long bytes = 4LL * rows.width() * rows.height();
    const long long limit = 1024LL * 1024 * QImageReader::allocationLimit();
    if (limit > 0 && bytes > limit)
        throw RuntimeError(RuntimeError::Other,
                           QStringLiteral("a %1x%2 picture needs %3 MiB, more than the %4 MiB "
                                          "allowed for one picture")
                               .arg(rows.width())
                               .arg(rows.height())
                               .arg((bytes + (1 << 20) - 1) >> 20)
                               .arg(QImageReader::allocationLimit()));
    QImage result(rows.size(), QImage::Format_RGB32);
    if (result.isNull() && !rows.size().isEmpty())
        throw RuntimeError::outOfMemory();
    for (int y = 0; y < result.height(); ++y)
        rows.readRow(reinterpret_cast<QRgb*>(result.scanLine(y)));
    return result;
}

} // namespace zentraq::rgbqumo
