// The picture data tab of the real window: "导入图片" and "生成取模数据"
// clicked as a user clicks them, with fakes for the file dialog, the boxes,
// the desktop shell and the event pump. Data files are compared with data
// computed here from the picture's pixels with plain arithmetic.

#include "autosizelabel.h"
#include "fakes.h"
#include "picturebox.h"
#include "sstab.h"
#include "textbox.h"
#include "ui_main.h"
#include "webview.h"

#include <QFile>
#include <QImage>
#include <QLabel>
#include <QPushButton>
#include <QTest>

using zentraq::testing::WindowHarness;

namespace {

const QString DesignSizeBox = QStringLiteral("当前图片尺寸:113*97 取模数据大小:21922字节");
const QString WrittenBox = QStringLiteral("图片取模数据不显示在软件界面,数据已经写入");

// "0xLL,0xHH," per pixel with transparent pixels on white, CR LF after
// every 8th; only the first `pixels` items when given.
QByteArray expectedData(const QImage& picture, int pixels = -1) {
    QByteArray out;
    int n = 0;
    for (int y = 0; y < picture.height(); ++y)
        for (int x = 0; x < picture.width(); ++x) {
            if (n == pixels)
                return out;
            QRgb p = picture.pixel(x, y);
            if (qAlpha(p) == 0)
                p = qRgb(255, 255, 255);
            const int word = ((qRed(p) >> 3) << 11) | ((qGreen(p) >> 2) << 5) | (qBlue(p) >> 3);
            out += QString::asprintf("0x%02X,0x%02X,", word & 0xFF, word >> 8).toLatin1();
            if (++n % 8 == 0)
                out += "\r\n";
        }
    return out;
}

QImage patterned(int w, int h, bool withTransparency = false) {
    QImage img(w, h, QImage::Format_ARGB32);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            img.setPixel(x, y,
                         qRgba((x * 37 + y * 11) & 255, (x * 5 + y * 71) & 255, (x * y + 3 * x) & 255,
                               withTransparency && (x + y) % 3 == 0 ? 0 : 255));
    return img;
}

QByteArray readAll(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return "<unreadable>";
    return f.readAll();
}

QList<bool> buttonsEnabled(Ui::main& ui) {
    return {ui.Command11->isEnabled(), ui.Command12->isEnabled(), ui.Command10->isEnabled()};
}

const QList<bool> AllEnabled{true, true, true};
const QList<bool> AllDisabled{false, false, false};

} // namespace

class PictureWindowTest : public QObject {
    Q_OBJECT

private:
    // Saves `picture` in the program folder and imports it through the dialog.
    QString import(WindowHarness& h, const QImage& picture, const char* format = "PNG") {
        const QString file = h.folder.filePath(QStringLiteral("picture.") +
                                               QString::fromLatin1(format).toLower());
        if (!picture.save(file, format))
            return {};
        h.fileDialog.answers.push_back(file);
        h.window->Command11_Click();
        return file;
    }
    static QString dataPath(WindowHarness& h) { return h.folder.path() + "/temp.txt"; }

private slots:
    void initTestCase() { zentraq::WebView::setEngineEnabled(false); }

    // Cancelling before any choice, or a name of 3 characters or fewer,
    // loads nothing; the box tells the size the preview has, here its design
    // size.
    void noFileChosen_data() {
        QTest::addColumn<QStringList>("answers");
        QTest::newRow("cancelled") << QStringList();
        QTest::newRow("short name") << QStringList{QStringLiteral("a.b")};
    }
    void noFileChosen() {
        QFETCH(QStringList, answers);
        WindowHarness h;
        auto& ui = h.window->controls();
        for (const QString& a : answers)
            h.fileDialog.answers.push_back(a);
        h.window->Command11_Click();
        QCOMPARE(h.fileDialog.offered, QStringList{QString()});
        QCOMPARE(h.boxes.shown, QStringList{DesignSizeBox});
        QCOMPARE(ui.Label5->text(), QStringLiteral("图片预揽区"));
    }

    void importShowsSizes_data() {
        QTest::addColumn<int>("w");
        QTest::addColumn<int>("h");
        QTest::addColumn<QString>("sizes");
        QTest::newRow("small") << 40 << 30 << "40*30 取模数据大小:2400字节";
        QTest::newRow("exponent form") << 4000 << 3000 << "4000*3000 取模数据大小:2.4E+07字节";
    }
    void importShowsSizes() {
        QFETCH(int, w);
        QFETCH(int, h);
        QFETCH(QString, sizes);
        WindowHarness harness;
        auto& ui = harness.window->controls();
        QImage picture(w, h, QImage::Format_RGB32);
        picture.fill(qRgb(10, 200, 30));
        QVERIFY(!import(harness, picture).isEmpty());
        QCOMPARE(ui.Picturelin->size(), QSize(w, h));
        QCOMPARE(ui.Label5->text(), QStringLiteral("图片预揽区 当前图片尺寸:") + sizes);
        QCOMPARE(harness.boxes.shown, QStringList{QStringLiteral("当前图片尺寸:") + sizes});
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
        QCOMPARE(ui.Label5->text(), QStringLiteral("图片预揽区 当前图片尺寸:6*5 取模数据大小:60字节"));
        QCOMPARE(h.boxes.shown.size(), 2);
    }

