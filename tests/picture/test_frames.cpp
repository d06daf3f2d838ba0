// Frames of animated pictures, composed as ImageMagick's -coalesce makes
// them (Debian's imagemagick): the shared GIF against ImageMagick's frames,
// taken once and kept here, and random GIFs against ImageMagick itself when
// it is there; an APNG whose blending, disposal and delays are worked out by
// hand; an animated WebP against Pillow's frames (libwebp's decoder) when
// Pillow is there; and the files refused before anything is decoded.
#include "animations.h"
#include "frames.h"

#include <QDir>
#include <QHash>
#include <QProcess>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

using namespace zentraq;
using namespace zentraq::rgbqumo;
using zentraq::testing::GifFrameShape;

namespace {

// A frame as letters, row by row: '.' transparent, r g b y k w the opaque
// colours of disposalGif().
QStringList letters(const QImage& frame) {
    static const QHash<QRgb, QChar> names{{0xFF0000, u'r'}, {0x00FF00, u'g'}, {0x0000FF, u'b'},
                                          {0xFFFF00, u'y'}, {0x000000, u'k'}, {0xFFFFFF, u'w'}};
    QStringList rows;
    for (int y = 0; y < frame.height(); ++y) {
        QString row;
        for (int x = 0; x < frame.width(); ++x) {
            const QRgb p = frame.pixel(x, y);
            row += qAlpha(p) == 0 ? QChar(u'.') : names.value(p & 0xFFFFFF, u'?');
        }
        rows << row;
    }
    return rows;
}

std::vector<Frame> allFrames(const QByteArray& file) {
    auto source = openFrames(file, QStringLiteral("test"));
    std::vector<Frame> frames;
    for (int i = 0; i < source->count(); ++i)
        frames.push_back(source->next());
    return frames;
}

// A GIF of random frames: sizes, places (some past the canvas), disposal,
// transparency, interlacing and colour tables all drawn from `seed`.
QByteArray randomGif(quint32 seed) {
    QRandomGenerator r(seed);
    const int w = r.bounded(3, 10), h = r.bounded(3, 10);
    std::vector<QRgb> global;
    for (int i = 0; i < 8; ++i)
        global.push_back(qRgb(r.bounded(256), r.bounded(256), r.bounded(256)));
    std::vector<GifFrameShape> frames(std::size_t(r.bounded(2, 7)));
    for (GifFrameShape& f : frames) {
        f.w = r.bounded(1, w + 1);
        f.h = r.bounded(1, h + 1);
        f.x = r.bounded(w);
        f.y = r.bounded(h);
        if (r.bounded(10) < 7) {
            f.x = std::min(f.x, w - f.w);
            f.y = std::min(f.y, h - f.h);
        }
        f.disposal = r.bounded(4);
        f.transparent = r.bounded(3) == 0 ? r.bounded(8) : -1;
        f.delay = r.bounded(50);
        f.interlaced = r.bounded(4) == 0;
        if (r.bounded(5) == 0)
            for (int i = 0; i < 8; ++i)
                f.table.push_back(qRgb(r.bounded(256), r.bounded(256), r.bounded(256)));
        for (int i = 0; i < f.w * f.h; ++i)
            f.indices.push_back(std::uint8_t(r.bounded(8)));
    }
    return testing::writeGif(w, h, global, r.bounded(8), frames);
}

// What reading every frame of `file` says, or nothing.
QString refusal(const QByteArray& file) {
    try {
        auto source = openFrames(file, QStringLiteral("test"));
        checkFramePixels(source->size(), source->count());
        for (int i = 0; i < source->count(); ++i)
            source->next();
    } catch (const RuntimeError& e) {
        return QString::fromUtf8(e.what());
    }
    return {};
}

} // namespace

class TestFrames : public QObject {
    Q_OBJECT

private slots:
    // ImageMagick 6.9.11's convert dg.gif -coalesce frame_%d.png, read back.
    void gifAsImageMagick() {
        const QList<QStringList> expected{
            {"gggggggg", "grgbyrgg", "ggbyrgbg", "gbyrgbyg", "gyrgbyrg", "gggggggg"},
            {"kkkkgggg", "kkkkgggg", "kkkkgggg", "gggggggg", "gggggggg", "gggggggg"},
            {"....gggg", "....gggg", "...bgbgb", "ggggbgbg", "gggbgbgb", "ggggbgbg"},
            {"....gggg", "....gggg", "...bgbgb", "ggggbgbg", "gggbgbyy", "ggggbgyy"},
            {"..r.gggg", "..r.gggg", "rrrrrbgb", "ggrgbgbg", "ggrbgb..", "ggggbg.."},
            {"....gggg", "....gggg", "...bgbgb", "ggggbgbg", "gggbgb..", "ggggbg.g"},
        };
        const std::vector<Frame> frames = allFrames(testing::disposalGif());
        QCOMPARE(int(frames.size()), int(expected.size()));
        const int delays[] = {100, 200, 300, 400, 0, 50};
        for (std::size_t i = 0; i < frames.size(); ++i) {
            QCOMPARE(frames[i].picture.size(), QSize(8, 6));
            QCOMPARE(letters(frames[i].picture), expected[qsizetype(i)]);
            QCOMPARE(frames[i].durationMs, delays[i]);
        }
    }

