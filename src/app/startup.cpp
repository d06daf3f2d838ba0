// Program start: the application object, the real platform services and the
// main window.

#include "datafolder.h"
#include "fonts.h"
#include "mainwindow.h"
#include "qt_downloader.h"
#include "qt_services.h"

#include <QApplication>
#include <QGuiApplication>
#include <QIcon>
#include <QScreen>
#include <QStandardPaths>
#include <QStyle>

#include <cstdio>
#include <cstdlib>
#include <unistd.h>

namespace {

bool haveDisplay() {
    const char* platform = std::getenv("QT_QPA_PLATFORM");
    if (platform && *platform)
        return true; // the user chose a platform explicitly
    const char* display = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    return (display && *display) || (wayland && *wayland);
}

} // namespace

int main(int argc, char* argv[]) {
    if (!haveDisplay()) {
        std::fprintf(stderr, "zentraq: no display found (DISPLAY is not set); "
                             "start it from a desktop session or under Xvfb.\n");
        return 1;
    }
    // The web engine's sandbox cannot run as root; switch it off only then.
    if (geteuid() == 0 && qEnvironmentVariableIsEmpty("QTWEBENGINE_DISABLE_SANDBOX"))
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Zentraq"));
    QIcon icon;
    for (int size : {16, 32, 48})
        icon.addFile(QStringLiteral(":/icons/zentraq-%1.png").arg(size), QSize(size, size));
    QApplication::setWindowIcon(icon);
    zentraq::installSongFaceSubstitution();

    zentraq::platform::QtMessageBoxes boxes;
    zentraq::platform::QtFileOpenDialog fileDialog;
    zentraq::platform::QtClipboard clipboard;
    zentraq::platform::QtDownloader downloader;
    zentraq::platform::QtDesktopShell shell;
    zentraq::platform::QtEventPump pump;
    zentraq::platform::QtProgramExit exit;
    // temp.txt and v.txt: beside the program in a build tree or a portable
    // copy, in ~/.local/share/Zentraq for an installed one.
    const QString dataFolder = zentraq::chooseDataFolder(
        zentraq::platform::programFolder(),
        QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation));
    zentraq::platform::Services services{boxes, fileDialog, clipboard, downloader,
                                         shell, pump,       exit,      dataFolder};

    zentraq::main window(services);
    boxes.setParentWindow(&window);
    fileDialog.setParentWindow(&window);

    // Opens centred on the screen.
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        window.move(area.center() - window.rect().center());
    }
    window.show();
    return app.exec();
}
