#include "lvglfont.h"

#include "fonterror.h"
#include "lvglcompress.h"

#include <algorithm>
#include <cmath>
#include <deque>
#include <map>

namespace zentraq::font {
namespace {

// Round half up, as the converter's JavaScript does (Math.round).
double roundHalfUp(double v) {
    return std::floor(v + 0.5);
}

constexpr int CmapHeader = 16; // bytes of a sub-table's header in the binary font

// Field limits of lv_font_fmt_txt_glyph_dsc_t without LV_FONT_FMT_TXT_LARGE.
constexpr std::uint32_t MaxBitmapIndex = (1u << 20) - 1;
constexpr std::uint32_t MaxAdvance = (1u << 12) - 1;
// cmap_num is a 9-bit field.
constexpr std::size_t MaxCmaps = 511;

} // namespace

std::vector<CmapTable> splitCmap(const std::vector<char32_t>& codes, bool lvgl8) {
    const std::size_t n = codes.size();
    struct Best {
        long dist;
        std::size_t start;
        CmapKind kind;
    };
    std::vector<Best> best(n);
    const auto before = [&](std::size_t j) { return j > 0 ? best[j - 1].dist : 0L; };
    // Sparse: prev(j) + 16 + 2 (i - j + 1), so the smallest prev(j) - 2j in
    // the window of codes within 65536 of codes[i]; equal keys keep the
    // earlier start in front.
    std::deque<std::size_t> window;
    std::size_t near = 0, far = 0; // first j within 256 and within 65536 of codes[i]
    for (std::size_t i = 0; i < n; ++i) {
        const auto key = [&](std::size_t j) { return before(j) - 2 * long(j); };
        while (!window.empty() && key(window.back()) > key(i))
            window.pop_back();
        window.push_back(i);
        while (codes[i] - codes[far] >= 65536)
            ++far;
        while (window.front() < far)
            window.pop_front();
        while (codes[i] - codes[near] >= 256)
            ++near;

        // LVGL 8.3 takes the code just past a table as in it: a table may
        // end there only when that code starts the next table (tiny) or is
        // not the font's (sparse, which then finds nothing).
        const bool nextAdjacent = i + 1 < n && codes[i + 1] == codes[i] + 1;
        Best b{-1, 0, CmapKind::Format0Full};
        for (std::size_t j = near; j <= i; ++j) {
            const long full = before(j) + CmapHeader + long(codes[i] - codes[j] + 1);
            if (!lvgl8 && (b.dist < 0 || full < b.dist))
                b = {full, j, CmapKind::Format0Full};
            if (codes[i] - codes[j] == i - j && (!lvgl8 || nextAdjacent)) {
                const long tiny = before(j) + CmapHeader;
                if (b.dist < 0 || tiny < b.dist)
                    b = {tiny, j, CmapKind::Format0Tiny};
            }
        }
        const std::size_t j = window.front();
        const long sparse = before(j) + CmapHeader + 2 * long(i - j + 1);
        if ((!lvgl8 || !nextAdjacent) &&
            (b.dist < 0 || sparse < b.dist || (sparse == b.dist && j < b.start)))
            b = {sparse, j, CmapKind::SparseTiny};
        best[i] = b;
    }
    std::vector<CmapTable> out;
    for (std::size_t i = n; i > 0;) {
        const Best& b = best[i - 1];
        out.push_back({b.kind, std::uint32_t(b.start), std::uint32_t(i - b.start)});
        i = b.start;
    }
    std::reverse(out.begin(), out.end());
    if (out.size() > MaxCmaps) {
        // More sub-tables than LVGL counts: sparse ones over the widest spans.
        out.clear();
        for (std::size_t i = 0; i < n;) {
            std::size_t e = i + 1;
            while (e < n && codes[e] - codes[i] < 65536)
                ++e;
            while (lvgl8 && e < n && e - 1 > i && codes[e] == codes[e - 1] + 1)
                --e; // (a run is not split for LVGL 8)
            out.push_back({CmapKind::SparseTiny, std::uint32_t(i), std::uint32_t(e - i)});
            i = e;
        }
    }
    return out;
}

LvglFont::LvglFont(const GlyphSet& set, const Kerning& kerning, LvglOptions options)
    : m_set(set), m_options(std::move(options)), m_bpp(set.settings.bits) {
    if (set.glyphs.empty())
        requestError(QStringLiteral("an LVGL font needs at least one character"));
    if (set.glyphs.size() > 65534)
        requestError(QStringLiteral("LVGL numbers glyphs in 16 bits: %1 characters are more "
                                    "than the 65534 a font can hold")
                         .arg(set.glyphs.size()));
    // LVGL 9 decodes compressed bitmaps of 2, 3 and 4 bits only.
    const bool compress =
        m_options.compress && m_bpp >= 2 && !(m_bpp == 8 && m_options.version >= 9);
    m_format = compress ? (m_options.prefilter ? 1 : 2) : 0;
    m_ascent = set.ascent();
    m_descent = set.descent();

    const int size = set.settings.pixelSize;
    const double scale = double(size) / double(set.metrics.unitsPerEm);
    const auto scaled = [scale](int units) { return int(roundHalfUp(units * scale)); };
    m_underlinePosition = std::clamp(scaled(set.metrics.underlinePosition), -128, 127);
    m_underlineThickness = std::clamp(scaled(set.metrics.underlineThickness), -128, 127);
    m_typoAscent = scaled(set.metrics.typoAscender);
    m_typoDescent = scaled(set.metrics.typoDescender);
    m_typoLineGap = scaled(set.metrics.typoLineGap);

    m_advance.reserve(set.glyphs.size());
    for (const Glyph& g : set.glyphs)
        m_advance.push_back(std::uint32_t(std::max(0, (g.linearAdvance + 2048) >> 12)));

    std::vector<char32_t> codes;
    codes.reserve(set.glyphs.size());
    for (const Glyph& g : set.glyphs)
        codes.push_back(g.code);
    m_cmaps = splitCmap(codes, m_options.version < 9);

    encodeBitmaps();
    buildKerning(kerning);
    checkLimits();
}

void LvglFont::encodeBitmaps() {
    BitWriter bits;
    m_bitmapStart.reserve(m_set.glyphs.size() + 1);
    m_bitmapBits.reserve(m_set.glyphs.size());
    for (const Glyph& g : m_set.glyphs) {
        m_bitmapStart.push_back(m_bitmaps.size());
        bits.clear();
        if (g.width > 0 && g.height > 0) {
            if (m_format == 0)
                writePlain(m_set.samplesOf(g), g.width * g.height, m_bpp, bits);
            else
                writeCompressed(m_set.samplesOf(g), g.width, g.height, m_bpp, m_format == 1, bits);
        }
        m_bitmapBits.push_back(bits.bitCount());
        m_bitmaps.insert(m_bitmaps.end(), bits.bytes().begin(), bits.bytes().end());
    }
    m_bitmapStart.push_back(m_bitmaps.size());
}

void LvglFont::buildKerning(const Kerning& kerning) {
    if (kerning.cells.empty())
        return;
    const int size = m_set.settings.pixelSize;
    const double upem = m_set.metrics.unitsPerEm;
    double largest = 0;
    for (const Kerning::Cell& c : kerning.cells)
        largest = std::max(largest, std::fabs(double(c.value) * size / upem));
    // Values are 4.4 fixed point, scaled by kern_scale / 16 (12.4).
    const double kernScale = largest >= 7.5 ? std::ceil(largest / 7.5 * 16) / 16 : 1.0;
    struct Cell {
        std::uint32_t left, right; // the face's classes
        std::int8_t value;
    };
    std::vector<Cell> cells;
    for (const Kerning::Cell& c : kerning.cells) {
        const int v = int(roundHalfUp(double(c.value) * size / upem / kernScale * 16));
        if (v != 0)
            cells.push_back({c.left, c.right, std::int8_t(std::clamp(v, -128, 127))});
    }
    if (cells.empty())
        return;
    m_kerned = true;
    m_kernScale = int(roundHalfUp(kernScale * 16));

    // LVGL's classes: glyphs with the same values on either side, numbered
    // in the order of their first glyph. The face's classes already group
    // glyphs that kern alike; after rounding, some of them may group further.
    using Row = std::vector<std::pair<std::uint32_t, std::int8_t>>;
    std::vector<Row> rows(kerning.leftClasses + 1), columns(kerning.rightClasses + 1);
    for (const Cell& c : cells) {
        rows[c.left].emplace_back(c.right, c.value);
        columns[c.right].emplace_back(c.left, c.value);
    }
    const std::size_t n = m_set.glyphs.size(), ids = n + 1;
    const auto classify = [&](const std::vector<std::uint32_t>& faceClass,
                              const std::vector<Row>& lines, std::vector<std::uint8_t>& mapping,
                              std::vector<std::uint32_t>& ours, std::vector<std::uint32_t>& first,
                              std::vector<std::uint64_t>& sizes) {
        std::map<Row, std::uint32_t> classes;
        mapping.assign(ids, 0);
        ours.assign(lines.size(), 0);
        sizes.assign(lines.size(), 0);
        for (std::size_t i = 0; i < n; ++i) {
            const std::uint32_t c = faceClass[i];
            if (c == 0 || lines[c].empty())
                continue;
            ++sizes[c];
            if (ours[c] == 0) {
                const auto [it, added] =
                    classes.emplace(lines[c], std::uint32_t(classes.size()) + 1);
                if (added)
                    first.push_back(c);
                ours[c] = it->second;
            }
            mapping[i + 1] = std::uint8_t(std::min<std::uint32_t>(ours[c], 255));
        }
        return std::uint32_t(classes.size());
    };
    std::vector<std::uint32_t> leftOf, rightOf, leftFirst, rightFirst;
    std::vector<std::uint64_t> leftSize, rightSize;
    const std::uint32_t lefts =
        classify(kerning.leftClass, rows, m_leftClass, leftOf, leftFirst, leftSize);
    const std::uint32_t rights =
        classify(kerning.rightClass, columns, m_rightClass, rightOf, rightFirst, rightSize);
    for (const Cell& c : cells)
        m_pairCount += leftSize[c.left] * rightSize[c.right];

    const bool classesFit = lefts <= 254 && rights <= 254;
    const std::uint64_t idBytes = ids - 1 > 255 ? 2 : 1;
    const auto aligned = [](std::uint64_t v) { return (v + 3) / 4 * 4; };
    const std::uint64_t pairBytes = aligned(4 + m_pairCount * (2 * idBytes + 1));
    const std::uint64_t classBytes = aligned(4 + 2 * ids + std::uint64_t(lefts) * rights);
    if (classesFit && (classBytes <= pairBytes || m_pairCount > MaxKernPairs)) {
        m_useClasses = true;
        m_leftClasses = int(lefts);
        m_rightClasses = int(rights);
        m_classValues.assign(std::size_t(lefts) * rights, 0);
        for (std::uint32_t l = 0; l < lefts; ++l)
            for (const auto& [right, value] : rows[leftFirst[l]])
                m_classValues[std::size_t(l) * rights + (rightOf[right] - 1)] = value;
        return;
    }
    if (m_pairCount > MaxKernPairs)
        requestError(QStringLiteral("the kerning of %1 makes %2 glyph pairs in %3 x %4 classes: "
                                    "more than the %5 pairs or 254 x 254 classes an LVGL font "
                                    "holds here; give --no-kerning")
                         .arg(m_set.faceName)
                         .arg(m_pairCount)
                         .arg(lefts)
                         .arg(rights)
                         .arg(MaxKernPairs));
    // Pairs, in the order of their left glyph, then their right one.
    std::vector<std::vector<std::uint32_t>> members(kerning.rightClasses + 1);
    for (std::size_t j = 0; j < n; ++j)
        if (kerning.rightClass[j] && !columns[kerning.rightClass[j]].empty())
            members[kerning.rightClass[j]].push_back(std::uint32_t(j + 1));
    m_pairs.reserve(std::size_t(m_pairCount));
    for (std::size_t i = 0; i < n; ++i) {
        const std::uint32_t c = kerning.leftClass[i];
        if (c == 0 || rows[c].empty())
            continue;
        const std::size_t begin = m_pairs.size();
        for (const auto& [right, value] : rows[c])
            for (const std::uint32_t id : members[right])
                m_pairs.push_back({std::uint32_t(i + 1), id, value});
        std::sort(m_pairs.begin() + std::ptrdiff_t(begin), m_pairs.end(),
                  [](const Pair& a, const Pair& b) { return a.right < b.right; });
    }
}

void LvglFont::checkLimits() {
    for (std::size_t i = 0; i < m_set.glyphs.size(); ++i) {
        const Glyph& g = m_set.glyphs[i];
        const int y = g.top - g.height;
        if (m_bitmapStart[i] > MaxBitmapIndex || m_advance[i] > MaxAdvance || g.width > 255 ||
            g.height > 255 || g.left < -128 || g.left > 127 || y < -128 || y > 127)
            m_large = true;
    }
    if (m_cmaps.size() > MaxCmaps)
        requestError(QStringLiteral("the characters need %1 LVGL character maps, more than the "
                                    "%2 a font can hold")
                         .arg(m_cmaps.size())
                         .arg(MaxCmaps));
}

int LvglFont::kernValue(std::size_t left, std::size_t right) const {
    const std::uint32_t l = std::uint32_t(left + 1), r = std::uint32_t(right + 1);
    if (m_useClasses) {
        const int lc = m_leftClass[l], rc = m_rightClass[r];
        return lc > 0 && rc > 0 ? m_classValues[std::size_t(lc - 1) * m_rightClasses + (rc - 1)]
                                : 0;
    }
    const auto it =
        std::lower_bound(m_pairs.begin(), m_pairs.end(), std::make_pair(l, r),
                         [](const Pair& p, const std::pair<std::uint32_t, std::uint32_t>& k) {
                             return std::make_pair(p.left, p.right) < k;
                         });
    return it != m_pairs.end() && it->left == l && it->right == r ? it->value : 0;
}

std::vector<LvglFont::StoredPair> LvglFont::storedPairs() const {
    std::vector<StoredPair> out;
    out.reserve(m_pairs.size());
    for (const Pair& p : m_pairs)
        out.push_back({p.left - 1, p.right - 1, p.value});
    return out;
}

int LvglFont::penAdvance(std::size_t i, long next) const {
    const int kv = next >= 0 ? (kernValue(i, std::size_t(next)) * m_kernScale) >> 4 : 0;
    const std::uint32_t w = m_advance[i] + std::uint32_t(kv);
    return int((w + 8) >> 4);
}

} // namespace zentraq::font
