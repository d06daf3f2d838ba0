#pragma once

// The PNG reader of every route: the window's picture box, the tool's
// conversions and its quick picture path all decode PNG files here, with
// libpng. Plain C++, so that the quick path needs no Qt.
//
// A picture is decoded into the smallest layout that holds it exactly, the
// layouts the picture box takes: 1-bit and 8-bit indices with a colour
// table, 8 and 16-bit grey, and 8 or 16 bits a channel with or without
// alpha. Indices past the end of a palette read as index 0; a 1-bit palette
// picture always has a table of two entries, a missing second one opaque
// white. A transparency chunk becomes alpha, also in a 16-bit
// RGB picture. Warnings of the decoder (a damaged ancillary chunk, data
// after the last row) leave the pixels as the file means them and are not
// failures; errors are. Width and height are bounded by libpng's default
// limits, and ancillary chunks by ChunkBytes and ChunkCount. A chunk that
// claims more than its file holds would still be allocated whole before it
// is found short: every route walks the chunks first (pngChunkOverclaim).

#include "colour.h"

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace zentraq::rgbqumo {

// How a decoded picture's rows hold its pixels (the machine's byte order).
enum class PngLayout {
    Mono,     // 1 bit a pixel, the leftmost in the top bit, an index
    Indexed8, // 1 byte a pixel, an index
    Grey8,    // 1 byte a pixel, a grey level
    Grey16,   // 2 bytes a pixel, a grey level
    Rgb32,    // a 32-bit word 0xffRRGGBB a pixel
    Argb32,   // a 32-bit word 0xAARRGGBB a pixel, not premultiplied
    Rgbx64,   // four 16-bit words R, G, B, 0xffff a pixel
    Rgba64,   // four 16-bit words R, G, B, A a pixel, not premultiplied
};

// The bytes one row of `width` pixels takes in `layout`, without padding.
std::size_t pngRowBytes(PngLayout layout, int width);

class PngDecoder {
public:
    // The largest ancillary chunk kept, or decompressed to (text, a colour
    // profile), and how many of them are kept: libpng's own defaults.
    static constexpr unsigned ChunkBytes = 8000000;
    static constexpr unsigned ChunkCount = 1000;

    // Reads n bytes of the file, in order, into out; false when they are not
    // all there.
    using ReadBytes = std::function<bool(void* out, std::size_t n)>;

    explicit PngDecoder(ReadBytes read);
    ~PngDecoder();
    PngDecoder(const PngDecoder&) = delete;
    PngDecoder& operator=(const PngDecoder&) = delete;

    // Whether `head` (at least its first 8 bytes) begins a PNG file.
    static bool isPng(const void* head, std::size_t n);

    // Reads the file from its signature up to its image data: its size, its
    // layout and colour table. False, with error() set, when it cannot.
    bool readHeader();
    int width() const { return m_width; }
    int height() const { return m_height; }
    PngLayout layout() const { return m_layout; }
    // Mono and Indexed8: the colour of each index the picture's rows may
    // hold (unpremultiplied ARGB); empty for the other layouts.
    const std::vector<Argb>& table() const { return m_table; }

    // After readHeader: the pixels into `rows`, row y at rows + y * stride
    // (stride at least pngRowBytes), then the rest of the file up to its end
    // chunk, every checksum checked. False, with error() set and the rows in
    // any state, when the data is damaged or cut short.
    bool readPixels(unsigned char* rows, std::size_t stride);

    // libpng's words for why the file could not be read.
    const std::string& error() const { return m_error; }

private:
    struct Png;
    bool setUp();

    ReadBytes m_read;
    std::unique_ptr<Png> m_png;
    int m_width = 0;
    int m_height = 0;
    PngLayout m_layout = PngLayout::Rgb32;
    bool m_palette = false;
    std::vector<Argb> m_table;
    std::vector<unsigned char*> m_rowPointers;
    std::string m_error;
};

} // namespace zentraq::rgbqumo
