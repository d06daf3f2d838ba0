#include "palette.h"

#include "encode.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <stdexcept>

namespace zentraq::rgbqumo {
namespace {

using Colour4 = std::array<int, 4>;

int distance(const Colour4& a, const Colour4& b) {
    int d = 0;
    for (int c = 0; c < 4; ++c)
        d += (a[std::size_t(c)] - b[std::size_t(c)]) * (a[std::size_t(c)] - b[std::size_t(c)]);
    return d;
}

QRgb unpremultiplied(const Colour4& c) {
    const int a = c[3];
    if (a == 0)
        return 0;
    auto channel = [a](int v) { return std::min(255, (v * 255 + a / 2) / a); };
    return qRgba(channel(c[0]), channel(c[1]), channel(c[2]), a);
}

// The exact sums of the pixels that fall into one cell.
struct Sums {
    std::int64_t count = 0;
    std::int64_t sum[4] = {};
    std::int64_t squares = 0; // of every pixel's four channels

    void add(const Colour4& c, std::int64_t n) {
        count += n;
        for (int k = 0; k < 4; ++k) {
            sum[k] += c[std::size_t(k)] * n;
            squares += std::int64_t(c[std::size_t(k)]) * c[std::size_t(k)] * n;
        }
    }
    void add(const Sums& o) {
        count += o.count;
        for (int k = 0; k < 4; ++k)
            sum[k] += o.sum[k];
        squares += o.squares;
    }
    Colour4 mean() const {
        Colour4 m{};
        for (int k = 0; k < 4; ++k)
            m[std::size_t(k)] = int((sum[k] * 2 + count) / (count * 2));
        return m;
    }
    // Sum of squared distances to the mean.
    double error() const {
        double s2 = 0;
        for (int k = 0; k < 4; ++k)
            s2 += double(sum[k]) * double(sum[k]);
        return double(squares) - s2 / double(count);
    }
    // What the mean saves: |sum|^2 / count.
    double weight() const {
        double s2 = 0;
        for (int k = 0; k < 4; ++k)
            s2 += double(sum[k]) * double(sum[k]);
        return s2 / double(count);
    }
};

std::uint32_t cellKey(const Colour4& c, int shift) {
    return std::uint32_t(c[0] >> shift) << 24 | std::uint32_t(c[1] >> shift) << 16 |
           std::uint32_t(c[2] >> shift) << 8 | std::uint32_t(c[3] >> shift);
}

} // namespace

std::array<int, 4> premultiplied(QRgb p) {
    const int a = qAlpha(p);
    return {(qRed(p) * a + 127) / 255, (qGreen(p) * a + 127) / 255, (qBlue(p) * a + 127) / 255, a};
}

// Colours gathered into cells: an open-addressed table of at most MaxCells,
// the channels cut by `shift` bits when more would be needed.
struct PaletteBuilder::Cells {
    static constexpr std::size_t MaxCells = std::size_t(1) << 16;
    int shift = 0;
    std::vector<std::uint32_t> keys;
    std::vector<Sums> sums; // count 0: empty slot
    std::size_t used = 0;

    Cells() : keys(4096), sums(4096) {}

    std::size_t slotOf(std::uint32_t key) const {
        const std::size_t mask = keys.size() - 1;
        std::size_t i = (std::size_t(key) * 0x9E3779B1u >> 7) & mask;
        while (sums[i].count != 0 && keys[i] != key)
            i = (i + 1) & mask;
        return i;
    }

    void place(std::uint32_t key, const Sums& s) {
        const std::size_t i = slotOf(key);
        if (sums[i].count == 0) {
            keys[i] = key;
            ++used;
        }
        sums[i].add(s);
    }

    void add(const Colour4& c, std::int64_t n) {
        const std::uint32_t key = cellKey(c, shift);
        const std::size_t i = slotOf(key);
        if (sums[i].count == 0) {
            keys[i] = key;
            ++used;
        }
        sums[i].add(c, n);
        if (used * 2 > keys.size())
            grow();
    }

