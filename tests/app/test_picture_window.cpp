// The picture data tab of the real window: "导入图片" and "生成取模数据"
// clicked as a user clicks them, with fakes for the file dialog, the boxes,
// the desktop shell and the event pump. The bytes of temp.txt, and what a
// file that is no picture leaves, are pinned by tests/identity; here its
// size, what the window shows around the run, and where a stopped or failed
// run leaves the file.

#include "autosizelabel.h"
#include "fakes.h"
#include "picturebox.h"
#include "sstab.h"
#include "testfiles.h"
#include "textbox.h"
#include "ui_main.h"
#include "webview.h"

#include <QFile>
#include <QImage>
#include <QLabel>
#include <QPushButton>
#include <QTest>

using zentraq::testing::readFile;
using zentraq::testing::WindowHarness;
using zentraq::testing::writeFile;

namespace {

// Neighbouring pixels all differ, so a swapped or skipped pixel shows; with
// `transparent`, pixel (0, 0) and every third diagonal are fully transparent.
QImage patterned(int w, int h, bool transparent = false) {
    QImage img(w, h, QImage::Format_ARGB32);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            img.setPixel(x, y,
                         qRgba(x * 37 + y * 11, x * 5 + y * 71, x * y + 3 * x,
                               transparent && (x + y) % 3 == 0 ? 0 : 255));
    return img;
}

const QString WrittenBox = QStringLiteral("图片取模数据不显示在软件界面,数据已经写入");
const QString DesignSizes = QStringLiteral("113*97 取模数据大小:21922字节");

QList<bool> buttonsEnabled(Ui::main& ui) {
    return {ui.Command11->isEnabled(), ui.Command12->isEnabled(), ui.Command10->isEnabled()};
}

QString dataPath(WindowHarness& h) {
    return h.folder.path() + "/temp.txt";
}

// Saves `picture` in the program folder in the format its name starts with
// ("png.bmp" is a PNG) and imports it through the dialog.
QString import(WindowHarness& h, const QImage& picture, const QString& name = "png.png") {
    const QString file = h.folder.filePath(name);
    if (!picture.save(file, name.section('.', 0, 0).toLatin1().constData()))
        return {};
    h.fileDialog.answers.push_back(file);
    h.window->Command11_Click();
    return file;
}

} // namespace

class PictureWindowTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { zentraq::WebView::setEngineEnabled(false); }

    // The size box follows every import; when nothing was loaded it tells the
    // preview's current size, before any import its design size.
    void importSizes_data() {
        QTest::addColumn<int>("w"); // > 0: a w x h picture is chosen
        QTest::addColumn<int>("h");
        QTest::addColumn<QString>("answer"); // else the dialog's answer; empty = cancel
        QTest::addColumn<QString>("sizes");
        QTest::newRow("cancel before any choice") << 0 << 0 << "" << DesignSizes;
        QTest::newRow("name of 3 characters") << 0 << 0 << "a.b" << DesignSizes;
        QTest::newRow("exponent form") << 4000 << 3000 << ""
                                       << "4000*3000 取模数据大小:2.4E+07字节";
    }
    void importSizes() {
        QFETCH(int, w);
        QFETCH(int, h);
        QFETCH(QString, answer);
        QFETCH(QString, sizes);
        WindowHarness harness;
        auto& ui = harness.window->controls();
        if (w > 0) {
            QImage picture(w, h, QImage::Format_RGB32);
            picture.fill(qRgb(10, 200, 30));
            QVERIFY(picture.save(answer = harness.folder.filePath("p.png")));
        }
        if (!answer.isEmpty())
            harness.fileDialog.answers.push_back(answer);
        harness.window->Command11_Click();
        QCOMPARE(harness.boxes.shown, QStringList{QStringLiteral("当前图片尺寸:") + sizes});
        QCOMPARE(ui.Label5->text(), w > 0 ? QStringLiteral("图片预揽区 当前图片尺寸:") + sizes
                                          : QStringLiteral("图片预揽区"));
        QCOMPARE(ui.Picturelin->size(), w > 0 ? QSize(w, h) : QSize(113, 97));
    }

    // Cancelling after a choice loads the remembered file again.
    void cancelReloadsEarlierChoice() {
        WindowHarness h;
        auto& ui = h.window->controls();
        const QString file = import(h, patterned(20, 10));
        QVERIFY(patterned(6, 5).save(file, "PNG"));
        h.window->Command11_Click(); // cancelled
        QCOMPARE(h.fileDialog.offered.last(), file);
        QCOMPARE(ui.Picturelin->size(), QSize(6, 5));
        QCOMPARE(ui.Label5->text(),
                 QStringLiteral("图片预揽区 当前图片尺寸:6*5 取模数据大小:60字节"));
        QCOMPARE(h.boxes.shown.size(), 2);
    }

    // temp.txt: W*H*10 + floor(W*H/8)*2 bytes, CR LF after every 8th item over
    // the whole picture; transparent parts on the preview's white.
    void convert_data() {
        QTest::addColumn<int>("w");
        QTest::addColumn<int>("h");
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("transparent");
        QTest::addColumn<QString>("caption"); // progress while the "written" box is up
        QTest::newRow("1x1: one item, no CR LF") << 1 << 1 << "png.png" << false << "";
        QTest::newRow("format from the content") << 9 << 7 << "png.bmp" << true << "";
        QTest::newRow("10,000 pixels: no percentage") << 100 << 100 << "png.png" << false << "";
        QTest::newRow("100x101: one refresh") << 100 << 101 << "png.png" << false << "生成进度:99%";
        // Larger than the preview frame. Refreshed after pixel 10,001, 20,002,
        // ..., the last time after pixel 90,009 of 91,000.
        QTest::newRow("350x260") << 350 << 260 << "png.png" << false << "生成进度:98%";
    }
    void convert() {
        QFETCH(int, w);
        QFETCH(int, h);
        QFETCH(QString, name);
        QFETCH(bool, transparent);
        WindowHarness harness;
        auto& ui = harness.window->controls();
        harness.window->show();
        ui.Text2->setText(QStringLiteral("glyph data stays"));
        const QImage picture = patterned(w, h, transparent);
        QVERIFY(!import(harness, picture, name).isEmpty());
        if (w > 300) // shown clipped by the frame, converted whole
            QVERIFY(!ui.Pictureba->contentsRect().contains(ui.Picturelin->geometry()));
        // An older, longer data file is replaced, not written over.
        QVERIFY(writeFile(dataPath(harness), QByteArray(2000000, 'x')));
        harness.boxes.shown.clear();

        QList<bool> duringRun;
        harness.pump.each = [&] { duringRun = buttonsEnabled(ui); };
        QString caption;
        harness.boxes.onShow = [&](const QString&) {
            caption = ui.Label8->isHidden() ? QStringLiteral("<hidden>") : ui.Label8->text();
        };
        QTest::mouseClick(ui.Command12, Qt::LeftButton);

        const QByteArray data = readFile(dataPath(harness));
        QCOMPARE(data.size(), w * h * 10 + w * h / 8 * 2);
        QCOMPARE(data.startsWith("0xFF,0xFF,"), transparent);
        QCOMPARE(duringRun, (QList<bool>{false, false, false}));
        QTEST(caption, "caption");
        QCOMPARE(harness.boxes.shown, QStringList{WrittenBox + dataPath(harness)});
        QCOMPARE(harness.shell.files, QStringList{dataPath(harness)});
        QVERIFY(ui.Label8->isHidden());
        QCOMPARE(ui.Label1->text(), QStringLiteral("数据大小:%1字节").arg(w * h * 2));
        QCOMPARE(ui.Text2->text(), QStringLiteral("glyph data stays"));
        QCOMPARE(buttonsEnabled(ui), (QList<bool>{true, true, true}));
    }

    // Page and size buttons work in the middle of a conversion; a glyph
    // conversion then rewrites the shared output, and the picture's size
    // lands in Label1 at the end.
    void windowStaysLive() {
        WindowHarness h;
        auto& ui = h.window->controls();
        h.window->show();
        QTest::mouseClick(ui.Command15, Qt::LeftButton);
        import(h, patterned(60, 40));
        ui.Text1->setText(QStringLiteral("A"));
        ui.Text2->setText(QString());
        h.pump.each = [&] {
            if (h.pump.calls == 1) {
                QTest::mouseClick(ui.Command8, Qt::LeftButton);
                QTest::mouseClick(ui.Command14, Qt::LeftButton);
            }
        };
        QTest::mouseClick(ui.Command12, Qt::LeftButton);
        QVERIFY(h.window->Pages[1]->isVisible());
        QVERIFY(!ui.Text2->text().isEmpty());
        QCOMPARE(ui.Label1->text(), QStringLiteral("数据大小:4800字节"));
    }

    // Closing the window stops the conversion at the next pixel; the file
    // keeps what was written, nothing else appears, and the window is then
    // destroyed with the harness.
    void closingStopsConversion() {
        WindowHarness h;
        auto& ui = h.window->controls();
        h.window->show();
        const QImage picture = patterned(300, 200);
        import(h, picture);
        h.boxes.shown.clear();
        h.pump.each = [&] {
            if (h.pump.calls == 1)
                h.window->close();
        };
        h.window->Command12_Click();
        QCOMPARE(h.pump.calls, 1);
        QCOMPARE(readFile(dataPath(h)).size(), 10); // one item
        QVERIFY(h.boxes.shown.isEmpty() && h.shell.files.isEmpty());
        QCOMPARE(ui.Label1->text(), QStringLiteral("数据大小:0"));
    }

    // Failures end in the error box with the buttons back and Label1 as it
    // was. A read-only old file stops the run before anything is written or
    // shown; a pixel past the picture's edge (box wider than its picture)
    // reads -1, which cannot be encoded: the items before it stay and the
    // progress label stays up.
    void conversionErrors_data() {
        QTest::addColumn<bool>("readOnly");
        QTest::newRow("read-only temp.txt") << true;
        QTest::newRow("pixel outside the picture") << false;
    }
    void conversionErrors() {
        QFETCH(bool, readOnly);
        WindowHarness h;
        auto& ui = h.window->controls();
        const QImage picture = patterned(3, 3);
        import(h, picture);
        h.boxes.shown.clear();
        if (readOnly)
            QVERIFY(writeFile(dataPath(h), "kept") &&
                    QFile::setPermissions(dataPath(h), QFile::ReadOwner));
        else
            ui.Picturelin->resize(4, 3);
        h.window->Command12_Click();
        QCOMPARE(h.boxes.shown.size(), 1);
        QVERIFY2(readOnly ? h.boxes.shown[0].startsWith(QStringLiteral("出现错误")) &&
                                h.boxes.shown[0].contains(dataPath(h))
                          : h.boxes.shown[0] == QStringLiteral("出现错误溢出"),
                 qPrintable(h.boxes.shown[0]));
        const QByteArray left = readFile(dataPath(h));
        QVERIFY(readOnly ? left == "kept" : left.size() == 30 && !left.contains("\r\n"));
        QCOMPARE(ui.Label8->isHidden(), readOnly);
        QVERIFY(h.shell.files.isEmpty());
        QCOMPARE(ui.Label1->text(), QStringLiteral("数据大小:0"));
        QCOMPARE(buttonsEnabled(ui), (QList<bool>{true, true, true}));
    }
};

QTEST_MAIN(PictureWindowTest)
#include "test_picture_window.moc"
