#include "output.h"

#include "depfile.h"
#include "error.h"
#include "streams.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>
#include <utility>

namespace zentraq::cli {
namespace {

// Temporary files to remove if the process is interrupted. Plain arrays: the
// signal handler may only use what is async-signal-safe. A name is entered
// and removed only while the signals are blocked (InterruptsHeld), so the
// handler never sees a name half written, nor a file without its name.
constexpr int MaxTemporaries = 8;
constexpr std::size_t MaxPath = PATH_MAX + 256;
char g_temporaries[MaxTemporaries][MaxPath];
volatile std::sig_atomic_t g_used[MaxTemporaries];

constexpr int InterruptSignals[] = {SIGINT, SIGTERM, SIGHUP};

// Holds SIGINT, SIGTERM and SIGHUP back while it lives; one that arrives
// meanwhile is handled when it ends.
class InterruptsHeld {
public:
    InterruptsHeld() {
        sigset_t set;
        sigemptyset(&set);
        for (int sig : InterruptSignals)
            sigaddset(&set, sig);
        sigprocmask(SIG_BLOCK, &set, &m_before);
    }
    ~InterruptsHeld() { sigprocmask(SIG_SETMASK, &m_before, nullptr); }
    InterruptsHeld(const InterruptsHeld&) = delete;
    InterruptsHeld& operator=(const InterruptsHeld&) = delete;

private:
    sigset_t m_before;
};

// False when there is no room for the name.
bool registerTemporary(const std::string& native) {
    if (native.size() + 1 > MaxPath)
        return false;
    for (int i = 0; i < MaxTemporaries; ++i) {
        if (!g_used[i]) {
            std::memcpy(g_temporaries[i], native.c_str(), native.size() + 1);
            g_used[i] = 1;
            return true;
        }
    }
    return false;
}

void unregisterTemporary(const std::string& native) {
    for (int i = 0; i < MaxTemporaries; ++i) {
        if (g_used[i] && native == g_temporaries[i]) {
            g_used[i] = 0;
            return;
        }
    }
}

extern "C" void removeTemporariesAndDie(int sig) {
    for (int i = 0; i < MaxTemporaries; ++i) {
        if (g_used[i])
            ::unlink(g_temporaries[i]);
    }
    std::signal(sig, SIG_DFL);
    std::raise(sig);
}

void reached(OutputStep step) {
    if (outputStepHook)
        outputStepHook(step);
}

mode_t currentUmask() {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return mask;
}

std::string cannotWrite(const std::string& name, const std::string& why) {
    return "cannot write '" + name + "': " + why;
}

// The last target of a chain of links starting at `path`: `path` itself
// when it is no link, or a name that need not exist (a dangling link's).
std::string lastTarget(std::string path, const std::string& name) {
    // As many links as the system follows in one name.
    for (int hop = 0; hop < 40; ++hop) {
        struct stat st {};
        if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode))
            return path;
        std::string target(PATH_MAX, '\0');
        const ssize_t n = ::readlink(path.c_str(), target.data(), target.size());
        if (n < 0)
            failure(cannotWrite(name, errnoString(errno)));
        target.resize(std::size_t(n));
        // A relative target counts from the link's own folder.
        const std::size_t slash = path.rfind('/');
        if (!target.starts_with('/') && slash != std::string::npos)
            target.insert(0, path, 0, slash + 1);
        path = target;
    }
    failure(cannotWrite(name, errnoString(ELOOP)));
}

// Reads up to `size` bytes, as many as there are; -1 on an error.
long long readFull(int fd, char* data, std::size_t size) {
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = ::read(fd, data + done, size - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return -1;
        if (n == 0)
            break;
        done += std::size_t(n);
    }
    return static_cast<long long>(done);
}

