// zentraq-cli writing its result file: interrupted after each step of the
// write by each signal it handles, the data and the folder synced around the
// rename, and a rename the system refuses.
#include "cli_runner.h"
#include "output.h"

#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <fcntl.h>
#include <spawn.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <linux/capability.h>

extern char** environ;

using namespace zentraq::testing;
using zentraq::cli::OutputStep;

Q_DECLARE_METATYPE(OutputStep)

namespace {

// Starts the stepped tool with `args`, its output streams on /dev/null, to
// stop after `step`. Returns its process id, or -1.
pid_t startStepped(const QStringList& args, OutputStep step) {
    QList<QByteArray> bytes{QByteArray(ZENTRAQ_STEPPED_CLI)};
    for (const QString& a : args)
        bytes << a.toUtf8();
    std::vector<char*> argv;
    for (QByteArray& b : bytes)
        argv.push_back(b.data());
    argv.push_back(nullptr);
    QByteArray stop = "ZENTRAQ_STOP_AFTER=" + QByteArray::number(int(step));
    std::vector<char*> envp{stop.data()};
    for (char** e = environ; *e; ++e)
        envp.push_back(*e);
    envp.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    const int error =
        posix_spawn(&pid, ZENTRAQ_STEPPED_CLI, &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    return error == 0 ? pid : -1;
}

// The status of `pid` once it stops or ends.
int waitFor(pid_t pid) {
    int status = 0;
    while (::waitpid(pid, &status, WUNTRACED) < 0 && errno == EINTR) {
    }
    return status;
}

// Without this capability even root may not replace another user's file in
// a sticky folder.
void obeyStickyFolders() {
    ::prctl(PR_CAPBSET_DROP, CAP_FOWNER, 0, 0, 0);
}

} // namespace

class TestCliOutput : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_picture;
    QByteArray m_data; // what the tool makes of m_picture

private slots:
    void initTestCase() {
        QVERIFY(m_dir.isValid());
        m_picture = m_dir.filePath(QStringLiteral("in.png"));
        QImage picture(40, 30, QImage::Format_RGB32);
        picture.fill(qRgb(200, 100, 50));
        QVERIFY(picture.save(m_picture));
        const CliRun r = runCli({"picture", m_picture, "-q"});
        QCOMPARE(r.exitCode, 0);
        m_data = r.out;
    }

    // Stopped after a step, sent a signal and let go: it dies of the signal
    // and leaves the old file (or none) before the rename, the whole new file
    // after it, and never its temporary file.
    void interruptedAtEachStep_data() {
        QTest::addColumn<OutputStep>("step");
        QTest::addColumn<int>("signal");
        QTest::addColumn<bool>("oldFile");
        const std::pair<OutputStep, const char*> steps[] = {
            {OutputStep::TemporaryCreated, "temporary file created"},
            {OutputStep::DataWritten, "data written"},
            {OutputStep::DataSynced, "data synced"},
            {OutputStep::Renamed, "renamed"},
            {OutputStep::FolderSynced, "folder synced"}};
        const std::pair<int, const char*> handled[] = {
            {SIGINT, "SIGINT"}, {SIGTERM, "SIGTERM"}, {SIGHUP, "SIGHUP"}};
        for (const auto& [step, stepName] : steps)
            for (const auto& [sig, sigName] : handled)
                for (const bool old : {false, true})
                    QTest::addRow("%s, %s, %s", stepName, sigName, old ? "over a file" : "new")
                        << step << sig << old;
    }

    void interruptedAtEachStep() {
        QFETCH(OutputStep, step);
        QFETCH(int, signal);
        QFETCH(bool, oldFile);
        QTemporaryDir dir;
        const QString out = dir.filePath(QStringLiteral("out.txt"));
        if (oldFile)
            QVERIFY(writeFile(out, "old"));

        const pid_t pid = startStepped({"picture", m_picture, "-q", "-o", out}, step);
        QVERIFY(pid > 0);
        const int stopped = waitFor(pid);
        QVERIFY2(WIFSTOPPED(stopped), "the tool ended before the step");
        QCOMPARE(::kill(pid, signal), 0);
        QCOMPARE(::kill(pid, SIGCONT), 0);
        const int ended = waitFor(pid);
        QVERIFY(WIFSIGNALED(ended));
        QCOMPARE(WTERMSIG(ended), signal);

        const bool replaced = step >= OutputStep::Renamed;
        QCOMPARE(listing(dir.path()), replaced || oldFile ? QStringList{"out.txt"} : QStringList{});
        if (replaced)
            QCOMPARE(readFile(out), m_data);
        else if (oldFile)
            QCOMPARE(readFile(out), QByteArray("old"));
    }

