// Fonts that stay in external flash (zentraq-cli font --format lvgl-flash):
//
//  - the time to make every GB2312 ideograph (6763) of AR PL SungtiL GB at
//    16 px and 4 bits a pixel as a flash image, beside the same font as
//    LVGL's binary font; target under 0.3 s;
//  - the RAM each font takes in LVGL, LVGL's binary font (lv_binfont_create,
//    v8 lv_font_load) against the flash runtime, both measured with LVGL's
//    own memory monitor in the host builds of the tests (the clients
//    flash_lvgl9_heap and flash_lvgl8_heap; the table is skipped, saying
//    why, without them);
//  - the reads while a label of 40 ideographs is drawn, without a cache and
//    with one of 64 glyphs.
//
//   bench_flash_font [RUNS]      best of RUNS runs of zentraq-cli (default 5)
#include "child_process.h"
#include "fontfaces.h"
#include "support/gb2312.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <cstdio>
#include <cstring>

namespace {

constexpr double TargetSeconds = 0.3;
const QString UMing = QStringLiteral("/usr/share/fonts/truetype/arphic/uming.ttc");

QString faceFile(const char* family) {
    const auto face = zentraq::text::installedFace(QString::fromUtf8(family),
                                                   zentraq::text::FacePreference::OwnNameFirst);
    return face ? face->file : QString();
}

QString ideographs(std::size_t count) {
    QString text;
    const std::vector<char32_t> all = zentraq::testing::gb2312Ideographs();
    for (std::size_t i = 0; i < all.size() && i < count; ++i)
        text += QString::fromUcs4(&all[i], 1);
    return text;
}

bool run(const QStringList& args, QByteArray* out = nullptr) {
    QProcess p;
    p.start(args.front(), args.mid(1));
    if (!p.waitForFinished(300000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0)
        return false;
    if (out)
        *out = p.readAllStandardOutput();
    return true;
}

} // namespace

int main(int argc, char* argv[]) {
    if (argc > 3 && std::strcmp(argv[1], "--measure") == 0)
        return bench::measureChild(argv[2], argv + 3);
    QCoreApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    const QString tool = QStringLiteral(ZENTRAQ_CLI);
    QTemporaryDir dir;
    if (!dir.isValid())
        return 1;
    const auto path = [&](const QString& name) { return dir.filePath(name); };
    const auto charset = [&](const QString& name, const QString& text) {
        QFile f(path(name));
        return f.open(QIODevice::WriteOnly) && f.write(text.toUtf8()) > 0 ? path(name) : QString();
    };
    const QString gb2312 = charset(QStringLiteral("gb2312.txt"), ideographs(6763));
    const QString first3000 = charset(QStringLiteral("gb2312_3000.txt"), ideographs(3000));
    const QString sungti = faceFile("AR PL SungtiL GB");
    const QString sans = faceFile("DejaVu Sans"), serif = faceFile("DejaVu Serif");
    bool failed = false, missed = false;

    std::printf("zentraq-cli font, GB2312's 6763 ideographs of AR PL SungtiL GB, 16 px, 4 bits a "
                "pixel;\nbest of %d runs, seconds of wall clock (CPU seconds), peak memory\n",
                runs);
    if (sungti.isEmpty()) {
        std::printf("  skipped: AR PL SungtiL GB is not installed\n");
    } else {
        for (const char* format : {"lvgl-flash", "lvgl-bin", "lvgl"}) {
            const bench::ProcessTiming t = bench::runProcess(
                runs, {tool, "font", "--font-file", sungti, "--size", "16", "--bpp", "4",
                       "--charset", gb2312, "--format", format, "-q", "-o", path("timed")});
            failed |= t.failed;
            std::printf("  %-12s %s\n", format,
                        t.failed ? "failed"
                                 : qPrintable(QStringLiteral("%1 s (%2) %3 MiB")
                                                  .arg(t.wall, 0, 'f', 3)
                                                  .arg(t.cpu, 0, 'f', 3)
                                                  .arg(double(t.peakKb) / 1024, 0, 'f', 1)));
            if (std::strcmp(format, "lvgl-flash") == 0) {
                const bool met = !t.failed && t.wall < TargetSeconds;
                missed |= !met;
                std::printf("  target: under %.1f s: %s\n", TargetSeconds, met ? "met" : "MISSED");
                if (!t.failed && t.wall > 1.5 * t.cpu)
                    std::printf(
                        "  (wall clock %.1f times the CPU time: the machine is busy; run it "
                        "again on a quiet one)\n",
                        t.wall / t.cpu);
            }
        }
    }

    struct Font {
        const char* title;
        QString file;
        QStringList args; // size, bits and characters
    };
    const QString latin = QStringLiteral("0x20-0x7E,0xA0-0xFF");
    const std::vector<Font> fonts{
        {"DejaVu Sans 16 px, Latin-1, 4 bits", sans, {"--size", "16", "--range", latin}},
        {"DejaVu Sans 24 px, Latin-1, 4 bits", sans, {"--size", "24", "--range", latin}},
        {"DejaVu Serif 16 px, Latin-1, kerned", serif, {"--size", "16", "--range", latin}},
        {"AR PL UMing 16 px, 3000 ideographs", UMing, {"--size", "16", "--charset", first3000}},
        {"AR PL SungtiL GB 16 px, GB2312 (6763)", sungti, {"--size", "16", "--charset", gb2312}},
        {"AR PL SungtiL GB 24 px, GB2312 (6763)", sungti, {"--size", "24", "--charset", gb2312}},
    };
    const std::pair<const char*, QString> clients[] = {{"9.5", QStringLiteral(CLIENT_V9)},
                                                       {"8.3", QStringLiteral(CLIENT_V8)}};
    for (const auto& [version, client] : clients) {
        std::printf("\nRAM a font takes in LVGL %s, by LVGL's memory monitor (bytes of its heap)\n",
                    version);
        if (client.isEmpty() || !QFileInfo::exists(client)) {
            std::printf("  skipped: the client flash_lvgl%c_heap is not built (the LVGL checks "
                        "need ../shared/reference)\n",
                        version[0]);
            continue;
        }
        std::printf("  %-40s %12s %10s %8s %14s\n", "font", "binary font", "flash", "ratio",
                    "flash+cache 16");
        for (const Font& f : fonts) {
            if (f.file.isEmpty()) {
                std::printf("  %-40s skipped: the face is not installed\n", f.title);
                continue;
            }
            const QStringList common =
                QStringList{tool, "font", "--font-file", f.file, "--bpp", "4", "-q"} + f.args;
            const QString bin = path("font.bin"), image = path("font.flash");
            QStringList binArgs = common + QStringList{"--format", "lvgl-bin", "-o", bin};
            if (version[0] == '8')
                binArgs << "--lvgl"
                        << "8";
            QByteArray plain, cached;
            if (!run(binArgs) ||
                !run(common + QStringList{"--format", "lvgl-flash", "-o", image}) ||
                !run({client, "ram", bin, image}, &plain) ||
                !run({client, "ram", bin, image, "--cache", "16"}, &cached)) {
                std::printf("  %-40s failed\n", f.title);
                failed = true;
                continue;
            }
            unsigned long binary = 0, flash = 0, binary2 = 0, withCache = 0;
            if (std::sscanf(plain.constData(), "binary %lu flash %lu", &binary, &flash) != 2 ||
                std::sscanf(cached.constData(), "binary %lu flash %lu", &binary2, &withCache) !=
                    2 ||
                flash == 0) {
                std::printf("  %-40s the client said: %s\n", f.title, plain.constData());
                failed = true;
                continue;
            }
            std::printf("  %-40s %12lu %10lu %7.0fx %14lu\n", f.title, binary, flash,
                        double(binary) / double(flash), withCache);
        }

        // Reads while 40 ideographs are drawn as one label.
        const QString image = path("uming.flash");
        if (run({tool, "font", "--font-file", UMing, "--size", "16", "--bpp", "4", "--charset",
                 first3000, "--format", "lvgl-flash", "-q", "-o", image})) {
            const QString label = ideographs(40);
            for (const char* cache : {"0", "64"}) {
                QByteArray out;
                if (!run({client, "reads", image, label, "--cache", cache}, &out))
                    continue;
                std::printf("\n  AR PL UMing 16 px, 40 ideographs as a label, cache %s:\n", cache);
                for (const QByteArray& line : out.split('\n'))
                    if (!line.isEmpty() && !line.startsWith("[Warn]")) // LVGL's own log
                        std::printf("    %s\n", line.constData());
            }
            std::printf("\n");
        }
    }
    if (failed)
        std::printf("a job failed\n");
    return failed || missed ? 1 : 0;
}
