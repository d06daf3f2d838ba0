// Quality and speed of the palette quantiser of the indexed LVGL formats,
// against pngquant (Debian's package, used only as a yardstick): the mean
// squared error of the quantised photo (red, green and blue over every
// pixel) at 16 and 256 colours, ours and pngquant's, and their ratio; plain
// (pngquant --nofs) and with Floyd-Steinberg (pngquant's default).
//
// Run: bench_palette [photo...]   (prints figures, checks nothing)
// Without arguments: Debian's grace_hopper.jpg (python-matplotlib-data) when
// installed, the fuzz seed photos and an 800x480 photo-like picture.

#include "palette.h"
#include "photo_like.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>

#include <cstdio>
#include <vector>

using namespace zentraq;
using namespace zentraq::rgbqumo;

namespace {

double meanSquaredError(const QImage& a, const QImage& b) {
    double sum = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = a.pixel(x, y), q = b.pixel(x, y);
            const int dr = qRed(p) - qRed(q), dg = qGreen(p) - qGreen(q), db = qBlue(p) - qBlue(q);
            sum += dr * dr + dg * dg + db * db;
        }
    return sum / (3.0 * a.width() * a.height());
}

QImage ours(const QImage& picture, int colours, DitherMode dither, double* seconds) {
    QElapsedTimer timer;
    timer.start();
    const int w = picture.width(), h = picture.height();
    PaletteBuilder builder(colours);
    for (int y = 0; y < h; ++y)
        builder.addRow(reinterpret_cast<const QRgb*>(picture.constScanLine(y)), w);
    const std::vector<QRgb> palette = builder.build();
    PaletteEncoder encoder(palette, dither, w, colours == 16 ? 4 : 8);
    QImage out(w, h, QImage::Format_ARGB32);
    std::vector<std::uint32_t> indices(std::size_t(w), 0);
    for (int y = 0; y < h; ++y) {
        encoder.encodeRow(reinterpret_cast<const QRgb*>(picture.constScanLine(y)), w,
                          indices.data());
        auto* row = reinterpret_cast<QRgb*>(out.scanLine(y));
        for (int x = 0; x < w; ++x)
            row[x] = palette[indices[std::size_t(x)]];
    }
    *seconds = double(timer.nsecsElapsed()) / 1e9;
    return out;
}

QImage pngquant(const QString& png, int colours, bool dither, double* seconds) {
    QProcess p;
    QStringList args;
    if (!dither)
        args << QStringLiteral("--nofs");
    args << QString::number(colours) << QStringLiteral("-");
    p.setStandardInputFile(png);
    QElapsedTimer timer;
    timer.start();
    p.start(QStringLiteral("pngquant"), args);
    if (!p.waitForFinished(120000) || p.exitCode() != 0)
        return {};
    *seconds = double(timer.nsecsElapsed()) / 1e9;
    return QImage::fromData(p.readAllStandardOutput(), "PNG")
        .convertToFormat(QImage::Format_ARGB32);
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QStringList photos = app.arguments().mid(1);
    if (photos.isEmpty()) {
        const QString hopper =
            QStringLiteral("/usr/share/matplotlib/mpl-data/sample_data/grace_hopper.jpg");
        if (QFile::exists(hopper))
            photos << hopper;
        else
            std::printf("(%s not found: install python-matplotlib-data for a real photo)\n",
                        qPrintable(hopper));
        photos << QStringLiteral(ZENTRAQ_SOURCE_DIR "/fuzz/corpus/picture/base.jpg")
               << QStringLiteral(":photo-like");
    }
    QTemporaryDir dir;
    std::printf("%-28s %6s %-15s %10s %10s %7s %9s %9s\n", "photo", "colours", "dither", "ours",
                "pngquant", "ratio", "ours s", "pngq s");
    for (const QString& name : photos) {
        QImage picture = name == u":photo-like" ? bench::photoLike(800, 480) : QImage(name);
        if (picture.isNull()) {
            std::printf("%s: cannot be read\n", qPrintable(name));
            continue;
        }
        picture = picture.convertToFormat(QImage::Format_ARGB32);
        const QString png = dir.filePath(QStringLiteral("in.png"));
        picture.save(png);
        const QString label = QStringLiteral("%1 %2x%3")
                                  .arg(name.section(u'/', -1))
                                  .arg(picture.width())
                                  .arg(picture.height());
        for (int colours : {16, 256})
            for (bool dither : {false, true}) {
                double tOurs = 0, tTheirs = 0;
                const QImage a =
                    ours(picture, colours, dither ? DitherMode::FloydSteinberg : DitherMode::None,
                         &tOurs);
                const QImage b = pngquant(png, colours, dither, &tTheirs);
                if (b.isNull() || b.size() != picture.size()) {
                    std::printf("%s: pngquant did not run (Debian package pngquant)\n",
                                qPrintable(label));
                    return 0;
                }
                const double ea = meanSquaredError(picture, a), eb = meanSquaredError(picture, b);
                std::printf("%-28s %6d %-15s %10.2f %10.2f %7.2f %9.3f %9.3f\n",
                            qPrintable(label.left(28)), colours,
                            dither ? "floyd-steinberg" : "none", ea, eb, ea / eb, tOurs, tTheirs);
            }
    }
    std::printf("ratio = our mean squared error / pngquant's (below 1: closer to the photo)\n");
    return 0;
}
