#pragma once

// A PNG file's pixels as the picture box shows them (transparent parts
// painted onto white), as a source of the conversion pipeline: the tool's
// quick picture path, which reads with the PNG reader of every route
// (pngdecoder.h) without Qt. Plain C++ and libpng.
//
// It takes the pictures of 8 bits a channel or fewer, of up to MaxPixels,
// that the reader decodes without an error; a 16-bit picture, a damaged or
// cut file, or one with a chunk that claims more than the file holds, is
// left to the caller, which reads the file the usual way and says what is
// wrong. The chunks' lengths are checked against the file before the
// decoder starts, so no file makes it allocate what the file does not hold.

#include "colour.h"
#include "pipeline.h"
#include "pngdecoder.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace zentraq::rgbqumo {

class PngRows : public core::PixelSource {
public:
    // The largest picture taken: 16 Mi pixels (64 MiB of 32-bit pixels).
    static constexpr long long MaxPixels = 1LL << 24;

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

    int m_width = 0;
    int m_height = 0;
    PngLayout m_layout = PngLayout::Rgb32;
    std::vector<Argb> m_table; // Mono and Indexed8: each index painted onto white
    std::size_t m_stride = 0;
    // The decoded rows, in the reader's layout; not cleared when made, the
    // decoder fills them.
    std::unique_ptr<std::uint8_t[]> m_rows;
};

} // namespace zentraq::rgbqumo
