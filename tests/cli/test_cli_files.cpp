// zentraq-cli against odd files: result files behind chains of links, with
// set-user-ID bits, in /dev/shm or on a full file system; devices, pipes and
// sockets written in place; names with '%' or bytes that are not UTF-8; and
// pictures that are cut short, may not be read or do not fit into memory.
// Every device written to is one the test makes itself.
#include "cli_runner.h"

#include "textrenderer.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QLocalServer>
#include <QLocalSocket>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>
#include <unistd.h>

#include <linux/capability.h>

using zentraq::testing::CliRun;
using zentraq::testing::listing;
using zentraq::testing::readFile;
using zentraq::testing::runCli;
using zentraq::testing::runCliBytes;
using zentraq::testing::runProgram;
using zentraq::testing::writeFile;

namespace {

// The 2 x 1 picture red, green and its data text, worked out by hand:
// red F800 and green 07E0, low byte first.
QImage redGreen() {
    QImage image(2, 1, QImage::Format_RGB32);
    image.setPixel(0, 0, qRgb(255, 0, 0));
    image.setPixel(1, 0, qRgb(0, 255, 0));
    return image;
}
const QByteArray RedGreenText = "0x00,0xF8,0xE0,0x07,";

mode_t modeOf(const QByteArray& path) {
    struct stat st {};
    return ::lstat(path.constData(), &st) == 0 ? st.st_mode : 0;
}

// The whole content of a file named by its bytes.
QByteArray readNative(const QByteArray& path) {
    const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return "<unreadable>";
    QByteArray bytes;
    char chunk[4096];
    ssize_t n = 0;
    while ((n = ::read(fd, chunk, sizeof chunk)) > 0)
        bytes.append(chunk, n);
    ::close(fd);
    return bytes;
}

bool writeNative(const QByteArray& path, const QByteArray& bytes) {
    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        return false;
    const bool ok = ::write(fd, bytes.constData(), std::size_t(bytes.size())) == bytes.size();
    return ::close(fd) == 0 && ok;
}

// Files named by bytes that are not UTF-8, removed at the end of the scope
// (the temporary folder cannot name them to remove them).
struct NativeFiles {
    QList<QByteArray> paths;
    ~NativeFiles() {
        for (const QByteArray& p : paths)
            ::unlink(p.constData());
    }
    const QByteArray& operator<<(const QByteArray& p) { return paths.emplace_back(p); }
};

// What arrives on `fd` within a few seconds, until `expected` bytes came.
QByteArray readFor(int fd, qsizetype expected) {
    QByteArray bytes;
    char chunk[4096];
    while (bytes.size() < expected) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 5000) <= 0)
            break;
        const ssize_t n = ::read(fd, chunk, sizeof chunk);
        if (n <= 0)
            break;
        bytes.append(chunk, n);
    }
    return bytes;
}

// One line on standard error, from the tool, naming the problem.
bool oneLine(const QString& err, const QString& message) {
    return err.startsWith(QStringLiteral("zentraq-cli: ")) && err.count(u'\n') == 1 &&
           err.endsWith(u'\n') && err.contains(message);
}

#if defined(__SANITIZE_ADDRESS__)
constexpr bool UnderAddressSanitizer = true;
#else
constexpr bool UnderAddressSanitizer = false;
#endif

// The tool's address space in the memory rows: enough to start and convert
// a small picture, not enough for 100 MB more.
constexpr rlim_t LowMemory = 160'000'000;

