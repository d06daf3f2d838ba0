#pragma once

// The bottom layer of zentraq-cli on Qt, above the plain streams.h: the
// tool's arguments as the system hands them over, its messages, and what
// libraries write to standard error on their own.
//
// Names are bytes to the system and need not be UTF-8. The tool's arguments
// are read with argumentText(), which keeps every byte that is not part of a
// UTF-8 character as a code unit of its own, and every name goes back to its
// bytes with nativeName() before the system sees it.

#include "streams.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <QtGlobal>

#include <string_view>

namespace zentraq::cli {

// The system's words for an error number.
QString errnoText(int error);

// An argument of the tool as text: UTF-8, with each byte that is not part of
// a UTF-8 character kept as the lone surrogate U+DC80 + (byte - 0x80), so
// that nativeName() gives the bytes back.
QString argumentText(const char* argument);
// The same for bytes that may hold NUL (a CliError's message).
QString argumentText(std::string_view bytes);

// A name's bytes for the system: argumentText() reversed (textBytes(), as a
// failure's message is made).
QByteArray nativeName(const QString& name);

// `text` for a message: each byte kept by argumentText() shown as \xHH.
QString readable(const QString& text);

// One line on standard error, whatever `line` holds; bytes of names that are
// not UTF-8 are shown as \xHH.
void note(const QString& line);

// While it lives, what the libraries write to standard error themselves (a
// font configuration warning, Qt's own messages) goes nowhere, so that the
// tool's message is the one line there. A picture decoder's words reach the
// user through the error the picture loader throws.
// Says that the process ends when the tool's run() returns, so that what a
// conversion changes in the process for itself (see OwnImageFormats) need
// not be undone. main() says it; a test that runs the tool in its own
// process does not.
void setRunsOnce();

// While it lives, Qt's picture readers and writers use the formats built into
// Qt (PNG, BMP, PBM/PGM/PPM, XPM) without looking at the image format
// plugins. Qt otherwise loads every plugin, and the libraries behind them,
// to ask whether one of them reads PNG itself, which costs a small
// conversion more than the conversion. No installed plugin does; a plugin
// format still finds its plugin outside this scope.
class OwnImageFormats {
public:
    OwnImageFormats();
    ~OwnImageFormats();
    OwnImageFormats(const OwnImageFormats&) = delete;
    OwnImageFormats& operator=(const OwnImageFormats&) = delete;

    // Whether a file starting with `head` is in a format built into Qt.
    static bool builtIn(const QByteArray& head);

private:
    QStringList m_paths;
    bool m_restore = false;
};

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
