#include "metafile.h"

#include "metafileformat.h"
#include "pictureerror.h"
#include "runtime_error.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QIODevice>
#include <QImageReader>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>
#include <optional>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace zentraq::rgbqumo {
namespace {

// The key under which a metafile picture keeps its size at 96 dots per inch.
const QString ExtentKey = QStringLiteral("Zentraq.Extent");

// Metafiles are read whole; none is larger than this.
constexpr qint64 MaxMetafileBytes = qint64(256) << 20;

// Address space of the converter beyond what its picture takes.
constexpr qint64 ConverterBaseMemory = qint64(512) << 20;

#if defined(__SANITIZE_ADDRESS__)
constexpr bool Sanitized = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool Sanitized = true;
#else
constexpr bool Sanitized = false;
#endif
#else
constexpr bool Sanitized = false;
#endif

std::mutex s_converterLock;
std::optional<MetafileConverter> s_converter;

MetafileConverter converter() {
    const std::lock_guard lock(s_converterLock);
    if (!s_converter)
        s_converter = DefaultMetafileConverter();
    return *s_converter;
}

using Kind = metafile::Problem::Kind;

metafile::Problem problem(Kind kind, qint64 a = 0) {
    metafile::Problem p;
    p.kind = kind;
    p.n[0] = a;
    return p;
}

// The failure to load the metafile `name` for `p`: the problem as values,
// which each front end words, and the file's name as the description.
[[noreturn]] void fail(const QString& name, const metafile::Problem& p) {
    PictureProblem reason = PictureProblem::Metafile;
    RuntimeError::Code code = RuntimeError::InvalidPicture;
    // The converter's own troubles are the program's, not the file's.
    if (p.converterNotRun()) {
        code = p.kind == Kind::ConverterMissing ? RuntimeError::PathFileAccessError
                                                : RuntimeError::Other;
    } else if (p.cutShort()) {
        reason = PictureProblem::Incomplete;
    } else if (p.kind == Kind::NotAMetafile) {
        reason = PictureProblem::NotAPicture;
    }
    PictureError e(code, name, reason);
    e.metafile = p;
    if (p.cutShort()) {
        e.fileBytes = p.n[0];
        e.neededBytes = p.n[1];
    }
    throw e;
}

[[noreturn]] void tooLarge(const QString& name, int w, int h) {
    PictureError e(RuntimeError::InvalidPicture,
                   QStringLiteral("图片尺寸过大（%1*%2），无法载入：%3")
                       .arg(QString::number(w), QString::number(h), name),
                   PictureProblem::TooLarge);
    e.size = QSize(w, h);
    e.limitMb = QImageReader::allocationLimit();
    throw e;
}

[[noreturn]] void unreadable(const QString& name) {
    throw PictureError(RuntimeError::PathFileAccessError,
                       QStringLiteral("无法读取文件：%1").arg(name), PictureProblem::Unreadable);
}

// The whole file from its start (a stream from where it is), at most
// MaxMetafileBytes.
QByteArray readWhole(QIODevice& device, const QString& name) {
    auto tooBig = [&name] { fail(name, problem(Kind::TooManyBytes, MaxMetafileBytes)); };
    QByteArray data;
    if (!device.isSequential()) {
        if (!device.seek(0))
            unreadable(name);
        if (device.size() > MaxMetafileBytes)
            tooBig();
        data = device.readAll();
        if (data.size() != device.size())
            unreadable(name);
        return data;
    }
    for (;;) {
        const QByteArray chunk = device.read(1 << 20);
        if (chunk.isEmpty() && !device.waitForReadyRead(-1))
            return data;
        data += chunk;
        if (data.size() > MaxMetafileBytes)
            tooBig();
    }
}

// A memory file holding `data`, for the converter's standard input; fd is
// -1 when it could not be made.
struct InputFile {
    explicit InputFile(const QByteArray& data)
        : fd(::memfd_create("zentraq-metafile", MFD_CLOEXEC)) {
        for (qsizetype done = 0; fd >= 0 && done < data.size();) {
            const ssize_t n = ::write(fd, data.constData() + done, size_t(data.size() - done));
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0) {
                ::close(fd);
                fd = -1;
            } else {
                done += n;
            }
        }
    }
    ~InputFile() {
        if (fd >= 0)
            ::close(fd);
    }
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;
    int fd;
};