void lowerMemory() {
    const rlimit limit{LowMemory, LowMemory};
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
    QByteArray native(const QByteArray& name) const {
        return QFile::encodeName(m_dir.path()) + '/' + name;
    }

private slots:
    void initTestCase() {
        ::umask(022);
        QVERIFY(m_dir.isValid());
        m_picture = path(QStringLiteral("red-green.png"));
        QVERIFY(redGreen().save(m_picture));
    }

    // The last target of a chain of links receives the result; the links
    // stay as they were, also when the last one leads nowhere yet.
    void linkChains() {
        QTemporaryDir dir;
        const QString final = dir.filePath(QStringLiteral("final.txt"));
        QVERIFY(writeFile(final, "old"));
        QVERIFY(QFile::link(QStringLiteral("final.txt"), dir.filePath(QStringLiteral("mid"))));
        QVERIFY(QFile::link(QStringLiteral("mid"), dir.filePath(QStringLiteral("link1"))));
        QCOMPARE(runCli({"picture", m_picture, "-q", "-o", dir.filePath(QStringLiteral("link1"))})
                     .exitCode,
                 0);
        QCOMPARE(readFile(final), RedGreenText);
        QCOMPARE(QFileInfo(dir.filePath(QStringLiteral("link1"))).symLinkTarget(),
                 dir.filePath(QStringLiteral("mid")));
        QCOMPARE(QFileInfo(dir.filePath(QStringLiteral("mid"))).symLinkTarget(), final);

        // to/new.txt does not exist: made through the chain.
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("to")));
        QVERIFY(QFile::link(dir.filePath(QStringLiteral("to/new.txt")),
                            dir.filePath(QStringLiteral("d2"))));
        QVERIFY(QFile::link(QStringLiteral("d2"), dir.filePath(QStringLiteral("d1"))));
        QCOMPARE(
            runCli({"picture", m_picture, "-q", "-o", dir.filePath(QStringLiteral("d1"))}).exitCode,
            0);
        QCOMPARE(readFile(dir.filePath(QStringLiteral("to/new.txt"))), RedGreenText);
        QVERIFY(QFileInfo(dir.filePath(QStringLiteral("d1"))).isSymLink());

        QVERIFY(QFile::link(QStringLiteral("loop2"), dir.filePath(QStringLiteral("loop1"))));
        QVERIFY(QFile::link(QStringLiteral("loop1"), dir.filePath(QStringLiteral("loop2"))));
        const QStringList before = listing(dir.path());
        const CliRun loop =
            runCli({"picture", m_picture, "-o", dir.filePath(QStringLiteral("loop1"))});
        QCOMPARE(loop.exitCode, 1);
        QVERIFY2(oneLine(loop.err, QStringLiteral("symbolic links")), qPrintable(loop.err));
        QCOMPARE(listing(dir.path()), before);
    }

    // The new file has the old one's permissions but never its set-user-ID
    // and set-group-ID bits.
    void setIdBitsDropped() {
        QTemporaryDir dir;
        const QByteArray file = QFile::encodeName(dir.filePath(QStringLiteral("tool")));
        QVERIFY(writeFile(QFile::decodeName(file), "old"));
        QCOMPARE(::chmod(file.constData(), 06751), 0);
        QCOMPARE(runCli({"picture", m_picture, "-q", "-o", QFile::decodeName(file)}).exitCode, 0);
        QCOMPARE(modeOf(file) & 07777, mode_t(0751));
        QCOMPARE(readFile(QFile::decodeName(file)), RedGreenText);
    }

    // A regular file in /dev/shm is a file like any other: a read-only one is
    // refused, a failed run keeps it, a good one replaces it whole (a reader
    // of the old file still sees the old content).
    void sharedMemoryFile() {
        QTemporaryDir shm(QStringLiteral("/dev/shm/zentraq-cli-test-XXXXXX"));
        if (!shm.isValid())
            QSKIP("no /dev/shm to make a folder in");
        const QString file = shm.filePath(QStringLiteral("out.txt"));
        QVERIFY(writeFile(file, "keep"));
        QVERIFY(QFile::setPermissions(file, QFileDevice::ReadOwner | QFileDevice::ReadGroup));
        const CliRun readOnly = runCli({"picture", m_picture, "-o", file});
        QCOMPARE(readOnly.exitCode, 1);
        QVERIFY2(oneLine(readOnly.err, QStringLiteral("it is read-only")),
                 qPrintable(readOnly.err));
        QCOMPARE(readFile(file), QByteArray("keep"));

        QVERIFY(QFile::setPermissions(file, QFileDevice::ReadOwner | QFileDevice::WriteOwner));
        QCOMPARE(runCli({"picture", shm.filePath(QStringLiteral("none.png")), "-o", file}).exitCode,
                 1);
        QCOMPARE(readFile(file), QByteArray("keep"));

        QFile old(file);
        QVERIFY(old.open(QIODevice::ReadOnly));
        QCOMPARE(runCli({"picture", m_picture, "-q", "-o", file}).exitCode, 0);
        QCOMPARE(readFile(file), RedGreenText);
        QCOMPARE(old.readAll(), QByteArray("keep"));
        QCOMPARE(listing(shm.path()), QStringList{"out.txt"});
    }

    // A pipe, a terminal (through a link) and a socket are written in place
    // and stay what they are.
    void writtenInPlace() {
        QTemporaryDir dir;
        const QByteArray fifo = QFile::encodeName(dir.filePath(QStringLiteral("fifo")));
        QCOMPARE(::mkfifo(fifo.constData(), 0600), 0);
        const int reader = ::open(fifo.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        QVERIFY(reader >= 0);
        QCOMPARE(runCli({"picture", m_picture, "-q", "-o", QFile::decodeName(fifo)}).exitCode, 0);
        QCOMPARE(readFor(reader, RedGreenText.size()), RedGreenText);
        ::close(reader);
        QVERIFY(S_ISFIFO(modeOf(fifo)));

        // A pseudo-terminal of the test's own, raw so that it passes the
        // bytes as they are.
        const int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        QVERIFY(master >= 0);
        QVERIFY(::grantpt(master) == 0 && ::unlockpt(master) == 0);
        const QByteArray terminal = ::ptsname(master);
        const int slave = ::open(terminal.constData(), O_RDWR | O_NOCTTY | O_CLOEXEC);
        QVERIFY(slave >= 0);
        termios raw{};
        QCOMPARE(::tcgetattr(slave, &raw), 0);
        ::cfmakeraw(&raw);
        QCOMPARE(::tcsetattr(slave, TCSANOW, &raw), 0);
        const QString link = dir.filePath(QStringLiteral("tty"));
        QVERIFY(QFile::link(QFile::decodeName(terminal), link));
        QCOMPARE(runCli({"picture", m_picture, "-q", "-o", link}).exitCode, 0);
        QCOMPARE(readFor(master, RedGreenText.size()), RedGreenText);
        QVERIFY(QFileInfo(link).isSymLink());
        QVERIFY(S_ISCHR(modeOf(terminal)));
        ::close(slave);
        ::close(master);

        QLocalServer server;
        const QString socket = dir.filePath(QStringLiteral("socket"));
        QVERIFY(server.listen(socket));
        QProcess tool;
        tool.start(QStringLiteral(ZENTRAQ_CLI), {"picture", m_picture, "-q", "-o", socket});
        QVERIFY(server.waitForNewConnection(30000));
        QLocalSocket* peer = server.nextPendingConnection();
        QByteArray received;
        while (peer->state() == QLocalSocket::ConnectedState && peer->waitForReadyRead(10000))
            received += peer->readAll();
        received += peer->readAll();
        QVERIFY(tool.waitForFinished(30000));
        QCOMPARE(tool.exitCode(), 0);
        QCOMPARE(received, RedGreenText);
        QVERIFY(S_ISSOCK(modeOf(QFile::encodeName(socket))));
    }

    // A full file system or device is reported in the system's words, and
    // the old file stays. The device is a node of the test's own for the
    // kernel's always-full device (1, 7), made in its folder.
    void noSpaceLeft() {
        QTemporaryDir dir;
        const QByteArray full = QFile::encodeName(dir.filePath(QStringLiteral("full")));
        if (::mknod(full.constData(), S_IFCHR | 0600, makedev(1, 7)) != 0)
            QSKIP("cannot make a device node here");
        const CliRun device = runCli({"picture", m_picture, "-o", QFile::decodeName(full)});
        QCOMPARE(device.exitCode, 1);
        QVERIFY2(oneLine(device.err, QStringLiteral("No space left on device")),
                 qPrintable(device.err));
        QVERIFY(S_ISCHR(modeOf(full)));

        // A 16 KiB file system, mounted where only this process and its
        // children see it, for 232 KiB of glyph data.
        const QString unshare = QStandardPaths::findExecutable(QStringLiteral("unshare"));
        if (unshare.isEmpty())
            QSKIP("no unshare to mount a small file system privately");
        const QString mount = dir.filePath(QStringLiteral("small"));
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("small")));
        const CliRun r = runProgram(
            unshare,
            {"-m", "sh", "-c",
             "mount -t tmpfs -o size=16k tmpfs \"$1\" || exit 99; printf keep > \"$1/out.txt\"; "
             "\"$2\" glyph --size 64x64 --ascii -q -o \"$1/out.txt\"; rc=$?; "
             "cat \"$1/out.txt\"; ls -A \"$1\"; exit $rc",
             "sh", mount, QStringLiteral(ZENTRAQ_CLI)},
            {}, {});
        if (r.exitCode == 99 || (r.exitCode == 1 && r.out.isEmpty()))
            QSKIP("cannot mount a file system here");
        QCOMPARE(r.exitCode, 1);
        QVERIFY2(oneLine(r.err, QStringLiteral("No space left on device")), qPrintable(r.err));
        QCOMPARE(r.out, QByteArray("keepout.txt\n"));
    }

    // '%' in names reaches messages and C headers as it is.
    void percentInNames() {
        const QString in = path(QStringLiteral("a%2b%1.png"));
        QVERIFY(QFile::copy(m_picture, in));
        const QString out = path(QStringLiteral("o%1%2.h"));
        const CliRun r = runCli({"picture", in, "--format", "c", "-o", out});
        QCOMPARE(r.exitCode, 0);
        QVERIFY2(readFile(out).contains(" * Picture data made by zentraq-cli: " + in.toUtf8() +
                                        ", 2*1 pixels, 4 bytes\r\n"),
                 readFile(out).constData());

        const QString charset = path(QStringLiteral("set%1.txt"));
        QVERIFY(writeFile(charset, "AB"));
        const CliRun library =
            runCli({"library", "--charset", charset, "--size", "8x16", "--format", "c", "-q"});
        QCOMPARE(library.exitCode, 0);
        QVERIFY(library.out.contains(" * charset: the 2 distinct characters of " +
                                     charset.toUtf8() + ", in code-point order\r\n"));
    }

    // Names that are not UTF-8 are used as they are, for input and output,
    // and shown with their bytes as \xHH.
    void namesNotUtf8() {
        NativeFiles files;
        const QByteArray in = files << native("in\xff\xfe.png");
        QVERIFY(writeNative(in, readFile(m_picture)));
        const QByteArray out = files << native("out\xff.txt");
        const CliRun picture = runCliBytes({"picture", in, "-q", "-o", out});
        QCOMPARE(picture.exitCode, 0);
        QCOMPARE(readNative(out), RedGreenText);

        const QByteArray header = files << native("out\xfe.h");
        QCOMPARE(runCliBytes({"picture", in, "-q", "--format", "c", "-o", header}).exitCode, 0);
        QVERIFY2(readNative(header).contains("in\\xFF\\xFE.png, 2*1 pixels"),
                 readNative(header).constData());

        const QByteArray back = files << native("back\xff.png");
        QCOMPARE(runCliBytes({"preview", out, "--width", "2", "-o", back}).exitCode, 0);
        QCOMPARE(QImage::fromData(readNative(back)).convertToFormat(QImage::Format_RGB32),
                 redGreen());

        const QByteArray text = files << native("text\xff.txt");
        QVERIFY(writeNative(text, "A"));
        const CliRun glyph = runCliBytes({"glyph", "--size", "8x16", "--input", text, "-q"});
        QCOMPARE(glyph.exitCode, 0);
        QCOMPARE(glyph.out, runCli({"glyph", "--size", "8x16", "A", "-q"}).out);

        const CliRun missing = runCliBytes({"picture", native("gone\xff.png")});
        QCOMPARE(missing.exitCode, 1);
        QVERIFY2(oneLine(missing.err, QStringLiteral("gone\\xFF.png': it does not exist")),
                 qPrintable(missing.err));

        const CliRun notText = runCliBytes({"glyph", "--size", "8x16", "A\xff"});
        QCOMPARE(notText.exitCode, 2);
        QVERIFY2(oneLine(notText.err, QStringLiteral("the TEXT is not UTF-8")),
                 qPrintable(notText.err));
    }

    // A font file by a name that is not UTF-8 draws what the same file does
    // by its own name.
    void fontFileNotUtf8() {
        const QString face = zentraq::text::TextRenderer::shared().faces().primary.file;
        if (face.isEmpty())
            QSKIP("no canvas face");
        NativeFiles files;
        const QByteArray copy = files << native("face\xff.ttf");
        QVERIFY(::symlink(QFile::encodeName(face).constData(), copy.constData()) == 0);
        const CliRun byName =
            runCli({"glyph", "--size", "16x16", "--font-file", face, "中A", "-q"});
        QCOMPARE(byName.exitCode, 0);
        const CliRun r =
            runCliBytes({"glyph", "--size", "16x16", "--font-file", copy, "中A", "-q"});
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(r.out, byName.out);
    }

    // A picture that cannot be loaded, or a preview without the memory for
    // it: exit 1, one line, the old output as it was and nothing else left.
    void failuresKeepOutput_data() {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("setup");
        QTest::addColumn<QString>("message");

        // A PNG with its compressed pixels damaged, so that the decoder
        // itself fails and says so on standard error.
        QImage noise(64, 64, QImage::Format_RGB32);
        for (int i = 0; i < 64 * 64; ++i)
            noise.setPixel(i % 64, i / 64, qRgb(i * 7 % 256, i * 13 % 256, i * 29 % 256));
        QByteArray png;
        {
            QBuffer buffer(&png);
            buffer.open(QIODevice::WriteOnly);
            QVERIFY(noise.save(&buffer, "PNG"));
        }
        const qsizetype idat = png.indexOf("IDAT") + 4;
        QByteArray damaged = png;
        for (qsizetype i = idat + 40; i < idat + 400 && i < damaged.size() - 20; ++i)
            damaged[i] = char(damaged[i] ^ 0x5A);
        QVERIFY(writeFile(path(QStringLiteral("damaged.png")), damaged));
        QVERIFY(writeFile(path(QStringLiteral("cut.png")), png.left(png.size() / 2)));
        QVERIFY(writeFile(path(QStringLiteral("locked.png")), png));
        QVERIFY(QFile::setPermissions(path(QStringLiteral("locked.png")), {}));

        // 5000 x 5000 pixels of one colour: a small file, 100 MB decoded.
        QImage large(5000, 5000, QImage::Format_RGB32);
        large.fill(qRgb(40, 80, 120));
        QVERIFY(large.save(path(QStringLiteral("large.png"))));
        // 64 glyphs of 16 x 16, drawn 64 times as large: 256 MB.
        QVERIFY(writeFile(path(QStringLiteral("glyphs.bin")), QByteArray(64 * 32, '\x55')));

        const QString cannot = QStringLiteral("cannot read picture '");
        QTest::newRow("cut short") << QStringList{"picture", path(QStringLiteral("cut.png"))}
                                   << QString() << cannot + path(QStringLiteral("cut.png"));
        QTest::newRow("damaged") << QStringList{"picture", path(QStringLiteral("damaged.png"))}
                                 << QString() << cannot + path(QStringLiteral("damaged.png"));
        QTest::newRow("access denied")
            << QStringList{"picture", path(QStringLiteral("locked.png"))} << "permissions"
            << cannot + path(QStringLiteral("locked.png")) + QStringLiteral("': access is denied");
        QTest::newRow("no memory for the picture")
            << QStringList{"picture", path(QStringLiteral("large.png"))} << "memory"
            << cannot + path(QStringLiteral("large.png")) +
                   QStringLiteral("': there is not enough memory for its pixels");
        QTest::newRow("no memory for the preview")
            << QStringList{"preview",  path(QStringLiteral("glyphs.bin")),
                           "--binary", "--size",
                           "16x16",    "--scale",
                           "64"}
            << "memory"
            << QStringLiteral("there is not enough memory for a preview of 16384 x 4096 pixels");
    }

    void failuresKeepOutput() {
        QFETCH(QStringList, args);
        QFETCH(QString, setup);
        QFETCH(QString, message);
        std::function<void()> childSetup;
        if (setup == QLatin1String("permissions")) {
            childSetup = obeyFilePermissions;
        } else if (setup == QLatin1String("memory")) {
            if (UnderAddressSanitizer)
                QSKIP("AddressSanitizer needs more address space than the limit leaves");
            childSetup = lowerMemory;
            if (runCli({"picture", m_picture, "-q"}, {}, lowerMemory).exitCode != 0)
                QSKIP("the tool needs more address space than the limit to start here");
        }
        QTemporaryDir dir;
        const QString out = dir.filePath(QStringLiteral("out"));
        QVERIFY(writeFile(out, "keep"));
        const CliRun r = runCli(args + QStringList{"-o", out}, {}, childSetup);
        QVERIFY(!r.crashed);
        QCOMPARE(r.exitCode, 1);
        QVERIFY2(oneLine(r.err, message), qPrintable(r.err));
        QCOMPARE(readFile(out), QByteArray("keep"));
        QCOMPARE(listing(dir.path()), QStringList{"out"});
    }
};

QTEST_GUILESS_MAIN(TestCliFiles)
#include "test_cli_files.moc"
