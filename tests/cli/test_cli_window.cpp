// The real window and zentraq-cli, given the same picture, produce the same
// bytes: the window's temp.txt against the tool's output, and the window's
// data-size label against the tool's byte-count line, on pictures larger
// than the preview and than a strip of the tool's; and each front end's words
// for a failure. (Glyph data and the pictures of tests/identity's corpus are
// pinned there for both.)
#include "cli.h"
#include "cli_runner.h"
#include "fakes.h"
#include "problemtext.h"
#include "runtime_error.h"
#include "ui_main.h"
#include "webview.h"

#include <QFile>
#include <QLabel>
#include <QTest>

using zentraq::testing::CliRun;
using zentraq::testing::readFile;
using zentraq::testing::runCli;
using zentraq::testing::WindowHarness;
using zentraq::testing::writeFile;

namespace {

// A picture with everything the preview box changes or keeps: transparent
// and half-transparent pixels (composited onto white), colours off the
// RGB565 steps, and a width that is not a multiple of 8.
QImage awkwardPicture(int w, int h) {
    QImage image(w, h, QImage::Format_ARGB32);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            image.setPixel(x, y,
                           qRgba((x * 37 + y * 11) & 255, (x * 5 + y * 73) & 255,
                                 (x * y * 13) & 255,
                                 (x + y) % 3 == 0 ? 0 : ((x + y) % 3 == 1 ? 128 : 255)));
    return image;
}

} // namespace

class CliWindowTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;

private slots:
    void initTestCase() {
        zentraq::WebView::setEngineEnabled(false);
        QVERIFY(m_dir.isValid());
    }

    // A failure each front end words from its code, in its own language,
    // whatever the routine that failed wrote into its description.
    void failureWords_data() {
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("description");
        QTest::addColumn<QString>("tool");
        QTest::addColumn<QString>("window");
        const int oom = zentraq::RuntimeError::OutOfMemory;
        QTest::newRow("out of memory, a routine's English")
            << oom << QStringLiteral("not enough memory for a 9x9 picture")
            << QStringLiteral("out of memory") << QStringLiteral("内存不足");
        QTest::newRow("overflow") << int(zentraq::RuntimeError::Overflow) << QStringLiteral("溢出")
                                  << QStringLiteral("a size or count is too large to work with")
                                  << QStringLiteral("溢出");
    }

    void failureWords() {
        QFETCH(int, code);
        QFETCH(QString, description);
        QFETCH(QString, tool);
        QFETCH(QString, window);
        const zentraq::RuntimeError e(zentraq::RuntimeError::Code(code), description);
        QCOMPARE(zentraq::cli::runtimeProblem(e), tool);
        QCOMPARE(zentraq::problemText(e), window);
        if (code == zentraq::RuntimeError::OutOfMemory)
            QCOMPARE(zentraq::problemText(std::bad_alloc()), window);
    }

    void samePictureData_data() {
        QTest::addColumn<QImage>("picture");
        QTest::addColumn<QByteArray>("format");
        QTest::newRow("larger than the preview") << awkwardPicture(333, 260) << QByteArray("PNG");
        // The tool composites a strip of rows at a time (about 1 MiB).
        QTest::newRow("several strips") << awkwardPicture(1200, 700) << QByteArray("PNG");
    }

    void samePictureData() {
        QFETCH(QImage, picture);
        QFETCH(QByteArray, format);
        const QString file =
            m_dir.filePath(QStringLiteral("picture.") + QString::fromLatin1(format).toLower());
        QVERIFY(picture.save(file, format.constData()));

        WindowHarness h;
        auto& ui = h.window->controls();
        h.fileDialog.answers.push_back(file);
        h.window->Command11_Click();
        h.window->Command12_Click();
        const QByteArray window = readFile(h.folder.filePath(QStringLiteral("temp.txt")));
        QVERIFY(!window.isEmpty());

        const CliRun r = runCli({"picture", file});
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(r.out.size(), window.size());
        QCOMPARE(r.out, window);
        QCOMPARE(r.err, ui.Label1->text() + u'\n');

        const QString out = m_dir.filePath(QStringLiteral("out.txt"));
        QCOMPARE(runCli({"picture", file, "-q", "-o", out}).exitCode, 0);
        QCOMPARE(readFile(out), window);
    }
};

QTEST_MAIN(CliWindowTest)
#include "test_cli_window.moc"
