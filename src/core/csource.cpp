#include "csource.h"

#include "bytearraysink.h"
#include "carray.h"

#include <QChar>

namespace zentraq::core {
namespace {

const QByteArray CrLf("\r\n");

// The character at text[i]: a surrogate pair is one, anything else one code
// unit.
char32_t nextCharacter(QStringView text, qsizetype& i) {
    const char16_t c = text[i++].unicode();
    if (QChar::isHighSurrogate(c) && i < text.size() && QChar::isLowSurrogate(text[i].unicode()))
        return QChar::surrogateToUcs4(c, text[i++].unicode());
    return c;
}

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
    // (QString::fromUcs4 would drop a U+FEFF.) A lone U+DC80 to U+DCFF is a
    // byte of a name that is not UTF-8.
    if (!needsEscape(cp))
        out += QStringView(QChar::fromUcs4(cp));
    else if (cp >= 0xDC80 && cp <= 0xDCFF)
        out += QStringLiteral("\\x") + hexDigits(cp - 0xDC00, 2);
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

QByteArray headerComment(const QStringList& lines) {
    QByteArray out = "/*" + CrLf;
    for (const QString& line : lines)
        out += commentLine(line);
    return out + " */" + CrLf;
}

QStringList layoutLines(const Layout& layout, bool invert) {
    // Glyph data has one bit per pixel; packed picture data 1, 2 or 4.
    const int perByte = 8 / layout.bits;
    const QString bits =
        layout.bits == 1 ? QStringLiteral("one bit") : QStringLiteral("%1 bits").arg(layout.bits);
    QString scan;
    QString first = QStringLiteral("the first pixel of each byte");
    switch (layout.scan) {
    case Scan::Row:
        scan = QStringLiteral(
                   "row: horizontal bytes, rows from the top, each row from the left, %1 per "
                   "pixel, %2")
                   .arg(bits, layout.pad ? QStringLiteral("every row starting on a new byte")
                                         : QStringLiteral("rows not padded to whole bytes"));
        break;
    case Scan::Column:
        scan = QStringLiteral(
                   "column: vertical bytes, columns from the left, each column from the top, %1 "
                   "per pixel, %2")
                   .arg(bits, layout.pad ? QStringLiteral("every column starting on a new byte")
                                         : QStringLiteral("columns not padded to whole bytes"));
        break;
    case Scan::Page:
        scan = QStringLiteral(
                   "page: vertical bytes in bands of %1 rows; for each band from the top, one byte "
                   "per column from the left; the last band padded with zero bits")
                   .arg(perByte);
        first = QStringLiteral("the band's top row");
        break;
    case Scan::Band:
        scan = QStringLiteral(
                   "band: horizontal bytes in bands of %1 columns; for each band from the left, "
                   "one byte per row from the top; the last band padded with zero bits")
                   .arg(perByte);
        first = QStringLiteral("the band's left column");
        break;
    }
    const QString order = layout.msbFirst ? QStringLiteral("most") : QStringLiteral("least");
    if (layout.bits > 1)
        return {QStringLiteral("scan: ") + scan,
                QStringLiteral("bits: %1 in the %2 significant %3").arg(first, order, bits)};
    return {QStringLiteral("scan: ") + scan,
            QStringLiteral("bits: %1 in the %2 significant bit; ink %3, background %4")
                .arg(first, order, invert ? QStringLiteral("0") : QStringLiteral("1"),
                     invert ? QStringLiteral("1") : QStringLiteral("0"))};
}

QByteArray codeTable(const QString& name, const std::vector<char32_t>& codes) {
    ByteArraySink sink;
    {
        TextBlock out(sink);
        out.append(declarationText({"const",
                                    {},
                                    "uint32_t",
                                    textView(name.toLatin1()),
                                    static_cast<long long>(codes.size())},
                                   "\r\n"));
        ArrayWriter items(out, {"\r\n", {}, {}, 8, ItemForm::Hex32});
        items.items(codes.data(), codes.size());
        items.close();
    }
    return sink.bytes;
}

bool isCIdentifier(QStringView name) {
    if (name.isEmpty() || (name[0] >= u'0' && name[0] <= u'9'))
        return false;
    for (const QChar c : name) {
        if (!(c == u'_' || (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'z') ||
              (c >= u'A' && c <= u'Z')))
            return false;
    }
    return true;
}

// The keywords of C11 and C23, and asm, which compilers reserve as well: no
// array can have these names.
bool isCKeyword(QStringView name) {
    static const QStringList keywords =
        QStringLiteral(
            "alignas alignof asm auto bool break case char const constexpr continue default do "
            "double else enum extern false float for goto if inline int long nullptr register "
            "restrict return short signed sizeof static static_assert struct switch thread_local "
            "true typedef typeof typeof_unqual union unsigned void volatile while _Alignas "
            "_Alignof _Atomic _BitInt _Bool _Complex _Decimal128 _Decimal32 _Decimal64 _Generic "
            "_Imaginary _Noreturn _Static_assert _Thread_local")
            .split(u' ');
    return keywords.contains(name);
}

} // namespace zentraq::core
