#pragma once

// The least any picture conversion does: every pixel of an already decoded
// surface encoded as RGB565 and formatted into memory, with the data file's
// line breaks. The benchmarks print their conversions' speed as a ratio to it.

#include "hexbyte.h"
#include "rgb565.h"
#include "surface.h"

#include <cstring>
#include <vector>

namespace zentraq::bench {

// Returns the number of characters written into `out`.
inline std::size_t formatterLoop(const Surface& s, std::vector<char>& out) {
    const std::size_t pixels = static_cast<std::size_t>(s.width()) * s.height();
    out.resize(pixels * 10 + pixels / 8 * 2);
    char* p = out.data();
    int line = 0;
    for (int y = 0; y < s.height(); ++y) {
        for (int x = 0; x < s.width(); ++x) {
            const rgbqumo::ColorBytes c = rgbqumo::Rgb565(s.pixel(x, y));
            std::memcpy(p, rgbqumo::HexByteAscii(c.LowByte), 4);
            p[4] = ',';
            std::memcpy(p + 5, rgbqumo::HexByteAscii(c.HighByte), 4);
            p[9] = ',';
            p += 10;
            if (++line == 8) {
                p[0] = '\r';
                p[1] = '\n';
                p += 2;
                line = 0;
            }
        }
    }
    return static_cast<std::size_t>(p - out.data());
}

} // namespace zentraq::bench
