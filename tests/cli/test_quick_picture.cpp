// The quick picture path against the tool: for every kind of PNG it takes,
// the same bytes as the tool's own conversion; for everything else, nothing
// done and the command line left to the tool.
#include "cli.h"
#include "cli_runner.h"
#include "pngrows.h"
#include "quick_picture.h"

#include <QDateTime>
#include <QFileInfo>
#include <QImage>
#include <QPainter>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtEndian>
#include <QtTest>

#include <png.h>
#include <zlib.h>

#include <fcntl.h>
#include <functional>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

using zentraq::testing::listing;
using zentraq::testing::readFile;
using zentraq::testing::writeFile;

struct PngLayout {
    int colourType = PNG_COLOR_TYPE_RGB;
    int depth = 8;
    bool interlaced = false;
    bool transparency = false; // a tRNS chunk
    int width = 33;
    int height = 17;
    double gamma = 0; // a gAMA chunk when not 0
    bool srgb = false;
};

int channelsOf(int colourType) {
    switch (colourType) {
    case PNG_COLOR_TYPE_GRAY:
    case PNG_COLOR_TYPE_PALETTE:
        return 1;
    case PNG_COLOR_TYPE_GRAY_ALPHA:
        return 2;
    case PNG_COLOR_TYPE_RGB:
        return 3;
    default:
        return 4;
    }
}

// What a test PNG holds, made before libpng writes it.
struct PngContent {
    PngLayout layout;
    std::vector<std::vector<png_byte>> rows;
    std::vector<png_bytep> pointers;
    std::vector<png_color> palette;
    std::vector<png_byte> alphas; // tRNS of a palette
    png_color_16 key{};           // tRNS of grey or RGB
    QByteArray file;
};

// Written by libpng; the content stays the caller's, so that nothing the
// function changes after its jump point is needed after a jump.
bool encode(PngContent* c) {
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return false;
    }
    png_set_write_fn(
        png, &c->file,
        [](png_structp p, png_bytep data, png_size_t n) {
            static_cast<QByteArray*>(png_get_io_ptr(p))
                ->append(reinterpret_cast<char*>(data), qsizetype(n));
        },
        nullptr);
    const PngLayout& s = c->layout;
    png_set_IHDR(png, info, png_uint_32(s.width), png_uint_32(s.height), s.depth, s.colourType,
                 s.interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (!c->palette.empty())
        png_set_PLTE(png, info, c->palette.data(), int(c->palette.size()));
    if (s.transparency)
        png_set_tRNS(png, info, c->palette.empty() ? nullptr : c->alphas.data(),
                     int(c->palette.empty() ? 0 : c->alphas.size()),
                     c->palette.empty() ? &c->key : nullptr);
    if (s.gamma != 0)
        png_set_gAMA(png, info, s.gamma);
    if (s.srgb)
        png_set_sRGB(png, info, PNG_sRGB_INTENT_PERCEPTUAL);
    png_write_info(png, info);
    if (s.depth < 8)
        png_set_packing(png);
    png_write_image(png, c->pointers.data());
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return true;
}

