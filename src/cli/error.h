#pragma once

// The tool's failures: one line on standard error and an exit code.

#include <QByteArray>
#include <QString>

#include <exception>

namespace zentraq::cli {

// A failure that ends the tool with one line on standard error: exit code 2
// for a command line that cannot be carried out as written, 1 for anything
// that went wrong while carrying it out.
class CliError : public std::exception {
public:
    enum Kind { Usage = 2, Failure = 1 };
    CliError(Kind kind, QString message)
        : m_kind(kind), m_message(std::move(message)), m_what(m_message.toUtf8()) {}
    Kind kind() const noexcept { return m_kind; }
    int exitCode() const noexcept { return m_kind; }
    const QString& message() const noexcept { return m_message; }
    const char* what() const noexcept override { return m_what.constData(); }

private:
    Kind m_kind;
    QString m_message;
    QByteArray m_what;
};

[[noreturn]] inline void usageError(const QString& message) {
    throw CliError(CliError::Usage, message);
}
[[noreturn]] inline void failure(const QString& message) {
    throw CliError(CliError::Failure, message);
}

} // namespace zentraq::cli
