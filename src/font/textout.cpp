#include "textout.h"

#include <QChar>

namespace zentraq::font {

QByteArray commentLabel(char32_t cp) {
    QByteArray label = "U+" + QByteArray::number(uint(cp), 16).toUpper().rightJustified(4, '0');
    switch (QChar::category(cp)) {
    case QChar::Letter_Uppercase:
    case QChar::Letter_Lowercase:
    case QChar::Letter_Titlecase:
    case QChar::Letter_Modifier:
    case QChar::Letter_Other:
    case QChar::Number_DecimalDigit:
    case QChar::Number_Letter:
    case QChar::Number_Other:
    case QChar::Punctuation_Connector:
    case QChar::Punctuation_Dash:
    case QChar::Punctuation_Open:
    case QChar::Punctuation_Close:
    case QChar::Punctuation_InitialQuote:
    case QChar::Punctuation_FinalQuote:
    case QChar::Punctuation_Other:
    case QChar::Symbol_Math:
    case QChar::Symbol_Currency:
    case QChar::Symbol_Modifier:
    case QChar::Symbol_Other: {
        const char32_t one[1] = {cp};
        label += " \"" + QString::fromUcs4(one, 1).toUtf8() + '"';
        break;
    }
    default: // spaces, marks, controls, formats, private use, unassigned
        break;
    }
    return label;
}

QByteArray commentLine(const QString& line) {
    QString safe;
    safe.reserve(line.size());
    for (const QChar c : line) {
        const bool control = c.category() == QChar::Other_Control ||
                             c.category() == QChar::Separator_Line ||
                             c.category() == QChar::Separator_Paragraph;
        safe += control ? QChar(u' ') : c;
    }
    safe.replace(QStringLiteral("*/"), QStringLiteral("* /"));
    safe.replace(QStringLiteral("/*"), QStringLiteral("/ *"));
    return safe.toUtf8();
}

} // namespace zentraq::font
