// How fast zentraq-cli makes LVGL images, against LVGL's own converter,
// LVGLImage.py (from the LVGL 9.5.0 archive, run with Debian's python3-png
// and python3-lz4; its indexed formats call pngquant): an 800x480 picture with
// alpha as rgb565a8 and as i8 LVGL C, each tool as a process of its own,
// best of N runs (wall clock), and the ratio. Then the memory ceilings of
// reading LVGL images back (zentraq-cli preview): the largest image the
// reader takes, 8192 x 8192 ARGB in a 1 MB LZ4 file, 4096 x 4096 at --scale
// 4, a 19 MB C source, and C sources of descriptors that never close; each
// a process of its own, with its time and peak resident memory against the
// preview picture's own bytes.
//
// Run: bench_lvgl [runs]   (prints figures, checks nothing)

#include "child_process.h"
#include "photo_like.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <QtEndian>

#include <algorithm>
#include <cstdio>
#include <cstring>

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

// An LVGL 9 image file of `w` x `h` ARGB8888 pixels of one colour, as one
// LZ4 block: a literal, a match at offset 1 over all but the last 12 bytes,
// 12 literals.
QByteArray lz4Image(int w, int h) {
    const qint64 raw = qint64(w) * h * 4;
    QByteArray block = QByteArray::fromHex("1f000100");
    block.reserve(qsizetype(raw / 255 + 64));
    for (qint64 rest = raw - 13 - 4 - 15; rest >= 0; rest -= 255)
        block += char(rest >= 255 ? 255 : rest);
    block += QByteArray(1, char(0xC0)) + QByteArray(12, '\0');
    QByteArray file(24, '\0');
    file[0] = 0x19;
    file[1] = 0x10; // argb8888
    file[2] = 0x08; // compressed
    qToLittleEndian<quint16>(quint16(w), file.data() + 4);
    qToLittleEndian<quint16>(quint16(h), file.data() + 6);
    qToLittleEndian<quint16>(quint16(w * 4 & 0xFFFF), file.data() + 8);
    qToLittleEndian<quint32>(2, file.data() + 12);
    qToLittleEndian<quint32>(quint32(block.size()), file.data() + 16);
    qToLittleEndian<quint32>(quint32(raw), file.data() + 20);
    return file + block;
}

bool save(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

// The read-back ceilings: one line a case.
void readBackCeilings(const QTemporaryDir& dir) {
    const QString big = dir.filePath(QStringLiteral("argb8192.bin"));
    const QString mid = dir.filePath(QStringLiteral("argb4096.bin"));
    const QString source = dir.filePath(QStringLiteral("rgb565.c"));
    const QString open400 = dir.filePath(QStringLiteral("open400k.c"));
    const QString open2m = dir.filePath(QStringLiteral("open2m.c"));
    // 1320 x 1320 rgb565 as "0x00,0xF8,\n" items: 19 MB of text.
    QByteArray text = "const uint8_t a_map[] = {\n";
    text += QByteArray("0x00,0xF8,\n").repeated(1320 * 1320);
    text += "};\nconst lv_image_dsc_t a = { .header = { .cf = LV_COLOR_FORMAT_RGB565, "
            ".w = 1320, .h = 1320 }, .data = a_map };\n";
    if (!save(big, lz4Image(8192, 8192)) || !save(mid, lz4Image(4096, 4096)) ||
        !save(source, text) ||
        !save(open400, QByteArray("lv_image_dsc_t a = {").repeated(400 * 1024 / 20)) ||
        !save(open2m, QByteArray("lv_image_dsc_t a = {").repeated(2 * 1024 * 1024 / 20))) {
        std::printf("cannot write the images to %s\n", qPrintable(dir.path()));
        return;
    }
    struct Case {
        const char* what;
        QString file;
        const char* format;
        int scale;
        double previewMiB; // the preview picture's own bytes
    };
    const Case cases[] = {
        {"8192x8192 argb8888 LZ4 file (1.05 MB)", big, "lvgl-bin", 1, 256},
        {"4096x4096 argb8888 LZ4 file, --scale 4", mid, "lvgl-bin", 4, 1024},
        {"1320x1320 rgb565 C source (19 MB)", source, "lvgl", 1, 1320.0 * 1320 * 4 / 1048576},
        {"400 KB of unclosed descriptors (refused)", open400, "lvgl", 1, 0},
        {"2 MB of unclosed descriptors (refused)", open2m, "lvgl", 1, 0},
    };
    std::printf("\nMemory ceilings of zentraq-cli preview --format lvgl|lvgl-bin; one run each\n");
    std::printf("%-42s %9s %10s %12s %6s\n", "case", "time", "peak", "preview", "exit");
    for (const Case& c : cases) {
        const bench::ProcessTiming t =
            bench::runProcess(1, {QStringLiteral(ZENTRAQ_CLI), QStringLiteral("preview"), c.file,
                                  QStringLiteral("--format"), QString::fromLatin1(c.format),
                                  QStringLiteral("--scale"), QString::number(c.scale),
                                  QStringLiteral("-o"), dir.filePath(QStringLiteral("p.png"))});
        std::printf("%-42s %8.2fs %6.0f MiB %8.0f MiB %6s\n", c.what, t.wall,
                    double(t.peakKb) / 1024, c.previewMiB, t.failed ? "1" : "0");
        QFile::remove(dir.filePath(QStringLiteral("p.png")));
    }
    std::printf("peak = the process's peak resident memory; preview = the preview picture's "
                "bytes, which the peak holds besides the file read and a row\n");
}

} // namespace

int main(int argc, char* argv[]) {
    if (argc > 3 && std::strcmp(argv[1], "--measure") == 0)
        return bench::measureChild(argv[2], argv + 3);
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
    readBackCeilings(dir);
    return 0;
}