    // The system's own record of what the tool asked of it: the data synced
    // before the rename, the folder after it.
    void syncedAroundTheRename() {
        const QString strace = QStandardPaths::findExecutable(QStringLiteral("strace"));
        if (strace.isEmpty())
            QSKIP("no strace");
        QTemporaryDir dir;
        const QString out = dir.filePath(QStringLiteral("out.txt"));
        const QString log = m_dir.filePath(QStringLiteral("strace.log"));
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("ASAN_OPTIONS"), QStringLiteral("detect_leaks=0"));
        p.setProcessEnvironment(env);
        p.start(strace, {"-f", "-qq", "-s", "4096", "-o", log, "-e",
                         "trace=openat,fsync,fdatasync,close,rename,renameat,renameat2",
                         ZENTRAQ_CLI, "picture", m_picture, "-q", "-o", out});
        QVERIFY(p.waitForFinished(60000));
        if (p.exitCode() != 0 && p.readAllStandardError().contains("ptrace"))
            QSKIP("strace cannot trace here");
        QCOMPARE(p.exitCode(), 0);
        QCOMPARE(readFile(out), m_data);

        // "PID call(args) = result", one per line.
        QStringList calls;
        for (const QByteArray& line : readFile(log).split('\n'))
            calls << QString::fromUtf8(line.mid(line.indexOf(' ') + 1)).trimmed();
        const QString folder = dir.path();
        const auto find = [&](const auto& matches, qsizetype from = 0) {
            for (qsizetype i = from; i < calls.size(); ++i)
                if (matches(calls[i]))
                    return i;
            return qsizetype(-1);
        };
        const auto result = [](const QString& call) {
            return call.section(QStringLiteral(" = "), -1).section(u' ', 0, 0);
        };
        const qsizetype created = find([&](const QString& c) {
            return c.startsWith("openat(") && c.contains("\"" + folder + "/.out.txt.") &&
                   c.contains("O_CREAT");
        });
        QVERIFY2(created >= 0, qPrintable(calls.join(u'\n')));
        const QString temp = "fsync(" + result(calls[created]) + ")";
        const qsizetype synced =
            find([&](const QString& c) { return c.startsWith(temp); }, created);
        const qsizetype renamed = find(
            [&](const QString& c) {
                return c.startsWith("rename") && c.contains("\"" + out + "\"") &&
                       c.endsWith(" = 0");
            },
            created);
        const qsizetype folderOpened = find(
            [&](const QString& c) {
                return c.startsWith("openat(") && c.contains("\"" + folder + "\"") &&
                       c.contains("O_DIRECTORY");
            },
            created);
        QVERIFY2(synced > created && renamed > synced, qPrintable(calls.join(u'\n')));
        QVERIFY2(folderOpened > renamed, qPrintable(calls.join(u'\n')));
        const QString folderSync = "fsync(" + result(calls[folderOpened]) + ")";
        QVERIFY2(find([&](const QString& c) { return c.startsWith(folderSync); }, folderOpened) >
                     folderOpened,
                 qPrintable(calls.join(u'\n')));
    }

    // Another user's file in a sticky folder cannot be replaced: the rename
    // fails, and the tool says so in one line and leaves the file and the
    // folder as they were.
    void renameRefused() {
        QTemporaryDir dir;
        const QString sticky = dir.filePath(QStringLiteral("sticky"));
        const QString out = sticky + QStringLiteral("/out.txt");
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("sticky")));
        QVERIFY(writeFile(out, "keep"));
        const QByteArray folder = QFile::encodeName(sticky);
        const QByteArray file = QFile::encodeName(out);
        if (::chown(folder.constData(), 65534, 65534) != 0 ||
            ::chown(file.constData(), 65534, 65534) != 0)
            QSKIP("cannot give the folder to another user (the test is not root)");
        QCOMPARE(::chmod(folder.constData(), 01777), 0);
        QCOMPARE(::chmod(file.constData(), 0666), 0);

        const CliRun r = runCli({"picture", m_picture, "-q", "-o", out}, {}, obeyStickyFolders);
        QCOMPARE(r.exitCode, 1);
        QCOMPARE(r.err, QStringLiteral("zentraq-cli: cannot write '%1': %2\n")
                            .arg(out, QString::fromLocal8Bit(std::strerror(EPERM))));
        QCOMPARE(readFile(out), QByteArray("keep"));
        QCOMPARE(listing(sticky), QStringList{"out.txt"});
    }
};

QTEST_GUILESS_MAIN(TestCliOutput)
#include "test_cli_output.moc"
