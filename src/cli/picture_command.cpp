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
#include "output.h"
#include "picturewriter.h"
#include "process.h"

namespace zentraq::cli {
namespace {

using rgbqumo::PixelFormat;

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
    {"format", "FORMAT", "", formatHelp<rgbqumo::pictureFormats>, false, formatValues<rgbqumo::pictureFormats>},
    {"lvgl", "9|8", "lvgl, lvgl-bin: LVGL 9 (default, lv_image_dsc_t) or 8.3 (lv_img_dsc_t)"},
    {"cf", "FORMAT", "lvgl, lvgl-bin: the colour format (default argb8888 for LVGL 9, true-color-alpha for 8):", rgbqumo::lvglFormatHelp},
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

// The names --format gives the shapes, beside hex and c.
QStringList shapeNames() {
    return core::writerNames(rgbqumo::pictureFormats(), [](const rgbqumo::PictureWriter& w) {
        return w.name() != QLatin1String("hex") && w.name() != QLatin1String("c");
    });
}

int runPicture(const CommandLine& line) {
    const PictureOptions o = parsePicture(line);
    if (o.frames)
        return runFrames(o);
    // An output that cannot be written is reported before the picture is
    // decoded.
    Destination destination(nativeName(o.out.output).toStdString(), o.writer->binary(),
                            o.out.files);
    if (!o.panel.isEmpty())
        return runPanel(o, destination);
    // (Braces evaluate in order: a file that is not a picture is said so
    // before it is read whole.)
    const std::unique_ptr<rgbqumo::PictureResult> made =
        o.writer->make({readPicture(o.picture), o.picture,
                        o.writer->keepsFile(o.settings) ? readWhole(o.picture) : QByteArray()},
                       o.settings);
    const qint64 bytes = made->write(destination.sink());
    destination.commit(inputFiles());
    if (!o.out.quiet)
        note(QString::fromStdString(core::dataSizeMessage(bytes)));
    return 0;
}

// --attribute, for the formats that write C declarations.
void parseAttribute(const CommandLine& line, PictureOptions& o) {
    const QString attribute = line.value("attribute");
    if (attribute.isEmpty())
        return;
    if (!o.writer->takes("attribute"))
        usageError(QStringLiteral("--attribute is for the C forms: --format ") +
                   listed(core::writerNames(
                       rgbqumo::pictureFormats(),
                       [](const rgbqumo::PictureWriter& w) { return w.takes("attribute"); })));
    if (!isAttribute(attribute))
        refuseValue("attribute",
                    QStringLiteral("printable ASCII without ';', '{', '}', '#', '=', '\\' or "
                                   "comments"),
                    attribute);
    o.settings.attribute = attribute.toLatin1();
}

} // namespace

PictureOptions parsePicture(const CommandLine& line) {
    PictureOptions o;
    o.out = parseOutput(line, core::DataForm::Text, "picture_data", shapeNames());
    const QString form = o.out.form == core::DataForm::Text ? QStringLiteral("hex")
                         : o.out.form == core::DataForm::C  ? QStringLiteral("c")
                                                            : QStringLiteral("binary");
    o.writer = rgbqumo::pictureWriterNamed(o.out.shape.isEmpty() ? form : o.out.shape);
    rgbqumo::DataSettings& s = o.settings.data;
    s.pixel = o.writer->defaultPixel();
    const bool pixels = o.writer->takes("pixel");
    if (pixels)
        parsePictureData(line, s);
    parseDither(line, s, pixels);
    parseFitting(line, s);
    o.settings.name = o.out.name.toLatin1();
    parseAttribute(line, o);
    // The format's own options and refusals.
    const LineOptions options(line);
    rgbqumo::refuseOtherFormatsOptions(*o.writer, options);
    o.writer->check(o.settings, options);
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
