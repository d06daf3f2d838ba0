// Writes the pictures the LVGL decoder and animation checks start from:
//   anim.gif    the shared GIF of the frame checks (animations.h)
//   full.gif    a GIF whose first frame covers its screen, transparent in
//               places, and a partial second frame
//   alpha.png   a picture with every alpha from 0 to 255 (lvgl_pictures.h)
//
// Run: make_animations OUTDIR
#include "animations.h"
#include "lvgl_pictures.h"

#include <QDir>
#include <QFile>

#include <cstdio>

int main(int argc, char* argv[]) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_animations OUTDIR\n");
        return 2;
    }
    const QDir dir(QString::fromLocal8Bit(argv[1]));
    QDir().mkpath(dir.path());
    std::vector<zentraq::testing::GifFrameShape> frames(2);
    frames[0] = {0, 0, 10, 8, 1, 3, 10, false, {}, {}};
    for (int i = 0; i < 80; ++i)
        frames[0].indices.push_back(std::uint8_t(i % 7 == 0 ? 3 : (i / 10 + i % 10) % 3));
    frames[1] = {2, 3, 5, 4, 1, 3, 20, false, std::vector<std::uint8_t>(20, 2), {}};
    const QByteArray full = zentraq::testing::writeGif(
        10, 8, {qRgb(250, 20, 40), qRgb(20, 200, 90), qRgb(30, 40, 230), qRgb(255, 255, 255)}, 0,
        frames);
    QFile gif(dir.filePath(QStringLiteral("anim.gif")));
    QFile fullGif(dir.filePath(QStringLiteral("full.gif")));
    if (!gif.open(QIODevice::WriteOnly) || gif.write(zentraq::testing::disposalGif()) < 0 ||
        !fullGif.open(QIODevice::WriteOnly) || fullGif.write(full) < 0 ||
        !zentraq::testing::lvglPicture(QStringLiteral("partial"))
             .save(dir.filePath(QStringLiteral("alpha.png")))) {
        std::fprintf(stderr, "make_animations: cannot write into %s\n", argv[1]);
        return 1;
    }
    return 0;
}
