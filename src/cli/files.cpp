#include "files.h"

#include "options.h"
#include "pictureloader.h"
#include "runtime_error.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>

#include <ft2build.h>
#include FT_FREETYPE_H

#include <array>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace zentraq::cli {
namespace {

// Temporary files to remove if the process is interrupted. Plain arrays: the
// signal handler may only use what is async-signal-safe.
constexpr int MaxTemporaries = 8;
constexpr std::size_t MaxPath = 4096;
char g_temporaries[MaxTemporaries][MaxPath];
volatile std::sig_atomic_t g_used[MaxTemporaries];

void registerTemporary(const QString& path) {
    const QByteArray native = QFile::encodeName(path);
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

void unregisterTemporary(const QString& path) {
    const QByteArray native = QFile::encodeName(path);
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

} // namespace

void installInterruptCleanup() {
    for (int sig : {SIGINT, SIGTERM, SIGHUP})
        std::signal(sig, removeTemporariesAndDie);
    // A reader that goes away (`| head`) is a write error like any other, so
    // the temporary files are cleaned up on the normal path.
    std::signal(SIGPIPE, SIG_IGN);
}

void StdoutSink::write(const char* data, qint64 size) {
    while (size > 0) {
        const ssize_t n = ::write(STDOUT_FILENO, data, static_cast<std::size_t>(size));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            const int error = errno;
            failure(
                error == EPIPE
                    ? QStringLiteral("cannot write to standard output: the reader closed it")
                    : QStringLiteral("cannot write to standard output: %1").arg(errnoText(error)));
        }
        data += n;
        size -= n;
    }
}

bool StdoutSink::isTerminal() {
    return ::isatty(STDOUT_FILENO) == 1;
}

OutputFile::OutputFile(const QString& target) : m_target(target) {
    QFileInfo info(target);
    // A link is followed: the file it points to receives the result, and the
    // link stays a link.
    if (info.isSymLink()) {
        m_target = info.symLinkTarget();
        info = QFileInfo(m_target);
    }
    if (info.isDir())
        failure(QStringLiteral("cannot write '%1': it is a folder").arg(target));

    // A device or a pipe, or a name that stands for one of the tool's own
    // streams (/dev/stdout, /dev/fd/1, /proc/self/fd/1, whatever they point
    // to): written in place, since nothing can be renamed over them.
    const bool specialName =
        target.startsWith(QStringLiteral("/dev/")) || target.startsWith(QStringLiteral("/proc/"));
    if (specialName && info.exists())
        m_target = target;
    if ((info.exists() && !info.isFile()) || (specialName && info.exists())) {
        m_file = std::make_unique<QFile>(m_target);
        if (!m_file->open(QIODevice::WriteOnly))
            failure(QStringLiteral("cannot write '%1': %2").arg(target, m_file->errorString()));
        return;
    }

    // A file its owner made read-only is protected: it is not replaced.
    if (info.exists() && !(info.permissions() & QFileDevice::WriteOwner))
        failure(QStringLiteral("cannot write '%1': it is read-only").arg(target));

    const QString folder = info.absolutePath();
    if (!QFileInfo(folder).isDir())
        failure(QStringLiteral("cannot write '%1': the folder '%2' does not exist")
                    .arg(target, folder));
    auto temp = std::make_unique<QTemporaryFile>(folder + QStringLiteral("/.") + info.fileName() +
                                                 QStringLiteral(".XXXXXX"));
    temp->setAutoRemove(false);
    if (!temp->open())
        failure(QStringLiteral("cannot write '%1': %2").arg(target, temp->errorString()));
    m_tempPath = temp->fileName();
    registerTemporary(m_tempPath);
    m_file = std::move(temp);
}

OutputFile::~OutputFile() {
    if (m_file)
        m_file->close();
    if (!m_committed && !m_tempPath.isEmpty()) {
        QFile::remove(m_tempPath);
        unregisterTemporary(m_tempPath);
    }
}

void OutputFile::write(const char* data, qint64 size) {
    if (!m_file->isOpen())
        fail(QStringLiteral("the file is closed"));
    if (m_file->write(data, size) != size)
        fail(m_file->errorString());
}

void OutputFile::fail(const QString& what) {
    failure(QStringLiteral("cannot write '%1': %2").arg(m_target, what));
}

void OutputFile::commit() {
    if (m_file->isOpen()) {
        if (!m_file->flush())
            fail(m_file->errorString());
        m_file->close();
        if (m_file->error() != QFileDevice::NoError)
            fail(m_file->errorString());
    }
    if (m_tempPath.isEmpty()) {
        m_committed = true;
        return;
    }

    const QByteArray temp = QFile::encodeName(m_tempPath);
    const QByteArray target = QFile::encodeName(m_target);
    // The permissions the file had, or those of a new file under the umask;
    // the temporary file was created private to its owner.
    struct stat existing {};
    const mode_t mode = ::stat(target.constData(), &existing) == 0 ? (existing.st_mode & 07777)
                                                                   : (0666 & ~currentUmask());
    if (::chmod(temp.constData(), mode) != 0)
        fail(errnoText(errno));
    if (::rename(temp.constData(), target.constData()) != 0)
        fail(errnoText(errno));
    m_committed = true;
    unregisterTemporary(m_tempPath);
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
    return path == QLatin1String("-") || QFileInfo::exists(path);
}

QByteArray readWhole(const QString& path) {
    QFile file;
    bool opened = false;
    if (path == QLatin1String("-")) {
        opened = file.open(stdin, QIODevice::ReadOnly);
    } else {
        file.setFileName(path);
        opened = file.open(QIODevice::ReadOnly);
    }
    if (!opened)
        failure(QStringLiteral("cannot read '%1': %2").arg(path, file.errorString()));
    QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        failure(QStringLiteral("cannot read '%1': %2").arg(path, file.errorString()));
    return bytes;
}

QImage readPicture(const QString& path) {
    try {
        return rgbqumo::LoadPicture(path);
    } catch (const RuntimeError& e) {
        failure(QStringLiteral("cannot read picture '%1': %2").arg(path, e.description()));
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
    const QFileInfo info(path);
    if (!info.exists())
        failure(QStringLiteral("cannot read font file '%1': it does not exist").arg(path));
    if (!info.isFile())
        failure(QStringLiteral("cannot read font file '%1': it is not a file").arg(path));
    QFile probe(path);
    if (!probe.open(QIODevice::ReadOnly))
        failure(QStringLiteral("cannot read font file '%1': %2").arg(path, probe.errorString()));
    probe.close();

    FreeTypeLibrary ft;
    FT_Face ftFace = nullptr;
    const QByteArray native = QFile::encodeName(info.absoluteFilePath());
    if (!ft.lib || FT_New_Face(ft.lib, native.constData(), 0, &ftFace) != 0)
        failure(QStringLiteral("'%1' is not a font file that can be read").arg(path));
    text::FaceSpec face;
    face.file = info.absoluteFilePath();
    face.index = 0;
    face.family = ftFace->family_name ? QString::fromUtf8(ftFace->family_name) : QString();
    // Of use only when it scales or has bitmap strikes, as the renderer
    // requires.
    const bool ok = FT_IS_SCALABLE(ftFace) || ftFace->num_fixed_sizes > 0;
    FT_Done_Face(ftFace);
    if (!ok)
        failure(QStringLiteral("'%1' has neither outlines nor bitmaps to draw with").arg(path));
    return face;
}

} // namespace zentraq::cli
