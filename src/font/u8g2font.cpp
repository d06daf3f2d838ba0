#include "u8g2font.h"

#include "bitwriter.h"
#include "bytefields.h"
#include "textout.h"

#include <algorithm>
#include <array>
#include <climits>
#include <exception>
#include <thread>
#include <unordered_map>
#include <utility>

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
    long x0 = LONG_MAX, x1 = LONG_MIN, r0 = LONG_MAX, r1 = LONG_MIN; // rows from the top
    for (long r = 0; r < f.h; ++r) {
        const std::uint8_t* row = s.samples + std::size_t(r) * std::size_t(f.w);
        for (long x = 0; x < f.w; ++x) {
            if (row[x]) {
                x0 = std::min(x0, x);
                x1 = std::max(x1, x);
                r0 = std::min(r0, r);
                r1 = r;
            }
        }
    }
    if (x1 < x0)
        return {f.x, f.y + f.h, 0, 0};
    return {f.x + x0, f.y + f.h - 1 - r1, x1 - x0 + 1, r1 - r0 + 1};
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

// The bits of a field: an unsigned width or height, a signed offset.
int unsignedBits(long v) {
    return core::unsignedBits(std::uint32_t(v));
}
int signedBits(long v) {
    return core::signedBits(std::int32_t(v));
}

struct Placed {
    Box box;                            // where u8g2 draws it
    long shift;                         // columns the ink is moved right by
    long dx;                            // the pen's advance
    std::size_t runs = 0, runCount = 0; // its runs in the font's list
};

// A pair of runs (0s, then 1s) and how many times it comes in a row.
struct Runs {
    std::uint32_t zeros, ones, times;
};

// The pairs bdfconv writes for a pair of runs with fields of `b0` and `b1`
// bits: 0s beyond a field's reach in pairs of their own, 1s beyond it in
// pairs with the 0s before them, then 0s.
template <class Write>
void splitRuns(std::uint32_t a, std::uint32_t b, std::uint32_t max0, std::uint32_t max1,
               Write&& write) {
    while (a > max0) {
        write(max0, 0);
        a -= max0;
    }
    while (b > max1) {
        write(a, max1);
        a = 0;
        b -= max1;
    }
    if (a != 0 || b != 0)
        write(a, b);
}

// The 35 pairs of run widths bdfconv tries, 0s outer (2 to 8 bits), 1s
// inner (2 to 6 bits).
constexpr std::size_t Ways = 7 * 5;
constexpr unsigned zeroBits(std::size_t way) {
    return unsigned(way / 5 + 2);
}
constexpr unsigned oneBits(std::size_t way) {
    return unsigned(way % 5 + 2);
}

// A pair of runs as each way writes it (splitRuns): the first and the last
// pair it becomes (as zeros | ones << 16), its bits when its first pair is
// written in full, and the bits of one more of it right after itself. A
// font has a few hundred different pairs, so each is priced once and the
// glyphs are priced from these, in every way at once.
struct PairPrices {
    static constexpr std::uint32_t Nothing = 0xFFFFFFFEu; // a pair that writes nothing
    std::array<std::uint32_t, Ways> first, last;
    std::array<std::int32_t, Ways> once, again;

    PairPrices(std::uint32_t zeros, std::uint32_t ones) {
        for (std::size_t way = 0; way < Ways; ++way) {
            const unsigned b0 = zeroBits(way), b1 = oneBits(way);
            std::uint32_t last0 = Nothing, first0 = Nothing;
            const auto price = [&](std::uint32_t after) {
                std::int32_t bits = 0;
                std::uint32_t previous = after;
                splitRuns(zeros, ones, (1u << b0) - 1, (1u << b1) - 1,
                          [&](std::uint32_t a, std::uint32_t b) {
                              const std::uint32_t pair = a | b << 16;
                              bits += pair == previous ? 1 : std::int32_t(1 + b0 + b1);
                              if (first0 == Nothing)
                                  first0 = pair;
                              previous = last0 = pair;
                          });
                return bits;
            };
            once[way] = price(0xFFFFFFFFu);
            first[way] = first0;
            last[way] = last0;
            again[way] = price(last0);
        }
    }
};

