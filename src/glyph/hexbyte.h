#pragma once

#include <QString>

#include <cstdint>

namespace zentraq::rgbqumo {

// One byte as the four characters "0x" + two upper-case hexadecimal digits:
// the element all generated data text is built from.
QString HexByte(std::uint8_t value);

// The same four characters as ASCII, without allocating: for writers that
// produce millions of items.
const char* HexByteAscii(std::uint8_t value);

} // namespace zentraq::rgbqumo
