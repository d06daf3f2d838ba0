#include "lvglcompress.h"

#include <algorithm>

namespace zentraq::font {
namespace {

// A value is written once; when it comes again, a run starts.
constexpr int SkipCount = 1;
// Repeats written as one 1 bit each before a count is used.
constexpr int BitRepeats = 10;
constexpr int CounterBits = 6;
constexpr int CounterMax = (1 << CounterBits) - 1;
// The longest run one go codes: the value, its repeat, 11 one bits, a count.
constexpr int MaxRun = CounterMax + BitRepeats + 1 + SkipCount;

} // namespace

void writePlain(const std::uint8_t* samples, int count, int bpp, BitWriter& out) {
    for (int i = 0; i < count; ++i)
        out.write(samples[i], bpp);
}

void writeCompressed(const std::uint8_t* samples, int width, int height, int bpp, bool prefilter,
                     BitWriter& out) {
    const std::size_t n = std::size_t(width) * std::size_t(height);
    std::vector<std::uint8_t> v(samples, samples + n);
    if (prefilter) {
        for (std::size_t i = n; i-- > std::size_t(width);)
            v[i] ^= samples[i - std::size_t(width)];
    }
    std::size_t at = 0;
    while (at < n) {
        const std::uint8_t p = v[at];
        std::size_t end = at + 1;
        while (end < n && v[end] == p && end - at < std::size_t(MaxRun))
            ++end;
        int same = int(end - at);
        at = end;
        out.write(p, bpp); // the value itself
        if (same <= SkipCount)
            continue;
        same -= SkipCount;
        out.write(p, bpp); // again: a run starts
        if (same <= BitRepeats) {
            for (int i = 0; i < same; ++i)
                out.put(i < same - 1 ? 1 : 0);
            continue;
        }
        same -= BitRepeats + 1;
        for (int i = 0; i < BitRepeats + 1; ++i)
            out.put(1);
        out.write(std::uint32_t(same), CounterBits);
    }
}

} // namespace zentraq::font
