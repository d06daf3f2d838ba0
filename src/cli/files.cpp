#include "files.h"

#include "cli.h"
#include "options.h"
#include "pictureloader.h"
#include "runtime_error.h"

#include <QFile>
#include <QFileInfo>

#include <ft2build.h>
#include FT_FREETYPE_H

#include <algorithm>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <new>
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

QString errnoText(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}

mode_t currentUmask() {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return mask;
}

// The length of the UTF-8 character at the start of `s` (n bytes), or 0 when
// it is not one: a stray continuation byte, an overlong form, a surrogate, a
// code point above U+10FFFF or a cut sequence.
int utf8Length(const unsigned char* s, std::size_t n) {
    const unsigned char c = s[0];
    if (c < 0x80)
        return 1;
    int length = 0;
    unsigned char low = 0x80;
    unsigned char high = 0xBF; // the second byte's range
    if (c >= 0xC2 && c <= 0xDF) {
        length = 2;
    } else if (c >= 0xE0 && c <= 0xEF) {
        length = 3;
        low = c == 0xE0 ? 0xA0 : 0x80;
        high = c == 0xED ? 0x9F : 0xBF;
    } else if (c >= 0xF0 && c <= 0xF4) {
        length = 4;
        low = c == 0xF0 ? 0x90 : 0x80;
        high = c == 0xF4 ? 0x8F : 0xBF;
    } else {
        return 0;
    }
    if (n < std::size_t(length) || s[1] < low || s[1] > high)
        return 0;
    for (int k = 2; k < length; ++k) {
        if (s[k] < 0x80 || s[k] > 0xBF)
            return 0;
    }
    return length;
}

bool isKeptByte(char16_t u) {
    return u >= 0xDC80 && u <= 0xDCFF;
}

// Closes a descriptor on every way out.
class Descriptor {
public:
    explicit Descriptor(int fd) : m_fd(fd) {}
    ~Descriptor() {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return m_fd; }
    int release() { return std::exchange(m_fd, -1); }

private:
    int m_fd;
};

// "cannot read picture 'x': it does not exist"; `what` names the kind of file
// with a space after it, or is empty.
[[noreturn]] void cannotRead(const QString& what, const QString& path, const QString& why) {
    failure(QStringLiteral("cannot read %1'%2': %3").arg(what, path, why));
}

// The same for standard input ("-" for readWhole()).
[[noreturn]] void cannotReadInput(const QString& path, const QString& why) {
    if (path == QLatin1String("-"))
        failure(QStringLiteral("cannot read standard input: ") + why);
    cannotRead(QString(), path, why);
}

QString openProblem(int error) {
    switch (error) {
    case ENOENT:
        return QStringLiteral("it does not exist");
    case EACCES:
    case EPERM:
        return QStringLiteral("access is denied");
    default:
        return errnoText(error);
    }
}

// `path` opened for reading. Throws CliError naming `what` and the file.
int openForReading(const QString& what, const QString& path, int flags = 0) {
    int fd = -1;
    do {
        fd = ::open(nativeName(path).constData(), O_RDONLY | O_CLOEXEC | O_NOCTTY | flags);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0)
        cannotRead(what, path, openProblem(errno));
    return fd;
}

// A regular file, opened for reading without waiting on a pipe with no
// writer. Folders and everything else that is not a file are refused.
int openFileForReading(const QString& what, const QString& path) {
    Descriptor fd(openForReading(what, path, O_NONBLOCK));
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0)
        cannotRead(what, path, errnoText(errno));
    if (S_ISDIR(st.st_mode))
        cannotRead(what, path, QStringLiteral("it is a folder"));
    if (!S_ISREG(st.st_mode))
        cannotRead(what, path, QStringLiteral("it is not a file"));
    ::fcntl(fd.get(), F_SETFL, ::fcntl(fd.get(), F_GETFL) & ~O_NONBLOCK);
    return fd.release();
}

[[noreturn]] void tooLarge(const QString& path) {
    cannotReadInput(path, QStringLiteral("it holds more than %1 MiB, the most the tool reads")
                              .arg(MaxInputBytes >> 20));
}

