// The bounds a helper program runs under: its input, its environment, no
// files written and its memory. Its deadline, signals, exit codes, a missing
// program and output taken only as far as wanted are checked through the
// metafile converter (test_metafile's converterFaults).
#include "boundedprocess.h"

#include <QtTest>

#include <QFile>
#include <QTemporaryDir>

#include <sys/mman.h>
#include <unistd.h>

using namespace zentraq::rgbqumo;

namespace {

struct Run {
    ProcessOutcome outcome;
    QByteArray out;
};

// /bin/sh -c `script` with `input` on its standard input.
Run shell(const QByteArray& script, const QByteArray& input = {}, ProcessBounds bounds = {}) {
    const int fd = ::memfd_create("test", MFD_CLOEXEC);
    if (fd < 0 || ::write(fd, input.constData(), size_t(input.size())) != input.size())
        return {};
    Run r;
    r.outcome =
        runBounded(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), QString::fromUtf8(script)}, fd,
                   bounds, [&r](QByteArrayView bytes) {
                       r.out += bytes;
                       return true;
                   });
    ::close(fd);
    return r;
}

} // namespace

class BoundedProcessTest : public QObject {
    Q_OBJECT

private slots:
    void outcomes_data() {
        QTest::addColumn<QByteArray>("script");
        QTest::addColumn<int>("status");
        QTest::addColumn<int>("code");
        QTest::addColumn<QByteArray>("out");
        QTest::newRow("its input from the start")
            << QByteArray("cat") << int(ProcessOutcome::Exited) << 0
            << QByteArray("metafile bytes");
        QTest::newRow("exit status") << QByteArray("printf half; exit 7")
                                     << int(ProcessOutcome::Exited) << 7 << QByteArray("half");
        QTest::newRow("error output dropped")
            << QByteArray("echo noise >&2; printf ok") << int(ProcessOutcome::Exited) << 0
            << QByteArray("ok");
        // Writing a file fails; the program goes on.
        QTest::newRow("no file written")
            << QByteArray("printf x > \"$TMPDIR/written\" || printf refused")
            << int(ProcessOutcome::Exited) << 0 << QByteArray("refused");
        QTest::newRow("a fixed environment")
            << QByteArray(
                   "printf '%s,%s,%s' \"$LC_ALL\" \"$QT_QPA_PLATFORM\" \"$ZENTRAQ_TEST_SECRET\"")
            << int(ProcessOutcome::Exited) << 0 << QByteArray("C.UTF-8,offscreen,");
    }
    void outcomes() {
        QFETCH(QByteArray, script);
        QFETCH(int, status);
        QFETCH(int, code);
        QFETCH(QByteArray, out);
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        qputenv("ZENTRAQ_TEST_SECRET", "kept here");
        ProcessBounds bounds;
        bounds.environment << "TMPDIR=" + QFile::encodeName(dir.path());
        const Run r = shell(script, "metafile bytes", bounds);
        QCOMPARE(int(r.outcome.status), status);
        QCOMPARE(r.outcome.code, code);
        QCOMPARE(r.out, out);
        QVERIFY(!QFile::exists(dir.filePath(QStringLiteral("written"))) ||
                QFileInfo(dir.filePath(QStringLiteral("written"))).size() == 0);
    }

    // A program that asks for more memory than its bound does not get it.
    void memory() {
        ProcessBounds bounds;
        bounds.memoryBytes = qint64(256) << 20;
        const Run r = shell("exec python3 -c 'b = bytearray(1 << 30); print(len(b))'", {}, bounds);
        QCOMPARE(int(r.outcome.status), int(ProcessOutcome::Exited));
        QVERIFY(r.outcome.code != 0);
        QVERIFY(r.out.isEmpty());
    }
};

QTEST_GUILESS_MAIN(BoundedProcessTest)
#include "test_bounded_process.moc"
