#pragma once

// The real implementations of the platform services, on Qt Widgets.

#include "desktop_opener.h"
#include "services.h"

class QWidget;

namespace zentraq::platform {

class QtMessageBoxes : public MessageBoxes {
public:
    void setParentWindow(QWidget* w) { m_parent = w; }
    void show(const QString& text) override;

private:
    QWidget* m_parent = nullptr;
};

class QtFileOpenDialog : public FileOpenDialog {
public:
    void setParentWindow(QWidget* w) { m_parent = w; }
    std::optional<QString> open(const QString& current) override;

private:
    QWidget* m_parent = nullptr;
};

class QtClipboard : public Clipboard {
public:
    bool setText(const QString& text, QString* error) override;
};

// Files and addresses go to the desktop's opener, xdg-open unless another
// program is named; see DesktopOpener.
class QtDesktopShell : public DesktopShell {
public:
    explicit QtDesktopShell(const QString& opener = QStringLiteral("xdg-open"))
        : m_opener(opener) {}
    bool openFile(const QString& path, QString* error) override;
    bool openUrl(const QUrl& url, QString* error) override;

    DesktopOpener& opener() { return m_opener; }

private:
    DesktopOpener m_opener;
};

class QtEventPump : public EventPump {
public:
    void pump() override;
};

class QtProgramExit : public ProgramExit {
public:
    [[noreturn]] void endNow() override;
};

// The folder of the running executable.
QString programFolder();

} // namespace zentraq::platform
