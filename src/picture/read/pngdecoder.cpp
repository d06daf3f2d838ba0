#include "pngdecoder.h"

#include <png.h>

#include <bit>
#include <csetjmp>
#include <cstdio>
#include <cstring>

namespace zentraq::rgbqumo {

// The decoder's state, and what its callbacks share with the decoding. The
// functions that set a jump point keep nothing in their own frames that a
// jump would have to unwind.
struct PngDecoder::Png {
    png_structp png = nullptr;
    png_infop info = nullptr;
    png_infop endInfo = nullptr;
    const ReadBytes* read = nullptr;
    char error[200] = {};

    ~Png() {
        if (png)
            png_destroy_read_struct(&png, info ? &info : nullptr, endInfo ? &endInfo : nullptr);
    }

    static void onError(png_structp png, png_const_charp message) {
        auto* self = static_cast<Png*>(png_get_error_ptr(png));
        std::snprintf(self->error, sizeof self->error, "%s", message ? message : "undefined");
        std::longjmp(png_jmpbuf(png), 1);
    }
    // Warnings leave the pixels as the file means them.
    static void onWarning(png_structp, png_const_charp) {}
    static void onRead(png_structp png, png_bytep data, png_size_t size) {
        if (!(*static_cast<Png*>(png_get_io_ptr(png))->read)(data, size))
            png_error(png, "Read Error");
    }
};

namespace {

// Width and height above this are refused (libpng's default limit).
constexpr png_uint_32 MaxSide = 1000000;

constexpr bool LittleEndian = std::endian::native == std::endian::little;

} // namespace

std::size_t pngRowBytes(PngLayout layout, int width) {
    const std::size_t w = std::size_t(width);
    switch (layout) {
    case PngLayout::Mono:
        return (w + 7) / 8;
    case PngLayout::Indexed8:
    case PngLayout::Grey8:
        return w;
    case PngLayout::Grey16:
        return w * 2;
    case PngLayout::Rgb32:
    case PngLayout::Argb32:
        return w * 4;
    case PngLayout::Rgbx64:
    case PngLayout::Rgba64:
        return w * 8;
    }
    return 0;
}

PngDecoder::PngDecoder(ReadBytes read) : m_read(std::move(read)) {}

PngDecoder::~PngDecoder() = default;

bool PngDecoder::isPng(const void* head, std::size_t n) {
    return n >= 8 && std::memcmp(head, "\x89PNG\r\n\x1a\n", 8) == 0;
}

bool PngDecoder::readHeader() {
    m_png = std::make_unique<Png>();
    Png& p = *m_png;
    p.read = &m_read;
    p.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &p, Png::onError, Png::onWarning);
    if (p.png) {
        p.info = png_create_info_struct(p.png);
        p.endInfo = png_create_info_struct(p.png);
    }
    if (!p.png || !p.info || !p.endInfo) {
        m_error = "Out of memory";
        return false;
    }
    if (!setUp()) {
        m_error = p.error;
        return false;
    }
    return true;
}

