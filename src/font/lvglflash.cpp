#include "lvglflash.h"

#include "bytefields.h"
#include "fonterror.h"
#include "zt_flash_image.h"

#include <QChar>

#include <algorithm>
#include <cstring>
#include <map>
#include <memory>
#include <queue>
#include <tuple>

namespace zentraq::font {
namespace {

constexpr std::size_t MaxSpans = ZT_FLASH_MAX_SPANS;
constexpr std::uint64_t ChunkCodes = ZT_FLASH_CHUNK_CODES;
// The kerning columns of all glyphs together: at most this many bytes.
constexpr std::uint64_t MaxColumnBytes = std::uint64_t(64) << 20;

// The image's fields, low byte first.
void put8(QByteArray& b, std::uint64_t v) {
    core::appendLe(b, v, 1);
}
void put16(QByteArray& b, std::uint64_t v) {
    core::appendLe(b, v, 2);
}
void put32(QByteArray& b, std::uint64_t v) {
    core::appendLe(b, v, 4);
}
void put64(QByteArray& b, std::uint64_t v) {
    core::appendLe(b, v, 8);
}

// Glyphs begin .. end - 1 of the set.
struct Span {
    std::size_t begin, end;
};

class SpanCosts {
public:
    explicit SpanCosts(const std::vector<char32_t>& codes) : m_codes(codes) {}
    std::uint64_t length(const Span& s) const {
        return std::uint64_t(m_codes[s.end - 1] - m_codes[s.begin]) + 1;
    }
    bool full(const Span& s) const { return length(s) == s.end - s.begin; }
    std::uint64_t chunks(const Span& s) const {
        return full(s) ? 0 : (length(s) + ChunkCodes - 1) / ChunkCodes;
    }
    // Bytes of the image (and of the index in RAM) the span takes.
    std::uint64_t bytes(const Span& s) const {
        return ZT_FLASH_SPAN_BYTES + chunks(s) * ZT_FLASH_CHUNK_BYTES;
    }
    // What merging two neighbours adds (negative: saves).
    long long mergeDelta(const Span& a, const Span& b) const {
        return (long long)bytes({a.begin, b.end}) - (long long)bytes(a) - (long long)bytes(b);
    }

private:
    const std::vector<char32_t>& m_codes;
};

// The runs of consecutive codes as spans, then merged: first neighbours
// that cost at most MergeBytes more of flash for the 16 bytes of RAM they
// save, leaving runs of RunCodes codes or more full (a code of a full span
// is found without a read); then, while more than MaxSpans are left, the
// cheapest merges of any. Deterministic: equal costs go to the lower codes.
std::vector<Span> makeSpans(const std::vector<char32_t>& codes) {
    constexpr long long MergeBytes = 256;
    constexpr std::size_t RunCodes = 64;
    const SpanCosts cost(codes);
    struct Node {
        Span span;
        long prev, next;
        unsigned version;
        bool alive;
    };
    std::vector<Node> nodes;
    for (std::size_t i = 0; i < codes.size(); ++i) {
        if (i > 0 && codes[i] == codes[i - 1] + 1)
            nodes.back().span.end = i + 1;
        else
            nodes.push_back({{i, i + 1}, long(nodes.size()) - 1, long(nodes.size()) + 1, 0, true});
    }
    if (!nodes.empty())
        nodes.back().next = -1;
    std::size_t count = nodes.size();
    const auto longRun = [&](const Span& s) { return cost.full(s) && s.end - s.begin >= RunCodes; };

    // Merges neighbours, the cheapest first, while `wanted` says so.
    using Candidate = std::tuple<long long, long, unsigned, unsigned>; // delta, left, versions
    const auto mergeWhile = [&](const auto& allowed, const auto& wanted) {
        std::priority_queue<Candidate, std::vector<Candidate>, std::greater<>> queue;
        const auto offer = [&](long a) {
            if (a < 0 || nodes[std::size_t(a)].next < 0)
                return;
            const Node& l = nodes[std::size_t(a)];
            const Node& r = nodes[std::size_t(l.next)];
            const long long delta = cost.mergeDelta(l.span, r.span);
            if (allowed(l.span, r.span, delta))
                queue.emplace(delta, a, l.version, r.version);
        };
        for (long a = 0; a >= 0 && std::size_t(a) < nodes.size(); ++a)
            if (nodes[std::size_t(a)].alive)
                offer(a);
        while (!queue.empty() && wanted()) {
            const auto [delta, a, va, vb] = queue.top();
            queue.pop();
            Node& l = nodes[std::size_t(a)];
            if (!l.alive || l.version != va || l.next < 0 ||
                nodes[std::size_t(l.next)].version != vb)
                continue;
            Node& r = nodes[std::size_t(l.next)];
            l.span.end = r.span.end;
            r.alive = false;
            l.next = r.next;
            if (r.next >= 0)
                nodes[std::size_t(r.next)].prev = a;
            ++l.version;
            --count;
            offer(l.prev);
            offer(a);
        }
    };
    mergeWhile([&](const Span& l, const Span& r,
                   long long delta) { return delta <= MergeBytes && !longRun(l) && !longRun(r); },
               [] { return true; });
    mergeWhile([](const Span&, const Span&, long long) { return true; },
               [&] { return count > MaxSpans; });
    std::vector<Span> spans;
    for (const Node& n : nodes)
        if (n.alive)
            spans.push_back(n.span);
    return spans;
}

bool readMemory(void* user, std::uint32_t offset, void* buf, std::uint32_t len) {
    const QByteArray& bytes = *static_cast<const QByteArray*>(user);
    const auto size = std::uint64_t(bytes.size());
    if (offset > size || len > size - offset)
        return false;
    std::memcpy(buf, bytes.constData() + offset, len);
    return true;
}

} // namespace

LvglFlashImage::LvglFlashImage(const GlyphSet& set, const LvglFont& font) {
    const std::size_t n = set.glyphs.size();
    if (n == 0 || n > 0xFFFF)
        requestError(QStringLiteral("a flash font holds 1 to 65535 characters, not %1").arg(n));
    std::vector<char32_t> codes;
    codes.reserve(n);
    for (const Glyph& g : set.glyphs) {
        if (!codes.empty() && g.code <= codes.back())
            fontFailure(QStringLiteral("the glyphs are not in code order"));
        codes.push_back(g.code);
    }
    const std::vector<Span> spans = makeSpans(codes);
    const SpanCosts cost(codes);

    // Kerning classes of left glyphs: those with the same values against
    // every right glyph (the C font's own classes when it keeps classes);
    // each glyph's column holds its value after a glyph of each class.
    std::vector<std::uint16_t> leftClass(n, 0);
    std::vector<std::int8_t> columns;
    std::size_t classCount = 0;
    const auto tooMany = [n](std::size_t classes) {
        if (classes > 0xFFFF - ZT_FLASH_GLYPH_BYTES)
            requestError(QStringLiteral("the kerning needs %1 classes of left glyphs, more than a "
                                        "flash font holds; give --no-kerning")
                             .arg(classes));
        if (std::uint64_t(n) * classes > MaxColumnBytes)
            requestError(QStringLiteral("the kerning of %1 glyphs in %2 classes would take %3 MiB "
                                        "of the flash font, more than %4 MiB; give --no-kerning")
                             .arg(n)
                             .arg(classes)
                             .arg(std::uint64_t(n) * classes >> 20)
                             .arg(MaxColumnBytes >> 20));
    };
    if (font.kernClasses()) {
        classCount = std::size_t(font.leftKernClasses());
        std::vector<std::size_t> first(classCount + 1, n);
        for (std::size_t i = 0; i < n; ++i) {
            const std::size_t c = std::size_t(font.leftKernClass(i));
            leftClass[i] = std::uint16_t(c);
            if (c && first[c] == n)
                first[c] = i;
        }
        columns.assign(n * classCount, 0);
        for (std::size_t c = 1; c <= classCount; ++c)
            if (first[c] < n)
                for (std::size_t j = 0; j < n; ++j)
                    columns[j * classCount + c - 1] = std::int8_t(font.kernValue(first[c], j));
    } else {
        std::map<std::vector<std::pair<std::size_t, int>>, std::size_t> classes;
        std::vector<std::vector<std::pair<std::size_t, int>>> rows(n);
        for (const LvglFont::StoredPair& p : font.storedPairs())
            rows[p.left].emplace_back(p.right, p.value);
        for (std::size_t i = 0; i < n; ++i) {
            if (rows[i].empty())
                continue;
            const auto [it, added] = classes.emplace(rows[i], classes.size() + 1);
            tooMany(it->second);
            leftClass[i] = std::uint16_t(it->second);
        }
        classCount = classes.size();
        columns.assign(n * classCount, 0);
        for (std::size_t i = 0; i < n; ++i)
            for (const auto& [right, value] : rows[i])
                columns[right * classCount + leftClass[i] - 1] = std::int8_t(value);
    }
    tooMany(classCount);
    const std::size_t entryBytes = ZT_FLASH_GLYPH_BYTES + classCount;

    // Where everything goes.
    std::uint64_t at = ZT_FLASH_HEADER_BYTES + spans.size() * ZT_FLASH_SPAN_BYTES;
    std::vector<std::uint64_t> chunkTables;
    for (const Span& s : spans) {
        chunkTables.push_back(cost.full(s) ? 0 : at);
        at += cost.chunks(s) * ZT_FLASH_CHUNK_BYTES;
    }
    const std::uint64_t glyphTable = at;
    at += std::uint64_t(n) * entryBytes;
    const std::uint64_t bitmapArea = at;
    std::uint64_t maxW = 0, maxH = 0, maxDecoded = 0, maxStored = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const Glyph& g = set.glyphs[i];
        if (g.width > ZT_FLASH_MAX_BOX || g.height > ZT_FLASH_MAX_BOX)
            requestError(QStringLiteral("%1 is %2x%3 pixels, larger than the %4 pixels a side of a "
                                        "flash font")
                             .arg(codeName(g.code))
                             .arg(g.width)
                             .arg(g.height)
                             .arg(ZT_FLASH_MAX_BOX));
        if (font.advance16(i) > 0xFFFF)
            requestError(
                QStringLiteral("%1 advances too far for a flash font").arg(codeName(g.code)));
        maxW = std::max<std::uint64_t>(maxW, std::uint64_t(g.width));
        maxH = std::max<std::uint64_t>(maxH, std::uint64_t(g.height));
        maxDecoded = std::max<std::uint64_t>(
            maxDecoded, (std::uint64_t(g.width) * std::uint64_t(g.height) * font.bpp() + 7) / 8);
        maxStored = std::max<std::uint64_t>(maxStored, font.bitmap(i).size());
        at += font.bitmap(i).size();
    }
    if (at > 0xFFFFFFFFu)
        requestError(QStringLiteral("the flash font would take %1 bytes, more than the 4 GiB its "
                                    "offsets reach")
                         .arg(at));

