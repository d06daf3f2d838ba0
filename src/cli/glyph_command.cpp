// zentraq-cli glyph: the window's text-to-glyph-data conversion (the same
// canvas, faces, sizes and data text), in any cell size and byte layout.
#include "cells.h"
#include "cformat.h"
#include "cli.h"
#include "files.h"
#include "options.h"
#include "qumo.h"

#include <QStringDecoder>

namespace zentraq::cli {
namespace {

// The text to convert. A file is UTF-8 (a byte-order mark at its start is
// dropped); its line breaks are kept as they are, so CR LF pairs go away in
// the conversion as they do in the window and a lone LF is a character.
QString textOf(const Options& o) {
    switch (o.source) {
    case TextSource::Argument:
        return o.text;
    case TextSource::Ascii:
        return glyph::printableAscii();
    case TextSource::File: {
        const QByteArray bytes = readWhole(o.inputFile);
        QStringDecoder decoder(QStringDecoder::Utf8);
        QString text = decoder(bytes);
        if (decoder.hasError())
            failure(QStringLiteral("'%1' is not UTF-8 text").arg(o.inputFile));
        return text;
    }
    case TextSource::None:
        break;
    }
    return {};
}

} // namespace

void runGlyph(const Options& o) {
    const std::vector<char32_t> chars = glyph::characters(glyph::removeCrLf(textOf(o)));
    if (o.form == core::DataForm::C && chars.empty())
        failure(QStringLiteral("the text has no characters to convert (CR LF pairs are removed), "
                               "and C has no empty arrays"));
    CellDrawer cells(o);
    Destination destination(o.output, o.form == core::DataForm::Binary);

    // One line per character, as the window writes it.
    core::Formatter out(destination.sink(), o.form, core::LinePolicy{0, true});
    const qint64 total = cells.bytesPerGlyph() * qint64(chars.size());
    if (o.form == core::DataForm::C) {
        out.text(headerComment(
            QStringList{QStringLiteral("Glyph data made by zentraq-cli: %1 characters, %2 bytes")
                            .arg(chars.size())
                            .arg(total)} +
            cells.describe()));
        out.beginArray(o.name.toLatin1(), total);
    }
    for (const char32_t c : chars) {
        out.bytes(cells.glyph(c));
        out.endFrame(o.form == core::DataForm::C ? characterLabel(c).toUtf8() : QByteArray());
    }
    out.finish();
    destination.commit();
    if (!o.quiet)
        note(glyph::dataSizeCaption(total));
}

int runGlyphMissing(const Options& o) {
    const QString text = textOf(o);
    CellDrawer cells(o);
    return listMissing(glyph::characters(glyph::removeCrLf(text)), cells.renderer(), o.quiet);
}

} // namespace zentraq::cli
