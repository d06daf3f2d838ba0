#pragma once

// Bits written most significant first, the first bit into bit 7 of the first
// byte: how LVGL reads glyph bitmaps and the fields of its binary fonts.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace zentraq::font {

class BitWriter {
public:
    // The low `bits` bits of `value` (0 to 32), the highest first.
    void write(std::uint32_t value, int bits) {
        if (bits <= 0)
            return;
        const std::uint64_t v = bits == 32 ? value : value & ((std::uint32_t(1) << bits) - 1);
        m_acc = m_acc << bits | v;
        m_pending += bits;
        m_bits += std::size_t(bits);
        while (m_pending >= 8) {
            m_pending -= 8;
            m_bytes.push_back(static_cast<std::uint8_t>(m_acc >> m_pending));
        }
    }
    void put(unsigned bit) { write(bit & 1u, 1); }
    // `count` bits of `bytes` from its first bit on.
    void append(const std::uint8_t* bytes, std::size_t count) {
        std::size_t i = 0;
        for (; i + 8 <= count; i += 8)
            write(bytes[i / 8], 8);
        if (i < count)
            write(std::uint32_t(bytes[i / 8]) >> (8 - (count - i)), int(count - i));
    }
    std::size_t bitCount() const { return m_bits; }
    // The bits written, the last byte completed with 0 bits. Nothing more
    // is written after this until clear().
    const std::vector<std::uint8_t>& bytes() {
        if (m_pending > 0) {
            m_bytes.push_back(static_cast<std::uint8_t>(m_acc << (8 - m_pending)));
            m_acc = 0;
            m_pending = 0;
        }
        return m_bytes;
    }
    void clear() {
        m_bytes.clear();
        m_bits = 0;
        m_acc = 0;
        m_pending = 0;
    }

private:
    std::vector<std::uint8_t> m_bytes;
    std::uint64_t m_acc = 0; // bits not yet in a whole byte, at the bottom
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

} // namespace zentraq::font
