#pragma once

// The real implementations of the platform services, on Qt Widgets.

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

class QtDesktopShell : public DesktopShell {
public:
    bool openFile(const QString& path, QString* error) override;
    bool openUrl(const QUrl& url, QString* error) override;
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
