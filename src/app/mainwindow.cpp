#include "mainwindow.h"

#include "autosizelabel.h"
#include "fonts.h"
#include "ui_main.h"
#include "zentraq_project.h"

#include <QCloseEvent>
#include <QKeyEvent>
#include <QTimer>

#ifndef ZENTRAQ_UPDATE_BASE_URL
#error "ZENTRAQ_UPDATE_BASE_URL must be defined by the build"
#endif

namespace zentraq {
namespace {

// Moves `w` to (x, y) measured from the top-left of its container's client
// area, that is inside the container's border.
void moveInClient(QWidget* w, int x, int y) {
    QPoint origin;
    if (auto* frame = qobject_cast<QFrame*>(w->parentWidget()))
        origin = frame->contentsRect().topLeft();
    w->move(origin + QPoint(x, y));
}

} // namespace

main::main(platform::Services& services, QWidget* parent)
    : QWidget(parent), CommonDialog1(services.fileDialog), ui(new Ui::main), m_services(services) {
    ui->setupUi(this);
    applyLayoutFontSizes(this);
    fitButtonCaptions(this);
    // Labels that fit their caption take the size of their caption in the
    // face actually used.
    for (auto* label : findChildren<AutoSizeLabel*>())
        label->setText(label->text());

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(1000);
    connect(Timer1, &QTimer::timeout, this, &main::Timer1_Timer);
    Timer1->start();

    connectHandlers();
    Form_Load();
}

main::~main() = default;

void main::connectHandlers() {
    const std::pair<QPushButton*, void (main::*)()> buttons[] = {
        {ui->Command14, &main::Command14_Click}, {ui->Command15, &main::Command15_Click},
        {ui->Command16, &main::Command16_Click}, {ui->Command17, &main::Command17_Click},
        {ui->Command1, &main::Command1_Click},   {ui->Command5, &main::Command5_Click},
        {ui->Command6, &main::Command6_Click},   {ui->Command7, &main::Command7_Click},
        {ui->Command8, &main::Command8_Click},   {ui->Command9, &main::Command9_Click},
        {ui->Command13, &main::Command13_Click}, {ui->Command10, &main::Command10_Click},
        {ui->Command11, &main::Command11_Click}, {ui->Command12, &main::Command12_Click},
    };
    for (const auto& [button, handler] : buttons)
        connect(button, &QPushButton::clicked, this, handler);
    for (QPushButton* button : findChildren<QPushButton*>())
        button->installEventFilter(this);
}

bool main::eventFilter(QObject* watched, QEvent* e) {
    if (e->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(e);
        auto* button = qobject_cast<QPushButton*>(watched);
        if (button && (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) &&
            !(key->modifiers() & ~Qt::KeypadModifier)) {
            // Held down, the key clicks once.
            if (!key->isAutoRepeat())
                button->click();
            return true;
        }
    }
    return QWidget::eventFilter(watched, e);
}

void main::Form_Load() {
    UpdateBaseUrl = QStringLiteral(ZENTRAQ_UPDATE_BASE_URL);
    CurrentVersion = QStringLiteral(ZENTRAQ_VERSION);

    ui->Web1->Navigate(QUrl(UpdateBaseUrl + QStringLiteral("v.htm")));

    setWindowTitle(QStringLiteral("Zentraq-懒人版 ") + CurrentVersion);

    Pages[1] = ui->tabweb;
    Pages[2] = ui->tabqumo;
    Pages[3] = ui->tabchuankou;
    Pages[4] = ui->tabmcu;

    // All pages share one rectangle below the navigation bar, hidden until
    // one is shown.
    for (std::size_t i = 1; i < Pages.size(); ++i) {
        QWidget* page = Pages[i];
        page->resize(720, page->height());
        page->resize(page->width(), 560);
        page->move(8, page->y());
        page->move(page->x(), 96);
        page->setVisible(false);
    }

    moveInClient(ui->SSTab1, 0, 0);

    moveInClient(ui->Web1, 0, 0);
    ui->Web1->resize(Pages[1]->width(), Pages[1]->height());

    ShowPage(1);
}

void main::ShowPage(qint16 n) {
    // The requested page is shown before the others are hidden; every panel
    // is set each time, whichever page was visible before.
    const auto upper = static_cast<qint16>(Pages.size() - 1);
    Pages[n]->setVisible(true);
    for (qint16 i = 1; i <= n - 1; ++i)
        Pages[i]->setVisible(false);
    for (qint16 i = n + 1; i <= upper; ++i)
        Pages[i]->setVisible(false);
}

void main::Command14_Click() {
    ShowPage(1);
}
void main::Command15_Click() {
    ShowPage(2);
}
void main::Command16_Click() {
    ShowPage(3);
}
void main::Command17_Click() {
    ShowPage(4);
}

void main::closeEvent(QCloseEvent* e) {
    // A picture conversion in progress sees this flag at its next pixel and
    // stops; nothing is saved at the end.
    m_closing = true;
    e->accept();
}

} // namespace zentraq
