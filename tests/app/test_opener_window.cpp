// The desktop's opener as the window starts it, for the download page of the
// version check and for temp.txt after a conversion: stand-ins for xdg-open
// that are missing, cannot be executed, fail at once with output, hang, or
// succeed. An opener that starts is a launch that succeeded, whatever it then
// does; one that cannot be started is a failed launch, which the version
// check reports in a box and survives. Nothing the openers print reaches the
// window's streams.

#include "fakes.h"
#include "picturebox.h"
#include "qt_services.h"
#include "testfiles.h"
#include "ui_main.h"
#include "version_check.h"
#include "webview.h"

#include <QFile>
#include <QLoggingCategory>
#include <QTest>

#include <csignal>

using zentraq::platform::Downloader;
using zentraq::platform::QtDesktopShell;
using zentraq::testing::readFile;
using zentraq::testing::WindowHarness;

namespace {

// The opener's log, caught while one of these lives.
QStringList g_logged;
QtMessageHandler g_previous = nullptr;
void catchLog(QtMsgType type, const QMessageLogContext& context, const QString& text) {
    if (context.category && QByteArrayView(context.category) == "zentraq.opener")
        g_logged << text;
    else if (g_previous)
        g_previous(type, context, text);
}

bool writeScript(const QString& path, const QByteArray& body, bool executable = true) {
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write("#!/bin/sh\n" + body) < 0)
        return false;
    f.close();
    return f.setPermissions(executable ? QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner
                                       : QFile::ReadOwner | QFile::WriteOwner);
}

} // namespace

class OpenerWindowTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        zentraq::WebView::setEngineEnabled(false);
        QLoggingCategory::setFilterRules(QStringLiteral("zentraq.opener.info=true"));
    }

    void launches_data() {
        QTest::addColumn<QString>("opener");      // the stand-in, see below
        QTest::addColumn<bool>("versionCheck");   // else temp.txt after a conversion
        QTest::addColumn<QString>("failure");     // the reason a failed launch gives, %1 the opener
        QTest::addColumn<QStringList>("printed"); // the opener's output, as kept
        const QStringList complaints{QStringLiteral("xdg-open: no method available"),
                                     QStringLiteral("    to open the file"),
                                     QStringLiteral("and a last line without its end")};
        for (bool check : {true, false}) {
            const char* use = check ? "download page" : "temp.txt";
            QTest::addRow("%s: missing", use)
                << "missing" << check << "找不到程序 %1" << QStringList();
            QTest::addRow("%s: not executable", use)
                << "not executable" << check << "%1 没有执行权限" << QStringList();
            QTest::addRow("%s: named, not in PATH", use)
                << "named, not in PATH" << check << "找不到程序 %1" << QStringList();
            QTest::addRow("%s: fails at once with output", use)
                << "fails" << check << QString() << complaints;
            QTest::addRow("%s: hangs", use)
                << "hangs" << check << QString() << QStringList{QStringLiteral("waiting")};
            QTest::addRow("%s: succeeds", use) << "succeeds" << check << QString() << QStringList();
            QTest::addRow("%s: named, found in PATH", use)
                << "named, in PATH" << check << QString() << QStringList();
        }
    }

    void launches() {
        QFETCH(QString, opener);
        QFETCH(bool, versionCheck);
        QFETCH(QString, failure);
        QFETCH(QStringList, printed);

        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString opened = dir.filePath("opened.txt");
        const QString pidFile = dir.filePath("pid");
        QString program = dir.filePath("opener");
        const QByteArray path = qgetenv("PATH");
        const auto restorePath = qScopeGuard([&] { qputenv("PATH", path); });
        if (opener == "not executable") {
            QVERIFY(writeScript(program, "exit 0\n", false));
        } else if (opener == "fails") {
            QVERIFY(writeScript(program, "echo 'xdg-open: no method available'\n"
                                         "echo '    to open the file' >&2\n"
                                         "printf 'and a last line without its end' >&2\n"
                                         "exit 3\n"));
        } else if (opener == "hangs") {
            QVERIFY(writeScript(program, "echo $$ >" + QFile::encodeName(pidFile) + ".part\n" +
                                             "mv " + QFile::encodeName(pidFile) + ".part " +
                                             QFile::encodeName(pidFile) +
                                             "\necho waiting\nexec sleep 120\n"));
        } else if (opener == "succeeds" || opener == "named, in PATH") {
            if (opener == "named, in PATH") {
                QVERIFY(QDir(dir.path()).mkdir("bin"));
                program = dir.filePath("bin/xdg-open");
            }
            QVERIFY(writeScript(program, "printf '%s\\n' \"$1\" >>" + QFile::encodeName(opened) +
                                             "\nexit 0\n"));
        }
        if (opener.startsWith("named")) {
            qputenv("PATH", QFile::encodeName(dir.filePath("bin")) + ":" +
                                QFile::encodeName(dir.filePath("nothing-here")));
            program = QStringLiteral("xdg-open");
        }

        QtDesktopShell shell(program);
        WindowHarness h(&shell);
        auto& m = *h.window;
        const QString dataFile = h.folder.filePath("temp.txt");
        const QString target =
            versionCheck ? m.UpdateBaseUrl + QStringLiteral("down.htm") : dataFile;
        h.downloader.answer = [](const QUrl&, const QString& local) {
            QFile f(local);
            return Downloader::Result{f.open(QIODevice::WriteOnly) && f.write("V1.4") == 4, {}};
        };
        QImage picture(3, 2, QImage::Format_RGB32);
        picture.fill(Qt::red);
        m.controls().Picturelin->setPicture(picture, QSizeF(3, 2));

        g_logged.clear();
        g_previous = qInstallMessageHandler(catchLog);
        const auto restoreLog = qScopeGuard([] { qInstallMessageHandler(g_previous); });
        zentraq::testing::StreamsOnFiles err({}, {}, dir.filePath("stderr"));
        if (versionCheck)
            m.Banbenjian();
        else
            m.Command12_Click();

        // The launch is over when the opener's output has ended, or for one
        // that hangs, when it said that it waits.
        if (failure.isEmpty() && opener != "hangs")
            QTRY_COMPARE_WITH_TIMEOUT(shell.opener().running(), 0, 10000);
        if (opener == "hangs") {
            QTRY_VERIFY_WITH_TIMEOUT(shell.opener().recentOutput().contains("waiting"), 10000);
            QCOMPARE(shell.opener().running(), 1);
        }
        QCOMPARE(shell.opener().recentOutput(), printed);
        if (opener == "hangs") {
            const pid_t pid = readFile(pidFile).trimmed().toInt();
            QVERIFY(pid > 1);
            QCOMPARE(kill(pid, SIGTERM), 0);
            QTRY_COMPARE_WITH_TIMEOUT(shell.opener().running(), 0, 10000);
        }
        // The last lines of each opener go to the log when its output ends.
        QStringList logged;
        for (const QString& line : printed)
            logged << program + QStringLiteral(": ") + line;
        QCOMPARE(g_logged, logged);
        err.restore();
        QCOMPARE(readFile(dir.filePath("stderr")), QByteArray());

        // A failed launch of the download page is the check's failure: its
        // description alone, in a box after the new version's.
        QStringList boxes;
        if (versionCheck)
            boxes << zentraq::update::newVersionMessage(QStringLiteral("V1.4"));
        else
            boxes << QStringLiteral("图片取模数据不显示在软件界面,数据已经写入") + dataFile;
        if (versionCheck && !failure.isEmpty())
            boxes << QStringLiteral("无法启动浏览器打开 %1：%2").arg(target, failure.arg(program));
        QCOMPARE(h.boxes.shown, boxes);
        // Only the version check ends the program, and only when the opener started.
        QCOMPARE(h.exit.ended, versionCheck && failure.isEmpty() ? 1 : 0);
        if (opener == "succeeds" || opener == "named, in PATH")
            QCOMPARE(readFile(opened), target.toUtf8() + '\n');
    }
};

QTEST_MAIN(OpenerWindowTest)
#include "test_opener_window.moc"
