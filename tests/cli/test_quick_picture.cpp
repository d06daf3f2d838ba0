// The quick picture path against the tool: every spelling of its options
// gives the same bytes as the tool's own conversion (the kinds of PNG it
// takes are pinned by tests/identity and test_png_reader); for everything
// else, nothing done and the command line left to the tool.
#include "cli.h"
#include "cli_runner.h"
#include "pngrows.h"
#include "quick_picture.h"

#include <QBuffer>
#include <QDateTime>
#include <QFileInfo>
#include <QImage>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtEndian>
#include <QtTest>

#include <string>
#include <vector>

namespace {

using zentraq::testing::listing;
using zentraq::testing::readFile;
using zentraq::testing::writeFile;

// A picture of 33 x 17 pixels whose colours (and alphas) vary from pixel to
// pixel, or of the size given.
QImage pattern(bool alpha = false, int w = 33, int h = 17) {
    QImage image(w, h, alpha ? QImage::Format_ARGB32 : QImage::Format_RGB32);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            image.setPixel(x, y,
                           qRgba((x * 37 + y * 11) & 255, (x * 5 + y * 73) & 255,
                                 (x * y * 13) & 255, alpha ? (x * 29 + y * 7) & 255 : 255));
    return image;
}

// The PNG Qt writes of `image`.
QByteArray pngOf(const QImage& image) {
    QByteArray png;
    QBuffer buffer(&png);
    return buffer.open(QIODevice::WriteOnly) && image.save(&buffer, "PNG") ? png : QByteArray();
}

// The offset of the first chunk of `type`, or -1.
qsizetype chunkAt(const QByteArray& png, const char* type) {
    for (qsizetype at = 8; at + 12 <= png.size();) {
        if (png.mid(at + 4, 4) == type)
            return at;
        at += 12 + qsizetype(qFromBigEndian<quint32>(png.constData() + at));
    }
    return -1;
}

class QuickRun {
public:
    explicit QuickRun(const QStringList& args) {
        m_args.push_back("zentraq-cli");
        for (const QString& a : args)
            m_args.push_back(a.toStdString());
        for (std::string& a : m_args)
            m_pointers.push_back(a.data());
        m_pointers.push_back(nullptr);
    }
    int run() { return zentraq::cli::quickPicture(int(m_args.size()), m_pointers.data()); }

private:
    std::vector<std::string> m_args;
    std::vector<char*> m_pointers;
};

int quick(const QStringList& args) {
    return QuickRun(args).run();
}

} // namespace

class TestQuickPicture : public QObject {
    Q_OBJECT

private slots:
    void spelledAsTheToolReadsThem_data();
    void spelledAsTheToolReadsThem();
    void leftToTheTool_data();
    void leftToTheTool();
    void depfileAndKeepUnchanged();
    void throughTheExecutable();
    void loadsWithoutQt();
};

// Every spelling of the options that the tool reads (they share one reader):
// the same bytes as the tool's own conversion.
void TestQuickPicture::spelledAsTheToolReadsThem_data() {
    QTest::addColumn<QStringList>("args"); // IN and OUT are put in
    QTest::newRow("compact -qo OUT") << QStringList{"picture", "IN", "-qo", "OUT"};
    QTest::newRow("compact -qoOUT") << QStringList{"picture", "-qoOUT", "IN"};
    QTest::newRow("--output=OUT --quiet")
        << QStringList{"picture", "--output=OUT", "--quiet", "IN"};
    QTest::newRow("after --") << QStringList{"picture", "-q", "-o", "OUT", "--", "IN"};
    QTest::newRow("--depfile=FILE") << QStringList{"picture", "IN", "-qoOUT", "--depfile=OUT.d"};
}

