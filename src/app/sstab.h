#pragma once

#include <QWidget>

namespace zentraq {

class SSTabStrip;

// A tabbed dialog control: one row of tabs in a 20-pixel strip along the top,
// sharing its width equally. Each tab owns a page, a child widget carrying a
// "caption" property, that covers the whole control, strip included, so the
// coordinates of the page's controls are measured from the control's top-left
// corner. Only the active tab's page is shown; clicking a tab switches pages.
class SSTab : public QWidget {
    Q_OBJECT
    Q_PROPERTY(int Tab READ Tab WRITE setTab NOTIFY tabChanged)

public:
    static constexpr int StripHeight = 20;

    explicit SSTab(QWidget* parent = nullptr);

    int Tab() const { return m_tab; }
    void setTab(int index);

    int Tabs() const;
    QWidget* page(int index) const;
    QString caption(int index) const;
    // The tab's rectangle in the strip, in the control's coordinates.
    QRect tabRect(int index) const;

signals:
    void tabChanged(int index);

protected:
    void childEvent(QChildEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;
    void paintEvent(QPaintEvent* e) override;

private:
    friend class SSTabStrip;
    QList<QWidget*> pages() const;
    void arrangePages();

    SSTabStrip* m_strip;
    int m_tab = 0;
};

} // namespace zentraq
