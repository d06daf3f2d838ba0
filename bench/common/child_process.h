#pragma once

// A program run as a fresh process, timed, with its peak resident memory.
// The program is started from a small process of its own (the benchmark
// run again as BENCH --measure RESULT PROGRAM ARGS...), so that its peak does
// not include the benchmark's own memory, which a child forked from the
// benchmark would start with.

#include <QByteArray>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QString>
#include <QStringList>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <vector>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace bench {

struct ProcessTiming {
    double wall = 1e9; // best of the runs, seconds
    double cpu = 1e9;
    long peakKb = 0; // largest of the runs
    bool failed = false;
    int exitCode = 0; // of the last run; -1 when it could not be run
};

// The --measure side: runs argv[0] with its arguments, writes wall clock and
// CPU seconds, peak KiB and exit status into `result`.
inline int measureChild(const char* result, char* const* argv) {
    timespec t0{}, t1{};
    clock_gettime(CLOCK_MONOTONIC, &t0);
    const pid_t pid = fork();
    if (pid == 0) {
        execv(argv[0], argv);
        _exit(127);
    }
    int status = 0;
    rusage u{};
    if (pid < 0 || wait4(pid, &status, 0, &u) != pid)
        return 127;
    clock_gettime(CLOCK_MONOTONIC, &t1);
    FILE* out = std::fopen(result, "w");
    if (!out)
        return 127;
    std::fprintf(out, "%f %f %ld %d\n",
                 double(t1.tv_sec - t0.tv_sec) + double(t1.tv_nsec - t0.tv_nsec) / 1e9,
                 double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
                     double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6,
                 long(u.ru_maxrss), WIFEXITED(status) ? WEXITSTATUS(status) : 128);
    std::fclose(out);
    return 0;
}

// `runs` runs of `args` (program first, an absolute path), standard output
// and standard error to /dev/null.
inline ProcessTiming runProcess(int runs, const QStringList& args) {
    static const QByteArray self = QFile::encodeName(QCoreApplication::applicationFilePath());
    static const QByteArray result = QFile::encodeName(QDir::temp().filePath(
        QStringLiteral("bench-measure-%1").arg(QCoreApplication::applicationPid())));
    ProcessTiming t;
    for (int i = 0; i < runs; ++i) {
        std::vector<QByteArray> bytes{self, "--measure", result};
        for (const QString& a : args)
            bytes.push_back(QFile::encodeName(a));
        std::vector<char*> argv;
        for (QByteArray& b : bytes)
            argv.push_back(b.data());
        argv.push_back(nullptr);
        std::fflush(stdout);
        const pid_t pid = fork();
        if (pid == 0) {
            if (!std::freopen("/dev/null", "w", stdout) || !std::freopen("/dev/null", "w", stderr))
                _exit(127);
            execv(argv[0], argv.data());
            _exit(127);
        }
        int status = 0;
        double wall = 0, cpu = 0;
        long peakKb = 0;
        int exitCode = -1;
        if (pid > 0 && waitpid(pid, &status, 0) == pid && WIFEXITED(status) &&
            WEXITSTATUS(status) == 0) {
            if (FILE* in = std::fopen(result.constData(), "r")) {
                if (std::fscanf(in, "%lf %lf %ld %d", &wall, &cpu, &peakKb, &exitCode) != 4)
                    exitCode = -1;
                std::fclose(in);
            }
        }
        std::remove(result.constData());
        t.failed |= exitCode != 0;
        t.exitCode = exitCode;
        t.wall = std::min(t.wall, wall);
        t.cpu = std::min(t.cpu, cpu);
        t.peakKb = std::max(t.peakKb, peakKb);
    }
    return t;
}

} // namespace bench