// A glyph's pairs, each the index of its prices and how many times it
// comes in a row.
struct Priced {
    std::uint32_t pair, times;
};

// The bits of a glyph's runs in every way: a pair like the one before is a
// single 1 bit, any other a 0 bit (none for the first) and its two fields.
std::array<std::int32_t, Ways> glyphBits(const Priced* runs, std::size_t count,
                                         const std::vector<PairPrices>& prices) {
    std::array<std::int32_t, Ways> bits{};
    std::array<std::uint32_t, Ways> previous;
    previous.fill(0xFFFFFFFFu);
    std::array<std::int32_t, Ways> fields;
    for (std::size_t way = 0; way < Ways; ++way)
        fields[way] = std::int32_t(zeroBits(way) + oneBits(way));
    bool written = false;
    for (std::size_t i = 0; i < count; ++i) {
        const PairPrices& p = prices[runs[i].pair];
        const std::int32_t more = std::int32_t(runs[i].times) - 1;
        written = written || p.first[0] != PairPrices::Nothing;
        for (std::size_t way = 0; way < Ways; ++way) {
            const std::int32_t repeats = p.first[way] == previous[way] ? fields[way] : 0;
            bits[way] += p.once[way] - repeats + more * p.again[way];
            previous[way] = p.last[way];
        }
    }
    if (written)
        for (std::int32_t& b : bits)
            --b; // the first pair has no bit before it
    return bits;
}

QString glyphLabel(char32_t cp) {
    return QStringLiteral("the glyph of %1").arg(codeName(cp));
}

// Runs work(part, first, last) over the glyphs [0, count): a large font in
// a few parts, each on a thread of its own, the glyphs of each on their own
// too. What a part throws is thrown again, the first part's first.
template <class Work> void inParts(std::size_t count, Work&& work) {
    constexpr std::size_t PerThread = 1024; // glyphs a thread is worth starting for
    const std::size_t parts =
        std::min<std::size_t>({std::max(1u, std::thread::hardware_concurrency()), 4,
                               std::max<std::size_t>(1, count / PerThread)});
    std::vector<std::exception_ptr> failures(parts);
    const auto run = [&](std::size_t part) {
        try {
            work(part, count * part / parts, count * (part + 1) / parts);
        } catch (...) {
            failures[part] = std::current_exception();
        }
    };
    std::vector<std::thread> threads;
    for (std::size_t part = 1; part < parts; ++part)
        threads.emplace_back(run, part);
    run(0);
    for (std::thread& t : threads)
        t.join();
    for (const std::exception_ptr& f : failures)
        if (f)
            std::rethrow_exception(f);
}

// The glyphs' boxes as the build mode places them, the font's box as its
// header gives it, and the width of each glyph field.
struct Layout {
    Box max;
    std::vector<Placed> placed;
    int wBits = 0, hBits = 0, xBits = 0, yBits = 0, dxBits = 0;

    unsigned fieldBits() const { return unsigned(wBits + hBits + xBits + yBits + dxBits); }
};

// bdfconv's bf_CalculateMaxBBX, bf_copy_bbx_and_update_shift and
// bf_CalculateMaxBitFieldSize; throws U8g2TooLarge for a field that takes
// more than the 8 bits u8g2 reads it into.
Layout place(const std::vector<Source>& glyphs, U8g2Mode mode) {
    Layout l;
    Box& max = l.max;
    max = glyphs.front().ink;
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

    l.placed.resize(glyphs.size());
    for (std::size_t i = 0; i < glyphs.size(); ++i) {
        const Source& s = glyphs[i];
        Placed& p = l.placed[i];
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

        const char32_t cp = s.glyph->code;
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
        l.wBits = std::max(l.wBits, unsignedBits(static_cast<unsigned long>(p.box.w)));
        l.hBits = std::max(l.hBits, unsignedBits(static_cast<unsigned long>(p.box.h)));
        l.xBits = std::max(l.xBits, signedBits(p.box.x));
        l.yBits = std::max(l.yBits, signedBits(p.box.y));
        l.dxBits = std::max(l.dxBits, signedBits(p.dx));
    }
    if (max.w > 255 || max.h > 255 || signedBits(max.x) > 8 || signedBits(max.y) > 8)
        throw U8g2TooLarge(0, QStringLiteral("the glyphs together span %1 x %2 pixels; u8g2 "
                                             "fonts hold a box of at most 255 x 255")
                                  .arg(max.w)
                                  .arg(max.h));
    return l;
}

