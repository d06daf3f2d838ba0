#pragma once

// LVGL's decoder of compressed glyph bitmaps (lv_font_fmt_txt.c: rle_next,
// decompress), as a reference: the samples back, one per pixel.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace zentraq::testing {

inline std::vector<std::uint8_t> lvglDecompress(const std::uint8_t* in, std::size_t size, int width,
                                                int height, int bpp, bool prefilter) {
    std::size_t rdp = 0;
    const auto bits = [&](int len) {
        unsigned v = 0;
        for (int i = 0; i < len; ++i) {
            const std::size_t at = rdp + std::size_t(i);
            v = (v << 1) | (at / 8 < size ? (in[at / 8] >> (7 - at % 8)) & 1u : 0u);
        }
        return std::uint8_t(v);
    };
    enum { Single, Repeated, Counter } state = Single;
    std::uint8_t prev = 0;
    int count = 0;
    const auto next = [&]() {
        std::uint8_t ret = 0;
        if (state == Single) {
            ret = bits(bpp);
            if (rdp != 0 && prev == ret) {
                count = 0;
                state = Repeated;
            }
            prev = ret;
            rdp += std::size_t(bpp);
        } else if (state == Repeated) {
            const std::uint8_t v = bits(1);
            ++count;
            ++rdp;
            if (v == 1) {
                ret = prev;
                if (count == 11) {
                    count = bits(6);
                    rdp += 6;
                    if (count != 0) {
                        state = Counter;
                    } else {
                        ret = prev = bits(bpp);
                        rdp += std::size_t(bpp);
                        state = Single;
                    }
                }
            } else {
                ret = prev = bits(bpp);
                rdp += std::size_t(bpp);
                state = Single;
            }
        } else {
            ret = prev;
            if (--count == 0) {
                ret = prev = bits(bpp);
                rdp += std::size_t(bpp);
                state = Single;
            }
        }
        return ret;
    };
    std::vector<std::uint8_t> out(std::size_t(width) * std::size_t(height));
    std::vector<std::uint8_t> line(std::size_t(width), 0);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const std::uint8_t v = next();
            line[std::size_t(x)] = prefilter && y > 0 ? std::uint8_t(v ^ line[std::size_t(x)]) : v;
            out[std::size_t(y) * std::size_t(width) + std::size_t(x)] = line[std::size_t(x)];
        }
    }
    return out;
}

} // namespace zentraq::testing
