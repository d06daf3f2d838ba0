// zentraq-cli font against LVGL's own converter, lv_font_conv 1.5.3, on the
// same jobs: every GB2312 ideograph (6763) of AR PL SungtiL GB at 16 px and
// 4 bits a pixel as LVGL C source, DejaVu Sans' ASCII likewise, and a font of
// three face groups: the ideographs of AR PL UMing (face 0 of its collection;
// lv_font_conv, which refuses collections, takes AR PL SungtiL GB), DejaVu
// Sans' ASCII and 20 FontAwesome icons moved to U+E000. Each as a process,
// with its peak memory; lv_font_conv with its kerning scan and with
// --no-kerning, and how many times as long each takes. Last, --chars-from
// over every .c and .h of LVGL 9.5.0 (the reference archive), with
// --list-chars: the characters the sources show, target 0.5 s.
//
//   bench_font [RUNS]      best of RUNS runs of zentraq-cli (default 5)
//
// lv_font_conv is taken from $ZENTRAQ_LV_FONT_CONV, else from where the
// tests install it (the build folder's lvgl-reference/lv_font_conv), else
// from PATH; without it or without node, its columns say so.
#include "child_process.h"
#include "fontfaces.h"
#include "support/gb2312.h"

#include <QCoreApplication>
#include <QDirIterator>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <cstdio>
#include <cstring>

