#pragma once

// Palettes for indexed pictures: a colour quantiser that picks at most 2, 4,
// 16 or 256 colours for a picture with alpha, and the sample encoder that
// gives each pixel the index of its colour, plain or dithered.
//
// Colours are compared premultiplied, as (R·A, G·A, B·A) / 255 rounded plus
// A, by squared distance, so that faint pixels weigh little. Fully
// transparent pixels get an entry of their own, transparent black, at index
// 0; the others share the rest.
//
// The palette: when the picture has no more distinct colours than there are
// entries, exactly those colours. Otherwise the colours are gathered into
// cells (exact while there are at most 2^16 of them, else their channels cut
// to fewer bits until they fit, each cell keeping the exact sum of its
// pixels, every pixel weighed by its alpha: by how much of it shows), the
// cells are split into boxes, each time the box with the
// largest squared error at the place along one channel that leaves the
// least, and the boxes' means are then refined by rounds of k-means over the
// cells, at most 8, until fewer than one cell in a thousand changes its box. The entries are sorted
// by alpha, then by luma. Everything is in integers or in doubles computed in one fixed order, so
// the same picture gives the same palette on every machine.
//
// Indices: the nearest entry. Floyd-Steinberg spreads the error of the
// premultiplied colour channels (7/16, 3/16, 5/16, 1/16, every row from the
// left, in sixteenths); Bayer4 moves each colour channel by (2M + 1 - 16) / 32
// of the palette's spacing (the mean distance from an entry to its nearest
// neighbour) before looking for the nearest entry.

#include "pipeline.h"
#include "pixelformat.h"

#include <QRgb>

#include <array>
#include <cstdint>
#include <memory>
#include <unordered_set>
#include <vector>

namespace zentraq::rgbqumo {

// Collects the colours of a picture (first pass), then makes its palette.
class PaletteBuilder {
public:
    // `colours`: 2, 4, 16 or 256. Throws std::invalid_argument otherwise.
    explicit PaletteBuilder(int colours);
    ~PaletteBuilder();

    // Pixels are unpremultiplied ARGB.
    void addRow(const QRgb* pixels, int width);

    // The palette: unpremultiplied ARGB, transparent black first when the
    // picture has transparent pixels, at most `colours` entries and at
    // least one.
    std::vector<QRgb> build();

private:
    struct Cells;
    int m_colours;
    bool m_transparent = false;
    // Distinct colours while there are at most m_colours of them.
    std::unordered_set<QRgb> m_exact;
    bool m_exactOverflow = false;
    QRgb m_last = 0;
    std::unique_ptr<Cells> m_cells;
};

// The nearest entry of a palette, in premultiplied colour.
class NearestEntry {
public:
    explicit NearestEntry(const std::vector<QRgb>& palette);
    // The same for colours already premultiplied.
    explicit NearestEntry(std::vector<std::array<int, 4>> colours);
    // The entry nearest to the premultiplied colour c (R, G, B, A); `hint`,
    // an entry that is likely near, only makes the search shorter.
    int find(const std::array<int, 4>& c, int hint = -1) const;
    // An entry's premultiplied colour.
    const std::array<int, 4>& colour(int index) const { return m_colour[std::size_t(index)]; }
    int size() const { return int(m_colour.size()); }
    // The mean distance from an entry to its nearest other entry, rounded;
    // 0 for a palette of one colour.
    int spacing() const;

private:
    std::vector<std::array<int, 4>> m_colour;
    int m_axis = 0;                // the channel the entries are sorted by
    std::vector<int> m_order;      // entries by that channel
    std::vector<int> m_axisValues; // their values on it
};

// A pixel's premultiplied colour.
std::array<int, 4> premultiplied(QRgb pixel);

// The indices of pixels in a palette, as samples of `bits` bits (1, 2, 4 or
// 8). Rows must come whole, top to bottom.
class PaletteEncoder : public core::SampleEncoder {
public:
    PaletteEncoder(const std::vector<QRgb>& palette, DitherMode dither, int width, int bits);
    int bits() const override { return m_bits; }
    void encodeRow(const QRgb* pixels, int width, std::uint32_t* samples) override;
    void restart() override;

private:
    int nearestCached(QRgb pixel);

    NearestEntry m_nearest;
    DitherMode m_dither;
    int m_width;
    int m_bits;
    int m_transparentIndex = -1;
    int m_last = 0; // the last pixel's entry, a hint for the next
    int m_spacing = 0;
    int m_row = 0;
    std::vector<int> m_errThis; // 3 channels a pixel, one pixel either side
    std::vector<int> m_errNext;
    std::vector<std::uint64_t> m_cache; // pixel << 16 | index + 1, 0 empty
};

} // namespace zentraq::rgbqumo
