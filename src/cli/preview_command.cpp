// zentraq-cli preview: data back into a picture. Glyph data shows each
// character's cell, ink black on white, side by side; picture data shows
// the colours of its pixel format, each level widened to 8 bits.
#include "commands.h"
#include "contactsheet.h"
#include "datatext.h"
#include "error.h"
#include "glyphcells.h"
#include "input.h"
#include "lvglimage.h"
#include "output.h"
#include "process.h"
#include "runtime_error.h"

#include <QBuffer>
#include <QImage>
#include <QImageWriter>

#include <algorithm>
#include <cstring>

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

// Pictures larger than this are refused rather than half-made.
constexpr qint64 MaxSide = 32767;
constexpr qint64 MaxPixels = qint64(1) << 28;

void checkSize(qint64 width, qint64 height, int scale) {
    const qint64 w = width * scale;
    const qint64 h = height * scale;
    if (w > MaxSide || h > MaxSide || w * h > MaxPixels)
        failure(QStringLiteral("the preview would be %1 x %2 pixels, too large for one picture; "
                               "use fewer --columns or a smaller --scale")
                    .arg(QString::number(w), QString::number(h)));
}

[[noreturn]] void noMemoryFor(qint64 width, qint64 height) {
    failure(QStringLiteral("there is not enough memory for a preview of %1 x %2 pixels")
                .arg(QString::number(width), QString::number(height)));
}

// `image`, unless it could not get its memory.
QImage made(QImage image, qint64 width, qint64 height) {
    if (image.isNull())
        noMemoryFor(width, height);
    return image;
}

QImage glyphPicture(const QByteArray& bytes, const PreviewOptions& o, const QString& source) {
    const int width = o.cell.width(), height = o.cell.height();
    const qint64 perGlyph = core::frameBytes(o.layout, width, height);
    if (bytes.size() % perGlyph != 0)
        failure(QStringLiteral("%1 holds %2 bytes, not a whole number of %3-byte %4x%5 glyphs")
                    .arg(source, QString::number(bytes.size()), QString::number(perGlyph),
                         QString::number(width), QString::number(height)));
    const qint64 count = bytes.size() / perGlyph;
    const qint64 columns = std::min<qint64>(o.columns, count);
    const qint64 rows = (count + columns - 1) / columns;
    checkSize(columns * width, rows * height, o.scale);
    return made(glyph::glyphSheet(bytes, o.layout, o.cell, o.invert, o.columns), columns * width,
                rows * height);
}

// The frames of `bytes`, each `frameBytes` long and of `size`, drawn by
// `draw`, side by side.
template <class Draw>
QImage frameSheet(const QByteArray& bytes, qint64 frameBytes, QSize size, const PreviewOptions& o,
                  Draw draw) {
    const qint64 count = bytes.size() / frameBytes;
    const QSize sheet = rgbqumo::contactSheetSize(size, count, o.columns);
    checkSize(sheet.width(), sheet.height(), o.scale);
    QList<QImage> frames;
    for (qint64 i = 0; i < count; ++i)
        frames << made(draw(bytes.mid(i * frameBytes, frameBytes)), size.width(), size.height());
    return made(rgbqumo::contactSheet(frames, o.columns), sheet.width(), sheet.height());
}

// Panel data (--panel): packed indices or planes, in the panel's colours; as
// many rows as the data holds, or frames of --height rows side by side.
QImage panelData(const QByteArray& bytes, const PreviewOptions& o, const QString& source) {
    const epaper::PanelSettings panel{panelNamed(o.panel, o.planes), o.planes};
    const int width = o.pictureWidth;
    checkSize(width, 1, o.scale);
    const qint64 row = epaper::panelBytes(panel, width, 1);
    int height = o.pictureHeight;
    if (height == 0) {
        if (bytes.size() % row != 0 || bytes.size() / row > MaxSide)
            failure(QStringLiteral("%1 holds %2 bytes, not a whole number of rows of %3 bytes "
                                   "(%4 pixels of %5%6)")
                        .arg(source, QString::number(bytes.size()), QString::number(row),
                             QString::number(width), panel.panel.name,
                             o.planes ? QStringLiteral(", every plane") : QString()));
        height = int(bytes.size() / row);
    }
    const qint64 frame = epaper::panelBytes(panel, width, height);
    if (bytes.size() % frame != 0)
        failure(QStringLiteral("%1 holds %2 bytes, not a whole number of the %3 bytes of %4 x %5 "
                               "pixels of %6")
                    .arg(source, QString::number(bytes.size()), QString::number(frame),
                         QString::number(width), QString::number(height), panel.panel.name));
    return frameSheet(bytes, frame, QSize(width, height), o, [&](const QByteArray& one) {
        return epaper::panelPicture(one, panel, QSize(width, height));
    });
}

