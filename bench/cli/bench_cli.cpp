// How fast zentraq-cli converts, and how much memory it takes. Prints its
// figures and ratios; checks nothing, though it marks figures over their
// targets.
//
//   bench_cli [runs]
//
// Pictures: the default conversion (RGB565 data text into a file) against
// the plain loop, which decodes the picture with Qt, looks every pixel up in
// a table of the 65536 item texts and writes the text in 1 MiB blocks; the
// two run in turn, each into a file of a new name, and each keeps its best
// run (wall clock and CPU time separately, as the machine is shared); the
// tool's time over its existing output is printed beside them. Peak memory of the tool as a
// process against a process that only decodes the picture, for photos and
// for the other kinds of picture decoders give. Then every pixel format,
// dither mode, layout and fitting against the default conversion, and the
// default conversion against a NumPy script that does the same.
// Libraries: GB2312 at 16x16 and GBK at 32x32 as fresh processes.
#include "cli.h"
#include "hexbyte.h"
#include "photo_like.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QImageReader>
#include <QTemporaryDir>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <functional>
#include <vector>

#include <ctime>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace zentraq;

namespace {

// Targets: the default conversion against the plain loop, the other formats
// against the default conversion, and memory beyond the decoded picture.
constexpr double DefaultLimit = 1.25;
constexpr double FormatLimit = 1.5;
constexpr double OverLimitMiB = 16;

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

    void take(double w, double c) {
        wall = std::min(wall, w);
        cpu = std::min(cpu, c);
    }
};

// One run of `work` in this process, kept in `t` if it is the best so far.
void timeOnce(Timing& t, const std::function<void()>& work) {
    QElapsedTimer timer;
    const double cpu0 = cpuSeconds();
    timer.start();
    work();
    t.take(double(timer.nsecsElapsed()) / 1e9, cpuSeconds() - cpu0);
}

// `a` and `b` run in turn `runs` times, so that both meet the same load.
// `beforeA` and `beforeB`, when given, run untimed before each run of `a`
// and of `b`.
std::pair<Timing, Timing> inTurn(int runs, const std::function<void()>& a,
                                 const std::function<void()>& b,
                                 const std::function<void()>& beforeA = {},
                                 const std::function<void()>& beforeB = {}) {
    Timing ta, tb;
    for (int i = 0; i < runs; ++i) {
        if (beforeA)
            beforeA();
        timeOnce(ta, a);
        if (beforeB)
            beforeB();
        timeOnce(tb, b);
    }
    return {ta, tb};
}

