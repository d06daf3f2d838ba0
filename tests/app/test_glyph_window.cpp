// The glyph data page of the real window: the six size buttons, the ASCII
// fill and the copy to the clipboard, clicked as a user clicks them.

#include "fakes.h"
#include "glyphcanvasbox.h"
#include "qumo.h"
#include "textbox.h"
#include "ui_main.h"
#include "webview.h"

#include <QLabel>
#include <QPushButton>
#include <QTest>

using zentraq::testing::WindowHarness;

namespace {

QStringList dataLines(const QString& text) {
    QStringList l = text.split(QStringLiteral("\r\n"));
    if (!l.isEmpty() && l.last().isEmpty())
        l.removeLast();
    return l;
}

QPushButton* sizeButton(Ui::main& ui, int preset) {
    QPushButton* const buttons[] = {ui.Command1, ui.Command5, ui.Command6,
                                    ui.Command7, ui.Command8, ui.Command9};
    return buttons[preset];
}

const QString CopiedMessage = QStringLiteral("成功复制到粘贴板，现在可以去编译环境中直接粘贴字模数据了");

} // namespace

class GlyphWindowTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { zentraq::WebView::setEngineEnabled(false); }

    void sizeButtons_data() {
        QTest::addColumn<int>("preset");
        QTest::addColumn<int>("w");
        QTest::addColumn<int>("h");
        QTest::addColumn<float>("points");
        QTest::addColumn<int>("lineLength");
        QTest::newRow("Command1 12*12汉字") << 0 << 12 << 12 << 9.0f << 92;
        QTest::newRow("Command5 16*16汉字") << 1 << 16 << 16 << 12.0f << 162;
        QTest::newRow("Command6 32*32汉字") << 2 << 32 << 32 << 24.0f << 642;
        QTest::newRow("Command7 6*12字母") << 3 << 6 << 12 << 9.0f << 47;
        QTest::newRow("Command8 8*16字母") << 4 << 8 << 16 << 12.0f << 82;
        QTest::newRow("Command9 16*32字母") << 5 << 16 << 32 << 24.0f << 322;
    }
    // The default input "Morvane电子" CR LF gives nine lines; the canvas takes
    // the button's size and font, and shows the last character.
    void sizeButtons() {
        QFETCH(int, preset);
        QFETCH(int, w);
        QFETCH(int, h);
        QFETCH(float, points);
        QFETCH(int, lineLength);
        WindowHarness harness;
        auto& ui = harness.window->controls();
        zentraq::GlyphCanvasBox* box = ui.Picture1;
        QCOMPARE(box->size(), QSize(25, 25));
        QCOMPARE(box->frameWidth(), 0);
        QCOMPARE(ui.Text1->text(), QStringLiteral("Morvane电子\r\n"));
        QTest::mouseClick(sizeButton(ui, preset), Qt::LeftButton);

        const QStringList l = dataLines(ui.Text2->text());
        QCOMPARE(l.size(), 9);
        for (const QString& line : l)
            QCOMPARE(line.size() + 2, lineLength);
        QCOMPARE(ui.Label1->text(), QStringLiteral("数据大小:%1").arg(9 * w * h / 8));

        QCOMPARE(box->canvas().width(), w);
        QCOMPARE(box->canvas().height(), h);
        QCOMPARE(box->size(), QSize(w, h));
        QCOMPARE(box->canvas().fontSize(), points);

        zentraq::GlyphCanvas expected;
        zentraq::glyph::prepareCanvas(expected, static_cast<qint16>(w), static_cast<qint16>(h), w == h);
        expected.Print(U'子');
        QCOMPARE(box->surface().image(), expected.surface().image());
    }

    void asciiFill_data() {
        QTest::addColumn<int>("preset");
        QTest::addColumn<QString>("label");
        QTest::newRow("8*16字母") << 4 << QStringLiteral("数据大小:1520");
        QTest::newRow("6*12字母") << 3 << QStringLiteral("数据大小:855");
        QTest::newRow("32*32汉字") << 2 << QStringLiteral("数据大小:12160");
    }
    void asciiFill() {
        QFETCH(int, preset);
        QFETCH(QString, label);
        WindowHarness harness;
        auto& ui = harness.window->controls();
        ui.Text2->setText(QStringLiteral("old"));
        QTest::mouseClick(ui.Command13, Qt::LeftButton);
        QString ascii;
        for (char16_t c = 32; c <= 126; ++c)
            ascii += QChar(c);
        QCOMPARE(ui.Text1->text(), ascii);
        // The fill converts nothing by itself.
        QCOMPARE(ui.Text2->text(), QStringLiteral("old"));
        QCOMPARE(ui.Label1->text(), QStringLiteral("数据大小:0"));

        QTest::mouseClick(sizeButton(ui, preset), Qt::LeftButton);
        QCOMPARE(ui.Label1->text(), label);
        const QStringList l = dataLines(ui.Text2->text());
        QCOMPARE(l.size(), 95);
        QCOMPARE(l.first(), QStringLiteral("0x00,").repeated(l.first().size() / 5)); // the space
    }

    void crLfInput_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("lines");
        QTest::newRow("empty") << QString() << 0;
        QTest::newRow("only CR LF") << QStringLiteral("\r\n\r\n") << 0;
        QTest::newRow("A CR LF B") << QStringLiteral("A\r\nB") << 2;
        QTest::newRow("CR x LF") << QStringLiteral("\rx\n") << 3;
        QTest::newRow("CR CR LF") << QStringLiteral("\r\r\n") << 1;
        QTest::newRow("astral character") << QString::fromUcs4(U"\U00020000") << 1;
    }
    void crLfInput() {
        QFETCH(QString, text);
        QFETCH(int, lines);
        WindowHarness harness;
        auto& ui = harness.window->controls();
        ui.Text1->setText(text);
        QTest::mouseClick(ui.Command8, Qt::LeftButton);
        QCOMPARE(dataLines(ui.Text2->text()).size(), lines);
        QCOMPARE(ui.Label1->text(), QStringLiteral("数据大小:%1").arg(16 * lines));
        QVERIFY(harness.boxes.shown.isEmpty());
    }

    // Lines the user typed with Enter are joined before converting.
    void typedLineBreaksAreNotConverted() {
        WindowHarness harness;
        auto& ui = harness.window->controls();
        ui.Text1->clear();
        QTest::keyClicks(ui.Text1, QStringLiteral("AB"));
        QTest::keyClick(ui.Text1, Qt::Key_Return);
        QTest::keyClicks(ui.Text1, QStringLiteral("C"));
        QTest::mouseClick(ui.Command8, Qt::LeftButton);
        QCOMPARE(dataLines(ui.Text2->text()).size(), 3);
        QCOMPARE(ui.Label1->text(), QStringLiteral("数据大小:48"));
    }

    // A second conversion replaces the first entirely.
    void conversionReplacesOutput() {
        WindowHarness harness;
        auto& ui = harness.window->controls();
        ui.Text1->setText(QStringLiteral("中文"));
        QTest::mouseClick(ui.Command5, Qt::LeftButton);
        QCOMPARE(ui.Label1->text(), QStringLiteral("数据大小:64"));
        QTest::mouseClick(ui.Command8, Qt::LeftButton);
        QCOMPARE(ui.Label1->text(), QStringLiteral("数据大小:32"));
        const QStringList l = dataLines(ui.Text2->text());
        QCOMPARE(l.size(), 2);
        for (const QString& line : l)
            QCOMPARE(line.size(), 80);
    }

    void copyToClipboard_data() {
        QTest::addColumn<bool>("convertFirst");
        QTest::newRow("glyph data") << true;
        QTest::newRow("empty output") << false;
    }
    void copyToClipboard() {
        QFETCH(bool, convertFirst);
        WindowHarness harness;
        auto& ui = harness.window->controls();
        if (convertFirst)
            QTest::mouseClick(ui.Command1, Qt::LeftButton);
        QTest::mouseClick(ui.Command10, Qt::LeftButton);
        QCOMPARE(harness.clipboard.writes, 1);
        QCOMPARE(harness.clipboard.text, ui.Text2->text());
        QCOMPARE(harness.clipboard.text.isEmpty(), !convertFirst);
        QCOMPARE(harness.boxes.shown, QStringList{CopiedMessage});
    }

    // A clipboard that cannot be written is reported as such, with the
    // reason, and never as a success.
    void copyFailureIsReported() {
        WindowHarness harness;
        auto& ui = harness.window->controls();
        QTest::mouseClick(ui.Command8, Qt::LeftButton);
        harness.clipboard.fail = true;
        QTest::mouseClick(ui.Command10, Qt::LeftButton);
        QCOMPARE(harness.boxes.shown.size(), 1);
        const QString message = harness.boxes.shown.first();
        QVERIFY(message != CopiedMessage);
        QVERIFY(message.contains(QStringLiteral("失败")));
        QVERIFY(message.contains(QStringLiteral("剪贴板被其他程序占用")));
        // The output is untouched and can be copied once the clipboard is free.
        harness.clipboard.fail = false;
        QTest::mouseClick(ui.Command10, Qt::LeftButton);
        QCOMPARE(harness.clipboard.text, ui.Text2->text());
        QCOMPARE(harness.boxes.shown.last(), CopiedMessage);
    }

    // The window's own qumo with a cell beyond the 16-bit pixel count reports
    // the overflow and leaves the output as it was.
    void oversizedCellReported() {
        WindowHarness harness;
        auto& ui = harness.window->controls();
        QTest::mouseClick(ui.Command8, Qt::LeftButton);
        const QString before = ui.Text2->text();
        harness.window->qumo(256, 256);
        QCOMPARE(ui.Text2->text(), before);
        QCOMPARE(harness.boxes.shown.size(), 1);
        QVERIFY(harness.boxes.shown.first().contains(QStringLiteral("溢出")));
    }
};

QTEST_MAIN(GlyphWindowTest)
#include "test_glyph_window.moc"
