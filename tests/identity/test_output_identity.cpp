// Every output of the corpus against the table recorded from it (outputs.tsv,
// see README.md): test_tool_identity runs the tool in this process as its
// executable runs it (the quick picture path first, then the conversions
// under a core application), its standard streams on files; recording also
// runs each command line as a process of the real executable and records
// nothing unless both agree. test_window_identity (ZENTRAQ_IDENTITY_WINDOW)
// drives the window, whose GUI application needs a process of its own.

#include "corpus.h"

#include "../app/testfiles.h"
#include "../picture/lvgl_pictures.h"

#ifdef ZENTRAQ_IDENTITY_WINDOW
#include "../app/fakes.h"
#include "textbox.h"
#include "ui_main.h"
#include "webview.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#else
#include "cli.h"
#include "process.h"
#include "quick_picture.h"

#include <QCoreApplication>
#include <QProcess>
#endif

#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include <hb.h>
#include <png.h>

#include <map>

using namespace zentraq;
using namespace zentraq::identity;
using zentraq::testing::readFile;
using zentraq::testing::writeFile;

namespace {

// The folder all of this test's files go in; made by main() before anything
// reads the font configuration.
QTemporaryDir* g_root = nullptr;

QString rootPath(const QString& name = {}) {
    return name.isEmpty() ? g_root->path() : g_root->path() + u'/' + name;
}

// What one case made: its exit status and each output by name.
struct Result {
    int status = 0;
    std::map<QString, QByteArray> outputs;
};

// One line of the table: "KEY<TAB>STATUS<TAB>NAME=SIZE:SHA256...", empty
// standard streams left out.
QString tableLine(const QString& key, const Result& r) {
    QStringList fields{key, QString::number(r.status)};
    for (const auto& [name, bytes] : r.outputs) {
        if (bytes.isEmpty() && (name == u"stdout" || name == u"stderr"))
            continue;
        fields << QStringLiteral("%1=%2:%3")
                      .arg(name)
                      .arg(bytes.size())
                      .arg(QString::fromLatin1(
                          QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex()));
    }
    return fields.join(u'\t');
}

#ifndef ZENTRAQ_IDENTITY_WINDOW
// A fresh, empty folder for a case, with its setup files; "in" beside it.
QString freshFolder(const QString& name, const QStringList& setup) {
    QDir(rootPath(name)).removeRecursively();
    QDir().mkpath(rootPath(name));
    for (const QString& file : setup)
        QFile::copy(rootPath(QStringLiteral("in/") + file), rootPath(name + u'/' + file));
    return rootPath(name);
}

// The files a case left in its folder: new ones, and setup files it changed.
void collectFiles(const QString& folder, const QStringList& setup, Result& r) {
    for (const QString& name : QDir(folder).entryList(QDir::Files | QDir::Hidden, QDir::Name)) {
        const QByteArray bytes = readFile(folder + u'/' + name);
        if (setup.contains(name) && bytes == readFile(rootPath(QStringLiteral("in/") + name)))
            continue;
        r.outputs[name] = bytes;
    }
}

// The tool in this process, as its executable runs it.
Result runInProcess(const Case& c) {
    const QString folder = freshFolder(QStringLiteral("run"), c.setup);
    writeFile(rootPath(QStringLiteral("stdin")), c.input);
    const QString previous = QDir::currentPath();
    QDir::setCurrent(folder);
    Result r;
    {
        const testing::StreamsOnFiles streams(rootPath(QStringLiteral("stdin")),
                                              rootPath(QStringLiteral("stdout")),
                                              rootPath(QStringLiteral("stderr")));
        QList<QByteArray> storage{"zentraq-cli"};
        storage += c.args;
        std::vector<char*> argv;
        for (QByteArray& a : storage)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        r.status = -1;
        if (!c.args.isEmpty() && c.args.front() == "picture")
            r.status = cli::quickPicture(int(storage.size()), argv.data());
        if (r.status < 0) {
            QStringList args;
            for (const QByteArray& a : c.args)
                args << cli::argumentText(std::string_view(a.constData(), std::size_t(a.size())));
            r.status = cli::run(args);
        }
    }
    QDir::setCurrent(previous);
    r.outputs[QStringLiteral("stdout")] = readFile(rootPath(QStringLiteral("stdout")));
    r.outputs[QStringLiteral("stderr")] = readFile(rootPath(QStringLiteral("stderr")));
    collectFiles(folder, c.setup, r);
    return r;
}

// The real executable, for recording.
Result runProcess(const Case& c) {
    const QString folder = freshFolder(QStringLiteral("process"), c.setup);
    QProcess p;
    p.setWorkingDirectory(folder);
    p.setStandardInputFile(rootPath(QStringLiteral("stdin")));
    writeFile(rootPath(QStringLiteral("stdin")), c.input);
    // Each argument made from its bytes by the shell, names that are not
    // UTF-8 and line ends at the end included.
    QByteArray script = "set --\n";
    for (const QByteArray& a : c.args) {
        script += "v=\"$(printf '";
        for (const char ch : a)
            script += '\\' + QByteArray::number(static_cast<unsigned char>(ch), 8);
        script += "x')\"; set -- \"$@\" \"${v%x}\"\n";
    }
    script += "exec \"$0\" \"$@\"\n";
    p.start(QStringLiteral("/bin/sh"),
            {QStringLiteral("-c"), QString::fromLatin1(script), QStringLiteral(ZENTRAQ_CLI)});
    Result r;
    if (!p.waitForFinished(120000))
        return r;
    r.status = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -2;
    r.outputs[QStringLiteral("stdout")] = p.readAllStandardOutput();
    r.outputs[QStringLiteral("stderr")] = p.readAllStandardError();
    collectFiles(folder, c.setup, r);
    return r;
}

#endif

// A 16-bit picture with alpha, which the quick path leaves to Qt.
QImage deepPicture() {
    QImage p(13, 7, QImage::Format_RGBA64);
    for (int y = 0; y < p.height(); ++y)
        for (int x = 0; x < p.width(); ++x)
            p.setPixelColor(x, y,
                            QColor::fromRgba64(quint16(x * 5041 + y * 13), quint16(y * 9362 + x),
                                               quint16((x * y * 4099) & 0xFFFF),
                                               quint16(65535 - x * 3000)));
    return p;
}

// What the table was recorded with, beside what the results depend on.
QString versions() {
    QStringList parts{QStringLiteral("Qt ") + QString::fromLatin1(qVersion())};
    FT_Library ft = nullptr;
    if (FT_Init_FreeType(&ft) == 0) {
        FT_Int major = 0, minor = 0, patch = 0;
        FT_Library_Version(ft, &major, &minor, &patch);
        parts << QStringLiteral("FreeType %1.%2.%3").arg(major).arg(minor).arg(patch);
        FT_Done_FreeType(ft);
    }
    parts << QStringLiteral("HarfBuzz ") + QString::fromLatin1(hb_version_string());
    parts << QStringLiteral("libpng %1").arg(png_access_version_number());
    for (const char* face : {DejaVuSans, DejaVuSerif, UMing, SungtiL}) {
        int count = 0, version = 0;
        if (FcPattern* q =
                FcFreeTypeQuery(reinterpret_cast<const FcChar8*>(face), 0, nullptr, &count)) {
            FcPatternGetInteger(q, FC_FONTVERSION, 0, &version);
            FcPatternDestroy(q);
        }
        parts << QStringLiteral("%1 %2")
                     .arg(QFileInfo(QString::fromLatin1(face)).fileName())
                     .arg(version / 65536.0, 0, 'f', 3);
    }
    return parts.join(QStringLiteral(", "));
}

} // namespace

