#pragma once

// PNG files read without Qt, for the tool's quick picture path: the pixels
// of a PNG as the picture box shows them (transparent parts painted onto
// white), as a source of the conversion pipeline. Plain C++ and libpng.
//
// It takes only what it decodes exactly as the window's own reader does:
// 8 bits a channel or fewer, every colour type, with or without a
// transparency chunk, interlaced or not, read to its end without a single
// warning from the decoder; a palette index past the palette's end is read
// as the window's reader reads it. Anything else (16-bit channels, a damaged
// or cut file, a checksum that does not match, a chunk that claims more
// than the file holds or more than ChunkBytes, a picture of more than
// MaxPixels) is not taken, and the caller reads the file the usual way. The
// chunks' lengths are checked against the file before the decoder starts,
// so no file makes it allocate what the file does not hold.

#include "colour.h"
#include "pipeline.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace zentraq::rgbqumo {

class PngRows : public core::PixelSource {
public:
    // The largest picture taken: 16 Mi pixels (64 MiB of decoded pixels).
    static constexpr long long MaxPixels = 1LL << 24;
    // The largest ancillary chunk the decoder keeps, or decompresses text or
    // a colour profile to, and how many of them it keeps.
    static constexpr unsigned ChunkBytes = 8u << 20;
    static constexpr unsigned ChunkCount = 1000;

    // Decodes the PNG file open for reading at `fd` from where it stands
    // to its end (a regular file; the descriptor stays the caller's).
    // Returns nullptr when the file is not one this reader takes; nothing is
    // reported then.
    static std::unique_ptr<PngRows> read(int fd);

    int width() const override { return m_width; }
    int height() const override { return m_height; }
    void read(int y, int x, int count, Argb* out) override;

private:
    PngRows() = default;
    friend struct PngDecoding;

    int m_width = 0;
    int m_height = 0;
    // The decoded pixels, R G B A, rows from the top; not cleared when made,
    // the decoder fills them.
    std::unique_ptr<std::uint8_t[]> m_rgba;
};

} // namespace zentraq::rgbqumo
