#pragma once

// Runs a helper program with bounds that a fault in it cannot pass: a wall
// clock deadline, a CPU time limit, an address space limit, no files written,
// and its output taken only as far as the caller wants it. The calling
// process keeps running whatever the helper does: crash, hang, flood its
// output or use up its memory.

#include <QByteArray>
#include <QByteArrayList>
#include <QByteArrayView>
#include <QString>
#include <QStringList>

#include <chrono>
#include <functional>

namespace zentraq::rgbqumo {

struct ProcessBounds {
    // Killed when not finished by then, its output read or not.
    std::chrono::milliseconds deadline{10000};
    // Address space in bytes; 0 for no limit (sanitizer builds, whose shadow
    // memory needs terabytes of it).
    qint64 memoryBytes = 0;
    // NAME=value entries set in the helper's environment, over any passed on.
    QByteArrayList environment;
};

struct ProcessOutcome {
    enum Status {
        Exited,     // `code` is its exit status
        Signalled,  // `code` is the signal that ended it
        TimedOut,   // killed at the deadline
        Refused,    // killed because the sink wanted no more output
        NotStarted, // `error` says why
    };
    Status status = NotStarted;
    int code = 0;
    QString error;
};

// Runs `program` with `arguments`; its standard input reads the file open as
// `inputFd` from its start, its standard output goes to `sink` piece by piece
// (return false to stop it), its error output is dropped. The environment is
// a small fixed one: home, font configuration and sanitizer options of this
// process, the C.UTF-8 locale, Qt's offscreen platform, and the bounds'
// own entries.
ProcessOutcome runBounded(const QString& program, const QStringList& arguments, int inputFd,
                          const ProcessBounds& bounds,
                          const std::function<bool(QByteArrayView)>& sink);

} // namespace zentraq::rgbqumo