// A file opened from a descriptor that still answers to its name, so the
// image readers take the format from the name's suffix as they do for a file
// they open themselves.
class NamedFile : public QFile {
public:
    explicit NamedFile(QString name) : m_name(std::move(name)) {}
    QString fileName() const override { return m_name; }

private:
    QString m_name;
};

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
    for (int fd : {STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO}) {
        if (::fcntl(fd, F_GETFD) < 0 && errno == EBADF) {
            const int opened = ::open("/dev/null", fd == STDIN_FILENO ? O_RDONLY : O_WRONLY);
            if (opened >= 0 && opened != fd) {
                ::dup2(opened, fd);
                ::close(opened);
            }
        }
    }
    for (int sig : {SIGINT, SIGTERM, SIGHUP})
        std::signal(sig, removeTemporariesAndDie);
    // A reader that goes away (`| head`) is a write error like any other, so
    // the temporary files are cleaned up on the normal path.
    std::signal(SIGPIPE, SIG_IGN);
}

QString argumentText(const char* argument) {
    const auto* s = reinterpret_cast<const unsigned char*>(argument);
    const std::size_t n = std::strlen(argument);
    QString text;
    text.reserve(qsizetype(n));
    std::size_t run = 0; // start of the UTF-8 run not yet added
    for (std::size_t i = 0; i < n;) {
        const int length = utf8Length(s + i, n - i);
        if (length > 0) {
            i += std::size_t(length);
            continue;
        }
        text += QString::fromUtf8(argument + run, qsizetype(i - run));
        text += QChar(char16_t(0xDC00 + s[i]));
        run = ++i;
    }
    return text + QString::fromUtf8(argument + run, qsizetype(n - run));
}

QByteArray nativeName(const QString& name) {
    QByteArray native;
    qsizetype run = 0; // start of the text not yet added
    for (qsizetype i = 0; i < name.size(); ++i) {
        const char16_t u = name[i].unicode();
        if (QChar::isHighSurrogate(u) && i + 1 < name.size() &&
            QChar::isLowSurrogate(name[i + 1].unicode())) {
            ++i;
        } else if (isKeptByte(u)) {
            native += QStringView(name).mid(run, i - run).toUtf8();
            native += char(u - 0xDC00);
            run = i + 1;
        }
    }
    return native + QStringView(name).mid(run).toUtf8();
}

QString readable(const QString& text) {
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t u = text[i].unicode();
        if (QChar::isHighSurrogate(u) && i + 1 < text.size() &&
            QChar::isLowSurrogate(text[i + 1].unicode())) {
            out += text[i];
            out += text[++i];
        } else if (isKeptByte(u)) {
            out += QStringLiteral("\\x") +
                   QString::number(u - 0xDC00, 16).toUpper().rightJustified(2, u'0');
        } else {
            out += text[i];
        }
    }
    return out;
}

int writeFully(int fd, const char* data, qint64 size) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, static_cast<std::size_t>(size));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return errno;
        data += n;
        size -= n;
    }
    return 0;
}

void StdoutSink::write(const char* data, qint64 size) {
    if (const int error = writeFully(STDOUT_FILENO, data, size))
        failure(error == EPIPE
                    ? QStringLiteral("cannot write to standard output: the reader closed it")
                    : QStringLiteral("cannot write to standard output: %1").arg(errnoText(error)));
}

bool StdoutSink::isTerminal() {
    return ::isatty(STDOUT_FILENO) == 1;
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
    if (binary && StdoutSink::isTerminal())
        usageError(QStringLiteral(
            "binary data is not written to a terminal; give -o FILE or redirect the output"));
}

void Destination::commit() {
    if (m_file)
        m_file->commit();
}

bool exists(const QString& path) {
    struct stat st {};
    return path == QLatin1String("-") || ::stat(nativeName(path).constData(), &st) == 0;
}

