// The real window and zentraq-cli, given the same text and size or the same
// picture, produce the same bytes: the window's data area against the
// tool's standard output, the window's temp.txt against the tool's output,
// and the window's data-size label against the tool's byte-count line.
#include "cli.h"
#include "cli_runner.h"
#include "fakes.h"
#include "problemtext.h"
#include "runtime_error.h"
#include "textbox.h"
#include "ui_main.h"
#include "webview.h"

#include <QFile>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
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
        QTest::newRow("out of memory, the window's words")
            << oom << QStringLiteral("内存不足") << QStringLiteral("out of memory")
            << QStringLiteral("内存不足");
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

    void sameGlyphData_data() {
        QTest::addColumn<QString>("size");
        QTest::addColumn<int>("button");
        QTest::addColumn<QString>("text");
        const QString mixed =
            QStringLiteral("中国电子 Ag|@0\r\nx\ry\n\r\r\n\t") + QString::fromUcs4(U"\U00020000");
        const char* sizes[] = {"12x12", "16x16", "32x32", "6x12", "8x16", "16x32"};
        for (int i = 0; i < 6; ++i) {
            QTest::addRow("%s mixed", sizes[i]) << QString::fromLatin1(sizes[i]) << i << mixed;
            QTest::addRow("%s ASCII", sizes[i])
                << QString::fromLatin1(sizes[i]) << i << QStringLiteral("<ascii>");
        }
        QTest::newRow("empty") << QStringLiteral("8x16") << 4 << QString();
        QTest::newRow("only CR LF") << QStringLiteral("16x16") << 1 << QStringLiteral("\r\n\r\n");
    }

    void sameGlyphData() {
        QFETCH(QString, size);
        QFETCH(int, button);
        QFETCH(QString, text);

        WindowHarness h;
        auto& ui = h.window->controls();
        QStringList args{"glyph", "--size", size};
        if (text == QLatin1String("<ascii>")) {
            QTest::mouseClick(ui.Command13, Qt::LeftButton);
            args << "--ascii";
        } else {
            ui.Text1->setText(text);
            const QString input = m_dir.filePath(QStringLiteral("text.txt"));
            QVERIFY(writeFile(input, text.toUtf8()));
            args << "--input" << input;
        }
        QPushButton* const buttons[] = {ui.Command1, ui.Command5, ui.Command6,
                                        ui.Command7, ui.Command8, ui.Command9};
        QTest::mouseClick(buttons[button], Qt::LeftButton);

        const CliRun r = runCli(args);
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(r.out, ui.Text2->text().toLatin1());
        QCOMPARE(r.err, ui.Label1->text() + u'\n');
    }

    void samePictureData_data() {
        QTest::addColumn<QImage>("picture");
        QTest::addColumn<QByteArray>("format");
        QTest::newRow("1 x 1") << awkwardPicture(1, 1) << QByteArray("PNG");
        QTest::newRow("3 x 3") << awkwardPicture(3, 3) << QByteArray("PNG");
        QTest::newRow("transparency, 13 x 7") << awkwardPicture(13, 7) << QByteArray("PNG");
        QTest::newRow("100 x 101 bitmap")
            << awkwardPicture(100, 101).convertToFormat(QImage::Format_RGB32) << QByteArray("BMP");
        QTest::newRow("JPEG") << awkwardPicture(40, 30).convertToFormat(QImage::Format_RGB32)
                              << QByteArray("JPG");
        QTest::newRow("GIF") << awkwardPicture(17, 9) << QByteArray("GIF");
        QTest::newRow("icon") << awkwardPicture(32, 32) << QByteArray("ICO");
        QTest::newRow("larger than the preview") << awkwardPicture(333, 260) << QByteArray("PNG");
        // The tool composites a strip of rows at a time (about 1 MiB).
        QTest::newRow("several strips") << awkwardPicture(1200, 700) << QByteArray("PNG");
    }

    void samePictureData() {
        QFETCH(QImage, picture);
        QFETCH(QByteArray, format);
        const QString file =
            m_dir.filePath(QStringLiteral("picture.") + QString::fromLatin1(format).toLower());
        if (!picture.save(file, format.constData())) {
            // Qt reads GIF but does not write it: ImageMagick makes the file.
            const QString png = m_dir.filePath(QStringLiteral("for-convert.png"));
            QVERIFY(picture.save(png));
            QProcess convert;
            convert.start(QStringLiteral("convert"), {png, file});
            if (!convert.waitForFinished(60000) || convert.exitStatus() != QProcess::NormalExit ||
                convert.exitCode() != 0)
                QSKIP("no writer for this format here");
        }

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
