// How fast zentraq-cli converts, and how much memory it takes. Prints its
// figures; checks nothing.
//
//   bench_cli [runs]
//
// Pictures: the default conversion (RGB565 data text into a file) against
// the plain loop, which decodes the picture with Qt, looks every pixel up in
// a table of the 65536 item texts and writes the text in 1 MiB blocks. Peak
// memory of the tool as a process against a process that only decodes the
// picture. Libraries: GB2312 at 16x16 and GBK at 32x32 as fresh processes.
#include "cli.h"
#include "hexbyte.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QImageReader>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <functional>
#include <vector>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace zentraq;

namespace {

// Something like a photograph: smooth gradients with noise, so that the
// compressed file takes real work to decode.
QImage photoLike(int w, int h) {
    QImage image(w, h, QImage::Format_RGB32);
    QRandomGenerator rng(42);
    for (int y = 0; y < h; ++y) {
        auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < w; ++x) {
            const int n = static_cast<int>(rng.bounded(24));
            row[x] = qRgb((x * 255 / w + n) & 255, (y * 255 / h + n) & 255,
                          ((x + y) * 127 / (w + h) + 2 * n) & 255);
        }
    }
    return image;
}

double cpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

struct Timing {
    double wall = 1e9;
    double cpu = 1e9;
    long peakKb = 0;
};

// The best of `runs` runs of `work` in this process (wall and CPU time
// separately: the machine is shared).
Timing best(int runs, const std::function<void()>& work) {
    Timing t;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer timer;
        const double cpu0 = cpuSeconds();
        timer.start();
        work();
        t.wall = std::min(t.wall, double(timer.nsecsElapsed()) / 1e9);
        t.cpu = std::min(t.cpu, cpuSeconds() - cpu0);
    }
    return t;
}

// The best of `runs` runs of a program as a fresh process, with its peak
// resident memory; standard output goes to /dev/null.
Timing process(int runs, const QStringList& args, bool* failed) {
    Timing t;
    for (int i = 0; i < runs; ++i) {
        std::vector<QByteArray> bytes;
        for (const QString& a : args)
            bytes.push_back(QFile::encodeName(a));
        std::vector<char*> argv;
        for (QByteArray& b : bytes)
            argv.push_back(b.data());
        argv.push_back(nullptr);
        QElapsedTimer timer;
        timer.start();
        std::fflush(stdout); // the child must not write this process's buffer again
        const pid_t pid = fork();
        if (pid == 0) {
            if (FILE* null = std::freopen("/dev/null", "w", stdout); !null)
                _exit(127);
            execv(argv[0], argv.data());
            _exit(127);
        }
        int status = 0;
        rusage u{};
        if (pid < 0 || wait4(pid, &status, 0, &u) != pid || !WIFEXITED(status) ||
            WEXITSTATUS(status) != 0)
            *failed = true;
        t.wall = std::min(t.wall, double(timer.nsecsElapsed()) / 1e9);
        t.cpu = std::min(t.cpu, double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
                                    double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6);
        t.peakKb = std::max(t.peakKb, long(u.ru_maxrss));
    }
    return t;
}

// The least a conversion into a file can do: decode, one table look-up per
// pixel, CR LF after every 8 pixels, 1 MiB writes. Returns the bytes written.
qint64 plainLoop(const QString& in, const QString& out) {
    static std::vector<std::array<char, 10>> items = [] {
        std::vector<std::array<char, 10>> t(65536);
        for (int w = 0; w < 65536; ++w) {
            std::memcpy(t[w].data(), rgbqumo::HexByteAscii(std::uint8_t(w & 0xFF)), 4);
            t[w][4] = ',';
            std::memcpy(t[w].data() + 5, rgbqumo::HexByteAscii(std::uint8_t(w >> 8)), 4);
            t[w][9] = ',';
        }
        return t;
    }();
    QImage image;
    QImageReader(in).read(&image);
    image = image.convertToFormat(QImage::Format_RGB32); // a no-op for these pictures
    QFile file(out);
    file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered);
    std::vector<char> block(1 << 20);
    std::size_t used = 0;
    qint64 written = 0;
    int line = 0;
    for (int y = 0; y < image.height(); ++y) {
        const auto* row = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            const QRgb p = row[x];
            const int word = (qRed(p) >> 3) << 11 | (qGreen(p) >> 2) << 5 | qBlue(p) >> 3;
            if (used + 12 > block.size()) {
                written += file.write(block.data(), qint64(used));
                used = 0;
            }
            std::memcpy(block.data() + used, items[std::size_t(word)].data(), 10);
            used += 10;
            if (++line == 8) {
                block[used++] = '\r';
                block[used++] = '\n';
                line = 0;
            }
        }
    }
    written += file.write(block.data(), qint64(used));
    return written;
}

} // namespace

