#include "cformat.h"

#include "glyphcanvas.h"

#include <QChar>

namespace zentraq::cli {
namespace {

const QByteArray CrLf("\r\n");

// Characters that are shown as an escape in a comment rather than as
// themselves.
bool needsEscape(char32_t cp) {
    if (cp > 0x10FFFF)
        return true;
    switch (QChar::category(cp)) {
    case QChar::Other_Control:
    case QChar::Other_Format:
    case QChar::Other_Surrogate:
    case QChar::Other_PrivateUse:
    case QChar::Other_NotAssigned:
    case QChar::Separator_Line:
    case QChar::Separator_Paragraph:
        return true;
    default:
        return false;
    }
}

// Upper-case hexadecimal digits, at least `width` of them.
QString hexDigits(char32_t v, int width) {
    return QString::number(static_cast<uint>(v), 16).toUpper().rightJustified(width, u'0');
}

void appendEscaped(QString& out, char32_t cp, bool inQuotes) {
    const QChar last = out.isEmpty() ? QChar() : out.back();
    switch (cp) {
    case U'\\':
        out += QStringLiteral("\\\\");
        return;
    case U'\t':
        out += QStringLiteral("\\t");
        return;
    case U'\n':
        out += QStringLiteral("\\n");
        return;
    case U'\r':
        out += QStringLiteral("\\r");
        return;
    case U'/':
        out += last == u'*' ? QStringLiteral("\\/") : QStringLiteral("/");
        return;
    case U'*':
        out += last == u'/' ? QStringLiteral("\\*") : QStringLiteral("*");
        return;
    case U'\'':
        out += inQuotes ? QStringLiteral("\\'") : QStringLiteral("'");
        return;
    default:
        break;
    }
    if (!needsEscape(cp))
        out += QStringView(QChar::fromUcs4(cp)); // (QString::fromUcs4 would drop a U+FEFF)
    else if (cp < 0x100)
        out += QStringLiteral("\\x") + hexDigits(cp, 2);
    else if (cp < 0x10000)
        out += QStringLiteral("\\u") + hexDigits(cp, 4);
    else
        out += QStringLiteral("\\U") + hexDigits(cp, 8);
}

QString escapeAll(QStringView text, bool inQuotes) {
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size();)
        appendEscaped(out, nextCharacter(text, i), inQuotes);
    return out;
}

QByteArray commentLine(const QString& text) {
    return " * " + commentText(text).toUtf8() + CrLf;
}

QString pointsText(float points) {
    return QString::number(static_cast<double>(points), 'g', 7);
}

} // namespace

QString commentText(QStringView text) {
    return escapeAll(text, false);
}

QString characterLabel(char32_t cp) {
    QString label = QStringLiteral("U+") + hexDigits(cp, 4) + QStringLiteral(" '");
    appendEscaped(label, cp, true);
    label += u'\'';
    return label;
}

QByteArray glyphArray(const GlyphArrayInfo& info, const QByteArray& dataText, const std::vector<char32_t>& chars) {
    const qint64 perGlyph = (static_cast<qint64>(info.width) * info.height + 7) / 8;
    const qint64 total = perGlyph * static_cast<qint64>(chars.size());

    QByteArray out;
    out += "/*" + CrLf;
    out += commentLine(QStringLiteral("Glyph data made by zentraq-cli: %1 characters at %2x%3 (%4), %5 bytes each, %6 bytes")
                           .arg(chars.size())
                           .arg(info.width)
                           .arg(info.height)
                           .arg(info.sizeCaption)
                           .arg(perGlyph)
                           .arg(total));
    out += commentLine(QStringLiteral("font: %1 (%2), %3 pt = %4 px")
                           .arg(info.fontFamily.isEmpty() ? QStringLiteral("-") : info.fontFamily,
                                info.fontFile.isEmpty() ? QStringLiteral("no file") : info.fontFile,
                                pointsText(info.points))
                           .arg(info.pixels));
    out += commentLine(QStringLiteral("scan: horizontal, rows from the top, each row from the left, one bit per "
                                      "pixel, rows not padded to whole bytes"));
    out += commentLine(QStringLiteral("bits: the first pixel of each group of eight in the %1 significant bit; ink %2, background %3")
                           .arg(info.msbFirst ? QStringLiteral("most") : QStringLiteral("least"),
                                info.invert ? QStringLiteral("0") : QStringLiteral("1"),
                                info.invert ? QStringLiteral("1") : QStringLiteral("0")));
    out += " */" + CrLf;
    out += "const unsigned char " + info.name.toLatin1() + "[" + QByteArray::number(total) + "] = {" + CrLf;

    // One data line per character: the line without its CR LF, then the
    // comment naming the character.
    qsizetype pos = 0;
    for (const char32_t c : chars) {
        const qsizetype end = dataText.indexOf(CrLf, pos);
        const qsizetype lineEnd = end < 0 ? dataText.size() : end;
        out.append(dataText.constData() + pos, lineEnd - pos);
        out += " /* " + characterLabel(c).toUtf8() + " */" + CrLf;
        pos = end < 0 ? dataText.size() : end + 2;
    }
    out += "};" + CrLf;
    return out;
}

QByteArray pictureArrayHead(const PictureArrayInfo& info) {
    QByteArray out;
    out += "/*" + CrLf;
    out += commentLine(QStringLiteral("Picture data made by zentraq-cli: %1, %2*%3 pixels, %4 bytes")
                           .arg(info.source)
                           .arg(info.width)
                           .arg(info.height)
                           .arg(info.bytes));
    out += commentLine(QStringLiteral("RGB565, 2 bytes per pixel, rows from the top, each row from the left, %1 byte first")
                           .arg(info.highByteFirst ? QStringLiteral("high") : QStringLiteral("low")));
    out += commentLine(info.highByteFirst
                           ? QStringLiteral("(a controller that takes the high byte first, or a big-endian one, reads the "
                                            "array as unsigned short words)")
                           : QStringLiteral("(a little-endian controller reads the array as unsigned short words once it "
                                            "is aligned to 2 bytes)"));
    out += " */" + CrLf;
    out += "const unsigned char " + info.name.toLatin1() + "[" + QByteArray::number(info.bytes) + "] = {" + CrLf;
    return out;
}

QByteArray pictureArrayTail(bool lineOpen) {
    return (lineOpen ? CrLf : QByteArray()) + "};" + CrLf;
}

} // namespace zentraq::cli
