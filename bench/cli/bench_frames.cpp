// Animated GIFs and colour e-paper panels with zentraq-cli, each a process
// of its own, best of N runs (wall clock and CPU time):
//  - a GIF of 100 frames of 240 x 240 (photo-like frames, every other one a
//    partial frame over the last, with transparency) as LVGL C, the frame
//    table for lv_animimg: target under 1 s;
//  - an 800 x 480 photo-like picture for a 7-colour panel, Floyd-Steinberg
//    over the panel's colours: target under 0.2 s; beside it without
//    dithering, with bayer4, and Pillow's quantize(palette=...) with its own
//    Floyd-Steinberg (Debian's python3-pil; the panel maker's own
//    conversion), when it is there.
//
// Run: bench_frames [runs]   (prints figures, checks nothing)

#include "animations.h"
#include "child_process.h"
#include "photo_like.h"

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>

#include <cstdio>

namespace {

// 100 frames of 240 x 240 in a 6 x 6 x 6 colour cube: even frames whole,
// odd ones a 120 x 120 square moving over the last, index 215 transparent.
QByteArray hundredFrames() {
    std::vector<QRgb> cube;
    for (int i = 0; i < 216; ++i)
        cube.push_back(qRgb(i / 36 * 51, i / 6 % 6 * 51, i % 6 * 51));
    const QImage photo = zentraq::bench::photoLike(480, 480);
    std::vector<zentraq::testing::GifFrameShape> frames(100);
    for (int k = 0; k < 100; ++k) {
        zentraq::testing::GifFrameShape& f = frames[std::size_t(k)];
        const bool whole = k % 2 == 0;
        f.w = f.h = whole ? 240 : 120;
        f.x = f.y = whole ? 0 : (k * 7) % 120;
        f.disposal = whole ? 1 : 3;
        f.transparent = whole ? -1 : 215;
        f.delay = 4;
        for (int y = 0; y < f.h; ++y)
            for (int x = 0; x < f.w; ++x) {
                const QRgb p = photo.pixel((x + k * 2) % 480, (y + k) % 480);
                const int i =
                    (qRed(p) + 25) / 51 * 36 + (qGreen(p) + 25) / 51 * 6 + (qBlue(p) + 25) / 51;
                f.indices.push_back(std::uint8_t(!whole && (x + y) % 7 == 0 ? 215 : i));
            }
    }
    return zentraq::testing::writeGif(240, 240, cube, 0, frames);
}

void show(const char* what, const bench::ProcessTiming& t, double target) {
    if (t.failed) {
        std::printf("%-44s failed\n", what);
        return;
    }
    std::printf("%-44s %8.3f s %8.3f s %8.1f MiB", what, t.wall, t.cpu, t.peakKb / 1024.0);
    if (target > 0)
        std::printf("   target %.1f s: %s", target, t.wall < target ? "met" : "MISSED");
    std::printf("\n");
}

} // namespace

int main(int argc, char* argv[]) {
    if (argc > 2 && QByteArray(argv[1]) == "--measure")
        return bench::measureChild(argv[2], argv + 3);
    QCoreApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, QString::fromLocal8Bit(argv[1]).toInt()) : 5;
    QTemporaryDir dir;
    const QString gif = dir.filePath(QStringLiteral("anim.gif"));
    QFile file(gif);
    if (!file.open(QIODevice::WriteOnly) || file.write(hundredFrames()) < 0)
        return 1;
    file.close();
    const QString photo = dir.filePath(QStringLiteral("photo.png"));
    zentraq::bench::photoLike(800, 480).save(photo);
    const QString cli = QStringLiteral(ZENTRAQ_CLI);
    const QString out = dir.filePath(QStringLiteral("out"));

    std::printf("best of %d runs, each a process: wall clock, CPU time, peak memory\n", runs);
    std::printf("GIF of 100 frames of 240x240 (%lld bytes) as an LVGL frame table:\n",
                static_cast<long long>(file.size()));
    for (const char* cf : {"rgb565", "argb8888", "rgb565a8", "i8"}) {
        const QByteArray what = QByteArray("  --format lvgl --cf ") + cf;
        show(what.constData(),
             bench::runProcess(runs, QStringList{cli, "picture", gif, "--frames", "all", "--format",
                                                 "lvgl", "--cf", QString::fromLatin1(cf), "--name",
                                                 "anim", "-q", "-o", out + ".c"}),
             QByteArray(cf) == "rgb565" ? 1.0 : 0);
    }
    show("  --format c (rgb565 data text in C)",
         bench::runProcess(runs, QStringList{cli, "picture", gif, "--frames", "all", "--format",
                                             "c", "-q", "-o", out + ".h"}),
         0);

    std::printf("800x480 photo-like picture for a 7-colour panel, packed 4-bit indices:\n");
    show("  --dither floyd-steinberg",
         bench::runProcess(runs,
                           QStringList{cli, "picture", photo, "--panel", "7color", "--dither",
                                       "floyd-steinberg", "--binary", "-q", "-o", out + ".bin"}),
         0.2);
    show("  --dither bayer4",
         bench::runProcess(runs, QStringList{cli, "picture", photo, "--panel", "7color", "--dither",
                                             "bayer4", "--binary", "-q", "-o", out + ".bin"}),
         0);
    show("  nearest colour",
         bench::runProcess(runs, QStringList{cli, "picture", photo, "--panel", "7color", "--binary",
                                             "-q", "-o", out + ".bin"}),
         0);
    const bench::ProcessTiming pillow = bench::runProcess(
        runs,
        {"/usr/bin/python3", "-c",
         "import sys\nfrom PIL import Image\np = Image.new('P', (1, 1))\n"
         "p.putpalette((0,0,0, 255,255,255, 0,255,0, 0,0,255, 255,0,0, 255,255,0, 255,128,0))\n"
         "Image.open(sys.argv[1]).convert('RGB').quantize(palette=p).save(sys.argv[2])\n",
         photo, out + ".png"});
    if (pillow.failed)
        std::printf("  Pillow not found (Debian python3-pil)\n");
    else
        show("  Pillow quantize, Floyd-Steinberg (Python)", pillow, 0);
    return 0;
}
