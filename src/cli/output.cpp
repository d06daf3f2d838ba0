#include "output.h"

#include "error.h"
#include "process.h"

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>
#include <utility>

namespace zentraq::cli {
namespace {

// Temporary files to remove if the process is interrupted. Plain arrays: the
// signal handler may only use what is async-signal-safe.
constexpr int MaxTemporaries = 8;
constexpr std::size_t MaxPath = 4096;
char g_temporaries[MaxTemporaries][MaxPath];
volatile std::sig_atomic_t g_used[MaxTemporaries];

void registerTemporary(const QByteArray& native) {
    if (native.size() + 1 > static_cast<qsizetype>(MaxPath))
        return;
    for (int i = 0; i < MaxTemporaries; ++i) {
        if (!g_used[i]) {
            std::memcpy(g_temporaries[i], native.constData(),
                        static_cast<std::size_t>(native.size()) + 1);
            g_used[i] = 1;
            return;
        }
    }
}

void unregisterTemporary(const QByteArray& native) {
    for (int i = 0; i < MaxTemporaries; ++i) {
        if (g_used[i] && native == g_temporaries[i]) {
            g_used[i] = 0;
            return;
        }
    }
}

extern "C" void removeTemporariesAndDie(int sig) {
    for (int i = 0; i < MaxTemporaries; ++i) {
        if (g_used[i])
            ::unlink(g_temporaries[i]);
    }
    std::signal(sig, SIG_DFL);
    std::raise(sig);
}

mode_t currentUmask() {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return mask;
}

// The last target of a chain of links starting at `path`: `path` itself
// when it is no link, or a name that need not exist (a dangling link's).
QByteArray lastTarget(QByteArray path, const QString& name) {
    // As many links as the system follows in one name.
    for (int hop = 0; hop < 40; ++hop) {
        struct stat st {};
        if (::lstat(path.constData(), &st) != 0 || !S_ISLNK(st.st_mode))
            return path;
        QByteArray target(PATH_MAX, Qt::Uninitialized);
        const ssize_t n = ::readlink(path.constData(), target.data(), std::size_t(target.size()));
        if (n < 0)
            failure(QStringLiteral("cannot write '%1': %2").arg(name, errnoText(errno)));
        target.truncate(n);
        // A relative target counts from the link's own folder.
        const qsizetype slash = path.lastIndexOf('/');
        if (!target.startsWith('/') && slash >= 0)
            target.prepend(path.left(slash + 1));
        path = target;
    }
    failure(QStringLiteral("cannot write '%1': %2").arg(name, errnoText(ELOOP)));
}

bool sameFile(const struct stat& a, int fd) {
    struct stat b {};
    return ::fstat(fd, &b) == 0 && a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

bool writableInPlace(mode_t mode) {
    return S_ISCHR(mode) || S_ISFIFO(mode) || S_ISSOCK(mode);
}

} // namespace

void installInterruptCleanup() {
    for (int sig : {SIGINT, SIGTERM, SIGHUP})
        std::signal(sig, removeTemporariesAndDie);
    // A reader that goes away (`| head`) is a write error like any other, so
    // the temporary files are cleaned up on the normal path.
    std::signal(SIGPIPE, SIG_IGN);
}

void StdoutSink::write(const char* data, qint64 size) {
    if (const int error = writeFully(STDOUT_FILENO, data, size))
        failure(error == EPIPE
                    ? QStringLiteral("cannot write to standard output: the reader closed it")
                    : QStringLiteral("cannot write to standard output: %1").arg(errnoText(error)));
}

OutputFile::OutputFile(const QString& target) : m_name(target) {
    const QByteArray native = nativeName(target);
    struct stat st {};
    if (::stat(native.constData(), &st) == 0 && writableInPlace(st.st_mode))
        openInPlace(native, st);
    else
        openTemporary(native);
}

// A device, a pipe or a socket: nothing can be renamed over them, and
// nothing must be.
void OutputFile::openInPlace(const QByteArray& native, struct stat st) {
    // A name of the tool's own standard output or error (/dev/stdout,
    // /proc/self/fd/2, whatever they point to) is written through that
    // stream: a socket cannot be opened by name, and the tool's messages may
    // be kept apart from the real standard error while it works.
    if (sameFile(st, STDOUT_FILENO) || sameFile(st, STDERR_FILENO)) {
        const int stream = sameFile(st, STDOUT_FILENO) ? STDOUT_FILENO : messageDescriptor();
        m_fd = ::fcntl(stream, F_DUPFD_CLOEXEC, 3);
        if (m_fd < 0)
            failErrno(errno);
        return;
    }
    if (S_ISSOCK(st.st_mode)) {
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        if (std::size_t(native.size()) >= sizeof address.sun_path)
            fail(QStringLiteral("the socket's name is too long to connect to"));
        std::memcpy(address.sun_path, native.constData(), std::size_t(native.size()));
        m_fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (m_fd < 0 ||
            ::connect(m_fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0)
            failErrno(errno);
        return;
    }
    do {
        m_fd = ::open(native.constData(), O_WRONLY | O_CLOEXEC | O_NOCTTY);
    } while (m_fd < 0 && errno == EINTR);
    if (m_fd < 0)
        failErrno(errno);
    // Replaced by a regular file since it was looked at: nothing is written
    // into it in place (it was opened without truncating it).
    if (::fstat(m_fd, &st) != 0 || !writableInPlace(st.st_mode))
        fail(QStringLiteral("it changed while it was opened"));
}

void OutputFile::openTemporary(const QByteArray& native) {
    m_target = lastTarget(native, m_name);
    struct stat st {};
    if (::lstat(m_target.constData(), &st) == 0) {
        if (S_ISDIR(st.st_mode))
            fail(QStringLiteral("it is a folder"));
        if (S_ISBLK(st.st_mode))
            fail(QStringLiteral("it is a block device; write a file and copy it there"));
        if (!S_ISREG(st.st_mode))
            fail(QStringLiteral("it is not a regular file"));
        // A file its owner made read-only is protected: it is not replaced.
        if (!(st.st_mode & S_IWUSR))
            fail(QStringLiteral("it is read-only"));
        // Its permissions, but no set-user-ID, set-group-ID or sticky bit:
        // the new file is not the program the old one may have been.
        m_mode = st.st_mode & 0777;
    } else {
        m_mode = 0666 & ~currentUmask();
    }

    const qsizetype slash = m_target.lastIndexOf('/');
    const QByteArray folder =
        slash < 0 ? QByteArray(".") : m_target.left(qMax<qsizetype>(slash, 1));
    QByteArray base = m_target.mid(slash + 1);
    struct stat dir {};
    const QString shownFolder = argumentText(folder.constData());
    if (::stat(folder.constData(), &dir) != 0) {
        const int error = errno;
        fail(QStringLiteral("the folder '%1' %2")
                 .arg(shownFolder, error == ENOENT || error == ENOTDIR
                                       ? QStringLiteral("does not exist")
                                       : QStringLiteral("cannot be reached: ") + errnoText(error)));
    }
    if (!S_ISDIR(dir.st_mode))
        fail(QStringLiteral("'%1' is not a folder").arg(shownFolder));
    // The hidden ".OUT.XXXXXX" beside OUT, short enough for any file system.
    base.truncate(200);
    QByteArray temp = folder + "/." + base + ".XXXXXX";
    m_fd = ::mkostemp(temp.data(), O_CLOEXEC);
    if (m_fd < 0)
        failErrno(errno);
    m_temp = temp;
    registerTemporary(m_temp);
}

OutputFile::~OutputFile() {
    if (m_fd >= 0)
        ::close(m_fd);
    if (!m_committed && !m_temp.isEmpty()) {
        ::unlink(m_temp.constData());
        unregisterTemporary(m_temp);
    }
}

void OutputFile::write(const char* data, qint64 size) {
    // Small pieces are collected into blocks of this size.
    constexpr qsizetype Block = 64 * 1024;
    if (m_fd < 0)
        fail(QStringLiteral("the file is closed"));
    if (m_buffer.size() + size < Block) {
        m_buffer.append(data, qsizetype(size));
        return;
    }
    writeOut(m_buffer.constData(), m_buffer.size());
    m_buffer.clear();
    writeOut(data, size);
}

void OutputFile::writeOut(const char* data, qint64 size) {
    if (const int error = writeFully(m_fd, data, size))
        failErrno(error);
}

void OutputFile::fail(const QString& what) {
    failure(QStringLiteral("cannot write '%1': %2").arg(m_name, what));
}

void OutputFile::failErrno(int error) {
    fail(error == EPIPE ? QStringLiteral("the reader closed it") : errnoText(error));
}

void OutputFile::commit() {
    if (m_fd < 0)
        fail(QStringLiteral("the file is closed"));
    writeOut(m_buffer.constData(), m_buffer.size());
    m_buffer.clear();
    if (!m_temp.isEmpty() && ::fchmod(m_fd, m_mode) != 0)
        failErrno(errno);
    // The last chance for a file system to say the data did not fit.
    if (::close(std::exchange(m_fd, -1)) != 0 && errno != EINTR)
        failErrno(errno);
    if (!m_temp.isEmpty() && ::rename(m_temp.constData(), m_target.constData()) != 0)
        failErrno(errno);
    m_committed = true;
    if (!m_temp.isEmpty())
        unregisterTemporary(m_temp);
}

Destination::Destination(const QString& output, bool binary) {
    if (!output.isEmpty() && output != QLatin1String("-")) {
        m_file = std::make_unique<OutputFile>(output);
        return;
    }
    if (binary && standardOutputIsTerminal())
        usageError(QStringLiteral(
            "binary data is not written to a terminal; give -o FILE or redirect the output"));
}

void Destination::commit() {
    if (m_file)
        m_file->commit();
}

} // namespace zentraq::cli
