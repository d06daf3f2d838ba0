// zentraq-cli picture: the window's picture conversion, and the same for the
// pixel formats of other displays. The decoded picture is read row by row as
// the window's preview box shows it (transparent parts on white), turned,
// mirrored and resized row by row when asked, and goes through the same
// pipeline as the window's temp.txt, without handling any events in between
// and without a second copy of the picture.
#include "commands.h"
#include "csource.h"
#include "error.h"
#include "input.h"
#include "numbertext.h"
#include "output.h"
#include "process.h"

namespace zentraq::cli {
namespace {

using rgbqumo::PixelFormat;

// clang-format off
constexpr OptionDef Options[] = {
    {"IN", nullptr, "the picture file"},
    {"pixel", "FORMAT", "the display's pixel format, rgb565 (the window's) by default:", pixelFormatHelp},
    {"dither", "none|floyd-steinberg|bayer4", "none (default), Floyd-Steinberg error diffusion or "
     "the 4x4 ordered matrix; for the formats with fewer than 8 bits per channel (not rgb888, bgr888, gray8)"},
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
    option::Format, option::Name, option::Binary, option::Output, option::Quiet,
};
// clang-format on

int runPicture(const CommandLine& line) {
    const PictureOptions o = parsePicture(line);
    // An output that cannot be written is reported before the picture is
    // decoded.
    Destination destination(o.out.output, o.out.form == core::DataForm::Binary);
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
        out.beginArray(o.out.name.toLatin1(), data.bytes());
    }
    data.write(out);
    out.finish();
    destination.commit();
    if (!o.out.quiet)
        note(QStringLiteral("数据大小:") + DoubleText(double(data.bytes())) +
             QStringLiteral("字节"));
    return 0;
}

} // namespace

PictureOptions parsePicture(const CommandLine& line) {
    PictureOptions o;
    o.out = parseOutput(line, core::DataForm::Text, "picture_data");
    rgbqumo::DataSettings& s = o.data;
    parsePictureData(line, s);
    const QString format = rgbqumo::pixelFormatName(s.pixel);
    if (const auto mode = parsedOption(line, "dither", rgbqumo::parseDitherMode,
                                       QStringLiteral("none, floyd-steinberg or bayer4"))) {
        s.dither = *mode;
        if (s.dither != rgbqumo::DitherMode::None && !rgbqumo::acceptsDither(s.pixel))
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
    const QStringList& positional = line.positional();
    if (positional.size() != 1)
        usageError(
            positional.isEmpty()
                ? QStringLiteral("picture needs the picture file IN")
                : QStringLiteral("picture takes one picture file, got %1").arg(positional.size()));
    o.picture = positional.front();
    return o;
}

const CommandDef PictureCommand{
    "picture",
    "picture file -> a display's pixel data (RGB565 by default)",
    "zentraq-cli picture IN [--pixel FORMAT] [--rotate ...] [--flip ...] [--resize WxH] [options]",
    "Converts the picture file IN (BMP, GIF, JPEG, PNG, ICO, ... whatever the window loads) into "
    "pixel data for a display: rows from the top, each row from the left; by default RGB565, one "
    "\"0xLL,0xHH,\" item per pixel, low byte first, CR LF after every 8th item, exactly the bytes "
    "the window writes into temp.txt. Transparent parts are white, as in the window's preview. "
    "The picture is turned, then mirrored, then resized, in that order. The data text ends a line "
    "after every 16 bytes (24 for the 3-byte formats). The byte count goes to standard error in "
    "the window's words, \"数据大小:N字节\".",
    "zentraq-cli picture logo.png --resize 128x64 --pixel mono --dither floyd-steinberg --scan "
    "page --format c --name logo -o logo.h",
    Options,
    runPicture,
};

} // namespace zentraq::cli
