#include "vlwfont.h"

#include "bytefields.h"
#include "fonterror.h"
#include "textout.h"

#include <QStringList>

#include <ft2build.h>
#include FT_FREETYPE_H

namespace zentraq::font {
namespace {

void putBe32(QByteArray& b, std::int32_t v) {
    core::appendBe(b, static_cast<std::uint32_t>(v), 4);
}

// Java's writeUTF: a 16-bit big-endian length, then each UTF-16 unit as
// modified UTF-8 (NUL as C0 80, each surrogate on its own).
void putJavaUtf(QByteArray& b, const QString& text) {
    QByteArray bytes;
    for (const QChar c : text) {
        const unsigned u = c.unicode();
        if (u >= 1 && u < 0x80) {
            bytes.append(char(u));
        } else if (u < 0x800) {
            bytes.append(char(0xC0 | (u >> 6))).append(char(0x80 | (u & 0x3F)));
        } else {
            bytes.append(char(0xE0 | (u >> 12)))
                .append(char(0x80 | ((u >> 6) & 0x3F)))
                .append(char(0x80 | (u & 0x3F)));
        }
        if (bytes.size() > 0xFFFF - 3)
            break;
    }
    core::appendBe(b, std::uint64_t(bytes.size()), 2);
    b.append(bytes);
}

const QString TakenElsewhere = QStringLiteral("; the lvgl format takes it");

[[noreturn]] void refuse(const QString& why) {
    requestError(why + TakenElsewhere);
}

const QString TooLarge =
    QStringLiteral("the glyph of %1 is larger than TFT_eSPI's 8-bit sizes hold");

} // namespace

GlyphBound vlwGlyphBound() {
    return {255, TooLarge + TakenElsewhere};
}

VlwMetrics vlwMetrics(const FontFace& face, const GlyphSet& set, VlwConvention convention) {
    if (convention == VlwConvention::Glyphs)
        return {set.ascent(), -set.descent()};
    const GlyphSet dp = renderGlyphs(face, set.settings, {U'd', U'p'});
    const FT_Face f = face.ft();
    VlwMetrics m{int((f->size->metrics.ascender + 32) >> 6),
                 int((-f->size->metrics.descender + 32) >> 6)};
    if (const Glyph* d = dp.find(U'd'))
        m.ascent = d->top;
    if (const Glyph* p = dp.find(U'p'))
        m.descent = p->height - p->top;
    return m;
}

QByteArray vlwBytes(const GlyphSet& set, const QString& postscriptName) {
    return vlwBytes(set, {set.ascent(), -set.descent()}, postscriptName);
}

QByteArray vlwBytes(const GlyphSet& set, const VlwMetrics& metrics, const QString& postscriptName) {
    if (set.glyphs.empty())
        requestError(QStringLiteral("a vlw font needs at least one character"));
    if (set.glyphs.size() > 0xFFFF)
        refuse(QStringLiteral("TFT_eSPI counts glyphs in 16 bits"));
    QByteArray b;
    putBe32(b, std::int32_t(set.glyphs.size()));
    putBe32(b, 11); // the version TFT_eSPI's own converter writes
    putBe32(b, set.settings.pixelSize);
    putBe32(b, 0);
    putBe32(b, metrics.ascent);
    putBe32(b, metrics.descent);
    for (const Glyph& g : set.glyphs) {
        const int advance = vlwAdvance(g);
        if (g.code > 0xFFFF)
            refuse(QStringLiteral("TFT_eSPI stores 16-bit codes and %1 is above U+FFFF")
                       .arg(codeName(g.code)));
        if (g.width > 255 || g.height > 255 || advance > 255 || advance < 0 || g.left < -128 ||
            g.left > 127)
            refuse(TooLarge.arg(codeName(g.code)));
        putBe32(b, std::int32_t(g.code));
        putBe32(b, g.height);
        putBe32(b, g.width);
        putBe32(b, advance);
        putBe32(b, g.top);
        putBe32(b, g.left);
        putBe32(b, 0);
    }
    const int max = set.maxLevel();
    for (const Glyph& g : set.glyphs) {
        const std::uint8_t* s = set.samplesOf(g);
        for (int i = 0; i < g.width * g.height; ++i)
            b.append(char(max == 255 ? s[i] : s[i] * 255 / max));
    }
    putJavaUtf(b, set.faceName);
    putJavaUtf(b, postscriptName);
    b.append(char(set.settings.bits > 1 ? 1 : 0));
    return b;
}

void writeVlwC(const QByteArray& bytes, const QByteArray& name, const QStringList& comment,
               core::ByteSink& sink) {
    TextOut out(sink);
    out << "/*\n";
    for (const QString& line : comment)
        out << " * " << commentLine(line) << "\n";
    out << " */\n\n#include <stdint.h>\n"
        << "#if defined(ARDUINO) && defined(__has_include)\n#if __has_include(<pgmspace.h>)\n"
        << "#include <pgmspace.h>\n#endif\n#endif\n#ifndef PROGMEM\n#define PROGMEM\n#endif\n\n"
        << core::declarationText({"const", {}, "uint8_t", core::textView(name), -1, "PROGMEM"},
                                 "\n");
    out.hexBytes(reinterpret_cast<const std::uint8_t*>(bytes.constData()),
                 std::size_t(bytes.size()));
    out << "};\n";
    out.finish();
}

} // namespace zentraq::font
