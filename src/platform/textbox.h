#pragma once

#include <QPlainTextEdit>

namespace zentraq {

// A multi-line text box whose text is exact: what the program sets, what the
// user pastes and what the user types is what it reads back, character for
// character. Only a CR LF pair breaks the line; Enter inserts one. A lone CR
// or LF, and the other characters a text document would take as a break,
// stay in the text as characters and are shown as a grey symbol in the line.
// Tab and Ctrl+Tab move the focus on instead of typing a tab.
class TextBox : public QPlainTextEdit {
    Q_OBJECT
    Q_PROPERTY(QString text READ text WRITE setText)
    // The text as typed into the layout: every line break stands for the
    // CR LF that Enter inserts.
    Q_PROPERTY(QString typedText READ text WRITE setTypedText)

public:
    explicit TextBox(QWidget* parent = nullptr);

    QString text() const;
    void setText(const QString& text);
    void setTypedText(const QString& lines);

protected:
    bool canInsertFromMimeData(const QMimeData* source) const override;
    void insertFromMimeData(const QMimeData* source) override;
    QMimeData* createMimeDataFromSelection() const override;
    void keyPressEvent(QKeyEvent* e) override;
    void inputMethodEvent(QInputMethodEvent* e) override;

private:
    // Inserts `text` at the cursor in place of the selection, keeping every
    // character.
    void insertExact(QTextCursor& cursor, const QString& text);
    // The exact text between two document positions.
    QString exactText(int from, int to) const;
    // New typing does not continue the format of a symbol that stands for a
    // break character.
    void typeInPlainFormat();

    QString m_text;        // the exact text last set by the program
    bool m_edited = false; // the user changed the text since then
    bool m_setting = false;
};

} // namespace zentraq
