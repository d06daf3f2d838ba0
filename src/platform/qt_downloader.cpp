#include "qt_downloader.h"

#include <QCoreApplication>
#include <QEvent>
#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QSaveFile>
#include <QTimer>

#include <exception>
#include <memory>
#include <new>

namespace zentraq::platform {

namespace {

// Swallows user input for every object of the program while installed.
class InputDiscarder : public QObject {
public:
    InputDiscarder() {
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
            // The window's close button; a close requested by the program
            // itself is not spontaneous and goes through.
            if (e->spontaneous()) {
                e->ignore();
                return true;
            }
            break;
        default:
            break;
        }
        return QObject::eventFilter(watched, e);
    }
};

Downloader::Result failure(const QString& error) {
    return {false, error};
}

Downloader::Result fetch(const QUrl& url, const QString& localPath,
                         std::chrono::milliseconds deadline) {
    if (!QCoreApplication::instance())
        return failure(QStringLiteral("下载失败：程序没有事件循环"));
    if (!url.isValid() || url.isRelative())
        return failure(QStringLiteral("下载失败：网址无效 %1").arg(url.toString()));

    // The data goes to a temporary file that replaces the local file only
    // when everything has arrived.
    QSaveFile out(localPath);
    if (!out.open(QIODevice::WriteOnly))
        return failure(QStringLiteral("无法写入 %1：%2").arg(localPath, out.errorString()));

    QNetworkAccessManager nam;
    nam.setRedirectPolicy(QNetworkRequest::NoLessSafeRedirectPolicy);
    QNetworkRequest request(url);
    request.setMaximumRedirectsAllowed(QtDownloader::kMaxRedirects);
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute,
                         QNetworkRequest::AlwaysNetwork);
    const std::unique_ptr<QNetworkReply> reply(nam.get(request));

    bool timedOut = false;
    bool writeFailed = false;
    QEventLoop loop;
    QTimer timer;
    timer.setSingleShot(true);
    timer.setTimerType(Qt::PreciseTimer);
    QObject::connect(&timer, &QTimer::timeout, reply.get(), [&] {
        timedOut = true;
        reply->abort();
    });
    QObject::connect(reply.get(), &QNetworkReply::readyRead, reply.get(), [&] {
        // Runs inside the event loop: nothing may be thrown out of here.
        try {
            const QByteArray chunk = reply->readAll();
            if (!writeFailed && out.write(chunk) != chunk.size())
                writeFailed = true;
        } catch (...) {
            writeFailed = true;
        }
        if (writeFailed)
            reply->abort();
    });
    QObject::connect(reply.get(), &QNetworkReply::finished, &loop, &QEventLoop::quit);

    {
        const InputDiscarder discarder;
        timer.start(deadline);
        if (!reply->isFinished())
            loop.exec(QEventLoop::AllEvents);
        timer.stop();
        // Input that reached the program during the last moments of the
        // wait is discarded too, not handed to the window afterwards.
        QCoreApplication::processEvents(QEventLoop::AllEvents);
    }

    if (!reply->isFinished()) {
        // The event loop was told to end (the program is quitting).
        reply->abort();
        return failure(QStringLiteral("下载被中断"));
    }
    if (timedOut)
        return failure(QStringLiteral("下载超时：%1 毫秒内没有完成")
                           .arg(static_cast<qlonglong>(deadline.count())));
    if (writeFailed)
        return failure(QStringLiteral("无法写入 %1：%2").arg(localPath, out.errorString()));
    if (reply->error() != QNetworkReply::NoError)
        return failure(reply->errorString());
    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (status.isValid() && (status.toInt() < 200 || status.toInt() > 299))
        return failure(
            QStringLiteral("服务器回答 HTTP %1 %2")
                .arg(status.toInt())
                .arg(reply->attribute(QNetworkRequest::HttpReasonPhraseAttribute).toString()));
    const QByteArray rest = reply->readAll();
    if (out.write(rest) != rest.size() || !out.commit())
        return failure(QStringLiteral("无法写入 %1：%2").arg(localPath, out.errorString()));
    return {true, {}};
}

} // namespace

Downloader::Result QtDownloader::download(const QUrl& url, const QString& localPath) {
    try {
        return fetch(url, localPath, m_deadline);
    } catch (const std::bad_alloc&) {
        return failure(QStringLiteral("下载失败：内存不足"));
    } catch (const std::exception& e) {
        return failure(QStringLiteral("下载失败：") + QString::fromLocal8Bit(e.what()));
    } catch (...) {
        return failure(QStringLiteral("下载失败"));
    }
}

} // namespace zentraq::platform
