// The real downloader against a real HTTP server on 127.0.0.1.
#include "http_responder.h"
#include "qt_downloader.h"

#include <QElapsedTimer>
#include <QFile>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

using namespace zentraq;
using namespace zentraq::testing;
using namespace std::chrono_literals;

Q_DECLARE_METATYPE(HttpAnswer)

namespace {

const QByteArray kPrevious = "PREVIOUS CONTENT";

HttpAnswer answer(int status, const QByteArray& body,
                  QList<std::pair<QByteArray, QByteArray>> headers = {}) {
    HttpAnswer a;
    a.status = status;
    a.body = body;
    a.headers = std::move(headers);
    return a;
}

HttpAnswer silent() {
    HttpAnswer a;
    a.mode = HttpAnswer::Mode::Silent;
    return a;
}

HttpAnswer drip(const QByteArray& body, int intervalMs) {
    HttpAnswer a = answer(200, body);
    a.mode = HttpAnswer::Mode::Drip;
    a.dripIntervalMs = intervalMs;
    return a;
}

// A widget that counts its repaints.
class PaintCounter : public QWidget {
public:
    int paints = 0;

protected:
    void paintEvent(QPaintEvent*) override { ++paints; }
};

} // namespace

class TestQtDownloader : public QObject {
    Q_OBJECT

private slots:
    void download_data();
    void download();
    void badTargets_data();
    void badTargets();
    void inputDiscardedWhileWaiting();
};

void TestQtDownloader::download_data() {
    QTest::addColumn<HttpAnswer>("v");    // the answer for /v.txt
    QTest::addColumn<bool>("portClosed"); // nothing listens at the address
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QByteArray>("saved"); // the local file's bytes on success

    const QByteArray binary("V1.3\0\xff\xfe\r\n", 9);
    QTest::newRow("200") << answer(200, "V1.3\r\n") << false << true << QByteArray("V1.3\r\n");
    QTest::newRow("200, bytes kept as sent") << answer(200, binary) << false << true << binary;
    QTest::newRow("200, empty body") << answer(200, "") << false << true << QByteArray();
    QTest::newRow("204 no content") << answer(204, "") << false << true << QByteArray();
    QTest::newRow("redirect followed") << answer(302, "", {{"Location", "/elsewhere/v.txt"}})
                                       << false << true << QByteArray("V9.9");
    QTest::newRow("redirect loop")
        << answer(302, "", {{"Location", "/v.txt"}}) << false << false << QByteArray();
    QTest::newRow("404") << answer(404, "V1.3") << false << false << QByteArray();
    QTest::newRow("500") << answer(500, "V1.3") << false << false << QByteArray();
    QTest::newRow("503") << answer(503, "V1.3") << false << false << QByteArray();
    QTest::newRow("never answers") << silent() << false << false << QByteArray();
    // Data keeps coming, but the whole download takes longer than the
    // deadline: the deadline is for the whole download, not for a pause.
    QTest::newRow("answer slower than the deadline")
        << drip("V1.3 and a long tail", 60) << false << false << QByteArray();
    QTest::newRow("closed port") << answer(200, "V1.3") << true << false << QByteArray();
}

void TestQtDownloader::download() {
    QFETCH(HttpAnswer, v);
    QFETCH(bool, portClosed);
    QFETCH(bool, ok);
    QFETCH(QByteArray, saved);

    HttpResponder server;
    QVERIFY(server.isListening());
    server.set("/v.txt", v);
    server.set("/elsewhere/v.txt", 200, "V9.9");

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString local = dir.filePath(QStringLiteral("v.txt"));
    {
        QFile f(local);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(kPrevious);
    }

    constexpr auto deadline = 400ms;
    platform::QtDownloader downloader(deadline);
    QElapsedTimer clock;
    clock.start();
    const QString base =
        portClosed ? QStringLiteral("http://127.0.0.1:%1/").arg(HttpResponder::closedPort())
                   : server.baseUrl();
    const auto result = downloader.download(QUrl(base + QStringLiteral("v.txt")), local);
    const qint64 waited = clock.elapsed();

    QCOMPARE(result.ok, ok);
    QCOMPARE(result.error.isEmpty(), ok);
    QFile f(local);
    QVERIFY(f.open(QIODevice::ReadOnly));
    // On failure the local file is not touched.
    QCOMPARE(f.readAll(), ok ? saved : kPrevious);
    // The deadline ends the wait (loose bound: this is no speed test).
    QVERIFY2(waited < 5000, qPrintable(QString::number(waited)));
    // Nothing but the local file is left in the folder (no temporary file).
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{QStringLiteral("v.txt")});
}

void TestQtDownloader::badTargets_data() {
    QTest::addColumn<QString>("url");
    QTest::addColumn<QString>("localName"); // relative to a fresh folder

    QTest::newRow("relative address") << QStringLiteral("v.txt") << QStringLiteral("v.txt");
    QTest::newRow("invalid address")
        << QStringLiteral("http://[::1/v.txt") << QStringLiteral("v.txt");
    QTest::newRow("local folder missing") << QString() << QStringLiteral("no/such/folder/v.txt");
    QTest::newRow("local path is a folder") << QString() << QStringLiteral("folder");
}

void TestQtDownloader::badTargets() {
    QFETCH(QString, url);
    QFETCH(QString, localName);
    HttpResponder server;
    server.set("/v.txt", 200, "V1.3");
    if (url.isEmpty())
        url = server.baseUrl() + QStringLiteral("v.txt");
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("folder")));
    platform::QtDownloader downloader(2s);
    const auto result = downloader.download(QUrl(url), dir.filePath(localName));
    QVERIFY(!result.ok);
    QVERIFY(!result.error.isEmpty());
    QVERIFY(QFileInfo(dir.filePath(QStringLiteral("folder"))).isDir());
}

void TestQtDownloader::inputDiscardedWhileWaiting() {
    HttpResponder server;
    server.set("/v.txt", drip("V1.3", 100)); // about half a second
    QTemporaryDir dir;
    QVERIFY(dir.isValid());

    QWidget window;
    QPushButton button(QStringLiteral("首页"), &window);
    PaintCounter canvas;
    canvas.setParent(&window);
    canvas.setGeometry(0, 40, 50, 50);
    window.resize(200, 100);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    int clicks = 0;
    connect(&button, &QPushButton::clicked, this, [&] { ++clicks; });

    int paintsBefore = 0;
    bool timerRan = false;
    QTimer::singleShot(150, this, [&] {
        timerRan = true;
        QTest::mouseClick(&button, Qt::LeftButton);
        button.setFocus();
        QTest::keyClick(&button, Qt::Key_Space);
        paintsBefore = canvas.paints;
        canvas.update();
    });
    platform::QtDownloader downloader;
    const auto result = downloader.download(QUrl(server.baseUrl() + QStringLiteral("v.txt")),
                                            dir.filePath(QStringLiteral("v.txt")));
    QVERIFY2(result.ok, qPrintable(result.error));
    QVERIFY(timerRan);                     // timers run during the wait
    QVERIFY(canvas.paints > paintsBefore); // and the window is repainted
    QTest::qWait(100);                     // nothing is replayed afterwards
    QCOMPARE(clicks, 0);

    // Outside the wait the same click works.
    QTest::mouseClick(&button, Qt::LeftButton);
    QCOMPARE(clicks, 1);
}

QTEST_MAIN(TestQtDownloader)
#include "test_qt_downloader.moc"
