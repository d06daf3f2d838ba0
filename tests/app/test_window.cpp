// The main window as a whole: start-up, the pages' state, captions that fit,
// the keyboard, the text boxes, message boxes and clipping. (Navigation, the
// page panels' borders and the focus order a user tabs through are checked
// end to end by smoke.sh.)

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
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProxyStyle>
#include <QStyleOptionButton>
#include <QTest>
#include <QTimer>

using namespace Qt::StringLiterals;
using zentraq::testing::WindowHarness;

namespace {

bool showActive(zentraq::main& m) {
    m.show();
    m.activateWindow();
    return QTest::qWaitForWindowActive(&m);
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
        for (int i = 0; i < 4; ++i)
            QCOMPARE(m.Pages[i + 1], expected[i]);
        QVERIFY(m.Timer1->isActive());
        QCOMPARE(m.Timer1->interval(), 1000);

        m.show();
        QVERIFY(QTest::qWaitForWindowExposed(&m));
        QCOMPARE(visiblePages(m), QList<QWidget*>{ui.tabweb});
        QVERIFY(ui.Web1->isVisible());
        QVERIFY(!ui.tabchuankoubb->isVisible());
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
        QCOMPARE(visiblePages(m), QList<QWidget*>{ui.tabqumo});
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

    // A picture larger than the preview frame never paints over the frame's
    // one-pixel border (the page panels' borders are checked end to end).
    void pictureClippedToItsFrame() {
        WindowHarness h;
        auto& ui = h.window->controls();
        h.window->show();
        QImage picture(400, 300, QImage::Format_RGB32);
        picture.fill(Qt::blue);
        ui.Picturelin->setPicture(picture);
        ui.SSTab1->setTab(1);
        QTest::mouseClick(ui.Command15, Qt::LeftButton);
        const QImage shot = ui.Pictureba->grab().toImage();
        const int w = shot.width(), ht = shot.height();
        int painted = 0;
        for (int i = 0; i < 2 * (w + ht); ++i) // along the top, bottom, left, right
            painted += shot.pixel(i < 2 * w ? QPoint(i % w, i < w ? 0 : ht - 1)
                                            : QPoint(i < 2 * w + ht ? 0 : w - 1, i % ht)) !=
                       shot.pixel(0, 0);
        QCOMPARE(painted, 0);
    }
};

QTEST_MAIN(WindowTest)
#include "test_window.moc"