// A PNG of pseudo-random samples (every alpha value among them), or an
// empty array.
QByteArray makePng(const PngLayout& s, quint32 seed = 1) {
    PngContent c;
    c.layout = s;
    const int channels = channelsOf(s.colourType);
    const int maxSample = (1 << s.depth) - 1;
    const int paletteSize =
        s.colourType == PNG_COLOR_TYPE_PALETTE ? std::min(maxSample + 1, 200) : 0;
    const int sampleBytes = s.depth == 16 ? 2 : 1;
    quint32 r = seed;
    const auto next = [&r] {
        r = r * 1664525u + 1013904223u;
        return r >> 8;
    };
    c.rows.resize(std::size_t(s.height));
    for (auto& row : c.rows) {
        row.resize(std::size_t(s.width) * std::size_t(channels) * std::size_t(sampleBytes));
        for (std::size_t i = 0; i < row.size() / std::size_t(sampleBytes); ++i) {
            const int limit = paletteSize > 0 ? paletteSize - 1 : maxSample;
            const int v = int(next() % quint32(limit + 1));
            if (sampleBytes == 2)
                qToBigEndian(quint16(v), &row[2 * i]);
            else
                row[i] = png_byte(v);
        }
        c.pointers.push_back(row.data());
    }
    for (int i = 0; i < paletteSize; ++i)
        c.palette.push_back({png_byte(next()), png_byte(next()), png_byte(next())});
    // Fewer alpha entries than colours: the rest are opaque.
    for (int i = 0; i < std::max(paletteSize / 2, 1); ++i)
        c.alphas.push_back(png_byte(i == 0 ? 0 : next()));
    // Grey and RGB: the first pixel's colour is the transparent one.
    const auto sample = [&](int i) {
        return sampleBytes == 2 ? qFromBigEndian<quint16>(&c.rows[0][2 * std::size_t(i)])
                                : png_uint_16(c.rows[0][std::size_t(i)]);
    };
    c.key.gray = sample(0);
    if (channels >= 3) {
        c.key.red = sample(0);
        c.key.green = sample(1);
        c.key.blue = sample(2);
    }
    return encode(&c) ? c.file : QByteArray();
}

// The offset of the first chunk of `type`, or -1.
qsizetype chunkAt(const QByteArray& png, const char* type) {
    for (qsizetype at = 8; at + 12 <= png.size();) {
        if (png.mid(at + 4, 4) == type)
            return at;
        at += 12 + qsizetype(qFromBigEndian<quint32>(png.constData() + at));
    }
    return -1;
}

// An ancillary text chunk put before the image data.
QByteArray withTextChunk(const QByteArray& png, bool goodChecksum) {
    const QByteArray body = QByteArray("tEXtComment") + '\0' + "made by the test";
    QByteArray chunk(4, '\0');
    qToBigEndian(quint32(body.size() - 4), chunk.data());
    chunk += body;
    QByteArray crc(4, '\0');
    qToBigEndian(
        quint32(crc32(0, reinterpret_cast<const Bytef*>(body.constData()), uInt(body.size()))) ^
            (goodChecksum ? 0u : 1u),
        crc.data());
    chunk += crc;
    QByteArray out = png;
    out.insert(chunkAt(png, "IDAT"), chunk);
    return out;
}

class QuickRun {
public:
    explicit QuickRun(const QStringList& args) {
        m_args.push_back("zentraq-cli");
        for (const QString& a : args)
            m_args.push_back(a.toStdString());
        for (std::string& a : m_args)
            m_pointers.push_back(a.data());
        m_pointers.push_back(nullptr);
    }
    int run() { return zentraq::cli::quickPicture(int(m_args.size()), m_pointers.data()); }

private:
    std::vector<std::string> m_args;
    std::vector<char*> m_pointers;
};

int quick(const QStringList& args) {
    return QuickRun(args).run();
}

} // namespace

class TestQuickPicture : public QObject {
    Q_OBJECT

private slots:
    void paintedOnWhiteIsThePainters();
    void sameAsTheTool_data();
    void sameAsTheTool();
    void everyAlphaOfEveryChannel();
    void spelledAsTheToolReadsThem_data();
    void spelledAsTheToolReadsThem();
    void leftToTheTool_data();
    void leftToTheTool();
    void messageAndDepfile();
    void throughTheExecutable();
    void loadsWithoutQt();
};

