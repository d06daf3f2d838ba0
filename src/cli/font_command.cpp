// zentraq-cli font: a face and a set of characters into one font file for an
// embedded GUI library (LVGL, Adafruit GFX, TFT_eSPI).
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
#include "lvglflash.h"
#include "lvglfont.h"
#include "output.h"
#include "process.h"
#include "sample.h"
#include "vlwfont.h"

#include <QBuffer>
#include <QFileInfo>

namespace zentraq::cli {
namespace {

// clang-format off
constexpr OptionDef Options[] = {
    {"font", "FAMILY", "the installed family (its exact name, as fc-list : family shows it)"},
    {"font-file", "PATH", "a font file: TTF, OTF, or a TTC/OTC collection (see --face-index)"},
    {"face-index", "N", "--font-file: the face of a collection, from 0 (default 0)"},
    {"size", "PX", "the size in pixels, 1 to 1024 (lvgl, lvgl-bin, lvgl-flash, vlw, vlw-c)"},
    {"points", "PT", "gfx: the size in points at --dpi, as GFX's fontconvert takes it"},
    {"dpi", "N", "gfx: dots per inch for --points, 1 to 1200 (default 141, fontconvert's)"},
    {"range", "A-B", "characters: codes A to B, or one code, hexadecimal after 0x or decimal; several separated by commas; may be repeated", nullptr, true},
    {"symbols", "TEXT", "characters: each character of TEXT; may be repeated", nullptr, true},
    {"charset", "SET", "characters: ascii, gb2312 or gbk (their assigned characters), or the distinct characters of a UTF-8 FILE; may be repeated", nullptr, true},
    {"format", "lvgl|lvgl-bin|lvgl-flash|gfx|vlw|vlw-c", "lvgl: C source of an LVGL font (default); lvgl-bin: LVGL's binary font; lvgl-flash: an LVGL font image read from external flash glyph by glyph (share/zentraq/lvgl); gfx: an Adafruit GFX header; vlw: a TFT_eSPI smooth font; vlw-c: the same as a C array"},
    {"bpp", "1|2|4|8", "bits a pixel (default 4 for lvgl, 8 for vlw; gfx is 1)"},
    {"lvgl", "9|8", "lvgl, lvgl-bin: for LVGL 9 (default) or 8.3 (lvgl-flash serves both)"},
    {"no-compress", nullptr, "lvgl, lvgl-bin, lvgl-flash: plain bitmaps (default: run-length coded from 2 bits a pixel on)"},
    {"no-prefilter", nullptr, "lvgl, lvgl-bin, lvgl-flash: compressed without XOR-ing each row with the row above"},
    {"kerning", "script|lvgl-compatible", "lvgl, lvgl-bin, lvgl-flash: script (default): each pair kerned in its characters' script, as HarfBuzz kerns text; lvgl-compatible: the DFLT (else latn) script's pairs only, as lv_font_conv 1.5.3 reads them, for fonts equal to its byte for byte"},
    {"no-kerning", nullptr, "lvgl, lvgl-bin, lvgl-flash: leave the face's kerning out"},
    {"no-hinting", nullptr, "lvgl, vlw: the outlines as they are, not fitted to the pixels by the autohinter"},
    {"lv-include", "PATH", "lvgl: the LVGL header to include (default lvgl/lvgl.h)"},
    {"name", "NAME", "the C name (default: the output's name; gfx: fontconvert's, e.g. DejaVuSans12pt7b)"},
    {"vlw-metrics", "glyphs|processing", "vlw, vlw-c: the header's ascent and descent: glyphs (default): the highest and lowest ink of the set; processing: the top of \"d\" and the bottom of \"p\", as Processing's font tool writes them"},
    {"sample", "TEXT", "also draw TEXT with the glyphs, metrics and kerning of the file, as the library draws it ..."},
    {"sample-output", "PNG", "... into this PNG picture, black on white"},
    {"missing", nullptr, "convert nothing: list the characters the face lacks; exit status 1 if there are any"},
    option::Output, option::Depfile, option::KeepUnchanged,
    {"q,quiet", nullptr, "no summary on standard error"},
};
// clang-format on

bool binaryFormat(FontFormat f) {
    return f == FontFormat::LvglBinary || f == FontFormat::LvglFlash || f == FontFormat::Vlw;
}

std::optional<FontFormat> formatNamed(QStringView n) {
    for (const auto& [name, format] :
         {std::pair{u"lvgl", FontFormat::Lvgl}, std::pair{u"lvgl-bin", FontFormat::LvglBinary},
          std::pair{u"lvgl-flash", FontFormat::LvglFlash}, std::pair{u"gfx", FontFormat::Gfx},
          std::pair{u"vlw", FontFormat::Vlw}, std::pair{u"vlw-c", FontFormat::VlwC}})
        if (n == name)
            return format;
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
    font::RenderSettings settings;
    settings.rendering = gfx ? font::Rendering::Bytecode : font::Rendering::Autohinted;
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

    const bool lvgl = o.format == FontFormat::Lvgl || o.format == FontFormat::LvglBinary ||
                      o.format == FontFormat::LvglFlash;
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
    const QString depth =
        o.bpp == 1 ? QStringLiteral("1 bit a pixel") : QStringLiteral("%1 bits a pixel").arg(o.bpp);
    const QStringList comment{made,
                              QStringLiteral("%1, %2, %3 characters%4")
                                  .arg(size, depth)
                                  .arg(set.glyphs.size())
                                  .arg(o.hinting ? QString() : QStringLiteral(", not hinted"))};

    std::optional<font::LvglFont> lvglFont;
    std::optional<font::LvglFlashWriter> flash;
    font::PenAdvance pen = [&](std::size_t i, long) {
        return gfx ? font::gfxAdvance(set.glyphs[i]) : font::vlwAdvance(set.glyphs[i]);
    };
    if (lvgl) {
        font::LvglOptions lo;
        lo.version = o.lvgl;
        lo.compress = o.compress;
        lo.prefilter = o.prefilter;
        lo.name = name.toUtf8();
        lo.include = o.include.toUtf8();
        lo.comment = comment;
        if (o.format == FontFormat::LvglFlash)
            font::LvglFlashWriter::checkOptions(lo);
        lvglFont.emplace(set, kerning, lo);
        if (o.format == FontFormat::LvglFlash)
            flash.emplace();
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
            vlw     ? font::drawVlwSample(set, vlwMetrics.ascent, vlwMetrics.descent, o.sample)
            : flash ? flash->sample(set, *lvglFont, o.sample)
                    : font::drawSample(set, o.sample, pen);
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
    case FontFormat::LvglFlash:
        flash->write(set, *lvglFont, out);
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
            if (flash)
                summary += QStringLiteral(", ") + flash->describe();
            else if (lvglFont->needsLargeFormat())
                summary += QStringLiteral(", needs LV_FONT_FMT_TXT_LARGE 1 in lv_conf.h");
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
    if (const auto f =
            parsedOption(line, "format", formatNamed,
                         QStringLiteral("lvgl, lvgl-bin, lvgl-flash, gfx, vlw or vlw-c")))
        o.format = *f;
    const bool gfx = o.format == FontFormat::Gfx;
    const bool lvgl = o.format == FontFormat::Lvgl || o.format == FontFormat::LvglBinary ||
                      o.format == FontFormat::LvglFlash;
    const bool vlw = o.format == FontFormat::Vlw || o.format == FontFormat::VlwC;
    onlyFor(line, "points", gfx, "gfx");
    onlyFor(line, "dpi", gfx, "gfx");
    onlyFor(line, "size", !gfx, "lvgl, lvgl-bin, lvgl-flash, vlw and vlw-c");
    onlyFor(line, "bpp", !gfx, "lvgl, lvgl-bin, lvgl-flash, vlw and vlw-c (gfx is 1)");
    onlyFor(line, "no-hinting", !gfx, "lvgl, lvgl-bin, lvgl-flash, vlw and vlw-c");
    for (const char* lvglOnly : {"lvgl", "no-compress", "no-prefilter", "kerning", "no-kerning"})
        onlyFor(line, lvglOnly, lvgl, "lvgl, lvgl-bin and lvgl-flash");
    onlyFor(line, "lv-include", o.format == FontFormat::Lvgl, "lvgl");
    onlyFor(line, "name", !binaryFormat(o.format), "lvgl, gfx and vlw-c");
    onlyFor(line, "vlw-metrics", vlw, "vlw and vlw-c");
    if (line.isSet("vlw-metrics")) {
        const QString v = line.value("vlw-metrics");
        if (v != QLatin1String("glyphs") && v != QLatin1String("processing"))
            refuseValue("vlw-metrics", QStringLiteral("glyphs or processing"), v);
        o.processingMetrics = v == QLatin1String("processing");
    }
    if (gfx) {
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
    "a face and a set of characters -> a font for LVGL, Adafruit GFX or TFT_eSPI",
    "zentraq-cli font (--font FAMILY | --font-file PATH [--face-index N]) (--size PX | --points "
    "PT) (--range A-B | --symbols TEXT | --charset SET)... "
    "[--format lvgl|lvgl-bin|lvgl-flash|gfx|vlw|vlw-c] [options] [-o OUT]",
    "Renders each character of the set (the union of every --range, --symbols and --charset) "
    "as the library's own converter renders it and writes the library's font structure: "
    "proportional glyphs with their advance, ink box and offsets, anti-aliased at 2, 4 or 8 bits "
    "a pixel. lvgl and vlw use FreeType's autohinter (mono at 1 bit a pixel, light otherwise), "
    "gfx the face's TrueType hinting (interpreter v35, mono). Characters the face lacks are left "
    "out, with one line on standard error.",
    "zentraq-cli font --font \"DejaVu Sans\" --size 16 --range 0x20-0x7E -o font_dejavu_16.c",
    Options,
    runFont,
};

} // namespace zentraq::cli