// The cases this executable runs, and how the table's lines of them start.
#ifdef ZENTRAQ_IDENTITY_WINDOW
bool ownCase(const Case& c) {
    return c.kind != Kind::Tool;
}
const char* const OwnLines = "window ";
#else
bool ownCase(const Case& c) {
    return c.kind == Kind::Tool;
}
const char* const OwnLines = "zentraq-cli ";
#endif

// The table's lines, and what they were recorded with.
struct Table {
    QString recordedWith;
    QStringList lines; // in their order
};

Table readTable(const QString& path) {
    Table t;
    for (const QByteArray& raw : readFile(path).split('\n')) {
        const QString line = QString::fromUtf8(raw);
        if (line.startsWith(QLatin1String("# recorded with: ")))
            t.recordedWith = line.mid(17);
        else if (!line.isEmpty() && !line.startsWith(u'#'))
            t.lines << line;
    }
    return t;
}

class OutputIdentityTest : public QObject {
    Q_OBJECT

    std::vector<Keyed> m_cases;
    std::map<QString, QString> m_table; // key -> line, of this executable's cases
    QString m_record;                   // the file to record into, when recording
    QStringList m_recorded;
#ifdef ZENTRAQ_IDENTITY_WINDOW
    std::unique_ptr<testing::WindowHarness> m_window;
#endif

