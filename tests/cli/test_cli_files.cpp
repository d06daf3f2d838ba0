// zentraq-cli against odd files: result files behind chains of links, with
// set-ID bits, in /dev/shm or on a full file system; pipes, terminals and
// sockets written in place; names that are not UTF-8; pictures that are cut
// short, may not be read or do not fit into memory. Every device written to
// is one the test makes itself.
#include "cli_runner.h"

#include "textrenderer.h"

#include <QBuffer>
#include <QFileInfo>
#include <QImage>
#include <QLocalServer>
#include <QLocalSocket>
#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <linux/capability.h>

using namespace zentraq::testing;

namespace {

// Red and green, 2 x 1, and their data: F800 and 07E0, low byte first.
QImage redGreen() {
    QImage image(2, 1, QImage::Format_RGB32);
    image.setPixel(0, 0, qRgb(255, 0, 0));
    image.setPixel(1, 0, qRgb(0, 255, 0));
    return image;
}
const QByteArray RedGreenText = "0x00,0xF8,0xE0,0x07,";

mode_t modeOf(const QString& path) {
    struct stat st {};
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_mode : 0;
}

// What `fd` holds now (at most 4 KiB).
QByteArray readNow(int fd) {
    QByteArray bytes(4096, '\0');
    bytes.truncate(qMax<qsizetype>(::read(fd, bytes.data(), 4096), 0));
    return bytes;
}

// Files named by bytes that are not UTF-8: written, read and removed by
// their bytes (the temporary folder cannot name them to remove them).
struct NativeFiles {
    QList<QByteArray> paths;
    ~NativeFiles() {
        for (const QByteArray& p : paths)
            ::unlink(p.constData());
    }
    const QByteArray& add(const QString& dir, const QByteArray& name) {
        return paths.emplace_back(QFile::encodeName(dir) + '/' + name);
    }
    static QByteArray read(const QByteArray& path) {
        const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC);
        const QByteArray bytes = fd < 0 ? QByteArray("<unreadable>") : readNow(fd);
        ::close(fd);
        return bytes;
    }
    static bool write(const QByteArray& path, const QByteArray& bytes) {
        const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        const bool ok =
            fd >= 0 && ::write(fd, bytes.constData(), std::size_t(bytes.size())) == bytes.size();
        return ::close(fd) == 0 && ok;
    }
};

// One line on standard error, from the tool, naming the problem.
bool oneLine(const QString& err, const QString& message) {
    return err.startsWith(QStringLiteral("zentraq-cli: ")) && err.count(u'\n') == 1 &&
           err.endsWith(u'\n') && err.contains(message);
}

// The tool's address space in the memory rows: enough to start and convert
// a small picture, not enough for 100 MB more.
void lowerMemory() {
    const rlimit limit{160'000'000, 160'000'000};
    ::setrlimit(RLIMIT_AS, &limit);
}

// As root, files are read whatever their permissions; without these two
// capabilities the tool obeys them like any user.
void obeyFilePermissions() {
    ::prctl(PR_CAPBSET_DROP, CAP_DAC_OVERRIDE, 0, 0, 0);
    ::prctl(PR_CAPBSET_DROP, CAP_DAC_READ_SEARCH, 0, 0, 0);
}

} // namespace

class TestCliFiles : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_picture;

    QString path(const QString& name) const { return m_dir.filePath(name); }
    int convertTo(const QString& out) const {
        return runCli({"picture", m_picture, "-q", "-o", out}).exitCode;
    }

