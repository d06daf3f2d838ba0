// zentraq-cli picture: the window's picture conversion. The picture is
// loaded and put on a white surface as the preview box does, then the same
// routine that writes the window's temp.txt writes the data, without
// handling any events in between; other shapes are made from that data text.
#include "cformat.h"
#include "cli.h"
#include "datatext.h"
#include "numbertext.h"
#include "options.h"
#include "output.h"
#include "pictureconvert.h"
#include "pictureloader.h"
#include "runtime_error.h"
#include "surface.h"

#include <QImage>


namespace zentraq::cli {
namespace {

// The preview box's background, onto which transparent parts of a picture
// are composited before its pixels are read.
constexpr Colour PreviewBackColor = rgbColour(255, 255, 255);

// A full line of data text: eight 10-character items and CR LF.
constexpr qint64 LineLength = 8 * 10 + 2;

} // namespace

void runPicture(const Options& o) {
    // An output that cannot be written is reported before the picture is
    // decoded.
    Destination destination(o.output, o.form == DataForm::Binary);

    Surface picture(0, 0, PreviewBackColor);
    try {
        picture.assign(rgbqumo::LoadPicture(o.picture));
    } catch (const RuntimeError& e) {
        failure(QStringLiteral("cannot read picture '%1': %2").arg(o.picture, e.description()));
    }
    const int width = picture.width();
    const int height = picture.height();

    // The default shape into a file: the conversion writes the file itself,
    // under the temporary name that is renamed into place.
    if (o.form == DataForm::Hex && !o.highByteFirst && destination.file()) {
        const QString path = destination.file()->handOver();
        if (!path.isEmpty()) {
            const rgbqumo::ConversionResult result = rgbqumo::ConvertPictureData(picture, width, height, path);
            destination.commit();
            if (!o.quiet)
                note(QStringLiteral("数据大小:") + DoubleText(result.bytes) + QStringLiteral("字节"));
            return;
        }
    }

    ScratchFile scratch;
    const rgbqumo::ConversionResult result = rgbqumo::ConvertPictureData(picture, width, height, scratch.path());
    Sink& sink = destination.sink();

    if (o.form == DataForm::C) {
        PictureArrayInfo info;
        info.name = o.name;
        info.source = o.picture;
        info.width = width;
        info.height = height;
        info.bytes = static_cast<qint64>(result.total);
        info.highByteFirst = o.highByteFirst;
        sink.write(pictureArrayHead(info));
    }
    bool lineOpen = false;
    readInPieces(scratch.path(), LineLength, [&](QByteArray& piece) {
        if (o.highByteFirst)
            swapPixelBytes(piece.data(), piece.size());
        if (o.form == DataForm::Binary)
            sink.write(itemBytes(piece.constData(), piece.size()));
        else
            sink.write(piece);
        lineOpen = !piece.endsWith("\r\n");
    });
    if (o.form == DataForm::C)
        sink.write(pictureArrayTail(lineOpen));
    destination.commit();
    if (!o.quiet)
        note(QStringLiteral("数据大小:") + DoubleText(result.bytes) + QStringLiteral("字节"));
}

} // namespace zentraq::cli
