// The fixed cost of zentraq-cli as a build runs it: every figure is a fresh
// process, timed from fork to exit (wall clock, and the CPU time of the
// process and its children). Prints medians and ratios; checks nothing,
// though it marks ratios over their targets.
//
//   bench_startup [runs] [--no-build]
//
// 1. `zentraq-cli --version` against /bin/true, and `zentraq-cli picture` on
//    a 240x320 PNG against plain_rgb565 (libpng and a table of the 65536
//    item texts, the same bytes), all in turn, `runs` runs each (default
//    20), and plain_rgb565 writing as the tool does (--durable: a new file,
//    synced, renamed, the folder synced); beside them a process of this
//    program that loads what the tool's Qt conversions load and does
//    nothing, and the same picture through those conversions (with an
//    option the quick picture path leaves to them), for what the quick path
//    saves.
// 2. 100 pictures of 240x320 made by a CMake project with
//    zentraq_add_picture(), against the package installed from this build
//    tree into a temporary prefix: the Ninja build with -j2, against 100
//    runs of plain_rgb565 one after the other and the same 100 runs as a
//    Ninja build with -j2; and the build that follows, which has nothing to
//    do. Needs cmake and ninja; --no-build skips it.
#include "photo_like.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QStringList>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <vector>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

constexpr double VersionLimit = 3.0;
constexpr double PictureLimit = 1.5;
constexpr int Assets = 100;

struct Run {
    double wall = 0;
    double cpu = 0;
    bool ok = false;
};

double seconds(const timeval& t) {
    return double(t.tv_sec) + double(t.tv_usec) / 1e6;
}

// Runs `args` as a child with standard output and error on /dev/null (or
// standard error kept, for a build that fails) in the folder `dir`.
Run runOnce(const QStringList& args, const QString& dir = {}) {
    std::vector<QByteArray> bytes;
    for (const QString& a : args)
        bytes.push_back(QFile::encodeName(a));
    std::vector<char*> argv;
    for (QByteArray& b : bytes)
        argv.push_back(b.data());
    argv.push_back(nullptr);
    const QByteArray where = QFile::encodeName(dir);
    std::fflush(stdout);
    timespec t0{}, t1{};
    clock_gettime(CLOCK_MONOTONIC, &t0);
    const pid_t pid = fork();
    if (pid == 0) {
        const int null = open("/dev/null", O_WRONLY);
        if (null < 0 || dup2(null, STDOUT_FILENO) < 0 || dup2(null, STDERR_FILENO) < 0)
            _exit(127);
        if (!where.isEmpty() && chdir(where.constData()) != 0)
            _exit(127);
        execv(argv[0], argv.data());
        _exit(127);
    }
    Run run;
    int status = 0;
    rusage u{};
    if (pid < 0 || wait4(pid, &status, 0, &u) != pid)
        return run;
    clock_gettime(CLOCK_MONOTONIC, &t1);
    run.wall = double(t1.tv_sec - t0.tv_sec) + double(t1.tv_nsec - t0.tv_nsec) / 1e9;
    run.cpu = seconds(u.ru_utime) + seconds(u.ru_stime);
    run.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    return run;
}

struct Series {
    const char* label;
    QStringList args;
    std::vector<double> wall, cpu;
    bool failed = false;

    void add(const Run& r) {
        wall.push_back(r.wall);
        cpu.push_back(r.cpu);
        failed |= !r.ok;
    }
};

