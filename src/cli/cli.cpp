#include "cli.h"

#include "files.h"
#include "options.h"
#include "runtime_error.h"
#include "zentraq_project.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <fcntl.h>
#include <mutex>
#include <new>
#include <unistd.h>

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/common_interface_defs.h>
#define ZENTRAQ_SANITIZER_REPORTS 1
#endif

namespace zentraq::cli {
namespace {

// Text for standard output or error; there is nowhere left to report a
// failure to write it.
void writeText(int fd, const QByteArray& bytes) {
    writeFully(fd, bytes.constData(), bytes.size());
}

// Keeps what the libraries write to standard error while it lives: the
// descriptor is a pipe that is read when a message is wanted, and Qt's
// messages are caught on their way. Only the first KeptBytes are kept;
// a pipe that fills up makes further writes fail rather than wait.
class LibraryOutput {
public:
    static constexpr qsizetype KeptBytes = 4096;

    LibraryOutput() {
        std::fflush(stderr);
        m_real = ::fcntl(STDERR_FILENO, F_DUPFD_CLOEXEC, 3);
        int ends[2] = {-1, -1};
        if (m_real < 0 || ::pipe2(ends, O_CLOEXEC | O_NONBLOCK) != 0) {
            if (m_real >= 0)
                ::close(m_real);
            m_real = -1;
            return;
        }
        ::dup2(ends[1], STDERR_FILENO);
        ::close(ends[1]);
        m_pipe = ends[0];
#if ZENTRAQ_SANITIZER_REPORTS
        __sanitizer_set_report_fd(reinterpret_cast<void*>(std::intptr_t(m_real)));
#endif
        s_active = this;
        m_previous = qInstallMessageHandler(&keepMessage);
    }

    ~LibraryOutput() {
        if (m_pipe < 0)
            return;
        qInstallMessageHandler(m_previous);
        s_active = nullptr;
        std::fflush(stderr);
        ::dup2(m_real, STDERR_FILENO);
#if ZENTRAQ_SANITIZER_REPORTS
        __sanitizer_set_report_fd(reinterpret_cast<void*>(std::intptr_t(STDERR_FILENO)));
#endif
        ::close(m_real);
        ::close(m_pipe);
    }

    LibraryOutput(const LibraryOutput&) = delete;
    LibraryOutput& operator=(const LibraryOutput&) = delete;

    static LibraryOutput* active() {
        return s_active;
    }
    int real() const {
        return m_real;
    }

    QString take() {
        const std::lock_guard lock(m_mutex);
        drain();
        QStringList lines;
        for (const QByteArray& line : m_kept.split('\n')) {
            if (!line.trimmed().isEmpty())
                lines << QString::fromUtf8(line.trimmed());
        }
        m_kept.clear();
        return lines.join(QStringLiteral("; "));
    }

private:
    static void keepMessage(QtMsgType, const QMessageLogContext&, const QString& message) {
        if (LibraryOutput* self = s_active) {
            const std::lock_guard lock(self->m_mutex);
            self->drain();
            self->keep(message.toUtf8() + '\n');
        }
    }

    void keep(const QByteArray& bytes) {
        m_kept += bytes.left(KeptBytes - m_kept.size());
    }

    // Everything written into the pipe so far.
    void drain() {
        char chunk[4096];
        for (;;) {
            const ssize_t n = ::read(m_pipe, chunk, sizeof chunk);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                return;
            keep(QByteArray(chunk, n));
        }
    }

    static inline LibraryOutput* s_active = nullptr;

    int m_real = -1;
    int m_pipe = -1;
    QtMessageHandler m_previous = nullptr;
    std::mutex m_mutex;
    QByteArray m_kept;
};

} // namespace

int messageDescriptor() {
    const LibraryOutput* output = LibraryOutput::active();
    return output ? output->real() : STDERR_FILENO;
}

QString takeLibraryMessages() {
    LibraryOutput* output = LibraryOutput::active();
    return output ? output->take() : QString();
}

void note(const QString& line) {
    // One line, whatever the message holds.
    QString oneLine = readable(line);
    oneLine.replace(u'\r', u' ').replace(u'\n', u' ');
    writeText(messageDescriptor(), oneLine.toUtf8() + '\n');
}

int run(const QStringList& args) {
    LibraryOutput libraryOutput;
    try {
        const Options options = parseArguments(args);
        switch (options.command) {
        case Command::Help:
            writeText(STDOUT_FILENO, helpText(options.helpTopic).toUtf8());
            return 0;
        case Command::Version:
            writeText(STDOUT_FILENO, "zentraq-cli " ZENTRAQ_VERSION "\n");
            return 0;
        case Command::Glyph:
            if (options.missing)
                return runGlyphMissing(options);
            runGlyph(options);
            return 0;
        case Command::Picture:
            runPicture(options);
            return 0;
        case Command::Preview:
            runPreview(options);
            return 0;
        case Command::Library:
            if (options.missing)
                return runLibraryMissing(options);
            runLibrary(options);
            return 0;
        }
    } catch (const CliError& e) {
        note(QStringLiteral("zentraq-cli: ") + e.message());
        return e.exitCode();
    } catch (const RuntimeError& e) {
        note(QStringLiteral("zentraq-cli: ") + e.description());
        return 1;
    } catch (const std::bad_alloc&) {
        note(QStringLiteral("zentraq-cli: out of memory"));
        return 1;
    }
    return 1;
}

} // namespace zentraq::cli
