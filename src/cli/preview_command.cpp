// zentraq-cli preview: data back into a picture. Glyph data shows each
// character's cell, ink black on white, side by side; picture data shows
// the colours of its pixel format, each level widened to 8 bits.
#include "commands.h"
#include "error.h"
#include "input.h"
#include "output.h"
#include "preview.h"
#include "process.h"

#include <QBuffer>
#include <QImage>
#include <QImageWriter>

namespace zentraq::cli {
namespace {

// clang-format off
constexpr OptionDef Options[] = {
    {"DATA", nullptr, "the data: a file in any text form of the tool ('-' for standard input)"},
    {"size", "WxH", "glyph data of W x H pixels per character (at most 65536 pixels): the characters "
     "side by side, ink black on white"},
    {"width", "W", "picture data of a picture W pixels wide"},
    {"height", "H", "picture data: the picture's height, where the data's length leaves it open "
     "(columns not padded to whole bytes); by default as many rows as the data holds"},
    {"pixel", "FORMAT", "the picture data's format, as picture --pixel (default rgb565)"},
    option::Scan, option::Pad, option::MsbFirst,
    {"invert", nullptr, "glyph data: ink 0 and background 1; grey and mono picture data: made with "
     "picture --invert"},
    option::ByteOrder,
    {"columns", "N", "characters, or frames, per row of the picture (default 16)"},
    {"panel", "bw|bwr|bwy|bwry|7color|FILE", "picture data (--width) made with picture --panel: the "
     "panel's colours; frames of --height rows side by side"},
    {"planes", nullptr, "--panel: the data is planes (picture --planes)"},
    {"scale", "N", "every data pixel as N x N pixels (default 1, at most 64)"},
    {"binary", nullptr, "DATA holds the bytes themselves"},
    {"format", "lvgl|lvgl-bin", "DATA is an LVGL image (instead of --size or --width): C source of an "
     "image descriptor (lv_image_dsc_t or lv_img_dsc_t and its array), or an image file of LVGL 9 or 8; "
     "every colour format and compression; alpha shown over a grey and white checkerboard"},
    {"color-depth", "16|16-swap|32", "an LVGL 8 image's true-color and true-color-alpha: the colour depth "
     "it was made for (default 16)"},
    {"o,output", "OUT.png", "the PNG file to write ('-' for standard output)"},
    option::Depfile, option::KeepUnchanged,
};
// clang-format on

int runPreview(const CommandLine& line) {
    const PreviewOptions o = parsePreview(line);
    Destination destination(nativeName(o.output).toStdString(), true, o.files);
    const QString source = o.data == QLatin1String("-") ? QStringLiteral("standard input") : o.data;
    QImage image;
    try {
        image = rgbqumo::previewPicture(readWhole(o.data), o, source);
    } catch (const rgbqumo::PreviewError& e) {
        failure(e.message());
    }
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    const OwnImageFormats own; // PNG is one of Qt's own
    QImageWriter writer(&buffer, "png");
    if (!writer.write(image))
        failure(QStringLiteral("cannot make the PNG picture: %1").arg(writer.errorString()));
    destination.sink().write(png);
    destination.commit(inputFiles());
    return 0;
}

} // namespace

PreviewOptions parsePreview(const CommandLine& line) {
    PreviewOptions o;
    o.output = line.value("output");
    o.binary = line.isSet("binary");
    const QStringList& positional = line.positional();
    if (positional.size() != 1)
        usageError(
            positional.isEmpty()
                ? QStringLiteral("preview needs the data file DATA ('-' for standard input)")
                : QStringLiteral("preview takes one data file, got %1").arg(positional.size()));
    if (positional.front().isEmpty())
        usageError(QStringLiteral("the data file's name is empty"));
    o.data = positional.front();
    const QString size = line.value("size");
    const QString width = line.value("width");
    o.lvgl = line.value("format");
    if (!o.lvgl.isEmpty()) {
        if (o.lvgl != u"lvgl" && o.lvgl != u"lvgl-bin")
            refuseValue("format", QStringLiteral("'lvgl' or 'lvgl-bin'"), o.lvgl);
        for (const char* dataOnly : {"size", "width", "pixel", "byte-order", "scan", "pad",
                                     "msb-first", "invert", "binary", "height", "panel", "planes"})
            if (line.isSet(dataOnly))
                usageError(QStringLiteral("%1 is for glyph and picture data; an LVGL image says "
                                          "its own size and format")
                               .arg(optionName(dataOnly)));
        if (const auto d = parsedOption(line, "color-depth", lvgl::parseDepth,
                                        QStringLiteral("16, 16-swap or 32")))
            o.depth = *d;
    } else if (line.isSet("color-depth")) {
        usageError(QStringLiteral("--color-depth is for LVGL 8 images (--format lvgl or "
                                  "lvgl-bin)"));
    } else if (size.isEmpty() == width.isEmpty()) {
        usageError(
            QStringLiteral("preview needs either --size WxH (glyph data), --width W (picture "
                           "data) or --format lvgl|lvgl-bin (an LVGL image)"));
    }
    if (!o.lvgl.isEmpty()) {
        // Nothing more: the image says the rest.
    } else if (!size.isEmpty()) {
        for (const char* pictureOnly : {"byte-order", "pixel", "height", "panel", "planes"}) {
            if (line.isSet(pictureOnly))
                usageError(QStringLiteral("%1 is for picture data (--width)")
                               .arg(optionName(pictureOnly)));
        }
        o.layout = parseLayout(line, 1);
        o.invert = line.isSet("invert");
        o.cell = parseSize("size", size, 65536, 65536);
    } else {
        o.pictureWidth = parseCount("width", width, 1, 1 << 20);
        parsePictureData(line, o.picture);
        if (const QString height = line.value("height"); !height.isEmpty())
            o.pictureHeight = parseCount("height", height, 1, 1 << 20);
        o.panelName = line.value("panel");
        o.planes = line.isSet("planes");
        if (o.planes && o.panelName.isEmpty())
            usageError(QStringLiteral("--planes is for the colour planes of --panel"));
        if (!o.panelName.isEmpty())
            for (const char* pixelOnly :
                 {"pixel", "byte-order", "scan", "pad", "msb-first", "invert"})
                if (line.isSet(pixelOnly))
                    usageError(QStringLiteral("%1 is for the pixel formats; --panel data is laid "
                                              "out as the panels' drivers take it")
                                   .arg(optionName(pixelOnly)));
        if (line.isSet("columns") && o.pictureHeight == 0 && o.panelName.isEmpty())
            usageError(QStringLiteral("--columns is for glyph data (--size) and for frames of "
                                      "picture data (--width and --height)"));
    }
    if (!o.lvgl.isEmpty() && line.isSet("columns") && o.lvgl != u"lvgl")
        usageError(QStringLiteral("--columns is for the frames of an LVGL C source"));
    if (!o.panelName.isEmpty())
        o.panel = [name = o.panelName, planes = o.planes] { return panelNamed(name, planes); };
    if (const QString columns = line.value("columns"); !columns.isEmpty())
        o.columns = parseCount("columns", columns, 1, 4096);
    if (const QString scale = line.value("scale"); !scale.isEmpty())
        o.scale = parseCount("scale", scale, 1, 64);
    if (o.output.isEmpty())
        usageError(QStringLiteral("preview needs -o OUT.png"));
    o.files = parseResultFiles(line, o.output);
    return o;
}

const CommandDef PreviewCommand{
    "preview",
    "data text -> PNG, to see what the bytes draw",
    "zentraq-cli preview DATA (--size WxH | --width W [--height H] | --format lvgl|lvgl-bin) "
    "-o OUT.png [options]",
    "Reads data back into a picture, to see what the bytes draw before they go into a device. "
    "DATA is any text form the tool writes (hex or C; comments are skipped) or, with --binary, "
    "the bytes themselves. The layout options (and for picture data --pixel and --byte-order) "
    "say how the data was made. With --format lvgl or lvgl-bin DATA is an LVGL image, C or file, "
    "of either version, drawn over a checkerboard so that its alpha shows.",
    "zentraq-cli preview font8x16.h --size 8x16 --scan page --scale 4 -o font8x16.png",
    Options,
    runPreview,
};

} // namespace zentraq::cli
