#include "qt_downloader.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEvent>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QRandomGenerator>
#include <QSslSocket>
#include <QTcpSocket>
#include <QTimer>
#include <QUrl>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <functional>
#include <memory>
#include <new>
#include <utility>
#include <vector>

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

// One GET over HTTP/1.1, or HTTP/1.1 over TLS, in the calling thread: the
// connection is this thread's own, so closing it ends every read at once,
// whatever the server is sending. The status line and the header lines (with
// those of interim answers, redirects and the trailer of a chunked body) may
// take kMaxHeaderBytes in all, a chunk-size line kMaxLineBytes, the body
// `maxBody`. Redirects are followed as the downloader's contract says.
class HttpGet {
public:
    static constexpr qint64 kMaxHeaderBytes = 64 * 1024;
    static constexpr qint64 kMaxLineBytes = 1024;

    enum class Outcome { Running, Done, TooLarge, TimedOut, Failed };

    HttpGet(qint64 maxBody, QDeadlineTimer due, std::function<void()> onEnd)
        : m_maxBody(maxBody), m_due(due), m_onEnd(std::move(onEnd)) {}
    ~HttpGet() { close(); }
    HttpGet(const HttpGet&) = delete;
    HttpGet& operator=(const HttpGet&) = delete;

    void start(const QUrl& url) { connectTo(url); }

    // Closes the connection: nothing more is read. The outcome stays
    // Running when the answer was not complete.
    void close() {
        if (m_socket) {
            QObject::disconnect(m_socket.get(), nullptr, nullptr, nullptr);
            m_socket->abort();
            // Kept to the end: this may run inside one of its signals.
            m_closed.push_back(std::move(m_socket));
        }
    }

    Outcome outcome() const { return m_outcome; }
    const QString& error() const { return m_error; }
    QByteArray& body() { return m_body; }

    // Data the socket has received and not yet taken, consumed now. The
    // timer that ends the download at its deadline may not run while data
    // keeps coming, so each piece looks at the clock too.
    void readAvailable() {
        if (m_socket && m_outcome == Outcome::Running) {
            if (m_due.hasExpired())
                return end(Outcome::TimedOut);
            QTcpSocket* const source = m_socket.get();
            take(source, source->readAll());
        }
    }

private:
    enum class Stage { Head, Body, UntilClose, ChunkSize, ChunkData, ChunkEnd, Trailer };

    void end(Outcome outcome, const QString& error = {}) {
        if (m_outcome != Outcome::Running)
            return;
        m_outcome = outcome;
        m_error = error;
        close();
        if (m_onEnd)
            m_onEnd();
    }

    void connectTo(const QUrl& url) {
        close();
        const QString scheme = url.scheme().toLower();
        if ((scheme != QLatin1String("http") && scheme != QLatin1String("https")) ||
            url.host().isEmpty())
            return end(Outcome::Failed, QStringLiteral("下载失败：网址无效 ") + url.toString());
        const bool tls = scheme == QLatin1String("https");
        if (tls && !QSslSocket::supportsSsl())
            return end(Outcome::Failed, QStringLiteral("下载失败：不支持 HTTPS"));
        m_url = url;
        m_stage = Stage::Head;
        m_line.clear();
        m_status = 0;
        m_headers.clear();
        m_body.clear();
        m_socket.reset(tls ? new QSslSocket : new QTcpSocket);
        // The socket takes no more from the system than this before the
        // data is handled.
        m_socket->setReadBufferSize(64 * 1024);
        QTcpSocket* socket = m_socket.get();
        QObject::connect(socket, &QTcpSocket::readyRead, socket, [this] { readAvailable(); });
        QObject::connect(socket, &QAbstractSocket::disconnected, socket,
                         [this] { closedByServer(); });
        QObject::connect(socket, &QAbstractSocket::errorOccurred, socket,
                         [this, socket](QAbstractSocket::SocketError e) {
                             if (e == QAbstractSocket::RemoteHostClosedError)
                                 return closedByServer();
                             end(Outcome::Failed, socket->errorString());
                         });
        const quint16 port = quint16(url.port(tls ? 443 : 80));
        const auto send = [this, url] { sendRequest(url); };
        if (tls) {
            auto* secure = static_cast<QSslSocket*>(socket);
            QObject::connect(secure, &QSslSocket::encrypted, secure, send);
            secure->connectToHostEncrypted(url.host(), port);
        } else {
            QObject::connect(socket, &QAbstractSocket::connected, socket, send);
            socket->connectToHost(url.host(), port);
        }
    }

