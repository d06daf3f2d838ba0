#pragma once

// TrueType fonts made in memory, for the tests and benchmarks that need a
// face with exactly one property: a glyph far past its em box, a kerning rule
// over every glyph, pairs behind an Extension lookup, a legacy kern table.
// Each glyph is a rectangle (or nothing); the tables are the few FreeType and
// HarfBuzz need (head, hhea, maxp, hmtx, cmap format 12, loca, glyf, name,
// post), plus GPOS, GDEF and kern as given.

#include <QByteArray>
#include <QString>

#include <algorithm>
#include <cstdint>
#include <map>
#include <tuple>
#include <utility>
#include <vector>

namespace zentraq::testing {

// Big-endian fields.
struct Be {
    QByteArray b;
    Be& u8(unsigned v) {
        b.append(char(v & 0xFF));
        return *this;
    }
    Be& u16(unsigned v) { return u8(v >> 8).u8(v); }
    Be& s16(int v) { return u16(unsigned(std::uint16_t(std::int16_t(v)))); }
    Be& u32(std::uint32_t v) { return u16(v >> 16).u16(v & 0xFFFF); }
    Be& tag(const char* t) {
        b.append(t, 4);
        return *this;
    }
    Be& bytes(const QByteArray& more) {
        b.append(more);
        return *this;
    }
    unsigned size() const { return unsigned(b.size()); }
    void put16(unsigned at, unsigned v) {
        b[at] = char(v >> 8);
        b[at + 1] = char(v);
    }
    void put32(unsigned at, std::uint32_t v) {
        put16(at, v >> 16);
        put16(at + 2, v & 0xFFFF);
    }
};

struct TestGlyph {
    int xMin = 0, yMin = 0, xMax = 0, yMax = 0; // an empty box draws nothing
    int advance = 500;
};

// Ranges of glyphs: (first, last, value), as Coverage and ClassDef format 2
// take them.
using GlyphRanges = std::vector<std::tuple<unsigned, unsigned, unsigned>>;

inline QByteArray coverageTable(const std::vector<unsigned>& glyphs) {
    Be t;
    t.u16(1).u16(unsigned(glyphs.size()));
    for (const unsigned g : glyphs)
        t.u16(g);
    return t.b;
}

inline QByteArray rangeCoverage(unsigned first, unsigned last) {
    Be t;
    t.u16(2).u16(1).u16(first).u16(last).u16(0);
    return t.b;
}

inline QByteArray classDefTable(const GlyphRanges& ranges) {
    Be t;
    t.u16(2).u16(unsigned(ranges.size()));
    for (const auto& [first, last, c] : ranges)
        t.u16(first).u16(last).u16(c);
    return t.b;
}

// PairPos format 1 with XAdvance on the first glyph: (first, second, value)
// in any order.
inline QByteArray pairPosFormat1(std::vector<std::tuple<unsigned, unsigned, int>> pairs) {
    std::sort(pairs.begin(), pairs.end());
    std::map<unsigned, std::vector<std::pair<unsigned, int>>> sets;
    for (const auto& [a, b, v] : pairs)
        sets[a].emplace_back(b, v);
    std::vector<unsigned> firsts;
    for (const auto& s : sets)
        firsts.push_back(s.first);
    Be t;
    t.u16(1).u16(0).u16(0x4).u16(0).u16(unsigned(sets.size()));
    const unsigned offsets = t.size();
    for (std::size_t i = 0; i < sets.size(); ++i)
        t.u16(0);
    t.put16(2, t.size());
    t.bytes(coverageTable(firsts));
    unsigned k = 0;
    for (const auto& [first, seconds] : sets) {
        t.put16(offsets + 2 * k++, t.size());
        t.u16(unsigned(seconds.size()));
        for (const auto& [second, v] : seconds)
            t.u16(second).s16(v);
    }
    return t.b;
}

// PairPos format 2: the first glyphs covered, their classes, the second
// glyphs' classes, and values[class1][class2] as XAdvance of the first (or,
// with `placement`, also as XPlacement of the second).
inline QByteArray pairPosFormat2(const QByteArray& coverage, const GlyphRanges& classes1,
                                 const GlyphRanges& classes2,
                                 const std::vector<std::vector<int>>& values,
                                 bool placement = false) {
    Be t;
    const unsigned c1 = unsigned(values.size()), c2 = unsigned(values.front().size());
    t.u16(2).u16(0).u16(0x4).u16(placement ? 0x1 : 0).u16(0).u16(0).u16(c1).u16(c2);
    for (const auto& row : values)
        for (const int v : row) {
            t.s16(v);
            if (placement)
                t.s16(v);
        }
    t.put16(2, t.size());
    t.bytes(coverage);
    t.put16(8, t.size());
    t.bytes(classDefTable(classes1));
    t.put16(10, t.size());
    t.bytes(classDefTable(classes2));
    return t.b;
}

struct TestLookup {
    std::vector<QByteArray> subtables; // pair adjustment subtables
    unsigned flags = 0;
    bool extension = false; // each subtable behind an Extension subtable
    unsigned markFilteringSet = 0;
};

struct TestFeature {
    const char* tag = "kern";
    std::vector<unsigned> lookups;
};

struct TestScript {
    const char* tag = "DFLT";
    std::vector<unsigned> features; // of the default language system
};

// scripts sorted by tag, as the format wants them.
inline QByteArray gposTable(std::vector<TestScript> scripts,
                            const std::vector<TestFeature>& features,
                            const std::vector<TestLookup>& lookups) {
    std::sort(scripts.begin(), scripts.end(), [](const TestScript& a, const TestScript& b) {
        return QByteArray(a.tag, 4) < QByteArray(b.tag, 4);
    });
    Be t;
    t.u32(0x00010000).u16(0).u16(0).u16(0);
    // Scripts, each with a default language system only.
    t.put16(4, t.size());
    const unsigned scriptList = t.size();
    t.u16(unsigned(scripts.size()));
    for (const TestScript& s : scripts)
        t.tag(s.tag).u16(0);
    for (std::size_t i = 0; i < scripts.size(); ++i) {
        t.put16(scriptList + 2 + 6 * unsigned(i) + 4, t.size() - scriptList);
        t.u16(4).u16(0); // the default language system follows
        t.u16(0).u16(0xFFFF).u16(unsigned(scripts[i].features.size()));
        for (const unsigned f : scripts[i].features)
            t.u16(f);
    }
    t.put16(6, t.size());
    const unsigned featureList = t.size();
    t.u16(unsigned(features.size()));
    for (const TestFeature& f : features)
        t.tag(f.tag).u16(0);
    for (std::size_t i = 0; i < features.size(); ++i) {
        t.put16(featureList + 2 + 6 * unsigned(i) + 4, t.size() - featureList);
        t.u16(0).u16(unsigned(features[i].lookups.size()));
        for (const unsigned l : features[i].lookups)
            t.u16(l);
    }
    t.put16(8, t.size());
    const unsigned lookupList = t.size();
    t.u16(unsigned(lookups.size()));
    for (std::size_t i = 0; i < lookups.size(); ++i)
        t.u16(0);
    for (std::size_t i = 0; i < lookups.size(); ++i) {
        const TestLookup& l = lookups[i];
        t.put16(lookupList + 2 + 2 * unsigned(i), t.size() - lookupList);
        const unsigned lookup = t.size();
        t.u16(l.extension ? 9 : 2).u16(l.flags).u16(unsigned(l.subtables.size()));
        const unsigned offsets = t.size();
        for (std::size_t s = 0; s < l.subtables.size(); ++s)
            t.u16(0);
        if (l.flags & 0x10)
            t.u16(l.markFilteringSet);
        std::vector<unsigned> extensions;
        for (std::size_t s = 0; s < l.subtables.size(); ++s) {
            t.put16(offsets + 2 * unsigned(s), t.size() - lookup);
            if (l.extension) {
                extensions.push_back(t.size());
                t.u16(1).u16(2).u32(0);
            } else {
                t.bytes(l.subtables[s]);
            }
        }
        for (std::size_t s = 0; s < extensions.size(); ++s) {
            t.put32(extensions[s] + 4, t.size() - extensions[s]);
            t.bytes(l.subtables[s]);
        }
    }
    return t.b;
}

// GDEF 1.2: glyph classes (1 base, 2 ligature, 3 mark) and mark glyph sets.
inline QByteArray gdefTable(const GlyphRanges& classes,
                            const std::vector<std::vector<unsigned>>& markSets = {}) {
    Be t;
    t.u16(1).u16(2).u16(0).u16(0).u16(0).u16(0).u16(0);
    t.put16(4, t.size());
    t.bytes(classDefTable(classes));
    if (!markSets.empty()) {
        t.put16(12, t.size());
        const unsigned sets = t.size();
        t.u16(1).u16(unsigned(markSets.size()));
        for (std::size_t i = 0; i < markSets.size(); ++i)
            t.u32(0);
        for (std::size_t i = 0; i < markSets.size(); ++i) {
            t.put32(sets + 4 + 4 * unsigned(i), t.size() - sets);
            t.bytes(coverageTable(markSets[i]));
        }
    }
    return t.b;
}

// The legacy (OpenType, version 0) kern table: horizontal format 0
// subtables of (left, right, value).
inline QByteArray
kernTable(const std::vector<std::vector<std::tuple<unsigned, unsigned, int>>>& subtables) {
    Be t;
    t.u16(0).u16(unsigned(subtables.size()));
    for (auto pairs : subtables) {
        std::sort(pairs.begin(), pairs.end());
        const unsigned n = unsigned(pairs.size());
        unsigned range = 1, selector = 0;
        while (range * 2 <= n) {
            range *= 2;
            ++selector;
        }
        t.u16(0).u16(std::min(14 + 6 * n, 0xFFFFu)).u16(1);
        t.u16(n).u16(6 * range).u16(selector).u16(6 * (n - range));
        for (const auto& [l, r, v] : pairs)
            t.u16(l).u16(r).s16(v);
    }
    return t.b;
}

struct TestFont {
    int unitsPerEm = 1000;
    int ascender = 800, descender = -200;
    std::vector<TestGlyph> glyphs{TestGlyph{50, 0, 450, 700, 500}}; // glyph 0: .notdef
    std::vector<std::pair<char32_t, unsigned>> cmap;                // (code, glyph)
    QByteArray gpos, gdef, kern;

