#pragma once

// A small HTTP/1.1 server on 127.0.0.1 for tests. It is served by the test's
// own thread: the downloader under test runs an event loop while it waits.

#include <QHash>
#include <QHostAddress>
#include <QSet>
#include <QSslCertificate>
#include <QSslKey>
#include <QSslSocket>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

namespace zentraq::testing {

class HttpResponder : public QTcpServer {
public:
    // status 0: the request is taken and never answered; dripMs > 0: the body
    // goes out one byte every dripMs milliseconds; endless: the body is
    // followed by spaces for as long as the client reads, as fast as it
    // reads; endlessHeaders: after the status line, header lines without
    // end, as fast as the client reads, or one every dripMs milliseconds;
    // length: the Content-Length sent
    // instead of the body's own (the connection then stays open after the
    // body).
    struct Answer {
        int status = 200;
        QByteArray body;
        int dripMs = 0;
        bool endless = false;
        QByteArray length = {};
        bool endlessHeaders = false;
        QByteArray raw = {}; // when set: the whole answer as it is, then the end
    };
    QHash<QByteArray, Answer> answers; // by path; any other path gets a 404

    HttpResponder() {
        listen(QHostAddress::LocalHost, 0);
        connect(this, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* s = nextPendingConnection()) {
                s->setParent(this);
                connect(s, &QTcpSocket::readyRead, this, [this, s] { serve(s); });
                // The client closed or reset the connection.
                const auto ended = [this, s] { m_ended.insert(s); };
                connect(s, &QTcpSocket::disconnected, this, ended);
                connect(s, &QTcpSocket::errorOccurred, this, ended);
            }
        });
    }

    // Connections the client has closed or reset.
    qsizetype endedConnections() const { return m_ended.size(); }

    // Serves over TLS from now on, with this certificate and key.
    void useTls(const QSslCertificate& certificate, const QSslKey& key) {
        m_certificate = certificate;
        m_key = key;
    }

    QString baseUrl() const {
        return QStringLiteral("%1://127.0.0.1:%2/")
            .arg(m_certificate.isNull() ? QStringLiteral("http") : QStringLiteral("https"))
            .arg(serverPort());
    }

    // A base address on 127.0.0.1 at which nothing listens.
    static QString closedUrl() {
        QTcpServer probe;
        probe.listen(QHostAddress::LocalHost, 0);
        return QStringLiteral("http://127.0.0.1:%1/").arg(probe.serverPort());
    }

protected:
    void incomingConnection(qintptr descriptor) override {
        if (m_certificate.isNull())
            return QTcpServer::incomingConnection(descriptor);
        auto* s = new QSslSocket(this);
        s->setSocketDescriptor(descriptor);
        s->setLocalCertificate(m_certificate);
        s->setPrivateKey(m_key);
        s->startServerEncryption();
        addPendingConnection(s);
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
        if (!a.raw.isEmpty()) {
            s->write(a.raw);
            s->disconnectFromHost();
            return;
        }
        if (a.endlessHeaders && a.dripMs > 0) {
            s->write("HTTP/1.1 " + QByteArray::number(a.status) + " X\r\n");
            auto* drip = new QTimer(s);
            connect(drip, &QTimer::timeout, s, [s] { s->write("X-Line: x\r\n"); });
            drip->start(a.dripMs);
            return;
        }
        if (a.endlessHeaders) {
            s->write("HTTP/1.1 " + QByteArray::number(a.status) + " X\r\n");
            const auto topUp = [s] {
                while (s->state() == QAbstractSocket::ConnectedState &&
                       s->bytesToWrite() < 1024 * 1024)
                    s->write("X-Line: " + QByteArray(100, 'x') + "\r\n");
            };
            connect(s, &QTcpSocket::bytesWritten, s, topUp);
            topUp();
            return;
        }
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
    QSet<QTcpSocket*> m_ended;
    QSslCertificate m_certificate;
    QSslKey m_key;
};

} // namespace zentraq::testing
