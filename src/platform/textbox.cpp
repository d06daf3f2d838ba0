#include "textbox.h"

namespace zentraq {

TextBox::TextBox(QWidget* parent) : QPlainTextEdit(parent) {
    setLineWrapMode(QPlainTextEdit::WidgetWidth);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    connect(this, &QPlainTextEdit::textChanged, this, [this] {
        if (!m_setting)
            m_edited = true;
    });
}

QString TextBox::text() const {
    if (!m_edited)
        return m_text;
    // The document keeps lines as paragraphs; a paragraph break is the CR LF
    // that Enter inserted.
    QString t = toPlainText();
    t.replace(QChar::ParagraphSeparator, QLatin1Char('\n'));
    t.replace(QLatin1Char('\n'), QStringLiteral("\r\n"));
    return t;
}

void TextBox::setText(const QString& text) {
    m_setting = true;
    m_text = text;
    m_edited = false;
    // Shown with CR LF as one line break; a lone CR or LF also breaks the line.
    QString shown = text;
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    shown.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    setPlainText(shown);
    m_setting = false;
}

void TextBox::setTypedText(const QString& lines) {
    QString t = lines;
    t.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    t.replace(QLatin1Char('\n'), QStringLiteral("\r\n"));
    setText(t);
}

} // namespace zentraq