    // Random GIFs against ImageMagick itself: every frame's alpha, and the
    // colour of every pixel that shows.
    void gifAgainstImageMagick() {
        if (QStandardPaths::findExecutable(QStringLiteral("convert")).isEmpty())
            QSKIP("ImageMagick's convert not found (Debian imagemagick)");
        QTemporaryDir dir;
        for (quint32 seed = 1; seed <= 40; ++seed) {
            const QByteArray gif = randomGif(seed);
            QFile file(dir.filePath(QStringLiteral("r.gif")));
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(gif);
            file.close();
            for (const QString& old : QDir(dir.path()).entryList({"c_*.png"}))
                QFile::remove(dir.filePath(old));
            QProcess convert;
            convert.start(QStringLiteral("convert"),
                          {file.fileName(), "-coalesce", dir.filePath(QStringLiteral("c_%d.png"))});
            QVERIFY(convert.waitForFinished(60000));
            QCOMPARE(convert.exitCode(), 0);
            const std::vector<Frame> frames = allFrames(gif);
            for (std::size_t i = 0; i < frames.size(); ++i) {
                const QImage theirs = QImage(dir.filePath(QStringLiteral("c_%1.png").arg(i)))
                                          .convertToFormat(QImage::Format_ARGB32);
                QCOMPARE(theirs.size(), frames[i].picture.size());
                for (int y = 0; y < theirs.height(); ++y)
                    for (int x = 0; x < theirs.width(); ++x) {
                        const QRgb a = frames[i].picture.pixel(x, y), b = theirs.pixel(x, y);
                        if (qAlpha(a) != qAlpha(b) || (qAlpha(a) > 0 && a != b))
                            QFAIL(qPrintable(QString::asprintf(
                                "seed %u, frame %zu, (%d, %d): ours %08x, ImageMagick's %08x", seed,
                                i, x, y, a, b)));
                    }
            }
        }
    }

    // Source and over blending, disposal to the background and to the
    // previous canvas, offsets and delays, worked out by hand. The APNG's
    // canvas is 4 x 2: first its whole, red over half-transparent blue, kept,
    // 1/10 s; then green of alpha 128 and a clear pixel at (1, 0), blended
    // over, then restored, 1/100 s; a white pixel at (3, 1), replacing, then
    // cleared to the background, 3/1000 s; a clear pixel at (0, 0), 0 s.
    void apngComposed() {
        const QRgb red = qRgba(255, 0, 0, 255), halfBlue = qRgba(0, 0, 255, 128);
        QFile apng(QFINDTESTDATA("../../fuzz/corpus/frames/composed.apng"));
        QVERIFY(apng.open(QIODevice::ReadOnly));
        const std::vector<Frame> frames = allFrames(apng.readAll());
        QCOMPARE(int(frames.size()), 4);
        auto pixels = [](const QImage& p) {
            QList<QRgb> all;
            for (int y = 0; y < p.height(); ++y)
                for (int x = 0; x < p.width(); ++x)
                    all << (qAlpha(p.pixel(x, y)) ? p.pixel(x, y) : 0u);
            return all;
        };
        // Green of alpha 128 over red: alpha 255, red 127.5 and green 128.5
        // rounded down (halves of x.5 go to the nearest below .5 + 0.5).
        const QRgb mixed = qRgba(127, 128, 0, 255);
        QCOMPARE(pixels(frames[0].picture),
                 (QList<QRgb>{red, red, red, red, halfBlue, halfBlue, halfBlue, halfBlue}));
        QCOMPARE(pixels(frames[1].picture),
                 (QList<QRgb>{red, mixed, red, red, halfBlue, halfBlue, halfBlue, halfBlue}));
        QCOMPARE(pixels(frames[2].picture), (QList<QRgb>{red, red, red, red, halfBlue, halfBlue,
                                                         halfBlue, qRgba(255, 255, 255, 255)}));
        QCOMPARE(pixels(frames[3].picture),
                 (QList<QRgb>{0, red, red, red, halfBlue, halfBlue, halfBlue, 0}));
        QCOMPARE(frames[0].durationMs, 100);
        QCOMPARE(frames[1].durationMs, 10);
        QCOMPARE(frames[2].durationMs, 3);
        QCOMPARE(frames[3].durationMs, 0);
    }

