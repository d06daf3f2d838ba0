// The version check against a real HTTP server on 127.0.0.1, with the real
// downloader and fakes for the message boxes, the browser and the program end.
#include "first_field.h"
#include "http_responder.h"
#include "qt_downloader.h"
#include "runtime_error.h"
#include "update_fakes.h"
#include "version_check.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace zentraq;
using namespace zentraq::testing;
using update::CheckOutcome;

Q_DECLARE_METATYPE(CheckOutcome)

namespace {

enum class Server { Answers, ClosedPort, NeverAnswers };

const QString kBase = QStringLiteral("%BASE%");
const QString kOld = QStringLiteral("OLD COPY");

QString box(const QString& text) { return QStringLiteral("box:") + text; }
QString newVersion(const QString& v) { return box(update::newVersionMessage(v)); }
QString openDownloadPage() { return QStringLiteral("open:") + kBase + QStringLiteral("down.htm"); }
const QString kExit = QStringLiteral("exit");

void writeFile(const QString& path, const QByteArray& content) {
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    QCOMPARE(f.write(content), content.size());
}

// The local copy's content, or a null string when there is none.
QString localCopy(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(f.readAll());
}

QString emptyFileDescription() {
    try {
        update::firstField("");
    } catch (const RuntimeError& e) {
        return e.description();
    }
    return {};
}

} // namespace

class TestVersionCheck : public QObject {
    Q_OBJECT

private slots:
    void messageTexts();
    void check_data();
    void check();
    void writeProtectedLocalCopy();
    void failedBrowserLaunch();
};

void TestVersionCheck::messageTexts() {
    // Two ASCII commas (after 失败 and 支持) and two full-width ones.
    const QString failed = QStringLiteral("版本连网检测失败") + QChar(0x2C) +
                           QStringLiteral("你使用的版本可能不是最新版本") + QChar(0xFF0C) +
                           QStringLiteral("请及时关注Zentraq最新版本") + QChar(0xFF0C) +
                           QStringLiteral("谢谢你的支持") + QChar(0x2C) +
                           QStringLiteral("请按确定键继续进入软件");
    QCOMPARE(update::kDownloadFailedMessage, failed);
    QCOMPARE(update::newVersionMessage(QStringLiteral("V1.2")),
             QStringLiteral("检测到新版本") + QChar(0x3A) + QStringLiteral("V1.2") + QChar(0x2C) +
                 QStringLiteral("点击确定进入新版本下载页面"));
    QCOMPARE(update::localVersionFile(QStringLiteral("/opt/zentraq")),
             QStringLiteral("/opt/zentraq/v.txt"));
    QCOMPARE(update::localVersionFile(QStringLiteral("/")), QStringLiteral("/v.txt"));
}

void TestVersionCheck::check_data() {
    QTest::addColumn<Server>("server");
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<bool>("oldLocalCopy");
    QTest::addColumn<QStringList>("events");
    QTest::addColumn<CheckOutcome>("outcome");
    QTest::addColumn<bool>("copyKept"); // the server's file is in the folder afterwards

    const QStringList none;
    const QStringList failed{box(update::kDownloadFailedMessage)};
    const auto ended = [](const QString& v) {
        return QStringList{newVersion(v), openDownloadPage(), kExit};
    };
    const auto same = CheckOutcome::SameVersion;
    const auto isNew = CheckOutcome::NewVersion;
    const auto dlFailed = CheckOutcome::DownloadFailed;
    const bool kept = true;
    const bool absent = false;

    QTest::newRow("same version") << Server::Answers << 200 << QByteArray("V1.3") << false << none
                                  << same << kept;
    QTest::newRow("same version, old local copy replaced")
        << Server::Answers << 200 << QByteArray("V1.3") << true << none << same << kept;
    QTest::newRow("spaces and a line end around it")
        << Server::Answers << 200 << QByteArray("   V1.3  \r\n") << false << none << same << kept;
    QTest::newRow("comma and more text") << Server::Answers << 200 << QByteArray("V1.3,extra")
                                         << false << none << same << kept;
    QTest::newRow("quoted field") << Server::Answers << 200 << QByteArray("\"V1.3\",2024-05-01")
                                  << false << none << same << kept;
    QTest::newRow("quoted field holding a comma")
        << Server::Answers << 200 << QByteArray("\"V1.3,beta\"\r\n") << false
        << ended(QStringLiteral("V1.3,beta")) << isNew << kept;
    QTest::newRow("older version") << Server::Answers << 200 << QByteArray("V1.2\r\n") << true
                                   << ended(QStringLiteral("V1.2")) << isNew << kept;
    QTest::newRow("lower-case v") << Server::Answers << 200 << QByteArray("v1.3") << false
                                  << ended(QStringLiteral("v1.3")) << isNew << kept;
    QTest::newRow("empty first line") << Server::Answers << 200 << QByteArray("\r\nV1.3") << false
                                      << ended(QString()) << isNew << kept;
    QTest::newRow("Chinese version text")
        << Server::Answers << 200 << QByteArray("V1.4\xb2\xe2\xca\xd4\xb0\xe6") << false
        << ended(QStringLiteral("V1.4测试版")) << isNew << kept;
    QTest::newRow("empty file") << Server::Answers << 200 << QByteArray() << true
                                << QStringList{box(emptyFileDescription())}
                                << CheckOutcome::Failed << kept;
    QTest::newRow("404") << Server::Answers << 404 << QByteArray("V1.3") << false << failed
                         << dlFailed << absent;
    QTest::newRow("404, old local copy deleted")
        << Server::Answers << 404 << QByteArray("V1.3") << true << failed << dlFailed << absent;
    QTest::newRow("500") << Server::Answers << 500 << QByteArray("V1.3") << false << failed
                         << dlFailed << absent;
    QTest::newRow("closed port, old local copy deleted")
        << Server::ClosedPort << 0 << QByteArray() << true << failed << dlFailed << absent;
    QTest::newRow("server never answers, old local copy deleted")
        << Server::NeverAnswers << 0 << QByteArray() << true << failed << dlFailed << absent;
}

