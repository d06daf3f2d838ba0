#include "sstab.h"

#include <QChildEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QVariant>

namespace zentraq {

// The strip is a child of its own, kept above the pages, so that it receives
// the clicks on the tabs although the pages cover the whole control.
class SSTabStrip : public QWidget {
public:
    explicit SSTabStrip(SSTab* tab) : QWidget(tab), m_owner(tab) {
        setObjectName(QStringLiteral("SSTabStrip"));
        setFocusPolicy(Qt::StrongFocus);
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        const QPalette pal = palette();
        // Classic three-dimensional edges: highlight on the top and left,
        // shadow and dark shadow on the right.
        const QColor light(255, 255, 255);
        const QColor dark(160, 160, 160);
        const QColor shadow(64, 64, 64);
        p.setFont(m_owner->font());
        for (int i = 0; i < m_owner->Tabs(); ++i) {
            QRect r = m_owner->tabRect(i);
            const bool active = i == m_owner->Tab();
            if (!active)
                r.adjust(1, 2, -1, 0);
            p.fillRect(r, active ? pal.color(QPalette::Button)
                                 : pal.color(QPalette::Button).darker(104));
            // Outer outline, then the highlight just inside it.
            p.setPen(dark);
            p.drawLine(r.left(), r.bottom(), r.left(), r.top() + 2);
            p.drawLine(r.left() + 2, r.top(), r.right() - 2, r.top());
            p.drawPoint(r.left() + 1, r.top() + 1);
            p.setPen(light);
            p.drawLine(r.left() + 1, r.bottom(), r.left() + 1, r.top() + 2);
            p.drawLine(r.left() + 2, r.top() + 1, r.right() - 2, r.top() + 1);
            p.setPen(shadow);
            p.drawLine(r.right(), r.top() + 2, r.right(), r.bottom());
            p.drawPoint(r.right() - 1, r.top() + 1);
            p.setPen(dark);
            p.drawLine(r.right() - 1, r.top() + 2, r.right() - 1, r.bottom());
            if (!active) {
                p.setPen(dark);
                p.drawLine(r.left() - 1, r.bottom(), r.right() + 1, r.bottom());
            }
            p.setPen(pal.color(QPalette::ButtonText));
            p.drawText(r, Qt::AlignCenter, m_owner->caption(i));
            if (active && hasFocus()) {
                QRect fr = p.fontMetrics().boundingRect(r, Qt::AlignCenter, m_owner->caption(i));
                p.setPen(QPen(pal.color(QPalette::ButtonText), 1, Qt::DotLine));
                p.drawRect(fr.adjusted(-2, -1, 1, 0));
            }
        }
    }

    void mousePressEvent(QMouseEvent* e) override {
        for (int i = 0; i < m_owner->Tabs(); ++i) {
            if (m_owner->tabRect(i).contains(e->position().toPoint())) {
                m_owner->setTab(i);
                return;
            }
        }
    }

    void keyPressEvent(QKeyEvent* e) override {
        const int n = m_owner->Tabs();
        if (n == 0)
            return;
        if (e->key() == Qt::Key_Left)
            m_owner->setTab((m_owner->Tab() + n - 1) % n);
        else if (e->key() == Qt::Key_Right)
            m_owner->setTab((m_owner->Tab() + 1) % n);
        else
            QWidget::keyPressEvent(e);
    }

private:
    SSTab* m_owner;
};

SSTab::SSTab(QWidget* parent) : QWidget(parent), m_strip(new SSTabStrip(this)) {
    m_strip->setGeometry(0, 0, width(), StripHeight);
    // The control takes the keyboard focus in its strip, where the arrow keys
    // switch tabs.
    setFocusProxy(m_strip);
}

QList<QWidget*> SSTab::pages() const {
    QList<QWidget*> result;
    for (QObject* o : children()) {
        auto* w = qobject_cast<QWidget*>(o);
        if (w && w != m_strip && w->property("caption").isValid())
            result.append(w);
    }
    return result;
}

int SSTab::Tabs() const {
    return static_cast<int>(pages().size());
}

QWidget* SSTab::page(int index) const {
    const auto list = pages();
    return index >= 0 && index < list.size() ? list.at(index) : nullptr;
}

QString SSTab::caption(int index) const {
    QWidget* p = page(index);
    return p ? p->property("caption").toString() : QString();
}

QRect SSTab::tabRect(int index) const {
    const int n = Tabs();
    if (n == 0 || index < 0 || index >= n)
        return {};
    // Equal shares of the width; the last tab takes the rounding rest.
    const int left = width() * index / n;
    const int right = width() * (index + 1) / n;
    return QRect(left, 0, right - left, StripHeight);
}

void SSTab::setTab(int index) {
    if (index < 0 || index >= Tabs() || index == m_tab)
        return;
    m_tab = index;
    arrangePages();
    m_strip->update();
    emit tabChanged(index);
}

void SSTab::arrangePages() {
    const auto list = pages();
    for (int i = 0; i < list.size(); ++i) {
        list[i]->setGeometry(rect());
        list[i]->setVisible(i == m_tab);
    }
    m_strip->setGeometry(0, 0, width(), StripHeight);
    m_strip->raise();
}

void SSTab::childEvent(QChildEvent* e) {
    QWidget::childEvent(e);
    // Pages are created by the layout after the control itself; once one is
    // ready, put it in place and keep the strip on top.
    if (e->type() == QEvent::ChildPolished || e->type() == QEvent::ChildRemoved)
        arrangePages();
}

void SSTab::resizeEvent(QResizeEvent* e) {
    QWidget::resizeEvent(e);
    arrangePages();
}

void SSTab::paintEvent(QPaintEvent*) {
    // The body below the strip: a raised three-dimensional frame.
    QPainter p(this);
    const QPalette pal = palette();
    const QRect body(0, StripHeight, width(), height() - StripHeight);
    p.fillRect(body, pal.color(QPalette::Button));
    const QColor light(255, 255, 255), dark(160, 160, 160), shadow(64, 64, 64);
    const QRect active = tabRect(m_tab);
    p.setPen(dark);
    p.drawLine(body.topLeft(), body.bottomLeft());
    p.drawLine(body.left(), body.top(), active.left(), body.top());
    p.drawLine(active.right() + 1, body.top(), body.right(), body.top());
    p.setPen(light);
    p.drawLine(body.left() + 1, body.top() + 1, body.left() + 1, body.bottom() - 1);
    p.drawLine(body.left() + 1, body.top() + 1, active.left() + 1, body.top() + 1);
    p.drawLine(active.right(), body.top() + 1, body.right() - 1, body.top() + 1);
    p.setPen(shadow);
    p.drawLine(body.topRight(), body.bottomRight());
    p.drawLine(body.bottomLeft(), body.bottomRight());
    p.setPen(dark);
    p.drawLine(body.right() - 1, body.top() + 1, body.right() - 1, body.bottom() - 1);
    p.drawLine(body.left() + 1, body.bottom() - 1, body.right() - 1, body.bottom() - 1);
}

} // namespace zentraq
