// LVGL images as "zentraq-cli preview" reads them back: any bytes as an
// image file and as a C source. Besides the sanitizers, checks that a
// failure is always the damaged-image failure, that a picture read has the
// size its header gives, that RLE and LZ4 give back any bytes they pack, and
// that any bytes as an LZ4 block unpack as liblz4's safe decoder unpacks them.
#include "lvglimage.h"
#include "runtime_error.h"

#include <cstddef>
#include <cstdint>
#include <vector>

#include <lz4.h>

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
        // The size liblz4 finds, then both held to exactly that size: what
        // is read is what liblz4 reads (which also lets a match at offset 0
        // copy bytes not written yet, refused here).
        std::vector<char> theirs(1 << 16);
        const int n =
            LZ4_decompress_safe(bytes.constData(), theirs.data(), int(size), int(theirs.size()));
        if (n >= 0) {
            const int exact = LZ4_decompress_safe(bytes.constData(), theirs.data(), int(size), n);
            const std::optional<QByteArray> ours = lvgl::lz4Decompress(bytes, n);
            if (ours && (exact != n || *ours != QByteArray(theirs.data(), n)))
                __builtin_trap();
        }
    }
    return 0;
}
