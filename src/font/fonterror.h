#pragma once

// Why a font could not be made. A Request failure means the request cannot
// be carried out as given (a face index past a collection's end, a character
// set a format cannot hold, a size it cannot store); a Failure means the work
// went wrong (a file that is not a font, a face that cannot be drawn at the
// size). The messages are in English, one line, for the command-line tool.

#include <QByteArray>
#include <QString>

#include <exception>

namespace zentraq::font {

class FontError : public std::exception {
public:
    enum Kind { Request, Failure };
    FontError(Kind kind, QString message)
        : m_kind(kind), m_message(std::move(message)), m_what(m_message.toUtf8()) {}
    Kind kind() const noexcept { return m_kind; }
    const QString& message() const noexcept { return m_message; }
    const char* what() const noexcept override { return m_what.constData(); }

private:
    Kind m_kind;
    QString m_message;
    QByteArray m_what;
};

// "U+4E2D": how messages name a code.
inline QString codeName(char32_t cp) {
    return QStringLiteral("U+") + QString::number(uint(cp), 16).toUpper().rightJustified(4, u'0');
}

[[noreturn]] inline void requestError(const QString& message) {
    throw FontError(FontError::Request, message);
}
[[noreturn]] inline void fontFailure(const QString& message) {
    throw FontError(FontError::Failure, message);
}

} // namespace zentraq::font
