// Metafiles in the real window and in zentraq-cli: damaged files refused by
// both with a description, and a converter that writes nothing. (The same
// data and size messages from both are pinned by tests/identity.)
#include "cli_runner.h"
#include "fakes.h"
#include "metafilewriter.h"
#include "webview.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>

using zentraq::testing::CliRun;
using zentraq::testing::EmfWriter;
using zentraq::testing::readFile;
using zentraq::testing::runCli;
using zentraq::testing::WindowHarness;
using zentraq::testing::writeFile;

class CliMetafileTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;

private slots:
    void initTestCase() {
        zentraq::WebView::setEngineEnabled(false);
        QVERIFY(m_dir.isValid());
    }

    // Cut short or lying: "出现错误" and the description in the window;
    // exit status 1 and one English line naming the file in
    // the tool, no output.
    void damaged_data() {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QString>("window");
        QTest::addColumn<QString>("tool");
        const QByteArray wmf =
            zentraq::testing::sceneMetafile(QStringLiteral("placeable 1440 per inch"));
        const QByteArray emf = zentraq::testing::sceneMetafile(QStringLiteral("emf"));
        QTest::newRow("WMF cut short")
            << wmf.left(wmf.size() - 10)
            << QStringLiteral("元文件不完整（文件只有 %1 字节，元文件头说有 %2 字节）")
                   .arg(wmf.size() - 10)
                   .arg(wmf.size())
            << QStringLiteral("it is cut short: the file has %1 bytes, its metafile header says %2")
                   .arg(wmf.size() - 10)
                   .arg(wmf.size());
        QTest::newRow("EMF header cut short")
            << emf.left(60)
            << QStringLiteral("元文件不完整（文件只有 60 字节，放不下 88 字节的文件头）")
            << QStringLiteral(
                   "it is cut short: the file has 60 bytes, less than its 88-byte metafile header");
        QByteArray records = emf;
        qToLittleEndian<quint32>(99, records.data() + 52);
        QTest::newRow("EMF record count lies")
            << records << QStringLiteral("元文件头不符：文件头说有 99 个记录")
            << QStringLiteral("its EMF header says 99 records, it holds ");
        QByteArray sizes = wmf;
        qToLittleEndian<quint32>(4, sizes.data() + 22 + 12);
        QTest::newRow("WMF largest record lies")
            << sizes
            << QStringLiteral("元文件头不符：第 1 个记录长 5 字，文件头说最长的记录只有 4 字")
            << QStringLiteral("its record 1 is 5 words long, its header says the longest has 4");
        // Found by the converter, not by the checks before it.
        EmfWriter cdata;
        cdata.textOut(10, 10, QStringLiteral("a]]>b"));
        QTest::newRow("EMF whose SVG cannot be drawn")
            << cdata.bytes(QRect(0, 0, 2540, 2540)) << QStringLiteral("元文件转换成的 SVG 无法绘制")
            << QStringLiteral("the SVG made of its records cannot be drawn");
    }
    void damaged() {
        QFETCH(QByteArray, file);
        QFETCH(QString, window);
        QFETCH(QString, tool);
        const QString path = m_dir.filePath(QStringLiteral("damaged.emf"));
        QVERIFY(writeFile(path, file));

        WindowHarness h;
        h.fileDialog.answers.push_back(path);
        h.window->Command11_Click();
        QCOMPARE(h.boxes.shown.size(), 1);
        const QString box = h.boxes.shown[0];
        QVERIFY2(box.startsWith(QStringLiteral("出现错误无效图片：") + window) &&
                     box.endsWith(QStringLiteral("：") + path),
                 qPrintable(box));

        const QString out = m_dir.filePath(QStringLiteral("never.txt"));
        const CliRun r = runCli({"picture", path, "-o", out});
        QCOMPARE(r.exitCode, 1);
        const QString start = QStringLiteral("zentraq-cli: cannot read picture '%1': ").arg(path);
        QVERIFY2(r.err.startsWith(start + tool) && r.err.endsWith(u'\n') && r.err.count(u'\n') == 1,
                 qPrintable(r.err));
        for (const QChar c : r.err)
            QVERIFY2(c.unicode() < 0x80, qPrintable(r.err));
        QVERIFY(!QFile::exists(out));
    }

    // The converter writes nothing: without a runtime folder in the
    // environment, or with one Qt would refuse (open to others), it makes
    // no folder and no file, as strace sees it.
    void converterWritesNothing_data() {
        QTest::addColumn<bool>("openFolder");
        QTest::newRow("no runtime folder") << false;
        QTest::newRow("a runtime folder open to others") << true;
    }
    void converterWritesNothing() {
        QFETCH(bool, openFolder);
        const QString strace = QStandardPaths::findExecutable(QStringLiteral("strace"));
        if (strace.isEmpty())
            QSKIP("no strace (scripts/install-deps.sh installs it)");
        QTemporaryDir tmp;
        QVERIFY(tmp.isValid());
        EmfWriter emf;
        emf.select(emf.brush(qRgb(0, 0, 200)));
        emf.rectangle(10, 10, 60, 30);
        const QString file = tmp.filePath(QStringLiteral("p.emf"));
        QVERIFY(writeFile(file, emf.bytes(QRect(0, 0, 2000, 1000))));
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove(QStringLiteral("XDG_RUNTIME_DIR"));
        // LeakSanitizer cannot stop a traced process's threads.
        env.insert(QStringLiteral("ASAN_OPTIONS"), QStringLiteral("detect_leaks=0"));
        if (openFolder) {
            const QString runtime = tmp.filePath(QStringLiteral("runtime"));
            QVERIFY(QDir().mkdir(runtime));
            QVERIFY(QFile::setPermissions(runtime, QFile::ReadOwner | QFile::WriteOwner |
                                                       QFile::ExeOwner | QFile::ReadOther |
                                                       QFile::ExeOther));
            env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime);
        }
        const QString logs = tmp.filePath(QStringLiteral("trace"));
        QVERIFY(QDir().mkdir(logs));
        QProcess p;
        p.setProcessEnvironment(env);
        p.start(strace, {"-f", "-ff", "-qq", "-o", logs + QStringLiteral("/log"), "-e",
                         "trace=execve,mkdir,mkdirat,creat,open,openat,rename,renameat,renameat2,"
                         "unlink,unlinkat,rmdir,link,linkat,symlink,symlinkat,truncate",
                         ZENTRAQ_CLI, "picture", file, "-q", "-o", tmp.filePath("out.txt")});
        QVERIFY(p.waitForFinished(120000));
        if (p.exitCode() != 0 && p.readAllStandardError().contains("PTRACE"))
            QSKIP("strace cannot trace here");
        QCOMPARE(p.exitCode(), 0);
        int converters = 0;
        for (const QFileInfo& log : QDir(logs).entryInfoList(QDir::Files)) {
            const QByteArray calls = readFile(log.filePath());
            if (!calls.contains("zentraq-metafile\""))
                continue;
            ++converters;
            for (const QByteArray& call : calls.split('\n')) {
                const bool writes = call.startsWith("mkdir") || call.startsWith("creat") ||
                                    call.startsWith("rename") || call.startsWith("unlink") ||
                                    call.startsWith("rmdir") || call.startsWith("link") ||
                                    call.startsWith("symlink") || call.startsWith("truncate") ||
                                    call.contains("O_CREAT") || call.contains("O_WRONLY") ||
                                    call.contains("O_RDWR") || call.contains("O_TRUNC");
                // Qt tries mkdir on the runtime folder it is given, the one
                // the loader made for the run; it fails, as the folder is
                // there, and the folder is gone afterwards.
                if (call.startsWith("mkdir(\"")) {
                    const QByteArray folder = call.mid(7, call.indexOf('"', 7) - 7);
                    QVERIFY2(folder.startsWith(QFile::encodeName(QDir::tempPath()) +
                                               "/zentraq-metafile-") &&
                                 call.contains(" = -1 EEXIST"),
                             call.constData());
                    QVERIFY(!QFileInfo::exists(QFile::decodeName(folder)));
                    continue;
                }
                QVERIFY2(!writes, call.constData());
            }
        }
        QCOMPARE(converters, 1);
        // Nor is anything left beside the picture but the result.
        QCOMPARE(QDir(tmp.path()).entryList(QDir::Files), (QStringList{"out.txt", "p.emf"}));
    }
};

QTEST_MAIN(CliMetafileTest)
#include "test_cli_metafile.moc"