// The runs of glyphs [first, last) in their placed boxes, counted once:
// rows from the top, each from the left, pairs of (0s, 1s), a pair that
// comes again in a row counted; each glyph's are found through its Placed.
void countRuns(const std::vector<Source>& glyphs, std::vector<Placed>& placed, std::size_t first,
               std::size_t last, std::vector<Runs>& runs) {
    for (std::size_t i = first; i < last; ++i) {
        const Source& s = glyphs[i];
        Placed& p = placed[i];
        p.runs = runs.size();
        const auto add = [&](std::uint32_t zeros, std::uint32_t ones) {
            if (runs.size() > p.runs && runs.back().zeros == zeros && runs.back().ones == ones)
                ++runs.back().times;
            else
                runs.push_back({zeros, ones, 1});
        };
        std::uint32_t count = 0, zeros = 0;
        bool ones = false;
        const auto pixel = [&](bool ink) {
            if (ink != ones) {
                if (ones)
                    add(zeros, count);
                else
                    zeros = count;
                ones = ink;
                count = 0;
            }
            ++count;
        };
        // The box's columns that fall on the glyph's samples.
        const long from = std::clamp(s.full.x - p.shift, p.box.x, p.box.x + p.box.w);
        const long to = std::clamp(s.full.x + s.full.w - p.shift, from, p.box.x + p.box.w);
        for (long y = p.box.y + p.box.h - 1; y >= p.box.y; --y) {
            const long r = s.full.y + s.full.h - 1 - y;
            if (r < 0 || r >= s.full.h) {
                for (long x = p.box.x; x < p.box.x + p.box.w; ++x)
                    pixel(false);
                continue;
            }
            const std::uint8_t* row = s.samples + std::size_t(r) * std::size_t(s.full.w);
            for (long x = p.box.x; x < from; ++x)
                pixel(false);
            for (long x = from; x < to; ++x)
                pixel(row[x + p.shift - s.full.x] != 0);
            for (long x = to; x < p.box.x + p.box.w; ++x)
                pixel(false);
        }
        if (ones)
            add(zeros, count);
        else
            add(count, 0);
        p.runCount = runs.size() - p.runs;
    }
}

// The run widths of the smallest font, the first of equals in bdfconv's
// order (0s outer, 1s inner): every glyph's record is whole bytes, so each
// glyph is priced on its own.
std::pair<unsigned, unsigned> smallestWidths(const std::vector<Source>& glyphs, const Layout& l,
                                             const std::vector<Runs>& runs) {
    // The different pairs, each priced once.
    std::vector<PairPrices> prices;
    std::vector<Priced> priced(runs.size());
    std::vector<std::int32_t> small(1 << 16, -1); // pairs of under 1024 0s and 64 1s
    std::unordered_map<std::uint32_t, std::uint32_t> large;
    for (std::size_t i = 0; i < runs.size(); ++i) {
        const std::uint32_t zeros = runs[i].zeros, ones = runs[i].ones;
        std::uint32_t id = std::uint32_t(prices.size());
        if (zeros < 1024 && ones < 64) {
            std::int32_t& known = small[zeros << 6 | ones];
            if (known >= 0)
                id = std::uint32_t(known);
            else
                known = std::int32_t(id);
        } else {
            id = large.emplace(zeros | ones << 16, id).first->second;
        }
        if (id == prices.size())
            prices.emplace_back(zeros, ones);
        priced[i] = {id, runs[i].times};
    }

    using Totals = std::array<unsigned long, Ways>;
    std::vector<Totals> parts(4, Totals{});
    inParts(glyphs.size(), [&](std::size_t part, std::size_t first, std::size_t last) {
        Totals& totals = parts[part];
        for (std::size_t i = first; i < last; ++i) {
            const Placed& p = l.placed[i];
            const std::array<std::int32_t, Ways> bits =
                glyphBits(priced.data() + p.runs, p.runCount, prices);
            const std::size_t head = glyphs[i].glyph->code > 255 ? 3 : 2;
            for (std::size_t way = 0; way < Ways; ++way)
                totals[way] += (head + (l.fieldBits() + std::size_t(bits[way]) + 1 + 7) / 8) * 8;
        }
    });
    Totals totals{};
    for (const Totals& t : parts)
        for (std::size_t way = 0; way < Ways; ++way)
            totals[way] += t[way];
    // The first of the smallest, in bdfconv's order.
    std::size_t best = 0;
    for (std::size_t way = 1; way < Ways; ++way)
        if (totals[way] < totals[best])
            best = way;
    return {zeroBits(best), oneBits(best)};
}

