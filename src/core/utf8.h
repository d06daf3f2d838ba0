#pragma once
// The one check of UTF-8 that the data-text reader and the tool's argument
// decoding share.

#include <cstddef>

namespace zentraq::core {

// The length of the UTF-8 character at the start of `s` (n bytes, n > 0), or
// 0 when it is not one: a stray continuation byte, an overlong form, a
// surrogate, a code point above U+10FFFF or a cut sequence.
inline int utf8Length(const unsigned char* s, std::size_t n) {
    const unsigned char c = s[0];
    if (c < 0x80)
        return 1;
    int length = 0;
    unsigned char low = 0x80;
    unsigned char high = 0xBF; // the second byte's range
    if (c >= 0xC2 && c <= 0xDF) {
        length = 2;
    } else if (c >= 0xE0 && c <= 0xEF) {
        length = 3;
        low = c == 0xE0 ? 0xA0 : 0x80;
        high = c == 0xED ? 0x9F : 0xBF;
    } else if (c >= 0xF0 && c <= 0xF4) {
        length = 4;
        low = c == 0xF0 ? 0x90 : 0x80;
        high = c == 0xF4 ? 0x8F : 0xBF;
    } else {
        return 0;
    }
    if (n < std::size_t(length) || s[1] < low || s[1] > high)
        return 0;
    for (int k = 2; k < length; ++k) {
        if (s[k] < 0x80 || s[k] > 0xBF)
            return 0;
    }
    return length;
}

} // namespace zentraq::core
