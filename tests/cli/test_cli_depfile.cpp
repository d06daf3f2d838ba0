// --depfile and --keep-unchanged: the Make rule each command writes, read
// back by GNU make and by Ninja; the names no rule can hold; the refusals;
// and a result file that keeps its time when its bytes stay the same.
#include "cli_runner.h"
#include "depfile.h"
#include "fontfaces.h"

#include <QDateTime>
#include <QFileInfo>
#include <QImage>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

using namespace zentraq;
using namespace zentraq::testing;

namespace {

QByteArray makeWord(const QByteArray& name) {
    return QByteArray::fromStdString(cli::makeWord(name.toStdString()));
}

const char* const DejaVu = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";

// Names of files read that no depfile can hold, and why.
const std::pair<const char*, const char*> ReadNamesRefused[] = {
    {"a\tb.png", "Ninja cannot read a name with a tab"},
    {"a\\#b.png", "Make and Ninja read a backslash before '#' differently"},
    {"a\\:b.png", "Make and Ninja read a backslash before ':' differently"},
    {"R&D.png", "Ninja cannot read a name with '&'"},
    {"it's.png", "Ninja cannot read a name with '''"},
    {"a;b.png", "Ninja cannot read a name with ';'"}};

// The inode and modification time of a file: whether it was replaced.
QString identity(const QString& path) {
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return QStringLiteral("missing");
    return QStringLiteral("%1/%2.%3").arg(st.st_ino).arg(st.st_mtim.tv_sec).arg(st.st_mtim.tv_nsec);
}

void setAge(const QString& path, int secondsAgo) {
    QFile f(path);
    QVERIFY(f.open(QIODevice::ReadWrite));
    QVERIFY(f.setFileTime(QDateTime::currentDateTime().addSecs(-secondsAgo),
                          QFileDevice::FileModificationTime));
}

// GNU make's answer to whether `target` is up to date by the rules in
// `depfile`: 0 yes, 1 no, 2 it cannot tell (a name it cannot find).
int makeQuestion(const QString& dir, const QString& depfile, const QString& target) {
    // The rule and a recipe for the target: make asks only whether a target
    // with a recipe must be made again.
    writeFile(QDir(dir).filePath(QStringLiteral("Makefile")),
              readFile(QDir(dir).filePath(depfile)) + makeWord(QFile::encodeName(target)) +
                  ":\n\t@echo again\n");
    QProcess make;
    make.setWorkingDirectory(dir);
    make.start(QStringLiteral("make"), {"-s", "-q", "-f", "Makefile", target});
    make.waitForFinished(60000);
    return make.exitStatus() == QProcess::NormalExit ? make.exitCode() : -1;
}

} // namespace

