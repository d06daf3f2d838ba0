#include "pictureconvert.h"

#include "checked.h"
#include "datafiletext.h"
#include "formatter.h"
#include "imagerows.h"
#include "numbertext.h"
#include "pipeline.h"
#include "runtime_error.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cmath>

namespace zentraq::rgbqumo {
namespace {

// The data file, written unbuffered: the formatter in front of it hands over
// large blocks, and everything it holds whenever the caller is about to let
// other code run, so what was made before an event or a failure is in the
// file.
class DataFile : public core::ByteSink {
public:
    explicit DataFile(const QString& path) : m_file(path) {
        // NewOnly: the file was just deleted; never write through whatever
        // might have appeared in its place since.
        if (!m_file.open(QIODevice::WriteOnly | QIODevice::NewOnly | QIODevice::Unbuffered))
            throw RuntimeError(RuntimeError::PathFileAccessError,
                               QStringLiteral("路径/文件访问错误：无法创建文件 %1（%2）")
                                   .arg(path, m_file.errorString()));
    }

    void write(const char* data, qint64 size) override {
        if (m_file.isOpen() && m_file.write(data, size) != size)
            fail();
    }

    void close() {
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
};

// Decides after each pixel whether the event pump is due. With an interval the
// clock is read only every few pixels, so the pixels in between go through
// the conversion as one run; the first pixel is always due.
class PumpPacer {
public:
    explicit PumpPacer(std::chrono::nanoseconds interval) : m_interval(interval) {}

    // Pixels up to and including the next one after which the pump may be
    // due.
    int pixelsToCheck() const { return m_interval.count() <= 0 ? 1 : m_countdown; }

    // After `pixels` more pixels (at most pixelsToCheck()).
    bool due(int pixels) {
        if (m_interval.count() <= 0)
            return true;
        m_countdown -= pixels;
        if (m_countdown > 0)
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
        throw RuntimeError(
            RuntimeError::PathFileAccessError,
            QStringLiteral("路径/文件访问错误：无法删除 %1（%2）").arg(path, old.errorString()));
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
    DataFile file(path);

    ConversionResult result;
    result.total = checked::mul(checked::mul<std::int32_t>(width, height), std::int32_t{2});

    if (hooks.started)
        hooks.started();
    if (width == 0 || height == 0) {
        file.close();
        return result;
    }

    // The data file's configuration of the pipeline, each pixel read from
    // the picture afresh.
    core::DataFileText data(file, width, height, 64 * 1024);
    core::Pipeline& pipeline = data.pipeline();
    core::Formatter& items = data.text();
    core::SurfacePixels pixels(picture, width, height);

    int sinceRefresh = 0; // pixels since the progress caption was last set
    PumpPacer pacer(hooks.pumpInterval);
    // Without a pump or a stop request nothing runs between pixels, and the
    // data goes to the file in large writes.
    const bool yields = hooks.pump || hooks.stopRequested;

    try {
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width;) {
                // The pixels up to the next one after which something else
                // may happen go through as one run.
                int run = std::min(width - x, 10001 - sinceRefresh);
                if (yields)
                    run = std::min(run, pacer.pixelsToCheck());
                pipeline.pixels(pixels, y, x, run);
                x += run;
                sinceRefresh += run;
                result.bytes += 2.0 * run;

                if (sinceRefresh > 10000) {
                    if (hooks.progress)
                        hooks.progress(QStringLiteral("生成进度:") +
                                       DoubleText(std::floor(result.bytes * 100 / result.total)) +
                                       QStringLiteral("%"));
                    sinceRefresh = 0;
                }

                if (yields && pacer.due(run)) {
                    items.flush();
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
        pipeline.endFrame();
        items.finish();
    } catch (const RuntimeError&) {
        // What was made before the failure goes into the file; a second
        // failure while writing it cannot be reported any more.
        try {
            items.flush();
        } catch (const RuntimeError&) {
        }
        throw;
    }

    file.close();
    return result;
}

QString ReadDataText(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw RuntimeError(
            RuntimeError::PathFileAccessError,
            QStringLiteral("路径/文件访问错误：无法读取 %1（%2）").arg(path, file.errorString()));
    const QByteArray data = file.readAll();
    if (file.error() != QFileDevice::NoError)
        throw RuntimeError(
            RuntimeError::PathFileAccessError,
            QStringLiteral("路径/文件访问错误：无法读取 %1（%2）").arg(path, file.errorString()));
    return QString::fromLocal8Bit(data);
}

} // namespace zentraq::rgbqumo
