// The version file reader, and the version check against a real HTTP server
// on 127.0.0.1 with the real downloader and fakes for the boxes, the browser
// and the program's end.
#include "../app/fakes.h"
#include "first_field.h"
#include "http_responder.h"
#include "qt_downloader.h"
#include "runtime_error.h"
#include "version_check.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QScopeGuard>
#include <QSslConfiguration>
#include <QSslSocket>
#include <QTest>

#include <cerrno>
#include <cstring>

using namespace zentraq;
using namespace std::chrono_literals;

namespace {
// What "v.txt" is before the check. Links name the missing file "target" in
// the test's folder; "planted" makes the link only when the request reaches
// the server, after the old copy was deleted.
enum class Local { None, Old, ReadOnly, Folder, DanglingLink, LinkPlanted };
enum class Serve { Plain, Endless, HugeLength };
const QByteArray kOld = "OLD COPY";
} // namespace
Q_DECLARE_METATYPE(Local)
Q_DECLARE_METATYPE(Serve)

class TestVersionCheck : public QObject {
    Q_OBJECT

private slots:
    void firstField_data() {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("expected");
        QTest::addColumn<int>("error"); // a RuntimeError code, -1 for none
        QTest::newRow("plain") << QByteArray("V1.3") << "V1.3" << -1;
        QTest::newRow("spaces, line end") << QByteArray("  V1.3 \nV9.9") << "V1.3" << -1;
        QTest::newRow("tabs kept, spaces around them trimmed")
            << QByteArray(" \tV1.3\t \r\n") << "\tV1.3\t" << -1;
        QTest::newRow("comma, more text") << QByteArray("V1.3,extra") << "V1.3" << -1;
        QTest::newRow("quoted with comma") << QByteArray("\"V1,3\",x") << "V1,3" << -1;
        QTest::newRow("code page 936")
            << QByteArray("V1.4\xb2\xe2\xca\xd4\r\n") << QStringLiteral("V1.4测试") << -1;
        QTest::newRow("UTF-8 byte-order mark") << QByteArray("\xEF\xBB\xBFV1.3") << "V1.3" << -1;
        QTest::newRow("undecodable byte")
            << QByteArray("V1.\xff") << QString() << int(RuntimeError::Other);
        QTest::newRow("empty file")
            << QByteArray() << QString() << int(RuntimeError::InputPastEndOfFile);
    }

    void firstField() {
        QFETCH(QByteArray, content);
        QFETCH(QString, expected);
        QFETCH(int, error);
        QString field;
        int code = -1;
        try {
            field = update::firstField(content);
        } catch (const RuntimeError& e) {
            code = e.code();
            QVERIFY(!QString::fromUtf8(e.what()).isEmpty());
        }
        QCOMPARE(code, error);
        QCOMPARE(field, expected);
    }