int main(int argc, char* argv[]) {
    // The reference process of the memory figure: decode only.
    if (argc == 3 && std::strcmp(argv[1], "--decode-only") == 0) {
        QImage image;
        return QImageReader(QString::fromLocal8Bit(argv[2])).read(&image) ? 0 : 1;
    }
    QCoreApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
    const QString self = QCoreApplication::applicationFilePath();
    const QString tool = QStringLiteral(ZENTRAQ_CLI);
    QTemporaryDir dir;
    if (!dir.isValid())
        return 1;
    bool failed = false;

    std::printf(
        "zentraq-cli picture IN -o OUT, best of %d runs; seconds of wall clock (CPU time)\n", runs);
    std::printf("%-10s %-4s %15s %15s %15s %7s %7s %9s %9s\n", "picture", "file", "plain loop",
                "tool in-proc", "tool process", "ratio", "cpu", "peak MiB", "over MiB");
    struct Case {
        int w, h;
        const char* format;
    };
    for (const Case& c : {Case{1920, 1080, "png"}, Case{1920, 1080, "jpg"}, Case{4000, 3000, "png"},
                          Case{4000, 3000, "jpg"}}) {
        const QString in = dir.filePath(
            QStringLiteral("pic-%1x%2.%3").arg(c.w).arg(c.h).arg(QLatin1String(c.format)));
        if (!photoLike(c.w, c.h).save(in, nullptr, 90)) {
            std::printf("cannot write %s\n", qPrintable(in));
            return 1;
        }
        const QString out = dir.filePath(QStringLiteral("out.txt"));
        const QString plainOut = dir.filePath(QStringLiteral("plain.txt"));
        qint64 plainBytes = 0;
        const Timing plain = best(runs, [&] { plainBytes = plainLoop(in, plainOut); });
        const Timing inProcess = best(runs, [&] {
            failed |= cli::run({"picture", in, "-q", "-o", out}) != 0;
        });
        const bool same = QFileInfo(out).size() == plainBytes;
        const Timing proc = process(runs, {tool, "picture", in, "-q", "-o", out}, &failed);
        const Timing decode = process(1, {self, "--decode-only", in}, &failed);
        std::printf(
            "%-10s %-4s %6.3f (%6.3f) %6.3f (%6.3f) %6.3f (%6.3f) %7.2f %7.2f %9.1f %9.1f%s\n",
            qPrintable(QStringLiteral("%1x%2").arg(c.w).arg(c.h)), c.format, plain.wall, plain.cpu,
            inProcess.wall, inProcess.cpu, proc.wall, proc.cpu, inProcess.wall / plain.wall,
            inProcess.cpu / plain.cpu, double(proc.peakKb) / 1024,
            double(proc.peakKb - decode.peakKb) / 1024, same ? "" : "  (sizes differ!)");
    }
    std::printf(
        "ratio, cpu: tool in process / plain loop (wall clock, CPU time); peak: the tool's peak\n"
        "resident memory as a process; over: peak minus that of a process that only decodes.\n\n");

    std::printf("zentraq-cli library, fresh process, best of %d runs\n", runs);
    struct Library {
        const char* charset;
        const char* size;
        double limit;
    };
    for (const Library& l : {Library{"gb2312", "16x16", 0.5}, Library{"gbk", "32x32", 4.0}}) {
        const QString out = dir.filePath(QStringLiteral("lib.bin"));
        const Timing t = process(
            runs, {tool, "library", "--charset", l.charset, "--size", l.size, "-q", "-o", out},
            &failed);
        std::printf(
            "  %-7s %-6s %7.3f s wall, %7.3f s CPU, %9lld bytes, limit %.1f s%s\n", l.charset,
            l.size, t.wall, t.cpu, static_cast<long long>(QFileInfo(out).size()), l.limit,
            t.wall < l.limit ? "" : (t.cpu < l.limit ? "  (over in wall clock only)" : "  OVER"));
    }

    std::printf("\nzentraq-cli glyph --ascii, in process, best of %d runs:", runs);
    for (const char* size : {"12x12", "16x16", "32x32", "6x12", "8x16", "16x32"}) {
        const QString out = dir.filePath(QStringLiteral("glyphs.txt"));
        const Timing t = best(runs, [&] {
            failed |= cli::run({"glyph", "--size", size, "--ascii", "-q", "-o", out}) != 0;
        });
        std::printf(" %s %.4f s;", size, t.wall);
    }
    std::printf("\n");
    if (failed)
        std::printf("SOME RUNS FAILED\n");
    return failed ? 1 : 0;
}
