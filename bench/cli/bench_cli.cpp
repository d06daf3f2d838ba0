// How fast zentraq-cli converts pictures, decoding included, against the
// plain formatter loop (RGB565 of every pixel into data text in memory,
// nothing decoded, nothing written). Prints its figures.
//
//   bench_cli [runs]
#include "cli.h"
#include "formatter_loop.h"
#include "pictureloader.h"
#include "rgb565.h"
#include "surface.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QImage>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>
#include <vector>

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
            row[x] = qRgb((x * 255 / w + n) & 255, (y * 255 / h + n) & 255, ((x + y) * 127 / (w + h) + 2 * n) & 255);
        }
    }
    return image;
}

// Median seconds of `runs` runs of `work`.
double median(int runs, const std::function<void()>& work) {
    std::vector<double> t;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer timer;
        timer.start();
        work();
        t.push_back(static_cast<double>(timer.nsecsElapsed()) / 1e9);
    }
    std::sort(t.begin(), t.end());
    return t[t.size() / 2];
}

// The formatter loop alone: every pixel of an already decoded surface
// encoded and formatted into memory.
std::size_t plainLoop(const Surface& s, std::vector<char>& out) {
    return bench::formatterLoop(s, out);
}

int runTool(const QStringList& args) {
    return cli::run(args);
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    QTemporaryDir dir;
    if (!dir.isValid())
        return 1;

    struct Case {
        int w, h;
        const char* format;
        double limit;
    };
    const Case cases[] = {
        {1920, 1080, "png", 0.3},
        {1920, 1080, "jpg", 0.3},
        {4000, 3000, "png", 1.5},
        {4000, 3000, "jpg", 1.5},
    };

    std::printf("zentraq-cli picture conversion, median of %d runs, seconds\n", runs);
    std::printf("%-14s %-5s %8s %8s %8s %8s %8s %8s %7s %6s\n", "picture", "file", "decode", "loop", "tool -o",
                "to pipe", "process", "MB out", "ratio", "limit");
    bool allWithin = true;
    for (const Case& c : cases) {
        const QString in = dir.filePath(QStringLiteral("pic-%1x%2.%3").arg(c.w).arg(c.h).arg(QLatin1String(c.format)));
        if (!photoLike(c.w, c.h).save(in, nullptr, 90)) {
            std::printf("cannot write %s\n", qPrintable(in));
            return 1;
        }
        const QString out = dir.filePath(QStringLiteral("out.txt"));

        // Decoding and putting the picture on the surface, as the tool does.
        Surface surface(0, 0, rgbColour(255, 255, 255));
        const double decode = median(runs, [&] { surface.assign(rgbqumo::LoadPicture(in)); });

        std::vector<char> buffer;
        std::size_t produced = 0;
        const double loop = median(runs, [&] { produced = plainLoop(surface, buffer); });

        int failures = 0;
        const double tool = median(runs, [&] { failures += runTool({"picture", in, "-q", "-o", out}) != 0; });
        const qint64 written = QFileInfo(out).size();
        // A destination that is not a file (as standard output is): the data
        // is made in a scratch file and copied.
        const double piped = median(runs, [&] { failures += runTool({"picture", in, "-q", "-o", "/dev/null"}) != 0; });
        const double process = median(std::min(runs, 3), [&] {
            QProcess p;
            p.setStandardOutputFile(QProcess::nullDevice());
            p.start(QStringLiteral(ZENTRAQ_CLI), {"picture", in, "-q"});
            p.waitForFinished(-1);
            failures += p.exitCode() != 0;
        });

        if (failures || written != static_cast<qint64>(produced)) {
            std::printf("%dx%d %s: the tool failed or wrote %lld bytes instead of %zu\n", c.w, c.h, c.format,
                        static_cast<long long>(written), produced);
            return 1;
        }
        const double worst = std::max({tool, piped, process});
        const bool within = worst < c.limit;
        allWithin = allWithin && within;
        std::printf("%-14s %-5s %8.3f %8.3f %8.3f %8.3f %8.3f %8.1f %7.2f %5.1f%s\n",
                    qPrintable(QStringLiteral("%1x%2").arg(c.w).arg(c.h)), c.format, decode, loop, tool, piped,
                    process, static_cast<double>(written) / 1e6, tool / loop, c.limit, within ? "" : " OVER");
    }
    std::printf("decode: picture file to surface; loop: plain formatter loop in memory;\n"
                "tool -o: zentraq-cli picture IN -o OUT in process (decoding included);\n"
                "to pipe: the same with a destination that is not a file; process: the executable,\n"
                "output to /dev/null; ratio: tool -o / loop. Every figure of the tool %s its limit.\n",
                allWithin ? "is within" : "is NOT within");

    // Glyphs for comparison: the 95 ASCII characters at every size.
    const char* sizes[] = {"12x12", "16x16", "32x32", "6x12", "8x16", "16x32"};
    std::printf("\nzentraq-cli glyph --ascii, in process, median of %d runs:", runs);
    for (const char* size : sizes) {
        const QString out = dir.filePath(QStringLiteral("glyphs.txt"));
        const double t = median(runs, [&] { runTool({"glyph", "--size", size, "--ascii", "-q", "-o", out}); });
        std::printf(" %s %.4f s;", size, t);
    }
    std::printf("\n");
    return allWithin ? 0 : 2;
}