void TestQuickPicture::spelledAsTheToolReadsThem() {
    QFETCH(QStringList, args);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString picture = dir.filePath(QStringLiteral("p.PNG")); // any case of .png
    QVERIFY(writeFile(picture, pngOf(pattern())));
    const auto spelled = [&](const QString& out) {
        QStringList a = args;
        a.replaceInStrings(QStringLiteral("OUT"), dir.filePath(out));
        a.replaceInStrings(QRegularExpression(QStringLiteral("^IN$")), picture);
        return a;
    };
    QCOMPARE(zentraq::cli::run(spelled(QStringLiteral("tool"))), 0);
    QCOMPARE(quick(spelled(QStringLiteral("quick"))), 0);
    QCOMPARE(readFile(dir.filePath(QStringLiteral("quick"))),
             readFile(dir.filePath(QStringLiteral("tool"))));
    // (The tool run in this process keeps every input it has read, so its
    // depfile is no measure; messageAndDepfile compares them.)
    if (args.join(u' ').contains(QLatin1String("--depfile")))
        QCOMPARE(readFile(dir.filePath(QStringLiteral("quick.d"))),
                 dir.filePath(QStringLiteral("quick")).toUtf8() + ": \\\n  " + picture.toUtf8() +
                     '\n');
}

void TestQuickPicture::leftToTheTool_data() {
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QStringList>("args"); // IN and OUT are put in

    const QByteArray png = pngOf(pattern());
    const QString in = QStringLiteral("IN");
    const QStringList plain{"picture", in, "-o", "OUT"};
    const qsizetype idat = chunkAt(png, "IDAT");
    QByteArray badData = png;
    badData[idat + 10] = char(badData[idat + 10] ^ 0x40);
    QByteArray noEnd = png;
    noEnd.truncate(chunkAt(png, "IEND"));

    QTest::newRow("cut in the data") << png.left(idat + 20) << "p.png" << plain;
    QTest::newRow("damaged data") << badData << "p.png" << plain;
    QTest::newRow("no end chunk") << noEnd << "p.png" << plain;
    QTest::newRow("not a PNG") << QByteArray("GIF89a not a png at all") << "p.png" << plain;
    QTest::newRow("empty file") << QByteArray() << "p.png" << plain;
    QTest::newRow("PNG named .bmp") << png << "p.bmp" << plain;
    QImage large(4097, 4097, QImage::Format_Mono);
    large.fill(0);
    QTest::newRow("too large") << pngOf(large) << "p.png" << plain;
    QTest::newRow("standard output") << png << "p.png" << QStringList{"picture", in, "-o", "-"};
    QTest::newRow("no -o") << png << "p.png" << QStringList{"picture", in};
    QTest::newRow("-o twice") << png << "p.png" << (plain + QStringList{"-o", "OUT"});
    QTest::newRow("another option") << png << "p.png" << (plain + QStringList{"--pixel", "rgb565"});
    QTest::newRow("--format c") << png << "p.png" << (plain + QStringList{"--format", "c"});
    QTest::newRow("a second picture") << png << "p.png" << (plain + QStringList{in});
    QTest::newRow("an empty argument first")
        << png << "p.png" << QStringList{"picture", "", in, "-o", "OUT"};
    QTest::newRow("help") << png << "p.png" << (plain + QStringList{"--help"});
    QTest::newRow("depfile beside OUT's name")
        << png << "p.png" << (plain + QStringList{"--depfile", "sub/../OUT"});
    QTest::newRow("no such folder")
        << png << "p.png" << QStringList{"picture", in, "-o", "missing/OUT"};
    QTest::newRow("another command") << png << "p.png" << QStringList{"preview", in, "-o", "OUT"};
}

// Nothing is written, nothing is left behind, an older OUT stays as it was.
void TestQuickPicture::leftToTheTool() {
    QFETCH(QByteArray, file);
    QFETCH(QString, name);
    QFETCH(QStringList, args);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QVERIFY(writeFile(dir.filePath(name), file));
    QVERIFY(writeFile(dir.filePath(QStringLiteral("OUT")), "older"));
    QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("sub"))); // for a depfile named sub/../OUT
    for (QString& a : args) {
        if (a == u"IN")
            a = dir.filePath(name);
        else if (a.contains(u"OUT"))
            a = a.startsWith(u'-') ? a : dir.filePath(a);
    }
    const QStringList before = listing(dir.path());
    QCOMPARE(quick(args), -1);
    QCOMPARE(listing(dir.path()), before);
    QCOMPARE(readFile(dir.filePath(QStringLiteral("OUT"))), QByteArray("older"));
}