class TestCliDepfile : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        if (QStandardPaths::findExecutable(QStringLiteral("make")).isEmpty())
            QSKIP("no make (scripts/install-deps.sh installs it)");
        QVERIFY2(QFileInfo::exists(QLatin1String(DejaVu)), "fonts-dejavu-core is missing");
    }

    void words_data() {
        QTest::addColumn<QByteArray>("name");
        QTest::addColumn<QByteArray>("word");
        QTest::newRow("plain") << QByteArray("/a/b.png") << QByteArray("/a/b.png");
        QTest::newRow("space") << QByteArray("a b") << QByteArray("a\\ b");
        QTest::newRow("dollar") << QByteArray("$HOME$") << QByteArray("$$HOME$$");
        QTest::newRow("hash") << QByteArray("#1") << QByteArray("\\#1");
        QTest::newRow("colon") << QByteArray("c:d") << QByteArray("c\\:d");
        QTest::newRow("backslash kept") << QByteArray("a\\b") << QByteArray("a\\b");
        QTest::newRow("backslash before space") << QByteArray("a\\ b") << QByteArray("a\\\\\\ b");
        QTest::newRow("not UTF-8") << QByteArray("\xff\xfe") << QByteArray("\xff\xfe");
        QTest::newRow("line break") << QByteArray("a\nb") << QByteArray();
        QTest::newRow("carriage return") << QByteArray("a\rb") << QByteArray();
        QTest::newRow("backslash at the end") << QByteArray("a\\") << QByteArray();
        QTest::newRow("empty") << QByteArray() << QByteArray();
        // Names that Ninja 1.11 reads otherwise than Make, or cannot read.
        QTest::newRow("tab") << QByteArray("a\tb") << QByteArray();
        QTest::newRow("control character") << QByteArray("a\x01") << QByteArray();
        QTest::newRow("backslash before hash") << QByteArray("a\\#b") << QByteArray();
        QTest::newRow("backslashes before hash") << QByteArray("a\\\\#b") << QByteArray();
        QTest::newRow("backslash before colon") << QByteArray("c\\:d") << QByteArray();
        QTest::newRow("backslash before dollar") << QByteArray("a\\$b") << QByteArray();
        QTest::newRow("colon at the end") << QByteArray("/a/b:") << QByteArray();
        for (const char c : QByteArray("\"&';<>?^`|*"))
            QTest::addRow("sign %c", c) << QByteArray("a") + c + "b" << QByteArray();
        QTest::newRow("signs Ninja keeps")
            << QByteArray("(1)[2]{3}%=@!,+~.png") << QByteArray("(1)[2]{3}%=@!,+~.png");
    }
    void words() {
        QFETCH(QByteArray, name);
        QFETCH(QByteArray, word);
        QCOMPARE(makeWord(name), word);
    }

    // Each command that reads files, in a folder whose name needs escaping:
    // the rule names OUT as given and the files read as absolute names, and
    // make reads it into the real files.
    void commands_data() {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QStringList>("inputs"); // the prerequisites, in order
        const QString canvas = text::resolveCanvasFaces().primary.file;
        QVERIFY(!canvas.isEmpty());
        QTest::newRow("picture") << QStringList{"picture", "-q", "pic $1 #2.png"}
                                 << QStringList{"pic $1 #2.png"};
        QTest::newRow("picture, two names for one file")
            << QStringList{"picture", "-q", "./pic $1 #2.png"} << QStringList{"pic $1 #2.png"};
        QTest::newRow("glyph --input, --font-file")
            << QStringList{"glyph",   "-q",          "--size",      "8x16",
                           "--input", "text: a.txt", "--font-file", "face a.ttf"}
            << QStringList{"text: a.txt", "face a.ttf"};
        QTest::newRow("glyph, a character from a fallback face")
            << QStringList{"glyph", "-q", "--size", "16x16", "--font-file", "face a.ttf", "A中"}
            << QStringList{"face a.ttf", canvas};
        QTest::newRow("glyph --font FAMILY")
            << QStringList{"glyph", "-q", "--size", "16x16", "--font", "DejaVu Sans", "Ab"}
            << QStringList{QString::fromLatin1(DejaVu)};
        QTest::newRow("library charset file")
            << QStringList{"library", "-q", "--charset", "set $.txt", "--size", "12x12"}
            << QStringList{"set $.txt", canvas};
        QTest::newRow("preview") << QStringList{"preview", "data #.txt", "--width", "2"}
                                 << QStringList{"data #.txt"};
        // The sample picture is a result, not something read.
        QTest::newRow("font --font-file, charset file, sample")
            << QStringList{"font",      "-q",        "--size",          "12",
                           "--charset", "set $.txt", "--font-file",     "face a.ttf",
                           "--sample",  "ab",        "--sample-output", "sample #.png"}
            << QStringList{"set $.txt", "face a.ttf"};
        QTest::newRow("font --chars-from")
            << QStringList{"font",         "-q",        "--size",      "12",
                           "--chars-from", "set $.txt", "--font-file", "face a.ttf"}
            << QStringList{"set $.txt", "face a.ttf"};
        QTest::newRow("font --font FAMILY, named charset")
            << QStringList{"font",        "-q",        "--points", "9",        "--font",
                           "DejaVu Sans", "--charset", "ascii",    "--format", "gfx"}
            << QStringList{QString::fromLatin1(DejaVu)};
    }
    void commands() {
        QFETCH(QStringList, args);
        QFETCH(QStringList, inputs);
        QTemporaryDir tmp;
        QVERIFY(tmp.isValid());
        const QString dir = tmp.filePath(QStringLiteral("dir with space $x #y"));
        QVERIFY(QDir().mkpath(dir));
        QImage pic(3, 2, QImage::Format_RGB32);
        pic.fill(Qt::red);
        QVERIFY(pic.save(dir + QStringLiteral("/pic $1 #2.png"), "PNG"));
        QVERIFY(writeFile(dir + QStringLiteral("/text: a.txt"), "Hi"));
        QVERIFY(QFile::copy(QLatin1String(DejaVu), dir + QStringLiteral("/face a.ttf")));
        QVERIFY(writeFile(dir + QStringLiteral("/set $.txt"), "ab\n"));
        QVERIFY(writeFile(dir + QStringLiteral("/data #.txt"), "0x00,0xF8,0xE0,0x07,\r\n"));
        for (const QString& name : listing(dir))
            setAge(dir + u'/' + name, 100);

        QProcess p;
        p.setWorkingDirectory(dir);
        p.start(QStringLiteral(ZENTRAQ_CLI),
                args + QStringList{"-o", "out $.txt", "--depfile", "deps #.d"});
        QVERIFY(p.waitForFinished(120000));
        QCOMPARE(p.readAllStandardError(), QByteArray());
        QCOMPARE(p.exitCode(), 0);

        const QByteArray rule = readFile(dir + QStringLiteral("/deps #.d"));
        QList<QByteArray> lines = rule.split('\n');
        QCOMPARE(lines.takeLast(), QByteArray()); // ends in a line break
        QCOMPARE(lines.takeFirst(), QByteArray("out\\ $$.txt: \\"));
        for (int i = 0; i < inputs.size(); ++i) {
            const QString name = inputs[i].startsWith(u'/') ? inputs[i] : dir + u'/' + inputs[i];
            const bool last = i + 1 == lines.size();
            QCOMPARE(lines.value(i),
                     "  " + makeWord(QFile::encodeName(name)) + (last ? "" : " \\"));
        }
        QCOMPARE(lines.size(), inputs.size());

        // Make finds every name: up to date, then not once the first input
        // is newer than OUT.
        QCOMPARE(makeQuestion(dir, QStringLiteral("deps #.d"), QStringLiteral("out $.txt")), 0);
        const QString first = inputs[0].startsWith(u'/') ? QString() : dir + u'/' + inputs[0];
        if (!first.isEmpty()) {
            setAge(dir + QStringLiteral("/out $.txt"), 50);
            setAge(first, 10);
            QCOMPARE(makeQuestion(dir, QStringLiteral("deps #.d"), QStringLiteral("out $.txt")), 1);
        }
    }

    // Ninja builds with the depfile: `ninja -t deps` lists the file read,
    // byte for byte, and a second run finds nothing to do (`-d explain`
    // says why it would), until the file read is newer.
    void ninjaReadsNames_data() {
        QTest::addColumn<QByteArray>("name");
        for (const char* name :
             {"plain.png", "a b.png", "a\\ b.png", "a\\\\  b.png", "#1.png", "c:d.png", "t: x.png",
              "$x$.png", "a\\b.png", "\xc3\xbc.png", "(1)[2]{3}%=@!,+~.png", "a\\\\b#c.png"})
            QTest::newRow(name) << QByteArray(name);
    }
    void ninjaReadsNames() {
        QFETCH(QByteArray, name);
        const QString ninja = QStandardPaths::findExecutable(QStringLiteral("ninja"));
        if (ninja.isEmpty())
            QSKIP("no ninja (scripts/install-deps.sh installs ninja-build)");
        QTemporaryDir tmp;
        QVERIFY(tmp.isValid());
        const QByteArray dir = QFile::encodeName(tmp.path());
        QImage pic(3, 2, QImage::Format_RGB32);
        pic.fill(Qt::red);
        QVERIFY(pic.save(QFile::decodeName(dir + '/' + name), "PNG"));
        QByteArray quoted = name;
        quoted.replace('$', "$$");
        QVERIFY(writeFile(tmp.filePath(QStringLiteral("build.ninja")),
                          "rule pic\n  command = " + QFile::encodeName(ZENTRAQ_CLI) +
                              " picture -q '" + quoted +
                              "' -o out.txt --depfile out.d\n  depfile = out.d\n"
                              "  deps = gcc\nbuild out.txt: pic\n"));
        const auto run = [&](const QStringList& args) {
            QProcess p;
            p.setWorkingDirectory(tmp.path());
            p.start(ninja, args);
            p.waitForFinished(60000);
            return p.exitCode() == 0 ? p.readAllStandardOutput() : QByteArray("failed");
        };
        QVERIFY(run({}).contains("picture"));
        QCOMPARE(run({"-t", "deps", "out.txt"}).split('\n').value(1).trimmed(), dir + '/' + name);
        const QByteArray again = run({"-d", "explain"});
        QVERIFY2(again.contains("no work to do") && !again.contains("explain"), again.constData());
        setAge(tmp.filePath(QStringLiteral("out.txt")), 50);
        const QByteArray newer = run({"-d", "explain"});
        QVERIFY2(newer.contains("picture"), newer.constData());
    }

    // A file read whose name the depfile cannot hold. (The other refusals of
    // --depfile, --keep-unchanged and --sample-output are in tests/identity.)
    void refusals_data() {
        zentraq::testing::refusalColumns();
        for (const auto& [name, message] : ReadNamesRefused)
            QTest::newRow(name) << QStringList{"picture", "-q",        name,   "-o",
                                               "out.txt", "--depfile", "out.d"}
                                << 1 << QStringLiteral("in the depfile: ") + message;
    }
    void refusals() {
        QTemporaryDir tmp;
        QVERIFY(tmp.isValid());
        QImage pic(2, 2, QImage::Format_RGB32);
        pic.fill(Qt::blue);
        for (const auto& read : ReadNamesRefused)
            QVERIFY(pic.save(tmp.filePath(QString::fromLatin1(read.first)), "PNG"));
        zentraq::testing::expectRefusal(tmp.path(), tmp.path());
    }

    // --keep-unchanged: the same bytes leave OUT alone, its time and inode
    // too, while the depfile is written again; font --sample-output is a
    // second result, kept too when its bytes stay the same, and only what
    // changed is replaced. (The quick picture path's OUT, kept and replaced,
    // is in test_quick_picture.)
    void keepUnchanged() {
        QTemporaryDir tmp;
        QVERIFY(tmp.isValid());
        const QString out = tmp.filePath(QStringLiteral("f.c"));
        const QString png = tmp.filePath(QStringLiteral("s.png"));
        const QString deps = tmp.filePath(QStringLiteral("f.d"));
        const auto run = [&](const QString& text) {
            return runCli({"font", "--font-file", QString::fromLatin1(DejaVu), "--size", "12",
                           "--range", "0x41-0x43", "-q", "-o", out, "--keep-unchanged", "--sample",
                           text, "--sample-output", png, "--depfile", deps})
                .exitCode;
        };
        QCOMPARE(run(QStringLiteral("AB")), 0);
        QVERIFY(QImage(png).width() > 0);
        setAge(out, 100);
        setAge(png, 100);
        QFile::remove(deps);
        const QString font = identity(out), sample = identity(png);
        QCOMPARE(run(QStringLiteral("AB")), 0);
        QCOMPARE(identity(out), font);
        QCOMPARE(identity(png), sample);
        QVERIFY(QFileInfo::exists(deps));
        const QByteArray before = readFile(png);
        QCOMPARE(run(QStringLiteral("ABC")), 0);
        QCOMPARE(identity(out), font);
        QVERIFY(identity(png) != sample);
        QVERIFY(readFile(png) != before);
        QCOMPARE(listing(tmp.path()), (QStringList{"f.c", "f.d", "s.png"}));
    }
};

QTEST_GUILESS_MAIN(TestCliDepfile)
#include "test_cli_depfile.moc"