    Inputs makeInputs() {
        Inputs inputs;
        const QString in = rootPath(QStringLiteral("in"));
        QDir().mkpath(in);
        for (const QString& kind : testing::lvglPictureKinds()) {
            testing::lvglPicture(kind).save(in + u'/' + kind + QStringLiteral(".png"));
            inputs.pictures << kind + QStringLiteral(".png");
        }
        deepPicture().save(in + QStringLiteral("/deep.png"));
        inputs.pictures << QStringLiteral("deep.png");
        const QDir seeds(QStringLiteral(ZENTRAQ_FUZZ_CORPUS));
        auto copy = [&](const QString& folder, QStringList& into) {
            for (const QString& name : QDir(seeds.filePath(folder)).entryList(QDir::Files)) {
                QFile::copy(seeds.filePath(folder + u'/' + name), in + u'/' + name);
                into << name;
            }
        };
        copy(QStringLiteral("picture"), inputs.pictures);
        copy(QStringLiteral("png_quick"), inputs.pictures);
        copy(QStringLiteral("metafile"), inputs.metafiles);
        copy(QStringLiteral("lvgl_image"), inputs.lvglImages);
        copy(QStringLiteral("data_text"), inputs.dataTexts);
        QStringList bitmapFaces;
        copy(QStringLiteral("bdf"), bitmapFaces);
        for (const QString& name :
             QDir(seeds.filePath(QStringLiteral("options"))).entryList(QDir::Files)) {
            const QByteArray bytes = readFile(seeds.filePath(QStringLiteral("options/") + name));
            inputs.optionSeeds.append({name, bytes.split('\0')});
        }
        // Texts, data and the files the command-line seeds name.
        writeFile(in + QStringLiteral("/menu.txt"),
                  QStringLiteral("设置 Setup\r\n温度 21.5 °C\n亮度 Brightness\n").toUtf8());
        QByteArray pattern, text;
        for (int i = 0; i < 16 * 16; ++i) {
            pattern += char(i * 37);
            text += QByteArray("0x") +
                    QByteArray::number(uchar(i * 37), 16).toUpper().rightJustified(2, '0') + ',';
            if (i % 16 == 15)
                text += "\r\n";
        }
        writeFile(in + QStringLiteral("/pattern.bin"), pattern);
        writeFile(in + QStringLiteral("/pattern.txt"), text);
        writeFile(in + QStringLiteral("/font8x16.h"),
                  "const unsigned char font8x16[32] = {\r\n" + text.left(32 * 5) + "\r\n};\r\n");
        QFile::copy(QString::fromLatin1(DejaVuSans), in + QStringLiteral("/f.ttf"));
        QFile::copy(in + QStringLiteral("/opaque.png"), in + QStringLiteral("/logo.png"));
        QFile::copy(in + QStringLiteral("/base.jpg"), in + QStringLiteral("/splash.jpg"));
        // Files that are no picture, or no longer a whole one, for the window.
        writeFile(in + QStringLiteral("/text.png"), "just text\r\n");
        writeFile(in + QStringLiteral("/corrupt.png"),
                  QByteArray("\x89PNG\r\n\x1a\n\0\0\0\x0dIHDR\0\0", 18));
        writeFile(in + QStringLiteral("/cut.bmp"),
                  readFile(in + QStringLiteral("/argb32.bmp")).left(300));
        return inputs;
    }

#ifdef ZENTRAQ_IDENTITY_WINDOW
    Result runCase(const Case& c) {
        return c.kind == Kind::WindowGlyph ? windowGlyph(c) : windowPicture(c);
    }

