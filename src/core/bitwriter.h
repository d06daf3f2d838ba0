#pragma once

// Bits packed into bytes, most significant first (the first bit in bit 7 of
// the first byte: LVGL's glyph bitmaps, binary fonts and sub-byte image
// pixels, GFX bitmaps) or least significant first (the first bit in bit 0:
// the window's glyph data and the packed picture formats by default). A
// value of several bits keeps its own order either way: most significant
// first, its highest bit goes first; least significant first, its lowest.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace zentraq::core {

enum class BitOrder { MsbFirst, LsbFirst };

class BitWriter {
public:
    // Into bytes of its own.
    explicit BitWriter(BitOrder order = BitOrder::MsbFirst) : m_order(order), m_out(&m_own) {}
    // Appending to `out`, which must outlive the writer.
    BitWriter(std::vector<std::uint8_t>& out, BitOrder order) : m_order(order), m_out(&out) {}
    BitWriter(const BitWriter&) = delete;
    BitWriter& operator=(const BitWriter&) = delete;

    // The low `bits` bits of `value` (0 to 32).
    void write(std::uint32_t value, int bits) {
        if (bits <= 0)
            return;
        const std::uint64_t v = bits >= 32 ? value : value & ((std::uint32_t(1) << bits) - 1);
        m_bits += std::size_t(bits);
        if (m_order == BitOrder::MsbFirst) {
            m_acc = m_acc << bits | v;
            m_pending += bits;
            while (m_pending >= 8) {
                m_pending -= 8;
                m_out->push_back(static_cast<std::uint8_t>(m_acc >> m_pending));
            }
        } else {
            m_acc |= v << m_pending;
            m_pending += bits;
            while (m_pending >= 8) {
                m_out->push_back(static_cast<std::uint8_t>(m_acc));
                m_acc >>= 8;
                m_pending -= 8;
            }
        }
    }
    void put(unsigned bit) { write(bit & 1u, 1); }

    // `count` bits of `bytes` from its first bit on, each byte read from bit
    // 7 down (bits that a most-significant-first writer made).
    void append(const std::uint8_t* bytes, std::size_t count) {
        std::size_t i = 0;
        for (; i + 8 <= count; i += 8)
            write(bytes[i / 8], 8);
        if (i < count)
            write(std::uint32_t(bytes[i / 8]) >> (8 - (count - i)), int(count - i));
    }

    // Completes the byte under way with 0 bits; the next bit starts a new
    // byte.
    void alignToByte() {
        if (m_pending == 0)
            return;
        m_out->push_back(m_order == BitOrder::MsbFirst
                             ? static_cast<std::uint8_t>(m_acc << (8 - m_pending))
                             : static_cast<std::uint8_t>(m_acc));
        m_acc = 0;
        m_pending = 0;
    }

    // Bits written, without the 0 bits that completed bytes.
    std::size_t bitCount() const { return m_bits; }

    // The bytes, the last one completed with 0 bits.
    const std::vector<std::uint8_t>& bytes() {
        alignToByte();
        return *m_out;
    }

    // Forgets everything written (and empties the bytes).
    void clear() {
        m_out->clear();
        m_acc = 0;
        m_pending = 0;
        m_bits = 0;
    }

private:
    BitOrder m_order;
    std::vector<std::uint8_t> m_own;
    std::vector<std::uint8_t>* m_out;
    std::uint64_t m_acc = 0; // bits not yet in a whole byte
    int m_pending = 0;
    std::size_t m_bits = 0;
};

// Bits needed for `v` as an unsigned number (0 for 0), and as a two's
// complement number (at least 1).
inline int unsignedBits(std::uint32_t v) {
    int n = 0;
    while (v) {
        ++n;
        v >>= 1;
    }
    return n;
}
inline int signedBits(std::int32_t v) {
    return v >= 0 ? unsignedBits(std::uint32_t(v)) + 1 : unsignedBits(std::uint32_t(-(v + 1))) + 1;
}

} // namespace zentraq::core