double median(std::vector<double> v) {
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    const std::size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

bool writeFile(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

QByteArray fileBytes(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
}

// A project that makes the text of every picture in `pictures`: with the
// package's function, or with a custom command that runs the plain program.
QByteArray assetProject(const QStringList& pictures, const QString& plain) {
    QByteArray text = "cmake_minimum_required(VERSION 3.20)\nproject(assets C)\n";
    text += "file(WRITE ${CMAKE_BINARY_DIR}/main.c \"int main(void) { return 0; }\\n\")\n";
    text += "add_executable(assets ${CMAKE_BINARY_DIR}/main.c)\n";
    if (plain.isEmpty())
        text += "find_package(Zentraq 1.3 REQUIRED)\n";
    for (int i = 0; i < pictures.size(); ++i) {
        const QByteArray in = QFile::encodeName(pictures[i]);
        const QByteArray out = "pic" + QByteArray::number(i) + ".txt";
        if (plain.isEmpty()) {
            text += "zentraq_add_picture(TARGET assets INPUT \"" + in + "\" OUTPUT " + out + ")\n";
        } else {
            text += "add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/" + out + " COMMAND \"" +
                    QFile::encodeName(plain) + "\" \"" + in + "\" ${CMAKE_BINARY_DIR}/" + out +
                    " DEPENDS \"" + in + "\" VERBATIM)\n";
            text += "target_sources(assets PRIVATE ${CMAKE_BINARY_DIR}/" + out + ")\n";
        }
    }
    return text;
}

void assetBuild(const QString& root, const QString& plain) {
    const QString cmake = QStringLiteral(CMAKE_COMMAND);
    const QString ninja = QStringLiteral(NINJA_PROGRAM);
    if (ninja.isEmpty() || !QFile::exists(ninja)) {
        std::printf("2. skipped: no ninja (Debian package ninja-build)\n");
        return;
    }
    std::printf("2. %d pictures of 240x320, made by a CMake project (Ninja, -j2), each build "
                "from nothing after\n   configuring; fresh processes, one run each\n",
                Assets);
    const QString prefix = root + QStringLiteral("/prefix");
    if (!runOnce({cmake, "--install", QStringLiteral(ZENTRAQ_BUILD_DIR), "--prefix", prefix}).ok) {
        std::printf("   cannot install the build tree into %s\n", qPrintable(prefix));
        return;
    }
    QStringList pictures;
    QDir(root).mkpath(QStringLiteral("pictures"));
    for (int i = 0; i < Assets; ++i) {
        const QString path = root + QStringLiteral("/pictures/p%1.png").arg(i);
        if (!zentraq::bench::photoLike(240, 320, quint32(i + 1)).save(path)) {
            std::printf("   cannot write %s\n", qPrintable(path));
            return;
        }
        pictures << path;
    }
    struct Project {
        const char* label;
        QString dir;
        Run build, again;
    };
    Project projects[] = {{"zentraq_add_picture", root + QStringLiteral("/tool"), {}, {}},
                          {"plain_rgb565 commands", root + QStringLiteral("/plain"), {}, {}}};
    for (Project& p : projects) {
        QDir(p.dir).mkpath(QStringLiteral("build"));
        const bool tool = &p == &projects[0];
        writeFile(p.dir + QStringLiteral("/CMakeLists.txt"),
                  assetProject(pictures, tool ? QString() : plain));
        const Run configured = runOnce({cmake, "-S", p.dir, "-B", p.dir + "/build", "-G", "Ninja",
                                        "-DCMAKE_MAKE_PROGRAM=" + ninja,
                                        "-DCMAKE_PREFIX_PATH=" + prefix + "/usr;" + prefix});
        if (!configured.ok) {
            std::printf("   cannot configure %s\n", qPrintable(p.dir));
            return;
        }
    }
    // In turn, so that both meet the same load.
    for (Project& p : projects)
        p.build = runOnce({ninja, "-C", p.dir + "/build", "-j2"});
    for (Project& p : projects)
        p.again = runOnce({ninja, "-C", p.dir + "/build", "-j2"});
    Series plainRuns{"plain_rgb565, 100 runs in a row", {}, {}, {}};
    double wall = 0, cpu = 0;
    bool plainOk = true;
    for (int i = 0; i < Assets; ++i) {
        const Run r = runOnce({plain, pictures[i], root + QStringLiteral("/plain-row.txt")});
        wall += r.wall;
        cpu += r.cpu;
        plainOk &= r.ok;
    }
    const bool same = fileBytes(projects[0].dir + QStringLiteral("/build/pic7.txt")) ==
                      fileBytes(projects[1].dir + QStringLiteral("/build/pic7.txt"));
    for (const Project& p : projects)
        std::printf("   %-34s %7.3f s wall, %7.3f s CPU%s; again: %6.3f s\n", p.label, p.build.wall,
                    p.build.cpu, p.build.ok ? "" : " (FAILED)", p.again.wall);
    std::printf("   %-34s %7.3f s wall, %7.3f s CPU%s\n", "plain_rgb565, 100 runs in a row", wall,
                cpu, plainOk ? "" : " (FAILED)");
    std::printf(
        "   the build / 100 plain runs in a row: %.2f wall, %.2f CPU; the build / the plain "
        "build: %.2f wall,\n   %.2f CPU%s\n\n",
        projects[0].build.wall / wall, projects[0].build.cpu / cpu,
        projects[0].build.wall / projects[1].build.wall,
        projects[0].build.cpu / projects[1].build.cpu, same ? "" : "  (the outputs differ!)");
}

} // namespace

int main(int argc, char* argv[]) {
    // The floor of any program that loads these libraries.
    if (argc == 2 && std::strcmp(argv[1], "--nothing") == 0)
        return 0;
    int runs = 20;
    bool build = true;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--no-build") == 0)
            build = false;
        else
            runs = std::max(1, std::atoi(argv[i]));
    }
    QTemporaryDir dir;
    if (!dir.isValid())
        return 1;
    const QString tool = QStringLiteral(ZENTRAQ_CLI);
    const QString plain = QStringLiteral(PLAIN_RGB565);
    const QString picture = dir.filePath(QStringLiteral("pic-240x320.png"));
    if (!zentraq::bench::photoLike(240, 320).save(picture)) {
        std::printf("cannot write %s\n", qPrintable(picture));
        return 1;
    }
    const QString toolOut = dir.filePath(QStringLiteral("tool.txt"));
    const QString plainOut = dir.filePath(QStringLiteral("plain.txt"));
    const QString qtOut = dir.filePath(QStringLiteral("qt.txt"));
    const QString durableOut = dir.filePath(QStringLiteral("durable.txt"));
    char self[4096] = {};
    if (readlink("/proc/self/exe", self, sizeof self - 1) <= 0)
        return 1;

    std::vector<Series> series{
        {"/bin/true", {"/bin/true"}, {}, {}},
        {"zentraq-cli --version", {tool, "--version"}, {}, {}},
        {"bench_startup --nothing", {QString::fromLocal8Bit(self), "--nothing"}, {}, {}},
        {"plain_rgb565 240x320 PNG", {plain, picture, plainOut}, {}, {}},
        {"  the same, written durably", {plain, "--durable", picture, durableOut}, {}, {}},
        {"zentraq-cli picture 240x320 PNG",
         {tool, "picture", picture, "-q", "-o", toolOut},
         {},
         {}},
        {"  the same through Qt",
         {tool, "picture", picture, "-q", "--format", "hex", "-o", qtOut},
         {},
         {}},
    };
    for (int i = 0; i < runs; ++i)
        for (Series& s : series)
            s.add(runOnce(s.args));

    std::printf(
        "1. Fixed cost: medians of %d runs each, in turn, fresh processes; ms of wall clock "
        "(CPU)\n",
        runs);
    for (const Series& s : series)
        std::printf("   %-34s %7.2f (%6.2f)%s\n", s.label, median(s.wall) * 1e3,
                    median(s.cpu) * 1e3, s.failed ? "  FAILED" : "");
    const auto ratio = [&](int a, int b, double limit, const char* what) {
        const double wall = median(series[a].wall) / median(series[b].wall);
        const double cpu = median(series[a].cpu) / median(series[b].cpu);
        std::printf("   %-46s %5.2f wall, %5.2f CPU (target %.1f)%s\n", what, wall, cpu, limit,
                    wall > limit ? " OVER" : "");
    };
    ratio(1, 0, VersionLimit, "zentraq-cli --version / /bin/true:");
    ratio(5, 3, PictureLimit, "zentraq-cli picture / plain_rgb565:");
    ratio(6, 3, PictureLimit, "  the same through Qt / plain_rgb565:");
    ratio(5, 4, PictureLimit, "zentraq-cli picture / plain_rgb565 --durable:");
    const bool same = fileBytes(toolOut) == fileBytes(plainOut) &&
                      fileBytes(qtOut) == fileBytes(plainOut) &&
                      fileBytes(durableOut) == fileBytes(plainOut);
    std::printf("   bench_startup --nothing loads the libraries the tool's Qt conversions need (Qt "
                "Core and\n   Gui and theirs) and does nothing; a plain PNG conversion does not "
                "load them.%s\n\n",
                same ? "" : "  The outputs differ!");
    if (build)
        assetBuild(dir.path(), plain);
    bool failed = !same;
    for (const Series& s : series)
        failed |= s.failed;
    if (failed)
        std::printf("SOME RUNS FAILED\n");
    return failed ? 1 : 0;
}
