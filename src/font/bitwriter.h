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
        for (int i = bits - 1; i >= 0; --i)
            put((value >> i) & 1u);
    }
    void put(unsigned bit) {
        if ((m_bits & 7) == 0)
            m_bytes.push_back(0);
        if (bit)
            m_bytes.back() |= static_cast<std::uint8_t>(0x80u >> (m_bits & 7));
        ++m_bits;
    }
    // `count` bits of `bytes` from its first bit on.
    void append(const std::uint8_t* bytes, std::size_t count) {
        if ((m_bits & 7) == 0) {
            m_bytes.insert(m_bytes.end(), bytes, bytes + (count + 7) / 8);
            m_bits += count;
            if (m_bits & 7)
                m_bytes.back() &= static_cast<std::uint8_t>(0xFF00u >> (m_bits & 7));
            return;
        }
        for (std::size_t i = 0; i < count; ++i)
            put((bytes[i >> 3] >> (7 - (i & 7))) & 1u);
    }
    std::size_t bitCount() const { return m_bits; }
    const std::vector<std::uint8_t>& bytes() const { return m_bytes; }
    std::vector<std::uint8_t>& bytes() { return m_bytes; }
    void clear() {
        m_bytes.clear();
        m_bits = 0;
    }

private:
    std::vector<std::uint8_t> m_bytes; // the last byte's unused bits are 0
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