QByteArray readWhole(const QString& path) {
    const bool standardInput = path == QLatin1String("-");
    Descriptor own(standardInput ? -1 : openForReading(QString(), path));
    const int fd = standardInput ? STDIN_FILENO : own.get();

    QByteArray bytes;
    struct stat st {};
    if (::fstat(fd, &st) == 0) {
        if (S_ISDIR(st.st_mode))
            cannotReadInput(path, QStringLiteral("it is a folder"));
        if (S_ISREG(st.st_mode) && st.st_size > MaxInputBytes)
            tooLarge(path);
        // A file's size is known: one allocation. Whatever it has grown to
        // is still read, up to the limit.
        if (S_ISREG(st.st_mode))
            bytes.reserve(qsizetype(st.st_size) + 1);
    }
    constexpr qint64 Chunk = 1 << 20;
    for (;;) {
        const qint64 wanted = std::min(Chunk, MaxInputBytes + 1 - bytes.size());
        const qsizetype old = bytes.size();
        bytes.resize(old + qsizetype(wanted));
        const ssize_t n = ::read(fd, bytes.data() + old, std::size_t(wanted));
        bytes.truncate(old + qMax<qsizetype>(n, 0));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            cannotReadInput(path, errnoText(errno));
        if (n == 0)
            return bytes;
        if (bytes.size() > MaxInputBytes)
            tooLarge(path);
    }
}

QImage readPicture(const QString& path) {
    const QString what = QStringLiteral("picture ");
    Descriptor fd(openFileForReading(what, path));
    NamedFile file(path);
    if (!file.open(fd.get(), QIODevice::ReadOnly, QFileDevice::AutoCloseHandle))
        cannotRead(what, path, file.errorString());
    fd.release();
    try {
        return rgbqumo::LoadPicture(file, path);
    } catch (const RuntimeError& e) {
        // What the decoder itself wrote, when it did: often the one detail
        // that says where the data went wrong.
        const QString said = takeLibraryMessages();
        cannotRead(what, path,
                   said.isEmpty() || e.description().contains(said)
                       ? e.description()
                       : e.description() + QStringLiteral(" (") + said + QStringLiteral(")"));
    } catch (const std::bad_alloc&) {
        cannotRead(what, path, QStringLiteral("there is not enough memory for its pixels"));
    }
}

namespace {

struct FreeTypeLibrary {
    FT_Library lib = nullptr;
    FreeTypeLibrary() {
        if (FT_Init_FreeType(&lib) != 0)
            lib = nullptr;
    }
    ~FreeTypeLibrary() {
        if (lib)
            FT_Done_FreeType(lib);
    }
    FreeTypeLibrary(const FreeTypeLibrary&) = delete;
    FreeTypeLibrary& operator=(const FreeTypeLibrary&) = delete;
};

} // namespace

text::FaceSpec fontFileFace(const QString& path) {
    const QString what = QStringLiteral("font file ");
    Descriptor fd(openFileForReading(what, path));
    // The renderer opens faces by a UTF-8 name. A name that is not UTF-8
    // reaches the file through the descriptor, which stays open for as long
    // as the tool runs.
    const bool utf8 = nativeName(path) == path.toUtf8();
    const QString file = utf8 ? QFileInfo(path).absoluteFilePath()
                              : QStringLiteral("/proc/self/fd/") + QString::number(fd.get());

    FreeTypeLibrary ft;
    FT_Face ftFace = nullptr;
    if (!ft.lib || FT_New_Face(ft.lib, file.toUtf8().constData(), 0, &ftFace) != 0)
        failure(QStringLiteral("'%1' is not a font file that can be read").arg(path));
    text::FaceSpec face;
    face.file = file;
    face.index = 0;
    face.family = ftFace->family_name ? QString::fromUtf8(ftFace->family_name) : QString();
    // Of use only when it scales or has bitmap strikes, as the renderer
    // requires.
    const bool ok = FT_IS_SCALABLE(ftFace) || ftFace->num_fixed_sizes > 0;
    FT_Done_Face(ftFace);
    if (!ok)
        failure(QStringLiteral("'%1' has neither outlines nor bitmaps to draw with").arg(path));
    if (!utf8)
        fd.release();
    return face;
}

} // namespace zentraq::cli
