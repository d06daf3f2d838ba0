#include "pictureloader.h"

#include "runtime_error.h"

#include <QFileInfo>
#include <QImageReader>

namespace zentraq::rgbqumo {

QImage LoadPicture(const QString& path) {
    const QFileInfo info(path);
    if (!info.exists())
        throw RuntimeError(RuntimeError::FileNotFound, QStringLiteral("文件未找到：%1").arg(path));
    if (!info.isFile())
        throw RuntimeError(RuntimeError::PathFileAccessError,
                           QStringLiteral("路径/文件访问错误：%1 不是文件").arg(path));

    QImageReader reader(path);
    reader.setAutoTransform(false); // pixels as stored, as the preview shows them

    // Refuse pictures whose pixels would not fit the reader's memory limit
    // with a message that says so, rather than a generic read failure.
    const QSize size = reader.size();
    const int limitMb = QImageReader::allocationLimit();
    if (size.isValid() && limitMb > 0 &&
        qint64(size.width()) * size.height() * 4 > qint64(limitMb) * 1024 * 1024)
        throw RuntimeError(RuntimeError::InvalidPicture,
                           QStringLiteral("图片尺寸过大（%1*%2），无法载入：%3")
                               .arg(size.width())
                               .arg(size.height())
                               .arg(path));

    QImage picture;
    if (!reader.read(&picture) || picture.isNull()) {
        switch (reader.error()) {
        case QImageReader::FileNotFoundError:
            throw RuntimeError(RuntimeError::FileNotFound,
                               QStringLiteral("文件未找到：%1").arg(path));
        case QImageReader::DeviceError:
            throw RuntimeError(RuntimeError::PathFileAccessError,
                               QStringLiteral("无法读取文件：%1").arg(path));
        case QImageReader::InvalidDataError:
            throw RuntimeError(RuntimeError::InvalidPicture,
                               QStringLiteral("无效图片：图片数据已损坏或不完整：%1").arg(path));
        default:
            throw RuntimeError(RuntimeError::InvalidPicture,
                               QStringLiteral("无效图片：不是可识别的图片格式：%1").arg(path));
        }
    }
    // One picture pixel is one box pixel, whatever scale the file asks for.
    picture.setDevicePixelRatio(1.0);
    return picture;
}

} // namespace zentraq::rgbqumo
