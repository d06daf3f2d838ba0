#include "pictureloader.h"

#include "metafile.h"
#include "picturebounds.h"
#include "picturelayout.h"
#include "pngdecoder.h"
#include "runtime_error.h"

#include <QBuffer>
#include <QFile>
#include <QFileInfo>
#include <QImageIOHandler>
#include <QImageReader>
#include <QStringList>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <functional>
#include <new>
#include <optional>
#include <unistd.h>

namespace zentraq::rgbqumo {
namespace {

// Collects what the decoders say while a picture is read. Qt's decoders
// report a picture that ends too early, or damaged data, only as a warning
// and then return the picture with the rest left black; a warning here makes
// the load fail instead. Messages of lower levels, messages from other
// threads and the notices below go on to the handler installed before.
class DecoderMessages {
public:
    DecoderMessages() {
        s_forward = qInstallMessageHandler(&handle);
        t_active = this;
    }
    ~DecoderMessages() {
        t_active = nullptr;
        qInstallMessageHandler(s_forward.load());
    }
    DecoderMessages(const DecoderMessages&) = delete;
    DecoderMessages& operator=(const DecoderMessages&) = delete;

    const QStringList& problems() const { return m_problems; }

private:
    // Notices that leave every pixel as the file means it.
    static bool harmless(const QString& message) {
        // Stray bytes between two parts of a JPEG file, skipped.
        return message.contains(QLatin1String("extraneous bytes before marker"));
    }

    static void handle(QtMsgType type, const QMessageLogContext& context, const QString& message) {
        DecoderMessages* self = t_active;
        const bool problem = type == QtWarningMsg || type == QtCriticalMsg;
        if (self && problem && !harmless(message)) {
            self->m_problems.append(message);
            return;
        }
        if (const QtMessageHandler forward = s_forward.load())
            forward(type, context, message);
    }

    static thread_local DecoderMessages* t_active;
    static inline std::atomic<QtMessageHandler> s_forward = nullptr;

    QStringList m_problems;
};

thread_local DecoderMessages* DecoderMessages::t_active = nullptr;

// Keeps what is written to standard error while it lives, up to a few KiB:
// some decoders report a damaged file there rather than through Qt.
class StandardErrorWords {
public:
    StandardErrorWords() {
        std::fflush(stderr);
        m_saved = ::fcntl(STDERR_FILENO, F_DUPFD_CLOEXEC, 3);
        int ends[2] = {-1, -1};
        if (m_saved < 0 || ::pipe2(ends, O_CLOEXEC | O_NONBLOCK) != 0) {
            if (m_saved >= 0)
                ::close(m_saved);
            m_saved = -1;
            return;
        }
        ::dup2(ends[1], STDERR_FILENO);
        ::close(ends[1]);
        m_pipe = ends[0];
    }
    ~StandardErrorWords() { restore(); }
    StandardErrorWords(const StandardErrorWords&) = delete;
    StandardErrorWords& operator=(const StandardErrorWords&) = delete;

    // What was written, its lines trimmed; standard error is restored.
    QStringList take() {
        restore();
        QStringList lines;
        for (const QByteArray& line : m_kept.split('\n'))
            if (!line.trimmed().isEmpty())
                lines << QString::fromUtf8(line.trimmed());
        return lines;
    }

private:
    void restore() {
        if (m_saved < 0)
            return;
        std::fflush(stderr);
        ::dup2(m_saved, STDERR_FILENO);
        ::close(m_saved);
        m_saved = -1;
        char chunk[4096];
        ssize_t n = 0;
        while ((n = ::read(m_pipe, chunk, sizeof chunk)) > 0 || (n < 0 && errno == EINTR))
            m_kept += QByteArray(chunk, qMax<ssize_t>(n, 0)).left(4096 - m_kept.size());
        ::close(m_pipe);
    }