    void sendRequest(const QUrl& url) {
        QByteArray target = url.path(QUrl::FullyEncoded).toLatin1();
        if (target.isEmpty())
            target = "/";
        if (url.hasQuery())
            target += '?' + url.query(QUrl::FullyEncoded).toLatin1();
        QByteArray host = url.host(QUrl::FullyEncoded).toLatin1();
        if (host.contains(':'))
            host = '[' + host + ']';
        if (url.port() != -1)
            host += ':' + QByteArray::number(url.port());
        m_socket->write("GET " + target + " HTTP/1.1\r\nHost: " + host +
                        "\r\nUser-Agent: Mozilla/5.0\r\nAccept: */*\r\nConnection: close\r\n\r\n");
    }

    void closedByServer() {
        if (m_outcome != Outcome::Running)
            return;
        readAvailable();
        if (m_outcome != Outcome::Running)
            return;
        if (m_stage == Stage::UntilClose)
            return end(Outcome::Done);
        end(Outcome::Failed, QStringLiteral("下载失败：服务器在回答完整之前关闭了连接"));
    }

    // Takes one line into m_line, up to its LF; false when the data ends
    // first. `budget` is what the line may still take; beyond it, the
    // download fails for `what` exceeding `limit` bytes.
    bool takeLine(const char*& p, const char* e, qint64 budget, const QString& what, qint64 limit) {
        while (p < e) {
            const char c = *p++;
            if (c == '\n') {
                if (m_line.endsWith('\r'))
                    m_line.chop(1);
                return true;
            }
            m_line += c;
            if (m_line.size() > budget) {
                end(Outcome::Failed,
                    QStringLiteral("下载失败：%1超过 %2 字节").arg(what).arg(limit));
                return false;
            }
        }
        return false;
    }

    // Data from `source`: handled while it is the connection (a redirect
    // opens another).
    void take(QTcpSocket* source, const QByteArray& data) {
        const char* p = data.constData();
        const char* const e = p + data.size();
        while (p < e && m_outcome == Outcome::Running && m_socket.get() == source) {
            switch (m_stage) {
            case Stage::Head:
            case Stage::Trailer: {
                if (!takeLine(p, e, kMaxHeaderBytes - m_headerBytes, QStringLiteral("回答头"),
                              kMaxHeaderBytes))
                    break;
                const QByteArray line = std::exchange(m_line, {});
                m_headerBytes += line.size() + 2;
                if (!line.isEmpty()) {
                    headerLine(line);
                } else if (m_stage == Stage::Trailer) {
                    end(Outcome::Done);
                } else if (m_status != 0) {
                    headEnded();
                }
                break;
            }
            case Stage::ChunkSize: {
                if (!takeLine(p, e, kMaxLineBytes, QStringLiteral("分块长度行"), kMaxLineBytes))
                    break;
                bool ok = false;
                const QByteArray size = std::exchange(m_line, {}).split(';').first().trimmed();
                m_left = size.size() <= 15 ? size.toLongLong(&ok, 16) : -1;
                if (!ok || m_left < 0)
                    return end(Outcome::Failed, QStringLiteral("下载失败：分块长度无效"));
                m_stage = m_left == 0 ? Stage::Trailer : Stage::ChunkData;
                break;
            }
            case Stage::ChunkEnd:
                if (!takeLine(p, e, 2, QStringLiteral("分块结尾"), 2))
                    break;
                if (!std::exchange(m_line, {}).isEmpty())
                    return end(Outcome::Failed, QStringLiteral("下载失败：分块格式无效"));
                m_stage = Stage::ChunkSize;
                break;
            case Stage::Body:
            case Stage::ChunkData:
            case Stage::UntilClose: {
                const qint64 n =
                    m_stage == Stage::UntilClose ? e - p : std::min<qint64>(e - p, m_left);
                if (m_body.size() + n > m_maxBody)
                    return end(Outcome::TooLarge);
                m_body.append(p, n);
                p += n;
                if (m_stage == Stage::UntilClose)
                    break;
                m_left -= n;
                if (m_left == 0 && m_stage == Stage::Body)
                    return end(Outcome::Done);
                if (m_left == 0)
                    m_stage = Stage::ChunkEnd;
                break;
            }
            }
        }
    }

    void headerLine(const QByteArray& line) {
        if (m_stage == Stage::Trailer)
            return; // nothing in a trailer matters here
        if (m_status == 0) {
            // "HTTP/1.1 200 OK"
            const QList<QByteArray> parts = line.split(' ');
            bool ok = false;
            const int status = parts.size() >= 2 ? parts[1].toInt(&ok) : 0;
            if (!line.startsWith("HTTP/1.") || !ok || status < 100 || status > 999)
                return end(Outcome::Failed, QStringLiteral("下载失败：服务器的回答不是 HTTP/1.1"));
            m_status = status;
            m_reason = QString::fromLatin1(line.mid(parts[0].size() + parts[1].size() + 2));
            return;
        }
        const qsizetype colon = line.indexOf(':');
        if (colon > 0)
            m_headers.insert(line.left(colon).trimmed().toLower(), line.mid(colon + 1).trimmed());
    }

