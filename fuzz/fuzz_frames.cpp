// The frames of animated pictures: any bytes as a GIF or APNG (read and
// composed here) or anything Qt's readers take. Frames are capped at 2
// megapixels together (the image readers' memory limit lowered to 8 MB), so
// that a small input cannot ask for a long decode. Besides the sanitizers,
// checks that a failure is always a run-time failure, that there is at least
// one frame and no more than the limit, and that every frame has the
// canvas's size and no negative duration.
#include "frames.h"

#include <QCoreApplication>
#include <QImageReader>

#include <cstddef>
#include <cstdint>
#include <new>

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    static int argc = 1;
    static char name[] = "fuzz_frames";
    static char* argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);
    QImageReader::setAllocationLimit(8);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace zentraq;
    const QByteArray bytes =
        QByteArray::fromRawData(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    try {
        const auto frames = rgbqumo::openFrames(bytes, QStringLiteral("input"));
        const int count = frames->count();
        if (count < 1 || count > rgbqumo::MaxFrames)
            __builtin_trap();
        const QSize canvas = frames->size();
        if (qint64(canvas.width()) * canvas.height() * count > 2 * 1024 * 1024)
            return 0;
        rgbqumo::checkFramePixels(canvas, count);
        for (int i = 0; i < count; ++i) {
            const rgbqumo::Frame f = frames->next();
            if (f.picture.size() != canvas || f.picture.format() != QImage::Format_ARGB32 ||
                f.durationMs < 0)
                __builtin_trap();
        }
    } catch (const RuntimeError&) {
    } catch (const std::bad_alloc&) {
    }
    return 0;
}