    QByteArray b;
    b.reserve(qsizetype(at));
    b.append("ZTFF", 4);
    put16(b, ZT_FLASH_IMAGE_VERSION);
    put16(b, ZT_FLASH_HEADER_BYTES);
    put32(b, std::uint32_t(at));
    put32(b, std::uint32_t(n));
    put32(b, ZT_FLASH_HEADER_BYTES);
    put32(b, std::uint32_t(glyphTable));
    put16(b, unsigned(spans.size()));
    put16(b, unsigned(entryBytes));
    put16(b, unsigned(classCount));
    put16(b, unsigned(font.kernScale()));
    put16(b, unsigned(font.lineHeight()));
    put16(b, unsigned(font.baseLine()));
    put8(b, unsigned(font.underlinePosition()));
    put8(b, unsigned(font.underlineThickness()));
    put8(b, unsigned(font.bpp()));
    put8(b, unsigned(font.bitmapFormat()));
    put16(b, unsigned(maxW));
    put16(b, unsigned(maxH));
    put32(b, std::uint32_t(maxDecoded));
    put32(b, std::uint32_t(maxStored));
    put16(b, unsigned(set.settings.pixelSize));
    put16(b, 0);
    put32(b, std::uint32_t(bitmapArea));
    put32(b, 0);

