#include "textbox.h"

#include <QKeyEvent>
#include <QMimeData>
#include <QTextBlock>

namespace zentraq {
namespace {

// A symbol that stands for a break character carries that character in its
// format.
constexpr int StandsFor = QTextFormat::UserProperty + 1;

// The text document breaks the line at these characters, or takes them as
// frame marks; in the box they are characters like any other, shown as a
// symbol in the line.
char16_t standIn(char16_t c) {
    switch (c) {
    case u'\r':
        return u'\u240D'; // ␍
    case u'\n':
        return u'\u240A'; // ␊
    case u'\u2028':
        return u'\u2424'; // ␤
    case u'\u2029':
        return u'\u00B6'; // ¶
    case u'\uFDD0':
    case u'\uFDD1':
        return u'\uFFFD';
    default:
        return 0;
    }
}

bool isCrLf(const QString& t, qsizetype i) {
    return t[i] == u'\r' && i + 1 < t.size() && t[i + 1] == u'\n';
}

// Whether `text` holds a break character other than as part of a CR LF pair.
bool needsStandIns(const QString& text) {
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (isCrLf(text, i))
            ++i;
        else if (standIn(text[i].unicode()))
            return true;
    }
    return false;
}

} // namespace

TextBox::TextBox(QWidget* parent) : QPlainTextEdit(parent) {
    setLineWrapMode(QPlainTextEdit::WidgetWidth);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setTabChangesFocus(true);
    connect(this, &QPlainTextEdit::textChanged, this, [this] {
        if (!m_setting)
            m_edited = true;
    });
}

QString TextBox::text() const {
    if (!m_edited)
        return m_text;
    return exactText(0, document()->characterCount() - 1);
}

QString TextBox::exactText(int from, int to) const {
    // A paragraph break is the CR LF that Enter or the text put there.
    QString out;
    for (QTextBlock b = document()->findBlock(from); b.isValid() && b.position() < to;
         b = b.next()) {
        for (auto it = b.begin(); !it.atEnd(); ++it) {
            const QTextFragment f = it.fragment();
            const int start = std::max(from, f.position());
            const int end = std::min(to, f.position() + f.length());
            if (start >= end)
                continue;
            QString part = f.text().mid(start - f.position(), end - start);
            if (const int original = f.charFormat().intProperty(StandsFor))
                part.replace(QChar(standIn(static_cast<char16_t>(original))), QChar(original));
            out += part;
        }
        const int separator = b.position() + b.length() - 1;
        if (b.next().isValid() && separator >= from && separator < to)
            out += QStringLiteral("\r\n");
    }
    return out;
}

void TextBox::insertExact(QTextCursor& cursor, const QString& text) {
    cursor.beginEditBlock();
    cursor.removeSelectedText();
    const QTextCharFormat plain;
    QTextCharFormat symbol;
    QColor grey = palette().color(QPalette::Text);
    grey.setAlpha(150);
    symbol.setForeground(grey);
    const auto insertRun = [&](qsizetype from, qsizetype to) {
        if (to > from)
            cursor.insertText(text.mid(from, to - from), plain);
    };
    qsizetype run = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (isCrLf(text, i)) {
            insertRun(run, i);
            cursor.insertBlock();
            run = ++i + 1;
        } else if (const char16_t s = standIn(text[i].unicode())) {
            insertRun(run, i);
            symbol.setProperty(StandsFor, int(text[i].unicode()));
            cursor.insertText(QString(QChar(s)), symbol);
            run = i + 1;
        }
    }
    insertRun(run, text.size());
    cursor.endEditBlock();
}

void TextBox::setText(const QString& text) {
    m_setting = true;
    m_text = text;
    m_edited = false;
    if (needsStandIns(text)) {
        setPlainText(QString());
        document()->setUndoRedoEnabled(false);
        QTextCursor cursor(document());
        insertExact(cursor, text);
        document()->setUndoRedoEnabled(true);
        moveCursor(QTextCursor::Start);
    } else {
        // Long data texts take the quick way: only CR LF pairs to break at.
        QString shown = text;
        shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
        setPlainText(shown);
    }
    m_setting = false;
}

void TextBox::setTypedText(const QString& lines) {
    QString t = lines;
    t.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    t.replace(QLatin1Char('\n'), QStringLiteral("\r\n"));
    setText(t);
}

bool TextBox::canInsertFromMimeData(const QMimeData* source) const {
    return source->hasText() || QPlainTextEdit::canInsertFromMimeData(source);
}

void TextBox::insertFromMimeData(const QMimeData* source) {
    if (isReadOnly() || !source->hasText()) {
        QPlainTextEdit::insertFromMimeData(source);
        return;
    }
    QTextCursor cursor = textCursor();
    insertExact(cursor, source->text());
    setTextCursor(cursor);
    ensureCursorVisible();
}

QMimeData* TextBox::createMimeDataFromSelection() const {
    const QTextCursor cursor = textCursor();
    auto* data = new QMimeData;
    data->setText(exactText(cursor.selectionStart(), cursor.selectionEnd()));
    return data;
}

void TextBox::typeInPlainFormat() {
    if (textCursor().charFormat().hasProperty(StandsFor))
        setCurrentCharFormat(QTextCharFormat());
}

void TextBox::keyPressEvent(QKeyEvent* e) {
    // Tab moves on, also with Ctrl held; Shift goes back.
    if ((e->key() == Qt::Key_Tab || e->key() == Qt::Key_Backtab) &&
        !(e->modifiers() & Qt::AltModifier)) {
        focusNextPrevChild(e->key() == Qt::Key_Tab && !(e->modifiers() & Qt::ShiftModifier));
        e->accept();
        return;
    }
    typeInPlainFormat();
    // Shift+Enter breaks the line like Enter, with CR LF.
    if (e->matches(QKeySequence::InsertLineSeparator)) {
        QKeyEvent enter(e->type(), Qt::Key_Return, Qt::NoModifier, QStringLiteral("\r"),
                        e->isAutoRepeat(), e->count());
        QPlainTextEdit::keyPressEvent(&enter);
        return;
    }
    QPlainTextEdit::keyPressEvent(e);
}

void TextBox::inputMethodEvent(QInputMethodEvent* e) {
    typeInPlainFormat();
    const QString commit = e->commitString();
    if (commit.isEmpty() || isReadOnly()) {
        QPlainTextEdit::inputMethodEvent(e);
        return;
    }
    // The committed text goes in exactly, then the rest of the event.
    QInputMethodEvent rest(e->preeditString(), e->attributes());
    rest.setCommitString(QString(), e->replacementStart(), e->replacementLength());
    QPlainTextEdit::inputMethodEvent(&rest);
    QTextCursor cursor = textCursor();
    insertExact(cursor, commit);
    setTextCursor(cursor);
}

} // namespace zentraq
