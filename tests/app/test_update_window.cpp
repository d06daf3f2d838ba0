// The version check as the window runs it: once, about one second after the
// window is created, whatever the user does meanwhile.

#include "../update/http_responder.h"
#include "fakes.h"
#include "fonts.h"
#include "qt_downloader.h"
#include "ui_main.h"
#include "version_check.h"
#include "webview.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTest>
#include <QTimer>

using zentraq::testing::HttpAnswer;
using zentraq::testing::HttpResponder;
using zentraq::testing::WindowHarness;

namespace {

QWidget* visiblePage(zentraq::main& m) {
    QWidget* shown = nullptr;
    for (std::size_t i = 1; i < m.Pages.size(); ++i)
        if (m.Pages[i]->isVisible()) {
            if (shown)
                return nullptr; // more than one: wrong in any case
            shown = m.Pages[i];
        }
    return shown;
}

} // namespace

class UpdateWindowTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        zentraq::WebView::setEngineEnabled(false);
        zentraq::installSongFaceSubstitution();
    }

    void runsOnceAboutOneSecondAfterCreation() {
        QElapsedTimer sinceCreation;
        sinceCreation.start();
        WindowHarness h;
        auto& m = *h.window;
        qint64 checkedAt = -1;
        h.downloader.answer = [&](const QUrl&, const QString&) {
            checkedAt = sinceCreation.elapsed();
            return zentraq::platform::Downloader::Result{false, QStringLiteral("unreachable")};
        };
        m.show();
        QVERIFY(QTest::qWaitForWindowExposed(&m));
        // The user changes pages before the check runs.
        QTest::mouseClick(m.controls().Command15, Qt::LeftButton);
        QTest::mouseClick(m.controls().Command16, Qt::LeftButton);
        QCOMPARE(h.downloader.requested.size(), 0);

        QTRY_COMPARE_WITH_TIMEOUT(h.downloader.requested.size(), 1, 5000);
        // About one second: the timer may be up to 5 % early.
        QVERIFY2(checkedAt >= 900, qPrintable(QString::number(checkedAt)));
        QCOMPARE(h.downloader.requested.first(), QUrl(m.UpdateBaseUrl + QStringLiteral("v.txt")));
        QCOMPARE(h.boxes.shown, QStringList{zentraq::update::kDownloadFailedMessage});
        QCOMPARE(visiblePage(m), m.controls().tabchuankou); // the page stays as it was
        QVERIFY(!m.Timer1->isActive());

        QTest::qWait(2500);
        QCOMPARE(h.downloader.requested.size(), 1);
        QCOMPARE(h.boxes.shown.size(), 1);
        QCOMPARE(h.exit.ended, 0);
    }

    // Ticks keep coming while the check waits and while its boxes are open.
    // Qt on this platform holds back a timer's own tick while its handler
    // runs, so the rows with a tick delivered by hand stand for a toolkit
    // that does deliver it.
    void noSecondCheckWhileOneRuns_data() {
        QTest::addColumn<bool>("longDownload");
        QTest::addColumn<bool>("longBox");
        QTest::addColumn<bool>("tickByHand");
        QTest::newRow("during the download") << true << false << false;
        QTest::newRow("while the message box is open") << false << true << false;
        QTest::newRow("tick delivered during the download") << false << false << true;
        QTest::newRow("tick delivered while the box is open") << false << true << true;
    }

    void noSecondCheckWhileOneRuns() {
        QFETCH(bool, longDownload);
        QFETCH(bool, longBox);
        QFETCH(bool, tickByHand);
        WindowHarness h;
        auto& m = *h.window;
        bool timerActiveInside = false;
        bool ticked = false;
        const auto tickOnce = [&] {
            if (ticked)
                return;
            ticked = true;
            QMetaObject::invokeMethod(m.Timer1, "timeout", Qt::DirectConnection);
        };
        h.downloader.answer = [&](const QUrl&, const QString&) {
            if (longDownload)
                QTest::qWait(2600);
            if (tickByHand && !longBox)
                tickOnce();
            return zentraq::platform::Downloader::Result{false, QStringLiteral("unreachable")};
        };
        h.boxes.onShow = [&](const QString&) {
            timerActiveInside = m.Timer1->isActive();
            if (longBox)
                QTest::qWait(2600);
            if (tickByHand && longBox)
                tickOnce();
        };
        m.show();
        QTRY_COMPARE_WITH_TIMEOUT(h.boxes.shown.size(), 1, 8000);
        QVERIFY(timerActiveInside); // the ticks were really still coming
        QCOMPARE(ticked, tickByHand);
        QTest::qWait(1500);
        QCOMPARE(h.downloader.requested.size(), 1);
        QCOMPARE(h.boxes.shown.size(), 1);
        QVERIFY(!m.Timer1->isActive());
    }

    // The whole path with the real downloader against a local server.
    void againstServer_data() {
        QTest::addColumn<QByteArray>("version"); // empty: the port is closed
        QTest::addColumn<QStringList>("shown");
        QTest::addColumn<bool>("browser");
        QTest::addColumn<int>("ended");

        using zentraq::update::newVersionMessage;
        QTest::newRow("same version") << QByteArray("V1.3\r\n") << QStringList() << false << 0;
        QTest::newRow("older version")
            << QByteArray("V1.2\r\n") << QStringList{newVersionMessage(QStringLiteral("V1.2"))}
            << true << 1;
        QTest::newRow("server unreachable")
            << QByteArray() << QStringList{zentraq::update::kDownloadFailedMessage} << false << 0;
    }

    void againstServer() {
        QFETCH(QByteArray, version);
        QFETCH(QStringList, shown);
        QFETCH(bool, browser);
        QFETCH(int, ended);

        HttpResponder server;
        server.set("/v.txt", 200, version);
        zentraq::platform::QtDownloader real;
        WindowHarness h;
        h.downloader.answer = [&](const QUrl& url, const QString& local) {
            return real.download(url, local);
        };
        auto& m = *h.window;
        const QString base =
            version.isEmpty()
                ? QStringLiteral("http://127.0.0.1:%1/").arg(HttpResponder::closedPort())
                : server.baseUrl();
        m.UpdateBaseUrl = base; // before the first tick
        m.show();
        QTRY_VERIFY_WITH_TIMEOUT(!m.Timer1->isActive(), 8000);

        QCOMPARE(h.boxes.shown, shown);
        QCOMPARE(h.shell.urls,
                 browser ? QList<QUrl>{QUrl(base + QStringLiteral("down.htm"))} : QList<QUrl>{});
        QCOMPARE(h.exit.ended, ended);
        const QString local = h.folder.filePath(QStringLiteral("v.txt"));
        QCOMPARE(QFile::exists(local), !version.isEmpty());
    }

    // Clicks made while the version file is being fetched are not acted on,
    // neither during the wait nor afterwards.
    void clicksDuringTheDownloadDiscarded() {
        HttpResponder server;
        HttpAnswer slow;
        slow.body = "V1.3";
        slow.mode = HttpAnswer::Mode::Drip;
        slow.dripIntervalMs = 150;
        server.set("/v.txt", slow);
        zentraq::platform::QtDownloader real;
        WindowHarness h;
        auto& m = *h.window;
        bool clicked = false;
        h.downloader.answer = [&](const QUrl& url, const QString& local) {
            QTimer::singleShot(100, &m, [&] {
                QTest::mouseClick(m.controls().Command15, Qt::LeftButton);
                clicked = true;
            });
            return real.download(url, local);
        };
        m.UpdateBaseUrl = server.baseUrl();
        m.show();
        QTRY_VERIFY_WITH_TIMEOUT(!m.Timer1->isActive(), 8000);
        QVERIFY(clicked);
        QTest::qWait(200);
        QCOMPARE(visiblePage(m), m.controls().tabweb);
        QVERIFY(h.boxes.shown.isEmpty());

        QTest::mouseClick(m.controls().Command15, Qt::LeftButton);
        QCOMPARE(visiblePage(m), m.controls().tabqumo);
    }
};

QTEST_MAIN(UpdateWindowTest)
#include "test_update_window.moc"
