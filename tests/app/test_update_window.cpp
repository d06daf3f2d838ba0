// The version check as the window runs it: once, about one second after the
// window is created, whatever the user does meanwhile.

#include "../update/http_responder.h"
#include "fakes.h"
#include "fonts.h"
#include "qt_downloader.h"
#include "ui_main.h"
#include "version_check.h"
#include "webview.h"

#include <QCloseEvent>
#include <QElapsedTimer>
#include <QFile>
#include <QTest>
#include <QTimer>
#include <QtTest/qtestspontaneevent.h>

using zentraq::platform::Downloader;
using zentraq::testing::WindowHarness;
using namespace std::chrono_literals;

class UpdateWindowTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        zentraq::WebView::setEngineEnabled(false);
        zentraq::installSongFaceSubstitution();
    }

    // The whole path through the window's services, with the page changed
    // before the first tick.
    void runsOnceAboutOneSecondAfterCreation() {
        QElapsedTimer sinceCreation;
        sinceCreation.start();
        WindowHarness h;
        auto& m = *h.window;
        qint64 checkedAt = -1;
        QString localPath;
        h.downloader.answer = [&](const QUrl&, const QString& local) {
            checkedAt = sinceCreation.elapsed();
            localPath = local;
            QFile f(local);
            return Downloader::Result{f.open(QIODevice::WriteOnly) && f.write("V1.2") == 4, {}};
        };
        m.show();
        QVERIFY(QTest::qWaitForWindowExposed(&m));
        QTest::mouseClick(m.controls().Command16, Qt::LeftButton);
        QVERIFY(m.controls().tabchuankou->isVisible());
        QVERIFY(h.downloader.requested.isEmpty());

        QTRY_COMPARE_WITH_TIMEOUT(h.downloader.requested.size(), 1, 5000);
        QVERIFY2(checkedAt >= 900, qPrintable(QString::number(checkedAt))); // timers may be early
        QCOMPARE(h.downloader.requested.first(), QUrl(m.UpdateBaseUrl + QStringLiteral("v.txt")));
        QCOMPARE(localPath, h.folder.filePath(QStringLiteral("v.txt")));
        QCOMPARE(h.boxes.shown,
                 QStringList{zentraq::update::newVersionMessage(QStringLiteral("V1.2"))});
        QCOMPARE(h.shell.urls, QList<QUrl>{QUrl(m.UpdateBaseUrl + QStringLiteral("down.htm"))});
        QCOMPARE(h.exit.ended, 1);
        QVERIFY(!m.Timer1->isActive());
        QTest::qWait(1100);
        QCOMPARE(h.downloader.requested.size(), 1);
    }

    // Qt delivers timer ticks while the download waits and while a modal box
    // is open; here such a tick is delivered by hand, once.
    void noSecondCheckWhileOneRuns_data() {
        QTest::addColumn<bool>("inBox");
        QTest::newRow("during the download") << false;
        QTest::newRow("while the message box is open") << true;
    }

    void noSecondCheckWhileOneRuns() {
        QFETCH(bool, inBox);
        WindowHarness h;
        auto& m = *h.window;
        bool ticked = false;
        const auto tickOnce = [&] {
            if (!std::exchange(ticked, true))
                m.Timer1_Timer();
        };
        h.downloader.answer = [&](const QUrl&, const QString&) {
            if (!inBox)
                tickOnce();
            return Downloader::Result{false, QStringLiteral("unreachable")};
        };
        h.boxes.onShow = [&](const QString&) {
            if (inBox)
                tickOnce();
        };
        m.Timer1_Timer();
        QVERIFY(ticked);
        QCOMPARE(h.downloader.requested.size(), 1);
        QCOMPARE(h.boxes.shown, QStringList{zentraq::update::kDownloadFailedMessage});
        QVERIFY(!m.Timer1->isActive());
    }

    // Clicks made while the version file is being fetched are not acted on,
    // neither during the wait nor afterwards.
    void clicksDuringTheDownloadDiscarded() {
        zentraq::testing::HttpResponder server;
        server.answers.insert("/v.txt", {0, {}, 0}); // never answers
        zentraq::platform::QtDownloader real(400ms);
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
        m.Timer1->setInterval(0); // the first tick at once
        m.show();
        QTRY_VERIFY_WITH_TIMEOUT(clicked && !m.Timer1->isActive(), 5000);
        QCOMPARE(h.boxes.shown, QStringList{zentraq::update::kDownloadFailedMessage});
        QTest::qWait(100);
        QVERIFY(m.controls().tabweb->isVisible());

        QTest::mouseClick(m.controls().Command15, Qt::LeftButton);
        QVERIFY(m.controls().tabqumo->isVisible());
    }

    // The window's close button during the download ends the check at once:
    // the window closes, and neither a message nor the download page follows,
    // although the server would still have announced a new version.
    void closeButtonEndsTheWait() {
        zentraq::testing::HttpResponder server;
        server.answers.insert("/v.txt", {200, "V1.2", 300}); // 1.2 s for the whole body
        zentraq::platform::QtDownloader real(60s);
        WindowHarness h;
        auto& m = *h.window;
        Downloader::Result result;
        h.downloader.answer = [&](const QUrl& url, const QString& local) {
            QTimer::singleShot(100, &m, [&] {
                // As the window system delivers the close button: spontaneous.
                QCloseEvent close;
                QSpontaneKeyEvent::setSpontaneous(&close);
                QCoreApplication::instance()->notify(m.windowHandle(), &close);
            });
            return result = real.download(url, local);
        };
        m.UpdateBaseUrl = server.baseUrl();
        m.show();
        QVERIFY(QTest::qWaitForWindowExposed(&m));
        m.Timer1_Timer();
        QCOMPARE(result.failure, Downloader::Failure::Interrupted);
        QVERIFY(!result.ok);
        QVERIFY(!m.isVisible());
        QVERIFY(h.boxes.shown.isEmpty());
        QVERIFY(h.shell.urls.isEmpty());
        QCOMPARE(h.exit.ended, 0);
        QVERIFY(!m.Timer1->isActive());
    }
};

QTEST_MAIN(UpdateWindowTest)
#include "test_update_window.moc"
