#include "qt_downloader.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEvent>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QRandomGenerator>
#include <QTimer>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <functional>
#include <memory>
#include <new>

namespace zentraq::platform {

namespace {

// Swallows user input for every object of the program while installed.
class InputDiscarder : public QObject {
public:
    explicit InputDiscarder(std::function<void()> onClose) : m_onClose(std::move(onClose)) {
        if (auto* app = QCoreApplication::instance())
            app->installEventFilter(this);
    }
    ~InputDiscarder() override {
        if (auto* app = QCoreApplication::instance())
            app->removeEventFilter(this);
    }
    InputDiscarder(const InputDiscarder&) = delete;
    InputDiscarder& operator=(const InputDiscarder&) = delete;

protected:
    bool eventFilter(QObject* watched, QEvent* e) override {
        switch (e->type()) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::MouseMove:
        case QEvent::NonClientAreaMouseButtonPress:
        case QEvent::NonClientAreaMouseButtonRelease:
        case QEvent::NonClientAreaMouseButtonDblClick:
        case QEvent::NonClientAreaMouseMove:
        case QEvent::Wheel:
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
        case QEvent::ShortcutOverride:
        case QEvent::Shortcut:
        case QEvent::InputMethod:
        case QEvent::ContextMenu:
        case QEvent::TouchBegin:
        case QEvent::TouchUpdate:
        case QEvent::TouchEnd:
        case QEvent::TouchCancel:
        case QEvent::TabletPress:
        case QEvent::TabletMove:
        case QEvent::TabletRelease:
        case QEvent::NativeGesture:
        case QEvent::Gesture:
        case QEvent::GestureOverride:
        case QEvent::DragEnter:
        case QEvent::DragMove:
        case QEvent::Drop:
            e->ignore();
            return true;
        case QEvent::Close:
            // The window's close button (a close requested by the program
            // itself is not spontaneous): the wait ends, and the event goes
            // on to the window, which closes.
            if (e->spontaneous() && m_onClose)
                m_onClose();
            break;
        default:
            break;
        }
        return QObject::eventFilter(watched, e);
    }

private:
    std::function<void()> m_onClose;
};

Downloader::Result failure(const QString& error,
                           Downloader::Failure kind = Downloader::Failure::Download) {
    return {false, error, kind};
}

// The new file's name: hidden, beside the local file, not yet taken.
QString temporaryName(const QFileInfo& target) {
    return target.absolutePath() + QStringLiteral("/.") + target.fileName() +
           QStringLiteral(".%1").arg(QRandomGenerator::global()->generate(), 8, 16,
                                     QLatin1Char('0'));
}

Downloader::Result fetch(const QUrl& url, const QString& localPath,
                         std::chrono::milliseconds deadline, qint64 maxBytes) {
    if (!QCoreApplication::instance())
        return failure(QStringLiteral("下载失败：程序没有事件循环"));
    if (!url.isValid() || url.isRelative())
        return failure(QStringLiteral("下载失败：网址无效 ") + url.toString());

    QNetworkAccessManager nam;
    nam.setRedirectPolicy(QNetworkRequest::NoLessSafeRedirectPolicy);
    QNetworkRequest request(url);
    request.setMaximumRedirectsAllowed(QtDownloader::kMaxRedirects);
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute,
                         QNetworkRequest::AlwaysNetwork);
    const std::unique_ptr<QNetworkReply> reply(nam.get(request));
    // Qt Network reads ahead of the program only this far: a server that
    // sends faster than the program takes the data cannot fill the memory.
    constexpr qint64 kReadAhead = 64 * 1024;
    reply->setReadBufferSize(kReadAhead);

    enum class End { None, TimedOut, TooLarge, NoMemory, Closed };
    End end = End::None;
    QByteArray body;
    const auto stop = [&](End why) {
        if (end == End::None)
            end = why;
        if (!reply->isFinished())
            reply->abort();
    };
    // The timer alone is not enough: data that arrives without a pause can
    // keep the event loop from ever reaching it, so every piece of data looks
    // at the clock too.
    const QDeadlineTimer due(deadline);
    QTimer timer;
    timer.setSingleShot(true);
    timer.setTimerType(Qt::PreciseTimer);
    QObject::connect(&timer, &QTimer::timeout, reply.get(), [&] { stop(End::TimedOut); });
    QObject::connect(reply.get(), &QNetworkReply::metaDataChanged, reply.get(), [&] {
        const QVariant length = reply->header(QNetworkRequest::ContentLengthHeader);
        if (length.isValid() && length.toLongLong() > maxBytes)
            stop(End::TooLarge);
    });
    QObject::connect(reply.get(), &QNetworkReply::readyRead, reply.get(), [&] {
        // Runs inside the event loop: nothing may be thrown out of here.
        if (due.hasExpired())
            return stop(End::TimedOut);
        try {
            body += reply->read(std::min(reply->bytesAvailable(), maxBytes + 1 - body.size()));
        } catch (...) {
            return stop(End::NoMemory);
        }
        if (body.size() > maxBytes)
            stop(End::TooLarge);
    });
    QEventLoop loop;
    QObject::connect(reply.get(), &QNetworkReply::finished, &loop, &QEventLoop::quit);

