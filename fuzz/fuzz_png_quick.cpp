// The quick picture path against the window's route: any bytes as a PNG
// file. Both read it with the same PNG reader, but the window's loader runs
// its own checks first and shows the picture through the picture box.
// Whatever the quick path takes, the window's loader must read too, and the
// picture box must show the same pixels; a picture one takes and the other
// refuses, or a single pixel that differs, stops the fuzzer.
// Pictures are capped at 2 megapixels (the image readers' memory limit,
// lowered to 8 MB), so that a small input cannot ask for a long conversion.
#include "imagerows.h"
#include "pictureloader.h"
#include "pngrows.h"
#include "runtime_error.h"

#include <QCoreApplication>
#include <QImageReader>

#include <cstddef>
#include <cstdint>
#include <new>
#include <sys/mman.h>
#include <unistd.h>
#include <vector>

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    static int argc = 1;
    static char name[] = "fuzz_png_quick";
    static char* argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);
    QImageReader::setAllocationLimit(8);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace zentraq;
    const int fd = ::memfd_create("picture.png", MFD_CLOEXEC);
    if (fd < 0 || ::write(fd, data, size) != static_cast<ssize_t>(size) ||
        ::lseek(fd, 0, SEEK_SET) != 0)
        __builtin_trap();
    const std::unique_ptr<rgbqumo::PngRows> quick = rgbqumo::PngRows::read(fd);
    ::close(fd);
    if (!quick || static_cast<long long>(quick->width()) * quick->height() > 2 * 1024 * 1024)
        return 0;

    QImage picture;
    try {
        picture =
            rgbqumo::LoadPictureData(QByteArray::fromRawData(reinterpret_cast<const char*>(data),
                                                             static_cast<qsizetype>(size)),
                                     QStringLiteral("picture.png"));
    } catch (const std::bad_alloc&) {
        return 0;
    } catch (const RuntimeError&) {
        __builtin_trap(); // taken by the quick path, refused by the window's loader
    }
    if (picture.width() != quick->width() || picture.height() != quick->height())
        __builtin_trap();
    core::ImageRows shown(picture);
    std::vector<Argb> a(std::size_t(picture.width())), b(a.size());
    for (int y = 0; y < picture.height(); ++y) {
        shown.read(y, 0, picture.width(), a.data());
        quick->read(y, 0, picture.width(), b.data());
        if (a != b)
            __builtin_trap();
    }
    return 0;
}
