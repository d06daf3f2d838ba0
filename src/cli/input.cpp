#include "input.h"

#include "error.h"
#include "pictureloader.h"
#include "process.h"

#include <QFileInfo>

#include <ft2build.h>
#include FT_FREETYPE_H

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <new>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace zentraq::cli {
namespace {

QStringList g_inputs;

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

// `path` opened for reading, and recorded. Throws CliError naming `what` and
// the file.
int openForReading(const QString& what, const QString& path, int flags = 0) {
    int fd = -1;
    do {
        fd = ::open(nativeName(path).constData(), O_RDONLY | O_CLOEXEC | O_NOCTTY | flags);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0)
        cannotRead(what, path, openProblem(errno));
    recordInput(path);
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

// Why a picture could not be read, in the tool's words.
QString pictureProblem(const rgbqumo::PictureError& e) {
    using rgbqumo::PictureProblem;
    QString why;
    switch (e.problem()) {
    case PictureProblem::Unreadable:
        why = QStringLiteral("it cannot be read");
        break;
    case PictureProblem::NotAPicture:
        why = QStringLiteral("it is not a picture in a format this tool reads");
        break;
    case PictureProblem::Damaged:
        why = QStringLiteral("its picture data is damaged or incomplete");
        break;
    case PictureProblem::Incomplete:
        why = QStringLiteral("it is cut short: the file has %1 bytes, its picture data needs %2")
                  .arg(QString::number(e.fileBytes), QString::number(e.neededBytes));
        break;
    case PictureProblem::TooLarge:
        why = QStringLiteral("it is %1 x %2 pixels, more than the %3 MiB allowed for one picture")
                  .arg(QString::number(e.size.width()), QString::number(e.size.height()),
                       QString::number(e.limitMb));
        break;
    }
    // What the decoder itself said, when it did: often the one detail that
    // says where the data went wrong.
    return e.decoderWords.isEmpty() ? why : why + QStringLiteral(" (") + e.decoderWords + u')';
}

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

void recordInput(const QString& path) {
    if (path != QLatin1String("-") && !g_inputs.contains(path))
        g_inputs << path;
}

const QStringList& inputFiles() {
    return g_inputs;
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
    try {
        return rgbqumo::LoadPicture(fd.get(), path);
    } catch (const rgbqumo::PictureError& e) {
        cannotRead(what, path, pictureProblem(e));
    } catch (const std::bad_alloc&) {
        cannotRead(what, path, QStringLiteral("there is not enough memory for its pixels"));
    }
}

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
