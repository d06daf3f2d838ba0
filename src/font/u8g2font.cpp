#include "u8g2font.h"

#include "textout.h"

#include <algorithm>
#include <array>
#include <climits>
#include <cstdio>

namespace zentraq::font {
namespace {

// A box in the font's coordinates: x right of the pen, y up from the base
// line to its bottom row.
struct Box {
    long x = 0, y = 0, w = 0, h = 0;
};

// A glyph of the set as bdfconv holds it: its box as the BDF file gives it
// (with the samples), the same cut to its ink, and its advance.
struct Source {
    const Glyph* glyph = nullptr;
    const std::uint8_t* samples = nullptr;
    Box full; // as drawn
    Box ink;  // cut to the ink; a glyph without ink keeps its x and sits on its top
    long dwidth = 0;

    bool pixel(long x, long y) const {
        if (x < full.x || x >= full.x + full.w || y < full.y || y >= full.y + full.h)
            return false;
        return samples[std::size_t(full.y + full.h - 1 - y) * std::size_t(full.w) +
                       std::size_t(x - full.x)] != 0;
    }
};

Box fullBox(const Glyph& g) {
    return {g.left, long(g.top) - g.height, g.width, g.height};
}

// bdfconv's bg_ReduceGlyph: blank columns off the right, rows off the
// bottom, columns off the left, rows off the top.
Box inkBox(const Source& s) {
    const Box f = s.full;
    long x0 = LONG_MAX, x1 = LONG_MIN, y0 = LONG_MAX, y1 = LONG_MIN;
    for (long y = f.y; y < f.y + f.h; ++y) {
        for (long x = f.x; x < f.x + f.w; ++x) {
            if (s.pixel(x, y)) {
                x0 = std::min(x0, x);
                x1 = std::max(x1, x);
                y0 = std::min(y0, y);
                y1 = std::max(y1, y);
            }
        }
    }
    if (x1 < x0)
        return {f.x, f.y + f.h, 0, 0};
    return {x0, y0, x1 - x0 + 1, y1 - y0 + 1};
}

// bdfconv's bg_Max: `max` grown to cover the glyph, and (as bdfconv does)
// its left edge to the glyph's advance when that lies further left.
void grow(Box& max, const Box& g, long dwidth) {
    long x0 = std::min(max.x, g.x);
    x0 = std::min(x0, dwidth);
    const long x1 = std::max(max.x + max.w, g.x + g.w);
    const long y0 = std::min(max.y, g.y);
    const long y1 = std::max(max.y + max.h, g.y + g.h);
    max = {x0, y0, x1 - x0, y1 - y0};
}

int unsignedBits(unsigned long v) {
    int n = 0;
    for (; v; v >>= 1)
        ++n;
    return n;
}
int signedBits(long v) {
    return v < 0 ? unsignedBits(static_cast<unsigned long>(-v - 1)) + 1
                 : unsignedBits(static_cast<unsigned long>(v)) + 1;
}

struct Placed {
    Box box;                              // where u8g2 draws it
    long shift;                           // columns the ink is moved right by
    long dx;                              // the pen's advance
    std::size_t pairs = 0, pairCount = 0; // its runs in Layout::runs
};

struct Pair {
    std::uint32_t zeros, ones;
};

// Bits of the runs of one glyph, written as bdfconv writes them with runs
// of `b0` and `b1` bits: pairs longer than a field split, a pair equal to
// the one before as a single 1 bit, any other after a 0 bit.
template <class Emit>
void emitRuns(const Pair* pairs, std::size_t count, unsigned b0, unsigned b1, Emit&& pair) {
    const std::uint32_t max0 = (1u << b0) - 1, max1 = (1u << b1) - 1;
    for (std::size_t i = 0; i < count; ++i) {
        std::uint32_t a = pairs[i].zeros, b = pairs[i].ones;
        while (a > max0) {
            pair(max0, 0);
            a -= max0;
        }
        while (b > max1) {
            pair(a, max1);
            a = 0;
            b -= max1;
        }
        if (a != 0 || b != 0)
            pair(a, b);
    }
}

std::size_t runBits(const Pair* pairs, std::size_t count, unsigned b0, unsigned b1) {
    std::size_t bits = 0;
    bool first = true;
    std::uint32_t lastA = 0, lastB = 0;
    emitRuns(pairs, count, b0, b1, [&](std::uint32_t a, std::uint32_t b) {
        if (!first && a == lastA && b == lastB) {
            ++bits;
            return;
        }
        bits += (first ? 0 : 1) + b0 + b1;
        first = false;
        lastA = a;
        lastB = b;
    });
    return bits;
}

// Bits least significant first, as bdfconv and u8g2 read them.
class LsbWriter {
public:
    explicit LsbWriter(std::vector<std::uint8_t>& out) : m_out(out) {}
    void put(std::uint32_t value, unsigned bits) {
        for (unsigned i = 0; i < bits; ++i) {
            if (m_bit == 0)
                m_out.push_back(0);
            if ((value >> i) & 1u)
                m_out.back() = std::uint8_t(m_out.back() | (1u << m_bit));
            m_bit = (m_bit + 1) & 7;
        }
    }

private:
    std::vector<std::uint8_t>& m_out;
    unsigned m_bit = 0;
};

QString glyphLabel(char32_t cp) {
    return QStringLiteral("the glyph of %1").arg(codeName(cp));
}

} // namespace

void checkU8g2Codes(const std::vector<char32_t>& codes) {
    for (const char32_t c : codes) {
        if (c > 0xFFFF)
            requestError(QStringLiteral("u8g2 fonts hold codes up to U+FFFF, and %1 is above it")
                             .arg(codeName(c)));
    }
}

const char* U8g2Font::modeName(U8g2Mode mode) {
    switch (mode) {
    case U8g2Mode::CommonHeight:
        return "h";
    case U8g2Mode::Monospace:
        return "m";
    case U8g2Mode::Tiles:
        return "8";
    case U8g2Mode::Proportional:
        break;
    }
    return "t";
}

U8g2Font::U8g2Font(const GlyphSet& set, const GlyphSet& references, const BdfNames& names,
                   U8g2Options options)
    : m_options(std::move(options)), m_names(names), m_glyphs(set.glyphs.size()) {
    std::vector<char32_t> codes;
    for (const Glyph& g : set.glyphs)
        codes.push_back(g.code);
    checkU8g2Codes(codes);
    if (set.glyphs.empty())
        requestError(QStringLiteral("a u8g2 font needs at least one character"));
    const U8g2Mode mode = m_options.mode;

    std::vector<Source> glyphs(set.glyphs.size());
    for (std::size_t i = 0; i < glyphs.size(); ++i) {
        Source& s = glyphs[i];
        s.glyph = &set.glyphs[i];
        s.samples = set.samplesOf(*s.glyph);
        s.full = fullBox(*s.glyph);
        s.ink = inkBox(s);
        s.dwidth = s.glyph->advance >> 6;
    }

    // The box of all glyphs, and the widest advance.
    Box max = glyphs.front().ink;
    long dxMax = glyphs.front().dwidth;
    for (std::size_t i = 1; i < glyphs.size(); ++i) {
        grow(max, glyphs[i].ink, glyphs[i].dwidth);
        dxMax = std::max(dxMax, glyphs[i].dwidth);
    }
    if (mode == U8g2Mode::Tiles) {
        max.w = 8;
        max.h = 7;
    }
    if (mode == U8g2Mode::Monospace && max.w < dxMax)
        max.w = dxMax;

    // Each glyph's box as the mode places it (bdfconv's
    // bf_copy_bbx_and_update_shift).
    std::vector<Placed> placed(glyphs.size());
    for (std::size_t i = 0; i < glyphs.size(); ++i) {
        const Source& s = glyphs[i];
        Placed& p = placed[i];
        p.shift = mode == U8g2Mode::Proportional ? 0 : std::min(s.ink.x, 0L);
        switch (mode) {
        case U8g2Mode::Proportional:
            p.box = s.ink;
            break;
        case U8g2Mode::Monospace:
            p.box = max;
            p.box.x = 0;
            p.box.w = std::max(p.box.w, s.dwidth);
            break;
        case U8g2Mode::Tiles:
            p.box = {0, max.y, 8, 8};
            break;
        case U8g2Mode::CommonHeight:
            p.box = max;
            p.box.x = 0;
            p.box.w = s.ink.w + (s.ink.x < 0 ? -s.ink.x : s.ink.x);
            p.box.w = std::max(p.box.w, s.dwidth);
            break;
        }
        p.dx = mode == U8g2Mode::Proportional ? s.dwidth : p.box.w;
    }

    // The fields' widths, the same for every glyph.
    int wBits = 0, hBits = 0, xBits = 0, yBits = 0, dxBits = 0;
    for (const Placed& p : placed) {
        wBits = std::max(wBits, unsignedBits(static_cast<unsigned long>(p.box.w)));
        hBits = std::max(hBits, unsignedBits(static_cast<unsigned long>(p.box.h)));
        xBits = std::max(xBits, signedBits(p.box.x));
        yBits = std::max(yBits, signedBits(p.box.y));
        dxBits = std::max(dxBits, signedBits(p.dx));
    }
    // u8g2 reads each field into 8 bits.
    for (std::size_t i = 0; i < placed.size(); ++i) {
        const Placed& p = placed[i];
        const char32_t cp = glyphs[i].glyph->code;
        if (p.box.w > 255 || p.box.h > 255)
            throw U8g2TooLarge(cp, QStringLiteral("%1 is %2 x %3 pixels; u8g2 fonts hold glyphs "
                                                  "of at most 255 x 255")
                                       .arg(glyphLabel(cp))
                                       .arg(p.box.w)
                                       .arg(p.box.h));
        if (signedBits(p.box.x) > 8 || signedBits(p.box.y) > 8 || signedBits(p.dx) > 8)
            throw U8g2TooLarge(cp, QStringLiteral("%1 lies or moves the pen further than u8g2's "
                                                  "offsets of -128 to 127 pixels reach")
                                       .arg(glyphLabel(cp)));
    }
    if (max.w > 255 || max.h > 255 || signedBits(max.x) > 8 || signedBits(max.y) > 8)
        throw U8g2TooLarge(0, QStringLiteral("the glyphs together span %1 x %2 pixels; u8g2 "
                                             "fonts hold a box of at most 255 x 255")
                                  .arg(max.w)
                                  .arg(max.h));

    // The runs of each glyph, counted once: rows from the top, each from the
    // left, pairs of (0s, 1s).
    std::vector<Pair> runs;
    for (std::size_t i = 0; i < glyphs.size(); ++i) {
        const Source& s = glyphs[i];
        Placed& p = placed[i];
        p.pairs = runs.size();
        std::uint32_t count = 0;
        bool ones = false;
        std::uint32_t zeros = 0;
        for (long y = p.box.y + p.box.h - 1; y >= p.box.y; --y) {
            for (long x = p.box.x; x < p.box.x + p.box.w; ++x) {
                const bool ink = s.pixel(x + p.shift, y);
                if (ink != ones) {
                    if (ones)
                        runs.push_back({zeros, count});
                    else
                        zeros = count;
                    ones = ink;
                    count = 0;
                }
                ++count;
            }
        }
        if (ones)
            runs.push_back({zeros, count});
        else
            runs.push_back({count, 0});
        p.pairCount = runs.size() - p.pairs;
    }

    // The run widths of the smallest font: every glyph's record is whole
    // bytes, so each is priced on its own.
    const unsigned fieldBits = unsigned(wBits + hBits + xBits + yBits + dxBits);
    unsigned best0 = 0, best1 = 0;
    unsigned long bestBits = 0xffffffffUL;
    for (unsigned b0 = 2; b0 <= 8; ++b0) {
        for (unsigned b1 = 2; b1 <= 6; ++b1) {
            unsigned long total = 0;
            for (std::size_t i = 0; i < glyphs.size(); ++i) {
                const Placed& p = placed[i];
                const std::size_t bits =
                    fieldBits + runBits(runs.data() + p.pairs, p.pairCount, b0, b1) + 1;
                const std::size_t head = glyphs[i].glyph->code > 255 ? 3 : 2;
                total += (head + (bits + 7) / 8) * 8;
            }
            if (total < bestBits) {
                bestBits = total;
                best0 = b0;
                best1 = b1;
            }
        }
    }

    // The records.
    std::vector<std::vector<std::uint8_t>> records(glyphs.size());
    for (std::size_t i = 0; i < glyphs.size(); ++i) {
        const Placed& p = placed[i];
        const char32_t cp = glyphs[i].glyph->code;
        std::vector<std::uint8_t>& r = records[i];
        if (cp > 255)
            r.push_back(std::uint8_t(cp >> 8));
        r.push_back(std::uint8_t(cp & 0xFF));
        r.push_back(0); // its size, below
        LsbWriter bits(r);
        bits.put(std::uint32_t(p.box.w), unsigned(wBits));
        bits.put(std::uint32_t(p.box.h), unsigned(hBits));
        bits.put(std::uint32_t(p.box.x + (1L << (xBits - 1))), unsigned(xBits));
        bits.put(std::uint32_t(p.box.y + (1L << (yBits - 1))), unsigned(yBits));
        bits.put(std::uint32_t(p.dx + (1L << (dxBits - 1))), unsigned(dxBits));
        bool first = true;
        std::uint32_t lastA = 0, lastB = 0;
        emitRuns(runs.data() + p.pairs, p.pairCount, best0, best1,
                 [&](std::uint32_t a, std::uint32_t b) {
                     if (!first && a == lastA && b == lastB) {
                         bits.put(1, 1);
                         return;
                     }
                     if (!first)
                         bits.put(0, 1);
                     bits.put(a, best0);
                     bits.put(b, best1);
                     first = false;
                     lastA = a;
                     lastB = b;
                 });
        bits.put(0, 1);
        if (r.size() >= 255)
            throw U8g2TooLarge(cp, QStringLiteral("%1 would take %2 bytes in the u8g2 font, "
                                                  "which holds at most 254 a glyph")
                                       .arg(glyphLabel(cp))
                                       .arg(r.size()));
        r[cp > 255 ? 2 : 1] = std::uint8_t(r.size());
    }

    // The header's ascents and descents, from the glyph of the code in the
    // font (cut to its ink) or else as the face has it.
    const auto boxOf = [&](char32_t cp) -> std::optional<Box> {
        if (const Glyph* g = set.find(cp))
            return glyphs[std::size_t(g - set.glyphs.data())].ink;
        if (const Glyph* g = references.find(cp))
            return fullBox(*g);
        return std::nullopt;
    };
    const auto ascentOf = [](const std::optional<Box>& b) { return b ? b->y + b->h : 0L; };
    const std::optional<Box> capitalA = boxOf(U'A'), one = boxOf(U'1'), g = boxOf(U'g'),
                             paren = boxOf(U'(');
    const long aAscent = ascentOf(capitalA), gDescent = g ? g->y : 0;
    long parenAscent = ascentOf(paren), parenDescent = paren ? paren->y : 0;
    if (!paren) {
        parenAscent = aAscent != 0 ? aAscent : ascentOf(one);
        parenDescent = gDescent;
    }

    std::vector<std::uint8_t>& f = m_font;
    const auto byte = [](long v) { return std::uint8_t(v & 0xFF); };
    f = {byte(long(glyphs.size())),
         std::uint8_t(mode),
         std::uint8_t(best0),
         std::uint8_t(best1),
         std::uint8_t(wBits),
         std::uint8_t(hBits),
         std::uint8_t(xBits),
         std::uint8_t(yBits),
         std::uint8_t(dxBits),
         byte(max.w),
         byte(max.h),
         byte(max.x),
         byte(max.y),
         byte(aAscent > 0 ? aAscent : ascentOf(one)),
         byte(gDescent),
         byte(parenAscent),
         byte(parenDescent),
         0,
         0,
         0,
         0,
         0,
         0};
    constexpr std::size_t Start = 23;
    std::size_t posA = 0, posa = 0, unicode = 0;
    for (std::size_t i = 0; i < glyphs.size(); ++i) {
        const char32_t cp = glyphs[i].glyph->code;
        if (cp > 255)
            continue;
        if (cp == U'A')
            posA = f.size() - Start;
        if (cp == U'a')
            posa = f.size() - Start;
        f.insert(f.end(), records[i].begin(), records[i].end());
        ++unicode;
    }
    f.push_back(0);
    f.push_back(0);
    const std::size_t unicodeStart = f.size() - Start;
    unicode = glyphs.size() - unicode;

    // The look-up table above U+00FF: an entry per 101 glyphs (bdfconv's
    // count), the last one ending at code 0xFFFF, and always one entry.
    constexpr std::size_t PerEntry = 101;
    const std::size_t entries = unicode / PerEntry;
    const std::size_t table = f.size();
    for (std::size_t e = 1; e < entries; ++e)
        f.insert(f.end(), {0, 0, 0, 0});
    f.insert(f.end(), {0, 4, 0xFF, 0xFF});
    std::size_t entry = 0, inEntry = 0;
    std::size_t delta = f.size() - table, blockStart = f.size();
    for (std::size_t i = 0; i < glyphs.size(); ++i) {
        const char32_t cp = glyphs[i].glyph->code;
        if (cp <= 255)
            continue;
        f.insert(f.end(), records[i].begin(), records[i].end());
        if (++inEntry >= PerEntry && entry < entries) {
            std::uint8_t* e = f.data() + table + entry * 4;
            e[0] = std::uint8_t(delta >> 8);
            e[1] = std::uint8_t(delta & 0xFF);
            e[2] = std::uint8_t(e[2] | (cp >> 8));
            e[3] = std::uint8_t(e[3] | (cp & 0xFF));
            ++entry;
            inEntry = 0;
            delta = f.size() - blockStart;
            blockStart = f.size();
        }
    }
    if (entry < entries) {
        std::uint8_t* e = f.data() + table + entry * 4;
        e[0] = std::uint8_t(delta >> 8);
        e[1] = std::uint8_t(delta & 0xFF);
        e[2] = e[3] = 0xFF;
    }
    f.push_back(0);
    f.push_back(0);
    f[17] = std::uint8_t(posA >> 8);
    f[18] = std::uint8_t(posA & 0xFF);
    f[19] = std::uint8_t(posa >> 8);
    f[20] = std::uint8_t(posa & 0xFF);
    f[21] = std::uint8_t(unicodeStart >> 8);
    f[22] = std::uint8_t(unicodeStart & 0xFF);

    // What u8g2 draws.
    m_drawn.settings = set.settings;
    m_drawn.settings.bits = 1;
    m_drawn.faceName = set.faceName;
    m_drawn.metrics = set.metrics;
    for (std::size_t i = 0; i < glyphs.size(); ++i) {
        const Placed& p = placed[i];
        Glyph d = *glyphs[i].glyph;
        d.left = int(p.box.x);
        d.top = int(p.box.y + p.box.h);
        d.width = int(p.box.w);
        d.height = int(p.box.h);
        d.advance = std::int32_t(p.dx * 64);
        d.linearAdvance = std::int32_t(p.dx * 65536);
        d.offset = m_drawn.samples.size();
        for (long y = p.box.y + p.box.h - 1; y >= p.box.y; --y)
            for (long x = p.box.x; x < p.box.x + p.box.w; ++x)
                m_drawn.samples.push_back(glyphs[i].pixel(x + p.shift, y) ? 1 : 0);
        m_drawn.glyphs.push_back(d);
    }
}

int largestU8g2Size(const FontFace& face, RenderSettings settings,
                    const std::vector<char32_t>& characters, U8g2Mode mode) {
    const auto fits = [&](int size) {
        if (face.scalable())
            settings.points = size;
        else
            settings.pixelSize = settings.points = size;
        try {
            const GlyphSet set = renderGlyphs(face, settings, characters);
            const U8g2Font font(set, GlyphSet(), BdfNames(), {mode, "f"});
            return !font.bytes().empty();
        } catch (const U8g2TooLarge&) {
            return false;
        }
    };
    const int current = pixelsFor(settings);
    if (!face.scalable()) {
        std::vector<int> sizes = face.strikes();
        for (auto s = sizes.rbegin(); s != sizes.rend(); ++s) {
            if (*s < current && fits(*s))
                return *s;
        }
        return 0;
    }
    // Glyphs grow with the size: the largest that fits, by halves.
    int lo = 1, hi = current - 1, found = 0;
    while (lo <= hi) {
        const int mid = lo + (hi - lo) / 2;
        if (fits(mid)) {
            found = mid;
            lo = mid + 1;
        } else {
            hi = mid - 1;
        }
    }
    return found;
}

void U8g2Font::writeBinary(core::ByteSink& sink) const {
    sink.write(reinterpret_cast<const char*>(m_font.data()), qint64(m_font.size()));
}

void U8g2Font::writeC(core::ByteSink& sink) const {
    // bdfconv reads FONT to the end of a line of at most 1023 bytes, and
    // COPYRIGHT from its first double quote to the next; it prints a
    // missing one as C's printf prints a null string.
    const QByteArray font = m_names.font ? m_names.font->left(1018) : QByteArray("(null)");
    QByteArray copyright("(null)");
    if (m_names.copyright) {
        copyright = *m_names.copyright;
        if (const qsizetype quote = copyright.indexOf('"'); quote >= 0)
            copyright.truncate(quote);
        copyright.truncate(1012);
    }
    const QByteArray& name = m_options.name;
    const std::size_t size = m_font.size();
    const bool large = size - 1 > 32760;
    TextOut out(sink);
    out << "/*\n  Fontname: " << font << "\n  Copyright: " << copyright
        << "\n  Glyphs: " << QByteArray::number(qulonglong(m_glyphs)) << "/"
        << QByteArray::number(m_names.glyphCount) << "\n  BBX Build Mode: " << int(m_options.mode)
        << "\n*/\n";
    if (large)
        out << "#ifdef U8G2_USE_LARGE_FONTS\n";
    out << "const uint8_t " << name << "[" << QByteArray::number(qulonglong(size)) << "] "
        << (m_options.mode == U8g2Mode::Tiles ? "U8X8" : "U8G2") << "_FONT_SECTION(\"" << name
        << "\") = \n  \"";
    // The last byte, always 0, is the literal's own.
    QByteArray line;
    for (std::size_t i = 0; i + 1 < size; ++i) {
        const std::uint8_t b = m_font[i];
        if (b < 32 || b == '"' || b == '\\' || b == '?' || (b >= '0' && b <= '9') || b >= 127) {
            char octal[8];
            std::snprintf(octal, sizeof octal, "\\%o", unsigned(b));
            line += octal;
        } else {
            line += char(b);
        }
        if ((i + 1) % 32 == 0) {
            out << line << "\"\n  \"";
            line.clear();
        }
    }
    out << line << "\";\n";
    if (large)
        out << "#endif /* U8G2_USE_LARGE_FONTS */\n";
    out.finish();
}

} // namespace zentraq::font
