#pragma once

#include "commondialog.h"
#include "services.h"

#include <QString>
#include <QWidget>

#include <array>
#include <memory>

class QTimer;

namespace Ui {
class main;
}

namespace zentraq {

// Settings of the serial-port component of the prepared serial assistant. The
// panel is never shown and no port is ever opened; the component only holds
// its defaults.
struct SerialPortSettings {
    int baudRate = 9600;
    int dataBits = 8;
    char parity = 'N';
    int stopBits = 1;
    int inputBufferSize = 1024;
    int outputBufferSize = 512;
    bool portOpen = false;
};

// The main window. Its controls, with their places and captions, come from
// the layout file; this class adds start-up, page navigation and the button
// handlers. Handlers of each area live in their own source file:
// mainwindow.cpp (start-up, pages), glyph_handlers.cpp, picture_handlers.cpp
// and update_handlers.cpp.
class main : public QWidget {
    Q_OBJECT

public:
    explicit main(platform::Services& services, QWidget* parent = nullptr);
    ~main() override;

    // The window's controls, for the handlers and for tests.
    Ui::main& controls() { return *ui; }

    // Converts Text1 into glyph data in Text2 at the given cell size; the
    // caller has sized the canvas and set its font.
    void qumo(qint16 width, qint16 height);

    // The on-line version check.
    void Banbenjian();

    // Set once at load.
    QString UpdateBaseUrl;
    QString CurrentVersion;

    // Page table: entries 1 to 4 are the page panels; entry 0 is unused.
    std::array<QWidget*, 5> Pages{};

    QTimer* Timer1 = nullptr;
    CommonDialog CommonDialog1;
    SerialPortSettings MSCom1;

public slots:
    void Command14_Click();
    void Command15_Click();
    void Command16_Click();
    void Command17_Click();

    void Command1_Click();
    void Command5_Click();
    void Command6_Click();
    void Command7_Click();
    void Command8_Click();
    void Command9_Click();
    void Command13_Click();
    void Command10_Click();

    void Command11_Click();
    void Command12_Click();

    void Timer1_Timer();

protected:
    void closeEvent(QCloseEvent* e) override;
    // Enter on a focused button clicks it, as Space does.
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    void Form_Load();
    void ShowPage(qint16 n);
    void connectHandlers();

    // Size buttons: canvas to width x height, font from the width, convert.
    void sizeButton(qint16 width, qint16 height, bool square);
    void ConvertPicture();

    std::unique_ptr<Ui::main> ui;
    platform::Services& m_services;

    bool m_checking = false;   // a version check is running
    bool m_converting = false; // a picture conversion is running
    bool m_closing = false;    // the window is being closed
};

} // namespace zentraq