QImage pictureData(const QByteArray& bytes, const PreviewOptions& o, const QString& source) {
    const core::Layout layout = rgbqumo::dataLayout(o.picture);
    const QString format = rgbqumo::pixelFormatName(o.picture.pixel);
    const int width = o.pictureWidth;
    if (layout.bits >= 8) {
        const int perPixel = layout.bits / 8;
        if (bytes.size() % perPixel != 0)
            failure(QStringLiteral("%1 holds %2 bytes, not a whole number of %3-byte pixels")
                        .arg(source, QString::number(bytes.size()), QString::number(perPixel)));
        if (bytes.size() / perPixel % width != 0)
            failure(
                QStringLiteral("%1 holds %2 pixels, not a whole number of rows of %3 pixels")
                    .arg(source, QString::number(bytes.size() / perPixel), QString::number(width)));
    }
    checkSize(width, 1, o.scale);
    int height = o.pictureHeight;
    // Several whole frames of W x H (picture --frames): a contact sheet.
    if (height > 0) {
        const qint64 frame = core::frameBytes(layout, width, height);
        if (bytes.size() > frame && bytes.size() % frame == 0)
            return frameSheet(bytes, frame, QSize(width, height), o, [&](const QByteArray& one) {
                return rgbqumo::dataPicture(one, o.picture, QSize(width, height));
            });
    }
    if (height > 0 && core::frameBytes(layout, width, height) != bytes.size())
        failure(QStringLiteral("%1 holds %2 bytes, not the %3 bytes of %4 x %5 %6 pixels in this "
                               "layout")
                    .arg(source, QString::number(bytes.size()),
                         QString::number(core::frameBytes(layout, width, height)),
                         QString::number(width), QString::number(height), format));
    if (height == 0) {
        const rgbqumo::HeightsHeld held = rgbqumo::heightsHeld(layout, width, bytes.size());
        if (held.highest == 0)
            failure(
                QStringLiteral("%1 holds %2 bytes, which no number of rows of %3 %4 pixels "
                               "in this layout takes")
                    .arg(source, QString::number(bytes.size()), QString::number(width), format));
        // Unpadded columns run on from one into the next: where a pixel
        // lies depends on the height. Elsewhere the unused rows just show.
        if (layout.scan == core::Scan::Column && !layout.pad && held.lowest < held.highest)
            failure(QStringLiteral("%1 holds %2 bytes, which columns of %3 to %4 pixels fill "
                                   "alike; give --height")
                        .arg(source, QString::number(bytes.size()), QString::number(held.lowest),
                             QString::number(held.highest)));
        height = held.highest;
    }
    checkSize(width, height, o.scale);
    return made(rgbqumo::dataPicture(bytes, o.picture, QSize(width, height)), width, height);
}

// The bytes of data text, or a failure naming the line that is not.
QByteArray dataOf(const QByteArray& text, const QString& source) {
    using Problem = core::DataTextProblem;
    const core::DataText data = core::readDataText(text);
    const Problem& p = data.problem;
    const QString token = QString::fromUtf8(p.token);
    QString why;
    switch (p.kind) {
    case Problem::None:
        return data.bytes;
    case Problem::NotUtf8:
        why = QStringLiteral("the text is not UTF-8");
        break;
    case Problem::OpenComment:
        why = QStringLiteral("a comment opened here does not end");
        break;
    case Problem::NotHexadecimal:
        why = QStringLiteral("'%1' is not a hexadecimal number").arg(token);
        break;
    case Problem::LargerThanByte:
        why = QStringLiteral("%1 is larger than a byte").arg(token);
        break;
    case Problem::NotHexByte:
        why = QStringLiteral("'%1' is not a byte written as 0xHH").arg(token);
        break;
    case Problem::NotData:
        why =
            token.startsWith(u'#')
                ? QStringLiteral("'%1' is not data (only #include lines are read past)").arg(token)
                : QStringLiteral("'%1' is not data").arg(token);
        break;
    }
    failure(QStringLiteral("%1, line %2: %3").arg(source, QString::number(p.line), why));
}

// An LVGL image's pixels laid exactly onto a checkerboard of 4-pixel squares,
// light grey and white, so that its transparent parts show, each row
// scaled as it comes: the preview is all the memory it takes.
class CheckerboardPreview : public lvgl::RowReceiver {
public:
    explicit CheckerboardPreview(int scale) : m_scale(scale) {}

    void begin(const lvgl::ImageHeader& header) override {
        checkSize(header.width, header.height, m_scale);
        const qint64 w = qint64(header.width) * m_scale, h = qint64(header.height) * m_scale;
        image = made(QImage(int(w), int(h), QImage::Format_RGB32), w, h);
    }

    void row(int y, const QRgb* in) override {
        const int s = m_scale;
        auto* out = reinterpret_cast<QRgb*>(image.scanLine(y * s));
        for (int x = 0; x < image.width() / s; ++x) {
            const QRgb square = (x / 4 + y / 4) % 2 ? qRgb(204, 204, 204) : qRgb(255, 255, 255);
            std::fill_n(out + qint64(x) * s, s, core::compositePixel(in[x], square));
        }
        for (int i = 1; i < s; ++i)
            std::memcpy(image.scanLine(y * s + i), out, std::size_t(image.bytesPerLine()));
    }