    void notAPictureChangesNothing() {
        WindowHarness h;
        auto& ui = h.window->controls();
        import(h, patterned(20, 10));
        const QString label5 = ui.Label5->text();
        const QString text = h.folder.filePath("notes.txt");
        QFile f(text);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("just text\r\n");
        f.close();
        h.boxes.shown.clear();
        h.fileDialog.answers.push_back(text);
        h.window->Command11_Click();
        QCOMPARE(h.boxes.shown.size(), 1);
        QVERIFY2(h.boxes.shown[0].startsWith(QStringLiteral("出现错误")) &&
                     h.boxes.shown[0].contains(text),
                 qPrintable(h.boxes.shown[0]));
        QCOMPARE(ui.Picturelin->size(), QSize(20, 10));
        QCOMPARE(ui.Label5->text(), label5);
    }

    void convert_data() {
        QTest::addColumn<int>("w");
        QTest::addColumn<int>("h");
        QTest::addColumn<bool>("transparent");
        QTest::addColumn<int>("fileSize");
        QTest::addColumn<QString>("label1");
        QTest::newRow("1x1") << 1 << 1 << false << 10 << "数据大小:2字节";
        QTest::newRow("80x120") << 80 << 120 << false << 9600 * 10 + 1200 * 2 << "数据大小:19200字节";
        QTest::newRow("transparent png") << 9 << 7 << true << 63 * 10 + 7 * 2 << "数据大小:126字节";
        QTest::newRow("wider and taller than the frame")
            << 350 << 260 << false << 91000 * 10 + 11375 * 2 << "数据大小:182000字节";
    }
    void convert() {
        QFETCH(int, w);
        QFETCH(int, h);
        QFETCH(bool, transparent);
        WindowHarness harness;
        auto& ui = harness.window->controls();
        harness.window->show();
        ui.Text2->setText(QStringLiteral("glyph data stays"));
        const QImage picture = patterned(w, h, transparent);
        QVERIFY(!import(harness, picture).isEmpty());
        if (w > 298)
            QVERIFY(!ui.Pictureba->contentsRect().contains(ui.Picturelin->geometry()));
        harness.boxes.shown.clear();

        QList<bool> duringRun;
        bool label8Shown = false;
        harness.pump.each = [&] {
            duringRun = buttonsEnabled(ui);
            label8Shown = !ui.Label8->isHidden();
        };
        QTest::mouseClick(ui.Command12, Qt::LeftButton);

        const QByteArray data = readAll(dataPath(harness));
        QTEST(int(data.size()), "fileSize");
        QCOMPARE(data, expectedData(picture));
        QVERIFY(harness.pump.calls >= 1);
        QCOMPARE(duringRun, AllDisabled);
        QVERIFY(label8Shown);
        QCOMPARE(harness.boxes.shown, QStringList{WrittenBox + dataPath(harness)});
        QCOMPARE(harness.shell.files, QStringList{dataPath(harness)});
        QVERIFY(ui.Label8->isHidden());
        QTEST(ui.Label1->text(), "label1");
        QCOMPARE(ui.Text2->text(), QStringLiteral("glyph data stays"));
        QCOMPARE(buttonsEnabled(ui), AllEnabled);
    }

    // Without an import the box converts what it shows at its design size:
    // 113 x 97 pixels of white background.
    void convertDesignSize() {
        WindowHarness h;
        auto& ui = h.window->controls();
        h.window->Command12_Click();
        QImage white(113, 97, QImage::Format_RGB32);
        white.fill(qRgb(255, 255, 255));
        QCOMPARE(readAll(dataPath(h)), expectedData(white));
        QCOMPARE(ui.Label1->text(), QStringLiteral("数据大小:21922字节"));
    }

    // The caption as it stands when the conversion ends (the box holds the
    // routine until dismissed).
    void progressCaption_data() {
        QTest::addColumn<int>("w");
        QTest::addColumn<int>("h");
        QTest::addColumn<QString>("caption");
        QTest::newRow("10,000 pixels: none") << 100 << 100 << "";
        QTest::newRow("100x101") << 100 << 101 << "生成进度:99%";
    }
    void progressCaption() {
        QFETCH(int, w);
        QFETCH(int, h);
        WindowHarness harness;
        auto& ui = harness.window->controls();
        import(harness, patterned(w, h));
        QString atEnd;
        bool visible = false;
        harness.boxes.onShow = [&](const QString&) {
            atEnd = ui.Label8->text();
            visible = !ui.Label8->isHidden();
        };
        harness.window->Command12_Click();
        QTEST(atEnd, "caption");
        QVERIFY(visible);
        QVERIFY(ui.Label8->isHidden());
    }

