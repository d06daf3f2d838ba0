// Picture loading and conversion, as "导入图片" and "生成取模数据" do them:
// any bytes as a picture file, loaded, put on the preview's white surface and
// converted into the data file in a temporary folder. Pictures are capped at
// 2 megapixels (the image readers' memory limit, lowered to 8 MB), so that a
// small input cannot ask for a long conversion. Besides the sanitizers,
// checks the data file's length against the picture's size.
#include "pictureconvert.h"
#include "pictureloader.h"
#include "runtime_error.h"
#include "surface.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QImageReader>
#include <QTemporaryDir>

#include <cstddef>
#include <cstdint>
#include <new>

namespace {
QTemporaryDir* folder = nullptr;
}

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // The image format plugins need an application object; it sees none of
    // the fuzzer's own arguments.
    static int argc = 1;
    static char name[] = "fuzz_picture";
    static char* argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);
    QImageReader::setAllocationLimit(8);
    folder = new QTemporaryDir;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace zentraq;
    QImage picture;
    try {
        picture =
            rgbqumo::LoadPictureData(QByteArray::fromRawData(reinterpret_cast<const char*>(data),
                                                             static_cast<qsizetype>(size)),
                                     QStringLiteral("input"));
    } catch (const RuntimeError&) {
        return 0;
    } catch (const std::bad_alloc&) {
        return 0;
    }
    const qint64 pixels = qint64(picture.width()) * picture.height();
    if (pixels > 2 * 1024 * 1024)
        return 0;

    Surface preview(0, 0, rgbColour(255, 255, 255));
    preview.assign(picture);
    const QString path = folder->filePath(QStringLiteral("temp.txt"));
    const rgbqumo::ConversionResult result =
        rgbqumo::ConvertPictureData(preview, preview.width(), preview.height(), path);
    if (result.bytes != 2.0 * pixels || QFileInfo(path).size() != pixels * 10 + pixels / 8 * 2)
        __builtin_trap();
    return 0;
}
