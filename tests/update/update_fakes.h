#pragma once

// Fakes of the platform services that the version check uses. They write what
// happens into one shared log, so that tests can check the order of events.

#include "services.h"

#include <QStringList>
#include <QUrl>

#include <functional>

namespace zentraq::testing {

struct CheckLog {
    QStringList events; // "box:<text>", "open:<url>", "exit"
    QStringList boxes() const {
        QStringList r;
        for (const QString& e : events)
            if (e.startsWith(QLatin1String("box:")))
                r << e.mid(4);
        return r;
    }
};

class FakeBoxes : public platform::MessageBoxes {
public:
    explicit FakeBoxes(CheckLog& log) : m_log(log) {}
    void show(const QString& text) override {
        m_log.events << QStringLiteral("box:") + text;
        if (whileShown)
            whileShown();
    }
    std::function<void()> whileShown; // runs as if the modal box were open

private:
    CheckLog& m_log;
};

class FakeShell : public platform::DesktopShell {
public:
    explicit FakeShell(CheckLog& log) : m_log(log) {}
    bool openFile(const QString& path, QString* error) override {
        m_log.events << QStringLiteral("openFile:") + path;
        return fail(error);
    }
    bool openUrl(const QUrl& url, QString* error) override {
        m_log.events << QStringLiteral("open:") + url.toString();
        return fail(error);
    }
    QString failWith; // when set, every launch fails with this description

private:
    bool fail(QString* error) const {
        if (failWith.isEmpty())
            return true;
        if (error)
            *error = failWith;
        return false;
    }
    CheckLog& m_log;
};

class FakeExit : public platform::ProgramExit {
public:
    explicit FakeExit(CheckLog& log) : m_log(log) {}
    void endNow() override { m_log.events << QStringLiteral("exit"); }

private:
    CheckLog& m_log;
};

} // namespace zentraq::testing
