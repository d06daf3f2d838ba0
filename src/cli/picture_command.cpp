// zentraq-cli picture: the window's picture conversion. The decoded picture
// is read row by row as the window's preview box shows it (transparent parts
// on white) and goes through the same pipeline as the window's temp.txt,
// without handling any events in between and without a copy of the picture.
#include "cformat.h"
#include "checked.h"
#include "cli.h"
#include "files.h"
#include "numbertext.h"
#include "options.h"
#include "rgb565.h"

namespace zentraq::cli {

void runPicture(const Options& o) {
    // An output that cannot be written is reported before the picture is
    // decoded.
    Destination destination(o.output, o.form == core::DataForm::Binary);
    const QImage picture = readPicture(o.picture);
    const int width = picture.width();
    const int height = picture.height();
    const qint64 bytes = checked::mul(checked::mul<qint64>(width, height), qint64(2));

    core::Formatter out(destination.sink(), o.form, core::LinePolicy{16, false});
    if (o.form == core::DataForm::C) {
        const QString order = o.highByteFirst ? QStringLiteral("high") : QStringLiteral("low");
        out.text(headerComment(
            {QStringLiteral("Picture data made by zentraq-cli: %1, %2*%3 pixels, %4 bytes")
                 .arg(o.picture, QString::number(width), QString::number(height),
                      QString::number(bytes)),
             QStringLiteral("RGB565, 2 bytes per pixel, rows from the top, each row from the left, "
                            "%1 byte first")
                 .arg(order),
             o.highByteFirst
                 ? QStringLiteral(
                       "(a controller that takes the high byte first, or a big-endian one, "
                       "reads the array as unsigned short words)")
                 : QStringLiteral("(a little-endian controller reads the array as unsigned short "
                                  "words once it is aligned to 2 bytes)")}));
        out.beginArray(o.name.toLatin1(), bytes);
    }
    rgbqumo::Rgb565Words words;
    core::Layout layout;
    layout.byteOrder = o.highByteFirst ? core::ByteOrder::HighFirst : core::ByteOrder::LowFirst;
    core::ImageRows rows(picture);
    core::Pipeline(words, layout, width, height, &out).frame(rows);
    out.finish();
    destination.commit();
    if (!o.quiet)
        note(QStringLiteral("数据大小:") + DoubleText(double(bytes)) + QStringLiteral("字节"));
}

} // namespace zentraq::cli
