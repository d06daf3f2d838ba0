#pragma once

// Packing samples into bytes: the scan order, the bit order inside a byte,
// padding, and the byte order of samples wider than a byte.
//
// A frame (a glyph cell, a picture) of width x height samples, each of
// `bits` bits (1, 2, 4, 8, 16 or 24), arrives in source order: rows from the
// top, each row from the left. A byte holds k = 8 / bits samples when bits is
// 1, 2 or 4; its k slots are filled from bit 0 upwards (the first sample in
// the lowest bits), or from bit 7 downwards with msbFirst. The scan decides
// which samples share a byte and in which order the bytes follow:
//
//   Row     rows from the top, each from the left; slots run on across rows,
//           or with pad every row starts on a new byte.
//   Column  columns from the left, each from the top; slots run on across
//           columns, or with pad every column starts on a new byte.
//   Page    vertical bytes in bands of k rows: for each band from the top,
//           one byte per column from the left, the band's top row in the
//           first slot. A last band of fewer rows leaves zero bits.
//   Band    horizontal bytes in bands of k columns: for each band from the
//           left, one byte per row from the top, the band's left column in
//           the first slot.
//
// With 1-bit samples a page byte holds 8 rows, with 2-bit samples 4 rows and
// with 4-bit samples 2; bands likewise. Samples of 8 bits or more are whole
// bytes: only Row and Column apply, without padding, and a 16- or 24-bit
// sample is written as its bytes in the given byte order (low byte first, or
// high byte first). Unused bits are always zero.

#include "bitwriter.h"
#include "bytefields.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace zentraq::core {

enum class Scan { Row, Column, Page, Band };

struct Layout {
    int bits = 1;
    Scan scan = Scan::Row;
    bool msbFirst = false;
    bool pad = false;
    ByteOrder byteOrder = ByteOrder::LowFirst;
};

// Why a layout cannot pack samples.
enum class LayoutProblem {
    None,
    BitsNotPackable,     // a bit count other than 1, 2, 4, 8, 16 or 24
    WholeBytesInBands,   // Page or Band with samples of whole bytes
    PadOutsideRowColumn, // padding for Page or Band
    PadWholeBytes,       // padding for samples of whole bytes
};

LayoutProblem layoutProblem(const Layout& layout);

// Bytes of one width x height frame. Throws the overflow failure when the
// count does not fit 64 bits, RuntimeError for a layout that cannot pack.
long long frameBytes(const Layout& layout, int width, int height);

// Packs frames sample by sample. Row scans hand out their bytes as soon as
// they are complete, so a frame of any size streams through. The other scans
// keep the frame's packed bytes (never the samples) and hand them out when
// the frame ends; a frame of more than `windowBytes` bytes is packed in
// windows of at most that many, one window per pass over all its samples
// (passes()), so memory stays bounded whatever the frame's size.
class Packer {
public:
    static constexpr long long DefaultWindow = static_cast<long long>(8) << 20;

    // Throws RuntimeError for a layout that cannot pack, a side below 1, or a
    // frame of more bytes than memory can address.
    Packer(const Layout& layout, int width, int height, long long windowBytes = DefaultWindow);
    Packer(const Packer&) = delete;
    Packer& operator=(const Packer&) = delete;

    // How many times the frame's samples must be given, each time all of
    // them in source order, for the whole frame: 1 unless the frame is
    // larger than a window.
    int passes() const { return m_passes; }

    // The next `count` samples in source order; they may stop and resume
    // anywhere in a row. Only the low `bits` bits of a sample count.
    void add(const std::uint32_t* samples, int count);

    // Counts `count` samples whose bytes the caller has written itself: only
    // for a Row scan of whole-byte samples, where the bytes of a sample are
    // all there is to it.
    void addWritten(int count) { advance(count); }

    // After the last sample of a frame (or of a pass over it): completes its
    // last byte with zero bits and hands out what is left (the pass's
    // window). The next sample starts the next pass, or a new frame. Throws
    // RuntimeError when the frame is not complete.
    void endFrame();
    // Whether the last endFrame() ended the frame's last pass.
    bool frameDone() const { return m_pass == 0; }

    // Bytes packed and not yet taken, in output order.
    const std::vector<std::uint8_t>& ready() const { return m_ready; }
    std::vector<std::uint8_t>& ready() { return m_ready; }
    void clearReady() { m_ready.clear(); }

    const Layout& layout() const { return m_layout; }
    long long bytesPerFrame() const { return m_frameBytes; }

private:
    void addStreaming(const std::uint32_t* samples, int count);
    void addPlaced(const std::uint32_t* samples, int count);
    void startWindow();
    void advance(int count);

    Layout m_layout;
    int m_width;
    int m_height;
    long long m_frameBytes;
    int m_sampleBytes;    // bytes per sample (0 for sub-byte samples)
    std::uint32_t m_mask; // the low `bits` bits
    int m_x = 0;          // where the next sample goes
    int m_y = 0;
    std::vector<std::uint8_t> m_ready;
    BitWriter m_bits;                  // Row scans of sub-byte samples: into m_ready
    std::vector<std::uint8_t> m_frame; // Column, Page, Band: the frame's window
    long long m_window = 0;            // bytes of a full window
    int m_passes = 1;
    int m_pass = 0;              // the pass under way
    long long m_windowFirst = 0; // the frame's bytes in this pass's window
    long long m_windowEnd = 0;
};

// The samples of one packed frame (`bytes` holds at least bytesPerFrame()
// bytes) back in source order: the inverse of Packer. `samples` receives
// width * height values.
void unpackFrame(const Layout& layout, int width, int height, const std::uint8_t* bytes,
                 std::vector<std::uint32_t>& samples);

} // namespace zentraq::core