// A glyph's record: [code high][code low][size][bits], the code in one byte
// up to U+00FF; throws U8g2TooLarge when it reaches 255 bytes.
std::vector<std::uint8_t> record(const Source& s, const Placed& p, const Layout& l,
                                 const std::vector<Runs>& runs, unsigned b0, unsigned b1) {
    const char32_t cp = s.glyph->code;
    std::vector<std::uint8_t> r;
    core::appendBe(r, cp, cp > 255 ? 2 : 1);
    r.push_back(0); // its size, below
    // Least significant first, as bdfconv and u8g2 read them.
    core::BitWriter bits(r, core::BitOrder::LsbFirst);
    bits.write(std::uint32_t(p.box.w), l.wBits);
    bits.write(std::uint32_t(p.box.h), l.hBits);
    bits.write(std::uint32_t(p.box.x + (1L << (l.xBits - 1))), l.xBits);
    bits.write(std::uint32_t(p.box.y + (1L << (l.yBits - 1))), l.yBits);
    bits.write(std::uint32_t(p.dx + (1L << (l.dxBits - 1))), l.dxBits);
    bool first = true;
    std::uint32_t lastA = 0, lastB = 0;
    const auto write = [&](std::uint32_t a, std::uint32_t b) {
        if (!first && a == lastA && b == lastB) {
            bits.put(1);
            return;
        }
        if (!first)
            bits.put(0);
        bits.write(a, int(b0));
        bits.write(b, int(b1));
        first = false;
        lastA = a;
        lastB = b;
    };
    const std::uint32_t max0 = (1u << b0) - 1, max1 = (1u << b1) - 1;
    for (std::size_t k = p.runs; k < p.runs + p.runCount; ++k)
        for (std::uint32_t t = 0; t < runs[k].times; ++t)
            splitRuns(runs[k].zeros, runs[k].ones, max0, max1, write);
    bits.put(0);
    bits.alignToByte();
    if (r.size() >= 255)
        throw U8g2TooLarge(cp, QStringLiteral("%1 would take %2 bytes in the u8g2 font, which "
                                              "holds at most 254 a glyph")
                                   .arg(glyphLabel(cp))
                                   .arg(r.size()));
    r[cp > 255 ? 2 : 1] = std::uint8_t(r.size());
    return r;
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
    inParts(glyphs.size(), [&](std::size_t, std::size_t first, std::size_t last) {
        for (std::size_t i = first; i < last; ++i) {
            Source& s = glyphs[i];
            s.glyph = &set.glyphs[i];
            s.samples = set.samplesOf(*s.glyph);
            s.full = fullBox(*s.glyph);
            s.ink = inkBox(s);
            s.dwidth = s.glyph->advance >> 6;
        }
    });

    Layout layout = place(glyphs, mode);
    // Each part's runs on their own, then one after the other.
    struct Part {
        std::size_t first = 0, last = 0;
        std::vector<Runs> runs;
    };
    std::vector<Part> parts(4);
    inParts(glyphs.size(), [&](std::size_t part, std::size_t first, std::size_t last) {
        parts[part].first = first;
        parts[part].last = last;
        countRuns(glyphs, layout.placed, first, last, parts[part].runs);
    });
    std::vector<Runs> runs;
    for (const Part& part : parts) {
        for (std::size_t i = part.first; i < part.last; ++i)
            layout.placed[i].runs += runs.size();
        runs.insert(runs.end(), part.runs.begin(), part.runs.end());
    }
    // Not a structured binding: clang 14 cannot capture one in a lambda.
    const std::pair<unsigned, unsigned> widths = smallestWidths(glyphs, layout, runs);
    const unsigned best0 = widths.first, best1 = widths.second;
    std::vector<std::vector<std::uint8_t>> records(glyphs.size());
    inParts(glyphs.size(), [&](std::size_t, std::size_t first, std::size_t last) {
        for (std::size_t i = first; i < last; ++i)
            records[i] = record(glyphs[i], layout.placed[i], layout, runs, best0, best1);
    });
    const Box& max = layout.max;

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
         std::uint8_t(layout.wBits),
         std::uint8_t(layout.hBits),
         std::uint8_t(layout.xBits),
         std::uint8_t(layout.yBits),
         std::uint8_t(layout.dxBits),
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
            const std::size_t e = table + entry * 4;
            core::replaceField(f, e, delta, 2, core::ByteOrder::HighFirst);
            // The last entry keeps its end code, 0xFFFF, as bdfconv's does.
            if (entry + 1 < entries)
                core::replaceField(f, e + 2, cp, 2, core::ByteOrder::HighFirst);
            ++entry;
            inEntry = 0;
            delta = f.size() - blockStart;
            blockStart = f.size();
        }
    }
    if (entry < entries) {
        const std::size_t e = table + entry * 4;
        core::replaceField(f, e, delta, 2, core::ByteOrder::HighFirst);
        core::replaceField(f, e + 2, 0xFFFF, 2, core::ByteOrder::HighFirst);
    }
    f.push_back(0);
    f.push_back(0);
    // Where 'A', 'a' and the codes above U+00FF start, high byte first.
    core::replaceField(f, 17, posA, 2, core::ByteOrder::HighFirst);
    core::replaceField(f, 19, posa, 2, core::ByteOrder::HighFirst);
    core::replaceField(f, 21, unicodeStart, 2, core::ByteOrder::HighFirst);

    m_placed.reserve(layout.placed.size());
    for (const Placed& p : layout.placed)
        m_placed.push_back({p.box.x, p.box.y, p.box.w, p.box.h, p.shift, p.dx});
}

