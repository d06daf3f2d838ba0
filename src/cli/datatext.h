#pragma once

// Working with data text, the "0xHH," items the conversions write: reading
// byte values back out of it and reshaping it in place without touching its
// layout.

#include <QByteArray>
#include <QString>

#include <array>
#include <cstdint>
#include <vector>

namespace zentraq::cli {

using ByteMap = std::array<std::uint8_t, 256>;

// The byte with its bit order reversed: bit 0 becomes bit 7 and so on.
std::uint8_t reverseBits(std::uint8_t b);

// The byte map for the glyph options: the first pixel of each group of eight
// in the most significant bit instead of the least, and/or ink as 0 and
// background as 1. The map undoes itself: applying it twice gives the byte
// back.
ByteMap glyphByteMap(bool msbFirst, bool invert);

// Rewrites every "0xHH" item of the conversion's data text in place through
// `map`; everything else (commas, line ends) stays as it is.
void mapItems(char* text, qsizetype size, const ByteMap& map);

// Swaps the two bytes of every pixel item of picture data text in place:
// "0xLL,0xHH," becomes "0xHH,0xLL,". `text` starts at the beginning of a line.
void swapPixelBytes(char* text, qsizetype size);

// The byte values of the conversion's data text, in order.
QByteArray itemBytes(const char* text, qsizetype size);

// The byte values of data text written by hand or by this tool in any of its
// text forms: every "0x"-prefixed hexadecimal number (0x5, 0x05, 0X0A), in
// order. Comments (/* */ and //) and everything that is not such a number
// (commas, braces, declarations, line ends) are skipped. Throws CliError
// (Failure) naming `source` and the line for a number that is not a byte
// (0x100) or a "0x" without digits.
QByteArray parseDataText(const QByteArray& text, const QString& source);

} // namespace zentraq::cli
