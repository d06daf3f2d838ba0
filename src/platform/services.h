#pragma once

// What the program asks of the world outside its own window: modal boxes, the
// file-open dialog, the clipboard, the network, the desktop shell, the event
// pump, the folder for the program's files and the program's end. The window reaches all of
// them through these interfaces, so that tests can run the real window with
// fakes for exactly these and nothing else.

#include <QString>
#include <QUrl>

#include <optional>

namespace zentraq::platform {

// Modal message box with an OK button only, no icon, caption "Zentraq".
class MessageBoxes {
public:
    virtual ~MessageBoxes() = default;
    virtual void show(const QString& text) = 0;
};

// File-open dialog. Returns the chosen file, or nothing when the user cancels.
// `current` is the name the dialog remembers from its previous opening.
class FileOpenDialog {
public:
    virtual ~FileOpenDialog() = default;
    virtual std::optional<QString> open(const QString& current) = 0;
};

class Clipboard {
public:
    virtual ~Clipboard() = default;
    // Clears the clipboard and puts `text` on it as plain text. Returns false,
    // with a description in `error`, when the clipboard could not be written.
    virtual bool setText(const QString& text, QString* error) = 0;
};

// Synchronous download of a small file (the version file) from a web address
// into a local file. A file larger than kMaxBytes is a failed download.
class Downloader {
public:
    static constexpr qint64 kMaxBytes = 1024 * 1024;

    // What went wrong, when a download did not succeed.
    enum class Failure {
        Download,    // no complete answer from the server: unreachable, an HTTP
                     // error, too slow, too large
        LocalFile,   // the answer arrived but the local file could not be written
        Interrupted, // the user closed the window, or the program is quitting
    };
    struct Result {
        bool ok = false;
        QString error; // what went wrong, when !ok
        Failure failure = Failure::Download;
    };
    virtual ~Downloader() = default;
    virtual Result download(const QUrl& url, const QString& localPath) = 0;
};

// Hands a file or a web address to the desktop's default application.
class DesktopShell {
public:
    virtual ~DesktopShell() = default;
    virtual bool openFile(const QString& path, QString* error) = 0;
    virtual bool openUrl(const QUrl& url, QString* error) = 0;
};

// Lets the window process pending events in the middle of a long routine.
class EventPump {
public:
    virtual ~EventPump() = default;
    virtual void pump() = 0;
};

// Ends the program at once, without asking and without unload processing.
class ProgramExit {
public:
    virtual ~ProgramExit() = default;
    virtual void endNow() = 0;
};

// Everything above, plus the folder where temp.txt and v.txt live: the
// program's own folder, or the user's data folder for an installed program.
// The window holds references; the owner keeps the objects alive.
struct Services {
    MessageBoxes& boxes;
    FileOpenDialog& fileDialog;
    Clipboard& clipboard;
    Downloader& downloader;
    DesktopShell& shell;
    EventPump& pump;
    ProgramExit& exit;
    QString dataFolder;
};

} // namespace zentraq::platform
