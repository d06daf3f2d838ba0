// zentraq-cli font: a face and a set of characters into one font file for an
// embedded GUI library (LVGL, Adafruit GFX, TFT_eSPI, u8g2) or a BDF file.
#include "bdffont.h"
#include "bdfnames.h"
#include "charset.h"
#include "charsets.h"
#include "commands.h"
#include "csource.h"
#include "error.h"
#include "fonterror.h"
#include "fonts.h"
#include "gfxfont.h"
#include "input.h"
#include "kerning.h"
#include "lvglfont.h"
#include "output.h"
#include "process.h"
#include "sample.h"
#include "u8g2font.h"
#include "vlwfont.h"

#include <QBuffer>
#include <QFileInfo>

namespace zentraq::cli {
namespace {

// clang-format off
constexpr OptionDef Options[] = {
    {"font", "FAMILY", "the installed family (its exact name, as fc-list : family shows it)"},
    {"font-file", "PATH", "a font file: TTF, OTF, a TTC/OTC collection (see --face-index), or a bitmap font (BDF, PCF, PCF.gz)"},
    {"face-index", "N", "--font-file: the face of a collection, from 0 (default 0)"},
    {"size", "PX", "the size in pixels, 1 to 1024 (lvgl, lvgl-bin, vlw, vlw-c; u8g2, u8g2-bin, bdf: the same as --points); a bitmap font's size is one of its strikes"},
    {"points", "PT", "gfx: the size in points at --dpi, as GFX's fontconvert takes it; u8g2, u8g2-bin, bdf: at 72 dpi, as otf2bdf -r 72 -p PT"},
    {"dpi", "N", "gfx: dots per inch for --points, 1 to 1200 (default 141, fontconvert's)"},
    {"range", "A-B", "characters: codes A to B, or one code, hexadecimal after 0x or decimal; several separated by commas; may be repeated", nullptr, true},
    {"symbols", "TEXT", "characters: each character of TEXT; may be repeated", nullptr, true},
    {"charset", "SET", "characters: ascii, gb2312 or gbk (their assigned characters), or the distinct characters of a UTF-8 FILE; may be repeated", nullptr, true},
    {"format", "lvgl|lvgl-bin|gfx|vlw|vlw-c|u8g2|u8g2-bin|bdf", "lvgl: C source of an LVGL font (default); lvgl-bin: LVGL's binary font; gfx: an Adafruit GFX header; vlw: a TFT_eSPI smooth font; vlw-c: the same as a C array; u8g2: a u8g2 font as C, as bdfconv writes it; u8g2-bin: its bytes; bdf: a BDF 2.1 font file"},
    {"bpp", "1|2|4|8", "bits a pixel (default 4 for lvgl, 8 for vlw; gfx, u8g2 and bdf are 1)"},
    {"lvgl", "9|8", "lvgl, lvgl-bin: for LVGL 9 (default) or 8.3"},
    {"u8g2-mode", "t|h|m|8", "u8g2, u8g2-bin: bdfconv's build mode: t each glyph its own box (default), h every glyph as high as the font, m every glyph the font's box (monospaced), 8 every glyph 8x8"},
    {"no-compress", nullptr, "lvgl, lvgl-bin: plain bitmaps (default: run-length coded from 2 bits a pixel on)"},
    {"no-prefilter", nullptr, "lvgl, lvgl-bin: compressed without XOR-ing each row with the row above"},
    {"kerning", "script|lvgl-compatible", "lvgl, lvgl-bin: script (default): each pair kerned in its characters' script, as HarfBuzz kerns text; lvgl-compatible: the DFLT (else latn) script's pairs only, as lv_font_conv 1.5.3 reads them, for fonts equal to its byte for byte"},
    {"no-kerning", nullptr, "lvgl, lvgl-bin: leave the face's kerning out"},
    {"no-hinting", nullptr, "lvgl, vlw: the outlines as they are, not fitted to the pixels by the autohinter"},
    {"lv-include", "PATH", "lvgl: the LVGL header to include (default lvgl/lvgl.h)"},
    {"name", "NAME", "the C name of lvgl, gfx, vlw-c and u8g2 (default: the output's name; gfx: fontconvert's, e.g. DejaVuSans12pt7b)"},
    {"vlw-metrics", "glyphs|processing", "vlw, vlw-c: the header's ascent and descent: glyphs (default): the highest and lowest ink of the set; processing: the top of \"d\" and the bottom of \"p\", as Processing's font tool writes them"},
    {"sample", "TEXT", "also draw TEXT with the glyphs, metrics and kerning of the file, as the library draws it ..."},
    {"sample-output", "PNG", "... into this PNG picture, black on white"},
    {"missing", nullptr, "convert nothing: list the characters the face lacks; exit status 1 if there are any"},
    option::Output, option::Depfile, option::KeepUnchanged,
    {"q,quiet", nullptr, "no summary on standard error"},
};
// clang-format on

bool binaryFormat(FontFormat f) {
    return f == FontFormat::LvglBinary || f == FontFormat::Vlw || f == FontFormat::U8g2Binary;
}

// The formats of one-bit glyphs made as u8g2's fonts are made.
bool u8g2Like(FontFormat f) {
    return f == FontFormat::U8g2 || f == FontFormat::U8g2Binary || f == FontFormat::Bdf;
}

std::optional<FontFormat> formatNamed(QStringView n) {
    for (const auto& [name, format] :
         {std::pair{u"lvgl", FontFormat::Lvgl}, std::pair{u"lvgl-bin", FontFormat::LvglBinary},
          std::pair{u"gfx", FontFormat::Gfx}, std::pair{u"vlw", FontFormat::Vlw},
          std::pair{u"vlw-c", FontFormat::VlwC}, std::pair{u"u8g2", FontFormat::U8g2},
          std::pair{u"u8g2-bin", FontFormat::U8g2Binary}, std::pair{u"bdf", FontFormat::Bdf}})
        if (n == name)
            return format;
    return std::nullopt;
}

std::optional<int> u8g2ModeNamed(QStringView n) {
    for (const int mode : {0, 1, 2, 3})
        if (n == QLatin1String(font::U8g2Font::modeName(font::U8g2Mode(mode))))
            return mode;
    return std::nullopt;
}

std::vector<char32_t> characters(const FontOptions& o) {
    font::CharacterSet set;
    for (const QString& r : o.ranges) {
        QString problem;
        const auto ranges = font::parseCodeRanges(r, &problem);
        if (!ranges)
            usageError(QStringLiteral("--range: ") + problem);
        for (const font::CodeRange& range : *ranges)
            set.addRange(range);
    }
    for (const QString& s : o.symbols)
        set.addText(s);
    for (const QString& c : o.charsets) {
        glyph::CharsetResult result;
        if (glyph::charsetNames().contains(c)) {
            result = glyph::namedCharset(c);
        } else if (exists(c)) {
            result = glyph::textCharset(readWhole(c));
            if (result.problem == glyph::CharsetProblem::NotUtf8)
                failure(QStringLiteral("charset file '%1' is not UTF-8 text").arg(readable(c)));
        } else {
            usageError(
                QStringLiteral("--charset wants %1 or a charset file; '%2' is neither")
                    .arg(listed(glyph::charsetNames(), QStringLiteral(" or ")), readable(c)));
        }
        if (result.problem == glyph::CharsetProblem::NoConverter)
            failure(QStringLiteral("this system cannot decode %1 codes").arg(c));
        set.addCodes(result.charset.characters());
    }
    if (set.empty())
        usageError(
            QStringLiteral("the character set is empty: give --range, --symbols or --charset"));
    return set.characters();
}

// "U+4E2D '中', U+6587 '文' and 3 more".
QString firstFew(const std::vector<char32_t>& chars) {
    QStringList shown;
    for (std::size_t i = 0; i < chars.size() && i < 5; ++i)
        shown << core::characterLabel(chars[i]);
    if (chars.size() > 5)
        shown << QStringLiteral("%1 more").arg(chars.size() - 5);
    return listed(shown);
}

// A C name from a file name: letters, digits and '_'.
QString nameFrom(const QString& path, const QString& fallback) {
    QString n = path.isEmpty() || path == QLatin1String("-") ? fallback
                                                             : QFileInfo(path).completeBaseName();
    for (QChar& c : n)
        if (!(c.isLetterOrNumber() && c.unicode() < 0x80))
            c = u'_';
    if (n.isEmpty() || n[0].isDigit())
        n.prepend(u'_');
    return isCKeyword(n) ? n + u'_' : n;
}

class CountingSink : public core::ByteSink {
public:
    explicit CountingSink(core::ByteSink& to) : m_to(to) {}
    void write(const char* data, qint64 size) override {
        m_to.write(data, size);
        count += size;
    }
    qint64 count = 0;

private:
    core::ByteSink& m_to;
};

int runFont(const CommandLine& line) try {
    const FontOptions o = parseFont(line);
    const std::vector<char32_t> chars = characters(o);
    text::FaceChoice chosen{o.file, o.faceIndex, {}};
    if (o.file.isEmpty())
        chosen = installedFace(o.family);
    const QString& path = chosen.file;
    const int index = chosen.index;
    const bool gfx = o.format == FontFormat::Gfx;
    const bool vlw = o.format == FontFormat::Vlw || o.format == FontFormat::VlwC;
    const bool u8g2 = o.format == FontFormat::U8g2 || o.format == FontFormat::U8g2Binary;
    if (u8g2)
        font::checkU8g2Codes(chars);
    font::RenderSettings settings;
    settings.rendering = gfx                  ? font::Rendering::Bytecode
                         : u8g2Like(o.format) ? font::Rendering::Otf2bdf
                                              : font::Rendering::Autohinted;
    settings.pixelSize = o.size;
    settings.points = o.points;
    settings.dpi = o.dpi;
    settings.bits = o.bpp;
    settings.hinting = o.hinting;
    settings.bound = gfx ? font::gfxGlyphBound() : vlw ? font::vlwGlyphBound() : font::GlyphBound{};
    const font::FontFace face(readWhole(path), index, readable(path),
                              font::interpreterFor(settings));
    if (o.missing) {
        // The face's character map alone: nothing is drawn.
        QByteArray listing;
        std::size_t missing = 0;
        for (const char32_t c : chars)
            if (face.glyphIndex(c) == 0) {
                listing += core::characterLabel(c).toUtf8() + '\n';
                ++missing;
            }
        StdoutSink().write(listing);
        if (!o.quiet)
            note(QStringLiteral("%1 of %2 characters are not in %3")
                     .arg(missing)
                     .arg(chars.size())
                     .arg(face.name()));
        return missing == 0 ? 0 : 1;
    }
    const font::GlyphSet set = font::renderGlyphs(face, settings, chars);
    if (set.glyphs.empty())
        failure(QStringLiteral("none of the %1 characters is in %2")
                    .arg(chars.size())
                    .arg(set.faceName));
    if (!set.missing.empty() && !o.quiet)
        note((gfx ? QStringLiteral("%1 of the %2 characters are not in %3: %4; within the font's "
                                   "span they get its .notdef glyph, as fontconvert gives them, "
                                   "the others are left out")
                  : QStringLiteral("%1 of the %2 characters are not in %3 and are left out: %4"))
                 .arg(set.missing.size())
                 .arg(chars.size())
                 .arg(set.faceName, firstFew(set.missing)));

    const bool lvgl = o.format == FontFormat::Lvgl || o.format == FontFormat::LvglBinary;
    const font::Kerning kerning =
        lvgl && o.kerning ? font::kerningOf(face, set,
                                            o.lvglKerning ? font::KerningRule::LvglCompatible
                                                          : font::KerningRule::Script)
                          : font::Kerning{};
    const QString name =
        !o.name.isEmpty() ? o.name
        : gfx ? QString::fromUtf8(font::gfxDefaultName(path, o.points, set.glyphs.back().code))
              : nameFrom(o.output, QStringLiteral("font"));
    const QString made = QStringLiteral("made by zentraq-cli font from %1 (%2, face %3)")
                             .arg(set.faceName, QFileInfo(readable(path)).fileName())
                             .arg(index);
    const QString size = gfx ? QStringLiteral("%1 pt at %2 dpi").arg(o.points).arg(o.dpi)
                             : QStringLiteral("%1 px").arg(o.size);
    const font::U8g2Mode mode = font::U8g2Mode(o.u8g2Mode);
    const QString depth =
        o.bpp == 1 ? QStringLiteral("1 bit a pixel") : QStringLiteral("%1 bits a pixel").arg(o.bpp);
    const QStringList comment{made,
                              QStringLiteral("%1, %2, %3 characters%4")
                                  .arg(size, depth)
                                  .arg(set.glyphs.size())
                                  .arg(o.hinting ? QString() : QStringLiteral(", not hinted"))};

    std::optional<font::LvglFont> lvglFont;
    std::optional<font::U8g2Font> u8g2Font;
    font::BdfNames names;
    font::GlyphSet u8g2Drawn;
    const font::GlyphSet* drawn = &set;
    font::PenAdvance pen = [&](std::size_t i, long) {
        return gfx || u8g2Like(o.format) ? font::gfxAdvance(drawn->glyphs[i])
                                         : font::vlwAdvance(drawn->glyphs[i]);
    };
    if (u8g2Like(o.format))
        names = font::bdfNames(face, settings);
    if (u8g2) {
        // bdfconv reads the header's ascents from the face's 'A', '1', 'g'
        // and '(' also when the font leaves them out.
        std::vector<char32_t> others;
        for (const char32_t c : {U'(', U'1', U'A', U'g'})
            if (!set.find(c))
                others.push_back(c);
        const font::GlyphSet references = font::renderGlyphs(face, settings, others);
        try {
            u8g2Font.emplace(set, references, names, font::U8g2Options{mode, name.toUtf8()});
        } catch (const font::U8g2TooLarge& e) {
            const int fits = font::largestU8g2Size(face, settings, chars, mode);
            usageError(e.message() +
                       (fits > 0 ? QStringLiteral("; %1 px is the largest size at which every "
                                                  "glyph fits")
                                       .arg(fits)
                                 : QStringLiteral("; no smaller size of the face fits")));
        }
        if (!o.sample.isEmpty()) {
            u8g2Drawn = u8g2Font->drawn(set);
            drawn = &u8g2Drawn;
        }
    }
    if (lvgl) {
        font::LvglOptions lo;
        lo.version = o.lvgl;
        lo.compress = o.compress;
        lo.prefilter = o.prefilter;
        lo.name = name.toUtf8();
        lo.include = o.include.toUtf8();
        lo.comment = comment;
        lvglFont.emplace(set, kerning, lo);
        pen = [&](std::size_t i, long next) { return lvglFont->penAdvance(i, next); };
    }
    const font::VlwMetrics vlwMetrics =
        vlw ? font::vlwMetrics(face, set,
                               o.processingMetrics ? font::VlwConvention::Processing
                                                   : font::VlwConvention::Glyphs)
            : font::VlwMetrics{};

    // The sample before the font: a sample that cannot be made (too large
    // for a picture) stops the run before anything is written.
    QByteArray png;
    int sampleMissing = 0;
    if (!o.sample.isEmpty()) {
        const font::Sample sample =
            vlw ? font::drawVlwSample(set, vlwMetrics.ascent, vlwMetrics.descent, o.sample)
                : font::drawSample(*drawn, o.sample, pen);
        QBuffer buffer(&png);
        buffer.open(QIODevice::WriteOnly);
        if (!sample.picture.save(&buffer, "PNG"))
            failure(QStringLiteral("the sample cannot be made a PNG picture"));
        sampleMissing = sample.missing;
    }

    Destination destination(nativeName(o.output).toStdString(), binaryFormat(o.format), o.files);
    CountingSink out(destination.sink());
    switch (o.format) {
    case FontFormat::Lvgl:
        lvglFont->writeC(out);
        break;
    case FontFormat::LvglBinary:
        lvglFont->writeBinary(out);
        break;
    case FontFormat::Gfx:
        font::writeGfx(set, name.toUtf8(), out);
        break;
    case FontFormat::Vlw: {
        const QByteArray bytes = font::vlwBytes(set, vlwMetrics, face.postscriptName());
        out.write(bytes.constData(), bytes.size());
        break;
    }
    case FontFormat::VlwC:
        font::writeVlwC(font::vlwBytes(set, vlwMetrics, face.postscriptName()), name.toUtf8(),
                        comment, out);
        break;
    case FontFormat::U8g2:
        u8g2Font->writeC(out);
        break;
    case FontFormat::U8g2Binary:
        u8g2Font->writeBinary(out);
        break;
    case FontFormat::Bdf:
        font::writeBdf(set, names, comment, out);
        break;
    }

    if (!o.sample.isEmpty()) {
        // Not in the depfile, which names the font; with --keep-unchanged
        // the picture keeps its time too when its bytes stay the same.
        Destination picture(nativeName(o.sampleOutput).toStdString(), true,
                            {std::string(), o.files.keepUnchanged});
        picture.sink().write(png);
        picture.commit({});
        if (sampleMissing > 0 && !o.quiet)
            note((vlw ? QStringLiteral("%1 characters of the sample are not in the font and are "
                                       "drawn as TFT_eSPI's box")
                      : QStringLiteral("%1 characters of the sample are not in the font and are "
                                       "left out"))
                     .arg(sampleMissing));
    }
    destination.commit(inputFiles());
    if (!o.quiet) {
        QString summary = QStringLiteral("%1 characters of %2 at %3, %4")
                              .arg(set.glyphs.size())
                              .arg(set.faceName, size, depth);
        if (lvglFont) {
            summary += QStringLiteral(", %1 pixels a line, %2 kerning pairs")
                           .arg(lvglFont->lineHeight())
                           .arg(lvglFont->kernPairCount());
            if (lvglFont->needsLargeFormat())
                summary += QStringLiteral(", needs LV_FONT_FMT_TXT_LARGE 1 in lv_conf.h");
        }
        if (u8g2Font) {
            summary += QStringLiteral(", mode %1, runs of %2 and %3 bits")
                           .arg(QLatin1String(font::U8g2Font::modeName(mode)))
                           .arg(u8g2Font->zeroBits())
                           .arg(u8g2Font->oneBits());
            if (u8g2Font->bytes().size() - 1 > 32760)
                summary += QStringLiteral(", needs U8G2_USE_LARGE_FONTS");
        }
        note(summary + QStringLiteral(": %1 bytes").arg(out.count));
    }
    return 0;
} catch (const font::FontError& e) {
    throw CliError(e.kind() == font::FontError::Request ? CliError::Usage : CliError::Failure,
                   e.message());
}

// `option` belongs to formats other than `format`.
void onlyFor(const CommandLine& line, const char* option, bool allowed, const char* formats) {
    if (line.isSet(option) && !allowed)
        usageError(
            QStringLiteral("%1 is for %2 fonts").arg(optionName(option), QLatin1String(formats)));
}

} // namespace

FontOptions parseFont(const CommandLine& line) {
    FontOptions o;
    if (!line.positional().isEmpty())
        usageError(QStringLiteral("font takes no arguments besides its options, got '%1'")
                       .arg(line.positional().front()));
    o.family = line.value("font");
    o.file = line.value("font-file");
    if (o.family.isEmpty() == o.file.isEmpty())
        usageError(QStringLiteral("font needs one face: --font FAMILY or --font-file PATH"));
    if (line.isSet("face-index")) {
        if (o.file.isEmpty())
            usageError(QStringLiteral("--face-index picks a face of a --font-file"));
        o.faceIndex = parseCount("face-index", line.value("face-index"), 0, 65535);
    }
    if (const auto f = parsedOption(line, "format", formatNamed,
                                    QStringLiteral("lvgl, lvgl-bin, gfx, vlw, vlw-c, u8g2, "
                                                   "u8g2-bin or bdf")))
        o.format = *f;
    const bool gfx = o.format == FontFormat::Gfx;
    const bool lvgl = o.format == FontFormat::Lvgl || o.format == FontFormat::LvglBinary;
    const bool vlw = o.format == FontFormat::Vlw || o.format == FontFormat::VlwC;
    const bool u8g2 = o.format == FontFormat::U8g2 || o.format == FontFormat::U8g2Binary;
    onlyFor(line, "points", gfx || u8g2Like(o.format), "gfx, u8g2, u8g2-bin and bdf");
    onlyFor(line, "dpi", gfx, "gfx");
    onlyFor(line, "size", !gfx, "lvgl, lvgl-bin, vlw, vlw-c, u8g2, u8g2-bin and bdf");
    onlyFor(line, "bpp", !gfx && !u8g2Like(o.format),
            "lvgl, lvgl-bin, vlw and vlw-c (gfx, u8g2 and bdf are 1)");
    onlyFor(line, "no-hinting", !gfx && !u8g2Like(o.format), "lvgl, lvgl-bin, vlw and vlw-c");
    for (const char* lvglOnly : {"lvgl", "no-compress", "no-prefilter", "kerning", "no-kerning"})
        onlyFor(line, lvglOnly, lvgl, "lvgl and lvgl-bin");
    onlyFor(line, "lv-include", o.format == FontFormat::Lvgl, "lvgl");
    onlyFor(line, "u8g2-mode", u8g2, "u8g2 and u8g2-bin");
    onlyFor(line, "name",
            o.format == FontFormat::Lvgl || gfx || o.format == FontFormat::VlwC ||
                o.format == FontFormat::U8g2,
            "lvgl, gfx, vlw-c and u8g2");
    onlyFor(line, "vlw-metrics", vlw, "vlw and vlw-c");
    if (const auto m =
            parsedOption(line, "u8g2-mode", u8g2ModeNamed, QStringLiteral("t, h, m or 8")))
        o.u8g2Mode = *m;
    if (line.isSet("vlw-metrics")) {
        const QString v = line.value("vlw-metrics");
        if (v != QLatin1String("glyphs") && v != QLatin1String("processing"))
            refuseValue("vlw-metrics", QStringLiteral("glyphs or processing"), v);
        o.processingMetrics = v == QLatin1String("processing");
    }
    if (u8g2Like(o.format)) {
        // At 72 dpi a point is a pixel: either option gives the size.
        if (line.isSet("size") == line.isSet("points"))
            usageError(QStringLiteral("u8g2, u8g2-bin and bdf fonts need one size: --size PX or "
                                      "--points PT (the same at 72 dpi)"));
        const char* which = line.isSet("size") ? "size" : "points";
        o.size = o.points = parseCount(which, line.value(which), 1, 1024);
        o.dpi = 72;
        o.bpp = 1;
    } else if (gfx) {
        o.dpi = line.isSet("dpi") ? parseCount("dpi", line.value("dpi"), 1, 1200) : 141;
        if (!line.isSet("points"))
            usageError(QStringLiteral("gfx fonts need --points PT"));
        o.points = parseCount("points", line.value("points"), 1, 1024);
        if (qint64(o.points) * o.dpi > 1024 * 72)
            usageError(QStringLiteral("%1 pt at %2 dpi is more than 1024 pixels")
                           .arg(o.points)
                           .arg(o.dpi));
        o.bpp = 1;
    } else {
        if (!line.isSet("size"))
            usageError(QStringLiteral("font needs --size PX (gfx: --points PT)"));
        o.size = parseCount("size", line.value("size"), 1, 1024);
        o.bpp = vlw ? 8 : 4;
        if (line.isSet("bpp")) {
            o.bpp = parseCount("bpp", line.value("bpp"), 1, 8);
            if (o.bpp != 1 && o.bpp != 2 && o.bpp != 4 && o.bpp != 8)
                refuseValue("bpp", QStringLiteral("1, 2, 4 or 8"), line.value("bpp"));
        }
    }
    if (line.isSet("lvgl")) {
        const QString v = line.value("lvgl");
        if (v != QLatin1String("9") && v != QLatin1String("8"))
            refuseValue("lvgl", QStringLiteral("9 or 8"), v);
        o.lvgl = v.toInt();
    }
    o.hinting = !line.isSet("no-hinting");
    o.compress = !line.isSet("no-compress");
    o.prefilter = !line.isSet("no-prefilter");
    o.kerning = !line.isSet("no-kerning");
    if (line.isSet("kerning")) {
        const QString v = line.value("kerning");
        if (v != QLatin1String("script") && v != QLatin1String("lvgl-compatible"))
            refuseValue("kerning", QStringLiteral("script or lvgl-compatible"), v);
        if (!o.kerning)
            usageError(QStringLiteral("--kerning and --no-kerning contradict each other"));
        o.lvglKerning = v == QLatin1String("lvgl-compatible");
    }
    o.ranges = line.values("range");
    o.symbols = line.values("symbols");
    o.charsets = line.values("charset");
    o.include = line.value("lv-include");
    o.name = line.value("name");
    if (!o.name.isEmpty() && (!isCIdentifier(o.name) || isCKeyword(o.name)))
        refuseValue("name", QStringLiteral("a C identifier that is no C keyword"), o.name);
    o.sample = line.value("sample");
    o.sampleOutput = line.value("sample-output");
    if (o.sample.isEmpty() != o.sampleOutput.isEmpty())
        usageError(QStringLiteral("--sample TEXT and --sample-output PNG go together"));
    o.output = line.value("output");
    o.files = parseResultFiles(line, o.output);
    // The sample is a second result: it must not take the place of another.
    if (o.sampleOutput == QLatin1String("-") &&
        (o.output.isEmpty() || o.output == QLatin1String("-")))
        usageError(QStringLiteral("the font and its sample cannot both go to standard output; "
                                  "give -o OUT"));
    if (sameFileName(o.sampleOutput, o.output))
        usageError(QStringLiteral("--sample-output and -o name the same file"));
    if (sameFileName(o.sampleOutput, argumentText(o.files.depfile)))
        usageError(QStringLiteral("--sample-output and --depfile name the same file"));
    o.quiet = line.isSet("quiet");
    o.missing = line.isSet("missing");
    if (o.missing && (line.isSet("output") || line.isSet("sample")))
        usageError(QStringLiteral("--missing only lists characters; it takes no output options"));
    return o;
}

const CommandDef FontCommand{
    "font",
    "a face and a set of characters -> a font for LVGL, Adafruit GFX, TFT_eSPI or u8g2, or BDF",
    "zentraq-cli font (--font FAMILY | --font-file PATH [--face-index N]) (--size PX | --points "
    "PT) (--range A-B | --symbols TEXT | --charset SET)... "
    "[--format lvgl|lvgl-bin|gfx|vlw|vlw-c|u8g2|u8g2-bin|bdf] [options] [-o OUT]",
    "Renders each character of the set (the union of every --range, --symbols and --charset) "
    "as the library's own converter renders it and writes the library's font structure: "
    "proportional glyphs with their advance, ink box and offsets, anti-aliased at 2, 4 or 8 bits "
    "a pixel. lvgl and vlw use FreeType's autohinter (mono at 1 bit a pixel, light otherwise), "
    "gfx the face's TrueType hinting (interpreter v35, mono), u8g2 and bdf draw as otf2bdf -a -r "
    "72 -p PT does for u8g2's own fonts, and the u8g2 font is byte for byte bdfconv's. A bitmap "
    "font (BDF, PCF) is drawn from its strike of the size, exactly. Characters the face lacks are "
    "left out, with one line on standard error.",
    "zentraq-cli font --font \"DejaVu Sans\" --size 16 --range 0x20-0x7E -o font_dejavu_16.c\n"
    "    # u8g2 (u8g2.setFont(wqy12); u8g2.drawUTF8(0, 14, \"设置\");) from xfonts-wqy's bitmap "
    "font:\n"
    "    zentraq-cli font --format u8g2 --font-file /usr/share/fonts/X11/misc/wenquanyi_12pt.pcf "
    "--size 16 --range 0x20-0x7E --symbols \"设置\" --name wqy12 -o wqy12.c",
    Options,
    runFont,
};

} // namespace zentraq::cli
