// zentraq-cli's u8g2 fonts against u8g2's own converter bdfconv, side by
// side on the same job: GB2312's 6763 ideographs and ASCII of WenQuanYi's
// 12 pt bitmap song (Debian xfonts-wqy) as a u8g2 font in C, build mode t.
// zentraq-cli reads the PCF font (and, the same job again, the BDF file
// that bdfconv reads, which pcf2bdf writes); both results must be the same
// bytes. Each as a process, with its peak memory, and how many times as
// long bdfconv takes.
//
//   bench_u8g2 [RUNS]      best of RUNS runs of each (default 5; bdfconv 3)
//
// bdfconv is taken from $ZENTRAQ_BDFCONV, else from where the tests build it
// (the build folder's lvgl-reference/bin/bdfconv); without it, or without
// pcf2bdf or the font, the benchmark says so.
#include "child_process.h"
#include "support/gb2312.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <cstdio>
#include <cstring>

namespace {

constexpr double TargetSeconds = 0.3;
constexpr double TargetRatio = 10;
const char* const Face = "/usr/share/fonts/X11/misc/wenquanyi_12pt.pcf";

QString bdfconv() {
    const QString given = qEnvironmentVariable("ZENTRAQ_BDFCONV");
    if (!given.isEmpty())
        return given;
    const QString built = QStringLiteral(ZENTRAQ_BUILD_DIR "/lvgl-reference/bin/bdfconv");
    return QFileInfo::exists(built) ? built : QString();
}

QString figures(const bench::ProcessTiming& t) {
    if (t.failed)
        return QStringLiteral("failed");
    return QStringLiteral("%1 s (%2) %3 MiB")
        .arg(t.wall, 0, 'f', 3)
        .arg(t.cpu, 0, 'f', 3)
        .arg(double(t.peakKb) / 1024, 0, 'f', 1);
}

QByteArray fileBytes(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace

int main(int argc, char* argv[]) {
    if (argc > 3 && std::strcmp(argv[1], "--measure") == 0)
        return bench::measureChild(argv[2], argv + 3);
    QCoreApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    QTemporaryDir dir;
    if (!dir.isValid())
        return 1;

    std::printf("zentraq-cli font --format u8g2 against bdfconv: GB2312's 6763 ideographs and "
                "ASCII of\nWenQuanYi 12 pt (16 px), build mode t, C. Each a process; seconds of "
                "wall clock\n(CPU seconds), peak resident memory; best of %d runs, of 3 of "
                "bdfconv.\n\n",
                runs);
    const QString converter = bdfconv();
    const QString pcf2bdf = QStandardPaths::findExecutable(QStringLiteral("pcf2bdf"));
    QString why;
    if (!QFileInfo::exists(QString::fromLatin1(Face)))
        why = QStringLiteral("%1 not found (Debian xfonts-wqy)").arg(QString::fromLatin1(Face));
    else if (pcf2bdf.isEmpty())
        why = QStringLiteral("pcf2bdf not found (Debian pcf2bdf)");
    else if (converter.isEmpty())
        why = QStringLiteral("bdfconv not found (build the tests, or set ZENTRAQ_BDFCONV)");
    if (!why.isEmpty()) {
        std::printf("skipped: %s\n", qPrintable(why));
        return 0;
    }

    // The characters, as a text file both take; the BDF file bdfconv reads.
    QByteArray text;
    for (const char32_t cp : zentraq::testing::gb2312Ideographs())
        text += QString::fromUcs4(&cp, 1).toUtf8();
    const QString chars = dir.filePath(QStringLiteral("gb2312.txt"));
    const QString bdf = dir.filePath(QStringLiteral("wqy12.bdf"));
    QFile c(chars);
    if (!c.open(QIODevice::WriteOnly) || c.write(text) != text.size())
        return 1;
    c.close();
    if (bench::runProcess(1, {pcf2bdf, QString::fromLatin1(Face), "-o", bdf}).failed) {
        std::printf("pcf2bdf failed\n");
        return 1;
    }

    const QString tool = QStringLiteral(ZENTRAQ_CLI);
    const QStringList job{"font",      "--format",  "u8g2", "--size", "16",           "--range",
                          "0x20-0x7E", "--charset", chars,  "--name", "wqy12_gb2312", "-q"};
    const QString ours = dir.filePath(QStringLiteral("ours.c"));
    const QString oursBdf = dir.filePath(QStringLiteral("ours_bdf.c"));
    const QString theirs = dir.filePath(QStringLiteral("theirs.c"));
    const bench::ProcessTiming fromPcf = bench::runProcess(
        runs, QStringList{tool} + job + QStringList{"--font-file", Face, "-o", ours});
    const bench::ProcessTiming fromBdf = bench::runProcess(
        runs, QStringList{tool} + job + QStringList{"--font-file", bdf, "-o", oursBdf});
    const bench::ProcessTiming reference =
        bench::runProcess(3, {converter, "-f", "1", "-b", "0", "-m", "32-126", "-u", chars, "-n",
                              "wqy12_gb2312", "-o", theirs, bdf});

    std::printf("  zentraq-cli, the PCF font      %s\n", qPrintable(figures(fromPcf)));
    std::printf("  zentraq-cli, the BDF file      %s\n", qPrintable(figures(fromBdf)));
    std::printf("  bdfconv, the BDF file          %s\n", qPrintable(figures(reference)));
    if (fromPcf.failed || fromBdf.failed || reference.failed)
        return 1;
    const QByteArray expected = fileBytes(theirs);
    const bool same =
        !expected.isEmpty() && fileBytes(ours) == expected && fileBytes(oursBdf) == expected;
    std::printf("  the three fonts are %s (%lld bytes of C)\n", same ? "the same" : "NOT the same",
                qlonglong(expected.size()));
    const double ratio = reference.wall / fromPcf.wall;
    std::printf("  bdfconv takes %.1f times as long as zentraq-cli from the PCF font (%.1f times "
                "the CPU),\n  %.1f times as long as zentraq-cli from the BDF file\n",
                ratio, reference.cpu / fromPcf.cpu, reference.wall / fromBdf.wall);
    const bool met = fromPcf.wall < TargetSeconds && ratio >= TargetRatio;
    std::printf("  target: under %.1f s and at least %.0f times as fast as bdfconv: %s\n",
                TargetSeconds, TargetRatio, met ? "met" : "MISSED");
    if (fromPcf.wall > 1.5 * fromPcf.cpu)
        std::printf("  (wall clock %.1f times the CPU time: the machine is busy; run it again "
                    "on a quiet one)\n",
                    fromPcf.wall / fromPcf.cpu);
    return same && met ? 0 : 1;
}