// The depfile the tool writes; --keep-unchanged keeps OUT's time. (The
// byte count on standard error is pinned by tests/identity for the quick
// path and checked through the executable below.)
void TestQuickPicture::depfileAndKeepUnchanged() {
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString picture = dir.filePath(QStringLiteral("a b$.png"));
    QVERIFY(writeFile(picture, pngOf(pattern())));
    const QString toolOut = dir.filePath(QStringLiteral("t.txt"));
    const QString quickOut = dir.filePath(QStringLiteral("q.txt"));
    QCOMPARE(
        zentraq::cli::run({"picture", picture, "-q", "-o", toolOut, "--depfile", toolOut + ".d"}),
        0);
    QCOMPARE(quick({"picture", picture, "-q", "--output=" + quickOut,
                    "--depfile=" + quickOut + ".d", "--keep-unchanged"}),
             0);
    QCOMPARE(readFile(quickOut), readFile(toolOut));
    // The tool in this process lists every file it read since it started;
    // its rule ends with this run's picture.
    const QByteArray picturePart = " \\\n  " + QFile::encodeName(dir.path()) + "/a\\ b$$.png\n";
    QVERIFY(readFile(toolOut + ".d").endsWith(picturePart));
    QCOMPARE(readFile(quickOut + ".d"), QFile::encodeName(quickOut) + ":" + picturePart);

    const QDateTime earlier = QFileInfo(quickOut).lastModified().addSecs(-100);
    {
        QFile made(quickOut);
        QVERIFY(made.open(QIODevice::ReadWrite) &&
                made.setFileTime(earlier, QFileDevice::FileModificationTime));
    }
    QCOMPARE(quick({"picture", picture, "-q", "-o", quickOut, "--keep-unchanged"}), 0);
    QCOMPARE(QFileInfo(quickOut).lastModified(), earlier);
    QCOMPARE(quick({"picture", picture, "-q", "-o", quickOut}), 0);
    QVERIFY(QFileInfo(quickOut).lastModified() > earlier);
}

// The executable takes the quick path and falls back to the tool: the same
// results either way, and the tool's message for a file the quick path
// leaves.
void TestQuickPicture::throughTheExecutable() {
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString picture = dir.filePath(QStringLiteral("p.png"));
    QVERIFY(writeFile(picture, pngOf(pattern(true))));
    const QString byTool = dir.filePath(QStringLiteral("tool.txt"));
    QCOMPARE(zentraq::cli::run({"picture", picture, "-q", "-o", byTool}), 0);
    const QString out = dir.filePath(QStringLiteral("out.txt"));
    const auto run = zentraq::testing::runCli({"picture", picture, "-o", out});
    QCOMPARE(run.exitCode, 0);
    QCOMPARE(run.err, QStringLiteral("数据大小:1122字节\n"));
    QCOMPARE(readFile(out), readFile(byTool));

    const QString cut = dir.filePath(QStringLiteral("cut.png"));
    QVERIFY(writeFile(cut, readFile(picture).left(100)));
    const auto failed = zentraq::testing::runCli({"picture", cut, "-o", out});
    QCOMPARE(failed.exitCode, 1);
    QVERIFY2(failed.err.contains(QStringLiteral("cut.png")), qPrintable(failed.err));
    QCOMPARE(readFile(out), readFile(byTool));
}

// The point of the quick path: nothing it needs brings Qt in.
void TestQuickPicture::loadsWithoutQt() {
    QProcess readelf;
    readelf.start(QStringLiteral("readelf"), {"-d", "-W", QStringLiteral(ZENTRAQ_CLI_QUICK)});
    if (!readelf.waitForFinished(60000) || readelf.exitCode() != 0)
        QSKIP("readelf cannot be run");
    const QByteArray dynamic = readelf.readAllStandardOutput();
    QVERIFY2(dynamic.contains("(NEEDED)") && dynamic.contains("libpng16"), dynamic.constData());
    QVERIFY2(!dynamic.contains("libQt"), dynamic.constData());
}

QTEST_GUILESS_MAIN(TestQuickPicture)
#include "test_quick_picture.moc"
