#pragma once

// The process's standard streams and the system's errors, in plain C++: the
// result files are written without Qt too.

#include <string>

namespace zentraq::cli {

// Writes all `size` bytes to the descriptor `fd`, in as many pieces as it
// takes. Returns 0, or the error number of the write that failed.
int writeFully(int fd, const char* data, long long size);

// The system's words for an error number, as it gives them.
std::string errnoString(int error);

// Opens /dev/null on each standard stream the process was started without,
// so that no file the tool opens takes the stream's number. Call first.
void openMissingStandardStreams();

bool standardOutputIsTerminal();

// The descriptor of the real standard error, also while QuietLibraries
// keeps the libraries away from it.
int messageDescriptor();

// Where the real standard error is while QuietLibraries lives; -1 when it is
// standard error again.
void setMessageDescriptor(int fd);

} // namespace zentraq::cli
