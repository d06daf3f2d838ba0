// zentraq-cli glyph: the window's text-to-glyph-data conversion (the same
// canvas, faces, sizes and data text), in any cell size and byte layout.
#include "commands.h"
#include "csource.h"
#include "error.h"
#include "fonts.h"
#include "input.h"
#include "output.h"
#include "process.h"
#include "qumo.h"

#include <QStringDecoder>

namespace zentraq::cli {
namespace {

// clang-format off
constexpr OptionDef Options[] = {
    option::CellSize, option::PixelSize, option::Font, option::FontFile,
    {"TEXT", nullptr, "the text itself (after -- when it starts with '-')"},
    {"input", "FILE", "the text from a UTF-8 file, '-' for standard input; its line breaks are kept"},
    {"ascii", nullptr, "the 95 printable ASCII characters, space to '~'"},
    option::CharsFrom, option::CharsFromKind, option::SourceEncoding, option::ListChars,
    option::Scan, option::Pad, option::MsbFirst, option::CellInvert, option::Missing,
    option::Format, option::Name, option::Binary, option::Output, option::Quiet,
    option::Depfile, option::KeepUnchanged,
};
// clang-format on

// The text to convert. A file is UTF-8 (a byte-order mark at its start is
// dropped); its line breaks are kept as they are, so CR LF pairs go away in
// the conversion as they do in the window and a lone LF is a character.
QString textOf(const GlyphOptions& o) {
    switch (o.source) {
    case TextSource::Argument:
        return o.text;
    case TextSource::Ascii:
        return glyph::printableAscii();
    case TextSource::Sources:
        return sourceCharacters(o.sources);
    case TextSource::File:
        break;
    }
    const QByteArray bytes = readWhole(o.inputFile);
    QStringDecoder decoder(QStringDecoder::Utf8);
    QString text = decoder(bytes);
    if (decoder.hasError())
        failure(QStringLiteral("'%1' is not UTF-8 text").arg(o.inputFile));
    return text;
}

int runGlyph(const CommandLine& line) {
    const GlyphOptions o = parseGlyph(line);
    const std::vector<char32_t> chars = glyph::characters(glyph::removeCrLf(textOf(o)));
    if (o.sources.listChars)
        return listCharacters(chars);
    const std::unique_ptr<glyph::CellDrawer> cells = cellDrawer(o.cell);
    if (o.missing)
        return reportMissing(chars, *cells, o.out.quiet);
    if (o.out.form == core::DataForm::C && chars.empty())
        failure(QStringLiteral("the text has no characters to convert (CR LF pairs are removed), "
                               "and C has no empty arrays"));
    Destination destination(nativeName(o.out.output).toStdString(),
                            o.out.form == core::DataForm::Binary, o.out.files);

    // One line per character, as the window writes it.
    core::Formatter out(destination.sink(), o.out.form, core::LinePolicy{0, true});
    const qint64 total = cells->bytesPerGlyph() * qint64(chars.size());
    if (o.out.form == core::DataForm::C) {
        out.text(core::headerComment(
            QStringList{QStringLiteral("Glyph data made by zentraq-cli: %1 characters, %2 bytes")
                            .arg(chars.size())
                            .arg(total)} +
            describeCells(*cells, o.cell)));
        out.beginArray(o.out.name.toLatin1(), total);
    }
    cells->write(chars, out);
    recordFacesDrawn(*cells, chars, o.cell);
    destination.commit(inputFiles());
    if (!o.out.quiet)
        note(glyph::dataSizeCaption(total));
    return 0;
}

} // namespace

GlyphOptions parseGlyph(const CommandLine& line) {
    GlyphOptions o;
    o.cell = parseCell(line);
    o.missing = parseMissing(line);
    o.out = parseOutput(line, core::DataForm::Text, "glyph_data");
    o.inputFile = line.value("input");
    const QStringList& positional = line.positional();
    if (positional.size() > 1)
        usageError(QStringLiteral("glyph takes one TEXT argument, got %1 (quote the text, or use "
                                  "-- before a text that starts with '-')")
                       .arg(positional.size()));
    o.sources = parseSources(line);
    const int sources = int(positional.size()) + (o.inputFile.isEmpty() ? 0 : 1) +
                        (line.isSet("ascii") ? 1 : 0) + (o.sources.files.isEmpty() ? 0 : 1);
    if (sources == 0)
        usageError(
            QStringLiteral("glyph needs a TEXT, --input FILE, --ascii or --chars-from FILE"));
    if (sources > 1)
        usageError(o.sources.files.isEmpty()
                       ? QStringLiteral("give only one of TEXT, --input FILE and --ascii")
                       : QStringLiteral("give only one of TEXT, --input FILE, --ascii and "
                                        "--chars-from"));
    if (!positional.isEmpty()) {
        o.source = TextSource::Argument;
        o.text = positional.front();
        // Bytes that are not UTF-8 are no characters to draw.
        if (!QStringView(o.text).isValidUtf16())
            usageError(QStringLiteral("the TEXT is not UTF-8; give the text in UTF-8 or "
                                      "--input FILE"));
    } else {
        o.source = !o.sources.files.isEmpty() ? TextSource::Sources
                   : o.inputFile.isEmpty()    ? TextSource::Ascii
                                              : TextSource::File;
    }
    return o;
}

const CommandDef GlyphCommand{
    "glyph",
    "text -> monochrome glyph bytes, one line per character",
    "zentraq-cli glyph --size WxH [--font FAMILY | --font-file PATH] (TEXT | --input FILE | "
    "--ascii) [options]",
    "Draws every character of the text alone in a cell and writes its pixels, one bit per pixel, "
    "as a line of \"0xHH,\" items ending in CR LF. With a window size and no layout option this "
    "is exactly the text the window puts into its data area for the same text and size (CR LF "
    "pairs in the text are removed; a lone CR or LF is converted like any other character). Wide "
    "characters in narrow cells keep their left part. The byte count goes to standard error in "
    "the window's words, \"数据大小:N\".",
    "zentraq-cli glyph --size 8x16 --scan page --ascii --format c --name font8x16 -o font8x16.h",
    Options,
    runGlyph,
};

} // namespace zentraq::cli
