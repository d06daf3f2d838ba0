// Glyphs per second through the conversion's path: the ASCII fill and the
// 6763 GB2312 ideographs at 16*16 and 32*32. First with a fresh renderer
// (every glyph rendered by FreeType once), then again with its cache warm,
// then through the real window on screen: Text1 filled, the size button
// clicked, Text2 and Label1 filled and the window repainted ("win-cold" is the
// first use of the program's shared renderer at that size). Peak memory is
// printed after each part; last, a thousand different ideographs at 512 px
// through one canvas show what the glyph cache keeps of a long job.
#include "qumo.h"
#include "support/gb2312.h"

#ifdef ZENTRAQ_BENCH_WINDOW
#include "mainwindow.h"
#include "textbox.h"
#include "ui_main.h"
#include "webview.h"
#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#else
#include <QGuiApplication>
#endif

#include <QElapsedTimer>

#include <cstdio>
#include <sys/resource.h>

using namespace zentraq;

namespace {

struct Case {
    const char* name;
    QString text;
    const glyph::SizePreset* preset;
};

const glyph::SizePreset& preset(int w, int h) {
    for (const auto& p : glyph::SizePresets)
        if (p.width == w && p.height == h)
            return p;
    return glyph::SizePresets[0];
}

void report(const char* path, const Case& c, qsizetype glyphs, qint64 ns, qint64 bytes) {
    const double s = static_cast<double>(ns) / 1e9;
    std::printf("%-8s %-26s %2dx%-2d %6lld glyphs %9.1f ms %10.0f glyphs/s  (%lld bytes)\n", path,
                c.name, c.preset->width, c.preset->height, static_cast<long long>(glyphs), s * 1e3,
                static_cast<double>(glyphs) / s, static_cast<long long>(bytes));
}

#ifdef ZENTRAQ_BENCH_WINDOW
// The window with inert services: nothing here opens a box or a dialog.
struct InertServices : platform::MessageBoxes,
                       platform::FileOpenDialog,
                       platform::Clipboard,
                       platform::Downloader,
                       platform::DesktopShell,
                       platform::EventPump,
                       platform::ProgramExit {
    void show(const QString&) override {}
    std::optional<QString> open(const QString&) override { return std::nullopt; }
    bool setText(const QString&, QString*) override { return true; }
    Result download(const QUrl&, const QString&) override { return {}; }
    bool openFile(const QString&, QString*) override { return false; }
    bool openUrl(const QUrl&, QString*) override { return false; }
    void pump() override {}
    void endNow() override {}
};
#endif

// The process's peak resident memory so far, MiB.
double peakMiB() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return static_cast<double>(u.ru_maxrss) / 1024.0;
}

// Draws `count` different ideographs at `px` pixels, each once, through one
// renderer, as a font library job does.
void runManyCharacters(const text::FaceChain& faces, int count, int px) {
    text::TextRenderer renderer(faces);
    GlyphCanvas canvas(&renderer);
    canvas.setWidth(px);
    canvas.setHeight(px);
    canvas.setFontSize(static_cast<float>(px) * 3.0f / 4.0f);
    const double before = peakMiB();
    QElapsedTimer t;
    t.start();
    for (int i = 0; i < count; ++i) {
        canvas.clear();
        canvas.Print(char32_t(0x4E00 + i));
    }
    std::printf("%d different ideographs at %d px, one renderer: %.1f ms; peak memory %.1f -> "
                "%.1f MiB\n",
                count, px, static_cast<double>(t.nsecsElapsed()) / 1e6, before, peakMiB());
}

void runCore(const char* label, text::TextRenderer& renderer, const Case& c) {
    GlyphCanvas canvas(&renderer);
    glyph::prepareCanvas(canvas, c.preset->width, c.preset->height, c.preset->square);
    QElapsedTimer t;
    t.start();
    const glyph::GlyphData d = glyph::qumo(c.text, canvas, c.preset->width, c.preset->height);
    report(label, c, c.text.size(), t.nsecsElapsed(), d.byteCount);
}

} // namespace

int main(int argc, char** argv) {
#ifdef ZENTRAQ_BENCH_WINDOW
    QApplication app(argc, argv);
#else
    QGuiApplication app(argc, argv);
#endif
    QString ideographs;
    for (char32_t cp : testing::gb2312Ideographs())
        ideographs += QString::fromUcs4(&cp, 1);
    const Case cases[] = {
        {"ASCII fill (95)", glyph::printableAscii(), &preset(8, 16)},
        {"ASCII fill (95)", glyph::printableAscii(), &preset(16, 32)},
        {"GB2312 ideographs (6763)", ideographs, &preset(16, 16)},
        {"GB2312 ideographs (6763)", ideographs, &preset(32, 32)},
    };

    QElapsedTimer t;
    t.start();
    const text::FaceChain faces = text::resolveCanvasFaces();
    std::printf("face resolution (fontconfig, once per run): %.1f ms; canvas face %s\n",
                static_cast<double>(t.nsecsElapsed()) / 1e6, qPrintable(faces.primary.family));

    for (const Case& c : cases) {
        text::TextRenderer cold(faces);
        runCore("cold", cold, c);
        runCore("warm", cold, c);
    }
    std::printf("peak memory: %.1f MiB\n", peakMiB());

#ifdef ZENTRAQ_BENCH_WINDOW
    WebView::setEngineEnabled(false);
    for (const Case& c : cases) {
        // A fresh window each time; the program's renderer is shared, so the
        // first window with a size pays for rendering and later ones are warm.
        for (const char* label : {"win-cold", "win-warm"}) {
            InertServices inert;
            platform::Services services{inert, inert, inert, inert,
                                        inert, inert, inert, QDir::tempPath()};
            zentraq::main window(services);
            window.Timer1->stop(); // no version check in the middle of the figures
            auto& ui = window.controls();
            window.show();
            window.Command15_Click(); // the data page, so Text2 and Picture1 are on screen
            QCoreApplication::processEvents();
            ui.Text1->setText(c.text);
            QPushButton* button = c.preset->width == 8                              ? ui.Command8
                                  : c.preset->width == 16 && c.preset->height == 32 ? ui.Command9
                                  : c.preset->width == 16                           ? ui.Command5
                                                                                    : ui.Command6;
            QElapsedTimer w;
            w.start();
            button->click();
            QCoreApplication::processEvents(); // repainted with the new output
            const qint64 ns = w.nsecsElapsed();
            report(label, c, c.text.size(), ns, ui.Label1->text().mid(5).toLongLong());
        }
    }
    std::printf("peak memory: %.1f MiB\n", peakMiB());
#endif
    runManyCharacters(faces, 1000, 512);
    return 0;
}
