#include "pixelformat.h"

#include "encode.h"

#include <algorithm>
#include <cstdlib>
#include <stdexcept>

namespace zentraq::rgbqumo {
namespace {

// clang-format off
constexpr PixelFormatInfo Formats[] = {
    {PixelFormat::Rgb565, "rgb565", 16, 5, false, "a 16-bit word of red (bits 15-11), green (10-5) and blue (4-0)"},
    {PixelFormat::Bgr565, "bgr565", 16, 5, false, "a 16-bit word of blue (bits 15-11), green (10-5) and red (4-0)"},
    {PixelFormat::Rgb888, "rgb888", 24, 8, false, "red, green, blue"},
    {PixelFormat::Bgr888, "bgr888", 24, 8, false, "blue, green, red"},
    {PixelFormat::Rgb666, "rgb666", 24, 6, false, "red, green, blue, each channel's 6 bits at the top of its byte (bits 7-2)"},
    {PixelFormat::Rgb332, "rgb332", 8, 3, false, "red in bits 7-5, green in 4-2, blue in 1-0"},
    {PixelFormat::Gray8, "gray8", 8, 8, true, "the luma (299 R + 587 G + 114 B + 500) / 1000"},
    {PixelFormat::Gray4, "gray4", 4, 4, true, "the top 4 bits of the luma (gray8 / 16)"},
    {PixelFormat::Gray2, "gray2", 2, 2, true, "the top 2 bits of the luma (gray8 / 64)"},
    {PixelFormat::Mono, "mono", 1, 1, true, "ink (dark) where the luma is below the threshold, background (light) elsewhere"},
};
// clang-format on

const PixelFormatInfo& infoOf(PixelFormat format) {
    for (const PixelFormatInfo& f : Formats)
        if (f.format == format)
            return f;
    throw std::invalid_argument("unknown pixel format");
}

struct DitherInfo {
    DitherMode mode;
    const char* name;
};

constexpr DitherInfo Dithers[] = {
    {DitherMode::None, "none"},
    {DitherMode::FloydSteinberg, "floyd-steinberg"},
    {DitherMode::Bayer4, "bayer4"},
};

using core::bayer4;
using core::widenLevel;

// Where each channel's level goes in an RGB format's sample: red, green, blue.
struct ChannelPlace {
    int bits[3];
    int shift[3];
};

ChannelPlace placeOf(PixelFormat format) {
    switch (format) {
    case PixelFormat::Rgb565:
        return {{5, 6, 5}, {11, 5, 0}};
    case PixelFormat::Bgr565:
        return {{5, 6, 5}, {0, 5, 11}};
    case PixelFormat::Rgb888:
        return {{8, 8, 8}, {16, 8, 0}};
    case PixelFormat::Bgr888:
        return {{8, 8, 8}, {0, 8, 16}};
    case PixelFormat::Rgb666:
        return {{6, 6, 6}, {18, 10, 2}};
    case PixelFormat::Rgb332:
        return {{3, 3, 2}, {5, 2, 0}};
    default:
        return {{8, 8, 8}, {0, 0, 0}};
    }
}

int clampByte(int v) {
    return v < 0 ? 0 : (v > 255 ? 255 : v);
}

template <class Info> QStringList namesOf(const Info& table) {
    QStringList names;
    for (const auto& entry : table)
        names << QString::fromLatin1(entry.name);
    return names;
}

} // namespace

QString pixelFormatName(PixelFormat format) {
    return QString::fromLatin1(infoOf(format).name);
}

std::span<const PixelFormatInfo> pixelFormats() {
    return Formats;
}

const PixelFormatInfo& pixelFormatInfo(PixelFormat format) {
    return infoOf(format);
}

std::optional<PixelFormat> parsePixelFormat(QStringView name) {
    for (const PixelFormatInfo& f : Formats)
        if (name == QLatin1StringView(f.name))
            return f.format;
    return std::nullopt;
}

QStringList pixelFormatNames() {
    return namesOf(Formats);
}

QString ditherModeName(DitherMode mode) {
    for (const DitherInfo& d : Dithers)
        if (d.mode == mode)
            return QString::fromLatin1(d.name);
    return {};
}

std::optional<DitherMode> parseDitherMode(QStringView name) {
    for (const DitherInfo& d : Dithers)
        if (name == QLatin1StringView(d.name))
            return d.mode;
    return std::nullopt;
}

QStringList ditherModeNames() {
    return namesOf(Dithers);
}

int bitsPerSample(PixelFormat format) {
    return infoOf(format).bits;
}

bool hasByteOrder(PixelFormat format) {
    return infoOf(format).bits == 16;
}

bool isGreyFormat(PixelFormat format) {
    return infoOf(format).grey;
}

bool acceptsDither(PixelFormat format) {
    return infoOf(format).channelBits < 8;
}

namespace {

// The levels of one channel of n bits.
struct Levels {
    int bits;
    std::optional<int> threshold; // mono: level 1 (white) from here up

