#pragma once

// Whole numbers as fields of a fixed number of bytes, low byte first
// (little-endian: LVGL's images and binary fonts, the samples of the window's
// data) or high byte first (big-endian: TFT_eSPI's vlw fonts, controllers
// that take the high byte first), stored at a place or appended to any
// container of bytes (std::vector<std::uint8_t>, std::string, QByteArray).

#include <cstddef>
#include <cstdint>

namespace zentraq::core {

enum class ByteOrder { LowFirst, HighFirst };

// The low `bytes` bytes of `value` (1 to 8) at `at`.
inline void storeField(std::uint8_t* at, std::uint64_t value, int bytes, ByteOrder order) {
    for (int i = 0; i < bytes; ++i) {
        const int shift = order == ByteOrder::LowFirst ? 8 * i : 8 * (bytes - 1 - i);
        at[i] = static_cast<std::uint8_t>(value >> shift);
    }
}

// The field of `bytes` bytes at `at`.
inline std::uint64_t loadField(const std::uint8_t* at, int bytes, ByteOrder order) {
    std::uint64_t v = 0;
    for (int i = 0; i < bytes; ++i) {
        const int shift = order == ByteOrder::LowFirst ? 8 * i : 8 * (bytes - 1 - i);
        v |= std::uint64_t(at[i]) << shift;
    }
    return v;
}

template <class Bytes>
void appendField(Bytes& out, std::uint64_t value, int bytes, ByteOrder order) {
    using Byte = typename Bytes::value_type;
    for (int i = 0; i < bytes; ++i) {
        const int shift = order == ByteOrder::LowFirst ? 8 * i : 8 * (bytes - 1 - i);
        out.push_back(static_cast<Byte>(static_cast<std::uint8_t>(value >> shift)));
    }
}
template <class Bytes> void appendLe(Bytes& out, std::uint64_t value, int bytes) {
    appendField(out, value, bytes, ByteOrder::LowFirst);
}
template <class Bytes> void appendBe(Bytes& out, std::uint64_t value, int bytes) {
    appendField(out, value, bytes, ByteOrder::HighFirst);
}

// The field at byte `at` of `out`, which holds it already.
template <class Bytes>
void replaceField(Bytes& out, std::size_t at, std::uint64_t value, int bytes, ByteOrder order) {
    using Byte = typename Bytes::value_type;
    std::uint8_t field[8];
    storeField(field, value, bytes, order);
    for (int i = 0; i < bytes; ++i)
        out[static_cast<decltype(out.size())>(at + std::size_t(i))] = static_cast<Byte>(field[i]);
}

} // namespace zentraq::core