// Runs argv[0] with its arguments as a child and writes its wall clock and
// CPU seconds, peak resident memory (KiB) and exit status into `result`.
// This runs in a small process of its own (bench_cli --measure): a child
// forked from the benchmark itself would start with the benchmark's own
// memory counted as its peak.
int measure(const char* result, char* const* argv) {
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

// The best of `runs` runs of a program as a fresh process, with its peak
// resident memory; standard output and standard error go to /dev/null.
// `failed` is set when a run does not end with exit status 0.
Timing process(int runs, const QStringList& args, bool* failed) {
    static const QByteArray self = QFile::encodeName(QCoreApplication::applicationFilePath());
    static const QByteArray result = QFile::encodeName(QDir::temp().filePath(
        QStringLiteral("bench_cli-measure-%1").arg(QCoreApplication::applicationPid())));
    Timing t;
    for (int i = 0; i < runs; ++i) {
        std::vector<QByteArray> bytes{self, "--measure", result};
        for (const QString& a : args)
            bytes.push_back(QFile::encodeName(a));
        std::vector<char*> argv;
        for (QByteArray& b : bytes)
            argv.push_back(b.data());
        argv.push_back(nullptr);
        std::fflush(stdout); // the child must not write this process's buffer again
        const pid_t pid = fork();
        if (pid == 0) {
            if (FILE* null = std::freopen("/dev/null", "w", stdout); !null)
                _exit(127);
            if (FILE* null = std::freopen("/dev/null", "w", stderr); !null)
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
        if (exitCode != 0)
            *failed = true;
        t.take(wall, cpu);
        t.peakKb = std::max(t.peakKb, peakKb);
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
    // On the disk, as the tool's result is before it takes OUT's name.
    ::fsync(file.handle());
    return written;
}

const char* mark(bool over) {
    return over ? " OVER" : "";
}

QByteArray fileBytes(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
}

struct Picture {
    int w, h;
    const char* format;
    QString path;
    long decodeKb = 0; // peak of a process that only decodes it
};

} // namespace

int main(int argc, char* argv[]) {
    if (argc > 3 && std::strcmp(argv[1], "--measure") == 0)
        return measure(argv[2], argv + 3);
    // The reference process of the memory figure: decode only.
    if (argc == 3 && std::strcmp(argv[1], "--decode-only") == 0) {
        QImage image;
        return QImageReader(QString::fromLocal8Bit(argv[2])).read(&image) ? 0 : 1;
    }
    QCoreApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    const QString self = QCoreApplication::applicationFilePath();
    const QString tool = QStringLiteral(ZENTRAQ_CLI);
    QTemporaryDir dir;
    if (!dir.isValid())
        return 1;
    bool failed = false;
    const QString out = dir.filePath(QStringLiteral("out.txt"));

    std::vector<Picture> pictures{{1920, 1080, "png", {}},
                                  {1920, 1080, "jpg", {}},
                                  {4000, 3000, "png", {}},
                                  {4000, 3000, "jpg", {}}};
    for (Picture& p : pictures) {
        p.path = dir.filePath(
            QStringLiteral("pic-%1x%2.%3").arg(p.w).arg(p.h).arg(QLatin1String(p.format)));
        if (!bench::photoLike(p.w, p.h).save(p.path, nullptr, 90)) {
            std::printf("cannot write %s\n", qPrintable(p.path));
            return 1;
        }
        p.decodeKb = process(1, {self, "--decode-only", p.path}, &failed).peakKb;
    }

    std::printf(
        "1. zentraq-cli picture IN -o OUT (the default: RGB565 data text) against the plain "
        "loop,\n   in turn, best of %d runs each; seconds of wall clock (CPU time)\n",
        runs);
    std::printf("%-10s %-4s %15s %15s %15s %15s %6s %6s %8s %8s %8s\n", "picture", "file",
                "plain loop", "tool in-proc", "tool replacing", "tool process", "wall", "cpu",
                "peak", "decode", "over");
    std::vector<Timing> defaults;
    for (const Picture& p : pictures) {
        const QString plainOut = dir.filePath(QStringLiteral("plain.txt"));
        const QString fresh = dir.filePath(QStringLiteral("fresh.txt"));
        qint64 plainBytes = 0;
        // Both write a file of a new name and sync it to the disk: the
        // conversions alone, without what the file system does when a file
        // is replaced.
        const auto [plain, inProcess] = inTurn(
            runs, [&] { plainBytes = plainLoop(p.path, plainOut); },
            [&] {
                failed |= cli::run({"picture", p.path, "-q", "-o", fresh}) != 0;
            },
            [&] { QFile::remove(plainOut); }, [&] { QFile::remove(fresh); });
        const bool same = fileBytes(fresh) == fileBytes(plainOut);
        // The tool over an existing output, as a user's second run: the new
        // file, synced, is renamed over the old one.
        Timing replacing;
        QFile::remove(out);
        failed |= cli::run({"picture", p.path, "-q", "-o", out}) != 0;
        for (int i = 0; i < runs; ++i)
            timeOnce(replacing, [&] {
                failed |= cli::run({"picture", p.path, "-q", "-o", out}) != 0;
            });
        const Timing proc = process(runs, {tool, "picture", p.path, "-q", "-o", out}, &failed);
        defaults.push_back(proc);
        const double wallRatio = inProcess.wall / plain.wall;
        const double cpuRatio = inProcess.cpu / plain.cpu;
        const double overMiB = double(proc.peakKb - p.decodeKb) / 1024;
        std::printf("%-10s %-4s %6.3f (%6.3f) %6.3f (%6.3f) %6.3f (%6.3f) %6.3f (%6.3f) %6.2f "
                    "%6.2f %8.1f %8.1f %8.1f%s%s%s\n",
                    qPrintable(QStringLiteral("%1x%2").arg(p.w).arg(p.h)), p.format, plain.wall,
                    plain.cpu, inProcess.wall, inProcess.cpu, replacing.wall, replacing.cpu,
                    proc.wall, proc.cpu, wallRatio, cpuRatio, double(proc.peakKb) / 1024,
                    double(p.decodeKb) / 1024, overMiB,
                    mark(std::min(wallRatio, cpuRatio) > DefaultLimit),
                    mark(overMiB > OverLimitMiB), same ? "" : "  (outputs differ!)");
        (void)plainBytes;
    }
    std::printf(
        "wall, cpu: tool in process / plain loop, both writing and syncing a new file (target "
        "%.2f); tool replacing:\nthe tool in process over its existing output; tool "
        "process: the same as a fresh process.\npeak: the tool's peak resident memory "
        "as a process, MiB; decode: that of a process that only\ndecodes "
        "the picture; over: the difference (target %.0f MiB).\nA decoded 4000x3000 picture "
        "is %.1f MiB, 1920x1080 %.1f MiB.\n\n",
        DefaultLimit, OverLimitMiB, 4000.0 * 3000 * 4 / (1 << 20), 1920.0 * 1080 * 4 / (1 << 20));

    // Memory on the other kinds of picture a decoder gives: each read where
    // it is, whatever the options (the 16-bit picture composited into its
    // own memory when it has to be turned or resized).
    {
        const QImage photo = bench::photoLike(4000, 3000);
        QImage alpha = photo.convertToFormat(QImage::Format_ARGB32);
        for (int y = 0; y < alpha.height(); ++y) {
            auto* row = reinterpret_cast<QRgb*>(alpha.scanLine(y));
            for (int x = 0; x < alpha.width(); ++x)
                row[x] = (row[x] & 0xFFFFFF) | uint(x * 255 / alpha.width()) << 24;
        }
        struct Kind {
            const char* label;
            QImage picture;
            const char* file;
        };
        const Kind kinds[] = {
            {"grey JPEG", photo.convertToFormat(QImage::Format_Grayscale8), "grey.jpg"},
            {"indexed PNG", photo.convertToFormat(QImage::Format_Indexed8), "indexed.png"},
            {"transparent PNG", alpha, "alpha.png"},
            {"16-bit PNG", alpha.convertToFormat(QImage::Format_RGBA64), "deep.png"},
        };
        const QStringList options[] = {
            {},
            {"--rotate", "90"},
            {"--resize", "2000x1500", "--pixel", "mono", "--dither", "floyd-steinberg", "--scan",
             "page"},
            {"--resize", "8000x6000", "--pixel", "gray4", "--scan", "column"},
        };
        std::printf("1b. Peak memory of one run as a process, MiB over a process that only decodes "
                    "(target %.0f),\n4000x3000 pictures:\n",
                    OverLimitMiB);
        std::printf("%-16s %9s %9s %9s %9s %9s\n", "picture", "decode", "default", "rotate 90",
                    "mono page", "gray4 col");
        for (const Kind& k : kinds) {
            const QString in = dir.filePath(QLatin1String(k.file));
            if (!k.picture.save(in, nullptr, 90)) {
                std::printf("cannot write %s\n", qPrintable(in));
                return 1;
            }
            const long decodeKb = process(1, {self, "--decode-only", in}, &failed).peakKb;
            std::printf("%-16s %9.1f", k.label, double(decodeKb) / 1024);
            for (const QStringList& o : options) {
                const Timing t =
                    process(1, QStringList{tool, "picture", in, "-q", "-o", out} + o, &failed);
                const double overMiB = double(t.peakKb - decodeKb) / 1024;
                std::printf(" %9.1f%s", overMiB, overMiB > OverLimitMiB ? "!" : "");
            }
            std::printf("\n");
        }
        std::printf("decode: peak of decoding only, MiB; the others: peak minus that, MiB (! over "
                    "the target); mono page:\n--resize 2000x1500 --pixel mono --dither "
                    "floyd-steinberg --scan page; gray4 col: --resize 8000x6000\n--pixel gray4 "
                    "--scan column (a 24 MB frame, packed in 3 passes)\n\n");
    }

    // Every format and option against the default, on the large photo.
    struct Variant {
        const char* label;
        QStringList args;
        bool format; // a pixel format in its plain form: held to FormatLimit
    };
    const std::vector<Variant> variants{
        {"rgb565 high-first", {"--byte-order", "high-first"}, true},
        {"bgr565", {"--pixel", "bgr565"}, true},
        {"rgb888", {"--pixel", "rgb888"}, true},
        {"bgr888", {"--pixel", "bgr888"}, true},
        {"rgb666", {"--pixel", "rgb666"}, true},
        {"rgb332", {"--pixel", "rgb332"}, true},
        {"gray8", {"--pixel", "gray8"}, true},
        {"gray4", {"--pixel", "gray4"}, true},
        {"gray2", {"--pixel", "gray2"}, true},
        {"mono", {"--pixel", "mono"}, true},
        {"rgb565 floyd-steinberg", {"--dither", "floyd-steinberg"}, false},
        {"rgb565 bayer4", {"--dither", "bayer4"}, false},
        {"rgb332 floyd-steinberg", {"--pixel", "rgb332", "--dither", "floyd-steinberg"}, false},
        {"gray4 floyd-steinberg", {"--pixel", "gray4", "--dither", "floyd-steinberg"}, false},
        {"mono floyd-steinberg page",
         {"--pixel", "mono", "--dither", "floyd-steinberg", "--scan", "page"},
         false},
        {"mono bayer4 band msb",
         {"--pixel", "mono", "--dither", "bayer4", "--scan", "band", "--msb-first"},
         false},
        {"gray4 column", {"--pixel", "gray4", "--scan", "column"}, false},
        {"gray2 column pad", {"--pixel", "gray2", "--scan", "column", "--pad"}, false},
        {"rgb565 C array", {"--format", "c"}, false},
        {"rgb565 binary", {"--binary"}, false},
        {"rotate 90", {"--rotate", "90"}, false},
        {"rotate 180 flip", {"--rotate", "180", "--flip", "horizontal"}, false},
        {"resize 240x240", {"--resize", "240x240"}, false},
        {"resize 1920x1080 cover", {"--resize", "1920x1080", "--fit", "cover"}, false},
        {"resize 6000x4500", {"--resize", "6000x4500"}, false},
    };
    for (const Picture* p : {&pictures[3], &pictures[2]}) {
        std::printf("2. Other formats and options against the default conversion: %dx%d %s, in "
                    "turn, best of\n   %d runs each, in process; peak memory of one run as a "
                    "process\n",
                    p->w, p->h, p->format, runs);
        std::printf("%-26s %15s %15s %6s %6s %8s %8s\n", "options", "default", "these", "wall",
                    "cpu", "peak", "over");
        for (const Variant& v : variants) {
            const auto [plain, these] = inTurn(
                runs,
                [&] {
                    failed |= cli::run({"picture", p->path, "-q", "-o", out}) != 0;
                },
                [&] {
                    failed |=
                        cli::run(QStringList{"picture", p->path, "-q", "-o", out} + v.args) != 0;
                });
            const Timing proc = process(
                1, QStringList{tool, "picture", p->path, "-q", "-o", out} + v.args, &failed);
            const double wallRatio = these.wall / plain.wall;
            const double cpuRatio = these.cpu / plain.cpu;
            const double overMiB = double(proc.peakKb - p->decodeKb) / 1024;
            std::printf("%-26s %6.3f (%6.3f) %6.3f (%6.3f) %6.2f %6.2f %8.1f %8.1f%s%s\n", v.label,
                        plain.wall, plain.cpu, these.wall, these.cpu, wallRatio, cpuRatio,
                        double(proc.peakKb) / 1024, overMiB,
                        mark(v.format && std::min(wallRatio, cpuRatio) > FormatLimit),
                        mark(overMiB > OverLimitMiB));
        }
        std::printf("wall, cpu: these options / the default (target %.1f for the plain formats); "
                    "over: peak minus a\nprocess that only decodes (target %.0f MiB)\n\n",
                    FormatLimit, OverLimitMiB);
    }

    std::printf("3. The default conversion against a NumPy script (bench/cli/numpy_rgb565.py), "
                "both as\n   processes, best of %d runs\n",
                runs);
    bool noNumpy = false;
    process(1, {"/usr/bin/python3", "-c", "import numpy, PIL"}, &noNumpy);
    if (noNumpy) {
        std::printf("   skipped: /usr/bin/python3 cannot import numpy and PIL (Debian packages "
                    "python3-numpy, python3-pil)\n\n");
    } else {
        const QString numpyOut = dir.filePath(QStringLiteral("numpy.txt"));
        for (std::size_t i = 0; i < pictures.size(); ++i) {
            const Picture& p = pictures[i];
            bool numpyFailed = false;
            const Timing numpy =
                process(runs, {"/usr/bin/python3", NUMPY_SCRIPT, p.path, numpyOut}, &numpyFailed);
            process(1, {tool, "picture", p.path, "-q", "-o", out}, &failed);
            const bool same = fileBytes(out) == fileBytes(numpyOut);
            std::printf("   %-10s %-4s numpy %6.3f s (%6.3f CPU), peak %6.1f MiB; tool %6.3f s "
                        "(%6.3f CPU), peak %6.1f MiB; numpy / tool %5.2f wall, %5.2f CPU%s\n",
                        qPrintable(QStringLiteral("%1x%2").arg(p.w).arg(p.h)), p.format, numpy.wall,
                        numpy.cpu, double(numpy.peakKb) / 1024, defaults[i].wall, defaults[i].cpu,
                        double(defaults[i].peakKb) / 1024, numpy.wall / defaults[i].wall,
                        numpy.cpu / defaults[i].cpu,
                        numpyFailed ? "  (the script failed)"
                                    : (same ? "  (same bytes)" : "  (bytes differ)"));
        }
        std::printf("\n");
    }

    std::printf("4. zentraq-cli library, fresh process, best of %d runs\n", runs);
    struct Library {
        const char* charset;
        const char* size;
        double limit;
    };
    for (const Library& l : {Library{"gb2312", "16x16", 0.5}, Library{"gbk", "32x32", 4.0}}) {
        const QString lib = dir.filePath(QStringLiteral("lib.bin"));
        const Timing t = process(
            runs, {tool, "library", "--charset", l.charset, "--size", l.size, "-q", "-o", lib},
            &failed);
        std::printf(
            "  %-7s %-6s %7.3f s wall, %7.3f s CPU, %9lld bytes, limit %.1f s%s\n", l.charset,
            l.size, t.wall, t.cpu, static_cast<long long>(QFileInfo(lib).size()), l.limit,
            t.wall < l.limit ? "" : (t.cpu < l.limit ? "  (over in wall clock only)" : "  OVER"));
    }

    std::printf("\n5. zentraq-cli glyph --ascii, in process, best of %d runs:", runs);
    for (const char* size : {"12x12", "16x16", "32x32", "6x12", "8x16", "16x32"}) {
        const QString glyphs = dir.filePath(QStringLiteral("glyphs.txt"));
        Timing t;
        for (int i = 0; i < runs; ++i)
            timeOnce(t, [&] {
                failed |= cli::run({"glyph", "--size", size, "--ascii", "-q", "-o", glyphs}) != 0;
            });
        std::printf(" %s %.4f s;", size, t.wall);
    }
    std::printf("\n");
    if (failed)
        std::printf("SOME RUNS FAILED\n");
    return failed ? 1 : 0;
}
