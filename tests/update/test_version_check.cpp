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
using namespace std::chrono_literals;

Q_DECLARE_METATYPE(CheckOutcome)

namespace {

enum class Server { Answers, ClosedPort, NeverAnswers };
enum class Local { None, OldCopy, ReadOnlyCopy }; // v.txt in the folder before the check

const QString kBase = QStringLiteral("%BASE%");
const QString kOld = QStringLiteral("OLD COPY");

QString box(const QString& text) {
    return QStringLiteral("box:") + text;
}
QString newVersion(const QString& v) {
    return box(update::newVersionMessage(v));
}
QString openDownloadPage() {
    return QStringLiteral("open:") + kBase + QStringLiteral("down.htm");
}
const QString kExit = QStringLiteral("exit");
const QString kLocal = QStringLiteral("%LOCAL%");
const QString kNoBrowser = QStringLiteral("找不到可以打开网页的浏览器");
const QString kReadOnlyDescription =
    QStringLiteral("路径/文件访问错误：%LOCAL% 是只读文件，无法删除");

void writeFile(const QString& path, const QByteArray& content) {
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    QCOMPARE(f.write(content), content.size());
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
    QTest::addColumn<Local>("before");
    QTest::addColumn<bool>("browserFails");
    QTest::addColumn<QStringList>("events"); // %BASE% stands for the server's address
    QTest::addColumn<CheckOutcome>("outcome");

    const QStringList none;
    const QStringList failed{box(update::kDownloadFailedMessage)};
    const auto ended = [](const QString& v) {
        return QStringList{newVersion(v), openDownloadPage(), kExit};
    };
    const auto same = CheckOutcome::SameVersion;
    const auto isNew = CheckOutcome::NewVersion;
    const auto dlFailed = CheckOutcome::DownloadFailed;
    const auto ok = Server::Answers;
    const auto old = Local::OldCopy;
    const auto no = Local::None;

    QTest::newRow("same version") << ok << 200 << QByteArray("V1.3") << no << false << none << same;
    QTest::newRow("same version, old local copy replaced")
        << ok << 200 << QByteArray("V1.3") << old << false << none << same;
    QTest::newRow("spaces and a line end around it")
        << ok << 200 << QByteArray("   V1.3  \r\n") << no << false << none << same;
    QTest::newRow("comma and more text")
        << ok << 200 << QByteArray("V1.3,extra") << no << false << none << same;
    QTest::newRow("quoted field") << ok << 200 << QByteArray("\"V1.3\",2024-05-01") << no << false
                                  << none << same;
    QTest::newRow("quoted field holding a comma")
        << ok << 200 << QByteArray("\"V1.3,beta\"\r\n") << no << false
        << ended(QStringLiteral("V1.3,beta")) << isNew;
    QTest::newRow("older version") << ok << 200 << QByteArray("V1.2\r\n") << old << false
                                   << ended(QStringLiteral("V1.2")) << isNew;
    QTest::newRow("lower-case v") << ok << 200 << QByteArray("v1.3") << no << false
                                  << ended(QStringLiteral("v1.3")) << isNew;
    QTest::newRow("empty first line")
        << ok << 200 << QByteArray("\r\nV1.3") << no << false << ended(QString()) << isNew;
    QTest::newRow("Chinese version text")
        << ok << 200 << QByteArray("V1.4\xb2\xe2\xca\xd4\xb0\xe6") << no << false
        << ended(QStringLiteral("V1.4测试版")) << isNew;
    QTest::newRow("empty file") << ok << 200 << QByteArray() << old << false
                                << QStringList{box(emptyFileDescription())} << CheckOutcome::Failed;
    QTest::newRow("browser cannot be started")
        << ok << 200 << QByteArray("V1.2") << no << true
        << QStringList{newVersion(QStringLiteral("V1.2")), openDownloadPage(), box(kNoBrowser)}
        << CheckOutcome::Failed;
    QTest::newRow("404") << ok << 404 << QByteArray("V1.3") << no << false << failed << dlFailed;
    QTest::newRow("404, old local copy deleted")
        << ok << 404 << QByteArray("V1.3") << old << false << failed << dlFailed;
    QTest::newRow("500") << ok << 500 << QByteArray("V1.3") << no << false << failed << dlFailed;
    QTest::newRow("closed port, old local copy deleted")
        << Server::ClosedPort << 0 << QByteArray() << old << false << failed << dlFailed;
    QTest::newRow("server never answers, old local copy deleted")
        << Server::NeverAnswers << 0 << QByteArray() << old << false << failed << dlFailed;
    // The description alone; the server is not asked, the copy stays.
    QTest::newRow("write-protected local copy")
        << ok << 200 << QByteArray("V1.2") << Local::ReadOnlyCopy << false
        << QStringList{box(kReadOnlyDescription)} << CheckOutcome::Failed;
}

void TestVersionCheck::check() {
    QFETCH(Server, server);
    QFETCH(int, status);
    QFETCH(QByteArray, body);
    QFETCH(Local, before);
    QFETCH(bool, browserFails);
    QFETCH(QStringList, events);
    QFETCH(CheckOutcome, outcome);

    QTemporaryDir folder;
    QVERIFY(folder.isValid());
    const QString local = folder.filePath(QStringLiteral("v.txt"));
    if (before != Local::None)
        writeFile(local, kOld.toUtf8());
    if (before == Local::ReadOnlyCopy)
        QVERIFY(QFile::setPermissions(local, QFileDevice::ReadOwner | QFileDevice::ReadGroup));

    HttpResponder responder;
    QVERIFY(responder.isListening());
    if (server == Server::NeverAnswers) {
        HttpAnswer silent;
        silent.mode = HttpAnswer::Mode::Silent;
        responder.set("/v.txt", silent);
    } else {
        responder.set("/v.txt", status, body);
    }
    const QString base =
        server == Server::ClosedPort
            ? QStringLiteral("http://127.0.0.1:%1/").arg(HttpResponder::closedPort())
            : responder.baseUrl();

    CheckLog log;
    FakeBoxes boxes(log);
    FakeShell shell(log);
    if (browserFails)
        shell.failWith = kNoBrowser;
    FakeExit exit(log);
    platform::QtDownloader downloader(server == Server::NeverAnswers ? 300ms : 20'000ms);
    // The old copy must be gone by the time the server is asked.
    bool oldCopyPresentAtRequest = false;
    connect(&responder, &QTcpServer::newConnection, this,
            [&] { oldCopyPresentAtRequest = QFile::exists(local); });

    const CheckOutcome got = update::runVersionCheck(
        {base, QStringLiteral("V1.3"), folder.path(), downloader, boxes, shell, exit});

    for (QString& e : events)
        e.replace(kBase, base).replace(kLocal, local);
    QCOMPARE(log.events, events);
    QCOMPARE(got, outcome);
    QVERIFY(!oldCopyPresentAtRequest);
    const bool asked = server != Server::ClosedPort && before != Local::ReadOnlyCopy;
    QCOMPARE(responder.requests(), asked ? QList<QByteArray>{"/v.txt"} : QList<QByteArray>{});

    // Afterwards the folder holds exactly what the server sent, when it sent
    // something; the write-protected copy is untouched; otherwise nothing.
    QFile copy(local);
    if (before == Local::ReadOnlyCopy) {
        QVERIFY(copy.open(QIODevice::ReadOnly));
        QCOMPARE(copy.readAll(), kOld.toUtf8());
    } else if (server == Server::Answers && status == 200) {
        QVERIFY(copy.open(QIODevice::ReadOnly));
        QCOMPARE(copy.readAll(), body);
    } else {
        QVERIFY(!copy.exists());
    }
}

QTEST_MAIN(TestVersionCheck)
#include "test_version_check.moc"
