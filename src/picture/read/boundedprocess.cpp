#include "boundedprocess.h"

#include <QFile>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace zentraq::rgbqumo {
namespace {

using Clock = std::chrono::steady_clock;

// Variables passed on from this process when set.
constexpr const char* PassedOn[] = {
    "HOME",          "XDG_CACHE_HOME",  "XDG_CONFIG_HOME", "XDG_CONFIG_DIRS", "XDG_DATA_HOME",
    "XDG_DATA_DIRS", "XDG_RUNTIME_DIR", "FONTCONFIG_FILE", "FONTCONFIG_PATH", "ASAN_OPTIONS",
    "UBSAN_OPTIONS", "LSAN_OPTIONS",
};

class Descriptor {
public:
    Descriptor() = default;
    explicit Descriptor(int fd) : m_fd(fd) {}
    ~Descriptor() { reset(); }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return m_fd; }
    void reset(int fd = -1) {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = fd;
    }

private:
    int m_fd = -1;
};

// The child, killed and reaped whatever way the caller leaves.
class Child {
public:
    explicit Child(pid_t pid) : m_pid(pid) {}
    ~Child() {
        if (m_pid > 0) {
            ::kill(m_pid, SIGKILL);
            wait();
        }
    }
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    pid_t pid() const { return m_pid; }
    void kill() const { ::kill(m_pid, SIGKILL); }
    // Blocks until it has ended; its wait status.
    int wait() {
        int status = 0;
        while (::waitpid(m_pid, &status, 0) < 0 && errno == EINTR) {
        }
        m_pid = -1;
        return status;
    }
    // Whether it has ended, without blocking; the status then in `status`.
    bool ended(int& status) {
        const pid_t r = ::waitpid(m_pid, &status, WNOHANG);
        // Reaped by someone else (children ignored): ended, status unknown.
        if (r < 0 && errno == ECHILD)
            status = 0;
        if (r == m_pid || (r < 0 && errno == ECHILD)) {
            m_pid = -1;
            return true;
        }
        return false;
    }

private:
    pid_t m_pid;
};

ProcessOutcome notStarted(const QString& why) {
    ProcessOutcome o;
    o.status = ProcessOutcome::NotStarted;
    o.error = why;
    return o;
}

ProcessOutcome fromStatus(int status) {
    ProcessOutcome o;
    if (WIFSIGNALED(status)) {
        o.status = ProcessOutcome::Signalled;
        o.code = WTERMSIG(status);
    } else {
        o.status = ProcessOutcome::Exited;
        o.code = WEXITSTATUS(status);
    }
    return o;
}

} // namespace