    for (std::size_t k = 0; k < spans.size(); ++k) {
        const Span& s = spans[k];
        put32(b, codes[s.begin]);
        put32(b, std::uint32_t(cost.length(s)));
        put32(b, std::uint32_t(chunkTables[k]));
        put16(b, unsigned(s.begin + 1));
        put8(b, cost.full(s) ? ZT_FLASH_SPAN_FULL : ZT_FLASH_SPAN_RANKED);
        put8(b, 0);
    }
    for (const Span& s : spans) {
        const std::uint64_t chunks = cost.chunks(s);
        std::size_t i = s.begin;
        for (std::uint64_t c = 0; c < chunks; ++c) {
            const char32_t from = codes[s.begin] + char32_t(c * ChunkCodes);
            std::uint64_t present = 0;
            const std::size_t first = i;
            for (; i < s.end && codes[i] - from < ChunkCodes; ++i)
                present |= std::uint64_t(1) << (codes[i] - from);
            put16(b, present ? unsigned(first + 1) : 0);
            put64(b, present);
        }
    }
    std::uint64_t bitmap = bitmapArea;
    for (std::size_t i = 0; i < n; ++i) {
        const Glyph& g = set.glyphs[i];
        put32(b, std::uint32_t(bitmap));
        put32(b, std::uint32_t(font.bitmap(i).size()));
        put16(b, font.advance16(i));
        put16(b, unsigned(g.width));
        put16(b, unsigned(g.height));
        put16(b, unsigned(g.left));
        put16(b, unsigned(g.top - g.height));
        put16(b, leftClass[i]);
        if (classCount)
            b.append(reinterpret_cast<const char*>(columns.data() + i * classCount),
                     qsizetype(classCount));
        bitmap += font.bitmap(i).size();
    }
    for (std::size_t i = 0; i < n; ++i)
        b.append(reinterpret_cast<const char*>(font.bitmap(i).data()),
                 qsizetype(font.bitmap(i).size()));

