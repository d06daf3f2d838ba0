// The start-up timer and the on-line version check.
#include "mainwindow.h"
#include "ui_main.h"
#include "version_check.h"

#include <QTimer>

namespace zentraq {

// First tick of the start-up timer, about one second after the window was
// created: runs the check once, then stops the timer for good. Qt delivers
// timer ticks while the check waits for the download and while its modal
// message boxes are open; such a tick finds a check running and does nothing.
void main::Timer1_Timer() {
    if (m_checking)
        return;
    m_checking = true;
    Banbenjian();
    m_checking = false;
    Timer1->stop();
}

// Compares CurrentVersion with the version published at UpdateBaseUrl +
// "v.txt". Returns on every path except a different version, which opens the
// download page and ends the program. No failure leaves this procedure.
// Closing the window while the version file is being fetched ends the check
// at once, without a message, and the window closes.
void main::Banbenjian() {
    update::runVersionCheck({UpdateBaseUrl, CurrentVersion, m_services.dataFolder,
                             m_services.downloader, m_services.boxes, m_services.shell,
                             m_services.exit});
}

} // namespace zentraq