GlyphSet U8g2Font::drawn(const GlyphSet& set) const {
    GlyphSet d;
    d.settings = set.settings;
    d.settings.bits = 1;
    d.faceName = set.faceName;
    d.metrics = set.metrics;
    for (std::size_t i = 0; i < set.glyphs.size() && i < m_placed.size(); ++i) {
        const Place& p = m_placed[i];
        Source s;
        s.samples = set.samplesOf(set.glyphs[i]);
        s.full = fullBox(set.glyphs[i]);
        Glyph g = set.glyphs[i];
        g.left = int(p.x);
        g.top = int(p.y + p.h);
        g.width = int(p.w);
        g.height = int(p.h);
        g.advance = std::int32_t(p.dx * 64);
        g.linearAdvance = std::int32_t(p.dx * 65536);
        g.offset = d.samples.size();
        for (long y = p.y + p.h - 1; y >= p.y; --y)
            for (long x = p.x; x < p.x + p.w; ++x)
                d.samples.push_back(s.pixel(x + p.shift, y) ? 1 : 0);
        d.glyphs.push_back(g);
    }
    return d;
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
            // As printf's "\\%o": the octal digits without leading zeros.
            line += '\\';
            if (b >= 64)
                line += char('0' + (b >> 6));
            if (b >= 8)
                line += char('0' + ((b >> 3) & 7));
            line += char('0' + (b & 7));
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
