// Time and memory of the version file download against hostile servers on
// 127.0.0.1: an endless body sent as fast as the loopback takes it, a
// Content-Length of 2 GiB, and header lines without end. The server runs on
// its own thread with blocking sockets, so it sends at full speed whatever
// the program does.
//
// Run: bench_download   (prints figures, checks nothing)

#include "qt_downloader.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QUrl>

#include <arpa/inet.h>
#include <atomic>
#include <cstdio>
#include <netinet/in.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

using namespace zentraq;
using namespace std::chrono_literals;

namespace {

// One connection at a time: reads the request, sends `head`, then, when
// `endless`, spaces until the client goes away.
class HostileServer {
public:
    HostileServer(QByteArray head, bool endless) : m_head(std::move(head)), m_endless(endless) {
        m_listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (::bind(m_listener, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
            ::listen(m_listener, 1) != 0 ||
            ::getsockname(m_listener, reinterpret_cast<sockaddr*>(&address), &length) != 0)
            std::perror("bench_download: server");
        m_port = ntohs(address.sin_port);
        m_thread = std::thread([this] { serve(); });
    }
    ~HostileServer() {
        ::shutdown(m_listener, SHUT_RDWR);
        ::close(m_listener);
        m_thread.join();
    }

    QString url() const { return QStringLiteral("http://127.0.0.1:%1/v.txt").arg(m_port); }
    long long sent() const { return m_sent; }

private:
    void serve() {
        const int client = ::accept(m_listener, nullptr, nullptr);
        if (client < 0)
            return;
        char request[4096];
        if (::recv(client, request, sizeof request, 0) > 0 &&
            ::send(client, m_head.constData(), m_head.size(), MSG_NOSIGNAL) > 0 && m_endless) {
            // Spaces of a body, or header lines when the head has not ended.
            QByteArray chunk(64 * 1024, ' ');
            if (!m_head.endsWith("\r\n\r\n"))
                for (qsizetype at = 0; at + 16 <= chunk.size(); at += 16)
                    chunk.replace(at, 16, "X-Line: 1234567\r\n");
            for (;;) {
                const ssize_t n = ::send(client, chunk.constData(), chunk.size(), MSG_NOSIGNAL);
                if (n <= 0)
                    break;
                m_sent += n;
            }
        }
        ::close(client);
    }

    QByteArray m_head;
    bool m_endless;
    int m_listener = -1;
    quint16 m_port = 0;
    std::atomic<long long> m_sent{0};
    std::thread m_thread;
};

// Peak resident memory of the process so far, in MiB.
double peakMiB() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (status.open(QIODevice::ReadOnly))
        for (const QByteArray& line : status.readAll().split('\n'))
            if (line.startsWith("VmHWM:"))
                return line.mid(6).trimmed().split(' ').value(0).toDouble() / 1024;
    return -1;
}

void run(const char* what, HostileServer& server, platform::QtDownloader& downloader) {
    QTemporaryDir folder;
    const double before = peakMiB();
    QElapsedTimer clock;
    clock.start();
    const auto result =
        downloader.download(QUrl(server.url()), folder.filePath(QStringLiteral("v.txt")));
    const qint64 ms = clock.elapsed();
    std::printf(
        "%-52s %6lld ms  sent %8.1f MiB  peak RSS %6.1f -> %6.1f MiB  files left %lld\n"
        "    %s\n",
        what, static_cast<long long>(ms), server.sent() / 1048576.0, before, peakMiB(),
        static_cast<long long>(
            QDir(folder.path()).entryList(QDir::Files | QDir::Hidden | QDir::System).size()),
        qPrintable(result.ok ? QStringLiteral("ok") : result.error));
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    const QByteArray plain = "HTTP/1.1 200 OK\r\nConnection: close\r\n\r\nV1.3\r\n";
    {
        HostileServer server(plain, true);
        platform::QtDownloader downloader;
        run("endless body, 1 MiB limit, 10 s deadline", server, downloader);
    }
    {
        HostileServer server("HTTP/1.1 200 OK\r\nContent-Length: 2147483648\r\n\r\nV1.3\r\n", true);
        platform::QtDownloader downloader;
        run("Content-Length 2 GiB, 1 MiB limit, 10 s deadline", server, downloader);
    }
    {
        HostileServer server("HTTP/1.1 200 OK\r\n", true);
        platform::QtDownloader downloader;
        run("endless header lines, 10 s deadline", server, downloader);
    }
    {
        // A limit far beyond what arrives: only the deadline can end it. The
        // data kept grows with what arrives; the rate shows the read-ahead.
        HostileServer server(plain, true);
        platform::QtDownloader downloader(500ms, qint64(1) << 40);
        run("endless body, no practical limit, 500 ms deadline", server, downloader);
    }
    return 0;
}
