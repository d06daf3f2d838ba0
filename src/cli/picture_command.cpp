// zentraq-cli picture: the window's picture conversion, and the same for the
// pixel formats of other displays. The decoded picture is read row by row as
// the window's preview box shows it (transparent parts on white), turned,
// mirrored and resized row by row when asked, and goes through the same
// pipeline as the window's temp.txt, without handling any events in between
// and without a second copy of the picture. LVGL images and the Arduino
// arrays go through their writers the same way (pictureforms.h).
#include "commands.h"
#include "csource.h"
#include "error.h"
#include "input.h"
#include "lvglraw.h"
#include "numbertext.h"
#include "output.h"
#include "process.h"

namespace zentraq::cli {
namespace {

using rgbqumo::PixelFormat;

QString cfHelp();

// clang-format off
constexpr OptionDef Options[] = {
    {"IN", nullptr, "the picture file"},
    {"pixel", "FORMAT", "the display's pixel format, rgb565 (the window's) by default:", pixelFormatHelp},
    {"dither", "none|floyd-steinberg|bayer4", "none (default): each channel keeps its top bits (mono: "
     "the threshold test); floyd-steinberg: each pixel takes the level nearest to its value plus the "
     "error spread to it from the pixels before; bayer4: the value rounded up or down to a level by the "
     "4x4 ordered matrix. So even a single pixel may come out a level higher with dithering. For the "
     "formats with fewer than 8 bits per channel (not rgb888, bgr888, gray8)"},
    {"threshold", "N", "mono: a pixel is ink when its luma is below N, 0 to 255 (default 128)"},
    {"invert", nullptr, "grey formats: 0 is white, not black; mono: ink is the light pixels"},
    {"rotate", "90|180|270", "first turn the picture clockwise"},
    {"flip", "horizontal|vertical", "then mirror it left to right or top to bottom (one of the two; "
     "both at once is --rotate 180)"},
    {"resize", "WxH", "then scale it smoothly to W x H pixels, each side 1 to 32767"},
    {"fit", "contain|cover|stretch", "with --resize: contain (default) shows the whole picture "
     "centred on white, cover fills W x H and cuts off the edges, stretch ignores the shape"},
    {"scan", "row|column|page|band", "gray4, gray2, mono: row (default): rows from the top, pixels "
     "running on across rows; column: columns from the left, each from the top; page: vertical bytes in "
     "bands of 8/bits rows (8 for mono: SSD1306 and the like), one byte per column; band: horizontal bytes "
     "in bands of 8/bits columns, one byte per row"},
    option::Pad, option::MsbFirst, option::ByteOrder,
    {"background", "COLOUR", "white (default), black, #RRGGBB or 0xRRGGBB: what transparent parts are "
     "laid onto (for LVGL formats without alpha exactly, (c*a + bg*(255-a) + 127) / 255), and the canvas of --fit contain"},
    {"format", "hex|c|lvgl|lvgl-bin|c16|xbm", "hex: the data text (default); c: a C array with a header comment "
     "that records the settings; lvgl: C source of an LVGL image descriptor; lvgl-bin: the image file LVGL "
     "loads from a file system; c16: 'const uint16_t NAME[]' of rgb565 (or bgr565) words for pushImage and "
     "drawRGBBitmap; xbm: an XBM of mono pixels for drawXBitmap and drawXBM"},
    {"lvgl", "9|8", "lvgl, lvgl-bin: LVGL 9 (default, lv_image_dsc_t) or 8.3 (lv_img_dsc_t)"},
    {"cf", "FORMAT", "lvgl, lvgl-bin: the colour format (default argb8888 for LVGL 9, true-color-alpha for 8):", cfHelp},
    {"color-depth", "16|16-swap|32", "LVGL 8: the LV_COLOR_DEPTH (and LV_COLOR_16_SWAP) of the build that "
     "true-color and true-color-alpha are made for (default 16)"},
    {"stride-align", "N", "LVGL 9: every row padded to a multiple of N bytes, a power of two up to 256 (default 1)"},
    {"compress", "none|rle|lz4", "LVGL 9: the data compressed with LVGL's RLE or with LZ4 (default none)"},
    {"premultiply", nullptr, "LVGL 9 rgb565a8 and argb8565: each colour level stored times alpha / 255 "
     "(truncated), with the header's premultiplied flag, as LVGLImage.py's --premultiply"},
    {"attribute", "TEXT", "c, lvgl, c16, xbm: TEXT put into every C declaration, e.g. PROGMEM or "
     "LV_ATTRIBUTE_LARGE_CONST"},
    {"panel", "bw|bwr|bwy|bwry|7color|FILE", "a colour e-paper panel: every pixel becomes the panel's "
     "nearest colour (as Pillow's quantize picks it) or is dithered over them with --dither; bw: black 0, "
     "white 1; bwr: black 0, white 1, red 2; bwy: ..., yellow 2; bwry: black 0, white 1, yellow 2, red 3; "
     "7color: black 0, white 1, green 2, blue 3, red 4, yellow 5, orange 6 (the colours of Waveshare's "
     "drivers); FILE: a palette, one #RRGGBB [name] a line. The data: the colours' numbers packed, 1, 2, 4 "
     "or 8 bits a pixel, the first pixel in the highest bits, every row on a new byte"},
    {"frames", "all|N|A-B", "an animated picture's frames (GIF, APNG, WebP), each as a viewer shows it at "
     "its time (disposal and blending), converted alone: text and binary data one frame after the other; "
     "C forms one declaration a frame, NAME_N (N the frame's number), then NAME_frames[] (for LVGL "
     "'const void *', as lv_animimg_set_src takes it), NAME_durations[] in ms and NAME_frame_count; "
     "lvgl-bin one file a frame, OUT with _N before its extension"},
    {"planes", nullptr, "--panel: instead, one 1-bit plane per colour but white, one after the other "
     "(C: NAME_black, NAME_red, ...): 0 where the pixel has the plane's colour, 1 elsewhere, as "
     "Waveshare's and GxEPD2's 3-colour drivers take them"},
    option::Name, option::Binary, option::Output, option::Quiet,
    option::Depfile, option::KeepUnchanged,
};
// clang-format on

QString cfHelp() {
    QStringList items;
    for (lvgl::Version v : {lvgl::Version::V9, lvgl::Version::V8})
        items << QStringLiteral("LVGL %1: %2")
                     .arg(int(v))
                     .arg(lvgl::formatNames(v).join(QStringLiteral(", ")));
    return items.join(QStringLiteral("; "));
}

const QStringList Shapes{QStringLiteral("lvgl"), QStringLiteral("lvgl-bin"), QStringLiteral("c16"),
                         QStringLiteral("xbm")};

// Text for a C declaration: printable ASCII that cannot end the declaration,
// open a comment or a block, or start a directive.
bool isAttribute(const QString& text) {
    for (QChar c : text)
        if (c.unicode() < 0x20 || c.unicode() > 0x7E || QStringLiteral(";{}#=\\").contains(c))
            return false;
    return !text.trimmed().isEmpty() && !text.contains(QLatin1String("/*")) &&
           !text.contains(QLatin1String("*/")) && !text.contains(QLatin1String("//"));
}

// --cf raw, raw-alpha: the file's bytes, once it is known to be a picture.
int runRaw(const PictureOptions& o, Destination& destination) {
    const QSize size = readPicture(o.picture).size();
    const QByteArray file = readWhole(o.picture);
    const lvgl::CDeclaration d{
        o.form.name, o.form.attribute,
        o.out.form == core::DataForm::C
            ? core::headerComment(QStringList{
                  QStringLiteral("Picture made by zentraq-cli: %1, %2*%3 "
                                 "pixels, %4 bytes of data")
                      .arg(o.picture, QString::number(size.width()), QString::number(size.height()),
                           QString::number(file.size())),
                  lvgl::rawLine(o.form.image)})
            : QByteArray()};
    const qint64 bytes = o.form.shape == rgbqumo::Shape::LvglSource
                             ? lvgl::writeRawSource(file, o.form.image, d, destination.sink())
                             : lvgl::writeRawFile(file, o.form.image, destination.sink());
    destination.commit(inputFiles());
    if (!o.out.quiet)
        note(QStringLiteral("数据大小:") + DoubleText(double(bytes)) + QStringLiteral("字节"));
    return 0;
}

int runShaped(const PictureOptions& o, Destination& destination) {
    if (lvgl::isRaw(o.form.image.format))
        return runRaw(o, destination);
    rgbqumo::PictureForm form(readPicture(o.picture), o.data, o.form);
    QByteArray comment;
    if (o.out.form == core::DataForm::C)
        comment = core::headerComment(
            QStringList{QStringLiteral("Picture made by zentraq-cli: %1, %2*%3 pixels, %4 bytes "
                                       "of data")
                            .arg(o.picture, QString::number(form.size().width()),
                                 QString::number(form.size().height()),
                                 QString::number(form.bytes()))} +
            form.describe());
    const qint64 bytes = form.write(destination.sink(), comment);
    destination.commit(inputFiles());
    if (!o.out.quiet)
        note(QStringLiteral("数据大小:") + DoubleText(double(bytes)) + QStringLiteral("字节"));
    return 0;
}

int runPicture(const CommandLine& line) {
    const PictureOptions o = parsePicture(line);
    if (o.frames)
        return runFrames(o);
    // An output that cannot be written is reported before the picture is
    // decoded.
    Destination destination(nativeName(o.out.output).toStdString(),
                            o.out.form == core::DataForm::Binary, o.out.files);
    if (!o.out.shape.isEmpty())
        return runShaped(o, destination);
    if (!o.panel.isEmpty())
        return runPanel(o, destination);
    rgbqumo::PictureData data(readPicture(o.picture), o.data);

    // 16 bytes a line (the window's 8 pixels of RGB565), 24 for the 3-byte
    // formats so that no pixel is split across two lines.
    core::Formatter out(destination.sink(), o.out.form,
                        core::LinePolicy{data.layout().bits == 24 ? 24 : 16, false});
    if (o.out.form == core::DataForm::C) {
        out.text(core::headerComment(
            QStringList{
                QStringLiteral("Picture data made by zentraq-cli: %1, %2*%3 pixels, %4 bytes")
                    .arg(o.picture, QString::number(data.size().width()),
                         QString::number(data.size().height()), QString::number(data.bytes()))} +
            data.describe()));
        out.beginArray(o.out.name.toLatin1(), data.bytes(), o.form.attribute);
    }
    data.write(out);
    out.finish();
    destination.commit(inputFiles());
    if (!o.out.quiet)
        note(QStringLiteral("数据大小:") + DoubleText(double(data.bytes())) +
             QStringLiteral("字节"));
    return 0;
}

// --format lvgl, lvgl-bin, c16, xbm and their options; --attribute.
void parseShape(const CommandLine& line, PictureOptions& o) {
    const QString& shape = o.out.shape;
    rgbqumo::FormSettings& f = o.form;
    f.name = o.out.name.toLatin1();
    if (const QString attribute = line.value("attribute"); !attribute.isEmpty()) {
        if (o.out.form != core::DataForm::C)
            usageError(QStringLiteral("--attribute is for the C forms: --format c, lvgl, c16 and "
                                      "xbm"));
        if (!isAttribute(attribute))
            refuseValue("attribute",
                        QStringLiteral("printable ASCII without ';', '{', '}', '#', '=', '\\' or "
                                       "comments"),
                        attribute);
        f.attribute = attribute.toLatin1();
    }
    const bool lvglShape = shape.startsWith(QLatin1String("lvgl"));
    for (const char* lvglOnly :
         {"lvgl", "cf", "color-depth", "stride-align", "compress", "premultiply"})
        if (!lvglShape && line.isSet(lvglOnly))
            usageError(
                QStringLiteral("%1 is for --format lvgl and lvgl-bin").arg(optionName(lvglOnly)));
    if (shape.isEmpty())
        return;
    f.shape = shape == u"lvgl"       ? rgbqumo::Shape::LvglSource
              : shape == u"lvgl-bin" ? rgbqumo::Shape::LvglFile
              : shape == u"c16"      ? rgbqumo::Shape::WordArray
                                     : rgbqumo::Shape::Xbm;
    const rgbqumo::PixelFormat pixel = o.data.pixel;
    if (lvglShape) {
        for (const char* rawOnly :
             {"pixel", "byte-order", "scan", "pad", "msb-first", "invert", "threshold"})
            if (line.isSet(rawOnly))
                usageError(QStringLiteral("%1 is for the raw pixel formats; LVGL images take --cf")
                               .arg(optionName(rawOnly)));
        lvgl::ImageOptions& i = f.image;
        if (const QString v = line.value("lvgl"); !v.isEmpty()) {
            if (v != u"8" && v != u"9")
                refuseValue("lvgl", QStringLiteral("9 or 8"), v);
            i.version = v == u"8" ? lvgl::Version::V8 : lvgl::Version::V9;
        }
        i.format = i.version == lvgl::Version::V9 ? lvgl::ColourFormat::Argb8888
                                                  : lvgl::ColourFormat::TrueColorAlpha;
        if (const auto cf = parsedOption(line, "cf", lvgl::parseFormat, cfHelp()))
            i.format = *cf;
        if (const auto d = parsedOption(line, "color-depth", lvgl::parseDepth,
                                        QStringLiteral("16, 16-swap or 32"))) {
            if (i.version != lvgl::Version::V8)
                usageError(QStringLiteral("--color-depth is for LVGL 8 (--lvgl 8); LVGL 9 names "
                                          "its colour format with --cf"));
            i.depth = *d;
        }
        if (const QString n = line.value("stride-align"); !n.isEmpty())
            i.strideAlign = parseCount("stride-align", n, 1, 65536);
        if (const auto c = parsedOption(line, "compress", lvgl::parseCompression,
                                        QStringLiteral("none, rle or lz4")))
            i.compression = *c;
        i.dither = o.data.dither;
        i.premultiply = line.isSet("premultiply");
        if (const QString problem = lvgl::optionsProblem(i); !problem.isEmpty())
            usageError(problem);
        if (lvgl::isRaw(i.format))
            for (const char* pixelOption : {"rotate", "flip", "resize", "fit", "background"})
                if (line.isSet(pixelOption))
                    usageError(QStringLiteral("%1: --cf %2 keeps the picture file as it is")
                                   .arg(optionName(pixelOption), lvgl::formatName(i.format)));
    } else if (shape == u"c16" && bitsPerSample(pixel) != 16) {
        usageError(QStringLiteral("--format c16 is for the 16-bit formats rgb565 and bgr565, not "
                                  "%1")
                       .arg(rgbqumo::pixelFormatName(pixel)));
    } else if (shape == u"xbm") {
        if (pixel != rgbqumo::PixelFormat::Mono)
            usageError(QStringLiteral("--format xbm is for mono pixels, not %1")
                           .arg(rgbqumo::pixelFormatName(pixel)));
        for (const char* layoutOption : {"scan", "pad", "msb-first"})
            if (line.isSet(layoutOption))
                usageError(QStringLiteral("%1: an XBM's rows start on a new byte, the first pixel "
                                          "in bit 0")
                               .arg(optionName(layoutOption)));
    }
}

} // namespace

PictureOptions parsePicture(const CommandLine& line) {
    PictureOptions o;
    o.out = parseOutput(line, core::DataForm::Text, "picture_data", Shapes);
    rgbqumo::DataSettings& s = o.data;
    if (o.out.shape == u"xbm" && !line.isSet("pixel"))
        s.pixel = PixelFormat::Mono;
    if (!o.out.shape.startsWith(QLatin1String("lvgl")))
        parsePictureData(line, s);
    const QString format = rgbqumo::pixelFormatName(s.pixel);
    if (const auto mode = parsedOption(line, "dither", rgbqumo::parseDitherMode,
                                       QStringLiteral("none, floyd-steinberg or bayer4"))) {
        s.dither = *mode;
        if (s.dither != rgbqumo::DitherMode::None && !o.out.shape.startsWith(u"lvgl") &&
            !rgbqumo::acceptsDither(s.pixel))
            usageError(QStringLiteral("--dither is for the formats with fewer than 8 bits per "
                                      "channel; %1 has 8, nothing to dither")
                           .arg(format));
    }
    if (const QString threshold = line.value("threshold"); !threshold.isEmpty()) {
        s.threshold =
            parseCount("threshold", threshold, rgbqumo::MinThreshold, rgbqumo::MaxThreshold);
        if (s.pixel != PixelFormat::Mono)
            usageError(QStringLiteral("--threshold is for --pixel mono, not %1").arg(format));
    }
    rgbqumo::Fitting& f = s.fitting;
    if (const auto r = parsedOption(line, "rotate", rgbqumo::parseRotation,
                                    QStringLiteral("90, 180 or 270 (degrees clockwise)")))
        f.rotation = *r;
    if (const auto m = parsedOption(line, "flip", rgbqumo::parseFlip,
                                    QStringLiteral("horizontal or vertical"))) {
        f.flipHorizontal = *m == rgbqumo::Flip::Horizontal;
        f.flipVertical = *m == rgbqumo::Flip::Vertical;
    }
    if (const QString resize = line.value("resize"); !resize.isEmpty())
        f.resize = parseSize("resize", resize, rgbqumo::MaxFitSide, qint64(1) << 62);
    if (const auto mode = parsedOption(line, "fit", rgbqumo::parseFit,
                                       QStringLiteral("contain, cover or stretch"))) {
        if (!f.resize.isValid())
            usageError(QStringLiteral("--fit says how --resize fits the picture; give --resize "
                                      "WxH too"));
        f.fit = *mode;
    }
    if (const auto bg = parsedOption(line, "background", lvgl::parseColour,
                                     QStringLiteral("white, black, #RRGGBB or 0xRRGGBB")))
        s.background = *bg;
    parseShape(line, o);
    parsePanel(line, o);
    parseFrames(line, o);
    const QStringList& positional = line.positional();
    if (positional.size() != 1)
        usageError(
            positional.isEmpty()
                ? QStringLiteral("picture needs the picture file IN")
                : QStringLiteral("picture takes one picture file, got %1").arg(positional.size()));
    if (positional.front().isEmpty())
        usageError(QStringLiteral("the picture file's name is empty"));
    o.picture = positional.front();
    return o;
}

const CommandDef PictureCommand{
    "picture",
    "picture file -> a display's pixel data (RGB565 by default), an LVGL image or an Arduino array",
    "zentraq-cli picture IN [--pixel FORMAT | --format lvgl|lvgl-bin --cf FORMAT | --panel PANEL "
    "[--planes]] [--frames all|N|A-B] [--rotate ...] [--flip ...] [--resize WxH] [options]",
    "Converts the picture file IN (BMP, GIF, JPEG, PNG, ICO, ... whatever the window loads) into "
    "pixel data for a display: rows from the top, each row from the left; by default RGB565, one "
    "\"0xLL,0xHH,\" item per pixel, low byte first, CR LF after every 8th item, exactly the bytes "
    "the window writes into temp.txt. A channel of 16 bits v becomes round(v / 257). Transparent "
    "parts are blended over white, as in the window's preview: a channel c of alpha a becomes "
    "c*a/255 + 255 - a, the product rounded as (c*a + c*a/256 + 128) / 256 in whole numbers. A "
    "picture of more than 33554432 pixels (8192 x 4096; 128 MiB at 4 bytes a pixel) is refused. "
    "The picture is turned, then mirrored, then resized, in that order. The data text ends a line "
    "after every 16 bytes (24 for the 3-byte formats); a shorter last line has no CR LF, as in "
    "temp.txt. The byte count goes to standard error in the window's words, \"数据大小:N字节\". "
    "--format lvgl and lvgl-bin make an LVGL 9 (or, with --lvgl 8, 8.3) image that keeps the "
    "picture's alpha in the formats that have it (--cf raw keeps a PNG, JPEG or GIF file as it is "
    "for LVGL's own decoders); c16 and xbm make the arrays of Arduino display libraries. --frames "
    "converts the frames of an animated GIF, APNG or WebP, each as a viewer shows it, with a table "
    "of them and their durations. --panel makes the data of a colour e-paper panel: packed colour "
    "numbers, or one plane per colour with --planes.",
    "zentraq-cli picture logo.png --resize 128x64 --pixel mono --dither floyd-steinberg --scan "
    "page --format c --name logo -o logo.h",
    Options,
    runPicture,
};

} // namespace zentraq::cli
