// Metafiles as the picture loader meets them: the header and record checks
// run in this process on every input; inputs that pass them go on to the
// converter program, as in the window and the tool, with a deadline shorter
// than the fuzzer's own. Whatever the bytes, the load gives a picture of the
// size the headers promise or fails with RuntimeError or std::bad_alloc:
// nothing crashes or hangs in this process, whatever the converter does.
#include "metafile.h"
#include "metafileformat.h"
#include "pictureloader.h"
#include "runtime_error.h"

#include <QCoreApplication>
#include <QImageReader>

#include <cstddef>
#include <cstdint>
#include <new>

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    static int argc = 1;
    static char name[] = "fuzz_metafile";
    static char* argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);
    // At most 2 megapixels, so that a small input cannot ask for a long drawing.
    QImageReader::setAllocationLimit(8);
    zentraq::rgbqumo::MetafileConverter c = zentraq::rgbqumo::DefaultMetafileConverter();
    c.bounds.deadline = std::chrono::seconds(4);
    zentraq::rgbqumo::SetMetafileConverter(c);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace zentraq;
    const QByteArray bytes =
        QByteArray::fromRawData(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    if (!metafile::looksLikeMetafile(bytes))
        return 0;
    const auto inspected = metafile::inspect(bytes);
    QImage picture;
    try {
        picture = rgbqumo::LoadPictureData(bytes, QStringLiteral("input"));
    } catch (const RuntimeError&) {
        return 0;
    } catch (const std::bad_alloc&) {
        return 0;
    }
    // A picture only from records that passed the checks, at their size.
    const auto* layout = std::get_if<metafile::Layout>(&inspected);
    if (!layout || picture.width() != layout->pixelWidth ||
        picture.height() != layout->pixelHeight ||
        rgbqumo::PictureExtent(picture) != QSizeF(layout->width, layout->height))
        __builtin_trap();
    return 0;
}
