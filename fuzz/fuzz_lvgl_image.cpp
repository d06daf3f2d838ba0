// LVGL images as "zentraq-cli preview" reads them back: any bytes as an
// image file and as a C source. Besides the sanitizers, checks that a
// failure is always the damaged-image failure, that a picture read has the
// size its header gives, and that RLE and LZ4 give back any bytes they pack.
#include "lvglimage.h"
#include "runtime_error.h"

#include <cstddef>
#include <cstdint>

using namespace zentraq;

namespace {

void read(bool source, const QByteArray& bytes) {
    try {
        const lvgl::ReadImage r = source ? lvgl::readImageSource(bytes)
                                         : lvgl::readImageFile(bytes, lvgl::ColourDepth::Depth32);
        if (r.picture.isNull() || r.picture.format() != QImage::Format_ARGB32 || r.stride < 1)
            __builtin_trap();
    } catch (const RuntimeError& e) {
        if (e.code() != RuntimeError::InvalidPicture && e.code() != RuntimeError::Other)
            __builtin_trap();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArray bytes =
        QByteArray::fromRawData(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    read(false, bytes);
    read(true, bytes);
    if (size > 0 && size < 4096) {
        const int block = 1 + data[0] % 4;
        if (lvgl::rleDecompress(lvgl::rleCompress(bytes, block), block, bytes.size()) != bytes ||
            lvgl::lz4Decompress(lvgl::lz4Compress(bytes), bytes.size()) != bytes)
            __builtin_trap();
    }
    return 0;
}
