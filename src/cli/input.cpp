#include "input.h"

#include "error.h"
#include "numbertext.h"
#include "pictureloader.h"
#include "process.h"

#include <QFileInfo>

#include <ft2build.h>
#include FT_FREETYPE_H

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <new>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace zentraq::cli {
namespace {

std::vector<std::string> g_inputs;

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

// What is wrong with a metafile, in the tool's words.
QString metafileProblem(const metafile::Problem& p) {
    using Kind = metafile::Problem::Kind;
    const auto n = [&p](std::size_t i) { return QString::number(p.n[i]); };
    switch (p.kind) {
    case Kind::NotAMetafile:
        return QStringLiteral("it is not a metafile");
    case Kind::HeaderCutShort:
        return QStringLiteral("it is cut short: the file has %1 bytes, less than its %2-byte "
                              "metafile header")
            .arg(n(0), n(1));
    case Kind::CutShort:
        return QStringLiteral("it is cut short: the file has %1 bytes, its metafile header says %2")
            .arg(n(0), n(1));
    case Kind::NoUnitsPerInch:
        return QStringLiteral("its placeable metafile header gives 0 units per inch");
    case Kind::BadWmfHeader:
        return QStringLiteral("its WMF header is not valid (type %1, %2 words, version 0x%3)")
            .arg(n(0), n(1), QString::number(p.n[2], 16));
    case Kind::WmfSizeBelowHeader:
        return QStringLiteral("its WMF header gives a size of %1 words, too small for the header")
            .arg(n(0));
    case Kind::NoEndRecord:
        return QStringLiteral("it is cut short: no end record after record %1").arg(n(0));
    case Kind::WmfRecordPastEnd:
        return QStringLiteral("its record %1 (at byte %2) is %3 words long, past the %4 bytes of "
                              "the metafile")
            .arg(n(0), n(1), n(2), n(3));
    case Kind::WmfRecordTooLong:
        return QStringLiteral("its record %1 is %2 words long, its header says the longest has %3")
            .arg(n(0), n(1), n(2));
    case Kind::NoSize:
        return QStringLiteral("it gives no size: no placeable header, and no window extent "
                              "before it draws");
    case Kind::BadEmfHeaderSize:
        return QStringLiteral("its EMF header says it is %1 bytes long").arg(n(0));
    case Kind::EmptyFrame:
        return QStringLiteral("its EMF frame (%1,%2)-(%3,%4) is empty").arg(n(0), n(1), n(2), n(3));
    case Kind::NoReferenceDevice:
        return QStringLiteral("its EMF reference device is %1 x %2 pixels, %3 x %4 mm")
            .arg(n(0), n(1), n(2), n(3));
    case Kind::EmfRecordPastEnd:
        return QStringLiteral("its record %1 (at byte %2) is %3 bytes long, past the %4 bytes of "
                              "the metafile")
            .arg(n(0), n(1), n(2), n(3));
    case Kind::NoHeaderFirst:
        return QStringLiteral("its record %1 (at byte %2) is not the EMF header").arg(n(0), n(1));
    case Kind::SecondHeader:
        return QStringLiteral("its record %1 (at byte %2) is a second EMF header").arg(n(0), n(1));
    case Kind::WrongRecordCount:
        return QStringLiteral("its EMF header says %1 records, it holds %2").arg(n(0), n(1));
    case Kind::BelowAPixel:
        return QStringLiteral("its size at 96 dots per inch, %1 x %2, is less than a pixel")
            .arg(SingleText(p.width), SingleText(p.height));
    case Kind::InputUnreadable:
        return QStringLiteral("the metafile converter cannot read it");
    case Kind::EmfUnreadable:
        return QStringLiteral("the EMF converter cannot read its records");
    case Kind::SvgUndrawable:
        return QStringLiteral("the SVG made of its records cannot be drawn");
    case Kind::WindowOutOfRange:
        return QStringLiteral("its window, %3 x %4 from (%1,%2), lies outside 16-bit coordinates")
            .arg(n(0), n(1), n(2), n(3));
    case Kind::WindowEmpty:
        return QStringLiteral("its window is empty in the WMF player's units");
    case Kind::WindowNotPlayed:
        return QStringLiteral("the WMF player never reached its window");
    case Kind::PlayerNoMemory:
        return QStringLiteral("there is not enough memory to play it");
    case Kind::PlayerCutShort:
        return QStringLiteral("it is cut short: its records end before the WMF player has read "
                              "them");
    case Kind::PlayerUnreadable:
        return QStringLiteral("the WMF player cannot read its records");
    case Kind::PlayerFailed:
        return QStringLiteral("the WMF player fails on it (error %1)").arg(n(0));
    case Kind::TooManyBytes:
        return QStringLiteral("it holds more than %1 MiB, the most a metafile may hold")
            .arg(QString::number(p.n[0] >> 20));
    case Kind::NoMemoryFile:
        return QStringLiteral("no memory file could be made for the metafile converter: %1")
            .arg(p.reason);
    case Kind::ConverterMissing:
        return QStringLiteral("the metafile converter %1 is missing").arg(p.program);
    case Kind::ConverterNotStarted:
        return QStringLiteral("the metafile converter %1 cannot be started: %2")
            .arg(p.program, p.reason);
    case Kind::TimedOut:
        return QStringLiteral("it was not drawn within %1 s").arg(DoubleText(p.n[0] / 1000.0));
    case Kind::ConverterCrashed: {
        // Not strsignal(): its words follow the language the user set.
        const char* name = sigdescr_np(int(p.n[0]));
        return QStringLiteral("the metafile converter ended on signal %1 (%2)")
            .arg(n(0), name ? QString::fromLatin1(name) : QStringLiteral("unknown"));
    }
    case Kind::ConverterFailed:
        return QStringLiteral("the metafile converter ended with exit status %1").arg(n(0));
    case Kind::ConverterNoMemory:
        if (p.n[0] <= 0)
            return QStringLiteral("the metafile converter ran out of memory while it played the "
                                  "records");
        return QStringLiteral("the metafile converter reached its memory limit of %1 MiB while it "
                              "played the records")
            .arg(QString::number((p.n[0] + (1 << 19)) >> 20));
    case Kind::AnswerCutShort:
        return QStringLiteral("the metafile converter's answer is cut short");
    case Kind::AnswerWrong:
        return QStringLiteral("the metafile converter's answer makes no sense");
    }
    return QStringLiteral("it is a metafile that cannot be drawn");
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
        if (e.metafile) {
            why = metafileProblem(*e.metafile);
            break;
        }
        why = QStringLiteral("it is cut short: the file has %1 bytes, its picture data needs %2")
                  .arg(QString::number(e.fileBytes), QString::number(e.neededBytes));
        break;
    case PictureProblem::Overclaim: {
        const rgbqumo::DecoderClaim& c = e.claim;
        if (c.kind == rgbqumo::DecoderClaim::Kind::Coefficients)
            why =
                QStringLiteral("it is a %1 JPEG of %2 x %3 pixels whose decoder would keep %4 MiB "
                               "of coefficients, more than the %5 MiB the tool allows")
                    .arg(c.progressive ? QStringLiteral("progressive")
                                       : QStringLiteral("multi-scan"),
                         QString::number(c.width), QString::number(c.height),
                         QString::number((c.bytes + (1 << 20) - 1) >> 20),
                         QString::number(c.budget >> 20));
        else
            why = QStringLiteral("it is cut short or damaged: its %1 %2 %3 claims %4 bytes, and "
                                 "only %5 follow")
                      .arg(c.format,
                           c.format == QLatin1String("JPEG") ? QStringLiteral("segment")
                                                             : QStringLiteral("chunk"),
                           c.part, QString::number(c.claimed), QString::number(c.left));
        break;
    }
    case PictureProblem::Metafile:
        why = metafileProblem(*e.metafile);
        break;
    case PictureProblem::TooLarge:
        // The reader's limit holds 4 bytes a pixel.
        why = QStringLiteral("it is %1 x %2 pixels, more than the %3 (%4 MiB) the tool decodes")
                  .arg(QString::number(e.size.width()), QString::number(e.size.height()),
                       QString::number(qint64(e.limitMb) * 1024 * 1024 / 4),
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
    if (path == QLatin1String("-"))
        return;
    std::string name = nativeName(path).toStdString();
    if (std::find(g_inputs.begin(), g_inputs.end(), name) == g_inputs.end())
        g_inputs.push_back(std::move(name));
}

const std::vector<std::string>& inputFiles() {
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
    QByteArray head(16, '\0');
    const ssize_t n = ::pread(fd.get(), head.data(), std::size_t(head.size()), 0);
    head.truncate(qMax<ssize_t>(n, 0));
    std::optional<OwnImageFormats> own;
    if (OwnImageFormats::builtIn(head))
        own.emplace();
    try {
        return rgbqumo::LoadPicture(fd.get(), path);
    } catch (const rgbqumo::PictureError& e) {
        cannotRead(what, path, pictureProblem(e));
    } catch (const std::bad_alloc&) {
        cannotRead(what, path, QStringLiteral("there is not enough memory for its pixels"));
    }
}

text::FaceChoice fontFileFace(const QString& path) {
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
    text::FaceChoice face;
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

bool FontFiles::exists(const QString& name) const {
    return cli::exists(name);
}

QByteArray FontFiles::read(const QString& name) const {
    return readWhole(name);
}

QString FontFiles::shown(const QString& name) const {
    return readable(name);
}

} // namespace zentraq::cli
