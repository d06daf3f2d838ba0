#pragma once

// Where the tool's results go: standard output, or a file that appears only
// once it is complete. A file result is written under a temporary name in the
// target's folder and renamed over the target at the end, so a failure (or
// an interrupt) never leaves a partial file behind and an existing file is
// either kept as it was or replaced whole.

#include <QByteArray>
#include <QString>

#include <functional>
#include <memory>

class QFile;

namespace zentraq::cli {

// A byte sink. write() throws CliError (Failure) naming the destination when
// the bytes cannot be written.
class Sink {
public:
    virtual ~Sink() = default;
    virtual void write(const char* data, qint64 size) = 0;
    void write(const QByteArray& bytes) { write(bytes.constData(), bytes.size()); }
};

// Standard output, written unbuffered in the pieces it is given.
class StdoutSink : public Sink {
public:
    using Sink::write;
    void write(const char* data, qint64 size) override;
    // Whether standard output is a terminal.
    static bool isTerminal();
};

// The result file OUT. Nothing exists under OUT's name until commit().
//
// An existing OUT that is not a regular file (a device such as /dev/null, a
// pipe) is written in place: it cannot be replaced by renaming, and must not
// be. A folder is refused, and so is a file its owner made read-only.
class OutputFile : public Sink {
public:
    explicit OutputFile(const QString& target);
    ~OutputFile() override; // removes the temporary file unless committed
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    using Sink::write;
    void write(const char* data, qint64 size) override;

    // For producers that write a file by path themselves: closes this
    // object's handle and gives the temporary file's path, which the
    // producer may delete and create anew; commit() then puts whatever is
    // under that path in place. Empty when OUT is written in place (a
    // device, a pipe): then only write() works. Call before any write().
    QString handOver();

    // Closes the file and puts it in place under OUT's name, with the
    // permissions OUT had, or the usual ones for a new file.
    void commit();

    const QString& target() const { return m_target; }

private:
    [[noreturn]] void fail(const QString& what);

    QString m_target;   // the name the result ends up under
    QString m_tempPath; // empty: written in place
    std::unique_ptr<QFile> m_file;
    bool m_committed = false;
};

// Where a result goes: the file OUT, or standard output when OUT is empty or
// "-". Binary results are not written to a terminal (CliError, Usage).
class Destination {
public:
    Destination(const QString& output, bool binary);
    Sink& sink() { return m_file ? static_cast<Sink&>(*m_file) : m_stdout; }
    OutputFile* file() { return m_file.get(); }
    // Puts a file result in place; nothing to do for standard output.
    void commit();

private:
    std::unique_ptr<OutputFile> m_file;
    StdoutSink m_stdout;
};

// A scratch file under the system's temporary folder, for a result that is
// made as a file first and then shown on standard output or reshaped.
// Removed when the object goes, or at an interrupt.
class ScratchFile {
public:
    ScratchFile();
    ~ScratchFile();
    ScratchFile(const ScratchFile&) = delete;
    ScratchFile& operator=(const ScratchFile&) = delete;
    const QString& path() const { return m_path; }

private:
    QString m_path;
};

// Reads the file at `path` in pieces whose sizes are multiples of `unit`
// bytes (the last one may be shorter) and hands each to `piece`, which may
// change it. Throws CliError (Failure) when the file cannot be read.
void readInPieces(const QString& path, qint64 unit, const std::function<void(QByteArray&)>& piece);

// The whole content of the file at `path`, or of standard input for "-".
// Throws CliError (Failure) when it cannot be read.
QByteArray readWhole(const QString& path);

// Copies the file at `path` to `sink` unchanged.
void copyFile(const QString& path, Sink& sink);

// Removes registered temporary files when the process is interrupted
// (SIGINT, SIGTERM, SIGHUP) and makes a closed pipe on standard output an
// ordinary write error. Call once at start.
void installInterruptCleanup();

} // namespace zentraq::cli
