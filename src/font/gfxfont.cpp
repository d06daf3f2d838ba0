#include "gfxfont.h"

#include "fonterror.h"
#include "lvglcompress.h"
#include "textout.h"

#include <QFileInfo>

#include <algorithm>
#include <cctype>
#include <cstdio>

namespace zentraq::font {
namespace {

// printf's text, however long: snprintf says how long it would be, and a
// longer one is made again in a buffer of that size.
QByteArray formatted(const char* format, auto... values) {
    char buffer[96];
    const int n = std::snprintf(buffer, sizeof buffer, format, values...);
    if (n < 0)
        return {};
    if (std::size_t(n) < sizeof buffer)
        return QByteArray(buffer, n);
    QByteArray text(n, '\0');
    std::snprintf(text.data(), std::size_t(n) + 1, format, values...);
    return text;
}

const QString TakenElsewhere = QStringLiteral("; the lvgl and vlw formats take it");

[[noreturn]] void refuse(const QString& why) {
    requestError(why + TakenElsewhere);
}

const QString TooLarge =
    QStringLiteral("the glyph of %1 is larger than GFX's 8-bit sizes and offsets hold");

} // namespace

GlyphBound gfxGlyphBound() {
    return {255, TooLarge + TakenElsewhere};
}

GfxSpan gfxSpan(const GlyphSet& set) {
    if (set.glyphs.empty())
        requestError(QStringLiteral("a GFX font needs at least one character"));
    const GfxSpan span{set.glyphs.front().code, set.glyphs.back().code};
    if (span.last > 0xFFFF)
        refuse(QStringLiteral("GFX stores 16-bit codes and %1 is above U+FFFF")
                   .arg(codeName(span.last)));
    const std::size_t length = span.last - span.first + 1;
    if (length > 8 * set.glyphs.size())
        refuse(QStringLiteral("a GFX font covers one span of codes, and %1 to %2 is %3 codes "
                              "for %4 characters (more than 8 times as many)")
                   .arg(codeName(span.first))
                   .arg(codeName(span.last))
                   .arg(length)
                   .arg(set.glyphs.size()));
    return span;
}

QByteArray gfxDefaultName(const QString& fileName, int points, char32_t last) {
    QByteArray name = QFileInfo(fileName).fileName().toUtf8();
    const qsizetype dot = name.lastIndexOf('.');
    if (dot >= 0)
        name.truncate(dot);
    name += QByteArray::number(points) + "pt" + (last > 127 ? "8b" : "7b");
    for (char& c : name) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x80 && (std::isspace(u) || std::ispunct(u)))
            c = '_';
    }
    return name;
}

void writeGfx(const GlyphSet& set, const QByteArray& name, core::ByteSink& sink) {
    const GfxSpan span = gfxSpan(set);
    const auto outside8 = [](int v) { return v < -128 || v > 127; };
    long yAdvance = set.metrics.lineHeight >> 6;
    if (yAdvance == 0)
        yAdvance = set.glyphs.front().height;
    if (yAdvance > 255)
        refuse(QStringLiteral("a line of %1 pixels is more than GFX's 8-bit line advance holds")
                   .arg(yAdvance));

    TextOut out(sink);
    // fontconvert's bitmap array: 12 bytes a line, no comma after the last.
    const QByteArray bitmaps = name + "Bitmaps";
    out << core::declarationText({"const", {}, "uint8_t", core::textView(bitmaps), -1, "PROGMEM"},
                                 "\n")
        << "  ";
    core::ArrayWriter items(out.block(), {"\n", "  ", " ", 12, core::ItemForm::Hex8, false});
    long offset = 0;
    struct Record {
        long offset;
        int width, height, advance, left, top;
    };
    std::vector<Record> records;
    BitWriter bits;
    std::size_t next = 0; // the next glyph of the set
    for (char32_t cp = span.first; cp <= span.last; ++cp) {
        // The set's glyph, or the .notdef glyph drawn for a character the
        // face lacks, or (a code not asked for) nothing.
        const Glyph* found = nullptr;
        if (next < set.glyphs.size() && set.glyphs[next].code == cp) {
            found = &set.glyphs[next++];
        } else {
            const auto it = std::lower_bound(set.notdefs.begin(), set.notdefs.end(), cp,
                                             [](const Glyph& n, char32_t c) { return n.code < c; });
            if (it != set.notdefs.end() && it->code == cp)
                found = &*it;
        }
        if (!found) {
            records.push_back({offset, 0, 0, 0, 0, 0});
            continue;
        }
        const Glyph& g = *found;
        const int advance = gfxAdvance(g);
        const int yOffset = 1 - g.top;
        if (g.width > 255 || g.height > 255 || advance > 255 || advance < 0 || outside8(g.left) ||
            outside8(yOffset))
            refuse(TooLarge.arg(codeName(cp)));
        if (offset > 0xFFFF)
            refuse(QStringLiteral("the bitmaps take more than the 64 KiB GFX's 16-bit offsets "
                                  "reach"));
        records.push_back({offset, g.width, g.height, advance, g.left, yOffset});
        bits.clear();
        writePlain(set.samplesOf(g), g.width * g.height, 1, bits);
        items.bytes(bits.bytes().data(), std::ptrdiff_t(bits.bytes().size()));
        offset += long(bits.bytes().size());
    }
    out << " };\n\n";

    out << "const GFXglyph " << name << "Glyphs[] PROGMEM = {\n";
    const auto printable = [](char32_t c) { return c >= ' ' && c <= '~'; };
    for (char32_t cp = span.first; cp <= span.last; ++cp) {
        const Record& r = records[cp - span.first];
        out << formatted("  { %5ld, %3d, %3d, %3d, %4d, %4d }", r.offset, r.width, r.height,
                         r.advance, r.left, r.top);
        if (cp < span.last) {
            out << formatted(",   // 0x%02X", unsigned(cp));
            if (printable(cp))
                out << formatted(" '%c'", int(cp));
            out << "\n";
        }
    }
    out << formatted(" }; // 0x%02X", unsigned(span.last));
    if (printable(span.last))
        out << formatted(" '%c'", int(span.last));
    out << "\n\n";

    out << "const GFXfont " << name << " PROGMEM = {\n"
        << "  (uint8_t  *)" << name << "Bitmaps,\n"
        << "  (GFXglyph *)" << name << "Glyphs,\n"
        << formatted("  0x%02X, 0x%02X, %ld };\n\n", unsigned(span.first), unsigned(span.last),
                     yAdvance)
        << formatted("// Approx. %ld bytes\n", offset + long(span.last - span.first + 1) * 7 + 7);
    out.finish();
}

} // namespace zentraq::font
