#pragma once

// Every place where the tool turns a name given on its command line into an
// open file or a rename: the result file, the text, data, charset, picture
// and font files it reads.
//
// Results go to standard output, or to a file that appears only once it is
// complete. A file result is written under a temporary name in the target's
// folder and renamed over the target at the end, so a failure (or an
// interrupt) never leaves a partial file behind and an existing file is
// either kept as it was or replaced whole.

#include "formatter.h"
#include "textrenderer.h"

#include <QByteArray>
#include <QImage>
#include <QString>

#include <memory>

class QFile;

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

    // Closes the file and puts it in place under OUT's name, with the
    // permissions OUT had, or the usual ones for a new file.
    void commit();

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
    // Puts a file result in place; nothing to do for standard output.
    void commit();

private:
    std::unique_ptr<OutputFile> m_file;
    StdoutSink m_stdout;
};

// Whether something exists under the name `path` ("-", standard input,
// always does).
bool exists(const QString& path);

// The whole content of the file at `path`, or of standard input for "-".
// Throws CliError (Failure) when it cannot be read.
QByteArray readWhole(const QString& path);

// The picture in the file at `path`, decoded (see rgbqumo::LoadPicture).
// Throws CliError (Failure) naming the file when it cannot be read or is no
// picture.
QImage readPicture(const QString& path);

// The first face of the font file at `path`. Throws CliError (Failure) when
// the file cannot be read or is not a font that can draw.
text::FaceSpec fontFileFace(const QString& path);

// Removes registered temporary files when the process is interrupted
// (SIGINT, SIGTERM, SIGHUP) and makes a closed pipe on standard output an
// ordinary write error. Call once at start.
void installInterruptCleanup();

} // namespace zentraq::cli
