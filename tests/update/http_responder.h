#pragma once

// A small HTTP/1.1 server for tests, listening on 127.0.0.1 in the test's own
// thread. It answers GET requests from a table of paths; the downloader under
// test runs an event loop while it waits, so the server is served meanwhile.

#include <QByteArray>
#include <QHash>
#include <QHostAddress>
#include <QList>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <QUrl>

#include <memory>
#include <utility>

namespace zentraq::testing {

struct HttpAnswer {
    enum class Mode {
        Complete, // status line, headers and body at once
        Silent,   // accepts the request and never answers
        Drip,     // headers, then the body one byte per dripIntervalMs
    };
    int status = 200;
    QByteArray body;
    QList<std::pair<QByteArray, QByteArray>> headers;
    Mode mode = Mode::Complete;
    int dripIntervalMs = 50;
};

class HttpResponder : public QTcpServer {
public:
    HttpResponder() {
        listen(QHostAddress::LocalHost, 0);
        connect(this, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* s = nextPendingConnection())
                accept(s);
        });
    }

    // The server's root, ending with "/".
    QString baseUrl() const { return QStringLiteral("http://127.0.0.1:%1/").arg(serverPort()); }

    void set(const QByteArray& path, HttpAnswer answer) { m_answers.insert(path, answer); }
    void set(const QByteArray& path, int status, const QByteArray& body) {
        HttpAnswer a;
        a.status = status;
        a.body = body;
        m_answers.insert(path, a);
    }

    // The paths requested so far, in order.
    const QList<QByteArray>& requests() const { return m_requests; }

    // A port on 127.0.0.1 on which nothing listens.
    static quint16 closedPort() {
        QTcpServer probe;
        probe.listen(QHostAddress::LocalHost, 0);
        const quint16 port = probe.serverPort();
        probe.close();
        return port;
    }

private:
    void accept(QTcpSocket* s) {
        s->setParent(this);
        connect(s, &QTcpSocket::readyRead, this, [this, s] {
            QByteArray& buf = m_pending[s];
            buf += s->readAll();
            const qsizetype headEnd = buf.indexOf("\r\n\r\n");
            if (headEnd < 0)
                return;
            const QList<QByteArray> requestLine = buf.left(buf.indexOf("\r\n")).split(' ');
            m_pending.remove(s);
            const QByteArray path = requestLine.size() >= 2 ? requestLine[1] : QByteArray("/");
            m_requests.append(path);
            answer(s, m_answers.value(path, notFound()));
        });
        connect(s, &QTcpSocket::disconnected, s, &QObject::deleteLater);
    }

    static HttpAnswer notFound() {
        HttpAnswer a;
        a.status = 404;
        a.body = "not found";
        return a;
    }

    void answer(QTcpSocket* s, const HttpAnswer& a) {
        if (a.mode == HttpAnswer::Mode::Silent)
            return; // keeps the connection open and says nothing
        QByteArray head = "HTTP/1.1 " + QByteArray::number(a.status) + " Status" +
                          "\r\nContent-Length: " + QByteArray::number(a.body.size()) +
                          "\r\nConnection: close\r\n";
        for (const auto& [name, value] : a.headers)
            head += name + ": " + value + "\r\n";
        head += "\r\n";
        if (a.mode == HttpAnswer::Mode::Complete) {
            s->write(head + a.body);
            s->disconnectFromHost();
            return;
        }
        s->write(head);
        auto* drip = new QTimer(s);
        auto sent = std::make_shared<qsizetype>(0);
        connect(drip, &QTimer::timeout, s, [s, drip, sent, body = a.body] {
            if (*sent >= body.size()) {
                drip->stop();
                s->disconnectFromHost();
                return;
            }
            s->write(body.mid((*sent)++, 1));
        });
        drip->start(a.dripIntervalMs);
    }

    QHash<QByteArray, HttpAnswer> m_answers;
    QHash<QTcpSocket*, QByteArray> m_pending;
    QList<QByteArray> m_requests;
};

} // namespace zentraq::testing