    QByteArray build() const {
        std::map<QByteArray, QByteArray> tables;
        const unsigned n = unsigned(glyphs.size());
        int xMin = 0, yMin = 0, xMax = 0, yMax = 0, advanceMax = 0;
        for (const TestGlyph& g : glyphs) {
            xMin = std::min(xMin, g.xMin);
            yMin = std::min(yMin, g.yMin);
            xMax = std::max(xMax, g.xMax);
            yMax = std::max(yMax, g.yMax);
            advanceMax = std::max(advanceMax, g.advance);
        }
        Be head;
        head.u32(0x00010000).u32(0x00010000).u32(0).u32(0x5F0F3CF5).u16(0x000B);
        head.u16(unsigned(unitsPerEm)).u32(0).u32(0).u32(0).u32(0);
        head.s16(xMin).s16(yMin).s16(xMax).s16(yMax).u16(0).u16(8).s16(2).s16(1).s16(0);
        tables["head"] = head.b;
        Be hhea;
        hhea.u32(0x00010000).s16(ascender).s16(descender).s16(0).u16(unsigned(advanceMax));
        hhea.s16(0).s16(0).s16(xMax).s16(1).s16(0).s16(0);
        for (int i = 0; i < 5; ++i)
            hhea.s16(0);
        hhea.u16(n);
        tables["hhea"] = hhea.b;
        Be maxp;
        maxp.u32(0x00010000).u16(n).u16(4).u16(1).u16(0).u16(0).u16(2);
        for (int i = 0; i < 8; ++i)
            maxp.u16(0);
        tables["maxp"] = maxp.b;
        Be hmtx, loca, glyf;
        for (const TestGlyph& g : glyphs) {
            hmtx.u16(unsigned(g.advance)).s16(g.xMin);
            loca.u32(glyf.size());
            if (g.xMax > g.xMin && g.yMax > g.yMin) {
                glyf.s16(1).s16(g.xMin).s16(g.yMin).s16(g.xMax).s16(g.yMax);
                glyf.u16(3).u16(0);
                for (int i = 0; i < 4; ++i)
                    glyf.u8(0x01); // on the curve, 16-bit coordinates
                glyf.s16(g.xMin).s16(0).s16(g.xMax - g.xMin).s16(0);
                glyf.s16(g.yMin).s16(g.yMax - g.yMin).s16(0).s16(g.yMin - g.yMax);
                while (glyf.size() % 4)
                    glyf.u8(0);
            }
        }
        loca.u32(glyf.size());
        tables["hmtx"] = hmtx.b;
        tables["loca"] = loca.b;
        tables["glyf"] = glyf.b;
        // cmap: one format 12 subtable, runs of consecutive codes and glyphs.
        std::vector<std::tuple<char32_t, char32_t, unsigned>> groups;
        std::vector<std::pair<char32_t, unsigned>> sorted = cmap;
        std::sort(sorted.begin(), sorted.end());
        for (const auto& [code, glyph] : sorted) {
            if (!groups.empty() && std::get<1>(groups.back()) + 1 == code &&
                std::get<2>(groups.back()) + (code - std::get<0>(groups.back())) == glyph)
                std::get<1>(groups.back()) = code;
            else
                groups.emplace_back(code, code, glyph);
        }
        Be cmapTable;
        cmapTable.u16(0).u16(1).u16(3).u16(10).u32(12);
        cmapTable.u16(12).u16(0).u32(16 + 12 * unsigned(groups.size())).u32(0);
        cmapTable.u32(unsigned(groups.size()));
        for (const auto& [first, last, glyph] : groups)
            cmapTable.u32(first).u32(last).u32(glyph);
        tables["cmap"] = cmapTable.b;
        Be name;
        const QString family = QStringLiteral("Zentraq Test");
        name.u16(0).u16(1).u16(18).u16(3).u16(1).u16(0x409).u16(1);
        name.u16(unsigned(family.size() * 2)).u16(0);
        for (const QChar c : family)
            name.u16(c.unicode());
        tables["name"] = name.b;
        Be post;
        post.u32(0x00030000).u32(0).s16(-100).s16(50).u32(0).u32(0).u32(0).u32(0).u32(0);
        tables["post"] = post.b;
        if (!gpos.isEmpty())
            tables["GPOS"] = gpos;
        if (!gdef.isEmpty())
            tables["GDEF"] = gdef;
        if (!kern.isEmpty())
            tables["kern"] = kern;

        // The table directory, then each table on a 4-byte boundary.
        Be font;
        const unsigned count = unsigned(tables.size());
        unsigned range = 1, selector = 0;
        while (range * 2 <= count) {
            range *= 2;
            ++selector;
        }
        font.u32(0x00010000).u16(count).u16(16 * range).u16(selector).u16(16 * (count - range));
        unsigned at = 12 + 16 * count;
        QByteArray data;
        for (const auto& [tag, bytes] : tables) {
            std::uint32_t sum = 0;
            QByteArray padded = bytes;
            while (padded.size() % 4)
                padded.append('\0');
            for (qsizetype i = 0; i < padded.size(); i += 4)
                sum += std::uint32_t(uchar(padded[i])) << 24 |
                       std::uint32_t(uchar(padded[i + 1])) << 16 |
                       std::uint32_t(uchar(padded[i + 2])) << 8 | uchar(padded[i + 3]);
            font.bytes(tag).u32(sum).u32(at).u32(unsigned(bytes.size()));
            data.append(padded);
            at += unsigned(padded.size());
        }
        return font.b + data;
    }
};

} // namespace zentraq::testing