    QImage image;

private:
    int m_scale;
};

// Every image of a C source that declares several (a frame table), each on
// the checkerboard, side by side at the preview's scale.
QImage lvglFrames(const QList<lvgl::ReadImage>& images, const PreviewOptions& o,
                  const QString& source) {
    const QSize size = images.front().picture.size();
    QList<QImage> frames;
    for (const lvgl::ReadImage& read : images) {
        if (read.picture.size() != size)
            failure(QStringLiteral("%1: its images are not all of one size, %2 x %3 and %4 x %5")
                        .arg(source)
                        .arg(size.width())
                        .arg(size.height())
                        .arg(read.picture.width())
                        .arg(read.picture.height()));
        CheckerboardPreview frame(1);
        lvgl::ImageHeader header;
        header.width = size.width();
        header.height = size.height();
        frame.begin(header);
        for (int y = 0; y < size.height(); ++y)
            frame.row(y, reinterpret_cast<const QRgb*>(read.picture.constScanLine(y)));
        frames << frame.image;
    }
    const QSize sheet = rgbqumo::contactSheetSize(size, frames.size(), o.columns);
    checkSize(sheet.width(), sheet.height(), o.scale);
    QImage picture = made(rgbqumo::contactSheet(frames, o.columns), sheet.width(), sheet.height());
    if (o.scale == 1)
        return picture;
    return made(picture.scaled(picture.width() * o.scale, picture.height() * o.scale,
                               Qt::IgnoreAspectRatio, Qt::FastTransformation),
                qint64(picture.width()) * o.scale, qint64(picture.height()) * o.scale);
}

// The preview of an LVGL image, at its scale; a C source that declares
// several images shows them all.
QImage lvglPicture(const QByteArray& raw, const PreviewOptions& o, const QString& source) {
    CheckerboardPreview preview(o.scale);
    try {
        if (o.lvgl != u"lvgl")
            lvgl::readImageFile(raw, o.depth, preview);
        else if (lvgl::declaredImages(raw) > 1)
            return lvglFrames(lvgl::readImageSources(raw, o.depth), o, source);
        else
            lvgl::readImageSource(raw, o.depth, preview);
    } catch (const RuntimeError& e) {
        if (e.code() != RuntimeError::InvalidPicture)
            throw;
        failure(source + QStringLiteral(": ") + QString::fromUtf8(e.what()));
    }
    return std::move(preview.image);
}

int runPreview(const CommandLine& line) {
    const PreviewOptions o = parsePreview(line);
    Destination destination(nativeName(o.output).toStdString(), true, o.files);
    const QString source = o.data == QLatin1String("-") ? QStringLiteral("standard input") : o.data;
    const QByteArray raw = readWhole(o.data);
    const QByteArray bytes = o.binary || !o.lvgl.isEmpty() ? raw : dataOf(raw, source);
    if (bytes.isEmpty())
        failure(QStringLiteral("%1 holds no data").arg(source));

    QImage image = !o.lvgl.isEmpty()    ? lvglPicture(bytes, o, source)
                   : !o.panel.isEmpty() ? panelData(bytes, o, source)
                   : o.pictureWidth > 0 ? pictureData(bytes, o, source)
                                        : glyphPicture(bytes, o, source);
    if (o.scale > 1 && o.lvgl.isEmpty()) {
        const QImage scaled = image.scaled(image.width() * o.scale, image.height() * o.scale,
                                           Qt::IgnoreAspectRatio, Qt::FastTransformation);
        if (scaled.isNull())
            noMemoryFor(qint64(image.width()) * o.scale, qint64(image.height()) * o.scale);
        image = scaled;
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
        o.panel = line.value("panel");
        o.planes = line.isSet("planes");
        if (o.planes && o.panel.isEmpty())
            usageError(QStringLiteral("--planes is for the colour planes of --panel"));
        if (!o.panel.isEmpty())
            for (const char* pixelOnly :
                 {"pixel", "byte-order", "scan", "pad", "msb-first", "invert"})
                if (line.isSet(pixelOnly))
                    usageError(QStringLiteral("%1 is for the pixel formats; --panel data is laid "
                                              "out as the panels' drivers take it")
                                   .arg(optionName(pixelOnly)));
        if (line.isSet("columns") && o.pictureHeight == 0 && o.panel.isEmpty())
            usageError(QStringLiteral("--columns is for glyph data (--size) and for frames of "
                                      "picture data (--width and --height)"));
    }
    if (!o.lvgl.isEmpty() && line.isSet("columns") && o.lvgl != u"lvgl")
        usageError(QStringLiteral("--columns is for the frames of an LVGL C source"));
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