// Every channel value under every alpha, painted by Qt's painter onto white
// as the picture box paints a picture.
void TestQuickPicture::paintedOnWhiteIsThePainters() {
    QImage picture(256, 256, QImage::Format_ARGB32);
    for (int a = 0; a < 256; ++a)
        for (int c = 0; c < 256; ++c)
            picture.setPixel(c, a, qRgba(c, 255 - c, (c * 7) & 255, a));
    QImage painted(256, 256, QImage::Format_RGB32);
    painted.fill(Qt::white);
    QPainter(&painted).drawImage(0, 0, picture);
    for (int a = 0; a < 256; ++a)
        for (int c = 0; c < 256; ++c) {
            const QRgb want = painted.pixel(c, a) | 0xFF000000u;
            const QRgb got = zentraq::core::paintedOnWhite(picture.pixel(c, a));
            if (got != want)
                QFAIL(qPrintable(QStringLiteral("c %1, alpha %2: %3, the painter %4")
                                     .arg(c)
                                     .arg(a)
                                     .arg(got, 8, 16)
                                     .arg(want, 8, 16)));
        }
}

void TestQuickPicture::sameAsTheTool_data() {
    QTest::addColumn<int>("colourType");
    QTest::addColumn<int>("depth");
    QTest::addColumn<bool>("interlaced");
    QTest::addColumn<bool>("transparency");
    QTest::addColumn<double>("gamma");
    QTest::addColumn<bool>("taken");

    struct Kind {
        const char* name;
        int type;
        std::initializer_list<int> depths;
    };
    const Kind kinds[] = {
        {"grey", PNG_COLOR_TYPE_GRAY, {1, 2, 4, 8, 16}},
        {"rgb", PNG_COLOR_TYPE_RGB, {8, 16}},
        {"palette", PNG_COLOR_TYPE_PALETTE, {1, 2, 4, 8}},
        {"grey+alpha", PNG_COLOR_TYPE_GRAY_ALPHA, {8, 16}},
        {"rgba", PNG_COLOR_TYPE_RGB_ALPHA, {8, 16}},
    };
    for (const Kind& k : kinds)
        for (int depth : k.depths)
            for (bool interlaced : {false, true})
                for (bool trns : {false, true}) {
                    if (trns && (k.type & PNG_COLOR_MASK_ALPHA))
                        continue;
                    QTest::addRow("%s %d%s%s", k.name, depth, interlaced ? " interlaced" : "",
                                  trns ? " tRNS" : "")
                        << k.type << depth << interlaced << trns << 0.0 << (depth <= 8);
                }
    // The window's reader shows the stored values whatever the file says
    // about their gamma.
    QTest::newRow("rgb gAMA 1.0") << int(PNG_COLOR_TYPE_RGB) << 8 << false << false << 1.0 << true;
    QTest::newRow("rgba gAMA 0.45455")
        << int(PNG_COLOR_TYPE_RGB_ALPHA) << 8 << false << false << 0.45455 << true;
    QTest::newRow("palette gAMA 2.2")
        << int(PNG_COLOR_TYPE_PALETTE) << 8 << true << true << (1 / 2.2) << true;
}

// What the tool makes of a picture, and whether the quick path makes the
// same: byte for byte, when it takes the picture.
void TestQuickPicture::sameAsTheTool() {
    QFETCH(int, colourType);
    QFETCH(int, depth);
    QFETCH(bool, interlaced);
    QFETCH(bool, transparency);
    QFETCH(double, gamma);
    QFETCH(bool, taken);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    PngLayout layout;
    layout.colourType = colourType;
    layout.depth = depth;
    layout.interlaced = interlaced;
    layout.transparency = transparency;
    layout.gamma = gamma;
    const QString picture = dir.filePath(QStringLiteral("p.png"));
    QVERIFY(writeFile(picture, makePng(layout)));
    const QString byTool = dir.filePath(QStringLiteral("tool.txt"));
    const QString byQuick = dir.filePath(QStringLiteral("quick.txt"));
    QCOMPARE(zentraq::cli::run({"picture", picture, "-q", "-o", byTool}), 0);
    QCOMPARE(quick({"picture", picture, "-q", "-o", byQuick}), taken ? 0 : -1);
    if (taken)
        QCOMPARE(readFile(byQuick), readFile(byTool));
    else
        QCOMPARE(listing(dir.path()), (QStringList{"p.png", "tool.txt"}));
}

