#include "pictureconvert.h"

#include "checked.h"
#include "hexbyte.h"
#include "numbertext.h"
#include "rgb565.h"
#include "runtime_error.h"

#include <QFile>
#include <QFileInfo>

#include <array>
#include <cmath>
#include <cstring>

namespace zentraq::rgbqumo {
namespace {

// Sequential writer of the data file. Items go into a buffer that is handed to
// the file when it is full and whenever the caller is about to let other code
// run, so what was written before an event or a failure is in the file.
class DataFileWriter {
public:
    explicit DataFileWriter(const QString& path) : m_file(path) {
        // NewOnly: the file was just deleted; never write through whatever
        // might have appeared in its place since.
        if (!m_file.open(QIODevice::WriteOnly | QIODevice::NewOnly | QIODevice::Unbuffered))
            throw RuntimeError(RuntimeError::PathFileAccessError,
                               QStringLiteral("路径/文件访问错误：无法创建文件 %1（%2）")
                                   .arg(path, m_file.errorString()));
    }

    DataFileWriter(const DataFileWriter&) = delete;
    DataFileWriter& operator=(const DataFileWriter&) = delete;

    // Closing after a failure keeps what was written; a second failure while
    // doing so cannot be reported any more and is dropped.
    ~DataFileWriter() {
        try {
            flush();
        } catch (const RuntimeError&) {
        }
    }

    // Room for at least `n` more characters.
    char* reserve(std::size_t n) {
        if (m_used + n > m_buffer.size())
            flush();
        return m_buffer.data() + m_used;
    }
    void commit(std::size_t n) { m_used += n; }

    void flush() {
        if (m_used == 0 || !m_file.isOpen())
            return;
        const qint64 wanted = static_cast<qint64>(m_used);
        m_used = 0;
        if (m_file.write(m_buffer.data(), wanted) != wanted)
            fail();
    }

    void close() {
        flush();
        m_file.close();
        if (m_file.error() != QFileDevice::NoError)
            fail();
    }

private:
    [[noreturn]] void fail() {
        const QString reason = m_file.errorString();
        m_file.close();
        throw RuntimeError(RuntimeError::PathFileAccessError,
                           QStringLiteral("写入文件 %1 失败（%2）").arg(m_file.fileName(), reason));
    }

    QFile m_file;
    std::array<char, 64 * 1024> m_buffer{};
    std::size_t m_used = 0;
};

// Decides after each pixel whether the event pump is due. With an interval the
// clock is read only every few pixels, which keeps the per-pixel cost to a
// counter; the first pixel is always due.
class PumpPacer {
public:
    explicit PumpPacer(std::chrono::nanoseconds interval) : m_interval(interval) {}

    bool due() {
        if (m_interval.count() <= 0)
            return true;
        if (--m_countdown > 0)
            return false;
        m_countdown = CheckEvery;
        const auto now = Clock::now();
        if (m_first || now >= m_next) {
            m_first = false;
            m_next = now + m_interval;
            return true;
        }
        return false;
    }

private:
    using Clock = std::chrono::steady_clock;
    static constexpr int CheckEvery = 64;
    std::chrono::nanoseconds m_interval;
    Clock::time_point m_next{};
    int m_countdown = 1;
    bool m_first = true;
};

void deleteOldFile(const QString& path) {
    const QFileInfo info(path);
    if (!info.exists() && !info.isSymLink())
        return;
    // A file its owner has made read-only is kept: the user protected it, and
    // removing it would lose it before anything new has been written.
    if (!info.isSymLink() && info.isFile() && !(info.permissions() & QFileDevice::WriteOwner))
        throw RuntimeError(RuntimeError::PathFileAccessError,
                           QStringLiteral("路径/文件访问错误：%1 是只读文件，无法删除").arg(path));
    QFile old(path);
    if (!old.remove())
        throw RuntimeError(RuntimeError::PathFileAccessError,
                           QStringLiteral("路径/文件访问错误：无法删除 %1（%2）")
                               .arg(path, old.errorString()));
}

} // namespace

QString DataFilePath(const QString& programFolder) {
    return programFolder + QStringLiteral("/temp.txt");
}

ConversionResult ConvertPictureData(const Surface& picture, int width, int height,
                                    const QString& path, const ConversionHooks& hooks) {
    if (width < 0 || height < 0)
        throw RuntimeError(RuntimeError::Other,
                           QStringLiteral("无效的图片尺寸：%1*%2").arg(width).arg(height));

    deleteOldFile(path);
    DataFileWriter file(path);

    ConversionResult result;
    result.total = checked::mul(checked::mul<std::int32_t>(width, height), std::int32_t{2});

    if (hooks.started)
        hooks.started();

    int line = 0;         // items on the current output line, 0..7
    int sinceRefresh = 0; // pixels since the progress caption was last set
    PumpPacer pacer(hooks.pumpInterval);
    // Without a pump or a stop request nothing runs between pixels, and the
    // data goes to the file in large writes.
    const bool yields = hooks.pump || hooks.stopRequested;

    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const ColorBytes c = Rgb565(picture.pixel(x, y));

            char* out = file.reserve(12);
            std::memcpy(out, HexByteAscii(c.LowByte), 4);
            out[4] = ',';
            std::memcpy(out + 5, HexByteAscii(c.HighByte), 4);
            out[9] = ',';
            std::size_t written = 10;
            result.bytes += 2;

            ++sinceRefresh;
            if (++line == 8) {
                out[10] = '\r';
                out[11] = '\n';
                written = 12;
                line = 0;
            }
            file.commit(written);

            if (sinceRefresh > 10000) {
                if (hooks.progress)
                    hooks.progress(QStringLiteral("生成进度:") +
                                   DoubleText(std::floor(result.bytes * 100 / result.total)) +
                                   QStringLiteral("%"));
                sinceRefresh = 0;
            }

            if (yields && pacer.due()) {
                file.flush();
                if (hooks.pump)
                    hooks.pump();
                if (hooks.stopRequested && hooks.stopRequested()) {
                    result.stopped = true;
                    file.close();
                    return result;
                }
            }
        }
    }

    file.close();
    return result;
}

QString ReadDataText(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw RuntimeError(RuntimeError::PathFileAccessError,
                           QStringLiteral("路径/文件访问错误：无法读取 %1（%2）")
                               .arg(path, file.errorString()));
    const QByteArray data = file.readAll();
    if (file.error() != QFileDevice::NoError)
        throw RuntimeError(RuntimeError::PathFileAccessError,
                           QStringLiteral("路径/文件访问错误：无法读取 %1（%2）")
                               .arg(path, file.errorString()));
    return QString::fromLocal8Bit(data);
}

} // namespace zentraq::rgbqumo
