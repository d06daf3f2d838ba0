// How fast zentraq-cli makes LVGL images, against LVGL's own converter,
// LVGLImage.py (from the LVGL 9.5.0 archive, run with Debian's python3-png
// and python3-lz4; its indexed formats call pngquant): an 800x480 picture with
// alpha as rgb565a8 and as i8 LVGL C, each tool as a process of its own,
// best of N runs (wall clock), and the ratio.
//
// Run: bench_lvgl [runs]   (prints figures, checks nothing)

#include "photo_like.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>

namespace {

// Best wall-clock time of `runs` runs of a program; negative when it fails.
double best(int runs, const QString& program, const QStringList& args) {
    double t = 1e9;
    for (int i = 0; i < runs; ++i) {
        QProcess p;
        QElapsedTimer timer;
        timer.start();
        p.start(program, args);
        if (!p.waitForFinished(600000) || p.exitStatus() != QProcess::NormalExit ||
            p.exitCode() != 0) {
            std::printf("%s failed: %s\n", qPrintable(program),
                        p.readAllStandardError().left(300).constData());
            return -1;
        }
        t = std::min(t, double(timer.nsecsElapsed()) / 1e9);
    }
    return t;
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, QString::fromLocal8Bit(argv[1]).toInt()) : 3;
    QTemporaryDir dir;
    // A photo-like picture whose alpha falls from the centre to the edges.
    QImage picture = zentraq::bench::photoLike(800, 480).convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < 480; ++y)
        for (int x = 0; x < 800; ++x) {
            const int d = std::abs(x - 400) / 2 + std::abs(y - 240);
            picture.setPixel(
                x, y, (picture.pixel(x, y) & 0xFFFFFF) | QRgb(std::clamp(400 - d, 0, 255)) << 24);
        }
    const QString png = dir.filePath(QStringLiteral("picture.png"));
    picture.save(png);
    std::printf("800x480 picture with alpha as LVGL 9 C; best of %d runs, wall clock\n", runs);
    if (!QFile::exists(QStringLiteral(LVGLIMAGE_PY)) || QString(LVGLIMAGE_MISSING).size() > 0)
        std::printf("LVGLImage.py not available: %s\n", LVGLIMAGE_MISSING);
    std::printf("%-10s %12s %14s %8s\n", "format", "zentraq-cli", "LVGLImage.py", "ratio");
    for (const char* cf : {"rgb565a8", "i8"}) {
        const double ours =
            best(runs, QStringLiteral(ZENTRAQ_CLI),
                 {QStringLiteral("picture"), png, QStringLiteral("--format"),
                  QStringLiteral("lvgl"), QStringLiteral("--cf"), QString::fromLatin1(cf),
                  QStringLiteral("--name"), QStringLiteral("img"), QStringLiteral("-q"),
                  QStringLiteral("-o"), dir.filePath(QStringLiteral("ours.c"))});
        double theirs = -1;
        if (QString(LVGLIMAGE_MISSING).isEmpty())
            theirs = best(runs, QStringLiteral(LVGLIMAGE_PYTHON),
                          {QStringLiteral(LVGLIMAGE_PY), QStringLiteral("--ofmt"),
                           QStringLiteral("C"), QStringLiteral("--cf"),
                           QString::fromLatin1(cf).toUpper(), QStringLiteral("--name"),
                           QStringLiteral("img"), QStringLiteral("-o"), dir.path(), png});
        std::printf("%-10s %11.3fs %13.3fs %8.1f\n", cf, ours, theirs,
                    ours > 0 && theirs > 0 ? theirs / ours : 0.0);
    }
    std::printf("ratio = LVGLImage.py's time / zentraq-cli's (above 1: zentraq-cli is faster)\n");
    return 0;
}