// Every pair of channel value and alpha in one RGBA picture, a photo's size
// with a partly transparent palette, and a picture whose text chunk has a bad
// checksum (a warning that both routes read past, as the window does).
void TestQuickPicture::everyAlphaOfEveryChannel() {
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QImage all(256, 256, QImage::Format_ARGB32);
    for (int a = 0; a < 256; ++a)
        for (int c = 0; c < 256; ++c)
            all.setPixel(c, a, qRgba(c, 255 - c, (c * 7) & 255, a));
    const QString picture = dir.filePath(QStringLiteral("all.png"));
    QVERIFY(all.save(picture));
    PngLayout photo;
    photo.colourType = PNG_COLOR_TYPE_PALETTE;
    photo.transparency = true;
    photo.width = 240;
    photo.height = 320;
    const QString palette = dir.filePath(QStringLiteral("photo.PNG"));
    QVERIFY(writeFile(palette, makePng(photo, 7)));
    const QString warned = dir.filePath(QStringLiteral("warned.png"));
    QVERIFY(writeFile(warned, withTextChunk(makePng(PngLayout{}), false)));
    for (const QString& p : {picture, palette, warned}) {
        QCOMPARE(zentraq::cli::run({"picture", p, "-q", "-o", p + ".tool"}), 0);
        QCOMPARE(quick({"picture", p, "-q", "-o", p + ".quick"}), 0);
        QCOMPARE(readFile(p + ".quick"), readFile(p + ".tool"));
    }
}

// Every spelling of the options that the tool reads (they share one reader):
// the same bytes as the tool's own conversion.
void TestQuickPicture::spelledAsTheToolReadsThem_data() {
    QTest::addColumn<QStringList>("args"); // IN and OUT are put in
    QTest::newRow("compact -qo OUT") << QStringList{"picture", "IN", "-qo", "OUT"};
    QTest::newRow("compact -qoOUT") << QStringList{"picture", "-qoOUT", "IN"};
    QTest::newRow("--output=OUT --quiet")
        << QStringList{"picture", "--output=OUT", "--quiet", "IN"};
    QTest::newRow("after --") << QStringList{"picture", "-q", "-o", "OUT", "--", "IN"};
    QTest::newRow("--depfile=FILE") << QStringList{"picture", "IN", "-qoOUT", "--depfile=OUT.d"};
}

void TestQuickPicture::spelledAsTheToolReadsThem() {
    QFETCH(QStringList, args);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString picture = dir.filePath(QStringLiteral("p.png"));
    QVERIFY(writeFile(picture, makePng(PngLayout{})));
    const auto spelled = [&](const QString& out) {
        QStringList a = args;
        a.replaceInStrings(QStringLiteral("OUT"), dir.filePath(out));
        a.replaceInStrings(QRegularExpression(QStringLiteral("^IN$")), picture);
        return a;
    };
    QCOMPARE(zentraq::cli::run(spelled(QStringLiteral("tool"))), 0);
    QCOMPARE(quick(spelled(QStringLiteral("quick"))), 0);
    QCOMPARE(readFile(dir.filePath(QStringLiteral("quick"))),
             readFile(dir.filePath(QStringLiteral("tool"))));
    // (The tool run in this process keeps every input it has read, so its
    // depfile is no measure; messageAndDepfile compares them.)
    if (args.join(u' ').contains(QLatin1String("--depfile")))
        QCOMPARE(readFile(dir.filePath(QStringLiteral("quick.d"))),
                 dir.filePath(QStringLiteral("quick")).toUtf8() + ": \\\n  " + picture.toUtf8() +
                     '\n');
}

