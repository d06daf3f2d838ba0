#pragma once

// The bottom layer of zentraq-cli: the process's standard streams, its
// arguments as the system hands them over, and what libraries write to
// standard error on their own.
//
// Names are bytes to the system and need not be UTF-8. The tool's arguments
// are read with argumentText(), which keeps every byte that is not part of a
// UTF-8 character as a code unit of its own, and every name goes back to its
// bytes with nativeName() before the system sees it.

#include <QByteArray>
#include <QString>

#include <QtGlobal>

namespace zentraq::cli {

// Writes all `size` bytes to the descriptor `fd`, in as many pieces as it
// takes. Returns 0, or the error number of the write that failed.
int writeFully(int fd, const char* data, qint64 size);

// The system's words for an error number.
QString errnoText(int error);

// An argument of the tool as text: UTF-8, with each byte that is not part of
// a UTF-8 character kept as the lone surrogate U+DC80 + (byte - 0x80), so
// that nativeName() gives the bytes back.
QString argumentText(const char* argument);

// A name's bytes for the system: argumentText() reversed.
QByteArray nativeName(const QString& name);

// `text` for a message: each byte kept by argumentText() shown as \xHH.
QString readable(const QString& text);

// Opens /dev/null on each standard stream the process was started without,
// so that no file the tool opens takes the stream's number. Call first.
void openMissingStandardStreams();

bool standardOutputIsTerminal();

// The descriptor of the real standard error, also while QuietLibraries
// keeps the libraries away from it.
int messageDescriptor();

// One line on standard error, whatever `line` holds; bytes of names that are
// not UTF-8 are shown as \xHH.
void note(const QString& line);

// While it lives, what the libraries write to standard error themselves (a
// font configuration warning, Qt's own messages) goes nowhere, so that the
// tool's message is the one line there. A picture decoder's words reach the
// user through the error the picture loader throws.
class QuietLibraries {
public:
    QuietLibraries();
    ~QuietLibraries();
    QuietLibraries(const QuietLibraries&) = delete;
    QuietLibraries& operator=(const QuietLibraries&) = delete;

private:
    int m_real = -1;
    QtMessageHandler m_previous = nullptr;
};

} // namespace zentraq::cli