// Qt's GUI side, which the converter starts for its fonts, makes the folder
// /tmp/runtime-USER when XDG_RUNTIME_DIR names none it accepts (the user's
// own, mode 0700). The converter writes nothing, so it gets one: this
// process's own when that is sound, else a folder made for the load and
// removed after it.
class RuntimeFolder {
public:
    RuntimeFolder() {
        if (usable(qgetenv("XDG_RUNTIME_DIR")))
            return;
        QByteArray pattern = QFile::encodeName(QDir::tempPath()) + "/zentraq-metafile-XXXXXX";
        if (::mkdtemp(pattern.data()))
            m_made = pattern;
    }
    ~RuntimeFolder() {
        if (!m_made.isEmpty())
            ::rmdir(m_made.constData());
    }
    RuntimeFolder(const RuntimeFolder&) = delete;
    RuntimeFolder& operator=(const RuntimeFolder&) = delete;

    // The converter's environment entry; empty when it keeps this process's.
    QByteArray entry() const {
        return m_made.isEmpty() ? QByteArray() : "XDG_RUNTIME_DIR=" + m_made;
    }

private:
    static bool usable(const QByteArray& path) {
        struct stat st {};
        return !path.isEmpty() && ::stat(path.constData(), &st) == 0 && S_ISDIR(st.st_mode) &&
               st.st_uid == ::geteuid() && (st.st_mode & 0777) == 0700;
    }

    QByteArray m_made;
};

// The converter's answer: its result line, then for a picture its pixels,
// written straight into the image.
class Answer {
public:
    Answer(int width, int height) : m_width(width), m_height(height) {}

    bool take(QByteArrayView bytes) {
        while (!bytes.isEmpty()) {
            if (!m_lineDone) {
                const qsizetype end = bytes.indexOf('\n');
                const qsizetype n = end < 0 ? bytes.size() : end;
                if (m_line.size() + n > 4096)
                    return false;
                m_line += bytes.first(n);
                if (end < 0)
                    return true;
                bytes = bytes.sliced(end + 1);
                m_lineDone = true;
                if (!startPicture())
                    return bytes.isEmpty();
                continue;
            }
            if (m_picture.isNull())
                return false;
            const qint64 total = qint64(m_width) * m_height * 4;
            if (m_filled + bytes.size() > total)
                return false;
            // Rows are whole 32-bit words with no padding between them.
            std::memcpy(m_picture.bits() + m_filled, bytes.data(), size_t(bytes.size()));
            m_filled += bytes.size();
            bytes = {};
        }
        return true;
    }

    const QByteArray& line() const { return m_line; }
    bool complete() const {
        return !m_picture.isNull() && m_filled == qint64(m_width) * m_height * 4;
    }
    QImage picture() const { return m_picture; }

private:
    // After "ZMF 1 W H w h": the picture to fill, of the size expected.
    bool startPicture() {
        const QList<QByteArray> f = m_line.split(' ');
        if (f.size() != 6 || f[0] != "ZMF" || f[1] != "1")
            return false;
        if (f[4].toInt() != m_width || f[5].toInt() != m_height)
            return false;
        m_picture = QImage(m_width, m_height, QImage::Format_RGB32);
        if (m_picture.isNull())
            throw std::bad_alloc();
        return true;
    }

    int m_width;
    int m_height;
    QByteArray m_line;
    bool m_lineDone = false;
    QImage m_picture;
    qint64 m_filled = 0;
};

} // namespace

bool IsMetafile(QIODevice& device) {
    if (!device.isSequential() && !device.seek(0))
        return false;
    return metafile::looksLikeMetafile(device.peek(64));
}

MetafileConverter DefaultMetafileConverter() {
    MetafileConverter c;
    const QFileInfo self(QStringLiteral("/proc/self/exe"));
    const QString exe = self.canonicalFilePath();
    const QString installed = QDir::cleanPath(
        QFileInfo(exe).absolutePath() +
        QStringLiteral("/" ZENTRAQ_LIBEXECDIR_FROM_BINDIR "/zentraq/zentraq-metafile"));
    c.program = installed;
#ifdef ZENTRAQ_METAFILE_BUILT
    // Programs and tests run from the build folder use the converter built
    // there; an installed program never does.
    const QString build = QFileInfo(QStringLiteral(ZENTRAQ_BUILD_FOLDER)).canonicalFilePath();
    if (!QFileInfo(installed).isExecutable() && !build.isEmpty() &&
        exe.startsWith(build + QLatin1Char('/')))
        c.program = QStringLiteral(ZENTRAQ_METAFILE_BUILT);
#endif
    c.bounds.deadline = std::chrono::seconds(10);
    c.bounds.memoryBytes = Sanitized ? 0 : ConverterBaseMemory;
    return c;
}

void SetMetafileConverter(const MetafileConverter& converter) {
    const std::lock_guard lock(s_converterLock);
    s_converter = converter;
}

