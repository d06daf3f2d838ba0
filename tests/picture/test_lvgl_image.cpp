// LVGL images: the luma of l8 and al88, RLE on its own, the headers'
// limits, C sources of every form read in one pass, LZ4 blocks against
// liblz4, damaged files and the alpha-keeping pixel source. The bytes of
// every format and header (the palettes' order among them), every format
// read back (compressed ones too), the Arduino arrays and the option
// refusals are pinned by tests/identity.
#include "bytearraysink.h"
#include "imagerows.h"
#include "lvglimage.h"
#include "runtime_error.h"

#include <QtEndian>
#include <QtTest>

#include <lz4.h>

using namespace zentraq;
using namespace zentraq::lvgl;

Q_DECLARE_METATYPE(ImageOptions)

namespace {

// Colours and alpha everywhere, odd sizes, runs of equal pixels.
QImage testPicture() {
    const int w = 21, h = 7;
    QImage p(w, h, QImage::Format_ARGB32);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            p.setPixel(x, y,
                       x < 4 ? qRgba(10, 200, 30, 255)
                             : qRgba(x * 12, y * 36, 255 - x * 11, (x * 53 + y * 29) % 256));
    return p;
}

// A picture of exactly these colours, in rows.
QImage fewColours(const QList<QRgb>& colours, int w = 13, int h = 5) {
    QImage p(w, h, QImage::Format_ARGB32);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            p.setPixel(x, y, colours[(x + y * w) % colours.size()]);
    return p;
}

} // namespace

class TestLvglImage : public QObject {
    Q_OBJECT

private slots:
    // The luma of l8 (rounded) and al88 (truncated): Rec. 709 weights in
    // linear light, made sRGB again; worked out once in Python.
    void luma_data() {
        QTest::addColumn<QRgb>("colour");
        QTest::addColumn<int>("l8");
        QTest::addColumn<int>("al88");
        QTest::newRow("teal") << qRgb(41, 189, 177) << 170 << 169;
        QTest::newRow("green") << qRgb(0, 255, 0) << 220 << 219;
        QTest::newRow("blue") << qRgb(0, 0, 255) << 76 << 75;
        QTest::newRow("red") << qRgb(200, 30, 60) << 103 << 102;
        QTest::newRow("linear part") << qRgb(1, 2, 3) << 2 << 1;
    }
    void luma() {
        QFETCH(QRgb, colour);
        QFETCH(int, l8);
        QFETCH(int, al88);
        QCOMPARE(lvgl::lumaOf(qRed(colour), qGreen(colour), qBlue(colour)), l8);
        QCOMPARE(truncatedLumaOf(qRed(colour), qGreen(colour), qBlue(colour)), al88);
    }

    // Runs of 16 blocks and more are packed, shorter ones copied, as
    // LVGLImage.py's rle_compress packs the same data.
    void rleBytes_data() {
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<int>("block");
        QTest::addColumn<QByteArray>("packed");
        QTest::newRow("16 blocks") << QByteArray(16, 'a') << 1 << QByteArray::fromHex("1061");
        QTest::newRow("15 blocks")
            << QByteArray(15, 'a') << 1 << QByteArray::fromHex("8f") + QByteArray(15, 'a');
        QTest::newRow("run, then one")
            << QByteArray(16, 'a') + "b" << 1 << QByteArray::fromHex("10618162");
        QTest::newRow("one, then 16")
            << "b" + QByteArray(16, 'a') << 1 << QByteArray::fromHex("9162") + QByteArray(16, 'a');
        QTest::newRow("16 blocks of 2")
            << QByteArray("ab").repeated(16) << 2 << QByteArray::fromHex("106162");
        QTest::newRow("15 blocks of 2, then one")
            << QByteArray("ab").repeated(15) + "cd" << 2
            << QByteArray::fromHex("90") + QByteArray("ab").repeated(15) + "cd";
    }
    void rleBytes() {
        QFETCH(QByteArray, data);
        QFETCH(int, block);
        QFETCH(QByteArray, packed);
        QCOMPARE(rleCompress(data, block).toHex(), packed.toHex());
    }