    int m_saved = -1;
    int m_pipe = -1;
    QByteArray m_kept;
};

// The window's message for a picture that is cut short or damaged.
QString incomplete(const QString& name, const QString& what) {
    return QStringLiteral("无效图片：%2：%1").arg(name, what);
}

// Builds the error for a picture that cannot be read, with what the
// decoders said meanwhile.
using Failure = std::function<PictureError(RuntimeError::Code, const QString&, PictureProblem)>;

// Refuses pictures whose pixels would not fit the reader's memory limit with
// a message that says so, rather than a generic read failure.
void checkSize(QSize size, const QString& name, const Failure& failed) {
    const int limitMb = QImageReader::allocationLimit();
    if (size.isValid() && limitMb > 0 &&
        qint64(size.width()) * size.height() * 4 > qint64(limitMb) * 1024 * 1024) {
        PictureError e =
            failed(RuntimeError::InvalidPicture,
                   QStringLiteral("图片尺寸过大（%1*%2），无法载入：%3")
                       .arg(QString::number(size.width()), QString::number(size.height()), name),
                   PictureProblem::TooLarge);
        e.size = size;
        e.limitMb = limitMb;
        throw e;
    }
}

QString damagedText(const QString& name) {
    return QStringLiteral("无效图片：图片数据已损坏或不完整：%1").arg(name);
}

// The PNG file in `device`, from its first byte, with the PNG reader of every
// route. The picture is of the smallest format that holds it exactly. With
// `libpngWords`, why libpng gave up is part of the error, as the tool says it.
QImage readPng(QIODevice& device, const QString& name, const Failure& failed, bool libpngWords) {
    PngDecoder png([&device](void* out, std::size_t n) {
        return device.read(static_cast<char*>(out), qint64(n)) == qint64(n);
    });
    const auto damaged = [&] {
        PictureError e =
            failed(RuntimeError::InvalidPicture, damagedText(name), PictureProblem::Damaged);
        if (libpngWords)
            e.decoderWords += (e.decoderWords.isEmpty() ? QString() : QStringLiteral("; ")) +
                              QStringLiteral("libpng error: ") +
                              QString::fromStdString(png.error());
        return e;
    };
    if (!png.readHeader())
        throw damaged();
    const QSize size(png.width(), png.height());
    checkSize(size, name, failed);
    static constexpr QImage::Format Formats[] = {
        QImage::Format_Mono,        QImage::Format_Indexed8, QImage::Format_Grayscale8,
        QImage::Format_Grayscale16, QImage::Format_RGB32,    QImage::Format_ARGB32,
        QImage::Format_RGBX64,      QImage::Format_RGBA64};
    QImage picture;
    // Refused, with a warning, when it is over the memory limit in its own
    // format.
    if (!QImageIOHandler::allocateImage(size, Formats[int(png.layout())], &picture)) {
        if (QImage(size, QImage::Format_ARGB32).isNull())
            throw std::bad_alloc();
        throw failed(RuntimeError::InvalidPicture, damagedText(name), PictureProblem::Damaged);
    }
    if (!png.table().empty())
        picture.setColorTable(QList<QRgb>(png.table().begin(), png.table().end()));
    if (!png.readPixels(picture.bits(), std::size_t(picture.bytesPerLine())))
        throw damaged();
    return picture;
}

// A picture of any other format, with Qt's image readers.
QImage readWithQt(QIODevice& device, const QString& name, const Failure& failed) {
    QImageReader reader(&device);
    reader.setAutoTransform(false); // pixels as stored, as the preview shows them

    checkSize(reader.size(), name, failed);

    QImage picture;
    if (!reader.read(&picture) || picture.isNull()) {
        // A decoder that cannot get the memory for the pixels says no more
        // than that the data could not be read.
        const QSize size = reader.size();
        if (size.isValid() && !size.isEmpty() && QImage(size, QImage::Format_ARGB32).isNull())
            throw std::bad_alloc();
        switch (reader.error()) {
        case QImageReader::FileNotFoundError:
            throw failed(RuntimeError::FileNotFound, QStringLiteral("文件未找到：%1").arg(name),
                         PictureProblem::Unreadable);
        case QImageReader::DeviceError:
            throw failed(RuntimeError::PathFileAccessError,
                         QStringLiteral("无法读取文件：%1").arg(name), PictureProblem::Unreadable);
        case QImageReader::InvalidDataError:
            throw failed(RuntimeError::InvalidPicture, damagedText(name), PictureProblem::Damaged);
        default:
            throw failed(RuntimeError::InvalidPicture,
                         QStringLiteral("无效图片：不是可识别的图片格式：%1").arg(name),
                         PictureProblem::NotAPicture);
        }
    }
    return picture;
}

// The picture in `device` (open for reading, positioned anywhere). With
// `stderrWords`, what the decoders write to standard error meanwhile is kept
// for the error.
QImage decodePicture(QIODevice& device, const QString& name, bool stderrWords = false) {
    // Metafiles, known by their first bytes, are drawn by their converter.
    if (IsMetafile(device))
        return LoadMetafile(device, name);
    const DecoderMessages messages;
    std::optional<StandardErrorWords> written;
    if (stderrWords)
        written.emplace();
    const auto failed = [&](RuntimeError::Code code, const QString& description,
                            PictureProblem problem) {
        PictureError e(code, description, problem);
        e.decoderWords = (messages.problems() + (written ? written->take() : QStringList()))
                             .join(QStringLiteral("; "));
        return e;
    };

    // The format as the image reader sees it, from the file name and the
    // content; then what the headers of that format say the file must hold.
    QByteArray format;
    {
        QImageReader probe(&device);
        format = probe.format();
    }
    const PictureLayout layout = inspectPicture(device, format);
    if (layout.requiredSize > device.size()) {
        PictureError e = failed(
            RuntimeError::InvalidPicture,
            incomplete(name, QStringLiteral("图片不完整（文件只有 %1 字节，图片数据需要 %2 字节）")
                                 .arg(QString::number(device.size()),
                                      QString::number(layout.requiredSize))),
            PictureProblem::Incomplete);
        e.fileBytes = device.size();
        e.neededBytes = layout.requiredSize;
        throw e;
    }
    // Sizes the decoder would allocate before it finds the file shorter.
    if (const std::optional<DecoderClaim> claim = decoderOverclaim(
            device, format, qint64(QImageReader::allocationLimit()) * 1024 * 1024)) {
        PictureError e = failed(RuntimeError::InvalidPicture, incomplete(name, claimText(*claim)),
                                PictureProblem::Overclaim);
        e.claim = *claim;
        throw e;
    }
    if (!device.seek(0))
        throw failed(RuntimeError::PathFileAccessError,
                     QStringLiteral("无法读取文件：%1").arg(name), PictureProblem::Unreadable);

    // PNG files, known by their signature, with the PNG reader of every
    // route; other formats with Qt's readers.
    const QByteArray signature = device.peek(8);
    QImage picture = PngDecoder::isPng(signature.constData(), std::size_t(signature.size()))
                         ? readPng(device, name, failed, written.has_value())
                         : readWithQt(device, name, failed);
    if (!messages.problems().isEmpty())
        throw failed(RuntimeError::InvalidPicture,
                     incomplete(name, QStringLiteral("图片不完整或已损坏（") +
                                          messages.problems().join(QStringLiteral("；")) +
                                          QStringLiteral("）")),
                     PictureProblem::Damaged);

    if (layout.andMask)
        applyAndMask(picture, device, *layout.andMask);
    // One picture pixel is one box pixel, whatever scale the file asks for.
    picture.setDevicePixelRatio(1.0);
    return picture;
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

// Why `path` cannot be opened for reading, from the system's own answer.
[[noreturn]] void cannotOpen(const QString& path, const QString& qtReason) {
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    const int error = errno;
    if (fd >= 0)
        ::close(fd);
    if (fd < 0 && (error == EACCES || error == EPERM))
        throw RuntimeError(RuntimeError::PermissionDenied,
                           QStringLiteral("没有权限：拒绝访问文件 %1").arg(path));
    if (fd < 0 && error == ENOENT)
        throw RuntimeError(RuntimeError::FileNotFound, QStringLiteral("文件未找到：%1").arg(path));
    throw RuntimeError(RuntimeError::PathFileAccessError,
                       QStringLiteral("路径/文件访问错误：无法打开 %1（%2）").arg(path, qtReason));
}

} // namespace

QImage LoadPicture(const QString& path) {
    const QFileInfo info(path);
    if (!info.exists())
        throw RuntimeError(RuntimeError::FileNotFound, QStringLiteral("文件未找到：%1").arg(path));
    if (!info.isFile())
        throw RuntimeError(RuntimeError::PathFileAccessError,
                           QStringLiteral("路径/文件访问错误：%1 不是文件").arg(path));
    // Opened here rather than by the image reader, which reports every file
    // it cannot open as missing. The name stays with the file, so the reader
    // still takes the format from it.
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        cannotOpen(path, file.errorString());
    return decodePicture(file, path);
}

QImage LoadPicture(int fd, const QString& name) {
    NamedFile file(name);
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::DontCloseHandle))
        throw PictureError(RuntimeError::PathFileAccessError,
                           QStringLiteral("无法读取文件：%1").arg(name),
                           PictureProblem::Unreadable);
    return decodePicture(file, name, true);
}

QImage LoadPictureData(const QByteArray& data, const QString& name) {
    QBuffer buffer;
    buffer.setData(data);
    buffer.open(QIODevice::ReadOnly);
    return decodePicture(buffer, name);
}

} // namespace zentraq::rgbqumo