void TestQuickPicture::leftToTheTool_data() {
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QStringList>("args"); // IN and OUT are put in

    const QByteArray png = makePng(PngLayout{});
    const QString in = QStringLiteral("IN");
    const QStringList plain{"picture", in, "-o", "OUT"};
    const qsizetype idat = chunkAt(png, "IDAT");
    QByteArray badData = png;
    badData[idat + 10] = char(badData[idat + 10] ^ 0x40);
    QByteArray noEnd = png;
    noEnd.truncate(chunkAt(png, "IEND"));

    QTest::newRow("cut in the data") << png.left(idat + 20) << "p.png" << plain;
    QTest::newRow("damaged data") << badData << "p.png" << plain;
    QTest::newRow("no end chunk") << noEnd << "p.png" << plain;
    QTest::newRow("not a PNG") << QByteArray("GIF89a not a png at all") << "p.png" << plain;
    QTest::newRow("empty file") << QByteArray() << "p.png" << plain;
    QTest::newRow("PNG named .bmp") << png << "p.bmp" << plain;
    QTest::newRow("too large") << makePng(
                                      PngLayout{PNG_COLOR_TYPE_GRAY, 1, false, false, 4097, 4097})
                               << "p.png" << plain;
    QTest::newRow("standard output") << png << "p.png" << QStringList{"picture", in, "-o", "-"};
    QTest::newRow("no -o") << png << "p.png" << QStringList{"picture", in};
    QTest::newRow("-o twice") << png << "p.png" << (plain + QStringList{"-o", "OUT"});
    QTest::newRow("another option") << png << "p.png" << (plain + QStringList{"--pixel", "rgb565"});
    QTest::newRow("--format c") << png << "p.png" << (plain + QStringList{"--format", "c"});
    QTest::newRow("a second picture") << png << "p.png" << (plain + QStringList{in});
    QTest::newRow("an empty argument first")
        << png << "p.png" << QStringList{"picture", "", in, "-o", "OUT"};
    QTest::newRow("help") << png << "p.png" << (plain + QStringList{"--help"});
    QTest::newRow("depfile beside OUT's name")
        << png << "p.png" << (plain + QStringList{"--depfile", "sub/../OUT"});
    QTest::newRow("no such folder")
        << png << "p.png" << QStringList{"picture", in, "-o", "missing/OUT"};
    QTest::newRow("another command") << png << "p.png" << QStringList{"preview", in, "-o", "OUT"};
}

// Nothing is written, nothing is left behind, an older OUT stays as it was.
void TestQuickPicture::leftToTheTool() {
    QFETCH(QByteArray, file);
    QFETCH(QString, name);
    QFETCH(QStringList, args);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QVERIFY(writeFile(dir.filePath(name), file));
    QVERIFY(writeFile(dir.filePath(QStringLiteral("OUT")), "older"));
    for (QString& a : args) {
        if (a == u"IN")
            a = dir.filePath(name);
        else if (a.contains(u"OUT"))
            a = a.startsWith(u'-') ? a : dir.filePath(a);
    }
    const QStringList before = listing(dir.path());
    QCOMPARE(quick(args), -1);
    QCOMPARE(listing(dir.path()), before);
    QCOMPARE(readFile(dir.filePath(QStringLiteral("OUT"))), QByteArray("older"));
}