    // C sources as people and other converters write them: comments and
    // strings that look like code, the array after the descriptor,
    // declarations of it without data, numbers in three bases, trailing
    // commas (the tool's own, versions 9 and 8, are read back in
    // tests/identity).
    void sourceForms_data() {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QString>("problem"); // empty: reads as the 2 x 1 picture
        const QByteArray map = "const uint8_t a_map[] = { 0x00, 0xF8, 0xE0, 0x07, };\n";
        const QByteArray v9 = "const lv_image_dsc_t a = { .header = { .magic = "
                              "LV_IMAGE_HEADER_MAGIC, .cf = LV_COLOR_FORMAT_RGB565, .flags = 0, "
                              ".w = 2, .h = 1, .stride = 4, }, .data_size = sizeof(a_map), "
                              ".data = a_map, };\n";
        QTest::newRow("descriptor, then array") << v9 + map << QString();
        QTest::newRow("declared first")
            << "extern const uint8_t a_map[];\n" + v9 + map << QString();
        QTest::newRow("decoys in comments and strings")
            << "/* lv_image_dsc_t z = { .w = 9 }; */ // lv_img_dsc_t y = {\n"
               "const char* s = \"lv_image_dsc_t x = { .w = 1 };\";\n" +
                   map + v9
            << QString();
        QTest::newRow("comments between the tokens")
            << QByteArray("const uint8_t a_map[/* n */] = {0, /* red */ 248, 0xe0 , 07};\n"
                          "const lv_image_dsc_t a /* x */ = {.header.cf = "
                          "LV_COLOR_FORMAT_RGB565,\n  .header.w = 2, // width\n"
                          "  .header.h = 0x1, .data = a_map};")
            << QString();
        QTest::newRow("a byte past 255") << "const uint8_t a_map[] = { 0x00, 0x100, 0, 0 };\n" + v9
                                         << QStringLiteral("'0x100' in a_map");
        QTest::newRow("an expression for a byte")
            << "const uint8_t a_map[] = { 0x00, 1 + 2, 0, 0 };\n" + v9
            << QStringLiteral("'1 + 2' in a_map");
        QTest::newRow("no array") << v9 << QStringLiteral("the array a_map is not in the file");
        QTest::newRow("width not a number") << map + QByteArray(v9).replace(".w = 2", ".w = W")
                                            << QStringLiteral("the descriptor's .w");
        QTest::newRow("descriptor never closed")
            << map + QByteArray(v9).chopped(4)
            << QStringLiteral("no lv_image_dsc_t or lv_img_dsc_t");
        QTest::newRow("too few bytes") << "const uint8_t a_map[] = { 0x00, 0xF8, 0xE0 };\n" + v9
                                       << QStringLiteral("3 bytes of data");
        // Many megabytes of descriptors or arrays that never close are read
        // in one pass and refused: no search starts over at every place.
        const int n = 8 << 20;
        QByteArray descriptors;
        while (descriptors.size() < n)
            descriptors += "lv_image_dsc_t a = {";
        QTest::newRow("8 MiB of unclosed descriptors")
            << descriptors << QStringLiteral("no lv_image_dsc_t or lv_img_dsc_t");
        QByteArray arrays = "lv_image_dsc_t a = { .cf = LV_COLOR_FORMAT_L8, .w = 1, .h = 1, "
                            ".data = a_map };\n";
        while (arrays.size() < n)
            arrays += "a_map[ a_map[ ";
        QTest::newRow("8 MiB of array names")
            << arrays << QStringLiteral("the array a_map is not in the file");
        QByteArray comments;
        while (comments.size() < n)
            comments += "/* lv_image_dsc_t a = { */ // lv_img_dsc_t b = {\n";
        QTest::newRow("8 MiB of comments")
            << comments << QStringLiteral("no lv_image_dsc_t or lv_img_dsc_t");
    }
    void sourceForms() {
        QFETCH(QByteArray, text);
        QFETCH(QString, problem);
        QString said;
        QImage got;
        try {
            got = readImageSource(text).picture;
        } catch (const RuntimeError& e) {
            said = QString::fromUtf8(e.what());
        }
        if (problem.isEmpty()) {
            QVERIFY2(said.isEmpty(), qPrintable(said));
            QCOMPARE(got.size(), QSize(2, 1));
            QCOMPARE(got.pixel(0, 0), qRgb(255, 0, 0));
            QCOMPARE(got.pixel(1, 0), qRgb(0, 255, 0));
        } else {
            QVERIFY2(said.contains(problem), qPrintable(said));
        }
    }

