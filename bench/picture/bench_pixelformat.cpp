// Speed of the row quantiser for every pixel format and dither mode, and of
// fitting pictures to a display, on photograph-like pictures already in
// memory. Quantiser figures are printed as megapixels per second, as the
// time relative to the default (rgb565, no dithering) and relative to the
// plain formatter loop (RGB565 items of every pixel into data text), which
// is about what the default conversion costs beyond decoding: the last
// column is roughly what a format or dither mode adds to a conversion.
//
// Run: bench_pixelformat [runs]   (prints figures, checks nothing)

#include "formatter_loop.h"
#include "photo_like.h"
#include "pixelformat.h"
#include "surface.h"
#include "transform.h"

#include <QElapsedTimer>
#include <QImage>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <vector>

using namespace zentraq;
using namespace zentraq::rgbqumo;

namespace {

// Best of `runs` runs, in seconds: the run least disturbed by other work on
// a shared machine.
double best(int runs, const std::function<void()>& work) {
    double t = 1e9;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer timer;
        timer.start();
        work();
        t = std::min(t, double(timer.nsecsElapsed()) / 1e9);
    }
    return t;
}

std::uint64_t quantise(const QImage& picture, PixelFormat f, DitherMode d,
                       std::vector<std::uint32_t>& samples) {
    RowQuantiser q(f, d, picture.width());
    std::uint64_t check = 0;
    for (int y = 0; y < picture.height(); ++y) {
        q.encodeRow(reinterpret_cast<const QRgb*>(picture.constScanLine(y)), picture.width(),
                    samples.data());
        check += samples[std::size_t(y) % samples.size()];
    }
    return check;
}

} // namespace

int main(int argc, char* argv[]) {
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    std::printf("best of %d runs; vs rgb565 = time / time of rgb565 without dithering;"
                " vs formatter = time / time of the formatter loop\n",
                runs);

    for (const QSize size : {QSize(1920, 1080), QSize(4000, 3000)}) {
        const QImage picture = bench::photoLike(size.width(), size.height());
        const double pixels = double(size.width()) * size.height();
        std::vector<std::uint32_t> samples(std::size_t(size.width()));
        std::uint64_t check = 0;

        Surface surface;
        surface.assign(picture);
        std::vector<char> text;
        const double formatter = best(runs, [&] { check += bench::formatterLoop(surface, text); });
        std::printf("\n%dx%d  formatter loop (rgb565 items into text): %.4f s, %.1f Mpx/s\n",
                    size.width(), size.height(), formatter, pixels / formatter / 1e6);

        const double base = best(runs, [&] {
            check += quantise(picture, PixelFormat::Rgb565, DitherMode::None, samples);
        });
        std::printf("%-8s %-16s %9s %9s %10s %13s\n", "format", "dither", "s", "Mpx/s", "vs rgb565",
                    "vs formatter");
        for (const QString& name : pixelFormatNames()) {
            const PixelFormat f = *parsePixelFormat(name);
            for (const QString& dname : ditherModeNames()) {
                const DitherMode d = *parseDitherMode(dname);
                if (d != DitherMode::None && !acceptsDither(f))
                    continue;
                const bool isBase = f == PixelFormat::Rgb565 && d == DitherMode::None;
                const double t =
                    isBase ? base : best(runs, [&] { check += quantise(picture, f, d, samples); });
                std::printf("%-8s %-16s %9.4f %9.1f %10.2f %13.2f\n", qPrintable(name),
                            qPrintable(dname), t, pixels / t / 1e6, t / base, t / formatter);
            }
        }

        std::printf("fitting (Mpx/s of the source picture)\n");
        struct Case {
            const char* name;
            Fitting fitting;
        };
        std::vector<Case> cases(5);
        cases[0].name = "rotate 90";
        cases[0].fitting.rotation = Rotation::Clockwise90;
        cases[1].name = "flip horizontal";
        cases[1].fitting.flipHorizontal = true;
        cases[2].name = "contain 240x240";
        cases[2].fitting.resize = QSize(240, 240);
        cases[3].name = "cover 128x64";
        cases[3].fitting.resize = QSize(128, 64);
        cases[3].fitting.fit = Fit::Cover;
        cases[4].name = "stretch x1.5";
        cases[4].fitting.resize = size * 3 / 2;
        cases[4].fitting.fit = Fit::Stretch;
        for (const Case& c : cases) {
            const double t = best(runs, [&] {
                FittedRows rows(picture, c.fitting);
                std::vector<QRgb> row(std::size_t(rows.width()));
                while (rows.readRow(row.data()))
                    check += row[0];
            });
            std::printf("  %-18s %9.4f s %9.1f Mpx/s\n", c.name, t, pixels / t / 1e6);
        }
        if (check == 0)
            std::printf("(nothing computed)\n");
    }
    return 0;
}