    int top() const { return (1 << bits) - 1; }
    int widened(int q) const { return widenLevel(q, bits); }
    // Without dithering: the top bits, or the threshold test.
    int plain(int v) const {
        if (threshold)
            return v >= *threshold ? 1 : 0;
        return v >> (8 - bits);
    }
    // The level shown nearest to v, the upper one when exactly between two;
    // mono: the threshold test.
    int nearest(int v) const {
        if (threshold)
            return v >= *threshold ? 1 : 0;
        int best = 0;
        for (int q = 1; q <= top(); ++q)
            if (std::abs(v - widened(q)) <= std::abs(v - widened(best)))
                best = q;
        return best;
    }
    // Ordered dither with matrix entry m; mono's luma is first moved by the
    // threshold. Negative numerators only arise for mono, where they clamp
    // to 0 whichever way the division rounds.
    int ordered(int v, int m) const {
        const int moved = threshold ? v + DefaultThreshold - *threshold : v;
        const int q = (32 * moved * top() + (2 * m + 1) * 255) / (32 * 255);
        return std::clamp(q, 0, top());
    }
};

// The values a pixel gives its channels: red, green, blue, or the luma.
template <int Channels> inline void channelValues(QRgb p, int* v) {
    const int r = qRed(p), g = qGreen(p), b = qBlue(p);
    if constexpr (Channels == 3) {
        v[0] = r;
        v[1] = g;
        v[2] = b;
    } else {
        v[0] = lumaOf(r, g, b);
    }
}

// The diffused error added to a value lies within -255..255 (a sum of
// errors of at most 255 whose weights add up to one), so value plus error
// stays within -256..511.
constexpr int DiffusedLow = -256;
constexpr int DiffusedValues = 768;

} // namespace

RowQuantiser::RowQuantiser(PixelFormat format, DitherMode dither, int width, bool invert,
                           int threshold)
    : m_format(format), m_dither(dither), m_width(width) {
    if (width < 0)
        throw std::invalid_argument("negative row width");
    if (threshold < MinThreshold || threshold > MaxThreshold)
        throw std::invalid_argument("threshold outside 0..255");
    const PixelFormatInfo& info = infoOf(format);
    m_bits = info.bits;
    if (info.channelBits == 8)
        m_dither = DitherMode::None; // nothing to dither: every value is a level
    m_channels = info.grey ? 1 : 3;

    const ChannelPlace place = placeOf(format);
    const bool mono = format == PixelFormat::Mono;
    const int cells = m_dither == DitherMode::Bayer4 ? 16 : 1;
    m_part.resize(std::size_t(m_channels) * cells * 256);
    if (m_dither == DitherMode::FloydSteinberg) {
        m_diffusedPart.resize(std::size_t(m_channels) * DiffusedValues);
        m_diffusedError.resize(std::size_t(m_channels) * DiffusedValues);
    }
    for (int c = 0; c < m_channels; ++c) {
        const Levels levels{info.grey ? info.channelBits : place.bits[c],
                            mono ? std::optional<int>(threshold) : std::nullopt};
        const int top = levels.top();
        // A level's part of the sample: in its place for RGB; for grey
        // formats black is 0 (or white with `invert`), and mono's sample is
        // the ink bit.
        auto part = [&](int q) -> std::uint32_t {
            if (!info.grey)
                return std::uint32_t(q) << place.shift[c];
            if (mono)
                return std::uint32_t(invert ? q : 1 - q);
            return std::uint32_t(invert ? top - q : q);
        };
        std::uint32_t* parts = &m_part[std::size_t(c) * cells * 256];
        for (int cell = 0; cell < cells; ++cell)
            for (int v = 0; v < 256; ++v)
                parts[cell * 256 + v] = part(
                    cells == 1 ? levels.plain(v) : levels.ordered(v, bayer4(cell / 4, cell % 4)));
        if (m_dither != DitherMode::FloydSteinberg)
            continue;
        for (int i = 0; i < DiffusedValues; ++i) {
            const int v = clampByte(i + DiffusedLow);
            const int q = levels.nearest(v);
            m_diffusedPart[std::size_t(c) * DiffusedValues + i] = part(q);
            m_diffusedError[std::size_t(c) * DiffusedValues + i] =
                std::int16_t(v - levels.widened(q));
        }
    }
    if (m_dither == DitherMode::FloydSteinberg) {
        const std::size_t cells = (std::size_t(width) + 2) * std::size_t(m_channels);
        m_errThis.assign(cells, 0);
        m_errNext.assign(cells, 0);
    }
}

void RowQuantiser::restart() {
    m_row = 0;
    std::fill(m_errThis.begin(), m_errThis.end(), 0);
}

namespace {

template <int Channels> inline std::uint32_t lookUp(QRgb p, const std::uint32_t* const* table) {
    if constexpr (Channels == 3)
        return table[0][qRed(p)] | table[1][qGreen(p)] | table[2][qBlue(p)];
    else
        return table[0][lumaOf(qRed(p), qGreen(p), qBlue(p))];
}

} // namespace

// Without dithering and with Bayer4: one table lookup per channel.
template <int Channels>
void RowQuantiser::encodeLookedUp(const QRgb* pixels, std::uint32_t* samples) {
    if (m_dither == DitherMode::None) {
        const std::uint32_t* table[Channels];
        for (int c = 0; c < Channels; ++c)
            table[c] = m_part.data() + c * 256;
        const int width = m_width;
        for (int x = 0; x < width; ++x)
            samples[x] = lookUp<Channels>(pixels[x], table);
        return;
    }
    // The tables of this row's four matrix cells, by x mod 4.
    const std::uint32_t* table[4][Channels];
    for (int i = 0; i < 4; ++i)
        for (int c = 0; c < Channels; ++c)
            table[i][c] = m_part.data() + (c * 16 + (m_row & 3) * 4 + i) * 256;
    const int width = m_width;
    int x = 0;
    for (; x + 4 <= width; x += 4)
        for (int i = 0; i < 4; ++i)
            samples[x + i] = lookUp<Channels>(pixels[x + i], table[i]);
    for (; x < width; ++x)
        samples[x] = lookUp<Channels>(pixels[x], table[x & 3]);
}

template <int Channels>
void RowQuantiser::encodeDiffused(const QRgb* pixels, std::uint32_t* samples) {
    // Pixel x, channel c is slot (x + 1) * Channels + c of the error rows;
    // the slots either side take error that leaves the picture. Error to the
    // right travels in `right`; below-right is the first error a slot of the
    // next row receives, so it is stored, not added.
    const int* here = m_errThis.data();
    int* next = m_errNext.data();
    std::fill(next, next + 2 * Channels, 0);
    const std::uint32_t* part[Channels];
    const std::int16_t* error[Channels];
    for (int c = 0; c < Channels; ++c) {
        part[c] = m_diffusedPart.data() + c * DiffusedValues - DiffusedLow;
        error[c] = m_diffusedError.data() + c * DiffusedValues - DiffusedLow;
    }
    int right[Channels] = {};
    const int width = m_width;
    for (int x = 0; x < width; ++x) {
        int v[Channels];
        channelValues<Channels>(pixels[x], v);
        std::uint32_t s = 0;
        auto diffuse = [&](int c) {
            const int slot = (x + 1) * Channels + c;
            const int value = v[c] + core::receivedError(here, slot, right[c]);
            s |= part[c][value];
            core::spreadError(error[c][value], slot, Channels, right[c], next);
        };
        diffuse(0);
        if constexpr (Channels == 3) {
            diffuse(1);
            diffuse(2);
        }
        samples[x] = s;
    }
    std::swap(m_errThis, m_errNext);
}

void RowQuantiser::encodeRow(const QRgb* pixels, int width, std::uint32_t* samples) {
    if (width != m_width)
        throw std::invalid_argument("row width differs from the quantiser's");
    const bool colour = m_channels == 3;
    if (m_dither == DitherMode::FloydSteinberg)
        colour ? encodeDiffused<3>(pixels, samples) : encodeDiffused<1>(pixels, samples);
    else
        colour ? encodeLookedUp<3>(pixels, samples) : encodeLookedUp<1>(pixels, samples);
    ++m_row;
}

QRgb sampleToRgb(PixelFormat format, std::uint32_t s, bool invert) {
    auto level = [s](int shift, int bits) {
        return widenLevel(int((s >> shift) & ((1u << bits) - 1)), bits);
    };
    const PixelFormatInfo& info = infoOf(format);
    if (info.grey) {
        const int top = (1 << info.channelBits) - 1;
        int q = int(s & std::uint32_t(top));
        if (format == PixelFormat::Mono)
            q = 1 - q; // the ink bit is black
        if (invert)
            q = top - q;
        const int y = widenLevel(q, info.channelBits);
        return qRgb(y, y, y);
    }
    const ChannelPlace place = placeOf(format);
    return qRgb(level(place.shift[0], place.bits[0]), level(place.shift[1], place.bits[1]),
                level(place.shift[2], place.bits[2]));
}

} // namespace zentraq::rgbqumo