    // A frame table's source: every descriptor with the array before it, in
    // order; together held to one image's limit before anything is unpacked
    // (the second image here claims 64 Mi pixels behind a 12-byte header).
    void frameSources() {
        auto image = [](char name, const char* bytes, int w) {
            return QByteArray("const uint8_t ") + name + "_map[] = { " + bytes +
                   " };\nconst lv_image_dsc_t " + name +
                   " = { .header.cf = LV_COLOR_FORMAT_L8, .header.w = " + QByteArray::number(w) +
                   ", .header.h = 1, .data = " + name + "_map };\n";
        };
        const QList<ReadImage> frames =
            readImageSources(image('a', "0x10", 1) + image('b', "0x20, 0x30", 2) +
                             "// lv_image_dsc_t c = { .w = 5 };\n" + image('d', "0x40", 1));
        QCOMPARE(frames.size(), 3);
        QCOMPARE(frames[0].picture.pixel(0, 0), qRgb(0x10, 0x10, 0x10));
        QCOMPARE(frames[1].picture.size(), QSize(2, 1));
        QCOMPARE(frames[1].picture.pixel(1, 0), qRgb(0x30, 0x30, 0x30));
        QCOMPARE(frames[2].picture.pixel(0, 0), qRgb(0x40, 0x40, 0x40));
        QCOMPARE(declaredImages(image('a', "0", 1) + image('b', "0", 1)), 2);

        const QByteArray huge =
            "const uint8_t h_map[] = { 1, 0, 0, 0, 4, 0, 0, 0, 0, 0, 0, 8, 0, 0, 0, 0 };\n"
            "const lv_image_dsc_t h = { .header.cf = LV_COLOR_FORMAT_RGB565, .header.flags = "
            "LV_IMAGE_FLAGS_COMPRESSED, .header.w = 8192, .header.h = 8192, .data = h_map };\n";
        try {
            readImageSources(image('a', "0", 1) + huge);
            QFAIL("read");
        } catch (const RuntimeError& e) {
            QVERIFY2(QString::fromUtf8(e.what()).contains(u"images together"), e.what());
        }
    }

    // LZ4 blocks against liblz4's safe decoder: what it reads comes back
    // the same, what it refuses is refused. A match at offset 0, which it
    // lets copy from bytes not written yet, is refused.
    void lz4Blocks_data() {
        QTest::addColumn<QByteArray>("block");
        QTest::addColumn<int>("size");
        // token, literals, offset, [length bytes]; a run of 34 bytes by
        // offset 1 (or another), then 12 literals or a literal and a match.
        const QByteArray lit13 = QByteArray("\xd0") + "abcdefghijklm";
        const auto run = [](const char* offset) {
            return QByteArray::fromHex(QByteArray("1f61") + offset + "0e");
        };
        const QByteArray last12 = QByteArray("\xc0", 1) + "abcdefghijkl";
        const QByteArray match5 = QByteArray::fromHex("0100 50") + "abcde";
        QTest::newRow("literals alone") << lit13 << 13;
        QTest::newRow("empty") << QByteArray(1, '\0') << 0;
        QTest::newRow("empty, with a match length") << QByteArray(1, '\x05') << 0;
        QTest::newRow("run and literals") << run("0100") + last12 << 34 + 12;
        QTest::newRow("run of 300 by offset 2")
            << QByteArray::fromHex("2f6162 0200 ff0e") + last12 << 2 + 4 + 15 + 255 + 14 + 12;
        QTest::newRow("offset 0") << run("0000") + last12 << 34 + 12;
        QTest::newRow("offset before the start") << run("0200") + last12 << 34 + 12;
        QTest::newRow("match into the last 5 bytes")
            << run("0100") + QByteArray("\x40", 1) + "abcd" << 34 + 4;
        QTest::newRow("a match in the last 12 bytes")
            << run("0100") + QByteArray("\xc4", 1) + "abcdefghijkl" + match5 << 34 + 12 + 8 + 5;
        QTest::newRow("literals in the last 12 bytes, not the last")
            << run("0100") + last12 + match5 << 34 + 12 + 4 + 5;
        QTest::newRow("a byte more") << lit13 + 'x' << 13;
        QTest::newRow("cut short") << lit13.chopped(1) << 13;
        QTest::newRow("shorter than said") << lit13 << 14;
        QTest::newRow("longer than said") << lit13 << 12;
        QTest::newRow("length bytes run out") << QByteArray::fromHex("f0ffff") << 600;
    }
    void lz4Blocks() {
        QFETCH(QByteArray, block);
        QFETCH(int, size);
        QByteArray theirs(size + 64, '\0');
        const int n =
            LZ4_decompress_safe(block.constData(), theirs.data(), int(block.size()), size);
        const std::optional<QByteArray> ours = lz4Decompress(block, size);
        if (QByteArray(QTest::currentDataTag()) == "offset 0")
            QVERIFY(!ours);
        else
            QCOMPARE(ours.has_value(), n == size);
        if (ours)
            QCOMPARE(*ours, theirs.left(size));
    }

