#include "error.h"

namespace zentraq::cli {

std::string textBytes(std::u16string_view text) {
    std::string bytes;
    bytes.reserve(text.size());
    const auto put = [&bytes](char32_t c) {
        if (c < 0x80) {
            bytes += char(c);
        } else if (c < 0x800) {
            bytes += char(0xC0 | (c >> 6));
            bytes += char(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            bytes += char(0xE0 | (c >> 12));
            bytes += char(0x80 | ((c >> 6) & 0x3F));
            bytes += char(0x80 | (c & 0x3F));
        } else {
            bytes += char(0xF0 | (c >> 18));
            bytes += char(0x80 | ((c >> 12) & 0x3F));
            bytes += char(0x80 | ((c >> 6) & 0x3F));
            bytes += char(0x80 | (c & 0x3F));
        }
    };
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char16_t u = text[i];
        const bool high = u >= 0xD800 && u <= 0xDBFF;
        if (high && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
            put(0x10000 + ((char32_t(u) - 0xD800) << 10) + (text[++i] - 0xDC00));
        } else if (u >= 0xDC80 && u <= 0xDCFF) {
            bytes += char(u - 0xDC00); // a byte kept by argumentText()
        } else if (u >= 0xD800 && u <= 0xDFFF) {
            bytes += '?';
        } else {
            put(u);
        }
    }
    return bytes;
}

} // namespace zentraq::cli
