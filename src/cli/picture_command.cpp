// zentraq-cli picture: the window's picture conversion, and the same for the
// pixel formats of other displays. The decoded picture is read row by row as
// the window's preview box shows it (transparent parts on white), turned,
// mirrored and resized row by row when asked, and goes through the same
// pipeline as the window's temp.txt, without handling any events in between
// and without a second copy of the picture.
#include "cformat.h"
#include "cli.h"
#include "files.h"
#include "numbertext.h"
#include "options.h"
#include "rgb565.h"

#include <memory>

namespace zentraq::cli {
namespace {

using rgbqumo::PixelFormat;

bool isFitted(const rgbqumo::Fitting& f) {
    return f.rotation != rgbqumo::Rotation::None || f.flipHorizontal || f.flipVertical ||
           f.resize.isValid();
}

QString pixelLine(const Options& o) {
    const QString order = o.highByteFirst ? QStringLiteral("high") : QStringLiteral("low");
    const QString zero = o.invert ? QStringLiteral("0 white") : QStringLiteral("0 black");
    switch (o.pixel) {
    case PixelFormat::Rgb565:
        return QStringLiteral("rgb565, 2 bytes per pixel: a 16-bit word of red (bits 15-11), green "
                              "(10-5) and blue (4-0), %1 byte first")
            .arg(order);
    case PixelFormat::Bgr565:
        return QStringLiteral("bgr565, 2 bytes per pixel: a 16-bit word of blue (bits 15-11), "
                              "green (10-5) and red (4-0), %1 byte first")
            .arg(order);
    case PixelFormat::Rgb888:
        return QStringLiteral("rgb888, 3 bytes per pixel: red, green, blue");
    case PixelFormat::Bgr888:
        return QStringLiteral("bgr888, 3 bytes per pixel: blue, green, red");
    case PixelFormat::Rgb666:
        return QStringLiteral("rgb666, 3 bytes per pixel: red, green, blue, each channel's 6 bits "
                              "at the top of its byte (bits 7-2)");
    case PixelFormat::Rgb332:
        return QStringLiteral(
            "rgb332, 1 byte per pixel: red in bits 7-5, green in 4-2, blue in 1-0");
    case PixelFormat::Gray8:
        return QStringLiteral("gray8, 1 byte per pixel: the luma (299 R + 587 G + 114 B + 500) / "
                              "1000, %1")
            .arg(zero);
    case PixelFormat::Gray4:
    case PixelFormat::Gray2:
        return QStringLiteral("%1, %2 bits per pixel: the luma in %3 levels, %4")
            .arg(rgbqumo::pixelFormatName(o.pixel))
            .arg(rgbqumo::bitsPerSample(o.pixel))
            .arg(1 << rgbqumo::bitsPerSample(o.pixel))
            .arg(zero);
    case PixelFormat::Mono:
        return QStringLiteral("mono, 1 bit per pixel: ink (dark) where the luma is below %1, "
                              "background (light) from %1 up")
            .arg(o.threshold);
    }
    return {};
}

QString ditherLine(rgbqumo::DitherMode mode) {
    switch (mode) {
    case rgbqumo::DitherMode::None:
        return QStringLiteral("dither: none");
    case rgbqumo::DitherMode::FloydSteinberg:
        return QStringLiteral("dither: floyd-steinberg (7/16, 3/16, 5/16, 1/16; every row from "
                              "the left)");
    case rgbqumo::DitherMode::Bayer4:
        return QStringLiteral("dither: bayer4 (the 4x4 ordered matrix)");
    }
    return {};
}

QString fittingLine(const rgbqumo::Fitting& f, QSize original) {
    if (!isFitted(f))
        return QStringLiteral("fitting: none, the picture's own size");
    QStringList steps;
    switch (f.rotation) {
    case rgbqumo::Rotation::None:
        break;
    case rgbqumo::Rotation::Clockwise90:
        steps << QStringLiteral("turned 90 degrees clockwise");
        break;
    case rgbqumo::Rotation::Clockwise180:
        steps << QStringLiteral("turned 180 degrees");
        break;
    case rgbqumo::Rotation::Clockwise270:
        steps << QStringLiteral("turned 270 degrees clockwise");
        break;
    }
    if (f.flipHorizontal)
        steps << QStringLiteral("mirrored left to right");
    if (f.flipVertical)
        steps << QStringLiteral("mirrored top to bottom");
    if (f.resize.isValid()) {
        const char* how = f.fit == rgbqumo::Fit::Contain ? "contain: the whole picture centred "
                                                           "on white"
                          : f.fit == rgbqumo::Fit::Cover ? "cover: filled, the edges cut off"
                                                         : "stretch: the shape not kept";
        steps << QStringLiteral("scaled to %1*%2 (%3)")
                     .arg(f.resize.width())
                     .arg(f.resize.height())
                     .arg(QLatin1String(how));
    }
    return QStringLiteral("fitting: from %1*%2 pixels, %3")
        .arg(original.width())
        .arg(original.height())
        .arg(steps.join(QStringLiteral(", then ")));
}

QByteArray header(const Options& o, const core::Layout& layout, QSize original, QSize size,
                  qint64 bytes) {
    QStringList lines{QStringLiteral("Picture data made by zentraq-cli: %1, %2*%3 pixels, %4 bytes")
                          .arg(o.picture, QString::number(size.width()),
                               QString::number(size.height()), QString::number(bytes)),
                      QStringLiteral("pixel: ") + pixelLine(o), ditherLine(o.dither),
                      fittingLine(o.fitting, original)};
    if (layout.bits < 8)
        lines << layoutLines(layout, o.invert);
    else
        lines << QStringLiteral("scan: rows from the top, each row from the left");
    if (layout.bits == 16)
        lines << (o.highByteFirst
                      ? QStringLiteral(
                            "(a controller that takes the high byte first, or a big-endian one, "
                            "reads the array as unsigned short words)")
                      : QStringLiteral("(a little-endian controller reads the array as unsigned "
                                       "short words once it is aligned to 2 bytes)"));
    return headerComment(lines);
}

} // namespace

void runPicture(const Options& o) {
    // An output that cannot be written is reported before the picture is
    // decoded.
    Destination destination(o.output, o.form == core::DataForm::Binary);
    QImage picture = readPicture(o.picture);
    const QSize original = picture.size();

    // Without fitting the rows come straight from the decoded picture, as the
    // window's preview box shows it. Fitting reads the picture out of order
    // (a quarter turn reads columns), so it is made opaque first, in place.
    std::unique_ptr<core::PixelSource> source;
    if (isFitted(o.fitting)) {
        picture = core::opaquePicture(std::move(picture));
        source = std::make_unique<rgbqumo::FittedPixels>(picture, o.fitting);
    } else {
        source = std::make_unique<core::ImageRows>(picture);
    }
    const int width = source->width();
    const int height = source->height();

    // The window's own encoder for its own format, with its checks; the row
    // quantiser for everything else.
    rgbqumo::Rgb565Words words;
    std::unique_ptr<rgbqumo::RowQuantiser> quantiser;
    core::SampleEncoder* encoder = &words;
    if (o.pixel != PixelFormat::Rgb565 || o.dither != rgbqumo::DitherMode::None) {
        quantiser = std::make_unique<rgbqumo::RowQuantiser>(o.pixel, o.dither, width, o.invert,
                                                            o.threshold);
        encoder = quantiser.get();
    }
    core::Layout layout = o.layout;
    layout.bits = encoder->bits();
    layout.byteOrder = pictureByteOrder(o);
    const qint64 bytes = core::frameBytes(layout, std::max(width, 1), std::max(height, 1));

    // 16 bytes a line (the window's 8 pixels of RGB565), 24 for the 3-byte
    // formats so that no pixel is split across two lines.
    core::Formatter out(destination.sink(), o.form,
                        core::LinePolicy{layout.bits == 24 ? 24 : 16, false});
    if (o.form == core::DataForm::C) {
        out.text(header(o, layout, original, QSize(width, height), bytes));
        out.beginArray(o.name.toLatin1(), bytes);
    }
    core::Pipeline(*encoder, layout, width, height, &out).frame(*source);
    out.finish();
    destination.commit();
    if (!o.quiet)
        note(QStringLiteral("数据大小:") + DoubleText(double(bytes)) + QStringLiteral("字节"));
}

} // namespace zentraq::cli