    // The status line and the header lines are in.
    void headEnded() {
        const int status = std::exchange(m_status, 0);
        const QHash<QByteArray, QByteArray> headers = std::exchange(m_headers, {});
        if (status < 200) // an interim answer; the real one follows
            return;
        const QByteArray location = headers.value("location");
        if ((status == 301 || status == 302 || status == 303 || status == 307 || status == 308) &&
            !location.isEmpty())
            return redirect(m_url.resolved(QUrl::fromEncoded(location)));
        if (status > 299)
            return end(
                Outcome::Failed,
                QStringLiteral("服务器回答 HTTP %1 %2").arg(QString::number(status), m_reason));
        if (headers.value("transfer-encoding").toLower().contains("chunked")) {
            m_stage = Stage::ChunkSize;
            return;
        }
        if (!headers.contains("content-length")) {
            m_stage = Stage::UntilClose;
            return;
        }
        const QByteArray length = headers.value("content-length");
        if (length.isEmpty() ||
            !std::all_of(length.begin(), length.end(), [](char c) { return c >= '0' && c <= '9'; }))
            return end(Outcome::Failed, QStringLiteral("下载失败：Content-Length 无效"));
        bool ok = false;
        m_left = length.toLongLong(&ok);
        if (!ok) // beyond 64 bits
            return end(Outcome::TooLarge);
        if (m_left > m_maxBody)
            return end(Outcome::TooLarge);
        m_stage = Stage::Body;
        if (m_left == 0)
            end(Outcome::Done);
    }

    void redirect(const QUrl& next) {
        const QString scheme = next.scheme().toLower();
        if (++m_redirects > QtDownloader::kMaxRedirects)
            return end(Outcome::Failed, QStringLiteral("下载失败：重定向太多"));
        if (m_url.scheme().toLower() == QLatin1String("https") && scheme != QLatin1String("https"))
            return end(Outcome::Failed,
                       QStringLiteral("下载失败：不从 HTTPS 重定向到 ") + next.toString());
        connectTo(next);
    }

    qint64 m_maxBody;
    QDeadlineTimer m_due;
    std::function<void()> m_onEnd;
    std::unique_ptr<QTcpSocket> m_socket;
    std::vector<std::unique_ptr<QTcpSocket>> m_closed;
    QUrl m_url;
    Outcome m_outcome = Outcome::Running;
    QString m_error;
    Stage m_stage = Stage::Head;
    QByteArray m_line;
    qint64 m_headerBytes = 0;
    int m_status = 0;
    QString m_reason;
    QHash<QByteArray, QByteArray> m_headers;
    qint64 m_left = 0;
    QByteArray m_body;
    int m_redirects = 0;
};

Downloader::Result fetch(const QUrl& url, const QString& localPath,
                         std::chrono::milliseconds deadline, qint64 maxBytes) {
    if (!QCoreApplication::instance())
        return failure(QStringLiteral("下载失败：程序没有事件循环"));
    if (!url.isValid() || url.isRelative())
        return failure(QStringLiteral("下载失败：网址无效 ") + url.toString());

    const QDeadlineTimer due(deadline);
    QEventLoop loop;
    HttpGet get(maxBytes, due, [&loop] { loop.quit(); });
    enum class End { None, TimedOut, Closed };
    End end = End::None;
    const auto stop = [&](End why) {
        if (end == End::None)
            end = why;
        get.close();
        loop.quit();
    };
    QTimer timer;
    timer.setSingleShot(true);
    timer.setTimerType(Qt::PreciseTimer);
    QObject::connect(&timer, &QTimer::timeout, &loop, [&] { stop(End::TimedOut); });
    {
        const InputDiscarder discarder([&] { stop(End::Closed); });
        timer.start(deadline);
        get.start(url);
        if (get.outcome() == HttpGet::Outcome::Running)
            loop.exec(QEventLoop::AllEvents);
        timer.stop();
        // Input that reached the program during the last moments of the
        // wait is discarded too, not handed to the window afterwards.
        QCoreApplication::processEvents(QEventLoop::AllEvents);
    }
    get.close();
    const HttpGet::Outcome outcome = get.outcome();
    if (end == End::Closed || (end == End::None && outcome == HttpGet::Outcome::Running))
        // The window was closed, or the event loop was told to end (the
        // program is quitting).
        return failure(QStringLiteral("下载被中断"), Downloader::Failure::Interrupted);
    if (outcome == HttpGet::Outcome::TimedOut ||
        (end == End::TimedOut && outcome != HttpGet::Outcome::Done))
        return failure(QStringLiteral("下载超时：%1 毫秒内没有完成")
                           .arg(static_cast<qlonglong>(deadline.count())));
    if (outcome == HttpGet::Outcome::TooLarge)
        return failure(QStringLiteral("下载失败：文件超过 %1 字节").arg(maxBytes));
    if (outcome == HttpGet::Outcome::Failed)
        return failure(get.error());
    const QByteArray body = std::move(get.body());

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
