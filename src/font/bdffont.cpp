#include "bdffont.h"

#include "bitwriter.h"
#include "carray.h"
#include "textout.h"

#include <QStringList>

#include <algorithm>
#include <climits>
#include <cstdio>

namespace zentraq::font {
namespace {

// A BDF string: in double quotes, a quote inside doubled.
QByteArray quoted(const QByteArray& text) {
    QByteArray out = "\"";
    for (const char c : text) {
        if (c == '\n' || c == '\r')
            out += ' ';
        else
            out += c == '"' ? QByteArray("\"\"") : QByteArray(1, c);
    }
    return out + '"';
}

// The 14 fields of an XLFD name, or nothing when `name` is not one.
std::optional<QList<QByteArray>> xlfdFields(const QByteArray& name) {
    if (!name.startsWith('-'))
        return std::nullopt;
    QList<QByteArray> fields = name.mid(1).split('-');
    if (fields.size() != 14)
        return std::nullopt;
    return fields;
}

// A row of samples as BDF has it: a bit a pixel, the leftmost in bit 7,
// each byte in two hexadecimal digits.
QByteArray hexRow(const std::uint8_t* samples, int width) {
    core::BitWriter bits(core::BitOrder::MsbFirst);
    for (int x = 0; x < width; ++x)
        bits.put(samples[x] ? 1u : 0u);
    QByteArray row;
    for (const std::uint8_t b : bits.bytes())
        row += core::hexText(b) + 2; // without its "0x"
    return row;
}

} // namespace

void writeBdf(const GlyphSet& set, const BdfNames& names, const QStringList& comment,
              core::ByteSink& sink) {
    const int pixels = names.pixelSize > 0 ? names.pixelSize : 1;
    const int resolutionY = names.resolutionY > 0 ? names.resolutionY : 72;
    const int point10 = names.pointSize10 > 0 ? names.pointSize10 : pixels * 720 / resolutionY;

    long widths = 0;
    for (const Glyph& g : set.glyphs)
        widths += g.width;
    const long average = set.glyphs.empty() ? 0 : widths * 10 / long(set.glyphs.size());

    QByteArray font;
    if (names.font && xlfdFields(*names.font)) {
        font = *names.font;
    } else {
        QByteArray family = set.faceName.toUtf8();
        family.replace('-', ' ');
        font = "-Zentraq-" + family + "-Medium-R-Normal--" + QByteArray::number(pixels) + "-" +
               QByteArray::number(point10) + "-" + QByteArray::number(names.resolutionX) + "-" +
               QByteArray::number(resolutionY) + "-P-" + QByteArray::number(average) +
               "-ISO10646-1";
    }
    const QList<QByteArray> x = *xlfdFields(font);
    const auto numberOr = [](const QByteArray& field, long fallback) {
        bool ok = false;
        const long v = field.toLong(&ok);
        return ok ? v : fallback;
    };

    // The box of every glyph's box.
    long x0 = LONG_MAX, y0 = LONG_MAX, x1 = LONG_MIN, y1 = LONG_MIN;
    for (const Glyph& g : set.glyphs) {
        if (g.width == 0 || g.height == 0)
            continue;
        x0 = std::min<long>(x0, g.left);
        x1 = std::max<long>(x1, g.left + g.width);
        y0 = std::min<long>(y0, g.top - g.height);
        y1 = std::max<long>(y1, g.top);
    }
    if (x1 < x0)
        x0 = x1 = y0 = y1 = 0;

    QList<QByteArray> properties{
        "FOUNDRY " + quoted(x[0]),
        "FAMILY_NAME " + quoted(x[1]),
        "WEIGHT_NAME " + quoted(x[2]),
        "SLANT " + quoted(x[3]),
        "SETWIDTH_NAME " + quoted(x[4]),
        "ADD_STYLE_NAME " + quoted(x[5]),
        "PIXEL_SIZE " + QByteArray::number(numberOr(x[6], pixels)),
        "POINT_SIZE " + QByteArray::number(numberOr(x[7], point10)),
        "RESOLUTION_X " + QByteArray::number(numberOr(x[8], names.resolutionX)),
        "RESOLUTION_Y " + QByteArray::number(numberOr(x[9], resolutionY)),
        "SPACING " + quoted(x[10]),
        "AVERAGE_WIDTH " + QByteArray::number(numberOr(x[11], average)),
        "CHARSET_REGISTRY " + quoted(x[12]),
        "CHARSET_ENCODING " + quoted(x[13]),
        "FONT_ASCENT " + QByteArray::number(names.ascent),
        "FONT_DESCENT " + QByteArray::number(names.descent),
    };
    if (names.copyright)
        properties << "COPYRIGHT " + quoted(*names.copyright);

    TextOut out(sink);
    out << "STARTFONT 2.1\n";
    for (const QString& line : comment)
        out << "COMMENT " << line.toUtf8().replace('\n', ' ').replace('\r', ' ') << "\n";
    out << "FONT " << font << "\n";
    out << "SIZE " << (point10 + 5) / 10 << " " << names.resolutionX << " " << resolutionY << "\n";
    out << "FONTBOUNDINGBOX " << (long long)(x1 - x0) << " " << (long long)(y1 - y0) << " "
        << (long long)x0 << " " << (long long)y0 << "\n";
    out << "STARTPROPERTIES " << int(properties.size()) << "\n";
    for (const QByteArray& p : properties)
        out << p << "\n";
    out << "ENDPROPERTIES\nCHARS " << (long long)set.glyphs.size() << "\n";
    char name[32];
    for (const Glyph& g : set.glyphs) {
        const long dwidth = g.advance >> 6;
        const long swidth = dwidth * 720000L / (long(point10) * resolutionY);
        std::snprintf(name, sizeof name, g.code > 0xFFFF ? "u%05X" : "uni%04X", unsigned(g.code));
        out << "STARTCHAR " << name << "\nENCODING " << unsigned(g.code) << "\nSWIDTH "
            << (long long)swidth << " 0\nDWIDTH " << (long long)dwidth << " 0\nBBX " << g.width
            << " " << g.height << " " << g.left << " " << g.top - g.height << "\nBITMAP\n";
        const std::uint8_t* s = set.samplesOf(g);
        for (int y = 0; y < g.height; ++y)
            out << (g.width > 0 ? hexRow(s + std::size_t(y) * std::size_t(g.width), g.width)
                                : QByteArray("00"))
                << "\n";
        out << "ENDCHAR\n";
    }
    out << "ENDFONT\n";
    out.finish();
}

} // namespace zentraq::font
