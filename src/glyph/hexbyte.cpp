#include "hexbyte.h"

#include <array>

namespace zentraq::rgbqumo {
namespace {

struct HexTable {
    std::array<std::array<char, 5>, 256> text{};
    constexpr HexTable() {
        constexpr char digits[] = "0123456789ABCDEF";
        for (int v = 0; v < 256; ++v)
            text[v] = {'0', 'x', digits[v >> 4], digits[v & 15], '\0'};
    }
};

constexpr HexTable table;

} // namespace

const char* HexByteAscii(std::uint8_t value) {
    return table.text[value].data();
}

QString HexByte(std::uint8_t value) {
    return QString::fromLatin1(table.text[value].data(), 4);
}

} // namespace zentraq::rgbqumo