    m_image = b;
    m_spans = int(spans.size());
    m_ranked = int(
        std::count_if(spans.begin(), spans.end(), [&](const Span& s) { return !cost.full(s); }));
    m_leftClasses = int(classCount);
    m_maxDecoded = std::uint32_t(maxDecoded);
}

QString LvglFlashImage::describe() const {
    const int index = m_spans * ZT_FLASH_SPAN_BYTES;
    QString text =
        QStringLiteral("%1 spans (%2 ranked), a %3-byte index and a %4-byte glyph buffer "
                       "in RAM")
            .arg(m_spans)
            .arg(m_ranked)
            .arg(index)
            .arg(m_maxDecoded);
    if (m_leftClasses)
        text += QStringLiteral(", %1 kerning classes").arg(m_leftClasses);
    return text;
}

Sample LvglFlashImage::sample(QStringView text) const {
    zt_flash_image img;
    void* user = const_cast<QByteArray*>(&m_image);
    if (zt_flash_image_open(&img, readMemory, user, 0) != ZT_FLASH_OK)
        fontFailure(QStringLiteral("the flash font does not read back"));
    std::vector<zt_flash_span> index(img.span_count);
    if (zt_flash_image_load_index(&img, index.data()) != ZT_FLASH_OK)
        fontFailure(QStringLiteral("the flash font's index does not read back"));
    std::vector<std::uint8_t> scratch(zt_flash_image_scratch_bytes(&img));
    std::vector<std::uint8_t> decoded(std::max<std::uint32_t>(img.max_decoded, 1));
    std::vector<std::uint8_t> stored(std::max<std::uint32_t>(img.max_stored, 1));

    // The text's characters the image has, each once, in code order.
    std::vector<char32_t> codes;
    for (qsizetype i = 0; i < text.size(); ++i) {
        char32_t cp = text[i].unicode();
        if (QChar::isHighSurrogate(cp) && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
            cp = QChar::surrogateToUcs4(text[i].unicode(), text[i + 1].unicode());
            ++i;
        }
        if (cp != U'\n')
            codes.push_back(cp);
    }
    std::sort(codes.begin(), codes.end());
    codes.erase(std::unique(codes.begin(), codes.end()), codes.end());

    GlyphSet set;
    set.settings.bits = img.bpp;
    std::vector<zt_flash_glyph> found;
    for (const char32_t cp : codes) {
        zt_flash_glyph g;
        if (!zt_flash_image_find(&img, cp, 0, &g, nullptr, scratch.data()))
            continue;
        if (!zt_flash_image_bitmap(&img, &g, decoded.data(), std::uint32_t(decoded.size()),
                                   stored.data(), std::uint32_t(stored.size())))
            fontFailure(QStringLiteral("the bitmap of %1 does not read back").arg(codeName(cp)));
        Glyph glyph;
        glyph.code = cp;
        glyph.left = g.ofs_x;
        glyph.top = g.ofs_y + g.box_h;
        glyph.width = g.box_w;
        glyph.height = g.box_h;
        glyph.offset = set.samples.size();
        const std::size_t pixels = std::size_t(g.box_w) * g.box_h;
        for (std::size_t p = 0; p < pixels; ++p) {
            const std::size_t bit = p * img.bpp;
            set.samples.push_back(
                std::uint8_t(decoded[bit / 8] >> (8 - img.bpp - bit % 8) & ((1u << img.bpp) - 1)));
        }
        set.glyphs.push_back(glyph);
        found.push_back(g);
    }
    const PenAdvance pen = [&](std::size_t i, long next) {
        std::int8_t kern = 0;
        zt_flash_glyph right;
        if (next >= 0 && found[i].left_class)
            zt_flash_image_find(&img, set.glyphs[std::size_t(next)].code, found[i].left_class,
                                &right, &kern, scratch.data());
        return int(zt_flash_image_advance(&img, found[i].adv_w, kern));
    };
    return drawSample(set, text, pen, img.line_height - img.base_line, -img.base_line);
}

