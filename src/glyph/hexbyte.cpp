#include "hexbyte.h"

#include "formatter.h"

namespace zentraq::rgbqumo {

const char* HexByteAscii(std::uint8_t value) {
    return core::hexText(value);
}

QString HexByte(std::uint8_t value) {
    return QString::fromLatin1(core::hexText(value), 4);
}

} // namespace zentraq::rgbqumo
