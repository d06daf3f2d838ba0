#pragma once

#include <QByteArray>
#include <QString>

#include <exception>

namespace zentraq {

// A run-time failure that a routine reports to the user as its description
// (the picture routines put "出现错误" in front of it). The numbers follow the
// classic run-time error numbering so that callers and tests can tell the kinds
// apart without comparing texts.
class RuntimeError : public std::exception {
public:
    enum Code {
        Overflow = 6,
        OutOfMemory = 7,
        FileNotFound = 53,
        InputPastEndOfFile = 62,
        PermissionDenied = 70,
        PathFileAccessError = 75,
        InvalidPicture = 481,
        Other = 0,
    };

    RuntimeError(Code code, QString description)
        : m_code(code), m_description(std::move(description)), m_what(m_description.toUtf8()) {}

    Code code() const noexcept { return m_code; }
    const QString& description() const noexcept { return m_description; }
    const char* what() const noexcept override { return m_what.constData(); }

    // The arithmetic overflow failure of range-checked integer and byte stores.
    static RuntimeError overflow(const QString& detail = {}) {
        return RuntimeError(Overflow, detail.isEmpty() ? QStringLiteral("溢出")
                                                       : QStringLiteral("溢出：") + detail);
    }

private:
    Code m_code;
    QString m_description;
    QByteArray m_what;
};

} // namespace zentraq
