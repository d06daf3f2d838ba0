#pragma once

// Files for tests: read and written whole, and the program's standard
// streams on files.

#include <QFile>
#include <QString>

#include <cstdio>

#include <fcntl.h>
#include <unistd.h>

namespace zentraq::testing {

// The whole file; empty when it cannot be read.
inline QByteArray readFile(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Made or emptied, then `bytes`.
inline bool writeFile(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

// Standard input, output and error on files while one of these lives: input
// read from its file, output and error written to theirs (made or emptied).
// An empty name leaves that stream alone.
class StreamsOnFiles {
public:
    StreamsOnFiles(const QString& in, const QString& out, const QString& err) {
        std::fflush(stdout);
        std::fflush(stderr);
        const QString files[3] = {in, out, err};
        for (int fd = 0; fd < 3; ++fd) {
            if (files[fd].isEmpty())
                continue;
            m_saved[fd] = ::dup(fd);
            const int file = ::open(QFile::encodeName(files[fd]).constData(),
                                    fd == 0 ? O_RDONLY : O_WRONLY | O_CREAT | O_TRUNC, 0600);
            ::dup2(file, fd);
            ::close(file);
        }
    }
    ~StreamsOnFiles() { restore(); }
    StreamsOnFiles(const StreamsOnFiles&) = delete;
    StreamsOnFiles& operator=(const StreamsOnFiles&) = delete;

    // The program's own streams again.
    void restore() {
        std::fflush(stdout);
        std::fflush(stderr);
        for (int fd = 0; fd < 3; ++fd)
            if (m_saved[fd] >= 0) {
                ::dup2(m_saved[fd], fd);
                ::close(m_saved[fd]);
                m_saved[fd] = -1;
            }
    }

private:
    int m_saved[3] = {-1, -1, -1};
};

} // namespace zentraq::testing