bool sameFile(const struct stat& a, int fd) {
    struct stat b {};
    return ::fstat(fd, &b) == 0 && a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// Whether the files `a` and `b` hold the same bytes (false when either
// cannot be read).
bool sameBytes(const std::string& a, const std::string& b) {
    const int fa = ::open(a.c_str(), O_RDONLY | O_CLOEXEC);
    const int fb = fa < 0 ? -1 : ::open(b.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    bool same = false;
    struct stat sa {
    }, sb{};
    if (fb >= 0 && ::fstat(fa, &sa) == 0 && ::fstat(fb, &sb) == 0 && S_ISREG(sb.st_mode) &&
        sa.st_size == sb.st_size) {
        constexpr std::size_t Chunk = 256 * 1024;
        const std::unique_ptr<char[]> ba(new char[Chunk]), bb(new char[Chunk]);
        for (;;) {
            const long long na = readFull(fa, ba.get(), Chunk);
            const long long nb = readFull(fb, bb.get(), Chunk);
            if (na < 0 || na != nb || std::memcmp(ba.get(), bb.get(), std::size_t(na)))
                break;
            if (na == 0) {
                same = true;
                break;
            }
        }
    }
    if (fa >= 0)
        ::close(fa);
    if (fb >= 0)
        ::close(fb);
    return same;
}

bool writableInPlace(mode_t mode) {
    return S_ISCHR(mode) || S_ISFIFO(mode) || S_ISSOCK(mode);
}

} // namespace

void (*outputStepHook)(OutputStep) = nullptr;

void installInterruptCleanup() {
    for (int sig : InterruptSignals)
        std::signal(sig, removeTemporariesAndDie);
    // A reader that goes away (`| head`) is a write error like any other, so
    // the temporary files are cleaned up on the normal path.
    std::signal(SIGPIPE, SIG_IGN);
}

void StdoutSink::write(const char* data, long long size) {
    if (const int error = writeFully(STDOUT_FILENO, data, size))
        failure("cannot write to standard output: " +
                (error == EPIPE ? std::string("the reader closed it") : errnoString(error)));
}

OutputFile::OutputFile(std::string target) : m_name(std::move(target)) {
    struct stat st {};
    if (::stat(m_name.c_str(), &st) == 0 && writableInPlace(st.st_mode))
        openInPlace(st);
    else
        openTemporary();
}

// A device, a pipe or a socket: nothing can be renamed over them, and
// nothing must be.
void OutputFile::openInPlace(struct stat st) {
    // A name of the tool's own standard output or error (/dev/stdout,
    // /proc/self/fd/2, whatever they point to) is written through that
    // stream: a socket cannot be opened by name, and the tool's messages may
    // be kept apart from the real standard error while it works.
    if (sameFile(st, STDOUT_FILENO) || sameFile(st, STDERR_FILENO)) {
        const int stream = sameFile(st, STDOUT_FILENO) ? STDOUT_FILENO : messageDescriptor();
        m_fd = ::fcntl(stream, F_DUPFD_CLOEXEC, 3);
        if (m_fd < 0)
            failErrno(errno);
        return;
    }
    if (S_ISSOCK(st.st_mode)) {
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        if (m_name.size() >= sizeof address.sun_path)
            fail("the socket's name is too long to connect to");
        std::memcpy(address.sun_path, m_name.data(), m_name.size());
        m_fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (m_fd < 0 ||
            ::connect(m_fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0)
            failErrno(errno);
        return;
    }
    do {
        m_fd = ::open(m_name.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY);
    } while (m_fd < 0 && errno == EINTR);
    if (m_fd < 0)
        failErrno(errno);
    // Replaced by a regular file since it was looked at: nothing is written
    // into it in place (it was opened without truncating it).
    if (::fstat(m_fd, &st) != 0 || !writableInPlace(st.st_mode))
        fail("it changed while it was opened");
}

void OutputFile::openTemporary() {
    m_target = lastTarget(m_name, m_name);
    struct stat st {};
    if (::lstat(m_target.c_str(), &st) == 0) {
        if (S_ISDIR(st.st_mode))
            fail("it is a folder");
        if (S_ISBLK(st.st_mode))
            fail("it is a block device; write a file and copy it there");
        if (!S_ISREG(st.st_mode))
            fail("it is not a regular file");
        // A file its owner made read-only is protected: it is not replaced.
        if (!(st.st_mode & S_IWUSR))
            fail("it is read-only");
        // Its permissions, but no set-user-ID, set-group-ID or sticky bit:
        // the new file is not the program the old one may have been.
        m_mode = st.st_mode & 0777;
    } else {
        m_mode = 0666 & ~currentUmask();
    }

    const std::size_t slash = m_target.rfind('/');
    const std::string folder = slash == std::string::npos
                                   ? std::string(".")
                                   : m_target.substr(0, std::max<std::size_t>(slash, 1));
    // The hidden ".OUT.XXXXXX" beside OUT, short enough for any file system.
    const std::string base =
        m_target.substr(slash == std::string::npos ? 0 : slash + 1).substr(0, 200);
    struct stat dir {};
    if (::stat(folder.c_str(), &dir) != 0) {
        const int error = errno;
        fail("the folder '" + folder + "' " +
             (error == ENOENT || error == ENOTDIR ? std::string("does not exist")
                                                  : "cannot be reached: " + errnoString(error)));
    }
    if (!S_ISDIR(dir.st_mode))
        fail("'" + folder + "' is not a folder");
    std::string temp = folder + "/." + base + ".XXXXXX";
    m_folder = folder;
    // The file and its entry in the registry come into being together, as
    // far as an interrupt can tell.
    const InterruptsHeld held;
    m_fd = ::mkostemp(temp.data(), O_CLOEXEC);
    if (m_fd < 0)
        failErrno(errno);
    reached(OutputStep::TemporaryCreated);
    if (!registerTemporary(temp)) {
        ::unlink(temp.c_str());
        fail("its folder's name is too long");
    }
    m_temp = temp;
}

OutputFile::~OutputFile() {
    if (m_fd >= 0)
        ::close(m_fd);
    if (!m_committed && !m_temp.empty()) {
        const InterruptsHeld held;
        ::unlink(m_temp.c_str());
        unregisterTemporary(m_temp);
    }
}

void OutputFile::write(const char* data, long long size) {
    // Small pieces are collected into blocks of this size.
    constexpr long long Block = 64 * 1024;
    if (m_fd < 0)
        fail("the file is closed");
    if (static_cast<long long>(m_buffer.size()) + size < Block) {
        m_buffer.append(data, static_cast<std::size_t>(size));
        return;
    }
    writeOut(m_buffer.data(), static_cast<long long>(m_buffer.size()));
    m_buffer.clear();
    writeOut(data, size);
}

void OutputFile::writeOut(const char* data, long long size) {
    if (const int error = writeFully(m_fd, data, size))
        failErrno(error);
}

void OutputFile::fail(const std::string& what) {
    failure(cannotWrite(m_name, what));
}

void OutputFile::failErrno(int error) {
    fail(error == EPIPE ? std::string("the reader closed it") : errnoString(error));
}

void OutputFile::finish() {
    if (m_finished)
        return;
    if (m_fd < 0)
        fail("the file is closed");
    writeOut(m_buffer.data(), static_cast<long long>(m_buffer.size()));
    m_buffer.clear();
    if (m_temp.empty()) {
        // Written in place: a device, a pipe or a socket.
        if (::close(std::exchange(m_fd, -1)) != 0 && errno != EINTR)
            failErrno(errno);
        m_finished = true;
        return;
    }
    reached(OutputStep::DataWritten);
    // On the disk before its name is: a crash after the rename finds the
    // whole new file, never an empty one. The last chance, too, for a file
    // system to say the data did not fit.
    if (::fchmod(m_fd, m_mode) != 0 || ::fsync(m_fd) != 0)
        failErrno(errno);
    reached(OutputStep::DataSynced);
    if (::close(std::exchange(m_fd, -1)) != 0 && errno != EINTR)
        failErrno(errno);
    m_finished = true;
}

void OutputFile::commit(bool keepUnchanged) {
    finish();
    if (m_temp.empty()) {
        m_committed = true;
        return;
    }
    {
        const InterruptsHeld held;
        if (keepUnchanged && sameBytes(m_temp, m_target)) {
            // OUT stays as it was, its time too; nothing on the disk changed.
            ::unlink(m_temp.c_str());
            m_committed = true;
            unregisterTemporary(m_temp);
            return;
        }
        if (::rename(m_temp.c_str(), m_target.c_str()) != 0)
            failErrno(errno);
        m_committed = true;
        unregisterTemporary(m_temp);
        reached(OutputStep::Renamed);
    }
    // The new name on the disk as well.
    const int folder = ::open(m_folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder < 0 || (::fsync(folder) != 0 && errno != EINVAL)) {
        const int error = errno;
        if (folder >= 0)
            ::close(folder);
        fail("its folder cannot be written to the disk: " + errnoString(error));
    }
    ::close(folder);
    reached(OutputStep::FolderSynced);
}

Destination::Destination(std::string output, bool binary, const ResultFiles& files)
    : m_output(std::move(output)), m_keepUnchanged(files.keepUnchanged) {
    if (!m_output.empty() && m_output != "-") {
        // A name no depfile can hold is refused before any work.
        if (!files.depfile.empty())
            makeRule(m_output, {});
        m_file = std::make_unique<OutputFile>(m_output);
        if (!files.depfile.empty())
            m_depfile = std::make_unique<OutputFile>(files.depfile);
        return;
    }
    if (binary && standardOutputIsTerminal())
        usageError("binary data is not written to a terminal; give -o FILE or redirect the output");
}

void Destination::commit(const std::vector<std::string>& inputs) {
    if (!m_file)
        return;
    m_file->finish();
    // The depfile first: should OUT then fail to be put in place, the build
    // runs the command again anyway.
    if (m_depfile) {
        m_depfile->write(makeRule(m_output, inputs));
        m_depfile->commit();
    }
    m_file->commit(m_keepUnchanged);
}

} // namespace zentraq::cli
