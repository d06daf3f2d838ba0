#pragma once

// A small HTTP/1.1 server on 127.0.0.1 for tests. It is served by the test's
// own thread: the downloader under test runs an event loop while it waits.

#include <QHash>
#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

namespace zentraq::testing {

class HttpResponder : public QTcpServer {
public:
    // status 0: the request is taken and never answered; dripMs > 0: the body
    // goes out one byte every dripMs milliseconds; endless: the body is
    // followed by spaces for as long as the client reads, as fast as it
    // reads; length: the Content-Length sent instead of the body's own (the
    // connection then stays open after the body).
    struct Answer {
        int status = 200;
        QByteArray body;
        int dripMs = 0;
        bool endless = false;
        QByteArray length = {};
    };
    QHash<QByteArray, Answer> answers; // by path; any other path gets a 404

    HttpResponder() {
        listen(QHostAddress::LocalHost, 0);
        connect(this, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* s = nextPendingConnection()) {
                s->setParent(this);
                connect(s, &QTcpSocket::readyRead, this, [this, s] { serve(s); });
            }
        });
    }

    QString baseUrl() const { return QStringLiteral("http://127.0.0.1:%1/").arg(serverPort()); }

    // A base address on 127.0.0.1 at which nothing listens.
    static QString closedUrl() {
        QTcpServer probe;
        probe.listen(QHostAddress::LocalHost, 0);
        return QStringLiteral("http://127.0.0.1:%1/").arg(probe.serverPort());
    }

private:
    void serve(QTcpSocket* s) {
        QByteArray& request = m_pending[s];
        request += s->readAll();
        if (!request.contains("\r\n\r\n"))
            return;
        const Answer a = answers.value(request.split(' ').value(1), {404, "not found"});
        m_pending.remove(s);
        if (a.status == 0)
            return;
        if (a.endless) {
            s->write("HTTP/1.1 " + QByteArray::number(a.status) +
                     " X\r\nConnection: close\r\n\r\n" + a.body);
            const auto topUp = [s] {
                while (s->bytesToWrite() < 1024 * 1024)
                    s->write(QByteArray(64 * 1024, ' '));
            };
            connect(s, &QTcpSocket::bytesWritten, s, topUp);
            topUp();
            return;
        }
        const QByteArray length = a.length.isEmpty() ? QByteArray::number(a.body.size()) : a.length;
        s->write("HTTP/1.1 " + QByteArray::number(a.status) + " X\r\nContent-Length: " + length +
                 "\r\nConnection: close\r\n\r\n");
        if (!a.length.isEmpty()) {
            s->write(a.body);
            return;
        }
        auto* drip = new QTimer(s);
        connect(drip, &QTimer::timeout, s, [s, drip, a, sent = qsizetype(0)]() mutable {
            if (a.dripMs == 0 || sent == a.body.size()) {
                s->write(a.body.mid(sent));
                drip->stop();
                s->disconnectFromHost();
            } else {
                s->write(a.body.mid(sent++, 1));
            }
        });
        drip->start(a.dripMs);
    }

    QHash<QTcpSocket*, QByteArray> m_pending;
};

} // namespace zentraq::testing
