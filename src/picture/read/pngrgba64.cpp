#include "pngrgba64.h"

#include <png.h>

#include <bit>
#include <csetjmp>
#include <new>
#include <vector>

namespace zentraq::rgbqumo {
namespace {

struct Decoding {
    const ReadBytes* read = nullptr;

    static void onError(png_structp png, png_const_charp) { std::longjmp(png_jmpbuf(png), 1); }
    static void onWarning(png_structp, png_const_charp) {}
    static void onRead(png_structp png, png_bytep data, png_size_t size) {
        if (!(*static_cast<Decoding*>(png_get_io_ptr(png))->read)(data, size))
            png_error(png, "read");
    }

    // Lives in the caller's frame, so nothing the decoder leaves by a jump
    // is trusted afterwards.
    std::vector<png_bytep> rowPointers;

    bool decode(png_structp png, png_infop info, int width, int height, unsigned char* rows,
                std::size_t stride) {
        if (setjmp(png_jmpbuf(png)))
            return false;
        png_set_read_fn(png, this, onRead);
        png_read_info(png, info);
        png_uint_32 w = 0, h = 0;
        int depth = 0, colourType = 0;
        png_get_IHDR(png, info, &w, &h, &depth, &colourType, nullptr, nullptr, nullptr);
        if (int(w) != width || int(h) != height || depth != 16 ||
            colourType != PNG_COLOR_TYPE_RGB || !png_get_valid(png, info, PNG_INFO_tRNS))
            return false;
        png_set_tRNS_to_alpha(png);
        if constexpr (std::endian::native == std::endian::little)
            png_set_swap(png); // the file's big-endian samples in the machine's order
        png_set_interlace_handling(png);
        png_read_update_info(png, info);
        if (png_get_rowbytes(png, info) != std::size_t(width) * 8 ||
            stride < std::size_t(width) * 8)
            return false;
        rowPointers.resize(std::size_t(height));
        for (int y = 0; y < height; ++y)
            rowPointers[std::size_t(y)] = rows + std::size_t(y) * stride;
        png_read_image(png, rowPointers.data());
        return true;
    }
};

} // namespace

bool readRgb16WithKey(const ReadBytes& read, int width, int height, unsigned char* rows,
                      std::size_t stride) {
    Decoding d;
    d.read = &read;
    png_structp png =
        png_create_read_struct(PNG_LIBPNG_VER_STRING, &d, Decoding::onError, Decoding::onWarning);
    if (!png)
        return false;
    png_infop info = png_create_info_struct(png);
    bool done = false;
    try {
        done = info && d.decode(png, info, width, height, rows, stride);
    } catch (const std::bad_alloc&) {
    }
    png_destroy_read_struct(&png, info ? &info : nullptr, nullptr);
    return done;
}

} // namespace zentraq::rgbqumo