    // Text1, then a size button, as a user clicks it.
    Result windowGlyph(const Case& c) {
        auto& ui = m_window->window->controls();
        m_window->boxes.shown.clear();
        ui.Text1->setText(c.text);
        QPushButton* button = m_window->window->findChild<QPushButton*>(c.button);
        Result r;
        if (!button)
            return r;
        QTest::mouseClick(button, Qt::LeftButton);
        r.outputs[QStringLiteral("Text2")] = ui.Text2->text().toUtf8();
        r.outputs[QStringLiteral("Label1")] = ui.Label1->text().toUtf8();
        r.outputs[QStringLiteral("boxes")] = m_window->boxes.shown.join(u'\n').toUtf8();
        return r;
    }

    // 导入图片 and 生成取模数据.
    Result windowPicture(const Case& c) {
        testing::WindowHarness& h = *m_window;
        auto& ui = h.window->controls();
        h.boxes.shown.clear();
        h.fileDialog.answers = {rootPath(QStringLiteral("in/") + c.picture)};
        h.window->Command11_Click();
        h.window->Command12_Click();
        Result r;
        r.outputs[QStringLiteral("temp.txt")] =
            readFile(h.folder.path() + QStringLiteral("/temp.txt"));
        r.outputs[QStringLiteral("Label1")] = ui.Label1->text().toUtf8();
        r.outputs[QStringLiteral("Label5")] = ui.Label5->text().toUtf8();
        r.outputs[QStringLiteral("boxes")] = h.boxes.shown.join(u'\n')
                                                 .replace(h.folder.path(), QStringLiteral("DATA"))
                                                 .replace(rootPath(), QStringLiteral("ROOT"))
                                                 .toUtf8();
        return r;
    }
#else
    Result runCase(const Case& c) {
        return runInProcess(c);
    }
#endif

private slots:
    void initTestCase() {
        for (const char* face : {DejaVuSans, DejaVuSerif, UMing, SungtiL})
            if (!QFile::exists(QString::fromLatin1(face)))
                QSKIP(qPrintable(QStringLiteral("%1 is not installed (scripts/install-deps.sh "
                                                "installs it)")
                                     .arg(QString::fromLatin1(face))));
        for (Keyed& k : corpus(makeInputs()))
            if (ownCase(k.c))
                m_cases.push_back(std::move(k));
        m_record = qEnvironmentVariable("ZENTRAQ_RECORD_OUTPUTS");
        if (m_record.isEmpty()) {
            const Table table = readTable(QStringLiteral(ZENTRAQ_IDENTITY_TABLE));
            QVERIFY2(!table.lines.isEmpty(), ZENTRAQ_IDENTITY_TABLE " holds no lines");
            for (const QString& line : table.lines)
                if (line.startsWith(QLatin1String(OwnLines)))
                    m_table[line.section(u'\t', 0, 0)] = line;
            if (table.recordedWith != versions())
                QSKIP(qPrintable(QStringLiteral("the table was recorded with %1; this machine "
                                                "has %2")
                                     .arg(table.recordedWith, versions())));
        }
#ifdef ZENTRAQ_IDENTITY_WINDOW
        WebView::setEngineEnabled(false);
        m_window = std::make_unique<testing::WindowHarness>();
#endif
    }

    // Every case of the corpus has its line, and every line its case.
    void tableCoversCorpus() {
        if (!m_record.isEmpty())
            QSKIP("recording");
        QStringList missing, stale;
        std::map<QString, bool> keys;
        for (const Keyed& k : m_cases) {
            keys[k.key] = true;
            if (!m_table.count(k.key))
                missing << k.key;
        }
        for (const auto& [key, line] : m_table)
            if (!keys.count(key))
                stale << key;
        QVERIFY2(missing.isEmpty(), qPrintable(QStringLiteral("not in the table: ") +
                                               missing.mid(0, 5).join(QStringLiteral("; "))));
        QVERIFY2(stale.isEmpty(), qPrintable(QStringLiteral("no longer in the corpus: ") +
                                             stale.mid(0, 5).join(QStringLiteral("; "))));
    }

