// Speed of the picture conversion: the window's "生成取模数据" path, event
// pumping included, on a 320x240 and a 1920x1080 picture, next to a plain
// loop that only encodes and formats the same pixels in memory.
//
// Run: bench_picture [-platform offscreen]   (prints figures, checks nothing)

#include "formatter_loop.h"
#include "mainwindow.h"
#include "picturebox.h"
#include "pictureconvert.h"
#include "qt_services.h"
#include "rgb565.h"
#include "services.h"
#include "webview.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

using namespace zentraq;

namespace {

struct QuietBoxes : platform::MessageBoxes {
    QStringList shown;
    void show(const QString& text) override { shown << text; }
};
struct NoDialog : platform::FileOpenDialog {
    std::optional<QString> open(const QString&) override { return std::nullopt; }
};
struct NoClipboard : platform::Clipboard {
    bool setText(const QString&, QString*) override { return true; }
};
struct NoDownloader : platform::Downloader {
    Result download(const QUrl&, const QString&) override { return {false, "offline"}; }
};
struct NoShell : platform::DesktopShell {
    bool openFile(const QString&, QString*) override { return true; }
    bool openUrl(const QUrl&, QString*) override { return true; }
};
struct NoExit : platform::ProgramExit {
    void endNow() override {}
};
// The real pump, counted.
struct CountingPump : platform::QtEventPump {
    long long calls = 0;
    void pump() override {
        ++calls;
        QtEventPump::pump();
    }
};

QImage photoLike(int w, int h) {
    QImage img(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y) {
        auto* line = reinterpret_cast<QRgb*>(img.scanLine(y));
        for (int x = 0; x < w; ++x)
            line[x] = qRgb((x * 255) / w, (y * 255) / h, (x ^ y) & 255);
    }
    return img;
}

// Encode and format every pixel into memory: the least any conversion does.
double plainLoopSeconds(const Surface& s, std::size_t* checksum) {
    // Allocated before the clock starts, as a conversion writes into a file.
    std::vector<char> out(std::size_t(s.width()) * s.height() * 12 + 64);
    QElapsedTimer t;
    t.start();
    const std::size_t n = bench::formatterLoop(s, out);
    const double seconds = double(t.nsecsElapsed()) / 1e9;
    *checksum = n + std::size_t(out[out.size() / 2]);
    return seconds;
}

} // namespace

int main(int argc, char* argv[]) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    // The home page's browser engine cannot start here (no display, root);
    // the plain view stands in for it.
    WebView::setEngineEnabled(false);

    QTemporaryDir folder;
    QuietBoxes boxes;
    NoDialog dialog;
    NoClipboard clipboard;
    NoDownloader downloader;
    NoShell shell;
    CountingPump pump;
    NoExit exit;
    platform::Services services{boxes, dialog, clipboard, downloader,
                                shell, pump,   exit,      folder.path()};
    zentraq::main window(services);
    window.Timer1->stop(); // no version check in the middle of the figures
    window.show();
    window.Command15_Click(); // the data-generation page is on screen
    QApplication::processEvents();
    auto* preview = window.findChild<PictureBox*>(QStringLiteral("Picturelin"));
    if (!preview) {
        std::printf("no picture box Picturelin in the window\n");
        return 1;
    }

    // Best of a few runs each: the machine is shared, and the best run is the
    // one least disturbed by others.
    constexpr int Runs = 5;
    std::printf("best of %d runs; ratio = window speed / plain loop speed\n", Runs);
    std::printf("%-10s %9s %10s %13s %13s %7s %6s\n", "picture", "pixels", "window s",
                "window px/s", "plain px/s", "ratio", "pumps");
    for (const QSize size : {QSize(320, 240), QSize(1920, 1080)}) {
        const QImage img = photoLike(size.width(), size.height());
        preview->setPicture(img);
        QApplication::processEvents();

        double windowSeconds = 1e9;
        long long pumps = 0;
        for (int run = 0; run < Runs; ++run) {
            pump.calls = 0;
            QElapsedTimer t;
            t.start();
            window.Command12_Click();
            const double seconds = double(t.nsecsElapsed()) / 1e9;
            if (seconds < windowSeconds) {
                windowSeconds = seconds;
                pumps = pump.calls;
            }
        }

        const double pixels = double(size.width()) * size.height();
        const qint64 fileSize = QFile(rgbqumo::DataFilePath(folder.path())).size();
        const qint64 expectedSize = qint64(pixels) * 10 + qint64(pixels) / 8 * 2;
        if (fileSize != expectedSize || boxes.shown.isEmpty())
            std::printf("  conversion did not complete: file %lld bytes, expected %lld\n", fileSize,
                        expectedSize);

        std::size_t checksum = 0;
        double plainSeconds = 1e9;
        for (int run = 0; run < Runs; ++run)
            plainSeconds = std::min(plainSeconds, plainLoopSeconds(preview->surface(), &checksum));

        char label[32];
        std::snprintf(label, sizeof label, "%dx%d", size.width(), size.height());
        std::printf("%-10s %9.0f %10.4f %13.0f %13.0f %7.2f %6lld\n", label, pixels, windowSeconds,
                    pixels / windowSeconds, pixels / plainSeconds, plainSeconds / windowSeconds,
                    pumps);
        if (checksum == 0)
            std::printf("  (empty)\n");
    }

    // For comparison: the event loop entered after every single pixel.
    {
        const QImage img = photoLike(320, 240);
        Surface s(0, 0, rgbColour(255, 255, 255));
        s.assign(img);
        rgbqumo::ConversionHooks hooks;
        long long calls = 0;
        hooks.pump = [&] {
            ++calls;
            QApplication::processEvents();
        };
        QElapsedTimer t;
        t.start();
        rgbqumo::ConvertPictureData(s, 320, 240, rgbqumo::DataFilePath(folder.path()), hooks);
        const double seconds = double(t.nsecsElapsed()) / 1e9;
        std::printf("\nevent loop after every pixel, 320x240: %.4f s, %.0f px/s, %.2f us per pump;"
                    " 1920x1080 would take about %.1f s\n",
                    seconds, 76800 / seconds, seconds / double(calls) * 1e6,
                    seconds / 76800 * 1920 * 1080);
    }
    return 0;
}