// The byte count on standard error in the tool's words, and the depfile the
// tool writes; --keep-unchanged keeps OUT's time.
void TestQuickPicture::messageAndDepfile() {
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString picture = dir.filePath(QStringLiteral("a b$.png"));
    QVERIFY(writeFile(picture, makePng(PngLayout{})));
    const auto stderrOf = [&](const std::function<int()>& run, int* code) {
        const QString file = dir.filePath(QStringLiteral("stderr"));
        std::fflush(stderr);
        const int saved = ::dup(STDERR_FILENO);
        const int fd = ::open(QFile::encodeName(file).constData(),
                              O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        ::dup2(fd, STDERR_FILENO);
        ::close(fd);
        *code = run();
        std::fflush(stderr);
        ::dup2(saved, STDERR_FILENO);
        ::close(saved);
        const QByteArray text = readFile(file);
        QFile::remove(file);
        return text;
    };
    const QString toolOut = dir.filePath(QStringLiteral("t.txt"));
    const QString quickOut = dir.filePath(QStringLiteral("q.txt"));
    int toolCode = -1, quickCode = -1;
    const QByteArray toolSays = stderrOf(
        [&] {
            return zentraq::cli::run(
                {"picture", picture, "-o", toolOut, "--depfile", toolOut + ".d"});
        },
        &toolCode);
    const QByteArray quickSays = stderrOf(
        [&] {
            return quick({"picture", picture, "--output=" + quickOut,
                          "--depfile=" + quickOut + ".d", "--keep-unchanged"});
        },
        &quickCode);
    QCOMPARE(toolCode, 0);
    QCOMPARE(quickCode, 0);
    QCOMPARE(quickSays, toolSays);
    QCOMPARE(quickSays, QByteArray("数据大小:1122字节\n"));
    QCOMPARE(readFile(quickOut), readFile(toolOut));
    // The tool in this process lists every file it read since it started;
    // its rule ends with this run's picture.
    const QByteArray picturePart = " \\\n  " + QFile::encodeName(dir.path()) + "/a\\ b$$.png\n";
    QVERIFY(readFile(toolOut + ".d").endsWith(picturePart));
    QCOMPARE(readFile(quickOut + ".d"), QFile::encodeName(quickOut) + ":" + picturePart);

    const QDateTime earlier = QFileInfo(quickOut).lastModified().addSecs(-100);
    {
        QFile made(quickOut);
        QVERIFY(made.open(QIODevice::ReadWrite) &&
                made.setFileTime(earlier, QFileDevice::FileModificationTime));
    }
    QCOMPARE(quick({"picture", picture, "-q", "-o", quickOut, "--keep-unchanged"}), 0);
    QCOMPARE(QFileInfo(quickOut).lastModified(), earlier);
    QCOMPARE(quick({"picture", picture, "-q", "-o", quickOut}), 0);
    QVERIFY(QFileInfo(quickOut).lastModified() > earlier);
}

// The executable takes the quick path and falls back to the tool: the same
// results either way, and the tool's message for a file the quick path
// leaves.
void TestQuickPicture::throughTheExecutable() {
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    PngLayout layout;
    layout.colourType = PNG_COLOR_TYPE_RGB_ALPHA;
    const QString picture = dir.filePath(QStringLiteral("p.png"));
    QVERIFY(writeFile(picture, makePng(layout)));
    const QString byTool = dir.filePath(QStringLiteral("tool.txt"));
    QCOMPARE(zentraq::cli::run({"picture", picture, "-q", "-o", byTool}), 0);
    const QString out = dir.filePath(QStringLiteral("out.txt"));
    const auto run = zentraq::testing::runCli({"picture", picture, "-o", out});
    QCOMPARE(run.exitCode, 0);
    QCOMPARE(run.err, QStringLiteral("数据大小:1122字节\n"));
    QCOMPARE(readFile(out), readFile(byTool));

    const QString cut = dir.filePath(QStringLiteral("cut.png"));
    QVERIFY(writeFile(cut, readFile(picture).left(100)));
    const auto failed = zentraq::testing::runCli({"picture", cut, "-o", out});
    QCOMPARE(failed.exitCode, 1);
    QVERIFY2(failed.err.contains(QStringLiteral("cut.png")), qPrintable(failed.err));
    QCOMPARE(readFile(out), readFile(byTool));
}

// The point of the quick path: nothing it needs brings Qt in.
void TestQuickPicture::loadsWithoutQt() {
    QProcess readelf;
    readelf.start(QStringLiteral("readelf"), {"-d", "-W", QStringLiteral(ZENTRAQ_CLI_QUICK)});
    if (!readelf.waitForFinished(60000) || readelf.exitCode() != 0)
        QSKIP("readelf cannot be run");
    const QByteArray dynamic = readelf.readAllStandardOutput();
    QVERIFY2(dynamic.contains("(NEEDED)") && dynamic.contains("libpng16"), dynamic.constData());
    QVERIFY2(!dynamic.contains("libQt"), dynamic.constData());
}

QTEST_GUILESS_MAIN(TestQuickPicture)
#include "test_quick_picture.moc"