    void outputs_data() {
        QTest::addColumn<int>("index");
        for (std::size_t i = 0; i < m_cases.size(); ++i)
            QTest::newRow(qPrintable(m_cases[i].key)) << int(i);
    }
    void outputs() {
        QFETCH(int, index);
        const Keyed& k = m_cases[std::size_t(index)];
        const Result r = runCase(k.c);
        const QString line = tableLine(k.key, r);
        if (!m_record.isEmpty()) {
#ifndef ZENTRAQ_IDENTITY_WINDOW
            QCOMPARE(line, tableLine(k.key, runProcess(k.c)));
#endif
            m_recorded << line;
            return;
        }
        const auto recorded = m_table.find(k.key);
        if (recorded == m_table.end())
            QSKIP("not in the table (see tableCoversCorpus)");
        QCOMPARE(line.split(u'\t'), recorded->second.split(u'\t'));
    }

    // Recording: this executable's lines replace its old ones; the other
    // one's stay (the tool's first, then the window's).
    void cleanupTestCase() {
#ifdef ZENTRAQ_IDENTITY_WINDOW
        m_window.reset();
#endif
        if (m_record.isEmpty() || m_recorded.size() != qsizetype(m_cases.size()))
            return;
        const Table old = readTable(
            QFileInfo::exists(m_record) ? m_record : QStringLiteral(ZENTRAQ_IDENTITY_TABLE));
        QStringList others;
        for (const QString& line : old.lines)
            if (!line.startsWith(QLatin1String(OwnLines)))
                others << line;
#ifdef ZENTRAQ_IDENTITY_WINDOW
        const QStringList lines = others + m_recorded;
#else
        const QStringList lines = m_recorded + others;
#endif
        const QByteArray out =
            "# What every case of the corpus made, recorded by test_tool_identity and\n"
            "# test_window_identity and compared by them (see README.md): the command\n"
            "# line or window action, its exit status, then each output as\n"
            "# NAME=BYTES:SHA-256 (empty standard output and error left out). A change\n"
            "# that alters an output on purpose records its lines again and says why in\n"
            "# its commit.\n"
            "# recorded with: " +
            versions().toUtf8() + '\n' + lines.join(u'\n').toUtf8() + '\n';
        QVERIFY(writeFile(m_record, out));
    }
};

int main(int argc, char** argv) {
    // A private font configuration naming only the Debian faces the corpus
    // uses, set before anything asks fontconfig; the tool's children (the
    // metafile converter) inherit it.
    QTemporaryDir root(QFileInfo(QStringLiteral("/dev/shm")).isWritable()
                           ? QStringLiteral("/dev/shm/zentraq-identity-XXXXXX")
                           : QDir::tempPath() + QStringLiteral("/zentraq-identity-XXXXXX"));
    if (!root.isValid())
        return 1;
    g_root = &root;
    QByteArray conf = "<?xml version=\"1.0\"?>\n<!DOCTYPE fontconfig SYSTEM \"fonts.dtd\">\n"
                      "<fontconfig>\n";
    for (const QString& folder : faceFolders())
        conf += "  <dir>" + folder.toUtf8() + "</dir>\n";
    conf += "  <cachedir>" + rootPath(QStringLiteral("fontcache")).toUtf8() +
            "</cachedir>\n</fontconfig>\n";
    writeFile(rootPath(QStringLiteral("fonts.conf")), conf);
    qputenv("FONTCONFIG_FILE", QFile::encodeName(rootPath(QStringLiteral("fonts.conf"))));
    qunsetenv("FONTCONFIG_PATH");
#ifdef ZENTRAQ_IDENTITY_WINDOW
    QApplication app(argc, argv);
#else
    // As the tool runs: a core application.
    QCoreApplication app(argc, argv);
#endif
    OutputIdentityTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_output_identity.moc"