QSizeF PictureExtent(const QImage& picture) {
    const QStringList parts = picture.text(ExtentKey).split(QLatin1Char(' '));
    bool okW = false, okH = false;
    const float w = parts.size() == 2 ? parts[0].toFloat(&okW) : 0;
    const float h = parts.size() == 2 ? parts[1].toFloat(&okH) : 0;
    if (okW && okH)
        return QSizeF(w, h);
    return QSizeF(picture.size());
}

QImage LoadMetafile(QIODevice& device, const QString& name) {
    const QByteArray data = readWhole(device, name);
    const auto inspected = metafile::inspect(data);
    if (const auto* p = std::get_if<metafile::Problem>(&inspected))
        fail(name, *p);
    const metafile::Layout& layout = std::get<metafile::Layout>(inspected);

    // The same limit as for every other picture: the image reader's.
    const int w = layout.pixelWidth, h = layout.pixelHeight;
    const qint64 pictureBytes = qint64(w) * h * 4;
    const qint64 limit = qint64(QImageReader::allocationLimit()) * 1024 * 1024;
    if ((limit > 0 && pictureBytes > limit) || pictureBytes > 0x7FFFFFFF)
        tooLarge(name, w, h);

    MetafileConverter c = converter();
    if (!QFileInfo(c.program).isExecutable()) {
        metafile::Problem p = problem(Kind::ConverterMissing);
        p.program = c.program;
        fail(name, p);
    }
    if (c.bounds.memoryBytes > 0)
        c.bounds.memoryBytes += 2 * pictureBytes;
    if (Sanitized)
        c.bounds.environment
            << QByteArray("ASAN_OPTIONS=") + qgetenv("ASAN_OPTIONS") +
                   ":detect_leaks=0:allocator_may_return_null=1:hard_rss_limit_mb=" +
                   QByteArray::number(1024 + 3 * pictureBytes / (1 << 20));

    const RuntimeFolder runtime;
    if (!runtime.entry().isEmpty())
        c.bounds.environment << runtime.entry();

    const InputFile input(data);
    if (input.fd < 0) {
        metafile::Problem p = problem(Kind::NoMemoryFile);
        p.reason = QString::fromLocal8Bit(std::strerror(errno));
        fail(name, p);
    }
    Answer answer(w, h);
    const ProcessOutcome outcome = runBounded(
        c.program, {QStringLiteral("--max-pixels"), QString::number(qint64(w) * h)}, input.fd,
        c.bounds, [&answer](QByteArrayView bytes) { return answer.take(bytes); });

    const qint64 deadline = c.bounds.deadline.count();
    switch (outcome.status) {
    case ProcessOutcome::NotStarted: {
        metafile::Problem p = problem(Kind::ConverterNotStarted);
        p.program = c.program;
        p.reason = outcome.error;
        fail(name, p);
    }
    case ProcessOutcome::TimedOut:
        fail(name, problem(Kind::TimedOut, deadline));
    case ProcessOutcome::Refused:
        fail(name, problem(Kind::AnswerWrong));
    case ProcessOutcome::Signalled:
        // The CPU-time limit ends it with SIGXCPU, then SIGKILL.
        if (outcome.code == SIGXCPU || outcome.code == SIGKILL)
            fail(name, problem(Kind::TimedOut, deadline));
        fail(name, problem(Kind::ConverterCrashed, outcome.code));
    case ProcessOutcome::Exited:
        break;
    }

    const QByteArray& line = answer.line();
    if (outcome.code != 0 || !answer.complete()) {
        // The converter's own limit ran out, not this process's memory.
        if (line.startsWith("ERR memory"))
            fail(name, problem(Kind::ConverterNoMemory, c.bounds.memoryBytes));
        if (line.startsWith("ERR large "))
            tooLarge(name, w, h);
        if (line.startsWith("ERR invalid ")) {
            const std::optional<metafile::Problem> said = metafile::decodeProblem(line.mid(12));
            fail(name, said ? *said : problem(Kind::AnswerWrong));
        }
        if (outcome.code == 0)
            fail(name, problem(Kind::AnswerCutShort));
        fail(name, problem(Kind::ConverterFailed, outcome.code));
    }
    // The converter measured the same metafile.
    const QList<QByteArray> f = line.split(' ');
    if (f[2].toFloat() != layout.width || f[3].toFloat() != layout.height)
        fail(name, problem(Kind::AnswerWrong));

    QImage picture = answer.picture();
    picture.setText(ExtentKey, QString::number(double(layout.width), 'g', 9) + QLatin1Char(' ') +
                                   QString::number(double(layout.height), 'g', 9));
    return picture;
}

} // namespace zentraq::rgbqumo
