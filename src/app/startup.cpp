// Program start: the application object, the real platform services and the
// main window.

#include "datafolder.h"
#include "fonts.h"
#include "language.h"
#include "mainwindow.h"
#include "qt_downloader.h"
#include "qt_services.h"
#include "zentraq_project.h"

#include <QApplication>
#include <QFileInfo>
#include <QGuiApplication>
#include <QIcon>
#include <QLoggingCategory>
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

// The web engine reports its graphics set-up, the home page's script console
// and Chromium's own log on every start, which reads like an error. They stay
// quiet unless the user asks for them: rules in QT_LOGGING_RULES override the
// ones set here, and Chromium takes the last of repeated switches, so a
// --log-level in QTWEBENGINE_CHROMIUM_FLAGS wins over the one put first here.
void quietenWebEngine() {
    QLoggingCategory::setFilterRules(QStringLiteral("qt.webenginecontext.info=false\njs=false"));
    QByteArray flags = "--log-level=3";
    // The engine's sandbox cannot run as root; switched off only then.
    if (geteuid() == 0)
        flags += " --no-sandbox";
    const QByteArray own = qgetenv("QTWEBENGINE_CHROMIUM_FLAGS");
    if (!own.isEmpty())
        flags += ' ' + own;
    qputenv("QTWEBENGINE_CHROMIUM_FLAGS", flags);
}

// The web engine starts its helper processes from this program's own
// zentraq-webengine, which keeps the sandboxed renderers from printing that
// they cannot read the font configuration: the one beside the program in a
// build tree, else the installation's. A helper the user names in
// QTWEBENGINEPROCESS_PATH comes first; without either, the engine's own.
void useOwnWebEngineHelper() {
#ifdef ZENTRAQ_HAVE_WEBENGINE
    if (qEnvironmentVariableIsSet("QTWEBENGINEPROCESS_PATH"))
        return;
    const QString folder = QCoreApplication::applicationDirPath();
    for (const QString& helper :
         {folder + QStringLiteral("/zentraq-webengine"),
          folder + QStringLiteral("/" ZENTRAQ_LIBEXECDIR_FROM_BINDIR "/zentraq-webengine")}) {
        const QFileInfo file(helper);
        if (file.isFile() && file.isExecutable()) {
            qputenv("QTWEBENGINEPROCESS_PATH", QFile::encodeName(file.canonicalFilePath()));
            return;
        }
    }
#endif
}

} // namespace

int main(int argc, char* argv[]) {
    if (!haveDisplay()) {
        std::fprintf(stderr, "zentraq: no display found (DISPLAY is not set); "
                             "start it from a desktop session or under Xvfb.\n");
        return 1;
    }
    quietenWebEngine();
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);

    QApplication app(argc, argv);
    useOwnWebEngineHelper();
    QApplication::setApplicationName(QStringLiteral("Zentraq"));
    QGuiApplication::setDesktopFileName(QStringLiteral(ZENTRAQ_APP_ID));
    zentraq::installQtTranslations();
    QIcon icon;
    for (int size : {16, 32, 48, 64, 128, 256})
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