void TestVersionCheck::check() {
    QFETCH(Server, server);
    QFETCH(int, status);
    QFETCH(QByteArray, body);
    QFETCH(bool, oldLocalCopy);
    QFETCH(QStringList, events);
    QFETCH(CheckOutcome, outcome);
    QFETCH(bool, copyKept);

    QTemporaryDir folder;
    QVERIFY(folder.isValid());
    const QString local = folder.filePath(QStringLiteral("v.txt"));
    if (oldLocalCopy)
        writeFile(local, kOld.toUtf8());

    HttpResponder responder;
    QVERIFY(responder.isListening());
    if (server == Server::NeverAnswers) {
        HttpAnswer silent;
        silent.mode = HttpAnswer::Mode::Silent;
        responder.set("/v.txt", silent);
    } else {
        responder.set("/v.txt", status, body);
    }
    const QString base = server == Server::ClosedPort
                             ? QStringLiteral("http://127.0.0.1:%1/").arg(HttpResponder::closedPort())
                             : responder.baseUrl();

    CheckLog log;
    FakeBoxes boxes(log);
    FakeShell shell(log);
    FakeExit exit(log);
    platform::QtDownloader downloader(server == Server::NeverAnswers ? std::chrono::milliseconds(300)
                                                                     : std::chrono::milliseconds(20'000));
    // The old copy must be gone by the time the server is asked.
    bool oldCopyPresentAtRequest = false;
    connect(&responder, &QTcpServer::newConnection, this,
            [&] { oldCopyPresentAtRequest = localCopy(local) == kOld; });

    const CheckOutcome got = update::runVersionCheck(
        {base, QStringLiteral("V1.3"), folder.path(), downloader, boxes, shell, exit});

    for (QString& e : events)
        e.replace(kBase, base);
    QCOMPARE(log.events, events);
    QCOMPARE(got, outcome);
    QVERIFY(!oldCopyPresentAtRequest);
    if (server == Server::ClosedPort)
        QCOMPARE(responder.requests().size(), 0);
    else
        QCOMPARE(responder.requests(), QList<QByteArray>{"/v.txt"});
    QFile copy(local);
    QCOMPARE(copy.exists(), copyKept);
    if (copyKept) {
        QVERIFY(copy.open(QIODevice::ReadOnly));
        QCOMPARE(copy.readAll(), body);
    }
}

void TestVersionCheck::writeProtectedLocalCopy() {
    QTemporaryDir folder;
    QVERIFY(folder.isValid());
    const QString local = folder.filePath(QStringLiteral("v.txt"));
    writeFile(local, kOld.toUtf8());
    QVERIFY(QFile::setPermissions(local, QFileDevice::ReadOwner | QFileDevice::ReadGroup |
                                             QFileDevice::ReadOther));

    HttpResponder responder;
    responder.set("/v.txt", 200, "V1.2");
    CheckLog log;
    FakeBoxes boxes(log);
    FakeShell shell(log);
    FakeExit exit(log);
    platform::QtDownloader downloader;
    const CheckOutcome got = update::runVersionCheck({responder.baseUrl(), QStringLiteral("V1.3"),
                                                      folder.path(), downloader, boxes, shell,
                                                      exit});
    QCOMPARE(got, CheckOutcome::Failed);
    QCOMPARE(log.boxes().size(), 1);
    QVERIFY2(log.boxes().first().contains(local), qPrintable(log.boxes().first()));
    QCOMPARE(log.events.size(), 1); // the description alone: no browser, no end
    QCOMPARE(responder.requests().size(), 0);
    QCOMPARE(localCopy(local), kOld);
}

void TestVersionCheck::failedBrowserLaunch() {
    QTemporaryDir folder;
    QVERIFY(folder.isValid());
    HttpResponder responder;
    responder.set("/v.txt", 200, "V1.2");
    CheckLog log;
    FakeBoxes boxes(log);
    FakeShell shell(log);
    shell.failWith = QStringLiteral("找不到可以打开网页的浏览器");
    FakeExit exit(log);
    platform::QtDownloader downloader;
    const CheckOutcome got = update::runVersionCheck({responder.baseUrl(), QStringLiteral("V1.3"),
                                                      folder.path(), downloader, boxes, shell,
                                                      exit});
    QCOMPARE(got, CheckOutcome::Failed);
    QCOMPARE(log.events,
             (QStringList{newVersion(QStringLiteral("V1.2")),
                          QStringLiteral("open:") + responder.baseUrl() + QStringLiteral("down.htm"),
                          box(shell.failWith)}));
}

QTEST_MAIN(TestVersionCheck)
#include "test_version_check.moc"