    void grow() {
        std::vector<std::uint32_t> oldKeys;
        std::vector<Sums> oldSums;
        oldKeys.swap(keys);
        oldSums.swap(sums);
        int cut = 0;
        std::size_t size = oldKeys.size() * 2;
        if (used > MaxCells) {
            // Too many: one bit less of each channel, the cells merged.
            cut = 1;
            size = oldKeys.size();
        }
        shift += cut;
        keys.assign(size, 0);
        sums.assign(size, Sums{});
        used = 0;
        for (std::size_t i = 0; i < oldKeys.size(); ++i) {
            if (oldSums[i].count == 0)
                continue;
            const std::uint32_t k = oldKeys[i];
            const std::uint32_t key = cut ? (k >> 1) & 0x7F7F7F7Fu : k;
            place(key, oldSums[i]);
        }
    }
};

PaletteBuilder::PaletteBuilder(int colours)
    : m_colours(colours), m_cells(std::make_unique<Cells>()) {
    if (colours != 2 && colours != 4 && colours != 16 && colours != 256)
        throw std::invalid_argument("palettes have 2, 4, 16 or 256 colours");
}

PaletteBuilder::~PaletteBuilder() = default;

void PaletteBuilder::addRow(const QRgb* pixels, int width) {
    int x = 0;
    while (x < width) {
        // Runs of one colour are counted at once.
        const QRgb p = pixels[x];
        int n = 1;
        while (x + n < width && pixels[x + n] == p)
            ++n;
        x += n;
        if (qAlpha(p) == 0) {
            m_transparent = true;
            continue;
        }
        if (!m_exactOverflow && (p != m_last || m_exact.empty())) {
            m_exact.insert(p);
            if (int(m_exact.size()) > m_colours) {
                m_exactOverflow = true;
                m_exact.clear();
            }
        }
        m_last = p;
        // Each pixel weighs as much as it shows: a faint one little, so that
        // a few of them do not take an entry that many opaque pixels need.
        m_cells->add(premultiplied(p), std::int64_t(n) * qAlpha(p));
    }
}

namespace {

struct Point {
    Sums sums;
    Colour4 mean;
};

struct Box {
    int begin = 0;
    int end = 0;
    Sums sums;
    bool splittable = true;
};

// Splits `box` where the two halves' squared error is least, along the
// channel that gives the least; false when no place splits it.
bool splitBox(std::vector<Point>& points, const Box& box, Box& low, Box& high) {
    double best = -1;
    int bestAxis = -1, bestAt = -1;
    std::vector<Sums> buckets(256);
    for (int axis = 0; axis < 4; ++axis) {
        std::fill(buckets.begin(), buckets.end(), Sums{});
        for (int i = box.begin; i < box.end; ++i)
            buckets[std::size_t(points[std::size_t(i)].mean[std::size_t(axis)])].add(
                points[std::size_t(i)].sums);
        Sums below;
        for (int at = 0; at < 255; ++at) {
            below.add(buckets[std::size_t(at)]);
            if (below.count == 0)
                continue;
            if (below.count == box.sums.count)
                break;
            Sums above = box.sums;
            above.count -= below.count;
            for (int k = 0; k < 4; ++k)
                above.sum[k] -= below.sum[k];
            const double gain = below.weight() + above.weight();
            if (gain > best) {
                best = gain;
                bestAxis = axis;
                bestAt = at;
            }
        }
    }
    if (bestAxis < 0)
        return false;
    const auto middle = std::stable_partition(
        points.begin() + box.begin, points.begin() + box.end,
        [&](const Point& p) { return p.mean[std::size_t(bestAxis)] <= bestAt; });
    const int split = int(middle - points.begin());
    low = Box{box.begin, split, {}, true};
    high = Box{split, box.end, {}, true};
    for (int i = low.begin; i < low.end; ++i)
        low.sums.add(points[std::size_t(i)].sums);
    for (int i = high.begin; i < high.end; ++i)
        high.sums.add(points[std::size_t(i)].sums);
    return true;
}

std::vector<Colour4> quantise(std::vector<Point>& points, int colours) {
    std::vector<Box> boxes;
    Box all{0, int(points.size()), {}, true};
    for (const Point& p : points)
        all.sums.add(p.sums);
    boxes.push_back(all);
    while (int(boxes.size()) < colours) {
        int pick = -1;
        double worst = 0;
        for (int i = 0; i < int(boxes.size()); ++i) {
            const Box& b = boxes[std::size_t(i)];
            if (!b.splittable || b.end - b.begin < 2)
                continue;
            const double e = b.sums.error();
            if (pick < 0 || e > worst) {
                pick = i;
                worst = e;
            }
        }
        if (pick < 0)
            break;
        Box low, high;
        if (!splitBox(points, boxes[std::size_t(pick)], low, high)) {
            boxes[std::size_t(pick)].splittable = false;
            continue;
        }
        boxes[std::size_t(pick)] = low;
        boxes.push_back(high);
    }
    std::vector<Colour4> centres;
    for (const Box& b : boxes)
        centres.push_back(b.sums.mean());

    // k-means over the cells, each weighed by its pixels.
    std::vector<int> owner(points.size(), -1);
    for (int round = 0; round < 8; ++round) {
        const NearestEntry nearest(centres);
        std::vector<Sums> next(centres.size());
        std::size_t changed = 0;
        for (std::size_t i = 0; i < points.size(); ++i) {
            const int k = nearest.find(points[i].mean, owner[i]);
            changed += k != owner[i];
            owner[i] = k;
            next[std::size_t(k)].add(points[i].sums);
        }
        for (std::size_t k = 0; k < centres.size(); ++k)
            if (next[k].count > 0)
                centres[k] = next[k].mean();
        if (changed * 1000 < points.size())
            break;
    }
    return centres;
}

} // namespace

std::vector<QRgb> PaletteBuilder::build() {
    const int room = m_colours - (m_transparent ? 1 : 0);
    std::vector<QRgb> palette;
    if (m_transparent)
        palette.push_back(0);
    if (!m_exactOverflow && int(m_exact.size()) <= room) {
        palette.insert(palette.end(), m_exact.begin(), m_exact.end());
    } else {
        std::vector<Point> points;
        points.reserve(m_cells->used);
        for (std::size_t i = 0; i < m_cells->keys.size(); ++i)
            if (m_cells->sums[i].count > 0)
                points.push_back({m_cells->sums[i], m_cells->sums[i].mean()});
        // The table's order depends on nothing but the keys; sorting makes it
        // plain.
        std::sort(points.begin(), points.end(),
                  [](const Point& a, const Point& b) { return a.mean < b.mean; });
        for (const Colour4& c : quantise(points, room))
            palette.push_back(unpremultiplied(c));
    }
    if (palette.empty())
        palette.push_back(0); // a picture without pixels
    std::sort(palette.begin() + (m_transparent ? 1 : 0), palette.end(), [](QRgb a, QRgb b) {
        const auto key = [](QRgb p) {
            return std::array<int, 5>{qAlpha(p), lumaOf(qRed(p), qGreen(p), qBlue(p)), qRed(p),
                                      qGreen(p), qBlue(p)};
        };
        return key(a) < key(b);
    });
    return palette;
}

NearestEntry::NearestEntry(const std::vector<QRgb>& palette)
    : NearestEntry([&] {
          std::vector<Colour4> colours;
          for (QRgb p : palette)
              colours.push_back(premultiplied(p));
          return colours;
      }()) {}

NearestEntry::NearestEntry(std::vector<std::array<int, 4>> colours)
    : m_colour(std::move(colours)) { // Sorted along the channel that spreads the entries most.
    int spread = -1;
    for (int axis = 0; axis < 4; ++axis) {
        int lo = 255, hi = 0;
        for (const Colour4& c : m_colour) {
            lo = std::min(lo, c[std::size_t(axis)]);
            hi = std::max(hi, c[std::size_t(axis)]);
        }
        if (hi - lo > spread) {
            spread = hi - lo;
            m_axis = axis;
        }
    }
    m_order.resize(m_colour.size());
    for (std::size_t i = 0; i < m_order.size(); ++i)
        m_order[i] = int(i);
    std::stable_sort(m_order.begin(), m_order.end(), [&](int a, int b) {
        return m_colour[std::size_t(a)][std::size_t(m_axis)] <
               m_colour[std::size_t(b)][std::size_t(m_axis)];
    });
    for (int i : m_order)
        m_axisValues.push_back(m_colour[std::size_t(i)][std::size_t(m_axis)]);
}

int NearestEntry::find(const std::array<int, 4>& c, int hint) const {
    const int n = int(m_order.size());
    const int v = c[std::size_t(m_axis)];
    int hi =
        int(std::lower_bound(m_axisValues.begin(), m_axisValues.end(), v) - m_axisValues.begin());
    int lo = hi - 1;
    int best = INT_MAX, bestIndex = 0;
    if (hint >= 0 && hint < n) {
        best = distance(c, m_colour[std::size_t(hint)]);
        bestIndex = hint;
    }
    while (lo >= 0 || hi < n) {
        const int dLow = lo >= 0 ? v - m_axisValues[std::size_t(lo)] : INT_MAX;
        const int dHigh = hi < n ? m_axisValues[std::size_t(hi)] - v : INT_MAX;
        const bool takeLow = dLow <= dHigh;
        const int d = takeLow ? dLow : dHigh;
        if (d >= 46341 || d * d > best)
            break;
        const int entry = m_order[std::size_t(takeLow ? lo-- : hi++)];
        const int dist = distance(c, m_colour[std::size_t(entry)]);
        if (dist < best || (dist == best && entry < bestIndex)) {
            best = dist;
            bestIndex = entry;
        }
    }
    return bestIndex;
}

int NearestEntry::spacing() const {
    if (m_colour.size() < 2)
        return 0;
    double total = 0;
    for (std::size_t i = 0; i < m_colour.size(); ++i) {
        int best = INT_MAX;
        for (std::size_t j = 0; j < m_colour.size(); ++j)
            if (j != i)
                best = std::min(best, distance(m_colour[i], m_colour[j]));
        total += std::sqrt(double(best));
    }
    return int(std::lround(total / double(m_colour.size())));
}

PaletteEncoder::PaletteEncoder(const std::vector<QRgb>& palette, DitherMode dither, int width,
                               int bits)
    : m_nearest(palette), m_dither(dither), m_width(width), m_bits(bits),
      m_cache(std::size_t(1) << 14, 0) {
    if (width < 0)
        throw std::invalid_argument("negative row width");
    if (bits != 1 && bits != 2 && bits != 4 && bits != 8)
        throw std::invalid_argument("indices of 1, 2, 4 or 8 bits");
    if (palette.empty() || palette.size() > (std::size_t(1) << bits))
        throw std::invalid_argument("the palette does not fit the indices");
    for (std::size_t i = 0; i < palette.size(); ++i)
        if (qAlpha(palette[i]) == 0) {
            m_transparentIndex = int(i);
            break;
        }
    m_spacing = m_nearest.spacing();
    if (dither == DitherMode::FloydSteinberg) {
        m_errThis.assign((std::size_t(width) + 2) * 3, 0);
        m_errNext.assign((std::size_t(width) + 2) * 3, 0);
    }
}

void PaletteEncoder::restart() {
    m_row = 0;
    std::fill(m_errThis.begin(), m_errThis.end(), 0);
}

int PaletteEncoder::nearestCached(QRgb p) {
    std::uint64_t& slot = m_cache[(std::size_t(p) * 0x9E3779B1u >> 18) & (m_cache.size() - 1)];
    if (slot != 0 && std::uint32_t(slot >> 16) == p)
        return int(slot & 0xFFFF) - 1;
    const int index = qAlpha(p) == 0 && m_transparentIndex >= 0
                          ? m_transparentIndex
                          : m_nearest.find(premultiplied(p), m_last);
    m_last = index;
    slot = std::uint64_t(p) << 16 | std::uint64_t(index + 1);
    return index;
}

void PaletteEncoder::encodeRow(const QRgb* pixels, int width, std::uint32_t* samples) {
    if (width != m_width)
        throw std::invalid_argument("row width differs from the encoder's");
    switch (m_dither) {
    case DitherMode::None:
        for (int x = 0; x < width; ++x)
            samples[x] = std::uint32_t(nearestCached(pixels[x]));
        break;
    case DitherMode::Bayer4:
        for (int x = 0; x < width; ++x) {
            if (qAlpha(pixels[x]) == 0) {
                samples[x] = std::uint32_t(nearestCached(pixels[x]));
                continue;
            }
            Colour4 c = premultiplied(pixels[x]);
            const int m = core::bayer4(m_row, x);
            const int offset = (2 * m + 1 - 16) * m_spacing * c[3] / (32 * 255);
            for (int k = 0; k < 3; ++k)
                c[std::size_t(k)] = std::clamp(c[std::size_t(k)] + offset, 0, c[3]);
            m_last = m_nearest.find(c, m_last);
            samples[x] = std::uint32_t(m_last);
        }
        break;
    case DitherMode::FloydSteinberg: {
        const int* here = m_errThis.data();
        int* next = m_errNext.data();
        std::fill(next, next + 6, 0);
        int right[3] = {};
        for (int x = 0; x < width; ++x) {
            const int slot = (x + 1) * 3;
            Colour4 c = premultiplied(pixels[x]);
            int e[3] = {};
            if (c[3] == 0) {
                samples[x] = std::uint32_t(nearestCached(pixels[x]));
            } else {
                for (int k = 0; k < 3; ++k)
                    c[std::size_t(k)] = std::clamp(
                        c[std::size_t(k)] + core::receivedError(here, slot + k, right[k]), 0, c[3]);
                const int index = m_nearest.find(c, m_last);
                m_last = index;
                samples[x] = std::uint32_t(index);
                for (int k = 0; k < 3; ++k)
                    e[k] = c[std::size_t(k)] - m_nearest.colour(index)[std::size_t(k)];
            }
            for (int k = 0; k < 3; ++k)
                core::spreadError(e[k], slot + k, 3, right[k], next);
        }
        std::swap(m_errThis, m_errNext);
        break;
    }
    }
    ++m_row;
}

} // namespace zentraq::rgbqumo