    // Animated WebP through Qt's reader, against Pillow (libwebp's own
    // decoder composes the frames there).
    void webpAsPillow() {
        QTemporaryDir dir;
        const QString webp = dir.filePath(QStringLiteral("a.webp"));
        QProcess pillow;
        pillow.start(QStringLiteral("/usr/bin/python3"), {"-c", R"(
import sys
from PIL import Image
frames = []
for i in range(4):
    im = Image.new('RGBA', (16, 12), (0, 0, 0, 0))
    for y in range(12):
        for x in range(16):
            if (x + y + i) % 5 == 0: im.putpixel((x, y), (255, 0, 0, 255))
            elif i * 3 < x < i * 3 + 5: im.putpixel((x, y), (0, 0, 255, 128))
    frames.append(im)
frames[0].save(sys.argv[1], save_all=True, append_images=frames[1:], duration=[100, 200, 300, 400],
               loop=0, lossless=True)
im = Image.open(sys.argv[1])
for i in range(im.n_frames):
    im.seek(i)
    sys.stdout.buffer.write(im.convert('RGBA').tobytes())
)",
                                                          webp});
        if (!pillow.waitForFinished(60000) || pillow.exitCode() != 0)
            QSKIP("Pillow with WebP not found (Debian python3-pil)");
        const QByteArray theirs = pillow.readAllStandardOutput();
        QFile file(webp);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const std::vector<Frame> frames = allFrames(file.readAll());
        QCOMPARE(int(frames.size()), 4);
        QByteArray ours;
        for (const Frame& f : frames) {
            QCOMPARE(f.picture.size(), QSize(16, 12));
            const QImage rgba = f.picture.convertToFormat(QImage::Format_RGBA8888);
            ours.append(reinterpret_cast<const char*>(rgba.constBits()), 16 * 12 * 4);
        }
        QCOMPARE(ours.toHex(), theirs.toHex());
        QCOMPARE(frames[2].durationMs, 300);
    }

    // Refused before a frame is decoded, or at the frame that is damaged,
    // with what is wrong.
    void refusals_data() {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QString>("words");
        const QByteArray gif = testing::disposalGif();
        QTest::newRow("cut in a frame's data") << gif.left(gif.size() - 40) << "cut short";
        QByteArray huge = gif;
        huge[6] = huge[7] = huge[8] = huge[9] = char(0xFF);
        QTest::newRow("a canvas of 65535 x 65535") << huge << "65535 x 65535";
        std::vector<GifFrameShape> one(1);
        one[0] = {0, 0, 40000, 40000, 0, -1, 0, false, {0}, {}};
        QTest::newRow("a frame of 40000 x 40000")
            << testing::writeGif(8, 8, {qRgb(0, 0, 0)}, 0, one) << "claims 40000 x 40000";
        one[0] = {0, 0, 2, 2, 0, -1, 0, false, {0, 1, 2}, {}};
        QTest::newRow("a frame short of pixels")
            << testing::writeGif(2, 2, {qRgb(0, 0, 0)}, 0, one) << "3 of its 4 pixels";
        QByteArray noTable =
            testing::writeGif(2, 2, {}, 0, {{0, 0, 1, 1, 0, -1, 0, false, {0}, {}}});
        QTest::newRow("no colour table") << noTable << "no colour table";
        QByteArray badCode = testing::writeGif(2, 1, {qRgb(0, 0, 0)}, 0,
                                               {{0, 0, 2, 1, 0, -1, 0, false, {0, 0}, {}}});
        // The first code after the clear code: 511, never defined.
        const qsizetype data = badCode.indexOf(char(0x2C)) + 12;
        badCode[data + 1] = char(0xFF);
        badCode[data + 2] = char(0xFF);
        QTest::newRow("an undefined LZW code") << badCode << "code";
        QTest::newRow("an unknown block") << gif.left(gif.size() - 1) + "\x07"
                                          << "unknown kind";
        // A second frame of 2 x 2 at (1, 1) on a canvas of 2 x 2.
        QFile outside(QFINDTESTDATA("../../fuzz/corpus/frames/frame-outside.apng"));
        QVERIFY(outside.open(QIODevice::ReadOnly));
        QTest::newRow("an APNG frame outside the canvas")
            << outside.readAll() << "is not inside its 2 x 2 pixels";
        // Frames of 4096 x 4096 over a canvas of one pixel: 17 of them claim
        // more than 2^28 pixels together, refused before any is decoded.
        QTest::newRow("17 frames of 4096 x 4096")
            << testing::writeGif(
                   1, 1, {qRgb(0, 0, 0)}, 0,
                   std::vector<GifFrameShape>(17, {0, 0, 4096, 4096, 0, -1, 0, false, {0}, {}}))
            << "frames claim more than the 268435456 pixels";
        // More than 65536 frames: refused while the file is walked.
        QTest::newRow("65537 frames")
            << testing::writeGif(
                   1, 1, {qRgb(0, 0, 0)}, 0,
                   std::vector<GifFrameShape>(65537, {0, 0, 1, 1, 0, -1, 0, false, {0}, {}}))
            << "more than 65536";
    }
    void refusals() {
        QFETCH(QByteArray, file);
        QFETCH(QString, words);
        const QString said = refusal(file);
        QVERIFY2(said.contains(words), qPrintable(said));
    }
};

QTEST_GUILESS_MAIN(TestFrames)
#include "test_frames.moc"
