#include "streams.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace zentraq::cli {
namespace {

// The real standard error while QuietLibraries is active, else -1.
int g_messages = -1;

} // namespace

int writeFully(int fd, const char* data, long long size) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, static_cast<std::size_t>(size));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return errno;
        data += n;
        size -= n;
    }
    return 0;
}

std::string errnoString(int error) {
    return std::strerror(error);
}

void openMissingStandardStreams() {
    for (int fd : {STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO}) {
        if (::fcntl(fd, F_GETFD) < 0 && errno == EBADF) {
            const int opened = ::open("/dev/null", fd == STDIN_FILENO ? O_RDONLY : O_WRONLY);
            if (opened >= 0 && opened != fd) {
                ::dup2(opened, fd);
                ::close(opened);
            }
        }
    }
}

bool standardOutputIsTerminal() {
    return ::isatty(STDOUT_FILENO) == 1;
}

int messageDescriptor() {
    return g_messages >= 0 ? g_messages : STDERR_FILENO;
}

void setMessageDescriptor(int fd) {
    g_messages = fd;
}

} // namespace zentraq::cli
