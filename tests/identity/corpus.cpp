#include "corpus.h"

#include <cctype>
#include <cstring>

namespace zentraq::identity {
namespace {

QByteArray in(const QString& name) {
    return "../in/" + name.toUtf8();
}

QList<QByteArray> split(const char* words) {
    QList<QByteArray> out;
    for (const QByteArray& w : QByteArray(words).split(' '))
        if (!w.isEmpty())
            out << w;
    return out;
}

class Builder {
public:
    std::vector<Keyed> cases;

    void tool(QList<QByteArray> args, QStringList setup = {}, QByteArray input = {}) {
        Case c;
        c.args = std::move(args);
        c.setup = std::move(setup);
        c.input = std::move(input);
        add(std::move(c));
    }
    // "picture IN" and the words of `options`.
    void picture(const QString& name, const char* options) {
        tool(QList<QByteArray>{"picture", in(name)} + split(options));
    }
    void add(Case c) {
        const QString key = keyOf(c);
        for (const Keyed& k : cases)
            if (k.key == key)
                return; // one case per line of the table
        cases.push_back({key, std::move(c)});
    }
};

void glyphCases(Builder& b) {
    // The window's sizes, the texts of the glyph tests, the layouts.
    for (const char* size : {"12x12", "16x16", "32x32", "6x12", "8x16", "16x32", "5x7", "24x20"})
        for (const char* text : {"中国电子", "Agy|0@", "ÇçŞşţ„"})
            b.tool({"glyph", "--size", size, text});
    for (const char* layout :
         {"--scan row --pad", "--scan column", "--scan column --pad", "--scan page", "--scan band",
          "--msb-first", "--invert", "--scan page --msb-first --invert", "--scan band --msb-first"})
        for (const char* size : {"16x16", "13x9"})
            b.tool(QList<QByteArray>{"glyph", "--size", size, "A中g"} + split(layout));
    b.tool(split("glyph --size 8x16 --ascii --format c --name font8x16 -o out.h"));
    b.tool(split("glyph --size 8x16 --scan page --ascii --format c -o out.h"));
    b.tool(split("glyph --size 16x16 --binary -o out.bin 电子"));
    b.tool(split("glyph --size 16x16 --format hex -q 电子"));
    b.tool({"glyph", "--size", "16x16", "--input", in("menu.txt"), "--format", "c"});
    b.tool({"glyph", "--size", "16x16", "--input", "-"}, {}, "设置\r\nA\nB\r");
    b.tool({"glyph", "--size", "12x12", "--pixel-size", "14", "--font", "DejaVu Sans", "Hg°"});
    b.tool({"glyph", "--size", "24x24", "--font-file", DejaVuSerif, "--format", "c", "Qj中"});
    b.tool({"glyph", "--size", "16x16", "--font", "AR PL SungtiL GB", "汉字A"});
    b.tool({"glyph", "--size", "16x16", "--missing", "A\u0378中\U000F0000"});
    b.tool({"glyph", "--size", "16x16", "--font-file", DejaVuSans, "--missing", "A中"});
    // A bitmap face at its strike, and at a size it lacks.
    for (const char* size : {"12x12", "16x16"})
        b.tool({"glyph", "--size", size, "--font-file", in("test12.bdf"), "A"});
}

void libraryCases(Builder& b) {
    for (const char* layout : {"", "--scan column --pad", "--scan page --msb-first", "--invert"})
        for (const char* form : {"--binary", "--format hex", "--format c --name lib"})
            b.tool(split("library --charset ascii --size 8x16 -o out") + split(layout) +
                   split(form));
    b.tool({"library", "--charset", in("menu.txt"), "--size", "12x12", "--format", "c", "--name",
            "menu_font", "-o", "out.h"});
    b.tool({"library", "--charset", in("menu.txt"), "--size", "16x16", "-o", "out.bin"});
    b.tool(split("library --charset gb2312 --size 12x12 -o out.bin"));
    b.tool({"library", "--charset", "ascii", "--size", "16x16", "--font", "DejaVu Sans", "-o",
            "out.bin"});
    b.tool({"library", "--charset", in("menu.txt"), "--size", "16x16", "--missing"});
    b.tool({"library", "--charset", "ascii", "--size", "16x16", "--pixel-size", "14", "--font-file",
            in("test12.bdf"), "-o", "out.bin"});
}

void pictureCases(Builder& b, const Inputs& inputs) {
    // Every picture: the window's conversion (PNG by the quick path), an
    // LVGL image that keeps alpha, and the C form.
    for (const QString& p : inputs.pictures) {
        b.picture(p, "-o out.txt");
        b.picture(p, "--format c --name pic -o out.h");
        b.picture(p, "--format lvgl --cf argb8888 -o out.c");
    }
    for (const QString& p : inputs.metafiles)
        b.picture(p, "-o out.txt");

    // Pixel formats, forms, dithering and their options.
    const char* formats[] = {"rgb565", "bgr565", "rgb888", "bgr888", "rgb666",
                             "rgb332", "gray8",  "gray4",  "gray2",  "mono"};
    for (const char* f : formats) {
        for (const char* picture : {"partial.png", "opaque.png"}) {
            b.picture(QString::fromLatin1(picture), (QByteArray("--pixel ") + f + " -o out.txt"));
            b.picture(QString::fromLatin1(picture),
                      (QByteArray("--pixel ") + f + " --format c -o out.h"));
        }
        b.picture(QStringLiteral("partial.png"),
                  (QByteArray("--pixel ") + f + " --binary -o out.bin"));
    }
    for (const char* f : {"rgb565", "bgr565", "rgb666", "rgb332", "gray4", "gray2", "mono"})
        for (const char* d : {"floyd-steinberg", "bayer4"})
            b.picture(QStringLiteral("partial.png"),
                      QByteArray("--pixel ") + f + " --dither " + d + " --format c -o out.h");
    for (const char* f : {"rgb565", "bgr565"}) {
        b.picture(QStringLiteral("partial.png"),
                  QByteArray("--pixel ") + f + " --byte-order high-first -o out.txt");
        b.picture(QStringLiteral("partial.png"),
                  QByteArray("--pixel ") + f + " --byte-order high-first --format c -o out.h");
    }
    for (const char* f : {"gray8", "gray4", "gray2", "mono"})
        b.picture(QStringLiteral("partial.png"),
                  QByteArray("--pixel ") + f + " --invert --format c -o out.h");
    for (const char* t : {"0", "50", "200", "255"})
        b.picture(QStringLiteral("partial.png"),
                  QByteArray("--pixel mono --threshold ") + t + " -o out.txt");
    b.picture(QStringLiteral("partial.png"),
              "--format c --name logo --attribute PROGMEM -q -o out.h");
    b.picture(QStringLiteral("partial.png"), "--background black -o out.txt");
    b.picture(QStringLiteral("partial.png"), "--background #336699 --format c -o out.h");
    b.picture(QStringLiteral("partial.png"), "");
    b.picture(QStringLiteral("deep.png"), "--pixel rgb888 -o out.txt");

    // Layouts of the packed formats, on a picture of odd sides.
    for (const char* f : {"gray4", "gray2", "mono"})
        for (const char* scan : {"row", "column", "page", "band"})
            for (const char* extra : {"", " --pad", " --msb-first", " --pad --msb-first"}) {
                const bool band = !std::strcmp(scan, "page") || !std::strcmp(scan, "band");
                if (band && std::strstr(extra, "pad"))
                    continue;
                b.picture(QStringLiteral("opaque.png"), QByteArray("--pixel ") + f + " --scan " +
                                                            scan + extra + " --format c -o out.h");
            }

    // Fitting.
    for (const char* fit :
         {"--rotate 90", "--rotate 180", "--rotate 270", "--flip horizontal", "--flip vertical",
          "--resize 16x16", "--resize 16x16 --fit cover", "--resize 16x16 --fit stretch",
          "--resize 40x30", "--resize 7x40 --fit contain --background black",
          "--rotate 90 --flip vertical --resize 20x10 --fit cover",
          "--rotate 270 --pixel mono --dither floyd-steinberg --scan page --resize 32x16"})
        b.picture(QStringLiteral("partial.png"), QByteArray(fit) + " --format c -o out.h");

    // LVGL images: every colour format, C and file, both versions.
    const char* v9[] = {"argb8888", "argb8888-premultiplied",
                        "xrgb8888", "rgb888",
                        "rgb565",   "rgb565-swapped",
                        "argb8565", "rgb565a8",
                        "l8",       "a1",
                        "a2",       "a4",
                        "a8",       "i1",
                        "i2",       "i4",
                        "i8"};
    for (const char* cf : v9) {
        b.picture(QStringLiteral("partial.png"),
                  QByteArray("--format lvgl --cf ") + cf + " --name img -o out.c");
        b.picture(QStringLiteral("partial.png"),
                  QByteArray("--format lvgl-bin --cf ") + cf + " -o out.bin");
        b.picture(QStringLiteral("binary.png"),
                  QByteArray("--format lvgl-bin --cf ") + cf + " -o out.bin");
    }
    for (const char* cf : {"argb8888", "rgb565a8", "rgb565", "l8", "a2", "i4", "i8", "argb8565"})
        for (const char* method : {"rle", "lz4"}) {
            b.picture(QStringLiteral("partial.png"), QByteArray("--format lvgl --cf ") + cf +
                                                         " --compress " + method + " -o out.c");
            b.picture(QStringLiteral("binary.png"), QByteArray("--format lvgl-bin --cf ") + cf +
                                                        " --compress " + method + " -o out.bin");
        }
    for (const char* cf : {"rgb565", "i2", "a1", "rgb888"})
        for (const char* align : {"4", "64"})
            b.picture(QStringLiteral("opaque.png"), QByteArray("--format lvgl-bin --cf ") + cf +
                                                        " --stride-align " + align + " -o out.bin");
    for (const char* cf : {"rgb565", "i4", "i1", "l8"})
        for (const char* d : {"floyd-steinberg", "bayer4"})
            b.picture(QStringLiteral("partial.png"),
                      QByteArray("--format lvgl --cf ") + cf + " --dither " + d + " -o out.c");
    for (const char* cf : {"rgb565", "xrgb8888", "l8", "rgb888"})
        b.picture(QStringLiteral("partial.png"),
                  QByteArray("--format lvgl --cf ") + cf + " --background black -o out.c");
    b.picture(QStringLiteral("partial.png"),
              "--format lvgl --attribute LV_ATTRIBUTE_LARGE_CONST --name icon -o out.c");
    b.picture(QStringLiteral("partial.png"), "--format lvgl --resize 20x20 -o out.c");
    b.picture(QStringLiteral("partial.png"), "--format lvgl --rotate 90 --cf i2 -o out.c");
    b.picture(QStringLiteral("partial.png"), "--format lvgl --lvgl 8 --attribute PROGMEM -o out.c");
    const char* v8[] = {"true-color", "true-color-alpha", "a1", "a2", "a4", "a8", "i1", "i2", "i4",
                        "i8"};
    for (const char* cf : v8) {
        b.picture(QStringLiteral("partial.png"),
                  QByteArray("--format lvgl --lvgl 8 --cf ") + cf + " -o out.c");
        b.picture(QStringLiteral("partial.png"),
                  QByteArray("--format lvgl-bin --lvgl 8 --cf ") + cf + " -o out.bin");
    }
    for (const char* depth : {"16-swap", "32"})
        for (const char* cf : {"true-color", "true-color-alpha"}) {
            b.picture(QStringLiteral("partial.png"), QByteArray("--format lvgl --lvgl 8 --cf ") +
                                                         cf + " --color-depth " + depth +
                                                         " -o out.c");
            b.picture(QStringLiteral("partial.png"),
                      QByteArray("--format lvgl-bin --lvgl 8 --cf ") + cf + " --color-depth " +
                          depth + " -o out.bin");
        }

    // The Arduino arrays.
    for (const char* options :
         {"--format c16 -o out.h", "--format c16 --pixel bgr565 -o out.h",
          "--format c16 --byte-order high-first --attribute PROGMEM --name splash -o out.h",
          "--format c16 --dither bayer4 --background black -o out.h",
          "--format c16 --resize 20x20 --fit cover -o out.h", "--format xbm -o out.h",
          "--format xbm --dither floyd-steinberg --name logo -o out.h",
          "--format xbm --invert --threshold 90 --attribute PROGMEM -o out.h",
          "--format xbm --rotate 90 -o out.h", "--format xbm --background black -o out.h"}) {
        b.picture(QStringLiteral("partial.png"), options);
        b.picture(QStringLiteral("opaque.png"), options);
    }

    // Frames of an animated picture, in every form.
    for (const char* options :
         {"--frames all -o out.txt", "--frames all --format c --name anim -o out.h",
          "--frames 0-1 --format lvgl -o out.c", "--frames all --format lvgl-bin -o out.bin",
          "--frames 1 --format c16 -o out.h", "--frames all --format xbm -o out.h",
          "--frames all --binary -o out.bin", "--frames all --panel bwr --format c -o out.h",
          "--frames all --panel bwr --planes --format c -o out.h", "--frames 99 -o out.txt",
          "--frames 2-1 -o out.txt", "--frames all --format lvgl --cf raw -o out.c"})
        b.picture(QStringLiteral("anim.gif"), options);
    // Colour e-paper panels.
    for (const char* options :
         {"--panel bw -o out.txt", "--panel bwr --format c -o out.h",
          "--panel 7color --dither floyd-steinberg --binary -o out.bin",
          "--panel bwry --planes --format c --name epd -o out.h", "--panel bwr --planes -o out.txt",
          "--panel bwr --format lvgl -o out.c", "--panel bwr --pixel mono -o out.txt",
          "--planes -o out.txt", "--panel nothing.txt -o out.txt",
          "--panel bwr --dither bayer4 -o out.txt",
          "--panel bwry --dither floyd-steinberg --planes --binary -o out.bin"})
        b.picture(QStringLiteral("partial.png"), options);
    // LVGL: picture files kept as they are, premultiplied colours, al88.
    for (const char* options :
         {"--format lvgl --cf raw --name logo -o out.c",
          "--format lvgl-bin --cf raw-alpha -o out.bin", "--format lvgl --lvgl 8 --cf raw -o out.c",
          "--format lvgl --cf raw --resize 10x10 -o out.c",
          "--format lvgl --cf rgb565a8 --premultiply -o out.c",
          "--format lvgl-bin --cf argb8565 --premultiply -o out.bin", "--premultiply -o out.txt",
          "--format lvgl --cf al88 -o out.c",
          "--format lvgl-bin --cf al88 --compress rle -o out.bin",
          "--format lvgl-bin --lvgl 8 --color-depth 16-swap -o out.bin",
          "--format lvgl --cf i4 --stride-align 64 --compress rle -o out.c"})
        b.picture(QStringLiteral("partial.png"), options);
    for (const char* options : {"--panel bwr", "--panel 7color --height 4", "--panel bw --planes"})
        b.tool(QList<QByteArray>{"preview", in(QStringLiteral("pattern.bin")), "--binary",
                                 "--width", "8"} +
               split(options) + QList<QByteArray>{"-o", "p.png"});

    // Options the shapes refuse, with their messages.
    for (const char* refused : {"--format xbm --pixel rgb565",
                                "--format xbm --scan page",
                                "--format c16 --pixel mono",
                                "--format c16 --pixel rgb888",
                                "--format lvgl --pixel rgb565",
                                "--format lvgl --invert",
                                "--format lvgl --cf true-color",
                                "--format lvgl --lvgl 8 --cf rgb565",
                                "--format lvgl --color-depth 32",
                                "--format lvgl --lvgl 8 --compress rle",
                                "--format lvgl --stride-align 3",
                                "--format lvgl-bin --name x",
                                "--cf i4",
                                "--compress lz4",
                                "--format c16 --cf i4",
                                "--attribute PROGMEM",
                                "--format c --attribute a;b",
                                "--pixel rgb888 --dither bayer4",
                                "--format lvgl --lvgl 7",
                                "--format lvgl8",
                                "--format lvgl --cf i9",
                                "--format hex --binary",
                                "--format lvgl --stride-align 512",
                                "--format lvgl --dither bayer4",
                                "--format lvgl --cf a4 --dither floyd-steinberg",
                                "--format lvgl --premultiply",
                                "--format lvgl --cf i8 --premultiply",
                                "--format lvgl --cf raw --compress lz4",
                                "--format lvgl --cf raw-alpha --stride-align 4",
                                "--format c16 --lvgl 8",
                                "--format xbm --compress rle",
                                "--binary --compress rle --color-depth 32",
                                "--format xbm --pixel gray4 --scan page"})
        b.picture(QStringLiteral("partial.png"), QByteArray(refused) + " -o out.x");
}

void previewCases(Builder& b, const Inputs& inputs) {
    for (const QString& d : inputs.dataTexts) {
        b.tool({"preview", in(d), "--size", "8x16", "-o", "p.png"});
        b.tool({"preview", in(d), "--width", "4", "--pixel", "mono", "-o", "p.png"});
    }
    for (const QString& image : inputs.lvglImages) {
        const QByteArray format = image.endsWith(QLatin1String(".bin")) ? "lvgl-bin" : "lvgl";
        b.tool({"preview", in(image), "--format", format, "-o", "p.png"});
        b.tool({"preview", in(image), "--format", format, "--color-depth", "32", "--scale", "3",
                "-o", "p.png"});
    }
    // Data of bytes 0, 37, 74, ... as the pixel formats and layouts read it.
    for (const char* options :
         {"--width 8", "--width 8 --byte-order high-first", "--width 4 --pixel rgb888",
          "--width 4 --pixel rgb666 --scale 2", "--width 16 --pixel rgb332",
          "--width 16 --pixel gray8 --invert", "--width 16 --pixel gray4 --msb-first",
          "--width 16 --pixel gray2 --scan page", "--width 16 --pixel mono --scan band",
          "--width 7 --pixel mono --scan column --height 16", "--width 8 --pixel bgr565 --height 8",
          "--size 8x16", "--size 8x16 --scan page --columns 4 --scale 2",
          "--size 16x16 --scan column --pad --invert", "--size 5x7 --msb-first",
          "--width 9 --pixel mono", "--size 7x7"})
        b.tool(QList<QByteArray>{"preview", in(QStringLiteral("pattern.bin")), "--binary"} +
               split(options) + QList<QByteArray>{"-o", "p.png"});
    b.tool({"preview", in(QStringLiteral("pattern.txt")), "--width", "8", "-o", "p.png"});
    b.tool({"preview", "-", "--size", "8x8", "-o", "p.png"}, {}, "0x01,0x02,0x04,0x08,\r\n");
}

void fontCases(Builder& b) {
    const QList<QByteArray> sans{"font", "--font-file", DejaVuSans, "--size",
                                 "16",   "--range",     "0x20-0x7E"};
    for (const char* options :
         {"", "--bpp 1", "--bpp 2", "--bpp 8", "--lvgl 8", "--lvgl 8 --bpp 8", "--no-compress",
          "--no-prefilter", "--no-kerning", "--no-hinting", "--lv-include lvgl.h --name f16",
          "--lvgl 8 --bpp 2 --no-prefilter", "-q"})
        b.tool(sans + split(options) + QList<QByteArray>{"-o", "font.c"});
    for (const char* options : {"", "--bpp 1", "--bpp 2", "--bpp 8", "--lvgl 8", "--no-compress",
                                "--no-kerning", "--lvgl 8 --bpp 1 --no-hinting"})
        b.tool(sans + split("--format lvgl-bin") + split(options) +
               QList<QByteArray>{"-o", "font.bin"});
    for (const char* options :
         {"", "--bpp 1", "--bpp 8", "--no-compress", "--no-kerning", "--bpp 2 --no-prefilter"})
        b.tool(sans + split("--format lvgl-flash") + split(options) +
               QList<QByteArray>{"-o", "font.bin"});
    // Kerning as classes, Latin-1, a large size.
    b.tool({"font", "--font", "DejaVu Sans", "--size", "32", "--range", "0x20-0x7E,0xA0-0xFF", "-o",
            "font.c"});
    b.tool({"font", "--font", "DejaVu Sans", "--size", "32", "--range", "0x20-0x7E,0xA0-0xFF",
            "--format", "lvgl-bin", "-o", "font.bin"});
    b.tool({"font", "--font", "DejaVu Sans", "--size", "32", "--range", "0x20-0x7E,0xA0-0xFF",
            "--format", "lvgl-flash", "-o", "font.bin"});
    b.tool({"font", "--font", "DejaVu Serif", "--size", "120", "--range", "0x41-0x5A", "--bpp", "8",
            "--lvgl", "8", "-o", "font.c"});
    b.tool({"font", "--font-file", DejaVuSans, "--size", "12", "--symbols", "°€·", "--range",
            "0x30-0x39", "--charset", "ascii", "-o", "font.c"});
    b.tool({"font", "--font-file", DejaVuSans, "--size", "16", "--range", "0x41", "--lv-fallback",
            "font_cjk_16", "-o", "font.c"});
    // Chinese: both faces of the collection, a charset file, a sample.
    b.tool({"font", "--font-file", UMing, "--size", "16", "--charset", in("menu.txt"), "--range",
            "0x20-0x7E", "--lvgl", "8", "--name", "font_menu_16", "-o", "font.c", "--sample",
            "设置 Setup", "--sample-output", "menu.png"});
    b.tool({"font", "--font-file", UMing, "--face-index", "1", "--size", "20", "--symbols",
            "温度设置", "--format", "lvgl-bin", "-o", "font.bin"});
    b.tool({"font", "--font-file", UMing, "--size", "16", "--charset", in("menu.txt"), "--range",
            "0x20-0x7E", "--format", "lvgl-flash", "-o", "font.bin", "--sample", "设置 Setup",
            "--sample-output", "menu.png"});
    b.tool({"font", "--font", "AR PL SungtiL GB", "--size", "14", "--charset", in("menu.txt"),
            "--bpp", "2", "-o", "font.c"});
    b.tool({"font", "--font-file", UMing, "--size", "16", "--charset", "gb2312", "--bpp", "2",
            "--no-kerning", "-o", "font.c"});
    // GFX.
    b.tool({"font", "--format", "gfx", "--font-file", DejaVuSerif, "--points", "12", "--range",
            "0x20-0x7E", "-o", "font.h"});
    b.tool({"font", "--format", "gfx", "--font", "DejaVu Sans", "--points", "9", "--dpi", "100",
            "--range", "0x20-0xFF", "--name", "sans9", "-o", "font.h"});
    b.tool({"font", "--format", "gfx", "--font-file", DejaVuSans, "--points", "7", "--symbols",
            "AZ", "-o", "font.h", "--sample", "ZA AZ", "--sample-output", "s.png"});
    b.tool({"font", "--format", "gfx", "--font-file", DejaVuSans, "--points", "10", "--range",
            "0x41", "-q"});
    // TFT_eSPI.
    b.tool({"font", "--format", "vlw", "--font", "DejaVu Sans", "--size", "20", "--range",
            "0x20-0x7E,0xA0-0xFF", "-o", "font.vlw"});
    b.tool({"font", "--format", "vlw", "--font-file", DejaVuSerif, "--size", "11", "--bpp", "4",
            "--range", "0x20-0x7E", "-o", "font.vlw", "--sample", "Hello, 21 °C", "--sample-output",
            "s.png"});
    b.tool({"font", "--format", "vlw-c", "--font", "DejaVu Sans", "--size", "20", "--range",
            "0x20-0x7E", "--name", "dejavu20", "-o", "font.h"});
    b.tool({"font", "--format", "vlw-c", "--font-file", UMing, "--size", "12", "--bpp", "1",
            "--no-hinting", "--symbols", "中文", "-o", "font.h"});
    b.tool({"font", "--font-file", DejaVuSans, "--size", "16", "--range", "0x20-0x7E", "-o",
            "font.c", "--sample", "AV To.\nWa", "--sample-output", "s.png"});
    // u8g2 in its build modes, raw, with codes above U+00FF and a sample;
    // BDF; a BDF face as input, at its strike and at a size it lacks.
    for (const char* mode : {"t", "h", "m", "8"})
        b.tool({"font", "--format", "u8g2", "--font-file", DejaVuSans, "--points", "12", "--range",
                "0x20-0x7E", "--u8g2-mode", mode, "--name", "sans12", "-o", "font.c"});
    // Monospace cells as wide as the widest advance, wider than any ink.
    b.tool({"font", "--format", "u8g2", "--font-file", DejaVuSans, "--points", "12", "--symbols",
            ". ", "--u8g2-mode", "m", "-o", "font.c"});
    b.tool({"font", "--format", "u8g2-bin", "--font", "DejaVu Sans", "--size", "10", "--range",
            "0x20-0xFF", "-o", "font.bin"});
    b.tool({"font", "--format", "u8g2", "--font-file", UMing, "--points", "16", "--charset",
            in("menu.txt"), "--range", "0x20-0x7E", "-o", "font.c", "--sample", "设置 Setup",
            "--sample-output", "menu.png"});
    b.tool({"font", "--format", "bdf", "--font-file", DejaVuSerif, "--size", "16", "--range",
            "0x20-0x7E,0xB0", "-o", "font.bdf"});
    b.tool({"font", "--format", "u8g2", "--font-file", in("test12.bdf"), "--size", "12", "--range",
            "0x20-0xFF,0x2588,0x2592,0x4E00-0x4EFF", "--u8g2-mode", "h", "-o", "font.c"});
    // The same face in the other modes, and its ideographs alone (the header
    // takes 'A', 'g' and '(' from the face): each font is bdfconv's, byte for
    // byte (bdfconv -f 1 -b MODE -m 32-65535 -n test_font test12.bdf).
    for (const char* mode : {"t", "m", "8"})
        b.tool({"font", "--format", "u8g2", "--font-file", in("test12.bdf"), "--size", "12",
                "--range", "0x20-0xFFFF", "--u8g2-mode", mode, "--name", "test_font", "-o",
                "font.c"});
    b.tool({"font", "--format", "u8g2", "--font-file", in("test12.bdf"), "--size", "12", "--range",
            "0x4E00-0x4EE5", "--name", "test_font", "-o", "font.c"});
    b.tool({"font", "--font-file", in("test12.bdf"), "--size", "12", "--bpp", "2", "--range",
            "0x20-0x7E", "-o", "font.c"});
    b.tool({"font", "--format", "bdf", "--font-file", in("small.bdf"), "--size", "8", "--range",
            "0x20-0x7E", "-o", "font.bdf"});
    b.tool({"font", "--format", "u8g2", "--font-file", in("small.bdf"), "--size", "12", "--range",
            "0x20-0x7E", "-o", "f.c"});
    b.tool({"font", "--format", "u8g2", "--font-file", DejaVuSans, "--size", "16", "--range",
            "0x41,0x1F600", "-o", "f.c"});
    b.tool({"font", "--format", "u8g2", "--font-file", DejaVuSans, "--points", "200", "--range",
            "0x41-0x42", "-o", "f.c"});
    b.tool({"font", "--format", "u8g2", "--font-file", DejaVuSans, "--points", "80", "--symbols",
            "@W", "-o", "f.c"});
    // The union of the character options; a fallback font; the largest
    // u8g2 size and one more; five missing characters named and one counted.
    b.tool({"font", "--font-file", UMing, "--size", "16", "--format", "vlw", "--charset", "ascii",
            "--symbols", "AB中", "--range", "0x4E00", "--range", "0x4E01", "--charset",
            in("menu.txt"), "-o", "font.vlw"});
    for (const char* v : {"9", "8"})
        b.tool({"font", "--font-file", DejaVuSans, "--size", "16", "--range", "65", "--lvgl", v,
                "--lv-fallback", "font_cjk_16", "-o", "font.c"});
    for (const char* points : {"72", "73"})
        b.tool({"font", "--font-file", DejaVuSans, "--format", "u8g2", "--symbols", "@ ",
                "--points", points, "-o", "f.c"});
    b.tool({"font", "--font-file", DejaVuSans, "--size", "12", "--range", "0x41-0x43", "--symbols",
            "中文字体测试", "-o", "f.c"});
    // --missing, and what each format refuses.
    b.tool({"font", "--font-file", DejaVuSans, "--size", "16", "--symbols", "A中\U0001F600",
            "--missing"});
    b.tool({"font", "--font-file", DejaVuSans, "--size", "16", "--symbols", "A中", "-o", "f.c"});
    b.tool({"font", "--font-file", DejaVuSans, "--size", "16", "--symbols", "中", "-o", "f.c"});
    for (const char* refused :
         {"--format gfx --size 16", "--format gfx --points 12 --bpp 4", "--format gfx",
          "--format gfx --points 12 --no-hinting", "--format gfx --points 600 --dpi 300",
          "--format vlw --size 16 --lvgl 8", "--format vlw --size 16 --no-kerning",
          "--format vlw --size 16 --name x", "--format lvgl-bin --size 16 --name x",
          "--format lvgl-bin --size 16 --lv-include x.h", "--format gfx --points 12 --dpi 0",
          "--size 16 --bpp 3", "--size 0", "--size 16 --lvgl 7", "--format pcf --size 16",
          "--size 16 --dpi 100", "--size 16 --name int", "--size 16 --sample x",
          "--format vlw-c --size 16 --points 3"})
        b.tool(QList<QByteArray>{"font", "--font-file", DejaVuSans, "--range", "0x41-0x42"} +
               split(refused) + QList<QByteArray>{"-o", "f.out"});
    for (const char* refused :
         {"--format lvgl-flash --size 16 --lvgl 8", "--format lvgl-flash --size 16 --name x"})
        b.tool(QList<QByteArray>{"font", "--font-file", DejaVuSans, "--range", "0x41-0x42"} +
               split(refused) + QList<QByteArray>{"-o", "f.out"});
    for (const char* refused : {"--range 0x7E-0x20", "--range 0x110000", "--charset nothing.txt"})
        b.tool(QList<QByteArray>{"font", "--font-file", DejaVuSans, "--size", "16"} +
               split(refused) + QList<QByteArray>{"-o", "f.out"});
    b.tool({"font", "--format", "gfx", "--font-file", DejaVuSans, "--points", "12", "--range",
            "0x41,0x4E00", "-o", "f.h"});
    b.tool({"font", "--format", "vlw", "--font-file", DejaVuSans, "--size", "12", "--range",
            "0x41,0x1D400", "-o", "f.vlw"});
    b.tool({"font", "--font-file", DejaVuSans, "--size", "16", "--range", "0x41", "--format",
            "lvgl-bin", "--sample", "A", "--sample-output", "-"});
}

void otherCases(Builder& b, const Inputs& inputs) {
    b.tool({"help"});
    for (const char* command : {"glyph", "picture", "preview", "library", "font"}) {
        b.tool({"help", command});
        b.tool({command, "--help"});
    }
    // The command-line seeds of the fuzzer, with the files they name (the
    // version changes with every release: left out).
    for (const auto& [name, args] : inputs.optionSeeds) {
        if (name == QLatin1String("version.args"))
            continue;
        QByteArray input;
        if (name == QLatin1String("preview-picture.args"))
            for (int i = 0; i < 120 * 2 * 5; ++i)
                input += char(i * 37);
        else if (name == QLatin1String("glyph-missing.args"))
            input = "A中\u0378\n";
        b.tool(args, seedFiles(), input);
    }
}

void laterCases(Builder& b) {
    // The GBK library, and GB2312 as C.
    b.tool(split("library --charset gbk --size 8x8 --scan page -o out.bin"));
    b.tool(split("library --charset gb2312 --size 16x16 --format c -o out.h"));
    b.tool(split("glyph --size 16x16 --pixel-size 8 --format c A"));
    b.tool(split("glyph --size 256x256 --binary -o out.bin A"));
    b.tool(split("library --charset gbk --size 1x1 --format c -o out.h"));
    b.tool({"font", "--font", "DejaVu Sans", "--size", "32", "--range", "0x20-0x7E,0xA0-0xFF",
            "--format", "lvgl-flash", "--lvgl", "9", "-o", "font.bin"});
    b.tool({"glyph", "--size", "8x16", "A\xff"});
    // The characters of sources (a text file is all characters) in each
    // command that takes them; read as GBK; alongside --charset.
    const QByteArray menu = in(QStringLiteral("menu.txt"));
    b.tool({"library", "--chars-from", menu, "--size", "16x16", "-o", "out.bin"});
    b.tool({"library", "--chars-from", menu, "--size", "16x16", "--list-chars"});
    b.tool({"glyph", "--chars-from", menu, "--size", "16x16", "--format", "c", "-o", "out.h"});
    b.tool({"glyph", "--chars-from", menu, "--size", "16x16", "--list-chars"});
    b.tool({"font", "--font-file", UMing, "--size", "16", "--chars-from", menu, "--list-chars"});
    b.tool({"font", "--font-file", UMing, "--size", "16", "--chars-from", menu, "--source-encoding",
            "gbk", "--list-chars"});
    b.tool({"font", "--font-file", UMing, "--size", "16", "--chars-from", menu, "--charset",
            "ascii", "--bpp", "2", "-o", "font.c"});
    b.tool({"library", "--chars-from", menu, "--charset", "gb2312", "--size", "16x16"});
    // Data text that preview refuses, each problem in the tool's words.
    for (const char* data :
         {"0x01,0x100,\r\n", "0x01,12,0x02,", "0x01,\r\n-0x02,", "A\xC3(", "#define A 0x01\r\n"})
        b.tool(split("preview - --size 8x16 -o p.png"), {}, data);
    // What --depfile, --keep-unchanged and --sample-output refuse.
    for (const char* refused :
         {"-o out.txt --depfile no/such/deps.d", "--depfile deps.d", "-o - --depfile deps.d",
          "--keep-unchanged", "-o out.txt --depfile out.txt",
          "-o out.txt --depfile ./no/../out.txt"})
        b.tool(QList<QByteArray>{"picture", in(QStringLiteral("opaque.png"))} + split(refused));
    b.tool({"picture", in(QStringLiteral("opaque.png")), "-o", "out\n.txt", "--depfile", "deps.d"});
    b.tool(split("glyph --size 8x16 --missing a --depfile deps.d"));
    const QList<QByteArray> sample{"font",    "--font-file", DejaVuSans, "--size", "12",
                                   "--range", "65",          "--sample", "A"};
    for (const char* refused :
         {"-o out.txt --sample-output ./out.txt",
          "-o out.txt --depfile deps.d --sample-output deps.d", "--sample-output -"})
        b.tool(sample + split(refused));
    // The characters each face group lacks, named with its face, and
    // listed; frames as image files on standard output.
    const QList<QByteArray> groups{"font",        "--font-file", DejaVuSans,  "--range",
                                   "0x41,0x4E2D", "--font-file", DejaVuSerif, "--range",
                                   "0x4E00,0x42", "--size",      "16"};
    b.tool(groups + split("-o f.c"));
    b.tool(groups + split("--missing"));
    b.tool({"font", "--size", "16", "--format", "vlw", "--font-file", DejaVuSans, "--range",
            "0x41-0x43", "--font-file", DejaVuSerif, "--range", "0x42-0x44", "-o", "font.vlw"});
    b.tool({"picture", in(QStringLiteral("anim.gif")), "--frames", "0", "--format", "lvgl-bin",
            "-o", "-"});
    // What the font command refuses in its face groups, moved codes,
    // fallback font, hinting and source options.
    const QList<QByteArray> sans{"font", "--font-file", DejaVuSans, "--size", "16"};
    const QList<QByteArray> one = sans + QList<QByteArray>{"--range", "65"};
    b.tool(sans + split("-o f.c"));
    b.tool(sans + QList<QByteArray>{"--symbols", "\n", "-o", "f.c"});
    b.tool(sans + split("--range 0x41-0x43=>0x10FFFE -o f.c"));
    b.tool(sans + split("--range 0x41=> -o f.c"));
    for (const char* refused :
         {"--lv-fallback font-cjk", "--lv-fallback static", "--lv-fallback f",
          "--lv-fallback f2 --format lvgl-bin", "--autohint-off --autohint-strong",
          "--source-encoding gbk", "--source-encoding big5"})
        b.tool(one + split(refused) + split("-o f.c"));
    b.tool(one + QList<QByteArray>{"--font", "DejaVu Serif", "-o", "f.c"});
    b.tool(one + QList<QByteArray>{"--font", "DejaVu Serif", "--face-index", "1", "--range", "66",
                                   "-o", "f.c"});
    b.tool({"font", "--font-file", DejaVuSans, "--format", "gfx", "--points", "12", "--range",
            "0x1D538-0x1D539", "-o", "f.c"});
    b.tool({"font", "--font-file", DejaVuSans, "--format", "gfx", "--points", "12", "--range", "65",
            "--autohint-strong", "-o", "f.c"});
    b.tool({"font", "--font-file", UMing, "--face-index", "1", "--face-index", "2", "--size", "16",
            "--range", "65", "-o", "f.c"});
}

void windowCases(Builder& b, const Inputs& inputs) {
    const QStringList buttons{QStringLiteral("Command1"), QStringLiteral("Command5"),
                              QStringLiteral("Command6"), QStringLiteral("Command7"),
                              QStringLiteral("Command8"), QStringLiteral("Command9")};
    for (const QString& button : buttons)
        for (const QString& text :
             {QStringLiteral("Morvane电子\r\n"), QStringLiteral("中国电子"),
              QStringLiteral("Agy|0@"), QStringLiteral("ÇçŞşţ„\n\r\t"),
              QStringLiteral(" !\"#$%&'()*+,-./0123456789:;<=>?@ABCDEFGHIJKLMNOPQRSTUVWXYZ"
                             "[\\]^_`abcdefghijklmnopqrstuvwxyz{|}~")}) {
            Case c;
            c.kind = Kind::WindowGlyph;
            c.button = button;
            c.text = text;
            b.add(std::move(c));
        }
    for (const QString& p : inputs.pictures + inputs.metafiles) {
        Case c;
        c.kind = Kind::WindowPicture;
        c.picture = p;
        b.add(std::move(c));
    }
}

QString quoted(const QByteArray& arg) {
    QString text;
    bool plain = !arg.isEmpty();
    const QString utf8 = QString::fromUtf8(arg);
    const bool valid = utf8.toUtf8() == arg;
    for (const char ch : arg) {
        const auto u = static_cast<unsigned char>(ch);
        if (!(std::isalnum(u) || u >= 0x80 || std::strchr("_./=:,+-@%^", ch)))
            plain = false;
    }
    if (valid) {
        for (const QChar c : utf8) {
            if (c.unicode() < 0x20 || c.unicode() == 0x7F)
                text += QStringLiteral("\\x%1").arg(c.unicode(), 2, 16, QLatin1Char('0'));
            else if (c == u'\'')
                text += QStringLiteral("'\\''");
            else
                text += c;
        }
    } else {
        for (const char ch : arg) {
            const auto u = static_cast<unsigned char>(ch);
            if (u < 0x20 || u >= 0x7F)
                text += QStringLiteral("\\x%1").arg(u, 2, 16, QLatin1Char('0'));
            else
                text += QLatin1Char(ch);
        }
    }
    return plain && valid ? text : u'\'' + text + u'\'';
}

} // namespace

QString keyOf(const Case& c) {
    switch (c.kind) {
    case Kind::Tool: {
        QStringList words{QStringLiteral("zentraq-cli")};
        for (const QByteArray& a : c.args)
            words << quoted(a);
        QString key = words.join(u' ');
        if (c.input.size() > 40)
            key += QStringLiteral(" < (%1 bytes)").arg(c.input.size());
        else if (!c.input.isEmpty())
            key += QStringLiteral(" < ") + quoted(c.input);
        return key;
    }
    case Kind::WindowGlyph:
        return QStringLiteral("window %1 Text1=%2").arg(c.button, quoted(c.text.toUtf8()));
    case Kind::WindowPicture:
        return QStringLiteral("window Command11 %1 Command12").arg(c.picture);
    }
    return {};
}

std::vector<Keyed> corpus(const Inputs& inputs) {
    Builder b;
    glyphCases(b);
    libraryCases(b);
    pictureCases(b, inputs);
    previewCases(b, inputs);
    fontCases(b);
    otherCases(b, inputs);
    laterCases(b);
    windowCases(b, inputs);
    return std::move(b.cases);
}

} // namespace zentraq::identity
