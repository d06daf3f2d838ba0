#pragma once

// 16-bit RGB PNGs with a transparency chunk, decoded with libpng alone.
// Qt's reader accepts them as 16-bit RGBA pictures but writes only three
// channels a pixel, so the last quarter of each picture is left as the
// memory was and the rest is shifted; the loader takes the pixels from here
// instead. Plain C++.

#include <cstddef>
#include <functional>

namespace zentraq::rgbqumo {

// Reads n bytes of the file, in order, into out; false when they are not
// all there.
using ReadBytes = std::function<bool(void* out, std::size_t n)>;

// The pixels of the PNG that `read` gives from its first byte, a 16-bit RGB
// picture of width x height with a tRNS chunk, as 16-bit R, G, B, A in the
// machine's byte order (Qt's RGBA64 layout): the pixels of the chunk's
// colour transparent, every other one opaque. Row y goes to rows + y *
// stride. False, with the rows in any state, when the file is not such a
// picture or cannot be decoded.
bool readRgb16WithKey(const ReadBytes& read, int width, int height, unsigned char* rows,
                      std::size_t stride);

} // namespace zentraq::rgbqumo