bool PngDecoder::setUp() {
    Png& p = *m_png;
    png_structp png = p.png;
    png_infop info = p.info;
    if (setjmp(png_jmpbuf(png)))
        return false;
    png_set_read_fn(png, &p, Png::onRead);
    // What one file may make the decoder allocate beside its pixels.
    png_set_user_limits(png, MaxSide, MaxSide);
    png_set_chunk_malloc_max(png, ChunkBytes);
    png_set_chunk_cache_max(png, ChunkCount);
    // Streams whose distances reach past the window their header declares,
    // as many writers make them, are read as they were meant.
#if defined(PNG_SET_OPTION_SUPPORTED) && defined(PNG_MAXIMUM_INFLATE_WINDOW)
    png_set_option(png, PNG_MAXIMUM_INFLATE_WINDOW, PNG_OPTION_ON);
#endif
    png_read_info(png, info);

    png_uint_32 width = 0, height = 0;
    int depth = 0, type = 0;
    png_get_IHDR(png, info, &width, &height, &depth, &type, nullptr, nullptr, nullptr);
    m_width = int(width);
    m_height = int(height);
    png_set_interlace_handling(png);
    const bool key = png_get_valid(png, info, PNG_INFO_tRNS) != 0;
    png_bytep alphas = nullptr;
    int alphaCount = 0;
    png_color_16p keyColour = nullptr;
    if (key)
        png_get_tRNS(png, info, &alphas, &alphaCount, &keyColour);
    m_table.clear();
    m_palette = type == PNG_COLOR_TYPE_PALETTE;

    if (type == PNG_COLOR_TYPE_GRAY && depth == 1) {
        // Black and white, 1 for black: index 0 white, 1 black.
        png_set_invert_mono(png);
        m_layout = PngLayout::Mono;
        m_table = {argb(255, 255, 255), argb(0, 0, 0)};
        if (key && keyColour && keyColour->gray == 0)
            m_table[1] = argb(0, 0, 0, 0);
        else if (key && keyColour && keyColour->gray == 1)
            m_table[0] = argb(255, 255, 255, 0);
    } else if (type == PNG_COLOR_TYPE_GRAY && depth == 16) {
        if (key) {
            // The transparent level's pixels need an alpha of their own.
            png_set_expand(png);
            png_set_gray_to_rgb(png);
            m_layout = PngLayout::Rgba64;
        } else {
            m_layout = PngLayout::Grey16;
        }
    } else if (type == PNG_COLOR_TYPE_GRAY && depth == 8 && !key) {
        m_layout = PngLayout::Grey8;
    } else if (type == PNG_COLOR_TYPE_GRAY) {
        // 2 and 4 bits, or 8 with a transparent level: indices into a table
        // of the levels, one of them transparent.
        if (depth < 8)
            png_set_packing(png);
        m_layout = PngLayout::Indexed8;
        const int levels = 1 << depth;
        for (int i = 0; i < levels; ++i) {
            const int c = i * 255 / (levels - 1);
            m_table.push_back(argb(c, c, c));
        }
        if (key && keyColour && keyColour->gray < levels)
            m_table[keyColour->gray] = argb(0, 0, 0, 0);
    } else if (m_palette) {
        png_colorp palette = nullptr;
        int entries = 0;
        if (!png_get_PLTE(png, info, &palette, &entries) || entries < 1 || entries > 256)
            png_error(png, "Missing PLTE");
        // 1-bit indices stay packed, with a table of two entries whatever
        // the palette holds: black and white where it holds none.
        m_layout = depth == 1 ? PngLayout::Mono : PngLayout::Indexed8;
        if (depth == 1)
            m_table = {argb(0, 0, 0), argb(255, 255, 255)};
        else
            m_table.resize(std::size_t(entries));
        if (depth != 1)
            png_set_packing(png);
        for (int i = 0; i < entries && i < int(m_table.size()); ++i)
            m_table[std::size_t(i)] = argb(palette[i].red, palette[i].green, palette[i].blue,
                                           alphas && i < alphaCount ? alphas[i] : 255);
    } else if (depth == 16) {
        if (type == PNG_COLOR_TYPE_GRAY_ALPHA)
            png_set_gray_to_rgb(png);
        if (type & PNG_COLOR_MASK_ALPHA) {
            m_layout = PngLayout::Rgba64;
        } else if (key) {
            png_set_tRNS_to_alpha(png);
            m_layout = PngLayout::Rgba64;
        } else {
            png_set_filler(png, 0xffff, PNG_FILLER_AFTER);
            m_layout = PngLayout::Rgbx64;
        }
    } else {
        // 8 bits a channel, in 32-bit words.
        png_set_expand(png);
        if (type == PNG_COLOR_TYPE_GRAY_ALPHA)
            png_set_gray_to_rgb(png);
        m_layout = (type & PNG_COLOR_MASK_ALPHA) || key ? PngLayout::Argb32 : PngLayout::Rgb32;
        if (m_layout == PngLayout::Rgb32)
            png_set_filler(png, 0xff, LittleEndian ? PNG_FILLER_AFTER : PNG_FILLER_BEFORE);
        if constexpr (LittleEndian)
            png_set_bgr(png);
        else
            png_set_swap_alpha(png);
    }
    if (depth == 16 && LittleEndian)
        png_set_swap(png);
    png_read_update_info(png, info);
    if (png_get_rowbytes(png, info) != pngRowBytes(m_layout, m_width))
        png_error(png, "Unexpected row size");
    return true;
}

bool PngDecoder::readPixels(unsigned char* rows, std::size_t stride) {
    m_rowPointers.resize(std::size_t(m_height));
    for (int y = 0; y < m_height; ++y)
        m_rowPointers[std::size_t(y)] = rows + std::size_t(y) * stride;
    Png& p = *m_png;
    png_structp png = p.png;
    unsigned char** pointers = m_rowPointers.data();
    if (setjmp(png_jmpbuf(png))) {
        m_error = p.error;
        return false;
    }
    png_read_image(png, pointers);
    if (m_palette && m_layout == PngLayout::Indexed8) {
        // An index past the palette reads as index 0.
        const unsigned entries = unsigned(m_table.size());
        for (int y = 0; y < m_height; ++y)
            for (unsigned char *i = pointers[y], *end = i + m_width; i != end; ++i)
                if (*i >= entries)
                    *i = 0;
    }
    // The rest of the file up to its end chunk, with every checksum.
    png_read_end(png, p.endInfo);
    return true;
}

} // namespace zentraq::rgbqumo
