// The glyph data page of the real window: the ASCII fill and the copy to the
// clipboard, clicked as a user clicks them. What the conversion makes of a
// text is tested on its own in tests/glyph.

#include "fakes.h"
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

    // The ASCII fill converts nothing until a size button is pressed. (What
    // each size button makes of the default input and of the ASCII fill,
    // Text2 and Label1, is pinned by tests/identity.)
    void asciiFill() {
        testing::WindowHarness harness;
        auto& ui = harness.window->controls();
        QCOMPARE(ui.Text1->text(), QStringLiteral("Morvane电子\r\n"));
        QTest::mouseClick(ui.Command8, Qt::LeftButton);
        const QString before = ui.Text2->text();
        QTest::mouseClick(ui.Command13, Qt::LeftButton);
        QCOMPARE(ui.Text1->text(),
                 QStringLiteral(" !\"#$%&'()*+,-./0123456789:;<=>?@ABCDEFGHIJKLMNOPQRSTUVWXYZ"
                                "[\\]^_`abcdefghijklmnopqrstuvwxyz{|}~"));
        QCOMPARE(ui.Text2->text(), before);
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
