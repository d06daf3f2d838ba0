#pragma once

#include <QPlainTextEdit>

namespace zentraq {

// A multi-line text box whose text is exact: what the program sets is what it
// reads back, CR, LF and CR LF included. Lines the user types are separated by
// CR LF, as Enter inserts them.
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

private:
    QString m_text;      // the exact text last set by the program
    bool m_edited = false; // the user changed the text since then
    bool m_setting = false;
};

} // namespace zentraq
