// zentraq-cli font: a face and a set of characters into one font file for an
// embedded GUI library (LVGL, Adafruit GFX, TFT_eSPI, u8g2) or a BDF file.
#include "commands.h"
#include "error.h"
#include "fonterror.h"
#include "fonts.h"
#include "groupfont.h"
#include "input.h"
#include "output.h"
#include "process.h"

namespace zentraq::cli {
namespace {

// clang-format off
constexpr OptionDef Options[] = {
    {"font", "FAMILY", "a face group: the installed family (its exact name, as fc-list : family shows it); may be repeated", nullptr, true},
    {"font-file", "PATH", "a face group: a font file, TTF, OTF, a TTC/OTC collection (see --face-index), or a bitmap font (BDF, PCF, PCF.gz); may be repeated", nullptr, true},
    {"face-index", "N", "--font-file: the face of a collection, from 0 (default 0)", nullptr, true},
    {"autohint-off", nullptr, "lvgl, vlw: this face group's glyphs with the face's own hinting instead of the autohinter", nullptr, true},
    {"autohint-strong", nullptr, "lvgl, vlw: this face group's glyphs fitted to the pixels vertically too (FreeType's normal target), as lv_font_conv's option of that name", nullptr, true},
    {"size", "PX", "the size in pixels, 1 to 1024 (lvgl, lvgl-bin, lvgl-flash, vlw, vlw-c; u8g2, u8g2-bin, bdf: the same as --points); a bitmap font's size is one of its strikes"},
    {"points", "PT", "gfx: the size in points at --dpi, as GFX's fontconvert takes it; u8g2, u8g2-bin, bdf: at 72 dpi, as otf2bdf -r 72 -p PT"},
    {"dpi", "N", "gfx: dots per inch for --points, 1 to 1200 (default 141, fontconvert's)"},
    {"range", "A-B[=>C]", "characters: codes A to B, or one code, hexadecimal after 0x or decimal; several separated by commas; A-B=>C puts the face's A to B at C onwards in the font (quote it in a shell); may be repeated", nullptr, true},
    {"symbols", "TEXT", "characters: each character of TEXT; may be repeated", nullptr, true},
    {"charset", "SET", "characters: ascii, gb2312 or gbk (their assigned characters), or the distinct characters of a UTF-8 FILE; may be repeated", nullptr, true},
    {"chars-from", "FILE", "characters: those the firmware's sources show: of C and C++ files (.c .h; .cc .cpp .cxx .hpp .hh .ino) the string and character literals only (prefixes u8 u U L, raw strings, escapes decoded; comments, code and #include names not), of .json, .yml and .yaml files every string value (keys not), of any other file its whole text; may be repeated", nullptr, true},
    {"chars-from-kind", "c|c++|json|yaml|text", "read every --chars-from file as this kind, whatever its name"},
    {"source-encoding", "utf-8|gbk|gb18030", "the encoding of the --chars-from files (default utf-8); bytes that are not of it stop the run, naming FILE:LINE"},
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
    {"lv-fallback", "NAME", "lvgl: the lv_font_t (a C identifier) LVGL looks a character up in when this font lacks it; declared extern, set as .fallback (LVGL 9 and 8.3)"},
    {"name", "NAME", "the C name of lvgl, gfx, vlw-c and u8g2 (default: the output's name; gfx: fontconvert's, e.g. DejaVuSans12pt7b)"},
    {"vlw-metrics", "glyphs|processing", "vlw, vlw-c: the header's ascent and descent: glyphs (default): the highest and lowest ink of the set; processing: the top of \"d\" and the bottom of \"p\", as Processing's font tool writes them"},
    {"sample", "TEXT", "also draw TEXT with the glyphs, metrics and kerning of the file, as the library draws it ..."},
    {"sample-output", "PNG", "... into this PNG picture, black on white"},
    {"missing", nullptr, "convert nothing: list the characters the face lacks; exit status 1 if there are any"},
    {"list-chars", nullptr, "convert nothing: print the chosen characters on one line, in code order (where moved, at their place in the font)"},
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
    std::vector<font::GroupRequest> requests;
    for (const FontFaceOptions& f : o.faces)
        requests.push_back({f.characters, f.shown()});
    std::vector<std::vector<font::PlacedCode>> placed =
        font::placeCharacters(requests, FontFiles(), o.listChars);
    const std::vector<char32_t> characters = font::fontCharacters(placed);
    // --list-chars: the font's characters on one line.
    if (o.listChars) {
        StdoutSink().write(
            QString::fromUcs4(characters.data(), qsizetype(characters.size())).toUtf8() + '\n');
        return 0;
    }
    o.writer->checkCharacters(characters);
    GroupFaces loaded = readGroupFaces(o.faces, o.settings.render, std::move(placed));
    const auto say = [&o](const QString& text) {
        if (!o.quiet)
            note(text);
    };
    // --missing: the characters each group's face lacks, one a line, and a
    // count for each face on standard error.
    if (o.missing) {
        bool any = false;
        for (const font::MissingList& m : font::groupsMissing(loaded.faces, loaded.groups)) {
            StdoutSink().write(m.lines);
            say(m.count);
            any = any || m.any;
        }
        return any ? 1 : 0;
    }

    font::GroupFont font = font::drawGroups(std::move(loaded.faces), std::move(loaded.groups),
                                            *o.writer, o.settings.render, say);
    font.source.output = o.output;
    font.source.fallback = o.fallback;
    const std::unique_ptr<font::FontResult> made = o.writer->make(font.source, o.settings);
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
    say(made->summary() + QStringLiteral(": %1 bytes").arg(bytes));
    return 0;
} catch (const font::FontError& e) {
    throw CliError(e.kind() == font::FontError::Request ? CliError::Usage : CliError::Failure,
                   e.message());
}

} // namespace

const CommandDef FontCommand{
    "font",
    "faces and sets of characters -> a font for LVGL, Adafruit GFX, TFT_eSPI or u8g2, or BDF",
    "zentraq-cli font ((--font FAMILY | --font-file PATH [--face-index N]) [--autohint-off | "
    "--autohint-strong] (--range A-B[=>C] | --symbols TEXT | --charset SET | --chars-from "
    "FILE)...)... (--size PX | --points PT) "
    "[--format lvgl|lvgl-bin|lvgl-flash|gfx|vlw|vlw-c|u8g2|u8g2-bin|bdf] [options] [-o OUT]",
    "Renders each character of the set as the library's own converter renders it and writes "
    "the library's font structure: proportional glyphs with their advance, ink box and offsets, "
    "anti-aliased at 2, 4 or 8 bits a pixel. Each --font or --font-file starts a face group; "
    "the --range, --symbols, --charset, --chars-from, --face-index and --autohint-* options "
    "after it (and those before the first face) belong to it, and its face gives the characters "
    "they choose. Every format takes the font of all groups. A character chosen by several "
    "groups comes from the last group on the command line that chooses it, as lv_font_conv "
    "1.5.3 takes it, even when that group's face lacks it (it is then left out); a code moved "
    "with => onto another chosen character is refused. The first face names the font and gives "
    "its line metrics. Kerning pairs two glyphs of one face only. lvgl and vlw use FreeType's "
    "autohinter (mono at 1 bit a pixel, light otherwise), gfx the face's TrueType hinting "
    "(interpreter v35, mono), u8g2 and bdf draw as otf2bdf -a -r 72 -p PT does for u8g2's own "
    "fonts, and the u8g2 font is byte for byte bdfconv's. A bitmap font (BDF, PCF) is drawn "
    "from its strike of the size, exactly. Characters a face lacks are left out, with one line "
    "on standard error naming the face.",
    "zentraq-cli font --font \"DejaVu Sans\" --size 16 --range 0x20-0x7E -o font_dejavu_16.c\n"
    "    zentraq-cli font --font \"DejaVu Sans\" --range 0x20-0x7E --font \"DejaVu Serif\" "
    "--range 0xA0-0xFF --font-file /usr/share/fonts/opentype/font-awesome/FontAwesome.otf "
    "--range '0xF001-0xF003=>0xE000' --size 16 --lv-fallback font_cjk_16 -o font_ui_16.c\n"
    "    # u8g2 (u8g2.setFont(wqy12); u8g2.drawUTF8(0, 14, \"设置\");) from xfonts-wqy's bitmap "
    "font:\n"
    "    zentraq-cli font --format u8g2 --font-file /usr/share/fonts/X11/misc/wenquanyi_12pt.pcf "
    "--size 16 --range 0x20-0x7E --symbols \"设置\" --name wqy12 -o wqy12.c",
    Options,
    runFont,
};

} // namespace zentraq::cli
