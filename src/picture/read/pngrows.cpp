#include "pngrows.h"

#include "pngchunks.h"

#include <png.h>

#include <cerrno>
#include <csetjmp>
#include <new>
#include <sys/stat.h>
#include <unistd.h>

namespace zentraq::rgbqumo {

// What the decoder's callbacks and the decoding share. It lives in the
// caller's frame, outside the function that sets the jump point, so that
// nothing the decoder leaves by a jump has to be trusted afterwards.
struct PngDecoding {
    int fd = -1;
    bool warned = false;
    PngRows* rows = nullptr;
    std::vector<png_bytep> rowPointers;

    static void onError(png_structp png, png_const_charp) { std::longjmp(png_jmpbuf(png), 1); }
    static void onWarning(png_structp png, png_const_charp) {
        static_cast<PngDecoding*>(png_get_error_ptr(png))->warned = true;
    }
    static void onRead(png_structp png, png_bytep data, png_size_t size) {
        auto* d = static_cast<PngDecoding*>(png_get_io_ptr(png));
        while (size > 0) {
            const ssize_t n = ::read(d->fd, data, size);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                png_error(png, "read");
            data += n;
            size -= std::size_t(n);
        }
    }

    // The image's header, then its pixels as 8-bit RGBA, to the end of the
    // file. False for anything not taken.
    bool decode(png_structp png, png_infop info);
};

namespace {

// The colours of a palette picture's indices as the window's reader gives
// them: each entry with its alpha from the transparency chunk (opaque past
// its end). An index past the end of the palette is read as Qt's reader
// reads it: in a picture of 1 bit a pixel, whose table always has two
// entries, a missing second entry is transparent black; at 2, 4 and 8 bits
// the index becomes 0.
bool paletteColours(png_structp png, png_infop info, int depth, Argb (&table)[256]) {
    png_colorp palette = nullptr;
    int entries = 0;
    if (!png_get_PLTE(png, info, &palette, &entries) || entries < 1 || entries > 256)
        return false;
    png_bytep alpha = nullptr;
    int alphas = 0;
    if (!png_get_tRNS(png, info, &alpha, &alphas, nullptr))
        alphas = 0;
    // Qt's table of a 1-bit picture has two entries, and more alphas than
    // that make its reader warn.
    if (depth == 1 && alphas > 2)
        return false;
    for (int i = 0; i < 256; ++i) {
        if (i < entries)
            table[i] = argb(palette[i].red, palette[i].green, palette[i].blue,
                            i < alphas ? alpha[i] : 255);
        else
            table[i] = depth == 1 ? argb(0, 0, 0, 0) : table[0];
    }
    return true;
}

} // namespace

bool PngDecoding::decode(png_structp png, png_infop info) {
    if (setjmp(png_jmpbuf(png)))
        return false;
    png_set_read_fn(png, this, onRead);
    // What one file may make the decoder allocate: no side longer than the
    // largest picture taken, no ancillary chunk (nor the text it
    // decompresses to) over ChunkBytes, no more than ChunkCount of them.
    png_set_user_limits(png, PngRows::MaxPixels, PngRows::MaxPixels);
    png_set_chunk_malloc_max(png, PngRows::ChunkBytes);
    png_set_chunk_cache_max(png, PngRows::ChunkCount);
    // Ancillary chunks with bad checksums are warned about, so not taken.
    png_read_info(png, info);
    png_uint_32 width = 0, height = 0;
    int depth = 0, colourType = 0, interlace = 0;
    png_get_IHDR(png, info, &width, &height, &depth, &colourType, &interlace, nullptr, nullptr);
    // The decoder has checked that both sides are at least 1.
    if (depth > 8 || static_cast<long long>(width) * height > PngRows::MaxPixels || warned)
        return false;
    const bool indexed = colourType == PNG_COLOR_TYPE_PALETTE;
    Argb colours[256];
    if (indexed) {
        // The indices, one a byte; their colours are looked up below.
        if (!paletteColours(png, info, depth, colours))
            return false;
        png_set_packing(png);
        // Indices past the palette are no warning: they have their colours.
        png_set_check_for_invalid_index(png, 0);
    } else {
        // Grey of fewer bits to 8-bit RGB, the transparency chunk to alpha,
        // and opaque alpha where there is none.
        png_set_expand(png);
        png_set_gray_to_rgb(png);
        png_set_add_alpha(png, 0xFF, PNG_FILLER_AFTER);
    }
    png_set_interlace_handling(png);
    png_read_update_info(png, info);
    if (png_get_rowbytes(png, info) != std::size_t(width) * (indexed ? 1 : 4))
        return false;
    rows->m_width = int(width);
    rows->m_height = int(height);
    rows->m_rgba = std::make_unique_for_overwrite<std::uint8_t[]>(std::size_t(width) * height * 4);
    rowPointers.resize(height);
    for (png_uint_32 y = 0; y < height; ++y)
        rowPointers[y] = rows->m_rgba.get() + std::size_t(y) * width * 4;
    png_read_image(png, rowPointers.data());
    // The rest of the file up to its end chunk, with every checksum, each
    // chunk handled as the window's reader handles it (without a place to
    // keep them, libpng would skip them unread).
    png_read_end(png, info);
    if (indexed) {
        // Each row's indices, at its start, become its pixels, from the
        // right so that no index is overwritten before it is read.
        for (png_bytep row : rowPointers)
            for (png_uint_32 x = width; x-- > 0;) {
                const Argb c = colours[row[x]];
                png_bytep p = row + std::size_t(x) * 4;
                p[0] = std::uint8_t(argbRed(c));
                p[1] = std::uint8_t(argbGreen(c));
                p[2] = std::uint8_t(argbBlue(c));
                p[3] = std::uint8_t(argbAlpha(c));
            }
    }
    return !warned;
}

std::unique_ptr<PngRows> PngRows::read(int fd) {
    // The chunks' lengths against the file's size, before libpng allocates
    // what they claim.
    struct stat st {};
    const off_t start = ::lseek(fd, 0, SEEK_CUR);
    if (start < 0 || ::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) ||
        pngChunkOverclaim(
            [fd](long long offset, void* out, long long n) {
                return ::pread(fd, out, std::size_t(n), off_t(offset)) == ssize_t(n);
            },
            start, st.st_size))
        return nullptr;
    std::unique_ptr<PngRows> rows(new PngRows);
    PngDecoding d;
    d.fd = fd;
    d.rows = rows.get();
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &d, PngDecoding::onError,
                                             PngDecoding::onWarning);
    if (!png)
        return nullptr;
    png_infop info = png_create_info_struct(png);
    bool taken = false;
    try {
        taken = info && d.decode(png, info);
    } catch (const std::bad_alloc&) {
        // No memory for the pixels: the usual reader says so.
    }
    png_destroy_read_struct(&png, info ? &info : nullptr, nullptr);
    if (!taken)
        return nullptr;
    return rows;
}

void PngRows::read(int y, int x, int count, Argb* out) {
    const std::uint8_t* p = m_rgba.get() + (std::size_t(y) * std::size_t(m_width) + x) * 4;
    for (int i = 0; i < count; ++i, p += 4)
        out[i] = core::paintedOnWhite(argb(p[0], p[1], p[2], p[3]));
}

} // namespace zentraq::rgbqumo
