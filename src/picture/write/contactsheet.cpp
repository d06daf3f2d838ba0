#include "contactsheet.h"

#include <algorithm>

namespace zentraq::rgbqumo {

QSize contactSheetSize(QSize frame, qsizetype count, int columns) {
    const qsizetype across =
        std::min<qsizetype>(std::max(columns, 1), std::max<qsizetype>(count, 1));
    const qsizetype down = (count + across - 1) / across;
    return QSize(int(across * (frame.width() + 1) - 1), int(down * (frame.height() + 1) - 1));
}

QImage contactSheet(const QList<QImage>& frames, int columns) {
    if (frames.isEmpty())
        return {};
    const QSize frame = frames.front().size();
    QImage sheet(contactSheetSize(frame, frames.size(), columns), QImage::Format_RGB32);
    if (sheet.isNull())
        return sheet;
    sheet.fill(qRgb(160, 160, 160));
    const int across = std::min<int>(std::max(columns, 1), int(frames.size()));
    for (qsizetype i = 0; i < frames.size(); ++i) {
        const QImage picture = frames[i].convertToFormat(QImage::Format_RGB32);
        const int left = int(i % across) * (frame.width() + 1);
        const int top = int(i / across) * (frame.height() + 1);
        for (int y = 0; y < frame.height(); ++y)
            std::copy_n(reinterpret_cast<const QRgb*>(picture.constScanLine(y)), frame.width(),
                        reinterpret_cast<QRgb*>(sheet.scanLine(top + y)) + left);
    }
    return sheet;
}

} // namespace zentraq::rgbqumo