namespace {

// The font: the C font's encoding (LVGL 9's, which 8.3 reads alike through
// the runtime) laid out as the image.
class LvglFlashResult : public FontResult {
public:
    LvglFlashResult(FontSource source, const FontSettings& s)
        : FontResult(std::move(source), s),
          m_font(m_set, s.kerning ? sourceKerning(m_source, s.kerningRule) : Kerning{}, options()),
          m_image(m_set, m_font) {}

    int penAdvance(std::size_t glyph, long next) const override {
        return m_font.penAdvance(glyph, next);
    }
    QString summary() const override {
        return FontResult::summary() + QStringLiteral(", %1 pixels a line, %2 kerning pairs, %3")
                                           .arg(m_font.lineHeight())
                                           .arg(m_font.kernPairCount())
                                           .arg(m_image.describe());
    }
    // Drawn from the image, as the runtime reads it.
    Sample sample(QStringView text) const override { return m_image.sample(text); }

private:
    LvglOptions options() const {
        LvglOptions o;
        o.compress = m_settings.compress;
        o.prefilter = m_settings.prefilter;
        o.name = "font";
        o.comment = describe();
        return o;
    }
    void writeTo(core::ByteSink& sink) override {
        sink.write(m_image.bytes().constData(), m_image.bytes().size());
    }

    LvglFont m_font;
    LvglFlashImage m_image;
};

class LvglFlashWriter : public FontWriter {
public:
    const char* name() const override { return "lvgl-flash"; }
    const char* summary() const override {
        return "an LVGL font image read from external flash glyph by glyph (the runtime is in "
               "share/zentraq/lvgl)";
    }
    bool binary() const override { return true; }
    bool takes(const char* option) const override {
        for (const char* o : {"size", "bpp", "no-hinting", "autohint-off", "autohint-strong",
                              "lvgl", "no-compress", "no-prefilter", "kerning", "no-kerning"})
            if (std::strcmp(option, o) == 0)
                return true;
        return false;
    }
    // As lvgl's, but one image serves LVGL 9 and 8.3: --lvgl 8 is refused.
    void check(FontSettings& s, const core::Options& options) const override {
        readLvglSettings(s, options);
        if (s.lvglVersion != 9)
            options.refuse(
                QStringLiteral("the flash image serves LVGL 9 and 8.3 alike; leave --lvgl out"));
    }
    std::unique_ptr<FontResult> make(FontSource source, const FontSettings& s) const override {
        return std::make_unique<LvglFlashResult>(std::move(source), s);
    }
};

} // namespace

const FontWriter* lvglFlashWriter() {
    static const LvglFlashWriter writer;
    return &writer;
}

} // namespace zentraq::font
