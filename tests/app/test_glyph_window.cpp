// The glyph data page of the real window: the six size buttons, the ASCII
// fill and the copy to the clipboard, clicked as a user clicks them. What the
// conversion makes of a text is tested on its own in tests/glyph.

#include "fakes.h"
#include "glyphcanvasbox.h"
#include "textbox.h"
#include "ui_main.h"
#include "webview.h"

#include <QLabel>
#include <QPushButton>
#include <QTest>

using namespace zentraq;
using namespace Qt::StringLiterals;

class GlyphWindowTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { WebView::setEngineEnabled(false); }

    void sizeButtons_data() {
        QTest::addColumn<QString>("button");
        QTest::addColumn<QSize>("cell");
        QTest::addColumn<float>("points");
        QTest::newRow("12*12汉字") << "Command1" << QSize(12, 12) << 9.0f;
        QTest::newRow("16*16汉字") << "Command5" << QSize(16, 16) << 12.0f;
        QTest::newRow("32*32汉字") << "Command6" << QSize(32, 32) << 24.0f;
        QTest::newRow("6*12字母") << "Command7" << QSize(6, 12) << 9.0f;
        QTest::newRow("8*16字母") << "Command8" << QSize(8, 16) << 12.0f;
        QTest::newRow("16*32字母") << "Command9" << QSize(16, 32) << 24.0f;
    }
    // The canvas takes the button's size and font. The ASCII fill converts
    // nothing until a button is pressed, then gives 95 lines. (What each
    // button makes of the default input and of the ASCII fill, Text2 and
    // Label1, is pinned by tests/identity.)
    void sizeButtons() {
        QFETCH(QString, button);
        QFETCH(QSize, cell);
        QFETCH(float, points);
        testing::WindowHarness harness;
        auto& ui = harness.window->controls();
        QPushButton* size = harness.window->findChild<QPushButton*>(button);
        QVERIFY(size);
        QCOMPARE(ui.Text1->text(), QStringLiteral("Morvane电子\r\n"));
        QTest::mouseClick(size, Qt::LeftButton);
        QCOMPARE(ui.Picture1->size(), cell);
        QCOMPARE(ui.Picture1->canvas().fontSize(), points);

        const QString before = ui.Text2->text();
        QCOMPARE(before.count(QStringLiteral("\r\n")), 9);
        QTest::mouseClick(ui.Command13, Qt::LeftButton);
        QCOMPARE(ui.Text1->text(),
                 QStringLiteral(" !\"#$%&'()*+,-./0123456789:;<=>?@ABCDEFGHIJKLMNOPQRSTUVWXYZ"
                                "[\\]^_`abcdefghijklmnopqrstuvwxyz{|}~"));
        QCOMPARE(ui.Text2->text(), before);
        QTest::mouseClick(size, Qt::LeftButton);
        QCOMPARE(ui.Text2->text().count(QStringLiteral("\r\n")), 95);
    }

    // Text2, empty too, goes to the clipboard with the success message; a
    // clipboard that cannot be written is reported, with the reason, and
    // never as a success.
    void copyToClipboard_data() {
        QTest::addColumn<bool>("convertFirst");
        QTest::addColumn<bool>("fail");
        QTest::addColumn<QString>("message");
        const QString copied = u"成功复制到粘贴板，现在可以去编译环境中直接粘贴字模数据了"_s;
        QTest::newRow("glyph data") << true << false << copied;
        QTest::newRow("empty output") << false << false << copied;
        QTest::newRow("clipboard held")
            << true << true << u"复制失败，字模数据没有放到粘贴板上：剪贴板被其他程序占用"_s;
    }
    void copyToClipboard() {
        QFETCH(bool, convertFirst);
        QFETCH(bool, fail);
        QFETCH(QString, message);
        testing::WindowHarness harness;
        auto& ui = harness.window->controls();
        if (convertFirst)
            QTest::mouseClick(ui.Command1, Qt::LeftButton);
        QCOMPARE(ui.Text2->text().isEmpty(), !convertFirst);
        harness.clipboard.fail = fail;
        QTest::mouseClick(ui.Command10, Qt::LeftButton);
        QCOMPARE(harness.clipboard.writes, 1);
        QCOMPARE(harness.clipboard.text, fail ? QString() : ui.Text2->text());
        QCOMPARE(harness.boxes.shown, QStringList{message});
    }
};

QTEST_MAIN(GlyphWindowTest)
#include "test_glyph_window.moc"
