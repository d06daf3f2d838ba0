#pragma once

// Fakes for the platform services that leave the window: modal boxes, the
// file dialog, the clipboard, the network, the desktop shell, the event pump
// and the program's end. Each records what the window asked of it.

#include "mainwindow.h"
#include "services.h"

#include <QCoreApplication>
#include <QStringList>
#include <QTemporaryDir>

#include <deque>
#include <functional>
#include <memory>

namespace zentraq::testing {

struct FakeBoxes : platform::MessageBoxes {
    QStringList shown;
    std::function<void(const QString&)> onShow; // runs while the "box" is open
    void show(const QString& text) override {
        shown << text;
        if (onShow)
            onShow(text);
    }
};

struct FakeFileDialog : platform::FileOpenDialog {
    std::deque<QString> answers; // next answers; none left = cancel
    QStringList offered;         // the name the dialog started from, each time
    std::optional<QString> open(const QString& current) override {
        offered << current;
        if (answers.empty())
            return std::nullopt;
        const QString name = answers.front();
        answers.pop_front();
        return name;
    }
};

struct FakeClipboard : platform::Clipboard {
    QString text;
    bool fail = false;
    int writes = 0;
    bool setText(const QString& t, QString* error) override {
        ++writes;
        if (fail) {
            if (error)
                *error = QStringLiteral("剪贴板被其他程序占用");
            return false;
        }
        text = t;
        return true;
    }
};

struct FakeDownloader : platform::Downloader {
    QList<QUrl> requested;
    std::function<Result(const QUrl&, const QString&)> answer = [](const QUrl&, const QString&) {
        return Result{false, QStringLiteral("unreachable")};
    };
    Result download(const QUrl& url, const QString& localPath) override {
        requested << url;
        return answer(url, localPath);
    }
};

struct FakeShell : platform::DesktopShell {
    QStringList files;
    QList<QUrl> urls;
    bool fail = false;
    bool openFile(const QString& path, QString* error) override {
        files << path;
        if (fail && error)
            *error = QStringLiteral("no application");
        return !fail;
    }
    bool openUrl(const QUrl& url, QString* error) override {
        urls << url;
        if (fail && error)
            *error = QStringLiteral("no browser");
        return !fail;
    }
};

struct FakePump : platform::EventPump {
    long long calls = 0;
    std::function<void()> each; // runs at every pump, e.g. to click mid-conversion
    void pump() override {
        ++calls;
        if (each)
            each();
    }
};

struct FakeExit : platform::ProgramExit {
    int ended = 0;
    void endNow() override { ++ended; }
};

// The real main window with fakes for everything outside it (the desktop
// shell too, unless another is given), its program folder a fresh temporary
// directory.
struct WindowHarness {
    FakeBoxes boxes;
    FakeFileDialog fileDialog;
    FakeClipboard clipboard;
    FakeDownloader downloader;
    FakeShell shell;
    FakePump pump;
    FakeExit exit;
    QTemporaryDir folder;
    platform::Services services;
    std::unique_ptr<zentraq::main> window;

    explicit WindowHarness(platform::DesktopShell* desktop = nullptr)
        : services{boxes, fileDialog, clipboard,    downloader, desktop ? *desktop : shell,
                   pump,  exit,       folder.path()} {
        window = std::make_unique<zentraq::main>(services);
    }
};

} // namespace zentraq::testing