    // Sizes past the headers' fields are refused with a reason.
    void limits_data() {
        QTest::addColumn<ImageOptions>("options");
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("height");
        QTest::addColumn<bool>("fits");
        ImageOptions v8;
        v8.version = Version::V8;
        v8.format = ColourFormat::A8;
        ImageOptions v9;
        v9.format = ColourFormat::Argb8888;
        QTest::newRow("v8 2047") << v8 << 2047 << 2047 << true;
        QTest::newRow("v8 2048 wide") << v8 << 2048 << 1 << false;
        QTest::newRow("v8 2048 high") << v8 << 1 << 2048 << false;
        QTest::newRow("v9 stride 65532") << v9 << 16383 << 1 << true;
        QTest::newRow("v9 stride 65536") << v9 << 16384 << 1 << false;
        v9.format = ColourFormat::A1;
        QTest::newRow("v9 a1 65535 wide") << v9 << 65535 << 1 << true;
        QTest::newRow("v9 65536 high") << v9 << 1 << 65536 << false;
    }
    void limits() {
        QFETCH(ImageOptions, options);
        QFETCH(int, width);
        QFETCH(int, height);
        QFETCH(bool, fits);
        bool refused = false;
        try {
            layoutOf(options, width, height);
        } catch (const RuntimeError& e) {
            refused = true;
            QVERIFY(QString::fromUtf8(e.what()).contains(QString::number(width)));
        }
        QCOMPARE(refused, !fits);
    }

    // Damaged files are refused with a reason, never read past their end.
    void damaged_data() {
        QTest::addColumn<QByteArray>("file");
        ImageOptions o;
        o.format = ColourFormat::Rgb565A8;
        o.compression = Compression::Lz4;
        const QImage picture = testPicture();
        core::AlphaRows rows(picture);
        core::ByteArraySink good;
        writeImageFile(rows, o, good);
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("header cut") << good.bytes.left(7);
        QTest::newRow("data cut") << good.bytes.chopped(3);
        o.compression = Compression::Rle;
        core::ByteArraySink rle;
        writeImageFile(rows, o, rle);
        // A stream a byte shorter or longer, the header's size made to match.
        const auto resized = [](const QByteArray& file, int by) {
            QByteArray f = by < 0 ? file.chopped(-by) : file + QByteArray(by, '\0');
            qToLittleEndian<quint32>(quint32(f.size() - 24), f.data() + 16);
            return f;
        };
        QTest::newRow("rle stream cut") << resized(rle.bytes, -1);
        QTest::newRow("rle stream a byte longer") << resized(rle.bytes, 1);
        QTest::newRow("lz4 stream a byte longer") << resized(good.bytes, 1);
        QByteArray size = good.bytes;
        size[20] = char(size[20] + 1); // raw size
        QTest::newRow("raw size") << size;
        QByteArray method = good.bytes;
        method[12] = 5;
        QTest::newRow("method") << method;
        QByteArray cf = good.bytes;
        cf[1] = 0x30;
        QTest::newRow("colour format") << cf;
        QTest::newRow("v8 huge, no data") << QByteArray::fromHex("0efcffff");
        // 65535 x 65535 a1, "compressed" to nothing: refused before any memory is taken.
        QTest::newRow("v9 huge, compressed") << QByteArray::fromHex("190b0800ffffffff00200000"
                                                                    "01000000"
                                                                    "00000000"
                                                                    "00e0ff1f");
        QTest::newRow("v8 bits 5-7") << QByteArray::fromHex("ef000000");
    }
    void damaged() {
        QFETCH(QByteArray, file);
        QVERIFY_THROWS_EXCEPTION(RuntimeError, readImageFile(file));
    }

    // Straight ARGB from every kind of picture the decoders give.
    void alphaRows_data() {
        QTest::addColumn<int>("format");
        for (QImage::Format f :
             {QImage::Format_ARGB32, QImage::Format_ARGB32_Premultiplied, QImage::Format_RGBA8888,
              QImage::Format_RGBA64, QImage::Format_Indexed8, QImage::Format_RGB32,
              QImage::Format_Grayscale8, QImage::Format_RGB888})
            QTest::addRow("%d", int(f)) << int(f);
    }
    void alphaRows() {
        QFETCH(int, format);
        QImage source = fewColours(
            {qRgba(250, 10, 40, 255), qRgba(20, 200, 90, 128), qRgba(0, 0, 0, 0), qRgb(77, 77, 77)},
            300, 9);
        const QImage picture = source.convertToFormat(QImage::Format(format));
        const QImage want = picture.convertToFormat(QImage::Format_ARGB32);
        core::AlphaRows rows(picture, 300 * 4 * 2); // strips of two rows
        std::vector<QRgb> row(100);
        for (int y : {0, 5, 6, 1, 8})
            for (int x0 : {0, 200}) {
                rows.read(y, x0, 100, row.data());
                for (int x = 0; x < 100; ++x)
                    QCOMPARE(row[std::size_t(x)], want.pixel(x0 + x, y));
            }
    }
};

QTEST_GUILESS_MAIN(TestLvglImage)
#include "test_lvgl_image.moc"