    // Page and size buttons work in the middle of a conversion; a glyph
    // conversion then rewrites the shared output, and the picture's size
    // lands in Label1 at the end.
    void windowStaysLive() {
        WindowHarness h;
        auto& ui = h.window->controls();
        auto& m = *h.window;
        m.show();
        QTest::mouseClick(ui.Command15, Qt::LeftButton);
        ui.SSTab1->setTab(1);
        import(h, patterned(60, 40));
        ui.Text1->setText(QStringLiteral("A"));
        ui.Text2->setText(QString());
        h.pump.each = [&] {
            if (h.pump.calls == 1) {
                ui.SSTab1->setTab(0);
                QTest::mouseClick(ui.Command8, Qt::LeftButton);
                QTest::mouseClick(ui.Command14, Qt::LeftButton);
            }
        };
        QTest::mouseClick(ui.Command12, Qt::LeftButton);
        QVERIFY(m.Pages[1]->isVisible());
        QVERIFY(!ui.Text2->text().isEmpty());
        QCOMPARE(ui.Label1->text(), QStringLiteral("数据大小:4800字节"));
    }

    // Closing the window stops the conversion at the next pixel; the file
    // keeps what was written and nothing else appears.
    void closingStopsConversion() {
        WindowHarness h;
        auto& ui = h.window->controls();
        h.window->show();
        QVERIFY(QTest::qWaitForWindowExposed(h.window.get()));
        const QImage picture = patterned(300, 200);
        import(h, picture);
        h.boxes.shown.clear();
        const QString label1 = ui.Label1->text();
        h.pump.each = [&] {
            if (h.pump.calls == 1)
                h.window->close();
        };
        h.window->Command12_Click();
        QVERIFY(!h.window->isVisible());
        QCOMPARE(h.pump.calls, 1);
        QCOMPARE(readAll(dataPath(h)), expectedData(picture, 1));
        QVERIFY(h.boxes.shown.isEmpty());
        QVERIFY(h.shell.files.isEmpty());
        QCOMPARE(ui.Label1->text(), label1);
        QVERIFY(QFile::remove(dataPath(h))); // closed
        h.window.reset();
    }

    void readOnlyDataFileIsKept() {
        WindowHarness h;
        auto& ui = h.window->controls();
        import(h, patterned(4, 4));
        h.boxes.shown.clear();
        QFile old(dataPath(h));
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write("kept");
        old.close();
        QVERIFY(old.setPermissions(QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther));

        h.window->Command12_Click();
        QCOMPARE(h.boxes.shown.size(), 1);
        QVERIFY2(h.boxes.shown[0].startsWith(QStringLiteral("出现错误")),
                 qPrintable(h.boxes.shown[0]));
        QCOMPARE(readAll(dataPath(h)), QByteArray("kept"));
        QVERIFY(ui.Label8->isHidden());
        QCOMPARE(h.pump.calls, 0);
        QVERIFY(h.shell.files.isEmpty());
        QCOMPARE(ui.Label1->text(), QStringLiteral("数据大小:0"));
        QCOMPARE(buttonsEnabled(ui), AllEnabled);
        old.setPermissions(QFile::ReadOwner | QFile::WriteOwner);
    }

    // A box wider than its picture reads -1 past the picture's edge, which
    // cannot be encoded: the error box, the items before stay, the progress
    // label stays up, the buttons come back.
    void failureMidConversion() {
        WindowHarness h;
        auto& ui = h.window->controls();
        const QImage picture = patterned(3, 3);
        import(h, picture);
        ui.Picturelin->resize(4, 3);
        h.boxes.shown.clear();
        h.window->Command12_Click();
        QCOMPARE(h.boxes.shown, QStringList{QStringLiteral("出现错误溢出")});
        QCOMPARE(readAll(dataPath(h)), expectedData(picture, 3));
        QVERIFY(!ui.Label8->isHidden());
        QCOMPARE(ui.Label8->text(), QString());
        QCOMPARE(buttonsEnabled(ui), AllEnabled);
        QVERIFY(h.shell.files.isEmpty());
    }

    // Nothing to convert: the empty data file is shown in the data area.
    void zeroSize() {
        WindowHarness h;
        auto& ui = h.window->controls();
        ui.Text2->setText(QStringLiteral("old"));
        ui.Picturelin->resize(0, 5);
        QString caption;
        h.pump.each = [&] { caption = ui.Label8->text(); };
        h.window->Command12_Click();
        QCOMPARE(caption, QStringLiteral("取模完成,正在调入数据到数据生成区,请稍后....."));
        QCOMPARE(ui.Text2->text(), QString());
        QCOMPARE(readAll(dataPath(h)), QByteArray());
        QVERIFY(h.boxes.shown.isEmpty());
        QVERIFY(h.shell.files.isEmpty());
        QVERIFY(ui.Label8->isHidden());
        QCOMPARE(ui.Label1->text(), QStringLiteral("数据大小:0字节"));
    }
};

QTEST_MAIN(PictureWindowTest)
#include "test_picture_window.moc"
