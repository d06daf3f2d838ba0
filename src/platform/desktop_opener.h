#pragma once

// Starts the desktop's opener (xdg-open) for a file or a web address. The
// opener runs as a process of its own that outlives the program: the text
// editor or browser it starts stays open when the window closes. What it and
// the programs it starts print never reaches the program's own streams: it
// goes into a pipe that the program reads while it runs, keeping the last
// lines, which go to the log category "zentraq.opener" when the opener's
// output ends (QT_LOGGING_RULES="zentraq.opener.info=true" shows them).

#include <QObject>
#include <QString>
#include <QStringList>

#include <deque>

class QSocketNotifier;

namespace zentraq::platform {

class DesktopOpener : public QObject {
    Q_OBJECT

public:
    // Lines kept of what the openers printed, and the length kept of each.
    static constexpr int kKeptLines = 20;
    static constexpr int kLineBytes = 512;

    // `program`: a path, or a name looked up in PATH as the shell does.
    explicit DesktopOpener(QString program = QStringLiteral("xdg-open"), QObject* parent = nullptr);
    ~DesktopOpener() override;

    // Starts the opener with the one argument `target`. The launch succeeds
    // when the opener starts, whatever it then finds; false, with the reason
    // in `error`, when it is missing or cannot be started.
    bool launch(const QString& target, QString* error);

    // The last lines the openers printed, oldest first.
    QStringList recentOutput() const;
    // Openers whose output is still open (they, or programs they started,
    // still run).
    int running() const { return int(m_outputs.size()); }

signals:
    // The output of one opener ended: it and everything it started closed
    // it, or the pipe failed.
    void outputEnded();

private:
    struct Output {
        int fd = -1;
        QSocketNotifier* notifier = nullptr;
        QByteArray partial; // the start of a line not yet ended
        QStringList lines;  // this opener's last lines
    };

    void readFrom(int fd);
    void keep(Output& out, QByteArray line);
    void close(int fd);

    QString m_program;
    std::deque<Output> m_outputs;
    std::deque<QString> m_recent;
};

} // namespace zentraq::platform
