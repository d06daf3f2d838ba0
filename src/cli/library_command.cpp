// zentraq-cli library: every slot of a character set drawn into one file, at
// offsets firmware computes from the character's code, for external flash.
#include "cells.h"
#include "cformat.h"
#include "cli.h"
#include "files.h"
#include "options.h"

#include <QStringDecoder>

#include <set>

namespace zentraq::cli {
namespace {

// One slot of a library: a character, or an unassigned code (all zero).
struct Slot {
    char32_t cp = 0;
    bool assigned = false;
    QByteArray code; // the charset's code as the C comment names it ("0xB0A1"), or empty
};

struct Charset {
    QString description; // for the header comment
    QString offset;      // the offset formula, B for the bytes per glyph
    std::vector<Slot> entries;
    bool codeTable = false; // the C form adds the sorted code-point table
};

// The character a two-byte code stands for in `encoding`: one character
// that is neither the replacement character nor private-use, which is how
// the converters report codes the charset leaves unassigned.
Slot decodeSlot(QStringDecoder& decoder, int lead, int trail) {
    Slot slot;
    slot.code = "0x" + QByteArray::number(lead * 256 + trail, 16).toUpper();
    const char bytes[2] = {char(lead), char(trail)};
    decoder.resetState();
    const QString s = decoder(QByteArrayView(bytes, 2));
    if (decoder.hasError() || s.isEmpty())
        return slot;
    qsizetype i = 0;
    const char32_t cp = nextCharacter(s, i);
    if (i != s.size() || cp == 0xFFFD || QChar::category(cp) == QChar::Other_PrivateUse ||
        QChar::category(cp) == QChar::Other_Surrogate ||
        QChar::category(cp) == QChar::Other_Control)
        return slot;
    slot.cp = cp;
    slot.assigned = true;
    return slot;
}

Charset gb2312() {
    Charset set;
    set.description = QStringLiteral("gb2312, 87 x 94 slots: GB2312 rows 1-87, cells 1-94");
    set.offset =
        QStringLiteral("the code (0xA0 + row, 0xA0 + cell) at ((row - 1) * 94 + (cell - 1)) * B");
    QStringDecoder decoder("GB2312");
    if (!decoder.isValid())
        failure(QStringLiteral("this system has no GB2312 converter"));
    for (int row = 1; row <= 87; ++row)
        for (int cell = 1; cell <= 94; ++cell)
            set.entries.push_back(decodeSlot(decoder, 0xA0 + row, 0xA0 + cell));
    return set;
}

Charset gbk() {
    Charset set;
    set.description =
        QStringLiteral("gbk, 126 x 190 slots: leads 0x81-0xFE, trails 0x40-0x7E and 0x80-0xFE");
    set.offset = QStringLiteral(
        "the code (lead, trail) at ((lead - 0x81) * 190 + trail - 0x40 - (trail > 0x7F)) * B");
    QStringDecoder decoder("GBK");
    if (!decoder.isValid())
        failure(QStringLiteral("this system has no GBK converter"));
    for (int lead = 0x81; lead <= 0xFE; ++lead)
        for (int trail = 0x40; trail <= 0xFE; ++trail)
            if (trail != 0x7F)
                set.entries.push_back(decodeSlot(decoder, lead, trail));
    return set;
}

Charset ascii() {
    Charset set;
    set.description = QStringLiteral("ascii, 95 slots: 0x20-0x7E");
    set.offset = QStringLiteral("the character c at (c - 0x20) * B");
    for (char32_t c = 0x20; c <= 0x7E; ++c)
        set.entries.push_back({c, true, {}});
    return set;
}

// The distinct characters of a UTF-8 text in code-point order; control
// characters (line breaks, tabs) are not glyphs of a font and are left out.
Charset fromFile(const QString& path, const QString& arrayName) {
    const QByteArray bytes = readWhole(path);
    QStringDecoder decoder(QStringDecoder::Utf8);
    const QString text = decoder(bytes);
    if (decoder.hasError())
        failure(QStringLiteral("charset file '%1' is not UTF-8 text").arg(path));
    std::set<char32_t> chars;
    for (qsizetype i = 0; i < text.size();) {
        const char32_t cp = nextCharacter(text, i);
        if (QChar::category(cp) != QChar::Other_Control)
            chars.insert(cp);
    }
    if (chars.empty())
        failure(QStringLiteral("charset file '%1' holds no characters").arg(path));
    Charset set;
    set.description = QStringLiteral("the %1 distinct characters of %2, in code-point order")
                          .arg(QString::number(chars.size()), path);
    set.offset = QStringLiteral("the character at index i of %1_codes (sorted: search it) at i * B")
                     .arg(arrayName);
    set.codeTable = true;
    for (const char32_t c : chars)
        set.entries.push_back({c, true, {}});
    return set;
}

Charset charsetOf(const Options& o) {
    if (o.charset == QLatin1String("gb2312"))
        return gb2312();
    if (o.charset == QLatin1String("gbk"))
        return gbk();
    if (o.charset == QLatin1String("ascii"))
        return ascii();
    if (!exists(o.charset))
        usageError(QStringLiteral(
                       "--charset wants gb2312, gbk, ascii or a charset file; '%1' is neither a "
                       "charset name nor a file")
                       .arg(o.charset));
    return fromFile(o.charset, o.name.isEmpty() ? QStringLiteral("font_data") : o.name);
}

// How a line of the C form names its slot.
QByteArray labelOf(const Slot& slot) {
    if (!slot.assigned)
        return slot.code + " unassigned";
    const QByteArray label = characterLabel(slot.cp).toUtf8();
    return slot.code.isEmpty() ? label : slot.code + ' ' + label;
}

std::vector<char32_t> assignedOf(const Charset& set) {
    std::vector<char32_t> chars;
    for (const Slot& s : set.entries) {
        if (s.assigned)
            chars.push_back(s.cp);
    }
    return chars;
}

} // namespace

void runLibrary(const Options& o) {
    const Charset set = charsetOf(o);
    CellDrawer cells(o);
    Destination destination(o.output, o.form == core::DataForm::Binary);

    const qint64 perGlyph = cells.bytesPerGlyph();
    const qint64 total = perGlyph * qint64(set.entries.size());
    const std::vector<char32_t> chars = assignedOf(set);
    const bool c = o.form == core::DataForm::C;
    core::Formatter out(destination.sink(), o.form, core::LinePolicy{0, true});
    if (c) {
        out.text(headerComment(
            QStringList{
                QStringLiteral(
                    "Font library made by zentraq-cli: %1 slots, %2 of them characters, %3 bytes")
                    .arg(set.entries.size())
                    .arg(chars.size())
                    .arg(total),
                QStringLiteral("charset: ") + set.description} +
            cells.describe() +
            QStringList{QStringLiteral("offset: %1, B = %2; unassigned codes are all zero")
                            .arg(set.offset, QString::number(perGlyph))}));
        if (set.codeTable)
            out.text("#include <stdint.h>\r\n\r\n");
        out.beginArray(o.name.toLatin1(), total);
    }
    const std::vector<std::uint8_t> zeros(std::size_t(perGlyph), 0);
    for (const Slot& slot : set.entries) {
        out.bytes(slot.assigned ? cells.glyph(slot.cp) : zeros);
        out.endFrame(c ? labelOf(slot) : QByteArray());
    }
    out.finish();
    if (c && set.codeTable)
        destination.sink().write("\r\n" + codeTable(o.name + QStringLiteral("_codes"), chars));
    destination.commit();
    if (!o.quiet)
        note(QStringLiteral("%1 slots, %2 of them characters, %3 bytes each: %4 bytes")
                 .arg(set.entries.size())
                 .arg(chars.size())
                 .arg(perGlyph)
                 .arg(total));
}

int runLibraryMissing(const Options& o) {
    const Charset set = charsetOf(o);
    CellDrawer cells(o);
    return listMissing(assignedOf(set), cells.renderer(), o.quiet);
}

} // namespace zentraq::cli