private slots:
    void initTestCase() {
        ::umask(022);
        QVERIFY(m_dir.isValid());
        m_picture = path(QStringLiteral("red-green.png"));
        QVERIFY(redGreen().save(m_picture));
    }

    // The last target of a chain of links receives the result, with its
    // permissions but without set-user-ID and set-group-ID; the links stay,
    // also when the last one leads nowhere yet. A loop is refused.
    void linkChains() {
        QTemporaryDir dir;
        const auto in = [&dir](const char* name) { return dir.filePath(QString::fromUtf8(name)); };
        QVERIFY(writeFile(in("final"), "old"));
        QCOMPARE(::chmod(QFile::encodeName(in("final")).constData(), 06751), 0);
        QVERIFY(QFile::link("final", in("mid")) && QFile::link("mid", in("link1")));
        QCOMPARE(convertTo(in("link1")), 0);
        QCOMPARE(readFile(in("final")), RedGreenText);
        QCOMPARE(modeOf(in("final")) & 07777, mode_t(0751));
        QCOMPARE(QFileInfo(in("link1")).symLinkTarget(), in("mid"));
        QCOMPARE(QFileInfo(in("mid")).symLinkTarget(), in("final"));

        QVERIFY(QDir(dir.path()).mkdir("to"));
        QVERIFY(QFile::link(in("to/new"), in("d2")) && QFile::link("d2", in("d1")));
        QCOMPARE(convertTo(in("d1")), 0);
        QCOMPARE(readFile(in("to/new")), RedGreenText);
        QVERIFY(QFileInfo(in("d1")).isSymLink() && QFileInfo(in("d2")).isSymLink());

        QVERIFY(QFile::link("loop2", in("loop1")) && QFile::link("loop1", in("loop2")));
        const QStringList before = listing(dir.path());
        const CliRun loop = runCli({"picture", m_picture, "-o", in("loop1")});
        QCOMPARE(loop.exitCode, 1);
        QVERIFY2(oneLine(loop.err, "symbolic links"), qPrintable(loop.err));
        QCOMPARE(listing(dir.path()), before);
    }

    // A new file gets the usual permissions; /dev/stdout, while the standard
    // output goes to a file, is written in place.
    void newFileAndStandardOutput() {
        QTemporaryDir dir;
        const QString fresh = dir.filePath(QStringLiteral("fresh.txt"));
        QCOMPARE(convertTo(fresh), 0);
        QCOMPARE(modeOf(fresh) & 07777, mode_t(0644));
        const QString redirected = dir.filePath(QStringLiteral("stdout.txt"));
        QProcess p;
        p.setStandardOutputFile(redirected);
        p.start(QStringLiteral(ZENTRAQ_CLI), {"picture", m_picture, "-q", "-o", "/dev/stdout"});
        QVERIFY(p.waitForFinished(60000));
        QCOMPARE(p.exitCode(), 0);
        QCOMPARE(readFile(redirected), RedGreenText);
        QCOMPARE(listing(dir.path()), (QStringList{"fresh.txt", "stdout.txt"}));
    }

    // A regular file in /dev/shm is a file like any other: a failed run keeps
    // it, a good one replaces it whole (a reader of the old file still sees
    // the old content).
    void sharedMemoryFile() {
        QTemporaryDir shm(QStringLiteral("/dev/shm/zentraq-cli-test-XXXXXX"));
        if (!shm.isValid())
            QSKIP("no /dev/shm to make a folder in");
        const QString file = shm.filePath(QStringLiteral("out.txt"));
        QVERIFY(writeFile(file, "keep"));
        QCOMPARE(runCli({"picture", shm.filePath("none.png"), "-o", file}).exitCode, 1);
        QCOMPARE(readFile(file), QByteArray("keep"));

        QFile old(file);
        QVERIFY(old.open(QIODevice::ReadOnly));
        QCOMPARE(convertTo(file), 0);
        QCOMPARE(readFile(file), RedGreenText);
        QCOMPARE(old.readAll(), QByteArray("keep"));
        QCOMPARE(listing(shm.path()), QStringList{"out.txt"});
    }

    // A pipe, a terminal (through a link) and a socket are written in place
    // and stay what they are.
    void writtenInPlace() {
        QTemporaryDir dir;
        const QString fifo = dir.filePath("fifo");
        QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
        const int reader = ::open(QFile::encodeName(fifo).constData(), O_RDONLY | O_NONBLOCK);
        QCOMPARE(convertTo(fifo), 0);
        QCOMPARE(readNow(reader), RedGreenText);
        ::close(reader);
        QVERIFY(S_ISFIFO(modeOf(fifo)));

        // A pseudo-terminal of the test's own, raw so that it passes the
        // bytes as they are.
        const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
        QVERIFY(master >= 0 && ::grantpt(master) == 0 && ::unlockpt(master) == 0);
        const QString terminal = QFile::decodeName(::ptsname(master));
        const int slave = ::open(QFile::encodeName(terminal).constData(), O_RDWR | O_NOCTTY);
        termios raw{};
        QCOMPARE(::tcgetattr(slave, &raw), 0);
        ::cfmakeraw(&raw);
        QCOMPARE(::tcsetattr(slave, TCSANOW, &raw), 0);
        QVERIFY(QFile::link(terminal, dir.filePath("tty")));
        QCOMPARE(convertTo(dir.filePath("tty")), 0);
        QCOMPARE(readNow(master), RedGreenText);
        QVERIFY(S_ISLNK(modeOf(dir.filePath("tty"))) && S_ISCHR(modeOf(terminal)));
        ::close(slave);
        ::close(master);

        QLocalServer server;
        QVERIFY(server.listen(dir.filePath("socket")));
        QProcess tool;
        tool.start(QStringLiteral(ZENTRAQ_CLI),
                   {"picture", m_picture, "-q", "-o", dir.filePath("socket")});
        QVERIFY(server.waitForNewConnection(30000));
        QLocalSocket* peer = server.nextPendingConnection();
        QVERIFY(tool.waitForFinished(30000));
        QCOMPARE(tool.exitCode(), 0);
        peer->waitForReadyRead(1000);
        QCOMPARE(peer->readAll(), RedGreenText);
        QVERIFY(S_ISSOCK(modeOf(dir.filePath("socket"))));
    }

    // Binary data is not written to a terminal: refused as a command line
    // that cannot be carried out.
    void binaryNotToATerminal() {
        const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
        QVERIFY(master >= 0 && ::grantpt(master) == 0 && ::unlockpt(master) == 0);
        const QByteArray terminal = ::ptsname(master);
        const CliRun r = runCli({"glyph", "--size", "8x16", "A", "--binary"}, {}, [terminal] {
            const int fd = ::open(terminal.constData(), O_RDWR | O_NOCTTY);
            ::dup2(fd, STDOUT_FILENO);
        });
        ::close(master);
        QCOMPARE(r.exitCode, 2);
        QVERIFY2(oneLine(r.err, "binary data is not written to a terminal"), qPrintable(r.err));
    }

    // A full file system is reported in the system's words, and the old
    // file stays: 232 KiB of glyph data into 16 KiB, mounted where only the
    // tool's shell sees it.
    void noSpaceLeft() {
        QTemporaryDir dir;
        QVERIFY(QDir(dir.path()).mkdir("small"));
        const CliRun r = runProgram(
            "unshare",
            {"-m", "sh", "-c",
             "mount -t tmpfs -o size=16k tmpfs \"$1\" || exit 99; printf keep > \"$1/out\"; "
             "\"$2\" glyph --size 64x64 --ascii -q -o \"$1/out\"; rc=$?; cat \"$1/out\"; "
             "ls -A \"$1\"; exit $rc",
             "sh", dir.filePath("small"), ZENTRAQ_CLI},
            {}, {});
        if (r.exitCode == 99 || r.exitCode == -1)
            QSKIP("cannot mount a file system of the test's own here");
        QCOMPARE(r.exitCode, 1);
        QVERIFY2(oneLine(r.err, "No space left on device"), qPrintable(r.err));
        QCOMPARE(r.out, QByteArray("keepout\n"));
    }

    // Names that are not UTF-8 are used as they are, for every file the
    // tool reads and writes, and shown with their bytes as \xHH.
    void namesNotUtf8() {
        NativeFiles files;
        const QByteArray in = files.add(m_dir.path(), "in\xff\xfe.png");
        const QByteArray out = files.add(m_dir.path(), "out\xff.txt");
        const QByteArray header = files.add(m_dir.path(), "out\xfe.h");
        const QByteArray back = files.add(m_dir.path(), "back\xff.png");
        const QByteArray text = files.add(m_dir.path(), "text\xff.txt");
        const QByteArray font = files.add(m_dir.path(), "face\xff.ttf");
        QVERIFY(NativeFiles::write(in, readFile(m_picture)) && NativeFiles::write(text, "A|"));

        QCOMPARE(runCliBytes({"picture", in, "-q", "-o", out}).exitCode, 0);
        QCOMPARE(NativeFiles::read(out), RedGreenText);
        QCOMPARE(runCliBytes({"picture", in, "-q", "--format", "c", "-o", header}).exitCode, 0);
        QVERIFY(NativeFiles::read(header).contains("in\\xFF\\xFE.png, 2*1 pixels"));
        QCOMPARE(runCliBytes({"preview", out, "--width", "2", "-o", back}).exitCode, 0);
        QCOMPARE(QImage::fromData(NativeFiles::read(back)).convertToFormat(QImage::Format_RGB32),
                 redGreen());

        // The canvas face under another name draws what it draws.
        const QString face = zentraq::text::TextRenderer::shared().faces().primary.file;
        QVERIFY(::symlink(QFile::encodeName(face).constData(), font.constData()) == 0);
        const CliRun glyph = runCliBytes({"glyph", "-q", "--size=9x9", "--input", text});
        QCOMPARE(glyph.exitCode, 0);
        QCOMPARE(glyph.out, runCli({"glyph", "-q", "--size=9x9", "A|"}).out);
        QCOMPARE(
            runCliBytes({"glyph", "-q", "--size=9x9", "--input", text, "--font-file", font}).out,
            runCli({"glyph", "-q", "--size=9x9", "A|", "--font-file", face}).out);

        // The files the tool writes are named the same way. (A picture named
        // so that does not exist, and a TEXT that is not UTF-8, are in
        // tests/identity.)
        const CliRun noFolder =
            runCliBytes({"picture", in, "-q", "-o", files.add(m_dir.path(), "none\xff/out.txt")});
        QCOMPARE(noFolder.exitCode, 1);
        QVERIFY2(oneLine(noFolder.err, "none\\xFF/out.txt': the folder '" + m_dir.path() +
                                           "/none\\xFF' does not exist"),
                 qPrintable(noFolder.err));
        const CliRun noRule =
            runCliBytes({"picture", in, "-q", "-o", files.add(m_dir.path(), "a\xfe\nb.txt"),
                         "--depfile", files.add(m_dir.path(), "deps.d")});
        QCOMPARE(noRule.exitCode, 1);
        QVERIFY2(oneLine(noRule.err, "a\\xFE b.txt' in the depfile"), qPrintable(noRule.err));
    }

    // A picture that cannot be loaded, or a preview without the memory for
    // it: exit 1, one line, the old output as it was and nothing else left.
    void failuresKeepOutput_data() {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("setup");
        QTest::addColumn<QString>("message");

        // A PNG with its compressed pixels damaged, so that the decoder
        // itself fails and says so on standard error; cut in half; locked.
        QImage pattern(64, 64, QImage::Format_RGB32);
        for (int i = 0; i < 64 * 64; ++i)
            pattern.setPixel(i % 64, i / 64, qRgb(i * 7 % 256, i * 13 % 256, i * 29 % 256));
        QByteArray png;
        QBuffer buffer(&png);
        QVERIFY(buffer.open(QIODevice::WriteOnly) && pattern.save(&buffer, "PNG"));
        QByteArray damaged = png;
        for (qsizetype i = png.indexOf("IDAT") + 44; i < png.size() - 16; ++i)
            damaged[i] = char(damaged[i] ^ 0x5A);
        QVERIFY(writeFile(path("damaged.png"), damaged) && writeFile(path("locked.png"), png));
        QVERIFY(writeFile(path("cut.png"), png.left(png.size() / 2)));
        QVERIFY(QFile::setPermissions(path("locked.png"), {}));
        // 5000 x 5000 pixels of one colour: a small file, 100 MB decoded.
        QImage large(5000, 5000, QImage::Format_RGB32);
        large.fill(qRgb(40, 80, 120));
        QVERIFY(large.save(path("large.png")));
        // 64 glyphs of 16 x 16, drawn 64 times as large: 256 MB.
        QVERIFY(writeFile(path("glyphs.bin"), QByteArray(64 * 32, '\x55')));

        const auto picture = [this](const char* name) {
            return QStringList{"picture", path(QString::fromUtf8(name))};
        };
        const QString cannot = QStringLiteral("cannot read picture '") + m_dir.path() + u'/';
        QTest::newRow("cut short") << picture("cut.png") << ""
                                   << cannot + "cut.png': it is cut short: the file has " +
                                          QString::number(png.size() / 2) + " bytes";
        // The decoder's own words, in brackets.
        QTest::newRow("damaged")
            << picture("damaged.png") << ""
            << cannot + "damaged.png': its picture data is damaged or incomplete (libpng error: ";
        QTest::newRow("access denied")
            << picture("locked.png") << "permissions" << cannot + "locked.png': access is denied";
        QTest::newRow("no memory for the picture")
            << picture("large.png") << "memory"
            << cannot + "large.png': there is not enough memory for its pixels";
        // Failures of each command after its output was opened.
        QVERIFY(writeFile(path("notes.png"), "just text, not a picture\n"));
        QVERIFY(writeFile(path("bad-utf8.txt"), "A\xC3("));
        QVERIFY(writeFile(path("odd.txt"), "0x01,0x02,0x03,"));
        QTest::newRow("not a picture") << picture("notes.png") << "" << cannot + "notes.png'";
        QTest::newRow("text not UTF-8")
            << QStringList{"glyph", "--size", "8x16", "--input", path("bad-utf8.txt")} << ""
            << "is not UTF-8 text";
        QTest::newRow("empty text as C")
            << QStringList{"glyph", "--size", "8x16", "--format", "c", ""} << ""
            << "no characters";
        QTest::newRow("data not whole glyphs")
            << QStringList{"preview", path("odd.txt"), "--size", "8x16"} << ""
            << "holds 3 bytes, not a whole number of 16-byte 8x16 glyphs";
        QTest::newRow("no memory for the preview")
            << QStringList{"preview", path("glyphs.bin"), "--binary", "--size",
                           "16x16",   "--scale",          "64"}
            << "memory"
            << "there is not enough memory for a preview of 16384 x 4096 pixels";
    }

    void failuresKeepOutput() {
        QFETCH(QStringList, args);
        QFETCH(QString, setup);
        QFETCH(QString, message);
        std::function<void()> childSetup;
        if (setup == QLatin1String("permissions"))
            childSetup = obeyFilePermissions;
        if (setup == QLatin1String("memory")) {
#if defined(__SANITIZE_ADDRESS__)
            QSKIP("AddressSanitizer needs more address space than the limit leaves");
#endif
            childSetup = lowerMemory;
            if (runCli({"picture", m_picture, "-q"}, {}, lowerMemory).exitCode != 0)
                QSKIP("the tool needs more address space than the limit to start here");
        }
        QTemporaryDir dir;
        const QString out = dir.filePath("out");
        QVERIFY(writeFile(out, "keep"));
        const CliRun r = runCli(args + QStringList{"-o", out}, {}, childSetup);
        QCOMPARE(r.exitCode, 1);
        QVERIFY2(oneLine(r.err, message), qPrintable(r.err));
        QVERIFY(r.err.count(args[1]) <= 1); // named once at most
        QCOMPARE(readFile(out), QByteArray("keep"));
        QCOMPARE(listing(dir.path()), QStringList{"out"});
    }
};

QTEST_GUILESS_MAIN(TestCliFiles)
#include "test_cli_files.moc"