namespace {

// The targets of the GB2312 job and of the merged one.
constexpr double TargetMiB = 64;
const QString UMing = QStringLiteral("/usr/share/fonts/truetype/arphic/uming.ttc");
const QString Awesome = QStringLiteral("/usr/share/fonts/opentype/font-awesome/FontAwesome.otf");

QString lvFontConv() {
    const QString given = qEnvironmentVariable("ZENTRAQ_LV_FONT_CONV");
    if (!given.isEmpty())
        return given;
    const QString built = QStringLiteral(
        ZENTRAQ_BUILD_DIR "/lvgl-reference/lv_font_conv/node_modules/.bin/lv_font_conv");
    if (QFileInfo::exists(built))
        return built;
    return QStandardPaths::findExecutable(QStringLiteral("lv_font_conv"));
}

QString faceFile(const char* family) {
    const auto face = zentraq::text::installedFace(QString::fromUtf8(family),
                                                   zentraq::text::FacePreference::OwnNameFirst);
    return face ? face->file : QString();
}

QString figures(const bench::ProcessTiming& t) {
    if (t.failed)
        return QStringLiteral("failed");
    return QStringLiteral("%1 s (%2) %3 MiB")
        .arg(t.wall, 0, 'f', 3)
        .arg(t.cpu, 0, 'f', 3)
        .arg(double(t.peakKb) / 1024, 0, 'f', 1);
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

    QString ideographs;
    for (const char32_t cp : zentraq::testing::gb2312Ideographs())
        ideographs += QString::fromUcs4(&cp, 1);
    const QString sungtil = faceFile("AR PL SungtiL GB");
    const QString sans = faceFile("DejaVu Sans");
    struct Job {
        const char* title;
        QStringList files;  // the faces it needs
        QStringList ours;   // the faces and characters, as zentraq-cli takes them
        QStringList theirs; // as lv_font_conv takes them
        int theirRuns;      // runs of lv_font_conv with kerning (it is slow); 0: none
        double target;      // seconds; 0: none
    };
    const QString icons = QStringLiteral("0xF000-0xF013=>0xE000");
    const std::vector<Job> jobs{
        {"GB2312, 6763 ideographs of AR PL SungtiL GB",
         {sungtil},
         {"--font-file", sungtil, "--symbols", ideographs},
         {"--font", sungtil, "--symbols", ideographs},
         1,
         0.5},
        {"DejaVu Sans, ASCII",
         {sans},
         {"--font-file", sans, "--range", "0x20-0x7E"},
         {"--font", sans, "-r", "0x20-0x7E"},
         3,
         0},
        {"GB2312's ideographs of AR PL UMing (lv_font_conv: SungtiL) + ASCII of DejaVu Sans "
         "+ 20 FontAwesome icons",
         {UMing, sungtil, sans, Awesome},
         {"--font-file", UMing, "--symbols", ideographs, "--font-file", sans, "--range",
          "0x20-0x7E", "--font-file", Awesome, "--range", icons},
         {"--font", sungtil, "--symbols", ideographs, "--font", sans, "-r", "0x20-0x7E", "--font",
          Awesome, "-r", icons},
         1,
         0.3},
        {"the same with the ideographs of AR PL SungtiL GB, as lv_font_conv above",
         {sungtil, sans, Awesome},
         {"--font-file", sungtil, "--symbols", ideographs, "--font-file", sans, "--range",
          "0x20-0x7E", "--font-file", Awesome, "--range", icons},
         {},
         0,
         0},
    };

    const QString converter = lvFontConv();
    const QString node = QStandardPaths::findExecutable(QStringLiteral("node"));
    QString why;
    if (converter.isEmpty())
        why =
            QStringLiteral("lv_font_conv not found (build the tests, or set ZENTRAQ_LV_FONT_CONV)");
    else if (node.isEmpty())
        why = QStringLiteral("node not found (Debian nodejs)");

    std::printf(
        "zentraq-cli font against lv_font_conv 1.5.3: 16 px, 4 bits a pixel, LVGL C source.\n"
        "Each a process; seconds of wall clock (CPU seconds), peak resident memory;\n"
        "best of %d runs of zentraq-cli, of 3 of lv_font_conv --no-kerning, of the runs "
        "shown of lv_font_conv.\n\n",
        runs);
    bool missed = false, failed = false;
    for (const Job& job : jobs) {
        std::printf("%s\n", job.title);
        QStringList absent;
        for (const QString& file : job.files)
            if (file.isEmpty() || !QFileInfo::exists(file))
                absent << (file.isEmpty() ? QStringLiteral("a face") : file);
        if (!absent.isEmpty()) {
            std::printf("  skipped: %s not installed (scripts/install-deps.sh)\n\n",
                        qPrintable(absent.join(QStringLiteral(", "))));
            continue;
        }
        const QString out = dir.filePath(QStringLiteral("ours.c"));
        const bench::ProcessTiming ours =
            bench::runProcess(runs, QStringList{tool, "font", "--size", "16", "--bpp", "4",
                                                "--format", "lvgl", "-q", "-o", out} +
                                        job.ours);
        failed |= ours.failed;
        std::printf("  zentraq-cli                    %s\n", qPrintable(figures(ours)));
        if (job.target > 0) {
            const bool met =
                !ours.failed && ours.wall < job.target && double(ours.peakKb) / 1024 < TargetMiB;
            missed |= !met;
            std::printf("  target: under %.1f s and %.0f MiB: %s\n", job.target, TargetMiB,
                        met ? "met" : "MISSED");
            if (!ours.failed && ours.wall > 1.5 * ours.cpu)
                std::printf("  (wall clock %.1f times the CPU time: the machine is busy; run it "
                            "again on a quiet one)\n",
                            ours.wall / ours.cpu);
        }
        if (job.theirRuns == 0) {
            std::printf("\n");
            continue;
        }
        if (!why.isEmpty()) {
            std::printf("  lv_font_conv skipped: %s\n\n", qPrintable(why));
            continue;
        }
        const QStringList base =
            QStringList{
                node, converter,  "--size", "16", "--bpp",
                "4",  "--format", "lvgl",   "-o", dir.filePath(QStringLiteral("theirs.c"))} +
            job.theirs;
        const bench::ProcessTiming fast = bench::runProcess(3, base + QStringList{"--no-kerning"});
        const bench::ProcessTiming full = bench::runProcess(job.theirRuns, base);
        for (const auto& [label, t, n] : {std::tuple{"lv_font_conv --no-kerning", fast, 3},
                                          std::tuple{"lv_font_conv", full, job.theirRuns}}) {
            std::printf("  %-30s %s", label, qPrintable(figures(t)));
            if (!t.failed && !ours.failed)
                std::printf("   %.0f times as long, %.0f times the CPU (best of %d)",
                            t.wall / ours.wall, t.cpu / ours.cpu, n);
            std::printf("\n");
        }
        std::printf("\n");
    }
    // The characters of LVGL's own sources.
    const QString archive = QStringLiteral(ZENTRAQ_REFERENCE_DIR "/lvgl-9.5.0.tar.gz");
    std::printf("--chars-from every .c and .h of LVGL 9.5.0, --list-chars\n");
    const QString tree = dir.filePath(QStringLiteral("lvgl"));
    QDir().mkpath(tree);
    QProcess tar;
    tar.start(QStringLiteral("tar"), {"-xzf", archive, "-C", tree});
    if (!QFileInfo::exists(archive) || sans.isEmpty() || !tar.waitForFinished(120000) ||
        tar.exitCode() != 0) {
        std::printf("  skipped: %s or DejaVu Sans not found\n", qPrintable(archive));
    } else {
        QStringList args{tool, "font", "--font-file", sans, "--size", "16", "--list-chars"};
        int files = 0;
        for (QDirIterator it(tree, {"*.c", "*.h"}, QDir::Files, QDirIterator::Subdirectories);
             it.hasNext(); ++files)
            args << QStringLiteral("--chars-from") << it.next();
        const bench::ProcessTiming t = bench::runProcess(runs, args);
        failed |= t.failed;
        const bool met = !t.failed && t.wall < 0.5;
        missed |= !met;
        std::printf("  zentraq-cli, %d files           %s\n  target: under 0.5 s: %s\n", files,
                    qPrintable(figures(t)), met ? "met" : "MISSED");
    }
    if (failed)
        std::printf("zentraq-cli failed on a job\n");
    return failed || missed ? 1 : 0;
}
