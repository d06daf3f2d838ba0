// zentraq-cli library: every slot of a character set drawn into one file, at
// offsets firmware computes from the character's code, for external flash.
#include "charsets.h"
#include "commands.h"
#include "csource.h"
#include "error.h"
#include "fonts.h"
#include "input.h"
#include "output.h"
#include "process.h"

namespace zentraq::cli {
namespace {

// clang-format off
constexpr OptionDef Options[] = {
    {"charset", "SET", "gb2312: 87 x 94 slots, GB2312 rows 1-87 and cells 1-94; gbk: 126 x 190 slots, "
     "leads 0x81-0xFE and trails 0x40-0x7E, 0x80-0xFE; ascii: 95 slots, 0x20-0x7E; or a FILE: the "
     "distinct characters of a UTF-8 text in code-point order (control characters left out). gb2312 and "
     "gbk differ in two codes: 0xA1A4 is U+30FB KATAKANA MIDDLE DOT in gb2312 and U+00B7 MIDDLE DOT in "
     "gbk, 0xA1AA is U+2015 HORIZONTAL BAR in gb2312 and U+2014 EM DASH in gbk; gb2312 follows the "
     "standard's own Unicode table, gbk Windows' code page 936 (as GB 18030 does)"},
    option::CharsFrom, option::CharsFromKind, option::SourceEncoding, option::ListChars,
    option::CellSize, option::PixelSize, option::Font, option::FontFile,
    option::Scan, option::Pad, option::MsbFirst, option::CellInvert, option::Missing,
    {"format", "hex|c", "the data text or a C array (with a header comment that records the charset, "
     "layout and offset formula) instead of the binary file"},
    option::Name,
    {"binary", nullptr, "the bytes themselves (the default)"},
    option::Output, option::Quiet, option::Depfile, option::KeepUnchanged,
};
// clang-format on

// The set --charset names; a file's set has a code table in the C form.
glyph::Charset charsetOf(const LibraryOptions& o, bool& withCodes) {
    withCodes = false;
    const bool sources = !o.sources.files.isEmpty();
    if (!sources && glyph::charsetNames().contains(o.charset)) {
        const glyph::CharsetResult named = glyph::namedCharset(o.charset);
        if (named.problem == glyph::CharsetProblem::NoConverter)
            failure(QStringLiteral("this system cannot decode %1 codes").arg(o.charset));
        return named.charset;
    }
    if (!sources && !exists(o.charset))
        usageError(QStringLiteral("--charset wants %1 or a charset file; '%2' is neither a "
                                  "charset name nor a file")
                       .arg(glyph::charsetNames().join(QStringLiteral(", ")), o.charset));
    // The characters of --chars-from files, as those of a charset file.
    const QString what =
        sources ? QStringLiteral("--chars-from %1").arg(o.sources.files.join(u' ')) : o.charset;
    glyph::CharsetResult text =
        glyph::textCharset(sources ? sourceCharacters(o.sources).toUtf8() : readWhole(o.charset));
    if (text.problem == glyph::CharsetProblem::NotUtf8)
        failure(QStringLiteral("charset file '%1' is not UTF-8 text").arg(o.charset));
    if (text.problem == glyph::CharsetProblem::NoCharacters && !o.sources.listChars)
        failure(sources ? QStringLiteral("the --chars-from files hold no characters")
                        : QStringLiteral("charset file '%1' holds no characters").arg(o.charset));
    text.charset.description =
        QStringLiteral("the %1 distinct characters of %2, in code-point order")
            .arg(QString::number(text.charset.entries.size()), what);
    text.charset.offset =
        QStringLiteral("the character at index i of %1_codes (sorted: search it) at i * B")
            .arg(o.out.name.isEmpty() ? QStringLiteral("font_data") : o.out.name);
    withCodes = true;
    return text.charset;
}

// How a line of the C form names its slot: "0xB0A1 U+554A '啊'".
QByteArray labelOf(const glyph::CharsetSlot& slot) {
    const QByteArray code =
        slot.code < 0 ? QByteArray() : "0x" + QByteArray::number(slot.code, 16).toUpper();
    if (!slot.assigned)
        return code + " unassigned";
    const QByteArray label = core::characterLabel(slot.cp).toUtf8();
    return code.isEmpty() ? label : code + ' ' + label;
}

int runLibrary(const CommandLine& line) {
    const LibraryOptions o = parseLibrary(line);
    bool withCodes = false;
    const glyph::Charset set = charsetOf(o, withCodes);
    const std::vector<char32_t> chars = set.characters();
    if (o.sources.listChars)
        return listCharacters(chars);
    const std::unique_ptr<glyph::CellDrawer> cells = cellDrawer(o.cell);
    if (o.missing)
        return reportMissing(chars, *cells, o.out.quiet);
    Destination destination(nativeName(o.out.output).toStdString(),
                            o.out.form == core::DataForm::Binary, o.out.files);

    const qint64 perGlyph = cells->bytesPerGlyph();
    const qint64 total = perGlyph * qint64(set.entries.size());
    const bool c = o.out.form == core::DataForm::C;
    const QString summary =
        QStringLiteral("%1 slots, %2 of them characters")
            .arg(QString::number(set.entries.size()), QString::number(chars.size()));
    core::Formatter out(destination.sink(), o.out.form, core::LinePolicy{0, true});
    if (c) {
        out.text(core::headerComment(
            QStringList{QStringLiteral("Font library made by zentraq-cli: %1, %2 bytes")
                            .arg(summary, QString::number(total)),
                        QStringLiteral("charset: ") + set.description} +
            describeCells(*cells, o.cell) +
            QStringList{QStringLiteral("offset: %1, B = %2; unassigned codes are all zero")
                            .arg(set.offset, QString::number(perGlyph))}));
        if (withCodes)
            out.text("#include <stdint.h>\r\n\r\n");
        out.beginArray(o.out.name.toLatin1(), total);
    }
    const std::vector<std::uint8_t> zeros(std::size_t(perGlyph), 0);
    for (const glyph::CharsetSlot& slot : set.entries) {
        out.bytes(slot.assigned ? cells->glyph(slot.cp) : zeros);
        out.endFrame(c ? labelOf(slot) : QByteArray());
    }
    out.finish();
    recordFacesDrawn(*cells, chars, o.cell);
    if (c && withCodes)
        destination.sink().write("\r\n" +
                                 core::codeTable(o.out.name + QStringLiteral("_codes"), chars));
    destination.commit(inputFiles());
    if (!o.out.quiet)
        note(QStringLiteral("%1, %2 bytes each: %3 bytes")
                 .arg(summary, QString::number(perGlyph), QString::number(total)));
    return 0;
}

} // namespace

LibraryOptions parseLibrary(const CommandLine& line) {
    LibraryOptions o;
    o.cell = parseCell(line);
    o.missing = parseMissing(line);
    o.out = parseOutput(line, core::DataForm::Binary, "font_data");
    o.charset = line.value("charset");
    o.sources = parseSources(line);
    if (o.charset.isEmpty() && o.sources.files.isEmpty())
        usageError(QStringLiteral("library needs --charset %1 or a charset FILE")
                       .arg(glyph::charsetNames().join(QStringLiteral(", "))));
    if (!o.charset.isEmpty() && !o.sources.files.isEmpty())
        usageError(QStringLiteral("give --charset or --chars-from, not both"));
    if (!line.positional().isEmpty())
        usageError(QStringLiteral("library takes no arguments besides its options, got '%1'")
                       .arg(line.positional().front()));
    return o;
}

const CommandDef LibraryCommand{
    "library",
    "a character set -> one font library file for external flash",
    "zentraq-cli library --charset gb2312|gbk|ascii|FILE --size WxH -o OUT [options]",
    "Draws every slot of a character set in a cell, as glyph does, into one file: slot after "
    "slot, each glyph B bytes, so the glyph of a code lies at a fixed offset. Codes a charset "
    "leaves unassigned are all zero; with --invert so is a glyph that is ink all over, which the "
    "bytes alone cannot tell from an unassigned code. gb2312: ((row - 1) * 94 + (cell - 1)) * B "
    "for the code "
    "(0xA0 + row, 0xA0 + cell); gbk: ((lead - 0x81) * 190 + trail - 0x40 - (trail > 0x7F)) * B; "
    "ascii: (c - 0x20) * B; a FILE: the index of the character in code-point order * B, and the "
    "C form adds the sorted uint32_t code-point table NAME_codes for a binary search.",
    "zentraq-cli library --charset gb2312 --size 16x16 -o hzk16.bin",
    Options,
    runLibrary,
};

} // namespace zentraq::cli
