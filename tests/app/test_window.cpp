// The main window as a whole: start-up, page navigation, the layout of every
// control, the keyboard, the text boxes, message boxes and clipping.

#include "fakes.h"
#include "fonts.h"
#include "frame.h"
#include "picturebox.h"
#include "qt_services.h"
#include "sstab.h"
#include "textbox.h"
#include "ui_main.h"
#include "webview.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProxyStyle>
#include <QRadioButton>
#include <QStyleOptionButton>
#include <QTest>
#include <QTimer>

using namespace Qt::StringLiterals;
using zentraq::testing::WindowHarness;

namespace {

// Position and size of a control measured from its container's client area,
// as the layout gives them.
QRect clientGeometry(QWidget* w) {
    QPoint origin;
    if (auto* frame = qobject_cast<QFrame*>(w->parentWidget()))
        origin = frame->contentsRect().topLeft();
    return QRect(w->pos() - origin, w->size());
}

// The control that holds the keyboard focus: the widget itself or the
// control it is a part of.
QString controlName(QWidget* w) {
    while (w && (w->objectName().isEmpty() || w->objectName() == u"SSTabStrip"_s))
        w = w->parentWidget();
    return w ? w->objectName() : QString();
}

bool showActive(zentraq::main& m) {
    m.show();
    m.activateWindow();
    return QTest::qWaitForWindowActive(&m);
}

QString caption(QWidget* w) {
    if (auto* b = qobject_cast<QAbstractButton*>(w))
        return b->text();
    if (auto* l = qobject_cast<QLabel*>(w))
        return l->text();
    if (auto* g = qobject_cast<QGroupBox*>(w))
        return g->title();
    if (auto* t = qobject_cast<zentraq::TextBox*>(w))
        return t->text();
    if (auto* c = qobject_cast<QComboBox*>(w))
        return c->currentText();
    return {};
}

QList<QWidget*> visiblePages(zentraq::main& m) {
    QList<QWidget*> v;
    for (std::size_t i = 1; i < m.Pages.size(); ++i)
        if (m.Pages[i]->isVisible())
            v << m.Pages[i];
    return v;
}

} // namespace

class WindowTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        zentraq::WebView::setEngineEnabled(false);
        zentraq::installSongFaceSubstitution();
    }

    void startUp() {
        WindowHarness h;
        auto& m = *h.window;
        auto& ui = m.controls();
        // Everything is in place before the window is shown or any event runs.
        QCOMPARE(m.windowTitle(), u"Zentraq-懒人版 V1.3"_s);
        QCOMPARE(m.CurrentVersion, u"V1.3"_s);
        QVERIFY(m.UpdateBaseUrl.endsWith(u'/'));
        QCOMPARE(ui.Web1->LocationURL(), QUrl(m.UpdateBaseUrl + u"v.htm"_s));
        QCOMPARE(m.Pages[0], nullptr);
        QWidget* const expected[] = {ui.tabweb, ui.tabqumo, ui.tabchuankou, ui.tabmcu};
        for (int i = 0; i < 4; ++i) {
            QCOMPARE(m.Pages[i + 1], expected[i]);
            QCOMPARE(expected[i]->geometry(), QRect(8, 96, 720, 560));
        }
        QCOMPARE(m.size(), QSize(736, 667));
        QCOMPARE(clientGeometry(ui.SSTab1).topLeft(), QPoint(0, 0));
        QCOMPARE(clientGeometry(ui.Web1), QRect(0, 0, 720, 560));
        QVERIFY(m.Timer1->isActive());
        QCOMPARE(m.Timer1->interval(), 1000);

        m.show();
        QVERIFY(QTest::qWaitForWindowExposed(&m));
        QCOMPARE(visiblePages(m), QList<QWidget*>{ui.tabweb});
        QVERIFY(ui.Web1->isVisible());
        QVERIFY(!ui.tabchuankoubb->isVisible());
    }

    void navigation_data() {
        QTest::addColumn<QList<int>>("clicks");
        QTest::newRow("each page") << QList<int>{2, 3, 4};
        QTest::newRow("home again") << QList<int>{4, 1};
        QTest::newRow("back and forth") << QList<int>{3, 2, 4, 3, 1, 2};
    }
    void navigation() {
        QFETCH(QList<int>, clicks);
        WindowHarness h;
        auto& m = *h.window;
        auto& ui = m.controls();
        m.show();
        QPushButton* const buttons[] = {ui.Command14, ui.Command15, ui.Command16, ui.Command17};
        int last = 1;
        for (int page : clicks) {
            QPushButton* b = buttons[page - 1];
            QVERIFY(b->isVisible()); // the user can see what is clicked
            QTest::mouseClick(b, Qt::LeftButton);
            last = page;
        }
        QCOMPARE(visiblePages(m), QList<QWidget*>{m.Pages[last]});
    }

    void pageTwoKeepsItsState() {
        WindowHarness h;
        auto& m = *h.window;
        auto& ui = m.controls();
        m.show();
        QTest::mouseClick(ui.Command15, Qt::LeftButton);
        ui.Text1->setText(u"AB\r\nC"_s);
        ui.Text2->setText(u"0x00,"_s);
        ui.SSTab1->setTab(1);
        QTest::mouseClick(ui.Command16, Qt::LeftButton);
        QTest::mouseClick(ui.Command14, Qt::LeftButton);
        QTest::mouseClick(ui.Command15, Qt::LeftButton);
        QCOMPARE(ui.Text1->text(), u"AB\r\nC"_s);
        QCOMPARE(ui.Text2->text(), u"0x00,"_s);
        QCOMPARE(ui.SSTab1->Tab(), 1);
        QVERIFY(ui.Command11->isVisible());
    }

    void layout_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("parent");
        QTest::addColumn<QRect>("geometry");
        QTest::addColumn<QString>("text");
        QTest::addColumn<double>("points");
        QTest::addColumn<bool>("fitsText");
        QTest::addColumn<bool>("hidden");
        auto row = [](const char* name, const char* parent, QRect g, const QString& text, double pt,
                      bool fits, bool hidden) {
            QTest::newRow(name) << QString::fromLatin1(name) << QString::fromLatin1(parent) << g
                                << text << pt << fits << hidden;
        };
        // One control of each kind and container: name, container,
        // left/top/width/height in the container's client area, caption or
        // text, points, fits its text, hidden at creation.
        row("Command15", "Picture2", {136, 24, 129, 41}, u"TFT字符/图片取模"_s, 10.5, false, false);
        row("tabqumo", "main", {8, 96, 720, 569}, u""_s, 0, false, true);
        row("SSTab1", "tabqumo", {0, 0, 721, 313}, u""_s, 12, false, false);
        row("Label7", "tabqumo", {208, 320, 240, 12}, u"取模参数为16位真彩色，横向扫描，低位在前"_s,
            9, true, false);
        row("Text1", "SSTab1_tab0", {8, 48, 705, 105}, u"Morvane电子\r\n"_s, 9, false, false);
        row("Command1", "Frame1", {16, 16, 97, 33}, u"12*12汉字"_s, 9, false, false);
        row("Label8", "SSTab1_tab1", {312, 48, 264, 96}, u"Label8"_s, 12, false, true);
        row("Option2", "tabchuankoubb", {96, 8, 89, 17}, u"16进制显示"_s, 9, false, false);
        row("Combo2", "tabchuankoubb", {40, 384, 97, 20}, u"Combo1"_s, 9, false, false);
    }
    void layout() {
        QFETCH(QString, name);
        QFETCH(QString, parent);
        QFETCH(QRect, geometry);
        QFETCH(QString, text);
        QFETCH(double, points);
        QFETCH(bool, fitsText);
        QFETCH(bool, hidden);
        WindowHarness h;
        auto* w = h.window->findChild<QWidget*>(name);
        QVERIFY2(w, qPrintable(name));
        QCOMPARE(w->parentWidget()->objectName(), parent);
        static const QStringList movedAtLoad = {u"tabweb"_s, u"tabqumo"_s, u"tabchuankou"_s,
                                                u"tabmcu"_s, u"Web1"_s};
        if (!movedAtLoad.contains(name)) {
            const QRect actual = clientGeometry(w);
            if (fitsText)
                QCOMPARE(actual.topLeft(), geometry.topLeft());
            else
                QCOMPARE(actual, geometry);
            QCOMPARE(w->isHidden(), hidden);
        }
        if (!text.isEmpty() || qobject_cast<zentraq::TextBox*>(w))
            QCOMPARE(caption(w), text);
        if (points > 0) {
            QCOMPARE(w->font().pointSizeF(), points);
            QCOMPARE(w->font().family(), u"宋体"_s);
        }
    }

    // Every caption of the window is whole where it is drawn: no wider than
    // the inside of its control in the face the control actually uses, and a
    // label that wraps keeps its wrapped lines inside its box.
    void captionsFit() {
        WindowHarness h;
        auto& m = *h.window;
        QStringList clipped;
        auto check = [&](QWidget* w, const QString& text, const QFont& font, const QRect& room) {
            const int width = QFontMetrics(font).size(Qt::TextShowMnemonic, text).width();
            if (width > room.width())
                clipped << u"%1 \"%2\": %3 px in %4"_s.arg(w->objectName(), text)
                               .arg(width)
                               .arg(room.width());
        };
        for (QWidget* w : m.findChildren<QWidget*>()) {
            if (auto* b = qobject_cast<QAbstractButton*>(w); b && !b->text().isEmpty()) {
                QStyleOptionButton option;
                option.initFrom(b);
                auto* push = qobject_cast<QPushButton*>(b);
                if (push && (push->autoDefault() || push->isDefault()))
                    option.features |= QStyleOptionButton::AutoDefaultButton;
                const QStyle::SubElement inside = push ? QStyle::SE_PushButtonContents
                                                  : qobject_cast<QCheckBox*>(b)
                                                      ? QStyle::SE_CheckBoxContents
                                                      : QStyle::SE_RadioButtonContents;
                check(b, b->text(), b->font(), b->style()->subElementRect(inside, &option, b));
            } else if (auto* l = qobject_cast<QLabel*>(w); l && !l->text().isEmpty()) {
                const QRect box = l->contentsRect();
                if (l->wordWrap()) {
                    const QRect used = l->fontMetrics().boundingRect(
                        box, int(l->alignment()) | Qt::TextWordWrap, l->text());
                    if (!box.contains(used))
                        clipped << l->objectName() + u" wraps beyond its box"_s;
                } else {
                    check(l, l->text(), l->font(), box);
                }
            } else if (auto* f = qobject_cast<zentraq::Frame*>(w)) {
                const QRect caption = f->captionRect();
                check(f, f->title(), f->font(), caption);
                if (!f->rect().contains(caption))
                    clipped << f->objectName() + u" has its caption beyond its edge"_s;
            } else if (auto* c = qobject_cast<QComboBox*>(w); c && c->lineEdit()) {
                check(c, c->currentText(), c->font(), c->lineEdit()->contentsRect());
            } else if (auto* tabs = qobject_cast<zentraq::SSTab*>(w)) {
                // Inside the tab's two-pixel three-dimensional edges.
                for (int i = 0; i < tabs->Tabs(); ++i)
                    check(tabs, tabs->caption(i), tabs->font(),
                          tabs->tabRect(i).adjusted(2, 2, -2, 0));
            }
        }
        QVERIFY2(clipped.isEmpty(), qPrintable(clipped.join(u"; "_s)));
    }

    // A frame draws its top line through the middle of its caption, above
    // the first row of buttons, and the line is whole from the caption to the
    // frame's right edge with the buttons drawn.
    void frameLineThroughCaption() {
        WindowHarness h;
        auto& m = *h.window;
        auto& ui = m.controls();
        m.show();
        QTest::mouseClick(ui.Command15, Qt::LeftButton);
        QVERIFY(QTest::qWaitForWindowExposed(&m));
        auto* frame = m.findChild<zentraq::Frame*>(u"Frame1"_s);
        QVERIFY(frame);
        const QImage shot = ui.tabqumo->grab().toImage();
        const QRect f(frame->mapTo(ui.tabqumo, QPoint(0, 0)), frame->size());
        const QRgb back = shot.pixel(f.right() - 4, f.top());
        // The line: the first row that is not background, down the frame's
        // right part.
        int line = -1;
        for (int y = f.top(); y < f.top() + 24 && line < 0; ++y)
            if (shot.pixel(f.right() - 4, y) != back)
                line = y;
        QVERIFY(line >= 0);
        // The caption's ink, in the caption's box.
        const QRect caption = frame->captionRect().translated(f.topLeft());
        int inkTop = INT_MAX, inkBottom = -1, inkRight = -1;
        for (int y = caption.top(); y <= caption.bottom(); ++y)
            for (int x = caption.left(); x <= caption.right(); ++x)
                if (shot.pixel(x, y) != back) {
                    inkTop = std::min(inkTop, y);
                    inkBottom = std::max(inkBottom, y);
                    inkRight = std::max(inkRight, x);
                }
        QVERIFY(inkBottom >= 0);
        QVERIFY2(std::abs(2 * line - (inkTop + inkBottom)) <= 2,
                 qPrintable(u"line at row %1, caption ink from %2 to %3"_s.arg(line - f.top())
                                .arg(inkTop - f.top())
                                .arg(inkBottom - f.top())));
        for (QWidget* child : frame->findChildren<QWidget*>())
            QVERIFY(child->mapTo(ui.tabqumo, QPoint(0, 0)).y() > line);
        // Whole from just after the caption's gap to the right edge.
        const QRgb colour = shot.pixel(f.right() - 4, line);
        int broken = 0;
        for (int x = caption.right() + 1; x < f.right() - 1; ++x)
            broken += shot.pixel(x, line) != colour;
        QCOMPARE(broken, 0);
        QVERIFY(inkRight < caption.right() + 1);
    }

    void onlyTheActiveTabIsShown() {
        WindowHarness h;
        auto& m = *h.window;
        auto& ui = m.controls();
        m.show();
        QTest::mouseClick(ui.Command15, Qt::LeftButton);
        QCOMPARE(ui.SSTab1->Tabs(), 3);
        QCOMPARE(ui.SSTab1->Tab(), 0);
        // Three equal shares of the 20-pixel strip.
        for (int i = 0; i < 3; ++i) {
            QCOMPARE(ui.SSTab1->tabRect(i).height(), 20);
            QVERIFY(qAbs(ui.SSTab1->tabRect(i).width() - 721 / 3) <= 1);
        }
        QWidget* const charTab[] = {ui.Text1, ui.Command1, ui.Command9, ui.Picture1, ui.Command13};
        QWidget* const pictureTab[] = {ui.Pictureba, ui.Command11, ui.Command12, ui.Label5};
        auto* strip = ui.SSTab1->findChild<QWidget*>(u"SSTabStrip"_s);
        QVERIFY(strip && strip->isVisible());
        auto clickTab = [&](int i) {
            QTest::mouseClick(strip, Qt::LeftButton, {}, ui.SSTab1->tabRect(i).center());
            QCOMPARE(ui.SSTab1->Tab(), i);
        };
        for (QWidget* w : charTab)
            QVERIFY(w->isVisible());
        for (QWidget* w : pictureTab)
            QVERIFY(!w->isVisible());
        clickTab(1);
        for (QWidget* w : charTab)
            QVERIFY(!w->isVisible());
        for (QWidget* w : pictureTab)
            QVERIFY(w->isVisible());
        // A click where a hidden tab's button sits reaches something else.
        QWidget* at = m.childAt(ui.Command1->mapTo(&m, ui.Command1->rect().center()));
        QVERIFY(at != ui.Command1);
        clickTab(2);
        QVERIFY(ui.Label2->isVisible());
        QVERIFY(!ui.Command11->isVisible() && !ui.Text1->isVisible());
        // Below the tab control, the shared area stays whatever tab is active.
        QVERIFY(ui.Text2->isVisible() && ui.Label7->isVisible() && ui.Command10->isVisible());
        clickTab(0);
        QVERIFY(ui.Text1->isVisible());
    }

    // Tab and Shift+Tab from "首页" visit every control that can be used on
    // the character page, in the layout's tab order, and come back; the text
    // boxes pass the focus on instead of taking a tab.
    void focusOrder() {
        WindowHarness h;
        auto& ui = h.window->controls();
        QVERIFY(showActive(*h.window));
        QTest::mouseClick(ui.Command15, Qt::LeftButton);
        const QString text1 = ui.Text1->text(), text2 = ui.Text2->text();
        for (const Qt::KeyboardModifier shift : {Qt::NoModifier, Qt::ShiftModifier}) {
            ui.Command14->setFocus();
            QStringList seen;
            do {
                seen << controlName(QApplication::focusWidget());
                QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab, shift);
            } while (controlName(QApplication::focusWidget()) != u"Command14"_s &&
                     seen.size() < 40);
            QStringList expected = u"Command14 Command15 Command16 Command17 SSTab1 Command13 "
                                   u"Command1 Command5 Command6 Command9 Command8 Command7 Text1 "
                                   u"Command10 Text2"_s.split(u' ');
            if (shift)
                std::reverse(expected.begin() + 1, expected.end());
            QCOMPARE(seen, expected);
        }
        QCOMPARE(ui.Text1->text(), text1);
        QCOMPARE(ui.Text2->text(), text2);
    }

    // Ctrl+Tab leaves a text box too; Enter and Shift+Enter in the input
    // break the line with CR LF. Enter on a focused button clicks it, once
    // however long it is held; with Ctrl it does nothing.
    void keysInTextBoxesAndOnButtons() {
        WindowHarness h;
        auto& ui = h.window->controls();
        QVERIFY(showActive(*h.window));
        QTest::mouseClick(ui.Command15, Qt::LeftButton);
        ui.Text1->setText(QString());
        ui.Text1->setFocus();
        QTest::keyClicks(ui.Text1, u"A"_s);
        QTest::keyClick(ui.Text1, Qt::Key_Return);
        QTest::keyClick(ui.Text1, Qt::Key_Return, Qt::ShiftModifier);
        QTest::keyClicks(ui.Text1, u"B"_s);
        QCOMPARE(ui.Text1->text(), u"A\r\n\r\nB"_s);
        QTest::keyClick(ui.Text1, Qt::Key_Tab, Qt::ControlModifier);
        QCOMPARE(QApplication::focusWidget(), ui.Command10);
        ui.Text2->setFocus();
        QTest::keyClick(ui.Text2, Qt::Key_Tab, Qt::ControlModifier);
        QCOMPARE(QApplication::focusWidget(), ui.Command14);
        QCOMPARE(ui.Text1->text(), u"A\r\n\r\nB"_s);
        QVERIFY(ui.Text2->text().isEmpty());

        ui.Command8->setFocus();
        QTest::keyClick(ui.Command8, Qt::Key_Return);
        QCOMPARE(ui.Label1->text(), u"数据大小:32"_s);
        ui.Command10->setFocus();
        QTest::keyClick(ui.Command10, Qt::Key_Enter, Qt::KeypadModifier);
        QTest::sendKeyEvent(QTest::KeyAction::Press, ui.Command10, Qt::Key_Return, u"\r"_s,
                            Qt::NoModifier);
        QKeyEvent held(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier, u"\r"_s, true);
        QApplication::sendEvent(ui.Command10, &held);
        QCOMPARE(h.clipboard.writes, 2);
        QCOMPARE(h.boxes.shown.size(), 2);
        ui.Command14->setFocus();
        QTest::keyClick(ui.Command14, Qt::Key_Return, Qt::ControlModifier);
        QVERIFY(ui.tabqumo->isVisible());
        QTest::keyClick(ui.Command14, Qt::Key_Return);
        QVERIFY(ui.tabweb->isVisible());
    }

    // The text box keeps every character of a text the program sets or the
    // user pastes: only CR LF pairs break the line on screen. Typing after
    // it, even the symbol that stands for a CR, adds just that character;
    // copying gives the exact text back.
    void textBoxKeepsEveryCharacter_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("lines");
        QTest::newRow("CR LF") << u"Morvane电子\r\n"_s << 2;
        QTest::newRow("lone CR") << u"A\rB"_s << 1;
        QTest::newRow("lone LF") << u"A\nB"_s << 1;
        QTest::newRow("CR CR LF") << u"x\r\r\ny"_s << 2;
        QTest::newRow("LF CR") << u"\n\r"_s << 1;
        QTest::newRow("line, paragraph separator") << u"a\u2028b\u2029c"_s << 1;
        QTest::newRow("no-break space, frame marks") << u"a\u00A0b\uFDD0\uFDD1"_s << 1;
        QTest::newRow("the symbols themselves") << u"\u240D\r\u240A\n"_s << 1;
        QTest::newRow("empty") << QString() << 1;
    }
    void textBoxKeepsEveryCharacter() {
        QFETCH(QString, text);
        QFETCH(int, lines);
        zentraq::TextBox box;
        box.show();
        box.setText(text);
        QCOMPARE(box.text(), text);
        QCOMPARE(box.document()->blockCount(), lines);

        box.setText(u"old"_s);
        box.selectAll();
        QGuiApplication::clipboard()->setText(text);
        box.paste();
        QCOMPARE(box.text(), text);
        QCOMPARE(box.document()->blockCount(), lines);
        QTest::sendKeyEvent(QTest::Click, &box, Qt::Key_unknown, u"\u240D"_s, Qt::NoModifier);
        QCOMPARE(box.text(), text + u"\u240D"_s);
        box.selectAll();
        box.copy();
        QCOMPARE(QGuiApplication::clipboard()->text(), text + u"\u240D"_s);
    }

    // "Zentraq", the text, an OK button only and no icon, not even on the
    // button where the desktop's style gives dialog buttons one.
    void messageBox() {
        struct ButtonIconStyle : QProxyStyle {
            int styleHint(StyleHint hint, const QStyleOption* o, const QWidget* w,
                          QStyleHintReturn* r) const override {
                return hint == SH_DialogButtonBox_ButtonsHaveIcons ||
                       QProxyStyle::styleHint(hint, o, w, r);
            }
        };
        const QString style = QApplication::style()->name();
        QApplication::setStyle(new ButtonIconStyle);
        QString seen;
        QTimer poll;
        connect(&poll, &QTimer::timeout, [&] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                seen =
                    box->windowTitle() + u'|' + box->text() + u'|' + QString::number(box->icon());
                for (QAbstractButton* b : box->buttons())
                    seen += u'|' + QString::number(box->standardButton(b), 16) +
                            (b->icon().isNull() ? u""_s : u" with icon"_s);
                box->accept();
            }
        });
        poll.start(10);
        zentraq::platform::QtMessageBoxes().show(u"成功"_s);
        QApplication::setStyle(style);
        QCOMPARE(seen, u"Zentraq|成功|0|400"_s); // QMessageBox::Ok
    }

    // Children never paint over a page panel's one-pixel border, however
    // large they are: the home page's web view, the tab control and the
    // output area; nor a large picture over the preview frame's border.
    void childrenClippedToPanels() {
        WindowHarness h;
        auto& m = *h.window;
        auto& ui = m.controls();
        m.show();
        QImage picture(400, 300, QImage::Format_RGB32);
        picture.fill(Qt::blue);
        ui.Picturelin->setPicture(picture);
        ui.SSTab1->setTab(1);
        QPushButton* const buttons[] = {ui.Command14, ui.Command15, ui.Command16, ui.Command17};
        for (int page = 1; page <= 5; ++page) {
            if (page < 5)
                QTest::mouseClick(buttons[page - 1], Qt::LeftButton);
            const QImage shot = (page < 5 ? m.Pages[page] : ui.Pictureba)->grab().toImage();
            const int w = shot.width(), h = shot.height();
            int painted = 0;
            for (int i = 0; i < 2 * (w + h); ++i) // along the top, bottom, left, right
                painted += shot.pixel(i < 2 * w ? QPoint(i % w, i < w ? 0 : h - 1)
                                                : QPoint(i < 2 * w + h ? 0 : w - 1, i % h)) !=
                           shot.pixel(0, 0);
            QCOMPARE(painted, 0);
        }
    }
};

QTEST_MAIN(WindowTest)
#include "test_window.moc"
