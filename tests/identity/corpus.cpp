#include "corpus.h"

#include <cctype>
#include <cstring>

namespace zentraq::identity {
namespace {

QByteArray in(const QString& name) {
    return "../in/" + name.toUtf8();
}

// The words of `line`, split at spaces but not inside '...'; $SANS, $SERIF
// and $UMING stand for the faces' files.
QList<QByteArray> split(const QByteArray& line) {
    QList<QByteArray> out;
    QByteArray word;
    bool quoted = false;
    for (qsizetype i = 0; i <= line.size(); ++i) {
        if (i < line.size() && line[i] == '\'') {
            quoted = !quoted;
        } else if (i < line.size() && (line[i] != ' ' || quoted)) {
            word += line[i];
        } else if (!word.isEmpty()) {
            out << (word == "$SANS"    ? QByteArray(DejaVuSans)
                    : word == "$SERIF" ? QByteArray(DejaVuSerif)
                    : word == "$UMING" ? QByteArray(UMing)
                                       : word);
            word.clear();
        }
    }
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
    // The words of `words` (see split()).
    void line(const QByteArray& words, const QByteArray& input = {}) {
        tool(split(words), {}, input);
    }
    // One command line for each '|'-separated alternative, between `before`
    // and `after`.
    void each(const QByteArray& before, const QByteArray& alternatives,
              const QByteArray& after = {}) {
        for (const QByteArray& a : alternatives.split('|'))
            tool(split(before) + split(a) + split(after));
    }
    // "picture IN" and the words of `options`.
    void picture(const QString& name, const QByteArray& options) {
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
        b.each("glyph --size", "16x16 A中g|13x9 A中g", layout);
    b.line("glyph --size 8x16 --ascii --format c --name font8x16 -o out.h");
    b.line("glyph --size 8x16 --scan page --ascii --format c -o out.h");
    b.line("glyph --size 16x16 --binary -o out.bin 电子");
    b.line("glyph --size 16x16 --format hex -q 电子");
    b.line("glyph --size 16x16 --input ../in/menu.txt --format c");
    b.line("glyph --size 16x16 --input -", "设置\r\nA\nB\r");
    b.line("glyph --size 12x12 --pixel-size 14 --font 'DejaVu Sans' Hg°");
    b.line("glyph --size 24x24 --font-file $SERIF --format c Qj中");
    b.line("glyph --size 16x16 --font 'AR PL SungtiL GB' 汉字A");
    b.tool({"glyph", "--size", "16x16", "--missing", "A\u0378中\U000F0000"});
    b.line("glyph --size 16x16 --font-file $SANS --missing A中");
    // A bitmap face at its strike, and at a size it lacks.
    b.each("glyph --size", "12x12|16x16", "--font-file ../in/test12.bdf A");
}

void libraryCases(Builder& b) {
    for (const char* layout : {"", "--scan column --pad", "--scan page --msb-first", "--invert"})
        b.each("library --charset ascii --size 8x16 -o out " + QByteArray(layout),
               "--binary|--format hex|--format c --name lib");
    b.line("library --charset ../in/menu.txt --size 12x12 --format c --name menu_font -o out.h");
    b.line("library --charset ../in/menu.txt --size 16x16 -o out.bin");
    b.line("library --charset gb2312 --size 12x12 -o out.bin");
    b.line("library --charset ascii --size 16x16 --font 'DejaVu Sans' -o out.bin");
    b.line("library --charset ../in/menu.txt --size 16x16 --missing");
    b.line("library --charset ascii --size 16x16 --pixel-size 14 --font-file ../in/test12.bdf -o "
           "out.bin");
}

void pictureCases(Builder& b, const Inputs& inputs) {
    const QByteArray partial = "picture ../in/partial.png ", opaque = "picture ../in/opaque.png ",
                     binary = "picture ../in/binary.png ";
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
    for (const char* f : {"rgb565", "bgr565", "rgb888", "bgr888", "rgb666", "rgb332", "gray8",
                          "gray4", "gray2", "mono"}) {
        const QByteArray pixel = QByteArray("--pixel ") + f;
        for (const QByteArray& picture : {partial, opaque})
            b.each(picture + pixel, "-o out.txt|--format c -o out.h");
        b.line(partial + pixel + " --binary -o out.bin");
    }
    for (const char* f : {"rgb565", "bgr565", "rgb666", "rgb332", "gray4", "gray2", "mono"})
        b.each(partial + "--pixel " + f + " --dither", "floyd-steinberg|bayer4",
               "--format c -o out.h");
    for (const char* f : {"rgb565", "bgr565"})
        b.each(partial + "--pixel " + f + " --byte-order high-first",
               "-o out.txt|--format c -o out.h");
    b.each(partial + "--pixel", "gray8|gray4|gray2|mono", "--invert --format c -o out.h");
    b.each(partial + "--pixel mono --threshold", "0|50|200|255", "-o out.txt");
    b.each(partial, "--format c --name logo --attribute PROGMEM -q -o out.h|--background black -o "
                    "out.txt|--background #336699 --format c -o out.h|");
    b.line("picture ../in/deep.png --pixel rgb888 -o out.txt");

    // Layouts of the packed formats, on a picture of odd sides.
    for (const char* f : {"gray4", "gray2", "mono"})
        for (const char* scan : {"row", "column", "page", "band"}) {
            const bool band = !std::strcmp(scan, "page") || !std::strcmp(scan, "band");
            b.each(opaque + "--pixel " + f + " --scan " + scan,
                   band ? "|--msb-first" : "|--pad|--msb-first|--pad --msb-first",
                   "--format c -o out.h");
        }

    // Fitting.
    b.each(partial,
           "--rotate 90|--rotate 180|--rotate 270|--flip horizontal|--flip vertical|--resize "
           "16x16|--resize 16x16 --fit cover|--resize 16x16 --fit stretch|--resize 40x30|--resize "
           "7x40 --fit contain --background black|--rotate 90 --flip vertical --resize 20x10 "
           "--fit cover|--rotate 270 --pixel mono --dither floyd-steinberg --scan page --resize "
           "32x16",
           "--format c -o out.h");

    // LVGL images: every colour format, C and file, both versions.
    for (const char* cf :
         {"argb8888", "argb8888-premultiplied", "xrgb8888", "rgb888", "rgb565", "rgb565-swapped",
          "argb8565", "rgb565a8", "l8", "a1", "a2", "a4", "a8", "i1", "i2", "i4", "i8"}) {
        b.line(partial + "--format lvgl --cf " + cf + " --name img -o out.c");
        for (const QByteArray& picture : {partial, binary})
            b.line(picture + "--format lvgl-bin --cf " + cf + " -o out.bin");
    }
    for (const char* cf : {"argb8888", "rgb565a8", "rgb565", "l8", "a2", "i4", "i8", "argb8565"})
        for (const char* method : {"rle", "lz4"}) {
            b.line(partial + "--format lvgl --cf " + cf + " --compress " + method + " -o out.c");
            b.line(binary + "--format lvgl-bin --cf " + cf + " --compress " + method +
                   " -o out.bin");
        }
    for (const char* cf : {"rgb565", "i2", "a1", "rgb888"})
        b.each(opaque + "--format lvgl-bin --cf " + cf + " --stride-align", "4|64", "-o out.bin");
    for (const char* cf : {"rgb565", "i4", "i1", "l8"})
        b.each(partial + "--format lvgl --cf " + cf + " --dither", "floyd-steinberg|bayer4",
               "-o out.c");
    b.each(partial + "--format lvgl --cf", "rgb565|xrgb8888|l8|rgb888",
           "--background black -o out.c");
    b.each(partial + "--format lvgl",
           "--attribute LV_ATTRIBUTE_LARGE_CONST --name icon|--resize 20x20|--rotate 90 --cf "
           "i2|--lvgl 8 --attribute PROGMEM",
           "-o out.c");
    for (const char* cf :
         {"true-color", "true-color-alpha", "a1", "a2", "a4", "a8", "i1", "i2", "i4", "i8"}) {
        b.line(partial + "--format lvgl --lvgl 8 --cf " + cf + " -o out.c");
        b.line(partial + "--format lvgl-bin --lvgl 8 --cf " + cf + " -o out.bin");
    }
    for (const char* depth : {"16-swap", "32"})
        for (const char* cf : {"true-color", "true-color-alpha"}) {
            const QByteArray options =
                QByteArray(" --lvgl 8 --cf ") + cf + " --color-depth " + depth;
            b.line(partial + "--format lvgl" + options + " -o out.c");
            b.line(partial + "--format lvgl-bin" + options + " -o out.bin");
        }

    // The Arduino arrays.
    for (const char* options :
         {"--format c16 -o out.h", "--format c16 --pixel bgr565 -o out.h",
          "--format c16 --byte-order high-first --attribute PROGMEM --name splash -o out.h",
          "--format c16 --dither bayer4 --background black -o out.h",
          "--format c16 --resize 20x20 --fit cover -o out.h", "--format xbm -o out.h",
          "--format xbm --dither floyd-steinberg --name logo -o out.h",
          "--format xbm --invert --threshold 90 --attribute PROGMEM -o out.h",
          "--format xbm --rotate 90 -o out.h", "--format xbm --background black -o out.h"})
        for (const QByteArray& picture : {partial, opaque})
            b.line(picture + options);

    // Frames of an animated picture, in every form.
    b.each("picture ../in/anim.gif",
           "--frames all -o out.txt|--frames all --format c --name anim -o out.h|--frames 0-1 "
           "--format lvgl -o out.c|--frames all --format lvgl-bin -o out.bin|--frames 1 --format "
           "c16 -o out.h|--frames all --format xbm -o out.h|--frames all --binary -o "
           "out.bin|--frames all --panel bwr --format c -o out.h|--frames all --panel bwr --planes "
           "--format c -o out.h|--frames 99 -o out.txt|--frames 2-1 -o out.txt|--frames all "
           "--format lvgl --cf raw -o out.c");
    // Colour e-paper panels.
    b.each(partial,
           "--panel bw -o out.txt|--panel bwr --format c -o out.h|--panel 7color --dither "
           "floyd-steinberg --binary -o out.bin|--panel bwry --planes --format c --name epd -o "
           "out.h|--panel bwr --planes -o out.txt|--panel bwr --format lvgl -o out.c|--panel bwr "
           "--pixel mono -o out.txt|--planes -o out.txt|--panel nothing.txt -o out.txt|--panel "
           "bwr --dither bayer4 -o out.txt|--panel bwry --dither floyd-steinberg --planes --binary "
           "-o out.bin");
    // LVGL: picture files kept as they are, premultiplied colours, al88.
    b.each(partial,
           "--format lvgl --cf raw --name logo -o out.c|--format lvgl-bin --cf raw-alpha -o "
           "out.bin|--format lvgl --lvgl 8 --cf raw -o out.c|--format lvgl --cf raw --resize 10x10 "
           "-o out.c|--format lvgl --cf rgb565a8 --premultiply -o out.c|--format lvgl-bin --cf "
           "argb8565 --premultiply -o out.bin|--premultiply -o out.txt|--format lvgl --cf al88 -o "
           "out.c|--format lvgl-bin --cf al88 --compress rle -o out.bin|--format lvgl-bin --lvgl 8 "
           "--color-depth 16-swap -o out.bin|--format lvgl --cf i4 --stride-align 64 --compress "
           "rle -o out.c");
    b.each("preview ../in/pattern.bin --binary --width 8",
           "--panel bwr|--panel 7color --height 4|--panel bw --planes", "-o p.png");

    // Options the shapes refuse, with their messages.
    b.each(
        partial,
        "--format xbm --pixel rgb565|--format xbm --scan page|--format c16 --pixel mono|--format "
        "c16 --pixel rgb888|--format lvgl --pixel rgb565|--format lvgl --invert|--format lvgl "
        "--cf true-color|--format lvgl --lvgl 8 --cf rgb565|--format lvgl --color-depth "
        "32|--format lvgl --lvgl 8 --compress rle|--format lvgl --stride-align 3|--format "
        "lvgl-bin --name x|--cf i4|--compress lz4|--format c16 --cf i4|--attribute "
        "PROGMEM|--format c --attribute a;b|--pixel rgb888 --dither bayer4|--format lvgl --lvgl "
        "7|--format lvgl8|--format lvgl --cf i9|--format hex --binary|--format lvgl "
        "--stride-align 512|--format lvgl --dither bayer4|--format lvgl --cf a4 --dither "
        "floyd-steinberg|--format lvgl --premultiply|--format lvgl --cf i8 --premultiply|--format "
        "lvgl --cf raw --compress lz4|--format lvgl --cf raw-alpha --stride-align 4|--format c16 "
        "--lvgl 8|--format xbm --compress rle|--binary --compress rle --color-depth 32|--format "
        "xbm --pixel gray4 --scan page",
        "-o out.x");
}

void previewCases(Builder& b, const Inputs& inputs) {
    for (const QString& d : inputs.dataTexts)
        b.each("preview " + in(d), "--size 8x16|--width 4 --pixel mono", "-o p.png");
    for (const QString& image : inputs.lvglImages) {
        const QByteArray format = image.endsWith(QLatin1String(".bin")) ? "lvgl-bin" : "lvgl";
        b.each("preview " + in(image) + " --format " + format, "|--color-depth 32 --scale 3",
               "-o p.png");
    }
    // Data of bytes 0, 37, 74, ... as the pixel formats and layouts read it.
    b.each("preview ../in/pattern.bin --binary",
           "--width 8|--width 8 --byte-order high-first|--width 4 --pixel rgb888|--width 4 --pixel "
           "rgb666 --scale 2|--width 16 --pixel rgb332|--width 16 --pixel gray8 --invert|--width "
           "16 --pixel gray4 --msb-first|--width 16 --pixel gray2 --scan page|--width 16 --pixel "
           "mono --scan band|--width 7 --pixel mono --scan column --height 16|--width 8 --pixel "
           "bgr565 --height 8|--size 8x16|--size 8x16 --scan page --columns 4 --scale 2|--size "
           "16x16 --scan column --pad --invert|--size 5x7 --msb-first|--width 9 --pixel "
           "mono|--size 7x7",
           "-o p.png");
    b.line("preview ../in/pattern.txt --width 8 -o p.png");
    b.line("preview - --size 8x8 -o p.png", "0x01,0x02,0x04,0x08,\r\n");
}

void fontCases(Builder& b) {
    const QByteArray sans = "font --font-file $SANS --size 16 --range 0x20-0x7E ";
    b.each(sans,
           "|--bpp 1|--bpp 2|--bpp 8|--lvgl 8|--lvgl 8 --bpp 8|--no-compress|--no-prefilter|--no-"
           "kerning|--no-hinting|--lv-include lvgl.h --name f16|--lvgl 8 --bpp 2 --no-prefilter|-q",
           "-o font.c");
    b.each(sans + "--format lvgl-bin",
           "|--bpp 1|--bpp 2|--bpp 8|--lvgl 8|--no-compress|--no-kerning|--lvgl 8 --bpp 1 "
           "--no-hinting",
           "-o font.bin");
    b.each(sans + "--format lvgl-flash",
           "|--bpp 1|--bpp 8|--no-compress|--no-kerning|--bpp 2 --no-prefilter", "-o font.bin");
    // Kerning as classes, Latin-1, a large size.
    b.each("font --font 'DejaVu Sans' --size 32 --range 0x20-0x7E,0xA0-0xFF",
           "-o font.c|--format lvgl-bin -o font.bin|--format lvgl-flash -o font.bin");
    b.line("font --font 'DejaVu Serif' --size 120 --range 0x41-0x5A --bpp 8 --lvgl 8 -o font.c");
    b.line("font --font-file $SANS --size 12 --symbols °€· --range 0x30-0x39 --charset ascii -o "
           "font.c");
    b.line("font --font-file $SANS --size 16 --range 0x41 --lv-fallback font_cjk_16 -o font.c");
    // Chinese: both faces of the collection, a charset file, a sample.
    b.line("font --font-file $UMING --size 16 --charset ../in/menu.txt --range 0x20-0x7E --lvgl 8 "
           "--name font_menu_16 -o font.c --sample '设置 Setup' --sample-output menu.png");
    b.line("font --font-file $UMING --face-index 1 --size 20 --symbols 温度设置 --format lvgl-bin "
           "-o font.bin");
    b.line("font --font-file $UMING --size 16 --charset ../in/menu.txt --range 0x20-0x7E --format "
           "lvgl-flash -o font.bin --sample '设置 Setup' --sample-output menu.png");
    b.line("font --font 'AR PL SungtiL GB' --size 14 --charset ../in/menu.txt --bpp 2 -o font.c");
    b.line("font --font-file $UMING --size 16 --charset gb2312 --bpp 2 --no-kerning -o font.c");
    // GFX.
    b.line("font --format gfx --font-file $SERIF --points 12 --range 0x20-0x7E -o font.h");
    b.line("font --format gfx --font 'DejaVu Sans' --points 9 --dpi 100 --range 0x20-0xFF --name "
           "sans9 -o font.h");
    b.line("font --format gfx --font-file $SANS --points 7 --symbols AZ -o font.h --sample 'ZA AZ' "
           "--sample-output s.png");
    b.line("font --format gfx --font-file $SANS --points 10 --range 0x41 -q");
    // TFT_eSPI.
    b.line("font --format vlw --font 'DejaVu Sans' --size 20 --range 0x20-0x7E,0xA0-0xFF -o "
           "font.vlw");
    b.line("font --format vlw --font-file $SERIF --size 11 --bpp 4 --range 0x20-0x7E -o font.vlw "
           "--sample 'Hello, 21 °C' --sample-output s.png");
    b.line("font --format vlw-c --font 'DejaVu Sans' --size 20 --range 0x20-0x7E --name dejavu20 "
           "-o font.h");
    b.line(
        "font --format vlw-c --font-file $UMING --size 12 --bpp 1 --no-hinting --symbols 中文 -o "
        "font.h");
    b.line("font --font-file $SANS --size 16 --range 0x20-0x7E -o font.c --sample 'AV To.\nWa' "
           "--sample-output s.png");
    // u8g2 in its build modes, raw, with codes above U+00FF and a sample;
    // BDF; a BDF face as input, at its strike and at a size it lacks.
    b.each("font --format u8g2 --font-file $SANS --points 12 --range 0x20-0x7E --u8g2-mode",
           "t|h|m|8", "--name sans12 -o font.c");
    // Monospace cells as wide as the widest advance, wider than any ink.
    b.line("font --format u8g2 --font-file $SANS --points 12 --symbols '. ' --u8g2-mode m -o "
           "font.c");
    b.line("font --format u8g2-bin --font 'DejaVu Sans' --size 10 --range 0x20-0xFF -o font.bin");
    b.line("font --format u8g2 --font-file $UMING --points 16 --charset ../in/menu.txt --range "
           "0x20-0x7E -o font.c --sample '设置 Setup' --sample-output menu.png");
    b.line("font --format bdf --font-file $SERIF --size 16 --range 0x20-0x7E,0xB0 -o font.bdf");
    b.line("font --format u8g2 --font-file ../in/test12.bdf --size 12 --range "
           "0x20-0xFF,0x2588,0x2592,0x4E00-0x4EFF --u8g2-mode h -o font.c");
    // The same face in the other modes, and its ideographs alone (the header
    // takes 'A', 'g' and '(' from the face): each font is bdfconv's, byte for
    // byte (bdfconv -f 1 -b MODE -m 32-65535 -n test_font test12.bdf).
    b.each("font --format u8g2 --font-file ../in/test12.bdf --size 12 --range 0x20-0xFFFF "
           "--u8g2-mode",
           "t|m|8", "--name test_font -o font.c");
    b.line("font --format u8g2 --font-file ../in/test12.bdf --size 12 --range 0x4E00-0x4EE5 --name "
           "test_font -o font.c");
    b.line("font --font-file ../in/test12.bdf --size 12 --bpp 2 --range 0x20-0x7E -o font.c");
    b.line("font --format bdf --font-file ../in/small.bdf --size 8 --range 0x20-0x7E -o font.bdf");
    b.line("font --format u8g2 --font-file ../in/small.bdf --size 12 --range 0x20-0x7E -o f.c");
    b.line("font --format u8g2 --font-file $SANS --size 16 --range 0x41,0x1F600 -o f.c");
    b.line("font --format u8g2 --font-file $SANS --points 200 --range 0x41-0x42 -o f.c");
    b.line("font --format u8g2 --font-file $SANS --points 80 --symbols @W -o f.c");
    // The union of the character options; a fallback font; the largest
    // u8g2 size and one more; five missing characters named and one counted.
    b.line("font --font-file $UMING --size 16 --format vlw --charset ascii --symbols AB中 --range "
           "0x4E00 --range 0x4E01 --charset ../in/menu.txt -o font.vlw");
    b.each("font --font-file $SANS --size 16 --range 65 --lvgl", "9|8",
           "--lv-fallback font_cjk_16 -o font.c");
    b.each("font --font-file $SANS --format u8g2 --symbols '@ ' --points", "72|73", "-o f.c");
    b.line("font --font-file $SANS --size 12 --range 0x41-0x43 --symbols 中文字体测试 -o f.c");
    // --missing, and what each format refuses.
    b.tool({"font", "--font-file", DejaVuSans, "--size", "16", "--symbols", "A中\U0001F600",
            "--missing"});
    b.each("font --font-file $SANS --size 16 --symbols", "A中|中", "-o f.c");
    b.each("font --font-file $SANS --range 0x41-0x42",
           "--format gfx --size 16|--format gfx --points 12 --bpp 4|--format gfx|--format gfx "
           "--points 12 --no-hinting|--format gfx --points 600 --dpi 300|--format vlw --size 16 "
           "--lvgl 8|--format vlw --size 16 --no-kerning|--format vlw --size 16 --name x|--format "
           "lvgl-bin --size 16 --name x|--format lvgl-bin --size 16 --lv-include x.h|--format gfx "
           "--points 12 --dpi 0|--size 16 --bpp 3|--size 0|--size 16 --lvgl 7|--format pcf --size "
           "16|--size 16 --dpi 100|--size 16 --name int|--size 16 --sample x|--format vlw-c --size "
           "16 --points 3|--format lvgl-flash --size 16 --lvgl 8|--format lvgl-flash --size 16 "
           "--name x",
           "-o f.out");
    b.each("font --font-file $SANS --size 16",
           "--range 0x7E-0x20|--range 0x110000|--charset nothing.txt", "-o f.out");
    b.line("font --format gfx --font-file $SANS --points 12 --range 0x41,0x4E00 -o f.h");
    b.line("font --format vlw --font-file $SANS --size 12 --range 0x41,0x1D400 -o f.vlw");
    b.line("font --font-file $SANS --size 16 --range 0x41 --format lvgl-bin --sample A "
           "--sample-output -");
    // --range as a face group reads it: codes, ranges and moves, and each
    // way it is refused.
    for (const char* range :
         {"32-34, 0x41 => 0xE000", "0x41-0x43=>0x10FFFD", "abc", "0x", "-5", "0x20,", "0x+41",
          "4294967361", "0x41=>", "0x41=>0x42=>0x43", "0x43-0x41=>0xE000", "0x41-0x43=>0x10FFFE",
          "0x41=>0x110000", "0x41-0x50=>0xD7F8"})
        b.tool({"font", "--font-file", DejaVuSans, "--size", "8", "--range", range, "-o", "f.c"});
    // Kerning within each face of a font of several: DejaVu Serif kerns
    // A-T, A-V, T-A, T-T, T-o, V-A and V-o; here A-V and V-A are its own,
    // T-T and T-o DejaVu Sans's. Then a first face left with nothing, whose
    // kerning does not count.
    b.tool({"font", "--font-file", DejaVuSerif, "--range", "0x41,0x56", "--font-file", DejaVuSans,
            "--range", "0x54,0x6F", "--size", "20", "-o", "f.c"});
    b.tool({"font", "--font-file", DejaVuSerif, "--range", "0x41,0x56", "--font-file", DejaVuSans,
            "--range", "0x41,0x56", "--size", "20", "-o", "f.c"});
    // Face groups of DejaVu Sans (S) and Serif (F): the faces a font keeps
    // (one for a face of two groups, none for a face left with nothing),
    // the kerning within each, and what each group's face lacks.
    for (const char* groups :
         {"S AT F Vo", "S AV F To", "S V F T S A", "S AT F V S V", "S A中 F T"}) {
        QList<QByteArray> args{"font", "--size", "16"};
        const QList<QByteArray> words = split(groups);
        for (qsizetype i = 0; i + 1 < words.size(); i += 2)
            args << "--font-file" << (words[i] == "S" ? DejaVuSans : DejaVuSerif) << "--symbols"
                 << words[i + 1];
        b.tool(args + QList<QByteArray>{"-o", "f.c"});
        b.tool(args + QList<QByteArray>{"--missing"});
    }
    // C names from the output's name.
    for (const char* output : {"my-font 2.h", "f.16.c", "16px.c", "int.c", "字体.c", "-"})
        b.tool({"font", "--format", "vlw-c", "--font-file", DejaVuSans, "--size", "8", "--range",
                "0x41", "-o", output});
    // A face past the end of a collection of four and of a single face, a
    // file that is no font.
    for (const char* const face : {UMing, DejaVuSans})
        b.tool({"font", "--font-file", face, "--face-index", face == UMing ? "4" : "1", "--size",
                "16", "--range", "0x41", "-o", "f.c"});
    b.tool({"font", "--font-file", in("menu.txt"), "--size", "16", "--range", "0x41", "-o", "f.c"});
    // A bitmap face's glyphs at the other depths; what GFX cannot hold.
    for (const char* bpp : {"1", "4", "8"})
        b.tool({"font", "--font-file", in("test12.bdf"), "--size", "12", "--bpp", bpp, "--range",
                "0x20-0xFFFF", "-o", "font.c"});
    b.tool({"font", "--format", "gfx", "--font-file", DejaVuSans, "--points", "12", "--range",
            "0x1D538-0x1D539", "-o", "f.h"});
    b.tool({"font", "--format", "gfx", "--font-file", DejaVuSans, "--points", "200", "--range",
            "0x57", "-o", "f.h"});
    b.tool({"font", "--format", "u8g2", "--font-file", DejaVuSans, "--points", "300", "--symbols",
            "W", "-o", "f.c"});
    // A first face left with all of ASCII taken by the next: its kerning
    // tables are not read with the other face's glyphs.
    b.tool({"font", "--font-file", DejaVuSerif, "--range", "0x20-0x7E", "--font-file", DejaVuSans,
            "--range", "0x20-0x7E", "--size", "16", "-o", "f.c"});
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
    for (const char* refused :
         {"--lv-fallback font-cjk", "--lv-fallback static", "--lv-fallback f",
          "--lv-fallback f2 --format lvgl-bin", "--autohint-off --autohint-strong",
          "--source-encoding gbk", "--source-encoding big5"})
        b.tool(one + split(refused) + split("-o f.c"));
    b.tool(one + QList<QByteArray>{"--font", "DejaVu Serif", "-o", "f.c"});
    b.tool(one + QList<QByteArray>{"--font", "DejaVu Serif", "--face-index", "1", "--range", "66",
                                   "-o", "f.c"});
    b.tool({"font", "--font-file", DejaVuSans, "--format", "gfx", "--points", "12", "--range", "65",
            "--autohint-strong", "-o", "f.c"});
    b.tool({"font", "--font-file", UMing, "--face-index", "1", "--face-index", "2", "--size", "16",
            "--range", "65", "-o", "f.c"});
}

void windowCases(Builder& b, const Inputs& inputs) {
    Case c{Kind::WindowGlyph, {}, {}, {}, {}, {}, {}};
    for (const char* button :
         {"Command1", "Command5", "Command6", "Command7", "Command8", "Command9"})
        for (const char* text : {"Morvane电子\r\n", "中国电子", "Agy|0@", "ÇçŞşţ„\n\r\t",
                                 " !\"#$%&'()*+,-./0123456789:;<=>?@ABCDEFGHIJKLMNOPQRSTUVWXYZ"
                                 "[\\]^_`abcdefghijklmnopqrstuvwxyz{|}~"}) {
            c.text = QString::fromUtf8(text);
            c.button = QString::fromLatin1(button);
            b.add(c);
        }
    // Files that are no picture, or no longer a whole one, last: the box,
    // and the preview and captions of the picture before.
    for (const QString& p :
         inputs.pictures + inputs.metafiles + QStringList{"text.png", "corrupt.png", "cut.bmp"})
        b.add({Kind::WindowPicture, {}, {}, {}, {}, {}, p});
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
