#include "desktop_opener.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QSocketNotifier>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace zentraq::platform {
namespace {

Q_LOGGING_CATEGORY(lcOpener, "zentraq.opener", QtWarningMsg)

// The file the shell would run for `program`: a path as it is, a name from
// the first folder of PATH that holds an executable file of that name.
QString resolve(const QString& program) {
    if (program.contains(QLatin1Char('/')))
        return program;
    const QString path = qEnvironmentVariable("PATH", QStringLiteral("/usr/bin:/bin"));
    for (const QString& folder : path.split(QLatin1Char(':'))) {
        const QFileInfo file(QDir(folder.isEmpty() ? QStringLiteral(".") : folder), program);
        if (file.isFile() && file.isExecutable())
            return file.filePath();
    }
    return QString();
}

QString reason(const QString& program, int error) {
    switch (error) {
    case ENOENT:
    case ENOTDIR:
        return QStringLiteral("找不到程序 %1").arg(program);
    case EACCES:
    case EPERM:
        return QStringLiteral("%1 没有执行权限").arg(program);
    default:
        return QStringLiteral("%1 无法启动：%2")
            .arg(program, QString::fromLocal8Bit(strerror(error)));
    }
}

// Writes all of `size` bytes, as far as the pipe takes them; for the child,
// between fork and exec, where only such calls are safe.
void writeAll(int fd, const void* data, size_t size) {
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t n = write(fd, p, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return;
        p += n;
        size -= size_t(n);
    }
}

} // namespace

DesktopOpener::DesktopOpener(QString program, QObject* parent)
    : QObject(parent), m_program(std::move(program)) {}

DesktopOpener::~DesktopOpener() {
    // The openers go on; what they print from now on goes nowhere.
    for (const Output& out : m_outputs)
        ::close(out.fd);
}

bool DesktopOpener::launch(const QString& target, QString* error) {
    const auto fail = [&](int code) {
        if (error)
            *error = reason(m_program, code);
        return false;
    };
    const QString file = resolve(m_program);
    if (file.isEmpty())
        return fail(ENOENT);

    // Everything the child needs, made before it exists.
    QByteArray path = QFile::encodeName(file);
    QByteArray name = QFile::encodeName(m_program);
    QByteArray argument = QFile::encodeName(target);
    char* argv[] = {name.data(), argument.data(), nullptr};

    int output[2], status[2];
    if (pipe2(output, O_CLOEXEC) != 0)
        return fail(errno);
    if (pipe2(status, O_CLOEXEC) != 0) {
        const int code = errno;
        ::close(output[0]);
        ::close(output[1]);
        return fail(code);
    }

    // Two forks: the opener's parent ends at once, so the opener belongs to
    // the system, not to this program, and leaves no zombie behind. Between
    // fork and exec only calls that are safe in a forked child are made.
    const pid_t middle = fork();
    if (middle == 0) {
        const pid_t opener = fork();
        if (opener < 0) {
            const int code = errno;
            writeAll(status[1], &code, sizeof code);
            _exit(127);
        }
        if (opener > 0)
            _exit(0);
        setsid();
        sigset_t none;
        sigemptyset(&none);
        sigprocmask(SIG_SETMASK, &none, nullptr);
        // Once this program has ended, a write to the pipe fails instead of
        // ending the opener or the program it started.
        struct sigaction ignore {};
        ignore.sa_handler = SIG_IGN;
        sigaction(SIGPIPE, &ignore, nullptr);
        const int nothing = open("/dev/null", O_RDONLY);
        if (nothing < 0 || dup2(nothing, 0) < 0 || dup2(output[1], 1) < 0 ||
            dup2(output[1], 2) < 0) {
            const int code = errno;
            writeAll(status[1], &code, sizeof code);
            _exit(127);
        }
        execve(path.constData(), argv, environ);
        const int code = errno;
        writeAll(status[1], &code, sizeof code);
        _exit(127);
    }
    const int forkError = errno;
    ::close(output[1]);
    ::close(status[1]);
    if (middle < 0) {
        ::close(output[0]);
        ::close(status[0]);
        return fail(forkError);
    }
    while (waitpid(middle, nullptr, 0) < 0 && errno == EINTR) {
    }
    // Nothing to read means that exec closed the pipe: the opener runs.
    int code = 0;
    ssize_t got;
    do
        got = read(status[0], &code, sizeof code);
    while (got < 0 && errno == EINTR);
    ::close(status[0]);
    if (got > 0) {
        ::close(output[0]);
        return fail(code);
    }

    fcntl(output[0], F_SETFL, fcntl(output[0], F_GETFL) | O_NONBLOCK);
    Output out;
    out.fd = output[0];
    out.notifier = new QSocketNotifier(out.fd, QSocketNotifier::Read, this);
    const int fd = out.fd;
    connect(out.notifier, &QSocketNotifier::activated, this, [this, fd] { readFrom(fd); });
    m_outputs.push_back(out);
    return true;
}

QStringList DesktopOpener::recentOutput() const {
    return QStringList(m_recent.begin(), m_recent.end());
}

void DesktopOpener::readFrom(int fd) {
    const auto it = std::find_if(m_outputs.begin(), m_outputs.end(),
                                 [fd](const Output& o) { return o.fd == fd; });
    if (it == m_outputs.end())
        return;
    Output& out = *it;
    char buffer[16384];
    for (;;) {
        const ssize_t n = read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            return;
        if (n <= 0) {
            if (!out.partial.isEmpty())
                keep(out, std::exchange(out.partial, QByteArray()));
            close(fd);
            return;
        }
        QByteArrayView data(buffer, n);
        while (!data.isEmpty()) {
            const qsizetype end = data.indexOf('\n');
            const QByteArrayView piece = end < 0 ? data : data.first(end);
            // Only the start of a long line is kept.
            out.partial += piece.first(std::min<qsizetype>(
                piece.size(), std::max<qsizetype>(0, kLineBytes - out.partial.size())));
            if (end < 0)
                break;
            keep(out, std::exchange(out.partial, QByteArray()));
            data = data.sliced(end + 1);
        }
    }
}

void DesktopOpener::keep(Output& out, QByteArray line) {
    if (line.endsWith('\r'))
        line.chop(1);
    const QString text = QString::fromLocal8Bit(line);
    out.lines << text;
    if (out.lines.size() > kKeptLines)
        out.lines.removeFirst();
    m_recent.push_back(text);
    if (m_recent.size() > std::size_t(kKeptLines))
        m_recent.pop_front();
}

void DesktopOpener::close(int fd) {
    const auto it = std::find_if(m_outputs.begin(), m_outputs.end(),
                                 [fd](const Output& o) { return o.fd == fd; });
    if (it == m_outputs.end())
        return;
    // Called from the notifier's own signal: it goes once that has returned.
    it->notifier->setEnabled(false);
    it->notifier->deleteLater();
    ::close(fd);
    const QStringList lines = it->lines;
    m_outputs.erase(it);
    for (const QString& line : lines)
        qCInfo(lcOpener, "%s: %s", qUtf8Printable(m_program), qUtf8Printable(line));
    emit outputEnded();
}

} // namespace zentraq::platform