    {
        const InputDiscarder discarder([&] { stop(End::Closed); });
        timer.start(deadline);
        if (!reply->isFinished())
            loop.exec(QEventLoop::AllEvents);
        timer.stop();
        // Input that reached the program during the last moments of the
        // wait is discarded too, not handed to the window afterwards.
        QCoreApplication::processEvents(QEventLoop::AllEvents);
    }

    if (end == End::Closed || !reply->isFinished()) {
        // The window was closed, or the event loop was told to end (the
        // program is quitting).
        reply->abort();
        return failure(QStringLiteral("下载被中断"), Downloader::Failure::Interrupted);
    }
    if (end == End::NoMemory)
        return failure(QStringLiteral("下载失败：内存不足"));
    if (end == End::TooLarge)
        return failure(QStringLiteral("下载失败：文件超过 %1 字节").arg(maxBytes));
    if (end == End::TimedOut)
        return failure(QStringLiteral("下载超时：%1 毫秒内没有完成")
                           .arg(static_cast<qlonglong>(deadline.count())));
    if (reply->error() != QNetworkReply::NoError)
        return failure(reply->errorString());
    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (status.isValid() && (status.toInt() < 200 || status.toInt() > 299))
        return failure(
            QStringLiteral("服务器回答 HTTP %1 %2")
                .arg(QString::number(status.toInt()),
                     reply->attribute(QNetworkRequest::HttpReasonPhraseAttribute).toString()));
    body += reply->read(std::min(reply->bytesAvailable(), maxBytes + 1 - body.size()));
    if (body.size() > maxBytes || !reply->atEnd())
        return failure(QStringLiteral("下载失败：文件超过 %1 字节").arg(maxBytes));

    QString error;
    if (!replaceFile(localPath, body, &error))
        return failure(error, Downloader::Failure::LocalFile);
    return {true, {}};
}

} // namespace

bool replaceFile(const QString& path, const QByteArray& data, QString* error) {
    const QFileInfo target(path);
    const auto fail = [&](const QString& reason) {
        if (error)
            *error = QStringLiteral("路径/文件访问错误：无法写入 %1：%2").arg(path, reason);
        return false;
    };
    // NewOnly: a name that exists already, a link among them, is never
    // opened. A taken name is tried again with another; any other reason (a
    // folder that cannot be written) is final.
    QFile out;
    for (int attempt = 0;; ++attempt) {
        out.setFileName(temporaryName(target));
        if (out.open(QIODevice::WriteOnly | QIODevice::NewOnly))
            break;
        const QFileInfo taken(out.fileName());
        if (attempt == 9 || !(taken.exists() || taken.isSymLink()))
            return fail(out.errorString());
    }
    const bool written = out.write(data) == data.size() && out.flush();
    QString reason = out.errorString();
    out.close();
    if (!written || out.error() != QFileDevice::NoError) {
        if (written)
            reason = out.errorString();
        out.remove();
        return fail(reason);
    }
    // rename() replaces the directory entry itself, whatever it is; a link
    // there is not followed.
    if (std::rename(QFile::encodeName(out.fileName()).constData(),
                    QFile::encodeName(path).constData()) != 0) {
        reason = QString::fromLocal8Bit(std::strerror(errno));
        out.remove();
        return fail(reason);
    }
    return true;
}

Downloader::Result QtDownloader::download(const QUrl& url, const QString& localPath) {
    try {
        return fetch(url, localPath, m_deadline, m_maxBytes);
    } catch (const std::bad_alloc&) {
        return failure(QStringLiteral("下载失败：内存不足"));
    } catch (const std::exception& e) {
        return failure(QStringLiteral("下载失败：") + QString::fromLocal8Bit(e.what()));
    } catch (...) {
        return failure(QStringLiteral("下载失败"));
    }
}

} // namespace zentraq::platform
