#pragma once

// Where results go: standard output, or a file that appears only once it is
// complete. A file result is written under a temporary name in the target's
// folder and renamed over the target at the end, so a failure (or an
// interrupt) never leaves a partial file behind and an existing file is
// either kept as it was or replaced whole.

#include "formatter.h"

#include <QByteArray>
#include <QString>

#include <memory>

#include <sys/stat.h>

namespace zentraq::cli {

// A byte sink. write() throws CliError (Failure) naming the destination when
// the bytes cannot be written.
class Sink : public core::ByteSink {
public:
    using core::ByteSink::write;
    void write(const QByteArray& bytes) { write(bytes.constData(), bytes.size()); }
};

// Standard output, written unbuffered in the pieces it is given.
class StdoutSink : public Sink {
public:
    using Sink::write;
    void write(const char* data, qint64 size) override;
};

// The result file OUT. Nothing exists under OUT's name until commit().
//
// OUT is written in place only when it is (or its links lead to) a character
// device, a pipe or a socket: those cannot be replaced by renaming, and must
// not be. Anything else is replaced whole: a link, or a chain of links, is
// followed to its last target, which receives the result while the links
// stay links. A folder or a block device is refused, and so is a file its
// owner made read-only.
class OutputFile : public Sink {
public:
    explicit OutputFile(const QString& target);
    ~OutputFile() override; // removes the temporary file unless committed
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    using Sink::write;
    void write(const char* data, qint64 size) override;

    // Closes the file and puts it in place under OUT's name, with the
    // permission bits OUT had (without set-user-ID and set-group-ID), or the
    // usual ones for a new file.
    void commit();

private:
    void openInPlace(const QByteArray& native, struct stat st);
    void openTemporary(const QByteArray& native);
    void writeOut(const char* data, qint64 size);
    [[noreturn]] void fail(const QString& what);
    [[noreturn]] void failErrno(int error);

    QString m_name;      // OUT as given, for messages
    QByteArray m_target; // where the result ends up; empty: written in place
    QByteArray m_temp;   // the temporary file
    unsigned m_mode = 0; // the permission bits it gets
    int m_fd = -1;
    QByteArray m_buffer;
    bool m_committed = false;
};

// Where a result goes: the file OUT, or standard output when OUT is empty or
// "-". Binary results are not written to a terminal (CliError, Usage).
class Destination {
public:
    Destination(const QString& output, bool binary);
    Sink& sink() { return m_file ? static_cast<Sink&>(*m_file) : m_stdout; }
    // Puts a file result in place; nothing to do for standard output.
    void commit();

private:
    std::unique_ptr<OutputFile> m_file;
    StdoutSink m_stdout;
};

// Removes the temporary files of OutputFile when the process is interrupted
// (SIGINT, SIGTERM, SIGHUP), and makes a closed pipe on standard output an
// ordinary write error. Call once at start.
void installInterruptCleanup();

} // namespace zentraq::cli