    // A local file beyond the download limit is refused, not read in part
    // (the 70,000 spaces and 1 MiB cases below are read whole).
    void largerFileRefused() {
        QTemporaryDir folder;
        QFile file(folder.filePath(QStringLiteral("v.txt")));
        const QByteArray content = QByteArray(1048573, ' ') + "V1.3";
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(content) == content.size());
        file.close();
        QVERIFY_THROWS_EXCEPTION(RuntimeError, update::readFirstField(file.fileName()));
    }

    void check_data() {
        QTest::addColumn<int>("status"); // -1: nothing listens; 0: never answers
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<int>("dripMs");
        QTest::addColumn<Serve>("serve");
        QTest::addColumn<Local>("before");
        QTest::addColumn<bool>("browserFails");
        QTest::addColumn<QStringList>("shown"); // %LOCAL% stands for the local v.txt
        QTest::addColumn<bool>("browser");      // down.htm opened
        QTest::addColumn<bool>("ended");
        QTest::addColumn<QByteArray>("left"); // v.txt afterwards; null: no file

        // ASCII commas after 失败 and 支持, full-width ones after 最新版本.
        const QStringList failed{
            QStringLiteral("版本连网检测失败,你使用的版本可能不是最新版本，请及时"
                           "关注Zentraq最新版本，谢谢你的支持,请按确定键继续进入软件")};
        const auto newer = [](const char* v) {
            return QStringLiteral("检测到新版本:%1,点击确定进入新版本下载页面")
                .arg(QLatin1String(v));
        };
        const QString emptyFile = QStringLiteral("输入超出文件尾：版本文件是空的，读不到版本号");
        const auto row = [](const char* name, int status, const QByteArray& body, Local before,
                            QStringList shown, bool browser, bool ended, const QByteArray& left,
                            int dripMs = 0, bool browserFails = false, Serve serve = Serve::Plain) {
            QTest::newRow(name) << status << body << dripMs << serve << before << browserFails
                                << shown << browser << ended << left;
        };
        const QByteArray none;
        const QByteArray oneMiB = "V1.3\r\n" + QByteArray(1048576 - 6, 'x');
        row("same version, v.txt stays", 200, "V1.3\r\n", Local::Old, {}, false, false, "V1.3\r\n");
        row("V1.2", 200, "V1.2", Local::None, {newer("V1.2")}, true, true, "V1.2");
        row("v1.3", 200, "v1.3", Local::Old, {newer("v1.3")}, true, true, "v1.3");
        row("empty file", 200, "", Local::Old, {emptyFile}, false, false, "");
        row("404", 404, "V1.3", Local::Old, failed, false, false, none);
        row("closed port", -1, "", Local::Old, failed, false, false, none);
        row("never answers", 0, "", Local::Old, failed, false, false, none);
        row("slower than the deadline", 200, "V1.3 ....", Local::Old, failed, false, false, none,
            100);
        row("write-protected v.txt", 200, "V1.2", Local::ReadOnly,
            {QStringLiteral("路径/文件访问错误：%LOCAL% 是只读文件，无法删除")}, false, false,
            kOld);
        // The answer arrived; writing it failed, and the box says why.
        row("v.txt is a folder", 200, "V1.2", Local::Folder,
            {QStringLiteral("路径/文件访问错误：无法写入 %LOCAL%：") +
             QString::fromLocal8Bit(std::strerror(EISDIR))},
            false, false, none);
        row("browser launch fails", 200, "V1.2", Local::None,
            {newer("V1.2"), QStringLiteral("no browser")}, true, false, "V1.2", 0, true);
        row("70,000 spaces before the version", 200, QByteArray(70000, ' ') + "V1.3", Local::None,
            {}, false, false, QByteArray(70000, ' ') + "V1.3");
        row("1 MiB exactly", 200, oneMiB, Local::None, {}, false, false, oneMiB);
        row("1 MiB and a byte", 200, oneMiB + "x", Local::Old, failed, false, false, none);
        row("endless body", 200, "V1.3", Local::Old, failed, false, false, none, 0, false,
            Serve::Endless);
        row("Content-Length 2 GiB", 200, "V1.3\r\n", Local::Old, failed, false, false, none, 0,
            false, Serve::HugeLength);
        row("dangling link v.txt", 200, "V1.3", Local::DanglingLink, {}, false, false, "V1.3");
        row("link planted during the download", 200, "V1.3", Local::LinkPlanted, {}, false, false,
            "V1.3");
    }

    void check() {
        QFETCH(int, status);
        QFETCH(QByteArray, body);
        QFETCH(int, dripMs);
        QFETCH(Serve, serve);
        QFETCH(Local, before);
        QFETCH(bool, browserFails);
        QFETCH(QStringList, shown);
        QFETCH(bool, browser);
        QFETCH(bool, ended);
        QFETCH(QByteArray, left);

        QTemporaryDir folder;
        QVERIFY(folder.isValid());
        const QString local = folder.filePath(QStringLiteral("v.txt"));
        const QString target = folder.filePath(QStringLiteral("target"));
        if (before == Local::Folder)
            QVERIFY(QDir(folder.path()).mkdir(QStringLiteral("v.txt")));
        QFile old(local);
        if (before == Local::Old || before == Local::ReadOnly) {
            QVERIFY(old.open(QIODevice::WriteOnly));
            QCOMPARE(old.write(kOld), kOld.size());
            old.close();
        }
        if (before == Local::ReadOnly)
            QVERIFY(old.setPermissions(QFileDevice::ReadOwner));
        if (before == Local::DanglingLink)
            QVERIFY(QFile::link(target, local));
        testing::HttpResponder server;
        QVERIFY(server.isListening());
        testing::HttpResponder::Answer answer{status, body, dripMs};
        answer.endless = serve == Serve::Endless;
        if (serve == Serve::HugeLength)
            answer.length = "2147483648";
        server.answers.insert("/v.txt", answer);
        const QString base = status < 0 ? testing::HttpResponder::closedUrl() : server.baseUrl();
        bool presentAtRequest = false;
        connect(&server, &QTcpServer::newConnection, this, [&] {
            presentAtRequest = QFileInfo(local).isFile();
            if (before == Local::LinkPlanted)
                QFile::link(target, local);
        });

        testing::FakeBoxes boxes;
        testing::FakeShell shell;
        testing::FakeExit exit;
        shell.fail = browserFails;
        // Nothing is opened or ended before the box that announces it.
        bool early = false;
        boxes.onShow = [&](const QString&) {
            early |= exit.ended > 0 || shell.urls.size() >= boxes.shown.size();
        };
        platform::QtDownloader downloader(status == 0 || dripMs > 0 ? 300ms : 10s);
        update::runVersionCheck(
            {base, QStringLiteral("V1.3"), folder.path(), downloader, boxes, shell, exit});

        shown.replaceInStrings(QStringLiteral("%LOCAL%"), local);
        QCOMPARE(boxes.shown, shown);
        QVERIFY(!early);
        QCOMPARE(shell.urls,
                 browser ? QList<QUrl>{QUrl(base + QStringLiteral("down.htm"))} : QList<QUrl>{});
        QCOMPARE(exit.ended, ended ? 1 : 0);
        QVERIFY(!presentAtRequest);
        // No temporary file is left, a folder named v.txt is not removed, and
        // no link was followed: no target made.
        QCOMPARE(QDir(folder.path()).entryList(QDir::Files | QDir::Hidden | QDir::System),
                 left.isNull() ? QStringList() : QStringList{QStringLiteral("v.txt")});
        QCOMPARE(QFileInfo(local).isDir(), before == Local::Folder);
        QVERIFY(!QFileInfo(local).isSymLink());
        if (!left.isNull()) {
            QVERIFY(old.open(QIODevice::ReadOnly));
            QCOMPARE(old.readAll(), left);
        }
    }

    // Answers in the forms HTTP/1.1 allows, and broken ones: what the
    // download keeps, or that it fails.
    void answerForms_data() {
        QTest::addColumn<QByteArray>("answer");
        QTest::addColumn<QByteArray>("kept"); // null: the download fails
        const QByteArray none;
        QTest::newRow("chunked, with an extension and a trailer")
            << QByteArray("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n"
                          "6\r\nV1.3\r\n\r\n1;x=y\r\nz\r\n0\r\nX-Trailer: 1\r\n\r\n")
            << QByteArray("V1.3\r\nz");
        QTest::newRow("no length: up to the end")
            << QByteArray("HTTP/1.1 200 OK\r\n\r\nV1.4") << QByteArray("V1.4");
        QTest::newRow("line ends without CR")
            << QByteArray("HTTP/1.1 200 OK\nContent-Length: 4\n\nV1.5") << QByteArray("V1.5");
        QTest::newRow("an interim answer first")
            << QByteArray("HTTP/1.1 103 Early Hints\r\nLink: </a>\r\n\r\n"
                          "HTTP/1.1 200 OK\r\nContent-Length: 4\r\n\r\nV1.6")
            << QByteArray("V1.6");
        QTest::newRow("redirected")
            << QByteArray("HTTP/1.1 302 Found\r\nLocation: /moved\r\n\r\n") << QByteArray("V1.7");
        QTest::newRow("redirected to itself, without end")
            << QByteArray("HTTP/1.1 301 Moved\r\nLocation: /v.txt\r\n\r\n") << none;
        QTest::newRow("shorter than its length")
            << QByteArray("HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\nV1") << none;
        QTest::newRow("chunks cut short")
            << QByteArray("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n9\r\nV1") << none;
        QTest::newRow("chunk size not a number")
            << QByteArray("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\nzz\r\n") << none;
        QTest::newRow("not HTTP") << QByteArray("SSH-2.0-OpenSSH_9.2\r\n\r\n") << none;
        QTest::newRow("chunks beyond 1 MiB")
            << QByteArray("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n100001\r\n") +
                   QByteArray(0x100001, 'x') + "\r\n0\r\n\r\n"
            << none;
    }
    void answerForms() {
        QFETCH(QByteArray, answer);
        QFETCH(QByteArray, kept);
        testing::HttpResponder server;
        testing::HttpResponder::Answer raw;
        raw.raw = answer;
        server.answers.insert("/v.txt", raw);
        server.answers.insert("/moved", {200, "V1.7"});
        QTemporaryDir folder;
        const QString local = folder.filePath(QStringLiteral("v.txt"));
        platform::QtDownloader downloader(10s);
        const auto result =
            downloader.download(QUrl(server.baseUrl() + QStringLiteral("v.txt")), local);
        QVERIFY2(result.ok == !kept.isNull(), qPrintable(result.error));
        QFile file(local);
        if (kept.isNull()) {
            QCOMPARE(result.failure, platform::Downloader::Failure::Download);
            QVERIFY(!file.exists());
            return;
        }
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), kept);
    }

    // Over TLS: a server the system trusts gives the file; one it does not
    // trust gives nothing, and neither does a redirect from https to http.
    void overTls_data() {
        QTest::addColumn<bool>("trusted");
        QTest::addColumn<QByteArray>("path");
        QTest::addColumn<QByteArray>("kept"); // null: the download fails
        QTest::addColumn<QString>("why");     // words of the failure
        QTest::newRow("trusted") << true << QByteArray("/v.txt") << QByteArray("V1.3") << "";
        QTest::newRow("not trusted") << false << QByteArray("/v.txt") << QByteArray() << "";
        QTest::newRow("redirected to http")
            << true << QByteArray("/down") << QByteArray() << "HTTPS";
    }
    void overTls() {
        QFETCH(bool, trusted);
        QFETCH(QByteArray, path);
        QFETCH(QByteArray, kept);
        if (!QSslSocket::supportsSsl())
            QSKIP("no TLS backend");
        QFile certificateFile(QFINDTESTDATA("tls/certificate.pem"));
        QFile keyFile(QFINDTESTDATA("tls/key.pem"));
        QVERIFY(certificateFile.open(QIODevice::ReadOnly) && keyFile.open(QIODevice::ReadOnly));
        const QSslCertificate certificate(certificateFile.readAll());
        const QSslKey key(keyFile.readAll(), QSsl::Ec);
        QVERIFY(!certificate.isNull() && !key.isNull());

        testing::HttpResponder plain;
        plain.answers.insert("/v.txt", {200, "V1.3"});
        testing::HttpResponder server;
        server.useTls(certificate, key);
        server.answers.insert("/v.txt", {200, "V1.3"});
        testing::HttpResponder::Answer down;
        down.raw =
            "HTTP/1.1 302 Found\r\nLocation: " + plain.baseUrl().toLatin1() + "v.txt\r\n\r\n";
        server.answers.insert("/down", down);

        const QSslConfiguration before = QSslConfiguration::defaultConfiguration();
        const auto restore =
            qScopeGuard([&] { QSslConfiguration::setDefaultConfiguration(before); });
        if (trusted) {
            QSslConfiguration withTestCa = before;
            withTestCa.addCaCertificate(certificate);
            QSslConfiguration::setDefaultConfiguration(withTestCa);
        }
        QTemporaryDir folder;
        const QString local = folder.filePath(QStringLiteral("v.txt"));
        platform::QtDownloader downloader(10s);
        const auto result =
            downloader.download(QUrl(server.baseUrl() + QString::fromLatin1(path.mid(1))), local);
        QVERIFY2(result.ok == !kept.isNull(), qPrintable(result.error));
        QFETCH(QString, why);
        QVERIFY2(result.error.contains(why), qPrintable(result.error));
        QFile file(local);
        QCOMPARE(file.exists(), !kept.isNull());
        if (!kept.isNull()) {
            QVERIFY(file.open(QIODevice::ReadOnly));
            QCOMPARE(file.readAll(), kept);
        }
    }

    // Header lines without end: the check gives up with the download-failure
    // message when the lines pass 64 KiB, or at the deadline when they come
    // slowly, and the connection is closed then, not read any further.
    void endlessHeaders_data() {
        QTest::addColumn<int>("dripMs"); // 0: as fast as they can go
        QTest::addColumn<bool>("atDeadline");
        QTest::newRow("as fast as they go") << 0 << false;
        QTest::newRow("one every 20 ms") << 20 << true;
    }
    void endlessHeaders() {
        QFETCH(int, dripMs);
        QFETCH(bool, atDeadline);
        testing::HttpResponder server;
        testing::HttpResponder::Answer headers;
        headers.endlessHeaders = true;
        headers.dripMs = dripMs;
        server.answers.insert("/v.txt", headers);
        QTemporaryDir folder;
        testing::FakeBoxes boxes;
        testing::FakeShell shell;
        testing::FakeExit exit;
        constexpr auto deadline = 1500ms;
        platform::QtDownloader downloader(deadline);
        QElapsedTimer clock;
        clock.start();
        const update::CheckOutcome outcome =
            update::runVersionCheck({server.baseUrl(), QStringLiteral("V1.3"), folder.path(),
                                     downloader, boxes, shell, exit});
        const qint64 took = clock.elapsed();
        QCOMPARE(outcome, update::CheckOutcome::DownloadFailed);
        QCOMPARE(boxes.shown, QStringList{update::kDownloadFailedMessage});
        if (atDeadline)
            QVERIFY2(took >= deadline.count() && took < deadline.count() + 1500,
                     qPrintable(QString::number(took)));
        else
            QVERIFY2(took < deadline.count(), qPrintable(QString::number(took)));
        QTRY_COMPARE_WITH_TIMEOUT(server.endedConnections(), 1, 5000);
        QCOMPARE(QDir(folder.path()).entryList(QDir::Files | QDir::Hidden | QDir::System),
                 QStringList());
    }

    // Data that keeps coming at full speed does not keep the deadline from
    // ending the download, even with a size limit too large to end it first.
    void deadlineUnderEndlessData() {
        testing::HttpResponder server;
        testing::HttpResponder::Answer endless{200, "V1.3", 0};
        endless.endless = true;
        server.answers.insert("/v.txt", endless);
        QTemporaryDir folder;
        platform::QtDownloader downloader(300ms, qint64(1) << 40);
        const auto result = downloader.download(QUrl(server.baseUrl() + QStringLiteral("v.txt")),
                                                folder.filePath(QStringLiteral("v.txt")));
        QVERIFY(!result.ok);
        QCOMPARE(result.failure, platform::Downloader::Failure::Download);
        QVERIFY2(result.error.contains(QStringLiteral("超时")), qPrintable(result.error));
        QCOMPARE(QDir(folder.path()).entryList(QDir::Files | QDir::Hidden | QDir::System),
                 QStringList());
    }
};

QTEST_MAIN(TestVersionCheck)
#include "test_version_check.moc"
