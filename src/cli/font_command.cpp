// zentraq-cli font: a face and a set of characters into one font file for an
// embedded GUI library (LVGL, Adafruit GFX, TFT_eSPI, u8g2) or a BDF file.
#include "commands.h"
#include "csource.h"
#include "error.h"
#include "fonterror.h"
#include "fonts.h"
#include "input.h"
#include "output.h"
#include "process.h"

namespace zentraq::cli {
namespace {

// clang-format off
constexpr OptionDef Options[] = {
    {"font", "FAMILY", "the installed family (its exact name, as fc-list : family shows it)"},
    {"font-file", "PATH", "a font file: TTF, OTF, a TTC/OTC collection (see --face-index), or a bitmap font (BDF, PCF, PCF.gz)"},
    {"face-index", "N", "--font-file: the face of a collection, from 0 (default 0)"},
    {"size", "PX", "the size in pixels, 1 to 1024 (lvgl, lvgl-bin, lvgl-flash, vlw, vlw-c; u8g2, u8g2-bin, bdf: the same as --points); a bitmap font's size is one of its strikes"},
    {"points", "PT", "gfx: the size in points at --dpi, as GFX's fontconvert takes it; u8g2, u8g2-bin, bdf: at 72 dpi, as otf2bdf -r 72 -p PT"},
    {"dpi", "N", "gfx: dots per inch for --points, 1 to 1200 (default 141, fontconvert's)"},
    {"range", "A-B", "characters: codes A to B, or one code, hexadecimal after 0x or decimal; several separated by commas; may be repeated", nullptr, true},
    {"symbols", "TEXT", "characters: each character of TEXT; may be repeated", nullptr, true},
    {"charset", "SET", "characters: ascii, gb2312 or gbk (their assigned characters), or the distinct characters of a UTF-8 FILE; may be repeated", nullptr, true},
    {"format", "FORMAT", "", formatHelp<font::fontWriters>, false, formatValues<font::fontWriters>},
    {"bpp", "1|2|4|8", "bits a pixel (default 4 for lvgl, 8 for vlw; gfx, u8g2 and bdf are 1)"},
    {"lvgl", "9|8", "lvgl, lvgl-bin: for LVGL 9 (default) or 8.3 (lvgl-flash serves both)"},
    {"u8g2-mode", "t|h|m|8", "u8g2, u8g2-bin: bdfconv's build mode: t each glyph its own box (default), h every glyph as high as the font, m every glyph the font's box (monospaced), 8 every glyph 8x8"},
    {"no-compress", nullptr, "lvgl, lvgl-bin, lvgl-flash: plain bitmaps (default: run-length coded from 2 bits a pixel on)"},
    {"no-prefilter", nullptr, "lvgl, lvgl-bin, lvgl-flash: compressed without XOR-ing each row with the row above"},
    {"kerning", "script|lvgl-compatible", "lvgl, lvgl-bin, lvgl-flash: script (default): each pair kerned in its characters' script, as HarfBuzz kerns text; lvgl-compatible: the DFLT (else latn) script's pairs only, as lv_font_conv 1.5.3 reads them, for fonts equal to its byte for byte"},
    {"no-kerning", nullptr, "lvgl, lvgl-bin, lvgl-flash: leave the face's kerning out"},
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

// --sample: a second result, written as the font is, but never in the
// depfile, and kept with its time under --keep-unchanged when its bytes stay
// the same.
void writeSample(const FontOptions& o, const font::FontResult& made, const QByteArray& png,
                 int missing) {
    Destination picture(nativeName(o.sampleOutput).toStdString(), true,
                        {std::string(), o.files.keepUnchanged});
    picture.sink().write(png);
    picture.commit({});
    if (missing > 0 && !o.quiet)
        note(QStringLiteral("%1 characters of the sample are not in the font and are %2")
                 .arg(missing)
                 .arg(made.sampleMissing()));
}

int runFont(const CommandLine& line) try {
    const FontOptions o = parseFont(line);
    const std::vector<char32_t> chars = font::requestedCharacters(o.characters, FontFiles());
    o.writer->checkCharacters(chars);
    const text::FaceChoice chosen =
        o.file.isEmpty() ? installedFace(o.family) : text::FaceChoice{o.file, o.faceIndex, {}};
    const font::FontFace face(readWhole(chosen.file), chosen.index, readable(chosen.file),
                              font::interpreterFor(o.settings.render));
    if (o.missing) {
        const font::MissingList missing = font::missingList(face, chars);
        StdoutSink().write(missing.lines);
        if (!o.quiet)
            note(missing.count);
        return missing.any ? 1 : 0;
    }
    const font::GlyphSet set = font::renderGlyphs(face, o.settings.render, chars);
    if (const QString left = font::leftOut(*o.writer, set, chars.size());
        !left.isEmpty() && !o.quiet)
        note(left);

    const font::FontSource source{
        &set, {{&face, chosen.file, readable(chosen.file), {}}}, o.output, {}};
    const std::unique_ptr<font::FontResult> made = o.writer->make(source, o.settings);
    // The sample before the font: one that cannot be made (too large for a
    // picture) stops the run before anything is written.
    int sampleMissing = 0;
    const QByteArray png =
        o.sample.isEmpty() ? QByteArray() : font::samplePicture(*made, o.sample, &sampleMissing);
    Destination destination(nativeName(o.output).toStdString(), o.writer->binary(), o.files);
    const long long bytes = made->write(destination.sink());
    if (!o.sample.isEmpty())
        writeSample(o, *made, png, sampleMissing);
    destination.commit(inputFiles());
    if (!o.quiet)
        note(made->summary() + QStringLiteral(": %1 bytes").arg(bytes));
    return 0;
} catch (const font::FontError& e) {
    throw CliError(e.kind() == font::FontError::Request ? CliError::Usage : CliError::Failure,
                   e.message());
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
    o.writer = formatOption(line, font::fontWriters());
    // The format's own options, defaults and limits.
    const LineOptions options(line);
    font::refuseOtherFormatsOptions(*o.writer, options);
    font::FontSettings& s = o.settings;
    s.render.hinting = !line.isSet("no-hinting");
    o.writer->check(s, options);
    s.compress = !line.isSet("no-compress");
    s.prefilter = !line.isSet("no-prefilter");
    s.kerning = !line.isSet("no-kerning");
    o.characters = {line.values("range"), line.values("symbols"), line.values("charset")};
    s.include = line.value("lv-include").toUtf8();
    const QString name = line.value("name");
    if (!name.isEmpty() && (!isCIdentifier(name) || isCKeyword(name)))
        refuseValue("name", QStringLiteral("a C identifier that is no C keyword"), name);
    s.name = name.toUtf8();
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
    "[--format lvgl|lvgl-bin|lvgl-flash|gfx|vlw|vlw-c|u8g2|u8g2-bin|bdf] [options] [-o OUT]",
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