ProcessOutcome runBounded(const QString& program, const QStringList& arguments, int inputFd,
                          const ProcessBounds& bounds,
                          const std::function<bool(QByteArrayView)>& sink) {
    // Everything the child uses is made before it is forked: after the fork
    // it may only make system calls.
    std::vector<QByteArray> strings;
    strings.push_back(QFile::encodeName(program));
    for (const QString& a : arguments)
        strings.push_back(a.toLocal8Bit());
    const std::size_t argCount = strings.size();
    auto setHere = [&bounds](const char* name) {
        for (const QByteArray& e : bounds.environment)
            if (e.startsWith(QByteArray(name) + '='))
                return true;
        return false;
    };
    for (const char* name : PassedOn)
        if (const char* value = std::getenv(name); value && !setHere(name))
            strings.push_back(QByteArray(name) + '=' + value);
    strings.push_back("LC_ALL=C.UTF-8");
    strings.push_back("QT_QPA_PLATFORM=offscreen");
    for (const QByteArray& e : bounds.environment)
        strings.push_back(e);
    std::vector<char*> argv, envp;
    for (std::size_t i = 0; i < strings.size(); ++i)
        (i < argCount ? argv : envp).push_back(strings[i].data());
    argv.push_back(nullptr);
    envp.push_back(nullptr);

    const auto seconds = std::chrono::ceil<std::chrono::seconds>(bounds.deadline).count();
    const rlimit cpu{rlim_t(seconds + 1), rlim_t(seconds + 2)};
    const rlimit memory{rlim_t(bounds.memoryBytes), rlim_t(bounds.memoryBytes)};
    const rlimit none{0, 0};

    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0)
        return notStarted(QString::fromLocal8Bit(std::strerror(errno)));
    Descriptor output(pipeFds[0]), outputEnd(pipeFds[1]);
    Descriptor devNull(::open("/dev/null", O_RDWR | O_CLOEXEC));
    if (devNull.get() < 0 || ::lseek(inputFd, 0, SEEK_SET) != 0)
        return notStarted(QString::fromLocal8Bit(std::strerror(errno)));

    const pid_t parent = ::getpid();
    const Clock::time_point deadline = Clock::now() + bounds.deadline;
    const pid_t pid = ::fork();
    if (pid < 0)
        return notStarted(QString::fromLocal8Bit(std::strerror(errno)));
    if (pid == 0) {
        // Ends with this process, should it end first.
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (::getppid() != parent)
            ::_exit(127);
        if (::dup2(inputFd, 0) < 0 || ::dup2(outputEnd.get(), 1) < 0 ||
            ::dup2(devNull.get(), 2) < 0)
            ::_exit(127);
        if (::syscall(SYS_close_range, 3U, ~0U, 0U) != 0)
            for (int fd = 3; fd < 1024; ++fd)
                ::close(fd);
        sigset_t unblocked;
        sigemptyset(&unblocked);
        ::sigprocmask(SIG_SETMASK, &unblocked, nullptr);
        struct sigaction action {};
        action.sa_handler = SIG_DFL;
        ::sigaction(SIGPIPE, &action, nullptr);
        // Writing a file fails instead of ending the program.
        action.sa_handler = SIG_IGN;
        ::sigaction(SIGXFSZ, &action, nullptr);
        ::setrlimit(RLIMIT_FSIZE, &none);
        ::setrlimit(RLIMIT_CORE, &none);
        ::setrlimit(RLIMIT_CPU, &cpu);
        if (bounds.memoryBytes > 0)
            ::setrlimit(RLIMIT_AS, &memory);
        ::execve(argv[0], argv.data(), envp.data());
        ::_exit(127);
    }
    Child child(pid);
    outputEnd.reset();
    devNull.reset();
    // Where the kernel offers one, a descriptor that becomes readable when
    // the child ends; otherwise its end is looked for after the output's.
    Descriptor ending(int(::syscall(SYS_pidfd_open, pid, 0)));

    int status = 0;
    bool ended = false;
    char buffer[1 << 16];
    for (;;) {
        if (!ended && output.get() < 0 && child.ended(status))
            ended = true;
        if (ended && output.get() < 0)
            break;
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0) {
            child.kill();
            child.wait();
            ProcessOutcome o;
            o.status = ProcessOutcome::TimedOut;
            return o;
        }
        pollfd fds[2];
        int n = 0;
        if (output.get() >= 0)
            fds[n++] = pollfd{output.get(), POLLIN, 0};
        if (!ended && ending.get() >= 0)
            fds[n++] = pollfd{ending.get(), POLLIN, 0};
        // Without either to wait on, the child's end is looked for in short
        // steps.
        const int wait = n == 0 ? std::min<int>(int(left.count()), 10)
                                : int(std::min<qint64>(left.count(), 1000));
        const int ready = ::poll(fds, nfds_t(n), wait);
        if (ready < 0 && errno != EINTR) {
            child.kill();
            child.wait();
            return notStarted(QString::fromLocal8Bit(std::strerror(errno)));
        }
        for (int i = 0; i < n && ready > 0; ++i) {
            if (!fds[i].revents)
                continue;
            if (fds[i].fd == output.get()) {
                const ssize_t got = ::read(output.get(), buffer, sizeof buffer);
                if (got < 0 && (errno == EINTR || errno == EAGAIN))
                    continue;
                if (got <= 0) {
                    output.reset();
                } else if (!sink(QByteArrayView(buffer, got))) {
                    child.kill();
                    child.wait();
                    ProcessOutcome o;
                    o.status = ProcessOutcome::Refused;
                    return o;
                }
            } else if (child.ended(status)) {
                ended = true;
            }
        }
    }
    return fromStatus(status);
}

} // namespace zentraq::rgbqumo
